// RasterView: a non-owning view of an RGB image in memory, as the tools read
// it for marking and analysis (the display image of the editing context, a
// PixelBuffer, a thumbnail). The viewer owns nothing; the pixels belong to
// whoever made the image and must outlive the call that reads them.
//
// Samples are 8-bit (bytesPerSample 1) or 16-bit (2, native byte order);
// steps count samples, not bytes. Interleaved images use pixelStep 3 (or 4)
// and plane pointers to consecutive samples of the first pixel; planar ones
// use pixelStep 1 and one plane per channel.
#pragma once

#include <cstdint>

#include "shell/status.h"

struct RasterView {
  int32_t width = 0;
  int32_t height = 0;
  int32_t channels = 3;
  int32_t bytesPerSample = 1;  // 1 or 2
  int64_t pixelStep = 3;       // samples from one pixel to the next
  int64_t rowStep = 0;         // samples from one row to the next
  const void* planes[4] = {nullptr, nullptr, nullptr, nullptr};

  // Sample of channel c at (x, y); the caller keeps (x, y) inside the image.
  uint32_t Sample(int c, int x, int y) const {
    const int64_t i = (int64_t)y * rowStep + (int64_t)x * pixelStep;
    return bytesPerSample == 1 ? static_cast<const uint8_t*>(planes[c])[i]
                               : static_cast<const uint16_t*>(planes[c])[i];
  }
  uint32_t MaxCode() const { return bytesPerSample == 1 ? 255u : 65535u; }
};

// Dimensions the marking and analysis tools accept: below 32767 either way.
constexpr int32_t kRasterMaxSide = 32766;

// 0 when the view is a 3-channel 8- or 16-bit raster with a positive size
// below 32767 and its three plane pointers set; kBadArg otherwise.
inline Status CheckRgbRaster(const RasterView* v) {
  if (!v || v->channels != 3 || (v->bytesPerSample != 1 && v->bytesPerSample != 2)) return kBadArg;
  if (v->width <= 0 || v->height <= 0 || v->width > kRasterMaxSide || v->height > kRasterMaxSide) return kBadArg;
  if (!v->planes[0] || !v->planes[1] || !v->planes[2] || v->pixelStep <= 0 || v->rowStep <= 0) return kBadArg;
  return kOk;
}
