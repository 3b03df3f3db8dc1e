// The main window as a user drives it: start-up, settings, the download actions against a
// real server on 127.0.0.1, and the close sequence.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QSplitter>
#include <QSplitterHandle>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <filesystem>

#include "authoring/ChannelFile.h"
#include "authoring/ui/LogPage.h"
#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/NewNewsUnit.h"
#include "shell/SettingsPage.h"
#include "shell/TrayIcon.h"
#include "store/MacroFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;
// A site with an index of `articles` links; "/slow" pages take their time.
struct Site {
  test::HttpTestServer server;
  explicit Site(int articles) {
    server.Get("/index.html", [articles](const httplib::Request&, httplib::Response& res) {
      std::string page = "<html><body>";
      for (int i = 0; i < articles; ++i) page += "<a href=\"news/a" + std::to_string(i) + ".html\">x</a>\n";
      res.set_content(page + "</body></html>", "text/html");
    });
    server.Get(R"(/news/a(\d+)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      std::string n = req.matches[1];
      res.set_content("<html><head><title>Article " + n + "</title></head><body><div class=\"article\">Text of " +
                          n + " long enough to be saved as news.</div></body></html>",
                      "text/html");
    });
    server.Start();
  }
};

struct Fixture : test::WindowFixture {
  // One channel "Site" with GetStart, and a rubric "News" looping over the links.
  void MakeChannel(const std::string& name, const std::string& indexUrl) {
    std::string channel = data / ("Accounts/" + name + "/");
    ASSERT_TRUE(test::WriteMacro(channel, {test::MacroStep("GetStart", indexUrl, "<body", "-999")}));
    ASSERT_TRUE(test::WriteMacro(channel + "News/", {test::MacroStep("FindUrlNews", "news/*.html", "-1"), test::MacroStep("EditUrlNews"),
                                   test::MacroStep("GetNews", "class=\"article\"", "", "", "0"),
                                   test::MacroStep("FindNameNews", "<title>", "</title>"), test::MacroStep("SaveNews"),
                                   test::MacroStep("GotoMacro", "0")}));
  }
  void Store(const std::vector<std::pair<QString, QString>>& values) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
    for (const auto& [key, value] : values) s.setValue(key, value);
  }
  QString Stored(const QString& key) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
    return s.value(key).toString();
  }
};

bool Checked(TMainForm& w, const char* name) { return w.Action(name)->isChecked(); }

TEST(MainWindowStartup, FirstStartShowsTheDefaults) {
  Fixture f;
  auto w = f.Open();
  ASSERT_TRUE(w->Ready());
  RunSettings s = w->Settings()->Current();
  EXPECT_EQ(s.maxHtmlHistory, 10000);
  EXPECT_EQ(s.maxDownloads, 500);
  EXPECT_EQ(s.timeoutMarkNotRead, 2);
  EXPECT_EQ(s.ledCount, 3);
  EXPECT_TRUE(s.hURLUseCashe && s.hURLReload && s.hURLExistsConnection);
  EXPECT_FALSE(s.hURLReloadCookiesOff || s.notCheckHistory);
  EXPECT_TRUE(s.convertToWin1251);
  EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));
  EXPECT_TRUE(Checked(*w, "FlagDownloadPictures"));
  EXPECT_TRUE(DirExists(w->Tree().AccountsDir()));
  EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Skimlet - электронный журнал о событиях в Сети"));
  // The channel-file type is registered in the user's data directory.
  EXPECT_TRUE(FileExists(f.xdgData / "mime/packages/skimlet-channel.xml"));
  EXPECT_TRUE(FileExists(f.xdgData / "applications/skimlet.desktop"));
}

TEST(MainWindowStartup, MissingCatalogueEndsTheProgramWithItsPath) {
  Fixture f;
  MakeDirs(f.data / "Actions");  // the data directory's own Actions/ wins, and it is empty
  auto w = std::make_unique<TMainForm>(f.data.path());
  EXPECT_FALSE(w->Ready());
  ASSERT_EQ(f.dialogs.dialogs.messages.size(), 1);
  EXPECT_EQ(f.dialogs.dialogs.messages[0],
            QString::fromUtf8("Нет файла ") + QString::fromStdString(f.data / "Actions/ActionsList.txt"));
}

TEST(MainWindowSettings, StoredValuesAreReadClampedAndWrittenBack) {
  Fixture f;
  {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
    s.setValue("Setting/hURLReload.Checked", "0");
    s.setValue("Setting/NotCheckHistory.Checked", "5");
    s.setValue("Setting/MaxDownloads.Value", "99999");
    s.setValue("Setting/LEDCount.Value", "many");
    s.setValue("MainForm/.WindowState", "0");
  }
  MakeDirs(f.data / "Accounts/A/B");
  MakeDirs(f.data / "Accounts/C");
  {
    auto w = f.Open();
    RunSettings s = w->Settings()->Current();
    EXPECT_FALSE(s.hURLReload);
    EXPECT_TRUE(s.notCheckHistory);
    EXPECT_EQ(s.maxDownloads, 10000);
    EXPECT_EQ(s.ledCount, 3);
    EXPECT_FALSE(w->windowState() & Qt::WindowMaximized);
    w->Accounts()->SelectNode(w->Tree().NodeAt(2));
    w->close();
  }
  QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
  EXPECT_EQ(s.value("Setting/MaxDownloads.Value").toString(), "10000");
  EXPECT_EQ(s.value("Setting/LEDCount.Value").toString(), "3");
  EXPECT_EQ(s.value("View/Accounts.Selected.Index").toString(), "2");
  EXPECT_EQ(test::ReadFile(f.data / "Accounts/folders.txt"), "A\r\n\tB\r\nC\r\n");
  auto again = f.Open();
  EXPECT_EQ(again->Accounts()->SelectedNode(), again->Tree().NodeAt(2));
}

// Drags a splitter's handle by `dy` pixels the way the mouse does.
void DragHandle(QSplitter* splitter, int dy) {
  QSplitterHandle* handle = splitter->handle(1);
  QPoint local(handle->width() / 2, handle->height() / 2);
  QPoint global = handle->mapToGlobal(local);
  auto send = [&](QEvent::Type type, QPoint g, Qt::MouseButtons buttons) {
    QMouseEvent event(type, handle->mapFromGlobal(g), g, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(handle, &event);
  };
  send(QEvent::MouseButtonPress, global, Qt::LeftButton);
  send(QEvent::MouseMove, global + QPoint(0, dy / 2), Qt::LeftButton);
  send(QEvent::MouseMove, global + QPoint(0, dy), Qt::LeftButton);
  send(QEvent::MouseButtonRelease, global + QPoint(0, dy), Qt::NoButton);
}

TEST(MainWindowPlacement, PanelSizesHoldAndTheDividerMovesBothWays) {
  Fixture f;
  {
    auto w = f.Open();
    EXPECT_EQ(w->findChild<QSplitter*>("PanelTop")->height(), 233);
    EXPECT_EQ(w->findChild<QWidget*>("PanelAccounts")->width(), 190);
    w->close();
  }
  EXPECT_EQ(f.Stored("View/PanelTop.Height"), "233");
  EXPECT_EQ(f.Stored("View/PanelAccounts.Width"), "190");

  // A normal window of the design size: the upper panel can grow and shrink by dragging.
  f.Store({{"MainForm/.WindowState", "0"}, {"MainForm/.Left", "10"}, {"MainForm/.Top", "10"},
           {"MainForm/.Right", "792"}, {"MainForm/.Bottom", "560"}});
  {
    auto w = f.Open();
    auto* top = w->findChild<QSplitter*>("PanelTop");
    auto* main = w->findChild<QSplitter*>("SplitterMain");
    ASSERT_EQ(top->height(), 233);
    DragHandle(main, 60);
    EXPECT_EQ(top->height(), 293);
    DragHandle(main, -150);
    EXPECT_EQ(top->height(), 143);
    w->close();
  }
  EXPECT_EQ(f.Stored("View/PanelTop.Height"), "143");
  auto again = f.Open();
  EXPECT_EQ(again->findChild<QSplitter*>("PanelTop")->height(), 143);  // exactly, after a restart
}

TEST(MainWindowSelection, AStoredIndexBeyondTheTreeSelectsNothingEvenWhenTheTreeGetsFocus) {
  Fixture f;
  f.MakeChannel("A", "http://127.0.0.1:1/index.html");
  f.MakeChannel("B", "http://127.0.0.1:1/index.html");
  f.Store({{"View/Accounts.Selected.Index", "99"}});
  auto w = f.Open();
  QFocusEvent focus(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(w->Accounts(), &focus);
  EXPECT_EQ(w->Accounts()->currentItem(), nullptr);
  EXPECT_EQ(w->Accounts()->SelectedNode(), nullptr);
  w->Trigger("Download");  // F9 with nothing chosen downloads nothing
  EXPECT_EQ(w->RunOfSlot(0), nullptr);
  EXPECT_EQ(w->RunOfSlot(1), nullptr);
}

TEST(MainWindowSelection, TheStoredFolderPathWinsOverAShiftedIndex) {
  Fixture f;
  MakeDirs(f.data / "Accounts/B");
  MakeDirs(f.data / "Accounts/C/Новости");
  {
    auto w = f.Open();
    w->Accounts()->SelectNode(w->Tree().NodeAt(2));
    w->close();
  }
  EXPECT_EQ(f.Stored("View/Accounts.Selected.Index"), "2");
  EXPECT_EQ(f.Stored("View/Accounts.Selected.Path"), QString::fromUtf8("C/Новости"));
  MakeDirs(f.data / "Accounts/A");  // sorts first: index 2 is now C itself
  {
    auto w = f.Open();
    EXPECT_EQ(w->Tree().Caption(w->Accounts()->SelectedNode()), Cp("Новости"));
    w->close();
  }
  // A folder that is gone: the index decides.
  f.Store({{"View/Accounts.Selected.Path", "Gone"}, {"View/Accounts.Selected.Index", "1"}});
  auto w = f.Open();
  EXPECT_EQ(w->Tree().Caption(w->Accounts()->SelectedNode()), "B");
}

TEST(MainWindowDownload, SelectionModeRefusesToStart) {
  Fixture f;
  f.MakeChannel("Site", "http://127.0.0.1:1/index.html");
  auto w = f.Open();
  w->Accounts()->SelectNode(w->Tree().NodeAt(0));
  w->Action("AccountsCheckBox")->trigger();
  w->Trigger("Download");
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));
  EXPECT_EQ(w->RunOfSlot(0), nullptr);
  QStringList log = w->Log()->LogTexts();
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[0].startsWith(QString::fromUtf8("255 ОШИБКА!!!")));
}

TEST(MainWindowDownload, StartStepPauseStopFollowTheStateTable) {
  Fixture f;
  Site site(3);
  f.MakeChannel("Site", site.server.url("/index.html"));
  auto w = f.Open();
  w->Accounts()->SelectNode(w->Tree().NodeAt(1));  // a rubric starts its whole channel
  // Its macro is loaded for the editor, and the title names the folder.
  EXPECT_EQ(w->windowTitle(), QString::fromStdString(w->Tree().FolderPath(w->Tree().NodeAt(1))));

  // F8 on an idle channel: a run that pauses after its first command.
  w->Trigger("DownloadOneStep");
  TDownload* run = w->RunOfSlot(0);
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->Paused() && Checked(*w, "DownloadPause"); }, 5000));
  auto logHas = [&](const char* text) { return w->Log()->LogTexts().join("\n").contains(QString::fromUtf8(text)); };
  EXPECT_TRUE(logHas("GetStart"));
  EXPECT_FALSE(logHas("FindUrlNews"));
  w->Trigger("DownloadOneStep");  // exactly one more command
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->Paused() && logHas("FindUrlNews"); }, 5000));
  EXPECT_FALSE(logHas("EditUrlNews"));

  // F9 while paused: continuous again; F9 while running: the repeated-request notice.
  w->Trigger("Download");
  EXPECT_TRUE(Checked(*w, "Download"));
  EXPECT_FALSE(run->StepMode());
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 10000));
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));  // the run ended: Stop is pressed
  EXPECT_EQ(w->History().Count(), 3u);
  EXPECT_TRUE(w->Log()->LogTexts().last().contains(QString::fromUtf8("Конец загрузки")));

  // A new run of the same channel finds everything loaded before.
  w->Trigger("Download");
  TDownload* second = w->RunOfSlot(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return second->ChannelNode() == nullptr; }, 10000));
  EXPECT_EQ(second->SavedCount(), 0);
}

TEST(MainWindowDownload, RepeatedRequestAndStopOfAPausedRun) {
  Fixture f;
  Site site(2);
  f.MakeChannel("Site", site.server.url("/index.html"));
  auto w = f.Open();
  w->Accounts()->SelectNode(w->Tree().NodeAt(0));
  w->Trigger("DownloadOneStep");
  TDownload* run = w->RunOfSlot(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->Paused(); }, 5000));
  // Resuming in continuous mode and pressing F9 again while it runs.
  run->SetStepMode(false);
  run->Pause();
  w->Trigger("DownLoadStop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 5000));
  QStringList log = w->Log()->LogTexts();
  EXPECT_TRUE(log.join("\n").contains(QString::fromUtf8("Сессия прервана.")));
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));
  // Triggering the checked Stop again changes nothing.
  w->Trigger("DownLoadStop");
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));
}

TEST(MainWindowDownload, TwoChannelsAtOnceAndAbortAll) {
  Fixture f;
  test::HttpTestServer slow;
  slow.Get("/index.html", [&slow](const httplib::Request&, httplib::Response& res) {
    slow.WaitForStop(std::chrono::seconds(20));  // never answers in time
    res.set_content("<body>", "text/html");
  });
  slow.Start();
  f.MakeChannel("A", slow.url("/index.html"));
  f.MakeChannel("B", slow.url("/index.html"));
  auto w = f.Open();
  NodePtr a = w->Tree().Channels()[0], b = w->Tree().Channels()[1];
  w->Accounts()->SelectNode(a);
  w->Trigger("Download");
  w->Accounts()->SelectNode(b);
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));  // B is idle
  w->Trigger("Download");
  ASSERT_NE(w->RunOfSlot(0), nullptr);
  ASSERT_NE(w->RunOfSlot(1), nullptr);
  // A request while the run goes on with its current command: the radio shows the one-step
  // action, so Download is unchecked and F9 is a repeated request.
  w->Trigger("DownloadOneStep");
  EXPECT_TRUE(Checked(*w, "DownloadOneStep"));
  w->Trigger("Download");
  EXPECT_TRUE(w->statusBar()->currentMessage().contains(QString::fromUtf8("Повторный опрос. Аккаунт B уже загружается.")));
  w->Accounts()->SelectNode(a);
  EXPECT_TRUE(Checked(*w, "Download"));

  f.dialogs.dialogs.answers = {false};
  w->Trigger("DowlnloadAbortAll");
  EXPECT_FALSE(w->RunOfSlot(0)->Finished());
  f.dialogs.dialogs.answers = {true};
  w->Trigger("DowlnloadAbortAll");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !w->RunOfSlot(0)->ChannelNode() && !w->RunOfSlot(1)->ChannelNode(); }, 3000));
  EXPECT_TRUE(Checked(*w, "DownLoadStop"));
  slow.Stop();
}

TEST(MainWindowDownload, APictureTheSiteRefusesIsARedLineOfTheLog) {
  Fixture f;
  test::HttpTestServer site;
  site.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<body><a href=\"news/1.html\">1</a></body>", "text/html");
  });
  site.Get("/news/1.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<title>One</title><div class=\"article\">Text</div><img src=\"/img/gone.gif\">", "text/html");
  });
  site.Start();
  std::string channel = f.data / "Accounts/Site/";
  ASSERT_TRUE(test::WriteMacro(channel, {test::MacroStep("GetStart", site.url("/index.html"), "<body", "-999"),
                                         test::MacroStep("FindUrlNews", "news/", "-1"), test::MacroStep("EditUrlNews"),
                                         test::MacroStep("GetNews", "class=\"article\"", "", "", "1"),
                                         test::MacroStep("EditHTMLNews", "StandartParameter=0"),
                                         test::MacroStep("FindAttachment", "StandartParameter=0", "StandartParameter=0"),
                                         test::MacroStep("SaveNews"), test::MacroStep("GotoMacro", "1")}));
  auto w = f.Open();
  w->Accounts()->SelectNode(w->Tree().Channels()[0]);
  w->Trigger("Download");
  const QString line = QString::fromUtf8("255 Site> Вложение не загружено: ") +
                       QString::fromStdString(site.url("/img/gone.gif")) + " - HTTP 404";
  auto logged = [&] {
    const QStringList texts = w->Log()->LogTexts();
    return std::any_of(texts.begin(), texts.end(), [&](const QString& t) { return t.startsWith(line); });
  };
  EXPECT_TRUE(QTest::qWaitFor(logged, 5000)) << w->Log()->LogTexts().join("\n").toStdString();
  EXPECT_FALSE(std::filesystem::exists(channel + "Attachment") && !std::filesystem::is_empty(channel + "Attachment"));
}

TEST(MainWindowClose, AsksWhileARunIsPausedAndSavesTheHistoryFirst) {
  Fixture f;
  Site site(2);
  f.MakeChannel("Site", site.server.url("/index.html"));
  auto w = f.Open();
  w->Accounts()->SelectNode(w->Tree().NodeAt(0));
  w->Trigger("Download");
  TDownload* run = w->RunOfSlot(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 10000));
  ASSERT_EQ(w->History().Count(), 2u);
  w->Trigger("DownloadOneStep");
  run = w->RunOfSlot(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->Paused(); }, 5000));

  // The user deletes one entry; the file loses it when the window closes.
  const std::string deleted = w->History().Lines().front();
  w->History().RemoveIf([&](const std::string& line) { return line == deleted; });
  ASSERT_NE(test::ReadFile(HistoryFilePath(f.data.path())).find(deleted), std::string::npos);
  f.dialogs.dialogs.answers = {false};
  EXPECT_FALSE(w->close());
  EXPECT_EQ(f.dialogs.dialogs.questions.size(), 1);
  EXPECT_TRUE(f.dialogs.dialogs.questions[0].contains(QString::fromUtf8("Есть не завершенные потоки загрузки.")));
  const std::string file = test::ReadFile(HistoryFilePath(f.data.path()));  // rewritten before the question
  EXPECT_EQ(file.find(deleted), std::string::npos);
  EXPECT_NE(file, "");

  f.dialogs.dialogs.answers = {true};
  EXPECT_TRUE(w->close());
  EXPECT_EQ(run->ChannelNode(), nullptr);  // stopped and joined, nothing left running
}

TEST(MainWindowTicker, NewsSavedByARunReachTheTickerThroughTheWindowThread) {
  Fixture f;
  Site site(3);
  f.MakeChannel("Site", site.server.url("/index.html"));
  auto w = f.Open();
  TNewNewsForm* ticker = w->Companion()->Ticker();
  EXPECT_FALSE(ticker->isVisible());  // nothing unread yet
  w->Accounts()->SelectNode(w->Tree().NodeAt(0));
  w->Trigger("Download");
  TDownload* run = w->RunOfSlot(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 10000));
  EXPECT_EQ(ticker->Items().Count(), 3u);
  EXPECT_EQ(ticker->Items().At(0).name, "Article 0");
  EXPECT_EQ(w->Tree().Caption(ticker->Items().At(0).node), "News");
  // The 250 ms rule shows it, and the tray's tooltip counts what it lists.
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticker->isVisible(); }, 5000));
  EXPECT_EQ(ticker->Items().Count(), 3u);  // rebuilt from the disk on showing: the same news
  EXPECT_TRUE(w->Companion()->Tray()->Icon()->toolTip().contains("3"));
  // Switched off, it goes within a tick even though the news are still unread.
  w->Action("ViewNewNews")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ticker->isVisible(); }, 5000));
  EXPECT_FALSE(w->Action("ViewNewNews")->isChecked());
  EXPECT_TRUE(w->close());
  EXPECT_EQ(f.Stored("Setting/ViewNewNews.Checked"), "0");
}

// Another process makes a channel with a rubric and removes two: the new nodes come in their
// place with their counts, the selection and the list stay, an idle gone channel leaves at
// once with its news out of the ticker, and the one the window downloads once its run is
// stopped (the run is found although it moved down).
TEST(MainWindowTree, FoldersAnotherProcessMakesOrRemovesComeAndGoWithoutF5) {
  Fixture f;
  Site site(2);
  f.MakeChannel("Site", site.server.url("/index.html"));
  f.MakeChannel("Zeta", site.server.url("/index.html"));
  f.MakeChannel("Zulu", site.server.url("/index.html"));
  const std::string zuluNews = f.data / "Accounts/Zulu/o.html";
  ASSERT_TRUE(WriteFileAtomic(zuluNews, "<html>o</html>", nullptr, false, false));
  ASSERT_EQ(chmod(zuluNews.c_str(), 0444), 0);  // unread: in the ticker and the tray's count
  auto w = f.Open();
  AccountsTree* tree = w->Accounts();
  NodePtr zeta = w->Tree().Channels()[1];
  const TickerItems& ticker = w->Companion()->Ticker()->Items();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticker.Contains(zuluNews); }, 5000));
  tree->SelectNode(zeta);
  w->Trigger("DownloadOneStep");
  TDownload* run = w->RunOfSlot(1);
  ASSERT_TRUE(run && QTest::qWaitFor([&] { return run->Paused(); }, 5000));
  NodePtr news = w->Tree().NodeByRelativePath("Site/News");
  tree->SelectNode(news);
  tree->AccountsClick();

  ChannelTree other(f.data.path());
  other.BuildChannelTree(other.AccountsDir(), nullptr, false);
  ASSERT_NE(CreateMacroFolder(other, "Mid", "", {test::MacroStep("GetStart", "http://127.0.0.1:1/")}).path, "");
  const MadeMacroFolder made = CreateMacroFolder(other, "Mid", Cp("Спорт"), {test::MacroStep("SaveNews")});
  const std::string path = made.path;
  ASSERT_NE(path, "") << made.error;
  test::WriteFile(path + "a.html", "x");
  ASSERT_EQ(chmod((path + "a.html").c_str(), 0444), 0);  // unread
  MakeDirs(f.data / "Accounts/Empty");                    // no macro: no channel
  std::filesystem::remove_all(f.data / "Accounts/Zeta");
  std::filesystem::remove_all(f.data / "Accounts/Zulu");

  auto captions = [&] {
    std::vector<std::string> out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) out.push_back(tree->topLevelItem(i)->text(0).toStdString());
    return out;
  };
  NodePtr sport;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    sport = w->Tree().NodeByRelativePath("Mid/Спорт");
    return sport && tree->ShownText(sport) == QString::fromUtf8("Спорт (1)");
  }, 5000));
  EXPECT_EQ(tree->ShownText(ChannelTree::RootChannel(sport)), "Mid (1)");
  EXPECT_EQ(captions(), (std::vector<std::string>{"Mid", "Site", "Zeta"}));  // Zeta: still downloading
  EXPECT_FALSE(ticker.Contains(zuluNews)) << "a gone channel's news leave the ticker";
  EXPECT_EQ(tree->SelectedNode(), news);
  EXPECT_EQ(tree->ListedNode(), news);

  // Zeta moved from the second place to the third; its Stop still reaches its run.
  tree->SelectNode(zeta);
  tree->AccountsClick();
  w->Trigger("DownLoadStop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return run->ChannelNode() == nullptr; }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return captions().size() == 2; }, 5000));
  EXPECT_EQ(captions(), (std::vector<std::string>{"Mid", "Site"}));
  EXPECT_EQ(w->Tree().AbsoluteIndex(zeta), -1);
  ASSERT_NE(tree->SelectedNode(), nullptr);  // the listed channel went: the next selected one is listed
  EXPECT_EQ(tree->ListedNode(), tree->SelectedNode());
}

}  // namespace
}  // namespace skimlet
