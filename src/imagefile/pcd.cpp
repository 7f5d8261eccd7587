#include "imagefile/pcd.h"

#include <cstring>

#include "imagefile/rasmodule.h"

namespace {


struct PcdState : RasModuleState {
  int64_t offset = 0;
  uint32_t width = 0, height = 0;
  uint32_t pairBytes = 0;  // 3 × width
  uint32_t pairs = 0;      // height ÷ 2
  MemPtr<uint8_t[]> pair[2];
  int64_t held[2] = {-1, -1};  // the row pair each buffer holds
  MemPtr<uint8_t[]> chroma;    // one vertically interpolated chrominance row
};

PcdState& StateOf(RasImage& image) { return *static_cast<PcdState*>(image.file->module.get()); }

// The buffer holding row pair `p`, read when needed into the buffer that does
// not hold `keep`.
Status Fetch(RasImage& image, PcdState& st, uint32_t p, uint32_t keep, const uint8_t*& out) {
  for (int i = 0; i < 2; ++i)
    if (st.held[i] == (int64_t)p) {
      out = st.pair[i].get();
      return kOk;
    }
  const int victim = st.held[0] == (int64_t)keep ? 1 : 0;
  st.held[victim] = -1;
  Stream& s = image.file->stream;
  if (RasSeekTo(s, st.offset + (int64_t)p * st.pairBytes) != kOk)
    return RasFail(kSeekErr, "cannot reach Photo CD row pair %u", p);
  if (StreamReadExact(s, st.pair[victim].get(), st.pairBytes) != kOk)
    return RasFail(kReadErr, "Photo CD row pair %u is cut short", p);
  st.held[victim] = p;
  out = st.pair[victim].get();
  return kOk;
}

inline uint8_t Blend(uint32_t a, uint32_t b) { return (uint8_t)((3 * a + b + 2) >> 2); }

// One chrominance component: `near` from the row's own pair, `far` from its
// neighbour, `n` samples, widened to 2n pixels.
void Chroma(const uint8_t* near, const uint8_t* far, uint32_t n, uint8_t* tmp, uint8_t* out) {
  for (uint32_t j = 0; j < n; ++j) tmp[j] = Blend(near[j], far[j]);
  for (uint32_t j = 0; j < n; ++j) {
    const uint32_t left = tmp[j > 0 ? j - 1 : 0];
    const uint32_t right = tmp[j + 1 < n ? j + 1 : j];
    out[2 * j] = Blend(tmp[j], left);
    out[2 * j + 1] = Blend(tmp[j], right);
  }
}

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  Stream& s = fs.stream;
  int64_t fileSize = 0;
  if (Status st = RasOpenInput(fs, fileSize); st != kOk) return st;
  char tag[7];
  if (fileSize < 2048 + 7 || RasSeekTo(s, 2048) != kOk || StreamReadExact(s, tag, sizeof tag) != kOk ||
      std::memcmp(tag, "PCD_IPI", 7) != 0)
    return RasFail(kFormatErr, "not a Photo CD file");
  fs.recognised = true;
  auto st = std::make_unique<PcdState>();
  const int32_t resolution = fs.read.photoCdResolution;
  switch (resolution) {
    case 1: st->width = 192, st->height = 128, st->offset = 8192; break;
    case 2: st->width = 384, st->height = 256, st->offset = 47104; break;
    case 3: st->width = 768, st->height = 512, st->offset = 196608; break;
    default: return RasFail(kSysErr, "Photo CD resolution %d does not exist", (int)resolution);
  }
  st->pairBytes = 3 * st->width;
  st->pairs = st->height / 2;
  const int64_t end = st->offset + (int64_t)st->width * st->height * 3 / 2;
  if (fileSize < end)
    return RasFail(kSeekErr, "the Photo CD file ends at %lld, before its %u x %u image does", (long long)fileSize,
                   st->width, st->height);
  for (auto& p : st->pair) {
    p.reset(static_cast<uint8_t*>(MemAlloc(st->pairBytes)));
    if (!p) return kNoMem;
  }
  st->chroma.reset(static_cast<uint8_t*>(MemAlloc(st->width / 2)));
  if (!st->chroma) return kNoMem;
  RasDescribe(image, kRasPhotoCD, st->width, st->height, 3, kRasPhotoCDColor, -1);
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

Status PcdOpen(RasImage& image) {
  if (image.file->mode != 'r') return RasFail(kBadArg, "Photo CD files cannot be written");
  Status st = OpenRead(image);
  if (st != kOk) StreamClose(image.file->stream);
  return st;
}

Status PcdReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  PcdState& st = StateOf(image);
  const uint32_t p = line >> 1;
  const uint32_t q = (line & 1) ? (p + 1 < st.pairs ? p + 1 : p) : (p > 0 ? p - 1 : p);
  const uint8_t *own = nullptr, *other = nullptr;
  Status status = Fetch(image, st, p, q, own);
  if (status == kOk) status = Fetch(image, st, q, p, other);
  if (status != kOk) return status;
  const uint32_t w = st.width, n = w / 2;
  std::memcpy(sl.plane8[0], own + (line & 1) * w, w);
  Chroma(own + 2 * w, other + 2 * w, n, st.chroma.get(), sl.plane8[1]);
  Chroma(own + 2 * w + n, other + 2 * w + n, n, st.chroma.get(), sl.plane8[2]);
  return kOk;
}

Status PcdClose(RasImage& image) {
  image.file->module.reset();
  return StreamClose(image.file->stream) == kOk ? kOk : RasFail(kReadErr, "cannot close %s", image.file->path.c_str());
}
