#include "correct/curvefit.h"

#include <cmath>

PolyFit::PolyFit(int degree) : degree_(degree < 0 ? 0 : (degree > kMaxFitDegree ? kMaxFitDegree : degree)) {}

void PolyFit::Add(double x, double y, int weight) {
  if (weight <= 0) return;
  double p = 1.0;
  for (int k = 0; k <= 2 * degree_; ++k) {
    sx_[k] += weight * p;
    if (k <= degree_) sxy_[k] += weight * y * p;
    p *= x;
  }
  syy_ += weight * y * y;
  points_ += weight;
}

Status PolyFit::Solve(double coef[kMaxFitDegree + 1]) const {
  const int n = degree_ + 1;
  if (points_ <= degree_) return kBadArg;
  // Gauss-Jordan elimination with partial pivoting on [A | b]; a pivot that
  // is negligible against the matrix's scale means a singular system.
  double a[kMaxFitDegree + 1][kMaxFitDegree + 2];
  double scale = 0.0;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      a[i][j] = sx_[i + j];
      scale = std::fmax(scale, std::fabs(a[i][j]));
    }
    a[i][n] = sxy_[i];
  }
  if (!(scale > 0.0) || !std::isfinite(scale)) return kBadArg;
  for (int col = 0; col < n; ++col) {
    int piv = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
    if (!(std::fabs(a[piv][col]) > 1e-13 * scale)) return kBadArg;
    if (piv != col)
      for (int j = 0; j <= n; ++j) std::swap(a[piv][j], a[col][j]);
    const double inv = 1.0 / a[col][col];
    for (int j = col; j <= n; ++j) a[col][j] *= inv;
    for (int r = 0; r < n; ++r) {
      if (r == col || a[r][col] == 0.0) continue;
      const double f = a[r][col];
      for (int j = col; j <= n; ++j) a[r][j] -= f * a[col][j];
    }
  }
  for (int k = 0; k <= kMaxFitDegree; ++k) coef[k] = k < n ? a[k][n] : 0.0;
  for (int k = 0; k < n; ++k)
    if (!std::isfinite(coef[k])) return kBadArg;
  return kOk;
}

double PolyEval(const double coef[kMaxFitDegree + 1], int degree, double x) {
  double y = 0.0;
  for (int k = degree; k >= 0; --k) y = y * x + coef[k];
  return y;
}

void FitBinCurves(FitBin bins[kSampleBins], float curves[3][kCurveSize]) {
  bool any = false;
  for (int i = 0; i < kSampleBins; ++i) any = any || bins[i].present;
  if (!any) {
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < kCurveSize; ++k) curves[c][k] = (float)(k / 255.0);
    return;
  }
  if (!bins[0].present) bins[0] = FitBin{true, {0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
  if (!bins[kSampleBins - 1].present) bins[kSampleBins - 1] = FitBin{true, {1.0, 1.0, 1.0}, {1.0, 1.0, 1.0}};
  // Empty bins between two present ones interpolate them in bin index.
  for (int i = 1; i < kSampleBins - 1; ++i) {
    if (bins[i].present) continue;
    int lo = i - 1, hi = i + 1;
    while (!bins[lo].present) --lo;
    while (!bins[hi].present) ++hi;
    const double t = double(i - lo) / double(hi - lo);
    for (int c = 0; c < 3; ++c) {
      bins[i].mean[c] = bins[lo].mean[c] + (bins[hi].mean[c] - bins[lo].mean[c]) * t;
      bins[i].target[c] = bins[lo].target[c] + (bins[hi].target[c] - bins[lo].target[c]) * t;
    }
  }
  // Filled bins are marked only now, so that every empty bin above
  // interpolated between the originally present ones.
  for (int i = 0; i < kSampleBins; ++i) bins[i].present = true;

  for (int c = 0; c < 3; ++c) {
    float trial[kCurveSize];
    for (int degree = kMaxFitDegree; degree >= 2; --degree) {
      PolyFit fit(degree);
      for (int i = 0; i < kSampleBins; ++i) {
        const int w = i < 10 ? i + 1 : 20 - i;
        fit.Add(bins[i].mean[c], bins[i].target[c], w);
      }
      double coef[kMaxFitDegree + 1];
      if (fit.Solve(coef) != kOk) continue;
      bool increasing = true;
      for (int k = 0; k < kCurveSize; ++k) {
        const double x = k / 255.0;
        const double lo = 0.01 * x, hi = 0.01 * x + 0.99;
        double y = PolyEval(coef, degree, x);
        if (y < lo) y = lo;
        if (y > hi) y = hi;
        trial[k] = (float)y;
        if (k > 0 && !(trial[k] > trial[k - 1])) increasing = false;
      }
      if (increasing || degree == 2) {
        for (int k = 0; k < kCurveSize; ++k) curves[c][k] = trial[k];
        break;
      }
    }
    // No solvable degree: the channel keeps its previous curve.
  }
}
