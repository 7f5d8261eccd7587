// Fuzzes the DCS reader through the framework: the input holds the main file
// and the plates, separated by kSeparator, written as "set", "set.C",
// "set.M", "set.Y" and "set.K" in a per-process folder (missing parts make
// missing plates). Seeds: sets of the DCS writer saved as "set", joined with
// the separator.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "imagefile/ras.h"

namespace {

const char kSeparator[] = "~~TAVELIN-DCS-PART~~";

struct Folder {
  std::string path = "/tmp/tavelin_fuzz_dcs_" + std::to_string(::getpid()) + "/";
  Folder() { ::mkdir(path.c_str(), 0700); }
  ~Folder() {
    for (const char* leaf : {"set", "set.C", "set.M", "set.Y", "set.K"}) std::remove((path + leaf).c_str());
    ::rmdir(path.c_str());
  }
};

const std::string& Dir() {
  static const Folder folder;
  return folder.path;
}

void Put(const std::string& leaf, const uint8_t* data, size_t size) {
  const std::string path = Dir() + leaf;
  std::remove(path.c_str());
  if (!data) return;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* leaves[5] = {"set", "set.C", "set.M", "set.Y", "set.K"};
  const size_t sepSize = sizeof kSeparator - 1;
  const uint8_t* part = data;
  const uint8_t* end = data + size;
  for (int i = 0; i < 5; ++i) {
    if (!part) {
      Put(leaves[i], nullptr, 0);
      continue;
    }
    const void* hit = memmem(part, (size_t)(end - part), kSeparator, sepSize);
    const uint8_t* stop = hit ? static_cast<const uint8_t*>(hit) : end;
    Put(leaves[i], part, (size_t)(stop - part));
    part = hit ? stop + sepSize : nullptr;
  }
  const std::string main = Dir() + "set";
  RasImage image;
  if (RasQuery(main, image) != kOk) return 0;
  if ((uint64_t)image.width * image.height > (4u << 20)) return 0;
  if (RasOpen(main, 'r', image) != kOk) return 0;
  RasScanline sl;
  for (uint32_t y = 0; y < image.height; ++y)
    if (RasReadSl(image, y, sl) != kOk) break;
  if (image.height > 1) RasReadSl(image, 0, sl);
  RasClose(image);
  return 0;
}
