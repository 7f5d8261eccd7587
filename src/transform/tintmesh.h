// The Tintmesh: the one colour-transform object every pixel goes through. It
// maps pixels of 1, 3 or 4 channels, 8 or 16 bits per channel, to pixels of 1,
// 3 or 4 channels, 8 or 16 bits per channel, in one of two forms:
//   - curve form (lattice flag 0): one 1-D table per channel, n_in = n_out; or,
//     with the lattice flag 1 but one input channel, the single-input form:
//     one table per output channel, all indexed by the one input;
//   - lattice (lattice flag 1, 3 or 4 inputs): a grid of freely spaced sample
//     points per input channel, all output values at each grid point,
//     evaluated by simplex (tetrahedral) interpolation (tintmesh_eval.h).
// This module owns the object, its construction calls (QX...) and every
// derived lookup array; evaluation is in tintmesh_eval.h, the stream format in
// tintmesh_file.h.
//
// Ownership: QXInit creates the object, whoever called it owns it and frees it
// with QXFree (which also frees every array hanging from it). Callers read the
// fields but change them only through the QX calls. A TintmeshHandle
// (tintmesh_eval.h) owns its Tintmesh and its prepared evaluation and is freed
// with QXHandleFree.
//
// Value ranges: table entries 0..255 (precision 1) or 0..65535 (precision 2);
// grid positions in the same unit, strictly increasing, first 0 and last the
// maximum; pixel codes 0..255 (path 1) or 0..65535 (path 2), and 255 / 65535
// land exactly on the last grid point. Ranges are codes of their side's
// current path; an inverted range (low > high) is allowed. Fractions are
// 15-bit fixed point, 0..32768 (32768 = the far grid point of the cell).
//
// Building order (the builders' contract): QXInit; QXSetChanSamples for
// channels 0, 1, 2 (, 3) in ascending order; QXSetDataTableValue for every
// index, the last index last (this finalises the object: every range is full
// again after it); then, at any time, QXSetPhysicalDataPath / QXSetChanRange to
// re-target pixel depths and ranges (they rebuild only the derived arrays).
// On any failure the builder frees the half-built object with QXFree.
//
// No locks: one caller at a time builds, changes or evaluates a Tintmesh.
#pragma once

#include <cstdint>

#include "base/memory.h"
#include "base/status.h"

// Version of the object and of its stream: limits what the object may hold.
//   0: RGB or CMYK in and out, lattice, 8-bit table, 2/3/5/9/17 evenly spaced
//      samples, the same for every input channel;
//   1: as 0, but any colour space except gray on either side;
//   2: any colour space, either form, 8- or 16-bit table, 2..256 samples per
//      channel at any strictly increasing positions.
using TintmeshVersion = int32_t;

// Colour-space codes (the image colour-type codes).
enum : int32_t {
  kQXSpaceRGB = 1,   // 3 channels
  kQXSpaceCMYK = 4,  // 4 channels
  kQXSpaceGray = 5,  // 1 channel
  kQXSpaceLab = 7,   // 3 channels
  kQXSpaceYCC = 8,   // 3 channels
};
// Table precision and data paths: 1 = 8-bit, 2 = 16-bit.
enum : int32_t { kQX8Bit = 1, kQX16Bit = 2 };
// Sides for QXSetPhysicalDataPath / QXSetChanRange.
enum : int32_t { kQXInputSide = 0, kQXOutputSide = 1 };

constexpr int32_t kQXMaxChannels = 4;
constexpr int32_t kQXMaxSamples = 256;
// The fraction of a far grid point (15-bit fixed point).
constexpr int32_t kQXFractionOne = 32768;

// An owned lookup array with its entry count; empty = none.
template <class T>
struct QXArray {
  MemPtr<T[]> data;
  int32_t count = 0;

  T* get() const { return data.get(); }
  explicit operator bool() const { return data != nullptr; }
  void reset() {
    data.reset();
    count = 0;
  }
};

// One input-channel record (always four, the first n_in used).
struct QXInChannel {
  int32_t rangeLow = 0;   // input range, codes of the input path
  int32_t rangeHigh = 255;
  // Grid points along this channel (lattice) or the curve length, full
  // (256 / 65536), in the curve and single-input forms; 1 = not set yet.
  int32_t samples = 1;
  // Grid positions in table units (0..255 or 0..65535); first `samples` used.
  uint16_t positions[kQXMaxSamples] = {};
  // Distance in table entries between neighbouring grid points: n_out for
  // channel 0, stride × samples of the previous channel otherwise.
  int32_t stride = 0;
  // Lattice with a 16-bit input path: the cell of every 16-bit code (65536).
  // Curve and single-input forms: this channel's composed curve with 8-bit
  // results (256 or 65536 entries).
  QXArray<uint8_t> cellLookup;
  // 8-bit input path: table offset (cell × stride) of every input code;
  // 16-bit input path: table offset of every cell number. Lattice only.
  uint32_t cellOffsets[256] = {};
  // Lattice: the fraction (0..32768) of every input code inside its cell, 256
  // or 65536 entries. Curve and single-input forms: this channel's composed
  // curve with 16-bit results (256 or 65536 entries).
  QXArray<uint16_t> fraction;
  // Lattice only: the cell (low 16 bits) and the fraction (high 16 bits) of
  // every input code, 256 or 65536 entries: the lookups above in one load,
  // for the vector kernels (tintmesh_simd.h). The offset is cell × stride.
  QXArray<uint32_t> cellFrac;
};

// One output-channel record (always four, the first n_out used).
struct QXOutChannel {
  int32_t rangeLow = 0;  // output range, codes of the output path
  int32_t rangeHigh = 255;
  // Lattice only: 256 8-bit entries for an 8-bit output path; 65536 16-bit
  // entries for a 16-bit path whose range is not exactly 0..65535, else none.
  QXArray<uint8_t> curve8;
  QXArray<uint16_t> curve16;
};

struct Tintmesh {
  TintmeshVersion version = 2;
  int32_t nIn = 0;            // 1, 3 or 4
  int32_t nOut = 0;           // 1, 3 or 4
  int32_t inSpace = 0;        // colour-space code of the input
  int32_t outSpace = 0;       // colour-space code of the output
  int32_t lattice = 0;        // 0 curve form, 1 lattice (single-input with n_in 1)
  int32_t precision = kQX8Bit;  // table entries: 1 = 8-bit, 2 = 16-bit
  int32_t inPath = kQX8Bit;   // pixel depth of the input: 1 = 8-bit, 2 = 16-bit
  int32_t outPath = kQX8Bit;  // pixel depth of the output
  int32_t interpShift = 15;   // derived from precision and output path
  int32_t interpRound = 16384;
  QXInChannel in[kQXMaxChannels];
  QXOutChannel out[kQXMaxChannels];
  // The data table (allocated by the first QXSetDataTableValue, or by the file
  // reader): table8 for precision 1, table16 for precision 2. `count` entries:
  //   lattice: product of the sample counts × n_out, the n_out values of one
  //     grid point together; grid point (i0, i1, i2[, i3]) starts at
  //     i0·stride0 + i1·stride1 + i2·stride2 [+ i3·stride3];
  //   curve form: full entries per channel, channel after channel;
  //   single-input form: full × n_out entries, interleaved by input code.
  QXArray<uint8_t> table8;
  QXArray<uint16_t> table16;

  Tintmesh() = default;
  Tintmesh(const Tintmesh&) = delete;
  Tintmesh& operator=(const Tintmesh&) = delete;
};

struct QXKernel;

// Handle through which a correction is passed on; owns its Tintmesh and the
// Tintmesh's evaluation, prepared for its current paths (tintmesh_eval.h).
// The fields are copies of the Tintmesh's.
struct TintmeshHandle {
  int32_t nIn = 0;
  int32_t nOut = 0;
  int32_t inSpace = 0;
  int32_t outSpace = 0;
  int32_t precision = 0;
  int32_t inPath = 0;
  int32_t outPath = 0;
  Tintmesh* tintmesh = nullptr;  // owned
  QXKernel* kernel = nullptr;    // owned; null when the Tintmesh cannot be evaluated
};

// Creates a Tintmesh after checking, in this order: a place for the result,
// lattice flag 0/1 and version 0..2 (-1); curve form with n_in != n_out or
// different codes (-1); what the version allows (-9, precision -1); codes
// against channel counts (-1). The new object has 8-bit paths, full 8-bit
// ranges, unset channels (samples 1) and no table; a lattice gets identity
// 8-bit output curves. -3 when out of memory. On failure *result is untouched.
Status QXInit(Tintmesh** result, int32_t nIn, int32_t nOut, int32_t inSpace, int32_t outSpace,
              int32_t lattice, TintmeshVersion version, int32_t precision);

// Frees the Tintmesh and every array it owns and sets *tintmesh to null. A
// null reference or a reference to null does nothing. Always 0.
Status QXFree(Tintmesh** tintmesh);

// Sets the grid along input channel `channel` (0..n_in-1). Curve and
// single-input forms: only sets the channel's sample count to full (positions
// are ignored, pass null). Lattice: `count` positions (2..256) in table units,
// strictly increasing, first 0, last 255 / 65535; versions 0 and 1 need a
// count of 2, 3, 5, 9 or 17 equal on every channel (else -9) and overwrite
// `positions` with the even spacing 0, step, 2·step, ..., 255. Set channels in
// ascending order (each stride depends on the previous channel). A changed
// count once the data table exists is refused (-1). On failure the channel is
// as it was.
Status QXSetChanSamples(Tintmesh* tintmesh, int32_t channel, int32_t count, uint16_t* positions);

// Stores the n_out values of one table index: a grid-point number for a
// lattice (0 .. product of sample counts - 1, channel 0 fastest), a curve
// index (0 .. full - 1) otherwise. Values are 0..255 for precision 1 (a larger
// value is -1) and 0..65535 for precision 2. The table is allocated on first
// use (-3). Writing the last index finalises the object: both data paths are
// applied again (every range becomes full) and every range rebuilt; the first
// failure is returned. Entries may come in any order; the last index last.
Status QXSetDataTableValue(Tintmesh* tintmesh, int32_t index, const uint16_t* values);
// Every index at once: `count` indexes (the whole table) of n_out values in
// index order, as QXSetDataTableValue would store them one by one; a bad
// count or value (-1) stores nothing.
Status QXSetDataTableValues(Tintmesh* tintmesh, int64_t count, const uint16_t* values);

// Sets the pixel depth of one side (0 input, 1 output) to `depth` (1 8-bit, 2
// 16-bit), resets that side's ranges to full and rebuilds their derived
// arrays; the output side also sets the interpolation shift and rounding. A
// curve-form Tintmesh without its table only records the values.
Status QXSetPhysicalDataPath(Tintmesh* tintmesh, int32_t side, int32_t depth);

// Sets the range of one channel of one side (low != high, both codes of the
// side's current path, else -1) and rebuilds what depends on it: lattice input
// tables, a lattice output curve, or the channel's composed curve (in the
// single-input form the input range is that of input channel 0 and applies to
// every output channel). -2 when a lattice channel's grid is not set yet.
Status QXSetChanRange(Tintmesh* tintmesh, int32_t side, int32_t channel, int32_t low, int32_t high);

// 0 when the Tintmesh satisfies every invariant of its form, version,
// precision and paths (grids, table size, strides, lookup arrays), else -1.
Status QXValidate(const Tintmesh* tintmesh);

// The two rounded linear maps of the engine (exact integer arithmetic).
// QXNormalize16: (|x − low|·65535 + d/2) / d with d = |high − low|: 0 at
// x = low, 65535 at x = high, x clamped between them; -1 when low = high and
// x != low.
int32_t QXNormalize16(int32_t low, int32_t x, int32_t high);
// QXInterpolate16: t in 0..65535 from low (t = 0) to high (t = 65535), rounded
// half away from zero, clamped to 0..65535.
int32_t QXInterpolate16(int32_t low, int32_t high, int32_t t);

// Sizes that follow from the form: `full` of a curve (256 or 65536 by
// precision) and the number of table entries the current grid needs (0 when
// it cannot be held in a 32-bit index).
int32_t QXFull(const Tintmesh* tintmesh);
int64_t QXTableCount(const Tintmesh* tintmesh);
// True for a lattice (lattice flag 1 and more than one input channel).
bool QXIsLattice(const Tintmesh* tintmesh);

// A deep copy of the whole object (grids, table, paths, ranges and every
// derived array): *copy is a new Tintmesh the caller owns. kBadArg for a
// missing argument, kNoMem.
Status QXCopy(const Tintmesh* tintmesh, Tintmesh** copy);
