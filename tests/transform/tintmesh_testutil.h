// Test helpers for the Tintmesh: an owner, builders that go through the QX
// calls as the application's builders do, and a plain per-pixel reference of
// the lattice evaluation written straight from its definition.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "transform/tintmesh.h"
#include "transform/tintmesh_eval.h"

struct TintmeshDeleter {
  void operator()(Tintmesh* tm) const { QXFree(&tm); }
};
using TintmeshPtr = std::unique_ptr<Tintmesh, TintmeshDeleter>;

// Table value of output k at grid point g (positions in table units).
using GridFn = std::function<uint16_t(const uint16_t* positions, int k)>;

// Evenly spaced positions 0..max, rounded.
inline std::vector<uint16_t> EvenPositions(int n, int max) {
  std::vector<uint16_t> p(n);
  for (int k = 0; k < n; ++k) p[k] = (uint16_t)((2 * k * max + (n - 1)) / (2 * (n - 1)));
  return p;
}

// A version 2 lattice built through the QX calls; every channel gets the
// positions `pos[c]`, each table value comes from `fn`.
inline TintmeshPtr MakeLattice(int nIn, int nOut, int precision, const std::vector<std::vector<uint16_t>>& pos,
                               const GridFn& fn) {
  const int space[5] = {0, 5, 0, 1, 4};
  Tintmesh* raw = nullptr;
  EXPECT_EQ(QXInit(&raw, nIn, nOut, space[nIn], space[nOut], 1, 2, precision), 0);
  TintmeshPtr tm(raw);
  for (int c = 0; c < nIn; ++c) {
    std::vector<uint16_t> p = pos[c];
    EXPECT_EQ(QXSetChanSamples(tm.get(), c, (int)p.size(), p.data()), 0);
  }
  int idx[4] = {0, 0, 0, 0};
  int64_t total = 1;
  for (int c = 0; c < nIn; ++c) total *= (int64_t)pos[c].size();
  for (int64_t i = 0; i < total; ++i) {
    int64_t r = i;
    uint16_t at[4] = {};
    for (int c = 0; c < nIn; ++c) {
      idx[c] = (int)(r % (int64_t)pos[c].size());
      r /= (int64_t)pos[c].size();
      at[c] = pos[c][idx[c]];
    }
    uint16_t v[4];
    for (int k = 0; k < nOut; ++k) v[k] = fn(at, k);
    EXPECT_EQ(QXSetDataTableValue(tm.get(), (int32_t)i, v), 0);
  }
  return tm;
}

inline TintmeshPtr MakeLattice(int nIn, int nOut, int precision, const std::vector<uint16_t>& pos, const GridFn& fn) {
  return MakeLattice(nIn, nOut, precision, std::vector<std::vector<uint16_t>>(nIn, pos), fn);
}

// A curve-form (lattice 0) or single-input (lattice 1, one input) Tintmesh
// whose table entry m of channel k is fn(m, k).
inline TintmeshPtr MakeCurves(int nIn, int nOut, int precision, const std::function<uint16_t(int m, int k)>& fn) {
  const int space[5] = {0, 5, 0, 1, 4};
  const int lattice = nIn == 1 && nOut != 1 ? 1 : 0;
  Tintmesh* raw = nullptr;
  EXPECT_EQ(QXInit(&raw, nIn, nOut, space[nIn], space[nOut], lattice, 2, precision), 0);
  TintmeshPtr tm(raw);
  for (int c = 0; c < nIn; ++c) EXPECT_EQ(QXSetChanSamples(tm.get(), c, 0, nullptr), 0);
  const int full = precision == kQX16Bit ? 65536 : 256;
  for (int m = 0; m < full; ++m) {
    uint16_t v[4];
    for (int k = 0; k < nOut; ++k) v[k] = fn(m, k);
    EXPECT_EQ(QXSetDataTableValue(tm.get(), m, v), 0);
  }
  return tm;
}

inline void SetPaths(Tintmesh* tm, int inPath, int outPath) {
  ASSERT_EQ(QXSetPhysicalDataPath(tm, kQXInputSide, inPath), 0);
  ASSERT_EQ(QXSetPhysicalDataPath(tm, kQXOutputSide, outPath), 0);
}

// Planar pixel buffers, one vector per channel, samples as 32-bit values.
struct Planar {
  std::vector<std::vector<uint8_t>> b8;
  std::vector<std::vector<uint16_t>> b16;
  int depth;
  Planar(int channels, int count, int depth_) : depth(depth_) {
    if (depth == kQX8Bit) b8.assign(channels, std::vector<uint8_t>(count));
    else b16.assign(channels, std::vector<uint16_t>(count));
  }
  uint32_t Get(int c, int i) const { return depth == kQX8Bit ? b8[c][i] : b16[c][i]; }
  void Set(int c, int i, uint32_t v) {
    if (depth == kQX8Bit) b8[c][i] = (uint8_t)v;
    else b16[c][i] = (uint16_t)v;
  }
  QXChannelPtrs Ptrs() {
    QXChannelPtrs p;
    const int n = depth == kQX8Bit ? (int)b8.size() : (int)b16.size();
    for (int c = 0; c < n; ++c) p.chan[c] = depth == kQX8Bit ? (void*)b8[c].data() : (void*)b16[c].data();
    return p;
  }
};

// The lattice result of one pixel from the derived arrays, as defined: cell
// bases and fractions, the comparison tree (three inputs) or a full order
// (four), explicit weights 32768 − fa, fa − fb, ..., the weighted sum, the
// shift and the output curve.
inline void ReferenceLattice(const Tintmesh* tm, const uint32_t* x, uint32_t* out) {
  const int n = tm->nIn;
  int64_t base = 0;
  int32_t f[4];
  for (int c = 0; c < n; ++c) {
    const QXInChannel& ch = tm->in[c];
    base += tm->inPath == kQX8Bit ? ch.cellOffsets[x[c]] : ch.cellOffsets[ch.cellLookup.get()[x[c]]];
    f[c] = ch.fraction.get()[x[c]];
  }
  int order[4] = {0, 1, 2, 3};
  if (n == 3) {
    const int32_t f0 = f[0], f1 = f[1], f2 = f[2];
    int o[3];
    if (f0 >= f1) {
      if (f0 < f2) o[0] = 2, o[1] = 0, o[2] = 1;
      else if (f1 < f2) o[0] = 0, o[1] = 2, o[2] = 1;
      else o[0] = 0, o[1] = 1, o[2] = 2;
    } else {
      if (f1 < f2) o[0] = 2, o[1] = 1, o[2] = 0;
      else if (f0 < f2) o[0] = 1, o[1] = 2, o[2] = 0;
      else o[0] = 1, o[1] = 0, o[2] = 2;
    }
    for (int k = 0; k < 3; ++k) order[k] = o[k];
  } else {
    std::stable_sort(order, order + 4, [&](int a, int b) { return f[a] > f[b]; });
  }
  int64_t corner[5];
  int32_t weight[5];
  corner[0] = base;
  for (int k = 0; k < n; ++k) corner[k + 1] = corner[k] + tm->in[order[k]].stride;
  weight[0] = 32768 - f[order[0]];
  for (int k = 1; k < n; ++k) weight[k] = f[order[k - 1]] - f[order[k]];
  weight[n] = f[order[n - 1]];
  for (int k = 0; k < tm->nOut; ++k) {
    int64_t s = tm->interpRound;
    for (int j = 0; j <= n; ++j) {
      const int64_t e = corner[j] + k;
      s += (int64_t)weight[j] * (tm->precision == kQX16Bit ? tm->table16.get()[e] : tm->table8.get()[e]);
    }
    EXPECT_LT(s, INT64_C(1) << 31);
    const int32_t v = (int32_t)(s >> tm->interpShift);
    if (tm->outPath == kQX8Bit) out[k] = tm->out[k].curve8.get()[v];
    else out[k] = tm->out[k].curve16 ? tm->out[k].curve16.get()[v] : (uint32_t)v;
  }
}
