#include "base/atomicfile.h"

#include "base/paths.h"

Status AtomicFile::Open(const std::string& target) {
  Abort();
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string("./") : target.substr(0, slash + 1);
  std::string temp;
  if (Status st = Ui_Path_CreateUniqueTempFile(folder, temp, folder.size() + 16); st != kOk)
    return st;
  if (Status st = StreamOpen(stream_, temp, kStreamWrite); st != kOk) {
    StreamDelete(temp);
    return st;
  }
  temp_ = temp;
  target_ = target;
  return kOk;
}

Status AtomicFile::Commit(bool durable) {
  if (temp_.empty()) return kBadArg;
  Status st = StreamFlush(stream_, durable);
  const Status closed = StreamClose(stream_);
  if (st == kOk) st = closed;
  if (st == kOk && StreamRename(temp_, target_) != kOk) st = kSysErr;
  if (st != kOk) StreamDelete(temp_);
  temp_.clear();
  return st;
}

void AtomicFile::Abort() {
  if (temp_.empty()) return;
  StreamClose(stream_);
  StreamDelete(temp_);
  temp_.clear();
}
