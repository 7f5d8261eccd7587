// Camera raw reading through LibRaw: format 11, 16 bits per sample, RGB,
// read only. CR2, NEF, ARW, DNG and the other raw files LibRaw knows are
// recognised by their content; the module is asked before the TIFF
// modules, as many raw files are TIFF files whose image TIFF cannot decode.
//
// The image is demosaiced whole on open with the camera's white balance and
// LibRaw's camera matrix, into the linear RGB space ReadOptions::rawSpace
// gives (gamma 1, no automatic brightening): straight from LibRaw when it
// has those primaries (sRGB, Adobe RGB (1998), Wide Gamut, ProPhoto), else
// rendered in ProPhoto RGB and converted by LittleCMS (relative
// colorimetric, clipped). The linear-gamma profile of those primaries is
// carried (rgbprofile.h). The data being linear 16-bit, the
// correction's linear detection flags them as such. The camera's
// orientation is applied to the pixels. Files above 1 GiB and images of
// more than 2^27 pixels are refused with the reason, and LibRaw's own
// allocations are bounded; a damaged file answers kFormatErr or kReadErr
// with LibRaw's reason.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status CameraRawOpen(RasImage& image);
Status CameraRawDescribe(RasImage& image);
Status CameraRawReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status CameraRawClose(RasImage& image);
