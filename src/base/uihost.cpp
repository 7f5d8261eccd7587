#include "base/uihost.h"

#include "base/strings.h"

#include <cstdio>

namespace {
StderrHost gStderrHost;
UiHost* gHost = nullptr;
}  // namespace

UiHost& Ui_GetHost() { return gHost ? *gHost : gStderrHost; }

UiHost* Ui_SetHost(UiHost* host) {
  UiHost* previous = gHost;
  gHost = host;
  return previous;
}

void StderrHost::ShowAlert(const std::string& message, const std::string& explanation) {
  std::fprintf(stderr, "%s\n", message.c_str());
  if (!explanation.empty()) std::fprintf(stderr, "%s\n", explanation.c_str());
}

void StderrHost::ShowMessage(const std::string& caption, const std::string& text) {
  if (quiet) return;
  std::fprintf(stderr, "%s\n", text.c_str());
}

int StderrHost::Ask(const UiQuestion& question) {
  if (!quiet) {
    std::fprintf(stderr, "%s", question.text.c_str());
    if (question.defaultButton >= 0 && question.defaultButton < (int)question.buttons.size())
      std::fprintf(stderr, " [%s]", question.buttons[question.defaultButton].c_str());
    std::fprintf(stderr, "\n");
  }
  return question.defaultButton;
}

Status StderrHost::ChooseOpenFiles(const UiFileRequest&, std::vector<std::string>&) { return kCancelled; }
Status StderrHost::ChooseSaveFile(const UiFileRequest&, std::string&) { return kCancelled; }
Status StderrHost::ChooseFolder(const UiFileRequest&, std::string&) { return kCancelled; }
void StderrHost::ProgressOpen(const std::string&, int64_t) {}
Status StderrHost::ProgressStep(int64_t, const std::string&) { return kOk; }
void StderrHost::ProgressClose() {}

bool Ui_AskGoOnOrCancel(int id, int goOnText) {
  UiQuestion q;
  q.id = id;
  q.text = ResString(id);
  q.buttons = {ResString(goOnText), ResString(1111)};
  q.cancelButton = 1;
  return Ui_GetHost().Ask(q) == 0;
}
