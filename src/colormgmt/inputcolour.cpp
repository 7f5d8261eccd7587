#include "colormgmt/inputcolour.h"

#include <lcms2.h>

#include <new>

#include "base/debuglog.h"
#include "base/strings.h"

const char* const kInstalledCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

namespace {

struct ProfileCloser {
  void operator()(void* p) const {
    if (p) cmsCloseProfile(p);
  }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
  void operator()(void* t) const {
    if (t) cmsDeleteTransform(t);
  }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION;

bool FileExists(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

// The built-in gray: D50 white and the sRGB tone curve.
Profile BuiltinGray() {
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  if (!curve) return nullptr;
  Profile p(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  if (!p) return nullptr;
  if (cmsMLU* mlu = cmsMLUalloc(nullptr, 1)) {
    cmsMLUsetASCII(mlu, "en", "US", "Gray (sRGB tone curve)");
    cmsWriteTag(p.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  return p;
}

Profile OpenFile(const std::string& path, cmsColorSpaceSignature want, const char* kind, std::string& why) {
  Profile p(cmsOpenProfileFromFile(path.c_str(), "r"));
  if (!p) {
    why = "the " + std::string(kind) + " profile " + LeafName(path) + " cannot be read";
    return nullptr;
  }
  if (cmsGetColorSpace(p.get()) != want) {
    why = LeafName(path) + " is not a " + kind + " profile";
    return nullptr;
  }
  return p;
}

// The embedded profile when it describes `want`, else null (and the default serves).
Profile Embedded(const ImageMeta& meta, cmsColorSpaceSignature want) {
  if (!meta.HasIcc()) return nullptr;
  Profile p(cmsOpenProfileFromMem(meta.iccProfile.data(), meta.IccLength()));
  if (p && cmsGetColorSpace(p.get()) == want) return p;
  DLog("embedded profile of another colour space (or unreadable): the default serves");
  return nullptr;
}

// The source profile of a gray or CMYK file; null with `why` empty for the
// simple CMYK conversion, null with `why` set for a failure.
Profile SourceProfile(const RasImage& image, const InputColourDefaults& d, std::string& why) {
  const bool gray = image.colorType == kRasGray;
  if (Profile p = Embedded(image.meta, gray ? cmsSigGrayData : cmsSigCmykData)) return p;
  if (gray) return d.grayProfile.empty() ? BuiltinGray() : OpenFile(d.grayProfile, cmsSigGrayData, "gray", why);
  if (!d.cmykProfile.empty()) return OpenFile(d.cmykProfile, cmsSigCmykData, "CMYK", why);
  if (FileExists(kInstalledCmykProfile)) return OpenFile(kInstalledCmykProfile, cmsSigCmykData, "CMYK", why);
  return nullptr;
}

// Gray or CMYK rows to RGB rows through one transform (the simple CMYK
// conversion first makes sRGB rows, which the transform takes).
class RgbRows final : public RasRgbRows {
 public:
  Status Make(const RasImage& image, const std::string& rgbProfile, const InputColourDefaults& d, std::string& why) {
    wide_ = image.Is16();
    gray_ = image.colorType == kRasGray;
    Profile dst = OpenFile(rgbProfile, cmsSigRgbData, "RGB", why);
    if (!dst) return kFormatErr;
    Profile src = SourceProfile(image, d, why);
    if (!src && !why.empty()) return kFormatErr;
    simple_ = !src;
    if (simple_) src.reset(cmsCreate_sRGBProfile());
    cmsUInt32Number in = gray_ ? (wide_ ? TYPE_GRAY_16 : TYPE_GRAY_8) : (wide_ ? TYPE_CMYK_16 : TYPE_CMYK_8);
    if (simple_) in = wide_ ? TYPE_RGB_16 : TYPE_RGB_8;
    xform_.reset(cmsCreateTransform(src.get(), in, dst.get(), wide_ ? TYPE_RGB_16 : TYPE_RGB_8,
                                    INTENT_RELATIVE_COLORIMETRIC, kFlags));
    if (!xform_) {
      why = std::string("the ") + (gray_ ? "gray" : "CMYK") + " colours cannot be converted to RGB";
      return kFormatErr;
    }
    const size_t bytes = (size_t)image.width * (wide_ ? 2 : 1);
    in_.reset(new (std::nothrow) uint8_t[bytes * 4 + 1]);
    out_.reset(new (std::nothrow) uint8_t[bytes * 3 + 1]);
    if (!in_ || !out_) {
      why = "no memory for a row";
      return kNoMem;
    }
    return kOk;
  }

  Status Convert(const RasScanline& in, RasScanline& out, uint32_t width) override {
    if (wide_) Run<uint16_t>(in.plane16, out.plane16, width);
    else Run<uint8_t>(in.plane8, out.plane8, width);
    return kOk;
  }

 private:
  template <class T>
  void Run(T* const* inPlanes, T* const* outPlanes, uint32_t width) {
    const void* src = inPlanes[0];
    T* buf = reinterpret_cast<T*>(in_.get());
    if (!gray_) {
      constexpr uint32_t kMax = sizeof(T) == 2 ? 65535u : 255u;
      for (uint32_t x = 0; x < width; ++x) {
        if (simple_) {
          const uint32_t k = kMax - inPlanes[3][x];
          for (int c = 0; c < 3; ++c) buf[3 * x + c] = (T)(((kMax - inPlanes[c][x]) * (uint64_t)k + kMax / 2) / kMax);
        } else {
          for (int c = 0; c < 4; ++c) buf[4 * x + c] = inPlanes[c][x];
        }
      }
      src = buf;
    }
    T* rgb = reinterpret_cast<T*>(out_.get());
    cmsDoTransform(xform_.get(), src, rgb, width);
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) outPlanes[c][x] = rgb[3 * x + c];
  }

  bool wide_ = false, gray_ = false, simple_ = false;
  Transform xform_;
  std::unique_ptr<uint8_t[]> in_, out_;
};

}  // namespace

RasRgbPresenter MakeRgbPresenter(const std::string& rgbProfile, const InputColourDefaults& defaults) {
  return [rgbProfile, defaults](const RasImage& image, std::string& why) -> std::unique_ptr<RasRgbRows> {
    auto rows = std::make_unique<RgbRows>();
    if (rows->Make(image, rgbProfile, defaults, why) != kOk) return nullptr;
    return rows;
  };
}

Status GrayProfileOf(const ImageMeta& fileMeta, const InputColourDefaults& defaults, std::vector<uint8_t>* bytes,
                     std::string* why) {
  std::string reason;
  Profile p = Embedded(fileMeta, cmsSigGrayData);
  if (p) {
    bytes->assign(fileMeta.iccProfile.begin(), fileMeta.iccProfile.begin() + fileMeta.IccLength());
    return kOk;
  }
  p = defaults.grayProfile.empty() ? BuiltinGray() : OpenFile(defaults.grayProfile, cmsSigGrayData, "gray", reason);
  cmsUInt32Number size = 0;
  if (p && cmsSaveProfileToMem(p.get(), nullptr, &size) && size > 0) {
    bytes->resize(size);
    if (cmsSaveProfileToMem(p.get(), bytes->data(), &size)) return kOk;
  }
  if (why) *why = reason.empty() ? "the gray profile cannot be made" : reason;
  return kFormatErr;
}

struct RgbToGray::Impl {
  Transform xform;
  bool wide = false;
  std::unique_ptr<uint8_t[]> rgb;
};

RgbToGray::RgbToGray() = default;
RgbToGray::~RgbToGray() = default;

Status RgbToGray::Make(const std::string& rgbProfile, const std::vector<uint8_t>& grayProfile, bool sixteenBit,
                       uint32_t width, std::string* why) {
  std::string reason;
  impl_ = std::make_unique<Impl>();
  impl_->wide = sixteenBit;
  Profile src = OpenFile(rgbProfile, cmsSigRgbData, "RGB", reason);
  Profile dst(grayProfile.empty() ? nullptr
                                  : cmsOpenProfileFromMem(grayProfile.data(), (cmsUInt32Number)grayProfile.size()));
  if (src && (!dst || cmsGetColorSpace(dst.get()) != cmsSigGrayData)) reason = "the gray profile cannot be used";
  if (src && reason.empty())
    impl_->xform.reset(cmsCreateTransform(src.get(), sixteenBit ? TYPE_RGB_16 : TYPE_RGB_8, dst.get(),
                                          sixteenBit ? TYPE_GRAY_16 : TYPE_GRAY_8, INTENT_RELATIVE_COLORIMETRIC,
                                          kFlags));
  if (!impl_->xform) {
    if (why) *why = reason.empty() ? "the RGB colours cannot be converted to gray" : reason;
    impl_.reset();
    return kFormatErr;
  }
  impl_->rgb.reset(new (std::nothrow) uint8_t[(size_t)width * 3 * (sixteenBit ? 2 : 1) + 1]);
  if (!impl_->rgb) {
    impl_.reset();
    if (why) *why = "no memory for a row";
    return kNoMem;
  }
  return kOk;
}

Status RgbToGray::Convert(const void* const rgb[3], void* gray, uint32_t width) {
  if (!impl_) return kBadArg;
  if (impl_->wide) {
    uint16_t* buf = reinterpret_cast<uint16_t*>(impl_->rgb.get());
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) buf[3 * x + c] = static_cast<const uint16_t*>(rgb[c])[x];
  } else {
    uint8_t* buf = impl_->rgb.get();
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) buf[3 * x + c] = static_cast<const uint8_t*>(rgb[c])[x];
  }
  cmsDoTransform(impl_->xform.get(), impl_->rgb.get(), gray, width);
  return kOk;
}
