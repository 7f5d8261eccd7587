// The format table and what the format modules share: one entry per format
// code with the module's operations, the failure note, the input slots the
// read opens fill, and small stream helpers. Only the framework and the
// format modules include this header.
//
// Module contract
// - open(image): image.file is allocated with path and mode set and the stream
//   closed. The module opens the stream, checks the signature (setting
//   file->recognised once the file is its own), allocates file->module and,
//   reading, fills width, height, channels, colorType, resolution and format;
//   writing, it writes the header from the record. On failure it leaves the
//   stream closed (a writer also deletes the partial file); the framework
//   frees the file state.
// - query(image): as a read open, but only as far as the description (JPEG);
//   null when the read open is cheap enough.
// - readSl / writeSl: the framework has checked the record is open in the
//   right mode, the line is inside the image and the scanline has a plane of
//   the image's depth and width for every channel.
// - close(image): releases file->module and closes the stream.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "imagefile/ras.h"
#include "shell/memory.h"

struct RasModule {
  int32_t format;
  const char* name;
  Status (*open)(RasImage& image);
  Status (*query)(RasImage& image);
  Status (*readSl)(RasImage& image, uint32_t line, RasScanline& sl);
  Status (*writeSl)(RasImage& image, uint32_t line, const RasScanline& sl);
  Status (*close)(RasImage& image);
};

// The table entry for a format code; null for a code outside 1..11. An entry
// whose open is null has no module yet.
const RasModule* RasFindModule(int32_t format);

// Records why an operation failed (printf form) in RasLastFailure() and the
// diagnostics log; returns `status`.
Status RasFail(Status status, const char* format, ...) __attribute__((format(printf, 2, 3)));
void RasClearFailure();
// Records something wrong with the file being read that it can be read in
// spite of (printf form), in RasLastWarning() and the diagnostics log.
void RasWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Input slots, filled by read opens. The slot takes the block.
void RasPutInProfile(MemPtr<uint8_t[]> bytes, uint32_t size);
void RasPutInExif(MemPtr<uint8_t[]> block, uint32_t size);
// The output slots as writers embed them: a profile's length is the smaller
// of its size field and the bytes stored; an EXIF block's data excludes the
// four length bytes. Null and 0 when empty.
void RasOutProfile(const uint8_t** data, uint32_t* size);
void RasOutExifData(const uint8_t** data, uint32_t* size);

// The size of the open stream's file (the stream position is kept).
Status RasStreamSize(Stream& s, int64_t& size);
// Seeks to an absolute position only when the stream is elsewhere.
Status RasSeekTo(Stream& s, int64_t position);
// Opens the file state's stream for a writer: the file is created exclusively
// and without following a link; an existing file is taken only when it is
// this user's own regular file with no other hard link (then truncated), or
// a character device. kOpenErr otherwise.
Status RasCreateOutput(RasFileState& fs);
// Closes a writer's stream after a failed open and deletes the partial file.
void RasAbandonOutput(RasFileState& fs);
// Creates the writer's file and writes its header; on a failed write the
// partial file is removed and the failure names the format ("the BMP header").
Status RasCreateOutputWithHeader(RasFileState& fs, const void* header, size_t size, const char* formatName);
// A module's open: the read or the write side by the file state's mode; a
// failed read open closes the stream it was given.
Status RasOpenByMode(RasImage& image, Status (*openRead)(RasImage&), Status (*openWrite)(RasImage&));
