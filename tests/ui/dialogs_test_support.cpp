#include "dialogs_test_support.h"

#include "base/stream.h"

std::vector<uint8_t> Encoded(const Prefs& prefs) {
  std::vector<uint8_t> buffer(1 << 20);
  MemStreamDesc mem;
  mem.buffer = buffer.data();
  mem.size = (int64_t)buffer.size();
  Stream s;
  if (StreamOpen(s, mem, kStreamWrite) != kOk) return {};
  if (WritePrefsEntries(AppState(), prefs, s) != kOk) return {};
  buffer.resize((size_t)s.high);
  return buffer;
}
