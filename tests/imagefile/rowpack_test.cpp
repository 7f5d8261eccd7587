// The RGB row kernels: every width up to several vector steps, against the
// one-pixel definition, so the chosen kernel and its tail agree.
#include <gtest/gtest.h>

#include <vector>

#include "imagefile/rowpack.h"

TEST(RowPackTest, SplitAndJoinMatchTheDefinitionAtEveryWidth) {
  for (uint32_t w = 0; w <= 70; ++w) {
    std::vector<uint8_t> in(3 * w + 1, 0xEE), r(w + 1, 0xEE), g(w + 1, 0xEE), b(w + 1, 0xEE), out(3 * w + 1, 0xEE);
    for (uint32_t i = 0; i < 3 * w; ++i) in[i] = (uint8_t)(i * 37 + w);
    SplitRgb8(in.data(), r.data(), g.data(), b.data(), w);
    for (uint32_t x = 0; x < w; ++x) {
      ASSERT_EQ(r[x], in[3 * x]) << w;
      ASSERT_EQ(g[x], in[3 * x + 1]) << w;
      ASSERT_EQ(b[x], in[3 * x + 2]) << w;
    }
    EXPECT_EQ(r[w], 0xEE) << "nothing written past the row";
    JoinRgb8(out.data(), r.data(), g.data(), b.data(), w);
    EXPECT_EQ(out, in) << w;
  }
}
