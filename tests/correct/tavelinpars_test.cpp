#include "correct/tavelinpars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "correct/colorimetry.h"
#include "correct_support.h"
#include "support/app_fixture.h"

TEST(TavelinPars, NewRecordIsNeutralAndPrunesToNothing) {
  TavelinPars p = NewPars();
  EXPECT_EQ(ValidateTavelinPars(&p), kOk);
  ToolMask m = TOOL_ALL;
  ASSERT_EQ(PruneToolMask(&p, &m), kOk);
  EXPECT_EQ(m, 0);
  for (int h = 0; h < kHueEntries; ++h) {
    EXPECT_EQ(p.hue[h].baseHue, h * 60.0f);
    EXPECT_EQ(p.hue[h].handleId, h + 6);
  }
  EXPECT_EQ(p.sharpenStrength, 6);
  EXPECT_EQ(p.noiseRadius[1], 8);
  EXPECT_EQ(p.noiseShape, 4);
  EXPECT_EQ(ResetTavelinPars(nullptr, TOOL_ALL), kBadArg);
}

TEST(TavelinPars, ResetTouchesOnlyTheNamedGroups) {
  TavelinPars p = NewPars();
  p.contrast = 0.9f;
  p.blackPoint = 0.2f;
  p.hue[3].baseHue = 200.0f;
  p.hue[3].handleId = 7;
  p.hue[1].handleId = 9;
  p.toneColor[0] = 0.7f;
  p.sharpenStrength = 20;
  AddSamples(p.hue[3].hueBin, 0.5f, 0.2f, 0.2f);
  ASSERT_EQ(ResetTavelinPars(&p, TOOL_CONTRAST | TOOL_HUE3), kOk);
  EXPECT_EQ(p.contrast, 0.5f);
  EXPECT_EQ(p.blackPoint, 0.2f);
  // A single hue bit resets the entry at that index and keeps its identity and the toning.
  EXPECT_EQ(p.hue[3].baseHue, 180.0f);
  EXPECT_EQ(p.hue[3].hueBin[6].count, 0);
  EXPECT_EQ(p.hue[3].handleId, 7);
  EXPECT_EQ(p.toneColor[0], 0.7f);
  ASSERT_EQ(ResetTavelinPars(&p, TOOL_ALL), kOk);
  EXPECT_EQ(p.hue[3].handleId, 9);
  EXPECT_EQ(p.hue[1].handleId, 7);
  EXPECT_EQ(p.toneColor[0], 0.5f);
  EXPECT_EQ(p.sharpenStrength, 20);  // no reset touches the filter fields
}

TEST(TavelinPars, PruneToolMaskTable) {
  struct Case {
    const char* what;
    void (*edit)(TavelinPars&);
    ToolMask expect;
  };
  const Case cases[] = {
      {"linear", [](TavelinPars& p) { p.linear = 1; }, TOOL_LINEAR},
      {"a balance sample", [](TavelinPars& p) { AddSamples(p.balBin, 0.4f, 0.5f, 0.6f); }, TOOL_BALANCE},
      {"neutralPref alone", [](TavelinPars& p) { p.neutralPref.chroma = 20.0f; }, 0},
      {"black", [](TavelinPars& p) { p.blackPoint = -0.01f; }, TOOL_BLACK},
      {"gray", [](TavelinPars& p) { p.grayPoint = 0.51f; }, TOOL_GRAY},
      {"white", [](TavelinPars& p) { p.whitePoint = 1.7f; }, TOOL_WHITE},
      {"brightness", [](TavelinPars& p) { p.brightness = 0.6f; }, TOOL_BRIGHTNESS},
      {"shadow", [](TavelinPars& p) { p.shadow = 0.4f; }, TOOL_SHADOW},
      {"highlight", [](TavelinPars& p) { p.highlight = 0.4f; }, TOOL_HIGHLIGHT},
      {"contrast", [](TavelinPars& p) { p.contrast = 0.0f; }, TOOL_CONTRAST},
      {"saturation", [](TavelinPars& p) { p.saturation = 1.0f; }, TOOL_SATURATION},
      {"one handle moved", [](TavelinPars& p) { p.hue[2].baseHue = 100.0f; }, 0},
      {"hue samples", [](TavelinPars& p) { AddSamples(p.hue[2].hueBin, 0.2f, 0.8f, 0.2f); }, 0},
      {"toning 0.51", [](TavelinPars& p) { p.toneColor[2] = 0.51f; }, TOOL_HUE_ALL},
      {"one shift", [](TavelinPars& p) { p.hue[5].hueShift = -3.0f; }, TOOL_HUE_ALL},
      {"one hue saturation", [](TavelinPars& p) { p.hue[0].saturation = 0.2f; }, TOOL_HUE_ALL},
  };
  for (const Case& c : cases) {
    TavelinPars p = NewPars();
    c.edit(p);
    ToolMask m = TOOL_ALL;
    ASSERT_EQ(PruneToolMask(&p, &m), kOk);
    EXPECT_EQ(m, c.expect) << c.what;
  }
}

TEST(TavelinPars, ValidationRangesIncludeTheirEnds) {
  struct Case {
    const char* what;
    void (*edit)(TavelinPars&);
    Status expect;
  };
  const Case cases[] = {
      {"white 1.7", [](TavelinPars& p) { p.whitePoint = 1.7f; }, kOk},
      {"white 2.0", [](TavelinPars& p) { p.whitePoint = 2.0f; }, kOk},
      {"white 2.01", [](TavelinPars& p) { p.whitePoint = 2.01f; }, kBadArg},
      {"black -0.3", [](TavelinPars& p) { p.blackPoint = -0.3f; }, kOk},
      {"black -1.01", [](TavelinPars& p) { p.blackPoint = -1.01f; }, kBadArg},
      {"gamma 0.4", [](TavelinPars& p) { p.refRGB.gamma = 0.4f; }, kBadArg},
      {"gamma 5", [](TavelinPars& p) { p.refRGB.gamma = 5.0f; }, kOk},
      {"primary sum 1.000001", [](TavelinPars& p) { p.refRGB.primaries[4] = 0.940001f; }, kOk},
      {"primary sum 1.01", [](TavelinPars& p) { p.refRGB.primaries[4] = 0.95f; }, kBadArg},
      {"negative bin sum", [](TavelinPars& p) { p.balBin[4].sum[1] = -0.1f; }, kBadArg},
      {"negative hue bin count", [](TavelinPars& p) { p.hue[3].hueBin[2].count = -1; }, kBadArg},
      {"neutral hue 360", [](TavelinPars& p) { p.neutralPref.hue = 360.0f; }, kOk},
      {"neutral slope -1.5", [](TavelinPars& p) { p.neutralPref.hueSlope = -1.5f; }, kBadArg},
      {"NaN contrast", [](TavelinPars& p) { p.contrast = NAN; }, kBadArg},
      {"shift 1000", [](TavelinPars& p) { p.hue[1].hueShift = 1000.0f; }, kOk},
      {"shift infinite", [](TavelinPars& p) { p.hue[1].hueShift = INFINITY; }, kBadArg},
      {"tone 1.0", [](TavelinPars& p) { p.toneColor[1] = 1.0f; }, kOk},
      {"tone 1.1", [](TavelinPars& p) { p.toneColor[1] = 1.1f; }, kBadArg},
      {"base hue 361", [](TavelinPars& p) { p.hue[0].baseHue = 361.0f; }, kBadArg},
  };
  for (const Case& c : cases) {
    TavelinPars p = NewPars();
    c.edit(p);
    EXPECT_EQ(ValidateTavelinPars(&p), c.expect) << c.what;
  }
}

TEST(TavelinPars, DefaultWorkingSpaceMatrices) {
  TavelinPars p = NewPars();
  // The 6500 K daylight white lies next to the familiar D65 chromaticity.
  const double s = p.refRGB.xyzWhite[0] + 1.0 + p.refRGB.xyzWhite[2];
  EXPECT_NEAR(p.refRGB.xyzWhite[0] / s, 0.3127, 2e-4);
  EXPECT_NEAR(1.0 / s, 0.3290, 2e-4);
  // RGB (1, 1, 1) lands on the D50 white; the luminance row is the familiar one.
  double d50[3];
  colorimetry::D50(d50);
  for (int j = 0; j < 3; ++j) EXPECT_NEAR(p.rgbToXyz[j] + p.rgbToXyz[3 + j] + p.rgbToXyz[6 + j], d50[j], 1e-5);
  EXPECT_NEAR(p.rgbToXyz[1], 0.2225, 2e-3);
  EXPECT_NEAR(p.rgbToXyz[4], 0.7169, 2e-3);
  EXPECT_NEAR(p.rgbToXyz[7], 0.0606, 2e-3);
  // xyzToRgb is the inverse in the same layout.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += (double)p.rgbToXyz[3 * i + k] * p.xyzToRgb[3 * k + j];
      EXPECT_NEAR(v, i == j ? 1.0 : 0.0, 1e-5);
    }
  EXPECT_FLOAT_EQ(p.linearCurve[128], (float)std::pow(128 / 255.0, 1 / 2.2));
  // A space whose primaries are collinear has no matrix; the record keeps its own.
  RefRGB flat = p.refRGB;
  const float line[6] = {0.2f, 0.2f, 0.3f, 0.3f, 0.4f, 0.4f};
  for (int i = 0; i < 6; ++i) flat.primaries[i] = line[i];
  ASSERT_EQ(ValidateRefRGB(&flat), kOk);
  const TavelinPars before = p;
  EXPECT_EQ(SetRefRGB(&p, &flat), kBadArg);
  EXPECT_TRUE(SameBytes(p, before));
}

TEST(TavelinPars, SamplesAndHandleIds) {
  TavelinPars p = NewPars();
  struct Bin {
    float r, g, b;
    int bin;
  };
  const Bin bins[] = {{0, 0, 0, 0}, {1, 1, 1, 19}, {0.6f, 0.5f, 0.4f, 10}, {0.049f, 0.049f, 0.049f, 0},
                      {0.051f, 0.051f, 0.051f, 1}, {0, 0, 1, 2}};
  for (const Bin& b : bins) {
    const float rgb[3] = {b.r, b.g, b.b};
    EXPECT_EQ(SampleBinIndex(rgb), b.bin) << b.r << " " << b.g << " " << b.b;
  }
  p.balanceValid = 1;
  const float c[3] = {0.6f, 0.5f, 0.4f};
  ASSERT_EQ(AddBalanceSample(&p, c), kOk);
  ASSERT_EQ(AddBalanceSample(&p, c), kOk);
  EXPECT_EQ(p.balBin[10].count, 2);
  EXPECT_FLOAT_EQ(p.balBin[10].sum[0], 1.2f);
  EXPECT_EQ(p.balanceValid, 0);

  std::swap(p.hue[1], p.hue[4]);
  int v = -5;
  EXPECT_EQ(HandleIdToIndex(&p, 10, &v), kOk);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(HandleIdToIndex(&p, 3, &v), kOk);  // an index stands for itself
  EXPECT_EQ(v, 3);
  EXPECT_EQ(HandleIdToIndex(&p, 12, &v), kBadArg);
  EXPECT_EQ(HandleIndexToId(&p, 4, &v), kOk);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(HandleIndexToId(&p, 9, &v), kOk);  // already an identity
  EXPECT_EQ(v, 9);
  EXPECT_EQ(HandleIndexToId(&p, -1, &v), kBadArg);
}

// ---- parameter vector ------------------------------------------------------

namespace {
TavelinPars BusyPars(unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  TavelinPars p = NewPars();
  p.linear = 1;
  for (int i = 0; i < 40; ++i) AddSamples(p.balBin, u(rng), u(rng), u(rng));
  p.neutralPref = NeutralPref{12.0f, 70.0f, -0.3f};
  p.blackPoint = -0.25f, p.grayPoint = 0.4f, p.whitePoint = 1.5f;
  p.brightness = 0.6f, p.shadow = 0.3f, p.highlight = 0.7f, p.contrast = 0.65f, p.saturation = 0.2f;
  for (int h = 0; h < kHueEntries; ++h) {
    p.hue[h].baseHue = 10.0f + 55.0f * h;
    p.hue[h].hueShift = -20.0f + 7.0f * h;
    p.hue[h].brightness = u(rng);
    p.hue[h].saturation = u(rng);
    p.hue[h].handleId = 11 - h;
    for (int i = 0; i < 5; ++i) AddSamples(p.hue[h].hueBin, u(rng), u(rng), u(rng));
  }
  p.toneColor[0] = 0.6f, p.toneColor[2] = 0.45f;
  RefRGB space = p.refRGB;
  space.gamma = 1.8f;
  const float prim[6] = {0.7347f, 0.2653f, 0.1596f, 0.8404f, 0.0366f, 0.0001f};
  for (int i = 0; i < 6; ++i) space.primaries[i] = prim[i];
  EXPECT_EQ(SetRefRGB(&p, &space), kOk);
  p.sharpenOn = 1, p.sharpenStrength = 11, p.sharpenChannelMode = 2, p.denoiseOn = 1, p.denoiseAux = 0;
  p.noiseRadius[0] = 5, p.noiseThreshold[3] = 30, p.noiseShape = 1;
  return p;
}
}  // namespace

class ParVectorTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    OpenState(1);  // the decoder's reports go to the diagnostics log
    ClearLog();
  }
};

TEST_F(ParVectorTest, RoundTripsEveryStoredField) {
  const TavelinPars p = BusyPars(7);
  std::vector<float> v(kParVectorCount), w(kParVectorCount);
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  EXPECT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCountOld), kBadArg);
  TavelinPars q = NewPars();
  ASSERT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, &q), kOk);
  ASSERT_EQ(EncodeTavelinPars(&q, w.data(), kParVectorCount), kOk);
  EXPECT_EQ(v, w);
  EXPECT_EQ(q.balanceValid, 0);
  // Derived fields are rebuilt from the stored working space.
  for (int i = 0; i < 9; ++i) EXPECT_FLOAT_EQ(q.rgbToXyz[i], p.rgbToXyz[i]);
  for (int i = 0; i < kCurveSize; ++i) EXPECT_FLOAT_EQ(q.linearCurve[i], p.linearCurve[i]);
  EXPECT_EQ(LogText(), "");
}

TEST_F(ParVectorTest, OldFormKeepsFilterFieldsAndResetsTheNewGroups) {
  const TavelinPars p = BusyPars(8);
  std::vector<float> v(kParVectorCount);
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  TavelinPars q = NewPars();
  q.sharpenStrength = 3;
  q.noiseShape = 2;
  ASSERT_EQ(DecodeTavelinPars(v.data(), kParVectorCountOld, &q), kOk);
  EXPECT_EQ(q.neutralPref.chroma, 0.0f);
  EXPECT_EQ(q.neutralPref.hueSlope, 0.0f);
  EXPECT_EQ(q.toneColor[0], 0.5f);
  EXPECT_EQ(q.toneColor[2], 0.5f);
  EXPECT_EQ(q.sharpenStrength, 3);
  EXPECT_EQ(q.noiseShape, 2);
  EXPECT_EQ(q.contrast, p.contrast);
}

TEST_F(ParVectorTest, RefusesOtherLengthsWithoutTouchingTheRecord) {
  std::vector<float> v(kParVectorCount, 0.0f);
  TavelinPars q = BusyPars(9);
  const TavelinPars before = q;
  for (int n : {0, 608, 610, 628, 630}) EXPECT_EQ(DecodeTavelinPars(v.data(), n, &q), kFormatErr) << n;
  EXPECT_EQ(DecodeTavelinPars(nullptr, kParVectorCount, &q), kFormatErr);
  EXPECT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, nullptr), kFormatErr);
  EXPECT_TRUE(SameBytes(q, before));
}

TEST_F(ParVectorTest, RoundsPrimariesToFourDecimals) {
  TavelinPars p = NewPars();
  std::vector<float> v(kParVectorCount);
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  v[603] = 0.64004f;  // primaries start at 603
  v[604] = 0.33006f;
  ASSERT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, &p), kOk);
  EXPECT_EQ(p.refRGB.primaries[0], 0.64f);
  EXPECT_EQ(p.refRGB.primaries[1], 0.3301f);
}

TEST_F(ParVectorTest, BadWorkingSpaceResetsEverything) {
  TavelinPars p = BusyPars(10);
  std::vector<float> v(kParVectorCount);
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  v[599] = 0.4f;  // gamma
  TavelinPars q = NewPars();
  EXPECT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, &q), kUnsupported);
  ToolMask m = TOOL_ALL;
  PruneToolMask(&q, &m);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(q.balBin[10].count + q.balBin[5].count + q.balBin[15].count, 0);
  // The record stays usable: the default working space is installed.
  EXPECT_EQ(ValidateTavelinPars(&q), kOk);
  EXPECT_EQ(q.refRGB.gamma, 2.2f);
  EXPECT_NE(LogText().find("refRGB in the editPars prefs is invalid: 0.400000, "), std::string::npos) << LogText();
}

TEST_F(ParVectorTest, BadGroupsResetAloneExceptHueEntriesWhichResetTogether) {
  TavelinPars p = BusyPars(11);
  std::vector<float> v(kParVectorCount);
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  v[87] = 1.5f;                       // contrast
  v[89 + 3 * 85 + 5 + 4 * 2 + 3] = -2.0f;  // hue[3].hueBin[2].count
  TavelinPars q = NewPars();
  EXPECT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, &q), kUnsupported);
  EXPECT_EQ(q.contrast, 0.5f);
  EXPECT_EQ(q.saturation, p.saturation);
  EXPECT_EQ(q.blackPoint, p.blackPoint);
  EXPECT_EQ(q.balBin[10].count, p.balBin[10].count);
  for (int h = 0; h < kHueEntries; ++h) {
    EXPECT_EQ(q.hue[h].baseHue, h * 60.0f);
    EXPECT_EQ(q.hue[h].hueShift, 0.0f);
    EXPECT_EQ(q.hue[h].handleId, h + 6);
  }
  EXPECT_EQ(q.toneColor[0], 0.5f);
  const std::string log = LogText();
  EXPECT_NE(log.find("editPars contrast pref invalid: 1.500000"), std::string::npos) << log;
  EXPECT_NE(log.find("editPars hue[3].hueBin[2] pref invalid: -2 "), std::string::npos) << log;

  // Only a bad balance bin: the first bad one is reported and the samples go.
  ASSERT_EQ(EncodeTavelinPars(&p, v.data(), kParVectorCount), kOk);
  v[1 + 4 * 6 + 1] = -0.5f;  // balBin[6] sum G
  ClearLog();
  EXPECT_EQ(DecodeTavelinPars(v.data(), kParVectorCount, &q), kUnsupported);
  ToolMask m = TOOL_BALANCE;
  PruneToolMask(&q, &m);
  EXPECT_EQ(m, 0);
  EXPECT_EQ(q.neutralPref.chroma, 0.0f);
  EXPECT_EQ(q.hue[2].baseHue, p.hue[2].baseHue);
  EXPECT_NE(LogText().find("editPars balBin[6] pref invalid: "), std::string::npos);
}

TEST_F(ParVectorTest, HostileNumbersNeverLeaveAnUnsafeRecord) {
  // Whatever the floats, the decoded record is either valid or refused by the
  // validator, counts are integers, and handle identities stay a permutation.
  std::mt19937 rng(5);
  const float specials[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3e9f, -3e9f, 0.5f, 2.0f, -1.0f};
  for (int round = 0; round < 200; ++round) {
    TavelinPars p = BusyPars(round);
    std::vector<float> v(kParVectorCount);
    EncodeTavelinPars(&p, v.data(), kParVectorCount);
    for (int k = 0; k < 8; ++k) v[rng() % kParVectorCount] = specials[rng() % std::size(specials)];
    TavelinPars q = NewPars();
    const Status st = DecodeTavelinPars(v.data(), kParVectorCount, &q);
    EXPECT_TRUE(st == kOk || st == kUnsupported);
    EXPECT_EQ(ValidateRefRGB(&q.refRGB), kOk);
    bool seen[6] = {};
    for (const HueEntry& e : q.hue) {
      ASSERT_GE(e.handleId, 6);
      ASSERT_LE(e.handleId, 11);
      EXPECT_FALSE(seen[e.handleId - 6]);
      seen[e.handleId - 6] = true;
    }
  }
}
