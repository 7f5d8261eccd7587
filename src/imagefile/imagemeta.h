// ImageMeta and the read and write options: what an image carries besides its
// pixels, and the choices a caller makes when it opens or creates a file.
//
// Ownership and invariants
// - An ImageMeta is a plain value owned by the image record (RasImage::meta).
//   A read open fills it from the file; a write open embeds from it what the
//   format holds (FormatTraits::writeMeta) and ignores the rest. Nothing about
//   metadata or options is kept anywhere else, so records on different
//   threads never share state.
// - iccProfile: the bytes of an ICC profile file as stored; a writer embeds
//   IccLength() bytes (the header's size field, bounded by what is stored).
// - exif: the TIFF-structured EXIF data (byte order mark first), without the
//   JPEG "Exif\0\0" prefix and without a length prefix.
// - xmp: the XMP packet (UTF-8 XML). iptc: IPTC-NAA records as the TIFF
//   IPTC tag holds them.
// - The resolution itself is part of the image's description
//   (RasImage::resolution, dots per inch, -1 when none is stated); the meta
//   records the unit the file stated it in, so a writer can keep it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "imagefile/rgbprofile.h"

enum class ResolutionUnit : int32_t {
  kNone = 1,        // a ratio only (TIFF unit 1)
  kInch = 2,
  kCentimetre = 3,
};

struct ImageMeta {
  std::vector<uint8_t> iccProfile;
  std::vector<uint8_t> exif;
  std::vector<uint8_t> xmp;
  std::vector<uint8_t> iptc;
  ResolutionUnit resolutionUnit = ResolutionUnit::kInch;
  int32_t orientation = 0;  // EXIF orientation 1..8; 0: not stated

  bool HasIcc() const { return !iccProfile.empty(); }
  bool HasExif() const { return !exif.empty(); }
  // How many profile bytes a writer embeds: the size field of the profile's
  // header when it is smaller than what is stored, else everything stored.
  uint32_t IccLength() const;
  void Clear() { *this = ImageMeta(); }
};

// Loads a whole file as the profile to embed. kOpenErr / kReadErr; kFormatErr
// for a file too large to embed (the failure noted).
Status MetaLoadIcc(ImageMeta& meta, const std::string& path);
// Writes the profile (IccLength() bytes) to a file. kSysErr when there is none.
Status MetaSaveIcc(const ImageMeta& meta, const std::string& path);
// Removes the thumbnail from the EXIF data where there is one (exif.h); the
// rest of the data is unchanged.
void MetaStripExifThumbnail(ImageMeta& meta);

struct RasImage;
class RasRgbRows;
// Makes the row converter that presents a gray or CMYK file as RGB
// (rasimage.h), from the file as described (colour type, depth, embedded
// profile); null with `why` set when it cannot.
using RasRgbPresenter = std::function<std::unique_ptr<RasRgbRows>(const RasImage& described, std::string& why)>;

// Choices for reading a file; the defaults read it whole and exactly.
struct ReadOptions {
  // JPEG: reduced DCT scale 1, 2, 4 or 8. The file is described and decoded
  // at 1/scale of its size (each side rounded up), much faster.
  int32_t scale = 1;
  // JPEG: 0 accurate integer, 1 fast integer, 2 floating point.
  int32_t dctMethod = 0;
  // JPEG: fast (non-fancy) chroma upsampling.
  bool fastUpsampling = false;
  // Photo CD: the image read, 1 (192 × 128), 2 (384 × 256) or 3 (768 × 512).
  int32_t photoCdResolution = 3;
  // When set, a gray or CMYK file is described and read as RGB through the
  // converter this makes (the colour correction's view of every file); the
  // record's fileColorType keeps what the file holds.
  RasRgbPresenter asRgb;
  // Camera raw: the RGB space the raw data are rendered into, linear (gamma
  // 1), with its linear profile carried: white point and primaries, and the
  // name the profile's description gives. The correction reads raw files in
  // its working space's primaries; the default is sRGB's.
  RgbChromaticities rawSpace = RawSpaceChromaticities(1);
  std::string rawSpaceName = "sRGB";

  Status Check() const;  // kBadArg for a value out of range
};

// Choices for writing a file; the defaults are what every writer wrote before
// options became arguments.
struct WriteOptions {
  int32_t quality = 75;      // JPEG quality 0..100
  int32_t dctMethod = 0;     // JPEG: as ReadOptions::dctMethod
  int32_t smoothing = 0;     // JPEG smoothing factor 0..100
  int32_t restartRows = 1;   // JPEG restart interval in MCU rows, >= 0
  int32_t compression = 1;   // TIFF compression: 1 none, 5 LZW, 8 Deflate
  int32_t predictor = 1;     // TIFF predictor with LZW or Deflate: 1 none, 2 horizontal
  int32_t planar = 1;        // TIFF planar configuration for 3 and 4 channels: 1 or 2
  int32_t byteOrder = 0x4949;  // TIFF byte order: 0x4949 "II" or 0x4D4D "MM"
  bool grayAsPalette = false;  // TIFF: write gray images as palette images
  int32_t epsMode = 0;       // EPS writer variant (eps.h)
  int32_t epsEncoding = 1;   // EPS data: 1 binary, 2 hexadecimal

  Status Check() const;  // kBadArg for a value out of range
};
