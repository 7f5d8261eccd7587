// The GUI entry: everything is in Ui_RunApplication (ui/appmain.h).
#include <csignal>

#include "ui/appmain.h"

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) makes a write fail with an alert instead
  // of ending the application without a word.
  std::signal(SIGXFSZ, SIG_IGN);
  return Ui_RunApplication(argc, argv);
}
