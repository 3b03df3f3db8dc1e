// One window per user and data directory takes the channel files opened from the file
// manager: a copy started with a .skc path hands it to the copy already running over a local
// socket and ends; the running one offers the import.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <string>

class QLocalServer;

namespace skimlet {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // The socket's name for this user and data directory.
  static QString ServerName(const std::string& dataDir);
  // The channel file named on a command line (the program's own arguments, the first one
  // being the program), as an absolute path; empty when there is none. A file:// URL counts.
  static QString ChannelFileArgument(const QStringList& arguments);
  // Gives `path` to the copy listening under `name`; false when none answers.
  static bool HandOver(const QString& name, const QString& path, int timeoutMs = 3000);

  explicit SingleInstance(QString name, QObject* parent = nullptr);
  // Listens under the name, taking it over from a copy that ended without closing its socket.
  // False when another live copy listens.
  bool Listen();

 signals:
  void pathReceived(const QString& path);

 private:
  QString name_;
  QLocalServer* server_ = nullptr;
};

}  // namespace skimlet
