#include "correct/hueselective.h"

#include <algorithm>
#include <cmath>

#include "correct/colorimetry.h"
#include "correct/colourmodels.h"
#include "correct/curvefit.h"
#include "correct/tonetools.h"

using colorimetry::Wrap180;
using colorimetry::Wrap360;

namespace {

bool EntryNeutral(const HueEntry& e) { return e.hueShift == 0.0f && e.brightness == 0.5f && e.saturation == 0.5f; }

bool ToneNeutral(const float tone[3]) {
  for (int c = 0; c < 3; ++c)
    if (!(std::fabs(tone[c] - 0.5) < 1e-8)) return false;
  return true;
}

double AfterHue(const HueEntry& e) { return Wrap360((double)e.baseHue + e.hueShift); }

}  // namespace

Status ApplyHueSelective(const TavelinPars* pars, const float hsyIn[3], float hsyOut[3]) {
  if (!pars || !hsyIn || !hsyOut) return kBadArg;
  bool neutral = true;
  for (const HueEntry& e : pars->hue) neutral = neutral && EntryNeutral(e);
  if (neutral) {
    for (int k = 0; k < 3; ++k) hsyOut[k] = hsyIn[k];
    return kOk;
  }
  const double H = hsyIn[0], S = hsyIn[1], Y = hsyIn[2];
  // Weights of the two handles whose Before hues enclose the hue, in tenths of a degree.
  double w[kHueEntries] = {};
  long h = (long)(10.0 * H + 0.5);
  bool found = false;
  for (int i = 0; i < kHueEntries && !found; ++i) {
    const int j = (i + 1) % kHueEntries;
    const long a = (long)(10.0 * pars->hue[i].baseHue + 0.5);
    long b = (long)(10.0 * pars->hue[j].baseHue + 0.5);
    if (b < a) {  // the pair wraps through 0 degrees
      if (h < b) h += 3600;
      b += 3600;
    }
    if (a <= h && h <= b) {
      const double t = b > a ? ((h - a) * 0.1) / ((b - a) * 0.1) : 0.0;
      w[j] = t;
      w[i] = 1.0 - t;
      found = true;
    }
  }
  if (!found) {  // handles out of order: no pair encloses the hue, leave it
    for (int k = 0; k < 3; ++k) hsyOut[k] = hsyIn[k];
    return kOk;
  }
  double dH = 0.0, B = 0.0, Sv = 0.0;
  for (int i = 0; i < kHueEntries; ++i) {
    if (w[i] == 0.0) continue;
    const HueEntry& e = pars->hue[i];
    dH += w[i] * Wrap180(e.hueShift);
    B += w[i] * e.brightness;
    Sv += w[i] * e.saturation;
  }
  const double Bp = S * (B - 0.5) + 0.5;
  hsyOut[0] = (float)Wrap360(H + dH);
  hsyOut[2] = (float)Bias(Y, Bp);
  if (Sv == 0.5)
    hsyOut[1] = (float)S;
  else if (Sv < 0.5)
    hsyOut[1] = (float)(S * 2.0 * Sv);
  else
    hsyOut[1] = (float)Bias(S, Sv);
  return kOk;
}

Status BuildToneCurves(TavelinPars* pars) {
  if (!pars) return kBadArg;
  bool same = true;
  for (int c = 0; c < 3; ++c) same = same && std::fabs((double)pars->toneColor[c] - pars->toneCache[c]) < 1e-8;
  if (same) return kOk;
  if (ToneNeutral(pars->toneColor)) {
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < kCurveSize; ++k) pars->toneCurve[c][k] = (float)(k / 255.0);
  } else {
    FitBin bins[kSampleBins] = {};
    double comp[3];
    for (int c = 0; c < 3; ++c) comp[c] = 1.0 - pars->toneColor[c];
    const double yc = Luma601(comp[0], comp[1], comp[2]);
    int k = (int)(20.0 * yc);
    if (k < 0) k = 0;
    if (k > kSampleBins - 1) k = kSampleBins - 1;
    bins[k].present = true;
    for (int c = 0; c < 3; ++c) {
      bins[k].mean[c] = comp[c];
      bins[k].target[c] = yc;
    }
    FitBinCurves(bins, pars->toneCurve);
  }
  for (int c = 0; c < 3; ++c) pars->toneCache[c] = pars->toneColor[c];
  return kOk;
}

Status ApplyToning(TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (Status st = BuildToneCurves(pars); st != kOk) return st;
  if (ToneNeutral(pars->toneCache)) {  // identity curves: pass the colour exactly
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  for (int c = 0; c < 3; ++c) out[c] = (float)CurveLookup(in[c], pars->toneCurve[c], kCurveSize);
  return kOk;
}

Status ApplyToningPreset(TavelinPars* pars, const float rgb[3]) {
  if (!pars || !rgb) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  for (int c = 0; c < 3; ++c)
    if (!kParToneColor.Contains(rgb[c])) return kBadArg;
  for (int c = 0; c < 3; ++c) pars->toneColor[c] = rgb[c];
  for (HueEntry& e : pars->hue) e.saturation = 0.0f;
  return kOk;
}

Status MeanHue(SampleBin* bins, double limit, double* hue) {
  if (!bins || !hue) return kBadArg;
  bool first = true;
  double h0 = 0.0, sum = 0.0, weight = 0.0;
  for (int i = 0; i < kSampleBins; ++i) {
    SampleBin& b = bins[i];
    if (b.count <= 0) continue;
    double mean[3], hcl[3];
    for (int c = 0; c < 3; ++c) mean[c] = (double)b.sum[c] / b.count;
    RgbToHslD(mean, kModelChroma, hcl);
    if (!(hcl[1] >= limit)) {
      b = SampleBin{{0.0f, 0.0f, 0.0f}, 0};
      continue;
    }
    double h = 360.0 * hcl[0];
    if (first) {
      h0 = h;
      first = false;
    } else if (h >= h0 + 180.0 && h0 < 180.0) {
      h -= 360.0;
    } else if (h <= h0 - 180.0 && h0 >= 180.0) {
      h += 360.0;
    }
    sum += h * b.count;
    weight += b.count;
  }
  if (first || !(weight > 0.0)) return kBadArg;
  *hue = Wrap360(sum / weight);
  return kOk;
}

Status NearestHandle(const TavelinPars* pars, double hue, int* index) {
  if (!pars || !index) return kBadArg;
  int best = 0;
  double bestDist = INFINITY;
  for (int i = 0; i < kHueEntries; ++i) {
    double d = std::fabs(Wrap360(hue) - Wrap360(pars->hue[i].baseHue));
    if (d > 180.0) d = 360.0 - d;
    if (d < bestDist) {
      bestDist = d;
      best = i;
    }
  }
  *index = best;
  return kOk;
}

Status NormalizeHandles(TavelinPars* pars, int k) {
  if (!pars || k < 0 || k >= kHueEntries) return kBadArg;
  HueEntry* e = pars->hue;
  // 1. Stable bubble sort by Before hue; the active index follows its entry.
  for (int pass = 0; pass < kHueEntries - 1; ++pass)
    for (int i = 0; i + 1 < kHueEntries - pass; ++i)
      if (e[i].baseHue > e[i + 1].baseHue) {
        const HueEntry t = e[i];
        e[i] = e[i + 1];
        e[i + 1] = t;
        if (k == i)
          k = i + 1;
        else if (k == i + 1)
          k = i;
      }
  // 2. Before hues at least 5 degrees apart, pushing away from the active handle.
  for (int s = 0; s < kHueEntries - 1; ++s) {
    const HueEntry& cur = e[(k + s) % kHueEntries];
    HueEntry& next = e[(k + s + 1) % kHueEntries];
    double d = (double)next.baseHue - cur.baseHue;
    if (d < 0.0) d += 360.0;
    if (d < kHandleMinGap) next.baseHue = (float)Wrap360(cur.baseHue + kHandleMinGap);
  }
  for (int s = 0; s < kHueEntries - 1; ++s) {
    const HueEntry& cur = e[((k - s) % kHueEntries + kHueEntries) % kHueEntries];
    HueEntry& prev = e[((k - s - 1) % kHueEntries + kHueEntries) % kHueEntries];
    double d = (double)cur.baseHue - prev.baseHue;
    if (d < 0.0) d += 360.0;
    if (d < kHandleMinGap) prev.baseHue = (float)Wrap360(cur.baseHue - kHandleMinGap);
  }
  // 3. The After hues must run once around the circle; turn the active
  // handle's shift a degree at a time until they do (at most a full turn).
  auto turns = [&]() {
    double sum = 0.0;
    for (int i = 0; i < kHueEntries; ++i) {
      double g = AfterHue(e[(i + 1) % kHueEntries]) - AfterHue(e[i]);
      if (g < 0.0) g += 360.0;
      sum += g;
    }
    return sum >= 361.0;
  };
  HueEntry& active = e[k];
  const double step = Wrap180(AfterHue(active) - active.baseHue) > 0.0 ? -1.0 : 1.0;
  for (int n = 0; n < 360 && turns(); ++n) active.hueShift = (float)Wrap360(active.hueShift + step);
  // 4. After hues at least 5 degrees apart, pushing forward from the active handle.
  for (int s = 0; s < 2 * kHueEntries; ++s) {
    const HueEntry& cur = e[(k + s) % kHueEntries];
    HueEntry& next = e[(k + s + 1) % kHueEntries];
    double d = AfterHue(next) - AfterHue(cur);
    if (d < 0.0) d += 360.0;
    if (d < kHandleMinGap) next.hueShift = (float)Wrap360(next.hueShift + (kHandleMinGap - d));
  }
  return kOk;
}

