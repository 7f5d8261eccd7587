#include "session/thumbnail.h"

#include <cstring>

#include "transform/tintmesh_eval.h"

namespace {
bool SideOk(uint32_t side) { return side >= 1 && side <= kThumbnailMaxSide; }
}  // namespace

Status MakeThumbnail(uint32_t width, uint32_t height, Thumbnail* thumb) {
  if (!thumb || !SideOk(width) || !SideOk(height)) return kBadArg;
  const uint32_t rowStep = ThumbnailRowStep(width);
  const uint32_t size = rowStep * height;
  MemPtr<uint8_t[]> data = MemNewArray<uint8_t>(size);
  if (!data) return kNoMem;
  thumb->dataSize = size;
  thumb->width = width;
  thumb->height = height;
  thumb->pixelStep = 3;
  thumb->rowStep = rowStep;
  thumb->data = std::move(data);
  return kOk;
}

Status CopyThumbnail(const Thumbnail& from, Thumbnail* to) {
  if (!to || CheckThumbnail(from) != kOk) return kBadArg;
  Thumbnail copy;
  if (Status st = MakeThumbnail(from.width, from.height, &copy); st != kOk) return st;
  std::memcpy(copy.data.get(), from.data.get(), from.dataSize);
  *to = std::move(copy);
  return kOk;
}

Status ThumbnailFromRgb(const uint8_t* rgb, uint32_t width, uint32_t height, int64_t rgbRowBytes, Thumbnail* thumb) {
  if (!rgb || rgbRowBytes < (int64_t)width * 3) return kBadArg;
  Thumbnail made;
  if (Status st = MakeThumbnail(width, height, &made); st != kOk) return st;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* in = rgb + (int64_t)y * rgbRowBytes;
    uint8_t* out = made.data.get() + (size_t)y * made.rowStep;
    for (uint32_t x = 0; x < width; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
  *thumb = std::move(made);
  return kOk;
}

Status CheckThumbnail(const Thumbnail& t) {
  if (!t.data || !SideOk(t.width) || !SideOk(t.height) || t.pixelStep != 3) return kBadArg;
  if (t.rowStep != ThumbnailRowStep(t.width) || t.dataSize != t.rowStep * t.height) return kBadArg;
  return kOk;
}

RasterView ThumbnailView(const Thumbnail& t) {
  RasterView v;
  v.width = (int32_t)t.width;
  v.height = (int32_t)t.height;
  v.channels = 3;
  v.bytesPerSample = 1;
  v.pixelStep = 3;
  v.rowStep = t.rowStep;
  if (t.data) {
    v.chan[0] = t.Red();
    v.chan[1] = t.Green();
    v.chan[2] = t.Blue();
  }
  return v;
}

Status TransformThumbnail(const Tintmesh* tm, Thumbnail* thumb) {
  if (!tm || !thumb || CheckThumbnail(*thumb) != kOk) return kBadArg;
  if (tm->nIn != 3 || tm->nOut != 3 || tm->inPath != kQX8Bit || tm->outPath != kQX8Bit) return kBadArg;
  for (uint32_t y = 0; y < thumb->height; ++y) {
    uint8_t* row = thumb->data.get() + (size_t)y * thumb->rowStep;
    QXChannelPtrs ptrs;
    ptrs.chan[0] = row + 2;
    ptrs.chan[1] = row + 1;
    ptrs.chan[2] = row;
    if (Status st = QXEvaluate(tm, (int32_t)thumb->width, ptrs, 3, ptrs, 3); st != kOk) return st;
  }
  return kOk;
}
