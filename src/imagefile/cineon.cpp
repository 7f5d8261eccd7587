#include "imagefile/cineon.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "imagefile/rasmodule.h"
#include "base/bytes.h"
#include "base/strings.h"

namespace {

constexpr uint32_t kMagic = 0x802A5FD7;
constexpr uint32_t kUndefinedFloat = 0x7F800000;
constexpr uint32_t kUndefinedInt = 0xFFFFFFFF;
constexpr uint32_t kHeaderSize = 2048;

struct CineonState : RasModuleState {
  int64_t dataOffset = 0;
  uint32_t width = 0, height = 0;
  uint64_t rowBytes = 0;  // 4 × width
  MemPtr<uint8_t[]> row;
};

CineonState& StateOf(RasImage& image) { return *static_cast<CineonState*>(image.file->module.get()); }

uint32_t FloatBits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

void PutText(uint8_t* h, size_t size, const std::string& text) {
  std::memcpy(h, text.data(), text.size() < size ? text.size() : size);
}

void BuildHeader(const RasImage& image, const std::string& path, uint8_t* h) {
  std::memset(h, 0, kHeaderSize);
  // File information.
  StoreBE32(h + 0, kMagic);
  StoreBE32(h + 4, kHeaderSize);      // image data offset
  StoreBE32(h + 8, 1024);             // generic header length
  StoreBE32(h + 12, 1024);            // industry-specific header length
  StoreBE32(h + 16, 0);               // user-defined header length
  StoreBE32(h + 20, (uint32_t)((uint64_t)image.width * image.height * 4 + kHeaderSize));
  PutText(h + 24, 8, "V4.5");
  PutText(h + 32, 99, LeafName(path));
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  char text[64];
  if (std::strftime(text, sizeof text, "%Y:%m:%d", &parts)) PutText(h + 132, 12, text);
  if (std::strftime(text, sizeof text, "%H:%M:%S%Z", &parts)) PutText(h + 144, 12, text);
  // Image information: orientation, channels, then eight channel slots of 28 bytes.
  h[192] = 0;
  h[193] = 3;
  for (int k = 0; k < 8; ++k) {
    uint8_t* c = h + 196 + 28 * k;
    if (k < 3) {
      c[0] = 0;                 // universal metric
      c[1] = (uint8_t)(k + 1);  // red, green, blue
      c[2] = 10;                // bits per sample
      StoreBE32(c + 4, image.width);
      StoreBE32(c + 8, image.height);
      StoreBE32(c + 12, FloatBits(0.0f));
      StoreBE32(c + 16, FloatBits(0.0f));
      StoreBE32(c + 20, FloatBits(1023.0f));
      StoreBE32(c + 24, FloatBits(2.047f));
    } else {
      std::memset(c, 0xFF, 12);
      for (int f = 12; f < 28; f += 4) StoreBE32(c + f, kUndefinedFloat);
    }
  }
  for (int f = 420; f < 452; f += 4) StoreBE32(h + f, kUndefinedFloat);  // white point, primaries
  // Data format: pixel interleave, 32-bit words left-justified, unsigned, positive, no padding.
  h[680] = 0;
  h[681] = 5;
  h[682] = 0;
  h[683] = 0;
  // Origination: undefined.
  StoreBE32(h + 712, kUndefinedInt);
  StoreBE32(h + 716, kUndefinedInt);
  for (int f = 972; f < 984; f += 4) StoreBE32(h + f, kUndefinedFloat);
  // Film information: undefined.
  std::memset(h + 1024, 0xFF, 4);
  StoreBE32(h + 1028, kUndefinedInt);
  StoreBE32(h + 1032, kUndefinedInt);
  StoreBE32(h + 1068, kUndefinedInt);
  StoreBE32(h + 1072, kUndefinedFloat);
}

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  int64_t fileSize = 0;
  uint8_t h[1024];
  if (Status st = RasOpenInput(fs, fileSize, h, sizeof h, "a Cineon file"); st != kOk) return st;
  if (LoadBE32(h) != kMagic) return RasFail(kFormatErr, "no Cineon magic number");
  fs.recognised = true;
  auto st = std::make_unique<CineonState>();
  st->dataOffset = LoadBE32(h + 4);
  st->width = LoadBE32(h + 200);
  st->height = LoadBE32(h + 204);
  if (h[193] != 3) return RasFail(kUnsupported, "Cineon files with %u channels are not supported", h[193]);
  if (h[198] != 10) return RasFail(kUnsupported, "%u-bit Cineon files are not supported", h[198]);
  if (st->dataOffset < 1024) return RasFail(kFormatErr, "Cineon image data at %lld overlaps the header", (long long)st->dataOffset);
  if (st->width == 0 || st->height == 0) return RasFail(kFormatErr, "bad Cineon size %u x %u", st->width, st->height);
  st->rowBytes = 4ull * st->width;
  const uint64_t room = fileSize > st->dataOffset ? (uint64_t)(fileSize - st->dataOffset) : 0;
  if (st->rowBytes > room || st->height > room / st->rowBytes)
    return RasFail(kFormatErr, "Cineon pixel data (%u x %u) runs past the end of the file", st->width, st->height);
  st->row.reset(static_cast<uint8_t*>(MemAlloc((size_t)st->rowBytes)));
  if (!st->row) return kNoMem;
  RasDescribe(image, kRasCineon, st->width, st->height, 3, kRasRGB, -1);
  fs.module = std::move(st);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if ((image.colorType != kRasRGB && image.colorType != kRasPhotoCDColor) || image.channels != 3)
    return RasFail(kBadArg, "Cineon files hold RGB images only");
  if (image.width == 0 || image.height == 0) return RasFail(kBadArg, "empty image");
  if ((uint64_t)image.width * image.height * 4 + kHeaderSize > 0xFFFFFFFFull)
    return RasFail(kBadArg, "%u x %u is too large for a Cineon file", image.width, image.height);
  if (!(image.resolution > 0)) image.resolution = 300;  // not stored
  auto st = std::make_unique<CineonState>();
  st->dataOffset = kHeaderSize;
  st->width = image.width;
  st->height = image.height;
  st->rowBytes = 4ull * image.width;
  st->row.reset(static_cast<uint8_t*>(MemAlloc((size_t)st->rowBytes)));
  if (!st->row) return kNoMem;
  uint8_t h[kHeaderSize];
  BuildHeader(image, fs.name, h);
  if (Status status = RasCreateOutputWithHeader(fs, h, sizeof h, "Cineon"); status != kOk) return status;
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

Status CineonOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status CineonReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  CineonState& st = StateOf(image);
  Stream& s = image.file->stream;
  if (Status failed = RasReadRowAt(s, st.dataOffset + (int64_t)(line * st.rowBytes),
                                   st.row.get(), (size_t)st.rowBytes, "Cineon", line);
      failed != kOk)
    return failed;
  const uint8_t* p = st.row.get();
  uint16_t *r = sl.plane16[0], *g = sl.plane16[1], *b = sl.plane16[2];
  for (uint32_t x = 0; x < st.width; ++x, p += 4) {
    const uint32_t v = LoadBE32(p);
    r[x] = (uint16_t)((v >> 22) & 0x3FF);
    g[x] = (uint16_t)((v >> 12) & 0x3FF);
    b[x] = (uint16_t)((v >> 2) & 0x3FF);
  }
  return kOk;
}

Status CineonWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  CineonState& st = StateOf(image);
  Stream& s = image.file->stream;
  uint8_t* p = st.row.get();
  const uint16_t *r = sl.plane16[0], *g = sl.plane16[1], *b = sl.plane16[2];
  auto ten = [](uint16_t v) { return (uint32_t)(v < 1023 ? v : 1023); };
  for (uint32_t x = 0; x < st.width; ++x, p += 4) StoreBE32(p, ten(r[x]) << 22 | ten(g[x]) << 12 | ten(b[x]) << 2);
  return RasWriteRowAt(s, st.dataOffset + (int64_t)(line * st.rowBytes),
                       st.row.get(), (size_t)st.rowBytes, "Cineon", line);
}

Status CineonClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
}
