// Fuzzes the JPEG module: the two marker passes over a memory stream, then
// recognition and row reading through the library with our source and error exit.
#include <vector>

#include "fuzz_image.h"
#include "imagefile/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return 0;
  ImageMeta meta;
  JpegScanProfile(s, meta);
  JpegScanExif(s, meta);
  StreamClose(s);
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8 && FuzzWrite(data, size)) FuzzReadImage();
  return 0;
}
