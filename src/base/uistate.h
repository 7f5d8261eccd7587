// UiState: the application state record, opened once at start-up and closed
// at the end of the run. Owns the diagnostics flag (fixed for the run), the
// maker folder name, the table of 500 modeless-window slots and the two file
// extension flags. One state is current per process (AppState); ReportError
// reports nothing while none is current.
//
// Also the preferences folder as the state names it (the other path services
// are in paths.h). Folders always end in '/'.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/paths.h"
#include "base/status.h"

constexpr int kWindowSlots = 500;

struct UiState {
  uint8_t diagnostics = 0;  // 1 = on
  std::string appName;      // string 1000, at most 100 characters
  std::string makerFolder;  // "Harvosa", at most 100 characters
  std::array<const void*, kWindowSlots> windows{};
  uint8_t appendExtension = 1;     // preference 76
  uint8_t lowerCaseExtension = 1;  // preference 77
};

// Opens a state. diagnostics must be 0 or 1 (else kBadArg); appNameId < 0 for none.
// The new state becomes current.
Status Ui_State_Open(UiState** out, int appNameId, int diagnostics);
// Logs "Ui_State_Close", frees the state, clears *state; the current state is cleared too.
Status Ui_State_Close(UiState** state);

UiState* AppState();

// Modeless window registry: kSysErr when full / not registered.
Status Ui_State_AddWindow(UiState* state, const void* window);
Status Ui_State_RemoveWindow(UiState* state, const void* window);

// The preferences folder: $XDG_CONFIG_HOME (else $HOME/.config) followed by the
// maker folder, created when missing; falls back to $HOME. With a null state
// the maker folder is "Harvosa" and nothing is logged; with one, each trouble
// on the way is logged with its diagnostics flag. `capacity` is the size
// of the path field the result must fit (including the terminator).
Status Ui_Path_SetToPrefFolder(const UiState* state, std::string& path, size_t capacity = kPathCapacity);
