// TIFF files the built-in strip reader refuses, read through libtiff:
// compressions, tiles, BigTIFF, floats, alpha, bit depths below 8, pages;
// the resolution unit carried; broken and hostile files refused with a reason.
#include <gtest/gtest.h>

#include <cstdlib>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "imagefile/tiff.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

class TiffCodecTest : public ::testing::Test {};

// Each file against a reference: the uncompressed file it was made from (read
// by the built-in reader), the PNM source, or ImageMagick's own decode.
TEST_F(TiffCodecTest, ReadsCompressedTiledFloatAndAlphaFilesAsTheirReferences) {
  enum Ref { Tiff, Pnm, Peer };
  struct Case {
    const char* file;
    Ref ref;
    const char* reference;  // file, or the peer's options
    int32_t format, colorType;
    int tolerance;
  } cases[] = {
      {"lzw_pred.tif", Tiff, "rgb8_ii.tif", kRasTiff, kRasRGB, 0},
      {"deflate16.tif", Tiff, "rgb16_ii.tif", kRasTiff16, kRasRGB, 0},
      {"packbits_minwhite.tif", Tiff, "gray_minwhite.tif", kRasTiff, kRasGray, 0},
      {"zstd_cmyk.tif", Tiff, "cmyk.tif", kRasTiff, kRasCMYK, 0},
      {"lzw_pal.tif", Tiff, "pal_rgb.tif", kRasTiff, kRasRGB, 0},
      {"zip_lab.tif", Tiff, "lab.tif", kRasTiff, kRasLab, 0},
      {"lzw_gray16.tif", Tiff, "gray16.tif", kRasTiff16, kRasGray, 0},
      {"bigtiff.tif", Tiff, "rgb8_ii.tif", kRasTiff, kRasRGB, 0},
      {"multipage.tif", Tiff, "rgb8_ii.tif", kRasTiff, kRasRGB, 0},  // the first page
      {"tiles_planar.tif", Pnm, "src_wide.ppm", kRasTiff, kRasRGB, 0},
      {"float32.tif", Pnm, "src_rgb16.ppm", kRasTiff16, kRasRGB, 1},
      {"half.tif", Pnm, "src_rgb16.ppm", kRasTiff16, kRasRGB, 32},  // 11-bit mantissa
      {"jpeg_ycbcr.tif", Peer, "", kRasTiff, kRasRGB, 2},
      {"rgba_lzw.tif", Peer, "-background white -flatten -alpha off", kRasTiff, kRasRGB, 1},
      {"bilevel_g4.tif", Peer, "-colorspace gray", kRasTiff, kRasGray, 0},
      {"pal4.tif", Peer, "", kRasTiff, kRasRGB, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    RasImage image;
    Pixels ours, want;
    ASSERT_EQ(ReadThrough(Fixture(c.file), image, ours), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.colorType, c.colorType);
    if (c.ref == Tiff) {
      RasImage plain;
      ASSERT_EQ(ReadThrough(Fixture(c.reference), plain, want), kOk);
    } else if (c.ref == Pnm) {
      ASSERT_TRUE(ReadPam(Fixture(c.reference), want));
    } else {
      if (!HavePeer("convert")) continue;
      ASSERT_TRUE(PeerDecode(Fixture(c.file), c.reference, c.format == kRasTiff16 ? 16 : 8, want));
    }
    ASSERT_EQ(ours.channels, want.channels);
    ASSERT_EQ(ours.samples.size(), want.samples.size());
    EXPECT_LE(WorstDifference(ours, want), c.tolerance);
  }
}

// LZW and Deflate output: libtiff's own tiffcp undoes the compression and the
// built-in reader finds the pixels, the profile and the layout it would have written.
TEST_F(TiffCodecTest, WritesLzwAndDeflateThatPeersDecode) {
  struct Case {
    const char* name;
    int32_t format, colorType, channels, planar;
  } cases[] = {
      {"rgb8", kRasTiff, kRasRGB, 3, 1},   {"rgb8 planar", kRasTiff, kRasRGB, 3, 2},
      {"gray16", kRasTiff16, kRasGray, 1, 1}, {"rgb16 planar", kRasTiff16, kRasRGB, 3, 2},
      {"cmyk8", kRasTiff, kRasCMYK, 4, 1}, {"lab8", kRasTiff, kRasLab, 3, 1},
  };
  const std::vector<uint8_t> profile = MakeProfile(false);
  for (int32_t compression : {5, 8}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (compression == 5 ? " LZW" : " Deflate"));
      WriteOptions options;
      options.compression = compression;
      options.predictor = 2;
      options.planar = c.planar;
      ImageMeta meta;
      meta.iccProfile = profile;
      // 170 rows of 3 channels: several strips of 30000 bytes' worth of rows.
      const Pixels px = MakePixels(61, 170, c.channels, c.format == kRasTiff16 ? 65535 : 255, 7);
      const std::string out = ScratchFile("packed.tif"), plain = ScratchFile("plain.tif");
      ASSERT_EQ(WriteThrough(out, c.format, c.colorType, px, 200.0f, options, meta), kOk) << RasLastFailure();
      ASSERT_EQ(std::system(("tiffcp -c none '" + out + "' '" + plain + "'").c_str()), 0);
      for (const std::string& path : {out, plain}) {
        RasImage image;
        Pixels back;
        ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
        EXPECT_EQ(image.colorType, c.colorType);
        EXPECT_FLOAT_EQ(image.resolution, 200.0f);
        EXPECT_EQ(back.samples, px.samples);
        EXPECT_EQ(image.meta.iccProfile.size(), profile.size());
      }
      std::string tags;  // the compression libtiff's own tool reports
      ASSERT_EQ(RunCommand("tiffinfo '" + out + "' 2>/dev/null | grep -c '" +
                           (compression == 5 ? "Scheme: LZW" : "Deflate") + "'", &tags), 0);
    }
  }
}

// "No unit" keeps the number it states, and is written back as such; centimetres stay centimetres.
TEST_F(TiffCodecTest, CarriesTheResolutionUnit) {
  struct Case {
    const char* file;
    ResolutionUnit unit;
  } cases[] = {{"res_none.tif", ResolutionUnit::kNone}};
  for (const Case& c : cases) {
    RasImage in;
    Pixels px;
    ASSERT_EQ(ReadThrough(Fixture(c.file), in, px), kOk);
    EXPECT_FLOAT_EQ(in.resolution, 300.0f);
    EXPECT_EQ(in.meta.resolutionUnit, c.unit);
  }
  for (ResolutionUnit unit : {ResolutionUnit::kNone, ResolutionUnit::kInch, ResolutionUnit::kCentimetre}) {
    SCOPED_TRACE((int)unit);
    const std::string out = ScratchFile("unit.tif");
    Pixels px = MakePixels(5, 4, 3, 255);
    RasImage image;
    ASSERT_EQ(rasInit(image, kRasTiff, 5, 4, 3, kRasRGB, 254.0f), kOk);
    image.meta.resolutionUnit = unit;
    ASSERT_EQ(RasOpen(out, 'w', image), kOk);
    RasScanline sl;
    ASSERT_EQ(RasMakeSl(sl, image), kOk);
    for (uint32_t y = 0; y < 4; ++y) {
      for (int c = 0; c < 3; ++c)
        for (uint32_t x = 0; x < 5; ++x) sl.plane8[c][x] = (uint8_t)px.At(x, y, c);
      ASSERT_EQ(RasWriteSl(image, y, sl), kOk);
    }
    ASSERT_EQ(RasClose(image), kOk);
    RasImage back;
    ASSERT_EQ(RasQuery(out, back), kOk);
    EXPECT_NEAR(back.resolution, 254.0f, 0.01);
    EXPECT_EQ(back.meta.resolutionUnit, unit);
  }
}

// Broken compressed data and hostile headers: a status and a reason, never a crash.
TEST_F(TiffCodecTest, RefusesBrokenCompressedFiles) {
  const std::vector<uint8_t> lzw = FileBytes(Fixture("lzw_pred.tif"));
  const std::vector<uint8_t> tiles = FileBytes(Fixture("tiles_planar.tif"));
  auto cut = [](std::vector<uint8_t> b, size_t keep) {
    b.resize(keep);
    return b;
  };
  auto scribble = [](std::vector<uint8_t> b, size_t from, size_t to) {
    for (size_t i = from; i < to && i < b.size(); ++i) b[i] = (uint8_t)(i * 37);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"LZW cut in its strip", cut(lzw, 40)},
      {"LZW codes scribbled", scribble(lzw, 8, 60)},
      {"tiles cut", cut(tiles, tiles.size() / 2)},
      {"tiles scribbled", scribble(tiles, 8, 400)},
      {"BigTIFF header only", {'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = ScratchFile("broken.tif");
    WriteBytes(path, c.bytes);
    RasImage image;
    Pixels px;
    const Status st = ReadThrough(path, image, px);
    if (st != kOk) {
      EXPECT_FALSE(RasLastFailure().empty());
    }
  }
  // A compressed file claiming a huge image is refused before anything that large is allocated.
  const std::string huge = ScratchFile("huge.tif");
  WriteBytes(huge, lzw);
  ASSERT_EQ(std::system(("tiffset -s 256 1000000 '" + huge + "' && tiffset -s 257 1000000 '" + huge + "'").c_str()), 0);
  RasImage image;
  EXPECT_EQ(RasQuery(huge, image), kUnsupported);
  EXPECT_NE(RasLastFailure().find("pixels"), std::string::npos) << RasLastFailure();
}

}  // namespace
