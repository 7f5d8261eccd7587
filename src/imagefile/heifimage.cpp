#include "imagefile/heifimage.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imagefile/rasmodule.h"
#include "imagefile/rgbprofile.h"

namespace {

constexpr int64_t kMaxFileBytes = 512ll << 20;
constexpr uint64_t kMaxDecodedBytes = 1ull << 30;
constexpr int kMaxSide = 1 << 16;
// The side a grid's canvas may reach whatever size the image states.
constexpr int kMinSideLimit = 4096;

struct HeifState : RasModuleState {
  heif_context* context = nullptr;
  heif_image_handle* handle = nullptr;
  heif_image* decoded = nullptr;
  std::vector<uint8_t> bytes;  // the file: libheif reads from it without a copy
  bool alpha = false;
  int bits = 8;
  uint32_t width = 0, height = 0;
  const uint8_t* pixels = nullptr;
  int stride = 0;
  ~HeifState() override {
    if (decoded) heif_image_release(decoded);
    if (handle) heif_image_handle_release(handle);
    if (context) heif_context_free(context);
  }
};

HeifState& StateOf(RasImage& image) { return *static_cast<HeifState*>(image.file->module.get()); }

// An ISO base media file whose ftyp box names a HEIF or AVIF brand.
bool IsHeif(const uint8_t* b, size_t n) {
  if (n < 16 || std::memcmp(b + 4, "ftyp", 4) != 0) return false;
  const size_t boxSize = (size_t)b[0] << 24 | (size_t)b[1] << 16 | (size_t)b[2] << 8 | b[3];
  const size_t end = std::min(n, boxSize);
  static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
  for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4)  // the major brand, then the compatible ones
    for (const char* brand : brands)
      if (std::memcmp(b + at, brand, 4) == 0) return true;
  return false;
}

// An nclx colour box as an RGB profile; none for sRGB (the default of an
// image without a profile).
void ProfileFromNclx(const heif_color_profile_nclx& nclx, std::vector<uint8_t>& profile) {
  const int primaries = nclx.color_primaries, transfer = nclx.transfer_characteristics;
  const bool srgbPrimaries = primaries == 1 || primaries == 2;
  RgbTone tone = RgbTone::kSrgb;
  switch (transfer) {
    case heif_transfer_characteristic_ITU_R_BT_709_5:
    case heif_transfer_characteristic_ITU_R_BT_601_6:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
    case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit: tone = RgbTone::kRec709; break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M: tone = RgbTone::kGamma22; break;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G: tone = RgbTone::kGamma28; break;
    case heif_transfer_characteristic_linear: tone = RgbTone::kLinear; break;
    case heif_transfer_characteristic_unspecified:
    case heif_transfer_characteristic_IEC_61966_2_1: break;
    default:
      RasWarn("the HEIF image's transfer characteristics %d are read as sRGB (not tone mapped)", transfer);
      break;
  }
  if (srgbPrimaries && tone == RgbTone::kSrgb) return;
  RgbChromaticities space = RawSpaceChromaticities(1);
  if (!srgbPrimaries) {
    space = {{nclx.color_primary_white_x, nclx.color_primary_white_y},
             {nclx.color_primary_red_x, nclx.color_primary_red_y},
             {nclx.color_primary_green_x, nclx.color_primary_green_y},
             {nclx.color_primary_blue_x, nclx.color_primary_blue_y}};
  }
  const std::string description =
      "HEIF nclx primaries " + std::to_string(primaries) + " transfer " + std::to_string(transfer);
  if (!MakeRgbProfile(space, tone, description.c_str(), profile))
    RasWarn("the HEIF image's colour box (primaries %d, transfer %d) cannot be made a profile: it is read as sRGB",
            primaries, transfer);
}

void ReadMeta(const heif_image_handle* handle, ImageMeta& meta) {
  switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
      const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
      if (size >= 128 && size < (16u << 20)) {
        meta.iccProfile.resize(size);
        if (heif_image_handle_get_raw_color_profile(handle, meta.iccProfile.data()).code != heif_error_Ok)
          meta.iccProfile.clear();
      }
      break;
    }
    case heif_color_profile_type_nclx: {
      heif_color_profile_nclx* nclx = nullptr;
      if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx)
        ProfileFromNclx(*nclx, meta.iccProfile);
      heif_nclx_color_profile_free(nclx);
      break;
    }
    default: break;
  }
  for (const char* type : {"Exif", "mime"}) {
    const int n = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    if (n <= 0) continue;
    std::vector<heif_item_id> ids((size_t)n);
    heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), n);
    for (heif_item_id id : ids) {
      const size_t size = heif_image_handle_get_metadata_size(handle, id);
      if (size == 0 || size > (16u << 20)) continue;
      std::vector<uint8_t> block(size);
      if (heif_image_handle_get_metadata(handle, id, block.data()).code != heif_error_Ok) continue;
      if (std::strcmp(type, "Exif") == 0 && meta.exif.empty() && size > 4) {
        // A 4-byte offset from the end of itself to the TIFF header comes first.
        const size_t skip = 4 + ((size_t)block[0] << 24 | (size_t)block[1] << 16 | (size_t)block[2] << 8 | block[3]);
        if (skip < size) meta.exif.assign(block.begin() + (ptrdiff_t)skip, block.end());
      } else if (std::strcmp(type, "mime") == 0 && meta.xmp.empty()) {
        const char* content = heif_image_handle_get_metadata_content_type(handle, id);
        if (content && std::strcmp(content, "application/rdf+xml") == 0) meta.xmp = std::move(block);
      }
    }
  }
}

Status Load(RasImage& image, bool decode) {
  RasFileState& fs = *image.file;
  int64_t size = 0;
  uint8_t head[64] = {};
  if (Status opened = RasOpenInput(fs, size, head, 16, "a HEIF file"); opened != kOk) return opened;
  size_t headSize = 16;
  if (size > 16) {
    size_t more = (size_t)std::min<int64_t>(size - 16, (int64_t)sizeof head - 16);
    if (StreamRead(fs.stream, head + 16, more, true) == kOk) headSize += more;
  }
  if (!IsHeif(head, headSize)) return RasFail(kFormatErr, "no HEIF or AVIF file type");
  fs.recognised = true;
  auto st = std::make_unique<HeifState>();
  if (Status read = RasReadWhole(fs.stream, size, kMaxFileBytes, st->bytes, "HEIF file"); read != kOk) return read;
  StreamClose(fs.stream);
  st->context = heif_context_alloc();
  if (!st->context) return kNoMem;
  heif_context_set_maximum_image_size_limit(st->context, kMaxSide);
  heif_error err = heif_context_read_from_memory_without_copy(st->context, st->bytes.data(), st->bytes.size(), nullptr);
  if (err.code == heif_error_Ok) err = heif_context_get_primary_image_handle(st->context, &st->handle);
  if (err.code != heif_error_Ok) return RasFail(kFormatErr, "the HEIF file cannot be read: %s", err.message);
  const int w = heif_image_handle_get_width(st->handle), h = heif_image_handle_get_height(st->handle);
  st->alpha = heif_image_handle_has_alpha_channel(st->handle) != 0;
  st->bits = heif_image_handle_get_luma_bits_per_pixel(st->handle);
  if (w <= 0 || h <= 0 || st->bits <= 0 || st->bits > 16)
    return RasFail(kFormatErr, "the HEIF image states %d x %d pixels of %d bits", w, h, st->bits);
  const bool is16 = st->bits > 8;
  if (is16 != (image.format == kRasHeif16)) {
    fs.recognised = false;
    return RasFail(kFormatErr, "a %d-bit HEIF image", st->bits);
  }
  st->width = (uint32_t)w;
  st->height = (uint32_t)h;
  const uint64_t decodedBytes = (uint64_t)st->width * st->height * (st->alpha ? 4 : 3) * (is16 ? 2 : 1);
  if (decodedBytes > kMaxDecodedBytes)
    return RasFail(kUnsupported, "the HEIF image's %u x %u pixels are more than this program decodes", st->width,
                   st->height);
  ReadMeta(st->handle, image.meta);
  RasDescribe(image, is16 ? kRasHeif16 : kRasHeif, st->width, st->height, 3, kRasRGB, -1);
  if (!decode) return kOk;

  const heif_chroma chroma = st->alpha ? (is16 ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA)
                                       : (is16 ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB);
  // A grid's canvas comes from its own box, not the size stated above: no
  // side of it may pass twice the stated image's (tiles overhang the image
  // by less than a tile), so that a damaged grid cannot claim gigabytes.
  heif_context_set_maximum_image_size_limit(st->context,
                                            std::clamp(2 * std::max(w, h), kMinSideLimit, kMaxSide));
  heif_decoding_options* options = heif_decoding_options_alloc();
  err = heif_decode_image(st->handle, &st->decoded, heif_colorspace_RGB, chroma, options);
  heif_decoding_options_free(options);
  if (err.code != heif_error_Ok) return RasFail(kReadErr, "the HEIF image cannot be decoded: %s", err.message);
  st->pixels = heif_image_get_plane_readonly(st->decoded, heif_channel_interleaved, &st->stride);
  if (!st->pixels || heif_image_get_width(st->decoded, heif_channel_interleaved) != w ||
      heif_image_get_height(st->decoded, heif_channel_interleaved) != h)
    return RasFail(kReadErr, "the decoded HEIF image is not the %d x %d pixels its file states", w, h);
  if (is16) st->bits = heif_image_get_bits_per_pixel_range(st->decoded, heif_channel_interleaved);
  if (is16 && (st->bits <= 8 || st->bits > 16))
    return RasFail(kReadErr, "the decoded HEIF image has %d-bit samples", st->bits);
  std::vector<uint8_t>().swap(st->bytes);
  fs.module = std::move(st);
  return kOk;
}

template <typename T>
void Emit(const T* in, uint32_t w, bool alpha, uint32_t max, uint32_t scaleTo, T* const* planes) {
  const uint32_t stride = alpha ? 4 : 3;
  for (uint32_t x = 0; x < w; ++x, in += stride) {
    const uint32_t a = alpha ? std::min<uint32_t>(in[3], max) : max;
    for (int c = 0; c < 3; ++c) {
      uint32_t v = std::min<uint32_t>(in[c], max);
      if (a != max) v = (v * a + max / 2) / max + (max - a);  // over white
      if (scaleTo != max) v = (uint32_t)(((uint64_t)v * scaleTo + max / 2) / max);
      planes[c][x] = (T)v;
    }
  }
}

}  // namespace

Status HeifOpen(RasImage& image) {
  const Status st = Load(image, true);
  if (st != kOk) StreamClose(image.file->stream);
  return st;
}

Status HeifDescribe(RasImage& image) {
  const Status st = Load(image, false);
  StreamClose(image.file->stream);
  return st;
}

Status HeifReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  HeifState& st = StateOf(image);
  const uint8_t* row = st.pixels + (size_t)line * (size_t)st.stride;
  if (st.bits > 8) {
    Emit(reinterpret_cast<const uint16_t*>(row), st.width, st.alpha, (1u << st.bits) - 1, 65535, sl.plane16);
  } else {
    Emit(row, st.width, st.alpha, 255, 255, sl.plane8);
  }
  return kOk;
}

Status HeifClose(RasImage& image) {
  image.file->module.reset();
  StreamClose(image.file->stream);
  return kOk;
}
