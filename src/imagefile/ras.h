// Ras: the scanline image file framework. Every image the application reads or
// writes passes through here: the table of format modules (each opens, reads
// row by row, writes row by row and closes one file format), the recognition
// of a file by its content, and the records of rasimage.h, which this header
// brings along.
//
// Reading: RasQuery, RasOpen(path, 'r'), RasMakeSl, RasReadSl per row, RasClose.
// Writing: rasInit, RasSetMeta for the output attachments, RasOpen(path, 'w'),
// RasMakeSl, RasWriteSl for rows 0..height-1 in order, RasClose.
#pragma once

#include <string>

#include "imagefile/rasimage.h"

// Recognises the file by content. Empties the input slots, then tries the
// modules in a fixed order (Photo CD, camera raw, TIFF, 16-bit TIFF, EPS, DCS,
// Targa, BMP, JPEG, Scitex CT, Cineon; camera raw never accepts a file).
// On success the record is filled and left closed, and the input slots hold
// what the file embeds. When no module accepts the file: the status of the
// first module that recognised the signature but refused the file (a broken or
// unsupported variant), else kOpenErr when the file cannot be opened, else
// kFormatErr.
// `options` as for RasOpenRead (a JPEG's reduced scale changes the size described).
Status RasQuery(const std::string& path, RasImage& image, const ReadOptions& options = {});

// mode 'r': the format comes from a preceding RasQuery; 'w': from rasInit.
// Empties the input slots when reading. kBadArg for another mode, a record
// already open or an unknown format. Writing, `finalName` is the path the
// file is renamed to once complete (empty: `path`).
Status RasOpen(const std::string& path, char mode, RasImage& image, const std::string& finalName = {});
// The same with the options of the read or of the write as arguments
// (imagemeta.h); kBadArg for an option out of range.
Status RasOpenRead(const std::string& path, RasImage& image, const ReadOptions& options);
Status RasCreate(const std::string& path, RasImage& image, const WriteOptions& options,
                 const std::string& finalName = {});

// Short name of a format ("tiff", "tiff16", "jpeg", "bmp", "tga", ...), or "?".
const char* RasFormatName(int32_t format);
