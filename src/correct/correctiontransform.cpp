#include "correct/correctiontransform.h"

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "correct/tonetools.h"

namespace {
float Clamp01f(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }
}  // namespace

Status ApplyTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]) {
  if (!pars || !rgbIn || !rgbOut) return kBadArg;
  float c[3] = {Clamp01f(rgbIn[0]), Clamp01f(rgbIn[1]), Clamp01f(rgbIn[2])};
  auto done = [&]() {
    rgbOut[0] = c[0];
    rgbOut[1] = c[1];
    rgbOut[2] = c[2];
    return kOk;
  };
  if ((mask & TOOL_LINEAR) && pars->linear == 1)
    for (int k = 0; k < 3; ++k) c[k] = (float)CurveLookup(c[k], pars->linearCurve, kCurveSize);
  if (mask == TOOL_LINEAR) return done();
  if (mask & TOOL_BALANCE)
    if (Status st = ApplyBalance(pars, c, c); st != kOk) return st;
  if (mask == TOOL_BALANCE || mask == TOOL_LINEAR_BALANCE) return done();
  if (mask & TOOL_POINTS) ApplyLevels(pars, mask, c, c);
  if (mask & TOOL_BRIGHTNESS) ApplyBrightness(pars, c, c);
  if (mask & TOOL_CONTRAST) ApplyContrast(pars, c, c);
  if (mask & TOOL_SHADOW) ApplyShadow(pars, c, c);
  if (mask & TOOL_HIGHLIGHT) ApplyHighlight(pars, c, c);
  if (mask & TOOL_SATURATION) ApplySaturation(pars, c, c);
  if (mask & TOOL_HUE_ALL) {
    bool neutral = true;
    for (const HueEntry& e : pars->hue)
      neutral = neutral && e.hueShift == 0.0f && e.brightness == 0.5f && e.saturation == 0.5f;
    if (!neutral) {  // the conversions are skipped when the hue step is the identity
      const double rgb[3] = {c[0], c[1], c[2]};
      double hsy[3];
      RgbToHslD(rgb, kModelLuma, hsy);
      float h[3] = {(float)(hsy[0] * 360.0), (float)hsy[1], (float)hsy[2]};
      ApplyHueSelective(pars, h, h);
      const double back[3] = {h[0] / 360.0, h[1], h[2]};
      double res[3];
      HslToRgbD(back, kModelLuma, res);
      for (int k = 0; k < 3; ++k) c[k] = (float)res[k];
    }
    if (Status st = ApplyToning(pars, c, c); st != kOk) return st;
  }
  return done();
}

Status ApplyValidatedTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]) {
  if (!pars || !rgbIn || !rgbOut) return kBadArg;
  if (Status st = ValidateTavelinPars(pars); st != kOk) return st;
  return ApplyTavelinPars(pars, mask, rgbIn, rgbOut);
}
