// The SSE4.1 lattice kernels: four pixels at a time. SSE4.1 has no gather,
// so the table lookups are plain loads lane by lane; the simplex choice and
// the weighted sums run on vectors. Compiled with -msse4.1 (CMakeLists.txt);
// reached only through qx::PickLatticeSse41 on a processor that has SSE4.1.
#include "transform/tintmesh_simd.h"

#if defined(__x86_64__) || defined(__i386__)
#if !defined(__SSE4_1__)
#error "tintmesh_simd_sse41.cpp must be compiled with -msse4.1"
#endif

#include <immintrin.h>

#include <cstring>

#define QX_INLINE inline __attribute__((always_inline))

namespace {

// Byte patterns for _mm_shuffle_epi8; -1 clears the byte.
alignas(16) constexpr int8_t kByte[4][16] = {
    {0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1, -1, -1},
    {1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1, -1, -1},
    {2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1, -1, -1},
    {3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1, -1, -1}};
// The same bytes moved to bits 16-23.
alignas(16) constexpr int8_t kByteHi[4][16] = {
    {-1, -1, 0, -1, -1, -1, 4, -1, -1, -1, 8, -1, -1, -1, 12, -1},
    {-1, -1, 1, -1, -1, -1, 5, -1, -1, -1, 9, -1, -1, -1, 13, -1},
    {-1, -1, 2, -1, -1, -1, 6, -1, -1, -1, 10, -1, -1, -1, 14, -1},
    {-1, -1, 3, -1, -1, -1, 7, -1, -1, -1, 11, -1, -1, -1, 15, -1}};
// Three 8-bit samples per pixel: channel c of pixels 0..3 from bytes 0..11.
alignas(16) constexpr int8_t kRgb8In[3][16] = {
    {0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1},
    {1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1},
    {2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1}};
// Four pixels r | g << 8 | b << 16 to twelve bytes.
alignas(16) constexpr int8_t kRgb8Out[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};
// Three 16-bit samples per pixel: words 0..7 in A, 8..11 in B; channel c of
// pixels 0..3 as 32-bit lanes.
alignas(16) constexpr int8_t kRgb16InA[3][16] = {
    {0, 1, -1, -1, 6, 7, -1, -1, 12, 13, -1, -1, -1, -1, -1, -1},
    {2, 3, -1, -1, 8, 9, -1, -1, 14, 15, -1, -1, -1, -1, -1, -1},
    {4, 5, -1, -1, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};
alignas(16) constexpr int8_t kRgb16InB[3][16] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 3, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 4, 5, -1, -1},
    {-1, -1, -1, -1, -1, -1, -1, -1, 0, 1, -1, -1, 6, 7, -1, -1}};
// Back: from rg = r | g << 16 and the words b0..b3, bytes 0..15 and 16..23.
alignas(16) constexpr int8_t kRgb16OutA[16] = {0, 1, 2, 3, -1, -1, 4, 5, 6, 7, -1, -1, 8, 9, 10, 11};
alignas(16) constexpr int8_t kRgb16OutB[16] = {-1, -1, -1, -1, 0, 1, -1, -1, -1, -1, 2, 3, -1, -1, -1, -1};
alignas(16) constexpr int8_t kRgb16OutC[16] = {-1, -1, 12, 13, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
alignas(16) constexpr int8_t kRgb16OutD[16] = {4, 5, -1, -1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1};

QX_INLINE __m128i Pattern(const int8_t* p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p)); }

struct Sse41 {
  using I = __m128i;
  using M = __m128i;
  static constexpr int kLanes = 4;
  static constexpr bool kByteTables = false;
  struct ByteTables {};
  static void PrepareByteTables(const qx::SimdLattice&, ByteTables&) {}
  static void LookupByteTables(const ByteTables&, int, I, I, I&, I&) {}

  static QX_INLINE I Set1(int32_t v) { return _mm_set1_epi32(v); }
  static QX_INLINE I Add(I a, I b) { return _mm_add_epi32(a, b); }
  static QX_INLINE I Sub(I a, I b) { return _mm_sub_epi32(a, b); }
  static QX_INLINE I Mullo(I a, I b) { return _mm_mullo_epi32(a, b); }
  static QX_INLINE I And(I a, I b) { return _mm_and_si128(a, b); }
  static QX_INLINE I Max(I a, I b) { return _mm_max_epi32(a, b); }
  static QX_INLINE I Min(I a, I b) { return _mm_min_epi32(a, b); }
  template <int n>
  static QX_INLINE I Shl(I a) { return _mm_slli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Shr(I a) { return _mm_srli_epi32(a, n); }
  template <int n>
  static QX_INLINE I Sra(I a) { return _mm_srai_epi32(a, n); }
  static QX_INLINE M CmpGt(I a, I b) { return _mm_cmpgt_epi32(a, b); }
  static QX_INLINE I Blend(M m, I a, I b) { return _mm_blendv_epi8(a, b, m); }

  template <int kScale>
  static QX_INLINE I Gather32(const void* base, I index) {
    const char* b = static_cast<const char*>(base);
    int32_t w[4];
    std::memcpy(&w[0], b + (size_t)(uint32_t)_mm_cvtsi128_si32(index) * kScale, 4);
    std::memcpy(&w[1], b + (size_t)(uint32_t)_mm_extract_epi32(index, 1) * kScale, 4);
    std::memcpy(&w[2], b + (size_t)(uint32_t)_mm_extract_epi32(index, 2) * kScale, 4);
    std::memcpy(&w[3], b + (size_t)(uint32_t)_mm_extract_epi32(index, 3) * kScale, 4);
    return _mm_setr_epi32(w[0], w[1], w[2], w[3]);
  }
  static QX_INLINE void Gather64(const uint16_t* table, I index, I& lo, I& hi) {
    lo = Gather32<2>(table, index);
    hi = Gather32<2>(table + 2, index);
  }
  template <class T>
  static QX_INLINE I GatherExact(const T* table, I index) {
    return _mm_setr_epi32(table[(uint32_t)_mm_cvtsi128_si32(index)], table[(uint32_t)_mm_extract_epi32(index, 1)],
                          table[(uint32_t)_mm_extract_epi32(index, 2)], table[(uint32_t)_mm_extract_epi32(index, 3)]);
  }
  static QX_INLINE I GatherU8(const uint8_t* table, I index, int32_t) { return GatherExact(table, index); }
  static QX_INLINE I GatherU16(const uint16_t* table, I index, int32_t) { return GatherExact(table, index); }
  static QX_INLINE I Abs(I a) { return _mm_abs_epi32(a); }
  static QX_INLINE I PackPair(I a, I b) { return _mm_or_si128(a, _mm_slli_epi32(b, 16)); }
  static QX_INLINE I MaddPairs(I a, I b) { return _mm_madd_epi16(a, b); }
  static QX_INLINE I BytePair(I p, I q, int k) {
    return _mm_or_si128(_mm_shuffle_epi8(p, Pattern(kByte[k])), _mm_shuffle_epi8(q, Pattern(kByteHi[k])));
  }

  static QX_INLINE I LoadU8(const uint8_t* p) {
    int32_t w;
    std::memcpy(&w, p, 4);
    return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(w));
  }
  static QX_INLINE I LoadU16(const uint16_t* p) {
    return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static QX_INLINE void StoreU8(uint8_t* p, I v) {
    const I words = _mm_packus_epi32(v, v);
    const int32_t w = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(p, &w, 4);
  }
  static QX_INLINE void StoreU16(uint16_t* p, I v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi32(v, v));
  }
  static QX_INLINE void LoadRgb8(const uint8_t* p, I& r, I& g, I& b) {
    int32_t tail;
    std::memcpy(&tail, p + 8, 4);
    const I x = _mm_insert_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), tail, 2);
    r = _mm_shuffle_epi8(x, Pattern(kRgb8In[0]));
    g = _mm_shuffle_epi8(x, Pattern(kRgb8In[1]));
    b = _mm_shuffle_epi8(x, Pattern(kRgb8In[2]));
  }
  static QX_INLINE void StoreRgb8(uint8_t* p, I r, I g, I b) {
    const I w = _mm_or_si128(r, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(b, 16)));
    const I x = _mm_shuffle_epi8(w, Pattern(kRgb8Out));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), x);
    const int32_t tail = _mm_extract_epi32(x, 2);
    std::memcpy(p + 8, &tail, 4);
  }
  static QX_INLINE void LoadRgb16(const uint16_t* p, I& r, I& g, I& b) {
    const I a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const I c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 8));
    r = _mm_or_si128(_mm_shuffle_epi8(a, Pattern(kRgb16InA[0])), _mm_shuffle_epi8(c, Pattern(kRgb16InB[0])));
    g = _mm_or_si128(_mm_shuffle_epi8(a, Pattern(kRgb16InA[1])), _mm_shuffle_epi8(c, Pattern(kRgb16InB[1])));
    b = _mm_or_si128(_mm_shuffle_epi8(a, Pattern(kRgb16InA[2])), _mm_shuffle_epi8(c, Pattern(kRgb16InB[2])));
  }
  static QX_INLINE void StoreRgb16(uint16_t* p, I r, I g, I b) {
    const I rg = _mm_or_si128(r, _mm_slli_epi32(g, 16));
    const I bw = _mm_packus_epi32(b, b);
    const I head = _mm_or_si128(_mm_shuffle_epi8(rg, Pattern(kRgb16OutA)), _mm_shuffle_epi8(bw, Pattern(kRgb16OutB)));
    const I tail = _mm_or_si128(_mm_shuffle_epi8(rg, Pattern(kRgb16OutC)), _mm_shuffle_epi8(bw, Pattern(kRgb16OutD)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), head);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 8), tail);
  }
};

}  // namespace

#include "transform/tintmesh_simd_lattice.h"

qx::SimdLatticeFn qx::PickLatticeSse41(bool table16, bool in16, bool out16, int32_t nOut) {
  return PickLattice<Sse41>(table16, in16, out16, nOut);
}

#else
qx::SimdLatticeFn qx::PickLatticeSse41(bool, bool, bool, int32_t) { return nullptr; }
#endif
