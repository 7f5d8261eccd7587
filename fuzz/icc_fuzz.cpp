// Fuzzes the ICC reader on memory blocks: the header, the tag directory,
// every tag (the first 64 entries) and the description. A decoded tag must
// describe only what it holds: its arrays agree with its counts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "colormgmt/iccprofile.h"
#include "base/stream.h"

namespace {

void Check(const ICCTag& tag) {
  if (tag.type == kICCTypeMft1 || tag.type == kICCTypeMft2) {
    if (tag.inputTables.count != (uint32_t)tag.inputEntries * tag.inputChannels) __builtin_trap();
    if (tag.outputTables.count != (uint32_t)tag.outputEntries * tag.outputChannels) __builtin_trap();
    uint64_t grid = tag.gridPoints ? tag.outputChannels : 0;
    for (int i = 0; i < tag.inputChannels && grid; ++i) grid *= tag.gridPoints;
    if (tag.grid.count != grid) __builtin_trap();
    // Touch the last element of every array.
    volatile uint16_t sink = 0;
    for (const ICCArray<uint16_t>* a : {&tag.inputTables, &tag.grid, &tag.outputTables})
      if (a->count) sink = (*a)[a->count - 1];
    (void)sink;
  }
  if (tag.type == kICCTypeCurve && tag.curve.count) {
    volatile uint16_t last = tag.curve[tag.curve.count - 1];
    (void)last;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc mem;
  mem.buffer = block.data();
  mem.size = (int64_t)block.size();
  {
    Stream s;
    if (StreamOpen(s, mem, kStreamRead) != 0) return 0;
    ICCProfileHeader header;
    ICCTagDirectory dir;
    if (ICCReadHeader(s, header) != 0 || ICCReadTagTable(s, dir) != 0) return 0;
    if (dir.entries.size() * 12 > size) __builtin_trap();
    for (uint32_t i = 0; i < dir.entries.size() && i < 64; ++i) {
      ICCTag tag;
      if (ICCReadTag(s, dir, i, tag) == 0) Check(tag);
    }
  }
  Stream s;
  if (StreamOpen(s, mem, kStreamRead) != 0) return 0;
  std::string text;
  ICCReadProfileDesc(s, text);
  return 0;
}
