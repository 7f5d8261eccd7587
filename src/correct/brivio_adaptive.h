// The Adaptive analysis of Brivio: it models how the picture departs from a
// well-made photograph in linear light (the working space's gamma) and
// writes the record fields that undo it, the same fields the Classic steps
// write, so that the user sees and adjusts the result in the tool panels.
//
// The model: a colour cast (one gain per channel, von Kries style), a haze
// (a black offset) and an exposure (a scale), so that a pixel's linear value
// in becomes out = WithoutHaze(in) × gain × scale, clipped to 0..1, where
// WithoutHaze takes a black offset away in encoded values (a flat look) or,
// when the black is too high for a look, in linear light (fog). The cast
// comes from several illuminant estimates (shades of gray, gray edge, white
// patch with percentiles, bright pixels) taken together; where they disagree,
// as on a sunset or on foliage that fills the frame, or where the cast found
// is small, the correction shrinks toward none. Haze and exposure come from
// the black level, the peak (nearly the brightest pixel), the log-average
// key and the clipped share, again shrinking to none when the picture
// already spans the range: a picture that looks right is left (nearly) alone.
//
// The record: the cast goes into the colour balance as synthetic neutral
// samples (one per lightness bin: the colour an original gray shows in the
// picture), so the balance curves map those colours to grays of their luma;
// the tone tools (black and white point, brightness, contrast, shadow and
// highlight, as the set mask allows) are then fitted to carry those grays to
// the lightness the model gives them. Saturation stays neutral and the hue
// handles are placed as Classic places them.
//
// Analysis reads every stepX-th pixel of every stepY-th row by the analysis
// index (at most about 2^17 of them) through the transform of the tools
// ahead of the first one it sets. Deterministic; no state.
#pragma once

#include <cmath>
#include <cstdint>

#include "correct/brivio.h"
#include "correct/illuminant.h"
#include "base/pixelview.h"
#include "correct/tavelinpars.h"
#include "base/status.h"

// What the analysis measured and decided, for tests and the benchmark's notes.
struct AdaptiveModel {
  double gain[3] = {1.0, 1.0, 1.0};  // per channel, at least 1 (the cast's strongest channel stays)
  double offset = 0.0;               // black offset removed (haze), in the domain linear^(1 / hazeGamma)
  double hazeGamma = 1.0;
  double haze = 0.0;                 // 0..1: how sure the analysis is of a haze
  double scale = 1.0;                // linear exposure factor after the offset
  double castConfidence = 0.0;       // 0..1: the share of the estimated cast applied
  // Measurements (linear light, after the cast's gains where it says so).
  double cast[2] = {0.0, 0.0};  // estimated illuminant, ln(R/G) and ln(B/G)
  double applied[2] = {0.0, 0.0};  // the cast the gains take away, same units
  double spread = 0.0;          // disagreement of the witnesses, same units
  IlluminantWitnesses witnesses;
  double black = 0.0;           // 0.5 % level of the least channel, after gains
  double white = 1.0;           // 99.5 % level of the largest channel, after gains
  double peak = 1.0;            // 99.99 % level of the largest channel, after gains
  double key = 0.18;            // log-average luminance
  double clipped = 0.0;         // share of pixels with two or three channels at full scale
  // A linear value with the haze offset taken away, and back.
  double WithoutHaze(double v) const {
    if (offset == 0.0) return v;
    const double d = (std::pow(v, 1.0 / hazeGamma) - offset) / (1.0 - offset);
    return d > 0.0 ? std::pow(d, hazeGamma) : 0.0;
  }
  double WithHaze(double v) const {
    if (offset == 0.0) return v;
    return std::pow(std::pow(std::max(v, 0.0), 1.0 / hazeGamma) * (1.0 - offset) + offset, hazeGamma);
  }
  bool Identity() const {
    return gain[0] == 1.0 && gain[1] == 1.0 && gain[2] == 1.0 && offset == 0.0 && scale == 1.0;
  }
};

// Measures the picture read through the tools of `readMask` and decides the
// model; the cast only when `withCast` (else the gains stay 1). With
// `allWitnesses` the model holds every illuminant witness (for study; the
// decision is the same).
Status AnalyseAdaptive(TavelinPars* pars, const RasterView* image, ToolMask readMask, int analysisIndex,
                       int gridIndex, bool withCast, bool allWitnesses, AdaptiveModel* model);

// Writes the model into the record: the balance (when TOOL_BALANCE is in
// `mask`) and the tone fields of `mask` (black, gray, white point,
// brightness, contrast, shadow, highlight); the others stay.
Status ApplyAdaptiveModel(TavelinPars* pars, const AdaptiveModel& model, ToolMask mask);

// The Adaptive sequence for RunBrivio, m = mask AND set mask (the set mask's
// Global Brightness box also lets it set contrast, shadow and highlight).
Status RunAdaptiveSteps(BrivioContext* context, ToolMask m, const RasterView* image);
