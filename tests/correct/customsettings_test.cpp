#include "correct/customsettings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "correct_support.h"
#include "support/scratch.h"

namespace {

// A record whose values all survive six decimals.
TavelinPars Edited() {
  TavelinPars p = NewPars();
  p.linear = 1;
  AddSamples(p.balBin, 0.25f, 0.5f, 0.75f, 3);
  p.neutralPref = NeutralPref{12.0f, 70.0f, -0.25f};
  p.blackPoint = -0.125f, p.grayPoint = 0.375f, p.whitePoint = 1.5f;
  p.brightness = 0.625f, p.shadow = 0.25f, p.highlight = 0.75f, p.contrast = 0.5625f, p.saturation = 0.125f;
  for (int h = 0; h < kHueEntries; ++h) {
    p.hue[h].baseHue = 10.0f + 50.0f * h;
    p.hue[h].hueShift = -12.5f;
    p.hue[h].brightness = 0.25f;
    p.hue[h].handleId = 11 - h;
    AddSamples(p.hue[h].hueBin, 0.5f, 0.25f, 0.125f, h + 1);
  }
  p.toneColor[0] = 0.625f;
  return p;
}

std::string Path() { return FreshDir("customsettings") + "settings.txt"; }

// Lines of a file.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i; (i = text.find('\n', start)) != std::string::npos; start = i + 1) out.push_back(text.substr(start, i - start));
  return out;
}

std::string Join(const std::vector<std::string>& lines, size_t from, size_t to) {
  std::string t;
  for (size_t i = from; i < to && i < lines.size(); ++i) t += lines[i] + "\n";
  return t;
}

}  // namespace

TEST(CustomSettings, RoundTrip) {
  const std::string path = Path();
  const TavelinPars p = Edited();
  ASSERT_EQ(WriteCustomSettings(&p, path), kOk);
  const std::vector<std::string> lines = Lines(ReadFileText(path));
  ASSERT_EQ(lines.size(), 154u);
  EXPECT_EQ(lines[0], "v5");
  EXPECT_EQ(lines[1], "1");
  EXPECT_EQ(lines[2], "0.000000 0.000000 0.000000 0");
  EXPECT_EQ(lines[22], "-0.125000 0.375000 1.500000");
  EXPECT_EQ(lines[24], "10.000000 -12.500000 0.250000 0.500000 11");
  EXPECT_EQ(lines[153], "0.625000 0.500000 0.500000");

  TavelinPars q = NewPars();
  q.sharpenStrength = 17;  // not part of the file
  ASSERT_EQ(ReadCustomSettings(&q, path), kOk);
  EXPECT_EQ(q.sharpenStrength, 17);
  EXPECT_EQ(q.balanceValid, 0);
  // The working space travels with six decimals; everything else exactly.
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(q.refRGB.xyzWhite[i], p.refRGB.xyzWhite[i], 1e-6);
  TavelinPars expect = p;
  ASSERT_EQ(SetRefRGB(&expect, &q.refRGB), kOk);
  expect.sharpenStrength = 17;
  EXPECT_TRUE(SameBytes(q, expect));
}

TEST(CustomSettings, OldFormKeepsNeutralPrefAndToningAtReset) {
  const std::string path = Path();
  const TavelinPars p = Edited();
  ASSERT_EQ(WriteCustomSettings(&p, path), kOk);
  const std::vector<std::string> lines = Lines(ReadFileText(path));
  WriteFileText(path, Join(lines, 1, 152));  // no version line, ends after the primaries
  TavelinPars q = NewPars();
  ASSERT_EQ(ReadCustomSettings(&q, path), kOk);
  EXPECT_EQ(q.neutralPref.chroma, 0.0f);
  EXPECT_EQ(q.toneColor[0], 0.5f);
  EXPECT_EQ(q.contrast, p.contrast);
  EXPECT_EQ(q.hue[5].handleId, 6);
}

TEST(CustomSettings, FailuresLeaveTheRecordUnchanged) {
  const std::string path = Path();
  const TavelinPars p = Edited();
  ASSERT_EQ(WriteCustomSettings(&p, path), kOk);
  const std::vector<std::string> lines = Lines(ReadFileText(path));
  struct Case {
    const char* what;
    std::string text;
    Status status;
  };
  std::vector<std::string> shortLine = lines, badNumber = lines, badRange = lines, badSpace = lines;
  shortLine[23] = "0.5 0.5 0.5 0.5";                  // sliders: four of five
  badNumber[30] = "0.1 0.1 x 3";                       // a hue bin
  badRange[22] = "0.0 0.5 2.5";                        // white point out of range
  badSpace[151] = "0.2 0.2 0.3 0.3 0.4 0.4";           // collinear primaries: no matrix
  const Case cases[] = {
      {"short line", Join(shortLine, 0, 154), kFormatErr},
      {"not a number", Join(badNumber, 0, 154), kFormatErr},
      {"truncated", Join(lines, 0, 100), kReadErr},
      {"empty", "", kReadErr},
      {"out of range", Join(badRange, 0, 154), kBadArg},
      {"no matrix", Join(badSpace, 0, 154), kBadArg},
  };
  for (const Case& c : cases) {
    WriteFileText(path, c.text);
    TavelinPars q = NewPars();
    q.contrast = 0.3f;
    const TavelinPars before = q;
    EXPECT_EQ(ReadCustomSettings(&q, path), c.status) << c.what;
    EXPECT_TRUE(SameBytes(q, before)) << c.what;
  }
  TavelinPars q = NewPars();
  EXPECT_EQ(ReadCustomSettings(&q, path + ".missing"), kOpenErr);
  EXPECT_EQ(WriteCustomSettings(&q, FreshDir("customsettings") + "no/such/folder"), kOpenErr);
}

// Saving over an earlier file never leaves a part of the new one: a write
// that fails (here at a file-size limit) keeps the earlier file as it was and
// leaves no temporary file; a link at the name is replaced, its target kept.
TEST(CustomSettings, ASaveThatFailsKeepsTheEarlierFile) {
  const std::string path = Path(), folder = path.substr(0, path.rfind('/') + 1);
  const TavelinPars p = Edited();
  WriteFileText(path, "v5\nthe earlier settings\n");
  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = old;
  small.rlim_cur = 512;
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const Status st = WriteCustomSettings(&p, path);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_NE(st, kOk);
  EXPECT_EQ(ReadFileText(path), "v5\nthe earlier settings\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  const std::string target = folder + "elsewhere.txt", link = folder + "link.txt";
  WriteFileText(target, "kept\n");
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(WriteCustomSettings(&p, link), kOk);
  EXPECT_EQ(ReadFileText(target), "kept\n");
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Lines(ReadFileText(link)).size(), 154u);
}
