// Red-eye correction: a red pupil with a specular highlight, a gray point,
// the soft edge of the corrected disc, 16-bit buffers and the refusals.
#include <gtest/gtest.h>

#include <cmath>

#include "filters/filters_testutil.h"
#include "filters/redeye.h"
#include "support/app_fixture.h"

namespace {

using Kind = ScriptedHost::Kind;

struct Rgb {
  uint32_t r, g, b;
};

// A blue-gray iris (not eye-coloured) with a red pupil of radius 6 at (20, 15)
// and a white highlight two pixels right of the centre.
PixelBuffer Eye(int32_t bps) {
  const uint32_t unit = bps == 2 ? 257 : 1;
  return MakeBuffer(40, 30, 3, bps, [&](int32_t c, int32_t x, int32_t y) {
    const int32_t dx = x - 20, dy = y - 15;
    Rgb p{90, 110, 130};
    if (dx * dx + dy * dy <= 36) p = {190, 35, 40};
    if ((x == 22 || x == 23) && (y == 15 || y == 14)) p = {250, 245, 245};
    return (c == 0 ? p.r : c == 1 ? p.g : p.b) * unit;
  });
}

double Saturation(const PixelBuffer& b, int32_t x, int32_t y) {
  const double r = SampleAt(b, 0, x, y), g = SampleAt(b, 1, x, y), bl = SampleAt(b, 2, x, y);
  const double mx = std::max({r, g, bl}), mn = std::min({r, g, bl});
  return mx == 0 ? 0 : (mx - mn) / mx;
}

bool SamePixel(const PixelBuffer& a, const PixelBuffer& b, int32_t x, int32_t y) {
  return SampleAt(a, 0, x, y) == SampleAt(b, 0, x, y) && SampleAt(a, 1, x, y) == SampleAt(b, 1, x, y) &&
         SampleAt(a, 2, x, y) == SampleAt(b, 2, x, y);
}

class RedEyeTest : public AppFixture {};

TEST_F(RedEyeTest, RedPupilIsDesaturatedAndDarkenedPastItsHighlight) {
  for (int32_t bps : {1, 2}) {
    SCOPED_TRACE(bps);
    PixelBuffer eye = Eye(bps);
    const PixelBuffer before = Eye(bps);
    // Clicked left of centre: the walk to the right crosses the highlight.
    ASSERT_EQ(IPRedEye(eye, 18, 15, 20), kOk);
    // The box spans the pupil (x 14..26, y 10..20, centre (20, 15), h = 6):
    // the middle loses most of its colour, the ends near the rim less; x = 25
    // lies in the disc only because the walk went on past the highlight.
    for (int32_t x : {18, 20}) EXPECT_LT(Saturation(eye, x, 15), Saturation(before, x, 15) * 0.5) << x;
    for (int32_t x : {15, 25}) {
      EXPECT_LT(Saturation(eye, x, 15), Saturation(before, x, 15) * 0.8) << x;
      EXPECT_GT(Saturation(eye, x, 15), Saturation(eye, 20, 15)) << x;
      EXPECT_LT(SampleAt(eye, 0, x, 15), SampleAt(before, 0, x, 15)) << x;
    }
    // The iris well outside the disc is untouched.
    for (int32_t x : {3, 36})
      for (int32_t y : {2, 15, 27}) EXPECT_TRUE(SamePixel(eye, before, x, y)) << x << "," << y;
    EXPECT_TRUE(SamePixel(eye, before, 20, 3));
  }
}

// A uniform red field clicked with radius 5: box 11 × 11, h = 5, L = 26,
// full weight for q < 14, falling to 0 at q = 26, nothing beyond.
TEST_F(RedEyeTest, DiscHasASoftEdgeAndNothingBeyondIt) {
  PixelBuffer red = MakeBuffer(31, 31, 3, 1, [](int32_t c, int32_t, int32_t) { return c == 0 ? 200u : 40u; });
  ASSERT_EQ(IPRedEye(red, 15, 15, 5), kOk);
  // Centre: lightness 0.4706, saturation 0.6667, amount 0.8333, target gray 0.2824.
  EXPECT_EQ(SampleAt(red, 0, 15, 15), 93u);
  EXPECT_EQ(SampleAt(red, 1, 15, 15), 67u);
  EXPECT_EQ(SampleAt(red, 2, 15, 15), 67u);
  EXPECT_EQ(SampleAt(red, 0, 18, 17), 93u);  // q = 13: full weight
  // q = 25 (5, 0): weight 1/12, changed a little.
  EXPECT_LT(SampleAt(red, 0, 20, 15), 200u);
  EXPECT_GT(SampleAt(red, 0, 20, 15), 180u);
  // q = 26 (5, 1): weight 0; q = 29 (5, 2) and beyond: untouched.
  for (auto [x, y] : {std::pair{20, 16}, {20, 17}, {19, 19}, {15, 21}, {26, 15}, {0, 0}})
    EXPECT_EQ(SampleAt(red, 0, x, y), 200u) << x << "," << y;
}

// A point on a gray pixel whose neighbours are gray: a box of that one pixel;
// the red all around two pixels away is not touched, and the gray itself
// has no saturation to lose.
TEST_F(RedEyeTest, GrayPointTouchesOnlyItsOwnPixel) {
  auto make = [] {
    return MakeBuffer(21, 21, 3, 1, [](int32_t c, int32_t x, int32_t y) {
      const bool gray = std::abs(x - 10) <= 1 && std::abs(y - 10) <= 1;
      return gray ? 128u : c == 0 ? 200u : 40u;
    });
  };
  PixelBuffer img = make();
  const PixelBuffer before = make();
  ASSERT_EQ(IPRedEye(img, 10, 10, 8), kOk);
  bool same = true;
  for (int32_t y = 0; y < 21; ++y)
    for (int32_t x = 0; x < 21; ++x) same &= SamePixel(img, before, x, y);
  EXPECT_TRUE(same);
}

TEST_F(RedEyeTest, RefusesWhatIsNoRgbPointInside) {
  PixelBuffer rgb = MakeBuffer(8, 8, 3, 1, [](int32_t, int32_t, int32_t) { return 100u; });
  PixelBuffer gray = MakeBuffer(8, 8, 1, 1, [](int32_t, int32_t, int32_t) { return 100u; });
  PixelBuffer four = MakeBuffer(8, 8, 4, 1, [](int32_t, int32_t, int32_t) { return 100u; });
  PixelBuffer lab = MakeBuffer(8, 8, 3, 1, [](int32_t, int32_t, int32_t) { return 100u; });
  lab.colorType = 7;
  PixelBuffer hole = MakeBuffer(8, 8, 3, 1, [](int32_t, int32_t, int32_t) { return 100u; });
  hole.chan[2] = nullptr;
  struct Case {
    PixelBuffer* b;
    int32_t x, y, radius;
  } cases[] = {{&gray, 1, 1, 3}, {&four, 1, 1, 3}, {&lab, 1, 1, 3}, {&hole, 1, 1, 3},
               {&rgb, 1, 1, -1}, {&rgb, -1, 1, 3}, {&rgb, 8, 1, 3},  {&rgb, 1, 8, 3}};
  for (const Case& c : cases) EXPECT_EQ(IPRedEye(*c.b, c.x, c.y, c.radius), kBadArg);
  auto alerts = host().Of(Kind::Alert);
  ASSERT_EQ(alerts.size(), std::size(cases));
  EXPECT_NE(alerts[0].text.find("red eye"), std::string::npos);
  EXPECT_EQ(IPRedEye(rgb, 7, 7, 0), kOk);
}

}  // namespace
