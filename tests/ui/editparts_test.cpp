// The editing window's parts that need no window: readouts, the view's zoom
// and pan, the black/white point click and handle rules, the hue ring's
// geometry and drag limits, and the GUI's command line.
#include <gtest/gtest.h>

#include <cmath>

#include "correct/tavelinpars.h"
#include "support/scratch.h"
#include "ui/appmain.h"
#include "ui/huering.h"
#include "ui/levelscontrol.h"
#include "ui/readouts.h"
#include "ui/viewgeometry.h"

namespace {

TEST(Readouts, EachModelFormatsItsNumbers) {
  struct Case {
    float rgb[3];
    int model;
    const char* text;
  } cases[] = {
      {{1.0f, 0.5f, 0.0f}, kReadoutRGB, "R:255 G:128 B:  0"},
      {{1.0f, 0.5f, 0.0f}, kReadoutHSB, "H: 30 S:100 B:100"},
      {{0.2f, 0.2f, 0.2f}, kReadoutHSB, "H:  0 S:  0 B: 20"},
      {{0.0f, 0.0f, 1.0f}, kReadoutHSB, "H:240 S:100 B:100"},
      {{1.0f, 0.5f, 0.0f}, kReadoutCMYK, "C:  0 M: 50 Y:100 K:  0"},
      {{0.0f, 0.0f, 0.0f}, kReadoutCMYK, "C:  0 M:  0 Y:  0 K:100"},
      {{0.5f, 0.25f, 0.25f}, kReadoutCMYK, "C:  0 M: 50 Y: 50 K: 50"},
      {{1.2f, -0.1f, NAN}, kReadoutRGB, "R:255 G:  0 B:  0"},  // clamped; NaN counts as 0
  };
  for (const Case& c : cases) {
    ReadoutValues v;
    ASSERT_EQ(ReadoutFromColour(c.rgb, c.model, &v), 0);
    EXPECT_EQ(FormatReadout(v), c.text);
  }
  ReadoutValues v;
  EXPECT_EQ(ReadoutFromColour(cases[0].rgb, 3, &v), kBadArg);
}

TEST(ViewGeometry, FitThenTheFilesOwnPixelsAtAPointAndPanWithinTheImage) {
  ViewGeometry g;
  // A 4001 x 2501 file whose display image fits the 401 x 300 view's width.
  g.Reset(401, 300, 401, 251, 4001, 2501);
  int32_t ix = 0, iy = 0, fx = 0, fy = 0;
  // Fitted: centred, one device pixel a display pixel, bands above and below.
  EXPECT_TRUE(g.ViewToImage(0, 24, &ix, &iy));
  EXPECT_EQ(ix, 0);
  EXPECT_EQ(iy, 0);
  EXPECT_FALSE(g.ViewToImage(10, 10, &ix, &iy));  // the band above
  EXPECT_TRUE(g.ViewToFile(200, 24 + 125, &fx, &fy));
  EXPECT_EQ(fx, 2000);  // display pixel 200 stands for file pixel 200 x 4000 / 400
  EXPECT_EQ(fy, 1250);

  // 100 % at a view point keeps the file point under it: one device pixel a file pixel.
  int32_t vx = 0, vy = 0;
  g.ImageToView(100, 100, &vx, &vy);
  ASSERT_TRUE(g.SetZoom(kZoom100, vx, vy));
  EXPECT_DOUBLE_EQ(g.Scale(), 1.0);
  ASSERT_TRUE(g.ViewToFile(vx, vy, &fx, &fy));
  EXPECT_NEAR(fx, 1000, 5);
  EXPECT_NEAR(fy, 1000, 5);
  ASSERT_TRUE(g.ViewToFile(vx + 7, vy, &ix, &iy));
  EXPECT_EQ(ix, fx + 7);
  ASSERT_TRUE(g.ViewToImage(vx, vy, &ix, &iy));  // the tools still get display pixels
  EXPECT_EQ(ix, 100);
  EXPECT_EQ(iy, 100);
  int32_t x0, y0, x1, y1;
  g.VisibleFileRect(&x0, &y0, &x1, &y1);
  EXPECT_EQ(x1 - x0, 401);  // the pane's width in file pixels, give or take a partial one
  // 200 %: two device pixels a file pixel, about the same point.
  ASSERT_TRUE(g.ZoomStep(1, vx, vy));
  EXPECT_EQ(g.zoom, kZoom200);
  ASSERT_TRUE(g.ViewToFile(vx, vy, &ix, &iy));
  EXPECT_NEAR(ix, fx, 1);
  ASSERT_TRUE(g.ViewToFile(vx + 2, vy, &x0, &y0));
  EXPECT_EQ(x0, ix + 1);
  EXPECT_FALSE(g.ZoomStep(1, vx, vy));  // the last step

  // Panning stops where the file's edge meets the pane's.
  g.Pan(100000, 100000);
  EXPECT_TRUE(g.ViewToFile(0, 0, &fx, &fy));
  EXPECT_EQ(fx, 0);
  EXPECT_EQ(fy, 0);
  EXPECT_FALSE(g.Pan(10, 10));
  g.Pan(-100000, -100000);
  EXPECT_TRUE(g.ViewToFile(400, 299, &fx, &fy));
  EXPECT_EQ(fx, 4000);
  EXPECT_EQ(fy, 2500);

  // Half the pane (side by side): the zoom and the centre stay.
  const double centre = g.centreX;
  g.SetPane(198, 300);
  EXPECT_EQ(g.zoom, kZoom200);
  EXPECT_DOUBLE_EQ(g.centreX, centre);
  EXPECT_TRUE(g.ViewToFile(99, 150, &fx, &fy));
  EXPECT_NEAR(fx, centre, 1);
  // A file smaller than the pane stays centred when zoomed; the fit does not pan.
  ASSERT_TRUE(g.SetZoom(kZoomFit, 0, 0));
  EXPECT_FALSE(g.Pan(5, 5));
  EXPECT_DOUBLE_EQ(g.Scale(), 198.0 / 401.0);  // the fit shrinks into the half pane
  g.Reset(400, 300, 100, 80, 100, 80);
  ASSERT_TRUE(g.SetZoom(kZoom200, 10, 10));
  EXPECT_FALSE(g.Pan(30, 30));
  EXPECT_TRUE(g.ViewToFile(200, 150, &fx, &fy));
  EXPECT_EQ(fx, 50);
  EXPECT_EQ(fy, 40);
}

TEST(LevelsControl, ClickSetsThePointTheBrightnessIsNearest) {
  TavelinPars p;
  ASSERT_EQ(InitTavelinPars(&p), 0);
  struct Case {
    double v;
    int which;
    float black, gray, white;
  } cases[] = {
      {0.9, kLevelsWhite, 0.0f, 0.5f, 0.9f},   // above (m + w) / 2 = 0.75
      {0.6, kLevelsGray, 0.0f, 0.6f, 1.0f},    // between 0.25 and 0.75: (v - b) / (w - b)
      {0.1, kLevelsBlack, 0.1f, 0.5f, 1.0f},   // at or below (b + m) / 2
      {0.25, kLevelsBlack, 0.25f, 0.5f, 1.0f}, // the boundary goes to black
  };
  for (const Case& c : cases) {
    TavelinPars q = p;
    int which = -1;
    bool changed = false;
    ASSERT_EQ(LevelsClick(&q, c.v, &which, &changed), 0);
    EXPECT_EQ(which, c.which) << c.v;
    EXPECT_TRUE(changed);
    EXPECT_FLOAT_EQ(q.blackPoint, c.black);
    EXPECT_NEAR(q.grayPoint, c.gray, 1e-6);
    EXPECT_FLOAT_EQ(q.whitePoint, c.white);
  }
  // The point already has that value: nothing changes.
  TavelinPars q = p;
  int which = -1;
  bool changed = true;
  ASSERT_EQ(LevelsClick(&q, 1.0, &which, &changed), 0);
  EXPECT_EQ(which, kLevelsWhite);
  EXPECT_FALSE(changed);
}

TEST(LevelsControl, HandlesKeepTheirOrderWhenDragged) {
  TavelinPars p;
  ASSERT_EQ(InitTavelinPars(&p), 0);
  bool changed = false;
  EXPECT_EQ(LevelsHandleHit(p, 0.49, 0.02), kLevelsGray);
  EXPECT_EQ(LevelsHandleHit(p, 0.3, 0.02), -1);
  ASSERT_EQ(LevelsDragHandle(&p, kLevelsWhite, 0.8, &changed), 0);
  EXPECT_FLOAT_EQ(p.whitePoint, 0.8f);
  ASSERT_EQ(LevelsDragHandle(&p, kLevelsBlack, 0.95, &changed), 0);  // not past the white point
  EXPECT_NEAR(p.blackPoint, 0.8 - kLevelsMinGap, 1e-6);
  ASSERT_EQ(LevelsDragHandle(&p, kLevelsGray, 0.0, &changed), 0);  // gray stays between them
  EXPECT_NEAR(p.grayPoint, 0.01, 1e-6);
  ASSERT_EQ(LevelsDragHandle(&p, kLevelsWhite, 0.1, &changed), 0);
  EXPECT_NEAR(p.whitePoint, p.blackPoint + kLevelsMinGap, 1e-6);
  EXPECT_EQ(ValidateTavelinPars(&p), 0);
}

TEST(HueRing, GeometryAndTheBeforeHueLimits) {
  const HueRingLayout l = HueRingLayoutFor(QRect(0, 0, 240, 240));
  for (double hue : {0.0, 45.0, 200.0, 359.0}) {
    double x, y;
    HueRingPoint(l, hue, l.beforeR, &x, &y);
    EXPECT_NEAR(HueRingHueAt(l, x, y), hue, 1e-6);
  }
  TavelinPars p;
  ASSERT_EQ(InitTavelinPars(&p), 0);  // handles at 0, 60, ..., 300
  // Entry 1 (60) lives between 5 and 115; entry 0 (0) between 305 and 55, through 0.
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 1, 90.0), 90.0);
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 1, 118.0), 115.0);
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 1, 2.0), 5.0);
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 0, 350.0), 350.0);
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 0, 300.0), 305.0);
  EXPECT_DOUBLE_EQ(LimitBeforeHue(p, 0, 58.0), 55.0);

  // Dragging a knob keeps the record valid and the handle's identity.
  int id = 0;
  ASSERT_EQ(DragHueKnob(&p, 1, kHueKnobAfter, 90.0, &id), 0);
  EXPECT_EQ(id, 7);
  int index = -1;
  ASSERT_EQ(HandleIdToIndex(&p, id, &index), 0);
  EXPECT_NEAR(std::fmod(p.hue[index].baseHue + p.hue[index].hueShift, 360.0f), 90.0f, 1e-4);
  int knob = -1, hit = -1;
  double x, y;
  HueRingPoint(l, p.hue[index].baseHue + p.hue[index].hueShift, l.afterR, &x, &y);
  ASSERT_TRUE(HueRingHit(l, p, index, x, y, &hit, &knob));
  EXPECT_EQ(hit, index);
  EXPECT_EQ(knob, kHueKnobAfter);
  EXPECT_EQ(ValidateTavelinPars(&p), 0);
}

TEST(AppArguments, FilesBecomeAbsoluteAndOptionsAreRead) {
  char prog[] = "tavelin", diag[] = "--diagnostics", samples[] = "--samples", folder[] = "pics", file[] = "a b.tif",
       dashed[] = "-x", bad[] = "--frobnicate", end[] = "--", dashFile[] = "-odd.tif";
  {
    char* argv[] = {prog, diag, samples, folder, file};
    const AppArguments a = ParseAppArguments(5, argv);
    EXPECT_TRUE(a.diagnostics);
    ASSERT_EQ(a.files.size(), 1u);
    EXPECT_EQ(a.files[0].front(), '/');
    EXPECT_EQ(a.files[0].substr(a.files[0].size() - 8), "/a b.tif");  // spaces kept, no quoting rules
    EXPECT_EQ(a.samplesFolder.substr(a.samplesFolder.size() - 5), "/pics");
    EXPECT_TRUE(a.error.empty());
  }
  {
    char* argv[] = {prog, bad, dashed};
    EXPECT_EQ(ParseAppArguments(3, argv).error, "--frobnicate");  // the first one not understood
    char* argv2[] = {prog, end, dashFile};  // after "--" everything is a file
    const AppArguments a = ParseAppArguments(3, argv2);
    EXPECT_TRUE(a.error.empty());
    ASSERT_EQ(a.files.size(), 1u);
    EXPECT_EQ(a.files[0].substr(a.files[0].size() - 9), "/-odd.tif");
  }
  // Only image files of the folder, by name.
  const std::string dir = FreshDir("samples");
  for (const char* leaf : {"b.jpg", "a.tif", "README.md", "c.bmp"}) WriteFileText(dir + leaf, "x");
  const std::vector<std::string> found = SamplePhotographs(dir);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], dir + "a.tif");
  EXPECT_EQ(found[2], dir + "c.bmp");
}

}  // namespace
