#include "session/runstate.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/bytes.h"

namespace {

constexpr size_t kIdentityBytes = 32;
// A record's path is an image path: well below this.
constexpr uint32_t kMaxPath = 1 << 16;

void PutU64(std::string& out, uint64_t v) {
  uint8_t b[8];
  StoreBE32(b, (uint32_t)(v >> 32));
  StoreBE32(b + 4, (uint32_t)v);
  out.append(reinterpret_cast<const char*>(b), 8);
}

uint64_t GetU64(const uint8_t* p) { return (uint64_t)LoadBE32(p) << 32 | LoadBE32(p + 4); }

std::string Head(char kind, const JobEntry& entry) {
  std::string r(1, kind);
  uint8_t b[8];
  StoreBE32(b, entry.offset);
  StoreBE32(b + 4, (uint32_t)entry.imagePath.size());
  r.append(reinterpret_cast<const char*>(b), 8);
  r += entry.imagePath;
  return r;
}

Status Append(const BatchlineFiles& files, const std::string& record) {
  if (files.state.empty()) return kBadArg;
  const int fd = ::open(files.state.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return kOpenErr;
  ssize_t n;
  do n = ::write(fd, record.data(), record.size());
  while (n < 0 && errno == EINTR);
  const bool whole = n == (ssize_t)record.size();
  return ::close(fd) == 0 && whole ? kOk : kWriteErr;
}

}  // namespace

bool FileIdentityOf(const std::string& path, FileIdentity* id) {
  struct stat st;
  if (!id || ::stat(path.c_str(), &st) != 0) return false;
  id->dev = st.st_dev;
  id->ino = st.st_ino;
  id->size = (uint64_t)st.st_size;
  id->mtimeNs = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
  return true;
}

Status RunStateAdded(const BatchlineFiles& files, const JobEntry& entry, const FileIdentity& id) {
  std::string r = Head('A', entry);
  PutU64(r, id.dev);
  PutU64(r, id.ino);
  PutU64(r, id.size);
  PutU64(r, id.mtimeNs);
  return Append(files, r);
}

Status RunStateSaved(const BatchlineFiles& files, const JobEntry& entry) { return Append(files, Head('S', entry)); }

namespace {

struct Record {
  char kind;
  uint32_t offset;
  std::string path;
  FileIdentity id;
};

// Every whole record of the file, in order.
std::vector<Record> ReadRecords(const BatchlineFiles& files) {
  std::vector<Record> records;
  const int fd = files.state.empty() ? -1 : ::open(files.state.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return records;
  std::vector<uint8_t> bytes;
  uint8_t block[65536];
  for (;;) {
    const ssize_t n = ::read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.insert(bytes.end(), block, block + n);
  }
  ::close(fd);
  size_t at = 0;
  while (at + 9 <= bytes.size()) {
    Record r;
    r.kind = (char)bytes[at];
    r.offset = LoadBE32(&bytes[at + 1]);
    const uint32_t length = LoadBE32(&bytes[at + 5]);
    const size_t body = r.kind == 'A' ? kIdentityBytes : 0;
    if ((r.kind != 'A' && r.kind != 'S') || length > kMaxPath || at + 9 + length + body > bytes.size()) break;
    r.path.assign(reinterpret_cast<const char*>(&bytes[at + 9]), length);
    if (r.kind == 'A') {
      const uint8_t* id = &bytes[at + 9 + length];
      r.id.dev = GetU64(id);
      r.id.ino = GetU64(id + 8);
      r.id.size = GetU64(id + 16);
      r.id.mtimeNs = GetU64(id + 24);
    }
    records.push_back(std::move(r));
    at += 9 + length + body;
  }
  return records;
}

}  // namespace

void ResolveLongImagePaths(const BatchlineFiles& files, JobEntryList& entries) {
  bool any = false;
  for (const JobEntry& e : entries) any = any || e.imagePath == kJobLongPathMark;
  if (!any) return;
  const std::vector<Record> records = ReadRecords(files);
  for (JobEntry& e : entries) {
    if (e.imagePath != kJobLongPathMark) continue;
    for (auto r = records.rbegin(); r != records.rend(); ++r)
      if (r->kind == 'A' && r->offset == e.offset && r->path.size() >= kJobPathField) {
        e.imagePath = r->path;
        break;
      }
  }
}

std::vector<EntryRunState> ReadRunState(const BatchlineFiles& files, const JobEntryList& entries) {
  std::vector<EntryRunState> states(entries.size());
  for (const Record& r : ReadRecords(files)) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].offset != r.offset || entries[i].imagePath != r.path) continue;
      EntryRunState& s = states[i];
      if (r.kind == 'A') {
        s = EntryRunState{};
        s.known = r.id != FileIdentity{};
        s.added = r.id;
      } else {
        s.saved = true;
      }
    }
  }
  return states;
}
