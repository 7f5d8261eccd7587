// Big-endian typed elements on streams, for the application's own files
// (preferences, job files): bytes, 16- and 32-bit integers, and the two 32-bit
// float forms. Binary form: top byte a signed exponent e, low 24 bits a
// two's-complement mantissa m, value = m / 8388608 × 2^e. Decimal form: same
// layout, m limited to ±999999, value = m × 0.000001 × 2^e. Encoders round half
// away from zero; NaN encodes as 0; magnitudes beyond the form saturate.
#pragma once

#include <cstdint>

#include "base/stream.h"

uint32_t EncodeBinaryFloat(float value);
float DecodeBinaryFloat(uint32_t word);
uint32_t EncodeDecimalFloat(float value);
float DecodeDecimalFloat(uint32_t word);

Status StreamWriteU8(Stream& s, uint8_t v);
Status StreamWriteU16(Stream& s, uint16_t v);
Status StreamWriteU32(Stream& s, uint32_t v);
Status StreamWriteBinaryFloat(Stream& s, float v);

Status StreamReadU8(Stream& s, uint8_t& v);
Status StreamReadU16(Stream& s, uint16_t& v);
Status StreamReadU32(Stream& s, uint32_t& v);
Status StreamReadBinaryFloat(Stream& s, float& v);
Status StreamReadDecimalFloat(Stream& s, float& v);

inline Status StreamWriteI32(Stream& s, int32_t v) { return StreamWriteU32(s, (uint32_t)v); }
inline Status StreamReadI32(Stream& s, int32_t& v) {
  uint32_t u = 0;
  Status st = StreamReadU32(s, u);
  v = (int32_t)u;
  return st;
}
