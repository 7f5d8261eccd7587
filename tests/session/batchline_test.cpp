// The Batchline's operations driven as the window drives them, with a
// scripted host answering the questions: add (order, duplicates, refusals,
// thumbnails), select/apply/advance, sync, remove, the unfinished job, job
// files, exit, and the labels of the buttons and menu items.
#include <gtest/gtest.h>

#include "colormgmt/workspace.h"
#include "imagefile/imagefile_support.h"
#include "session/jobfile.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "session/session_support.h"

namespace {
using Kind = ScriptedHost::Kind;
}

class BatchlineTest : public SessionTest {
 protected:
  // Small RGB TIFFs named `leaves` in the image folder; their paths.
  std::vector<std::string> Images(const std::vector<std::string>& leaves, uint32_t w = 24, uint32_t h = 16) {
    std::vector<std::string> out;
    for (const std::string& leaf : leaves) {
      const std::string ext = leaf.substr(leaf.rfind('.') + 1);
      const int32_t format = ext == "jpg" ? kRasJpeg : ext == "bmp" ? kRasBmp : ext == "tga" ? kRasTarga : kRasTiff;
      EXPECT_EQ(WriteTestImage(Img(leaf), format, w, h), 0) << leaf;
      out.push_back(Img(leaf));
    }
    return out;
  }
};

TEST_F(BatchlineTest, AddSortsByNameAndRefusesDuplicates) {
  const auto files = Images({"b.tif", "ab.tif", "B.tif", "a.jpg", "a.bmp"});
  ASSERT_EQ(Add(files), 0);
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{Img("a.bmp"), Img("a.jpg"), Img("ab.tif"), Img("B.tif"), Img("b.tif")}));
  EXPECT_EQ(BatchlineCurrent(ctx()), 0);
  EXPECT_EQ(ctx()->batch.selected, (std::vector<uint8_t>{1, 0, 0, 0, 0}));
  EXPECT_TRUE(FileExists(ctx()->batch.files.header));
  EXPECT_EQ(Texts(Kind::ProgressOpen), std::vector<std::string>{"Loading images..."});

  // The same file again: a message, nothing added.
  EXPECT_EQ(Add({Img("b.tif")}), kCancelled);
  EXPECT_EQ(Add({Img("b.tif"), Img("a.jpg")}), kCancelled);
  EXPECT_EQ(Texts(Kind::Message),
            (std::vector<std::string>{"This image has already been loaded.", "These images have already been loaded."}));
  EXPECT_EQ(BatchlineCount(ctx()), 5);

  // Some already there: "Load Others" adds the rest, Cancel nothing.
  const auto more = Images({"c.tif", "d.tif"});
  host_.answers = {1};
  EXPECT_EQ(Add({more[0], Img("a.bmp")}), kCancelled);
  EXPECT_EQ(BatchlineCount(ctx()), 5);
  host_.answers = {0};
  EXPECT_EQ(Add({more[0], Img("a.bmp"), more[1]}), 0);
  EXPECT_EQ(BatchlineCount(ctx()), 7);
  const auto questions = host_.Of(Kind::Question);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[1].text, "Some of these images have already been loaded. Load others?");
  EXPECT_EQ(questions[1].detail, "Load Others");
  EXPECT_EQ(ListPaths().back(), more[1]);
}

TEST_F(BatchlineTest, RefusedFilesEndTheAddOrAreSkipped) {
  const auto good = Images({"a.tif", "z.tif"});
  std::filesystem::copy_file(TestData("imagefile/lab.tif"), Img("g.tif"));  // Lab: not converted
  ASSERT_EQ(WriteTestImage(Img("m.cin"), kRasCineon, 10, 10), 0);
  WriteFileText(Img("n.jpg"), "not an image");

  struct Case {
    std::string path;
    std::string text;    // the alert's message
    std::string detail;  // its explanation
  } cases[] = {
      {Img("g.tif"), "A data format error occurred", "g.tif is not an RGB image."},
      {Img("m.cin"), "A data format error occurred", "m.cin is an unsupported file type."},
      // The reader's reason follows the file's name, as `info` gives it.
      {Img("n.jpg"), "A data format error occurred while reading image file n.jpg (not an image file of a known format).",
       "Make sure you have selected the correct type of file."},
  };
  for (const Case& c : cases) {
    host_.Clear();
    AddImagesResult result;
    EXPECT_NE(Add({good[0], c.path, good[1]}, &result), 0) << c.path;
    // The first refused file ends the add: a.tif stays, z.tif is not added.
    EXPECT_EQ(ListPaths(), std::vector<std::string>{good[0]}) << c.path;
    ASSERT_EQ(host_.Count(Kind::Alert), 1) << c.path;
    EXPECT_EQ(host_.Of(Kind::Alert)[0].text, c.text);
    EXPECT_EQ(host_.Of(Kind::Alert)[0].detail, c.detail);
    ASSERT_EQ(ExitEditing(ctx()), 0);
  }
  // The command-line tool goes on past a refused file.
  AddImagesResult result;
  EXPECT_NE(Add({good[0], Img("g.tif"), good[1]}, &result, true), 0);
  EXPECT_EQ(ListPaths(), good);
  ASSERT_EQ(result.refused.size(), 1u);
  EXPECT_EQ(result.refused[0].first, Img("g.tif"));
  EXPECT_EQ(result.refused[0].second, kFormatErr);
}

TEST_F(BatchlineTest, ThumbnailsFitTheBoxWithoutEnlarging) {
  struct Case {
    uint32_t w, h, tw, th;
  } cases[] = {{4000, 3000, 180, 135}, {300, 200, 150, 100}, {100, 50, 50, 25}};
  for (const Case& c : cases) {
    const std::string path = Img(std::to_string(c.w) + ".tif");
    ASSERT_EQ(WriteTestImage(path, kRasTiff, c.w, c.h), 0);
    ASSERT_EQ(Add({path}), 0);
    Thumbnail t;
    ASSERT_EQ(BatchlineThumbnail(ctx(), BatchlineCount(ctx()) - 1, &t), 0);
    EXPECT_EQ(t.width, c.tw) << c.w;
    EXPECT_EQ(t.height, c.th) << c.w;
    std::remove(path.c_str());
  }
}

// A file whose orientation says "turned 90°" shows its thumbnail upright.
TEST_F(BatchlineTest, ThumbnailsStandAsTheOrientationSays) {
  if (RunCommand("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
  const std::string path = Img("turned.jpg");
  ASSERT_EQ(WriteTestImage(path, kRasJpeg, 300, 200), 0);
  ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -Orientation#=6 '" + path + "' >/dev/null 2>&1"), 0);
  ASSERT_EQ(Add({path}), 0);
  Thumbnail t;
  ASSERT_EQ(BatchlineThumbnail(ctx(), 0, &t), 0);
  EXPECT_EQ(t.width, 100u);
  EXPECT_EQ(t.height, 150u);
}

TEST_F(BatchlineTest, ApplyAdvancesAndWrapsCancelDropsTheEdits) {
  ASSERT_EQ(SetUpImages(ctx(), 64, 48), 0);
  Images({"a.tif", "b.tif", "c.tif"});
  ASSERT_EQ(Add({Img("a.tif"), Img("b.tif"), Img("c.tif")}), 0);
  ASSERT_TRUE(ctx()->imageOpen);  // the first entry is shown
  Thumbnail before, after;
  ASSERT_EQ(BatchlineThumbnail(ctx(), 0, &before), 0);

  ctx()->pars.brightness = 0.7f;
  ASSERT_EQ(ApplyAndAdvance(ctx()), 0);
  EXPECT_FLOAT_EQ(StoredPars(0).brightness, 0.7f);
  EXPECT_FLOAT_EQ(prefs().previous.brightness, 0.7f);
  ASSERT_EQ(BatchlineThumbnail(ctx(), 0, &after), 0);
  EXPECT_NE(std::vector<uint8_t>(before.data.get(), before.data.get() + before.dataSize),
            std::vector<uint8_t>(after.data.get(), after.data.get() + after.dataSize));
  EXPECT_EQ(BatchlineCurrent(ctx()), 1);
  EXPECT_TRUE(ctx()->imageOpen);

  ctx()->pars.contrast = 0.8f;
  ASSERT_EQ(CancelAndAdvance(ctx()), 0);
  EXPECT_FLOAT_EQ(StoredPars(1).contrast, 0.5f);
  EXPECT_EQ(BatchlineCurrent(ctx()), 2);
  ASSERT_EQ(ApplyAndAdvance(ctx()), 0);  // on the last entry: the first becomes current
  EXPECT_EQ(BatchlineCurrent(ctx()), 0);
  EXPECT_FLOAT_EQ(ctx()->pars.brightness, 0.7f);  // its stored edits are loaded

  // A click elsewhere applies without asking.
  ctx()->pars.brightness = 0.3f;
  ASSERT_EQ(SelectEntries(ctx(), {0, 0, 0}, 1), 0);
  EXPECT_FLOAT_EQ(StoredPars(0).brightness, 0.3f);
  EXPECT_EQ(ctx()->batch.selected, (std::vector<uint8_t>{0, 1, 0}));  // nothing selected: the current one
  EXPECT_EQ(host_.Count(Kind::Question), 0);

  // Exit asks about the open image's edits; Cancel stops it.
  ctx()->pars.shadow = 0.6f;
  host_.answers = {2};
  EXPECT_EQ(ExitEditing(ctx()), kCancelled);
  EXPECT_TRUE(FileExists(ctx()->batch.files.header));
  const auto q = host_.Of(Kind::Question).back();
  EXPECT_EQ(q.caption, "Save changes before closing");
  EXPECT_EQ(q.text, "Do you want to Apply the changes you made to b.tif?");
  host_.answers = {0};
  EXPECT_EQ(ExitEditing(ctx()), 0);
  EXPECT_FALSE(FileExists(ctx()->batch.files.header));
  EXPECT_FALSE(FileExists(ctx()->batch.files.data));
}

TEST_F(BatchlineTest, SyncCopiesByThePreferences) {
  Images({"a.tif", "b.tif", "c.tif"});
  ASSERT_EQ(Add({Img("a.tif"), Img("b.tif")}), 0);
  EXPECT_FALSE(GetBatchlineLabels(ctx()).syncButton.enabled);
  EXPECT_EQ(SyncSelected(ctx()), kUnsupported);  // one selected: not offered

  struct Case {
    bool colour, filters;
    float brightness;  // expected in the other entry
    uint8_t sharpen;
  } cases[] = {{true, true, 0.7f, 1}, {true, false, 0.7f, 0}, {false, true, 0.5f, 1}, {false, false, 0.5f, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(ExitEditing(ctx()), 0);
    ASSERT_EQ(Add({Img("a.tif"), Img("b.tif")}), 0);
    ASSERT_EQ(SelectAll(ctx()), 0);
    prefs().syncColour = c.colour;
    prefs().syncFilters = c.filters;
    ctx()->pars.brightness = 0.7f;
    ctx()->pars.sharpenOn = 1;
    ASSERT_EQ(SyncSelected(ctx()), 0);
    EXPECT_FLOAT_EQ(StoredPars(0).brightness, 0.7f);  // the current entry takes everything
    EXPECT_EQ(StoredPars(0).sharpenOn, 1);
    EXPECT_FLOAT_EQ(StoredPars(1).brightness, c.brightness) << c.colour << c.filters;
    EXPECT_EQ(StoredPars(1).sharpenOn, c.sharpen) << c.colour << c.filters;
  }
  EXPECT_EQ(host_.Count(Kind::Question), 0);
}

TEST_F(BatchlineTest, RemoveAsksForEditsAndTheLastRemovalDeletesTheJob) {
  // a.jpg embeds a profile: its entry keeps a temporary copy.
  ASSERT_EQ(WriteTestImage(Img("a.jpg"), kRasJpeg, 24, 16, 3, app_.tempFolder + "AdobeRGB1998.icc"), 0);
  Images({"b.tif", "c.tif"});
  ASSERT_EQ(Add({Img("a.jpg"), Img("b.tif"), Img("c.tif")}), 0);
  std::string profile;
  {
    JobEntry e = ctx()->batch.entries[0];
    JobRecordRead r;
    r.profilePath = &profile;
    ASSERT_EQ(ReadJobRecord(ctx()->batch.files.data, e, r), 0);
  }
  ASSERT_TRUE(Ui_Path_IsTempName(app_.tempFolder, profile)) << profile;
  ASSERT_TRUE(FileExists(profile));

  ASSERT_EQ(RemoveSelected(ctx()), 0);  // unedited: no question
  EXPECT_EQ(host_.Count(Kind::Question), 0);
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{Img("b.tif"), Img("c.tif")}));
  EXPECT_FALSE(FileExists(profile));
  EXPECT_EQ(BatchlineCurrent(ctx()), 0);

  // An entry with edits asks; Cancel keeps it.
  ASSERT_EQ(SetUpImages(ctx(), 32, 32), 0);
  ASSERT_EQ(SelectEntries(ctx(), {1, 0}, 0), 0);
  ctx()->pars.saturation = 0.2f;
  host_.answers = {1};
  EXPECT_EQ(RemoveSelected(ctx()), kCancelled);
  EXPECT_EQ(host_.Of(Kind::Question).back().text, "Are you sure you want to remove edited images from the Batchline?");
  EXPECT_EQ(BatchlineCount(ctx()), 2);
  ASSERT_EQ(SelectAll(ctx()), 0);
  host_.answers = {0};
  ASSERT_EQ(RemoveSelected(ctx()), 0);
  EXPECT_EQ(BatchlineCount(ctx()), 0);
  EXPECT_EQ(BatchlineCurrent(ctx()), -1);
  EXPECT_FALSE(FileExists(ctx()->batch.files.header));
  EXPECT_FALSE(FileExists(ctx()->batch.files.data));

  host_.Clear();
  Restart();
  ASSERT_EQ(OfferUnfinishedJob(ctx()), 0);
  EXPECT_EQ(host_.Count(Kind::Question), 0);
}

// A run that ends without Exit leaves the job; the next start offers it.
TEST_F(BatchlineTest, UnfinishedJobIsOfferedAtTheNextStart) {
  Images({"a.tif", "b.tif"});
  ASSERT_EQ(Add({Img("a.tif"), Img("b.tif")}), 0);
  Restart();
  EXPECT_EQ(BatchlineCount(ctx()), 0);
  host_.answers = {0};
  ASSERT_EQ(OfferUnfinishedJob(ctx()), 0);
  const auto q = host_.Of(Kind::Question);
  ASSERT_EQ(q.size(), 1u);
  EXPECT_EQ(q[0].text, "Resume unfinished job?");
  EXPECT_EQ(q[0].detail, "Resume Job");
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{Img("a.tif"), Img("b.tif")}));
  EXPECT_EQ(BatchlineCurrent(ctx()), 0);
  EXPECT_EQ(ctx()->batch.selected, (std::vector<uint8_t>{1, 0}));

  // A second process finds the Batchline taken.
  EditContext other;
  ASSERT_EQ(InitEditContext(&other, &app_), 0);
  EXPECT_EQ(BatchlineOpen(&other), kSysErr);
  EXPECT_EQ(host_.Of(Kind::Alert).back().detail, "The Batchline is in use by another Brennic Tavelin Marvet process.");

  Restart();
  host_.answers = {1};  // New Job
  ASSERT_EQ(OfferUnfinishedJob(ctx()), 0);
  EXPECT_EQ(BatchlineCount(ctx()), 0);
  EXPECT_FALSE(FileExists(ctx()->batch.files.header));
}

TEST_F(BatchlineTest, SavedJobResumesWithItsRecords) {
  Images({"a.tif", "b.tif"});
  ASSERT_EQ(SetUpImages(ctx(), 32, 32), 0);
  ASSERT_EQ(Add({Img("a.tif"), Img("b.tif")}), 0);
  ctx()->pars.highlight = 0.35f;
  const std::string job = root_ + "work.job";
  host_.answers = {0};  // apply the open image's edits first
  ASSERT_EQ(SaveJob(ctx(), job), 0);
  EXPECT_TRUE(IsJobFile(job));
  // A single job file among images to add, with a full Batchline: refused.
  EXPECT_EQ(Add({job}), kUnsupported);
  EXPECT_EQ(host_.Of(Kind::Alert).back().detail, "You must process or clear the queue before resuming another job.");
  ASSERT_EQ(ExitEditing(ctx()), 0);

  ASSERT_EQ(Add({job}), 0);  // adding a job file resumes it
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{Img("a.tif"), Img("b.tif")}));
  EXPECT_FLOAT_EQ(StoredPars(0).highlight, 0.35f);
  EXPECT_FLOAT_EQ(StoredPars(1).highlight, 0.5f);
}

TEST_F(BatchlineTest, LabelsFollowTheSelection) {
  struct Case {
    std::vector<uint8_t> selected;  // empty: an empty Batchline
    bool savePrefs, syncPrefs;
    std::string sync, save, remove, saveMenu, removeMenu;
    bool syncOn, saveOn;
  } cases[] = {
      {{}, true, true, "Sync", "Save", "Remove", "Save", "Remove", false, false},
      {{1, 0, 0}, true, true, "Sync", "Save 1...", "Remove 1", "&Save 1 image...", "Remove 1 image from the Batchline", false, true},
      {{1, 1, 0}, false, true, "Sync 2...", "Save 2", "Remove 2", "&Save 2 images", "Remove 2 images from the Batchline", true, true},
      {{1, 1, 1}, true, false, "Sync all", "Save all...", "Remove all", "&Save all images...", "Remove all images from the Batchline", true, true},
  };
  Images({"a.tif", "b.tif", "c.tif"});
  for (const Case& c : cases) {
    ASSERT_EQ(ExitEditing(ctx()), 0);
    if (!c.selected.empty()) {
      ASSERT_EQ(Add({Img("a.tif"), Img("b.tif"), Img("c.tif")}), 0);
      ctx()->batch.selected = c.selected;
    }
    prefs().showSavePrefs = c.savePrefs;
    prefs().showSyncPrefs = c.syncPrefs;
    const BatchlineLabels l = GetBatchlineLabels(ctx());
    EXPECT_EQ(l.syncButton.text, c.sync);
    EXPECT_EQ(l.saveButton.text, c.save);
    EXPECT_EQ(l.removeButton.text, c.remove);
    EXPECT_EQ(l.saveMenu.text, c.saveMenu);
    EXPECT_EQ(l.removeMenu.text, c.removeMenu);
    EXPECT_EQ(l.syncButton.enabled, c.syncOn);
    EXPECT_EQ(l.saveButton.enabled, c.saveOn);
    EXPECT_EQ(l.removeMenu.enabled, c.saveOn);
    EXPECT_EQ(l.resumeJobMenu.enabled, c.selected.empty());
    EXPECT_FALSE(l.saveAsMenu.enabled);  // no image open
  }
}

TEST_F(BatchlineTest, NewEntriesStartWithThePreferredSettings) {
  Images({"a.tif"});
  prefs().previous.brightness = 0.6f;
  prefs().previous.sharpenOn = 1;
  prefs().custom.contrast = 0.7f;
  prefs().custom.denoiseOn = 1;
  struct Case {
    int32_t colour, filters;
    float brightness, contrast;
    uint8_t sharpen, denoise;
  } cases[] = {
      {1, 2, 0.6f, 0.5f, 0, 0},  // previous colour settings, filter defaults
      {3, 1, 0.5f, 0.7f, 1, 0},  // custom colour settings, previous filters
      {2, 3, 0.5f, 0.5f, 0, 1},  // reset, custom filters
  };
  for (const Case& c : cases) {
    ASSERT_EQ(ExitEditing(ctx()), 0);
    prefs().colourStartWith = c.colour;
    prefs().filterStartWith = c.filters;
    ASSERT_EQ(Add({Img("a.tif")}), 0);
    const TavelinPars p = StoredPars(0);
    EXPECT_FLOAT_EQ(p.brightness, c.brightness) << c.colour;
    EXPECT_FLOAT_EQ(p.contrast, c.contrast) << c.colour;
    EXPECT_EQ(p.sharpenOn, c.sharpen) << c.colour;
    EXPECT_EQ(p.denoiseOn, c.denoise) << c.colour;
  }
  // Brivio, on the thumbnail: a dim image is made brighter.
  ASSERT_EQ(ExitEditing(ctx()), 0);
  ASSERT_EQ(WriteTestImage(Img("dim.tif"), kRasTiff, 300, 200, 3, "", "", 0.35), 0);
  prefs().colourStartWith = 0;
  ASSERT_EQ(Add({Img("dim.tif")}), 0);
  const TavelinPars p = StoredPars(0);
  EXPECT_GT(p.brightness, 0.5f);
  EXPECT_FALSE(ParsAtDefaults(p));
  EXPECT_EQ(host_.Count(Kind::Alert), 0);
}

// A camera raw file is rendered linear in the working space: its entry
// takes the working space's profile (nothing converts it afterwards), its
// record the linear flag, and the editing view reads the pixels the raw
// module renders in those primaries (ProPhoto, then Adobe RGB).
TEST_F(BatchlineTest, CameraRawIsAddedLinearInTheWorkingSpace) {
  WriteBytes(Img("raw.dng"), MakeTestDng(32, 24, 10000, 30000, 1, 0, 14000));
  prefs().colourStartWith = 2;
  struct Case {
    int32_t workingSpace, libRawSpace;
  } cases[] = {{11, 4}, {0, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.workingSpace);
    ASSERT_EQ(ExitEditing(ctx()), 0);
    app_.workingSpace.index = c.workingSpace;
    ASSERT_EQ(SetUpWorkingSpace(app_.workingSpace), 0);
    ASSERT_EQ(Add({Img("raw.dng")}), 0);
    std::string profile;
    TavelinPars pars;
    JobRecordRead r;
    r.profilePath = &profile;
    r.pars = &pars;
    ASSERT_EQ(ReadJobRecord(ctx()->batch.files.data, ctx()->batch.entries[0], r), 0);
    EXPECT_EQ(profile, app_.workingSpace.profilePath);
    EXPECT_EQ(pars.linear, 1);

    ASSERT_EQ(SetUpImages(ctx(), 64, 64), 0);
    ASSERT_EQ(LoadEntryForEditing(ctx()), 0);
    EXPECT_EQ(ctx()->inputQX, nullptr);
    EXPECT_EQ(ctx()->pars.linear, 1);
    ReadOptions direct;
    direct.rawSpace = RawSpaceChromaticities(c.libRawSpace);
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(Img("raw.dng"), image, px, direct), kOk) << RasLastFailure();
    const PixelBuffer& im = ctx()->image0;
    ASSERT_EQ(im.width, 32);
    ASSERT_EQ(im.bytesPerSample, 2);
    for (uint32_t y : {4u, 19u})
      for (int k = 0; k < 3; ++k) EXPECT_EQ(im.Row<uint16_t>(k, (int32_t)y)[16 * im.pixelStep], px.At(16, y, k));
  }
}

// A record made in another working space asks before it is used.
TEST_F(BatchlineTest, RecordFromAnotherWorkingSpaceAsksFirst) {
  Images({"a.tif"});
  ASSERT_EQ(Add({Img("a.tif")}), 0);
  TavelinPars p = StoredPars(0);
  RefRGB adobe;
  ASSERT_EQ(FillRefRGB(0, &adobe), 0);
  ASSERT_EQ(SetRefRGB(&p, &adobe), 0);
  p.brightness = 0.65f;
  JobRecordWrite w;
  w.pars = &p;
  ASSERT_EQ(WriteJobRecord(ctx()->batch.files.data, ctx()->batch.entries[0], w), 0);
  ASSERT_EQ(SetUpImages(ctx(), 32, 32), 0);
  host_.answers = {1};
  EXPECT_EQ(LoadEntryForEditing(ctx()), kCancelled);
  EXPECT_FALSE(ctx()->imageOpen);
  EXPECT_EQ(host_.Of(Kind::Question).back().text,
            "The RGB working space has changed. Your saved settings may not produce the desired result.");
  host_.answers = {0};  // Use Anyway
  ASSERT_EQ(LoadEntryForEditing(ctx()), 0);
  EXPECT_TRUE(ctx()->imageOpen);
  EXPECT_FLOAT_EQ(ctx()->pars.brightness, 0.65f);
  EXPECT_TRUE(RefRgbMatch(ctx()->pars.refRGB, app_.workingSpace.refRGB));  // the live record stays in the working space
  EXPECT_EQ(host_.Count(Kind::Alert), 0);
}
