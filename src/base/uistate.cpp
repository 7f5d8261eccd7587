#include "base/uistate.h"

#include <new>
#include <vector>

#include "base/debuglog.h"
#include "base/strings.h"

namespace {
UiState* gState = nullptr;

void MakeCurrent(UiState* state) {
  gState = state;
  Ui_Debug_FollowFlag(state ? &state->diagnostics : nullptr);
}
}  // namespace

UiState* AppState() { return gState; }

Status Ui_State_Open(UiState** out, int appNameId, int diagnostics) {
  if (!out || (diagnostics != 0 && diagnostics != 1)) return kBadArg;
  *out = nullptr;
  UiState* state = new (std::nothrow) UiState;
  if (!state) return kNoMem;
  state->diagnostics = (uint8_t)diagnostics;
  if (appNameId >= 0) state->appName = ResString(appNameId).substr(0, 100);
  const char* maker = ResText(6128);
  state->makerFolder = maker ? maker : "Harvosa";
  *out = state;
  MakeCurrent(state);
  return kOk;
}

Status Ui_State_Close(UiState** state) {
  if (!state || !*state) return kBadArg;
  Ui_Debug_Log((*state)->diagnostics, "Ui_State_Close");
  if (gState == *state) MakeCurrent(nullptr);
  delete *state;
  *state = nullptr;
  return kOk;
}

Status Ui_State_AddWindow(UiState* state, const void* window) {
  if (!state || !window) return kBadArg;
  for (const void*& slot : state->windows)
    if (!slot) {
      slot = window;
      return kOk;
    }
  return kSysErr;
}

Status Ui_State_RemoveWindow(UiState* state, const void* window) {
  if (!state || !window) return kBadArg;
  for (const void*& slot : state->windows)
    if (slot == window) {
      slot = nullptr;
      return kOk;
    }
  return kSysErr;
}

Status Ui_Path_SetToPrefFolder(const UiState* state, std::string& path, size_t capacity) {
  std::vector<std::string> trouble;
  const Status st = PrefFolderFromEnvironment(state ? state->makerFolder : std::string("Harvosa"), path, capacity,
                                              state ? &trouble : nullptr);
  for (const std::string& line : trouble) Ui_Debug_Log(state->diagnostics, line.c_str());
  return st;
}
