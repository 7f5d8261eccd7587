// Colour arithmetic of the automatic-correction quality benchmark: the sRGB
// transfer curve, sRGB <-> XYZ (D65), CIE L*a*b* with the D65 white, the
// CIEDE2000 colour difference, Bradford von Kries adaptation between two
// white points, and the chromaticities of Planckian and CIE daylight
// illuminants. Plain double arithmetic, no state; values are 0..1 RGB, XYZ
// with Y = 1 for white, L* 0..100.
#pragma once

namespace autoq {

double SrgbToLinear(double v);
double LinearToSrgb(double v);

// out = m^-1 (row-major 3 x 3); false when m is singular.
bool InvertMatrix(const double m[9], double out[9]);

void LinearRgbToXyz(const double rgb[3], double xyz[3]);
void XyzToLinearRgb(const double xyz[3], double rgb[3]);
void XyzToLab(const double xyz[3], double lab[3]);  // D65 white

// CIEDE2000 with kL = kC = kH = 1.
double DeltaE2000(const double lab1[3], const double lab2[3]);

// xy chromaticity of a blackbody (1667..25000 K) and of CIE daylight (4000..25000 K).
void PlanckianXy(double kelvin, double xy[2]);
void DaylightXy(double kelvin, double xy[2]);

// The 3 x 3 matrix on linear sRGB (row-major, out = M in) that adapts D65 to
// the white `xy` by von Kries scaling in Bradford cone space, the cone gains
// raised to `strength` (1 full, 0.5 half), scaled so that white (1, 1, 1)
// reaches 1 in its largest channel and so does not clip.
void CastMatrix(const double xy[2], double strength, double m[9]);

}  // namespace autoq
