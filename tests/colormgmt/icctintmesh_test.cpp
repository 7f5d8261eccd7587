// Sampling system transforms into Tintmeshes: the grid positions, the error
// of every grid size against LittleCMS's exact conversion (and, at 33 points,
// against LittleCMS's own 33-point lattice), identity where the profiles are
// equal, failures, and the input transform of an image.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdio>
#include <random>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/icctintmesh.h"
#include "support/app_fixture.h"
#include "transform/tintmesh_eval.h"

namespace {

using namespace cmtest;

struct Owned {
  Tintmesh* tm = nullptr;
  ~Owned() { QXFree(&tm); }
};

TEST(IccGrid, PositionsOfEveryGridSize) {
  uint16_t p[kMaxGridSize];
  int32_t n = 0;
  ASSERT_EQ(ICCGridPositions(0, kQX8Bit, p, &n), 0);
  EXPECT_EQ(std::vector<uint16_t>(p, p + n), (std::vector<uint16_t>{0, 43, 85, 128, 170, 212, 255}));
  ASSERT_EQ(ICCGridPositions(2, kQX8Bit, p, &n), 0);
  EXPECT_EQ(std::vector<uint16_t>(p, p + n),
            (std::vector<uint16_t>{0, 26, 51, 77, 102, 128, 153, 178, 204, 229, 255}));
  for (int32_t precision : {kQX8Bit, kQX16Bit}) {
    const int max = precision == kQX16Bit ? 65535 : 255;
    for (int32_t g = 0; g < kGridSizeCount; ++g) {
      ASSERT_EQ(ICCGridPositions(g, precision, p, &n), 0);
      ASSERT_EQ(n, kGridSizes[g]);
      EXPECT_EQ(p[0], 0);
      EXPECT_EQ(p[n - 1], max);
      for (int k = 1; k < n; ++k) {
        const int exact = (2 * k * max + (n - 1)) / (2 * (n - 1));
        EXPECT_TRUE(p[k] == exact || p[k] == exact - 1) << g << " " << k;
        EXPECT_GT(p[k], p[k - 1]);
      }
    }
  }
  EXPECT_EQ(ICCGridPositions(8, kQX8Bit, p, &n), kBadArg);
  EXPECT_EQ(ICCGridPositions(0, 3, p, &n), kBadArg);
  int32_t index = -1;
  EXPECT_EQ(CheckGridIndex(index), kUnsupported);
  EXPECT_EQ(index, 7);
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

class IccTintmesh : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    srgb_ = WorkingSpaceFile(dir_, 13);
    adobe_ = WorkingSpaceFile(dir_, 0);
  }
  // Errors of `tm` against LittleCMS's exact conversion on the Tintmesh's own
  // grid points and on random pixels, and of LittleCMS's 33-point lattice on
  // the same random pixels.
  template <class T>
  void Measure(const Tintmesh* tm, Stats& grid, Stats& random, Stats& lcms33) {
    const bool wide = sizeof(T) == 2;
    cmsHPROFILE s = cmsOpenProfileFromFile(srgb_.c_str(), "r"), d = cmsOpenProfileFromFile(adobe_.c_str(), "r");
    const cmsUInt32Number format = wide ? TYPE_RGB_16 : TYPE_RGB_8;
    cmsHTRANSFORM exact = cmsCreateTransform(s, format, d, format, INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
    cmsHTRANSFORM lattice = cmsCreateTransform(s, format, d, format, INTENT_RELATIVE_COLORIMETRIC,
                                               cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
    ASSERT_TRUE(exact && lattice);
    const int n = tm->in[0].samples;
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<T> px;
      if (pass == 0) {
        for (int b = 0; b < n; ++b)
          for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r)
              px.insert(px.end(), {(T)tm->in[0].positions[r], (T)tm->in[1].positions[g], (T)tm->in[2].positions[b]});
      } else {
        std::mt19937 rng(2024);
        std::uniform_int_distribution<int> dist(0, wide ? 65535 : 255);
        for (int i = 0; i < 200000; ++i) px.insert(px.end(), {(T)dist(rng), (T)dist(rng), (T)dist(rng)});
      }
      const int count = (int)px.size() / 3;
      std::vector<T> ours(px.size()), want(px.size()), theirs(px.size());
      QXChannelPtrs ip, op;
      for (int c = 0; c < 3; ++c) ip.chan[c] = px.data() + c, op.chan[c] = ours.data() + c;
      ASSERT_EQ(QXEvaluate(tm, count, ip, 3, op, 3), 0);
      cmsDoTransform(exact, px.data(), want.data(), (cmsUInt32Number)count);
      cmsDoTransform(lattice, px.data(), theirs.data(), (cmsUInt32Number)count);
      for (size_t i = 0; i < px.size(); ++i) {
        (pass == 0 ? grid : random).Add(ours[i], want[i]);
        if (pass == 1) lcms33.Add(theirs[i], want[i]);
      }
    }
    cmsDeleteTransform(exact);
    cmsDeleteTransform(lattice);
    cmsCloseProfile(s);
    cmsCloseProfile(d);
  }

  std::string dir_ = FreshDir("icc_tintmesh");
  std::string srgb_, adobe_;
};

// sRGB to AdobeRGB (1998) at every grid size and both precisions: within one
// code on the grid points; at 33 points with 16-bit pixels no worse than
// LittleCMS's own 33-point lattice. Prints the figures.
TEST_F(IccTintmesh, ErrorAgainstExactConversion) {
  for (int32_t precision : {kQX16Bit, kQX8Bit}) {
    for (int32_t g = 0; g < kGridSizeCount; ++g) {
      Owned tm;
      ASSERT_EQ(Ui_ICC_MakeTintmeshSrcToDst(srgb_, adobe_, precision, g, &tm.tm), 0);
      ASSERT_EQ(QXValidate(tm.tm), 0);
      EXPECT_EQ(tm.tm->inPath, precision);
      EXPECT_EQ(tm.tm->outPath, precision);
      Stats grid, random, lcms;
      if (precision == kQX16Bit) Measure<uint16_t>(tm.tm, grid, random, lcms);
      else Measure<uint8_t>(tm.tm, grid, random, lcms);
      std::printf("ICC-TINTMESH %s grid %2d: grid points max %d mean %.4f | random max %d mean %.4f | lcms33 max %d mean %.4f\n",
                  precision == kQX16Bit ? "16-bit" : " 8-bit", kGridSizes[g], grid.max, grid.Mean(), random.max,
                  random.Mean(), lcms.max, lcms.Mean());
      EXPECT_LE(grid.max, 1) << kGridSizes[g];
      if (g == kDefaultGridIndex && precision == kQX16Bit) {
        EXPECT_LE(random.max, lcms.max);
        EXPECT_LE(random.Mean(), lcms.Mean());
      }
    }
  }
}

// Equal profiles give the identity at every 8-bit value, even on the coarsest
// grid: 255 is translated as 65535, so white stays white.
TEST_F(IccTintmesh, MonitorTransformOfEqualProfilesIsIdentity) {
  Owned tm;
  ASSERT_EQ(Ui_ICC_MakeTintmeshSrcToMon(srgb_, 0, &tm.tm), 0);  // no monitor hook: sRGB
  ASSERT_EQ(tm.tm->in[0].samples, 7);
  EXPECT_EQ(tm.tm->precision, kQX8Bit);
  std::vector<uint8_t> px, out;
  for (int v = 0; v < 256; ++v) px.insert(px.end(), {(uint8_t)v, (uint8_t)v, (uint8_t)v});
  std::mt19937 rng(3);
  for (int i = 0; i < 30000; ++i) px.push_back((uint8_t)rng());
  out.resize(px.size());
  QXChannelPtrs ip, op;
  for (int c = 0; c < 3; ++c) ip.chan[c] = px.data() + c, op.chan[c] = out.data() + c;
  ASSERT_EQ(QXEvaluate(tm.tm, (int32_t)px.size() / 3, ip, 3, op, 3), 0);
  EXPECT_EQ(out, px);
}

TEST_F(IccTintmesh, FailuresFreeAndLog) {
  OpenState(1);
  Tintmesh* tm = nullptr;
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToDst(srgb_, adobe_, 3, 0, &tm), kBadArg);
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToDst(srgb_, adobe_, kQX8Bit, 8, &tm), kBadArg);
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToDst(srgb_, "", kQX8Bit, 0, &tm), kBadArg);
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToMon(srgb_, -1, &tm), kBadArg);
  ClearLog();
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToMon(dir_ + "none.icc", 7, &tm), kSysErr);
  EXPECT_NE(LogText().find("Ui_ICC_XformMakeSrcToMon status = -2"), std::string::npos) << LogText();
  EXPECT_EQ(tm, nullptr);
  const std::string cmyk = WriteBytes(dir_ + "cmyk.icc", CmykPrinterProfile());
  EXPECT_EQ(Ui_ICC_MakeTintmeshSrcToDst(cmyk, adobe_, kQX16Bit, 7, &tm), kSysErr);
  EXPECT_EQ(tm, nullptr);
}

// The input transform: none for an empty path or the working space's own
// path; a path that differs only in letter case is another file and gets
// one; the precision follows the image; a failure is reported once.
TEST_F(IccTintmesh, InputTransformOfAnImage) {
  Owned qx;
  ASSERT_EQ(Ui_ICC_MakeTintmeshSrcToDst(srgb_, adobe_, kQX8Bit, 0, &qx.tm), 0);
  EXPECT_EQ(MakeInputTransform("", adobe_, 255, 0, &qx.tm), 0);
  EXPECT_EQ(qx.tm, nullptr);
  EXPECT_EQ(MakeInputTransform(adobe_, adobe_, 255, 0, &qx.tm), 0);
  EXPECT_EQ(qx.tm, nullptr);

  const std::string upper = WriteBytes(dir_ + "ADOBERGB1998.ICC", WorkingSpaceBytes(0));
  ASSERT_EQ(MakeInputTransform(upper, adobe_, 255, 1, &qx.tm), 0);
  ASSERT_NE(qx.tm, nullptr);
  EXPECT_EQ(qx.tm->precision, kQX8Bit);
  EXPECT_EQ(qx.tm->in[0].samples, 9);
  ASSERT_EQ(MakeInputTransform(srgb_, adobe_, 65535, 1, &qx.tm), 0);
  EXPECT_EQ(qx.tm->precision, kQX16Bit);
  EXPECT_EQ(qx.tm->inPath, kQX16Bit);
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 0);

  const std::string junk = WriteBytes(dir_ + "junk.icc", Bytes(300, 9));
  EXPECT_EQ(MakeInputTransform(junk, adobe_, 255, 7, &qx.tm), kFormatErr);
  EXPECT_EQ(qx.tm, nullptr);
  ASSERT_EQ(host().Count(ScriptedHost::Kind::Alert), 1);
  EXPECT_EQ(host().Of(ScriptedHost::Kind::Alert)[0].text, "A data format error occurred while making input QX.");
}

}  // namespace
