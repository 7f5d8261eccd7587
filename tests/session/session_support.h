// Test support for start-up, the pipeline and the Batchline: a fixture that
// runs StartUp in a fresh preferences and temporary folder with a scripted
// host and prepares an editing context with its Batchline open; and a
// writer of RGB test images through the image-file framework.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/ras.h"
#include "prefs/prefs.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "base/scriptedhost.h"
#include "session/startup.h"
#include "support/scratch.h"

// The sample of a test image at (x, y), channel c, for a maximum value.
inline uint32_t TestSample(uint32_t x, uint32_t y, int c, uint32_t w, uint32_t h, uint32_t max) {
  const uint32_t a = w > 1 ? (uint32_t)((uint64_t)x * max / (w - 1)) : max / 2;
  const uint32_t b = h > 1 ? (uint32_t)((uint64_t)y * max / (h - 1)) : max / 2;
  switch (c) {
    case 0: return a;
    case 1: return b;
    default: return (a / 2 + (max - b) / 2) * 3 / 4 + max / 16;
  }
}

// Writes an image of `format` (channels 3 RGB, or 1 gray) with the test
// pattern (times `gain`); `profile` and the EXIF block of `exifFrom` are embedded when given.
inline Status WriteTestImage(const std::string& path, int32_t format, uint32_t w, uint32_t h, int32_t channels = 3,
                             const std::string& profile = "", const std::string& exifFrom = "", double gain = 1.0) {
  RasImage out;
  if (!profile.empty()) {
    if (Status st = MetaLoadIcc(out.meta, profile); st != kOk) return st;
  }
  if (!exifFrom.empty()) {
    RasImage source;
    if (Status st = RasQuery(exifFrom, source); st != kOk) return st;
    out.meta.exif = source.meta.exif;
  }
  Status st = rasInit(out, format, w, h, channels, channels == 1 ? kRasGray : kRasRGB, 72);
  if (st == kOk) st = RasOpen(path, 'w', out);
  RasScanline sl;
  if (st == kOk) st = RasMakeSl(sl, out);
  const uint32_t max = (uint32_t)out.maxValue;
  for (uint32_t y = 0; y < h && st == kOk; ++y) {
    for (int c = 0; c < channels; ++c)
      for (uint32_t x = 0; x < w; ++x) {
        const uint32_t v = (uint32_t)(TestSample(x, y, channels == 1 ? 2 : c, w, h, max) * gain);
        if (out.Is16()) sl.plane16[c][x] = (uint16_t)v;
        else sl.plane8[c][x] = (uint8_t)v;
      }
    st = RasWriteSl(out, y, sl);
  }
  const Status closed = RasClose(out);
  return st != kOk ? st : closed;
}

inline std::vector<unsigned char> FileBytes(const std::string& path) {
  std::vector<unsigned char> b;
  ReadFileBytes(path, b);
  return b;
}

// Leaf names in a folder, sorted.
inline std::vector<std::string> FolderLeaves(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

inline bool HasTempFile(const std::string& folder) {
  for (const std::string& leaf : FolderLeaves(folder))
    if (leaf.rfind("Quilo", 0) == 0) return true;
  return false;
}

// Sets an environment variable for the life of the object.
class EnvSet {
 public:
  EnvSet(const char* name, const std::string& value) : name_(name) {
    if (const char* v = std::getenv(name)) {
      had_ = true;
      old_ = v;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvSet() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshDir(std::string("session-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(root_ + "config");
    std::filesystem::create_directories(root_ + "tmp");
    std::filesystem::create_directories(root_ + "img");
    config_ = std::make_unique<EnvSet>("XDG_CONFIG_HOME", root_ + "config");
    tmp_ = std::make_unique<EnvSet>("TMPDIR", root_ + "tmp");
    scoped_ = std::make_unique<ScopedHost>(&host_);
    Start();
  }
  void TearDown() override {
    Finish();
    scoped_.reset();
    tmp_.reset();
    config_.reset();
  }
  // Start-up and a new editing context with its Batchline open.
  void Start() {
    app_.prefs = &AppPrefs();
    ASSERT_EQ(StartUp(StartUpOptions{}, &app_), 0);
    ctx_ = std::make_unique<EditContext>();
    ASSERT_EQ(InitEditContext(ctx_.get(), &app_), 0);
    ASSERT_EQ(BatchlineOpen(ctx_.get()), 0);
  }
  // The end of a run that did not go through Exit (a crash, as far as the
  // Batchline's files are concerned).
  void Finish() {
    ctx_.reset();
    if (app_.state) FinishUp(&app_);
  }
  void Restart() {
    Finish();
    Start();
  }

  std::string Img(const std::string& leaf) const { return root_ + "img/" + leaf; }
  std::string PrefsFolder() const { return root_ + "config/Harvosa/"; }
  EditContext* ctx() { return ctx_.get(); }
  Prefs& prefs() { return AppPrefs(); }

  // Adds files without a chooser; the status of AddImages.
  Status Add(const std::vector<std::string>& paths, AddImagesResult* result = nullptr, bool keepGoing = false) {
    AddImagesRequest r;
    r.paths = paths;
    r.keepGoing = keepGoing;
    return AddImages(ctx(), r, result);
  }
  std::vector<std::string> ListPaths() {
    std::vector<std::string> out;
    for (int32_t i = 0; i < BatchlineCount(ctx()); ++i) out.push_back(BatchlineImagePath(ctx(), i));
    return out;
  }
  TavelinPars StoredPars(int32_t index) {
    TavelinPars pars;
    JobEntry e = ctx()->batch.entries[index];
    JobRecordRead r;
    r.pars = &pars;
    EXPECT_EQ(ReadJobRecord(ctx()->batch.files.data, e, r), 0);
    return pars;
  }
  std::vector<std::string> Texts(ScriptedHost::Kind kind) {
    std::vector<std::string> out;
    for (const auto& e : host_.Of(kind)) out.push_back(e.text);
    return out;
  }

  std::string root_;
  ScriptedHost host_;
  AppSession app_;
  std::unique_ptr<EditContext> ctx_;

 private:
  std::unique_ptr<EnvSet> config_, tmp_;
  std::unique_ptr<ScopedHost> scoped_;
};
