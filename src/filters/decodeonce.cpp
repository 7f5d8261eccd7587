#include "filters/decodeonce.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

#include "imagefile/ras.h"

int64_t HeldImageBytes(const RasImage& image) {
  // A header may claim any size: a product beyond 63 bits is "too many".
  const unsigned __int128 bytes =
      (unsigned __int128)image.width * image.height * (uint32_t)std::max(image.channels, 0) * (image.Is16() ? 2u : 1u);
  return bytes > (unsigned __int128)INT64_MAX ? INT64_MAX : (int64_t)bytes;
}

namespace {

// A block of `bytes` for the rows: the held one when it is large enough,
// else a new one, its pages asked to be huge (fewer faults to fill it).
bool MakeRoom(HeldImage& held, int64_t bytes) {
  if (held.block && held.capacity >= bytes) return true;
  held.Free();
  held.block = MemNewArray<uint8_t>((size_t)bytes, false);
  if (!held.block) return false;
  held.capacity = bytes;
#ifdef MADV_HUGEPAGE
  const uintptr_t page = 4096, start = ((uintptr_t)held.block.get() + page - 1) & ~(page - 1);
  const uintptr_t end = ((uintptr_t)held.block.get() + (uintptr_t)bytes) & ~(page - 1);
  if (end > start) ::madvise((void*)start, end - start, MADV_HUGEPAGE);
#endif
  return true;
}

}  // namespace

Status IPDecodeOnce(const std::string& path, const ReadOptions& read, int64_t holdBytes, IPRowThumbnail& thumbnail,
                    HeldImage& held) {
  held.Drop();
  held.image = RasImage();  // a save may have taken the last one's record
  RasImage& image = held.image;
  ReadOptions options = read;
  options.scale = 1;
  Status st = RasQuery(path, image, options);
  if (st == kOk) st = RasOpenRead(path, image, options);
  if (st == kOk) st = thumbnail.Prepare(image);
  if (st != kOk) {
    RasClose(image);
    return st;
  }
  held.bytesPerSample = image.Is16() ? 2 : 1;
  held.held = HeldImageBytes(image) <= holdBytes && MakeRoom(held, HeldImageBytes(image));
  // Kept rows are decoded straight into their place: the scanline borrows
  // them (and owns nothing to free); otherwise into a scanline of its own.
  RasScanline sl;
  if (!held.Held()) st = RasMakeSl(sl, image);
  else {
    sl.width = image.width;
    sl.channels = image.channels;
  }
  for (uint32_t y = 0; st == kOk && y < image.height; ++y) {
    if (held.Held()) {
      for (int32_t c = 0; c < image.channels; ++c) {
        if (held.bytesPerSample == 1) sl.plane8[c] = static_cast<uint8_t*>(held.Row(y, c));
        else sl.plane16[c] = static_cast<uint16_t*>(held.Row(y, c));
      }
    }
    if ((st = RasReadSl(image, y, sl)) == kOk) thumbnail.AddRow(y, sl);
  }
  if (held.Held()) {
    for (int32_t c = 0; c < 4; ++c) sl.plane8[c] = nullptr, sl.plane16[c] = nullptr;
  }
  const Status closed = RasClose(image);
  if (st == kOk) st = closed;
  if (st != kOk) held.Drop();
  return st;
}
