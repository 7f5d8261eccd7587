#include "imagefile/scitex.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "imagefile/rasmodule.h"

namespace {

constexpr int64_t kDataOffset = 2048;
constexpr double kMmPerInch = 25.4;

struct ScitexState : RasModuleState {
  uint32_t width = 0;
  int32_t channels = 0;
  bool cmyk = false;
  uint32_t stride = 0;    // bytes of one separation in a row
  uint64_t rowBytes = 0;  // channels × stride
  MemPtr<uint8_t[]> row;
};

ScitexState& StateOf(RasImage& image) { return *static_cast<ScitexState*>(image.file->module.get()); }

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// "+.dddddddd" "E" sign, two digits: the value in units, or -1 when malformed.
double ParseSize(const uint8_t* f) {
  if (f[0] != '+' || f[1] != '.' || f[10] != 'E' || (f[11] != '+' && f[11] != '-')) return -1;
  double value = 0;
  for (int i = 2; i < 10; ++i) {
    if (!IsDigit(f[i])) return -1;
    value = value * 10 + (f[i] - '0');
  }
  if (!IsDigit(f[12]) || !IsDigit(f[13])) return -1;
  const int exponent = (f[12] - '0') * 10 + (f[13] - '0');
  for (int i = 0; i < exponent; ++i) value = f[11] == '+' ? value * 10 : value / 10;
  return value / 1e8;  // the digits follow the point
}

// "+" and eleven digits: the count, or -1 when malformed.
int64_t ParsePixels(const uint8_t* f) {
  if (f[0] != '+') return -1;
  int64_t value = 0;
  for (int i = 1; i < 12; ++i) {
    if (!IsDigit(f[i])) return -1;
    value = value * 10 + (f[i] - '0');
  }
  return value;
}

// Writes a positive value as "+.dddddddd" "E" sign, two digits (14 bytes).
void FormatSize(double value, uint8_t* f) {
  int exponent = 0;
  long mantissa = 0;
  if (value > 0) {
    exponent = (int)std::floor(std::log10(value)) + 1;
    mantissa = std::lround(value / std::pow(10.0, exponent) * 1e8);
    if (mantissa >= 100000000) {  // rounded up to the next power of ten
      mantissa /= 10;
      ++exponent;
    } else if (mantissa < 10000000) {  // log10 rounded down across a power of ten
      mantissa = std::lround(value / std::pow(10.0, exponent - 1) * 1e8);
      --exponent;
    }
    if (exponent > 99 || exponent < -99) mantissa = 0, exponent = 0;
  }
  char text[24];
  std::snprintf(text, sizeof text, "+.%08ldE%c%02d", mantissa, exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
  std::memcpy(f, text, 14);
}

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  int64_t fileSize = 0;
  uint8_t h[2048];
  if (Status st = RasOpenInput(fs, fileSize, h, sizeof h, "a Scitex CT file"); st != kOk) return st;
  if (h[80] != 'C' || h[81] != 'T') return RasFail(kFormatErr, "no Scitex CT signature");
  const uint8_t units = h[1024], seps = h[1025], mask = h[1027];
  if (units > 1) return RasFail(kFormatErr, "Scitex CT units %u", units);
  if (seps != 1 && seps != 3 && seps != 4) return RasFail(kFormatErr, "Scitex CT with %u separations", seps);
  if (h[1026] != 0) return RasFail(kFormatErr, "Scitex CT byte 1026 is %u", h[1026]);
  const bool maskOk = seps == 4 ? mask == 15 : seps == 3 ? mask == 7 : (mask == 1 || mask == 2 || mask == 4 || mask == 8);
  if (!maskOk) return RasFail(kFormatErr, "Scitex CT separation mask %u for %u separations", mask, seps);
  fs.recognised = true;
  const double heightUnits = ParseSize(h + 1028), widthUnits = ParseSize(h + 1042);
  const int64_t height = ParsePixels(h + 1056), width = ParsePixels(h + 1068);
  if (heightUnits < 0 || widthUnits < 0 || height < 0 || width < 0)
    return RasFail(kFormatErr, "malformed Scitex CT size fields");
  if (width == 0 || height == 0 || width > 0xFFFFFFFFll || height > 0xFFFFFFFFll)
    return RasFail(kFormatErr, "bad Scitex CT size %lld x %lld", (long long)width, (long long)height);
  auto st = std::make_unique<ScitexState>();
  st->width = (uint32_t)width;
  st->channels = seps;
  st->cmyk = seps == 4;
  // Separations padded to even lengths, unless the file is too short for that.
  const uint64_t room = fileSize > kDataOffset ? (uint64_t)(fileSize - kDataOffset) : 0;
  auto fits = [&](uint64_t stride) { return (uint64_t)height <= room / (stride * seps); };
  const uint64_t padded = ((uint64_t)width + 1) & ~uint64_t(1);
  if (fits(padded)) {
    st->stride = (uint32_t)padded;
  } else if (fits((uint64_t)width)) {
    st->stride = (uint32_t)width;
  } else {
    return RasFail(kFormatErr, "Scitex CT rows (%lld x %lld) run past the end of the file", (long long)width,
                   (long long)height);
  }
  st->rowBytes = (uint64_t)st->stride * seps;
  st->row.reset(static_cast<uint8_t*>(MemAlloc((size_t)st->rowBytes)));
  if (!st->row) return kNoMem;
  const double inches = (widthUnits > 0 ? widthUnits : heightUnits) / (units == 0 ? kMmPerInch : 1.0);
  const double pixels = (double)(widthUnits > 0 ? width : height);
  image.width = (uint32_t)width;
  image.height = (uint32_t)height;
  image.channels = seps;
  image.colorType = seps == 4 ? kRasCMYK : seps == 3 ? kRasRGB : kRasGray;
  const double dpi = inches > 0 ? std::floor(pixels / inches * 100 + 0.5) / 100 : -1;
  image.resolution = dpi > 0 && dpi <= 1e9 ? (float)dpi : -1.0f;  // beyond that the size fields are nonsense
  image.format = kRasScitexCT;
  fs.module = std::move(st);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if (Status st = RasCheckGrayRgbCmyk(image, "Scitex CT files"); st != kOk) return st;
  if (!(image.resolution > 0)) image.resolution = 300;
  auto st = std::make_unique<ScitexState>();
  st->width = image.width;
  st->channels = image.channels;
  st->cmyk = image.channels == 4;
  st->stride = (uint32_t)(((uint64_t)image.width + 1) & ~uint64_t(1));
  if ((uint64_t)image.width + 1 > 0xFFFFFFFFull) return RasFail(kBadArg, "%u pixels is too wide", image.width);
  st->rowBytes = (uint64_t)st->stride * st->channels;
  st->row.reset(static_cast<uint8_t*>(MemAllocZero((size_t)st->rowBytes)));  // the padding stays zero
  if (!st->row) return kNoMem;
  uint8_t h[2048] = {};
  h[80] = 'C';
  h[81] = 'T';
  h[1024] = 0;  // millimetres
  h[1025] = (uint8_t)image.channels;
  h[1027] = image.channels == 4 ? 15 : image.channels == 3 ? 7 : 8;
  const double mmPerPixel = kMmPerInch / image.resolution;
  FormatSize(image.height * mmPerPixel, h + 1028);
  FormatSize(image.width * mmPerPixel, h + 1042);
  char text[16];
  std::snprintf(text, sizeof text, "+%011u", image.height);
  std::memcpy(h + 1056, text, 12);
  std::snprintf(text, sizeof text, "+%011u", image.width);
  std::memcpy(h + 1068, text, 12);
  if (Status status = RasCreateOutputWithHeader(fs, h, sizeof h, "Scitex CT"); status != kOk) return status;
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

Status ScitexCTOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status ScitexCTReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  ScitexState& st = StateOf(image);
  Stream& s = image.file->stream;
  if (Status failed = RasReadRowAt(s, kDataOffset + (int64_t)(line * st.rowBytes),
                                   st.row.get(), (size_t)st.rowBytes, "Scitex CT", line);
      failed != kOk)
    return failed;
  const uint32_t w = st.width;
  for (int c = 0; c < st.channels; ++c) {
    const uint8_t* in = st.row.get() + (size_t)c * st.stride;
    uint8_t* out = sl.plane8[c];
    if (st.cmyk) {
      for (uint32_t x = 0; x < w; ++x) out[x] = (uint8_t)(255 - in[x]);
    } else {
      std::memcpy(out, in, w);
    }
  }
  return kOk;
}

Status ScitexCTWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  ScitexState& st = StateOf(image);
  Stream& s = image.file->stream;
  const uint32_t w = st.width;
  for (int c = 0; c < st.channels; ++c) {
    const uint8_t* in = sl.plane8[c];
    uint8_t* out = st.row.get() + (size_t)c * st.stride;
    if (st.cmyk) {
      for (uint32_t x = 0; x < w; ++x) out[x] = (uint8_t)(255 - in[x]);
    } else {
      std::memcpy(out, in, w);
    }
  }
  return RasWriteRowAt(s, kDataOffset + (int64_t)(line * st.rowBytes),
                       st.row.get(), (size_t)st.rowBytes, "Scitex CT", line);
}

Status ScitexCTClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
}
