// Fuzzes the Cineon reader through the framework: the header fields and the
// packed 10-bit rows. Seeds: a file of the Cineon writer and the peer's
// tests/data/imagefile/cineon.cin.
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
