// The one alert path. A failure is reported once, where it happens, with a
// context phrase ("reading image file beach.tif"), and only passed up after.
// The alert: class text by status [+ " while " + context + "."], with an
// explanation under it. Cancellation (-10) is logged and never shown.
#pragma once

#include <initializer_list>

#include <string>

#include "base/status.h"

struct UiState;

// Reports through the current state; does nothing without one. A null
// explanation is chosen by the status. Returns `status` unchanged.
Status ReportError(Status status, const char* context = nullptr, const char* explanation = nullptr);
inline Status ReportError(Status status, const std::string& context) { return ReportError(status, context.c_str()); }

// The first report made on a helper thread, kept instead of shown: a host
// (a window) is called from one thread only. While a KeepReports lives on a
// thread, ReportError there keeps its first report in `kept` (later ones are
// consequences, dropped) and shows nothing; the thread that owns the work
// then shows it with ReplayKeptReport, once the helper is done.
struct KeptReport {
  bool have = false;
  Status status = kOk;
  std::string context, explanation;
  bool hasContext = false, hasExplanation = false;
};
class KeepReports {
 public:
  explicit KeepReports(KeptReport* kept);
  KeepReports(const KeepReports&) = delete;
  KeepReports& operator=(const KeepReports&) = delete;
  ~KeepReports();

 private:
  KeptReport* previous_;
};
// Shows the kept report, if any, through ReportError, and forgets it.
void ReplayKeptReport(KeptReport& kept);

// Builds and shows the alert; returns `status`.
Status Ui_Alert_DoLucentoError(const UiState* state, Status status, const char* context, const char* explanation);

// The alert's message and default explanation for a status (what the alert shows).
std::string AlertMessage(Status status, const char* context);

// Asks the current host the string table's question `textId` (also its id)
// with the table's texts `buttonIds` as the buttons, in display order; the
// answer (a button index).
int AskTableQuestion(int textId, std::initializer_list<int> buttonIds, int defaultButton, int cancelButton);
const char* DefaultExplanation(Status status);  // null when none
