// PixelView: the one non-owning, strided view of pixels in memory that the
// correction tools, the filters and the session share (the display image of
// the editing context, a thumbnail, a preview; PixelBuffer, which owns its
// block, is a PixelView too). The viewer owns nothing: the pixels belong to
// whoever made the image and must outlive the calls that use the view. A
// reader never writes through a view it was handed as const.
//
// Layout: sample (x, y) of channel c is at chan[c] + y × rowStep + x ×
// pixelStep, counted in samples of bytesPerSample bytes (uint8_t for 1,
// uint16_t in the host's byte order for 2). Interleaved images use pixelStep
// 3 (or 4) and channel pointers to consecutive samples of the first pixel;
// planar ones use pixelStep 1 and one plane per channel. Samples are 0..255
// or 0..65535.
#pragma once

#include <cstdint>

#include "base/status.h"

constexpr int32_t kPixelViewMaxChannels = 4;

struct PixelView {
  int32_t width = 0;
  int32_t height = 0;
  int32_t channels = 3;
  int32_t bytesPerSample = 1;  // 1 or 2
  int64_t pixelStep = 3;       // samples from one pixel to the next
  int64_t rowStep = 0;         // samples from one row to the next
  void* chan[kPixelViewMaxChannels] = {};

  // Row y of channel c.
  template <class T>
  T* Row(int32_t c, int32_t y) const {
    return static_cast<T*>(chan[c]) + (int64_t)y * rowStep;
  }
  // Sample of channel c at (x, y); the caller keeps (x, y) inside the image.
  uint32_t Sample(int c, int x, int y) const {
    const int64_t i = (int64_t)y * rowStep + (int64_t)x * pixelStep;
    return bytesPerSample == 1 ? static_cast<const uint8_t*>(chan[c])[i] : static_cast<const uint16_t*>(chan[c])[i];
  }
  uint32_t MaxCode() const { return bytesPerSample == 1 ? 255u : 65535u; }
};

// The name the correction tools know the view by.
using RasterView = PixelView;

// Dimensions the marking and analysis tools accept: below 32767 either way.
constexpr int32_t kRasterMaxSide = 32766;

// 0 when the view is a 3-channel 8- or 16-bit raster with a positive size
// below 32767 and its three channel pointers set; kBadArg otherwise.
inline Status CheckRgbRaster(const PixelView* v) {
  if (!v || v->channels != 3 || (v->bytesPerSample != 1 && v->bytesPerSample != 2)) return kBadArg;
  if (v->width <= 0 || v->height <= 0 || v->width > kRasterMaxSide || v->height > kRasterMaxSide) return kBadArg;
  if (!v->chan[0] || !v->chan[1] || !v->chan[2] || v->pixelStep <= 0 || v->rowStep <= 0) return kBadArg;
  return kOk;
}
