#include "correct/tonetools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "correct/colourmodels.h"
#include "correct_support.h"

TEST(ColourModels, KnownHuesAndTies) {
  struct Case {
    float r, g, b;
    double hue;  // fraction of a turn
  };
  const Case cases[] = {
      {1, 0, 0, 0.0},         {1, 1, 0, 1 / 6.0},       {0, 1, 0, 1 / 3.0},   {0, 1, 1, 0.5},
      {0, 0, 1, 2 / 3.0},     {1, 0, 1, 5 / 6.0},       {0.5f, 0.5f, 0.5f, 0}, {1, 0.5f, 0, 1 / 12.0},
      {1, 0, 0.5f, 11 / 12.0}, {0.2f, 0.6f, 0.2f, 1 / 3.0},
  };
  for (const Case& c : cases) {
    const float rgb[3] = {c.r, c.g, c.b};
    for (int model = 0; model < 3; ++model) {
      float hsl[3];
      ASSERT_EQ(RgbToHsl(rgb, model, hsl), kOk);
      EXPECT_NEAR(hsl[0], c.hue, 1e-6) << c.r << " " << c.g << " " << c.b << " model " << model;
      EXPECT_GE(hsl[0], 0.0f);
      EXPECT_LT(hsl[0], 1.0f);
    }
  }
  float out[3];
  const float rgb[3] = {0.1f, 0.2f, 0.3f};
  EXPECT_EQ(RgbToHsl(rgb, 3, out), kBadArg);
  EXPECT_EQ(HslToRgb(rgb, -1, out), kBadArg);
}

TEST(ColourModels, RoundTripsAndModelMeanings) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (int i = 0; i < 20000; ++i) {
    const double rgb[3] = {u(rng), u(rng), u(rng)};
    for (int model = 0; model < 3; ++model) {
      double hsl[3], back[3];
      RgbToHslD(rgb, model, hsl);
      HslToRgbD(hsl, model, back);
      for (int c = 0; c < 3; ++c) ASSERT_NEAR(back[c], rgb[c], 1e-9) << "model " << model;
    }
    double m2[3];
    RgbToHslD(rgb, kModelLuma, m2);
    EXPECT_NEAR(m2[2], Luma601(rgb[0], rgb[1], rgb[2]), 1e-12);
    EXPECT_LE(m2[1], 1.0 + 1e-9);
    // Relative saturation 1 lands on the cube's surface at the same luma and hue.
    double full[3] = {m2[0], 1.0, m2[2]}, edge[3], e2[3];
    HslToRgbD(full, kModelLuma, edge);
    const double mx = std::fmax(edge[0], std::fmax(edge[1], edge[2]));
    const double mn = std::fmin(edge[0], std::fmin(edge[1], edge[2]));
    EXPECT_TRUE(mx > 1.0 - 1e-9 || mn < 1e-9);
    RgbToHslD(edge, kModelLuma, e2);
    EXPECT_NEAR(e2[2], m2[2], 1e-9);
  }
}

TEST(ToneTools, CurveLookup) {
  const float ramp[4] = {0.0f, 0.3f, 0.6f, 1.0f};
  EXPECT_NEAR(CurveLookup(0.5, ramp, 4), 0.45, 1e-7);
  EXPECT_NEAR(CurveLookup(1.0, ramp, 4), 1.0, 1e-7);    // last entry via the last interval
  EXPECT_NEAR(CurveLookup(5.0, ramp, 4), 1.0, 1e-7);    // clamped
  EXPECT_DOUBLE_EQ(CurveLookup(-1.0, ramp, 4), 0.0);
  EXPECT_DOUBLE_EQ(CurveLookup(NAN, ramp, 4), 0.0);
  EXPECT_NEAR(CurveLookup(5 / 6.0, ramp, 4), 0.8, 1e-7);
}

TEST(ToneTools, LevelsTable) {
  struct Case {
    float black, gray, white, in, out;
  };
  const Case cases[] = {
      {0.1f, 0.5f, 0.9f, 0.1f, 0.0f},  {0.1f, 0.5f, 0.9f, 0.5f, 0.5f}, {0.1f, 0.5f, 0.9f, 0.9f, 1.0f},
      {0.1f, 0.5f, 0.9f, 0.95f, 1.0f}, {0.1f, 0.5f, 0.9f, 0.0f, 0.0f}, {0.0f, 0.5f, 2.0f, 1.0f, 0.5f},
      {0.0f, 0.5f, 2.0f, 0.5f, 0.25f}, {-0.3f, 0.5f, 1.0f, 0.0f, 0.2307692f},
      // Zero spans stay inside 0..1: gray point 0 and 1, black equal to white.
      {0.2f, 0.0f, 0.8f, 0.1f, 0.0f},  {0.2f, 1.0f, 0.8f, 0.9f, 1.0f}, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
      {0.5f, 0.5f, 0.5f, 0.6f, 1.0f},  {0.5f, 0.5f, 0.5f, 0.4f, 0.0f},
  };
  for (const Case& c : cases) {
    TavelinPars p = NewPars();
    p.blackPoint = c.black, p.grayPoint = c.gray, p.whitePoint = c.white;
    const float in[3] = {c.in, c.in, c.in};
    float out[3];
    ASSERT_EQ(ApplyLevels(&p, TOOL_POINTS, in, out), kOk);
    EXPECT_NEAR(out[0], c.out, 1e-6) << c.black << " " << c.gray << " " << c.white << " in " << c.in;
  }
  // Points whose bits are not set stay neutral.
  TavelinPars p = NewPars();
  p.blackPoint = 0.2f;
  const float in[3] = {0.2f, 0.6f, 1.0f};
  float out[3];
  ApplyLevels(&p, TOOL_WHITE, in, out);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], in[c]);
}

TEST(ToneTools, BiasAndGain) {
  EXPECT_DOUBLE_EQ(Bias(0.5, 0.7), 0.7);
  for (double a : {0.0, 1e-7, 0.2, 0.5, 0.8, 0.9999995, 1.0}) {
    EXPECT_EQ(Bias(0.0, a), 0.0) << a;
    EXPECT_EQ(Bias(1.0, a), 1.0) << a;
    EXPECT_EQ(Gain(0.0, a), 0.0) << a;
    EXPECT_EQ(Gain(1.0, a), 1.0) << a;
    EXPECT_NEAR(Gain(0.5, a), 0.5, 1e-12) << a;
  }
  for (double x : {0.1, 0.37, 0.5, 0.93}) EXPECT_EQ(Bias(x, 0.5), x);
  // Contrast 1.0 is a step, contrast 0.0 flattens to mid gray.
  TavelinPars p = NewPars();
  p.contrast = 1.0f;
  const float in[3] = {0.49f, 0.5f, 0.51f};
  float out[3];
  ApplyContrast(&p, in, out);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 0.5f);
  EXPECT_EQ(out[2], 1.0f);
  p.contrast = 0.7f;
  ApplyContrast(&p, in, out);
  EXPECT_LT(out[0], 0.49f);
  EXPECT_GT(out[2], 0.51f);
}

TEST(ToneTools, ShadowAndHighlightCurves) {
  TavelinPars p = NewPars();
  const float in[3] = {0.1f, 0.3f, 0.8f};
  float out[3];
  // Slider 0.4: darker shadows, highlights untouched; the cache follows.
  p.shadow = 0.4f;
  ASSERT_EQ(ApplyShadow(&p, in, out), kOk);
  EXPECT_EQ(p.shadowCache, 0.4f);
  EXPECT_LT(out[0], in[0]);
  EXPECT_LT(out[1], in[1]);
  EXPECT_NEAR(out[2], in[2], 1e-6);
  float built[kCurveSize];
  std::memcpy(built, p.shadowCurve, sizeof built);
  // Back to 0.5: the colour passes unchanged while the curve stays built for 0.4.
  p.shadow = 0.5f;
  ASSERT_EQ(ApplyShadow(&p, in, out), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], in[c]);
  EXPECT_EQ(p.shadowCache, 0.4f);
  EXPECT_EQ(std::memcmp(built, p.shadowCurve, sizeof built), 0);
  // Slider 1: exponent 0.5, lighter shadows.
  BuildShadowCurve(1.0f, built);
  EXPECT_NEAR(built[51], 0.6667 * std::sqrt(1.5 * 51 / 255.0), 1e-6);
  // Highlight 0.7 brightens the highlights and leaves the shadows.
  p.highlight = 0.7f;
  ASSERT_EQ(ApplyHighlight(&p, in, out), kOk);
  EXPECT_NEAR(out[0], in[0], 1e-6);
  EXPECT_GT(out[2], in[2]);
  for (float s : {0.0f, 0.3f, 0.6f, 1.0f}) {
    BuildShadowCurve(s, built);
    for (int i = 1; i < kCurveSize; ++i) EXPECT_GE(built[i], built[i - 1]) << s;
    EXPECT_EQ(built[0], 0.0f);
    EXPECT_FLOAT_EQ(built[255], 1.0f);
    BuildHighlightCurve(s, built);
    for (int i = 1; i < kCurveSize; ++i) EXPECT_GE(built[i], built[i - 1]) << s;
    EXPECT_FLOAT_EQ(built[0], 0.0f);
    EXPECT_EQ(built[255], 1.0f);
  }
}

TEST(ToneTools, Saturation) {
  TavelinPars p = NewPars();
  float out[3], hcl[3], hclIn[3];
  p.saturation = 1.0f;
  const float warm[3] = {0.6f, 0.5f, 0.4f};
  ApplySaturation(&p, warm, out);
  RgbToHsl(out, kModelChroma, hcl);
  RgbToHsl(warm, kModelChroma, hclIn);
  EXPECT_NEAR(hcl[1], 0.4, 1e-6);
  EXPECT_NEAR(hcl[0], hclIn[0], 1e-6);
  EXPECT_NEAR(hcl[2], hclIn[2], 1e-6);
  const float light[3] = {0.95f, 0.9f, 0.85f};
  ApplySaturation(&p, light, out);
  RgbToHsl(out, kModelChroma, hcl);
  EXPECT_NEAR(hcl[1], 0.2, 1e-6);
  EXPECT_NEAR(out[0], 1.0f, 1e-6);
  // Saturation 0 gives the gray of the same Rec.601 luma.
  p.saturation = 0.0f;
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 1000; ++i) {
    const float c[3] = {u(rng), u(rng), u(rng)};
    ApplySaturation(&p, c, out);
    const double y = Luma601(c[0], c[1], c[2]);
    for (int k = 0; k < 3; ++k) ASSERT_NEAR(out[k], y, 1e-6);
  }
}

TEST(ToneTools, Readouts) {
  struct Case {
    float v;
    const char* tone;
    const char* balance;
  };
  const Case cases[] = {{0.5f, "0", "0"},   {0.0f, "-100", "-100"}, {1.0f, "+100", "+100"},
                        {0.504f, "+1", "+1"}, {0.495f, "-1", "-1"}, {0.502f, "0", "0"},
                        {0.75f, "+50", "+50"}, {0.2f, "-60", "-60"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SliderReadout(c.v), c.tone) << c.v;
    EXPECT_EQ(BalanceSliderReadout(c.v), c.balance) << c.v;
  }
  EXPECT_EQ(SliderPositionToValue(-100), 0.0f);
  EXPECT_EQ(SliderPositionToValue(50), 0.75f);
  EXPECT_EQ(SliderPositionToValue(300), 1.0f);
}

TEST(ToneTools, AnalysisStepsAndHistogramColumns) {
  const int expect[8][2] = {{4, 5}, {4, 4}, {3, 4}, {3, 3}, {2, 3}, {2, 2}, {1, 2}, {1, 1}};
  for (int i = 0; i < 8; ++i) {
    int sx = 0, sy = 0;
    ASSERT_EQ(AnalysisSteps(i, &sx, &sy), kOk);
    EXPECT_EQ(sx, expect[i][0]);
    EXPECT_EQ(sy, expect[i][1]);
  }
  int sx, sy;
  EXPECT_EQ(AnalysisSteps(8, &sx, &sy), kBadArg);
  EXPECT_EQ(AnalysisSteps(-1, &sx, &sy), kBadArg);
  EXPECT_EQ(Luma8(255, 255, 255), 255);
  EXPECT_EQ(Luma8(255, 0, 0), 76);

  uint32_t hist[256] = {};
  for (int i = 0; i < 256; ++i) hist[i] = (uint32_t)(2 * i);
  double cols[201];
  HistogramColumns(hist, cols);
  EXPECT_DOUBLE_EQ(cols[0], 0.0);
  EXPECT_DOUBLE_EQ(cols[200], 510.0);
  EXPECT_DOUBLE_EQ(cols[100], 255.0);
}
