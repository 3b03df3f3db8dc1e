// The reading side of the core: listing a folder of 10,000 news for the news list, and
// searching 100,000 news files (100 channels x 10 rubrics x 100 news, as the start-up
// benchmark's tree) for a word: time to the first hit, the whole tree, and memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "library/NewsListing.h"
#include "library/NewsSearch.h"
#include "library/UnreadCounts.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using Clock = std::chrono::steady_clock;

void WriteNews(const std::string& path, const std::string& text, long seconds, bool readOnly) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, readOnly ? 0444 : 0644);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror(path.c_str());
    std::exit(2);
  }
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ::futimens(fd, times);
  ::close(fd);
}

// About 2 KiB of a saved page: the header, an attachment line, Russian text between tags.
std::string NewsText(int i, bool withWord) {
  std::string name = W("Новость номер ") + std::to_string(i);
  std::string text = "<!-- The file created from Skimlet. See x\r\nSkimletNAME:" + name +
                     "\r\nSkimletURL:http://news.example.ru/" + std::to_string(i) +
                     ".html\r\nSkimletNode:Channel\r\n-->\r\n<!-- SkimletAttLocal:123456789012345.jpg SkimletAttURL:http://x/1.jpg "
                     "-->\r\n<!-- Skimlet DataEnd -->\r\n<html><head><title>" +
                     name + "</title><style>p { margin: 0 }</style></head><body>\r\n";
  const std::string para = W("<p>Городской совет обсудил ремонт дорог и новые автобусные маршруты. ") +
                           W("Жители задали вопросы о парках, школах и <b>зимней уборке</b> улиц.</p>\r\n");
  while (text.size() < 1900) text += para;
  if (withWord) text += W("<p>На реке начался ледоход.</p>\r\n");
  return text + "</body></html>\r\n";
}

const test::TempDir& BigFolder() {
  static const test::TempDir dir;
  static const bool made = [] {
    std::string folder = dir / "Accounts/Big/News/";
    MakeDirs(folder);
    for (int i = 0; i < 10000; ++i)
      WriteNews(folder + "news-" + std::to_string(i) + ".html", NewsText(i, false), 1700000000 + (i * 7919) % 10000,
                i % 3 == 0);
    return true;
  }();
  (void)made;
  return dir;
}

// Every 100th news, spread over the tree, holds the word looked for.
const test::TempDir& SearchTree() {
  static const test::TempDir dir;
  static const bool made = [] {
    char name[64];
    int n = 0;
    for (int c = 0; c < 100; ++c) {
      for (int r = 0; r < 10; ++r) {
        std::snprintf(name, sizeof name, "Accounts/Channel%03d/Rubric%02d/", c, r);
        std::string rubric = dir / name;
        MakeDirs(rubric);
        for (int k = 0; k < 100; ++k, ++n)
          WriteNews(rubric + "news-" + std::to_string(k) + ".html", NewsText(n, n % 100 == 37), 1700000000 + n, false);
      }
    }
    return true;
  }();
  (void)made;
  return dir;
}

long MaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_ReadFolderNews_10000(benchmark::State& state) {
  std::string folder = BigFolder() / "Accounts/Big/News/";
  std::size_t rows = 0;
  for (auto _ : state) {
    NewsFolderListing listing = ReadFolderNews(folder);
    rows = listing.entries.size();
    benchmark::DoNotOptimize(listing.entries.front().modified);
  }
  if (rows != 10000) state.SkipWithError("folder not listed whole");
  state.counters["news"] = static_cast<double>(rows);
}
BENCHMARK(BM_ReadFolderNews_10000)->Unit(benchmark::kMillisecond);

// One search over the whole tree; `firstHit` stops the clock at the first hit found.
void SearchBench(benchmark::State& state, bool firstHit) {
  const std::string accounts = SearchTree() / "Accounts/";
  std::mutex m;
  std::condition_variable cv;
  bool woken = false;
  NewsSearch search([&] {
    std::lock_guard lock(m);
    woken = true;
    cv.notify_all();
  });
  std::vector<NewsHit> hits;
  long rssBefore = MaxRssKiB();
  for (auto _ : state) {
    hits.clear();
    {
      std::lock_guard lock(m);
      woken = false;
    }
    auto start = Clock::now();
    search.Start(accounts, accounts, SearchWords(W("ЛЕДОХОД")));
    if (firstHit) {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return woken; });
    } else {
      std::unique_lock lock(m);
      cv.wait(lock, [&] { return !search.Running(); });
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    search.TakeHits(hits);
    search.Cancel();
  }
  if (hits.empty()) state.SkipWithError("nothing found");
  if (!firstHit && hits.size() != 1000) state.SkipWithError("not every hit found");
  state.counters["files_seen"] = static_cast<double>(search.FilesSeen());
  state.counters["hits"] = static_cast<double>(hits.size());
  state.counters["rss_growth_KiB"] = static_cast<double>(MaxRssKiB() - rssBefore);
}

void BM_Search_100000_FirstHit(benchmark::State& state) { SearchBench(state, true); }
BENCHMARK(BM_Search_100000_FirstHit)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Search_100000_WholeTree(benchmark::State& state) { SearchBench(state, false); }
BENCHMARK(BM_Search_100000_WholeTree)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Every folder of the 100,000-news tree counted, as the window does at start-up.
void BM_CountUnread_100000(benchmark::State& state) {
  std::vector<std::string> folders;
  char name[64];
  for (int c = 0; c < 100; ++c)
    for (int r = 0; r < 10; ++r) {
      std::snprintf(name, sizeof name, "Accounts/Channel%03d/Rubric%02d/", c, r);
      folders.push_back(SearchTree() / name);
    }
  long news = 0;
  for (auto _ : state) {
    news = 0;
    for (const std::string& folder : folders) news += CountFolderNews(folder).news;
  }
  if (news != 100000) state.SkipWithError("not every news counted");
  state.counters["news"] = static_cast<double>(news);
}
BENCHMARK(BM_CountUnread_100000)->Unit(benchmark::kMillisecond);

// «Отметить папку прочитанной» on a folder of 10,000 unread news.
void BM_MarkFolderRead_10000(benchmark::State& state) {
  static const test::TempDir dir;
  const std::string folder = dir / "Folder/";
  MakeDirs(folder);
  for (int k = 0; k < 10000; ++k) WriteNews(folder + "news-" + std::to_string(k) + ".html", "<p>x</p>", 1700000000 + k, true);
  int marked = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int k = 0; k < 10000; ++k) SetFileReadOnly(folder + "news-" + std::to_string(k) + ".html", true);
    state.ResumeTiming();
    marked = MarkFoldersRead({folder});
  }
  if (marked != 10000) state.SkipWithError("not every news marked");
}
BENCHMARK(BM_MarkFolderRead_10000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace skimlet
