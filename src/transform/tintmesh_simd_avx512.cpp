// The AVX-512 lattice kernels: sixteen pixels at a time, the table lookups by
// gather. Compiled with -mavx512f -mavx512bw -mavx512vl -mavx512dq
// (CMakeLists.txt); reached only through qx::PickLatticeAvx512 on a processor
// (and system) that has all four.
#include "transform/tintmesh_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#if !defined(__AVX512F__) || !defined(__AVX512BW__) || !defined(__AVX512VL__) || !defined(__AVX512DQ__)
#error "tintmesh_simd_avx512.cpp must be compiled with -mavx512f -mavx512bw -mavx512vl -mavx512dq"
#endif

// GCC 12 takes the intrinsics' own "undefined vector" idiom (__Y = __Y) for
// an uninitialised variable once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include "transform/tintmesh_simd_x86.h"

namespace {

// Byte k of every 32-bit lane to bits 0-7 or 16-23 (_mm512_shuffle_epi8
// works per 128-bit part).
#define QX_BYTE_ROW(k) {QX_BYTE_LANE(k), QX_BYTE_LANE(k), QX_BYTE_LANE(k), QX_BYTE_LANE(k)}
alignas(64) constexpr int8_t kByte[4][64] = {QX_BYTE_ROW(0), QX_BYTE_ROW(1), QX_BYTE_ROW(2), QX_BYTE_ROW(3)};
#define QX_HI_ROW(k) {QX_HI_LANE(k), QX_HI_LANE(k), QX_HI_LANE(k), QX_HI_LANE(k)}
alignas(64) constexpr int8_t kByteHi[4][64] = {QX_HI_ROW(0), QX_HI_ROW(1), QX_HI_ROW(2), QX_HI_ROW(3)};
// Three 8-bit samples per pixel: the 48 bytes spread as 12 per 128-bit part
// (kRgb8Spread), then channel c of the part's four pixels as 32-bit lanes.
alignas(64) constexpr int32_t kRgb8Spread[16] = {0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0};
#define QX_RGB_ROW(c) {QX_RGB_LANE(c), QX_RGB_LANE(c), QX_RGB_LANE(c), QX_RGB_LANE(c)}
alignas(64) constexpr int8_t kRgb8In[3][64] = {QX_RGB_ROW(0), QX_RGB_ROW(1), QX_RGB_ROW(2)};
// Back: r | g << 8 | b << 16 to twelve bytes per part, then the parts together.
// (The 48 bytes are loaded and stored as 32 + 16: a masked byte load or store
// costs more than the shuffles on some processors.)
alignas(64) constexpr int8_t kRgb8Out[64] = {QX_PACK_LANE, QX_PACK_LANE, QX_PACK_LANE, QX_PACK_LANE};
alignas(64) constexpr int32_t kRgb8Join[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 3, 7, 11, 15};
// Three 16-bit samples per pixel: words 3j + c of words 0..31 (A) and 32..47
// (B) for channel c; back, word m of the output is pixel m / 3, channel m % 3,
// taken from [r | g] (words 0..15, 16..31) and b (words 32..47).
#define QX_W3(c, j) (3 * (j) + (c))
#define QX_W3_ROW(c)                                                                                                 \
  {QX_W3(c, 0), QX_W3(c, 1), QX_W3(c, 2), QX_W3(c, 3), QX_W3(c, 4), QX_W3(c, 5), QX_W3(c, 6), QX_W3(c, 7),           \
   QX_W3(c, 8), QX_W3(c, 9), QX_W3(c, 10), QX_W3(c, 11), QX_W3(c, 12), QX_W3(c, 13), QX_W3(c, 14), QX_W3(c, 15),     \
   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}
alignas(64) constexpr int16_t kRgb16In[3][32] = {QX_W3_ROW(0), QX_W3_ROW(1), QX_W3_ROW(2)};
#define QX_OUT(m) (int16_t)(16 * ((m) % 3) + (m) / 3)
#define QX_OUT8(m) QX_OUT(m), QX_OUT(m + 1), QX_OUT(m + 2), QX_OUT(m + 3), QX_OUT(m + 4), QX_OUT(m + 5), QX_OUT(m + 6), QX_OUT(m + 7)
alignas(64) constexpr int16_t kRgb16Out[2][32] = {{QX_OUT8(0), QX_OUT8(8), QX_OUT8(16), QX_OUT8(24)},
                                                  {QX_OUT8(32), QX_OUT8(40), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};

// The low (even) and high (odd) 32-bit halves of sixteen 64-bit words in two vectors.
alignas(64) constexpr int32_t kHalves[2][16] = {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30},
                                               {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31}};

// The low and the high 16-bit halves of 32 32-bit words (two vectors).
alignas(64) constexpr int16_t kWordHalves[2][32] = {
    {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62},
    {1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, 41, 43, 45, 47, 49, 51, 53, 55, 57, 59, 61, 63}};

QX_INLINE __m512i Pattern(const void* p) { return _mm512_load_si512(p); }

struct Avx512 {
  using I = __m512i;
  using M = __mmask16;
  static constexpr int kLanes = 16;

  // The 256 cells and fractions of each input channel as two tables of
  // 16-bit words, looked up 32 codes at a time by _mm512_permutex2var_epi16
  // (64 entries per step, four steps, the steps' results chosen by bits 6
  // and 7 of the code): cheaper than gathering them.
  static constexpr bool kByteTables = true;
  struct ByteTables {
    alignas(64) uint16_t cell[3][256];
    alignas(64) uint16_t frac[3][256];
  };
  static QX_INLINE void PrepareByteTables(const qx::SimdLattice& lt, ByteTables& t) {
    for (int c = 0; c < 3; ++c) {
      for (int at = 0; at < 256; at += 32) {
        const I a = _mm512_loadu_si512(lt.cellFrac[c] + at), b = _mm512_loadu_si512(lt.cellFrac[c] + at + 16);
        _mm512_store_si512(t.cell[c] + at, _mm512_permutex2var_epi16(a, Pattern(kWordHalves[0]), b));
        _mm512_store_si512(t.frac[c] + at, _mm512_permutex2var_epi16(a, Pattern(kWordHalves[1]), b));
      }
    }
  }
  static QX_INLINE I LookupWords(const uint16_t* table, I code, __mmask32 bit6, __mmask32 bit7) {
    const I r0 = _mm512_permutex2var_epi16(_mm512_load_si512(table), code, _mm512_load_si512(table + 32));
    const I r1 = _mm512_permutex2var_epi16(_mm512_load_si512(table + 64), code, _mm512_load_si512(table + 96));
    const I r2 = _mm512_permutex2var_epi16(_mm512_load_si512(table + 128), code, _mm512_load_si512(table + 160));
    const I r3 = _mm512_permutex2var_epi16(_mm512_load_si512(table + 192), code, _mm512_load_si512(table + 224));
    return _mm512_mask_mov_epi16(_mm512_mask_mov_epi16(r0, bit6, r1), bit7, _mm512_mask_mov_epi16(r2, bit6, r3));
  }
  // Cell | fraction << 16 of channel c for the codes xa (pixels 0..15) and
  // xb (pixels 16..31).
  static QX_INLINE void LookupByteTables(const ByteTables& t, int c, I xa, I xb, I& ga, I& gb) {
    // Each 128-bit part: four codes of xa, then four of xb; the unpacks below
    // undo exactly that order.
    const I code = _mm512_packus_epi32(xa, xb);
    const __mmask32 bit6 = _mm512_test_epi16_mask(code, _mm512_set1_epi16(64));
    const __mmask32 bit7 = _mm512_test_epi16_mask(code, _mm512_set1_epi16(128));
    const I cell = LookupWords(t.cell[c], code, bit6, bit7);
    const I frac = LookupWords(t.frac[c], code, bit6, bit7);
    ga = _mm512_unpacklo_epi16(cell, frac);
    gb = _mm512_unpackhi_epi16(cell, frac);
  }

  static QX_INLINE I Set1(int32_t v) { return _mm512_set1_epi32(v); }
  static QX_INLINE I Add(I a, I b) { return _mm512_add_epi32(a, b); }
  static QX_INLINE I Sub(I a, I b) { return _mm512_sub_epi32(a, b); }
  static QX_INLINE I Mullo(I a, I b) { return _mm512_mullo_epi32(a, b); }
  static QX_INLINE I And(I a, I b) { return _mm512_and_si512(a, b); }
  static QX_INLINE I Max(I a, I b) { return _mm512_max_epi32(a, b); }
  static QX_INLINE I Min(I a, I b) { return _mm512_min_epi32(a, b); }
  template <int n>
  static QX_INLINE I Shl(I a) { return _mm512_slli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Shr(I a) { return _mm512_srli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Sra(I a) { return _mm512_srai_epi32(a, n); }
  static QX_INLINE M CmpGt(I a, I b) { return _mm512_cmpgt_epi32_mask(a, b); }
  static QX_INLINE I Blend(M m, I a, I b) { return _mm512_mask_blend_epi32(m, a, b); }

  template <int kScale>
  static QX_INLINE I Gather32(const void* base, I index) {
    return _mm512_i32gather_epi32(index, base, kScale);
  }
  // Two gathers of eight 64-bit words, their halves sorted into two vectors.
  static QX_INLINE void Gather64(const uint16_t* table, I index, I& lo, I& hi) {
    const I first = _mm512_i32gather_epi64(_mm512_castsi512_si256(index), table, 2);
    const I second = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(index, 1), table, 2);
    lo = _mm512_permutex2var_epi32(first, Pattern(kHalves[0]), second);
    hi = _mm512_permutex2var_epi32(first, Pattern(kHalves[1]), second);
  }
  // table[index] from the 32-bit word at min(index, last − 3) (entries up to
  // `last` only), shifted down to the wanted entry.
  static QX_INLINE I GatherU8(const uint8_t* table, I index, int32_t last) {
    const I at = _mm512_min_epu32(index, _mm512_set1_epi32(last - 3));
    const I word = _mm512_i32gather_epi32(at, table, 1);
    const I shift = _mm512_slli_epi32(_mm512_sub_epi32(index, at), 3);
    return _mm512_and_si512(_mm512_srlv_epi32(word, shift), _mm512_set1_epi32(0xFF));
  }
  static QX_INLINE I GatherU16(const uint16_t* table, I index, int32_t last) {
    const I at = _mm512_min_epu32(index, _mm512_set1_epi32(last - 1));
    const I word = _mm512_i32gather_epi32(at, table, 2);
    const I shift = _mm512_slli_epi32(_mm512_sub_epi32(index, at), 4);
    return _mm512_and_si512(_mm512_srlv_epi32(word, shift), _mm512_set1_epi32(0xFFFF));
  }
  static QX_INLINE I Abs(I a) { return _mm512_abs_epi32(a); }
  static QX_INLINE I PackPair(I a, I b) { return _mm512_or_si512(a, _mm512_slli_epi32(b, 16)); }
  static QX_INLINE I MaddPairs(I a, I b) { return _mm512_madd_epi16(a, b); }
  // Byte k of p's lanes, then byte k of q's shuffled into byte 2 of each lane.
  static QX_INLINE I BytePair(I p, I q, int k) {
    return _mm512_mask_shuffle_epi8(_mm512_shuffle_epi8(p, Pattern(kByte[k])), 0x4444444444444444ull, q,
                                    Pattern(kByteHi[k]));
  }

  static QX_INLINE I LoadU8(const uint8_t* p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static QX_INLINE I LoadU16(const uint16_t* p) {
    return _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
  }
  static QX_INLINE void StoreU8(uint8_t* p, I v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(v));
  }
  static QX_INLINE void StoreU16(uint16_t* p, I v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_cvtepi32_epi16(v));
  }
  static QX_INLINE void LoadRgb8(const uint8_t* p, I& r, I& g, I& b) {
    const I bytes = _mm512_inserti32x4(_mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), 2);
    const I x = _mm512_permutexvar_epi32(Pattern(kRgb8Spread), bytes);
    r = _mm512_shuffle_epi8(x, Pattern(kRgb8In[0]));
    g = _mm512_shuffle_epi8(x, Pattern(kRgb8In[1]));
    b = _mm512_shuffle_epi8(x, Pattern(kRgb8In[2]));
  }
  static QX_INLINE void StoreRgb8(uint8_t* p, I r, I g, I b) {
    const I w = _mm512_or_si512(r, _mm512_or_si512(_mm512_slli_epi32(g, 8), _mm512_slli_epi32(b, 16)));
    const I x = _mm512_permutexvar_epi32(Pattern(kRgb8Join), _mm512_shuffle_epi8(w, Pattern(kRgb8Out)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm512_castsi512_si256(x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), _mm512_extracti32x4_epi32(x, 2));
  }
  static QX_INLINE void LoadRgb16(const uint16_t* p, I& r, I& g, I& b) {
    const I a = _mm512_loadu_si512(p);
    const I c = _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)));
    r = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(_mm512_permutex2var_epi16(a, Pattern(kRgb16In[0]), c)));
    g = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(_mm512_permutex2var_epi16(a, Pattern(kRgb16In[1]), c)));
    b = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(_mm512_permutex2var_epi16(a, Pattern(kRgb16In[2]), c)));
  }
  static QX_INLINE void StoreRgb16(uint16_t* p, I r, I g, I b) {
    const I rg = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(r)), _mm512_cvtepi32_epi16(g), 1);
    const I bw = _mm512_castsi256_si512(_mm512_cvtepi32_epi16(b));
    _mm512_storeu_si512(p, _mm512_permutex2var_epi16(rg, Pattern(kRgb16Out[0]), bw));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32),
                        _mm512_castsi512_si256(_mm512_permutex2var_epi16(rg, Pattern(kRgb16Out[1]), bw)));
  }
};

}  // namespace

#include "transform/tintmesh_simd_lattice.h"

qx::SimdLatticeFn qx::PickLatticeAvx512(bool table16, bool in16, bool out16, int32_t nOut) {
  return PickLattice<Avx512>(table16, in16, out16, nOut);
}

#else
qx::SimdLatticeFn qx::PickLatticeAvx512(bool, bool, bool, int32_t) { return nullptr; }
#endif
