// EPS module (format 4): one encapsulated PostScript file carrying one 8-bit
// raster image, gray, RGB or CMYK, written with a prolog that draws it and read
// back only in the layout this module writes (recognised by its "%ImageData:"
// comment). The DCS module builds on it: its plates are EPS files.
//
// File layout: the header (a fixed template of lines, each selected by a
// letter whose set of writer variants contains the current variant, some with
// values filled in), ending with the line "beginimage"; then the pixel data,
// rows top to bottom, each row line-interleaved (all of channel 0, then
// channel 1, ...); then the trailer. Binary data: channels × width bytes per
// row. Hexadecimal data: the row's bytes as upper-case digit pairs, high nibble
// first, 32 bytes (64 digits) to a line, every line (the row's last, shorter
// one too) ended by a newline. Rows lie at computable places, so they may be
// read and written in any order; rows never written read as zero.
//
// Writer variants, from the process-wide mode and the channel count: mode 0
// gives 0 (gray, 1 channel), 1 (RGB, 3) or 2 (CMYK, 4); mode 2 gives 4 (single
// channel with the four plate comments), mode 3 gives 5 (CMYK with the plate
// comments), mode 4 gives 6 (a single-channel plate file, its title keeping
// the extension); any other mode gives 3: the header comments and the plate
// comments only, no drawing and no pixel data (mode 1 is the DCS main file).
// Variants 4 and 5 carry no "%ImageData:" comment, so this reader does not
// take them back. The image's channel count must be the variant's, and the
// resolution (zero or negative: 300) must lie in 10^-6 .. 10^9 dots per inch
// (else kBadArg).
//
// Colour: samples are device values (gray and RGB: 255 white; CMYK: ink, 0 no
// ink). The prolog draws with image / colorimage; where colorimage is missing
// (language level 1 without the colour extension) colour images are drawn as
// gray (77 R + 150 G + 29 B) >> 8, CMYK as 255 − min(255, gray of CMY + K).
//
// Refusals on reading: a first line other than "%!PS-Adobe-3.0 EPSF-3.0", a
// non-comment line before "%ImageData:", seven values that do not parse, no
// "beginimage" line, or pixel data running past the end of the file:
// kFormatErr; other bit depths, channel counts, pad channels, block sizes or
// encodings: kUnsupported. A bad hexadecimal digit in a row: kFormatErr.
#pragma once

#include <cstdint>
#include <string>

#include "imagefile/rasimage.h"

Status EpsOpen(RasImage& image);
Status EpsReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status EpsWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status EpsClose(RasImage& image);

// The writer variant for a mode and a channel count (0..6).
int EpsVariant(int32_t mode, int32_t channels);

// Bytes of pixel data a writer reserves after the header: binary, channels ×
// width × height + 1 (the newline before the trailer); hexadecimal, the rows'
// digit lines. 0 for a variant without data.
int64_t EpsDataSize(int variant, uint32_t width, uint32_t height, int32_t channels, int32_t encoding);

// Builds the header for `image` (size, channels, resolution > 0) and the
// writer mode (WriteOptions::epsMode): `path` gives the title and plate names, `encoding` and
// `dataSize` the data-dependent lines. With `write` false it only measures
// (headerSize); with it true it also writes the header to the image's open
// stream at its current position.
Status DoEpsHeader(RasImage& image, const std::string& path, int32_t mode, int32_t encoding, int64_t dataSize,
                   int64_t& headerSize, bool write);
