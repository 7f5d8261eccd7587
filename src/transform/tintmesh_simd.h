// The vector lattice kernels of the Tintmesh: which instruction set they use
// and what QXEvaluate hands them (internal to src/transform).
//
// Levels: scalar (the plain kernels of tintmesh_eval.cpp, the reference and
// the fallback), SSE4.1, AVX2 and AVX-512 (F, BW, VL, DQ). The level is
// chosen once, the first time it is asked for: the best one the processor
// and the operating system support, or a lower one named by the environment
// variable TAVELIN_SIMD (scalar, sse41, avx2, avx512; a level the processor
// lacks falls back to its best). Tests and benchmarks may force a level.
//
// Each level lives in its own file (tintmesh_simd_sse41.cpp, _avx2.cpp,
// _avx512.cpp), compiled for that instruction set alone; nothing in those
// files runs unless the level is active, so the program runs on any x86-64
// processor. They share one algorithm (tintmesh_simd_lattice.h).
//
// A vector kernel's output is identical to the scalar kernel's, pixel for
// pixel: the same cell and fraction lookups, the same simplex, the same
// 32-bit weighted sum, shift and output curve, only several pixels at once.
// They cover three-input lattices with any table precision, data paths and
// 1, 3 or 4 outputs; other forms run the scalar kernels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/tintmesh_eval.h"

namespace qx {

enum class SimdLevel : int32_t { kScalar = 0, kSse41 = 1, kAvx2 = 2, kAvx512 = 3 };

// The best level this processor runs (detected once).
SimdLevel CpuSimdLevel();
// The level for a processor whose best is `cpu` and a wanted level's name
// (TAVELIN_SIMD; null, empty or unknown = the processor's best).
SimdLevel ChooseSimdLevel(const char* wanted, SimdLevel cpu);
// The level QXEvaluate uses: chosen once (see above) unless forced.
SimdLevel ActiveSimdLevel();
// Forces a level (clamped to CpuSimdLevel()) and returns the one it replaces.
// For tests and benchmarks; not while another thread evaluates.
SimdLevel SetSimdLevel(SimdLevel level);
// "scalar", "sse41", "avx2", "avx512"; ParseSimdLevel accepts the same names.
const char* SimdLevelName(SimdLevel level);
bool ParseSimdLevel(const char* name, SimdLevel* level);

// What a vector lattice kernel reads, all of it owned by a finished
// three-input lattice Tintmesh (valid while that is not changed).
struct SimdLattice {
  const uint32_t* cellFrac[3];   // per input channel: cell | fraction << 16
  uint32_t stride[3];            // per input channel, in table entries
  const void* table;             // uint8_t or uint16_t entries, padded at the end
  const uint8_t* curve8[4];      // 8-bit output: each channel's curve, null = identity
  const uint16_t* curve16[4];    // 16-bit output: each channel's curve, null = identity
};

using SimdLatticeFn = void (*)(const SimdLattice& lattice, int32_t count, const QXChannelPtrs& in, ptrdiff_t inStep,
                               const QXChannelPtrs& out, ptrdiff_t outStep);

// The kernel of one level for a three-input lattice with this table
// precision, input and output paths (true = 16-bit) and output count (1, 3
// or 4); null when the level has none. Call only the active level's.
SimdLatticeFn PickLatticeSse41(bool table16, bool in16, bool out16, int32_t nOut);
SimdLatticeFn PickLatticeAvx2(bool table16, bool in16, bool out16, int32_t nOut);
SimdLatticeFn PickLatticeAvx512(bool table16, bool in16, bool out16, int32_t nOut);

}  // namespace qx
