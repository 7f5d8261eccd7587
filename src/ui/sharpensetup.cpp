#include "ui/sharpensetup.h"

#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "filters/filterstage.h"
#include "filters/pixelbuffer.h"
#include "filters/preview.h"
#include "filters/resample.h"
#include "imagefile/ras.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/uistate.h"
#include "transform/tintmesh_eval.h"
#include "ui/dialogs.h"
#include "ui/dlg.h"
#include "ui/dlgitems.h"
#include "ui/useritem.h"
#include "ui/viewrender.h"

namespace {

enum Item : int {
  kOK = 1,
  kCancel = 2,
  kHelp = 3,
  kPreviewView = 4,
  kNavigator = 5,
  kZoomIn = 6,
  kZoomOut = 7,
  kZoomText = 8,
  kSharpenBox = 10,
  kStrength = 11,
  kStrengthText = 12,
  kNoiseBox = 20,
  kBlueRadius = 21,
  kBlueRadiusText = 22,
  kBlueThreshold = 23,
  kBlueThresholdText = 24,
  kRedRadius = 25,
  kRedRadiusText = 26,
  kRedThreshold = 27,
  kRedThresholdText = 28,
  kBothOff = 29,
  kRestore = 30,
};

constexpr int kPreviewW = 400, kPreviewH = 320;
constexpr int kNavW = 200, kNavH = 160;
constexpr int kMaxZoom = 4;
constexpr int kHelpSetup = 2009;

struct SetupState {
  EditContext* ctx = nullptr;
  TavelinPars settings{};
  int32_t fileW = 0, fileH = 0, depth = 1;
  int zoom = 1;
  double cx = 0, cy = 0;  // the region's centre, file pixels
  // The region shown (file pixels) and the block read around it.
  int32_t x0 = 0, y0 = 0, vw = 0, vh = 0;
  PixelBuffer block;
  int32_t bx0 = 0, by0 = 0, margin = -1;
  bool haveBlock = false;
  QImage preview;    // the region, filtered, on the monitor
  QImage navigator;  // the whole image
  bool panning = false;
  bool failed = false;
};

SetupState* StateOf(QWidget* dlg) {
  Ui_Dlg_Info* info = nullptr;
  return Ui_Dlg_Info_Get(dlg, &info) == kOk ? static_cast<SetupState*>(info->userData) : nullptr;
}

QSlider* Slider(QWidget* parent, int item, int lo, int hi) {
  auto* s = new QSlider(Qt::Horizontal, parent);
  s->setProperty("itemId", item);
  s->setRange(lo, hi);
  s->setTracking(AppPrefs().liveSliders != 0);
  s->setMinimumWidth(140);
  return s;
}

QLabel* Number(QWidget* parent, int item) {
  auto* l = new QLabel(QStringLiteral("0"), parent);
  l->setProperty("itemId", item);
  l->setMinimumWidth(26);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

Status Build(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Sharpen / Remove Noise"));
  auto* outer = new QVBoxLayout(d);
  auto* views = new QHBoxLayout;
  auto* preview = new UiUserItem(kPreviewView, d);
  preview->setAccessibleName(QStringLiteral("Preview at full size"));
  preview->setFixedSize(kPreviewW, kPreviewH);
  views->addWidget(preview);
  auto* right = new QVBoxLayout;
  auto* nav = new UiUserItem(kNavigator, d);
  nav->setAccessibleName(QStringLiteral("Navigator"));
  nav->setFixedSize(kNavW, kNavH);
  nav->setToolTip(QStringLiteral("Drag to choose the part of the image shown on the left"));
  right->addWidget(nav);
  auto* zoomRow = new QHBoxLayout;
  auto* minus = new QPushButton(QStringLiteral("-"), d);
  minus->setProperty("itemId", kZoomOut);
  minus->setFixedWidth(32);
  auto* plus = new QPushButton(QStringLiteral("+"), d);
  plus->setProperty("itemId", kZoomIn);
  plus->setFixedWidth(32);
  auto* zoomText = new QLabel(d);
  zoomText->setProperty("itemId", kZoomText);
  zoomText->setAlignment(Qt::AlignCenter);
  zoomRow->addWidget(minus);
  zoomRow->addWidget(zoomText, 1);
  zoomRow->addWidget(plus);
  right->addLayout(zoomRow);
  right->addStretch(1);
  views->addLayout(right);
  outer->addLayout(views);

  auto* sharpen = new QGroupBox(QStringLiteral("Sharpen"), d);
  sharpen->setProperty("itemId", kSharpenBox);
  auto* sg = new QGridLayout(sharpen);
  sg->addWidget(new QLabel(QStringLiteral("Strength:"), sharpen), 0, 0);
  sg->addWidget(Slider(sharpen, kStrength, 1, 24), 0, 1);
  sg->addWidget(Number(sharpen, kStrengthText), 0, 2);
  outer->addWidget(sharpen);

  auto* noise = new QGroupBox(QStringLiteral("Remove Noise"), d);
  noise->setProperty("itemId", kNoiseBox);
  auto* ng = new QGridLayout(noise);
  ng->addWidget(new QLabel(QStringLiteral("Blue Chrominance"), noise), 0, 0, 1, 3);
  ng->addWidget(new QLabel(QStringLiteral("Radius:"), noise), 1, 0);
  ng->addWidget(Slider(noise, kBlueRadius, 3, 16), 1, 1);
  ng->addWidget(Number(noise, kBlueRadiusText), 1, 2);
  ng->addWidget(new QLabel(QStringLiteral("Threshold:"), noise), 2, 0);
  ng->addWidget(Slider(noise, kBlueThreshold, 1, 50), 2, 1);
  ng->addWidget(Number(noise, kBlueThresholdText), 2, 2);
  ng->addWidget(new QLabel(QStringLiteral("Red Chrominance"), noise), 3, 0, 1, 3);
  ng->addWidget(new QLabel(QStringLiteral("Radius:"), noise), 4, 0);
  ng->addWidget(Slider(noise, kRedRadius, 3, 16), 4, 1);
  ng->addWidget(Number(noise, kRedRadiusText), 4, 2);
  ng->addWidget(new QLabel(QStringLiteral("Threshold:"), noise), 5, 0);
  ng->addWidget(Slider(noise, kRedThreshold, 1, 50), 5, 1);
  ng->addWidget(Number(noise, kRedThresholdText), 5, 2);
  outer->addWidget(noise);

  auto* bothOff = new QLabel(QStringLiteral("Sharpen and Remove Noise are both off: check them in the editing window."), d);
  bothOff->setProperty("itemId", kBothOff);
  bothOff->setWordWrap(true);
  outer->addWidget(bothOff);

  auto* buttons = new QHBoxLayout;
  auto* help = new QPushButton(QStringLiteral("?"), d);
  help->setProperty("itemId", kHelp);
  help->setFixedWidth(28);
  buttons->addWidget(help);
  auto* restore = new QPushButton(QStringLiteral("Restore Defaults"), d);
  restore->setProperty("itemId", kRestore);
  buttons->addWidget(restore);
  buttons->addStretch(1);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), d);
  cancel->setProperty("itemId", kCancel);
  cancel->setAutoDefault(false);
  auto* ok = new QPushButton(QStringLiteral("OK"), d);
  ok->setProperty("itemId", kOK);
  ok->setDefault(true);
  buttons->addWidget(cancel);
  buttons->addWidget(ok);
  outer->addLayout(buttons);
  return kOk;
}

int32_t NeededMargin(const TavelinPars& s) { return FilterContextPixels(FilterSettingsOf(s)); }

// The region shown, in file pixels, from the centre and the zoom.
void PlaceRegion(SetupState* s) {
  s->vw = std::min<int32_t>(s->fileW, (kPreviewW + s->zoom - 1) / s->zoom);
  s->vh = std::min<int32_t>(s->fileH, (kPreviewH + s->zoom - 1) / s->zoom);
  s->x0 = std::clamp((int32_t)std::lround(s->cx - s->vw / 2.0), 0, s->fileW - s->vw);
  s->y0 = std::clamp((int32_t)std::lround(s->cy - s->vh / 2.0), 0, s->fileH - s->vh);
  s->cx = s->x0 + s->vw / 2.0;
  s->cy = s->y0 + s->vh / 2.0;
}

// Reads the block around the region from the file, turned upright (the
// stored pixels it stands for are read and turned), through the input transform.
Status ReadBlock(SetupState* s) {
  EditContext* ctx = s->ctx;
  s->haveBlock = false;
  const int32_t m = NeededMargin(s->settings);
  const int32_t bx0 = std::max(0, s->x0 - m), by0 = std::max(0, s->y0 - m);
  const int32_t bx1 = std::min(s->fileW, s->x0 + s->vw + m), by1 = std::min(s->fileH, s->y0 + s->vh + m);
  // The stored rectangle: the upright corners taken back.
  const int32_t o = ctx->orientation, back = IPOrientInverse(o);
  int32_t ax = 0, ay = 0, cx = 0, cy = 0;
  IPOrientPoint(back, s->fileW, s->fileH, bx0, by0, &ax, &ay);
  IPOrientPoint(back, s->fileW, s->fileH, bx1 - 1, by1 - 1, &cx, &cy);
  const int32_t sx0 = std::min(ax, cx), sx1 = std::max(ax, cx) + 1, sy0 = std::min(ay, cy), sy1 = std::max(ay, cy) + 1;
  const bool swap = IPOrientSwaps(o);
  RasImage image;
  const ReadOptions read = CorrectionReadOptions(ctx);
  Status st = RasQuery(ctx->imagePath, image, read);
  if (st == kOk && (image.channels != 3 || (int32_t)image.width != (swap ? s->fileH : s->fileW) ||
                    (int32_t)image.height != (swap ? s->fileW : s->fileH)))
    st = kFormatErr;
  if (st == kOk) st = RasOpenRead(ctx->imagePath, image, read);
  RasScanline sl;
  if (st == kOk) st = RasMakeSl(sl, image);
  if (st == kOk) st = PixelBufferCreate(s->block, sx1 - sx0, sy1 - sy0, 3, s->depth);
  for (int32_t y = sy0; y < sy1 && st == kOk; ++y) {
    if ((st = RasReadSl(image, (uint32_t)y, sl)) != kOk) break;
    for (int c = 0; c < 3; ++c) {
      if (s->depth == 1) {
        uint8_t* out = s->block.Row<uint8_t>(c, y - sy0);
        for (int32_t x = sx0; x < sx1; ++x) out[(int64_t)(x - sx0) * 3] = sl.plane8[c][x];
      } else {
        uint16_t* out = s->block.Row<uint16_t>(c, y - sy0);
        for (int32_t x = sx0; x < sx1; ++x) out[(int64_t)(x - sx0) * 3] = sl.plane16[c][x];
      }
    }
  }
  if (st == kOk) st = IPOrient(s->block, o);
  for (int32_t y = 0; y < s->block.height && st == kOk && ctx->inputQX; ++y) {
    QXChannelPtrs row;
    for (int c = 0; c < 3; ++c)
      row.chan[c] = s->depth == 1 ? (void*)s->block.Row<uint8_t>(c, y) : (void*)s->block.Row<uint16_t>(c, y);
    st = QXEvaluate(ctx->inputQX, s->block.width, row, s->block.pixelStep, row, s->block.pixelStep);
  }
  RasClose(image);
  if (st != kOk) {
    PixelBufferFree(s->block);
    if (st != kCancelled) ReportError(st, "getting preview");
    return st;
  }
  s->bx0 = bx0;
  s->by0 = by0;
  s->margin = m;
  s->haveBlock = true;
  return kOk;
}

// The block filtered like a saved image, cropped to the region, on the monitor.
Status FilterBlock(SetupState* s) {
  EditContext* ctx = s->ctx;
  s->preview = QImage();
  if (!s->haveBlock) return kBadArg;
  const int32_t w = s->block.width, h = s->block.height;
  const int32_t rowBytes = (w * 3 + 3) & ~3;
  QImage out(w, h, QImage::Format_RGB888);
  if (out.isNull() || out.bytesPerLine() < w * 3) return ReportError(kNoMem, "transforming preview");
  FilterJob job;
  job.width = w;
  job.height = h;
  job.inDepth = s->depth;
  job.outDepth = 1;
  job.transform = ctx->fullQX ? ctx->fullQX->tintmesh : nullptr;
  job.settings = FilterSettingsOf(s->settings);
  struct Io {
    const PixelBuffer* src;
    QImage* dst;
  } io{&s->block, &out};
  job.reader = [](void* context, int32_t row, IPRow& planes) -> Status {
    const Io* io = static_cast<const Io*>(context);
    const PixelBuffer& b = *io->src;
    for (int c = 0; c < 3; ++c) {
      if (b.bytesPerSample == 1) {
        auto* o = static_cast<uint8_t*>(const_cast<void*>(planes.chan[c]));
        const uint8_t* in = b.Row<uint8_t>(c, row);
        for (int32_t x = 0; x < b.width; ++x) o[x] = in[(int64_t)x * 3];
      } else {
        auto* o = static_cast<uint16_t*>(const_cast<void*>(planes.chan[c]));
        const uint16_t* in = b.Row<uint16_t>(c, row);
        for (int32_t x = 0; x < b.width; ++x) o[x] = in[(int64_t)x * 3];
      }
    }
    return kOk;
  };
  job.readerContext = &io;
  job.writer = [](void* context, int32_t row, const IPRow& planes) -> Status {
    const Io* io = static_cast<const Io*>(context);
    uint8_t* o = io->dst->scanLine(row);
    const int32_t w = io->src->width;
    for (int c = 0; c < 3; ++c) {
      const uint8_t* in = static_cast<const uint8_t*>(planes.chan[c]);
      for (int32_t x = 0; x < w; ++x) o[3 * x + c] = in[x];
    }
    return kOk;
  };
  job.writerContext = &io;
  job.imageName = "preview";
  Status st = FilterImageRows(job);
  if (st != kOk) return st;  // reported by the stage
  (void)rowBytes;
  if (const Tintmesh* monitor = ctx->app ? ctx->app->workingSpace.monitorQX.get() : nullptr) {
    QXChannelPtrs row;
    for (int32_t y = 0; y < h && st == kOk; ++y) {
      uint8_t* line = out.scanLine(y);
      for (int c = 0; c < 3; ++c) row.chan[c] = line + c;
      st = QXEvaluate(monitor, w, row, 3, row, 3);
    }
    if (st != kOk) return ReportError(st, "transforming preview");
  }
  s->preview = out.copy(s->x0 - s->bx0, s->y0 - s->by0, s->vw, s->vh);
  return kOk;
}

void Refresh(QWidget* dlg, SetupState* s, bool reread) {
  PlaceRegion(s);
  Status st = kOk;
  if (reread || !s->haveBlock || NeededMargin(s->settings) > s->margin) st = ReadBlock(s);
  if (st == kOk) st = FilterBlock(s);
  s->failed = st != kOk;
  Ui_Dlg_InvalidateItem(dlg, kPreviewView);
  Ui_Dlg_InvalidateItem(dlg, kNavigator);
}

void ShowValues(QWidget* dlg, SetupState* s) {
  const TavelinPars& p = s->settings;
  Ui_Dlg_SetItemValue(dlg, kStrength, p.sharpenStrength);
  Ui_Dlg_SetItemText(dlg, kStrengthText, std::to_string(p.sharpenStrength));
  const int items[4][2] = {{kBlueRadius, kBlueRadiusText}, {kBlueThreshold, kBlueThresholdText},
                           {kRedRadius, kRedRadiusText}, {kRedThreshold, kRedThresholdText}};
  const int values[4] = {p.noiseRadius[1], p.noiseThreshold[1], p.noiseRadius[2], p.noiseThreshold[2]};
  for (int i = 0; i < 4; ++i) {
    Ui_Dlg_SetItemValue(dlg, items[i][0], values[i]);
    Ui_Dlg_SetItemText(dlg, items[i][1], std::to_string(values[i]));
  }
  Ui_Dlg_ShowItem(dlg, kSharpenBox, p.sharpenOn != 0);
  Ui_Dlg_ShowItem(dlg, kNoiseBox, p.denoiseOn != 0);
  Ui_Dlg_ShowItem(dlg, kBothOff, !p.sharpenOn && !p.denoiseOn);
  Ui_Dlg_SetItemText(dlg, kZoomText, s->zoom == 1 ? std::string("1:1") : std::to_string(s->zoom) + ":1");
  Ui_Dlg_EnableItem(dlg, kZoomIn, s->zoom < kMaxZoom);
  Ui_Dlg_EnableItem(dlg, kZoomOut, s->zoom > 1);
}

uint8_t Hit(QWidget* dlg, int item) {
  SetupState* s = StateOf(dlg);
  Ui_Dlg_Info* info = nullptr;
  if (!s || Ui_Dlg_Info_Get(dlg, &info) != kOk) return 0;
  TavelinPars& p = s->settings;
  int v = 0;
  Ui_Dlg_GetItemValue(dlg, item, &v);
  switch (item) {
    case kOK:
    case kCancel: info->closeRequested = 1; return 1;
    case kHelp: ShowHelpTopic(kHelpSetup); return 1;
    case kZoomIn:
    case kZoomOut:
      s->zoom = std::clamp(s->zoom + (item == kZoomIn ? 1 : -1), 1, kMaxZoom);
      ShowValues(dlg, s);
      Refresh(dlg, s, true);
      return 1;
    case kStrength: p.sharpenStrength = v; break;
    case kBlueRadius: p.noiseRadius[1] = v; break;
    case kBlueThreshold: p.noiseThreshold[1] = v; break;
    case kRedRadius: p.noiseRadius[2] = v; break;
    case kRedThreshold: p.noiseThreshold[2] = v; break;
    case kRestore:
      p.sharpenStrength = kParSharpenStrength.reset;
      for (int c = 1; c < 3; ++c) {
        p.noiseRadius[c] = kNoiseRadiusDefault[c];
        p.noiseThreshold[c] = kNoiseThresholdDefault[c];
      }
      break;
    default: return 0;
  }
  ShowValues(dlg, s);
  Refresh(dlg, s, false);
  return 1;
}

void Draw(QWidget* dlg, int item, QPainter& painter) {
  SetupState* s = StateOf(dlg);
  QWidget* c = nullptr;
  if (!s || Ui_Dlg_GetItem(dlg, item, &c) != kOk) return;
  const QRect r = c->rect();
  painter.fillRect(r, QColor(58, 58, 58));
  if (item == kPreviewView) {
    if (s->panning && s->ctx->drawMap) {
      // Unfiltered while panning: the display image's part of the region.
      const PixelBuffer& im = s->ctx->image0;
      const QImage screen(s->ctx->drawMap.get(), im.width, im.height, s->ctx->drawRowBytes, QImage::Format_RGB888);
      const double k = (double)im.width / s->fileW;
      const QRectF src(s->x0 * k, s->y0 * k, s->vw * k, s->vh * k);
      const QSizeF size(s->vw * s->zoom, s->vh * s->zoom);
      painter.drawImage(QRectF(QPointF((r.width() - size.width()) / 2, (r.height() - size.height()) / 2), size), screen, src);
    } else if (!s->preview.isNull()) {
      const QSize size(s->preview.width() * s->zoom, s->preview.height() * s->zoom);
      painter.drawImage(QRect(QPoint((r.width() - size.width()) / 2, (r.height() - size.height()) / 2), size), s->preview);
    } else {
      painter.setPen(QColor(220, 220, 220));
      painter.drawText(r, Qt::AlignCenter, s->failed ? QStringLiteral("No preview") : QString());
    }
    return;
  }
  if (s->navigator.isNull()) return;
  const QPoint at((r.width() - s->navigator.width()) / 2, (r.height() - s->navigator.height()) / 2);
  painter.drawImage(at, s->navigator);
  const double k = (double)s->navigator.width() / s->fileW;
  const QRectF marquee(at.x() + s->x0 * k, at.y() + s->y0 * k, std::max(2.0, s->vw * k), std::max(2.0, s->vh * k));
  painter.setPen(QPen(QColor(255, 255, 255), 1.0));
  painter.drawRect(marquee.adjusted(-1, -1, 0, 0));
  painter.setPen(QPen(QColor(0, 0, 0), 1.0, Qt::DashLine));
  painter.drawRect(marquee.adjusted(-1, -1, 0, 0));
}

uint8_t Track(QWidget* dlg, int item, int phase) {
  SetupState* s = StateOf(dlg);
  Ui_Dlg_Info* info = nullptr;
  QWidget* nav = nullptr;
  if (!s || item != kNavigator || s->navigator.isNull() || Ui_Dlg_Info_Get(dlg, &info) != kOk ||
      Ui_Dlg_GetItem(dlg, kNavigator, &nav) != kOk)
    return 0;
  const QPoint m = nav->mapFrom(dlg, QPoint(info->mouseH, info->mouseV));
  const QPoint at((nav->width() - s->navigator.width()) / 2, (nav->height() - s->navigator.height()) / 2);
  const double k = (double)s->navigator.width() / s->fileW;
  s->cx = (m.x() - at.x()) / k;
  s->cy = (m.y() - at.y()) / k;
  PlaceRegion(s);
  s->panning = phase != 2;
  if (phase == 2) Refresh(dlg, s, true);
  Ui_Dlg_InvalidateItem(dlg, kPreviewView);
  Ui_Dlg_InvalidateItem(dlg, kNavigator);
  return 1;
}

Status MakeNavigator(SetupState* s) {
  EditContext* ctx = s->ctx;
  const PixelBuffer& im = ctx->image0;
  if (!ctx->drawMap || PixelBufferCheck(im) != kOk) return kBadArg;
  int32_t w = 0, h = 0;
  IPScaleOutputSize(im.width, im.height, kNavW, kNavH, w, h);
  w = std::max(w, 2);
  h = std::max(h, 2);
  // The window's picture (corrected, on the monitor) reduced into the area.
  const PixelBuffer screen = MapAsPixelBuffer(ctx->drawMap.get(), im.width, im.height, ctx->drawRowBytes);
  PixelBuffer bitmap;
  Status st = IPScaleImageDown2(screen, w, h, nullptr, bitmap);  // reported there
  if (st != kOk) return st;
  QImage nav(bitmap.width, bitmap.height, QImage::Format_RGB888);
  for (int32_t y = 0; y < bitmap.height; ++y) {
    uint8_t* line = nav.scanLine(y);
    for (int c = 0; c < 3; ++c) {
      const uint8_t* in = bitmap.Row<uint8_t>(c, y);
      for (int32_t x = 0; x < bitmap.width; ++x) line[3 * x + c] = in[(int64_t)x * bitmap.pixelStep];
    }
  }
  s->navigator = nav;
  return kOk;
}

Status Init(QWidget* dlg) {
  SetupState* s = StateOf(dlg);
  if (!s) return kBadArg;
  Ui_Dlg_SetItemHitProc(dlg, Hit);
  Ui_Dlg_SetUserItemProcs(dlg, Draw, Track);
  MakeNavigator(s);
  ShowValues(dlg, s);
  Refresh(dlg, s, true);
  return kOk;
}

}  // namespace

Status ShowSharpenNoiseSetup(QWidget* owner, EditContext* ctx, TavelinPars* settings) {
  if (!ctx || !settings || !ctx->imageOpen) return kBadArg;
  SetupState s;
  s.ctx = ctx;
  s.settings = *settings;
  UprightFileSize(ctx, &s.fileW, &s.fileH);
  s.depth = ctx->input.Depth();
  if (s.fileW < 1 || s.fileH < 1) return kBadArg;
  s.cx = s.fileW / 2.0;
  s.cy = s.fileH / 2.0;
  // The full transform of the record as it is now.
  Status st = MakeFullTransform(ctx);
  if (st != kOk) return st;
  Ui_Dlg_RegisterTemplate(kSharpenSetupDialog, Build);
  int16_t result = 0;
  st = Ui_Dlg_OpenModal(AppState(), kSharpenSetupDialog, owner, Init, &s, &result);
  PixelBufferFree(s.block);
  if (st != kOk) return st;
  if (result != kOK) return kCancelled;
  TavelinPars& to = *settings;
  to.sharpenStrength = s.settings.sharpenStrength;
  to.noiseRadius[1] = s.settings.noiseRadius[1];
  to.noiseRadius[2] = s.settings.noiseRadius[2];
  to.noiseThreshold[1] = s.settings.noiseThreshold[1];
  to.noiseThreshold[2] = s.settings.noiseThreshold[2];
  return kOk;
}
