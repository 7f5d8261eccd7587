// Building the correction transform: MakeCorrectionTransform with every tool
// active (balance from two neutral samples, black 0.05, white 0.92,
// brightness, shadow, contrast 0.6, saturation 0.65, one hue handle shifted
// by 20 degrees, a light toning colour) at grid 33, 8-bit and 16-bit, with
// one lattice worker and with two. The curve caches are made stale before
// every build, as after a slider move. This time decides whether the live
// sliders are smooth; the goal is under 30 ms.
//
// Peer: LittleCMS building a transform of the same shape, a 33-point RGB
// lattice sampled from an sRGB -> Adobe RGB (1998) pipeline
// (cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33)); profiles are made once,
// outside the timing. Each side runs alternately, best of several runs.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "correct/correctiontransform.h"
#include "correct/tavelinpars.h"

namespace {

constexpr int kRuns = 15;

TavelinPars StrongCorrection() {
  TavelinPars p;
  InitTavelinPars(&p);
  const float dark[3] = {0.12f, 0.14f, 0.2f}, light[3] = {0.8f, 0.84f, 0.93f};
  for (int i = 0; i < 64; ++i) {
    AddBalanceSample(&p, dark);
    AddBalanceSample(&p, light);
  }
  p.blackPoint = 0.05f, p.whitePoint = 0.92f;
  p.brightness = 0.6f, p.shadow = 0.6f, p.contrast = 0.6f, p.saturation = 0.65f;
  p.hue[2].hueShift = 20.0f;
  p.toneColor[0] = 0.53f, p.toneColor[1] = 0.5f, p.toneColor[2] = 0.46f;
  return p;
}

// An RGB profile with the D65 white, the red and blue primaries shared by
// both spaces and the given green.
cmsHPROFILE MakeRGB(double gx, double gy, cmsToneCurve* curve) {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {gx, gy, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curves[3] = {curve, curve, curve};
  return cmsCreateRGBProfile(&white, &primaries, curves);
}

double Seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::vector<double> Race(const std::vector<std::function<void()>>& sides) {
  std::vector<double> best(sides.size(), 1e30);
  for (int r = 0; r < kRuns; ++r)
    for (size_t s = 0; s < sides.size(); ++s) best[s] = std::min(best[s], Seconds(sides[s]));
  return best;
}

void BuildBench(benchmark::State& state, int depth) {
  TavelinPars pars = StrongCorrection();
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* srgbCurve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* adobeCurve = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsHPROFILE src = MakeRGB(0.30, 0.60, srgbCurve);
  cmsHPROFILE dst = MakeRGB(0.21, 0.71, adobeCurve);
  const cmsUInt32Number format = depth == 1 ? TYPE_RGB_8 : TYPE_RGB_16;

  auto ours = [&](int threads) {
    // Stale caches, as after an edit: the build refits the curves too.
    pars.balanceValid = 0;
    pars.shadowCache = 0.5f;
    pars.toneCache[0] = 0.5f;
    TintmeshHandle* h = nullptr;
    if (MakeCorrectionTransformWith(&pars, TOOL_ALL, 7, depth, NodePlacement::kAdaptive, threads, &h) != kOk)
      state.SkipWithError("MakeCorrectionTransform failed");
    FreeCorrectionTransform(&h);
  };
  std::vector<double> best;
  for (auto _ : state) {
    best = Race({[&] { ours(2); }, [&] { ours(1); },
                 [&] {
                   cmsHTRANSFORM t = cmsCreateTransform(src, format, dst, format, INTENT_RELATIVE_COLORIMETRIC,
                                                        cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
                   cmsDeleteTransform(t);
                 }});
  }
  state.SetIterationTime(best[0]);
  state.counters["ours_2_threads_ms"] = best[0] * 1e3;
  state.counters["ours_1_thread_ms"] = best[1] * 1e3;
  state.counters["lcms_ms"] = best[2] * 1e3;
  const std::string name = depth == 1 ? "correction_build8" : "correction_build16";
  std::printf("RATIO %s_vs_lcms_forced33 %.3f\n", name.c_str(), best[2] / best[0]);
  std::printf("RATIO %s_one_thread_vs_two %.3f\n", name.c_str(), best[1] / best[0]);
  std::fflush(stdout);
  cmsCloseProfile(src);
  cmsCloseProfile(dst);
  cmsFreeToneCurve(srgbCurve);
  cmsFreeToneCurve(adobeCurve);
}

void BM_CorrectionTransform8(benchmark::State& state) { BuildBench(state, 1); }
void BM_CorrectionTransform16(benchmark::State& state) { BuildBench(state, 2); }

}  // namespace

BENCHMARK(BM_CorrectionTransform8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CorrectionTransform16)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
