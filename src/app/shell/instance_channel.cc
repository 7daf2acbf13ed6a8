#include "app/shell/instance_channel.h"

#include "core/platform/file_lock.h"
#include "core/platform/files.h"
#include "core/platform/paths.h"
#include "core/platform/system_error.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>

#include <sys/stat.h>

#include <cstdlib>

namespace qs {
namespace {

// A request is one JSON object on one line; the answer is "ok\n".
constexpr qint64 kMaxRequest = 1 << 20;

std::filesystem::path channelFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && std::filesystem::path(runtime).is_absolute())
    return std::filesystem::path(runtime) / "quayside";
  return QSPaths::dataFolderPath();
}

}  // namespace

QSInstanceChannel::QSInstanceChannel(QObject* parent) : QObject(parent) {}

QSInstanceChannel::~QSInstanceChannel() {
  if (server_) server_->close();  // removes the socket file
}

QString QSInstanceChannel::socketPath() { return QString::fromStdString((channelFolder() / "app.socket").string()); }
QString QSInstanceChannel::lockPath() { return QString::fromStdString((channelFolder() / "app.lock").string()); }

bool QSInstanceChannel::becomePrimary() {
  std::filesystem::path folder = channelFolder();
  try {
    createDirectories(folder, 0700);
    if (::chmod(folder.c_str(), 0700) != 0) throwSystemError("chmod");
  } catch (const std::exception& e) {
    error_ = QString("Couldn't create %1: %2").arg(QString::fromStdString(folder.string()), e.what());
    return false;
  }
  lock_ = openLockFile(lockPath().toStdString());
  if (!lock_ || !tryLockExclusive(lock_)) {
    lock_ = {};
    error_ = "Another Quayside window is already open.";
    return false;
  }
  // Holding the lock, any socket file there is a crashed instance's.
  QLocalServer::removeServer(socketPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath())) {
    error_ = "Couldn't serve " + socketPath() + ": " + server_->errorString();
    delete server_;
    server_ = nullptr;
    return false;
  }
  // Read and write for the user only; the folder keeps everyone else out as well.
  ::chmod(socketPath().toLocal8Bit().constData(), 0600);
  connect(server_, &QLocalServer::newConnection, this, &QSInstanceChannel::serveOne);
  return true;
}

void QSInstanceChannel::serveOne() {
  while (QLocalSocket* client = server_->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
      if (!client->canReadLine()) {
        if (client->bytesAvailable() > kMaxRequest) client->abort();
        return;
      }
      QJsonObject request = QJsonDocument::fromJson(client->readLine(kMaxRequest)).object();
      QStringList paths;
      for (const QJsonValue& v : request.value("open").toArray())
        if (v.isString() && QDir::isAbsolutePath(v.toString())) paths << v.toString();
      client->write("ok\n");
      client->disconnectFromServer();
      emit filesReceived(paths);
    });
  }
}

bool QSInstanceChannel::handOff(const QStringList& paths, int timeoutMs) {
  QJsonArray absolute;
  for (const QString& p : paths) absolute.append(QFileInfo(p).absoluteFilePath());
  QByteArray request = QJsonDocument(QJsonObject{{"open", absolute}}).toJson(QJsonDocument::Compact) + "\n";
  QDeadlineTimer deadline(timeoutMs);
  // The instance holding the lock may still be starting: try until it serves or time is up.
  while (true) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
      socket.write(request);
      if (!socket.waitForBytesWritten(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) return false;
      while (!socket.canReadLine())
        if (!socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) return false;
      return socket.readLine().trimmed() == "ok";
    }
    if (deadline.hasExpired() || !isLockedElsewhere(lockPath().toStdString())) return false;
    QThread::msleep(20);  // nobody serves yet; the holder of the lock is starting
  }
}

}  // namespace qs
