// The AVX2 lattice kernels: eight pixels at a time, the table lookups by
// gather. Compiled with -mavx2 (CMakeLists.txt); reached only through
// qx::PickLatticeAvx2 on a processor (and system) that has AVX2.
#include "transform/tintmesh_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#if !defined(__AVX2__)
#error "tintmesh_simd_avx2.cpp must be compiled with -mavx2"
#endif

#include <immintrin.h>

#include "transform/tintmesh_simd_x86.h"

namespace {

// Byte patterns for _mm256_shuffle_epi8 (the same for both 128-bit halves).
alignas(32) constexpr int8_t kByte[4][32] = {{QX_BYTE_LANE(0), QX_BYTE_LANE(0)}, {QX_BYTE_LANE(1), QX_BYTE_LANE(1)},
                                              {QX_BYTE_LANE(2), QX_BYTE_LANE(2)}, {QX_BYTE_LANE(3), QX_BYTE_LANE(3)}};
alignas(32) constexpr int8_t kByteHi[4][32] = {{QX_HI_LANE(0), QX_HI_LANE(0)}, {QX_HI_LANE(1), QX_HI_LANE(1)},
                                                {QX_HI_LANE(2), QX_HI_LANE(2)}, {QX_HI_LANE(3), QX_HI_LANE(3)}};
// Three 8-bit samples per pixel, eight pixels: channel c (bytes 3j + c) from
// bytes 0..15 (A) and 16..23 (B) into bytes 0..7.
alignas(16) constexpr int8_t kRgb8InA[3][16] = {
    {0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};
alignas(16) constexpr int8_t kRgb8InB[3][16] = {
    {-1, -1, -1, -1, -1, -1, 2, 5, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, 0, 3, 6, -1, -1, -1, -1, -1, -1, -1, -1},
    {-1, -1, -1, -1, -1, 1, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1}};
// Eight pixels r | g << 8 | b << 16 to twelve bytes per half, then together.
alignas(32) constexpr int8_t kRgb8Out[32] = {QX_PACK_LANE, QX_PACK_LANE};
alignas(32) constexpr int32_t kRgb8Join[8] = {0, 1, 2, 4, 5, 6, 3, 7};
alignas(32) constexpr int32_t kGather64Order[8] = {0, 1, 4, 5, 2, 3, 6, 7};

QX_INLINE __m256i Pattern256(const void* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }

struct Avx2 {
  using I = __m256i;
  using M = __m256i;
  static constexpr int kLanes = 8;
  static constexpr bool kByteTables = false;
  struct ByteTables {};
  static void PrepareByteTables(const qx::SimdLattice&, ByteTables&) {}
  static void LookupByteTables(const ByteTables&, int, I, I, I&, I&) {}

  static QX_INLINE I Set1(int32_t v) { return _mm256_set1_epi32(v); }
  static QX_INLINE I Add(I a, I b) { return _mm256_add_epi32(a, b); }
  static QX_INLINE I Sub(I a, I b) { return _mm256_sub_epi32(a, b); }
  static QX_INLINE I Mullo(I a, I b) { return _mm256_mullo_epi32(a, b); }
  static QX_INLINE I And(I a, I b) { return _mm256_and_si256(a, b); }
  static QX_INLINE I Max(I a, I b) { return _mm256_max_epi32(a, b); }
  static QX_INLINE I Min(I a, I b) { return _mm256_min_epi32(a, b); }
  template <int n>
  static QX_INLINE I Shl(I a) { return _mm256_slli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Shr(I a) { return _mm256_srli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Sra(I a) { return _mm256_srai_epi32(a, n); }
  static QX_INLINE M CmpGt(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
  static QX_INLINE I Blend(M m, I a, I b) { return _mm256_blendv_epi8(a, b, m); }

  template <int kScale>
  static QX_INLINE I Gather32(const void* base, I index) {
    return _mm256_i32gather_epi32(static_cast<const int*>(base), index, kScale);
  }
  // Two gathers of four 64-bit words (pixels 0, 1, 4, 5 and 2, 3, 6, 7, so
  // that one shuffle per half restores the order).
  static QX_INLINE void Gather64(const uint16_t* table, I index, I& lo, I& hi) {
    const I order = _mm256_permutevar8x32_epi32(index, Pattern256(kGather64Order));
    const auto* base = reinterpret_cast<const long long*>(table);
    const __m256 first = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_castsi256_si128(order), 2));
    const __m256 second = _mm256_castsi256_ps(_mm256_i32gather_epi64(base, _mm256_extracti128_si256(order, 1), 2));
    lo = _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0)));
    hi = _mm256_castps_si256(_mm256_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1)));
  }
  // table[index] from the 32-bit word at min(index, last − 3) (entries up to
  // `last` only), shifted down to the wanted entry.
  static QX_INLINE I GatherU8(const uint8_t* table, I index, int32_t last) {
    const I at = _mm256_min_epu32(index, _mm256_set1_epi32(last - 3));
    const I word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), at, 1);
    const I shift = _mm256_slli_epi32(_mm256_sub_epi32(index, at), 3);
    return _mm256_and_si256(_mm256_srlv_epi32(word, shift), _mm256_set1_epi32(0xFF));
  }
  static QX_INLINE I GatherU16(const uint16_t* table, I index, int32_t last) {
    const I at = _mm256_min_epu32(index, _mm256_set1_epi32(last - 1));
    const I word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), at, 2);
    const I shift = _mm256_slli_epi32(_mm256_sub_epi32(index, at), 4);
    return _mm256_and_si256(_mm256_srlv_epi32(word, shift), _mm256_set1_epi32(0xFFFF));
  }
  static QX_INLINE I Abs(I a) { return _mm256_abs_epi32(a); }
  static QX_INLINE I PackPair(I a, I b) { return _mm256_or_si256(a, _mm256_slli_epi32(b, 16)); }
  static QX_INLINE I MaddPairs(I a, I b) { return _mm256_madd_epi16(a, b); }
  static QX_INLINE I BytePair(I p, I q, int k) {
    return _mm256_or_si256(_mm256_shuffle_epi8(p, Pattern256(kByte[k])), _mm256_shuffle_epi8(q, Pattern256(kByteHi[k])));
  }

  static QX_INLINE I LoadU8(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static QX_INLINE I LoadU16(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static QX_INLINE void StoreU8(uint8_t* p, I v) {
    const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(words, words));
  }
  static QX_INLINE void StoreU16(uint16_t* p, I v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
  }
  static QX_INLINE void LoadRgb8(const uint8_t* p, I& r, I& g, I& b) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));
    I* out[3] = {&r, &g, &b};
    for (int ch = 0; ch < 3; ++ch) {
      *out[ch] = _mm256_cvtepu8_epi32(
          _mm_or_si128(_mm_shuffle_epi8(a, Pattern128(kRgb8InA[ch])), _mm_shuffle_epi8(c, Pattern128(kRgb8InB[ch]))));
    }
  }
  static QX_INLINE void StoreRgb8(uint8_t* p, I r, I g, I b) {
    const I w = _mm256_or_si256(r, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(b, 16)));
    const I x = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(w, Pattern256(kRgb8Out)), Pattern256(kRgb8Join));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(x));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 16), _mm256_extracti128_si256(x, 1));
  }
  static QX_INLINE void LoadRgb16(const uint16_t* p, I& r, I& g, I& b) {
    __m128i r0, g0, b0, r1, g1, b1;
    LoadRgb16x4(p, r0, g0, b0);
    LoadRgb16x4(p + 12, r1, g1, b1);
    r = _mm256_set_m128i(r1, r0);
    g = _mm256_set_m128i(g1, g0);
    b = _mm256_set_m128i(b1, b0);
  }
  static QX_INLINE void StoreRgb16(uint16_t* p, I r, I g, I b) {
    StoreRgb16x4(p, _mm256_castsi256_si128(r), _mm256_castsi256_si128(g), _mm256_castsi256_si128(b));
    StoreRgb16x4(p + 12, _mm256_extracti128_si256(r, 1), _mm256_extracti128_si256(g, 1), _mm256_extracti128_si256(b, 1));
  }
};

}  // namespace

#include "transform/tintmesh_simd_lattice.h"

qx::SimdLatticeFn qx::PickLatticeAvx2(bool table16, bool in16, bool out16, int32_t nOut) {
  return PickLattice<Avx2>(table16, in16, out16, nOut);
}

#else
qx::SimdLatticeFn qx::PickLatticeAvx2(bool, bool, bool, int32_t) { return nullptr; }
#endif
