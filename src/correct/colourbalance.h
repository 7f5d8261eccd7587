// Colour balance: marking neutral colours (region growing into balBin), the
// per-channel balance curves fitted from the samples, the preferred neutral
// (neutralPref) and its LCh model, the Sliders method, the inverse balance
// and the Color Cast step wedge.
//
// The balance curves are a cache of the record: whoever changes balBin,
// neutralPref or refRGB sets balanceValid to 0, and BuildBalanceCurves refits
// them lazily. Operations that read a record validate it first and return
// kBadArg for a record out of range, changing nothing.
#pragma once

#include <cstdint>

#include "base/pixelview.h"
#include "correct/regionfill.h"
#include "correct/tavelinpars.h"
#include "base/status.h"


// Makes balanceCurve agree with the samples when balanceValid is 0, and sets
// balanceValid to 1. kNoMem when the working-space matrix cannot be formed.
Status BuildBalanceCurves(TavelinPars* pars);
// Each channel through its balance curve (after BuildBalanceCurves).
Status ApplyBalance(TavelinPars* pars, const float in[3], float out[3]);
// The colour that the balance curves map onto `in` (per channel, the first
// bracketing interval of the curve, linear inside it; end positions beyond).
Status InvertBalance(TavelinPars* pars, const float in[3], float out[3]);

// The Sliders method: sliders (cyan-red, magenta-green, yellow-blue), values
// 0..1 with 0.5 neutral. Resets TOOL_BALANCE and adds the single synthetic
// sample (1 - v) per channel (through linearCurve when linear is set).
Status SetBalanceSliders(TavelinPars* pars, const float sliders[3]);

// A colour of the LCh model: lightness L* 0..100, chroma, hue in degrees.
struct LchSample {
  double L;
  double C;
  double h;
};
// Fits (chroma, hue, hueSlope) to samples: chroma the integer k 0..100
// minimising sum (k 0.04 L (1 - 0.01 L) - C)^2; hue and slope from the samples
// with chroma >= 5 (none: 0, 0; one: its hue, 0; more: grid search over slope
// -1..1 in tenths and hue 0..359). kBadArg for null arguments or n < 0.
Status FitLchModel(const LchSample* samples, int n, NeutralPref* model);

// Converts a neutral colour (working-space RGB, 0..1) into neutralPref, marks
// the balance curves stale and rebuilds them. (0.5, 0.5, 0.5) gives (0, 0, 0).
Status SetNeutralPref(TavelinPars* pars, const float rgb[3]);

// The working space's XYZ -> RGB matrix relative to its own white (the
// inverse of the unadapted RGB -> XYZ matrix), record layout. kNoMem when it
// cannot be formed.
Status NativeXyzToRgb(const RefRGB* refRGB, double matrix[9]);
// The preferred neutral at CIE lightness L (0..100): LCh from the model,
// Lab, XYZ (D50), Bradford to the space's white, linear RGB by `matrix`
// (from NativeXyzToRgb), clamped, encoded with 1/gamma.
Status NeutralTarget(double L, const NeutralPref* pref, const RefRGB* refRGB, const double matrix[9],
                     double rgb[3]);

// One step of the Color Cast wedge: the gray g (0.1 .. 0.9) and the
// uncorrected colour the balance turns into it, with its label: the nearest
// of the letters R Y G C B M by hue and the chroma n = trunc(100 C + 0.5)
// ("" and 0 when n is 0).
struct CastSwatch {
  float gray[3];
  float cast[3];
  char letter[2];
  int32_t number;
};
constexpr int kCastWedgeSteps = 9;
// Computes the wedge with neutralPref set to (0, 0, 0) for the moment; the
// record's neutralPref and curves are restored on return.
Status CastWedge(TavelinPars* pars, CastSwatch wedge[kCastWedgeSteps]);
