// Item services: what application code does to the controls of a framework
// dialog, by item id. Each returns 0, -1 for a missing argument or an item id
// the dialog does not have (or a control of the wrong kind), -2 when the
// window is not a live framework dialog.
//
// Changes made here never produce item hits (signals are blocked while they
// are made), so an item-hit procedure sees only what the user did.
// Texts are UTF-8. Lists and combo boxes count entries from 0; -1 is "none".
#pragma once

#include <QRect>
#include <string>
#include <vector>

#include "base/status.h"

class QWidget;

// The control with this id (for what the services do not cover).
Status Ui_Dlg_GetItem(QWidget* dlg, int item, QWidget** control);

// Text of labels, buttons, check boxes, group boxes, edit fields, combo boxes
// (the current entry's text) and user items (kept for the draw procedure).
Status Ui_Dlg_GetItemText(QWidget* dlg, int item, std::string* text);
Status Ui_Dlg_SetItemText(QWidget* dlg, int item, const std::string& text);

// Check boxes and radio buttons.
Status Ui_Dlg_CheckItem(QWidget* dlg, int item, bool checked);
Status Ui_Dlg_IsItemChecked(QWidget* dlg, int item, bool* checked);
Status Ui_Dlg_ToggleItem(QWidget* dlg, int item, bool* nowChecked);
// Checks `chosen` and unchecks every other radio button first..last.
Status Ui_Dlg_SelectRadio(QWidget* dlg, int first, int last, int chosen);

Status Ui_Dlg_EnableItem(QWidget* dlg, int item, bool enabled);
Status Ui_Dlg_ShowItem(QWidget* dlg, int item, bool shown);
// Bounds in the dialog's client coordinates.
Status Ui_Dlg_GetItemBounds(QWidget* dlg, int item, QRect* bounds);
Status Ui_Dlg_MoveItem(QWidget* dlg, int item, const QRect& bounds);
// Asks for a redraw (a user item's draw procedure runs soon after).
Status Ui_Dlg_InvalidateItem(QWidget* dlg, int item);

// Sliders, spin boxes, progress bars; tab strips (the current tab).
Status Ui_Dlg_GetItemValue(QWidget* dlg, int item, int* value);
Status Ui_Dlg_SetItemValue(QWidget* dlg, int item, int value);

// Combo boxes and list boxes.
Status Ui_Dlg_FillList(QWidget* dlg, int item, const std::vector<std::string>& entries);
Status Ui_Dlg_GetListCount(QWidget* dlg, int item, int* count);
// Selects one entry (-1: none); in a multi-selection list the others are deselected.
Status Ui_Dlg_SelectListEntry(QWidget* dlg, int item, int entry);
// The current entry (-1: none).
Status Ui_Dlg_GetListSelection(QWidget* dlg, int item, int* entry);
// Every selected entry of a list, in order.
Status Ui_Dlg_GetListSelections(QWidget* dlg, int item, std::vector<int>* entries);
// Selects or deselects one entry of a multi-selection list, leaving the others.
Status Ui_Dlg_SetListEntrySelected(QWidget* dlg, int item, int entry, bool selected);
