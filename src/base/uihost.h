// UiHost: the only way the core reaches the user. The GUI implements it with
// Qt dialogs, the command-line tool with its flags and stderr, and the tests
// with ScriptedHost (records what was shown, answers from queues).
// One process-wide host is current at a time; the core never owns it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

// A question with buttons. Ask returns the index of the chosen button.
struct UiQuestion {
  int id = 0;                        // dialog or phrase id that identifies the question
  std::string caption;               // window caption
  std::string text;                  // the question itself
  std::vector<std::string> buttons;  // in display order
  int defaultButton = 0;             // what Enter chooses
  int cancelButton = -1;             // what Escape/closing chooses; -1 none
};

// A file or folder request for the choosers.
struct UiFileRequest {
  std::string title;                 // chooser title
  std::string prompt;                // prompt text, if any
  std::string folder;                // starting folder
  std::string name;                  // proposed file name (save)
  std::vector<std::string> filters;  // "TIFF (*.tif *.tiff)"; first is the default
  bool multiple = false;             // open: several files allowed
};

class UiHost {
 public:
  virtual ~UiHost() = default;

  // The alert dialog: stop icon, the message, the explanation under it (may be
  // empty), one OK button. Returns when the user has pressed OK.
  virtual void ShowAlert(const std::string& message, const std::string& explanation) = 0;
  // A plain message box with a caption and an OK button.
  virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
  // A question; returns the index of the chosen button.
  virtual int Ask(const UiQuestion& question) = 0;

  // Choosers: 0 with the chosen path(s), kCancelled when the user cancels.
  virtual Status ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) = 0;
  virtual Status ChooseSaveFile(const UiFileRequest& request, std::string& path) = 0;
  virtual Status ChooseFolder(const UiFileRequest& request, std::string& path) = 0;

  // Progress of long work. Step returns kCancelled when the user asked to stop
  // (Escape held or Cancel pressed), else 0. Open/Close are paired.
  virtual void ProgressOpen(const std::string& text, int64_t total) = 0;
  virtual Status ProgressStep(int64_t done, const std::string& text) = 0;
  virtual void ProgressClose() = 0;
};

// The current host; a StderrHost until the application sets its own.
// Asks question `id` (its text from the string table) with the buttons
// `goOnText` and Cancel (string 1111), Escape choosing Cancel: true to go on.
bool Ui_AskGoOnOrCancel(int id, int goOnText);
UiHost& Ui_GetHost();
// Makes `host` current (null restores the stderr host). Returns the previous one.
UiHost* Ui_SetHost(UiHost* host);

// The command-line host: alerts and messages to stderr, questions answered by
// their default button (or a preset answer), choosers cancelled, no progress.
class StderrHost : public UiHost {
 public:
  void ShowAlert(const std::string& message, const std::string& explanation) override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  int Ask(const UiQuestion& question) override;
  Status ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) override;
  Status ChooseSaveFile(const UiFileRequest& request, std::string& path) override;
  Status ChooseFolder(const UiFileRequest& request, std::string& path) override;
  void ProgressOpen(const std::string& text, int64_t total) override;
  Status ProgressStep(int64_t done, const std::string& text) override;
  void ProgressClose() override;

  bool quiet = false;  // suppress messages (not alerts)
};
