// The format registry (which module reads, writes and names what) and the
// one save path (ImageSave): a target is replaced whole or not at all.
#include <gtest/gtest.h>

#include <dirent.h>

#include <set>

#include "imagefile/format.h"
#include "imagefile/imagefile_support.h"
#include "imagefile/imagesave.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

TEST(FormatRegistryTest, NamesCodesAndExtensionsFindTheirModules) {
  const FormatRegistry& r = FormatRegistry::Builtin();
  std::set<int32_t> codes;
  for (const auto& m : r.Modules()) {
    EXPECT_TRUE(codes.insert(m->traits.code).second) << m->traits.name;
    EXPECT_EQ(r.ByName(m->traits.name), m.get());
    EXPECT_STREQ(RasFormatName(m->traits.code), m->traits.name);
    if (m->writer) {
      EXPECT_FALSE(m->traits.extensions.empty()) << m->traits.name;
    }
  }
  EXPECT_EQ(r.WritableNames(" "), "tiff tiff16 eps dcs tga bmp jpeg sct png png16 cin webp");
  const struct {
    const char* path;
    int32_t code;  // 0: none
  } cases[] = {{"a.JPG", kRasJpeg}, {"dir/b.tif", kRasTiff}, {"c.tiff", kRasTiff}, {"d.targa", kRasTarga},
               {"e.pcd", 0},        {"g.png", kRasPng},  {"h.WebP", kRasWebp}, {"i.heic", 0}, {"j.cr2", 0}, {"noext", 0},          {"dir.jpg/file", 0}, {"f.", 0}};
  for (const auto& c : cases) {
    const FormatModule* m = r.ByExtension(c.path);
    EXPECT_EQ(m ? m->traits.code : 0, c.code) << c.path;
  }
  // The folder walk's question: read-only formats count, other names do not.
  for (const char* name : {"a.CR2", "b.heic", "c.avif", "d.webp", "e.pcd", "f.jpe", "g.PNG"})
    EXPECT_TRUE(r.ReadsExtension(name)) << name;
  for (const char* name : {"a.txt", "b.xmp", "heic", "dir.cr2/file"}) EXPECT_FALSE(r.ReadsExtension(name)) << name;
  EXPECT_EQ(r.ByCode(99), nullptr);
  // Read-only and refusing formats have no writer.
  EXPECT_EQ(r.ByCode(kRasPhotoCD)->writer, nullptr);
  EXPECT_EQ(r.ByCode(kRasCameraRaw)->writer, nullptr);
  EXPECT_EQ(r.ByCode(kRasHeif16)->writer, nullptr);
}

// The names in a folder that are temporary files of the save path.
std::vector<std::string> Temps(const std::string& dir) {
  std::vector<std::string> found;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).rfind("Quilo", 0) == 0) found.push_back(e->d_name);
    closedir(d);
  }
  return found;
}

Status WriteRows(RasImage& image, const Pixels& px) {
  RasScanline sl;
  Status st = RasMakeSl(sl, image);
  for (uint32_t y = 0; st == kOk && y < px.height; ++y) {
    for (int c = 0; c < px.channels; ++c)
      for (uint32_t x = 0; x < px.width; ++x) sl.plane8[c][x] = (uint8_t)px.At(x, y, c);
    st = RasWriteSl(image, y, sl);
  }
  return st;
}

// Saving over an existing file: abandoned at any point, the old file stays
// and nothing is left behind; committed, the new one is in place, a DCS
// set's plates with it.
TEST(ImageSaveTest, TargetIsReplacedWholeOrNotAtAll) {
  const std::string dir = FreshDir("imagesave");
  const Pixels px = MakePixels(9, 5, 3, 255, 2);
  const std::string target = dir + "photo.bmp";
  ASSERT_EQ(WriteThrough(target, kRasBmp, kRasRGB, px, 72), kOk);
  const std::vector<uint8_t> before = FileBytes(target);

  for (int stopAfter : {0, 1, 2}) {  // prepared, opened, every row written
    SCOPED_TRACE(stopAfter);
    ImageSave save;
    std::string why;
    ASSERT_EQ(save.Prepare(target, &why), kOk) << why;
    RasImage out;
    ASSERT_EQ(rasInit(out, kRasBmp, 9, 5, 3, kRasRGB, 72), kOk);
    if (stopAfter >= 1) {
      ASSERT_EQ(save.Open(out, {}), kOk);
    }
    if (stopAfter >= 2) {
      ASSERT_EQ(WriteRows(out, MakePixels(9, 5, 3, 255, 7)), kOk);
    }
    save.Abort(out);
    EXPECT_EQ(FileBytes(target), before);
    EXPECT_TRUE(Temps(dir).empty());
  }
  {
    // A writer that refuses the image (CMYK as BMP) leaves everything as it was.
    ImageSave save;
    ASSERT_EQ(save.Prepare(target), kOk);
    RasImage out;
    ASSERT_EQ(rasInit(out, kRasBmp, 9, 5, 4, kRasCMYK, 72), kOk);
    EXPECT_EQ(save.Open(out, {}), kBadArg);
    save.Abort(out);
    EXPECT_EQ(FileBytes(target), before);
    EXPECT_TRUE(Temps(dir).empty());
  }
  {
    ImageSave save;
    ASSERT_EQ(save.Prepare(target), kOk);
    RasImage out;
    ASSERT_EQ(rasInit(out, kRasBmp, 9, 5, 3, kRasRGB, 72), kOk);
    ASSERT_EQ(save.Open(out, {}), kOk);
    ASSERT_EQ(WriteRows(out, MakePixels(9, 5, 3, 255, 7)), kOk);
    ASSERT_EQ(RasClose(out), kOk);
    ASSERT_EQ(save.Commit(), kOk);
    RasImage back;
    Pixels read;
    ASSERT_EQ(ReadThrough(target, back, read), kOk);
    EXPECT_EQ(read.samples, MakePixels(9, 5, 3, 255, 7).samples);
    EXPECT_TRUE(Temps(dir).empty());
  }
  {
    const std::string set = dir + "set.eps";
    ImageSave save;
    ASSERT_EQ(save.Prepare(set), kOk);
    RasImage out;
    ASSERT_EQ(rasInit(out, kRasDcs, 6, 4, 4, kRasCMYK, 150), kOk);
    ASSERT_EQ(save.Open(out, {}), kOk);
    ASSERT_EQ(WriteRows(out, MakePixels(6, 4, 4, 255, 3)), kOk);
    ASSERT_EQ(RasClose(out), kOk);
    ASSERT_EQ(save.Commit(), kOk);
    for (const char* plate : {".C", ".M", ".Y", ".K"}) EXPECT_TRUE(FileExists(set + plate)) << plate;
    EXPECT_TRUE(Temps(dir).empty());
    RasImage back;
    Pixels read;
    ASSERT_EQ(ReadThrough(set, back, read), kOk) << RasLastFailure();
    EXPECT_EQ(read.samples, MakePixels(6, 4, 4, 255, 3).samples);
  }
}

}  // namespace
