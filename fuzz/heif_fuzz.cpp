// Fuzzes the HEIC and AVIF reader (8 and 16 bits) through the framework: boxes, colour information, decode, rows.
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
