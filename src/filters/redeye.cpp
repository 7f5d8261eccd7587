#include "filters/redeye.h"

#include <algorithm>
#include <cmath>

#include "base/alert.h"

namespace {

struct Hls {
  double h = 0, l = 0, s = 0;
};

Hls ToHls(double r, double g, double b) {
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  Hls o;
  o.l = (mx + mn) / 2;
  const double d = mx - mn;
  if (d < 0.000001) return o;
  o.s = o.l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
  double h;
  if (mx == r) h = (g - b) / d;
  else if (mx == g) h = 2 + (b - r) / d;
  else h = 4 + (r - g) / d;
  h /= 6;
  if (h < 0) h += 1;
  o.h = h;
  return o;
}

bool InEye(const Hls& c) {
  if (c.l >= 0.9) return true;
  if (c.l < 0.1) return false;
  if (c.s < 0.2) return false;
  return c.h >= 0.75 || c.h < 0.15;
}

template <class T>
class Pixels {
 public:
  Pixels(PixelBuffer& b, double top) : b_(b), top_(top) {}
  Hls At(int32_t x, int32_t y) const {
    double v[3];
    Get(x, y, v);
    return ToHls(v[0], v[1], v[2]);
  }
  void Get(int32_t x, int32_t y, double* v) const {
    for (int32_t c = 0; c < 3; ++c) v[c] = Sample(c, x, y) / top_;
  }
  void Set(int32_t x, int32_t y, const double* v) {
    for (int32_t c = 0; c < 3; ++c) Sample(c, x, y) = (T)std::floor(std::clamp(v[c], 0.0, 1.0) * top_ + 0.5);
  }

 private:
  T& Sample(int32_t c, int32_t x, int32_t y) const {
    return b_.Row<T>(c, y)[(int64_t)x * b_.pixelStep];
  }
  PixelBuffer& b_;
  double top_;
};

template <class T>
void Correct(PixelBuffer& buf, int32_t px, int32_t py, int32_t radius, double top) {
  Pixels<T> img(buf, top);
  const int32_t W = buf.width, H = buf.height;
  int32_t x0 = px, x1 = px, y0 = py, y1 = py;
  for (int32_t k = 0; k < radius && x0 > 0 && InEye(img.At(x0 - 1, py)); ++k) --x0;
  for (int32_t k = 0; k < radius && x1 < W - 1 && InEye(img.At(x1 + 1, py)); ++k) ++x1;
  for (int32_t k = 0; k < radius && y0 > 0 && InEye(img.At(px, y0 - 1)); ++k) --y0;
  for (int32_t k = 0; k < radius && y1 < H - 1 && InEye(img.At(px, y1 + 1)); ++k) ++y1;

  const int64_t cx = (x0 + x1 + 1) / 2, cy = (y0 + y1 + 1) / 2;
  const int64_t d = std::max(x1 - x0, y1 - y0) + 1;
  const int64_t h = d / 2;
  const int64_t L = h * h + 1;
  const int64_t inner = 9 * L / 16;
  for (int64_t y = std::max<int64_t>(cy - h, 0); y <= std::min<int64_t>(cy + h, H - 1); ++y)
    for (int64_t x = std::max<int64_t>(cx - h, 0); x <= std::min<int64_t>(cx + h, W - 1); ++x) {
      const int64_t q = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (q > L) continue;
      const double w = q < inner ? 1.0 : (double)(q - L) / (double)(inner - L);
      double v[3];
      img.Get((int32_t)x, (int32_t)y, v);
      const Hls c = ToHls(v[0], v[1], v[2]);
      double a = c.s < 0.3 ? c.s : c.s * 1.25;
      a = std::min(std::clamp(a, 0.0, 1.0), w);
      const double target = 0.6 * c.l;
      for (double& ch : v) ch = std::clamp(ch + (target - ch) * a, 0.0, 1.0);
      img.Set((int32_t)x, (int32_t)y, v);
    }
}

}  // namespace

Status IPRedEye(PixelBuffer& buffer, int32_t x, int32_t y, int32_t radius) {
  const PixelBuffer& b = buffer;
  const bool ok = b.colorType == 1 && b.channels == 3 && PixelBufferCheck(b) == kOk && radius >= 0 && x >= 0 &&
                  y >= 0 && x < b.width && y < b.height;
  if (!ok) return ReportError(kBadArg, "red eye");
  if (b.bytesPerSample == 2) Correct<uint16_t>(buffer, x, y, radius, 65535.0);
  else Correct<uint8_t>(buffer, x, y, radius, 255.0);
  return kOk;
}
