// Fuzzes the custom settings reader over a memory block: any bytes give a
// status, and a record that was accepted passes the validator.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correct/customsettings.h"
#include "correct/tavelinpars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> block(data, data + size);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  TavelinPars pars;
  InitTavelinPars(&pars);
  TavelinPars before = pars;
  const Status st = ReadCustomSettings(&pars, desc);
  if (st == kOk && ValidateTavelinPars(&pars) != kOk) __builtin_trap();
  if (st != kOk && std::memcmp(&pars, &before, sizeof pars) != 0) __builtin_trap();
  return 0;
}
