// TIFF modules: peer files read pixel for pixel, round trips, the fixed
// writing layout, peers reading what we write, refusals and hostile files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "imagefile/tiff.h"
#include "base/bytes.h"
#include "base/memory.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

Pixels Source(const std::string& name) {
  Pixels px;
  EXPECT_TRUE(ReadPam(Fixture(name), px)) << name;
  return px;
}

class TiffTest : public ::testing::Test {};

WriteOptions Layout(int32_t planar, int32_t order) {
  WriteOptions options;
  options.planar = planar;
  options.byteOrder = order;
  return options;
}

ImageMeta WithProfile(const std::vector<uint8_t>& profile) {
  ImageMeta meta;
  meta.iccProfile = profile;
  return meta;
}

// Peer files against the pixels they were made from (lossless), or against
// ImageMagick's own decode where the peer changed the pixels (CMYK, palettes).
TEST_F(TiffTest, ReadsPeerFilesPixelForPixel) {
  struct Case {
    const char* file;
    const char* source;  // PNM the file was made from; null: compare with the peer's decode
    int32_t format, colorType;
  } cases[] = {
      {"rgb8_ii.tif", "src_rgb.ppm", kRasTiff, kRasRGB},
      {"rgb8_mm.tif", "src_rgb.ppm", kRasTiff, kRasRGB},
      {"rgb8_strips.tif", "src_rgb.ppm", kRasTiff, kRasRGB},
      {"rgb8_icc.tif", "src_rgb.ppm", kRasTiff, kRasRGB},
      {"planar.tif", "src_rgb.ppm", kRasTiff, kRasRGB},
      {"tiles.tif", "src_w16.ppm", kRasTiff, kRasRGB},
      {"gray_minblack.tif", "src_gray.pgm", kRasTiff, kRasGray},
      {"gray_minwhite.tif", "src_gray.pgm", kRasTiff, kRasGray},
      {"pal_gray.tif", nullptr, kRasTiff, kRasGray},
      {"pal_rgb.tif", nullptr, kRasTiff, kRasRGB},
      {"cmyk.tif", nullptr, kRasTiff, kRasCMYK},
      {"rgb16_ii.tif", "src_rgb16.ppm", kRasTiff16, kRasRGB},
      {"rgb16_mm.tif", "src_rgb16.ppm", kRasTiff16, kRasRGB},
      {"gray16.tif", nullptr, kRasTiff16, kRasGray},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RasImage image;
    Pixels ours;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, c.colorType);
    EXPECT_FLOAT_EQ(image.resolution, 300.0f);  // the peers' default 300/1 (or none: the module's default)
    Pixels want;
    if (c.source) {
      want = Source(c.source);
    } else {
      if (!HavePeer("convert")) continue;
      const std::string opts = c.colorType == kRasGray ? "-colorspace gray" : "";
      ASSERT_TRUE(PeerDecode(Fixture(c.file), opts, c.format == kRasTiff16 ? 16 : 8, want));
    }
    if (want.channels == 3 && ours.channels == 1) continue;  // not expected
    ASSERT_EQ(ours.channels, want.channels);
    EXPECT_EQ(ours.samples, want.samples);
  }
}

// Lab: L in 0..255 and a, b in offset-128 form, against the peer's CIELab values.
TEST_F(TiffTest, ReadsPeerLabAsOffsetForm) {
  if (!HavePeer("convert")) GTEST_SKIP() << "ImageMagick missing";
  RasImage image;
  Pixels ours;
  ASSERT_EQ(ReadThrough(Fixture("lab.tif"), image, ours), kOk);
  ASSERT_EQ(image.colorType, kRasLab);
  std::string text;
  ASSERT_EQ(RunCommand("convert '" + Fixture("lab.tif") + "' txt:-", &text), 0);
  int checked = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    unsigned x, y;
    double L, a, b;
    const size_t at = line.find("cielab(");
    if (at == std::string::npos || std::sscanf(line.c_str(), "%u,%u:", &x, &y) != 2) continue;
    ASSERT_EQ(std::sscanf(line.c_str() + at, "cielab(%lf,%lf,%lf)", &L, &a, &b), 3) << line;
    EXPECT_EQ(ours.At(x, y, 0), (int)std::lround(L * 255 / 100)) << line;
    // The peer spreads signed values over its own range, off by up to one below zero.
    EXPECT_NEAR(ours.At(x, y, 1), a + 128, 1.0) << line;
    EXPECT_NEAR(ours.At(x, y, 2), b + 128, 1.0) << line;
    ++checked;
  }
  EXPECT_EQ(checked, 13 * 7);
}

TEST_F(TiffTest, ReadsEmbeddedProfileIntoTheImagesMetadata) {
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), image), kOk);
  const std::vector<uint8_t>& profile = image.meta.iccProfile;
  ASSERT_EQ(profile.size(), 2576u);
  EXPECT_EQ(LoadBE32(profile.data()), 2576u);
  EXPECT_EQ(std::memcmp(profile.data() + 36, "acsp", 4), 0);
  EXPECT_EQ(image.meta.resolutionUnit, ResolutionUnit::kInch);
}

// Hand-built files for what the peers do not write: SHORT strip offsets in an
// MM file (two strips, values inline), whole-width tiles as strips, bits per
// sample given once for three samples.
TEST_F(TiffTest, ReadsShortStripOffsetsInMotorolaOrder) {
  const Pixels px = MakePixels(5, 4, 3, 255);
  std::vector<uint8_t> data(px.samples.begin(), px.samples.end());
  auto entries = PlainTiffEntries(5, 4, 3);
  for (auto& e : entries) {
    if (e.tag == 273) e = {273, 3, {8, 8 + 30}};
    if (e.tag == 278) e = {278, 4, {2}};
    if (e.tag == 279) e = {279, 3, {30, 30}};
    if (e.tag == 258) e = {258, 3, {8}};
  }
  const std::string path = ScratchFile("short_offsets.tif");
  WriteBytes(path, BuildTiff(true, data, entries));
  RasImage image;
  Pixels ours;
  ASSERT_EQ(ReadThrough(path, image, ours), kOk) << RasLastFailure();
  EXPECT_EQ(ours.samples, px.samples);
}

// Every writable combination comes back unchanged, with its resolution and profile.
TEST_F(TiffTest, RoundTripsEveryLayout) {
  const std::vector<uint8_t> profile = MakeProfile(false);
  struct Case {
    int32_t format, colorType;
    int channels;
    int32_t planar, order;
    uint32_t width, height;
  } cases[] = {
      {kRasTiff, kRasRGB, 3, 1, 0x4949, 37, 11},     {kRasTiff, kRasRGB, 3, 2, 0x4D4D, 37, 11},
      {kRasTiff, kRasGray, 1, 1, 0x4D4D, 3001, 21},  {kRasTiff, kRasCMYK, 4, 2, 0x4949, 9, 5},
      {kRasTiff, kRasLab, 3, 1, 0x4949, 9, 5},       {kRasTiff, kRasLab, 3, 2, 0x4D4D, 9, 5},
      {kRasTiff, kRasPhotoCDColor, 3, 1, 0x4949, 9, 5},
      {kRasTiff16, kRasRGB, 3, 1, 0x4949, 17, 9},    {kRasTiff16, kRasRGB, 3, 2, 0x4D4D, 17, 9},
      {kRasTiff16, kRasGray, 1, 1, 0x4D4D, 17, 9},   {kRasTiff16, kRasCMYK, 4, 1, 0x4949, 17, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " type " << c.colorType << " planar " << c.planar
                                    << " order " << std::hex << c.order);
    const Pixels px = MakePixels(c.width, c.height, c.channels, c.format == kRasTiff16 ? 65535 : 255, c.width);
    const std::string path = ScratchFile("round.tif");
    ASSERT_EQ(WriteThrough(path, c.format, c.colorType, px, 72.5f, Layout(c.planar, c.order), WithProfile(profile)), kOk)
        << RasLastFailure();
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, c.colorType == kRasPhotoCDColor ? kRasRGB : c.colorType);
    EXPECT_FLOAT_EQ(image.resolution, 72.5f);
    EXPECT_EQ(back.samples, px.samples);
    EXPECT_EQ(image.meta.iccProfile, profile);
    // libtiff reads the same file without a complaint.
    if (HavePeer("tiffinfo")) {
      std::string out;
      EXPECT_EQ(RunCommand("tiffinfo -D '" + path + "' 2>&1", &out), 0) << out;
      EXPECT_EQ(out.find("rror"), std::string::npos) << out;
      EXPECT_EQ(out.find("arning"), std::string::npos) << out;
    }
  }
}

// The layout rules: strip sizes by width, single strips inline, the default
// resolution, the entry count.
TEST_F(TiffTest, WritesTheFixedLayout) {
  struct Case {
    uint32_t width, height;
    int channels;
    float resolution;
    uint32_t rowsPerStrip, entries;
  } cases[] = {
      {3000, 4, 3, -1, 3, 14},   // 30000 ÷ 9000
      {12000, 2, 3, 0, 1, 14},   // below one row: 1
      {10, 10, 1, 300, 10, 13},  // one strip, gray: no planar entry
      {10, 10, 4, 300, 10, 15},  // CMYK adds the ink set
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const Pixels px = MakePixels(c.width, c.height, c.channels, 255);
    const std::string path = ScratchFile("layout.tif");
    const int32_t ct = c.channels == 1 ? kRasGray : c.channels == 4 ? kRasCMYK : kRasRGB;
    ASSERT_EQ(WriteThrough(path, kRasTiff, ct, px, c.resolution), kOk);
    const std::vector<uint8_t> f = FileBytes(path);
    ASSERT_EQ(LoadLE32(&f[4]), 8u);
    const uint32_t n = LoadLE16(&f[8]);
    EXPECT_EQ(n, c.entries);
    uint32_t rps = 0, stripCount = 0, stripValue = 0, xres = 0;
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t* e = &f[10 + 12 * i];
      const uint16_t tag = LoadLE16(e);
      if (tag == 278) rps = LoadLE32(e + 8);
      if (tag == 273) {
        stripCount = LoadLE32(e + 4);
        stripValue = LoadLE32(e + 8);
      }
      if (tag == 282) xres = LoadLE32(e + 8);
    }
    EXPECT_EQ(rps, c.rowsPerStrip);
    const uint32_t strips = (c.height + rps - 1) / rps;
    EXPECT_EQ(stripCount, strips);
    if (strips == 1) {
      EXPECT_EQ(stripValue, f.size() - c.width * c.height * c.channels);  // the data offset, inline
    }
    const uint32_t wantNum = c.resolution > 0 ? (uint32_t)(c.resolution * 1000) : 300000;
    EXPECT_EQ(LoadLE32(&f[xres]), wantNum);
    EXPECT_EQ(LoadLE32(&f[xres + 4]), 1000u);
    EXPECT_EQ(f.size(), 14 + 12 * n + (c.channels == 1 ? 0 : 2 * c.channels) + (strips == 1 ? 0 : 8 * strips) + 16 +
                            (size_t)c.width * c.height * c.channels);
  }
}

// Peers read what we write: same pixels (ImageMagick), same resolution and profile.
TEST_F(TiffTest, PeersReadWhatWeWrite) {
  if (!HavePeer("convert") || !HavePeer("identify")) GTEST_SKIP() << "ImageMagick missing";
  const std::vector<uint8_t> profile = MakeProfile(false);
  struct Case {
    int32_t format, colorType;
    int channels;
    int32_t planar, order;
  } cases[] = {
      {kRasTiff, kRasRGB, 3, 1, 0x4949}, {kRasTiff, kRasRGB, 3, 2, 0x4D4D}, {kRasTiff, kRasGray, 1, 1, 0x4949},
      {kRasTiff, kRasCMYK, 4, 1, 0x4D4D}, {kRasTiff16, kRasRGB, 3, 1, 0x4949}, {kRasTiff16, kRasGray, 1, 1, 0x4D4D},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " type " << c.colorType);
    const bool wide = c.format == kRasTiff16;
    const Pixels px = MakePixels(23, 9, c.channels, wide ? 65535 : 255, 7);
    const std::string path = ScratchFile("peer.tif");
    ASSERT_EQ(WriteThrough(path, c.format, c.colorType, px, 240, Layout(c.planar, c.order), WithProfile(profile)), kOk)
        << RasLastFailure();
    Pixels peer;
    ASSERT_TRUE(PeerDecode(path, c.colorType == kRasGray ? "-colorspace gray" : "", wide ? 16 : 8, peer));
    EXPECT_EQ(peer.samples, px.samples);
    std::string out;
    ASSERT_EQ(RunCommand("identify -format '%x %U' '" + path + "'", &out), 0);
    EXPECT_EQ(out, "240 PixelsPerInch");
    const std::string icc = ScratchFile("peer.icc");
    ASSERT_EQ(RunCommand("convert '" + path + "' icc:'" + icc + "' 2>/dev/null"), 0);
    EXPECT_EQ(FileBytes(icc), profile);
    // A second reader: libvips's mean over every sample.
    if (HavePeer("vips")) {
      double sum = 0;
      for (uint16_t v : px.samples) sum += v;
      ASSERT_EQ(RunCommand("vips avg '" + path + "' 2>/dev/null", &out), 0);
      EXPECT_NEAR(std::stod(out), sum / px.samples.size(), 1e-6 * (wide ? 65535 : 255)) << out;
    }
  }
}

TEST_F(TiffTest, CarriesIptcBlockFromInputToOutput) {
  const Pixels px = MakePixels(4, 3, 3, 255);
  std::vector<uint8_t> data(px.samples.begin(), px.samples.end());
  auto entries = PlainTiffEntries(4, 3, 3);
  entries.push_back({33723, 4, {0x1C020000u, 0x74657374u}});  // two LONG words
  const std::string in = ScratchFile("iptc_in.tif");
  WriteBytes(in, BuildTiff(false, data, entries));
  RasImage input;
  ASSERT_EQ(RasQuery(in, input), kOk);
  ASSERT_EQ(input.meta.iptc.size(), 8u);
  const std::string out = ScratchFile("iptc_out.tif");
  ASSERT_EQ(WriteThrough(out, kRasTiff, kRasRGB, px, 300, {}, input.meta), kOk);
  const std::vector<uint8_t> f = FileBytes(out);
  const uint32_t n = LoadLE16(&f[8]);
  bool found = false;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t* e = &f[10 + 12 * i];
    if (LoadLE16(e) != 33723) continue;
    found = true;
    EXPECT_EQ(LoadLE32(e + 4), 2u);
    EXPECT_EQ(LoadLE32(&f[LoadLE32(e + 8)]), 0x1C020000u);
    EXPECT_EQ(LoadLE32(&f[LoadLE32(e + 8) + 4]), 0x74657374u);
  }
  EXPECT_TRUE(found);
}

TEST_F(TiffTest, WriteOptionsOutOfRangeAreRefused) {
  const Pixels px = MakePixels(4, 3, 3, 255);
  const std::string path = ScratchFile("bad.tif");
  EXPECT_EQ(WriteThrough(path, kRasTiff, kRasRGB, px, 72, Layout(3, 0x4949)), kBadArg);
  EXPECT_EQ(WriteThrough(path, kRasTiff, kRasRGB, px, 72, Layout(1, 0x1234)), kBadArg);
  WriteOptions packBits;
  packBits.compression = 32773;  // none, LZW and Deflate only
  EXPECT_EQ(WriteThrough(path, kRasTiff, kRasRGB, px, 72, packBits), kBadArg);
  WriteOptions predictor;
  predictor.predictor = 3;
  EXPECT_EQ(WriteThrough(path, kRasTiff, kRasRGB, px, 72, predictor), kBadArg);
  EXPECT_FALSE(FileExists(path));
}

// Refused variants and hostile files: a status and a reason, quickly, with
// no allocation beyond the file's size.
TEST_F(TiffTest, RefusesUnsupportedAndHostileFiles) {
  const Pixels px = MakePixels(4, 3, 3, 255);
  const std::vector<uint8_t> data(px.samples.begin(), px.samples.end());
  auto plain = [&](auto change) {
    auto entries = PlainTiffEntries(4, 3, 3);
    change(entries);
    return BuildTiff(false, data, entries);
  };
  auto set = [](std::vector<TiffEntry>& e, uint16_t tag, TiffEntry value) {
    for (auto& x : e)
      if (x.tag == tag) x = value;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status status;
  } cases[] = {
      {"huge claim, few bytes", plain([&](auto& e) {
         set(e, 256, {256, 4, {100000}});
         set(e, 257, {257, 4, {100000}});
         set(e, 278, {278, 4, {100000}});
       }), kFormatErr},
      {"huge claim, huge byte count", plain([&](auto& e) {
         set(e, 256, {256, 4, {100000}});
         set(e, 257, {257, 4, {100000}});
         set(e, 278, {278, 4, {100000}});
         set(e, 279, {279, 4, {3000000000u}});
       }), kReadErr},
      {"strip past the end", plain([&](auto& e) { set(e, 273, {273, 4, {1u << 30}}); }), kReadErr},
      {"byte count larger than the file", plain([&](auto& e) { set(e, 279, {279, 4, {0xFFFFFFF0u}}); }), kReadErr},
      {"strip shorter than its rows", plain([&](auto& e) { set(e, 279, {279, 4, {20}}); }), kFormatErr},
      {"too few strips", plain([&](auto& e) { set(e, 278, {278, 4, {1}}); }), kFormatErr},
      {"array count beyond the file", plain([&](auto& e) { set(e, 273, {273, 4, {8}, {}, 0x40000000}); }), kReadErr},
      {"no strips", plain([&](auto& e) { e.erase(e.begin() + 5); }), kFormatErr},
      {"two samples", plain([&](auto& e) { set(e, 277, {277, 3, {2}}); }), kFormatErr},
      {"YCbCr without JPEG", plain([&](auto& e) { set(e, 262, {262, 3, {6}}); }), kUnsupported},
      {"signed integers", plain([&](auto& e) { e.push_back({339, 3, {2}}); }), kUnsupported},
      {"directory past the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x0F}, kReadErr},
      {"directory cut short", {'I', 'I', 42, 0, 8, 0, 0, 0, 40, 0, 0, 1}, kReadErr},
      {"not TIFF", {'I', 'I', 43, 0, 8, 0, 0, 0}, kFormatErr},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile("hostile.tif");
    WriteBytes(path, c.bytes);
    const auto before = MemGetCounters();
    RasImage image;
    EXPECT_EQ(RasQuery(path, image), c.status) << RasLastFailure();
    EXPECT_FALSE(RasLastFailure().empty());
    EXPECT_LT(MemGetCounters().peak - before.peak, 1 << 20);
  }
}

}  // namespace
