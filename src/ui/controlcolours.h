// The colours the editing window's custom controls (histogram and handles,
// Color Cast wedge, curve, hue ring, swatch, pixel readouts) draw with. They
// all come from the widget's palette, so the controls follow the desktop's
// theme and a dark one reads as well as a light one; only the colours that
// show image data (hues, gray levels, the R, G and B curves) are fixed, and
// those pick a lighter tone on a dark ground.
#pragma once

#include <QColor>
#include <QPalette>

struct ControlColours {
  QColor ground;      // a control's own area: the palette's Base
  QColor ink;         // text and lines on it: Text
  QColor faint;       // hints on it: PlaceholderText
  QColor grid;        // guide lines: a little ink on the ground
  QColor bars;        // histogram bars
  QColor frame;       // outlines: Mid
  QColor window;      // the window's ground around a control: Window
  QColor windowInk;   // text on the window: WindowText
  QColor accent;      // the active handle: Highlight
  bool dark = false;  // the ground is dark
  QColor channel[3];  // R, G and B histogram curves, readable on the ground
};

// `t` of the way from a to b.
QColor MixColours(const QColor& a, const QColor& b, double t);
ControlColours ControlColoursOf(const QPalette& palette);
