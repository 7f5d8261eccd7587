// PNG modules: peer files of every colour type read pixel for pixel, round
// trips with profile, EXIF and resolution, peers reading what we write, and
// damaged files refused with a reason.
#include <gtest/gtest.h>

#include <cstdlib>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

class PngTest : public ::testing::Test {
 protected:
};

TEST_F(PngTest, ReadsPeerFilesOfEveryColourType) {
  struct Case {
    const char* file;
    const char* source;  // PNM it was made from; null: ImageMagick's decode with `peer` options
    const char* peer;
    int32_t format, colorType;
    int tolerance;
  } cases[] = {
      {"rgb8.png", "src_rgb.ppm", nullptr, kRasPng, kRasRGB, 0},
      {"rgb16.png", "src_rgb16.ppm", nullptr, kRasPng16, kRasRGB, 0},
      {"gray8.png", "src_gray.pgm", nullptr, kRasPng, kRasGray, 0},
      {"interlaced.png", "src_rgb.ppm", nullptr, kRasPng, kRasRGB, 0},
      {"icc.png", "src_rgb.ppm", nullptr, kRasPng, kRasRGB, 0},
      {"pal.png", nullptr, "", kRasPng, kRasRGB, 0},
      {"gray2.png", nullptr, "-colorspace gray", kRasPng, kRasGray, 0},
      {"rgba.png", nullptr, "-background white -flatten -alpha off", kRasPng, kRasRGB, 1},
      {"rgba16.png", nullptr, "-background white -flatten -alpha off", kRasPng16, kRasRGB, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RasImage image;
    Pixels ours, want;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, c.colorType);
    if (c.source) {
      ASSERT_TRUE(ReadPam(Fixture(c.source), want));
    } else {
      if (!HavePeer("convert")) continue;
      ASSERT_TRUE(PeerDecode(Fixture(c.file), c.peer, c.format == kRasPng16 ? 16 : 8, want));
    }
    if (ours.channels == 1 && want.channels == 3) {  // the peer's gray as RGB
      for (size_t i = 0; i < want.samples.size() / 3; ++i) want.samples[i] = want.samples[3 * i];
      want.samples.resize(want.samples.size() / 3);
      want.channels = 1;
    }
    ASSERT_EQ(ours.channels, want.channels);
    ASSERT_EQ(ours.samples.size(), want.samples.size());
    EXPECT_LE(WorstDifference(ours, want), c.tolerance);
  }
}

TEST_F(PngTest, ReadsProfileExifAndResolution) {
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("icc.png"), image), kOk);
  EXPECT_EQ(image.meta.iccProfile.size(), 2576u);
  ASSERT_EQ(RasQuery(Fixture("exif.png"), image), kOk);
  EXPECT_GT(image.meta.exif.size(), 20u);
  EXPECT_NEAR(image.resolution, 300.0f, 0.1);
}

// Written files: our reader and ImageMagick get the pixels back; the profile,
// the EXIF data and the resolution survive.
TEST_F(PngTest, RoundTripsAndPeersReadWhatWeWrite) {
  const std::vector<uint8_t> profile = MakeProfile(false);
  for (int32_t format : {kRasPng, kRasPng16}) {
    for (int channels : {1, 3}) {
      SCOPED_TRACE(std::to_string(format) + "/" + std::to_string(channels));
      const Pixels px = MakePixels(29, 11, channels, format == kRasPng16 ? 65535 : 255, 3);
      RasImage exifSource;
      ASSERT_EQ(RasQuery(Fixture("exif.png"), exifSource), kOk);
      const size_t exifSize = exifSource.meta.exif.size();
      ImageMeta meta;
      meta.exif = exifSource.meta.exif;
      meta.iccProfile = profile;
      const std::string out = ScratchFile("out.png");
      ASSERT_EQ(WriteThrough(out, format, channels == 1 ? kRasGray : kRasRGB, px, 240.0f, {}, meta), kOk)
          << RasLastFailure();
      RasImage image;
      Pixels back;
      ASSERT_EQ(ReadThrough(out, image, back), kOk) << RasLastFailure();
      EXPECT_EQ(image.format, format);
      EXPECT_EQ(back.samples, px.samples);
      EXPECT_NEAR(image.resolution, 240.0f, 0.1);
      // The sRGB profile fits RGB images only: PNG refuses it for gray ones.
      EXPECT_EQ(image.meta.iccProfile.size(), channels == 3 ? profile.size() : 0u);
      EXPECT_EQ(image.meta.exif.size(), exifSize);
      if (HavePeer("exiftool")) {
        std::string make;
        ASSERT_EQ(RunCommand("exiftool -s3 -Make '" + out + "'", &make), 0);
        EXPECT_EQ(make, "Tavelin\n");
      }
      if (HavePeer("convert")) {
        Pixels peer;
        ASSERT_TRUE(PeerDecode(out, "", format == kRasPng16 ? 16 : 8, peer));
        for (size_t i = 0; i < px.samples.size(); ++i)  // a gray image may come back as RGB
          ASSERT_EQ(peer.samples[i * peer.channels / px.channels], px.samples[i]) << i;
      }
    }
  }
}

// A PNG signature and an IHDR chunk with its CRC, then an empty IDAT and IEND.
std::vector<uint8_t> HeaderOnlyPng(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                                   uint8_t interlace) {
  auto crc = [](const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
      c ^= p[i];
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return c ^ 0xFFFFFFFFu;
  };
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto be32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
  };
  auto chunk = [&](const char* type, const std::vector<uint8_t>& data) {
    be32((uint32_t)data.size());
    const size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    be32(crc(&out[at], out.size() - at));
  };
  std::vector<uint8_t> ihdr;
  for (uint32_t v : {width, height})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back((uint8_t)(v >> s));
  ihdr.insert(ihdr.end(), {depth, colourType, 0, 0, interlace});
  chunk("IHDR", ihdr);
  chunk("IDAT", {});
  chunk("IEND", {});
  return out;
}

TEST_F(PngTest, RefusesDamagedFilesWithAReason) {
  const std::vector<uint8_t> good = FileBytes(Fixture("rgb8.png"));
  auto cut = [](std::vector<uint8_t> b, size_t keep) {
    b.resize(keep);
    return b;
  };
  auto poke = [](std::vector<uint8_t> b, size_t at, uint8_t v) {
    b[at] = v;
    return b;
  };
  const std::vector<BrokenFile> cases = {
      {"signature only", cut(good, 8)},
      {"cut in the header", cut(good, 20)},
      {"cut in the image data", cut(good, good.size() / 2)},
      {"header CRC broken", poke(good, 29, (uint8_t)(good[29] ^ 0xFF))},
      // width 0x7FFFFFFF: beyond libpng's limits and ours, refused before anything is allocated
      {"huge width", poke(poke(good, 16, 0x7F), 17, 0xFF)},
      // 30000 x 30000 interlaced 16-bit RGBA (7.2 GB decoded) in a few bytes: refused, not allocated
      {"huge interlaced image", HeaderOnlyPng(30000, 30000, 16, 6, 1)},
  };
  ExpectEachRefusedWithAReason(cases, "broken.png");
}

}  // namespace
