#include "correct/customsettings.h"

#include <cstdio>
#include <string>

#include "correct/textscan.h"
#include "base/atomicfile.h"

using textscan::Fixed;

namespace {

std::string Int(long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

std::string BinLine(const SampleBin& b) {
  return Fixed(b.sum[0], 6) + " " + Fixed(b.sum[1], 6) + " " + Fixed(b.sum[2], 6) + " " + Int(b.count) + "\n";
}

std::string Floats(std::initializer_list<float> values) {
  std::string line;
  for (float v : values) {
    if (!line.empty()) line += ' ';
    line += Fixed(v, 6);
  }
  return line + "\n";
}

int32_t ToInt(double v) { return (int32_t)v; }  // ScanNumbers saturates 'd' items to 32 bits

// Reads the next line and scans it by `kinds`; kFormatErr when it yields fewer items.
Status ScanLine(Stream& s, const char* kinds, double* out) {
  std::string line;
  if (Status st = textscan::ReadLine(s, line); st != kOk) return st;
  const int want = (int)std::char_traits<char>::length(kinds);
  return textscan::ScanNumbers(line.c_str(), kinds, out) < want ? kFormatErr : kOk;
}

Status ReadBins(Stream& s, SampleBin* bins) {
  for (int i = 0; i < kSampleBins; ++i) {
    double v[4];
    if (Status st = ScanLine(s, "fffd", v); st != kOk) return st;
    bins[i] = SampleBin{{(float)v[0], (float)v[1], (float)v[2]}, ToInt(v[3])};
  }
  return kOk;
}

Status ReadBody(Stream& s, TavelinPars& p) {
  std::string line;
  if (Status st = textscan::ReadLine(s, line); st != kOk) return st;
  const bool v5 = line.compare(0, 2, "v5") == 0;
  if (v5)
    if (Status st = textscan::ReadLine(s, line); st != kOk) return st;
  double v[6];
  if (textscan::ScanNumbers(line.c_str(), "d", v) < 1) return kFormatErr;
  p.linear = v[0] != 0.0 ? 1 : 0;
  if (Status st = ReadBins(s, p.balBin); st != kOk) return st;
  if (Status st = ScanLine(s, "fff", v); st != kOk) return st;
  p.blackPoint = (float)v[0];
  p.grayPoint = (float)v[1];
  p.whitePoint = (float)v[2];
  if (Status st = ScanLine(s, "fffff", v); st != kOk) return st;
  p.brightness = (float)v[0];
  p.shadow = (float)v[1];
  p.highlight = (float)v[2];
  p.contrast = (float)v[3];
  p.saturation = (float)v[4];
  for (HueEntry& e : p.hue) {
    if (Status st = ScanLine(s, "ffffd", v); st != kOk) return st;
    e.baseHue = (float)v[0];
    e.hueShift = (float)v[1];
    e.brightness = (float)v[2];
    e.saturation = (float)v[3];
    e.handleId = ToInt(v[4]);
    if (Status st = ReadBins(s, e.hueBin); st != kOk) return st;
  }
  if (Status st = ScanLine(s, "ffff", v); st != kOk) return st;
  p.refRGB.gamma = (float)v[0];
  for (int i = 0; i < 3; ++i) p.refRGB.xyzWhite[i] = (float)v[i + 1];
  if (Status st = ScanLine(s, "ffffff", v); st != kOk) return st;
  for (int i = 0; i < 6; ++i) p.refRGB.primaries[i] = (float)v[i];
  if (v5) {
    if (Status st = ScanLine(s, "fff", v); st != kOk) return st;
    p.neutralPref = NeutralPref{(float)v[0], (float)v[1], (float)v[2]};
    if (Status st = ScanLine(s, "fff", v); st != kOk) return st;
    for (int i = 0; i < 3; ++i) p.toneColor[i] = (float)v[i];
  }
  return kOk;
}

}  // namespace

Status WriteCustomSettings(const TavelinPars* pars, const StreamLocation& where) {
  if (!pars) return kBadArg;
  std::string text = "v5\n";
  text += Int(pars->linear) + "\n";
  for (const SampleBin& b : pars->balBin) text += BinLine(b);
  text += Floats({pars->blackPoint, pars->grayPoint, pars->whitePoint});
  text += Floats({pars->brightness, pars->shadow, pars->highlight, pars->contrast, pars->saturation});
  for (const HueEntry& e : pars->hue) {
    text += Fixed(e.baseHue, 6) + " " + Fixed(e.hueShift, 6) + " " + Fixed(e.brightness, 6) + " " +
            Fixed(e.saturation, 6) + " " + Int(e.handleId) + "\n";
    for (const SampleBin& b : e.hueBin) text += BinLine(b);
  }
  const RefRGB& r = pars->refRGB;
  text += Floats({r.gamma, r.xyzWhite[0], r.xyzWhite[1], r.xyzWhite[2]});
  text += Floats({r.primaries[0], r.primaries[1], r.primaries[2], r.primaries[3], r.primaries[4], r.primaries[5]});
  text += Floats({pars->neutralPref.chroma, pars->neutralPref.hue, pars->neutralPref.hueSlope});
  text += Floats({pars->toneColor[0], pars->toneColor[1], pars->toneColor[2]});

  return WriteWhole(where, [&](Stream& s) { return textscan::WriteText(s, text); });
}

Status ReadCustomSettings(TavelinPars* pars, const StreamLocation& where) {
  if (!pars) return kBadArg;
  TavelinPars p = *pars;
  ResetTavelinPars(&p, TOOL_ALL);
  Stream s;
  if (Status st = StreamOpen(s, where, kStreamRead); st != kOk) return st;
  Status st = ReadBody(s, p);
  StreamClose(s);
  if (st != kOk) return st;
  if (Status v = ValidateTavelinPars(&p); v != kOk) return v;
  // Derived fields follow what was read: the matrices and linear curve from
  // the working space, the balance curves from the samples.
  if (Status v = SetRefRGB(&p, &p.refRGB); v != kOk) return v;
  RepairHandleIds(&p, nullptr);
  p.balanceValid = 0;
  *pars = p;
  return kOk;
}
