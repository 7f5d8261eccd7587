// Creating and replacing files: what a replaced file keeps, what cannot be
// replaced, links that are replaced and never followed, and the temporary
// files of killed processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/safefile.h"
#include "support/scratch.h"

namespace {

struct stat Lstat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// Writes `text` to a new temporary file in `folder`, ready to replace something.
void Fill(TempFile& temp, const std::string& folder, const std::string& text) {
  ASSERT_EQ(temp.Create(folder), kOk);
  ASSERT_EQ(::write(temp.Fd(), text.data(), text.size()), (ssize_t)text.size());
}

TEST(SafeFileTest, AReplacedFileKeepsModeOwnerAndAttributes) {
  const std::string dir = FreshDir("safe-keep");
  const std::string target = dir + "photo.tif";
  WriteFileText(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) { ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0); }
  const bool xattrs = ::setxattr(target.c_str(), "user.tavelin", "kept", 4, 0) == 0;

  TempFile temp;
  Fill(temp, dir, "new");
  EXPECT_EQ(Lstat(temp.Path()).st_mode & 0777, 0600u);  // private while written
  ASSERT_EQ(temp.CommitTo(target, true), kOk);
  EXPECT_EQ(ReadFileText(target), "new");
  const struct stat st = Lstat(target);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
  }
  if (xattrs) {
    char value[16] = {};
    EXPECT_EQ(::getxattr(target.c_str(), "user.tavelin", value, sizeof value), 4);
    EXPECT_STREQ(value, "kept");
  }
  // A new file gets what the umask leaves.
  TempFile fresh;
  Fill(fresh, dir, "fresh");
  ASSERT_EQ(fresh.CommitTo(dir + "fresh.tif", false), kOk);
  EXPECT_EQ(Lstat(dir + "fresh.tif").st_mode & 0777, NewFileMode());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);  // no temporary file left
}

// A link at the target's name is replaced, its target left alone; a file with
// other hard links and a folder are refused, and the temporary file goes.
TEST(SafeFileTest, LinksAreReplacedHardLinksAndFoldersRefused) {
  const std::string dir = FreshDir("safe-links");
  WriteFileText(dir + "victim", "victim");
  ASSERT_EQ(::symlink((dir + "victim").c_str(), (dir + "link").c_str()), 0);
  WriteFileText(dir + "one", "linked");
  ASSERT_EQ(::link((dir + "one").c_str(), (dir + "two").c_str()), 0);
  std::filesystem::create_directory(dir + "folder");
  struct Case {
    const char* target;
    Status status;
  } cases[] = {{"link", kOk}, {"one", kUnsupported}, {"folder", kSysErr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    TempFile temp;
    Fill(temp, dir, "new");
    const std::string tempPath = temp.Path();
    std::string why;
    EXPECT_EQ(temp.CommitTo(dir + c.target, true, &why), c.status);
    EXPECT_FALSE(FileExists(tempPath));
    if (c.status != kOk) { EXPECT_NE(why.find(c.target), std::string::npos) << why; }
  }
  EXPECT_EQ(ReadFileText(dir + "victim"), "victim");
  EXPECT_TRUE(S_ISREG(Lstat(dir + "link").st_mode));
  EXPECT_EQ(ReadFileText(dir + "link"), "new");
  EXPECT_EQ(ReadFileText(dir + "one"), "linked");
  EXPECT_EQ(ReadFileText(dir + "two"), "linked");

  // A link planted at the next temporary name is passed over, not written through.
  const std::string planted = FreshDir("safe-planted");
  ASSERT_EQ(::symlink((dir + "victim").c_str(), (planted + "Quilo000000.tmp").c_str()), 0);
  TempFile temp;
  Fill(temp, planted, "new");
  EXPECT_EQ(temp.Path(), planted + "Quilo000001.tmp");
  EXPECT_EQ(ReadFileText(dir + "victim"), "victim");
}

// Only temporary files that nobody holds are a killed process's leftovers.
TEST(SafeFileTest, SweepRemovesOnlyTemporaryFilesNobodyHolds) {
  const std::string dir = FreshDir("safe-sweep");
  TempFile held;
  ASSERT_EQ(held.Create(dir), kOk);  // Quilo000000.tmp, locked
  for (const char* leaf : {"Quilo000005.tmp", "Quilo000005.tmp.C", "Quilo000006.tmp.K", "Quilo000007.tmp",
                           "Quilo12.tmp", "photo.tif"})
    WriteFileText(dir + leaf, "x");
  const bool root = ::geteuid() == 0;
  if (root) {
    WriteFileText(dir + "Quilo000008.tmp", "someone else's");
    ASSERT_EQ(::chown((dir + "Quilo000008.tmp").c_str(), 65534, 65534), 0);
  }
  SweepStaleTemps(dir, [&](const std::string& path) { return path == dir + "Quilo000007.tmp"; });
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected = {"Quilo000000.tmp", "Quilo000007.tmp", "Quilo12.tmp", "photo.tif"};
  if (root) expected.insert(expected.begin() + 2, "Quilo000008.tmp");
  EXPECT_EQ(left, expected);
  EXPECT_TRUE(IsTempLeaf("Quilo123456.tmp.M"));
  EXPECT_FALSE(IsTempLeaf("Quilo123456.tmpx"));
}

}  // namespace
