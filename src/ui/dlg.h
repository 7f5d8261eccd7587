// The dialog and event framework. Every window of the application is a dialog
// built from a template (a registered builder that creates its controls) and
// driven by event procedures that its init procedure registers. Application
// code never handles Qt events itself: the framework turns them into calls of
// the procedures, keeps the modifier keys and the mouse position in the
// dialog's record, and closes the dialog when a procedure sets the close flag.
//
// Controls are found by their item id, the dynamic property "itemId" (int,
// 1..32767) that each control of a template carries; user items (custom
// drawing areas) are UiUserItem widgets (useritem.h) with an item id.
//
// Order of dispatch for every event the framework handles on a dialog:
//   1. (at open) per-item arrays, window table, owner window, init procedure
//      (non-zero: result item 2, closed before it is shown), 100 ms idle timer
//      when an idle procedure exists, file dropping when a drop procedure does;
//   2. nothing happens once the close flag is set (the dialog is closing);
//   3. the first-paint procedure, once, on the first event after the first
//      paint (non-zero closes);
//   4. Ctrl, Alt, Shift and the mouse position are refreshed;
//   5. the idle procedure;
//   6. the event's own procedure (item hit, key, close box, drop, resize ...).
// After every procedure a set close flag closes the dialog.
//
// Item hits: button clicks, combo and list selection changes by the user,
// edit-field changes and focus loss, slider, spin box and tab changes by the
// user, and clicks in user items that their tracking procedure did not
// handle. Changes made through the item services (dlgitems.h) never produce
// an item hit. Escape (and the close of a QDialog by Escape) is a hit on item
// 2, as a Cancel button would give.
//
// Use (a modal dialog with an OK button 1 and a check box 6):
//   Status BuildHelp(QDialog* d) {            // the template, registered once
//     auto* ok = new QPushButton("OK", d);  ok->setProperty("itemId", 1);
//     auto* box = new QCheckBox("Don't Show Again", d);  box->setProperty("itemId", 6);
//     ...layout...; return 0;
//   }
//   uint8_t HelpHit(QWidget* dlg, int item) {
//     Ui_Dlg_Info* info = nullptr;
//     if (Ui_Dlg_Info_Get(dlg, &info) == 0 && item == 1) info->closeRequested = 1;
//     return 1;
//   }
//   Status HelpInit(QWidget* dlg) { return Ui_Dlg_SetItemHitProc(dlg, HelpHit); }
//   Ui_Dlg_RegisterTemplate(1002, BuildHelp);
//   int16_t item = 0;
//   Status st = Ui_Dlg_OpenModal(AppState(), 1002, nullptr, HelpInit, &topic, &item);
//
// Ownership: the framework owns each dialog window and its record; a modal
// dialog is destroyed before Ui_Dlg_OpenModal returns, a modeless one shortly
// after Ui_Dlg_Close. The record stays readable (though no longer valid for
// Ui_Dlg_Info_Get) until the window is destroyed. Everything runs on the UI
// thread; the application object must be a UiApplication (uiapp.h).
#pragma once

#include <QBrush>
#include <QColor>
#include <QPointer>
#include <QRect>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"

class QDialog;
class QPainter;
class QSize;
class QTimer;
class QWidget;
struct UiState;

constexpr uint32_t kUiDlgTag = 0x55694467;  // "UiDg"
constexpr int16_t kUiDlgCancelItem = 2;      // result of a failed init, Escape, the close box
constexpr int kUiIdleIntervalMs = 100;
constexpr int kUiProgressAreas = 2;
constexpr int64_t kUiProgressDelayMs = 2000;
constexpr size_t kUiProgressTextMax = 255;

// Event procedures. All receive the dialog window first.
using Ui_Dlg_InitProc = Status (*)(QWidget* dlg);
using Ui_Dlg_IdleProc = uint8_t (*)(QWidget* dlg);
using Ui_Dlg_ItemHitProc = uint8_t (*)(QWidget* dlg, int item);
using Ui_Dlg_CloseProc = void (*)(QWidget* dlg);
using Ui_Dlg_CursorProc = uint8_t (*)(QWidget* dlg);  // 1 = handled (cursor chosen)
using Ui_Dlg_DropProc = Status (*)(QWidget* dlg, int count, const std::vector<std::string>& paths);
using Ui_Dlg_UserItemDrawProc = void (*)(QWidget* dlg, int item, QPainter& painter);
// key: a Qt::Key value; ctrl: 1 while Control is held. 1 = handled (the key goes no further).
using Ui_Dlg_KeyProc = uint8_t (*)(QWidget* dlg, int key, uint8_t ctrl);
using Ui_Dlg_FirstPaintProc = Status (*)(QWidget* dlg);
using Ui_Dlg_ResizeProc = Status (*)(QWidget* dlg, const QRect& bounds);
// phase 0 at mouse-down (1 = track this drag), 1 for each movement while the
// button is held, 2 at mouse-up (1 = handled: no item hit follows).
using Ui_Dlg_UserItemTrackProc = uint8_t (*)(QWidget* dlg, int item, int phase);
// Owner-drawn list entries (list widgets with an item id).
using Ui_Dlg_ListMeasureProc = void (*)(QWidget* dlg, int item, int entry, QSize& size);
using Ui_Dlg_ListDrawProc = void (*)(QWidget* dlg, int item, int entry, QPainter& painter, const QRect& rect,
                                     uint8_t selected);

// A template builder fills an empty dialog with its controls (code, or a
// Designer form's setupUi) and sets their "itemId" properties. Non-zero fails
// the open with -2.
using Ui_Dlg_TemplateBuilder = Status (*)(QDialog* dialog);

struct Ui_Dlg_Events {
  Ui_Dlg_IdleProc idle = nullptr;
  Ui_Dlg_ItemHitProc itemHit = nullptr;
  Ui_Dlg_CloseProc close = nullptr;
  Ui_Dlg_CursorProc cursor = nullptr;
  Ui_Dlg_DropProc drop = nullptr;
  Ui_Dlg_UserItemDrawProc userItemDraw = nullptr;
  Ui_Dlg_KeyProc key = nullptr;
  Ui_Dlg_FirstPaintProc firstPaint = nullptr;
  Ui_Dlg_ResizeProc resize = nullptr;
  Ui_Dlg_UserItemTrackProc userItemTrack = nullptr;
  Ui_Dlg_ListMeasureProc listMeasure = nullptr;
  Ui_Dlg_ListDrawProc listDraw = nullptr;
};

// One of the two progress areas of a dialog (progressarea.h).
struct Ui_Dlg_ProgressArea {
  uint8_t active = 0;  // between begin and end
  uint8_t shown = 0;   // drawn: the delay has passed
  QRect rect;          // in the dialog's client coordinates
  std::string text;    // at most 255 characters
  int64_t maximum = 0;
  int64_t value = 0;
  int64_t startMs = 0;
  int64_t lastPumpMs = 0;
  QPointer<QWidget> view;  // the child that draws the area, made at the first draw
};

struct Ui_Dlg_Info {
  uint32_t tag = kUiDlgTag;
  int32_t templateId = 0;
  // Per-item storage for the application, indexed by item id (0..itemCount-1;
  // itemCount is the largest item id of the template plus one).
  int32_t itemCount = 0;
  std::vector<int32_t> itemValues;                      // cleared to 0
  std::vector<std::pair<int32_t, int32_t>> itemPairs;   // (-1, 0)
  std::vector<std::array<uint8_t, 16>> itemRecords;     // cleared
  int16_t resultItem = 0;  // the item that ended a modal dialog; 2 when init failed
  int16_t mouseV = 0;      // mouse position in the client area, refreshed before every event
  int16_t mouseH = 0;
  uint8_t ctrl = 0, alt = 0, shift = 0;  // refreshed before every event
  uint8_t mouseDown = 0;                 // 1 while a user item tracks the mouse
  uint8_t closeRequested = 0;            // set by a procedure to close the dialog
  uint8_t modal = 0;
  void* userData = nullptr;
  UiState* state = nullptr;
  Ui_Dlg_Events events;
  QPointer<QWidget> owner;
  QTimer* idleTimer = nullptr;  // exists only when an idle procedure was registered in init
  uint8_t sizing = 0;  // a move or resize is in progress
  QRect savedBounds;   // the bounds when it started
  uint8_t painted = 0;         // first paint happened
  uint8_t firstPaintDone = 0;  // first-paint procedure ran
  Ui_Dlg_ProgressArea progress[kUiProgressAreas];
};

// Registers (or replaces) the builder of a template id.
Status Ui_Dlg_RegisterTemplate(int templateId, Ui_Dlg_TemplateBuilder builder);

// Opens a modal dialog and returns when it has closed, with the item that
// ended it. The owner defaults to the current owner window. -1 without state
// or result; -2 for an unknown template, a failing builder, or a full window
// table. A failing init procedure gives 0 with result item 2.
Status Ui_Dlg_OpenModal(UiState* state, int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* userData,
                        int16_t* resultItem);
// Opens a modeless dialog, shows it (unless show is false) and returns at once.
// A failing init procedure closes it and its status is returned (*window null).
Status Ui_Dlg_OpenModeless(UiState* state, int templateId, QWidget* owner, Ui_Dlg_InitProc init, void* userData,
                           QWidget** window, bool show = true);
// Stops the idle timer, ends the progress areas, removes the dialog from the
// window table, ends a modal dialog with its result item or destroys a
// modeless one, and frees the record's arrays.
Status Ui_Dlg_Close(QWidget* dlg);

// -1 without arguments, -2 when the window is not a live framework dialog.
Status Ui_Dlg_Info_Get(QWidget* window, Ui_Dlg_Info** info);
// The window's frame bounds in screen coordinates; logs "Ui_Dlg_Bounds_Get: %d,%d %d,%d".
Status Ui_Dlg_Bounds_Get(QWidget* dlg, QRect* bounds);

// The window that owns alerts and message boxes: the framework dialog last
// initialised or activated that is still open; null (the desktop) without one.
QWidget* Ui_Dlg_OwnerWindow();

// Event registration, from the init procedure: -1 for a missing argument,
// -2 when dlg is not a framework dialog.
Status Ui_Dlg_SetIdleProc(QWidget* dlg, Ui_Dlg_IdleProc proc);
Status Ui_Dlg_SetItemHitProc(QWidget* dlg, Ui_Dlg_ItemHitProc proc);
Status Ui_Dlg_SetCloseProc(QWidget* dlg, Ui_Dlg_CloseProc proc);
Status Ui_Dlg_SetCursorProc(QWidget* dlg, Ui_Dlg_CursorProc proc);
Status Ui_Dlg_SetDropProc(QWidget* dlg, Ui_Dlg_DropProc proc);
Status Ui_Dlg_SetKeyProc(QWidget* dlg, Ui_Dlg_KeyProc proc);
Status Ui_Dlg_SetFirstPaintProc(QWidget* dlg, Ui_Dlg_FirstPaintProc proc);
Status Ui_Dlg_SetResizeProc(QWidget* dlg, Ui_Dlg_ResizeProc proc);
// The tracking procedure may be null (clicks then always give an item hit).
Status Ui_Dlg_SetUserItemProcs(QWidget* dlg, Ui_Dlg_UserItemDrawProc draw, Ui_Dlg_UserItemTrackProc track);
// Makes the list with this item id owner-drawn through the two procedures.
Status Ui_Dlg_SetListItemProcs(QWidget* dlg, int item, Ui_Dlg_ListMeasureProc measure, Ui_Dlg_ListDrawProc draw);

