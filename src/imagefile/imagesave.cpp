#include "imagefile/imagesave.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/strings.h"
#include "base/stream.h"
#include "imagefile/format.h"
#include "imagefile/ras.h"

Status ImageSave::Prepare(const std::string& target, std::string* why) {
  RemoveFiles();
  target_ = target;
  const std::string folder = FolderOf(target, "./");
  SweepOutputFolder(folder);
  return temp_.Create(folder, why);
}

Status ImageSave::Open(RasImage& image, const WriteOptions& options) {
  if (!temp_.Active()) return kBadArg;
  const FormatModule* m = FormatRegistry::Builtin().ByCode(image.format);
  companions_ = m ? &m->traits.companionSuffixes : nullptr;
  return RasCreate(temp_.Path(), image, options, target_);
}

Status ImageSave::Commit(std::string* why, bool syncFolder) {
  if (!temp_.Active()) return kBadArg;
  Status st = kOk;
  for (size_t k = 0; st == kOk && companions_ && k < companions_->size(); ++k) {
    const std::string part = temp_.Path() + (*companions_)[k];
    const int fd = ::open(part.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      if (why) *why = "cannot open " + part;
      st = kOpenErr;
      break;
    }
    st = ReplaceFile(fd, part, target_ + (*companions_)[k], true, why);
    ::close(fd);
  }
  if (st == kOk) return temp_.CommitTo(target_, true, why, syncFolder);
  RemoveFiles();
  return st;
}

void ImageSave::Abort(RasImage& image) {
  if (image.file) RasClose(image);
  RemoveFiles();
}

void ImageSave::RemoveFiles() {
  if (!temp_.Active()) return;
  if (companions_)
    for (const std::string& suffix : *companions_) StreamDelete(temp_.Path() + suffix);
  temp_.Remove();
}
