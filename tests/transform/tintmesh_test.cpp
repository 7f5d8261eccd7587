// Tintmesh construction: QXInit's checks and order, grids, table entries and
// finalisation, ranges and the derived arrays, validation, the handle.
#include "transform/tintmesh.h"
#include "transform/tintmesh_eval.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/memory.h"
#include "transform/tintmesh_testutil.h"

namespace {

struct InitCase {
  const char* what;
  int nIn, nOut, inSpace, outSpace, lattice, version, precision;
  Status expected;
};

TEST(TintmeshInit, ChecksInOrder) {
  const InitCase cases[] = {
      {"lattice flag 2", 3, 3, 1, 1, 2, 2, 1, kBadArg},
      {"version 3", 3, 3, 1, 1, 1, 3, 1, kBadArg},
      {"version -1", 3, 3, 1, 1, 1, -1, 1, kBadArg},
      {"curve form, counts differ", 3, 4, 1, 4, 0, 2, 1, kBadArg},
      {"curve form, codes differ", 3, 3, 1, 7, 0, 2, 1, kBadArg},
      {"v0 gray input", 1, 3, 5, 1, 1, 0, 1, kUnsupported},
      {"v0 Lab output", 3, 3, 1, 7, 1, 0, 1, kUnsupported},
      {"v0 gray output", 3, 1, 1, 5, 1, 0, 1, kUnsupported},
      {"v0 curve form", 3, 3, 1, 1, 0, 0, 1, kUnsupported},
      {"v0 16-bit table", 3, 3, 1, 1, 1, 0, 2, kBadArg},
      {"v0 version check before counts", 4, 3, 5, 1, 1, 0, 1, kUnsupported},
      {"v0 RGB to CMYK", 3, 4, 1, 4, 1, 0, 1, kOk},
      {"v1 gray input", 1, 3, 5, 1, 1, 1, 1, kUnsupported},
      {"v1 gray output", 3, 1, 1, 5, 1, 1, 1, kUnsupported},
      {"v1 16-bit table", 3, 3, 7, 8, 1, 1, 2, kBadArg},
      {"v1 Lab to YCC", 3, 3, 7, 8, 1, 1, 1, kOk},
      {"v2 precision 3", 3, 3, 1, 1, 1, 2, 3, kBadArg},
      {"RGB with 4 channels", 4, 3, 1, 1, 1, 2, 1, kBadArg},
      {"CMYK with 3 channels", 3, 3, 1, 4, 1, 2, 1, kBadArg},
      {"gray with 3 channels", 3, 3, 5, 1, 1, 2, 1, kBadArg},
      {"unknown code 2", 3, 3, 2, 1, 1, 2, 1, kBadArg},
      {"v2 gray to RGB single-input", 1, 3, 5, 1, 1, 2, 2, kOk},
      {"v2 CMYK curve form 16-bit", 4, 4, 4, 4, 0, 2, 2, kOk},
  };
  for (const InitCase& c : cases) {
    Tintmesh* sentinel = reinterpret_cast<Tintmesh*>(0x1234);
    Tintmesh* tm = sentinel;
    EXPECT_EQ(QXInit(&tm, c.nIn, c.nOut, c.inSpace, c.outSpace, c.lattice, c.version, c.precision), c.expected)
        << c.what;
    if (c.expected == kOk) QXFree(&tm);
    else EXPECT_EQ(tm, sentinel) << c.what << ": reference changed on failure";
  }
  EXPECT_EQ(QXInit(nullptr, 3, 3, 1, 1, 1, 2, 1), kBadArg);
}

TEST(TintmeshInit, FreshObject) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX16Bit), 0);
  TintmeshPtr tm(raw);
  EXPECT_EQ(tm->inPath, kQX8Bit);
  EXPECT_EQ(tm->outPath, kQX8Bit);
  EXPECT_EQ(tm->interpShift, 23);  // 16-bit table, 8-bit output
  EXPECT_EQ(tm->interpRound, 0);
  EXPECT_FALSE(tm->table16 || tm->table8);
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(tm->in[c].samples, 1);
    EXPECT_EQ(tm->in[c].stride, 0);
    EXPECT_FALSE(tm->in[c].fraction || tm->in[c].cellLookup);
    EXPECT_EQ(tm->in[c].rangeHigh, 255);
    // A lattice gets all four identity output curves at once.
    ASSERT_TRUE(tm->out[c].curve8);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(tm->out[c].curve8.get()[i], i);
  }
  EXPECT_EQ(QXValidate(tm.get()), kBadArg);  // no grid, no table yet

  Tintmesh* curve = nullptr;
  ASSERT_EQ(QXInit(&curve, 3, 3, 1, 1, 0, 2, kQX8Bit), 0);
  EXPECT_FALSE(curve->out[0].curve8);
  EXPECT_EQ(curve->interpShift, 15);
  EXPECT_EQ(curve->interpRound, 16384);
  QXFree(&curve);
}

TEST(TintmeshInit, FreeNothing) {
  Tintmesh* none = nullptr;
  EXPECT_EQ(QXFree(&none), 0);
  EXPECT_EQ(QXFree(nullptr), 0);
  const MemCounters before = MemGetCounters();
  TintmeshPtr tm = MakeLattice(3, 3, kQX16Bit, EvenPositions(9, 65535), [](const uint16_t* p, int k) { return p[k]; });
  SetPaths(tm.get(), kQX16Bit, kQX16Bit);
  tm.reset();
  EXPECT_EQ(MemGetCounters().blocks, before.blocks);  // every array went with the object
}

TEST(TintmeshGrid, OldVersionsSpaceEvenly) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 1, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  std::vector<uint16_t> p(17, 7);
  ASSERT_EQ(QXSetChanSamples(tm.get(), 0, 17, p.data()), 0);
  for (int k = 0; k < 16; ++k) EXPECT_EQ(p[k], 16 * k);  // the caller's array is overwritten
  EXPECT_EQ(p[16], 255);
  EXPECT_EQ(tm->in[0].positions[16], 255);
  EXPECT_EQ(QXSetChanSamples(tm.get(), 1, 9, p.data()), kUnsupported);  // differs from channel 0
  EXPECT_EQ(QXSetChanSamples(tm.get(), 1, 4, p.data()), kUnsupported);  // not 2, 3, 5, 9, 17
  EXPECT_EQ(QXSetChanSamples(tm.get(), 1, 17, nullptr), kBadArg);

  Tintmesh* two = nullptr;
  ASSERT_EQ(QXInit(&two, 3, 3, 1, 1, 1, 0, kQX8Bit), 0);
  uint16_t q[2] = {5, 5};
  EXPECT_EQ(QXSetChanSamples(two, 0, 2, q), 0);
  EXPECT_EQ(q[0], 0);
  EXPECT_EQ(q[1], 255);
  QXFree(&two);
}

TEST(TintmeshGrid, BadPositionsLeaveChannel) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  uint16_t good[4] = {0, 10, 100, 255};
  ASSERT_EQ(QXSetChanSamples(tm.get(), 0, 4, good), 0);
  struct {
    const char* what;
    std::vector<uint16_t> pos;
    int channel;
  } cases[] = {
      {"repeated position", {0, 10, 10, 255}, 0},
      {"last 254", {0, 10, 100, 254}, 0},
      {"first 1", {1, 10, 100, 255}, 0},
      {"decreasing", {0, 100, 10, 255}, 0},
      {"beyond 8 bits", {0, 10, 300, 255}, 0},
      {"one sample", {0}, 0},
      {"channel 3 of 3", {0, 255}, 3},
      {"channel -1", {0, 255}, -1},
  };
  for (auto& c : cases) {
    EXPECT_EQ(QXSetChanSamples(tm.get(), c.channel, (int)c.pos.size(), c.pos.data()), kBadArg) << c.what;
    EXPECT_EQ(tm->in[0].samples, 4) << c.what;
    EXPECT_EQ(tm->in[0].positions[1], 10) << c.what;
    EXPECT_EQ(tm->in[0].positions[3], 255) << c.what;
  }
  EXPECT_EQ(QXSetChanSamples(tm.get(), 1, 257, good), kBadArg);
  EXPECT_EQ(QXSetChanSamples(tm.get(), 1, 4, nullptr), kBadArg);
  EXPECT_EQ(QXSetChanSamples(nullptr, 0, 4, good), kBadArg);
  // 16-bit tables end at 65535.
  Tintmesh* wide = nullptr;
  ASSERT_EQ(QXInit(&wide, 3, 3, 1, 1, 1, 2, kQX16Bit), 0);
  EXPECT_EQ(QXSetChanSamples(wide, 0, 4, good), kBadArg);
  uint16_t wideGood[3] = {0, 1000, 65535};
  EXPECT_EQ(QXSetChanSamples(wide, 0, 3, wideGood), 0);
  QXFree(&wide);
}

TEST(TintmeshGrid, StridesAndCurveForms) {
  TintmeshPtr tm = MakeLattice(4, 3, kQX8Bit, {{0, 255}, {0, 9, 255}, {0, 1, 2, 255}, {0, 128, 255}},
                               [](const uint16_t*, int) { return 0; });
  EXPECT_EQ(tm->in[0].stride, 3);
  EXPECT_EQ(tm->in[1].stride, 6);
  EXPECT_EQ(tm->in[2].stride, 18);
  EXPECT_EQ(tm->in[3].stride, 72);
  EXPECT_EQ(tm->table8.count, 2 * 3 * 4 * 3 * 3);
  EXPECT_EQ(QXValidate(tm.get()), 0);
  // Once the table exists its size is fixed.
  uint16_t p[3] = {0, 100, 255};
  EXPECT_EQ(QXSetChanSamples(tm.get(), 0, 3, p), kBadArg);
  uint16_t same[2] = {0, 255};
  EXPECT_EQ(QXSetChanSamples(tm.get(), 0, 2, same), 0);

  // Curve forms only take the full length; positions are ignored.
  Tintmesh* curve = nullptr;
  ASSERT_EQ(QXInit(&curve, 3, 3, 1, 1, 0, 2, kQX16Bit), 0);
  EXPECT_EQ(QXSetChanSamples(curve, 2, 17, nullptr), 0);
  EXPECT_EQ(curve->in[2].samples, 65536);
  EXPECT_EQ(QXSetChanSamples(curve, 3, 17, nullptr), kBadArg);
  QXFree(&curve);
}

TEST(TintmeshMaps, KnownValues) {
  struct {
    int32_t low, x, high, expected;
  } norm[] = {
      {0, 0, 255, 0},         {0, 255, 255, 65535},   {0, 128, 255, 32896},  {0, 1, 255, 257},
      {0, 300, 255, 65535},   {0, -5, 255, 0},        {255, 0, 0, 65535},    {200, 100, 0, 32768},
      {0, 32768, 65535, 32768},  {0, 40000, 65535, 40000},  // exact where 32 bits would overflow
      {0, 65534, 65535, 65534},  {65535, 1, 0, 65534},      {7, 8, 7, -1},
  };
  for (auto& c : norm) EXPECT_EQ(QXNormalize16(c.low, c.x, c.high), c.expected) << c.low << " " << c.x << " " << c.high;
  struct {
    int32_t low, high, t, expected;
  } interp[] = {
      {0, 65535, 0, 0},         {0, 65535, 65535, 65535}, {-5, 100, 0, 0},       {0, 70000, 65535, 65535},
      {0, 255, 32768, 128},     {0, 65535, 1000, 1000},   {0, 65535, 32768, 32768}, {0, 65535, 32896, 32896},
      {65535, 0, 1000, 64535},  {1000, 1000, 5, 1000},    {0, 2, 16384, 1},       {0, 2, 49151, 1},
  };
  for (auto& c : interp)
    EXPECT_EQ(QXInterpolate16(c.low, c.high, c.t), c.expected) << c.low << " " << c.high << " " << c.t;
}

TEST(TintmeshTable, ErrorsAndLayouts) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  uint16_t p[2] = {0, 255};
  for (int c = 0; c < 3; ++c) ASSERT_EQ(QXSetChanSamples(tm.get(), c, 2, p), 0);
  const uint16_t v[3] = {1, 2, 3}, big[3] = {1, 256, 3};
  EXPECT_EQ(QXSetDataTableValue(nullptr, 0, v), kBadArg);
  EXPECT_EQ(QXSetDataTableValue(tm.get(), 0, nullptr), kBadArg);
  EXPECT_EQ(QXSetDataTableValue(tm.get(), -1, v), kBadArg);
  EXPECT_EQ(QXSetDataTableValue(tm.get(), 8, v), kBadArg);
  EXPECT_EQ(QXSetDataTableValue(tm.get(), 0, big), kBadArg);  // 8-bit table
  EXPECT_FALSE(tm->table8);
  // Entries in any order; grid point (1, 0, 1) = index 5 starts at 1·3 + 1·12.
  ASSERT_EQ(QXSetDataTableValue(tm.get(), 5, v), 0);
  EXPECT_EQ(tm->table8.get()[15], 1);
  EXPECT_EQ(tm->table8.get()[17], 3);

  // Curve form: channel after channel; single-input: interleaved.
  TintmeshPtr curve = MakeCurves(3, 3, kQX8Bit, [](int m, int k) { return (uint16_t)((m + k) & 255); });
  EXPECT_EQ(curve->table8.get()[1 * 256 + 10], 11);
  EXPECT_EQ(curve->table8.get()[2 * 256 + 10], 12);
  TintmeshPtr single = MakeCurves(1, 3, kQX16Bit, [](int m, int k) { return (uint16_t)(m ^ k); });
  EXPECT_EQ(single->table16.get()[10 * 3 + 2], 10 ^ 2);
  EXPECT_EQ(single->table16.count, 65536 * 3);
  EXPECT_EQ(QXValidate(single.get()), 0);
}

TEST(TintmeshTable, LastEntryRestoresFullRanges) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  uint16_t p[2] = {0, 255};
  for (int c = 0; c < 3; ++c) ASSERT_EQ(QXSetChanSamples(tm.get(), c, 2, p), 0);
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXInputSide, 1, 10, 200), 0);
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 2, 255, 0), 0);
  const uint16_t v[3] = {9, 9, 9};
  for (int i = 6; i >= 0; --i) ASSERT_EQ(QXSetDataTableValue(tm.get(), i, v), 0);
  EXPECT_EQ(tm->in[1].rangeLow, 10);  // not finalised before the last index
  ASSERT_EQ(QXSetDataTableValue(tm.get(), 7, v), 0);
  EXPECT_EQ(tm->in[1].rangeLow, 0);
  EXPECT_EQ(tm->in[1].rangeHigh, 255);
  EXPECT_EQ(tm->out[2].rangeLow, 0);
  EXPECT_EQ(tm->out[2].curve8.get()[200], 200);
  EXPECT_EQ(QXValidate(tm.get()), 0);
}

TEST(TintmeshRange, ErrorsAndOutputCurves) {
  TintmeshPtr tm = MakeLattice(3, 3, kQX16Bit, EvenPositions(5, 65535), [](const uint16_t* p, int k) { return p[k]; });
  struct {
    int side, channel, low, high;
  } bad[] = {{2, 0, 0, 255}, {0, -1, 0, 255}, {0, 3, 0, 255}, {1, 3, 0, 255},
             {0, 0, 9, 9},   {0, 0, 0, 256},  {1, 0, -1, 255}};
  for (auto& b : bad) EXPECT_EQ(QXSetChanRange(tm.get(), b.side, b.channel, b.low, b.high), kBadArg);
  EXPECT_EQ(QXSetChanRange(nullptr, 0, 0, 0, 255), kBadArg);

  ASSERT_EQ(QXSetPhysicalDataPath(tm.get(), kQXOutputSide, kQX16Bit), 0);
  EXPECT_EQ(tm->interpShift, 15);
  for (int k = 0; k < 3; ++k) EXPECT_FALSE(tm->out[k].curve16) << "full 16-bit range keeps no curve";
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 1, 0, 65534), 0);
  ASSERT_TRUE(tm->out[1].curve16);
  EXPECT_EQ(tm->out[1].curve16.count, 65536);
  EXPECT_EQ(tm->out[1].curve16.get()[65535], 65534);
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 1, 0, 65535), 0);
  EXPECT_FALSE(tm->out[1].curve16);
  EXPECT_EQ(QXSetPhysicalDataPath(tm.get(), 2, kQX8Bit), kBadArg);
  EXPECT_EQ(QXSetPhysicalDataPath(tm.get(), 0, 3), kBadArg);
  EXPECT_EQ(QXValidate(tm.get()), 0);
}

TEST(TintmeshRange, FullRangeEnds) {
  // Code 0 in cell 0 with fraction 0, the top code in the last cell with fraction 32768.
  for (int precision : {kQX8Bit, kQX16Bit}) {
    for (int path : {kQX8Bit, kQX16Bit}) {
      const uint16_t max = precision == kQX16Bit ? 65535 : 255;
      TintmeshPtr tm = MakeLattice(3, 3, precision, {{0, 3, 7, max}, {0, (uint16_t)(max / 2), max}, {0, max}},
                                   [](const uint16_t*, int) { return 0; });
      SetPaths(tm.get(), path, kQX8Bit);
      const int top = path == kQX16Bit ? 65535 : 255;
      for (int c = 0; c < 3; ++c) {
        const QXInChannel& ch = tm->in[c];
        const uint32_t last = (uint32_t)ch.stride * (uint32_t)(ch.samples - 2);
        EXPECT_EQ(ch.fraction.get()[0], 0);
        EXPECT_EQ(ch.fraction.get()[top], 32768);
        if (path == kQX8Bit) {
          EXPECT_EQ(ch.cellOffsets[0], 0u);
          EXPECT_EQ(ch.cellOffsets[top], last);
        } else {
          EXPECT_EQ(ch.cellLookup.get()[0], 0);
          EXPECT_EQ(ch.cellOffsets[ch.cellLookup.get()[top]], last);
        }
      }
    }
  }
}

TEST(TintmeshRange, LatticeNeedsGrid) {
  Tintmesh* raw = nullptr;
  ASSERT_EQ(QXInit(&raw, 3, 3, 1, 1, 1, 2, kQX8Bit), 0);
  TintmeshPtr tm(raw);
  EXPECT_EQ(QXSetChanRange(tm.get(), kQXInputSide, 0, 0, 255), kSysErr);
  EXPECT_EQ(QXSetPhysicalDataPath(tm.get(), kQXInputSide, kQX16Bit), kSysErr);
  EXPECT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 0, 0, 100), 0);  // output side needs no grid
}

TEST(TintmeshValidate, RefusesBrokenObjects) {
  TintmeshPtr good = MakeLattice(3, 3, kQX8Bit, EvenPositions(3, 255), [](const uint16_t* p, int k) { return p[k]; });
  ASSERT_EQ(QXValidate(good.get()), 0);
  EXPECT_EQ(QXValidate(nullptr), kBadArg);
  struct Breaker {
    const char* what;
    void (*apply)(Tintmesh*);
  } breakers[] = {
      {"lattice flag", [](Tintmesh* t) { t->lattice = 3; }},
      {"version", [](Tintmesh* t) { t->version = 5; }},
      {"path", [](Tintmesh* t) { t->inPath = 3; }},
      {"code", [](Tintmesh* t) { t->outSpace = kQXSpaceCMYK; }},
      {"shift", [](Tintmesh* t) { t->interpShift = 7; }},
      {"positions", [](Tintmesh* t) { t->in[1].positions[1] = 0; }},
      {"last position", [](Tintmesh* t) { t->in[2].positions[2] = 254; }},
      {"stride", [](Tintmesh* t) { t->in[1].stride = 4; }},
      {"fraction table", [](Tintmesh* t) { t->in[0].fraction.reset(); }},
      {"cell lookup on 8-bit path", [](Tintmesh* t) {
         t->in[0].cellLookup.data = MemNewArray<uint8_t>(65536);
         t->in[0].cellLookup.count = 65536;
       }},
      {"table", [](Tintmesh* t) { t->table8.reset(); }},
      {"output curve", [](Tintmesh* t) { t->out[2].curve8.reset(); }},
  };
  for (auto& b : breakers) {
    TintmeshPtr tm = MakeLattice(3, 3, kQX8Bit, EvenPositions(3, 255), [](const uint16_t* p, int k) { return p[k]; });
    b.apply(tm.get());
    EXPECT_EQ(QXValidate(tm.get()), kBadArg) << b.what;
  }
  // Curve forms: exactly the composed curves the paths need.
  TintmeshPtr curve = MakeCurves(3, 3, kQX8Bit, [](int m, int) { return (uint16_t)m; });
  ASSERT_EQ(QXValidate(curve.get()), 0);
  curve->in[1].fraction.data = MemNewArray<uint16_t>(256);
  curve->in[1].fraction.count = 256;
  EXPECT_EQ(QXValidate(curve.get()), kBadArg);
  Tintmesh* unfinished = nullptr;
  ASSERT_EQ(QXInit(&unfinished, 3, 3, 1, 1, 0, 2, kQX8Bit), 0);
  EXPECT_EQ(QXSetPhysicalDataPath(unfinished, kQXOutputSide, kQX16Bit), 0);  // recorded only
  EXPECT_EQ(unfinished->outPath, kQX16Bit);
  EXPECT_EQ(QXValidate(unfinished), kBadArg);
  QXFree(&unfinished);
}

// Composed curves: a curve-form Tintmesh with an identity table converts
// between depths for every path combination; ranges fold in.
TEST(TintmeshComposed, IdentityTableAcrossPaths) {
  for (int precision : {kQX8Bit, kQX16Bit}) {
    TintmeshPtr tm = MakeCurves(1, 1, precision, [](int m, int) { return (uint16_t)m; });
    for (int inPath : {kQX8Bit, kQX16Bit}) {
      for (int outPath : {kQX8Bit, kQX16Bit}) {
        SetPaths(tm.get(), inPath, outPath);
        ASSERT_EQ(QXValidate(tm.get()), 0);
        const int n = inPath == kQX16Bit ? 65536 : 256;
        int worst = 0;
        for (int x = 0; x < n; ++x) {
          uint8_t in8 = (uint8_t)x, out8 = 0;
          uint16_t in16 = (uint16_t)x, out16 = 0;
          QXChannelPtrs ip, op;
          ip.chan[0] = inPath == kQX16Bit ? (void*)&in16 : (void*)&in8;
          op.chan[0] = outPath == kQX16Bit ? (void*)&out16 : (void*)&out8;
          ASSERT_EQ(QXEvaluate(tm.get(), 1, ip, 1, op, 1), 0);
          // The exact answer in the output's codes.
          const double value = (double)x / (n - 1);
          const int expect = (int)(value * (outPath == kQX16Bit ? 65535 : 255) + 0.5);
          const int got = outPath == kQX16Bit ? out16 : out8;
          worst = std::max(worst, std::abs(got - expect));
        }
        // 8-bit steps on the way cost up to one 8-bit code (257 in 16 bits).
        const bool narrowed = precision == kQX8Bit || inPath == kQX8Bit || outPath == kQX8Bit;
        const int allowed = !narrowed ? 0 : outPath == kQX16Bit ? 257 : 1;
        EXPECT_LE(worst, allowed) << "precision " << precision << " in " << inPath << " out " << outPath;
        if (inPath == kQX8Bit && outPath == kQX16Bit) {
          // 255 widens by 257 to 65535.
          uint8_t top = 255;
          uint16_t out16 = 0;
          QXChannelPtrs ip, op;
          ip.chan[0] = &top;
          op.chan[0] = &out16;
          ASSERT_EQ(QXEvaluate(tm.get(), 1, ip, 1, op, 1), 0);
          EXPECT_EQ(out16, 65535);
        }
      }
    }
  }
}

TEST(TintmeshComposed, RangesFoldIn) {
  TintmeshPtr tm = MakeCurves(3, 3, kQX8Bit, [](int m, int) { return (uint16_t)m; });
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXOutputSide, 0, 255, 0), 0);  // inverted output
  ASSERT_EQ(QXSetChanRange(tm.get(), kQXInputSide, 1, 0, 127), 0);   // half input range
  EXPECT_EQ(tm->in[0].cellLookup.get()[0], 255);
  EXPECT_EQ(tm->in[0].cellLookup.get()[255], 0);
  EXPECT_EQ(tm->in[1].cellLookup.get()[255], 127);
  EXPECT_EQ(tm->in[2].cellLookup.get()[100], 100);
}

TEST(TintmeshHandle, Operations) {
  TintmeshPtr built = MakeLattice(3, 3, kQX8Bit, EvenPositions(3, 255), [](const uint16_t* p, int k) { return p[k]; });
  Tintmesh* raw = built.release();
  TintmeshHandle* h = nullptr;
  ASSERT_EQ(QXHandleCreate(&raw, &h), 0);
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(h->nIn, 3);
  EXPECT_EQ(h->inSpace, kQXSpaceRGB);
  EXPECT_EQ(h->precision, kQX8Bit);
  ASSERT_EQ(QXHandleSetDataPath(h, kQXOutputSide, kQX16Bit), 0);
  EXPECT_EQ(h->outPath, kQX16Bit);
  EXPECT_EQ(h->tintmesh->outPath, kQX16Bit);
  EXPECT_EQ(QXHandleSetDataPath(h, kQXOutputSide, 5), kBadArg);
  EXPECT_EQ(h->outPath, kQX16Bit);
  uint8_t px[3] = {255, 0, 255};
  uint16_t out[3] = {};
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) ip.chan[c] = px + c, op.chan[c] = out + c;
  ASSERT_EQ(QXHandleEvaluate(h, 1, ip, 3, op, 3), 0);
  EXPECT_EQ(out[0], 65280);  // 8-bit table to 16-bit output: 255 × 256
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(QXHandleEvaluate(nullptr, 1, ip, 3, op, 3), kBadArg);
  EXPECT_EQ(QXHandleSetDataPath(nullptr, 0, 1), kBadArg);
  EXPECT_EQ(QXHandleFree(&h), 0);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(QXHandleFree(&h), 0);
}

}  // namespace
