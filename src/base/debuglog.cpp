#include "base/debuglog.h"

#include <cstdarg>
#include <cstdio>

#include "base/uihost.h"
#include "base/paths.h"

Status Ui__Path_SetToDebugLog(std::string& path) {
  std::string folder;
  Status st = PrefFolderFromEnvironment("Harvosa", folder, kPathCapacity, nullptr);
  if (st != kOk) return st;
  std::string candidate = folder + "QuiloDebug.txt";
  if (candidate.size() >= kPathCapacity) return kBadArg;
  path = candidate;
  return kOk;
}

namespace {
const uint8_t* gFlag = nullptr;
}  // namespace

void Ui_Debug_FollowFlag(const uint8_t* flag) { gFlag = flag; }
int DiagFlag() { return gFlag ? *gFlag : 0; }

Status Ui_Debug_Alert(int enabled, const char* message) {
  if (enabled == 1) Ui_GetHost().ShowMessage(" ", message ? message : "");
  return kOk;
}

Status Ui_Debug_Log(int enabled, const char* message) {
  if (enabled != 1) return kOk;
  if (!message) {
    Ui_Debug_Alert(1, "Ui_Debug_Log: null msg");
    return kBadArg;
  }
  std::string path;
  Status st = Ui__Path_SetToDebugLog(path);
  if (st != kOk) {
    Ui_Debug_Alert(1, "Ui_Debug_Log: Ui__Path_SetToDebugLog error");
    return st;
  }
  FILE* file = std::fopen(path.c_str(), "a+");
  if (!file) {
    Ui_Debug_Alert(1, "Ui_Debug_Log: fopen error");
    Ui_Debug_Alert(1, path.c_str());
    return kOpenErr;
  }
  std::fputs(message, file);
  std::fputs("\n", file);
  std::fflush(file);
  std::fclose(file);
  return kOk;
}

static Status VLog(int enabled, const char* format, va_list args) {
  if (enabled != 1) return kOk;
  char line[1024];
  std::vsnprintf(line, sizeof line, format, args);
  return Ui_Debug_Log(enabled, line);
}

Status Ui_Debug_LogF(int enabled, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Status st = VLog(enabled, format, args);
  va_end(args);
  return st;
}

void Ui_Debug_LogSeparator(int enabled) { Ui_Debug_Log(enabled, "-------------------------------"); }

void DLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  VLog(DiagFlag(), format, args);
  va_end(args);
}
