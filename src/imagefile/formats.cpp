// The built-in format modules and the registry. Each module is registered
// here with one line, in the order recognition tries them.
#include "imagefile/format.h"

#include <algorithm>
#include <cctype>

#include "imagefile/bmp.h"
#include "imagefile/cameraraw.h"
#include "imagefile/cineon.h"
#include "imagefile/dcs.h"
#include "imagefile/eps.h"
#include "imagefile/heifimage.h"
#include "imagefile/jpeg.h"
#include "imagefile/png.h"
#include "imagefile/pcd.h"
#include "imagefile/rasmodule.h"
#include "imagefile/scitex.h"
#include "imagefile/targa.h"
#include "imagefile/tiff.h"
#include "imagefile/webp.h"

// ---- defaults of the interfaces -------------------------------------------------

bool FormatReader::MayBe(const FileHead&) const { return true; }

Status FormatReader::Describe(RasImage& image) const {
  Status st = Open(image);
  if (st == kOk) Close(image);
  return st;
}

// ---- the registry ------------------------------------------------------------------

bool FormatRegistry::Add(std::unique_ptr<FormatModule> module) {
  if (!module || ByCode(module->traits.code)) return false;
  modules_.push_back(std::move(module));
  return true;
}

const FormatModule* FormatRegistry::ByCode(int32_t code) const {
  for (const auto& m : modules_)
    if (m->traits.code == code) return m.get();
  return nullptr;
}

const FormatModule* FormatRegistry::ByName(const std::string& name) const {
  for (const auto& m : modules_)
    if (name == m->traits.name) return m.get();
  return nullptr;
}

namespace {

// The lower-case extension of the path's last component; empty when none.
std::string ExtensionOf(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return (char)std::tolower(c); });
  return ext;
}

}  // namespace

const FormatModule* FormatRegistry::ByExtension(const std::string& path) const {
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return nullptr;
  for (const auto& m : modules_) {
    if (!m->writer) continue;
    for (const std::string& e : m->traits.extensions)
      if (e == ext) return m.get();
  }
  return nullptr;
}

bool FormatRegistry::ReadsExtension(const std::string& path) const {
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return false;
  for (const auto& m : modules_)
    if (m->reader && std::find(m->traits.extensions.begin(), m->traits.extensions.end(), ext) != m->traits.extensions.end())
      return true;
  return false;
}

std::string FormatRegistry::WritableNames(const char* sep) const {
  std::string names;
  for (const auto& m : modules_) {
    if (!m->writer) continue;
    if (!names.empty()) names += sep;
    names += m->traits.name;
  }
  return names;
}

const FormatRegistry& FormatRegistry::Builtin() {
  static const FormatRegistry registry = [] {
    FormatRegistry r;
    RegisterBuiltinFormats(r);
    return r;
  }();
  return registry;
}

// ---- the built-in modules ------------------------------------------------------------

namespace {

// A module whose reader and writer are plain functions over the image record.
struct FunctionModule {
  Status (*open)(RasImage&) = nullptr;      // both sides, by the file state's mode
  Status (*describe)(RasImage&) = nullptr;  // null: open and close
  Status (*readRow)(RasImage&, uint32_t, RasScanline&) = nullptr;
  Status (*writeRow)(RasImage&, uint32_t, const RasScanline&) = nullptr;
  Status (*close)(RasImage&) = nullptr;
};

class FunctionReader final : public FormatReader {
 public:
  explicit FunctionReader(FunctionModule f) : f_(f) {}
  Status Open(RasImage& image) const override { return f_.open(image); }
  Status Describe(RasImage& image) const override {
    return f_.describe ? f_.describe(image) : FormatReader::Describe(image);
  }
  Status ReadRow(RasImage& image, uint32_t line, RasScanline& sl) const override { return f_.readRow(image, line, sl); }
  Status Close(RasImage& image) const override { return f_.close(image); }

 private:
  FunctionModule f_;
};

class FunctionWriter final : public FormatWriter {
 public:
  explicit FunctionWriter(FunctionModule f) : f_(f) {}
  Status Create(RasImage& image) const override { return f_.open(image); }
  Status WriteRow(RasImage& image, uint32_t line, const RasScanline& sl) const override {
    return f_.writeRow(image, line, sl);
  }
  Status Close(RasImage& image) const override { return f_.close(image); }

 private:
  FunctionModule f_;
};

std::unique_ptr<FormatModule> Make(FormatTraits traits, FunctionModule f) {
  auto m = std::make_unique<FormatModule>();
  m->traits = std::move(traits);
  if (m->traits.readColorTypes) m->reader = std::make_unique<FunctionReader>(f);
  if (m->traits.writeColorTypes) m->writer = std::make_unique<FunctionWriter>(f);
  return m;
}

constexpr uint32_t kGray = ColorTypeBit(kRasGray), kRgb = ColorTypeBit(kRasRGB), kCmyk = ColorTypeBit(kRasCMYK),
                   kLab = ColorTypeBit(kRasLab), kPcd = ColorTypeBit(kRasPhotoCDColor);

}  // namespace

void RegisterBuiltinFormats(FormatRegistry& r) {
  const uint32_t gray3 = kGray | kRgb | kCmyk;
  r.Add(Make({kRasPhotoCD, "pcd", {"pcd"}, kPcd, 0, kDepth8, 0, 0, 0, {}},
             {PcdOpen, nullptr, PcdReadSl, nullptr, PcdClose}));
  r.Add(Make({kRasCameraRaw, "raw", {"cr2", "cr3", "nef", "nrw", "arw", "srf", "sr2", "dng", "orf", "rw2", "raf", "pef",
                                     "srw", "rwl", "3fr", "iiq", "mrw", "x3f", "erf", "kdc", "dcr", "mos", "raw"},
              kRgb, 0, kDepth16, 0, kMetaIcc, 0, {}},
             {CameraRawOpen, CameraRawDescribe, CameraRawReadSl, nullptr, CameraRawClose}));
  r.Add(Make({kRasTiff, "tiff", {"tif", "tiff"}, gray3 | kLab, gray3 | kLab | kPcd, kDepth8, kDepth8,
              kMetaIcc | kMetaIptc | kMetaResolution, kMetaIcc | kMetaIptc | kMetaResolution, {}},
             {TiffOpen, nullptr, TiffReadSl, TiffWriteSl, TiffClose}));
  r.Add(Make({kRasTiff16, "tiff16", {"tif", "tiff"}, gray3 | kLab, gray3 | kLab | kPcd, kDepth16, kDepth16,
              kMetaIcc | kMetaIptc | kMetaResolution, kMetaIcc | kMetaIptc | kMetaResolution, {}},
             {Tiff16Open, nullptr, Tiff16ReadSl, Tiff16WriteSl, TiffClose}));
  r.Add(Make({kRasEps, "eps", {"eps"}, gray3, gray3 | kPcd, kDepth8, kDepth8, kMetaResolution, kMetaResolution, {}},
             {EpsOpen, nullptr, EpsReadSl, EpsWriteSl, EpsClose}));
  r.Add(Make({kRasDcs, "dcs", {"dcs"}, kCmyk, kCmyk, kDepth8, kDepth8, kMetaResolution, kMetaResolution,
              {".C", ".M", ".Y", ".K"}},
             {DcsOpen, nullptr, DcsReadSl, DcsWriteSl, DcsClose}));
  r.Add(Make({kRasTarga, "tga", {"tga", "targa", "icb", "vda", "vst"}, kGray | kRgb, kGray | kRgb | kPcd, kDepth8,
              kDepth8, 0, 0, {}},
             {TargaOpen, nullptr, TargaReadSl, TargaWriteSl, TargaClose}));
  r.Add(Make({kRasBmp, "bmp", {"bmp"}, kGray | kRgb, kGray | kRgb, kDepth8, kDepth8, kMetaResolution,
              kMetaResolution, {}},
             {BmpOpen, nullptr, BmpReadSl, BmpWriteSl, BmpClose}));
  r.Add(Make({kRasJpeg, "jpeg", {"jpg", "jpeg", "jpe"}, gray3, gray3 | kPcd, kDepth8, kDepth8,
              kMetaIcc | kMetaExif | kMetaResolution, kMetaIcc | kMetaExif | kMetaResolution, {}},
             {JpegOpen, JpegQuery, JpegReadSl, JpegWriteSl, JpegClose}));
  r.Add(Make({kRasScitexCT, "sct", {"sct", "ct"}, gray3, gray3 | kPcd, kDepth8, kDepth8, kMetaResolution,
              kMetaResolution, {}},
             {ScitexCTOpen, nullptr, ScitexCTReadSl, ScitexCTWriteSl, ScitexCTClose}));
  r.Add(Make({kRasPng, "png", {"png"}, kGray | kRgb, kGray | kRgb | kPcd, kDepth8, kDepth8,
              kMetaIcc | kMetaExif | kMetaResolution, kMetaIcc | kMetaExif | kMetaResolution, {}},
             {PngOpen, nullptr, PngReadSl, PngWriteSl, PngClose}));
  r.Add(Make({kRasPng16, "png16", {"png"}, kGray | kRgb, kGray | kRgb | kPcd, kDepth16, kDepth16,
              kMetaIcc | kMetaExif | kMetaResolution, kMetaIcc | kMetaExif | kMetaResolution, {}},
             {PngOpen, nullptr, PngReadSl, PngWriteSl, PngClose}));
  r.Add(Make({kRasCineon, "cin", {"cin"}, kRgb, kRgb | kPcd, kDepth10, kDepth10, 0, 0, {}},
             {CineonOpen, nullptr, CineonReadSl, CineonWriteSl, CineonClose}));
  r.Add(Make({kRasWebp, "webp", {"webp"}, kRgb, kGray | kRgb | kPcd, kDepth8, kDepth8, kMetaIcc | kMetaExif | kMetaXmp,
              kMetaIcc | kMetaExif | kMetaXmp, {}},
             {WebpOpen, WebpDescribe, WebpReadSl, WebpWriteSl, WebpClose}));
  const std::vector<std::string> heifExtensions = {"heic", "heif", "hif", "avif"};
  r.Add(Make({kRasHeif, "heif", heifExtensions, kRgb, 0, kDepth8, 0, kMetaIcc | kMetaExif | kMetaXmp, 0, {}},
             {HeifOpen, HeifDescribe, HeifReadSl, nullptr, HeifClose}));
  r.Add(Make({kRasHeif16, "heif16", heifExtensions, kRgb, 0, kDepth16, 0, kMetaIcc | kMetaExif | kMetaXmp, 0, {}},
             {HeifOpen, HeifDescribe, HeifReadSl, nullptr, HeifClose}));
}
