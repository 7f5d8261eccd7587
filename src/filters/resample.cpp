#include "filters/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "imagefile/ras.h"

namespace {


double Tent(double x) { return x > -1.0 && x < 1.0 ? 1.0 - std::fabs(x) : 0.0; }

// Where the rows come from: an open image file or a buffer. Row(y) hands out
// planar rows in the destination's sample type T, pointing into the
// framework's scanline when no conversion is needed, else into `conv`.
template <class T>
class RowSource {
 public:
  ~RowSource() {
    if (image_.file) RasClose(image_);
  }

  // `image` has been queried; opens it (the caller has set the decode scale).
  Status OpenFile(const char* path, RasImage&& image, const ReadOptions& options) {
    image_ = std::move(image);
    Status st = RasOpenRead(path, image_, options);
    if (st != kOk) return st;
    width_ = image_.width;
    height_ = image_.height;
    channels_ = image_.channels;
    wide_ = image_.Is16();
    if ((st = RasMakeSl(sl_, image_)) != kOk) return st;
    const bool direct = wide_ == std::is_same_v<T, uint16_t>;
    return direct ? kOk : AllocConv();
  }

  Status UseBuffer(const PixelBuffer* buffer) {
    buffer_ = buffer;
    width_ = buffer->width;
    height_ = buffer->height;
    channels_ = buffer->channels;
    wide_ = buffer->bytesPerSample == 2;
    return AllocConv();
  }

  // Closes the file; its status (reading errors are returned after it).
  Status Close() { return image_.file ? RasClose(image_) : kOk; }

  int64_t Width() const { return width_; }
  int64_t Height() const { return height_; }

  Status Row(int64_t y, const T* planes[kPixelBufferMaxChannels]) {
    if (buffer_) {
      if (wide_) Deinterleave<uint16_t>(y);
      else Deinterleave<uint8_t>(y);
      for (int32_t c = 0; c < channels_; ++c) planes[c] = conv_.get() + c * width_;
      return kOk;
    }
    Status st = RasReadSl(image_, (uint32_t)y, sl_);
    if (st != kOk) return st;
    for (int32_t c = 0; c < channels_; ++c) {
      if constexpr (std::is_same_v<T, uint16_t>) {
        if (wide_) {
          planes[c] = sl_.plane16[c];
          continue;
        }
        uint16_t* out = conv_.get() + c * width_;
        const uint8_t* in = sl_.plane8[c];
        for (int64_t x = 0; x < width_; ++x) out[x] = (uint16_t)(in[x] * 257u);
        planes[c] = out;
      } else {
        if (!wide_) {
          planes[c] = sl_.plane8[c];
          continue;
        }
        uint8_t* out = conv_.get() + c * width_;
        const uint16_t* in = sl_.plane16[c];
        for (int64_t x = 0; x < width_; ++x) out[x] = (uint8_t)(in[x] >> 8);
        planes[c] = out;
      }
    }
    return kOk;
  }

 private:
  Status AllocConv() {
    conv_ = MemNewArray<T>((size_t)(width_ * channels_), false);
    return conv_ ? kOk : kNoMem;
  }

  template <class S>
  void Deinterleave(int64_t y) {
    const int64_t step = buffer_->pixelStep;
    for (int32_t c = 0; c < channels_; ++c) {
      const S* in = static_cast<const S*>(buffer_->chan[c]) + y * buffer_->rowStep;
      T* out = conv_.get() + c * width_;
      for (int64_t x = 0; x < width_; ++x) {
        const S v = in[x * step];
        if constexpr (std::is_same_v<S, T>) out[x] = v;
        else if constexpr (std::is_same_v<T, uint16_t>) out[x] = (uint16_t)(v * 257u);
        else out[x] = (uint8_t)(v >> 8);
      }
    }
  }

  RasImage image_;
  RasScanline sl_;
  const PixelBuffer* buffer_ = nullptr;
  int64_t width_ = 0, height_ = 0;
  int32_t channels_ = 0;
  bool wide_ = false;
  MemPtr<T[]> conv_;
};

template <class T>
Status ScaleFast(RowSource<T>& src, int64_t step, int32_t denom, PixelBuffer& dest, int32_t w, int32_t h,
                 int32_t channels, const IPProgress& progress) {
  MemPtr<int64_t[]> column = MemNewArray<int64_t>((size_t)w, false);
  if (!column) return kNoMem;
  for (int32_t x = 0; x < w; ++x) column[x] = IPFastIndex(x, step, denom, src.Width());
  const T* planes[kPixelBufferMaxChannels] = {};
  const int64_t ps = dest.pixelStep;
  int64_t current = -1;
  for (int32_t y = 0; y < h; ++y) {
    const int64_t sy = IPFastIndex(y, step, denom, src.Height());
    if (sy != current) {
      Status st = src.Row(sy, planes);
      if (st != kOk) return st;
      current = sy;
    }
    for (int32_t c = 0; c < channels; ++c) {
      const T* in = planes[c];
      T* out = dest.Row<T>(c, y);
      const int64_t* col = column.get();
      for (int32_t x = 0; x < w; ++x) out[x * ps] = in[col[x]];
    }
    Status st = progress.Report((float)(y + 1) / (float)h);
    if (st != kOk) return st;
  }
  return kOk;
}

template <class T>
class FilteredScaler {
 public:
  FilteredScaler(RowSource<T>& src, const IPFilterTable& table, int64_t step, int32_t w, int32_t channels)
      : src_(src), table_(table), step_(step), w_(w), channels_(channels) {}

  Status Prepare() {
    const int64_t W = src_.Width();
    start_ = MemNewArray<int64_t>((size_t)w_, false);
    phase_ = MemNewArray<int32_t>((size_t)w_, false);
    ring_ = MemNewArray<T>((size_t)table_.taps * channels_ * w_, false);
    acc_ = MemNewArray<uint32_t>((size_t)w_, false);
    if (!start_ || !phase_ || !ring_ || !acc_) return kNoMem;
    inLo_ = w_;
    inHi_ = -1;
    for (int32_t x = 0; x < w_; ++x) {
      const int64_t pos = (int64_t)x * step_;
      start_[x] = (pos >> 16) + table_.kMin;
      phase_[x] = (int32_t)((pos >> 12) & 15);
      if (start_[x] >= 0 && start_[x] + table_.taps <= W) {
        inLo_ = std::min<int64_t>(inLo_, x);
        inHi_ = std::max<int64_t>(inHi_, x);
      }
    }
    return kOk;
  }

  Status Run(PixelBuffer& dest, int32_t h, const IPProgress& progress) {
    const int64_t H = src_.Height();
    const T* planes[kPixelBufferMaxChannels] = {};
    int32_t next = 0;
    for (int64_t j = 0; j < H && next < h; ++j) {
      Status st = src_.Row(j, planes);
      if (st != kOk) return st;
      T* slot = ring_.get() + (j % table_.taps) * channels_ * w_;
      for (int32_t c = 0; c < channels_; ++c) Horizontal(planes[c], slot + (int64_t)c * w_);
      while (next < h && std::min(H - 1, VStart(next) + table_.taps - 1) <= j) {
        Vertical(next, dest);
        ++next;
        if ((st = progress.Report((float)next / (float)h)) != kOk) return st;
      }
    }
    return kOk;
  }

 private:
  int64_t VStart(int32_t y) const { return (((int64_t)y * step_) >> 16) + table_.kMin; }

  void Horizontal(const T* in, T* out) const {
    const int64_t W = src_.Width();
    const int32_t taps = table_.taps;
    for (int32_t x = 0; x < w_; ++x) {
      const uint32_t* wt = table_.Phase(phase_[x]);
      const int64_t s0 = start_[x];
      uint32_t sum = 32768;
      if (x >= inLo_ && x <= inHi_) {
        const T* p = in + s0;
        for (int32_t i = 0; i < taps; ++i) sum += wt[i] * p[i];
      } else {
        // Taps outside the row repeat its first and last samples.
        for (int32_t i = 0; i < taps; ++i) sum += wt[i] * in[std::clamp<int64_t>(s0 + i, 0, W - 1)];
      }
      out[x] = (T)(sum >> 16);
    }
  }

  void Vertical(int32_t y, PixelBuffer& dest) const {
    const int64_t H = src_.Height();
    const int32_t taps = table_.taps;
    const uint32_t* wt = table_.Phase((int32_t)((((int64_t)y * step_) >> 12) & 15));
    const int64_t s0 = VStart(y);
    const int64_t ps = dest.pixelStep;
    uint32_t* acc = acc_.get();
    for (int32_t c = 0; c < channels_; ++c) {
      for (int32_t x = 0; x < w_; ++x) acc[x] = 32768;
      for (int32_t i = 0; i < taps; ++i) {
        const uint32_t wi = wt[i];
        if (wi == 0) continue;
        const int64_t row = std::clamp<int64_t>(s0 + i, 0, H - 1);
        const T* in = ring_.get() + ((row % taps) * channels_ + c) * w_;
        for (int32_t x = 0; x < w_; ++x) acc[x] += wi * in[x];
      }
      T* out = dest.Row<T>(c, y);
      for (int32_t x = 0; x < w_; ++x) out[x * ps] = (T)(acc[x] >> 16);
    }
  }

  RowSource<T>& src_;
  const IPFilterTable& table_;
  int64_t step_;
  int32_t w_;
  int32_t channels_;
  MemPtr<int64_t[]> start_;
  MemPtr<int32_t[]> phase_;
  MemPtr<T[]> ring_;  // taps slots of channels × w filtered samples
  MemPtr<uint32_t[]> acc_;
  int64_t inLo_ = 0, inHi_ = -1;  // output columns whose taps all lie inside the row
};

template <class T>
Status Scale(const char* path, const PixelBuffer* source, int32_t mode, PixelBuffer& dest, int32_t& outWidth,
             int32_t& outHeight, const IPProgress& progress, uint32_t flags, const ReadOptions& read) {
  RowSource<T> src;
  int64_t W, H;
  int32_t channels = 0, w = 0, h = 0;
  int32_t denom = 1;  // JPEG decode reduced by this factor
  if (path) {
    RasImage image;
    Status st = RasQuery(path, image, read);
    if (st != kOk) return st;
    W = image.width;
    H = image.height;
    channels = image.channels;
    if (channels != dest.channels || image.colorType != dest.colorType) return kBadArg;
    if (W < 1 || H < 1) return kFormatErr;
    IPScaleOutputSize(W, H, dest.width, dest.height, w, h);
    if ((flags & kIPScaleReducedDecode) && mode == kIPScaleFast) denom = IPReducedDecodeScale(image.format, W, H, w, h);
    ReadOptions options = read;
    options.scale = denom;
    st = src.OpenFile(path, std::move(image), options);
    if (st != kOk) return st;
    // The picks below index rows of the size the query promised: a reader
    // whose rows come out another size is refused, never read past.
    if (src.Width() != (W + denom - 1) / denom || src.Height() != (H + denom - 1) / denom) return kFormatErr;
  } else {
    W = source->width;
    H = source->height;
    channels = source->channels;
    if (source->channels != dest.channels || source->colorType != dest.colorType) return kBadArg;
    IPScaleOutputSize(W, H, dest.width, dest.height, w, h);
    Status st = src.UseBuffer(source);
    if (st != kOk) return st;
  }

  bool fromWidth = true;
  const int64_t step = IPScaleStep(W, H, w, h, &fromWidth);
  Status st;
  if (mode == kIPScaleFast || step == 0x10000) {
    st = ScaleFast<T>(src, step, denom, dest, w, h, channels, progress);
  } else {
    IPFilterTable table;
    const double ratio = fromWidth ? (double)(W - 1) / (double)(w - 1) : (double)(H - 1) / (double)(h - 1);
    st = IPBuildFilterTable(ratio, table);
    FilteredScaler<T> scaler(src, table, step, w, channels);
    if (st == kOk) st = scaler.Prepare();
    if (st == kOk) st = scaler.Run(dest, h, progress);
  }
  const Status closed = src.Close();
  if (st == kOk) st = closed;
  if (st != kOk) return st;
  dest.width = w;
  dest.height = h;
  outWidth = w;
  outHeight = h;
  return kOk;
}

}  // namespace

void IPScaleOutputSize(int64_t srcWidth, int64_t srcHeight, int32_t boxWidth, int32_t boxHeight, int32_t& width,
                       int32_t& height) {
  const int64_t W = std::max<int64_t>(srcWidth, 1), H = std::max<int64_t>(srcHeight, 1);
  const int64_t w0 = boxWidth, h0 = boxHeight;
  const int64_t w1 = (h0 * W + H / 2) / H;
  const int64_t h1 = (w0 * H + W / 2) / W;
  int64_t w, h;
  if (w1 <= w0 && h1 <= h0) {
    if (w1 * h0 < w0 * h1) w = w0, h = h1;
    else w = w1, h = h0;
  } else if (w1 > w0) {
    w = w0, h = h1;
  } else {
    w = w1, h = h0;
  }
  // Never larger than the source. A source that fits the box keeps its size;
  // one that does not keeps the computed size, which fits the box (a source
  // only one side of which exceeds its result, by rounding or a side of 1,
  // must not come out larger than the box).
  if (W <= w0 && H <= h0) {
    w = W, h = H;
  } else {
    w = std::clamp<int64_t>(w, 1, W);
    h = std::clamp<int64_t>(h, 1, H);
  }
  width = (int32_t)std::min<int64_t>(w, INT32_MAX);
  height = (int32_t)std::min<int64_t>(h, INT32_MAX);
}

int64_t IPScaleStep(int64_t srcWidth, int64_t srcHeight, int32_t width, int32_t height, bool* fromWidth) {
  int64_t step = 0;
  bool wide = true;
  if (width > 1) step = ((srcWidth - 1) << 16) / (width - 1);
  if (height > 1) {
    const int64_t sy = ((srcHeight - 1) << 16) / (height - 1);
    if (step == 0 || sy < step) {
      step = sy;
      wide = false;
    }
  }
  if (step == 0) step = 0x10000;  // a 1 × 1 result
  if (fromWidth) *fromWidth = wide;
  return step;
}

int32_t IPReducedDecodeScale(int32_t format, int64_t W, int64_t H, int32_t w, int32_t h) {
  if (format != kRasJpeg) return 1;
  for (int32_t d : {4, 2})
    if ((W + d - 1) / d >= 2 * (int64_t)w && (H + d - 1) / d >= 2 * (int64_t)h) return d;
  return 1;
}

Status IPBuildFilterTable(double ratio, IPFilterTable& table) {
  if (!(ratio >= 1.0) || ratio > 1e9) return kBadArg;
  int64_t kMin = -1;
  while (Tent((double)kMin / ratio) != 0.0) --kMin;
  ++kMin;
  int64_t kMax = 1;
  while (Tent(((double)kMax - 1 + 0.0625) / ratio) != 0.0) ++kMax;
  --kMax;
  const int64_t taps = kMax - kMin + 1;
  if (taps > (1 << 28)) return kBadArg;
  table.ratio = ratio;
  table.kMin = (int32_t)kMin;
  table.kMax = (int32_t)kMax;
  table.taps = (int32_t)taps;
  table.weights = MemNewArray<uint32_t>((size_t)(16 * taps), false);
  if (!table.weights) return kNoMem;
  for (int32_t p = 0; p < 16; ++p) {
    uint32_t* row = table.weights.get() + p * taps;
    double sum = 0;
    for (int64_t i = 0; i < taps; ++i) sum += Tent(((double)(kMin + i) - p / 16.0) / ratio);
    int64_t total = 0;
    for (int64_t i = 0; i < taps; ++i) {
      row[i] = (uint32_t)(Tent(((double)(kMin + i) - p / 16.0) / ratio) / sum * 65536.0 + 0.5);
      total += row[i];
    }
    row[taps / 2] = (uint32_t)((int64_t)row[taps / 2] + (65536 - total));
  }
  return kOk;
}

Status IPScaleImage(const char* path, const PixelBuffer* source, int32_t mode, PixelBuffer& dest, int32_t& outWidth,
                    int32_t& outHeight, const IPProgress& progress, uint32_t flags, const ReadOptions& read) {
  if ((path == nullptr) == (source == nullptr)) return kBadArg;
  if (mode != kIPScaleFast && mode != kIPScaleFiltered) return kBadArg;
  if (PixelBufferCheck(dest) != kOk || dest.width < 2 || dest.height < 2) return kBadArg;
  if (source && (PixelBufferCheck(*source) != kOk || source->chan[0] == dest.chan[0])) return kBadArg;
  if (dest.bytesPerSample == 2) return Scale<uint16_t>(path, source, mode, dest, outWidth, outHeight, progress, flags, read);
  return Scale<uint8_t>(path, source, mode, dest, outWidth, outHeight, progress, flags, read);
}
