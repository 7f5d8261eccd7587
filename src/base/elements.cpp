#include "base/elements.h"

#include <cmath>

#include "base/bytes.h"

namespace {
// value = f × 2^e with 0.5 ≤ |f| < 1; m = round(f × scale) limited to [lo, hi].
uint32_t Encode(float value, double scale, int32_t lo, int32_t hi) {
  const uint32_t saturated = ((uint32_t)(value > 0 ? hi : lo) & 0xFFFFFFu) | (127u << 24);
  if (std::isnan(value) || value == 0.0f) return 0;
  if (std::isinf(value)) return saturated;
  int e = 0;
  double f = std::frexp((double)value, &e);
  if (e > 127) return saturated;
  if (e < -128) return 0;
  double scaled = f * scale;
  int32_t m = (int32_t)(scaled < 0 ? std::ceil(scaled - 0.5) : std::floor(scaled + 0.5));
  if (m > hi) m = hi;
  if (m < lo) m = lo;
  return ((uint32_t)m & 0xFFFFFFu) | ((uint32_t)(uint8_t)(int8_t)e << 24);
}

void Split(uint32_t word, int32_t& m, int& e) {
  m = (int32_t)(word & 0xFFFFFFu);
  if (m & 0x800000) m -= 0x1000000;
  e = (int8_t)(word >> 24);
}
}  // namespace

uint32_t EncodeBinaryFloat(float value) { return Encode(value, 8388608.0, -8388608, 8388607); }

float DecodeBinaryFloat(uint32_t word) {
  int32_t m;
  int e;
  Split(word, m, e);
  if (m < -8388607) m = -8388607;
  return (float)std::ldexp((double)m / 8388608.0, e);
}

uint32_t EncodeDecimalFloat(float value) { return Encode(value, 1000000.0, -999999, 999999); }

float DecodeDecimalFloat(uint32_t word) {
  int32_t m;
  int e;
  Split(word, m, e);
  if (m > 999999) m = 999999;
  if (m < -999999) m = -999999;
  return (float)std::ldexp((double)m * 0.000001, e);
}

Status StreamWriteU8(Stream& s, uint8_t v) { return StreamWriteAll(s, &v, 1); }
Status StreamWriteU16(Stream& s, uint16_t v) {
  uint8_t b[2];
  StoreBE16(b, v);
  return StreamWriteAll(s, b, 2);
}
Status StreamWriteU32(Stream& s, uint32_t v) {
  uint8_t b[4];
  StoreBE32(b, v);
  return StreamWriteAll(s, b, 4);
}
Status StreamWriteBinaryFloat(Stream& s, float v) { return StreamWriteU32(s, EncodeBinaryFloat(v)); }

Status StreamReadU8(Stream& s, uint8_t& v) { return StreamReadExact(s, &v, 1); }
Status StreamReadU16(Stream& s, uint16_t& v) {
  uint8_t b[2];
  Status st = StreamReadExact(s, b, 2);
  if (st == kOk) v = LoadBE16(b);
  return st;
}
Status StreamReadU32(Stream& s, uint32_t& v) {
  uint8_t b[4];
  Status st = StreamReadExact(s, b, 4);
  if (st == kOk) v = LoadBE32(b);
  return st;
}
Status StreamReadBinaryFloat(Stream& s, float& v) {
  uint32_t w = 0;
  Status st = StreamReadU32(s, w);
  if (st == kOk) v = DecodeBinaryFloat(w);
  return st;
}
Status StreamReadDecimalFloat(Stream& s, float& v) {
  uint32_t w = 0;
  Status st = StreamReadU32(s, w);
  if (st == kOk) v = DecodeDecimalFloat(w);
  return st;
}
