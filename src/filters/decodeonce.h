// One decode of an image file for the command line's add and save of one
// image: every row is read once, in order, handed to the analysis thumbnail
// (rowthumbnail.h), and kept in memory when the rows fit the caller's budget,
// so that the save reads them from there instead of decoding the file again.
// When they do not fit, the save decodes the file a second time; the
// thumbnail is made from the same rows either way, so whether the rows were
// kept never changes a pixel of the thumbnail or of the saved image.
//
// Ownership: HeldImage owns its block of rows (guarded memory) and the record
// of the file as its read open described it (closed; its metadata
// included). The save that reads the rows may change them in place: they
// serve one save. The block outlives the rows: the next decode into the same
// HeldImage reuses it when it is large enough, so its pages stay mapped from
// image to image (filling fresh pages costs as much as a reduced decode).
#pragma once

#include <cstdint>
#include <string>

#include "filters/rowthumbnail.h"
#include "imagefile/rasimage.h"
#include "base/memory.h"
#include "base/status.h"

struct HeldImage {
  RasImage image;            // as the read open left it, closed
  MemPtr<uint8_t[]> block;   // row y, channel c at ((y × channels + c) × width) samples
  int64_t capacity = 0;      // bytes of the block
  bool held = false;         // the block holds the rows of `image`
  int32_t bytesPerSample = 1;

  bool Held() const { return held; }
  // Channel c of row y (8- or 16-bit samples as bytesPerSample says).
  void* Row(uint32_t y, int32_t c) const {
    return block.get() + (((int64_t)y * image.channels + c) * image.width) * bytesPerSample;
  }
  // Forgets the rows (the block stays for the next decode).
  void Drop() { held = false; }
  // Frees the block too.
  void Free() {
    held = false;
    block.reset();
    capacity = 0;
  }
};

// The bytes the rows of `image` take in memory (INT64_MAX beyond 63 bits).
int64_t HeldImageBytes(const RasImage& image);

// Reads every row of `path` (with `read`; a JPEG at its full size) into
// `thumbnail` (prepared here for the file) and, when they take at most
// `holdBytes` bytes and the memory is there, into `held`. The file's status
// on failure (its reason through RasLastFailure / RasWithReason), kBadArg,
// kNoMem; `held` then keeps no rows.
Status IPDecodeOnce(const std::string& path, const ReadOptions& read, int64_t holdBytes, IPRowThumbnail& thumbnail,
                    HeldImage& held);
