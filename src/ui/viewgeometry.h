// ViewGeometry: where the display image sits in the editing window's image
// view, and the zoom and pan of the view. The display image is made to fit
// the view (it is never larger), so the fitted view shows it at one screen
// pixel per image pixel, centred; each zoom step doubles that, up to
// kViewMaxZoom steps (8 screen pixels per image pixel), centred on a chosen
// image point and panned by dragging.
//
// Invariants: zoom is 0..kViewMaxZoom; at zoom 0 the centre is the image's
// centre; a zoomed image never leaves an empty band on a side where it is
// larger than the view (the centre is clamped). Coordinates are integers of
// view pixels (0,0 = top-left of the view) and image pixels.
#pragma once

#include <cstdint>

constexpr int kViewMaxZoom = 3;

struct ViewGeometry {
  int32_t viewWidth = 0, viewHeight = 0;    // the image area
  int32_t imageWidth = 0, imageHeight = 0;  // the display image
  int32_t zoom = 0;                         // 0 fitted; step k shows 2^k screen pixels per image pixel
  double centreX = 0, centreY = 0;          // the image point (in pixels, .5 = a pixel's middle) at the view's centre

  int32_t Scale() const { return 1 << zoom; }
  // A new view or image size: back to the fitted view.
  void Reset(int32_t viewW, int32_t viewH, int32_t imageW, int32_t imageH);
  // The drawn image's top-left corner in view coordinates (may be negative).
  void Origin(double* x, double* y) const;
  // The image pixel under a view point; false outside the image.
  bool ViewToImage(int32_t vx, int32_t vy, int32_t* ix, int32_t* iy) const;
  // The view point of an image pixel's middle.
  void ImageToView(int32_t ix, int32_t iy, int32_t* vx, int32_t* vy) const;
  // One zoom step in (+1) or out (-1), keeping image point (ix, iy) under
  // the view point where it was. False when already at the end.
  bool ZoomStep(int step, int32_t ix, int32_t iy);
  // Moves the image by (dx, dy) view pixels (a Control-drag); false when
  // nothing moved.
  bool Pan(int32_t dx, int32_t dy);
  // The part of the image the view shows, in image pixels: [x0, x1) x [y0, y1).
  void VisibleImageRect(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const;

 private:
  void ClampCentre();
};
