// skimlet-cli feed, and the feeds a download writes when the settings ask.
#include <gtest/gtest.h>

#include <cstdio>

#include <chrono>
#include <thread>

#include "platform/Files.h"
#include "store/Feed.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::FeedValues;
using Lines = std::vector<std::string>;

struct Cli {
  test::TempDir home, config;
  test::CommandResult Run(const std::string& args, bool mergeErr = false) {
    return test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " " + args,
                            mergeErr);
  }
  void News(const std::string& folder, const std::string& file, const std::string& name, const std::string& date) {
    test::WriteFile(home / ("Accounts/" + folder + "/" + file),
                    "<!-- The file created from Skimlet. See https://skimlet.example/\r\nSkimletNAME:" + Cp(name) +
                        "\r\nSkimletURL:http://h/" + file + "\r\nSkimletNode:x\r\nSkimletDate:" + date +
                        "\r\nSkimletTime:10:00:00\r\n-->\r\n<html><body>" + Cp(name) + "</body></html>");
  }
};

TEST(CliFeed, WritesTheFeedOfAChannelOrRubric) {
  Cli cli;
  cli.News("Лента", "a.html", "Первая", "03/01/26");
  cli.News("Лента/Мир", "b.html", "Вторая", "03/02/26");
  cli.News("Лента/Мир", "c.html", "Третья", "03/03/26");

  auto r = cli.Run("feed Лента");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">", 0), 0u);
  EXPECT_NE(r.out.find("<title>Третья</title>"), std::string::npos);

  std::string out = cli.home / "out/мир.atom";
  MakeDirs(cli.home / "out");
  r = cli.Run("feed Лента/Мир/ -o " + test::ShellQuote(out) + " --limit 1", true);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "Лента записана в " + out + ", новостей: 1\n");
  Lines feed = test::ParseFeed(out);
  EXPECT_EQ(FeedValues(feed, "bozo"), Lines{"0"});
  EXPECT_EQ(FeedValues(feed, "feed.title"), Lines{"Лента / Мир"});
  EXPECT_EQ(FeedValues(feed, "title"), Lines{"Третья"});
  EXPECT_EQ(FeedValues(feed, "link"), Lines{"http://h/c.html"});
}

TEST(CliFeed, RefusesWhatItCannotDo) {
  Cli cli;
  MakeDirs(cli.home / "Accounts/Лента");
  struct Case { const char* args; int code; const char* says; };
  for (const Case& c : {Case{"feed", 2, "назовите КАНАЛ"}, Case{"feed Нет", 2, "нет канала или рубрики «Нет»"},
                        Case{"feed Лента --limit 0", 2, "--limit"}, Case{"feed Лента --limit", 2, "нужно значение"},
                        Case{"feed Лента Другая", 2, "лишний аргумент «Другая»"},
                        Case{"feed Лента -o /nonexistent/dir/x.atom", 1, "/nonexistent/dir"}}) {
    auto r = cli.Run(c.args, true);
    EXPECT_EQ(r.exitCode, c.code) << c.args;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << ": " << r.out;
  }
}

TEST(CliDownload, WritesTheChannelFeedWithItsPicturesWhenAsked) {
  test::HttpTestServer site;
  site.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<body><a href=\"/n/1.html\">1</a></body>", "text/html");
  });
  site.Get("/n/1.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(Cp("<html><head><title>С картинкой</title></head><body><p class=\"a\">Текст статьи.</p>"
                       "<img src=\"/img/p.png\"></body></html>"),
                    "text/html; charset=windows-1251");
  });
  site.Get("/img/p.png", [](const httplib::Request&, httplib::Response& res) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // arrives after the run has ended
    res.set_content("PNG", "image/png");
  });
  site.Start();
  Cli cli;
  const std::string s0 = "StandartParameter=0";
  ASSERT_TRUE(test::WriteMacro(cli.home / "Accounts/Лента/",
                               {test::MacroStep("GetStart", site.url("/index.html"), "<body", "-999"),
                                test::MacroStep("FindUrlNews", "/n/*.html", "-1"), test::MacroStep("EditUrlNews"),
                                test::MacroStep("GetNews", "class=\"a\"", "", "", "1"),
                                test::MacroStep("EditHTMLNews", s0, s0),
                                test::MacroStep("FindNameNews", "<title>", "</title>"),
                                test::MacroStep("FindAttachment", s0, s0, s0), test::MacroStep("SaveNews"),
                                test::MacroStep("GotoMacro", "1")}));
  ASSERT_EQ(cli.Run("download --log raw").exitCode, 0);
  EXPECT_FALSE(FileExists(cli.home / "feeds/Лента.atom"));  // off by default

  ASSERT_EQ(cli.Run("settings Setting/WriteFeeds.Checked=1").exitCode, 0);
  // The news gone from the folder and the history: the next run saves it again.
  ASSERT_EQ(std::remove((cli.home / "Accounts/Лента/С картинкой.html").c_str()), 0);
  test::WriteFile(cli.home / "history/HTMLhistory.Items.txt", "");
  auto r = cli.Run("download --log raw", true);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  Lines feed = test::ParseFeed(cli.home / "feeds/Лента.atom");
  EXPECT_EQ(FeedValues(feed, "title"), Lines{"С картинкой"});
  std::string content = FeedValues(feed, "content").at(0);
  EXPECT_NE(content.find("src=\"file://localhost/"), std::string::npos) << content;  // the local copy
}

}  // namespace
}  // namespace skimlet
