// Colorimetry shared by the correction engine: CIE daylight whites, Bradford
// adaptation, RGB<->XYZ matrices of a working space, CIE L*a*b* and LCh.
//
// Conventions: XYZ triples have Y = 1 for a white; L* runs 0..100; hue angles
// are degrees 0..360. 3×3 matrices are nine doubles in the record's layout:
// element 3i + j is the contribution of input channel i to output channel j,
// so out[j] = sum_i in[i] * m[3i + j]. Pure functions, no allocation.
#pragma once

#include "base/status.h"

namespace colorimetry {

// xy chromaticity of the CIE daylight illuminant of correlated colour
// temperature t (kelvin), by the daylight-locus formula (two ranges, split at 7000 K).
void DaylightXy(double t, double xy[2]);
// XYZ (Y = 1) of that illuminant.
void DaylightXyz(double t, double xyz[3]);
// XYZ (Y = 1) of the 5000 K daylight illuminant: the D50 white of the engine.
void D50(double xyz[3]);

// xy -> XYZ with Y = 1; kBadArg when y is not above zero.
Status XyToXyz(double x, double y, double xyz[3]);

// m = a * b in the record's layout (apply a first, then b).
void MatMul(const double a[9], const double b[9], double m[9]);
// Inverse; kBadArg for a singular or non-finite matrix.
Status MatInvert(const double m[9], double inv[9]);
void MatApply(const double m[9], const double in[3], double out[3]);

// Bradford chromatic adaptation matrix from white `src` to white `dst`.
Status BradfordMatrix(const double src[3], const double dst[3], double m[9]);

// The RGB -> XYZ matrix of a working space given by its six xy primaries
// (xR, yR, xG, yG, xB, yB) and its white `white` (XYZ, Y = 1), with the
// primaries and white adapted by Bradford to `adaptTo` (pass `white` itself for
// the unadapted matrix). RGB (1, 1, 1) maps to the adapted white.
// kBadArg when the matrix cannot be formed.
Status RgbToXyzMatrix(const float primaries[6], const double white[3], const double adaptTo[3], double m[9]);

// CIE L*a*b* with the given white (XYZ of the white, Y = 1).
void XyzToLab(const double xyz[3], const double white[3], double lab[3]);
void LabToXyz(const double lab[3], const double white[3], double xyz[3]);
// L*a*b* <-> LCh (hue in degrees 0..360).
void LabToLch(const double lab[3], double lch[3]);
void LchToLab(const double lch[3], double lab[3]);
// L* of a relative luminance Y (0..1).
double LightnessOfY(double y);

// Brings an angle into 0 <= a < 360 (finite input; non-finite gives 0).
double Wrap360(double a);
// Brings an angle into -180 < a <= 180 (finite input; non-finite gives 0).
double Wrap180(double a);

}  // namespace colorimetry
