// The tools that read image pixels: neutral and hue-handle marking (region
// growing) and the levels histogram.
#include <gtest/gtest.h>

#include <cmath>

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "correct/marking.h"
#include "correct/tonetools.h"
#include "correct_support.h"

namespace {
int TotalCount(const SampleBin* bins) {
  int n = 0;
  for (int i = 0; i < kSampleBins; ++i) n += bins[i].count;
  return n;
}
}  // namespace

TEST(MarkNeutral, RegionFollowsSimilarPixels) {
  struct Case {
    const char* what;
    int bytes;
    void (*paint)(TestImage&);
    int expectCount;
  };
  const Case cases[] = {
      // A uniform area is taken whole.
      {"uniform 8-bit", 1, [](TestImage& im) { im.Fill(0.5f, 0.45f, 0.4f); }, 40 * 30},
      {"uniform 16-bit", 2, [](TestImage& im) { im.Fill(0.5f, 0.45f, 0.4f); }, 40 * 30},
      // A pixel whose neighbours all differ by more than 16/255 is sampled alone.
      {"isolated", 1,
       [](TestImage& im) {
         for (int y = 0; y < im.height; ++y)
           for (int x = 0; x < im.width; ++x) im.Set(x, y, (x + y) % 2 ? 0.2f : 0.6f, 0.5f, 0.5f);
       },
       1},
      // A gentle ramp (each step 4/255) is followed until it drifts 22/255 from the seed.
      {"gradient", 1,
       [](TestImage& im) {
         for (int y = 0; y < im.height; ++y)
           for (int x = 0; x < im.width; ++x) im.Set(x, y, (100 + 4 * x) / 255.0f, 0.4f, 0.4f);
       },
       6 * 30},
  };
  for (const Case& c : cases) {
    TestImage im(40, 30, c.bytes);
    c.paint(im);
    TavelinPars p = NewPars();
    RegionMask mask;
    ASSERT_EQ(MarkNeutral(&p, &im.view, 3, 0, 0, &mask), kOk) << c.what;
    EXPECT_EQ(TotalCount(p.balBin), c.expectCount) << c.what;
    EXPECT_EQ(mask.CountSet(), c.expectCount) << c.what;
    EXPECT_EQ(p.balanceValid, 0);
  }
  // The gradient's region spans codes 100..120 from the seed at the left edge.
  TestImage im(40, 30, 1);
  cases[3].paint(im);
  TavelinPars p = NewPars();
  RegionMask mask;
  ASSERT_EQ(MarkNeutral(&p, &im.view, 3, 0, 5, &mask), kOk);
  EXPECT_EQ(mask.minX, 0);
  EXPECT_EQ(mask.maxX, 5);
  EXPECT_EQ(mask.minY, 0);
  EXPECT_EQ(mask.maxY, 29);
}

TEST(MarkNeutral, StackLimitAndRefusals) {
  // A large uniform image overflows the fill stack: the region is smaller
  // than the area, and the click still succeeds.
  TestImage big(1000, 1000, 1);
  big.Fill(0.3f, 0.3f, 0.3f);
  TavelinPars p = NewPars();
  RegionMask mask;
  ASSERT_EQ(MarkNeutral(&p, &big.view, 0, 500, 500, &mask), kOk);
  EXPECT_GT(mask.CountSet(), 1000);
  EXPECT_EQ(TotalCount(p.balBin), mask.CountSet());
  // Outside the image, a bad raster or an invalid record: nothing added.
  TestImage im(8, 8, 1);
  p = NewPars();
  EXPECT_EQ(MarkNeutral(&p, &im.view, 0, 8, 0, nullptr), kBadArg);
  EXPECT_EQ(MarkNeutral(&p, &im.view, 0, 0, -1, nullptr), kBadArg);
  EXPECT_EQ(MarkNeutral(&p, &im.view, 8, 0, 0, nullptr), kBadArg);
  RasterView four = im.view;
  four.channels = 4;
  EXPECT_EQ(MarkNeutral(&p, &four, 0, 0, 0, nullptr), kBadArg);
  p.grayPoint = -1.0f;
  EXPECT_EQ(MarkNeutral(&p, &im.view, 0, 0, 0, nullptr), kBadArg);
  EXPECT_EQ(TotalCount(p.balBin), 0);
}

TEST(MarkNeutral, LinearImagesAreReadAfterTheLinearStep) {
  TestImage im(10, 10, 2);
  im.Fill(0.2f, 0.2f, 0.2f);
  TavelinPars p = NewPars();
  p.linear = 1;
  ASSERT_EQ(MarkNeutral(&p, &im.view, 7, 3, 3, nullptr), kOk);
  // 0.2 ^ (1 / 2.2) = 0.481: the samples sit in bin 9.
  EXPECT_EQ(p.balBin[9].count, 100);
  EXPECT_NEAR(p.balBin[9].sum[0] / 100.0, std::pow(0.2, 1 / 2.2), 2e-3);
}

TEST(MarkHueColour, MarksTheNearestOrTheActiveHandle) {
  TestImage im(20, 20, 1);
  im.Fill(0.5f, 0.5f, 0.5f);
  // A green patch at hue 110.
  float green[3];
  const float hcl[3] = {110.0f / 360.0f, 0.4f, 0.45f};
  HslToRgb(hcl, kModelChroma, green);
  for (int y = 5; y < 10; ++y)
    for (int x = 5; x < 10; ++x) im.Set(x, y, green[0], green[1], green[2]);
  TavelinPars p = NewPars();
  int active = -1;
  RegionMask mask;
  ASSERT_EQ(MarkHueColour(&p, &im.view, 3, 6, 6, &active, &mask), kOk);
  EXPECT_EQ(active, 8);  // handle at 120 degrees, identity 8
  int k;
  ASSERT_EQ(HandleIdToIndex(&p, active, &k), kOk);
  EXPECT_EQ(TotalCount(p.hue[k].hueBin), 25);
  EXPECT_NEAR(p.hue[k].baseHue, 110.0, 1.0);
  EXPECT_EQ(mask.CountSet(), 25);
  // With an active handle the samples go there; it moves past its neighbours
  // and is re-sorted, keeping its identity.
  active = 10;  // the handle at 240 degrees
  ASSERT_EQ(MarkHueColour(&p, &im.view, 3, 7, 7, &active, &mask), kOk);
  EXPECT_EQ(active, 10);
  ASSERT_EQ(HandleIdToIndex(&p, 10, &k), kOk);
  EXPECT_NEAR(p.hue[k].baseHue, 110.0, 1.0);
  for (int h = 1; h < kHueEntries; ++h) EXPECT_LE(p.hue[h - 1].baseHue, p.hue[h].baseHue);
  // A gray region is too neutral to specify a hue: nothing is added.
  const TavelinPars before = p;
  active = -1;
  EXPECT_EQ(MarkHueColour(&p, &im.view, 3, 0, 0, &active, nullptr), kBadArg);
  EXPECT_TRUE(SameBytes(p, before));
}

TEST(LevelsHistogram, SamplingDepthsAndBalance) {
  TestImage im(8, 10, 2);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 8; ++x) im.Set(x, y, x / 7.0f, x / 7.0f, x / 7.0f);
  TavelinPars p = NewPars();
  uint32_t hist[256];
  // Index 7 counts every pixel; 16-bit values are divided by 257.
  ASSERT_EQ(LevelsHistogram(&im.view, 7, &p, 3, hist), kOk);
  uint32_t total = 0;
  for (uint32_t h : hist) total += h;
  EXPECT_EQ(total, 80u);
  EXPECT_EQ(hist[0], 10u);
  EXPECT_EQ(hist[255], 10u);
  EXPECT_EQ(hist[36], 10u);  // 9362 / 257
  // Index 0 counts every 4th pixel of every 5th row: x 0, 4 on rows 0, 5.
  ASSERT_EQ(LevelsHistogram(&im.view, 0, &p, 3, hist), kOk);
  total = 0;
  for (uint32_t h : hist) total += h;
  EXPECT_EQ(total, 4u);
  EXPECT_EQ(hist[0], 2u);
  EXPECT_EQ(hist[145], 2u);  // 4/7 of 65535 = 37449, / 257 = 145
  // The histogram is taken after the balance: a neutral mark at a warm gray
  // pulls that gray's luma onto itself, other tools do not count.
  TestImage warm(4, 4, 1);
  warm.Fill(0.6f, 0.5f, 0.4f);
  p.contrast = 1.0f;
  ASSERT_EQ(MarkNeutral(&p, &warm.view, 3, 0, 0, nullptr), kOk);
  ASSERT_EQ(LevelsHistogram(&warm.view, 7, &p, 7, hist), kOk);
  int peak = 0;
  for (int i = 0; i < 256; ++i)
    if (hist[i] > hist[peak]) peak = i;
  EXPECT_EQ(hist[peak], 16u);
  EXPECT_NEAR(peak, 132, 3);
  // Per channel: the same samples; unbalanced, a warm gray piles up apart.
  TavelinPars plain = NewPars();
  uint32_t rgb[3][256];
  ASSERT_EQ(LevelsHistogram(&warm.view, 7, &plain, 7, hist, rgb), kOk);
  for (int c = 0; c < 3; ++c) {
    const int expect = (int)std::lround((0.6f - 0.1f * c) * 255.0f);
    int at = 0;
    for (int i = 0; i < 256; ++i)
      if (rgb[c][i] > rgb[c][at]) at = i;
    EXPECT_EQ(rgb[c][at], 16u) << c;
    EXPECT_NEAR(at, expect, 1) << c;
  }
  EXPECT_EQ(LevelsHistogram(&warm.view, 8, &p, 7, hist), kBadArg);
}
