// The window's responsiveness, offscreen:
//   (a) start-up to first display on 100 channels x 10 rubrics x 100 news files (half unread),
//       and the longest gap between ticks of a 5 ms timer meanwhile;
//   (b) the longest gap between ticks of a 5 ms timer while two channels download 100
//       articles each from a server on 127.0.0.1.
// Prints its figures; exits non-zero only when the set-up fails.
//
//   window_bench [--startup-runs N]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "qt/Dialogs.h"
#include "shell/MainUnit.h"
#include "store/MacroFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

constexpr int kChannels = 100;
constexpr int kRubrics = 10;
constexpr int kNewsPerRubric = 100;
constexpr int kArticles = 100;
constexpr int kTickMs = 5;

[[noreturn]] void SetupFailed(const std::string& what) {
  std::fprintf(stderr, "window_bench: %s\n", what.c_str());
  std::exit(2);
}

// Every question is answered Yes; nothing waits for a person.
class QuietDialogs : public Dialogs {
 public:
  bool Question(QWidget*, const QString&, const QString&, bool) override { return true; }
  void Message(QWidget*, const QString& text) override {
    std::fprintf(stderr, "window_bench: message box: %s\n", text.toStdString().c_str());
  }
  bool InputText(QWidget*, const QString&, const QString&, QString&) override { return false; }
};

void WriteSmallFile(const std::string& path, const std::string& text, bool readOnly) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, readOnly ? 0444 : 0644);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    SetupFailed("cannot write " + path);
  ::close(fd);
}

void MakeLargeTree(const std::string& dataDir) {
  const std::string body(2048, 'x');
  char name[64];
  for (int c = 0; c < kChannels; ++c) {
    std::snprintf(name, sizeof name, "Channel%03d/", c);
    const std::string channel = dataDir + "Accounts/" + name;
    for (int r = 0; r < kRubrics; ++r) {
      std::snprintf(name, sizeof name, "Rubric%02d/", r);
      const std::string rubric = channel + name;
      if (!MakeDirs(rubric)) SetupFailed("cannot make " + rubric);
      for (int n = 0; n < kNewsPerRubric; ++n) {
        std::snprintf(name, sizeof name, "news-%03d.html", n);
        WriteSmallFile(rubric + name, body, n % 2 == 0);
      }
    }
  }
}

void WriteMacro(const std::string& folder, const std::vector<TTmpOneMacroComand>& steps) {
  if (!test::WriteMacro(folder, steps)) SetupFailed("cannot write the macro of " + folder);
}

// A channel whose rubric "News" saves every article linked from `indexUrl`.
void MakeDownloadChannel(const std::string& dataDir, const std::string& name, const std::string& indexUrl) {
  const std::string channel = dataDir + "Accounts/" + name + "/";
  WriteMacro(channel, {test::MacroStep("GetStart", indexUrl, "<body", "-999")});
  WriteMacro(channel + "News/", {test::MacroStep("FindUrlNews", "news/*.html", "-1"), test::MacroStep("EditUrlNews"),
                                 test::MacroStep("GetNews", "class=\"article\"", "", "", "0"),
                                 test::MacroStep("FindNameNews", "<title>", "</title>"), test::MacroStep("SaveNews"),
                                 test::MacroStep("GotoMacro", "0")});
}

// Ticks every 5 ms and keeps the longest gap between two ticks since Reset().
class TickWatch {
 public:
  TickWatch() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  }
  void Start() {
    Reset();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  void Reset() {
    clock_.start();
    last_ = 0;
    maxGap_ = 0;
    ticks_ = 0;
  }
  double MaxGapMs() const { return static_cast<double>(std::max(maxGap_, clock_.nsecsElapsed() - last_)) / 1e6; }
  int Ticks() const { return ticks_; }

 private:
  void Tick() {
    const qint64 now = clock_.nsecsElapsed();
    maxGap_ = std::max(maxGap_, now - last_);
    last_ = now;
    ++ticks_;
  }
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, maxGap_ = 0;
  int ticks_ = 0;
};

void ProcessUntil(const std::function<bool()>& done, int limitMs, const char* what) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > limitMs) SetupFailed(std::string("timed out waiting for ") + what);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
  }
}

// Until the start-up timer's work (the unread scan and the tree's refresh) is done. The
// timer stops itself first thing in its handler; this loop sees it stopped only after the
// handler, and the processEvents() that ran it, have returned.
void WaitForStartupWork(TMainForm& w) {
  auto* startTimer = w.findChild<QTimer*>("StartTimer");
  if (!startTimer) SetupFailed("no StartTimer in the window");
  ProcessUntil([&] { return !startTimer->isActive(); }, 60000, "the start-up timer");
  QCoreApplication::processEvents();  // what the handler posted
}

struct StartupFigures {
  double ctorMs = 0, showMs = 0, totalMs = 0, maxGapMs = 0;
};

StartupFigures MeasureStartup(const std::string& dataDir, TickWatch& ticks) {
  StartupFigures f;
  QElapsedTimer clock;
  clock.start();
  auto w = std::make_unique<TMainForm>(dataDir);
  if (!w->Ready()) SetupFailed("the window did not start");
  f.ctorMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  // The window cannot take input before it is shown; the gaps count from there.
  w->show();
  ticks.Start();
  QCoreApplication::processEvents();
  f.showMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  WaitForStartupWork(*w);
  f.totalMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  f.maxGapMs = ticks.MaxGapMs();
  ticks.Stop();
  // The marks must be there: every rubric has unread news.
  for (const NodePtr& node : w->Tree().InTreeOrder())
    if (w->Tree().Level(node) == 1 && !w->Tree().IsBold(node)) SetupFailed("a rubric lacks its unread mark");
  w->close();
  return f;
}

struct Site {
  test::HttpTestServer server;
  Site() {
    for (const char* channel : {"a", "b"}) {
      server.Get(std::string("/") + channel + "/index.html", [](const httplib::Request&, httplib::Response& res) {
        std::string page = "<html><head><title>Index</title></head><body>\n";
        for (int i = 0; i < kArticles; ++i)
          page += "<div class=\"item\"><a href=\"news/a" + std::to_string(i) + ".html\">Article " + std::to_string(i) +
                  "</a></div>\n";
        res.set_content(page + "</body></html>\n", "text/html");
      });
    }
    std::string paragraph;
    for (int i = 0; i < 40; ++i) paragraph += "The city council discussed the budget for the next year. ";
    server.Get(R"(/[ab]/news/a(\d+)\.html)", [paragraph](const httplib::Request& req, httplib::Response& res) {
      std::string n = req.matches[1];
      std::string body = "<html><head><title>Article " + n + "</title></head><body><div class=\"top\">menu</div>" +
                         "<div class=\"article\"><h1>Article " + n + "</h1>";
      for (int p = 0; p < 8; ++p) body += "<p>" + paragraph + "</p>\n";
      res.set_content(body + "</div></body></html>\n", "text/html");
    });
    server.Start();
  }
};

struct DownloadFigures {
  double runsMs = 0, maxGapMs = 0;
  int saved = 0;
};

NodePtr ChannelNamed(TMainForm& w, const std::string& name) {
  for (const NodePtr& node : w.Tree().Channels())
    if (w.Tree().Caption(node) == name) return node;
  SetupFailed("no channel " + name);
}

DownloadFigures MeasureDownload(const std::string& dataDir, TickWatch& ticks) {
  Site site;
  MakeDownloadChannel(dataDir, "DownloadA", site.server.url("/a/index.html"));
  MakeDownloadChannel(dataDir, "DownloadB", site.server.url("/b/index.html"));
  auto w = std::make_unique<TMainForm>(dataDir);
  if (!w->Ready()) SetupFailed("the window did not start");
  w->show();
  WaitForStartupWork(*w);

  DownloadFigures f;
  std::vector<TDownload*> runs;
  QElapsedTimer clock;
  clock.start();
  ticks.Start();
  for (const char* name : {"DownloadA", "DownloadB"}) {
    w->Accounts()->SelectNode(ChannelNamed(*w, name));
    w->Trigger("Download");
    QCoreApplication::processEvents();
    int slot = -1;
    auto channels = w->Tree().Channels();
    for (std::size_t i = 0; i < channels.size(); ++i)
      if (w->Tree().Caption(channels[i]) == name) slot = static_cast<int>(i);
    TDownload* run = slot >= 0 ? w->RunOfSlot(slot) : nullptr;
    if (!run) SetupFailed(std::string("no run started for ") + name);
    runs.push_back(run);
  }
  ProcessUntil(
      [&] {
        return std::all_of(runs.begin(), runs.end(), [](TDownload* r) { return r->ChannelNode() == nullptr; });
      },
      120000, "the two runs");
  f.runsMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  f.maxGapMs = ticks.MaxGapMs();
  ticks.Stop();
  for (TDownload* run : runs) f.saved += run->SavedCount();
  if (f.saved != 2 * kArticles)
    std::fprintf(stderr, "window_bench: the runs saved %d of %d articles\n", f.saved, 2 * kArticles);
  w->close();
  return f;
}

const char* Verdict(double value, double limit) { return value <= limit ? "ok" : "OVER"; }

}  // namespace
}  // namespace skimlet

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  Q_INIT_RESOURCE(tree);
  using namespace skimlet;
  int startupRuns = 3;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--startup-runs") == 0 && i + 1 < argc) startupRuns = std::max(1, std::atoi(argv[++i]));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");

  // Settings and the desktop registration stay inside temp directories.
  test::TempDir data, config, xdgData;
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdgData.path()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
  QElapsedTimer appClock;
  appClock.start();
  QApplication app(argc, argv);
  const double appMs = static_cast<double>(appClock.nsecsElapsed()) / 1e6;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
  QuietDialogs dialogs;
  SetAppDialogs(&dialogs);

  std::printf("window_bench: making %d channels x %d rubrics x %d news files...\n", kChannels, kRubrics,
              kNewsPerRubric);
  std::fflush(stdout);
  MakeLargeTree(data.path());

  TickWatch ticks;
  std::printf("== (a) start-up to first display (QApplication itself: %.1f ms, not counted)\n", appMs);
  double worstTotal = 0, worstGap = 0;
  for (int run = 1; run <= startupRuns; ++run) {
    StartupFigures f = MeasureStartup(data.path(), ticks);
    std::printf("startup run %d: ctor_ms=%.1f, shown_ms=%.1f, startup_ms=%.1f, max_gap_ms=%.1f\n", run, f.ctorMs,
                f.showMs, f.totalMs, f.maxGapMs);
    std::fflush(stdout);
    worstTotal = std::max(worstTotal, f.totalMs);
    worstGap = std::max(worstGap, f.maxGapMs);
  }
  std::printf("startup_ms=%.1f (worst of %d, target < 1500: %s), max_gap_ms=%.1f (after show, target <= 50: %s)\n",
              worstTotal, startupRuns, Verdict(worstTotal, 1499.999), worstGap, Verdict(worstGap, 50));

  std::printf("== (b) two channels x %d articles downloading from 127.0.0.1\n", kArticles);
  std::fflush(stdout);
  DownloadFigures d = MeasureDownload(data.path(), ticks);
  std::printf("download: runs_ms=%.1f, saved=%d, max_gap_ms=%.1f (target <= 50: %s)\n", d.runsMs, d.saved,
              d.maxGapMs, Verdict(d.maxGapMs, 50));
  SetAppDialogs(nullptr);
  return 0;
}
