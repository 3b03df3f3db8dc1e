// The ticker's frame with 10,000 entries (target: one frame under 2 ms, only the visible
// cells drawn), offscreen; then the timer wake-ups of a hidden ticker and an idle tray icon
// over one second (target: none).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QTest>
#include <cstdio>

#include "platform/Files.h"
#include "qt/SettingsStore.h"
#include "shell/NewNewsUnit.h"
#include "shell/TrayIcon.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

struct Ticker {
  test::TempDir data;
  ChannelTree tree{data.path()};
  SettingsStore store;
  TNewNewsForm form{tree, store, nullptr};
  Ticker() {
    MakeDirs(data / "Accounts/Лента/Новости");
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    NodePtr node = tree.NodeAt(1);
    for (int i = 0; i < 10000; ++i)
      form.TickerAdd(node, "Новость номер " + std::to_string(i), "/news/" + std::to_string(i) + ".html");
    form.resize(1280, kTickerHeight);
  }
};

// One timer step and the frame it paints, somewhere in the middle of the ribbon.
void BM_TickerFrame10000(benchmark::State& state) {
  Ticker t;
  QImage frame(1280, kTickerHeight, QImage::Format_RGB32);
  t.form.SetOffset(220 * 5000);
  for (auto _ : state) {
    t.form.SetOffset(t.form.Offset() + 1);
    QPainter p(&frame);
    t.form.PaintRibbon(p);
  }
}
BENCHMARK(BM_TickerFrame10000)->Unit(benchmark::kMicrosecond);

// Counts timer events delivered to an object.
class TimerCounter : public QObject {
 public:
  int count = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Timer) ++count;
    return false;
  }
};

}  // namespace
}  // namespace skimlet

int main(int argc, char** argv) {
  Q_INIT_RESOURCE(resources);
  using namespace skimlet;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  test::TempDir config;
  QApplication app(argc, argv);
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(config.path()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // Idle costs: a hidden ticker over a full list and a tray icon that is not animating.
  Ticker t;
  QMenu menu;
  TrayIcon tray(&menu);
  TimerCounter counter;
  t.form.installEventFilter(&counter);
  for (QObject* child : t.form.children()) child->installEventFilter(&counter);
  for (QObject* child : tray.children()) child->installEventFilter(&counter);
  QTest::qWait(1000);
  std::printf("idle_timer_wakeups_per_second=%d (hidden ticker with 10000 entries, idle tray; target 0: %s)\n",
              counter.count, counter.count == 0 ? "ok" : "OVER");
  return 0;
}
