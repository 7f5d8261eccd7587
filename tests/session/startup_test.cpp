// Start-up and finish-up: the resources in the temporary folder, the
// preferences read and written, a damaged preferences file kept aside, the
// leak report, and the command-line file list.
#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

#include "base/debuglog.h"
#include "base/memory.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "session/session_support.h"

class StartUpTest : public SessionTest {};

TEST_F(StartUpTest, ResourcesWrittenAndPreferencesKept) {
  const std::string tmp = root_ + "tmp/tavelin-marvet-" + std::to_string(::geteuid()) + "/";
  EXPECT_EQ(app_.tempFolder, tmp);
  EXPECT_EQ(app_.helpPath, tmp + "TavelinMarvet Help");
  EXPECT_NE(ReadFileText(app_.helpPath).find("#2007"), std::string::npos);
  for (int i = 0; i < 15; ++i) EXPECT_TRUE(FileExists(tmp + ResString(1082 + i))) << i;
  EXPECT_EQ(app_.workingSpace.profilePath, tmp + "sRGB Color Space Profile.icm");
  EXPECT_TRUE(app_.workingSpace.monitorQX);
  EXPECT_FALSE(HasTempFile(tmp));  // the resources are renamed into place

  // A missing preferences file is written with the defaults; a changed
  // preference survives FinishUp and the next StartUp.
  EXPECT_EQ(app_.prefsPath, PrefsFolder() + "TavelinMarvet Prefs");
  EXPECT_TRUE(FileExists(app_.prefsPath));
  prefs().suffix = "-done";
  Restart();
  EXPECT_EQ(prefs().suffix, "-done");
  EXPECT_EQ(host_.Count(ScriptedHost::Kind::Alert), 0);
}

// The Part ends the run when the preferences cannot be read; here the damaged
// file is reported, kept aside, and the run goes on with the defaults.
TEST_F(StartUpTest, DamagedPreferencesAreKeptAsideAndDefaultsUsed) {
  prefs().suffix = "-mine";
  Finish();
  std::vector<unsigned char> bytes = FileBytes(PrefsFolder() + "TavelinMarvet Prefs");
  ASSERT_GT(bytes.size(), 40u);
  bytes.resize(bytes.size() / 2);  // cut in the middle of an entry
  WriteFileBytes(PrefsFolder() + "TavelinMarvet Prefs", bytes.data(), bytes.size());
  Start();
  ASSERT_EQ(host_.Count(ScriptedHost::Kind::Alert), 1);
  const auto alert = host_.Of(ScriptedHost::Kind::Alert)[0];
  EXPECT_NE(alert.text.find("reading Preferences file " + PrefsFolder() + "TavelinMarvet Prefs"), std::string::npos)
      << alert.text;
  EXPECT_EQ(alert.detail, "The damaged file was kept as TavelinMarvet Prefs.damaged; the preferences start from their defaults.");
  EXPECT_EQ(FileBytes(PrefsFolder() + "TavelinMarvet Prefs.damaged"), bytes);
  EXPECT_EQ(prefs().suffix, "-zV");
  host_.Clear();
  Restart();  // the fresh file reads without a word
  EXPECT_EQ(host_.Count(ScriptedHost::Kind::Alert), 0);
}

TEST_F(StartUpTest, FinishUpReportsBlocksStillAllocated) {
  void* leak = MemAlloc(10);
  const std::string log = PrefsFolder() + "QuiloDebug.txt";
  std::remove(log.c_str());
  Finish();  // diagnostics off: the leak report is written anyway
  const int64_t after = MemGetCounters().blocks;
  MemFree(leak);
  EXPECT_NE(ReadFileText(log).find("nMallocs = " + std::to_string(after)), std::string::npos) << ReadFileText(log);
  Start();
}

TEST(CommandLineTest, OnlyQuotedArgumentsCount) {
  const std::string longPath(300, 'p');
  struct Case {
    std::string line;
    std::vector<std::string> files;
  } cases[] = {
      {"\"/a/b.jpg\"", {"/a/b.jpg"}},
      {"/a/b.jpg", {}},
      {"\"/a/b.jpg\" \"/c", {"/a/b.jpg"}},  // three quotes: one argument
      {"x \"one two.tif\" y \"three.jpg\" z", {"one two.tif", "three.jpg"}},
      {"\"" + longPath + "\"", {longPath.substr(0, 254)}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> files;
    ASSERT_EQ(ParseCommandLine(c.line, &files), 0);
    EXPECT_EQ(files, c.files) << c.line;
  }
}

TEST(TempFileTest, CreatedExclusivelyAfterTakenNames) {
  const std::string dir = FreshDir("tempfile");
  WriteFileText(dir + "Quilo000000.tmp", "x");
  WriteFileText(dir + "Quilo000001.tmp", "y");
  std::string a, b;
  ASSERT_EQ(Ui_Path_CreateUniqueTempFile(dir, a), 0);
  EXPECT_EQ(a, dir + "Quilo000002.tmp");
  EXPECT_TRUE(FileExists(a));
  ASSERT_EQ(Ui_Path_CreateUniqueTempFile(dir, b), 0);  // the name just taken is not handed out again
  EXPECT_EQ(b, dir + "Quilo000003.tmp");
  EXPECT_EQ(Ui_Path_CreateUniqueTempFile(dir + "missing/", a), kOpenErr);
  EXPECT_EQ(Ui_Path_CreateUniqueTempFile(dir, a, dir.size() + 15), kBadArg);
}
