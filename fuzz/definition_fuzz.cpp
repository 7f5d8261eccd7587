// Fuzzes the colour definition file reader over a memory block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "correct/definitions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  float rgb[3] = {0.5f, 0.5f, 0.5f};
  if (ReadDefinitionFile(desc, rgb) == kOk)
    for (float v : rgb)
      if (!(v >= 0.0f && v <= 1.0f)) __builtin_trap();
  return 0;
}
