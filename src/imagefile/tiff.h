// TIFF modules: format 1 (8 bits per sample) and format 10 (16 bits per
// sample), sharing the directory reader, the strip reader and writer and one
// set of process-wide options.
//
// Reading: the first image file directory only; uncompressed strips, or tiles
// as wide as the image used as strips; chunky or planar; gray (both
// photometrics, and gray palettes mapped through their table), RGB, palette
// (as RGB), CMYK, CIE L*a*b* (8-bit: a and b turned to offset-128 form). The
// ICC profile tag fills the framework's input profile slot; an IPTC block is
// kept with the open image (see TiffCopyIptc). Every strip must lie inside
// the file and hold the bytes its rows need, so a hostile header cannot make
// the module allocate more than the file's size or read outside it.
//
// Writing: one uncompressed, strip-organised image with the fixed tag set and
// layout (rows per strip = 30000 ÷ row bytes, at least 1); every offset is
// known when the header is written, so nothing is patched at close. The
// output profile slot and a copied IPTC block are embedded. A failed write
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

// Module options (process-wide), by number:
//   0 planar configuration written for 3 and 4 channels: 1 or 2 (start 1)
//   1 byte order written: 0x4949 "II" or 0x4D4D "MM" (start 0x4949)
//   7 write gray images as palette images: 0 or 1 (start 0)
//   8 compression of the last TIFF read (get only; -1 after RasQuery starts)
//   9 compression written: 1 none, 5 LZW, 8 Deflate (start 1); the write
//     options' compression, when not 1, takes precedence
//     (compressed files are written through libtiff, tiffcodec.h)
//  10 predictor of the last TIFF read (get only; -1 after RasQuery starts)
//  11 predictor written with LZW or Deflate: 1 none, 2 horizontal (start 1)
//  1927 LZW switch: 0 (LZW is not built; setting 1 answers kUnsupported)
// Unknown options and values outside these answer kBadArg.
Status TiffGetOption(int option, int32_t& value);
Status TiffSetOption(int option, int32_t value);
// Option 2: copies the IPTC block of an image open for reading as TIFF or
// 16-bit TIFF into the module, to be written into the next TIFF (kBadArg for
// another image; a file without IPTC forgets the copy). Option 3: forgets it.
Status TiffCopyIptc(const RasImage& input);
void TiffForgetIptc();
// RasQuery's reset of options 8 and 10 to -1.
void TiffResetReadMemory();
