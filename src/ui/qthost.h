// QtHost: the UiHost of the GUI, built on Qt and the dialog framework.
//   alerts    - a box with the stop icon, the message, the explanation under
//               it and one "OK" button, owned by the framework's owner window;
//   messages  - a plain box with the caption and an "OK" button;
//   questions - the core's text and buttons in their order, its default and
//               cancel buttons (no cancel button: Escape and the close box do
//               nothing, the user must choose); the profile question (id
//               6007) is its own dialog (dialogs.h), whose "Choose..." runs
//               the profile chooser inside it: the profile chosen there
//               answers the core's chooser call that follows the answer;
//   choosers  - QFileDialog; the save chooser swaps the name's extension when
//               the user picks another type and appends one when the name has
//               none, in the case the state's lower-case flag asks for;
//               a chosen folder ends in '/';
//   progress  - a modeless progress window (template kUiProgressDialogId)
//               that stays hidden for the first 2.0 s of an operation and then
//               shows its text, its bar and a "Stop" button; Stop, Escape and
//               closing it make the next step return -10. A progress opened
//               inside another uses the window's second area. Input to other
//               windows is held off while progress is open; a box shown in
//               the middle (a question) takes input as usual.
// Every box is modal and returns when the user has answered. Make one host
// current with Ui_SetHost for the run of the GUI.
#pragma once

#include <QPointer>
#include <string>

#include "base/uihost.h"

class QWidget;

constexpr int kUiProgressDialogId = 1900;

class QtHost : public UiHost {
 public:
  QtHost();
  ~QtHost() override;

  void ShowAlert(const std::string& message, const std::string& explanation) override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  int Ask(const UiQuestion& question) override;
  Status ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) override;
  Status ChooseSaveFile(const UiFileRequest& request, std::string& path) override;
  Status ChooseFolder(const UiFileRequest& request, std::string& path) override;
  void ProgressOpen(const std::string& text, int64_t total) override;
  Status ProgressStep(int64_t done, const std::string& text) override;
  void ProgressClose() override;

  // The system's own choosers where the desktop has them; off, Qt's own
  // chooser is used (tests drive it).
  bool nativeDialogs = true;

  // The open progress window (hidden during the first 2.0 s), or null.
  QWidget* ProgressWindow() const { return progressWindow_.data(); }
  // The progress window's Stop button (or Escape in it) was used.
  void RequestCancel() { cancel_ = true; }

 private:
  void SetWaitCursor(bool on);

  int progressDepth_ = 0;
  QPointer<QWidget> progressWindow_;
  bool cancel_ = false;
  bool waitCursor_ = false;
  // The profile chosen in dialog 6007, handed to the next profile chooser call.
  std::string chosenProfile_;
};
