#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

#include "base/debuglog.h"
#include "base/strings.h"
#include "support/app_fixture.h"

class UiStateTest : public AppFixture {};

TEST_F(UiStateTest, OpenChecksFlagAndBecomesCurrent) {
  UiState* other = nullptr;
  EXPECT_EQ(Ui_State_Open(&other, 1000, 2), kBadArg);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(AppState(), state_);
  EXPECT_EQ(state_->makerFolder, "Harvosa");
  EXPECT_EQ(state_->appName, ResText(1000));
  UiState* closing = state_;
  EXPECT_EQ(Ui_State_Close(&state_), 0);
  EXPECT_EQ(state_, nullptr);
  EXPECT_NE(AppState(), closing);
}

TEST_F(UiStateTest, WindowSlots) {
  int windows[kWindowSlots + 1];
  for (int i = 0; i < kWindowSlots; ++i) ASSERT_EQ(Ui_State_AddWindow(state_, &windows[i]), 0);
  EXPECT_EQ(Ui_State_AddWindow(state_, &windows[kWindowSlots]), kSysErr);
  EXPECT_EQ(Ui_State_RemoveWindow(state_, &windows[3]), 0);
  EXPECT_EQ(Ui_State_RemoveWindow(state_, &windows[3]), kSysErr);
  EXPECT_EQ(Ui_State_AddWindow(state_, &windows[kWindowSlots]), 0);
}

// Restores an environment variable at scope end.
struct EnvGuard {
  std::string name, value;
  bool had;
  explicit EnvGuard(const char* n) : name(n) {
    const char* v = std::getenv(n);
    had = v != nullptr;
    if (had) value = v;
  }
  ~EnvGuard() {
    if (had) ::setenv(name.c_str(), value.c_str(), 1);
    else ::unsetenv(name.c_str());
  }
};

TEST_F(UiStateTest, PrefFolderCreatedAcceptedAndFallsBack) {
  EnvGuard xdg("XDG_CONFIG_HOME");
  const std::string base = FreshDir("prefs-base");
  ::setenv("XDG_CONFIG_HOME", (base + "deeper/config").c_str(), 1);
  std::string path;
  ASSERT_EQ(Ui_Path_SetToPrefFolder(state_, path), 0);
  EXPECT_EQ(path, base + "deeper/config/Harvosa/");
  EXPECT_TRUE(std::filesystem::is_directory(path));
  ASSERT_EQ(Ui_Path_SetToPrefFolder(state_, path), 0);  // existing folder accepted
  EXPECT_EQ(path, base + "deeper/config/Harvosa/");

  // Too long for the path field: the home folder.
  std::string longBase = base + std::string(240, 'x');
  std::filesystem::create_directories(longBase);
  ::setenv("XDG_CONFIG_HOME", longBase.c_str(), 1);
  OpenState(1);
  ClearLog();
  ASSERT_EQ(Ui_Path_SetToPrefFolder(state_, path), 0);
  EXPECT_EQ(path, std::string(std::getenv("HOME")) + "/");
}

TEST_F(UiStateTest, UniqueTempNames) {
  const std::string dir = FreshDir("temp-names");
  std::string name;
  ASSERT_EQ(Ui_Path_UniqueTempName(dir, name), 0);
  EXPECT_EQ(name, dir + "Quilo000000.tmp");
  WriteFileText(dir + "Quilo000000.tmp", "");
  WriteFileText(dir + "Quilo000001.tmp", "");
  ASSERT_EQ(Ui_Path_UniqueTempName(dir, name), 0);
  EXPECT_EQ(name, dir + "Quilo000002.tmp");
  EXPECT_EQ(Ui_Path_UniqueTempName(dir, name, dir.size() + 15), kBadArg);

  struct Case {
    std::string path;
    bool temp;
  };
  const Case cases[] = {{dir + "Quilo000002.tmp", true}, {dir + "Quilo12.tmpx", true},
                        {dir + "quilo000002.tmp", false}, {dir + "Quilo000002.tif", false},
                        {"/elsewhere/Quilo000002.tmp", false}, {dir + "Quilo", false}};
  for (const Case& c : cases) EXPECT_EQ(Ui_Path_IsTempName(dir, c.path), c.temp) << c.path;
}

// The working folder is this user's alone: in $XDG_RUNTIME_DIR when that is
// private, else one folder per user in $TMPDIR; a name someone planted there
// (a link, a folder of another user) is never entered.
TEST_F(UiStateTest, TempFolderIsPrivateToTheUser) {
  EnvGuard tmp("TMPDIR"), runtime("XDG_RUNTIME_DIR");
  const std::string shared = FreshDir("shared-tmp"), uid = std::to_string(::geteuid());
  ::chmod(shared.c_str(), 01777);
  ::setenv("TMPDIR", shared.c_str(), 1);
  auto mode = [](const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid() ? (int)(st.st_mode & 07777) : -1;
  };
  std::string path;
  ASSERT_EQ(Ui_Path_SetToTempFolder(path), 0);
  EXPECT_EQ(path, shared + "tavelin-marvet-" + uid + "/");
  EXPECT_EQ(mode(path), 0700);

  const std::string run = FreshDir("runtime");
  ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
  ::chmod(run.c_str(), 0755);  // not private: not taken
  ASSERT_EQ(Ui_Path_SetToTempFolder(path), 0);
  EXPECT_EQ(path, shared + "tavelin-marvet-" + uid + "/");
  ::chmod(run.c_str(), 0700);
  ASSERT_EQ(Ui_Path_SetToTempFolder(path), 0);
  EXPECT_EQ(path, run + "tavelin-marvet/");
  EXPECT_EQ(mode(path), 0700);
  ::unsetenv("XDG_RUNTIME_DIR");

  // The usual name planted as a link to another folder: a folder of this
  // process's own, and nothing lands in the link's target.
  const std::string target = FreshDir("planted-target");
  std::filesystem::remove_all(shared + "tavelin-marvet-" + uid);
  ASSERT_EQ(::symlink(target.c_str(), (shared + "tavelin-marvet-" + uid).c_str()), 0);
  ASSERT_EQ(Ui_Path_SetToTempFolder(path), 0);
  EXPECT_EQ(path.rfind(shared + "tavelin-marvet-" + uid + "-", 0), 0u) << path;
  EXPECT_EQ(mode(path), 0700);
  std::string again;
  ASSERT_EQ(Ui_Path_SetToTempFolder(again), 0);
  EXPECT_EQ(again, path);  // one such folder per process
  EXPECT_TRUE(std::filesystem::is_empty(target));

  ::setenv("TMPDIR", "/no/such/folder", 1);
  EXPECT_EQ(Ui_Path_SystemTempFolder(), "/tmp/");
}
