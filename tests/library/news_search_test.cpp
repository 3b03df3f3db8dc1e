#include "library/NewsSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::TempDir;
using test::WriteFile;

std::string Plain(std::string_view html) {
  std::string out;
  AppendPlainUpperText(html, out);
  return out;
}

TEST(NewsSearchText, TagsCommentsScriptsAndStylesAreNotText) {
  std::string text = Plain(Cp("<p class=\"Москва\">Привет, <b>Мир</b>!</p><!-- скрыто --><SCRIPT type=x>var секрет;"
                              "</script ><style>.стиль{}</style>a < b &amp; c&nbsp;d &#1025;ж &#x41;"));
  EXPECT_NE(text.find(Cp("ПРИВЕТ,  МИР !")), std::string::npos);
  for (const char* hidden : {"МОСКВА", "СКРЫТО", "СЕКРЕТ", "СТИЛЬ", "CLASS"})
    EXPECT_EQ(text.find(Cp(hidden)), std::string::npos) << hidden;
  EXPECT_NE(text.find("A < B & C D"), std::string::npos);
  EXPECT_NE(text.find(Cp("ЕЖ A")), std::string::npos);  // Ё folded into Е
  // An unclosed script hides the rest; a stray "<" at the end is text.
  EXPECT_EQ(Plain("a<script>b"), "A ");
  EXPECT_EQ(Plain("a<"), "A<");
}

TEST(NewsSearchText, WordsAreSplitAtBlanksAndAllMustOccur) {
  std::vector<std::string> words = SearchWords(Cp("  мост\tNew  "));
  EXPECT_EQ(words, (std::vector<std::string>{Cp("МОСТ"), "NEW"}));
  EXPECT_TRUE(HoldsAllWords(Cp("НОВЫЙ МОСТ NEWS"), words));
  EXPECT_FALSE(HoldsAllWords(Cp("НОВЫЙ МОСТ"), words));
  EXPECT_TRUE(SearchWords("   ").empty());
  // Words match where a word starts; Ё and Е are one letter.
  const struct {
    const char *typed, *text;
    bool found;
  } cases[] = {{"Тай", "в овертайме", false}, {"тай", "Тайм-аут, (тайфун)", true}, {"ёлкино", "ЕЛКИНО", true},
               {"елкино", "в Ёлкино", true},   {"ёж", "ежи", true},                    {"2026", "в2026", false},
               {"new", "(news)", true}};
  for (const auto& c : cases) {
    std::string hay;
    AppendPlainUpperText(Cp(c.text), hay);
    EXPECT_EQ(HoldsAllWords(hay, SearchWords(Cp(c.typed))), c.found) << c.typed << " in " << c.text;
  }
}

// Accounts/A (channel), Accounts/A/R (rubric), Accounts/B, with places that are never searched.
struct SearchTree {
  TempDir dir;
  std::string accounts = dir / "Accounts/";
  SearchTree() {
    WriteFile(accounts + "A/one.html", Cp("<html><body>Новости: Москва строит мост</body></html>"));
    WriteFile(accounts + "A/R/Москва зимой.htm", Cp("<p>Снег и лёд</p>"));
    WriteFile(accounts + "B/attr.html", Cp("<img alt=\"Москва\"><p>Мост</p>"));
    WriteFile(accounts + "B/Attachment/pic.html", Cp("Москва мост"));
    WriteFile(accounts + "B/.hidden/x.html", Cp("Москва мост"));
    WriteFile(accounts + "B/.dot.html", Cp("Москва мост"));
    WriteFile(accounts + "B/text.txt", Cp("Москва мост"));
  }
};

// Runs a search to its end and returns the hits.
std::vector<NewsHit> SearchAll(NewsSearch& search, std::mutex& m, std::condition_variable& cv, bool& ended,
                               const std::string& dir, const std::string& accounts, const char* words) {
  {
    std::lock_guard lock(m);
    ended = false;
  }
  search.Start(dir, accounts, SearchWords(Cp(words)));
  std::unique_lock lock(m);
  EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return ended && !search.Running(); }));
  std::vector<NewsHit> hits;
  search.TakeHits(hits);
  std::sort(hits.begin(), hits.end(), [](const NewsHit& a, const NewsHit& b) { return a.path < b.path; });
  return hits;
}

TEST(NewsSearchRun, FindsNamesAndTextsBelowTheStartFolderOnly) {
  SearchTree t;
  std::mutex m;
  std::condition_variable cv;
  bool ended = false;
  NewsSearch search([&] {
    std::lock_guard lock(m);
    ended = true;
    cv.notify_all();
  });
  std::vector<NewsHit> hits = SearchAll(search, m, cv, ended, t.accounts, t.accounts, "москва");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].path, t.accounts + "A/R/Москва зимой.htm");  // by its name
  EXPECT_EQ(hits[0].folder, Cp("A/R"));
  EXPECT_EQ(hits[0].name, Cp("Москва зимой"));
  EXPECT_EQ(hits[1].path, t.accounts + "A/one.html");  // by its text
  EXPECT_EQ(hits[1].folder, "A");
  EXPECT_GT(hits[1].modified, 0);
  EXPECT_EQ(search.FilesSeen(), 3u);

  hits = SearchAll(search, m, cv, ended, t.accounts, t.accounts, "МОСТ новости");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].path, t.accounts + "A/one.html");
  hits = SearchAll(search, m, cv, ended, t.accounts + "A/R/", t.accounts, "москва");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_TRUE(SearchAll(search, m, cv, ended, t.accounts + "B/", t.accounts, "москва").empty());
}

TEST(NewsSearchRun, ANewSearchCancelsTheOldAndForgetsItsHits) {
  TempDir dir;
  for (int i = 0; i < 300; ++i) WriteFile(dir / ("Accounts/A/n" + std::to_string(i) + ".html"), "common word");
  WriteFile(dir / "Accounts/A/rare.html", "rare word");
  NewsSearch search([] {});
  search.Start(dir / "Accounts/", dir / "Accounts/", SearchWords("common"));
  search.Start(dir / "Accounts/", dir / "Accounts/", SearchWords("rare"));
  while (search.Running()) std::this_thread::yield();
  std::vector<NewsHit> hits;
  search.TakeHits(hits);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].name, "rare");
  search.Start(dir / "Accounts/", dir / "Accounts/", SearchWords("common"));
  search.Cancel();
  EXPECT_FALSE(search.Running());
}

}  // namespace
}  // namespace skimlet
