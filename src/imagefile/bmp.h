// BMP module (format 7): reads uncompressed Windows bitmaps with 8-bit
// palettes (gray when the palette is all gray, else expanded to RGB) and
// 24-bit pixels, bottom-up or top-down; writes 24-bit RGB or 8-bit gray with a
// gray palette, bottom-up, rows padded to 4 bytes. Rows are at computable
// places, so they may be read and written in any order.
//
// Refusals: no "BM" signature, an OS/2 info header, planes other than 1 or a
// pixel block running past the end of the file: kFormatErr; other depths and
// run-length compression: kUnsupported.
#pragma once

#include "imagefile/rasimage.h"

Status BmpOpen(RasImage& image);
Status BmpReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status BmpWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status BmpClose(RasImage& image);
