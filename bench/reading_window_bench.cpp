// The reading side of the window, offscreen:
//   - selecting a folder of 10,000 news: time to the first rows painted, to the whole list,
//     and the longest gap between ticks of a 2 ms timer meanwhile (the window answering);
//   - selecting a news of 200 KiB with 20 pictures: time until the panel is filled and the
//     page has loaded.
// A Qt program: run with QT_QPA_PLATFORM=offscreen (bench/run.sh does).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QTimer>
#include <thread>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "library/ui/AccountsTree.h"
#include "library/ui/NewsList.h"
#include "library/ui/NewsViewer.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "qt/Dialogs.h"
#include "shell/MainUnit.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "reading_window_bench: %s\n", what.c_str());
  std::exit(2);
}

class YesDialogs : public Dialogs {
 public:
  bool Question(QWidget*, const QString&, const QString&, bool) override { return true; }
  void Message(QWidget*, const QString& text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
  bool InputText(QWidget*, const QString&, const QString&, QString&) override { return false; }
};

void Write(const std::string& path, const std::string& text, long seconds) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) Fail("cannot write " + path);
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::futimens(fd, times);
  ::close(fd);
}

std::string Header(const std::string& name) {
  return "<!-- The file created from Skimlet. See x\r\nSkimletNAME:" + name +
         "\r\nSkimletURL:http://news.example.ru/a.html\r\nSkimletNode:Channel\r\n-->\r\n";
}

// A page of about 200 KiB with 20 local pictures and a style sheet. `allText`: the page is
// nothing but article text (the worst case for layout); otherwise it is shaped like a saved
// news site: an article of 40 paragraphs among menus, link lists and a footer.
std::string BigPage(const std::string& name, const std::string& folder, int salt, bool allText) {
  std::string head = Header(name), body;
  const std::string para = W("<p>Городской совет обсудил ремонт дорог, новые маршруты и зимнюю уборку улиц. </p>\r\n");
  if (!allText) {
    body += "<div class=\"menu\"><ul>";
    for (int k = 0; k < 60; ++k)
      body += "<li><a href=\"http://news.example.ru/section/" + std::to_string(k) + "/\">" + W("Раздел ") +
              std::to_string(k) + "</a></li>";
    body += "</ul></div><div class=\"article\"><h1>" + name + "</h1>\r\n";
  }
  for (int p = 0; p < 20; ++p) {
    std::string local = std::to_string(100000000000000LL + salt * 100 + p) + ".png";  // the program's 15-digit names
    head += "<!-- SkimletAttLocal:" + local + " SkimletAttURL:http://x/" + local + " -->\r\n";
    QImage image(320, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromHsv((p * 17 + salt * 40) % 360, 120, 220));
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(p));
    painter.end();
    if (!image.save(QString::fromStdString(folder + "Attachment/" + local))) Fail("cannot save a picture");
    body += "<p><img src=\"Attachment/" + local + "\" width=320 height=200></p>\r\n";
    for (int k = 0; k < (allText ? 120 : 2); ++k) body += para;
  }
  if (!allText) {
    body += "</div><div class=\"related\">";
    for (int k = 0; body.size() < 195000; ++k)
      body += "<div class=\"item\"><a href=\"http://news.example.ru/news/2026/12/" + std::to_string(k) +
              ".html\" class=\"link\" title=\"\"><span class=\"date\">07.12.2026</span></a></div>\r\n";
    body += "</div><div class=\"footer\">&copy; 2026</div>";
  }
  Write(folder + "Attachment/page.css", "body { font-family: serif; } p { margin: 0.3em 0 }", 0);
  return head + "<!-- Skimlet DataEnd -->\r\n<html><head><link rel=stylesheet href=\"Attachment/page.css\"></head><body>" +
         body + "</body></html>\r\n";
}

struct Setup {
  test::TempDir data, config, xdgData;
  YesDialogs dialogs;
  std::unique_ptr<TMainForm> window;

  Setup() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdgData.path()));
    SetAppDialogs(&dialogs);
    std::string big = data / "Accounts/Big/", small = data / "Accounts/Small/", pages = data / "Accounts/Pages/",
                text = data / "Accounts/Text/";
    for (const std::string& d : {big, small, pages + "Attachment/", text + "Attachment/"})
      if (!MakeDirs(d)) Fail("cannot make " + d);
    const std::string filler(1800, 'x');
    for (int i = 0; i < 10000; ++i)
      Write(big + "news-" + std::to_string(i) + ".html", Header("news " + std::to_string(i)) + filler,
            1700000000 + (i * 7919) % 10000);
    Write(small + "one.html", Header("one") + filler, 1700000000);
    Write(pages + "first.html", BigPage("first", pages, 1, false), 1700000000);
    Write(pages + "second.html", BigPage("second", pages, 2, false), 1700000001);
    Write(text + "first.html", BigPage("first", text, 1, true), 1700000000);
    Write(text + "second.html", BigPage("second", text, 2, true), 1700000001);
    MakeDirs(data / "Accounts/Tiny/");
    Write(data / "Accounts/Tiny/a.html", Header("a") + "<p>a</p>", 1700000000);
    Write(data / "Accounts/Tiny/b.html", Header("b") + "<p>b</p>", 1700000001);
    window = std::make_unique<TMainForm>(data.path());
    window->resize(1200, 800);
    window->show();
    auto* start = window->findChild<QTimer*>("StartTimer");
    Until([&] { return !start->isActive(); }, 20000, "the start-up timer");
  }
  ~Setup() { SetAppDialogs(nullptr); }

  static void Until(const std::function<bool()>& done, int limitMs, const char* what) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > limitMs) Fail(std::string("timed out waiting for ") + what);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  }
  NodePtr Node(const char* caption) {
    for (const NodePtr& n : window->Tree().InTreeOrder())
      if (window->Tree().Caption(n) == caption) return n;
    Fail(std::string("no folder ") + caption);
  }
  void Select(const char* caption) {
    window->Accounts()->SelectNode(Node(caption));
    window->Accounts()->AccountsClick();
  }
  bool Listed(const char* caption, int rows) {
    NewsList* list = window->ListNews();
    return !list->Filling() && list->Model()->Folder() == window->Tree().FolderPath(Node(caption)) &&
           list->Model()->rowCount() == rows;
  }
};

std::unique_ptr<Setup> g_setup;  // made on first use, gone before the application

Setup& TheSetup() {
  if (!g_setup) g_setup = std::make_unique<Setup>();
  return *g_setup;
}

// The longest time the event loop went without running a 2 ms timer.
struct LoopGaps {
  const QElapsedTimer& clock;
  QTimer ticker;
  qint64 lastTick = 0, maxGap = 0;
  explicit LoopGaps(const QElapsedTimer& c) : clock(c) {
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [this] {
      qint64 now = clock.nsecsElapsed();
      maxGap = std::max(maxGap, now - lastTick);
      lastTick = now;
    });
  }
  void Start() {
    lastTick = clock.nsecsElapsed();
    maxGap = 0;
    ticker.start();
  }
  void Stop() { ticker.stop(); }
};

// Records when the list's viewport is first painted with rows in it.
class PaintWatch : public QObject {
 public:
  QElapsedTimer* clock = nullptr;
  qint64 paintedAt = -1;
  NewsListModel* model = nullptr;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && paintedAt < 0 && model->rowCount() > 0) paintedAt = clock->nsecsElapsed();
    return false;
  }
};

void BM_Window_Fill10000(benchmark::State& state) {
  Setup& s = TheSetup();
  NewsList* list = s.window->ListNews();
  QElapsedTimer clock;
  PaintWatch paints;
  paints.clock = &clock;
  paints.model = list->Model();
  list->viewport()->installEventFilter(&paints);
  LoopGaps gaps(clock);
  double firstMs = 0, wholeMs = 0, gapMs = 0;
  for (auto _ : state) {
    s.Select("Small");
    Setup::Until([&] { return s.Listed("Small", 1); }, 10000, "the small folder");
    clock.start();
    paints.paintedAt = -1;
    gaps.Start();
    s.Select("Big");
    qint64 whole = -1;
    Setup::Until(
        [&] {
          if (whole < 0 && s.Listed("Big", 10000)) whole = clock.nsecsElapsed();
          return whole >= 0 && paints.paintedAt >= 0;
        },
        10000, "the big folder");
    // The window keeps answering after the rows are in.
    qint64 settle = clock.nsecsElapsed() + 100000000;
    Setup::Until([&] { return clock.nsecsElapsed() > settle; }, 1000, "the settling time");
    gaps.Stop();
    double first = static_cast<double>(paints.paintedAt) / 1e6, all = static_cast<double>(whole) / 1e6;
    state.SetIterationTime(std::max(first, all) / 1e3);
    firstMs = std::max(firstMs, first);
    wholeMs = std::max(wholeMs, all);
    gapMs = std::max(gapMs, static_cast<double>(gaps.maxGap) / 1e6);
  }
  list->viewport()->removeEventFilter(&paints);
  state.counters["first_rows_painted_ms_max"] = firstMs;
  state.counters["whole_list_ms_max"] = wholeMs;
  state.counters["longest_loop_gap_ms"] = gapMs;
}
BENCHMARK(BM_Window_Fill10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Another process saves 1,000 news into the listed folder as fast as it can: how long the
// window's event loop is ever kept from running, how many times the list is updated, and
// when the last news is in the list.
void BM_Window_Burst1000(benchmark::State& state) {
  Setup& s = TheSetup();
  NewsList* list = s.window->ListNews();
  int round = 0, refreshes = 0;
  QObject::connect(list, &NewsList::refreshed, [&] { ++refreshes; });
  double gapMs = 0, lastMs = 0, updates = 0;
  for (auto _ : state) {
    const std::string folder = s.data / ("Accounts/Burst" + std::to_string(round) + "/");
    MakeDirs(folder);
    s.window->Accounts()->AddNodeItem(s.window->Tree().AddFolderNode("Burst" + std::to_string(round), nullptr, true));
    s.Select(("Burst" + std::to_string(round)).c_str());
    ++round;
    Setup::Until([&] { return !list->Filling() && list->Model()->Folder() == folder; }, 10000, "the empty folder");
    // The watch list takes the new folder within its sync period.
    QElapsedTimer wait;
    wait.start();
    Setup::Until([&] { return wait.elapsed() > 2200; }, 5000, "the watch");
    refreshes = 0;
    QElapsedTimer clock;
    clock.start();
    LoopGaps gaps(clock);
    gaps.Start();
    const std::string filler(1800, 'x');
    std::thread writer([&] {
      for (int i = 0; i < 1000; ++i)
        Write(folder + "burst-" + std::to_string(i) + ".html", Header("burst " + std::to_string(i)) + filler,
              1700000000 + i);
    });
    Setup::Until([&] { return list->Model()->rowCount() == 1000; }, 20000, "the burst in the list");
    const qint64 last = clock.nsecsElapsed();
    writer.join();
    qint64 settle = clock.nsecsElapsed() + 300000000;
    Setup::Until([&] { return clock.nsecsElapsed() > settle; }, 1000, "the settling time");
    gaps.Stop();
    state.SetIterationTime(static_cast<double>(last) / 1e9);
    gapMs = std::max(gapMs, static_cast<double>(gaps.maxGap) / 1e6);
    lastMs = std::max(lastMs, static_cast<double>(last) / 1e6);
    updates = std::max(updates, static_cast<double>(refreshes));
  }
  state.counters["longest_loop_gap_ms"] = gapMs;
  state.counters["last_news_listed_ms"] = lastMs;
  state.counters["list_updates"] = updates;
}
BENCHMARK(BM_Window_Burst1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Selecting one of two news of a folder in turn: time until the panel is filled and the page
// (with its pictures) has loaded.
void SelectionShown(benchmark::State& state, const char* folder, const char* pictures) {
  Setup& s = TheSetup();
  s.Select(folder);
  Setup::Until([&] { return s.Listed(folder, 2); }, 10000, "the folder of pages");
  NewsList* list = s.window->ListNews();
  QWebEngineView* view = s.window->Viewer()->View();
  bool loaded = false;
  auto connection = QObject::connect(view, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
  QElapsedTimer clock;
  double panelMs = 0;
  int row = 0;
  for (auto _ : state) {
    row = 1 - row;
    loaded = false;
    clock.start();
    list->SelectRow(row);
    double panel = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    Setup::Until([&] { return loaded; }, 10000, "the page");
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    panelMs = std::max(panelMs, panel);
    if (s.window->Viewer()->LabelText("LabelAttOffline") != pictures) Fail("the panel counts the pictures wrong");
  }
  QObject::disconnect(connection);
  state.counters["panel_ms_max"] = panelMs;
}

void BM_Window_SelectionShown_200KiB_20Pictures(benchmark::State& state) { SelectionShown(state, "Pages", "20"); }
BENCHMARK(BM_Window_SelectionShown_200KiB_20Pictures)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The same page with article text only, 2,400 paragraphs: what layout costs at its worst.
void BM_Window_SelectionShown_200KiB_AllText(benchmark::State& state) { SelectionShown(state, "Text", "20"); }
BENCHMARK(BM_Window_SelectionShown_200KiB_AllText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The same for a page of a few bytes: what the web view itself takes.
void BM_Window_SelectionShown_TinyPage(benchmark::State& state) { SelectionShown(state, "Tiny", "0"); }
BENCHMARK(BM_Window_SelectionShown_TinyPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace skimlet

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  Q_INIT_RESOURCE(tree);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  skimlet::g_setup.reset();
  benchmark::Shutdown();
  return 0;
}
