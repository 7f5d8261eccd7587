// The black/white point panel's controls: the luma histogram (item 36) and
// the black, gray and white handles under it (item 37). This module owns
// their geometry, what a click in the image or a drag of a handle does to the
// record's three points, and their drawing.
//
// Handle positions are fractions 0..1 of the histogram's width: the black
// point b, the level m = b + g (w - b) that maps to middle gray, and the
// white point w (each shown clamped to 0..1; the record allows black -1..1
// and white 0..2). Dragging keeps b < m < w with at least kLevelsMinGap
// between black and white.
#pragma once

#include <QRect>
#include <cstdint>

#include "correct/tavelinpars.h"
#include "base/status.h"

class QPainter;

constexpr double kLevelsMinGap = 0.02;
constexpr int kLevelsHandleTolerancePx = 8;

enum LevelsHandle : int { kLevelsBlack = 0, kLevelsGray = 1, kLevelsWhite = 2 };

// A click in the image with brightness v (0..1) sets one point: the white
// point when v > (m + w) / 2, else the gray point (v - b) / (w - b) when
// v > (b + m) / 2, else the black point. *which names the point chosen (-1
// when none could be: a zero span); *changed is false when the point already
// had that value (nothing changes then).
Status LevelsClick(TavelinPars* pars, double v, int* which, bool* changed);
// The three handle positions, 0..1.
void LevelsHandlePositions(const TavelinPars& pars, double pos[3]);
// The handle nearest x (0..1) within `tolerance` (in the same unit), -1 for
// none. Between handles at one place the gray one is taken for a click
// between black and white, otherwise the one that can move toward x.
int LevelsHandleHit(const TavelinPars& pars, double x, double tolerance);
// Moves a handle to x (0..1): black to 0..w - gap, white to b + gap..1, gray
// so that m = x, kept inside b..w (gray point 0.01..0.99). *changed as above.
Status LevelsDragHandle(TavelinPars* pars, int handle, double x, bool* changed);

// Drawing. The histogram's bars are scaled to the tallest column (the
// extreme columns, often clipped piles, are left out of the scale when
// they tower over the rest). Histogram and handles share the horizontal
// mapping, inset by kLevelsInsetPx on both sides so that the end handles
// show whole: x = left + inset + pos * (width - 2 inset - 1).
// Bars are drawn one per device pixel column (`dpr` device pixels per
// unit of the rect), so they stay sharp at any scale. With `channels` the
// R, G and B histograms are drawn over the luminance bars as curves, each
// scaled like the bars. Colours come from the palette (controlcolours.h).
constexpr int kLevelsInsetPx = 8;
struct ControlColours;
void DrawLevelsHistogram(QPainter& painter, const QRect& rect, const uint32_t histogram[256],
                         const uint32_t (*channels)[256], bool haveHistogram, const ControlColours& colours, double dpr);
void DrawLevelsHandles(QPainter& painter, const QRect& rect, const TavelinPars& pars, int activeHandle,
                       const ControlColours& colours);
// The fraction 0..1 of a horizontal pixel position in a rect, and back.
double LevelsFraction(const QRect& rect, int x);
double LevelsPixel(const QRect& rect, double fraction);
