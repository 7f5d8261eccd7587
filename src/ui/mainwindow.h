// The editing window (main modeless dialog). For now an empty frame that the
// dialog framework will fill.
#pragma once

#include <QMainWindow>
#include <QStringList>

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(const QStringList& files, QWidget* parent = nullptr);

 private:
  QStringList files_;
};
