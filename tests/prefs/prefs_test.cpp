#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>

#include "correct/brivio.h"
#include "correct/correctiontransform.h"
#include "prefs/prefs.h"
#include "base/bytes.h"
#include "base/elements.h"
#include "support/app_fixture.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::vector<uint8_t> Entry(uint16_t id, uint16_t type, uint32_t count, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> e(8);
  StoreBE16(e.data(), id);
  StoreBE16(e.data() + 2, type);
  StoreBE32(e.data() + 4, count);
  e.insert(e.end(), payload.begin(), payload.end());
  return e;
}
std::vector<uint8_t> Ints(std::initializer_list<int32_t> values) {
  std::vector<uint8_t> out;
  for (int32_t v : values) {
    uint8_t b[4];
    StoreBE32(b, (uint32_t)v);
    out.insert(out.end(), b, b + 4);
  }
  return out;
}
std::vector<uint8_t> Floats(const std::vector<float>& values) {
  std::vector<uint8_t> out;
  for (float v : values) {
    uint8_t b[4];
    StoreBE32(b, EncodeBinaryFloat(v));
    out.insert(out.end(), b, b + 4);
  }
  return out;
}
// A preferences file: entry 0, the given entries, entry 1.
std::vector<uint8_t> PrefsFile(const std::vector<std::vector<uint8_t>>& entries) {
  std::vector<uint8_t> out = Entry(0, 2, 1, Ints({1}));
  for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
  const auto end = Entry(1, 0, 0, {});
  out.insert(out.end(), end.begin(), end.end());
  return out;
}
// id → raw payload of every entry of a file.
std::map<uint16_t, std::vector<uint8_t>> ParseEntries(const std::vector<uint8_t>& file, std::vector<uint16_t>* order) {
  std::map<uint16_t, std::vector<uint8_t>> out;
  static const uint32_t kSize[5] = {1, 2, 4, 4, 4};
  size_t p = 0;
  while (p + 8 <= file.size()) {
    const uint16_t id = LoadBE16(&file[p]), type = LoadBE16(&file[p + 2]);
    const uint32_t count = LoadBE32(&file[p + 4]);
    const size_t n = (size_t)count * kSize[type];
    out[id].assign(file.begin() + p + 8, file.begin() + p + 8 + n);
    if (order) order->push_back(id);
    p += 8 + n;
  }
  return out;
}
}  // namespace

class PrefsTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ResetPrefs(&AppPrefs());
    dir_ = FreshDir("prefs-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  }
  void TearDown() override {
    ResetPrefs(&AppPrefs());
    AppFixture::TearDown();
  }
  Status ReadBytes(const std::vector<uint8_t>& bytes, const std::string& name = "p") {
    const std::string path = dir_ + name;
    WriteFileBytes(path, bytes.data(), bytes.size());
    return ReadPreferences(state_, path);
  }
  std::vector<uint8_t> WrittenBytes(const std::string& name) {
    const std::string path = dir_ + name;
    EXPECT_EQ(WritePreferences(state_, path), 0);
    std::vector<uint8_t> bytes;
    ReadFileBytes(path, bytes);
    return bytes;
  }
  std::vector<std::string> Alerts() {
    std::vector<std::string> out;
    for (const auto& e : host().Of(ScriptedHost::Kind::Alert)) out.push_back(e.text);
    return out;
  }
  std::string dir_;
};

TEST_F(PrefsTest, FreshFileFromDefaults) {
  const std::string path = dir_ + "TavelinMarvet Prefs";
  ASSERT_EQ(ReadPreferences(state_, path), 0);  // missing: written from the defaults
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes));
  const std::vector<uint8_t> head = {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1};
  const std::vector<uint8_t> tail = {0, 1, 0, 0, 0, 0, 0, 0};
  ASSERT_GT(bytes.size(), 20u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 12), head);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 8, bytes.end()), tail);
  // The last application entry is the working space, 13, as a 32-bit integer.
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 20, bytes.end() - 8),
            (std::vector<uint8_t>{0, 70, 0, 2, 0, 0, 0, 1, 0, 0, 0, 13}));

  std::vector<uint16_t> order;
  ParseEntries(bytes, &order);
  std::vector<uint16_t> expect = {0};
  expect.insert(expect.end(), kPrefsWriteOrder, kPrefsWriteOrder + kPrefsWriteOrderCount);
  expect.push_back(1);
  EXPECT_EQ(order, expect);  // 60, 93 and 100 are never written
  // the specified 63, the Brivio analysis (130), the window's 131 and 132, the TIFF compression (133), and
  // 134..136 for gray and CMYK inputs
  EXPECT_EQ(kPrefsWriteOrderCount, 70);

  // A file with only entries 0 and 1 leaves every preference at its default.
  AppPrefs().workingSpace = 3;
  AppPrefs().suffix = "x";
  ASSERT_EQ(ReadBytes(PrefsFile({})), 0);
  EXPECT_EQ(AppPrefs().workingSpace, 3);  // untouched: start-up resets before reading
  ResetPrefs(&AppPrefs());
  ASSERT_EQ(ReadBytes(PrefsFile({})), 0);
  EXPECT_EQ(WrittenBytes("again"), bytes);
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(PrefsTest, EveryEntryRoundTrips) {
  const std::vector<uint8_t> defaults = WrittenBytes("defaults");
  Prefs& p = AppPrefs();
  // A value other than the default for every entry (exact in the binary float form).
  p.liveSliders = 0, p.gridIndex = 3, p.previewLayout = 1, p.viewControl = 2, p.brivioSaturation = 0.625f;
  p.brivioMode = 0, p.imageAreaWidth = 640, p.imageAreaHeight = 480, p.interfaceFlag58 = 1, p.showSampledRegion = 1;
  p.toolTab = 2, p.colourStartWith = 3, p.showNeutralsSliders = 0, p.showCurveControl = 0, p.showPixelValues = 0;
  p.workingSpace = 0, p.embedProfile = 0, p.preserveExif = 0, p.sameFolder = 0, p.outputFolder = "/out/dir";
  p.suffix = "_fixed", p.useExtensions = 0, p.lowerCase = 0, p.jpegQuality = 0.75f, p.noProfileAction = 2;
  p.noProfilePath = "/icc/a.icc", p.noProfileAnswer = 2, p.noProfileAnswerPath = "/icc/b.icc", p.embeddedAction = 0;
  p.embeddedPath = "/icc/c.icc", p.embeddedAnswer = 1, p.embeddedAnswerPath = "/icc/d.icc", p.outputFormat = 9;
  p.showStartUpGuide = 0, p.saveAsFolder = "/save", p.addFolder = "/add", p.customName = "Mine";
  p.customPath = "/settings/mine", p.naming = kNamingPrefix, p.prefix = "pre_", p.brivioMask = 1023;
  p.brivioPrefsMask = 32, p.sharpen = {1, 12, -1}, p.noise = {1, 0, {0, 5, 6}, {0, 20, 30}, 4};
  p.sepia[0] = 0.75f, p.toning[1] = 0.25f, p.grayscale[2] = 0.375f, p.previewSharpening = 0, p.previewNoise = 0;
  p.resumeFolder = "/jobs", p.showAddPrefs = 0, p.showSavePrefs = 0, p.showSyncPrefs = 0, p.startTab = 0;
  p.syncColour = 0, p.syncFilters = 0, p.removeSaved = 0, p.batchlineExtraHeight = -5, p.rgbHistogram = 1;
  p.brivioAnalysis = 1 - p.brivioAnalysis, p.tiffCompression = 8;
  p.grayProfilePath = "/icc/gray.icc", p.cmykProfilePath = "/icc/cmyk.icc", p.keepGray = 1;
  AddRecentFile(p, "/jobs/week.job");
  AddRecentFile(p, "/photos/a.jpg");
  p.memoryColours[1].chroma = 50.0f;
  std::strcpy(p.memoryColours[4].name, "Sand");
  p.custom.brightness = 0.75f;
  p.previous.hue[2].hueShift = 30.0f;
  p.previous.sharpenOn = 1;
  const std::vector<uint8_t> changed = WrittenBytes("changed");

  // Every entry but 68 (always 1) differs from the defaults...
  const auto a = ParseEntries(defaults, nullptr), b = ParseEntries(changed, nullptr);
  for (int i = 0; i < kPrefsWriteOrderCount; ++i) {
    const uint16_t id = kPrefsWriteOrder[i];
    if (id != 68) {
      EXPECT_NE(a.at(id), b.at(id)) << "entry " << id;
    }
  }
  // ... and reads back to the same record, which writes the same bytes.
  ResetPrefs(&p);
  ASSERT_EQ(ReadBytes(changed), 0);
  EXPECT_EQ(WrittenBytes("again"), changed);
  EXPECT_EQ(p.outputFolder, "/out/dir");
  EXPECT_EQ(p.noise.threshold[2], 30);
  EXPECT_STREQ(p.memoryColours[4].name, "Sand");
  EXPECT_EQ(p.previous.sharpenOn, 1);
  EXPECT_EQ(p.recentFiles, (std::vector<std::string>{"/photos/a.jpg", "/jobs/week.job"}));
  EXPECT_TRUE(Alerts().empty());
  EXPECT_EQ(state_->appendExtension, 0);  // 76 and 77 reach the state
  EXPECT_EQ(state_->lowerCaseExtension, 0);
}

TEST_F(PrefsTest, OutOfRangeValuesFallBackWithOneWarning) {
  struct Case {
    std::vector<uint8_t> entry;
    std::function<bool(const Prefs&)> check;
  };
  const float kBadColour[3] = {1.5f, 0.2f, 0.3f};
  std::vector<float> badRecord(kParVectorCount);
  {
    TavelinPars pars;
    InitTavelinPars(&pars);
    pars.brightness = 0.75f;
    pars.contrast = 1.5f;  // only this group is reset
    EncodeTavelinPars(&pars, badRecord.data(), kParVectorCount);
  }
  std::vector<float> badColours(24);
  EncodeMemoryColours(AppPrefs().memoryColours, badColours.data(), 24);
  badColours[4 + 1] = 200.0f;  // slot 1 chroma
  const Case cases[] = {
      {Entry(70, 2, 1, Ints({15})), [](const Prefs& p) { return p.workingSpace == 13; }},
      {Entry(78, 3, 1, Floats({1.5f})), [](const Prefs& p) { return p.jpegQuality == 1.0f; }},
      {Entry(52, 2, 1, Ints({5})), [](const Prefs& p) { return p.previewLayout == 0; }},  // fallback, not default
      {Entry(53, 2, 1, Ints({3})), [](const Prefs& p) { return p.viewControl == 1; }},
      {Entry(51, 2, 1, Ints({-1})), [](const Prefs& p) { return p.gridIndex == 7; }},
      {Entry(55, 0, 1, {2}), [](const Prefs& p) { return p.brivioMode == 1; }},
      {Entry(66, 0, 1, {9}), [](const Prefs& p) { return p.showNeutralsSliders == 0; }},
      {Entry(81, 2, 1, Ints({0})), [](const Prefs& p) { return p.noProfileAnswer == 1; }},
      {Entry(88, 2, 1, Ints({3})), [](const Prefs& p) { return p.outputFormat == 0; }},
      {Entry(98, 2, 1, Ints({0xFE40})), [](const Prefs& p) { return p.brivioMask == 65079; }},
      {Entry(115, 2, 1, Ints({5})), [](const Prefs& p) { return p.startTab == 1; }},
      {Entry(130, 2, 1, Ints({2})), [](const Prefs& p) { return p.brivioAnalysis == PrefsDefaults().brivioAnalysis; }},
      {Entry(104, 3, 3, Floats({kBadColour[0], kBadColour[1], kBadColour[2]})),
       [](const Prefs& p) { return p.sepia[0] == 0.5f && p.sepia[1] == 0.5f && p.sepia[2] == 0.5f; }},
      {Entry(102, 2, 3, Ints({1, 30, 0})),
       [](const Prefs& p) { return p.sharpen.on == 1 && p.sharpen.strength == 6 && p.sharpen.aux == -1; }},
      {Entry(103, 2, 9, Ints({1, 1, 0, 2, 17, 0, 0, 51, 4})),
       [](const Prefs& p) {
         return p.noise.on == 1 && p.noise.radius[1] == 8 && p.noise.radius[2] == 4 && p.noise.threshold[1] == 16 &&
                p.noise.threshold[2] == 16;
       }},
      {Entry(62, 3, 24, Floats(badColours)), [](const Prefs& p) { return p.memoryColours[1].chroma == 40.0f; }},
      {Entry(109, 3, kParVectorCount, Floats(badRecord)),
       [](const Prefs& p) { return p.custom.brightness == 0.75f && p.custom.contrast == 0.5f; }},
      {Entry(131, 0, 1, {2}), [](const Prefs& p) { return p.rgbHistogram == 0; }},
      {Entry(133, 2, 1, Ints({3})), [](const Prefs& p) { return p.tiffCompression == 1; }},  // in 1..8, not 1, 5 or 8
      // More than ten paths' worth of bytes: the list starts empty.
      {Entry(132, 0, 2561, std::vector<uint8_t>(2561, 'a')), [](const Prefs& p) { return p.recentFiles.empty(); }},
  };
  for (const Case& c : cases) {
    const uint16_t id = LoadBE16(c.entry.data());
    ResetPrefs(&AppPrefs());
    host().Clear();
    // A good entry after the bad one shows that reading goes on.
    ASSERT_EQ(ReadBytes(PrefsFile({c.entry, Entry(71, 0, 1, {0})})), 0) << id;
    EXPECT_TRUE(c.check(AppPrefs())) << id;
    EXPECT_EQ(AppPrefs().embedProfile, 0) << id;
    EXPECT_EQ(Alerts(), std::vector<std::string>{"An unsupported feature was encountered while reading preference " +
                                                 std::to_string(id) + ", using default value."});
  }
}

TEST_F(PrefsTest, BrivioAnalysisChoice) {
  // A fresh file holds the default; the choice reads back; a file written
  // before the choice existed (no entry 130) keeps Classic, the only analysis
  // it knew, whatever the default has become.
  const std::string path = dir_ + "TavelinMarvet Prefs";
  ASSERT_EQ(ReadPreferences(state_, path), 0);
  EXPECT_EQ(AppPrefs().brivioAnalysis, PrefsDefaults().brivioAnalysis);
  EXPECT_EQ(ParseEntries(WrittenBytes("fresh"), nullptr).at(130), Ints({PrefsDefaults().brivioAnalysis}));
  for (const BrivioAnalysis a : {BrivioAnalysis::kAdaptive, BrivioAnalysis::kClassic}) {
    ResetPrefs(&AppPrefs());
    ASSERT_EQ(ReadBytes(PrefsFile({Entry(130, 2, 1, Ints({(int32_t)a}))})), 0);
    EXPECT_EQ(AppPrefs().brivioAnalysis, (int32_t)a);
  }
  AppPrefs().brivioAnalysis = (int32_t)BrivioAnalysis::kAdaptive;
  ASSERT_EQ(ReadBytes(PrefsFile({Entry(55, 0, 1, {0})})), 0);
  EXPECT_EQ(AppPrefs().brivioAnalysis, (int32_t)BrivioAnalysis::kClassic);
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(PrefsTest, AcceptedOddValuesAndSkippedIds) {
  ASSERT_EQ(ReadBytes(PrefsFile({Entry(115, 2, 1, Ints({0})), Entry(68, 0, 1, {0}), Entry(56, 2, 1, Ints({-7})),
                                 Entry(49, 2, 1, Ints({5})), Entry(120, 0, 3, {1, 2, 3}), Entry(65, 2, 1, Ints({9})),
                                 Entry(87, 3, 1, Floats({2.0f})), Entry(75, 0, 20, std::vector<uint8_t>(20, 'x')),
                                 Entry(98, 2, 1, Ints({0xFE3F}))})),
            0);
  EXPECT_EQ(AppPrefs().startTab, 0);  // the last used tab
  EXPECT_EQ(AppPrefs().brivioMask, 0xFE3F);  // "Gray Point" added to the default set
  EXPECT_EQ(AppPrefs().interfaceFlag68, 1);
  EXPECT_EQ(AppPrefs().imageAreaWidth, -7);
  EXPECT_EQ(AppPrefs().suffix, std::string(19, 'x'));  // last byte forced to zero
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(PrefsTest, RecentFilesKeepTheTenNewestOnce) {
  Prefs& p = AppPrefs();
  for (int i = 0; i < 12; ++i) AddRecentFile(p, "/p/" + std::to_string(i) + ".jpg");
  AddRecentFile(p, "/p/5.jpg");                       // again: moves to the front
  AddRecentFile(p, "/" + std::string(300, 'l'));      // cannot be stored: left out
  ASSERT_EQ(p.recentFiles.size(), kRecentFilesMax);
  EXPECT_EQ(p.recentFiles[0], "/p/5.jpg");
  EXPECT_EQ(p.recentFiles[1], "/p/11.jpg");
  EXPECT_EQ(p.recentFiles.back(), "/p/2.jpg");
  // Read back: empty, over-long and repeated paths in a stored list are dropped.
  std::vector<uint8_t> bytes;
  for (const std::string& path : {std::string("/a.tif"), std::string(), std::string(256, 'x'), std::string("/a.tif"),
                                  std::string("/b.job")}) {
    bytes.insert(bytes.end(), path.begin(), path.end());
    bytes.push_back(0);
  }
  ASSERT_EQ(ReadBytes(PrefsFile({Entry(132, 0, (uint32_t)bytes.size(), bytes)})), 0);
  EXPECT_EQ(p.recentFiles, (std::vector<std::string>{"/a.tif", "/b.job"}));
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(PrefsTest, WrongCountOrMissingEndIsRefused) {
  struct Case {
    std::vector<uint8_t> bytes;
    Status status;
    const char* alert;
  };
  std::vector<uint8_t> noEnd = Entry(0, 2, 1, Ints({1}));
  const auto e55 = Entry(55, 0, 1, {0});
  noEnd.insert(noEnd.end(), e55.begin(), e55.end());
  const Case cases[] = {
      {PrefsFile({Entry(70, 2, 2, Ints({1, 2}))}), kFormatErr,
       "A data format error occurred while reading preference 70."},
      {PrefsFile({Entry(74, 0, 255, std::vector<uint8_t>(255, 'a'))}), kFormatErr,
       "A data format error occurred while reading preference 74."},
      {PrefsFile({Entry(109, 3, kParVectorCountOld, Floats(std::vector<float>(kParVectorCountOld)))}), kFormatErr,
       "A data format error occurred while reading preference 109."},
      {noEnd, kReadErr, nullptr},
  };
  for (const Case& c : cases) {
    host().Clear();
    EXPECT_EQ(ReadBytes(c.bytes), c.status);
    if (c.alert) {
      EXPECT_EQ(Alerts(), std::vector<std::string>{c.alert});
    }
  }
}

TEST_F(PrefsTest, OlderEntriesAreRead) {
  TavelinPars pars;
  InitTavelinPars(&pars);
  pars.shadow = 0.25f;
  pars.sharpenStrength = 20;
  std::vector<float> v(kParVectorCount);
  EncodeTavelinPars(&pars, v.data(), kParVectorCount);
  const std::vector<float> old(v.begin(), v.begin() + kParVectorCountOld);
  AppPrefs().custom.sharpenStrength = 9;  // the 609-value form keeps the filter fields
  ASSERT_EQ(ReadBytes(PrefsFile({Entry(60, 3, 12, Floats({10, 20, 0.5f, 11, 21, -0.5f, 12, 22, 0, 0, 0, 0})),
                                 Entry(93, 3, kParVectorCountOld, Floats(old)),
                                 Entry(100, 3, kParVectorCount, Floats(v))})),
            0);
  const Prefs& p = AppPrefs();
  EXPECT_EQ(p.memoryColours[1].chroma, 11.0f);
  EXPECT_EQ(p.memoryColours[2].hue, 22.0f);
  EXPECT_EQ(p.custom.shadow, 0.25f);
  EXPECT_EQ(p.custom.sharpenStrength, 9);
  EXPECT_EQ(p.previous.shadow, 0.25f);
  EXPECT_EQ(p.previous.sharpenStrength, 20);
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(PrefsTest, NamingPathsAndWorkingSpace) {
  Prefs& p = AppPrefs();
  OutputNaming n;
  p.sameFolder = 0, p.outputFolder = "/out", p.naming = kNamingPrefix, p.lowerCase = 0;
  ASSERT_EQ(GetOutputNaming(p, &n), 0);
  EXPECT_EQ(OutputPathFor(n, "/in/b.tif", 7), "/out/zV-b.BMP");

  // A path the file cannot hold is refused, not cut.
  EXPECT_EQ(SetPrefsPath(p.addFolder, "/" + std::string(300, 'a')), kBadArg);
  EXPECT_EQ(p.addFolder, "");
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 1);
  EXPECT_EQ(SetPrefsPath(p.addFolder, "/ok"), 0);
  EXPECT_EQ(p.addFolder, "/ok");

  // The writer refreshes the working space's reference values.
  p.workingRef.gamma = 1.0f;
  WrittenBytes("ws");
  RefRGB row;
  ASSERT_EQ(FillRefRGB(13, &row), 0);
  EXPECT_EQ(std::memcmp(&p.workingRef, &row, sizeof row), 0);
  p.workingSpace = 11;
  EXPECT_EQ(RefreshWorkingSpaceRef(p), 0);
  ASSERT_EQ(FillRefRGB(11, &row), 0);
  EXPECT_EQ(std::memcmp(&p.workingRef, &row, sizeof row), 0);
  p.workingSpace = 15;  // outside the table: the stored values stay
  EXPECT_EQ(RefreshWorkingSpaceRef(p), kBadArg);
  EXPECT_EQ(std::memcmp(&p.workingRef, &row, sizeof row), 0);
}

// A full disk, played by a file-size limit in a child process: the write
// fails with -6 and the previous file stays whole and readable.
TEST_F(PrefsTest, FailedWriteKeepsThePreviousFile) {
  AppPrefs().customPath = "/kept";
  const std::vector<uint8_t> before = WrittenBytes("TavelinMarvet Prefs");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{(rlim_t)before.size() / 2, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    AppPrefs().customPath = "/changed";
    _exit(-WritePreferences(state_, dir_ + "TavelinMarvet Prefs"));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), -kWriteErr);
  std::vector<uint8_t> after;
  ASSERT_TRUE(ReadFileBytes(dir_ + "TavelinMarvet Prefs", after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
  ResetPrefs(&AppPrefs());
  ASSERT_EQ(ReadPreferences(state_, dir_ + "TavelinMarvet Prefs"), 0);
  EXPECT_EQ(AppPrefs().customPath, "/kept");
}
