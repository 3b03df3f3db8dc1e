// Qt's own texts (standard buttons, file dialogs, the context menus of text fields) in
// Russian, to match the rest of the window.
#pragma once

class QCoreApplication;

namespace skimlet {

// Installs Qt's Russian translation into the application; false when it is not installed
// on this system (the texts then stay in English).
bool InstallQtRussian(QCoreApplication& app);

}  // namespace skimlet
