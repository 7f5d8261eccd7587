#include "correct/regionfill.h"

Status RegionMask::Prepare(int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || w > 32767 || h > 32767) return kBadArg;
  const int32_t rb = (w + 7) / 8;
  if (!bits || w != width || h != height) {
    bits = MemNewArray<uint8_t>((size_t)rb * h, true);
    if (!bits) {
      width = height = rowBytes = 0;
      return kNoMem;
    }
  } else {
    for (size_t i = 0; i < (size_t)rb * h; ++i) bits[i] = 0;
  }
  width = w;
  height = h;
  rowBytes = rb;
  minX = minY = 1;
  maxX = maxY = 0;
  return kOk;
}

void RegionMask::Set(int32_t x, int32_t y) {
  bits[(size_t)y * rowBytes + (x >> 3)] |= (uint8_t)(1u << (x & 7));
  if (minX > maxX) {
    minX = maxX = x;
    minY = maxY = y;
    return;
  }
  if (x < minX) minX = x;
  if (x > maxX) maxX = x;
  if (y < minY) minY = y;
  if (y > maxY) maxY = y;
}

int64_t RegionMask::CountSet() const {
  int64_t n = 0;
  for (size_t i = 0; i < (size_t)rowBytes * height; ++i) n += __builtin_popcount(bits[i]);
  return n;
}
