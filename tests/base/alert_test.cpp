#include <gtest/gtest.h>

#include <filesystem>

#include "base/alert.h"
#include "base/debuglog.h"
#include "base/strings.h"
#include "support/app_fixture.h"

using Kind = ScriptedHost::Kind;

class AlertTest : public AppFixture {};

TEST_F(AlertTest, MessageAndExplanationByStatus) {
  struct Case {
    Status status;
    const char* context;
    const char* message;
    const char* explanation;
  };
  const Case cases[] = {
      {kReadErr, "reading image file beach.tif", "A file read error occurred while reading image file beach.tif.",
       "Make sure the file has not been corrupted."},
      {kWriteErr, "writing file x", "A file write error occurred while writing file x.",
       "Make sure there is room for the file on the disk."},
      {kOpenErr, nullptr, "A file open error occurred",
       "For reading, make sure the file exists.\n\nFor writing, make sure your disk has enough room and is not locked."},
      {kSeekErr, nullptr, "A file seek error occurred", "Make sure the file has not been corrupted."},
      {kFormatErr, nullptr, "A data format error occurred", "Make sure you have selected the correct type of file."},
      {kBadArg, nullptr, "A problem occurred", ""},
      {kSysErr, nullptr, "An error occurred", ""},
      {kNoMem, nullptr, "There was not enough memory available", ""},
      {kUnsupported, "x", "An unsupported feature was encountered while x.", ""},
      {kTimeout, nullptr, "A timeout error occurred", ""},
      {-12, nullptr, "An unknown error occurred", ""},
      {7, nullptr, "An unknown error occurred", ""},
  };
  for (const Case& c : cases) {
    host().Clear();
    EXPECT_EQ(ReportError(c.status, c.context), c.status);
    auto alerts = host().Of(Kind::Alert);
    ASSERT_EQ(alerts.size(), 1u) << c.status;
    EXPECT_EQ(alerts[0].text, c.message);
    EXPECT_EQ(alerts[0].detail, c.explanation);
  }
}

TEST_F(AlertTest, CallerExplanationWins) {
  ReportError(kReadErr, "x", "Mine.");
  EXPECT_EQ(host().Of(Kind::Alert).at(0).detail, "Mine.");
}

TEST_F(AlertTest, CancelIsLoggedNeverShown) {
  OpenState(1);
  ClearLog();
  EXPECT_EQ(ReportError(kCancelled, "saving"), kCancelled);
  EXPECT_EQ(host().Count(Kind::Alert), 0);
  EXPECT_EQ(LogText(), "Ui_Alert_DoLucentoError -10\n");
}

TEST_F(AlertTest, NothingReportedWithoutState) {
  CloseState();
  EXPECT_EQ(ReportError(kReadErr, "x"), kReadErr);
  EXPECT_TRUE(host().events.empty());
}

TEST_F(AlertTest, AlertLogsStatusAndMessage) {
  OpenState(1);
  ClearLog();
  ReportError(kReadErr, Phrase(3012, "beach.tif"));
  EXPECT_EQ(LogText(),
            "Ui_Alert_DoLucentoError -5\n"
            "A file read error occurred while reading image file beach.tif.\n");
}

TEST_F(AlertTest, LogWrittenOnlyWhenEnabledOneLinePerCall) {
  ClearLog();
  for (int flag : {0, 2, -1}) EXPECT_EQ(Ui_Debug_Log(flag, "nothing"), 0);
  ReportError(kReadErr, "x");  // diagnostics off: alert shown, nothing logged
  EXPECT_FALSE(FileExists(LogPath()));
  EXPECT_EQ(host().Count(Kind::Alert), 1);

  EXPECT_EQ(Ui_Debug_Log(1, "one"), 0);
  EXPECT_EQ(Ui_Debug_LogF(1, "two %d", 2), 0);
  Ui_Debug_LogSeparator(1);
  EXPECT_EQ(LogText(), "one\ntwo 2\n-------------------------------\n");
  EXPECT_EQ(Ui_Debug_Log(1, nullptr), kBadArg);
  EXPECT_EQ(host().Of(Kind::Message).back().text, "Ui_Debug_Log: null msg");
}

TEST_F(AlertTest, UnopenableLogGivesTwoMessagesAndGoesOn) {
  // A folder where the log file should be makes fopen fail.
  ClearLog();
  std::filesystem::create_directories(LogPath());
  EXPECT_EQ(Ui_Debug_Log(1, "line"), kOpenErr);
  auto messages = host().Of(Kind::Message);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Ui_Debug_Log: fopen error");
  EXPECT_EQ(messages[1].text, LogPath());
  EXPECT_EQ(messages[0].caption, " ");
  std::filesystem::remove(LogPath());
}

TEST_F(AlertTest, StringTable) {
  char buffer[kResTextCapacity];
  EXPECT_STREQ(Ui_ResToCString(state_->diagnostics, 6050, buffer), " while ");
  EXPECT_STREQ(Ui_ResToCString(state_->diagnostics, 1003, nullptr), "TavelinMarvet Prefs");
  OpenState(1);
  ClearLog();
  EXPECT_STREQ(Ui_ResToCString(state_->diagnostics, 4242, buffer), "?");
  EXPECT_EQ(LogText(), "Ui_ResToCString, LoadString error = 4242\n");
  EXPECT_EQ(Phrase(3015, 7, "a.tif"), "reading scanline 7 from image file a.tif");
}
