// Fuzzes the Scitex CT reader through the framework: the 2048-byte header, the
// size fields, padded and unpadded rows. Seeds: files of the Scitex CT writer
// (gray, RGB, CMYK; odd widths).
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
