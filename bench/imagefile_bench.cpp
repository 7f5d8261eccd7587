// Image files: a 24-megapixel 8-bit RGB image copied row by row through the
// framework (read every row, write every row), as the save pipeline does,
// against the peers doing the same copy in the same run: tiffcp for an
// uncompressed TIFF, tiffcp -c none for an LZW TIFF, djpeg then cjpeg
// (quality 90) for a JPEG, vips copy for a PNG. Each
// benchmark ends with "RATIO <name> <peer seconds / our seconds>", best runs
// compared.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imagefile/jpeg.h"
#include "imagefile/ras.h"
#include "base/uistate.h"

namespace {

constexpr uint32_t kWidth = 6000, kHeight = 4000;

std::string Folder() {
  std::string dir;
  Ui_Path_SetToTempFolder(dir);
  return dir;
}

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// A smooth image with some texture, so the JPEG work is typical.
// JPEG files are written at quality 90 (what the peer is given too).
WriteOptions Quality90() {
  WriteOptions options;
  options.quality = 90;
  return options;
}

bool MakeInput(const std::string& path, int32_t format, const WriteOptions& options = Quality90()) {
  RasImage out;
  if (rasInit(out, format, kWidth, kHeight, 3, kRasRGB, 300) != kOk) return false;
  if (RasCreate(path, out, options) != kOk) return false;
  RasScanline sl;
  if (RasMakeSl(sl, out) != kOk) return false;
  uint32_t noise = 1;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const uint32_t n = (noise >> 28);
      sl.plane8[0][x] = (uint8_t)((x * 255 / kWidth + n) & 255);
      sl.plane8[1][x] = (uint8_t)((y * 255 / kHeight + n) & 255);
      sl.plane8[2][x] = (uint8_t)(((x + y) * 127 / kHeight + n) & 255);
    }
    if (RasWriteSl(out, y, sl) != kOk) return false;
  }
  return RasClose(out) == kOk;
}

Status Copy(const std::string& in, const std::string& outPath, int32_t format) {
  RasImage src;
  Status st = RasQuery(in, src);
  if (st == kOk) st = RasOpen(in, 'r', src);
  if (st != kOk) return st;
  RasImage dst;
  if ((st = rasInit(dst, format, src.width, src.height, src.channels, src.colorType, src.resolution)) != kOk) return st;
  if ((st = RasCreate(outPath, dst, Quality90())) != kOk) return st;
  RasScanline sl;
  if ((st = RasMakeSl(sl, src)) != kOk) return st;
  for (uint32_t y = 0; y < src.height && st == kOk; ++y) {
    st = RasReadSl(src, y, sl);
    if (st == kOk) st = RasWriteSl(dst, y, sl);
  }
  RasClose(src);
  Status closed = RasClose(dst);
  return st != kOk ? st : closed;
}

void Compare(benchmark::State& state, const char* name, int32_t format, const std::string& peerCommand,
             const std::string& input, const std::string& output) {
  double ours = 1e9;
  for (auto _ : state) {
    const double t0 = Now();
    if (Copy(input, output, format) != kOk) {
      state.SkipWithError("copy failed");
      return;
    }
    ours = std::min(ours, Now() - t0);
  }
  double peer = 1e9;
  for (int i = 0; i < 5; ++i) {
    const double t0 = Now();
    if (std::system(peerCommand.c_str()) != 0) {
      state.SkipWithError("peer failed");
      return;
    }
    peer = std::min(peer, Now() - t0);
  }
  state.counters["ours_s"] = ours;
  state.counters["peer_s"] = peer;
  std::printf("RATIO %s %.3f\n", name, peer / ours);
  std::fflush(stdout);
}

void BM_TiffCopy24MP(benchmark::State& state) {
  const std::string dir = Folder();
  const std::string in = dir + "bench_24mp.tif", out = dir + "bench_24mp_out.tif", peerOut = dir + "bench_24mp_peer.tif";
  if (!MakeInput(in, kRasTiff)) {
    state.SkipWithError("cannot make the input");
    return;
  }
  Compare(state, "tiff_copy_24mp_vs_tiffcp", kRasTiff, "tiffcp '" + in + "' '" + peerOut + "'", in, out);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(peerOut.c_str());
}

// An LZW TIFF (no predictor, as tiffcp -c lzw writes it) decoded through
// libtiff and written uncompressed, against tiffcp -c none doing the same.
void BM_TiffLzwRead24MP(benchmark::State& state) {
  const std::string dir = Folder();
  const std::string in = dir + "bench_24mp_lzw.tif", out = dir + "bench_24mp_lzw_out.tif",
                    peerOut = dir + "bench_24mp_lzw_peer.tif";
  WriteOptions lzw;
  lzw.compression = 5;
  if (!MakeInput(in, kRasTiff, lzw)) {
    state.SkipWithError("cannot make the input");
    return;
  }
  Compare(state, "tiff_lzw_read_24mp_vs_tiffcp", kRasTiff, "tiffcp -c none '" + in + "' '" + peerOut + "'", in, out);
  for (const std::string& p : {in, out, peerOut}) std::remove(p.c_str());
}

// An 8-bit PNG read and written (libpng's default compression and filters),
// against libvips copying it (its default PNG compression).
void BM_PngCopy24MP(benchmark::State& state) {
  const std::string dir = Folder();
  const std::string in = dir + "bench_24mp.png", out = dir + "bench_24mp_out.png", peerOut = dir + "bench_24mp_peer.png";
  if (!MakeInput(in, kRasPng)) {
    state.SkipWithError("cannot make the input");
    return;
  }
  Compare(state, "png_copy_24mp_vs_vips", kRasPng, "vips copy '" + in + "' '" + peerOut + "'", in, out);
  for (const std::string& p : {in, out, peerOut}) std::remove(p.c_str());
}

void BM_JpegCopy24MP(benchmark::State& state) {
  const std::string dir = Folder();
  const std::string in = dir + "bench_24mp.jpg", out = dir + "bench_24mp_out.jpg", ppm = dir + "bench_24mp_peer.ppm",
                    peerOut = dir + "bench_24mp_peer.jpg";
  if (!MakeInput(in, kRasJpeg)) {
    state.SkipWithError("cannot make the input");
    return;
  }
  // The peer decodes and encodes with the same settings: accurate integer DCT,
  // fancy upsampling, quality 90, 4:2:0; our writer adds a restart marker per MCU row.
  Compare(state, "jpeg_copy_24mp_vs_djpeg_cjpeg", kRasJpeg,
          "djpeg -dct int -outfile '" + ppm + "' '" + in + "' && cjpeg -quality 90 -dct int -outfile '" + peerOut + "' '" +
              ppm + "'",
          in, out);
  for (const std::string& p : {in, out, ppm, peerOut}) std::remove(p.c_str());
}

}  // namespace

BENCHMARK(BM_TiffCopy24MP)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegCopy24MP)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffLzwRead24MP)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngCopy24MP)->Iterations(3)->Unit(benchmark::kMillisecond);
