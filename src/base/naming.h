// Output naming: the folder, name and extension of every saved image, from
// the save preferences; the JPEG quality bar's mapping and label; the filter
// for typed suffix and prefix text. Pure functions of their inputs.
// Format codes are the image-file formats: 1 TIFF, 7 BMP, 9 JPEG, 10 16-bit TIFF.
#pragma once

#include <string>

// Naming: 0 append suffix, 1 prepend prefix, 2 same as original.
enum OutputNamingMode : int { kNamingSuffix = 0, kNamingPrefix = 1, kNamingSame = 2 };
constexpr size_t kNameAffixMax = 19;  // characters of a suffix or prefix

struct OutputNaming {
  bool sameFolder = true;        // preference 73
  std::string folder;            // preference 74, ends in '/'
  int naming = kNamingSuffix;    // preference 96
  std::string suffix = "-zV";    // preference 75
  std::string prefix = "zV-";    // preference 97
  bool useExtensions = true;     // preference 76
  bool lowerCase = true;         // preference 77
  // More extensions an output name drops besides the classic image ones
  // (the formats read through their own libraries), asked lower case; none
  // when null.
  bool (*dropsExtension)(const std::string& lowerExt) = nullptr;
};

// The extension text of an output format ("tif", "BMP", ...).
std::string FormatExtension(int format, bool lowerCase);
// The output path of `inputPath` saved in `format`.
std::string OutputPathFor(const OutputNaming& naming, const std::string& inputPath, int format);

// Quality 0..1 from a click at x in a bar from a (left) to b (right edge, exclusive).
float QualityFromBar(int x, int a, int b);
// "%3d (PS:%2d)" with the quality percentage and its step on the 13-step scale,
// or "%3d (PS:n/a)" below 25.
std::string JpegQualityLabel(float quality);

// Whether a typed character may enter a suffix or prefix: not a control
// character, not DEL, not a folder separator ('\\' or '/').
bool IsNameAffixChar(unsigned char c);
// The text with refused characters dropped, cut to kNameAffixMax characters.
std::string FilterNameAffix(const std::string& text);
