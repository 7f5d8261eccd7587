// The scanline framework: recognition order, records, scanlines, rows in any
// order, and the four attachment slots.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace {

std::string Fixture(const std::string& name) { return TestData("imagefile/" + name); }

class RasTest : public ::testing::Test {};

TEST_F(RasTest, RecognisesByContentWithTheFormatsDepth) {
  struct Case {
    const char* file;
    int32_t format, maxValue;
  } cases[] = {
      {"rgb8_ii.tif", kRasTiff, 255}, {"rgb16_mm.tif", kRasTiff16, 65535}, {"base.jpg", kRasJpeg, 255},
      {"bmp24.bmp", kRasBmp, 255},
  };
  for (const Case& c : cases) {
    // Content only: the name says nothing (but for Targa, which has no
    // signature: bmp_targa_test.cpp).
    const std::string copy = ScratchFile("no_extension");
    WriteBytes(copy, FileBytes(Fixture(c.file)));
    RasImage image;
    ASSERT_EQ(RasQuery(copy, image), kOk) << c.file;
    EXPECT_EQ(image.format, c.format) << c.file;
    EXPECT_EQ(image.maxValue, c.maxValue) << c.file;
    EXPECT_FALSE(image.file) << "RasQuery leaves the record closed";
  }
  // The 8-bit module refuses a 16-bit file as an unsupported variant.
  RasImage image;
  image.format = kRasTiff;
  EXPECT_EQ(RasOpen(Fixture("rgb16_ii.tif"), 'r', image), kUnsupported);
  EXPECT_FALSE(image.file);
}

TEST_F(RasTest, UnknownFilesAreNotAnyFormat) {
  const std::string path = ScratchFile("text.txt");
  WriteFileText(path, "hello, this is not an image at all\n");
  RasImage image;
  EXPECT_EQ(RasQuery(path, image), kFormatErr);
  EXPECT_EQ(RasQuery(ScratchFile("missing.tif"), image), kOpenErr);
}

TEST_F(RasTest, RecordsAndScanlinesCheckTheirArguments) {
  RasImage image;
  EXPECT_EQ(rasInit(image, kRasTiff, 4, 4, 3, 2, 300), kBadArg);
  EXPECT_EQ(rasInit(image, kRasCameraRaw, 4, 4, 3, kRasRGB, 300), kBadArg);
  EXPECT_EQ(rasInit(image, kRasTiff, 4, 4, 2, kRasRGB, 300), kBadArg);
  ASSERT_EQ(rasInit(image, kRasTiff16, 4, 4, 3, kRasRGB, 300), kOk);
  EXPECT_EQ(image.maxValue, 65535);
  EXPECT_EQ(RasOpen(ScratchFile("x.tif"), 'x', image), kBadArg);

  RasImage two;
  two.width = 5;
  two.channels = 2;
  RasScanline sl;
  EXPECT_EQ(RasMakeSl(sl, two), kBadArg);
  EXPECT_EQ(sl.width, 0u);
  EXPECT_EQ(sl.channels, 0);
  for (int c = 0; c < 4; ++c) EXPECT_EQ(sl.plane8[c], nullptr);

  RasImage unknown;
  unknown.format = 42;
  EXPECT_EQ(RasOpen(ScratchFile("x"), 'r', unknown), kBadArg);
  RasImage readOnly;
  ASSERT_EQ(rasInit(readOnly, kRasPhotoCD, 4, 4, 3, kRasPhotoCDColor, 300), kOk);
  EXPECT_EQ(RasOpen(ScratchFile("x.pcd"), 'w', readOnly), kBadArg);
  RasImage raw;
  raw.format = kRasCameraRaw;
  EXPECT_EQ(RasOpen(Fixture("rgb8_ii.tif"), 'r', raw), kFormatErr);  // a TIFF file is no raw file
}

TEST_F(RasTest, ReadingFillsAnEmptyScanlineAndChecksRows) {
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("rgb16_ii.tif"), image), kOk);
  ASSERT_EQ(RasOpen(Fixture("rgb16_ii.tif"), 'r', image), kOk);
  RasScanline sl;
  ASSERT_EQ(RasReadSl(image, 0, sl), kOk);
  EXPECT_EQ(sl.width, 13u);
  EXPECT_EQ(sl.channels, 3);
  EXPECT_NE(sl.plane16[2], nullptr);
  EXPECT_EQ(sl.plane8[0], nullptr);
  EXPECT_EQ(RasReadSl(image, 7, sl), kBadArg);
  EXPECT_EQ(RasWriteSl(image, 0, sl), kBadArg);
  EXPECT_EQ(RasClose(image), kOk);
  EXPECT_EQ(RasReadSl(image, 0, sl), kBadArg);
}

// Rows read backwards equal rows read forwards, in every module (JPEG restarts its decoder).
TEST_F(RasTest, ReadsRowsInAnyOrder) {
  for (const char* name : {"planar.tif", "rgb8_strips.tif", "rgb16_mm.tif", "bmp24.bmp", "tga24_topdown.tga", "prog.jpg"}) {
    SCOPED_TRACE(name);
    RasImage image;
    Pixels forward;
    ASSERT_EQ(ReadThrough(Fixture(name), image, forward), kOk);
    ASSERT_EQ(RasOpen(Fixture(name), 'r', image), kOk);
    RasScanline sl;
    for (uint32_t y = image.height; y-- > 0;) {
      ASSERT_EQ(RasReadSl(image, y, sl), kOk) << y;
      for (uint32_t x = 0; x < image.width; ++x)
        for (int c = 0; c < image.channels; ++c)
          ASSERT_EQ(image.Is16() ? sl.plane16[c][x] : sl.plane8[c][x], forward.At(x, y, c)) << x << "," << y;
    }
    EXPECT_EQ(RasClose(image), kOk);
  }
}

TEST_F(RasTest, ReadOpensReplaceTheImagesMetadata) {
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("exif_thumb.jpg"), image), kOk);
  EXPECT_GT(image.meta.exif.size(), 0u);
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), image), kOk);
  EXPECT_TRUE(image.meta.exif.empty());
  EXPECT_TRUE(image.meta.HasIcc());
  image.format = kRasBmp;
  ASSERT_EQ(RasOpen(Fixture("bmp24.bmp"), 'r', image), kOk);
  EXPECT_FALSE(image.meta.HasIcc());
  RasClose(image);
  // A failed query leaves nothing behind either.
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), image), kOk);
  EXPECT_EQ(RasQuery(ScratchFile("missing.tif"), image), kOpenErr);
  EXPECT_FALSE(image.meta.HasIcc());
}

TEST_F(RasTest, ProfilesSaveAndLoadByTheirSizeField) {
  const std::vector<uint8_t> profile = MakeProfile(false);
  ImageMeta meta;
  const std::string saved = ScratchFile("out.icc");
  EXPECT_EQ(MetaSaveIcc(meta, saved), kSysErr);  // none: no file
  EXPECT_FALSE(FileExists(saved));
  // Bytes stored past the size field are not written.
  meta.iccProfile = profile;
  meta.iccProfile.insert(meta.iccProfile.end(), {1, 2, 3});
  EXPECT_EQ(meta.IccLength(), profile.size());
  ASSERT_EQ(MetaSaveIcc(meta, saved), kOk);
  EXPECT_EQ(FileBytes(saved), profile);
  ImageMeta loaded;
  ASSERT_EQ(MetaLoadIcc(loaded, saved), kOk);
  EXPECT_EQ(loaded.iccProfile, profile);
  EXPECT_EQ(MetaLoadIcc(loaded, ScratchFile("missing.icc")), kOpenErr);
  // A size field above what is stored: what is stored.
  meta.iccProfile.resize(200);
  EXPECT_EQ(meta.IccLength(), 200u);
}

}  // namespace
