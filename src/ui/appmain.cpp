#include "ui/appmain.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "prefs/prefs.h"
#include "base/debuglog.h"
#include "base/uistate.h"
#include "session/editcontext.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "ui/editwindow.h"
#include "ui/monitorprofile.h"
#include "ui/qthost.h"
#include "ui/singleinstance.h"
#include "ui/uiapp.h"

namespace {

bool HaveDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 && std::strncmp(platform, "wayland", 7) != 0)
    return true;  // offscreen, vnc, ...: the platform needs no display variable
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

std::string Absolute(const char* path) {
  return QFileInfo(QString::fromLocal8Bit(path)).absoluteFilePath().toLocal8Bit().toStdString();
}

// The application's icon: a lens of three overlapping colour discs on a
// dark tile (the same picture as the installed SVG).
QIcon AppIcon() {
  QIcon themed = QIcon::fromTheme(QStringLiteral("tavelin-marvet"));
  if (!themed.isNull()) return themed;
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double s = size / 64.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 44, 52));
    p.drawRoundedRect(QRectF(2 * s, 2 * s, 60 * s, 60 * s), 12 * s, 12 * s);
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(QPointF(26 * s, 26 * s), 15 * s, 15 * s);
    p.setBrush(QColor(40, 200, 60));
    p.drawEllipse(QPointF(38 * s, 26 * s), 15 * s, 15 * s);
    p.setBrush(QColor(50, 80, 230));
    p.drawEllipse(QPointF(32 * s, 37 * s), 15 * s, 15 * s);
    p.end();
    icon.addPixmap(pm);
  }
  return icon;
}

void Usage() {
  std::printf(
      "Usage: tavelin [--diagnostics] [--samples FOLDER] [IMAGE...]\n"
      "  Opens the editing window with the images given in the Batchline.\n"
      "  --diagnostics     write the diagnostics log (QuiloDebug.txt in the preferences folder)\n"
      "  --samples FOLDER  with an empty Batchline at the start, add the images of FOLDER\n"
      "  --version         print the version\n"
      "Work without a window: tavelin-cli --help\n");
}

}  // namespace

AppArguments ParseAppArguments(int argc, char** argv) {
  AppArguments a;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnd && arg[0] == '-' && arg[1] == '-') {
      if (std::strcmp(arg, "--") == 0) optionsEnd = true;
      else if (std::strcmp(arg, "--diagnostics") == 0) a.diagnostics = true;
      else if (std::strcmp(arg, "--help") == 0) a.help = true;
      else if (std::strcmp(arg, "--version") == 0) a.version = true;
      else if (std::strcmp(arg, "--samples") == 0 && i + 1 < argc) a.samplesFolder = Absolute(argv[++i]);
      else if (std::strncmp(arg, "--samples=", 10) == 0) a.samplesFolder = Absolute(arg + 10);
      else if (a.error.empty()) a.error = arg;
      continue;
    }
    if (!optionsEnd && arg[0] == '-' && arg[1] != 0) {  // Qt has taken its own options out by now
      if (a.error.empty()) a.error = arg;
      continue;
    }
    a.files.push_back(Absolute(arg));
  }
  return a;
}

std::vector<std::string> SamplePhotographs(const std::string& folder) {
  std::vector<std::string> out;
  if (folder.empty()) return out;
  const QDir dir(QString::fromLocal8Bit(folder.c_str()));
  const QStringList names = dir.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.tif"),
                                           QStringLiteral("*.tiff"), QStringLiteral("*.bmp")},
                                          QDir::Files, QDir::Name);
  for (const QString& n : names) out.push_back(dir.absoluteFilePath(n).toLocal8Bit().toStdString());
  return out;
}

int Ui_RunApplication(int argc, char** argv) {
  // --help and --version need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--help") == 0) {
      Usage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavelin %s\n", TAVELIN_VERSION);
      return 0;
    }
  }
  if (!HaveDisplay()) {
    std::fprintf(stderr,
                 "tavelin: no display found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                 "Use tavelin-cli for work without a window; 'tavelin-cli --help' lists its commands.\n");
    return 2;
  }
  UiApplication app(argc, argv);  // the dialog framework needs it; takes Qt's options out of argv
  const AppArguments args = ParseAppArguments(argc, argv);
  if (!args.error.empty()) {
    std::fprintf(stderr, "tavelin: unknown option %s\n", args.error.c_str());
    Usage();
    return 2;
  }
  QApplication::setApplicationName(QStringLiteral("Tavelin Marvet"));
  QApplication::setDesktopFileName(QStringLiteral("tavelin-marvet"));
  QApplication::setWindowIcon(AppIcon());
  QApplication::setQuitOnLastWindowClosed(false);  // the editing window's end ends the loop

  // One window per user session and preferences folder: a window that runs
  // already takes the files (or just comes to the front) and this start ends.
  std::string prefsFolder;
  Ui_Path_SetToPrefFolder(nullptr, prefsFolder);
  const QString instanceName = SingleInstance::ServerName(prefsFolder);
  if (SingleInstance::HandOver(instanceName, args.files)) return 0;
  SingleInstance instance;
  if (!instance.Listen(instanceName) && SingleInstance::HandOver(instanceName, args.files)) return 0;

  // 1. Diagnostics: Ctrl and Shift held now, or asked for on the command line.
  const Qt::KeyboardModifiers keys = Ui_Key_ModifiersNow();
  const char* env = std::getenv("TAVELIN_DIAGNOSTICS");
  const int diagnostics =
      ((keys & Qt::ControlModifier) && (keys & Qt::ShiftModifier)) || args.diagnostics || (env && std::strcmp(env, "1") == 0)
          ? 1
          : 0;
  QtHost host;
  Ui_SetHost(&host);
  Ui_Debug_LogSeparator(diagnostics);
  Ui_Debug_Alert(diagnostics, "Tavelin Diagnostics enabled");
  Ui_InstallMonitorProfileHook();

  // 2-3. Start-up; on failure FinishUp and the end of the run.
  AppSession session;
  session.prefs = &AppPrefs();  // the window works with the application's record
  StartUpOptions options;
  options.diagnostics = diagnostics;
  if (StartUp(options, &session) != kOk) {
    FinishUp(&session);
    Ui_SetHost(nullptr);
    return 0;
  }

  // 4. The command-line file list, handed to the first Add.
  DLog("nArgs = %d", (int)args.files.size());
  for (const std::string& f : args.files) DLog("%s", f.c_str());
  session.commandLineFiles = args.files;

  // 5. The editing context and the main modeless dialog.
  int code = 0;
  {
    EditContext ctx;
    QPointer<QWidget> window;
    if (InitEditContext(&ctx, &session) == kOk) {
      EditWindowOptions windowOptions;
      windowOptions.samples = SamplePhotographs(args.samplesFolder);
      QWidget* w = nullptr;
      if (OpenEditWindow(&ctx, windowOptions, &w) == kOk) window = w;
      instance.onFiles = [&window](const std::vector<std::string>& files) {
        if (window) EditWindowOpenFiles(window, files);
      };
    }
    // 6. The message loop, until the editing window is gone.
    if (window) {
      QObject::connect(window.data(), &QObject::destroyed, &app, [] { QCoreApplication::quit(); });
      code = app.exec();
    }
    FreeTavelinPars(&ctx);
  }

  // 7.
  FinishUp(&session);
  Ui_SetHost(nullptr);
  return code;
}
