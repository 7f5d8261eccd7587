#include "imagefile/targa.h"

#include <cctype>
#include <cstring>

#include "imagefile/rasmodule.h"
#include "imagefile/rowpack.h"
#include "base/bytes.h"
#include "base/strings.h"

namespace {

struct TargaState : RasModuleState {
  TargaHeader h;
  uint32_t dataOffset = 0;
  uint32_t rowBytes = 0;
  bool topDown = false;
  MemPtr<uint8_t[]> row;
  uint8_t red[256] = {}, green[256] = {}, blue[256] = {};
  uint8_t five[32];  // 5-bit field to 8 bits: (v × 255 + 15) ÷ 31
  TargaState() {
    for (int v = 0; v < 32; ++v) five[v] = (uint8_t)((v * 255 + 15) / 31);
  }
};

TargaState& StateOf(RasImage& image) { return *static_cast<TargaState*>(image.file->module.get()); }

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  Stream& s = fs.stream;
  int64_t fileSize = 0;
  uint8_t head[18];
  if (Status st = RasOpenInput(fs, fileSize, head, sizeof head, "a Targa file"); st != kOk) return st;
  auto st = std::make_unique<TargaState>();
  TargaHeader& h = st->h;
  TargaDecodeHeader(head, h);
  // Targa has no signature: a file is taken for one only by its extension
  // and a header whose every field is consistent (an ICC profile, say, can
  // start with bytes that look like a run-length Targa type).
  if (!TargaFileName(fs.path)) return RasFail(kFormatErr, "not a Targa file name");
  TargaHeader plain = h;
  if (plain.imageType >= 9 && plain.imageType <= 11) plain.imageType = (uint8_t)(plain.imageType - 8);
  if (TargaCheckTRH(plain) != kOk || h.width == 0 || h.height == 0 || (h.descriptor & 0xC0) != 0 ||
      (h.colorMapType == 0 && (h.colorMapLength != 0 || h.colorMapEntrySize != 0)))
    return RasFail(kFormatErr, "not a Targa header");
  Status status = TargaCheckTRH(h);
  if (status == kUnsupported) {
    fs.recognised = true;
    return RasFail(status, "run-length encoded Targa files are not supported");
  }
  if (status != kOk) return RasFail(status, "not a Targa header");
  fs.recognised = true;
  // The combinations this module reads.
  if (h.imageType == 3 && h.pixelDepth != 8) return RasFail(kUnsupported, "%u-bit gray Targa files are not supported", h.pixelDepth);
  if (h.imageType == 1 && (h.pixelDepth != 8 || h.colorMapType != 1))
    return RasFail(kUnsupported, "colour-mapped Targa files need 8-bit indexes and a colour map");
  if (h.imageType == 2 && h.pixelDepth == 8) return RasFail(kUnsupported, "8-bit true-colour Targa files are not supported");
  if (h.descriptor & 0x10) return RasFail(kUnsupported, "right-to-left Targa rows are not supported");
  if (h.width == 0 || h.height == 0) return RasFail(kFormatErr, "empty Targa image");
  st->topDown = (h.descriptor & 0x20) != 0;
  int64_t pos = 18 + h.idLength;
  if (h.colorMapType == 1) {
    const uint32_t entryBytes = (h.colorMapEntrySize + 7) / 8;
    if (entryBytes == 0) return RasFail(kFormatErr, "Targa colour map without an entry size");
    const uint32_t mapBytes = h.colorMapLength * entryBytes;
    if (pos + mapBytes > fileSize) return RasFail(kFormatErr, "the Targa colour map runs past the end of the file");
    if (RasSeekTo(s, pos) != kOk) return RasFail(kSeekErr, "cannot reach the Targa colour map");
    MemPtr<uint8_t[]> map(static_cast<uint8_t*>(MemAlloc(mapBytes)));
    if (!map) return kNoMem;
    if (StreamReadExact(s, map.get(), mapBytes) != kOk) return RasFail(kReadErr, "the Targa colour map is cut short");
    for (uint32_t k = 0; k < h.colorMapLength; ++k) {
      const uint32_t index = h.colorMapFirst + k;
      if (index > 255) break;
      const uint8_t* e = map.get() + k * entryBytes;
      if (entryBytes >= 3) {
        st->blue[index] = e[0];
        st->green[index] = e[1];
        st->red[index] = e[2];
      } else {
        const uint16_t v = LoadLE16(e);
        st->red[index] = st->five[(v >> 10) & 31];
        st->green[index] = st->five[(v >> 5) & 31];
        st->blue[index] = st->five[v & 31];
      }
    }
    pos += mapBytes;
  }
  st->dataOffset = (uint32_t)pos;
  st->rowBytes = (uint32_t)h.width * (h.pixelDepth / 8);
  if (pos + (int64_t)st->rowBytes * h.height > fileSize)
    return RasFail(kFormatErr, "Targa pixel data (%u x %u) runs past the end of the file", h.width, h.height);
  st->row.reset(static_cast<uint8_t*>(MemAlloc(st->rowBytes)));
  if (!st->row) return kNoMem;
  RasDescribe(image, kRasTarga, h.width, h.height, h.imageType == 3 ? 1 : 3, h.imageType == 3 ? kRasGray : kRasRGB, -1);
  fs.module = std::move(st);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  const bool gray = image.colorType == kRasGray;
  if (!gray && image.colorType != kRasRGB && image.colorType != kRasPhotoCDColor)
    return RasFail(kBadArg, "Targa files hold RGB or gray images only");
  if (image.channels != (gray ? 1 : 3))
    return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, image.colorType);
  if (image.width == 0 || image.height == 0 || image.width > 65535 || image.height > 65535)
    return RasFail(kBadArg, "%u x %u does not fit a Targa file", image.width, image.height);
  if (!(image.resolution > 0)) image.resolution = 300;  // Targa stores none
  auto st = std::make_unique<TargaState>();
  TargaHeader& h = st->h;
  h.imageType = gray ? 3 : 2;
  h.width = (uint16_t)image.width;
  h.height = (uint16_t)image.height;
  h.pixelDepth = gray ? 8 : 24;
  st->dataOffset = 18;
  st->rowBytes = image.width * (gray ? 1 : 3);
  st->row.reset(static_cast<uint8_t*>(MemAlloc(st->rowBytes)));
  if (!st->row) return kNoMem;
  uint8_t head[18] = {};
  head[2] = h.imageType;
  StoreLE16(head + 12, h.width);
  StoreLE16(head + 14, h.height);
  head[16] = h.pixelDepth;
  if (Status status = RasCreateOutputWithHeader(fs, head, sizeof head, "Targa"); status != kOk) return status;
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

void TargaDecodeHeader(const uint8_t b[18], TargaHeader& h) {
  h.idLength = b[0];
  h.colorMapType = b[1];
  h.imageType = b[2];
  h.colorMapFirst = LoadLE16(b + 3);
  h.colorMapLength = LoadLE16(b + 5);
  h.colorMapEntrySize = b[7];
  h.xOrigin = LoadLE16(b + 8);
  h.yOrigin = LoadLE16(b + 10);
  h.width = LoadLE16(b + 12);
  h.height = LoadLE16(b + 14);
  h.pixelDepth = b[16];
  h.descriptor = b[17];
}

bool TargaFileName(const std::string& path) {
  const std::string leaf = LeafName(path);
  const size_t dot = leaf.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = leaf.substr(dot + 1);
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  return ext == "tga" || ext == "targa" || ext == "icb" || ext == "vda" || ext == "vst";
}

Status TargaCheckTRH(const TargaHeader& h) {
  if (h.imageType == 9 || h.imageType == 10 || h.imageType == 11) return kUnsupported;
  if (h.colorMapType > 1) return kFormatErr;
  if (h.imageType < 1 || h.imageType > 3) return kFormatErr;
  const uint8_t e = h.colorMapEntrySize;
  if (e != 0 && e != 15 && e != 16 && e != 24 && e != 32) return kFormatErr;
  const uint8_t d = h.pixelDepth;
  if (d != 8 && d != 16 && d != 24 && d != 32) return kFormatErr;
  return kOk;
}

Status TargaOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status TargaReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  TargaState& st = StateOf(image);
  const TargaHeader& h = st.h;
  Stream& s = image.file->stream;
  const uint32_t fileRow = st.topDown ? line : h.height - 1 - line;
  if (Status failed = RasReadRowAt(s, st.dataOffset + (int64_t)fileRow * st.rowBytes,
                                   st.row.get(), st.rowBytes, "Targa", line);
      failed != kOk)
    return failed;
  const uint8_t* p = st.row.get();
  const uint32_t w = h.width;
  if (h.imageType == 3) {
    std::memcpy(sl.plane8[0], p, w);
    return kOk;
  }
  uint8_t *r = sl.plane8[0], *g = sl.plane8[1], *b = sl.plane8[2];
  if (h.imageType == 1) {
    for (uint32_t x = 0; x < w; ++x) {
      r[x] = st.red[p[x]];
      g[x] = st.green[p[x]];
      b[x] = st.blue[p[x]];
    }
    return kOk;
  }
  switch (h.pixelDepth) {
    case 16:
      for (uint32_t x = 0; x < w; ++x, p += 2) {
        const uint16_t v = LoadLE16(p);
        r[x] = st.five[(v >> 10) & 31];
        g[x] = st.five[(v >> 5) & 31];
        b[x] = st.five[v & 31];
      }
      break;
    case 24: SplitRgb8(p, b, g, r, w); break;
    default:  // 32: alpha dropped
      for (uint32_t x = 0; x < w; ++x, p += 4) {
        b[x] = p[0];
        g[x] = p[1];
        r[x] = p[2];
      }
      break;
  }
  return kOk;
}

Status TargaWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  TargaState& st = StateOf(image);
  Stream& s = image.file->stream;
  const uint32_t w = st.h.width;
  uint8_t* p = st.row.get();
  if (st.h.imageType == 3) {
    std::memcpy(p, sl.plane8[0], w);
  } else {
    JoinRgb8(p, sl.plane8[2], sl.plane8[1], sl.plane8[0], w);  // blue, green, red
  }
  return RasWriteRowAt(s, st.dataOffset + (int64_t)(st.h.height - 1 - line) * st.rowBytes,
                       st.row.get(), st.rowBytes, "Targa", line);
}

Status TargaClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
}
