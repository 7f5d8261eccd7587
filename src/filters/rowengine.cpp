#include "filters/rowengine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "transform/tintmesh.h"
#include "transform/tintmesh_eval.h"

namespace {

constexpr int32_t kWindow = 5;  // rows in the 5 × 5 window
constexpr int32_t kRing = 6;    // row blocks kept: the window and the row leaving it

// The arithmetic of one sharpening: weight, divisor and its reciprocal.
struct SharpParams {
  int32_t weight = 0;      // w
  int32_t halfK = 0;       // k >> 1
  uint32_t magic8 = 0;     // ceil(2^18 / k): exact for numerators below 2^13
  uint32_t magic16 = 0;    // ceil(2^32 / k) − 2^32·[k = 1]: exact for numerators below 2^27
  uint32_t whole16 = 0;    // all ones when k = 1 (the quotient is the numerator), else 0
  int32_t lo = 0, hi = 255;  // clamp range
};

// The sharpened value of centre c with window sum S. A negative numerator
// would give a result at or below 0, which the clamp (whose low end is a
// code, never negative) turns into lo either way, so it counts as 0.
inline int32_t Sharp8(int32_t c, int32_t S, const SharpParams& p) {
  const int32_t blur = (S * p.weight + (1 << 14)) >> 15;
  const int32_t n = std::max(25 * c - blur + p.halfK, 0);
  const int32_t q = (int32_t)(((uint32_t)n * p.magic8) >> 18);
  return std::min(std::max(q, p.lo), p.hi);
}

// S·w < 2^31 for 16-bit samples (S ≤ 25·65535, w ≤ 983).
inline int32_t Sharp16(int32_t c, int32_t S, const SharpParams& p) {
  const int32_t blur = (S * p.weight + (1 << 9)) >> 10;
  const uint32_t n = (uint32_t)std::max(25 * c - blur + p.halfK, 0);
  const int32_t q = (int32_t)((uint32_t)(((uint64_t)n * p.magic16) >> 32) + (n & p.whole16));
  return std::min(std::max(q, p.lo), p.hi);
}

template <class T>
inline int32_t Sharp(int32_t c, int32_t S, const SharpParams& p) {
  if constexpr (sizeof(T) == 1) return Sharp8(c, S, p);
  else return Sharp16(c, S, p);
}

inline int32_t WindowSum(const int32_t* cs, int32_t x) { return cs[x - 2] + cs[x - 1] + cs[x] + cs[x + 1] + cs[x + 2]; }

template <class T>
void CopyBorders(const T* in, T* out, int32_t width) {
  const int32_t n = std::min(width, 2);
  for (int32_t x = 0; x < n; ++x) out[x] = in[x];
  for (int32_t x = std::max(n, width - 2); x < width; ++x) out[x] = in[x];
}

// ---- Row kernels ---------------------------------------------------------------
// The vectoriser needs its full cost model for these loops (GCC's -O2 keeps a
// cheaper one) and unaliased rows; each kernel also has an AVX2 clone chosen
// at load time.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")
#endif

template <class T>
inline void SharpenBody(const T* __restrict in, const int32_t* __restrict cs, T* __restrict out, int32_t width,
                        SharpParams p) {
  for (int32_t x = 2; x < width - 2; ++x) out[x] = (T)Sharp<T>(in[x], WindowSum(cs, x), p);
}

// cs += add (− sub when given), element by element.
template <class T>
inline void ColumnsBody(const T* __restrict add, const T* __restrict sub, int32_t* __restrict cs, int32_t width) {
  if (sub)
    for (int32_t x = 0; x < width; ++x) cs[x] += (int32_t)add[x] - (int32_t)sub[x];
  else
    for (int32_t x = 0; x < width; ++x) cs[x] += add[x];
}

__attribute__((target_clones("avx2", "default")))
void SharpenKernel(const uint8_t* in, const int32_t* cs, uint8_t* out, int32_t width, SharpParams p) {
  SharpenBody(in, cs, out, width, p);
}
__attribute__((target_clones("avx2", "default")))
void SharpenKernel(const uint16_t* in, const int32_t* cs, uint16_t* out, int32_t width, SharpParams p) {
  SharpenBody(in, cs, out, width, p);
}
__attribute__((target_clones("avx2", "default")))
void ColumnsKernel(const uint8_t* add, const uint8_t* sub, int32_t* cs, int32_t width) {
  ColumnsBody(add, sub, cs, width);
}
__attribute__((target_clones("avx2", "default")))
void ColumnsKernel(const uint16_t* add, const uint16_t* sub, int32_t* cs, int32_t width) {
  ColumnsBody(add, sub, cs, width);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

template <class T>
void SharpenOwn(const T* in, const int32_t* cs, T* out, int32_t width, const SharpParams& p) {
  CopyBorders(in, out, width);
  SharpenKernel(in, cs, out, width, p);
}

template <class T>
void MeanRow(const T* in, const int32_t* cs, T* out, int32_t width) {
  CopyBorders(in, out, width);
  for (int32_t x = 2; x < width - 2; ++x) out[x] = (T)((uint32_t)(WindowSum(cs, x) + 12) / 25u);
}

}  // namespace

struct IPRowEngine {
  IPRowEngineSetup setup;
  Tintmesh* tm = nullptr;  // the engine's copy of the transform
  QXKernel* kernel = nullptr;  // its evaluation, prepared once
  int32_t mode = kIPModeCopy;
  bool sharpen = false;
  int32_t inCh = 0, outCh = 0;
  int32_t sharpCh = 0, sharpDepth = 1;
  bool labLike = false;
  SharpParams params;
  // Rows kept while sharpening: six blocks of sharpCh planes (row r in block
  // r % 6), and the column sums of the five-row window.
  MemPtr<uint8_t[]> ring;
  MemPtr<int32_t[]> colSum;
  MemPtr<int32_t[]> delta;       // channel mode k: the change of channel k
  MemPtr<uint8_t[]> sharpRow;    // mode 4: the sharpened row before the transform
  MemPtr<uint8_t[]> outRow;      // the row handed to the sink
  MemPtr<uint8_t[]> depthTable;  // uint8_t[65536] or uint16_t[256]
  int32_t received = 0, emitted = 0;
  Status failed = kOk;

  ~IPRowEngine() {
    QXKernelFree(&kernel);
    QXFree(&tm);
  }

  size_t PlaneBytes(int32_t depth) const { return (size_t)setup.width * depth; }
  void* Plane(uint8_t* base, int32_t c, int32_t depth) const { return base + c * PlaneBytes(depth); }
  uint8_t* Slot(int32_t row) const { return ring.get() + (size_t)(row % kRing) * sharpCh * PlaneBytes(sharpDepth); }

  Status Emit(const IPRow& planes) {
    Status st = setup.sink(setup.sinkContext, emitted, planes);
    if (st != kOk) return failed = st;
    ++emitted;
    return kOk;
  }

  IPRow RowOf(uint8_t* base, int32_t channels, int32_t depth) const {
    IPRow r;
    for (int32_t c = 0; c < channels; ++c) r.chan[c] = Plane(base, c, depth);
    return r;
  }

  Status Transform(const IPRow& in, uint8_t* out) const {
    QXChannelPtrs src, dst;
    for (int32_t c = 0; c < inCh; ++c) src.chan[c] = const_cast<void*>(in.chan[c]);
    for (int32_t c = 0; c < outCh; ++c) dst.chan[c] = Plane(out, c, setup.outDepth);
    QXKernelRun(kernel, setup.width, src, 1, dst, 1);
    return kOk;
  }

  // Input row → output depth, through the table when the depths differ.
  void Convert(const IPRow& in, uint8_t* out) const {
    const int32_t W = setup.width;
    for (int32_t c = 0; c < inCh; ++c) {
      if (setup.inDepth == setup.outDepth) {
        std::memcpy(Plane(out, c, setup.outDepth), in.chan[c], PlaneBytes(setup.outDepth));
      } else if (setup.inDepth == 2) {
        const uint16_t* s = static_cast<const uint16_t*>(in.chan[c]);
        uint8_t* d = static_cast<uint8_t*>(Plane(out, c, 1));
        const uint8_t* t = depthTable.get();
        for (int32_t x = 0; x < W; ++x) d[x] = t[s[x]];
      } else {
        const uint8_t* s = static_cast<const uint8_t*>(in.chan[c]);
        uint16_t* d = static_cast<uint16_t*>(Plane(out, c, 2));
        const uint16_t* t = reinterpret_cast<const uint16_t*>(depthTable.get());
        for (int32_t x = 0; x < W; ++x) d[x] = t[s[x]];
      }
    }
  }

  // A row of the ring (or the sharpened row) on its way out: mode 4 transforms it.
  Status EmitSharpDepth(uint8_t* base) {
    if (mode == kIPModeSharpenTransform) {
      Status st = Transform(RowOf(base, sharpCh, sharpDepth), outRow.get());
      if (st != kOk) return failed = st;
      return Emit(RowOf(outRow.get(), outCh, setup.outDepth));
    }
    return Emit(RowOf(base, sharpCh, sharpDepth));
  }

  // The column sums take the new row in `slot` and lose `old` (or nothing).
  template <class T>
  void AddColumns(const uint8_t* slot, const uint8_t* old) {
    const int32_t W = setup.width;
    for (int32_t c = 0; c < sharpCh; ++c) {
      const T* add = static_cast<const T*>(Plane(const_cast<uint8_t*>(slot), c, sharpDepth));
      const T* sub = old ? static_cast<const T*>(Plane(const_cast<uint8_t*>(old), c, sharpDepth)) : nullptr;
      ColumnsKernel(add, sub, colSum.get() + (size_t)c * W, W);
    }
  }

  // Sharpens ring row y (its four neighbours are in the ring) into `out`.
  template <class T>
  void SharpenInto(int32_t y, uint8_t* out) {
    const int32_t W = setup.width;
    uint8_t* centre = Slot(y);
    auto in = [&](int32_t c) { return static_cast<const T*>(Plane(centre, c, sharpDepth)); };
    auto dst = [&](int32_t c) { return static_cast<T*>(Plane(out, c, sharpDepth)); };
    auto cs = [&](int32_t c) { return colSum.get() + (size_t)c * W; };
    if (labLike) {
      SharpenOwn<T>(in(0), cs(0), dst(0), W, params);
      for (int32_t c = 1; c < sharpCh; ++c) MeanRow<T>(in(c), cs(c), dst(c), W);
    } else if (setup.channelMode < 0) {
      for (int32_t c = 0; c < sharpCh; ++c) SharpenOwn<T>(in(c), cs(c), dst(c), W, params);
    } else {
      const int32_t k = setup.channelMode;
      int32_t* d = delta.get();
      const T* ck = in(k);
      for (int32_t x = 0; x < W; ++x) d[x] = 0;
      for (int32_t x = 2; x < W - 2; ++x) d[x] = Sharp<T>(ck[x], WindowSum(cs(k), x), params) - ck[x];
      for (int32_t c = 0; c < sharpCh; ++c) {
        const T* s = in(c);
        T* o = dst(c);
        for (int32_t x = 0; x < W; ++x) o[x] = (T)std::min(std::max(s[x] + d[x], params.lo), params.hi);
      }
    }
  }

  template <class T>
  Status PushSharp(const IPRow& row) {
    const int32_t i = received;
    uint8_t* slot = Slot(i);  // the block of row i − 6, out of the window since the last push
    switch (mode) {
      case kIPModeSharpen: Convert(row, slot); break;
      case kIPModeTransformSharpen: {
        Status st = Transform(row, slot);
        if (st != kOk) return failed = st;
        break;
      }
      default:  // sharpen first: the input as it is
        for (int32_t c = 0; c < sharpCh; ++c) std::memcpy(Plane(slot, c, sharpDepth), row.chan[c], PlaneBytes(sharpDepth));
        break;
    }
    AddColumns<T>(slot, i >= kWindow ? Slot(i - kWindow) : nullptr);  // row i − 5 leaves the window
    ++received;
    Status st = kOk;
    if (i < 2) st = EmitSharpDepth(slot);
    if (st == kOk && i >= 4) {
      uint8_t* target = mode == kIPModeSharpenTransform ? sharpRow.get() : outRow.get();
      SharpenInto<T>(i - 2, target);
      st = EmitSharpDepth(target);
    }
    if (st == kOk && i == setup.height - 1) {
      st = EmitSharpDepth(Slot(i - 1));
      if (st == kOk) st = EmitSharpDepth(slot);
    }
    return st;
  }

  Status Push(const IPRow& row) {
    if (failed != kOk) return failed;
    if (received >= setup.height) return kBadArg;
    for (int32_t c = 0; c < inCh; ++c)
      if (!row.chan[c]) return kBadArg;
    if (sharpen) return sharpDepth == 1 ? PushSharp<uint8_t>(row) : PushSharp<uint16_t>(row);
    ++received;
    if (mode == kIPModeTransform) {
      Status st = Transform(row, outRow.get());
      if (st != kOk) return failed = st;
      return Emit(RowOf(outRow.get(), outCh, setup.outDepth));
    }
    if (setup.inDepth == setup.outDepth) return Emit(row);
    Convert(row, outRow.get());
    return Emit(RowOf(outRow.get(), outCh, setup.outDepth));
  }
};

namespace {

Status BuildDepthTable(IPRowEngine& e) {
  const IPRowEngineSetup& s = e.setup;
  const int32_t inMax = s.inDepth == 2 ? 65535 : 255, outMax = s.outDepth == 2 ? 65535 : 255;
  const int32_t lo = std::max(0, std::min(s.outLow, s.outHigh)), hi = std::min(outMax, std::max(s.outLow, s.outHigh));
  const size_t entries = (size_t)inMax + 1;
  e.depthTable = MemNewArray<uint8_t>(entries * s.outDepth, false);
  if (!e.depthTable) return kNoMem;
  const double scale = (double)(s.outHigh - s.outLow) / (double)(s.inHigh - s.inLow);
  for (size_t v = 0; v < entries; ++v) {
    const double mapped = std::floor(s.outLow + ((double)v - s.inLow) * scale + 0.5);
    const int32_t code = (int32_t)std::min<double>(std::max<double>(mapped, lo), hi);
    if (s.outDepth == 1) e.depthTable[v] = (uint8_t)code;
    else reinterpret_cast<uint16_t*>(e.depthTable.get())[v] = (uint16_t)code;
  }
  return kOk;
}

Status SetUpTransform(IPRowEngine& e) {
  const IPRowEngineSetup& s = e.setup;
  if (QXValidate(s.transform) != kOk) return kBadArg;
  Status st = QXCopy(s.transform, &e.tm);
  if (st != kOk) return st;
  if ((st = QXSetPhysicalDataPath(e.tm, kQXInputSide, s.inDepth)) != kOk) return st;
  if ((st = QXSetPhysicalDataPath(e.tm, kQXOutputSide, s.outDepth)) != kOk) return st;
  for (int32_t c = 0; c < e.tm->nIn; ++c)
    if ((st = QXSetChanRange(e.tm, kQXInputSide, c, s.inLow, s.inHigh)) != kOk) return st;
  for (int32_t c = 0; c < e.tm->nOut; ++c)
    if ((st = QXSetChanRange(e.tm, kQXOutputSide, c, s.outLow, s.outHigh)) != kOk) return st;
  return QXKernelCreate(e.tm, &e.kernel);
}

}  // namespace

Status IPRowEngineCreate(const IPRowEngineSetup& setup, IPRowEngine** engine) {
  if (!engine) return kBadArg;
  const IPRowEngineSetup& s = setup;
  if (s.strength < 0 || s.strength > 24 || s.channelMode < -1 || s.channelMode > 3 || s.order < 0 || s.order > 2 ||
      s.width < 1 || s.height < 1 || (s.inDepth != 1 && s.inDepth != 2) || (s.outDepth != 1 && s.outDepth != 2) ||
      !s.sink)
    return kBadArg;
  if (s.transform && (s.inLow == s.inHigh || s.outLow == s.outHigh)) return kBadArg;
  if (!s.transform && (s.channels < 1 || s.channels > kIPMaxChannels)) return kBadArg;
  if (!s.transform && s.inDepth != s.outDepth && s.inLow == s.inHigh) return kBadArg;

  auto e = std::make_unique<IPRowEngine>();
  e->setup = setup;
  Status st;
  if (s.transform && (st = SetUpTransform(*e)) != kOk) return st;
  e->inCh = e->tm ? e->tm->nIn : s.channels;
  e->outCh = e->tm ? e->tm->nOut : s.channels;
  e->sharpen = s.strength != 0 && s.height > 4;
  int32_t sharpType = s.colorType;
  if (!e->tm) {
    e->mode = e->sharpen ? kIPModeSharpen : kIPModeCopy;
  } else if (!e->sharpen) {
    e->mode = kIPModeTransform;
  } else if (s.order == 0) {
    e->mode = kIPModeTransformSharpen;
  } else if (s.order == 1) {
    e->mode = kIPModeSharpenTransform;
  } else {
    const bool labIn = e->tm->inSpace == 7 || e->tm->inSpace == 8;
    e->mode = labIn ? kIPModeSharpenTransform
                    : e->tm->nIn >= e->tm->nOut ? kIPModeTransformSharpen : kIPModeSharpenTransform;
  }

  const size_t outBytes = (size_t)e->outCh * e->PlaneBytes(s.outDepth);
  if (e->mode != kIPModeCopy || s.inDepth != s.outDepth) {
    e->outRow = MemNewArray<uint8_t>(outBytes, false);
    if (!e->outRow) return kNoMem;
  }
  if (e->sharpen) {
    const bool first = e->mode == kIPModeSharpenTransform;
    e->sharpCh = first ? e->inCh : e->outCh;
    e->sharpDepth = first ? s.inDepth : s.outDepth;
    if (e->tm) sharpType = first ? e->tm->inSpace : e->tm->outSpace;
    e->labLike = (sharpType == 7 || sharpType == 8) && e->sharpCh == 3;
    if (!e->labLike && s.channelMode >= e->sharpCh) return kBadArg;
    const int32_t lo = first ? s.inLow : s.outLow, hi = first ? s.inHigh : s.outHigh;
    SharpParams& p = e->params;
    p.lo = std::max(0, std::min(lo, hi));
    p.hi = std::min(e->sharpDepth == 2 ? 65535 : 255, std::max(lo, hi));
    const int32_t k = 25 - s.strength;
    p.weight = e->sharpDepth == 1 ? (s.strength * 32768 + 12) / 25 : (s.strength * 1024 + 12) / 25;
    p.halfK = k >> 1;
    p.magic8 = (uint32_t)(((1u << 18) + k - 1) / k);
    p.magic16 = k == 1 ? 0u : (uint32_t)(((UINT64_C(1) << 32) + k - 1) / k);
    p.whole16 = k == 1 ? ~0u : 0u;
    const size_t slotBytes = (size_t)e->sharpCh * e->PlaneBytes(e->sharpDepth);
    e->ring = MemNewArray<uint8_t>(kRing * slotBytes, false);
    e->colSum = MemNewArray<int32_t>((size_t)e->sharpCh * s.width, true);
    e->delta = MemNewArray<int32_t>((size_t)s.width, false);
    if (first) e->sharpRow = MemNewArray<uint8_t>(slotBytes, false);
    if (!e->ring || !e->colSum || !e->delta || (first && !e->sharpRow)) return kNoMem;
  }
  if (!e->tm && s.inDepth != s.outDepth && (st = BuildDepthTable(*e)) != kOk) return st;
  *engine = e.release();
  return kOk;
}

Status IPRowEnginePush(IPRowEngine* engine, const IPRow& row) {
  if (!engine) return kBadArg;
  return engine->Push(row);
}

Status IPRowEngineFree(IPRowEngine** engine) {
  if (engine) {
    delete *engine;
    *engine = nullptr;
  }
  return kOk;
}

int32_t IPRowEngineMode(const IPRowEngine* engine) { return engine ? engine->mode : -1; }

Status IPRowEngineSink(void* engine, int32_t, const IPRow& planes) {
  return IPRowEnginePush(static_cast<IPRowEngine*>(engine), planes);
}
