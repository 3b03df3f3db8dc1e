// The new-channel proposal on its own: which headline it names a news by (checked on an
// article it never saw, as the run will meet them), and what it says when it cannot help.
// The list side is measured end to end on page fixtures in tests/cli/new_channel_cli_test.cpp.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "authoring/ChannelDryRun.h"
#include "authoring/ChannelProposal.h"
#include "page/NewsCleanup.h"
#include "page/Tools.h"
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

TEST(ChannelProposal, LeavesRoomForLongerArticleNumbersUnlessThePageSaysOtherwise) {
  struct Case {
    const char* links;     // the list's links
    const char* later;     // an address a later list may carry
    bool takesLater;       // whether the fragment takes it
    const char* neverTake; // a link of this page the fragment must not take ("" none)
  };
  const Case cases[] = {
      {"/a/998.html /a/999.html /a/997.html", "/a/1000.html", true, ""},
      {"/n/2026/12/07/1234-x.html /n/2026/12/06/1230-y.html", "/n/2027/01/02/10001-z.html", true, ""},
      {"/p?id=41&x=1 /p?id=42&x=1 /p?id=43&x=1", "/p?id=100&x=1", true, ""},
      // Another address of that shape on the page is kept out by the list's region, not by
      // tying the fragment to this month's widths.
      {"/a/998.html /a/999.html /a/997.html", "/a/1000.html", true, "/a/12345.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.links);
    std::string list = "<html><body><ul>", first;
    std::istringstream words(c.links);
    for (std::string link; words >> link;) {
      if (first.empty()) first = link;
      list += "<li><a href=\"" + link + "\">Item " + link + "</a></li>";
    }
    list += "</ul>";
    if (*c.neverTake) list += std::string("<p>See <a href=\"") + c.neverTake + "\">this</a></p>";
    list += "</body></html>";
    ProposalInput in;
    in.startUrl = in.indexUrl = "http://site.example/";
    in.indexPage = list;
    in.exampleUrls = {"http://site.example" + first};
    in.examplePages = {Cp("<title>Мост открыт — Вести</title><h1>Мост открыт</h1><p>x</p>")};
    ChannelProposal p = ProposeChannel(in);
    ASSERT_TRUE(p.problem.empty()) << p.problem;
    EXPECT_EQ(ContainsFragment(c.later, p.linkFragment), c.takesLater) << p.linkFragment;
    if (*c.neverTake) {
      for (const ProposedLink& l : p.links) EXPECT_NE(l.link, c.neverTake) << p.linkFragment;
    }
  }
}

// Real themes write the site's name in a heading of every page and the article's in another;
// only comparing articles tells them apart.
TEST(ChannelProposal, ChoosesTheHeadlineThatDiffersBetweenArticlesAndMatchesTheirLinks) {
  struct Case {
    const char* what;
    std::function<std::string(const std::string& headline, int n)> article;
  };
  const Case cases[] = {
      {"the site's <h1> on every page, the article's in <h2 class=entry-title>",
       [](const std::string& h, int) {
         return "<title>" + Cp("Вести - ") + h + "</title><h1>" + Cp("Вести") + "</h1><h2 class=\"entry-title\">" + h +
                "</h2><p>x</p>";
       }},
      {"a block theme's styled <h1> beside the site's <h1>",
       [](const std::string& h, int n) {
         return "<title>" + h + " &#8211; " + Cp("Вести") + "</title><h1 class=\"wp-block-site-title\">" + Cp("Вести") +
                "</h1><h1 style=\"margin-top:" + std::to_string(n) + "px\" class=\"wp-block-post-title\">" + h + "</h1>";
       }},
      {"the title alone, the site's name cut off", [](const std::string& h, int) { return "<title>" + h + Cp(" | Вести") + "</title>"; }},
      {"the title alone, the site's name first", [](const std::string& h, int) { return "<title>" + Cp("Вести - ") + h + "</title>"; }},
      {"a heading whose own tag names the article, found by the tag before",
       [](const std::string& h, int n) {
         return "<title>" + h + " [" + Cp("Вести") + "]</title><div class=\"page group\"><!-- start -->\n<h1 class=\"sectionedit" +
                std::to_string(n) + "\" id=\"a" + std::to_string(n) + "\">" + h + "</h1>";
       }},
  };
  const std::vector<std::string> heads = {Cp("Мост открыт"), Cp("Школа отремонтирована"), Cp("Кафе «Уют» открылось"),
                                          Cp("Парк расширят")};
  std::string list = "<ul>";
  for (int i = 0; i < 3; ++i)
    list += "<li><a href=\"/a/" + std::to_string(i + 1) + ".html\">" + heads[static_cast<std::size_t>(i)] + "</a></li>";
  list += "</ul>";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProposalInput in = Input(list, {c.article(heads[0], 1)});
    for (int i = 2; i <= 3; ++i) {
      in.compareUrls.push_back("http://site.example/a/" + std::to_string(i) + ".html");
      in.comparePages.push_back(c.article(heads[static_cast<std::size_t>(i - 1)], i));
    }
    ChannelProposal p = ProposeChannel(in);
    EXPECT_TRUE(p.problem.empty()) << p.problem;
    EXPECT_EQ(ProposedNewsName(p, c.article(heads[3], 4)), heads[3]) << p.nameStart << " ... " << p.nameEnd;
  }
  // Every heading names the site: no markers tell the articles apart, and the proposal says so.
  ProposalInput same = Input(list, {Cp("<title>Вести</title><h1>Вести</h1>")});
  same.compareUrls = {"http://site.example/a/2.html"};
  same.comparePages = same.examplePages;
  EXPECT_TRUE(ProposeChannel(same).nameCollision);
  // A click on the link inside the headline picks the headline.
  const std::string article = "<title>T</title><h2 class=\"entry-title\"><a href=\"/a/1.html\" rel=\"bookmark\">" +
                              heads[0] + "</a></h2>";
  HeadlineMarkers m = ProposeHeadline(article, {"a", 0, heads[0]});
  EXPECT_EQ(m.start, "<h2 class=\"entry-title\">");
  EXPECT_EQ(m.name, heads[0]);
}

// The fragment follows the addresses' parts: what every link has stays, what differs is "*",
// so later pages, next month's articles and other first letters are taken too.
TEST(ChannelProposal, TheFragmentFollowsTheStructureOfTheAddresses) {
  struct Case {
    const char* links;
    const char* fragment;
  };
  const Case cases[] = {
      {"http://h.ru/2026/12/%d0%bf%d1%80/ http://h.ru/2026/11/latin-slug/", "http://h.ru/~~~~/~~/*/"},
      {"/wiki/%D0%9F%D1%80 /wiki/%D0%A1%D0%B0_%9F", "/wiki/*"},
      {"/%D0%BD%D0%BE/a /%D0%BD%D0%BE/b", "/%D0%BD%D0%BE/*"},
      {"/news/998.html /news/999.html", "/news/*.html"},
      {"/p?id=41&x=1 /p?id=42&x=1", "/p?id=*&x=~"},
      {"/blog/my-post/", "/blog/*/"},
      {"../a-b.html ../c.html", "../*.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.links);
    std::string list = "<ul>", first;
    std::istringstream words(c.links);
    for (std::string link; words >> link;) {
      if (first.empty()) first = link;
      list += "<li><a href=\"" + link + "\">Item</a></li>";
    }
    ProposalInput in;
    in.startUrl = in.indexUrl = "http://h.ru/l/";
    in.indexPage = list + "</ul>";
    in.exampleUrls = {ExampleAddress(in.indexUrl, first)};
    in.examplePages = {"<title>A</title><h1>A</h1>"};
    EXPECT_EQ(ProposeChannel(in).linkFragment, c.fragment);
  }
}

// The trial run reads the list as the download will and says what would go wrong.
TEST(ChannelDryRun, ListsEveryPageAndWarnsOfLoopsLikeNamesAndNewsOtherFoldersHold) {
  auto list = [](int n, const std::string& next) {
    return "<ul><li><a href=\"/a/" + std::to_string(2 * n - 1) + ".html\">Item " + std::to_string(2 * n - 1) +
           "</a></li><li><a href=\"/a/" + std::to_string(2 * n) + ".html\">Item " + std::to_string(2 * n) +
           "</a></li></ul><p class=\"pager\"><a href=\"" + next + "\">&raquo;</a></p>";
  };
  std::map<std::string, std::string> site = {
      {"http://s.ru/l/1", list(1, "/l/2")},
      {"http://s.ru/l/2", list(2, "/l/1")},  // the pager of the last page leads back to the first
  };
  for (int i = 1; i <= 4; ++i)
    site["http://s.ru/a/" + std::to_string(i) + ".html"] =
        "<title>T</title><h1>" + std::string(i == 4 ? "Story 3" : "Story " + std::to_string(i)) + "</h1>";
  ProposalFetch fetch = [&](const std::string& url, bool) {
    PreviewFetch::Result r;
    r.ok = site.count(url) > 0;
    r.page = r.ok ? site[url] : std::string();
    r.address = url;
    return r;
  };
  ProposalInput in;
  in.startUrl = in.indexUrl = "http://s.ru/l/1";
  in.indexPage = site[in.indexUrl];
  in.exampleUrls = {"http://s.ru/a/1.html"};
  in.examplePages = {site["http://s.ru/a/1.html"]};
  in.pages = 3;
  const ChannelProposal p = ProposeCompared(in, fetch);
  ASSERT_TRUE(p.turns) << p.problem;
  const ChannelDryRun dry = DryRunProposal(p, in, fetch, 100, {}, [](const std::string& url) {
    return url == "http://s.ru/a/2.html" ? Cp("Другой/Лента") : std::string();
  });
  EXPECT_EQ(dry.listPages, (std::vector<std::string>{"http://s.ru/l/1", "http://s.ru/l/2"}));
  ASSERT_EQ(dry.news.size(), 4u);
  EXPECT_EQ(dry.news[1].savedBy, Cp("Другой/Лента"));
  EXPECT_TRUE(dry.nameClash);
  std::string warnings;
  for (const std::string& w : dry.warnings) warnings += w + "\n";
  for (const char* said : {"страница списка уже пройдена: http://s.ru/l/1", "одно имя «Story 3»", "(первая — в «Другой/Лента»)"})
    EXPECT_NE(warnings.find(Cp(said)), std::string::npos) << said << "\n" << warnings;
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

namespace skimlet {
namespace {

// An article of the demo's shape; `n` changes what later articles say.
std::string Article(int n) {
  const std::string s = std::to_string(n);
  return "<html><head><title>Story " + s + " - Site</title></head><body class=\"p" + s +
         "\"><div class=\"logo\">Site</div><h2>Menu</h2><div class=\"kicker\"><h2>Story " + s +
         "</h2></div><div class=\"lead\">Lead " + s + "</div>\n<div class=\"text body\"><p>First " + s +
         "</p><div><p>Second</p></div></div>\n<div class=\"share\">Share</div><p>Footer</p></body></html>";
}

TEST(ChannelProposal, TakesTheUsersPicksAsLaterArticlesWillMeetThem) {
  struct Case {
    const char* what;
    ElementPick pick;  // as the browser reports it
    std::string name;  // of the picked article, "" when no markers fit
    std::string kept, dropped;  // by the text cut, "" when it is not asked for
  };
  const Case cases[] = {
      {"a block by its class", {"div", 2, "Lead 1"}, "Lead 1", "", ""},
      {"a heading whose tag stands elsewhere first", {"h2", 1, "STORY 1"}, "Story 1", "", ""},
      {"the place is wrong but the text finds it", {"h2", 7, "Story 1"}, "Story 1", "", ""},
      {"the browser shows more than the source at that place", {"div", 2, "Ad Lead 1"}, "Lead 1", "", ""},
      {"the text of a paragraph is the block around it", {"p", 0, "First 1"}, "", "<div class=\"text body\"><p>First",
       "Share"},
      {"a paragraph deeper in", {"p", 1, "Second"}, "", "</p></div></div>", "logo"},
      {"a text the page does not have", {"p", 0, "Nowhere"}, "", "", ""},
  };
  const std::string first = Article(1), later = Article(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.kept.empty() && c.dropped.empty()) {
      HeadlineMarkers m = ProposeHeadline(first, c.pick);
      EXPECT_EQ(m.name, c.name);
      if (c.name.empty()) continue;
      EXPECT_EQ(NewsTitleBetween(later, m.start, m.end), c.name.substr(0, c.name.size() - 1) + "2") << m.start;
      ElementPick shown = HeadlineElement(first, m.start);
      EXPECT_EQ(ProposeHeadline(first, shown).start, m.start) << "the view marks what the markers take";
      continue;
    }
    std::vector<IndexEdit> cut = ProposeTextCut(first, c.pick);
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(CutElement(first, cut).nth, 3) << "the view marks the block kept: the page's fourth <div>";
    for (const std::string& page : {first, later}) {
      const std::string kept = CutArticle(page, cut);
      EXPECT_NE(kept.find(c.kept), std::string::npos) << kept;
      EXPECT_EQ(kept.find(c.dropped), std::string::npos) << kept;
      EXPECT_NE(kept.find("<title>"), std::string::npos) << "the head stays";
    }
  }
  EXPECT_TRUE(ProposeTextCut(first, {"p", 0, "Nowhere"}).empty());

  // The picks go into the steps, after the name is taken; pictures off drop FindAttachment.
  ProposalInput in = Input(kList, {first});
  in.nameStart = "<div class=\"lead\">";
  in.nameEnd = "</div>";
  in.textCut = ProposeTextCut(first, {"p", 0, "First 1"});
  in.pictures = false;
  ChannelProposal p = ProposeChannel(in);
  EXPECT_EQ(p.exampleNames, std::vector<std::string>{"Lead 1"});
  std::string commands;
  for (const TTmpOneMacroComand& s : p.steps) commands += s.Command + " ";
  EXPECT_EQ(commands, "GetStart FindUrlNews EditUrlNews GetNews EditHTMLNews FindNameNews EditHTMLNews EditHTMLNews SaveNews "
                      "GotoMacro ");
}

TEST(ChannelProposal, AnExcludedLinkStaysOutOnEveryPageOfTheList) {
  auto list = [](int from) {
    std::string page = "<html><body><ul class=\"news\">";
    page += "<li><a href=\"/a/99.html\">Subscribe</a></li>";
    for (int i = from; i < from + 3; ++i)
      page += "<li><a href=\"/a/" + std::to_string(i) + ".html\">Story</a></li>";
    return page + "</ul><div class=\"side\"><a href=\"/a/77.html\">Popular</a></div></body></html>";
  };
  const std::string article = "<title>A</title><h1>A</h1>";
  struct Case {
    const char* what;
    std::vector<std::string> excluded;
    std::vector<std::string> taken;  // on a later page of the list
  };
  const Case cases[] = {
      {"nothing excluded", {}, {"/a/99.html", "/a/31.html", "/a/32.html", "/a/33.html"}},
      {"a link like the articles", {"http://site.example/a/99.html"}, {"/a/31.html", "/a/32.html", "/a/33.html"}},
      {"an article of the list", {"http://site.example/a/22.html"}, {"/a/99.html", "/a/31.html", "/a/32.html", "/a/33.html"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProposalInput in = Input(list(21), {article});
    in.exampleUrls = {"http://site.example/a/21.html"};
    in.excludedUrls = c.excluded;
    ChannelProposal p = ProposeChannel(in);
    EXPECT_TRUE(p.notExcluded.empty());
    for (const ProposedLink& l : p.links)
      for (const std::string& e : c.excluded) EXPECT_NE(l.url, e);
    std::vector<std::string> taken;
    for (const ProposedLink& l : ReadListPage(p, list(31), in.indexUrl).links) taken.push_back(l.link);
    EXPECT_EQ(taken, c.taken);
  }
}

}  // namespace
}  // namespace skimlet
