#include "ui/fullres.h"

#include <algorithm>
#include <cstring>

#include "base/uihost.h"
#include "filters/preview.h"
#include "transform/tintmesh_eval.h"

FullResImage::~FullResImage() { Clear(); }

void FullResImage::Reset(const std::string& path, const Tintmesh* inputQX, int32_t width, int32_t height,
                         int32_t depth, const ReadOptions& read, int32_t orientation) {
  Clear();
  path_ = path;
  read_ = read;
  inputQX_ = inputQX;
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  depth_ = depth == 2 ? 2 : 1;
  orientation_ = orientation;
  const bool swap = IPOrientSwaps(orientation);
  storedWidth_ = swap ? height_ : width_;
  storedHeight_ = swap ? width_ : height_;
}

void FullResImage::Clear() {
  if (file_.file) RasClose(file_);
  RasFreeSl(sl_);
  block_.reset();
  bandValid_.clear();
  path_.clear();
  inputQX_ = nullptr;
  width_ = height_ = 0;
  orientation_ = 1;
  storedWidth_ = storedHeight_ = 0;
  format_ = 0;
  nextRow_ = 0;
}

Status FullResImage::Allocate() {
  if (block_) return kOk;
  const int64_t bytes = (int64_t)width_ * height_ * 3 * depth_;
  if (bytes <= 0) return kBadArg;
  if (bytes > kFullResMaxBytes) return kNoMem;
  block_ = MemNewArray<uint8_t>((size_t)bytes, false);
  if (!block_) return kNoMem;
  bandValid_.assign((size_t)((height_ + kFullResBand - 1) / kFullResBand), 0);
  return kOk;
}

bool FullResImage::RowsValid(int32_t y0, int32_t y1) const {
  y0 = std::max(y0, 0);
  y1 = std::min(y1, height_);
  if (!block_ || y0 >= y1) return block_ && y0 >= y1;
  for (int32_t b = y0 / kFullResBand; b <= (y1 - 1) / kFullResBand; ++b)
    if (!bandValid_[(size_t)b]) return false;
  return true;
}

// The row just read into the block, through the input transform.
void FullResImage::StoreRow(int32_t y) {
  const int64_t rowSamples = (int64_t)width_ * 3;
  if (depth_ == 1) {
    uint8_t* out = block_.get() + rowSamples * y;
    for (int32_t x = 0; x < width_; ++x) {
      out[3 * x] = sl_.plane8[0][x];
      out[3 * x + 1] = sl_.plane8[1][x];
      out[3 * x + 2] = sl_.plane8[2][x];
    }
  } else {
    uint16_t* out = reinterpret_cast<uint16_t*>(block_.get()) + rowSamples * y;
    for (int32_t x = 0; x < width_; ++x) {
      out[3 * x] = sl_.plane16[0][x];
      out[3 * x + 1] = sl_.plane16[1][x];
      out[3 * x + 2] = sl_.plane16[2][x];
    }
  }
  if (inputQX_) {
    QXChannelPtrs row;
    uint8_t* base = block_.get() + rowSamples * y * depth_;
    for (int c = 0; c < 3; ++c) row.chan[c] = base + c * depth_;
    QXEvaluate(inputQX_, width_, row, 3, row, 3);
  }
}

// Stored row y, through the input transform, to where its pixels stand upright.
void FullResImage::StoreTurnedRow(int32_t y) {
  if (inputQX_) {
    QXChannelPtrs row;
    for (int c = 0; c < 3; ++c) row.chan[c] = depth_ == 1 ? (void*)sl_.plane8[c] : (void*)sl_.plane16[c];
    QXEvaluate(inputQX_, storedWidth_, row, 1, row, 1);
  }
  for (int32_t sx = 0; sx < storedWidth_; ++sx) {
    int32_t x, ty;
    IPOrientPoint(orientation_, storedWidth_, storedHeight_, sx, y, &x, &ty);
    const int64_t at = ((int64_t)ty * width_ + x) * 3;
    for (int c = 0; c < 3; ++c) {
      if (depth_ == 1) block_.get()[at + c] = sl_.plane8[c][sx];
      else reinterpret_cast<uint16_t*>(block_.get())[at + c] = sl_.plane16[c][sx];
    }
  }
}

// Reads rows [from, to) (band-aligned `from`) and marks each band whose rows
// were all read. A turned image is read whole (stored rows 0..end), and all
// its bands become valid together.
Status FullResImage::ReadRows(int32_t from, int32_t to, const std::string& progressText) {
  Status st = kOk;
  if (!file_.file) {
    RasImage query;
    if ((st = RasQuery(path_, query, read_)) != kOk) return st;
    if (query.channels != 3 || query.colorType != kRasRGB || (int32_t)query.width != storedWidth_ ||
        (int32_t)query.height != storedHeight_ || (query.Is16() ? 2 : 1) != depth_)
      return kFormatErr;
    file_ = std::move(query);
    if ((st = RasOpenRead(path_, file_, read_)) != kOk) return st;
    if ((st = RasMakeSl(sl_, file_)) != kOk) return st;
    format_ = file_.format;
    nextRow_ = 0;
  }
  UiHost& host = Ui_GetHost();
  const bool progress = !progressText.empty();
  if (Turned()) {
    if (progress) host.ProgressOpen(progressText, storedHeight_);
    for (int32_t y = 0; y < storedHeight_ && st == kOk; ++y) {
      if ((st = RasReadSl(file_, (uint32_t)y, sl_)) != kOk) break;
      StoreTurnedRow(y);
      if (progress && (y + 1) % kFullResBand == 0) st = host.ProgressStep(y + 1, progressText);
    }
    if (progress) host.ProgressClose();
    if (st == kOk) std::fill(bandValid_.begin(), bandValid_.end(), 1);
    RasClose(file_);
    RasFreeSl(sl_);
    nextRow_ = 0;
    return st;
  }
  if (progress) host.ProgressOpen(progressText, to - from);
  for (int32_t y = from; y < to && st == kOk; ++y) {
    if ((st = RasReadSl(file_, (uint32_t)y, sl_)) != kOk) break;
    nextRow_ = y + 1;
    const int32_t band = y / kFullResBand;
    if (bandValid_[(size_t)band]) continue;  // decoded only to get past it
    StoreRow(y);
    if (y == std::min(height_, (band + 1) * kFullResBand) - 1) {
      bandValid_[(size_t)band] = 1;
      if (progress) st = host.ProgressStep(y + 1 - from, progressText);
    }
  }
  if (progress) host.ProgressClose();
  // A decoder that failed, or a file read to its end, is closed.
  if (st != kOk && st != kCancelled) {
    RasClose(file_);
    RasFreeSl(sl_);
  } else if (nextRow_ >= height_ || !Sequential()) {
    RasClose(file_);
    RasFreeSl(sl_);
    nextRow_ = 0;
  }
  return st;
}

Status FullResImage::Ensure(int32_t y0, int32_t y1, const std::string& progressText) {
  if (!Named()) return kBadArg;
  y0 = std::max(y0, 0);
  y1 = std::min(y1, height_);
  if (y0 >= y1) return kOk;
  Status st = Allocate();
  if (st != kOk) return st;
  const int32_t first = y0 / kFullResBand, last = (y1 - 1) / kFullResBand;
  int32_t missFirst = -1, missLast = -1;
  for (int32_t b = first; b <= last; ++b) {
    if (bandValid_[(size_t)b]) continue;
    if (missFirst < 0) missFirst = b;
    missLast = b;
  }
  if (missFirst < 0) return kOk;
  int32_t from = missFirst * kFullResBand;
  const int32_t to = std::min(height_, (missLast + 1) * kFullResBand);
  if (Sequential()) {
    // The decoder goes on from where it is when that is not past the rows
    // wanted; a restart begins at the top. Either way the bands passed on
    // the way are kept (those already valid are read again only to get by).
    // A decoder stopped inside a band (a cancel) cannot give that band's
    // first rows again: it restarts.
    const int32_t at = file_.file ? nextRow_ : 0;
    from = at % kFullResBand == 0 && at <= from ? at : 0;
  }
  return ReadRows(from, to, progressText);
}

Status FullResImage::Region(int32_t x0, int32_t y0, int32_t x1, int32_t y1, PixelBuffer* view) const {
  if (!view) return kBadArg;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  if (x0 >= x1 || y0 >= y1 || !RowsValid(y0, y1)) return kBadArg;
  PixelBufferFree(*view);
  view->colorType = kRasRGB;
  view->channels = 3;
  view->bytesPerSample = depth_;
  view->width = x1 - x0;
  view->height = y1 - y0;
  view->pixelStep = 3;
  view->rowStep = (int64_t)width_ * 3;
  uint8_t* first = block_.get() + ((int64_t)y0 * width_ * 3 + (int64_t)x0 * 3) * depth_;
  for (int c = 0; c < 3; ++c) view->chan[c] = first + c * depth_;
  view->chan[3] = nullptr;
  return kOk;
}
