#include "imagefile/eps.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "imagefile/epstext.h"
#include "imagefile/rasmodule.h"
#include "base/strings.h"

namespace {

// Resolutions the header's bounding box and scale can state.
constexpr double kMinDpi = 1e-6, kMaxDpi = 1e9;

// ---- the header template ------------------------------------------------------

// Values filled into the lower-case lines.
enum Fill : uint8_t {
  kNoFill,
  kTitle,
  kDate,
  kBoundingBox,
  kPlate,       // the plate letter follows in the line's `plate`
  kImageData,
  kRows,
  kCols,
  kScale,
  kPicstr,      // width
  kReaddata,
  kBeginBinary,
};

struct TemplateLine {
  const char* text;  // selector letter, then the line (a printf form for lower-case letters)
  Fill fill = kNoFill;
  char plate = 0;
};

// Variant sets, bit v for variant v.
uint8_t VariantsOf(char letter) {
  switch (letter) {
    case 'A': case 'a': return 0x7F;  // all
    case 'B': return 0x3C;            // 2, 3, 4, 5
    case 'c': return 0x38;            // 3, 4, 5
    case 'D': return 0x01;            // 0
    case 'e': return 0x47;            // 0, 1, 2, 6
    case 'F': case 'f': return 0x77;  // all but 3
    case 'G': case 'g': return 0x26;  // 1, 2, 5
    case 'H': case 'h': return 0x24;  // 2, 5
    case 'I': return 0x51;            // 0, 4, 6
    case 'J': return 0x53;            // 0, 1, 4, 6 (no lines: images use the device colour spaces)
    case 'K': return 0x02;            // 1
    default: return 0;
  }
}

// The drawing: gsave, a private dictionary, the scale to the bounding box, the
// row strings and the reading procedure, then one `beginimage` procedure per
// kind of image; the trailer closes what this opens ("grestore end grestore").
const TemplateLine kTemplate[] = {
    {"A%!PS-Adobe-3.0 EPSF-3.0"},
    {"A%%Creator: Lucento, Ltd."},
    {"A%%SuppressDotGainCompensation"},
    {"a%%%%Title: %s", kTitle},
    {"a%%%%CreationDate: %s", kDate},
    {"a%%%%BoundingBox: 0 0 %ld %ld", kBoundingBox},
    {"A%%LanguageLevel: 1"},
    {"B%%DocumentProcessColors: Cyan Magenta Yellow Black"},
    {"c%%%%CyanPlate: %s.%c", kPlate, 'C'},
    {"c%%%%MagentaPlate: %s.%c", kPlate, 'M'},
    {"c%%%%YellowPlate: %s.%c", kPlate, 'Y'},
    {"c%%%%BlackPlate: %s.%c", kPlate, 'K'},
    {"D%%DocumentProcessColors: Black"},
    {"A%%EndComments"},
    {"e%%ImageData: %ld %ld 8 %ld 0 %ld %d \"beginimage\"", kImageData},
    {"A%%BeginProlog"},
    {"A%%EndProlog"},
    {"A%%BeginSetup"},
    {"A%%EndSetup"},
    {"Fgsave"},
    {"F40 dict begin"},
    {"f/rows %ld def", kRows},
    {"f/cols %ld def", kCols},
    {"Fgsave"},
    {"f72 65536 mul %ld div dup cols mul exch rows mul scale", kScale},
    {"f/picstr1 %ld string def", kPicstr},
    {"g/picstr2 %ld string def", kPicstr},
    {"g/picstr3 %ld string def", kPicstr},
    {"h/picstr4 %ld string def", kPicstr},
    {"f/readdata {currentfile exch %s pop} def", kReaddata},
    {"F/mtx [cols 0 0 rows neg 0 rows] def"},
    // Colour images: colorimage with one data source per channel, else gray.
    {"G/havecolor /colorimage where {pop true} {false} ifelse def"},
    {"G/graystr cols string def"},
    {"K/rgbgray {picstr1 readdata pop picstr2 readdata pop picstr3 readdata pop"},
    {"K 0 1 cols 1 sub {/i exch def graystr i picstr1 i get 77 mul picstr2 i get 150 mul add"},
    {"K  picstr3 i get 29 mul add -8 bitshift put} for graystr} def"},
    {"K/beginimage {havecolor {cols rows 8 mtx {picstr1 readdata} {picstr2 readdata}"},
    {"K {picstr3 readdata} true 3 colorimage} {cols rows 8 mtx {rgbgray} image} ifelse} def"},
    {"H/cmykgray {picstr1 readdata pop picstr2 readdata pop picstr3 readdata pop picstr4 readdata pop"},
    {"H 0 1 cols 1 sub {/i exch def graystr i 255 picstr1 i get 77 mul picstr2 i get 150 mul add"},
    {"H  picstr3 i get 29 mul add -8 bitshift picstr4 i get add dup 255 gt {pop 255} if sub put} for"},
    {"H graystr} def"},
    {"H/beginimage {havecolor {cols rows 8 mtx {picstr1 readdata} {picstr2 readdata}"},
    {"H {picstr3 readdata} {picstr4 readdata} true 4 colorimage} {cols rows 8 mtx {cmykgray} image}"},
    {"H ifelse} def"},
    {"I/beginimage {cols rows 8 mtx {picstr1 readdata} image} def"},
    {"f%%%%BeginBinary: %ld", kBeginBinary},
    {"Fbeginimage"},
};

const char kTrailerFormat[] = "%s%%%%EndBinary\ngrestore end\ngrestore\n";

// Control characters would break a header line; the title shows them as '?'.
std::string Printable(const std::string& s) {
  std::string out = s;
  for (char& ch : out)
    if ((unsigned char)ch < 0x20 || ch == 0x7F) ch = '?';
  return out;
}

std::string Title(const std::string& path, int32_t mode) {
  std::string leaf = LeafName(path);
  if (mode != 4) {
    const size_t dot = leaf.rfind('.');
    if (dot != std::string::npos && dot > 0) leaf.erase(dot);
  }
  return Printable(leaf);
}

std::string Now() {
  char text[64];
  const std::time_t t = std::time(nullptr);
  std::tm parts{};
  localtime_r(&t, &parts);
  // Fixed width, so a measured header and the one written are the same length.
  if (std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &parts) == 0) return "?";
  return text;
}

Status BuildHeader(const RasImage& image, const std::string& path, int32_t mode, int32_t encoding, int64_t dataSize,
                   std::string& out) {
  const int variant = EpsVariant(mode, image.channels);
  const double dpi = image.resolution;
  if (!(dpi >= kMinDpi && dpi <= kMaxDpi)) return kBadArg;
  const long boxW = (long)std::floor(image.width * 72.0 / dpi + 0.5);
  const long boxH = (long)std::floor(image.height * 72.0 / dpi + 0.5);
  const long scale = (long)std::floor(dpi * 65536.0 + 0.5);
  const std::string leaf = LeafName(path);
  out.clear();
  char line[1200];
  for (const TemplateLine& t : kTemplate) {
    if (!(VariantsOf(t.text[0]) & (1u << variant))) continue;
    const char* form = t.text + 1;
    switch (t.fill) {
      case kNoFill: std::snprintf(line, sizeof line, "%s", form); break;
      case kTitle: std::snprintf(line, sizeof line, form, Title(path, mode).c_str()); break;
      case kDate: std::snprintf(line, sizeof line, form, Now().c_str()); break;
      case kBoundingBox: std::snprintf(line, sizeof line, form, boxW, boxH); break;
      case kPlate: std::snprintf(line, sizeof line, form, leaf.c_str(), t.plate); break;
      case kImageData:
        std::snprintf(line, sizeof line, form, (long)image.width, (long)image.height, (long)image.channels,
                      (long)image.width, (int)encoding);
        break;
      case kRows: std::snprintf(line, sizeof line, form, (long)image.height); break;
      case kCols: case kPicstr: std::snprintf(line, sizeof line, form, (long)image.width); break;
      case kScale: std::snprintf(line, sizeof line, form, scale); break;
      case kReaddata: std::snprintf(line, sizeof line, form, encoding == 1 ? "readstring" : "readhexstring"); break;
      case kBeginBinary: std::snprintf(line, sizeof line, form, (long)(dataSize + 11)); break;
    }
    out += line;
    out += '\n';
  }
  return kOk;
}

// ---- the module -------------------------------------------------------------

struct EpsState : RasModuleState {
  int32_t encoding = 1;
  int variant = 0;
  bool hasData = true;
  int64_t dataStart = 0;
  uint64_t rowBytes = 0;  // in the file
  uint32_t width = 0;
  int32_t channels = 0;
  MemPtr<uint8_t[]> row;  // channels × width bytes
  MemPtr<uint8_t[]> text; // one row of hexadecimal digits
};

EpsState& StateOf(RasImage& image) { return *static_cast<EpsState*>(image.file->module.get()); }

uint64_t HexRowChars(uint64_t n) { return n / 32 * 65 + (n % 32 ? 2 * (n % 32) + 1 : 0); }

// Hex digit values; 0xFF for anything else.
struct HexTables {
  uint8_t value[256];
  char pair[256][2];
  HexTables() {
    std::memset(value, 0xFF, sizeof value);
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
      value[(uint8_t)digits[i]] = (uint8_t)i;
      value[(uint8_t)"0123456789abcdef"[i]] = (uint8_t)i;
    }
    for (int b = 0; b < 256; ++b) {
      pair[b][0] = digits[b >> 4];
      pair[b][1] = digits[b & 15];
    }
  }
};
const HexTables& Hex() {
  static const HexTables tables;
  return tables;
}

Status AllocRow(EpsState& st) {
  const size_t n = (size_t)st.channels * st.width;
  st.row.reset(static_cast<uint8_t*>(MemAlloc(n)));
  if (!st.row) return kNoMem;
  if (st.encoding == 2) {
    st.text.reset(static_cast<uint8_t*>(MemAlloc((size_t)st.rowBytes)));
    if (!st.text) return kNoMem;
  }
  return kOk;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Parses `count` whitespace-separated integers from `p`; false when one is missing or out of range.
bool ParseIntegers(const char* p, long long* out, int count) {
  for (int i = 0; i < count; ++i) {
    while (*p == ' ' || *p == '\t') ++p;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &end, 10);
    if (end == p || errno == ERANGE) return false;
    out[i] = v;
    p = end;
  }
  return true;
}

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  Stream& s = fs.stream;
  int64_t fileSize = 0;
  if (Status st = RasOpenInput(fs, fileSize); st != kOk) return st;
  EpsLineReader lines(s);
  std::string line;
  if (!lines.Next(line) || line != kEpsFirstLine) return RasFail(kFormatErr, "not an EPS file");
  long long v[7] = {};
  bool found = false;
  long long box[4] = {};
  bool haveBox = false;
  while (lines.Next(line)) {
    if (line.empty() || line[0] != '%') return RasFail(kFormatErr, "no %%ImageData: comment before the PostScript");
    const size_t skip = line.size() > 1 && line[1] == '%' ? 1 : 0;  // "%%BoundingBox:" or "%BoundingBox:"
    if (line.compare(skip, 13, "%BoundingBox:") == 0) {
      haveBox = ParseIntegers(line.c_str() + skip + 13, box, 4);
    } else if (StartsWith(line, "%ImageData:")) {
      fs.recognised = true;  // an EPS image in this module's layout
      if (!ParseIntegers(line.c_str() + 11, v, 7)) return RasFail(kFormatErr, "the %%ImageData: values do not parse");
      found = true;
      break;
    }
  }
  if (!found) return RasFail(kFormatErr, "no %%ImageData: comment");
  const long long width = v[0], height = v[1], bits = v[2], mode = v[3], pad = v[4], block = v[5], encoding = v[6];
  if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
    return RasFail(kFormatErr, "bad EPS image size %lld x %lld", width, height);
  if (bits != 8) return RasFail(kUnsupported, "%lld-bit EPS images are not supported", bits);
  if (mode != 1 && mode != 3 && mode != 4) return RasFail(kUnsupported, "EPS image mode %lld is not supported", mode);
  if (pad != 0) return RasFail(kUnsupported, "EPS images with pad channels are not supported");
  if (block != width) return RasFail(kUnsupported, "EPS block size %lld is not a row", block);
  if (encoding != 1 && encoding != 2) return RasFail(kUnsupported, "EPS encoding %lld is not supported", encoding);
  // The data starts after the "beginimage" line; the scale line on the way states the resolution.
  double scaleDpi = -1;
  bool begun = false;
  while (lines.Next(line)) {
    if (line == "beginimage") {
      begun = true;
      break;
    }
    long long n = 0;
    if (StartsWith(line, "72 65536 mul ") && ParseIntegers(line.c_str() + 13, &n, 1) && n > 0) scaleDpi = n / 65536.0;
  }
  if (!begun) return RasFail(kFormatErr, "no beginimage line");
  auto st = std::make_unique<EpsState>();
  st->encoding = (int32_t)encoding;
  st->width = (uint32_t)width;
  st->channels = (int32_t)mode;
  st->dataStart = lines.Offset();
  const uint64_t raw = (uint64_t)width * (uint64_t)mode;
  st->rowBytes = encoding == 1 ? raw : HexRowChars(raw);
  // Rows × row bytes within the file, checked without overflow.
  const uint64_t room = fileSize > st->dataStart ? (uint64_t)(fileSize - st->dataStart) : 0;
  if (st->rowBytes > room || (uint64_t)height > room / st->rowBytes)
    return RasFail(kFormatErr, "EPS pixel data (%lld x %lld) runs past the end of the file", width, height);
  Status status = AllocRow(*st);
  if (status != kOk) return status;
  image.width = (uint32_t)width;
  image.height = (uint32_t)height;
  image.channels = (int32_t)mode;
  image.colorType = mode == 1 ? kRasGray : mode == 3 ? kRasRGB : kRasCMYK;
  if (scaleDpi > 0) {
    image.resolution = (float)scaleDpi;
  } else if (haveBox && box[2] - box[0] > 0) {
    image.resolution = (float)(width * 72.0 / (double)(box[2] - box[0]));
  } else {
    image.resolution = -1;
  }
  image.format = kRasEps;
  fs.module = std::move(st);
  return kOk;
}

int ChannelsOfVariant(int variant) {
  switch (variant) {
    case 0: case 4: case 6: return 1;
    case 1: return 3;
    case 2: case 5: return 4;
    default: return 0;  // 3: any
  }
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if (Status st = RasCheckGrayRgbCmyk(image, "EPS files"); st != kOk) return st;
  if ((uint64_t)image.width * image.height * (uint64_t)image.channels > (1ull << 46))
    return RasFail(kBadArg, "%u x %u is too large for an EPS file", image.width, image.height);
  if (!(image.resolution > 0)) image.resolution = 300;
  if (!(image.resolution >= kMinDpi && image.resolution <= kMaxDpi))
    return RasFail(kBadArg, "a resolution of %g dots per inch cannot be written to an EPS file", (double)image.resolution);
  auto st = std::make_unique<EpsState>();
  const int32_t mode = fs.write.epsMode;
  st->encoding = fs.write.epsEncoding;
  st->variant = EpsVariant(mode, image.channels);
  const int need = ChannelsOfVariant(st->variant);
  if (need && need != image.channels)
    return RasFail(kBadArg, "EPS mode %d writes %d-channel images, not %d", (int)mode, need, image.channels);
  st->hasData = st->variant != 3;
  st->width = image.width;
  st->channels = image.channels;
  const uint64_t raw = (uint64_t)image.width * image.channels;
  st->rowBytes = st->encoding == 1 ? raw : HexRowChars(raw);
  const int64_t dataSize = EpsDataSize(st->variant, image.width, image.height, image.channels, st->encoding);
  if (st->hasData) {
    Status status = AllocRow(*st);
    if (status != kOk) return status;
  }
  int64_t headerSize = 0;
  Status status = DoEpsHeader(image, fs.name, mode, st->encoding, dataSize, headerSize, false);
  if (status != kOk) return status;
  if ((status = RasCreateOutput(fs)) != kOk) return status;
  if ((status = DoEpsHeader(image, fs.name, mode, st->encoding, dataSize, headerSize, true)) != kOk) {
    RasAbandonOutput(fs);
    return status;
  }
  st->dataStart = headerSize;
  if (st->hasData) {
    // The trailer goes in now, after the space the rows fill.
    char trailer[64];
    const int n = std::snprintf(trailer, sizeof trailer, kTrailerFormat, st->encoding == 1 ? "\n" : "");
    const int64_t at = st->dataStart + dataSize - (st->encoding == 1 ? 1 : 0);
    if (StreamSeek(fs.stream, at, 0) != kOk || StreamWriteAll(fs.stream, trailer, (size_t)n) != kOk ||
        StreamSeek(fs.stream, st->dataStart, 0) != kOk) {
      RasAbandonOutput(fs);
      return RasFail(kWriteErr, "cannot write the EPS trailer");
    }
  }
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

// ---- shared text helpers ------------------------------------------------------

bool EpsLineReader::Next(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (pos_ == have_) {
      base_ += (int64_t)have_;
      pos_ = have_ = 0;
      size_t count = sizeof buf_;
      if (StreamRead(s_, buf_, count, false) != kOk || count == 0) break;
      have_ = count;
    }
    any = true;
    const uint8_t* start = buf_ + pos_;
    const uint8_t* nl = static_cast<const uint8_t*>(std::memchr(start, '\n', have_ - pos_));
    const size_t take = nl ? (size_t)(nl - start) : have_ - pos_;
    if (line.size() < kMaxLine) line.append(reinterpret_cast<const char*>(start), std::min(take, kMaxLine - line.size()));
    pos_ += take;
    if (nl) {
      ++pos_;
      break;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

Status EpsReadComments(Stream& s, std::vector<std::string>& comments, size_t maxLines) {
  comments.clear();
  if (StreamSeek(s, 0, 0) != kOk) return kSeekErr;
  EpsLineReader lines(s);
  std::string line;
  if (!lines.Next(line) || line != kEpsFirstLine) return kFormatErr;
  while (comments.size() < maxLines && lines.Next(line) && !line.empty() && line[0] == '%') comments.push_back(line);
  return kOk;
}

// ---- public -------------------------------------------------------------------

int EpsVariant(int32_t mode, int32_t channels) {
  switch (mode) {
    case 0: return channels == 1 ? 0 : channels == 3 ? 1 : 2;
    case 2: return 4;
    case 3: return 5;
    case 4: return 6;
    default: return 3;
  }
}

int64_t EpsDataSize(int variant, uint32_t width, uint32_t height, int32_t channels, int32_t encoding) {
  if (variant == 3) return 0;
  const uint64_t n = (uint64_t)width * (uint64_t)channels;
  if (encoding == 1) return (int64_t)(n * height + 1);
  return (int64_t)(HexRowChars(n) * height);
}

Status DoEpsHeader(RasImage& image, const std::string& path, int32_t mode, int32_t encoding, int64_t dataSize,
                   int64_t& headerSize, bool write) {
  std::string text;
  Status st = BuildHeader(image, path, mode, encoding, dataSize, text);
  if (st != kOk) return RasFail(st, "cannot build the EPS header");
  headerSize = (int64_t)text.size();
  if (!write) return kOk;
  if (!image.file || StreamWriteAll(image.file->stream, text.data(), text.size()) != kOk)
    return RasFail(kWriteErr, "cannot write the EPS header");
  return kOk;
}

Status EpsOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status EpsReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  EpsState& st = StateOf(image);
  Stream& s = image.file->stream;
  if (RasSeekTo(s, st.dataStart + (int64_t)(line * st.rowBytes)) != kOk)
    return RasFail(kSeekErr, "cannot reach EPS row %u", line);
  const uint32_t w = st.width;
  uint8_t* row = st.row.get();
  if (st.encoding == 1) {
    if (StreamReadExact(s, row, (size_t)st.rowBytes) != kOk) return RasFail(kReadErr, "EPS row %u is cut short", line);
  } else {
    const uint8_t* text = st.text.get();
    if (StreamReadExact(s, st.text.get(), (size_t)st.rowBytes) != kOk)
      return RasFail(kReadErr, "EPS row %u is cut short", line);
    const uint8_t* value = Hex().value;
    const size_t n = (size_t)st.channels * w;
    size_t out = 0;
    uint32_t high = 0;
    bool half = false;
    for (uint64_t i = 0; i < st.rowBytes; ++i) {
      const uint8_t ch = text[i];
      if (ch == '\n' || ch == '\r') continue;
      const uint8_t d = value[ch];
      if (d == 0xFF || out == n) return RasFail(kFormatErr, "EPS row %u has a bad hexadecimal digit", line);
      if (half) row[out++] = (uint8_t)(high | d);
      else high = (uint32_t)d << 4;
      half = !half;
    }
    if (out != n) return RasFail(kFormatErr, "EPS row %u is short of digits", line);
  }
  for (int c = 0; c < st.channels; ++c) std::memcpy(sl.plane8[c], row + (size_t)c * w, w);
  return kOk;
}

Status EpsWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  EpsState& st = StateOf(image);
  if (!st.hasData) return kOk;  // a header-only file keeps no rows
  Stream& s = image.file->stream;
  const uint32_t w = st.width;
  uint8_t* row = st.row.get();
  for (int c = 0; c < st.channels; ++c) std::memcpy(row + (size_t)c * w, sl.plane8[c], w);
  const uint8_t* out = row;
  if (st.encoding == 2) {
    const size_t n = (size_t)st.channels * w;
    uint8_t* t = st.text.get();
    const auto& pair = Hex().pair;
    for (size_t i = 0; i < n;) {
      const size_t end = std::min(n, i + 32);
      for (; i < end; ++i) {
        *t++ = (uint8_t)pair[row[i]][0];
        *t++ = (uint8_t)pair[row[i]][1];
      }
      *t++ = '\n';
    }
    out = st.text.get();
  }
  return RasWriteRowAt(s, st.dataStart + (int64_t)(line * st.rowBytes), out, (size_t)st.rowBytes, "EPS", line);
}

Status EpsClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
}
