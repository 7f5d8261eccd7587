#include "colormgmt/workingspaces.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "base/debuglog.h"
#include "base/strings.h"

namespace {

constexpr uint32_t kV21 = 0x02100000;
constexpr uint32_t kV20 = 0x02000000;
constexpr uint16_t kGamma22 = 563;  // 2.19921875 in 8.8
constexpr uint16_t kGamma18 = 461;  // 1.80078125 in 8.8

constexpr std::array<float, 3> D65 = {0.950467f, 1.0f, 1.088969f};
constexpr std::array<float, 3> D50 = {0.96422f, 1.0f, 0.82521f};
constexpr std::array<double, 3> WTPT_D65 = {0.9505, 1.0000, 1.0891};
constexpr std::array<double, 3> WTPT_D50 = {0.9643, 1.0000, 0.8251};

constexpr WorkingSpaceRow kTable[kWorkingSpaceCount] = {
    // 0 Adobe RGB (1998)
    {2.2f, D65, {0.64f, 0.33f, 0.21f, 0.71f, 0.15f, 0.06f}, kV21, "Adobe RGB (1998)", kGamma22, WTPT_D65,
     {0.6097, 0.3111, 0.0195}, {0.2053, 0.6257, 0.0609}, {0.1492, 0.0632, 0.7446}, true},
    // 1 Apple RGB
    {1.8f, D65, {0.625f, 0.34f, 0.28f, 0.595f, 0.155f, 0.07f}, kV21, "Apple RGB", kGamma18, WTPT_D65,
     {0.4755, 0.2552, 0.0184}, {0.3397, 0.6726, 0.1133}, {0.1490, 0.0723, 0.6931}, true},
    // 2 Best RGB
    {2.2f, D50, {0.7347f, 0.2653f, 0.215f, 0.775f, 0.13f, 0.035f}, kV21, "BestRGB", kGamma22, WTPT_D50,
     {0.6327, 0.2285, 0.0000}, {0.2045, 0.7374, 0.0095}, {0.1269, 0.0342, 0.8154}, true},
    // 3 Marlow RGB
    {2.2f, D65, {0.64f, 0.33f, 0.28f, 0.65f, 0.15f, 0.06f}, kV21, "Marlow RGB", kGamma22, WTPT_D65,
     {0.4942, 0.2521, 0.0158}, {0.3205, 0.6845, 0.0629}, {0.1495, 0.0634, 0.7462}, true},
    // 4 CIE RGB
    {2.2f, {1.0f, 1.0f, 1.0f}, {0.735f, 0.265f, 0.274f, 0.717f, 0.167f, 0.009f}, kV21, "CIE RGB", kGamma22,
     {1.0000, 1.0000, 1.0003}, {0.4869, 0.1747, -0.0013}, {0.3064, 0.8248, 0.0170}, {0.1710, 0.0006, 0.8092}, true},
    // 5 ColorMatch RGB
    {1.8f, D50, {0.63f, 0.34f, 0.295f, 0.605f, 0.15f, 0.075f}, kV21, "ColorMatch RGB", kGamma18, WTPT_D50,
     {0.5094, 0.2749, 0.0243}, {0.3208, 0.6581, 0.1087}, {0.1339, 0.0670, 0.6919}, true},
    // 6 Tessel RGB 4
    {2.2f, D50, {0.696f, 0.3f, 0.215f, 0.765f, 0.13f, 0.035f}, kV21, "TesselRGB4.icm", kGamma22, WTPT_D50,
     {0.6458, 0.2784, 0.0037}, {0.1933, 0.6880, 0.0180}, {0.1250, 0.0337, 0.8032}, true},
    // 7 ECI RGB
    {1.8f, D50, {0.67f, 0.33f, 0.21f, 0.71f, 0.14f, 0.08f}, kV21, "ECI-RGB.icc", kGamma18, WTPT_D50,
     {0.6503, 0.3203, 0.0000}, {0.1780, 0.6021, 0.0678}, {0.1359, 0.0777, 0.7571}, true},
    // 8 Orvana Space RGB (version 2.0, no black point)
    {2.2f, D50, {0.695f, 0.305f, 0.26f, 0.7f, 0.11f, 0.005f}, kV20, "Orvana Space PS 5, Quarrow.icm", kGamma22,
     WTPT_D50, {0.5939, 0.2607, 0.0000}, {0.2729, 0.7349, 0.0420}, {0.0973, 0.0044, 0.7829}, false},
    // 9 NTSC RGB
    {2.2f, {0.98041f, 1.0f, 1.18103f}, {0.67f, 0.33f, 0.21f, 0.71f, 0.14f, 0.08f}, kV21, "NTSC (1953)", kGamma22,
     {0.9807, 1.0000, 1.1819}, {0.6344, 0.3110, -0.0012}, {0.1852, 0.5916, 0.0556}, {0.1446, 0.0974, 0.7705}, true},
    // 10 PAL/SECAM RGB
    {2.2f, D65, {0.64f, 0.33f, 0.29f, 0.6f, 0.15f, 0.06f}, kV21, "PAL/SECAM", kGamma22, WTPT_D65,
     {0.4552, 0.2323, 0.0145}, {0.3676, 0.7078, 0.1049}, {0.1414, 0.0599, 0.7055}, true},
    // 11 ProPhoto RGB (no black point)
    {1.8f, D50, {0.7347f, 0.2653f, 0.1596f, 0.8404f, 0.0366f, 0.0001f}, kV21, "ProPhoto RGB", kGamma18,
     {0.9642, 1.0000, 0.8249}, {0.7977, 0.2880, 0.0000}, {0.1352, 0.7119, 0.0000}, {0.0313, 0.0001, 0.8249}, false},
    // 12 SMPTE-C RGB
    {2.2f, D65, {0.63f, 0.34f, 0.31f, 0.595f, 0.155f, 0.07f}, kV21, "SMPTE-C", kGamma22, WTPT_D65,
     {0.4163, 0.2217, 0.0136}, {0.3932, 0.7033, 0.0913}, {0.1547, 0.0750, 0.7199}, true},
    // 13 sRGB IEC61966-2.1: refRGB gamma is the plain 2.2, the profile the piecewise curve
    {2.2f, D65, {0.64f, 0.33f, 0.3f, 0.6f, 0.15f, 0.06f}, kV21, "sRGB IEC61966-2.1", kToneCurveSRGB, WTPT_D65,
     {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}, true},
    // 14 Wide Gamut RGB
    {2.2f, D50, {0.735f, 0.265f, 0.115f, 0.826f, 0.157f, 0.018f}, kV21, "Wide Gamut RGB", kGamma22, WTPT_D50,
     {0.7165, 0.2587, 0.0000}, {0.1010, 0.7247, 0.0512}, {0.1467, 0.0166, 0.7737}, true},
};

// A decimal difference of 1e-5 must still match after both values were
// rounded to floats: allow the float spacing of the larger value on top.
bool Differs(float a, float b) {
  const double diff = std::fabs((double)a - (double)b);
  const double slack = FLT_EPSILON * std::max(std::fabs((double)a), std::fabs((double)b));
  return diff > 1e-5 + slack;
}

}  // namespace

const WorkingSpaceRow* WorkingSpaceTableRow(int32_t index) {
  if (index < 0 || index >= kWorkingSpaceCount) return nullptr;
  return &kTable[index];
}

Status FillRefRGB(int32_t index, RefRGB* record) {
  const WorkingSpaceRow* row = WorkingSpaceTableRow(index);
  if (!row || !record) return kBadArg;
  record->gamma = row->gamma;
  for (int i = 0; i < 3; ++i) record->xyzWhite[i] = row->white[i];
  for (int i = 0; i < 6; ++i) record->primaries[i] = row->primaries[i];
  return kOk;
}

bool RefRgbMatch(const RefRGB& a, const RefRGB& b) {
  if (Differs(a.gamma, b.gamma)) {
    DLog("RefRgbMatch: gamma1: %f  gamma2: %f", a.gamma, b.gamma);
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (Differs(a.xyzWhite[i], b.xyzWhite[i])) {
      DLog("RefRgbMatch: xyzWhite1[%d]: %f  xyzWhite2[%d]: %f", i, a.xyzWhite[i], i, b.xyzWhite[i]);
      return false;
    }
  }
  for (int i = 0; i < 6; ++i) {
    if (Differs(a.primaries[i], b.primaries[i])) {
      DLog("RefRgbMatch: primaries1[%d]: %f  primaries2[%d]: %f", i, a.primaries[i], i, b.primaries[i]);
      return false;
    }
  }
  return true;
}

const char* WorkingSpaceName(int32_t index) {
  if (index < 0 || index >= kWorkingSpaceCount) return nullptr;
  return ResText(kWorkingSpaceNameId + index);
}

const char* WorkingSpaceFileName(int32_t index) {
  if (index < 0 || index >= kWorkingSpaceCount) return nullptr;
  return ResText(kWorkingSpaceFileId + index);
}

Status CheckWorkingSpaceIndex(int32_t& index) {
  if (index >= 0 && index < kWorkingSpaceCount) return kOk;
  index = kDefaultWorkingSpace;
  return kUnsupported;
}
