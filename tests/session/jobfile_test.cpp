#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "correct/correctiontransform.h"
#include "base/bytes.h"
#include "session/jobfile.h"
#include "support/app_fixture.h"

namespace {
// A thumbnail with a different colour in every pixel (padding left zero).
Thumbnail Pattern(uint32_t w, uint32_t h, int seed) {
  Thumbnail t;
  EXPECT_EQ(MakeThumbnail(w, h, &t), 0);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w * 3; ++x) t.data[y * t.rowStep + x] = (uint8_t)(x * 7 + y * 13 + seed * 31);
  return t;
}
bool SameThumb(const Thumbnail& a, const Thumbnail& b) {
  return a.width == b.width && a.height == b.height && a.dataSize == b.dataSize &&
         std::memcmp(a.data.get(), b.data.get(), a.dataSize) == 0;
}
TavelinPars Edited() {
  TavelinPars p;
  InitTavelinPars(&p);
  p.brightness = 0.6f;
  p.toneColor[0] = 0.6f;  // channel-asymmetric: catches a red/blue mix-up
  p.toneColor[2] = 0.45f;
  return p;
}
std::vector<unsigned char> Bytes(const std::string& path) {
  std::vector<unsigned char> b;
  ReadFileBytes(path, b);
  return b;
}
std::vector<unsigned char> Slice(const std::vector<unsigned char>& b, size_t at, size_t n) {
  return std::vector<unsigned char>(b.begin() + at, b.begin() + at + n);
}
}  // namespace

class JobFileTest : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    dir_ = FreshDir("job-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    files_ = {dir_ + "TavelinJobHdr", dir_ + "TavelinJobData", dir_ + "TavelinJobState"};
  }
  // Appends a record to the Batchline's data file.
  JobEntry Add(JobEntryList& list, const std::string& image, const Thumbnail& thumb, const std::string& profile = "") {
    JobEntry e;
    e.offset = JobEntriesEnd(list);
    TavelinPars pars = Edited();
    JobRecordWrite w;
    w.imagePath = &image;
    w.profilePath = &profile;
    w.pars = &pars;
    w.original = &thumb;
    EXPECT_EQ(WriteJobRecord(files_.data, e, w), 0);
    list.push_back(e);
    return e;
  }
  std::vector<std::string> Alerts() {
    std::vector<std::string> out;
    for (const auto& e : host().Of(ScriptedHost::Kind::Alert)) out.push_back(e.text);
    return out;
  }
  std::string dir_;
  BatchlineFiles files_;
};

TEST_F(JobFileTest, ByteLayouts) {
  // An empty job is the 8-byte header.
  const std::string job = dir_ + "empty.job";
  ASSERT_EQ(SaveJobFile(job, files_.data, {}), 0);
  EXPECT_EQ(Bytes(job), (std::vector<unsigned char>{0x54, 0x43, 0x44, 0x4A, 0, 0, 0, 0}));
  EXPECT_TRUE(IsJobFile(job));

  // A record with a 180 × 120 thumbnail.
  JobEntryList list;
  const JobEntry e = Add(list, "/photos/beach.tif", Pattern(180, 120, 1));
  EXPECT_EQ(e.length, 132672u);
  const auto b = Bytes(files_.data);
  ASSERT_EQ(b.size(), 132672u);
  EXPECT_EQ(std::string((const char*)b.data()), "/photos/beach.tif");
  EXPECT_EQ(b[256], 0);  // no profile: the working space
  EXPECT_EQ(LoadBE32(&b[3028]), 129640u);
  for (size_t at : {3032u, 3032u + 64820u}) {
    EXPECT_EQ(LoadBE32(&b[at]), 64800u);
    EXPECT_EQ(LoadBE32(&b[at + 4]), 180u);
    EXPECT_EQ(LoadBE32(&b[at + 8]), 120u);
    EXPECT_EQ(LoadBE32(&b[at + 12]), 3u);
    EXPECT_EQ(LoadBE32(&b[at + 16]), 540u);
  }
  EXPECT_EQ(LoadBE32(&b[512 + 4 * 84]), 0x004CCCCDu);  // brightness 0.6 in the binary float form

  // Rows are padded to 4 bytes; pixels are stored blue, green, red.
  EXPECT_EQ(ThumbnailRowStep(181), 544u);
  const uint8_t rgb[2 * 3] = {10, 20, 30, 40, 50, 60};
  Thumbnail t;
  ASSERT_EQ(ThumbnailFromRgb(rgb, 1, 2, 3, &t), 0);
  EXPECT_EQ(t.rowStep, 4u);
  EXPECT_EQ(Slice(std::vector<unsigned char>(t.data.get(), t.data.get() + 8), 0, 8),
            (std::vector<unsigned char>{30, 20, 10, 0, 60, 50, 40, 0}));
  EXPECT_EQ(t.Red()[4], 40);
}

TEST_F(JobFileTest, RecordsRoundTripAndSkipParts) {
  JobEntryList list;
  Add(list, "/a/first.tif", Pattern(20, 10, 0));
  const Thumbnail original = Pattern(31, 17, 2);
  TavelinPars pars = Edited();
  pars.contrast = 0.1f;
  pars.hue[3].hueBin[7] = {{1.5f, 2.5f, 3.5f}, 4};
  pars.sharpenOn = 1;
  const std::string image = "/a/second.jpg", profile = "/icc/in.icc";
  JobEntry e;
  e.offset = JobEntriesEnd(list);
  Thumbnail made;
  JobRecordWrite w;
  w.imagePath = &image, w.profilePath = &profile, w.pars = &pars, w.original = &original, w.correctedOut = &made;
  ASSERT_EQ(WriteJobRecord(files_.data, e, w), 0);
  EXPECT_EQ(e.length, JobRecordLength(31, 17));

  std::string readImage, readProfile;
  TavelinPars readPars;
  Thumbnail readOriginal, readCorrected;
  JobRecordRead r;
  r.imagePath = &readImage, r.profilePath = &readProfile, r.pars = &readPars, r.original = &readOriginal,
  r.corrected = &readCorrected;
  JobEntry again{"", e.offset, 0};
  ASSERT_EQ(ReadJobRecord(files_.data, again, r), 0);
  EXPECT_EQ(again.length, e.length);
  EXPECT_EQ(readImage, image);
  EXPECT_EQ(readProfile, profile);
  EXPECT_NEAR(readPars.contrast, 0.1f, 0.1f * 0x1p-23);
  EXPECT_EQ(readPars.hue[3].hueBin[7].count, 4);
  EXPECT_EQ(readPars.sharpenOn, 1);
  EXPECT_TRUE(SameThumb(readOriginal, original));
  EXPECT_TRUE(SameThumb(readCorrected, made));
  EXPECT_FALSE(SameThumb(made, original));

  // Only the correction record: the paths and thumbnails keep their bytes.
  const auto before = Bytes(files_.data);
  TavelinPars reset;
  InitTavelinPars(&reset);
  JobRecordWrite only;
  only.pars = &reset;
  JobEntry rewrite = e;
  ASSERT_EQ(WriteJobRecord(files_.data, rewrite, only), 0);
  const auto after = Bytes(files_.data);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    if (i < e.offset + 512 || i >= e.offset + 3028) {
      ASSERT_EQ(after[i], before[i]) << i;
    }
  }
  // Only the profile path, past a skipped image path.
  const std::string other = "/icc/other.icc";
  JobRecordWrite profileOnly;
  profileOnly.profilePath = &other;
  ASSERT_EQ(WriteJobRecord(files_.data, rewrite, profileOnly), 0);

  // Reading the path alone sets the length and touches nothing else.
  std::string pathOnly;
  readPars.contrast = 0.3f;
  JobEntry fresh{"", e.offset, 0};
  JobRecordRead p;
  p.imagePath = &pathOnly;
  ASSERT_EQ(ReadJobRecord(files_.data, fresh, p), 0);
  EXPECT_EQ(pathOnly, image);
  EXPECT_EQ(fresh.length, e.length);
  ASSERT_EQ(ReadJobRecord(files_.data, fresh, r), 0);
  EXPECT_EQ(readProfile, other);
  EXPECT_EQ(readPars.contrast, 0.5f);
  EXPECT_TRUE(Alerts().empty());
}

TEST_F(JobFileTest, CorrectedThumbnailIsMadeWhileWriting) {
  const Thumbnail original = Pattern(40, 30, 3);
  auto write = [&](JobRecordWrite w, Thumbnail* made) {
    w.original = &original;
    w.correctedOut = made;
    JobEntry e;
    return WriteJobRecord(dir_ + "scratch", e, w);
  };

  // From the record: every pixel as the tools compute it (within the lattice's error).
  TavelinPars pars = Edited();
  Thumbnail fromPars;
  JobRecordWrite w;
  w.pars = &pars;
  ASSERT_EQ(write(w, &fromPars), 0);
  int worst = 0;
  for (uint32_t y = 0; y < original.height; ++y)
    for (uint32_t x = 0; x < original.width; ++x) {
      const uint8_t* in = original.data.get() + y * original.rowStep + 3 * x;
      const uint8_t* out = fromPars.data.get() + y * fromPars.rowStep + 3 * x;
      const float rgb[3] = {in[2] / 255.0f, in[1] / 255.0f, in[0] / 255.0f};
      float ref[3];
      ASSERT_EQ(ApplyTavelinPars(&pars, TOOL_ALL, rgb, ref), 0);
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs((int)(ref[c] * 255 + 0.5f) - out[2 - c]));
    }
  EXPECT_LE(worst, 2);

  // A record at its defaults leaves the thumbnail as it is.
  TavelinPars neutral;
  InitTavelinPars(&neutral);
  Thumbnail same;
  w.pars = &neutral;
  ASSERT_EQ(write(w, &same), 0);
  EXPECT_TRUE(SameThumb(same, original));

  // A given transform wins over the record; a 16-bit one is switched to 8 bits and back.
  TintmeshHandle* handle = nullptr;
  ASSERT_EQ(MakeCorrectionTransform(&pars, TOOL_ALL, 7, 2, &handle), 0);
  Thumbnail fromTransform;
  w.transform = handle;
  ASSERT_EQ(write(w, &fromTransform), 0);
  EXPECT_EQ(handle->inPath, 2);
  EXPECT_EQ(handle->outPath, 2);
  int diff = 0;
  for (uint32_t i = 0; i < original.dataSize; ++i)
    diff = std::max(diff, std::abs((int)fromTransform.data[i] - (int)fromPars.data[i]));
  EXPECT_LE(diff, 1);
  FreeCorrectionTransform(&handle);

  // The profile conversion comes first; a failing one is reported and the thumbnail goes on unconverted.
  const std::string profile = "/icc/camera.icc";
  std::string seen;
  JobRecordWrite p;
  p.profilePath = &profile;
  p.convertProfile = [&](const std::string& path, Thumbnail& t) {
    seen = path;
    for (uint32_t i = 0; i < t.dataSize; ++i) t.data[i] = (uint8_t)(255 - t.data[i]);
    return kOk;
  };
  Thumbnail inverted;
  ASSERT_EQ(write(p, &inverted), 0);
  EXPECT_EQ(seen, profile);
  EXPECT_EQ(inverted.data[5], 255 - original.data[5]);
  p.convertProfile = [](const std::string&, Thumbnail& t) {
    t.data[0] ^= 1;  // half done, then fails
    return kFormatErr;
  };
  Thumbnail unconverted;
  ASSERT_EQ(write(p, &unconverted), 0);
  EXPECT_TRUE(SameThumb(unconverted, original));
  EXPECT_EQ(Alerts(), std::vector<std::string>{"A data format error occurred while correcting thumbnail."});

  // A failing transform ends the write before anything is written.
  TintmeshHandle broken;
  JobRecordWrite t;
  t.transform = &broken;
  JobEntry e;
  t.original = &original;
  EXPECT_EQ(WriteJobRecord(dir_ + "untouched", e, t), kBadArg);
  EXPECT_EQ(Bytes(dir_ + "untouched").size(), 0u);
}

TEST_F(JobFileTest, RefusedWrites) {
  JobEntryList list;
  const JobEntry small = Add(list, "/a/small.tif", Pattern(50, 50, 0));
  const auto before = Bytes(files_.data);
  const std::string longPath = "/" + std::string(300, 'p') + "/x.tif";
  const Thumbnail big = Pattern(100, 100, 0), other = Pattern(50, 49, 0);
  struct Case {
    JobRecordWrite parts;
    JobEntry entry;
  };
  std::vector<Case> cases(4);
  cases[0].parts.imagePath = &longPath, cases[0].entry = small;     // never cut
  cases[1].parts.profilePath = &longPath, cases[1].entry = small;
  cases[2].parts.original = &big, cases[2].entry = small;           // would run into the next record
  cases[3].parts.corrected = &other, cases[3].entry = small;        // not the record's thumbnail size
  for (Case& c : cases) EXPECT_EQ(WriteJobRecord(files_.data, c.entry, c.parts), kBadArg);
  EXPECT_EQ(Bytes(files_.data), before);
  const auto alerts = host().Of(ScriptedHost::Kind::Alert);
  ASSERT_EQ(alerts.size(), 4u);
  EXPECT_EQ(alerts[0].text, "A problem occurred while writing image path.");
  EXPECT_EQ(alerts[0].detail, "The path of x.tif is longer than the 255 characters this file can store.");
  EXPECT_EQ(alerts[1].text, "A problem occurred while writing ICC profile path.");
}

TEST_F(JobFileTest, DamagedRecordsAreRefused) {
  JobEntryList list;
  Add(list, "/a/one.tif", Pattern(10, 10, 0));
  const JobEntry e = list[0];
  const auto good = Bytes(files_.data);
  const uint32_t half = (e.length - 3032) / 2;
  struct Case {
    size_t at;
    std::vector<unsigned char> bytes;
    size_t truncate;  // 0: keep the size
    Status status;
    const char* phrase;
  };
  const Case cases[] = {
      {3028 + 3, {1}, 0, kFormatErr, "reading edits"},                      // odd L
      {3032 + 4, {0, 0, 0, 181}, 0, kFormatErr, "reading original thumbnail"},
      {3032 + half + 16, {0, 0, 0, 36}, 0, kFormatErr, "reading corrected thumbnail"},
      {512 + 4 * 612, {0x02, 0x40, 0, 0}, 0, kFormatErr, "reading edits"},  // toning red 2.0
      {0, {}, 300, kReadErr, "reading ICC profile path"},
      {0, {}, 3032 + half + 5, kReadErr, "reading corrected thumbnail"},
  };
  for (const Case& c : cases) {
    auto bytes = good;
    std::copy(c.bytes.begin(), c.bytes.end(), bytes.begin() + c.at);
    if (c.truncate) bytes.resize(c.truncate);
    WriteFileBytes(files_.data, bytes.data(), bytes.size());
    host().Clear();
    std::string image, profile;
    TavelinPars pars;
    pars.brightness = 0.25f;
    Thumbnail a, b;
    JobEntry entry = e;
    JobRecordRead r;
    r.imagePath = &image, r.profilePath = &profile, r.pars = &pars, r.original = &a, r.corrected = &b;
    EXPECT_EQ(ReadJobRecord(files_.data, entry, r), c.status) << c.phrase;
    EXPECT_EQ(pars.brightness, 0.25f);  // untouched on failure
    ASSERT_EQ(host().Count(ScriptedHost::Kind::Alert), 1);
    EXPECT_NE(Alerts()[0].find(std::string("while ") + c.phrase + "."), std::string::npos) << Alerts()[0];
  }
}

TEST_F(JobFileTest, BatchlineFilesSaveAndResume) {
  JobEntryList list;
  Add(list, "/a/one.tif", Pattern(40, 30, 1));
  Add(list, "/a/two.tif", Pattern(20, 20, 2));
  Add(list, "/a/three.tif", Pattern(33, 10, 3));
  ASSERT_EQ(WriteBatchlineHeader(files_, list), 0);
  EXPECT_TRUE(BatchlineJobExists(files_));
  EXPECT_FALSE(IsJobFile(files_.data));
  EXPECT_FALSE(IsJobFile(dir_ + "missing"));

  // "Resume unfinished job?" gets the paths and lengths back.
  JobEntryList resumed;
  ASSERT_EQ(ReadBatchlineJob(files_, resumed), 0);
  ASSERT_EQ(resumed.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(resumed[i].imagePath, list[i].imagePath);
    EXPECT_EQ(resumed[i].offset, list[i].offset);
    EXPECT_EQ(resumed[i].length, list[i].length);
  }

  // Remove the middle entry; its record stays in the data file.
  list.erase(list.begin() + 1);
  ASSERT_EQ(WriteBatchlineHeader(files_, list), 0);
  const std::string job = dir_ + "saved.job";
  ASSERT_EQ(SaveJobFile(job, files_.data, list), 0);
  const auto data = Bytes(files_.data), saved = Bytes(job);
  ASSERT_EQ(saved.size(), 16u + list[0].length + list[1].length);
  EXPECT_EQ(LoadBE32(&saved[4]), 2u);
  EXPECT_EQ(LoadBE32(&saved[8]), 16u);  // counted from the start of the job file
  EXPECT_EQ(LoadBE32(&saved[12]), 16u + list[0].length);
  EXPECT_EQ(Slice(saved, 16, list[0].length), Slice(data, list[0].offset, list[0].length));
  EXPECT_EQ(Slice(saved, 16 + list[0].length, list[1].length), Slice(data, list[1].offset, list[1].length));

  // Resume it into a fresh Batchline: records copied one after another, header written.
  const std::string dir2 = FreshDir("job-resume");
  const BatchlineFiles files2{dir2 + "TavelinJobHdr", dir2 + "TavelinJobData", dir2 + "TavelinJobState"};
  JobEntryList entries;
  ASSERT_EQ(ResumeJobFile(job, files2, entries), 0);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].offset, 0u);
  EXPECT_EQ(entries[1].offset, list[0].length);
  EXPECT_EQ(Bytes(files2.data), Slice(saved, 16, saved.size() - 16));
  JobEntryList back;
  ASSERT_EQ(ReadBatchlineJob(files2, back), 0);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].imagePath, "/a/three.tif");

  // A damaged later record: the entries copied before it stay, and the header says so.
  auto damaged = saved;
  damaged[16 + list[0].length + 3028 + 3] ^= 1;
  WriteFileBytes(job, damaged.data(), damaged.size());
  ASSERT_EQ(DeleteBatchlineFiles(files2), 0);
  EXPECT_FALSE(BatchlineJobExists(files2));
  EXPECT_FALSE(FileExists(files2.data));
  entries.clear();
  EXPECT_EQ(ResumeJobFile(job, files2, entries), kFormatErr);
  EXPECT_EQ(entries.size(), 1u);
  ASSERT_EQ(ReadBatchlineJob(files2, back), 0);
  EXPECT_EQ(back.size(), 1u);
  EXPECT_EQ(Alerts(), std::vector<std::string>{"A data format error occurred while reading edits."});
}

TEST_F(JobFileTest, ResumeRecoversTemporaryProfiles) {
  const std::string temp = FreshDir("job-temp");
  const std::string gone = temp + "Quilo000007.tmp";  // extracted in an earlier run, since deleted
  JobEntryList list;
  Add(list, "/a/embedded.tif", Pattern(8, 8, 0), gone);
  Add(list, "/a/unusable.tif", Pattern(8, 8, 1), gone);
  Add(list, "/a/none.tif", Pattern(8, 8, 2), gone);
  Add(list, "/a/chosen.tif", Pattern(8, 8, 3), "/icc/chosen.icc");
  const std::string job = dir_ + "profiles.job";
  ASSERT_EQ(SaveJobFile(job, files_.data, list), 0);

  JobResumeOptions options;
  options.tempFolder = temp;
  std::vector<std::string> asked;
  options.saveEmbeddedProfile = [&](const std::string& image, const std::string& path) -> Status {
    asked.push_back(image);
    if (image == "/a/none.tif") return kSysErr;
    WriteFileText(path, image == "/a/embedded.tif" ? "good" : "bad");
    return kOk;
  };
  options.checkProfile = [](const std::string& path) { return ReadFileText(path) == "good" ? kOk : kFormatErr; };
  const std::string dir2 = FreshDir("job-resume2");
  JobEntryList entries;
  const BatchlineFiles files2{dir2 + "TavelinJobHdr", dir2 + "TavelinJobData", dir2 + "TavelinJobState"};
  ASSERT_EQ(ResumeJobFile(job, files2, entries, options), 0);
  EXPECT_EQ(asked, (std::vector<std::string>{"/a/embedded.tif", "/a/unusable.tif", "/a/none.tif"}));
  std::vector<std::string> profiles;
  for (JobEntry& e : entries) {
    std::string profile;
    JobRecordRead r;
    r.profilePath = &profile;
    ASSERT_EQ(ReadJobRecord(dir2 + "TavelinJobData", e, r), 0);
    profiles.push_back(profile);
  }
  EXPECT_EQ(profiles, (std::vector<std::string>{temp + "Quilo000000.tmp", gone, gone, "/icc/chosen.icc"}));
  EXPECT_EQ(ReadFileText(temp + "Quilo000000.tmp"), "good");
  // The unusable copy was deleted: only the good one is left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp), std::filesystem::directory_iterator()), 1);
}

// A full disk, played by a file-size limit in a child process: the failing
// write reports -6 and every record and header written before stays readable.
TEST_F(JobFileTest, FailedWritesKeepEarlierWork) {
  JobEntryList list;
  Add(list, "/a/one.tif", Pattern(60, 40, 1));
  Add(list, "/a/two.tif", Pattern(60, 40, 2));
  ASSERT_EQ(WriteBatchlineHeader(files_, list), 0);
  const std::string job = dir_ + "kept.job";
  ASSERT_EQ(SaveJobFile(job, files_.data, list), 0);
  const auto jobBefore = Bytes(job);
  const auto dataBefore = Bytes(files_.data);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{(rlim_t)dataBefore.size() + 10000, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    JobEntryList more = list;
    const Status record = [&] {
      const Thumbnail big = Pattern(180, 120, 3);
      const std::string image = "/a/three.tif";
      JobEntry e;
      e.offset = JobEntriesEnd(more);
      JobRecordWrite w;
      w.imagePath = &image;
      w.original = &big;
      return WriteJobRecord(files_.data, e, w);
    }();
    limit.rlim_cur = 5000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const Status save = SaveJobFile(job, files_.data, list);
    _exit((-record) | ((-save) << 4));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status) & 15, -kWriteErr);
  EXPECT_EQ(WEXITSTATUS(status) >> 4, -kWriteErr);

  EXPECT_EQ(Bytes(job), jobBefore);  // the old job file stands, no temporary file left
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 3);
  EXPECT_GT(Bytes(files_.data).size(), dataBefore.size());  // the failed record's bytes, unreferenced
  JobEntryList back;
  ASSERT_EQ(ReadBatchlineJob(files_, back), 0);
  ASSERT_EQ(back.size(), 2u);
  for (JobEntry& e : back) {
    TavelinPars pars;
    Thumbnail a, b;
    JobRecordRead r;
    r.pars = &pars, r.original = &a, r.corrected = &b;
    EXPECT_EQ(ReadJobRecord(files_.data, e, r), 0);
  }
}
