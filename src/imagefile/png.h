// PNG modules through libpng: format 12 (8 bits per sample) and format 13
// (16 bits per sample), sharing one reader and one writer.
//
// Reading: every PNG colour type and depth. Palettes and gray below 8 bits
// are expanded to 8 bits, 16-bit files stay 16-bit (format 13); a palette
// becomes RGB, transparency (alpha channel or tRNS) is composited over
// white. Interlaced files are decoded whole on open; others row by row,
// restarting the decoder when a row before the current one is asked for.
// iCCP fills the input profile slot, eXIf the input EXIF slot; pHYs in
// pixels per metre becomes dots per inch (unit "unknown": the ratio, with
// ResolutionUnit::kNone). At most 2^30 pixels; ancillary chunks at most
// 16 MB each; a damaged file answers kReadErr or kFormatErr with libpng's
// reason.
//
// Writing: gray or RGB, 8 or 16 bits, not interlaced, with pHYs from the
// resolution, iCCP from the output profile slot and eXIf from the output
// EXIF slot (a profile of another colour space than the image's is left
// out, as PNG requires, with a warning). A failed write deletes the partial
// file.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status PngOpen(RasImage& image);
Status PngReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status PngWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status PngClose(RasImage& image);
