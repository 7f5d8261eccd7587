// Tintmesh evaluation: every kernel against the plain reference, exactly
// known answers swept over every input, pixel layouts, edge cases.
#include "transform/tintmesh_eval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "transform/tintmesh_simd.h"
#include "transform/tintmesh_testutil.h"

namespace {

using qx::SimdLevel;

// Every kernel level this processor runs, scalar first.
std::vector<SimdLevel> Levels() {
  std::vector<SimdLevel> levels;
  for (int l = 0; l <= (int)qx::CpuSimdLevel(); ++l) levels.push_back((SimdLevel)l);
  return levels;
}

// The vector levels among them.
std::vector<SimdLevel> VectorLevels() {
  std::vector<SimdLevel> levels = Levels();
  levels.erase(levels.begin());
  return levels;
}

// Forces a kernel level for the life of the object.
class ForceLevel {
 public:
  explicit ForceLevel(SimdLevel level) : previous_(qx::SetSimdLevel(level)) {}
  ~ForceLevel() { qx::SetSimdLevel(previous_); }

 private:
  SimdLevel previous_;
};

std::vector<uint16_t> RandomPositions(std::mt19937& rng, int n, int max) {
  std::vector<uint16_t> p{0, (uint16_t)max};
  std::uniform_int_distribution<int> d(1, max - 1);
  while ((int)p.size() < n) {
    const uint16_t v = (uint16_t)d(rng);
    if (std::find(p.begin(), p.end(), v) == p.end()) p.push_back(v);
  }
  std::sort(p.begin(), p.end());
  return p;
}

// Inputs for a run: both ends, equal channels (tied fractions) and random codes.
Planar RandomInputs(std::mt19937& rng, int channels, int count, int depth) {
  Planar in(channels, count, depth);
  const int max = depth == kQX16Bit ? 65535 : 255;
  std::uniform_int_distribution<int> d(0, max);
  for (int i = 0; i < count; ++i) {
    const int same = d(rng);
    for (int c = 0; c < channels; ++c) {
      int v = d(rng);
      if (i == 0) v = 0;
      else if (i == 1) v = max;
      else if (i % 7 == 0) v = same;
      in.Set(c, i, (uint32_t)v);
    }
  }
  return in;
}

TEST(TintmeshEval, LatticeKernelsMatchReference) {
  std::mt19937 rng(7);
  for (SimdLevel level : Levels()) {
    ForceLevel force(level);
    for (int precision : {kQX8Bit, kQX16Bit}) {
      const int max = precision == kQX16Bit ? 65535 : 255;
      for (int nIn : {3, 4}) {
        for (int nOut : {1, 3, 4}) {
          std::vector<std::vector<uint16_t>> pos;
          for (int c = 0; c < nIn; ++c) pos.push_back(RandomPositions(rng, 2 + (int)(rng() % 8), max));
          std::uniform_int_distribution<int> value(0, max);
          TintmeshPtr tm = MakeLattice(nIn, nOut, precision, pos, [&](const uint16_t*, int) { return (uint16_t)value(rng); });
          for (int inPath : {kQX8Bit, kQX16Bit}) {
            for (int outPath : {kQX8Bit, kQX16Bit}) {
              SetPaths(tm.get(), inPath, outPath);
              // Output curves on some channels only (a 16-bit channel with the
              // full range keeps none).
              ASSERT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 0, 3, outPath == kQX16Bit ? 60000 : 250), 0);
              const int count = 301;
              Planar in = RandomInputs(rng, nIn, count, inPath);
              Planar out(nOut, count, outPath);
              ASSERT_EQ(QXEvaluate(tm.get(), count, in.Ptrs(), 1, out.Ptrs(), 1), 0);
              for (int i = 0; i < count; ++i) {
                uint32_t x[4], want[4];
                for (int c = 0; c < nIn; ++c) x[c] = in.Get(c, i);
                ReferenceLattice(tm.get(), x, want);
                for (int k = 0; k < nOut; ++k) {
                  ASSERT_EQ(out.Get(k, i), want[k])
                      << qx::SimdLevelName(level) << " P" << precision << " I" << inPath << " O" << outPath << " " << nIn
                      << "->" << nOut << " pixel " << i << " channel " << k;
                }
              }
            }
          }
        }
      }
    }
  }
}

// Index of the first sample where two runs differ, or -1.
int64_t FirstDifference(const Planar& a, const Planar& b) {
  if (a.b8 == b.b8 && a.b16 == b.b16) return -1;
  const int channels = (int)(a.depth == kQX16Bit ? a.b16.size() : a.b8.size());
  const int n = (int)(a.depth == kQX16Bit ? a.b16[0].size() : a.b8[0].size());
  for (int c = 0; c < channels; ++c) {
    for (int i = 0; i < n; ++i) {
      if (a.Get(c, i) != b.Get(c, i)) return (int64_t)c * n + i;
    }
  }
  return -1;
}

// Planar channel c <-> interleaved samples c, c + 3, c + 6, ...
template <class T>
void Interleave(const std::vector<std::vector<T>>& planes, std::vector<T>& packed) {
  for (size_t i = 0; i < planes[0].size(); ++i) {
    for (int c = 0; c < 3; ++c) packed[3 * i + c] = planes[c][i];
  }
}
template <class T>
void Deinterleave(const std::vector<T>& packed, std::vector<std::vector<T>>& planes) {
  for (size_t i = 0; i < planes[0].size(); ++i) {
    for (int c = 0; c < 3; ++c) planes[c][i] = packed[3 * i + c];
  }
}

// A run in one of the layouts the pipeline and the window use: planar rows,
// or interleaved three-sample pixels; split in two calls, so that the end of
// a vector and a short run both occur.
enum class Layout { kPlanar, kInterleaved };
Planar Evaluate(const Tintmesh* tm, Planar& in, int outPath, Layout layout) {
  const bool in16 = in.depth == kQX16Bit, out16 = outPath == kQX16Bit;
  const int count = (int)(in16 ? in.b16[0].size() : in.b8[0].size());
  const int split = count - 7;
  Planar out(3, count, outPath);
  Planar packedIn(1, 3 * count, in.depth), packedOut(1, 3 * count, outPath);
  QXChannelPtrs ip = in.Ptrs(), op = out.Ptrs();
  int step = 1;
  if (layout == Layout::kInterleaved) {
    if (in16) Interleave(in.b16, packedIn.b16[0]);
    else Interleave(in.b8, packedIn.b8[0]);
    for (int c = 0; c < 3; ++c) {
      ip.chan[c] = (char*)packedIn.Ptrs().chan[0] + c * (in16 ? 2 : 1);
      op.chan[c] = (char*)packedOut.Ptrs().chan[0] + c * (out16 ? 2 : 1);
    }
    step = 3;
  }
  EXPECT_EQ(QXEvaluate(tm, split, ip, step, op, step), 0);
  for (int c = 0; c < 3; ++c) {
    ip.chan[c] = (char*)ip.chan[c] + split * step * (in16 ? 2 : 1);
    op.chan[c] = (char*)op.chan[c] + split * step * (out16 ? 2 : 1);
  }
  EXPECT_EQ(QXEvaluate(tm, count - split, ip, step, op, step), 0);
  if (layout == Layout::kInterleaved) {
    if (out16) Deinterleave(packedOut.b16[0], out.b16);
    else Deinterleave(packedOut.b8[0], out.b8);
  }
  return out;
}

// `in` through the scalar kernel, then through every vector level in both
// layouts: "" when all agree, else where the first difference is.
std::string CompareLevels(const Tintmesh* tm, Planar& in, int outPath) {
  Planar want(3, 1, outPath);
  {
    ForceLevel force(SimdLevel::kScalar);
    want = Evaluate(tm, in, outPath, Layout::kPlanar);
  }
  for (SimdLevel level : VectorLevels()) {
    ForceLevel force(level);
    for (Layout layout : {Layout::kPlanar, Layout::kInterleaved}) {
      const int64_t wrong = FirstDifference(Evaluate(tm, in, outPath, layout), want);
      if (wrong >= 0) {
        return std::string(qx::SimdLevelName(level)) + (layout == Layout::kPlanar ? " planar" : " interleaved") +
               ", sample " + std::to_string(wrong);
      }
    }
  }
  return "";
}

// A three-input lattice with uneven grids (33, 29 and 31 points) and random
// table values, an input range on channel 2 and an output curve on channel 1.
TintmeshPtr UnevenLattice(std::mt19937& rng, int precision, int inPath, int outPath) {
  const int max = precision == kQX16Bit ? 65535 : 255;
  std::uniform_int_distribution<int> value(0, max);
  TintmeshPtr tm = MakeLattice(3, 3, precision,
                               {RandomPositions(rng, 33, max), RandomPositions(rng, 29, max), RandomPositions(rng, 31, max)},
                               [&](const uint16_t*, int) { return (uint16_t)value(rng); });
  SetPaths(tm.get(), inPath, outPath);
  const int inTop = inPath == kQX16Bit ? 65535 : 255, outTop = outPath == kQX16Bit ? 65535 : 255;
  EXPECT_EQ(QXSetChanRange(tm.get(), kQXInputSide, 2, inTop / 25, inTop - inTop / 30), 0);
  EXPECT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 1, 3, outTop - 5), 0);
  return tm;
}

// Every vector level gives exactly what the scalar kernel gives, for every
// 8-bit RGB input (256³), planar and interleaved.
TEST(TintmeshEval, VectorKernelsEqualScalarEvery8BitInput) {
  std::mt19937 rng(21);
  struct Form {
    int precision, outPath;
  } forms[] = {{kQX8Bit, kQX8Bit}, {kQX16Bit, kQX16Bit}};
  for (const Form& form : forms) {
    TintmeshPtr tm = UnevenLattice(rng, form.precision, kQX8Bit, form.outPath);
    const int count = 256 * 256;
    Planar in(3, count, kQX8Bit);
    for (int b = 0; b < 256; ++b) {
      for (int i = 0; i < count; ++i) {
        in.Set(0, i, (uint32_t)(i & 255));
        in.Set(1, i, (uint32_t)(i >> 8));
        in.Set(2, i, (uint32_t)b);
      }
      ASSERT_EQ(CompareLevels(tm.get(), in, form.outPath), "") << "P" << form.precision << " O" << form.outPath
                                                               << " blue " << b;
    }
  }
}

// The same for 16-bit inputs: random codes, both ends, equal channels, and
// codes on and beside the grid positions.
TEST(TintmeshEval, VectorKernelsEqualScalarRandom16Bit) {
  std::mt19937 rng(22);
  struct Form {
    int precision, outPath;
  } forms[] = {{kQX16Bit, kQX16Bit}, {kQX16Bit, kQX8Bit}, {kQX8Bit, kQX16Bit}, {kQX8Bit, kQX8Bit}};
  for (const Form& form : forms) {
    TintmeshPtr tm = UnevenLattice(rng, form.precision, kQX16Bit, form.outPath);
    const int count = 1 << 18;
    Planar in = RandomInputs(rng, 3, count, kQX16Bit);
    std::uniform_int_distribution<int> near(-1, 1);
    for (int i = 5; i < count; i += 5) {
      const QXInChannel& ch = tm->in[i % 3];
      const int at = ch.positions[rng() % ch.samples] * (form.precision == kQX16Bit ? 1 : 257) + near(rng);
      in.Set(i % 3, i, (uint32_t)std::clamp(at, 0, 65535));
    }
    EXPECT_EQ(CompareLevels(tm.get(), in, form.outPath), "") << "P" << form.precision << " O" << form.outPath;
  }
}

// The level: the processor's best unless TAVELIN_SIMD names a lower one; a
// forced level never exceeds what the processor runs.
TEST(TintmeshEval, SimdLevelChoice) {
  struct Case {
    const char* wanted;
    SimdLevel cpu, expect;
  } cases[] = {
      {nullptr, SimdLevel::kAvx512, SimdLevel::kAvx512}, {"", SimdLevel::kAvx2, SimdLevel::kAvx2},
      {"scalar", SimdLevel::kAvx512, SimdLevel::kScalar}, {"sse41", SimdLevel::kAvx2, SimdLevel::kSse41},
      {"avx512", SimdLevel::kAvx2, SimdLevel::kAvx2},     {"avx2", SimdLevel::kScalar, SimdLevel::kScalar},
      {"AVX2", SimdLevel::kAvx512, SimdLevel::kAvx512},   {"fastest", SimdLevel::kSse41, SimdLevel::kSse41},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qx::ChooseSimdLevel(c.wanted, c.cpu), c.expect) << (c.wanted ? c.wanted : "(none)");
  }
  ForceLevel force(SimdLevel::kAvx512);
  EXPECT_EQ(qx::ActiveSimdLevel(), qx::CpuSimdLevel());
  qx::SetSimdLevel(SimdLevel::kScalar);
  EXPECT_EQ(qx::ActiveSimdLevel(), SimdLevel::kScalar);
}

TEST(TintmeshEval, CurveKernelsLookUpTheirCurves) {
  std::mt19937 rng(11);
  struct Shape {
    int nIn, nOut;
  } shapes[] = {{1, 1}, {3, 3}, {4, 4}, {1, 3}, {1, 4}};
  for (int precision : {kQX8Bit, kQX16Bit}) {
    for (const Shape& sh : shapes) {
      TintmeshPtr tm = MakeCurves(sh.nIn, sh.nOut, precision, [&](int m, int k) {
        return (uint16_t)((m * (k + 3) + 17 * k) % (precision == kQX16Bit ? 65536 : 256));
      });
      for (int inPath : {kQX8Bit, kQX16Bit}) {
        for (int outPath : {kQX8Bit, kQX16Bit}) {
          SetPaths(tm.get(), inPath, outPath);
          const int count = 200;
          Planar in = RandomInputs(rng, sh.nIn, count, inPath);
          Planar out(sh.nOut, count, outPath);
          ASSERT_EQ(QXEvaluate(tm.get(), count, in.Ptrs(), 1, out.Ptrs(), 1), 0);
          for (int i = 0; i < count; ++i) {
            for (int k = 0; k < sh.nOut; ++k) {
              const QXInChannel& ch = tm->in[k];
              const uint32_t x = in.Get(sh.nIn == 1 ? 0 : k, i);
              uint32_t want;
              if (outPath == kQX8Bit) want = ch.cellLookup.get()[x];
              else if (ch.cellLookup) want = ch.fraction.get()[ch.cellLookup.get()[x]];  // two stages
              else want = ch.fraction.get()[x];
              ASSERT_EQ(out.Get(k, i), want) << "P" << precision << " I" << inPath << " O" << outPath << " "
                                             << sh.nIn << "->" << sh.nOut;
            }
          }
        }
      }
    }
  }
}

// Every 8-bit RGB input through an identity lattice comes back unchanged.
TEST(TintmeshEval, IdentityLatticeEvery8BitInput) {
  for (SimdLevel level : Levels()) {
    ForceLevel force(level);
    for (int precision : {kQX8Bit, kQX16Bit}) {
      const int max = precision == kQX16Bit ? 65535 : 255;
      for (int n : {2, 17, 33}) {
        TintmeshPtr tm = MakeLattice(3, 3, precision, EvenPositions(n, max), [](const uint16_t* p, int k) { return p[k]; });
        std::vector<uint8_t> px(256 * 256 * 3), out(px.size());
        QXChannelPtrs ip, op;
        for (int c = 0; c < 3; ++c) ip.chan[c] = px.data() + c, op.chan[c] = out.data() + c;
        int wrong = 0;
        for (int b = 0; b < 256; ++b) {
          for (int i = 0; i < 256 * 256; ++i) {
            px[3 * i] = (uint8_t)i;
            px[3 * i + 1] = (uint8_t)(i >> 8);
            px[3 * i + 2] = (uint8_t)b;
          }
          ASSERT_EQ(QXEvaluate(tm.get(), 256 * 256, ip, 3, op, 3), 0);
          wrong += (int)(px != out);
        }
        EXPECT_EQ(wrong, 0) << qx::SimdLevelName(level) << " precision " << precision << " grid " << n;
      }
    }
  }
}

// 16-bit identity lattices: every code of each channel (others at a spread
// of values) within ±1; four inputs alike.
TEST(TintmeshEval, IdentityLattice16BitWithinOne) {
  for (int nIn : {3, 4}) {
    TintmeshPtr tm = MakeLattice(nIn, nIn, kQX16Bit, EvenPositions(nIn == 3 ? 33 : 9, 65535),
                                 [](const uint16_t* p, int k) { return p[k]; });
    SetPaths(tm.get(), kQX16Bit, kQX16Bit);
    const int count = 65536;
    Planar in(nIn, count, kQX16Bit), out(nIn, count, kQX16Bit);
    const uint16_t others[] = {0, 1, 2047, 32768, 40000, 65534, 65535};
    int worst = 0;
    for (int c = 0; c < nIn; ++c) {
      for (uint16_t o : others) {
        for (int i = 0; i < count; ++i) {
          for (int d = 0; d < nIn; ++d) in.Set(d, i, d == c ? (uint32_t)i : o);
        }
        ASSERT_EQ(QXEvaluate(tm.get(), count, in.Ptrs(), 1, out.Ptrs(), 1), 0);
        for (int i = 0; i < count; ++i) {
          for (int d = 0; d < nIn; ++d) worst = std::max(worst, std::abs((int)out.Get(d, i) - (int)in.Get(d, i)));
        }
      }
    }
    EXPECT_LE(worst, 1) << nIn << " inputs";
  }
}

// A lattice whose table is a linear function of the grid gives that
// function within ±1 everywhere (every 8-bit input; 16-bit on a dense sample).
TEST(TintmeshEval, LinearFunctionWithinOne) {
  auto f = [](double r, double g, double b, int k) {
    switch (k) {
      case 0: return 0.5 * r + 0.3 * g + 0.2 * b;
      case 1: return 1.0 - 0.6 * g - 0.1 * b;
      default: return 0.25 + 0.75 * b - 0.25 * r;
    }
  };
  for (int precision : {kQX8Bit, kQX16Bit}) {
    const int max = precision == kQX16Bit ? 65535 : 255;
    std::mt19937 rng(3);
    // Dense enough that 15-bit fractions resolve every 16-bit code.
    std::vector<std::vector<uint16_t>> pos = {RandomPositions(rng, 33, max), RandomPositions(rng, 29, max),
                                              RandomPositions(rng, 17, max)};
    TintmeshPtr tm = MakeLattice(3, 3, precision, pos, [&](const uint16_t* p, int k) {
      return (uint16_t)std::lround(max * std::clamp(f((double)p[0] / max, (double)p[1] / max, (double)p[2] / max, k), 0.0, 1.0));
    });
    for (int path : {kQX8Bit, kQX16Bit}) {
      if (precision == kQX8Bit && path == kQX16Bit) continue;  // an 8-bit table has 8-bit accuracy
      SetPaths(tm.get(), path, path);
      const int top = path == kQX16Bit ? 65535 : 255;
      const int count = path == kQX16Bit ? 1 << 20 : 256 * 256 * 256;
      Planar in(3, count, path), out(3, count, path);
      std::uniform_int_distribution<int> d(0, top);
      for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) in.Set(c, i, path == kQX8Bit ? (uint32_t)(i >> (8 * c) & 255) : (uint32_t)d(rng));
      }
      ASSERT_EQ(QXEvaluate(tm.get(), count, in.Ptrs(), 1, out.Ptrs(), 1), 0);
      double worst = 0;
      for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 3; ++k) {
          const double want = top * f((double)in.Get(0, i) / top, (double)in.Get(1, i) / top, (double)in.Get(2, i) / top, k);
          worst = std::max(worst, std::fabs(out.Get(k, i) - want));
        }
      }
      printf("LINEAR P%d path %d worst %.3f\n", precision, path, worst);
      EXPECT_LE(worst, 1.0 + 1e-9) << "precision " << precision << " path " << path;
    }
  }
}

// Grid points come back exactly, 8-bit and 16-bit.
TEST(TintmeshEval, GridPointsExact) {
  std::mt19937 rng(5);
  for (int precision : {kQX8Bit, kQX16Bit}) {
    const int max = precision == kQX16Bit ? 65535 : 255;
    std::uniform_int_distribution<int> value(0, max);
    const std::vector<uint16_t> pos = precision == kQX8Bit ? EvenPositions(33, 255) : RandomPositions(rng, 12, 65535);
    TintmeshPtr tm = MakeLattice(3, 3, precision, pos, [&](const uint16_t*, int) { return (uint16_t)value(rng); });
    const int path = precision;
    SetPaths(tm.get(), path, path);
    const int n = (int)pos.size(), count = n * n * n;
    Planar in(3, count, path), out(3, count, path);
    for (int i = 0; i < count; ++i) {
      in.Set(0, i, pos[i % n]);
      in.Set(1, i, pos[i / n % n]);
      in.Set(2, i, pos[i / n / n]);
    }
    ASSERT_EQ(QXEvaluate(tm.get(), count, in.Ptrs(), 1, out.Ptrs(), 1), 0);
    for (int i = 0; i < count; ++i) {
      // Grid point i is table index i; the last position is the far end of
      // the last cell.
      for (int k = 0; k < 3; ++k) {
        const uint32_t want = precision == kQX16Bit ? tm->table16.get()[3 * i + k] : tm->table8.get()[3 * i + k];
        ASSERT_EQ(out.Get(k, i), want) << "precision " << precision << " grid point " << i;
      }
    }
  }
}

TEST(TintmeshEval, InterleavedAndInPlaceEqualPlanar) {
  std::mt19937 rng(9);
  TintmeshPtr lattice = MakeLattice(3, 3, kQX8Bit, EvenPositions(9, 255), [&](const uint16_t*, int) { return (uint16_t)(rng() & 255); });
  TintmeshPtr curves = MakeCurves(3, 3, kQX16Bit, [](int m, int k) { return (uint16_t)(65535 - m / (k + 1)); });
  for (SimdLevel level : Levels()) {
    ForceLevel force(level);
    for (Tintmesh* tm : {lattice.get(), curves.get()}) {
      for (int depth : {kQX8Bit, kQX16Bit}) {
        SetPaths(tm, depth, depth);
        const int count = 1000;
        Planar in = RandomInputs(rng, 3, count, depth), planar(3, count, depth);
        ASSERT_EQ(QXEvaluate(tm, count, in.Ptrs(), 1, planar.Ptrs(), 1), 0);
        for (int step : {3, 4}) {
          // Interleaved copies: separate output, then in place.
          Planar packed(1, count * step, depth), result(1, count * step, depth);
          for (int i = 0; i < count; ++i) {
            for (int c = 0; c < 3; ++c) packed.Set(0, i * step + c, in.Get(c, i));
            if (step == 4) {
              packed.Set(0, i * step + 3, 77);
              result.Set(0, i * step + 3, 77);
            }
          }
          QXChannelPtrs ip, op, pp;
          const size_t size = depth == kQX8Bit ? 1 : 2;
          char* pbase = depth == kQX8Bit ? (char*)packed.b8[0].data() : (char*)packed.b16[0].data();
          char* rbase = depth == kQX8Bit ? (char*)result.b8[0].data() : (char*)result.b16[0].data();
          for (int c = 0; c < 3; ++c) ip.chan[c] = pbase + c * size, op.chan[c] = rbase + c * size;
          ASSERT_EQ(QXEvaluate(tm, count, ip, step, op, step), 0);
          ASSERT_EQ(QXEvaluate(tm, count, ip, step, ip, step), 0);  // in place
          for (int i = 0; i < count; ++i) {
            for (int c = 0; c < 3; ++c) {
              ASSERT_EQ(result.Get(0, i * step + c), planar.Get(c, i)) << "step " << step << " pixel " << i;
              ASSERT_EQ(packed.Get(0, i * step + c), planar.Get(c, i)) << "in place, step " << step << " pixel " << i;
            }
            if (step == 4) {
              ASSERT_EQ(packed.Get(0, i * step + 3), 77u);  // the fourth sample is left alone
            }
          }
        }
      }
    }
  }
}

TEST(TintmeshEval, DepthEdges) {
  // An 8-bit table to a 16-bit output without a curve: 255 gives 255 × 256.
  TintmeshPtr t8 = MakeLattice(3, 3, kQX8Bit, EvenPositions(2, 255), [](const uint16_t* p, int k) { return p[k]; });
  SetPaths(t8.get(), kQX8Bit, kQX16Bit);
  uint8_t top[3] = {255, 255, 0};
  uint16_t wide[3] = {};
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) ip.chan[c] = top + c, op.chan[c] = wide + c;
  ASSERT_EQ(QXEvaluate(t8.get(), 1, ip, 3, op, 3), 0);
  EXPECT_EQ(wide[0], 65280);
  EXPECT_EQ(wide[2], 0);

  // A 16-bit table to an 8-bit output truncates: the high byte of the grid value.
  const uint16_t values[] = {65535, 65280, 65279, 257, 256, 255};
  const uint8_t expect[] = {255, 255, 254, 1, 1, 0};
  for (size_t v = 0; v < 6; ++v) {
    TintmeshPtr t16 = MakeLattice(3, 1, kQX16Bit, EvenPositions(2, 65535), [&](const uint16_t*, int) { return values[v]; });
    uint8_t in[3] = {0, 128, 255}, out = 9;
    QXChannelPtrs a, b;
    for (int c = 0; c < 3; ++c) a.chan[c] = in + c;
    b.chan[0] = &out;
    ASSERT_EQ(QXEvaluate(t16.get(), 1, a, 3, b, 1), 0);
    EXPECT_EQ(out, expect[v]) << values[v];
  }

  // The top code on every channel reads the last grid point.
  TintmeshPtr last = MakeLattice(4, 3, kQX16Bit, EvenPositions(5, 65535), [](const uint16_t* p, int k) {
    return (uint16_t)(p[0] == 65535 && p[1] == 65535 && p[2] == 65535 && p[3] == 65535 ? 1000 * (k + 1) : 7);
  });
  SetPaths(last.get(), kQX16Bit, kQX16Bit);
  uint16_t max4[4] = {65535, 65535, 65535, 65535}, res[3] = {};
  QXChannelPtrs m, r;
  for (int c = 0; c < 4; ++c) m.chan[c] = max4 + c;
  for (int c = 0; c < 3; ++c) r.chan[c] = res + c;
  ASSERT_EQ(QXEvaluate(last.get(), 1, m, 4, r, 3), 0);
  EXPECT_EQ(res[0], 1000);
  EXPECT_EQ(res[2], 3000);
}

// Gray to RGB through a single-input Tintmesh writes all three outputs for
// every combination of paths, each channel from its own curve.
TEST(TintmeshEval, GrayToRgbEveryPath) {
  for (int precision : {kQX8Bit, kQX16Bit}) {
    const int full = precision == kQX16Bit ? 65536 : 256;
    TintmeshPtr tm = MakeCurves(1, 3, precision, [&](int m, int k) { return (uint16_t)(k == 1 ? full - 1 - m : m); });
    for (int inPath : {kQX8Bit, kQX16Bit}) {
      for (int outPath : {kQX8Bit, kQX16Bit}) {
        SetPaths(tm.get(), inPath, outPath);
        const int inTop = inPath == kQX16Bit ? 65535 : 255, outTop = outPath == kQX16Bit ? 65535 : 255;
        Planar in(1, 3, inPath), out(3, 3, outPath);
        in.Set(0, 0, 0);
        in.Set(0, 1, (uint32_t)inTop);
        in.Set(0, 2, (uint32_t)inTop / 4);
        for (int k = 0; k < 3; ++k) {
          for (int i = 0; i < 3; ++i) out.Set(k, i, 12345 & (uint32_t)outTop);
        }
        ASSERT_EQ(QXEvaluate(tm.get(), 3, in.Ptrs(), 1, out.Ptrs(), 1), 0);
        const std::string where = "P" + std::to_string(precision) + " I" + std::to_string(inPath) + " O" + std::to_string(outPath);
        for (int k : {0, 2}) {
          EXPECT_EQ(out.Get(k, 0), 0u) << where;
          EXPECT_EQ(out.Get(k, 1), (uint32_t)outTop) << where;
          EXPECT_NEAR((double)out.Get(k, 2), outTop / 4.0, outTop / 255.0 + 1) << where;
        }
        EXPECT_EQ(out.Get(1, 0), (uint32_t)outTop) << where;
        EXPECT_EQ(out.Get(1, 1), 0u) << where;
      }
    }
  }
}

TEST(TintmeshEval, RefusalsAndEmptyRuns) {
  TintmeshPtr tm = MakeLattice(3, 3, kQX8Bit, EvenPositions(3, 255), [](const uint16_t* p, int k) { return p[k]; });
  uint8_t px[6] = {1, 2, 3, 4, 5, 6}, out[6] = {9, 9, 9, 9, 9, 9};
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) ip.chan[c] = px + c, op.chan[c] = out + c;
  EXPECT_EQ(QXEvaluate(tm.get(), 0, ip, 3, op, 3), 0);
  EXPECT_EQ(out[0], 9);  // nothing written
  EXPECT_EQ(QXEvaluate(nullptr, 2, ip, 3, op, 3), kBadArg);
  EXPECT_EQ(QXEvaluate(tm.get(), -1, ip, 3, op, 3), kBadArg);
  QXChannelPtrs missing = op;
  missing.chan[2] = nullptr;
  EXPECT_EQ(QXEvaluate(tm.get(), 2, ip, 3, missing, 3), kBadArg);
  // Unfinished or damaged objects are refused, not read.
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr empty(raw);
  EXPECT_EQ(QXEvaluate(empty.get(), 2, ip, 3, op, 3), kBadArg);
  tm->in[1].fraction.reset();
  EXPECT_EQ(QXEvaluate(tm.get(), 2, ip, 3, op, 3), kBadArg);
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 0, 2, kQX8Bit), 0);
  TintmeshPtr noTable(raw);
  EXPECT_EQ(QXEvaluate(noTable.get(), 2, ip, 3, op, 3), kBadArg);
  EXPECT_EQ(out[0], 9);
}

// A prepared kernel, a handle and a deep copy evaluate to the bytes QXEvaluate
// gives, for every form and path; the handle follows a change of path, and the
// copy is independent of its source.
TEST(TintmeshEval, PreparedKernelHandleAndCopyMatchEvaluate) {
  std::mt19937 rng(23);
  std::vector<TintmeshPtr> forms;
  std::uniform_int_distribution<int> v8(0, 255), v16(0, 65535);
  forms.push_back(MakeLattice(3, 3, kQX8Bit, EvenPositions(9, 255), [&](const uint16_t*, int) { return (uint16_t)v8(rng); }));
  forms.push_back(MakeLattice(3, 3, kQX16Bit, RandomPositions(rng, 17, 65535),
                              [&](const uint16_t*, int) { return (uint16_t)v16(rng); }));
  forms.push_back(MakeLattice(4, 3, kQX8Bit, EvenPositions(5, 255), [&](const uint16_t*, int) { return (uint16_t)v8(rng); }));
  forms.push_back(MakeCurves(3, 3, kQX16Bit, [](int m, int k) { return (uint16_t)((m * 7 + k * 1000) % 65536); }));
  forms.push_back(MakeCurves(1, 3, kQX8Bit, [](int m, int k) { return (uint16_t)((m + 40 * k) % 256); }));
  for (size_t f = 0; f < forms.size(); ++f) {
    Tintmesh* source = forms[f].get();
    for (int inPath : {kQX8Bit, kQX16Bit}) {
      for (int outPath : {kQX8Bit, kQX16Bit}) {
        SCOPED_TRACE(testing::Message() << "form " << f << " I" << inPath << " O" << outPath);
        SetPaths(source, inPath, outPath);
        const int count = 257;
        Planar in = RandomInputs(rng, source->nIn, count, inPath);
        Planar want(source->nOut, count, outPath), kernelOut(source->nOut, count, outPath),
            handleOut(source->nOut, count, outPath);
        ASSERT_EQ(QXEvaluate(source, count, in.Ptrs(), 1, want.Ptrs(), 1), kOk);

        QXKernel* kernel = nullptr;
        ASSERT_EQ(QXKernelCreate(source, &kernel), kOk);
        QXKernelRun(kernel, count, in.Ptrs(), 1, kernelOut.Ptrs(), 1);
        QXKernelFree(&kernel);
        EXPECT_EQ(kernel, nullptr);
        EXPECT_EQ(kernelOut.b8, want.b8);
        EXPECT_EQ(kernelOut.b16, want.b16);

        // The copy, on 8-bit paths first, then through a handle set to the paths.
        Tintmesh* copy = nullptr;
        ASSERT_EQ(QXCopy(source, &copy), kOk);
        ASSERT_EQ(QXSetPhysicalDataPath(copy, kQXInputSide, kQX8Bit), kOk);
        ASSERT_EQ(QXSetPhysicalDataPath(copy, kQXOutputSide, kQX8Bit), kOk);
        EXPECT_EQ(source->inPath, inPath);  // the source is not touched
        TintmeshHandle* handle = nullptr;
        ASSERT_EQ(QXHandleCreate(&copy, &handle), kOk);
        ASSERT_EQ(QXHandleSetDataPath(handle, kQXInputSide, inPath), kOk);
        ASSERT_EQ(QXHandleSetDataPath(handle, kQXOutputSide, outPath), kOk);
        ASSERT_EQ(QXHandleEvaluate(handle, count, in.Ptrs(), 1, handleOut.Ptrs(), 1), kOk);
        EXPECT_EQ(handleOut.b8, want.b8);
        EXPECT_EQ(handleOut.b16, want.b16);
        QXChannelPtrs missing = handleOut.Ptrs();
        missing.chan[source->nOut - 1] = nullptr;
        EXPECT_EQ(QXHandleEvaluate(handle, count, in.Ptrs(), 1, missing, 1), kBadArg);
        EXPECT_EQ(QXHandleEvaluate(handle, -1, in.Ptrs(), 1, handleOut.Ptrs(), 1), kBadArg);
        QXHandleFree(&handle);
      }
    }
  }
  // An object that cannot be evaluated has no kernel; its handle answers -1.
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), kOk);
  QXKernel* kernel = nullptr;
  EXPECT_EQ(QXKernelCreate(raw, &kernel), kBadArg);
  EXPECT_EQ(kernel, nullptr);
  TintmeshHandle* handle = nullptr;
  ASSERT_EQ(QXHandleCreate(&raw, &handle), kOk);
  uint8_t px[3] = {1, 2, 3};
  QXChannelPtrs p;
  for (int c = 0; c < 3; ++c) p.chan[c] = px + c;
  EXPECT_EQ(QXHandleEvaluate(handle, 1, p, 3, p, 3), kBadArg);
  QXHandleFree(&handle);
}

}  // namespace
