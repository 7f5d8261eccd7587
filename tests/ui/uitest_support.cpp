#include "uitest_support.h"

#include <cstdlib>
#include <filesystem>

std::string ScreenshotPath(const std::string& name) {
  const char* dir = std::getenv("TAVELIN_SCREENSHOTS");
  std::string folder = (dir && *dir) ? std::string(dir) : ScratchDir() + "screenshots";
  std::filesystem::create_directories(folder);
  if (folder.back() != '/') folder += '/';
  return folder + name + ".png";
}
