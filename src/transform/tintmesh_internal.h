// Helpers shared by the Tintmesh construction, evaluation and stream modules
// (not for other modules): the small code maps and the table allocation.
#pragma once

#include <cstdint>

#include "transform/tintmesh.h"

namespace qx {

// Entries kept after the end of the data table, zeroed, so that a kernel may
// load a whole 4-byte group of the last grid point.
constexpr int32_t kTablePad = 8;

inline int32_t Clamp(int64_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : (int32_t)v; }
inline int32_t MaxCode(int32_t depth) { return depth == kQX16Bit ? 65535 : 255; }
// 8-bit code to 16-bit scale and back.
inline int32_t Widen(int32_t v) { return v * 257; }
inline int32_t Narrow(int32_t v) { return Clamp(((int64_t)v * 255 + 32767) / 65535, 0, 255); }
// Code i (0..255) from low (i = 0) to high (i = 255), truncated, clamped to 0..255.
inline int32_t Scale8(int32_t low, int32_t high, int32_t i) {
  return Clamp(((int64_t)(high - low) * i + (int64_t)low * 255 + 127) / 255, 0, 255);
}

// Allocates the zeroed data table of the Tintmesh's precision for `count`
// entries (plus the padding); kNoMem on failure. Frees any earlier table.
Status AllocTable(Tintmesh* tm, int32_t count);
inline bool HasTable(const Tintmesh* tm) { return tm->precision == kQX16Bit ? (bool)tm->table16 : (bool)tm->table8; }
inline int32_t TableCountHeld(const Tintmesh* tm) {
  return tm->precision == kQX16Bit ? tm->table16.count : tm->table8.count;
}

}  // namespace qx
