// Atom feeds of saved news, read back by a real feed parser.
#include "store/Feed.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using Lines = std::vector<std::string>;

std::time_t At(int year, int month, int day, int hour, int minute) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

std::string Utc(std::time_t t) {
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
  return buf;
}

// A news file as the run writes it: the header comment, the attachment block, the page.
std::string NewsText(const std::string& name, const std::string& url, const std::string& date,
                     const std::string& time, const std::string& block, const std::string& page) {
  return "<!-- The file created from Skimlet. See https://skimlet.example/\r\nSkimletNAME:" + name +
         "\r\nSkimletURL:" + url + "\r\nSkimletNode:" + Cp("Лента") + "\r\nSkimletDate:" + date +
         "\r\nSkimletTime:" + time + "\r\n-->\r\n" + block + page;
}

struct Library {
  test::TempDir data;
  ChannelTree tree{data.path()};
  NodePtr channel, rubric;
  Library() {
    MakeDirs(data / "Accounts/Лента/Мир");
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    channel = tree.Channels().at(0);
    rubric = tree.Children(channel).at(0);
  }
  void Save(const NodePtr& folder, const std::string& fileName, const std::string& name, const std::string& url,
            std::time_t when, const std::string& body = "<p>text</p>", const std::string& block = "") {
    test::WriteFile(tree.FolderPath(folder) + fileName,
                    NewsText(Cp(name), url, ShortDate(when), LongTime(when), block,
                             "<html><head><title>T</title></head><body>" + Cp(body) + "</body></html>"));
  }
  Lines Parse(const NodePtr& folder, int limit = kDefaultFeedLimit, std::time_t now = 0) {
    std::string path = data / "out.atom";
    WriteFileAtomic(path, BuildFeed(tree, folder, limit, now).xml);
    return test::ParseFeed(path);
  }
};

TEST(NewsHeaderTest, ReadsTheHeaderAndWhereThePageBegins) {
  std::string text = NewsText("Name", "http://h/a.html", "03/01/26", "10:00:00", "", "<p>page</p>");
  NewsHeader h;
  std::size_t body = ParseNewsHeader(text, h);
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(text.substr(body), "<p>page</p>");
  EXPECT_EQ(std::tuple(h.name, h.url, h.node, h.date, h.time),
            std::tuple("Name", "http://h/a.html", Cp("Лента"), "03/01/26", "10:00:00"));
  EXPECT_EQ(ParseNewsHeader("<html><body>a page put here by hand</body></html>", h), std::string::npos);
  EXPECT_EQ(ParseNewsHeader("<!-- a comment\r\nthat never closes\r\n", h), std::string::npos);
  EXPECT_EQ(ParseNewsHeader("<!-- a plain comment -->\r\n-->\r\n<p>x</p>", h), std::string::npos);  // no name, no URL
}

TEST(FeedTest, NewestFirstOncePerAddressLimitedWithRubricsAsCategories) {
  Library lib;
  lib.Save(lib.channel, "Старая.html", "Старая", "http://h/old.html", At(2026, 3, 1, 9, 0));
  lib.Save(lib.rubric, "Средняя.html", "Средняя", "http://h/mid.html", At(2026, 3, 1, 10, 0));
  lib.Save(lib.rubric, "Новая.htm", "Новая", "http://h/new.html", At(2026, 3, 2, 8, 30));  // a favourite
  lib.Save(lib.channel, "Повтор.html", "Повтор", "http://h/mid.html", At(2026, 3, 1, 11, 0));  // saved again
  test::WriteFile(lib.tree.FolderPath(lib.channel) + "notes.html", "<html>a page the user put here</html>");

  Lines all = lib.Parse(lib.channel);
  EXPECT_EQ(test::FeedValues(all, "bozo"), Lines{"0"});
  EXPECT_EQ(test::FeedValues(all, "feed.title"), Lines{"Лента"});
  EXPECT_EQ(test::FeedValues(all, "title"), (Lines{"Новая", "Повтор", "Старая"}));
  EXPECT_EQ(test::FeedValues(all, "tags"), (Lines{"Мир", "", ""}));
  EXPECT_EQ(test::FeedValues(all, "updated"),
            (Lines{Utc(At(2026, 3, 2, 8, 30)), Utc(At(2026, 3, 1, 11, 0)), Utc(At(2026, 3, 1, 9, 0))}));
  EXPECT_EQ(test::FeedValues(all, "feed.updated"), Lines{Utc(At(2026, 3, 2, 8, 30))});

  EXPECT_EQ(test::FeedValues(lib.Parse(lib.channel, 2), "title"), (Lines{"Новая", "Повтор"}));
  Lines rubric = lib.Parse(lib.rubric);
  EXPECT_EQ(test::FeedValues(rubric, "feed.title"), Lines{"Лента / Мир"});
  EXPECT_EQ(test::FeedValues(rubric, "title"), (Lines{"Новая", "Средняя"}));
  // Ids follow the address alone, so a reader keeps its read marks across rewrites.
  EXPECT_EQ(test::FeedValues(rubric, "id")[1], test::FeedValues(all, "id")[1]);
  EXPECT_NE(test::FeedValues(rubric, "id")[0], test::FeedValues(rubric, "id")[1]);
}

TEST(FeedTest, AReaderSeesTitlesLinksTextAndPicturesInAnyEncoding) {
  Library lib;
  std::string folder = lib.tree.FolderPath(lib.rubric);
  test::WriteFile(folder + "Attachment/111111111111111.png", "png");
  lib.Save(lib.rubric, "a.html", "Мост & <дорога> \"открыты\"", "http://h/news/a.html?id=1&x=2",
           At(2026, 3, 1, 10, 0),
           "<p>Мост открыт</p><img SRC=\"Attachment/111111111111111.png\"><img SRC=\"Attachment/222222222222222.gif\">"
           "<a href=\"other.html\">ещё</a>",
           "<!-- SkimletAttLocal:222222222222222.gif SkimletAttURL:http://h/img/gone.gif -->\r\n"
           "<!-- SkimletAttLocal:111111111111111.png SkimletAttURL:http://h/img/here.png -->\r\n"
           "<!-- Skimlet DataEnd -->\r\n");
  // A page kept as it came (recoding off), and a header another locale dated, without an address.
  test::WriteFile(folder + "u.html", NewsText("Привет", "http://h/u.html", "02/28/26", "10:00:00", "",
                                              "<html><head><meta charset=\"utf-8\"></head><body>Тёплый день"
                                              "\xEF\xBF\xBE ﬁ</body></html>"));
  test::WriteFile(folder + "r.html", NewsText(Cp("Снег\x01 идёт"), "", "27.02.2026", "07:15:00", "", "<body>x</body>"));
  Lines feed = lib.Parse(lib.rubric);
  ASSERT_EQ(test::FeedValues(feed, "bozo"), Lines{"0"}) << test::FeedValues(feed, "bozo_exception").at(0);
  EXPECT_EQ(test::FeedValues(feed, "title"), (Lines{"Мост & <дорога> \"открыты\"", "Привет", "Снег идёт"}));
  EXPECT_EQ(test::FeedValues(feed, "link")[0], "http://h/news/a.html?id=1&x=2");
  EXPECT_EQ(test::FeedValues(feed, "id")[0], "tag:skimlet.example,2026:http://h/news/a.html?id=1&x=2");
  EXPECT_NE(test::FeedValues(feed, "id")[2].find("news/"), std::string::npos);  // from its place instead
  EXPECT_EQ(test::FeedValues(feed, "updated")[2], Utc(At(2026, 2, 27, 7, 15)));
  std::string content = test::FeedValues(feed, "content").at(0);
  EXPECT_NE(content.find("<p>Мост открыт</p><img src=\"" + FileUrl(folder + "Attachment/111111111111111.png") +
                         "\" /><img src=\"http://h/img/gone.gif\" /><a href=\"http://h/news/other.html\">ещё</a>"),
            std::string::npos)
      << content;  // the local copy, the original where none was fetched, relative links resolved
  EXPECT_EQ(content.find("<title>"), std::string::npos);
  EXPECT_EQ(FileUrl("/tmp/a b/Мир/1.png"), "file://localhost/tmp/a%20b/%D0%9C%D0%B8%D1%80/1.png");
  EXPECT_EQ(test::FeedValues(feed, "content")[1], "Тёплый день ﬁ");  // U+FFFE has no place in XML
}

TEST(FeedTest, AnEmptyFolderGivesAValidFeedAndTheChannelFeedIsWrittenWhole) {
  Library lib;
  Lines empty = lib.Parse(lib.rubric, kDefaultFeedLimit, At(2026, 5, 1, 12, 0));
  EXPECT_EQ(test::FeedValues(empty, "bozo"), Lines{"0"});
  EXPECT_EQ(test::FeedValues(empty, "feed.updated"), Lines{Utc(At(2026, 5, 1, 12, 0))});

  lib.Save(lib.rubric, "a.html", "Одна", "http://h/a.html", At(2026, 3, 1, 10, 0));
  std::string path, error;
  test::WriteFile(lib.data / "feeds", "a file where the folder should be");
  EXPECT_FALSE(WriteChannelFeed(lib.tree, lib.rubric, &path, &error));
  EXPECT_NE(error.find("feeds"), std::string::npos) << error;
  ::unlink((lib.data / "feeds").c_str());
  ASSERT_TRUE(WriteChannelFeed(lib.tree, lib.rubric, &path, &error)) << error;
  EXPECT_EQ(path, lib.data / "feeds/Лента.atom");  // a rubric's news go into its channel's feed
  EXPECT_EQ(test::FeedValues(test::ParseFeed(path), "title"), Lines{"Одна"});
}

}  // namespace
}  // namespace skimlet
