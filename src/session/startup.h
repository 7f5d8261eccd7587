// Start-up and finish-up: the frame around a run of the application, with
// or without a window. StartUp opens the application state, reads the
// preferences, writes the help text and the fifteen working-space profiles
// into the temporary folder and sets up the working space (with its
// working-space-to-monitor transform); FinishUp writes the preferences back,
// releases what the subsystems hold process-wide and closes the state.
//
// AppSession is the application-wide record of one run: the paths that
// start-up works out (preferences file, help file, temporary folder), the
// current working space and the command-line file list. One session is
// current per process (App()); it lives from StartUp to FinishUp. The
// editing context (editcontext.h) points at it.
//
// Preferences: the caller hands the session the record it runs with
// (AppSession::prefs; the window and the command-line tool give the
// application's record of prefs.h). Start-up loads it, and the session's
// operations read their settings from that record and hand the steps below
// them a snapshot of what each needs; no module of the session reaches for
// the process-wide record itself. A preferences file that
// cannot be read is reported, kept aside as "<name>.damaged", and the run
// goes on with the defaults (written back as a fresh file), instead of
// ending the run and locking the user out until the file is deleted by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "colormgmt/workspace.h"
#include "base/status.h"

struct Prefs;
struct UiState;

constexpr int kHelpResourceId = 1000;   // the built-in help text
constexpr int kProfileResourceId = 1001;  // + working-space index: its profile
constexpr int kCommandLinePathMax = 254;  // characters kept of each command-line path
// The application's own resource type (the only one custom resources come in).
constexpr int kAppResourceType = 0x5154;

struct StartUpOptions {
  int diagnostics = 0;  // 0 or 1
  // Read the preferences file at start-up and write it at the end (and
  // whenever a confirmed dialog or an Apply asks). The command-line tool
  // works from the defaults and leaves the user's file as it is.
  bool usePreferencesFile = true;
};

struct AppSession {
  // The preferences the run works with, owned by the caller and set before
  // StartUp (which refuses a session without one). The operations read it
  // and keep what they remember in it (the previous settings, the last folders).
  Prefs* prefs = nullptr;
  UiState* state = nullptr;
  bool usePreferencesFile = true;
  std::string currentFolder;  // fallback folder, ends in '/' (may be empty)
  std::string prefsPath;      // preferences folder + "TavelinMarvet Prefs"
  std::string helpPath;       // temporary folder + "TavelinMarvet Help"
  std::string tempFolder;     // ends in '/'
  WorkingSpace workingSpace;  // index, grid, profile path, refRGB, monitor transform
  // Paths handed over on the command line, consumed by the first Add Images.
  std::vector<std::string> commandLineFiles;
};

// The session of this process (null outside StartUp .. FinishUp).
AppSession* App();

// Everything between the diagnostics decision and the creation of the
// editing window. On failure the session is left for FinishUp, which always
// runs. Failures after the state is open are reported.
Status StartUp(const StartUpOptions& options, AppSession* session);
// Writes the preferences (when the session uses the file), releases the
// transforms, attachment slots and caches, closes the state and logs the
// leak report ("nMallocs = %ld", written whenever the log can be opened).
void FinishUp(AppSession* session);

// Writes the preferences file now (a confirmed dialog, an Apply). Nothing
// when the session does not use the file. A failure is reported with
// "updating Preferences file %s" and returned.
Status SavePreferencesNow(AppSession* session);

// The command-line file list: only quoted arguments count. The number of
// arguments is the number of double quotes divided by two (truncated); each
// is the text between a quote and the next one, cut to kCommandLinePathMax
// characters. Text outside quotes is ignored. Logs "nArgs = %d", the line and
// each path.
Status ParseCommandLine(const std::string& commandLine, std::vector<std::string>* files);

// Writes a custom resource as a new file (replacing an existing one whole,
// through a temporary file). kBadArg for another type or an id outside
// 128..32767; kSeekErr for a resource that does not exist; kReadErr when it
// cannot be made; kFormatErr for an empty one; the file's status otherwise.
Status Ui_Res_WriteCustomToFile(UiState* state, int type, int id, const std::string& path);
