// Fuzzes the help file reader over a memory block: the first two bytes pick
// the topic number (2000 + 0..255 covers every topic and some missing ones).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "session/helptext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int number = 2000 + data[0];
  std::vector<uint8_t> block(data + 1, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  if (StreamOpen(s, desc, kStreamRead) != kOk) return 0;
  HelpTopic topic;
  int line = 0;
  if (ReadHelpTopic(s, number, &topic, &line) == kOk) {
    if (topic.number != number) __builtin_trap();
    for (const HelpParagraph& p : topic.paragraphs)
      if (!p.picture && p.text.empty()) __builtin_trap();
  }
  return 0;
}
