// WebP module through libwebp: format 14, 8 bits per sample, RGB.
//
// Reading: lossy and lossless files, decoded whole on open (WebP has no row
// access); alpha is composited over white. An animated file reads as its
// first frame as shown on the canvas. The ICCP chunk fills the profile, the
// EXIF chunk the EXIF data (an "Exif\0\0" prefix some writers add is
// dropped), the XMP chunk the XMP packet. Files above 256 MB are refused;
// a damaged file answers kFormatErr or kReadErr with the reason.
//
// Writing: gray or RGB images (gray written as RGB, WebP has no gray), at
// most 16383 pixels a side. WriteOptions::quality keeps the JPEG quality's
// meaning: 0..99 is lossy at that WebP quality, 100 is lossless. The rows are
// gathered and encoded when the file is closed (a close before the last row
// deletes the file); ICC (an RGB profile only),
// EXIF and XMP are written as their chunks. A failed write deletes the partial file.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status WebpOpen(RasImage& image);
Status WebpDescribe(RasImage& image);
Status WebpReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status WebpWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status WebpClose(RasImage& image);
