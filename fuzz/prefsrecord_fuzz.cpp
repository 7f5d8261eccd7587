// Fuzzes the preference record's reader: entries read from a memory block
// and stored through readPrefsCallback (ranges, fallbacks, memory colours,
// correction records) into the process-wide record. Whatever was read, the
// record written back must read again without a single fallback.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "prefs/prefs.h"

namespace {
Status ReadAllFrom(std::vector<uint8_t>& block, Prefs& prefs, bool strict) {
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return kBadArg;
  for (int i = 0; i < 400; ++i) {
    uint16_t id, type;
    uint32_t count;
    PrefsData d;
    Status st = Ui_Prefs_ReadEntry(s, id, type, count, &d);
    if (st != kOk) return st;
    if (strict) {
      if (ReadPrefsEntry(prefs, id, d) != kOk) __builtin_trap();
    } else if ((st = readPrefsCallback(nullptr, id, d)) != kOk) {
      return st;
    }
    if (id == kPrefsEntryEnd) return kOk;
  }
  return kOk;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Prefs* prefs = &AppPrefs();
  ResetPrefs(prefs);
  std::vector<uint8_t> block(data, data + size);
  ReadAllFrom(block, *prefs, false);

  std::vector<uint8_t> out(64 * 1024);
  MemStreamDesc desc;
  desc.buffer = out.data();
  desc.size = (int64_t)out.size();
  Stream w;
  if (StreamOpen(w, desc, kStreamUpdate) != kOk) return 0;
  if (WritePrefsEntries(nullptr, *prefs, w) != kOk) __builtin_trap();
  if (Ui_Prefs_WriteEntry(nullptr, w, kPrefsEntryEnd, kPrefsByte, 0, nullptr) != kOk) __builtin_trap();
  out.resize((size_t)w.high);
  if (ReadAllFrom(out, *prefs, true) != kOk) __builtin_trap();
  return 0;
}
