// Reading pages as a browser does, at the size of the largest real pages: link
// absolutising (EditHTMLNews) and attachment discovery (FindAttachment) on a 2 MiB article,
// attachment discovery on a page of 120,000 attributes, how fast a stop ends discovery,
// and link resolution itself.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "engine/DownLoad.h"
#include "page/Discovery.h"
#include "page/Html.h"
#include "platform/Files.h"
#include "platform/Url.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

constexpr std::size_t kTwoMiB = 2u << 20;

// A long article as news sites write it: a navigation bar, paragraphs with inline links
// (relative, root-relative, absolute, to other sites, anchors, with &amp; in queries),
// pictures with srcset and lazy loading, a script and comments, up to `size` bytes.
std::string Article(std::size_t size) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"windows-1251\"><title>News</title>"
      "<link rel=\"stylesheet\" href=\"/static/site.css?v=3\"><script src=\"/static/app.js\"></script></head><body>"
      "<nav><a href=\"/\">Home</a><a href=\"/news/\">News</a><a href=\"/sport/\">Sport</a></nav>";
  const std::string text =
      "The city council discussed the budget for the next year. The deputies proposed to spend more on roads, "
      "schools and the new tram line, while the mayor's office warned that the tax income would hardly grow. ";
  for (int i = 0; page.size() < size; ++i) {
    const std::string n = std::to_string(i);
    page += "<div class=\"para\"><h2 id=\"s" + n + "\">Section " + n + "</h2><p>" + text +
            "See <a href=\"related/" + n + ".html\">the report</a> and "
            "<a href=\"/archive/2024/05/" + n + ".html?from=list&amp;page=" + n + "\">the archive</a>. " + text +
            "</p><p>" + text + "<A HREF='../topics/t" + n + ".html'>The topic</A>, <a href=\"https://other.example.org/x/" +
            n + "\" rel=nofollow>elsewhere</a>. Back <a href=\"#top\">up</a>.</p>"
            "<img src=\"/img/2024/05/photo" + n + ".jpg\" srcset=\"/img/2024/05/photo" + n + "-2x.jpg 2x\" alt=\"\">"
            "<img src=\"/img/blank.gif\" data-src=\"/img/lazy/" + n + ".webp\" class=lazy>"
            "<!-- advert slot " + n + " --><p>&lt;a href=\"code.html\"&gt; is how a link is written.</p></div>\n";
  }
  return page + "</body></html>";
}

// 120,000 src and href attributes in about 2 MiB: the case that took minutes when every
// attribute meant a search of the whole page.
std::string ManyAttributes() {
  std::string page;
  page.reserve(kTwoMiB + 64);
  for (int i = 0; i < 60000; ++i) {
    const std::string n = std::to_string(i);
    page += "<img src=p" + n + ".gif><a href=n" + n + ">";
  }
  return page;
}

struct Run {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  test::RecordingHost host;
  std::unique_ptr<TDownload> run;
  Run() {
    MakeDirs(dir / "Accounts/Channel");
    NodePtr channel = tree.AddFolderNode("Channel", nullptr, true);
    run = std::make_unique<TDownload>(tree, host);
    run->SetChannel(channel);
    run->SetCurrentFolder(channel);
    host.shown = false;  // no log: only the work is measured
    run->MutableBuffers().StartURL = "http://news.example.ru/2024/05/index.html";
  }
};

// EditHTMLNews making the links absolute (P1), and with the scripts neutralised too (P1, P2).
void BM_AbsolutizeLinks2MiB(benchmark::State& state) {
  Run r;
  const std::string page = Article(kTwoMiB);
  const char* scripts = state.range(0) ? "StandartParameter=0" : "";
  std::size_t links = 0;
  for (auto _ : state) {
    r.run->MutableBuffers().HTML = page;
    r.run->EditHTMLNews("StandartParameter=0", scripts, "", "");
    benchmark::DoNotOptimize(r.run->MutableBuffers().HTML.size());
  }
  for (std::size_t at = 0; (at = page.find("=\"", at)) != std::string::npos; ++at) ++links;
  state.counters["attributes"] = static_cast<double>(links);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_AbsolutizeLinks2MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Attachment discovery (MarkAttachments) alone, and with the localisation FindAttachment
// does after it, on the article as EditHTMLNews left it.
void BM_DiscoverAttachments2MiB(benchmark::State& state) {
  const bool localize = state.range(0) != 0;
  Run r;
  r.run->MutableBuffers().HTML = Article(kTwoMiB);
  r.run->EditHTMLNews("StandartParameter=0", "StandartParameter=0", "", "");
  const std::string page = r.run->MutableBuffers().HTML;
  UrlResolver resolver(r.run->MutableBuffers().StartURL);
  std::mt19937 rng(1);
  std::size_t pairs = 0;
  for (auto _ : state) {
    std::string html = page;
    DiscoveryOptions options;
    options.resolver = &resolver;
    MarkAttachments(html, rng, "/nonexistent/Attachment/", options);
    if (localize) LocalizeAttachments(html, &resolver);
    state.PauseTiming();
    pairs = ReadAttachmentPairs(html).size();
    state.ResumeTiming();
    benchmark::DoNotOptimize(html.size());
  }
  state.counters["pictures"] = static_cast<double>(pairs);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_DiscoverAttachments2MiB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_MarkAttachments120000Attributes(benchmark::State& state) {
  const std::string page = ManyAttributes();
  std::mt19937 rng(1);
  for (auto _ : state) {
    std::string html = page;
    MarkAttachments(html, rng, "/nonexistent/Attachment/");
    benchmark::DoNotOptimize(html.size());
  }
  state.counters["bytes"] = static_cast<double>(page.size());
}
BENCHMARK(BM_MarkAttachments120000Attributes)->Unit(benchmark::kMillisecond);

// From the stop flag being set to MarkAttachments returning, on a page far too large to
// finish first (20 MiB of pictures).
void BM_StopLatencyOfDiscovery(benchmark::State& state) {
  std::string page;
  for (int i = 0; page.size() < (20u << 20); ++i) page += "<img src=\"http://h.ru/p" + std::to_string(i) + ".png\">";
  std::mt19937 rng(1);
  double worstMs = 0;
  for (auto _ : state) {
    std::string html = page;
    std::atomic<bool> stop{false};
    DiscoveryOptions options;
    options.stop = &stop;
    std::chrono::steady_clock::time_point stopped;
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      stopped = std::chrono::steady_clock::now();
      stop = true;
    });
    MarkAttachments(html, rng, "/nonexistent/Attachment/", options);
    const auto returned = std::chrono::steady_clock::now();
    stopper.join();
    const double ms = std::chrono::duration<double, std::milli>(returned - stopped).count();
    worstMs = std::max(worstMs, ms);
    state.SetIterationTime(ms / 1000);
  }
  state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_StopLatencyOfDiscovery)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// One relative link through libcurl, and one already absolute (no parsing).
void BM_ResolveRelativeLink(benchmark::State& state) {
  UrlResolver resolver("http://news.example.ru/2024/05/index.html");
  int i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(resolver.Resolve("../img/p" + std::to_string(i++) + ".png"));
}
BENCHMARK(BM_ResolveRelativeLink);

void BM_ResolveAbsoluteLink(benchmark::State& state) {
  UrlResolver resolver("http://news.example.ru/2024/05/index.html");
  int i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(resolver.Resolve("http://news.example.ru/img/p" + std::to_string(i++) + ".png"));
}
BENCHMARK(BM_ResolveAbsoluteLink);

void BM_Tokenize2MiB(benchmark::State& state) {
  const std::string page = Article(kTwoMiB);
  std::size_t tags = 0;
  for (auto _ : state) {
    HtmlTokenizer tokens(page);
    HtmlTag tag;
    tags = 0;
    while (tokens.Next(tag)) ++tags;
  }
  state.counters["tags"] = static_cast<double>(tags);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}
BENCHMARK(BM_Tokenize2MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimlet
