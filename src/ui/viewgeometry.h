// ViewGeometry: where the photograph sits in a pane of the editing window's
// image view (the whole view, or one half side by side), its zoom and its pan.
//
// Three zooms: fit (kZoomFit) shows the display image, which SetUpImages made
// to fit the view at the device resolution, at one device pixel per image
// pixel (smaller when a pane is narrower than the view it was made for);
// 100 % and 200 % show the file's own pixels at one and two device pixels
// each (the full-resolution image, fullres.h).
//
// Coordinates: pane points in device pixels (0,0 = the pane's top-left);
// display pixels of the display image (what the tools and the sample points
// use); file pixels of the full-resolution image. Display pixel i stands for
// file position i × (W − 1) ÷ (w − 1), where the resampler takes it from.
//
// Invariants: zoom is kZoomFit..kViewMaxZoom; at fit the picture is centred;
// zoomed, a side larger than the pane never leaves an empty band (the centre
// is clamped) and a side smaller than the pane is centred.
#pragma once

#include <cstdint>

enum ViewZoom : int32_t { kZoomFit = 0, kZoom100 = 1, kZoom200 = 2 };
constexpr int32_t kViewMaxZoom = kZoom200;

struct ViewGeometry {
  int32_t viewWidth = 0, viewHeight = 0;    // the pane, device pixels
  int32_t imageWidth = 0, imageHeight = 0;  // the display image
  int32_t fileWidth = 0, fileHeight = 0;    // the full-resolution image
  int32_t zoom = kZoomFit;
  double centreX = 0, centreY = 0;          // zoomed: the file point (.5 = a pixel's middle) at the pane's centre

  // New sizes: back to the fit. A file size of 0 takes the display image's.
  void Reset(int32_t viewW, int32_t viewH, int32_t imageW, int32_t imageH, int32_t fileW = 0, int32_t fileH = 0);
  // Another pane size (side by side): zoom and centre stay (clamped).
  void SetPane(int32_t viewW, int32_t viewH);
  bool Zoomed() const { return zoom > kZoomFit; }
  // Device pixels per display pixel at fit, per file pixel when zoomed.
  double Scale() const;
  // The picture's top-left corner in pane coordinates (whole pixels; may be negative).
  void Origin(double* x, double* y) const;
  // The display pixel under a pane point; false outside the picture.
  bool ViewToImage(int32_t vx, int32_t vy, int32_t* ix, int32_t* iy) const;
  // The pane point of a display pixel's middle.
  void ImageToView(int32_t ix, int32_t iy, int32_t* vx, int32_t* vy) const;
  // The file pixel under a pane point; false outside the picture.
  bool ViewToFile(int32_t vx, int32_t vy, int32_t* fx, int32_t* fy) const;
  // Display pixels to file positions and back (rounded to a pixel).
  double FileX(double ix) const;
  double FileY(double iy) const;
  int32_t ImageX(double fx) const;
  int32_t ImageY(double fy) const;
  // A zoom, keeping the file point under pane point (vx, vy) where it is
  // (the centre at fit). False when it is the zoom already.
  bool SetZoom(int32_t next, int32_t vx, int32_t vy);
  // One step in (+1) or out (-1) about pane point (vx, vy); false at the end.
  bool ZoomStep(int step, int32_t vx, int32_t vy);
  // Moves the picture by (dx, dy) pane pixels (a Control-drag); false when
  // nothing moved (at fit nothing does).
  bool Pan(int32_t dx, int32_t dy);
  // Zoomed: the file pixels the pane shows, [x0, x1) × [y0, y1).
  void VisibleFileRect(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const;

 private:
  void ClampCentre();
};
