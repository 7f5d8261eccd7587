// The GUI entry: refuses to start without a display and points to the
// command-line tool; otherwise opens the editing window on the images given.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/uihost.h"
#include "ui/mainwindow.h"
#include "ui/qthost.h"
#include "ui/uiapp.h"

static bool HaveDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && std::strncmp(platform, "offscreen", 9) == 0) return true;
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

int main(int argc, char** argv) {
  if (!HaveDisplay()) {
    std::fprintf(stderr,
                 "tavelin: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                 "Use tavelin-cli for work without a window; 'tavelin-cli --help' lists its commands.\n");
    return 2;
  }
  UiApplication app(argc, argv);  // the dialog framework needs it
  QtHost host;
  Ui_SetHost(&host);
  QStringList files = QApplication::arguments().mid(1);
  MainWindow window(files);
  window.show();
  const int code = app.exec();
  Ui_SetHost(nullptr);
  return code;
}
