#include "imagefile/webp.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagefile/rasmodule.h"

namespace {

constexpr int64_t kMaxFileBytes = 256ll << 20;
constexpr uint32_t kMaxSide = 16383;  // the format's own limit

struct WebpState : RasModuleState {
  // reading: the decoded canvas, RGBA (not zero-filled: a hostile header
  // costs no more than the rows the decoder reaches)
  std::unique_ptr<uint8_t[]> rgba;
  // writing: the gathered rows, RGB
  std::vector<uint8_t> rgb;
  uint32_t width = 0, height = 0, channels = 0;
  uint32_t rowsWritten = 0;  // writing: rows 0..rowsWritten-1 are in `rgb`
};

WebpState& StateOf(RasImage& image) { return *static_cast<WebpState*>(image.file->module.get()); }

// The RIFF/WEBP signature of the first 12 bytes.
bool IsWebp(const uint8_t* b, size_t n) {
  return n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0;
}

void CopyChunk(WebPDemuxer* demux, const char* fourcc, std::vector<uint8_t>& out) {
  WebPChunkIterator it;
  if (!WebPDemuxGetChunk(demux, fourcc, 1, &it)) return;
  const uint8_t* p = it.chunk.bytes;
  size_t n = it.chunk.size;
  if (std::strcmp(fourcc, "EXIF") == 0 && n >= 6 && std::memcmp(p, "Exif\0\0", 6) == 0) {
    p += 6;
    n -= 6;
  }
  out.assign(p, p + n);
  WebPDemuxReleaseChunkIterator(&it);
}

// Reads the file, checks it and fills the description and the metadata;
// with `decode`, also decodes the (first) frame into the state.
Status Load(RasImage& image, bool decode) {
  RasFileState& fs = *image.file;
  int64_t size = 0;
  uint8_t head[12];
  if (Status opened = RasOpenInput(fs, size, head, sizeof head, "a WebP file"); opened != kOk) return opened;
  if (!IsWebp(head, sizeof head)) return RasFail(kFormatErr, "no WebP signature");
  fs.recognised = true;
  std::vector<uint8_t> bytes;
  if (Status read = RasReadWhole(fs.stream, size, kMaxFileBytes, bytes, "WebP file"); read != kOk) return read;
  WebPData data = {bytes.data(), bytes.size()};
  WebPDemuxState demuxState;
  WebPDemuxer* demux = WebPDemuxPartial(&data, &demuxState);
  if (!demux || demuxState != WEBP_DEMUX_DONE) {
    if (demux) WebPDemuxDelete(demux);
    return RasFail(kFormatErr, "the WebP file's chunks are damaged or cut short");
  }
  const uint32_t width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
  const uint32_t height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
  const uint32_t frames = WebPDemuxGetI(demux, WEBP_FF_FRAME_COUNT);
  const uint32_t flags = WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide || frames == 0) {
    WebPDemuxDelete(demux);
    return RasFail(kFormatErr, "the WebP file states an image of %u x %u pixels and %u frames", width, height,
                   frames);
  }
  if (flags & ICCP_FLAG) CopyChunk(demux, "ICCP", image.meta.iccProfile);
  if (flags & EXIF_FLAG) CopyChunk(demux, "EXIF", image.meta.exif);
  if (flags & XMP_FLAG) CopyChunk(demux, "XMP ", image.meta.xmp);
  WebPDemuxDelete(demux);
  RasDescribe(image, kRasWebp, width, height, 3, kRasRGB, -1);
  if (!decode) return kOk;

  auto st = std::make_unique<WebpState>();
  st->width = width;
  st->height = height;
  if (frames == 1) {
    const size_t canvasBytes = (size_t)width * height * 4;
    st->rgba.reset(new (std::nothrow) uint8_t[canvasBytes]);
    if (!st->rgba) return RasFail(kNoMem, "no memory for the WebP image of %u x %u pixels", width, height);
    if (!WebPDecodeRGBAInto(bytes.data(), bytes.size(), st->rgba.get(), canvasBytes, (int)width * 4))
      return RasFail(kReadErr, "the WebP image data cannot be decoded");
  } else {
    // Animated: the first frame as it appears on the canvas.
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    WebPAnimDecoder* anim = WebPAnimDecoderNew(&data, &options);
    uint8_t* frame = nullptr;
    int timestamp = 0;
    const bool ok = anim && WebPAnimDecoderGetNext(anim, &frame, &timestamp) && frame;
    const size_t canvasBytes = (size_t)width * height * 4;
    if (ok) st->rgba.reset(new (std::nothrow) uint8_t[canvasBytes]);
    if (st->rgba) std::memcpy(st->rgba.get(), frame, canvasBytes);
    if (anim) WebPAnimDecoderDelete(anim);
    if (!ok) return RasFail(kReadErr, "the first frame of the animated WebP file cannot be decoded");
    if (!st->rgba) return RasFail(kNoMem, "no memory for the WebP image of %u x %u pixels", width, height);
  }
  fs.module = std::move(st);
  return kOk;
}

Status ReadRow(RasImage& image, uint32_t line, RasScanline& sl) {
  WebpState& st = StateOf(image);
  const uint8_t* in = st.rgba.get() + (size_t)line * st.width * 4;
  for (uint32_t x = 0; x < st.width; ++x, in += 4) {
    const uint32_t a = in[3];
    for (int c = 0; c < 3; ++c) {
      uint32_t v = in[c];
      if (a != 255) v = (v * a + 127) / 255 + (255 - a);  // over white
      sl.plane8[c][x] = (uint8_t)v;
    }
  }
  return kOk;
}

// ---- writing ------------------------------------------------------------------------------
Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if (image.colorType != kRasGray && image.colorType != kRasRGB && image.colorType != kRasPhotoCDColor)
    return RasFail(kBadArg, "WebP files hold gray and RGB images only");
  const uint32_t ch = image.colorType == kRasGray ? 1 : 3;
  if ((uint32_t)image.channels != ch || image.width == 0 || image.height == 0)
    return RasFail(kBadArg, "%d channels do not fit colour type %d", image.channels, image.colorType);
  if (image.width > kMaxSide || image.height > kMaxSide)
    return RasFail(kUnsupported, "WebP images are at most %u pixels a side, not %u x %u", kMaxSide, image.width,
                   image.height);
  auto st = std::make_unique<WebpState>();
  st->width = image.width;
  st->height = image.height;
  st->channels = ch;
  try {
    st->rgb.assign((size_t)image.width * image.height * 3, 0);
  } catch (const std::bad_alloc&) {
    return RasFail(kNoMem, "no memory for the WebP image of %u x %u pixels", image.width, image.height);
  }
  if (Status created = RasCreateOutput(fs); created != kOk) return created;
  fs.module = std::move(st);
  return kOk;
}

Status WriteRow(RasImage& image, uint32_t line, const RasScanline& sl) {
  WebpState& st = StateOf(image);
  uint8_t* out = st.rgb.data() + (size_t)line * st.width * 3;
  for (uint32_t x = 0; x < st.width; ++x)
    for (uint32_t c = 0; c < 3; ++c) out[x * 3 + c] = sl.plane8[st.channels == 1 ? 0 : c][x];
  if (line == st.rowsWritten) ++st.rowsWritten;
  return kOk;
}

// Encodes the gathered rows and adds the metadata chunks; false with the
// failure noted.
bool Encode(const RasImage& image, WebpState& st, WebPData& assembled) {
  if (st.rowsWritten != st.height)
    return RasFail(kWriteErr, "the WebP file was closed after %u of its %u rows", st.rowsWritten, st.height), false;
  const int32_t quality = image.file->write.quality;
  WebPConfig config;
  if (!WebPConfigInit(&config)) return RasFail(kWriteErr, "the WebP encoder cannot be set up"), false;
  if (quality >= 100) {
    WebPConfigLosslessPreset(&config, 6);
    config.method = 4;  // a fraction of level 6's time for nearly its size
  } else {
    config.quality = (float)quality;
  }
  WebPPicture picture;
  if (!WebPPictureInit(&picture)) return RasFail(kWriteErr, "the WebP encoder cannot be set up"), false;
  picture.use_argb = quality >= 100;
  picture.width = (int)st.width;
  picture.height = (int)st.height;
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool encoded = WebPPictureImportRGB(&picture, st.rgb.data(), (int)st.width * 3) && WebPEncode(&config, &picture);
  const int error = picture.error_code;
  WebPPictureFree(&picture);
  std::vector<uint8_t>().swap(st.rgb);
  if (!encoded) {
    WebPMemoryWriterClear(&writer);
    return RasFail(kWriteErr, "the WebP encoder failed (error %d)", error), false;
  }
  WebPMux* mux = WebPMuxNew();
  WebPData bitstream = {writer.mem, writer.size};
  bool ok = mux && WebPMuxSetImage(mux, &bitstream, 0) == WEBP_MUX_OK;
  // WebP images are RGB: a profile of another colour space is left out.
  uint32_t iccLength = image.meta.IccLength();
  if (iccLength && (iccLength < 20 || std::memcmp(image.meta.iccProfile.data() + 16, "RGB ", 4) != 0)) {
    RasWarn("the embedded profile does not describe an RGB image: the WebP file is written without it");
    iccLength = 0;
  }
  const struct {
    const char* fourcc;
    const std::vector<uint8_t>& bytes;
    size_t size;
  } chunks[] = {{"ICCP", image.meta.iccProfile, iccLength},
                {"EXIF", image.meta.exif, image.meta.exif.size()},
                {"XMP ", image.meta.xmp, image.meta.xmp.size()}};
  for (const auto& c : chunks) {
    if (!ok || c.size == 0) continue;
    const WebPData chunk = {c.bytes.data(), c.size};
    ok = WebPMuxSetChunk(mux, c.fourcc, &chunk, 0) == WEBP_MUX_OK;
  }
  assembled = {nullptr, 0};
  ok = ok && WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
  if (mux) WebPMuxDelete(mux);
  WebPMemoryWriterClear(&writer);
  if (!ok) {
    WebPDataClear(&assembled);
    return RasFail(kWriteErr, "the WebP file's chunks cannot be assembled"), false;
  }
  return true;
}

}  // namespace

Status WebpOpen(RasImage& image) {
  if (image.file->mode == 'w') return OpenWrite(image);
  const Status st = Load(image, true);
  if (st != kOk) StreamClose(image.file->stream);
  return st;
}

Status WebpDescribe(RasImage& image) {
  const Status st = Load(image, false);
  StreamClose(image.file->stream);
  return st;
}

Status WebpReadSl(RasImage& image, uint32_t line, RasScanline& sl) { return ReadRow(image, line, sl); }
Status WebpWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) { return WriteRow(image, line, sl); }

Status WebpClose(RasImage& image) {
  RasFileState& fs = *image.file;
  auto* st = static_cast<WebpState*>(fs.module.get());
  if (fs.mode == 'w' && st) {
    WebPData assembled = {nullptr, 0};
    bool ok = Encode(image, *st, assembled);
    std::string why = ok ? std::string() : RasLastFailure();
    if (ok && StreamWriteAll(fs.stream, assembled.bytes, assembled.size) != kOk) {
      ok = false;
      why = "cannot write the WebP file";
    }
    WebPDataClear(&assembled);
    fs.module.reset();
    const Status finished = RasFinishOutput(fs, ok);
    if (!ok) RasFail(finished, "%s", why.c_str());
    return finished;
  }
  fs.module.reset();
  StreamClose(fs.stream);
  return kOk;
}
