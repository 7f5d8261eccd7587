// JPEG module (format 9): reads and writes gray, RGB and CMYK JPEG files
// through the system's libjpeg (6b interface), with its own stream source and
// destination, its own marker passes that lift an ICC profile (APP2
// "ICC_PROFILE" chunks) and an EXIF block (APP1 "Exif") into the framework's
// input slots, and APP1/APP2 markers written from the output slots.
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
// the stream at offset 0. The profile pass puts a profile into the input
// profile slot; the EXIF pass the last "Exif" APP1 segment into the input
// EXIF slot. kFormatErr: broken marker structure or ICC chunk order; kNoMem.
Status JpegScanProfile(Stream& s);
Status JpegScanExif(Stream& s);

// Options (process-wide):
//   0 quality when writing, 0..100 (start 75)
//   1 DCT method: 0 accurate integer, 1 fast integer, 2 floating point (start 0)
//   2 smoothing factor when writing, 0..100 (start 0)
//   3 restart interval in MCU rows when writing, >= 0 (start 1)
//   4 fast upsampling when reading, 0 or 1 (start 0)
//   5 reduced DCT scale when reading: 1, 2, 4 or 8 (start 1). A file queried
//     or opened while it is n describes and decodes an image of 1/n the size
//     (each side rounded up), much faster; an open file keeps its scale.
// kBadArg for another option or a value out of range.
Status JpegGetOption(int option, int32_t& value);
Status JpegSetOption(int option, int32_t value);
