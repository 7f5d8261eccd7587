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

#include "transform/tintmesh_simd_x86.h"

namespace {

// Shuffle patterns (tintmesh_simd_x86.h).
alignas(16) constexpr int8_t kByte[4][16] = {{QX_BYTE_LANE(0)}, {QX_BYTE_LANE(1)}, {QX_BYTE_LANE(2)}, {QX_BYTE_LANE(3)}};
alignas(16) constexpr int8_t kByteHi[4][16] = {{QX_HI_LANE(0)}, {QX_HI_LANE(1)}, {QX_HI_LANE(2)}, {QX_HI_LANE(3)}};
alignas(16) constexpr int8_t kRgb8In[3][16] = {{QX_RGB_LANE(0)}, {QX_RGB_LANE(1)}, {QX_RGB_LANE(2)}};
alignas(16) constexpr int8_t kRgb8Out[16] = {QX_PACK_LANE};

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
    return _mm_or_si128(_mm_shuffle_epi8(p, Pattern128(kByte[k])), _mm_shuffle_epi8(q, Pattern128(kByteHi[k])));
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
    r = _mm_shuffle_epi8(x, Pattern128(kRgb8In[0]));
    g = _mm_shuffle_epi8(x, Pattern128(kRgb8In[1]));
    b = _mm_shuffle_epi8(x, Pattern128(kRgb8In[2]));
  }
  static QX_INLINE void StoreRgb8(uint8_t* p, I r, I g, I b) {
    const I w = _mm_or_si128(r, _mm_or_si128(_mm_slli_epi32(g, 8), _mm_slli_epi32(b, 16)));
    const I x = _mm_shuffle_epi8(w, Pattern128(kRgb8Out));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), x);
    const int32_t tail = _mm_extract_epi32(x, 2);
    std::memcpy(p + 8, &tail, 4);
  }
  static QX_INLINE void LoadRgb16(const uint16_t* p, I& r, I& g, I& b) { LoadRgb16x4(p, r, g, b); }
  static QX_INLINE void StoreRgb16(uint16_t* p, I r, I g, I b) { StoreRgb16x4(p, r, g, b); }
};

}  // namespace

#include "transform/tintmesh_simd_lattice.h"

qx::SimdLatticeFn qx::PickLatticeSse41(bool table16, bool in16, bool out16, int32_t nOut) {
  return PickLattice<Sse41>(table16, in16, out16, nOut);
}

#else
qx::SimdLatticeFn qx::PickLatticeSse41(bool, bool, bool, int32_t) { return nullptr; }
#endif
