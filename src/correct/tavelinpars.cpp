#include "correct/tavelinpars.h"

#include <cmath>
#include <cstring>

#include "correct/colorimetry.h"
#include "base/debuglog.h"

namespace {

void IdentityCurve(float* curve) {
  for (int i = 0; i < kCurveSize; ++i) curve[i] = (float)(i / 255.0);
}

void EmptyBins(SampleBin* bins) {
  for (int i = 0; i < kSampleBins; ++i) bins[i] = SampleBin{{0.0f, 0.0f, 0.0f}, 0};
}

bool BinsValid(const SampleBin* bins, int* bad) {
  for (int i = 0; i < kSampleBins; ++i) {
    const SampleBin& b = bins[i];
    if (!(b.count >= 0 && b.sum[0] >= 0.0f && b.sum[1] >= 0.0f && b.sum[2] >= 0.0f)) {
      if (bad) *bad = i;
      return false;
    }
  }
  return true;
}

// Float -> int32 truncating toward zero, saturating; NaN gives INT32_MIN so
// that a count check refuses it.
int32_t TruncInt(float v) {
  if (!(v == v)) return INT32_MIN;
  if (v >= 2147483520.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return (int32_t)v;
}

float RoundPrimary(float v) {
  const double d = v;
  if (!std::isfinite(d) || std::fabs(d) > 1e9) return v;  // left for the working-space check
  const double sign = d > 0.0 ? 1.0 : (d < 0.0 ? -1.0 : 0.0);
  return (float)(std::trunc(d * 10000.0 + 0.5 * sign) / 10000.0);
}

bool HandleIdsArePermutation(const TavelinPars* pars) {
  bool seen[kHueEntries] = {};
  for (int h = 0; h < kHueEntries; ++h) {
    const int id = pars->hue[h].handleId;
    if (id < kHandleIdFirst || id > kHandleIdLast || seen[id - kHandleIdFirst]) return false;
    seen[id - kHandleIdFirst] = true;
  }
  return true;
}

}  // namespace

Status ResetTavelinPars(TavelinPars* pars, ToolMask mask) {
  if (!pars) return kBadArg;
  if (mask & TOOL_LINEAR) pars->linear = 0;
  if (mask & TOOL_BALANCE) {
    pars->neutralPref = NeutralPref{kParNeutralChroma.reset, kParNeutralHue.reset, kParNeutralHueSlope.reset};
    EmptyBins(pars->balBin);
    for (int c = 0; c < 3; ++c) IdentityCurve(pars->balanceCurve[c]);
    pars->balanceValid = 1;
  }
  if (mask & TOOL_BLACK) pars->blackPoint = kParBlackPoint.reset;
  if (mask & TOOL_GRAY) pars->grayPoint = kParGrayPoint.reset;
  if (mask & TOOL_WHITE) pars->whitePoint = kParWhitePoint.reset;
  if (mask & TOOL_BRIGHTNESS) pars->brightness = kParSlider.reset;
  if (mask & TOOL_SHADOW) {
    pars->shadow = kParSlider.reset;
    IdentityCurve(pars->shadowCurve);
    pars->shadowCache = kParSlider.reset;
  }
  if (mask & TOOL_HIGHLIGHT) {
    pars->highlight = kParSlider.reset;
    IdentityCurve(pars->highlightCurve);
    pars->highlightCache = kParSlider.reset;
  }
  if (mask & TOOL_CONTRAST) pars->contrast = kParSlider.reset;
  if (mask & TOOL_SATURATION) pars->saturation = kParSlider.reset;
  if ((mask & TOOL_HUE_ALL) == TOOL_HUE_ALL) {
    for (int h = 0; h < kHueEntries; ++h) pars->hue[h].handleId = h + kHandleIdFirst;
    for (int c = 0; c < 3; ++c) {
      pars->toneColor[c] = kParToneColor.reset;
      IdentityCurve(pars->toneCurve[c]);
      pars->toneCache[c] = pars->toneColor[c];
    }
  }
  for (int h = 0; h < kHueEntries; ++h) {
    if (!(mask & (TOOL_HUE0 << h))) continue;
    HueEntry& e = pars->hue[h];
    e.baseHue = (float)(h * 360 / kHueEntries);
    e.hueShift = 0.0f;
    e.brightness = kParHueSlider.reset;
    e.saturation = kParHueSlider.reset;
    EmptyBins(e.hueBin);
  }
  return kOk;
}

Status SetFilterDefaults(TavelinPars* pars) {
  if (!pars) return kBadArg;
  pars->sharpenOn = 0;
  pars->sharpenStrength = kParSharpenStrength.reset;
  pars->sharpenChannelMode = kParSharpenChannelMode.reset;
  pars->denoiseOn = 0;
  pars->denoiseAux = kDenoiseAuxDefault;
  for (int i = 0; i < 4; ++i) {
    pars->noiseRadius[i] = kNoiseRadiusDefault[i];
    pars->noiseThreshold[i] = kNoiseThresholdDefault[i];
  }
  pars->noiseShape = kParNoiseShape.reset;
  return kOk;
}

Status InitTavelinPars(TavelinPars* pars) {
  if (!pars) return kBadArg;
  std::memset(pars, 0, sizeof *pars);
  ResetTavelinPars(pars, TOOL_ALL);
  SetFilterDefaults(pars);
  return SetRefRGB(pars, nullptr);
}

RefRGB DefaultRefRGB() {
  RefRGB r{};
  r.gamma = kParGamma.reset;
  double white[3];
  colorimetry::DaylightXyz(6500.0, white);
  for (int i = 0; i < 3; ++i) r.xyzWhite[i] = (float)white[i];
  const float primaries[6] = {0.64f, 0.33f, 0.30f, 0.60f, 0.15f, 0.06f};
  std::memcpy(r.primaries, primaries, sizeof primaries);
  return r;
}

Status ValidateRefRGB(const RefRGB* r) {
  if (!r) return kBadArg;
  if (!kParGamma.Contains(r->gamma)) return kBadArg;
  for (int i = 0; i < 3; ++i)
    if (!kParWhiteXyz.Contains(r->xyzWhite[i])) return kBadArg;
  for (int p = 0; p < 3; ++p) {
    const float x = r->primaries[2 * p], y = r->primaries[2 * p + 1];
    if (!(x >= 0.0f && y >= 0.0f && x + y <= kPrimarySumMax)) return kBadArg;
  }
  return kOk;
}

Status SetRefRGB(TavelinPars* pars, const RefRGB* workingSpace) {
  if (!pars) return kBadArg;
  const RefRGB space = workingSpace ? *workingSpace : DefaultRefRGB();
  if (Status st = ValidateRefRGB(&space); st != kOk) return st;
  double white[3], d50[3], m[9], inv[9];
  for (int i = 0; i < 3; ++i) white[i] = space.xyzWhite[i];
  colorimetry::D50(d50);
  if (colorimetry::RgbToXyzMatrix(space.primaries, white, d50, m) != kOk) return kBadArg;
  if (colorimetry::MatInvert(m, inv) != kOk) return kBadArg;
  pars->refRGB = space;
  for (int i = 0; i < 9; ++i) {
    pars->rgbToXyz[i] = (float)m[i];
    pars->xyzToRgb[i] = (float)inv[i];
  }
  const double e = 1.0 / space.gamma;
  for (int i = 0; i < kCurveSize; ++i) pars->linearCurve[i] = (float)std::pow(i / 255.0, e);
  pars->balanceValid = 0;
  return kOk;
}

Status ValidateTavelinPars(const TavelinPars* pars) {
  if (!pars) return kBadArg;
  if (ValidateRefRGB(&pars->refRGB) != kOk) return kBadArg;
  if (!BinsValid(pars->balBin, nullptr)) return kBadArg;
  if (!kParNeutralChroma.Contains(pars->neutralPref.chroma) || !kParNeutralHue.Contains(pars->neutralPref.hue) ||
      !kParNeutralHueSlope.Contains(pars->neutralPref.hueSlope))
    return kBadArg;
  if (!kParBlackPoint.Contains(pars->blackPoint) || !kParGrayPoint.Contains(pars->grayPoint) ||
      !kParWhitePoint.Contains(pars->whitePoint))
    return kBadArg;
  for (float v : {pars->brightness, pars->shadow, pars->highlight, pars->contrast, pars->saturation})
    if (!kParSlider.Contains(v)) return kBadArg;
  for (const HueEntry& e : pars->hue) {
    if (!kParBaseHue.Contains(e.baseHue) || !kParHueSlider.Contains(e.brightness) ||
        !kParHueSlider.Contains(e.saturation))
      return kBadArg;
    // Any shift is read modulo 360, but it has to be a number.
    if (!std::isfinite(e.hueShift)) return kBadArg;
    if (!BinsValid(e.hueBin, nullptr)) return kBadArg;
  }
  for (float v : pars->toneColor)
    if (!kParToneColor.Contains(v)) return kBadArg;
  return kOk;
}

Status PruneToolMask(const TavelinPars* pars, ToolMask* mask) {
  if (!pars || !mask) return kBadArg;
  ToolMask m = *mask;
  if (pars->linear == 0) m &= ~TOOL_LINEAR;
  bool samples = false;
  for (const SampleBin& b : pars->balBin) samples = samples || b.count > 0;
  if (!samples) m &= ~TOOL_BALANCE;
  if (pars->blackPoint == kParBlackPoint.reset) m &= ~TOOL_BLACK;
  if (pars->grayPoint == kParGrayPoint.reset) m &= ~TOOL_GRAY;
  if (pars->whitePoint == kParWhitePoint.reset) m &= ~TOOL_WHITE;
  if (pars->brightness == kParSlider.reset) m &= ~TOOL_BRIGHTNESS;
  if (pars->shadow == kParSlider.reset) m &= ~TOOL_SHADOW;
  if (pars->highlight == kParSlider.reset) m &= ~TOOL_HIGHLIGHT;
  if (pars->contrast == kParSlider.reset) m &= ~TOOL_CONTRAST;
  if (pars->saturation == kParSlider.reset) m &= ~TOOL_SATURATION;
  bool hueNeutral = pars->toneColor[0] == 0.5f && pars->toneColor[1] == 0.5f && pars->toneColor[2] == 0.5f;
  for (const HueEntry& e : pars->hue)
    hueNeutral = hueNeutral && e.hueShift == 0.0f && e.brightness == 0.5f && e.saturation == 0.5f;
  if (hueNeutral) m &= ~TOOL_HUE_ALL;
  *mask = m;
  return kOk;
}

int SampleBinIndex(const float rgb[3]) {
  const double y = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
  const double t = 20.0 * y;
  if (!(t > 0.0)) return 0;  // also NaN
  if (t >= kSampleBins - 1) return kSampleBins - 1;
  return (int)t;
}

Status AddSample(SampleBin* bins, const float rgb[3]) {
  if (!bins || !rgb) return kBadArg;
  SampleBin& b = bins[SampleBinIndex(rgb)];
  for (int c = 0; c < 3; ++c) b.sum[c] += rgb[c];
  if (b.count < INT32_MAX) ++b.count;
  return kOk;
}

Status AddBalanceSample(TavelinPars* pars, const float rgb[3]) {
  if (!pars) return kBadArg;
  if (Status st = AddSample(pars->balBin, rgb); st != kOk) return st;
  pars->balanceValid = 0;
  return kOk;
}

Status HandleIdToIndex(const TavelinPars* pars, int id, int* index) {
  if (!pars || !index) return kBadArg;
  if (id >= 0 && id < kHueEntries) {
    *index = id;
    return kOk;
  }
  for (int h = 0; h < kHueEntries; ++h)
    if (pars->hue[h].handleId == id) {
      *index = h;
      return kOk;
    }
  return kBadArg;
}

Status HandleIndexToId(const TavelinPars* pars, int index, int* id) {
  if (!pars || !id) return kBadArg;
  if (index >= 0 && index < kHueEntries) {
    *id = pars->hue[index].handleId;
    return kOk;
  }
  if (index >= kHandleIdFirst && index <= kHandleIdLast) {
    *id = index;
    return kOk;
  }
  return kBadArg;
}

// ---- parameter vector --------------------------------------------------------

Status EncodeTavelinPars(const TavelinPars* pars, float* v, int count) {
  if (!pars || !v || count != kParVectorCount) return kBadArg;
  int k = 0;
  v[k++] = pars->linear ? 1.0f : 0.0f;
  auto bins = [&](const SampleBin* b) {
    for (int i = 0; i < kSampleBins; ++i) {
      v[k++] = b[i].sum[0];
      v[k++] = b[i].sum[1];
      v[k++] = b[i].sum[2];
      v[k++] = (float)b[i].count;
    }
  };
  bins(pars->balBin);
  for (float f : {pars->blackPoint, pars->grayPoint, pars->whitePoint, pars->brightness, pars->shadow,
                  pars->highlight, pars->contrast, pars->saturation})
    v[k++] = f;
  for (const HueEntry& e : pars->hue) {
    v[k++] = e.baseHue;
    v[k++] = e.hueShift;
    v[k++] = e.brightness;
    v[k++] = e.saturation;
    v[k++] = (float)e.handleId;
    bins(e.hueBin);
  }
  v[k++] = pars->refRGB.gamma;
  for (float f : pars->refRGB.xyzWhite) v[k++] = f;
  for (float f : pars->refRGB.primaries) v[k++] = f;
  v[k++] = pars->neutralPref.chroma;
  v[k++] = pars->neutralPref.hue;
  v[k++] = pars->neutralPref.hueSlope;
  for (float f : pars->toneColor) v[k++] = f;
  v[k++] = pars->sharpenOn ? 1.0f : 0.0f;
  v[k++] = (float)pars->sharpenStrength;
  v[k++] = (float)pars->sharpenChannelMode;
  v[k++] = pars->denoiseOn ? 1.0f : 0.0f;
  v[k++] = pars->denoiseAux ? 1.0f : 0.0f;
  for (int32_t r : pars->noiseRadius) v[k++] = (float)r;
  for (int32_t t : pars->noiseThreshold) v[k++] = (float)t;
  v[k++] = (float)pars->noiseShape;
  return k == kParVectorCount ? kOk : kBadArg;
}

Status DecodeTavelinPars(const float* v, int count, TavelinPars* pars) {
  if (!v || !pars || (count != kParVectorCount && count != kParVectorCountOld)) return kFormatErr;
  ResetTavelinPars(pars, TOOL_ALL);
  pars->balanceValid = 0;

  int k = 0;
  auto flag = [&]() -> uint8_t { return v[k++] > 0.5f ? 1 : 0; };
  auto bins = [&](SampleBin* b) {
    for (int i = 0; i < kSampleBins; ++i) {
      b[i].sum[0] = v[k++];
      b[i].sum[1] = v[k++];
      b[i].sum[2] = v[k++];
      b[i].count = TruncInt(v[k++]);
    }
  };
  pars->linear = flag();
  bins(pars->balBin);
  pars->blackPoint = v[k++];
  pars->grayPoint = v[k++];
  pars->whitePoint = v[k++];
  pars->brightness = v[k++];
  pars->shadow = v[k++];
  pars->highlight = v[k++];
  pars->contrast = v[k++];
  pars->saturation = v[k++];
  for (HueEntry& e : pars->hue) {
    e.baseHue = v[k++];
    e.hueShift = v[k++];
    e.brightness = v[k++];
    e.saturation = v[k++];
    e.handleId = TruncInt(v[k++]);
    bins(e.hueBin);
  }
  RefRGB space;
  space.gamma = v[k++];
  for (float& f : space.xyzWhite) f = v[k++];
  for (float& f : space.primaries) f = RoundPrimary(v[k++]);
  if (count == kParVectorCount) {
    pars->neutralPref.chroma = v[k++];
    pars->neutralPref.hue = v[k++];
    pars->neutralPref.hueSlope = v[k++];
    for (float& f : pars->toneColor) f = v[k++];
    pars->sharpenOn = flag();
    pars->sharpenStrength = TruncInt(v[k++]);
    pars->sharpenChannelMode = TruncInt(v[k++]);
    pars->denoiseOn = flag();
    pars->denoiseAux = flag();
    for (int32_t& r : pars->noiseRadius) r = TruncInt(v[k++]);
    for (int32_t& t : pars->noiseThreshold) t = TruncInt(v[k++]);
    pars->noiseShape = TruncInt(v[k++]);
  }

  // The working space. The stored values must pass the range check and form
  // a matrix; otherwise nothing of the record can be trusted: everything is
  // reset and the default space installed, so the record stays usable.
  bool spaceOk = kParGamma.Contains(space.gamma);
  for (float f : space.xyzWhite) spaceOk = spaceOk && kParWhiteXyz.Contains(f);
  for (float f : space.primaries) spaceOk = spaceOk && f >= 0.0f;
  if (spaceOk) spaceOk = SetRefRGB(pars, &space) == kOk;
  if (!spaceOk) {
    DLog("refRGB in the editPars prefs is invalid: %f, %f %f %f, %f %f %f %f %f %f", space.gamma,
         space.xyzWhite[0], space.xyzWhite[1], space.xyzWhite[2], space.primaries[0], space.primaries[1],
         space.primaries[2], space.primaries[3], space.primaries[4], space.primaries[5]);
    ResetTavelinPars(pars, TOOL_ALL);
    SetRefRGB(pars, nullptr);
    return kUnsupported;
  }

  Status result = kOk;
  int bad = 0;
  if (!BinsValid(pars->balBin, &bad)) {
    const SampleBin& b = pars->balBin[bad];
    DLog("editPars balBin[%d] pref invalid: %d %f %f %f", bad, b.count, b.sum[0], b.sum[1], b.sum[2]);
    ResetTavelinPars(pars, TOOL_BALANCE);
    result = kUnsupported;
  }
  struct Group {
    float* value;
    ParRange range;
    const char* name;
    ToolMask mask;
  };
  const Group groups[] = {
      {&pars->blackPoint, kParBlackPoint, "blackPoint", TOOL_BLACK},
      {&pars->grayPoint, kParGrayPoint, "grayPoint", TOOL_GRAY},
      {&pars->whitePoint, kParWhitePoint, "whitePoint", TOOL_WHITE},
      {&pars->brightness, kParSlider, "brightness", TOOL_BRIGHTNESS},
      {&pars->shadow, kParSlider, "shadow", TOOL_SHADOW},
      {&pars->highlight, kParSlider, "highlight", TOOL_HIGHLIGHT},
      {&pars->contrast, kParSlider, "contrast", TOOL_CONTRAST},
      {&pars->saturation, kParSlider, "saturation", TOOL_SATURATION},
  };
  for (const Group& g : groups) {
    if (g.range.Contains(*g.value)) continue;
    DLog("editPars %s pref invalid: %f", g.name, *g.value);
    ResetTavelinPars(pars, g.mask);
    result = kUnsupported;
  }

  for (int h = 0; h < kHueEntries; ++h) {
    const HueEntry& e = pars->hue[h];
    bool ok = true;
    if (!kParBaseHue.Contains(e.baseHue)) {
      DLog("editPars hue[%d].baseHue pref invalid: %f", h, e.baseHue);
      ok = false;
    } else if (!kParHueSlider.Contains(e.brightness)) {
      DLog("editPars hue[%d].brightness pref invalid: %f", h, e.brightness);
      ok = false;
    } else if (!kParHueSlider.Contains(e.saturation)) {
      DLog("editPars hue[%d].saturation pref invalid: %f", h, e.saturation);
      ok = false;
    } else if (!BinsValid(e.hueBin, &bad)) {
      const SampleBin& b = e.hueBin[bad];
      DLog("editPars hue[%d].hueBin[%d] pref invalid: %d %f %f %f", h, bad, b.count, b.sum[0], b.sum[1], b.sum[2]);
      ok = false;
    } else if (!std::isfinite(e.hueShift)) {
      DLog("editPars hue[%d].hueShift pref invalid: %f", h, e.hueShift);
      ok = false;
    }
    if (!ok) {
      ResetTavelinPars(pars, TOOL_HUE_ALL);
      return kUnsupported;
    }
  }
  RepairHandleIds(pars, nullptr);
  return result;
}

Status RepairHandleIds(TavelinPars* pars, bool* repaired) {
  if (!pars) return kBadArg;
  const bool bad = !HandleIdsArePermutation(pars);
  if (bad) {
    DLog("editPars hue handle ids invalid: %d %d %d %d %d %d", pars->hue[0].handleId, pars->hue[1].handleId,
         pars->hue[2].handleId, pars->hue[3].handleId, pars->hue[4].handleId, pars->hue[5].handleId);
    for (int h = 0; h < kHueEntries; ++h) pars->hue[h].handleId = h + kHandleIdFirst;
  }
  if (repaired) *repaired = bad;
  return kOk;
}

Status ValidateFilterSettings(const TavelinPars* pars) {
  if (!pars) return kBadArg;
  if (pars->sharpenOn > 1 || pars->denoiseOn > 1 || pars->denoiseAux > 1) return kBadArg;
  if (!kParSharpenStrength.Contains(pars->sharpenStrength) ||
      !kParSharpenChannelMode.Contains(pars->sharpenChannelMode) || !kParNoiseShape.Contains(pars->noiseShape))
    return kBadArg;
  for (int i = 0; i < 4; ++i) {
    const int32_t r = pars->noiseRadius[i];
    if (!kParNoiseRadius.Contains(r) || (r != 0 && r < kNoiseRadiusMinOn)) return kBadArg;
    if (!kParNoiseThreshold.Contains(pars->noiseThreshold[i])) return kBadArg;
  }
  return kOk;
}

void CopyFilterSettings(const TavelinPars& from, TavelinPars* to) {
  to->sharpenOn = from.sharpenOn;
  to->sharpenStrength = from.sharpenStrength;
  to->sharpenChannelMode = from.sharpenChannelMode;
  to->denoiseOn = from.denoiseOn;
  to->denoiseAux = from.denoiseAux;
  for (int k = 0; k < 4; ++k) {
    to->noiseRadius[k] = from.noiseRadius[k];
    to->noiseThreshold[k] = from.noiseThreshold[k];
  }
  to->noiseShape = from.noiseShape;
}
