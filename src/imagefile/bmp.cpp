#include "imagefile/bmp.h"

#include <cmath>
#include <cstring>

#include "imagefile/rasmodule.h"
#include "imagefile/rowpack.h"
#include "base/bytes.h"

namespace {

struct BmpState : RasModuleState {
  uint32_t dataOffset = 0;
  MemPtr<uint8_t[]> row;
  uint32_t rowSize = 0;
  uint32_t width = 0, height = 0;
  bool topDown = false;
  uint32_t bytesPerPixel = 3;
  int32_t colorType = kRasRGB;
  float resolution = 300;
  uint8_t red[256], green[256], blue[256];
  BmpState() {
    for (int i = 0; i < 256; ++i) red[i] = green[i] = blue[i] = (uint8_t)i;
  }
};

BmpState& StateOf(RasImage& image) { return *static_cast<BmpState*>(image.file->module.get()); }

uint64_t RowSize(uint64_t width, uint32_t bytesPerPixel) { return (width * bytesPerPixel + 3) & ~uint64_t(3); }

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  Stream& s = fs.stream;
  int64_t fileSize = 0;
  uint8_t head[18];
  if (Status st = RasOpenInput(fs, fileSize, head, sizeof head, "a BMP file"); st != kOk) return st;
  if (head[0] != 'B' || head[1] != 'M' || LoadLE16(head + 6) != 0) return RasFail(kFormatErr, "no BMP signature");
  fs.recognised = true;
  auto st = std::make_unique<BmpState>();
  st->dataOffset = LoadLE32(head + 10);
  const uint32_t infoSize = LoadLE32(head + 14);
  if (infoSize < 16) return RasFail(kFormatErr, "OS/2 or unknown BMP info header (%u bytes)", infoSize);
  if ((int64_t)infoSize + 14 > fileSize) return RasFail(kFormatErr, "the BMP info header runs past the end of the file");
  // The fields this module reads lie in the first 36 bytes after the size.
  uint8_t info[36] = {};
  const uint32_t rest = infoSize - 4;
  const uint32_t take = rest < sizeof info ? rest : (uint32_t)sizeof info;
  if (StreamReadExact(s, info, take) != kOk) return RasFail(kReadErr, "the BMP info header is cut short");
  if (RasSeekTo(s, 14 + (int64_t)infoSize) != kOk) return RasFail(kSeekErr, "cannot pass the BMP info header");
  const int32_t width = (int32_t)LoadLE32(info);
  int32_t height = (int32_t)LoadLE32(info + 4);
  if (LoadLE16(info + 8) != 1) return RasFail(kFormatErr, "BMP planes must be 1");
  const uint16_t bits = LoadLE16(info + 10);
  if (bits != 8 && bits != 24) return RasFail(kUnsupported, "%u-bit BMP files are not supported", bits);
  if (rest >= 16 && LoadLE32(info + 12) != 0)
    return RasFail(kUnsupported, "compressed BMP files (compression %u) are not supported", LoadLE32(info + 12));
  if (rest >= 24) {
    const int32_t ppm = (int32_t)LoadLE32(info + 20);
    st->resolution = ppm > 0 ? (float)(ppm * 0.0254) : -1.0f;
  }
  if (height < 0) {
    if (height == INT32_MIN) return RasFail(kFormatErr, "bad BMP height");
    height = -height;
    st->topDown = true;
  }
  if (width <= 0 || height == 0) return RasFail(kFormatErr, "bad BMP size %d x %d", width, height);
  st->width = (uint32_t)width;
  st->height = (uint32_t)height;
  st->bytesPerPixel = bits / 8;
  // Palette: what lies between the info header and the pixels.
  const int64_t here = 14 + (int64_t)infoSize;
  if (st->dataOffset < here) return RasFail(kFormatErr, "BMP pixel data overlaps the header");
  if (st->dataOffset > fileSize) return RasFail(kFormatErr, "BMP pixel data starts past the end of the file");
  int64_t entries = (st->dataOffset - here) / 4;
  if (entries > 256) entries = 256;
  if (entries > 0) {
    uint8_t pal[1024];
    if (StreamReadExact(s, pal, (size_t)entries * 4) != kOk) return RasFail(kReadErr, "the BMP palette is cut short");
    for (int64_t i = 0; i < entries; ++i) {
      st->blue[i] = pal[4 * i];
      st->green[i] = pal[4 * i + 1];
      st->red[i] = pal[4 * i + 2];
    }
  }
  const uint64_t rowSize = RowSize(st->width, st->bytesPerPixel);
  const uint64_t need = (uint64_t)st->dataOffset + rowSize * (st->height - 1) + (uint64_t)st->width * st->bytesPerPixel;
  if (need > (uint64_t)fileSize)
    return RasFail(kFormatErr, "BMP pixel data (%u x %u) runs past the end of the file", st->width, st->height);
  st->rowSize = (uint32_t)rowSize;
  st->row.reset(static_cast<uint8_t*>(MemAlloc(st->rowSize)));
  if (!st->row) return kNoMem;
  int channels = 3;
  st->colorType = kRasRGB;
  if (bits == 8) {
    bool gray = true;
    for (int i = 0; i < 256 && gray; ++i) gray = st->red[i] == st->green[i] && st->green[i] == st->blue[i];
    if (gray) {
      channels = 1;
      st->colorType = kRasGray;
    }
  }
  if (RasSeekTo(s, st->dataOffset) != kOk) return RasFail(kSeekErr, "cannot reach the BMP pixel data");
  RasDescribe(image, kRasBmp, st->width, st->height, channels, st->colorType, st->resolution);
  fs.module = std::move(st);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if (image.colorType != kRasRGB && image.colorType != kRasGray)
    return RasFail(kBadArg, "BMP files hold RGB or gray images only");
  if (image.channels != (image.colorType == kRasGray ? 1 : 3))
    return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, image.colorType);
  if (image.width == 0 || image.height == 0) return RasFail(kBadArg, "empty image");
  auto st = std::make_unique<BmpState>();
  st->width = image.width;
  st->height = image.height;
  st->bytesPerPixel = image.colorType == kRasGray ? 1 : 3;
  st->colorType = image.colorType;
  if (!(image.resolution > 0)) image.resolution = 300;
  st->resolution = image.resolution;
  const bool palette = st->bytesPerPixel == 1;
  const uint64_t rowSize = RowSize(st->width, st->bytesPerPixel);
  const uint64_t fileSize = rowSize * st->height + 54 + (palette ? 1024 : 0);
  if (image.width > 0x7FFFFFFF || image.height > 0x7FFFFFFF || fileSize > 0xFFFFFFFFull)
    return RasFail(kBadArg, "%u x %u is too large for a BMP file", image.width, image.height);
  st->rowSize = (uint32_t)rowSize;
  st->dataOffset = palette ? 1078 : 54;
  st->row.reset(static_cast<uint8_t*>(MemAllocZero(st->rowSize)));
  if (!st->row) return kNoMem;
  uint8_t head[1078] = {};
  head[0] = 'B';
  head[1] = 'M';
  StoreLE32(head + 2, (uint32_t)fileSize);
  StoreLE32(head + 10, st->dataOffset);
  StoreLE32(head + 14, 40);
  StoreLE32(head + 18, st->width);
  StoreLE32(head + 22, st->height);
  StoreLE16(head + 26, 1);
  StoreLE16(head + 28, (uint16_t)(st->bytesPerPixel * 8));
  const uint32_t ppm = (uint32_t)std::floor(image.resolution / 0.0254 + 0.5);
  StoreLE32(head + 38, ppm);
  StoreLE32(head + 42, ppm);
  if (palette) {
    for (int i = 0; i < 256; ++i) head[54 + 4 * i] = head[55 + 4 * i] = head[56 + 4 * i] = (uint8_t)i;
  }
  if (Status status = RasCreateOutputWithHeader(fs, head, st->dataOffset, "BMP"); status != kOk) return status;
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

Status BmpOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status BmpReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  BmpState& st = StateOf(image);
  Stream& s = image.file->stream;
  const uint32_t fileRow = st.topDown ? line : st.height - 1 - line;
  if (Status failed = RasReadRowAt(s, st.dataOffset + (int64_t)fileRow * st.rowSize,
                                   st.row.get(), (size_t)st.width * st.bytesPerPixel, "BMP", line);
      failed != kOk)
    return failed;
  const uint8_t* p = st.row.get();
  const uint32_t w = st.width;
  if (st.bytesPerPixel == 3) {
    SplitRgb8(p, sl.plane8[2], sl.plane8[1], sl.plane8[0], w);  // stored blue, green, red
  } else if (st.colorType == kRasGray) {
    uint8_t* out = sl.plane8[0];
    for (uint32_t x = 0; x < w; ++x) out[x] = st.red[p[x]];
  } else {
    uint8_t *r = sl.plane8[0], *g = sl.plane8[1], *b = sl.plane8[2];
    for (uint32_t x = 0; x < w; ++x) {
      r[x] = st.red[p[x]];
      g[x] = st.green[p[x]];
      b[x] = st.blue[p[x]];
    }
  }
  return kOk;
}

Status BmpWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  BmpState& st = StateOf(image);
  Stream& s = image.file->stream;
  uint8_t* p = st.row.get();
  const uint32_t w = st.width;
  if (st.bytesPerPixel == 3) {
    JoinRgb8(p, sl.plane8[2], sl.plane8[1], sl.plane8[0], w);
  } else {
    std::memcpy(p, sl.plane8[0], w);
  }
  return RasWriteRowAt(s, st.dataOffset + (int64_t)(st.height - 1 - line) * st.rowSize,
                       st.row.get(), st.rowSize, "BMP", line);
}

Status BmpClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
}
