#include "base/stream.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

Stream::~Stream() { StreamClose(*this); }

static Status AttachFile(Stream& s, FILE* f, const std::string& path, int mode) {
  s.kind = StreamKind::File;
  s.mode = mode;
  s.path = path;
  s.file = f;
  return kOk;
}

Status StreamOpen(Stream& s, const StreamLocation& where, int mode) {
  if (mode < kStreamRead || mode > kStreamUpdate) return kBadArg;
  StreamClose(s);
  if (where.IsMemory()) {
    const MemStreamDesc& m = where.Mem();
    if (m.zero != 0 || m.tag != 'm' || !m.buffer || m.size <= 0) return kBadArg;
    s.kind = StreamKind::Memory;
    s.mode = mode;
    s.buffer = static_cast<uint8_t*>(m.buffer);
    s.size = m.size;
    s.pos = 0;
    s.high = 0;
    return kOk;
  }
  const std::string& path = where.Path();
  if (path.empty()) return kOpenErr;
  if (mode == kStreamRead) {
    FILE* f = std::fopen(path.c_str(), "rb");
    return f ? AttachFile(s, f, path, mode) : kOpenErr;
  }
  // A file opened for writing is never reached through a symbolic link.
  const int flags = mode == kStreamWrite ? O_WRONLY | O_CREAT | O_TRUNC : O_RDWR | O_CREAT;
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return kOpenErr;
  return StreamAdoptFd(s, fd, path, mode);
}

Status StreamAdoptFd(Stream& s, int fd, const std::string& path, int mode) {
  if (fd < 0 || mode < kStreamRead || mode > kStreamUpdate) return kBadArg;
  StreamClose(s);
  FILE* f = ::fdopen(fd, mode == kStreamRead ? "rb" : mode == kStreamWrite ? "wb" : "r+b");
  if (!f) {
    ::close(fd);
    return kOpenErr;
  }
  return AttachFile(s, f, path, mode);
}

Status StreamClose(Stream& s) {
  Status st = kOk;
  if (s.kind == StreamKind::File && s.file && std::fclose(s.file) != 0) st = kWriteErr;
  s.kind = StreamKind::None;
  s.mode = 0;
  s.file = nullptr;
  s.buffer = nullptr;
  s.size = s.pos = s.high = 0;
  s.path.clear();
  return st;
}

static int64_t MemEnd(const Stream& s) { return s.mode == kStreamRead ? s.size : s.high; }

Status StreamRead(Stream& s, void* buffer, size_t& count, bool exact) {
  const size_t wanted = count;
  if (wanted == 0) return kOk;
  count = 0;
  if (s.kind == StreamKind::File) {
    count = std::fread(buffer, 1, wanted, s.file);
  } else if (s.kind == StreamKind::Memory) {
    int64_t left = std::max<int64_t>(0, MemEnd(s) - s.pos);
    count = (size_t)std::min<int64_t>(left, (int64_t)wanted);
    if (count) std::memcpy(buffer, s.buffer + s.pos, count);
    s.pos += (int64_t)count;
  } else {
    return kBadArg;
  }
  if (count == 0 || (exact && count < wanted)) return kReadErr;
  return kOk;
}

Status StreamWrite(Stream& s, const void* buffer, size_t& count) {
  const size_t wanted = count;
  if (wanted == 0) return kOk;
  count = 0;
  if (s.kind == StreamKind::File) {
    count = std::fwrite(buffer, 1, wanted, s.file);
  } else if (s.kind == StreamKind::Memory) {
    if (s.mode == kStreamRead) return kWriteErr;
    int64_t room = std::max<int64_t>(0, s.size - s.pos);
    count = (size_t)std::min<int64_t>(room, (int64_t)wanted);
    if (count) std::memcpy(s.buffer + s.pos, buffer, count);
    s.pos += (int64_t)count;
    s.high = std::max(s.high, s.pos);
  } else {
    return kBadArg;
  }
  return count < wanted ? kWriteErr : kOk;
}

Status StreamReadExact(Stream& s, void* buffer, size_t count) { return StreamRead(s, buffer, count, true); }

Status StreamWriteAll(Stream& s, const void* buffer, size_t count) { return StreamWrite(s, buffer, count); }

Status StreamSeek(Stream& s, int64_t offset, int origin) {
  if (origin < 0 || origin > 2) return kBadArg;
  if (s.kind == StreamKind::File) {
    static const int kWhence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    return ::fseeko(s.file, (off_t)offset, kWhence[origin]) == 0 ? kOk : kSeekErr;
  }
  if (s.kind != StreamKind::Memory) return kBadArg;
  int64_t base = origin == 0 ? 0 : origin == 1 ? s.pos : MemEnd(s);
  int64_t target = base + offset;
  if (target < 0 || target > s.size) return kSysErr;
  s.pos = target;
  return kOk;
}

Status StreamTell(Stream& s, int64_t& position) {
  if (s.kind == StreamKind::File) {
    off_t p = ::ftello(s.file);
    if (p < 0) return kSeekErr;
    position = p;
    return kOk;
  }
  if (s.kind != StreamKind::Memory) return kBadArg;
  position = s.pos;
  return kOk;
}

Status StreamFlush(Stream& s, bool durable) {
  if (s.kind == StreamKind::Memory) return kOk;
  if (s.kind != StreamKind::File || !s.file) return kBadArg;
  if (std::fflush(s.file) != 0) return kWriteErr;
  if (durable && ::fsync(::fileno(s.file)) != 0) return kWriteErr;
  return kOk;
}

Status StreamReadLine(Stream& s, std::string& line, size_t capacity) {
  line.clear();
  if (capacity < 3) return kBadArg;
  int64_t start = 0;
  Status st = StreamTell(s, start);
  if (st != kOk) return st;
  std::string block(capacity - 2, '\0');
  size_t got = block.size();
  st = StreamRead(s, block.data(), got, false);
  if (st != kOk) return st;
  block.resize(got);
  size_t cut = block.find_first_of("\r\n");
  if (cut == std::string::npos) {
    line = block + "\n";
    return kOk;
  }
  size_t next = cut + 1;
  if (next < block.size() && (block[next] == '\r' || block[next] == '\n') && block[next] != block[cut]) ++next;
  line = block.substr(0, cut) + "\n";
  return StreamSeek(s, start + (int64_t)next, 0);
}

Status StreamWriteText(Stream& s, const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return StreamWriteAll(s, out.data(), out.size());
}

Status StreamDelete(const std::string& path) { return std::remove(path.c_str()) == 0 ? kOk : kSysErr; }

Status StreamRename(const std::string& from, const std::string& to) {
  if (from == to) return kOk;
  return std::rename(from.c_str(), to.c_str()) == 0 ? kOk : kSysErr;
}

Status StreamFileSize(const std::string& path, int64_t& size) {
  Stream s;
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) return st;
  if ((st = StreamSeek(s, 0, 2)) != kOk) return st;
  if ((st = StreamTell(s, size)) != kOk) return st;
  return StreamClose(s);
}

Status StreamSize(Stream& s, int64_t& size) {
  int64_t here = 0;
  Status st = StreamTell(s, here);
  if (st != kOk) return st;
  if ((st = StreamSeek(s, 0, 2)) != kOk) return st;
  if ((st = StreamTell(s, size)) != kOk) return st;
  return StreamSeek(s, here, 0);
}
