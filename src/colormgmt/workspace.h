// The current working space: which of the fifteen is live, its refRGB, the
// path of its profile file in the temporary folder, and the application-wide
// working-space-to-monitor transform (an 8-bit Tintmesh). Exactly one working
// space is current; its profile path, monitor transform and refRGB change
// together, in SetUpWorkingSpace. Also the start-up's part (the profiles
// written, the first set-up) and a change of working space with its questions.
//
// Ownership: a WorkingSpace owns its monitor transform (freed when it is
// rebuilt or the record is destroyed). The profile files are written once per
// start-up and never deleted by the application.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "colormgmt/icctintmesh.h"
#include "colormgmt/workingspaces.h"
#include "base/status.h"
#include "transform/tintmesh.h"

struct TintmeshFree {
  void operator()(Tintmesh* tm) const { QXFree(&tm); }
};

struct WorkingSpace {
  int32_t index = kDefaultWorkingSpace;    // preference 70: 0..14
  int32_t gridIndex = kDefaultGridIndex;   // preference 51: 0..7, for the monitor and input transforms
  RefRGB refRGB{};                         // of `index`, filled by SetUpWorkingSpace
  std::string tempFolder;                  // ends in '/'
  std::string profilePath;                 // tempFolder + the profile file name of `index`
  std::unique_ptr<Tintmesh, TintmeshFree> monitorQX;  // null after a failed set-up
};

// Makes the working space of `ws.index` live: the profile path becomes the
// temporary folder + its file name, refRGB is filled from the table, the monitor transform is freed and built
// again from that profile with ws.gridIndex. With an image open, `rebuildImage`
// (set by the caller) then rebuilds the image's input transform and display
// image. Returns the first failure (every step runs); kBadArg for an index
// outside 0..14 (nothing changes then). Nothing is reported here.
Status SetUpWorkingSpace(WorkingSpace& ws, const std::function<Status()>& rebuildImage = {});

// The colour-management part of the start-up, after the preferences are read:
//   1. the temporary folder (the current folder when there is none);
//   2. the fifteen profiles written there; the first failure is reported
//      ("creating file %s") and returned: the start-up stops;
//   3. the working space set up without an image (indices out of range
//      replaced by their defaults first); a failure is reported ("creating working space to monitor
//      color transform") and the start-up goes on (0 is returned).
Status WorkingSpaceStartUp(WorkingSpace& ws);

// What a change of working space touches beyond this module, filled by the
// caller (the correction engine's parts); empty functions are skipped.
struct WorkingSpaceChange {
  bool imageOpen = false;
  int32_t startWith = 2;  // preference 64: 0 Brivio, 1 previous, 2 defaults, 3 custom settings
  // With an image open: its input transform and display image (as in
  // SetUpWorkingSpace).
  std::function<Status()> rebuildImage;
  // The stored previous-settings record goes back to its defaults.
  std::function<void()> resetPreviousSettings;
  // With an image open: its correction record takes the new refRGB (which
  // the record validates) and its correction transform is rebuilt.
  std::function<Status(const RefRGB&)> retargetImage;
};

// Changes the working space to `newIndex` after the preferences dialog:
//   1. with an image open the user is told "Changing the working space while
//      an image is open may change the effects of the current edits.", else,
//      when Start With is previous (1) or custom (3) settings, "Changing the
//      working space will invalidate the 'Start With' previous and custom
//      settings." (OK / "Undo Working Space Change"); undo leaves everything
//      as it was and returns kCancelled;
//   2. the new index is recorded and the working space set up (a failure is
//      reported with "setting up a new working space"), the previous settings
//      reset, and the open image's record retargeted (a failure is logged
//      with the ten refRGB values and reported with "verifying the RGB
//      working space").
// The same index as now does nothing; kBadArg for an index outside 0..14.
// Returns the first failure.
Status ChangeWorkingSpace(WorkingSpace& ws, int32_t newIndex, const WorkingSpaceChange& change);
