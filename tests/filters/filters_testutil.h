// Test helpers for the filters: planar images held as 32-bit samples, rows
// handed out as IPRow planes, a collecting sink, and PixelBuffers filled from
// a function.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "filters/iprow.h"
#include "filters/pixelbuffer.h"

// A planar image: channels × height × width samples, 8- or 16-bit.
struct Image {
  int32_t width = 0, height = 0, channels = 0, depth = 1;
  std::vector<uint32_t> v;  // [c][y][x]
  Image() = default;
  Image(int32_t w, int32_t h, int32_t ch, int32_t d) : width(w), height(h), channels(ch), depth(d), v((size_t)w * h * ch) {}
  uint32_t& At(int32_t c, int32_t x, int32_t y) { return v[((size_t)c * height + y) * width + x]; }
  uint32_t At(int32_t c, int32_t x, int32_t y) const { return v[((size_t)c * height + y) * width + x]; }
  uint32_t Max() const { return depth == 2 ? 65535 : 255; }
  bool operator==(const Image& o) const = default;
};

inline Image RandomImage(int32_t w, int32_t h, int32_t ch, int32_t depth, uint32_t seed) {
  Image im(w, h, ch, depth);
  std::mt19937 rng(seed);
  for (auto& s : im.v) s = rng() % (im.Max() + 1);
  return im;
}

// Rows of an image as IPRow planes in the image's depth (owned storage).
class RowFeeder {
 public:
  explicit RowFeeder(const Image& im) : im_(im), b8_((size_t)im.width * im.channels), b16_(b8_.size()) {}
  IPRow Row(int32_t y) {
    IPRow r;
    for (int32_t c = 0; c < im_.channels; ++c) {
      for (int32_t x = 0; x < im_.width; ++x) {
        if (im_.depth == 2) b16_[(size_t)c * im_.width + x] = (uint16_t)im_.At(c, x, y);
        else b8_[(size_t)c * im_.width + x] = (uint8_t)im_.At(c, x, y);
      }
      r.chan[c] = im_.depth == 2 ? (const void*)(b16_.data() + (size_t)c * im_.width)
                                 : (const void*)(b8_.data() + (size_t)c * im_.width);
    }
    return r;
  }

 private:
  const Image& im_;
  std::vector<uint8_t> b8_;
  std::vector<uint16_t> b16_;
};

// A sink that collects rows into an image and checks their order.
struct Collector {
  Image out;
  int32_t rows = 0;
  bool inOrder = true;
  int32_t failAt = -1;  // return kWriteErr for this row
  Collector(int32_t w, int32_t h, int32_t ch, int32_t depth) : out(w, h, ch, depth) {}
  static Status Sink(void* context, int32_t row, const IPRow& planes) {
    Collector* c = static_cast<Collector*>(context);
    if (row == c->failAt) return kWriteErr;
    if (row != c->rows || row >= c->out.height) {
      c->inOrder = false;
      return kOk;
    }
    for (int32_t ch = 0; ch < c->out.channels; ++ch)
      for (int32_t x = 0; x < c->out.width; ++x)
        c->out.At(ch, x, row) = c->out.depth == 2 ? static_cast<const uint16_t*>(planes.chan[ch])[x]
                                                  : static_cast<const uint8_t*>(planes.chan[ch])[x];
    ++c->rows;
    return kOk;
  }
};

// An interleaved buffer whose samples come from fn(c, x, y).
inline PixelBuffer MakeBuffer(int32_t w, int32_t h, int32_t ch, int32_t bps,
                              const std::function<uint32_t(int32_t, int32_t, int32_t)>& fn) {
  PixelBuffer b;
  EXPECT_EQ(PixelBufferCreate(b, w, h, ch, bps), kOk);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int32_t c = 0; c < ch; ++c) {
        if (bps == 2) b.Row<uint16_t>(c, y)[x * b.pixelStep] = (uint16_t)fn(c, x, y);
        else b.Row<uint8_t>(c, y)[x * b.pixelStep] = (uint8_t)fn(c, x, y);
      }
  return b;
}

inline uint32_t SampleAt(const PixelBuffer& b, int32_t c, int32_t x, int32_t y) {
  return b.bytesPerSample == 2 ? b.Row<uint16_t>(c, y)[x * b.pixelStep] : b.Row<uint8_t>(c, y)[x * b.pixelStep];
}
