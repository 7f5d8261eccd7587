// The fifteen working-space profiles. They are built into the application as
// the table of working spaces (workingspaces.h) and made into ICC profiles by
// LittleCMS on demand: version 2 matrix/tone-curve display profiles (`mntr`,
// `RGB `, `XYZ `, intent 0, D50 illuminant) with the tags desc, cprt, wtpt,
// rTRC/gTRC/bTRC (one curve, stored once and shared by the three tags), rXYZ/gXYZ/bXYZ and, where the
// table says so, bkpt. Their tone curves and XYZ tags are the tabulated values
// to the precision of the ICC encoding (s15.16, u8.8, 16-bit curve entries);
// the creation date is fixed, so the same bytes come out at every start-up.
//
// At start-up all fifteen are written into the temporary folder under their
// file names (strings 1082..1096), replacing any file there; the application
// never deletes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

// The profile of working space `index` (0..14): kBadArg outside; kReadErr
// when LittleCMS cannot build it (the profile is then "unloadable").
Status MakeWorkingSpaceProfile(int32_t index, std::vector<uint8_t>& bytes);

// The 1024 entries of the IEC 61966-2-1 sRGB tone curve as row 13's profile
// carries it: entry i = round(65535 × f(i / 1023)).
void SRGBCurveEntries(uint16_t entries[1024]);

// `folder` (ending in '/') followed by the profile file name of `index`;
// empty for an index outside 0..14.
std::string WorkingSpaceProfilePath(const std::string& folder, int32_t index);

// Writes the fifteen profiles into `folder` in index order. The first failure
// is reported with "creating file %s" (the profile's full path) and returned;
// the remaining profiles are not written. A profile that cannot be made gives
// kReadErr, an empty one kFormatErr; a file that cannot be created or written
// its file status. Each file is replaced whole (temporary file and rename),
// so a reader never sees a half-written profile.
Status WriteWorkingSpaceProfiles(const std::string& folder);
