// Fuzzes the command-line file list: any text gives quotes / 2 paths of at
// most 254 characters each, without a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "session/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> files;
  if (ParseCommandLine(line, &files) != kOk) std::abort();
  size_t quotes = 0;
  for (char c : line) quotes += c == '"';
  if (files.size() != quotes / 2) std::abort();
  for (const std::string& f : files)
    if (f.size() > (size_t)kCommandLinePathMax || f.find('"') != std::string::npos) std::abort();
  return 0;
}
