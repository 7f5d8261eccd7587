// The Batchline's run state across a run that ends without Exit: a resumed
// job skips the entries already saved (unless edited since), leaves out a
// file that is no longer the one added, and keeps image paths longer than
// its records hold.
#include <gtest/gtest.h>

#include <cstdio>

#include "session/runstate.h"
#include "session/session_support.h"

namespace {
using Kind = ScriptedHost::Kind;

class RunStateTest : public SessionTest {};

TEST_F(RunStateTest, ResumeSkipsSavedEntriesAndFilesReplacedSinceAdded) {
  const std::string deep = Img(std::string(130, 'd') + "/" + std::string(130, 'e') + "/");
  std::filesystem::create_directories(deep);
  const std::string a = deep + "a.tif", b = Img("b.tif"), c = Img("c.tif"), d = Img("d.tif");
  for (const std::string& p : {a, b, c, d}) ASSERT_EQ(WriteTestImage(p, kRasTiff, 40, 30), 0);
  ASSERT_GT(a.size(), 255u);
  prefs().showSavePrefs = 0;
  prefs().showSyncPrefs = 0;
  prefs().syncColour = 1;
  prefs().removeSaved = 0;
  ASSERT_EQ(Add({a, b, c, d}), 0);
  ASSERT_EQ(ListPaths(), (std::vector<std::string>{a, b, c, d}));

  // b and d are saved, and d edited again after; c is then replaced under
  // its name, as a save over itself does just before a run is killed,
  // before it could be marked.
  ASSERT_EQ(SelectEntries(ctx(), {0, 1, 0, 1}, 1), 0);
  ASSERT_EQ(SaveSelected(ctx()), 0);
  ASSERT_TRUE(FileExists(Img("b-zV.tif")) && FileExists(Img("d-zV.tif")));
  ctx()->pars.contrast = 0.8f;
  ASSERT_EQ(SelectEntries(ctx(), {1, 0, 0, 1}, 0), 0);
  ASSERT_EQ(SyncSelected(ctx()), 0);
  ASSERT_EQ(WriteTestImage(Img("new.tif"), kRasTiff, 40, 30, 3, "", "", 0.5), 0);
  ASSERT_EQ(std::rename(Img("new.tif").c_str(), c.c_str()), 0);
  Finish();

  Start();
  host_.answers = {0};  // Resume Job
  ASSERT_EQ(OfferUnfinishedJob(ctx()), 0);
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{a, d}));
  ASSERT_EQ(host_.Count(Kind::Alert), 1);
  EXPECT_EQ(host_.Of(Kind::Alert)[0].text, "An unsupported feature was encountered while resuming c.tif.");
  EXPECT_EQ(host_.Of(Kind::Alert)[0].detail,
            "The file changed after it was added (it may have been saved over itself already), so it is not "
            "corrected again.");

  // The long path survives another end without Exit, and saves.
  Finish();
  Start();
  host_.Clear();
  host_.answers = {0};
  ResumeSkips skips;
  ASSERT_EQ(OfferUnfinishedJob(ctx(), &skips), 0);
  EXPECT_EQ(ListPaths(), (std::vector<std::string>{a, d}));
  EXPECT_TRUE(skips.saved.empty() && skips.changed.empty());
  ASSERT_EQ(SelectAll(ctx()), 0);
  ASSERT_EQ(SaveSelected(ctx()), 0);
  EXPECT_TRUE(FileExists(deep + "a-zV.tif"));
  EXPECT_EQ(host_.Count(Kind::Alert), 0);
}

}  // namespace
