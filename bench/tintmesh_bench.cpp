// Tintmesh evaluation against LittleCMS on 24 megapixels, single-threaded:
//   - 8-bit interleaved RGB through a 33³ lattice with an 8-bit table, beside
//     cmsDoTransform with default flags and with a forced 33-point lattice;
//   - 16-bit interleaved RGB through a 33³ lattice with a 16-bit table, beside
//     cmsDoTransform (16-bit) with default flags and a forced 33-point lattice;
//   - 8-bit RGB through curves, beside a plain 256-entry lookup loop.
// The conversion is sRGB → AdobeRGB (1998), both profiles from
// cmsCreateRGBProfile; the lattices sample LittleCMS's exact conversion.
// The lattices run at every kernel level the processor has (scalar, sse41,
// avx2, avx512; the line "SIMD cpu=<best> chosen=<level>" names them), each
// level and each peer alternately, best of several runs. RATIO lines: per
// level "<name>_<level>_vs_<peer>", and "<name>_vs_<peer>" for the level the
// program chooses.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "transform/tintmesh.h"
#include "transform/tintmesh_eval.h"
#include "transform/tintmesh_simd.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;
constexpr int64_t kPixels = (int64_t)kWidth * kHeight;
constexpr int kRuns = 3;

cmsHPROFILE MakeSRGB() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
  const cmsFloat64Number params[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, params);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

cmsHPROFILE MakeAdobeRGB() {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 563.0 / 256.0);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

struct Profiles {
  cmsHPROFILE src = MakeSRGB();
  cmsHPROFILE dst = MakeAdobeRGB();
  ~Profiles() {
    cmsCloseProfile(src);
    cmsCloseProfile(dst);
  }
  cmsHTRANSFORM Make(cmsUInt32Number format, cmsUInt32Number flags) const {
    return cmsCreateTransform(src, format, dst, format, INTENT_RELATIVE_COLORIMETRIC, flags);
  }
};

// A 33³ lattice sampling LittleCMS's exact 16-bit conversion.
Tintmesh* SampleLattice(const Profiles& pr, int32_t precision, int n = 33) {
  cmsHTRANSFORM exact = pr.Make(TYPE_RGB_16, cmsFLAGS_NOOPTIMIZE);
  Tintmesh* tm = nullptr;
  QXInit(&tm, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 1, 2, precision);
  const int32_t max = precision == kQX16Bit ? 65535 : 255;
  uint16_t pos[256];
  for (int k = 0; k < n; ++k) pos[k] = (uint16_t)std::lround((double)k * max / (n - 1));
  for (int c = 0; c < 3; ++c) QXSetChanSamples(tm, c, n, pos);
  int32_t index = 0;
  for (int b = 0; b < n; ++b) {
    for (int g = 0; g < n; ++g) {
      for (int r = 0; r < n; ++r) {
        const int scale = precision == kQX16Bit ? 1 : 257;
        uint16_t in[3] = {(uint16_t)(pos[r] * scale), (uint16_t)(pos[g] * scale), (uint16_t)(pos[b] * scale)};
        uint16_t out[3];
        cmsDoTransform(exact, in, out, 1);
        if (precision == kQX8Bit) {
          for (uint16_t& v : out) v = (uint16_t)((v * 255 + 32767) / 65535);
        }
        QXSetDataTableValue(tm, index++, out);
      }
    }
  }
  cmsDeleteTransform(exact);
  return tm;
}

// A photograph-like test image: smooth gradients, a few shapes, mild noise.
template <class T>
std::vector<T> MakeImage() {
  std::vector<T> img((size_t)kPixels * 3);
  const int max = sizeof(T) == 1 ? 255 : 65535;
  uint32_t seed = 12345;
  size_t i = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = ((int)(seed >> 24) - 128) / 128.0 * 0.02;
      const double u = (double)x / kWidth, v = (double)y / kHeight;
      const double r = 0.5 + 0.45 * std::sin(6.0 * u + 2.0 * v) + noise;
      const double g = 0.4 + 0.35 * std::cos(4.0 * v - 3.0 * u) + noise;
      const double b = (x / 500 + y / 500) % 2 ? 0.8 * u * v + noise : 0.3 + 0.2 * u + noise;
      for (double c : {r, g, b}) img[i++] = (T)std::lround(std::clamp(c, 0.0, 1.0) * max);
    }
  }
  return img;
}

double Seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs every side kRuns times alternately; returns each side's best time.
std::vector<double> Race(const std::vector<std::function<void()>>& sides) {
  std::vector<double> best(sides.size(), 1e30);
  for (int r = 0; r < kRuns; ++r) {
    for (size_t s = 0; s < sides.size(); ++s) best[s] = std::min(best[s], Seconds(sides[s]));
  }
  return best;
}

template <class T>
QXChannelPtrs Interleaved(T* p) {
  QXChannelPtrs ptrs;
  for (int c = 0; c < 3; ++c) ptrs.chan[c] = p + c;
  return ptrs;
}

void Report(benchmark::State& state, const char* name, const std::vector<const char*>& peers,
            const std::vector<double>& best) {
  state.SetIterationTime(best[0]);
  state.counters["ours_Mpx_s"] = kPixels / best[0] / 1e6;
  for (size_t i = 1; i < best.size(); ++i) state.counters[std::string(peers[i - 1]) + "_Mpx_s"] = kPixels / best[i] / 1e6;
  for (size_t i = 1; i < best.size(); ++i) std::printf("RATIO %s_vs_%s %.3f\n", name, peers[i - 1], best[i] / best[0]);
  std::fflush(stdout);
}

// Every level this processor runs, scalar first.
std::vector<qx::SimdLevel> Levels() {
  std::vector<qx::SimdLevel> levels;
  for (int l = 0; l <= (int)qx::CpuSimdLevel(); ++l) levels.push_back((qx::SimdLevel)l);
  return levels;
}

// Our lattice at every level beside the two LittleCMS transforms, then the
// RATIO lines.
void RaceLevels(benchmark::State& state, const char* name, const std::function<void()>& ours, cmsHTRANSFORM def,
                cmsHTRANSFORM forced, const void* src, void* dst) {
  const qx::SimdLevel chosen = qx::ActiveSimdLevel();
  const std::vector<qx::SimdLevel> levels = Levels();
  std::vector<std::function<void()>> sides;
  for (qx::SimdLevel level : levels) {
    sides.push_back([&ours, level] {
      qx::SetSimdLevel(level);
      ours();
    });
  }
  sides.push_back([&] { cmsDoTransform(def, src, dst, (cmsUInt32Number)kPixels); });
  sides.push_back([&] { cmsDoTransform(forced, src, dst, (cmsUInt32Number)kPixels); });
  std::vector<double> best;
  for (auto _ : state) best = Race(sides);
  qx::SetSimdLevel(chosen);

  const size_t peers = levels.size();
  std::printf("SIMD cpu=%s chosen=%s\n", qx::SimdLevelName(qx::CpuSimdLevel()), qx::SimdLevelName(chosen));
  for (size_t i = 0; i < levels.size(); ++i) {
    const std::string level = qx::SimdLevelName(levels[i]);
    state.counters[level + "_Mpx_s"] = kPixels / best[i] / 1e6;
    if (levels[i] == chosen) state.SetIterationTime(best[i]);
  }
  state.counters["lcms_default_Mpx_s"] = kPixels / best[peers] / 1e6;
  state.counters["lcms_forced33_Mpx_s"] = kPixels / best[peers + 1] / 1e6;
  for (size_t i = 0; i < levels.size(); ++i) {
    const char* level = qx::SimdLevelName(levels[i]);
    std::printf("RATIO %s_%s_vs_lcms_default %.3f\n", name, level, best[peers] / best[i]);
    std::printf("RATIO %s_%s_vs_lcms_forced33 %.3f\n", name, level, best[peers + 1] / best[i]);
  }
  const double mine = best[(size_t)chosen];
  std::printf("RATIO %s_vs_lcms_default %.3f\n", name, best[peers] / mine);
  std::printf("RATIO %s_vs_lcms_forced33 %.3f\n", name, best[peers + 1] / mine);
  std::fflush(stdout);
}

void BM_TintmeshLattice8(benchmark::State& state) {
  Profiles pr;
  Tintmesh* tm = SampleLattice(pr, kQX8Bit);
  cmsHTRANSFORM def = pr.Make(TYPE_RGB_8, 0);
  cmsHTRANSFORM forced = pr.Make(TYPE_RGB_8, cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
  std::vector<uint8_t> src = MakeImage<uint8_t>(), dst(src.size());
  const QXChannelPtrs in = Interleaved(src.data()), out = Interleaved(dst.data());
  RaceLevels(
      state, "tintmesh_lattice8", [&] { QXEvaluate(tm, (int32_t)kPixels, in, 3, out, 3); }, def, forced, src.data(),
      dst.data());
  cmsDeleteTransform(def);
  cmsDeleteTransform(forced);
  QXFree(&tm);
}

void BM_TintmeshLattice16(benchmark::State& state) {
  Profiles pr;
  Tintmesh* tm = SampleLattice(pr, kQX16Bit);
  QXSetPhysicalDataPath(tm, kQXInputSide, kQX16Bit);
  QXSetPhysicalDataPath(tm, kQXOutputSide, kQX16Bit);
  cmsHTRANSFORM def = pr.Make(TYPE_RGB_16, 0);
  cmsHTRANSFORM forced = pr.Make(TYPE_RGB_16, cmsFLAGS_FORCE_CLUT | cmsFLAGS_GRIDPOINTS(33));
  std::vector<uint16_t> src = MakeImage<uint16_t>(), dst(src.size());
  const QXChannelPtrs in = Interleaved(src.data()), out = Interleaved(dst.data());
  RaceLevels(
      state, "tintmesh_lattice16", [&] { QXEvaluate(tm, (int32_t)kPixels, in, 3, out, 3); }, def, forced, src.data(),
      dst.data());
  cmsDeleteTransform(def);
  cmsDeleteTransform(forced);
  QXFree(&tm);
}

void BM_TintmeshCurves8(benchmark::State& state) {
  // A curve-form Tintmesh with three different curves, and the same curves
  // as plain 256-entry tables.
  Tintmesh* tm = nullptr;
  QXInit(&tm, 3, 3, kQXSpaceRGB, kQXSpaceRGB, 0, 2, kQX8Bit);
  for (int c = 0; c < 3; ++c) QXSetChanSamples(tm, c, 256, nullptr);
  uint8_t lut[3][256];
  for (int i = 0; i < 256; ++i) {
    uint16_t v[3];
    for (int c = 0; c < 3; ++c) {
      v[c] = (uint16_t)std::lround(255.0 * std::pow(i / 255.0, 0.8 + 0.2 * c));
      lut[c][i] = (uint8_t)v[c];
    }
    QXSetDataTableValue(tm, i, v);
  }
  std::vector<uint8_t> src = MakeImage<uint8_t>(), dst(src.size());
  const QXChannelPtrs in = Interleaved(src.data()), out = Interleaved(dst.data());
  std::vector<double> best;
  for (auto _ : state) {
    best = Race({[&] { QXEvaluate(tm, (int32_t)kPixels, in, 3, out, 3); },
                 [&] {
                   const uint8_t* s = src.data();
                   uint8_t* d = dst.data();
                   for (int64_t i = 0; i < kPixels; ++i) {
                     d[3 * i] = lut[0][s[3 * i]];
                     d[3 * i + 1] = lut[1][s[3 * i + 1]];
                     d[3 * i + 2] = lut[2][s[3 * i + 2]];
                   }
                   benchmark::DoNotOptimize(d);
                 }});
  }
  Report(state, "tintmesh_curves8", {"plain_lookup"}, best);
  QXFree(&tm);
}

}  // namespace

BENCHMARK(BM_TintmeshLattice8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TintmeshLattice16)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TintmeshCurves8)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
