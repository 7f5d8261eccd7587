#include "session/runfolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// mkdir -p with mode 0700 for the folders it creates.
bool MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char* const kLockLeaf = "TavelinJobLock";

}  // namespace

const char* const kRunArgsLeaf = "TavelinRunArgs";
const char* const kRunInputsLeaf = "TavelinRunInputs";
const char* const kRunNextLeaf = "TavelinRunNext";
const char* const kRunTreesLeaf = "TavelinRunTrees";

std::string RunsRoot() {
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state && state[0] == '/') base = state;
  else {
    const char* home = std::getenv("HOME");
    base = std::string(home && home[0] ? home : "/tmp") + "/.local/state";
  }
  return WithSlash(base) + "tavelin-marvet/runs/";
}

Status CreateRunFolder(std::string* folder) {
  const std::string root = RunsRoot();
  if (!MakeFolders(root.substr(0, root.size() - 1))) return kOpenErr;
  char stamp[32];
  const time_t now = std::time(nullptr);
  struct tm t;
  gmtime_r(&now, &t);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &t);
  for (int n = 0; n < 1000; ++n) {
    const std::string path = root + stamp + "-" + std::to_string(::getpid()) + (n ? "-" + std::to_string(n) : "");
    if (::mkdir(path.c_str(), 0700) == 0) {
      *folder = path + "/";
      return kOk;
    }
    if (errno != EEXIST) return kOpenErr;
  }
  return kOpenErr;
}

BatchlineFiles RunFolderFiles(const std::string& folder) {
  const std::string f = WithSlash(folder);
  BatchlineFiles files;
  files.header = f + "TavelinJobHdr";
  files.data = f + "TavelinJobData";
  files.state = f + "TavelinJobState";
  files.durable = false;
  return files;
}

bool RunFolderFree(const std::string& folder) {
  const int fd = ::open((WithSlash(folder) + kLockLeaf).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return true;  // no lock file: nobody took it
  const bool free = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

std::vector<std::string> UnfinishedRunFolders() {
  std::vector<std::string> out;
  const std::string root = RunsRoot();
  DIR* dir = ::opendir(root.c_str());
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    const std::string leaf = e->d_name;
    if (leaf == "." || leaf == "..") continue;
    const std::string folder = root + leaf + "/";
    if (!RunFolderFree(folder)) continue;
    struct stat st;
    if (BatchlineJobExists(RunFolderFiles(folder)) || ::stat((folder + kRunInputsLeaf).c_str(), &st) == 0)
      out.push_back(folder);
    else if (::stat(folder.c_str(), &st) == 0 && st.st_mtime + 60 < std::time(nullptr))
      RemoveRunFolder(folder);  // a run killed before it wrote anything (not one that is starting)
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

void RemoveRunFolder(const std::string& folder) {
  const std::string f = WithSlash(folder);
  for (const char* leaf : {kRunArgsLeaf, kRunInputsLeaf, kRunTreesLeaf, kRunNextLeaf, kLockLeaf}) ::unlink((f + leaf).c_str());
  ::rmdir(f.c_str());
}
