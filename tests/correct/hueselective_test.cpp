#include "correct/hueselective.h"

#include <gtest/gtest.h>

#include <cmath>

#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct/tonetools.h"
#include "correct_support.h"

namespace {
// Hue step on (hue degrees, S, Y).
void Step(const TavelinPars& p, float h, float s, float y, float out[3]) {
  const float in[3] = {h, s, y};
  ASSERT_EQ(ApplyHueSelective(&p, in, out), kOk);
}
}  // namespace

TEST(HueSelective, NeutralsAndNeutralEntriesPassUnchanged) {
  TavelinPars p = NewPars();
  float out[3];
  Step(p, 123.4f, 0.7f, 0.3f, out);
  EXPECT_EQ(out[0], 123.4f);
  EXPECT_EQ(out[1], 0.7f);
  EXPECT_EQ(out[2], 0.3f);
  // With edits active a gray keeps its luma (B' = 0.5) and its zero saturation.
  for (HueEntry& e : p.hue) e.brightness = 0.9f, e.saturation = 0.8f, e.hueShift = 30.0f;
  Step(p, 0.0f, 0.0f, 0.42f, out);
  EXPECT_FLOAT_EQ(out[2], 0.42f);
  EXPECT_EQ(out[1], 0.0f);
}

TEST(HueSelective, WeightsBetweenEnclosingHandles) {
  TavelinPars p = NewPars();
  p.hue[0].hueShift = 10.0f;
  p.hue[1].hueShift = 30.0f;
  p.hue[5].hueShift = -40.0f;
  float out[3];
  struct Case {
    float hue, expect;
  };
  // Weights fall linearly from a handle to its neighbour; shifts are read in -180..180.
  const Case cases[] = {{30.0f, 50.0f},  {0.0f, 10.0f},   {60.0f, 90.0f},   {15.0f, 30.0f},
                        {330.0f, 315.0f}, {359.96f, 9.96f}, {300.0f, 260.0f}, {200.0f, 200.0f}};
  for (const Case& c : cases) {
    Step(p, c.hue, 0.5f, 0.5f, out);
    EXPECT_NEAR(out[0], c.expect, 1e-4) << c.hue;
  }
  p.hue[1].hueShift = 390.0f;  // read modulo 360
  Step(p, 60.0f, 0.5f, 0.5f, out);
  EXPECT_NEAR(out[0], 90.0f, 1e-4);
  // Brightness fades toward neutrals, saturation below 0.5 scales, above biases.
  p = NewPars();
  p.hue[2].brightness = 0.8f;
  p.hue[2].saturation = 0.25f;
  Step(p, 120.0f, 1.0f, 0.4f, out);
  EXPECT_NEAR(out[2], Bias(0.4, 0.8), 1e-6);
  EXPECT_NEAR(out[1], 0.5f, 1e-6);
  Step(p, 120.0f, 0.5f, 0.4f, out);
  EXPECT_NEAR(out[2], Bias(0.4, 0.65), 1e-6);
  p.hue[2].saturation = 0.75f;
  Step(p, 120.0f, 0.5f, 0.4f, out);
  EXPECT_NEAR(out[1], 0.75f, 1e-6);
}

TEST(HueSelective, ToningCurves) {
  TavelinPars p = NewPars();
  ASSERT_EQ(BuildToneCurves(&p), kOk);
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < kCurveSize; ++k) ASSERT_EQ(p.toneCurve[c][k], (float)(k / 255.0));
  p.toneColor[0] = 0.6f, p.toneColor[2] = 0.4f;
  const float gray[3] = {0.5f, 0.5f, 0.5f};
  float out[3];
  ASSERT_EQ(ApplyToning(&p, gray, out), kOk);
  EXPECT_EQ(p.toneCache[0], 0.6f);
  EXPECT_GT(out[0], out[1] + 0.02f);
  EXPECT_GT(out[1], out[2] + 0.02f);
  // A saturated colour changes less than a gray.
  const float green[3] = {0.1f, 0.8f, 0.1f};
  float g2[3];
  ApplyToning(&p, green, g2);
  EXPECT_LT(std::fabs(g2[1] - green[1]), std::fabs(out[1] - gray[1]) + 0.02f);
  // Back to neutral: identity curves, the colour passes exactly.
  p.toneColor[0] = 0.5f, p.toneColor[2] = 0.5f;
  ASSERT_EQ(ApplyToning(&p, green, g2), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(g2[c], green[c]);
  EXPECT_EQ(p.toneCurve[0][77], (float)(77 / 255.0));
}

TEST(HueSelective, ToningPresets) {
  TavelinPars p = NewPars();
  const float sepia[3] = {0.625f, 0.5f, 0.4f};
  ASSERT_EQ(ApplyToningPreset(&p, sepia), kOk);
  EXPECT_EQ(p.toneColor[0], 0.625f);
  for (const HueEntry& e : p.hue) EXPECT_EQ(e.saturation, 0.0f);
  // Colours become a warm-toned gray of their luma: a red and a green of
  // equal luma come out alike.
  const float red[3] = {0.8f, 0.3f, 0.3f}, green[3] = {0.3f, 0.554685f, 0.3f};
  float a[3], b[3];
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_HUE_ALL, red, a), kOk);
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_HUE_ALL, green, b), kOk);
  EXPECT_GT(a[0], a[1]);
  EXPECT_GT(a[1], a[2]);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 1e-4);
  const float bad[3] = {0.5f, 1.2f, 0.5f};
  EXPECT_EQ(ApplyToningPreset(&p, bad), kBadArg);
  EXPECT_EQ(p.toneColor[1], 0.5f);
}

TEST(HueSelective, MeanHueAndNearestHandle) {
  SampleBin bins[kSampleBins] = {};
  // 350 degrees and 10 degrees average through 0; the grayish bin is emptied.
  float a[3], b[3];
  const float ha[3] = {350.0f / 360.0f, 0.4f, 0.5f}, hb[3] = {10.0f / 360.0f, 0.4f, 0.3f};
  HslToRgb(ha, kModelChroma, a);
  HslToRgb(hb, kModelChroma, b);
  AddSamples(bins, a[0], a[1], a[2]);
  AddSamples(bins, b[0], b[1], b[2], 3);
  AddSamples(bins, 0.82f, 0.8f, 0.8f, 5);
  double hue = -1;
  ASSERT_EQ(MeanHue(bins, kHueChromaLimit, &hue), kOk);
  EXPECT_NEAR(hue, 5.0, 1e-3);
  EXPECT_EQ(bins[16].count, 0);
  SampleBin gray[kSampleBins] = {};
  AddSamples(gray, 0.5f, 0.52f, 0.5f, 4);
  EXPECT_EQ(MeanHue(gray, kHueChromaLimit, &hue), kBadArg);

  TavelinPars p = NewPars();
  int k = -1;
  ASSERT_EQ(NearestHandle(&p, 355.0, &k), kOk);
  EXPECT_EQ(k, 0);
  ASSERT_EQ(NearestHandle(&p, 30.0, &k), kOk);  // tie: the first index
  EXPECT_EQ(k, 0);
  ASSERT_EQ(NearestHandle(&p, 275.0, &k), kOk);
  EXPECT_EQ(k, 5);
}

TEST(HueSelective, NormalizeHandles) {
  TavelinPars p = NewPars();
  // Dragging handle 1 (60) to 118 pushes handle 2 (120) to 123 degrees.
  p.hue[1].baseHue = 118.0f;
  ASSERT_EQ(NormalizeHandles(&p, 1), kOk);
  EXPECT_EQ(p.hue[1].baseHue, 118.0f);
  EXPECT_EQ(p.hue[2].baseHue, 123.0f);
  // Dragging past a neighbour re-sorts; identities follow their handles.
  p = NewPars();
  p.hue[1].baseHue = 200.0f;
  ASSERT_EQ(NormalizeHandles(&p, 1), kOk);
  const float expect[6] = {0, 120, 180, 200, 240, 300};
  const int ids[6] = {6, 8, 9, 7, 10, 11};
  for (int h = 0; h < 6; ++h) {
    EXPECT_EQ(p.hue[h].baseHue, expect[h]);
    EXPECT_EQ(p.hue[h].handleId, ids[h]);
  }
  // Backward push wraps below 0.
  p = NewPars();
  p.hue[5].baseHue = 358.0f;
  ASSERT_EQ(NormalizeHandles(&p, 5), kOk);
  EXPECT_EQ(p.hue[0].baseHue, 3.0f);
  // An After hue crossing its neighbour's is turned back until they run once around.
  p = NewPars();
  p.hue[1].hueShift = 100.0f;  // 60 -> 160, past handle 2's 120
  ASSERT_EQ(NormalizeHandles(&p, 1), kOk);
  double after[6];
  for (int h = 0; h < 6; ++h) after[h] = std::fmod(p.hue[h].baseHue + p.hue[h].hueShift + 720.0, 360.0);
  double sum = 0;
  for (int h = 0; h < 6; ++h) {
    double g = after[(h + 1) % 6] - after[h];
    if (g < 0) g += 360.0;
    EXPECT_GE(g, 5.0 - 1e-4) << h;
    sum += g;
  }
  EXPECT_LT(sum, 361.0);
  EXPECT_EQ(NormalizeHandles(&p, 6), kBadArg);
}
