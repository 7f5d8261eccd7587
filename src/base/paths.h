// Folders and temporary names: the preferences folder as the environment
// gives it, the temporary folder, the current folder and unique temporary
// names. Folders always end in '/'. Nothing here logs: the application state
// (uistate.h) logs the preferences folder's troubles with its own flag, and
// the diagnostics log finds its folder here without a state.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/status.h"

constexpr size_t kPathCapacity = 256;  // the fixed path fields of the application's files

// $XDG_CONFIG_HOME (else $HOME/.config) followed by `maker`, created when
// missing; falls back to $HOME. `capacity` is the size of the path field the
// result must fit (including the terminator). Each trouble met on the way is
// appended to `trouble` (when given) as the diagnostics log's line for it.
Status PrefFolderFromEnvironment(const std::string& maker, std::string& path, size_t capacity,
                                 std::vector<std::string>* trouble);
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
