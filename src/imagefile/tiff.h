// TIFF modules: format 1 (8 bits per sample) and format 10 (16 bits per
// sample), sharing the directory reader and the strip reader and writer.
//
// Reading: the first image file directory only; uncompressed strips, or tiles
// as wide as the image used as strips; chunky or planar; gray (both
// photometrics, and gray palettes mapped through their table), RGB, palette
// (as RGB), CMYK, CIE L*a*b* (8-bit: a and b turned to offset-128 form). The
// ICC profile tag, the IPTC block (padded to a multiple of 4 bytes) and the
// resolution unit go into the image's metadata. Every strip must lie inside
// the file and hold the bytes its rows need, so a hostile header cannot make
// the module allocate more than the file's size or read outside it.
//
// Writing: one uncompressed, strip-organised image with the fixed tag set and
// layout (rows per strip = 30000 ÷ row bytes, at least 1); every offset is
// known when the header is written, so nothing is patched at close. The
// image's ICC profile and IPTC block are embedded; byte order, planar
// configuration and gray-as-palette come from the write options (only
// uncompressed files are written: LZW is not built). A failed write
// deletes the partial file.
//
// Refusals of the built-in reader: no "II"/"MM" + 42 header: kFormatErr;
// compression, 1-bit, RGBA, floats and other variants: kUnsupported; tag
// values, strips or a directory lying past the end of the file: kReadErr;
// strips that are missing or shorter than their rows: kFormatErr. What it
// refuses as unsupported, and BigTIFF, is then read through libtiff
// (tiffcodec.h), which gives the final answer.
//
// Resolution: a unit of centimetres is converted to dots per inch; "no unit"
// keeps the stated number (ResolutionUnit::kNone in the image's meta). The writer writes the
// record's unit back (centimetres converted again).
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status TiffOpen(RasImage& image);
Status TiffReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status TiffWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status Tiff16Open(RasImage& image);
Status Tiff16ReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status Tiff16WriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
// Closes either module's file.
Status TiffClose(RasImage& image);
