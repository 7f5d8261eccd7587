// JPEG module (format 9): reads and writes gray, RGB and CMYK JPEG files
// through the system's libjpeg (6b interface), with its own stream source and
// destination, its own marker passes that lift an ICC profile (APP2
// "ICC_PROFILE" chunks) and an EXIF block (APP1 "Exif") into the image's
// metadata, and APP1/APP2 markers written from it. The read options
// (scale, DCT method, upsampling) and write options (quality, DCT method,
// smoothing, restart interval) come with the open file.
//
// Rows: the decoder is sequential. Asking for a row before the last one read
// restarts the decoder on the same stream (the attachment slots are not
// touched); asking for the last row again returns it without decoding.
// Writing accepts only the next row (the last one again is ignored).
// CMYK samples are stored inverted in the file (255 - v) and the planes always
// carry ink values.
//
// Errors: the library's fatal errors come back through setjmp/longjmp. Each
// library call runs inside its own small guard function, whose frame holds no
// object with a destructor and is the only jump target while the call runs,
// so a jump never lands in a function that has returned. Fatal errors answer
// kFormatErr during open, kReadErr for rows read, kWriteErr for rows written
// and at close. Data that ends inside the compressed image (a file cut in the
// middle of its scan) answers kReadErr from the row it damages on; a file that
// lacks only its final EOI marker reads normally. The decoder's memory is
// bounded in proportion to the file's size, so a small file claiming a huge
// image is refused instead of allocated for.
#pragma once

#include <cstdint>

#include "imagefile/rasimage.h"

Status JpegOpen(RasImage& image);
// Recognition: the marker passes and the header, no decompression; leaves
// nothing open.
Status JpegQuery(RasImage& image);
Status JpegReadSl(RasImage& image, uint32_t line, RasScanline& sl);
Status JpegWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);
Status JpegClose(RasImage& image);

// The two marker passes over an open stream, each from offset 0 and leaving
// the stream at offset 0. The profile pass puts a profile into meta.iccProfile;
// the EXIF pass the last "Exif" APP1 segment's data into meta.exif.
// kFormatErr: broken marker structure or ICC chunk order; kNoMem.
Status JpegScanProfile(Stream& s, ImageMeta& meta);
Status JpegScanExif(Stream& s, ImageMeta& meta);
