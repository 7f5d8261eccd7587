// Brivio: each step on small synthetic images whose answer is known, the
// handle placement on synthetic hue histograms, the master sequence and its
// masks, and the whole correction on photographs with a colour cast.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "correct/brivio.h"
#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct/hueselective.h"
#include "correct/tonetools.h"
#include "transform/tintmesh_eval.h"
#include "correct_support.h"
#include "support/app_fixture.h"
#include "support/scratch.h"

namespace {

int CountIn(const SampleBin* bins, int from, int to) {
  int n = 0;
  for (int i = from; i < to; ++i) n += bins[i].count;
  return n;
}

// Fills the block x0 <= x < x1, y0 <= y < y1.
void FillBlock(TestImage& im, int x0, int y0, int x1, int y1, float r, float g, float b) {
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) im.Set(x, y, r, g, b);
}

BrivioContext ContextFor(TavelinPars* pars) {
  BrivioContext ctx;
  ctx.pars = pars;
  return ctx;
}

}  // namespace

// ---- linear detection ------------------------------------------------------------

TEST(AutoLinear, MedianNearEighteenPercentMeansLinear) {
  struct Case {
    int bytes;
    int median;  // 8-bit gray level of the middle third of the rows
    int expect;
  };
  const Case cases[] = {
      {2, 46, 1},   // g = 0.99
      {2, 118, 0},  // g = 2.2
      {1, 46, 0},   // an 8-bit image is never linear
  };
  for (const Case& c : cases) {
    TestImage im(30, 30, c.bytes);
    FillBlock(im, 0, 0, 30, 10, 10 / 255.0f, 10 / 255.0f, 10 / 255.0f);
    FillBlock(im, 0, 10, 30, 20, c.median / 255.0f, c.median / 255.0f, c.median / 255.0f);
    FillBlock(im, 0, 20, 30, 30, 0.9f, 0.9f, 0.9f);
    TavelinPars p = NewPars();
    p.linear = 1 - c.expect;
    ASSERT_EQ(AutoLinear(&p, &im.view, 7, kBrivioLinearLimit, 7), kOk);
    EXPECT_EQ(p.linear, c.expect) << c.bytes << "-bit, median " << c.median;
  }
}

// ---- colour balance ------------------------------------------------------------------

TEST(AutoBalance, MarksOnlyDarkestAndLightestThatAreNearlyGray) {
  struct Case {
    const char* what;
    int bytes;
    float dark[3], light[3];
    int expectDark, expectLight;  // samples marked below / above luma 0.5
  };
  // 40 x 30 pixels, a 4 x 4 patch is 1.3 % of them: the darkest and the
  // lightest 0.4 % lie inside the patches, and a uniform patch is marked whole.
  const Case cases[] = {
      {"gray ends", 1, {20 / 255.f, 22 / 255.f, 30 / 255.f}, {0.93f, 0.92f, 0.9f}, 16, 16},
      {"gray ends 16-bit", 2, {20 / 255.f, 22 / 255.f, 30 / 255.f}, {0.93f, 0.92f, 0.9f}, 16, 16},
      // Saturated blue darkest pixels (chroma 0.43): no dark neutral.
      {"blue shadows", 1, {10 / 255.f, 10 / 255.f, 120 / 255.f}, {0.93f, 0.92f, 0.9f}, 0, 16},
      // Yellow highlights (chroma 0.5): no light neutral.
      {"yellow highlights", 1, {20 / 255.f, 22 / 255.f, 30 / 255.f}, {0.95f, 0.9f, 0.45f}, 16, 0},
  };
  for (const Case& c : cases) {
    TestImage im(40, 30, c.bytes);
    im.Fill(0.55f, 0.45f, 0.35f);
    FillBlock(im, 2, 2, 6, 6, c.dark[0], c.dark[1], c.dark[2]);
    FillBlock(im, 30, 20, 34, 24, c.light[0], c.light[1], c.light[2]);
    TavelinPars p = NewPars();
    AddSamples(p.balBin, 0.3f, 0.5f, 0.4f, 3);  // earlier marks are dropped
    ASSERT_EQ(AutoBalance(&p, &im.view, 7, 0.004, 0.004, 0.35, 3), kOk) << c.what;
    EXPECT_EQ(CountIn(p.balBin, 0, 10), c.expectDark) << c.what;
    EXPECT_EQ(CountIn(p.balBin, 10, kSampleBins), c.expectLight) << c.what;
    EXPECT_EQ(p.balanceValid, 0) << c.what;
  }
}

// ---- black, gray and white points ------------------------------------------------------

TEST(AutoLevels, PointsFromClippedHistogramEnds) {
  // One gray level 128: lo = 129 and hi = 127, so the line through
  // (lo/255, s(lo/255)) and (hi/255, s(hi/255)) is steep and reversed.
  // Black 0.16667 and white 0.83333; the median 129 gives gray 0.50441.
  struct Case {
    ToolMask mask;
    float black, gray, white;
  };
  const Case cases[] = {
      {TOOL_POINTS, 0.16667f, 0.50441f, 0.83333f},
      {TOOL_BLACK | TOOL_WHITE, 0.16667f, 0.5f, 0.83333f},
      {TOOL_WHITE, 0.0f, 0.5f, 0.83333f},
      {TOOL_GRAY, 0.0f, 0.50294f, 1.0f},  // points 0 and 1: halfway to the median 129/255
  };
  TestImage im(50, 40, 1);
  im.Fill(128 / 255.f, 128 / 255.f, 128 / 255.f);
  for (const Case& c : cases) {
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoLevels(&p, &im.view, 7, 0.002, 0.002, c.mask, 3), kOk);
    EXPECT_NEAR(p.blackPoint, c.black, 2e-4) << c.mask;
    EXPECT_NEAR(p.grayPoint, c.gray, 2e-4) << c.mask;
    EXPECT_NEAR(p.whitePoint, c.white, 2e-4) << c.mask;
  }
  // A full ramp clips only its first and last level: the points stay close
  // to the ends, inside 0..1.
  TestImage ramp(256, 4, 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 256; ++x) ramp.Set(x, y, x / 255.f, x / 255.f, x / 255.f);
  TavelinPars p = NewPars();
  ASSERT_EQ(AutoLevels(&p, &ramp.view, 7, 0.002, 0.002, TOOL_POINTS, 3), kOk);
  EXPECT_GE(p.blackPoint, 0.0f);
  EXPECT_LT(p.blackPoint, 0.01f);
  EXPECT_GT(p.whitePoint, 0.99f);
  EXPECT_LE(p.whitePoint, 1.0f);
  EXPECT_NEAR(p.grayPoint, 0.5f, 0.01f);
}

TEST(AutoLevels, DegenerateSpreadsKeepTheRecordValid) {
  struct Case {
    const char* what;
    int level[2];  // gray levels of the two halves
    float black, white;  // points before
    ToolMask mask;
    float expectBlack, expectGray, expectWhite;
  };
  const Case cases[] = {
      // Levels 100 and 102: lo = hi = 101, the line has no slope, the points stay.
      {"lo equals hi", {100, 102}, 0.0f, 1.0f, TOOL_BLACK | TOOL_WHITE, 0.0f, 0.5f, 1.0f},
      // Equal black and white points: no place for the median, gray stays.
      {"points coincide", {100, 140}, 0.5f, 0.5f, TOOL_GRAY, 0.5f, 0.5f, 0.5f},
      // The median (129) just above a narrow pair: the formula gives 1.72, gray is held at 1.
      {"median above", {128, 128}, 0.5f, 0.502f, TOOL_GRAY, 0.5f, 1.0f, 0.502f},
      // A white point above 1 is read as level 255: the median 101 gives 0.349.
      {"wide white", {100, 140}, 0.0f, 2.0f, TOOL_GRAY, 0.0f, 0.34902f, 2.0f},
  };
  for (const Case& c : cases) {
    TestImage im(40, 30, 1);
    FillBlock(im, 0, 0, 40, 15, c.level[0] / 255.f, c.level[0] / 255.f, c.level[0] / 255.f);
    FillBlock(im, 0, 15, 40, 30, c.level[1] / 255.f, c.level[1] / 255.f, c.level[1] / 255.f);
    TavelinPars p = NewPars();
    p.blackPoint = c.black;
    p.whitePoint = c.white;
    ASSERT_EQ(AutoLevels(&p, &im.view, 7, 0.002, 0.002, c.mask, 3), kOk) << c.what;
    EXPECT_NEAR(p.blackPoint, c.expectBlack, 2e-4) << c.what;
    EXPECT_NEAR(p.grayPoint, c.expectGray, 2e-4) << c.what;
    EXPECT_NEAR(p.whitePoint, c.expectWhite, 2e-4) << c.what;
    EXPECT_EQ(ValidateTavelinPars(&p), kOk) << c.what;
  }
}

// ---- global brightness -------------------------------------------------------------------

TEST(AutoBrightness, KeyAndBisection) {
  struct Case {
    double key;
    double expect;  // brightness, or < 0: Bias(key, result) must reach the band end
  };
  const Case cases[] = {{0.5, 0.5}, {0.4, 0.5}, {0.6, 0.5}, {0.2, -1}, {0.85, -1}};
  for (const Case& c : cases) {
    const double a = BrightnessForKey(c.key, 0.4, 0.6);
    if (c.expect >= 0) {
      EXPECT_EQ(a, c.expect) << c.key;
      continue;
    }
    const double target = c.key < 0.4 ? 0.4 : 0.6;
    EXPECT_NEAR(Bias(c.key, a), target, 0.01) << c.key;
    EXPECT_EQ(a > 0.5, c.key < 0.4) << c.key;
  }
  // Bias(0.2, a) = 0.4 at a = 0.727: the bisection lands within 0.005.
  EXPECT_NEAR(BrightnessForKey(0.2, 0.4, 0.6), 0.7273, 0.005);
}

TEST(AutoBrightness, KeyWeightsCentreAndModerateColour) {
  // A dark brown image (chroma 40, luma 48): key 48/255, in the centre the
  // weights are large enough to mark the region, at the border they are 0.
  TestImage im(60, 40, 1);
  im.Fill(70 / 255.f, 40 / 255.f, 30 / 255.f);
  TavelinPars p = NewPars();
  RegionMask region;
  double key = 0;
  ASSERT_EQ(BrightnessKey(&p, &im.view, 7, 3, &region, &key), kOk);
  EXPECT_NEAR(key, 48 / 255.0, 0.004);
  EXPECT_TRUE(region.Get(30, 20));
  EXPECT_FALSE(region.Get(0, 20));
  EXPECT_FALSE(region.Get(30, 39));
  // Neutral pixels (chroma <= 8) weigh nothing: key 0.5 whatever their luma.
  TestImage gray(60, 40, 1);
  gray.Fill(0.1f, 0.1f, 0.12f);
  ASSERT_EQ(BrightnessKey(&p, &gray.view, 7, 3, &region, &key), kOk);
  EXPECT_EQ(key, 0.5);
  EXPECT_EQ(region.CountSet(), 0);
  // One row: no pixel is away from the border, and all weigh fully.
  TestImage line(400, 1, 1);
  line.Fill(70 / 255.f, 40 / 255.f, 30 / 255.f);
  ASSERT_EQ(BrightnessKey(&p, &line.view, 7, 3, nullptr, &key), kOk);
  EXPECT_NEAR(key, 48 / 255.0, 0.006);
  // Dark brown wants more than 0.6; Brivio keeps 0.6.
  ASSERT_EQ(AutoBrightness(&p, &im.view, 7, 0.4, 0.6, 3, nullptr), kOk);
  EXPECT_GT(p.brightness, 0.7f);
  TavelinPars q = NewPars();
  BrivioContext ctx = ContextFor(&q);
  ASSERT_EQ(RunBrivio(&ctx, TOOL_BRIGHTNESS, &im.view), kOk);
  EXPECT_EQ(q.brightness, 0.6f);
}

// ---- saturation ------------------------------------------------------------------------------

TEST(AutoSaturation, TopMidtoneSaturationMeetsPreference) {
  struct Case {
    float rgb[3];
    float preferred;
    float expectStep;    // AutoSaturation alone
    float expectBrivio;  // after Brivio's clamp (0.5..0.7 when preferred >= 0.8)
  };
  const Case cases[] = {
      // Pure red: saturation level 255 (S = 254), v = 0.8 x 255 / 254.
      {{1.0f, 0.0f, 0.0f}, 0.8f, 0.4016f, 0.5f},
      {{1.0f, 0.0f, 0.0f}, 0.5f, 0.2510f, 0.2510f},
      // Level (128 x 64 + 64) / 128 = 64 (S = 63): v = 0.8 x 255 / 63 = 3.2, clamped to 2.
      {{160 / 255.f, 96 / 255.f, 128 / 255.f}, 0.8f, 1.0f, 0.7f},
      // Neutral: nothing counted, S = 1, v clamped to 2.
      {{0.5f, 0.5f, 0.5f}, 0.3f, 1.0f, 1.0f},
  };
  for (const Case& c : cases) {
    TestImage im(30, 20, 1);
    im.Fill(c.rgb[0], c.rgb[1], c.rgb[2]);
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoSaturation(&p, &im.view, 7, 0.002, c.preferred, 3), kOk);
    EXPECT_NEAR(p.saturation, c.expectStep, 2e-4) << c.preferred;
    TavelinPars q = NewPars();
    BrivioContext ctx = ContextFor(&q);
    ctx.settings.preferredSaturation = c.preferred;
    ASSERT_EQ(RunBrivio(&ctx, TOOL_SATURATION, &im.view), kOk);
    EXPECT_NEAR(q.saturation, c.expectBrivio, 2e-4) << c.preferred;
  }
}

// ---- hue handles ------------------------------------------------------------------------------

TEST(PlaceHueHandles, PeaksFillAndSpread) {
  struct Case {
    const char* what;
    std::vector<std::pair<int, int64_t>> spikes;  // hue, weight
    std::vector<int> expect;
  };
  const Case cases[] = {
      {"nothing", {}, {0, 60, 120, 180, 240, 300}},
      // One peak: five handles spread 60 degrees apart around it.
      {"one peak", {{100, 100000}}, {40, 100, 160, 220, 280, 340}},
      // Three peaks: gaps filled widest first (295, 90, 248), then the added
      // ones spread evenly between their peaks (90; 263, 327).
      {"three peaks", {{30, 100000}, {150, 100000}, {200, 100000}}, {30, 90, 150, 200, 263, 327}},
      // Six well-separated peaks are kept as they are.
      {"six peaks",
       {{10, 50000}, {70, 60000}, {130, 70000}, {190, 50000}, {250, 80000}, {310, 50000}},
       {10, 70, 130, 190, 250, 310}},
  };
  for (const Case& c : cases) {
    int64_t h[kHueBins] = {};
    for (auto [hue, w] : c.spikes) h[hue] = w;
    int hues[kHueEntries];
    ASSERT_EQ(PlaceHueHandles(h, hues), kOk) << c.what;
    EXPECT_EQ(std::vector<int>(hues, hues + kHueEntries), c.expect) << c.what;
  }
}

TEST(PlaceHueHandles, ManyPeaksAreSmoothedAway) {
  // Twelve equal spikes 30 degrees apart: seven or more peaks, so the search
  // smooths again until fewer remain; six ascending hues come out.
  int64_t h[kHueBins] = {};
  for (int k = 0; k < 12; ++k) h[15 + 30 * k] = 100000;
  int hues[kHueEntries];
  ASSERT_EQ(PlaceHueHandles(h, hues), kOk);
  for (int i = 0; i < kHueEntries; ++i) {
    EXPECT_GE(hues[i], 0);
    EXPECT_LT(hues[i], 360);
    if (i > 0) {
      EXPECT_GT(hues[i], hues[i - 1]);
    }
  }
  h[7] = -1;
  EXPECT_EQ(PlaceHueHandles(h, hues), kBadArg);
}

TEST(HandlesFromPeaks, MergeThenFill) {
  struct Case {
    const char* what;
    std::vector<HuePeak> peaks;
    std::vector<int> expect;
  };
  const Case cases[] = {
      {"none", {}, {0, 60, 120, 180, 240, 300}},
      // 6 degrees apart: the lighter one goes, one peak is left.
      {"close, heavier later", {{100, 5}, {106, 9}}, {46, 106, 166, 226, 286, 346}},
      {"close, equal masses", {{100, 7}, {106, 7}}, {40, 100, 160, 220, 280, 340}},
      // After dropping 100, 105 is checked again against 109 and wins.
      {"a chain", {{109, 3}, {100, 5}, {105, 10}}, {45, 105, 165, 225, 285, 345}},
      // 10 degrees apart is far enough; the wrap from 355 to 0 is not compared.
      {"ten apart", {{100, 5}, {110, 9}}, {30, 100, 110, 180, 250, 320}},
      // Consecutive in hue order across the wrap: 357 and 3 are 6 apart.
      {"across zero", {{3, 4}, {357, 8}}, {57, 117, 177, 237, 297, 357}},
  };
  for (const Case& c : cases) {
    int hues[kHueEntries];
    ASSERT_EQ(HandlesFromPeaks(c.peaks.data(), (int)c.peaks.size(), hues), kOk) << c.what;
    EXPECT_EQ(std::vector<int>(hues, hues + kHueEntries), c.expect) << c.what;
  }
  const HuePeak bad[1] = {{360, 1}};
  int hues[kHueEntries];
  EXPECT_EQ(HandlesFromPeaks(bad, 1, hues), kBadArg);
  EXPECT_EQ(HandlesFromPeaks(bad, 7, hues), kBadArg);
}

TEST(AutoHueHandles, NeutralImageGetsDefaultHuesAndNeutralEntries) {
  TestImage im(40, 30, 2);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) im.Set(x, y, x / 40.f, x / 40.f, x / 40.f + 0.02f);  // chroma below 0.05
  TavelinPars p = NewPars();
  for (int i = 0; i < kHueEntries; ++i) {
    p.hue[i].baseHue = 10.0f + 50.0f * i;
    p.hue[i].hueShift = 15.0f;
    p.hue[i].saturation = 0.7f;
  }
  const int id2 = p.hue[2].handleId;
  AddSamples(p.hue[2].hueBin, 0.8f, 0.3f, 0.3f, 4);
  ASSERT_EQ(AutoHueHandles(&p, &im.view, 7, 3), kOk);
  for (int i = 0; i < kHueEntries; ++i) {
    EXPECT_EQ(p.hue[i].baseHue, 60.0f * i);
    EXPECT_EQ(p.hue[i].hueShift, 0.0f);
    EXPECT_EQ(p.hue[i].brightness, 0.5f);
    EXPECT_EQ(p.hue[i].saturation, 0.5f);
  }
  // Sample bins and identities stay where they were.
  EXPECT_EQ(p.hue[2].handleId, id2);
  EXPECT_EQ(CountIn(p.hue[2].hueBin, 0, kSampleBins), 4);
}

TEST(AutoHueHandles, ColourfulImagePutsHandlesOnItsHues) {
  // Red-orange (hue 20) and blue (hue 230) halves: two handles land on them.
  TestImage im(60, 30, 1);
  FillBlock(im, 0, 0, 30, 30, 0.9f, 0.4f, 0.25f);
  FillBlock(im, 30, 0, 60, 30, 0.2f, 0.35f, 0.85f);
  TavelinPars p = NewPars();
  ASSERT_EQ(AutoHueHandles(&p, &im.view, 7, 3), kOk);
  float rgb[2][3] = {{0.9f, 0.4f, 0.25f}, {0.2f, 0.35f, 0.85f}};
  for (auto& c : rgb) {
    float hcl[3];
    RgbToHsl(c, kModelChroma, hcl);
    int nearest;
    ASSERT_EQ(NearestHandle(&p, 360.0 * hcl[0], &nearest), kOk);
    EXPECT_NEAR(p.hue[nearest].baseHue, 360.0 * hcl[0], 1.0);
  }
}

// ---- large images ---------------------------------------------------------------------------

TEST(BrivioSteps, LargeImagesCountBothHalves) {
  // 400 x 300 pixels at analysis index 7 are read in two bands of rows;
  // each image differs between its top and bottom half, so a lost or
  // misordered half shows.
  const int w = 400, h = 300;
  {  // Linear: a third at level 10 over two thirds at 118: the median is 118.
    TestImage im(w, h, 2);
    FillBlock(im, 0, 0, w, 100, 10 / 255.f, 10 / 255.f, 10 / 255.f);
    FillBlock(im, 0, 100, w, h, 118 / 255.f, 118 / 255.f, 118 / 255.f);
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoLinear(&p, &im.view, 7, kBrivioLinearLimit, 3), kOk);
    EXPECT_EQ(p.linear, 0);
  }
  {  // Balance: two equally dark gray patches; the seed is the first found, in the top one.
    TestImage im(w, h, 1);
    im.Fill(0.8f, 0.3f, 0.2f);
    FillBlock(im, 20, 10, 30, 20, 0.1f, 0.1f, 0.11f);      // 100 pixels
    FillBlock(im, 300, 250, 320, 270, 0.1f, 0.1f, 0.11f);  // 400 pixels
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoBalance(&p, &im.view, 7, 0.004, 0.004, 0.35, 3), kOk);
    EXPECT_EQ(CountIn(p.balBin, 0, kSampleBins), 100);
  }
  {  // Key: two moderately colourful halves weigh alike; the key is their mean luma.
    TestImage im(w, h, 1);
    FillBlock(im, 0, 0, w, h / 2, 70 / 255.f, 40 / 255.f, 30 / 255.f);      // luma 48
    FillBlock(im, 0, h / 2, w, h, 200 / 255.f, 170 / 255.f, 160 / 255.f);  // luma 178
    TavelinPars p = NewPars();
    RegionMask region;
    double key;
    ASSERT_EQ(BrightnessKey(&p, &im.view, 7, 3, &region, &key), kOk);
    EXPECT_NEAR(key, (48 + 178) / 2 / 255.0, 0.01);
    EXPECT_LT(region.minY, h / 2);
    EXPECT_GT(region.maxY, h / 2);
    EXPECT_TRUE(region.Get(region.minX, h / 2 + 10));
  }
  {  // Saturation: the most saturated pixels are in the bottom half (level 255, S = 254).
    TestImage im(w, h, 1);
    FillBlock(im, 0, 0, w, h / 2, 160 / 255.f, 96 / 255.f, 128 / 255.f);
    FillBlock(im, 0, h / 2, w, h, 1.0f, 0.0f, 0.0f);
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoSaturation(&p, &im.view, 7, 0.002, 0.8, 3), kOk);
    EXPECT_NEAR(p.saturation, 0.4016f, 2e-4);
  }
  {  // Hue: orange above, blue below: a handle on each.
    TestImage im(w, h, 1);
    FillBlock(im, 0, 0, w, h / 2, 0.9f, 0.4f, 0.25f);
    FillBlock(im, 0, h / 2, w, h, 0.2f, 0.35f, 0.85f);
    TavelinPars p = NewPars();
    ASSERT_EQ(AutoHueHandles(&p, &im.view, 7, 3), kOk);
    for (double hue : {13.8, 226.2}) {
      int nearest;
      ASSERT_EQ(NearestHandle(&p, hue, &nearest), kOk);
      EXPECT_NEAR(p.hue[nearest].baseHue, hue, 1.0);
    }
  }
}

// ---- the master sequence --------------------------------------------------------------------

TEST(BrivioMask, EveryOccasion) {
  struct Case {
    BrivioOccasion occasion;
    int panel;
    bool mode;
    ToolMask expect;
  };
  using O = BrivioOccasion;
  const Case cases[] = {
      {O::kMasterButton, 0, false, 0xFFFF},   {O::kPanelButton, 1, false, 0x0002},
      {O::kPanelButton, 2, false, 0x001C},    {O::kPanelButton, 3, false, 0x03E0},
      {O::kPanelButton, 4, false, 0xFC00},    {O::kPanelButton, 1, true, 0xFFFE},
      {O::kPanelButton, 2, true, 0xFFFC},     {O::kPanelButton, 3, true, 0xFFE0},
      {O::kPanelButton, 4, true, 0xFC00},     {O::kModeLinear, 0, true, 0xFFFE},
      {O::kModeBalance, 0, true, 0xFFFC},     {O::kModePoints, 0, true, 0xFFE0},
      {O::kModeBrightness, 0, true, 0xFFC0},  {O::kModeShadow, 0, true, 0xFF80},
      {O::kModeHighlight, 0, true, 0xFF00},   {O::kModeContrast, 0, true, 0xFE00},
      {O::kModeSaturation, 0, true, 0xFC00},  {O::kModePanel3Reset, 0, true, 0xFC00},
      {O::kHuePanelPending, 0, false, 0xFC00},
  };
  for (const Case& c : cases) {
    ToolMask m = 0;
    ASSERT_EQ(BrivioMask(c.occasion, c.panel, c.mode, &m), kOk);
    EXPECT_EQ(m, c.expect) << (int)c.occasion << " panel " << c.panel;
  }
  ToolMask m;
  EXPECT_EQ(BrivioMask(O::kPanelButton, 5, false, &m), kBadArg);
  EXPECT_EQ(BrivioMask(O::kPanelButton, 0, true, &m), kBadArg);
}

namespace {
// A scene with gray ends, a warm middle and blue sky: every step has work.
TestImage Scene(int bytes) {
  TestImage im(80, 60, bytes);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const float t = x / 79.0f;
      if (y < 20)
        im.Set(x, y, 0.3f + 0.2f * t, 0.45f + 0.2f * t, 0.75f + 0.2f * t);
      else
        im.Set(x, y, 0.25f + 0.5f * t, 0.2f + 0.4f * t, 0.15f + 0.3f * t);
    }
  FillBlock(im, 2, 50, 8, 56, 0.08f, 0.09f, 0.1f);
  FillBlock(im, 70, 50, 76, 56, 0.88f, 0.86f, 0.8f);
  return im;
}
}  // namespace

TEST(RunBrivio, SetMaskAndPendingHandles) {
  TestImage im = Scene(1);
  // Every set-mask bit off: nothing changes, not even the toning colour.
  {
    TavelinPars p = NewPars();
    p.toneColor[0] = 0.6f;
    p.contrast = 0.7f;
    const TavelinPars before = p;
    BrivioContext ctx = ContextFor(&p);
    ctx.settings.setMask = 0;
    ASSERT_EQ(RunBrivio(&ctx, 0xFFFF, &im.view), kOk);
    EXPECT_TRUE(SameBytes(p, before));
    EXPECT_FALSE(ctx.huePlacementPending);
  }
  // The default set: linear is skipped (8-bit), gray point, contrast,
  // shadow and highlight are left; unedited hue handles wait for the panel.
  TavelinPars p = NewPars();
  p.toneColor[2] = 0.4f;
  p.contrast = 0.7f;
  BrivioContext ctx = ContextFor(&p);
  ctx.activeHandle = p.hue[3].handleId;
  ASSERT_EQ(RunBrivio(&ctx, 0xFFFF, &im.view), kOk);
  EXPECT_EQ(p.linear, 0);
  EXPECT_GT(CountIn(p.balBin, 0, kSampleBins), 0);
  EXPECT_NE(p.blackPoint, 0.0f);
  EXPECT_NE(p.whitePoint, 1.0f);
  EXPECT_EQ(p.grayPoint, 0.5f);
  EXPECT_EQ(p.contrast, 0.7f);
  EXPECT_EQ(p.toneColor[2], 0.5f);
  EXPECT_TRUE(ctx.huePlacementPending);
  for (int i = 0; i < kHueEntries; ++i) EXPECT_EQ(p.hue[i].baseHue, 60.0f * i);
  // The balance panel's wedge was refreshed from the new balance.
  EXPECT_FLOAT_EQ(ctx.castWedge[4].gray[0], 0.5f);
  // Showing the hue panel places them and makes handle 0 active.
  ctx.activeHandleMarked = true;
  ASSERT_EQ(PlacePendingHueHandles(&ctx, &im.view), kOk);
  EXPECT_FALSE(ctx.huePlacementPending);
  EXPECT_EQ(ctx.activeHandle, p.hue[0].handleId);
  EXPECT_FALSE(ctx.activeHandleMarked);
  bool moved = false;
  for (int i = 0; i < kHueEntries; ++i) moved = moved || p.hue[i].baseHue != 60.0f * i;
  EXPECT_TRUE(moved);
  // Edited handles are placed at once even with the panel hidden.
  TavelinPars q = NewPars();
  q.hue[1].brightness = 0.6f;
  BrivioContext ctx2 = ContextFor(&q);
  ASSERT_EQ(RunBrivio(&ctx2, TOOL_HUE_ALL, &im.view), kOk);
  EXPECT_FALSE(ctx2.huePlacementPending);
  EXPECT_EQ(q.hue[1].brightness, 0.5f);
  EXPECT_EQ(q.blackPoint, 0.0f);  // only the hue groups ran
}

TEST(RunBrivio, SixteenBitSetsLinear) {
  // Dark 16-bit data whose median sits near 18 % gray: linear.
  TestImage im(40, 30, 2);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) im.Set(x, y, 0.12f + 0.002f * x, 0.15f + 0.002f * x, 0.2f);
  TavelinPars p = NewPars();
  BrivioContext ctx = ContextFor(&p);
  ASSERT_EQ(RunBrivio(&ctx, 0xFFFF, &im.view), kOk);
  EXPECT_EQ(p.linear, 1);
  EXPECT_EQ(ValidateTavelinPars(&p), kOk);
}

class RunBrivioFailure : public AppFixture {};

TEST_F(RunBrivioFailure, ReportedOnceAndEarlierStepsStay) {
  TestImage im = Scene(1);
  // A preferred saturation out of range fails the saturation step: the
  // steps before it keep their results, the run stops, one alert.
  TavelinPars p = NewPars();
  BrivioContext ctx = ContextFor(&p);
  ctx.settings.preferredSaturation = 1.5f;
  EXPECT_EQ(RunBrivio(&ctx, 0xFFFF, &im.view), kBadArg);
  EXPECT_NE(p.blackPoint, 0.0f);
  EXPECT_EQ(p.saturation, 0.5f);
  EXPECT_FALSE(ctx.huePlacementPending);
  auto alerts = host().Of(ScriptedHost::Kind::Alert);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_NE(alerts[0].text.find("calculating auto settings"), std::string::npos);
  // Bad indices or a bad raster: kBadArg, the record untouched.
  struct Bad {
    int analysis, grid;
    bool breakImage;
  };
  for (const Bad& b : {Bad{8, 3, false}, Bad{3, -1, false}, Bad{3, 3, true}}) {
    TavelinPars q = NewPars();
    const TavelinPars before = q;
    BrivioContext c2 = ContextFor(&q);
    c2.settings.analysisIndex = b.analysis;
    c2.settings.gridIndex = b.grid;
    RasterView v = im.view;
    if (b.breakImage) v.channels = 4;
    EXPECT_EQ(RunBrivio(&c2, 0xFFFF, &v), kBadArg);
    EXPECT_TRUE(SameBytes(q, before));
  }
}

// ---- photographs with a colour cast --------------------------------------------------------

namespace {

struct Ppm {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

bool ReadPpm(const std::string& path, Ppm* out) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic >> out->width >> out->height >> maxval;
  f.get();
  if (!f || magic != "P6" || maxval != 255 || out->width <= 0 || out->height <= 0) return false;
  out->rgb.resize((size_t)out->width * out->height * 3);
  f.read(reinterpret_cast<char*>(out->rgb.data()), (std::streamsize)out->rgb.size());
  return (bool)f;
}

RasterView ViewOf(const Ppm& im) {
  RasterView v;
  v.width = im.width;
  v.height = im.height;
  v.pixelStep = 3;
  v.rowStep = (int64_t)im.width * 3;
  for (int c = 0; c < 3; ++c) v.chan[c] = const_cast<uint8_t*>(im.rgb.data()) + c;
  return v;
}

// Mean CIEDE2000 between two sRGB images, with LittleCMS as the colorimeter.
double MeanDeltaE2000(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  const size_t n = a.size() / 3;
  std::vector<cmsCIELab> la(n), lb(n);
  cmsDoTransform(t, a.data(), la.data(), (cmsUInt32Number)n);
  cmsDoTransform(t, b.data(), lb.data(), (cmsUInt32Number)n);
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) sum += cmsCIE2000DeltaE(&la[i], &lb[i], 1.0, 1.0, 1.0);
  cmsDeleteTransform(t);
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  return sum / n;
}

// Brivio as on adding an image (mask 0xFFFF, default settings but the
// analysis), then the whole correction applied to the image.
std::vector<uint8_t> BrivioCorrected(const Ppm& im, BrivioAnalysis analysis = BrivioAnalysis::kClassic) {
  TavelinPars p = NewPars();
  BrivioContext ctx = ContextFor(&p);
  ctx.settings.analysis = analysis;
  const RasterView view = ViewOf(im);
  EXPECT_EQ(RunBrivio(&ctx, 0xFFFF, &view), kOk);
  std::vector<uint8_t> out = im.rgb;
  TintmeshHandle* h = nullptr;
  EXPECT_EQ(MakeCorrectionTransform(&p, TOOL_ALL, 7, 1, &h), kOk);
  QXChannelPtrs io;
  for (int c = 0; c < 3; ++c) io.chan[c] = out.data() + c;
  if (h) {
    EXPECT_EQ(QXHandleEvaluate(h, (int32_t)(out.size() / 3), io, 3, io, 3), kOk);
  }
  FreeCorrectionTransform(&h);
  return out;
}

}  // namespace

TEST(BrivioPhotographs, CorrectionUndoesColourCast) {
  if (RunCommand("command -v convert >/dev/null") != 0) GTEST_SKIP() << "ImageMagick missing";
  // Photographs whose shadows and highlights are neutral (the scenes a
  // balance that marks the darkest and lightest pixels is made for), from
  // Debian's plasma-workspace-wallpapers and mate-backgrounds; see
  // tests/data/README.md. Each gets four casts by ImageMagick, channel gains
  // below 1 so that nothing clips.
  const char* photos[] = {"coldripple", "eveningglow", "grey", "path", "aqua", "ladybird"};
  const struct {
    const char* name;
    const char* args;
  } casts[] = {
      {"warm", "-channel G -evaluate multiply 0.93 -channel B -evaluate multiply 0.78 +channel"},
      {"cool", "-channel R -evaluate multiply 0.8 -channel G -evaluate multiply 0.92 +channel"},
      {"green", "-channel R -evaluate multiply 0.88 -channel B -evaluate multiply 0.88 +channel"},
      {"magenta", "-channel G -evaluate multiply 0.85 +channel"},
  };
  const std::string dir = FreshDir("brivio_casts");
  int cases = 0, closer = 0;
  double sumBefore = 0.0, sumAfter = 0.0;
  for (const char* photo : photos) {
    const std::string source = TestData(std::string("brivio/") + photo + ".ppm");
    Ppm original;
    ASSERT_TRUE(ReadPpm(source, &original)) << photo;
    for (const auto& cast : casts) {
      const std::string path = dir + photo + "_" + cast.name + ".ppm";
      ASSERT_EQ(RunCommand("convert '" + source + "' " + cast.args + " '" + path + "'"), 0);
      Ppm castImage;
      ASSERT_TRUE(ReadPpm(path, &castImage)) << path;
      ASSERT_EQ(castImage.rgb.size(), original.rgb.size());
      const double before = MeanDeltaE2000(castImage.rgb, original.rgb);
      const double after = MeanDeltaE2000(BrivioCorrected(castImage), original.rgb);
      std::printf("%-12s %-8s mean dE2000 to the original: cast %5.2f, after Brivio %5.2f\n", photo, cast.name,
                  before, after);
      ++cases;
      closer += after < before;
      sumBefore += before;
      sumAfter += after;
    }
  }
  std::printf("closer in %d of %d; mean dE2000 %.2f -> %.2f\n", closer, cases, sumBefore / cases, sumAfter / cases);
  EXPECT_GT(closer, cases / 2);
  EXPECT_LE(sumAfter, sumBefore * 2.0 / 3.0);
}

// ---- the Adaptive analysis ---------------------------------------------------------------

namespace {

// An 8-bit picture with each channel scaled in linear light (gamma 2.2, the
// working space's), as a wrong white balance does.
Ppm WithLinearGains(const Ppm& im, const double gain[3]) {
  Ppm out = im;
  for (size_t i = 0; i < out.rgb.size(); ++i) {
    const double lin = std::pow(im.rgb[i] / 255.0, 2.2) * gain[i % 3];
    out.rgb[i] = (uint8_t)std::lround(std::pow(std::min(lin, 1.0), 1.0 / 2.2) * 255.0);
  }
  return out;
}

// Mean of b* - a* / 2 over the image: how warm (yellow-orange) it looks.
double Warmth(const std::vector<uint8_t>& rgb) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(srgb, TYPE_RGB_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  const size_t n = rgb.size() / 3;
  std::vector<cmsCIELab> l(n);
  cmsDoTransform(t, rgb.data(), l.data(), (cmsUInt32Number)n);
  double sum = 0.0;
  for (const cmsCIELab& c : l) sum += c.b + 0.5 * c.a;
  cmsDeleteTransform(t);
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  return sum / n;
}

// A 256 x 64 picture made in linear light (gamma 2.2) from f(x, y, rgb), x
// and y in 0..1.
template <typename F>
Ppm FromLinear(F f) {
  Ppm im;
  im.width = 256, im.height = 64;
  im.rgb.resize((size_t)256 * 64 * 3);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 256; ++x) {
      double lin[3];
      f(x / 255.0, y / 63.0, lin);
      for (int c = 0; c < 3; ++c)
        im.rgb[((size_t)y * 256 + x) * 3 + c] =
            (uint8_t)std::lround(std::pow(std::clamp(lin[c], 0.0, 1.0), 1.0 / 2.2) * 255.0);
    }
  return im;
}

// A deep blue evening, from `floor` up to about floor + top (linear).
Ppm BlueDusk(double floor, double top) {
  return FromLinear([=](double x, double y, double* v) {
    const double t = floor + top * x * (0.6 + 0.4 * y);
    v[0] = 0.45 * t, v[1] = 0.7 * t, v[2] = t;
  });
}

// A night: a dark ground rising to ground0 + ground, and a row of lamps at
// `lamp`, far brighter than the rest.
Ppm NightStreet(double lamp, double ground0, double ground) {
  return FromLinear([=](double x, double y, double* v) {
    const bool lit = std::fmod(x * 255.0, 37.0) < 1.0 && y > 0.6;
    const double t = lit ? lamp : ground0 + ground * x * y;
    v[0] = v[1] = v[2] = t;
  });
}

Ppm Load(const char* photo) {
  Ppm im;
  EXPECT_TRUE(ReadPpm(TestData(std::string("brivio/") + photo + ".ppm"), &im)) << photo;
  return im;
}

// FNV-1a over the record's parameter vector (each float's bits, low byte first).
uint64_t RecordHash(const TavelinPars& p) {
  float v[kParVectorCount];
  EXPECT_EQ(EncodeTavelinPars(&p, v, kParVectorCount), kOk);
  uint64_t h = 1469598103934665603ull;
  for (float f : v) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int k = 0; k < 4; ++k) h = (h ^ ((bits >> (8 * k)) & 0xFF)) * 1099511628211ull;
  }
  return h;
}

}  // namespace

TEST(AdaptiveBrivio, RightPicturesStayAlmostUnchanged) {
  // A full gray ramp and photographs that are already right: the analysis
  // finds nothing to undo, or next to nothing.
  Ppm ramp;
  ramp.width = 256, ramp.height = 16;
  ramp.rgb.resize((size_t)256 * 16 * 3);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 256; ++x)
      for (int c = 0; c < 3; ++c) ramp.rgb[((size_t)y * 256 + x) * 3 + c] = (uint8_t)x;
  struct Case {
    const char* what;
    Ppm image;
    double limit;  // mean CIEDE2000 from the picture as it was
  };
  // A deep blue evening: every estimate agrees on a blue no daylight has;
  // it is the scene's colour.
  const Ppm dusk = BlueDusk(0.02, 0.8);
  // The same evening darker, its brightest pixels at 40 %: a dusk, dark on
  // purpose; no under-exposed daylight scene is that blue.
  const Ppm darkDusk = BlueDusk(0.01, 0.4);
  // A night: dark ground, a few lamps far brighter than the rest, and the
  // brightest only half way up the scale. A low-key scene, not an
  // under-exposed one.
  const Ppm night = NightStreet(0.45, 0.001, 0.02);
  // A snow field under an overcast sky, a dark tree line at its edge: a
  // high-key scene, light all over, with nothing clipped.
  const Ppm snow = FromLinear([](double x, double y, double* v) {
    const double t = x < 0.04 ? 0.015 : 0.5 + 0.3 * x * (0.5 + 0.5 * y);
    v[0] = 0.97 * t, v[1] = 0.99 * t, v[2] = t;
  });
  const Case cases[] = {
      {"gray ramp", ramp, 0.3},
      {"blue evening", dusk, 1.0},
      {"dark blue dusk", darkDusk, 1.0},
      {"night", night, 1.0},
      {"snow field", snow, 1.0},
      {"grey", Load("grey"), 1.0},
      {"ladybird", Load("ladybird"), 1.0},
      {"coldripple", Load("coldripple"), 1.0},  // fog: light and soft, not under-exposed
  };
  for (const Case& c : cases) {
    const double moved = MeanDeltaE2000(BrivioCorrected(c.image, BrivioAnalysis::kAdaptive), c.image.rgb);
    EXPECT_LE(moved, c.limit) << c.what;
  }
  // The gray ramp gets no balance and a record that prunes to nothing.
  TavelinPars p = NewPars();
  BrivioContext ctx = ContextFor(&p);
  ctx.settings.analysis = BrivioAnalysis::kAdaptive;
  const RasterView view = ViewOf(ramp);
  ASSERT_EQ(RunBrivio(&ctx, 0xFFFF, &view), kOk);
  ToolMask m = TOOL_BEFORE_HUE;
  ASSERT_EQ(PruneToolMask(&p, &m), kOk);
  EXPECT_EQ(m, 0) << std::hex << m;
}

TEST(AdaptiveBrivio, KnownCastsComeBack) {
  // Casts of a wrong white balance in linear light: the correction brings
  // them back within a stated distance of the original. On a scene of
  // neutral content nearly all the way; where the scene has colours of its
  // own (green leaves, blue water) the estimates disagree more and the
  // correction holds back part of the way.
  struct Case {
    const char* photo;
    double gain[3];
    double limit;  // mean CIEDE2000 to the original after the correction
    double share;  // ... and at most this share of the cast's
  };
  const Case cases[] = {
      {"grey", {1.0, 0.75, 0.45}, 2.5, 0.25},  // tungsten-like
      {"grey", {0.8, 0.9, 1.0}, 2.0, 0.5},     // shade-like, bluish
      {"ladybird", {1.0, 0.8, 0.55}, 5.0, 0.8},
      {"aqua", {0.85, 1.0, 0.8}, 5.0, 0.6},    // green on a blue-green scene: held back a little
  };
  for (const Case& c : cases) {
    const Ppm original = Load(c.photo);
    const Ppm cast = WithLinearGains(original, c.gain);
    const double before = MeanDeltaE2000(cast.rgb, original.rgb);
    const double after = MeanDeltaE2000(BrivioCorrected(cast, BrivioAnalysis::kAdaptive), original.rgb);
    std::printf("%-9s gains %.2f %.2f %.2f: dE2000 %5.2f -> %5.2f\n", c.photo, c.gain[0], c.gain[1], c.gain[2], before,
                after);
    EXPECT_LE(after, c.limit) << c.photo;
    EXPECT_LE(after, c.share * before) << c.photo;
  }
}

TEST(AdaptiveBrivio, SunsetKeepsItsWarmthAndUnderexposureIsRaised) {
  // A sunset is warm on purpose: the estimates disagree, so the correction
  // shrinks and the warmth stays.
  const Ppm sunset = Load("eveningglow");
  const std::vector<uint8_t> corrected = BrivioCorrected(sunset, BrivioAnalysis::kAdaptive);
  EXPECT_GE(Warmth(corrected), 0.85 * Warmth(sunset.rgb));
  EXPECT_LE(MeanDeltaE2000(corrected, sunset.rgb), 2.0);
  // Photographs too dark or too light come most of the way back: a stop
  // and a half under; 0.7 stop under, where the 99.5 % white of the picture
  // still looks nearly full but its brightest pixels end far short of it;
  // a stop over with next to nothing clipped, given away by its key.
  // A light, soft scene (its key near its white) that reaches full scale.
  const Ppm light = FromLinear([](double x, double y, double* v) {
    const double t = x < 0.02 ? 0.003 : 0.35 + 0.65 * x * y;
    v[0] = v[1] = v[2] = t;
  });
  const Ppm bright = FromLinear([](double x, double y, double* v) {
    const double t = x < 0.05 ? 0.004 : 0.4 + 0.06 * x * y;
    v[0] = v[1] = v[2] = t;
  });
  // Bright red flowers on half of the frame, leaves on the other: a stop
  // over clips the red channel on half of the picture, yet no pixel clips
  // in two channels.
  const Ppm flowers = FromLinear([](double x, double y, double* v) {
    const double t = x < 0.5 ? 0.52 + 0.08 * y : 0.05 + 0.9 * (x - 0.5) * (0.5 + 0.5 * y);
    if (x < 0.5) v[0] = t, v[1] = 0.35 * t, v[2] = 0.12 * t;
    else v[0] = 0.4 * t, v[1] = t, v[2] = 0.2 * t;
  });
  // Scenes dark on purpose whose light still reaches about half the scale:
  // a deep blue dusk, a night street with a few lamps. A stop and a half
  // darker they were under-exposed.
  const Ppm dusk = BlueDusk(0.01, 0.49);
  const Ppm night = NightStreet(0.5, 0.002, 0.03);
  const struct {
    const char* what;
    Ppm original;
    double gain;
  } exposures[] = {
      {"grey -1.5 EV", Load("grey"), 0.35},
      {"light scene -1.5 EV", light, 0.35},  // soft, but far too dark for a light scene
      {"ladybird -0.7 EV", Load("ladybird"), 0.62},
      {"light scene +1 EV", bright, 2.0},
      {"red flowers +1 EV", flowers, 2.0},
      {"blue dusk -1.5 EV", dusk, 0.35},
      {"night street -1.5 EV", night, 0.35},
  };
  for (const auto& c : exposures) {
    const double gain[3] = {c.gain, c.gain, c.gain};
    const Ppm exposed = WithLinearGains(c.original, gain);
    const double before = MeanDeltaE2000(exposed.rgb, c.original.rgb);
    const double after = MeanDeltaE2000(BrivioCorrected(exposed, BrivioAnalysis::kAdaptive), c.original.rgb);
    EXPECT_LT(after, 0.3 * before) << c.what << ": " << before << " -> " << after;
  }
}

TEST(AdaptiveBrivio, VeilsComeOffInTheirOwnDomain) {
  // A flat look raises the blacks of the encoded values (out = 0.25 + 0.6
  // in); fog adds light (the same in linear light), lifting the blacks far
  // higher in encoded values. Each is taken away where it was put on: the
  // wrong domain leaves the midtones a long way off.
  const struct {
    const char* what;
    bool linear;
  } veils[] = {{"flat look", false}, {"fog", true}};
  for (const char* photo : {"ladybird", "grey"}) {
    const Ppm original = Load(photo);
    for (const auto& v : veils) {
      Ppm veiled = original;
      for (size_t i = 0; i < veiled.rgb.size(); ++i) {
        double e = original.rgb[i] / 255.0;
        e = v.linear ? std::pow(0.25 + 0.6 * std::pow(e, 2.2), 1.0 / 2.2) : 0.25 + 0.6 * e;
        veiled.rgb[i] = (uint8_t)std::lround(e * 255.0);
      }
      const double before = MeanDeltaE2000(veiled.rgb, original.rgb);
      const double after = MeanDeltaE2000(BrivioCorrected(veiled, BrivioAnalysis::kAdaptive), original.rgb);
      EXPECT_LT(after, 0.35 * before) << photo << ", " << v.what << ": " << before << " -> " << after;
    }
  }
}

TEST(AdaptiveBrivio, AFewWhitePixelsNameTheLight) {
  // Foliage fills the frame: every average says a green no light source
  // has, so on its own the analysis would leave the cast. A few white pixels
  // (a tenth of a percent, too few to count as a clipped highlight) keep
  // the light's colour: a tungsten cast comes most of the way off.
  const Ppm foliage = FromLinear([](double x, double y, double* v) {
    if (x < 0.016 && y < 0.06) {
      v[0] = v[1] = v[2] = 1.0;
      return;
    }
    const double t = 0.15 + 0.6 * (0.5 + 0.5 * std::sin(40.0 * x + 7.0 * y)) * (0.5 + 0.5 * y);
    v[0] = 0.35 * t, v[1] = 0.8 * t, v[2] = 0.2 * t;
  });
  const double gain[3] = {1.0, 0.75, 0.45};
  const Ppm cast = WithLinearGains(foliage, gain);
  const double before = MeanDeltaE2000(cast.rgb, foliage.rgb);
  const double after = MeanDeltaE2000(BrivioCorrected(cast, BrivioAnalysis::kAdaptive), foliage.rgb);
  EXPECT_LT(after, 0.4 * before) << before << " -> " << after;
}

TEST(AdaptiveBrivio, HighlightsTakeASmallCastPartOfTheWay) {
  // Leaves and warm wood, each half of the frame: the averages disagree and
  // name no light, so a mild bluish cast is within what the scene's own
  // colours could explain. A small white (a third of a percent, unclipped)
  // keeps the light's colour: the correction goes part of the way along it.
  // Without the cast the white is white and the picture stays.
  const Ppm scene = FromLinear([](double x, double y, double* v) {
    if (x > 0.97 && y < 0.12) {
      v[0] = v[1] = v[2] = 0.9;
      return;
    }
    const double t = 0.1 + 0.5 * (0.5 + 0.5 * std::sin(30.0 * x + 5.0 * y));
    if (x < 0.5) v[0] = 0.3 * t, v[1] = 0.7 * t, v[2] = 0.2 * t;
    else v[0] = 0.8 * t, v[1] = 0.5 * t, v[2] = 0.25 * t;
  });
  const double gain[3] = {0.9, 0.95, 1.0};
  const Ppm cast = WithLinearGains(scene, gain);
  const double before = MeanDeltaE2000(cast.rgb, scene.rgb);
  const double after = MeanDeltaE2000(BrivioCorrected(cast, BrivioAnalysis::kAdaptive), scene.rgb);
  EXPECT_LT(after, 0.75 * before) << before << " -> " << after;
  EXPECT_LE(MeanDeltaE2000(BrivioCorrected(scene, BrivioAnalysis::kAdaptive), scene.rgb), 0.5);
}

TEST(AdaptiveBrivio, ClassicGivesTheSameRecordsAsBefore) {
  // Records of the Classic analysis on the photographs (mask 0xFFFF, hue
  // panel shown), as the analysis gave them before the Adaptive one existed.
  const struct {
    const char* photo;
    uint64_t hash;
  } cases[] = {
      {"coldripple", 0x2b76b7ecdb39015eull}, {"eveningglow", 0x5fa96f8dd19d93a5ull},
      {"grey", 0x1dec902e6229b4ebull},       {"path", 0x3bb335d49b7b8f7dull},
      {"aqua", 0xe3fefec6c53c560eull},       {"ladybird", 0x71ad6c566b119126ull},
  };
  for (const auto& c : cases) {
    const Ppm im = Load(c.photo);
    TavelinPars p = NewPars();
    BrivioContext ctx = ContextFor(&p);
    ctx.settings.analysis = BrivioAnalysis::kClassic;
    ctx.hueTabActive = true;
    const RasterView view = ViewOf(im);
    ASSERT_EQ(RunBrivio(&ctx, 0xFFFF, &view), kOk);
    EXPECT_EQ(RecordHash(p), c.hash) << c.photo;
  }
}

TEST(AdaptiveBrivio, SetsOnlyWhatTheMaskAllows) {
  // Brivio Mode after a colour-balance edit (0xFFFC): the user's balance
  // stays; with Global Brightness off the brightness group stays neutral.
  const double warm[3] = {1.0, 0.8, 0.55};
  const Ppm cast = WithLinearGains(Load("ladybird"), warm);
  const RasterView view = ViewOf(cast);
  TavelinPars p = NewPars();
  AddSamples(p.balBin, 0.6f, 0.5f, 0.4f, 3);
  p.balanceValid = 0;
  const TavelinPars before = p;
  BrivioContext ctx = ContextFor(&p);
  ctx.settings.analysis = BrivioAnalysis::kAdaptive;
  ctx.settings.setMask = kBrivioSetMaskDefault & ~TOOL_BRIGHTNESS;
  ASSERT_EQ(RunBrivio(&ctx, 0xFFFC, &view), kOk);
  EXPECT_EQ(std::memcmp(p.balBin, before.balBin, sizeof p.balBin), 0);
  EXPECT_EQ(p.brightness, 0.5f);
  EXPECT_EQ(p.contrast, 0.5f);
  EXPECT_EQ(p.shadow, 0.5f);
  EXPECT_EQ(p.highlight, 0.5f);
  EXPECT_EQ(p.saturation, 0.5f);
  EXPECT_TRUE(ctx.huePlacementPending);
  // With Global Brightness on, the group is the Adaptive analysis's to set.
  EXPECT_EQ(BrivioEffectiveSetMask(BrivioSettings{BrivioAnalysis::kAdaptive}),
            kBrivioSetMaskDefault | TOOL_SHADOW | TOOL_HIGHLIGHT | TOOL_CONTRAST);
  EXPECT_EQ(BrivioEffectiveSetMask(BrivioSettings{}), kBrivioSetMaskDefault);
}

TEST(AdaptiveBrivio, LinearOnlyWhenTheHighlightsReachUp) {
  // 16-bit pictures whose median luma sits near 18 % gray: linear data of a
  // normal exposure, whose brightest pixels reach high, and a dark picture
  // in a gamma space, whose highlights end low. Classic calls both linear.
  struct Case {
    float top;  // level of the brightest tenth of the pixels
    int adaptive, classic;
  };
  for (const Case c : {Case{0.9f, 1, 1}, Case{0.3f, 0, 1}}) {
    TestImage im(40, 30, 2);
    FillBlock(im, 0, 0, 40, 27, 0.18f, 0.18f, 0.18f);
    FillBlock(im, 0, 27, 40, 30, c.top, c.top, c.top);
    for (const BrivioAnalysis a : {BrivioAnalysis::kAdaptive, BrivioAnalysis::kClassic}) {
      TavelinPars p = NewPars();
      BrivioContext ctx = ContextFor(&p);
      ctx.settings.analysis = a;
      ASSERT_EQ(RunBrivio(&ctx, TOOL_LINEAR, &im.view), kOk);
      EXPECT_EQ(p.linear, a == BrivioAnalysis::kAdaptive ? c.adaptive : c.classic) << "top " << c.top;
    }
  }
}
