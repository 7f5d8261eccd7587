// TIFF through libtiff: the reader of the TIFF files the built-in strip
// reader (tiff.cpp) refuses, and the compressed writer. tiff.cpp stays the
// first choice for what it reads and for uncompressed output, so those files
// keep their exact behaviour; this module takes over only beyond that.
//
// Reading: the first directory of a classic or BigTIFF file, every
// compression libtiff decodes (LZW, Deflate, PackBits, JPEG, ZSTD, WebP, …),
// strips or tiles, chunky or planar. Samples: 1/2/4/8-bit and 16-bit
// integers, 16-bit (half) and 32-bit floats, 32-bit integers. Floats are
// taken as 0..1 and clipped there; anything wider than 8 bits becomes a
// 16-bit image (format 10), the rest an 8-bit one (format 1). Colour: gray
// (either photometric), palette (as RGB, or as gray when the map is gray),
// RGB, YCbCr (as RGB), CMYK, CIE and ICC L*a*b* (as 8-bit offset-128 Lab).
// Alpha and other extra samples: the first alpha is composited over white
// (associated or not); further extra samples are dropped.
// One band of rows (a strip, or a row of tiles) is decoded at a time and
// kept; memory is bounded by the band, which may not exceed 256 MB, and the
// image may hold at most 2^30 pixels.
//
// The ICC profile tag fills the input profile slot; the IPTC block is kept
// with the open image for TiffCopyIptc.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

// Opens image.file (mode 'r', stream closed) with libtiff for the module of
// the given depth: a file whose samples belong to the other depth answers
// kFormatErr without being recognised. On success the record is described
// and file->module holds the decoder.
Status TiffLibOpenRead(RasImage& image, bool is16);
// True when the open image's module state is this decoder's.
bool TiffLibOwns(const RasImage& image);
Status TiffLibReadRow(RasImage& image, uint32_t line, RasScanline& sl);
// The open image's IPTC block (4-byte multiple) or null.
const uint8_t* TiffLibIptc(const RasImage& image, uint32_t& bytes);
// The last libtiff compression and predictor tags read (for the module's
// options 8 and 10).
void TiffLibLastCodec(const RasImage& image, int32_t& compression, int32_t& predictor);

// Writing a compressed TIFF: the built-in writer's tags and strip layout
// (rows per strip = 30000 ÷ row bytes, at least 1; chunky or planar; gray,
// RGB, CMYK, 8-bit Lab; 8 or 16 bits; resolution with its unit; the profile
// and IPTC block given), each strip compressed with LZW (5) or Deflate (8),
// with the horizontal predictor when `predictor` is 2. The file state's
// stream is created here; a failure at any point deletes the partial file.
struct TiffLibWriteSetup {
  uint32_t compression = 5, predictor = 1, planar = 1;
  bool bigEndian = false;
  const uint8_t* profile = nullptr;
  uint32_t profileSize = 0;
  const uint8_t* iptc = nullptr;  // a multiple of 4 bytes
  uint32_t iptcBytes = 0;
};
Status TiffLibCreate(RasImage& image, const TiffLibWriteSetup& setup);
Status TiffLibWriteRow(RasImage& image, uint32_t line, const RasScanline& sl);
// Finishes the file (kWriteErr, the file deleted, when that fails).
Status TiffLibCloseWrite(RasImage& image);
