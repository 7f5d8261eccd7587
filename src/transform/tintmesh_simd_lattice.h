// The three-input lattice kernel written once for every vector level. Only
// the level files (tintmesh_simd_<level>.cpp) include it, after defining the
// vector operations `V` of their instruction set; everything here sits in an
// unnamed namespace, so each level file compiles its own copy with its own
// instructions and no copy can stand in for another at link time.
//
// V provides, on vectors I of V::kLanes signed 32-bit lanes and masks M:
//   Set1, Add, Sub, Mullo, And, Max, Min (signed), Shl<n>, Shr<n>
//   (logical), Sra<n> (arithmetic); CmpGt(a, b) -> M; Blend(m, a, b) = m ? b : a;
//   Gather32<scale>(base, index): the 32-bit word at base + index × scale;
//   Gather64(table, index, lo, hi): the 64-bit word at table + index (16-bit
//   entries) as its low and high halves;
//   GatherU8(table, index, last) / GatherU16: table[index] exactly, reading no
//   entry after table[last];
//   Abs; PackPair(a, b) = a | b << 16 (a < 65536); MaddPairs(a, b): per lane
//   the signed 16-bit products a.lo·b.lo + a.hi·b.hi; BytePair(p, q, k): byte k
//   of p's lane in bits 0-7 and byte k of q's in bits 16-23, the rest 0;
//   kByteTables: whether 8-bit codes are looked up two vectors at a time in
//   the level's own tables (ByteTables, filled by PrepareByteTables, read by
//   LookupByteTables) rather than gathered;
//   LoadU8 / LoadU16 (kLanes samples, zero-extended), StoreU8 / StoreU16 (kLanes
//   samples whose values fit), LoadRgb8 / LoadRgb16 and StoreRgb8 / StoreRgb16
//   (kLanes interleaved pixels of three samples, exactly 3 × kLanes samples).
//
// Per pixel, exactly as the scalar kernel: base = Σ cell_c × stride_c and the
// fractions f_c from the input lookups; the channels ordered by decreasing
// fraction, ties to the lower channel, give the corner chain base, + stride of
// the first, + stride of the second, + every stride; then per output channel
// S = Σ weight × corner with the weights 32768 − fa, fa − fb, fb − fc, fc
// (fa ≥ fb ≥ fc the sorted fractions), plus rounding, v = S >> shift, and the
// output curve at v. S fits a signed 32-bit lane (at most 65535 × 32768 +
// 16384).
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/tintmesh_simd.h"

namespace {

template <class TT, class Out>
struct LatticeScaling {
  static constexpr int kShift = sizeof(TT) == 1 ? (sizeof(Out) == 1 ? 15 : 7) : (sizeof(Out) == 1 ? 23 : 15);
  static constexpr int32_t kRound = sizeof(TT) == 1 ? (sizeof(Out) == 1 ? 16384 : 127) : (sizeof(Out) == 1 ? 0 : 16384);
};

// v[k] for the V::kLanes pixels whose cells and fractions are g0, g1, g2
// (cell | fraction << 16 per input channel).
template <class V, class TT, class Out, int NOUT>
inline __attribute__((always_inline)) void InterpolateCells(const qx::SimdLattice& lt, typename V::I g0,
                                                            typename V::I g1, typename V::I g2, typename V::I* v) {
  using I = typename V::I;
  using M = typename V::M;
  const I low16 = V::Set1(0xFFFF);
  const I s0 = V::Set1((int32_t)lt.stride[0]);
  const I s1 = V::Set1((int32_t)lt.stride[1]);
  const I s2 = V::Set1((int32_t)lt.stride[2]);
  const I all = V::Add(s0, V::Add(s1, s2));

  I base = V::Mullo(V::And(g0, low16), s0);
  base = V::Add(base, V::Mullo(V::And(g1, low16), s1));
  base = V::Add(base, V::Mullo(V::And(g2, low16), s2));
  const I f0 = V::template Shr<16>(g0);
  const I f1 = V::template Shr<16>(g1);
  const I f2 = V::template Shr<16>(g2);

  // The simplex: the stride of the largest fraction's channel first, that of
  // the smallest last (ties: the lower channel counts as larger).
  const M g10 = V::CmpGt(f1, f0);
  const M g20 = V::CmpGt(f2, f0);
  const M g21 = V::CmpGt(f2, f1);
  const I first = V::Blend(g10, V::Blend(g20, s0, s2), V::Blend(g21, s1, s2));
  const I last = V::Blend(g10, V::Blend(g21, s2, s1), V::Blend(g20, s2, s0));
  const I fa = V::Max(V::Max(f0, f1), f2);
  const I fc = V::Min(V::Min(f0, f1), f2);
  const I fb = V::Sub(V::Add(f0, V::Add(f1, f2)), V::Add(fa, fc));
  const I o[4] = {base, V::Add(base, first), V::Add(base, V::Sub(all, last)), V::Add(base, all)};

  constexpr int kShift = LatticeScaling<TT, Out>::kShift;
  const I round = V::Set1(LatticeScaling<TT, Out>::kRound);
  I sums[NOUT];
  if constexpr (sizeof(TT) == 1) {
    // One 32-bit load holds the (up to four) entries of a grid point; the
    // table is padded for the last one. 8-bit entries and 15-bit weights
    // multiply in 16-bit pairs: S = |w0·c0 + w1·c1 + w2·c2 + w3·c3| with the
    // weights as signed 16-bit numbers. A weight of 32768 reads as −32768,
    // but it only occurs with every other weight 0, where the absolute value
    // restores 32768·c.
    const uint8_t* table = static_cast<const uint8_t*>(lt.table);
    I q[4];
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) q[j] = V::template Gather32<1>(table, o[j]);
    const I w01 = V::PackPair(V::Sub(V::Set1(32768), fa), V::Sub(fa, fb));
    const I w23 = V::PackPair(V::Sub(fb, fc), fc);
#pragma GCC unroll 4
    for (int k = 0; k < NOUT; ++k) {
      const I c01 = V::BytePair(q[0], q[1], k), c23 = V::BytePair(q[2], q[3], k);
      sums[k] = V::Abs(V::Add(V::MaddPairs(c01, w01), V::MaddPairs(c23, w23)));
    }
  } else {
    // 16-bit entries: two of a grid point per 32-bit half of a 64-bit load;
    // S = c0·32768 + fa·(c1 − c0) + fb·(c2 − c1) + fc·(c3 − c2), the same sum.
    const uint16_t* table = static_cast<const uint16_t*>(lt.table);
    I c[4][NOUT];
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
      if constexpr (NOUT == 1) {
        c[j][0] = V::And(V::template Gather32<2>(table, o[j]), low16);
      } else {
        I q, r;
        V::Gather64(table, o[j], q, r);
        c[j][0] = V::And(q, low16);
        c[j][1] = V::template Shr<16>(q);
        c[j][2] = V::And(r, low16);
        if constexpr (NOUT > 3) c[j][3] = V::template Shr<16>(r);
      }
    }
#pragma GCC unroll 4
    for (int k = 0; k < NOUT; ++k) {
      I sum = V::template Shl<15>(c[0][k]);
      sum = V::Add(sum, V::Mullo(fa, V::Sub(c[1][k], c[0][k])));
      sum = V::Add(sum, V::Mullo(fb, V::Sub(c[2][k], c[1][k])));
      sums[k] = V::Add(sum, V::Mullo(fc, V::Sub(c[3][k], c[2][k])));
    }
  }
#pragma GCC unroll 4
  for (int k = 0; k < NOUT; ++k) {
    I r = V::template Sra<kShift>(V::Add(sums[k], round));
    if constexpr (sizeof(Out) == 1) {
      if (lt.curve8[k]) r = V::GatherU8(lt.curve8[k], r, 255);
    } else {
      if (lt.curve16[k]) r = V::GatherU16(lt.curve16[k], r, 65535);
    }
    v[k] = r;
  }
}

// v[k] for the V::kLanes pixels whose input codes are x0, x1, x2: the cells
// and fractions by one lookup per channel.
template <class V, class TT, class Out, int NOUT>
inline __attribute__((always_inline)) void Interpolate(const qx::SimdLattice& lt, typename V::I x0, typename V::I x1,
                                                       typename V::I x2, typename V::I* v) {
  InterpolateCells<V, TT, Out, NOUT>(lt, V::template Gather32<4>(lt.cellFrac[0], x0),
                                     V::template Gather32<4>(lt.cellFrac[1], x1),
                                     V::template Gather32<4>(lt.cellFrac[2], x2), v);
}

template <class V, class T>
inline __attribute__((always_inline)) typename V::I LoadPlane(const T* p) {
  if constexpr (sizeof(T) == 1) return V::LoadU8(p);
  else return V::LoadU16(p);
}

template <class V, class T>
inline __attribute__((always_inline)) void StorePlane(T* p, typename V::I v) {
  if constexpr (sizeof(T) == 1) V::StoreU8(p, v);
  else V::StoreU16(p, v);
}

template <class T>
bool Consecutive(const QXChannelPtrs& p, int n) {
  const T* first = static_cast<const T*>(p.chan[0]);
  for (int c = 1; c < n; ++c) {
    if (static_cast<const T*>(p.chan[c]) != first + c) return false;
  }
  return true;
}

// The kernel: planar rows (step 1) and interleaved three-sample pixels (step
// 3, channels in order) a vector at a time straight from and to the buffers;
// any other layout, and the last pixels of a run, through small planar
// copies. Every vector's inputs are read before its outputs are written, so
// a run may be evaluated in place.
template <class V, class TT, class In, class Out, int NOUT>
void Lattice3(const qx::SimdLattice& lattice, int32_t count, const QXChannelPtrs& ip, ptrdiff_t is,
              const QXChannelPtrs& op, ptrdiff_t os) {
  using I = typename V::I;
  constexpr int L = V::kLanes;
  // A local copy: the pixel stores could alias the caller's, which would make
  // the compiler reload every field after each of them.
  const qx::SimdLattice lt = lattice;
  const In* in[3];
  Out* out[NOUT];
  for (int c = 0; c < 3; ++c) in[c] = static_cast<const In*>(ip.chan[c]);
  for (int k = 0; k < NOUT; ++k) out[k] = static_cast<Out*>(op.chan[k]);
  const bool inRgb = is == 3 && Consecutive<In>(ip, 3);
  const bool outRgb = NOUT == 3 && os == 3 && Consecutive<Out>(op, 3);
  auto load = [&](int32_t at, I* x) __attribute__((always_inline)) {
    if (inRgb) {
      if constexpr (sizeof(In) == 1) V::LoadRgb8(in[0] + 3 * (ptrdiff_t)at, x[0], x[1], x[2]);
      else V::LoadRgb16(in[0] + 3 * (ptrdiff_t)at, x[0], x[1], x[2]);
    } else {
      for (int c = 0; c < 3; ++c) x[c] = LoadPlane<V>(in[c] + at);
    }
  };
  auto store = [&](int32_t at, const I* v) __attribute__((always_inline)) {
    if constexpr (NOUT == 3) {
      if (outRgb) {
        if constexpr (sizeof(Out) == 1) V::StoreRgb8(out[0] + 3 * (ptrdiff_t)at, v[0], v[1], v[2]);
        else V::StoreRgb16(out[0] + 3 * (ptrdiff_t)at, v[0], v[1], v[2]);
        return;
      }
    }
    for (int k = 0; k < NOUT; ++k) StorePlane<V>(out[k] + at, v[k]);
  };
  int32_t i = 0;
  if ((is == 1 || inRgb) && (os == 1 || outRgb)) {
    if constexpr (sizeof(In) == 1 && V::kByteTables) {
      // 8-bit codes: the cells and fractions of two vectors at a time from
      // the level's own copy of the lookups (worth making for longer runs).
      typename V::ByteTables tables;
      if (count >= 4 * L) V::PrepareByteTables(lt, tables);
      for (; count >= 4 * L && i + 2 * L <= count; i += 2 * L) {
        I x[2][3], g[2][3], v[2][NOUT];
        load(i, x[0]);
        load(i + L, x[1]);
        for (int c = 0; c < 3; ++c) V::LookupByteTables(tables, c, x[0][c], x[1][c], g[0][c], g[1][c]);
        for (int h = 0; h < 2; ++h) {
          InterpolateCells<V, TT, Out, NOUT>(lt, g[h][0], g[h][1], g[h][2], v[h]);
          store(i + h * L, v[h]);
        }
      }
    }
    for (; i + L <= count; i += L) {
      I x[3], v[NOUT];
      load(i, x);
      Interpolate<V, TT, Out, NOUT>(lt, x[0], x[1], x[2], v);
      store(i, v);
    }
  }
  for (; i < count; i += L) {
    const int32_t n = count - i < L ? count - i : L;
    alignas(64) In sx[3][L];
    alignas(64) Out sv[NOUT][L];
    for (int c = 0; c < 3; ++c) {
      for (int32_t j = 0; j < L; ++j) sx[c][j] = j < n ? in[c][(i + j) * is] : 0;
    }
    I v[NOUT];
    Interpolate<V, TT, Out, NOUT>(lt, LoadPlane<V>(sx[0]), LoadPlane<V>(sx[1]), LoadPlane<V>(sx[2]), v);
    for (int k = 0; k < NOUT; ++k) {
      StorePlane<V>(sv[k], v[k]);
      for (int32_t j = 0; j < n; ++j) out[k][(i + j) * os] = sv[k][j];
    }
  }
}

template <class V, class TT, class In, class Out>
qx::SimdLatticeFn PickOut(int32_t nOut) {
  switch (nOut) {
    case 1: return Lattice3<V, TT, In, Out, 1>;
    case 3: return Lattice3<V, TT, In, Out, 3>;
    case 4: return Lattice3<V, TT, In, Out, 4>;
    default: return nullptr;
  }
}

template <class V, class TT>
qx::SimdLatticeFn PickPaths(bool in16, bool out16, int32_t nOut) {
  if (in16) return out16 ? PickOut<V, TT, uint16_t, uint16_t>(nOut) : PickOut<V, TT, uint16_t, uint8_t>(nOut);
  return out16 ? PickOut<V, TT, uint8_t, uint16_t>(nOut) : PickOut<V, TT, uint8_t, uint8_t>(nOut);
}

template <class V>
qx::SimdLatticeFn PickLattice(bool table16, bool in16, bool out16, int32_t nOut) {
  return table16 ? PickPaths<V, uint16_t>(in16, out16, nOut) : PickPaths<V, uint8_t>(in16, out16, nOut);
}

}  // namespace
