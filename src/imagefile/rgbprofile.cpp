#include "imagefile/rgbprofile.h"

#include <lcms2.h>

#include <algorithm>

RgbChromaticities RawSpaceChromaticities(int32_t rawSpace) {
  switch (rawSpace) {
    case 2: return {{0.3127, 0.3290}, {0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}};
    case 3: return {{0.3457, 0.3585}, {0.7347, 0.2653}, {0.1152, 0.8264}, {0.1566, 0.0177}};
    case 4: return {{0.3457, 0.3585}, {0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}};
    default: return {{0.3127, 0.3290}, {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
  }
}

bool MakeRgbProfile(const RgbChromaticities& s, RgbTone tone, const char* description, std::vector<uint8_t>& bytes) {
  bytes.clear();
  cmsToneCurve* curve = nullptr;
  switch (tone) {
    case RgbTone::kLinear: curve = cmsBuildGamma(nullptr, 1.0); break;
    case RgbTone::kGamma22: curve = cmsBuildGamma(nullptr, 2.2); break;
    case RgbTone::kGamma28: curve = cmsBuildGamma(nullptr, 2.8); break;
    case RgbTone::kSrgb: {
      const cmsFloat64Number p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
      curve = cmsBuildParametricToneCurve(nullptr, 4, p);
      break;
    }
    case RgbTone::kRec709: {
      const cmsFloat64Number p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
      curve = cmsBuildParametricToneCurve(nullptr, 4, p);
      break;
    }
  }
  if (!curve) return false;
  const cmsCIExyY white = {s.white[0], s.white[1], 1.0};
  const cmsCIExyYTRIPLE primaries = {{s.red[0], s.red[1], 1.0}, {s.green[0], s.green[1], 1.0},
                                     {s.blue[0], s.blue[1], 1.0}};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  if (!profile) return false;
  bool ok = true;
  if (cmsMLU* mlu = cmsMLUalloc(nullptr, 1)) {
    ok = cmsMLUsetASCII(mlu, "en", "US", description) && cmsWriteTag(profile, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  cmsSetHeaderRenderingIntent(profile, INTENT_PERCEPTUAL);
  cmsUInt32Number size = 0;
  ok = ok && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0;
  if (ok) {
    bytes.resize(size);
    ok = cmsSaveProfileToMem(profile, bytes.data(), &size);
  }
  cmsCloseProfile(profile);
  // A fixed creation date (2026-01-01): the same arguments give the same bytes.
  const uint8_t date[12] = {0x07, 0xEA, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};
  if (ok && bytes.size() >= 36) std::copy(date, date + 12, bytes.begin() + 24);
  if (!ok) bytes.clear();
  return ok;
}
