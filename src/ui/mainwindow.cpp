#include "ui/mainwindow.h"

#include <QLabel>

#include "shell/strings.h"

MainWindow::MainWindow(const QStringList& files, QWidget* parent) : QMainWindow(parent), files_(files) {
  setWindowTitle(QString::fromUtf8(ResString(1000).c_str()));
  auto* label = new QLabel(files.isEmpty() ? tr("No images") : tr("%n image(s) given", nullptr, (int)files.size()), this);
  label->setAlignment(Qt::AlignCenter);
  setCentralWidget(label);
  resize(1000, 700);
}
