// The noise filter: refusals, the generator, the neighbourhood masks and
// their symmetries, the filter against a direct computation for every shape,
// colour form and depth (edge rows and columns repeated), the luminance left
// alone by the defaults, thresholds, repeatability and a failing sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "filters/filters_testutil.h"
#include "filters/noisefilter.h"

namespace {

// A smooth image with noise of the given amplitude in every channel.
Image NoisyImage(int32_t w, int32_t h, int32_t ch, int32_t depth, int32_t amplitude, uint32_t seed) {
  Image im(w, h, ch, depth);
  std::mt19937 rng(seed);
  const int32_t top = (int32_t)im.Max(), unit = depth == 2 ? 257 : 1;
  for (int32_t c = 0; c < ch; ++c)
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int32_t base = (60 + 3 * x + 2 * y + 40 * c) * unit;
        const int32_t n = (int32_t)(rng() % (2 * amplitude + 1)) - amplitude;
        im.At(c, x, y) = (uint32_t)std::clamp(base + n * unit, 0, top);
      }
  return im;
}

Image RunFilter(const IPNoiseSetup& setup, const Image& in) {
  Collector sink(in.width, in.height, in.channels, in.depth);
  IPNoiseSetup s = setup;
  s.width = in.width;
  s.height = in.height;
  s.channels = in.channels;
  s.depth = in.depth;
  s.sink = Collector::Sink;
  s.sinkContext = &sink;
  IPNoiseFilter* f = nullptr;
  EXPECT_EQ(IPNoiseFilterCreate(s, &f), kOk);
  if (!f) return {};
  RowFeeder feed(in);
  for (int32_t y = 0; y < in.height; ++y) EXPECT_EQ(IPNoiseFilterPush(f, feed.Row(y)), kOk);
  IPNoiseFilterFree(&f);
  EXPECT_TRUE(sink.inOrder);
  EXPECT_EQ(sink.rows, in.height);
  return sink.out;
}

// The filter from its definition: whole planes, clamped coordinates, a full sort.
Image Reference(const IPNoiseSetup& s, const Image& in) {
  const int32_t W = in.width, H = in.height, C = in.channels;
  const bool yuv = s.lumaChroma && s.colorType == 1;
  std::vector<std::vector<int64_t>> v(C, std::vector<int64_t>((size_t)W * H));
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const size_t i = (size_t)y * W + x;
      if (yuv) {
        const int64_t R = in.At(0, x, y), G = in.At(1, x, y), B = in.At(2, x, y);
        v[0][i] = 4899 * R + 9617 * G + 1868 * B;
        v[1][i] = -2425 * R - 4735 * G + 7160 * B;
        v[2][i] = 10076 * R - 8438 * G - 1638 * B;
      } else {
        for (int32_t c = 0; c < C; ++c) v[c][i] = (int64_t)in.At(c, x, y) << 14;
      }
    }
  int32_t state = kIPNoiseSeed;
  IPNoiseMask mask[4];
  for (int32_t c = 0; c < C; ++c) EXPECT_EQ(IPNoiseMakeMask(s.shape, s.radius[c], state, mask[c]), kOk);
  auto at = [&](int32_t c, int32_t x, int32_t y) {
    return v[c][(size_t)std::clamp(y, 0, H - 1) * W + std::clamp(x, 0, W - 1)];
  };
  Image out(W, H, C, in.depth);
  const int64_t top = in.Max();
  for (int32_t y = 0; y < H; ++y) {
    std::vector<std::vector<int64_t>> f(C, std::vector<int64_t>(W));
    for (int32_t c = 0; c < C; ++c) {
      const int32_t r = s.radius[c];
      const int64_t T = (int64_t)s.threshold[c] * 16384 * (in.depth == 2 ? 257 : 1);
      for (int32_t x = 0; x < W; ++x) {
        const int64_t centre = at(c, x, y);
        if (r == 0) {
          f[c][x] = centre;
          continue;
        }
        auto in_range = [&](int64_t u) { return u >= centre - T && u <= centre + T; };
        std::vector<int64_t> got;
        if (s.shape == kIPShapeWalk) {
          got.push_back(centre);
          const int32_t dir[8][2] = {{1, 0}, {1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 1}};
          for (auto& d : dir)
            for (int32_t k = 1; k <= r; ++k) {
              const int64_t u = at(c, x + d[0] * k, y + d[1] * k);
              if (!in_range(u)) break;
              got.push_back(u);
            }
        } else {
          for (int32_t my = 0; my < mask[c].side; ++my)
            for (int32_t mx = 0; mx < mask[c].side; ++mx)
              if (mask[c].cell[my][mx]) {
                const int64_t u = at(c, x + mx - r, y + my - r);
                if (in_range(u)) got.push_back(u);
              }
        }
        std::sort(got.begin(), got.end());
        const size_t n = got.size();
        f[c][x] = n == 1 ? got[0] : n == 2 ? (got[0] + got[1]) >> 1 : got[n / 2];
      }
    }
    auto clampv = [&](int64_t q) { return (uint32_t)std::clamp<int64_t>(q, 0, top); };
    for (int32_t x = 0; x < W; ++x) {
      if (yuv) {
        const int64_t Y = (f[0][x] + 8192) >> 14, U = f[1][x], V = f[2][x];
        out.At(0, x, y) = clampv(Y - (U + 58551594) / 117103188 + (2 * V + 14374) / 28749);
        out.At(1, x, y) = clampv(Y - (4 * U + 83208) / 166417 - (2 * V + 28200) / 56401);
        out.At(2, x, y) = clampv(Y + (3 * U + 12119) / 24239 + (V + 4487105) / 8974210);
      } else {
        for (int32_t c = 0; c < C; ++c) out.At(c, x, y) = clampv((f[c][x] + 8192) >> 14);
      }
    }
    if (s.shape == kIPShapeSparseDisc)
      for (int32_t c = 0; c < C; ++c) IPNoiseTurnMask(mask[c], IPNoiseNext(state) % 7);
  }
  return out;
}

TEST(NoiseFilterTest, CreateRefusesBadParameters) {
  Collector sink(1, 1, 1, 1);
  struct Case {
    const char* what;
    std::function<void(IPNoiseSetup&)> change;
  } cases[] = {
      {"width 0", [](IPNoiseSetup& s) { s.width = 0; }},
      {"height 0", [](IPNoiseSetup& s) { s.height = 0; }},
      {"RGB with 4 channels", [](IPNoiseSetup& s) { s.channels = 4; }},
      {"gray with 3 channels", [](IPNoiseSetup& s) { s.colorType = 5; }},
      {"CMYK with 3 channels", [](IPNoiseSetup& s) { s.colorType = 4; }},
      {"colour type 8", [](IPNoiseSetup& s) { s.colorType = 8; }},
      {"5 channels", [](IPNoiseSetup& s) { s.channels = 5; }},
      {"shape 6", [](IPNoiseSetup& s) { s.shape = 6; }},
      {"radius 17", [](IPNoiseSetup& s) { s.radius[1] = 17; }},
      {"radius -1", [](IPNoiseSetup& s) { s.radius[2] = -1; }},
      {"sparse disc of radius 2", [](IPNoiseSetup& s) { s.radius[1] = 2; }},
      {"threshold -1", [](IPNoiseSetup& s) { s.threshold[0] = -1; }},
      {"depth 3", [](IPNoiseSetup& s) { s.depth = 3; }},
      {"no sink", [](IPNoiseSetup& s) { s.sink = nullptr; }},
  };
  for (const Case& c : cases) {
    IPNoiseSetup s;
    s.width = s.height = 8;
    s.sink = Collector::Sink;
    s.sinkContext = &sink;
    c.change(s);
    IPNoiseFilter* f = nullptr;
    EXPECT_EQ(IPNoiseFilterCreate(s, &f), kBadArg) << c.what;
    EXPECT_EQ(f, nullptr);
  }
  // Shapes other than the sparse disc take radii 1 and 2.
  IPNoiseSetup s;
  s.width = s.height = 8;
  s.shape = kIPShapeDisc;
  s.radius[1] = 1;
  s.sink = Collector::Sink;
  s.sinkContext = &sink;
  IPNoiseFilter* f = nullptr;
  EXPECT_EQ(IPNoiseFilterCreate(s, &f), kOk);
  IPNoiseFilterFree(&f);
}

TEST(NoiseFilterTest, GeneratorIsTheMinimalStandard) {
  int32_t s = 1;
  int32_t v = 0;
  for (int i = 0; i < 10000; ++i) v = IPNoiseNext(s);
  EXPECT_EQ(v, 1043618065);
  EXPECT_EQ(s, v);
}

TEST(NoiseFilterTest, MasksOfTheFixedShapes) {
  struct Case {
    int32_t shape, radius, cells;
  } cases[] = {{0, 2, 25}, {1, 2, 13}, {2, 2, 13}, {3, 2, 9}, {5, 3, 0}, {0, 0, 1}, {4, 0, 1}, {0, 16, 1089}, {3, 16, 65}};
  for (const Case& c : cases) {
    int32_t state = kIPNoiseSeed;
    IPNoiseMask m;
    ASSERT_EQ(IPNoiseMakeMask(c.shape, c.radius, state, m), kOk);
    int32_t n = 0;
    for (auto& row : m.cell)
      for (uint8_t b : row) n += b;
    EXPECT_EQ(n, c.cells) << "shape " << c.shape << " radius " << c.radius;
    EXPECT_EQ(state, kIPNoiseSeed);  // only the sparse disc draws
  }
  int32_t state = 1;
  IPNoiseMask m;
  EXPECT_EQ(IPNoiseMakeMask(6, 2, state, m), kBadArg);
  EXPECT_EQ(IPNoiseMakeMask(1, 17, state, m), kBadArg);
}

// The sparse disc: the centre is chosen, every cell lies in the disc, no
// chosen cell lies in another's 5 × 5 block without its corners, and every
// disc cell is chosen or blocked by a chosen one. The same state gives the
// same mask.
TEST(NoiseFilterTest, SparseDiscIsAMaximalSpreadOfCells) {
  int32_t state = kIPNoiseSeed;
  for (int32_t r = 3; r <= 16; ++r) {
    SCOPED_TRACE(r);
    const int32_t before = state;
    IPNoiseMask m;
    ASSERT_EQ(IPNoiseMakeMask(kIPShapeSparseDisc, r, state, m), kOk);
    EXPECT_NE(state, before);
    EXPECT_TRUE(m.cell[r][r]);
    auto blocks = [](int32_t dx, int32_t dy) {
      return std::abs(dx) <= 2 && std::abs(dy) <= 2 && !(std::abs(dx) == 2 && std::abs(dy) == 2);
    };
    bool inDisc = true, apart = true, maximal = true;
    for (int32_t y = 0; y < m.side; ++y)
      for (int32_t x = 0; x < m.side; ++x) {
        const bool disc = (x - r) * (x - r) + (y - r) * (y - r) <= r * r;
        bool covered = m.cell[y][x];
        for (int32_t y2 = 0; y2 < m.side; ++y2)
          for (int32_t x2 = 0; x2 < m.side; ++x2) {
            if (!m.cell[y2][x2] || (x2 == x && y2 == y)) continue;
            if (blocks(x2 - x, y2 - y)) {
              covered = true;
              if (m.cell[y][x]) apart = false;
            }
          }
        if (m.cell[y][x] && !disc) inDisc = false;
        if (disc && !covered) maximal = false;
      }
    EXPECT_TRUE(inDisc);
    EXPECT_TRUE(apart);
    EXPECT_TRUE(maximal);
    int32_t again = before;
    IPNoiseMask m2;
    ASSERT_EQ(IPNoiseMakeMask(kIPShapeSparseDisc, r, again, m2), kOk);
    EXPECT_EQ(std::memcmp(m.cell, m2.cell, sizeof m.cell), 0);
  }
}

TEST(NoiseFilterTest, SymmetriesOfTheSquare) {
  // One cell at (x 3, y 0) of a 5 × 5 mask, and where each symmetry sends it.
  const int32_t want[7][2] = {{0, 3}, {4, 3}, {1, 0}, {0, 1}, {3, 4}, {4, 1}, {1, 4}};
  for (int32_t k = 0; k < 7; ++k) {
    IPNoiseMask m;
    m.radius = 2;
    m.side = 5;
    m.cell[0][3] = 1;
    IPNoiseTurnMask(m, k);
    EXPECT_EQ(m.cell[want[k][1]][want[k][0]], 1) << k;
    int32_t n = 0;
    for (auto& row : m.cell)
      for (uint8_t b : row) n += b;
    EXPECT_EQ(n, 1) << k;
  }
}

TEST(NoiseFilterTest, MatchesTheDirectComputation) {
  struct Case {
    int32_t w, h, colorType, channels, depth, shape;
    bool yuv;
    int32_t r0, r1, r2, r3, t0, t1, t2, t3;
  } cases[] = {
      {29, 21, 1, 3, 1, 4, true, 0, 8, 4, 0, 0, 16, 16, 0},   // the defaults
      {29, 21, 1, 3, 2, 4, true, 0, 8, 4, 0, 0, 16, 16, 0},
      {23, 19, 1, 3, 1, 4, true, 3, 5, 16, 0, 9, 30, 12, 0},
      {17, 13, 5, 1, 1, 0, false, 2, 0, 0, 0, 20, 0, 0, 0},
      {17, 13, 5, 1, 2, 1, false, 3, 0, 0, 0, 12, 0, 0, 0},
      {17, 13, 7, 3, 1, 2, false, 2, 1, 3, 0, 25, 5, 40, 0},
      {17, 13, 4, 4, 1, 3, false, 1, 2, 0, 4, 10, 10, 10, 10},
      {17, 13, 1, 3, 1, 5, true, 2, 3, 4, 0, 15, 15, 15, 0},
      {17, 13, 1, 3, 2, 5, false, 4, 0, 2, 0, 15, 15, 15, 0},
      {2, 3, 1, 3, 1, 0, true, 16, 16, 16, 0, 50, 50, 50, 0},  // smaller than the radius
      {1, 1, 5, 1, 1, 4, false, 16, 0, 0, 0, 50, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " type " << c.colorType << " depth " << c.depth
                                    << " shape " << c.shape);
    IPNoiseSetup s;
    s.colorType = c.colorType;
    s.lumaChroma = c.yuv;
    s.shape = c.shape;
    const int32_t r[4] = {c.r0, c.r1, c.r2, c.r3}, t[4] = {c.t0, c.t1, c.t2, c.t3};
    for (int k = 0; k < 4; ++k) s.radius[k] = r[k], s.threshold[k] = t[k];
    const Image in = NoisyImage(c.w, c.h, c.channels, c.depth, 25, (uint32_t)(c.w * 7 + c.shape));
    const Image out = RunFilter(s, in);
    EXPECT_TRUE(out == Reference(s, in));
    if (c.w * c.h > 1) {
      EXPECT_FALSE(out == in);
    }
  }
}

// With radius 0 a channel passes unchanged: the defaults leave gray images
// (no chrominance) exactly as they are, however noisy their luminance, and a
// channel of radius 0 outside the luminance/chrominance form is untouched.
TEST(NoiseFilterTest, RadiusZeroPassesAChannel) {
  Image gray = NoisyImage(31, 17, 3, 1, 60, 5);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 31; ++x) gray.At(1, x, y) = gray.At(2, x, y) = gray.At(0, x, y);
  IPNoiseSetup s;
  EXPECT_TRUE(RunFilter(s, gray) == gray);

  const Image rgb = NoisyImage(31, 17, 3, 2, 60, 6);
  IPNoiseSetup plain;
  plain.lumaChroma = false;
  plain.radius[0] = 0, plain.radius[1] = 5, plain.radius[2] = 0;
  const Image out = RunFilter(plain, rgb);
  bool same = true, changed = false;
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 31; ++x) {
      same &= out.At(0, x, y) == rgb.At(0, x, y) && out.At(2, x, y) == rgb.At(2, x, y);
      changed |= out.At(1, x, y) != rgb.At(1, x, y);
    }
  EXPECT_TRUE(same);
  EXPECT_TRUE(changed);
}

// Threshold 1 finds few neighbours in a noisy area: most samples stay as the
// bare conversion leaves them (threshold 0); a wide threshold changes most.
TEST(NoiseFilterTest, SmallThresholdsKeepNoisySamples) {
  const Image in = NoisyImage(40, 30, 3, 1, 60, 8);
  IPNoiseSetup s;
  s.threshold[1] = s.threshold[2] = 0;
  const Image bare = RunFilter(s, in);
  auto unchangedShare = [&](int32_t threshold) {
    IPNoiseSetup t;
    t.threshold[1] = t.threshold[2] = threshold;
    const Image out = RunFilter(t, in);
    int32_t same = 0;
    for (size_t i = 0; i < out.v.size(); ++i) same += out.v[i] == bare.v[i];
    return (double)same / out.v.size();
  };
  EXPECT_GT(unchangedShare(1), 0.9);
  EXPECT_LT(unchangedShare(50), 0.3);
}

TEST(NoiseFilterTest, SameImageFiltersTheSameTwice) {
  const Image in = NoisyImage(45, 33, 3, 1, 20, 9);
  IPNoiseSetup s;
  const Image a = RunFilter(s, in), b = RunFilter(s, in);
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a == in);
}

TEST(NoiseFilterTest, AFailingSinkStopsTheFilter) {
  Collector sink(9, 12, 3, 1);
  sink.failAt = 2;
  IPNoiseSetup s;
  s.width = 9;
  s.height = 12;
  s.sink = Collector::Sink;
  s.sinkContext = &sink;
  IPNoiseFilter* f = nullptr;
  ASSERT_EQ(IPNoiseFilterCreate(s, &f), kOk);
  const Image in = NoisyImage(9, 12, 3, 1, 10, 1);
  RowFeeder feed(in);
  Status st = kOk;
  int32_t y = 0;
  for (; y < 12 && st == kOk; ++y) st = IPNoiseFilterPush(f, feed.Row(y));
  EXPECT_EQ(st, kWriteErr);
  EXPECT_EQ(y, 11);  // row 2 is due after row 2 + 8
  EXPECT_EQ(IPNoiseFilterPush(f, feed.Row(y)), kWriteErr);
  EXPECT_EQ(IPNoiseFilterPush(nullptr, feed.Row(y)), kBadArg);
  IPNoiseFilterFree(&f);
}

}  // namespace
