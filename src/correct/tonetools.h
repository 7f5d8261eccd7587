// Tone tools: black/gray/white point, brightness, contrast, shadow and
// highlight curves, saturation; the slider readouts; the levels histogram.
//
// Each Apply* function is a pure function of one colour (channels 0..1) given
// the record, writes its output triple (which may be the input triple) and is
// exactly the identity at its neutral value (points 0, 0.5, 1; sliders 0.5).
// They do not validate the record: their caller (ApplyTavelinPars) does.
// ApplyShadow and ApplyHighlight rebuild their cached curve when the slider
// differs from its cache value, so they take a non-const record.
// Arithmetic is double, results are stored as floats.
#pragma once

#include <cstdint>
#include <string>

#include "base/pixelview.h"
#include "correct/tavelinpars.h"
#include "base/status.h"

// Black, gray and white point; each point is taken from the record only when
// its bit (TOOL_BLACK, TOOL_GRAY, TOOL_WHITE) is in `mask`, else its neutral value.
// Output clamped to 0..1; a zero span on either side of the knee maps that
// side to its end value.
Status ApplyLevels(const TavelinPars* pars, ToolMask mask, const float in[3], float out[3]);

// Schlick's bias and gain. Bias(0.5, a) = a, Bias(x, 0.5) = x; a at 0 or 1 is
// handled by the step branches, never by division by zero.
double Bias(double x, double a);
double Gain(double x, double a);

Status ApplyBrightness(const TavelinPars* pars, const float in[3], float out[3]);
Status ApplyContrast(const TavelinPars* pars, const float in[3], float out[3]);
Status ApplyShadow(TavelinPars* pars, const float in[3], float out[3]);
Status ApplyHighlight(TavelinPars* pars, const float in[3], float out[3]);
Status ApplySaturation(const TavelinPars* pars, const float in[3], float out[3]);

// The 256-entry shadow / highlight curve for a slider value (0..1).
void BuildShadowCurve(float slider, float curve[kCurveSize]);
void BuildHighlightCurve(float slider, float curve[kCurveSize]);

// Slider readouts. Tone sliders: distance from neutral 0..100, "0", "-n" or "+n".
std::string SliderReadout(float value);
// Colour-balance sliders: n = round(200 v) - 100, "+n" when n >= 1, else "n".
std::string BalanceSliderReadout(float value);
// Slider position p (-100..100) <-> value (p + 100) / 200 clamped to 0..1.
float SliderPositionToValue(int position);

// Image analysis sampling: every stepX-th pixel of every stepY-th row by the
// analysis index 0..7: (4,5) (4,4) (3,4) (3,3) (2,3) (2,2) (1,2) (1,1).
// kBadArg for an index outside 0..7.
Status AnalysisSteps(int analysisIndex, int* stepX, int* stepY);
// 8-bit luma of 8-bit channels: (299 R + 587 G + 114 B + 500) / 1000.
inline int Luma8(int r, int g, int b) { return (299 * r + 587 * g + 114 * b + 500) / 1000; }

// The 201 display columns of a histogram: column k is the histogram at
// position k/200 × 255, interpolated linearly between bins.
void HistogramColumns(const uint32_t histogram[256], double columns[201]);
