// Pixel readouts of the editing window: the colour of a sample point before
// and after the edits, as three or four whole numbers in the chosen model.
//   RGB:  "R:", "G:", "B:"       0..255
//   HSB:  "H:", "S:", "B:"       hue in degrees 0..359, saturation and
//                                brightness (the HSV value) in percent
//   CMYK: "C:", "M:", "Y:", "K:" percent, K = 1 - max, the rest relative to 1 - K
// Colours come in as working-space channels 0..1 (clamped); numbers are
// rounded half up. Each number is written "%3d" after its label.
#pragma once

#include <string>

#include "base/status.h"

enum ReadoutModel : int { kReadoutRGB = 0, kReadoutHSB = 1, kReadoutCMYK = 2 };
constexpr int kReadoutModels = 3;

struct ReadoutValues {
  int count = 0;            // 3, or 4 for CMYK
  const char* labels[4] = {};
  int values[4] = {};
};

// kBadArg for another model or a null colour.
Status ReadoutFromColour(const float rgb[3], int model, ReadoutValues* out);
// "R:%3d G:%3d B:%3d" and the like.
std::string FormatReadout(const ReadoutValues& values);
