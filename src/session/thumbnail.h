// Thumbnail: the 8-bit RGB pixel map that the Batchline shows for every
// entry and that job records store twice (original and corrected). Rows run
// from top to bottom; each pixel is three bytes in the order blue, green,
// red; each row is padded to `rowStep` = width × 3 rounded up to a multiple
// of 4. The channel pointers are red = data + 2, green = data + 1, blue = data
// with a pixel step of 3.
//
// Invariants of a made thumbnail: 1 <= width, height <= kThumbnailMaxSide,
// pixelStep 3, rowStep as above, dataSize = height × rowStep, and `data`
// owns dataSize bytes of guarded memory (freed with the Thumbnail). An empty
// Thumbnail has no data and dataSize 0.
#pragma once

#include <cstdint>

#include "base/pixelview.h"
#include "base/memory.h"
#include "base/status.h"
#include "transform/tintmesh.h"

constexpr uint32_t kThumbnailMaxSide = 180;
constexpr uint32_t kThumbnailHeaderSize = 20;  // D, width, height, pixel step, row step

struct Thumbnail {
  uint32_t dataSize = 0;  // D
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t pixelStep = 3;
  uint32_t rowStep = 0;
  MemPtr<uint8_t[]> data;

  bool Empty() const { return !data; }
  uint8_t* Red() const { return data.get() + 2; }
  uint8_t* Green() const { return data.get() + 1; }
  uint8_t* Blue() const { return data.get(); }
};

// width × 3 rounded up to a multiple of 4.
constexpr uint32_t ThumbnailRowStep(uint32_t width) { return (width * 3 + 3) & ~3u; }

// A new thumbnail of that size, all pixels black. kBadArg for a side outside
// 1..kThumbnailMaxSide, kNoMem. *thumb is replaced only on success.
Status MakeThumbnail(uint32_t width, uint32_t height, Thumbnail* thumb);
// A deep copy; kBadArg for an empty source.
Status CopyThumbnail(const Thumbnail& from, Thumbnail* to);
// Fills a thumbnail from interleaved 8-bit RGB rows (`rgbRowBytes` apart),
// converting to the blue-green-red order. Sizes as MakeThumbnail.
Status ThumbnailFromRgb(const uint8_t* rgb, uint32_t width, uint32_t height, int64_t rgbRowBytes, Thumbnail* thumb);
// 0 when the five numbers agree with each other and with the data block.
Status CheckThumbnail(const Thumbnail& thumb);

// A view of the pixels for the tools that read rasters (Brivio, marking).
RasterView ThumbnailView(const Thumbnail& thumb);

// Runs every row through a Tintmesh with three 8-bit inputs and three 8-bit
// outputs, in place. kBadArg for another kind of Tintmesh or an invalid
// thumbnail; the evaluation's status otherwise.
Status TransformThumbnail(const Tintmesh* tintmesh, Thumbnail* thumb);
