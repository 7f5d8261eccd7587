// The current working space: the start-up (profiles written to the temporary
// folder, the monitor transform built) and setting up another space.
#include <gtest/gtest.h>

#include <filesystem>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/iccxform.h"
#include "colormgmt/workspace.h"
#include "base/uistate.h"
#include "support/app_fixture.h"

namespace {

using namespace cmtest;
using Kind = ScriptedHost::Kind;

class WorkspaceTest : public AppFixture {};

TEST_F(WorkspaceTest, StartUpWritesProfilesAndBuildsMonitorTransform) {
  WorkingSpace ws;
  ws.index = 15;      // out of range in the preferences: the default space
  ws.gridIndex = 2;
  ASSERT_EQ(WorkingSpaceStartUp(ws), 0);
  std::string temp;
  ASSERT_EQ(Ui_Path_SetToTempFolder(temp), 0);
  EXPECT_EQ(ws.tempFolder, temp);
  EXPECT_EQ(ws.index, 13);
  EXPECT_EQ(ws.profilePath, temp + "sRGB Color Space Profile.icm");
  for (int i = 0; i < kWorkingSpaceCount; ++i) EXPECT_TRUE(FileExists(WorkingSpaceProfilePath(temp, i))) << i;
  RefRGB want;
  FillRefRGB(13, &want);
  EXPECT_TRUE(RefRgbMatch(ws.refRGB, want));
  ASSERT_TRUE(ws.monitorQX);
  EXPECT_EQ(ws.monitorQX->in[0].samples, 11);
  EXPECT_EQ(ws.monitorQX->precision, kQX8Bit);
  EXPECT_EQ(host().Count(Kind::Alert), 0);
}

// Another space: profile path, refRGB and monitor transform change together;
// the open image is rebuilt; an index out of range changes nothing.
TEST_F(WorkspaceTest, SetUpAnotherSpace) {
  WorkingSpace ws;
  ws.tempFolder = FreshDir("ws_setup");
  ASSERT_EQ(WriteWorkingSpaceProfiles(ws.tempFolder), 0);
  ws.index = 11;
  ws.gridIndex = 0;
  int rebuilt = 0;
  ASSERT_EQ(SetUpWorkingSpace(ws, [&] { ++rebuilt; return kOk; }), 0);
  EXPECT_EQ(rebuilt, 1);
  EXPECT_EQ(ws.profilePath, ws.tempFolder + "ProPhoto.icm");
  EXPECT_FLOAT_EQ(ws.refRGB.gamma, 1.8f);
  ASSERT_TRUE(ws.monitorQX);
  const Tintmesh* before = ws.monitorQX.get();

  ws.index = -1;
  EXPECT_EQ(SetUpWorkingSpace(ws, [&] { ++rebuilt; return kOk; }), kBadArg);
  EXPECT_EQ(rebuilt, 1);
  EXPECT_EQ(ws.profilePath, ws.tempFolder + "ProPhoto.icm");
  EXPECT_EQ(ws.monitorQX.get(), before);

  // A missing profile file: no monitor transform, the image still rebuilt,
  // the first failure returned.
  ws.index = 4;
  std::filesystem::remove(ws.tempFolder + "CIERGB.icc");
  EXPECT_EQ(SetUpWorkingSpace(ws, [&] { ++rebuilt; return kUnsupported; }), kSysErr);
  EXPECT_EQ(rebuilt, 2);
  EXPECT_FALSE(ws.monitorQX);
  EXPECT_EQ(host().Count(Kind::Alert), 0);
}

// A monitor transform that cannot be built is reported and the start-up goes on.
TEST_F(WorkspaceTest, StartUpGoesOnWithoutMonitorTransform) {
  Ui_ICC_SetMonitorProfileHook([](std::vector<uint8_t>& p) {
    p.assign(300, 5);
    return kOk;
  });
  WorkingSpace ws;
  EXPECT_EQ(WorkingSpaceStartUp(ws), 0);
  Ui_ICC_SetMonitorProfileHook({});
  EXPECT_FALSE(ws.monitorQX);
  ASSERT_EQ(host().Count(Kind::Alert), 1);
  EXPECT_EQ(host().Of(Kind::Alert)[0].text,
            "A data format error occurred while creating working space to monitor color transform.");
}

// Changing the working space: which question is asked, what undo keeps,
// and the order of the steps that follow.
TEST_F(WorkspaceTest, ChangeWorkingSpace) {
  WorkingSpace ws;
  ASSERT_EQ(WorkingSpaceStartUp(ws), 0);
  const std::string path = ws.profilePath;
  const Tintmesh* monitor = ws.monitorQX.get();
  const char* kOpen = "Changing the working space while an image is open may change the effects of the current edits.";
  const char* kStart = "Changing the working space will invalidate the 'Start With' previous and custom settings.";
  struct Case {
    bool imageOpen;
    int32_t startWith;
    const char* question;
  };
  const Case cases[] = {{true, 2, kOpen}, {true, 3, kOpen}, {false, 1, kStart}, {false, 3, kStart}};
  for (const Case& c : cases) {
    host().Clear();
    host().answers = {1};  // "Undo Working Space Change"
    WorkingSpaceChange change;
    change.imageOpen = c.imageOpen;
    change.startWith = c.startWith;
    bool touched = false;
    change.resetPreviousSettings = [&] { touched = true; };
    EXPECT_EQ(ChangeWorkingSpace(ws, 0, change), kCancelled);
    ASSERT_EQ(host().Count(Kind::Question), 1);
    EXPECT_EQ(host().Of(Kind::Question)[0].text, c.question);
    EXPECT_EQ(ws.index, 13);
    EXPECT_EQ(ws.profilePath, path);
    EXPECT_EQ(ws.monitorQX.get(), monitor);
    EXPECT_FLOAT_EQ(ws.refRGB.primaries[2], 0.3f);
    EXPECT_FALSE(touched);
  }

  // No image, Start With defaults: no question; the image hooks are not run.
  host().Clear();
  std::vector<std::string> steps;
  WorkingSpaceChange change;
  change.startWith = 2;
  change.rebuildImage = [&] { steps.push_back("rebuild"); return kOk; };
  change.resetPreviousSettings = [&] { steps.push_back("reset"); };
  change.retargetImage = [&](const RefRGB&) { steps.push_back("retarget"); return kOk; };
  ASSERT_EQ(ChangeWorkingSpace(ws, 0, change), 0);
  EXPECT_EQ(host().Count(Kind::Question), 0);
  EXPECT_EQ(steps, (std::vector<std::string>{"reset"}));
  EXPECT_EQ(ws.profilePath, ws.tempFolder + "AdobeRGB1998.icc");
  EXPECT_FLOAT_EQ(ws.refRGB.primaries[2], 0.21f);

  // With an image, OK: every step in order; a refused refRGB is reported.
  OpenState(1);
  ClearLog();
  steps.clear();
  change.imageOpen = true;
  change.retargetImage = [&](const RefRGB& r) {
    steps.push_back("retarget");
    return r.gamma == 1.8f ? kBadArg : kOk;
  };
  host().answers = {0};
  EXPECT_EQ(ChangeWorkingSpace(ws, 1, change), kBadArg);
  EXPECT_EQ(steps, (std::vector<std::string>{"rebuild", "reset", "retarget"}));
  EXPECT_EQ(ws.index, 1);
  ASSERT_EQ(host().Count(Kind::Alert), 1);
  EXPECT_EQ(host().Of(Kind::Alert)[0].text, "A problem occurred while verifying the RGB working space.");
  EXPECT_NE(LogText().find("refRGB: 1.800000, 0.950467 1.000000 1.088969, 0.625000 0.340000"), std::string::npos);
}

}  // namespace
