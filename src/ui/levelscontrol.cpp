#include "ui/levelscontrol.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "correct/tonetools.h"
#include "ui/controlcolours.h"

namespace {

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

double MidLevel(const TavelinPars& p) { return p.blackPoint + p.grayPoint * (p.whitePoint - p.blackPoint); }

bool SetPoint(float* field, double value) {
  const float v = (float)value;
  if (*field == v) return false;
  *field = v;
  return true;
}

}  // namespace

Status LevelsClick(TavelinPars* pars, double v, int* which, bool* changed) {
  if (!pars || !which || !changed || !std::isfinite(v)) return kBadArg;
  *which = -1;
  *changed = false;
  v = Clamp01(v);
  const double b = pars->blackPoint, w = pars->whitePoint, m = MidLevel(*pars);
  if (v > (m + w) / 2.0) {
    *which = kLevelsWhite;
    *changed = SetPoint(&pars->whitePoint, v);
  } else if (v > (b + m) / 2.0) {
    if (w == b) return kOk;  // no span to place the gray point in
    *which = kLevelsGray;
    *changed = SetPoint(&pars->grayPoint, std::clamp((v - b) / (w - b), 0.0, 1.0));
  } else {
    *which = kLevelsBlack;
    *changed = SetPoint(&pars->blackPoint, v);
  }
  return kOk;
}

void LevelsHandlePositions(const TavelinPars& pars, double pos[3]) {
  pos[kLevelsBlack] = Clamp01(pars.blackPoint);
  pos[kLevelsWhite] = Clamp01(pars.whitePoint);
  pos[kLevelsGray] = Clamp01(MidLevel(pars));
}

int LevelsHandleHit(const TavelinPars& pars, double x, double tolerance) {
  double pos[3];
  LevelsHandlePositions(pars, pos);
  int best = -1;
  double bestDistance = tolerance;
  for (int h = 0; h < 3; ++h) {
    const double d = std::fabs(x - pos[h]);
    if (d > bestDistance) continue;
    if (best >= 0 && d == bestDistance) {
      // Handles at one place: the one that can move toward x.
      if (x < pos[kLevelsBlack]) continue;       // keep black
      if (x > pos[kLevelsWhite]) { best = h; continue; }  // white comes last
      if (h == kLevelsGray) best = h;
      continue;
    }
    best = h;
    bestDistance = d;
  }
  return best;
}

Status LevelsDragHandle(TavelinPars* pars, int handle, double x, bool* changed) {
  if (!pars || !changed || !std::isfinite(x) || handle < 0 || handle > 2) return kBadArg;
  *changed = false;
  x = Clamp01(x);
  const double b = pars->blackPoint, w = pars->whitePoint;
  switch (handle) {
    case kLevelsBlack:
      *changed = SetPoint(&pars->blackPoint, std::clamp(x, 0.0, std::max(0.0, w - kLevelsMinGap)));
      break;
    case kLevelsWhite:
      *changed = SetPoint(&pars->whitePoint, std::clamp(x, std::clamp(b + kLevelsMinGap, 0.0, 1.0), 1.0));
      break;
    case kLevelsGray:
      if (w - b <= 0.0) return kOk;
      *changed = SetPoint(&pars->grayPoint, std::clamp((x - b) / (w - b), 0.01, 0.99));
      break;
  }
  return kOk;
}

double LevelsFraction(const QRect& rect, int x) {
  const int span = rect.width() - 2 * kLevelsInsetPx - 1;
  if (span <= 0) return 0.0;
  return Clamp01((double)(x - rect.left() - kLevelsInsetPx) / span);
}

double LevelsPixel(const QRect& rect, double fraction) {
  return rect.left() + kLevelsInsetPx + fraction * std::max(0, rect.width() - 2 * kLevelsInsetPx - 1);
}

namespace {

// The column value at fraction f of the width (201 columns, linear between).
double ColumnAt(const double columns[201], double f) {
  const double c = std::clamp(f, 0.0, 1.0) * 200.0;
  const int k0 = (int)c;
  const int k1 = std::min(k0 + 1, 200);
  return columns[k0] + (columns[k1] - columns[k0]) * (c - k0);
}

// The scale: the tallest inner column, unless the ends are lower.
double ScaleTop(const double columns[201]) {
  double inner = 0.0;
  for (int k = 1; k < 200; ++k) inner = std::max(inner, columns[k]);
  const double ends = std::max(columns[0], columns[200]);
  double top = inner > 0.0 ? inner : ends;
  if (ends > top && ends < inner * 4.0) top = ends;
  return top;
}

}  // namespace

void DrawLevelsHistogram(QPainter& painter, const QRect& rect, const uint32_t histogram[256],
                         const uint32_t (*channels)[256], bool haveHistogram, const ControlColours& colours,
                         double dpr) {
  painter.fillRect(rect, colours.ground);
  painter.setPen(colours.frame);
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  if (!haveHistogram || rect.width() < 3 || rect.height() < 3) return;
  double columns[201];
  HistogramColumns(histogram, columns);
  const double top = ScaleTop(columns);
  if (top <= 0.0) return;
  // Device pixels from here on: one bar per device column.
  const QRect area = rect.adjusted(kLevelsInsetPx, 1, -kLevelsInsetPx, -1);
  const int left = (int)std::lround(area.left() * dpr), width = (int)std::lround(area.width() * dpr);
  const int bottom = (int)std::lround((area.bottom() + 1) * dpr);
  const double h = area.height() * dpr;
  painter.save();
  painter.scale(1.0 / dpr, 1.0 / dpr);
  painter.setPen(Qt::NoPen);
  painter.setBrush(channels ? MixColours(colours.ground, colours.ink, 0.3) : colours.bars);
  for (int px = 0; px < width; ++px) {
    const double f = width > 1 ? (double)px / (width - 1) : 0.0;
    const int bar = (int)std::lround(std::min(ColumnAt(columns, f) / top, 1.0) * h);
    if (bar > 0) painter.drawRect(left + px, bottom - bar, 1, bar);
  }
  if (channels) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    for (int c = 0; c < 3; ++c) {
      double values[201];
      HistogramColumns(channels[c], values);
      const double scale = ScaleTop(values);
      if (scale <= 0.0) continue;
      QPainterPath path;
      for (int px = 0; px < width; ++px) {
        const double f = width > 1 ? (double)px / (width - 1) : 0.0;
        const QPointF pt(left + px + 0.5, bottom - std::min(ColumnAt(values, f) / scale, 1.0) * h);
        if (px == 0) path.moveTo(pt);
        else path.lineTo(pt);
      }
      painter.setPen(QPen(colours.channel[c], 1.25 * dpr));
      painter.drawPath(path);
    }
  }
  painter.restore();
}

void DrawLevelsHandles(QPainter& painter, const QRect& rect, const TavelinPars& pars, int activeHandle,
                       const ControlColours& colours) {
  double pos[3];
  LevelsHandlePositions(pars, pos);
  painter.setRenderHint(QPainter::Antialiasing, true);
  const int half = std::max(4, std::min(7, rect.height() / 2));
  const QColor fills[3] = {QColor(0, 0, 0), QColor(128, 128, 128), QColor(255, 255, 255)};
  // White first, black last, so that black stays on top where they meet.
  for (int h : {kLevelsWhite, kLevelsGray, kLevelsBlack}) {
    const double x = LevelsPixel(rect, pos[h]) + 0.5;
    QPainterPath tri;
    tri.moveTo(x, rect.top());
    tri.lineTo(x + half, rect.top() + half * 1.6);
    tri.lineTo(x - half, rect.top() + half * 1.6);
    tri.closeSubpath();
    painter.setBrush(fills[h]);
    // Outlined in the window's ink, so that each fill shows on any ground.
    painter.setPen(QPen(h == activeHandle ? colours.accent : MixColours(colours.window, colours.windowInk, 0.75),
                        h == activeHandle ? 2.0 : 1.0));
    painter.drawPath(tri);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
}
