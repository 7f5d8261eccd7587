#include "filters/rowthumbnail.h"

#include <algorithm>

#include "filters/resample.h"

Status IPRowThumbnail::Prepare(const RasImage& image, int32_t box) {
  if (box < 2 || box > (1 << 29) || image.width < 1 || image.height < 1 || image.channels < 1 ||
      image.channels > kPixelBufferMaxChannels)
    return kBadArg;
  W_ = image.width;
  H_ = image.height;
  channels_ = image.channels;
  colorType_ = image.colorType;
  wide_ = image.Is16();
  box_ = box;
  IPScaleOutputSize(W_, H_, 2 * box, 2 * box, w_, h_);
  denom_ = IPReducedDecodeScale(image.format, W_, H_, w_, h_);
  const int64_t step = IPScaleStep(W_, H_, w_, h_);
  const int64_t blocksWide = (W_ + denom_ - 1) / denom_, blocksHigh = (H_ + denom_ - 1) / denom_;
  column_ = MemNewArray<int64_t>((size_t)w_, false);
  slotOfRow_ = MemNewArray<int32_t>((size_t)h_, false);
  block_ = MemNewArray<int64_t>((size_t)h_, false);
  if (!column_ || !slotOfRow_ || !block_) return kNoMem;
  for (int32_t x = 0; x < w_; ++x) column_[x] = IPFastIndex(x, step, denom_, blocksWide) * denom_;
  // The picks' block rows never decrease down the output: one slot each.
  slots_ = 0;
  for (int32_t y = 0; y < h_; ++y) {
    const int64_t block = IPFastIndex(y, step, denom_, blocksHigh);
    if (slots_ == 0 || block_[slots_ - 1] != block) block_[slots_++] = block;
    slotOfRow_[y] = slots_ - 1;
  }
  next_ = 0;
  sums_ = MemNewArray<uint32_t>((size_t)slots_ * channels_ * w_, true);
  return sums_ ? kOk : kNoMem;
}

void IPRowThumbnail::AddRow(uint32_t y, const RasScanline& row) {
  if (!sums_ || (int64_t)y >= H_) return;
  const int64_t block = y / denom_;
  while (next_ < slots_ && block_[next_] < block) ++next_;
  if (next_ == slots_ || block_[next_] != block) return;
  uint32_t* sums = sums_.get() + (int64_t)next_ * channels_ * w_;
  for (int32_t c = 0; c < channels_; ++c, sums += w_) {
    for (int32_t x = 0; x < w_; ++x) {
      const int64_t first = column_[x], end = std::min<int64_t>(first + denom_, W_);
      uint32_t sum = 0;
      if (wide_) {
        for (int64_t i = first; i < end; ++i) sum += row.plane16[c][i] >> 8;
      } else {
        for (int64_t i = first; i < end; ++i) sum += row.plane8[c][i];
      }
      sums[x] += sum;
    }
  }
}

Status IPRowThumbnail::Finish(PixelBuffer& out) const {
  if (!sums_) return kBadArg;
  PixelBuffer raster;
  Status st = PixelBufferCreate(raster, 2 * box_, 2 * box_, channels_, 1);
  if (st != kOk) return st;
  raster.colorType = colorType_;
  for (int32_t y = 0; y < h_; ++y) {
    const int64_t top = block_[slotOfRow_[y]] * denom_;
    const int64_t rows = std::min<int64_t>(denom_, H_ - top);
    const uint32_t* sums = sums_.get() + (int64_t)slotOfRow_[y] * channels_ * w_;
    for (int32_t c = 0; c < channels_; ++c, sums += w_) {
      uint8_t* dest = raster.Row<uint8_t>(c, y);
      for (int32_t x = 0; x < w_; ++x) {
        const uint32_t n = (uint32_t)(rows * std::min<int64_t>(denom_, W_ - column_[x]));
        dest[(int64_t)x * raster.pixelStep] = (uint8_t)((sums[x] + n / 2) / n);
      }
    }
  }
  raster.width = w_;
  raster.height = h_;
  const int32_t halfW = std::max(2, w_ / 2), halfH = std::max(2, h_ / 2);
  if ((st = PixelBufferCreate(out, halfW, halfH, channels_, 1)) != kOk) return st;
  out.colorType = colorType_;
  int32_t w = 0, h = 0;
  st = IPScaleImage(nullptr, &raster, kIPScaleFiltered, out, w, h);
  if (st != kOk) PixelBufferFree(out);
  return st;
}
