#include "ui/viewgeometry.h"

#include <algorithm>
#include <cmath>

void ViewGeometry::Reset(int32_t viewW, int32_t viewH, int32_t imageW, int32_t imageH, int32_t fileW, int32_t fileH) {
  viewWidth = std::max(viewW, 0);
  viewHeight = std::max(viewH, 0);
  imageWidth = std::max(imageW, 0);
  imageHeight = std::max(imageH, 0);
  fileWidth = fileW > 0 ? fileW : imageWidth;
  fileHeight = fileH > 0 ? fileH : imageHeight;
  zoom = kZoomFit;
  centreX = fileWidth / 2.0;
  centreY = fileHeight / 2.0;
}

void ViewGeometry::SetPane(int32_t viewW, int32_t viewH) {
  viewWidth = std::max(viewW, 0);
  viewHeight = std::max(viewH, 0);
  ClampCentre();
}

double ViewGeometry::Scale() const {
  if (zoom == kZoom100) return 1.0;
  if (zoom == kZoom200) return 2.0;
  if (imageWidth < 1 || imageHeight < 1) return 1.0;
  return std::min({1.0, (double)viewWidth / imageWidth, (double)viewHeight / imageHeight});
}

void ViewGeometry::Origin(double* x, double* y) const {
  const double s = Scale();
  if (!Zoomed()) {
    *x = std::floor((viewWidth - imageWidth * s) / 2.0);
    *y = std::floor((viewHeight - imageHeight * s) / 2.0);
    return;
  }
  // Whole pane pixels, so that file pixels land on pixel boundaries.
  *x = std::floor(viewWidth / 2.0 - centreX * s);
  *y = std::floor(viewHeight / 2.0 - centreY * s);
}

double ViewGeometry::FileX(double ix) const {
  return imageWidth > 1 ? ix * (fileWidth - 1) / (imageWidth - 1) : 0.0;
}
double ViewGeometry::FileY(double iy) const {
  return imageHeight > 1 ? iy * (fileHeight - 1) / (imageHeight - 1) : 0.0;
}
int32_t ViewGeometry::ImageX(double fx) const {
  if (fileWidth <= 1) return 0;
  return std::clamp((int32_t)std::lround(fx * (imageWidth - 1) / (fileWidth - 1)), 0, std::max(imageWidth - 1, 0));
}
int32_t ViewGeometry::ImageY(double fy) const {
  if (fileHeight <= 1) return 0;
  return std::clamp((int32_t)std::lround(fy * (imageHeight - 1) / (fileHeight - 1)), 0, std::max(imageHeight - 1, 0));
}

bool ViewGeometry::ViewToFile(int32_t vx, int32_t vy, int32_t* fx, int32_t* fy) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  if (!Zoomed()) {
    int32_t ix, iy;
    const bool inside = ViewToImage(vx, vy, &ix, &iy);
    *fx = (int32_t)std::lround(FileX(ix));
    *fy = (int32_t)std::lround(FileY(iy));
    return inside;
  }
  const double x = std::floor((vx - ox) / s), y = std::floor((vy - oy) / s);
  *fx = (int32_t)x;
  *fy = (int32_t)y;
  return x >= 0 && y >= 0 && x < fileWidth && y < fileHeight;
}

bool ViewGeometry::ViewToImage(int32_t vx, int32_t vy, int32_t* ix, int32_t* iy) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  if (Zoomed()) {
    int32_t fx, fy;
    const bool inside = ViewToFile(vx, vy, &fx, &fy);
    *ix = inside ? ImageX(fx) : (fx < 0 ? -1 : imageWidth);
    *iy = inside ? ImageY(fy) : (fy < 0 ? -1 : imageHeight);
    if (inside) return true;
    // Outside: the nearest display pixel on the far side, for a drag off the picture.
    if (fx >= 0 && fx < fileWidth) *ix = ImageX(fx);
    if (fy >= 0 && fy < fileHeight) *iy = ImageY(fy);
    return false;
  }
  const double fx = std::floor((vx - ox) / s), fy = std::floor((vy - oy) / s);
  *ix = (int32_t)fx;
  *iy = (int32_t)fy;
  return fx >= 0 && fy >= 0 && fx < imageWidth && fy < imageHeight;
}

void ViewGeometry::ImageToView(int32_t ix, int32_t iy, int32_t* vx, int32_t* vy) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  const double x = Zoomed() ? FileX(ix) : ix, y = Zoomed() ? FileY(iy) : iy;
  *vx = (int32_t)std::floor(ox + (x + 0.5) * s);
  *vy = (int32_t)std::floor(oy + (y + 0.5) * s);
}

void ViewGeometry::ClampCentre() {
  if (!Zoomed()) return;
  const double s = Scale();
  // Half the pane in file pixels; a side the pane covers whole stays centred.
  const double hx = viewWidth / (2.0 * s), hy = viewHeight / (2.0 * s);
  if (fileWidth * s <= viewWidth) centreX = fileWidth / 2.0;
  else centreX = std::clamp(centreX, hx, fileWidth - hx);
  if (fileHeight * s <= viewHeight) centreY = fileHeight / 2.0;
  else centreY = std::clamp(centreY, hy, fileHeight - hy);
}

bool ViewGeometry::SetZoom(int32_t next, int32_t vx, int32_t vy) {
  next = std::clamp(next, (int32_t)kZoomFit, kViewMaxZoom);
  if (next == zoom) return false;
  if (next == kZoomFit) {
    zoom = kZoomFit;
    centreX = fileWidth / 2.0;
    centreY = fileHeight / 2.0;
    return true;
  }
  // The file point under (vx, vy) now, as a continuous position.
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  double px = (vx - ox) / s, py = (vy - oy) / s;
  if (!Zoomed()) {
    px = FileX(px - 0.5) + 0.5;
    py = FileY(py - 0.5) + 0.5;
  }
  px = std::clamp(px, 0.0, (double)fileWidth);
  py = std::clamp(py, 0.0, (double)fileHeight);
  zoom = next;
  const double t = Scale();
  centreX = px - (vx - viewWidth / 2.0) / t;
  centreY = py - (vy - viewHeight / 2.0) / t;
  ClampCentre();
  return true;
}

bool ViewGeometry::ZoomStep(int step, int32_t vx, int32_t vy) {
  const int32_t next = zoom + (step > 0 ? 1 : -1);
  if (next < kZoomFit || next > kViewMaxZoom) return false;
  return SetZoom(next, vx, vy);
}

bool ViewGeometry::Pan(int32_t dx, int32_t dy) {
  if (!Zoomed()) return false;
  const double oldX = centreX, oldY = centreY;
  const double s = Scale();
  centreX -= dx / s;
  centreY -= dy / s;
  ClampCentre();
  return centreX != oldX || centreY != oldY;
}

void ViewGeometry::VisibleFileRect(int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) const {
  double ox, oy;
  Origin(&ox, &oy);
  const double s = Scale();
  if (!Zoomed()) {
    *x0 = *y0 = 0;
    *x1 = fileWidth;
    *y1 = fileHeight;
    return;
  }
  *x0 = std::clamp((int32_t)std::floor(-ox / s), 0, fileWidth);
  *y0 = std::clamp((int32_t)std::floor(-oy / s), 0, fileHeight);
  *x1 = std::clamp((int32_t)std::ceil((viewWidth - ox) / s), 0, fileWidth);
  *y1 = std::clamp((int32_t)std::ceil((viewHeight - oy) / s), 0, fileHeight);
}
