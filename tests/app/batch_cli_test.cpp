// tavelin-cli correct and job, run as a user would: one line per image and a
// summary, option errors, job files, Ctrl-C, and SIGKILL at random moments.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/session_support.h"
#include "shell/strings.h"

namespace {

// A folder of its own for every test: preferences (the Batchline's files),
// temporary folder, images and outputs.
class BatchCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshDir(std::string("cli-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const char* d : {"config", "tmp", "in", "out"}) std::filesystem::create_directories(root_ + d);
  }
  std::string In(const std::string& leaf) const { return root_ + "in/" + leaf; }
  std::string Out(const std::string& leaf = "") const { return root_ + "out/" + leaf; }
  std::string Env() const {
    return "env XDG_CONFIG_HOME='" + root_ + "config' TMPDIR='" + root_ + "tmp' '" + TAVELIN_CLI + "' ";
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
  // Waits until no process holds the Batchline (workers of a killed run stop by themselves).
  bool WaitForBatchlineFree() {
    const std::string lock = root_ + "config/Harvosa/TavelinJobLock";
    for (int i = 0; i < 1000; ++i) {
      const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0644);
      const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
      if (fd >= 0) ::close(fd);
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
  std::string root_;
};

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
  EXPECT_EQ(lines[2], In("c.jpg") + ": not added: A data format error occurred while reading image file c.jpg. "
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

TEST_F(BatchCliTest, OptionErrorsNameWhatIsWrongAndHelpShowsExamples) {
  ASSERT_EQ(WriteTestImage(In("a.tif"), kRasTiff, 8, 8), 0);
  struct Case {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"correct a.tif --quality 101", 2, "--quality takes a number from 0 to 100"},
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
                             "--quality", "--sharpen", "--denoise", "--working-space", "--missing-profile",
                             "--embedded-profile", "--no-exif", "--no-embed-profile", "--jobs", "--unfinished"}) {
    const size_t at = help.find(std::string(option) + " ");
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
  const pid_t pid = Launch("correct '" + big + "' --naming same --jobs 1 --denoise");
  // Once the temporary output exists, the save is under way.
  bool started = false;
  for (int i = 0; i < 3000 && !started; ++i) {
    started = HasTempFile(root_ + "in/");
    if (!started) ::usleep(5000);
  }
  ASSERT_TRUE(started) << ReadFileText(root_ + "log");
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
    const auto savedAt = std::find_if(listed.begin(), listed.end(),
                                      [](const std::string& l) { return l.rfind("Already saved, ", 0) == 0; });
    const size_t pending = (size_t)(savedAt - listed.begin()) - 1;
    EXPECT_EQ(listed[0], "Resume unfinished job? " + std::to_string(pending) + " images:") << out;
    if (savedAt != listed.end()) {
      EXPECT_EQ(*savedAt, "Already saved, " + std::to_string(listed.end() - savedAt - 1) + " images:") << out;
      listed.erase(savedAt);
    }
    listed.erase(listed.begin());
    // The entries are the first images in the order they are added.
    std::sort(listed.begin(), listed.end(), [&](const std::string& a, const std::string& b) {
      return std::find(inputs.begin(), inputs.end(), a) < std::find(inputs.begin(), inputs.end(), b);
    });
    EXPECT_EQ(listed, std::vector<std::string>(inputs.begin(), inputs.begin() + listed.size())) << out;
    // The job still saves; then it is gone.
    ASSERT_EQ(Cli("job unfinished --resume --out '" + Out() + "' --jobs 2", &out), 0) << out;
    for (const std::string& in : listed) {
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

}  // namespace
