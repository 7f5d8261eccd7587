// DCS module (format 5): a desktop colour separation, one main file and four
// plate files. The main file is an EPS header (writer mode 1: comments only,
// no drawing, no pixels) whose plate comments "%%CyanPlate:", "%%MagentaPlate:",
// "%%YellowPlate:", "%%BlackPlate:" name the plates; each plate is named after
// the main file with "." and one of the letters C, M, Y, K appended, lies in
// the main file's folder and is a single-channel EPS image (writer mode 4).
//
// Plates hold each ink as it prints: the sample is 255 − ink, so a plate shown
// on its own is a gray picture of its separation (dark where the ink goes).
// The module's planes carry ordinary ink values (0 = no ink).
//
// Writing: the plates are written beside the main file under its name plus
// the letter; a main file written under a temporary name (RasOpen's final
// name) names the plates of its final name inside, and its plates are
// renamed with it by the caller (DcsPlatePath of both names).
// Colour type 4 (CMYK) with 4 channels only (else kBadArg); the
// encoding is the EPS module's option; the EPS mode is set for each file and
// restored. A failed open deletes every file it made. The main file's plate
// comments must name the plates exactly, so a path with control characters
// is refused (kBadArg).
//
// Reading: the main file's first line must be the EPS one and its header
// comments must name all four plates (else kFormatErr). Only the leaf of each
// plate name is used, looked up in the main file's folder. A plate that cannot
// be opened answers its status (kOpenErr when missing); plates that are not
// single-channel EPS images of one common size: kFormatErr. Rows may be read
// in any order.
#pragma once

#include "imagefile/rasimage.h"

Status DcsOpen(RasImage& image);
Status DcsReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status DcsWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status DcsClose(RasImage& image);

// The path of plate `k` (0 C, 1 M, 2 Y, 3 K) of the set whose main file is `path`.
std::string DcsPlatePath(const std::string& path, int k);
