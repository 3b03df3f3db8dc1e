#include "shell/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

namespace skimlet {

QString SingleInstance::ServerName(const std::string& dataDir) {
  const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(dataDir), QCryptographicHash::Sha1);
  return QStringLiteral("skimlet-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.toHex().left(16)));
}

QString SingleInstance::ChannelFileArgument(const QStringList& arguments) {
  for (int i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QStringLiteral("--home")) {
      ++i;
      continue;
    }
    if (a.startsWith('-')) continue;
    const QString local = a.startsWith(QStringLiteral("file:")) ? QUrl(a).toLocalFile() : a;
    if (local.isEmpty()) continue;
    return QFileInfo(local).absoluteFilePath();
  }
  return {};
}

bool SingleInstance::HandOver(const QString& name, const QString& path, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(path.toUtf8() + '\n');
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
  return true;
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      // One path per line; a line still being written waits for its end. The paths go out
      // after the socket's own signal has returned: a receiver that asks the user runs an
      // event loop, in which the socket may end and be deleted.
      auto read = [this, socket] {
        while (socket->canReadLine()) {
          const QString path = QString::fromUtf8(socket->readLine()).trimmed();
          if (!path.isEmpty())
            QMetaObject::invokeMethod(this, [this, path] { emit pathReceived(path); }, Qt::QueuedConnection);
        }
      };
      connect(socket, &QLocalSocket::readyRead, this, read);
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      read();
    }
  });
}

bool SingleInstance::Listen() {
  // Listening replaces the socket file, so a live copy must be asked first.
  QLocalSocket probe;
  probe.connectToServer(name_);
  if (probe.waitForConnected(500)) return false;
  QLocalServer::removeServer(name_);  // left by a copy that ended without closing it
  return server_->listen(name_);
}

}  // namespace skimlet
