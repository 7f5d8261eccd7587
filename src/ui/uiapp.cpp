#include "ui/uiapp.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <vector>


namespace {

bool gEscapeHeld = false;
bool gEscapePressed = false;
bool gHaveMouse = false;
QPoint gMouse;

std::vector<QPointer<QWidget>> gBusyAllowed;  // one entry per Ui_Busy_Enter
int gBusyDepth = 0;
int gPauseDepth = 0;

UiClockFn gClock = nullptr;
UiKeyHook gKeyHook = nullptr;
UiModifierHook gModifierHook = nullptr;
UiBusyEndedHook gBusyEndedHook = nullptr;

int64_t SteadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool IsUserInput(QEvent* e) {
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return true;
    case QEvent::Close:
      return e->spontaneous();  // the close box, not the program's own close()
    default:
      return false;
  }
}

bool BusySwallows(QWidget* receiver, QEvent* e) {
  if (!Ui_Busy_Active() || !IsUserInput(e)) return false;
  QWidget* window = receiver->window();
  for (const QPointer<QWidget>& allowed : gBusyAllowed)
    if (allowed && allowed == window) return false;
  return true;
}

bool IsModifierKey(int key) { return key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Shift; }

}  // namespace

UiApplication::UiApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool UiApplication::notify(QObject* receiver, QEvent* e) {
  if (!receiver || !receiver->isWidgetType()) return QApplication::notify(receiver, e);
  auto* widget = static_cast<QWidget*>(receiver);
  const QEvent::Type type = e->type();
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      gMouse = static_cast<QMouseEvent*>(e)->globalPosition().toPoint();
      gHaveMouse = true;
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) gEscapeHeld = gEscapePressed = true;
      break;
    case QEvent::KeyRelease: {
      auto* ke = static_cast<QKeyEvent*>(e);
      if (ke->key() == Qt::Key_Escape && !ke->isAutoRepeat()) gEscapeHeld = false;
      break;
    }
    default: break;
  }
  if (BusySwallows(widget, e)) return true;
  if (type == QEvent::KeyPress && gKeyHook && gKeyHook(widget, static_cast<QKeyEvent*>(e))) return true;
  const bool result = QApplication::notify(receiver, e);
  if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && IsModifierKey(static_cast<QKeyEvent*>(e)->key()))
    if (gModifierHook) gModifierHook(static_cast<QKeyEvent*>(e));
  return result;
}

bool Ui_Key_EscapeDown(bool consume) {
  const bool down = gEscapeHeld || gEscapePressed;
  if (consume) gEscapePressed = false;
  return down;
}

void Ui_Key_ResetEscape() {
  gEscapePressed = false;
  gEscapeHeld = false;
}

Qt::KeyboardModifiers Ui_Key_ModifiersNow() { return QGuiApplication::queryKeyboardModifiers(); }

QPoint Ui_Mouse_GlobalPos() { return gHaveMouse ? gMouse : QCursor::pos(); }

void Ui_Busy_Enter(QWidget* allowedWindow) {
  gBusyAllowed.emplace_back(allowedWindow);
  ++gBusyDepth;
}

void Ui_Busy_Leave() {
  if (gBusyDepth == 0) return;
  gBusyAllowed.pop_back();
  if (--gBusyDepth == 0 && gBusyEndedHook) gBusyEndedHook();
}

bool Ui_Busy_Active() { return gBusyDepth > 0 && gPauseDepth == 0; }

UiBusyPause::UiBusyPause() { ++gPauseDepth; }
UiBusyPause::~UiBusyPause() { --gPauseDepth; }

int64_t Ui_ClockMs() { return gClock ? gClock() : SteadyMs(); }

UiClockFn Ui_SetClock(UiClockFn clock) {
  UiClockFn previous = gClock;
  gClock = clock;
  return previous;
}

void Ui_SetKeyHook(UiKeyHook hook) { gKeyHook = hook; }
void Ui_SetModifierHook(UiModifierHook hook) { gModifierHook = hook; }
void Ui_SetBusyEndedHook(UiBusyEndedHook hook) { gBusyEndedHook = hook; }
