// The hue ring of the hue-selective panel (item 57): geometry, hit tests,
// the limits of a handle drag, and the drawing.
//
// Hue h (degrees, the hexcone hue of the tools: 0 red, 60 yellow, 120 green,
// 180 cyan, 240 blue, 300 magenta) sits at the angle h counter-clockwise
// from the ring's right-hand side. The outer band shows the hues as they are
// ("Before"), the inner band what the hue step turns each of them into
// ("After"). Each of the six handles has its Before knob on the outer band
// and its After knob (baseHue + hueShift) on the inner band, joined by a
// spoke; the active handle is drawn highlighted.
#pragma once

#include <QColor>
#include <QRect>
#include <functional>

#include "correct/tavelinpars.h"
#include "base/status.h"

class QPainter;

struct HueRingLayout {
  double cx = 0, cy = 0;
  double outerR = 0;   // outer edge of the Before band
  double beforeR = 0;  // radius of the Before knobs (middle of the outer band)
  double afterR = 0;   // radius of the After knobs (middle of the inner band)
  double innerR = 0;   // inner edge of the After band
  double knobR = 0;    // knob radius
};

// The layout for a user item of this size.
HueRingLayout HueRingLayoutFor(const QRect& rect);
// The point at hue `hue` on a circle of radius r.
void HueRingPoint(const HueRingLayout& layout, double hue, double r, double* x, double* y);
// The hue (0..360) of the direction from the centre to (x, y).
double HueRingHueAt(const HueRingLayout& layout, double x, double y);

enum HueKnob : int { kHueKnobBefore = 0, kHueKnobAfter = 1 };
// The knob under (x, y): its entry index and which knob; the active entry
// wins where knobs overlap. False when none is within reach.
bool HueRingHit(const HueRingLayout& layout, const TavelinPars& pars, int activeIndex, double x, double y,
                int* index, int* knob);

// The Before hue an entry may be dragged to: `hue` limited to the span from
// the previous entry's Before hue + 5 degrees to the next one's - 5 (both
// circularly; the nearer end when outside), brought into 0..360.
double LimitBeforeHue(const TavelinPars& pars, int index, double hue);
// A drag of a knob of entry `index` to `hue`: the Before knob sets baseHue
// (limited as above), the After knob sets hueShift = hue - baseHue (brought
// into 0..360); then NormalizeHandles keeps the handles in order. The
// entry's identity is returned in *handleId (its index may change).
Status DragHueKnob(TavelinPars* pars, int index, int knob, double hue, int* handleId);

// Working-space colours to the screen (through the monitor transform).
// Outlines, spokes and the labels in the middle take the palette's colours.
using ScreenColourFn = std::function<QColor(const float rgb[3])>;
struct ControlColours;
void DrawHueRing(QPainter& painter, const QRect& rect, const TavelinPars& pars, int activeIndex,
                 const ScreenColourFn& toScreen, const ControlColours& colours);
