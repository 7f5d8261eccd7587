// Red-eye correction on a display image (PixelBuffer): from a point the user
// picked, find the red pupil around it and desaturate and darken it with a
// soft edge. Used by the editing view's display filter only; saved images do
// not carry it.
//
// Membership of a pixel (R, G, B scaled to 0..1, hue 0..1, lightness
// (max + min) ÷ 2, HLS saturation): lightness ≥ 0.9 yes (a specular highlight
// does not stop the search); lightness < 0.1 no; saturation < 0.2 no; hue ≥ 0.75
// or < 0.15 yes; else no. The box is found by walking left, right, up and down
// from the point while the next pixel belongs, at most `radius` steps, never
// past the border. A disc around the box's centre is corrected: full weight
// inside 3/4 of its radius, falling linearly (in squared distance) to 0 at the
// edge; each pixel moves towards the gray of 0.6 × its lightness by an amount
// that grows with its saturation. Pixels outside the image are skipped.
#pragma once

#include <cstdint>

#include "filters/pixelbuffer.h"
#include "base/status.h"

// The red-eye request the editing window sets: a point in display-image
// pixels and the search radius (at least 1 to apply).
struct RedEyeRequest {
  int32_t x = -1, y = -1;
  int32_t radius = 0;
};

// Corrects the buffer in place. kBadArg (reported as "red eye") unless the
// buffer is RGB with 3 channels, 1 or 2 bytes per sample, positive width,
// height and steps, all three plane pointers set, radius ≥ 0 and (x, y)
// inside the image.
Status IPRedEye(PixelBuffer& buffer, int32_t x, int32_t y, int32_t radius);
