// The display filter of the editing view: turns the display image (image0 of
// the editing context, 8- or 16-bit) into the screen pixel map, row by row:
//   1. the preview transform (the after or the before view; 8-bit out);
//      when a filter preview is asked, the rows go instead through the save
//      stage's own engines (noise filter, correction transform, unsharp
//      mask) so that the view shows what saving will make;
//   2. the clipping display of an Alt-drag on the black or white handle:
//      highlights: every sample below 255 becomes 0; shadows: every sample
//      above 0 becomes 255;
//   3. the red-eye correction at the requested point (display only);
//   4. the working-space-to-monitor transform.
// Plain C++ (no Qt): the window wraps the map in an image to draw it; the
// benchmark drives the same code.
//
// The map is 8-bit RGB, 3 bytes per pixel, `rowBytes` per row (at least
// width × 3), width × height of the display image; the caller owns it.
#pragma once

#include <cstdint>

#include "filters/filterstage.h"
#include "filters/pixelbuffer.h"
#include "filters/redeye.h"
#include "base/status.h"
#include "transform/tintmesh.h"

enum ClipDisplay : int { kClipNone = 0, kClipHighlights = 1, kClipShadows = 2 };

struct ViewRenderJob {
  const PixelBuffer* source = nullptr;        // the display image, 3 channels
  const TintmeshHandle* transform = nullptr;  // the view's preview transform: source depth in, 8-bit out
  const Tintmesh* monitor = nullptr;          // working space to monitor, 8-bit; null: none
  int clip = kClipNone;
  // Filter preview through the save stage's engines (the correction
  // transform is `transform`, read at the source's depth, written 8-bit).
  bool filterPreview = false;
  FilterSettings filters;
  RedEyeRequest redEye;  // radius 0: none
  uint8_t* map = nullptr;
  int32_t rowBytes = 0;
};

// The pixels of context a filter preview needs around the part it shows
// (the noise filter's radius, the unsharp mask's reach), so that the part
// looks as it will in the whole saved image.
int32_t FilterContextPixels(const FilterSettings& filters);

// kBadArg for a job that does not describe one (no source, transform, map;
// a map row too short); the transform's, the filter stage's or the red-eye
// correction's status otherwise.
Status RenderView(const ViewRenderJob& job);

// A view of the map as a PixelBuffer (for the red-eye correction and tests).
PixelBuffer MapAsPixelBuffer(uint8_t* map, int32_t width, int32_t height, int32_t rowBytes);
