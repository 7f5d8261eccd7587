// BMP and Targa modules: peer files, round trips read back by the peer, the
// written layout, refusals and hostile headers.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/bmp.h"
#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "imagefile/targa.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

TEST(BmpTargaTest, ReadsPeerFilesPixelForPixel) {
  struct Case {
    const char* file;
    const char* source;  // null: the peer's decode
    const char* peerOptions;
    int32_t format, colorType;
  } cases[] = {
      {"bmp24.bmp", "src_rgb.ppm", "", kRasBmp, kRasRGB},
      {"bmp24_topdown.bmp", "src_rgb.ppm", "", kRasBmp, kRasRGB},
      {"bmp8_gray.bmp", nullptr, "-colorspace gray", kRasBmp, kRasGray},
      {"bmp8_pal.bmp", nullptr, "", kRasBmp, kRasRGB},
      // The peer stores its top row first in files it marks bottom-up, and tags
      // the orientation instead of flipping when it reads: -auto-orient applies it.
      {"tga24.tga", nullptr, "-auto-orient", kRasTarga, kRasRGB},
      {"tga24_topdown.tga", "src_rgb.ppm", "", kRasTarga, kRasRGB},
      {"tga32.tga", nullptr, "-auto-orient -alpha off", kRasTarga, kRasRGB},
      {"tga8.tga", nullptr, "-auto-orient", kRasTarga, kRasGray},
      {"tga_map.tga", nullptr, "-auto-orient", kRasTarga, kRasRGB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RasImage image;
    Pixels ours;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, c.colorType);
    Pixels want;
    if (c.source) {
      ASSERT_TRUE(ReadPam(Fixture(c.source), want));
    } else {
      if (!HavePeer("convert")) continue;
      ASSERT_TRUE(PeerDecode(Fixture(c.file), c.peerOptions, 8, want));
    }
    ASSERT_EQ(ours.channels, want.channels);
    EXPECT_EQ(ours.samples, want.samples);
  }
}

// Targa 16-bit pixels and 16-bit colour-map entries: red in bits 10-14, each
// 5-bit field spread as 0, 8, 16, 25, 33, ..., 247, 255.
TEST(BmpTargaTest, ReadsFiveBitFields) {
  const uint8_t expect[32] = {0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,  90,  99,  107, 115, 123,
                              132, 140, 148, 156, 165, 173, 181, 189, 197, 206, 214, 222, 230, 239, 247, 255};
  for (bool mapped : {false, true}) {
    std::vector<uint8_t> f(18, 0);
    f[2] = mapped ? 1 : 2;
    StoreLE16(&f[12], 32);
    StoreLE16(&f[14], 1);
    f[16] = mapped ? 8 : 16;
    if (mapped) {
      f[1] = 1;
      StoreLE16(&f[5], 32);
      f[7] = 16;
    }
    for (int v = 0; v < 32; ++v) {  // red v, green 31 - v, blue v / 2
      const uint16_t p = (uint16_t)((v << 10) | ((31 - v) << 5) | (v / 2));
      f.push_back((uint8_t)p);
      f.push_back((uint8_t)(p >> 8));
    }
    if (mapped)
      for (int v = 0; v < 32; ++v) f.push_back((uint8_t)v);  // the indexes
    const std::string path = ScratchFile("five.tga");
    WriteBytes(path, f);
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px), kOk) << RasLastFailure();
    for (int v = 0; v < 32; ++v) {
      EXPECT_EQ(px.At(v, 0, 0), expect[v]) << v;
      EXPECT_EQ(px.At(v, 0, 1), expect[31 - v]) << v;
      EXPECT_EQ(px.At(v, 0, 2), expect[v / 2]) << v;
    }
  }
}

TEST(BmpTargaTest, RoundTripsAndPeersReadWhatWeWrite) {
  struct Case {
    int32_t format, colorType;
    int channels;
  } cases[] = {{kRasBmp, kRasRGB, 3}, {kRasBmp, kRasGray, 1}, {kRasTarga, kRasRGB, 3}, {kRasTarga, kRasGray, 1},
               {kRasTarga, kRasPhotoCDColor, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.format << "/" << c.colorType);
    const Pixels px = MakePixels(13, 5, c.channels, 255, 4);
    const std::string path = ScratchFile(c.format == kRasBmp ? "round.bmp" : "round.tga");
    ASSERT_EQ(WriteThrough(path, c.format, c.colorType, px, 150), kOk) << RasLastFailure();
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk);
    EXPECT_EQ(back.samples, px.samples);
    EXPECT_EQ(image.colorType, c.colorType == kRasPhotoCDColor ? kRasRGB : c.colorType);
    if (c.format == kRasBmp) {
      EXPECT_NEAR(image.resolution, 150, 0.02);  // whole pixels per metre
    } else {
      EXPECT_EQ(image.resolution, -1.0f);
    }
    if (!HavePeer("convert")) continue;
    Pixels peer;
    // The peer reads bottom-up Targa rows without flipping them; it tags the orientation.
    ASSERT_TRUE(PeerDecode(path, std::string(c.colorType == kRasGray ? "-colorspace gray " : "") +
                                     (c.format == kRasTarga ? "-auto-orient" : ""), 8, peer));
    EXPECT_EQ(peer.samples, px.samples);
  }
}

TEST(BmpTargaTest, WritesTheBmpLayout) {
  const std::string path = ScratchFile("layout.bmp");
  ASSERT_EQ(WriteThrough(path, kRasBmp, kRasRGB, MakePixels(3, 2, 3, 255), 300), kOk);
  std::vector<uint8_t> f = FileBytes(path);
  ASSERT_EQ(f.size(), 54u + 2 * 12);  // 3-pixel rows take 12 bytes
  EXPECT_EQ(LoadLE32(&f[2]), f.size());
  EXPECT_EQ(LoadLE32(&f[10]), 54u);
  EXPECT_EQ(LoadLE32(&f[38]), 11811u);  // 300 dots per inch
  EXPECT_EQ(LoadLE32(&f[42]), 11811u);
  for (int row = 0; row < 2; ++row)
    for (int k = 9; k < 12; ++k) EXPECT_EQ(f[54 + 12 * row + k], 0) << "padding";
  ASSERT_EQ(WriteThrough(path, kRasBmp, kRasGray, MakePixels(3, 2, 1, 255), -1), kOk);
  f = FileBytes(path);
  EXPECT_EQ(LoadLE32(&f[10]), 1078u);
  EXPECT_EQ(LoadLE16(&f[28]), 8u);
  EXPECT_EQ(f[54 + 4 * 200], 200);  // gray palette entry 200
  EXPECT_EQ(LoadLE32(&f[38]), 11811u);  // no resolution: 300
  // A gray palette that is the identity ramp reads back as one channel.
  RasImage image;
  ASSERT_EQ(RasQuery(path, image), kOk);
  EXPECT_EQ(image.channels, 1);
}

TEST(BmpTargaTest, RefusesWhatItCannotWrite) {
  RasImage image;
  ASSERT_EQ(rasInit(image, kRasBmp, 4, 4, 4, kRasCMYK, 300), kOk);
  EXPECT_EQ(RasOpen(ScratchFile("cmyk.bmp"), 'w', image), kBadArg);
  EXPECT_FALSE(FileExists(ScratchFile("cmyk.bmp")));
  ASSERT_EQ(rasInit(image, kRasTarga, 4, 4, 3, kRasLab, 300), kOk);
  EXPECT_EQ(RasOpen(ScratchFile("lab.tga"), 'w', image), kBadArg);
  ASSERT_EQ(rasInit(image, kRasBmp, 4, 4, 1, kRasRGB, 300), kOk);
  EXPECT_EQ(RasOpen(ScratchFile("bad.bmp"), 'w', image), kBadArg);
}

// Targa has no signature: a file is Targa only by its name and a header
// whose every field fits. A profile whose first bytes read as a run-length
// Targa type is no image at all, not an unsupported Targa file.
TEST(BmpTargaTest, TargaIsKnownByItsNameAndAConsistentHeader) {
  std::vector<uint8_t> profile = MakeProfile(false);
  StoreBE32(&profile[0], 0x00000A44);  // byte 2: type 10, run-length true colour
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status status;
  } cases[] = {
      {"plain.tga", FileBytes(Fixture("tga24.tga")), kOk},
      {"PLAIN.TGA", FileBytes(Fixture("tga24.tga")), kOk},
      {"no_extension", FileBytes(Fixture("tga24.tga")), kFormatErr},
      {"rle.tga", FileBytes(Fixture("tga_rle.tga")), kUnsupported},
      {"prophoto_v2.icm", profile, kFormatErr},
      {"prophoto_v2.tga", profile, kFormatErr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile(c.name);
    WriteBytes(path, c.bytes);
    RasImage image;
    EXPECT_EQ(RasQuery(path, image), c.status) << RasLastFailure();
    if (c.status == kOk) { EXPECT_EQ(image.format, kRasTarga); }
    if (c.status == kFormatErr) { EXPECT_EQ(RasLastFailure().find("Targa"), std::string::npos) << RasLastFailure(); }
  }
}

// Refusals and hostile headers: a status and a reason, no allocation for a
// claimed size the file does not hold.
TEST(BmpTargaTest, RefusesUnsupportedAndHostileFiles) {
  const std::vector<uint8_t> bmp = FileBytes(Fixture("bmp24.bmp"));
  const std::vector<uint8_t> tga = FileBytes(Fixture("tga24.tga"));
  auto patched = [](std::vector<uint8_t> f, size_t at, uint32_t v, int bytes) {
    if (bytes == 4) StoreLE32(&f[at], v);
    else if (bytes == 2) StoreLE16(&f[at], (uint16_t)v);
    else f[at] = (uint8_t)v;
    return f;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status status;
  } cases[] = {
      {"OS/2 BMP", FileBytes(Fixture("bmp_os2.bmp")), kFormatErr},
      {"run-length BMP", FileBytes(Fixture("bmp8_rle.bmp")), kUnsupported},
      {"run-length Targa", FileBytes(Fixture("tga_rle.tga")), kUnsupported},
      {"BMP 100000 x 100000", patched(patched(bmp, 18, 100000, 4), 22, 100000, 4), kFormatErr},
      {"BMP data offset past the end", patched(bmp, 10, 0x7FFFFFF0, 4), kFormatErr},
      {"BMP info header larger than the file", patched(bmp, 14, 0x40000000, 4), kFormatErr},
      {"BMP 16-bit", patched(bmp, 28, 16, 2), kUnsupported},
      {"BMP two planes", patched(bmp, 26, 2, 2), kFormatErr},
      {"Targa 65535 x 65535", patched(patched(tga, 12, 65535, 2), 14, 65535, 2), kFormatErr},
      {"Targa colour map past the end", patched(patched(patched(tga, 1, 1, 1), 5, 65535, 2), 7, 32, 1), kFormatErr},
      {"Targa right-to-left", patched(tga, 17, 0x10, 1), kUnsupported},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile("hostile.tga");
    WriteBytes(path, c.bytes);
    RasImage image;
    EXPECT_EQ(RasQuery(path, image), c.status) << RasLastFailure();
    EXPECT_FALSE(RasLastFailure().empty());
  }
  TargaHeader h;
  h.imageType = 2;
  h.pixelDepth = 24;
  EXPECT_EQ(TargaCheckTRH(h), kOk);
  h.pixelDepth = 12;
  EXPECT_EQ(TargaCheckTRH(h), kFormatErr);
  h.imageType = 10;
  EXPECT_EQ(TargaCheckTRH(h), kUnsupported);
}

}  // namespace
