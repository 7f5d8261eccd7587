#include "ui/dlg.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <map>
#include <memory>

#include "base/debuglog.h"
#include "base/uistate.h"
#include "ui/dlg_internal.h"
#include "ui/uiapp.h"

namespace {

const QEvent::Type kFirstPaintEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
constexpr int kSettleMs = 200;  // a move or resize has ended when no resize came for this long

std::map<int, Ui_Dlg_TemplateBuilder>& Templates() {
  static std::map<int, Ui_Dlg_TemplateBuilder> templates;
  return templates;
}

// Framework dialogs in the order they were initialised or activated; the last
// live one owns alerts and message boxes.
std::vector<QPointer<UiDlgWindow>>& OwnerStack() {
  static std::vector<QPointer<UiDlgWindow>> stack;
  return stack;
}

void MakeOwner(UiDlgWindow* w) {
  auto& stack = OwnerStack();
  stack.erase(std::remove_if(stack.begin(), stack.end(),
                             [w](const QPointer<UiDlgWindow>& p) { return p.isNull() || p == w; }),
              stack.end());
  stack.emplace_back(w);
}

void DropOwner(UiDlgWindow* w) {
  auto& stack = OwnerStack();
  stack.erase(std::remove_if(stack.begin(), stack.end(),
                             [w](const QPointer<UiDlgWindow>& p) { return p.isNull() || p == w; }),
              stack.end());
}

int16_t Clamp16(int v) { return (int16_t)std::clamp(v, -32768, 32767); }

// Everything Ui_Dlg_Close does but ending the window itself. Also run by the
// destructor of a window destroyed from outside.
void Finish(UiDlgWindow* w) {
  if (w->closed) return;
  w->closed = true;
  Ui_Dlg_Info& d = w->info;
  delete d.idleTimer;
  d.idleTimer = nullptr;
  if (w->settle) w->settle->stop();
  UiDlg::EndProgressAreas(w);
  // A state closed before its windows (the end of the run) has no table left.
  if (w->registered && d.state && d.state == AppState()) Ui_State_RemoveWindow(d.state, w);
  w->registered = false;
  DropOwner(w);
  d.tag = 0;
  d.itemCount = 0;
  std::vector<int32_t>().swap(d.itemValues);
  std::vector<std::pair<int32_t, int32_t>>().swap(d.itemPairs);
  std::vector<std::array<uint8_t, 16>>().swap(d.itemRecords);
}

void StartIdleTimer(UiDlgWindow* w) {
  if (w->info.idleTimer || !w->info.events.idle) return;
  auto* timer = new QTimer(w);
  timer->setInterval(kUiIdleIntervalMs);
  QObject::connect(timer, &QTimer::timeout, w, [w] {
    // No idle while a long operation runs or while a user item tracks the mouse.
    if (w->closed || Ui_Busy_Active() || w->info.mouseDown) return;
    UiDlg::PreDispatch(w);
  });
  timer->start();
  w->info.idleTimer = timer;
}

bool HasLocalFiles(const QMimeData* mime) {
  if (!mime || !mime->hasUrls()) return false;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return true;
  return false;
}

// Owner-drawn list entries through the dialog's measure and draw procedures.
class ListDelegate : public QStyledItemDelegate {
 public:
  ListDelegate(UiDlgWindow* w, int item, QObject* parent) : QStyledItemDelegate(parent), w_(w), item_(item) {}

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (w_ && !w_->closed && w_->info.events.listMeasure) w_->info.events.listMeasure(w_, item_, index.row(), size);
    return size;
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!w_ || w_->closed || !w_->info.events.listDraw) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    painter->save();
    w_->info.events.listDraw(w_, item_, index.row(), *painter, option.rect,
                             (option.state & QStyle::State_Selected) ? 1 : 0);
    painter->restore();
  }

 private:
  QPointer<UiDlgWindow> w_;
  int item_;
};

void Hook(UiDlgWindow* w, QWidget* c, int id) {
  if (c->inherits("UiUserItem")) return;  // user items dispatch their own clicks
  QPointer<UiDlgWindow> pw(w);
  auto hit = [pw, id](const char* notification) {
    if (pw && pw->quiet == 0) UiDlg::ItemHit(pw, id, notification);
  };
  if (auto* b = qobject_cast<QAbstractButton*>(c)) {
    QObject::connect(b, &QAbstractButton::clicked, w, [hit] { hit("BN_CLICKED"); });
  } else if (auto* cb = qobject_cast<QComboBox*>(c)) {
    QObject::connect(cb, &QComboBox::activated, w, [hit] { hit("CBN_SELCHANGE"); });
  } else if (auto* lw = qobject_cast<QListWidget*>(c)) {
    QObject::connect(lw, &QListWidget::itemSelectionChanged, w, [hit] { hit("CBN_SELCHANGE"); });
  } else if (auto* tb = qobject_cast<QTabBar*>(c)) {
    QObject::connect(tb, &QTabBar::currentChanged, w, [hit] { hit("CBN_SELCHANGE"); });
  } else if (auto* tw = qobject_cast<QTabWidget*>(c)) {
    QObject::connect(tw, &QTabWidget::currentChanged, w, [hit] { hit("CBN_SELCHANGE"); });
  } else if (auto* le = qobject_cast<QLineEdit*>(c)) {
    QObject::connect(le, &QLineEdit::textEdited, w, [hit] { hit("EN_CHANGE"); });
    le->installEventFilter(w);
  } else if (auto* pe = qobject_cast<QPlainTextEdit*>(c)) {
    QObject::connect(pe, &QPlainTextEdit::textChanged, w, [hit] { hit("EN_CHANGE"); });
    pe->installEventFilter(w);
  } else if (auto* te = qobject_cast<QTextEdit*>(c)) {
    QObject::connect(te, &QTextEdit::textChanged, w, [hit] { hit("EN_CHANGE"); });
    te->installEventFilter(w);
  } else if (auto* sl = qobject_cast<QAbstractSlider*>(c)) {
    QObject::connect(sl, &QAbstractSlider::valueChanged, w, [hit] { hit("EN_CHANGE"); });
  } else if (auto* sp = qobject_cast<QSpinBox*>(c)) {
    QObject::connect(sp, &QSpinBox::valueChanged, w, [hit] { hit("EN_CHANGE"); });
  } else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c)) {
    QObject::connect(ds, &QDoubleSpinBox::valueChanged, w, [hit] { hit("EN_CHANGE"); });
  }
}

Status Create(UiState* state, int templateId, QWidget* owner, void* userData, bool modal, UiDlgWindow** out) {
  auto it = Templates().find(templateId);
  if (it == Templates().end() || !it->second) {
    DLog("Ui_Dlg: no template %d", templateId);
    return kSysErr;
  }
  auto* w = new UiDlgWindow(owner);
  Ui_Dlg_Info& d = w->info;
  d.templateId = templateId;
  d.state = state;
  d.userData = userData;
  d.owner = owner;
  d.modal = modal ? 1 : 0;
  Status st = it->second(w);
  if (st != kOk) {
    DLog("Ui_Dlg: template %d status = %d", templateId, (int)st);
    delete w;
    return kSysErr;
  }
  *out = w;
  return kOk;
}

// Step 1 of dispatch. `tableFull` reports a window table without room (the
// init procedure did not run).
Status Initialise(UiDlgWindow* w, Ui_Dlg_InitProc init, bool* tableFull) {
  *tableFull = false;
  UiDlg::CollectItems(w);
  if (Ui_State_AddWindow(w->info.state, w) != kOk) {
    DLog("Ui_Dlg: window table full, dialog %d", w->info.templateId);
    *tableFull = true;
    return kSysErr;
  }
  w->registered = true;
  MakeOwner(w);
  QPointer<UiDlgWindow> guard(w);
  Status st = init ? init(w) : kOk;
  if (!guard) return st != kOk ? st : kSysErr;
  if (w->closed) return st;
  UiDlg::CollectItems(w);
  if (st != kOk) {
    w->info.resultItem = kUiDlgCancelItem;
    Ui_Dlg_Close(w);
    return st;
  }
  if (w->info.closeRequested) {
    Ui_Dlg_Close(w);
    return kOk;
  }
  w->initialised = true;
  StartIdleTimer(w);
  if (w->info.events.drop) w->setAcceptDrops(true);
  return kOk;
}

template <typename Proc>
Status SetProc(QWidget* dlg, Proc proc, Proc Ui_Dlg_Events::*slot) {
  if (!dlg || !proc) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  w->info.events.*slot = proc;
  return kOk;
}

}  // namespace

// ---- the window ------------------------------------------------------------

UiDlgWindow::UiDlgWindow(QWidget* parent) : QDialog(parent) {
  settle = new QTimer(this);
  settle->setSingleShot(true);
  settle->setInterval(kSettleMs);
  connect(settle, &QTimer::timeout, this, [this] { SizeSettled(); });
}

UiDlgWindow::~UiDlgWindow() { Finish(this); }

bool UiDlgWindow::event(QEvent* e) {
  if (e->type() == kFirstPaintEvent) {
    UiDlg::PreDispatch(this);
    return true;
  }
  if (e->type() == QEvent::WindowActivate && !closed) {
    MakeOwner(this);
    QPointer<UiDlgWindow> guard(this);
    UiDlg::PreDispatch(this);
    if (!guard) return true;
  }
  if (e->type() == QEvent::Show && !closed && !info.sizing) info.savedBounds = geometry();
  return QDialog::event(e);
}

bool UiDlgWindow::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::FocusOut && !closed) {
    auto* fe = static_cast<QFocusEvent*>(e);
    bool ok = false;
    const int id = watched->property("itemId").toInt(&ok);
    if (ok && id > 0 && fe->reason() != Qt::PopupFocusReason) UiDlg::ItemHit(this, id, "EN_KILLFOCUS");
  }
  return QDialog::eventFilter(watched, e);
}

void UiDlgWindow::paintEvent(QPaintEvent* e) {
  QDialog::paintEvent(e);
  if (!info.painted && !closed) {
    info.painted = 1;
    // The first-paint procedure runs on the next event; make sure there is one.
    if (info.events.firstPaint) QCoreApplication::postEvent(this, new QEvent(kFirstPaintEvent));
  }
}

void UiDlgWindow::closeEvent(QCloseEvent* e) {
  if (closed) {
    e->accept();
    return;
  }
  e->ignore();  // the framework decides and closes by itself
  QPointer<UiDlgWindow> guard(this);
  if (!UiDlg::PreDispatch(this)) return;
  if (!info.events.close) {
    info.resultItem = kUiDlgCancelItem;
    Ui_Dlg_Close(this);
    return;
  }
  const int16_t before = info.resultItem;
  info.events.close(this);
  if (!guard || closed) return;
  if (info.closeRequested && info.resultItem == before) info.resultItem = kUiDlgCancelItem;
  UiDlg::AfterProc(this);
}

void UiDlgWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  if (closed || !isVisible() || !e->oldSize().isValid()) return;
  info.sizing = 1;
  settle->start();
}

void UiDlgWindow::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  // Maximise and restore: the resize procedure runs once the size has settled.
  if (e->type() == QEvent::WindowStateChange && !closed && isVisible()) {
    info.sizing = 1;
    settle->start();
  }
}

void UiDlgWindow::SizeSettled() {
  if (closed) return;
  if (Ui_Busy_Active()) {  // a long operation runs: try again after it
    settle->start();
    return;
  }
  info.sizing = 0;
  const QRect now = geometry();
  const bool changed = now.size() != info.savedBounds.size();
  info.savedBounds = now;
  if (!changed || !info.events.resize) return;
  QPointer<UiDlgWindow> guard(this);
  if (!UiDlg::PreDispatch(this)) return;
  info.events.resize(this, now);
  if (guard) UiDlg::AfterProc(this);
}

void UiDlgWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (!closed && info.events.drop && HasLocalFiles(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void UiDlgWindow::dragMoveEvent(QDragMoveEvent* e) {
  if (!closed && info.events.drop && HasLocalFiles(e->mimeData())) e->acceptProposedAction();
  else e->ignore();
}

void UiDlgWindow::dropEvent(QDropEvent* e) {
  if (closed || !info.events.drop || !HasLocalFiles(e->mimeData())) {
    e->ignore();
    return;
  }
  std::vector<std::string> paths;
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
  e->acceptProposedAction();
  QPointer<UiDlgWindow> guard(this);
  const QPoint global = mapToGlobal(e->position().toPoint());
  if (!UiDlg::PreDispatch(this, &global)) return;
  info.events.drop(this, (int)paths.size(), paths);
  if (guard) UiDlg::AfterProc(this);
}

// Escape (and any other way Qt rejects a dialog) is a hit on item 2, Enter
// without a default button one on item 1, as Cancel and OK buttons would give.
void UiDlgWindow::reject() {
  if (!closed) UiDlg::ItemHit(this, kUiDlgCancelItem, "BN_CLICKED");
}

void UiDlgWindow::accept() {
  if (!closed) UiDlg::ItemHit(this, 1, "BN_CLICKED");
}

// ---- dispatch --------------------------------------------------------------

namespace UiDlg {

UiDlgWindow* Live(QWidget* dlg) {
  auto* w = qobject_cast<UiDlgWindow*>(dlg);
  return (w && !w->closed && w->info.tag == kUiDlgTag) ? w : nullptr;
}

UiDlgWindow* OfWidget(QWidget* widget) { return widget ? Live(widget->window()) : nullptr; }

void RefreshInput(UiDlgWindow* w, const QPoint* globalMouse) {
  Ui_Dlg_Info& d = w->info;
  const Qt::KeyboardModifiers mods = QGuiApplication::keyboardModifiers();
  d.ctrl = (mods & Qt::ControlModifier) ? 1 : 0;
  d.alt = (mods & Qt::AltModifier) ? 1 : 0;
  d.shift = (mods & Qt::ShiftModifier) ? 1 : 0;
  const QPoint local = w->mapFromGlobal(globalMouse ? *globalMouse : Ui_Mouse_GlobalPos());
  d.mouseH = Clamp16(local.x());
  d.mouseV = Clamp16(local.y());
}

bool AfterProc(UiDlgWindow* w) {
  if (w->closed) return true;
  if (!w->info.closeRequested) return false;
  Ui_Dlg_Close(w);
  return true;
}

bool PreDispatch(UiDlgWindow* w, const QPoint* globalMouse) {
  if (!w || w->closed) return false;
  Ui_Dlg_Info& d = w->info;
  if (d.closeRequested) {  // closing: the event goes nowhere
    Ui_Dlg_Close(w);
    return false;
  }
  QPointer<UiDlgWindow> guard(w);
  if (d.painted && !d.firstPaintDone) {
    d.firstPaintDone = 1;
    if (d.events.firstPaint) {
      RefreshInput(w, globalMouse);
      const Status st = d.events.firstPaint(w);
      if (!guard || w->closed) return false;
      if (st != kOk) {
        Ui_Dlg_Close(w);
        return false;
      }
      if (AfterProc(w)) return false;
    }
  }
  RefreshInput(w, globalMouse);
  if (d.events.idle && !w->inIdle) {
    w->inIdle = true;
    d.events.idle(w);
    if (!guard) return false;
    w->inIdle = false;
    if (AfterProc(w)) return false;
  }
  return true;
}

void ItemHit(UiDlgWindow* w, int item, const char* notification) {
  QPointer<UiDlgWindow> guard(w);
  if (notification && !PreDispatch(w)) return;
  if (!guard || w->closed) return;
  Ui_Dlg_Info& d = w->info;
  if (notification) {
    DLog("%s%s", d.modal ? "WM_COMMAND : " : "WM_COMMAND(2) : ", notification);
    DLog(d.modal ? "modal %d item = %d, (%d,%d)" : "modeless %d item = %d, (%d,%d)", (int)d.templateId, item,
         (int)d.mouseH, (int)d.mouseV);
  }
  if (!d.events.itemHit) return;
  const int16_t before = d.resultItem;
  d.events.itemHit(w, item);
  if (!guard || w->closed) return;
  if (d.closeRequested && d.resultItem == before) d.resultItem = (int16_t)item;
  AfterProc(w);
}

bool KeyDown(QWidget* receiver, QKeyEvent* event) {
  UiDlgWindow* w = OfWidget(receiver);
  if (!w || !w->info.events.key) return false;
  QPointer<UiDlgWindow> guard(w);
  if (!PreDispatch(w)) return true;  // the dialog is closing: the key goes nowhere
  const uint8_t handled = w->info.events.key(w, event->key(), (event->modifiers() & Qt::ControlModifier) ? 1 : 0);
  if (!guard || AfterProc(w)) return true;
  return handled == 1;
}


QWidget* Item(UiDlgWindow* w, int item) {
  auto it = w->items.constFind(item);
  if (it != w->items.constEnd() && *it) return *it;
  CollectItems(w);
  it = w->items.constFind(item);
  return (it != w->items.constEnd()) ? it->data() : nullptr;
}

void CollectItems(UiDlgWindow* w) {
  int maxId = w->info.itemCount - 1;
  for (QWidget* c : w->findChildren<QWidget*>()) {
    bool ok = false;
    const int id = c->property("itemId").toInt(&ok);
    if (!ok || id <= 0 || id > 32767) continue;
    auto it = w->items.find(id);
    if (it == w->items.end() || it->isNull()) w->items.insert(id, c);
    maxId = std::max(maxId, id);
    if (!c->property("uiItemHooked").toBool()) {
      c->setProperty("uiItemHooked", true);
      Hook(w, c, id);
    }
  }
  Ui_Dlg_Info& d = w->info;
  const int count = maxId + 1;
  if (count > d.itemCount) {
    d.itemValues.resize(count, 0);
    d.itemPairs.resize(count, {-1, 0});
    d.itemRecords.resize(count, std::array<uint8_t, 16>{});
    d.itemCount = count;
  }
}

}  // namespace UiDlg

namespace {
// The application object hands every key-down to the dialogs (uiapp.h).
[[maybe_unused]] const bool kKeyHooked = (Ui_SetKeyHook(UiDlg::KeyDown), true);
}  // namespace

// ---- public interface --------------------------------------------------------

Status Ui_Dlg_RegisterTemplate(int templateId, Ui_Dlg_TemplateBuilder builder) {
  if (!builder) return kBadArg;
  Templates()[templateId] = builder;
  return kOk;
}

Status Ui_Dlg_OpenModal(UiState* state, int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* userData,
                        int16_t* resultItem) {
  if (!state || !resultItem) return kBadArg;
  *resultItem = 0;
  UiDlgWindow* w = nullptr;
  Status st = Create(state, templateId, owner ? owner : Ui_Dlg_OwnerWindow(), userData, true, &w);
  if (st != kOk) return st;
  QPointer<UiDlgWindow> guard(w);
  bool tableFull = false;
  const Status initStatus = Initialise(w, init, &tableFull);
  if (!tableFull && guard && initStatus == kOk && !w->closed) {
    UiBusyPause pause;  // a modal dialog in the middle of an operation takes input
    w->exec();
  }
  if (!guard) {
    *resultItem = kUiDlgCancelItem;
    return kOk;
  }
  if (!w->closed) {  // hidden by other means than the framework
    if (!tableFull) w->info.resultItem = kUiDlgCancelItem;
    Finish(w);
  }
  *resultItem = w->info.resultItem;
  delete w;
  return tableFull ? kSysErr : kOk;
}

Status Ui_Dlg_OpenModeless(UiState* state, int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* userData,
                           QWidget** window, bool show) {
  if (!state || !window) return kBadArg;
  *window = nullptr;
  UiDlgWindow* w = nullptr;
  Status st = Create(state, templateId, owner, userData, false, &w);
  if (st != kOk) return st;
  QPointer<UiDlgWindow> guard(w);
  bool tableFull = false;
  st = Initialise(w, init, &tableFull);
  if (tableFull) {
    delete w;
    return kSysErr;
  }
  if (st != kOk || !guard || w->closed) return st;
  if (show) w->show();
  *window = w;
  return kOk;
}

Status Ui_Dlg_Close(QWidget* dlg) {
  if (!dlg) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  Finish(w);
  if (w->info.modal) {
    w->QDialog::done(w->info.resultItem);
  } else {
    w->hide();
    w->deleteLater();
  }
  return kOk;
}

Status Ui_Dlg_Info_Get(QWidget* window, Ui_Dlg_Info** info) {
  if (!window || !info) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(window);
  if (!w) return kSysErr;
  *info = &w->info;
  return kOk;
}

Status Ui_Dlg_Bounds_Get(QWidget* dlg, QRect* bounds) {
  if (!dlg || !bounds) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  *bounds = w->frameGeometry();
  DLog("Ui_Dlg_Bounds_Get: %d,%d %d,%d", bounds->left(), bounds->top(), bounds->left() + bounds->width(),
       bounds->top() + bounds->height());
  return kOk;
}

QWidget* Ui_Dlg_OwnerWindow() {
  auto& stack = OwnerStack();
  for (auto it = stack.rbegin(); it != stack.rend(); ++it)
    if (*it && !(*it)->closed) return it->data();
  return nullptr;
}

Status Ui_Dlg_SetIdleProc(QWidget* dlg, Ui_Dlg_IdleProc proc) {
  Status st = SetProc(dlg, proc, &Ui_Dlg_Events::idle);
  if (st != kOk) return st;
  // Registered after the init procedure: the timer starts now.
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (w->initialised) StartIdleTimer(w);
  return st;
}
Status Ui_Dlg_SetItemHitProc(QWidget* dlg, Ui_Dlg_ItemHitProc proc) { return SetProc(dlg, proc, &Ui_Dlg_Events::itemHit); }
Status Ui_Dlg_SetCloseProc(QWidget* dlg, Ui_Dlg_CloseProc proc) { return SetProc(dlg, proc, &Ui_Dlg_Events::close); }
Status Ui_Dlg_SetCursorProc(QWidget* dlg, Ui_Dlg_CursorProc proc) { return SetProc(dlg, proc, &Ui_Dlg_Events::cursor); }
Status Ui_Dlg_SetDropProc(QWidget* dlg, Ui_Dlg_DropProc proc) {
  Status st = SetProc(dlg, proc, &Ui_Dlg_Events::drop);
  if (st == kOk && UiDlg::Live(dlg)->initialised) dlg->setAcceptDrops(true);
  return st;
}
Status Ui_Dlg_SetKeyProc(QWidget* dlg, Ui_Dlg_KeyProc proc) { return SetProc(dlg, proc, &Ui_Dlg_Events::key); }
Status Ui_Dlg_SetFirstPaintProc(QWidget* dlg, Ui_Dlg_FirstPaintProc proc) {
  return SetProc(dlg, proc, &Ui_Dlg_Events::firstPaint);
}
Status Ui_Dlg_SetResizeProc(QWidget* dlg, Ui_Dlg_ResizeProc proc) { return SetProc(dlg, proc, &Ui_Dlg_Events::resize); }

Status Ui_Dlg_SetUserItemProcs(QWidget* dlg, Ui_Dlg_UserItemDrawProc draw, Ui_Dlg_UserItemTrackProc track) {
  if (!dlg || !draw) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  w->info.events.userItemDraw = draw;
  w->info.events.userItemTrack = track;
  return kOk;
}

Status Ui_Dlg_SetListItemProcs(QWidget* dlg, int item, Ui_Dlg_ListMeasureProc measure, Ui_Dlg_ListDrawProc draw) {
  if (!dlg || !measure || !draw) return kBadArg;
  UiDlgWindow* w = UiDlg::Live(dlg);
  if (!w) return kSysErr;
  auto* list = qobject_cast<QAbstractItemView*>(UiDlg::Item(w, item));
  if (!list) return kBadArg;
  w->info.events.listMeasure = measure;
  w->info.events.listDraw = draw;
  list->setItemDelegate(new ListDelegate(w, item, list));
  return kOk;
}

