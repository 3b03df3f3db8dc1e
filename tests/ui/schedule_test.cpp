// Automatic downloads: the schedule on a clock the test moves, the window's rounds, and a
// timer's skimlet-cli working beside the window on the same data directory.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QProcess>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <regex>
#include <set>

#include "authoring/ui/LogPage.h"
#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "shell/MainUnit.h"
#include "shell/Scheduler.h"
#include "store/History.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UiTestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;

class FakeClock : public ScheduleClock {
 public:
  TimePoint now{};
  std::optional<TimePoint> due;
  std::function<void()> fire;
  TimePoint Now() const override { return now; }
  void CallAt(TimePoint when, std::function<void()> f) override {
    due = when;
    fire = std::move(f);
  }
  void Cancel() override {
    due.reset();
    fire = nullptr;
  }
  bool Pending() const override { return due.has_value(); }
  // Moves time on, making every call that falls due on the way.
  void Advance(std::chrono::minutes by) {
    TimePoint end = now + by;
    while (due && *due <= end) {
      now = *due;
      due.reset();
      std::function<void()> f = std::move(fire);
      f();
    }
    now = end;
  }
  // A machine that slept through the due time: the call comes late, once.
  void WakeAfter(std::chrono::minutes slept) {
    now += slept;
    if (!due || *due > now) return;
    due.reset();
    std::function<void()> f = std::move(fire);
    f();
  }
};

TEST(Scheduler, RoundsKeepTheirCadenceAndWaitForTheLastOne) {
  auto owned = std::make_unique<FakeClock>();
  FakeClock& clock = *owned;
  int started = 0;
  bool running = false;
  AutoDownloadScheduler s(std::move(owned), [&] { return running; }, [&] { ++started; });
  EXPECT_FALSE(clock.Pending());  // off: nothing to wake for

  s.SetInterval(30);
  clock.Advance(29min);
  EXPECT_EQ(started, 0);
  s.SetInterval(30);  // the same value again (another setting changed) keeps the time
  clock.Advance(1min);
  EXPECT_EQ(started, 1);
  clock.Advance(60min);
  EXPECT_EQ(started, 3);

  running = true;  // the last round is still at work
  clock.Advance(30min);
  EXPECT_EQ(started, 3);
  EXPECT_EQ(s.Skipped(), 1);
  running = false;
  clock.Advance(30min);
  EXPECT_EQ(started, 4);

  s.SetInterval(10);  // a new interval counts from now
  clock.Advance(9min);
  EXPECT_EQ(started, 4);
  clock.Advance(1min);
  EXPECT_EQ(started, 5);

  clock.WakeAfter(300min);  // one round, then the cadence from there
  EXPECT_EQ(started, 6);
  EXPECT_EQ(s.NextRound(), clock.now + 10min);

  s.SetInterval(0);
  EXPECT_FALSE(clock.Pending());
  EXPECT_FALSE(s.NextRound().has_value());
  clock.Advance(1000min);
  EXPECT_EQ(started, 6);
}

// A site of news folders: /<name>/index.html lists `count` articles; the folders in `slow`
// never answer their index page.
struct Sites {
  test::HttpTestServer server;
  Sites(int count, std::set<std::string> slow, std::chrono::milliseconds articleDelay = 0ms) {
    server.Get(R"(/(\w+)/index.html)", [this, count, slow](const httplib::Request& req, httplib::Response& res) {
      std::string name = req.matches[1];
      if (slow.count(name)) server.WaitForStop(20s);
      std::string page = "<body>";
      for (int i = 0; i < count; ++i) page += "<a href=\"" + std::to_string(i) + ".html\">x</a>\n";
      res.set_content(page + "</body>", "text/html");
    });
    server.Get(R"(/(\w+)/(\d+)\.html)", [articleDelay](const httplib::Request& req, httplib::Response& res) {
      std::this_thread::sleep_for(articleDelay);
      res.set_content("<html><head><title>" + req.matches[1].str() + " " + req.matches[2].str() +
                          "</title></head><body><div class=\"article\">Long enough text of the article.</div></body></html>",
                      "text/html");
    });
    server.Start();
  }
};

struct Window {
  test::TempDir data, config, xdgData;
  test::DialogsScope dialogs;
  std::unique_ptr<TMainForm> w;
  FakeClock* clock = nullptr;
  Window() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdgData.path()));
  }
  // A channel whose own macro fetches its index page and saves every article on it.
  void Channel(const std::string& name, const std::string& index, bool checked = true) {
    ASSERT_TRUE(test::WriteMacro(data / ("Accounts/" + name + "/"),
                                 {test::MacroStep("GetStart", index, "<body", "-999"),
                                  test::MacroStep("FindUrlNews", "*.html", "-1"), test::MacroStep("EditUrlNews"),
                                  test::MacroStep("GetNews", "class=\"article\"", "", "", "1"),
                                  test::MacroStep("FindNameNews", "<title>", "</title>"), test::MacroStep("SaveNews"),
                                  test::MacroStep("GotoMacro", "1")},
                                 checked));
  }
  void Open() {
    w = std::make_unique<TMainForm>(data.path());
    w->show();
    QTest::qWait(400);  // StartTimer
    auto owned = std::make_unique<FakeClock>();
    clock = owned.get();
    w->Scheduler().SetClock(std::move(owned));
  }
  NodePtr Node(const char* caption) {
    for (const NodePtr& c : w->Tree().Channels())
      if (w->Tree().Caption(c) == caption) return c;
    return nullptr;
  }
  TDownload* RunOf(const char* caption) {
    auto channels = w->Tree().Channels();
    auto at = std::find(channels.begin(), channels.end(), Node(caption));
    return at == channels.end() ? nullptr : w->RunOfSlot(static_cast<int>(at - channels.begin()));
  }
  bool Ended(const char* caption) { return RunOf(caption) && !RunOf(caption)->ChannelNode(); }
  void Every(int minutes) { w->findChild<QSpinBox*>("AutoDownload")->setValue(minutes); }
  QString Log() { return w->Log()->LogTexts().join("\n"); }
};

TEST(ScheduleWindow, OffMeansNoTimerAtAll) {
  Window win;
  win.w = std::make_unique<TMainForm>(win.data.path());
  win.w->show();
  EXPECT_EQ(win.w->findChild<QTimer*>("TimerAutoDownload"), nullptr);
  win.Every(30);
  auto* timer = win.w->findChild<QTimer*>("TimerAutoDownload");
  ASSERT_NE(timer, nullptr);
  EXPECT_TRUE(timer->isActive() && timer->isSingleShot());
  EXPECT_NEAR(timer->remainingTime(), 30 * 60 * 1000, 1500);  // a coarse timer: a second either way
  win.Every(0);
  EXPECT_EQ(win.w->findChild<QTimer*>("TimerAutoDownload"), nullptr);

  // The interval is a setting: stored at shutdown, and the schedule runs from the start.
  win.Every(45);
  win.w->close();
  win.w.reset();
  EXPECT_EQ(QSettings(QSettings::IniFormat, QSettings::UserScope, "Orvane", "Skimlet")
                .value("Setting/AutoDownload.Value").toString(), "45");
  win.w = std::make_unique<TMainForm>(win.data.path());
  EXPECT_EQ(win.w->Scheduler().Interval(), 45);
  EXPECT_NE(win.w->findChild<QTimer*>("TimerAutoDownload"), nullptr);
}

TEST(ScheduleWindow, ARoundStartsEveryCheckedIdleChannelAsDownloadWould) {
  Sites site(2, {"busy", "stuck"});
  Window win;
  win.Channel("A", site.server.url("/a/index.html"));
  win.Channel("Busy", site.server.url("/busy/index.html"));
  win.Channel("Off", site.server.url("/off/index.html"), false);
  win.Channel("Stuck", site.server.url("/stuck/index.html"));
  win.Open();
  TMainForm& w = *win.w;
  w.Accounts()->SelectNode(win.Node("Busy"));
  w.Trigger("Download");  // started by hand, still waiting for its index page
  TDownload* busy = win.RunOf("Busy");
  ASSERT_NE(busy, nullptr);
  w.Accounts()->SelectNode(win.Node("A"));
  w.findChild<QCheckBox*>("WriteFeeds")->setChecked(true);

  win.Every(30);
  win.clock->Advance(29min);
  EXPECT_EQ(win.RunOf("A"), nullptr);
  win.clock->Advance(1min);
  ASSERT_NE(win.RunOf("A"), nullptr);
  ASSERT_NE(win.RunOf("Stuck"), nullptr);
  EXPECT_EQ(win.RunOf("Busy"), busy);  // already running: left alone
  EXPECT_EQ(win.RunOf("Off"), nullptr);  // no check mark
  EXPECT_TRUE(w.Action("Download")->isChecked());
  EXPECT_TRUE(w.statusBar()->currentMessage().contains(QString::fromUtf8("запущено каналов: 2")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return win.Ended("A"); }, 10000));
  EXPECT_TRUE(win.Log().contains(QString::fromUtf8("16711680 A> Загрузка запущена по расписанию (каждые 30 мин)")));
  EXPECT_EQ(w.History().Count(), 2u);
  EXPECT_TRUE(win.Log().contains(QString::fromUtf8("Записана Atom-лента канала: ")));
  EXPECT_EQ(test::FeedValues(test::ParseFeed(win.data / "feeds/A.atom"), "title"), (std::vector<std::string>{"a 1", "a 0"}));  // newest first

  // "Stuck" is still at work: the next round does not come.
  win.clock->Advance(30min);
  EXPECT_TRUE(win.Ended("A"));
  EXPECT_EQ(w.Scheduler().Skipped(), 1);

  w.Accounts()->SelectNode(win.Node("Stuck"));
  w.Trigger("DownLoadStop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return win.Ended("Stuck"); }, 5000));
  win.clock->Advance(30min);
  EXPECT_FALSE(win.Ended("Stuck"));  // a new round, stuck again
  ASSERT_TRUE(QTest::qWaitFor([&] { return win.Ended("A"); }, 10000));
  EXPECT_EQ(win.RunOf("A")->SavedCount(), 0);  // everything was loaded before
}

TEST(ScheduleWindow, TheSelectionModeRefusesARound) {
  Sites site(1, {});
  Window win;
  win.Channel("A", site.server.url("/a/index.html"));
  win.Open();
  win.w->Action("AccountsCheckBox")->trigger();
  win.Every(5);
  win.clock->Advance(5min);
  EXPECT_EQ(win.RunOf("A"), nullptr);
  QStringList log = win.w->Log()->LogTexts();
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[0].startsWith(QString::fromUtf8("255 ОШИБКА!!! Сначала нужно завершить выбор")));
  EXPECT_TRUE(win.w->Action("DownLoadStop")->isChecked());
}

TEST(ScheduleWindow, ATimersRunBesideTheWindowLosesNothing) {
  Sites site(3, {}, 60ms);
  Window win;
  win.Channel("A", site.server.url("/a/index.html"));
  win.Open();
  // A channel set up while the window is open: the timer's command line downloads it.
  win.Channel("B", site.server.url("/b/index.html"));
  QProcess timer;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(win.config.path()));
  timer.setProcessEnvironment(env);
  timer.start(SKIMLET_CLI, {"--home", QString::fromStdString(win.data.path()), "download", "B", "--log", "raw"});
  ASSERT_TRUE(timer.waitForStarted());
  win.Every(30);
  win.clock->Advance(30min);
  ASSERT_NE(win.RunOf("A"), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return win.Ended("A") && timer.state() == QProcess::NotRunning; }, 20000));
  EXPECT_EQ(timer.exitCode(), 0) << timer.readAllStandardError().toStdString();

  for (const char* folder : {"Accounts/A/", "Accounts/B/"}) {
    std::vector<std::string> names = ListNewsFiles(win.data / folder);
    std::sort(names.begin(), names.end());
    std::string c(1, folder[9] + ('a' - 'A'));
    EXPECT_EQ(names, (std::vector<std::string>{c + " 0.html", c + " 1.html", c + " 2.html"})) << folder;
  }
  // Both wrote the one history file: six whole lines, each news once.
  std::string history = test::ReadFile(HistoryFilePath(win.data.path()));
  std::regex line("[^\r\n]+  NewsURL=" + site.server.url("/") + "([ab]/[0-2])\\.html  [ab] [0-2]\r\n");
  std::set<std::string> urls;
  std::size_t whole = 0;
  for (auto it = std::sregex_iterator(history.begin(), history.end(), line); it != std::sregex_iterator(); ++it) {
    urls.insert((*it)[1]);
    whole += it->length();
  }
  EXPECT_EQ(urls, (std::set<std::string>{"a/0", "a/1", "a/2", "b/0", "b/1", "b/2"}));
  EXPECT_EQ(whole, history.size()) << history;
}

TEST(ScheduleWindow, OneChannelIsDownloadedByOneProcessAndTheWindowsCloseKeepsTheTimersLines) {
  Sites site(2, {"stuck"});
  Window win;
  win.Channel("Stuck", site.server.url("/stuck/index.html"));
  win.Open();
  win.Every(30);
  win.clock->Advance(30min);  // the window's round holds "Stuck", waiting for its index page
  ASSERT_NE(win.RunOf("Stuck"), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return win.RunOf("Stuck")->StepIndex() >= 1; }, 5000));  // at its GetStart
  ASSERT_FALSE(win.Ended("Stuck"));
  TDownload* stuck = win.RunOf("Stuck");  // "B" comes into the tree before it and shifts it

  // The timer's command line on the same channel is refused, and says why.
  win.Channel("B", site.server.url("/b/index.html"));
  QProcess timer;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", QString::fromStdString(win.config.path()));
  timer.setProcessEnvironment(env);
  timer.start(SKIMLET_CLI, {"--home", QString::fromStdString(win.data.path()), "download", "Stuck", "B", "--log", "raw"});
  ASSERT_TRUE(timer.waitForFinished(20000)) << timer.readAllStandardOutput().toStdString();
  const QString out = QString::fromUtf8(timer.readAllStandardOutput());
  EXPECT_TRUE(out.contains(QString::fromUtf8("Канал уже загружается другим процессом"))) << out.toStdString();
  EXPECT_EQ(ListNewsFiles(win.data / "Accounts/B/").size(), 2u);

  // The window closes: its history rewrite keeps what the timer saved meanwhile.
  win.w->Accounts()->SelectNode(win.Node("Stuck"));
  win.w->Trigger("DownLoadStop");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !stuck->ChannelNode(); }, 5000));
  ASSERT_TRUE(win.w->close());
  const std::string history = test::ReadFile(HistoryFilePath(win.data.path()));
  for (const char* news : {"/b/0.html", "/b/1.html"})
    EXPECT_NE(history.find("NewsURL=" + site.server.url(news) + "  "), std::string::npos) << history;
}

}  // namespace
}  // namespace skimlet
