#include "correct/memorycolours.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "correct/colorimetry.h"
#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct/curvefit.h"
#include "correct/hueselective.h"
#include "correct/textscan.h"
#include "base/atomicfile.h"
#include "base/debuglog.h"
#include "base/strings.h"

using colorimetry::Wrap180;
using colorimetry::Wrap360;

namespace {

double Clamp(double v, double lo, double hi) { return v >= lo ? (v <= hi ? v : hi) : lo; }  // NaN -> lo
double Clamp01(double v) { return Clamp(v, 0.0, 1.0); }

void SetText(char* dst, size_t capacity, const char* src) {
  size_t n = 0;
  for (; src && src[n] && n + 1 < capacity; ++n) {
    const unsigned char c = (unsigned char)src[n];
    dst[n] = (c >= 32 && c <= 126) ? (char)c : ' ';
  }
  dst[n] = 0;
}

// Unwraps hue h (degrees) against the first hue h0 of a series.
double Unwrap(double h, double h0) {
  if (h >= h0 + 180.0 && h0 < 180.0) return h - 360.0;
  if (h <= h0 - 180.0 && h0 >= 180.0) return h + 360.0;
  return h;
}

double ModelHue(const double rgb[3], int model) {
  double hsl[3];
  RgbToHslD(rgb, model, hsl);
  return hsl[0];
}

// The hue step (mask 0xFC00) on one colour, as double in and out.
Status HueStep(TavelinPars* p, const double in[3], double out[3]) {
  const float f[3] = {(float)in[0], (float)in[1], (float)in[2]};
  float r[3];
  if (Status st = ApplyTavelinPars(p, TOOL_HUE_ALL, f, r); st != kOk) return st;
  for (int c = 0; c < 3; ++c) out[c] = r[c];
  return kOk;
}

// Stable sort of the entries by Before hue; returns where entry k went.
int SortEntries(TavelinPars* p, int k) {
  for (int pass = 0; pass < kHueEntries - 1; ++pass)
    for (int i = 0; i + 1 < kHueEntries - pass; ++i)
      if (p->hue[i].baseHue > p->hue[i + 1].baseHue) {
        const HueEntry t = p->hue[i];
        p->hue[i] = p->hue[i + 1];
        p->hue[i + 1] = t;
        if (k == i)
          k = i + 1;
        else if (k == i + 1)
          k = i;
      }
  return k;
}

// Bisection on one hue-entry slider of a sorted working copy: raises the lower
// bound while the measured value of the result stays at or below the target's.
template <class Measure>
Status Bisect(TavelinPars* work, float HueEntry::*field, int k, const double m[3], double target,
              Measure measure, double* result) {
  double lo = 0.0, hi = 1.0;
  while (hi - lo > 0.001) {
    const double mid = (lo + hi) / 2.0;
    work->hue[k].*field = (float)mid;
    double out[3];
    if (Status st = HueStep(work, m, out); st != kOk) return st;
    if (measure(out) <= target)
      lo = mid;
    else
      hi = mid;
  }
  *result = (lo + hi) / 2.0;
  work->hue[k].*field = (float)*result;
  return kOk;
}

double LumaOf(const double rgb[3]) {
  double hsl[3];
  RgbToHslD(rgb, kModelLuma, hsl);
  return hsl[2];
}
double ChromaOf(const double rgb[3]) {
  double hsl[3];
  RgbToHslD(rgb, kModelChroma, hsl);
  return hsl[1];
}

}  // namespace

Status DefaultMemoryColour(int slot, MemoryColour* colour) {
  if (!colour || slot < 0 || slot >= kMemoryColourSlots) return kBadArg;
  std::memset(colour, 0, sizeof *colour);
  struct BuiltIn {
    float chroma, hue, hueSlope;
    int nameId;
    char label;
  };
  static const BuiltIn kBuiltIn[kMemoryColourBuiltIn] = {
      {32.0f, 45.0f, 0.0f, 4640, 'S'},
      {40.0f, 120.0f, -0.5f, 4641, 'F'},
      {40.0f, 258.0f, -0.7f, 4642, 'B'},
  };
  if (slot >= kMemoryColourBuiltIn) return kOk;
  const BuiltIn& b = kBuiltIn[slot];
  colour->defined = 1;
  colour->chroma = b.chroma;
  colour->hue = b.hue;
  colour->hueSlope = b.hueSlope;
  SetText(colour->name, sizeof colour->name, ResText(b.nameId));
  colour->label[0] = b.label;
  return kOk;
}

Status ApplyMemoryColour(TavelinPars* pars, int handleId, const MemoryColour* def) {
  if (!pars || !def) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  int k;
  if (Status st = HandleIdToIndex(pars, handleId, &k); st != kOk) return st;
  const HueEntry& entry = pars->hue[k];

  // Model the samples as smooth functions of luma (bins 1..18).
  constexpr int kFirst = 1, kLast = kSampleBins - 2;
  double binY[kSampleBins] = {};
  bool has[kSampleBins] = {};
  double y4 = 0.0, y3 = 0.0, y2c = 0.0, y2l = 0.0, h0 = 0.0, lastHue = 0.0;
  bool any = false;
  PolyFit hueFit(1);
  for (int i = kFirst; i <= kLast; ++i) {
    const SampleBin& b = entry.hueBin[i];
    if (b.count <= 0) {
      binY[i] = (2 * i + 1) / 40.0;
      continue;
    }
    double mean[3], hcl[3];
    for (int c = 0; c < 3; ++c) mean[c] = (double)b.sum[c] / b.count;
    const double y = Luma601(mean[0], mean[1], mean[2]);
    RgbToHslD(mean, kModelChroma, hcl);
    binY[i] = y;
    has[i] = true;
    y4 += y * y * y * y;
    y3 += y * y * y;
    y2c += y * y * hcl[1];
    y2l += y * y * hcl[2];
    double h = 360.0 * hcl[0];
    if (!any) {
      h0 = h;
      any = true;
    } else {
      h = Unwrap(h, h0);
    }
    hueFit.Add(y, h);
    lastHue = h;
  }
  if (!any) return kBadArg;
  double coef[kMaxFitDegree + 1];
  double ha = lastHue, hb = 0.0;
  if (hueFit.Solve(coef) == kOk) {
    ha = coef[0];
    hb = coef[1];
  }
  const double den = y4 - y3;
  const double f = den != 0.0 ? (y2l - y3) / den : 0.0;
  const double g = den != 0.0 ? y2c / den : 0.0;

  // A working copy with the entries sorted, for the hue step of the bisections.
  TavelinPars work = *pars;
  BuildToneCurves(&work);
  double d50[3];
  colorimetry::D50(d50);
  const double gamma = pars->refRGB.gamma;
  double sumBase = 0.0, sumShift = 0.0, sumSat = 0.0, sumBright = 0.0, sumN = 0.0, base0 = 0.0;
  bool firstBase = true;
  for (int i = kFirst; i <= kLast; ++i) {
    if (!has[i]) continue;
    const double y = binY[i];
    const double L = Clamp01((f * y - f + 1.0) * y);
    const double C = Clamp((y - 1.0) * g * y, 0.0, 2.0 * std::fmin(L, 1.0 - L));
    const double hcl[3] = {Wrap360(ha + hb * y) / 360.0, C, L};
    double m[3];
    HslToRgbD(hcl, kModelChroma, m);

    // a. The target: the definition at the model colour's lightness.
    double lum = 0.0;
    for (int c = 0; c < 3; ++c) lum += std::pow(m[c], gamma) * pars->rgbToXyz[3 * c + 1];
    const double Ls = colorimetry::LightnessOfY(Clamp01(lum));
    const double lch[3] = {Ls, Ls * def->chroma * 0.04 * (1.0 - 0.01 * Ls),
                           Wrap360(def->hue + (Ls - 50.0) * def->hueSlope)};
    double lab[3], xyz[3], t[3];
    colorimetry::LchToLab(lch, lab);
    colorimetry::LabToXyz(lab, d50, xyz);
    for (int j = 0; j < 3; ++j) {
      double v = 0.0;
      for (int c = 0; c < 3; ++c) v += xyz[c] * pars->xyzToRgb[3 * c + j];
      t[j] = std::pow(Clamp01(v), 1.0 / gamma);
    }

    // b. Before hue at the model colour, shift to the target's hue.
    const double hm = ModelHue(m, kModelLuma), ht = ModelHue(t, kModelLuma);
    std::memcpy(work.hue, pars->hue, sizeof work.hue);  // fresh entries for this bin
    HueEntry& we = work.hue[k];
    we.baseHue = (float)Wrap360(360.0 * hm);
    we.hueShift = (float)Wrap180(360.0 * (ht - hm));
    we.brightness = 0.5f;
    we.saturation = 0.5f;
    const int wk = SortEntries(&work, k);

    // c. Brightness, then saturation, by bisection against the target.
    double brightness, saturation;
    if (Status st = Bisect(&work, &HueEntry::brightness, wk, m, LumaOf(t), LumaOf, &brightness); st != kOk)
      return st;
    if (Status st = Bisect(&work, &HueEntry::saturation, wk, m, ChromaOf(t), ChromaOf, &saturation); st != kOk)
      return st;

    // d. Accumulate, weighted by the bin's count.
    const double n = entry.hueBin[i].count;
    double base = work.hue[wk].baseHue;
    if (firstBase) {
      base0 = base;
      firstBase = false;
    } else {
      base = Unwrap(base, base0);
    }
    sumBase += n * base;
    sumShift += n * work.hue[wk].hueShift;
    sumSat += n * saturation;
    sumBright += n * brightness;
    sumN += n;
  }

  // Halve the edits: the samples move halfway toward the definition.
  auto halfway = [](double s) { return s <= 0.5 ? 0.5 - (0.5 - s) / 2.0 : 0.5 + (s - 0.5) / 2.0; };
  HueEntry& e = pars->hue[k];
  e.baseHue = (float)Wrap360(sumBase / sumN);
  e.hueShift = (float)Wrap360(0.5 * sumShift / sumN);
  e.brightness = (float)halfway(sumBright / sumN);
  e.saturation = (float)halfway(sumSat / sumN);
  return NormalizeHandles(pars, k);
}

Status RestrictMemoryColourEdit(TavelinPars* pars, int handleId, const TavelinPars* before, ToolMask setMask) {
  if (!pars || !before) return kBadArg;
  int k, kb;
  if (handleId >= 0 && handleId < kHueEntries) {
    if (Status st = HandleIndexToId(pars, handleId, &handleId); st != kOk) return st;
  }
  if (Status st = HandleIdToIndex(pars, handleId, &k); st != kOk) return st;
  if (Status st = HandleIdToIndex(before, handleId, &kb); st != kOk) return st;
  HueEntry& e = pars->hue[k];
  const HueEntry& b = before->hue[kb];
  e.saturation = (float)Clamp(e.saturation, 0.3, 0.7);
  if (!(setMask & TOOL_HUE_ALL)) e.hueShift = b.hueShift;
  if (!(setMask & TOOL_BRIGHTNESS)) e.brightness = b.brightness;
  if (!(setMask & TOOL_SATURATION)) e.saturation = b.saturation;
  return kOk;
}

Status DefinitionFromHandle(TavelinPars* pars, int handleId, MemoryColour* def) {
  if (!pars || !def) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  int k;
  if (Status st = HandleIdToIndex(pars, handleId, &k); st != kOk) return st;
  double d50[3];
  colorimetry::D50(d50);
  const double gamma = pars->refRGB.gamma;
  double sxc = 0.0, sxx = 0.0, h0 = 0.0, firstHue = 0.0;
  int bins = 0;
  PolyFit line(1);
  for (int i = 1; i <= kSampleBins - 2; ++i) {
    const SampleBin b = pars->hue[k].hueBin[i];
    if (b.count <= 0) continue;
    double mean[3], out[3], lin[3], xyz[3] = {0.0, 0.0, 0.0}, lab[3], lch[3];
    for (int c = 0; c < 3; ++c) mean[c] = (double)b.sum[c] / b.count;
    if (Status st = HueStep(pars, mean, out); st != kOk) return st;
    for (int c = 0; c < 3; ++c) lin[c] = std::pow(Clamp01(out[c]), gamma);
    for (int j = 0; j < 3; ++j)
      for (int c = 0; c < 3; ++c) xyz[j] += lin[c] * pars->rgbToXyz[3 * c + j];
    colorimetry::XyzToLab(xyz, d50, lab);
    colorimetry::LabToLch(lab, lch);
    const double x = 0.04 * lch[0] * (1.0 - 0.01 * lch[0]);
    sxc += x * lch[1];
    sxx += x * x;
    double h = lch[2];
    if (bins == 0) {
      h0 = firstHue = h;
    } else {
      h = Unwrap(h, h0);
    }
    line.Add(lch[0] - 50.0, h);
    ++bins;
  }
  if (bins == 0) return kBadArg;
  // Kept inside the ranges the preferences accept, so a slot made here loads again.
  def->chroma = (float)Clamp(sxx > 0.0 ? sxc / sxx : 0.0, kMemChromaPrefs.min, kMemChromaPrefs.max);
  def->hue = (float)Wrap360(firstHue);
  def->hueSlope = 0.0f;
  double coef[kMaxFitDegree + 1];
  if (bins > 1 && line.Solve(coef) == kOk) {
    def->hue = (float)Wrap360(coef[0]);
    def->hueSlope = (float)Clamp(coef[1], kMemHueSlope.min, kMemHueSlope.max);
  }
  return kOk;
}

// ---- memory colour file ------------------------------------------------------

Status WriteMemoryColourFile(const StreamLocation& where, const MemoryColour* c) {
  if (!c || !c->defined || !c->name[0] || !c->label[0]) return kBadArg;
  auto roundHalfAway = [](double v) { return (long)(v >= 0.0 ? v + 0.5 : v - 0.5); };
  char head[64];
  std::snprintf(head, sizeof head, "%d %3ld %3ld ", 1, roundHalfAway(Clamp(c->chroma, -1e6, 1e6)),
                roundHalfAway(Clamp(c->hue, -1e6, 1e6)));
  std::string text = head + textscan::Fixed(Clamp(c->hueSlope, -1e6, 1e6), 1, 4) + " " + c->name + "\n";
  text += c->label[0];
  text += "\n";
  return WriteWhole(where, [&](Stream& s) { return textscan::WriteText(s, text); });
}

Status ReadMemoryColourFile(const StreamLocation& where, MemoryColour* colour) {
  if (!colour) return kBadArg;
  Stream s;
  if (Status st = StreamOpen(s, where, kStreamRead); st != kOk) return st;
  std::string line1, line2;
  Status st = textscan::ReadLine(s, line1);
  const bool haveLine2 = st == kOk && textscan::ReadLine(s, line2) == kOk;
  StreamClose(s);
  if (st == kReadErr) return kFormatErr;  // empty file: no fields
  if (st != kOk) return st;

  // At least four fields separated by blanks or tabs; the name is what
  // follows the fourth separator.
  auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
  size_t p = 0;
  while (p < line1.size() && blank(line1[p])) ++p;
  for (int field = 0; field < 4; ++field) {
    const size_t start = p;
    while (p < line1.size() && !blank(line1[p])) ++p;
    if (p == start) return kFormatErr;
    if (field < 3 && p >= line1.size()) return kFormatErr;
    while (p < line1.size() && blank(line1[p])) ++p;
  }
  double v[4];
  if (textscan::ScanNumbers(line1.c_str(), "dfff", v) < 4) return kFormatErr;

  MemoryColour c;
  std::memset(&c, 0, sizeof c);
  c.defined = 1;
  c.chroma = (float)Clamp(v[1], kMemChromaFile.min, kMemChromaFile.max);
  c.hue = (float)Clamp(v[2], kMemHue.min, kMemHue.max);
  c.hueSlope = (float)Clamp(v[3], kMemHueSlope.min, kMemHueSlope.max);
  const std::string name = line1.substr(p, kMemoryColourNameMax);
  SetText(c.name, sizeof c.name, name.c_str());
  if (haveLine2 && !line2.empty()) {
    const char label[2] = {line2[0], 0};
    SetText(c.label, sizeof c.label, label);
  }
  *colour = c;
  return kOk;
}

// ---- preferences entry -------------------------------------------------------

Status DecodeMemoryColours(const float* v, int count, MemoryColour slots[kMemoryColourSlots]) {
  if (!v || !slots || (count != kMemoryColourVectorCount && count != kMemoryColourVectorCountOld)) return kFormatErr;
  const bool old = count == kMemoryColourVectorCountOld;
  const int n = old ? kMemoryColourBuiltIn : kMemoryColourSlots;
  for (int s = 0; s < n; ++s) {
    const float* e = old ? v + 3 * s : v + 4 * s;
    const uint8_t defined = old ? 1 : (e[0] > 0.5f ? 1 : 0);
    const float chroma = old ? e[0] : e[1], hue = old ? e[1] : e[2], slope = old ? e[2] : e[3];
    bool ok = kMemChromaPrefs.Contains(chroma) && hue >= 0.0f && hue < 360.0f;
    if (old) ok = ok && slope >= -1.0f && slope < 1.0f;
    if (defined && !ok) {
      DLog("Memory color %d in the preferences file is invalid: %d %f %f %f", s, defined, chroma, hue, slope);
      DefaultMemoryColour(s, &slots[s]);
      return kUnsupported;
    }
    slots[s].defined = defined;
    slots[s].chroma = chroma;
    slots[s].hue = hue;
    slots[s].hueSlope = slope;
  }
  return kOk;
}

Status EncodeMemoryColours(const MemoryColour slots[kMemoryColourSlots], float* v, int count) {
  if (!slots || !v || count != kMemoryColourVectorCount) return kBadArg;
  for (int s = 0; s < kMemoryColourSlots; ++s) {
    v[4 * s] = slots[s].defined ? 1.0f : 0.0f;
    v[4 * s + 1] = slots[s].chroma;
    v[4 * s + 2] = slots[s].hue;
    v[4 * s + 3] = slots[s].hueSlope;
  }
  return kOk;
}
