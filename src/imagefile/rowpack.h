// Row packing kernels shared by the format modules: chunky 8-bit RGB rows
// (r, g, b, r, g, b, ...) split into three planes and joined back. The kernel
// is chosen once per process: 16 pixels per step with byte shuffles where the
// processor has SSSE3, else four pixels per step through 32-bit words (little-
// endian hosts), else one pixel per step. Input and output must not overlap.
#pragma once

#include <cstdint>

void SplitRgb8(const uint8_t* in, uint8_t* r, uint8_t* g, uint8_t* b, uint32_t width);
void JoinRgb8(uint8_t* out, const uint8_t* r, const uint8_t* g, const uint8_t* b, uint32_t width);
