#include "transform/tintmesh_eval.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "transform/tintmesh_internal.h"
#include "transform/tintmesh_simd.h"

namespace {

// ---- curve and single-input kernels ------------------------------------------------

struct CurveCtx {
  const uint8_t* c8[kQXMaxChannels] = {};    // composed curve, 8-bit results (or stage 1)
  const uint16_t* c16[kQXMaxChannels] = {};  // composed curve, 16-bit results (or stage 2)
};

using CurveFn = void (*)(const CurveCtx&, int32_t, const QXChannelPtrs&, ptrdiff_t, const QXChannelPtrs&, ptrdiff_t);

// out_c = C_c[in_c] (single-input: C_c[in_0]); two stages: C16_c[C8_c[in_c]].
template <class In, class Out, int N, bool Single, bool TwoStage>
void CurveKernel(const CurveCtx& cx, int32_t count, const QXChannelPtrs& ip, ptrdiff_t is, const QXChannelPtrs& op,
                 ptrdiff_t os) {
  const In* in[N];
  Out* out[N];
  const uint8_t* l8[N];
  const uint16_t* l16[N];
  for (int c = 0; c < N; ++c) {
    in[c] = static_cast<const In*>(ip.chan[Single ? 0 : c]);
    out[c] = static_cast<Out*>(op.chan[c]);
    l8[c] = cx.c8[c];
    l16[c] = cx.c16[c];
  }
  for (int32_t i = 0; i < count; ++i) {
    const ptrdiff_t ii = i * is, oo = i * os;
#pragma GCC unroll 4
    for (int c = 0; c < N; ++c) {
      const uint32_t x = in[c][ii];
      if constexpr (sizeof(Out) == 1) out[c][oo] = l8[c][x];
      else if constexpr (TwoStage) out[c][oo] = l16[c][l8[c][x]];
      else out[c][oo] = l16[c][x];
    }
  }
}

template <class In, class Out, bool Single, bool TwoStage>
CurveFn PickCurveN(int n) {
  switch (n) {
    case 1: return CurveKernel<In, Out, 1, Single, TwoStage>;
    case 3: return CurveKernel<In, Out, 3, Single, TwoStage>;
    case 4: return CurveKernel<In, Out, 4, Single, TwoStage>;
    default: return nullptr;
  }
}

template <bool Single>
CurveFn PickCurve(bool in16, bool out16, bool p16, int n) {
  if (!in16 && !out16) return PickCurveN<uint8_t, uint8_t, Single, false>(n);
  if (!in16) return PickCurveN<uint8_t, uint16_t, Single, false>(n);
  if (!out16) return PickCurveN<uint16_t, uint8_t, Single, false>(n);
  return p16 ? PickCurveN<uint16_t, uint16_t, Single, false>(n) : PickCurveN<uint16_t, uint16_t, Single, true>(n);
}

// ---- lattice kernels ---------------------------------------------------------------------

struct LatticeCtx {
  const uint32_t* off[kQXMaxChannels] = {};
  const uint8_t* cell[kQXMaxChannels] = {};
  const uint16_t* frac[kQXMaxChannels] = {};
  const void* table = nullptr;
  // Corner chain by comparison bits: offsets from the base entry of the
  // corners after the first (cumulative strides in decreasing-fraction order).
  uint32_t chain[64][3] = {};
  uint32_t all = 0;  // far corner: every stride
  uint32_t stride[kQXMaxChannels] = {};
  const uint8_t* curve8[kQXMaxChannels] = {};
  const uint16_t* curve16[kQXMaxChannels] = {};
};

using LatticeFn = void (*)(const LatticeCtx&, int32_t, const QXChannelPtrs&, ptrdiff_t, const QXChannelPtrs&,
                           ptrdiff_t);

// Interpolation shift and rounding addend by table and output width.
template <class TT, class Out>
struct Scaling {
  static constexpr int kShift = sizeof(TT) == 1 ? (sizeof(Out) == 1 ? 15 : 7) : (sizeof(Out) == 1 ? 23 : 15);
  static constexpr int32_t kRound = sizeof(TT) == 1 ? (sizeof(Out) == 1 ? 16384 : 127) : (sizeof(Out) == 1 ? 0 : 16384);
};

const uint16_t* Identity16() {
  static const uint16_t* table = [] {
    static uint16_t t[65536];
    for (int32_t x = 0; x < 65536; ++x) t[x] = (uint16_t)x;
    return t;
  }();
  return table;
}

// Comparison bits of the fractions: bit of pair (a, b), a < b, is f_a >= f_b.
template <int NIN>
inline uint32_t OrderBits(const int32_t* f) {
  if constexpr (NIN == 3) {
    return (uint32_t)(f[0] >= f[1]) | (uint32_t)(f[0] >= f[2]) << 1 | (uint32_t)(f[1] >= f[2]) << 2;
  } else {
    return (uint32_t)(f[0] >= f[1]) | (uint32_t)(f[0] >= f[2]) << 1 | (uint32_t)(f[0] >= f[3]) << 2 |
           (uint32_t)(f[1] >= f[2]) << 3 | (uint32_t)(f[1] >= f[3]) << 4 | (uint32_t)(f[2] >= f[3]) << 5;
  }
}

inline void SortDown(int32_t& a, int32_t& b) {
  const int32_t hi = std::max(a, b), lo = std::min(a, b);
  a = hi;
  b = lo;
}

constexpr int kBlock = 64;

// Simplex interpolation of the n pixels of a block, one at a time: the
// simplex chosen without branches, one weighted sum and one shift per output
// channel. S = Σ weight × corner is formed as
// c0·32768 + fa·(c1 − c0) + fb·(c2 − c1) + ..., which is the same integer:
// every partial sum is itself a weighted sum of corners with weights ≥ 0, so
// nothing leaves 0..65535·32768 and S fits a signed 32-bit integer.
template <class TT, int NIN, int NOUT, int kShift, int32_t kRound>
inline void InterpolateScalar(const LatticeCtx& cx, const uint32_t* base, const int32_t (*frac)[kBlock], int32_t n,
                              int32_t (*v)[kBlock]) {
  const TT* const table = static_cast<const TT*>(cx.table);
  const uint32_t all = cx.all;
  for (int32_t j = 0; j < n; ++j) {
    int32_t f[NIN];
#pragma GCC unroll 4
    for (int c = 0; c < NIN; ++c) f[c] = frac[c][j];
    const uint32_t* links = cx.chain[OrderBits<NIN>(f)];
    const TT* p0 = table + base[j];
    const TT* p1 = p0 + links[0];
    const TT* p2 = p0 + links[1];
    if constexpr (NIN == 3) {
      const int32_t fa = std::max(std::max(f[0], f[1]), f[2]);
      const int32_t fc = std::min(std::min(f[0], f[1]), f[2]);
      const int32_t fb = f[0] + f[1] + f[2] - fa - fc;
      const TT* p3 = p0 + all;
#pragma GCC unroll 4
      for (int k = 0; k < NOUT; ++k) {
        const int32_t c0 = p0[k], c1 = p1[k], c2 = p2[k], c3 = p3[k];
        v[k][j] = ((c0 << 15) + fa * (c1 - c0) + fb * (c2 - c1) + fc * (c3 - c2) + kRound) >> kShift;
      }
    } else {
      int32_t fa = f[0], fb = f[1], fc = f[2], fd = f[3];
      SortDown(fa, fb);
      SortDown(fc, fd);
      SortDown(fa, fc);
      SortDown(fb, fd);
      SortDown(fb, fc);
      const TT* p3 = p0 + links[2];
      const TT* p4 = p0 + all;
#pragma GCC unroll 4
      for (int k = 0; k < NOUT; ++k) {
        const int32_t c0 = p0[k], c1 = p1[k], c2 = p2[k], c3 = p3[k], c4 = p4[k];
        v[k][j] = ((c0 << 15) + fa * (c1 - c0) + fb * (c2 - c1) + fc * (c3 - c2) + fd * (c4 - c3) + kRound) >> kShift;
      }
    }
  }
}

// One lattice kernel, in blocks of pixels: the n_in cell and fraction
// lookups of the block's pixels, one channel at a time; the interpolation;
// then the output curves. Splitting the three keeps each loop's pointers in
// registers.
template <class TT, class In, class Out, int NIN, int NOUT, bool Curve16>
void LatticeKernel(const LatticeCtx& cx, int32_t count, const QXChannelPtrs& ip, ptrdiff_t is, const QXChannelPtrs& op,
                   ptrdiff_t os) {
  constexpr int kShift = Scaling<TT, Out>::kShift;
  constexpr int32_t kRound = Scaling<TT, Out>::kRound;
  const uint16_t* const identity = Identity16();
  uint32_t base[kBlock];
  int32_t frac[NIN][kBlock];
  int32_t v[NOUT][kBlock];
  for (int32_t start = 0; start < count; start += kBlock) {
    const int32_t n = std::min(kBlock, count - start);
#pragma GCC unroll 1
    for (int c = 0; c < NIN; ++c) {
      const In* in = static_cast<const In*>(ip.chan[c]) + start * is;
      const uint32_t* off = cx.off[c];
      const uint8_t* cell = cx.cell[c];
      const uint16_t* fr = cx.frac[c];
      int32_t* f = frac[c];
      if (c == 0) {
        for (int32_t j = 0; j < n; ++j) {
          const uint32_t x = in[j * is];
          base[j] = sizeof(In) == 1 ? off[x] : off[cell[x]];
          f[j] = fr[x];
        }
      } else {
        for (int32_t j = 0; j < n; ++j) {
          const uint32_t x = in[j * is];
          base[j] += sizeof(In) == 1 ? off[x] : off[cell[x]];
          f[j] = fr[x];
        }
      }
    }
    InterpolateScalar<TT, NIN, NOUT, kShift, kRound>(cx, base, frac, n, v);
#pragma GCC unroll 1
    for (int k = 0; k < NOUT; ++k) {
      Out* out = static_cast<Out*>(op.chan[k]) + start * os;
      const int32_t* vk = v[k];
      if constexpr (sizeof(Out) == 1) {
        const uint8_t* curve = cx.curve8[k];
        for (int32_t i = 0; i < n; ++i) out[i * os] = curve[vk[i]];
      } else if constexpr (Curve16) {
        const uint16_t* curve = cx.curve16[k] ? cx.curve16[k] : identity;
        for (int32_t i = 0; i < n; ++i) out[i * os] = curve[vk[i]];
      } else {
        for (int32_t i = 0; i < n; ++i) out[i * os] = (uint16_t)vk[i];
      }
    }
  }
}

template <class TT, class In, class Out, int NIN, bool Curve16>
LatticeFn PickLatticeOut(int nOut) {
  switch (nOut) {
    case 1: return LatticeKernel<TT, In, Out, NIN, 1, Curve16>;
    case 3: return LatticeKernel<TT, In, Out, NIN, 3, Curve16>;
    case 4: return LatticeKernel<TT, In, Out, NIN, 4, Curve16>;
    default: return nullptr;
  }
}

template <class TT, class In, class Out, bool Curve16>
LatticeFn PickLatticeIn(int nIn, int nOut) {
  return nIn == 3 ? PickLatticeOut<TT, In, Out, 3, Curve16>(nOut)
                  : nIn == 4 ? PickLatticeOut<TT, In, Out, 4, Curve16>(nOut) : nullptr;
}

template <class TT, class In>
LatticeFn PickLatticeTail(bool out16, bool curve16, int nIn, int nOut) {
  if (!out16) return PickLatticeIn<TT, In, uint8_t, false>(nIn, nOut);
  return curve16 ? PickLatticeIn<TT, In, uint16_t, true>(nIn, nOut) : PickLatticeIn<TT, In, uint16_t, false>(nIn, nOut);
}

LatticeFn PickLattice(bool p16, bool in16, bool out16, bool curve16, int nIn, int nOut) {
  if (p16) {
    return in16 ? PickLatticeTail<uint16_t, uint16_t>(out16, curve16, nIn, nOut)
                : PickLatticeTail<uint16_t, uint8_t>(out16, curve16, nIn, nOut);
  }
  return in16 ? PickLatticeTail<uint8_t, uint16_t>(out16, curve16, nIn, nOut)
              : PickLatticeTail<uint8_t, uint8_t>(out16, curve16, nIn, nOut);
}

// The corner chains for every outcome of the fraction comparisons: channels
// ordered by decreasing fraction (ties to the lower channel), strides added in
// that order.
void BuildChains(const Tintmesh* tm, LatticeCtx& cx) {
  const int n = tm->nIn;
  int pairA[6], pairB[6], pairs = 0;
  for (int a = 0; a < n; ++a) {
    for (int b = a + 1; b < n; ++b) {
      pairA[pairs] = a;
      pairB[pairs] = b;
      ++pairs;
    }
  }
  cx.all = 0;
  for (int c = 0; c < n; ++c) {
    cx.stride[c] = (uint32_t)tm->in[c].stride;
    cx.all += cx.stride[c];
  }
  for (uint32_t bits = 0; bits < (1u << pairs); ++bits) {
    int rank[kQXMaxChannels] = {};
    for (int p = 0; p < pairs; ++p) {
      if (bits >> p & 1) ++rank[pairA[p]];
      else ++rank[pairB[p]];
    }
    int order[kQXMaxChannels];
    for (int c = 0; c < n; ++c) order[c] = c;
    std::stable_sort(order, order + n, [&](int x, int y) { return rank[x] > rank[y]; });
    uint32_t sum = 0;
    for (int k = 0; k < n - 1; ++k) {
      sum += (uint32_t)tm->in[order[k]].stride;
      cx.chain[bits][k] = sum;
    }
  }
}

// Whether a Tintmesh has every array its kernel reads, consistent with its
// grid and paths (a half-built or failed object is refused, not read).
bool ReadyLattice(const Tintmesh* tm) {
  if (!qx::HasTable(tm) || qx::TableCountHeld(tm) != QXTableCount(tm)) return false;
  const int32_t frames = tm->inPath == kQX16Bit ? 65536 : 256;
  int64_t stride = tm->nOut;
  for (int32_t c = 0; c < tm->nIn; ++c) {
    const QXInChannel& ch = tm->in[c];
    if (ch.samples < 2 || ch.stride != stride || ch.fraction.count != frames || ch.cellFrac.count != frames) return false;
    if (tm->inPath == kQX16Bit && ch.cellLookup.count != 65536) return false;
    stride *= ch.samples;
  }
  for (int32_t k = 0; k < tm->nOut; ++k) {
    const QXOutChannel& ch = tm->out[k];
    if (tm->outPath == kQX8Bit) {
      if (ch.curve8.count != 256) return false;
    } else if (!ch.curve16 && !(ch.rangeLow == 0 && ch.rangeHigh == 65535)) {
      return false;
    } else if (ch.curve16 && ch.curve16.count != 65536) {
      return false;
    }
  }
  const int32_t shift = tm->precision == kQX16Bit ? (tm->outPath == kQX16Bit ? 15 : 23) : (tm->outPath == kQX16Bit ? 7 : 15);
  return tm->interpShift == shift;
}

bool ReadyCurves(const Tintmesh* tm, int curves) {
  const bool in16 = tm->inPath == kQX16Bit, o16 = tm->outPath == kQX16Bit, p16 = tm->precision == kQX16Bit;
  const int32_t n = in16 ? 65536 : 256;
  for (int c = 0; c < curves; ++c) {
    const QXInChannel& ch = tm->in[c];
    if (!o16) {
      if (ch.cellLookup.count != n) return false;
    } else if (in16 && !p16) {
      if (ch.cellLookup.count != 65536 || ch.fraction.count != 256) return false;
    } else if (ch.fraction.count != n) {
      return false;
    }
  }
  return true;
}

bool ValidCount(int32_t n) { return n == 1 || n == 3 || n == 4; }

// The active level's kernel for a three-input lattice, or null (scalar).
qx::SimdLatticeFn PickVectorLattice(const Tintmesh* tm) {
  if (tm->nIn != 3) return nullptr;
  const bool p16 = tm->precision == kQX16Bit, in16 = tm->inPath == kQX16Bit, out16 = tm->outPath == kQX16Bit;
  switch (qx::ActiveSimdLevel()) {
    case qx::SimdLevel::kSse41: return qx::PickLatticeSse41(p16, in16, out16, tm->nOut);
    case qx::SimdLevel::kAvx2: return qx::PickLatticeAvx2(p16, in16, out16, tm->nOut);
    case qx::SimdLevel::kAvx512: return qx::PickLatticeAvx512(p16, in16, out16, tm->nOut);
    default: return nullptr;
  }
}

bool IsIdentity8(const uint8_t* curve) {
  static const struct Identity {
    uint8_t v[256];
    Identity() {
      for (int i = 0; i < 256; ++i) v[i] = (uint8_t)i;
    }
  } identity;
  return std::memcmp(curve, identity.v, sizeof identity.v) == 0;
}

// The vector kernel's view of a three-input lattice.
void FillVectorLattice(const Tintmesh* tm, qx::SimdLattice& lt) {
  lt = qx::SimdLattice{};
  for (int32_t c = 0; c < 3; ++c) {
    lt.cellFrac[c] = tm->in[c].cellFrac.get();
    lt.stride[c] = (uint32_t)tm->in[c].stride;
  }
  lt.table = tm->precision == kQX16Bit ? static_cast<const void*>(tm->table16.get())
                                       : static_cast<const void*>(tm->table8.get());
  // An identity output curve (every full 8-bit range) is not looked up.
  for (int32_t k = 0; k < tm->nOut; ++k) {
    const uint8_t* c8 = tm->out[k].curve8.get();
    lt.curve8[k] = tm->outPath == kQX8Bit && !IsIdentity8(c8) ? c8 : nullptr;
    lt.curve16[k] = tm->outPath == kQX16Bit ? tm->out[k].curve16.get() : nullptr;
  }
}

}  // namespace

// A prepared evaluation: the kernel and everything it reads.
struct QXKernel {
  int32_t nIn = 0, nOut = 0;
  qx::SimdLatticeFn vector = nullptr;  // the processor's level, when it has one for this form
  LatticeFn lattice = nullptr;
  CurveFn curves = nullptr;
  qx::SimdLattice vectorCtx{};
  LatticeCtx latticeCtx;
  CurveCtx curveCtx;
};

namespace {

// Checks the Tintmesh and fills the kernel: kOk or kBadArg.
Status Prepare(const Tintmesh* tm, QXKernel& k) {
  if (!tm || !ValidCount(tm->nOut) || !ValidCount(tm->nIn)) return kBadArg;
  if (tm->lattice != 0 && tm->lattice != 1) return kBadArg;
  if ((tm->inPath != kQX8Bit && tm->inPath != kQX16Bit) || (tm->outPath != kQX8Bit && tm->outPath != kQX16Bit))
    return kBadArg;
  if (tm->lattice == 0 && tm->nIn != tm->nOut) return kBadArg;
  const bool in16 = tm->inPath == kQX16Bit, out16 = tm->outPath == kQX16Bit, p16 = tm->precision == kQX16Bit;
  k.nIn = tm->nIn;
  k.nOut = tm->nOut;

  if (QXIsLattice(tm)) {
    if (!ReadyLattice(tm)) return kBadArg;
    if (qx::SimdLatticeFn vector = PickVectorLattice(tm)) {
      k.vector = vector;
      FillVectorLattice(tm, k.vectorCtx);
      return kOk;
    }
    LatticeCtx& cx = k.latticeCtx;
    bool curve16 = false;
    for (int32_t c = 0; c < tm->nIn; ++c) {
      cx.off[c] = tm->in[c].cellOffsets;
      cx.cell[c] = tm->in[c].cellLookup.get();
      cx.frac[c] = tm->in[c].fraction.get();
    }
    for (int32_t c = 0; c < tm->nOut; ++c) {
      cx.curve8[c] = tm->out[c].curve8.get();
      cx.curve16[c] = tm->out[c].curve16.get();
      curve16 = curve16 || cx.curve16[c];
    }
    cx.table = p16 ? static_cast<const void*>(tm->table16.get()) : static_cast<const void*>(tm->table8.get());
    BuildChains(tm, cx);
    k.lattice = PickLattice(p16, in16, out16, curve16, tm->nIn, tm->nOut);
    return k.lattice ? kOk : kBadArg;
  }

  const bool single = tm->lattice == 1;
  if (single && tm->nIn != 1) return kBadArg;
  const int curves = single ? tm->nOut : tm->nIn;
  if (!ReadyCurves(tm, curves)) return kBadArg;
  for (int c = 0; c < curves; ++c) {
    k.curveCtx.c8[c] = tm->in[c].cellLookup.get();
    k.curveCtx.c16[c] = tm->in[c].fraction.get();
  }
  k.curves = single ? PickCurve<true>(in16, out16, p16, curves) : PickCurve<false>(in16, out16, p16, curves);
  return k.curves ? kOk : kBadArg;
}

bool PointersSet(const QXKernel& k, const QXChannelPtrs& in, const QXChannelPtrs& out) {
  for (int32_t c = 0; c < k.nIn; ++c)
    if (!in.chan[c]) return false;
  for (int32_t c = 0; c < k.nOut; ++c)
    if (!out.chan[c]) return false;
  return true;
}

// The handle's fields from its Tintmesh, and its kernel for the current paths.
void Refresh(TintmeshHandle* h) {
  const Tintmesh* tm = h->tintmesh;
  h->nIn = tm->nIn;
  h->nOut = tm->nOut;
  h->inSpace = tm->inSpace;
  h->outSpace = tm->outSpace;
  h->precision = tm->precision;
  h->inPath = tm->inPath;
  h->outPath = tm->outPath;
  QXKernelFree(&h->kernel);
  QXKernelCreate(tm, &h->kernel);
}

}  // namespace

void QXKernelRun(const QXKernel* k, int32_t count, const QXChannelPtrs& in, int32_t inStep, const QXChannelPtrs& out,
                 int32_t outStep) {
  if (count <= 0) return;
  if (k->vector) k->vector(k->vectorCtx, count, in, inStep, out, outStep);
  else if (k->lattice) k->lattice(k->latticeCtx, count, in, inStep, out, outStep);
  else k->curves(k->curveCtx, count, in, inStep, out, outStep);
}

Status QXKernelCreate(const Tintmesh* tm, QXKernel** kernel) {
  if (!kernel) return kBadArg;
  std::unique_ptr<QXKernel> k(new (std::nothrow) QXKernel);
  if (!k) return kNoMem;
  if (Status st = Prepare(tm, *k); st != kOk) return st;
  *kernel = k.release();
  return kOk;
}

void QXKernelFree(QXKernel** kernel) {
  if (!kernel) return;
  delete *kernel;
  *kernel = nullptr;
}

Status QXEvaluate(const Tintmesh* tm, int32_t count, const QXChannelPtrs& in, int32_t inStep, const QXChannelPtrs& out,
                  int32_t outStep) {
  if (!tm || count < 0) return kBadArg;
  QXKernel k;
  if (Status st = Prepare(tm, k); st != kOk) return st;
  if (!PointersSet(k, in, out)) return kBadArg;
  QXKernelRun(&k, count, in, inStep, out, outStep);
  return kOk;
}

Status QXHandleEvaluate(const TintmeshHandle* handle, int32_t count, const QXChannelPtrs& in, int32_t inStep,
                        const QXChannelPtrs& out, int32_t outStep) {
  if (!handle || !handle->kernel || count < 0 || !PointersSet(*handle->kernel, in, out)) return kBadArg;
  QXKernelRun(handle->kernel, count, in, inStep, out, outStep);
  return kOk;
}

Status QXHandleCreate(Tintmesh** tintmesh, TintmeshHandle** handle) {
  if (!tintmesh || !*tintmesh || !handle) return kBadArg;
  TintmeshHandle* h = new (std::nothrow) TintmeshHandle;
  if (!h) return kNoMem;
  h->tintmesh = *tintmesh;
  *tintmesh = nullptr;
  Refresh(h);
  *handle = h;
  return kOk;
}

Status QXHandleSetDataPath(TintmeshHandle* handle, int32_t side, int32_t depth) {
  if (!handle || !handle->tintmesh) return kBadArg;
  Status st = QXSetPhysicalDataPath(handle->tintmesh, side, depth);
  Refresh(handle);
  return st;
}

Status QXHandleFree(TintmeshHandle** handle) {
  if (!handle || !*handle) return kOk;
  QXKernelFree(&(*handle)->kernel);
  Status st = QXFree(&(*handle)->tintmesh);
  delete *handle;
  *handle = nullptr;
  return st;
}
