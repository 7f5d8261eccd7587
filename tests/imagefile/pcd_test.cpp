// Photo CD module: synthetic image packs holding all three small images,
// read at each resolution; the 3 : 1 chrominance interpolation; refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "imagefile/imagefile_support.h"
#include "imagefile/pcd.h"
#include "imagefile/ras.h"
#include "support/scratch.h"

namespace {

class PcdTest : public ::testing::Test {};

ReadOptions AtResolution(int32_t resolution) {
  ReadOptions options;
  options.photoCdResolution = resolution;
  return options;
}

struct Resolution {
  int option;
  uint32_t width, height;
  uint32_t offset;
};
const Resolution kResolutions[] = {{1, 192, 128, 8192}, {2, 384, 256, 47104}, {3, 768, 512, 196608}};

// Sample values of a synthetic pack: luminance per pixel, chrominance per
// row pair p and column pair j; `r` makes the three images differ.
uint8_t Luma(int r, uint32_t x, uint32_t y) { return (uint8_t)(x * 7 + y * 3 + r); }
uint8_t Chroma1(int r, uint32_t j, uint32_t p) { return (uint8_t)(j * 5 + p * 11 + r * 40); }
uint8_t Chroma2(int r, uint32_t j, uint32_t p) { return (uint8_t)(200 - j * 3 + p * p + r); }

std::vector<uint8_t> MakePack() {
  std::vector<uint8_t> f(196608 + 768 * 512 * 3 / 2, 0);
  std::memcpy(&f[2048], "PCD_IPI", 7);
  for (const Resolution& res : kResolutions) {
    const uint32_t w = res.width, n = w / 2;
    for (uint32_t p = 0; p < res.height / 2; ++p) {
      uint8_t* pair = &f[res.offset + p * 3 * w];
      for (uint32_t x = 0; x < w; ++x) {
        pair[x] = Luma(res.option, x, 2 * p);
        pair[w + x] = Luma(res.option, x, 2 * p + 1);
      }
      for (uint32_t j = 0; j < n; ++j) {
        pair[2 * w + j] = Chroma1(res.option, j, p);
        pair[2 * w + n + j] = Chroma2(res.option, j, p);
      }
    }
  }
  return f;
}

// The chrominance a reader should produce at (x, y): 3 : 1 towards the
// neighbouring row pair, then 3 : 1 towards the neighbouring column pair.
uint8_t Expected(uint8_t (*c)(int, uint32_t, uint32_t), int r, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  const uint32_t p = y / 2, pairs = h / 2, n = w / 2;
  const uint32_t q = y % 2 ? std::min(p + 1, pairs - 1) : (p ? p - 1 : 0);
  auto column = [&](uint32_t j) { return (3 * c(r, j, p) + c(r, j, q) + 2) >> 2; };
  const uint32_t j = x / 2;
  const uint32_t k = x % 2 ? std::min(j + 1, n - 1) : (j ? j - 1 : 0);
  return (uint8_t)((3 * column(j) + column(k) + 2) >> 2);
}

TEST_F(PcdTest, ReadsEachResolution) {
  const std::string path = ScratchFile("pack.pcd");
  WriteBytes(path, MakePack());
  for (const Resolution& res : kResolutions) {
    SCOPED_TRACE(res.option);
    RasImage image;
    Pixels px;
    ASSERT_EQ(ReadThrough(path, image, px, AtResolution(res.option)), kOk) << RasLastFailure();
    EXPECT_EQ(image.format, kRasPhotoCD);
    EXPECT_EQ(image.colorType, kRasPhotoCDColor);
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.width, res.width);
    EXPECT_EQ(image.height, res.height);
    EXPECT_EQ(image.resolution, -1);
    for (uint32_t y = 0; y < res.height; ++y)
      for (uint32_t x = 0; x < res.width; ++x) {
        ASSERT_EQ(px.At(x, y, 0), Luma(res.option, x, y)) << x << "," << y;
        ASSERT_EQ(px.At(x, y, 1), Expected(Chroma1, res.option, x, y, res.width, res.height)) << x << "," << y;
        ASSERT_EQ(px.At(x, y, 2), Expected(Chroma2, res.option, x, y, res.width, res.height)) << x << "," << y;
      }
    // Rows in any order: backwards, then jumping, equal the rows read in order.
    ASSERT_EQ(RasOpenRead(path, image, AtResolution(res.option)), kOk);
    RasScanline sl;
    for (uint32_t y : {res.height - 1, 0u, 5u, 200u % res.height, 4u, 1u, res.height - 2})
      for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(RasReadSl(image, y, sl), kOk);
        for (uint32_t x = 0; x < res.width; ++x)
          for (int c = 0; c < 3; ++c) ASSERT_EQ(sl.plane8[c][x], px.At(x, y, c)) << x << "," << y;
      }
    EXPECT_EQ(RasClose(image), kOk);
  }
}

// A chrominance step between row pairs and between column pairs: the rows and
// columns beside the step take 1/4 and 3/4 of it.
TEST_F(PcdTest, ChrominanceStepsBlendThreeToOne) {
  std::vector<uint8_t> f = MakePack();
  const uint32_t w = 192, n = 96;
  for (uint32_t p = 0; p < 64; ++p) {
    uint8_t* pair = &f[8192 + p * 3 * w];
    for (uint32_t j = 0; j < n; ++j) {
      pair[2 * w + j] = p < 32 ? 0 : 100;
      pair[2 * w + n + j] = j < 48 ? 0 : 200;
    }
  }
  const std::string path = ScratchFile("step.pcd");
  WriteBytes(path, f);
  RasImage image;
  Pixels px;
  ASSERT_EQ(ReadThrough(path, image, px, AtResolution(1)), kOk);
  const uint16_t rows[] = {px.At(10, 62, 1), px.At(10, 63, 1), px.At(10, 64, 1), px.At(10, 65, 1)};
  EXPECT_EQ(std::vector<uint16_t>(rows, rows + 4), (std::vector<uint16_t>{0, 25, 75, 100}));
  const uint16_t cols[] = {px.At(94, 7, 2), px.At(95, 7, 2), px.At(96, 7, 2), px.At(97, 7, 2)};
  EXPECT_EQ(std::vector<uint16_t>(cols, cols + 4), (std::vector<uint16_t>{0, 50, 150, 200}));
}

TEST_F(PcdTest, Refusals) {
  const std::vector<uint8_t> pack = MakePack();
  const std::string path = ScratchFile("r.pcd");
  RasImage image;
  // No signature: not a Photo CD file, nor anything else.
  std::vector<uint8_t> f = pack;
  f[2050] = 'X';
  WriteBytes(path, f);
  EXPECT_EQ(RasQuery(path, image), kFormatErr);
  WriteBytes(path, std::vector<uint8_t>(pack.begin(), pack.begin() + 2050));
  EXPECT_EQ(RasQuery(path, image), kFormatErr);
  // A pack cut inside the largest image: the two smaller ones still read.
  WriteBytes(path, std::vector<uint8_t>(pack.begin(), pack.end() - 1));
  EXPECT_EQ(RasQuery(path, image), kSeekErr);
  EXPECT_EQ(RasQuery(path, image, AtResolution(2)), kOk);
  // No such resolution.
  EXPECT_EQ(RasQuery(path, image, AtResolution(4)), kSysErr);
  // Read only.
  RasImage out;
  ASSERT_EQ(rasInit(out, kRasPhotoCD, 192, 128, 3, kRasPhotoCDColor, 72), kOk);
  EXPECT_EQ(RasOpen(ScratchFile("w.pcd"), 'w', out), kBadArg);
}

}  // namespace
