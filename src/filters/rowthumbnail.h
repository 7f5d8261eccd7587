// The Batchline thumbnail made from a file's full-size rows while one decode
// hands them over in order, for a caller that reads every row anyway (the
// command line's single decode of an image, decodeonce.h), so that no second,
// reduced decode is needed.
//
// The recipe and the sizes are IPMakeThumbnail's (preview.h): a fast step
// into twice the box, then the filtered step into half the size reached. The
// fast step picks the samples IPMakeThumbnail picks. Where IPMakeThumbnail
// would decode a JPEG at 1/d of its size, the picked reduced sample is the
// exact integer mean of its d × d block of full-size samples (cut at the
// right and bottom edges), rounded half up; every other file gives
// IPMakeThumbnail's thumbnail exactly. Samples of 16-bit rows keep their
// high byte, as in IPMakeThumbnail.
//
// Memory: the sums of the picked blocks (at most twice the box squared per
// channel, 32 bits each) and a few numbers per picked row and column, never
// in proportion to the image; no row is kept. AddRow allocates nothing.
#pragma once

#include <cstdint>

#include "filters/pixelbuffer.h"
#include "filters/preview.h"
#include "imagefile/rasimage.h"
#include "base/memory.h"
#include "base/status.h"

class IPRowThumbnail {
 public:
  // For the rows of `image` (queried or opened with the read's options: its
  // size, channels, colour type, format and depth). kBadArg for an empty
  // image or a box outside 2..2^29; kNoMem.
  Status Prepare(const RasImage& image, int32_t box = kThumbnailBox);
  // Row `y` of the image in the scanline's planes (8- or 16-bit as the image);
  // each row once, in order 0 .. height − 1.
  void AddRow(uint32_t y, const RasScanline& row);
  // The thumbnail (8-bit, the image's channels and colour type), once every
  // row was added; kBadArg before Prepare; kNoMem.
  Status Finish(PixelBuffer& out) const;

 private:
  int64_t W_ = 0, H_ = 0;
  int32_t channels_ = 0, colorType_ = 0, box_ = 0;
  bool wide_ = false;
  int32_t denom_ = 1;              // full-size samples per picked sample, each way
  int32_t w_ = 0, h_ = 0;          // the fast step's size
  MemPtr<int64_t[]> column_;       // per fast column: the first full-size sample of its block
  MemPtr<int32_t[]> slotOfRow_;    // per fast row: its block row's slot in sums_
  MemPtr<int64_t[]> block_;        // per slot: its block row (full-size row ÷ denom), increasing
  int32_t slots_ = 0, next_ = 0;   // slots used; the first slot whose block row AddRow has not passed
  MemPtr<uint32_t[]> sums_;        // per slot, channel and fast column: the block's sum
};
