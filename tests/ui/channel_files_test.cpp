// Channel files in the window: SaveChannel and OpenCannel through the dialogs seam, and a
// .skc handed over on the command line or by a second copy.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "authoring/ChannelFile.h"
#include "authoring/ui/MacroEditor.h"
#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "qt/QtText.h"
#include "shell/SingleInstance.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::MacroStep;

const QString kFilter = "Skimlet Channel config (*.skc)";

struct Files : test::WindowFixture {
  std::unique_ptr<TMainForm> w;
  // Channel "Site" (GetStart) with rubrics "News" (two steps) and "Empty" (none).
  void Make() {
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/", {MacroStep("GetStart", "http://site.test/", "<body", "-1")}));
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/News/", {MacroStep("FindUrlNews", "n/", "-1"), MacroStep("SaveNews")}));
    ASSERT_TRUE(test::WriteMacro(data / "Accounts/Site/Empty/", {}));
    w = Open();
  }
  NodePtr Node(const std::string& caption) {
    for (const NodePtr& n : w->Tree().InTreeOrder())
      if (w->Tree().Caption(n) == caption) return n;
    return nullptr;
  }
  test::ScriptedDialogs& Boxes() { return dialogs.dialogs; }
  QString Dir() { return QPath(data / "Configure Channells/"); }
  QStringList TreeTexts() {
    QStringList texts;
    for (QTreeWidgetItemIterator it(w->Accounts()); *it; ++it) texts << (*it)->text(0);
    return texts;
  }
};

TEST(ChannelFilesWindow, SaveChannelWritesTheChannelThroughTheDialogs) {
  Files f;
  f.Make();
  f.w->Accounts()->SelectNode(f.Node("News"));
  const std::string file = f.data / "Configure Channells/Channel Site.skc";
  f.Boxes().files = {QPath(file)};
  f.w->Action("SaveChannel")->trigger();
  ASSERT_EQ(f.Boxes().fileDialogs.size(), 1);
  EXPECT_EQ(f.Boxes().fileDialogs[0], QString::fromUtf8("Сохранение конфигурации канала|") + f.Dir() +
                                          "Channel Site.skc|" + kFilter + "|skc");
  EXPECT_TRUE(DirExists(f.data / "Configure Channells")) << "made on first use";
  const std::string expected = FormatChannelFile({{"Site", {MacroStep("GetStart", "http://site.test/", "<body", "-1")}},
                                                  {"Empty", {}},
                                                  {"News", {MacroStep("FindUrlNews", "n/", "-1"), MacroStep("SaveNews")}}});
  std::string written = test::ReadFile(file);
  // The rubrics come in the tree's order, whatever it is.
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_EQ(written.rfind("Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting\r\nSite\r\n1\r\n", 0), 0u);
  EXPECT_NE(written.find("Empty\r\n0\r\n"), std::string::npos);

  // Again into the same file: the warning question; No leaves the file as it is.
  f.w->Accounts()->SelectNode(f.Node("Site"));
  test::WriteFile(file, "older");
  f.Boxes().files = {QPath(file)};
  f.Boxes().answers = {false};
  f.w->Action("SaveChannel")->trigger();
  ASSERT_EQ(f.Boxes().questions.size(), 1);
  EXPECT_EQ(f.Boxes().questions[0], QString::fromUtf8("Предупреждение|Файл ") + QPath(file) +
                                        QString::fromUtf8(" существует. Перезаписать?"));
  EXPECT_EQ(test::ReadFile(file), "older");
  EXPECT_EQ(f.Boxes().fileDialogs[1].section('|', 1, 1), f.Dir() + "Channel Site.skc") << "the same directory";

  // A name typed without its extension gets ".skc"; unsaved edits of the channel's folder are
  // offered for saving first, and go into the file when the answer is Yes.
  f.w->Editor()->AutoActionMemoHint()->setText("edited");
  f.Boxes().files = {QPath(f.data / "Configure Channells/mine")};
  f.Boxes().answers = {true};
  f.w->Action("SaveChannel")->trigger();
  EXPECT_EQ(f.Boxes().questions.size(), 2);
  EXPECT_TRUE(f.Boxes().questions[1].contains(QString::fromUtf8("были внесены изменения")));
  EXPECT_NE(test::ReadFile(f.data / "Configure Channells/mine.skc").find("\r\nedited\r\n"), std::string::npos);
  EXPECT_FALSE(f.w->Macro().MacroModified());

  // Cancelling the dialog does nothing.
  f.w->Action("SaveChannel")->trigger();
  EXPECT_EQ(f.Boxes().questions.size(), 2);
}

TEST(ChannelFilesWindow, OpenCannelImportsCreatesAndRefreshesTheTree) {
  Files f;
  f.Make();
  const std::string file = f.data / "new.skc";
  test::WriteFile(file, FormatChannelFile({{Cp("Новый"), {MacroStep("GetStart", "http://new.test/", "x", "-1")}},
                                           {Cp("Лента"), {MacroStep("SaveNews")}},
                                           {"Empty", {}}}));
  f.Boxes().files = {QPath(file)};
  f.w->Action("OpenCannel")->trigger();
  ASSERT_EQ(f.Boxes().fileDialogs.size(), 1);
  EXPECT_EQ(f.Boxes().fileDialogs[0], QString::fromUtf8("Открытие или восстановление конфигурации канала|") +
                                          f.Dir() + "|" + kFilter + "|skc");
  EXPECT_TRUE(f.Boxes().questions.isEmpty()) << "a new channel is not asked about";
  NodePtr channel = f.Node(Cp("Новый"));
  ASSERT_TRUE(channel);
  EXPECT_EQ(f.w->Accounts()->SelectedNode(), channel) << "the imported channel is selected";
  EXPECT_TRUE(f.TreeTexts().contains(QString::fromUtf8("Лента")));
  EXPECT_TRUE(f.w->Accounts()->ItemOf(channel)->isExpanded()) << "its rubrics in sight";
  EXPECT_EQ(f.w->Tree().Children(channel).size(), 2u);
  EXPECT_TRUE(f.w->Tree().IsChecked(channel));
  EXPECT_EQ(ReadMacroStep(f.data / "Accounts/Новый/Лента/", 0).Command, "SaveNews");
  EXPECT_EQ(test::ReadFile(f.data / "Accounts/Новый/Empty/Skimlet-macros.ini"), "0\r\n");
  EXPECT_EQ(f.w->Editor()->ListMacro()->model()->rowCount(), 1) << "the editor shows the channel's macro";

  // The same file again: the channel exists; No keeps what it has.
  test::WriteFile(file, FormatChannelFile({{Cp("Новый"), {MacroStep("NotOperation")}}}));
  f.Boxes().files = {QPath(file)};
  f.Boxes().answers = {false};
  f.w->Action("OpenCannel")->trigger();
  ASSERT_EQ(f.Boxes().questions.size(), 1);
  EXPECT_EQ(f.Boxes().questions[0],
            QString::fromUtf8("Предупреждение|Канал Новый существует. Перезаписать настройки канала?"));
  EXPECT_EQ(ReadMacroStep(f.data / "Accounts/Новый/", 0).Command, "GetStart");

  // Yes while the editor holds unsaved edits of that very folder: the file wins, as asked.
  f.w->Editor()->AutoActionMemoHint()->setText("will be replaced");
  f.Boxes().files = {QPath(file)};
  f.Boxes().answers = {true};
  f.w->Action("OpenCannel")->trigger();
  EXPECT_EQ(ReadMacroStep(f.data / "Accounts/Новый/", 0).Command, "NotOperation");
  EXPECT_FALSE(f.w->Macro().MacroModified());
  EXPECT_EQ(f.w->Macro().Table().steps[0].Command, "NotOperation");
}

TEST(ChannelFilesWindow, BadFilesAreRefusedWithAMessageAndChangeNothing) {
  Files f;
  f.Make();
  const QStringList before = f.TreeTexts();
  const std::string unsafe = f.data / "unsafe.skc";
  test::WriteFile(unsafe, FormatChannelFile({{"Site2", {MacroStep("SaveNews")}}, {"../../escape", {}}}));
  f.Boxes().files = {QPath(unsafe)};
  f.w->Action("OpenCannel")->trigger();
  ASSERT_EQ(f.Boxes().messages.size(), 1);
  EXPECT_TRUE(f.Boxes().messages[0].contains(QString::fromUtf8("не загружена, ничего не изменено")));
  EXPECT_TRUE(f.Boxes().messages[0].contains(QString::fromUtf8("строка 13: имя папки «../../escape» не годится")))
      << f.Boxes().messages[0].toStdString();
  EXPECT_FALSE(DirExists(f.data / "Accounts/Site2")) << "all or nothing";
  EXPECT_FALSE(DirExists(f.data / "escape"));
  EXPECT_EQ(f.TreeTexts(), before);

  const std::string plain = f.data / "plain.skc";
  test::WriteFile(plain, "just text\r\n");
  f.Boxes().files = {QPath(plain)};
  f.w->Action("OpenCannel")->trigger();
  ASSERT_EQ(f.Boxes().messages.size(), 2);
  EXPECT_TRUE(f.Boxes().messages[1].contains(QString::fromUtf8("не настройка канала")));
  EXPECT_EQ(f.TreeTexts(), before);

  // Names from the file (Windows-1251) and paths (UTF-8) both read right inside the Russian text.
  const std::string broken = f.data / "сломан.skc";
  test::WriteFile(broken, "Skimlet: Start Channel Setting\r\n" + Cp("Сайт\r\nтри\r\n"));
  f.Boxes().files = {QPath(broken)};
  f.w->Action("OpenCannel")->trigger();
  ASSERT_EQ(f.Boxes().messages.size(), 3);
  EXPECT_TRUE(f.Boxes().messages[2].contains(QPath(broken)));
  EXPECT_TRUE(
      f.Boxes().messages[2].contains(QString::fromUtf8("строка 3: у папки «Сайт» число шагов «три» — это не число")))
      << f.Boxes().messages[2].toStdString();
  EXPECT_EQ(f.TreeTexts(), before);

  test::WriteFile(f.data / "блок", "a file where a folder should be");
  const std::string unwritable = f.data / "блок/Канал.skc";
  f.w->Accounts()->SelectNode(f.Node("Site"));
  f.Boxes().files = {QPath(unwritable)};
  f.w->Action("SaveChannel")->trigger();
  ASSERT_EQ(f.Boxes().messages.size(), 4);
  EXPECT_TRUE(f.Boxes().messages[3].contains(QString::fromUtf8("Не удалось записать файл ") + QPath(unwritable) + " ("))
      << f.Boxes().messages[3].toStdString();
}

TEST(ChannelFilesWindow, AFileFromTheCommandLineIsOfferedForImport) {
  Files f;
  f.Make();
  const std::string file = f.data / "offered.skc";
  test::WriteFile(file, FormatChannelFile({{"Offered", {MacroStep("SaveNews")}}}));
  f.Boxes().answers = {false};
  f.w->OfferChannelImport(QPath(file));
  ASSERT_EQ(f.Boxes().questions.size(), 1);
  EXPECT_EQ(f.Boxes().questions[0],
            QString::fromUtf8("Skimlet|Добавить канал «Offered» из файла ") + QPath(file) + "?");
  EXPECT_FALSE(f.Node("Offered"));
  f.Boxes().answers = {true};
  f.w->OfferChannelImport(QPath(file));
  EXPECT_TRUE(f.Node("Offered"));
  // An existing channel: only the import's own question.
  f.Boxes().answers = {true};
  f.w->OfferChannelImport(QPath(file));
  ASSERT_EQ(f.Boxes().questions.size(), 3);
  EXPECT_TRUE(f.Boxes().questions[2].contains(QString::fromUtf8("существует. Перезаписать настройки канала?")));
}

TEST(SingleInstanceHandOver, TheRunningCopyReceivesThePath) {
  test::TempDir dir;
  const QString name = SingleInstance::ServerName(dir.path());
  EXPECT_EQ(name, SingleInstance::ServerName(dir.path()));
  EXPECT_NE(name, SingleInstance::ServerName(dir / "other/"));
  EXPECT_FALSE(SingleInstance::HandOver(name, "/x.skc", 200)) << "nobody listens";

  SingleInstance first(name);
  ASSERT_TRUE(first.Listen());
  SingleInstance second(name);
  EXPECT_FALSE(second.Listen()) << "one copy listens per user and data directory";
  QSignalSpy received(&first, &SingleInstance::pathReceived);
  // The receiver asks the user: an event loop runs while the sender has long gone.
  QObject::connect(&first, &SingleInstance::pathReceived, [] { QTest::qWait(100); });
  EXPECT_TRUE(SingleInstance::HandOver(name, QString::fromUtf8("/home/u/Канал.skc")));
  EXPECT_TRUE(SingleInstance::HandOver(name, "/second.skc"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 2; }, 3000));
  EXPECT_EQ(received.at(0).at(0).toString(), QString::fromUtf8("/home/u/Канал.skc"));
  EXPECT_EQ(received.at(1).at(0).toString(), "/second.skc");
}

TEST(SingleInstanceHandOver, TheChannelFileArgument) {
  EXPECT_EQ(SingleInstance::ChannelFileArgument({"skimlet"}), "");
  EXPECT_EQ(SingleInstance::ChannelFileArgument({"skimlet", "--home", "/data", "/f/a.skc"}), "/f/a.skc");
  EXPECT_EQ(SingleInstance::ChannelFileArgument({"skimlet", "--home=/data", "file:///f/b%20c.skc"}), "/f/b c.skc");
  EXPECT_EQ(SingleInstance::ChannelFileArgument({"skimlet", "--home", "/data"}), "");
  EXPECT_TRUE(SingleInstance::ChannelFileArgument({"skimlet", "rel.skc"}).endsWith("/rel.skc"));
  EXPECT_TRUE(SingleInstance::ChannelFileArgument({"skimlet", "rel.skc"}).startsWith('/'));
}

}  // namespace
}  // namespace skimlet
