// Shared by the image fuzz targets: writes the input to a per-process file and
// reads it through the framework the way the application does.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "filters/decodeonce.h"
#include "filters/pixelbuffer.h"
#include "imagefile/ras.h"

// The file's extension: formats recognised partly by their name (Targa)
// set their own before including this header.
#ifndef TAVELIN_FUZZ_EXTENSION
#define TAVELIN_FUZZ_EXTENSION ".img"
#endif

// The file is removed when the fuzzer exits.
struct FuzzFile {
  std::string path = "/tmp/tavelin_fuzz_" + std::to_string(::getpid()) + TAVELIN_FUZZ_EXTENSION;
  ~FuzzFile() { std::remove(path.c_str()); }
};

inline const std::string& FuzzPath() {
  static const FuzzFile file;
  return file.path;
}

inline bool FuzzWrite(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(FuzzPath().c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Query, open, read every row (forwards, then one row backwards), close; then
// the single decode of the command line.
inline void FuzzReadImage(const ReadOptions& options = {}) {
  RasImage image;
  if (RasQuery(FuzzPath(), image, options) != kOk) return;
  if ((uint64_t)image.width * image.height > (4u << 20)) return;  // keep each run short
  if (RasOpenRead(FuzzPath(), image, options) != kOk) return;
  RasScanline sl;
  for (uint32_t y = 0; y < image.height; ++y)
    if (RasReadSl(image, y, sl) != kOk) break;
  if (image.height > 1) RasReadSl(image, 0, sl);
  RasClose(image);
  // The command line's single decode: every row into the analysis thumbnail,
  // the rows kept when they fit (a small budget, so both paths are taken).
  static HeldImage held;
  IPRowThumbnail thumbnail;
  if (IPDecodeOnce(FuzzPath(), options, 1 << 20, thumbnail, held) == kOk) {
    PixelBuffer out;
    thumbnail.Finish(out);
  }
  held.Drop();
}
