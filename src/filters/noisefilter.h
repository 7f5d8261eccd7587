// IPNoiseFilter: the adaptive noise filter ("Remove Noise"). Each sample is
// replaced by the median of the nearby samples of its channel that lie within
// a threshold of it, over a neighbourhood of the channel's radius. RGB rows
// are filtered in a luminance/chrominance form when asked (the save stage and
// the preview always ask), so the defaults (radii 0, 8, 4) leave the
// luminance alone and smooth only the colour noise.
//
// Fixed point: samples are held as signed 32-bit values with 2^14 per unit
// (Y = 4899 R + 9617 G + 1868 B, U = −2425 R − 4735 G + 7160 B,
// V = 10076 R − 8438 G − 1638 B, or each channel × 2^14); 16-bit samples are
// used as they are. Thresholds become threshold × 2^14 (× 257 for 16-bit).
// The way back is exact integer arithmetic (integer divisions by constants).
//
// Neighbourhoods: 33 × 33 masks, radius r ≤ 16 (n = 2r + 1 cells a side):
// 0 square, 1 disc, 2 diamond, 3 cross, 4 random sparse disc, 5 none (a walk
// along the eight directions that stops at the first sample out of range).
// The sparse disc comes from the minimal standard generator seeded with
// 1928274 for every filter (so the same image filters the same way), and with
// shape 4 every channel's mask turns by a random symmetry of the square after
// every output row.
//
// Streaming: a ring of 2R + 1 rows per channel (R the largest radius), each
// padded by R repeated edge samples on both sides; rows above the first and
// below the last repeat them. Output row y follows input row y + R; the last
// push emits the rest. The caller pushes exactly `height` rows and the sink
// receives exactly `height`, in order.
#pragma once

#include <cstdint>

#include "filters/iprow.h"
#include "base/status.h"
#include "correct/tavelinpars.h"

constexpr int32_t kIPNoiseSeed = 1928274;
constexpr int32_t kIPNoiseMaxRadius = 16;
constexpr int32_t kIPNoiseMaskSide = 33;

enum : int32_t {
  kIPShapeSquare = 0,
  kIPShapeDisc = 1,
  kIPShapeDiamond = 2,
  kIPShapeCross = 3,
  kIPShapeSparseDisc = 4,
  kIPShapeWalk = 5,
};

struct IPNoiseSetup {
  int32_t width = 0, height = 0;
  int32_t colorType = 1;  // 1 RGB (3 channels), 7 L*a*b* (3), 4 CMYK (4), 5 gray (1)
  int32_t channels = 3;
  bool lumaChroma = true;               // RGB only: filter Y, U, V instead of R, G, B
  // 0 = channel passed; else up to 16 (at least 3 with shape 4); the record's defaults.
  int32_t radius[4] = {kNoiseRadiusDefault[0], kNoiseRadiusDefault[1], kNoiseRadiusDefault[2], kNoiseRadiusDefault[3]};
  // In 8-bit sample units, 0..65535.
  int32_t threshold[4] = {kNoiseThresholdDefault[0], kNoiseThresholdDefault[1], kNoiseThresholdDefault[2],
                          kNoiseThresholdDefault[3]};
  int32_t shape = kIPShapeSparseDisc;
  int32_t depth = 1;  // bytes per sample, in and out
  IPRowSink sink = nullptr;
  void* sinkContext = nullptr;
};

struct IPNoiseFilter;

// kBadArg: width or height below 1, channels outside 1..4 or not those of the
// colour type, another colour type, a shape outside 0..5, a radius outside
// 0..16 (or 1..2 with shape 4), a threshold outside 0..65535, a depth other
// than 1 or 2, no sink. kNoMem. *filter is set only on success.
Status IPNoiseFilterCreate(const IPNoiseSetup& setup, IPNoiseFilter** filter);
// Takes the next input row (copied into the ring). kBadArg after `height`
// rows or for a missing plane; the sink's failure is returned, then again by
// every later push.
Status IPNoiseFilterPush(IPNoiseFilter* filter, const IPRow& row);
// Frees the filter; null does nothing. Always 0.
Status IPNoiseFilterFree(IPNoiseFilter** filter);

// ---- The pieces, for the filter and its tests ---------------------------------
// One step of the minimal standard generator (16807 × s mod 2^31 − 1, by
// Schrage's decomposition); the new state is also the value.
int32_t IPNoiseNext(int32_t& state);

// A neighbourhood mask: cell (x, y), 0 ≤ x, y < side, set or not; the centre
// is (radius, radius).
struct IPNoiseMask {
  int32_t radius = 0;
  int32_t side = 1;
  uint8_t cell[kIPNoiseMaskSide][kIPNoiseMaskSide] = {};  // [y][x]
};

// Builds the mask of a shape and radius (shape 4 draws from `state`).
// kBadArg for a shape outside 0..5 or a radius outside 0..16.
Status IPNoiseMakeMask(int32_t shape, int32_t radius, int32_t& state, IPNoiseMask& mask);

// Replaces the mask by a symmetry of the square: 0 transpose, 1 quarter-turn
// clockwise, 2 left–right mirror, 3 quarter-turn anticlockwise, 4 top–bottom
// mirror, 5 anti-transpose, 6 half-turn.
void IPNoiseTurnMask(IPNoiseMask& mask, int32_t symmetry);
