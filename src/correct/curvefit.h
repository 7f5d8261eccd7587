// Curve fitting shared by the colour balance and the toning curves: the
// least-squares polynomial fit on the normal equations, and the fit of three
// smooth increasing per-channel curves that move each lightness bin's mean
// colour onto its target.
//
// Degrees 0..5. Points carry an integer weight (a point of weight w counts
// as w identical points). No allocation.
#pragma once

#include "correct/tavelinpars.h"
#include "base/status.h"

constexpr int kMaxFitDegree = 5;

class PolyFit {
 public:
  explicit PolyFit(int degree);  // clamped to 0..kMaxFitDegree
  void Add(double x, double y, int weight = 1);
  // Solves for coef[0..degree] (y = sum coef[k] x^k). kBadArg with no more
  // points than the degree or a singular system. Degree 0 gives the mean of y.
  Status Solve(double coef[kMaxFitDegree + 1]) const;

 private:
  int degree_;
  long long points_ = 0;
  double sx_[2 * kMaxFitDegree + 1] = {};   // sum of x^k
  double sxy_[kMaxFitDegree + 1] = {};      // sum of y x^k
  double syy_ = 0.0;
};

double PolyEval(const double coef[kMaxFitDegree + 1], int degree, double x);

// One lightness bin for the curve fit: present when it holds samples; its
// mean colour and the colour it should map to.
struct FitBin {
  bool present;
  double mean[3];
  double target[3];
};

// Fits curves[c][k] for each channel from the 20 bins: an empty bin 0 becomes
// the anchor 0 -> 0 and an empty bin 19 the anchor 1 -> 1; the other empty
// bins interpolate, in bin index, the nearest present bins; then for each
// channel a polynomial of degree 5, 4, 3, 2 (the first that can be solved and
// gives a strictly increasing curve; degree 2 is kept regardless) fitted with
// bin weights 1, 2, ..., 10, 10, ..., 1; entries clamped into
// [0.01 k/255, 0.01 k/255 + 0.99]. A channel with no solvable degree keeps
// its previous curve. With no bin present the curves become the identity.
void FitBinCurves(FitBin bins[kSampleBins], float curves[3][kCurveSize]);
