#include "correct/tonetools.h"

#include <cmath>
#include <cstdio>

#include "correct/colourmodels.h"

namespace {

double Clamp01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }
constexpr double kZeroSpan = 1e-12;

}  // namespace

Status ApplyLevels(const TavelinPars* pars, ToolMask mask, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  const double b = (mask & TOOL_BLACK) ? pars->blackPoint : kParBlackPoint.reset;
  const double g = (mask & TOOL_GRAY) ? pars->grayPoint : kParGrayPoint.reset;
  const double w = (mask & TOOL_WHITE) ? pars->whitePoint : kParWhitePoint.reset;
  const double m = b + g * (w - b);
  const double upper = w - m, lower = m - b;
  for (int c = 0; c < 3; ++c) {
    const double x = in[c];
    double y;
    if (x >= m)
      y = std::fabs(upper) > kZeroSpan ? 0.5 + 0.5 * (x - m) / upper : (x > m ? 1.0 : 0.5);
    else
      y = std::fabs(lower) > kZeroSpan ? 0.5 * (x - b) / lower : 0.0;
    out[c] = (float)Clamp01(y);
  }
  return kOk;
}

double Bias(double x, double a) {
  if (a < 1e-6) return x == 1.0 ? 1.0 : 0.0;
  if (a <= 0.999999) return x / ((1.0 / a - 2.0) * (1.0 - x) + 1.0);
  return x == 0.0 ? 0.0 : 1.0;
}

double Gain(double x, double a) {
  if (x < 0.5) return Bias(2.0 * x, 1.0 - a) / 2.0;
  return 1.0 - Bias(2.0 - 2.0 * x, 1.0 - a) / 2.0;
}

Status ApplyBrightness(const TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  const double a = pars->brightness;
  for (int c = 0; c < 3; ++c) out[c] = (float)Bias(in[c], a);
  return kOk;
}

Status ApplyContrast(const TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (pars->contrast == 0.5f) {
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  const double a = pars->contrast;
  for (int c = 0; c < 3; ++c) out[c] = (float)Gain(in[c], a);
  return kOk;
}

void BuildShadowCurve(float slider, float curve[kCurveSize]) {
  const double s = slider < 0.5f ? slider : 0.5 + 0.25 * (slider - 0.5) / 0.5;
  const double e = 2.0 * (1.0 - s);
  for (int i = 0; i < kCurveSize; ++i) {
    const double x = i / 255.0;
    const double p = 0.6667 * std::pow(1.5 * x, e);
    double v;
    if (x < 0.5)
      v = p;
    else if (x <= 0.6667)
      v = p + (x - p) * (x - 0.5) / 0.1667;
    else
      v = x;
    curve[i] = (float)v;
  }
}

void BuildHighlightCurve(float slider, float curve[kCurveSize]) {
  const double e = slider >= 0.5f ? 1.0 - slider : 1.0 - (0.5 + 0.25 * (slider - 0.5) / 0.5);
  const double k = 2.0 * (1.0 - e);
  for (int i = 0; i < kCurveSize; ++i) {
    const double x = 1.0 - i / 255.0;
    const double q = 0.6667 * std::pow(1.5 * x, k);
    double v;
    if (x < 0.5)
      v = 1.0 - q;
    else if (x <= 0.6667)
      v = 1.0 - (q + (x - q) * (x - 0.5) / 0.1667);
    else
      v = 1.0 - x;
    curve[i] = (float)v;
  }
}

Status ApplyShadow(TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (pars->shadow == 0.5f) {
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  if (pars->shadow != pars->shadowCache) {
    BuildShadowCurve(pars->shadow, pars->shadowCurve);
    pars->shadowCache = pars->shadow;
  }
  for (int c = 0; c < 3; ++c) out[c] = (float)CurveLookup(in[c], pars->shadowCurve, kCurveSize);
  return kOk;
}

Status ApplyHighlight(TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  if (pars->highlight == 0.5f) {
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  if (pars->highlight != pars->highlightCache) {
    BuildHighlightCurve(pars->highlight, pars->highlightCurve);
    pars->highlightCache = pars->highlight;
  }
  for (int c = 0; c < 3; ++c) out[c] = (float)CurveLookup(in[c], pars->highlightCurve, kCurveSize);
  return kOk;
}

Status ApplySaturation(const TavelinPars* pars, const float in[3], float out[3]) {
  if (!pars || !in || !out) return kBadArg;
  const double v = pars->saturation;
  if (pars->saturation == 0.5f) {
    for (int c = 0; c < 3; ++c) out[c] = in[c];
    return kOk;
  }
  const double rgb[3] = {in[0], in[1], in[2]};
  double hsl[3], res[3];
  if (v > 0.5) {
    RgbToHslD(rgb, kModelChroma, hsl);
    const double l = hsl[2];
    const double limit = 2.0 * std::fmin(l, 1.0 - l);
    double c = 2.0 * v * hsl[1];
    if (c > limit) c = limit;
    if (c < 0.0) c = 0.0;
    hsl[1] = c;
    HslToRgbD(hsl, kModelChroma, res);
  } else {
    RgbToHslD(rgb, kModelLuma, hsl);
    hsl[1] = 2.0 * v * hsl[1];
    HslToRgbD(hsl, kModelLuma, res);
  }
  for (int c = 0; c < 3; ++c) out[c] = (float)res[c];
  return kOk;
}

std::string SliderReadout(float value) {
  const double d = std::fmin(std::fabs(value - 0.5) * 2.0, 1.0);
  const int n = (int)(d * 100.0 + 0.5);
  if (n == 0) return "0";
  char text[16];
  std::snprintf(text, sizeof text, value < 0.5f ? "-%d" : "+%d", n);
  return text;
}

std::string BalanceSliderReadout(float value) {
  const double p = 200.0 * value;
  const int n = (int)(p >= 0.0 ? std::floor(p + 0.5) : -std::floor(-p + 0.5)) - 100;
  char text[16];
  std::snprintf(text, sizeof text, n >= 1 ? "+%d" : "%d", n);
  return text;
}

float SliderPositionToValue(int position) { return (float)Clamp01((position + 100) / 200.0); }

Status AnalysisSteps(int analysisIndex, int* stepX, int* stepY) {
  if (analysisIndex < 0 || analysisIndex > 7 || !stepX || !stepY) return kBadArg;
  *stepX = 4 - analysisIndex / 2;
  *stepY = 5 - (analysisIndex + 1) / 2;
  return kOk;
}

void HistogramColumns(const uint32_t histogram[256], double columns[201]) {
  for (int k = 0; k <= 200; ++k) {
    const double pos = k / 200.0 * 255.0;
    int i = (int)pos;
    if (i > 254) i = 254;
    const double f = pos - i;
    columns[k] = histogram[i] + (histogram[i + 1] - (double)histogram[i]) * f;
  }
}

