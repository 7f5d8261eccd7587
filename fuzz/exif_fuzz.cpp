// Fuzzes the EXIF walk and thumbnail removal on raw EXIF data.
#include <cstring>
#include <vector>

#include "imagefile/exif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFF) return 0;
  std::vector<uint8_t> copy(data, data + size);
  ExifParseResult r;
  ExifParse(copy.data(), (uint32_t)copy.size(), r);
  if (r.thumbSize && (uint64_t)r.thumbOffset + r.thumbSize > size) __builtin_trap();
  uint32_t length = (uint32_t)copy.size();
  if (ExifRemoveThumbnail(copy.data(), length) == 0 && length > size) __builtin_trap();
  return 0;
}
