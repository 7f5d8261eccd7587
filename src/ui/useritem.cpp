#include "ui/useritem.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <vector>

#include "base/debuglog.h"
#include "ui/dlg_internal.h"
#include "ui/uiapp.h"

namespace {
QPointer<QWidget> gHover;
std::vector<QPointer<UiUserItem>> gMissedPaint;  // items not drawn while busy

QWidget* HoverUserItem() { return gHover.data(); }

// The busy gate came down: user items that missed a paint are drawn again.
void BusyEnded() {
  std::vector<QPointer<UiUserItem>> missed;
  missed.swap(gMissedPaint);
  for (const QPointer<UiUserItem>& item : missed)
    if (item) item->update();
}

// A modifier key went down or up: asks the cursor procedure again when the
// mouse is over a user item.
void ModifierChanged(QKeyEvent* event) {
  QWidget* item = HoverUserItem();
  UiDlgWindow* w = UiDlg::OfWidget(item);
  if (!w || !w->info.events.cursor || Ui_Busy_Active()) return;
  UiDlg::RefreshInput(w, nullptr);
  // The event's own key is not yet (or still) in the modifier state.
  const uint8_t down = event->type() == QEvent::KeyPress ? 1 : 0;
  switch (event->key()) {
    case Qt::Key_Control: w->info.ctrl = down; break;
    case Qt::Key_Alt: w->info.alt = down; break;
    case Qt::Key_Shift: w->info.shift = down; break;
    default: break;
  }
  QPointer<UiDlgWindow> guard(w);
  QPointer<QWidget> itemGuard(item);
  const uint8_t handled = w->info.events.cursor(w);
  if (!guard) return;
  if (!handled && itemGuard) item->unsetCursor();
  UiDlg::AfterProc(w);
}

// The application object calls these through its hooks (uiapp.h).
[[maybe_unused]] const bool kHooked = (Ui_SetBusyEndedHook(BusyEnded), Ui_SetModifierHook(ModifierChanged), true);
}  // namespace

UiUserItem::UiUserItem(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

UiUserItem::UiUserItem(int itemId, QWidget* parent) : UiUserItem(parent) { setProperty("itemId", itemId); }

UiUserItem::~UiUserItem() {
  if (gHover == this) gHover = nullptr;
}

int UiUserItem::ItemId() const { return property("itemId").toInt(); }

void UiUserItem::paintEvent(QPaintEvent*) {
  UiDlgWindow* w = UiDlg::OfWidget(this);
  if (!w || !w->info.events.userItemDraw) return;
  if (Ui_Busy_Active()) {
    gMissedPaint.emplace_back(this);
    return;
  }
  QPainter painter(this);
  w->info.events.userItemDraw(w, ItemId(), painter);
}

void UiUserItem::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  tracking_ = false;  // a release lost to another window ends an old drag
  UiDlgWindow* w = UiDlg::OfWidget(this);
  if (!w) return;
  QPointer<UiDlgWindow> guard(w);
  QPointer<UiUserItem> self(this);
  const QPoint global = e->globalPosition().toPoint();
  if (!UiDlg::PreDispatch(w, &global)) return;
  Ui_Dlg_Info& d = w->info;
  const int id = ItemId();
  DLog("dlg %d user item %d, (%d,%d)", (int)d.templateId, id, (int)d.mouseH, (int)d.mouseV);
  d.mouseDown = 1;
  const uint8_t track = d.events.userItemTrack ? d.events.userItemTrack(w, id, 0) : 0;
  if (!guard || UiDlg::AfterProc(w) || !self) return;
  if (track == 1) {
    tracking_ = true;
    return;
  }
  d.mouseDown = 0;
  EndClick(false);
}

void UiUserItem::mouseMoveEvent(QMouseEvent* e) {
  UiDlgWindow* w = UiDlg::OfWidget(this);
  if (!w) return;
  QPointer<UiDlgWindow> guard(w);
  const QPoint global = e->globalPosition().toPoint();
  if (tracking_) {
    UiDlg::RefreshInput(w, &global);
    if (w->info.events.userItemTrack) w->info.events.userItemTrack(w, ItemId(), 1);
    if (guard) UiDlg::AfterProc(w);
    return;
  }
  if (!w->info.events.cursor || Ui_Busy_Active()) return;
  QPointer<UiUserItem> self(this);
  if (!UiDlg::PreDispatch(w, &global)) return;
  const uint8_t handled = w->info.events.cursor(w);
  if (!guard) return;
  if (!handled && self) unsetCursor();
  UiDlg::AfterProc(w);
}

void UiUserItem::mouseReleaseEvent(QMouseEvent* e) {
  if (!tracking_ || e->button() != Qt::LeftButton) return;
  tracking_ = false;
  UiDlgWindow* w = UiDlg::OfWidget(this);
  if (!w) return;
  QPointer<UiDlgWindow> guard(w);
  QPointer<UiUserItem> self(this);
  const QPoint global = e->globalPosition().toPoint();
  UiDlg::RefreshInput(w, &global);
  w->info.mouseDown = 0;
  const uint8_t handled = w->info.events.userItemTrack ? w->info.events.userItemTrack(w, ItemId(), 2) : 0;
  if (!guard || UiDlg::AfterProc(w) || !self) return;
  EndClick(handled == 1);
}

void UiUserItem::EndClick(bool handled) {
  UiDlgWindow* w = UiDlg::OfWidget(this);
  if (!w) return;
  const Ui_Dlg_Info& d = w->info;
  if (handled) {
    DLog("...handled, item %d, (%d,%d)", ItemId(), (int)d.mouseH, (int)d.mouseV);
    return;
  }
  DLog("...not handled yet, item %d, (%d,%d)", ItemId(), (int)d.mouseH, (int)d.mouseV);
  UiDlg::ItemHit(w, ItemId(), nullptr);
}

void UiUserItem::enterEvent(QEnterEvent* e) {
  gHover = this;
  QWidget::enterEvent(e);
}

void UiUserItem::leaveEvent(QEvent* e) {
  if (gHover == this) gHover = nullptr;
  QWidget::leaveEvent(e);
}
