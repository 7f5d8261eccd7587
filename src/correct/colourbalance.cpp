#include "correct/colourbalance.h"

#include <cmath>
#include <cstring>

#include "correct/colorimetry.h"
#include "correct/colourmodels.h"
#include "correct/curvefit.h"

namespace {

double Clamp01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

bool HasSamples(const SampleBin* bins) {
  for (int i = 0; i < kSampleBins; ++i)
    if (bins[i].count > 0) return true;
  return false;
}

}  // namespace

Status NativeXyzToRgb(const RefRGB* refRGB, double matrix[9]) {
  if (!refRGB || !matrix) return kBadArg;
  double white[3], m[9];
  for (int i = 0; i < 3; ++i) white[i] = refRGB->xyzWhite[i];
  if (colorimetry::RgbToXyzMatrix(refRGB->primaries, white, white, m) != kOk) return kNoMem;
  if (colorimetry::MatInvert(m, matrix) != kOk) return kNoMem;
  return kOk;
}

Status NeutralTarget(double L, const NeutralPref* pref, const RefRGB* refRGB, const double matrix[9],
                     double rgb[3]) {
  if (!pref || !refRGB || !matrix || !rgb) return kBadArg;
  double lch[3];
  lch[0] = L;
  lch[1] = L * (pref->chroma * 0.04) * (1.0 - 0.01 * L);
  lch[2] = colorimetry::Wrap360(pref->hue + (L - 50.0) * pref->hueSlope);
  double lab[3], xyz[3], d50[3], white[3], adapt[9], lin[3];
  colorimetry::LchToLab(lch, lab);
  colorimetry::D50(d50);
  colorimetry::LabToXyz(lab, d50, xyz);
  for (int i = 0; i < 3; ++i) white[i] = refRGB->xyzWhite[i];
  if (colorimetry::BradfordMatrix(d50, white, adapt) != kOk) return kBadArg;
  colorimetry::MatApply(adapt, xyz, xyz);
  colorimetry::MatApply(matrix, xyz, lin);
  const double e = 1.0 / refRGB->gamma;
  for (int c = 0; c < 3; ++c) rgb[c] = std::pow(Clamp01(lin[c]), e);
  return kOk;
}

Status BuildBalanceCurves(TavelinPars* pars) {
  if (!pars) return kBadArg;
  if (pars->balanceValid) return kOk;
  const bool plain = !(pars->neutralPref.chroma >= kNeutralChromaPlain);
  double matrix[9];
  if (!plain) {
    if (Status st = NativeXyzToRgb(&pars->refRGB, matrix); st != kOk) return st;
  }
  FitBin bins[kSampleBins];
  for (int i = 0; i < kSampleBins; ++i) {
    const SampleBin& b = pars->balBin[i];
    FitBin& f = bins[i];
    f.present = b.count > 0;
    if (!f.present) continue;
    for (int c = 0; c < 3; ++c) f.mean[c] = (double)b.sum[c] / b.count;
    const double y = Luma601(f.mean[0], f.mean[1], f.mean[2]);
    if (plain) {
      f.target[0] = f.target[1] = f.target[2] = y;
    } else {
      // The target's lightness is that of a gray with the sample's encoded
      // luma, so that a vanishing preferred chroma meets the plain target.
      const double L = colorimetry::LightnessOfY(std::pow(Clamp01(y), (double)pars->refRGB.gamma));
      if (Status st = NeutralTarget(L, &pars->neutralPref, &pars->refRGB, matrix, f.target); st != kOk) return st;
    }
  }
  FitBinCurves(bins, pars->balanceCurve);
  pars->balanceValid = 1;
  return kOk;
}

Status ApplyBalance(TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (Status st = BuildBalanceCurves(pars); st != kOk) return st;
  if (!HasSamples(pars->balBin)) {  // identity curves: pass the colour exactly
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  for (int c = 0; c < 3; ++c) out[c] = (float)CurveLookup(in[c], pars->balanceCurve[c], kCurveSize);
  return kOk;
}

Status InvertBalance(TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (Status st = BuildBalanceCurves(pars); st != kOk) return st;
  for (int c = 0; c < 3; ++c) {
    const float* curve = pars->balanceCurve[c];
    const double v = in[c];
    double x;
    if (v <= curve[0]) {
      x = 0.0;
    } else if (v >= curve[kCurveSize - 1]) {
      x = 1.0;
    } else {
      x = 1.0;
      for (int k = 0; k < kCurveSize - 1; ++k) {
        const double a = curve[k], b = curve[k + 1];
        if ((a <= v && v <= b) || (b <= v && v <= a)) {
          const double t = (b != a) ? (v - a) / (b - a) : 0.0;
          x = (k + t) / 255.0;
          break;
        }
      }
    }
    out[c] = (float)x;
  }
  return kOk;
}

Status SetBalanceSliders(TavelinPars* pars, const float sliders[3]) {
  if (!pars || !sliders) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  ResetTavelinPars(pars, TOOL_BALANCE);
  float s[3];
  for (int c = 0; c < 3; ++c) {
    s[c] = (float)(1.0 - Clamp01(sliders[c]));
    if (pars->linear) s[c] = (float)CurveLookup(s[c], pars->linearCurve, kCurveSize);
  }
  return AddBalanceSample(pars, s);
}

Status FitLchModel(const LchSample* samples, int n, NeutralPref* model) {
  if (!model || n < 0 || (n > 0 && !samples)) return kBadArg;
  // Chroma: the integer factor that best explains the chromas.
  double best = INFINITY;
  int bestK = 0;
  for (int k = 0; k <= 100; ++k) {
    double e = 0.0;
    for (int i = 0; i < n && e <= best; ++i) {
      const double L = samples[i].L;
      const double d = k * 0.04 * L * (1.0 - 0.01 * L) - samples[i].C;
      e += d * d;
    }
    if (e < best) {
      best = e;
      bestK = k;
    }
  }
  model->chroma = (float)bestK;
  model->hue = 0.0f;
  model->hueSlope = 0.0f;
  int coloured = 0, only = -1;
  for (int i = 0; i < n; ++i)
    if (samples[i].C >= 5.0) {
      ++coloured;
      only = i;
    }
  if (coloured == 0) return kOk;
  if (coloured == 1) {
    model->hue = (float)colorimetry::Wrap360(samples[only].h);
    return kOk;
  }
  best = INFINITY;
  int bestS = 0, bestH = 0;
  for (int s = -10; s <= 10; ++s) {
    for (int h = 0; h < 360; ++h) {
      double e = 0.0;
      for (int i = 0; i < n && e <= best; ++i) {
        if (samples[i].C < 5.0) continue;
        double d = h + 0.1 * s * (samples[i].L - 50.0) - samples[i].h;
        if (d > 180.0)
          d = 360.0 - d;
        else if (d < -180.0)
          d = d + 360.0;
        e += d * d;
      }
      if (e < best) {
        best = e;
        bestS = s;
        bestH = h;
      }
    }
  }
  model->hue = (float)bestH;
  model->hueSlope = (float)(0.1 * bestS);
  return kOk;
}

Status SetNeutralPref(TavelinPars* pars, const float rgb[3]) {
  if (!pars || !rgb) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  double white[3], d50[3], m[9], adapt[9];
  for (int i = 0; i < 3; ++i) white[i] = pars->refRGB.xyzWhite[i];
  colorimetry::D50(d50);
  if (colorimetry::RgbToXyzMatrix(pars->refRGB.primaries, white, white, m) != kOk) return kNoMem;
  if (colorimetry::BradfordMatrix(white, d50, adapt) != kOk) return kNoMem;
  double lin[3], xyz[3], lab[3], lch[3];
  for (int c = 0; c < 3; ++c) lin[c] = std::pow(Clamp01(rgb[c]), (double)pars->refRGB.gamma);
  colorimetry::MatApply(m, lin, xyz);
  colorimetry::MatApply(adapt, xyz, xyz);
  colorimetry::XyzToLab(xyz, d50, lab);
  colorimetry::LabToLch(lab, lch);
  const LchSample sample{lch[0], lch[1], lch[2]};
  NeutralPref pref;
  if (Status st = FitLchModel(&sample, 1, &pref); st != kOk) return st;
  pars->neutralPref = pref;
  pars->balanceValid = 0;
  return BuildBalanceCurves(pars);
}

Status CastWedge(TavelinPars* pars, CastSwatch wedge[kCastWedgeSteps]) {
  if (!pars || !wedge) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  const NeutralPref saved = pars->neutralPref;
  pars->neutralPref = NeutralPref{0.0f, 0.0f, 0.0f};
  pars->balanceValid = 0;
  Status st = BuildBalanceCurves(pars);
  for (int i = 0; i < kCastWedgeSteps && st == kOk; ++i) {
    CastSwatch& w = wedge[i];
    const float g = (float)((i + 1) / 10.0);
    w.gray[0] = w.gray[1] = w.gray[2] = g;
    st = InvertBalance(pars, w.gray, w.cast);
    float hcl[3];
    RgbToHsl(w.cast, kModelChroma, hcl);
    w.number = (int32_t)(100.0 * hcl[1] + 0.5);
    std::memset(w.letter, 0, sizeof w.letter);
    if (w.number == 0) continue;
    static const char kLetters[] = "RYGCBM";
    const double hue = 360.0 * hcl[0];
    int nearest = 0;
    double bestDist = 1e9;
    for (int k = 0; k < 6; ++k) {
      double d = std::fabs(hue - 60.0 * k);
      if (d > 180.0) d = 360.0 - d;
      if (d < bestDist) {
        bestDist = d;
        nearest = k;
      }
    }
    w.letter[0] = kLetters[nearest];
  }
  pars->neutralPref = saved;
  pars->balanceValid = 0;
  const Status rebuilt = BuildBalanceCurves(pars);
  return st != kOk ? st : rebuilt;
}

