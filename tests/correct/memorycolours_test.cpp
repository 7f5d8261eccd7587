#include "correct/memorycolours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "correct/colorimetry.h"
#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct_support.h"
#include "support/app_fixture.h"

namespace {

// The working-space colour of an LCh model at lightness L (no clipping expected).
void ModelColour(const TavelinPars& p, double L, double chroma, double hue, double slope, float rgb[3]) {
  const double lch[3] = {L, L * chroma * 0.04 * (1 - 0.01 * L), colorimetry::Wrap360(hue + (L - 50) * slope)};
  double lab[3], xyz[3], d50[3];
  colorimetry::D50(d50);
  colorimetry::LchToLab(lch, lab);
  colorimetry::LabToXyz(lab, d50, xyz);
  for (int j = 0; j < 3; ++j) {
    double v = 0;
    for (int c = 0; c < 3; ++c) v += xyz[c] * p.xyzToRgb[3 * c + j];
    rgb[j] = (float)std::pow(std::fmax(0.0, std::fmin(1.0, v)), 1 / p.refRGB.gamma);
  }
}

// LCh (D50) of a working-space colour.
void Lch(const TavelinPars& p, const float rgb[3], double lch[3]) {
  double xyz[3] = {0, 0, 0}, lab[3], d50[3];
  colorimetry::D50(d50);
  for (int j = 0; j < 3; ++j)
    for (int c = 0; c < 3; ++c) xyz[j] += std::pow(rgb[c], p.refRGB.gamma) * p.rgbToXyz[3 * c + j];
  colorimetry::XyzToLab(xyz, d50, lab);
  colorimetry::LabToLch(lab, lch);
}

// Marks colours of a model at several lightnesses for handle index h.
void MarkModel(TavelinPars& p, int h, double chroma, double hue, double slope) {
  for (double L = 30; L <= 80; L += 10) {
    float rgb[3];
    ModelColour(p, L, chroma, hue, slope, rgb);
    AddSamples(p.hue[h].hueBin, rgb[0], rgb[1], rgb[2], 4);
  }
}

std::string Path(const char* leaf) { return FreshDir("memorycolours") + leaf; }

}  // namespace

TEST(MemoryColours, Defaults) {
  MemoryColour c;
  ASSERT_EQ(DefaultMemoryColour(0, &c), kOk);
  EXPECT_STREQ(c.name, "Skin");
  EXPECT_STREQ(c.label, "S");
  EXPECT_EQ(c.chroma, 32.0f);
  EXPECT_EQ(c.hue, 45.0f);
  ASSERT_EQ(DefaultMemoryColour(2, &c), kOk);
  EXPECT_STREQ(c.name, "Blue Sky");
  EXPECT_EQ(c.hueSlope, -0.7f);
  ASSERT_EQ(DefaultMemoryColour(4, &c), kOk);
  EXPECT_EQ(c.defined, 0);
  EXPECT_STREQ(c.name, "");
  EXPECT_EQ(DefaultMemoryColour(6, &c), kBadArg);
}

TEST(MemoryColours, DefinitionFromHandleRecoversTheModel) {
  TavelinPars p = NewPars();
  MarkModel(p, 1, 30.0, 70.0, -0.3);
  MemoryColour d{};
  ASSERT_EQ(DefinitionFromHandle(&p, 7, &d), kOk);  // identity 7 is index 1
  EXPECT_NEAR(d.chroma, 30.0, 0.5);
  EXPECT_NEAR(d.hue, 70.0, 0.5);
  EXPECT_NEAR(d.hueSlope, -0.3, 0.02);
  EXPECT_EQ(DefinitionFromHandle(&p, 8, &d), kBadArg);  // no samples
  EXPECT_EQ(DefinitionFromHandle(&p, 12, &d), kBadArg);
}

TEST(MemoryColours, ApplyMovesSamplesHalfwayTowardTheDefinition) {
  TavelinPars p = NewPars();
  MarkModel(p, 1, 30.0, 75.0, 0.0);  // yellowish skin
  MemoryColour skin;
  DefaultMemoryColour(0, &skin);  // hue 45
  const TavelinPars before = p;
  ASSERT_EQ(ApplyMemoryColour(&p, 7, &skin), kOk);
  int k;
  ASSERT_EQ(HandleIdToIndex(&p, 7, &k), kOk);
  EXPECT_NE(p.hue[k].hueShift, 0.0f);
  // A marked colour now lands about halfway between its hue and the definition's.
  float m[3], out[3];
  ModelColour(before, 50, 30.0, 75.0, 0.0, m);
  ASSERT_EQ(ApplyValidatedTavelinPars(&p, TOOL_HUE_ALL, m, out), kOk);
  double lch[3];
  Lch(p, out, lch);
  EXPECT_GT(lch[2], 52.0);
  EXPECT_LT(lch[2], 68.0);
  // A definition equal to what was marked changes (almost) nothing.
  TavelinPars q = before;
  MemoryColour same{};
  ASSERT_EQ(DefinitionFromHandle(&q, 7, &same), kOk);
  ASSERT_EQ(ApplyMemoryColour(&q, 7, &same), kOk);
  ASSERT_EQ(HandleIdToIndex(&q, 7, &k), kOk);
  EXPECT_LT(std::fabs(colorimetry::Wrap180(q.hue[k].hueShift)), 1.5);
  EXPECT_NEAR(q.hue[k].brightness, 0.5, 0.02);
  EXPECT_NEAR(q.hue[k].saturation, 0.5, 0.03);
  // No samples in bins 1..18: refused, record unchanged.
  TavelinPars r = NewPars();
  AddSamples(r.hue[0].hueBin, 1.0f, 1.0f, 0.9f, 3);  // bin 19 only
  const TavelinPars rb = r;
  EXPECT_EQ(ApplyMemoryColour(&r, 6, &skin), kBadArg);
  EXPECT_TRUE(SameBytes(r, rb));
}

TEST(MemoryColours, RestrictEditPutsBackExcludedFields) {
  TavelinPars before = NewPars();
  before.hue[2].hueShift = 4.0f;
  TavelinPars p = before;
  p.hue[2].hueShift = 20.0f, p.hue[2].brightness = 0.8f, p.hue[2].saturation = 0.95f;
  ASSERT_EQ(RestrictMemoryColourEdit(&p, 8, &before, TOOL_BRIGHTNESS | TOOL_SATURATION), kOk);
  EXPECT_EQ(p.hue[2].hueShift, 4.0f);
  EXPECT_EQ(p.hue[2].brightness, 0.8f);
  EXPECT_FLOAT_EQ(p.hue[2].saturation, 0.7f);
}

TEST(MemoryColours, FileRoundTripAndReadingRules) {
  const std::string path = Path("Skin");
  MemoryColour c{};
  c.defined = 1, c.chroma = 31.6f, c.hue = 45.4f, c.hueSlope = -0.66f;
  std::strcpy(c.name, "Blue Sky");
  std::strcpy(c.label, "B");
  ASSERT_EQ(WriteMemoryColourFile(path, &c), kOk);
  EXPECT_EQ(ReadFileText(path), "1  32  45 -0.7 Blue Sky\nB\n");
  MemoryColour r{};
  ASSERT_EQ(ReadMemoryColourFile(path, &r), kOk);
  EXPECT_EQ(r.defined, 1);
  EXPECT_EQ(r.chroma, 32.0f);
  EXPECT_EQ(r.hue, 45.0f);
  EXPECT_FLOAT_EQ(r.hueSlope, -0.7f);
  EXPECT_STREQ(r.name, "Blue Sky");
  EXPECT_STREQ(r.label, "B");

  struct Case {
    const char* text;
    Status status;
    float chroma = 0, hue = 0, slope = 0;
    const char* name = "";
    const char* label = "";
  };
  const Case cases[] = {
      {"1 32 45 0.0 Skin\nS\n", kOk, 32, 45, 0, "Skin", "S"},
      {"1\t32\t45\t0.0\tSkin\nS", kOk, 32, 45, 0, "Skin", "S"},
      {"1 150 400 -3 Wide\n", kOk, 100, 360, -1, "Wide", ""},  // clamped; no line 2
      {"1 10 20 0.5 A name of twenty-five chars\nx\n", kOk, 10, 20, 0.5f, "A name of twenty-fiv", "x"},
      {"1 10 20 0.5 Tab\x01name\n\x7fx\n", kOk, 10, 20, 0.5f, "Tab name", " "},
      {"1 10 20 0.5\n", kOk, 10, 20, 0.5f, "", ""},
      {"0 10 20 0.5 Off\nO\n", kOk, 10, 20, 0.5f, "Off", "O"},  // counts as defined
      {"1 32 45\n", kFormatErr},
      {"1 32 45 zero Skin\n", kFormatErr},
      {"one 32 45 0 Skin\n", kFormatErr},
      {"", kFormatErr},
      {"\n", kFormatErr},
  };
  for (const Case& t : cases) {
    WriteFileText(path, t.text);
    MemoryColour m{};
    DefaultMemoryColour(1, &m);
    const MemoryColour before = m;
    ASSERT_EQ(ReadMemoryColourFile(path, &m), t.status) << t.text;
    if (t.status != kOk) {
      EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0) << t.text;
      continue;
    }
    EXPECT_EQ(m.defined, 1);
    EXPECT_FLOAT_EQ(m.chroma, t.chroma) << t.text;
    EXPECT_FLOAT_EQ(m.hue, t.hue) << t.text;
    EXPECT_FLOAT_EQ(m.hueSlope, t.slope) << t.text;
    EXPECT_STREQ(m.name, t.name) << t.text;
    EXPECT_STREQ(m.label, t.label) << t.text;
  }
  EXPECT_EQ(ReadMemoryColourFile(Path("missing"), &r), kOpenErr);
  // Writing needs a defined slot with a name and a label.
  MemoryColour w = c;
  w.label[0] = 0;
  EXPECT_EQ(WriteMemoryColourFile(path, &w), kBadArg);
  w = c;
  w.defined = 0;
  EXPECT_EQ(WriteMemoryColourFile(path, &w), kBadArg);
}

class MemoryColourPrefs : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    OpenState(1);
    ClearLog();
    for (int s = 0; s < kMemoryColourSlots; ++s) DefaultMemoryColour(s, &slots[s]);
  }
  MemoryColour slots[kMemoryColourSlots];
};

TEST_F(MemoryColourPrefs, DecodeBothForms) {
  float v[24];
  ASSERT_EQ(EncodeMemoryColours(slots, v, 24), kOk);
  v[12] = 1.0f, v[13] = 55.0f, v[14] = 359.5f, v[15] = 0.25f;  // define slot 3
  MemoryColour out[kMemoryColourSlots];
  for (int s = 0; s < kMemoryColourSlots; ++s) DefaultMemoryColour(s, &out[s]);
  ASSERT_EQ(DecodeMemoryColours(v, 24, out), kOk);
  EXPECT_EQ(out[3].defined, 1);
  EXPECT_EQ(out[3].chroma, 55.0f);
  EXPECT_STREQ(out[0].name, "Skin");  // names travel separately
  // The old form: slots 0..2, all defined.
  const float old[12] = {30, 40, 0, 41, 121, -0.5f, 42, 250, -0.9f};
  ASSERT_EQ(DecodeMemoryColours(old, 12, out), kOk);
  EXPECT_EQ(out[2].hue, 250.0f);
  EXPECT_EQ(out[3].chroma, 55.0f);  // untouched
  EXPECT_EQ(DecodeMemoryColours(old, 13, out), kFormatErr);
  EXPECT_EQ(LogText(), "");
}

TEST_F(MemoryColourPrefs, InvalidSlotResetsAndStops) {
  float v[24];
  ASSERT_EQ(EncodeMemoryColours(slots, v, 24), kOk);
  v[4 + 1] = 200.0f;  // slot 1 chroma
  v[8 + 2] = 12.0f;   // slot 2 hue: never examined
  v[12] = 0.0f, v[13] = -5.0f;  // undefined slot 3 is not checked
  MemoryColour out[kMemoryColourSlots];
  for (int s = 0; s < kMemoryColourSlots; ++s) DefaultMemoryColour(s, &out[s]);
  std::strcpy(out[1].name, "Mine");
  EXPECT_EQ(DecodeMemoryColours(v, 24, out), kUnsupported);
  EXPECT_EQ(out[1].chroma, 40.0f);
  EXPECT_STREQ(out[1].name, "Foliage");
  EXPECT_EQ(out[2].hue, 258.0f);
  EXPECT_NE(LogText().find("Memory color 1 in the preferences file is invalid: 1 200.000000 120.000000 -0.500000"),
            std::string::npos)
      << LogText();
  // Hue 360 is out (0 <= h < 360); the old form also checks the slope.
  const float old[12] = {30, 360, 0};
  EXPECT_EQ(DecodeMemoryColours(old, 12, out), kUnsupported);
  const float slope[12] = {30, 40, 1.0f};
  EXPECT_EQ(DecodeMemoryColours(slope, 12, out), kUnsupported);
}
