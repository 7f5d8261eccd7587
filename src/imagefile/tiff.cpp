#include "imagefile/tiff.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "imagefile/rasmodule.h"
#include "imagefile/rowpack.h"
#include "imagefile/tiffcodec.h"
#include "base/bytes.h"

namespace {

// ---- options -----------------------------------------------------------------------

enum : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

// How rows become planes.
enum class Layout { Gray, GrayInverted, GrayTable, Palette, Chunky, Planar, Lab };

struct TiffState : RasModuleState {
  bool big = false;  // "MM"
  bool is16 = false;
  int64_t fileSize = 0;
  // directory
  uint32_t width = 0, length = 0;
  uint16_t bps[4] = {1, 1, 1, 1};
  uint32_t compression = 1, photometric = 1, spp = 1, rowsPerStrip = 0, planar = 1;
  uint32_t resUnit = 2, predictor = 1;
  uint32_t sampleFormat = 1;  // 1 unsigned integers; others go to libtiff
  uint32_t fillOrder = 1;  // 2: bits stored least significant first
  uint32_t xNum = 300, xDen = 1;
  uint32_t tileWidth = 0, tileLength = 0;
  std::vector<uint32_t> stripOffsets, stripCounts, tileOffsets, tileCounts;
  bool hasColorMap = false, grayPalette = false;
  uint8_t mapR[256] = {}, mapG[256] = {}, mapB[256] = {};
  MemPtr<uint8_t[]> iptc;
  uint32_t iptcBytes = 0;
  std::vector<uint8_t> profile;  // the ICC profile tag's bytes
  // geometry
  Layout layout = Layout::Gray;
  uint32_t stripsPerPlane = 0;
  uint32_t bytesPerSample = 1;
  uint64_t planeRowBytes = 0;  // one plane's row in the file (chunky: all samples)
  uint64_t planeStripBytes = 0;  // one plane's full strip
  MemPtr<uint8_t[]> strip;     // all planes of one strip; null: rows read directly
  int64_t cachedStrip = -1;
  MemPtr<uint8_t[]> direct;    // one file row per plane, for direct reading
  // writing
  uint32_t channels = 0;
  uint64_t dataOffset = 0;
  uint32_t strips = 0;
  std::vector<uint32_t> outOffsets, outCounts;
  bool failed = false;
};

TiffState& StateOf(RasImage& image) { return *static_cast<TiffState*>(image.file->module.get()); }

bool HostIsBig() {
  const uint16_t probe = 1;
  uint8_t b;
  std::memcpy(&b, &probe, 1);
  return b == 0;
}

// ---- reading the directory -----------------------------------------------------------
struct DirReader {
  TiffState& st;
  Stream& s;
  uint16_t U16(const uint8_t* p) const { return st.big ? LoadBE16(p) : LoadLE16(p); }
  uint32_t U32(const uint8_t* p) const { return st.big ? LoadBE32(p) : LoadLE32(p); }

  // A single value: SHORT from the left-justified bytes, BYTE from the first byte, else 32 bits.
  uint32_t Scalar(const uint8_t* e) const {
    const uint16_t type = U16(e + 2);
    if (type == kShort) return U16(e + 8);
    if (type == kByte || type == kUndefined) return e[8];
    return U32(e + 8);
  }

  // Reads `bytes` of values at `offset`, checked against the file's size.
  Status ReadAt(uint32_t tag, uint32_t offset, uint64_t bytes, void* into) {
    if (offset + bytes > (uint64_t)st.fileSize)
      return RasFail(kReadErr, "the values of TIFF tag %u lie past the end of the file", tag);
    if (RasSeekTo(s, offset) != kOk) return RasFail(kSeekErr, "cannot reach the values of TIFF tag %u", tag);
    if (StreamReadExact(s, into, (size_t)bytes) != kOk)
      return RasFail(kReadErr, "the values of TIFF tag %u are cut short", tag);
    return kOk;
  }

  // SHORT or LONG arrays (strip and tile tables), widened to 32 bits; other types are ignored.
  Status Array(const uint8_t* e, std::vector<uint32_t>& out) {
    const uint16_t tag = U16(e), type = U16(e + 2);
    const uint32_t count = U32(e + 4);
    if (type != kShort && type != kLong) return kOk;
    const uint32_t size = type == kShort ? 2 : 4;
    const uint64_t bytes = (uint64_t)count * size;
    if (bytes > (uint64_t)st.fileSize) return RasFail(kReadErr, "TIFF tag %u claims %u values, more than the file holds", tag, count);
    if (bytes == 0) {
      out.clear();
      return kOk;
    }
    std::vector<uint8_t> raw((size_t)bytes);
    if (bytes <= 4) {
      std::memcpy(raw.data(), e + 8, (size_t)bytes);
    } else {
      Status status = ReadAt(tag, U32(e + 8), bytes, raw.data());
      if (status != kOk) return status;
    }
    out.resize(count);
    for (uint32_t i = 0; i < count; ++i) out[i] = size == 2 ? U16(&raw[2 * i]) : U32(&raw[4 * i]);
    return kOk;
  }

  Status Entry(const uint8_t* e) {
    const uint16_t tag = U16(e), type = U16(e + 2);
    const uint32_t count = U32(e + 4);
    switch (tag) {
      case 256: st.width = Scalar(e); return kOk;
      case 257: st.length = Scalar(e); st.rowsPerStrip = st.length; return kOk;
      case 258: {
        if (count < 1 || count > 4 || type != kShort) return kOk;
        uint8_t raw[8];
        if (count <= 2) std::memcpy(raw, e + 8, 4);
        else if (Status status = ReadAt(tag, U32(e + 8), 2ull * count, raw); status != kOk) return status;
        for (uint32_t i = 0; i < count; ++i) st.bps[i] = U16(raw + 2 * i);
        if (count == 1) st.bps[1] = st.bps[2] = st.bps[3] = st.bps[0];  // one value stands for every sample
        return kOk;
      }
      case 259: st.compression = Scalar(e); return kOk;
      case 262: st.photometric = Scalar(e); return kOk;
      case 266: st.fillOrder = Scalar(e); return kOk;
      case 273: return Array(e, st.stripOffsets);
      case 277: st.spp = Scalar(e); return kOk;
      case 278: st.rowsPerStrip = Scalar(e); return kOk;
      case 279: return Array(e, st.stripCounts);
      case 282: {
        if (type != kRational) return kOk;
        uint8_t raw[8];
        if (Status status = ReadAt(tag, U32(e + 8), 8, raw); status != kOk) return status;
        st.xNum = U32(raw);
        st.xDen = U32(raw + 4);
        return kOk;
      }
      case 284: st.planar = Scalar(e); return kOk;
      case 296: st.resUnit = Scalar(e); return kOk;
      case 317: st.predictor = Scalar(e); return kOk;
      case 339: {
        if (count <= 2 || type != kShort) {
          st.sampleFormat = Scalar(e);
          return kOk;
        }
        uint8_t raw[2];
        if (Status status = ReadAt(tag, U32(e + 8), 2, raw); status != kOk) return status;
        st.sampleFormat = U16(raw);
        return kOk;
      }
      case 320: {
        if (type != kShort || count != 768 || st.spp != 1 || st.photometric != 3 || st.bps[0] != 8) return kOk;
        uint8_t raw[1536];
        if (Status status = ReadAt(tag, U32(e + 8), sizeof raw, raw); status != kOk) return status;
        bool gray = true;
        for (int i = 0; i < 256; ++i) {
          const uint16_t r = U16(raw + 2 * i), g = U16(raw + 512 + 2 * i), b = U16(raw + 1024 + 2 * i);
          st.mapR[i] = (uint8_t)(r / 257);
          st.mapG[i] = (uint8_t)(g / 257);
          st.mapB[i] = (uint8_t)(b / 257);
          gray = gray && r == g && g == b;
        }
        st.hasColorMap = true;
        st.grayPalette = gray;
        return kOk;
      }
      case 322: st.tileWidth = Scalar(e); return kOk;
      case 323: st.tileLength = Scalar(e); return kOk;
      case 324: return Array(e, st.tileOffsets);
      case 325: return Array(e, st.tileCounts);
      case 33723: {
        const uint64_t bytes = (uint64_t)count * (type == kLong ? 4 : 1);
        if (bytes == 0) return kOk;
        if (bytes > (uint64_t)st.fileSize) return RasFail(kReadErr, "the IPTC block runs past the end of the file");
        const uint64_t padded = (bytes + 3) & ~uint64_t(3);
        MemPtr<uint8_t[]> block(static_cast<uint8_t*>(MemAllocZero((size_t)padded)));
        if (!block) return kNoMem;
        if (bytes <= 4) std::memcpy(block.get(), e + 8, (size_t)bytes);
        else if (Status status = ReadAt(tag, U32(e + 8), bytes, block.get()); status != kOk) return status;
        st.iptc = std::move(block);
        st.iptcBytes = (uint32_t)padded;
        return kOk;
      }
      case 34675: {
        if (count < 4 || count > st.fileSize) return kOk;  // no profile fits in the entry itself
        std::vector<uint8_t> profile(count);
        if (Status status = ReadAt(tag, U32(e + 8), count, profile.data()); status != kOk) return status;
        st.profile = std::move(profile);
        return kOk;
      }
      default:
        return kOk;  // 254 and every other tag: not used
    }
  }
};

// The directory check of either module, then the strip geometry.
Status CheckDirectory(TiffState& st) {
  if (st.tileWidth != 0 && st.tileWidth == st.width && st.stripOffsets.empty() && st.stripCounts.empty() &&
      !st.tileOffsets.empty() && !st.tileCounts.empty()) {
    st.stripOffsets = std::move(st.tileOffsets);
    st.stripCounts = std::move(st.tileCounts);
    st.rowsPerStrip = st.tileLength;
  }
  if (st.compression == 5) return RasFail(kUnsupported, "LZW-compressed TIFF files are not supported");
  if (st.compression != 1) return RasFail(kUnsupported, "TIFF compression %u is not supported", st.compression);
  if (st.sampleFormat != 1) return RasFail(kUnsupported, "TIFF sample format %u is not supported", st.sampleFormat);
  if (st.stripOffsets.empty() || st.stripCounts.empty()) {
    if (st.tileWidth) return RasFail(kUnsupported, "tiled TIFF files are not supported unless the tiles span the width");
    return RasFail(kUnsupported, "the TIFF directory has no strips");
  }
  if (st.width == 0 || st.length == 0) return RasFail(kUnsupported, "the TIFF image is empty");
  if (st.planar != 1 && st.planar != 2) return RasFail(kUnsupported, "TIFF planar configuration %u", st.planar);
  if (st.spp != 1 && st.spp != 3 && st.spp != 4)
    return RasFail(kUnsupported, "TIFF files with %u samples per pixel are not supported", st.spp);
  const uint16_t want = st.is16 ? 16 : 8;
  bool depthOk = true;
  for (uint32_t i = 0; i < st.spp; ++i) depthOk = depthOk && st.bps[i] == want;
  if (!depthOk) return RasFail(kUnsupported, "%u-bit TIFF samples are not supported here", st.bps[0]);
  const uint32_t ph = st.photometric;
  bool ok;
  if (st.spp == 1) ok = ph == 0 || ph == 1 || (!st.is16 && ph == 3 && st.hasColorMap);
  else if (st.spp == 3) ok = ph == 2 || (!st.is16 && (ph == 8 || ph == 9));
  else ok = ph == 5;
  if (!ok) {
    if (st.spp == 4 && ph == 2) return RasFail(kUnsupported, "RGB TIFF files with an alpha channel are not supported");
    if (ph == 3) return RasFail(kUnsupported, "palette TIFF without a usable colour map");
    return RasFail(kUnsupported, "TIFF photometric %u with %u samples is not supported", ph, st.spp);
  }
  // Strip geometry; every strip must lie in the file and hold its rows.
  if (st.rowsPerStrip == 0 || st.rowsPerStrip > st.length) st.rowsPerStrip = st.length;
  st.bytesPerSample = st.is16 ? 2 : 1;
  const uint32_t planes = st.planar == 2 ? st.spp : 1;
  st.planeRowBytes = (uint64_t)st.width * st.bytesPerSample * (st.planar == 2 ? 1 : st.spp);
  st.planeStripBytes = st.planeRowBytes * st.rowsPerStrip;
  st.stripsPerPlane = (st.length + st.rowsPerStrip - 1) / st.rowsPerStrip;
  const uint64_t strips = (uint64_t)st.stripsPerPlane * planes;
  if (st.stripOffsets.size() < strips || st.stripCounts.size() < strips)
    return RasFail(kFormatErr, "the TIFF file lists %zu strips where %llu are needed", st.stripOffsets.size(),
                   (unsigned long long)strips);
  for (uint64_t k = 0; k < strips; ++k) {
    const uint32_t first = (uint32_t)(k % st.stripsPerPlane) * st.rowsPerStrip;
    const uint32_t rows = st.length - first < st.rowsPerStrip ? st.length - first : st.rowsPerStrip;
    const uint64_t need = st.planeRowBytes * rows;
    if ((uint64_t)st.stripOffsets[k] + st.stripCounts[k] > (uint64_t)st.fileSize)
      return RasFail(kReadErr, "TIFF strip %llu lies past the end of the file", (unsigned long long)k);
    if (st.stripCounts[k] < need)
      return RasFail(kFormatErr, "TIFF strip %llu holds %u bytes, its rows need %llu", (unsigned long long)k,
                     st.stripCounts[k], (unsigned long long)need);
  }
  if (ph == 0 || ph == 1) st.layout = ph == 0 ? Layout::GrayInverted : Layout::Gray;
  else if (ph == 3) st.layout = st.grayPalette ? Layout::GrayTable : Layout::Palette;
  else if (ph == 8 || ph == 9) st.layout = st.planar == 2 ? Layout::Planar : Layout::Lab;
  else st.layout = st.planar == 2 ? Layout::Planar : Layout::Chunky;
  // One strip of every plane in the buffer, unless that is large: then rows are read directly.
  constexpr uint64_t kMaxStripBuffer = 32u << 20;
  const uint64_t stripBytes = st.planeStripBytes * planes;
  if (stripBytes <= kMaxStripBuffer) st.strip.reset(static_cast<uint8_t*>(MemAlloc((size_t)stripBytes)));
  if (!st.strip) {
    st.direct.reset(static_cast<uint8_t*>(MemAlloc((size_t)(st.planeRowBytes * planes))));
    if (!st.direct) return kNoMem;
  }
  return kOk;
}

Status OpenRead(RasImage& image, bool is16) {
  RasFileState& fs = *image.file;
  Stream& s = fs.stream;
  auto st = std::make_unique<TiffState>();
  st->is16 = is16;
  if (Status opened = RasOpenInput(fs, st->fileSize); opened != kOk) return opened;
  uint8_t head[8];
  if (StreamReadExact(s, head, 8) != kOk) return RasFail(kFormatErr, "too short for a TIFF file");
  if (head[0] == 'I' && head[1] == 'I') st->big = false;
  else if (head[0] == 'M' && head[1] == 'M') st->big = true;
  else return RasFail(kFormatErr, "no TIFF byte order mark");
  DirReader dr{*st, s};
  if (dr.U16(head + 2) != 42) return RasFail(kFormatErr, "no TIFF version 42");
  // Until the depth is known, the 8-bit module speaks for a broken file.
  fs.recognised = !is16;
  const uint32_t dirOffset = dr.U32(head + 4);
  uint8_t countBytes[2];
  if ((int64_t)dirOffset + 2 > st->fileSize) return RasFail(kReadErr, "the TIFF directory lies past the end of the file");
  if (RasSeekTo(s, dirOffset) != kOk) return RasFail(kSeekErr, "cannot reach the TIFF directory");
  if (StreamReadExact(s, countBytes, 2) != kOk) return RasFail(kReadErr, "cannot read the TIFF directory");
  const uint32_t n = dr.U16(countBytes);
  const uint64_t dirBytes = 12ull * n;
  if (dirOffset + 2 + dirBytes > (uint64_t)st->fileSize)
    return RasFail(kReadErr, "the TIFF directory runs past the end of the file");
  std::vector<uint8_t> dir((size_t)dirBytes);
  if (n && StreamReadExact(s, dir.data(), (size_t)dirBytes) != kOk) return RasFail(kReadErr, "cannot read the TIFF directory");
  st->rowsPerStrip = 0;
  for (uint32_t i = 0; i < n; ++i) {
    Status status = dr.Entry(&dir[12 * i]);
    if (status != kOk) return status;
  }
  image.meta.Clear();
  image.meta.iccProfile = std::move(st->profile);
  if (st->iptc) image.meta.iptc.assign(st->iptc.get(), st->iptc.get() + st->iptcBytes);
  image.meta.resolutionUnit = st->resUnit == 3 ? ResolutionUnit::kCentimetre
                              : st->resUnit == 1 ? ResolutionUnit::kNone
                                                 : ResolutionUnit::kInch;
  // The file belongs to the module of its depth.
  const bool sixteen = st->bps[0] == 16;
  fs.recognised = is16 ? sixteen : !sixteen;
  Status status = CheckDirectory(*st);
  if (status != kOk) return status;
  image.width = st->width;
  image.height = st->length;
  const uint32_t ph = st->photometric;
  if (ph == 0 || ph == 1 || st->layout == Layout::GrayTable) {
    image.colorType = kRasGray;
    image.channels = 1;
  } else if (ph == 2 || ph == 3) {
    image.colorType = kRasRGB;
    image.channels = 3;
  } else if (ph == 5) {
    image.colorType = kRasCMYK;
    image.channels = 4;
  } else {
    image.colorType = kRasLab;
    image.channels = 3;
  }
  double dpi = st->xDen ? (double)st->xNum / st->xDen : 0;
  // Unit 1 states no unit: the number is kept as it is, with its unit.
  if (st->resUnit != 2 && st->resUnit != 1) dpi *= 2.54;
  image.resolution = dpi > 0 ? (float)dpi : -1.0f;
  image.meta.resolutionUnit = dpi > 0 && st->resUnit == 1   ? ResolutionUnit::kNone
                              : dpi > 0 && st->resUnit == 3 ? ResolutionUnit::kCentimetre
                                                            : ResolutionUnit::kInch;
  image.format = is16 ? kRasTiff16 : kRasTiff;
  fs.module = std::move(st);
  return kOk;
}

// ---- moving samples ---------------------------------------------------------------------
// Chunky 8-bit rows to planes and back; three channels through the shared kernels.
template <int N>
void Split8(const uint8_t* __restrict in, uint8_t* const* planes, uint32_t w) {
  if constexpr (N == 3) {
    SplitRgb8(in, planes[0], planes[1], planes[2], w);
  } else {
    uint8_t* __restrict p0 = planes[0];
    uint8_t* __restrict p1 = planes[1];
    uint8_t* __restrict p2 = planes[2];
    uint8_t* __restrict p3 = planes[3];
    for (uint32_t x = 0; x < w; ++x, in += 4) {
      p0[x] = in[0];
      p1[x] = in[1];
      p2[x] = in[2];
      p3[x] = in[3];
    }
  }
}

template <int N>
void Join8(uint8_t* __restrict out, const uint8_t* const* planes, uint32_t w) {
  if constexpr (N == 3) {
    JoinRgb8(out, planes[0], planes[1], planes[2], w);
  } else {
    const uint8_t* __restrict p0 = planes[0];
    const uint8_t* __restrict p1 = planes[1];
    const uint8_t* __restrict p2 = planes[2];
    const uint8_t* __restrict p3 = planes[3];
    for (uint32_t x = 0; x < w; ++x, out += 4) {
      out[0] = p0[x];
      out[1] = p1[x];
      out[2] = p2[x];
      out[3] = p3[x];
    }
  }
}

inline uint16_t Swap16(uint16_t v) { return (uint16_t)((v >> 8) | (v << 8)); }

// 16-bit samples from file order (swap when the file's order is not the host's) into planes.
template <bool kSwap>
void Split16(const uint8_t* in, uint16_t* const* planes, uint32_t channels, uint32_t w, bool invert) {
  for (uint32_t c = 0; c < channels; ++c) {
    uint16_t* __restrict out = planes[c];
    const uint8_t* p = in + 2 * c;
    const size_t step = 2 * channels;
    for (uint32_t x = 0; x < w; ++x, p += step) {
      uint16_t v;
      std::memcpy(&v, p, 2);
      if constexpr (kSwap) v = Swap16(v);
      out[x] = invert ? (uint16_t)(65535 - v) : v;
    }
  }
}

template <bool kSwap>
void Join16(uint8_t* out, const uint16_t* const* planes, uint32_t channels, uint32_t w) {
  for (uint32_t c = 0; c < channels; ++c) {
    const uint16_t* __restrict in = planes[c];
    uint8_t* p = out + 2 * c;
    const size_t step = 2 * channels;
    for (uint32_t x = 0; x < w; ++x, p += step) {
      uint16_t v = in[x];
      if constexpr (kSwap) v = Swap16(v);
      std::memcpy(p, &v, 2);
    }
  }
}

// Converts one row; `rows[p]` is plane p's row in the file (only rows[0] when chunky).
void ConvertRow(const TiffState& st, const uint8_t* const* rows, RasScanline& sl) {
  const uint32_t w = st.width;
  const uint32_t ch = st.layout == Layout::Gray || st.layout == Layout::GrayInverted || st.layout == Layout::GrayTable
                          ? 1 : st.spp == 1 ? 3 : st.spp;
  if (st.is16) {
    const bool swap = st.big != HostIsBig();
    const bool invert = st.layout == Layout::GrayInverted;
    if (st.layout == Layout::Planar) {
      for (uint32_t c = 0; c < ch; ++c) {
        uint16_t* one[1] = {sl.plane16[c]};
        if (swap) Split16<true>(rows[c], one, 1, w, false);
        else Split16<false>(rows[c], one, 1, w, false);
      }
    } else if (swap) {
      Split16<true>(rows[0], sl.plane16, ch, w, invert);
    } else {
      Split16<false>(rows[0], sl.plane16, ch, w, invert);
    }
    return;
  }
  const uint8_t* in = rows[0];
  switch (st.layout) {
    case Layout::Gray: std::memcpy(sl.plane8[0], in, w); break;
    case Layout::GrayInverted:
      for (uint32_t x = 0; x < w; ++x) sl.plane8[0][x] = (uint8_t)(255 - in[x]);
      break;
    case Layout::GrayTable:
      for (uint32_t x = 0; x < w; ++x) sl.plane8[0][x] = st.mapR[in[x]];
      break;
    case Layout::Palette:
      for (uint32_t x = 0; x < w; ++x) {
        sl.plane8[0][x] = st.mapR[in[x]];
        sl.plane8[1][x] = st.mapG[in[x]];
        sl.plane8[2][x] = st.mapB[in[x]];
      }
      break;
    case Layout::Chunky:
      if (ch == 3) Split8<3>(in, sl.plane8, w);
      else Split8<4>(in, sl.plane8, w);
      break;
    case Layout::Lab:
      Split8<3>(in, sl.plane8, w);
      for (uint32_t x = 0; x < w; ++x) {
        sl.plane8[1][x] ^= 0x80;  // two's complement to offset-128 form
        sl.plane8[2][x] ^= 0x80;
      }
      break;
    case Layout::Planar:
      for (uint32_t c = 0; c < ch; ++c) std::memcpy(sl.plane8[c], rows[c], w);
      if (st.photometric == 8 || st.photometric == 9) {
        for (uint32_t x = 0; x < w; ++x) {
          sl.plane8[1][x] ^= 0x80;
          sl.plane8[2][x] ^= 0x80;
        }
      }
      break;
  }
}

// Fill order 2 stores each byte's bits reversed.
void ReverseBits(uint8_t* p, size_t n) {
  static const auto kTable = [] {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
      int r = 0;
      for (int b = 0; b < 8; ++b) r |= ((v >> b) & 1) << (7 - b);
      t[v] = (uint8_t)r;
    }
    return t;
  }();
  for (size_t i = 0; i < n; ++i) p[i] = kTable[p[i]];
}

Status ReadRow(RasImage& image, uint32_t line, RasScanline& sl) {
  TiffState& st = StateOf(image);
  Stream& s = image.file->stream;
  const uint32_t planes = st.planar == 2 ? st.spp : 1;
  const uint32_t strip = line / st.rowsPerStrip;
  const uint32_t within = line - strip * st.rowsPerStrip;
  const uint8_t* rows[4] = {};
  if (st.strip) {
    if (st.cachedStrip != strip) {
      st.cachedStrip = -1;
      const uint32_t first = strip * st.rowsPerStrip;
      const uint32_t count = st.length - first < st.rowsPerStrip ? st.length - first : st.rowsPerStrip;
      for (uint32_t p = 0; p < planes; ++p) {
        const uint32_t k = strip + p * st.stripsPerPlane;
        if (RasSeekTo(s, st.stripOffsets[k]) != kOk) return RasFail(kSeekErr, "cannot reach TIFF strip %u", k);
        if (StreamReadExact(s, st.strip.get() + p * st.planeStripBytes, (size_t)(st.planeRowBytes * count)) != kOk)
          return RasFail(kReadErr, "TIFF strip %u is cut short", k);
        if (st.fillOrder == 2) ReverseBits(st.strip.get() + p * st.planeStripBytes, (size_t)(st.planeRowBytes * count));
      }
      st.cachedStrip = strip;
    }
    for (uint32_t p = 0; p < planes; ++p) rows[p] = st.strip.get() + p * st.planeStripBytes + within * st.planeRowBytes;
  } else {
    for (uint32_t p = 0; p < planes; ++p) {
      const uint32_t k = strip + p * st.stripsPerPlane;
      uint8_t* into = st.direct.get() + p * st.planeRowBytes;
      if (Status failed = RasReadRowAt(s, st.stripOffsets[k] + (int64_t)within * st.planeRowBytes,
                                       into, (size_t)st.planeRowBytes, "TIFF", line);
          failed != kOk)
        return failed;
      if (st.fillOrder == 2) ReverseBits(into, (size_t)st.planeRowBytes);
      rows[p] = into;
    }
  }
  ConvertRow(st, rows, sl);
  return kOk;
}

// ---- writing ------------------------------------------------------------------------------
struct EntryWriter {
  bool big;
  uint8_t* at;
  void U16(uint8_t* p, uint16_t v) const { big ? StoreBE16(p, v) : StoreLE16(p, v); }
  void U32(uint8_t* p, uint32_t v) const { big ? StoreBE32(p, v) : StoreLE32(p, v); }
  // TiffWriteIFDE: one 12-byte entry; a SHORT with count 1 sits in the left-justified bytes.
  void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    U16(at, tag);
    U16(at + 2, type);
    U32(at + 4, count);
    if (type == kShort && count == 1) {
      U16(at + 8, (uint16_t)value);
      U16(at + 10, 0);
    } else {
      U32(at + 8, value);
    }
    at += 12;
  }
};

Status OpenWrite(RasImage& image, bool is16) {
  RasFileState& fs = *image.file;
  const int32_t ct = image.colorType;
  const bool typeOk = is16 ? (ct == kRasRGB || ct == kRasCMYK || ct == kRasGray)
                           : (ct == kRasRGB || ct == kRasCMYK || ct == kRasGray || ct == kRasLab || ct == kRasPhotoCDColor);
  if (!typeOk) return RasFail(kBadArg, "%s files cannot hold colour type %d", is16 ? "16-bit TIFF" : "TIFF", ct);
  const int32_t need = ct == kRasGray ? 1 : ct == kRasCMYK ? 4 : 3;
  if (image.channels != need) return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, ct);
  if (image.width == 0 || image.height == 0) return RasFail(kBadArg, "empty image");
  if (!(image.resolution > 0)) {  // no resolution of its own: 300 dots per inch
    image.resolution = 300;
    image.meta.resolutionUnit = ResolutionUnit::kInch;
  }
  if (fs.write.compression != 1) {
    TiffLibWriteSetup setup;
    setup.compression = (uint32_t)fs.write.compression;
    setup.predictor = (uint32_t)fs.write.predictor;
    setup.planar = (uint32_t)fs.write.planar;
    setup.bigEndian = fs.write.byteOrder == 0x4D4D;
    setup.profile = image.meta.HasIcc() ? image.meta.iccProfile.data() : nullptr;
    setup.profileSize = image.meta.IccLength();
    std::vector<uint8_t> iptc = image.meta.iptc;  // padded to whole LONGs
    iptc.resize((iptc.size() + 3) & ~size_t(3), 0);
    setup.iptc = iptc.empty() ? nullptr : iptc.data();
    setup.iptcBytes = (uint32_t)iptc.size();
    return TiffLibCreate(image, setup);
  }
  auto st = std::make_unique<TiffState>();
  st->is16 = is16;
  st->big = fs.write.byteOrder == 0x4D4D;
  st->width = image.width;
  st->length = image.height;
  st->channels = (uint32_t)image.channels;
  st->spp = st->channels;
  st->planar = st->channels == 1 ? 1 : (uint32_t)fs.write.planar;
  const bool grayPalette = !is16 && st->channels == 1 && fs.write.grayAsPalette;
  st->bytesPerSample = is16 ? 2 : 1;
  const uint64_t rowBytes = (uint64_t)st->channels * st->width * st->bytesPerSample;
  uint64_t rps = 30000 / rowBytes;
  if (rps == 0) rps = 1;
  if (rps > st->length) rps = st->length;
  st->rowsPerStrip = (uint32_t)rps;
  st->strips = (uint32_t)((st->length + rps - 1) / rps);
  st->planeRowBytes = st->planar == 2 ? (uint64_t)st->width * st->bytesPerSample : rowBytes;
  st->planeStripBytes = st->planeRowBytes * rps;
  const uint64_t stripSize = rowBytes * rps;

  const uint8_t* profile = image.meta.iccProfile.data();
  const uint32_t profileSize = image.meta.IccLength();
  // The IPTC tag counts LONGs: the block is padded to a multiple of 4 bytes.
  const std::vector<uint8_t>& iptc = image.meta.iptc;
  const uint32_t iptcBytes = (uint32_t)((iptc.size() + 3) & ~size_t(3));
  int n = 14 + (st->channels == 4 ? 1 : 0) - (st->channels == 1 ? 1 : 0) + (grayPalette ? 1 : 0) + (iptcBytes ? 1 : 0) +
          (profileSize ? 1 : 0);
  const uint32_t arrayCount = st->strips * (st->planar == 2 ? st->channels : 1);
  const bool single = arrayCount == 1;
  const uint64_t bpsAt = 14 + 12ull * n;
  const uint64_t bpsBytes = st->channels == 1 ? 0 : 2ull * st->channels;
  const uint64_t offsetsAt = bpsAt + bpsBytes;
  const uint64_t arrayBytes = single ? 0 : 4ull * arrayCount;
  const uint64_t countsAt = offsetsAt + arrayBytes;
  const uint64_t xresAt = countsAt + arrayBytes;
  const uint64_t yresAt = xresAt + 8;
  const uint64_t mapAt = yresAt + 8;
  const uint64_t iptcAt = mapAt + (grayPalette ? 1536 : 0);
  const uint64_t profileAt = iptcAt + iptcBytes;
  const uint64_t dataAt = profileAt + profileSize;
  const uint64_t total = dataAt + rowBytes * st->length;
  if (total > 0xFFFFFFFFull) return RasFail(kBadArg, "%u x %u is too large for a TIFF file", image.width, image.height);
  st->dataOffset = dataAt;

  // Strip tables: chunky strips follow one another; planar, each strip's planes follow one another.
  st->outOffsets.assign(arrayCount, 0);
  st->outCounts.assign(arrayCount, 0);
  for (uint32_t k = 0; k < st->strips; ++k) {
    const uint32_t first = k * st->rowsPerStrip;
    const uint32_t rows = st->length - first < st->rowsPerStrip ? st->length - first : st->rowsPerStrip;
    const uint64_t base = dataAt + k * stripSize;
    if (st->planar == 2) {
      for (uint32_t p = 0; p < st->channels; ++p) {
        st->outOffsets[p * st->strips + k] = (uint32_t)(base + p * st->planeRowBytes * rows);
        st->outCounts[p * st->strips + k] = (uint32_t)(st->planeRowBytes * rows);
      }
    } else {
      st->outOffsets[k] = (uint32_t)base;
      st->outCounts[k] = (uint32_t)(rowBytes * rows);
    }
  }
  st->strip.reset(static_cast<uint8_t*>(MemAllocZero((size_t)stripSize)));
  if (!st->strip) return kNoMem;

  std::vector<uint8_t> head((size_t)dataAt, 0);
  EntryWriter ew{st->big, head.data() + 10};
  head[0] = head[1] = st->big ? 'M' : 'I';
  ew.U16(&head[2], 42);
  ew.U32(&head[4], 8);
  ew.U16(&head[8], (uint16_t)n);
  const uint16_t bits = is16 ? 16 : 8;
  uint16_t photometric = ct == kRasCMYK ? 5 : ct == kRasGray ? (grayPalette ? 3 : 1) : ct == kRasLab ? 8 : 2;
  const uint32_t unit = (uint32_t)image.meta.resolutionUnit;
  ew.Entry(254, kLong, 1, 0);
  ew.Entry(256, kLong, 1, st->width);
  ew.Entry(257, kLong, 1, st->length);
  ew.Entry(258, kShort, st->channels, st->channels == 1 ? bits : (uint32_t)bpsAt);
  ew.Entry(259, kShort, 1, 1);
  ew.Entry(262, kShort, 1, photometric);
  ew.Entry(273, kLong, arrayCount, single ? st->outOffsets[0] : (uint32_t)offsetsAt);
  ew.Entry(277, kShort, 1, st->channels);
  ew.Entry(278, kLong, 1, st->rowsPerStrip);
  ew.Entry(279, kLong, arrayCount, single ? st->outCounts[0] : (uint32_t)countsAt);
  ew.Entry(282, kRational, 1, (uint32_t)xresAt);
  ew.Entry(283, kRational, 1, (uint32_t)yresAt);
  if (st->channels != 1) ew.Entry(284, kShort, 1, st->planar);
  ew.Entry(296, kShort, 1, unit);
  if (grayPalette) ew.Entry(320, kShort, 768, (uint32_t)mapAt);
  if (st->channels == 4) ew.Entry(332, kShort, 1, 1);
  if (iptcBytes) ew.Entry(33723, kLong, iptcBytes / 4, (uint32_t)iptcAt);
  if (profileSize) ew.Entry(34675, kUndefined, profileSize, (uint32_t)profileAt);
  ew.U32(ew.at, 0);  // no next directory
  for (uint32_t c = 0; c < st->channels && bpsBytes; ++c) ew.U16(&head[bpsAt + 2 * c], bits);
  if (!single) {
    for (uint32_t i = 0; i < arrayCount; ++i) {
      ew.U32(&head[offsetsAt + 4 * i], st->outOffsets[i]);
      ew.U32(&head[countsAt + 4 * i], st->outCounts[i]);
    }
  }
  const double perUnit = unit == 3 ? (double)image.resolution / 2.54 : (double)image.resolution;
  const uint32_t num = (uint32_t)(int64_t)std::floor(perUnit * 1000 + 0.5);
  ew.U32(&head[xresAt], num);
  ew.U32(&head[xresAt + 4], 1000);
  ew.U32(&head[yresAt], num);
  ew.U32(&head[yresAt + 4], 1000);
  if (grayPalette) {
    for (int table = 0; table < 3; ++table)
      for (int i = 0; i < 256; ++i) ew.U16(&head[mapAt + 512 * table + 2 * i], (uint16_t)(i * 257));
  }
  if (iptcBytes) std::memcpy(&head[iptcAt], iptc.data(), iptc.size());
  if (profileSize) std::memcpy(&head[profileAt], profile, profileSize);

  if (Status status = RasCreateOutputWithHeader(fs, head.data(), head.size(), "TIFF"); status != kOk) return status;
  fs.module = std::move(st);
  return kOk;
}

Status WriteRow(RasImage& image, uint32_t line, const RasScanline& sl) {
  TiffState& st = StateOf(image);
  Stream& s = image.file->stream;
  const uint32_t strip = line / st.rowsPerStrip;
  const uint32_t within = line - strip * st.rowsPerStrip;
  const uint32_t first = strip * st.rowsPerStrip;
  const uint32_t rows = st.length - first < st.rowsPerStrip ? st.length - first : st.rowsPerStrip;
  const uint32_t w = st.width;
  const uint32_t ch = st.channels;
  uint8_t* buf = st.strip.get();
  if (st.planar == 2) {
    // Each plane's part of the strip holds `rows` rows.
    for (uint32_t c = 0; c < ch; ++c) {
      uint8_t* out = buf + c * st.planeRowBytes * rows + within * st.planeRowBytes;
      if (st.is16) {
        const uint16_t* one[1] = {sl.plane16[c]};
        if (st.big != HostIsBig()) Join16<true>(out, one, 1, w);
        else Join16<false>(out, one, 1, w);
      } else {
        std::memcpy(out, sl.plane8[c], w);
      }
    }
  } else {
    uint8_t* out = buf + within * st.planeRowBytes;
    if (st.is16) {
      if (st.big != HostIsBig()) Join16<true>(out, sl.plane16, ch, w);
      else Join16<false>(out, sl.plane16, ch, w);
    } else if (ch == 1) {
      std::memcpy(out, sl.plane8[0], w);
    } else if (ch == 4) {
      Join8<4>(out, sl.plane8, w);
    } else {
      Join8<3>(out, sl.plane8, w);
    }
  }
  if (!st.is16 && image.colorType == kRasLab) {
    uint8_t* base = buf + (st.planar == 2 ? 0 : within * st.planeRowBytes);
    for (uint32_t c = 1; c < 3; ++c) {
      if (st.planar == 2) {
        uint8_t* p = base + c * st.planeRowBytes * rows + within * st.planeRowBytes;
        for (uint32_t x = 0; x < w; ++x) p[x] ^= 0x80;  // offset-128 form to two's complement
      } else {
        for (uint32_t x = 0; x < w; ++x) base[3 * x + c] ^= 0x80;
      }
    }
  }
  if (within + 1 != rows) return kOk;
  const uint32_t planes = st.planar == 2 ? ch : 1;
  uint64_t done = 0;
  for (uint32_t p = 0; p < planes; ++p) {
    const uint32_t k = p * st.strips + strip;
    const uint64_t bytes = st.planeRowBytes * rows;
    if (bytes != st.outCounts[k]) return RasFail(kSysErr, "TIFF strip %u does not match its byte count", k);
    if (RasSeekTo(s, st.outOffsets[k]) != kOk) {
      st.failed = true;
      return RasFail(kSeekErr, "cannot reach TIFF strip %u", k);
    }
    if (StreamWriteAll(s, buf + done, (size_t)bytes) != kOk) {
      st.failed = true;
      return RasFail(kWriteErr, "cannot write TIFF strip %u", k);
    }
    done += bytes;
  }
  return kOk;
}

// The built-in reader first; what it refuses as unsupported (compression,
// tiles, sample formats, BigTIFF, …) goes to libtiff.
Status Open(RasImage& image, bool is16) {
  if (image.file->mode == 'w') return OpenWrite(image, is16);
  Status st = OpenRead(image, is16);
  bool retry = st == kUnsupported;
  if (st == kFormatErr && image.file->stream.IsOpen()) {
    uint8_t head[4] = {};
    retry = RasSeekTo(image.file->stream, 0) == kOk && StreamReadExact(image.file->stream, head, 4) == kOk &&
            ((head[0] == 'I' && head[1] == 'I' && head[2] == 43 && head[3] == 0) ||
             (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 43));
  }
  if (retry) {
    const std::string why = RasLastFailure();
    const Status first = st;
    image.file->module.reset();
    image.meta.Clear();
    st = TiffLibOpenRead(image, is16);
    if (st != kOk && st == kFormatErr && !image.file->recognised) {
      st = first;  // not this module's depth: the first answer stands
      RasSetFailure(why);
    }
  }
  if (st != kOk) {
    image.file->module.reset();
    StreamClose(image.file->stream);
  }
  return st;
}

Status Read(RasImage& image, uint32_t line, RasScanline& sl) {
  if (TiffLibOwns(image)) return TiffLibReadRow(image, line, sl);
  return ReadRow(image, line, sl);
}

}  // namespace

Status TiffOpen(RasImage& image) { return Open(image, false); }
Status Tiff16Open(RasImage& image) { return Open(image, true); }
Status TiffReadSl(RasImage& image, uint32_t line, RasScanline& sl) { return Read(image, line, sl); }
Status Tiff16ReadSl(RasImage& image, uint32_t line, RasScanline& sl) { return Read(image, line, sl); }
Status TiffWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  return TiffLibOwns(image) ? TiffLibWriteRow(image, line, sl) : WriteRow(image, line, sl);
}
Status Tiff16WriteSl(RasImage& image, uint32_t line, const RasScanline& sl) { return TiffWriteSl(image, line, sl); }

Status TiffClose(RasImage& image) {
  RasFileState& fs = *image.file;
  if (fs.mode == 'w' && TiffLibOwns(image)) return TiffLibCloseWrite(image);
  const auto* own = dynamic_cast<TiffState*>(fs.module.get());
  const bool failed = own && own->failed;
  fs.module.reset();
  if (fs.mode == 'w' && failed) {
    RasAbandonOutput(fs);
    return kWriteErr;
  }
  return StreamClose(fs.stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", fs.path.c_str());
}
