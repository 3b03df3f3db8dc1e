// The window's tests: GoogleTest cases driving real widgets with Qt Test, on the offscreen
// platform (set by CTest; set here too when the program is run by hand).
#include <gtest/gtest.h>

#include <QApplication>

#include "shell/Translation.h"

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  Q_INIT_RESOURCE(tree);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  QApplication app(argc, argv);
  skimlet::InstallQtRussian(app);  // as the program does
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
