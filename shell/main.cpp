// skimlet: the window.
#include <QApplication>
#include <QIcon>
#include <cstring>

#include "platform/Paths.h"
#include "qt/SettingsStore.h"
#include "shell/MainUnit.h"
#include "shell/Translation.h"
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
  QApplication app(argc, argv);
  QApplication::setApplicationName("Skimlet");
  QApplication::setOrganizationName("Orvane");
  QApplication::setWindowIcon(QIcon(":/icons/skimlet.png"));
  skimlet::InstallQtRussian(app);
  skimlet::SettingsStore store;
  skimlet::TZastavka splash(store);
  splash.ShowNow();
  skimlet::TMainForm window(skimlet::ResolveDataDir(home));
  if (!window.Ready()) return 1;
  window.show();
  return app.exec();
}
