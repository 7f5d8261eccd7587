// Building the input transform: sampling the sRGB → AdobeRGB (1998)
// conversion of the working-space profiles into a 33³ Tintmesh (35,937
// samples), from the profile files to the finished Tintmesh, beside:
//   - LittleCMS building its own 33-point lattice transform from the same
//     files (cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
//   - our sampling with one service call per colour instead of one per plane.
// 16-bit (precision 2, the input transform of 16-bit images) and 8-bit
// (precision 1, the monitor transform and 8-bit images). Each side runs
// alternately, best of several runs; prints BUILD_MS and RATIO lines.
#include <benchmark/benchmark.h>
#include <lcms2.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "colormgmt/icctintmesh.h"
#include "colormgmt/iccxform.h"
#include "colormgmt/wsprofiles.h"
#include "transform/tintmesh.h"

namespace {

constexpr int kRuns = 7;

struct ProfileFiles {
  std::string dir = "/tmp/tavelin_bench_" + std::to_string(::getpid()) + "/";
  std::string srgb, adobe;
  ProfileFiles() {
    std::filesystem::create_directories(dir);
    WriteWorkingSpaceProfiles(dir);
    srgb = WorkingSpaceProfilePath(dir, 13);
    adobe = WorkingSpaceProfilePath(dir, 0);
  }
  ~ProfileFiles() { std::filesystem::remove_all(dir); }
};

double Seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<double> Race(const std::vector<std::function<void()>>& sides) {
  std::vector<double> best(sides.size(), 1e30);
  for (int r = 0; r < kRuns; ++r) {
    for (size_t s = 0; s < sides.size(); ++s) best[s] = std::min(best[s], Seconds(sides[s]));
  }
  return best;
}

// The same Tintmesh as Ui_ICC_MakeTintmeshSrcToDst, one service call per grid point.
void SamplePerColour(const std::string& src, const std::string& dst, int32_t precision) {
  ICCXform* x = nullptr;
  Ui_ICC_XformMakeSrcToDst(src, dst, &x);
  uint16_t pos[kMaxGridSize];
  int32_t n = 0;
  ICCGridPositions(kDefaultGridIndex, precision, pos, &n);
  Tintmesh* tm = nullptr;
  QXInit(&tm, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 1, 2, precision);
  for (int c = 0; c < 3; ++c) {
    uint16_t copy[kMaxGridSize];
    std::copy(pos, pos + n, copy);
    QXSetChanSamples(tm, c, n, copy);
  }
  int32_t index = 0;
  for (int b = 0; b < n; ++b) {
    for (int g = 0; g < n; ++g) {
      for (int r = 0; r < n; ++r) {
        const bool wide = precision == kQX16Bit;
        uint16_t in[3] = {wide ? pos[r] : ICCExpand8(pos[r]), wide ? pos[g] : ICCExpand8(pos[g]),
                          wide ? pos[b] : ICCExpand8(pos[b])};
        uint16_t out[3];
        Ui_ICC_XformRgbColors(x, in, out, 1);
        if (!wide) {
          for (uint16_t& v : out) v = ICCReduce16(v);
        }
        QXSetDataTableValue(tm, index++, out);
      }
    }
  }
  QXSetPhysicalDataPath(tm, kQXInputSide, precision);
  QXSetPhysicalDataPath(tm, kQXOutputSide, precision);
  Ui_ICC_XformDispose(&x);
  QXFree(&tm);
}

void BuildBench(benchmark::State& state, int32_t precision) {
  ProfileFiles files;
  const cmsUInt32Number format = precision == kQX16Bit ? TYPE_RGB_16 : TYPE_RGB_8;
  std::vector<double> best;
  for (auto _ : state) {
    best = Race({[&] {
                   Tintmesh* tm = nullptr;
                   if (Ui_ICC_MakeTintmeshSrcToDst(files.srgb, files.adobe, precision, kDefaultGridIndex, &tm) != 0)
                     std::printf("build failed\n");
                   QXFree(&tm);
                 },
                 [&] {
                   cmsHPROFILE s = cmsOpenProfileFromFile(files.srgb.c_str(), "r");
                   cmsHPROFILE d = cmsOpenProfileFromFile(files.adobe.c_str(), "r");
                   cmsHTRANSFORM t = cmsCreateTransform(s, format, d, format, INTENT_RELATIVE_COLORIMETRIC,
                                                        cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
                   cmsDeleteTransform(t);
                   cmsCloseProfile(s);
                   cmsCloseProfile(d);
                 },
                 [&] { SamplePerColour(files.srgb, files.adobe, precision); }});
  }
  const char* name = precision == kQX16Bit ? "icc_build33_16" : "icc_build33_8";
  state.SetIterationTime(best[0]);
  state.counters["ours_ms"] = best[0] * 1e3;
  state.counters["lcms_forced33_ms"] = best[1] * 1e3;
  state.counters["per_colour_ms"] = best[2] * 1e3;
  std::printf("BUILD_MS %s ours %.2f lcms_forced33 %.2f one_call_per_colour %.2f\n", name, best[0] * 1e3,
              best[1] * 1e3, best[2] * 1e3);
  std::printf("RATIO %s_vs_lcms_forced33 %.3f\n", name, best[1] / best[0]);
  std::printf("RATIO %s_vs_one_call_per_colour %.3f\n", name, best[2] / best[0]);
  std::fflush(stdout);
}

void BM_IccBuild33x16(benchmark::State& state) { BuildBench(state, kQX16Bit); }
void BM_IccBuild33x8(benchmark::State& state) { BuildBench(state, kQX8Bit); }

}  // namespace

BENCHMARK(BM_IccBuild33x16)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IccBuild33x8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
