// Fuzzes the EPS reader through the framework: the header lines, the
// %ImageData: values, binary and hexadecimal rows. Seeds: files of the EPS
// writer (gray binary, RGB hexadecimal, CMYK binary).
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
