// The editing window: the main modeless dialog (template 1000) of the
// application. It shows the open image of the Batchline (fit, Alt-click zoom,
// Control-drag pan, Shift-click sample points, Preview before/after), the
// four tool panels behind a tab strip with the expand arrow, the master
// buttons, the filter check boxes, the pixel readouts and the Batchline
// strip with its buttons, and the menus.
//
// Every gesture becomes a call of the Editor (editor.h) or of a Batchline
// operation (session/batchline.h); the window owns no correction logic. The
// window's record lives as long as the dialog; the editing context belongs
// to the caller and must outlive the window. On the first paint the window
// sizes the display images to its view (SetUpImages), shows the start-up
// guide when the preference asks, offers an unfinished job, and adds the
// command-line files (the session's list) or, with an empty Batchline, the
// sample photographs the caller named.
//
// Closing the window (its close box or File > Exit) runs ExitEditing; a
// cancelled question keeps the window open.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

class QWidget;
class Editor;
struct EditContext;

constexpr int kEditWindowDialog = 1000;

struct EditWindowOptions {
  // Added when the Batchline is empty after the start (no unfinished job
  // resumed and no command-line files): the shipped sample photographs.
  std::vector<std::string> samples;
  // The start-up steps run on the first paint (tests may turn them off and
  // call EditWindowStart themselves).
  bool startOnFirstPaint = true;
};

// Registers the template and opens the window on the context (which
// InitEditContext prepared). *window is the dialog; kSysErr when it cannot be
// made.
Status OpenEditWindow(EditContext* ctx, const EditWindowOptions& options, QWidget** window);

// The start-up steps of the first paint (see above); idempotent.
Status EditWindowStart(QWidget* window);
// The window's editor (null for another window).
Editor* EditWindowEditor(QWidget* window);
// Runs a menu command by its number (tests; the menus call it).
void EditWindowCommand(QWidget* window, int command);
// Files another start of the application handed over: the window comes to
// the front and adds them to its Batchline (a job file resumes), once no
// dialog or long operation is running.
void EditWindowOpenFiles(QWidget* window, const std::vector<std::string>& paths);
