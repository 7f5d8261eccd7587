// Two images read, corrected and written on two threads of one process at
// once, each with its own write options and its own embedded profile, come
// out byte for byte as when each is done alone: nothing about one open image
// (metadata, options, codec state, failure notes) is shared with the other.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "correct/correctiontransform.h"
#include "filters/filterstage.h"
#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

struct Job {
  std::string in, out;
  WriteOptions options;
  float brightness = 0.5f;
  bool sharpen = false;
};

struct Files {
  RasImage in, out;
  RasScanline inSl, outSl;
};

Status ReadRow(void* context, int32_t row, IPRow& planes) {
  Files& f = *static_cast<Files*>(context);
  if (Status st = RasReadSl(f.in, (uint32_t)row, f.inSl); st != kOk) return st;
  for (int c = 0; c < 3; ++c) planes.chan[c] = f.inSl.plane8[c];
  return kOk;
}

Status WriteRow(void* context, int32_t row, const IPRow& planes) {
  Files& f = *static_cast<Files*>(context);
  for (int c = 0; c < 3; ++c) std::memcpy(f.outSl.plane8[c], planes.chan[c], f.out.width);
  return RasWriteSl(f.out, (uint32_t)row, f.outSl);
}

// Reads `job.in`, corrects it and writes `job.out` with the input's profile
// and EXIF data, through the same stages the save pipeline runs.
Status CorrectFile(const Job& job) {
  Files f;
  Status st = RasQuery(job.in, f.in);
  if (st == kOk) st = RasOpenRead(job.in, f.in, ReadOptions());
  if (st == kOk) st = rasInit(f.out, kRasJpeg, f.in.width, f.in.height, 3, kRasRGB, f.in.resolution);
  if (st != kOk) return st;
  f.out.meta.iccProfile = f.in.meta.iccProfile;
  f.out.meta.exif = f.in.meta.exif;
  if ((st = RasCreate(job.out, f.out, job.options)) != kOk) return st;
  if ((st = RasMakeSl(f.outSl, f.out)) != kOk) return st;
  TavelinPars pars;
  InitTavelinPars(&pars);
  pars.brightness = job.brightness;
  pars.sharpenOn = job.sharpen;
  TintmeshHandle* handle = nullptr;
  if ((st = MakeCorrectionTransform(&pars, TOOL_ALL, 3, 1, &handle)) != kOk) return st;
  FilterJob run;
  run.width = (int32_t)f.in.width;
  run.height = (int32_t)f.in.height;
  run.transform = handle->tintmesh;
  run.settings = FilterSettingsOf(pars);
  run.reader = ReadRow;
  run.readerContext = &f;
  run.writer = WriteRow;
  run.writerContext = &f;
  run.imageName = job.in;
  st = FilterImageRows(run);
  FreeCorrectionTransform(&handle);
  const Status closedIn = RasClose(f.in), closedOut = RasClose(f.out);
  return st != kOk ? st : closedIn != kOk ? closedIn : closedOut;
}

TEST(ParallelFilesTest, TwoImagesOnTwoThreadsMatchTheirSingleThreadedResults) {
  const std::string dir = FreshDir("parallel");
  ImageMeta small, large;
  small.iccProfile = MakeProfile(false);
  large.iccProfile = MakeProfile(true);
  ASSERT_EQ(WriteThrough(dir + "a.jpg", kRasJpeg, kRasRGB, MakePixels(640, 480, 3, 255, 1), 300, {}, small), kOk);
  ASSERT_EQ(WriteThrough(dir + "b.jpg", kRasJpeg, kRasRGB, MakePixels(600, 400, 3, 255, 2), 72, {}, large), kOk);
  Job a{dir + "a.jpg", dir + "a_out.jpg", {}, 0.6f, true};
  Job b{dir + "b.jpg", dir + "b_out.jpg", {}, 0.4f, false};
  a.options.quality = 60;
  b.options.quality = 95;

  // Alone, one after the other: the reference files.
  ASSERT_EQ(CorrectFile(a), kOk) << RasLastFailure();
  ASSERT_EQ(CorrectFile(b), kOk) << RasLastFailure();
  const std::vector<uint8_t> wantA = FileBytes(a.out), wantB = FileBytes(b.out);
  ASSERT_NE(wantA, wantB);
  for (const auto& [path, meta] : {std::pair{a.out, &small}, std::pair{b.out, &large}}) {
    RasImage image;
    ASSERT_EQ(RasQuery(path, image), kOk);
    EXPECT_EQ(image.meta.iccProfile, meta->iccProfile) << path;
  }

  // Both at once, a few times over.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    Job ta = a, tb = b;
    ta.out = dir + "a_thread.jpg";
    tb.out = dir + "b_thread.jpg";
    Status sa = kSysErr, sb = kSysErr;
    std::thread first([&] { sa = CorrectFile(ta); });
    std::thread second([&] { sb = CorrectFile(tb); });
    first.join();
    second.join();
    ASSERT_EQ(sa, kOk);
    ASSERT_EQ(sb, kOk);
    EXPECT_EQ(FileBytes(ta.out), wantA);
    EXPECT_EQ(FileBytes(tb.out), wantB);
  }
}

}  // namespace
