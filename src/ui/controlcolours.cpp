#include "ui/controlcolours.h"

#include <algorithm>

QColor MixColours(const QColor& a, const QColor& b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  const auto mix = [t](int x, int y) { return (int)(x + (y - x) * t + 0.5); };
  return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

ControlColours ControlColoursOf(const QPalette& palette) {
  ControlColours c;
  c.ground = palette.color(QPalette::Base);
  c.ink = palette.color(QPalette::Text);
  c.faint = palette.color(QPalette::PlaceholderText);
  c.frame = palette.color(QPalette::Mid);
  c.window = palette.color(QPalette::Window);
  c.windowInk = palette.color(QPalette::WindowText);
  c.accent = palette.color(QPalette::Highlight);
  c.dark = c.ground.lightness() < 128;
  c.grid = MixColours(c.ground, c.ink, 0.15);
  c.bars = MixColours(c.ground, c.ink, 0.7);
  if (c.dark) {
    c.channel[0] = QColor(255, 96, 96);
    c.channel[1] = QColor(96, 224, 112);
    c.channel[2] = QColor(112, 160, 255);
  } else {
    c.channel[0] = QColor(210, 30, 30);
    c.channel[1] = QColor(20, 150, 40);
    c.channel[2] = QColor(30, 80, 220);
  }
  return c;
}
