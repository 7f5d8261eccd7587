// The reduced copies built on the resampler (resample.h): the editing view's
// image and the Batchline thumbnail, each in two steps (fast to an
// intermediate size, then filtered), and the navigation thumbnail of the
// sharpen/noise dialog (IPScaleImageDown2).
//
// Reduced decode: the fast first step of both file recipes lets a JPEG be
// decoded at 1/2 or 1/4 scale when the decoded image still has twice the
// step's size (kIPScaleReducedDecode), which is what makes a thumbnail or a
// view of a large JPEG cheap; everything else follows the same steps.
//
// Ownership: each call fills the caller's PixelBuffer (created here, freed by
// the caller or its destructor); intermediates are freed before returning.
// Only IPScaleImageDown2 reports its failure; the file recipes return the
// status for the caller to report with its own context phrase.
#pragma once

#include <cstdint>

#include "filters/pixelbuffer.h"
#include "filters/resample.h"
#include "base/status.h"
#include "transform/tintmesh.h"

constexpr int32_t kThumbnailBox = 180;

// The editing view's image of the file: fits the box (each side at least 2),
// `bytesPerSample` 1 or 2, the file's channels and colour type. When the file
// is more than twice the box in both directions: fast mode to 1.5 × the box
// (rounded down), then filtered mode to the box; otherwise filtered mode
// straight from the file. The progress callback sees the whole as 0..1.
Status IPMakeViewImage(const char* path, int32_t boxWidth, int32_t boxHeight, int32_t bytesPerSample,
                       PixelBuffer& out, const IPProgress& progress = {}, const ReadOptions& read = {});

// The Batchline thumbnail of the file, 8-bit: fast mode into a raster of
// twice the box (never enlarged), then filtered mode into half the size
// reached (each side halved and truncated, but at least 2), so a 300 × 200
// image gives 150 × 100 and a 6000 × 4000 image 180 × 120.
// Turns a buffer (8- or 16-bit) upright for its EXIF orientation (2..8:
// mirrored and/or turned; 5..8 swap width and height); any other value
// leaves it as it is. kBadArg for an unusable buffer; kNoMem keeps it
// unchanged.
Status IPOrient(PixelBuffer& buffer, int32_t orientation);
// Where stored pixel (sx, sy) of a width × height image stands once turned
// upright for `orientation` (values outside 2..8: where it is).
void IPOrientPoint(int32_t orientation, int32_t width, int32_t height, int32_t sx, int32_t sy, int32_t* x,
                   int32_t* y);
// The orientation that takes an upright image back to the stored one.
inline int32_t IPOrientInverse(int32_t orientation) { return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation; }
// Whether turning upright swaps width and height.
inline bool IPOrientSwaps(int32_t orientation) { return orientation >= 5 && orientation <= 8; }

// `read`: how the file is read (ReadOptions::asRgb presents gray and CMYK as RGB).
Status IPMakeThumbnail(const char* path, PixelBuffer& out, int32_t box = kThumbnailBox, const ReadOptions& read = {});

// The navigation thumbnail: the display image scaled (filtered) into the
// navigator area, then every row converted to the monitor through the display
// transform (8-bit paths, as many channels in and out as the image has; null:
// no conversion) into `bitmap` (8-bit, the image's channels). -2 when the
// scaled image is not exactly the area's size; -1 for bad arguments; -3.
// A failure is reported with the context phrase "IPScaleImageDown2".
Status IPScaleImageDown2(const PixelBuffer& display, int32_t areaWidth, int32_t areaHeight,
                         const Tintmesh* displayTransform, PixelBuffer& bitmap);
