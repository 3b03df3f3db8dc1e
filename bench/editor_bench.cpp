// The macro editor's speed, offscreen:
//   - a preview update on a 2 MiB index page with 10,000 links (the core's work alone, and the
//     pane's whole update with its list), for FindUrlNews and for a step behind it;
//   - loading a folder of 1001 steps into the editor until its list is drawn.
// A Google Benchmark program with its own main, since the widgets need a QApplication.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QListView>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "authoring/Auto.h"
#include "authoring/MacroPreview.h"
#include "authoring/ui/MacroEditor.h"
#include "authoring/ui/MacroPreview.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "store/History.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

constexpr int kLinks = 10000;
constexpr std::size_t kPageBytes = 2 << 20;

// An index page of 2 MiB holding 10,000 news links among the text of a real-looking page.
const std::string& IndexPage() {
  static const std::string page = [] {
    std::string p = "<html><head><title>News</title></head><body class=\"news-list\"><ul>\n";
    char line[256];
    for (int i = 0; i < kLinks; ++i) {
      std::snprintf(line, sizeof line,
                    "<li class=\"item\"><a href=\"news/2026-12-%02d-story-%05d.html\">Story %d</a> "
                    "<span class=\"lead\">A few words about what happened in the town today.</span></li>\n",
                    i % 28 + 1, i, i);
      p += line;
    }
    while (p.size() < kPageBytes) p += "<p>More text of the page that carries no link at all.</p>\n";
    return p + "</ul></body></html>";
  }();
  return page;
}

// Channel "Site" with rubric "News": the usual news loop; half the links are in the history.
struct PreviewSetup {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  NodePtr rubric;
  MacroTable table;
  DownloadHistory history;
  HistorySnapshot snapshot;
  FetchedPages pages;

  PreviewSetup() {
    MakeDirs(dir / "Accounts/Site/News");
    rubric = tree.AddFolderNode("News", tree.AddFolderNode("Site", nullptr, true), true);
    const TTmpOneMacroComand steps[] = {
        {"FindUrlNews", "news/*.html", "-1", "", "", "", true},
        {"EditUrlNews", "", "", "", "", "", true},
        {"GetNews", "class=\"article\"", "", "", "0", "", true},
    };
    for (const auto& s : steps) table.steps[table.count++] = s;
    pages.index = std::make_shared<const std::string>(IndexPage());
    pages.indexURL = "http://site.test/index.html";
    char url[128];
    for (int i = 0; i < kLinks; i += 2) {
      std::snprintf(url, sizeof url, "http://site.test/news/2026-12-%02d-story-%05d.html", i % 28 + 1, i);
      history.Add(MakeHistoryLine(0, url, "Story"), kLinks);
    }
    snapshot = HistorySnapshot(history.SnapshotText());
  }
  PreviewInput Input(int step) {
    PreviewInput in;
    in.table = &table;
    in.step = step;
    in.pages = pages;
    in.history = &snapshot;
    in.folder = rubric;
    return in;
  }
};

PreviewSetup& Setup() {
  static PreviewSetup setup;
  return setup;
}

void BM_PreviewCore_FindUrlNews(benchmark::State& state) {
  PreviewSetup& s = Setup();
  const PreviewInput in = s.Input(0);
  for (auto _ : state) {
    StepPreview p = PreviewStep(s.tree, in);
    if (p.links.size() != static_cast<std::size_t>(kLinks)) state.SkipWithError("wrong link count");
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_PreviewCore_FindUrlNews)->Unit(benchmark::kMillisecond);

// EditUrlNews behind FindUrlNews: the next news is looked for through the page first.
void BM_PreviewCore_EditUrlNews(benchmark::State& state) {
  PreviewSetup& s = Setup();
  const PreviewInput in = s.Input(1);
  for (auto _ : state) benchmark::DoNotOptimize(PreviewStep(s.tree, in));
}
BENCHMARK(BM_PreviewCore_EditUrlNews)->Unit(benchmark::kMicrosecond);

// A pane on screen showing FindUrlNews of the set-up; `adjust` may change its context.
std::unique_ptr<MacroPreviewPane> ShownPane(PreviewSetup& s,
                                            std::function<void(MacroPreviewPane::Context&)> adjust = {}) {
  auto pane = std::make_unique<MacroPreviewPane>(s.tree);
  pane->resize(500, 300);
  pane->show();
  pane->SetContextSource([&s, adjust] {
    MacroPreviewPane::Context c;
    c.folder = s.rubric;
    c.runPages = s.pages;
    c.history = &s.history;
    if (adjust) adjust(c);
    return c;
  });
  pane->SetStep(&s.table, 0);
  return pane;
}

// What a keystroke in FindUrlNews's fragment costs once the pause has passed: the pane's whole
// update, list included, with what it keeps from the update before.
void BM_PreviewPane_TypingInFindUrlNews(benchmark::State& state) {
  PreviewSetup& s = Setup();
  auto pane = ShownPane(s);
  pane->UpdateNow();  // the step is shown: its first update is BM_PreviewPane_FirstUpdate
  const std::string fragments[] = {"news/2026-12-*.html", "news/*.html"};
  int typed = 0;
  for (auto _ : state) {
    s.table.steps[0].P1 = fragments[++typed % 2];
    pane->UpdateNow();
    QCoreApplication::processEvents();  // the list is laid out and drawn
  }
  s.table.steps[0].P1 = "news/*.html";
  if (pane->Shown().links.size() != static_cast<std::size_t>(kLinks)) state.SkipWithError("wrong link count");
}
BENCHMARK(BM_PreviewPane_TypingInFindUrlNews)->Unit(benchmark::kMillisecond);

// The first update of the pane for the step: everything worked out, list included.
void BM_PreviewPane_FirstUpdate(benchmark::State& state) {
  PreviewSetup& s = Setup();
  auto round = std::make_shared<std::uint64_t>(0);
  // Another history test each time: nothing kept from the update before applies.
  auto pane = ShownPane(s, [round](MacroPreviewPane::Context& c) { c.settings.notCheckHistory = ++*round % 2; });
  for (auto _ : state) {
    pane->UpdateNow();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_PreviewPane_FirstUpdate)->Unit(benchmark::kMillisecond);

// A folder of 1001 steps loaded into the editor, until the list is drawn.
void BM_EditorLoad1001Steps(benchmark::State& state) {
  test::TempDir dir;
  ChannelTree tree(dir.path());
  CommandCatalogue catalogue;
  LoadCommandCatalogue(CatalogueFilePath(ResourceDir(dir.path())), catalogue);
  std::vector<TTmpOneMacroComand> steps;
  for (int i = 0; i < kMacroSlots; ++i)
    steps.push_back({i % 2 ? "GotoMacro" : "FindUrlNews", "news/*.html", "StandartParameter=1", "-1",
                     "class=\"article\"", "Step " + std::to_string(i), true});
  const std::string folder = dir / "Accounts/Site/";
  if (!test::WriteMacro(folder, steps)) state.SkipWithError("cannot write the macro");
  FolderMacro macro;
  MacroEditor editor(macro, catalogue, tree);
  editor.CatalogueLoaded();
  editor.SetHelpDir(ResourceDir(dir.path()) + "Help/");
  FolderMacro::View view;
  editor.AttachView(view);
  macro.SetView(view);
  editor.resize(1000, 450);
  editor.show();
  macro.LoadFolderMacro(folder);  // the help view starts once, outside the measurement
  QCoreApplication::processEvents();
  for (auto _ : state) {
    macro.LoadFolderMacro(folder);
    QCoreApplication::processEvents();
  }
  if (editor.ListMacro()->model()->rowCount() != kMacroSlots) state.SkipWithError("not loaded");
}
BENCHMARK(BM_EditorLoad1001Steps)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimlet

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
