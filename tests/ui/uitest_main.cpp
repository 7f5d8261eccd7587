// GUI test entry: the scratch-folder environment of the core tests, then the
// UiApplication the dialog framework needs (offscreen unless QT_QPA_PLATFORM
// names another platform, e.g. xcb under xvfb-run).
#include <gtest/gtest.h>

#include "support/scratch.h"
#include "ui/uiapp.h"

int main(int argc, char** argv) {
  UseScratchEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  UiApplication app(argc, argv);
  const int result = RUN_ALL_TESTS();
  RemoveScratch();
  return result;
}
