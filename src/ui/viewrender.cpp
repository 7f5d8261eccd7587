#include "ui/viewrender.h"

#include <algorithm>
#include <cstring>

#include "transform/tintmesh_eval.h"

namespace {

void SourceRow(const PixelBuffer& src, int32_t y, QXChannelPtrs* row) {
  for (int c = 0; c < 3; ++c)
    row->chan[c] = src.bytesPerSample == 1 ? (void*)src.Row<uint8_t>(c, y) : (void*)src.Row<uint16_t>(c, y);
}

void MapRow(uint8_t* map, int32_t rowBytes, int32_t y, QXChannelPtrs* row) {
  uint8_t* p = map + (int64_t)y * rowBytes;
  for (int c = 0; c < 3; ++c) row->chan[c] = p + c;
}

// The filter stage reads display-image rows and writes map rows.
struct FilterRows {
  const PixelBuffer* src;
  uint8_t* map;
  int32_t rowBytes;
  int32_t width;
};

Status ReadRow(void* context, int32_t row, IPRow& planes) {
  const FilterRows* f = static_cast<const FilterRows*>(context);
  // The stage wants planar rows: hand it its own buffer filled from the
  // interleaved display image.
  const PixelBuffer& src = *f->src;
  for (int c = 0; c < 3; ++c) {
    if (src.bytesPerSample == 1) {
      uint8_t* out = static_cast<uint8_t*>(const_cast<void*>(planes.chan[c]));
      const uint8_t* in = src.Row<uint8_t>(c, row);
      for (int32_t x = 0; x < f->width; ++x) out[x] = in[(int64_t)x * src.pixelStep];
    } else {
      uint16_t* out = static_cast<uint16_t*>(const_cast<void*>(planes.chan[c]));
      const uint16_t* in = src.Row<uint16_t>(c, row);
      for (int32_t x = 0; x < f->width; ++x) out[x] = in[(int64_t)x * src.pixelStep];
    }
  }
  return kOk;
}

Status WriteRow(void* context, int32_t row, const IPRow& planes) {
  const FilterRows* f = static_cast<const FilterRows*>(context);
  uint8_t* out = f->map + (int64_t)row * f->rowBytes;
  const uint8_t* r = static_cast<const uint8_t*>(planes.chan[0]);
  const uint8_t* g = static_cast<const uint8_t*>(planes.chan[1]);
  const uint8_t* b = static_cast<const uint8_t*>(planes.chan[2]);
  for (int32_t x = 0; x < f->width; ++x) {
    out[3 * x] = r[x];
    out[3 * x + 1] = g[x];
    out[3 * x + 2] = b[x];
  }
  return kOk;
}

template <bool kHighlights>
void ClipRow(uint8_t* p, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (kHighlights) p[i] = p[i] == 255 ? 255 : 0;
    else p[i] = p[i] == 0 ? 0 : 255;
  }
}

}  // namespace

int32_t FilterContextPixels(const FilterSettings& filters) {
  int32_t r = 0;
  if (filters.noiseOn) r = std::max(filters.radius[1], filters.radius[2]);
  return std::max<int32_t>(2, 2 * r);
}

PixelBuffer MapAsPixelBuffer(uint8_t* map, int32_t width, int32_t height, int32_t rowBytes) {
  PixelBuffer b;
  b.colorType = 1;
  b.channels = 3;
  b.bytesPerSample = 1;
  b.width = width;
  b.height = height;
  b.pixelStep = 3;
  b.rowStep = rowBytes;
  for (int c = 0; c < 3; ++c) b.chan[c] = map + c;
  return b;
}

Status RenderView(const ViewRenderJob& job) {
  if (!job.source || !job.transform || !job.transform->tintmesh || !job.map) return kBadArg;
  const PixelBuffer& src = *job.source;
  if (PixelBufferCheck(src) != kOk || src.channels < 3 || job.rowBytes < src.width * 3) return kBadArg;
  if (job.transform->outPath != kQX8Bit || job.transform->inPath != src.bytesPerSample) return kBadArg;
  const int32_t w = src.width, h = src.height;
  Status st = kOk;

  if (job.filterPreview) {
    FilterRows rows{&src, job.map, job.rowBytes, w};
    FilterJob fj;
    fj.width = w;
    fj.height = h;
    fj.inDepth = src.bytesPerSample;
    fj.outDepth = 1;
    fj.transform = job.transform->tintmesh;
    fj.settings = job.filters;
    fj.reader = ReadRow;
    fj.readerContext = &rows;
    fj.writer = WriteRow;
    fj.writerContext = &rows;
    fj.imageName = "preview";
    st = FilterImageRows(fj);
  } else {
    QXChannelPtrs in, out;
    for (int32_t y = 0; y < h && st == kOk; ++y) {
      SourceRow(src, y, &in);
      MapRow(job.map, job.rowBytes, y, &out);
      st = QXHandleEvaluate(job.transform, w, in, src.pixelStep, out, 3);
    }
  }
  if (st != kOk) return st;

  if (job.clip != kClipNone) {
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* p = job.map + (int64_t)y * job.rowBytes;
      if (job.clip == kClipHighlights) ClipRow<true>(p, w * 3);
      else ClipRow<false>(p, w * 3);
    }
  }

  if (job.redEye.radius >= 1 && job.redEye.x >= 0 && job.redEye.y >= 0 && job.redEye.x < w && job.redEye.y < h) {
    PixelBuffer view = MapAsPixelBuffer(job.map, w, h, job.rowBytes);
    if ((st = IPRedEye(view, job.redEye.x, job.redEye.y, job.redEye.radius)) != kOk) return st;
  }

  if (job.monitor) {
    QXChannelPtrs row;
    for (int32_t y = 0; y < h && st == kOk; ++y) {
      MapRow(job.map, job.rowBytes, y, &row);
      st = QXEvaluate(job.monitor, w, row, 3, row, 3);
    }
  }
  return st;
}
