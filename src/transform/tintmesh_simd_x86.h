// Pieces shared by the x86 kernel files (tintmesh_simd_sse41.cpp, _avx2.cpp,
// _avx512.cpp): byte patterns for one 128-bit part and the four-pixel
// interleave of three 16-bit samples. Like tintmesh_simd_lattice.h it sits in
// an unnamed namespace, so every level file compiles its own copy with its
// own instruction set; include it after <immintrin.h>.
#pragma once

#include <cstdint>

#define QX_INLINE inline __attribute__((always_inline))

// _mm_shuffle_epi8 patterns for one 128-bit part of four 32-bit lanes (-1
// clears a byte): byte k of every lane to bits 0-7, or to bits 16-23.
#define QX_BYTE_LANE(k) k, -1, -1, -1, k + 4, -1, -1, -1, k + 8, -1, -1, -1, k + 12, -1, -1, -1
#define QX_HI_LANE(k) -1, -1, k, -1, -1, -1, k + 4, -1, -1, -1, k + 8, -1, -1, -1, k + 12, -1
// Four pixels of three 8-bit samples (twelve bytes): channel c as 32-bit
// lanes; and back, four lanes r | g << 8 | b << 16 to twelve bytes.
#define QX_RGB_LANE(c) c, -1, -1, -1, c + 3, -1, -1, -1, c + 6, -1, -1, -1, c + 9, -1, -1, -1
#define QX_PACK_LANE 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1

namespace {

// Four pixels of three 16-bit samples: words 0..7 in A, 8..11 in B; channel
// c of the four pixels as 32-bit lanes. Back, from rg = r | g << 16 and the
// words b0..b3: bytes 0..15 and 16..23.
alignas(16) constexpr int8_t kRgb16InA[3][16] = {
    {0, 1, -1, -1, 6, 7, -1, -1, 12, 13, -1, -1, -1, -1, -1, -1},
    {2, 3, -1, -1, 8, 9, -1, -1, 14, 15, -1, -1, -1, -1, -1, -1},
    {4, 5, -1, -1, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};
alignas(16) constexpr int8_t kRgb16InB[3][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, -1, 6, 7, -1, -1}};
alignas(16) constexpr int8_t kRgb16OutA[16] = {0, 1, 2, 3, -1, -1, 4, 5, 6, 7, -1, -1, 8, 9, 10, 11};
alignas(16) constexpr int8_t kRgb16OutB[16] = {-1, -1, -1, -1, 0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1};
alignas(16) constexpr int8_t kRgb16OutC[16] = {-1, -1, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(16) constexpr int8_t kRgb16OutD[16] = {4, 5, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1};

QX_INLINE __m128i Pattern128(const int8_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }

QX_INLINE void LoadRgb16x4(const uint16_t* p, __m128i& r, __m128i& g, __m128i& b) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8));
  r = _mm_or_si128(_mm_shuffle_epi8(a, Pattern128(kRgb16InA[0])), _mm_shuffle_epi8(c, Pattern128(kRgb16InB[0])));
  g = _mm_or_si128(_mm_shuffle_epi8(a, Pattern128(kRgb16InA[1])), _mm_shuffle_epi8(c, Pattern128(kRgb16InB[1])));
  b = _mm_or_si128(_mm_shuffle_epi8(a, Pattern128(kRgb16InA[2])), _mm_shuffle_epi8(c, Pattern128(kRgb16InB[2])));
}

QX_INLINE void StoreRgb16x4(uint16_t* p, __m128i r, __m128i g, __m128i b) {
  const __m128i rg = _mm_or_si128(r, _mm_slli_epi32(g, 16));
  const __m128i bw = _mm_packus_epi32(b, b);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(_mm_shuffle_epi8(rg, Pattern128(kRgb16OutA)),
                                                               _mm_shuffle_epi8(bw, Pattern128(kRgb16OutB))));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 8), _mm_or_si128(_mm_shuffle_epi8(rg, Pattern128(kRgb16OutC)),
                                                                   _mm_shuffle_epi8(bw, Pattern128(kRgb16OutD))));
}

}  // namespace
