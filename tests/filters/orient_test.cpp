// A buffer turned upright for each EXIF orientation.
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
  for (const Case& c : cases) {
    PixelBuffer b;
    ASSERT_EQ(PixelBufferCreate(b, 3, 2, 3, 1), kOk);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 3; ++x)
        for (int ch = 0; ch < 3; ++ch) b.Row<uint8_t>(ch, y)[x * b.pixelStep] = (uint8_t)(10 * y + x);
    ASSERT_EQ(IPOrient(b, c.orientation), kOk);
    ASSERT_EQ(b.width, c.width) << c.orientation;
    ASSERT_EQ(b.width * b.height, 6);
    std::vector<int> shown;
    for (int32_t y = 0; y < b.height; ++y)
      for (int32_t x = 0; x < b.width; ++x) {
        shown.push_back(b.Row<uint8_t>(0, y)[x * b.pixelStep]);
        EXPECT_EQ(b.Row<uint8_t>(2, y)[x * b.pixelStep], shown.back());
      }
    EXPECT_EQ(shown, c.rows) << c.orientation;
  }
  PixelBuffer wide;
  ASSERT_EQ(PixelBufferCreate(wide, 2, 2, 3, 2), kOk);
  EXPECT_EQ(IPOrient(wide, 6), kBadArg);
}

}  // namespace
