#include "base/scriptedhost.h"

void ScriptedHost::ShowAlert(const std::string& message, const std::string& explanation) {
  events.push_back({Kind::Alert, "", message, explanation});
}

void ScriptedHost::ShowMessage(const std::string& caption, const std::string& text) {
  events.push_back({Kind::Message, caption, text, ""});
}

int ScriptedHost::Ask(const UiQuestion& question) {
  int answer = question.defaultButton;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  std::string label;
  if (answer >= 0 && answer < (int)question.buttons.size()) label = question.buttons[answer];
  events.push_back({Kind::Question, question.caption, question.text, label, question.id, answer});
  return answer;
}

static Status TakeFiles(std::deque<std::vector<std::string>>& queue, std::vector<std::string>& out) {
  if (queue.empty()) return kCancelled;
  out = queue.front();
  queue.pop_front();
  return out.empty() ? kCancelled : kOk;
}

Status ScriptedHost::ChooseOpenFiles(const UiFileRequest& request, std::vector<std::string>& paths) {
  events.push_back({Kind::OpenFiles, "", request.title, request.folder});
  return TakeFiles(files, paths);
}

Status ScriptedHost::ChooseSaveFile(const UiFileRequest& request, std::string& path) {
  events.push_back({Kind::SaveFile, "", request.title, request.name});
  std::vector<std::string> chosen;
  Status st = TakeFiles(files, chosen);
  if (st == kOk) path = chosen.front();
  return st;
}

Status ScriptedHost::ChooseFolder(const UiFileRequest& request, std::string& path) {
  events.push_back({Kind::Folder, "", request.title, request.folder});
  std::vector<std::string> chosen;
  Status st = TakeFiles(files, chosen);
  if (st == kOk) path = chosen.front();
  return st;
}

void ScriptedHost::ProgressOpen(const std::string& text, int64_t) {
  events.push_back({Kind::ProgressOpen, "", text, ""});
}

Status ScriptedHost::ProgressStep(int64_t, const std::string&) {
  int64_t step = progressSteps++;
  return (cancelAtStep >= 0 && step >= cancelAtStep) ? kCancelled : kOk;
}

void ScriptedHost::ProgressClose() { events.push_back({Kind::ProgressClose, "", "", ""}); }

std::vector<ScriptedHost::Event> ScriptedHost::Of(Kind kind) const {
  std::vector<Event> out;
  for (const Event& e : events)
    if (e.kind == kind) out.push_back(e);
  return out;
}
