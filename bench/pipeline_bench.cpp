// The save pipeline and the command-line tool, on images made at run time in
// the temporary folder (removed afterwards):
//   - the peak memory of `tavelin-cli correct` saving a 10,000 × 10,000 16-bit
//     TIFF with a correction, sharpening and noise removal (/usr/bin/time -v);
//   - `tavelin-cli correct --auto` on twenty 24-megapixel JPEGs (an
//     ImageMagick plasma photograph, quality 92) with one worker and with
//     two: images per second and the speed-up; the same images through
//     ImageMagick's convert -auto-level -profile -unsharp 0x1 as the peer;
//   - the codec's floor: djpeg | cjpeg on the same photographs against
//     `correct --auto` with one worker, in wall time and in CPU time, and
//     libvips' pipeline beside them;
//   - where the time of one image goes: adding it (thumbnail, profile,
//     Brivio), reading, the correction, the filters and writing, measured in
//     this process through the pipeline's own calls.
//   - the same for the command line's one pass (one decode, the rows kept
//     for the save).
// Lines: "PEAK_MB <name> <megabytes>", "IMAGES_PER_S <name> <n>",
// "S_PER_IMAGE <name> <s>", "CPU_S_PER_IMAGE <name> <s>",
// "SPEEDUP <name> <x>", "SHARE <name> <part> <percent>", and "RATIO <name>
// <peer seconds / our seconds>" last.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "correct/customsettings.h"
#include "imagefile/jpeg.h"
#include "imagefile/ras.h"
#include "prefs/prefs.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/pipeline.h"
#include "base/scriptedhost.h"
#include "session/startup.h"
#include "base/uistate.h"

namespace {

namespace fs = std::filesystem;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// The benchmark's folder in the temporary folder, fixed at the first call.
const std::string& Folder() {
  static const std::string folder = [] {
    std::string dir;
    Ui_Path_SetToTempFolder(dir);
    return dir + "pipeline_bench/";
  }();
  return folder;
}

std::string Cli() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "tavelin-cli";
  std::string self(buf, (size_t)n);
  return self.substr(0, self.find_last_of('/') + 1) + "tavelin-cli";
}

std::string Convert() { return access("/usr/bin/convert", X_OK) == 0 ? "/usr/bin/convert" : "convert"; }

// Seconds of CPU (user and system) used by the children this process has
// waited for, the commands of Run included.
double ChildCpu() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (double)u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + (double)u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The command-line tool with its own preferences and temporary folder.
std::string Tool() {
  const std::string dir = Folder();
  fs::create_directories(dir + "config");
  fs::create_directories(dir + "tmp");
  return "env XDG_CONFIG_HOME='" + dir + "config' TMPDIR='" + dir + "tmp' '" + Cli() + "'";
}

// Peak resident megabytes of a command, from /usr/bin/time -v; negative on failure.
double PeakMb(const std::string& command) {
  const std::string log = Folder() + "time.txt";
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
  return kb < 0 ? -1 : kb / 1024.0;
}

// A custom settings file with visible edits (a lattice, not curves).
std::string EditedSettings() {
  const std::string path = Folder() + "edited.txt";
  TavelinPars p;
  InitTavelinPars(&p);
  p.brightness = 0.6f;
  p.contrast = 0.6f;
  p.saturation = 0.65f;
  p.toneColor[0] = 0.55f;
  WriteCustomSettings(&p, StreamLocation(path));
  return path;
}

// A 16-bit RGB TIFF with texture, written row by row.
bool MakeBig16(const std::string& path, uint32_t w, uint32_t h) {
  RasImage out;
  RasScanline sl;
  if (rasInit(out, kRasTiff16, w, h, 3, kRasRGB, 300) != kOk || RasOpen(path, 'w', out) != kOk ||
      RasMakeSl(sl, out) != kOk)
    return false;
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const uint32_t n = noise >> 22;
      sl.plane16[0][x] = (uint16_t)(9000 + x * 4 + n);
      sl.plane16[1][x] = (uint16_t)(9000 + y * 4 + (n ^ 77));
      sl.plane16[2][x] = (uint16_t)(9000 + (x + y) * 2 + (n ^ 300));
    }
    if (RasWriteSl(out, y, sl) != kOk) return false;
  }
  return RasClose(out) == kOk;
}

// Twenty copies of one 24-megapixel photograph.
std::vector<std::string> Photographs() {
  static std::vector<std::string> paths = [] {
    std::vector<std::string> out;
    const std::string dir = Folder() + "photos/";
    fs::create_directories(dir);
    const std::string first = dir + "photo00.jpg";
    if (!fs::exists(first) &&
        !Run(Convert() + " -seed 7 -size 6000x4000 plasma:fractal -blur 0x1 -quality 92 -sampling-factor 2x2 '" +
             first + "'"))
      return out;
    for (int i = 0; i < 20; ++i) {
      char leaf[32];
      std::snprintf(leaf, sizeof leaf, "photo%02d.jpg", i);
      if (i > 0 && !fs::exists(dir + leaf)) fs::copy_file(first, dir + leaf);
      out.push_back(dir + leaf);
    }
    return out;
  }();
  return paths;
}

std::string Quoted(const std::vector<std::string>& paths) {
  std::string s;
  for (const std::string& p : paths) s += " '" + p + "'";
  return s;
}

void BM_PeakMemorySave10k16(benchmark::State& state) {
  const std::string dir = Folder();
  fs::create_directories(dir + "out");
  const std::string big = dir + "big16.tif";
  double mb = -1, seconds = 0;
  for (auto _ : state) {
    if (!MakeBig16(big, 10000, 10000)) return state.SkipWithError("cannot make the 10,000 x 10,000 image");
    const double t0 = Now();
    mb = PeakMb(Tool() + " correct '" + big + "' --settings '" + EditedSettings() +
                "' --sharpen 6 --denoise --jobs 1 --out '" + dir + "out'");
    seconds = Now() - t0;
  }
  fs::remove(big);
  fs::remove_all(dir + "out");
  if (mb < 0) return state.SkipWithError("the command failed");
  state.counters["seconds"] = seconds;
  std::printf("PEAK_MB pipeline_save_10000x10000_16bit_correct_sharpen_denoise %.1f\n", mb);
  std::fflush(stdout);
}

void BM_CorrectAuto20(benchmark::State& state) {
  const std::vector<std::string> photos = Photographs();
  if (photos.size() != 20) return state.SkipWithError("cannot make the photographs");
  const std::string out = Folder() + "out/";
  double one = 0, two = 0, peer = 0;
  int peerImages = 20;
  if (const char* n = std::getenv("TAVELIN_BENCH_PEER_IMAGES")) peerImages = std::max(1, std::min(20, std::atoi(n)));
  for (auto _ : state) {
    for (int workers : {1, 2}) {
      fs::remove_all(out);
      fs::create_directories(out);
      const double t0 = Now();
      if (!Run(Tool() + " correct --auto --jobs " + std::to_string(workers) + " --out '" + out + "'" + Quoted(photos)))
        return state.SkipWithError("tavelin-cli failed");
      (workers == 1 ? one : two) = Now() - t0;
    }
    fs::remove_all(out);
    fs::create_directories(out);
    const double t0 = Now();
    for (int i = 0; i < peerImages; ++i)
      if (!Run(Convert() + " '" + photos[i] + "' -auto-level -profile /usr/share/color/icc/ghostscript/srgb.icc "
                           "-unsharp 0x1 -quality 100 '" + out + "peer.jpg'"))
        return state.SkipWithError("ImageMagick failed");
    peer = (Now() - t0) / peerImages * 20;
  }
  fs::remove_all(out);
  state.counters["one_worker_s"] = one;
  state.counters["two_workers_s"] = two;
  state.counters["peer_s"] = peer;
  std::printf("IMAGES_PER_S correct_auto_24mp_1_worker %.3f\n", 20 / one);
  std::printf("IMAGES_PER_S correct_auto_24mp_2_workers %.3f\n", 20 / two);
  std::printf("SPEEDUP correct_auto_24mp_2_workers %.3f\n", one / two);
  std::printf("PEER_S_PER_IMAGE imagemagick_auto_level_profile_unsharp %.3f\n", peer / 20);
  std::printf("RATIO correct_auto_24mp_vs_imagemagick %.3f\n", peer / two);
  std::fflush(stdout);
}

// The codec's floor: the same twenty photographs decoded and encoded again by
// libjpeg-turbo's own tools (djpeg | cjpeg at the quality `correct` writes,
// 4:2:0 as ours), one process at a time, against `correct --auto` with one
// worker; libvips' profile conversion, sharpening and save as the fastest
// general pipeline. RATIO codec_floor above 0.75 means the correction,
// analysis and sharpening together cost at most a third of the codec.
// The same in CPU seconds (user and system, of every process of the
// command): djpeg and cjpeg run side by side in their pipe, so their wall
// time is below their work; and CPU time holds better than wall time when
// other jobs share the machine.
void BM_CodecFloor(benchmark::State& state) {
  const std::vector<std::string> photos = Photographs();
  if (photos.size() != 20) return state.SkipWithError("cannot make the photographs");
  const std::string out = Folder() + "out/";
  const std::string srgb = "/usr/share/color/icc/ghostscript/srgb.icc";
  double ours = 0, floor = 0, vips = -1, oursCpu = 0, floorCpu = 0;
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    double t0 = Now(), c0 = ChildCpu();
    if (!Run(Tool() + " correct --auto --jobs 1 --out '" + out + "'" + Quoted(photos)))
      return state.SkipWithError("tavelin-cli failed");
    ours = (Now() - t0) / 20;
    oursCpu = (ChildCpu() - c0) / 20;
    t0 = Now();
    c0 = ChildCpu();
    for (const std::string& p : photos)
      if (!Run("djpeg '" + p + "' | cjpeg -quality 100 -sample 2x2 > '" + out + "floor.jpg'"))
        return state.SkipWithError("djpeg | cjpeg failed");
    floor = (Now() - t0) / 20;
    floorCpu = (ChildCpu() - c0) / 20;
    if (access("/usr/bin/vips", X_OK) == 0) {
      t0 = Now();
      bool ok = true;
      for (const std::string& p : photos)
        ok = ok && Run("vips icc_transform '" + p + "' '" + out + "t.v' '" + srgb + "' && vips sharpen '" + out +
                       "t.v' '" + out + "vips.jpg[Q=100]'");
      vips = ok ? (Now() - t0) / 20 : -1;
    }
  }
  fs::remove_all(out);
  std::printf("S_PER_IMAGE correct_auto_24mp_1_worker %.3f\n", ours);
  std::printf("S_PER_IMAGE djpeg_cjpeg_q100 %.3f\n", floor);
  std::printf("CPU_S_PER_IMAGE correct_auto_24mp_1_worker %.3f\n", oursCpu);
  std::printf("CPU_S_PER_IMAGE djpeg_cjpeg_q100 %.3f\n", floorCpu);
  if (vips > 0) {
    std::printf("S_PER_IMAGE vips_icc_transform_sharpen_jpegsave %.3f\n", vips);
    std::printf("RATIO correct_auto_24mp_vs_vips %.3f\n", vips / ours);
  }
  std::printf("RATIO codec_floor %.3f\n", floor / ours);
  if (oursCpu > 0) std::printf("RATIO codec_floor_cpu %.3f\n", floorCpu / oursCpu);
  std::fflush(stdout);
}

// Where the time of one image goes, in this process.
void BM_CorrectTimeShares(benchmark::State& state) {
  const std::vector<std::string> photos = Photographs();
  if (photos.empty()) return state.SkipWithError("cannot make the photographs");
  const std::string photo = photos[0];
  const std::string dir = Folder();
  fs::create_directories(dir + "shares/config");
  fs::create_directories(dir + "shares/tmp");
  fs::create_directories(dir + "out");
  setenv("XDG_CONFIG_HOME", (dir + "shares/config").c_str(), 1);
  setenv("TMPDIR", (dir + "shares/tmp").c_str(), 1);
  ScriptedHost host;
  ScopedHost scoped(&host);
  AppSession app;
  app.prefs = &AppPrefs();
  StartUpOptions options;
  options.usePreferencesFile = false;
  double add = 0, read = 0, copy = 0, save = 0, saveFiltered = 0, onePassAdd = 0, onePassSave = 0;
  for (auto _ : state) {
    if (StartUp(options, &app) != kOk) return state.SkipWithError("start-up failed");
    Prefs& prefs = AppPrefs();
    prefs.colourStartWith = 0;
    prefs.sameFolder = 0;
    prefs.outputFolder = dir + "out/";
    EditContext ctx;
    InitEditContext(&ctx, &app);
    BatchlineOpen(&ctx);
    double t0 = Now();
    AddImagesRequest request;
    request.paths = {photo};
    if (AddImages(&ctx, request) != kOk) return state.SkipWithError("add failed");
    add = Now() - t0;

    // Reading alone, and reading with writing (the same quality as a save).
    t0 = Now();
    {
      RasImage in;
      RasScanline sl;
      RasQuery(photo, in);
      RasOpen(photo, 'r', in);
      for (uint32_t y = 0; y < in.height; ++y) RasReadSl(in, y, sl);
      RasClose(in);
    }
    read = Now() - t0;
    t0 = Now();
    {
      RasImage in, out;
      RasScanline sl;
      RasQuery(photo, in);
      RasOpen(photo, 'r', in);
      WriteOptions options;
      options.quality = JpegQualityFromPrefs(prefs.jpegQuality);
      rasInit(out, kRasJpeg, in.width, in.height, 3, kRasRGB, in.resolution);
      RasCreate(dir + "out/copy.jpg", out, options);
      for (uint32_t y = 0; y < in.height; ++y) {
        RasReadSl(in, y, sl);
        RasWriteSl(out, y, sl);
      }
      RasClose(in);
      RasClose(out);
    }
    copy = Now() - t0;

    t0 = Now();
    if (SaveBatchEntry(&ctx, 0, false) != kOk) return state.SkipWithError("save failed");
    save = Now() - t0;
    TavelinPars p;
    JobEntry e = ctx.batch.entries[0];
    JobRecordRead r;
    r.pars = &p;
    ReadJobRecord(ctx.batch.files.data, e, r);
    p.sharpenOn = 1;
    p.denoiseOn = 1;
    JobRecordWrite w;
    w.pars = &p;
    WriteJobRecord(ctx.batch.files.data, ctx.batch.entries[0], w);
    t0 = Now();
    if (SaveBatchEntry(&ctx, 0, false) != kOk) return state.SkipWithError("save failed");
    saveFiltered = Now() - t0;

    // The command line's one pass: the record made from one full decode
    // (its rows kept), then the save from those rows; measured on a worker's
    // second image, whose block of rows is mapped already.
    {
      AddProfiles profiles;
      StartProfileAdd(app, &profiles);
      HeldImage held;
      const OnePassAdd onePass{int64_t(1) << 30, &held};
      for (int pass = 0; pass < 2; ++pass) {
        std::vector<uint8_t> record;
        t0 = Now();
        if (MakeImageRecord(&ctx, photo, profiles.op, &record, &onePass) != kOk || !held.Held())
          return state.SkipWithError("one-pass add failed");
        onePassAdd = Now() - t0;
        t0 = Now();
        if (SaveImageRecord(&ctx, photo, record, &held) != kOk) return state.SkipWithError("one-pass save failed");
        onePassSave = Now() - t0;
      }
    }
    ExitEditing(&ctx);
    FreeTavelinPars(&ctx);
    FinishUp(&app);
  }
  fs::remove_all(dir + "out");
  fs::remove_all(dir + "shares");
  const double write = copy - read, correction = save - copy, filters = saveFiltered - save;
  const double whole = add + save;
  auto share = [](const char* name, const char* part, double t, double of) {
    std::printf("SHARE %s %s %.1f%% (%.0f ms)\n", name, part, 100.0 * t / of, t * 1000.0);
  };
  share("correct_auto_24mp", "adding", add, whole);
  share("correct_auto_24mp", "reading", read, whole);
  share("correct_auto_24mp", "correction", correction, whole);
  share("correct_auto_24mp", "writing", write, whole);
  const double wholeFiltered = add + saveFiltered;
  share("correct_auto_24mp_sharpen_denoise", "adding", add, wholeFiltered);
  share("correct_auto_24mp_sharpen_denoise", "reading", read, wholeFiltered);
  share("correct_auto_24mp_sharpen_denoise", "correction", correction, wholeFiltered);
  share("correct_auto_24mp_sharpen_denoise", "filters", filters, wholeFiltered);
  share("correct_auto_24mp_sharpen_denoise", "writing", write, wholeFiltered);
  // The command line's one pass: adding with the one decode (the analysis
  // included), then the save from the rows in memory (correction and writing).
  const double onePass = onePassAdd + onePassSave;
  share("correct_auto_24mp_one_pass", "adding_with_the_decode", onePassAdd, onePass);
  share("correct_auto_24mp_one_pass", "saving_from_memory", onePassSave, onePass);
  std::printf("S_PER_IMAGE correct_auto_24mp_in_process %.3f\n", whole);
  std::printf("S_PER_IMAGE correct_auto_24mp_one_pass_in_process %.3f\n", onePass);
  std::fflush(stdout);
}

void RemoveFolder() { fs::remove_all(Folder()); }
[[maybe_unused]] const bool gCleanUp = std::atexit(RemoveFolder) == 0;

}  // namespace

BENCHMARK(BM_PeakMemorySave10k16)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorrectTimeShares)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorrectAuto20)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodecFloor)->Iterations(1)->Unit(benchmark::kMillisecond);
