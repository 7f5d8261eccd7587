#include "base/naming.h"

#include <cctype>
#include <cmath>

#include "base/strings.h"

namespace {
long RoundHalfAway(double v) { return (long)(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5)); }

// Extensions removed before the output's own is appended: strings 6803–6809 and 6703–6709.
bool IsKnownExtension(const std::string& ext) {
  for (int id = 6803; id <= 6809; ++id)
    if (ext == ResString(id) || ext == ResString(id - 100)) return true;
  return false;
}
}  // namespace

std::string FormatExtension(int format, bool lowerCase) {
  // BMP 7, JPEG 9, Targa 2, PNG 12 and 16-bit PNG 13, WebP 14; TIFF otherwise.
  if (format == 14) return lowerCase ? "webp" : "WEBP";
  int id = format == 7 ? 6704 : format == 9 ? 6706 : format == 2 ? 6707 : format == 12 || format == 13 ? 6709 : 6703;
  return ResString(lowerCase ? id + 100 : id);
}

std::string OutputPathFor(const OutputNaming& n, const std::string& inputPath, int format) {
  std::string path;
  if (n.sameFolder) {
    size_t slash = inputPath.rfind('/');
    if (slash != std::string::npos) path = inputPath.substr(0, slash + 1);
  } else {
    path = n.folder;
  }
  std::string leaf = n.naming == kNamingPrefix ? n.prefix : std::string();
  leaf += LeafName(inputPath);
  if (n.useExtensions) {
    size_t dot = leaf.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : leaf.substr(dot + 1), lower = ext;
    for (char& c : lower) c = (char)std::tolower((unsigned char)c);
    if (dot != std::string::npos && (IsKnownExtension(ext) || (n.dropsExtension && n.dropsExtension(lower))))
      leaf.erase(dot);
  }
  if (n.naming == kNamingSuffix) leaf += n.suffix;
  if (n.useExtensions) leaf += "." + FormatExtension(format, n.lowerCase);
  return path + leaf;
}

float QualityFromBar(int x, int a, int b) {
  if (b - 1 <= a) return 1.0f;
  if (x < a) x = a;
  if (x > b - 1) x = b - 1;
  return (float)RoundHalfAway((double)(x - a) / (double)(b - 1 - a) * 100.0) / 100.0f;
}

std::string JpegQualityLabel(float quality) {
  static const int kScale[13] = {26, 30, 34, 40, 47, 56, 65, 73, 82, 89, 93, 97, 100};
  const double v = (double)quality * 100.0;
  const long q = RoundHalfAway(v);
  if (q < 25) return Fmt("%3ld (PS:n/a)", q);
  double position;
  if (v <= kScale[0]) position = 0;
  else if (v >= kScale[12]) position = 12;
  else {
    int i = 0;
    while (v > kScale[i + 1]) ++i;
    position = i + (v - kScale[i]) / (double)(kScale[i + 1] - kScale[i]);
  }
  const double t = position / 12.0;
  return Fmt("%3ld (PS:%2ld)", q, RoundHalfAway(t * 12.0));
}

bool IsNameAffixChar(unsigned char c) { return c >= 32 && c != 127 && c != '\\' && c != '/'; }

std::string FilterNameAffix(const std::string& text) {
  std::string out;
  for (unsigned char c : text)
    if (IsNameAffixChar(c) && out.size() < kNameAffixMax) out += (char)c;
  return out;
}
