#include "correct/brivio.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

#include "correct/brivio_adaptive.h"
#include "correct/colourmodels.h"
#include "correct/correctiontransform.h"
#include "correct/marking.h"
#include "correct/tonetools.h"
#include "base/cpus.h"
#include "base/cpus.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/memory.h"
#include "base/strings.h"
#include "transform/tintmesh_eval.h"

namespace {

constexpr int kPhraseAutoSettings = 3025;  // "calculating auto settings"
constexpr ToolMask kBeforeBrightness = TOOL_THROUGH_WHITE;  // 0x001F
constexpr ToolMask kBeforeSaturation = 0x01FF;

bool IsFraction(double v) { return v >= 0.0 && v <= 1.0; }  // false for NaN

// The checks every step makes before it touches anything.
Status CheckStep(const TavelinPars* pars, const RasterView* image, int analysisIndex, int gridIndex, int* stepX,
                 int* stepY) {
  if (!pars || CheckRgbRaster(image) != kOk || !IsGridIndex(gridIndex) ||
      AnalysisSteps(analysisIndex, stepX, stepY) != kOk)
    return kBadArg;
  return ValidateTavelinPars(pars);
}

// trunc(n × fraction + 0.5): the count of pixels a clipping fraction names.
uint64_t FractionCount(uint64_t n, double fraction) { return (uint64_t)((double)n * fraction + 0.5); }

// The number of bins consumed from bin 0 upward until the running count
// reaches k (0 when k is 0); at most 256.
int BinsConsumedUp(const uint32_t h[256], uint64_t k) {
  uint64_t run = 0;
  int i = 0;
  while (run < k && i < 256) run += h[i++];
  return i;
}
// The same from bin 255 downward.
int BinsConsumedDown(const uint32_t h[256], uint64_t k) {
  uint64_t run = 0;
  int i = 0;
  while (run < k && i < 256) run += h[255 - i++];
  return i;
}

uint64_t Total(const uint32_t h[256]) {
  uint64_t n = 0;
  for (int i = 0; i < 256; ++i) n += h[i];
  return n;
}

double Smoothstep(double t) { return t * t * (3.0 - 2.0 * t); }

// ---- analysis passes ------------------------------------------------------------
// A pass reads the sampled rows through the analysis transform of the tools
// ahead of a step and hands each row (3 codes of the image's depth per
// sampled pixel) to a visitor with its own state. Large images are read in
// two bands of rows on two threads, each band with its own state; the step
// merges the states in band order, so a result never depends on the split.

// Below this many sampled pixels a second thread costs more than it saves.
constexpr int64_t kTwoBandSamples = 1 << 16;

// Owner of an analysis transform (null: the pruned mask is empty, raw codes).
struct AnalysisTransform {
  TintmeshHandle* handle = nullptr;
  ~AnalysisTransform() { FreeCorrectionTransform(&handle); }
  Status Open(TavelinPars* pars, ToolMask mask, int gridIndex, const RasterView& image) {
    ToolMask m = mask;
    if (Status st = PruneToolMask(pars, &m); st != kOk) return st;
    if (m == 0) return kOk;
    return MakeCorrectionTransform(pars, m, gridIndex, image.bytesPerSample, &handle);
  }
};

// Every stepX-th pixel of row y through the transform, 3 codes per pixel,
// and their count. The codes are in `buffer`, or, when there is no transform
// and the image is interleaved RGB read at every pixel, in the image itself.
template <class T>
const T* ReadSampledRow(const RasterView& image, const TintmeshHandle* t, int y, int stepX, T* buffer, int* count) {
  const int n = (image.width + stepX - 1) / stepX;
  *count = n;
  const int64_t base = (int64_t)y * image.rowStep, step = image.pixelStep * stepX;
  const T* p[3];
  for (int c = 0; c < 3; ++c) p[c] = static_cast<const T*>(image.chan[c]) + base;
  if (!t && step == 3 && p[1] == p[0] + 1 && p[2] == p[0] + 2) return p[0];
  QXChannelPtrs in, out;
  for (int c = 0; c < 3; ++c) {
    in.chan[c] = const_cast<T*>(p[c]);
    out.chan[c] = buffer + c;
  }
  if (t && step <= INT32_MAX) {
    QXHandleEvaluate(t, n, in, (int32_t)step, out, 3);
    return buffer;
  }
  for (int64_t i = 0, k = 0; k < n; ++k, i += step)
    for (int c = 0; c < 3; ++c) buffer[3 * k + c] = p[c][i];
  if (t) QXHandleEvaluate(t, n, out, 3, out, 3);
  return buffer;
}

// Runs visit(state, y, rgb, n) over the sampled rows (only those whose
// `needed` entry is nonzero, by sampled-row index y / stepY, when given);
// states[0] gets the first band, states[1] the second when *bands is 2.
template <class T, class State, class Visit>
Status SampledPass(const RasterView& image, const TintmeshHandle* t, int stepX, int stepY, State* states, int* bands,
                   Visit visit, const uint8_t* needed = nullptr) {
  const int rows = (image.height + stepY - 1) / stepY;
  const int perRow = (image.width + stepX - 1) / stepX;
  *bands = (int64_t)rows * perRow >= kTwoBandSamples && rows >= 2 && HelperThreads() > 1 ? 2 : 1;
  MemPtr<T[]> buffers[2];
  for (int b = 0; b < *bands; ++b) {
    buffers[b] = MemNewArray<T>((size_t)perRow * 3, false);
    if (!buffers[b]) return kNoMem;
  }
  const int count = *bands;
  auto run = [&](int b) {
    const int first = (int)((int64_t)rows * b / count), last = (int)((int64_t)rows * (b + 1) / count);
    for (int r = first; r < last; ++r) {
      if (needed && !needed[r]) continue;
      const int y = r * stepY;
      int n;
      const T* row = ReadSampledRow(image, t, y, stepX, buffers[b].get(), &n);
      visit(states[b], y, row, n);
    }
  };
  if (count == 1) {
    run(0);
    return kOk;
  }
  std::thread helper;
  bool helped = false;
  try {
    helper = std::thread(run, 1);
    helped = true;
  } catch (...) {
    helped = false;  // no second thread: one after the other
  }
  run(0);
  if (helped)
    helper.join();
  else
    run(1);
  return kOk;
}

// 8-bit view of a code of type T.
template <class T>
inline int To8(T v) {
  if constexpr (sizeof(T) == 2)
    return v / 257;
  else
    return v;
}
template <class T>
inline T Max3(const T* p) {
  return std::max(p[0], std::max(p[1], p[2]));
}
template <class T>
inline T Min3(const T* p) {
  return std::min(p[0], std::min(p[1], p[2]));
}

// ---- colourfulness and centre weights of the brightness key ----------------
// ws by chroma c = max - min of the 8-bit channels.
constexpr std::array<uint16_t, 256> MakeColourWeights() {
  std::array<uint16_t, 256> w{};
  for (int c = 0; c < 256; ++c) {
    const int c1 = c < 96 ? c : (c < 192 ? 191 - c : 0);
    const int k = std::clamp(c1 - 8, 0, 95);
    const double t = k / 95.0;
    w[c] = (uint16_t)(256.0 * (t * t * (3.0 - 2.0 * t)) + 0.5);
  }
  return w;
}
constexpr std::array<uint16_t, 256> kColourWeight = MakeColourWeights();

// HSL saturation bin (128 c + d/2) / d by the lightness distance d (25..128)
// and chroma c, clamped to 0..255: a table instead of a division per pixel.
constexpr int kSatDMin = 25;
constexpr int kSatDMax = 128;
constexpr std::array<uint8_t, (kSatDMax - kSatDMin + 1) * 256> MakeSaturationBins() {
  std::array<uint8_t, (kSatDMax - kSatDMin + 1) * 256> t{};
  for (int d = kSatDMin; d <= kSatDMax; ++d)
    for (int c = 0; c < 256; ++c) t[(d - kSatDMin) * 256 + c] = (uint8_t)std::min((128 * c + d / 2) / d, 255);
  return t;
}
constexpr auto kSaturationBin = MakeSaturationBins();

}  // namespace

// ---- linear detection ------------------------------------------------------------

Status AutoLinear(TavelinPars* pars, const RasterView* image, int analysisIndex, double exponentLimit,
                  int gridIndex) {
  int stepX, stepY;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  if (!(exponentLimit > 0.0) || !std::isfinite(exponentLimit)) return kBadArg;
  if (image->bytesPerSample == 1) {
    pars->linear = 0;
    return kOk;
  }
  // Luma histogram of the raw image.
  struct Hist {
    uint32_t h[256] = {};
  } hist[2];
  int bands;
  const Status st = SampledPass<uint16_t>(*image, nullptr, stepX, stepY, hist, &bands,
                                          [](Hist& s, int, const uint16_t* rgb, int n) {
                                            for (int i = 0; i < n; ++i, rgb += 3)
                                              ++s.h[Luma8(To8(rgb[0]), To8(rgb[1]), To8(rgb[2]))];
                                          });
  if (st != kOk) return st;
  uint32_t h[256];
  for (int i = 0; i < 256; ++i) h[i] = bands == 2 ? hist[0].h[i] + hist[1].h[i] : hist[0].h[i];
  const uint64_t n = Total(h);
  // The median: the first level at which the cumulative count reaches half.
  uint64_t run = 0;
  int m = 0;
  for (; m < 255; ++m) {
    run += h[m];
    if (2 * run >= n) break;
  }
  m = std::clamp(m == 0 ? 1 : m, 1, 254);
  const double g = std::log(0.184186519) / std::log(m / 255.0);
  pars->linear = g <= exponentLimit ? 1 : 0;
  return kOk;
}

// ---- colour balance ------------------------------------------------------------------

namespace {

// Histograms of max(R, G, B) over pixels with no channel at 0, and of
// 255 - min(R, G, B) over pixels with no channel at full scale (8-bit views).
struct EndHistograms {
  uint32_t dark[256] = {};
  uint32_t light[256] = {};
};

// A dark or light set: sums of native codes, and the seed (the smallest
// 8-bit max, or 255 - min; the first found on ties).
struct BalanceSet {
  uint64_t sum[3] = {0, 0, 0};
  uint64_t count = 0;
  int best = 256;
  int x = -1, y = -1;
  template <class T>
  void Add(const T* p, int v, int px, int py) {
    for (int c = 0; c < 3; ++c) sum[c] += p[c];
    ++count;
    if (v < best) best = v, x = px, y = py;
  }
  // Adds a set of later rows.
  void Merge(const BalanceSet& later) {
    for (int c = 0; c < 3; ++c) sum[c] += later.sum[c];
    count += later.count;
    if (later.best < best) best = later.best, x = later.x, y = later.y;
  }
};
struct BalanceSets {
  BalanceSet dark, light;
};

template <class T>
Status FindBalanceSets(const RasterView& image, const TintmeshHandle* t, int stepX, int stepY, double darkFraction,
                       double lightFraction, BalanceSets* sets) {
  constexpr uint32_t kFull = sizeof(T) == 2 ? 65535u : 255u;
  // The first pass also keeps, per sampled row, the least 8-bit max and the
  // least 255 - min of its candidates, so that the second pass reads only
  // the rows that hold members of a set.
  const int rows = (image.height + stepY - 1) / stepY;
  MemPtr<uint16_t[]> rowLeast = MemNewArray<uint16_t>((size_t)rows * 2, false);
  MemPtr<uint8_t[]> needed = MemNewArray<uint8_t>((size_t)rows, false);
  if (!rowLeast || !needed) return kNoMem;
  uint16_t* least = rowLeast.get();
  EndHistograms hist[2];
  int bands;
  Status st = SampledPass<T>(image, t, stepX, stepY, hist, &bands, [=](EndHistograms& h, int y, const T* rgb, int n) {
    int leastDark = 256, leastLight = 256;
    for (int i = 0; i < n; ++i) {
      const T* p = rgb + 3 * i;
      const T hi = Max3(p), lo = Min3(p);
      if (lo > 0) {
        const int v = To8(hi);
        ++h.dark[v];
        leastDark = std::min(leastDark, v);
      }
      if (hi < kFull) {
        const int v = 255 - To8(lo);
        ++h.light[v];
        leastLight = std::min(leastLight, v);
      }
    }
    least[2 * (y / stepY)] = (uint16_t)leastDark;
    least[2 * (y / stepY) + 1] = (uint16_t)leastLight;
  });
  if (st != kOk) return st;
  for (int b = 1; b < bands; ++b)
    for (int i = 0; i < 256; ++i) hist[0].dark[i] += hist[b].dark[i], hist[0].light[i] += hist[b].light[i];
  const int darkLimit = std::min(BinsConsumedUp(hist[0].dark, FractionCount(Total(hist[0].dark), darkFraction)), 255);
  const int lightLimit =
      std::min(BinsConsumedUp(hist[0].light, FractionCount(Total(hist[0].light), lightFraction)), 255);
  for (int r = 0; r < rows; ++r) needed[r] = least[2 * r] <= darkLimit || least[2 * r + 1] <= lightLimit;

  BalanceSets found[2];
  st = SampledPass<T>(
      image, t, stepX, stepY, found, &bands,
      [=](BalanceSets& s, int y, const T* rgb, int n) {
        for (int i = 0; i < n; ++i) {
          const T* p = rgb + 3 * i;
          const T hi = Max3(p), lo = Min3(p);
          const int hi8 = To8(hi), lo8 = To8(lo);
          if (lo > 0 && hi8 <= darkLimit) s.dark.Add(p, hi8, i * stepX, y);
          if (hi < kFull && 255 - lo8 <= lightLimit) s.light.Add(p, 255 - lo8, i * stepX, y);
        }
      },
      needed.get());
  if (st != kOk) return st;
  *sets = found[0];
  for (int b = 1; b < bands; ++b) sets->dark.Merge(found[b].dark), sets->light.Merge(found[b].light);
  return kOk;
}

}  // namespace

Status AutoBalance(TavelinPars* pars, const RasterView* image, int analysisIndex, double darkFraction,
                   double lightFraction, double chromaLimit, int gridIndex) {
  int stepX, stepY;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  if (!IsFraction(darkFraction) || !IsFraction(lightFraction) || !IsFraction(chromaLimit)) return kBadArg;
  TavelinPars work = *pars;
  ResetTavelinPars(&work, TOOL_BALANCE);
  AnalysisTransform reader;
  if (Status st = reader.Open(&work, TOOL_LINEAR, gridIndex, *image); st != kOk) return st;
  BalanceSets sets;
  Status st = image->bytesPerSample == 2
                  ? FindBalanceSets<uint16_t>(*image, reader.handle, stepX, stepY, darkFraction, lightFraction, &sets)
                  : FindBalanceSets<uint8_t>(*image, reader.handle, stepX, stepY, darkFraction, lightFraction, &sets);
  if (st != kOk) return st;
  // Each set whose mean colour is close enough to gray marks its seed.
  const double full = image->MaxCode();
  for (const BalanceSet* s : {&sets.dark, &sets.light}) {
    if (s->count == 0) continue;
    double mean[3], hcl[3];
    for (int c = 0; c < 3; ++c) mean[c] = (double)s->sum[c] / ((double)s->count * full);
    RgbToHslD(mean, kModelChroma, hcl);
    if (hcl[1] >= chromaLimit) continue;
    if ((st = MarkNeutral(&work, image, gridIndex, s->x, s->y, nullptr)) != kOk) return st;
  }
  *pars = work;
  return kOk;
}

// ---- black, gray and white points ----------------------------------------------------

Status AutoLevels(TavelinPars* pars, const RasterView* image, int analysisIndex, double lowFraction,
                  double highFraction, ToolMask mask, int gridIndex) {
  int stepX, stepY;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  if (!IsFraction(lowFraction) || !IsFraction(highFraction)) return kBadArg;
  TavelinPars work = *pars;
  uint32_t h[256];
  if (Status st = LevelsHistogram(image, analysisIndex, &work, gridIndex, h); st != kOk) return st;
  const uint64_t n = Total(h);
  const int lo = std::min(BinsConsumedUp(h, FractionCount(n, lowFraction)), 255);
  const int hi = std::max(255 - BinsConsumedDown(h, FractionCount(n, highFraction)), 0);
  const double l = lo / 255.0, hh = hi / 255.0;
  const double l1 = Smoothstep(l), h1 = Smoothstep(hh);
  // The line through (l, l') and (h, h'), where it meets 0 and 1. With no
  // spread at all (l' = h') it has no slope: the points stay.
  if (h1 != l1) {
    if (mask & TOOL_BLACK) work.blackPoint = (float)std::clamp(l + (hh - l) * (-l1 / (h1 - l1)), 0.0, 1.0);
    if (mask & TOOL_WHITE) work.whitePoint = (float)std::clamp(l + (hh - l) * ((1.0 - l1) / (h1 - l1)), 0.0, 1.0);
  }
  if (mask & TOOL_GRAY) {
    const double black = work.blackPoint, white = work.whitePoint;
    const int a = std::clamp((int)(255.0 * black), 0, 255), b = std::clamp((int)(255.0 * white), 0, 255);
    uint64_t s = 0;
    for (int i = a; i <= b; ++i) s += h[i];
    const uint64_t half = (uint64_t)(0.5 * (double)s + 0.5);
    uint64_t run = 0;
    int md = a;
    while (run < half && md < 256) run += h[md++];
    md = std::clamp(md, 0, 255);
    // Halfway between neutral and the median's place between the points;
    // no place when the points coincide.
    if (white != black)
      work.grayPoint = (float)std::clamp(((md / 255.0 - black) / (white - black) + 0.5) * 0.5, 0.0, 1.0);
  }
  *pars = work;
  return kOk;
}

// ---- global brightness ----------------------------------------------------------------

namespace {

// Sums of the brightness key over one band, and the band's share of the
// region mask: it sets the bits of its own rows and keeps its bounding box.
struct KeySums {
  uint64_t a = 0, b = 0;
  int32_t minX = INT32_MAX, maxX = -1, minY = INT32_MAX, maxY = -1;
};

template <class T>
Status KeyPass(const RasterView& image, const TintmeshHandle* t, int stepX, int stepY, const uint16_t* centre,
               int half, RegionMask* region, KeySums* total) {
  const int w = image.width, h = image.height;
  // The centre weight falls with d = the least distance to a border; s() is
  // monotone, so the weight of the least distance is the least of the
  // column's and the row's weights.
  const int columns = (w + stepX - 1) / stepX;
  MemPtr<uint16_t[]> columnWeight = MemNewArray<uint16_t>((size_t)columns, false);
  if (!columnWeight) return kNoMem;
  for (int i = 0; i < columns; ++i) columnWeight[i] = centre[std::min(std::min(i * stepX, w - 1 - i * stepX), half)];
  const uint16_t* wx = columnWeight.get();
  KeySums sums[2];
  int bands;
  Status st = SampledPass<T>(image, t, stepX, stepY, sums, &bands, [&](KeySums& s, int y, const T* rgb, int n) {
    const int wy = centre[std::min(std::min(y, h - 1 - y), half)];
    uint64_t a = 0, b = 0;
    uint8_t* bits = region ? &region->bits[(size_t)y * region->rowBytes] : nullptr;
    for (int i = 0; i < n; ++i) {
      const int wc = std::min<int>(wy, wx[i]);
      const T* p = rgb + 3 * i;
      const int r = To8(p[0]), g = To8(p[1]), bl = To8(p[2]);
      const int c = std::max(r, std::max(g, bl)) - std::min(r, std::min(g, bl));
      const uint32_t weight = ((uint32_t)wc * kColourWeight[c] + 128) >> 8;
      a += ((uint32_t)Luma8(r, g, bl) * weight + 128) >> 8;
      b += weight;
      if (bits && weight >= 65) {
        const int x = i * stepX;
        bits[x >> 3] |= (uint8_t)(1u << (x & 7));
        s.minX = std::min(s.minX, x), s.maxX = std::max(s.maxX, x);
        s.minY = std::min(s.minY, y), s.maxY = std::max(s.maxY, y);
      }
    }
    s.a += a;
    s.b += b;
  });
  if (st != kOk) return st;
  *total = sums[0];
  for (int k = 1; k < bands; ++k) {
    total->a += sums[k].a, total->b += sums[k].b;
    total->minX = std::min(total->minX, sums[k].minX), total->maxX = std::max(total->maxX, sums[k].maxX);
    total->minY = std::min(total->minY, sums[k].minY), total->maxY = std::max(total->maxY, sums[k].maxY);
  }
  return kOk;
}

}  // namespace

Status BrightnessKey(TavelinPars* pars, const RasterView* image, int analysisIndex, int gridIndex,
                     RegionMask* regionMask, double* key) {
  int stepX, stepY;
  if (!key) return kBadArg;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  TavelinPars work = *pars;
  AnalysisTransform reader;
  if (Status st = reader.Open(&work, kBeforeBrightness, gridIndex, *image); st != kOk) return st;
  // Centre weight by distance to the border, capped at half the shorter side.
  const int half = std::min(image->width, image->height) / 2;
  MemPtr<uint16_t[]> centre = MemNewArray<uint16_t>((size_t)half + 1, false);
  if (!centre) return kNoMem;
  for (int d = 0; d <= half; ++d) centre[d] = (uint16_t)(256.0 * Smoothstep(half > 0 ? (double)d / half : 1.0) + 0.5);
  if (regionMask) {
    if (Status st = regionMask->Prepare(image->width, image->height); st != kOk) return st;
  }
  KeySums sums;
  Status st = image->bytesPerSample == 2
                  ? KeyPass<uint16_t>(*image, reader.handle, stepX, stepY, centre.get(), half, regionMask, &sums)
                  : KeyPass<uint8_t>(*image, reader.handle, stepX, stepY, centre.get(), half, regionMask, &sums);
  if (st != kOk) return st;
  if (regionMask && sums.maxX >= 0) {
    regionMask->minX = sums.minX, regionMask->maxX = sums.maxX;
    regionMask->minY = sums.minY, regionMask->maxY = sums.maxY;
  }
  if (sums.b + 128 < 256)
    *key = 0.5;
  else
    *key = (double)sums.a / ((double)((sums.b + 128) >> 8) * 255.0);
  return kOk;
}

double BrightnessForKey(double key, double low, double high) {
  if (key >= low && key <= high) return 0.5;
  const double target = key < low ? low : high;
  double lo = 0.0, hi = 1.0;
  do {
    const double a = (lo + hi) / 2.0;
    if (Bias(key, a) >= target)
      hi = a;
    else
      lo = a;
  } while (hi - lo > 0.005);
  return (lo + hi) / 2.0;
}

Status AutoBrightness(TavelinPars* pars, const RasterView* image, int analysisIndex, double low, double high,
                      int gridIndex, RegionMask* regionMask) {
  if (!IsFraction(low) || !IsFraction(high) || low > high) return kBadArg;
  double key;
  if (Status st = BrightnessKey(pars, image, analysisIndex, gridIndex, regionMask, &key); st != kOk) return st;
  pars->brightness = (float)BrightnessForKey(key, low, high);
  return kOk;
}

// ---- saturation -------------------------------------------------------------------------

namespace {

template <class T>
Status SaturationHistogram(const RasterView& image, const TintmeshHandle* t, int stepX, int stepY,
                           uint32_t histogram[256]) {
  struct Hist {
    uint32_t h[256] = {};
  } hist[2];
  int bands;
  Status st = SampledPass<T>(image, t, stepX, stepY, hist, &bands, [](Hist& s, int, const T* rgb, int n) {
    for (int i = 0; i < n; ++i) {
      const T* p = rgb + 3 * i;
      const int mx = To8(Max3(p)), mn = To8(Min3(p));
      const int c = mx - mn, l = (mx + mn) >> 1;
      if (l < 25 || l > 230 || c == 0) continue;
      const int d = l < 128 ? l : 255 - l;
      ++s.h[kSaturationBin[(d - kSatDMin) * 256 + c]];
    }
  });
  if (st != kOk) return st;
  for (int i = 0; i < 256; ++i) histogram[i] = bands == 2 ? hist[0].h[i] + hist[1].h[i] : hist[0].h[i];
  return kOk;
}

}  // namespace

Status AutoSaturation(TavelinPars* pars, const RasterView* image, int analysisIndex, double topFraction,
                      double preferred, int gridIndex) {
  int stepX, stepY;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  if (!IsFraction(topFraction) || !IsFraction(preferred)) return kBadArg;
  TavelinPars work = *pars;
  AnalysisTransform reader;
  if (Status st = reader.Open(&work, kBeforeSaturation, gridIndex, *image); st != kOk) return st;
  // HSL saturation of the mid-tone pixels (lightness 25..230, some chroma).
  uint32_t h[256];
  Status st = image->bytesPerSample == 2 ? SaturationHistogram<uint16_t>(*image, reader.handle, stepX, stepY, h)
                                         : SaturationHistogram<uint8_t>(*image, reader.handle, stepX, stepY, h);
  if (st != kOk) return st;
  const uint64_t k = FractionCount(Total(h), topFraction);
  int s = 0;
  if (k > 0) {
    // Counting down from 255 until the running count reaches k; the level
    // is the bin below the one reached.
    uint64_t run = 0;
    int reached = 255;
    for (; reached > 0; --reached) {
      run += h[reached];
      if (run >= k) break;
    }
    s = std::max(reached - 1, 0);
  }
  s = std::clamp(s, 1, 255);
  const double v = std::clamp(preferred * 255.0 / s, 0.0, 2.0);
  pars->saturation = (float)(v / 2.0);
  return kOk;
}

// ---- hue handles ---------------------------------------------------------------------------

namespace {

constexpr int kPeakSearchRounds = 100;
constexpr int kPeakCountStop = 7;
constexpr int kMergeDegrees = 10;

inline int Next(int d) { return d == kHueBins - 1 ? 0 : d + 1; }
inline int Prev(int d) { return d == 0 ? kHueBins - 1 : d - 1; }

// One pass of the circular kernel 1 2 3 4 5 4 3 2 1 (sum 25), rounded.
void SmoothHues(int64_t h[kHueBins]) {
  int64_t out[kHueBins];
  for (int d = 0; d < kHueBins; ++d) {
    int64_t s = 0;
    for (int k = -4; k <= 4; ++k) s += (5 - std::abs(k)) * h[(d + k + kHueBins) % kHueBins];
    out[d] = (s + 12) / 25;
  }
  std::copy(out, out + kHueBins, h);
}

// The mass of the hill around d: walk right while the next bin is not higher
// and left while the previous bin is not higher, and sum the bins visited
// without the two end bins. The walk never covers more than the circle.
int64_t HillMass(const int64_t h[kHueBins], int d) {
  int steps = 0, right = d, left = d;
  while (steps < kHueBins - 1 && h[Next(right)] <= h[right]) right = Next(right), ++steps;
  while (steps < kHueBins - 1 && h[Prev(left)] <= h[left]) left = Prev(left), ++steps;
  int64_t mass = 0;
  for (int k = Next(left), i = 0; i < steps - 1; k = Next(k), ++i) mass += h[k];
  return mass;
}

struct Peak {
  HuePeak peak;
  int64_t q;  // the curvature at the peak
};

// Peaks of the histogram (smoothed further while seven or more are found);
// at most six, in scan order.
int FindPeaks(int64_t h[kHueBins], Peak peaks[kHueEntries]) {
  int stored = 0;
  for (int round = 0; round < kPeakSearchRounds; ++round) {
    int64_t q[kHueBins];
    int64_t minQ = INT64_MAX, maxH = INT64_MIN;
    for (int d = 0; d < kHueBins; ++d) {
      q[d] = h[Prev(d)] - 2 * h[d] + h[Next(d)];
      minQ = std::min(minQ, q[d]);
      maxH = std::max(maxH, h[d]);
    }
    const int64_t t = (minQ - 50) / 100;  // toward zero
    const int64_t limit = (maxH + 50) / 100;
    stored = 0;
    int counted = 0;
    int runSlot = -1;  // the peak stored for the current run of q <= t
    bool inRun = false;
    for (int d = 0; d < kHueBins && counted < kPeakCountStop; ++d) {
      if (q[d] > t) {
        inRun = false;
        continue;
      }
      if (!inRun) inRun = true, runSlot = -1;
      if (!(q[Prev(d)] > q[d] && q[Next(d)] > q[d])) continue;
      const int64_t mass = HillMass(h, d);
      if (mass < limit) continue;
      if (runSlot >= 0) {
        if (q[d] > peaks[runSlot].q) peaks[runSlot] = Peak{{d, mass}, q[d]};
        continue;
      }
      ++counted;
      if (stored < kHueEntries) {
        peaks[stored] = Peak{{d, mass}, q[d]};
        runSlot = stored++;
      }
    }
    if (counted < kPeakCountStop) break;
    SmoothHues(h);
  }
  return stored;
}

}  // namespace

Status PlaceHueHandles(const int64_t histogram[kHueBins], int hues[kHueEntries]) {
  if (!histogram || !hues) return kBadArg;
  int64_t h[kHueBins];
  for (int d = 0; d < kHueBins; ++d) {
    if (histogram[d] < 0 || histogram[d] > (int64_t(1) << 40)) return kBadArg;
    h[d] = histogram[d];
  }
  for (int pass = 0; pass < 5; ++pass) SmoothHues(h);
  Peak found[kHueEntries];
  const int n = FindPeaks(h, found);
  HuePeak peaks[kHueEntries];
  for (int i = 0; i < n; ++i) peaks[i] = found[i].peak;
  return HandlesFromPeaks(peaks, n, hues);
}

Status HandlesFromPeaks(const HuePeak* found, int count, int hues[kHueEntries]) {
  if (!hues || count < 0 || count > kHueEntries || (count > 0 && !found)) return kBadArg;
  HuePeak peaks[kHueEntries];
  for (int i = 0; i < count; ++i) {
    if (found[i].hue < 0 || found[i].hue >= kHueBins) return kBadArg;
    peaks[i] = found[i];
  }
  int n = count;
  std::stable_sort(peaks, peaks + n, [](const HuePeak& a, const HuePeak& b) { return a.hue < b.hue; });
  // Merge neighbours closer than 10 degrees: the smaller mass goes (the
  // later one on equal masses), and the same place is checked again.
  for (int i = 1; i < n;) {
    int diff = peaks[i].hue - peaks[i - 1].hue;
    diff = std::min(diff, kHueBins - diff);
    if (diff >= kMergeDegrees) {
      ++i;
      continue;
    }
    const int drop = peaks[i - 1].mass < peaks[i].mass ? i - 1 : i;
    std::copy(peaks + drop + 1, peaks + n, peaks + drop);
    --n;
  }
  if (n == 0) {
    for (int i = 0; i < kHueEntries; ++i) hues[i] = 60 * i;
    return kOk;
  }
  struct Handle {
    int hue;
    bool peak;
  };
  Handle hs[kHueEntries];
  for (int i = 0; i < n; ++i) hs[i] = Handle{peaks[i].hue, true};
  const auto byHue = [](const Handle& a, const Handle& b) { return a.hue < b.hue; };
  // Fill the widest gaps (the first widest wins).
  while (n < kHueEntries) {
    int best = 0, bestGap = -1;
    for (int i = 0; i < n; ++i) {
      const int next = i + 1 < n ? hs[i + 1].hue : hs[0].hue + kHueBins;
      if (next - hs[i].hue > bestGap) bestGap = next - hs[i].hue, best = i;
    }
    hs[n++] = Handle{(hs[best].hue + (bestGap + 1) / 2) % kHueBins, false};
    std::stable_sort(hs, hs + n, byHue);
  }
  // Spread the added handles evenly between the peaks around them.
  for (int i = 0; i < kHueEntries; ++i) {
    if (!hs[i].peak) continue;
    int k = 0;
    int j = (i + 1) % kHueEntries;
    while (!hs[j].peak) j = (j + 1) % kHueEntries, ++k;
    if (k == 0) continue;
    const int p = hs[i].hue;
    int q = hs[j].hue;
    if (q <= p) q += kHueBins;  // unwrapped above p (itself when it is the only peak)
    for (int m = 1; m <= k; ++m) {
      const int at = (int)(p + (double)(q - p) * m / (k + 1) + 0.5);
      hs[(i + m) % kHueEntries].hue = at % kHueBins;
    }
  }
  std::stable_sort(hs, hs + kHueEntries, byHue);
  for (int i = 0; i < kHueEntries; ++i) hues[i] = hs[i].hue;
  return kOk;
}

namespace {

// The hue bin trunc(360 H + 0.5) of the model-1 hue of integer codes with
// chroma c = max - min > 0, computed exactly: with the hexcone's sextant
// numerator num and offset off (degrees), 360 H = 60 num / c + off, so the
// bin is floor((120 num + (2 off + 1) c) / (2 c)), a non-negative quotient.
// `half` holds 1 / (2 c) by c; the product is at most 2^-25 below the true
// quotient, whose fraction is 0 or at least 1 / (2 c) >= 2^-18, so adding
// 2^-20 before truncating gives the exact floor.
inline int HueBin(int r, int g, int b, int c, const double* half) {
  int num, off;
  if (r >= g && g >= b)
    num = g - b, off = 0;
  else if (g > r && r >= b)
    num = b - r, off = 120;
  else if (g >= b && b > r)
    num = b - r, off = 120;
  else if (b > g && g > r)
    num = r - g, off = 240;
  else if (b > r && r >= g)
    num = r - g, off = 240;
  else  // r >= b > g
    num = g - b, off = 360;
  const int64_t n = 120 * (int64_t)num + (2 * (int64_t)off + 1) * c;
  return std::min((int)((double)n * half[c] + 0x1p-20), kHueBins - 1);
}

// The chroma-weighted hue histogram; chroma below 0.05 counts nothing. The
// weight trunc(256 C + 0.5), C = c / maxCode, never sits on a tie (512 c is
// even, maxCode odd), so the product form is exact.
template <class T>
Status HueHistogram(const RasterView& image, const TintmeshHandle* t, int stepX, int stepY, int64_t histogram[kHueBins]) {
  struct Hist {
    int64_t h[kHueBins] = {};
  } hist[2];
  const uint32_t maxCode = image.MaxCode();
  MemPtr<double[]> half = MemNewArray<double>((size_t)maxCode + 1, false);
  if (!half) return kNoMem;
  half[0] = 0.0;
  for (uint32_t c = 1; c <= maxCode; ++c) half[c] = 1.0 / (2.0 * c);
  const double weightScale = 256.0 / maxCode;
  const int minChroma = (int)std::ceil(0.05 * maxCode);  // C >= 0.05 in codes
  const double* halfTable = half.get();
  int bands;
  Status st = SampledPass<T>(image, t, stepX, stepY, hist, &bands, [=](Hist& s, int, const T* rgb, int n) {
    for (int i = 0; i < n; ++i) {
      const T* p = rgb + 3 * i;
      const int c = (int)Max3(p) - (int)Min3(p);
      if (c < minChroma) continue;
      s.h[HueBin(p[0], p[1], p[2], c, halfTable)] += (int64_t)(c * weightScale + 0.5);
    }
  });
  if (st != kOk) return st;
  for (int d = 0; d < kHueBins; ++d) histogram[d] = bands == 2 ? hist[0].h[d] + hist[1].h[d] : hist[0].h[d];
  return kOk;
}

}  // namespace

Status AutoHueHandles(TavelinPars* pars, const RasterView* image, int analysisIndex, int gridIndex) {
  int stepX, stepY;
  if (Status st = CheckStep(pars, image, analysisIndex, gridIndex, &stepX, &stepY); st != kOk) return st;
  TavelinPars work = *pars;
  AnalysisTransform reader;
  if (Status st = reader.Open(&work, TOOL_BEFORE_HUE, gridIndex, *image); st != kOk) return st;
  int64_t h[kHueBins];
  Status st = image->bytesPerSample == 2 ? HueHistogram<uint16_t>(*image, reader.handle, stepX, stepY, h)
                                         : HueHistogram<uint8_t>(*image, reader.handle, stepX, stepY, h);
  if (st != kOk) return st;
  int hues[kHueEntries];
  if ((st = PlaceHueHandles(h, hues)) != kOk) return st;
  for (int i = 0; i < kHueEntries; ++i) {
    HueEntry& e = work.hue[i];
    e.baseHue = (float)hues[i];
    e.hueShift = 0.0f;
    e.brightness = 0.5f;
    e.saturation = 0.5f;
  }
  *pars = work;
  return kOk;
}

// ---- the master sequence ---------------------------------------------------------------

namespace {

bool HueEntriesUnedited(const TavelinPars* pars) {
  for (const HueEntry& e : pars->hue)
    if (std::fabs(e.hueShift) > 1e-8 || std::fabs(e.brightness - 0.5) > 1e-8 || std::fabs(e.saturation - 0.5) > 1e-8)
      return false;
  return true;
}

Status RunSteps(BrivioContext* ctx, ToolMask m, const RasterView* image) {
  TavelinPars* pars = ctx->pars;
  const BrivioSettings& s = ctx->settings;
  if ((m & TOOL_LINEAR) && image->bytesPerSample == 2) {
    if (Status st = AutoLinear(pars, image, s.analysisIndex, kBrivioLinearLimit, s.gridIndex); st != kOk) return st;
  }
  if (m & TOOL_BALANCE) {
    if (Status st = AutoBalance(pars, image, s.analysisIndex, kBrivioBalanceDark, kBrivioBalanceLight,
                                kBrivioBalanceChroma, s.gridIndex);
        st != kOk)
      return st;
    if (Status st = CastWedge(pars, ctx->castWedge); st != kOk) return st;
  }
  if (m & TOOL_POINTS) {
    if (Status st = AutoLevels(pars, image, s.analysisIndex, kBrivioLevelsLow, kBrivioLevelsHigh, m, s.gridIndex);
        st != kOk)
      return st;
  }
  if (m & TOOL_BRIGHTNESS) {
    if (Status st = AutoBrightness(pars, image, s.analysisIndex, kBrivioKeyLow, kBrivioKeyHigh, s.gridIndex,
                                   ctx->regionMask);
        st != kOk)
      return st;
    pars->brightness = std::clamp(pars->brightness, 0.4f, 0.6f);
  }
  // TOOL_CONTRAST: Brivio leaves contrast (and shadow, highlight) alone.
  if (m & TOOL_SATURATION) {
    if (Status st = AutoSaturation(pars, image, s.analysisIndex, kBrivioSaturationTop, s.preferredSaturation,
                                   s.gridIndex);
        st != kOk)
      return st;
    if (s.preferredSaturation >= 0.8f) pars->saturation = std::clamp(pars->saturation, 0.5f, 0.7f);
  }
  if (m & TOOL_HUE_ALL) return BrivioHueStep(ctx, image);
  return kOk;
}

}  // namespace

Status BrivioHueStep(BrivioContext* ctx, const RasterView* image) {
  TavelinPars* pars = ctx->pars;
  for (float& v : pars->toneColor) v = kParToneColor.reset;
  if (HueEntriesUnedited(pars) && !ctx->hueTabActive) {
    // Placed when the hue panel is next shown.
    ctx->huePlacementPending = true;
    return kOk;
  }
  if (Status st = AutoHueHandles(pars, image, ctx->settings.analysisIndex, ctx->settings.gridIndex); st != kOk)
    return st;
  ctx->huePlacementPending = false;
  ctx->activeHandle = pars->hue[0].handleId;
  ctx->activeHandleMarked = false;
  return kOk;
}

ToolMask BrivioEffectiveSetMask(const BrivioSettings& s) {
  if (s.analysis != BrivioAnalysis::kAdaptive || !(s.setMask & TOOL_BRIGHTNESS)) return s.setMask;
  return s.setMask | TOOL_SHADOW | TOOL_HIGHLIGHT | TOOL_CONTRAST;
}

Status RunBrivio(BrivioContext* context, ToolMask mask, const RasterView* image) {
  if (!context || !context->pars) return kBadArg;
  DLog("RunBrivio...");
  const ToolMask m = mask & BrivioEffectiveSetMask(context->settings);
  Status st = kOk;
  if (m != 0)
    st = context->settings.analysis == BrivioAnalysis::kAdaptive ? RunAdaptiveSteps(context, m, image)
                                                                 : RunSteps(context, m, image);
  if (st != kOk) {
    DLog("RunBrivio status = %d", st);
    ReportError(st, ResText(kPhraseAutoSettings));
  }
  DLog("...RunBrivio");
  return st;
}

Status PlacePendingHueHandles(BrivioContext* context, const RasterView* image) {
  if (!context || !context->pars) return kBadArg;
  context->hueTabActive = true;
  if (!context->huePlacementPending) return kOk;
  ToolMask mask;
  BrivioMask(BrivioOccasion::kHuePanelPending, 0, false, &mask);
  return RunBrivio(context, mask, image);
}

Status BrivioMask(BrivioOccasion occasion, int panel, bool brivioMode, ToolMask* mask) {
  if (!mask) return kBadArg;
  static constexpr ToolMask kPanelOff[4] = {0x0002, 0x001C, 0x03E0, 0xFC00};
  static constexpr ToolMask kPanelOn[4] = {0xFFFE, 0xFFFC, 0xFFE0, 0xFC00};
  switch (occasion) {
    case BrivioOccasion::kMasterButton: *mask = 0xFFFF; return kOk;
    case BrivioOccasion::kPanelButton:
      if (panel < 1 || panel > 4) return kBadArg;
      *mask = brivioMode ? kPanelOn[panel - 1] : kPanelOff[panel - 1];
      return kOk;
    case BrivioOccasion::kModeLinear: *mask = 0xFFFE; return kOk;
    case BrivioOccasion::kModeBalance: *mask = 0xFFFC; return kOk;
    case BrivioOccasion::kModePoints: *mask = 0xFFE0; return kOk;
    case BrivioOccasion::kModeBrightness: *mask = 0xFFC0; return kOk;
    case BrivioOccasion::kModeShadow: *mask = 0xFF80; return kOk;
    case BrivioOccasion::kModeHighlight: *mask = 0xFF00; return kOk;
    case BrivioOccasion::kModeContrast: *mask = 0xFE00; return kOk;
    case BrivioOccasion::kModeSaturation:
    case BrivioOccasion::kModePanel3Reset:
    case BrivioOccasion::kHuePanelPending: *mask = 0xFC00; return kOk;
  }
  return kBadArg;
}
