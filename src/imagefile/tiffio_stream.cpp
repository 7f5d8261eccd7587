#include "imagefile/tiffio_stream.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <fcntl.h>

#include "imagefile/rasmodule.h"

namespace {

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t size) {
  Stream& s = *static_cast<TiffHandle*>(h)->stream();
  size_t n = (size_t)size;
  if (size <= 0) return 0;
  if (StreamRead(s, buf, n, false) != kOk) return 0;
  return (tmsize_t)n;
}

tmsize_t WriteProc(thandle_t h, void* buf, tmsize_t size) {
  Stream& s = *static_cast<TiffHandle*>(h)->stream();
  size_t n = (size_t)size;
  if (size <= 0) return 0;
  if (StreamWrite(s, buf, n) != kOk) return -1;
  return (tmsize_t)n;
}

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  Stream& s = *static_cast<TiffHandle*>(h)->stream();
  if (StreamSeek(s, (int64_t)off, whence) != kOk) return (toff_t)-1;
  int64_t pos = 0;
  if (StreamTell(s, pos) != kOk) return (toff_t)-1;
  return (toff_t)pos;
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t h) {
  int64_t size = 0;
  if (StreamSize(*static_cast<TiffHandle*>(h)->stream(), size) != kOk) return 0;
  return (toff_t)size;
}

int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorProc(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
  char text[512];
  std::vsnprintf(text, sizeof text, fmt, ap);
  static_cast<TiffHandle*>(user)->NoteError(text);
  return 1;
}

int WarningProc(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

Status TiffHandle::Open(Stream& s, const std::string& name, const char* mode) {
  Close();
  error_.clear();
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return kNoMem;
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 256 << 20);
  TIFFOpenOptionsSetErrorHandlerExtR(opts, ErrorProc, this);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, WarningProc, this);
  stream_ = &s;
  if (StreamSeek(s, 0, 0) != kOk) return RasFail(kSeekErr, "cannot reach the start of the TIFF file");
  tif_ = TIFFClientOpenExt(name.c_str(), mode, this, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                           UnmapProc, opts);
  TIFFOpenOptionsFree(opts);
  if (!tif_) {
    if (error_.empty()) return RasFail(kFormatErr, "libtiff cannot open the file");
    return RasFail(kFormatErr, "%s", error_.c_str());
  }
  return kOk;
}

Status TiffHandle::OpenRead(Stream& s, const std::string& name) { return Open(s, name, "rm"); }
Status TiffHandle::OpenWrite(Stream& s, const std::string& name) { return Open(s, name, "wm"); }

bool TiffHandle::Close() {
  if (!tif_) return true;
  const bool writing = TIFFGetMode(tif_) != O_RDONLY;
  bool ok = true;
  if (writing) ok = TIFFFlush(tif_) == 1 && error_.empty();
  TIFFClose(tif_);
  tif_ = nullptr;
  return ok;
}
