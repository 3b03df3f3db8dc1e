// skimlet: the window. A channel file named on the command line is offered for import, by
// this copy or by the one already running on the same data directory.
#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstring>

#include "platform/DataModes.h"
#include "platform/Paths.h"
#include "qt/SettingsStore.h"
#include "shell/MainUnit.h"
#include "shell/Translation.h"
#include "shell/SingleInstance.h"
#include "shell/ZastavkaUnit.h"

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  Q_INIT_RESOURCE(tree);
  std::string home;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--home") == 0 && i + 1 < argc) home = argv[++i];
    else if (std::strncmp(argv[i], "--home=", 7) == 0) home = argv[i] + 7;
  }
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // Chromium's sandbox refuses to run as root
  // Saved pages are still documents: software drawing shows them as fast, while OpenGL (in
  // Chromium and in the Qt Quick scene under each web view) loads a driver that costs more
  // memory than the rest of the window. A user's own choice about the GPU wins.
  if (const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"); !flags.contains("gpu")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --disable-gpu").trimmed());
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) qputenv("QT_XCB_GL_INTEGRATION", "none");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Skimlet");
  QApplication::setOrganizationName("Orvane");
  QApplication::setWindowIcon(QIcon(":/icons/skimlet.png"));
  skimlet::InstallQtRussian(app);
  const std::string dataDir = skimlet::ResolveDataDir(home);
  const QString instanceName = skimlet::SingleInstance::ServerName(dataDir);
  const QString channelFile = skimlet::SingleInstance::ChannelFileArgument(QApplication::arguments());
  if (!channelFile.isEmpty() && skimlet::SingleInstance::HandOver(instanceName, channelFile)) return 0;

  skimlet::MakeDataDirPrivate(dataDir);  // once: files of older versions were world-readable

  skimlet::SettingsStore store;
  skimlet::TZastavka splash(store);
  splash.ShowNow();
  skimlet::TMainForm window(dataDir);
  if (!window.Ready()) return 1;
  window.show();
  skimlet::SingleInstance instance(instanceName);
  instance.Listen();
  QObject::connect(&instance, &skimlet::SingleInstance::pathReceived, &window,
                   [&window](const QString& path) { window.OfferChannelImport(path); });
  if (!channelFile.isEmpty())
    QTimer::singleShot(0, &window, [&window, channelFile] { window.OfferChannelImport(channelFile); });
  return app.exec();
}
