#include "correct/brivio_adaptive.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "correct/colourbalance.h"
#include "correct/correctiontransform.h"
#include "correct/illuminant.h"
#include "correct/tonetools.h"
#include "base/memory.h"

namespace {

// At most this many pixels are analysed: the estimates settle long before.
constexpr int64_t kMaxSamples = 1 << 17;
// A channel at or above this 8-bit code counts as clipped.
constexpr int kClipCode = 250;
// Linear data reach at least this raw luma (0..1) with their brightest 0.5 %.
constexpr double kLinearTopLuma = 0.7;

constexpr ToolMask kToneMask = TOOL_POINTS | TOOL_BRIGHTNESS | TOOL_CONTRAST | TOOL_SHADOW | TOOL_HIGHLIGHT;

// ---- the decision's constants (tuned on the benchmark's tuning photographs) --------------
struct Tuning {
  // Cast: four witnesses (illuminant.h) are averaged in ln(R/G), ln(B/G).
  // The part of the average that castLow + spreadScale x their spread could
  // explain stays; a cast no light source shows (see Plausible) is the
  // scene's colour.
  double castLow = 0.05, spreadScale = 2.0;
  // The most a light source departs from white along the warm-cool axis
  // (each side) and the green-magenta axis (each side), with a soft edge of
  // castMaxSoft of that.
  double warmAxis[2] = {0.56, -0.83}, magentaAxis[2] = {0.65, 0.76};
  double warmMax = 2.4, coolMax = 0.3, magentaMax = 0.9, greenMax = 0.5, castMaxSoft = 0.3;
  // A highlight plateau of more than plateauShare of the pixels (two on the
  // analysis thumbnail: a small white already names the light) may stand
  // alone; the witnesses' spread counts plateauSpreadScale there.
  double plateauShare = 0.00005, plateauSpreadScale = 0.5;
  // A plateau whose colour the rules above leave (a scene coloured enough
  // that its average proves nothing) still names the light's direction far
  // more often than any average does: the balance goes that way by its
  // colour less plateauNoise (ln units), at most plateauNudge.
  double plateauNudge = 0.12, plateauNoise = 0.03;
  // Haze: a black level (linear) up to hazeLow is a picture's own; from
  // hazeHigh on all of it is offset. The offset is taken away in encoded
  // values (the domain linear^(1 / hazeGammaEncoded)) while it stays below
  // flatBlackHigh there, in linear light (hazeGammaLinear) from
  // flatBlackHigh + flatBlackSoft on.
  double hazeLow = 0.02, hazeHigh = 0.04, hazeGammaLinear = 1.0, hazeGammaEncoded = 2.4;
  double flatBlackHigh = 0.35, flatBlackSoft = 0.1;
  // Under-exposure: the peak (the largest channel's level that nearly no
  // pixel passes) below peakFull is raised to 1, fully from peakLow down,
  // unless the key is close to the white level (a key/white ratio above
  // ratioHigh is a soft, light scene). Most photographs reach full scale
  // somewhere, if only in a few pixels (on the analysis thumbnail of 180
  // pixels a side, averaged down): the 99.5 % white misses them.
  // A soft scene is light: one whose peak is below softPeakHigh, all of it
  // below softPeakLow, is dark all the same.
  double peakFull = 0.75, peakLow = 0.65, ratioLow = 0.25, ratioHigh = 0.35, softPeakLow = 0.35, softPeakHigh = 0.45;
  // A key far below the white (a ratio under ratioDarkHigh, all of it
  // under ratioDarkLow) is a low-key scene, a few lights in the dark; a
  // dusk, a night sky or a storm (see Dusk) is dark on purpose too. Their
  // lights or their sky still reach about darkPeak: the peak is measured
  // against that instead of full scale, so such a scene short of it was
  // under-exposed.
  double ratioDarkLow = 0.03, ratioDarkHigh = 0.06, darkPeak = 0.55;
  // Over-exposure: more than clipLow of the pixels clipped in two or three
  // channels, up to clipHigh, or more than anyClipLow clipped in some
  // channel, up to anyClipHigh (saturated colours clip one channel: a
  // flower, a sunset; over a third of the frame is too much for a
  // photograph's own), or a key (linear log-average) above brightKeyLow,
  // up to brightKeyHigh, takes up to overStops stops away.
  double clipLow = 0.08, clipHigh = 0.15, anyClipLow = 0.3, anyClipHigh = 0.45;
  double brightKeyLow = 0.55, brightKeyHigh = 0.7, overStops = 1.0;
};
constexpr Tuning kTuning;

double Ramp(double x, double lo, double hi) { return std::clamp((x - lo) / (hi - lo), 0.0, 1.0); }

// Sampled pixels, 8-bit codes, as a grid (for the edges).
struct Samples {
  MemPtr<uint8_t[]> rgb;
  int columns = 0, rows = 0;
};

Status ReadSamples(TavelinPars* pars, const RasterView* image, ToolMask readMask, int analysisIndex, int gridIndex,
                   Samples* s) {
  int stepX, stepY;
  if (AnalysisSteps(analysisIndex, &stepX, &stepY) != kOk) return kBadArg;
  // Thin the grid evenly until it holds at most kMaxSamples pixels.
  while ((int64_t)((image->width + stepX - 1) / stepX) * ((image->height + stepY - 1) / stepY) > kMaxSamples)
    ++stepX, ++stepY;
  CorrectedRaster reader;
  if (Status st = reader.Open(pars, readMask, gridIndex, image); st != kOk) return st;
  s->columns = (image->width + stepX - 1) / stepX;
  s->rows = (image->height + stepY - 1) / stepY;
  s->rgb = MemNewArray<uint8_t>((size_t)s->columns * s->rows * 3, false);
  if (!s->rgb) return kNoMem;
  for (int r = 0; r < s->rows; ++r) reader.ReadRow8(r * stepY, stepX, &s->rgb[(size_t)r * s->columns * 3]);
  return kOk;
}

// The level below which `fraction` of a 1024-bin histogram over 0..1 lies.
double Percentile(const std::array<uint32_t, 1024>& h, uint64_t total, double fraction) {
  const double want = fraction * (double)total;
  double run = 0.0;
  for (int i = 0; i < 1024; ++i) {
    if (run + h[i] >= want) return (i + (h[i] ? (want - run) / h[i] : 0.0)) / 1024.0;
    run += h[i];
  }
  return 1.0;
}
int Bin1024(double v) { return std::clamp((int)(v * 1024.0), 0, 1023); }

void Normalise(double e[3]) {
  const double top = std::max(e[0], std::max(e[1], e[2]));
  for (int c = 0; c < 3; ++c) e[c] = top > 0.0 ? e[c] / top : 1.0;
}

// ---- the cast ------------------------------------------------------------------------------

// The haze offset: the part of the least channel's black level that a
// well-made picture would not have. A veil is either a flat look (blacks
// raised in the encoded values) or added light (fog, glare: an offset in
// linear light). A flat look lifts black moderately; a black level past
// flatBlackHigh in encoded values is no look but light added to the scene,
// taken away in linear light.
void EstimateHaze(const Samples& s, const double lin[256], AdaptiveModel* m) {
  const size_t n = (size_t)s.columns * s.rows;
  const uint8_t* p = s.rgb.get();
  std::array<uint32_t, 1024> least = {};
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* q = p + 3 * i;
    ++least[Bin1024(lin[std::min(q[0], std::min(q[1], q[2]))])];
  }
  const double black = Percentile(least, n, 0.005);
  m->haze = Ramp(black, kTuning.hazeLow, kTuning.hazeHigh);
  const double added = Ramp(std::pow(black, 1.0 / kTuning.hazeGammaEncoded), kTuning.flatBlackHigh,
                            kTuning.flatBlackHigh + kTuning.flatBlackSoft);
  m->hazeGamma = kTuning.hazeGammaEncoded + added * (kTuning.hazeGammaLinear - kTuning.hazeGammaEncoded);
  m->offset = std::pow(black, 1.0 / m->hazeGamma) * m->haze;
}

// Linear values with the haze offset taken away, by 8-bit code.
void HazeFree(const double lin[256], const AdaptiveModel& m, double out[256]) {
  for (int i = 0; i < 256; ++i) out[i] = m.WithoutHaze(lin[i]);
}

// How plausible a cast (ln(R/G), ln(B/G)) is as a light source's colour,
// 0..1. Light sources lie near two axes: the warm-cool axis of black bodies
// and daylight (warm light is often strongly coloured, cool shade only a
// little) and the green-magenta axis (fluorescent and mixed light, mild).
// A cast far out on either is the scene's own colour: a night or a stormy
// sky, water, foliage filling the frame.
double Plausible(const double c[2]) {
  const double warm = kTuning.warmAxis[0] * c[0] + kTuning.warmAxis[1] * c[1];
  const double magenta = kTuning.magentaAxis[0] * c[0] + kTuning.magentaAxis[1] * c[1];
  const double warmLimit = warm > 0.0 ? kTuning.warmMax : kTuning.coolMax;
  const double tintLimit = magenta > 0.0 ? kTuning.magentaMax : kTuning.greenMax;
  return Ramp(warmLimit - std::fabs(warm), 0.0, kTuning.castMaxSoft * warmLimit) *
         Ramp(tintLimit - std::fabs(magenta), 0.0, kTuning.castMaxSoft * tintLimit);
}

void EstimateCast(const Samples& s, const double linIn[256], const double lumaW[3], bool allWitnesses,
                  AdaptiveModel* m) {
  // Estimates are taken after the haze offset is gone.
  double lin[256];
  HazeFree(linIn, *m, lin);
  IlluminantWitnesses& w = m->witnesses;
  MeasureWitnesses(s.rgb.get(), s.columns, s.rows, lin, lumaW, kClipCode, allWitnesses, &w);
  // The average of the witnesses that agree best with the light on the
  // tuning photographs, and their disagreement.
  const IlluminantWitness used4[] = {kWitnessShades8, kWitnessEdge1, kWitnessPatch995, kWitnessBright};
  double mean[2] = {0, 0};
  for (IlluminantWitness k : used4) mean[0] += w.uv[k][0] / 4.0, mean[1] += w.uv[k][1] / 4.0;
  double spread = 0.0;
  for (IlluminantWitness k : used4) spread += std::hypot(w.uv[k][0] - mean[0], w.uv[k][1] - mean[1]) / 4.0;
  m->cast[0] = mean[0], m->cast[1] = mean[1];
  m->spread = spread;
  const double* plateauUv = w.plateauUv;
  // The part of the estimate that a picture's own colour could explain is
  // kept: a cast no larger than that is left alone, a larger one is taken
  // away less that part (a soft threshold, wider where the estimates disagree).
  const double size = std::hypot(mean[0], mean[1]);
  const double allowance = kTuning.castLow + kTuning.spreadScale * spread;
  m->castConfidence = size > allowance ? 1.0 - allowance / size : 0.0;
  // No light source is that coloured: a larger estimate is the scene's own
  // colour (foliage, a flower filling the frame), not a cast.
  m->castConfidence *= Plausible(mean);
  double used[2] = {mean[0], mean[1]};
  // A highlight plateau (pixels near the top code of every channel at once)
  // is most likely a white or a clipped highlight: it shows a strong cast
  // as it is, at any exposure, beyond what the average may take.
  if (w.plateauShare > kTuning.plateauShare) {
    const double wp = std::hypot(plateauUv[0], plateauUv[1]);
    const double allowanceWp = kTuning.castLow + kTuning.plateauSpreadScale * spread;
    double c = wp > allowanceWp ? 1.0 - allowanceWp / wp : 0.0;
    c *= Plausible(plateauUv);
    if (c * wp > m->castConfidence * size) {
      used[0] = plateauUv[0], used[1] = plateauUv[1];
      m->castConfidence = c;
    }
    // Where the evidence is moderate, a part of the way: the highlights are
    // pixels of their own, apart from those the averages weigh most, and a
    // cast shrunk toward none along their colour is rarely worse than none.
    const double nudge = std::min(kTuning.plateauNudge, wp - kTuning.plateauNoise) * Plausible(plateauUv);
    if (nudge > m->castConfidence * std::hypot(used[0], used[1])) {
      used[0] = plateauUv[0], used[1] = plateauUv[1];
      m->castConfidence = nudge / wp;
    }
  }
  m->applied[0] = used[0] * m->castConfidence, m->applied[1] = used[1] * m->castConfidence;
  double e[3] = {std::exp(m->applied[0]), 1.0, std::exp(m->applied[1])};
  Normalise(e);
  for (int c = 0; c < 3; ++c) m->gain[c] = 1.0 / e[c];
}

// ---- haze and exposure ---------------------------------------------------------------------

// How surely the picture's colour (ln(R/G), ln(B/G)) says dusk, night or
// storm, 0..1: bluer than any light source a camera is balanced for (past
// the cool limit of Plausible). Under-exposing a daylight scene leaves its
// colour; a dark scene that blue is dark on purpose.
double Dusk(const double c[2]) {
  const double cool = -(kTuning.warmAxis[0] * c[0] + kTuning.warmAxis[1] * c[1]);
  return Ramp(cool, kTuning.coolMax, kTuning.coolMax * (1.0 + kTuning.castMaxSoft));
}

void EstimateTone(const Samples& s, const double linIn[256], const double lumaW[3], AdaptiveModel* m) {
  double lin[256];
  HazeFree(linIn, *m, lin);
  const size_t n = (size_t)s.columns * s.rows;
  const uint8_t* p = s.rgb.get();
  std::array<uint32_t, 1024> least = {}, most = {};
  double logSum = 0.0;
  uint64_t clipped = 0, clippedAny = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* q = p + 3 * i;
    double v[3];
    for (int c = 0; c < 3; ++c) v[c] = std::min(lin[q[c]] * m->gain[c], 1.0);
    ++least[Bin1024(std::min(v[0], std::min(v[1], v[2])))];
    ++most[Bin1024(std::max(v[0], std::max(v[1], v[2])))];
    logSum += std::log(lumaW[0] * v[0] + lumaW[1] * v[1] + lumaW[2] * v[2] + 1e-3);
    // Over-exposure clips light colours in two channels or all three; a
    // saturated colour at full scale in one channel is no sign of it.
    const int clippedChannels = (q[0] >= kClipCode) + (q[1] >= kClipCode) + (q[2] >= kClipCode);
    clipped += clippedChannels >= 2;
    clippedAny += clippedChannels >= 1;
  }
  m->black = Percentile(least, n, 0.005);
  m->white = Percentile(most, n, 0.995);
  m->peak = Percentile(most, n, 0.9999);
  m->key = std::exp(logSum / (double)n);
  m->clipped = (double)clipped / (double)n;
  const double peak = std::max(m->peak, 1e-3);
  // Under-exposure: a peak short of full is raised to it; the peak of a
  // scene dark on purpose (a low key, or the colour that the balance leaves
  // says dusk), short of the level such a scene reaches, to that level. A
  // key close to the white level is a light, soft scene (fog, snow), not a
  // dark one: it stays.
  const double ratio = m->key / std::max(m->white, 1e-3);
  const double residual[2] = {m->cast[0] - m->applied[0], m->cast[1] - m->applied[1]};
  const double lit = (1.0 - Dusk(residual)) * Ramp(ratio, kTuning.ratioDarkLow, kTuning.ratioDarkHigh);
  // The exposure that raises a peak measured against `top` to it, as far as
  // the picture looks under-exposed.
  auto raise = [&](double top) {
    const double span = peak / top;
    if (span >= 1.0) return 1.0;
    const double under = Ramp(kTuning.peakFull - span, 0.0, kTuning.peakFull - kTuning.peakLow) *
                         std::max(Ramp(kTuning.ratioHigh - ratio, 0.0, kTuning.ratioHigh - kTuning.ratioLow),
                                  Ramp(kTuning.softPeakHigh - span, 0.0, kTuning.softPeakHigh - kTuning.softPeakLow));
    return std::pow(1.0 / span, under);
  };
  // Full scale as far as the scene looks lit, the dark scene's level in any case.
  double scale = std::max(std::pow(raise(1.0), lit), raise(1.0 + (1.0 - lit) * (kTuning.darkPeak - 1.0)));
  // A hazy picture's peak is lowered with its contrast: it is raised back
  // to full scale.
  if (peak < 1.0) scale = std::max(scale, std::pow(1.0 / peak, m->haze));
  // Over-exposure: a picture with many clipped pixels, or a key far above a
  // photograph's usual, was over-exposed by about overStops; what clipped
  // stays white.
  const double over = std::max({Ramp(m->clipped, kTuning.clipLow, kTuning.clipHigh),
                                Ramp((double)clippedAny / (double)n, kTuning.anyClipLow, kTuning.anyClipHigh),
                                Ramp(m->key, kTuning.brightKeyLow, kTuning.brightKeyHigh)});
  if (over > 0.0) scale = std::pow(2.0, -kTuning.overStops * over);
  m->scale = scale;
}

// ---- realising the model in the record ------------------------------------------------------

struct ModelMap {
  const AdaptiveModel& m;
  double gamma;
  // The colour of the picture that the model turns into gray u (0..1), channel c.
  double Before(double u, int c) const {
    const double out = std::pow(u, gamma);
    return std::pow(m.WithHaze(out / (m.scale * m.gain[c])), 1.0 / gamma);
  }
  // Rec. 601 luma of that colour (the balance's target for it).
  double LumaBefore(double u) const {
    return 0.299 * Before(u, 0) + 0.587 * Before(u, 1) + 0.114 * Before(u, 2);
  }
  bool Inside(double u) const {
    for (int c = 0; c < 3; ++c)
      if (Before(u, c) > 1.0) return false;
    return true;
  }
};

constexpr int kTonePoints = 48;

struct TonePair {
  double s, u, w;
};

// The tone tools of `free` (the others as the record has them) fitted so
// that gray s goes to u, weighted; a pattern search from a levels guess.
void FitTone(TavelinPars* pars, ToolMask free, const TonePair* pairs, int count) {
  struct Param {
    ToolMask bit;
    float* field;
    float lo, hi;
  };
  Param params[] = {
      {TOOL_BLACK, &pars->blackPoint, -0.5f, 0.95f}, {TOOL_WHITE, &pars->whitePoint, 0.05f, 2.0f},
      {TOOL_GRAY, &pars->grayPoint, 0.05f, 0.95f},   {TOOL_BRIGHTNESS, &pars->brightness, 0.05f, 0.95f},
      {TOOL_CONTRAST, &pars->contrast, 0.2f, 0.8f},  {TOOL_SHADOW, &pars->shadow, 0.0f, 1.0f},
      {TOOL_HIGHLIGHT, &pars->highlight, 0.0f, 1.0f},
  };
  auto cost = [&]() {
    double e = 0.0;
    for (int k = 0; k < count; ++k) {
      const float in[3] = {(float)pairs[k].s, (float)pairs[k].s, (float)pairs[k].s};
      float out[3];
      ApplyTavelinPars(pars, kToneMask, in, out);
      const double d = out[0] - pairs[k].u;
      e += pairs[k].w * d * d;
    }
    return e;
  };
  // Levels guess: the grays that reach 0 and 1.
  if (free & TOOL_BLACK) {
    double b = 0.0;
    for (int k = 0; k < count; ++k)
      if (pairs[k].u <= 0.002) b = std::max(b, pairs[k].s);
    pars->blackPoint = (float)b;
  }
  if (free & TOOL_WHITE) {
    // The straight line through the two grays nearest 0.25 and 0.75 of the output.
    const TonePair* lo = &pairs[0];
    const TonePair* hi = &pairs[count - 1];
    for (int k = 0; k < count; ++k) {
      if (std::fabs(pairs[k].u - 0.25) < std::fabs(lo->u - 0.25)) lo = &pairs[k];
      if (std::fabs(pairs[k].u - 0.75) < std::fabs(hi->u - 0.75)) hi = &pairs[k];
    }
    if (hi->u > lo->u + 0.1) {
      const double slope = (hi->s - lo->s) / (hi->u - lo->u);
      pars->whitePoint = (float)std::clamp(hi->s + slope * (1.0 - hi->u), 0.05, 2.0);
    }
  }
  double best = cost();
  float step = 0.05f;
  for (int round = 0; round < 40 && step > 0.002f; ++round) {
    bool moved = false;
    for (Param& p : params) {
      if (!(free & p.bit)) continue;
      for (float dir : {1.0f, -1.0f}) {
        const float old = *p.field;
        *p.field = std::clamp(old + dir * step, p.lo, p.hi);
        const double e = cost();
        if (e < best) {
          best = e;
          moved = true;
          break;
        }
        *p.field = old;
      }
    }
    if (!moved) step *= 0.5f;
  }
}

}  // namespace

Status AnalyseAdaptive(TavelinPars* pars, const RasterView* image, ToolMask readMask, int analysisIndex,
                       int gridIndex, bool withCast, bool allWitnesses, AdaptiveModel* model) {
  if (!pars || !model || CheckRgbRaster(image) != kOk || gridIndex < 0 || gridIndex > 7) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  Samples s;
  if (Status st = ReadSamples(pars, image, readMask, analysisIndex, gridIndex, &s); st != kOk) return st;
  double lin[256];
  for (int i = 0; i < 256; ++i) lin[i] = std::pow(i / 255.0, (double)pars->refRGB.gamma);
  // Luminance weights: the Y row of the working space's matrix (element 3i + 1).
  double lumaW[3] = {pars->rgbToXyz[1], pars->rgbToXyz[4], pars->rgbToXyz[7]};
  const double sum = lumaW[0] + lumaW[1] + lumaW[2];
  for (double& w : lumaW) w = sum > 0.0 ? w / sum : 1.0 / 3.0;
  *model = AdaptiveModel{};
  EstimateHaze(s, lin, model);
  if (withCast) EstimateCast(s, lin, lumaW, allWitnesses, model);
  EstimateTone(s, lin, lumaW, model);
  // Gains within a hair of 1 are none, so that the balance drops out.
  for (double& g : model->gain)
    if (std::fabs(g - 1.0) < 1e-3) g = 1.0;
  if (std::fabs(model->offset) < 1e-4) model->offset = 0.0;
  if (std::fabs(model->scale - 1.0) < 1e-3) model->scale = 1.0;
  return kOk;
}

Status ApplyAdaptiveModel(TavelinPars* pars, const AdaptiveModel& model, ToolMask mask) {
  if (!pars) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  TavelinPars work = *pars;
  const ModelMap map{model, (double)work.refRGB.gamma};
  if (mask & TOOL_BALANCE) {
    ResetTavelinPars(&work, TOOL_BALANCE);
    if (model.gain[0] != 1.0 || model.gain[1] != 1.0 || model.gain[2] != 1.0) {
      // One sample per lightness bin: the picture's colour of the gray whose
      // luma falls in the bin's middle.
      for (int bin = 0; bin < kSampleBins; ++bin) {
        const double want = (bin + 0.5) / kSampleBins;
        double lo = 0.0, hi = 1.0;
        if (map.LumaBefore(hi) < want && map.Inside(hi)) continue;
        for (int it = 0; it < 40; ++it) {
          const double mid = 0.5 * (lo + hi);
          (map.LumaBefore(mid) < want ? lo : hi) = mid;
        }
        const double u = 0.5 * (lo + hi);
        if (!map.Inside(u) || std::fabs(map.LumaBefore(u) - want) > 1e-3) continue;
        const float sample[3] = {(float)map.Before(u, 0), (float)map.Before(u, 1), (float)map.Before(u, 2)};
        if (Status st = AddBalanceSample(&work, sample); st != kOk) return st;
      }
    }
  }
  const ToolMask tone = mask & kToneMask;
  if (tone) {
    ResetTavelinPars(&work, tone);
    if (!model.Identity()) {
      // Grays s (after the balance) and the lightness u the model gives them.
      TonePair pairs[kTonePoints + 2];
      int count = 0;
      const bool balanced = (mask & TOOL_BALANCE) != 0;
      auto sOf = [&](double u) {
        if (balanced) return map.LumaBefore(u);
        return map.Before(u, 1);  // no balance to set: the model's gains are 1
      };
      double top = 0.0;
      for (int k = 0; k <= kTonePoints; ++k) {
        const double u = (double)k / kTonePoints;
        if (!map.Inside(u)) break;
        pairs[count++] = TonePair{sOf(u), u, 1.0};
        top = u;
      }
      // Above the last gray inside the picture, white stays where the model puts it.
      if (count < kTonePoints + 1 && count > 0) pairs[count++] = TonePair{1.0, top, 1.0};
      if (pairs[0].s > 0.02) pairs[count++] = TonePair{pairs[0].s * 0.5, 0.0, 0.5};
      if (count >= 3) FitTone(&work, tone, pairs, count);
    }
  }
  if (Status st = ValidateTavelinPars(&work); st != kOk) return st;
  *pars = work;
  return kOk;
}

namespace {

// Linear detection: Classic's median rule, and then the top of the raw
// luma must reach well up the scale, as linear data of a normal exposure
// do; a dark picture in a gamma space has a low median too, but its
// highlights end low.
Status AdaptiveLinear(TavelinPars* pars, const RasterView* image, const BrivioSettings& s) {
  if (Status st = AutoLinear(pars, image, s.analysisIndex, kBrivioLinearLimit, s.gridIndex); st != kOk) return st;
  if (!pars->linear) return kOk;
  Samples raw;
  TavelinPars none = *pars;
  none.linear = 0;
  if (Status st = ReadSamples(&none, image, 0, s.analysisIndex, s.gridIndex, &raw); st != kOk) return st;
  const size_t n = (size_t)raw.columns * raw.rows;
  std::array<uint32_t, 1024> luma = {};
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* q = &raw.rgb[3 * i];
    ++luma[Bin1024(Luma8(q[0], q[1], q[2]) / 255.0)];
  }
  if (Percentile(luma, n, 0.995) < kLinearTopLuma) pars->linear = 0;
  return kOk;
}

}  // namespace

Status RunAdaptiveSteps(BrivioContext* ctx, ToolMask m, const RasterView* image) {
  TavelinPars* pars = ctx->pars;
  const BrivioSettings& s = ctx->settings;
  if ((m & TOOL_LINEAR) && image->bytesPerSample == 2) {
    if (Status st = AdaptiveLinear(pars, image, s); st != kOk) return st;
  }
  if (m & (TOOL_BALANCE | kToneMask)) {
    TavelinPars work = *pars;
    const bool withCast = (m & TOOL_BALANCE) != 0;
    AdaptiveModel model;
    if (Status st = AnalyseAdaptive(&work, image, withCast ? TOOL_LINEAR : TOOL_LINEAR_BALANCE, s.analysisIndex,
                                    s.gridIndex, withCast, false, &model);
        st != kOk)
      return st;
    if (Status st = ApplyAdaptiveModel(&work, model, m & (TOOL_BALANCE | kToneMask)); st != kOk) return st;
    *pars = work;
    if (withCast) {
      if (Status st = CastWedge(pars, ctx->castWedge); st != kOk) return st;
    }
  }
  if (m & TOOL_SATURATION) pars->saturation = kParSlider.reset;
  if (m & TOOL_HUE_ALL) return BrivioHueStep(ctx, image);
  return kOk;
}
