#include "imagefile/ras.h"

#include "imagefile/format.h"
#include "imagefile/rasmodule.h"
#include "base/debuglog.h"

const char* RasFormatName(int32_t format) {
  const FormatModule* m = FormatRegistry::Builtin().ByCode(format);
  return m ? m->traits.name : "?";
}

Status RasQuery(const std::string& path, RasImage& image, const ReadOptions& options) {
  if (image.file) return RasFail(kBadArg, "the image record is still open");
  RasClearFailure();
  RasClearWarning();
  image.meta.Clear();
  image.fileColorType = 0;
  if (Status st = options.Check(); st != kOk) return RasFail(st, "a read option is out of range");
  Status chosen = kFormatErr;
  std::string chosenWhy = "not an image file of a known format";
  bool haveChosen = false;
  for (const auto& m : FormatRegistry::Builtin().Modules()) {
    if (!m->reader || !m->recognisable) continue;
    RasImage probe;
    probe.format = m->traits.code;
    probe.file = std::make_unique<RasFileState>();
    probe.file->path = path;
    probe.file->mode = 'r';
    probe.file->ops = m.get();
    probe.file->read = options;
    RasClearFailure();
    Status st = m->reader->Describe(probe);
    if (st == kOk) {
      probe.file.reset();
      image.width = probe.width;
      image.height = probe.height;
      image.channels = probe.channels;
      image.colorType = probe.colorType;
      image.resolution = probe.resolution;
      image.format = m->traits.code;
      image.maxValue = RasMaxValueOf(image.format);
      image.meta = std::move(probe.meta);
      RasClearFailure();
      return RasPresentAsRgb(image, options);
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
    RasClearWarning();
  }
  RasSetFailure(chosenWhy);
  return chosen;
}

Status RasOpen(const std::string& path, char mode, RasImage& image, const std::string& finalName) {
  if (mode != 'r' && mode != 'w') return kBadArg;
  if (mode == 'r') return RasOpenRead(path, image, ReadOptions());
  return RasCreate(path, image, WriteOptions(), finalName);
}

static Status OpenByCode(const std::string& path, char mode, RasImage& image, const std::string& finalName,
                         const ReadOptions& read, const WriteOptions& write) {
  if (image.file) return RasFail(kBadArg, "the image record is already open");
  const FormatModule* m = FormatRegistry::Builtin().ByCode(image.format);
  if (!m) {
    RasClearFailure();
    if (mode == 'r') RasClearWarning();
    return RasFail(kBadArg, "unknown image format %d", (int)image.format);
  }
  return RasOpenWith(*m, path, mode, image, finalName, read, write);
}

Status RasOpenRead(const std::string& path, RasImage& image, const ReadOptions& options) {
  // Every decode of an image, in the diagnostics log (how often a file is decoded).
  DLog("decoding %s at 1/%d", path.c_str(), (int)options.scale);
  return OpenByCode(path, 'r', image, {}, options, WriteOptions());
}

Status RasCreate(const std::string& path, RasImage& image, const WriteOptions& options,
                 const std::string& finalName) {
  return OpenByCode(path, 'w', image, finalName, ReadOptions(), options);
}

std::string RasWithReason(const std::string& context) {
  const std::string& why = RasLastFailure();
  return why.empty() ? context : context + " (" + why + ")";
}
