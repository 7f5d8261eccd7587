// Fuzzes the camera raw reader through the framework: recognition before TIFF, LibRaw's parse, demosaic, rows.
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
