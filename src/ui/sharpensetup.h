// The "Sharpen / Remove Noise" set-up window (template 1030), opened by the
// editing window's "Setup..." button for the open image.
//
// Left: a region of the full-resolution image at 1:1 or a chosen zoom (the
// plus and minus buttons: 1, 2, 3 or 4 screen pixels per image pixel), read
// from the file through the input transform with a margin of twice the
// larger chrominance radius (at least 2) on every side, then corrected and
// filtered by the save stage's engines (noise filter, correction transform,
// unsharp mask) and converted to the monitor. Right: the whole image with a
// marquee around that region; dragging on it pans, and while the button is
// held the left view shows the region unfiltered (from the display image).
// Controls: "Strength:" (1..24, shown when sharpening is on), and for the
// "Blue Chrominance" and "Red Chrominance" channels "Radius:" (3..16) and
// "Threshold:" (1..50) (shown when noise removal is on); "Restore
// Defaults" (strength 6, radii 8 and 4, thresholds 16); OK, Cancel, '?'.
//
// The window edits a copy of the record's filter settings; OK hands them
// back. Failures while making the preview are reported with "getting
// preview" or "transforming preview" and leave the view empty.
#pragma once

#include "correct/tavelinpars.h"
#include "base/status.h"

class QWidget;
struct EditContext;

constexpr int kSharpenSetupDialog = 1030;

// `settings` holds the filter fields to start from and receives the chosen
// ones on OK (other fields untouched). kCancelled on Cancel; kBadArg without
// an open image.
Status ShowSharpenNoiseSetup(QWidget* owner, EditContext* ctx, TavelinPars* settings);
