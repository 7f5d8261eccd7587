// tavelin-cli correct and job, run as a user would: one line per image and a
// summary, option errors, job files, Ctrl-C, and SIGKILL at random moments.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/bytes.h"
#include "base/strings.h"
#include "session/session_support.h"

namespace {

// A folder of its own for every test: preferences (the Batchline's files),
// temporary folder, images and outputs.
class BatchCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshDir(std::string("cli-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const char* d : {"config", "state", "tmp", "in", "out"}) std::filesystem::create_directories(root_ + d);
  }
  std::string In(const std::string& leaf) const { return root_ + "in/" + leaf; }
  std::string Out(const std::string& leaf = "") const { return root_ + "out/" + leaf; }
  std::string Env() const {
    return "env XDG_CONFIG_HOME='" + root_ + "config' XDG_STATE_HOME='" + root_ + "state' TMPDIR='" + root_ +
           "tmp' '" + TAVELIN_CLI + "' ";
  }
  int Cli(const std::string& args, std::string* out = nullptr) { return RunCommand(Env() + args + " 2>&1", out); }
  // Starts the tool in the background (its own pid); output to root/log.
  pid_t Launch(const std::string& args) {
    const std::string command = "exec " + Env() + args + " >'" + root_ + "log' 2>&1";
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
      _exit(127);
    }
    return pid;
  }
  // The run folders (one per run that has not ended cleanly).
  std::vector<std::string> RunFolders() {
    std::vector<std::string> out;
    const std::string runs = root_ + "state/tavelin-marvet/runs/";
    for (const std::string& leaf : FolderLeaves(runs)) out.push_back(runs + leaf + "/");
    return out;
  }
  // Waits until no process holds a run folder (workers of a killed run stop by themselves).
  bool WaitForBatchlineFree() {
    for (int i = 0; i < 1000; ++i) {
      bool free = true;
      for (const std::string& folder : RunFolders()) {
        const int fd = ::open((folder + "TavelinJobLock").c_str(), O_RDONLY);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) free = false;
        if (fd >= 0) ::close(fd);
      }
      if (free) return true;
      ::usleep(20000);
    }
    return false;
  }
  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find('\n', at);
      out.push_back(text.substr(at, end - at));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
  }
  // Waits until the log of a launched run holds `count` saved images.
  bool WaitForSaved(size_t count) {
    for (int i = 0; i < 30000; ++i) {
      const std::string log = ReadFileText(root_ + "log");
      size_t saved = 0;
      for (size_t at = log.find(" -> "); at != std::string::npos; at = log.find(" -> ", at + 1)) ++saved;
      if (saved >= count) return true;
      ::usleep(2000);
    }
    return false;
  }
  // Starts saving a large image over itself; returns once its temporary
  // output exists (the save is under way).
  pid_t LaunchSaveOverItself(const std::string& big) {
    const pid_t pid = Launch("correct '" + big + "' --naming same --jobs 1 --denoise");
    for (int i = 0; i < 3000 && !HasTempFile(root_ + "in/"); ++i) ::usleep(5000);
    EXPECT_TRUE(HasTempFile(root_ + "in/")) << ReadFileText(root_ + "log");
    return pid;
  }
  void Kill(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WaitForBatchlineFree());
  }
  std::string root_;
};

// A folder that another user may work in too (the scratch folder is this
// user's alone), removed at the end.
struct SharedFolder {
  std::string path;
  SharedFolder() {
    char pattern[] = "/tmp/tavelin-shared-XXXXXX";
    if (::mkdtemp(pattern)) path = std::string(pattern) + "/";
    ::chmod(pattern, 01777);
  }
  ~SharedFolder() {
    if (!path.empty()) std::filesystem::remove_all(path);
  }
};

// Runs a command as the user nobody (the tests run as root for this).
std::string AsNobody(const std::string& command) {
  return "setpriv --reuid=65534 --regid=65534 --clear-groups " + command;
}
bool NobodyCanRunTheTool() {
  return ::geteuid() == 0 &&
         RunCommand(AsNobody(std::string("'") + TAVELIN_CLI + "' --version >/dev/null 2>&1")) == 0;
}

uint32_t ImageWidth(const std::string& path) {
  RasImage image;
  return RasQuery(path, image) == kOk ? image.width : 0;
}

TEST_F(BatchCliTest, CorrectSavesEveryImageWithOneLineEach) {
  ASSERT_EQ(WriteTestImage(In("a.jpg"), kRasJpeg, 64, 48), 0);
  ASSERT_EQ(WriteTestImage(In("b.tif"), kRasTiff16, 40, 30), 0);
  WriteFileText(In("c.jpg"), "not an image");
  std::string out;
  EXPECT_EQ(Cli("correct '" + In("a.jpg") + "' '" + In("b.tif") + "' '" + In("c.jpg") + "' --out '" + Out() +
                    "' --format tiff --jobs 2 --sharpen 5",
                &out),
            1);
  auto lines = Lines(out);
  std::sort(lines.begin(), lines.end());  // the workers' lines come in any order
  ASSERT_EQ(lines.size(), 4u) << out;
  EXPECT_EQ(lines[3].rfind("2 of 3 images saved, 1 failed in ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[0], In("a.jpg") + " -> " + Out("a-zV.tif"));
  EXPECT_EQ(lines[1], In("b.tif") + " -> " + Out("b-zV.tif"));
  EXPECT_EQ(lines[2], In("c.jpg") + ": not added: A data format error occurred while reading image file c.jpg "
                                    "(not an image file of a known format). "
                                    "Make sure you have selected the correct type of file.");
  ASSERT_EQ(Cli("info '" + Out("a-zV.tif") + "' '" + Out("b-zV.tif") + "'", &out), 0) << out;
  EXPECT_NE(out.find("a-zV.tif: format=tiff width=64 height=48 channels=3 colortype=rgb max=255"), std::string::npos) << out;
  EXPECT_NE(out.find("b-zV.tif: format=tiff16 width=40 height=30 channels=3 colortype=rgb max=65535"), std::string::npos);
  EXPECT_EQ(FolderLeaves(Out()), (std::vector<std::string>{"a-zV.tif", "b-zV.tif"}));

  // Every image saved: status 0, and the run leaves no job behind.
  EXPECT_EQ(Cli("correct '" + In("a.jpg") + "' --out '" + Out() + "' --reset --quality 80", &out), 0) << out;
  EXPECT_EQ(Cli("job unfinished", &out), 0);
  EXPECT_EQ(out, "No unfinished job.\n");
}

// Every sample of a readable image, rows after rows (empty when it cannot be read).
std::vector<uint16_t> AllSamples(const std::string& path) {
  RasImage image;
  RasScanline sl;
  std::vector<uint16_t> out;
  if (RasQuery(path, image) != kOk || RasOpen(path, 'r', image) != kOk) return out;
  Status st = RasMakeSl(sl, image);
  for (uint32_t y = 0; y < image.height && st == kOk; ++y) {
    if ((st = RasReadSl(image, y, sl)) != kOk) break;
    for (int c = 0; c < image.channels; ++c)
      for (uint32_t x = 0; x < image.width; ++x) out.push_back(image.Is16() ? sl.plane16[c][x] : sl.plane8[c][x]);
  }
  RasClose(image);
  RasFreeSl(sl);
  return st == kOk ? out : std::vector<uint16_t>{};
}

// --compress: an LZW or Deflate TIFF (with the horizontal predictor) holds
// exactly the pixels of the uncompressed one, by our reader and by libtiff's
// own tools; other output formats are written as without it.
TEST_F(BatchCliTest, CompressedTiffOutputsHoldTheSamePixels) {
  ASSERT_EQ(WriteTestImage(In("a.jpg"), kRasJpeg, 67, 41), 0);
  ASSERT_EQ(WriteTestImage(In("b.tif"), kRasTiff16, 53, 29), 0);
  const std::string inputs = "'" + In("a.jpg") + "' '" + In("b.tif") + "'";
  std::string out;
  for (const char* c : {"none", "lzw", "deflate"}) {
    std::filesystem::create_directories(Out(c));
    ASSERT_EQ(Cli("correct " + inputs + " -q --format tiff --compress " + c + " --out '" + Out(c) + "' --report '" +
                      root_ + c + ".jsonl'",
                  &out),
              0)
        << out;
    EXPECT_NE(ReadFileText(root_ + c + ".jsonl").find(std::string("\"compress\":\"") + c + "\""), std::string::npos);
    ASSERT_EQ(Cli(std::string("convert '") + In("b.tif") + "' '" + Out(c) + "/b-converted.tif' --format tiff16 --compress=" + c,
                  &out),
              0)
        << out;
  }
  const struct {
    const char* option;
    const char* scheme;
  } kinds[] = {{"lzw", "LZW"}, {"deflate", "AdobeDeflate"}};
  for (const auto& k : kinds) {
    for (const char* leaf : {"/a-zV.tif", "/b-zV.tif", "/b-converted.tif"}) {
      const std::string plain = Out("none") + leaf, packed = Out(k.option) + leaf;
      SCOPED_TRACE(packed);
      const std::vector<uint16_t> expected = AllSamples(plain);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(AllSamples(packed), expected);
      ASSERT_EQ(RunCommand("tiffinfo '" + packed + "' 2>&1", &out), 0) << out;
      EXPECT_NE(out.find(std::string("Compression Scheme: ") + k.scheme), std::string::npos) << out;
      EXPECT_NE(out.find("Predictor: horizontal differencing"), std::string::npos) << out;
      ASSERT_EQ(RunCommand("tiffinfo '" + plain + "' 2>&1", &out), 0) << out;
      EXPECT_NE(out.find("Compression Scheme: None"), std::string::npos) << out;
      // libtiff decodes the compressed file; tiffcmp finds no difference.
      const std::string decoded = Out("decoded.tif"), reference = Out("reference.tif");
      ASSERT_EQ(RunCommand("tiffcp -c none '" + packed + "' '" + decoded + "' && tiffcp -c none '" + plain + "' '" +
                               reference + "' 2>&1",
                           &out),
                0)
          << out;
      EXPECT_EQ(RunCommand("tiffcmp '" + reference + "' '" + decoded + "' 2>&1", &out), 0);
      EXPECT_EQ(out, "");
    }
  }
  // Not a TIFF output: the same bytes as without the option.
  for (const char* c : {"none", "deflate"}) {
    std::filesystem::create_directories(Out(std::string("jpeg-") + c));
    ASSERT_EQ(Cli("correct '" + In("a.jpg") + "' -q --compress " + c + " --out '" + Out(std::string("jpeg-") + c) + "'",
                  &out),
              0)
        << out;
  }
  EXPECT_EQ(FileBytes(Out("jpeg-none/a-zV.jpg")), FileBytes(Out("jpeg-deflate/a-zV.jpg")));
}

TEST_F(BatchCliTest, OptionErrorsNameWhatIsWrongAndHelpShowsExamples) {
  ASSERT_EQ(WriteTestImage(In("a.tif"), kRasTiff, 8, 8), 0);
  struct Case {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"correct a.tif --quality 101", 2, "--quality takes a number from 0 to 100"},
      {"correct a.tif --compress zip", 2, "--compress takes none, lzw or deflate (got 'zip')"},
      {"convert a.tif b.tif --format tiff --compress LZW", 2, "unknown compression 'LZW' (none, lzw, deflate)"},
      {"correct a.tif --format png", 2, "--format takes same, tiff, jpeg or bmp (got 'png')"},
      {"correct a.tif --suffix a/b", 2, "--suffix takes at most 19 characters"},
      {"correct a.tif --frobnicate", 2, "unknown option --frobnicate"},
      {"correct", 2, "correct needs at least one image"},
      {"job run", 2, "job run needs a job file"},
      {"correct a.tif --settings '" + In("none.txt") + "'", 1, In("none.txt") + ": A file open error occurred"},
      {"correct a.tif --out '" + In("nowhere") + "'", 1, In("nowhere") + ": no such folder"},
      {"job run '" + In("a.tif") + "'", 1, "A data format error occurred while reading job data"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(Cli(c.args, &out), c.status) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.args << "\n" << out;
  }
  EXPECT_TRUE(FolderLeaves(root_ + "in/") == std::vector<std::string>{"a.tif"});

  std::string help;
  ASSERT_EQ(Cli("--help", &help), 0);
  for (const char* option : {"--auto", "--settings", "--reset", "--out", "--format", "--naming", "--suffix", "--prefix",
                             "--quality", "--compress", "--sharpen", "--denoise", "--working-space", "--missing-profile",
                             "--embedded-profile", "--no-exif", "--no-embed-profile", "--jobs", "--resume", "--report",
                             "--shard", "--files-from", "--skip-existing", "--dry-run"}) {
    const size_t at = help.find(std::string(option));
    ASSERT_NE(at, std::string::npos) << option;
    EXPECT_NE(help.find("e.g. tavelin-cli", at), std::string::npos) << option;
  }
}

TEST_F(BatchCliTest, SavedJobRunsLater) {
  ASSERT_EQ(WriteTestImage(In("a.tif"), kRasTiff, 30, 20), 0);
  ASSERT_EQ(WriteTestImage(In("b.bmp"), kRasBmp, 30, 20), 0);
  std::string out;
  const std::string job = root_ + "work.job";
  ASSERT_EQ(Cli("job save '" + job + "' '" + In("a.tif") + "' '" + In("b.bmp") + "' --reset --denoise", &out), 0) << out;
  EXPECT_EQ(out, job + ": job of 2 images saved\n");
  ASSERT_EQ(Cli("job run '" + job + "' --out '" + Out() + "' --format jpeg --naming prefix --jobs 2", &out), 0) << out;
  EXPECT_EQ(FolderLeaves(Out()), (std::vector<std::string>{"zV-a.jpg", "zV-b.jpg"}));
  EXPECT_EQ(Cli("job unfinished", &out), 0);
  EXPECT_EQ(out, "No unfinished job.\n");
}

TEST_F(BatchCliTest, InterruptStopsCleanlyAndLeavesTheInputIntact) {
  // Saved over itself: the case where a partial output would destroy the input.
  const std::string big = In("big.tif");
  ASSERT_EQ(WriteTestImage(big, kRasTiff16, 3000, 2000), 0);
  const auto before = FileBytes(big);
  const pid_t pid = LaunchSaveOverItself(big);
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFileText(root_ + "log");
  EXPECT_NE(ReadFileText(root_ + "log").find("cancelled (status -10)"), std::string::npos) << ReadFileText(root_ + "log");
  EXPECT_EQ(FileBytes(big), before);
  EXPECT_EQ(FolderLeaves(root_ + "in/"), std::vector<std::string>{"big.tif"});
}

// The tool killed at random moments of a batch (adding or saving, with worker
// processes): the inputs stay as they were, no partial output is left, and
// the next start finds the unfinished job with the entries that were added,
// which then saves.
TEST_F(BatchCliTest, KilledRunLeavesInputsIntactAndAJobThatResumes) {
  std::vector<std::string> inputs;
  std::vector<std::vector<unsigned char>> bytes;
  for (int i = 0; i < 6; ++i) {
    inputs.push_back(In("img" + std::to_string(i) + (i % 2 ? ".jpg" : ".tif")));
    ASSERT_EQ(WriteTestImage(inputs.back(), i % 2 ? kRasJpeg : kRasTiff, 1600, 1200), 0);
    bytes.push_back(FileBytes(inputs.back()));
  }
  std::string args = "correct --jobs 2 --out '" + Out() + "'";
  for (const std::string& in : inputs) args += " '" + in + "'";

  // How long a whole run takes, to spread the kills over it.
  const auto t0 = std::chrono::steady_clock::now();
  std::string out;
  ASSERT_EQ(Cli(args, &out), 0) << out;
  const int64_t runMicros =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove_all(Out());
  std::filesystem::create_directories(Out());

  std::mt19937 random(20261210);
  int offered = 0;
  for (int round = 0; round < 8; ++round) {
    const pid_t pid = Launch(args);
    ::usleep((useconds_t)std::uniform_int_distribution<int64_t>(0, runMicros)(random));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WaitForBatchlineFree()) << round;
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_TRUE(FileBytes(inputs[i]) == bytes[i]) << round << " " << i;
    EXPECT_FALSE(HasTempFile(Out())) << round;
    for (const std::string& leaf : FolderLeaves(Out())) {
      std::string info;
      EXPECT_EQ(Cli("info '" + Out(leaf) + "'", &info), 0) << round << " " << info;  // complete files only
    }

    ASSERT_EQ(Cli("job unfinished", &out), 0) << out;
    if (out == "No unfinished job.\n") continue;  // killed before the first image was added, or after the end
    ++offered;
    // The images still to save, then those saved before the kill.
    auto listed = Lines(out);
    ASSERT_GE(listed.size(), 2u) << out;
    const auto folders = RunFolders();  // the run folder, then its images
    EXPECT_NE(std::find(folders.begin(), folders.end(), listed[0]), folders.end()) << out;
    listed.erase(listed.begin());
    const auto savedAt = std::find_if(listed.begin(), listed.end(),
                                      [](const std::string& l) { return l.rfind("Already saved, ", 0) == 0; });
    const size_t pending = (size_t)(savedAt - listed.begin()) - 1;
    EXPECT_EQ(listed[0], "Resume unfinished job? " + std::to_string(pending) + " images:") << out;
    if (savedAt != listed.end()) {
      EXPECT_EQ(*savedAt, "Already saved, " + std::to_string(listed.end() - savedAt - 1) + " images:") << out;
      listed.erase(savedAt);
    }
    listed.erase(listed.begin());
    // The entries are images of the run, taken a few at a time in their order.
    std::sort(listed.begin(), listed.end(), [&](const std::string& a, const std::string& b) {
      return std::find(inputs.begin(), inputs.end(), a) < std::find(inputs.begin(), inputs.end(), b);
    });
    if (!listed.empty()) {
      const auto first = std::find(inputs.begin(), inputs.end(), listed[0]);
      ASSERT_LE(first + (long)listed.size(), inputs.end()) << out;
      EXPECT_EQ(listed, std::vector<std::string>(first, first + (long)listed.size())) << out;
    }
    // The run still saves, what its job held and the images it had not
    // reached; then it is gone.
    ASSERT_EQ(Cli("job unfinished --resume --out '" + Out() + "' --jobs 2", &out), 0) << out;
    for (const std::string& in : inputs) {
      const std::string leaf = LeafName(in);
      EXPECT_TRUE(FileExists(Out(leaf.substr(0, leaf.rfind('.')) + "-zV" + leaf.substr(leaf.rfind('.')))))
          << round << " " << in;
    }
    ASSERT_EQ(Cli("job unfinished", &out), 0);
    EXPECT_EQ(out, "No unfinished job.\n");
  }
  EXPECT_GT(offered, 0);

  // Saved over themselves: each input is either as it was or the whole
  // corrected image, never a part of one.
  std::string over = "correct --jobs 2 --naming same";
  for (const std::string& in : inputs) over += " '" + in + "'";
  for (int round = 0; round < 4; ++round) {
    const pid_t pid = Launch(over);
    ::usleep((useconds_t)std::uniform_int_distribution<int64_t>(0, runMicros)(random));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WaitForBatchlineFree()) << round;
    EXPECT_FALSE(HasTempFile(root_ + "in/")) << round;
    for (const std::string& in : inputs) {
      std::string info;
      ASSERT_EQ(Cli("info '" + in + "'", &info), 0) << round << " " << info;
      EXPECT_NE(info.find("width=1600 height=1200"), std::string::npos) << info;
    }
    ASSERT_EQ(Cli("job unfinished --discard", &out), 0) << out;
  }
}

// An output never lands on an input of the run or on another output: the
// image is refused with a line that names the file, and the run fails. A
// link to the input at an output's name is replaced, not written through.
TEST_F(BatchCliTest, NoOutputOverwritesAnInputOrAnotherOutput) {
  std::filesystem::create_directories(root_ + "in/d1");
  std::filesystem::create_directories(root_ + "in/d2");
  // Sizes tell the images apart.
  ASSERT_EQ(WriteTestImage(In("beach.jpg"), kRasJpeg, 64, 48), 0);
  ASSERT_EQ(WriteTestImage(In("beach_2.jpg"), kRasJpeg, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(In("photo.tif"), kRasTiff, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(In("photo.jpg"), kRasJpeg, 64, 48), 0);
  ASSERT_EQ(WriteTestImage(In("d1/IMG_0001.tif"), kRasTiff, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(In("d2/IMG_0001.tif"), kRasTiff, 64, 48), 0);
  const auto beach2 = FileBytes(In("beach_2.jpg"));
  struct Case {
    std::string args;
    std::string refused, reason;
    std::string kept;  // the file the refused image would have overwritten, with the size it keeps
    uint32_t keptWidth;
  } cases[] = {
      {"--jobs 1 --suffix _2 '" + In("beach.jpg") + "' '" + In("beach_2.jpg") + "'", In("beach.jpg"),
       "its output would replace " + In("beach_2.jpg") + ", an input of this run", In("beach_2.jpg"), 40},
      {"--format jpeg --naming same '" + In("photo.tif") + "' '" + In("photo.jpg") + "'", In("photo.tif"),
       "its output would replace " + In("photo.jpg") + ", an input of this run", In("photo.jpg"), 64},
      {"--out '" + Out() + "' '" + In("d1/IMG_0001.tif") + "' '" + In("d2/IMG_0001.tif") + "'", In("d2/IMG_0001.tif"),
       "its output " + Out("IMG_0001-zV.tif") + " is also the output of " + In("d1/IMG_0001.tif"),
       Out("IMG_0001-zV.tif"), 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_EQ(Cli("correct --reset " + c.args, &out), 1) << out;
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 3u) << out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.refused + ": not saved: " + c.reason), lines.end()) << out;
    EXPECT_EQ(lines[2].rfind("1 of 2 images saved, 1 failed", 0), 0u) << out;
    EXPECT_EQ(ImageWidth(c.kept), c.keptWidth);
  }
  EXPECT_EQ(FileBytes(In("beach_2.jpg")), beach2);

  // A link to the input planted at the output's name.
  ASSERT_EQ(WriteTestImage(In("pic.jpg"), kRasJpeg, 64, 48), 0);
  const auto pic = FileBytes(In("pic.jpg"));
  ASSERT_EQ(::symlink(In("pic.jpg").c_str(), In("pic-zV.jpg").c_str()), 0);
  std::string out;
  EXPECT_EQ(Cli("correct '" + In("pic.jpg") + "'", &out), 0) << out;
  EXPECT_EQ(FileBytes(In("pic.jpg")), pic);
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(In("pic-zV.jpg"))));
}

// Killed while saving images over themselves, the run is resumed: what was
// saved is skipped, the rest is saved, and every image ends corrected once,
// byte for byte what one correction gives. Both ways of resuming.
TEST_F(BatchCliTest, ResumeAfterAKillNeverCorrectsAnImageTwice) {
  std::filesystem::create_directories(root_ + "ref");
  std::vector<std::string> leaves;
  std::vector<std::vector<unsigned char>> originals;
  for (int i = 0; i < 7; ++i) {
    leaves.push_back(i == 6 ? "extra.jpg" : "img" + std::to_string(i) + ".jpg");
    ASSERT_EQ(WriteTestImage(In(leaves.back()), kRasJpeg, 1600, 1200, 3, "", "", 0.55 + 0.06 * i), 0);
    originals.push_back(FileBytes(In(leaves.back())));
    WriteFileBytes(root_ + "ref/" + leaves.back(), originals.back().data(), originals.back().size());
  }
  std::string out, refArgs = "correct --jobs 1 --naming same";
  for (const std::string& l : leaves) refArgs += " '" + root_ + "ref/" + l + "'";
  ASSERT_EQ(Cli(refArgs, &out), 0) << out;

  std::string run = "correct --jobs 1 --naming same";
  for (int i = 0; i < 6; ++i) run += " '" + In(leaves[i]) + "'";
  const std::string resumes[] = {"job unfinished --resume --naming same --jobs 1",
                                 "correct --jobs 1 '" + In("extra.jpg") + "' --resume "};
  for (std::string resume : resumes) {
    SCOPED_TRACE(resume);
    for (int i = 0; i < 6; ++i) WriteFileBytes(In(leaves[i]), originals[i].data(), originals[i].size());
    std::remove((root_ + "log").c_str());
    const pid_t pid = Launch(run);
    ASSERT_TRUE(WaitForSaved(2)) << ReadFileText(root_ + "log");
    Kill(pid);
    ASSERT_EQ(ReadFileText(root_ + "log").find("images saved"), std::string::npos);  // killed before the end
    ASSERT_EQ(RunFolders().size(), 1u);
    if (resume[0] == 'c') resume += RunFolders()[0];
    // 1 only when the kill fell between a rename and its mark: that image
    // is then left out, saved once already.
    const int status = Cli(resume, &out);
    EXPECT_TRUE(status == 0 || (status == 1 && out.find("it is not corrected again") != std::string::npos)) << out;
    EXPECT_NE(out.find(": already saved, skipped"), std::string::npos) << out;
    for (size_t i = 0; i < (resume[0] == 'j' ? 6u : 7u); ++i)
      EXPECT_TRUE(FileBytes(In(leaves[i])) == FileBytes(root_ + "ref/" + leaves[i])) << leaves[i] << "\n" << out;
  }
}

// Saved over itself, a file keeps its mode, owner and extended attributes; a
// file with other hard links is left as it is, with a line that says why.
TEST_F(BatchCliTest, ASavedOverFileKeepsModeOwnerAndAttributesAndHardLinksAreRefused) {
  const std::string p = In("p.tif"), h1 = In("h1.tif"), h2 = In("h2.tif");
  ASSERT_EQ(WriteTestImage(p, kRasTiff, 60, 40), 0);
  ASSERT_EQ(WriteTestImage(h1, kRasTiff, 60, 40), 0);
  ASSERT_EQ(::link(h1.c_str(), h2.c_str()), 0);
  ASSERT_EQ(::chmod(p.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) { ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0); }
  const bool xattrs = ::setxattr(p.c_str(), "user.note", "mine", 4, 0) == 0;
  const auto pBefore = FileBytes(p), hBefore = FileBytes(h1);
  std::string out;
  EXPECT_EQ(Cli("correct --jobs 1 --naming same '" + p + "' '" + h1 + "'", &out), 1) << out;
  EXPECT_NE(out.find(h1 + ": not saved: its output " + h1 + " has other names (hard links) and is not replaced"),
            std::string::npos)
      << out;
  EXPECT_NE(FileBytes(p), pBefore);
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) { EXPECT_EQ(st.st_uid, 65534u); }
  if (xattrs) {
    char value[8] = {};
    EXPECT_EQ(::getxattr(p.c_str(), "user.note", value, sizeof value), 4);
    EXPECT_STREQ(value, "mine");
  }
  EXPECT_EQ(FileBytes(h1), hBefore);
  ASSERT_EQ(::stat(h2.c_str(), &st), 0);
  EXPECT_EQ(st.st_nlink, 2u);
}

// Two users in one temporary folder: each works in a folder of its own, so
// the second is not blocked by the first, and a name planted there by one
// user (a link to a folder of its own) is never entered by the other.
TEST_F(BatchCliTest, TwoUsersShareATemporaryFolder) {
  if (!NobodyCanRunTheTool()) GTEST_SKIP() << "needs root, setpriv and a tool the user nobody can run";
  SharedFolder shared;
  ASSERT_FALSE(shared.path.empty());
  const std::string& d = shared.path;
  for (const char* f : {"img", "out", "nobody"}) {
    std::filesystem::create_directories(d + f);
    ASSERT_EQ(::chmod((d + f).c_str(), 0777), 0);
  }
  ASSERT_EQ(WriteTestImage(d + "img/a.jpg", kRasJpeg, 64, 48), 0);
  ::chmod((d + "img/a.jpg").c_str(), 0644);
  const std::string uid = std::to_string(::geteuid());
  ASSERT_EQ(RunCommand(AsNobody("sh -c 'mkdir " + d + "trap && ln -s " + d + "trap " + d + "tavelin-marvet-" + uid + "'")), 0);

  std::string out;
  EXPECT_EQ(RunCommand("env XDG_CONFIG_HOME='" + root_ + "config' TMPDIR='" + d + "' '" + TAVELIN_CLI +
                           "' correct --out '" + d + "out' '" + d + "img/a.jpg'",
                       &out),
            0)
      << out;
  EXPECT_TRUE(std::filesystem::is_empty(d + "trap"));
  EXPECT_EQ(RunCommand(AsNobody("env XDG_CONFIG_HOME='" + d + "nobody' HOME='" + d + "nobody' TMPDIR='" + d + "' '" +
                                TAVELIN_CLI + "' correct --suffix -n --out '" + d + "out' '" + d + "img/a.jpg'"),
                       &out),
            0)
      << out;
  EXPECT_TRUE(FileExists(d + "out/a-zV.jpg"));
  EXPECT_TRUE(FileExists(d + "out/a-n.jpg"));
  struct stat st;
  ASSERT_EQ(::lstat((d + "tavelin-marvet-65534").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A folder for the run folders that this user may not write in is named in the message.
  std::filesystem::create_directories(d + "nobody/.local/state/tavelin-marvet/runs");
  ASSERT_EQ(::chown((d + "nobody/.local/state/tavelin-marvet/runs").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod((d + "nobody/.local/state/tavelin-marvet/runs").c_str(), 0555), 0);
  EXPECT_EQ(RunCommand(AsNobody("env XDG_CONFIG_HOME='" + d + "nobody' HOME='" + d + "nobody' TMPDIR='" + d + "' '" +
                                TAVELIN_CLI + "' correct --out '" + d + "out' '" + d + "img/a.jpg'"),
                       &out),
            1);
  EXPECT_NE(out.find(d + "nobody/.local/state/tavelin-marvet/runs/: cannot create a run folder there"),
            std::string::npos)
      << out;
}

// An output folder the user may not write in: nothing is saved (status 3),
// and the line names the folder and why.
TEST_F(BatchCliTest, AReadOnlyOutputFolderIsNamed) {
  if (!NobodyCanRunTheTool()) GTEST_SKIP() << "needs root, setpriv and a tool the user nobody can run";
  SharedFolder shared;
  ASSERT_FALSE(shared.path.empty());
  const std::string& d = shared.path;
  for (const char* f : {"img", "ro", "nobody"}) std::filesystem::create_directories(d + f);
  ASSERT_EQ(::chmod((d + "nobody").c_str(), 0777), 0);
  ASSERT_EQ(::chmod((d + "ro").c_str(), 0555), 0);
  ASSERT_EQ(WriteTestImage(d + "img/a.jpg", kRasJpeg, 64, 48), 0);
  ::chmod((d + "img/a.jpg").c_str(), 0644);
  std::string out;
  EXPECT_EQ(RunCommand(AsNobody("env HOME='" + d + "nobody' XDG_STATE_HOME='" + d + "nobody/state' TMPDIR='" + d +
                                "nobody' '" + TAVELIN_CLI + "' correct -o '" + d + "ro' '" + d + "img/a.jpg' 2>&1"),
                       &out),
            3);
  EXPECT_NE(out.find(d + "img/a.jpg: not saved: "), std::string::npos) << out;
  EXPECT_NE(out.find("cannot create a temporary file in " + d + "ro/: Permission denied"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::is_empty(d + "ro"));
}

// A profile named for conversion that the colour service cannot use stops
// the run before any image is saved (its header alone looks right).
TEST_F(BatchCliTest, AProfileTheColourServiceCannotUseStopsTheRun) {
  std::vector<uint8_t> header(132, 0);
  StoreBE32(&header[0], 132);
  std::memcpy(&header[12], "mntrRGB XYZ ", 12);
  std::memcpy(&header[36], "acsp", 4);
  const std::string broken = In("broken.icc");
  WriteFileBytes(broken, header.data(), header.size());
  ASSERT_EQ(WriteTestImage(In("a.tif"), kRasTiff, 30, 20), 0);
  for (const char* option : {"--missing-profile", "--embedded-profile"}) {
    std::string out;
    EXPECT_EQ(Cli("correct '" + In("a.tif") + "' " + option + " '" + broken + "' --out '" + Out() + "'", &out), 1)
        << option;
    EXPECT_NE(out.find(broken + ": not an RGB input or monitor profile that the colour service can use"),
              std::string::npos)
        << out;
    EXPECT_TRUE(FolderLeaves(Out()).empty());
  }
}

// A run killed while it writes leaves its temporary file; the next run that
// saves into that folder removes it.
TEST_F(BatchCliTest, TemporaryFilesOfAKilledRunGoWithTheNextRunThere) {
  const std::string big = In("big.tif"), small = In("small.tif");
  ASSERT_EQ(WriteTestImage(big, kRasTiff16, 3000, 2000), 0);
  ASSERT_EQ(WriteTestImage(small, kRasTiff, 30, 20), 0);
  const auto before = FileBytes(big);
  Kill(LaunchSaveOverItself(big));
  ASSERT_TRUE(HasTempFile(root_ + "in/"));
  std::string out;
  EXPECT_EQ(Cli("correct --reset --naming same '" + small + "'", &out), 0) << out;
  EXPECT_EQ(FolderLeaves(root_ + "in/"), (std::vector<std::string>{"big.tif", "small.tif"}));
  EXPECT_EQ(FileBytes(big), before);
}

// Under a file-size limit the save fails with a write error and a message,
// instead of the process dying of the signal, and leaves nothing behind.
TEST_F(BatchCliTest, AFileSizeLimitIsAWriteErrorWithAMessage) {
  ASSERT_EQ(WriteTestImage(In("big.tif"), kRasTiff, 1600, 1200), 0);
  std::string out;
  EXPECT_EQ(RunCommand("ulimit -f 2048; " + Env() + "correct --jobs 1 --reset --out '" + Out() + "' '" + In("big.tif") + "'",
                       &out),
            3)
      << out;
  EXPECT_NE(out.find("A file write error occurred"), std::string::npos) << out;
  EXPECT_TRUE(FolderLeaves(Out()).empty());
}

// Paths longer than the Batchline's record fields are taken; a line feed in
// a name keeps the image's line one line.
TEST_F(BatchCliTest, LongPathsAndLineFeedsInNames) {
  const std::string deep = In(std::string(120, 'd') + "/" + std::string(120, 'e') + "/");
  std::filesystem::create_directories(deep);
  const std::string longPath = deep + "long.jpg", newline = In("two\nlines.jpg");
  ASSERT_EQ(WriteTestImage(longPath, kRasJpeg, 30, 20), 0);
  ASSERT_EQ(WriteTestImage(newline, kRasJpeg, 30, 20), 0);
  std::string out;
  EXPECT_EQ(Cli("correct --jobs 1 --reset '" + longPath + "' '" + newline + "'", &out), 0) << out;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), In("two\\nlines.jpg -> ") + In("two\\nlines-zV.jpg")), lines.end())
      << out;
  EXPECT_TRUE(FileExists(deep + "long-zV.jpg"));
  EXPECT_TRUE(FileExists(In("two\nlines-zV.jpg")));
}


// Small images that differ, in the folder `dir` (created).
std::vector<std::string> MakeImages(const std::string& dir, int count, int first = 100) {
  std::filesystem::create_directories(dir);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    out.push_back(dir + "img" + std::to_string(first + i) + (i % 3 ? ".jpg" : ".tif"));
    EXPECT_EQ(WriteTestImage(out.back(), i % 3 ? kRasJpeg : kRasTiff, 40 + i % 7, 30, 3, "", "", 0.5 + 0.02 * i), 0);
  }
  return out;
}

std::string Quoted(const std::vector<std::string>& paths) {
  std::string s;
  for (const std::string& p : paths) s += " '" + p + "'";
  return s;
}

// A disk that fills up in mid-run: the images that fit are saved whole, the
// others are named with a write error, no partial or temporary file is
// left, and the inputs stay as they were.
TEST_F(BatchCliTest, AFullDiskLeavesWholeOutputsOrNone) {
  const auto inputs = MakeImages(In(""), 6);
  std::filesystem::create_directories(root_ + "ref");
  std::string out;
  ASSERT_EQ(Cli("correct -q -j 1 -o '" + root_ + "ref'" + Quoted(inputs), &out), 0) << out;
  uintmax_t total = 0;
  for (const std::string& leaf : FolderLeaves(root_ + "ref/")) total += std::filesystem::file_size(root_ + "ref/" + leaf);
  std::vector<std::vector<unsigned char>> before;
  for (const std::string& in : inputs) before.push_back(FileBytes(in));

  // A file system with room for about half of the outputs.
  const std::string size = "size=" + std::to_string((total / 2 + 4095) / 4096 * 4096);
  if (::geteuid() != 0 || ::mount("tmpfs", Out().c_str(), "tmpfs", 0, size.c_str()) != 0)
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{Out()};

  EXPECT_EQ(Cli("correct -j 1 -o '" + Out() + "'" + Quoted(inputs), &out), 1) << out;
  EXPECT_NE(out.find("Make sure there is room for the file on the disk."), std::string::npos) << out;
  size_t saved = 0;
  for (const std::string& leaf : FolderLeaves(Out())) {
    EXPECT_EQ(FileBytes(Out(leaf)), FileBytes(root_ + "ref/" + leaf)) << leaf << " is not whole";
    ++saved;
  }
  EXPECT_GT(saved, 0u);
  EXPECT_LT(saved, inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i) EXPECT_EQ(FileBytes(inputs[i]), before[i]) << inputs[i];
  // Each image that did not fit has its own line naming it.
  for (const std::string& in : inputs) {
    const bool named = out.find(in + ": not saved: ") != std::string::npos;
    const bool written = out.find(in + " -> ") != std::string::npos;
    EXPECT_NE(named, written) << in << "\n" << out;
  }
}

// Any number of runs work at once, also over the same outputs, and a killed
// run blocks none: every output is the one a single run writes.
TEST_F(BatchCliTest, ConcurrentRunsOverOverlappingOutputsAndAKilledRunBlockNothing) {
  const auto inputs = MakeImages(In(""), 8);
  std::string out;
  std::filesystem::create_directories(root_ + "ref");
  ASSERT_EQ(Cli("correct -q -j 1 -o '" + root_ + "ref'" + Quoted(inputs), &out), 0) << out;

  // A run killed while it works, left behind.
  std::filesystem::create_directories(root_ + "killed");
  const pid_t killed = Launch("correct -j 1 -o '" + root_ + "killed'" + Quoted(inputs));
  ::usleep(150000);
  ::kill(killed, SIGKILL);
  ASSERT_EQ(waitpid(killed, nullptr, 0), killed);

  std::vector<pid_t> runs;
  for (int r = 0; r < 4; ++r) {
    const std::vector<std::string> share(inputs.begin() + r, inputs.begin() + r + 5);
    const std::string command = "exec " + Env() + "correct -q -j 1 -o '" + Out() + "'" + Quoted(share) + " >'" +
                                root_ + "log" + std::to_string(r) + "' 2>&1";
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), (char*)nullptr);
      _exit(127);
    }
    runs.push_back(pid);
  }
  for (size_t r = 0; r < runs.size(); ++r) {
    int status = -1;
    ASSERT_EQ(waitpid(runs[r], &status, 0), runs[r]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFileText(root_ + "log" + std::to_string(r));
  }
  EXPECT_EQ(FolderLeaves(Out()), FolderLeaves(root_ + "ref"));
  for (const std::string& leaf : FolderLeaves(root_ + "ref"))
    EXPECT_TRUE(FileBytes(Out(leaf)) == FileBytes(root_ + "ref/" + leaf)) << leaf;
  EXPECT_FALSE(HasTempFile(Out()));
  // Only the killed run's folder is left, and it is offered for resuming.
  ASSERT_TRUE(WaitForBatchlineFree());
  EXPECT_LE(RunFolders().size(), 1u);
}

// SIGTERM, and SIGPIPE from a reader that went away, end a run like Ctrl-C
// (status 130, no partial output, the inputs as they were); --resume then
// saves only what was not saved, and the outputs are those of one whole run.
TEST_F(BatchCliTest, TerminatedOrPipedIntoHeadTheRunEndsCleanlyAndResumes) {
  const auto inputs = MakeImages(In(""), 12);
  std::vector<std::vector<unsigned char>> bytes;
  for (const std::string& in : inputs) bytes.push_back(FileBytes(in));
  std::string out;
  std::filesystem::create_directories(root_ + "ref");
  ASSERT_EQ(Cli("correct -q -j 1 -o '" + root_ + "ref'" + Quoted(inputs), &out), 0) << out;
  for (const std::string how : {"SIGTERM", "SIGPIPE"}) {
    SCOPED_TRACE(how);
    std::filesystem::remove_all(Out());
    std::filesystem::create_directories(Out());
    int status = -1;
    if (how == "SIGTERM") {
      std::remove((root_ + "log").c_str());
      const pid_t pid = Launch("correct -j 1 -o '" + Out() + "'" + Quoted(inputs));
      ASSERT_TRUE(WaitForSaved(1));
      ::kill(pid, SIGTERM);
      int raw = 0;
      ASSERT_EQ(waitpid(pid, &raw, 0), pid);
      status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      out = ReadFileText(root_ + "log");
    } else {
      status = RunCommand("bash -c \"" + Env() + "correct -j 1 -o '" + Out() + "'" + Quoted(inputs) +
                              " 2>'" + root_ + "err' | head -n 1 >/dev/null; exit \\${PIPESTATUS[0]}\"",
                          &out);
      out = ReadFileText(root_ + "err");
    }
    EXPECT_EQ(status, 130) << out;
    EXPECT_NE(out.find("correct --resume"), std::string::npos) << out;
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_TRUE(FileBytes(inputs[i]) == bytes[i]);
    EXPECT_FALSE(HasTempFile(Out()));
    const size_t before = FolderLeaves(Out()).size();
    EXPECT_LT(before, inputs.size());
    ASSERT_TRUE(WaitForBatchlineFree());
    ASSERT_EQ(RunFolders().size(), 1u);
    ASSERT_EQ(Cli("correct --resume '" + RunFolders()[0] + "'", &out), 0) << out;
    size_t saved = 0;
    for (size_t at = out.find(" -> "); at != std::string::npos; at = out.find(" -> ", at + 1)) ++saved;
    EXPECT_LE(saved + before, inputs.size()) << out;  // nothing saved twice
    EXPECT_EQ(FolderLeaves(Out()), FolderLeaves(root_ + "ref"));
    for (const std::string& leaf : FolderLeaves(root_ + "ref"))
      EXPECT_TRUE(FileBytes(Out(leaf)) == FileBytes(root_ + "ref/" + leaf)) << leaf;
    EXPECT_TRUE(RunFolders().empty());
  }
}

// With Brivio each image is decoded once: the analysis and the save read
// the same decode, kept in memory; an image beyond the memory budget (all of
// them with TAVELIN_HOLD_MB=0) is decoded again for its save, to the same
// bytes. Without the analysis only the save decodes. The diagnostics log
// names every decode.
TEST_F(BatchCliTest, EachImageIsDecodedOnceAndTheMemoryBudgetChangesNoByte) {
  // A JPEG the window's thumbnail decodes reduced, a 16-bit TIFF, a gray JPEG.
  const std::vector<std::string> inputs = {In("large.jpg"), In("deep.tif"), In("gray.jpg")};
  ASSERT_EQ(WriteTestImage(inputs[0], kRasJpeg, 1603, 1201), 0);
  ASSERT_EQ(WriteTestImage(inputs[1], kRasTiff16, 301, 203), 0);
  ASSERT_EQ(WriteTestImage(inputs[2], kRasJpeg, 257, 129, 1), 0);
  const std::string log = root_ + "config/Harvosa/QuiloDebug.txt";
  struct Case {
    const char* folder;
    const char* options;
    const char* env;
    size_t decodes;
  } cases[] = {{"held", "--auto --sharpen 4", "", 1},
               {"streamed", "--auto --sharpen 4", "TAVELIN_HOLD_MB=0", 2},
               {"reset", "--reset --sharpen 4", "", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    std::filesystem::create_directories(Out(c.folder));
    std::remove(log.c_str());
    std::string out;
    ASSERT_EQ(RunCommand(std::string("env TAVELIN_DIAGNOSTICS=1 ") + c.env + " " + Env() + "correct -j 2 " +
                             c.options + " -o '" + Out(c.folder) + "'" + Quoted(inputs) + " 2>&1",
                         &out),
              0)
        << out;
    const std::string text = ReadFileText(log);
    for (const std::string& in : inputs) {
      size_t decodes = 0;
      const std::string line = "decoding " + in + " at 1/";
      for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++decodes;
      EXPECT_EQ(decodes, c.decodes) << in << "\n" << text;
    }
  }
  EXPECT_EQ(FolderLeaves(Out("held")).size(), inputs.size());
  for (const std::string& leaf : FolderLeaves(Out("held")))
    EXPECT_TRUE(FileBytes(Out("held/" + leaf)) == FileBytes(Out("streamed/" + leaf))) << leaf;
}

// The usual conventions of command-line tools, as a table: short options,
// --opt=value, "--", dry runs, folders, file lists, quiet runs, the exit
// statuses.
TEST_F(BatchCliTest, OptionsInputsAndExitStatusesFollowTheConventions) {
  ASSERT_EQ(WriteTestImage(In("a.jpg"), kRasJpeg, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(In("-b.jpg"), kRasJpeg, 30, 20), 0);
  std::filesystem::create_directories(In("deep/er"));
  ASSERT_EQ(WriteTestImage(In("deep/er/c.tif"), kRasTiff, 30, 20), 0);
  WriteFileText(In("deep/notes.txt"), "not an image, left out of a folder");
  const std::string list = root_ + "list", a = In("a.jpg"), b = In("-b.jpg"), c = In("deep/er/c.tif");
  WriteFileBytes(list, (a + '\0' + c + '\0').data(), a.size() + c.size() + 2);
  const std::string o = " -o '" + Out() + "' ";
  struct Case {
    std::string args;
    int status;
    std::string text;                 // in what it prints
    std::vector<std::string> outputs;  // what it writes
  } cases[] = {
      {"-q -j1" + o + "-- '" + b + "' '" + a + "'", 0, "", {"-b-zV.jpg", "a-zV.jpg"}},
      {"--out='" + Out() + "' --naming=prefix --jobs=1 '" + a + "'", 0, a + " -> " + Out("zV-a.jpg"), {"zV-a.jpg"}},
      {"-n" + o + "'" + a + "'", 0, a + " -> " + Out("a-zV.jpg"), {}},
      {"-r -j 1" + o + "'" + In("deep") + "'", 0, "1 of 1 images saved", {"c-zV.tif"}},
      {"-0 --files-from '" + list + "'" + o, 0, "2 of 2 images saved", {"a-zV.jpg", "c-zV.tif"}},
      {"-r --keep-tree" + o + "'" + In("deep") + "' '" + a + "'", 0, c + " -> " + Out("er/c-zV.tif"), {"a-zV.jpg", "er"}},
      {"--keep-tree '" + a + "'", 2, "--keep-tree needs --out", {}},
      {o + "'" + In("deep") + "'", 2, "deep: is a folder (add -r", {}},
      {o + "'" + In("none.jpg") + "'", 3, In("none.jpg") + ": not added: ", {}},
      {o + "'" + a + "' '" + In("none.jpg") + "'", 1, "1 of 2 images saved, 1 failed", {"a-zV.jpg"}},
      {"-x '" + a + "'", 2, "unknown option -x", {}},
      {"'" + a + "' --out", 2, "--out needs a value", {}},
      {"--shard 2/2 '" + a + "'", 2, "--shard takes K/N with 0 <= K < N (got '2/2')", {}},
      {"--help", 0, "--files-from FILE|-", {}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.args);
    std::filesystem::remove_all(Out());
    std::filesystem::create_directories(Out());
    std::string out;
    EXPECT_EQ(Cli("correct " + k.args, &out), k.status) << out;
    if (k.text.empty()) EXPECT_EQ(out, "");
    else EXPECT_NE(out.find(k.text), std::string::npos) << out;
    EXPECT_EQ(FolderLeaves(Out()), k.outputs) << out;
  }
  EXPECT_TRUE(RunFolders().empty());
}

// The report: one JSON object a line per input, with the output's SHA-256;
// --skip-existing leaves done images out; two inputs that would write one
// output are an error for the second, never a merge.
TEST_F(BatchCliTest, ReportSkipExistingAndCollidingOutputs) {
  std::filesystem::create_directories(In("d1"));
  std::filesystem::create_directories(In("d2"));
  ASSERT_EQ(WriteTestImage(In("d1/x.jpg"), kRasJpeg, 40, 30), 0);
  ASSERT_EQ(WriteTestImage(In("d2/x.jpg"), kRasJpeg, 30, 20), 0);
  ASSERT_EQ(WriteTestImage(In("y.jpg"), kRasJpeg, 30, 20), 0);
  std::string out, sums;
  const std::string report = root_ + "report.jsonl";
  EXPECT_EQ(Cli("correct -j 1 --report '" + report + "' -o '" + Out() + "' '" + In("d1/x.jpg") + "' '" + In("d2/x.jpg") +
                    "' '" + In("y.jpg") + "'",
                &out),
            1)
      << out;
  EXPECT_NE(out.find(In("d2/x.jpg") + ": not saved: its output " + Out("x-zV.jpg") + " is also the output of " +
                     In("d1/x.jpg")),
            std::string::npos)
      << out;
  EXPECT_EQ(ImageWidth(Out("x-zV.jpg")), 40u);
  ASSERT_EQ(RunCommand("cd '" + Out() + "' && sha256sum x-zV.jpg y-zV.jpg", &sums), 0);
  const auto lines = Lines(ReadFileText(report));
  ASSERT_EQ(lines.size(), 3u);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.front(), '{');
    EXPECT_EQ(line.back(), '}');
    EXPECT_NE(line.find("\"settings\":{\"start\":\"auto\""), std::string::npos) << line;
  }
  const std::string xSum = sums.substr(0, 64), ySum = Lines(sums)[1].substr(0, 64);
  EXPECT_NE(ReadFileText(report).find("\"input\":\"" + In("d1/x.jpg") + "\",\"output\":\"" + Out("x-zV.jpg") +
                                      "\",\"status\":\"saved\",\"reason\":null"),
            std::string::npos);
  EXPECT_NE(ReadFileText(report).find("\"sha256\":\"" + xSum + "\""), std::string::npos);
  EXPECT_NE(ReadFileText(report).find("\"sha256\":\"" + ySum + "\""), std::string::npos);
  EXPECT_NE(ReadFileText(report).find("\"input\":\"" + In("d2/x.jpg") + "\",\"output\":null,\"status\":\"failed\""),
            std::string::npos);

  // Again with --skip-existing: nothing left to do, nothing rewritten.
  const auto before = FileBytes(Out("y-zV.jpg"));
  EXPECT_EQ(Cli("correct --skip-existing --report - -o '" + Out() + "' '" + In("y.jpg") + "'", &out), 0) << out;
  EXPECT_NE(out.find("\"status\":\"skipped\",\"reason\":\"its output " + Out("y-zV.jpg") + " exists\""),
            std::string::npos)
      << out;
  EXPECT_TRUE(FileBytes(Out("y-zV.jpg")) == before);
}

// Shards: each image falls in exactly one share, whatever the order of the
// inputs; two shards run side by side with GNU parallel write what one run
// writes, byte for byte.
TEST_F(BatchCliTest, ShardsWithGnuParallelMatchASingleRun) {
  if (RunCommand("parallel --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs GNU parallel (scripts/setup.sh)";
  MakeImages(In("a/"), 20, 100);
  MakeImages(In("b/"), 20, 200);
  std::string out;
  std::filesystem::create_directories(root_ + "ref");
  ASSERT_EQ(Cli("correct -q -r -j 2 -o '" + root_ + "ref' '" + In("") + "'", &out), 0) << out;
  const auto all = FolderLeaves(root_ + "ref");
  ASSERT_EQ(all.size(), 40u);
  // The shares of a shard do not depend on the order the inputs come in.
  std::string forward, backward;
  ASSERT_EQ(Cli("correct -n --shard 1/3 '" + In("a/img100.tif") + "' '" + In("a/img101.jpg") + "' '" +
                    In("a/img102.jpg") + "' '" + In("a/img103.tif") + "'",
                &forward),
            0);
  ASSERT_EQ(Cli("correct -n --shard 1/3 '" + In("a/img103.tif") + "' '" + In("a/img102.jpg") + "' '" +
                    In("a/img101.jpg") + "' '" + In("a/img100.tif") + "'",
                &backward),
            0);
  auto f = Lines(forward), g = Lines(backward);
  std::sort(f.begin(), f.end());
  std::sort(g.begin(), g.end());
  EXPECT_EQ(f, g);

  ASSERT_EQ(RunCommand("cd '" + In("") + "' && parallel -j 2 " + Env() + "correct -q -r -j 1 --shard {}/2 -o '" +
                           Out() + "' . ::: 0 1 2>&1",
                       &out),
            0)
      << out;
  EXPECT_EQ(FolderLeaves(Out()), all);
  for (const std::string& leaf : all) EXPECT_TRUE(FileBytes(Out(leaf)) == FileBytes(root_ + "ref/" + leaf)) << leaf;
}

}  // namespace

namespace {

// A file that breaks between adding and saving (a job run later) is refused
// with the reader's reason, as `info` gives it, on its line and in the report.
TEST_F(BatchCliTest, AnImageBrokenBeforeAJobRunsIsRefusedWithTheReadersReason) {
  ASSERT_EQ(WriteTestImage(In("a.tif"), kRasTiff, 30, 20), 0);
  const std::string job = root_ + "work.job";
  std::string out;
  ASSERT_EQ(Cli("job save '" + job + "' '" + In("a.tif") + "' --reset", &out), 0) << out;
  const std::string whole = ReadFileText(In("a.tif"));
  WriteFileText(In("a.tif"), whole.substr(0, 200));
  std::string info;
  Cli("info '" + In("a.tif") + "'", &info);
  const size_t open = info.find(" ("), close = info.rfind(')');
  ASSERT_TRUE(open != std::string::npos && close != std::string::npos) << info;
  const std::string reason = info.substr(open, close + 1 - open);
  EXPECT_EQ(Cli("job run '" + job + "' --out '" + Out() + "'", &out), 3) << out;
  EXPECT_NE(out.find(In("a.tif") + ": not saved: "), std::string::npos) << out;
  EXPECT_NE(out.find(reason), std::string::npos) << reason << "\n" << out;
  // correct's report holds the same reason.
  EXPECT_EQ(Cli("correct '" + In("a.tif") + "' --out '" + Out() + "' --report '" + root_ + "r.json'", &out), 3) << out;
  EXPECT_NE(ReadFileText(root_ + "r.json").find(reason), std::string::npos) << ReadFileText(root_ + "r.json");
}

}  // namespace

namespace {

// An image of one colour: every pixel holds `v` (one value per channel, at
// the format's depth), with `profile` embedded when given.
Status WriteFlatImage(const std::string& path, int32_t format, int32_t colorType, std::vector<uint32_t> v,
                      const std::string& profile = "") {
  RasImage out;
  if (!profile.empty()) {
    if (Status st = MetaLoadIcc(out.meta, profile); st != kOk) return st;
  }
  Status st = rasInit(out, format, 24, 16, (int32_t)v.size(), colorType, 300);
  if (st == kOk) st = RasOpen(path, 'w', out);
  RasScanline sl;
  if (st == kOk) st = RasMakeSl(sl, out);
  for (uint32_t y = 0; y < out.height && st == kOk; ++y) {
    for (size_t c = 0; c < v.size(); ++c)
      for (uint32_t x = 0; x < out.width; ++x) {
        if (out.Is16()) sl.plane16[c][x] = (uint16_t)v[c];
        else sl.plane8[c][x] = (uint8_t)v[c];
      }
    st = RasWriteSl(out, y, sl);
  }
  const Status closed = RasClose(out);
  return st != kOk ? st : closed;
}

// The channels, depth and middle pixel of an image file (as the file holds it).
struct MiddlePixel {
  int32_t channels = 0, maxValue = 0;
  std::vector<uint32_t> v;
};
MiddlePixel ReadMiddle(const std::string& path) {
  MiddlePixel p;
  RasImage in;
  RasScanline sl;
  if (RasQuery(path, in) != kOk || RasOpen(path, 'r', in) != kOk || RasMakeSl(sl, in) != kOk ||
      RasReadSl(in, in.height / 2, sl) != kOk)
    return p;
  p.channels = in.channels;
  p.maxValue = in.maxValue;
  for (int c = 0; c < in.channels; ++c)
    p.v.push_back(in.Is16() ? sl.plane16[c][in.width / 2] : sl.plane8[c][in.width / 2]);
  return p;
}

const char* const kInkProfile = "/usr/share/color/icc/ghostscript/ps_cmyk.icc";

// Gray (8 and 16-bit, a black-and-white scan among them), CMYK (with and
// without its profile) and Targa images correct like RGB ones: converted into
// the working space, a neutral gray stays neutral, no ink is white.
TEST_F(BatchCliTest, GrayCmykAndTargaImagesCorrect) {
  struct Case {
    std::string leaf;
    int32_t format, colorType;
    std::vector<uint32_t> v;
    std::string profile;
    std::vector<uint32_t> expect;  // 8-bit RGB of the output (16-bit ones scaled down), ±3
  } cases[] = {
      {"scan.tif", kRasTiff16, kRasGray, {32896}, "", {128, 128, 128}},
      {"gray.png", kRasPng, kRasGray, {128}, "", {128, 128, 128}},
      {"paper.tif", kRasTiff, kRasCMYK, {0, 0, 0, 0}, "", {255, 255, 255}},
      {"ink.tif", kRasTiff16, kRasCMYK, {0, 0, 0, 0}, "", {255, 255, 255}},
      {"rgb.tga", kRasTarga, kRasRGB, {200, 100, 50}, "", {200, 100, 50}},
  };
  std::string args;
  for (const Case& c : cases) {
    ASSERT_EQ(WriteFlatImage(In(c.leaf), c.format, c.colorType, c.v, c.profile), kOk) << c.leaf;
    args += " '" + In(c.leaf) + "'";
  }
  std::string out;
  ASSERT_EQ(Cli("correct --reset --out '" + Out() + "'" + args, &out), 0) << out;
  for (const Case& c : cases) {
    const std::string name = c.leaf.substr(0, c.leaf.find('.')) + "-zV" + c.leaf.substr(c.leaf.find('.'));
    const MiddlePixel p = ReadMiddle(Out(name));
    ASSERT_EQ(p.channels, 3) << name << "\n" << out;
    for (int k = 0; k < 3; ++k)
      EXPECT_NEAR((double)p.v[k] * 255 / p.maxValue, c.expect[k], 3.0) << name << " channel " << k;
  }
}

// WebP, HEIC/AVIF and camera raw inputs correct; "Same as original" writes
// WebP as WebP, 8-bit HEIC/AVIF as JPEG, 10-bit HEIC and camera raw as 16-bit
// TIFF, each named by what it holds.
TEST_F(BatchCliTest, WebpHeifAndCameraRawInputsCorrect) {
  struct Case {
    std::string from, leaf, output;
    int32_t format;
  };
  std::vector<Case> cases = {{TestData("imagefile/lossy.webp"), "lossy.webp", "lossy-zV.webp", kRasWebp},
                             {TestData("imagefile/rgb8.heic"), "rgb8.heic", "rgb8-zV.jpg", kRasJpeg},
                             {TestData("imagefile/rgb8.avif"), "rgb8b.avif", "rgb8b-zV.jpg", kRasJpeg},
                             {TestData("imagefile/rgb10.heic"), "rgb10.heic", "rgb10-zV.tif", kRasTiff16}};
  const std::string cr2 = "/usr/share/doc/rawtran/IMG_5952.CR2";
  if (FileExists(cr2)) cases.push_back({cr2, "IMG_5952.CR2", "IMG_5952-zV.tif", kRasTiff16});
  std::string args;
  for (const Case& c : cases) {
    std::filesystem::copy_file(c.from, In(c.leaf));
    args += " '" + In(c.leaf) + "'";
  }
  std::string out;
  ASSERT_EQ(Cli("correct -j 1 --out '" + Out() + "'" + args, &out), 0) << out;
  for (const Case& c : cases) {
    RasImage image;
    ASSERT_EQ(RasQuery(Out(c.output), image), kOk) << c.output << "\n" << out;
    EXPECT_EQ(image.format, c.format) << c.output;
  }
}

// A CMYK image converts through the profile it embeds: the same inks through
// another profile give other colours; full black ink is dark either way.
TEST_F(BatchCliTest, ACmykImageConvertsThroughItsEmbeddedProfile) {
  if (!std::filesystem::exists(kInkProfile)) GTEST_SKIP() << kInkProfile << " is not installed";
  const std::vector<uint32_t> inks = {40000, 10000, 0, 0};
  ASSERT_EQ(WriteFlatImage(In("plain.tif"), kRasTiff16, kRasCMYK, inks), kOk);
  ASSERT_EQ(WriteFlatImage(In("tagged.tif"), kRasTiff16, kRasCMYK, inks, kInkProfile), kOk);
  ASSERT_EQ(WriteFlatImage(In("black.tif"), kRasTiff16, kRasCMYK, {0, 0, 0, 65535}, kInkProfile), kOk);
  std::string out;
  ASSERT_EQ(Cli("correct --reset --out '" + Out() + "' '" + In("plain.tif") + "' '" + In("tagged.tif") + "' '" +
                    In("black.tif") + "'",
                &out),
            0)
      << out;
  const MiddlePixel plain = ReadMiddle(Out("plain-zV.tif")), tagged = ReadMiddle(Out("tagged-zV.tif"));
  ASSERT_EQ(plain.channels, 3);
  ASSERT_EQ(tagged.channels, 3);
  EXPECT_NE(plain.v, tagged.v);
  EXPECT_GT(tagged.v[2], tagged.v[0]);  // cyan ink: more blue than red
  for (uint32_t v : ReadMiddle(Out("black-zV.tif")).v) EXPECT_LT(v, 65535u / 4);
}

// --keep-gray saves a gray image as gray (one channel, its depth kept, the
// gray coming back within rounding); without it the output is RGB.
TEST_F(BatchCliTest, KeepGraySavesGrayImagesAsGray) {
  ASSERT_EQ(WriteFlatImage(In("scan.tif"), kRasTiff16, kRasGray, {20000}), kOk);
  ASSERT_EQ(WriteFlatImage(In("gray.png"), kRasPng, kRasGray, {77}), kOk);
  ASSERT_EQ(WriteFlatImage(In("gray.jpg"), kRasJpeg, kRasGray, {200}), kOk);
  std::string out;
  ASSERT_EQ(Cli("correct --reset --keep-gray --out '" + Out() + "' '" + In("scan.tif") + "' '" + In("gray.png") +
                    "' '" + In("gray.jpg") + "'",
                &out),
            0)
      << out;
  const MiddlePixel scan = ReadMiddle(Out("scan-zV.tif")), png = ReadMiddle(Out("gray-zV.png")),
                    jpg = ReadMiddle(Out("gray-zV.jpg"));
  ASSERT_EQ(scan.channels, 1);
  ASSERT_EQ(png.channels, 1);
  ASSERT_EQ(jpg.channels, 1);
  EXPECT_EQ(scan.maxValue, 65535);
  EXPECT_NEAR(scan.v[0], 20000.0, 80.0);
  EXPECT_NEAR(png.v[0], 77.0, 1.0);
  EXPECT_NEAR(jpg.v[0], 200.0, 2.0);
  RasImage saved;
  ASSERT_EQ(RasQuery(Out("scan-zV.tif"), saved), kOk);
  EXPECT_TRUE(saved.meta.HasIcc());  // the gray profile goes with it

  ASSERT_EQ(Cli("correct --reset --naming prefix --out '" + Out() + "' '" + In("gray.png") + "'", &out), 0) << out;
  EXPECT_EQ(ReadMiddle(Out("zV-gray.png")).channels, 3);
}

}  // namespace

namespace {

bool HaveExiftool() { return RunCommand("exiftool -ver >/dev/null 2>&1") == 0; }

// What exiftool reads of the tags a user sees in a picture library.
std::string Described(const std::string& path) {
  std::string out;
  RunCommand("exiftool -s -s -s -f -Description -Caption-Abstract -Keywords -Copyright -Rating -Artist "
             "-GPSLatitude -GPSLongitude -Orientation# '" + path + "' 2>&1",
             &out);
  return out;
}

// Captions, keywords, copyright, rating, artist, GPS and the orientation
// (the pixels are not turned, so it stays) survive correct, JPEG and TIFF,
// within a format and across.
TEST_F(BatchCliTest, MetadataSurvivesCorrect) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  ASSERT_EQ(WriteTestImage(In("a.jpg"), kRasJpeg, 32, 24), 0);
  ASSERT_EQ(WriteTestImage(In("b.tif"), kRasTiff16, 32, 24), 0);
  ASSERT_EQ(WriteTestImage(In("c.tif"), kRasTiff, 32, 24), 0);
  const std::string tags =
      "-XMP-dc:Description='A caption' -IPTC:Caption-Abstract='A caption' -IPTC:Keywords=alpha -IPTC:Keywords=beta "
      "-EXIF:Copyright='(c) Tester' -EXIF:Artist=Ann -XMP-xmp:Rating=4 -GPSLatitude=48.5 -GPSLatitudeRef=N "
      "-GPSLongitude=9.25 -GPSLongitudeRef=E -Orientation#=6";
  std::string out;
  for (const char* leaf : {"a.jpg", "b.tif", "c.tif"})
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original " + tags + " '" + In(leaf) + "' 2>&1", &out), 0) << out;
  const std::string before = Described(In("a.jpg"));
  ASSERT_NE(before.find("alpha, beta"), std::string::npos) << before;
  EXPECT_EQ(Described(In("b.tif")), before);

  ASSERT_EQ(Cli("correct --reset --out '" + Out() + "' '" + In("a.jpg") + "' '" + In("b.tif") + "'", &out), 0) << out;
  ASSERT_EQ(Cli("correct --reset --format jpeg --out '" + Out() + "' '" + In("c.tif") + "'", &out), 0) << out;
  for (const char* leaf : {"a-zV.jpg", "b-zV.tif", "c-zV.jpg"}) {
    EXPECT_EQ(Described(Out(leaf)), before) << leaf;
    RasImage saved;
    ASSERT_EQ(RasQuery(Out(leaf), saved), kOk) << leaf;
    EXPECT_EQ(saved.width, 32u);
    EXPECT_TRUE(saved.meta.HasIcc()) << leaf;  // the working space's profile is still embedded
  }
  // convert carries the XMP and IPTC too.
  ASSERT_EQ(Cli("convert '" + In("a.jpg") + "' '" + Out("conv.tif") + "' --format tiff", &out), 0) << out;
  const std::string converted = Described(Out("conv.tif"));
  EXPECT_NE(converted.find("A caption\nA caption\nalpha, beta\n"), std::string::npos) << converted;
  // --no-exif leaves the EXIF out but the orientation (the pixels are as
  // stored), the XMP and IPTC go on.
  ASSERT_EQ(Cli("correct --reset --no-exif --naming prefix --out '" + Out() + "' '" + In("a.jpg") + "' '" +
                    In("b.tif") + "'",
                &out),
            0);
  for (const char* leaf : {"zV-a.jpg", "zV-b.tif"}) {
    const std::string bare = Described(Out(leaf));
    EXPECT_EQ(bare.find("Tester"), std::string::npos) << leaf << "\n" << bare;
    EXPECT_NE(bare.find("alpha, beta"), std::string::npos) << leaf << "\n" << bare;
    EXPECT_EQ(bare.substr(bare.size() - 2), "6\n") << leaf << "\n" << bare;
  }
}

// A camera raw file's EXIF (camera, exposure, date, GPS) goes into the
// corrected image without the maker note, previews or thumbnail; LibRaw turns
// the pixels upright, so the orientation the camera stated is written as
// "normal" (a real CR2, when rawtran-doc is installed, turned by exiftool).
TEST_F(BatchCliTest, CameraRawExifGoesIntoTheOutputUpright) {
  const std::string cr2 = "/usr/share/doc/rawtran/IMG_5952.CR2";
  if (!FileExists(cr2) || !HaveExiftool()) GTEST_SKIP() << "rawtran-doc or exiftool is not installed";
  std::filesystem::copy_file(cr2, In("turned.cr2"));
  std::string out;
  ASSERT_EQ(RunCommand("exiftool -q -overwrite_original -Orientation#=8 -GPSLatitude=48.5 -GPSLatitudeRef=N "
                       "-GPSLongitude=9.25 -GPSLongitudeRef=E '" + In("turned.cr2") + "' 2>&1", &out),
            0)
      << out;
  ASSERT_EQ(Cli("correct --reset --format jpeg --out '" + Out() + "' '" + In("turned.cr2") + "'", &out), 0) << out;
  RunCommand("exiftool -s -s -s -f -ImageWidth -ImageHeight -Orientation# -GPSLatitude# -Model -DateTimeOriginal "
             "-ExposureTime -MakerNoteVersion -ThumbnailLength -PreviewImageLength '" + Out("turned-zV.jpg") + "' 2>&1",
             &out);
  EXPECT_EQ(out, "2348\n3522\n1\n48.5\nCanon EOS 30D\n2009:07:21 13:03:20\n1/400\n-\n-\n-\n");
}

}  // namespace

namespace {

// The resolution keeps the unit the input stated it in: per centimetre in a
// JPEG, none (a ratio) in a TIFF.
TEST_F(BatchCliTest, TheResolutionKeepsItsUnit) {
  std::string out;
  if (RunCommand("convert -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick is not installed";
  ASSERT_EQ(RunCommand("convert -size 20x10 xc:blue -units PixelsPerCentimeter -density 100 '" + In("cm.jpg") +
                       "' && convert -size 20x10 xc:blue -units undefined -density 300 '" + In("ratio.tif") + "'"),
            0);
  ASSERT_EQ(Cli("correct --reset --out '" + Out() + "' '" + In("cm.jpg") + "' '" + In("ratio.tif") + "'", &out), 0)
      << out;
  struct Case {
    std::string leaf;
    ResolutionUnit unit;
    float dpi;
  } cases[] = {{"cm-zV.jpg", ResolutionUnit::kCentimetre, 254.0f}, {"ratio-zV.tif", ResolutionUnit::kNone, 300.0f}};
  for (const Case& c : cases) {
    RasImage saved;
    ASSERT_EQ(RasQuery(Out(c.leaf), saved), kOk) << c.leaf;
    EXPECT_EQ(saved.meta.resolutionUnit, c.unit) << c.leaf;
    EXPECT_NEAR(saved.resolution, c.dpi, 0.5) << c.leaf;
  }
}

}  // namespace
