// The hue-selective tool: the hue step on one colour (six handles on a hue
// ring, each with a Before hue, a shift, a brightness and a saturation), the
// toning curves, marking colours for a handle, and keeping the handles in
// order (NormalizeHandles).
//
// Record fields used: hue[6], toneColor / toneCache / toneCurve. Handles are
// named by their identity (handleId 6..11), which follows the handle when the
// entries are re-sorted by baseHue; indices (0..5) change. The toning curves
// are a cache rebuilt when toneColor moves from toneCache by 1e-8 or more.
// Operations that take a whole record validate it first (kBadArg when out of
// range, nothing changed); the per-colour functions leave that to their
// caller (ApplyTavelinPars).
#pragma once

#include <cstdint>

#include "base/pixelview.h"
#include "correct/regionfill.h"
#include "correct/tavelinpars.h"
#include "base/status.h"

// Chroma limit below which marked colours count as neutral.
constexpr double kHueChromaLimit = 0.075;
// Least distance between neighbouring Before hues and After hues, degrees.
constexpr double kHandleMinGap = 5.0;

// The hue step on one colour in model 2 (hue in degrees 0..360, relative
// saturation, luma); exactly the identity when every entry is neutral
// (shift 0, brightness 0.5, saturation 0.5).
Status ApplyHueSelective(const TavelinPars* pars, const float hsyIn[3], float hsyOut[3]);

// Rebuilds the toning curves if toneColor moved from toneCache (the
// balance-curve fit on one synthetic sample: the complement of the toning
// colour made neutral); identity for (0.5, 0.5, 0.5).
Status BuildToneCurves(TavelinPars* pars);
// Each channel through its toning curve (after BuildToneCurves).
Status ApplyToning(TavelinPars* pars, const float in[3], float out[3]);

// The 'B/W' and 'Sepia' buttons: toneColor becomes the given definition
// (channels 0..1) and the saturation of all six entries 0. kBadArg for an
// invalid record or a colour outside 0..1.
Status ApplyToningPreset(TavelinPars* pars, const float rgb[3]);


// Mean hue in degrees (0..360) of sample bins, weighted by counts, over the
// bins whose mean colour has model-1 chroma >= limit; bins below the limit are
// emptied. kBadArg when no bin qualifies.
Status MeanHue(SampleBin* bins, double limit, double* hue);

// The index whose baseHue is circularly nearest `hue` (the first on ties).
Status NearestHandle(const TavelinPars* pars, double hue, int* index);

// After a handle change, with entry `activeIndex` the edited one: sorts the
// entries by baseHue (stable; the active handle follows its identity), keeps
// Before hues at least 5 degrees apart around the active one, turns the
// active shift until the After hues run once around the circle, and keeps
// After hues at least 5 degrees apart. kBadArg for an index outside 0..5.
Status NormalizeHandles(TavelinPars* pars, int activeIndex);
