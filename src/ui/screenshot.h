// Screenshots of windows for looking at them during development and in GUI
// tests: renders a widget (and its children) the way it is on screen into a
// PNG file. Works on every platform plugin, offscreen and xcb included; the
// widget need not be shown, though layouts settle only once it has been.
#pragma once

#include <string>

#include "base/status.h"

class QWidget;

// -1 without a widget, a path, or with an empty widget; -6 when the file
// cannot be written.
Status Ui_SaveScreenshot(QWidget* widget, const std::string& path);
