// Targa module (format 2): reads uncompressed colour-mapped (8-bit indexes,
// 15/16/24/32-bit map entries), true-colour (16, 24, 32-bit; alpha dropped)
// and 8-bit gray images; writes 8-bit gray or 24-bit RGB, bottom-up. Rows are
// at computable places, so they may be read in any order. The file has no
// resolution: reading gives -1.
//
// Recognition: Targa files have no signature, so a file is taken for one
// only when its name ends in .tga (or .targa, .icb, .vda, .vst, in any case)
// and every field of its header is consistent; anything else is not Targa
// (kFormatErr, not recognised).
//
// Refusals: a header that is not Targa's (TargaCheckTRH) or a pixel block
// running past the end of the file: kFormatErr; run-length types 9, 10, 11
// and right-to-left rows: kUnsupported.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

// Whether a path has one of the Targa extensions.
bool TargaFileName(const std::string& path);

// The 18-byte file header, fields as stored (little-endian on disk).
struct TargaHeader {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 0;
  uint16_t colorMapFirst = 0;
  uint16_t colorMapLength = 0;
  uint8_t colorMapEntrySize = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t pixelDepth = 0;
  uint8_t descriptor = 0;
};

void TargaDecodeHeader(const uint8_t bytes[18], TargaHeader& h);
// 0 when the header is one this module reads; kUnsupported for run-length
// types; kFormatErr otherwise.
Status TargaCheckTRH(const TargaHeader& h);

Status TargaOpen(RasImage& image);
Status TargaReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status TargaWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status TargaClose(RasImage& image);
