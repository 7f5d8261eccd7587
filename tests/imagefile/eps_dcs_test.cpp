// EPS and DCS modules: round trips in both encodings, the header by variant,
// Ghostscript drawing our files, DCS sets with their plates, refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/dcs.h"
#include "imagefile/eps.h"
#include "imagefile/imagefile_support.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

class EpsDcsTest : public ::testing::Test {};

WriteOptions Eps(int32_t mode, int32_t encoding = 1) {
  WriteOptions options;
  options.epsMode = mode;
  options.epsEncoding = encoding;
  return options;
}

std::string Text(const std::string& path) {
  std::vector<uint8_t> b = FileBytes(path);
  return std::string(b.begin(), b.end());
}

// The header: everything up to and including the "beginimage" line (the whole file without one).
std::string HeaderOf(const std::string& path) {
  const std::string t = Text(path);
  const size_t at = t.find("\nbeginimage\n");
  return at == std::string::npos ? t : t.substr(0, at + 12);
}

bool Has(const std::string& text, const std::string& line) { return text.find(line + "\n") != std::string::npos; }

// Ghostscript's drawing of `eps` at 72 dots per inch (one device pixel per
// sample for a 72-dpi file); `prefix` is PostScript run first.
bool Render(const std::string& eps, const std::string& device, Pixels& out, const std::string& prefix = "") {
  const std::string file = ScratchFile("render.pnm");
  std::string cmd = "gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -r72 -sDEVICE=" + device + " -sOutputFile='" + file + "'";
  if (!prefix.empty()) cmd += " -c '" + prefix + "' -f";
  cmd += " '" + eps + "' 2>&1";
  std::string log;
  if (RunCommand(cmd, &log) != 0 || !log.empty()) {
    ADD_FAILURE() << cmd << "\n" << log;
    return false;
  }
  return ReadPam(file, out);
}

int MaxDiff(const Pixels& a, const Pixels& b) {
  if (a.samples.size() != b.samples.size()) return 1 << 30;
  int worst = 0;
  for (size_t i = 0; i < a.samples.size(); ++i) worst = std::max(worst, std::abs((int)a.samples[i] - (int)b.samples[i]));
  return worst;
}

TEST_F(EpsDcsTest, RoundTripsEveryColourTypeInBothEncodings) {
  struct Case {
    int32_t colorType;
    int channels;
    uint32_t width;  // hexadecimal rows: 37 × 3 = 111 bytes end in a short line; 64 gray bytes do not
  } cases[] = {{kRasGray, 1, 64}, {kRasGray, 1, 37}, {kRasRGB, 3, 37}, {kRasCMYK, 4, 37}, {kRasPhotoCDColor, 3, 8}};
  for (int32_t encoding : {1, 2}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "encoding " << encoding << " colour type " << c.colorType << " width " << c.width);
      const Pixels px = MakePixels(c.width, 5, c.channels, 255, 7);
      const std::string path = ScratchFile("rt.eps");
      ASSERT_EQ(WriteThrough(path, kRasEps, c.colorType, px, 123.5f, Eps(0, encoding)), kOk) << RasLastFailure();
      RasImage image;
      Pixels back;
      ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
      EXPECT_EQ(image.format, kRasEps);
      EXPECT_EQ(image.colorType, c.colorType == kRasPhotoCDColor ? kRasRGB : c.colorType);
      EXPECT_FLOAT_EQ(image.resolution, 123.5f);
      EXPECT_EQ(back.samples, px.samples);
      // The file is the header, the data and the trailer, nothing more.
      const int64_t data = EpsDataSize(0, c.width, 5, c.channels, encoding);
      const std::string trailer = std::string(encoding == 1 ? "\n" : "") + "%%EndBinary\ngrestore end\ngrestore\n";
      const std::string header = HeaderOf(path);
      EXPECT_EQ(FileBytes(path).size(), header.size() + data - (encoding == 1 ? 1 : 0) + trailer.size());
      EXPECT_TRUE(Has(header, "%%BeginBinary: " + std::to_string(data + 11)));
      EXPECT_EQ(Text(path).substr(Text(path).size() - trailer.size()), trailer);
    }
  }
}

TEST_F(EpsDcsTest, HexadecimalRowsBreakEvery32Bytes) {
  Pixels px = MakePixels(35, 1, 1, 255);
  for (uint32_t x = 0; x < 35; ++x) px.samples[x] = (uint16_t)(x == 0 ? 0xAB : x);
  const std::string path = ScratchFile("hex.eps");
  ASSERT_EQ(WriteThrough(path, kRasEps, kRasGray, px, 72, Eps(0, 2)), kOk);
  const std::string t = Text(path);
  const std::string data = t.substr(HeaderOf(path).size());
  EXPECT_EQ(data.substr(0, 66), "AB0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\n2");
  EXPECT_EQ(data.substr(65, 7), "202122\n");
  EXPECT_TRUE(Has(HeaderOf(path), "/readdata {currentfile exch readhexstring pop} def"));
  // A bad digit in a row is a format error when that row is read.
  std::vector<uint8_t> bytes = FileBytes(path);
  bytes[HeaderOf(path).size() + 3] = 'G';
  WriteBytes(path, bytes);
  RasImage image;
  Pixels back;
  EXPECT_EQ(ReadThrough(path, image, back), kFormatErr);
}

TEST_F(EpsDcsTest, HeaderLinesFollowTheVariant) {
  struct Case {
    int32_t mode;
    int channels;
    int32_t colorType;
    std::vector<std::string> present, absent;
  } cases[] = {
      {0, 1, kRasGray, {"%%DocumentProcessColors: Black", "%ImageData: 10 4 8 1 0 10 1 \"beginimage\"", "/picstr1 10 string def"},
       {"%%DocumentProcessColors: Cyan Magenta Yellow Black", "/picstr2 10 string def", "%%CyanPlate: v.eps.C"}},
      {0, 3, kRasRGB, {"%ImageData: 10 4 8 3 0 10 1 \"beginimage\"", "/picstr3 10 string def"},
       {"/picstr4 10 string def", "%%DocumentProcessColors: Black"}},
      {0, 4, kRasCMYK, {"%%DocumentProcessColors: Cyan Magenta Yellow Black", "/picstr4 10 string def"},
       {"%%CyanPlate: v.eps.C"}},
      {1, 4, kRasCMYK, {"%%CyanPlate: v.eps.C", "%%MagentaPlate: v.eps.M", "%%YellowPlate: v.eps.Y", "%%BlackPlate: v.eps.K"},
       {"beginimage", "gsave"}},
      {2, 1, kRasGray, {"%%CyanPlate: v.eps.C", "/picstr1 10 string def", "beginimage"}, {"%ImageData: 10 4 8 1 0 10 1 \"beginimage\""}},
      {3, 4, kRasCMYK, {"%%BlackPlate: v.eps.K", "/picstr4 10 string def", "beginimage"}, {"%ImageData: 10 4 8 4 0 10 1 \"beginimage\""}},
      {4, 1, kRasGray, {"%%Title: v.eps", "%ImageData: 10 4 8 1 0 10 1 \"beginimage\""}, {"%%BlackPlate: v.eps.K"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    const std::string path = ScratchFile("v.eps");
    ASSERT_EQ(WriteThrough(path, kRasEps, c.colorType, MakePixels(10, 4, c.channels, 255), 72, Eps(c.mode)), kOk)
        << RasLastFailure();
    const std::string header = HeaderOf(path);
    EXPECT_EQ(header.rfind("%!PS-Adobe-3.0 EPSF-3.0\n%%Creator: Lucento, Ltd.\n%%SuppressDotGainCompensation\n", 0), 0u);
    EXPECT_TRUE(Has(header, c.mode == 4 ? "%%Title: v.eps" : "%%Title: v"));
    EXPECT_TRUE(Has(header, "%%BoundingBox: 0 0 10 4"));
    for (const std::string& line : c.present) EXPECT_TRUE(Has(header, line)) << line;
    for (const std::string& line : c.absent) EXPECT_FALSE(Has(header, line)) << line;
    if (c.mode == 1) {
      EXPECT_EQ(Text(path), header) << "mode 1 writes the header only";
    }
  }
  // The filled lines for a 300-dpi image: bounding box in points, scale in 1/65536 dpi.
  const std::string path = ScratchFile("filled.eps");
  ASSERT_EQ(WriteThrough(path, kRasEps, kRasRGB, MakePixels(1001, 3, 3, 255), 300), kOk);
  const std::string header = HeaderOf(path);
  EXPECT_TRUE(Has(header, "%%BoundingBox: 0 0 240 1"));
  EXPECT_TRUE(Has(header, "/rows 3 def"));
  EXPECT_TRUE(Has(header, "/cols 1001 def"));
  EXPECT_TRUE(Has(header, "72 65536 mul 19660800 div dup cols mul exch rows mul scale"));
  // A variant must get the channels it draws.
  EXPECT_EQ(WriteThrough(ScratchFile("bad.eps"), kRasEps, kRasRGB, MakePixels(4, 4, 3, 255), 72, Eps(4)), kBadArg);
  EXPECT_FALSE(FileExists(ScratchFile("bad.eps")));
  EXPECT_EQ(WriteThrough(ScratchFile("lab.eps"), kRasEps, kRasLab, MakePixels(4, 4, 3, 255), 72), kBadArg);
  EXPECT_EQ(WriteThrough(ScratchFile("dpi.eps"), kRasEps, kRasGray, MakePixels(4, 4, 1, 255), 1e30f), kBadArg);
  EXPECT_EQ(WriteThrough(ScratchFile("enc.eps"), kRasEps, kRasGray, MakePixels(4, 4, 1, 255), 72, Eps(0, 3)), kBadArg);
}

TEST_F(EpsDcsTest, GhostscriptDrawsOurFiles) {
  if (!HavePeer("gs")) GTEST_SKIP() << "Ghostscript is not installed";
  // colorimage hidden: what a level 1 printer without the colour extension runs.
  const std::string noColor =
      "/where {dup /colorimage eq {pop false} {//systemdict /where get exec} ifelse} bind def";
  struct Case {
    int32_t colorType;
    int channels;
    const char* device;
    bool hideColor;
  } cases[] = {
      {kRasGray, 1, "pgmraw", false}, {kRasRGB, 3, "ppmraw", false}, {kRasCMYK, 4, "pamcmyk32", false},
      {kRasRGB, 3, "pgmraw", true},   {kRasCMYK, 4, "pgmraw", true},
  };
  for (int32_t encoding : {1, 2}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "encoding " << encoding << " device " << c.device << (c.hideColor ? " level 1" : ""));
      const Pixels px = MakePixels(29, 11, c.channels, 255, 3);
      const std::string path = ScratchFile("gs.eps");
      ASSERT_EQ(WriteThrough(path, kRasEps, c.colorType, px, 72, Eps(0, encoding)), kOk);
      Pixels drawn;
      ASSERT_TRUE(Render(path, c.device, drawn, c.hideColor ? noColor : ""));
      ASSERT_EQ(drawn.width, px.width);
      ASSERT_EQ(drawn.height, px.height);
      Pixels want = px;
      if (c.hideColor) {  // the prolog's own gray
        want.channels = 1;
        want.samples.clear();
        for (size_t i = 0; i < px.samples.size(); i += c.channels) {
          const uint16_t* v = &px.samples[i];
          int g = (77 * v[0] + 150 * v[1] + 29 * v[2]) >> 8;
          if (c.channels == 4) g = 255 - std::min(255, g + v[3]);
          want.samples.push_back((uint16_t)g);
        }
      }
      EXPECT_LE(MaxDiff(drawn, want), 1);
    }
  }
}

TEST_F(EpsDcsTest, DcsSetsWriteFourPlatesAndReadBackAsCmyk) {
  for (int32_t encoding : {1, 2}) {
    SCOPED_TRACE(encoding);
    const std::string dir = FreshDir("dcs" + std::to_string(encoding));
    const std::string path = dir + "set.eps";
    const Pixels px = MakePixels(21, 6, 4, 255, 5);
    ASSERT_EQ(WriteThrough(path, kRasDcs, kRasCMYK, px, 150, Eps(0, encoding)), kOk) << RasLastFailure();
    const std::string header = Text(path);
    EXPECT_TRUE(Has(header, "%%CyanPlate: set.eps.C"));
    EXPECT_TRUE(Has(header, "%%BlackPlate: set.eps.K"));
    RasImage image;
    Pixels back;
    ASSERT_EQ(ReadThrough(path, image, back), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasDcs);
    EXPECT_EQ(image.colorType, kRasCMYK);
    EXPECT_EQ(image.channels, 4);
    EXPECT_FLOAT_EQ(image.resolution, 150);
    EXPECT_EQ(back.samples, px.samples);
    // Each plate is a gray EPS of its ink as it prints: 255 - ink.
    for (int k = 0; k < 4; ++k) {
      RasImage plate;
      Pixels gray;
      ASSERT_EQ(ReadThrough(DcsPlatePath(path, k), plate, gray), kOk);
      EXPECT_EQ(plate.format, kRasEps);
      EXPECT_EQ(plate.colorType, kRasGray);
      EXPECT_TRUE(Has(HeaderOf(DcsPlatePath(path, k)), "%%Title: set.eps." + std::string(1, "CMYK"[k])));
      ASSERT_EQ(gray.samples.size() * 4, px.samples.size());
      for (size_t i = 0; i < gray.samples.size(); ++i) ASSERT_EQ(gray.samples[i], 255 - px.samples[4 * i + k]);
    }
  }
}

TEST_F(EpsDcsTest, DcsRefusals) {
  const std::string dir = FreshDir("dcs_bad");
  const std::string path = dir + "set.eps";
  // Only CMYK is written, and a refused set leaves no file behind.
  EXPECT_EQ(WriteThrough(path, kRasDcs, kRasRGB, MakePixels(4, 4, 3, 255), 72), kBadArg);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(FileExists(path + ".C"));
  EXPECT_EQ(WriteThrough(dir + "no/such/folder.eps", kRasDcs, kRasCMYK, MakePixels(4, 4, 4, 255), 72), kOpenErr);
  EXPECT_EQ(WriteThrough(dir + "a\nb.eps", kRasDcs, kRasCMYK, MakePixels(4, 4, 4, 255), 72), kBadArg);

  ASSERT_EQ(WriteThrough(path, kRasDcs, kRasCMYK, MakePixels(4, 4, 4, 255), 72), kOk);
  RasImage image;
  // Plate names are looked up by their leaf in the main file's folder.
  std::string main = Text(path);
  const size_t at = main.find("set.eps.Y");
  WriteFileText(dir + "moved.eps", main.substr(0, at) + "../elsewhere/set.eps.Y" + main.substr(at + 9));
  EXPECT_EQ(RasQuery(dir + "moved.eps", image), kOk);
  EXPECT_EQ(image.format, kRasDcs);
  // A missing plate: the open error, named.
  StreamRename(path + ".M", dir + "aside");
  EXPECT_EQ(RasQuery(path, image), kOpenErr);
  EXPECT_NE(RasLastFailure().find("set.eps.M"), std::string::npos) << RasLastFailure();
  // A plate of another size, or an RGB plate.
  ASSERT_EQ(WriteThrough(path + ".M", kRasEps, kRasGray, MakePixels(5, 4, 1, 255), 72), kOk);
  EXPECT_EQ(RasQuery(path, image), kFormatErr);
  ASSERT_EQ(WriteThrough(path + ".M", kRasEps, kRasRGB, MakePixels(4, 4, 3, 255), 72), kOk);
  EXPECT_EQ(RasQuery(path, image), kFormatErr);
  // Without the four plate comments the main file is no DCS (nor an EPS image).
  WriteFileText(dir + "three.eps", main.substr(0, main.find("%%BlackPlate")));
  EXPECT_EQ(RasQuery(dir + "three.eps", image), kFormatErr);
}

TEST_F(EpsDcsTest, MalformedHeadersAreRefused) {
  const std::string good =
      "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 2 1\n%ImageData: 2 1 8 1 0 2 1 \"beginimage\"\n"
      "/x 1 def\nbeginimage\n\x10\x20\n%%EndBinary\n";
  struct Case {
    const char* from;
    const char* to;
    Status want;
  } cases[] = {
      {"", "", kOk},
      {"%!PS-Adobe-3.0 EPSF-3.0", "%!PS-Adobe-3.0", kFormatErr},
      {"%%BoundingBox: 0 0 2 1\n", "%%BoundingBox: 0 0 2 1\nshowpage\n", kFormatErr},
      {"8 1 0 2 1 \"", "8 1 0 2 \"", kFormatErr},
      {"%ImageData: 2 1", "%ImageData: -2 1", kFormatErr},
      {"%ImageData: 2 1", "%ImageData: 99999999999999999999 1", kFormatErr},
      {"%ImageData: 2 1", "%ImageData: 2 9", kFormatErr},  // rows past the end of the file
      {"beginimage\n", "beginimag\n", kFormatErr},
      {"2 1 8 1 0 2 1", "2 1 16 1 0 2 1", kUnsupported},
      {"2 1 8 1 0 2 1", "2 1 8 2 0 2 1", kUnsupported},
      {"2 1 8 1 0 2 1", "2 1 8 1 1 2 1", kUnsupported},
      {"2 1 8 1 0 2 1", "2 1 8 1 0 1 1", kUnsupported},
      {"2 1 8 1 0 2 1", "2 1 8 1 0 2 3", kUnsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    std::string text = good;
    if (*c.from) text.replace(text.find(c.from), std::strlen(c.from), c.to);
    const std::string path = ScratchFile("bad.eps");
    WriteFileText(path, text);
    RasImage image;
    image.format = kRasEps;
    EXPECT_EQ(RasOpen(path, 'r', image), c.want) << RasLastFailure();
    if (c.want == kOk) {
      EXPECT_EQ(image.width, 2u);
      EXPECT_FLOAT_EQ(image.resolution, 72) << "from the bounding box when no scale line states it";
      RasScanline sl;
      ASSERT_EQ(RasReadSl(image, 0, sl), kOk);
      EXPECT_EQ(sl.plane8[0][0], 0x10);
      EXPECT_EQ(sl.plane8[0][1], 0x20);
    }
  }
}

}  // namespace
