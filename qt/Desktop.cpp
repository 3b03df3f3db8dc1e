#include "qt/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace skimlet {

namespace {

// Asks the file manager over D-Bus without waiting for it; `fallback` runs when no file
// manager answers.
void AskFileManager(const QString& method, const QStringList& uris, std::function<void()> fallback) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    fallback();
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                     "org.freedesktop.FileManager1", method);
  call << uris << QString();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [fallback = std::move(fallback)](QDBusPendingCallWatcher* w) {
    if (w->isError()) fallback();
    w->deleteLater();
  });
}

Desktop g_desktop;
Desktop* g_current = &g_desktop;

}  // namespace

void Desktop::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void Desktop::ShowFile(const QString& path) {
  QString folder = QFileInfo(path).absolutePath();
  AskFileManager("ShowItems", {QUrl::fromLocalFile(path).toString()},
                 [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
}

void Desktop::ShowTrash() {
  QString files = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
  AskFileManager("ShowFolders", {"trash:///"}, [files] {
    QDir().mkpath(files);
    QDesktopServices::openUrl(QUrl::fromLocalFile(files));
  });
}

Desktop& AppDesktop() { return *g_current; }
void SetAppDesktop(Desktop* desktop) { g_current = desktop ? desktop : &g_desktop; }

}  // namespace skimlet
