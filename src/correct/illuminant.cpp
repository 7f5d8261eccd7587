#include "correct/illuminant.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// A channel counts at least this share of the largest in a ratio.
constexpr double kRatioFloor = 0.05;
// Bright pixels: the unclipped pixels in this top share of luminance.
constexpr double kBrightShare = 0.03;
// Gray pixels: the share of the candidates with the most equal log contrast
// in the three channels; a candidate has a mean log contrast of at least
// kGrayMinContrast and every channel above kGrayMinLevel (8-bit noise).
constexpr double kGrayShare = 0.02, kGrayMinContrast = 0.02, kGrayMinLevel = 0.01, kGrayIndexTop = 1.5;

// Highlight plateau: codes within this of each channel's largest.
constexpr int kPlateauCodes = 10;

using Histogram = std::array<uint32_t, 1024>;

// The level below which `fraction` of a histogram over 0..top lies.
double Percentile(const Histogram& h, uint64_t total, double fraction, double top = 1.0) {
  const double want = fraction * (double)total;
  double run = 0.0;
  for (int i = 0; i < 1024; ++i) {
    if (run + h[i] >= want) return top * (i + (h[i] ? (want - run) / h[i] : 0.0)) / 1024.0;
    run += h[i];
  }
  return top;
}
int Bin(double v, double top = 1.0) { return std::clamp((int)(v / top * 1024.0), 0, 1023); }

void ToUv(const double e[3], double uv[2]) {
  const double top = std::max(e[0], std::max(e[1], e[2]));
  const double f = kRatioFloor * top;
  uv[0] = std::log(std::max(e[0], f) / std::max(e[1], f));
  uv[1] = std::log(std::max(e[2], f) / std::max(e[1], f));
}

struct GrayIndex {
  const double* logv;
  const double* lin;
  // The spread of the three channels' log contrast over their mean between
  // pixel q and its right and lower neighbours r, d; negative when q is no
  // candidate.
  double operator()(const uint8_t* q, const uint8_t* r, const uint8_t* d) const {
    double c[3];
    for (int k = 0; k < 3; ++k) {
      if (lin[q[k]] < kGrayMinLevel) return -1.0;
      c[k] = std::fabs(logv[q[k]] - logv[r[k]]) + std::fabs(logv[q[k]] - logv[d[k]]);
    }
    const double m = (c[0] + c[1] + c[2]) / 3.0;
    if (m < kGrayMinContrast) return -1.0;
    const double v = ((c[0] - m) * (c[0] - m) + (c[1] - m) * (c[1] - m) + (c[2] - m) * (c[2] - m)) / 3.0;
    return std::sqrt(v) / m;
  }
};

}  // namespace

void MeasureWitnesses(const uint8_t* rgb, int columns, int rows, const double lin[256], const double lumaW[3],
                      int clipCode, bool all, IlluminantWitnesses* out) {
  *out = IlluminantWitnesses{};
  const size_t n = (size_t)columns * rows;
  if (n == 0) return;
  double logv[256];
  for (int i = 0; i < 256; ++i) logv[i] = std::log(std::max(lin[i], 1e-4));
  auto unclipped = [clipCode](const uint8_t* q) { return q[0] < clipCode && q[1] < clipCode && q[2] < clipCode; };
  const GrayIndex grayIndex{logv, lin};

  double moment[4][3] = {};  // sums of v, v^2, v^4, v^8
  double edge1[3] = {0, 0, 0}, edge2[3] = {0, 0, 0};
  uint64_t counted = 0, clipped = 0, candidates = 0;
  int top[3] = {0, 0, 0};
  Histogram channel[3] = {}, luma = {}, gray = {};
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const uint8_t* q = rgb + 3 * ((size_t)y * columns + x);
      for (int c = 0; c < 3; ++c) ++channel[c][Bin(lin[q[c]])], top[c] = std::max(top[c], (int)q[c]);
      if (!unclipped(q)) {
        ++clipped;
        continue;
      }
      ++counted;
      ++luma[Bin(lumaW[0] * lin[q[0]] + lumaW[1] * lin[q[1]] + lumaW[2] * lin[q[2]])];
      for (int c = 0; c < 3; ++c) {
        const double v = lin[q[c]], v2 = v * v, v4 = v2 * v2;
        moment[0][c] += v, moment[1][c] += v2, moment[2][c] += v4, moment[3][c] += v4 * v4;
      }
      const uint8_t* r = x + 1 < columns ? q + 3 : nullptr;
      const uint8_t* d = y + 1 < rows ? q + 3 * (size_t)columns : nullptr;
      if (r && unclipped(r))
        for (int c = 0; c < 3; ++c) edge1[c] += std::fabs(lin[q[c]] - lin[r[c]]);
      if (d && unclipped(d))
        for (int c = 0; c < 3; ++c) edge1[c] += std::fabs(lin[q[c]] - lin[d[c]]);
      if (all && x > 0 && r && y > 0 && d) {
        const uint8_t* l = q - 3;
        const uint8_t* u = q - 3 * (size_t)columns;
        if (unclipped(l) && unclipped(r) && unclipped(u) && unclipped(d))
          for (int c = 0; c < 3; ++c)
            edge2[c] += std::fabs(2.0 * lin[q[c]] - lin[l[c]] - lin[r[c]]) +
                        std::fabs(2.0 * lin[q[c]] - lin[u[c]] - lin[d[c]]);
      }
      if (all && r && d && unclipped(r) && unclipped(d)) {
        const double g = grayIndex(q, r, d);
        if (g >= 0.0) ++gray[Bin(g, kGrayIndexTop)], ++candidates;
      }
    }
  }
  // Second pass: the bright pixels and the gray pixels.
  const double brightFrom = Percentile(luma, counted, 1.0 - kBrightShare);
  const double grayTo = Percentile(gray, candidates, kGrayShare, kGrayIndexTop);
  double bright[3] = {0, 0, 0}, grayPixels[3] = {0, 0, 0}, plateau[3] = {0, 0, 0};
  uint64_t onPlateau = 0;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      const uint8_t* q = rgb + 3 * ((size_t)y * columns + x);
      if (q[0] + kPlateauCodes >= top[0] && q[1] + kPlateauCodes >= top[1] && q[2] + kPlateauCodes >= top[2]) {
        ++onPlateau;
        for (int c = 0; c < 3; ++c) plateau[c] += lin[q[c]];
      }
      if (!unclipped(q)) continue;
      const double yq = lumaW[0] * lin[q[0]] + lumaW[1] * lin[q[1]] + lumaW[2] * lin[q[2]];
      if (yq >= brightFrom)
        for (int c = 0; c < 3; ++c) bright[c] += lin[q[c]];
      if (candidates && x + 1 < columns && y + 1 < rows) {
        const uint8_t* r = q + 3;
        const uint8_t* d = q + 3 * (size_t)columns;
        if (unclipped(r) && unclipped(d)) {
          const double g = grayIndex(q, r, d);
          if (g >= 0.0 && g <= grayTo)
            for (int c = 0; c < 3; ++c) grayPixels[c] += lin[q[c]];
        }
      }
    }
  }
  double e[kWitnessCount][3];
  const double root[4] = {1.0, 0.5, 0.25, 0.125};
  const double count = (double)std::max<uint64_t>(counted, 1);
  for (int c = 0; c < 3; ++c) {
    for (int p = 0; p < 4; ++p) e[kWitnessGrayWorld + p][c] = std::pow(moment[p][c] / count, root[p]);
    e[kWitnessEdge1][c] = edge1[c];
    e[kWitnessEdge2][c] = edge2[c];
    out->patch[c] = std::max(Percentile(channel[c], n, 0.995), 1e-4);
    e[kWitnessPatch995][c] = out->patch[c];
    e[kWitnessPatch98][c] = std::max(Percentile(channel[c], n, 0.98), 1e-4);
    e[kWitnessBright][c] = bright[c];
    e[kWitnessGrayPixels][c] = grayPixels[c];
  }
  ToUv(e[kWitnessGrayWorld], out->uv[kWitnessGrayWorld]);
  for (int k = kWitnessShades2; k < kWitnessCount; ++k) {
    const double largest = std::max(e[k][0], std::max(e[k][1], e[k][2]));
    if (largest > 0.0) ToUv(e[k], out->uv[k]);
    else out->uv[k][0] = out->uv[kWitnessGrayWorld][0], out->uv[k][1] = out->uv[kWitnessGrayWorld][1];
  }
  out->clippedShare = (double)clipped / (double)n;
  out->plateauShare = (double)onPlateau / (double)n;
  if (onPlateau && std::max(plateau[0], std::max(plateau[1], plateau[2])) > 0.0) ToUv(plateau, out->plateauUv);
}
