#include "ui/screenshot.h"

#include <QFile>
#include <QPixmap>
#include <QWidget>

#include "base/debuglog.h"

Status Ui_SaveScreenshot(QWidget* widget, const std::string& path) {
  if (!widget || path.empty()) return kBadArg;
  const QPixmap pixmap = widget->grab();
  if (pixmap.isNull()) return kBadArg;
  if (!pixmap.save(QFile::decodeName(QByteArray::fromStdString(path)), "PNG")) {
    DLog("Ui_SaveScreenshot: cannot write %s", path.c_str());
    return kWriteErr;
  }
  return kOk;
}
