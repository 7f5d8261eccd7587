// Progress areas: two per dialog (index 0 and 1), each a rectangle of the
// dialog in which a long operation shows its text and a bar.
//   begin: records the start time (the framework clock, uiapp.h), forgets an
//          earlier Escape, and holds off user input until end (the busy gate);
//   set:   draws nothing until 2.0 s have passed since begin; then draws the
//          text and the bar filled to value / maximum, lets pending window
//          events run (at most every 50 ms), and returns -10 when Escape is
//          held or was pressed since the last look, so the operation stops;
//   end:   clears the area and lifts the gate.
// A rectangle lower than 26 units puts the bar in the middle of the area,
// with the text to its left; a taller one puts the text at the top and the
// bar 16 units below the top. Begin and end are paired within one operation;
// closing the dialog ends its areas. Texts are UTF-8, cut to 255 bytes.
#pragma once

#include <QRect>
#include <cstdint>
#include <string>

#include "base/status.h"

class QWidget;

// -1: missing dialog, index outside 0..1, maximum < 0; -2: not a framework dialog.
Status Ui_Dlg_ProgressBegin(QWidget* dlg, int index, const QRect& rect, const std::string& text, int64_t maximum);
// Replaces the text (drawn at the next set). -1 when the area is not begun.
Status Ui_Dlg_ProgressSetText(QWidget* dlg, int index, const std::string& text);
// 0, or -10 when the user asked to stop; -1 when the area is not begun.
Status Ui_Dlg_ProgressSet(QWidget* dlg, int index, int64_t value);
// -1 when the area is not begun.
Status Ui_Dlg_ProgressEnd(QWidget* dlg, int index);
