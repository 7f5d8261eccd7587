// UiState: the application state record, opened once at start-up and closed
// at the end of the run. Owns the diagnostics flag (fixed for the run), the
// maker folder name, the table of 500 modeless-window slots and the two file
// extension flags. One state is current per process (AppState); ReportError
// reports nothing while none is current.
//
// Also the path services built on it: the preferences folder, the temporary
// folder and unique temporary names. Folders always end in '/'.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "shell/status.h"

constexpr int kWindowSlots = 500;
constexpr size_t kPathCapacity = 256;  // the fixed path fields of the application's files

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
void SetAppState(UiState* state);
// The diagnostics flag of the current state (0 without one).
int DiagFlag();

// Modeless window registry: kSysErr when full / not registered.
Status Ui_State_AddWindow(UiState* state, const void* window);
Status Ui_State_RemoveWindow(UiState* state, const void* window);

// The preferences folder: $XDG_CONFIG_HOME (else $HOME/.config) followed by the
// maker folder, created when missing; falls back to $HOME. With a null state
// the maker folder is "Harvosa" and nothing is logged. `capacity` is the size
// of the path field the result must fit (including the terminator).
Status Ui_Path_SetToPrefFolder(const UiState* state, std::string& path, size_t capacity = kPathCapacity);
// The temporary folder of the application: a private working folder of this
// user (mode 0700, owned by the user, never a link), where the help text,
// the working-space profiles and the copies of embedded profiles go:
// "$XDG_RUNTIME_DIR/tavelin-marvet/" when the runtime folder is the user's
// own, else "tavelin-marvet-UID/" in the system temporary folder. When
// someone else holds that name, a folder with a unique name
// ("tavelin-marvet-UID-XXXXXX") is made for this process. Ends in '/'.
Status Ui_Path_SetToTempFolder(std::string& path);
// The shared system temporary folder: $TMPDIR when it names a folder, else
// /tmp; ends in '/'.
std::string Ui_Path_SystemTempFolder();
// Removes the temporary files that killed processes of this user left in an
// output folder (SweepStaleTemps, safefile.h), never in the working folder,
// whose "Quilo" files are the copies of embedded profiles.
void Ui_Path_SweepOutputFolder(const std::string& folder);
// The current folder, ending in '/'.
Status Ui_Path_SetToCurrentFolder(std::string& path);
// The first "Quilo%06d.tmp" in `folder` that does not exist. kBadArg when
// capacity < folder length + 16; kSysErr when all 999999 names are taken.
Status Ui_Path_UniqueTempName(const std::string& folder, std::string& path, size_t capacity = kPathCapacity);
// The same, but the name is taken by creating the (empty) file exclusively
// (never through a link, mode 0600), so two processes working in one folder
// never get the same name. kOpenErr
// when the folder refuses new files; kBadArg and kSysErr as above.
Status Ui_Path_CreateUniqueTempFile(const std::string& folder, std::string& path, size_t capacity = kPathCapacity);
// True when `path` lies in `folder` and its leaf is "Quilo…" with extension "tmp".
bool Ui_Path_IsTempName(const std::string& folder, const std::string& path);
