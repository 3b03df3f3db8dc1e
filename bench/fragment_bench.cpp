// Fragment search on page-sized buffers.
#include <benchmark/benchmark.h>

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

#include "page/Tools.h"

namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

const char* const kWords[] = {"news",   "today", "market", "city",  "weather", "report",
                              "sports", "the",   "and",    "of",    "council", "price"};

// HTML-like filler, many "<" and quotes, none of the markers searched below. Every
// `boldEvery` bytes (0 = never) a "<b>...</b>" pair.
std::string MakePage(std::size_t size, std::size_t boldEvery = 0) {
  std::string page;
  page.reserve(size + 256);
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  std::size_t nextBold = boldEvery;
  while (page.size() < size) {
    page += "<p class=\"text\">";
    for (int i = 0; i < 12; ++i) {
      page += kWords[(next() >> 16) % 12];
      page += ' ';
    }
    page += "<a href=\"/news/" + std::to_string(next() % 100000) + ".html\">more</a></p>\n";
    if (boldEvery != 0 && page.size() >= nextBold) {
      page += "<b>headline " + std::to_string(next() % 1000) + "</b>";
      nextBold += boldEvery;
    }
  }
  page.resize(size);
  return page;
}

// The page with `tail` as its last bytes, so that a search crosses the whole page.
std::string PageEndingWith(std::size_t size, std::string_view tail) {
  std::string page = MakePage(size - tail.size());
  page += tail;
  return page;
}

constexpr std::string_view kNeedle = "<div class=\"comments\" id=\"c-2024\">";

void BM_LiteralFind_Fragment(benchmark::State& state) {
  const std::string page = PageEndingWith(kMiB, kNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(skimlet::ContainsFragment(page, kNeedle));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_LiteralFind_Fragment);

void BM_LiteralFind_StringViewFind(benchmark::State& state) {
  const std::string page = PageEndingWith(kMiB, kNeedle);
  const std::string_view view(page);
  for (auto _ : state) benchmark::DoNotOptimize(view.find(kNeedle));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_LiteralFind_StringViewFind);

void BM_WildFind_Fragment(benchmark::State& state) {
  const std::string page = PageEndingWith(kMiB, kNeedle);
  for (auto _ : state)
    benchmark::DoNotOptimize(skimlet::ContainsFragment(page, "<div class=\"comments\" id=\"?-~~~~\">"));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_WildFind_Fragment);

void BM_StarFindOnly(benchmark::State& state) {
  const std::string page =
      PageEndingWith(static_cast<std::size_t>(state.range(0)),
                     "<h1 class=\"headline\">Title</h1><p>body</p><div id=\"footer\">x</div>");
  const std::string_view pattern = "<h1 class=\"headline\">*</h1>*<div id=\"footer\">*</div>";
  for (auto _ : state) benchmark::DoNotOptimize(skimlet::ContainsFragment(page, pattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.SetComplexityN(state.range(0));
}
// 16 MiB as well: past 1 MiB the page no longer fits the L2 cache, which alone costs a factor of two.
BENCHMARK(BM_StarFindOnly)
    ->Arg(256 * kKiB)
    ->Arg(kMiB)
    ->Arg(4 * kMiB)
    ->Arg(16 * kMiB)
    ->Complexity(benchmark::oN);

// Every match replaced: the work grows with the page, the matches with it.
void BM_StarReplaceAll(benchmark::State& state) {
  const std::string page = MakePage(static_cast<std::size_t>(state.range(0)), kKiB);
  std::string buffer;
  for (auto _ : state) {
    buffer = page;
    benchmark::DoNotOptimize(skimlet::FindFragment(buffer, "<b>*</b>", "<strong>news</strong>", INT_MAX, false));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_StarReplaceAll)->Arg(256 * kKiB)->Arg(kMiB)->Arg(4 * kMiB)->Complexity(benchmark::oN);

constexpr std::string_view kReplacement = "<strong>news</strong>";

// What a straightforward port does: edit the buffer in place for every replacement.
bool NaiveReplace999(std::string& buffer) {
  bool found = false;
  long long start = 1;
  for (int i = 0; i < 999; ++i) {
    const long long p = skimlet::MatchAt64("<b>", buffer, start);
    if (p < 1) break;
    const long long e = skimlet::MatchAt64("</b>", buffer, p + 3);
    if (e < 1) break;
    buffer.erase(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(e + 4 - p));
    buffer.insert(static_cast<std::size_t>(p - 1), kReplacement);
    start = p + static_cast<long long>(kReplacement.size());
    found = true;
  }
  return found;
}

// About 1040 pairs spread over the page, so 999 replacements reach its end.
const std::string& BoldPage() {
  static const std::string page = MakePage(kMiB, kMiB / 1040);
  return page;
}

void BM_Replace999_OnePass(benchmark::State& state) {
  std::string check = BoldPage();
  std::string naive = BoldPage();
  skimlet::FindFragment(check, "<b>*</b>", kReplacement, 999, false);
  NaiveReplace999(naive);
  if (check != naive || check == BoldPage()) {
    state.SkipWithError("one-pass and in-place results differ");
    return;
  }
  std::string buffer;
  for (auto _ : state) {
    state.PauseTiming();
    buffer = BoldPage();
    state.ResumeTiming();
    benchmark::DoNotOptimize(skimlet::FindFragment(buffer, "<b>*</b>", kReplacement, 999, false));
  }
}
BENCHMARK(BM_Replace999_OnePass)->Unit(benchmark::kMillisecond);

void BM_Replace999_NaiveInPlace(benchmark::State& state) {
  std::string buffer;
  for (auto _ : state) {
    state.PauseTiming();
    buffer = BoldPage();
    state.ResumeTiming();
    benchmark::DoNotOptimize(NaiveReplace999(buffer));
  }
}
BENCHMARK(BM_Replace999_NaiveInPlace)->Unit(benchmark::kMillisecond);

}  // namespace
