#include "ui/viewgeometry.h"

#include <algorithm>
#include <cmath>

void ViewGeometry::Reset(int32_t viewW, int32_t viewH, int32_t imageW, int32_t imageH) {
  viewWidth = std::max(viewW, 0);
  viewHeight = std::max(viewH, 0);
  imageWidth = std::max(imageW, 0);
  imageHeight = std::max(imageH, 0);
  zoom = 0;
  centreX = imageWidth / 2.0;
  centreY = imageHeight / 2.0;
}

void ViewGeometry::Origin(double* x, double* y) const {
  const double s = Scale();
  // Whole view pixels, so that image pixels land on pixel boundaries.
  *x = std::floor(viewWidth / 2.0 - centreX * s);
  *y = std::floor(viewHeight / 2.0 - centreY * s);
}

bool ViewGeometry::ViewToImage(int32_t vx, int32_t vy, int32_t* ix, int32_t* iy) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  const double fx = std::floor((vx - ox) / s), fy = std::floor((vy - oy) / s);
  *ix = (int32_t)fx;
  *iy = (int32_t)fy;
  return fx >= 0 && fy >= 0 && fx < imageWidth && fy < imageHeight;
}

void ViewGeometry::ImageToView(int32_t ix, int32_t iy, int32_t* vx, int32_t* vy) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  *vx = (int32_t)std::floor(ox + (ix + 0.5) * s);
  *vy = (int32_t)std::floor(oy + (iy + 0.5) * s);
}

void ViewGeometry::ClampCentre() {
  const double s = Scale();
  // Half the view in image pixels; a side the view covers whole stays centred.
  const double hx = viewWidth / (2.0 * s), hy = viewHeight / (2.0 * s);
  if (imageWidth * s <= viewWidth) centreX = imageWidth / 2.0;
  else centreX = std::clamp(centreX, hx, imageWidth - hx);
  if (imageHeight * s <= viewHeight) centreY = imageHeight / 2.0;
  else centreY = std::clamp(centreY, hy, imageHeight - hy);
}

bool ViewGeometry::ZoomStep(int step, int32_t ix, int32_t iy) {
  const int32_t next = zoom + (step > 0 ? 1 : -1);
  if (next < 0 || next > kViewMaxZoom) return false;
  if (next == 0) {
    zoom = 0;
    centreX = imageWidth / 2.0;
    centreY = imageHeight / 2.0;
    return true;
  }
  // Keep the point where it is on the screen: its view position before the
  // step fixes the new centre.
  int32_t vx, vy;
  ImageToView(ix, iy, &vx, &vy);
  zoom = next;
  const double s = Scale();
  centreX = (ix + 0.5) - (vx - viewWidth / 2.0) / s;
  centreY = (iy + 0.5) - (vy - viewHeight / 2.0) / s;
  ClampCentre();
  return true;
}

bool ViewGeometry::Pan(int32_t dx, int32_t dy) {
  const double oldX = centreX, oldY = centreY;
  const double s = Scale();
  centreX -= dx / s;
  centreY -= dy / s;
  ClampCentre();
  return centreX != oldX || centreY != oldY;
}

void ViewGeometry::VisibleImageRect(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  *x0 = std::clamp((int32_t)std::floor(-ox / s), 0, imageWidth);
  *y0 = std::clamp((int32_t)std::floor(-oy / s), 0, imageHeight);
  *x1 = std::clamp((int32_t)std::ceil((viewWidth - ox) / s), 0, imageWidth);
  *y1 = std::clamp((int32_t)std::ceil((viewHeight - oy) / s), 0, imageHeight);
}
