#include "shell/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace skimlet {

bool InstallQtRussian(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  const QLocale russian(QLocale::Russian, QLocale::Russia);
  if (!translator->load(russian, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  app.installTranslator(translator);
  return true;
}

}  // namespace skimlet
