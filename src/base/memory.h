// Guarded memory: every block carries guard bytes around the caller's bytes,
//   "fire" | total size (BE32) | block id (BE32) | "wall" | n bytes | "FIREWALL"
// (n + 24 bytes from the heap, 1 byte for a request of 0). Counters: blocks
// outstanding, bytes outstanding (sum of total sizes), peak, next id. Freeing
// checks the guards; damage is logged (always) and shown as "Firewall
// failure!", and the block is released anyway. The true size of every live
// block is also kept aside, so a damaged header never makes the check read
// outside its block, and a pointer that is not a live block is refused.
// Thread-safe; backs the large blocks (pixel planes, tables, lattices).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/status.h"

struct MemCounters {
  int64_t blocks = 0;    // allocated and not freed
  int64_t bytes = 0;     // outstanding, guards included
  int64_t peak = 0;      // peak of bytes
  uint32_t nextId = 0;   // id of the next block
};

// n bytes (uninitialised), or null when out of memory.
void* MemAlloc(size_t n);
// n bytes set to zero, or null.
void* MemAllocZero(size_t n);
// count × size bytes with an overflow check, or null.
void* MemAllocArray(size_t count, size_t size);
// Checks the guards and releases the block; null is ignored. Returns the
// check's status (kSysErr on damage or a pointer that is no live block).
Status MemFree(void* p);
// Checks a live block's guards without freeing it (no report): 0 or the damage flags
// 1 start tags, 2 end tag, 4 total size above the bytes outstanding.
int MemCheck(const void* p);

MemCounters MemGetCounters();

// Owner of a guarded block.
struct MemDeleter {
  void operator()(void* p) const { MemFree(p); }
};
template <class T>
using MemPtr = std::unique_ptr<T, MemDeleter>;

template <class T>
MemPtr<T[]> MemNewArray(size_t count, bool zero = true) {
  void* p = MemAllocArray(count, sizeof(T));
  if (p && zero) {
    unsigned char* b = static_cast<unsigned char*>(p);
    for (size_t i = 0; i < count * sizeof(T); ++i) b[i] = 0;
  }
  return MemPtr<T[]>(static_cast<T*>(p));
}
