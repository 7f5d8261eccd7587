#include "correct/correctiontransform.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "correct/colourbalance.h"
#include "correct/colourmodels.h"
#include "correct/hueselective.h"
#include "correct/tonetools.h"
#include "correct_support.h"

namespace {

// Colours to push through: every 16-bit gray code and random colours.
std::vector<std::array<float, 3>> ProbeColours() {
  std::vector<std::array<float, 3>> out;
  for (int k = 0; k <= 65535; ++k) {
    const float v = k / 65535.0f;
    out.push_back({v, v, v});
  }
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  for (int i = 0; i < 20000; ++i) out.push_back({u(rng), u(rng), u(rng)});
  return out;
}

}  // namespace

TEST(CorrectionTransform, EveryToolIsTheIdentityAtItsNeutralValue) {
  const auto colours = ProbeColours();
  std::vector<ToolMask> masks = {TOOL_ALL, TOOL_HUE_ALL, TOOL_POINTS};
  for (int bit = 0; bit < 16; ++bit) masks.push_back((ToolMask)(1u << bit));
  for (ToolMask mask : masks) {
    TavelinPars p = NewPars();
    // Samples, handle positions and a preferred neutral alone change nothing.
    p.hue[2].baseHue = 100.0f;
    AddSamples(p.hue[2].hueBin, 0.2f, 0.9f, 0.3f, 5);
    p.neutralPref.chroma = 30.0f;
    for (const auto& c : colours) {
      float out[3];
      ASSERT_EQ(ApplyTavelinPars(&p, mask, c.data(), out), kOk);
      ASSERT_EQ(out[0], c[0]) << std::hex << mask;
      ASSERT_EQ(out[1], c[1]) << std::hex << mask;
      ASSERT_EQ(out[2], c[2]) << std::hex << mask;
    }
  }
}

TEST(CorrectionTransform, OrderAndEarlyStops) {
  TavelinPars p = NewPars();
  AddSamples(p.balBin, 0.6f, 0.5f, 0.4f);
  p.linear = 1;
  p.contrast = 0.8f;
  p.shadow = 0.3f;
  p.saturation = 0.9f;
  const float in[3] = {0.3f, 0.35f, 0.2f};
  float out[3], expect[3];
  // Mask 0x0001 stops after the linear step, 0x0002/0x0003 after the balance.
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_LINEAR, in, out), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(out[c], (float)CurveLookup(in[c], p.linearCurve, kCurveSize));
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_LINEAR_BALANCE, in, out), kOk);
  float lin[3];
  ApplyTavelinPars(&p, TOOL_LINEAR, in, lin);
  ApplyBalance(&p, lin, expect);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], expect[c]);
  // With more bits the chain runs on: contrast before shadow, saturation after both.
  ASSERT_EQ(ApplyTavelinPars(&p, TOOL_CONTRAST | TOOL_SHADOW | TOOL_SATURATION, in, out), kOk);
  ApplyContrast(&p, in, expect);
  ApplyShadow(&p, expect, expect);
  ApplySaturation(&p, expect, expect);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(out[c], expect[c]);
  // Inputs outside 0..1 are clamped first.
  const float wild[3] = {-0.5f, 1.5f, NAN};
  ASSERT_EQ(ApplyTavelinPars(&p, 0, wild, out), kOk);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[1], 1.0f);
  EXPECT_EQ(out[2], 0.0f);
  // The validated form refuses a record out of range.
  p.brightness = 1.5f;
  EXPECT_EQ(ApplyValidatedTavelinPars(&p, TOOL_ALL, in, out), kBadArg);
  EXPECT_EQ(ApplyValidatedTavelinPars(&p, TOOL_ALL, nullptr, out), kBadArg);
}

TEST(CorrectionTransform, HueStepLeavesGraysAlone) {
  TavelinPars p = NewPars();
  for (HueEntry& e : p.hue) e.hueShift = 25.0f, e.saturation = 0.8f, e.brightness = 0.7f;
  for (int k = 0; k <= 255; ++k) {
    const float g[3] = {k / 255.0f, k / 255.0f, k / 255.0f};
    float out[3];
    ASSERT_EQ(ApplyTavelinPars(&p, TOOL_HUE_ALL, g, out), kOk);
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(out[c], g[c], 1e-6) << k;
  }
}
