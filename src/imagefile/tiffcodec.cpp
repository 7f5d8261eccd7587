#include "imagefile/tiffcodec.h"

#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/rasmodule.h"
#include "imagefile/tiffio_stream.h"

namespace {

constexpr uint64_t kMaxBandBytes = 256ull << 20;
constexpr uint64_t kMaxPixels = 1ull << 30;

// How samples become values of the output depth (one choice per file).
enum class Sample { Bits, U8, U16, U32, Half, F32, F64 };

struct LibTiffState : RasModuleState {
  TiffHandle tif;
  uint32_t width = 0, length = 0;
  uint16_t spp = 1, bps = 8, photometric = 1, planar = 1;
  Sample sample = Sample::U8;
  bool out16 = false;
  int colorChannels = 1;  // 1, 3 or 4 colour samples
  int32_t colorType = kRasGray;  // of the image read
  int alpha = -1;         // index of the alpha sample, -1 none
  bool associated = false;
  bool invert = false;    // min-is-white
  bool palette = false, grayMap = false;
  bool lab = false, cieLab = false;
  uint8_t mapR[256] = {}, mapG[256] = {}, mapB[256] = {};
  // bands
  bool tiled = false;
  uint32_t bandRows = 0, tileWidth = 0;
  uint64_t planeRowBytes = 0;   // one row of one plane (chunky: every sample)
  uint64_t planeBandBytes = 0;
  std::vector<uint8_t> band, tile;
  int64_t cachedBand = -1;
  std::vector<uint16_t> samples;  // one row, spp values per pixel, output depth
  std::vector<uint8_t> iptc;
  std::vector<uint8_t> icc;  // the embedded profile, moved into the image's meta at open
  int32_t compression = 1, predictor = 1;
};

struct LibTiffWriteState;

LibTiffState* StateOf(const RasImage& image) {
  if (!image.file || !image.file->module) return nullptr;
  return dynamic_cast<LibTiffState*>(image.file->module.get());
}

inline float HalfToFloat(uint16_t h) {
  const uint32_t sign = (h >> 15) & 1, exp = (h >> 10) & 0x1F, mant = h & 0x3FF;
  float v;
  if (exp == 0) v = std::ldexp((float)mant, -24);
  else if (exp == 31) v = mant ? 0.0f : INFINITY;
  else v = std::ldexp((float)(mant | 0x400), (int)exp - 25);
  return sign ? -v : v;
}

inline uint16_t Clip(float v, float max) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 1) return (uint16_t)max;
  return (uint16_t)(v * max + 0.5f);
}

// One row of `count` samples at `in` into output-depth values, `stride` apart.
void Fetch(const LibTiffState& st, const uint8_t* in, uint32_t count, uint16_t* out, uint32_t stride) {
  const float max = st.out16 ? 65535.0f : 255.0f;
  switch (st.sample) {
    case Sample::Bits: {
      const uint32_t bits = st.bps, top = (1u << bits) - 1;
      for (uint32_t i = 0; i < count; ++i) {
        const uint64_t bit = (uint64_t)i * bits;
        const uint32_t v = (in[bit >> 3] >> (8 - bits - (bit & 7))) & top;
        out[i * stride] = st.palette ? (uint16_t)v : (uint16_t)(v * 255 / top);
      }
      break;
    }
    case Sample::U8:
      for (uint32_t i = 0; i < count; ++i) out[i * stride] = in[i];
      break;
    case Sample::U16:
      for (uint32_t i = 0; i < count; ++i) {
        uint16_t v;
        std::memcpy(&v, in + 2 * i, 2);
        out[i * stride] = st.lab ? (uint16_t)(v >> 8) : v;
      }
      break;
    case Sample::U32:
      for (uint32_t i = 0; i < count; ++i) {
        uint32_t v;
        std::memcpy(&v, in + 4 * i, 4);
        out[i * stride] = (uint16_t)(v >> 16);
      }
      break;
    case Sample::Half:
      for (uint32_t i = 0; i < count; ++i) {
        uint16_t v;
        std::memcpy(&v, in + 2 * i, 2);
        out[i * stride] = Clip(HalfToFloat(v), max);
      }
      break;
    case Sample::F32:
      for (uint32_t i = 0; i < count; ++i) {
        float v;
        std::memcpy(&v, in + 4 * i, 4);
        out[i * stride] = Clip(v, max);
      }
      break;
    case Sample::F64:
      for (uint32_t i = 0; i < count; ++i) {
        double v;
        std::memcpy(&v, in + 8 * i, 8);
        out[i * stride] = Clip((float)v, max);
      }
      break;
  }
}

Status Fail(LibTiffState& st, Status status, const char* what) {
  const std::string& why = st.tif.LastError();
  if (why.empty()) return RasFail(status, "%s", what);
  return RasFail(status, "%s: %s", what, why.c_str());
}

Status Describe(LibTiffState& st, bool is16, RasFileState& fs) {
  TIFF* tif = st.tif.get();
  uint16_t sf = SAMPLEFORMAT_UINT, comp = COMPRESSION_NONE, pred = 1;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &st.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &st.length);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &st.spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &st.bps);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sf);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &st.planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &comp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &pred);
  st.compression = comp;
  st.predictor = pred;
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &st.photometric))
    st.photometric = st.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
  const uint16_t ph = st.photometric;
  st.lab = ph == PHOTOMETRIC_CIELAB || ph == PHOTOMETRIC_ICCLAB;
  st.cieLab = ph == PHOTOMETRIC_CIELAB;
  st.palette = ph == PHOTOMETRIC_PALETTE;

  // Which module's file it is: wider than 8 bits goes to the 16-bit one.
  const bool wide = st.bps > 8 && !st.lab && !st.palette;
  fs.recognised = wide == is16;
  if (!fs.recognised) return RasFail(kFormatErr, "a %u-bit TIFF file", st.bps);

  if (st.width == 0 || st.length == 0) return RasFail(kFormatErr, "the TIFF image is empty");
  if ((uint64_t)st.width * st.length > kMaxPixels)
    return RasFail(kUnsupported, "the TIFF image's %u x %u pixels are more than this program handles", st.width,
                   st.length);
  if (st.planar != PLANARCONFIG_CONTIG && st.planar != PLANARCONFIG_SEPARATE)
    return RasFail(kFormatErr, "TIFF planar configuration %u", st.planar);

  // Samples.
  const bool isFloat = sf == SAMPLEFORMAT_IEEEFP;
  if (isFloat && st.bps == 16) st.sample = Sample::Half;
  else if (isFloat && st.bps == 32) st.sample = Sample::F32;
  else if (isFloat && st.bps == 64) st.sample = Sample::F64;
  else if (isFloat || (sf != SAMPLEFORMAT_UINT && sf != SAMPLEFORMAT_VOID && !(st.lab && sf == SAMPLEFORMAT_INT)))
    return RasFail(kUnsupported, "TIFF sample format %u with %u bits is not supported", sf, st.bps);
  else if (st.bps == 8) st.sample = Sample::U8;
  else if (st.bps == 16) st.sample = Sample::U16;
  else if (st.bps == 32) st.sample = Sample::U32;
  else if (st.bps == 1 || st.bps == 2 || st.bps == 4) st.sample = Sample::Bits;
  else return RasFail(kUnsupported, "%u-bit TIFF samples are not supported", st.bps);
  if (st.lab && st.sample != Sample::U8 && st.sample != Sample::U16)
    return RasFail(kUnsupported, "%u-bit L*a*b* TIFF files are not supported", st.bps);
  if (st.palette && st.sample != Sample::U8 && st.sample != Sample::Bits)
    return RasFail(kUnsupported, "%u-bit palette TIFF files are not supported", st.bps);
  st.out16 = wide;

  // Colour.
  switch (ph) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      st.colorChannels = 1;
      st.invert = ph == PHOTOMETRIC_MINISWHITE;
      st.colorType = kRasGray;
      break;
    case PHOTOMETRIC_PALETTE: {
      uint16_t *r, *g, *b;
      if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) return RasFail(kFormatErr, "the palette TIFF has no colour map");
      const int n = 1 << st.bps;
      st.grayMap = true;
      for (int i = 0; i < n; ++i) {
        st.mapR[i] = (uint8_t)(r[i] / 257);
        st.mapG[i] = (uint8_t)(g[i] / 257);
        st.mapB[i] = (uint8_t)(b[i] / 257);
        st.grayMap = st.grayMap && r[i] == g[i] && g[i] == b[i];
      }
      st.colorChannels = 1;
      st.colorType = st.grayMap ? kRasGray : kRasRGB;
      break;
    }
    case PHOTOMETRIC_YCBCR:
      if (comp != COMPRESSION_JPEG)
        return RasFail(kUnsupported, "YCbCr TIFF files are supported only with JPEG compression");
      TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      [[fallthrough]];
    case PHOTOMETRIC_RGB:
      st.colorChannels = 3;
      st.colorType = kRasRGB;
      break;
    case PHOTOMETRIC_SEPARATED: {
      uint16_t inkset = INKSET_CMYK;
      TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
      if (inkset != INKSET_CMYK || st.spp < 4) return RasFail(kUnsupported, "TIFF inks other than CMYK are not supported");
      st.colorChannels = 4;
      st.colorType = kRasCMYK;
      break;
    }
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
      st.colorChannels = 3;
      st.colorType = kRasLab;
      break;
    default:
      return RasFail(kUnsupported, "TIFF photometric %u is not supported", ph);
  }
  if (st.spp < st.colorChannels)
    return RasFail(kFormatErr, "the TIFF file has %u samples per pixel, its colour needs %d", st.spp, st.colorChannels);
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  if (st.spp > st.colorChannels && TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
      !st.lab && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
    st.alpha = st.colorChannels;
    st.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
  }

  // Bands.
  const uint64_t planes = st.planar == PLANARCONFIG_SEPARATE ? st.spp : 1;
  const uint64_t samplesPerRow = (uint64_t)st.width * (planes == 1 ? st.spp : 1);
  st.planeRowBytes = (samplesPerRow * st.bps + 7) / 8;
  st.tiled = TIFFIsTiled(tif);
  if (st.tiled) {
    uint32_t tw = 0, th = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
    if (tw == 0 || th == 0) return RasFail(kFormatErr, "the TIFF tiles have no size");
    st.tileWidth = tw;
    st.bandRows = th;
    const uint64_t tileBytes = (uint64_t)TIFFTileSize64(tif);
    if (tileBytes == 0 || tileBytes > kMaxBandBytes) return RasFail(kUnsupported, "the TIFF tiles are too large");
    st.tile.resize((size_t)tileBytes);
  } else {
    uint32_t rps = st.length;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    st.bandRows = rps == 0 || rps > st.length ? st.length : rps;
  }
  st.planeBandBytes = st.planeRowBytes * st.bandRows;
  if (st.planeRowBytes > kMaxBandBytes || st.planeBandBytes * planes > kMaxBandBytes)
    return RasFail(kUnsupported, "the TIFF %s of %u rows is too large to decode", st.tiled ? "row of tiles" : "strip",
                   st.bandRows);
  st.band.assign((size_t)(st.planeBandBytes * planes), 0);
  st.samples.assign((size_t)st.width * st.spp, 0);

  // Attachments.
  uint32_t count = 0;
  void* data = nullptr;
  if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &count, &data) && count >= 4 && data) {
    st.icc.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + count);
  }
  if (TIFFGetField(tif, TIFFTAG_RICHTIFFIPTC, &count, &data) && count > 0 && data) {
    // libtiff reports the count in 32-bit units for LONG, in bytes otherwise.
    const TIFFField* f = TIFFFieldWithTag(tif, TIFFTAG_RICHTIFFIPTC);
    const uint64_t bytes = f && TIFFFieldDataType(f) == TIFF_LONG ? 4ull * count : count;
    st.iptc.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + bytes);
    st.iptc.resize((st.iptc.size() + 3) & ~size_t(3), 0);
  }

  return kOk;
}

// Decodes band `b` into st.band (planes one after another).
Status LoadBand(LibTiffState& st, uint32_t b) {
  TIFF* tif = st.tif.get();
  const uint32_t planes = st.planar == PLANARCONFIG_SEPARATE ? st.spp : 1;
  const uint32_t y0 = b * st.bandRows;
  const uint32_t rows = st.length - y0 < st.bandRows ? st.length - y0 : st.bandRows;
  st.cachedBand = -1;
  for (uint32_t p = 0; p < planes; ++p) {
    uint8_t* into = st.band.data() + p * st.planeBandBytes;
    if (!st.tiled) {
      const uint32_t strip = TIFFComputeStrip(tif, y0, (uint16_t)p);
      st.tif.ClearError();
      if (TIFFReadEncodedStrip(tif, strip, into, (tmsize_t)(st.planeRowBytes * rows)) < 0)
        return Fail(st, kReadErr, "a TIFF strip cannot be decoded");
      continue;
    }
    const uint64_t tileRowBytes = (uint64_t)TIFFTileRowSize64(tif);
    const uint64_t bitsPerPixel = (uint64_t)st.bps * (planes == 1 ? st.spp : 1);
    for (uint32_t x0 = 0; x0 < st.width; x0 += st.tileWidth) {
      st.tif.ClearError();
      const uint32_t t = TIFFComputeTile(tif, x0, y0, 0, (uint16_t)p);
      if (TIFFReadEncodedTile(tif, t, st.tile.data(), (tmsize_t)st.tile.size()) < 0)
        return Fail(st, kReadErr, "a TIFF tile cannot be decoded");
      const uint32_t cols = st.width - x0 < st.tileWidth ? st.width - x0 : st.tileWidth;
      const uint64_t at = x0 * bitsPerPixel / 8, bytes = (cols * bitsPerPixel + 7) / 8;
      for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(into + r * st.planeRowBytes + at, st.tile.data() + r * tileRowBytes, (size_t)bytes);
    }
  }
  st.cachedBand = b;
  return kOk;
}

// The samples of one row to the scanline's planes.
void Emit(const LibTiffState& st, RasScanline& sl) {
  const uint32_t w = st.width, spp = st.spp;
  const uint16_t* s = st.samples.data();
  if (st.palette) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint16_t i = s[x * spp] & 0xFF;
      if (st.grayMap) {
        sl.plane8[0][x] = st.mapR[i];
      } else {
        sl.plane8[0][x] = st.mapR[i];
        sl.plane8[1][x] = st.mapG[i];
        sl.plane8[2][x] = st.mapB[i];
      }
    }
    return;
  }
  const int n = st.colorChannels;
  const uint32_t max = st.out16 ? 65535 : 255;
  for (uint32_t x = 0; x < w; ++x) {
    const uint16_t* px = s + x * spp;
    const uint32_t a = st.alpha >= 0 ? px[st.alpha] : max;
    for (int c = 0; c < n; ++c) {
      uint32_t v = px[c];
      if (st.lab) {
        if (st.cieLab && c > 0) v ^= 0x80;  // two's complement to offset-128 form
      } else {
        if (st.invert) v = max - v;
        if (a != max) {
          // Over white for gray and RGB; over no ink for CMYK.
          const uint32_t premul = st.associated ? (v < a ? v : a) : (v * a + max / 2) / max;
          v = n == 4 ? premul : premul + (max - a);
        }
      }
      if (st.out16) sl.plane16[c][x] = (uint16_t)v;
      else sl.plane8[c][x] = (uint8_t)v;
    }
  }
}

}  // namespace

Status TiffLibOpenRead(RasImage& image, bool is16) {
  RasFileState& fs = *image.file;
  auto st = std::make_unique<LibTiffState>();
  if (!fs.stream.IsOpen()) {
    int64_t size = 0;
    if (Status opened = RasOpenInput(fs, size); opened != kOk) return opened;
  }
  if (Status opened = st->tif.OpenRead(fs.stream, fs.path); opened != kOk) return opened;
  fs.recognised = true;
  Status status = Describe(*st, is16, fs);
  if (status != kOk) return status;
  RasClearFailure();
  const int32_t colorType = st->colorType;
  const int32_t channels = colorType == kRasGray ? 1 : colorType == kRasCMYK ? 4 : 3;
  float xres = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFF* tif = st->tif.get();
  TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  float resolution = -1;
  if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && xres > 0 && std::isfinite(xres))
    resolution = unit == RESUNIT_CENTIMETER ? xres * 2.54f : xres;
  RasDescribe(image, is16 ? kRasTiff16 : kRasTiff, st->width, st->length, channels, colorType, resolution);
  image.meta.resolutionUnit = resolution > 0 && unit == RESUNIT_NONE         ? ResolutionUnit::kNone
                              : resolution > 0 && unit == RESUNIT_CENTIMETER ? ResolutionUnit::kCentimetre
                                                                             : ResolutionUnit::kInch;
  image.meta.iccProfile = std::move(st->icc);
  image.meta.iptc = st->iptc;
  fs.module = std::move(st);
  return kOk;
}


Status TiffLibReadRow(RasImage& image, uint32_t line, RasScanline& sl) {
  LibTiffState& st = *StateOf(image);
  const uint32_t b = line / st.bandRows;
  if (st.cachedBand != (int64_t)b) {
    if (Status status = LoadBand(st, b); status != kOk) return status;
  }
  const uint32_t within = line - b * st.bandRows;
  // 8-bit chunky samples with nothing to map (no palette, alpha, inversion or
  // Lab): straight into the planes, as Fetch and Emit would put them.
  if (st.sample == Sample::U8 && st.planar != PLANARCONFIG_SEPARATE && !st.out16 && !st.palette && st.alpha < 0 &&
      !st.invert && !st.lab && st.spp == (uint16_t)st.colorChannels) {
    const uint8_t* in = st.band.data() + within * st.planeRowBytes;
    const uint32_t spp = st.spp;
    for (uint32_t c = 0; c < spp; ++c) {
      uint8_t* out = sl.plane8[c];
      for (uint32_t x = 0; x < st.width; ++x) out[x] = in[x * spp + c];
    }
    return kOk;
  }
  if (st.planar == PLANARCONFIG_SEPARATE) {
    for (uint32_t p = 0; p < st.spp; ++p)
      Fetch(st, st.band.data() + p * st.planeBandBytes + within * st.planeRowBytes, st.width, st.samples.data() + p,
            st.spp);
  } else {
    Fetch(st, st.band.data() + within * st.planeRowBytes, st.width * st.spp, st.samples.data(), 1);
  }
  Emit(st, sl);
  return kOk;
}

const uint8_t* TiffLibIptc(const RasImage& image, uint32_t& bytes) {
  const LibTiffState* st = StateOf(image);
  bytes = st ? (uint32_t)st->iptc.size() : 0;
  return bytes ? st->iptc.data() : nullptr;
}

void TiffLibLastCodec(const RasImage& image, int32_t& compression, int32_t& predictor) {
  if (const LibTiffState* st = StateOf(image)) {
    compression = st->compression;
    predictor = st->predictor;
  }
}

// ---- writing --------------------------------------------------------------------------
namespace {

struct LibTiffWriteState : RasModuleState {
  TiffHandle tif;
  uint32_t width = 0, length = 0, channels = 0, planar = 1, rowsPerStrip = 1, strips = 0;
  bool is16 = false, lab = false, failed = false;
  uint64_t planeRowBytes = 0;  // one row of one plane (chunky: all samples)
  std::vector<uint8_t> strip;  // one strip of every plane
};

LibTiffWriteState* WriteStateOf(RasImage& image) {
  return image.file && image.file->module ? dynamic_cast<LibTiffWriteState*>(image.file->module.get()) : nullptr;
}

}  // namespace

Status TiffLibCreate(RasImage& image, const TiffLibWriteSetup& setup) {
  RasFileState& fs = *image.file;
  if (setup.compression != COMPRESSION_LZW && setup.compression != COMPRESSION_ADOBE_DEFLATE)
    return RasFail(kBadArg, "TIFF compression %u cannot be written", setup.compression);
  auto st = std::make_unique<LibTiffWriteState>();
  st->width = image.width;
  st->length = image.height;
  st->channels = (uint32_t)image.channels;
  st->is16 = image.Is16();
  st->lab = image.colorType == kRasLab;
  st->planar = st->channels == 1 ? 1 : setup.planar;
  const uint32_t bytes = st->is16 ? 2 : 1;
  const uint64_t rowBytes = (uint64_t)st->channels * st->width * bytes;
  uint64_t rps = 30000 / rowBytes;
  if (rps == 0) rps = 1;
  if (rps > st->length) rps = st->length;
  st->rowsPerStrip = (uint32_t)rps;
  st->strips = (st->length + st->rowsPerStrip - 1) / st->rowsPerStrip;
  st->planeRowBytes = st->planar == 2 ? (uint64_t)st->width * bytes : rowBytes;
  if (rowBytes * rps > kMaxBandBytes) return RasFail(kBadArg, "a TIFF row of %u pixels is too wide", image.width);
  st->strip.assign((size_t)(rowBytes * rps), 0);

  if (Status created = RasCreateOutput(fs); created != kOk) return created;
  auto abandon = [&](Status status, const char* what) {
    const std::string why = st->tif.LastError();
    st->tif.Close();
    RasAbandonOutput(fs);
    return why.empty() ? RasFail(status, "%s", what) : RasFail(status, "%s: %s", what, why.c_str());
  };
  if (Status opened = st->tif.OpenWrite(fs.stream, fs.path); opened != kOk) return abandon(kWriteErr, "cannot start the TIFF file");
  TIFF* tif = st->tif.get();
  const int32_t ct = image.colorType;
  const uint16_t photometric = ct == kRasCMYK ? PHOTOMETRIC_SEPARATED
                               : ct == kRasGray ? PHOTOMETRIC_MINISBLACK
                               : ct == kRasLab  ? PHOTOMETRIC_CIELAB
                                                : PHOTOMETRIC_RGB;
  const uint16_t unit = (uint16_t)image.meta.resolutionUnit;
  const float perUnit = image.resolution > 0 ? (unit == RESUNIT_CENTIMETER ? image.resolution / 2.54f : image.resolution)
                                             : 300.0f;
  bool ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0) && TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, st->width) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, st->length) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, st->is16 ? 16 : 8) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, setup.compression) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, st->channels) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, st->rowsPerStrip) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, perUnit) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, perUnit) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, image.resolution > 0 ? unit : RESUNIT_INCH) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, st->planar);
  if (ok && setup.predictor == 2) ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (ok && ct == kRasCMYK) ok = TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (ok && setup.profile && setup.profileSize) ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, setup.profileSize, setup.profile);
  if (ok && setup.iptc && setup.iptcBytes) ok = TIFFSetField(tif, TIFFTAG_RICHTIFFIPTC, setup.iptcBytes / 4, setup.iptc);
  if (!ok) return abandon(kWriteErr, "cannot describe the TIFF file");
  fs.module = std::move(st);
  return kOk;
}

Status TiffLibWriteRow(RasImage& image, uint32_t line, const RasScanline& sl) {
  LibTiffWriteState& st = *WriteStateOf(image);
  const uint32_t k = line / st.rowsPerStrip, within = line - k * st.rowsPerStrip;
  const uint32_t rows = st.length - k * st.rowsPerStrip < st.rowsPerStrip ? st.length - k * st.rowsPerStrip : st.rowsPerStrip;
  const uint32_t w = st.width, ch = st.channels;
  const uint64_t planeStrip = st.planeRowBytes * rows;
  for (uint32_t c = 0; c < ch; ++c) {
    const bool flip = st.lab && c > 0;  // offset-128 form to two's complement
    if (st.planar == 2) {
      uint8_t* out = st.strip.data() + c * planeStrip + within * st.planeRowBytes;
      if (st.is16) std::memcpy(out, sl.plane16[c], 2 * (size_t)w);
      else std::memcpy(out, sl.plane8[c], w);
      if (flip)
        for (uint32_t x = 0; x < w; ++x) out[x] ^= 0x80;
    } else if (st.is16) {
      uint16_t* out = reinterpret_cast<uint16_t*>(st.strip.data() + within * st.planeRowBytes) + c;
      for (uint32_t x = 0; x < w; ++x) out[x * ch] = sl.plane16[c][x];
    } else {
      uint8_t* out = st.strip.data() + within * st.planeRowBytes + c;
      const uint8_t flipBits = flip ? 0x80 : 0;
      for (uint32_t x = 0; x < w; ++x) out[x * ch] = sl.plane8[c][x] ^ flipBits;
    }
  }
  if (within + 1 != rows) return kOk;
  TIFF* tif = st.tif.get();
  const uint32_t planes = st.planar == 2 ? ch : 1;
  for (uint32_t p = 0; p < planes; ++p) {
    st.tif.ClearError();
    if (TIFFWriteEncodedStrip(tif, p * st.strips + k, st.strip.data() + p * planeStrip, (tmsize_t)planeStrip) < 0) {
      st.failed = true;
      const std::string& why = st.tif.LastError();
      return RasFail(kWriteErr, "cannot write TIFF strip %u%s%s", p * st.strips + k, why.empty() ? "" : ": ", why.c_str());
    }
  }
  return kOk;
}

Status TiffLibCloseWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  LibTiffWriteState* st = WriteStateOf(image);
  bool ok = st && !st->failed;
  if (st) ok = st->tif.Close() && ok;
  fs.module.reset();
  return RasFinishOutput(fs, ok);
}

bool TiffLibOwns(const RasImage& image) {
  return StateOf(image) != nullptr ||
         (image.file && dynamic_cast<const LibTiffWriteState*>(image.file->module.get()) != nullptr);
}
