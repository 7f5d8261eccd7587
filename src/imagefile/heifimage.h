// HEIC and AVIF reading through libheif: format 15 (8 bits per sample) and
// format 16 (10 or 12 bits, read as 16), one reader for both.
//
// The primary image is decoded whole on open, with the rotation and mirror
// transforms of the file applied as libheif applies them, as RGB (a
// monochrome image too); alpha is composited over white; 10- and 12-bit
// samples are scaled to 0..65535. Colour: an embedded ICC profile is
// carried as it is; an nclx colour box other than sRGB becomes an RGB
// profile of its primaries and transfer curve (rgbprofile.h), so the colour
// management converts the image into the working space like any other
// profiled input (the HDR transfers PQ and HLG are not tone mapped: they are
// read with the sRGB curve and a warning). EXIF (without its 4-byte offset
// prefix) and XMP blocks are carried. Files above 512 MB and images whose
// decoded pixels need more than 1 GiB are refused with the reason; a damaged
// file answers kFormatErr or kReadErr with libheif's message.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status HeifOpen(RasImage& image);
Status HeifDescribe(RasImage& image);
Status HeifReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status HeifClose(RasImage& image);
