// RGB profiles made from chromaticities and a tone curve: what a reader
// carries when a file states its colour another way than by an ICC profile
// (a HEIF file's nclx colour box, the space a camera raw is rendered into).
// The profiles are LittleCMS's matrix/tone-curve RGB profiles (version 4,
// adapted to D50), the same bytes for the same arguments.
#pragma once

#include <cstdint>
#include <vector>

struct RgbChromaticities {
  double white[2], red[2], green[2], blue[2];  // CIE x, y
};

enum class RgbTone {
  kLinear,   // gamma 1
  kSrgb,     // IEC 61966-2-1
  kRec709,   // ITU-R BT.709 (also BT.601 and BT.2020)
  kGamma22,
  kGamma28,
};

// The chromaticities of LibRaw's output spaces (its output_color 1..4: sRGB,
// Adobe RGB (1998), Wide Gamut RGB, ProPhoto RGB).
RgbChromaticities RawSpaceChromaticities(int32_t libRawSpace);

// The profile's bytes; false when LittleCMS cannot build it (bytes empty).
bool MakeRgbProfile(const RgbChromaticities& space, RgbTone tone, const char* description,
                    std::vector<uint8_t>& bytes);
