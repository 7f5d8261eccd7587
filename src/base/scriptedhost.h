// ScriptedHost: a stand-in for the user. Records everything shown (alerts,
// messages, questions, chooser requests, progress) in order, and answers
// questions and choosers from queues. An empty answer queue gives a question's
// default button and cancels a chooser. Progress is cancelled at a chosen step.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/uihost.h"

class ScriptedHost : public UiHost {
 public:
  enum class Kind { Alert, Message, Question, OpenFiles, SaveFile, Folder, ProgressOpen, ProgressClose };
  struct Event {
    Kind kind;
    std::string caption;  // alert: empty; message: its caption; question: its caption
    std::string text;     // alert: message; message: text; question: text; chooser: title
    std::string detail;   // alert: explanation; question: chosen button's label
    int id = 0;           // question id
    int answer = 0;       // question: chosen button index
  };

  void ShowAlert(const std::string& message, const std::string& explanation) override;
  void ShowMessage(const std::string& caption, const std::string& text) override;
  int Ask(const UiQuestion& question) override;
  Status ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) override;
  Status ChooseSaveFile(const UiFileRequest& request, std::string& path) override;
  Status ChooseFolder(const UiFileRequest& request, std::string& path) override;
  void ProgressOpen(const std::string& text, int64_t total) override;
  Status ProgressStep(int64_t done, const std::string& text) override;
  void ProgressClose() override;

  // Scripts.
  std::deque<int> answers;                      // button indices for Ask
  std::deque<std::vector<std::string>> files;   // answers for the choosers; empty vector = cancel
  int64_t cancelAtStep = -1;                    // ProgressStep returns kCancelled from this call on (0-based)

  // Record.
  std::vector<Event> events;
  int64_t progressSteps = 0;

  std::vector<Event> Of(Kind kind) const;
  int Count(Kind kind) const { return (int)Of(kind).size(); }
  void Clear() { events.clear(); progressSteps = 0; }
};

// Makes a ScriptedHost current for the lifetime of the object.
class ScopedHost {
 public:
  explicit ScopedHost(UiHost* host) : previous_(Ui_SetHost(host)) {}
  ~ScopedHost() { Ui_SetHost(previous_); }
  ScopedHost(const ScopedHost&) = delete;
  ScopedHost& operator=(const ScopedHost&) = delete;

 private:
  UiHost* previous_;
};
