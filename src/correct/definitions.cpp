#include "correct/definitions.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "correct/textscan.h"
#include "base/atomicfile.h"

namespace {
constexpr DefinitionKindInfo kKinds[kDefinitionKinds] = {
    {{0.5f, 0.5f, 0.5f}, 4600, 4610, 4620},
    {{0.5f, 0.5f, 0.5f}, 4601, 4611, 4621},
    {{0.625f, 0.5f, 0.4f}, 4602, 4612, 4622},
    {{0.5f, 0.5f, 0.5f}, 4603, 4613, 4623},
};
}  // namespace

Status GetDefinitionKind(int kind, DefinitionKindInfo* info) {
  if (!info || kind < 0 || kind >= kDefinitionKinds) return kBadArg;
  *info = kKinds[kind];
  return kOk;
}

float DefinitionValue(int position) {
  const double v = (position + 100) / 200.0;
  return (float)(v > 0.0 ? (v < 1.0 ? v : 1.0) : 0.0);
}

int DefinitionPosition(float value) {
  const double p = 200.0 * value;
  return (int)(p >= 0.0 ? p + 0.5 : p - 0.5) - 100;
}

Status ReadDefinitionFile(const StreamLocation& where, float rgb[3]) {
  if (!rgb) return kBadArg;
  Stream s;
  if (Status st = StreamOpen(s, where, kStreamRead); st != kOk) return st;
  std::string line;
  Status st = textscan::ReadLine(s, line);
  StreamClose(s);
  if (st != kOk) return st == kReadErr ? kFormatErr : st;  // an empty file holds no numbers
  double p[3];
  if (textscan::ScanNumbers(line.c_str(), "ddd", p) < 3) return kFormatErr;
  for (double v : p)
    if (v < -100.0 || v > 100.0) return kFormatErr;
  for (int c = 0; c < 3; ++c) rgb[c] = DefinitionValue((int)p[c]);
  return kOk;
}

Status WriteDefinitionFile(const StreamLocation& where, const float rgb[3]) {
  if (!rgb) return kBadArg;
  for (int c = 0; c < 3; ++c)
    if (!(rgb[c] >= 0.0f && rgb[c] <= 1.0f)) return kBadArg;
  char text[64];
  std::snprintf(text, sizeof text, "%d %d %d\n", DefinitionPosition(rgb[0]), DefinitionPosition(rgb[1]),
                DefinitionPosition(rgb[2]));
  return WriteWhole(where, [&](Stream& s) { return textscan::WriteText(s, text); });
}
