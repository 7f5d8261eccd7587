// Tintmesh evaluation: QXEvaluate applies a finished Tintmesh (tintmesh.h) to
// a run of pixels. It is the one per-pixel colour path: the kernel is chosen
// once per call from the form, the table precision, the data paths and the
// channel counts, then runs a fixed-point loop with no allocation, no
// division and no floating point. Three-input lattices run the vector kernel
// of the processor's level, chosen once at start (tintmesh_simd.h), with the
// same result as the plain kernels. The Tintmesh is never changed; the caller
// owns the pixel buffers.
//
// Pixel runs: QXChannelPtrs holds one start pointer per channel, in channel
// order (R, G, B[, fourth]); only the first n_in (input) or n_out (output)
// are used. Each points at 8-bit samples (uint8_t) for a path of 1 and at
// 16-bit samples (uint16_t, native byte order) for a path of 2. The step is
// the distance between two pixels' samples of one channel, counted in samples:
// 1 for planar buffers, the channel count for interleaved ones (pointers then
// set to consecutive samples of the first pixel). Any step is allowed,
// negative ones included; the kernels read and write only the samples the
// run names.
//
// In place: input and output may be the same buffers in the same channel
// order. Lattice kernels read every input sample of a pixel before writing
// it; curve kernels read channel c before writing channel c. Single-input
// kernels read input channel 0 for every output channel, so their outputs
// must not overlap input channel 0.
#pragma once

#include <cstdint>

#include "shell/status.h"
#include "transform/tintmesh.h"

struct QXChannelPtrs {
  void* chan[kQXMaxChannels] = {};
};

// Transforms `count` pixels (0 does nothing) and returns 0. -1 when the
// Tintmesh is missing, its channel counts are outside what QXInit allows, it
// is not complete (data table or a derived array missing, inconsistent grid),
// a used channel pointer is null, or count is negative.
Status QXEvaluate(const Tintmesh* tintmesh, int32_t count, const QXChannelPtrs& in, int32_t inStep,
                  const QXChannelPtrs& out, int32_t outStep);

// QXEvaluate on the handle's Tintmesh; -1 when the handle or its Tintmesh is missing.
Status QXHandleEvaluate(const TintmeshHandle* handle, int32_t count, const QXChannelPtrs& in, int32_t inStep,
                        const QXChannelPtrs& out, int32_t outStep);
