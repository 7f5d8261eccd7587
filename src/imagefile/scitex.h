// Scitex CT module (format 3): continuous-tone images of 1, 3 or 4
// separations (gray, RGB, CMYK), 8 bits per sample, behind a 2048-byte header.
//
// Header: "CT" at bytes 80-81; at 1024 the units (0 millimetres, 1 inches),
// at 1025 the separation count (1, 3 or 4), 1026 zero, 1027 the separation
// mask (15 for 4, 7 for 3, one of 1, 2, 4, 8 for 1); at 1028 and 1042 the
// height and width in units as "+.dddddddd" "E" sign and two exponent digits
// (value 0.dddddddd × 10^exponent); at 1056 and 1068 the height and width in
// pixels as "+" and eleven digits. Everything else is zero when written.
//
// Rows from offset 2048, top to bottom; each row holds the separations one
// after the other, each padded to an even number of bytes. A file exactly
// the size of unpadded rows is read unpadded. CMYK samples are stored
// inverted (255 − ink); gray and RGB as they are.
//
// Writing: 1 channel gray (mask 8), 3 channels RGB or Photo CD colour (mask 7),
// 4 channels CMYK (mask 15); other colour types: kBadArg. Sizes are written in
// millimetres. Reading derives the resolution from the width (else the height)
// in pixels and units, rounded to 0.01 dot per inch; -1 when the size is zero
// or the result is above 10^9.
//
// Refusals: any header field outside the above, or rows running past the end
// of the file: kFormatErr.
#pragma once

#include "imagefile/rasimage.h"

Status ScitexCTOpen(RasImage& image);
Status ScitexCTReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status ScitexCTWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status ScitexCTClose(RasImage& image);
