// The resampler and its recipes: output sizes, refusals, the fast mode's
// source rows and columns, the filtered mode against the exact tent filter,
// file sources against buffer sources, the reduced JPEG decode, progress and
// cancel, and the navigation thumbnail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "filters/filters_testutil.h"
#include "filters/decodeonce.h"
#include "filters/preview.h"
#include "filters/resample.h"
#include "imagefile/jpeg.h"
#include "imagefile/ras.h"
#include "support/app_fixture.h"
#include "support/scratch.h"
#include "transform/tintmesh_testutil.h"

namespace {

// Writes the buffer as an image file through the framework.
void WriteFile(const std::string& path, int32_t format, const PixelBuffer& b, const WriteOptions& options = {}) {
  RasImage out;
  ASSERT_EQ(rasInit(out, format, b.width, b.height, b.channels, b.colorType, 72), kOk);
  ASSERT_EQ(RasCreate(path, out, options), kOk) << RasLastFailure();
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, out), kOk);
  for (int32_t y = 0; y < b.height; ++y) {
    for (int32_t c = 0; c < b.channels; ++c)
      for (int32_t x = 0; x < b.width; ++x) {
        if (out.Is16()) sl.plane16[c][x] = (uint16_t)SampleAt(b, c, x, y);
        else sl.plane8[c][x] = (uint8_t)(b.bytesPerSample == 2 ? SampleAt(b, c, x, y) >> 8 : SampleAt(b, c, x, y));
      }
    ASSERT_EQ(RasWriteSl(out, y, sl), kOk);
  }
  ASSERT_EQ(RasClose(out), kOk);
}

PixelBuffer Box(int32_t w, int32_t h, int32_t ch = 3, int32_t bps = 1) {
  PixelBuffer b;
  EXPECT_EQ(PixelBufferCreate(b, w, h, ch, bps), kOk);
  return b;
}

bool SamePixels(const PixelBuffer& a, const PixelBuffer& b, uint32_t tolerance = 0) {
  if (a.width != b.width || a.height != b.height || a.channels != b.channels) return false;
  for (int32_t y = 0; y < a.height; ++y)
    for (int32_t x = 0; x < a.width; ++x)
      for (int32_t c = 0; c < a.channels; ++c) {
        const int64_t d = (int64_t)SampleAt(a, c, x, y) - SampleAt(b, c, x, y);
        if ((uint64_t)std::llabs(d) > tolerance) return false;
      }
  return true;
}

TEST(PixelBufferTest, CreateLaysOutInterleavedSamplesAndRefusesBadShapes) {
  PixelBuffer b;
  ASSERT_EQ(PixelBufferCreate(b, 5, 3, 3, 2), kOk);
  EXPECT_EQ(b.pixelStep, 3);
  EXPECT_EQ(b.rowStep, 15);
  EXPECT_EQ(static_cast<uint16_t*>(b.chan[2]) - static_cast<uint16_t*>(b.chan[0]), 2);
  EXPECT_EQ(b.chan[3], nullptr);
  EXPECT_EQ(SampleAt(b, 1, 4, 2), 0u);
  struct Case {
    int32_t w, h, ch, bps;
  } bad[] = {{0, 3, 3, 1}, {3, 0, 3, 1}, {3, 3, 0, 1}, {3, 3, 5, 1}, {3, 3, 3, 3}, {INT32_MAX, 1, 3, 1}};
  for (const Case& c : bad) EXPECT_EQ(PixelBufferCreate(b, c.w, c.h, c.ch, c.bps), kBadArg);
}

TEST(ResampleTest, OutputSizeFollowsTheBoxAndNeverEnlarges) {
  struct Case {
    int64_t W, H;
    int32_t bw, bh, w, h;
  } cases[] = {
      {6000, 4000, 900, 600, 900, 600}, {6000, 4000, 900, 900, 900, 600}, {4000, 6000, 900, 900, 600, 900},
      {100, 80, 180, 180, 100, 80},     {181, 90, 180, 180, 180, 90},     {300, 200, 360, 360, 300, 200},
      {1000, 3, 180, 180, 180, 1},      {2, 1000, 180, 180, 1, 180},      {1, 1, 2, 2, 1, 1},
      {1, 360, 2, 180, 1, 180},         {360, 1, 180, 2, 180, 1},         {181, 91, 180, 180, 180, 90},
  };
  for (const Case& c : cases) {
    int32_t w = 0, h = 0;
    IPScaleOutputSize(c.W, c.H, c.bw, c.bh, w, h);
    EXPECT_EQ(w, c.w) << c.W << "x" << c.H << " in " << c.bw << "x" << c.bh;
    EXPECT_EQ(h, c.h) << c.W << "x" << c.H << " in " << c.bw << "x" << c.bh;
  }
}

TEST(ResampleTest, RefusesBadRequests) {
  PixelBuffer src = MakeBuffer(10, 10, 3, 1, [](int32_t, int32_t, int32_t) { return 7u; });
  PixelBuffer gray = MakeBuffer(10, 10, 1, 1, [](int32_t, int32_t, int32_t) { return 7u; });
  int32_t w, h;
  PixelBuffer dest = Box(4, 4);
  EXPECT_EQ(IPScaleImage(nullptr, nullptr, 0, dest, w, h), kBadArg);
  EXPECT_EQ(IPScaleImage("x.tif", &src, 0, dest, w, h), kBadArg);
  EXPECT_EQ(IPScaleImage(nullptr, &src, 2, dest, w, h), kBadArg);
  EXPECT_EQ(IPScaleImage(nullptr, &gray, 0, dest, w, h), kBadArg);  // channel counts differ
  EXPECT_EQ(IPScaleImage(nullptr, &dest, 0, dest, w, h), kBadArg);  // onto itself
  PixelBuffer thin = Box(4, 4);
  thin.width = 1;
  EXPECT_EQ(IPScaleImage(nullptr, &src, 0, thin, w, h), kBadArg);
  PixelBuffer lab = Box(4, 4);
  lab.colorType = 7;
  EXPECT_EQ(IPScaleImage(nullptr, &src, 1, lab, w, h), kBadArg);
  EXPECT_EQ(IPScaleImage((ScratchDir() + "missing.tif").c_str(), nullptr, 0, dest, w, h), kOpenErr);
}

// Fast mode: output (x, y) is source ((x·s + 32768) >> 16, (y·s + 32768) >> 16).
TEST(ResampleTest, FastModeTakesTheDocumentedRowsAndColumns) {
  PixelBuffer src = MakeBuffer(10, 7, 3, 2, [](int32_t c, int32_t x, int32_t y) { return (uint32_t)(c * 1000 + y * 10 + x); });
  PixelBuffer dest = Box(4, 4, 3, 2);
  int32_t w, h;
  ASSERT_EQ(IPScaleImage(nullptr, &src, kIPScaleFast, dest, w, h), kOk);
  ASSERT_EQ(w, 4);
  ASSERT_EQ(h, 3);  // 10 × 7 in 4 × 4; step min(9/3, 6/2) = 3.0
  const int32_t cols[4] = {0, 3, 6, 9}, rows[3] = {0, 3, 6};
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(SampleAt(dest, c, x, y), (uint32_t)(c * 1000 + rows[y] * 10 + cols[x]));

  // A fractional step: 9 × 9 into 4 × 4, s = (8 << 16) / 3 = 174762; columns 0, 3, 5, 8.
  PixelBuffer sq = MakeBuffer(9, 9, 3, 2, [](int32_t, int32_t x, int32_t y) { return (uint32_t)(y * 10 + x); });
  PixelBuffer d2 = Box(4, 4, 3, 2);
  ASSERT_EQ(IPScaleImage(nullptr, &sq, kIPScaleFast, d2, w, h), kOk);
  const int32_t pick[4] = {0, 3, 5, 8};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(SampleAt(d2, 0, x, y), (uint32_t)(pick[y] * 10 + pick[x]));
}

// The exact tent filter at the table's quantised position: output (x, y) is
// Σ t((i − px)/r) t((j − py)/r) g(i, j) / Σ t t, with edge samples repeated and
// p = ⌊pos · 16⌋ / 16 for pos = x·s.
double ExactTent(const std::function<double(int64_t, int64_t)>& g, int64_t W, int64_t H, int64_t s, double r,
                 int32_t x, int32_t y) {
  auto axis = [&](int64_t pos, int64_t n, std::vector<std::pair<int64_t, double>>& taps) {
    const double p = (double)((pos >> 16) * 16 + ((pos >> 12) & 15)) / 16.0;
    for (int64_t i = (int64_t)std::floor(p - r) - 1; i <= (int64_t)std::ceil(p + r) + 1; ++i) {
      const double d = std::fabs((i - p) / r);
      if (d < 1) taps.push_back({std::clamp<int64_t>(i, 0, n - 1), 1 - d});
    }
  };
  std::vector<std::pair<int64_t, double>> tx, ty;
  axis((int64_t)x * s, W, tx);
  axis((int64_t)y * s, H, ty);
  double sum = 0, wsum = 0;
  for (auto& a : ty)
    for (auto& b : tx) {
      sum += a.second * b.second * g(b.first, a.first);
      wsum += a.second * b.second;
    }
  return sum / wsum;
}

TEST(ResampleTest, FilteredModeMatchesTheExactTentOnAGradient) {
  struct Case {
    int32_t W, H, bw, bh, bps;
  } cases[] = {{1000, 700, 130, 130, 1}, {640, 480, 200, 200, 2}, {101, 101, 50, 50, 1},
               {257, 97, 100, 100, 2},   {90, 60, 89, 89, 1},     {3000, 40, 64, 64, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " bps " << c.bps);
    const double top = c.bps == 2 ? 65535.0 : 255.0;
    auto g = [&](int64_t x, int64_t y) { return top * (0.7 * x / (c.W - 1) + 0.3 * y / (c.H - 1)); };
    PixelBuffer src = MakeBuffer(c.W, c.H, 3, c.bps, [&](int32_t ch, int32_t x, int32_t y) {
      return (uint32_t)std::lround(ch == 1 ? top - g(x, y) : g(x, y));
    });
    // The reference works on the stored (rounded) samples.
    auto stored = [&](int64_t x, int64_t y) { return (double)SampleAt(src, 0, (int32_t)x, (int32_t)y); };
    PixelBuffer dest = Box(c.bw, c.bh, 3, c.bps);
    int32_t w, h;
    ASSERT_EQ(IPScaleImage(nullptr, &src, kIPScaleFiltered, dest, w, h), kOk);
    bool fromWidth = true;
    const int64_t s = IPScaleStep(c.W, c.H, w, h, &fromWidth);
    const double r = fromWidth ? (double)(c.W - 1) / (w - 1) : (double)(c.H - 1) / (h - 1);
    double worst = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        worst = std::max(worst, std::fabs(SampleAt(dest, 0, x, y) - ExactTent(stored, c.W, c.H, s, r, x, y)));
      }
    EXPECT_LE(worst, 1.0);
  }
}

TEST(ResampleTest, FilterTableSumsTo65536InEveryPhase) {
  for (double r : {1.0, 1.0001, 1.5, 2.0, 2.5, 7.3, 33.3}) {
    IPFilterTable t;
    ASSERT_EQ(IPBuildFilterTable(r, t), kOk);
    EXPECT_EQ(t.kMin, 1 - (int32_t)std::ceil(r)) << r;
    EXPECT_EQ(t.kMax, (int32_t)std::ceil(r + 0.9375) - 1) << r;
    for (int32_t p = 0; p < 16; ++p) {
      uint64_t sum = 0;
      for (int32_t i = 0; i < t.taps; ++i) sum += t.Phase(p)[i];
      EXPECT_EQ(sum, 65536u) << r << " phase " << p;
    }
  }
  IPFilterTable t;
  EXPECT_EQ(IPBuildFilterTable(0.5, t), kBadArg);
}

// A TIFF file scales as the same pixels in a buffer do; a 16-bit file into an
// 8-bit box keeps the high bytes.
TEST(ResampleTest, FileSourcesScaleAsBufferSources) {
  const std::string dir = FreshDir("resample_files");
  PixelBuffer px = MakeBuffer(301, 203, 3, 2, [](int32_t c, int32_t x, int32_t y) {
    return (uint32_t)((x * 211 + y * 97 + c * 5000 + (x * y) % 1013) * 13 % 65536);
  });
  PixelBuffer high = MakeBuffer(301, 203, 3, 1, [&](int32_t c, int32_t x, int32_t y) { return SampleAt(px, c, x, y) >> 8; });
  const std::string tif16 = dir + "a16.tif", tif8 = dir + "a8.tif";
  WriteFile(tif16, kRasTiff16, px);
  WriteFile(tif8, kRasTiff, high);
  for (int32_t mode : {kIPScaleFast, kIPScaleFiltered}) {
    SCOPED_TRACE(mode);
    int32_t w, h;
    PixelBuffer want16 = Box(120, 120, 3, 2), got16 = Box(120, 120, 3, 2);
    ASSERT_EQ(IPScaleImage(nullptr, &px, mode, want16, w, h), kOk);
    ASSERT_EQ(IPScaleImage(tif16.c_str(), nullptr, mode, got16, w, h), kOk);
    EXPECT_TRUE(SamePixels(want16, got16));
    PixelBuffer want8 = Box(120, 120), from16 = Box(120, 120), from8 = Box(120, 120);
    ASSERT_EQ(IPScaleImage(nullptr, &high, mode, want8, w, h), kOk);
    ASSERT_EQ(IPScaleImage(tif16.c_str(), nullptr, mode, from16, w, h), kOk);
    ASSERT_EQ(IPScaleImage(tif8.c_str(), nullptr, mode, from8, w, h), kOk);
    EXPECT_TRUE(SamePixels(want8, from16));
    EXPECT_TRUE(SamePixels(want8, from8));
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 81);
  }
}

struct ProgressLog {
  std::vector<float> fractions;
  int stopAt = -1;
  static Status Fn(void* context, float f) {
    ProgressLog* p = static_cast<ProgressLog*>(context);
    p->fractions.push_back(f);
    return (int)p->fractions.size() == p->stopAt ? kCancelled : kOk;
  }
};

TEST(ResampleTest, ProgressFollowsTheRowsAndCanCancel) {
  PixelBuffer src = MakeBuffer(60, 40, 3, 1, [](int32_t, int32_t x, int32_t y) { return (uint32_t)(x + y); });
  for (int32_t mode : {kIPScaleFast, kIPScaleFiltered}) {
    ProgressLog log;
    PixelBuffer dest = Box(30, 30);
    int32_t w, h;
    ASSERT_EQ(IPScaleImage(nullptr, &src, mode, dest, w, h, {ProgressLog::Fn, &log}), kOk);
    ASSERT_EQ((int)log.fractions.size(), 20);
    EXPECT_FLOAT_EQ(log.fractions.front(), 1.0f / 20);
    EXPECT_FLOAT_EQ(log.fractions.back(), 1.0f);
    ProgressLog stop;
    stop.stopAt = 5;
    PixelBuffer d2 = Box(30, 30);
    EXPECT_EQ(IPScaleImage(nullptr, &src, mode, d2, w, h, {ProgressLog::Fn, &stop}), kCancelled);
    EXPECT_EQ(stop.fractions.size(), 5u);
  }
}

// Cancelling a scaling from a file closes the file (a TIFF can be scaled again).
TEST(ResampleTest, CancelFromAFileClosesIt) {
  const std::string path = FreshDir("resample_cancel") + "c.tif";
  PixelBuffer px = MakeBuffer(64, 48, 3, 1, [](int32_t c, int32_t x, int32_t y) { return (uint32_t)(x * 3 + y + c); });
  WriteFile(path, kRasTiff, px);
  ProgressLog stop;
  stop.stopAt = 2;
  PixelBuffer dest = Box(20, 20);
  int32_t w, h;
  EXPECT_EQ(IPScaleImage(path.c_str(), nullptr, kIPScaleFiltered, dest, w, h, {ProgressLog::Fn, &stop}), kCancelled);
  EXPECT_EQ(IPScaleImage(path.c_str(), nullptr, kIPScaleFiltered, dest, w, h), kOk);
}

// A smooth photograph-like image: a wide gradient with soft blobs.
uint32_t Smooth(int32_t c, int32_t x, int32_t y) {
  const double v = 128 + 60 * std::sin(x / 97.0 + c) * std::cos(y / 71.0 - c) + 40 * std::sin((x + y) / 213.0);
  return (uint32_t)std::clamp(std::lround(v), 0L, 255L);
}

TEST(PreviewTest, ThumbnailRecipeSizes) {
  const std::string dir = FreshDir("thumbs");
  struct Case {
    int32_t W, H, w, h;
  } cases[] = {{300, 200, 150, 100}, {1200, 800, 180, 120}, {500, 1000, 90, 180}, {3, 3, 2, 2}, {2, 700, 1, 180}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H);
    const std::string path = dir + "t.tif";
    WriteFile(path, kRasTiff, MakeBuffer(c.W, c.H, 3, 1, Smooth));
    PixelBuffer thumb;
    ASSERT_EQ(IPMakeThumbnail(path.c_str(), thumb), kOk);
    EXPECT_EQ(thumb.width, c.w);
    EXPECT_EQ(thumb.height, c.h);
    EXPECT_EQ(thumb.bytesPerSample, 1);
  }
}

// The view recipe: two steps for a source more than twice the box, one
// filtered step otherwise; each equals the steps done by hand.
TEST(PreviewTest, ViewImageRecipeFollowsItsSteps) {
  const std::string path = FreshDir("view") + "v.tif";
  PixelBuffer px = MakeBuffer(1000, 700, 3, 1, Smooth);
  WriteFile(path, kRasTiff, px);
  int32_t w, h;
  {
    PixelBuffer view;
    ASSERT_EQ(IPMakeViewImage(path.c_str(), 400, 300, 1, view), kOk);
    PixelBuffer mid = Box(600, 450), want = Box(400, 300);
    ASSERT_EQ(IPScaleImage(nullptr, &px, kIPScaleFast, mid, w, h), kOk);
    ASSERT_EQ(IPScaleImage(nullptr, &mid, kIPScaleFiltered, want, w, h), kOk);
    EXPECT_EQ(view.width, 400);
    EXPECT_EQ(view.height, 280);
    EXPECT_TRUE(SamePixels(view, want));
  }
  {
    PixelBuffer view;
    ASSERT_EQ(IPMakeViewImage(path.c_str(), 600, 600, 2, view), kOk);
    PixelBuffer want = Box(600, 600, 3, 2);
    ASSERT_EQ(IPScaleImage(nullptr, &px, kIPScaleFiltered, want, w, h), kOk);
    EXPECT_EQ(view.height, 420);
    EXPECT_TRUE(SamePixels(view, want));
  }
}

// A JPEG thumbnail decoded at a reduced DCT scale (1/4 for the 180 box, 1/2
// for 300) stays within 2 codes of the full-size path on a smooth image.
TEST(PreviewTest, ReducedJpegDecodeStaysCloseToTheFullPath) {
  const std::string path = FreshDir("jpeg_thumb") + "p.jpg";
  WriteOptions quality95;
  quality95.quality = 95;
  WriteFile(path, kRasJpeg,
            MakeBuffer(3000, 2000, 3, 1, [](int32_t c, int32_t x, int32_t y) { return Smooth(c, x / 2, y / 2); }),
            quality95);
  for (int32_t box : {180, 300}) {
    SCOPED_TRACE(box);
    int32_t w, h;
    PixelBuffer full = Box(2 * box, 2 * box), reduced = Box(2 * box, 2 * box);
    ASSERT_EQ(IPScaleImage(path.c_str(), nullptr, kIPScaleFast, full, w, h), kOk);
    ASSERT_EQ(IPScaleImage(path.c_str(), nullptr, kIPScaleFast, reduced, w, h, {}, kIPScaleReducedDecode), kOk);
    PixelBuffer a = Box(w / 2, h / 2), b = Box(w / 2, h / 2);
    ASSERT_EQ(IPScaleImage(nullptr, &full, kIPScaleFiltered, a, w, h), kOk);
    ASSERT_EQ(IPScaleImage(nullptr, &reduced, kIPScaleFiltered, b, w, h), kOk);
    int64_t worst = 0, total = 0;
    for (int32_t y = 0; y < a.height; ++y)
      for (int32_t x = 0; x < a.width; ++x)
        for (int32_t c = 0; c < 3; ++c) {
          const int64_t d = std::llabs((int64_t)SampleAt(a, c, x, y) - SampleAt(b, c, x, y));
          worst = std::max(worst, d);
          total += d;
        }
    EXPECT_LE(worst, 2);
    EXPECT_LT((double)total / (a.width * a.height * 3), 1.0);
  }
}

// ---- the thumbnail from full-size rows (one decode for analysis and save) ----

// Decodes once with a budget that keeps the rows and with none; both give the
// same thumbnail, and the kept rows are the file's rows.
void DecodeBothWays(const std::string& path, PixelBuffer& thumb) {
  IPRowThumbnail keeping, streaming;
  HeldImage held, none;
  ASSERT_EQ(IPDecodeOnce(path, {}, INT64_MAX, keeping, held), kOk) << RasLastFailure();
  ASSERT_EQ(IPDecodeOnce(path, {}, 0, streaming, none), kOk);
  ASSERT_TRUE(held.Held());
  EXPECT_FALSE(none.Held());
  PixelBuffer other;
  ASSERT_EQ(keeping.Finish(thumb), kOk);
  ASSERT_EQ(streaming.Finish(other), kOk);
  EXPECT_TRUE(SamePixels(thumb, other));
  RasImage in;
  RasScanline sl;
  ASSERT_EQ(RasQuery(path, in), kOk);
  ASSERT_EQ(RasOpenRead(path, in, {}), kOk);
  EXPECT_EQ(held.image.width, in.width);
  EXPECT_EQ(held.image.height, in.height);
  bool same = true;
  for (uint32_t y = 0; y < in.height && same; ++y) {
    ASSERT_EQ(RasReadSl(in, y, sl), kOk);
    for (int32_t c = 0; c < in.channels; ++c)
      same = same && std::memcmp(held.Row(y, c), in.Is16() ? (void*)sl.plane16[c] : (void*)sl.plane8[c],
                                 (size_t)in.width * held.bytesPerSample) == 0;
  }
  EXPECT_TRUE(same);
  RasClose(in);
}

// Where the file's thumbnail needs no reduced decode, the thumbnail made from
// the full-size rows is that thumbnail exactly: every format and depth, edge sizes.
TEST(RowThumbnailTest, EqualsTheFileThumbnailWithoutReducedDecode) {
  const std::string dir = FreshDir("row_thumbs");
  auto wide = [](int32_t c, int32_t x, int32_t y) { return Smooth(c, x, y) * 257 + (uint32_t)((x * 7 + y) % 211); };
  struct Case {
    int32_t format, W, H, bps;
  } cases[] = {{kRasTiff, 1200, 800, 1}, {kRasTiff16, 1001, 667, 2}, {kRasBmp, 731, 389, 1},
               {kRasJpeg, 1200, 750, 1}, {kRasTiff, 3, 3, 1},        {kRasTiff, 2, 700, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << RasFormatName(c.format) << " " << c.W << "x" << c.H);
    const std::string path = dir + "t." + (c.format == kRasBmp ? "bmp" : c.format == kRasJpeg ? "jpg" : "tif");
    WriteFile(path, c.format, MakeBuffer(c.W, c.H, 3, c.bps, c.bps == 2 ? wide : Smooth));
    PixelBuffer fromRows, fromFile;
    DecodeBothWays(path, fromRows);
    ASSERT_EQ(IPMakeThumbnail(path.c_str(), fromFile), kOk);
    EXPECT_TRUE(SamePixels(fromRows, fromFile));
  }
}

// A JPEG the file thumbnail decodes at 1/d: each pick is the exact mean of
// its d × d block of full-size samples (cut at the edges), close to the
// reduced decode's sample.
TEST(RowThumbnailTest, AveragesTheBlocksOfAReducedJpegDecode) {
  const std::string path = FreshDir("row_thumbs_jpeg") + "p.jpg";
  struct Case {
    int32_t W, H, d;
  } cases[] = {{3001, 1999, 4}, {1603, 1201, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H);
    WriteOptions quality95;
    quality95.quality = 95;
    WriteFile(path, kRasJpeg,
              MakeBuffer(c.W, c.H, 3, 1, [](int32_t ch, int32_t x, int32_t y) { return Smooth(ch, x / 2, y / 2); }),
              quality95);
    PixelBuffer fromRows, fromFile;
    DecodeBothWays(path, fromRows);
    ASSERT_EQ(IPMakeThumbnail(path.c_str(), fromFile), kOk);

    // The reference: the full decode, the picks' block means, the filtered step.
    RasImage in;
    RasScanline sl;
    ASSERT_EQ(RasQuery(path, in), kOk);
    ASSERT_EQ(RasOpenRead(path, in, {}), kOk);
    PixelBuffer full = Box(c.W, c.H);
    for (int32_t y = 0; y < c.H; ++y) {
      ASSERT_EQ(RasReadSl(in, (uint32_t)y, sl), kOk);
      for (int32_t ch = 0; ch < 3; ++ch)
        for (int32_t x = 0; x < c.W; ++x) full.Row<uint8_t>(ch, y)[x * 3] = sl.plane8[ch][x];
    }
    RasClose(in);
    int32_t w, h;
    IPScaleOutputSize(c.W, c.H, 360, 360, w, h);
    ASSERT_EQ(IPReducedDecodeScale(kRasJpeg, c.W, c.H, w, h), c.d);
    const int64_t step = IPScaleStep(c.W, c.H, w, h);
    PixelBuffer raster = Box(w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const int64_t y0 = IPFastIndex(y, step, c.d, (c.H + c.d - 1) / c.d) * c.d;
        const int64_t x0 = IPFastIndex(x, step, c.d, (c.W + c.d - 1) / c.d) * c.d;
        for (int32_t ch = 0; ch < 3; ++ch) {
          uint32_t sum = 0, n = 0;
          for (int64_t yy = y0; yy < std::min<int64_t>(y0 + c.d, c.H); ++yy)
            for (int64_t xx = x0; xx < std::min<int64_t>(x0 + c.d, c.W); ++xx, ++n) sum += SampleAt(full, ch, xx, yy);
          raster.Row<uint8_t>(ch, y)[x * 3] = (uint8_t)((sum + n / 2) / n);
        }
      }
    PixelBuffer want = Box(std::max(2, w / 2), std::max(2, h / 2));
    ASSERT_EQ(IPScaleImage(nullptr, &raster, kIPScaleFiltered, want, w, h), kOk);
    EXPECT_TRUE(SamePixels(fromRows, want));
    EXPECT_TRUE(SamePixels(fromRows, fromFile, 3));
  }
}

// A file that breaks off keeps nothing and says so.
TEST(RowThumbnailTest, ABrokenFileKeepsNoRows) {
  const std::string dir = FreshDir("row_thumbs_broken");
  WriteFile(dir + "whole.jpg", kRasJpeg, MakeBuffer(640, 480, 3, 1, Smooth));
  std::vector<unsigned char> bytes;
  ASSERT_TRUE(ReadFileBytes(dir + "whole.jpg", bytes));
  WriteFileBytes(dir + "cut.jpg", bytes.data(), bytes.size() / 2);
  IPRowThumbnail thumbnail;
  HeldImage held;
  EXPECT_NE(IPDecodeOnce(dir + "cut.jpg", {}, INT64_MAX, thumbnail, held), kOk);
  EXPECT_FALSE(held.Held());
  EXPECT_NE(IPDecodeOnce(dir + "missing.jpg", {}, INT64_MAX, thumbnail, held), kOk);
}

class Down2Test : public AppFixture {};

TEST_F(Down2Test, ScalesIntoTheAreaAndConvertsToTheMonitor) {
  PixelBuffer display = MakeBuffer(300, 200, 3, 1, Smooth);
  TintmeshPtr invert = MakeCurves(3, 3, kQX8Bit, [](int m, int) { return (uint16_t)(255 - m); });
  PixelBuffer bitmap, plain = Box(150, 100);
  ASSERT_EQ(IPScaleImageDown2(display, 150, 100, invert.get(), bitmap), kOk);
  int32_t w, h;
  ASSERT_EQ(IPScaleImage(nullptr, &display, kIPScaleFiltered, plain, w, h), kOk);
  ASSERT_EQ(bitmap.width, 150);
  ASSERT_EQ(bitmap.height, 100);
  bool inverted = true;
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 150; ++x)
      for (int32_t c = 0; c < 3; ++c) inverted &= SampleAt(bitmap, c, x, y) == 255 - SampleAt(plain, c, x, y);
  EXPECT_TRUE(inverted);
  EXPECT_EQ(host().Count(ScriptedHost::Kind::Alert), 0);

  // The display image's shape does not fill a square area: -2, reported.
  EXPECT_EQ(IPScaleImageDown2(display, 150, 150, nullptr, bitmap), kSysErr);
  auto alerts = host().Of(ScriptedHost::Kind::Alert);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_NE(alerts[0].text.find("IPScaleImageDown2"), std::string::npos);
}

}  // namespace
