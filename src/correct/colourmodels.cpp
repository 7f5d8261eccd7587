#include "correct/colourmodels.h"

#include <cmath>

namespace {

constexpr double kTiny = 1e-10;

double Clamp01(double v) { return v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0; }

// Hexcone hue (fraction of a turn) of a colour; ties go as the sextant table says.
double HexHue(double r, double g, double b, double c) {
  if (c <= kTiny) return 0.0;
  const double k = 1.0 / (6.0 * c);
  double h;
  if (r >= g && g >= b)
    h = (g - b) * k;
  else if (g > r && r >= b)
    h = (b - r) * k + 1.0 / 3.0;
  else if (g >= b && b > r)
    h = (b - r) * k + 1.0 / 3.0;
  else if (b > g && g > r)
    h = (r - g) * k + 2.0 / 3.0;
  else if (b > r && r >= g)
    h = (r - g) * k + 2.0 / 3.0;
  else  // r >= b > g
    h = (g - b) * k + 1.0;
  if (h < 0.0) h += 1.0;
  if (h >= 1.0) h -= 1.0;
  return h;
}

// The fully saturated colour of hue h (max channel 1, min 0).
void PureHue(double h, double p[3]) {
  h = h - std::floor(h);
  const double h6 = h * 6.0;
  int s = (int)h6;
  if (s > 5) s = 5;
  if (s < 0) s = 0;
  const double f = h6 - s;
  switch (s) {
    case 0: p[0] = 1.0, p[1] = f, p[2] = 0.0; break;
    case 1: p[0] = 1.0 - f, p[1] = 1.0, p[2] = 0.0; break;
    case 2: p[0] = 0.0, p[1] = 1.0, p[2] = f; break;
    case 3: p[0] = 0.0, p[1] = 1.0 - f, p[2] = 1.0; break;
    case 4: p[0] = f, p[1] = 0.0, p[2] = 1.0; break;
    default: p[0] = 1.0, p[1] = 0.0, p[2] = 1.0 - f; break;
  }
}

// Largest chroma of hue h (pure colour p, luma yp) at luma y inside the cube.
double MaxChroma(double y, double yp) {
  if (y < yp) return y / yp;
  return (1.0 - y) / (1.0 - yp);
}

}  // namespace

void RgbToHslD(const double rgb[3], int model, double hsl[3]) {
  const double r = rgb[0], g = rgb[1], b = rgb[2];
  const double mx = std::fmax(r, std::fmax(g, b));
  const double mn = std::fmin(r, std::fmin(g, b));
  const double c = mx - mn;
  const double h = HexHue(r, g, b, c);
  double s, l;
  switch (model) {
    case kModelHsl:
      l = (mx + mn) / 2.0;
      if (c <= kTiny)
        s = 0.0;
      else
        s = (mx + mn < 1.0) ? c / (mx + mn) : c / (2.0 - mx - mn);
      break;
    case kModelChroma:
      l = (mx + mn) / 2.0;
      s = c;
      break;
    default: {
      l = Luma601(r, g, b);
      if (c <= kTiny) {
        s = 0.0;
        break;
      }
      double p[3];
      PureHue(h, p);
      const double cm = MaxChroma(l, Luma601(p[0], p[1], p[2]));
      s = cm > 0.0 ? c / cm : 0.0;
      break;
    }
  }
  hsl[0] = h;
  hsl[1] = s;
  hsl[2] = l;
}

void HslToRgbD(const double hsl[3], int model, double rgb[3]) {
  const double h = hsl[0], s = hsl[1], l = hsl[2];
  double p[3];
  PureHue(std::isfinite(h) ? h : 0.0, p);
  double c, mn;
  switch (model) {
    case kModelHsl:
      c = (l < 0.5) ? s * 2.0 * l : s * (2.0 - 2.0 * l);
      mn = l - c / 2.0;
      break;
    case kModelChroma:
      c = s;
      mn = l - c / 2.0;
      break;
    default: {
      const double yp = Luma601(p[0], p[1], p[2]);
      c = s * MaxChroma(l, yp);
      mn = l - c * yp;
      break;
    }
  }
  for (int k = 0; k < 3; ++k) rgb[k] = Clamp01(mn + c * p[k]);
}

Status RgbToHsl(const float rgb[3], int model, float hsl[3]) {
  if (!rgb || !hsl || model < 0 || model > 2) return kBadArg;
  const double in[3] = {rgb[0], rgb[1], rgb[2]};
  double out[3];
  RgbToHslD(in, model, out);
  for (int k = 0; k < 3; ++k) hsl[k] = (float)out[k];
  return kOk;
}

Status HslToRgb(const float hsl[3], int model, float rgb[3]) {
  if (!rgb || !hsl || model < 0 || model > 2) return kBadArg;
  const double in[3] = {hsl[0], hsl[1], hsl[2]};
  double out[3];
  HslToRgbD(in, model, out);
  for (int k = 0; k < 3; ++k) rgb[k] = (float)out[k];
  return kOk;
}

double CurveLookup(double x, const float* curve, int n) {
  x = Clamp01(x);
  const double pos = x * (n - 1);
  int i = (int)pos;
  if (i >= n - 1) i = n - 2;
  const double f = pos - i;
  return curve[i] + (curve[i + 1] - (double)curve[i]) * f;
}
