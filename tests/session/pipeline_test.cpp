// The save pipeline on real files: output choice, the whole road from add to
// a saved file read back by a peer, saving over the input through a
// temporary file, and saves that are cancelled or fail half way.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "session/pipeline.h"
#include "base/strings.h"
#include "session/session_support.h"

namespace {
using Kind = ScriptedHost::Kind;

bool HavePeer(const char* tool) { return RunCommand(std::string("command -v ") + tool + " >/dev/null 2>&1") == 0; }

// The samples of an image as the framework reads them.
std::vector<uint16_t> Samples(const std::string& path) {
  std::vector<uint16_t> out;
  RasImage image;
  RasScanline sl;
  if (RasQuery(path, image) != kOk || RasOpen(path, 'r', image) != kOk || RasMakeSl(sl, image) != kOk) return out;
  for (uint32_t y = 0; y < image.height; ++y) {
    if (RasReadSl(image, y, sl) != kOk) return {};
    for (int c = 0; c < image.channels; ++c)
      for (uint32_t x = 0; x < image.width; ++x) out.push_back(image.Is16() ? sl.plane16[c][x] : sl.plane8[c][x]);
  }
  RasClose(image);
  return out;
}
}  // namespace

class PipelineTest : public SessionTest {
 protected:
  void OverwriteMode() {
    prefs().removeSaved = 0;
    prefs().sameFolder = 1;
    prefs().naming = kNamingSame;
    prefs().outputFormat = 0;
    prefs().showSavePrefs = 0;
  }
  // Visible edits, so that a saved image differs from its input.
  void EditAll() {
    for (int32_t i = 0; i < BatchlineCount(ctx()); ++i) {
      TavelinPars p = StoredPars(i);
      p.brightness = 0.7f;
      p.saturation = 0.3f;
      JobRecordWrite w;
      w.pars = &p;
      ASSERT_EQ(WriteJobRecord(ctx()->batch.files.data, ctx()->batch.entries[i], w), 0);
    }
  }
};

TEST_F(PipelineTest, OutputFormatDepthAndPathFollowThePreferences) {
  struct Case {
    int32_t inFormat, inMax, pref;
    int32_t format, max;
    const char* leaf;
  } cases[] = {
      {kRasTiff16, 65535, 0, kRasTiff16, 65535, "photo-zV.tif"},
      {kRasTiff16, 65535, kRasTiff, kRasTiff16, 65535, "photo-zV.tif"},
      {kRasTiff16, 65535, kRasJpeg, kRasJpeg, 255, "photo-zV.jpg"},
      {kRasTiff16, 65535, kRasBmp, kRasBmp, 255, "photo-zV.bmp"},
      {kRasJpeg, 255, kRasTiff, kRasTiff, 255, "photo-zV.tif"},
      {kRasJpeg, 255, 0, kRasJpeg, 255, "photo-zV.jpg"},
  };
  for (const Case& c : cases) {
    ctx()->imagePath = "/pics/photo.tif";
    ctx()->input.format = c.inFormat;
    ctx()->input.maxValue = c.inMax;
    prefs().outputFormat = c.pref;
    ASSERT_EQ(ChooseOutput(ctx(), SaveSettingsOf(prefs())), 0);
    EXPECT_EQ(ctx()->output.format, c.format) << c.leaf;
    EXPECT_EQ(ctx()->output.maxValue, c.max) << c.leaf;
    EXPECT_EQ(ctx()->outputPath, std::string("/pics/") + c.leaf);
  }
  // A camera raw file cannot be written as it came.
  ctx()->input.format = kRasCameraRaw;
  prefs().outputFormat = 0;
  host_.answers = {1, 0};
  EXPECT_EQ(ChooseOutput(ctx(), SaveSettingsOf(prefs())), kCancelled);
  ASSERT_EQ(ChooseOutput(ctx(), SaveSettingsOf(prefs())), 0);
  EXPECT_EQ(ctx()->output.format, kRasTiff16);
  EXPECT_EQ(host_.Of(Kind::Question)[0].text, "Cannot save as RAW, saving 16-bit TIFF instead.");
  EXPECT_EQ(host_.Count(Kind::Alert), 0);

  EXPECT_EQ(JpegQualityFromPrefs(0.8f), 80);
  EXPECT_EQ(JpegQualityFromPrefs(0.125f), 13);  // half away from zero
  EXPECT_EQ(JpegQualityFromPrefs(1.0f), 100);
}

// Add, the record, save: a JPEG with EXIF data and a profile, and a 16-bit
// TIFF, read back by ImageMagick and exiftool.
TEST_F(PipelineTest, SavedImagesCarryTheWorkingSpaceProfileAndExifWithoutThumbnail) {
  if (!HavePeer("identify") || !HavePeer("exiftool")) GTEST_SKIP() << "needs ImageMagick and exiftool";
  const std::string jpg = Img("photo.jpg"), tif = Img("scan.tif");
  ASSERT_EQ(WriteTestImage(jpg, kRasJpeg, 120, 80, 3, app_.tempFolder + "AdobeRGB1998.icc",
                           TestData("imagefile/exif_thumb.jpg")),
            0);
  ASSERT_EQ(WriteTestImage(tif, kRasTiff16, 90, 60), 0);
  std::string out;
  ASSERT_EQ(RunCommand("exiftool -s -s -s -ThumbnailLength '" + jpg + "'", &out), 0);
  ASSERT_EQ(out, "287\n");  // the input has an EXIF thumbnail

  prefs().colourStartWith = 0;  // Brivio
  prefs().showSavePrefs = 0;
  ASSERT_EQ(Add({jpg, tif}), 0);
  ASSERT_EQ(SelectAll(ctx()), 0);
  ASSERT_EQ(SaveSelected(ctx()), 0);
  EXPECT_EQ(host_.Count(Kind::Alert), 0);
  EXPECT_EQ(BatchlineCount(ctx()), 0);  // saved images leave the Batchline
  EXPECT_FALSE(FileExists(ctx()->batch.files.header));
  EXPECT_FALSE(HasTempFile(root_ + "img/"));
  EXPECT_EQ(Texts(Kind::ProgressOpen).back(), "Processing 2 images...");

  const std::string outJpg = Img("photo-zV.jpg"), outTif = Img("scan-zV.tif");
  ASSERT_EQ(RunCommand("identify -format '%w %h %z %[icc:description]\\n' '" + outJpg + "' '" + outTif + "'", &out), 0);
  EXPECT_EQ(out, "120 80 8 sRGB IEC61966-2.1\n90 60 16 sRGB IEC61966-2.1\n");
  ASSERT_EQ(RunCommand("exiftool -s -s -s -Make -ThumbnailImage '" + outJpg + "'", &out), 0);
  EXPECT_EQ(out, "Tavelin\n");  // the EXIF data, without its thumbnail
  // The Adobe RGB input was converted: its pixels are not the saved ones.
  EXPECT_NE(Samples(outJpg), Samples(jpg));
}

TEST_F(PipelineTest, SavingOverTheInputGoesThroughATemporaryFile) {
  OverwriteMode();
  const std::string a = Img("a.tif"), b = Img("b.tif");
  ASSERT_EQ(WriteTestImage(a, kRasTiff, 64, 48), 0);
  ASSERT_EQ(WriteTestImage(b, kRasTiff, 64, 48), 0);
  ASSERT_EQ(Add({a, b}), 0);
  EditAll();
  const auto before = Samples(a);
  ASSERT_EQ(SelectAll(ctx()), 0);
  ASSERT_EQ(SaveSelected(ctx()), 0);
  EXPECT_NE(Samples(a), before);  // replaced by the corrected image
  EXPECT_EQ(FolderLeaves(root_ + "img/"), (std::vector<std::string>{"a.tif", "b.tif"}));
  // The entries stay and now describe the saved files.
  ASSERT_EQ(BatchlineCount(ctx()), 2);
  EXPECT_TRUE(ParsAtDefaults(StoredPars(0)));
  std::string profile;
  JobEntry e = ctx()->batch.entries[0];
  JobRecordRead r;
  r.profilePath = &profile;
  ASSERT_EQ(ReadJobRecord(ctx()->batch.files.data, e, r), 0);
  EXPECT_EQ(profile, app_.workingSpace.profilePath);

  // Another letter case on this case-sensitive file system is another file;
  // a link to the input at the chosen name is replaced, the input stays.
  ASSERT_EQ(SetUpImages(ctx(), 32, 32), 0);
  ASSERT_EQ(SelectEntries(ctx(), {0, 1}, 1), 0);
  ctx()->pars.contrast = 0.8f;
  ASSERT_EQ(::symlink(b.c_str(), Img("alias.tif").c_str()), 0);
  const auto bBefore = Samples(b);
  host_.files = {{Img("B.TIF")}};
  ASSERT_EQ(SaveCurrentAs(ctx()), 0);
  EXPECT_EQ(Samples(b), bBefore);
  EXPECT_EQ(Samples(Img("B.TIF")).size(), bBefore.size());
  EXPECT_EQ(host_.Count(Kind::Message), 0);
  host_.files = {{Img("alias.tif")}};
  ASSERT_EQ(SaveCurrentAs(ctx()), 0);
  EXPECT_EQ(Samples(b), bBefore);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Img("alias.tif"))));
  EXPECT_EQ(Samples(Img("alias.tif")), Samples(Img("B.TIF")));
  EXPECT_EQ(host_.Count(Kind::Message), 0);
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{a, b}));
  // The input's own name replaces the input: its entry is closed and removed.
  host_.files = {{b}};
  ASSERT_EQ(SaveCurrentAs(ctx()), 0);
  EXPECT_NE(Samples(b), bBefore);
  EXPECT_EQ(Texts(Kind::Message), std::vector<std::string>{"b.tif was overwritten, so it will be closed."});
  EXPECT_EQ(ListPaths(), std::vector<std::string>{a});
  EXPECT_FALSE(HasTempFile(root_ + "img/"));
}

// The window's Save plans every output first: an image whose output would
// replace another image of the Batchline is not saved, and says which.
TEST_F(PipelineTest, SaveRefusesAnOutputThatWouldReplaceAnotherImage) {
  prefs().showSavePrefs = 0;
  const std::string a = Img("beach.tif"), b = Img("beach-zV.tif");
  ASSERT_EQ(WriteTestImage(a, kRasTiff, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(b, kRasTiff, 40, 30, 3, "", "", 0.5), 0);
  ASSERT_EQ(Add({a, b}), 0);
  EditAll();
  const auto before = FileBytes(b);
  ASSERT_EQ(SelectAll(ctx()), 0);
  EXPECT_EQ(SaveSelected(ctx()), kBadArg);
  EXPECT_EQ(FileBytes(b), before);
  EXPECT_TRUE(FileExists(Img("beach-zV-zV.tif")));
  ASSERT_EQ(host_.Count(Kind::Alert), 1);
  EXPECT_EQ(host_.Of(Kind::Alert)[0].text, "A problem occurred while saving beach.tif.");
  EXPECT_EQ(host_.Of(Kind::Alert)[0].detail, "Its output would replace " + b + ", an input of this run.");
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{a, b}));  // nothing leaves the Batchline after a failure
}

TEST_F(PipelineTest, CancelledSaveLeavesTheInputIntact) {
  OverwriteMode();
  const std::string a = Img("a.tif");
  ASSERT_EQ(WriteTestImage(a, kRasTiff, 200, 150), 0);
  ASSERT_EQ(Add({a}), 0);
  EditAll();
  const auto before = FileBytes(a);
  host_.cancelAtStep = 40;  // in the middle of the rows
  host_.answers = {0};      // "Cancel" the saving process
  EXPECT_EQ(SaveSelected(ctx()), kCancelled);
  EXPECT_EQ(FileBytes(a), before);
  EXPECT_FALSE(HasTempFile(root_ + "img/"));
  const auto q = host_.Of(Kind::Question);
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].text, "Are you sure you want to cancel the saving process?");
  EXPECT_EQ(host_.Count(Kind::Alert), 0);
  EXPECT_EQ(BatchlineCount(ctx()), 1);

  // "Continue" goes on to the end.
  host_.Clear();
  host_.cancelAtStep = 40;
  host_.answers = {1};
  ASSERT_EQ(SaveSelected(ctx()), 0);
  EXPECT_NE(FileBytes(a), before);

  // Outside a batch a cancel ends the save at once, without asking.
  host_.cancelAtStep = -1;
  ASSERT_EQ(SetUpImages(ctx(), 32, 32), 0);
  ASSERT_EQ(SelectEntries(ctx(), {1}, 0), 0);
  const auto saved = FileBytes(a);
  host_.Clear();
  host_.cancelAtStep = 20;
  host_.files = {{a}};
  EXPECT_EQ(SaveCurrentAs(ctx()), kCancelled);
  EXPECT_EQ(host_.Count(Kind::Question), 0);
  EXPECT_EQ(FileBytes(a), saved);
  EXPECT_FALSE(HasTempFile(root_ + "img/"));
}

// A disk that fills up half way through: the input stays, the temporary
// file goes, the batch asks "Save remaining images?" and saves the rest.
TEST_F(PipelineTest, FailedSaveRemovesItsTemporaryFileAndTheBatchGoesOn) {
  OverwriteMode();
  const std::string big = Img("a.tif"), small = Img("b.tif");
  ASSERT_EQ(WriteTestImage(big, kRasTiff, 400, 300), 0);  // 360 KB of pixels
  ASSERT_EQ(WriteTestImage(small, kRasTiff, 40, 30), 0);
  ASSERT_EQ(Add({big, small}), 0);
  EditAll();
  ASSERT_EQ(SelectAll(ctx()), 0);
  const auto bigBefore = FileBytes(big), smallBefore = FileBytes(small);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{200000, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    host_.answers = {0};  // "Save" the remaining images
    const Status st = SaveSelected(ctx());
    const auto q = host_.Of(Kind::Question);
    const bool asked = q.size() == 1 && q[0].text == "Save remaining images?";
    _exit((st == kWriteErr ? 1 : 0) | (asked ? 2 : 0) | (host_.Count(Kind::Alert) == 1 ? 4 : 0));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_EQ(FileBytes(big), bigBefore);
  EXPECT_NE(FileBytes(small), smallBefore);
  EXPECT_FALSE(HasTempFile(root_ + "img/"));
}

TEST_F(PipelineTest, DisplayImageIsReadThroughTheInputTransform) {
  ASSERT_EQ(SetUpImages(ctx(), 100, 80), 0);
  const std::string plain = Img("a.tif"), wide = Img("b.tif");
  ASSERT_EQ(WriteTestImage(plain, kRasTiff, 300, 200), 0);
  ASSERT_EQ(WriteTestImage(wide, kRasTiff, 300, 200, 3, app_.tempFolder + "WideGamutRGB.icc"), 0);
  ASSERT_EQ(Add({plain, wide}), 0);
  ASSERT_TRUE(ctx()->imageOpen);
  EXPECT_EQ(ctx()->inputQX, nullptr);
  EXPECT_EQ(ctx()->image0.width, 100);
  EXPECT_EQ(ctx()->image0.height, 67);
  EXPECT_TRUE(ctx()->scaled);
  const std::vector<uint8_t> unconverted(ctx()->image0.data.get(), ctx()->image0.data.get() + 100 * 67 * 3);
  ASSERT_EQ(SelectEntries(ctx(), {0, 1}, 1), 0);
  ASSERT_TRUE(ctx()->imageOpen);
  EXPECT_NE(ctx()->inputQX, nullptr);
  const std::vector<uint8_t> converted(ctx()->image0.data.get(), ctx()->image0.data.get() + 100 * 67 * 3);
  EXPECT_NE(converted, unconverted);
  EXPECT_EQ(ctx()->image1.width, 100);
  EXPECT_EQ(Texts(Kind::ProgressOpen).back(), "Reading b.tif...");
}
