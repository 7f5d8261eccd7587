#include "base/alert.h"

#include "base/debuglog.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"

namespace {
int ClassTextId(Status status) {
  switch (status) {
    case kBadArg: return 6000;
    case kSysErr: return 6001;
    case kNoMem: return 6002;
    case kOpenErr: return 6003;
    case kReadErr: return 6004;
    case kWriteErr: return 6005;
    case kSeekErr: return 6006;
    case kFormatErr: return 6007;
    case kUnsupported: return 6008;
    case kTimeout: return 6009;
    default: return 6010;
  }
}
}  // namespace

const char* DefaultExplanation(Status status) {
  switch (status) {
    case kOpenErr: return ResText(2000);
    case kReadErr:
    case kSeekErr: return ResText(2001);
    case kWriteErr: return ResText(2002);
    case kFormatErr: return ResText(2003);
    default: return nullptr;
  }
}

std::string AlertMessage(Status status, const char* context) {
  std::string message = ResString(ClassTextId(status));
  if (context) {
    message += ResString(6050);
    message += context;
    message += ".";
  }
  return message;
}

Status Ui_Alert_DoLucentoError(const UiState* state, Status status, const char* context, const char* explanation) {
  const int diag = state ? state->diagnostics : 0;
  Ui_Debug_LogF(diag, "Ui_Alert_DoLucentoError %d", (int)status);
  if (status == kCancelled) return status;
  std::string message = AlertMessage(status, context);
  Ui_Debug_Log(diag, message.c_str());
  Ui_GetHost().ShowAlert(message, explanation ? explanation : "");
  return status;
}

namespace {
thread_local KeptReport* tKept = nullptr;  // set by a KeepReports on this thread
}  // namespace

KeepReports::KeepReports(KeptReport* kept) : previous_(tKept) { tKept = kept; }
KeepReports::~KeepReports() { tKept = previous_; }

void ReplayKeptReport(KeptReport& kept) {
  if (!kept.have) return;
  kept.have = false;
  ReportError(kept.status, kept.hasContext ? kept.context.c_str() : nullptr,
              kept.hasExplanation ? kept.explanation.c_str() : nullptr);
}

Status ReportError(Status status, const char* context, const char* explanation) {
  if (tKept) {
    if (!tKept->have) {
      tKept->have = true;
      tKept->status = status;
      tKept->hasContext = context != nullptr;
      tKept->context = context ? context : "";
      tKept->hasExplanation = explanation != nullptr;
      tKept->explanation = explanation ? explanation : "";
    }
    return status;
  }
  UiState* state = AppState();
  if (!state) return status;
  if (!explanation) explanation = DefaultExplanation(status);
  return Ui_Alert_DoLucentoError(state, status, context, explanation);
}

int AskTableQuestion(int textId, std::initializer_list<int> buttonIds, int defaultButton, int cancelButton) {
  UiQuestion q;
  q.id = textId;
  q.text = ResString(textId);
  for (int id : buttonIds) q.buttons.push_back(ResString(id));
  q.defaultButton = defaultButton;
  q.cancelButton = cancelButton;
  return Ui_GetHost().Ask(q);
}
