// The main window's companions as a user meets them: the ticker, the tray, the reader, the
// encoding actions, help, tips and about.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineView>
#include <functional>

#include "library/ui/AccountsTree.h"
#include "library/ui/NewsActions.h"
#include "library/ui/NewsList.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "qt/QtText.h"
#include "qt/SettingsStore.h"
#include "shell/About.h"
#include "shell/Companions.h"
#include "shell/EncodingActions.h"
#include "shell/MainUnit.h"
#include "shell/NewNewsUnit.h"
#include "shell/ReaderCode.h"
#include "shell/Tips.h"
#include "shell/TrayIcon.h"
#include "shell/ZastavkaUnit.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;

struct Store {
  TempDir config;
  SettingsStore store;
  Store() { QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path())); }
  void Set(const char* key, const char* value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
    s.setValue(key, value);
  }
};

// A data directory with unread news in Site/News, a ticker over it.
struct TickerFixture : Store {
  TempDir data;
  ChannelTree tree{data.path()};
  std::vector<std::string> opened;
  std::unique_ptr<TNewNewsForm> ticker;
  explicit TickerFixture(int unread = 3) {
    for (int i = 0; i < unread; ++i) {
      std::string path = data / ("Accounts/Site/News/n" + std::to_string(i) + ".html");
      test::WriteFile(path, "x");
      SetFileReadOnly(path, true);
    }
    MakeDirs(data / "Accounts/Site/News");
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    tree.ScanAllFoldersUnread();
    ticker = std::make_unique<TNewNewsForm>(tree, store, [this](const std::string& p) { opened.push_back(p); });
  }
  NodePtr News() { return tree.NodeAt(1); }
};

void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QMouseEvent e(type, at, w->mapToGlobal(at), button, held, mods);
  QApplication::sendEvent(w, &e);
}

TEST(Ticker, ListRulesOnTheWindowThread) {
  TickerFixture f(0);
  TNewNewsForm& t = *f.ticker;
  NodePtr node = f.News();
  t.TickerAdd(node, "a", "/n/a.html");
  t.TickerAdd(node, "a", "/n/a.html");
  t.TickerAdd(node, "b", "/n/b.html");
  EXPECT_EQ(t.Items().Count(), 2u);
  for (int i = 0; i < 10000; ++i) t.TickerAdd(node, "n", "/many/" + std::to_string(i));
  EXPECT_EQ(t.Items().Count(), 10000u);
  EXPECT_EQ(t.Items().At(9999).path, "/many/9997");

  // Removing the last listed news hides the ticker at once.
  t.TickerRebuild();  // Site/News holds nothing unread: the list empties
  t.TickerAdd(node, "only", "/n/only.html");
  t.show();
  ASSERT_TRUE(t.isVisible());
  t.TickerRemove("/n/other.html");
  EXPECT_TRUE(t.isVisible());
  t.TickerRemove("/n/only.html");
  EXPECT_FALSE(t.isVisible());
}

TEST(Ticker, ShowingRebuildsFromTheDiskAndTheRuleHidesIt) {
  TickerFixture f(3);
  TNewNewsForm& t = *f.ticker;
  t.TickerAdd(f.News(), "stale", "/gone.html");  // a news deleted since stays until the next showing
  t.Follow(true, true);
  ASSERT_TRUE(t.isVisible());
  ASSERT_EQ(t.Items().Count(), 3u);
  EXPECT_EQ(t.Items().At(0).name, "n0");
  t.Follow(true, false);  // "Лента новых статей" unchecked
  EXPECT_FALSE(t.isVisible());
  t.Follow(true, true);
  t.Follow(false, true);  // nothing unread any more
  EXPECT_FALSE(t.isVisible());
}

// The ticker stays on top of other programs, never of this one's other windows: it goes the
// moment one shows (before it is on the screen), stays away while one is open and comes back
// with the first tick after.
TEST(Ticker, MakesWayForTheProgramsOtherWindows) {
  TickerFixture f(3);
  TNewNewsForm& t = *f.ticker;
  const struct {
    const char* what;
    std::function<QWidget*()> make;
    bool makesWay;
  } cases[] = {
      {"a dialog (the assistant)", [] { return new QDialog; }, true},
      {"a message box", [] { return new QMessageBox(QMessageBox::Question, "Skimlet", "?"); }, true},
      {"a window of its own (the reader, the search)", [] { return new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint); }, true},
      {"the splash", [] { return new QWidget(nullptr, Qt::SplashScreen); }, true},
      {"the main window", [] { return new QMainWindow; }, false},
      {"a menu", [] { return new QMenu; }, false},
      {"a tool tip", [] { return new QWidget(nullptr, Qt::ToolTip); }, false},
      {"the tray's icon in a panel",
       [] { return new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    t.Follow(true, true);
    ASSERT_TRUE(t.isVisible());
    std::unique_ptr<QWidget> other(c.make());
    other->resize(200, 100);
    other->show();
    EXPECT_EQ(t.isVisible(), !c.makesWay) << "at once";
    t.Follow(true, true);
    EXPECT_EQ(t.isVisible(), !c.makesWay) << "while it is open";
    other->showMinimized();
    t.Follow(true, true);
    EXPECT_TRUE(t.isVisible()) << "minimised, it is covered by nothing";
    other->showNormal();
    EXPECT_EQ(t.isVisible(), !c.makesWay);
    other->close();
    t.Follow(true, true);
    EXPECT_TRUE(t.isVisible()) << "back once it is closed";
  }
}

TEST(Ticker, SpeedsStoredValueAndNoTimerWhenIdle) {
  TickerFixture f(2);
  f.Set("View/NewnewsForm.Speed.Value", "0");
  TNewNewsForm& t = *f.ticker;
  EXPECT_FALSE(t.Ticking());  // hidden: no wake-ups
  t.ShowTicker();
  EXPECT_EQ(t.Speed()->value(), 0);
  EXPECT_TRUE(t.Ticking());
  int before = t.Offset();
  for (int i = 0; i < 20; ++i) t.Tick();  // one second
  EXPECT_EQ(t.Offset() - before, 60);
  t.Speed()->setValue(1);
  EXPECT_EQ(f.store.Read("View/NewnewsForm.Speed.Value").value_or(""), "1");
  before = t.Offset();
  t.Tick();
  EXPECT_EQ(t.Offset() - before, 1);
  t.Speed()->setValue(2);  // stands still, and costs nothing
  EXPECT_FALSE(t.Ticking());
  before = t.Offset();
  t.Tick();
  EXPECT_EQ(t.Offset(), before);
  t.Speed()->setValue(1);
  EXPECT_TRUE(t.Ticking());
  t.HideTicker();
  EXPECT_FALSE(t.Ticking());
}

TEST(Ticker, DoubleClickOpensTheNewsUnderThePointerAndDraggingScrolls) {
  TickerFixture f(3);
  TNewNewsForm& t = *f.ticker;
  t.ShowTicker();
  t.Speed()->setValue(2);
  t.resize(600, kTickerHeight);
  t.SetOffset(700);  // entry 0 spans -100..120, entry 1 120..340
  Mouse(&t, QEvent::MouseButtonDblClick, QPoint(200, 10), Qt::LeftButton, Qt::LeftButton);
  ASSERT_EQ(f.opened.size(), 1u);
  EXPECT_EQ(f.opened[0], t.Items().At(1).path);
  Mouse(&t, QEvent::MouseButtonDblClick, QPoint(590, 10), Qt::LeftButton, Qt::LeftButton);  // past the end
  EXPECT_EQ(f.opened.size(), 1u);

  // Dragging the ribbon right past its start makes it jump to its end.
  t.SetOffset(50);
  Mouse(&t, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton);
  Mouse(&t, QEvent::MouseMove, QPoint(102, 10), Qt::NoButton, Qt::LeftButton);  // a jitter: ignored
  EXPECT_EQ(t.Offset(), 50);
  Mouse(&t, QEvent::MouseMove, QPoint(80, 10), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(t.Offset(), 70);
  Mouse(&t, QEvent::MouseMove, QPoint(200, 10), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(t.Offset(), 3 * 220 + 600 - 3);
  Mouse(&t, QEvent::MouseButtonRelease, QPoint(200, 10), Qt::LeftButton, Qt::NoButton);

  // Shift+drag moves the window instead.
  const QPoint where = t.pos();
  Mouse(&t, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  Mouse(&t, QEvent::MouseMove, QPoint(140, 15), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(t.pos(), where + QPoint(40, 5));
}

TEST(Ticker, AFramePaintsTheVisibleEntriesAndTheCount) {
  TickerFixture f(1);
  TNewNewsForm& t = *f.ticker;
  t.TickerRebuild();
  t.resize(600, kTickerHeight);
  QImage frame(600, kTickerHeight, QImage::Format_RGB32);
  auto yellowIn = [&](int from, int to) {
    for (int x = from; x < to; ++x)
      for (int y = 12; y < kTickerHeight; ++y) {
        QColor c = frame.pixelColor(x, y);
        if (c.red() > 120 && c.green() > 120 && c.blue() < 60) return true;
      }
    return false;
  };
  t.SetOffset(300);  // the entry's cell starts at 300
  {
    QPainter p(&frame);
    t.PaintRibbon(p);
  }
  EXPECT_TRUE(yellowIn(300, 520));
  EXPECT_FALSE(yellowIn(0, 300));
  EXPECT_EQ(frame.pixelColor(300, 5), QColor(192, 192, 192));  // the cell's silver edge
  EXPECT_EQ(frame.pixelColor(520, 5), QColor(192, 192, 192));
}

TEST(Ticker, AWindowStoredOffTheScreenComesBackWhenShownAndThePlacementIsKept) {
  TickerFixture f(1);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  f.Set("NewNewsForm/.Left", "-50");
  f.Set("NewNewsForm/.Top", std::to_string(screen.bottom() + 100).c_str());
  f.Set("NewNewsForm/.Right", "250");
  f.ticker = std::make_unique<TNewNewsForm>(f.tree, f.store, nullptr);
  EXPECT_EQ(f.ticker->height(), kTickerHeight);
  f.ticker->ShowTicker();
  EXPECT_EQ(f.ticker->x(), 0);
  EXPECT_EQ(f.ticker->geometry().bottom(), screen.bottom());
  EXPECT_EQ(f.ticker->width(), 300);
  f.ticker.reset();  // the placement is stored when the ticker goes
  EXPECT_EQ(f.store.Read("NewNewsForm/.Right").value_or(""), "300");
}

// The main window with its companions; what it hands the desktop is recorded.
struct WindowFixture : test::WindowFixture {
  test::DesktopScope desktop;
  std::unique_ptr<TMainForm> w;
  void Set(const char* key, const char* value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet");
    s.setValue(key, value);
  }
  void Open() { w = test::WindowFixture::Open(); }
  Companions& C() { return *w->Companion(); }
  // The addresses handed to the desktop.
  std::vector<QUrl> Urls() const {
    std::vector<QUrl> out;
    for (const QString& call : desktop.desktop.calls)
      if (call.startsWith("open ")) out.emplace_back(call.mid(5));
    return out;
  }
};

TEST(Tray, DrawnFramesTurnWhileDownloadingAndRestToTheFirst) {
  QMenu menu;
  TrayIcon tray(&menu);
  ASSERT_GE(tray.TrayImages().size(), 4);
  EXPECT_NE(tray.TrayImages()[0].pixmap(32).toImage(), tray.TrayImages()[1].pixmap(32).toImage());
  tray.SetAnimated(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return tray.Frame() >= 2; }, 1000));
  tray.SetAnimated(false);
  EXPECT_EQ(tray.Frame(), 0);
  EXPECT_FALSE(tray.Animated());  // idle: no timer
  tray.SetUnreadCount(7);
  EXPECT_TRUE(tray.Icon()->toolTip().endsWith(": 7"));
}

TEST(Tray, ItsMenuOffersTheDownloadActionsAndTheExit) {
  WindowFixture f;
  f.Open();
  QStringList names;
  for (QAction* a : f.C().PopupMenuTray()->actions()) names << (a->isSeparator() ? "-" : a->objectName());
  EXPECT_EQ(names.join(","), "Download,DownloadOneStep,DownloadPause,DownLoadStop,DowlnloadAbortAll,-,"
                             "FlagDownloadPictures,-,MyExit");
}

TEST(Tray, MinimisingWithoutATrayKeepsTheWindowOrdinary) {
  WindowFixture f;
  f.Open();
  f.C().SetTrayAvailable([] { return false; });
  f.w->showMinimized();
  QTest::qWait(50);
  EXPECT_FALSE(f.C().HiddenInTray());
  EXPECT_TRUE(f.w->isVisible());
}

TEST(Tray, HiddenInTheTrayOneNoticePerRunAndItsClickOpensTheFirstNews) {
  WindowFixture f;
  MakeDirs(f.data / "Accounts/Site/News");
  f.Open();
  f.C().SetTrayAvailable([] { return true; });
  QStringList notices;
  f.C().SetNotifier([&](const QString& title, const QString& text) { notices << title + "|" + text; });
  f.w->showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.C().HiddenInTray(); }, 1000));
  EXPECT_FALSE(f.w->isVisible());

  NodePtr channel = f.w->Tree().NodeAt(0), news = f.w->Tree().NodeAt(1);
  std::string first = f.data / "Accounts/Site/News/a.html";
  test::WriteFile(first, "x");
  for (const char* name : {"a", "b"})
    f.C().NewsSaved({channel, news, name, f.data / (std::string("Accounts/Site/News/") + name + ".html"), ""});
  f.C().Tick(false);  // the run of Site is over
  f.C().Tick(false);
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0], QString::fromUtf8("Skimlet: новые статьи|Site: новых статей — 2"));
  emit f.C().Tray()->messageClicked();
  ASSERT_EQ(f.Urls().size(), 1u);  // hidden in the tray: the news opens in the browser too
  EXPECT_EQ(f.Urls()[0], QUrl::fromLocalFile(QString::fromStdString(first)));
  EXPECT_EQ(f.w->Accounts()->SelectedNode(), news);

  // Switched off on the settings page: no notice.
  f.w->findChild<QCheckBox*>("NotifyNewNews")->setChecked(false);
  f.C().NewsSaved({channel, news, "c", f.data / "Accounts/Site/News/c.html", ""});
  f.C().Tick(false);
  EXPECT_EQ(notices.size(), 1);

  f.C().RestoreFromTray();
  EXPECT_FALSE(f.C().HiddenInTray());
  EXPECT_TRUE(f.w->isVisible());
  EXPECT_FALSE(f.w->isMinimized());
}

TEST(Reader, CaptionFileAndTheCloseButtonsDragRule) {
  TempDir dir;
  std::string news = dir / "a.html";
  test::WriteFile(news, "<html><body>" + std::string(2000, 'x') + "</body></html>");
  TReader reader;
  reader.ReadNews(QString::fromStdString(news), QString::fromUtf8("Site>>News>>a"));
  ASSERT_TRUE(reader.isVisible());
  EXPECT_EQ(reader.windowTitle(), QString::fromUtf8("Site>>News>>a"));
  EXPECT_EQ(reader.ReaderFile(), QString::fromStdString(news));
  EXPECT_TRUE(reader.CloseArmed());
  QPushButton* close = reader.CloseButton();
  EXPECT_EQ(close->text(), QString::fromUtf8("Закрыть"));
  EXPECT_EQ(close->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(close->geometry().right(), reader.width() - 5);  // top right corner

  // Dragged by 20 pixels and released over the button: the window stays.
  const QPoint centre = close->rect().center(), start = close->pos();
  Mouse(close, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
  Mouse(close, QEvent::MouseMove, centre + QPoint(-20, 0), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(close->pos(), start + QPoint(-20, -1));  // its centre on the pointer
  EXPECT_FALSE(reader.CloseArmed());
  Mouse(close, QEvent::MouseButtonRelease, close->rect().center(), Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(reader.isVisible());

  // A drag of less than 15 pixels neither moves it nor keeps the click from closing.
  const QPoint dropped = close->pos();
  Mouse(close, QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton);
  Mouse(close, QEvent::MouseMove, centre + QPoint(10, 0), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(close->pos(), dropped);
  Mouse(close, QEvent::MouseButtonRelease, centre + QPoint(10, 0), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(reader.isVisible());
  // The button stays where it was dropped; a new showing arms it again.
  reader.ReadNews(QString::fromStdString(news), "again");
  EXPECT_EQ(close->pos(), dropped);
  EXPECT_TRUE(reader.CloseArmed());
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_FALSE(reader.isVisible());
}

TEST(Reader, ThePageHoldsTheKeyboardAfterEachLoadAndEscapeCloses) {
  TempDir dir;
  std::string a = dir / "a.html", b = dir / "b.html";
  test::WriteFile(a, "<html><body><p>a</p></body></html>");
  test::WriteFile(b, "<html><body><p>b</p></body></html>");
  TReader reader;
  QSignalSpy loaded(reader.View(), &QWebEngineView::loadFinished);
  reader.ReadNews(QString::fromStdString(a), "a");
  ASSERT_TRUE(loaded.count() > 0 || loaded.wait(10000));
  QApplication::setActiveWindow(&reader);
  QWidget* page = reader.View()->focusProxy();
  ASSERT_NE(page, nullptr);
  page->clearFocus();
  ASSERT_FALSE(page->hasFocus());
  // The reader on screen loads the next news in place, and the page takes the keyboard again.
  loaded.clear();
  reader.ReadNews(QString::fromStdString(b), "b");
  EXPECT_EQ(reader.windowTitle(), "b");
  ASSERT_TRUE(loaded.wait(10000));
  EXPECT_TRUE(page->hasFocus());
  QTest::keyClick(page, Qt::Key_Escape);
  EXPECT_FALSE(reader.isVisible());
}

// The encoding actions over one selected news, with the news list's parts stood in for.
struct EncodingFixture {
  TempDir dir;
  QWidget window;
  std::vector<std::string> selected;
  QLineEdit editor{&window};
  int marked = 0, confirmed = 0, hidden = 0;
  std::vector<std::string> converted;
  bool renameOpen = true;
  test::DialogsScope dialogs;
  std::unique_ptr<EncodingActions> actions;
  EncodingFixture() {
    EncodingHooks h;
    h.newAction = [this](const char* name, const QString& caption, const QString&, const QString&) {
      auto* a = new QAction(caption, &window);
      a->setObjectName(name);
      return a;
    };
    h.selectedNews = [this] { return selected; };
    h.markSelectedRead = [this] {
      ++marked;
      for (const std::string& p : selected) SetFileReadOnly(p, false);
    };
    h.converted = [this](const std::string& p) { converted.push_back(p); };
    h.startRename = [this]() -> QLineEdit* {
      if (!renameOpen) return nullptr;
      editor.setText(QString::fromStdString(selected.empty() ? "" : selected.front().substr(dir.path().size())));
      editor.setText(editor.text().left(editor.text().indexOf(".htm")));
      return &editor;
    };
    h.confirmRename = [this] { ++confirmed; };
    h.hideReader = [this] { ++hidden; };
    actions = std::make_unique<EncodingActions>(&window, std::move(h));
  }
  std::string News(const std::string& utf8Name, const std::string& bytes) {
    std::string path = dir / (utf8Name + ".html");
    test::WriteFile(path, bytes);
    SetFileReadOnly(path, true);  // unread
    return path;
  }
  QAction* Action(const char* name) { return window.findChild<QAction*>(name); }
};

TEST(EncodingActions, HtmlConversionOfOneUnreadNewsMarksItReadAndReloads) {
  EncodingFixture f;
  std::string koi = f.News("a", "<p>" + ConvertWinToKoi(Cp("Привет, «мир»")) + "</p>");
  f.selected = {koi};
  f.Action("HTMLKOItoWIN")->trigger();
  EXPECT_EQ(f.marked, 1);
  EXPECT_EQ(test::ReadFile(koi), "<p>" + Cp("Привет, <мир>") + "</p>");
  EXPECT_EQ(f.converted, std::vector<std::string>{koi});
  f.Action("HTMLWintoKOI")->trigger();
  EXPECT_EQ(test::ReadFile(koi), "<p>" + ConvertWinToKoi(Cp("Привет, <мир>")) + "</p>");
  // With two news selected the file conversions do nothing.
  std::string other = f.News("b", ConvertWinToKoi(Cp("Ъ")));
  f.selected = {koi, other};
  f.Action("HTMLKOItoWIN")->trigger();
  EXPECT_EQ(test::ReadFile(other), ConvertWinToKoi(Cp("Ъ")));
  EXPECT_EQ(f.marked, 2);
}

TEST(EncodingActions, NamesGoThroughTheRenameEditorAndTheFullConversionConfirmsIt) {
  EncodingFixture f;
  // A KOI8-R title taken as Windows-1251 gave this name on disk.
  const std::string garbled = Win1251ToUtf8(ConvertWinToKoi(Cp("Новость")));
  std::string path = f.News(garbled, ConvertWinToKoi(Cp("Текст")));
  f.selected = {path};
  f.Action("NameKOItoWIN")->trigger();
  EXPECT_EQ(f.editor.text(), QString::fromUtf8("Новость"));
  EXPECT_EQ(f.confirmed, 0);  // the user confirms or abandons it
  f.Action("NameWINtoKOI")->trigger();  // a new rename starts from the name on disk
  EXPECT_EQ(f.editor.text(), Q(ConvertWinToKoi(ConvertWinToKoi(Cp("Новость")))));

  f.Action("KOItoWIN")->trigger();
  EXPECT_EQ(f.hidden, 1);
  EXPECT_EQ(test::ReadFile(path), Cp("Текст"));
  EXPECT_EQ(f.editor.text(), QString::fromUtf8("Новость"));
  EXPECT_EQ(f.confirmed, 1);
  EXPECT_EQ(f.Action("KOItoWIN")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F12));
}

TEST(EncodingActions, AFileThatCannotBeReadIsReportedAndNothingElseHappens) {
  EncodingFixture f;
  f.selected = {f.dir / "vanished.html"};
  f.Action("KOItoWIN")->trigger();
  ASSERT_EQ(f.dialogs.dialogs.messages.size(), 1);
  EXPECT_TRUE(f.dialogs.dialogs.messages[0].startsWith(QString::fromUtf8("Новость не преобразована")));
  EXPECT_TRUE(f.converted.empty());
  EXPECT_EQ(f.confirmed, 0);
  EXPECT_FALSE(FileExists(f.dir / "vanished.html"));
}

TEST(EncodingActions, MenusInTheirOrder) {
  EncodingFixture f;
  QMenu edit;
  f.actions->AddToEditMenu(&edit);
  auto names = [](QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions()) out << (a->isSeparator() ? "-" : a->menu() ? a->text() : a->objectName());
    return out.join(",");
  };
  EXPECT_EQ(names(&edit), QString::fromUtf8("KOItoWIN,Преобразование"));
  EXPECT_EQ(names(edit.findChild<QMenu*>("MenuConvert")), "NameKOItoWIN,HTMLKOItoWIN,-,NameWINtoKOI,HTMLWintoKOI");
  EXPECT_EQ(names(f.actions->ContextSubMenu()), "KOItoWIN,-,NameKOItoWIN,HTMLKOItoWIN,-,NameWINtoKOI,HTMLWintoKOI");
}

TEST(Tips, EighteenTipsNextWrapsAndTheStartUpChoiceIsKept) {
  Store s;
  QStringList tips = TTipsForm::Tips();
  ASSERT_EQ(tips.size(), 18);
  EXPECT_EQ(tips[13], QString::fromUtf8("Вы можете выделить все новости текущей рубрики нажав Ctrl+A"));
  EXPECT_TRUE(tips[15].contains(kMakerSite));
  EXPECT_TRUE(tips[17].endsWith(QString::fromUtf8("Пусть о нем узнают все пользователи Skimlet.")));
  TTipsForm form(s.store);
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Главное меню --> Помощь --> FAQ"));
  EXPECT_TRUE(form.ShowAtStart());
  form.ShowTips(16);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.isModal());
  EXPECT_TRUE(form.CheckBox()->isChecked());
  form.findChild<QPushButton*>("ButtonNext")->click();
  EXPECT_EQ(form.Index(), 17);
  form.findChild<QPushButton*>("ButtonNext")->click();
  EXPECT_EQ(form.Index(), 0);  // after the last, the first
  EXPECT_EQ(form.findChild<QLabel*>("LabelTip")->text(), tips[0]);
  form.CheckBox()->setChecked(false);
  form.findChild<QPushButton*>("ButtonClose")->click();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(form.ShowAtStart());

  // The next start keeps them away; FAQ still shows them.
  TZastavka splash(s.store);
  splash.GreetOnce();
  EXPECT_FALSE(splash.Tips()->isVisible());
  form.ShowAtRandom();
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.CheckBox()->isChecked());
  form.close();
}

TEST(Tips, TheSplashGreetsOnceWhenTheTipsAreWanted) {
  Store s;
  TZastavka splash(s.store);
  splash.ShowNow();
  EXPECT_EQ(splash.size(), QSize(350, 150));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 3000));  // one second later
  EXPECT_TRUE(splash.Tips()->isVisible());
  splash.Tips()->close();
  splash.GreetOnce();
  EXPECT_FALSE(splash.Tips()->isVisible());
}

TEST(HelpAndLinks, F1ShowsTheInterfacePageWhenItIsThere) {
  WindowFixture f;
  f.Open();
  auto* pages = f.w->findChild<QTabWidget*>("PageDown");
  pages->setCurrentIndex(3);
  f.w->Action("Help")->trigger();
  EXPECT_EQ(pages->currentWidget()->objectName(), "TabView");
  auto* view = f.w->findChild<QWebEngineView*>("View");
  EXPECT_TRUE(QTest::qWaitFor([&] { return view->url().toString().endsWith("Help/02Interface.htm"); }, 5000))
      << view->url().toString().toStdString();
  EXPECT_EQ(f.w->Action("Help")->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST(HelpAndLinks, AMissingInterfacePageMakesF1DoNothing) {
  WindowFixture f;
  // The data directory's own resources, without the help pages.
  const std::string installed = ResourceDir(f.xdgData.path());
  test::WriteFile(f.data / "Actions/ActionsList.txt", test::ReadFile(installed + "Actions/ActionsList.txt"));
  f.Open();
  auto* pages = f.w->findChild<QTabWidget*>("PageDown");
  pages->setCurrentIndex(3);
  f.w->Action("Help")->trigger();
  EXPECT_EQ(pages->currentIndex(), 3);
}

TEST(HelpAndLinks, NewVersionShowsOnlyForANewerBuild) {
  {
    WindowFixture f;
    f.Set("Update/BuildInSite", "103");
    f.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.w->Action("NewVersion")->isVisible(); }, 5000));
    EXPECT_EQ(f.w->Action("NewVersion")->text(), QString::fromUtf8("Получить новую версию"));
    f.w->Action("NewVersion")->trigger();
    ASSERT_EQ(f.Urls().size(), 1u);
    EXPECT_EQ(f.Urls()[0], QUrl(kMakerSite));
  }
  WindowFixture f;
  f.Set("Update/BuildInSite", "102");
  f.Open();
  QTest::qWait(300);
  EXPECT_FALSE(f.w->Action("NewVersion")->isVisible());
}

TEST(HelpAndLinks, MailToTheMakerWithSubjectAndBody) {
  WindowFixture f;
  f.Open();
  f.w->Action("SendMailBugs")->trigger();
  f.w->Action("SendMailSupport")->trigger();
  f.w->Action("GotoOrvane")->trigger();
  ASSERT_EQ(f.Urls().size(), 3u);
  EXPECT_EQ(f.Urls()[0].scheme(), "mailto");
  EXPECT_EQ(f.Urls()[0].path(), kBugsMail);
  QUrlQuery bugs(f.Urls()[0]);
  EXPECT_EQ(bugs.queryItemValue("subject", QUrl::FullyDecoded), QString::fromUtf8("Skimlet Сообщение об ошибке"));
  EXPECT_TRUE(bugs.queryItemValue("body", QUrl::FullyDecoded)
                  .startsWith(QString::fromUtf8("Здравствуйте, разработчики программы Skimlet\r\nОбнаружена")));
  EXPECT_EQ(f.Urls()[1].path(), kSupportMail);
  EXPECT_EQ(QUrlQuery(f.Urls()[1]).queryItemValue("subject", QUrl::FullyDecoded),
            QString::fromUtf8("Skimlet В службу поддержки"));
  EXPECT_EQ(f.Urls()[2], QUrl(kMakerSite));
  EXPECT_EQ(f.w->Action("GotoOrvane")->text(), QString::fromUtf8("Вэб-сайт ") + kMakerSiteName);
  QStringList help;
  for (QAction* a : f.w->menuBar()->findChild<QMenu*>("MenuHelp")->actions())
    help << (a->isSeparator() ? "-" : a->objectName());
  EXPECT_EQ(help.join(","), "Help,FAQ,-,GotoOrvane,-,SendMailSupport,SendMailBugs,-,SeeAbout");
}

TEST(HelpAndLinks, AboutShowsTheVersionAndTheSiteLink) {
  WindowFixture f;
  f.Open();
  TAboutForm* about = f.C().About();
  EXPECT_EQ(about->windowTitle(), QString::fromUtf8("О программе"));
  EXPECT_TRUE(about->findChild<QLabel*>("LabelAbout")->text().endsWith(
      QString::fromUtf8("Вы используете версию 1.1 (build 102).")));
  QTimer::singleShot(0, [&] {
    EXPECT_TRUE(about->isVisible());
    EXPECT_TRUE(about->isModal());
    auto* site = about->findChild<QLabel*>("LabelSite");
    EXPECT_EQ(site->text(), QString::fromUtf8("Сайт: ") + kMakerSite);
    QTest::mouseClick(site, Qt::LeftButton);
    about->accept();
  });
  f.w->Action("SeeAbout")->trigger();  // modal: returns once closed
  ASSERT_EQ(f.Urls().size(), 1u);
  EXPECT_EQ(f.Urls()[0], QUrl(kMakerSite));
}

// The companions wired to the news list: news in Site/News, the folder listed.
struct Listed : WindowFixture {
  std::string Dir() { return data / "Accounts/Site/News/"; }
  std::string News(const std::string& utf8Name, const std::string& bytes, bool unread) {
    std::string path = Dir() + utf8Name + ".html";
    test::WriteFile(path, bytes);
    if (unread) SetFileReadOnly(path, true);
    return path;
  }
  NodePtr Folder() { return w->Tree().NodeAt(1); }
  void ShowFolder() {
    MakeDirs(Dir());
    w->Accounts()->SelectNode(Folder());
    w->Accounts()->AccountsClick();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !w->ListNews()->Filling() && w->ListNews()->Model()->Folder() == Dir(); }, 5000));
  }
  int Row(const std::string& utf8Name) { return w->ListNews()->Model()->FindName(Cp(utf8Name)); }
  bool Selected(const std::string& utf8Name) {
    std::vector<int> rows = w->ListNews()->SelectedRows();
    return rows.size() == 1 && rows.front() == Row(utf8Name);
  }
};

TEST(Wired, F11ShowsTheSelectedNewsInTheReaderUnderItsCaption) {
  Listed f;
  f.News("a", "<p>a</p>", false);
  std::string b = f.News("b", "<p>b</p>", false);
  f.Open();
  f.ShowFolder();
  f.w->ListNews()->SelectRow(f.Row("b"));
  f.w->Action("ReadFullScreen")->trigger();
  TReader* reader = f.C().Reader();
  ASSERT_TRUE(reader->isVisible());
  EXPECT_EQ(reader->windowTitle(), QString::fromUtf8("Site>>News>>b"));
  EXPECT_EQ(reader->ReaderFile(), QString::fromStdString(b));
  f.w->Action("ReadFullScreen")->trigger();  // again: the same caption
  EXPECT_EQ(reader->windowTitle(), QString::fromUtf8("Site>>News>>b"));
  QTest::mouseClick(reader->CloseButton(), Qt::LeftButton);
  EXPECT_FALSE(reader->isVisible());
}

TEST(Wired, ATickerDoubleClickSelectsTheNewsAndFromTheTrayOpensItToo) {
  Listed f;
  MakeDirs(f.Dir());
  f.News("a", "<p>a</p>", true);
  std::string b = f.News("b", "<p>b</p>", true);
  ::utimensat(AT_FDCWD, b.c_str(), std::array<timespec, 2>{timespec{time(nullptr) + 10, 0}, timespec{time(nullptr) + 10, 0}}.data(), 0);
  f.Open();
  TNewNewsForm* ticker = f.C().Ticker();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticker->isVisible(); }, 5000));
  ASSERT_EQ(ticker->Items().Count(), 2u);
  ASSERT_EQ(ticker->Items().At(1).path, b);
  f.C().SetTrayAvailable([] { return true; });
  f.w->showMinimized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.C().HiddenInTray(); }, 1000));
  ticker->Speed()->setValue(2);
  ticker->SetOffset(ticker->width() + kTickerCellWidth - 50);  // entry 1 starts at x 50
  Mouse(ticker, QEvent::MouseButtonDblClick, QPoint(100, 10), Qt::LeftButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.Selected("b"); }, 5000));
  EXPECT_EQ(f.w->Accounts()->SelectedNode(), f.Folder());
  ASSERT_EQ(f.Urls().size(), 1u);
  EXPECT_EQ(f.Urls()[0], QUrl::fromLocalFile(QString::fromStdString(b)));
}

TEST(Wired, AKoiNewsIsRepairedFromTheListAndLeavesTheTicker) {
  Listed f;
  const std::string garbled = Win1251ToUtf8(ConvertWinToKoi(Cp("Новость")));
  std::string path = f.News(garbled, ConvertWinToKoi(Cp("<p>Текст «новости»</p>")), true);
  f.Open();
  TNewNewsForm* ticker = f.C().Ticker();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticker->Items().Contains(path); }, 5000));
  f.ShowFolder();
  f.w->ListNews()->SelectRow(f.Row(garbled));
  f.w->Action("KOItoWIN")->trigger();
  const std::string repaired = f.Dir() + "Новость.html";
  ASSERT_TRUE(FileExists(repaired));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(test::ReadFile(repaired), Cp("<p>Текст <новости></p>"));
  EXPECT_FALSE(IsFileReadOnly(repaired));  // read now
  EXPECT_FALSE(ticker->Items().Contains(path));
  EXPECT_GE(f.Row("Новость"), 0);
}

TEST(Wired, TheTickerFollowsANewsMadeFavouriteAndDropsOneMarkedRead) {
  Listed f;
  std::string a = f.News("a", "<p>a</p>", true);
  f.Open();
  TNewNewsForm* ticker = f.C().Ticker();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ticker->Items().Contains(a); }, 5000));
  f.ShowFolder();
  f.w->ListNews()->SelectRow(f.Row("a"));
  f.w->Action("MarkAsFavorites")->trigger();
  const std::string favourite = f.Dir() + "a.htm";
  ASSERT_TRUE(FileExists(favourite));
  EXPECT_TRUE(ticker->Items().Contains(favourite));
  EXPECT_FALSE(ticker->Items().Contains(a));
  f.w->Action("MarkAsNotRead")->trigger();  // checked after the favourite's selection: now read
  EXPECT_FALSE(IsFileReadOnly(favourite));
  EXPECT_FALSE(ticker->Items().Contains(favourite));
  EXPECT_FALSE(ticker->isVisible());  // the last one gone
}

}  // namespace
}  // namespace skimlet
