// Inside the dialog framework: the dialog window class and the dispatch steps
// shared by the framework's modules (dlg, dlgitems, useritem, progressarea,
// uiapp). Not for application code.
#pragma once

#include <QDialog>
#include <QHash>
#include <QPointer>

#include "ui/dlg.h"

class QKeyEvent;
class QTimer;

class UiDlgWindow : public QDialog {
  Q_OBJECT
 public:
  explicit UiDlgWindow(QWidget* parent);
  ~UiDlgWindow() override;

  Ui_Dlg_Info info;
  bool registered = false;  // entered in the state's window table
  bool initialised = false; // the init procedure has returned
  bool closed = false;      // Ui_Dlg_Close ran
  bool inIdle = false;
  int quiet = 0;  // > 0 while an item service changes controls: no item hits
  QTimer* settle = nullptr;  // ends a move or resize sequence
  QHash<int, QPointer<QWidget>> items;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 public slots:
  void reject() override;
  void accept() override;

 private:
  void SizeSettled();
};

namespace UiDlg {

// The live framework dialog `dlg` is, or null.
UiDlgWindow* Live(QWidget* dlg);
// The live framework dialog that owns `widget` (its window), or null.
UiDlgWindow* OfWidget(QWidget* widget);
// Steps 2-5 of dispatch; false when the event must go no further.
// `globalMouse` replaces the tracked mouse position when given.
bool PreDispatch(UiDlgWindow* w, const QPoint* globalMouse = nullptr);
// Closes the dialog when a procedure left the close flag set. True if closed.
bool AfterProc(UiDlgWindow* w);
// An item hit; `notification` names the control notification for the log
// (null for user items).
void ItemHit(UiDlgWindow* w, int item, const char* notification);
// Refreshes Ctrl, Alt, Shift and the mouse position.
void RefreshInput(UiDlgWindow* w, const QPoint* globalMouse);
// A key-down in any widget; true when a key procedure handled it.
bool KeyDown(QWidget* receiver, QKeyEvent* event);
// Item lookup by id (refreshing the table on a miss).
QWidget* Item(UiDlgWindow* w, int item);
// Scans the dialog's controls: item table, per-item arrays, signal hookups.
void CollectItems(UiDlgWindow* w);
// Ends both progress areas of a dialog (progressarea.cpp).
void EndProgressAreas(UiDlgWindow* w);

}  // namespace UiDlg
