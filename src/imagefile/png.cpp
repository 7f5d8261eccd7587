#include "imagefile/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "imagefile/rasmodule.h"

// libpng reports fatal errors by longjmp to the setjmp of the calling helper;
// the helpers that call libpng (the Guarded* functions) hold no C++ object
// with a destructor, so the jump skips nothing that needs unwinding.
namespace {

constexpr uint64_t kMaxPixels = 1ull << 30;
// An interlaced image is decoded whole: its rows are held at most up to this size.
constexpr uint64_t kMaxInterlacedBytes = 1ull << 30;

struct PngState : RasModuleState {
  png_structp png = nullptr;
  png_infop info = nullptr;
  bool writing = false, failed = false;
  Stream* stream = nullptr;
  char why[200] = {};
  // reading
  bool is16 = false, interlaced = false;
  uint32_t width = 0, height = 0, channels = 0;  // channels as decoded (alpha included)
  uint32_t nextRow = 0;
  size_t rowBytes = 0;
  std::vector<uint8_t> row;      // one decoded row
  std::vector<uint8_t> whole;    // interlaced: every row
  std::vector<png_bytep> rowPointers;
  // writing
  uint32_t outChannels = 0;
  ~PngState() override { Destroy(); }
  void Destroy() {
    if (!png) return;
    if (writing) png_destroy_write_struct(&png, &info);
    else png_destroy_read_struct(&png, &info, nullptr);
    png = nullptr;
    info = nullptr;
  }
};

PngState& StateOf(RasImage& image) { return *static_cast<PngState*>(image.file->module.get()); }

void OnError(png_structp p, png_const_charp message) {
  auto* st = static_cast<PngState*>(png_get_error_ptr(p));
  if (!st->why[0]) std::snprintf(st->why, sizeof st->why, "%s", message);
  png_longjmp(p, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp p, png_bytep data, size_t n) {
  auto* st = static_cast<PngState*>(png_get_io_ptr(p));
  if (StreamReadExact(*st->stream, data, n) != kOk) png_error(p, "the PNG file is cut short");
}
void WriteData(png_structp p, png_bytep data, size_t n) {
  auto* st = static_cast<PngState*>(png_get_io_ptr(p));
  if (StreamWriteAll(*st->stream, data, n) != kOk) png_error(p, "cannot write the PNG file");
}
void FlushData(png_structp) {}

bool HostIsLittle() {
  const uint16_t probe = 1;
  uint8_t b;
  std::memcpy(&b, &probe, 1);
  return b == 1;
}

// ---- guarded libpng calls --------------------------------------------------------------
bool GuardedReadInfo(PngState* st) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_set_user_limits(st->png, 1u << 24, 1u << 24);
  png_set_chunk_malloc_max(st->png, 16u << 20);
  // Text chunks are never read from here (metadata has its own reader), and
  // libpng allocates a text chunk's claimed length before reading it: a
  // damaged length would ask for gigabytes. They are skipped unread.
  static const png_byte kTextChunks[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0};
  png_set_keep_unknown_chunks(st->png, PNG_HANDLE_CHUNK_NEVER, kTextChunks, 3);
  png_read_info(st->png, st->info);
  const int bitDepth = png_get_bit_depth(st->png, st->info);
  png_set_expand(st->png);
  if (bitDepth == 16 && HostIsLittle()) png_set_swap(st->png);
  st->interlaced = png_get_interlace_type(st->png, st->info) != PNG_INTERLACE_NONE;
  if (st->interlaced) png_set_interlace_handling(st->png);
  png_read_update_info(st->png, st->info);
  st->width = png_get_image_width(st->png, st->info);
  st->height = png_get_image_height(st->png, st->info);
  st->channels = png_get_channels(st->png, st->info);
  st->is16 = png_get_bit_depth(st->png, st->info) == 16;
  st->rowBytes = png_get_rowbytes(st->png, st->info);
  return true;
}

bool GuardedReadRow(PngState* st, png_bytep row) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_read_row(st->png, row, nullptr);
  return true;
}

bool GuardedReadImage(PngState* st, png_bytepp rows) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_read_image(st->png, rows);
  return true;
}

bool GuardedWriteHeader(PngState* st, uint32_t w, uint32_t h, int depth, int colorType, uint32_t ppm,
                        const uint8_t* profile, uint32_t profileSize, const uint8_t* exif, uint32_t exifSize) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_set_IHDR(st->png, st->info, w, h, depth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (ppm) png_set_pHYs(st->png, st->info, ppm, ppm, PNG_RESOLUTION_METER);
  if (profile && profileSize) png_set_iCCP(st->png, st->info, "ICC profile", 0, profile, profileSize);
  if (exif && exifSize) png_set_eXIf_1(st->png, st->info, exifSize, const_cast<png_bytep>(exif));
  png_write_info(st->png, st->info);
  if (depth == 16 && HostIsLittle()) png_set_swap(st->png);
  return true;
}

bool GuardedWriteRow(PngState* st, png_bytep row) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_write_row(st->png, row);
  return true;
}

bool GuardedWriteEnd(PngState* st) {
  if (setjmp(png_jmpbuf(st->png))) return false;
  png_write_end(st->png, st->info);
  return true;
}

// ---- reading ------------------------------------------------------------------------------
// (Re)starts the decoder at the start of the file and reads the header.
Status Start(PngState& st, const char* path) {
  st.Destroy();
  st.why[0] = 0;
  st.nextRow = 0;
  if (RasSeekTo(*st.stream, 0) != kOk) return RasFail(kSeekErr, "cannot reach the start of %s", path);
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
  if (!st.png) return kNoMem;
  st.info = png_create_info_struct(st.png);
  if (!st.info) return kNoMem;
  png_set_read_fn(st.png, &st, ReadData);
  if (!GuardedReadInfo(&st)) return RasFail(kFormatErr, "the PNG header cannot be read: %s", st.why);
  return kOk;
}

Status OpenRead(RasImage& image, bool is16) {
  RasFileState& fs = *image.file;
  int64_t size = 0;
  uint8_t sig[8];
  if (Status opened = RasOpenInput(fs, size, sig, sizeof sig, "a PNG file"); opened != kOk) return opened;
  if (png_sig_cmp(sig, 0, 8) != 0) return RasFail(kFormatErr, "no PNG signature");
  fs.recognised = true;
  auto st = std::make_unique<PngState>();
  st->stream = &fs.stream;
  if (Status started = Start(*st, fs.path.c_str()); started != kOk) return started;
  if (st->is16 != is16) {
    fs.recognised = false;
    return RasFail(kFormatErr, "a %d-bit PNG file", st->is16 ? 16 : 8);
  }
  if ((uint64_t)st->width * st->height > kMaxPixels)
    return RasFail(kUnsupported, "the PNG image's %u x %u pixels are more than this program handles", st->width,
                   st->height);
  st->row.assign(st->rowBytes, 0);
  if (st->interlaced) {
    if ((uint64_t)st->rowBytes * st->height > kMaxInterlacedBytes)
      return RasFail(kUnsupported, "the interlaced PNG image of %u x %u pixels is too large to decode here",
                     st->width, st->height);
    try {
      st->whole.assign((size_t)st->rowBytes * st->height, 0);
    } catch (const std::bad_alloc&) {
      return RasFail(kNoMem, "no memory for the interlaced PNG image of %u x %u pixels", st->width, st->height);
    }
    st->rowPointers.resize(st->height);
    for (uint32_t y = 0; y < st->height; ++y) st->rowPointers[y] = st->whole.data() + y * st->rowBytes;
    if (!GuardedReadImage(st.get(), st->rowPointers.data()))
      return RasFail(kReadErr, "the PNG image data cannot be decoded: %s", st->why);
  }
  // Attachments.
  png_charp name;
  int compression;
  png_bytep profile;
  png_uint_32 profileSize;
  if (png_get_iCCP(st->png, st->info, &name, &compression, &profile, &profileSize) && profileSize >= 4) {
    image.meta.iccProfile.assign(profile, profile + profileSize);
  }
  png_uint_32 exifSize = 0;
  png_bytep exif = nullptr;
  if (png_get_eXIf_1(st->png, st->info, &exifSize, &exif) && exif && exifSize > 0 && exifSize < (16u << 20)) {
    image.meta.exif.assign(exif, exif + exifSize);
  }
  float resolution = -1;
  png_uint_32 xppu = 0, yppu = 0;
  int unit = 0;
  ResolutionUnit resUnit = ResolutionUnit::kInch;
  if (png_get_pHYs(st->png, st->info, &xppu, &yppu, &unit) && xppu > 0) {
    if (unit == PNG_RESOLUTION_METER) {
      resolution = (float)(xppu * 0.0254);
    } else {
      resolution = (float)xppu;
      resUnit = ResolutionUnit::kNone;
    }
  }
  const bool color = st->channels >= 3;
  RasDescribe(image, is16 ? kRasPng16 : kRasPng, st->width, st->height, color ? 3 : 1, color ? kRasRGB : kRasGray,
              resolution);
  image.meta.resolutionUnit = resUnit;
  fs.module = std::move(st);
  return kOk;
}

template <typename T>
void Emit(const T* in, uint32_t w, uint32_t stride, uint32_t colors, bool alpha, uint32_t max, T* const* planes) {
  for (uint32_t x = 0; x < w; ++x, in += stride) {
    const uint32_t a = alpha ? in[colors] : max;
    for (uint32_t c = 0; c < colors; ++c) {
      uint32_t v = in[c];
      if (a != max) v = (v * a + max / 2) / max + (max - a);  // over white
      planes[c][x] = (T)v;
    }
  }
}

Status ReadRow(RasImage& image, uint32_t line, RasScanline& sl) {
  PngState& st = StateOf(image);
  const uint8_t* row;
  if (st.interlaced) {
    row = st.whole.data() + (size_t)line * st.rowBytes;
  } else {
    if (line < st.nextRow) {
      if (Status started = Start(st, image.file->path.c_str()); started != kOk) return started;
    }
    while (st.nextRow <= line) {
      if (!GuardedReadRow(&st, st.row.data())) {
        st.nextRow = st.height + 1;  // forces a restart next time
        return RasFail(kReadErr, "PNG row %u cannot be decoded: %s", line, st.why);
      }
      ++st.nextRow;
    }
    row = st.row.data();
  }
  const uint32_t colors = st.channels >= 3 ? 3 : 1;
  const bool alpha = st.channels == 2 || st.channels == 4;
  if (st.is16) Emit(reinterpret_cast<const uint16_t*>(row), st.width, st.channels, colors, alpha, 65535, sl.plane16);
  else Emit(row, st.width, st.channels, colors, alpha, 255, sl.plane8);
  return kOk;
}

// ---- writing ------------------------------------------------------------------------------
Status OpenWrite(RasImage& image, bool is16) {
  RasFileState& fs = *image.file;
  if (image.colorType != kRasGray && image.colorType != kRasRGB && image.colorType != kRasPhotoCDColor)
    return RasFail(kBadArg, "PNG files hold gray and RGB images only");
  const uint32_t ch = image.colorType == kRasGray ? 1 : 3;
  if ((uint32_t)image.channels != ch || image.width == 0 || image.height == 0)
    return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, image.colorType);
  auto st = std::make_unique<PngState>();
  st->writing = true;
  st->stream = &fs.stream;
  st->width = image.width;
  st->height = image.height;
  st->is16 = is16;
  st->outChannels = ch;
  st->row.assign((size_t)image.width * ch * (is16 ? 2 : 1), 0);
  if (Status created = RasCreateOutput(fs); created != kOk) return created;
  st->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, st.get(), OnError, OnWarning);
  if (st->png) st->info = png_create_info_struct(st->png);
  if (!st->png || !st->info) {
    RasAbandonOutput(fs);
    return kNoMem;
  }
  png_set_write_fn(st->png, st.get(), WriteData, FlushData);
  const uint8_t* profile = image.meta.HasIcc() ? image.meta.iccProfile.data() : nullptr;
  uint32_t profileSize = image.meta.IccLength();
  const uint8_t* exif = image.meta.HasExif() ? image.meta.exif.data() : nullptr;
  const uint32_t exifSize = (uint32_t)image.meta.exif.size();
  // PNG allows only a profile of the image's colour space: another is left out.
  if (profile && (profileSize < 20 || std::memcmp(profile + 16, ch == 1 ? "GRAY" : "RGB ", 4) != 0)) {
    RasWarn("the %s profile does not describe a %s image: the PNG file is written without it", "embedded",
            ch == 1 ? "gray" : "RGB");
    profile = nullptr;
    profileSize = 0;
  }
  const uint32_t ppm = image.resolution > 0 ? (uint32_t)(image.resolution / 0.0254 + 0.5) : 0;
  if (!GuardedWriteHeader(st.get(), image.width, image.height, is16 ? 16 : 8,
                          ch == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, ppm, profile, profileSize, exif,
                          exifSize)) {
    const std::string why = st->why;
    st.reset();
    RasAbandonOutput(fs);
    return RasFail(kWriteErr, "cannot write the PNG header: %s", why.c_str());
  }
  fs.module = std::move(st);
  return kOk;
}

Status WriteRow(RasImage& image, uint32_t line, const RasScanline& sl) {
  PngState& st = StateOf(image);
  const uint32_t w = st.width, ch = st.outChannels;
  if (st.is16) {
    uint16_t* out = reinterpret_cast<uint16_t*>(st.row.data());
    for (uint32_t c = 0; c < ch; ++c)
      for (uint32_t x = 0; x < w; ++x) out[x * ch + c] = sl.plane16[c][x];
  } else {
    for (uint32_t c = 0; c < ch; ++c)
      for (uint32_t x = 0; x < w; ++x) st.row[x * ch + c] = sl.plane8[c][x];
  }
  if (!GuardedWriteRow(&st, st.row.data())) {
    st.failed = true;
    return RasFail(kWriteErr, "cannot write PNG row %u: %s", line, st.why);
  }
  return kOk;
}

Status Open(RasImage& image, bool is16) {
  if (image.file->mode == 'w') return OpenWrite(image, is16);
  Status st = OpenRead(image, is16);
  if (st != kOk) StreamClose(image.file->stream);
  return st;
}

}  // namespace

Status PngOpen(RasImage& image) { return Open(image, image.format == kRasPng16); }

Status PngReadSl(RasImage& image, uint32_t line, RasScanline& sl) { return ReadRow(image, line, sl); }
Status PngWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) { return WriteRow(image, line, sl); }

Status PngClose(RasImage& image) {
  RasFileState& fs = *image.file;
  auto* st = static_cast<PngState*>(fs.module.get());
  if (fs.mode == 'w' && st) {
    bool ok = !st->failed && GuardedWriteEnd(st);
    fs.module.reset();
    return RasFinishOutput(fs, ok);
  }
  fs.module.reset();
  StreamClose(fs.stream);
  return kOk;
}
