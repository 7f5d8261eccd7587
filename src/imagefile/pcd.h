// Photo CD module (format 6, read only): one of the three small images of a
// Photo CD image pack, 8-bit Photo CD colour (colour type 8): luminance in
// plane 0, the two chrominance components in planes 1 and 2.
//
// File: "PCD_IPI" at offset 2048 (else kFormatErr); the resolution option picks
// the image: 1 = 192 × 128 at offset 8192, 2 = 384 × 256 at 47104, 3 =
// 768 × 512 at 196608 (any other value: kSysErr). The file must reach the
// image's end (else kSeekErr). The image is stored in row pairs of 3 × width
// bytes: luminance of the pair's two rows (width bytes each), then the first
// and the second chrominance component (width ÷ 2 bytes each), sampled once
// per 2 × 2 pixels (4:2:0).
//
// Reading keeps the last two row pairs read, so reading rows in order reads
// every pair once; rows may come in any order. Chrominance is interpolated
// between neighbouring samples with weights 3 : 1, (3a + b + 2) >> 2, first
// between the pair's samples and those of the pair above (even rows) or below
// (odd rows), then along the row the same way (even columns with the sample
// to the left, odd columns to the right); at the image's edges the missing
// neighbour is the sample itself. Resolution -1.
//
// Writing: none (the registry gives the format no writer; opening for
// writing answers kBadArg).
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status PcdOpen(RasImage& image);
Status PcdReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status PcdClose(RasImage& image);
