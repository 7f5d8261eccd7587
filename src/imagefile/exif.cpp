#include "imagefile/exif.h"

#include <set>

#include "base/bytes.h"

namespace {

constexpr int kMaxLevel = 4;              // main, EXIF, interoperability/GPS and continuations
constexpr uint32_t kMaxComponents = 65536;
constexpr uint32_t kEntryBudget = 200000;  // bounds the walk of a hostile block
constexpr uint16_t kTagThumbOffset = 0x0201;
constexpr uint16_t kTagThumbLength = 0x0202;

// Bytes per component by format 0..12.
constexpr uint32_t kFormatBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

struct Walker {
  const uint8_t* data;
  uint32_t length;
  bool big;
  ExifParseResult& out;
  std::set<uint32_t> visited;
  uint32_t budget = kEntryBudget;

  uint16_t U16(uint32_t at) const { return big ? LoadBE16(data + at) : LoadLE16(data + at); }
  uint32_t U32(uint32_t at) const { return big ? LoadBE32(data + at) : LoadLE32(data + at); }
  // The value field of an entry read as SHORT (format 3) or LONG.
  uint32_t Value(uint32_t entry, uint16_t format) const {
    return format == 3 ? U16(entry + 8) : U32(entry + 8);
  }
  void Raise(uint32_t offset) {
    if (offset > out.maxReferred) out.maxReferred = offset;
  }

  void Directory(uint32_t d, int level) {
    if (level > kMaxLevel) return;
    if (budget == 0 || !visited.insert(d).second) return;
    --budget;
    if ((uint64_t)d + 2 > length) return;
    const uint32_t n = U16(d);
    const uint64_t e = (uint64_t)d + 2 + 12ull * n;
    if (e + 4 > length && e != length && e + 2 != length) return;
    bool gaveOffset = false;
    uint32_t thumbOffset = 0, thumbSize = 0;
    for (uint32_t i = 0; i < n; ++i) {
      if (budget == 0) return;
      --budget;
      const uint32_t entry = d + 2 + 12 * i;
      const uint16_t tag = U16(entry);
      const uint16_t format = U16(entry + 2);
      const uint32_t count = U32(entry + 4);
      if (format > 12 || count > kMaxComponents) continue;
      const uint64_t bytes = (uint64_t)count * kFormatBytes[format];
      if (bytes > 4) {
        const uint32_t at = U32(entry + 8);
        if ((uint64_t)at + bytes > length) continue;
        Raise(at);
      }
      switch (tag) {
        case kTagThumbOffset:
          thumbOffset = Value(entry, format);
          gaveOffset = true;
          out.thumbDir = d;
          break;
        case kTagThumbLength:
          thumbSize = Value(entry, format);
          out.thumbDir = d;
          break;
        case 0x8769:  // EXIF directory
        case 0xA005:  // interoperability directory
        case 0x8825: {  // GPS directory
          const uint32_t at = U32(entry + 8);
          if (at < length) Directory(at, level + 1);
          break;
        }
        default:
          break;
      }
    }
    if (e + 4 <= length) {
      const uint32_t link = U32((uint32_t)e);
      if (link != 0) {
        Raise(link);
        if (link < length) Directory(link, level + 1);
        // A link just past the end (under 20 bytes) or further is ignored.
      }
    }
    if (gaveOffset && thumbOffset <= length) {
      if ((uint64_t)thumbOffset + thumbSize > length) thumbSize = length - thumbOffset;
      out.thumbOffset = thumbOffset;
      out.thumbSize = thumbSize;
    }
  }
};

}  // namespace

void ExifParse(const uint8_t* data, uint32_t length, ExifParseResult& result) {
  result = ExifParseResult();
  if (!data || length < 8) return;
  bool big;
  if (data[0] == 'I' && data[1] == 'I') big = false;
  else if (data[0] == 'M' && data[1] == 'M') big = true;
  else return;
  result.bigEndian = big;
  Walker w{data, length, big, result, {}};
  if (w.U16(2) != 42) return;
  w.Directory(w.U32(4), 0);  // an offset outside 8..16 is accepted all the same
  result.thumbAtEnd = result.thumbOffset != 0 && result.maxReferred <= result.thumbOffset;
}

Status ExifRemoveThumbnail(uint8_t* data, uint32_t& length) {
  ExifParseResult r;
  ExifParse(data, length, r);
  if (r.thumbDir < 0 || r.thumbOffset == 0 || r.thumbSize == 0) return kSysErr;
  const uint32_t d = (uint32_t)r.thumbDir;
  auto u16 = [&](uint32_t at) { return r.bigEndian ? LoadBE16(data + at) : LoadLE16(data + at); };
  const uint32_t n = u16(d);
  // Entries that run past the data were never read by the walk; skip them here too.
  auto inside = [&](uint32_t i) { return (uint64_t)d + 2 + 12ull * (i + 1) <= length; };
  for (uint32_t i = 0; i < n && inside(i); ++i) {
    const uint32_t entry = d + 2 + 12 * i;
    if (u16(entry) == kTagThumbLength && u16(entry + 2) != 4) return kSysErr;  // not LONG: leave all as is
  }
  for (uint32_t i = 0; i < n && inside(i); ++i) {
    const uint32_t entry = d + 2 + 12 * i;
    if (u16(entry) == kTagThumbLength) StoreLE32(data + entry + 8, 0);  // zero reads the same in both orders
  }
  if (r.thumbAtEnd) length = r.thumbOffset;
  return kOk;
}
