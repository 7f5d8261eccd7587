// libtiff over the framework's Stream: a TIFF handle whose reads, writes and
// seeks go through the open Stream (file or memory), and whose errors are
// collected as text instead of printed. The handle closes the TIFF (which
// flushes a file being written) but never the Stream, which stays the
// framework's. Warnings are ignored.
#pragma once

#include <string>

#include "base/status.h"
#include "base/stream.h"

typedef struct tiff TIFF;

class TiffHandle {
 public:
  TiffHandle() = default;
  TiffHandle(const TiffHandle&) = delete;
  TiffHandle& operator=(const TiffHandle&) = delete;
  ~TiffHandle() { Close(); }

  // Opens the stream's file with libtiff for reading (the first directory)
  // or writing. kFormatErr with the reason noted
  // when libtiff refuses it. At most 256 MB in one allocation.
  Status OpenRead(Stream& s, const std::string& name);
  Status OpenWrite(Stream& s, const std::string& name);
  // Closes the TIFF; for a written file false when finishing it failed.
  bool Close();
  TIFF* get() const { return tif_; }
  const std::string& LastError() const { return error_; }
  void ClearError() { error_.clear(); }
  void NoteError(const std::string& e) { if (error_.empty()) error_ = e; }
  Stream* stream() const { return stream_; }

 private:
  Status Open(Stream& s, const std::string& name, const char* mode);
  TIFF* tif_ = nullptr;
  Stream* stream_ = nullptr;
  std::string error_;
};
