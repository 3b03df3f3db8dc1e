// The new-channel proposal on its own: which headline it names a news by (checked on an
// article it never saw, as the run will meet them), and what it says when it cannot help.
// The list side is measured end to end on page fixtures in tests/cli/new_channel_cli_test.cpp.
#include <gtest/gtest.h>

#include <functional>

#include "authoring/ChannelProposal.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;

const std::string kList = "<html><body><div class=\"menu\"><a href=\"/\">Home</a></div><ul class=\"l\">"
                          "<li><a href=\"/a/1.html\">One</a></li><li><a href=\"/a/2.html\">Two</a></li>"
                          "<li><a href=\"/a/3.html\">Three</a></li></ul></body></html>";

ProposalInput Input(const std::string& list, const std::vector<std::string>& articles) {
  ProposalInput in;
  in.startUrl = in.indexUrl = "http://site.example/index.html";
  in.indexPage = list;
  for (std::size_t i = 0; i < articles.size(); ++i) {
    in.exampleUrls.push_back("http://site.example/a/" + std::to_string(i + 1) + ".html");
    in.examplePages.push_back(articles[i]);
  }
  return in;
}

TEST(ChannelProposal, NamesTheNewsByTheHeadlineTheTitleHolds) {
  struct Case {
    const char* what;
    std::function<std::string(const std::string& headline, int n)> article;
  };
  const Case cases[] = {
      {"the <h1> rather than the title with the site's name",
       [](const std::string& h, int) { return "<title>" + h + Cp(" — Вести") + "</title><h1>" + h + "</h1><p>x</p>"; }},
      {"the headline <h1> rather than the logo <h1>",
       [](const std::string& h, int) {
         return "<title>" + h + Cp(" | Вести</title><h1 class=\"logo\">Вести</h1><h1 class=\"headline\">") + h +
                "</h1>";
       }},
      {"og:title when there is no <h1>",
       [](const std::string& h, int) {
         return "<head><title>" + h + Cp(" :: Вести") + "</title><meta property=\"og:title\" content=\"" + h +
                "\"></head><body><p>x</p></body>";
       }},
      {"the element inside a heading whose tag names the article",
       [](const std::string& h, int n) {
         return "<title>" + h + "</title><h1 id=\"post-" + std::to_string(n) + "\"><span class=\"t\">" + h +
                "</span></h1>";
       }},
      {"the title when it is all there is", [](const std::string& h, int) { return "<title>" + h + "</title>"; }},
  };
  const std::string one = Cp("Мост открыт"), two = Cp("Школа отремонтирована"), three = Cp("Парк расширят");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChannelProposal p = ProposeChannel(Input(kList, {c.article(one, 1), c.article(two, 2)}));
    EXPECT_TRUE(p.problem.empty());
    EXPECT_EQ(p.exampleNames, (std::vector<std::string>{one, two}));
    // An article the proposal never saw gets its headline too, and passes GetNews.
    const std::string later = c.article(three, 3);
    EXPECT_EQ(ProposedNewsName(p, later), three) << p.nameStart << " ... " << p.nameEnd;
    EXPECT_TRUE(ProposedNewsAccepted(p, later)) << p.newsKey;
  }
}

TEST(ChannelProposal, SaysWhyWhenItCannotHelp) {
  const std::string article = "<title>A</title><h1>A</h1>";
  ChannelProposal p = ProposeChannel(Input(kList, {article}));
  EXPECT_EQ(p.links.size(), 3u);

  ProposalInput missing = Input(kList, {article});
  missing.exampleUrls = {"http://site.example/b/9.html"};
  p = ProposeChannel(missing);
  EXPECT_TRUE(p.steps.empty());
  EXPECT_NE(p.problem.find(Cp("нет ссылки на пример")), std::string::npos);

  p = ProposeChannel(Input(kList, {"<p>no heading at all</p>"}));
  EXPECT_NE(p.problem.find(Cp("не найден заголовок")), std::string::npos);

  // Links with no element around them at all are a list too (it used to crash).
  p = ProposeChannel(Input("<a href=\"/a/1.html\">One</a> <a href=\"/a/2.html\">Two</a>", {article}));
  EXPECT_EQ(p.links.size(), 2u);

  // A page nested without end still gives its list, read in bounded time.
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div><span>";
  for (int i = 0; i < 100000; ++i) deep += "</p>";
  p = ProposeChannel(Input(deep + kList, {article}));
  EXPECT_EQ(p.links.size(), 3u);
}

}  // namespace
}  // namespace skimlet
