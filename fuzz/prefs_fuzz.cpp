// Fuzzes the preferences file container: entries read from a memory block
// until the end entry or the first failure.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "prefs/prefsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return 0;
  for (int i = 0; i < 1000; ++i) {
    uint16_t id, type;
    uint32_t count;
    PrefsData d;
    if (Ui_Prefs_ReadEntry(s, id, type, count, (i & 1) ? &d : nullptr) != kOk || id == 1) break;
    if (d.count) (void)d.Float(0);
  }
  return 0;
}
