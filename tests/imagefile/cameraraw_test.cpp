// Camera raw reading through LibRaw: a small hand-built DNG renders as
// linear neutral RGB with its orientation applied and its profile carried;
// plain TIFF files are not taken for raw files; a real camera's CR2 (Debian's
// rawtran-doc, when installed) reads at its size; damaged files are refused
// with a reason.
#include <gtest/gtest.h>

#include <lcms2.h>

#include <cstring>
#include <string>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

std::vector<uint8_t> Ascii(const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s) + 1); }

// A DNG of one 16-bit RGGB mosaic whose camera is linear sRGB (its colour
// matrix is sRGB's XYZ-to-RGB matrix, its neutral 1, 1, 1): the top half
// holds `top` in every photosite, the bottom half `bottom`.
std::vector<uint8_t> MakeDng(uint32_t width, uint32_t height, uint16_t top, uint16_t bottom, uint16_t orientation,
                             uint32_t dataRows = 0) {
  std::vector<uint8_t> data;
  const uint32_t rows = dataRows ? dataRows : height;
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const uint16_t v = y < height / 2 ? top : bottom;
      data.push_back((uint8_t)v);
      data.push_back((uint8_t)(v >> 8));
    }
  const int32_t matrix[9] = {32406, -15372, -4986, -9689, 18758, 415, 557, -2040, 10570};
  std::vector<uint32_t> srational;
  for (int32_t m : matrix) srational.insert(srational.end(), {(uint32_t)m, 10000u});
  std::vector<TiffEntry> e = {
      {254, 4, {0}},
      {256, 4, {width}},
      {257, 4, {height}},
      {258, 3, {16}},
      {259, 3, {1}},
      {262, 3, {32803}},  // colour filter array
      {271, 2, {}, Ascii("Tavelin")},
      {272, 2, {}, Ascii("Test")},
      {273, 4, {8}},
      {274, 3, {orientation}},
      {277, 3, {1}},
      {278, 4, {height}},
      {279, 4, {width * height * 2}},
      {284, 3, {1}},
      {33421, 3, {2, 2}},
      {33422, 1, {}, {0, 1, 1, 2}},  // R G / G B
      {50706, 1, {}, {1, 4, 0, 0}},  // DNG 1.4
      {50708, 2, {}, Ascii("Tavelin Test")},
      {50717, 4, {65535}},
      {50721, 10, srational, {}, 9},
      {50728, 5, {1, 1, 1, 1, 1, 1}},
      {50778, 3, {21}},  // D65
  };
  return BuildTiff(false, data, e);
}

// The linear data, the neutral rendering, the orientation and the profile.
TEST(CameraRawTest, RendersADngAsLinearNeutralRgbTurnedUpright) {
  for (uint16_t orientation : {1, 6}) {
    SCOPED_TRACE(orientation);
    const std::string path = ScratchFile("test.dng");
    WriteBytes(path, MakeDng(32, 24, 10000, 40000, orientation));
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasCameraRaw);
    EXPECT_EQ(image.maxValue, 65535);
    ASSERT_EQ(px.width, orientation == 6 ? 24u : 32u);
    ASSERT_EQ(px.height, orientation == 6 ? 32u : 24u);
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
  std::vector<uint8_t> cut = MakeDng(32, 24, 10000, 40000, 1, 6);  // three quarters of the rows missing
  std::vector<uint8_t> huge = MakeDng(60000, 60000, 1, 1, 1, 1);   // 3.6 gigapixels stated
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
