// The EXIF walk and thumbnail removal, on hand-built blocks and on a peer file.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/exif.h"
#include "imagefile/imagefile_support.h"
#include "imagefile/jpeg.h"
#include "imagefile/ras.h"
#include "base/bytes.h"
#include "support/scratch.h"

namespace {

// Builds TIFF-structured EXIF data with directories at chosen offsets.
struct ExifBuilder {
  bool big;
  std::vector<uint8_t> b;
  explicit ExifBuilder(bool bigEndian, uint32_t firstDir = 8) : big(bigEndian), b(8, 0) {
    b[0] = b[1] = big ? 'M' : 'I';
    Put16(2, 42);
    Put32(4, firstDir);
  }
  void Grow(size_t n) {
    if (b.size() < n) b.resize(n, 0);
  }
  void Put16(size_t at, uint32_t v) {
    Grow(at + 2);
    big ? StoreBE16(&b[at], (uint16_t)v) : StoreLE16(&b[at], (uint16_t)v);
  }
  void Put32(size_t at, uint32_t v) {
    Grow(at + 4);
    big ? StoreBE32(&b[at], v) : StoreLE32(&b[at], v);
  }
  struct E {
    uint16_t tag, format;
    uint32_t count, value;
  };
  // A directory; link < 0 writes no next-directory field (the data may end there).
  void Dir(uint32_t at, const std::vector<E>& entries, int64_t link = 0) {
    Put16(at, (uint32_t)entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      const size_t e = at + 2 + 12 * i;
      Put16(e, entries[i].tag);
      Put16(e + 2, entries[i].format);
      Put32(e + 4, entries[i].count);
      if (entries[i].format == 3 && entries[i].count == 1) {
        Put16(e + 8, entries[i].value);
        Put16(e + 10, 0);
      } else {
        Put32(e + 8, entries[i].value);
      }
    }
    const size_t end = at + 2 + 12 * entries.size();
    if (link >= 0) Put32(end, (uint32_t)link);
    else Grow(end);
  }
};

Status Remove(std::vector<uint8_t>& data, uint32_t& length) {
  length = (uint32_t)data.size();
  return ExifRemoveThumbnail(data.data(), length);
}

TEST(ExifTest, ThumbnailAtTheEndIsCutOff) {
  for (bool big : {false, true}) {
    ExifBuilder x(big);
    // IFD0 with a string value at 100 and a link to IFD1 at 60; IFD1 holds the thumbnail at 120..149.
    x.Dir(8, {{0x010F, 2, 8, 100}}, 60);
    x.Dir(60, {{0x0103, 3, 1, 6}, {0x0201, 4, 1, 120}, {0x0202, 4, 1, 30}});
    x.Grow(150);
    std::vector<uint8_t> data = x.b;
    ExifParseResult r;
    ExifParse(data.data(), (uint32_t)data.size(), r);
    EXPECT_EQ(r.thumbDir, 60);
    EXPECT_EQ(r.thumbOffset, 120u);
    EXPECT_EQ(r.thumbSize, 30u);
    EXPECT_EQ(r.maxReferred, 100u);
    EXPECT_TRUE(r.thumbAtEnd);
    uint32_t length;
    ASSERT_EQ(Remove(data, length), kOk);
    EXPECT_EQ(length, 120u);
    ExifParse(data.data(), length, r);
    EXPECT_EQ(r.thumbSize, 0u);
  }
}

TEST(ExifTest, EdgeCasesOfTheWalk) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    Status status;      // of the removal
    uint32_t length;    // after the removal
    bool changed;       // bytes other than the cut changed
  };
  std::vector<Case> cases;
  {
    ExifBuilder x(false);
    x.Dir(8, {{0x0201, 4, 1, 40}, {0x0202, 4, 1, 10}});
    x.Grow(50);
    std::vector<uint8_t> d = x.b;
    d[0] = d[1] = 'X';  // foreign byte order mark
    cases.push_back({"foreign byte order", d, kSysErr, 50, false});
  }
  {
    ExifBuilder x(true);
    x.Dir(8, {{0x0201, 4, 1, 40}, {0x0202, 3, 1, 10}});  // length entry is SHORT
    x.Grow(50);
    cases.push_back({"SHORT length entry", x.b, kSysErr, 50, false});
  }
  {
    ExifBuilder y(false);
    y.Dir(8, {{0x0201, 4, 1, 40}, {0x0202, 4, 1, 10}, {0x010F, 2, 20, 60}});  // a value after the thumbnail
    y.Grow(80);
    cases.push_back({"thumbnail before other data", y.b, kOk, 80, true});
  }
  {
    // Last directory without its link: ends exactly at E (and at E + 2).
    for (uint32_t extra : {0u, 2u}) {
      ExifBuilder x(false);
      x.Dir(8, {{0x0201, 4, 1, 40}, {0x0202, 4, 1, 4}}, -1);
      std::vector<uint8_t> d = x.b;  // 8 + 2 + 24 = 34 bytes
      d.resize(34 + extra, 0);
      // The thumbnail offset lies past this short data: only the walk is checked.
      ExifParseResult r;
      ExifParse(d.data(), (uint32_t)d.size(), r);
      EXPECT_EQ(r.thumbDir, 8) << "extra " << extra;
    }
  }
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> data = c.data;
    uint32_t length;
    EXPECT_EQ(Remove(data, length), c.status);
    EXPECT_EQ(length, c.length);
    data.resize(c.data.size());
    EXPECT_EQ(data != c.data, c.changed);
  }
}

// Directories nested through EXIF pointers: the fifth level is walked, the sixth is not.
TEST(ExifTest, StopsAtTheSixthLevel) {
  for (int levels : {5, 6}) {
    ExifBuilder x(false);
    uint32_t at = 8;
    for (int level = 0; level < levels - 1; ++level) {
      x.Dir(at, {{0x8769, 4, 1, at + 20}});
      at += 20;
    }
    x.Dir(at, {{0x0201, 4, 1, 200}, {0x0202, 4, 1, 8}});
    x.Grow(208);
    ExifParseResult r;
    ExifParse(x.b.data(), (uint32_t)x.b.size(), r);
    EXPECT_EQ(r.thumbDir >= 0, levels == 5) << levels;
  }
}

// Directories that point at each other or repeat a pointer thousands of times end quickly.
TEST(ExifTest, HostileLoopsEndQuickly) {
  ExifBuilder x(true);
  std::vector<ExifBuilder::E> entries(5000, {0x8769, 4, 1, 8});
  x.Dir(8, entries, 8);
  ExifParseResult r;
  ExifParse(x.b.data(), (uint32_t)x.b.size(), r);
  EXPECT_EQ(r.thumbDir, -1);
}

// The peer's file: the thumbnail leaves, the rest of the EXIF data stays, and
// a peer reads the result without a thumbnail but with the camera make.
TEST(ExifTest, RemovesThePeersThumbnail) {
  RasImage image;
  ASSERT_EQ(RasQuery(TestData("imagefile/exif_thumb.jpg"), image), kOk);
  const size_t before = image.meta.exif.size();
  MetaStripExifThumbnail(image.meta);
  EXPECT_EQ(image.meta.exif.size(), 192u);  // cut at the thumbnail's offset in the EXIF data
  EXPECT_LT(image.meta.exif.size(), before);
  MetaStripExifThumbnail(image.meta);  // nothing left to remove: unchanged
  EXPECT_EQ(image.meta.exif.size(), 192u);
  if (!HavePeer("exiftool")) GTEST_SKIP() << "exiftool missing";
  Pixels px = MakePixels(8, 8, 3, 255);
  const std::string out = ScratchFile("no_thumb.jpg");
  ASSERT_EQ(WriteThrough(out, kRasJpeg, kRasRGB, px, 300, {}, image.meta), kOk);
  std::string text;
  RunCommand("exiftool -s -Make -ThumbnailLength '" + out + "'", &text);
  EXPECT_NE(text.find("Tavelin"), std::string::npos) << text;
  EXPECT_EQ(text.find("ThumbnailLength                 : 287"), std::string::npos) << text;
}

}  // namespace
