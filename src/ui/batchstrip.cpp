// The Batchline strip of the editing window (item 89): one owner-drawn entry
// per image, its corrected thumbnail (through the monitor transform) and its
// name; selected entries highlighted, the current one framed. Thumbnails are
// read from the Batchline's data file once per record and kept by record
// offset (a rewritten record has a new offset).
#include <QPainter>
#include <QPalette>
#include <QWidget>

#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/strings.h"
#include "session/thumbnail.h"
#include "ui/controlcolours.h"
#include "ui/editwindow_internal.h"

namespace editwin {
namespace {

constexpr int kEntryWidth = 136;
constexpr int kEntryHeight = 138;
constexpr int kThumbBox = 120;

QImage LoadThumbnail(Window* w, int entry) {
  EditContext* ctx = w->ctx;
  if (entry < 0 || entry >= (int)ctx->batch.entries.size()) return QImage();
  const uint32_t offset = ctx->batch.entries[entry].offset;
  auto it = w->thumbnails.find(offset);
  if (it != w->thumbnails.end()) return it->second;
  Thumbnail t;
  QImage image;
  if (BatchlineThumbnail(ctx, entry, &t) == kOk && !t.Empty()) {
    if (ctx->app && ctx->app->workingSpace.monitorQX) TransformThumbnail(ctx->app->workingSpace.monitorQX.get(), &t);
    image = QImage(t.data.get(), (int)t.width, (int)t.height, (int)t.rowStep, QImage::Format_BGR888).copy();
  }
  w->thumbnails[offset] = image;
  return image;
}

}  // namespace

void ForgetThumbnails(Window* w) { w->thumbnails.clear(); }

void MeasureStripEntry(QWidget*, int, int, QSize& size) { size = QSize(kEntryWidth, kEntryHeight); }

void DrawStripEntry(QWidget* dlg, int, int entry, QPainter& p, const QRect& rect, uint8_t selected) {
  Window* w = Of(dlg);
  if (!w) return;
  const QPalette pal = dlg->palette();
  const QRect cell = rect.adjusted(2, 2, -2, -2);
  // A selection tint that keeps the palette's text readable, light or dark.
  const QColor ground = pal.color(QPalette::Base);
  p.fillRect(cell, selected ? MixColours(ground, pal.color(QPalette::Highlight), 0.45) : ground);
  const QImage thumb = LoadThumbnail(w, entry);
  const QRect box(cell.left() + (cell.width() - kThumbBox) / 2, cell.top() + 4, kThumbBox, kThumbBox - 16);
  if (!thumb.isNull()) {
    const QSize s = thumb.size().scaled(box.size(), Qt::KeepAspectRatio);
    const QRect target(box.left() + (box.width() - s.width()) / 2, box.top() + (box.height() - s.height()) / 2,
                       s.width(), s.height());
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(target, thumb);
    p.setPen(pal.color(QPalette::Mid));
    p.drawRect(target.adjusted(0, 0, -1, -1));
  } else {
    p.fillRect(box, pal.color(QPalette::Mid));
  }
  const QRect textRect(cell.left() + 2, box.bottom() + 3, cell.width() - 4, cell.bottom() - box.bottom() - 3);
  const QString name = QString::fromUtf8(LeafName(BatchlineImagePath(w->ctx, entry)).c_str());
  p.setPen(pal.color(QPalette::Text));
  p.drawText(textRect, Qt::AlignHCenter | Qt::AlignTop, p.fontMetrics().elidedText(name, Qt::ElideMiddle, textRect.width()));
  if (entry == BatchlineCurrent(w->ctx)) {
    p.setPen(QPen(QColor(230, 120, 0), 3.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(1, 1, -2, -2));
  } else if (selected) {
    p.setPen(QPen(pal.color(QPalette::Highlight), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(cell.adjusted(0, 0, -1, -1));
  }
}

}  // namespace editwin
