// The companions' core work: a 1 MiB news converted between KOI8-R and Windows-1251 (target
// under 20 ms), and the ticker's list rebuilt from 10,000 unread news files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "library/NewsEncoding.h"
#include "library/TickerItems.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

// A page of Russian text in KOI8-R, `bytes` long.
std::string KoiPage(std::size_t bytes) {
  const std::string line = ConvertWinToKoi(test::Cp("<p>Съешь же ещё этих мягких французских булок, да выпей чаю.</p>\r\n"));
  std::string page;
  page.reserve(bytes + line.size());
  while (page.size() < bytes) page += line;
  page.resize(bytes);
  return page;
}

void BM_RecodeText1MiB(benchmark::State& state) {
  const std::string page = KoiPage(1 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(ConvertKoiToWin(page));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_RecodeText1MiB)->Unit(benchmark::kMillisecond);

// The whole action's file work: read, convert, write a temporary file, flush, rename.
void BM_RecodeNewsFile1MiB(benchmark::State& state) {
  test::TempDir dir;
  const std::string path = dir / "news.html";
  WriteFileAtomic(path, KoiPage(1 << 20));
  bool toWin = true;
  for (auto _ : state) {
    if (!RecodeNewsFile(path, toWin ? Recoding::kKoiToWin : Recoding::kWinToKoi)) state.SkipWithError("write failed");
    toWin = !toWin;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) << 20);
}
BENCHMARK(BM_RecodeNewsFile1MiB)->Unit(benchmark::kMillisecond);

// Ten folders of a thousand unread news each.
void BM_TickerRebuild10000(benchmark::State& state) {
  test::TempDir dir;
  for (int f = 0; f < 10; ++f) {
    const std::string folder = dir / ("Accounts/Site/R" + std::to_string(f) + "/");
    MakeDirs(folder);
    for (int n = 0; n < 1000; ++n) {
      const std::string path = folder + "news " + std::to_string(n) + ".html";
      int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0444);
      if (fd >= 0) ::close(fd);
    }
  }
  ChannelTree tree(dir.path());
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  tree.ScanAllFoldersUnread();
  TickerItems items;
  for (auto _ : state) {
    items.Clear();
    for (TickerEntry& e : CollectUnreadNews(tree)) items.Add(e.node, e.name, e.path);
    benchmark::DoNotOptimize(items.Count());
  }
  state.counters["entries"] = static_cast<double>(items.Count());
}
BENCHMARK(BM_TickerRebuild10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimlet
