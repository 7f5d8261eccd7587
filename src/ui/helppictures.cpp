#include "ui/helppictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace {

const QColor kInk(40, 40, 40);
const QColor kPaper(255, 255, 255);
const QColor kAccent(40, 90, 170);

QImage Canvas(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(kPaper);
  return image;
}

// Add -> correct -> apply -> save.
QImage OrderOfWork() {
  QImage image = Canvas(500, 104);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  struct Step {
    const char* title;
    const char* detail;
  } steps[] = {
      {"1 Add", "images to the Batchline"},
      {"2 Correct", "with the four tools, left to right"},
      {"3 Apply", "and go on to the next image"},
      {"4 Save", "the selected images"},
  };
  QFont bold = QApplication::font();
  bold.setBold(true);
  QFont small = QApplication::font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  const int boxW = 110, boxH = 80, gap = 18, left = 4, top = 12;
  for (int i = 0; i < 4; ++i) {
    const QRect box(left + i * (boxW + gap), top, boxW, boxH);
    p.setPen(QPen(kAccent, 1.5));
    p.setBrush(QColor(232, 240, 252));
    p.drawRoundedRect(box, 8, 8);
    p.setPen(kInk);
    p.setFont(bold);
    p.drawText(box.adjusted(4, 6, -4, 0), Qt::AlignHCenter | Qt::AlignTop, QString::fromUtf8(steps[i].title));
    p.setFont(small);
    p.drawText(box.adjusted(6, 28, -6, -4), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
               QString::fromUtf8(steps[i].detail));
    if (i < 3) {
      const int x = box.right() + 3, y = top + boxH / 2;
      p.setPen(QPen(kAccent, 2));
      p.drawLine(x, y, x + gap - 8, y);
      QPolygonF head;
      head << QPointF(x + gap - 4, y) << QPointF(x + gap - 10, y - 5) << QPointF(x + gap - 10, y + 5);
      p.setBrush(kAccent);
      p.drawPolygon(head);
    }
  }
  return image;
}

// The hue ring with six handle pairs: Before outside, After inside.
QImage HueRing() {
  QImage image = Canvas(360, 220);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(110, 110);
  const double outer = 96, inner = 70;
  for (int deg = 0; deg < 360; ++deg) {
    const QColor hue = QColor::fromHsvF(deg / 360.0, 0.85, 0.95);
    QPainterPath slice;
    const double a0 = (deg - 0.6) * M_PI / 180.0, a1 = (deg + 1.6) * M_PI / 180.0;
    slice.moveTo(c + QPointF(inner * std::cos(a0), -inner * std::sin(a0)));
    slice.lineTo(c + QPointF(outer * std::cos(a0), -outer * std::sin(a0)));
    slice.lineTo(c + QPointF(outer * std::cos(a1), -outer * std::sin(a1)));
    slice.lineTo(c + QPointF(inner * std::cos(a1), -inner * std::sin(a1)));
    slice.closeSubpath();
    p.fillPath(slice, hue);
  }
  const double before[6] = {20, 75, 130, 200, 250, 320};
  const double after[6] = {32, 75, 130, 200, 250, 320};  // the first handle moved
  for (int h = 0; h < 6; ++h) {
    const double a = before[h] * M_PI / 180.0, b = after[h] * M_PI / 180.0;
    const QPointF pb = c + QPointF((outer + 8) * std::cos(a), -(outer + 8) * std::sin(a));
    const QPointF pa = c + QPointF((inner - 8) * std::cos(b), -(inner - 8) * std::sin(b));
    p.setPen(QPen(kInk, h == 0 ? 2.0 : 1.0));
    p.setBrush(h == 0 ? kAccent : kPaper);
    p.drawEllipse(pb, 6, 6);
    p.drawEllipse(pa, 5, 5);
  }
  p.setPen(kInk);
  p.setFont(QApplication::font());
  p.drawText(QRect(222, 40, 136, 40), Qt::TextWordWrap, QStringLiteral("outer marks: Before hues"));
  p.drawText(QRect(222, 90, 136, 40), Qt::TextWordWrap, QStringLiteral("inner marks: After hues"));
  p.drawText(QRect(222, 140, 136, 60), Qt::TextWordWrap, QStringLiteral("filled: the active handle"));
  return image;
}

// A histogram with the black, gray and white point handles below it.
QImage Levels() {
  QImage image = Canvas(360, 130);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRect area(20, 10, 300, 80);
  p.fillRect(area, QColor(245, 245, 245));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(110, 110, 110));
  QPolygonF hist;
  hist << QPointF(area.left(), area.bottom());
  for (int x = 0; x <= area.width(); ++x) {
    const double t = x / (double)area.width();
    const double v = 0.75 * std::exp(-std::pow((t - 0.42) / 0.16, 2)) + 0.35 * std::exp(-std::pow((t - 0.78) / 0.07, 2));
    const double clipped = (t < 0.08 || t > 0.93) ? 0.0 : v;
    hist << QPointF(area.left() + x, area.bottom() - clipped * area.height());
  }
  hist << QPointF(area.right(), area.bottom());
  p.drawPolygon(hist);
  struct Handle {
    double t;
    QColor fill;
    const char* name;
  } handles[] = {{0.08, QColor(0, 0, 0), "black"}, {0.45, QColor(128, 128, 128), "gray"}, {0.93, kPaper, "white"}};
  p.setFont(QApplication::font());
  for (const Handle& h : handles) {
    const double x = area.left() + h.t * area.width();
    QPolygonF tri;
    tri << QPointF(x, area.bottom() + 3) << QPointF(x - 7, area.bottom() + 15) << QPointF(x + 7, area.bottom() + 15);
    p.setPen(QPen(kInk, 1));
    p.setBrush(h.fill);
    p.drawPolygon(tri);
    p.drawText(QRectF(x - 30, area.bottom() + 17, 60, 18), Qt::AlignHCenter, QString::fromUtf8(h.name));
  }
  return image;
}

// The JPEG quality bar of the Save Image preferences at 80.
QImage QualityBar() {
  QImage image = Canvas(380, 80);
  QPainter p(&image);
  QFont small = QApplication::font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  p.setFont(small);
  p.setPen(kInk);
  const QRect bar(10, 26, 240, 16);
  p.drawText(QRect(bar.left(), 6, bar.width(), 18), Qt::AlignLeft, QStringLiteral("less"));
  p.drawText(QRect(bar.left(), 6, bar.width(), 18), Qt::AlignHCenter, QStringLiteral("Quality"));
  p.drawText(QRect(bar.left(), 6, bar.width(), 18), Qt::AlignRight, QStringLiteral("more"));
  p.drawText(QRect(bar.left(), 46, bar.width(), 18), Qt::AlignLeft, QStringLiteral("more"));
  p.drawText(QRect(bar.left(), 46, bar.width(), 18), Qt::AlignHCenter, QStringLiteral("Compression"));
  p.drawText(QRect(bar.left(), 46, bar.width(), 18), Qt::AlignRight, QStringLiteral("less"));
  const int x = bar.left() + (int)(0.8 * (bar.width() - 1) + 0.5);
  QLinearGradient fill(bar.left(), 0, bar.right(), 0);
  fill.setColorAt(0, QColor(150, 170, 200));
  fill.setColorAt(1, kAccent);
  p.fillRect(QRect(bar.left(), bar.top(), x - bar.left(), bar.height()), fill);
  p.drawLine(x, bar.top(), x, bar.bottom());
  p.setPen(QColor(160, 160, 160));
  p.drawRect(bar.adjusted(0, 0, -1, -1));
  p.setPen(kInk);
  p.setFont(QApplication::font());
  p.drawText(QRect(bar.right() + 12, bar.top() - 2, 110, 20), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral(" 80 (PS: 8)"));
  return image;
}

}  // namespace

bool Ui_HelpPicture(int id, QImage* image) {
  if (!image) return false;
  switch (id) {
    case kPictureOrderOfWork: *image = OrderOfWork(); return true;
    case kPictureHueRing: *image = HueRing(); return true;
    case kPictureLevels: *image = Levels(); return true;
    case kPictureQualityBar: *image = QualityBar(); return true;
    default: *image = QImage(); return false;
  }
}
