// The Tintmesh stream: a Tintmesh (tintmesh.h) written to a disk file
// (extension "qx") or to a caller's memory block, and read back. The stream is
// also the contract between the correction engine and the filter stage, which
// pass the correction through a memory block.
//
// Layout (big-endian, every byte combined with the keystream):
//   header, 128 bytes: 0x13 0x35, n_in, n_out, one grid byte per input
//     channel 0-3, version, input and output colour-space codes (versions 1
//     and 2), lattice flag (version 2), table precision flag twice (0 8-bit,
//     1 16-bit), 114 zero bytes. Grid bytes: versions 0 and 1 the exponent e
//     of the sample count 2^e + 1; version 2 the count itself, 0 for 256.
//   grid positions (version 2 lattices only): per input channel, its sample
//     count positions, 1 or 2 bytes each by precision;
//   data table: the in-memory layout of tintmesh.h, 1 or 2 bytes per entry.
// Data paths, ranges and derived arrays are not stored: a Tintmesh read back
// has 8-bit paths and full ranges.
//
// Ownership: QXWriteFile never changes the Tintmesh. QXReadFile hands a new
// Tintmesh to the caller (freed with QXFree) and on failure returns nothing
// and leaves nothing allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/status.h"
#include "base/stream.h"
#include "transform/tintmesh.h"

constexpr int32_t kQXHeaderSize = 128;
constexpr int32_t kQXKeystreamSeed = 7319;

// The keystream: the minimal standard generator (16807 × s mod 2^31 − 1),
// stepped once per byte; each byte is exclusive-ored with the low 8 bits of
// the new state. Applying it twice from the same seed restores the bytes. The
// state runs on across calls.
struct QXKeystream {
  int32_t state = kQXKeystreamSeed;
  void Apply(uint8_t* bytes, size_t count);
};

// Writes the Tintmesh. -1 when it is missing or fails QXValidate (nothing
// written); -4 when the stream cannot be opened for writing; -6 when the
// header cannot be written; a failed write of positions or table returns that
// write's status; a file that cannot be replaced gives AtomicFile's status.
// A file is written whole beside its name and renamed over it, so a failure
// leaves the file that was there as it was.
Status QXWriteFile(const Tintmesh* tintmesh, const StreamLocation& where);

// Reads a stream into a new Tintmesh (*result set only on success). -1 for a
// missing result; the open status; -5 for a short stream (checked before the
// table is allocated); -8 for any header check; QXInit's and
// QXSetChanSamples's refusals; -3 out of memory; -1 when the loaded Tintmesh
// fails QXValidate.
Status QXReadFile(Tintmesh** result, const StreamLocation& where);
