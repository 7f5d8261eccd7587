#include "base/atomicfile.h"

#include <unistd.h>

#include "base/strings.h"

Status AtomicFile::Open(const std::string& target) {
  Abort();
  why_.clear();
  if (Status st = temp_.Create(FolderOf(target, "./"), &why_); st != kOk) return st;
  const int fd = ::dup(temp_.Fd());
  if (fd < 0 || StreamAdoptFd(stream_, fd, temp_.Path(), kStreamWrite) != kOk) {
    temp_.Remove();
    return kOpenErr;
  }
  target_ = target;
  return kOk;
}

Status AtomicFile::Commit(bool durable) {
  if (!temp_.Active()) return kBadArg;
  Status st = StreamFlush(stream_, false);
  const Status closed = StreamClose(stream_);
  if (st == kOk) st = closed;
  if (st != kOk) {
    temp_.Remove();
    return st;
  }
  return temp_.CommitTo(target_, durable, &why_);
}

void AtomicFile::Abort() {
  StreamClose(stream_);
  temp_.Remove();
}

Status WriteWhole(const StreamLocation& where, const std::function<Status(Stream&)>& fill, std::string* why) {
  if (where.IsMemory()) {
    Stream s;
    if (Status st = StreamOpen(s, where, kStreamWrite); st != kOk) return st;
    const Status st = fill(s);
    const Status closed = StreamClose(s);
    return st != kOk ? st : closed;
  }
  AtomicFile file;
  Status st = file.Open(where.Path());
  if (st == kOk) st = fill(file.stream());
  if (st == kOk) st = file.Commit();
  if (st != kOk && why) *why = file.Why();
  return st;
}
