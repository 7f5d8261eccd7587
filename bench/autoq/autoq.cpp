// tavelin-autoq: the automatic-correction quality benchmark's image work,
// driven by bench/autoq.sh. Every image it reads or writes is a binary PPM
// (P6, 8 or 16 bits), which the driver makes with ImageMagick from the
// files the tools read and write.
//
//   tavelin-autoq selftest                 CIEDE2000 on Sharma, Wu and Dalal's 34 published pairs
//   tavelin-autoq degrade ORIG.ppm PREFIX  the 17 degradations, PREFIX__<name>.ppm (16-bit)
//   tavelin-autoq grayworld IN OUT [IN OUT]...   the gray-world baseline in linear light
//   tavelin-autoq score LIST               LIST lines "tool set class image degradation orig.ppm out.ppm";
//                                          prints each line with its mean CIEDE2000 appended
//   tavelin-autoq report SCORES [OURS]     the per-class table and the AUTOQ line
//   tavelin-autoq witnesses LIST           LIST lines "set class image degradation seen.ppm"; prints the
//                                          cast applied, the Adaptive analysis's illuminant witnesses
//                                          and its exposure measures (white, clipped share, factor)
//                                          on the picture as the program analyses it (for
//                                          studying the estimates offline)
//
// Degradations work in linear light: decode sRGB, operate, clip, encode.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "autoq/colour.h"
#include "colormgmt/icctintmesh.h"
#include "colormgmt/workingspaces.h"
#include "correct/brivio_adaptive.h"
#include "correct/tavelinpars.h"

namespace {

using namespace autoq;

struct Image {
  int width = 0, height = 0;
  std::vector<double> rgb;  // sRGB-encoded 0..1, interleaved
};

bool ReadPpm(const std::string& path, Image* img) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  // Header: "P6", width, height, maxval, separated by blanks and '#' comments,
  // then one whitespace byte.
  auto number = [f]() {
    int c = std::fgetc(f);
    while (c == '#' || std::isspace(c)) {
      if (c == '#')
        while (c != '\n' && c != EOF) c = std::fgetc(f);
      c = std::fgetc(f);
    }
    long v = -1;
    for (; c != EOF && std::isdigit(c); c = std::fgetc(f)) v = (v < 0 ? 0 : v * 10) + (c - '0');
    return v > 100000 ? -1L : v;  // the byte after the number is consumed
  };
  const bool magic = std::fgetc(f) == 'P' && std::fgetc(f) == '6';
  const long w = magic ? number() : -1, h = magic ? number() : -1, maxval = magic ? number() : -1;
  bool ok = magic && w > 0 && h > 0 && w <= 20000 && h <= 20000 && maxval > 0 && maxval <= 65535;
  if (ok) {
    const size_t n = (size_t)w * h * 3, bytes = maxval > 255 ? 2 : 1;
    std::vector<uint8_t> raw(n * bytes);
    ok = std::fread(raw.data(), 1, raw.size(), f) == raw.size();
    if (ok) {
      img->width = w, img->height = h;
      img->rgb.resize(n);
      for (size_t i = 0; i < n; ++i)
        img->rgb[i] = (bytes == 2 ? (raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i]) / (double)maxval;
    }
  }
  std::fclose(f);
  return ok;
}

bool WritePpm16(const std::string& path, const Image& img) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n65535\n", img.width, img.height);
  std::vector<uint8_t> raw(img.rgb.size() * 2);
  for (size_t i = 0; i < img.rgb.size(); ++i) {
    const int v = (int)std::lround(std::clamp(img.rgb[i], 0.0, 1.0) * 65535.0);
    raw[2 * i] = (uint8_t)(v >> 8), raw[2 * i + 1] = (uint8_t)v;
  }
  const bool ok = std::fwrite(raw.data(), 1, raw.size(), f) == raw.size();
  return std::fclose(f) == 0 && ok;
}

// ---- selftest -----------------------------------------------------------------------------

int SelfTest() {
  // Sharma, Wu and Dalal (2005), table 1: L1 a1 b1 L2 a2 b2 dE00.
  static const double kPairs[34][7] = {
      {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
      {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
      {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
      {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
      {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
      {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
      {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
      {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
      {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
      {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
      {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
      {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
      {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
      {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
      {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
      {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
      {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
      {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
      {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
      {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
      {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
      {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
      {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
      {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
      {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
      {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
      {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
      {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
      {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
      {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
      {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
      {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
      {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
      {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082},
  };
  int failed = 0;
  double worst = 0.0;
  for (const auto& p : kPairs) {
    // Both orders: the formula is symmetric.
    for (int swap = 0; swap < 2; ++swap) {
      const double* a = swap ? p + 3 : p;
      const double* b = swap ? p : p + 3;
      const double e = std::fabs(DeltaE2000(a, b) - p[6]);
      worst = std::max(worst, e);
      if (e > 5e-5) ++failed;
    }
  }
  // The sRGB white is the Lab white, and the cast matrices keep white unclipped.
  double white[3] = {1, 1, 1}, xyz[3], lab[3];
  LinearRgbToXyz(white, xyz);
  XyzToLab(xyz, lab);
  if (std::fabs(lab[0] - 100.0) > 1e-3 || std::fabs(lab[1]) > 1e-2 || std::fabs(lab[2]) > 1e-2) ++failed;
  std::printf("CIEDE2000 on 34 published pairs, both orders: largest error %.6f; %s\n", worst,
              failed ? "FAILED" : "ok");
  return failed ? 1 : 0;
}

// ---- degradations ---------------------------------------------------------------------------

struct Degradation {
  const char* name;
  const char* cls;  // cast, exposure, haze, cast+exp
  int illuminant;   // -1 none; 0 Planckian 3200 K, 1 daylight 7500 K, 2 green, 3 magenta
  double strength;  // cone gains raised to this
  double exposure;  // linear factor
  int haze;         // 0 none, 1 linear, 2 sRGB-encoded
};

const Degradation kDegradations[] = {
    {"t3200", "cast", 0, 1.0, 1.0, 0},           {"t3200h", "cast", 0, 0.5, 1.0, 0},
    {"d7500", "cast", 1, 1.0, 1.0, 0},           {"d7500h", "cast", 1, 0.5, 1.0, 0},
    {"green", "cast", 2, 1.0, 1.0, 0},           {"greenh", "cast", 2, 0.5, 1.0, 0},
    {"magenta", "cast", 3, 1.0, 1.0, 0},         {"magentah", "cast", 3, 0.5, 1.0, 0},
    {"ev-1.5", "exposure", -1, 0, 0.35355339, 0}, {"ev-0.7", "exposure", -1, 0, 0.61557221, 0},
    {"ev+1", "exposure", -1, 0, 2.0, 0},          {"hazelin", "haze", -1, 0, 1.0, 1},
    {"flat", "haze", -1, 0, 1.0, 2},              {"t3200ev-1", "cast+exp", 0, 1.0, 0.5, 0},
    {"d7500ev-1", "cast+exp", 1, 1.0, 0.5, 0},    {"greenev-1", "cast+exp", 2, 1.0, 0.5, 0},
    {"magentaev-1", "cast+exp", 3, 1.0, 0.5, 0},
};

void IlluminantXy(int which, double xy[2]) {
  switch (which) {
    case 0: PlanckianXy(3200.0, xy); return;
    case 1: DaylightXy(7500.0, xy); return;
    case 2: xy[0] = 0.315, xy[1] = 0.360; return;
    default: xy[0] = 0.310, xy[1] = 0.290; return;
  }
}

Image Degrade(const Image& in, const Degradation& d) {
  double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (d.illuminant >= 0) {
    double xy[2];
    IlluminantXy(d.illuminant, xy);
    CastMatrix(xy, d.strength, m);
  }
  Image out = in;
  for (size_t i = 0; i < in.rgb.size(); i += 3) {
    double lin[3], v[3];
    for (int c = 0; c < 3; ++c) lin[c] = SrgbToLinear(in.rgb[i + c]);
    for (int c = 0; c < 3; ++c) v[c] = m[3 * c] * lin[0] + m[3 * c + 1] * lin[1] + m[3 * c + 2] * lin[2];
    for (int c = 0; c < 3; ++c) {
      double x = std::clamp(v[c] * d.exposure, 0.0, 1.0);
      if (d.haze == 1) x = 0.25 + 0.6 * x;
      double e = LinearToSrgb(x);
      if (d.haze == 2) e = 0.25 + 0.6 * e;
      out.rgb[i + c] = e;
    }
  }
  return out;
}

int DegradeCommand(const std::string& orig, const std::string& prefix) {
  Image img;
  if (!ReadPpm(orig, &img)) {
    std::fprintf(stderr, "tavelin-autoq: cannot read %s\n", orig.c_str());
    return 1;
  }
  for (const Degradation& d : kDegradations) {
    const std::string path = prefix + "__" + d.name + ".ppm";
    if (!WritePpm16(path, Degrade(img, d))) {
      std::fprintf(stderr, "tavelin-autoq: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

// ---- gray world -------------------------------------------------------------------------------

int GrayWorld(int argc, char** argv) {
  for (int i = 0; i + 1 < argc; i += 2) {
    Image img;
    if (!ReadPpm(argv[i], &img)) {
      std::fprintf(stderr, "tavelin-autoq: cannot read %s\n", argv[i]);
      return 1;
    }
    double sum[3] = {0, 0, 0};
    for (size_t k = 0; k < img.rgb.size(); ++k) sum[k % 3] += SrgbToLinear(img.rgb[k]);
    const double mean = (sum[0] + sum[1] + sum[2]) / 3.0;
    double gain[3];
    for (int c = 0; c < 3; ++c) gain[c] = sum[c] > 0 ? mean / sum[c] : 1.0;
    for (size_t k = 0; k < img.rgb.size(); ++k) img.rgb[k] = LinearToSrgb(SrgbToLinear(img.rgb[k]) * gain[k % 3]);
    if (!WritePpm16(argv[i + 1], img)) return 1;
  }
  return 0;
}

// ---- scoring ----------------------------------------------------------------------------------

void ToLab(const Image& img, std::vector<float>* lab) {
  lab->resize(img.rgb.size());
  for (size_t i = 0; i < img.rgb.size(); i += 3) {
    double lin[3], xyz[3], l[3];
    for (int c = 0; c < 3; ++c) lin[c] = SrgbToLinear(img.rgb[i + c]);
    LinearRgbToXyz(lin, xyz);
    XyzToLab(xyz, l);
    for (int c = 0; c < 3; ++c) (*lab)[i + c] = (float)l[c];
  }
}

// Mean CIEDE2000 over the pixels; -1 when a file is missing or the sizes differ.
double MeanDeltaE(const std::string& a, const std::string& b) {
  Image ia, ib;
  if (!ReadPpm(a, &ia) || !ReadPpm(b, &ib) || ia.width != ib.width || ia.height != ib.height) return -1.0;
  std::vector<float> la, lb;
  ToLab(ia, &la);
  ToLab(ib, &lb);
  double sum = 0.0;
  for (size_t i = 0; i < la.size(); i += 3) {
    const double p[3] = {la[i], la[i + 1], la[i + 2]}, q[3] = {lb[i], lb[i + 1], lb[i + 2]};
    sum += DeltaE2000(p, q);
  }
  return sum / (la.size() / 3);
}

int Score(const std::string& list) {
  std::ifstream in(list);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  std::vector<double> result(lines.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < lines.size();) {
      std::istringstream s(lines[i]);
      std::string f[7];
      for (auto& x : f) s >> x;
      result[i] = MeanDeltaE(f[5], f[6]);
    }
  };
  std::thread helper(work);
  work();
  helper.join();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream s(lines[i]);
    std::string f[5];
    for (auto& x : f) s >> x;
    std::printf("%s\t%s\t%s\t%s\t%s\t%.4f\n", f[0].c_str(), f[1].c_str(), f[2].c_str(), f[3].c_str(), f[4].c_str(),
                result[i]);
  }
  return 0;
}

// ---- illuminant witnesses -----------------------------------------------------------------

// The picture as the program analyses it: averaged down to at most 180
// pixels a side in encoded values, 8 bits. A file without a profile is read
// as in the working space: its codes stay as they are.
std::vector<uint8_t> AnalysisThumbnail(const Image& img, int* w, int* h) {
  const int box = 180;
  const double f = std::max(1.0, std::max(img.width, img.height) / (double)box);
  *w = std::max(1, (int)std::lround(img.width / f)), *h = std::max(1, (int)std::lround(img.height / f));
  std::vector<uint8_t> out((size_t)*w * *h * 3);
  for (int y = 0; y < *h; ++y)
    for (int x = 0; x < *w; ++x) {
      const int x0 = x * img.width / *w, x1 = std::max(x0 + 1, (x + 1) * img.width / *w);
      const int y0 = y * img.height / *h, y1 = std::max(y0 + 1, (y + 1) * img.height / *h);
      double sum[3] = {0, 0, 0};
      for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx)
          for (int c = 0; c < 3; ++c) sum[c] += img.rgb[((size_t)yy * img.width + xx) * 3 + c];
      for (int c = 0; c < 3; ++c)
        out[((size_t)y * *w + x) * 3 + c] = (uint8_t)std::lround(sum[c] / ((x1 - x0) * (y1 - y0)) * 255.0);
    }
  return out;
}

int Witnesses(const std::string& list) {
  TavelinPars pars;
  RefRGB ref;
  if (InitTavelinPars(&pars) != kOk || FillRefRGB(0, &ref) != kOk ||
      SetRefRGB(&pars, &ref) != kOk)
    return 1;
  std::ifstream in(list);
  for (std::string line; std::getline(in, line);) {
    std::istringstream s(line);
    std::string set, cls, image, deg, path;
    if (!(s >> set >> cls >> image >> deg >> path)) continue;
    // The cast applied: the colour white takes (linear sRGB, as the working
    // space's linear values of the same codes nearly are).
    double target[2] = {0, 0};
    for (const Degradation& d : kDegradations) {
      if (deg != d.name || d.illuminant < 0) continue;
      double xy[2], m[9], w[3];
      IlluminantXy(d.illuminant, xy);
      CastMatrix(xy, d.strength, m);
      for (int r = 0; r < 3; ++r) w[r] = m[3 * r] + m[3 * r + 1] + m[3 * r + 2];
      target[0] = std::log(w[0] / w[1]), target[1] = std::log(w[2] / w[1]);
    }
    Image img;
    if (!ReadPpm(path, &img)) {
      std::fprintf(stderr, "tavelin-autoq: cannot read %s\n", path.c_str());
      return 1;
    }
    int w, h;
    std::vector<uint8_t> thumb = AnalysisThumbnail(img, &w, &h);
    RasterView view;
    view.width = w, view.height = h, view.rowStep = (int64_t)w * 3;
    for (int c = 0; c < 3; ++c) view.chan[c] = thumb.data() + c;
    TavelinPars work = pars;
    AdaptiveModel model;
    if (AnalyseAdaptive(&work, &view, TOOL_LINEAR, kDefaultGridIndex, kDefaultGridIndex, true, true, &model) != kOk) return 1;
    std::printf("%s %s %s %s %.5f %.5f", set.c_str(), cls.c_str(), image.c_str(), deg.c_str(), target[0], target[1]);
    for (const auto& uv : model.witnesses.uv) std::printf(" %.5f %.5f", uv[0], uv[1]);
    std::printf(" %.5f %.5f %.5f %.5f", model.witnesses.clippedShare, model.haze, model.key, model.peak);
    std::printf(" %.5f %.5f %.5f %.4f %.4f %.5f %.5f %.5f\n", model.witnesses.plateauShare, model.witnesses.plateauUv[0],
                model.witnesses.plateauUv[1], model.castConfidence, model.spread, model.white, model.clipped, model.scale);
  }
  return 0;
}

// ---- report -----------------------------------------------------------------------------------

struct Row {
  std::string tool, set, cls, image, deg;
  double de;
};

int Report(int argc, char** argv) {
  std::vector<Row> rows;
  for (int a = 0; a < argc; ++a) {
    std::ifstream in(argv[a]);
    for (Row r; in >> r.tool >> r.set >> r.cls >> r.image >> r.deg >> r.de;) rows.push_back(r);
  }
  // Doing nothing, per image and degradation: the reference for "improved".
  std::map<std::string, double> none;
  std::vector<std::string> tools;
  for (const Row& r : rows) {
    if (r.tool == "none") none[r.set + "/" + r.image + "/" + r.deg] = r.de;
    if (std::find(tools.begin(), tools.end(), r.tool) == tools.end()) tools.push_back(r.tool);
  }
  const char* kClasses[] = {"cast", "exposure", "haze", "cast+exp"};
  int status = 0;
  for (const char* set : {"check", "tune"}) {
    struct Stat {
      double sum = 0;
      int n = 0;
      double Mean() const { return n ? sum / n : NAN; }
    };
    std::map<std::string, std::map<std::string, Stat>> byClass;  // tool -> class
    std::map<std::string, Stat> all, improved, harm, harmUnder2;
    std::map<std::string, int> missing;
    std::set<std::string> images;
    for (const Row& r : rows) {
      if (r.set != set) continue;
      images.insert(r.image);
      if (r.de < 0) {
        ++missing[r.tool];
        continue;
      }
      if (r.cls == "original") {
        harm[r.tool].sum += r.de, ++harm[r.tool].n;
        harmUnder2[r.tool].sum += r.de <= 2.0, ++harmUnder2[r.tool].n;
        continue;
      }
      byClass[r.tool][r.cls].sum += r.de, ++byClass[r.tool][r.cls].n;
      all[r.tool].sum += r.de, ++all[r.tool].n;
      const auto it = none.find(std::string(set) + "/" + r.image + "/" + r.deg);
      if (it != none.end()) improved[r.tool].sum += r.de < it->second, ++improved[r.tool].n;
    }
    if (all.empty()) continue;
    std::printf("\n== %s set: %zu photographs; mean CIEDE2000 to the original (lower is better)\n", set,
                images.size());
    std::printf("%-18s", "tool");
    for (const char* c : kClasses) std::printf(" %9s", c);
    std::printf(" %9s %9s %9s %9s\n", "all", "improved", "harm", "harm<=2");
    for (const std::string& t : tools) {
      if (!all.count(t)) continue;
      std::printf("%-18s", t.c_str());
      for (const char* c : kClasses) std::printf(" %9.3f", byClass[t][c].Mean());
      std::printf(" %9.3f %8.1f%% %9.3f %8.1f%%", all[t].Mean(), 100.0 * improved[t].Mean(), harm[t].Mean(),
                  100.0 * harmUnder2[t].Mean());
      if (missing[t]) std::printf("  (%d missing)", missing[t]);
      std::printf("\n");
    }
    if (std::string(set) != "check" || !all.count("ours")) continue;
    // The best peer: every tool but ours (and its Classic form).
    std::string best;
    for (const std::string& t : tools)
      if (t != "ours" && t != "classic" && all.count(t) && (best.empty() || all[t].Mean() < all[best].Mean())) best = t;
    std::printf("\nAUTOQ ours=%.3f best_peer=%.3f (%s) harm=%.3f improved=%.1f\n", all["ours"].Mean(),
                all[best].Mean(), best.c_str(), harm["ours"].Mean(), 100.0 * improved["ours"].Mean());
    bool everyClass = true;
    for (const char* c : kClasses) {
      double peer = 1e30;
      for (const std::string& t : tools)
        if (t != "ours" && t != "classic" && byClass[t].count(c)) peer = std::min(peer, byClass[t][c].Mean());
      everyClass = everyClass && byClass["ours"][c].Mean() < peer;
    }
    const bool met = all["ours"].Mean() <= 0.75 * all[best].Mean() && everyClass &&
                     improved["ours"].Mean() >= 0.85 && harm["ours"].Mean() <= 1.0 && harmUnder2["ours"].Mean() >= 0.9;
    std::printf("goals: ratio %.3f (<= 0.75), better in every class: %s, improved %.1f%% (>= 85), harm %.3f (<= 1.0), "
                "harm <= 2 on %.1f%% (>= 90): %s\n",
                all["ours"].Mean() / all[best].Mean(), everyClass ? "yes" : "no", 100.0 * improved["ours"].Mean(),
                harm["ours"].Mean(), 100.0 * harmUnder2["ours"].Mean(), met ? "MET" : "NOT MET");
    status = met ? 0 : 3;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "selftest") return SelfTest();
  if (cmd == "degrade" && argc == 4) return DegradeCommand(argv[2], argv[3]);
  if (cmd == "grayworld" && argc >= 4) return GrayWorld(argc - 2, argv + 2);
  if (cmd == "score" && argc == 3) return Score(argv[2]);
  if (cmd == "report" && argc >= 3) return Report(argc - 2, argv + 2);
  if (cmd == "witnesses" && argc == 3) return Witnesses(argv[2]);
  if (cmd == "degradations") {
    for (const Degradation& d : kDegradations) std::printf("%s %s\n", d.name, d.cls);
    return 0;
  }
  std::fprintf(stderr, "usage: tavelin-autoq selftest | degradations | degrade ORIG.ppm PREFIX | grayworld IN OUT... | "
                       "score LIST | report SCORES...\n");
  return 2;
}
