#include "autoq/colour.h"

#include <algorithm>
#include <cmath>

namespace autoq {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kD65[3] = {0.95047, 1.0, 1.08883};
// IEC 61966-2-1 matrices, linear sRGB <-> XYZ (D65).
constexpr double kRgbToXyz[9] = {0.4124564, 0.3575761, 0.1804375, 0.2126729, 0.7151522,
                                 0.0721750, 0.0193339, 0.1191920, 0.9503041};
constexpr double kXyzToRgb[9] = {3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108,
                                 0.0415560, 0.0556434,  -0.2040259, 1.0572252};
constexpr double kBradford[9] = {0.8951, 0.2664, -0.1614, -0.7502, 1.7135, 0.0367, 0.0389, -0.0685, 1.0296};

void Mul(const double m[9], const double v[3], double out[3]) {
  const double r[3] = {m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                       m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
  out[0] = r[0], out[1] = r[1], out[2] = r[2];
}

void MatMul(const double a[9], const double b[9], double out[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  std::copy(r, r + 9, out);
}

double LabF(double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; }

double Degrees(double rad) { return rad * 180.0 / kPi; }
double Radians(double deg) { return deg * kPi / 180.0; }

}  // namespace

bool InvertMatrix(const double m[9], double out[9]) {
  const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                     m[2] * (m[3] * m[7] - m[4] * m[6]);
  if (std::fabs(det) < 1e-12) return false;
  const double r[9] = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
                       (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
                       (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                       (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
                       (m[0] * m[4] - m[1] * m[3]) / det};
  std::copy(r, r + 9, out);
  return true;
}

double SrgbToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double LinearToSrgb(double v) {
  v = std::clamp(v, 0.0, 1.0);
  return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

void LinearRgbToXyz(const double rgb[3], double xyz[3]) { Mul(kRgbToXyz, rgb, xyz); }
void XyzToLinearRgb(const double xyz[3], double rgb[3]) { Mul(kXyzToRgb, xyz, rgb); }

void XyzToLab(const double xyz[3], double lab[3]) {
  const double fx = LabF(xyz[0] / kD65[0]), fy = LabF(xyz[1] / kD65[1]), fz = LabF(xyz[2] / kD65[2]);
  lab[0] = 116.0 * fy - 16.0;
  lab[1] = 500.0 * (fx - fy);
  lab[2] = 200.0 * (fy - fz);
}

double DeltaE2000(const double lab1[3], const double lab2[3]) {
  const double c1 = std::hypot(lab1[1], lab1[2]), c2 = std::hypot(lab2[1], lab2[2]);
  const double cMean7 = std::pow((c1 + c2) / 2.0, 7.0);
  const double g = 0.5 * (1.0 - std::sqrt(cMean7 / (cMean7 + 6103515625.0)));  // 25^7
  const double a1 = (1.0 + g) * lab1[1], a2 = (1.0 + g) * lab2[1];
  const double cp1 = std::hypot(a1, lab1[2]), cp2 = std::hypot(a2, lab2[2]);
  auto hue = [](double b, double a) {
    if (a == 0.0 && b == 0.0) return 0.0;
    double h = Degrees(std::atan2(b, a));
    return h < 0.0 ? h + 360.0 : h;
  };
  const double h1 = hue(lab1[2], a1), h2 = hue(lab2[2], a2);
  const double dL = lab2[0] - lab1[0], dC = cp2 - cp1;
  double dh = 0.0;
  if (cp1 * cp2 != 0.0) {
    dh = h2 - h1;
    if (dh > 180.0) dh -= 360.0;
    else if (dh < -180.0) dh += 360.0;
  }
  const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(Radians(dh / 2.0));
  const double lMean = (lab1[0] + lab2[0]) / 2.0, cpMean = (cp1 + cp2) / 2.0;
  double hMean = h1 + h2;
  if (cp1 * cp2 != 0.0) {
    if (std::fabs(h1 - h2) > 180.0) hMean += hMean < 360.0 ? 360.0 : -360.0;
    hMean /= 2.0;
  }
  const double t = 1.0 - 0.17 * std::cos(Radians(hMean - 30.0)) + 0.24 * std::cos(Radians(2.0 * hMean)) +
                   0.32 * std::cos(Radians(3.0 * hMean + 6.0)) - 0.20 * std::cos(Radians(4.0 * hMean - 63.0));
  const double dTheta = 30.0 * std::exp(-std::pow((hMean - 275.0) / 25.0, 2.0));
  const double cpMean7 = std::pow(cpMean, 7.0);
  const double rc = 2.0 * std::sqrt(cpMean7 / (cpMean7 + 6103515625.0));
  const double l50 = (lMean - 50.0) * (lMean - 50.0);
  const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
  const double sc = 1.0 + 0.045 * cpMean, sh = 1.0 + 0.015 * cpMean * t;
  const double rt = -std::sin(Radians(2.0 * dTheta)) * rc;
  const double l = dL / sl, c = dC / sc, h = dH / sh;
  return std::sqrt(l * l + c * c + h * h + rt * c * h);
}

void PlanckianXy(double k, double xy[2]) {
  // Kim et al.'s cubic spline approximation of the Planckian locus.
  double x;
  if (k <= 4000.0)
    x = -0.2661239e9 / (k * k * k) - 0.2343589e6 / (k * k) + 0.8776956e3 / k + 0.179910;
  else
    x = -3.0258469e9 / (k * k * k) + 2.1070379e6 / (k * k) + 0.2226347e3 / k + 0.240390;
  double y;
  if (k <= 2222.0)
    y = -1.1063814 * x * x * x - 1.34811020 * x * x + 2.18555832 * x - 0.20219683;
  else if (k <= 4000.0)
    y = -0.9549476 * x * x * x - 1.37418593 * x * x + 2.09137015 * x - 0.16748867;
  else
    y = 3.0817580 * x * x * x - 5.87338670 * x * x + 3.75112997 * x - 0.37001483;
  xy[0] = x, xy[1] = y;
}

void DaylightXy(double k, double xy[2]) {
  const double x = k <= 7000.0 ? -4.6070e9 / (k * k * k) + 2.9678e6 / (k * k) + 0.09911e3 / k + 0.244063
                               : -2.0064e9 / (k * k * k) + 1.9018e6 / (k * k) + 0.24748e3 / k + 0.237040;
  xy[0] = x, xy[1] = -3.000 * x * x + 2.870 * x - 0.275;
}

void CastMatrix(const double xy[2], double strength, double m[9]) {
  const double white[3] = {xy[0] / xy[1], 1.0, (1.0 - xy[0] - xy[1]) / xy[1]};
  double lmsFrom[3], lmsTo[3];
  Mul(kBradford, kD65, lmsFrom);
  Mul(kBradford, white, lmsTo);
  double gain[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 3; ++i) gain[4 * i] = std::pow(lmsTo[i] / lmsFrom[i], strength);
  double inverseBradford[9], t[9];
  InvertMatrix(kBradford, inverseBradford);
  // linear sRGB -> XYZ -> cones -> scaled -> XYZ -> linear sRGB
  MatMul(kBradford, kRgbToXyz, t);
  MatMul(gain, t, t);
  MatMul(inverseBradford, t, t);
  MatMul(kXyzToRgb, t, m);
  double top = 0.0;
  for (int i = 0; i < 3; ++i) top = std::max(top, m[3 * i] + m[3 * i + 1] + m[3 * i + 2]);
  for (int i = 0; i < 9; ++i) m[i] /= top;
}

}  // namespace autoq
