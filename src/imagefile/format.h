// Format modules and their registry. A format module is one file that
// defines a reader and/or a writer object for one file format and a function
// returning its FormatModule; formats.cpp registers it with one line. The
// registry decides which module recognises a file (in registration order),
// which one writes a format code, and what each can read and write.
//
// Ownership and invariants
// - The registry owns its modules; a module owns its reader and writer. The
//   built-in registry is built once on first use (thread-safe) and is
//   read-only afterwards, so any thread may use it.
// - Readers and writers are stateless: everything about one open file lives
//   in the image record (RasImage: the description, the metadata, the file
//   state with the options and the module's private state). One reader may
//   serve any number of open files on any threads at once.
// - Format codes are stored in preferences and job files: never reused.
//
// Reader contract (the framework has set up image.file: path, mode 'r', the
// read options, stream closed):
// - Open: opens the stream, checks the signature (setting file->recognised
//   once the file is its own), allocates file->module and fills the
//   description (width, height, channels, colorType, resolution, format;
//   maxValue when it differs from RasMaxValueOf) and image.meta. On failure
//   it leaves the stream closed; the framework frees the file state.
// - Describe: as Open, but only as far as the description and metadata,
//   leaving nothing open (the default opens and closes).
// - ReadRow: the framework has checked the record is open for reading, the
//   line is inside the image and the scanline fits the image.
// - MayBe: a cheap look at the file's first bytes; false skips the module
//   during recognition (the default looks no further and says true).
// Writer contract (image.file: path, final name, mode 'w', the write options;
// the record described by rasInit; image.meta holds what to embed):
// - Create writes the header (a failure deletes the partial file); WriteRow
//   rows 0..height-1 in order; Close finishes the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagefile/rasimage.h"

constexpr uint32_t ColorTypeBit(int32_t colorType) { return 1u << colorType; }

enum FormatDepthBit : uint32_t {
  kDepth8 = 1,   // maxValue 255
  kDepth10 = 2,  // maxValue 1023
  kDepth16 = 4,  // maxValue 65535
};

enum FormatMetaBit : uint32_t {
  kMetaIcc = 1,
  kMetaExif = 2,
  kMetaXmp = 4,
  kMetaIptc = 8,
  kMetaResolution = 16,
  kMetaOrientation = 32,
};

// What a format is and what its module can read and write.
struct FormatTraits {
  int32_t code = 0;           // RasFormat (and new codes above kRasCameraRaw)
  const char* name = "?";     // short name: `info`'s format=, `convert --format`
  std::vector<std::string> extensions;  // lower case, no dot; the first is written
  uint32_t readColorTypes = 0;   // ColorTypeBit set; 0: the module cannot read
  uint32_t writeColorTypes = 0;  // 0: the module cannot write
  uint32_t readDepths = 0, writeDepths = 0;  // FormatDepthBit sets
  uint32_t readMeta = 0, writeMeta = 0;      // FormatMetaBit sets
  // Files a writer makes beside the main one, named by these suffixes of
  // its path (the plates of a DCS set); saved and replaced with it.
  std::vector<std::string> companionSuffixes;
};

// The start of a file under recognition.
struct FileHead {
  const uint8_t* bytes = nullptr;  // the first `size` bytes (up to 64)
  size_t size = 0;
  int64_t fileSize = 0;
  std::string path;
};

class FormatReader {
 public:
  virtual ~FormatReader() = default;
  virtual bool MayBe(const FileHead& head) const;
  virtual Status Open(RasImage& image) const = 0;
  virtual Status Describe(RasImage& image) const;
  virtual Status ReadRow(RasImage& image, uint32_t line, RasScanline& sl) const = 0;
  virtual Status Close(RasImage& image) const = 0;
};

class FormatWriter {
 public:
  virtual ~FormatWriter() = default;
  virtual Status Create(RasImage& image) const = 0;
  virtual Status WriteRow(RasImage& image, uint32_t line, const RasScanline& sl) const = 0;
  virtual Status Close(RasImage& image) const = 0;
};

struct FormatModule {
  FormatTraits traits;
  std::unique_ptr<FormatReader> reader;  // null: the format is not read
  std::unique_ptr<FormatWriter> writer;  // null: the format is not written
  // Whether recognition tries this module (false for a format that must be
  // named, or whose reader only refuses).
  bool recognisable = true;
};

class FormatRegistry {
 public:
  // The built-in formats (formats.cpp).
  static const FormatRegistry& Builtin();

  // Appends a module; recognition tries modules in the order added. A second
  // module with a code already present is refused (false).
  bool Add(std::unique_ptr<FormatModule> module);

  const FormatModule* ByCode(int32_t code) const;
  const FormatModule* ByName(const std::string& name) const;
  // The writable module whose extension list holds the path's extension
  // (case-insensitive); null when none.
  const FormatModule* ByExtension(const std::string& path) const;
  // Whether a readable module lists the path's extension (case-insensitive):
  // the names a folder walk takes for images.
  bool ReadsExtension(const std::string& path) const;
  const std::vector<std::unique_ptr<FormatModule>>& Modules() const { return modules_; }
  // The names of the writable formats, in registration order, joined by `sep`.
  std::string WritableNames(const char* sep) const;

 private:
  std::vector<std::unique_ptr<FormatModule>> modules_;
};

// Registers every built-in format (one line each, in recognition order).
void RegisterBuiltinFormats(FormatRegistry& registry);
