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

class RasTest : public ::testing::Test {
 protected:
  void TearDown() override { RasFreeAllMeta(); }
};

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
  EXPECT_EQ(RasOpen(Fixture("rgb8_ii.tif"), 'r', raw), kUnsupported);
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

TEST_F(RasTest, ReadOpensEmptyTheInputSlots) {
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("exif_thumb.jpg"), image), kOk);
  EXPECT_GT(RasMetaSize(kMetaGetInExif), 4u);
  ASSERT_EQ(RasQuery(Fixture("rgb8_icc.tif"), image), kOk);
  EXPECT_EQ(RasMetaSize(kMetaGetInExif), 0u);
  EXPECT_GT(RasMetaSize(kMetaGetInProfile), 0u);
  image.format = kRasBmp;
  ASSERT_EQ(RasOpen(Fixture("bmp24.bmp"), 'r', image), kOk);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(1);
  ASSERT_EQ(RasGetMeta(kMetaGetInProfile, &p), kOk);
  EXPECT_EQ(p, nullptr);
  RasClose(image);
}

TEST_F(RasTest, SlotsMoveCopySaveAndLoad) {
  const std::vector<uint8_t> profile = MakeProfile(false);
  // Output profile copied in, saved whole, loaded back.
  ASSERT_EQ(RasSetMeta(kMetaSetOutProfile, profile.data()), kOk);
  const std::string saved = ScratchFile("out.icc");
  ASSERT_EQ(RasGetMeta(kMetaSaveOutProfile, const_cast<char*>(saved.c_str())), kOk);
  EXPECT_EQ(FileBytes(saved), profile);
  ASSERT_EQ(RasSetMeta(kMetaFreeOutProfile, nullptr), kOk);
  EXPECT_EQ(RasGetMeta(kMetaSaveOutProfile, const_cast<char*>(saved.c_str())), kSysErr);
  ASSERT_EQ(RasSetMeta(kMetaLoadOutProfile, saved.c_str()), kOk);
  EXPECT_EQ(RasMetaSize(kMetaGetOutProfile), profile.size());

  // Input EXIF moved to the output; saved without its length bytes; loaded back with them.
  RasImage image;
  ASSERT_EQ(RasQuery(Fixture("exif_thumb.jpg"), image), kOk);
  const uint32_t size = RasMetaSize(kMetaGetInExif);
  ASSERT_EQ(RasSetMeta(kMetaMoveExifInToOut, nullptr), kOk);
  EXPECT_EQ(RasMetaSize(kMetaGetInExif), 0u);
  EXPECT_EQ(RasMetaSize(kMetaGetOutExif), size);
  const std::string exif = ScratchFile("out.exif");
  ASSERT_EQ(RasGetMeta(kMetaSaveOutExif, const_cast<char*>(exif.c_str())), kOk);
  const std::vector<uint8_t> data = FileBytes(exif);
  EXPECT_EQ(data.size(), size - 4);
  EXPECT_EQ(data[0], data[1]);  // "II" or "MM"
  ASSERT_EQ(RasSetMeta(kMetaLoadOutExif, exif.c_str()), kOk);
  const uint8_t* block = nullptr;
  ASSERT_EQ(RasGetMeta(kMetaGetOutExif, &block), kOk);
  EXPECT_EQ(LoadBE32(block), size);
  EXPECT_EQ(std::memcmp(block + 4, data.data(), data.size()), 0);

  // An EXIF block of length 4 holds nothing: no file is made.
  const uint8_t empty[4] = {0, 0, 0, 4};
  ASSERT_EQ(RasSetMeta(kMetaSetOutExif, empty), kOk);
  const std::string none = ScratchFile("none.exif");
  EXPECT_EQ(RasGetMeta(kMetaSaveOutExif, const_cast<char*>(none.c_str())), kSysErr);
  EXPECT_FALSE(FileExists(none));

  EXPECT_EQ(RasGetMeta(5, &block), kBadArg);
  EXPECT_EQ(RasSetMeta(7, nullptr), kBadArg);
  EXPECT_EQ(RasSetMeta(kMetaSetOutProfile, nullptr), kBadArg);
  EXPECT_EQ(RasSetMetaBytes(kMetaSetOutProfile, profile.data(), (uint32_t)profile.size() - 1), kFormatErr);
}

}  // namespace
