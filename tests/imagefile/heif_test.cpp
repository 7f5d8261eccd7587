// HEIC and AVIF reading: files made by heif-enc read as heif-convert decodes
// them, 10-bit files as 16-bit, the colour information (ICC profile, nclx
// box), EXIF and XMP carried, the rotation applied, and damaged files refused
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

TEST(HeifTest, ReadsPeerFilesAsTheirOwnDecoderDoes) {
  struct Case {
    const char* file;
    const char* reference;  // heif-convert's decode (alpha over white), or the source
    int32_t format;
    int tolerance;
  } cases[] = {
      {"rgb8.heic", "rgb8.heic.pam", kRasHeif, 0},
      {"rgb8.avif", "rgb8.avif.pam", kRasHeif, 0},
      {"rot90.heic", "rot90.heic.pam", kRasHeif, 0},  // 40 x 24 turned: 24 x 40
      {"alpha.avif", "alpha.avif.pam", kRasHeif, 1},   // ImageMagick's composite rounds on its own
      {"rgb10.heic", "rgb10.heic.pam", kRasHeif16, 64},  // 10 bits scaled to 16: ours rounds, the peer shifts
      {"lossless.avif", "src_wide.ppm", kRasHeif, 3},  // lossless YCbCr: the colour matrix's rounding
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " / " + c.reference);
    RasImage image;
    Pixels ours, want;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, kRasRGB);
    EXPECT_EQ(image.maxValue, c.format == kRasHeif16 ? 65535 : 255);
    ASSERT_TRUE(ReadPam(Fixture(c.reference), want));
    ASSERT_EQ(ours.width, want.width);
    ASSERT_EQ(ours.height, want.height);
    EXPECT_LE(WorstDifference(ours, want), c.tolerance);
  }
}

// The pure green of a profile, in sRGB (unbounded floating point).
void GreenInSrgb(const std::vector<uint8_t>& profile, double out[3]) {
  cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), (cmsUInt32Number)profile.size());
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  ASSERT_NE(in, nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_RGB_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  ASSERT_NE(t, nullptr);
  const double green[3] = {0, 1, 0};
  cmsDoTransform(t, green, out, 1);
  cmsDeleteTransform(t);
  cmsCloseProfile(in);
  cmsCloseProfile(srgb);
}

TEST(HeifTest, CarriesColourInformationExifAndXmp) {
  RasImage tiff, image;
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), tiff), kOk);
  ASSERT_EQ(RasQuery(Fixture("icc.heic"), image), kOk) << RasLastFailure();
  EXPECT_EQ(image.meta.iccProfile, tiff.meta.iccProfile);

  // An nclx box of sRGB needs no profile; BT.2020 primaries become one whose
  // green lies far outside sRGB.
  ASSERT_EQ(RasQuery(Fixture("rgb8.avif"), image), kOk);
  EXPECT_TRUE(image.meta.iccProfile.empty());
  ASSERT_EQ(RasQuery(Fixture("bt2020.avif"), image), kOk) << RasLastFailure();
  ASSERT_FALSE(image.meta.iccProfile.empty());
  double green[3];
  GreenInSrgb(image.meta.iccProfile, green);
  EXPECT_LT(green[0], -0.2);
  EXPECT_GT(green[1], 1.0);

  ASSERT_EQ(RasQuery(Fixture("exif.heic"), image), kOk) << RasLastFailure();
  ASSERT_GT(image.meta.exif.size(), 8u);
  const std::string exif(image.meta.exif.begin(), image.meta.exif.end());
  EXPECT_TRUE(exif.rfind("MM", 0) == 0 || exif.rfind("II", 0) == 0);  // the TIFF header first
  EXPECT_NE(exif.find("Tavelin"), std::string::npos);
  EXPECT_NE(std::string(image.meta.xmp.begin(), image.meta.xmp.end()).find("Harbour"), std::string::npos);
}

TEST(HeifTest, RefusesDamagedFilesWithAReason) {
  const std::vector<uint8_t> good = FileBytes(Fixture("rgb8.avif"));
  auto cut = [](std::vector<uint8_t> b, size_t keep) {
    b.resize(keep);
    return b;
  };
  // The image size box stating 2^30 x 2^30 pixels.
  auto huge = [](std::vector<uint8_t> b) {
    const std::string all(b.begin(), b.end());
    const size_t at = all.find("ispe") + 8;  // after the version and flags
    for (size_t k = 0; k < 8; ++k) b[at + k] = k % 4 == 0 ? 0x40 : 0;
    return b;
  };
  // A brand of another ISO file type: not taken for HEIF at all.
  auto mp4 = [](std::vector<uint8_t> b) {
    for (size_t at = 8; at + 4 <= 28; at += 4) std::memcpy(&b[at], "isom", 4);
    return b;
  };
  const std::vector<BrokenFile> cases = {
      {"file type box only", cut(good, 32)},
      {"cut in the boxes", cut(good, good.size() / 3)},
      {"cut in the image data", cut(good, good.size() - 60)},
      {"huge image size", huge(good)},
      {"no HEIF brand", mp4(good)},
  };
  ExpectEachRefusedWithAReason(cases, "broken.avif");
}

}  // namespace
