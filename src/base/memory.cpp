#include "base/memory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "base/bytes.h"
#include "base/debuglog.h"

namespace {
constexpr size_t kHead = 16;
constexpr size_t kTail = 8;
constexpr char kStart1[4] = {'f', 'i', 'r', 'e'};
constexpr char kStart2[4] = {'w', 'a', 'l', 'l'};
constexpr char kEnd[8] = {'F', 'I', 'R', 'E', 'W', 'A', 'L', 'L'};

std::mutex gLock;
MemCounters gCounters;
// Base address → true total size of every live block.
std::unordered_map<const unsigned char*, size_t>& LiveBlocks() {
  static auto* blocks = new std::unordered_map<const unsigned char*, size_t>;
  return *blocks;
}

int DamageFlags(const unsigned char* base, size_t total, int64_t outstanding) {
  int flags = 0;
  if (std::memcmp(base, kStart1, 4) != 0 || std::memcmp(base + 12, kStart2, 4) != 0) flags |= 1;
  if (std::memcmp(base + total - kTail, kEnd, kTail) != 0) flags |= 2;
  if ((int64_t)LoadBE32(base + 4) > outstanding) flags |= 4;
  return flags;
}

void ReportDamage(const unsigned char* base, size_t total, int flags, int64_t outstanding) {
  const long stored = (long)(int32_t)LoadBE32(base + 4);
  const long id = (long)(int32_t)LoadBE32(base + 8);
  Ui_Debug_Log(1, "Firewall Error:");
  if (flags & 1) {
    Ui_Debug_LogF(1, "Start firewall destroyed, size = %ld, id = %ld, remaining = ", stored, id);
    const unsigned char* tags[8] = {base, base + 1, base + 2, base + 3, base + 12, base + 13, base + 14, base + 15};
    const char expect[8] = {'f', 'i', 'r', 'e', 'w', 'a', 'l', 'l'};
    for (int i = 0; i < 8; ++i) Ui_Debug_LogF(1, "%c", *tags[i] == (unsigned char)expect[i] ? expect[i] : '*');
  }
  if (flags & 2) {
    Ui_Debug_LogF(1, "End firewall destroyed, size = %ld, id = %ld, remaining = ", stored, id);
    const unsigned char* end = base + total - kTail;
    for (size_t i = 0; i < kTail; ++i) Ui_Debug_LogF(1, "%c", end[i] == (unsigned char)kEnd[i] ? kEnd[i] : '*');
  }
  if (flags & 4) Ui_Debug_LogF(1, "Freeing too much, size = %ld, total = %ld", stored, (long)outstanding);
  Ui_Debug_Alert(1, "Firewall failure!");
}
}  // namespace

void* MemAlloc(size_t n) {
  if (n == 0) n = 1;
  if (n > SIZE_MAX - kHead - kTail || n + kHead + kTail > 0xFFFFFFFFu) return nullptr;
  const size_t total = n + kHead + kTail;
  unsigned char* base = static_cast<unsigned char*>(std::malloc(total));
  if (!base) return nullptr;
  std::lock_guard<std::mutex> lock(gLock);
  std::memcpy(base, kStart1, 4);
  StoreBE32(base + 4, (uint32_t)total);
  StoreBE32(base + 8, gCounters.nextId++);
  std::memcpy(base + 12, kStart2, 4);
  std::memcpy(base + total - kTail, kEnd, kTail);
  LiveBlocks()[base] = total;
  gCounters.blocks++;
  gCounters.bytes += (int64_t)total;
  if (gCounters.bytes > gCounters.peak) gCounters.peak = gCounters.bytes;
  return base + kHead;
}

void* MemAllocZero(size_t n) {
  void* p = MemAlloc(n);
  if (p) std::memset(p, 0, n);
  return p;
}

void* MemAllocArray(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return MemAlloc(count * size);
}

int MemCheck(const void* p) {
  if (!p) return 0;
  const unsigned char* base = static_cast<const unsigned char*>(p) - kHead;
  std::lock_guard<std::mutex> lock(gLock);
  auto it = LiveBlocks().find(base);
  if (it == LiveBlocks().end()) return 1;
  return DamageFlags(base, it->second, gCounters.bytes);
}

Status MemFree(void* p) {
  if (!p) return kOk;
  unsigned char* base = static_cast<unsigned char*>(p) - kHead;
  size_t total = 0;
  int flags = 0;
  int64_t outstanding = 0;
  {
    std::lock_guard<std::mutex> lock(gLock);
    auto it = LiveBlocks().find(base);
    if (it == LiveBlocks().end()) {
      // Not a live block (freed twice, or never ours): touching it is unsafe.
      Ui_Debug_Log(1, "Firewall Error:");
      Ui_Debug_LogF(1, "Freeing unknown block %p", p);
      Ui_Debug_Alert(1, "Firewall failure!");
      return kSysErr;
    }
    total = it->second;
    outstanding = gCounters.bytes;
    flags = DamageFlags(base, total, outstanding);
    LiveBlocks().erase(it);
    gCounters.blocks--;
    gCounters.bytes -= (int64_t)total;
  }
  if (flags) ReportDamage(base, total, flags, outstanding);
  std::free(base);
  return flags ? kSysErr : kOk;
}

MemCounters MemGetCounters() {
  std::lock_guard<std::mutex> lock(gLock);
  return gCounters;
}
