// RasImage: the records of the scanline image file framework (ras.h) and
// what every format module works with: an image record (RasImage)
// describing one open file with its metadata (ImageMeta), a planar row buffer
// (RasScanline), row reading and writing through the module that opened the
// file (format.h), and the attachment slots.
//
// Ownership and invariants
// - RasImage owns its RasFileState (present only while the file is open); the
//   file state owns the stream and the module's private state and names the
//   module that opened it. RasClose frees both; a RasImage destroyed while
//   open is closed by its destructor.
// - RasScanline owns its planes (guarded memory). Exactly one plane set is
//   used: the 8-bit planes when the image's maximum sample value is below 256,
//   the 16-bit planes otherwise. Each used plane holds `width` samples; unused
//   pointers are null. Samples: 0..255 (8-bit), 0..65535 (16-bit TIFF),
//   0..1023 (Cineon, in 16-bit planes).
// - Channel order in the planes: R, G, B; C, M, Y, K (ordinary ink values,
//   0 = no ink); gray alone in plane 0; L, a, b with a and b offset by 128.
// - The image carries its metadata (RasImage::meta, imagemeta.h): a read open
//   or RasQuery replaces it with what the file embeds; a write open embeds it.
//   Options are arguments of the open (RasOpenRead, RasCreate) and stay with
//   the open file (RasFileState::read / write).
// - Nothing here shows a message: operations return a status (0 or a negative
//   code of base/status.h) and RasLastFailure() says why the last one failed;
//   callers report.
// - No process-wide state: records on different threads are independent.
//   RasLastFailure() and RasLastWarning() are per thread.
//
// This module knows no format: the registry of formats (format.h,
// formats.cpp) and the recognition of a file by its content (ras.h) lie above
// the format modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/stream.h"
#include "imagefile/imagemeta.h"

// Format codes. Photo CD, camera raw, HEIC and AVIF are read only.
enum RasFormat : int32_t {
  kRasTiff = 1,       // TIFF, 8 bits per sample
  kRasTarga = 2,
  kRasScitexCT = 3,
  kRasEps = 4,
  kRasDcs = 5,
  kRasPhotoCD = 6,    // read only
  kRasBmp = 7,
  kRasCineon = 8,     // 10 bits per sample
  kRasJpeg = 9,
  kRasTiff16 = 10,    // TIFF, 16 bits per sample
  kRasCameraRaw = 11, // camera raw through LibRaw, 16 bits per sample; read only
  kRasPng = 12,       // PNG, 8 bits per sample
  kRasPng16 = 13,     // PNG, 16 bits per sample
  kRasWebp = 14,      // WebP, 8 bits per sample
  kRasHeif = 15,      // HEIC or AVIF, 8 bits per sample; read only
  kRasHeif16 = 16,    // HEIC or AVIF of 10 or 12 bits, read as 16; read only
  kRasLastFormat = kRasHeif16,
};

// What the channels mean (also the Tintmesh colour-space codes).
enum RasColorType : int32_t {
  kRasRGB = 1,        // 3 channels
  kRasCMYK = 4,       // 4 channels
  kRasGray = 5,       // 1 channel
  kRasLab = 7,        // 3 channels: L 0..255 for 0..100, a and b + 128
  kRasPhotoCDColor = 8,  // 3 channels, written to TIFF as RGB
};

// Private state of a format module; each module derives its own.
struct RasModuleState {
  virtual ~RasModuleState() = default;
};

struct RasScanline {
  uint32_t width = 0;
  int32_t channels = 0;
  uint8_t* plane8[4] = {};
  uint16_t* plane16[4] = {};

  RasScanline() = default;
  RasScanline(RasScanline&& other) noexcept;
  RasScanline& operator=(RasScanline&& other) noexcept;
  RasScanline(const RasScanline&) = delete;
  RasScanline& operator=(const RasScanline&) = delete;
  ~RasScanline();
};

// Turns the rows of a gray or CMYK file into RGB rows of the same depth
// (ReadOptions::asRgb makes one per open file; colormgmt builds them through
// LittleCMS). Used by one thread at a time.
class RasRgbRows {
 public:
  virtual ~RasRgbRows() = default;
  // `in`: a row as the file holds it (1 or 4 planes); `out`: 3 planes of the
  // same depth; `width` samples each.
  virtual Status Convert(const RasScanline& in, RasScanline& out, uint32_t width) = 0;
};

struct FormatModule;

// One open file. Allocated by RasOpen / RasQuery, freed by RasClose.
struct RasFileState {
  std::string path;
  // Writing: the path the file will finally carry, for formats that name
  // themselves inside (the EPS title, the Cineon file name, the DCS plate
  // names); the same as `path` unless the file is written under a temporary
  // name first.
  std::string name;
  char mode = 0;  // 'r' or 'w'
  Stream stream;  // all reading and writing goes through it
  std::unique_ptr<RasModuleState> module;
  const FormatModule* ops = nullptr;  // the module that opened the file
  ReadOptions read;    // reading: the options the file was opened with
  WriteOptions write;  // writing: the options the file was created with
  // Set by a module's read open once the file's signature is its own, so a
  // later failure is a broken or unsupported file of that format.
  bool recognised = false;
  // Presenting a gray or CMYK file as RGB (ReadOptions::asRgb): the
  // converter, a row as the file holds it, and the file's own channel count
  // and colour type (the module reads with these).
  std::unique_ptr<RasRgbRows> toRgb;
  RasScanline fileRow;
  int32_t fileChannels = 0, fileColorType = 0;
};

struct RasImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t channels = 0;    // 1, 3 or 4
  int32_t colorType = 0;   // RasColorType
  int32_t format = 0;      // RasFormat
  int32_t maxValue = 0;    // 255, 1023 (Cineon) or 65535 (16-bit TIFF, PNG and HEIF, camera raw)
  float resolution = -1;   // dots per inch; -1: the file states none
  ImageMeta meta;          // read: what the file embeds; written: what to embed
  // Read with ReadOptions::asRgb: the colour type the file holds (gray or
  // CMYK) when the record presents it as RGB; 0 otherwise.
  int32_t fileColorType = 0;
  std::unique_ptr<RasFileState> file;  // present while open

  RasImage() = default;
  RasImage(RasImage&&) = default;
  RasImage& operator=(RasImage&&) = default;
  RasImage(const RasImage&) = delete;
  RasImage& operator=(const RasImage&) = delete;
  ~RasImage();

  bool Is16() const { return maxValue >= 256; }
};


// ---- Reading and writing ----------------------------------------------------
// Reading: RasQuery, RasOpenRead(path), RasMakeSl, RasReadSl per row, RasClose.
// Writing: rasInit, the metadata to embed into image.meta, RasCreate(path),
// RasMakeSl, RasWriteSl for rows 0..height-1 in order, RasClose.

// Reads row `line` (0 = top) into the scanline; an empty scanline (width or
// channels 0) gets its planes first. Rows may come in any order (JPEG decodes
// forward and restarts the decoder to go back). kBadArg: line >= height or not
// open for reading; kReadErr / kSeekErr: the file fails.
Status RasReadSl(RasImage& image, uint32_t line, RasScanline& sl);

// Writes row `line` from the scanline's planes. JPEG accepts only the next
// row (or the last one again, ignored); the others seek to the row's place.
Status RasWriteSl(RasImage& image, uint32_t line, const RasScanline& sl);

// Closes the module (which finishes or aborts a codec and closes the stream)
// and frees the file state. Closing a closed record answers kOk.
Status RasClose(RasImage& image);

// Fills a record for writing: a format of the registry that it writes or recognises,
// channels 1, 3 or 4, colour type 1, 4, 5, 7 or 8 (else kBadArg). Sets maxValue by format; no file state.
Status rasInit(RasImage& image, int32_t format, uint32_t width, uint32_t height, int32_t channels,
               int32_t colorType, float resolution);

// Allocates one plane per channel (width bytes, or 2 × width for 16-bit) after
// zeroing the scanline. kBadArg for a channel count other than 1, 3 or 4 (the
// scanline stays empty); kNoMem frees what was allocated. Width 0 allocates
// nothing.
Status RasMakeSl(RasScanline& sl, const RasImage& image);
// Frees every plane and clears the scanline.
Status RasFreeSl(RasScanline& sl);

// The maximum sample value of a format: 65535, 1023 or 255.
int32_t RasMaxValueOf(int32_t format);
// Why the last failing operation on this thread failed, in a few words ("strip 3 lies past
// the end of the file"); empty when it gave no reason. Also written to the
// diagnostics log.
const std::string& RasLastFailure();
// What is wrong with the file last recognised or opened for reading that did
// not stop it from being read ("ICC profile chunk 2 of 2 out of order: the
// embedded profile is left out"); empty when nothing. Cleared by every read
// open and RasQuery.
const std::string& RasLastWarning();
