#include "ui/singleinstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStringList>
#include <unistd.h>

#include "base/debuglog.h"

namespace {

constexpr quint32 kMagic = 0x54764F31;  // "TvO1"
constexpr char kTaken = 'K';
constexpr int kSocketPathMax = 100;

}  // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(&server_, &QLocalServer::newConnection, this, [this] { Accept(); });
}

SingleInstance::~SingleInstance() { server_.close(); }

QString SingleInstance::ServerName(const std::string& prefsFolder) {
  QString dir = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
  const QByteArray folder = QByteArray::fromStdString(prefsFolder);
  const QString hash = QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(12));
  const QString leaf = QStringLiteral("tavelin-marvet-%1-%2").arg(::getuid()).arg(hash);
  // A socket's path must fit the system's limit (108 bytes on Linux).
  const QString path = QDir(dir).filePath(leaf);
  return path.toLocal8Bit().size() < kSocketPathMax ? path : QDir(QStringLiteral("/tmp")).filePath(leaf);
}

bool SingleInstance::HandOver(const QString& name, const std::vector<std::string>& files, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  QStringList list;
  for (const std::string& f : files) list << QString::fromLocal8Bit(f.c_str());
  QByteArray message;
  QDataStream out(&message, QIODevice::WriteOnly);
  out << kMagic << list;
  socket.write(message);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  char answer = 0;
  return socket.getChar(&answer) && answer == kTaken;
}

bool SingleInstance::Listen(const QString& name) {
  if (server_.listen(name)) return true;
  if (server_.serverError() != QAbstractSocket::AddressInUseError) {
    DLog("single instance: cannot listen on %s: %s", name.toLocal8Bit().constData(),
         server_.errorString().toLocal8Bit().constData());
    return false;
  }
  // Somebody answers there: that is the running instance.
  QLocalSocket probe;
  probe.connectToServer(name);
  if (probe.waitForConnected(500)) return false;
  QLocalServer::removeServer(name);  // left by an instance that is gone
  return server_.listen(name);
}

void SingleInstance::Accept() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->bytesAvailable() > kInstanceMessageMax) {
        socket->abort();
        return;
      }
      QDataStream in(socket);
      in.startTransaction();
      quint32 magic = 0;
      QStringList list;
      in >> magic >> list;
      if (!in.commitTransaction()) return;  // not all there yet
      if (magic != kMagic || list.size() > kInstanceMaxFiles) {
        socket->abort();
        return;
      }
      std::vector<std::string> files;
      for (const QString& f : list) files.push_back(f.toLocal8Bit().toStdString());
      DLog("single instance: %d file(s) handed over", (int)files.size());
      socket->putChar(kTaken);
      socket->flush();
      if (onFiles) onFiles(files);
    });
  }
}
