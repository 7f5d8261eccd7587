// The editing window's user items: the image view (clicks by tab, Alt-click
// zoom, Control-drag pan, Shift-click sample points), the histogram and its
// handles, the Color Cast wedge, the curve view, the hue ring, the toning
// swatch and the pixel readouts; and the cursor over the image.
#include <QBitmap>
#include <QCursor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "correct/correctiontransform.h"
#include "correct/marking.h"
#include "correct/tonetools.h"
#include "prefs/prefs.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "transform/tintmesh_eval.h"
#include "ui/controlcolours.h"
#include "ui/dlg.h"
#include "ui/dlgitems.h"
#include "ui/editwindow_internal.h"
#include "ui/huering.h"
#include "ui/levelscontrol.h"
#include "ui/uiapp.h"

namespace editwin {
namespace {

constexpr int kSampleReachPx = 7;   // screen pixels around a sample point that grab it
constexpr int kDividerReachPx = 6;  // screen pixels either side of the split's divider that grab it
const QColor kViewBackground(58, 58, 58);

QWidget* ItemWidget(QWidget* dlg, int item) {
  QWidget* c = nullptr;
  Ui_Dlg_GetItem(dlg, item, &c);
  return c;
}

// The mouse position of the dialog's record in an item's coordinates.
QPoint MouseIn(QWidget* dlg, int item) {
  Ui_Dlg_Info* info = nullptr;
  QWidget* c = ItemWidget(dlg, item);
  if (!c || Ui_Dlg_Info_Get(dlg, &info) != kOk) return QPoint(-1, -1);
  return c->mapFrom(dlg, QPoint(info->mouseH, info->mouseV));
}

Ui_Dlg_Info* InfoOf(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  return Ui_Dlg_Info_Get(dlg, &info) == kOk ? info : nullptr;
}

// ---- the image view -------------------------------------------------------------------

void DrawSampleMark(QPainter& p, int x, int y, int number) {
  p.setRenderHint(QPainter::Antialiasing, true);
  for (int pass = 0; pass < 2; ++pass) {
    p.setPen(QPen(pass == 0 ? QColor(0, 0, 0) : QColor(255, 255, 255), pass == 0 ? 3.0 : 1.0));
    p.drawEllipse(QPointF(x + 0.5, y + 0.5), 5.0, 5.0);
    p.drawLine(QPointF(x + 0.5, y - 9.5), QPointF(x + 0.5, y - 5.5));
    p.drawLine(QPointF(x + 0.5, y + 6.5), QPointF(x + 0.5, y + 10.5));
    p.drawLine(QPointF(x - 9.5, y + 0.5), QPointF(x - 5.5, y + 0.5));
    p.drawLine(QPointF(x + 6.5, y + 0.5), QPointF(x + 10.5, y + 0.5));
  }
  const QString label = QStringLiteral("#%1").arg(number);
  p.setPen(QColor(0, 0, 0));
  p.drawText(QPoint(x + 9, y - 6), label);
  p.setPen(QColor(255, 255, 255));
  p.drawText(QPoint(x + 8, y - 7), label);
  p.setRenderHint(QPainter::Antialiasing, false);
}

// Device pixels per logical pixel of the view.
double Dpr(const QWidget* view) { return view ? view->devicePixelRatioF() : 1.0; }

// A logical point of the view as a device point of the pane under it (side
// by side, the right pane's points are moved into its own coordinates).
// *pane is 0 (the only pane, or the left one) or 1.
QPoint PanePoint(Window* w, const QPoint& logical, int* pane = nullptr) {
  const double dpr = Dpr(ItemWidget(w->dlg, kView));
  QPoint d((int)std::lround(logical.x() * dpr), (int)std::lround(logical.y() * dpr));
  int which = 0;
  const Editor& e = *w->editor;
  if (e.Compare() == kCompareSideBySide) {
    const int32_t second = e.Geometry().viewWidth + kSideBySideGap;
    if (d.x() >= second) {
      d.rx() -= second;
      which = 1;
    }
  }
  if (pane) *pane = which;
  return d;
}

// Device pixels of the view per display pixel.
double DisplayScale(const ViewGeometry& g) { return g.Zoomed() ? g.Scale() * g.FileX(1.0) : g.Scale(); }

bool NearDivider(Window* w, const QPoint& device) {
  const Editor& e = *w->editor;
  if (e.Compare() != kCompareSplit || !w->ctx->imageOpen) return false;
  const double dpr = Dpr(ItemWidget(w->dlg, kView));
  return std::abs(device.x() - e.SplitPosition() * e.ViewWidth()) <= kDividerReachPx * dpr;
}

void Badge(QPainter& p, const QRect& area, Qt::Alignment where, const QString& text) {
  const QFontMetrics fm(p.font());
  QRect r(0, 0, fm.horizontalAdvance(text) + 16, fm.height() + 6);
  if (where & Qt::AlignRight) r.moveRight(area.right() - 6);
  else r.moveLeft(area.left() + 6);
  if (where & Qt::AlignBottom) r.moveBottom(area.bottom() - 6);
  else r.moveTop(area.top() + 6);
  p.fillRect(r, QColor(0, 0, 0, 150));
  p.setPen(QColor(255, 255, 255));
  p.drawText(r, Qt::AlignCenter, text);
}

// One picture into a pane, in device pixels: the map placed by the geometry,
// clipped to the pane's part `clip` of the view.
void DrawPicture(QPainter& p, const ViewGeometry& g, const ViewMap& m, int32_t left, const QRect& clip) {
  if (!m.pixels || m.width < 1) return;
  const QImage picture(m.pixels, m.width, m.height, m.rowBytes, QImage::Format_RGB888);
  double ox, oy;
  g.Origin(&ox, &oy);
  const double s = g.Scale();
  p.save();
  p.setClipRect(clip);
  // Pixels larger than the screen's stay sharp squares; a picture made
  // smaller (a fit side by side) is filtered.
  p.setRenderHint(QPainter::SmoothPixmapTransform, s < 1.0);
  p.drawImage(QRectF(left + ox + m.x0 * s, oy + m.y0 * s, m.width * s, m.height * s), picture);
  p.restore();
}

void DrawView(Window* w, QPainter& p, const QRect& rect) {
  p.fillRect(rect, kViewBackground);
  EditContext* ctx = w->ctx;
  Editor& e = *w->editor;
  QWidget* view = ItemWidget(w->dlg, kView);
  if (!ctx->imageOpen || !ctx->drawMap || ctx->image0.width < 1) {
    p.setPen(QColor(200, 200, 200));
    QFont f = p.font();
    f.setPointSizeF(f.pointSizeF() * 1.2);
    p.setFont(f);
    const QString text = BatchlineCount(ctx) == 0
                             ? QStringLiteral("Add images to the Batchline to begin:\n"
                                              "the Add... button, File > Add Images, or drop image files here.")
                             : QStringLiteral("Click an image in the Batchline to edit it.");
    p.drawText(rect, Qt::AlignCenter, text);
    return;
  }
  const double dpr = Dpr(view);
  const int32_t devW = (int32_t)std::lround(rect.width() * dpr), devH = (int32_t)std::lround(rect.height() * dpr);
  if (w->dpr > 0 && dpr != w->dpr) {
    // Another screen resolution (the window moved to another monitor): the
    // display images are made again for the view's device pixels. (A new
    // size waits for the resize procedure, once the size has settled.)
    w->dpr = dpr;
    QPointer<QWidget> dlg(w->dlg);
    QTimer::singleShot(0, w->dlg, [dlg] {
      if (Window* win = Of(dlg)) SizeImagesToView(win);
    });
  }
  const ViewGeometry& g = e.Geometry();
  const int compare = e.Compare();
  const int32_t paneW = g.viewWidth;
  const int32_t second = compare == kCompareSideBySide ? paneW + kSideBySideGap : 0;

  p.save();
  p.scale(1.0 / dpr, 1.0 / dpr);
  const QRect whole(0, 0, devW, devH);
  if (compare == kCompareOff) {
    DrawPicture(p, g, e.Picture(false), 0, whole);
  } else if (compare == kCompareSplit) {
    const int32_t divider = (int32_t)std::lround(e.SplitPosition() * e.ViewWidth());
    DrawPicture(p, g, e.Picture(false), 0, QRect(divider, 0, devW - divider, devH));
    DrawPicture(p, g, e.Picture(true), 0, QRect(0, 0, divider, devH));
  } else {
    DrawPicture(p, g, e.Picture(true), 0, QRect(0, 0, paneW, devH));
    DrawPicture(p, g, e.Picture(false), second, QRect(second, 0, paneW, devH));
  }
  p.restore();

  // Marks and labels in the view's own (logical) coordinates.
  const auto logical = [dpr](double v) { return v / dpr; };
  const QRect first(0, 0, (int)std::lround(logical(compare == kCompareSideBySide ? paneW : devW)), rect.height());
  const QRect right((int)std::lround(logical(second)), 0, (int)std::lround(logical(paneW)), rect.height());
  if (compare == kCompareOff) {
    if (!e.Preview()) Badge(p, rect, Qt::AlignTop | Qt::AlignLeft, QStringLiteral("Before"));
  } else if (compare == kCompareSplit) {
    const double x = logical(std::lround(e.SplitPosition() * e.ViewWidth()));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0, 0, 0, 160), 3.0));
    p.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom() + 1));
    p.setPen(QPen(QColor(255, 255, 255), 1.0));
    p.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom() + 1));
    const QPointF knob(x, rect.center().y());
    p.setBrush(QColor(255, 255, 255));
    p.setPen(QPen(QColor(0, 0, 0, 160), 1.0));
    p.drawEllipse(knob, 9.0, 9.0);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(knob + QPointF(-2.5, -4), knob + QPointF(-5.5, 0));
    p.drawLine(knob + QPointF(-5.5, 0), knob + QPointF(-2.5, 4));
    p.drawLine(knob + QPointF(2.5, -4), knob + QPointF(5.5, 0));
    p.drawLine(knob + QPointF(5.5, 0), knob + QPointF(2.5, 4));
    p.setBrush(Qt::NoBrush);
    p.setRenderHint(QPainter::Antialiasing, false);
    Badge(p, rect, Qt::AlignTop | Qt::AlignLeft, QStringLiteral("Before"));
    Badge(p, rect, Qt::AlignTop | Qt::AlignRight, QStringLiteral("After"));
  } else {
    p.fillRect(QRectF(logical(paneW), 0, logical(kSideBySideGap), rect.height()), QColor(30, 30, 30));
    Badge(p, first, Qt::AlignTop | Qt::AlignLeft, QStringLiteral("Before"));
    Badge(p, right, Qt::AlignTop | Qt::AlignLeft, QStringLiteral("After"));
  }
  if (g.Zoomed())
    Badge(p, rect, Qt::AlignBottom | Qt::AlignLeft, g.zoom == kZoom100 ? QStringLiteral("100 %") : QStringLiteral("200 %"));

  const int panes = compare == kCompareSideBySide ? 2 : 1;
  for (int pane = 0; pane < panes; ++pane) {
    const double left = pane == 0 ? 0.0 : (double)second;
    p.setClipRect(panes == 1 ? rect : pane == 0 ? first : right);  // a mark near an edge stays in its pane
    for (int i = 0; i < kSamplePoints; ++i) {
      const SamplePoint& sp = e.Sample(i);
      if (!sp.set) continue;
      int vx, vy;
      g.ImageToView(sp.x, sp.y, &vx, &vy);
      DrawSampleMark(p, (int)std::lround(logical(left + vx)), (int)std::lround(logical(vy)), i + 1);
    }
    const RedEyeRequest& red = e.RedEye();
    if (red.radius > 0) {
      int vx, vy;
      g.ImageToView(red.x, red.y, &vx, &vy);
      const double r = logical(red.radius * DisplayScale(g));
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setPen(QPen(QColor(255, 80, 80), 1.0, Qt::DashLine));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(logical(left + vx), logical(vy)), r, r);
      p.setRenderHint(QPainter::Antialiasing, false);
    }
  }
  p.setClipping(false);
  if (w->redEyeMode) {
    p.fillRect(QRect(rect.right() - 150, rect.top() + 36, 144, 20), QColor(120, 0, 0, 170));
    p.setPen(QColor(255, 255, 255));
    p.drawText(QRect(rect.right() - 150, rect.top() + 36, 144, 20), Qt::AlignCenter, QStringLiteral("Red-eye: click a pupil"));
  }
}

void ViewMessage(const std::string& text) { Ui_GetHost().ShowMessage(ResString(1000), text); }

// A zoom change about pane point d; the editor renders the new view.
void ZoomAt(Window* w, int32_t zoom, const QPoint& d) {
  Editor& e = *w->editor;
  ViewGeometry& g = e.Geometry();
  if (!g.SetZoom(zoom, d.x(), d.y())) return;
  w->ctx->zoom = g.zoom + 1;
  e.Render();
  RefreshView(w);
}

uint8_t TrackView(Window* w, int phase) {
  QWidget* dlg = w->dlg;
  Ui_Dlg_Info* info = InfoOf(dlg);
  EditContext* ctx = w->ctx;
  Editor& e = *w->editor;
  if (!info || !ctx->imageOpen) return 0;
  ViewGeometry& g = e.Geometry();
  const QPoint m = MouseIn(dlg, kView);
  const QPoint d = PanePoint(w, m);
  int32_t ix = 0, iy = 0;
  const bool inside = g.ViewToImage(d.x(), d.y(), &ix, &iy);
  QWidget* view = ItemWidget(dlg, kView);
  const double dpr = Dpr(view);

  if (phase == 0) {
    w->drag = Drag::kNone;
    w->lastX = m.x();
    w->lastY = m.y();
    if (info->alt) {
      // Alt-click zooms in a step (from 200 % back to the fit); Alt-Shift-click out.
      int32_t next = g.zoom + (info->shift ? -1 : 1);
      if (next > kViewMaxZoom) next = kZoomFit;
      if (next >= kZoomFit) ZoomAt(w, next, d);
      return 1;
    }
    if (info->ctrl) {
      w->drag = Drag::kPan;
      if (view) view->setCursor(Qt::ClosedHandCursor);
      return 1;
    }
    if (!info->shift && NearDivider(w, PanePoint(w, m))) {
      w->drag = Drag::kDivider;
      return 1;
    }
    if (info->shift) {
      const int reach = std::max(1, (int)(kSampleReachPx * dpr / DisplayScale(g)));
      int i = e.SampleAt(ix, iy, reach);
      if (i < 0 && inside) {
        i = e.AddSample(ix, iy);
        if (i < 0) {
          ViewMessage("Only two color samples can be set. You can Shift/Click on a sample and drag it to a new position.");
          return 1;
        }
      }
      if (i >= 0) {
        w->drag = Drag::kSample;
        w->dragIndex = i;
      }
      RefreshView(w);
      return 1;
    }
    if (!inside) return 1;
    if (w->redEyeMode) {
      const int radius = std::max(4, std::min(g.imageWidth, g.imageHeight) / 24);
      e.SetRedEye(ix, iy, radius);
      RefreshView(w);
      return 1;
    }
    ClickResult result = ClickResult::kNothing;
    e.ClickImage(ix, iy, &result);
    if (result == ClickResult::kTooNeutral) ViewMessage(ResString(4630));
    if (e.RegionShown()) w->regionUntilMs = Ui_ClockMs() + 700;
    if (Of(dlg)) {
      RefreshControls(w);
      RefreshView(w);
    }
    w->drag = Drag::kClick;
    return 1;
  }

  if (phase == 1) {
    const int dx = (int)std::lround((m.x() - w->lastX) * dpr), dy = (int)std::lround((m.y() - w->lastY) * dpr);
    w->lastX = m.x();
    w->lastY = m.y();
    if (w->drag == Drag::kPan && (dx || dy)) {
      if (g.Pan(dx, dy)) {
        e.Render();
        RefreshView(w);
      }
    } else if (w->drag == Drag::kDivider) {
      const QPoint at = PanePoint(w, m);
      e.SetSplitPosition(e.ViewWidth() > 0 ? (double)at.x() / e.ViewWidth() : 0.5);
      RefreshView(w);
    } else if (w->drag == Drag::kSample) {
      e.MoveSample(w->dragIndex, ix, iy);
      RefreshView(w);
    }
    return 1;
  }

  // phase 2
  if (w->drag == Drag::kSample && !inside) e.RemoveSample(w->dragIndex);  // dragged off the image
  if (w->drag == Drag::kPan && view) view->unsetCursor();
  w->drag = Drag::kNone;
  RefreshView(w);
  return 1;
}

// ---- the levels handles ------------------------------------------------------------------

double grabOffset = 0.0;

uint8_t TrackHandles(Window* w, int phase) {
  QWidget* dlg = w->dlg;
  Editor& e = *w->editor;
  QWidget* c = ItemWidget(dlg, kHandles);
  Ui_Dlg_Info* info = InfoOf(dlg);
  if (!c || !info || !w->ctx->imageOpen) return 0;
  const QRect rect = c->rect();
  const double x = LevelsFraction(rect, MouseIn(dlg, kHandles).x());
  if (phase == 0) {
    const int h = LevelsHandleHit(e.Pars(), x, (double)kLevelsHandleTolerancePx / std::max(1, rect.width() - 2 * kLevelsInsetPx - 1));
    if (h < 0) return 0;
    double pos[3];
    LevelsHandlePositions(e.Pars(), pos);
    grabOffset = pos[h] - x;
    w->drag = Drag::kLevels;
    w->dragIndex = h;
    e.DragLevelsHandle(h, pos[h], true, false);
    if (info->alt && h != kLevelsGray) e.SetClip(h == kLevelsWhite ? kClipHighlights : kClipShadows);
    RefreshView(w);
    ItemWidget(dlg, kHandles)->update();
    return 1;
  }
  if (w->drag != Drag::kLevels) return 1;
  // An Alt-drag (Alt held at the press) shows the clipping until the release.
  const bool last = phase == 2;
  if (last) e.SetClip(kClipNone);
  e.DragLevelsHandle(w->dragIndex, x + grabOffset, false, last);
  if (last) {
    w->drag = Drag::kNone;
    w->dragIndex = -1;
  }
  if (Of(dlg)) RefreshControls(w);
  return 1;
}

// ---- the hue ring ----------------------------------------------------------------------------

bool hueMoved = false;

uint8_t TrackHueRing(Window* w, int phase) {
  QWidget* dlg = w->dlg;
  Editor& e = *w->editor;
  QWidget* c = ItemWidget(dlg, kHueRing);
  if (!c || !w->ctx->imageOpen) return 0;
  const HueRingLayout layout = HueRingLayoutFor(c->rect());
  const QPoint m = MouseIn(dlg, kHueRing);
  if (phase == 0) {
    int index = -1, knob = 0;
    if (!HueRingHit(layout, e.Pars(), e.ActiveHandleIndex(), m.x(), m.y(), &index, &knob)) return 0;
    e.ChooseHandle(index);
    w->drag = Drag::kHue;
    w->dragIndex = index;
    w->dragKnob = knob;
    hueMoved = false;
    RefreshControls(w);
    return 1;
  }
  if (w->drag != Drag::kHue) return 1;
  if (phase == 1) {
    const double hue = HueRingHueAt(layout, m.x(), m.y());
    e.DragHueKnob(w->dragIndex, w->dragKnob, hue, !hueMoved);
    hueMoved = true;
    w->dragIndex = e.ActiveHandleIndex();
    if (Of(dlg)) RefreshControls(w);
    return 1;
  }
  w->drag = Drag::kNone;
  if (Of(dlg)) RefreshControls(w);
  return 1;
}

// ---- other items -----------------------------------------------------------------------------

void DrawWedge(Window* w, QPainter& p, const QRect& rect, const ControlColours& colours) {
  p.fillRect(rect, colours.window);
  if (!w->ctx->imageOpen) return;
  const CastSwatch* wedge = w->editor->CastWedgeSwatches();
  const int n = kCastWedgeSteps;
  const int cellW = rect.width() / n;
  const int half = (rect.height() - 14) / 2;
  QFont f = p.font();
  f.setPointSizeF(std::max(6.0, f.pointSizeF() * 0.8));
  p.setFont(f);
  for (int i = 0; i < n; ++i) {
    const QRect top(rect.left() + i * cellW, rect.top(), cellW, half);
    const QRect bottom(top.left(), top.bottom() + 1, cellW, half);
    p.fillRect(top, ScreenColour(w, wedge[i].gray));
    p.fillRect(bottom, ScreenColour(w, wedge[i].cast));
    if (wedge[i].number > 0) {
      // On the swatch itself: black or white by the swatch's own lightness.
      const QColor ink = wedge[i].gray[0] > 0.55f ? QColor(0, 0, 0) : QColor(255, 255, 255);
      p.setPen(ink);
      p.drawText(bottom, Qt::AlignCenter, QStringLiteral("%1%2").arg(QString::fromLatin1(wedge[i].letter)).arg(wedge[i].number));
    }
  }
  p.setPen(colours.frame);
  p.drawRect(QRect(rect.left(), rect.top(), cellW * n - 1, half * 2));
  p.setPen(colours.windowInk);
  p.drawText(QRect(rect.left(), rect.top() + half * 2 + 1, rect.width(), 13), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("gray 10% ... 90%: the colour each gray comes from"));
}

void DrawCurve(Window* w, QPainter& p, const QRect& rect, const ControlColours& colours) {
  p.fillRect(rect, colours.ground);
  const QRect box = rect.adjusted(4, 4, -5, -5);
  p.setPen(colours.grid);
  for (int k = 1; k < 4; ++k) {
    const int x = box.left() + box.width() * k / 4, y = box.top() + box.height() * k / 4;
    p.drawLine(x, box.top(), x, box.bottom());
    p.drawLine(box.left(), y, box.right(), y);
  }
  p.setPen(colours.frame);
  p.drawRect(box);
  p.drawLine(box.bottomLeft(), box.topRight());
  if (!w->ctx->imageOpen) return;
  // The gray axis through the brightness/contrast tools (brightness,
  // shadows, highlights, contrast).
  TavelinPars pars = w->ctx->pars;
  QPainterPath path;
  for (int i = 0; i <= 64; ++i) {
    const float x = i / 64.0f;
    const float in[3] = {x, x, x};
    float out[3] = {x, x, x};
    ApplyValidatedTavelinPars(&pars, 0x01E0, in, out);
    const QPointF pt(box.left() + x * box.width(), box.bottom() - out[1] * box.height());
    if (i == 0) path.moveTo(pt);
    else path.lineTo(pt);
  }
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(colours.ink, 1.6));
  p.drawPath(path);
  p.setRenderHint(QPainter::Antialiasing, false);
}

void DrawReadouts(Window* w, QPainter& p, const QRect& rect, const ControlColours& colours) {
  p.fillRect(rect, colours.ground);
  p.setPen(colours.frame);
  p.drawRect(rect.adjusted(0, 0, -1, -1));
  QFont f(QStringLiteral("Monospace"));
  f.setStyleHint(QFont::TypeWriter);
  f.setPointSizeF(std::max(7.0, p.font().pointSizeF() * 0.9));
  p.setFont(f);
  const int lineH = rect.height() / 3;
  p.setPen(colours.faint);
  p.drawText(QRect(rect.left() + 30, rect.top(), 150, lineH), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Before"));
  p.drawText(QRect(rect.left() + 30 + (rect.width() - 30) / 2, rect.top(), 150, lineH), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("After"));
  for (int i = 0; i < kSamplePoints; ++i) {
    std::string before, after;
    w->editor->Readout(i, &before, &after);
    const QRect line(rect.left() + 4, rect.top() + lineH * (i + 1), rect.width() - 8, lineH);
    p.setPen(colours.ink);
    p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("#%1").arg(i + 1));
    if (before.empty()) {
      p.setPen(colours.faint);
      p.drawText(line.adjusted(26, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Shift-click in the image"));
      continue;
    }
    p.drawText(line.adjusted(26, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(before.c_str()));
    p.drawText(line.adjusted(26 + (rect.width() - 30) / 2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8(after.c_str()));
  }
}

// ---- cursors ---------------------------------------------------------------------------------

QCursor DotCursor(const QColor& fill) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(255, 255, 255), 3.0));
  p.drawLine(12, 1, 12, 8);
  p.drawLine(12, 16, 12, 23);
  p.drawLine(1, 12, 8, 12);
  p.drawLine(16, 12, 23, 12);
  p.setPen(QPen(QColor(0, 0, 0), 1.0));
  p.drawLine(12, 1, 12, 8);
  p.drawLine(12, 16, 12, 23);
  p.drawLine(1, 12, 8, 12);
  p.drawLine(16, 12, 23, 12);
  p.setBrush(fill);
  p.drawEllipse(QPointF(12, 12), 3.5, 3.5);
  p.end();
  return QCursor(pm, 12, 12);
}

QCursor ZoomCursor(bool out) {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QPen(QColor(0, 0, 0), 2.0));
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawEllipse(QPointF(9.5, 9.5), 7.0, 7.0);
  p.drawLine(QPointF(15, 15), QPointF(22, 22));
  p.drawLine(QPointF(6, 9.5), QPointF(13, 9.5));
  if (!out) p.drawLine(QPointF(9.5, 6), QPointF(9.5, 13));
  p.end();
  return QCursor(pm, 9, 9);
}

}  // namespace

QColor ScreenColour(const Window* w, const float rgb[3]) {
  uint8_t px[3];
  for (int c = 0; c < 3; ++c) px[c] = (uint8_t)std::lround(std::clamp(rgb[c], 0.0f, 1.0f) * 255.0f);
  const Tintmesh* monitor = w->ctx->app ? w->ctx->app->workingSpace.monitorQX.get() : nullptr;
  if (monitor) {
    QXChannelPtrs ptrs;
    for (int c = 0; c < 3; ++c) ptrs.chan[c] = px + c;
    QXEvaluate(monitor, 1, ptrs, 3, ptrs, 3);
  }
  return QColor(px[0], px[1], px[2]);
}

void UpdateHistogram(Window* w) {
  w->haveHistogram = false;
  if (!w->ctx->imageOpen) return;
  const RasterView view = w->editor->ImageView();
  const int g = PrefsGridIndex(AppPrefs());
  w->haveHistogram =
      LevelsHistogram(&view, g, &w->ctx->pars, g, w->histogram, AppPrefs().rgbHistogram ? w->channelHistograms : nullptr) ==
      kOk;
}

void DrawUserItem(QWidget* dlg, int item, QPainter& painter) {
  Window* w = Of(dlg);
  QWidget* c = ItemWidget(dlg, item);
  if (!w || !c) return;
  const QRect rect = c->rect();
  const TavelinPars& pars = w->ctx->pars;
  const ControlColours colours = ControlColoursOf(c->palette());
  switch (item) {
    case kView: DrawView(w, painter, rect); break;
    case kHistogram:
      DrawLevelsHistogram(painter, rect, w->histogram, AppPrefs().rgbHistogram ? w->channelHistograms : nullptr,
                          w->haveHistogram && w->ctx->imageOpen, colours, c->devicePixelRatioF());
      break;
    case kHandles:
      painter.fillRect(rect, colours.window);
      DrawLevelsHandles(painter, rect.adjusted(0, 1, 0, 0), pars, w->drag == Drag::kLevels ? w->dragIndex : -1, colours);
      break;
    case kWedge: DrawWedge(w, painter, rect, colours); break;
    case kCurve: DrawCurve(w, painter, rect, colours); break;
    case kHueRing:
      DrawHueRing(painter, rect, pars, w->editor->ActiveHandleIndex(),
                  [w](const float rgb[3]) { return ScreenColour(w, rgb); }, colours);
      break;
    case kSwatch:
      painter.fillRect(rect, ScreenColour(w, pars.toneColor));
      painter.setPen(colours.windowInk);
      painter.drawRect(rect.adjusted(0, 0, -1, -1));
      break;
    case kReadouts: DrawReadouts(w, painter, rect, colours); break;
    default: break;
  }
}

uint8_t TrackUserItem(QWidget* dlg, int item, int phase) {
  Window* w = Of(dlg);
  if (!w) return 0;
  switch (item) {
    case kView: return TrackView(w, phase);
    case kHandles: return TrackHandles(w, phase);
    case kHueRing: return TrackHueRing(w, phase);
    default: return 0;  // a click: the item hit follows
  }
}

uint8_t ChooseCursor(QWidget* dlg) {
  Window* w = Of(dlg);
  Ui_Dlg_Info* info = InfoOf(dlg);
  QWidget* view = ItemWidget(dlg, kView);
  if (!w || !info || !view || !w->ctx->imageOpen) return 0;
  const QPoint m = MouseIn(dlg, kView);
  if (!view->rect().contains(m) || w->drag != Drag::kNone) return 0;
  Editor& e = *w->editor;
  int32_t ix = 0, iy = 0;
  const QPoint d = PanePoint(w, m);
  const bool inside = e.Geometry().ViewToImage(d.x(), d.y(), &ix, &iy);
  if (info->alt) {
    view->setCursor(ZoomCursor(info->shift != 0));
  } else if (info->ctrl) {
    view->setCursor(Qt::OpenHandCursor);
  } else if (info->shift) {
    view->setCursor(Qt::CrossCursor);
  } else if (NearDivider(w, d)) {
    view->setCursor(Qt::SplitHCursor);
  } else if (!inside) {
    return 0;
  } else if (w->redEyeMode) {
    view->setCursor(DotCursor(QColor(220, 30, 30)));
  } else {
    switch (e.Tab()) {
      case 0:
        if (e.BalanceMethodNow() != kBalanceNeutrals) return 0;
        view->setCursor(DotCursor(QColor(128, 128, 128)));
        break;
      case 1: {
        double v = 0.0;
        int point = -1;
        if (e.BrightnessAt(ix, iy, &v, &point) != kOk || point < 0) return 0;
        const QColor fills[3] = {QColor(0, 0, 0), QColor(128, 128, 128), QColor(255, 255, 255)};
        view->setCursor(DotCursor(fills[point]));
        break;
      }
      case 3: view->setCursor(DotCursor(QColor(255, 200, 0))); break;
      default: return 0;
    }
  }
  return 1;
}

}  // namespace editwin
