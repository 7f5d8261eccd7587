// Fuzzes the Tintmesh stream reader on memory blocks. The input is taken as
// the plain stream and scrambled with the keystream first, so the fuzzer
// works on readable headers and tables. A Tintmesh that loads must evaluate
// (8-bit paths and one other combination) and write back to a stream that
// reads to the same table and grid.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/stream.h"
#include "transform/tintmesh.h"
#include "transform/tintmesh_eval.h"
#include "transform/tintmesh_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  std::vector<uint8_t> block(data, data + size);
  QXKeystream ks;
  ks.Apply(block.data(), block.size());
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Tintmesh* tm = nullptr;
  if (QXReadFile(&tm, desc) != 0) {
    if (tm) __builtin_trap();  // nothing is returned on failure
    return 0;
  }
  // Evaluate a few pixels at every path combination.
  uint16_t in[4][8], out[4][8];
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < 8; ++i) in[c][i] = (uint16_t)(data[(c * 8 + i) % size] * 257 + i);
  }
  QXChannelPtrs ip, op;
  for (int c = 0; c < 4; ++c) ip.chan[c] = in[c], op.chan[c] = out[c];
  if (QXEvaluate(tm, 8, ip, 1, op, 1) != 0) __builtin_trap();
  // One other path combination, chosen by the last byte.
  const int inPath = 1 + (data[size - 1] & 1), outPath = 1 + (data[size - 1] >> 1 & 1);
  if (QXSetPhysicalDataPath(tm, 0, inPath) != 0 || QXSetPhysicalDataPath(tm, 1, outPath) != 0) __builtin_trap();
  if (QXEvaluate(tm, 8, ip, 1, op, 1) != 0) __builtin_trap();
  // Written back and read again, the table and grid are the same.
  QXSetPhysicalDataPath(tm, 0, 1);
  QXSetPhysicalDataPath(tm, 1, 1);
  std::vector<uint8_t> again(block.size() + kQXHeaderSize);
  MemStreamDesc back;
  back.buffer = again.data();
  back.size = (int64_t)again.size();
  Tintmesh* copy = nullptr;
  if (QXWriteFile(tm, back) != 0 || QXReadFile(&copy, back) != 0) __builtin_trap();
  const size_t width = tm->precision == kQX16Bit ? 2 : 1;
  const void* a = width == 2 ? (const void*)tm->table16.get() : (const void*)tm->table8.get();
  const void* b = width == 2 ? (const void*)copy->table16.get() : (const void*)copy->table8.get();
  const size_t count = (size_t)(width == 2 ? tm->table16.count : tm->table8.count);
  if (std::memcmp(a, b, count * width) != 0) __builtin_trap();
  for (int c = 0; c < tm->nIn; ++c) {
    if (std::memcmp(tm->in[c].positions, copy->in[c].positions, sizeof tm->in[c].positions) != 0) __builtin_trap();
  }
  QXFree(&copy);
  QXFree(&tm);
  return 0;
}
