#include "imagefile/ras.h"

#include "imagefile/bmp.h"
#include "imagefile/cineon.h"
#include "imagefile/dcs.h"
#include "imagefile/eps.h"
#include "imagefile/jpeg.h"
#include "imagefile/pcd.h"
#include "imagefile/rasmodule.h"
#include "imagefile/scitex.h"
#include "imagefile/targa.h"
#include "imagefile/tiff.h"

namespace {

Status RawOpen(RasImage&) { return RasFail(kUnsupported, "camera raw files are not supported"); }
Status RawClose(RasImage&) { return kUnsupported; }

// The format table, indexed by format code.
const RasModule kModules[] = {
    {0, "?", nullptr, nullptr, nullptr, nullptr, nullptr},
    {kRasTiff, "tiff", TiffOpen, nullptr, TiffReadSl, TiffWriteSl, TiffClose},
    {kRasTarga, "tga", TargaOpen, nullptr, TargaReadSl, TargaWriteSl, TargaClose},
    {kRasScitexCT, "sct", ScitexCTOpen, nullptr, ScitexCTReadSl, ScitexCTWriteSl, ScitexCTClose},
    {kRasEps, "eps", EpsOpen, nullptr, EpsReadSl, EpsWriteSl, EpsClose},
    {kRasDcs, "dcs", DcsOpen, nullptr, DcsReadSl, DcsWriteSl, DcsClose},
    {kRasPhotoCD, "pcd", PcdOpen, nullptr, PcdReadSl, PcdWriteSl, PcdClose},
    {kRasBmp, "bmp", BmpOpen, nullptr, BmpReadSl, BmpWriteSl, BmpClose},
    {kRasCineon, "cin", CineonOpen, nullptr, CineonReadSl, CineonWriteSl, CineonClose},
    {kRasJpeg, "jpeg", JpegOpen, JpegQuery, JpegReadSl, JpegWriteSl, JpegClose},
    {kRasTiff16, "tiff16", Tiff16Open, nullptr, Tiff16ReadSl, Tiff16WriteSl, TiffClose},
    {kRasCameraRaw, "raw", RawOpen, nullptr, nullptr, nullptr, RawClose},
};

// The order in which RasQuery tries the modules.
const int32_t kQueryOrder[] = {kRasPhotoCD, kRasCameraRaw, kRasTiff,    kRasTiff16, kRasEps,   kRasDcs,
                               kRasTarga,   kRasBmp,       kRasJpeg,    kRasScitexCT, kRasCineon};

// The table entry for a format code; null for a code outside 1..11. An entry
// whose open is null has no module yet.
const RasModule* FindModule(int32_t format) {
  if (format < 1 || format > kRasCameraRaw) return nullptr;
  return &kModules[format];
}

}  // namespace

const char* RasFormatName(int32_t format) {
  const RasModule* m = FindModule(format);
  return m ? m->name : "?";
}

Status RasQuery(const std::string& path, RasImage& image) {
  if (image.file) return RasFail(kBadArg, "the image record is still open");
  RasClearFailure();
  RasEmptyInputSlots();
  TiffResetReadMemory();
  Status chosen = kFormatErr;
  std::string chosenWhy = "not an image file of a known format";
  bool haveChosen = false;
  for (int32_t format : kQueryOrder) {
    const RasModule* m = FindModule(format);
    if (!m->open || format == kRasCameraRaw) continue;  // no module (camera raw never accepts a file)
    RasImage probe;
    probe.format = format;
    probe.file = std::make_unique<RasFileState>();
    probe.file->path = path;
    probe.file->mode = 'r';
    probe.file->ops = m;
    RasClearFailure();
    Status st = m->query ? m->query(probe) : m->open(probe);
    if (st == kOk) {
      if (!m->query) m->close(probe);
      probe.file.reset();
      image.width = probe.width;
      image.height = probe.height;
      image.channels = probe.channels;
      image.colorType = probe.colorType;
      image.resolution = probe.resolution;
      image.resolutionUnit = probe.resolutionUnit;
      image.format = format;
      image.maxValue = RasMaxValueOf(format);
      RasClearFailure();
      return kOk;
    }
    if (probe.file->recognised && !haveChosen) {
      haveChosen = true;
      chosen = st;
      chosenWhy = RasLastFailure();
    } else if (!haveChosen && st != kFormatErr) {
      chosen = st;  // a file that cannot be opened at all, for example
      chosenWhy = RasLastFailure();
    }
    probe.file.reset();
    RasEmptyInputSlots();
  }
  RasSetFailure(chosenWhy);
  return chosen;
}

Status RasOpen(const std::string& path, char mode, RasImage& image, const std::string& finalName) {
  if (mode != 'r' && mode != 'w') return kBadArg;
  if (image.file) return RasFail(kBadArg, "the image record is already open");
  const RasModule* m = FindModule(image.format);
  if (!m || m->format == 0) {
    RasClearFailure();
    if (mode == 'r') RasEmptyInputSlots();
    return RasFail(kBadArg, "unknown image format %d", (int)image.format);
  }
  return RasOpenWith(*m, path, mode, image, finalName);
}

