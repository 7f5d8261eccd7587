#include "ui/readouts.h"

#include <algorithm>
#include <cmath>

#include "correct/colourmodels.h"
#include "base/strings.h"

namespace {

int Round(double v) { return (int)std::floor(v + 0.5); }

double Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0) : 0.0; }  // NaN counts as 0

}  // namespace

Status ReadoutFromColour(const float rgb[3], int model, ReadoutValues* out) {
  if (!rgb || !out || model < 0 || model >= kReadoutModels) return kBadArg;
  const double r = Clamp01(rgb[0]), g = Clamp01(rgb[1]), b = Clamp01(rgb[2]);
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  ReadoutValues v;
  switch (model) {
    case kReadoutRGB:
      v.count = 3;
      v.labels[0] = "R:", v.labels[1] = "G:", v.labels[2] = "B:";
      v.values[0] = Round(r * 255.0), v.values[1] = Round(g * 255.0), v.values[2] = Round(b * 255.0);
      break;
    case kReadoutHSB: {
      const double c[3] = {r, g, b};
      double hsl[3];
      RgbToHslD(c, kModelChroma, hsl);  // the hexcone hue, as in HSV
      v.count = 3;
      v.labels[0] = "H:", v.labels[1] = "S:", v.labels[2] = "B:";
      v.values[0] = Round(hsl[0] * 360.0) % 360;
      v.values[1] = mx > 0.0 ? Round((mx - mn) / mx * 100.0) : 0;
      v.values[2] = Round(mx * 100.0);
      break;
    }
    case kReadoutCMYK: {
      const double k = 1.0 - mx;
      v.count = 4;
      v.labels[0] = "C:", v.labels[1] = "M:", v.labels[2] = "Y:", v.labels[3] = "K:";
      if (k >= 1.0) {
        v.values[0] = v.values[1] = v.values[2] = 0;
      } else {
        v.values[0] = Round((1.0 - r - k) / (1.0 - k) * 100.0);
        v.values[1] = Round((1.0 - g - k) / (1.0 - k) * 100.0);
        v.values[2] = Round((1.0 - b - k) / (1.0 - k) * 100.0);
      }
      v.values[3] = Round(k * 100.0);
      break;
    }
  }
  *out = v;
  return kOk;
}

std::string FormatReadout(const ReadoutValues& values) {
  std::string s;
  for (int i = 0; i < values.count; ++i) {
    if (i) s += ' ';
    s += Fmt("%s%3d", values.labels[i], values.values[i]);
  }
  return s;
}

