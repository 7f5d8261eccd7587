#include "imagefile/dcs.h"

#include <cstring>

#include "imagefile/eps.h"
#include "imagefile/epstext.h"
#include "imagefile/rasmodule.h"
#include "base/strings.h"

namespace {

// The plates are EPS files, opened through the EPS module itself.
const FormatModule& PlateModule() { return *FormatRegistry::Builtin().ByCode(kRasEps); }

const char kInks[] = "CMYK";
const char* const kPlateComments[4] = {"CyanPlate:", "MagentaPlate:", "YellowPlate:", "BlackPlate:"};

struct DcsState : RasModuleState {
  RasImage plate[4];
  RasScanline plateSl;  // one channel, the plates' width
};

DcsState& StateOf(RasImage& image) { return *static_cast<DcsState*>(image.file->module.get()); }

// Sets the EPS mode for the lifetime of the object.
class EpsModeScope {
 public:
  explicit EpsModeScope(int32_t mode) {
    EpsGetOption(0, old_);
    EpsSetOption(0, mode);
  }
  ~EpsModeScope() { EpsSetOption(0, old_); }

 private:
  int32_t old_ = 0;
};

// The value of a plate comment ("%%CyanPlate: name" or "%CyanPlate: name"), or empty.
std::string PlateName(const std::string& comment, int k) {
  size_t p = 0;
  while (p < comment.size() && p < 2 && comment[p] == '%') ++p;
  const size_t n = std::strlen(kPlateComments[k]);
  if (comment.compare(p, n, kPlateComments[k]) != 0) return {};
  std::string value = comment.substr(p + n);
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const size_t last = value.find_last_not_of(" \t");
  return value.substr(first, last - first + 1);
}

Status OpenRead(RasImage& image) {
  RasFileState& fs = *image.file;
  if (StreamOpen(fs.stream, fs.path, kStreamRead) != kOk) return RasFail(kOpenErr, "cannot open %s", fs.path.c_str());
  std::vector<std::string> comments;
  if (EpsReadComments(fs.stream, comments, 1000) != kOk) return RasFail(kFormatErr, "not an EPS file");
  std::string names[4];
  for (const std::string& c : comments)
    for (int k = 0; k < 4; ++k)
      if (names[k].empty()) names[k] = PlateName(c, k);
  for (int k = 0; k < 4; ++k)
    if (LeafName(names[k]).empty()) return RasFail(kFormatErr, "no DCS plate comments");
  fs.recognised = true;
  const std::string folder = FolderOf(fs.path);
  auto st = std::make_unique<DcsState>();
  for (int k = 0; k < 4; ++k) {
    RasImage& p = st->plate[k];
    const std::string platePath = folder + LeafName(names[k]);
    p.format = kRasEps;
    Status status = RasOpenWith(PlateModule(), platePath, 'r', p);
    if (status != kOk) {
      const std::string why = RasLastFailure();
      return RasFail(status, "DCS plate %s: %s", platePath.c_str(), why.c_str());
    }
    if (p.channels != 1) return RasFail(kFormatErr, "DCS plate %s holds %d channels", platePath.c_str(), p.channels);
    if (p.width != st->plate[0].width || p.height != st->plate[0].height)
      return RasFail(kFormatErr, "the DCS plates differ in size");
  }
  Status status = RasMakeSl(st->plateSl, st->plate[0]);
  if (status != kOk) return status;
  RasDescribe(image, kRasDcs, st->plate[0].width, st->plate[0].height, 4, kRasCMYK, st->plate[0].resolution);
  fs.module = std::move(st);
  return kOk;
}

Status OpenWrite(RasImage& image) {
  RasFileState& fs = *image.file;
  if (image.colorType != kRasCMYK || image.channels != 4) return RasFail(kBadArg, "DCS files hold CMYK images only");
  if (image.width == 0 || image.height == 0) return RasFail(kBadArg, "empty image");
  for (char ch : fs.name)
    if ((unsigned char)ch < 0x20 || ch == 0x7F) return RasFail(kBadArg, "a DCS file name cannot hold control characters");
  if (!(image.resolution > 0)) image.resolution = 300;
  auto st = std::make_unique<DcsState>();
  int32_t encoding = 1;
  EpsGetOption(1, encoding);
  Status status = RasCreateOutput(fs);
  if (status != kOk) return status;
  {
    EpsModeScope mode(1);
    int64_t headerSize = 0;
    status = DoEpsHeader(image, fs.name, encoding, 0, headerSize, true);
  }
  int made = 0;
  for (; status == kOk && made < 4; ++made) {
    RasImage& p = st->plate[made];
    rasInit(p, kRasEps, image.width, image.height, 1, kRasGray, image.resolution);
    EpsModeScope mode(4);
    status = RasOpenWith(PlateModule(), DcsPlatePath(fs.path, made), 'w', p, DcsPlatePath(fs.name, made));
    if (status != kOk) break;
  }
  if (status == kOk) status = RasMakeSl(st->plateSl, st->plate[0]);
  if (status != kOk) {
    for (int k = 0; k < made; ++k) {
      RasClose(st->plate[k]);
      StreamDelete(DcsPlatePath(fs.path, k));
    }
    RasAbandonOutput(fs);
    return status;
  }
  fs.module = std::move(st);
  return kOk;
}

}  // namespace

std::string DcsPlatePath(const std::string& path, int k) { return path + "." + kInks[k & 3]; }

Status DcsOpen(RasImage& image) {
  return RasOpenByMode(image, OpenRead, OpenWrite);
}

Status DcsReadSl(RasImage& image, uint32_t line, RasScanline& sl) {
  DcsState& st = StateOf(image);
  const uint32_t w = image.width;
  for (int k = 0; k < 4; ++k) {
    Status status = RasReadSl(st.plate[k], line, st.plateSl);
    if (status != kOk) return status;
    const uint8_t* in = st.plateSl.plane8[0];
    uint8_t* out = sl.plane8[k];
    for (uint32_t x = 0; x < w; ++x) out[x] = (uint8_t)(255 - in[x]);
  }
  return kOk;
}

Status DcsWriteSl(RasImage& image, uint32_t line, const RasScanline& sl) {
  DcsState& st = StateOf(image);
  const uint32_t w = image.width;
  for (int k = 0; k < 4; ++k) {
    const uint8_t* in = sl.plane8[k];
    uint8_t* out = st.plateSl.plane8[0];
    for (uint32_t x = 0; x < w; ++x) out[x] = (uint8_t)(255 - in[x]);
    Status status = RasWriteSl(st.plate[k], line, st.plateSl);
    if (status != kOk) return status;
  }
  return kOk;
}

Status DcsClose(RasImage& image) {
  Status result = kOk;
  if (image.file->module) {
    DcsState& st = StateOf(image);
    for (RasImage& p : st.plate) {
      Status status = RasClose(p);
      if (result == kOk) result = status;
    }
  }
  image.file->module.reset();
  if (StreamClose(image.file->stream) != kOk && result == kOk)
    result = RasFail(kWriteErr, "cannot close %s", image.file->path.c_str());
  return result;
}
