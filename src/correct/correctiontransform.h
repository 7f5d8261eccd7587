// The correction transform: ApplyTavelinPars runs the selected tools of a
// record on one colour in the one fixed order that defines the result
//   linear, balance, levels (black/gray/white), brightness, contrast,
//   shadow, highlight, saturation, hue step + toning;
// MakeCorrectionTransform samples that function into a Tintmesh.
//
// Colours are channels 0..1 (clamped on entry). ApplyTavelinPars brings the
// record's curve caches up to date as a side effect, so it takes a non-const
// record; it does not validate (ApplyValidatedTavelinPars does).
#pragma once

#include "correct/tavelinpars.h"
#include "shell/status.h"

// Runs the tools named by `mask` on one colour. A mask of exactly 0x0001
// stops after the linear step, exactly 0x0002 or 0x0003 after the balance.
// Fails with the status of a curve build.
Status ApplyTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]);
// The same after ValidateTavelinPars; null colours give kBadArg. For pixel readouts.
Status ApplyValidatedTavelinPars(TavelinPars* pars, ToolMask mask, const float rgbIn[3], float rgbOut[3]);
