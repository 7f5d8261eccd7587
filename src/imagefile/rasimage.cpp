#include "imagefile/rasimage.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/bytes.h"
#include "base/debuglog.h"
#include "imagefile/exif.h"
#include "imagefile/format.h"
#include "imagefile/rasmodule.h"

namespace {

// Why the last operation on this thread failed, and what was wrong with the
// file last read on it (errno-like: each thread has its own).
thread_local std::string tLastFailure;
thread_local std::string tWarning;

bool ScanlineFits(const RasScanline& sl, const RasImage& image) {
  if (sl.width < image.width || sl.channels < image.channels) return false;
  for (int c = 0; c < image.channels; ++c) {
    if (image.Is16() ? !sl.plane16[c] : !sl.plane8[c]) return false;
  }
  return true;
}

bool Presentable(const RasImage& image) { return image.colorType == kRasGray || image.colorType == kRasCMYK; }

// The file's own channel count and colour type in the record while its
// module works on it, when the record presents the file as RGB.
class FileView {
 public:
  explicit FileView(RasImage& image) : image_(image), channels_(image.channels), colorType_(image.colorType) {
    if (image.file && image.file->toRgb) {
      image.channels = image.file->fileChannels;
      image.colorType = image.file->fileColorType;
    }
  }
  ~FileView() {
    image_.channels = channels_;
    image_.colorType = colorType_;
  }

 private:
  RasImage& image_;
  int32_t channels_, colorType_;
};

}  // namespace

Status RasPresentAsRgb(RasImage& image, const ReadOptions& options) {
  image.fileColorType = 0;
  if (!options.asRgb || !Presentable(image)) return kOk;
  std::string why;
  std::unique_ptr<RasRgbRows> rows = options.asRgb(image, why);
  if (!rows) return RasFail(kFormatErr, "%s", why.empty() ? "the colours cannot be converted to RGB" : why.c_str());
  if (image.file) {
    if (Status st = RasMakeSl(image.file->fileRow, image); st != kOk) return RasFail(st, "no memory for a row");
    image.file->fileChannels = image.channels;
    image.file->fileColorType = image.colorType;
    image.file->toRgb = std::move(rows);
  }
  image.fileColorType = image.colorType;
  image.channels = 3;
  image.colorType = kRasRGB;
  return kOk;
}

// ---- records ------------------------------------------------------------------

RasImage::~RasImage() {
  if (file) RasClose(*this);
}

RasScanline::RasScanline(RasScanline&& other) noexcept { *this = std::move(other); }

RasScanline& RasScanline::operator=(RasScanline&& other) noexcept {
  if (this != &other) {
    RasFreeSl(*this);
    width = other.width;
    channels = other.channels;
    for (int c = 0; c < 4; ++c) {
      plane8[c] = other.plane8[c];
      plane16[c] = other.plane16[c];
      other.plane8[c] = nullptr;
      other.plane16[c] = nullptr;
    }
    other.width = 0;
    other.channels = 0;
  }
  return *this;
}

RasScanline::~RasScanline() { RasFreeSl(*this); }

static std::string FormatReason(const char* format, va_list args) {
  char text[256];
  std::vsnprintf(text, sizeof text, format, args);
  return text;
}

Status RasFail(Status status, const char* format, ...) {
  va_list args;
  va_start(args, format);
  tLastFailure = FormatReason(format, args);
  va_end(args);
  DLog("Ras status = %d: %s", (int)status, tLastFailure.c_str());
  return status;
}

void RasClearFailure() { tLastFailure.clear(); }

void RasSetFailure(const std::string& why) { tLastFailure = why; }

void RasClearWarning() { tWarning.clear(); }

const std::string& RasLastFailure() { return tLastFailure; }

void RasWarn(const char* format, ...) {
  va_list args;
  va_start(args, format);
  tWarning = FormatReason(format, args);
  va_end(args);
  DLog("Ras warning: %s", tWarning.c_str());
}

const std::string& RasLastWarning() { return tWarning; }

Status RasSeekTo(Stream& s, int64_t position) {
  int64_t here = -1;
  if (StreamTell(s, here) == kOk && here == position) return kOk;
  Status st = StreamSeek(s, position, 0);
  return st == kOk ? kOk : kSeekErr;
}

Status RasOpenInput(RasFileState& fs, int64_t& fileSize, void* head, size_t headSize, const char* what) {
  if (StreamOpen(fs.stream, fs.path, kStreamRead) != kOk) return RasFail(kOpenErr, "cannot open %s", fs.path.c_str());
  if (RasStreamSize(fs.stream, fileSize) != kOk) return RasFail(kSeekErr, "cannot measure the file");
  if (headSize && StreamReadExact(fs.stream, head, headSize) != kOk) return RasFail(kFormatErr, "too short for %s", what);
  return kOk;
}

Status RasReadWhole(Stream& s, int64_t fileSize, int64_t limit, std::vector<uint8_t>& bytes, const char* what) {
  if (fileSize > limit)
    return RasFail(kUnsupported, "the %s of %lld bytes is larger than this program reads", what, (long long)fileSize);
  try {
    bytes.assign((size_t)fileSize, 0);
  } catch (const std::bad_alloc&) {
    return RasFail(kNoMem, "no memory to read the %s", what);
  }
  if (RasSeekTo(s, 0) != kOk) return RasFail(kSeekErr, "cannot reach the start of the %s", what);
  if (StreamReadExact(s, bytes.data(), bytes.size()) != kOk) return RasFail(kReadErr, "the %s cannot be read", what);
  return kOk;
}

Status RasReadRowAt(Stream& s, int64_t offset, void* row, size_t bytes, const char* formatName, uint32_t line) {
  if (RasSeekTo(s, offset) != kOk) return RasFail(kSeekErr, "cannot reach %s row %u", formatName, line);
  if (StreamReadExact(s, row, bytes) != kOk) return RasFail(kReadErr, "%s row %u is cut short", formatName, line);
  return kOk;
}

Status RasWriteRowAt(Stream& s, int64_t offset, const void* row, size_t bytes, const char* formatName, uint32_t line) {
  if (RasSeekTo(s, offset) != kOk) return RasFail(kSeekErr, "cannot reach %s row %u", formatName, line);
  if (StreamWriteAll(s, row, bytes) != kOk) return RasFail(kWriteErr, "cannot write %s row %u", formatName, line);
  return kOk;
}

Status RasCheckGrayRgbCmyk(const RasImage& image, const char* files) {
  const int32_t t = image.colorType;
  const int32_t want = t == kRasGray ? 1 : (t == kRasRGB || t == kRasPhotoCDColor) ? 3 : t == kRasCMYK ? 4 : 0;
  if (!want) return RasFail(kBadArg, "%s hold gray, RGB or CMYK images only", files);
  if (image.channels != want)
    return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, image.colorType);
  if (image.width == 0 || image.height == 0) return RasFail(kBadArg, "empty image");
  return kOk;
}

void RasDescribe(RasImage& image, int32_t format, uint32_t width, uint32_t height, int32_t channels,
                 int32_t colorType, float resolution) {
  image.width = width;
  image.height = height;
  image.channels = channels;
  image.colorType = colorType;
  image.resolution = resolution;
  image.format = format;
}

Status RasCreateOutput(RasFileState& fs) {
  const char* path = fs.path.c_str();
  int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {
    // An existing file is written only when it is this user's own plain
    // file with no other name (a temporary file made for it, say) or a
    // character device; never through a link, never someone else's file
    // planted at the name.
    fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    const auto writable = [&]() {
      if (::fstat(fd, &st) != 0) return false;
      if (S_ISCHR(st.st_mode)) return true;
      return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 && ::ftruncate(fd, 0) == 0;
    };
    if (fd >= 0 && !writable()) {
      ::close(fd);
      return RasFail(kOpenErr, "%s exists and is not a file this process may replace", path);
    }
  }
  if (fd < 0) return RasFail(kOpenErr, "cannot create %s: %s", path, std::strerror(errno));
  if (StreamAdoptFd(fs.stream, fd, fs.path, kStreamWrite) != kOk) return RasFail(kOpenErr, "cannot create %s", path);
  return kOk;
}

void RasAbandonOutput(RasFileState& fs) {
  if (!fs.stream.IsOpen()) return;
  const bool onDisk = fs.stream.kind == StreamKind::File;
  StreamClose(fs.stream);
  if (onDisk) StreamDelete(fs.path);
}

Status RasFinishOutput(RasFileState& fs, bool ok) {
  const bool onDisk = fs.stream.kind == StreamKind::File;
  if (ok && StreamClose(fs.stream) == kOk) return kOk;
  if (fs.stream.IsOpen()) RasAbandonOutput(fs);
  else if (onDisk) StreamDelete(fs.path);
  return RasFail(kWriteErr, "cannot finish %s", fs.path.c_str());
}

Status RasCreateOutputWithHeader(RasFileState& fs, const void* header, size_t size, const char* formatName) {
  Status status = RasCreateOutput(fs);
  if (status != kOk) return status;
  if (StreamWriteAll(fs.stream, header, size) != kOk) {
    RasAbandonOutput(fs);
    return RasFail(kWriteErr, "cannot write the %s header", formatName);
  }
  return kOk;
}

Status RasOpenWith(const FormatModule& module, const std::string& path, char mode, RasImage& image,
                   const std::string& finalName, const ReadOptions& read, const WriteOptions& write) {
  if (mode != 'r' && mode != 'w') return kBadArg;
  if (image.file) return RasFail(kBadArg, "the image record is already open");
  RasClearFailure();
  if (mode == 'r') {
    RasClearWarning();
    image.meta.Clear();
  }
  const char* name = module.traits.name;
  if (mode == 'r' && !module.reader) return RasFail(kUnsupported, "%s files are not supported yet", name);
  if (mode == 'w' && !module.writer) return RasFail(kBadArg, "%s files cannot be written", name);
  if (Status st = mode == 'r' ? read.Check() : write.Check(); st != kOk)
    return RasFail(st, "an option for %s files is out of range", name);
  image.file = std::make_unique<RasFileState>();
  image.file->path = path;
  image.file->name = finalName.empty() ? path : finalName;
  image.file->mode = mode;
  image.file->ops = &module;
  image.file->read = read;
  image.file->write = write;
  Status st = mode == 'r' ? module.reader->Open(image) : module.writer->Create(image);
  if (st != kOk) {
    image.file.reset();
    if (mode == 'r') {
      RasClearWarning();
      image.meta.Clear();
    }
    return st;
  }
  image.maxValue = RasMaxValueOf(image.format);
  if (mode == 'r' && (st = RasPresentAsRgb(image, read)) != kOk) {
    const std::string why = RasLastFailure();
    RasClose(image);
    RasSetFailure(why);
    image.meta.Clear();
    return st;
  }
  return kOk;
}

Status RasOpenByMode(RasImage& image, Status (*openRead)(RasImage&), Status (*openWrite)(RasImage&)) {
  const bool writing = image.file->mode == 'w';
  const Status st = writing ? openWrite(image) : openRead(image);
  if (st != kOk && !writing) StreamClose(image.file->stream);
  return st;
}

int32_t RasMaxValueOf(int32_t format) {
  if (format == kRasTiff16 || format == kRasCameraRaw || format == kRasPng16 || format == kRasHeif16) return 65535;
  if (format == kRasCineon) return 1023;
  return 255;
}

Status RasReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  if (!image.file || image.file->mode != 'r') return RasFail(kBadArg, "the image is not open for reading");
  if (line >= image.height) return RasFail(kBadArg, "row %u is outside the image", line);
  const FormatModule* m = image.file->ops;
  if (!m || !m->reader) return kBadArg;
  if (sl.width == 0 || sl.channels == 0 || !ScanlineFits(sl, image)) {
    RasFreeSl(sl);
    Status st = RasMakeSl(sl, image);
    if (st != kOk) return st;
  }
  RasFileState& fs = *image.file;
  if (!fs.toRgb) return m->reader->ReadRow(image, line, sl);
  Status st;
  {
    FileView view(image);
    st = m->reader->ReadRow(image, line, fs.fileRow);
  }
  return st == kOk ? fs.toRgb->Convert(fs.fileRow, sl, image.width) : st;
}

Status RasWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  if (!image.file || image.file->mode != 'w') return RasFail(kBadArg, "the image is not open for writing");
  if (line >= image.height) return RasFail(kBadArg, "row %u is outside the image", line);
  if (!ScanlineFits(sl, image)) return RasFail(kBadArg, "the scanline does not match the image");
  const FormatModule* m = image.file->ops;
  if (!m || !m->writer) return kBadArg;
  return m->writer->WriteRow(image, line, sl);
}

Status RasClose(RasImage& image) {
  if (!image.file) return kOk;
  const FormatModule* m = image.file->ops;
  Status st = kBadArg;
  FileView view(image);
  if (m && image.file->mode == 'r' && m->reader) st = m->reader->Close(image);
  else if (m && image.file->mode == 'w' && m->writer) st = m->writer->Close(image);
  image.file.reset();
  return st;
}

Status rasInit(RasImage& image, int32_t format, uint32_t width, uint32_t height, int32_t channels,
               int32_t colorType, float resolution) {
  // A format of the registry with files of its own: one it writes, or one it
  // recognises (a read-only one is refused by RasOpen); not camera raw, whose
  // files are read only.
  const FormatModule* m = FormatRegistry::Builtin().ByCode(format);
  if (!m || format == kRasCameraRaw || (!m->writer && !m->recognisable)) return kBadArg;
  if (channels != 1 && channels != 3 && channels != 4) return kBadArg;
  if (colorType != kRasRGB && colorType != kRasCMYK && colorType != kRasGray && colorType != kRasLab &&
      colorType != kRasPhotoCDColor)
    return kBadArg;
  if (image.file) return kBadArg;
  RasDescribe(image, format, width, height, channels, colorType, resolution);
  image.maxValue = RasMaxValueOf(format);
  return kOk;
}

Status RasMakeSl(RasScanline& sl, const RasImage& image) {
  RasFreeSl(sl);
  if (image.channels != 1 && image.channels != 3 && image.channels != 4) return kBadArg;
  sl.width = image.width;
  sl.channels = image.channels;
  if (image.width == 0) return kOk;
  for (int c = 0; c < image.channels; ++c) {
    if (image.Is16()) sl.plane16[c] = static_cast<uint16_t*>(MemAllocArray(image.width, 2));
    else sl.plane8[c] = static_cast<uint8_t*>(MemAlloc(image.width));
    if (!sl.plane8[c] && !sl.plane16[c]) {
      RasFreeSl(sl);
      return kNoMem;
    }
  }
  return kOk;
}

Status RasFreeSl(RasScanline& sl) {
  for (int c = 0; c < 4; ++c) {
    MemFree(sl.plane8[c]);
    MemFree(sl.plane16[c]);
    sl.plane8[c] = nullptr;
    sl.plane16[c] = nullptr;
  }
  sl.width = 0;
  sl.channels = 0;
  return kOk;
}
