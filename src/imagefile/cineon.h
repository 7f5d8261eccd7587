// Cineon module (format 8): 10-bit RGB film scans. Samples travel in the
// 16-bit planes as 0..1023 (maximum sample value 1023).
//
// Pixels: one big-endian 32-bit word each, red in bits 31-22, green 21-12,
// blue 11-2, bits 1-0 zero; rows top to bottom, consecutive from the data
// offset without padding, so rows may be read and written in any order.
//
// Reading: the magic 0x802A5FD7 at offset 0 (else kFormatErr); big-endian
// fields: data offset at 4 (at least 1024, the generic header), width at 200,
// height at 204 (the first channel's); a channel count other than 3 (byte 193)
// or a first channel of other than 10 bits (byte 198): kUnsupported; a zero
// size or rows running past the end of the file: kFormatErr. Colour type RGB,
// resolution -1 (the format stores none).
//
// Writing: colour type RGB (or Photo CD colour) with 3 channels, else kBadArg.
// The published 2048-byte header: file information (version "V4.5", the file's
// leaf name, creation date "%Y:%m:%d" and time "%H:%M:%S%Z"), image
// information (orientation 0: left to right, top to bottom; three channels of
// 10 bits, red, green, blue, with the size, data 0..1023.0, quantity 0..2.047;
// the five other channel slots all-one bytes with undefined floats
// 0x7F800000), data format (pixel interleave, 32-bit words left-justified,
// unsigned, positive, no padding); origination and film fields undefined
// (bytes 0xFF, integers 0xFFFFFFFF, floats 0x7F800000, text empty). Data at
// 2048; samples above 1023 are written as 1023.
#pragma once

#include "imagefile/rasimage.h"

Status CineonOpen(RasImage& image);
Status CineonReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status CineonWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status CineonClose(RasImage& image);
