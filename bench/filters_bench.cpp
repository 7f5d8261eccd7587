// Filters: whole commands from file to file on a 6000 × 4000 photograph made
// at run time (ImageMagick's plasma fractal, written as an uncompressed TIFF
// and a quality-92 JPEG), ours through tavelin-cli's hidden commands on one
// thread, the peers as commands in the same run, best of five each:
//   - a Batchline thumbnail (180 × 180) and a 900 × 600 view image of the JPEG
//     against vipsthumbnail and ImageMagick's -thumbnail;
//   - the 5 × 5 unsharp mask at strength 6, TIFF to TIFF, against ImageMagick's
//     -unsharp and libvips's conv with the same 5 × 5 kernel (both cores);
//   - noise removal with the default radii, TIFF to TIFF (megapixels per
//     second, in the command and in the filter alone), against libvips's 3 × 3
//     median;
//   - the peak memory of a 10,000 × 10,000 pass (noise removal and sharpening,
//     and the view image) measured with /usr/bin/time -v.
// Each comparison ends with "RATIO <name> <peer seconds / our seconds>"; the
// memory lines are "PEAK_MB <name> <megabytes>".
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "filters/noisefilter.h"
#include "filters/pixelbuffer.h"
#include "filters/preview.h"
#include "filters/resample.h"
#include "imagefile/ras.h"
#include "base/uistate.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string Folder() {
  std::string dir;
  Ui_Path_SetToTempFolder(dir);
  return dir;
}

std::string Cli() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "tavelin-cli";
  std::string self(buf, (size_t)n);
  return self.substr(0, self.find_last_of('/') + 1) + "tavelin-cli";
}

std::string Peer(const std::string& tool) {
  // ImageMagick's own convert, not a wrapper that may stand in front of it.
  if (tool == "convert" && access("/usr/bin/convert", X_OK) == 0) return "/usr/bin/convert";
  return tool;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Best of `times` runs, or a negative value when the command fails.
double Best(const std::string& command, int times = 5) {
  double best = 1e9;
  for (int i = 0; i < times; ++i) {
    const double t0 = Now();
    if (!Run(command)) return -1;
    best = std::min(best, Now() - t0);
  }
  return best;
}

struct Photo {
  std::string tif, jpg;
  bool ok = false;
};

void RemovePhotograph();

// The test photograph, made once per run and removed at exit.
const Photo& Photograph() {
  static Photo p = [] {
    Photo r;
    const std::string dir = Folder();
    r.tif = dir + "filters_bench_6000x4000.tif";
    r.jpg = dir + "filters_bench_6000x4000.jpg";
    r.ok = Run(Peer("convert") + " -seed 7 -size 6000x4000 plasma:fractal -blur 0x1 -depth 8 -compress none '" +
               r.tif + "'") &&
           Run(Peer("convert") + " '" + r.tif + "' -quality 92 -sampling-factor 2x2 '" + r.jpg + "'");
    return r;
  }();
  // Registered once the photograph exists, so it runs before its destructor.
  static const bool removeAtExit = std::atexit(RemovePhotograph) == 0;
  (void)removeAtExit;
  return p;
}

void RemovePhotograph() {
  const Photo& p = Photograph();
  std::remove(p.tif.c_str());
  std::remove(p.jpg.c_str());
}

void Report(benchmark::State& state, const char* name, double ours, double peer) {
  state.counters[std::string(name) + "_ours_s"] = ours;
  state.counters[std::string(name) + "_peer_s"] = peer;
  std::printf("RATIO %s %.3f\n", name, peer / ours);
  std::fflush(stdout);
}

// How far a recipe's result from a reduced JPEG decode lies from the
// full-size path: the fast step into fastW × fastH, then the filtered step
// into finalW × finalH, with and without kIPScaleReducedDecode.
void ReducedDecodeFidelity(const std::string& jpg, int32_t fastW, int32_t fastH, int32_t finalW, int32_t finalH) {
  PixelBuffer full, reduced, a, b;
  int32_t w, h;
  PixelBufferCreate(full, fastW, fastH, 3, 1);
  PixelBufferCreate(reduced, fastW, fastH, 3, 1);
  if (IPScaleImage(jpg.c_str(), nullptr, kIPScaleFast, full, w, h) != kOk ||
      IPScaleImage(jpg.c_str(), nullptr, kIPScaleFast, reduced, w, h, {}, kIPScaleReducedDecode) != kOk)
    return;
  PixelBufferCreate(a, finalW, finalH, 3, 1);
  PixelBufferCreate(b, finalW, finalH, 3, 1);
  IPScaleImage(nullptr, &full, kIPScaleFiltered, a, w, h);
  IPScaleImage(nullptr, &reduced, kIPScaleFiltered, b, w, h);
  std::vector<int> d;
  double sum = 0;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w * 3; ++x) {
      d.push_back(std::abs((int)a.Row<uint8_t>(0, y)[x] - (int)b.Row<uint8_t>(0, y)[x]));
      sum += d.back();
    }
  std::sort(d.begin(), d.end());
  std::printf("NOTE reduced JPEG decode vs full-size path, %dx%d: mean %.2f, 99th percentile %d, max %d codes\n", w, h,
              sum / (double)d.size(), d[d.size() * 99 / 100], d.back());
}

void BM_Thumbnail180(benchmark::State& state) {
  const Photo& p = Photograph();
  if (!p.ok) return state.SkipWithError("cannot make the photograph");
  const std::string out = Folder() + "filters_bench_thumb";
  double ours = 0, vips = 0, im = 0;
  for (auto _ : state) {
    ours = Best(Cli() + " _scale '" + p.jpg + "' '" + out + "_ours.jpg' --thumbnail");
    vips = Best("vipsthumbnail '" + p.jpg + "' -s 180 -o '" + out + "_vips.jpg'");
    im = Best(Peer("convert") + " '" + p.jpg + "' -thumbnail 180x180 '" + out + "_im.jpg'");
  }
  if (ours < 0 || vips < 0 || im < 0) return state.SkipWithError("a command failed");
  ReducedDecodeFidelity(p.jpg, 2 * kThumbnailBox, 2 * kThumbnailBox, kThumbnailBox, kThumbnailBox);
  Report(state, "thumbnail_180_vs_imagemagick", ours, im);
  Report(state, "thumbnail_180_vs_vipsthumbnail", ours, vips);
  for (const char* s : {"_ours.jpg", "_vips.jpg", "_im.jpg"}) std::remove((out + s).c_str());
}

void BM_View900x600(benchmark::State& state) {
  const Photo& p = Photograph();
  if (!p.ok) return state.SkipWithError("cannot make the photograph");
  const std::string out = Folder() + "filters_bench_view";
  double ours = 0, vips = 0, im = 0;
  for (auto _ : state) {
    ours = Best(Cli() + " _scale '" + p.jpg + "' '" + out + "_ours.jpg' --view 900 600");
    vips = Best("vipsthumbnail '" + p.jpg + "' -s 900x600 -o '" + out + "_vips.jpg'");
    im = Best(Peer("convert") + " '" + p.jpg + "' -thumbnail 900x600 '" + out + "_im.jpg'");
  }
  if (ours < 0 || vips < 0 || im < 0) return state.SkipWithError("a command failed");
  ReducedDecodeFidelity(p.jpg, 1350, 900, 900, 600);
  Report(state, "view_900x600_vs_imagemagick", ours, im);
  Report(state, "view_900x600_vs_vipsthumbnail", ours, vips);
  for (const char* s : {"_ours.jpg", "_vips.jpg", "_im.jpg"}) std::remove((out + s).c_str());
}

// Strength 6: out = c + 6/19 · (c − 5 × 5 mean) = (625c − 6S) / 475.
void BM_UnsharpTiff24MP(benchmark::State& state) {
  const Photo& p = Photograph();
  if (!p.ok) return state.SkipWithError("cannot make the photograph");
  const std::string dir = Folder();
  const std::string out = dir + "filters_bench_usm", mask = dir + "filters_bench_usm.mat";
  FILE* f = std::fopen(mask.c_str(), "w");
  if (!f) return state.SkipWithError("cannot write the kernel");
  std::fprintf(f, "5 5 475 0\n");
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) std::fprintf(f, x == 4 ? "%d\n" : "%d ", x == 2 && y == 2 ? 619 : -6);
  std::fclose(f);
  double ours = 0, vips = 0, im = 0;
  for (auto _ : state) {
    ours = Best(Cli() + " _filter '" + p.tif + "' '" + out + "_ours.tif' --sharpen 6");
    vips = Best("vips conv '" + p.tif + "' '" + out + "_vips.tif' '" + mask + "' --precision integer");
    im = Best(Peer("convert") + " '" + p.tif + "' -unsharp 2x1+0.32+0 -compress none '" + out + "_im.tif'", 3);
  }
  if (ours < 0 || vips < 0 || im < 0) return state.SkipWithError("a command failed");
  Report(state, "unsharp_24mp_tiff_vs_imagemagick", ours, im);
  Report(state, "unsharp_24mp_tiff_vs_vips_conv", ours, vips);
  for (const char* s : {"_ours.tif", "_vips.tif", "_im.tif"}) std::remove((out + s).c_str());
  std::remove(mask.c_str());
}

Status NullSink(void*, int32_t, const IPRow&) { return kOk; }

double CpuNow() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

// The noise filter alone on the photograph's rows (read first, 400 rows kept
// and fed round), megapixels per second of wall and of process time.
void FilterOnly(const std::string& tif, double& wallMp, double& cpuMp) {
  wallMp = cpuMp = 0;
  RasImage image;
  RasScanline sl;
  if (RasQuery(tif, image) != kOk || RasOpen(tif, 'r', image) != kOk || RasMakeSl(sl, image) != kOk) return;
  const int32_t W = (int32_t)image.width, H = (int32_t)image.height, keep = 400;
  std::vector<uint8_t> rows((size_t)W * 3 * keep);
  for (int32_t y = 0; y < keep; ++y) {
    if (RasReadSl(image, (uint32_t)y, sl) != kOk) return;
    for (int c = 0; c < 3; ++c) std::copy(sl.plane8[c], sl.plane8[c] + W, rows.begin() + ((size_t)y * 3 + c) * W);
  }
  RasClose(image);
  IPNoiseSetup setup;
  setup.width = W;
  setup.height = H;
  setup.sink = NullSink;
  IPNoiseFilter* f = nullptr;
  if (IPNoiseFilterCreate(setup, &f) != kOk) return;
  const double t0 = Now(), c0 = CpuNow();
  for (int32_t y = 0; y < H; ++y) {
    IPRow r;
    for (int c = 0; c < 3; ++c) r.chan[c] = rows.data() + ((size_t)(y % keep) * 3 + c) * W;
    IPNoiseFilterPush(f, r);
  }
  const double wall = Now() - t0, cpu = CpuNow() - c0;
  IPNoiseFilterFree(&f);
  wallMp = (double)W * H / wall / 1e6;
  cpuMp = (double)W * H / cpu / 1e6;
}

void BM_NoiseRemoval24MP(benchmark::State& state) {
  const Photo& p = Photograph();
  if (!p.ok) return state.SkipWithError("cannot make the photograph");
  const std::string out = Folder() + "filters_bench_noise";
  double ours = 0, vips = 0;
  for (auto _ : state) {
    ours = Best(Cli() + " _filter '" + p.tif + "' '" + out + "_ours.tif' --noise", 3);
    vips = Best("vips rank '" + p.tif + "' '" + out + "_vips.tif' 3 3 4", 3);
  }
  if (ours < 0 || vips < 0) return state.SkipWithError("a command failed");
  double wallMp = 0, cpuMp = 0;
  FilterOnly(p.tif, wallMp, cpuMp);
  state.counters["command_mp_per_s"] = 24.0 / ours;
  state.counters["filter_mp_per_s"] = wallMp;
  std::printf("NOTE noise removal (radii 0, 8, 4; thresholds 16): %.1f MP/s TIFF to TIFF, %.1f MP/s in the filter "
              "(%.1f MP/s of process time)\n",
              24.0 / ours, wallMp, cpuMp);
  Report(state, "noise_removal_24mp_vs_vips_median3x3", ours, vips);
  for (const char* s : {"_ours.tif", "_vips.tif"}) std::remove((out + s).c_str());
}

// A 10,000 × 10,000 TIFF written row by row (smooth colour with noise).
bool MakeBig(const std::string& path) {
  constexpr uint32_t kSide = 10000;
  RasImage out;
  if (rasInit(out, kRasTiff, kSide, kSide, 3, kRasRGB, 300) != kOk || RasOpen(path, 'w', out) != kOk) return false;
  RasScanline sl;
  if (RasMakeSl(sl, out) != kOk) return false;
  uint32_t noise = 1;
  for (uint32_t y = 0; y < kSide; ++y) {
    for (uint32_t x = 0; x < kSide; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const uint32_t n = noise >> 27;
      sl.plane8[0][x] = (uint8_t)(40 + x / 60 + n);
      sl.plane8[1][x] = (uint8_t)(40 + y / 60 + (n ^ 5));
      sl.plane8[2][x] = (uint8_t)(40 + (x + y) / 120 + (n ^ 9));
    }
    if (RasWriteSl(out, y, sl) != kOk) return false;
  }
  return RasClose(out) == kOk;
}

// Peak resident megabytes of a command, from /usr/bin/time -v; negative on failure.
double PeakMb(const std::string& command) {
  const std::string log = Folder() + "filters_bench_time.txt";
  if (std::system(("/usr/bin/time -v " + command + " >/dev/null 2>'" + log + "'").c_str()) != 0) return -1;
  FILE* f = std::fopen(log.c_str(), "r");
  if (!f) return -1;
  char line[512];
  double kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    const char* key = "Maximum resident set size (kbytes):";
    if (const char* at = std::strstr(line, key)) kb = std::atof(at + std::strlen(key));
  }
  std::fclose(f);
  std::remove(log.c_str());
  return kb < 0 ? -1 : kb / 1024.0;
}

void BM_PeakMemory10k(benchmark::State& state) {
  const std::string dir = Folder();
  const std::string big = dir + "filters_bench_10k.tif", out = dir + "filters_bench_10k_out";
  double filters = -1, view = -1;
  for (auto _ : state) {
    if (!MakeBig(big)) return state.SkipWithError("cannot make the 10,000 x 10,000 image");
    filters = PeakMb(Cli() + " _filter '" + big + "' '" + out + ".tif' --noise --sharpen 6");
    view = PeakMb(Cli() + " _scale '" + big + "' '" + out + ".jpg' --view 900 600");
  }
  std::remove(big.c_str());
  std::remove((out + ".tif").c_str());
  std::remove((out + ".jpg").c_str());
  if (filters < 0 || view < 0) return state.SkipWithError("a command failed");
  state.counters["filters_mb"] = filters;
  state.counters["view_mb"] = view;
  std::printf("PEAK_MB filters_10000x10000_noise_sharpen %.1f\n", filters);
  std::printf("PEAK_MB view_10000x10000_900x600 %.1f\n", view);
  std::fflush(stdout);
}

}  // namespace

BENCHMARK(BM_Thumbnail180)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_View900x600)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnsharpTiff24MP)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NoiseRemoval24MP)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakMemory10k)->Iterations(1)->Unit(benchmark::kMillisecond);
