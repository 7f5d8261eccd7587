// IPRowEngine: the row engine of the filter stage. It applies the correction
// transform (its own copy of a Tintmesh, set to the rows' depths and ranges
// and its kernel prepared once) and the 5 × 5 unsharp mask
// to one planar row at a time and hands each finished row, in order, to its
// sink.
//
// Modes (IPRowEngineMode): 0 copy, 1 transform, 2 sharpen, 3 transform then
// sharpen, 4 sharpen then transform. Without a transform the mode is 0 or 2,
// with one 1, or 3 / 4 by the order (0 transform first, 1 sharpen first, 2
// automatic: sharpen first when the transform's input is CIE L*a*b* or Photo
// CD colour, else transform first when it has at least as many input as
// output channels). Sharpening is on when the strength is 1..24 and the image
// is more than 4 rows high.
//
// Unsharp mask, strength s, k = 25 − s, window sum S of the 5 × 5 block, centre
// c: out = (25c − ((S·w + 2^14) >> 15) + (k >> 1)) ÷ k with w = (s·2^15 + 12)
// ÷ 25 for 8-bit samples, and (S·w + 2^9) >> 10 with w = (s·2^10 + 12) ÷ 25 for
// 16-bit ones; truncated, clamped to the output range (the input range in
// mode 4). The division is an exact reciprocal multiply. Channel mode −1
// sharpens every channel by itself; mode k adds channel k's change to every
// channel. L*a*b* and Photo CD rows sharpen channel 0 only and replace the
// other two by the rounded 5 × 5 mean. The first two and last two columns and
// rows pass unchanged.
//
// Lag and memory: while sharpening, output row i − 2 follows input row i, the
// last push emits the last three; the engine holds five rows and their
// column sums. The caller pushes exactly `height` rows and the sink receives
// exactly `height`.
//
// Depth: without a transform, rows of another output depth go through a
// table mapping the input range linearly onto the output range (rounded half
// up, clamped). Samples are uint8_t (depth 1) or uint16_t (depth 2).
#pragma once

#include <cstdint>

#include "filters/iprow.h"
#include "base/status.h"
#include "transform/tintmesh.h"

enum : int32_t {
  kIPModeCopy = 0,
  kIPModeTransform = 1,
  kIPModeSharpen = 2,
  kIPModeTransformSharpen = 3,
  kIPModeSharpenTransform = 4,
};

struct IPRowEngineSetup {
  // The correction transform (copied at creation; the caller's is not changed), or null.
  const Tintmesh* transform = nullptr;
  int32_t inLow = 0, inHigh = 255;    // input codes (set on every input channel of the transform)
  int32_t outLow = 0, outHigh = 255;  // output codes
  int32_t strength = 0;               // 0..24, 0 = no sharpening
  int32_t channelMode = -1;           // -1..3
  int32_t order = 2;                  // 0..2
  int32_t width = 0, height = 0;
  int32_t inDepth = 1, outDepth = 1;  // bytes per sample
  IPRowSink sink = nullptr;
  void* sinkContext = nullptr;
  // The rows without a transform (with one, its channel counts and colour
  // spaces rule): 1..4 channels of this colour type.
  int32_t channels = 3;
  int32_t colorType = 1;
};

struct IPRowEngine;

// kBadArg: strength outside 0..24, channel mode outside −1..3 (or naming a
// channel the sharpened rows lack), order outside 0..2, width or height below
// 1, a depth other than 1 or 2, no sink, a transform with an input or output
// range whose ends are equal, or a depth change without a transform from an
// input range whose ends are equal; kBadArg for a transform that is not whole
// (QXValidate) or cannot be evaluated; kNoMem. *engine is set only on success.
Status IPRowEngineCreate(const IPRowEngineSetup& setup, IPRowEngine** engine);

// Takes the next input row (the engine copies what it keeps). kBadArg after
// `height` rows or for a missing plane; the sink's failure stops the row and
// is returned, and every later push returns it again.
Status IPRowEnginePush(IPRowEngine* engine, const IPRow& row);

// Frees the engine and its transform; null does nothing. Always 0.
Status IPRowEngineFree(IPRowEngine** engine);

// The mode chosen at creation.
int32_t IPRowEngineMode(const IPRowEngine* engine);

// IPRowEnginePush in the form of a sink (context: the engine), so a stage
// before it (the noise filter) can feed it.
Status IPRowEngineSink(void* engine, int32_t row, const IPRow& planes);
