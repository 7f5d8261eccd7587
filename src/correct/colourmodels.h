// The three hue/saturation colour models the tone and hue tools work in, and
// the curve lookup shared by every cached 256-entry curve.
//
// A colour (r, g, b), channels 0..1, becomes (H, S, L): H is the hexcone hue
// as a fraction of a turn, 0 <= H < 1 (0 when the chroma max - min is at most
// 1e-10). The models differ in S and L:
//   model 0 (kModelHsl):    HSL saturation, L = (max + min) / 2
//   model 1 (kModelChroma): S = chroma max - min, L = (max + min) / 2
//   model 2 (kModelLuma):   S = chroma relative to the largest chroma of the
//                           same hue and Rec.601 luma inside the RGB cube,
//                           L = luma Y = 0.299 r + 0.587 g + 0.114 b
// The inverse conversions are exact inverses inside the cube and clamp their
// results to 0..1. Arithmetic is double; the float forms store results as floats.
#pragma once

#include "base/status.h"

enum ColourModel : int { kModelHsl = 0, kModelChroma = 1, kModelLuma = 2 };

// kBadArg for a model other than 0, 1, 2 (or null triples).
Status RgbToHsl(const float rgb[3], int model, float hsl[3]);
Status HslToRgb(const float hsl[3], int model, float rgb[3]);
// Double forms used inside the tools (model must be 0..2).
void RgbToHslD(const double rgb[3], int model, double hsl[3]);
void HslToRgbD(const double hsl[3], int model, double rgb[3]);

// Rec.601 luma.
inline double Luma601(double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

// The value of an n-entry curve sampled at i/(n - 1) (n >= 2): x is clamped to
// 0..1 (NaN counts as 0), i = trunc(x (n - 1)), n - 2 when i is n - 1, and the
// entries i and i + 1 are interpolated linearly.
double CurveLookup(double x, const float* curve, int n);
