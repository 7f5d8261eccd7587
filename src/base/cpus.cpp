#include "base/cpus.h"

#include <atomic>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sched.h>
#include <unistd.h>

int CpuCountFromCgroupMax(const char* text) {
  if (!text || std::strncmp(text, "max", 3) == 0) return 0;
  char* end = nullptr;
  const long long quota = std::strtoll(text, &end, 10);
  if (end == text || quota <= 0) return 0;
  const long long period = std::strtoll(end, nullptr, 10);
  if (period <= 0) return 0;
  return (int)((quota + period - 1) / period);
}

namespace {

// The cgroup v2 folder of this process ("0::/path" in /proc/self/cgroup).
std::string CgroupFolder() {
  FILE* f = std::fopen("/proc/self/cgroup", "r");
  if (!f) return {};
  char line[4096];
  std::string folder;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "0::", 3) != 0) continue;
    folder = line + 3;
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
    break;
  }
  std::fclose(f);
  return folder;
}

int CgroupLimit() {
  std::string folder = CgroupFolder();
  int limit = 0;
  // The tightest quota from this cgroup up to the root.
  for (;;) {
    FILE* f = std::fopen(("/sys/fs/cgroup" + folder + "/cpu.max").c_str(), "r");
    if (f) {
      char text[128] = {};
      if (std::fgets(text, sizeof text, f)) {
        const int n = CpuCountFromCgroupMax(text);
        if (n > 0 && (limit == 0 || n < limit)) limit = n;
      }
      std::fclose(f);
    }
    if (folder.empty() || folder == "/") break;
    const size_t slash = folder.rfind('/');
    folder = slash == 0 || slash == std::string::npos ? "/" : folder.substr(0, slash);
  }
  return limit;
}

}  // namespace

int UsableCpuCount() {
  int n = 0;
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  if (n <= 0) n = (int)::sysconf(_SC_NPROCESSORS_ONLN);
  const int quota = CgroupLimit();
  if (quota > 0 && quota < n) n = quota;
  return n > 0 ? n : 1;
}

namespace {
std::atomic<int> gHelperThreads{0};  // 0: not set, the default
}  // namespace

int HelperThreads() {
  const int set = gHelperThreads.load(std::memory_order_relaxed);
  if (set > 0) return set;
  static const int byDefault = UsableCpuCount() > 1 ? 2 : 1;
  return byDefault;
}

void SetHelperThreads(int threads) { gHelperThreads.store(threads < 1 ? 1 : threads > 2 ? 2 : threads); }
