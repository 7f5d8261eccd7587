// Fuzzes the Photo CD reader through the framework at the smallest resolution
// (192 × 128 at offset 8192, so a whole input is 45056 bytes): the signature,
// the row pairs and the chrominance interpolation. Seed: a synthetic pack
// with "PCD_IPI" at 2048 and patterned row pairs.
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  ReadOptions smallest;
  smallest.photoCdResolution = 1;
  FuzzReadImage(smallest);
  return 0;
}
