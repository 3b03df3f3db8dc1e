// The new-channel proposal on a 2 MiB list page (target: under 100 ms): a blog's category
// page with menus, a long list whose items carry excerpts, "read more" and comment links,
// a sidebar of recent posts in the same address shape, and pagination.
#include <benchmark/benchmark.h>

#include <string>

#include "authoring/ChannelProposal.h"
#include "platform/Text.h"

namespace skimlet {
namespace {

constexpr std::size_t kTwoMiB = 2u << 20;
// Real list pages of this size carry about a thousand items at most: long excerpts.
const std::string kExcerpt = [] {
  std::string text;
  while (text.size() < 1500) text += "The deputies proposed to spend more on roads, schools and the new tram line. ";
  return text;
}();

std::string Post(int i) {
  const std::string n = std::to_string(i), url = "/2026/" + std::to_string(1 + i % 12) + "/post-" + n + "/";
  return "<article id=\"post-" + n + "\" class=\"post-" + n +
         " post type-post hentry\"><header class=\"entry-header\"><h2 class=\"entry-title\"><a href=\"" + url +
         "\" rel=\"bookmark\">Post number " + n +
         "</a></h2></header><div class=\"entry-summary\"><p>The council discussed the budget, see <a href=\"/2025/1/"
         "post-old-" + n + "/\">an older post</a>, and the roads. " + kExcerpt + "&hellip; <a href=\"" + url +
         "\" class=\"more-link\">Read more</a></p></div><footer class=\"entry-footer\"><span class=\"byline\"><a "
         "href=\"/author/ed/\">Ed</a></span><span class=\"comments-link\"><a href=\"" + url +
         "#respond\">Leave a comment</a></span></footer></article>\n";
}

std::string ListPage(std::size_t size) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"windows-1251\"><title>News</title></head><body>"
      "<nav class=\"menu\"><a href=\"/category/news/\">News</a><a href=\"/2020/1/about/\">About</a></nav>"
      "<main id=\"main\" class=\"site-main\">\n";
  std::string sidebar = "<aside class=\"sidebar\"><ul>";
  for (int i = 0; i < 20; ++i) sidebar += "<li><a href=\"/2024/1/popular-" + std::to_string(i) + "/\">Popular</a></li>";
  sidebar += "</ul></aside>";
  const std::string tail = "<nav class=\"pagination\"><a class=\"next page-numbers\" href=\"/category/news/page/2/\">"
                           "Next</a></nav></main>" + sidebar + "</body></html>";
  for (int i = 0; page.size() + tail.size() < size; ++i) page += Post(i);
  return page + tail;
}

// The list page and one example article; `corrected` adds what the user's clicks add: a link
// excluded, a headline chosen, the text cut.
ProposalInput ListInput(bool corrected) {
  ProposalInput in;
  in.startUrl = in.indexUrl = "http://example.org/category/news/";
  in.indexPage = ListPage(kTwoMiB);
  in.exampleUrls = {"http://example.org/2026/6/post-5/"};
  in.examplePages = {"<html><head><title>Post number 5 - Example</title></head><body><h1 class=\"entry-title\">"
                     "Post number 5</h1><div class=\"entry-content\"><p>Text.</p></div></body></html>"};
  in.pages = 3;
  if (corrected) {
    in.excludedUrls = {"http://example.org/2026/8/post-7/"};
    in.nameStart = "<h1 class=\"entry-title\">";
    in.nameEnd = "</h1>";
    in.textCut = ProposeTextCut(in.examplePages[0], {"p", 0, "Text."});
  }
  return in;
}

void BM_Proposal(benchmark::State& state, bool corrected) {
  const ProposalInput in = ListInput(corrected);
  std::size_t links = 0;
  for (auto _ : state) {
    ChannelProposal p = ProposeChannel(in);
    links = p.links.size();
    if (links == 0) state.SkipWithError(Win1251ToUtf8(p.problem).c_str());
    if (!p.notExcluded.empty()) state.SkipWithError("the exclusion failed");
    benchmark::DoNotOptimize(p);
  }
  state.counters["links"] = static_cast<double>(links);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.indexPage.size()));
}
void BM_ProposalOnTwoMiBList(benchmark::State& state) { BM_Proposal(state, false); }
void BM_ProposalWithCorrectionsOnTwoMiBList(benchmark::State& state) { BM_Proposal(state, true); }
BENCHMARK(BM_ProposalOnTwoMiBList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProposalWithCorrectionsOnTwoMiBList)->Unit(benchmark::kMillisecond);

// A headline and a text picked in a 2 MiB article (a page that is mostly comments).
void BM_PicksOnTwoMiBArticle(benchmark::State& state) {
  std::string article = "<html><head><title>Post - Example</title></head><body><h1 class=\"entry-title\">Post</h1>"
                        "<div class=\"entry-content\"><p>" + kExcerpt + "</p></div><ol class=\"comments\">";
  for (int i = 0; article.size() < kTwoMiB; ++i)
    article += "<li class=\"comment\"><div class=\"c\"><p>" + kExcerpt + "</p></div></li>";
  article += "</ol></body></html>";
  for (auto _ : state) {
    HeadlineMarkers h = ProposeHeadline(article, {"h1", 0, "Post"});
    std::vector<IndexEdit> cut = ProposeTextCut(article, {"p", 0, kExcerpt});
    if (h.start.empty() || cut.empty()) state.SkipWithError("no pick");
    benchmark::DoNotOptimize(cut);
  }
}
BENCHMARK(BM_PicksOnTwoMiBArticle)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skimlet
