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
// - Four process-wide attachment slots hold the ICC profile and the EXIF block
//   read from the last image opened for reading (input slots) and those to be
//   embedded in images written from now on (output slots). The framework owns
//   their bytes; RasGetMeta hands out its own pointer (valid until the slot is
//   next changed: any RasQuery/RasOpen for reading empties the input slots).
//   A profile is the bytes of an ICC profile file (its size field: the first
//   four bytes, big-endian). An EXIF block is a big-endian 32-bit length
//   (counting those four bytes) followed by the TIFF-structured EXIF data.
// - Nothing here shows a message: operations return a status (0 or a negative
//   code of base/status.h) and RasLastFailure() says why the last one failed;
//   callers report.
// - Single-threaded: slots and module options are process-wide.
//
// This module knows no format: the table of formats and the recognition of a
// file by its content are in ras.h, above the format modules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "base/stream.h"
#include "imagefile/imagemeta.h"

// Format codes. Every code but camera raw has a module; Photo CD is read only.
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
  kRasCameraRaw = 11, // no module: open and close answer kUnsupported
  kRasPng = 12,       // PNG, 8 bits per sample
  kRasPng16 = 13,     // PNG, 16 bits per sample
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
};

struct RasImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t channels = 0;    // 1, 3 or 4
  int32_t colorType = 0;   // RasColorType
  int32_t format = 0;      // RasFormat
  int32_t maxValue = 0;    // 255, 1023 (Cineon) or 65535 (16-bit TIFF, camera raw)
  float resolution = -1;   // dots per inch; -1: the file states none
  ImageMeta meta;          // read: what the file embeds; written: what to embed
  std::unique_ptr<RasFileState> file;  // present while open

  RasImage() = default;
  RasImage(RasImage&&) = default;
  RasImage& operator=(RasImage&&) = default;
  RasImage(const RasImage&) = delete;
  RasImage& operator=(const RasImage&) = delete;
  ~RasImage();

  bool Is16() const { return maxValue >= 256; }
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

// ---- Reading and writing ----------------------------------------------------
// Reading: RasQuery, RasOpen(path, 'r'), RasMakeSl, RasReadSl per row, RasClose.
// Writing: rasInit, RasSetMeta for the output attachments, RasOpen(path, 'w'),
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

// Fills a record for writing: format 1..10, channels 1, 3 or 4, colour type
// 1, 4, 5, 7 or 8 (else kBadArg). Sets maxValue by format; no file state.
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
// Why the last failing operation failed, in a few words ("strip 3 lies past
// the end of the file"); empty when it gave no reason. Also written to the
// diagnostics log.
const std::string& RasLastFailure();
// What is wrong with the file last recognised or opened for reading that did
// not stop it from being read ("ICC profile chunk 2 of 2 out of order: the
// embedded profile is left out"); empty when nothing. Cleared with the input
// slots.
const std::string& RasLastWarning();

// ---- Attachment slots ---------------------------------------------------------
enum RasMetaOp : int {
  // RasGetMeta: hand out the slot's pointer (arg: const uint8_t**; null when empty).
  kMetaGetInProfile = 0,
  kMetaGetOutProfile = 2,
  kMetaGetInExif = 7,
  kMetaGetOutExif = 9,
  // RasGetMeta: write the slot to the file at path arg (const char*). A profile
  // is written whole, an EXIF block without its length bytes. Empty: kSysErr.
  kMetaSaveInProfile = 1,
  kMetaSaveOutProfile = 3,
  kMetaSaveInExif = 8,
  kMetaSaveOutExif = 10,
};
enum RasSetMetaOp : int {
  kMetaSetOutProfile = 2,        // arg: profile bytes (size from its header; the caller vouches for it)
  kMetaLoadOutProfile = 3,       // arg: path; the whole file becomes the output profile
  kMetaFreeInProfile = 4,
  kMetaFreeOutProfile = 5,
  kMetaMoveProfileInToOut = 6,
  kMetaSetOutExif = 9,           // arg: an EXIF block (length from its prefix)
  kMetaLoadOutExif = 10,         // arg: path; the whole file, a length prefix added
  kMetaFreeInExif = 11,
  kMetaFreeOutExif = 12,
  kMetaMoveExifInToOut = 13,
  kMetaStripInThumbnail = 14,    // remove the thumbnail from the input EXIF block
  kMetaStripOutThumbnail = 15,   // ... from the output EXIF block
};
Status RasGetMeta(int op, void* arg);
Status RasSetMeta(int op, const void* arg);

// The bytes a slot holds (for a profile: what is stored, which a reader should
// prefer to a header size field it has not checked). 0 when empty. Slot by the
// hand-out op: kMetaGetInProfile, kMetaGetOutProfile, kMetaGetInExif, kMetaGetOutExif.
uint32_t RasMetaSize(int getOp);
// Copies `size` bytes into an output slot (kMetaSetOutProfile or kMetaSetOutExif)
// after checking that the header's size (profile) or length prefix (EXIF) equals
// `size`: kFormatErr otherwise.
Status RasSetMetaBytes(int op, const uint8_t* data, uint32_t size);
// Frees all four slots (at shutdown; also used by tests).
void RasFreeAllMeta();
