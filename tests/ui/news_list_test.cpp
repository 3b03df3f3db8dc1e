// Reading in the main window: the news list, the viewer and its marks, the news actions and
// the search, driven as a user would on the offscreen platform.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include <QAction>
#include <QCheckBox>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

#include "library/ui/AccountsTree.h"
#include "library/ui/NewsActions.h"
#include "library/ui/NewsList.h"
#include "library/ui/NewsViewer.h"
#include "library/ui/SearchWindow.h"
#include "platform/Files.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/NewNewsUnit.h"
#include "shell/SettingsPage.h"
#include "store/History.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;

const QString kUnread = QStringLiteral("Статья не прочтена");

// Accounts/Site with the rubrics News and Other, news files written with chosen times.
struct Reading {
  TempDir data, config, xdgData;
  test::DialogsScope boxes;
  test::DesktopScope shell;
  test::ScriptedDialogs& d = boxes.dialogs;
  QStringList& opened = shell.desktop.calls;
  std::unique_ptr<TMainForm> w;

  Reading() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdgData.path()));
    MakeDirs(Dir("Site/Other"));
    MakeDirs(Dir("Site/News"));
  }
  std::string Dir(const std::string& rel) { return data / ("Accounts/" + rel + "/"); }
  // A news file with the header a run writes; `name` is UTF-8.
  std::string News(const std::string& folder, const std::string& fileName, long seconds, bool unread,
                   const std::string& url = "", const std::string& body = "text") {
    std::string path = Dir(folder) + fileName;
    test::WriteFile(path, "<!-- The file created from Skimlet. See x\r\nSkimletNAME:" + Cp(fileName) +
                              "\r\nSkimletURL:" + url + "\r\nSkimletNode:Site\r\n-->\r\n<html><body><p>" + Cp(body) +
                              "</p></body></html>");
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    if (unread) SetFileReadOnly(path, true);
    return path;
  }
  void Open() {
    w = std::make_unique<TMainForm>(data.path());
    auto* start = w->findChild<QTimer*>("StartTimer");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !start->isActive(); }, 5000));
  }
  NodePtr Node(const char* caption) {
    for (const NodePtr& n : w->Tree().InTreeOrder())
      if (w->Tree().Caption(n) == Cp(caption)) return n;
    return nullptr;
  }
  NewsList* List() { return w->ListNews(); }
  NewsListModel* Model() { return List()->Model(); }
  NewsActions* Actions() { return w->News(); }
  // Selects a folder as a click on it does, and waits for its list.
  void Show(const char* caption) {
    w->Accounts()->SelectNode(Node(caption));
    w->Accounts()->AccountsClick();
    std::string folder = w->Tree().FolderPath(Node(caption));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !List()->Filling() && Model()->Folder() == folder; }, 5000));
  }
  QStringList Names() {
    QStringList out;
    for (int r = 0; r < Model()->rowCount(); ++r) out << Model()->index(r, kColumnName).data().toString();
    return out;
  }
  QString Cell(int row, int column) { return Model()->index(row, column).data().toString(); }
  int Row(const char* name) { return Model()->FindName(Cp(name)); }
  // Selects these news at once, as one change of the selection.
  void Select(std::initializer_list<const char*> names) {
    QItemSelection selection;
    for (const char* name : names) selection.select(Model()->index(Row(name), 0), Model()->index(Row(name), 3));
    List()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  void SetTimeout(int seconds) { w->Settings()->findChild<QSpinBox*>("TimeoutMarkNotRead")->setValue(seconds); }
  QString Label(const char* name) { return w->Viewer()->LabelText(name); }
  QAction* A(const char* name) { return w->Action(name); }
  // A press in a column of a row, as the mouse gives it.
  void Press(int row, int column) {
    QRect cell = List()->visualRect(Model()->index(row, column));
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, cell.center());
  }
};

QStringList ActionNames(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions)
    out << (a->isSeparator() ? "-" : a->menu() ? "[" + a->menu()->objectName() + "]" : a->objectName());
  return out;
}

TEST(NewsListFill, NewestFirstWithMarksAndTheFolderBold) {
  Reading r;
  r.News("Site/News", "old.html", 100, /*unread=*/true);
  r.News("Site/News", "star.htm", 300, false);
  r.News("Site/News", "Новость.html", 200, false);
  r.News("Site/News", "odd.htmlx", 50, false);
  r.News("Site/Other", "other.html", 10, false);
  r.Open();
  r.Show("News");
  EXPECT_EQ(r.Names(), QStringList({"star", QString::fromUtf8("Новость"), "old", "odd.htmlx"}));
  EXPECT_EQ(r.Cell(2, kColumnRead), kUnread);
  EXPECT_EQ(r.Cell(0, kColumnRead), "");
  EXPECT_EQ(r.Cell(0, kColumnFavourite), "OK");
  EXPECT_EQ(r.Cell(1, kColumnFavourite), "");
  EXPECT_FALSE(r.Cell(0, kColumnDate).isEmpty());
  EXPECT_EQ(r.List()->NewsFilePath(3), "");  // odd.htmlx: no news behind it
  EXPECT_EQ(r.List()->NewsFilePath(1), r.Dir("Site/News") + "Новость.html");
  EXPECT_EQ(r.w->statusBar()->currentMessage(), QStringLiteral("Найдено файлов:4"));
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("News")));
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("Site")));
  // Headers and widths.
  EXPECT_EQ(r.Model()->headerData(kColumnName, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("Название (имя файла)"));
  EXPECT_EQ(r.Model()->headerData(kColumnDate, Qt::Horizontal, Qt::DisplayRole).toString(),
            QStringLiteral("Дата и время"));
  EXPECT_EQ(r.List()->columnWidth(kColumnRead), 30);
  EXPECT_EQ(r.List()->columnWidth(kColumnDate), 130);

  r.Show("Other");
  EXPECT_EQ(r.Names(), QStringList({"other"}));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("Other")));
}

TEST(NewsListFill, AnotherFolderAskedForSupersedesALongFill) {
  Reading r;
  for (int i = 0; i < 1500; ++i) r.News("Site/News", "n" + std::to_string(i) + ".html", 1000 + i, false);
  r.News("Site/Other", "only.html", 10, false);
  r.Open();
  r.w->Accounts()->SelectNode(r.Node("News"));
  r.w->Accounts()->AccountsClick();
  r.Show("Other");  // before the first folder's rows came
  QTest::qWait(200);
  EXPECT_EQ(r.Names(), QStringList({"only"}));
  r.Show("News");
  EXPECT_EQ(r.Model()->rowCount(), 1500);
  EXPECT_EQ(r.Cell(0, kColumnName), "n1499");
}

TEST(NewsListFill, ARunsNewsComeInAtTheTopOrMakeTheirFolderBold) {
  test::HttpTestServer site;
  site.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<body><a href=\"n/0.html\">0</a> <a href=\"n/1.html\">1</a> <a href=\"n/2.html\">2</a>",
                    "text/html");
  });
  site.Get(R"(/n/(\d)\.html)", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content("<title>Story " + std::string(req.matches[1]) + "</title><p>a story long enough to keep</p>",
                    "text/html");
  });
  site.Start();
  Reading r;
  ASSERT_TRUE(test::WriteMacro(r.Dir("Site"), {test::MacroStep("GetStart", site.url("/index.html"), "<body", "-999")}));
  ASSERT_TRUE(test::WriteMacro(r.Dir("Site/News"),
                               {test::MacroStep("FindUrlNews", "n/*.html", "-1"), test::MacroStep("EditUrlNews"),
                                test::MacroStep("GetNews", "story", "", "", "0"),
                                test::MacroStep("FindNameNews", "<title>", "</title>"), test::MacroStep("SaveNews"),
                                test::MacroStep("GotoMacro", "0")}));
  r.Open();
  auto run = [&] {
    r.w->Trigger("Download");
    ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->RunOfSlot(0)->ChannelNode() == nullptr; }, 10000));
  };
  // The channel's own folder is listed; the run saves into its rubric.
  r.Show("Site");
  run();
  EXPECT_EQ(r.Model()->rowCount(), 0);
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("News")));

  // With the rubric listed, the news come in at the top as they are saved.
  r.Show("News");
  ASSERT_EQ(r.Model()->rowCount(), 3);
  r.w->Settings()->findChild<QCheckBox*>("NotCheckHistory")->setChecked(true);
  QSignalSpy inserted(r.Model(), &QAbstractItemModel::rowsInserted);
  run();
  // Inserted in place, not filled again: by the run's hand-over or the folder watch, whichever comes first.
  EXPECT_GE(inserted.size(), 1);
  ASSERT_EQ(r.Model()->rowCount(), 6);
  EXPECT_EQ(r.Cell(0, kColumnName), "Story 2 (1)");
  EXPECT_EQ(r.Cell(2, kColumnName), "Story 0 (1)");
  EXPECT_EQ(r.Cell(0, kColumnRead), kUnread);
  EXPECT_TRUE(r.List()->SelectedRows().empty());  // a save selects nothing
}

// Another process saves, re-marks and removes news while the window is open.
TEST(NewsLive, TheListTheCountsAndTheShownNewsFollowTheDisk) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 300, false, "http://site/a.html", "first");
  r.News("Site/News", "b.html", 200, true);
  r.News("Site/Other", "o.html", 100, true);
  r.Open();
  AccountsTree* tree = r.w->Accounts();
  auto shown = [&](const char* node) { return tree->ShownText(r.Node(node)); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown("Site") == "Site (2)"; }, 5000));
  EXPECT_EQ(shown("News"), "News (1)");
  EXPECT_EQ(shown("Other"), "Other (1)");
  r.Show("News");
  r.SetTimeout(0);
  r.List()->SelectRow(r.Row("a"));
  ASSERT_EQ(r.Actions()->ShownNewsPath(), a);

  // A news saved elsewhere comes in at its place by time; the selection stays on a.
  r.News("Site/News", "c.html", 400, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Row("c") == 0; }, 3000));
  EXPECT_EQ(r.Names(), QStringList({"c", "a", "b"}));
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{1});
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown("News") == "News (2)" && shown("Site") == "Site (3)"; }, 3000));

  // The shown news saved again, unread: the page and panel come again and the countdown marks it read.
  r.News("Site/News", "a.html", 500, true, "http://site/a2.html", "second");
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Label("LabelURL") == "http://site/a2.html"; }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !IsFileReadOnly(a); }, 3000));
  EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("a")});

  // Marked read and removed elsewhere: the marks, counts and rows follow; F5 keeps the selection.
  SetFileReadOnly(r.Dir("Site/News") + "c.html", false);
  std::remove((r.Dir("Site/News") + "b.html").c_str());
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Names() == QStringList({"c", "a"}); }, 3000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return shown("News") == "News"; }, 3000));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));
  EXPECT_EQ(shown("Site"), "Site (1)");
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("Site")));
  r.A("UpdaleListNews")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !r.List()->Refreshing(); }, 3000));
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("a")});
  EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
}

TEST(NewsViewer, ShowsTheNewsAndTheTimerMarksItRead) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 300, true, "http://site/a.html");
  std::string b = r.News("Site/News", "b.html", 200, true);
  std::string c = r.News("Site/News", "c.html", 100, true);
  r.Open();
  r.Show("News");
  r.SetTimeout(0);  // 100 ms
  r.List()->SelectRow(r.Row("a"));
  EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
  EXPECT_TRUE(r.Actions()->NewsJustShown());
  EXPECT_EQ(r.w->findChild<QTabWidget*>("PageDown")->currentWidget()->objectName(), "TabView");
  EXPECT_EQ(r.Label("LabelName"), "a.html");
  EXPECT_EQ(r.Label("LabelURL"), "http://site/a.html");
  EXPECT_EQ(r.Label("LabelTo"), QString::fromStdString(r.Dir("Site/News")));
  EXPECT_EQ(r.Label("LabelAttCount"), "0");
  EXPECT_TRUE(r.A("MarkAsNotRead")->isChecked());
  EXPECT_TRUE(r.A("DeleteNews")->isEnabled());
  auto* timer = r.w->findChild<QTimer*>("TimerNewOff");
  EXPECT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 100);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !IsFileReadOnly(a); }, 2000));
  EXPECT_EQ(r.Cell(r.Row("a"), kColumnRead), "");
  EXPECT_FALSE(timer->isActive());
  QUrl page = QUrl::fromLocalFile(QString::fromStdString(a));
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.w->Viewer()->View()->url() == page; }, 5000));

  // Moving on before the countdown ends leaves a news unread.
  r.SetTimeout(1000);
  r.List()->SelectRow(r.Row("b"));
  EXPECT_EQ(timer->interval(), 1000100);
  EXPECT_TRUE(timer->isActive());
  r.List()->SelectRow(r.Row("a"));  // a read news: no countdown
  EXPECT_FALSE(timer->isActive());
  EXPECT_EQ(r.Cell(r.Row("b"), kColumnRead), kUnread);

  // Two selected: the page keeps the last single news, and the timer marks only that one.
  r.SetTimeout(0);
  r.List()->SelectRow(r.Row("b"));
  r.Select({"b", "c"});
  EXPECT_EQ(r.Actions()->ShownNewsPath(), b);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !IsFileReadOnly(b); }, 2000));
  QTest::qWait(150);
  EXPECT_TRUE(IsFileReadOnly(c));
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("News")));
  r.List()->SelectRow(r.Row("c"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !IsFileReadOnly(c); }, 2000));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));
}

TEST(NewsMarks, IconColumnsToggleOnlyTheNewsOnDisplayAndTheActionsMarkEverySelected) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 200, false);
  std::string b = r.News("Site/News", "b.html", 100, false);
  r.Open();
  r.Show("News");
  r.w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(r.w.get()));
  r.Press(r.Row("a"), kColumnRead);  // brings a on display: toggles nothing
  EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
  EXPECT_FALSE(IsFileReadOnly(a));
  r.Press(r.Row("a"), kColumnRead);  // a press on the shown news toggles its mark
  EXPECT_TRUE(IsFileReadOnly(a));
  EXPECT_EQ(r.Cell(r.Row("a"), kColumnRead), kUnread);
  r.Press(r.Row("a"), kColumnFavourite);
  EXPECT_EQ(r.Actions()->ShownNewsPath(), r.Dir("Site/News") + "a.htm");
  EXPECT_TRUE(IsFileReadOnly(r.Dir("Site/News") + "a.htm"));  // still unread after the rename
  EXPECT_EQ(r.Cell(r.Row("a"), kColumnFavourite), "OK");
  r.Press(r.Row("b"), kColumnRead);  // another news: shown, not toggled
  EXPECT_FALSE(IsFileReadOnly(b));

  r.Select({"a", "b"});
  r.A("MarkAsNotRead")->setChecked(false);
  r.A("MarkAsNotRead")->trigger();  // checked now: both unread
  EXPECT_TRUE(IsFileReadOnly(b));
  EXPECT_EQ(r.Cell(r.Row("b"), kColumnRead), kUnread);
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("News")));
  r.A("MarkAsNotRead")->trigger();  // and read again
  EXPECT_FALSE(IsFileReadOnly(b) || IsFileReadOnly(r.Dir("Site/News") + "a.htm"));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));

  // A double click reads full screen only in the name column.
  QSignalSpy reader(r.Actions(), &NewsActions::readerWanted);
  auto doubleClick = [&](int column) {
    QTest::mouseDClick(r.List()->viewport(), Qt::LeftButton, {},
                       r.List()->visualRect(r.Model()->index(r.Row("b"), column)).center());
  };
  r.List()->SelectRow(r.Row("b"));
  doubleClick(kColumnDate);
  EXPECT_EQ(reader.size(), 0);
  doubleClick(kColumnName);
  ASSERT_EQ(reader.size(), 1);
  EXPECT_EQ(reader[0][0].toString(), QString::fromStdString(b));
  r.w->hide();
}

TEST(NewsMarks, WorkOnTheListedFolderWhileTheTreeSelectionMovesWithoutAClick) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 200, true);
  r.News("Site/Other", "o.html", 200, true);
  r.Open();
  r.Show("News");
  r.w->Accounts()->SelectNode(r.Node("Other"));  // a key moved the selection; no click yet
  ASSERT_EQ(r.Names(), QStringList({"a"}));
  r.List()->SelectRow(0);
  EXPECT_EQ(r.Label("LabelTo"), QString::fromStdString(r.Dir("Site/News")));
  r.A("MarkAsNotRead")->trigger();  // unchecked now: read
  EXPECT_FALSE(IsFileReadOnly(a));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));
  EXPECT_TRUE(r.w->Tree().IsBold(r.Node("Other")));
}

TEST(NewsMarks, AFavouriteRenameNeverReplacesAnotherNews) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 200, false, "", "mine");
  r.News("Site/News", "a.htm", 100, false, "", "theirs");
  r.Open();
  r.Show("News");
  int row = r.Model()->FindFileName("a.html");
  r.List()->SelectRow(row);
  ASSERT_EQ(r.Actions()->ShownNewsPath(), a);
  r.A("MarkAsFavorites")->trigger();
  ASSERT_EQ(r.d.messages.size(), 1);
  EXPECT_TRUE(r.d.messages[0].startsWith(QStringLiteral("Новость с таким именем уже есть в этой папке.")));
  EXPECT_FALSE(r.A("MarkAsFavorites")->isChecked());
  EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
  EXPECT_EQ(r.Model()->Entry(row).fileName, "a.html");
  EXPECT_NE(test::ReadFile(a).find("mine"), std::string::npos);
  EXPECT_NE(test::ReadFile(r.Dir("Site/News") + "a.htm").find("theirs"), std::string::npos);
}

TEST(NewsRename, TypedNamesRenameInPlaceAndRefusalsKeepTheBoxOpen) {
  Reading r;
  std::string a = r.News("Site/News", "a.htm", 200, true);
  r.News("Site/News", "b.html", 100, false);
  r.Open();
  r.Show("News");
  r.w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(r.w.get()));
  r.List()->SelectRow(r.Row("a"));
  QLineEdit* box = r.Actions()->RenameBox();
  EXPECT_EQ(box->objectName(), "EditRenameNews");
  r.A("RenameNews")->trigger();
  ASSERT_TRUE(box->isVisible());
  EXPECT_EQ(box->text(), "a");
  EXPECT_FALSE(IsFileReadOnly(a));  // the news was read at once

  // Esc renames nothing.
  QTest::keyClick(box, Qt::Key_Escape);
  EXPECT_FALSE(box->isVisible());
  EXPECT_TRUE(FileExists(a));

  // Refused: the box stays open with the text for a correction.
  r.A("RenameNews")->trigger();
  for (const char* bad : {"   ", "x/y", "b"}) {
    r.d.messages.clear();
    box->setText(QString::fromUtf8(bad));
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_EQ(r.d.messages.size(), 1) << bad;
    EXPECT_TRUE(r.d.messages[0].startsWith(QStringLiteral("Недопустимое имя файла\r"))) << bad;
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(FileExists(a));
    EXPECT_EQ(r.Actions()->ShownNewsPath(), a);
  }
  EXPECT_TRUE(r.d.messages[0].endsWith(QStringLiteral("Новость с таким именем уже есть в этой папке.")));
  EXPECT_EQ(r.Names(), QStringList({"a", "b"}));

  box->setText(QStringLiteral("Новое имя"));
  QTest::keyClick(box, Qt::Key_Return);
  std::string renamed = r.Dir("Site/News") + "Новое имя.htm";  // a favourite stays one
  EXPECT_FALSE(box->isVisible());
  EXPECT_TRUE(FileExists(renamed));
  EXPECT_EQ(r.Names(), QStringList({QStringLiteral("Новое имя"), "b"}));
  EXPECT_EQ(r.Actions()->ShownNewsPath(), renamed);
  EXPECT_EQ(r.Label("LabelTo"), QString::fromStdString(r.Dir("Site/News")));

  // Clicking elsewhere commits what was typed.
  r.w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(r.w.get()));
  r.List()->SelectRow(r.Row("b"));
  r.A("RenameNews")->trigger();
  box->setText("c");
  r.List()->setFocus();
  EXPECT_FALSE(box->isVisible());
  EXPECT_TRUE(FileExists(r.Dir("Site/News") + "c.html"));
  r.w->hide();
}

TEST(NewsDelete, GoesIntoTheTrashAfterOurQuestion) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 300, true);
  std::string b = r.News("Site/News", "b.html", 200, false);
  std::string c = r.News("Site/News", "c.html", 100, false);
  r.Open();
  r.Show("News");
  r.List()->SelectRow(r.Row("a"));
  r.Select({"a", "b"});
  r.d.answers = {false};
  r.A("DeleteNews")->trigger();
  ASSERT_EQ(r.d.questions.size(), 1);
  EXPECT_TRUE(r.d.questions[0].endsWith(QStringLiteral("Будет удалено новостей: 2 шт.")));
  EXPECT_EQ(r.Names(), QStringList({"a", "b", "c"}));
  EXPECT_TRUE(FileExists(a));

  // a's own picture goes along; one c lists too stays.
  MakeDirs(r.Dir("Site/News") + "Attachment");
  for (const char* p : {"111111111111111.jpg", "222222222222222.jpg"}) test::WriteFile(r.Dir("Site/News") + "Attachment/" + p, "img");
  auto block = [](const char* local) {
    return std::string("<!-- SkimletAttLocal:") + local + " SkimletAttURL:http://x/" + local + " -->\r\n";
  };
  const std::string head = "<!-- The file created from Skimlet.\r\nSkimletNAME:n\r\n-->\r\n", end = "<!-- Skimlet DataEnd -->\r\n<p>t</p>";
  SetFileReadOnly(a, false);
  test::WriteFile(a, head + block("111111111111111.jpg") + block("222222222222222.jpg") + end);
  SetFileReadOnly(a, true);
  test::WriteFile(c, head + block("222222222222222.jpg") + end);
  r.A("DeleteNews")->trigger();  // Yes
  EXPECT_TRUE(FileExists(r.xdgData / "Trash/files/111111111111111.jpg"));
  EXPECT_TRUE(FileExists(r.Dir("Site/News") + "Attachment/222222222222222.jpg"));
  EXPECT_EQ(r.Names(), QStringList({"c"}));
  EXPECT_TRUE(FileExists(r.xdgData / "Trash/files/a.html"));
  EXPECT_TRUE(FileExists(r.xdgData / "Trash/files/b.html"));
  EXPECT_FALSE(FileExists(a) || FileExists(b));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));  // the unread one went
  // Reading goes on with the news that took their place.
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(r.Actions()->ShownNewsPath(), c);
  r.A("DeleteNews")->trigger();
  EXPECT_TRUE(r.Names().isEmpty());
  EXPECT_EQ(r.Actions()->ShownNewsPath(), "");
  EXPECT_FALSE(r.A("DeleteNews")->isEnabled());
}

TEST(NewsKeys, NextUnreadGoesThroughTheFolderThenTheChannelsNextFoldersAndHomeEndMove) {
  Reading r;
  MakeDirs(r.Dir("Site/Other/Deep"));
  MakeDirs(r.Dir("Else"));
  r.News("Site/News", "n1.html", 400, false);
  r.News("Site/News", "n2.html", 300, true);
  r.News("Site/News", "n3.html", 200, false);
  r.News("Site/News", "n4.html", 100, true);
  r.News("Site/Other", "o1.html", 100, false);
  r.News("Else", "e1.html", 100, true);  // another channel: never reached
  r.Open();
  r.Show("News");
  r.SetTimeout(1000);
  r.List()->setFocus();
  QTest::keyClick(r.List(), Qt::Key_End);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{3});
  QTest::keyClick(r.List(), Qt::Key_Home);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{0});
  // A short page is at its end at once: Space reads on.
  QWebEngineView* view = r.w->Viewer()->View();
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->url().toLocalFile().endsWith("n1.html") && view->focusProxy(); }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->Viewer()->AtEnd(); }, 5000));
  QTest::keyClick(r.List(), Qt::Key_Space);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("n2")});
  // Inside the page, Ctrl+Shift+F and F3 find in it; the window's F3 (search) stays out.
  QSignalSpy searchAll(r.A("FindNewsAll"), &QAction::triggered);
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->url().toLocalFile().endsWith("n2.html"); }, 5000));
  QTest::keyClick(view->focusProxy(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(r.w->Viewer()->FindBox()->isVisibleTo(r.w.get()));
  QTest::keyClick(view->focusProxy(), Qt::Key_F3);
  EXPECT_EQ(searchAll.size(), 0);
  r.List()->SelectRow(0);
  QTest::keyClick(r.List(), Qt::Key_N);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("n2")});
  QTest::keyClick(r.List(), Qt::Key_N);
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("n4")});
  // The folder has no other unread news: the channel's next folder that has one.
  r.News("Site/Other", "o2.html", 200, true);
  SetFileReadOnly(r.Dir("Site/News") + "n2.html", false);
  SetFileReadOnly(r.Dir("Site/News") + "n4.html", false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Cell(r.Row("n4"), kColumnRead).isEmpty(); }, 3000));
  QTest::keyClick(r.List(), Qt::Key_N);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Model()->Folder() == r.Dir("Site/Other") && !r.List()->Filling(); }, 3000));
  EXPECT_EQ(r.w->Accounts()->SelectedNode(), r.Node("Other"));
  EXPECT_EQ(r.Actions()->ShownNewsPath(), r.Dir("Site/Other") + "o2.html");
  // Nothing further in the channel: the list stays.
  SetFileReadOnly(r.Dir("Site/Other") + "o2.html", false);
  r.A("NextUnreadNews")->trigger();
  EXPECT_EQ(r.w->Accounts()->SelectedNode(), r.Node("Other"));
  EXPECT_EQ(r.w->statusBar()->currentMessage(), QStringLiteral("Непрочитанных новостей в канале больше нет"));
}

TEST(NewsKeys, NewsKeysActOnlyAtTheListOrThePageAndTheLastNewsShownComesBack) {
  Reading r;
  r.News("Site/News", "a.html", 300, false);
  std::string b = r.News("Site/News", "b.html", 200, false);
  r.Open();
  r.Show("News");
  r.w->show();
  r.w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(r.w.get()));
  r.List()->SelectRow(r.Row("b"));
  QSignalSpy favourite(r.A("MarkAsFavorites"), &QAction::triggered);
  QSignalSpy refresh(r.A("UpdaleListNews"), &QAction::triggered);
  auto* spin = r.w->Settings()->findChild<QSpinBox*>("TimeoutMarkNotRead");
  r.w->findChild<QTabWidget*>("PageDown")->setCurrentIndex(3);
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_F, Qt::ControlModifier);
  QTest::keyClick(spin, Qt::Key_F5);  // the window's own keys work anywhere
  EXPECT_EQ(favourite.size(), 0);
  EXPECT_EQ(refresh.size(), 1);
  r.List()->setFocus();
  QTest::keyClick(r.List(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(favourite.size(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Actions()->ShownNewsPath() == b.substr(0, b.size() - 1); }, 3000));
  r.w->close();

  r.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Actions()->ShownNewsPath() == b.substr(0, b.size() - 1); }, 5000));
  EXPECT_EQ(r.w->Accounts()->SelectedNode(), r.Node("News"));
}

TEST(NewsSort, HeaderClicksSortThenReverseThenGoBackAndTheSettingsKeepIt) {
  Reading r;
  r.News("Site/News", "b.html", 300, false);
  r.News("Site/News", "a.htm", 200, true);
  r.News("Site/News", "c.html", 100, true);
  r.Open();
  r.Show("News");
  r.List()->SelectRow(r.Row("a"));
  QHeaderView* header = r.List()->horizontalHeader();
  auto click = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, 5));
  };
  const QStringList described{"b", "a", "c"};
  EXPECT_EQ(r.Names(), described);
  const struct {
    int column;
    QStringList names;
  } clicks[] = {{kColumnName, {"a", "b", "c"}}, {kColumnName, {"c", "b", "a"}}, {kColumnName, described},
                {kColumnDate, {"b", "a", "c"}}, {kColumnDate, {"c", "a", "b"}},  {kColumnDate, described},
                {kColumnFavourite, {"a", "b", "c"}}, {kColumnRead, {"a", "c", "b"}}};
  for (const auto& c : clicks) {
    click(c.column);
    EXPECT_EQ(r.Names(), c.names) << c.column;
    EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("a")});  // the selection follows its news
  }
  // Only unread: the read one goes from view; a news saved meanwhile takes its place by the sort.
  r.A("UnreadOnly")->setChecked(true);
  EXPECT_TRUE(r.List()->isRowHidden(r.Row("b")));
  EXPECT_FALSE(r.List()->isRowHidden(r.Row("c")));
  r.News("Site/News", "d.html", 400, true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Names() == QStringList({"d", "a", "c", "b"}); }, 3000));
  EXPECT_TRUE(r.List()->isRowHidden(r.Row("b")));
  header->resizeSection(kColumnDate, 171);
  r.w->close();

  r.Open();
  r.Show("News");
  EXPECT_EQ(r.Names(), QStringList({"d", "a", "c", "b"}));
  EXPECT_TRUE(r.A("UnreadOnly")->isChecked());
  EXPECT_TRUE(r.List()->isRowHidden(r.Row("b")));
  EXPECT_EQ(r.List()->columnWidth(kColumnDate), 171);
}

TEST(NewsBulkMarks, AFolderAndAChannelMarkedReadInOnePass) {
  Reading r;
  for (int i = 0; i < 30; ++i) r.News("Site/News", "n" + std::to_string(i) + ".html", 100 + i, true);
  r.News("Site/Other", "o.html", 100, true);
  r.News("Site", "s.html", 100, true);
  r.Open();
  r.Show("News");
  r.List()->SelectRow(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->Accounts()->ShownText(r.Node("Site")) == "Site (32)"; }, 5000));
  r.A("MarkFolderRead")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Cell(29, kColumnRead).isEmpty() && r.Cell(0, kColumnRead).isEmpty(); }, 3000));
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(r.Model()->rowCount(), 30);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->Accounts()->ShownText(r.Node("Site")) == "Site (2)"; }, 3000));
  EXPECT_EQ(r.w->Accounts()->ShownText(r.Node("News")), "News");
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("News")));
  EXPECT_TRUE(IsFileReadOnly(r.Dir("Site/Other") + "o.html"));
  r.A("MarkChannelRead")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->Accounts()->ShownText(r.Node("Site")) == "Site"; }, 3000));
  EXPECT_FALSE(IsFileReadOnly(r.Dir("Site/Other") + "o.html"));
  EXPECT_FALSE(r.w->Tree().IsBold(r.Node("Site")));
  // The ticker, and the tray with it, count what the tree counts.
  EXPECT_EQ(r.w->Companion()->Ticker()->Items().Count(), 0u);
}

TEST(NewsDelete, ARowWhoseFileAnotherProgramRemovedGoesAndNothingActsOnTheNewsBefore) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 300, false, "http://s/a.html");
  std::string b = r.News("Site/News", "b.html", 200, false, "http://s/b.html");
  r.Open();
  r.Show("News");
  r.List()->SelectRow(r.Row("a"));
  ASSERT_EQ(r.Actions()->ShownNewsPath(), a);
  std::remove(b.c_str());
  r.List()->SelectRow(r.Row("b"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return r.Names() == QStringList({"a"}); }, 1000));
  EXPECT_TRUE(r.w->statusBar()->currentMessage().contains("b")) << r.w->statusBar()->currentMessage().toStdString();
  EXPECT_EQ(r.Actions()->ShownNewsPath(), "");
  EXPECT_EQ(r.Label("LabelName"), "");
  EXPECT_FALSE(r.A("DeleteURLFromHistory")->isEnabled());
  r.opened.clear();
  for (const char* action : {"ViewMSIE", "ViewWWW", "DeleteURLFromHistory"}) r.A(action)->trigger();
  EXPECT_TRUE(r.opened.isEmpty());
  EXPECT_TRUE(r.d.questions.isEmpty());
}

TEST(NewsList, ANameWithATagIsShownAsWritten) {
  Reading r;
  r.News("Site/News", "<b>жирный.html", 300, false);
  r.Open();
  r.Show("News");
  QTextDocument shown;
  shown.setHtml(r.Model()->index(r.Row("<b>жирный"), kColumnName).data(Qt::ToolTipRole).toString());
  EXPECT_EQ(shown.toPlainText(), QStringLiteral("<b>жирный"));
}

TEST(NewsHistory, DeleteUrlFromHistoryRemovesExactlyThatAddress) {
  Reading r;
  r.News("Site/News", "a.html", 300, false, "http://s/a.html");
  r.News("Site/News", "nourl.html", 200, false);
  test::WriteFile(HistoryFilePath(r.data.path()),
                  "d  NewsURL=http://s/a.html  A\r\nd  NewsURL=http://s/a.html2  B\r\n"
                  "d  NewsURL=http://s/b.html  x http://s/a.html y\r\nd  NewsURL=http://s/a.html  A again\r\n");
  r.Open();
  r.Show("News");
  r.Select({"a", "nourl"});
  r.d.answers = {false};
  r.A("DeleteURLFromHistory")->trigger();
  ASSERT_EQ(r.d.questions.size(), 1);
  EXPECT_EQ(r.d.questions[0],
            QStringLiteral("Skimlet|При удалении URL из истории загрузок выделенные новости могут быть перезагружены.\r"
                           "Вы действительно хотите удалить из истории загрузок адрес(а)?\r\rБудет удалено URL: 2 шт."));
  EXPECT_EQ(r.w->History().Count(), 4u);
  r.A("DeleteURLFromHistory")->trigger();
  std::deque<std::string> left = r.w->History().Lines();
  EXPECT_EQ(left, (std::deque<std::string>{"d  NewsURL=http://s/a.html2  B", "d  NewsURL=http://s/b.html  x http://s/a.html y"}));
  // What the next run starts with.
  EXPECT_EQ(r.w->History().SnapshotText(),
            "d  NewsURL=http://s/a.html2  B\r\nd  NewsURL=http://s/b.html  x http://s/a.html y\r\n");
  // The file has it at once, and a run will save the address anew.
  EXPECT_EQ(test::ReadFile(HistoryFilePath(r.data.path())),
            "d  NewsURL=http://s/a.html2  B\r\nd  NewsURL=http://s/b.html  x http://s/a.html y\r\n");
  EXPECT_EQ(ReadRefetchAddresses(r.data.path()), (std::unordered_set<std::string>{"http://s/a.html"}));
}

TEST(NewsDesktop, BrowserWebAddressFileManagerAndTrash) {
  Reading r;
  std::string a = r.News("Site/News", "a.html", 300, false, "http://site/a.html");
  r.News("Site/News", "b.html", 200, false, "javascript:alert(1)");
  r.News("Site/News", "c.html", 100, false);
  r.Open();
  r.Show("News");
  r.A("ViewExplorer")->trigger();  // nothing selected: the folder
  r.List()->SelectRow(r.Row("a"));
  r.A("ViewMSIE")->trigger();
  r.A("ViewWWW")->trigger();
  r.A("ViewExplorer")->trigger();
  r.A("ViewRecycle")->trigger();
  r.List()->SelectRow(r.Row("b"));
  r.A("ViewWWW")->trigger();  // not a web address
  r.List()->SelectRow(r.Row("c"));
  r.A("ViewWWW")->trigger();  // no address at all
  QString folder = QUrl::fromLocalFile(QString::fromStdString(r.Dir("Site/News"))).toString();
  QString file = QUrl::fromLocalFile(QString::fromStdString(a)).toString();
  EXPECT_EQ(r.opened, QStringList({"open " + folder, "open " + file, "open http://site/a.html",
                                   "show " + QString::fromStdString(a), "trash"}));

  // The panel's link labels: a hint in the status bar as the mouse enters, the same hand-overs.
  r.opened.clear();
  r.List()->SelectRow(r.Row("a"));
  auto* url = r.w->Viewer()->findChild<QLabel*>("LabelURL");
  QEvent enter(QEvent::Enter);
  QApplication::sendEvent(url, &enter);
  EXPECT_EQ(url->toolTip(), QStringLiteral("Найти в Интернете"));
  EXPECT_EQ(r.w->statusBar()->currentMessage(),
            QStringLiteral("Открыть файл в Интернет по адресу http://site/a.html"));
  for (const char* label : {"LabelURL", "LabelName", "LabelTo"})
    QTest::mouseClick(r.w->Viewer()->findChild<QLabel*>(label), Qt::LeftButton);
  EXPECT_EQ(r.opened, QStringList({"open http://site/a.html", "open " + file, "show " + QString::fromStdString(a)}));
}

TEST(NewsSearch, FindsWordsAndOpensTheNewsFound) {
  Reading r;
  r.News("Site/News", "a.html", 300, false, "", "Новый мост через Волгу");
  std::string b = r.News("Site/Other", "Мост.html", 200, false, "", "other text");
  r.News("Site/Other", "c.html", 100, false, "", "nothing");
  r.Open();
  r.Show("News");
  r.A("FindNewsInFolder")->trigger();
  SearchWindow* search = r.Actions()->Search();
  EXPECT_TRUE(search->isVisible());
  EXPECT_EQ(search->Folder(), r.Dir("Site/News"));
  r.A("FindNewsAll")->trigger();
  EXPECT_EQ(search->Folder(), r.w->Tree().AccountsDir());
  search->Words()->setText(QStringLiteral("МОСТ"));
  QTest::keyClick(search->Words(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search->Searching() && search->HitCount() == 2; }, 5000));
  QTest::qWait(50);
  EXPECT_EQ(search->HitCount(), 2);
  int row = 1;  // newest first: a, then b
  EXPECT_EQ(search->HitPath(row), b);
  EXPECT_EQ(search->Results()->model()->index(row, 0).data().toString(), "Site/Other");
  EXPECT_FALSE(search->Results()->model()->index(row, 2).data().toString().isEmpty());
  // A window of its own: no owner keeps it above the list.
  EXPECT_EQ(search->parentWidget(), nullptr);
  EXPECT_FALSE(search->windowFlags() & Qt::WindowStaysOnTopHint);
  // Two words: both must be there.
  search->Words()->setText(QStringLiteral("мост волгу"));
  QTest::keyClick(search->Words(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search->Searching(); }, 5000));
  QTest::qWait(50);
  ASSERT_EQ(search->HitCount(), 1);
  // Opening a hit selects its folder and the news.
  search->Words()->setText(QStringLiteral("мост"));
  QTest::keyClick(search->Words(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !search->Searching() && search->HitCount() == 2; }, 5000));
  row = search->HitPath(0) == b ? 0 : 1;
  emit search->Results()->doubleClicked(search->Results()->model()->index(row, 1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Actions()->ShownNewsPath() == b; }, 5000));
  EXPECT_EQ(r.w->Accounts()->SelectedNode(), r.Node("Other"));
  EXPECT_EQ(r.Actions()->PendingNewsName(), Cp("Мост"));
  search->close();
}

TEST(NewsList, MenusAndToolbarInTheirOrder) {
  Reading r;
  r.Open();
  EXPECT_EQ(ActionNames(r.Actions()->ContextMenu()->actions()),
            QStringList({"MarkAsNotRead", "MarkAsFavorites", "RenameNews", "-", "[PopupConvert]", "[PopupFind]", "-", "ViewMSIE",
                         "ViewExplorer", "ViewWWW", "-", "DownloadPictures", "-", "UpdaleListNews", "NextUnreadNews", "MarkFolderRead", "MarkChannelRead", "UnreadOnly", "-", "DeleteNews",
                         "DeleteURLFromHistory"}));
  EXPECT_EQ(ActionNames(r.w->findChild<QToolBar*>("ToolBarNews")->actions()),
            QStringList({"-", "MarkAsNotRead", "MarkAsFavorites", "-", "DowlnloadAbortAll", "DownLoadStop",
                         "DownloadPause", "DownloadOneStep", "Download", "-", "FlagDownloadPictures",
                         "DownloadPictures", "-", "FindNewsAll", "ViewExplorer", "ViewRecycle", "-", "ViewMSIE",
                         "ReadFullScreen", "ViewWWW", "-", "DeleteNews", "DeleteURLFromHistory", "Help"}));
  EXPECT_EQ(ActionNames(r.w->findChild<QMenu*>("PopupFind")->actions()),
            QStringList({"FindNewsAll", "FindNewsChannel", "FindNewsInFolder"}));
  EXPECT_EQ(r.A("ReadFullScreen")->text(), QStringLiteral("Читать "));
  EXPECT_EQ(r.A("DeleteNews")->statusTip(), QStringLiteral("Удаление выделенных новостей в корзину Windows"));
  EXPECT_FALSE(r.A("MarkAsNotRead")->isEnabled());
}

TEST(NewsList, OpenNewsByPathSelectsItsFolderAndTheNewsOnEveryFill) {
  Reading r;
  r.News("Site/News", "a.html", 300, false);
  std::string b = r.News("Site/Other", "b.htm", 200, false);
  r.News("Site/Other", "c.html", 300, false);
  r.Open();
  r.Show("News");
  QSignalSpy reader(r.Actions(), &NewsActions::readerWanted);
  r.Actions()->OpenNewsByPath(b);
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Actions()->ShownNewsPath() == b; }, 5000));
  EXPECT_EQ(r.List()->SelectedRows(), std::vector<int>{r.Row("b")});
  // Enter reads it full screen: the reader gets the path and the caption.
  QTest::keyClick(r.List(), Qt::Key_Return);
  ASSERT_EQ(reader.size(), 1);
  EXPECT_EQ(reader[0][0].toString(), QString::fromStdString(b));
  EXPECT_EQ(reader[0][1].toString(), "Site>>Other>>b");
  // The pending name holds: the next fill of that folder selects it again.
  r.List()->SelectRow(r.Row("c"));
  r.Show("News");
  r.Show("Other");
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.Actions()->ShownNewsPath() == b; }, 5000));
  r.Actions()->OpenNewsByPath(r.data / "elsewhere/x.html");  // no folder of the tree: nothing
  EXPECT_EQ(r.Actions()->ShownNewsPath(), b);
}

TEST(NewsPictures, DownloadPicturesQueuesTheMissingOnesAndThePanelFollowsArrivals) {
  Reading r;
  std::string path = r.Dir("Site/News") + "p.html";
  test::WriteFile(path,
                  "<!-- The file created from Skimlet. See x\r\nSkimletNAME:p\r\nSkimletURL:http://s/p\r\n-->\r\n"
                  "<!-- SkimletAttLocal:111111111111111.png SkimletAttURL:http://127.0.0.1:1/one.png -->\r\n"
                  "<!-- SkimletAttLocal:222222222222222.png SkimletAttURL:http://127.0.0.1:1/two.png -->\r\n"
                  "<!-- Skimlet DataEnd -->\r\n<p>x</p>");
  test::WriteFile(r.Dir("Site/News") + "Attachment/111111111111111.png", "png");
  r.Open();
  r.Show("News");
  r.List()->SelectRow(0);
  EXPECT_EQ(r.Label("LabelAttCount"), "2");
  EXPECT_EQ(r.Label("LabelAttOffline"), "1");
  EXPECT_EQ(r.Label("LabelAttOnline"), "1");
  r.A("DownloadPictures")->trigger();
  // Only the missing picture is fetched (and fails: nothing listens there).
  ASSERT_TRUE(QTest::qWaitFor([&] { return r.w->Queue().Lamp(0).hint.find("two.png") != std::string::npos; }, 5000));
  EXPECT_EQ(r.w->Queue().Lamp(1).hint, "");
  test::WriteFile(r.Dir("Site/News") + "Attachment/222222222222222.png", "png");
  r.Actions()->AttachmentsArrived();
  EXPECT_EQ(r.Label("LabelAttOffline"), "2");
  EXPECT_EQ(r.Label("LabelAttOnline"), "0");
}

}  // namespace
}  // namespace skimlet
