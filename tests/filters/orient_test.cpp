// A buffer (8- and 16-bit) turned upright for each EXIF orientation; the
// point mapping agrees with the turned pixels.
#include <gtest/gtest.h>

#include <vector>

#include "filters/preview.h"

namespace {

TEST(OrientTest, EachOrientationShowsTheStoredPixelsUpright) {
  // Stored 3 × 2, sample 10 × row + column; RGB with the same sample in each channel.
  struct Case {
    int32_t orientation, width;
    std::vector<int> rows;  // the samples shown, row by row
  } cases[] = {
      {1, 3, {0, 1, 2, 10, 11, 12}},   {2, 3, {2, 1, 0, 12, 11, 10}},   {3, 3, {12, 11, 10, 2, 1, 0}},
      {4, 3, {10, 11, 12, 0, 1, 2}},   {5, 2, {0, 10, 1, 11, 2, 12}},   {6, 2, {10, 0, 11, 1, 12, 2}},
      {7, 2, {12, 2, 11, 1, 10, 0}},   {8, 2, {2, 12, 1, 11, 0, 10}},   {9, 3, {0, 1, 2, 10, 11, 12}},
  };
  for (int32_t bytes : {1, 2})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.orientation << " bytes " << bytes);
      const int scale = bytes == 1 ? 1 : 257;
      PixelBuffer b;
      ASSERT_EQ(PixelBufferCreate(b, 3, 2, 3, bytes), kOk);
      auto at = [&](const PixelBuffer& p, int ch, int32_t x, int32_t y) {
        return bytes == 1 ? p.Row<uint8_t>(ch, y)[x * p.pixelStep] : p.Row<uint16_t>(ch, y)[x * p.pixelStep] / scale;
      };
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
          for (int ch = 0; ch < 3; ++ch) {
            if (bytes == 1) b.Row<uint8_t>(ch, y)[x * b.pixelStep] = (uint8_t)(10 * y + x);
            else b.Row<uint16_t>(ch, y)[x * b.pixelStep] = (uint16_t)((10 * y + x) * scale);
          }
      ASSERT_EQ(IPOrient(b, c.orientation), kOk);
      ASSERT_EQ(b.width, c.width);
      ASSERT_EQ(b.width * b.height, 6);
      std::vector<int> shown;
      for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x) {
          shown.push_back(at(b, 0, x, y));
          EXPECT_EQ(at(b, 2, x, y), shown.back());
        }
      EXPECT_EQ(shown, c.rows);
      // Stored pixel (sx, sy) is found where IPOrientPoint says.
      for (int32_t sy = 0; sy < 2; ++sy)
        for (int32_t sx = 0; sx < 3; ++sx) {
          int32_t x = -1, y = -1;
          IPOrientPoint(c.orientation, 3, 2, sx, sy, &x, &y);
          ASSERT_TRUE(x >= 0 && x < b.width && y >= 0 && y < b.height);
          EXPECT_EQ(at(b, 1, x, y), 10 * sy + sx);
        }
    }
}

}  // namespace
