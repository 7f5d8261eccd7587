// Fuzzes the Targa reader through the framework: recognition, header, rows.
#define TAVELIN_FUZZ_EXTENSION ".tga"
#include "fuzz_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!FuzzWrite(data, size)) return 0;
  FuzzReadImage();
  return 0;
}
