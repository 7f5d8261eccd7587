#include "transform/tintmesh_simd.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "base/debuglog.h"

namespace qx {
namespace {

SimdLevel DetectCpu() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
  // __builtin_cpu_supports also checks that the system saves the wider
  // registers (AVX and AVX-512 state).
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512dq"))
    return SimdLevel::kAvx512;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
  if (__builtin_cpu_supports("sse4.1")) return SimdLevel::kSse41;
#endif
  return SimdLevel::kScalar;
}

SimdLevel Lower(SimdLevel a, SimdLevel b) { return (int32_t)a < (int32_t)b ? a : b; }

// The first choice, logged once to the diagnostics log.
SimdLevel StartLevel() {
  const SimdLevel cpu = CpuSimdLevel();
  const char* wanted = std::getenv("TAVELIN_SIMD");
  const SimdLevel level = ChooseSimdLevel(wanted, cpu);
  SimdLevel named;
  if (wanted && *wanted && !ParseSimdLevel(wanted, &named))
    DLog("TAVELIN_SIMD=%s is not a level (scalar, sse41, avx2, avx512)", wanted);
  DLog("Tintmesh kernels: %s (processor: %s)", SimdLevelName(level), SimdLevelName(cpu));
  return level;
}

constexpr int32_t kUnset = -1;
std::atomic<int32_t> gLevel{kUnset};

}  // namespace

SimdLevel ChooseSimdLevel(const char* wanted, SimdLevel cpu) {
  SimdLevel level;
  if (!wanted || !ParseSimdLevel(wanted, &level)) return cpu;
  return Lower(level, cpu);
}

SimdLevel CpuSimdLevel() {
  static const SimdLevel cpu = DetectCpu();
  return cpu;
}

SimdLevel ActiveSimdLevel() {
  int32_t level = gLevel.load(std::memory_order_relaxed);
  if (level == kUnset) {
    int32_t expected = kUnset;
    const int32_t start = (int32_t)StartLevel();
    gLevel.compare_exchange_strong(expected, start, std::memory_order_relaxed);
    level = gLevel.load(std::memory_order_relaxed);
  }
  return (SimdLevel)level;
}

SimdLevel SetSimdLevel(SimdLevel level) {
  const SimdLevel previous = ActiveSimdLevel();
  gLevel.store((int32_t)Lower(level, CpuSimdLevel()), std::memory_order_relaxed);
  return previous;
}

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::kSse41: return "sse41";
    case SimdLevel::kAvx2: return "avx2";
    case SimdLevel::kAvx512: return "avx512";
    default: return "scalar";
  }
}

bool ParseSimdLevel(const char* name, SimdLevel* level) {
  for (SimdLevel l : {SimdLevel::kScalar, SimdLevel::kSse41, SimdLevel::kAvx2, SimdLevel::kAvx512}) {
    if (name && std::strcmp(name, SimdLevelName(l)) == 0) {
      *level = l;
      return true;
    }
  }
  return false;
}

}  // namespace qx
