#include "base/paths.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; EEXIST on any level is fine. Returns 0 or errno.
int MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if ((path[i] == '/' && i > 0) || i + 1 == path.size()) {
      std::string dir = partial;
      while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
      if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    }
  }
  return IsFolder(path) ? 0 : ENOTDIR;
}

void Note(std::vector<std::string>* trouble, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Note(std::vector<std::string>* trouble, const char* format, ...) {
  if (!trouble) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  trouble->push_back(line);
}

}  // namespace

Status PrefFolderFromEnvironment(const std::string& maker, std::string& path, size_t capacity,
                                 std::vector<std::string>* trouble) {
  const char* home = std::getenv("HOME");

  // The per-user application-data folder, created when missing.
  std::string appData;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') appData = xdg;
  else if (home && home[0] == '/') appData = std::string(home) + "/.config";
  int err = appData.empty() ? ENOENT : MakeFolders(appData);
  if (err != 0) {
    Note(trouble, "Ui_Path_SetToPrefFolder: Error %d getting appdata folder", err);
  } else if (appData.size() + maker.size() + 3 > capacity) {
    Note(trouble, "Application Data path too long (%s)", appData.c_str());
  } else {
    std::string folder = WithSlash(appData) + maker;
    if (::mkdir(folder.c_str(), 0755) == 0 || (errno == EEXIST && IsFolder(folder))) {
      path = WithSlash(folder);
      return kOk;
    }
    Note(trouble, "Error %d creating folder %s", errno, folder.c_str());
  }

  // Fallback: the home folder.
  if (!home || !IsFolder(home) || WithSlash(home).size() + 1 > capacity) {
    Note(trouble, "Ui_Path_SetToPrefFolder: home folder returned %d", home ? (int)std::string(home).size() : 0);
    return kSysErr;
  }
  path = WithSlash(home);
  return kOk;
}

std::string Ui_Path_SystemTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return WithSlash((tmp && IsFolder(tmp)) ? std::string(tmp) : std::string("/tmp"));
}

namespace {
// A folder that only this user can enter: a real folder (not a link), owned
// by this user, with no permission for anyone else (with `tighten`, this
// user's own folder with looser permissions gets 0700).
bool IsPrivateFolder(const std::string& folder, bool tighten = false) {
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
  return (st.st_mode & 077) == 0 || (tighten && ::chmod(folder.c_str(), 0700) == 0);
}

bool TakePrivateFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(folder, true);
}
}  // namespace

Status Ui_Path_SetToTempFolder(std::string& path) {
  const std::string uid = std::to_string((unsigned long)::geteuid());
  std::string folder;
  // The session's runtime folder is this user's alone already.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && IsPrivateFolder(runtime)) {
    folder = WithSlash(runtime) + "tavelin-marvet";
    if (!TakePrivateFolder(folder)) folder.clear();
  }
  // Else one folder per user in the shared temporary folder. A name that
  // someone else holds (planted, or a link) is never used: this process then
  // makes a folder of its own under a unique name.
  const std::string shared = Ui_Path_SystemTempFolder();
  if (folder.empty()) {
    folder = shared + "tavelin-marvet-" + uid;
    if (!TakePrivateFolder(folder)) folder.clear();
  }
  if (folder.empty()) {
    static std::string own, ownBase;
    if (ownBase != shared || !IsPrivateFolder(own)) {
      std::string pattern = shared + "tavelin-marvet-" + uid + "-XXXXXX";
      if (!::mkdtemp(pattern.data())) return kSysErr;
      own = pattern;
      ownBase = shared;
    }
    folder = own;
  }
  folder = WithSlash(folder);
  if (folder.size() >= kPathCapacity) return kSysErr;
  path = folder;
  return kOk;
}

Status Ui_Path_SetToCurrentFolder(std::string& path) {
  char buffer[kPathCapacity];
  if (!::getcwd(buffer, sizeof buffer)) return kSysErr;
  std::string folder = WithSlash(buffer);
  if (folder.size() >= kPathCapacity) return kSysErr;
  path = folder;
  return kOk;
}

Status Ui_Path_UniqueTempName(const std::string& folder, std::string& path, size_t capacity) {
  if (capacity < folder.size() + 16) return kBadArg;
  char leaf[32];
  for (int n = 0; n <= 999998; ++n) {
    std::snprintf(leaf, sizeof leaf, "Quilo%06d.tmp", n);
    std::string candidate = folder + leaf;
    if (::access(candidate.c_str(), F_OK) != 0) {
      path = candidate;
      return kOk;
    }
  }
  return kSysErr;
}

Status Ui_Path_CreateUniqueTempFile(const std::string& folder, std::string& path, size_t capacity) {
  if (capacity < folder.size() + 16) return kBadArg;
  char leaf[32];
  for (int n = 0; n <= 999998; ++n) {
    std::snprintf(leaf, sizeof leaf, "Quilo%06d.tmp", n);
    std::string candidate = folder + leaf;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      path = candidate;
      return kOk;
    }
    if (errno != EEXIST) return kOpenErr;
  }
  return kSysErr;
}

bool Ui_Path_IsTempName(const std::string& folder, const std::string& path) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  const std::string leaf = path.substr(path.find_last_of('/') + 1);
  size_t dot = leaf.rfind('.');
  return leaf.compare(0, 5, "Quilo") == 0 && dot != std::string::npos && leaf.compare(dot + 1, 3, "tmp") == 0;
}
