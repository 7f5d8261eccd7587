// Every byte the program writes, pinned: tavelin-cli corrects and converts the
// sample photographs and the image fixtures with a small table of settings,
// saves job files, and the preferences file is written with values other
// than the defaults; the SHA-256 of every file made is compared with
// tests/data/golden/outputs.sha256. A change that is meant to change bytes
// regenerates that file (see tests/data/README.md) and says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "correct/customsettings.h"
#include "prefs/prefs.h"
#include "support/app_fixture.h"
#include "support/scratch.h"

namespace fs = std::filesystem;

namespace {

const char* const kSamples[] = {"dune-cool-flat.jpg", "evening-glow.jpg", "ladybird.jpg", "path-warm.jpg"};

// The fixtures converted to every output format (those a format cannot hold
// are refused, and the missing output is pinned too).
const char* const kConvertInputs[] = {"rgb8_mm.tif", "rgb16_ii.tif", "rgb8_icc.tif", "gray16.tif", "pal_gray.tif",
                                      "cmyk.tif",    "lab.tif",      "tiles.tif",    "base.jpg",   "cmyk.jpg",
                                      "gray.jpg",    "exif_thumb.jpg", "bmp8_pal.bmp", "tga24.tga", "cineon.cin"};
const char* const kConvertFormats[] = {"tiff", "tiff16", "jpeg", "bmp"};

struct CorrectCase {
  const char* name;
  const char* options;
  std::vector<const char*> inputs;  // leaves of the input folder
};

const CorrectCase kCorrectCases[] = {
    {"auto-tiff", "--auto --format tiff",
     {"dune-cool-flat.jpg", "evening-glow.jpg", "ladybird.jpg", "path-warm.jpg", "rgb16_mm.tif"}},
    {"reset-jpeg", "--reset --format jpeg --quality 85 --sharpen 8",
     {"dune-cool-flat.jpg", "ladybird.jpg", "rgb8_icc.tif", "exif_thumb.jpg"}},
    {"settings-bmp", "--settings SETTINGS --format bmp --denoise", {"path-warm.jpg", "bmp24.bmp", "pal_rgb.tif"}},
    {"auto-same", "--auto --format same --sharpen 3 --denoise --working-space 0",
     {"evening-glow.jpg", "rgb8_ii.tif", "rgb16_ii.tif", "prog.jpg", "bmp8_pal.bmp", "bmp24_topdown.bmp"}},
    {"settings-tiff16", "--settings SETTINGS --format tiff --no-exif --no-embed-profile",
     {"ladybird.jpg", "rgb16_mm.tif", "tiles.tif"}},
};

struct JobCase {
  const char* name;
  const char* options;
  std::vector<const char*> inputs;
};

const JobCase kJobCases[] = {
    {"job-auto", "--auto", {"ladybird.jpg", "rgb16_mm.tif", "bmp24.bmp"}},
    {"job-settings", "--settings SETTINGS --sharpen 5 --denoise", {"path-warm.jpg", "rgb8_icc.tif"}},
};

class GoldenTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    // A root of fixed length, so that the paths the job files hold keep
    // their byte positions; the root itself is masked before hashing.
    std::string pattern = "/tmp/tavelin-golden-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern + "/";
    for (const char* d : {"in", "out", "tmp", "home", "cfg", "run"}) fs::create_directories(root_ + d);
    // The working folder, whose name the job files hold (the copies of
    // embedded profiles), lies in a private runtime folder under the root:
    // the same for every user who runs the test.
    fs::permissions(root_ + "run", fs::perms::owner_all, fs::perm_options::replace);
    for (const char* s : kSamples) fs::copy_file(TestData(std::string("../../samples/") + s), root_ + "in/" + s);
    for (const auto& e : fs::directory_iterator(TestData("imagefile")))
      fs::copy_file(e.path(), root_ + "in/" + e.path().filename().string());
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
    AppFixture::TearDown();
  }

  int Cli(const std::string& config, const std::string& args, std::string* out) {
    fs::create_directories(root_ + "cfg/" + config);
    const std::string env = "env XDG_CONFIG_HOME='" + root_ + "cfg/" + config + "' TMPDIR='" + root_ + "tmp' HOME='" +
                            root_ + "home' XDG_RUNTIME_DIR='" + root_ + "run' '" + TAVELIN_CLI + "' ";
    return RunCommand(env + args, out);
  }
  std::string In(const std::string& leaf) const { return "'" + root_ + "in/" + leaf + "'"; }

  // "<sha256>  <relative path>" for every file below out/, sorted by path,
  // with every occurrence of the root replaced by a mask of the same length.
  std::string Hashes() const {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root_ + "out"))
      if (e.is_regular_file()) files.push_back(e.path().string().substr(root_.size() + 4));
    std::sort(files.begin(), files.end());
    const std::string mask(root_.size(), '#');
    std::string lines;
    for (const std::string& f : files) {
      std::vector<unsigned char> bytes;
      ReadFileBytes(root_ + "out/" + f, bytes);
      std::string text(bytes.begin(), bytes.end());
      for (size_t at = text.find(root_); at != std::string::npos; at = text.find(root_, at + mask.size()))
        text.replace(at, mask.size(), mask);
      const std::string masked = root_ + "masked";
      WriteFileBytes(masked, text.data(), text.size());
      std::string sum;
      RunCommand("sha256sum '" + masked + "'", &sum);
      lines += sum.substr(0, 64) + "  " + f + "\n";
    }
    return lines;
  }

  std::string root_;
};

TEST_F(GoldenTest, EveryWrittenFileKeepsItsBytes) {
  // The custom settings file the --settings cases start from.
  TavelinPars warm;
  ASSERT_EQ(InitTavelinPars(&warm), kOk);
  warm.brightness = 0.56f;
  warm.contrast = 0.58f;
  warm.saturation = 0.6f;
  warm.shadow = 0.45f;
  warm.blackPoint = 0.03f;
  warm.whitePoint = 0.95f;
  warm.toneColor[0] = 0.6f;
  fs::create_directories(root_ + "out/settings");
  const std::string settings = root_ + "out/settings/warm.txt";
  ASSERT_EQ(WriteCustomSettings(&warm, StreamLocation(settings)), kOk);
  auto withSettings = [&](std::string options) {
    const size_t at = options.find("SETTINGS");
    if (at != std::string::npos) options.replace(at, 8, "'" + settings + "'");
    return options;
  };

  std::string log, out;
  for (const CorrectCase& c : kCorrectCases) {
    const std::string dir = root_ + "out/" + c.name;
    fs::create_directories(dir);
    std::string args = "correct " + withSettings(c.options) + " --out '" + dir + "'";
    for (const char* in : c.inputs) args += " " + In(in);
    EXPECT_EQ(Cli(c.name, args, &out), 0) << args << "\n" << out;
  }
  for (const JobCase& c : kJobCases) {
    fs::create_directories(root_ + "out/jobs");
    std::string args = "job save '" + root_ + "out/jobs/" + c.name + ".job'";
    for (const char* in : c.inputs) args += " " + In(in);
    args += " " + withSettings(c.options);
    EXPECT_EQ(Cli(c.name, args, &out), 0) << args << "\n" << out;
  }
  fs::create_directories(root_ + "out/convert");
  for (const char* in : kConvertInputs) {
    for (const char* format : kConvertFormats) {
      const std::string target = root_ + "out/convert/" + in + "." + format;
      Cli("convert", std::string("convert ") + In(in) + " '" + target + "' --format " + format, &out);
      log += std::string(in) + " " + format + ": " + (FileExists(target) ? "written" : "refused") + "\n";
    }
  }
  const std::string jpeg90 = root_ + "out/convert/base.jpg.q90.jpeg";
  Cli("convert", "convert " + In("base.jpg") + " '" + jpeg90 + "' --format jpeg --quality 90", &out);

  // The preferences file with values other than the defaults.
  const Prefs saved = AppPrefs();
  Prefs& p = AppPrefs();
  ASSERT_EQ(ResetPrefs(&p), kOk);
  p.liveSliders = 1;
  p.gridIndex = 5;
  p.brivioSaturation = 0.75f;
  p.workingSpace = 0;
  p.embedProfile = 0;
  p.sameFolder = 0;
  p.outputFolder = "/srv/photos/corrected/";
  p.suffix = "-gold";
  p.prefix = "g-";
  p.naming = 1;
  p.jpegQuality = 0.8f;
  p.outputFormat = 9;
  p.noProfileAction = 2;
  p.noProfilePath = "/usr/share/color/icc/camera.icc";
  p.sharpen.on = 1;
  p.sharpen.strength = 11;
  p.noise.on = 1;
  p.noise.radius[1] = 5;
  p.noise.threshold[2] = 22;
  p.toolTab = 2;
  p.batchlineExtraHeight = 40;
  p.custom = warm;
  p.previous = warm;
  p.previous.hue[0].hueShift = 12.0f;
  fs::create_directories(root_ + "out/prefs");
  const Status written = WritePreferences(state_, root_ + "out/prefs/TavelinMarvet Prefs");
  AppPrefs() = saved;
  ASSERT_EQ(written, kOk);

  WriteFileText(root_ + "out/convert/results.txt", log);
  const std::string hashes = Hashes();
  const std::string golden = TestData("golden/outputs.sha256");
  if (const char* update = std::getenv("TAVELIN_GOLDEN_UPDATE"); update && std::string(update) == "1") {
    WriteFileText(golden, hashes);
    GTEST_SKIP() << "wrote " << golden;
  }
  const std::string expected = ReadFileText(golden);
  ASSERT_FALSE(expected.empty()) << golden << " is missing";
  // gtest shows the differing lines, each naming its file.
  EXPECT_EQ(hashes, expected) << "outputs differ from " << golden;
}

}  // namespace
