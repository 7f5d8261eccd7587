// UiApplication and the input state of the dialog framework: every event of
// the process passes UiApplication::notify once, which keeps the asynchronous
// key state (Escape held or pressed since the last look), the last mouse
// position, routes key-downs to the dialogs' key procedures, and shuts out
// user input while a long operation is busy (only the windows the operation
// allows, such as its progress window, still receive input).
//
// The framework needs the application object to be a UiApplication: the GUI
// entry and the GUI tests create one instead of a plain QApplication.
//
// The clock used for the progress delay is replaceable so that tests can
// step time; it returns milliseconds from an arbitrary origin.
#pragma once

#include <QApplication>
#include <QPoint>
#include <cstdint>

class QKeyEvent;
class QWidget;

class UiApplication : public QApplication {
  Q_OBJECT
 public:
  UiApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Escape: held now, or pressed since the last call that cleared the mark.
// `consume` clears the "pressed since" mark.
bool Ui_Key_EscapeDown(bool consume);
// Forgets an Escape pressed before now (called when a long operation begins).
void Ui_Key_ResetEscape();
// Ctrl, Alt and Shift held now, asked of the window system where it can tell
// (xcb); elsewhere the state of the last input event.
Qt::KeyboardModifiers Ui_Key_ModifiersNow();
// The last mouse position seen in any event, in global coordinates (falls back
// to the cursor position before the first mouse event).
QPoint Ui_Mouse_GlobalPos();

// Busy gate: between Enter and Leave (paired, nested) user input to every
// window but the allowed ones (null: none) is dropped, and the framework calls
// no idle, resize or user-item drawing procedure. A UiBusyPause lifts the gate
// for the lifetime of a modal box shown in the middle of the operation.
void Ui_Busy_Enter(QWidget* allowedWindow);
void Ui_Busy_Leave();
// True while a gate is up and not paused.
bool Ui_Busy_Active();
class UiBusyPause {
 public:
  UiBusyPause();
  ~UiBusyPause();
  UiBusyPause(const UiBusyPause&) = delete;
  UiBusyPause& operator=(const UiBusyPause&) = delete;
};

// Milliseconds of the framework's clock; Ui_SetClock(null) restores the steady
// clock. Returns the previous clock function (null for the steady clock).
using UiClockFn = int64_t (*)();
int64_t Ui_ClockMs();
UiClockFn Ui_SetClock(UiClockFn clock);

// What the dialog framework above does with the events passing here; each
// part of it sets its hook when it is loaded (null: nothing). The key hook
// answers true when a dialog's key procedure handled the key.
using UiKeyHook = bool (*)(QWidget* receiver, QKeyEvent* event);
using UiModifierHook = void (*)(QKeyEvent* event);
using UiBusyEndedHook = void (*)();
void Ui_SetKeyHook(UiKeyHook hook);
void Ui_SetModifierHook(UiModifierHook hook);
void Ui_SetBusyEndedHook(UiBusyEndedHook hook);
