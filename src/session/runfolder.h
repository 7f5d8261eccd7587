// Run folders: where a command-line run keeps its Batchline files, run state
// and temporary profile copies, one folder per run, so any number of runs
// (and the window, whose Batchline lives in the preferences folder) work at
// once. A run folder is $XDG_STATE_HOME/tavelin-marvet/runs/<id>/ (or
// ~/.local/state/... without XDG_STATE_HOME), created with mode 0700 under a
// fresh unique name. It is taken by the run that works in it (the Batchline's
// lock file, "TavelinJobLock", inside it), so a killed run's folder is free
// the moment its processes are gone and can then be resumed; a run that ends
// normally removes its folder.
#pragma once

#include <string>
#include <vector>

#include "session/jobfile.h"
#include "base/status.h"

// The folder that holds the run folders, ending in '/'.
std::string RunsRoot();
// Creates a new run folder (and the folders above it); its path ends in '/'.
Status CreateRunFolder(std::string* folder);
// The Batchline's three files in `folder` (ending in '/'), not durable: a
// resume goes by the run's list of inputs and its progress.
BatchlineFiles RunFolderFiles(const std::string& folder);
// True when no process holds the folder's lock.
bool RunFolderFree(const std::string& folder);
// The run folders under RunsRoot() that hold an unfinished job and that no
// process holds, oldest name first.
std::vector<std::string> UnfinishedRunFolders();
// The files the command line keeps in a run folder beside the Batchline's:
// its options, its inputs and their output folders (each item ending in a
// NUL byte), and the index
// of the first input not yet done.
extern const char* const kRunArgsLeaf;
extern const char* const kRunInputsLeaf;
extern const char* const kRunNextLeaf;
extern const char* const kRunTreesLeaf;  // for each input, its folder under --out (--keep-tree)
// Removes the folder's lock file and the three files above, then the folder
// when nothing else is left in it.
void RemoveRunFolder(const std::string& folder);
