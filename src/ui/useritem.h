// UiUserItem: a custom drawing area inside a framework dialog (what the
// templates call a user item). It carries its item id in the "itemId"
// property; the dialog's user-item procedures draw it and track the mouse in
// it (dlg.h):
//   paint            -> the draw procedure with a painter on the item;
//   left press       -> log "dlg %d user item %d, (%d,%d)", mouse-down flag
//                       set, tracking procedure phase 0; answering 1 tracks:
//                       every move while the button is held is phase 1, the
//                       release clears the flag and is phase 2;
//   no tracking, or phase 2 answered 0 -> one item hit for the item.
// Hovering asks the cursor procedure (answer 0: the arrow); so does a change
// of Ctrl, Alt or Shift while the mouse is over the item.
// While a long operation runs (uiapp.h) the draw procedure is not called;
// the item is drawn again when it ends. The widget belongs to its dialog.
#pragma once

#include <QWidget>

class UiUserItem : public QWidget {
  Q_OBJECT
 public:
  explicit UiUserItem(QWidget* parent = nullptr);  // for Designer promotion: set "itemId" after
  UiUserItem(int itemId, QWidget* parent);
  ~UiUserItem() override;

  int ItemId() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void EndClick(bool handled);
  bool tracking_ = false;
};
