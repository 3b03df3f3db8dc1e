// The editor's live preview on a fixed index page and a fixed news page: every command kind,
// the macro followed from step to step, the history, and the fetch the preview may make.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "authoring/MacroPreview.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::MacroStep;

const char* const kIndexUrl = "http://site.test/index.html";
const char* const kIndex =
    "<html><body class=\"news-list\"><a href=\"news/1.html\">1</a> <a href='/about.html'>a</a>\n"
    "<A HREF=news/2.html>2</A> <a href=\"news/3.html\">3</a></body></html>";
const char* const kNewsUrl = "http://site.test/news/2.html";
const std::string kNews = Cp(
    "<html><head><title>News: 5/10</title><script>x()</script></head>\n"
    "<body><div class=\"article\">Text <a href=\"b.html\">b</a> Реклама</div></body></html>");

// Channel "Site" with rubric "News", whose macro loops over the news links.
struct Preview {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  NodePtr channel, rubric;
  MacroTable table;
  HistorySnapshot history;
  PreviewInput in;

  Preview() {
    MakeDirs(dir / "Accounts/Site/News");
    channel = tree.AddFolderNode("Site", nullptr, true);
    rubric = tree.AddFolderNode("News", channel, true);
    Set({MacroStep("FindUrlNews", "news/*.html", "-1"), MacroStep("EditUrlNews"),
         MacroStep("GetNews", "class=\"article\"", "", "", "0"),
         MacroStep("EditHTMLNews", "StandartParameter=0", "StandartParameter=0", "5/10", Cp("Пять из десяти")),
         MacroStep("FindNameNews", "<title>", "</title>"),
         MacroStep("GotoMacro", "0", "StandartParameter=1", "StandartParameter=1", "class=\"article\""),
         MacroStep("SaveNews")});
    in.pages.index = std::make_shared<const std::string>(kIndex);
    in.pages.indexURL = kIndexUrl;
    in.pages.news = std::make_shared<const std::string>(kNews);
    in.pages.newsURL = kNewsUrl;
    in.history = &history;
    in.folder = rubric;
    in.table = &table;
  }
  void Set(const std::vector<TTmpOneMacroComand>& steps) {
    table = MacroTable{};
    for (const auto& s : steps) table.steps[table.count++] = s;
  }
  void Loaded(const std::string& url) { history.Append(MakeHistoryLine(0, url, "x") + "\r\n"); }
  StepPreview At(int step) {
    in.step = step;
    return PreviewStep(tree, in);
  }
  std::string Utf(const std::string& s) { return Win1251ToUtf8(s); }
};

TEST(MacroPreviewLinks, EveryMatchingLinkTheLoadedOnesAndTheNext) {
  Preview p;
  p.Loaded("http://site.test/news/1.html");  // as GetNews tests it: after the EditUrlNews step
  StepPreview r = p.At(0);
  ASSERT_EQ(r.kind, StepPreview::Kind::kLinks);
  EXPECT_EQ(r.pageLinks, 4u);
  ASSERT_EQ(r.links.size(), 3u);
  EXPECT_EQ(r.links[0].link, "news/1.html");
  EXPECT_EQ(r.links[0].url, "http://site.test/news/1.html");
  EXPECT_TRUE(r.links[0].loadedBefore);
  EXPECT_FALSE(r.links[0].next);
  EXPECT_TRUE(r.links[1].next);
  EXPECT_FALSE(r.links[1].loadedBefore);
  EXPECT_FALSE(r.links[2].next);
  EXPECT_TRUE(r.positive);
  EXPECT_NE(p.Utf(r.summary).find("подходят: 3, из них уже загружены: 1"), std::string::npos) << p.Utf(r.summary);
  EXPECT_NE(p.Utf(r.summary).find("Следующая новость: http://site.test/news/2.html"), std::string::npos);

  p.in.checkHistory = false;  // "Разрешить загружать URL повторно"
  r = p.At(0);
  EXPECT_TRUE(r.links[0].next);
  EXPECT_FALSE(r.links[0].loadedBefore);

  p.table.steps[0].P1 = "nothing*.html";
  r = p.At(0);
  EXPECT_TRUE(r.links.empty());
  EXPECT_FALSE(r.positive);
  EXPECT_NE(p.Utf(r.summary).find("переход к шагу №-1"), std::string::npos) << p.Utf(r.summary);
}

TEST(MacroPreviewLinks, TheCacheGivesTheSameAsWorkingItOutAgain) {
  Preview p;
  PreviewCache cache;
  p.in.cache = &cache;
  auto same = [&](const char* what) {
    SCOPED_TRACE(what);
    StepPreview cached = p.At(0);
    p.in.cache = nullptr;
    StepPreview fresh = p.At(0);
    p.in.cache = &cache;
    ASSERT_EQ(cached.links.size(), fresh.links.size());
    for (std::size_t i = 0; i < fresh.links.size(); ++i) {
      EXPECT_EQ(cached.links[i].url, fresh.links[i].url);
      EXPECT_EQ(cached.links[i].loadedBefore, fresh.links[i].loadedBefore);
      EXPECT_EQ(cached.links[i].next, fresh.links[i].next);
    }
  };
  same("first");
  p.table.steps[0].P1 = "news/2";  // the fragment changes: the links keep what they became
  same("other fragment");
  p.table.steps[0].P1 = "news/*.html";
  p.Loaded("http://site.test/news/1.html");
  p.in.historyVersion = 1;
  same("history");
  EXPECT_TRUE(p.At(0).links[0].loadedBefore);
  p.table.steps[1] = MacroStep("EditUrlNews", "", "", "", "?x");
  same("another EditUrlNews");
  EXPECT_EQ(p.At(0).links[0].url, "http://site.test/news/1.html?x");
  p.in.pages.index = std::make_shared<const std::string>("<a href=\"news/9.html\">");
  same("another page");
  EXPECT_EQ(p.At(0).links[0].link, "news/9.html");
}

TEST(MacroPreviewLinks, EverythingLoadedLeavesNoNextNews) {
  Preview p;
  for (const char* n : {"1", "2", "3"}) p.Loaded(std::string("http://site.test/news/") + n + ".html");
  StepPreview r = p.At(0);
  EXPECT_EQ(r.links.size(), 3u);
  EXPECT_FALSE(r.positive);
  for (const PreviewLink& l : r.links) EXPECT_TRUE(l.loadedBefore && !l.next);
  // The steps behind it see no news URL.
  EXPECT_NE(p.Utf(p.At(1).summary).find("Адреса новости нет"), std::string::npos);
}

TEST(MacroPreviewEdit, EditUrlNewsShowsTheNextLinkBeforeAndAfter) {
  Preview p;
  p.Loaded("http://site.test/news/1.html");  // no longer the address GetNews tests
  p.Loaded("http://site.test/item/1.html?print=1");
  p.table.steps[1] = MacroStep("EditUrlNews", "news/", "item/", "", "?print=1");
  StepPreview r = p.At(1);
  ASSERT_EQ(r.kind, StepPreview::Kind::kEdit);
  EXPECT_EQ(r.before, "news/2.html");
  EXPECT_EQ(r.after, "http://site.test/item/2.html?print=1");
  EXPECT_TRUE(r.positive);
  EXPECT_FALSE(r.changes.empty());
  ASSERT_EQ(r.log.size(), 2u) << "the run's own two log lines";
  EXPECT_NE(p.Utf(r.log[1]).find("ГОТОВО. Полученный Url=http://site.test/item/2.html?print=1"), std::string::npos);
  // The link FindUrlNews would take is the first one whose address, as this step makes it,
  // the history does not hold.
  p.Loaded("http://site.test/item/2.html?print=1");
  EXPECT_EQ(p.At(1).before, "news/3.html");
}

TEST(MacroPreviewEdit, EditHTMLNewsIsTheRunsOwnCommand) {
  Preview p;
  StepPreview r = p.At(3);
  ASSERT_EQ(r.kind, StepPreview::Kind::kEdit);
  EXPECT_EQ(r.before, kNews);
  // The same result as the command in a run with the same start page.
  test::RecordingHost host;
  TDownload run(p.tree, host);
  run.MutableBuffers().StartURL = kIndexUrl;
  run.MutableBuffers().HTML = kNews;
  run.EditHTMLNews("StandartParameter=0", "StandartParameter=0", "5/10", Cp("Пять из десяти"));
  EXPECT_EQ(r.after, run.Buffers().HTML);
  EXPECT_NE(r.after.find("<!-- The script delete Skimlet -->"), std::string::npos);
  EXPECT_NE(r.after.find(Cp("Пять из десяти")), std::string::npos);
  EXPECT_GE(r.changes.size(), 2u);
  EXPECT_NE(p.Utf(r.summary).find("Изменённых мест: "), std::string::npos);
  EXPECT_EQ(r.log.size(), 2u);
}

TEST(MacroPreviewFind, GetStartGetNewsAndGotoMacroShowTheMatchInItsText) {
  Preview p;
  p.Set({MacroStep("GetStart", kIndexUrl, "news-list", "-999")});
  StepPreview r = p.At(0);
  ASSERT_EQ(r.kind, StepPreview::Kind::kFind);
  EXPECT_TRUE(r.positive);
  ASSERT_TRUE(r.match);
  EXPECT_EQ(r.excerpt.substr(r.match->start, r.match->length), "news-list");
  EXPECT_EQ(r.excerpt, std::string(kIndex).substr(0, r.excerpt.size())) << "the context around the match";
  p.table.steps[0].P2 = "body*news/";  // a "*" pattern: the span from the first part to the last
  r = p.At(0);
  EXPECT_EQ(r.excerpt.substr(r.match->start, r.match->length), "body class=\"news-list\"><a href=\"news/");
  p.table.steps[0].P2 = "missing";
  r = p.At(0);
  EXPECT_FALSE(r.positive);
  EXPECT_FALSE(r.match);
  p.table.steps[0].P1 = "http://elsewhere.test/";
  EXPECT_NE(p.Utf(p.At(0).source).find("не с адреса этого шага"), std::string::npos);

  Preview q;
  StepPreview news = q.At(2);
  ASSERT_EQ(news.kind, StepPreview::Kind::kFind);
  EXPECT_TRUE(news.positive);
  EXPECT_EQ(news.excerpt.substr(news.match->start, news.match->length), "class=\"article\"");
  q.table.steps[2].P1 = "class=\"story\"";
  EXPECT_NE(q.Utf(q.At(2).summary).find("не будет принята, переход к шагу №0"), std::string::npos);

  // GotoMacro: jump if found, in the news page after the EditHTMLNews step before it.
  StepPreview jump = q.At(5);
  EXPECT_TRUE(jump.positive);
  EXPECT_NE(q.Utf(jump.summary).find("Переход к шагу №0"), std::string::npos);
  ASSERT_FALSE(jump.log.empty());
  EXPECT_NE(q.Utf(jump.log[0]).find("GotoMacro. Фрагмент НАЙДЕН."), std::string::npos);
  q.table.steps[5].P2 = "StandartParameter=2";  // jump if not found
  StepPreview stay = q.At(5);
  EXPECT_FALSE(stay.positive);
  EXPECT_TRUE(stay.log.empty());
  EXPECT_TRUE(stay.match) << "the fragment is still shown where it is";
  q.table.steps[5] = MacroStep("GotoMacro", "abc", "StandartParameter=1", "StandartParameter=0", "news/1");
  StepPreview onUrl = q.At(5);
  EXPECT_TRUE(onUrl.positive) << "NewsURL is the link FindUrlNews takes, made whole by EditUrlNews";
  EXPECT_NE(q.Utf(onUrl.summary).find("не номер шага"), std::string::npos);
}

TEST(MacroPreviewIndex, EditIndexHTMLNarrowsTheListAndGetNextIndexNamesThePageItLoads) {
  Preview p;
  p.in.pages.index = std::make_shared<const std::string>(
      std::string(kIndex) + "<nav><a href=\"news/9.html\">9</a><a class=\"next\" href=\"/page/2/\">next</a></nav>");
  p.Set({MacroStep("EditIndexHTML", "<nav>*</a>", "<nav>"), MacroStep("FindUrlNews", "news/*.html", "3"),
         MacroStep("GotoMacro", "1"), MacroStep("GetNextIndex", "class=\"next\"", "5", "", "-1")});
  StepPreview r = p.At(0);
  ASSERT_EQ(r.kind, StepPreview::Kind::kEdit);
  EXPECT_EQ(r.after, std::string(kIndex) + "<nav><a class=\"next\" href=\"/page/2/\">next</a></nav>");
  EXPECT_NE(p.Utf(r.summary).find("ссылок на странице: 6 -> 5"), std::string::npos) << p.Utf(r.summary);
  r = p.At(1);  // FindUrlNews works on the narrowed page
  ASSERT_EQ(r.links.size(), 3u);
  EXPECT_EQ(r.pageLinks, 5u);
  r = p.At(3);
  EXPECT_TRUE(r.positive);
  EXPECT_EQ(p.Utf(r.summary), "Следующая страница списка: http://site.test/page/2/");
  p.table.steps[3].P1 = "class=\"prev\"";
  r = p.At(3);
  EXPECT_FALSE(r.positive);
  EXPECT_NE(p.Utf(r.summary).find("переход к шагу №-1"), std::string::npos) << p.Utf(r.summary);
}

TEST(MacroPreviewFind, GetNewsOfAPageInTheHistory) {
  Preview p;
  p.Set({MacroStep("GetNews", "class=\"article\"", "", "", "4")});  // NewsURL: the last fetched page's
  p.Loaded(kNewsUrl);
  StepPreview r = p.At(0);
  EXPECT_FALSE(r.positive);
  EXPECT_NE(p.Utf(r.summary).find("уже есть в истории загрузок"), std::string::npos);
  EXPECT_NE(p.Utf(r.summary).find("переход к шагу №4"), std::string::npos);
}

TEST(MacroPreviewName, TheTitleAfterTheEditsAndTheFileNameTheRunWouldGive) {
  Preview p;
  StepPreview r = p.At(4);
  ASSERT_EQ(r.kind, StepPreview::Kind::kName);
  EXPECT_EQ(r.title, Cp("News Пять из десяти")) << "the EditHTMLNews step before it has replaced 5/10";
  EXPECT_EQ(r.name, Cp("News Пять из десяти"));
  EXPECT_TRUE(r.positive);
  // A news file of that name exists: the run would number the new one.
  test::WriteFile(p.tree.FolderPath(p.rubric) + "News Пять из десяти.html", "x");
  EXPECT_EQ(p.At(4).name, Cp("News Пять из десяти (1)"));

  p.table.steps[4].P1 = "<h1>";
  r = p.At(4);
  EXPECT_FALSE(r.positive);
  EXPECT_TRUE(r.name.empty());
  EXPECT_NE(p.Utf(r.summary).find("имя по умолчанию"), std::string::npos);
}

TEST(MacroPreviewKinds, NoPagesOtherCommandsAndSwitchedOffSteps) {
  Preview p;
  p.in.pages = FetchedPages{};
  StepPreview r = p.At(0);
  EXPECT_EQ(r.kind, StepPreview::Kind::kNone);
  EXPECT_NE(p.Utf(r.summary).find("канал ещё не загружался"), std::string::npos);
  EXPECT_NE(p.Utf(p.At(4).summary).find("не дошла до GetNews"), std::string::npos);
  EXPECT_EQ(p.At(6).kind, StepPreview::Kind::kNote);
  p.table.steps[6] = MacroStep("Unknown");
  EXPECT_NE(p.Utf(p.At(6).summary).find("загрузка не знает"), std::string::npos);
  p.table.steps[6].Active = false;
  EXPECT_EQ(p.Utf(p.At(6).summary).rfind("Шаг выключен", 0), 0u);
  EXPECT_EQ(p.At(7).kind, StepPreview::Kind::kNone) << "beyond the steps";
  EXPECT_EQ(p.At(-1).kind, StepPreview::Kind::kNone);
}

TEST(MacroPreviewKinds, SwitchedOffStepsAreNotFollowed) {
  Preview p;
  p.table.steps[3].Active = false;  // EditHTMLNews off: the title keeps 5/10
  EXPECT_EQ(p.At(4).title, "News 510");
}

// Applying the places to `before` gives `after`.
std::string Apply(const std::string& before, const std::string& after, const std::vector<TextChange>& changes) {
  std::string out;
  std::size_t at = 0;
  for (const TextChange& c : changes) {
    out += before.substr(at, c.beforeStart - at);
    out += after.substr(c.afterStart, c.afterLength);
    at = c.beforeStart + c.beforeLength;
  }
  return out + before.substr(at);
}

TEST(MacroPreviewChanges, PlacesCoverEveryDifferenceAndNothingElse) {
  EXPECT_TRUE(ChangedPlaces("same", "same", 10).empty());
  auto one = ChangedPlaces("http://a/x.html", "http://a/dir/x.html", 10);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].beforeLength, 0u);
  EXPECT_EQ(one[0].afterLength, 4u);
  const std::string script = "<p>a</p><script>" + std::string(5000, 'j') + "</script><p>b</p>";
  const std::string cleaned = "<p>a</p><!-- The script delete Skimlet --><p>b</p>";
  auto cut = ChangedPlaces(script, cleaned, 10);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(Apply(script, cleaned, cut), cleaned);
  EXPECT_LT(cut[0].beforeStart, 10u);

  std::mt19937 rng(7);
  std::string base;
  for (int i = 0; i < 3000; ++i) base += static_cast<char>('a' + rng() % 26);
  for (int round = 0; round < 50; ++round) {
    std::string edited = base;
    for (int e = 0; e < 8; ++e) {
      std::size_t at = rng() % edited.size();
      switch (rng() % 3) {
        case 0: edited.insert(at, std::string(rng() % 40, 'Z')); break;
        case 1: edited.erase(at, rng() % 200); break;
        default: edited.replace(at, rng() % 30, "<tag>"); break;
      }
    }
    bool more = false;
    auto places = ChangedPlaces(base, edited, 1000, &more);
    EXPECT_FALSE(more);
    EXPECT_EQ(Apply(base, edited, places), edited) << "round " << round;
  }
  bool more = false;
  std::string many = base;
  for (std::size_t i = 0; i < many.size(); i += 50) many[i] = '#';
  EXPECT_EQ(ChangedPlaces(base, many, 5, &more).size(), 5u);
  EXPECT_TRUE(more);
}

TEST(MacroPreviewFetch, ThePageForAStepAndItsFetch) {
  test::HttpTestServer server;
  server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><body>index page</body></html>", "text/html");
  });
  server.Get("/news/2.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<html><body>news page</body></html>", "text/html");
  });
  server.Start();
  Preview p;
  // The steps' pages: GetStart its own URL; a news step the news URL it works on; a link step
  // in a rubric without GetStart the channel's index page.
  p.Set({MacroStep("GetStart", server.url("/index.html"), "x", "-1"), MacroStep("GetNews", "x")});
  p.in.step = 0;
  PreviewPageRequest start = PageForStep(p.tree, p.in);
  EXPECT_EQ(start.url, server.url("/index.html"));
  EXPECT_TRUE(start.indexPage);
  Preview q;
  q.in.channelStartURL = "http://site.test/index.html";
  q.in.step = 2;
  EXPECT_EQ(PageForStep(q.tree, q.in).url, "http://site.test/news/1.html");
  EXPECT_FALSE(PageForStep(q.tree, q.in).indexPage);
  q.in.step = 0;
  EXPECT_EQ(PageForStep(q.tree, q.in).url, "http://site.test/index.html");

  const int before = server.requestCount();
  for (int step = 0; step < 7; ++step) q.At(step);
  EXPECT_EQ(server.requestCount(), before) << "the preview itself never fetches";

  PreviewFetch fetch(p.dir.path(), RunSettings{});
  PreviewFetch::Result index = fetch.Fetch(server.url("/index.html"), true);
  EXPECT_TRUE(index.ok);
  EXPECT_EQ(index.page, "<html><body>index page</body></html>");
  PreviewFetch second(p.dir.path(), RunSettings{});
  EXPECT_EQ(second.Fetch(server.url("/news/2.html"), false).page, "<html><body>news page</body></html>");
  PreviewFetch missing(p.dir.path(), RunSettings{});
  PreviewFetch::Result gone = missing.Fetch(server.url("/gone.html"), false);
  EXPECT_FALSE(gone.ok);
  EXPECT_NE(p.Utf(gone.error).find("/gone.html"), std::string::npos);
}

TEST(MacroPreviewFetch, StopEndsAFetchFromASilentServer) {
  test::HttpTestServer silent;
  silent.Get("/index.html", [&silent](const httplib::Request&, httplib::Response& res) {
    silent.WaitForStop(std::chrono::seconds(20));
    res.set_content("late", "text/html");
  });
  silent.Start();
  Preview p;
  PreviewFetch fetch(p.dir.path(), RunSettings{});
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fetch.Stop();
  });
  PreviewFetch::Result r = fetch.Fetch(silent.url("/index.html"), true);
  stopper.join();
  EXPECT_FALSE(r.ok);
  silent.Stop();
}

}  // namespace
}  // namespace skimlet
