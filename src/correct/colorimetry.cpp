#include "correct/colorimetry.h"

#include <cmath>

namespace colorimetry {

namespace {
constexpr double kBradford[9] = {
    // Row-vector layout: element 3i + j = contribution of X,Y,Z (i) to rho,gamma,beta (j).
    0.8951, -0.7502, 0.0389,   //
    0.2664, 1.7135, -0.0685,   //
    -0.1614, 0.0367, 1.0296,
};
constexpr double kEpsilon = 216.0 / 24389.0;
constexpr double kKappa = 24389.0 / 27.0;
constexpr double kPi = 3.14159265358979323846;
}  // namespace

void DaylightXy(double t, double xy[2]) {
  double x;
  if (t < 7000.0)
    x = -4.6070e9 / (t * t * t) + 2.9678e6 / (t * t) + 99.11 / t + 0.244063;
  else
    x = -2.0064e9 / (t * t * t) + 1.9018e6 / (t * t) + 247.48 / t + 0.23704;
  xy[0] = x;
  xy[1] = -3.0 * x * x + 2.87 * x - 0.275;
}

void DaylightXyz(double t, double xyz[3]) {
  double xy[2];
  DaylightXy(t, xy);
  XyToXyz(xy[0], xy[1], xyz);
}

void D50(double xyz[3]) { DaylightXyz(5000.0, xyz); }

Status XyToXyz(double x, double y, double xyz[3]) {
  if (!(y > 0.0) || !std::isfinite(x) || !std::isfinite(y)) return kBadArg;
  xyz[0] = x / y;
  xyz[1] = 1.0;
  xyz[2] = (1.0 - x - y) / y;
  return kOk;
}

void MatMul(const double a[9], const double b[9], double m[9]) {
  // out = (in * a) * b, so m = a * b as row-vector matrices.
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
}

Status MatInvert(const double m[9], double inv[9]) {
  const double c00 = m[4] * m[8] - m[5] * m[7];
  const double c01 = m[5] * m[6] - m[3] * m[8];
  const double c02 = m[3] * m[7] - m[4] * m[6];
  const double det = m[0] * c00 + m[1] * c01 + m[2] * c02;
  double scale = 0.0;
  for (int i = 0; i < 9; ++i) scale = std::fmax(scale, std::fabs(m[i]));
  if (!std::isfinite(det) || !(scale > 0.0) || std::fabs(det) <= 1e-12 * scale * scale * scale) return kBadArg;
  const double r = 1.0 / det;
  inv[0] = c00 * r;
  inv[1] = (m[2] * m[7] - m[1] * m[8]) * r;
  inv[2] = (m[1] * m[5] - m[2] * m[4]) * r;
  inv[3] = c01 * r;
  inv[4] = (m[0] * m[8] - m[2] * m[6]) * r;
  inv[5] = (m[2] * m[3] - m[0] * m[5]) * r;
  inv[6] = c02 * r;
  inv[7] = (m[1] * m[6] - m[0] * m[7]) * r;
  inv[8] = (m[0] * m[4] - m[1] * m[3]) * r;
  return kOk;
}

void MatApply(const double m[9], const double in[3], double out[3]) {
  double o[3];
  for (int j = 0; j < 3; ++j) o[j] = in[0] * m[j] + in[1] * m[3 + j] + in[2] * m[6 + j];
  out[0] = o[0];
  out[1] = o[1];
  out[2] = o[2];
}

Status BradfordMatrix(const double src[3], const double dst[3], double m[9]) {
  double inv[9];
  if (MatInvert(kBradford, inv) != kOk) return kBadArg;
  double s[3], d[3];
  MatApply(kBradford, src, s);
  MatApply(kBradford, dst, d);
  double diag[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    if (!(std::fabs(s[k]) > 1e-12) || !std::isfinite(d[k])) return kBadArg;
    diag[4 * k] = d[k] / s[k];
  }
  double t[9];
  MatMul(kBradford, diag, t);
  MatMul(t, inv, m);
  return kOk;
}

Status RgbToXyzMatrix(const float primaries[6], const double white[3], const double adaptTo[3], double m[9]) {
  double adapt[9];
  if (BradfordMatrix(white, adaptTo, adapt) != kOk) return kBadArg;
  double p[9];
  for (int i = 0; i < 3; ++i) {
    double xyz[3];
    if (XyToXyz(primaries[2 * i], primaries[2 * i + 1], xyz) != kOk) return kBadArg;
    MatApply(adapt, xyz, &p[3 * i]);
  }
  double w[3];
  MatApply(adapt, white, w);
  // Scales s so that sum_i s_i * P_i = w: s = w * inv(P) in the row-vector layout.
  double pinv[9];
  if (MatInvert(p, pinv) != kOk) return kBadArg;
  double s[3];
  MatApply(pinv, w, s);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m[3 * i + j] = s[i] * p[3 * i + j];
  for (int i = 0; i < 9; ++i)
    if (!std::isfinite(m[i])) return kBadArg;
  return kOk;
}

static double LabF(double t) { return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0; }

void XyzToLab(const double xyz[3], const double white[3], double lab[3]) {
  const double fx = LabF(xyz[0] / white[0]);
  const double fy = LabF(xyz[1] / white[1]);
  const double fz = LabF(xyz[2] / white[2]);
  lab[0] = 116.0 * fy - 16.0;
  lab[1] = 500.0 * (fx - fy);
  lab[2] = 200.0 * (fy - fz);
}

void LabToXyz(const double lab[3], const double white[3], double xyz[3]) {
  const double fy = (lab[0] + 16.0) / 116.0;
  const double fx = fy + lab[1] / 500.0;
  const double fz = fy - lab[2] / 200.0;
  const double fx3 = fx * fx * fx, fz3 = fz * fz * fz;
  const double xr = fx3 > kEpsilon ? fx3 : (116.0 * fx - 16.0) / kKappa;
  const double yr = lab[0] > kKappa * kEpsilon ? fy * fy * fy : lab[0] / kKappa;
  const double zr = fz3 > kEpsilon ? fz3 : (116.0 * fz - 16.0) / kKappa;
  xyz[0] = xr * white[0];
  xyz[1] = yr * white[1];
  xyz[2] = zr * white[2];
}

void LabToLch(const double lab[3], double lch[3]) {
  lch[0] = lab[0];
  lch[1] = std::sqrt(lab[1] * lab[1] + lab[2] * lab[2]);
  lch[2] = Wrap360(std::atan2(lab[2], lab[1]) * 180.0 / kPi);
}

void LchToLab(const double lch[3], double lab[3]) {
  const double h = lch[2] * kPi / 180.0;
  lab[0] = lch[0];
  lab[1] = lch[1] * std::cos(h);
  lab[2] = lch[1] * std::sin(h);
}

double LightnessOfY(double y) { return 116.0 * LabF(y) - 16.0; }

double Wrap360(double a) {
  if (!std::isfinite(a)) return 0.0;
  double r = std::fmod(a, 360.0);
  if (r < 0.0) r += 360.0;
  if (r >= 360.0) r = 0.0;  // -tiny + 360 rounds to 360
  return r;
}

double Wrap180(double a) {
  if (!std::isfinite(a)) return 0.0;
  double r = std::fmod(a, 360.0);  // -360 < r < 360
  if (r > 180.0) r -= 360.0;
  if (r <= -180.0) r += 360.0;
  return r;
}

}  // namespace colorimetry
