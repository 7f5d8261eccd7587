#include "imagefile/rowpack.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define TAVELIN_HAVE_SSSE3_KERNELS 1
#endif

namespace {

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void Store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Portable kernels; the word form handles four pixels (twelve bytes) at once.
void SplitPlain(const uint8_t* __restrict in, uint8_t* __restrict r, uint8_t* __restrict g, uint8_t* __restrict b,
                uint32_t w) {
  uint32_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 4 <= w; x += 4, in += 12) {
      const uint32_t w0 = Load32(in), w1 = Load32(in + 4), w2 = Load32(in + 8);
      Store32(r + x, (w0 & 0xFF) | ((w0 >> 16) & 0xFF00) | (w1 & 0xFF0000) | ((w2 << 16) & 0xFF000000u));
      Store32(g + x, ((w0 >> 8) & 0xFF) | ((w1 << 8) & 0xFF00) | ((w1 >> 8) & 0xFF0000) | ((w2 << 8) & 0xFF000000u));
      Store32(b + x, ((w0 >> 16) & 0xFF) | (w1 & 0xFF00) | ((w2 << 16) & 0xFF0000) | (w2 & 0xFF000000u));
    }
  }
  for (; x < w; ++x, in += 3) {
    r[x] = in[0];
    g[x] = in[1];
    b[x] = in[2];
  }
}

void JoinPlain(uint8_t* __restrict out, const uint8_t* __restrict r, const uint8_t* __restrict g,
               const uint8_t* __restrict b, uint32_t w) {
  uint32_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 4 <= w; x += 4, out += 12) {
      const uint32_t R = Load32(r + x), G = Load32(g + x), B = Load32(b + x);
      Store32(out, (R & 0xFF) | ((G & 0xFF) << 8) | ((B & 0xFF) << 16) | ((R & 0xFF00) << 16));
      Store32(out + 4, ((G >> 8) & 0xFF) | (B & 0xFF00) | (R & 0xFF0000) | ((G & 0xFF0000) << 8));
      Store32(out + 8, ((B >> 16) & 0xFF) | ((R >> 16) & 0xFF00) | ((G >> 8) & 0xFF0000) | (B & 0xFF000000u));
    }
  }
  for (; x < w; ++x, out += 3) {
    out[0] = r[x];
    out[1] = g[x];
    out[2] = b[x];
  }
}

#ifdef TAVELIN_HAVE_SSSE3_KERNELS
// Shuffle masks, built at compile time. Split: plane c takes from input
// vector k the bytes j with 16k + j = 3i + c. Join: output vector k takes
// from plane c the pixel p at every byte 16k + i = 3p + c. 0x80 yields 0.
using Mask = std::array<std::array<std::array<uint8_t, 16>, 3>, 3>;
constexpr Mask SplitMasks() {
  Mask m{};
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 16; ++i) {
        const int at = 3 * i + c - 16 * k;
        m[c][k][i] = at >= 0 && at < 16 ? (uint8_t)at : 0x80;
      }
  return m;
}
constexpr Mask JoinMasks() {
  Mask m{};
  for (int k = 0; k < 3; ++k)
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 16; ++i) {
        const int byte = 16 * k + i;
        m[k][c][i] = byte % 3 == c ? (uint8_t)(byte / 3) : 0x80;
      }
  return m;
}
constexpr Mask kSplit = SplitMasks();
constexpr Mask kJoin = JoinMasks();

__attribute__((target("ssse3"))) inline __m128i MaskOf(const std::array<uint8_t, 16>& m) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(m.data()));
}

__attribute__((target("ssse3"))) void SplitSsse3(const uint8_t* in, uint8_t* r, uint8_t* g, uint8_t* b, uint32_t w) {
  uint8_t* planes[3] = {r, g, b};
  __m128i masks[3][3];
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) masks[c][k] = MaskOf(kSplit[c][k]);
  uint32_t x = 0;
  for (; x + 16 <= w; x += 16, in += 48) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
    for (int c = 0; c < 3; ++c) {
      const __m128i p = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, masks[c][0]), _mm_shuffle_epi8(v1, masks[c][1])),
                                     _mm_shuffle_epi8(v2, masks[c][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[c] + x), p);
    }
  }
  SplitPlain(in, r + x, g + x, b + x, w - x);
}

__attribute__((target("ssse3"))) void JoinSsse3(uint8_t* out, const uint8_t* r, const uint8_t* g, const uint8_t* b,
                                                uint32_t w) {
  __m128i masks[3][3];
  for (int k = 0; k < 3; ++k)
    for (int c = 0; c < 3; ++c) masks[k][c] = MaskOf(kJoin[k][c]);
  uint32_t x = 0;
  for (; x + 16 <= w; x += 16, out += 48) {
    const __m128i pr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + x));
    const __m128i pg = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
    const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    for (int k = 0; k < 3; ++k) {
      const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(pr, masks[k][0]), _mm_shuffle_epi8(pg, masks[k][1])),
                                     _mm_shuffle_epi8(pb, masks[k][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * k), v);
    }
  }
  JoinPlain(out, r + x, g + x, b + x, w - x);
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}
#endif

using SplitFn = void (*)(const uint8_t*, uint8_t*, uint8_t*, uint8_t*, uint32_t);
using JoinFn = void (*)(uint8_t*, const uint8_t*, const uint8_t*, const uint8_t*, uint32_t);

SplitFn ChooseSplit() {
#ifdef TAVELIN_HAVE_SSSE3_KERNELS
  if (HaveSsse3()) return SplitSsse3;
#endif
  return SplitPlain;
}
JoinFn ChooseJoin() {
#ifdef TAVELIN_HAVE_SSSE3_KERNELS
  if (HaveSsse3()) return JoinSsse3;
#endif
  return JoinPlain;
}

const SplitFn kSplitKernel = ChooseSplit();
const JoinFn kJoinKernel = ChooseJoin();

}  // namespace

void SplitRgb8(const uint8_t* in, uint8_t* r, uint8_t* g, uint8_t* b, uint32_t width) { kSplitKernel(in, r, g, b, width); }
void JoinRgb8(uint8_t* out, const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t width) {
  kJoinKernel(out, r, g, b, width);
}
