#include "ui/huering.h"

#include <QConicalGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "ui/controlcolours.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

double Wrap360(double h) {
  h = std::fmod(h, 360.0);
  if (h < 0.0) h += 360.0;
  return h >= 360.0 ? 0.0 : h;
}

// A fully saturated colour of the hue at mid lightness (model 1).
void HueColour(double hue, float rgb[3]) {
  const float hsl[3] = {(float)(Wrap360(hue) / 360.0), 1.0f, 0.5f};
  HslToRgb(hsl, kModelChroma, rgb);
}

}  // namespace

HueRingLayout HueRingLayoutFor(const QRect& rect) {
  HueRingLayout l;
  l.cx = rect.left() + rect.width() / 2.0;
  l.cy = rect.top() + rect.height() / 2.0;
  const double r = std::max(10.0, std::min(rect.width(), rect.height()) / 2.0 - 2.0);
  l.knobR = std::clamp(r * 0.075, 4.0, 8.0);
  l.outerR = r - l.knobR * 0.2;
  const double band = std::max(6.0, r * 0.2);
  l.beforeR = l.outerR - band / 2.0;
  l.afterR = l.outerR - band * 1.5 - 2.0;
  l.innerR = l.outerR - band * 2.0 - 2.0;
  return l;
}

void HueRingPoint(const HueRingLayout& layout, double hue, double r, double* x, double* y) {
  const double a = hue * kPi / 180.0;
  *x = layout.cx + r * std::cos(a);
  *y = layout.cy - r * std::sin(a);
}

double HueRingHueAt(const HueRingLayout& layout, double x, double y) {
  const double a = std::atan2(layout.cy - y, x - layout.cx) * 180.0 / kPi;
  return Wrap360(a);
}

bool HueRingHit(const HueRingLayout& layout, const TavelinPars& pars, int activeIndex, double x, double y,
                int* index, int* knob) {
  const double reach = layout.knobR + 3.0;
  double best = reach * reach;
  bool found = false;
  for (int pass = 0; pass < 2 && !found; ++pass) {
    for (int i = 0; i < kHueEntries; ++i) {
      if ((pass == 0) != (i == activeIndex)) continue;  // the active entry first
      const HueEntry& e = pars.hue[i];
      const double hues[2] = {e.baseHue, e.baseHue + e.hueShift};
      const double radii[2] = {layout.beforeR, layout.afterR};
      for (int k = 0; k < 2; ++k) {
        double px, py;
        HueRingPoint(layout, hues[k], radii[k], &px, &py);
        const double d = (px - x) * (px - x) + (py - y) * (py - y);
        if (d <= best) {
          best = d;
          *index = i;
          *knob = k;
          found = true;
        }
      }
    }
  }
  return found;
}

double LimitBeforeHue(const TavelinPars& pars, int index, double hue) {
  if (index < 0 || index >= kHueEntries) return Wrap360(hue);
  const double prev = pars.hue[(index + kHueEntries - 1) % kHueEntries].baseHue;
  const double next = pars.hue[(index + 1) % kHueEntries].baseHue;
  const double lo = prev + kHandleMinGap;
  double hi = next - kHandleMinGap;
  while (hi <= lo) hi += 360.0;
  if (hi - lo >= 360.0) return Wrap360(hue);
  // The hue unwrapped to lie at or above lo.
  double h = Wrap360(hue);
  while (h < lo) h += 360.0;
  while (h >= lo + 360.0) h -= 360.0;
  if (h <= hi) return Wrap360(h);
  // Outside the span: the nearer end, circularly.
  const double pastHi = h - hi, beforeLo = lo + 360.0 - h;
  return Wrap360(pastHi <= beforeLo ? hi : lo);
}

Status DragHueKnob(TavelinPars* pars, int index, int knob, double hue, int* handleId) {
  if (!pars || !handleId || index < 0 || index >= kHueEntries || (knob != kHueKnobBefore && knob != kHueKnobAfter) ||
      !std::isfinite(hue))
    return kBadArg;
  HueEntry& e = pars->hue[index];
  const int id = e.handleId;
  if (knob == kHueKnobBefore) {
    e.baseHue = (float)LimitBeforeHue(*pars, index, hue);
  } else {
    e.hueShift = (float)Wrap360(hue - e.baseHue);
  }
  Status st = NormalizeHandles(pars, index);
  if (st != kOk) return st;
  *handleId = id;
  return kOk;
}

void DrawHueRing(QPainter& painter, const QRect& rect, const TavelinPars& pars, int activeIndex,
                 const ScreenColourFn& toScreen, const ControlColours& colours) {
  const QColor ink = colours.windowInk, soft = MixColours(colours.window, colours.windowInk, 0.6);
  const HueRingLayout l = HueRingLayoutFor(rect);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const double bandOuter = l.outerR, bandMid = (l.beforeR + l.afterR) / 2.0, bandInner = l.innerR;
  // The two bands as conical gradients (hue runs counter-clockwise from the
  // right, as Qt's conical gradients do): the hues as they are outside, what
  // the hue step makes of each inside.
  QConicalGradient before(QPointF(l.cx, l.cy), 0.0), after(QPointF(l.cx, l.cy), 0.0);
  constexpr int kStops = 72;
  for (int k = 0; k <= kStops; ++k) {
    const double hue = 360.0 * k / kStops;
    float rgb[3];
    HueColour(hue, rgb);
    before.setColorAt((double)k / kStops, toScreen(rgb));
    const float hsyIn[3] = {(float)hue, 1.0f, 0.5f};
    float hsyOut[3] = {hsyIn[0], hsyIn[1], hsyIn[2]};
    ApplyHueSelective(&pars, hsyIn, hsyOut);
    HueColour(hsyOut[0], rgb);
    after.setColorAt((double)k / kStops, toScreen(rgb));
  }
  const auto annulus = [&](double r0, double r1) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addEllipse(QPointF(l.cx, l.cy), r1, r1);
    path.addEllipse(QPointF(l.cx, l.cy), r0, r0);
    return path;
  };
  painter.fillPath(annulus(bandMid, bandOuter), before);
  painter.fillPath(annulus(bandInner, bandMid - 1.0), after);
  painter.setPen(QPen(soft, 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(QPointF(l.cx, l.cy), bandOuter, bandOuter);
  painter.drawEllipse(QPointF(l.cx, l.cy), bandInner, bandInner);
  // Spokes and knobs; the active handle last, on top.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < kHueEntries; ++i) {
      if ((pass == 1) != (i == activeIndex)) continue;
      const HueEntry& e = pars.hue[i];
      const bool active = i == activeIndex;
      double bx, by, ax, ay;
      HueRingPoint(l, e.baseHue, l.beforeR, &bx, &by);
      HueRingPoint(l, e.baseHue + e.hueShift, l.afterR, &ax, &ay);
      painter.setPen(QPen(active ? ink : soft, active ? 2.0 : 1.0));
      painter.drawLine(QPointF(bx, by), QPointF(ax, ay));
      float c[3];
      HueColour(e.baseHue, c);
      painter.setBrush(toScreen(c));
      // A knob's edge contrasts with both its hue and the window.
      painter.setPen(QPen(active ? colours.window : MixColours(colours.window, ink, 0.8), active ? 2.5 : 1.0));
      painter.drawEllipse(QPointF(bx, by), l.knobR, l.knobR);
      HueColour(e.baseHue + e.hueShift, c);
      painter.setBrush(toScreen(c));
      painter.drawRect(QRectF(ax - l.knobR * 0.8, ay - l.knobR * 0.8, l.knobR * 1.6, l.knobR * 1.6));
      if (active) {
        painter.setPen(QPen(ink, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(bx, by), l.knobR + 2.0, l.knobR + 2.0);
      }
    }
  }
  // Labels in the middle, on the window's ground.
  painter.setPen(ink);
  QFont f = painter.font();
  f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.85));
  painter.setFont(f);
  const QRectF mid(l.cx - l.innerR, l.cy - l.innerR, 2 * l.innerR, 2 * l.innerR);
  painter.drawText(mid, Qt::AlignCenter, QStringLiteral("Before: outer\nAfter: inner"));
  painter.setRenderHint(QPainter::Antialiasing, false);
}
