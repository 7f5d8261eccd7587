// Gray and CMYK files read as RGB through LittleCMS: the defaults the user
// chooses serve, a default of the wrong kind is refused with its reason, and
// corrected RGB goes back to gray.
#include <gtest/gtest.h>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/inputcolour.h"

namespace {

using cmtest::Bytes;

// A one-row image of `channels` samples per pixel, every pixel `v`.
std::string FlatImage(const std::string& path, int32_t colorType, std::vector<uint8_t> v, const Bytes& profile = {}) {
  RasImage image;
  image.meta.iccProfile = profile;
  EXPECT_EQ(rasInit(image, kRasTiff, 4, 1, (int32_t)v.size(), colorType, 72), kOk);
  EXPECT_EQ(RasOpen(path, 'w', image), kOk);
  RasScanline sl;
  EXPECT_EQ(RasMakeSl(sl, image), kOk);
  for (size_t c = 0; c < v.size(); ++c)
    for (int x = 0; x < 4; ++x) sl.plane8[c][x] = v[c];
  EXPECT_EQ(RasWriteSl(image, 0, sl), kOk);
  EXPECT_EQ(RasClose(image), kOk);
  return path;
}

Bytes GrayProfile(double gamma) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  cmsFreeToneCurve(curve);
  Bytes b = cmtest::SaveToBytes(p);
  cmsCloseProfile(p);
  return b;
}

// The first pixel read through `read`: status, channels and samples.
struct Read {
  Status st = kOk;
  int32_t channels = 0, fileColorType = 0;
  std::vector<int> v;
};
Read ReadFirst(const std::string& path, const ReadOptions& read) {
  Read r;
  RasImage image;
  RasScanline sl;
  if ((r.st = RasQuery(path, image, read)) != kOk || (r.st = RasOpenRead(path, image, read)) != kOk ||
      (r.st = RasReadSl(image, 0, sl)) != kOk)
    return r;
  r.channels = image.channels;
  r.fileColorType = image.fileColorType;
  for (int c = 0; c < image.channels; ++c) r.v.push_back(sl.plane8[c][0]);
  return r;
}

TEST(InputColourTest, GrayAndCmykReadAsRgbThroughTheChosenDefaults) {
  const std::string dir = FreshDir("inputcolour");
  const std::string srgb = cmtest::WorkingSpaceFile(dir, 13);
  const std::string gray = FlatImage(dir + "gray.tif", kRasGray, {128});
  const std::string linear = cmtest::WriteBytes(dir + "linear.icc", GrayProfile(1.0));

  // Without the presenter the file reads as it is.
  Read plain = ReadFirst(gray, {});
  ASSERT_EQ(plain.st, kOk);
  EXPECT_EQ(plain.channels, 1);

  // The built-in gray has sRGB's tone curve: 128 stays 128 in sRGB.
  ReadOptions read;
  read.asRgb = MakeRgbPresenter(srgb, {});
  Read builtin = ReadFirst(gray, read);
  ASSERT_EQ(builtin.st, kOk);
  EXPECT_EQ(builtin.channels, 3);
  EXPECT_EQ(builtin.fileColorType, kRasGray);
  for (int v : builtin.v) EXPECT_NEAR(v, 128, 1);

  // A linear gray chosen as the default makes the same value lighter; a
  // profile embedded in the file wins over the default.
  read.asRgb = MakeRgbPresenter(srgb, {linear, ""});
  Read chosen = ReadFirst(gray, read);
  ASSERT_EQ(chosen.st, kOk);
  EXPECT_GT(chosen.v[0], 180);
  const std::string tagged = FlatImage(dir + "tagged.tif", kRasGray, {128}, GrayProfile(2.2));
  Read embedded = ReadFirst(tagged, read);
  ASSERT_EQ(embedded.st, kOk);
  EXPECT_LT(embedded.v[0], 140);

  // A chosen CMYK profile file serves for CMYK files.
  const std::string printer = cmtest::WriteBytes(dir + "printer.icc", cmtest::CmykPrinterProfile());
  read.asRgb = MakeRgbPresenter(srgb, {"", printer});
  Read cmyk = ReadFirst(FlatImage(dir + "cmyk.tif", kRasCMYK, {10, 20, 30, 40}), read);
  ASSERT_EQ(cmyk.st, kOk);
  EXPECT_EQ(cmyk.channels, 3);
}

TEST(InputColourTest, ADefaultOfTheWrongKindIsRefusedWithItsReason) {
  const std::string dir = FreshDir("inputcolour-wrong");
  const std::string srgb = cmtest::WorkingSpaceFile(dir, 13);
  const std::string gray = FlatImage(dir + "gray.tif", kRasGray, {50});
  struct Case {
    InputColourDefaults defaults;
    std::string rgb, why;
  } cases[] = {
      {{srgb, ""}, srgb, "is not a gray profile"},
      {{dir + "none.icc", ""}, srgb, "none.icc cannot be read"},
      {{}, dir + "none.icc", "none.icc cannot be read"},
  };
  for (const Case& c : cases) {
    ReadOptions read;
    read.asRgb = MakeRgbPresenter(c.rgb, c.defaults);
    RasImage image;
    EXPECT_EQ(RasQuery(gray, image, read), kFormatErr) << c.why;
    EXPECT_NE(RasLastFailure().find(c.why), std::string::npos) << RasLastFailure();
    EXPECT_EQ(RasOpenRead(gray, image, read), kFormatErr);
    EXPECT_FALSE(image.file);
  }
}

TEST(InputColourTest, RgbGoesBackToGrayThroughTheGrayProfile) {
  const std::string dir = FreshDir("inputcolour-back");
  const std::string srgb = cmtest::WorkingSpaceFile(dir, 13);
  Bytes profile;
  std::string why;
  ASSERT_EQ(GrayProfileOf(ImageMeta{}, {}, &profile, &why), kOk) << why;
  for (bool wide : {false, true}) {
    RgbToGray back;
    ASSERT_EQ(back.Make(srgb, profile, wide, 3, &why), kOk) << why;
    const uint16_t r16[3] = {0, 32896, 65535}, g16[3] = {0, 32896, 65535}, b16[3] = {0, 32896, 65535};
    const uint8_t r8[3] = {0, 128, 255}, g8[3] = {0, 128, 255}, b8[3] = {0, 128, 255};
    const void* const rgb16[3] = {r16, g16, b16};
    const void* const rgb8[3] = {r8, g8, b8};
    uint16_t out16[3] = {};
    uint8_t out8[3] = {};
    ASSERT_EQ(back.Convert(wide ? rgb16 : rgb8, wide ? (void*)out16 : (void*)out8, 3), kOk);
    for (int x = 0; x < 3; ++x) {
      if (wide) EXPECT_NEAR(out16[x], r16[x], 160) << x;
      else EXPECT_NEAR(out8[x], r8[x], 1) << x;
    }
  }
  RgbToGray refused;
  EXPECT_EQ(refused.Make(srgb, cmtest::WorkingSpaceBytes(13), false, 3, &why), kFormatErr);
  EXPECT_EQ(why, "the gray profile cannot be used");
}

}  // namespace
