// FullResImage: the open image at full resolution for the editing view's
// 100 % and 200 % zoom, in the working space (the file's rows through the
// input transform, as a save reads them), decoded band by band as the view
// needs it and kept for the rest of the image's time in the window.
//
// Layout: one interleaved RGB block of the file's size at the image's depth
// (1 or 2 bytes per sample), allocated at the first Ensure; rows of a band of
// kFullResBand rows are valid once the band was decoded. A region of valid
// rows is a strided PixelBuffer view into the block (Region), so the view's
// renderer reads it without a copy.
//
// Decoding: the rows a request needs are read in order from the first band
// missing. A JPEG decodes forward only, so its decoder stays open between
// requests and continues where it stopped; going back restarts it, and the
// bands it passes on the way are kept too. Other formats read just the
// missing bands. Long reads show the progress (UiHost) and stop with
// kCancelled, leaving the bands read so far.
//
// Limits: an image whose block would exceed kFullResMaxBytes is refused
// (kNoMem), as is one that is not 3-channel RGB of the size the session
// found (kFormatErr: the file changed). Nothing here reports: the caller
// does, with its context. Plain C++ (no Qt): the benchmark drives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/memory.h"
#include "base/status.h"
#include "filters/pixelbuffer.h"
#include "imagefile/ras.h"
#include "transform/tintmesh.h"

constexpr int32_t kFullResBand = 64;
constexpr int64_t kFullResMaxBytes = int64_t(1536) << 20;

class FullResImage {
 public:
  FullResImage() = default;
  FullResImage(const FullResImage&) = delete;
  FullResImage& operator=(const FullResImage&) = delete;
  ~FullResImage();

  // Names the image: its file, the input transform (null: none; it must
  // outlive this object or the next Reset), its size (as shown, upright) and
  // depth. Nothing is read yet. `read`: how the file is read (gray and CMYK
  // as RGB). `orientation`: the file's EXIF orientation; 2..8 turn the
  // image upright, which needs every stored row, so the first Ensure reads
  // the whole file.
  void Reset(const std::string& path, const Tintmesh* inputQX, int32_t width, int32_t height, int32_t depth,
             const ReadOptions& read = {}, int32_t orientation = 1);
  // Forgets everything (block, bands, open decoder).
  void Clear();
  bool Named() const { return width_ > 0; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t Depth() const { return depth_; }

  // Makes rows [y0, y1) valid (clamped to the image). The progress text is
  // shown for reads that take long.
  Status Ensure(int32_t y0, int32_t y1, const std::string& progressText = std::string());
  bool RowsValid(int32_t y0, int32_t y1) const;
  // A view of the columns [x0, x1) and rows [y0, y1) (clamped); the rows
  // must be valid. kBadArg for an empty or invalid region.
  Status Region(int32_t x0, int32_t y0, int32_t x1, int32_t y1, PixelBuffer* view) const;

 private:
  Status Allocate();
  Status ReadRows(int32_t from, int32_t to, const std::string& progressText);
  void StoreRow(int32_t y);
  void StoreTurnedRow(int32_t y);
  bool Turned() const { return orientation_ >= 2 && orientation_ <= 8; }
  bool Sequential() const { return format_ == kRasJpeg; }

  std::string path_;
  ReadOptions read_;
  const Tintmesh* inputQX_ = nullptr;
  int32_t width_ = 0, height_ = 0, depth_ = 1;
  int32_t orientation_ = 1;
  int32_t storedWidth_ = 0, storedHeight_ = 0;  // the file's own rows and columns
  int32_t format_ = 0;
  MemPtr<uint8_t[]> block_;
  std::vector<uint8_t> bandValid_;
  // The open file, while a JPEG's decoder may go on (next row to decode).
  RasImage file_;
  RasScanline sl_;
  int32_t nextRow_ = 0;
};
