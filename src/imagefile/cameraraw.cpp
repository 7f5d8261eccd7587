#include "imagefile/cameraraw.h"

#include <lcms2.h>
#include <libraw/libraw.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "imagefile/rasmodule.h"
#include "imagefile/rgbprofile.h"

namespace {

constexpr int64_t kMaxFileBytes = 1ll << 30;
constexpr uint64_t kMaxPixels = 1ull << 27;
constexpr unsigned kMaxLibRawMemoryMb = 2048;

constexpr int kLibRawProPhoto = 4;

struct RawState : RasModuleState {
  std::unique_ptr<LibRaw> raw;
  bool dataError = false;  // LibRaw met the end of the file or damaged data
  libraw_processed_image_t* processed = nullptr;
  ~RawState() override {
    if (processed) LibRaw::dcraw_clear_mem(processed);
  }
};

// Raw files begin as TIFF files or with one of their own signatures.
bool MayBeRaw(const uint8_t* b, size_t n) {
  auto is = [&](const char* s, size_t at = 0) {
    const size_t len = std::strlen(s);
    return n >= at + len && std::memcmp(b + at, s, len) == 0;
  };
  return (n >= 4 && ((b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M'))) || is("FUJIFILM") ||
         (n >= 4 && b[0] == 0 && is("MRM", 1)) || is("FOVb") || is("ftypcrx ", 4);
}

// LibRaw reports damaged or missing data through a callback (that would
// print) and goes on; the callback notes it so the read fails.
void OnDataError(void* flag, const char*, const int) { *static_cast<bool*>(flag) = true; }
void QuietMemory(void*, const char*, const char*) {}

// Opens the file with LibRaw; kFormatErr (not recognised) when it is no raw
// file LibRaw knows.
Status Identify(RasImage& image, std::unique_ptr<LibRaw>& raw, bool& dataError) {
  RasFileState& fs = *image.file;
  int64_t size = 0;
  uint8_t head[16] = {};
  if (Status opened = RasOpenInput(fs, size, head, sizeof head, "a camera raw file"); opened != kOk) return opened;
  StreamClose(fs.stream);
  if (!MayBeRaw(head, sizeof head)) return RasFail(kFormatErr, "no camera raw signature");
  raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
  raw->set_dataerror_handler(OnDataError, &dataError);
  raw->set_memerror_handler(QuietMemory, nullptr);
  libraw_output_params_t& p = raw->imgdata.params;
  p.max_raw_memory_mb = kMaxLibRawMemoryMb;
  const int opened = raw->open_file(fs.path.c_str());
  if (opened != LIBRAW_SUCCESS) return RasFail(kFormatErr, "not a camera raw file: %s", LibRaw::strerror(opened));
  // LibRaw accepts some plain TIFF files too: a raw file has a colour filter
  // array, a DNG version or a camera's maker.
  const libraw_iparams_t& id = raw->imgdata.idata;
  if (!id.filters && !id.dng_version && !id.make[0])
    return RasFail(kFormatErr, "a TIFF file without raw data");
  fs.recognised = true;
  if (size > kMaxFileBytes)
    return RasFail(kUnsupported, "the camera raw file of %lld bytes is larger than this program reads", (long long)size);
  const libraw_image_sizes_t& s = raw->imgdata.sizes;
  if ((uint64_t)s.raw_width * s.raw_height > kMaxPixels || (uint64_t)s.width * s.height > kMaxPixels ||
      s.width == 0 || s.height == 0)
    return RasFail(kUnsupported, "the %s raw image's %u x %u pixels are more than this program handles", id.make,
                   (unsigned)s.raw_width, (unsigned)s.raw_height);
  return kOk;
}

bool SameSpace(const RgbChromaticities& a, const RgbChromaticities& b) {
  const double* pa[] = {a.white, a.red, a.green, a.blue};
  const double* pb[] = {b.white, b.red, b.green, b.blue};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 2; ++k)
      if (std::fabs(pa[i][k] - pb[i][k]) > 0.001) return false;
  return true;
}

// LibRaw's output space (output_color 1..4) with the wanted primaries; else
// 0: render ProPhoto RGB, the widest, and convert.
int LibRawSpaceFor(const RgbChromaticities& wanted) {
  for (int space = 1; space <= 4; ++space)
    if (SameSpace(RawSpaceChromaticities(space), wanted)) return space;
  return 0;
}

// The linear profile of the rendering space.
void CarryProfile(RasImage& image) {
  const ReadOptions& read = image.file->read;
  const std::string description = "Linear " + read.rawSpaceName + " (camera raw)";
  if (!MakeRgbProfile(read.rawSpace, RgbTone::kLinear, description.c_str(), image.meta.iccProfile))
    RasWarn("the profile of the camera raw image's %s space cannot be made", read.rawSpaceName.c_str());
}

// The rendered image (16-bit RGB, interleaved) from linear ProPhoto RGB into
// the wanted primaries, linear, relative colorimetric (white onto white, so
// neutrals stay neutral); colours outside the wanted space are clipped.
Status ConvertRendered(libraw_processed_image_t& out, const RgbChromaticities& wanted) {
  std::vector<uint8_t> from, to;
  if (!MakeRgbProfile(RawSpaceChromaticities(kLibRawProPhoto), RgbTone::kLinear, "", from) ||
      !MakeRgbProfile(wanted, RgbTone::kLinear, "", to))
    return RasFail(kReadErr, "the camera raw image's working space cannot be made");
  cmsHPROFILE in = cmsOpenProfileFromMem(from.data(), (cmsUInt32Number)from.size());
  cmsHPROFILE outProfile = cmsOpenProfileFromMem(to.data(), (cmsUInt32Number)to.size());
  cmsHTRANSFORM xf = in && outProfile ? cmsCreateTransform(in, TYPE_RGB_16, outProfile, TYPE_RGB_16,
                                                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE)
                                      : nullptr;
  if (in) cmsCloseProfile(in);
  if (outProfile) cmsCloseProfile(outProfile);
  if (!xf) return RasFail(kReadErr, "the camera raw image cannot be converted into its working space");
  uint16_t* rows = reinterpret_cast<uint16_t*>(out.data);
  for (uint32_t y = 0; y < out.height; ++y) {
    uint16_t* row = rows + (size_t)y * out.width * 3;
    cmsDoTransform(xf, row, row, out.width);
  }
  cmsDeleteTransform(xf);
  return kOk;
}

Status Load(RasImage& image, bool decode) {
  auto state = std::make_unique<RawState>();
  std::unique_ptr<LibRaw>& raw = state->raw;
  if (Status st = Identify(image, raw, state->dataError); st != kOk) return st;
  libraw_output_params_t& p = raw->imgdata.params;
  const int libRawSpace = LibRawSpaceFor(image.file->read.rawSpace);
  p.output_color = libRawSpace ? libRawSpace : kLibRawProPhoto;
  p.output_bps = 16;
  p.gamm[0] = p.gamm[1] = 1.0;
  p.no_auto_bright = 1;
  p.use_camera_wb = 1;
  p.use_camera_matrix = 1;
  p.user_flip = -1;  // the camera's orientation
  if (!decode) {
    if (int st = raw->adjust_sizes_info_only(); st != LIBRAW_SUCCESS)
      return RasFail(kFormatErr, "the camera raw image's size cannot be found: %s", LibRaw::strerror(st));
    CarryProfile(image);
    RasDescribe(image, kRasCameraRaw, raw->imgdata.sizes.iwidth, raw->imgdata.sizes.iheight, 3, kRasRGB, -1);
    return kOk;
  }
  int st = raw->unpack();
  if (st == LIBRAW_SUCCESS) st = raw->dcraw_process();
  if (st != LIBRAW_SUCCESS) return RasFail(kReadErr, "the camera raw data cannot be decoded: %s", LibRaw::strerror(st));
  if (state->dataError) return RasFail(kReadErr, "the camera raw data are cut short or damaged");
  state->processed = raw->dcraw_make_mem_image(&st);
  if (!state->processed)
    return RasFail(kReadErr, "the camera raw image cannot be rendered: %s", LibRaw::strerror(st));
  const libraw_processed_image_t& out = *state->processed;
  if (out.type != LIBRAW_IMAGE_BITMAP || out.colors != 3 || out.bits != 16 || out.width == 0 || out.height == 0)
    return RasFail(kReadErr, "LibRaw rendered the camera raw image as %d channels of %d bits", out.colors, out.bits);
  raw->recycle();  // frees the unpacked data; the rendered image stays
  if (!libRawSpace)
    if (Status converted = ConvertRendered(*state->processed, image.file->read.rawSpace); converted != kOk)
      return converted;
  CarryProfile(image);
  RasDescribe(image, kRasCameraRaw, out.width, out.height, 3, kRasRGB, -1);
  image.file->module = std::move(state);
  return kOk;
}

}  // namespace

Status CameraRawOpen(RasImage& image) { return Load(image, true); }
Status CameraRawDescribe(RasImage& image) { return Load(image, false); }

Status CameraRawReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  const auto& st = *static_cast<RawState*>(image.file->module.get());
  const libraw_processed_image_t& out = *st.processed;
  const uint16_t* in = reinterpret_cast<const uint16_t*>(out.data) + (size_t)line * out.width * 3;
  for (uint32_t x = 0; x < out.width; ++x, in += 3)
    for (int c = 0; c < 3; ++c) sl.plane16[c][x] = in[c];
  return kOk;
}

Status CameraRawClose(RasImage& image) {
  image.file->module.reset();
  return kOk;
}
