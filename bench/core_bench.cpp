// The core's speed: the unread scan of a large tree, history lookups and the shared history
// file, a folder's news by their header address, link collection on a big index page, and
// how fast a run ends when stopped during a silent transfer.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/DownLoad.h"
#include "platform/Files.h"
#include "store/ChannelFolders.h"
#include "store/History.h"
#include "store/MacroFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 100;
constexpr int kRubrics = 10;
constexpr int kNewsPerRubric = 100;

void WriteSmallFile(const std::string& path, const std::string& text, bool readOnly) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, readOnly ? 0444 : 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(2);
  }
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::exit(2);
  ::close(fd);
}

// 100 channels x 10 rubrics x 100 news files, every other one read-only (unread). Made once,
// removed at exit.
const test::TempDir& LargeDataDir() {
  static const test::TempDir dir;
  static const bool made = [] {
    const std::string body(2048, 'x');
    char name[64];
    for (int c = 0; c < kChannels; ++c) {
      std::snprintf(name, sizeof name, "Channel%03d/", c);
      const std::string channel = dir / ("Accounts/" + std::string(name));
      for (int r = 0; r < kRubrics; ++r) {
        std::snprintf(name, sizeof name, "Rubric%02d/", r);
        const std::string rubric = channel + name;
        MakeDirs(rubric);
        for (int n = 0; n < kNewsPerRubric; ++n) {
          std::snprintf(name, sizeof name, "news-%03d.html", n);
          WriteSmallFile(rubric + name, body, n % 2 == 0);
        }
      }
    }
    return true;
  }();
  (void)made;
  return dir;
}

void BM_ScanAllFoldersUnread(benchmark::State& state) {
  const test::TempDir& dir = LargeDataDir();
  ChannelTree tree(dir.path());
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  if (tree.InTreeOrder().size() != kChannels * (kRubrics + 1)) state.SkipWithError("tree not built");
  for (auto _ : state) tree.ScanAllFoldersUnread();
  if (!tree.IsBold(tree.NodeAt(1))) state.SkipWithError("no unread mark");
  state.counters["files"] = kChannels * kRubrics * kNewsPerRubric;
}
BENCHMARK(BM_ScanAllFoldersUnread)->Unit(benchmark::kMillisecond);

// What the window's start-up does: the tree read from disk, then the scan.
void BM_BuildTreeAndScan(benchmark::State& state) {
  const test::TempDir& dir = LargeDataDir();
  for (auto _ : state) {
    ChannelTree tree(dir.path());
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    tree.ScanAllFoldersUnread();
    benchmark::DoNotOptimize(tree.IsBold(tree.NodeAt(0)));
  }
}
BENCHMARK(BM_BuildTreeAndScan)->Unit(benchmark::kMillisecond);

// ---- history ---------------------------------------------------------------------------------

std::string NewsUrl(int i) { return "http://news.example.ru/section/2024/05/article-" + std::to_string(i) + ".html"; }

std::string HistoryText(int lines) {
  std::string text;
  text.reserve(static_cast<std::size_t>(lines) * 120);
  const std::time_t when = 1700000000;
  for (int i = 0; i < lines; ++i)
    text += MakeHistoryLine(when + i, NewsUrl(i), "News number " + std::to_string(i)) + "\r\n";
  return text;
}

void BM_HistoryBuild(benchmark::State& state) {
  const std::string text = HistoryText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    HistorySnapshot snapshot(text);
    benchmark::DoNotOptimize(snapshot.Text().size());
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_HistoryBuild)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Half the probes are in the history (spread over it), half are not.
void BM_HistoryContains(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  const HistorySnapshot snapshot(HistoryText(lines));
  std::vector<std::string> probes;
  for (int i = 0; i < 1024; ++i)
    probes.push_back(i % 2 == 0 ? NewsUrl(static_cast<int>((static_cast<std::int64_t>(i) * 7919) % lines))
                                : NewsUrl(lines + i));
  std::size_t k = 0, hits = 0;
  for (auto _ : state) {
    hits += snapshot.Contains(probes[k]);
    k = (k + 1) & 1023;
  }
  if (hits == 0) state.SkipWithError("no URL found");
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HistoryContains)->Arg(1000)->Arg(10000)->Arg(100000)->Complexity(benchmark::o1);

// The history as processes share it: a run reads the file when its channel starts, every
// saved news appends a line under the file's lock, a rewrite merges under the exclusive lock.
const test::TempDir& HistoryDataDir(int lines) {
  static std::map<int, std::unique_ptr<test::TempDir>> dirs;
  auto& dir = dirs[lines];
  if (!dir) {
    dir = std::make_unique<test::TempDir>();
    test::WriteFile(HistoryFilePath(dir->path()), HistoryText(lines));
  }
  return *dir;
}

void BM_HistorySnapshotFromFile(benchmark::State& state) {
  const test::TempDir& dir = HistoryDataDir(static_cast<int>(state.range(0)));
  DownloadHistory history;
  history.LoadHistory(dir.path());
  history.RemoveIf([](const std::string& line) { return line.find("article-7.html") != std::string::npos; });
  for (auto _ : state) {
    HistorySnapshot snapshot(history.SnapshotText());
    benchmark::DoNotOptimize(snapshot.Contains(NewsUrl(3)));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HistorySnapshotFromFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_HistoryAppendLine(benchmark::State& state) {
  test::TempDir dir;
  const std::string line = MakeHistoryLine(1700000000, NewsUrl(1), "News number 1");
  for (auto _ : state)
    if (!AppendHistoryLine(dir.path(), line)) state.SkipWithError("append failed");
}
BENCHMARK(BM_HistoryAppendLine)->Unit(benchmark::kMicrosecond);

// The window's close with one entry deleted: the whole file merged and renamed into place.
void BM_HistoryRewrite(benchmark::State& state) {
  const int lines = static_cast<int>(state.range(0));
  test::TempDir dir;
  for (auto _ : state) {
    state.PauseTiming();
    test::WriteFile(HistoryFilePath(dir.path()), HistoryText(lines));
    DownloadHistory history;
    history.LoadHistory(dir.path());
    history.RemoveIf([](const std::string& line) { return line.find("article-7.html") != std::string::npos; });
    state.ResumeTiming();
    if (!history.SaveHistory(dir.path(), lines)) state.SkipWithError("rewrite failed");
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_HistoryRewrite)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// ---- a folder's news by their header address ---------------------------------------------------

// What the first save of a run into a folder of 10,000 news reads: every news's header.
void BM_NewsFolderIndex(benchmark::State& state) {
  static const test::TempDir dir;
  const int news = static_cast<int>(state.range(0));
  static bool made = false;
  if (!made) {
    const std::string body = "-->\r\n" + std::string(20000, 'x');
    for (int i = 0; i < news; ++i)
      WriteSmallFile(dir / ("news-" + std::to_string(i) + ".html"),
                     "<!-- The file created from Skimlet. See https://skimlet.example/\r\nSkimletNAME:News " +
                         std::to_string(i) + "\r\nSkimletURL:" + NewsUrl(i) +
                         "\r\nSkimletNode:Channel\r\nSkimletDate:01.05.2024\r\nSkimletTime:10:00:00\r\n" + body,
                     i % 2 == 0);
    made = true;
  }
  for (auto _ : state) {
    NewsFolderIndex index;
    index.Build(dir.path());
    if (index.Size() != static_cast<std::size_t>(news)) state.SkipWithError("headers not read");
  }
  state.counters["news"] = news;
}
BENCHMARK(BM_NewsFolderIndex)->Arg(10000)->Unit(benchmark::kMillisecond);

// ---- FindUrlNews -------------------------------------------------------------------------------

// A channel with one rubric and a run that is not started, for calling commands directly.
struct Bench {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  test::RecordingHost host;
  NodePtr channel, rubric;
  std::unique_ptr<TDownload> run;
  Bench() {
    MakeDirs(dir / "Accounts/Channel/Rubric");
    channel = tree.AddFolderNode("Channel", nullptr, true);
    rubric = tree.AddFolderNode("Rubric", channel, true);
    host.shown = false;  // the log is not the figure here
    run = std::make_unique<TDownload>(tree, host);
    run->SetChannel(channel);
    run->SetCurrentFolder(rubric);
    run->SetExecutingStep(1);
  }
};

// `size` bytes with 10,000 HREFs per 2 MiB (every link counts); only the last is under /special/.
std::string IndexPage(std::size_t size) {
  constexpr std::size_t kItem = (2u << 20) / 10000;
  const std::size_t links = size * 10000 / (2u << 20);
  std::string filler;
  while (filler.size() < kItem) filler += "city council news of the day, ";
  std::string page = "<html><head><title>Index</title></head><body>\n";
  for (std::size_t i = 0; i < links; ++i) {
    std::string href = i + 1 < links ? "/news/2024/item-" + std::to_string(i) + ".html" : "/special/last-news.html";
    std::string head = "<div class=\"item\"><a href=\"" + href + "\">", tail = "</a></div>\n";
    page += head + filler.substr(0, kItem - std::min(kItem, head.size() + tail.size())) + tail;
  }
  page += "</body></html>\n";
  while (page.size() < size) page.insert(page.size() - 15, 1, ' ');
  return page;
}

void FindUrlNewsBench(benchmark::State& state, const std::string& pattern, bool wantMatch) {
  Bench b;
  const std::string page = IndexPage(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    b.run->MutableBuffers().IndexHTML = page;  // a match marks its link taken
    state.ResumeTiming();
    b.run->FindUrlNews(pattern, "9");
  }
  if (b.run->MutableBuffers().NewsURL.empty() == wantMatch) state.SkipWithError("unexpected result");
  state.counters["page_MiB"] = static_cast<double>(page.size()) / (1 << 20);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.SetComplexityN(state.range(0));
}

// The figure that counts is at 2 MiB (10,000 links); the smaller pages show it is linear.
void BM_FindUrlNews_MatchesLastLink(benchmark::State& state) { FindUrlNewsBench(state, "special/last", true); }
BENCHMARK(BM_FindUrlNews_MatchesLastLink)
    ->Arg(512 << 10)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_FindUrlNews_MatchesNone(benchmark::State& state) { FindUrlNewsBench(state, "nowhere/*.shtml", false); }
BENCHMARK(BM_FindUrlNews_MatchesNone)
    ->Arg(512 << 10)->Arg(1 << 20)->Arg(2 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// ---- stop latency ------------------------------------------------------------------------------

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!pred()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

// From StopRun() until the run has written its end lines and let go of its channel, while
// GetStart waits for a server that never answers.
void BM_StopDuringSilentTransfer(benchmark::State& state) {
  for (auto _ : state) {
    test::HttpTestServer server;
    std::atomic<bool> hit{false};
    server.Get("/silent", [&](const httplib::Request&, httplib::Response&) {
      hit = true;
      server.WaitForStop();
    });
    server.Start();
    Bench b;
    FolderMacro macro;
    TTmpOneMacroComand& step = macro.Table().steps[0];
    step.Command = "GetStart";
    step.P1 = server.url("/silent");
    step.P2 = "body";
    step.P3 = "9999";
    step.Active = true;
    macro.Table().count = 1;
    if (!macro.WriteFolderMacroFile(b.tree.FolderPath(b.channel))) {
      state.SkipWithError("cannot write the macro");
      break;
    }
    b.run->Start();
    if (!WaitFor([&] { return hit.load(); }, std::chrono::seconds(10))) {
      state.SkipWithError("the run never reached the server");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // well inside the transfer
    const auto t0 = Clock::now();
    b.run->StopRun();
    const bool ended = WaitFor([&] { return b.run->ChannelNode() == nullptr; }, std::chrono::seconds(10));
    const auto t1 = Clock::now();
    if (!ended) {
      state.SkipWithError("the run did not end");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    b.run->Join();
    b.run.reset();  // its kept-alive connection would hold up the server's stop
  }
}
BENCHMARK(BM_StopDuringSilentTransfer)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace skimlet
