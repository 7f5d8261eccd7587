// Test entry: points $XDG_CONFIG_HOME, $TMPDIR and $HOME at the process's
// scratch folder before any test runs, and removes the folder at the end
// unless TAVELIN_KEEP_SCRATCH is set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/scratch.h"

int main(int argc, char** argv) {
  const std::string scratch = ScratchDir();
  std::filesystem::create_directories(scratch + "config");
  std::filesystem::create_directories(scratch + "tmp");
  std::filesystem::create_directories(scratch + "home");
  ::setenv("XDG_CONFIG_HOME", (scratch + "config").c_str(), 1);
  ::setenv("TMPDIR", (scratch + "tmp").c_str(), 1);
  ::setenv("HOME", (scratch + "home").c_str(), 1);
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  if (!std::getenv("TAVELIN_KEEP_SCRATCH")) std::filesystem::remove_all(scratch);
  return result;
}
