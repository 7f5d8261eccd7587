// The metadata beside the pixels, through exiv2: XMP, IPTC, the EXIF of a
// TIFF file (its descriptive IFD0 tags — ImageDescription, Artist, Copyright
// and the like — its EXIF and GPS directories) and the orientation, read
// from an input and added to a finished output.
//
// Ownership and invariants
// - Plain functions on files and an ImageMeta; exiv2 is set up once (its
//   messages silenced, its XMP toolkit initialised) and is otherwise used
//   by one call at a time per file, so threads and worker processes may call
//   them at once.
// - Reading never fails a read: what exiv2 cannot parse is left out (and
//   logged); the format modules' own metadata (ICC, a JPEG's or PNG's EXIF,
//   a TIFF's IPTC) is not replaced.
// - EXIF taken from a TIFF file keeps only what describes the picture: the
//   TIFF structure tags (size, strips, tiles, compression, samples, the
//   embedded profile, XMP and IPTC) and the thumbnail directory are left out.
//   From a camera raw file only the picture's IFD0 tags, the EXIF directory
//   (without the maker note) and the GPS directory are taken.
// - Writing touches the file only when it has something to add; an output
//   without XMP or IPTC, and without EXIF its writer could not embed, keeps
//   every byte its format module wrote. It works on the finished file before
//   it replaces anything (the save path's temporary file).
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "imagefile/imagemeta.h"

// Adds to `meta` what the file at `path` holds beside what its module read:
// the XMP packet, IPTC (when the module found none), a TIFF or camera raw
// file's EXIF (when empty) and the orientation (1..8; 0 when not stated or,
// for camera raw, whose module turns the pixels, always; its EXIF then says
// "normal").
void MetaReadExtras(const std::string& path, int32_t format, ImageMeta& meta);

// EXIF data holding only the orientation (2..8; empty for any other value):
// what an output whose pixels are not turned keeps when its EXIF is left out.
std::vector<uint8_t> MetaOrientationExif(int32_t orientation);

// Adds to the finished file at `path`, written in `format`, the XMP and IPTC
// of `meta`, and its EXIF where the format module does not embed it (TIFF),
// each only when the file does not hold it already. kWriteErr with `why`
// when exiv2 fails; formats exiv2 cannot write are left alone (kOk).
Status MetaWriteExtras(const std::string& path, int32_t format, const ImageMeta& meta, std::string* why);
