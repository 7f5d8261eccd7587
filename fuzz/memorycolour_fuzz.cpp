// Fuzzes the memory colour file reader over a memory block.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correct/memorycolours.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  MemoryColour c;
  DefaultMemoryColour(0, &c);
  if (ReadMemoryColourFile(desc, &c) == kOk) {
    if (!(c.chroma >= 0.0f && c.chroma <= 100.0f && c.hue >= 0.0f && c.hue <= 360.0f && c.hueSlope >= -1.0f &&
          c.hueSlope <= 1.0f))
      __builtin_trap();
    if (std::strlen(c.name) > 20 || std::strlen(c.label) > 1) __builtin_trap();
    for (const char* s = c.name; *s; ++s)
      if (*s < 32 || *s > 126) __builtin_trap();
  }
  return 0;
}
