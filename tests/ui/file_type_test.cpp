// The .skc file type and the desktop entry: the program's own copies in the user's data
// directory, or none when an installed package brings them.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "shell/MainUnit.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

// XDG_DATA_HOME and XDG_DATA_DIRS point into temp directories while it lives.
struct DataDirs {
  test::TempDir data, config, home, system;
  test::DialogsScope dialogs;
  QByteArray oldDirs = qgetenv("XDG_DATA_DIRS");
  DataDirs() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.path()));
    qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(system.path()));
  }
  ~DataDirs() { qputenv("XDG_DATA_DIRS", oldDirs); }
  void Start() { TMainForm window(data.path()); }
  static std::string Resource(const char* name) { return test::ReadFile(std::string(SKIMLET_RESOURCES) + name); }
};

TEST(FileType, WithoutAnInstalledPackageTheUserGetsValidCopies) {
  DataDirs dirs;
  dirs.Start();
  std::string desktop = test::ReadFile(dirs.home / "applications/skimlet.desktop");
  EXPECT_NE(desktop.find("\nExec=\"" + ProgramDir()), std::string::npos) << desktop;  // this very program
  EXPECT_NE(desktop.find("\nMimeType=application/x-skimlet-channel;\n"), std::string::npos);
  EXPECT_TRUE(FileExists(dirs.home / "icons/hicolor/64x64/apps/skimlet.png"));
  auto check = [](const char* tool, const std::string& file) {
    return test::RunCommand(std::string(tool) + " " + test::ShellQuote(file) + " && echo valid", true).out;
  };
  EXPECT_EQ(check("desktop-file-validate", dirs.home / "applications/skimlet.desktop"), "valid\n");
  EXPECT_EQ(check("xmllint --noout", dirs.home / "mime/packages/skimlet-channel.xml"), "valid\n");
  EXPECT_NE(test::ReadFile(dirs.home / "mime/packages/skimlet-channel.xml").find("<glob pattern=\"*.skc\"/>"),
            std::string::npos);
}

TEST(FileType, AnInstalledPackageMakesTheUsersOwnCopiesGiveWay) {
  DataDirs dirs;
  dirs.Start();  // copies of its own, as before the package came
  ASSERT_TRUE(FileExists(dirs.home / "mime/packages/skimlet-channel.xml"));
  test::WriteFile(dirs.system / "applications/skimlet.desktop", DataDirs::Resource("skimlet.desktop"));
  test::WriteFile(dirs.system / "mime/packages/skimlet-channel.xml", DataDirs::Resource("skimlet-channel.xml"));
  // An entry the user wrote by hand stays.
  test::WriteFile(dirs.home / "applications/skimlet.desktop", "[Desktop Entry]\nType=Application\nName=Mine\nExec=skimlet\n");
  dirs.Start();
  EXPECT_FALSE(FileExists(dirs.home / "mime/packages/skimlet-channel.xml"));
  EXPECT_NE(test::ReadFile(dirs.home / "applications/skimlet.desktop").find("Name=Mine"), std::string::npos);
  ::unlink((dirs.home / "applications/skimlet.desktop").c_str());
  dirs.Start();
  EXPECT_FALSE(FileExists(dirs.home / "applications/skimlet.desktop"));  // nothing written either
}

}  // namespace
}  // namespace skimlet
