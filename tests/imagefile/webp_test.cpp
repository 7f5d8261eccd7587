// WebP module: files made by cwebp/img2webp read like dwebp decodes them,
// the metadata chunks read, round trips lossless and lossy with the metadata
// written back, and damaged files refused with a reason.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

// dwebp's RGBA decode composited over white, as the reader does.
Pixels OverWhite(const Pixels& rgba) {
  Pixels out = rgba;
  out.channels = 3;
  out.samples.clear();
  for (size_t i = 0; i < rgba.samples.size(); i += 4) {
    const uint32_t a = rgba.samples[i + 3];
    for (int c = 0; c < 3; ++c) out.samples.push_back((uint16_t)((rgba.samples[i + c] * a + 127) / 255 + 255 - a));
  }
  return out;
}

TEST(WebpTest, ReadsPeerFilesAsTheirOwnDecoderDoes) {
  struct Case {
    const char* file;
    const char* reference;  // the PPM it was made from, or dwebp's PAM
    int tolerance;
  } cases[] = {
      {"lossless.webp", "src_rgb.ppm", 0},
      {"lossless.webp", "lossless.webp.pam", 0},
      {"lossy.webp", "lossy.webp.pam", 0},
      {"alpha.webp", "alpha.webp.pam", 0},
      {"icc.webp", "src_rgb.ppm", 0},
      {"anim.webp", "src_rgb.ppm", 0},  // the first of its two frames
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " / " + c.reference);
    RasImage image;
    Pixels ours, want;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasWebp);
    EXPECT_EQ(image.colorType, kRasRGB);
    ASSERT_TRUE(ReadPam(Fixture(c.reference), want));
    if (want.channels == 4) want = OverWhite(want);
    ASSERT_EQ(ours.samples.size(), want.samples.size());
    EXPECT_LE(WorstDifference(ours, want), c.tolerance);
  }
}

TEST(WebpTest, ReadsProfileExifAndXmpChunks) {
  RasImage tiff, image;
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), tiff), kOk);
  ASSERT_EQ(RasQuery(Fixture("icc.webp"), image), kOk) << RasLastFailure();
  EXPECT_EQ(image.meta.iccProfile, tiff.meta.iccProfile);
  ASSERT_EQ(RasQuery(Fixture("exif.webp"), image), kOk) << RasLastFailure();
  ASSERT_GT(image.meta.exif.size(), 20u);
  EXPECT_EQ(std::string(image.meta.exif.begin(), image.meta.exif.begin() + 2), "MM");  // no "Exif\0\0"
  EXPECT_NE(std::string(image.meta.xmp.begin(), image.meta.xmp.end()).find("Harbour"), std::string::npos);
}

// Quality 100 is lossless and 0..99 lossy; the metadata chunks are written
// back and peers read what we write.
TEST(WebpTest, RoundTripsLosslessAndLossyWithMetadata) {
  RasImage source;
  ASSERT_EQ(RasQuery(Fixture("exif.webp"), source), kOk);
  ImageMeta meta = source.meta;
  meta.iccProfile = MakeProfile(false);
  const Pixels px = MakePixels(37, 19, 3, 255, 5);
  size_t sizes[3] = {};
  const int qualities[] = {100, 90, 10};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(qualities[k]);
    WriteOptions options;
    options.quality = qualities[k];
    const std::string out = ScratchFile("out.webp");
    ASSERT_EQ(WriteThrough(out, kRasWebp, kRasRGB, px, 300.0f, options, meta), kOk) << RasLastFailure();
    sizes[k] = FileBytes(out).size();
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(out, image, back), kOk) << RasLastFailure();
    if (qualities[k] == 100) EXPECT_EQ(back.samples, px.samples);
    else EXPECT_LT(WorstDifference(back, px), 255);
    EXPECT_EQ(image.meta.iccProfile, meta.iccProfile);
    EXPECT_EQ(image.meta.exif, meta.exif);
    EXPECT_EQ(image.meta.xmp, meta.xmp);
    if (HavePeer("exiftool")) {
      std::string make;
      ASSERT_EQ(RunCommand("exiftool -s3 -Make '" + out + "'", &make), 0);
      EXPECT_EQ(make, "Tavelin\n");
    }
    if (HavePeer("dwebp")) {
      Pixels peer;
      ASSERT_EQ(RunCommand("dwebp -quiet -pam '" + out + "' -o '" + out + ".pam'"), 0);
      ASSERT_TRUE(ReadPam(out + ".pam", peer));
      EXPECT_EQ(WorstDifference(OverWhite(peer), back), 0);
    }
  }
  EXPECT_GT(sizes[1], sizes[2]);  // the quality reaches the encoder

  // Gray is written as RGB, without a profile of another colour space.
  const Pixels gray = MakePixels(9, 4, 1, 255, 2);
  const std::string out = ScratchFile("gray.webp");
  WriteOptions lossless;
  lossless.quality = 100;
  ImageMeta grayMeta;
  grayMeta.iccProfile = MakeProfile(false);
  std::memcpy(grayMeta.iccProfile.data() + 16, "GRAY", 4);
  ASSERT_EQ(WriteThrough(out, kRasWebp, kRasGray, gray, -1, lossless, grayMeta), kOk) << RasLastFailure();
  RasImage image;
  Pixels back;
  ASSERT_EQ(ReadThrough(out, image, back), kOk);
  ASSERT_EQ(back.channels, 3);
  EXPECT_TRUE(image.meta.iccProfile.empty());
  for (size_t i = 0; i < gray.samples.size(); ++i) ASSERT_EQ(back.samples[3 * i + 1], gray.samples[i]) << i;

  // Closed before its last row: no file.
  RasImage partial;
  ASSERT_EQ(rasInit(partial, kRasWebp, 4, 3, 3, kRasRGB, -1), kOk);
  const std::string cut = ScratchFile("cut.webp");
  ASSERT_EQ(RasCreate(cut, partial, {}), kOk);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, partial), kOk);
  ASSERT_EQ(RasWriteSl(partial, 0, sl), kOk);
  EXPECT_EQ(RasClose(partial), kWriteErr);
  EXPECT_TRUE(FileBytes(cut).empty());

  RasImage tooWide;
  ASSERT_EQ(rasInit(tooWide, kRasWebp, 16384, 2, 3, kRasRGB, -1), kOk);
  EXPECT_EQ(RasCreate(ScratchFile("wide.webp"), tooWide, {}), kUnsupported);
  EXPECT_NE(RasLastFailure().find("16383"), std::string::npos);
}

TEST(WebpTest, RefusesDamagedFilesWithAReason) {
  const std::vector<uint8_t> good = FileBytes(Fixture("lossless.webp"));
  const std::vector<uint8_t> anim = FileBytes(Fixture("anim.webp"));
  auto cut = [](std::vector<uint8_t> b, size_t keep) {
    b.resize(keep);
    return b;
  };
  auto poke = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
  };
  // A VP8X header stating a 16383 x 16383 canvas with no image after it.
  std::vector<uint8_t> huge = {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X', 10, 0, 0, 0,
                               0,   0,   0,   0,   0xFE, 0x3F, 0, 0xFE, 0x3F, 0};
  const std::vector<BrokenFile> cases = {
      {"signature only", cut(good, 12)},
      {"cut in the image data", cut(good, good.size() / 2)},
      {"chunk size past the end", poke(good, 16, 0xF0)},
      {"image data scrambled", poke(poke(poke(good, 24, 0xFF), 25, 0xFF), 30, 0x00)},
      {"huge canvas and no image", huge},
      {"animation cut in its second frame", cut(anim, anim.size() - 40)},
  };
  ExpectEachRefusedWithAReason(cases, "broken.webp");
}

}  // namespace
