// The diagnostics log "QuiloDebug.txt" in the preferences folder. One line per
// call, appended, the file opened and closed each time so that it survives a
// crash; never truncated. Written only when the enabled flag is exactly 1.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"

Status Ui_Debug_Log(int enabled, const char* message);
Status Ui_Debug_LogF(int enabled, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The separator line: 31 hyphens.
void Ui_Debug_LogSeparator(int enabled);
// A plain message box with the caption " ", when enabled is 1; returns 0.
Status Ui_Debug_Alert(int enabled, const char* message);
// The preferences folder (computed without a state) followed by "QuiloDebug.txt".
Status Ui__Path_SetToDebugLog(std::string& path);

// The diagnostics flag of the current application state (uistate.h), which
// points the log at its flag when it becomes current (null: none, flag 0).
void Ui_Debug_FollowFlag(const uint8_t* flag);
int DiagFlag();

// Logs with the current state's diagnostics flag.
void DLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
