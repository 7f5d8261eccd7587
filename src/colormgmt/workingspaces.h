// The fifteen built-in RGB working spaces. Each exists in two forms kept side
// by side: the reference record refRGB (gamma, white, primaries), which the
// correction mathematics uses and every saved correction carries, and an ICC
// profile (wsprofiles.h), which the colour service converts through.
//
// This module owns the table (indices 0..14, default 13 "sRGB IEC61966-2.1"),
// copying a row into a refRGB record, and the comparison of two records. The
// table is constant data; nothing here allocates.
//
// Ranges: gamma > 0; white XYZ with Y = 1; primaries as CIE xy chromaticities
// (0..1). Profile values (tone curves, XYZ tags) are given as the profiles
// carry them: gamma as an 8.8 fixed-point number, XYZ to four decimals, the
// colorants adapted to D50.
#pragma once

#include <array>
#include <cstdint>

#include "base/status.h"

// The reference working space: ten 32-bit floats in this order.
struct RefRGB {
  float gamma;         // plain power law of the space (sRGB: 2.2)
  float xyzWhite[3];   // XYZ of the white point, Y = 1
  float primaries[6];  // xR, yR, xG, yG, xB, yB
};

constexpr int32_t kWorkingSpaceCount = 15;
constexpr int32_t kDefaultWorkingSpace = 13;  // "sRGB IEC61966-2.1"
constexpr int32_t kWorkingSpaceNameId = 30400;  // + index: display name
constexpr int32_t kWorkingSpaceFileId = 1082;   // + index: profile file name
constexpr uint16_t kToneCurveSRGB = 0;          // curveGamma of the sRGB row

// One row of the table.
struct WorkingSpaceRow {
  // refRGB
  float gamma;
  std::array<float, 3> white;
  std::array<float, 6> primaries;
  // The profile: ICC version (0x02100000 = 2.1), `desc` text, the tone curve
  // of all three channels (gamma in 8.8 fixed point, or kToneCurveSRGB: the
  // IEC 61966-2-1 curve as 1024 entries), the XYZ tags, and whether a black
  // point tag (0, 0, 0) is present.
  uint32_t version;
  const char* description;
  uint16_t curveGamma;
  std::array<double, 3> wtpt;
  std::array<double, 3> rXYZ;
  std::array<double, 3> gXYZ;
  std::array<double, 3> bXYZ;
  bool blackPoint;
};

// Row `index`, or null outside 0..14.
const WorkingSpaceRow* WorkingSpaceTableRow(int32_t index);

// Copies row `index` into `record`; kBadArg for an index outside 0..14 or a
// null record (the record is then unchanged).
Status FillRefRGB(int32_t index, RefRGB* record);

// True when all ten values agree within 1e-5 (a decimal difference of exactly
// 1e-5 still matches once both values are held as floats). Values are
// compared in record order; the first that differs by more is logged
// ("RefRgbMatch: gamma1: %f  gamma2: %f", "... xyzWhite1[%d] ...",
// "... primaries1[%d] ...") and ends the comparison.
bool RefRgbMatch(const RefRGB& a, const RefRGB& b);

// The display name (string 30400 + index) and the profile file name (string
// 1082 + index; row 3's has no extension); null outside 0..14.
const char* WorkingSpaceName(int32_t index);
const char* WorkingSpaceFileName(int32_t index);

// Preference checks: an index outside its range is replaced by the default
// and kUnsupported returned (the entry is then reported as reset).
Status CheckWorkingSpaceIndex(int32_t& index);  // 0..14, default 13
