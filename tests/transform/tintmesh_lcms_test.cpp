// The Tintmesh against LittleCMS: an sRGB → AdobeRGB (1998) conversion
// sampled into a 33³ lattice, evaluated beside LittleCMS's exact conversion
// (no optimisation) and beside LittleCMS's own 33-point lattice, on grid
// points and on random pixels. Prints the figures.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "transform/tintmesh_testutil.h"

namespace {

constexpr int kGrid = 33;

cmsHPROFILE MakeSRGB() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

cmsHPROFILE MakeAdobeRGB() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

struct Stats {
  int max = 0;
  double sum = 0;
  int64_t n = 0;
  void Add(int a, int b) {
    const int e = std::abs(a - b);
    max = std::max(max, e);
    sum += e;
    ++n;
  }
  double Mean() const { return n ? sum / (double)n : 0; }
};

class TintmeshLcms : public ::testing::Test {
 protected:
  void SetUp() override {
    src_ = MakeSRGB();
    dst_ = MakeAdobeRGB();
    ASSERT_TRUE(src_ && dst_);
  }
  void TearDown() override {
    cmsCloseProfile(src_);
    cmsCloseProfile(dst_);
  }
  cmsHTRANSFORM Make(cmsUInt32Number format, cmsUInt32Number flags) {
    return cmsCreateTransform(src_, format, dst_, format, INTENT_RELATIVE_COLORIMETRIC, flags);
  }
  // The exact 16-bit conversion sampled at evenly spaced positions, stored
  // with the table's precision.
  TintmeshPtr Sample(int precision) {
    cmsHTRANSFORM exact = Make(TYPE_RGB_16, cmsFLAGS_NOOPTIMIZE);
    const int max = precision == kQX16Bit ? 65535 : 255;
    TintmeshPtr tm = MakeLattice(3, 3, precision, EvenPositions(kGrid, max), [&](const uint16_t* p, int k) {
      const int scale = precision == kQX16Bit ? 1 : 257;
      uint16_t in[3] = {(uint16_t)(p[0] * scale), (uint16_t)(p[1] * scale), (uint16_t)(p[2] * scale)}, out[3];
      cmsDoTransform(exact, in, out, 1);
      return precision == kQX16Bit ? out[k] : (uint16_t)((out[k] * 255 + 32767) / 65535);
    });
    cmsDeleteTransform(exact);
    return tm;
  }

  // Errors of ours and of LittleCMS's 33-point lattice against the exact
  // conversion, on every grid point and on random pixels.
  template <class T>
  void Compare(const Tintmesh* tm, const char* what, Stats& oursGrid, Stats& oursElse, Stats& lcmsGrid,
               Stats& lcmsElse) {
    const bool wide = sizeof(T) == 2;
    const int max = wide ? 65535 : 255;
    cmsHTRANSFORM exact = Make(wide ? TYPE_RGB_16 : TYPE_RGB_8, cmsFLAGS_NOOPTIMIZE);
    cmsHTRANSFORM lattice = Make(wide ? TYPE_RGB_16 : TYPE_RGB_8, cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(kGrid));
    ASSERT_TRUE(exact && lattice);
    const std::vector<uint16_t> pos = EvenPositions(kGrid, max);
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<T> px;
      if (pass == 0) {
        for (int b : pos)
          for (int g : pos)
            for (int r : pos) px.insert(px.end(), {(T)r, (T)g, (T)b});
      } else {
        std::mt19937 rng(2024);
        std::uniform_int_distribution<int> d(0, max);
        for (int i = 0; i < 300000; ++i) px.insert(px.end(), {(T)d(rng), (T)d(rng), (T)d(rng)});
      }
      const int count = (int)px.size() / 3;
      std::vector<T> ours(px.size()), want(px.size()), theirs(px.size());
      QXChannelPtrs ip, op;
      for (int c = 0; c < 3; ++c) ip.chan[c] = px.data() + c, op.chan[c] = ours.data() + c;
      ASSERT_EQ(QXEvaluate(tm, count, ip, 3, op, 3), 0);
      cmsDoTransform(exact, px.data(), want.data(), (cmsUInt32Number)count);
      cmsDoTransform(lattice, px.data(), theirs.data(), (cmsUInt32Number)count);
      Stats& o = pass == 0 ? oursGrid : oursElse;
      Stats& l = pass == 0 ? lcmsGrid : lcmsElse;
      for (size_t i = 0; i < px.size(); ++i) {
        o.Add(ours[i], want[i]);
        l.Add(theirs[i], want[i]);
      }
    }
    cmsDeleteTransform(exact);
    cmsDeleteTransform(lattice);
    std::printf("LCMS-COMPARE %s grid points: ours max %d mean %.4f | lcms33 max %d mean %.4f\n", what, oursGrid.max,
                oursGrid.Mean(), lcmsGrid.max, lcmsGrid.Mean());
    std::printf("LCMS-COMPARE %s elsewhere:   ours max %d mean %.4f | lcms33 max %d mean %.4f\n", what, oursElse.max,
                oursElse.Mean(), lcmsElse.max, lcmsElse.Mean());
  }

  cmsHPROFILE src_ = nullptr, dst_ = nullptr;
};

// 8-bit pixels through an 8-bit table (the 8-bit transforms' form): grid
// points exact, worst error no worse than LittleCMS's lattice. Its mean error
// is higher than LittleCMS's, whose lattice holds 16-bit values even for
// 8-bit pixels: every 8-bit grid value carries up to half a code of rounding,
// which keeps the mean near 0.16 code.
TEST_F(TintmeshLcms, EightBitTable) {
  TintmeshPtr tm = Sample(kQX8Bit);
  Stats og, oe, lg, le;
  Compare<uint8_t>(tm.get(), "8-bit pixels, 8-bit table            ", og, oe, lg, le);
  EXPECT_LE(og.max, 1);
  EXPECT_LE(oe.max, le.max);
  EXPECT_LE(oe.Mean(), 0.25);
}

// 8-bit pixels through a 16-bit table. An 8-bit result of a 16-bit table is
// the high byte of the interpolated value, so the table holds each value v
// as v·256/257 + 128: the high byte is then v/257 rounded. Interpolation
// being linear, this measures our 8-bit interpolation itself: no worse than
// LittleCMS's on the mean and the worst case.
TEST_F(TintmeshLcms, EightBitFromSixteenBitTable) {
  TintmeshPtr tm = Sample(kQX16Bit);
  uint16_t* t = tm->table16.get();
  for (int32_t i = 0; i < tm->table16.count; ++i) t[i] = (uint16_t)std::min(65535, (t[i] * 256 + 128) / 257 + 128);
  SetPaths(tm.get(), kQX8Bit, kQX8Bit);
  Stats og, oe, lg, le;
  Compare<uint8_t>(tm.get(), "8-bit pixels, 16-bit table for 8 bits", og, oe, lg, le);
  EXPECT_LE(og.max, 1);
  EXPECT_LE(oe.max, le.max);
  EXPECT_LE(oe.Mean(), le.Mean());
}

TEST_F(TintmeshLcms, SixteenBit) {
  TintmeshPtr tm = Sample(kQX16Bit);
  SetPaths(tm.get(), kQX16Bit, kQX16Bit);
  Stats og, oe, lg, le;
  Compare<uint16_t>(tm.get(), "16-bit pixels, 16-bit table          ", og, oe, lg, le);
  EXPECT_LE(og.max, 1);
  EXPECT_LE(oe.max, le.max);
  EXPECT_LE(oe.Mean(), le.Mean());
}

}  // namespace
