// Ras: the scanline image file framework. Every image the application reads or
// writes passes through here: the recognition of a file by its content and
// the opening of a file, both through the format registry (format.h: each
// module reads and writes one file format row by row), and the records of
// rasimage.h, which this header brings along.
//
// Reading: RasQuery, RasOpenRead(path), RasMakeSl, RasReadSl per row, RasClose.
// Writing: rasInit, the metadata to embed into image.meta, RasCreate(path),
// RasMakeSl, RasWriteSl for rows 0..height-1 in order, RasClose.
#pragma once

#include <string>

#include "imagefile/rasimage.h"

// Recognises the file by content: tries the registry's recognisable modules
// in registration order (formats.cpp: Photo CD, TIFF, 16-bit TIFF, EPS, DCS,
// Targa, BMP, JPEG, Scitex CT, Cineon). On success the record is filled and
// left closed, its meta holding what the file embeds. When no module accepts the file: the status of the
// first module that recognised the signature but refused the file (a broken or
// unsupported variant), else kOpenErr when the file cannot be opened, else
// kFormatErr.
// `options` as for RasOpenRead (a JPEG's reduced scale changes the size described).
Status RasQuery(const std::string& path, RasImage& image, const ReadOptions& options = {});

// mode 'r': the format comes from a preceding RasQuery; 'w': from rasInit.
// Reading replaces image.meta; writing embeds it. Default options. kBadArg for another mode, a record
// already open or an unknown format. Writing, `finalName` is the path the
// file is renamed to once complete (empty: `path`).
Status RasOpen(const std::string& path, char mode, RasImage& image, const std::string& finalName = {});
// The same with the options of the read or of the write as arguments
// (imagemeta.h); kBadArg for an option out of range.
Status RasOpenRead(const std::string& path, RasImage& image, const ReadOptions& options);
Status RasCreate(const std::string& path, RasImage& image, const WriteOptions& options,
                 const std::string& finalName = {});

// `context` followed by the reader's reason for the last failure on this
// thread in brackets (" (strip 3 lies past the end of the file)"), as `info`
// prints it; `context` alone when the reader gave none.
std::string RasWithReason(const std::string& context);

// Short name of a format ("tiff", "tiff16", "jpeg", "bmp", "tga", ...), or "?".
const char* RasFormatName(int32_t format);
