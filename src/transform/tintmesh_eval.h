// Tintmesh evaluation: QXEvaluate applies a finished Tintmesh (tintmesh.h) to
// a run of pixels. It is the one per-pixel colour path: a kernel is chosen
// from the form, the table precision, the data paths and the channel counts,
// then runs a fixed-point loop with no allocation, no division and no
// floating point. The Tintmesh is never changed; the caller owns the pixel
// buffers.
//
// Prepared evaluation: QXEvaluate checks the Tintmesh and chooses its kernel
// at every call. A QXKernel does that once (as a colour engine chooses its
// interpolator when the transform is built) and is then run on any number of
// pixel runs: one indirect call per run and the loop. It refers to the
// Tintmesh's arrays, so the Tintmesh must outlive it and stay unchanged
// (after QXSetPhysicalDataPath or QXSetChanRange, prepare again). A
// TintmeshHandle holds its Tintmesh's kernel, prepared at every change of
// path, so evaluating through the handle costs no check per call.
// Three-input lattices run the vector kernel of the processor's level,
// chosen once at start (tintmesh_simd.h), with the same result as the plain
// kernels.
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

#include "base/status.h"
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

// Prepares the evaluation of a Tintmesh: kBadArg where QXEvaluate would refuse
// the Tintmesh itself; kNoMem. *kernel is set only on success.
Status QXKernelCreate(const Tintmesh* tintmesh, QXKernel** kernel);
// Frees the kernel and clears *kernel (null does nothing).
void QXKernelFree(QXKernel** kernel);
// Runs a prepared kernel over `count` pixels (0 or more) with no check at
// all: the used channel pointers must be set, as for QXEvaluate.
void QXKernelRun(const QXKernel* kernel, int32_t count, const QXChannelPtrs& in, int32_t inStep,
                 const QXChannelPtrs& out, int32_t outStep);

// ---- handles ------------------------------------------------------------------
// QXHandleCreate takes ownership of *tintmesh (cleared on success), copies its
// fields into a new handle and prepares its evaluation (a Tintmesh that
// cannot be evaluated still makes a handle, whose evaluation answers -1).
Status QXHandleCreate(Tintmesh** tintmesh, TintmeshHandle** handle);
// QXSetPhysicalDataPath on the handle's Tintmesh, then the new path is copied
// into the handle and the evaluation prepared again. -1 when the handle or
// its Tintmesh is missing.
Status QXHandleSetDataPath(TintmeshHandle* handle, int32_t side, int32_t depth);
// Frees the handle's Tintmesh, its kernel and the handle; sets *handle to
// null. Returns QXFree's status (0); a null reference does nothing.
Status QXHandleFree(TintmeshHandle** handle);

// The handle's prepared evaluation; -1 when the handle or its kernel is
// missing, count is negative or a used channel pointer is null.
Status QXHandleEvaluate(const TintmeshHandle* handle, int32_t count, const QXChannelPtrs& in, int32_t inStep,
                        const QXChannelPtrs& out, int32_t outStep);
