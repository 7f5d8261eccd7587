// Fuzzes the stream layer's line reader and typed element reads over a memory block.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/elements.h"
#include "base/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return 0;
  // Capacity from the first byte, then lines to the end.
  size_t capacity = 3 + data[0] % 300;
  std::string line;
  while (StreamReadLine(s, line, capacity) == kOk) {
    if (line.size() > capacity - 1) __builtin_trap();
  }
  StreamSeek(s, 0, 0);
  uint8_t b;
  uint16_t h;
  uint32_t w;
  float f;
  for (int i = 0; i < 64; ++i) {
    Status st = kOk;
    switch (i % 5) {
      case 0: st = StreamReadU8(s, b); break;
      case 1: st = StreamReadU16(s, h); break;
      case 2: st = StreamReadU32(s, w); break;
      case 3: st = StreamReadBinaryFloat(s, f); break;
      case 4: st = StreamReadDecimalFloat(s, f); break;
    }
    if (st != kOk) break;
  }
  return 0;
}
