#include "imagefile/jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <jerror.h>
}

#include "imagefile/rasmodule.h"
#include "imagefile/rowpack.h"

#include "base/bytes.h"
#include "base/debuglog.h"
#include "base/strings.h"

namespace {

constexpr size_t kBlock = 64 * 1024;  // bytes a read or a write of the file moves at once
constexpr uint32_t kIccChunk = 65519;  // 65535 - 2 length bytes - 14 identifier bytes

struct Source {
  jpeg_source_mgr pub;
  Stream* stream;
  bool hitEnd;
  JOCTET buffer[kBlock];
};

struct Dest {
  jpeg_destination_mgr pub;
  Stream* stream;
  JOCTET buffer[kBlock];
};

// Module state. Only plain data and the library objects; the library objects
// are destroyed by the destructor, which never fails.
struct JpegState : RasModuleState {
  jpeg_decompress_struct d;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  std::jmp_buf jump;
  bool armed = false;       // a guard function's frame is the jump target
  bool created = false;     // the library object exists
  bool writing = false;
  bool broken = false;      // a fatal error left the library object unusable
  bool truncated = false;   // the compressed data ended inside the image
  int errorCode = 0;
  char message[JMSG_LENGTH_MAX] = {};
  Source src;
  Dest dst;
  MemPtr<uint8_t[]> row;
  int64_t lastRow = -1;
  uint32_t components = 0;
  uint32_t width = 0, height = 0;
  uint32_t scaleDenom = 1;  // reading: rows decoded at 1/scaleDenom of the size, fixed at open
  int32_t quality = 75;     // writing: from the write options
  J_DCT_METHOD dct = JDCT_ISLOW;
  bool fastUpsampling = false;

  JpegState() {
    std::memset(&d, 0, sizeof d);
    std::memset(&c, 0, sizeof c);
    std::memset(&src, 0, sizeof src);
    std::memset(&dst, 0, sizeof dst);
  }
  ~JpegState() override { Destroy(); }
  j_common_ptr Common() { return writing ? (j_common_ptr)&c : (j_common_ptr)&d; }
  void Destroy() {
    if (!created) return;
    jpeg_destroy(Common());  // cannot fail
    created = false;
  }
};

J_DCT_METHOD DctMethod(int32_t option) { return option == 1 ? JDCT_IFAST : option == 2 ? JDCT_FLOAT : JDCT_ISLOW; }

JpegState& StateOf(RasImage& image) { return *static_cast<JpegState*>(image.file->module.get()); }

// ---- error manager ---------------------------------------------------------------------------
[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  JpegState* s = static_cast<JpegState*>(cinfo->client_data);
  s->errorCode = cinfo->err->msg_code;
  (*cinfo->err->format_message)(cinfo, s->message);
  s->broken = true;
  if (!s->armed) {
    // Every library call runs inside a guard; reaching this is a programming error.
    std::fprintf(stderr, "JPEG error outside a guarded call: %s\n", s->message);
    std::abort();
  }
  s->armed = false;
  std::longjmp(s->jump, 1);
}

// Truncation: the Huffman decoder warns when the bits of an image run into
// a marker (the fake EOI at the end of the file). The arithmetic decoder
// reads zeros past the end without a word, and a progressive image that ends
// between two scans decodes what it has; for those the end of the file
// before the EOI marker (premature end) is the only sign, so it counts as
// truncation too. A sequential Huffman image that lacks only its EOI marker
// still reads.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  JpegState* s = static_cast<JpegState*>(cinfo->client_data);
  cinfo->err->num_warnings++;
  const int code = cinfo->err->msg_code;
  if (code == JWRN_HIT_MARKER) s->truncated = true;
  if (code == JWRN_JPEG_EOF && (s->d.arith_code || s->d.progressive_mode)) s->truncated = true;
}

void OutputMessage(j_common_ptr) {}

// ---- guarded steps ------------------------------------------------------------------------------
// A step runs one library call. Guard() is the jump target: its frame and the
// step's hold nothing with a destructor, so a longjmp out of the library skips
// no cleanup, and the target is gone only once the call has returned.
using Step = void (*)(JpegState* s, void* arg);

bool Guard(JpegState* s, Step step, void* arg) {
  if (s->broken) return false;
  if (setjmp(s->jump) != 0) return false;
  s->armed = true;
  step(s, arg);
  s->armed = false;
  return true;
}

void StepCreateDecompress(JpegState* s, void*) {
  jpeg_create_decompress(&s->d);
  s->created = true;
}
void StepReadHeader(JpegState* s, void*) { jpeg_read_header(&s->d, TRUE); }
void StepCalcOutput(JpegState* s, void*) { jpeg_calc_output_dimensions(&s->d); }
void StepStartDecompress(JpegState* s, void*) { jpeg_start_decompress(&s->d); }
void StepReadRow(JpegState* s, void* arg) {
  JSAMPROW rows[1] = {s->row.get()};
  *static_cast<JDIMENSION*>(arg) = jpeg_read_scanlines(&s->d, rows, 1);
}
void StepFinishDecompress(JpegState* s, void*) { jpeg_finish_decompress(&s->d); }
void StepCreateCompress(JpegState* s, void*) {
  jpeg_create_compress(&s->c);
  s->created = true;
}
void StepSetDefaults(JpegState* s, void*) { jpeg_set_defaults(&s->c); }
void StepSetQuality(JpegState* s, void*) { jpeg_set_quality(&s->c, s->quality, TRUE); }
void StepStartCompress(JpegState* s, void*) { jpeg_start_compress(&s->c, TRUE); }
void StepWriteRow(JpegState* s, void*) {
  JSAMPROW rows[1] = {s->row.get()};
  jpeg_write_scanlines(&s->c, rows, 1);
}
void StepFinishCompress(JpegState* s, void*) { jpeg_finish_compress(&s->c); }

struct MarkerArgs {
  int marker;
  const uint8_t* head;
  uint32_t headSize;
  const uint8_t* data;
  uint32_t dataSize;
};
void StepWriteMarker(JpegState* s, void* arg) {
  const MarkerArgs* m = static_cast<const MarkerArgs*>(arg);
  jpeg_write_m_header(&s->c, m->marker, m->headSize + m->dataSize);
  for (uint32_t i = 0; i < m->headSize; ++i) jpeg_write_m_byte(&s->c, m->head[i]);
  for (uint32_t i = 0; i < m->dataSize; ++i) jpeg_write_m_byte(&s->c, m->data[i]);
}

// ---- source and destination over the stream --------------------------------------------------
void SrcInit(j_decompress_ptr) {}

boolean SrcFill(j_decompress_ptr cinfo) {
  Source* src = reinterpret_cast<Source*>(cinfo->src);
  size_t n = kBlock;
  if (StreamRead(*src->stream, src->buffer, n, false) != kOk || n == 0) {
    // End of the file: a fake EOI lets the decoder end cleanly.
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    n = 2;
    src->hitEnd = true;
    WARNMS(cinfo, JWRN_JPEG_EOF);
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = n;
  return TRUE;
}

void SrcSkip(j_decompress_ptr cinfo, long count) {
  Source* src = reinterpret_cast<Source*>(cinfo->src);
  if (count <= 0) return;
  while (count > (long)src->pub.bytes_in_buffer) {
    count -= (long)src->pub.bytes_in_buffer;
    SrcFill(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= (size_t)count;
}

void SrcTerm(j_decompress_ptr) {}

void AttachSource(JpegState* s, Stream& stream) {
  s->src.pub.init_source = SrcInit;
  s->src.pub.fill_input_buffer = SrcFill;
  s->src.pub.skip_input_data = SrcSkip;
  s->src.pub.resync_to_restart = jpeg_resync_to_restart;
  s->src.pub.term_source = SrcTerm;
  s->src.pub.bytes_in_buffer = 0;
  s->src.pub.next_input_byte = nullptr;
  s->src.stream = &stream;
  s->src.hitEnd = false;
  s->d.src = &s->src.pub;
}

void DstInit(j_compress_ptr cinfo) {
  Dest* dst = reinterpret_cast<Dest*>(cinfo->dest);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kBlock;
}

boolean DstEmpty(j_compress_ptr cinfo) {
  Dest* dst = reinterpret_cast<Dest*>(cinfo->dest);
  if (StreamWriteAll(*dst->stream, dst->buffer, kBlock) != kOk) ERREXIT(cinfo, JERR_FILE_WRITE);
  dst->pub.next_output_byte = dst->buffer;
  dst->pub.free_in_buffer = kBlock;
  return TRUE;
}

void DstTerm(j_compress_ptr cinfo) {
  Dest* dst = reinterpret_cast<Dest*>(cinfo->dest);
  const size_t n = kBlock - dst->pub.free_in_buffer;
  if (n && StreamWriteAll(*dst->stream, dst->buffer, n) != kOk) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void InitErrors(JpegState* s, j_common_ptr cinfo) {
  cinfo->err = jpeg_std_error(&s->err);
  s->err.error_exit = ErrorExit;
  s->err.emit_message = EmitMessage;
  s->err.output_message = OutputMessage;
}

// ---- marker passes ---------------------------------------------------------------------------------
Status ReadByte(Stream& s, uint8_t& b, bool& end) {
  size_t n = 1;
  end = false;
  if (StreamRead(s, &b, n, true) != kOk) end = true;
  return kOk;
}

// Walks the markers up to and including SOS; `visit` gets each segment of the
// wanted marker with the stream at its data and returns how many of its data
// bytes it consumed, or a failure.
template <class Visit>
Status WalkMarkers(Stream& s, int wanted, Visit visit) {
  if (StreamSeek(s, 0, 0) != kOk) return RasFail(kSeekErr, "cannot rewind the JPEG file");
  for (;;) {
    uint8_t b, m;
    bool end;
    ReadByte(s, b, end);
    if (end) break;
    if (b != 0xFF) return RasFail(kFormatErr, "JPEG marker expected");
    ReadByte(s, m, end);
    if (end || m == 0x00 || m == 0xFF || (m >= 0x02 && m <= 0xBF)) return RasFail(kFormatErr, "bad JPEG marker");
    if (m == 0x01 || (m >= 0xD0 && m <= 0xD9)) continue;
    uint8_t len[2];
    if (StreamReadExact(s, len, 2) != kOk) break;  // the file ends here: the library will judge
    const uint32_t length = LoadBE16(len);
    if (length < 2) return RasFail(kFormatErr, "bad JPEG segment length");
    uint32_t used = 0;
    if (m == wanted) {
      Status st = visit(length, used);
      if (st != kOk) return st;
    }
    if (used < length - 2 && StreamSeek(s, (int64_t)(length - 2 - used), 1) != kOk)
      return RasFail(kSeekErr, "cannot pass a JPEG segment");
    if (m == 0xDA) break;
  }
  return StreamSeek(s, 0, 0) == kOk ? kOk : RasFail(kSeekErr, "cannot rewind the JPEG file");
}

}  // namespace

Status JpegScanProfile(Stream& s, ImageMeta& meta) {
  MemPtr<uint8_t[]> profile;
  uint32_t size = 0, filled = 0;
  int seq = 0, count = 0;
  // Chunks that do not make one profile (out of order, repeated, larger than
  // the profile) leave the image without a profile: its pixels still read.
  std::string broken;
  Status st = WalkMarkers(s, 0xE2, [&](uint32_t length, uint32_t& used) -> Status {
    if (length < 16 || !broken.empty()) return kOk;
    uint8_t head[14];
    if (StreamReadExact(s, head, 14) != kOk) return RasFail(kReadErr, "a JPEG APP2 segment is cut short");
    used = 14;
    if (std::memcmp(head, "ICC_PROFILE\0", 12) != 0) return kOk;
    const int n = head[12], total = head[13];
    if (seq == 0 ? (n != 1 || total == 0) : (n != seq + 1 || total != count || n > total)) {
      broken = Fmt("ICC profile chunk %d of %d out of order", n, total);
      return kOk;
    }
    seq = n;
    count = total;
    const uint32_t bytes = length - 16;
    uint32_t at = 0;
    if (n == 1) {
      uint8_t sizeField[4];
      if (bytes < 4 || StreamReadExact(s, sizeField, 4) != kOk) {
        broken = "the first ICC profile chunk is too short";
        return kOk;
      }
      used += 4;
      size = LoadBE32(sizeField);
      if (size < 4 || (uint64_t)size > (uint64_t)total * kIccChunk) {
        broken = Fmt("the ICC profile's size %u does not fit its %d chunks", size, total);
        return kOk;
      }
      profile.reset(static_cast<uint8_t*>(MemAllocZero(size)));
      if (!profile) return kNoMem;
      std::memcpy(profile.get(), sizeField, 4);
      filled = 4;
      at = 4;
    }
    if ((uint64_t)filled + (bytes - at) > size) {
      broken = "the ICC profile chunks exceed the profile's size";
      return kOk;
    }
    if (bytes > at && StreamReadExact(s, profile.get() + filled, bytes - at) != kOk)
      return RasFail(kReadErr, "a JPEG ICC chunk is cut short");
    filled += bytes - at;
    used += bytes - at;
    return kOk;
  });
  if (st != kOk) return st;
  if (!broken.empty()) {
    RasWarn("%s: the embedded profile is left out", broken.c_str());
    return kOk;
  }
  if (profile) meta.iccProfile.assign(profile.get(), profile.get() + filled);  // later chunks missing: kept as far as read
  return kOk;
}

Status JpegScanExif(Stream& s, ImageMeta& meta) {
  std::vector<uint8_t> block;
  bool found = false;
  Status st = WalkMarkers(s, 0xE1, [&](uint32_t length, uint32_t& used) -> Status {
    if (length < 8) return kOk;
    uint8_t head[6];
    if (StreamReadExact(s, head, 6) != kOk) return RasFail(kReadErr, "a JPEG APP1 segment is cut short");
    used = 6;
    if (std::memcmp(head, "Exif\0", 5) != 0) return kOk;
    std::vector<uint8_t> b(length - 8);
    if (StreamReadExact(s, b.data(), b.size()) != kOk) return RasFail(kReadErr, "the JPEG EXIF segment is cut short");
    used = length - 2;
    block = std::move(b);  // the last one wins
    found = true;
    return kOk;
  });
  if (st != kOk) return st;
  if (found) meta.exif = std::move(block);
  return kOk;
}

namespace {

// Creates the decompressor over the stream (from its start) and reads the header.
Status StartDecoder(JpegState* s, Stream& stream, bool start, int64_t fileSize) {
  s->Destroy();
  s->broken = false;
  s->truncated = false;
  s->writing = false;
  if (StreamSeek(stream, 0, 0) != kOk) return RasFail(kSeekErr, "cannot rewind the JPEG file");
  s->d.err = nullptr;
  InitErrors(s, (j_common_ptr)&s->d);
  s->d.client_data = s;  // kept by the library's create
  if (!Guard(s, StepCreateDecompress, nullptr)) return RasFail(kNoMem, "cannot create the JPEG decoder");
  // Bound the decoder's memory by the file's size (a progressive image keeps
  // all its coefficients): a tiny file cannot claim gigabytes.
  int64_t limit = fileSize * 128;
  if (limit < (256ll << 20)) limit = 256ll << 20;
  if (limit > (1536ll << 20)) limit = 1536ll << 20;
  s->d.mem->max_memory_to_use = (long)limit;
  AttachSource(s, stream);
  if (!Guard(s, StepReadHeader, nullptr)) return RasFail(kFormatErr, "bad JPEG header: %s", s->message);
  s->d.dct_method = s->dct;
  s->d.do_fancy_upsampling = s->fastUpsampling ? FALSE : TRUE;
  s->d.do_block_smoothing = FALSE;
  s->d.scale_num = 1;
  s->d.scale_denom = s->scaleDenom;
  if (!Guard(s, StepCalcOutput, nullptr)) return RasFail(kFormatErr, "bad JPEG header: %s", s->message);
  const J_COLOR_SPACE cs = s->d.out_color_space;
  if (cs != JCS_GRAYSCALE && cs != JCS_RGB && cs != JCS_CMYK)
    return RasFail(kBadArg, "JPEG colour space %d is not supported", (int)cs);
  s->width = s->d.output_width;
  s->height = s->d.output_height;
  s->components = (uint32_t)s->d.output_components;
  if (!start) return kOk;
  if (!s->row) {
    s->row.reset(static_cast<uint8_t*>(MemAlloc((size_t)s->width * s->components)));
    if (!s->row) return kNoMem;
  }
  if (!Guard(s, StepStartDecompress, nullptr)) return RasFail(kFormatErr, "cannot decode the JPEG file: %s", s->message);
  if (s->truncated) return RasFail(kReadErr, "the JPEG data ends inside the image");
  s->lastRow = -1;
  return kOk;
}

Status OpenRead(RasImage& image, bool start) {
  RasFileState& fs = *image.file;
  Stream& stream = fs.stream;
  if (StreamOpen(stream, fs.path, kStreamRead) != kOk) return RasFail(kOpenErr, "cannot open %s", fs.path.c_str());
  int64_t fileSize = 0;
  if (RasStreamSize(stream, fileSize) != kOk) return RasFail(kSeekErr, "cannot measure the file");
  uint8_t soi[2] = {};
  size_t n = 2;
  StreamRead(stream, soi, n, true);
  fs.recognised = soi[0] == 0xFF && soi[1] == 0xD8;
  image.meta.Clear();
  Status st = JpegScanProfile(stream, image.meta);
  if (st == kOk) st = JpegScanExif(stream, image.meta);
  if (st != kOk) return st;
  auto state = std::make_unique<JpegState>();
  state->scaleDenom = (uint32_t)fs.read.scale;
  state->dct = DctMethod(fs.read.dctMethod);
  state->fastUpsampling = fs.read.fastUpsampling;
  st = StartDecoder(state.get(), stream, start, fileSize);
  if (st != kOk) return st;
  image.width = state->width;
  image.height = state->height;
  image.channels = (int32_t)state->components;
  image.colorType = state->d.out_color_space == JCS_GRAYSCALE ? kRasGray
                    : state->d.out_color_space == JCS_CMYK    ? kRasCMYK
                                                              : kRasRGB;
  if (state->d.density_unit == 1) image.resolution = state->d.X_density;
  else if (state->d.density_unit == 2) image.resolution = (float)(state->d.X_density * 2.54);
  else image.resolution = -1;
  if (!(image.resolution > 0)) image.resolution = -1;
  image.meta.resolutionUnit = state->d.density_unit == 2 ? ResolutionUnit::kCentimetre
                              : state->d.density_unit == 1 ? ResolutionUnit::kInch
                                                           : ResolutionUnit::kNone;
  image.format = kRasJpeg;
  if (start) fs.module = std::move(state);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  const int32_t ct = image.colorType;
  if (ct != kRasGray && ct != kRasRGB && ct != kRasCMYK) return RasFail(kBadArg, "JPEG files hold gray, RGB or CMYK images only");
  const int32_t need = ct == kRasGray ? 1 : ct == kRasCMYK ? 4 : 3;
  if (image.channels != need) return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, ct);
  if (image.width == 0 || image.height == 0 || image.width > JPEG_MAX_DIMENSION || image.height > JPEG_MAX_DIMENSION)
    return RasFail(kBadArg, "%u x %u does not fit a JPEG file", image.width, image.height);
  Status status = RasCreateOutput(fs);
  if (status != kOk) return status;
  auto st = std::make_unique<JpegState>();
  JpegState* s = st.get();
  s->writing = true;
  s->width = image.width;
  s->height = image.height;
  s->components = (uint32_t)need;
  s->quality = fs.write.quality;
  s->dct = DctMethod(fs.write.dctMethod);
  s->row.reset(static_cast<uint8_t*>(MemAlloc((size_t)s->width * s->components)));
  if (!s->row) {
    RasAbandonOutput(fs);
    return kNoMem;
  }
  InitErrors(s, (j_common_ptr)&s->c);
  auto fail = [&](Status code, const char* what) {
    s->Destroy();
    RasAbandonOutput(fs);
    return RasFail(code, "%s: %s", what, s->message);
  };
  s->c.client_data = s;  // kept by the library's create
  if (!Guard(s, StepCreateCompress, nullptr)) return fail(kNoMem, "cannot create the JPEG encoder");
  s->dst.pub.init_destination = DstInit;
  s->dst.pub.empty_output_buffer = DstEmpty;
  s->dst.pub.term_destination = DstTerm;
  s->dst.stream = &fs.stream;
  s->c.dest = &s->dst.pub;
  s->c.image_width = image.width;
  s->c.image_height = image.height;
  s->c.input_components = need;
  s->c.in_color_space = ct == kRasGray ? JCS_GRAYSCALE : ct == kRasCMYK ? JCS_CMYK : JCS_RGB;
  if (!Guard(s, StepSetDefaults, nullptr)) return fail(kFormatErr, "cannot set up the JPEG encoder");
  if (image.resolution > 0) {
    // Dots per centimetre when the input stated them so, else per inch.
    const bool cm = image.meta.resolutionUnit == ResolutionUnit::kCentimetre;
    s->c.density_unit = cm ? 2 : 1;
    const double d = (cm ? image.resolution / 2.54 : image.resolution) + 0.5;
    s->c.X_density = s->c.Y_density = (UINT16)(d > 65535 ? 65535 : d);
  }
  if (!Guard(s, StepSetQuality, nullptr)) return fail(kFormatErr, "cannot set up the JPEG encoder");
  s->c.dct_method = s->dct;
  s->c.smoothing_factor = fs.write.smoothing;
  s->c.restart_in_rows = fs.write.restartRows;
  if (!Guard(s, StepStartCompress, nullptr)) return fail(kWriteErr, "cannot start the JPEG file");
  // EXIF block as one APP1 segment, when it fits one.
  const uint8_t* exif = image.meta.exif.data();
  const uint32_t exifSize = (uint32_t)image.meta.exif.size();
  if (exifSize) {
    static const uint8_t kExifHead[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (exifSize + 6 > 65533) {
      DLog("JPEG: EXIF block of %u bytes does not fit one segment; not embedded", exifSize);
    } else {
      MarkerArgs m{JPEG_APP0 + 1, kExifHead, 6, exif, exifSize};
      if (!Guard(s, StepWriteMarker, &m)) return fail(kWriteErr, "cannot write the EXIF segment");
    }
  }
  // ICC profile in chunks of at most 65519 bytes.
  const uint8_t* profile = image.meta.iccProfile.data();
  const uint32_t profileSize = image.meta.IccLength();
  if (profileSize) {
    const uint32_t chunks = (profileSize + kIccChunk - 1) / kIccChunk;
    if (profileSize < 132 || chunks >= 256) {
      DLog("JPEG: profile of %u bytes not embedded", profileSize);
    } else {
      for (uint32_t k = 0; k < chunks; ++k) {
        uint8_t head[14];
        std::memcpy(head, "ICC_PROFILE\0", 12);
        head[12] = (uint8_t)(k + 1);
        head[13] = (uint8_t)chunks;
        const uint32_t at = k * kIccChunk;
        const uint32_t len = profileSize - at < kIccChunk ? profileSize - at : kIccChunk;
        MarkerArgs m{JPEG_APP0 + 2, head, 14, profile + at, len};
        if (!Guard(s, StepWriteMarker, &m)) return fail(kWriteErr, "cannot write the ICC segments");
      }
    }
  }
  s->lastRow = -1;
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

Status JpegOpen(RasImage& image) {
  if (image.file->mode == 'w') return OpenWrite(image);
  Status st = OpenRead(image, true);
  if (st != kOk) StreamClose(image.file->stream);
  return st;
}

Status JpegQuery(RasImage& image) {
  Status st = OpenRead(image, false);
  StreamClose(image.file->stream);
  return st;
}

Status JpegReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  JpegState* s = &StateOf(image);
  if ((int64_t)line < s->lastRow) {
    int64_t fileSize = 0;
    Status st = RasStreamSize(image.file->stream, fileSize);
    if (st == kOk) st = StartDecoder(s, image.file->stream, true, fileSize);
    if (st != kOk) return st;
  }
  if (s->broken) return RasFail(kReadErr, "the JPEG decoder failed earlier: %s", s->message);
  while (s->lastRow < (int64_t)line) {
    JDIMENSION got = 0;
    if (!Guard(s, StepReadRow, &got)) return RasFail(kReadErr, "JPEG row %lld: %s", (long long)s->lastRow + 1, s->message);
    if (got != 1) return RasFail(kReadErr, "JPEG row %lld could not be decoded", (long long)s->lastRow + 1);
    ++s->lastRow;
  }
  if (s->truncated) return RasFail(kReadErr, "the JPEG data ends before row %u", line);
  const uint8_t* p = s->row.get();
  const uint32_t w = s->width;
  switch (s->components) {
    case 1: std::memcpy(sl.plane8[0], p, w); break;
    case 3: SplitRgb8(p, sl.plane8[0], sl.plane8[1], sl.plane8[2], w); break;
    default:  // CMYK, stored inverted
      for (uint32_t x = 0; x < w; ++x, p += 4) {
        sl.plane8[0][x] = (uint8_t)~p[0];
        sl.plane8[1][x] = (uint8_t)~p[1];
        sl.plane8[2][x] = (uint8_t)~p[2];
        sl.plane8[3][x] = (uint8_t)~p[3];
      }
      break;
  }
  return kOk;
}

Status JpegWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  JpegState* s = &StateOf(image);
  if ((int64_t)line == s->lastRow) return kOk;
  if ((int64_t)line != s->lastRow + 1) return RasFail(kBadArg, "JPEG rows are written in order: row %u after %lld", line, (long long)s->lastRow);
  uint8_t* p = s->row.get();
  const uint32_t w = s->width;
  switch (s->components) {
    case 1: std::memcpy(p, sl.plane8[0], w); break;
    case 3: JoinRgb8(p, sl.plane8[0], sl.plane8[1], sl.plane8[2], w); break;
    default:
      for (uint32_t x = 0; x < w; ++x, p += 4) {
        p[0] = (uint8_t)~sl.plane8[0][x];
        p[1] = (uint8_t)~sl.plane8[1][x];
        p[2] = (uint8_t)~sl.plane8[2][x];
        p[3] = (uint8_t)~sl.plane8[3][x];
      }
      break;
  }
  if (!Guard(s, StepWriteRow, nullptr)) return RasFail(kWriteErr, "JPEG row %u: %s", line, s->message);
  ++s->lastRow;
  return kOk;
}

Status JpegClose(RasImage& image) {
  RasFileState& fs = *image.file;
  Status result = kOk;
  if (fs.module) {
    JpegState* s = &StateOf(image);
    const bool complete = s->lastRow == (int64_t)s->height - 1;
    if (s->writing) {
      if (complete && !Guard(s, StepFinishCompress, nullptr))
        result = RasFail(kWriteErr, "cannot finish the JPEG file: %s", s->message);
    } else if (complete && !s->truncated) {
      Guard(s, StepFinishDecompress, nullptr);  // trailing garbage is no reason to fail a read that is done
    }
    fs.module.reset();  // destroying the object also aborts an unfinished codec
  }
  if (StreamClose(fs.stream) != kOk && result == kOk) result = RasFail(kWriteErr, "cannot close %s", fs.path.c_str());
  return result;
}
