// The row engine: refusals, the choice of mode, the unsharp mask against a
// direct computation (every strength class, channel modes, L*a*b* rows,
// clamping, borders), the two orders around a transform, depth conversion,
// short images, and a failing sink.
#include <gtest/gtest.h>

#include <memory>

#include "filters/filters_testutil.h"
#include "filters/rowengine.h"
#include "transform/tintmesh_testutil.h"

namespace {


// A two-point lattice between any colour spaces; output k at a grid corner is
// 255 × (corner bit k % n_in) (an identity for 3 → 3).
TintmeshPtr Lattice(int nIn, int nOut, int inSpace, int outSpace) {
  Tintmesh* raw = nullptr;
  EXPECT_EQ(QXInit(&raw, nIn, nOut, inSpace, outSpace, 1, 2, kQX8Bit), kOk);
  TintmeshPtr tm(raw);
  uint16_t pos[2] = {0, 255};
  for (int c = 0; c < nIn; ++c) EXPECT_EQ(QXSetChanSamples(tm.get(), c, 2, pos), kOk);
  for (int i = 0; i < (1 << nIn); ++i) {
    uint16_t v[4];
    for (int k = 0; k < nOut; ++k) v[k] = (uint16_t)(((i >> (k % nIn)) & 1) * 255);
    EXPECT_EQ(QXSetDataTableValue(tm.get(), i, v), kOk);
  }
  return tm;
}

IPRowEngineSetup EngineSetup(int32_t w, int32_t h, int32_t depth, Collector& sink) {
  IPRowEngineSetup s;
  s.width = w;
  s.height = h;
  s.inDepth = s.outDepth = depth;
  s.inHigh = s.outHigh = depth == 2 ? 65535 : 255;
  s.sink = Collector::Sink;
  s.sinkContext = &sink;
  return s;
}

// Runs the engine over the image; the collected output.
Image RunEngine(const IPRowEngineSetup& setup, const Image& in, Status* status = nullptr) {
  Collector sink(setup.width, setup.height, in.channels, setup.outDepth);
  IPRowEngineSetup s = setup;
  s.sink = Collector::Sink;
  s.sinkContext = &sink;
  IPRowEngine* e = nullptr;
  Status st = IPRowEngineCreate(s, &e);
  EXPECT_EQ(st, kOk);
  if (st != kOk) return {};
  RowFeeder feed(in);
  for (int32_t y = 0; y < in.height && st == kOk; ++y) st = IPRowEnginePush(e, feed.Row(y));
  IPRowEngineFree(&e);
  if (status) *status = st;
  EXPECT_TRUE(sink.inOrder);
  EXPECT_EQ(sink.rows, in.height);
  return sink.out;
}

// The unsharp mask written straight from its definition, with true division.
Image RefSharpen(const Image& in, int32_t s, int32_t mode, bool lab, int32_t lo, int32_t hi) {
  Image out = in;
  if (s == 0 || in.height <= 4) return out;
  const bool wide = in.depth == 2;
  const int64_t w = wide ? (s * 1024 + 12) / 25 : (s * 32768 + 12) / 25, k = 25 - s;
  auto clampv = [&](int64_t v) { return (uint32_t)std::min<int64_t>(std::max<int64_t>(v, lo), hi); };
  for (int32_t y = 2; y < in.height - 2; ++y)
    for (int32_t x = 2; x < in.width - 2; ++x) {
      int64_t S[4] = {}, sharp[4] = {};
      for (int32_t c = 0; c < in.channels; ++c) {
        for (int32_t dy = -2; dy <= 2; ++dy)
          for (int32_t dx = -2; dx <= 2; ++dx) S[c] += in.At(c, x + dx, y + dy);
        const int64_t blur = wide ? (S[c] * w + 512) >> 10 : (S[c] * w + 16384) >> 15;
        sharp[c] = clampv((25 * (int64_t)in.At(c, x, y) - blur + (k >> 1)) / k);
      }
      for (int32_t c = 0; c < in.channels; ++c) {
        if (lab) out.At(c, x, y) = c == 0 ? (uint32_t)sharp[0] : (uint32_t)((S[c] + 12) / 25);
        else if (mode < 0) out.At(c, x, y) = (uint32_t)sharp[c];
        else out.At(c, x, y) = clampv((int64_t)in.At(c, x, y) + sharp[mode] - in.At(mode, x, y));
      }
    }
  return out;
}

// The transform applied to every row (the Tintmesh's paths set first).
Image Evaluate(Tintmesh* tm, const Image& in, int32_t outDepth) {
  SetPaths(tm, in.depth, outDepth);
  Image out(in.width, in.height, tm->nOut, outDepth);
  for (int32_t y = 0; y < in.height; ++y) {
    Planar a(in.channels, in.width, in.depth), b(tm->nOut, in.width, outDepth);
    for (int32_t c = 0; c < in.channels; ++c)
      for (int32_t x = 0; x < in.width; ++x) a.Set(c, x, in.At(c, x, y));
    EXPECT_EQ(QXEvaluate(tm, in.width, a.Ptrs(), 1, b.Ptrs(), 1), kOk);
    for (int32_t c = 0; c < tm->nOut; ++c)
      for (int32_t x = 0; x < in.width; ++x) out.At(c, x, y) = b.Get(c, x);
  }
  return out;
}

TEST(RowEngineTest, CreateRefusesBadParameters) {
  Collector sink(4, 4, 3, 1);
  TintmeshPtr tm = Lattice(3, 3, 1, 1);
    struct Case {
    const char* what;
    std::function<void(IPRowEngineSetup&)> change;
  } cases[] = {
      {"strength 25", [](IPRowEngineSetup& s) { s.strength = 25; }},
      {"strength -1", [](IPRowEngineSetup& s) { s.strength = -1; }},
      {"channel mode 4", [](IPRowEngineSetup& s) { s.channelMode = 4; }},
      {"channel mode -2", [](IPRowEngineSetup& s) { s.channelMode = -2; }},
      {"channel mode 3 of 3 channels", [](IPRowEngineSetup& s) { s.strength = 6, s.height = 9, s.channelMode = 3; }},
      {"order 3", [](IPRowEngineSetup& s) { s.order = 3; }},
      {"width 0", [](IPRowEngineSetup& s) { s.width = 0; }},
      {"height 0", [](IPRowEngineSetup& s) { s.height = 0; }},
      {"depth 3", [](IPRowEngineSetup& s) { s.inDepth = 3; }},
      {"out depth 0", [](IPRowEngineSetup& s) { s.outDepth = 0; }},
      {"no sink", [](IPRowEngineSetup& s) { s.sink = nullptr; }},
      {"5 channels", [](IPRowEngineSetup& s) { s.channels = 5; }},
      {"depth change from an empty range", [](IPRowEngineSetup& s) { s.outDepth = 2, s.inHigh = 0; }},
      {"transform, empty input range", [&](IPRowEngineSetup& s) { s.transform = tm.get(), s.inLow = s.inHigh = 9; }},
      {"transform, empty output range", [&](IPRowEngineSetup& s) { s.transform = tm.get(), s.outHigh = 0; }},
  };
  for (const Case& c : cases) {
    IPRowEngineSetup s = EngineSetup(4, 4, 1, sink);
    c.change(s);
    IPRowEngine* e = nullptr;
    EXPECT_EQ(IPRowEngineCreate(s, &e), kBadArg) << c.what;
    EXPECT_EQ(e, nullptr);
  }
  // A Tintmesh that is not whole (no table yet): refused.
  Tintmesh* half = nullptr;
  ASSERT_EQ(QXInit(&half, 3, 3, 1, 1, 1, 2, kQX8Bit), kOk);
  IPRowEngineSetup s = EngineSetup(4, 4, 1, sink);
  s.transform = half;
  IPRowEngine* e = nullptr;
  EXPECT_EQ(IPRowEngineCreate(s, &e), kBadArg);
  EXPECT_EQ(e, nullptr);
  QXFree(&half);
}

TEST(RowEngineTest, ModeFollowsTransformStrengthHeightAndOrder) {
  TintmeshPtr rgb = Lattice(3, 3, 1, 1), lab = Lattice(3, 3, 7, 1), ycc = Lattice(3, 3, 8, 1),
              toCmyk = Lattice(3, 4, 1, 4), fromCmyk = Lattice(4, 3, 4, 1);
    struct Case {
    const Tintmesh* t;
    int32_t strength, height, order, mode;
  } cases[] = {
      {nullptr, 0, 9, 2, kIPModeCopy},       {nullptr, 6, 9, 2, kIPModeSharpen},
      {nullptr, 6, 4, 2, kIPModeCopy},       {rgb.get(), 0, 9, 2, kIPModeTransform},
      {rgb.get(), 6, 4, 2, kIPModeTransform},    {rgb.get(), 6, 5, 0, kIPModeTransformSharpen},
      {rgb.get(), 6, 5, 1, kIPModeSharpenTransform}, {rgb.get(), 6, 5, 2, kIPModeTransformSharpen},
      {lab.get(), 6, 5, 2, kIPModeSharpenTransform}, {ycc.get(), 6, 5, 2, kIPModeSharpenTransform},
      {toCmyk.get(), 6, 5, 2, kIPModeSharpenTransform}, {fromCmyk.get(), 6, 5, 2, kIPModeTransformSharpen},
      {lab.get(), 6, 5, 0, kIPModeTransformSharpen},
  };
  for (const Case& c : cases) {
    Collector sink(8, c.height, 4, 1);
    IPRowEngineSetup s = EngineSetup(8, c.height, 1, sink);
    s.transform = c.t;
    s.strength = c.strength;
    s.order = c.order;
    IPRowEngine* e = nullptr;
    ASSERT_EQ(IPRowEngineCreate(s, &e), kOk);
    EXPECT_EQ(IPRowEngineMode(e), c.mode) << "strength " << c.strength << " height " << c.height << " order " << c.order;
    IPRowEngineFree(&e);
  }
}

// Strength 24 (w = 31457, k = 1) on a vertical edge between 100 and 110.
TEST(RowEngineTest, StrongestSharpeningOfAnEdge) {
  Image in(12, 9, 3, 1);
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 12; ++x) in.At(c, x, y) = x < 6 ? 100 : 110;
  Collector unused(1, 1, 1, 1);
  IPRowEngineSetup s = EngineSetup(12, 9, 1, unused);
  s.strength = 24;
  Image out = RunEngine(s, in);
  for (int32_t y = 2; y < 7; ++y) {
    EXPECT_EQ(out.At(0, 6, y), 206u);
    EXPECT_EQ(out.At(0, 5, y), 4u);
    EXPECT_EQ(out.At(1, 3, y), 100u);  // flat: unchanged
  }
  EXPECT_EQ(out.At(2, 6, 1), 110u);  // row 1 passes
}

TEST(RowEngineTest, SharpeningMatchesTheDirectComputation) {
  struct Case {
    int32_t depth, strength, mode, colorType, lo, hi;
  } cases[] = {
      {1, 1, -1, 1, 0, 255},   {1, 6, -1, 1, 0, 255},  {1, 24, -1, 1, 0, 255}, {1, 13, 0, 1, 0, 255},
      {1, 9, 2, 1, 0, 255},    {1, 6, -1, 1, 16, 235}, {1, 6, 1, 7, 0, 255},   {1, 20, -1, 8, 0, 255},
      {2, 1, -1, 1, 0, 65535}, {2, 6, -1, 1, 0, 65535}, {2, 24, -1, 1, 0, 65535}, {2, 11, 1, 1, 0, 65535},
      {2, 6, -1, 7, 0, 65535}, {2, 24, -1, 1, 4096, 60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " strength " << c.strength << " mode " << c.mode
                                    << " type " << c.colorType << " range " << c.lo << ".." << c.hi);
    const Image in = RandomImage(23, 17, 3, c.depth, (uint32_t)(c.strength * 31 + c.depth));
    Collector unused(1, 1, 1, 1);
    IPRowEngineSetup s = EngineSetup(23, 17, c.depth, unused);
    s.strength = c.strength;
    s.channelMode = c.mode;
    s.colorType = c.colorType;
    s.inLow = s.outLow = c.lo;
    s.inHigh = s.outHigh = c.hi;
    const Image out = RunEngine(s, in);
    const bool lab = c.colorType == 7 || c.colorType == 8;
    EXPECT_TRUE(out == RefSharpen(in, c.strength, c.mode, lab, c.lo, c.hi));
    // The first and last two rows and columns pass unchanged.
    bool borders = true;
    for (int32_t ch = 0; ch < 3; ++ch)
      for (int32_t k : {0, 1}) {
        for (int32_t x = 0; x < 23; ++x) borders &= out.At(ch, x, k) == in.At(ch, x, k) && out.At(ch, x, 16 - k) == in.At(ch, x, 16 - k);
        for (int32_t y = 0; y < 17; ++y) borders &= out.At(ch, k, y) == in.At(ch, k, y) && out.At(ch, 22 - k, y) == in.At(ch, 22 - k, y);
      }
    EXPECT_TRUE(borders);
  }
}

TEST(RowEngineTest, ShortImagesAreNeverSharpened) {
  for (int32_t h = 1; h <= 4; ++h)
    for (int32_t depth : {1, 2}) {
      const Image in = RandomImage(9, h, 3, depth, (uint32_t)h);
      Collector unused(1, 1, 1, 1);
      IPRowEngineSetup s = EngineSetup(9, h, depth, unused);
      s.strength = 24;
      EXPECT_TRUE(RunEngine(s, in) == in) << h;
    }
  // Narrow images: nothing between the border columns.
  const Image narrow = RandomImage(4, 12, 3, 1, 7);
  Collector unused(1, 1, 1, 1);
  IPRowEngineSetup s = EngineSetup(4, 12, 1, unused);
  s.strength = 24;
  EXPECT_TRUE(RunEngine(s, narrow) == narrow);
}

// Transform first sharpens the transformed rows (clamped to the output
// range); sharpen first sharpens the input (clamped to the input range) and
// transforms the result.
TEST(RowEngineTest, OrdersAroundTheTransform) {
  for (int32_t depth : {1, 2}) {
    SCOPED_TRACE(depth);
    // Curve form with 256 entries, as the correction transform is written.
    TintmeshPtr curve = MakeCurves(3, 3, kQX8Bit, [](int m, int k) {
      return (uint16_t)std::lround(255.0 * std::pow(m / 255.0, 0.6 + 0.2 * k));
    });
    const Image in = RandomImage(19, 11, 3, depth, 99);
    Collector unused(1, 1, 1, 1);
    IPRowEngineSetup s = EngineSetup(19, 11, depth, unused);
    s.transform = curve.get();
    s.strength = 9;
    const int32_t top = depth == 2 ? 65535 : 255;
    s.order = 0;
    EXPECT_TRUE(RunEngine(s, in) == RefSharpen(Evaluate(curve.get(), in, depth), 9, -1, false, 0, top));
    s.order = 1;
    s.inLow = depth == 2 ? 2570 : 10;  // the transform sees this range as 0..max
    const Image sharp = RefSharpen(in, 9, -1, false, s.inLow, top);
    ASSERT_EQ(QXSetPhysicalDataPath(curve.get(), kQXInputSide, depth), kOk);
    for (int32_t c = 0; c < 3; ++c) ASSERT_EQ(QXSetChanRange(curve.get(), kQXInputSide, c, s.inLow, top), kOk);
    Image want(19, 11, 3, depth);
    for (int32_t y = 0; y < 11; ++y) {
      Planar a(3, 19, depth), b(3, 19, depth);
      for (int32_t c = 0; c < 3; ++c)
        for (int32_t x = 0; x < 19; ++x) a.Set(c, x, sharp.At(c, x, y));
      ASSERT_EQ(QXEvaluate(curve.get(), 19, a.Ptrs(), 1, b.Ptrs(), 1), kOk);
      for (int32_t c = 0; c < 3; ++c)
        for (int32_t x = 0; x < 19; ++x) want.At(c, x, y) = b.Get(c, x);
    }
    EXPECT_TRUE(RunEngine(s, in) == want);
  }
}

TEST(RowEngineTest, DepthConversionMapsTheRanges) {
  struct Case {
    int32_t inDepth, outDepth, inLow, inHigh, outLow, outHigh;
    uint32_t in, out;
  } cases[] = {
      {1, 2, 0, 255, 0, 65535, 1, 257},        {1, 2, 0, 255, 0, 65535, 255, 65535},
      {2, 1, 0, 65535, 0, 255, 128, 0},        {2, 1, 0, 65535, 0, 255, 129, 1},
      {2, 1, 0, 65535, 0, 255, 32896, 128},    {2, 1, 0, 65535, 0, 255, 65535, 255},
      {1, 2, 16, 235, 0, 65535, 10, 0},        {1, 2, 16, 235, 0, 65535, 240, 65535},
      {1, 2, 0, 255, 65535, 0, 0, 65535},      {2, 1, 0, 65535, 16, 235, 65535, 235},
  };
  for (const Case& c : cases) {
    Image in(1, 1, 3, c.inDepth);
    for (int32_t ch = 0; ch < 3; ++ch) in.At(ch, 0, 0) = c.in;
    Collector unused(1, 1, 1, 1);
    IPRowEngineSetup s = EngineSetup(1, 1, 1, unused);
    s.inDepth = c.inDepth;
    s.outDepth = c.outDepth;
    s.inLow = c.inLow, s.inHigh = c.inHigh, s.outLow = c.outLow, s.outHigh = c.outHigh;
    const Image out = RunEngine(s, in);
    EXPECT_EQ(out.At(2, 0, 0), c.out) << c.in << " from " << c.inLow << ".." << c.inHigh;
  }
}

TEST(RowEngineTest, AFailingSinkStopsTheEngine) {
  for (int32_t strength : {0, 6}) {
    Collector sink(7, 9, 3, 1);
    sink.failAt = 3;
    IPRowEngineSetup s = EngineSetup(7, 9, 1, sink);
    s.strength = strength;
    IPRowEngine* e = nullptr;
    ASSERT_EQ(IPRowEngineCreate(s, &e), kOk);
    const Image in = RandomImage(7, 9, 3, 1, 3);
    RowFeeder feed(in);
    Status st = kOk;
    int32_t y = 0;
    for (; y < 9 && st == kOk; ++y) st = IPRowEnginePush(e, feed.Row(y));
    EXPECT_EQ(st, kWriteErr);
    EXPECT_EQ(y, strength ? 6 : 4);  // row 3 leaves two rows late while sharpening
    EXPECT_EQ(IPRowEnginePush(e, feed.Row(y)), kWriteErr);
    IPRowEngineFree(&e);
  }
  Collector sink(7, 2, 3, 1);
  IPRowEngineSetup s = EngineSetup(7, 2, 1, sink);
  IPRowEngine* e = nullptr;
  ASSERT_EQ(IPRowEngineCreate(s, &e), kOk);
  const Image in = RandomImage(7, 2, 3, 1, 3);
  RowFeeder feed(in);
  EXPECT_EQ(IPRowEnginePush(e, IPRow{}), kBadArg);
  EXPECT_EQ(IPRowEnginePush(e, feed.Row(0)), kOk);
  EXPECT_EQ(IPRowEnginePush(e, feed.Row(1)), kOk);
  EXPECT_EQ(IPRowEnginePush(e, feed.Row(1)), kBadArg);  // past the height
  IPRowEngineFree(&e);
}

}  // namespace
