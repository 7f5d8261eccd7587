// Fuzzes DecodeTavelinPars with arbitrary floats (609 or 629 of them, by the
// first byte), then runs the decoded record through the tools when it is valid.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "correct/correctiontransform.h"
#include "correct/tavelinpars.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int count = (data[0] & 1) ? kParVectorCount : kParVectorCountOld;
  std::vector<float> v(kParVectorCount, 0.0f);
  // The bytes fill the vector from the start; the rest stays from a valid record.
  TavelinPars seed;
  InitTavelinPars(&seed);
  EncodeTavelinPars(&seed, v.data(), kParVectorCount);
  const size_t n = std::min(size - 1, v.size() * sizeof(float));
  std::memcpy(v.data(), data + 1, n);
  TavelinPars pars;
  InitTavelinPars(&pars);
  const Status st = DecodeTavelinPars(v.data(), count, &pars);
  if (st != kOk && st != kUnsupported) __builtin_trap();
  if (ValidateRefRGB(&pars.refRGB) != kOk) __builtin_trap();
  if (ValidateTavelinPars(&pars) == kOk) {
    const float probes[3][3] = {{0.f, 0.f, 0.f}, {0.3f, 0.6f, 0.9f}, {1.f, 1.f, 1.f}};
    for (const auto& c : probes) {
      float out[3];
      if (ApplyTavelinPars(&pars, TOOL_ALL, c, out) == kOk)
        for (float o : out)
          if (!(o >= 0.0f && o <= 1.0f)) __builtin_trap();
    }
  }
  return 0;
}
