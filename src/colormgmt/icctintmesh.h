// Sampling a system colour transform (iccxform.h) into a Tintmesh: the
// service is never called per pixel of an image; its transform is evaluated
// once on a regular RGB grid and the samples become a 3-in, 3-out RGB lattice
// (version 2) that the Tintmesh evaluates per pixel. Two such Tintmeshes
// exist in the application: the monitor transform (working space to monitor,
// 8-bit) and the input transform of the open image (its input profile to the
// working space, 8- or 16-bit like the image).
//
// Grid: index 0..7 into 7, 9, 11, 15, 17, 23, 27, 33 points per channel, the
// same positions on every channel. Position k is the integer part of
// ratio × max + 0.5 with the ratio k / (n − 1) held as a 32-bit float and max
// 255 (precision 1) or 65535 (precision 2), so a few positions lie one below
// the exactly rounded value (7 points, 8-bit: 0 43 85 128 170 212 255).
//
// Values: precision 2 passes positions to the service as they are and
// stores its 16-bit results; precision 1 passes each position p as p × 257
// (255 → 65535) and stores round(v / 257). Grid points are translated in
// batches (one service call per plane of the blue channel). The caller owns
// the Tintmesh it receives and frees it with QXFree.
#pragma once

#include <cstdint>
#include <string>

#include "base/status.h"
#include "transform/tintmesh.h"

constexpr int32_t kGridSizeCount = 8;
constexpr int32_t kGridSizes[kGridSizeCount] = {7, 9, 11, 15, 17, 23, 27, 33};
constexpr int32_t kDefaultGridIndex = 7;  // 33 points
// Whether a grid index names a grid (0..7).
constexpr bool IsGridIndex(int32_t gridIndex) { return gridIndex >= 0 && gridIndex < kGridSizeCount; }
// The grid index itself, or the default one when it names no grid.
constexpr int32_t UsableGridIndex(int32_t gridIndex) { return IsGridIndex(gridIndex) ? gridIndex : kDefaultGridIndex; }
constexpr int32_t kMaxGridSize = 33;

// The grid positions of index `gridIndex` for `precision` (kQX8Bit or
// kQX16Bit) into positions[0 .. count − 1]; kBadArg for another index or
// precision.
Status ICCGridPositions(int32_t gridIndex, int32_t precision, uint16_t positions[kMaxGridSize], int32_t* count);

// A stored grid-size index outside 0..7 becomes 7 (kUnsupported returned).
Status CheckGridIndex(int32_t& gridIndex);

// Builds an RGB-to-RGB Tintmesh from `source` to `destination` by sampling.
// kBadArg for another precision or index or a missing argument; the status of
// Ui_ICC_XformMakeSrcToDst when the transform cannot be made; kSysErr for a
// failed translation; the QX call's status otherwise (the half-built
// Tintmesh is freed). Every failing step is logged with its name.
Status Ui_ICC_MakeTintmeshSrcToDst(const std::string& source, const std::string& destination, int32_t precision,
                                   int32_t gridIndex, Tintmesh** result);

// The same against the monitor profile, always precision 1 (8-bit). Failing
// steps are logged as "Ui_ICC_XformMakeSrcToMon status = %d", "QXInit status
// = %d", "QXSetChanSamples status = %d", "Ui_ICC_XformRgbColors status = %d",
// "QXSetDataTableValue status = %d" and "QXSetPhysicalDataPath status = %d".
Status Ui_ICC_MakeTintmeshSrcToMon(const std::string& source, int32_t gridIndex, Tintmesh** result);

// "making input QX", run when an image is read: frees *inputQX, then, unless
// the input profile path is empty or equals the working-space profile path
// byte for byte, samples the input profile into the working space with
// precision 1 when maxValue < 256 and 2 otherwise. A failure is reported
// with the phrase "making input QX" and returned; the image then goes on
// without an input transform (*inputQX null).
Status MakeInputTransform(const std::string& inputProfile, const std::string& workingSpaceProfile, int32_t maxValue,
                          int32_t gridIndex, Tintmesh** inputQX);
