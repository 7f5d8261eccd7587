// Test entry: points $XDG_CONFIG_HOME, $TMPDIR and $HOME at the process's
// scratch folder before any test runs, and removes the folder at the end
// unless TAVELIN_KEEP_SCRATCH is set.
#include <gtest/gtest.h>

#include "support/scratch.h"

int main(int argc, char** argv) {
  UseScratchEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  RemoveScratch();
  return result;
}
