// One editing window per user session and preferences folder: the first
// start listens on a local socket (only the user may connect) named after the
// user and the preferences folder, so two windows never share one Batchline;
// a later start hands its files to it and ends.
//
// The message: a magic number, then the absolute paths as a string list
// (QDataStream); the running instance answers one byte once it has taken
// them. A message above kInstanceMessageMax bytes, or of more than
// kInstanceMaxFiles paths, is refused (the connection is dropped). The files
// reach `onFiles` on the UI thread; what to do with them is the caller's.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

constexpr qint64 kInstanceMessageMax = 4 << 20;
constexpr int kInstanceMaxFiles = 10000;

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(QObject* parent = nullptr);
  ~SingleInstance() override;

  // The socket for this user and preferences folder: in $XDG_RUNTIME_DIR
  // (the user's session) when it exists, else in the temporary folder (in
  // /tmp when that folder's path is too long for a socket).
  static QString ServerName(const std::string& prefsFolder);
  // Hands `files` to the instance listening on `name`; true once it
  // answered (it took them), false when none answers within the time.
  static bool HandOver(const QString& name, const std::vector<std::string>& files, int timeoutMs = 5000);

  // Listens on `name`. A socket left by an instance that ended without
  // closing it (nobody answers on it) is replaced. False when another
  // instance listens there: the caller hands its files to it.
  bool Listen(const QString& name);
  QString Name() const { return server_.fullServerName(); }

  std::function<void(const std::vector<std::string>& files)> onFiles;

 private:
  void Accept();
  QLocalServer server_;
};
