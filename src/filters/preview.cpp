#include "filters/preview.h"

#include <algorithm>

#include "imagefile/ras.h"
#include "base/alert.h"
#include "transform/tintmesh_eval.h"

namespace {

// Maps one step's fractions into part of the whole.
struct ProgressSpan {
  const IPProgress* whole;
  float from, span;
  static Status Report(void* context, float fraction) {
    const ProgressSpan* s = static_cast<const ProgressSpan*>(context);
    return s->whole->Report(s->from + s->span * fraction);
  }
};

Status NewLike(PixelBuffer& buffer, int32_t width, int32_t height, int32_t channels, int32_t colorType,
               int32_t bytesPerSample) {
  Status st = PixelBufferCreate(buffer, width, height, channels, bytesPerSample);
  if (st == kOk) buffer.colorType = colorType;
  return st;
}

}  // namespace

Status IPMakeViewImage(const char* path, int32_t boxWidth, int32_t boxHeight, int32_t bytesPerSample,
                       PixelBuffer& out, const IPProgress& progress, const ReadOptions& read) {
  if (!path || boxWidth < 2 || boxHeight < 2 || (bytesPerSample != 1 && bytesPerSample != 2)) return kBadArg;
  RasImage image;
  Status st = RasQuery(path, image, read);
  if (st != kOk) return st;
  int32_t w = 0, h = 0;
  if ((int64_t)image.width > 2 * (int64_t)boxWidth && (int64_t)image.height > 2 * (int64_t)boxHeight) {
    PixelBuffer mid;
    const int32_t midW = (int32_t)((int64_t)boxWidth * 3 / 2), midH = (int32_t)((int64_t)boxHeight * 3 / 2);
    if ((st = NewLike(mid, midW, midH, image.channels, image.colorType, bytesPerSample)) != kOk) return st;
    ProgressSpan first{&progress, 0.0f, 0.9f};
    IPProgress p1{progress.fn ? ProgressSpan::Report : nullptr, &first};
    if ((st = IPScaleImage(path, nullptr, kIPScaleFast, mid, w, h, p1, kIPScaleReducedDecode, read)) != kOk) return st;
    if ((st = NewLike(out, boxWidth, boxHeight, image.channels, image.colorType, bytesPerSample)) != kOk) return st;
    ProgressSpan second{&progress, 0.9f, 0.1f};
    IPProgress p2{progress.fn ? ProgressSpan::Report : nullptr, &second};
    st = IPScaleImage(nullptr, &mid, kIPScaleFiltered, out, w, h, p2);
  } else {
    if ((st = NewLike(out, boxWidth, boxHeight, image.channels, image.colorType, bytesPerSample)) != kOk) return st;
    st = IPScaleImage(path, nullptr, kIPScaleFiltered, out, w, h, progress, 0, read);
  }
  if (st != kOk) PixelBufferFree(out);
  return st;
}

Status IPMakeThumbnail(const char* path, PixelBuffer& out, int32_t box, const ReadOptions& read) {
  if (!path || box < 2 || box > (1 << 29)) return kBadArg;
  RasImage image;
  Status st = RasQuery(path, image, read);
  if (st != kOk) return st;
  PixelBuffer raster;
  if ((st = NewLike(raster, 2 * box, 2 * box, image.channels, image.colorType, 1)) != kOk) return st;
  int32_t w = 0, h = 0;
  if ((st = IPScaleImage(path, nullptr, kIPScaleFast, raster, w, h, {}, kIPScaleReducedDecode, read)) != kOk) return st;
  const int32_t halfW = std::max(2, w / 2), halfH = std::max(2, h / 2);
  if ((st = NewLike(out, halfW, halfH, image.channels, image.colorType, 1)) != kOk) return st;
  st = IPScaleImage(nullptr, &raster, kIPScaleFiltered, out, w, h);
  if (st != kOk) PixelBufferFree(out);
  return st;
}

void IPOrientPoint(int32_t orientation, int32_t width, int32_t height, int32_t sx, int32_t sy, int32_t* x,
                   int32_t* y) {
  const int32_t W = width, H = height;
  switch (orientation) {
    case 2: *x = W - 1 - sx, *y = sy; break;
    case 3: *x = W - 1 - sx, *y = H - 1 - sy; break;
    case 4: *x = sx, *y = H - 1 - sy; break;
    case 5: *x = sy, *y = sx; break;
    case 6: *x = H - 1 - sy, *y = sx; break;
    case 7: *x = H - 1 - sy, *y = W - 1 - sx; break;
    case 8: *x = sy, *y = W - 1 - sx; break;
    default: *x = sx, *y = sy; break;
  }
}

Status IPOrient(PixelBuffer& buffer, int32_t orientation) {
  if (orientation < 2 || orientation > 8) return kOk;
  if (PixelBufferCheck(buffer) != kOk) return kBadArg;
  const int32_t W = buffer.width, H = buffer.height, bytes = buffer.bytesPerSample;
  const bool swap = orientation >= 5;
  PixelBuffer out;
  if (Status st = NewLike(out, swap ? H : W, swap ? W : H, buffer.channels, buffer.colorType, bytes); st != kOk)
    return st;
  // Each stored pixel is copied to where it stands upright.
  for (int32_t sy = 0; sy < H; ++sy) {
    for (int32_t sx = 0; sx < W; ++sx) {
      int32_t x, y;
      IPOrientPoint(orientation, W, H, sx, sy, &x, &y);
      for (int32_t c = 0; c < buffer.channels; ++c) {
        if (bytes == 1) out.Row<uint8_t>(c, y)[x * out.pixelStep] = buffer.Row<uint8_t>(c, sy)[sx * buffer.pixelStep];
        else out.Row<uint16_t>(c, y)[x * out.pixelStep] = buffer.Row<uint16_t>(c, sy)[sx * buffer.pixelStep];
      }
    }
  }
  buffer = std::move(out);
  return kOk;
}

Status IPScaleImageDown2(const PixelBuffer& display, int32_t areaWidth, int32_t areaHeight,
                         const Tintmesh* displayTransform, PixelBuffer& bitmap) {
  Status st = kOk;
  if (PixelBufferCheck(display) != kOk || areaWidth < 2 || areaHeight < 2) st = kBadArg;
  else if (displayTransform && (displayTransform->nIn != display.channels || displayTransform->nOut != display.channels ||
                                displayTransform->inPath != kQX8Bit || displayTransform->outPath != kQX8Bit))
    st = kBadArg;
  if (st == kOk) st = NewLike(bitmap, areaWidth, areaHeight, display.channels, display.colorType, 1);
  int32_t w = 0, h = 0;
  if (st == kOk) st = IPScaleImage(nullptr, &display, kIPScaleFiltered, bitmap, w, h);
  if (st == kOk && (w != areaWidth || h != areaHeight)) st = kSysErr;
  if (st == kOk && displayTransform) {
    QXChannelPtrs row;
    for (int32_t y = 0; y < h && st == kOk; ++y) {
      for (int32_t c = 0; c < bitmap.channels; ++c) row.chan[c] = bitmap.Row<uint8_t>(c, y);
      st = QXEvaluate(displayTransform, w, row, bitmap.pixelStep, row, bitmap.pixelStep);
    }
  }
  if (st != kOk) {
    PixelBufferFree(bitmap);
    return ReportError(st, "IPScaleImageDown2");
  }
  return kOk;
}
