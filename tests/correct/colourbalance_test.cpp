#include "correct/colourbalance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "correct/colourmodels.h"
#include "correct/curvefit.h"
#include "correct/tonetools.h"
#include "correct_support.h"

TEST(CurveFit, PolynomialFitTable) {
  // An exact cubic is recovered at degree 3 and above; degree 0 is the mean.
  auto cubic = [](double x) { return 0.1 + 0.5 * x - 0.3 * x * x + 0.7 * x * x * x; };
  for (int degree = 3; degree <= 5; ++degree) {
    PolyFit fit(degree);
    for (int i = 0; i <= 10; ++i) fit.Add(i / 10.0, cubic(i / 10.0), 1 + i % 3);
    double c[kMaxFitDegree + 1];
    ASSERT_EQ(fit.Solve(c), kOk) << degree;
    for (double x : {0.0, 0.33, 0.9}) EXPECT_NEAR(PolyEval(c, degree, x), cubic(x), 1e-9) << degree;
  }
  PolyFit mean(0);
  mean.Add(0.2, 1.0, 1);
  mean.Add(0.4, 4.0, 2);
  double c[kMaxFitDegree + 1];
  ASSERT_EQ(mean.Solve(c), kOk);
  EXPECT_DOUBLE_EQ(c[0], 3.0);
  // Too few points, and points that cannot tell a slope (one x): no solution.
  PolyFit few(2);
  few.Add(0.1, 0.1);
  few.Add(0.2, 0.2);
  EXPECT_EQ(few.Solve(c), kBadArg);
  PolyFit sameX(1);
  for (int i = 0; i < 5; ++i) sameX.Add(0.5, i);
  EXPECT_EQ(sameX.Solve(c), kBadArg);
}

TEST(ColourBalance, NoSamplesGivesIdentity) {
  TavelinPars p = NewPars();
  p.balanceValid = 0;
  p.balanceCurve[1][100] = 0.9f;
  ASSERT_EQ(BuildBalanceCurves(&p), kOk);
  EXPECT_EQ(p.balanceValid, 1);
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < kCurveSize; ++k) ASSERT_EQ(p.balanceCurve[c][k], (float)(k / 255.0));
  ToolMask m = TOOL_BALANCE;
  PruneToolMask(&p, &m);
  EXPECT_EQ(m, 0);
}

TEST(ColourBalance, OneSampleMovesOntoItsGray) {
  TavelinPars p = NewPars();
  const float warm[3] = {0.6f, 0.5f, 0.4f};
  ASSERT_EQ(AddBalanceSample(&p, warm), kOk);
  EXPECT_EQ(p.balBin[10].count, 1);
  ASSERT_EQ(BuildBalanceCurves(&p), kOk);
  const double y = 0.5185;
  // A least-squares fit over all 20 bins: close, not exact.
  EXPECT_NEAR(CurveLookup(0.6, p.balanceCurve[0], kCurveSize), y, 0.02);
  EXPECT_NEAR(CurveLookup(0.5, p.balanceCurve[1], kCurveSize), y, 0.02);
  EXPECT_NEAR(CurveLookup(0.4, p.balanceCurve[2], kCurveSize), y, 0.02);
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < kCurveSize; ++k) ASSERT_GT(p.balanceCurve[c][k], p.balanceCurve[c][k - 1]);
    EXPECT_NEAR(p.balanceCurve[c][0], 0.0, 0.02);  // anchors at black and white
    EXPECT_NEAR(p.balanceCurve[c][255], 1.0, 0.02);
  }
  // The inverse balance undoes the curves.
  const float gray[3] = {0.5185f, 0.5185f, 0.5185f};
  float cast[3], back[3];
  ASSERT_EQ(InvertBalance(&p, gray, cast), kOk);
  EXPECT_NEAR(cast[0], 0.6, 0.02);
  EXPECT_NEAR(cast[2], 0.4, 0.02);
  ASSERT_EQ(ApplyBalance(&p, cast, back), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[c], gray[c], 1e-5);
}

TEST(ColourBalance, SlidersMakeOneSyntheticSample) {
  TavelinPars p = NewPars();
  // Every slider at +100: the sample (0, 0, 0) is pinned to the black anchor.
  const float all[3] = {1.0f, 1.0f, 1.0f};
  ASSERT_EQ(SetBalanceSliders(&p, all), kOk);
  EXPECT_EQ(p.balBin[0].count, 1);
  ASSERT_EQ(BuildBalanceCurves(&p), kOk);
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < kCurveSize; k += 17) EXPECT_NEAR(p.balanceCurve[c][k], k / 255.0, 1e-4);
  // Toward red adds red; each slider move replaces the sample.
  const float red[3] = {0.75f, 0.5f, 0.5f};
  ASSERT_EQ(SetBalanceSliders(&p, red), kOk);
  int total = 0;
  for (const SampleBin& b : p.balBin) total += b.count;
  EXPECT_EQ(total, 1);
  const float mid[3] = {0.4f, 0.4f, 0.4f};
  float out[3];
  ASSERT_EQ(ApplyBalance(&p, mid, out), kOk);
  EXPECT_GT(out[0], out[1] + 0.02f);
  EXPECT_NEAR(out[1], out[2], 1e-3);
  // A linear image passes the sample through the linear curve.
  p.linear = 1;
  ASSERT_EQ(SetBalanceSliders(&p, red), kOk);
  float s[3];
  for (int b = 0; b < kSampleBins; ++b)
    if (p.balBin[b].count) std::memcpy(s, p.balBin[b].sum, sizeof s);
  EXPECT_NEAR(s[0], std::pow(0.25, 1 / 2.2), 2e-3);
}

TEST(ColourBalance, FitLchModelTable) {
  NeutralPref m;
  const LchSample weak{50.0, 4.9, 120.0};
  ASSERT_EQ(FitLchModel(&weak, 1, &m), kOk);
  EXPECT_EQ(m.chroma, 5.0f);  // the nearest integer factor
  EXPECT_EQ(m.hue, 0.0f);
  EXPECT_EQ(m.hueSlope, 0.0f);
  const LchSample one{50.0, 20.0, 75.5};
  ASSERT_EQ(FitLchModel(&one, 1, &m), kOk);
  EXPECT_EQ(m.chroma, 20.0f);
  EXPECT_FLOAT_EQ(m.hue, 75.5f);
  // Samples along a model with slope -0.5 crossing 0 degrees.
  LchSample line[5];
  for (int i = 0; i < 5; ++i) {
    const double L = 20.0 + 15.0 * i;
    line[i] = LchSample{L, L * 40 * 0.04 * (1 - 0.01 * L), std::fmod(5.0 - 0.5 * (L - 50.0) + 360.0, 360.0)};
  }
  ASSERT_EQ(FitLchModel(line, 5, &m), kOk);
  EXPECT_EQ(m.chroma, 40.0f);
  EXPECT_EQ(m.hue, 5.0f);
  EXPECT_FLOAT_EQ(m.hueSlope, -0.5f);
  ASSERT_EQ(FitLchModel(nullptr, 0, &m), kOk);
  EXPECT_EQ(m.chroma, 0.0f);
  EXPECT_EQ(FitLchModel(line, -1, &m), kBadArg);
}

TEST(ColourBalance, NeutralPreference) {
  TavelinPars p = NewPars();
  const float gray[3] = {0.5f, 0.5f, 0.5f};
  p.neutralPref = NeutralPref{30, 200, 0.5f};
  ASSERT_EQ(SetNeutralPref(&p, gray), kOk);
  EXPECT_EQ(p.neutralPref.chroma, 0.0f);
  EXPECT_EQ(p.neutralPref.hue, 0.0f);
  EXPECT_EQ(p.neutralPref.hueSlope, 0.0f);
  EXPECT_EQ(p.balanceValid, 1);
  // A warm neutral gives a warm preference, and the target at L* 50 has that colour.
  const float warm[3] = {0.56f, 0.5f, 0.42f};
  ASSERT_EQ(SetNeutralPref(&p, warm), kOk);
  EXPECT_GE(p.neutralPref.chroma, 5.0f);
  EXPECT_GT(p.neutralPref.hue, 40.0f);
  EXPECT_LT(p.neutralPref.hue, 100.0f);
  double m[9], t[3];
  ASSERT_EQ(NativeXyzToRgb(&p.refRGB, m), kOk);
  ASSERT_EQ(NeutralTarget(50.0, &p.neutralPref, &p.refRGB, m, t), kOk);
  EXPECT_GT(t[0], t[1]);
  EXPECT_GT(t[1], t[2]);
  // Chroma 0: the target is the gray of that lightness, 18.4 % at L* 50.
  const NeutralPref none{0, 0, 0};
  ASSERT_EQ(NeutralTarget(50.0, &none, &p.refRGB, m, t), kOk);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(t[c], std::pow(0.18419, 1 / 2.2), 1e-4);
}

TEST(ColourBalance, TinyPreferredChromaMeetsThePlainTarget) {
  // Below 0.001 the plain gray target is used; just above it the preference
  // target differs only by that tiny chroma, not by a change of lightness.
  TavelinPars plain = NewPars();
  AddSamples(plain.balBin, 0.3f, 0.25f, 0.2f, 3);
  AddSamples(plain.balBin, 0.8f, 0.75f, 0.7f, 3);
  TavelinPars pref = plain, below = plain;
  below.neutralPref.chroma = 0.0005f;
  pref.neutralPref.chroma = 0.0011f;
  ASSERT_EQ(BuildBalanceCurves(&plain), kOk);
  ASSERT_EQ(BuildBalanceCurves(&below), kOk);
  ASSERT_EQ(BuildBalanceCurves(&pref), kOk);
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < kCurveSize; ++k) {
      ASSERT_EQ(below.balanceCurve[c][k], plain.balanceCurve[c][k]);
      ASSERT_NEAR(pref.balanceCurve[c][k], plain.balanceCurve[c][k], 2e-3) << c << " " << k;
    }
}

TEST(ColourBalance, CastWedge) {
  TavelinPars p = NewPars();
  CastSwatch w[kCastWedgeSteps];
  ASSERT_EQ(CastWedge(&p, w), kOk);
  for (int i = 0; i < kCastWedgeSteps; ++i) {
    EXPECT_FLOAT_EQ(w[i].gray[0], (i + 1) / 10.0f);
    EXPECT_NEAR(w[i].cast[1], w[i].gray[1], 1e-6);
    EXPECT_EQ(w[i].number, 0);
    EXPECT_STREQ(w[i].letter, "");
  }
  // A blue cast in the image: the wedge shows blue swatches labelled "B".
  AddSamples(p.balBin, 0.35f, 0.4f, 0.6f, 5);
  p.neutralPref = NeutralPref{20.0f, 60.0f, 0.0f};
  p.balanceValid = 0;
  ASSERT_EQ(CastWedge(&p, w), kOk);
  EXPECT_STREQ(w[3].letter, "B");
  EXPECT_GT(w[3].number, 10);
  EXPECT_GT(w[3].cast[2], w[3].cast[0]);
  // The preferred neutral is back and the curves agree with it again.
  EXPECT_EQ(p.neutralPref.chroma, 20.0f);
  EXPECT_EQ(p.balanceValid, 1);
  TavelinPars fresh = p;
  fresh.balanceValid = 0;
  BuildBalanceCurves(&fresh);
  EXPECT_EQ(std::memcmp(fresh.balanceCurve, p.balanceCurve, sizeof p.balanceCurve), 0);
}

TEST(ColourBalance, RefusesInvalidRecords) {
  TavelinPars p = NewPars();
  p.saturation = 2.0f;
  const TavelinPars before = p;
  const float c[3] = {0.5f, 0.4f, 0.4f};
  CastSwatch w[kCastWedgeSteps];
  EXPECT_EQ(SetNeutralPref(&p, c), kBadArg);
  EXPECT_EQ(SetBalanceSliders(&p, c), kBadArg);
  EXPECT_EQ(CastWedge(&p, w), kBadArg);
  EXPECT_TRUE(SameBytes(p, before));
}
