// Region growing for the marking tools (neutral marks, hue-handle marks):
// from a clicked pixel, a flood fill over 4-neighbours accepts pixels close
// in colour both to the pixel they were reached from and to the seed, and
// adds every accepted colour to an array of sample bins.
//
// RegionMask: one bit per image pixel (rows of (width + 7) / 8 bytes, bit
// x & 7 of byte x >> 3; set = sampled) and the bounding box of the set bits.
// It owns its bits (guarded memory) and doubles as the visited set, so every
// pixel is read at most once. The fill stack holds at most kFillStackSize
// pending pixels; a push onto a full stack is dropped.
#pragma once

#include <cstdint>

#include "correct/tavelinpars.h"
#include "base/memory.h"
#include "base/status.h"

constexpr int kFillStackSize = 16384;
// Squared RGB distances (channels 0..1) a pixel may have to its parent and to the seed.
constexpr double kFillParentLimit = (16.0 / 255.0) * (16.0 / 255.0);
constexpr double kFillSeedLimit = (22.0 / 255.0) * (22.0 / 255.0);

struct RegionMask {
  int32_t width = 0;
  int32_t height = 0;
  int32_t rowBytes = 0;
  MemPtr<uint8_t[]> bits;
  // Bounding box of the set bits; minX > maxX while the mask is empty.
  int32_t minX = 1, maxX = 0, minY = 1, maxY = 0;

  // Sizes the mask for an image and clears it; kBadArg for a bad size,
  // kNoMem when memory runs out.
  Status Prepare(int32_t w, int32_t h);
  bool Get(int32_t x, int32_t y) const { return (bits[(size_t)y * rowBytes + (x >> 3)] >> (x & 7)) & 1; }
  void Set(int32_t x, int32_t y);
  int64_t CountSet() const;
};

struct FillEntry {
  uint16_t colour[3];  // the colour of the pixel it was reached from, × 65535 rounded
  int16_t x, y;
  uint8_t direction;   // 0 up, 1 down, 2 right, 3 left
};

// Grows the region from (x, y) (inside width × height) and adds each accepted
// colour to `bins` with AddSample. `read(x, y, rgb)` fills rgb (channels 0..1)
// for a pixel inside the image. `mask` must be prepared for the image.
// kNoMem when the stack cannot be allocated.
template <class Reader>
Status GrowRegion(int32_t width, int32_t height, int32_t x, int32_t y, const Reader& read, SampleBin* bins,
                  RegionMask* mask);

// ---- implementation ----------------------------------------------------------
namespace regionfill_detail {
inline uint16_t Quantise(float v) {
  const double d = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
  return (uint16_t)(d * 65535.0 + 0.5);
}
inline double Distance2(const float a[3], const float b[3]) {
  double s = 0.0;
  for (int c = 0; c < 3; ++c) {
    const double d = (double)a[c] - b[c];
    s += d * d;
  }
  return s;
}
struct Stack {
  MemPtr<FillEntry[]> entries = MemNewArray<FillEntry>(kFillStackSize, false);
  int size = 0;
  void Push(const float colour[3], int32_t x, int32_t y, uint8_t dir) {
    if (size >= kFillStackSize) return;  // dropped: the region ends up smaller
    FillEntry& e = entries[size++];
    for (int c = 0; c < 3; ++c) e.colour[c] = Quantise(colour[c]);
    e.x = (int16_t)x;
    e.y = (int16_t)y;
    e.direction = dir;
  }
};
// Neighbours pushed after arriving in each direction, in push order.
inline constexpr uint8_t kNext[4][3] = {{3, 2, 0}, {2, 3, 1}, {0, 1, 2}, {1, 0, 3}};
inline constexpr int kDx[4] = {0, 0, 1, -1};
inline constexpr int kDy[4] = {-1, 1, 0, 0};
}  // namespace regionfill_detail

template <class Reader>
Status GrowRegion(int32_t width, int32_t height, int32_t x, int32_t y, const Reader& read, SampleBin* bins,
                  RegionMask* mask) {
  using namespace regionfill_detail;
  if (!bins || !mask || !mask->bits || mask->width != width || mask->height != height || x < 0 || y < 0 ||
      x >= width || y >= height)
    return kBadArg;
  Stack stack;
  if (!stack.entries) return kNoMem;
  float seed[3];
  read(x, y, seed);
  mask->Set(x, y);
  AddSample(bins, seed);
  for (uint8_t d = 0; d < 4; ++d) stack.Push(seed, x + kDx[d], y + kDy[d], d);
  while (stack.size > 0) {
    const FillEntry e = stack.entries[--stack.size];
    if (e.x < 0 || e.y < 0 || e.x >= width || e.y >= height || mask->Get(e.x, e.y)) continue;
    float c[3];
    read(e.x, e.y, c);
    const float parent[3] = {e.colour[0] / 65535.0f, e.colour[1] / 65535.0f, e.colour[2] / 65535.0f};
    if (Distance2(c, parent) > kFillParentLimit || Distance2(c, seed) > kFillSeedLimit) continue;
    mask->Set(e.x, e.y);
    AddSample(bins, c);
    for (uint8_t d : kNext[e.direction]) stack.Push(c, e.x + kDx[d], e.y + kDy[d], d);
  }
  return kOk;
}
