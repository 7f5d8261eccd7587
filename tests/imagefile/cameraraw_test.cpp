// Camera raw reading through LibRaw: a small hand-built DNG renders as
// linear neutral RGB with its orientation applied and its profile carried;
// plain TIFF files are not taken for raw files; a real camera's CR2 (Debian's
// rawtran-doc, when installed) reads at its size; damaged files are refused
// with a reason.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <array>
#include <cstring>
#include <string>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "imagefile/rgbprofile.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

// The linear data, the neutral rendering, the orientation and the profile.
TEST(CameraRawTest, RendersADngAsLinearNeutralRgbTurnedUpright) {
  for (uint16_t orientation : {1, 6}) {
    SCOPED_TRACE(orientation);
    const std::string path = ScratchFile("test.dng");
    WriteBytes(path, MakeTestDng(32, 24, 10000, 40000, orientation));
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasCameraRaw);
    EXPECT_EQ(image.maxValue, 65535);
    ASSERT_EQ(px.width, orientation == 6 ? 24u : 32u);
    ASSERT_EQ(px.height, orientation == 6 ? 32u : 24u);
    // Asking for the size (no decode) promises the size the rows come in.
    RasImage query;
    ASSERT_EQ(RasQuery(path, query, ReadOptions{}), kOk) << RasLastFailure();
    EXPECT_EQ(query.width, px.width);
    EXPECT_EQ(query.height, px.height);
    // The dark half: the top, or turned to the right side.
    const uint32_t darkX = orientation == 6 ? 19 : 16, darkY = orientation == 6 ? 16 : 4;
    const uint32_t brightX = orientation == 6 ? 4 : 16, brightY = orientation == 6 ? 16 : 19;
    const double dark = px.At(darkX, darkY, 1), bright = px.At(brightX, brightY, 1);
    EXPECT_NEAR(bright / dark, 4.0, 0.2);  // linear: no tone curve
    for (int c : {0, 2}) {
      EXPECT_NEAR(px.At(darkX, darkY, c), dark, dark * 0.03) << c;  // neutral
      EXPECT_NEAR(px.At(brightX, brightY, c), bright, bright * 0.03) << c;
    }
    // A linear RGB profile: its tone curves are gamma 1.
    cmsHPROFILE profile = cmsOpenProfileFromMem(image.meta.iccProfile.data(), (cmsUInt32Number)image.meta.iccProfile.size());
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(cmsGetColorSpace(profile), cmsSigRgbData);
    const auto* red = static_cast<const cmsToneCurve*>(cmsReadTag(profile, cmsSigRedTRCTag));
    ASSERT_NE(red, nullptr);
    EXPECT_TRUE(cmsIsToneCurveLinear(red));
    cmsCloseProfile(profile);
  }
}

// Rendered in the primaries asked for (the correction's working space):
// straight from LibRaw (ProPhoto) or converted from its ProPhoto rendering
// (ColorMatch RGB, which LibRaw does not have), the colour is the sRGB
// rendering's colour taken into those primaries, neutrals stay neutral, and
// the carried profile is the linear profile of those primaries.
TEST(CameraRawTest, RendersInTheLinearPrimariesAskedFor) {
  const std::string path = ScratchFile("tint.dng");
  WriteBytes(path, MakeTestDng(32, 24, 10000, 30000, 1, 0, 14000));
  auto linearProfile = [](const RgbChromaticities& c) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(MakeRgbProfile(c, RgbTone::kLinear, "", bytes));
    return cmsOpenProfileFromMem(bytes.data(), (cmsUInt32Number)bytes.size());
  };
  auto at = [](const Pixels& px, uint32_t x, uint32_t y) {
    return std::array<double, 3>{px.At(x, y, 0), px.At(x, y, 1), px.At(x, y, 2)};
  };
  RasImage srgbImage;
  Pixels srgb;
  ASSERT_EQ(ReadThrough(path, srgbImage, srgb), kOk) << RasLastFailure();
  const std::array<double, 3> tint = at(srgb, 16, 4);
  ASSERT_GT(tint[0], tint[1] * 1.1);  // a colour, inside sRGB
  ASSERT_GT(tint[2], 1000.0);
  struct Case {
    const char* name;
    RgbChromaticities space;
  } cases[] = {
      {"ProPhoto RGB", RawSpaceChromaticities(4)},
      {"ColorMatch RGB", {{0.3457, 0.3585}, {0.630, 0.340}, {0.295, 0.605}, {0.150, 0.075}}},
  };
  cmsHPROFILE fromSrgb = linearProfile(RawSpaceChromaticities(1));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadOptions read;
    read.rawSpace = c.space;
    read.rawSpaceName = c.name;
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px, read), kOk) << RasLastFailure();
    cmsHPROFILE to = linearProfile(c.space);
    cmsHTRANSFORM xf = cmsCreateTransform(fromSrgb, TYPE_RGB_DBL, to, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_NE(xf, nullptr);
    double in[3], want[3];
    for (int k = 0; k < 3; ++k) in[k] = tint[k] / 65535.0;
    cmsDoTransform(xf, in, want, 1);
    cmsDeleteTransform(xf);
    const std::array<double, 3> got = at(px, 16, 4);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k] / 65535.0, want[k], 0.01 * want[k] + 0.002) << k;
    const std::array<double, 3> gray = at(px, 16, 19);
    for (int k : {0, 2}) EXPECT_NEAR(gray[k], gray[1], gray[1] * 0.03) << k;
    // The carried profile: linear, with these primaries' red colorant.
    cmsHPROFILE carried =
        cmsOpenProfileFromMem(image.meta.iccProfile.data(), (cmsUInt32Number)image.meta.iccProfile.size());
    ASSERT_NE(carried, nullptr);
    const auto* red = static_cast<const cmsCIEXYZ*>(cmsReadTag(carried, cmsSigRedColorantTag));
    const auto* expectRed = static_cast<const cmsCIEXYZ*>(cmsReadTag(to, cmsSigRedColorantTag));
    ASSERT_TRUE(red && expectRed);
    EXPECT_NEAR(red->X, expectRed->X, 1e-3);
    EXPECT_NEAR(red->Y, expectRed->Y, 1e-3);
    EXPECT_TRUE(cmsIsToneCurveLinear(static_cast<const cmsToneCurve*>(cmsReadTag(carried, cmsSigGreenTRCTag))));
    cmsCloseProfile(carried);
    cmsCloseProfile(to);
  }
  cmsCloseProfile(fromSrgb);
}

// Raw files are looked at before TIFF files: no plain TIFF is taken for one.
TEST(CameraRawTest, PlainTiffFilesStayTiff) {
  for (const char* name : {"rgb8_ii.tif", "rgb16_mm.tif", "lzw.tif", "tiles.tif", "bigtiff.tif", "cmyk.tif",
                           "float32.tif", "multipage.tif", "rgb8_icc.tif", "gray16.tif"}) {
    SCOPED_TRACE(name);
    RasImage image;
    ASSERT_EQ(RasQuery(Fixture(name), image), kOk) << RasLastFailure();
    EXPECT_TRUE(image.format == kRasTiff || image.format == kRasTiff16);
  }
}

TEST(CameraRawTest, ReadsARealCameraFileWhenInstalled) {
  const std::string cr2 = "/usr/share/doc/rawtran/IMG_5952.CR2";  // Debian's rawtran-doc
  if (FileBytes(cr2).empty()) GTEST_SKIP() << "rawtran-doc is not installed";
  RasImage image;
  ASSERT_EQ(RasQuery(cr2, image), kOk) << RasLastFailure();
  EXPECT_EQ(image.format, kRasCameraRaw);
  // The EOS 30D's sensor area as LibRaw renders it (its JPEGs are 3504 x 2336),
  // landscape: orientation "normal".
  EXPECT_EQ(image.width, 3522u);
  EXPECT_EQ(image.height, 2348u);
  ASSERT_EQ(RasOpenRead(cr2, image, {}), kOk) << RasLastFailure();
  EXPECT_EQ(image.width, 3522u);
  EXPECT_EQ(image.height, 2348u);
  RasScanline sl;
  ASSERT_EQ(RasReadSl(image, 1168, sl), kOk);
  uint32_t lit = 0;
  for (uint32_t x = 0; x < image.width; ++x) lit += sl.plane16[1][x] > 256;
  EXPECT_GT(lit, image.width / 2);
  EXPECT_EQ(RasClose(image), kOk);
}

TEST(CameraRawTest, RefusesDamagedFilesWithAReason) {
  std::vector<uint8_t> cut = MakeTestDng(32, 24, 10000, 40000, 1, 6);  // three quarters of the rows missing
  std::vector<uint8_t> huge = MakeTestDng(60000, 60000, 1, 1, 1, 1);   // 3.6 gigapixels stated
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status status;
  } cases[] = {
      {"mosaic cut short", cut, kReadErr},
      {"huge mosaic", huge, kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile("broken.dng");
    WriteBytes(path, c.bytes);
    RasImage image;
    Pixels px;
    EXPECT_EQ(ReadThrough(path, image, px), c.status);
    EXPECT_FALSE(RasLastFailure().empty());
  }
}

}  // namespace
