#include "base/safefile.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "base/debuglog.h"
#include "base/paths.h"
#include "base/strings.h"

namespace {

constexpr int kMaxTempNumber = 999998;

void SetWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

// Copies the extended attributes of `from` (not following a link) onto the
// open file. Attributes this process may not set (the trusted or security
// namespaces, a file system without them) are skipped and logged.
void CopyExtendedAttributes(const std::string& from, int fd) {
  ssize_t size = ::llistxattr(from.c_str(), nullptr, 0);
  if (size <= 0) return;
  std::string names((size_t)size, '\0');
  size = ::llistxattr(from.c_str(), names.data(), names.size());
  if (size <= 0) return;
  names.resize((size_t)size);
  for (size_t at = 0; at < names.size();) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    if (name.empty()) continue;
    ssize_t length = ::lgetxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (length < 0) continue;
    std::string value((size_t)length, '\0');
    length = ::lgetxattr(from.c_str(), name.c_str(), value.data(), value.size());
    if (length < 0) continue;
    if (::fsetxattr(fd, name.c_str(), value.data(), (size_t)length, 0) != 0)
      DLog("extended attribute %s not kept on %s: errno %d", name.c_str(), LeafName(from).c_str(), errno);
  }
}

// Gives the new file (open as `fd`) the owner, group, mode and extended
// attributes of the regular file it replaces.
void CopyAttributes(const struct stat& old, const std::string& target, int fd) {
  bool ownerKept = old.st_uid == ::geteuid(), groupKept = old.st_gid == ::getegid();
  if (!ownerKept || !groupKept) {
    if (::fchown(fd, old.st_uid, old.st_gid) == 0) {
      ownerKept = groupKept = true;
    } else if (!groupKept && ::fchown(fd, (uid_t)-1, old.st_gid) == 0) {
      groupKept = true;
    }
  }
  mode_t mode = old.st_mode & 07777;
  if (!ownerKept) mode &= ~(mode_t)(S_ISUID | S_ISGID);
  if (!groupKept) mode &= ~(mode_t)(S_ISGID | S_IRWXG);
  ::fchmod(fd, mode);
  CopyExtendedAttributes(target, fd);
}

bool IsDigits(const std::string& s, size_t from, size_t count) {
  if (s.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// Opens a file of this user without following a link: the descriptor, or -1.
int OpenOwn(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void RemoveOwnPlates(const std::string& main) {
  for (const char ink : {'C', 'M', 'Y', 'K'}) {
    const std::string plate = main + "." + ink;
    const int fd = OpenOwn(plate);
    if (fd < 0) continue;
    ::unlink(plate.c_str());
    ::close(fd);
  }
}

}  // namespace

Status SyncFolder(const std::string& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return kOk;  // nothing to wait for that this process could reach
  const int rc = ::fsync(dir);
  ::close(dir);
  return rc == 0 || errno == EINVAL ? kOk : kWriteErr;
}

unsigned NewFileMode() {
  static const mode_t mask = [] {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return 0666u & ~(unsigned)mask;
}

Status TempFile::Create(const std::string& folder, std::string* why) {
  Remove();
  char leaf[32];
  for (int n = 0; n <= kMaxTempNumber; ++n) {
    std::snprintf(leaf, sizeof leaf, "Quilo%06d.tmp", n);
    const std::string candidate = folder + leaf;
    const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      SetWhy(why, std::string("cannot create a temporary file in ") + folder + ": " + std::strerror(errno));
      return kOpenErr;
    }
    // A sweeper may have taken the name between the creation and the lock:
    // a file that no longer has a name is given up for the next number.
    struct stat st;
    if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
      ::close(fd);
      continue;
    }
    path_ = candidate;
    fd_ = fd;
    return kOk;
  }
  SetWhy(why, "every temporary name in " + folder + " is taken");
  return kSysErr;
}

Status TempFile::CommitTo(const std::string& target, bool durable, std::string* why, bool syncFolder) {
  if (fd_ < 0) return kBadArg;
  const Status st = ReplaceFile(fd_, path_, target, durable, why, syncFolder);
  if (st == kOk) {
    ::close(fd_);
    fd_ = -1;
    path_.clear();
  } else {
    Remove();
  }
  return st;
}

void TempFile::Remove() {
  if (fd_ < 0) return;
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

Status ReplaceFile(int tempFd, const std::string& tempPath, const std::string& target, bool durable,
                   std::string* why, bool syncFolder) {
  if (tempFd < 0 || tempPath.empty() || target.empty()) return kBadArg;
  if (tempPath == target) return kOk;
  struct stat old;
  bool replaces = false;
  if (::lstat(target.c_str(), &old) == 0) {
    if (S_ISREG(old.st_mode)) {
      if (old.st_nlink > 1) {
        SetWhy(why, LeafName(target) + " has " + std::to_string((unsigned long)old.st_nlink - 1) +
                        " other name(s) (hard links); it is left as it is, since replacing it would part it "
                        "from them");
        return kUnsupported;
      }
      replaces = true;
    } else if (!S_ISLNK(old.st_mode)) {
      SetWhy(why, LeafName(target) + " is not a regular file");
      return kSysErr;
    }
  } else if (errno != ENOENT) {
    SetWhy(why, "cannot look at " + target + ": " + std::strerror(errno));
    return kSysErr;
  }
  if (replaces) CopyAttributes(old, target, tempFd);
  else ::fchmod(tempFd, (mode_t)NewFileMode());
  if (durable && ::fsync(tempFd) != 0) {
    SetWhy(why, "cannot write " + LeafName(tempPath) + " out to the disk: " + std::strerror(errno));
    return kWriteErr;
  }
  if (::rename(tempPath.c_str(), target.c_str()) != 0) {
    SetWhy(why, "cannot rename " + LeafName(tempPath) + " as " + LeafName(target) + ": " + std::strerror(errno));
    return kSysErr;
  }
  if (durable && syncFolder && SyncFolder(FolderOf(target, "./")) != kOk) {
    SetWhy(why, "cannot write the folder of " + LeafName(target) + " out to the disk");
    return kWriteErr;
  }
  return kOk;
}

bool IsTempLeaf(const std::string& leaf) {
  if (leaf.compare(0, 5, "Quilo") != 0 || !IsDigits(leaf, 5, 6) || leaf.compare(11, 4, ".tmp") != 0) return false;
  return leaf.size() == 15 || (leaf.size() == 17 && leaf[15] == '.');
}

void SweepStaleTemps(const std::string& folder, const std::function<bool(const std::string& path)>& keep) {
  static std::mutex mutex;
  static std::set<std::string> swept;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!swept.insert(folder).second) return;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> mains, plates;
  while (const dirent* e = ::readdir(dir)) {
    const std::string leaf = e->d_name;
    if (!IsTempLeaf(leaf)) continue;
    (leaf.size() == 15 ? mains : plates).push_back(folder + leaf);
  }
  ::closedir(dir);
  for (const std::string& path : mains) {
    if (keep && keep(path)) continue;
    const int fd = OpenOwn(path);
    if (fd < 0) continue;
    struct stat st;
    // Held by nobody: its writer is gone. The lock is kept while the name
    // goes, so a writer that creates the name again meets a new file.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      DLog("removing %s, left by a process that ended", path.c_str());
      ::unlink(path.c_str());
      RemoveOwnPlates(path);
    }
    ::close(fd);
  }
  // Plate names whose main temporary file is gone.
  for (const std::string& plate : plates) {
    struct stat st;
    if (::lstat(plate.substr(0, plate.size() - 2).c_str(), &st) == 0) continue;
    const int fd = OpenOwn(plate);
    if (fd < 0) continue;
    ::unlink(plate.c_str());
    ::close(fd);
  }
}

void SweepOutputFolder(const std::string& folder) {
  std::string working;
  if (Ui_Path_SetToTempFolder(working) != kOk) return;
  char a[PATH_MAX], b[PATH_MAX];
  if (!::realpath(folder.c_str(), a) || !::realpath(working.c_str(), b) || std::strcmp(a, b) == 0) return;
  SweepStaleTemps(folder.back() == '/' ? folder : folder + "/");
}
