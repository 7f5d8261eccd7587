// The current working space: the start-up (profiles written to the temporary
// folder, the monitor transform built) and setting up another space.
#include <gtest/gtest.h>

#include <filesystem>

#include "colormgmt/colormgmt_testutil.h"
#include "colormgmt/iccxform.h"
#include "colormgmt/workspace.h"
#include "shell/uistate.h"
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

}  // namespace
