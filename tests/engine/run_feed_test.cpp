// What a run adds around its work: the note on who started it, and the channel's feed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "engine/DownLoad.h"
#include "library/Feed.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::Cp;
using test::MacroStep;

struct FeedRun {
  test::HttpTestServer server;
  test::TempDir data;
  ChannelTree tree{data.path()};
  test::RecordingHost host;
  NodePtr channel;
  FeedRun() {
    server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<body><a href=\"/n/1.html\">1</a> <a href=\"/n/2.html\">2</a></body>", "text/html");
    });
    server.Get(R"(/n/(\d)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(Cp("<html><head><title>Новость ") + req.matches[1].str() +
                          Cp("</title></head><body><div class=\"article\">Текст новости, достаточно длинный.</div>"
                             "</body></html>"),
                      "text/html; charset=windows-1251");
    });
    server.Start();
    std::string folder = data / "Accounts/Лента/";
    EXPECT_TRUE(test::WriteMacro(folder, {MacroStep("GetStart", server.url("/index.html"), "<body", "-999"),
                                          MacroStep("FindUrlNews", "/n/*.html", "-1"), MacroStep("EditUrlNews"),
                                          MacroStep("GetNews", "class=\"article\"", "", "", "1"),
                                          MacroStep("FindNameNews", "<title>", "</title>"), MacroStep("SaveNews"),
                                          MacroStep("GotoMacro", "1")}));
    tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
    channel = tree.Channels().at(0);
  }
  std::vector<std::string> Run(const std::string& note = "") {
    TDownload run(tree, host);
    run.SetChannel(channel);
    run.SetStartNote(note);
    run.SetHistorySnapshot(host.history.SnapshotText());
    run.Start();
    run.Join();
    return host.Log();
  }
  std::string FeedPath() { return data / "feeds/Лента.atom"; }
};

TEST(RunFeed, ARunThatSavedNewsRewritesTheChannelFeed) {
  FeedRun f;
  f.host.settings.writeFeeds = true;
  std::vector<std::string> log = f.Run(Cp("Загрузка запущена по расписанию"));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], "16711680 Лента> Загрузка запущена по расписанию");
  EXPECT_EQ(log[log.size() - 2], "0 > Записана Atom-лента канала: " + f.FeedPath());
  EXPECT_NE(log.back().find("Конец загрузки"), std::string::npos);
  std::vector<std::string> feed = test::ParseFeed(f.FeedPath());
  EXPECT_EQ(test::FeedValues(feed, "bozo"), std::vector<std::string>{"0"});
  std::vector<std::string> titles = test::FeedValues(feed, "title");
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Новость 1", "Новость 2"}));

  // A run that saves nothing leaves the feed alone.
  ASSERT_EQ(::unlink(f.FeedPath().c_str()), 0);
  std::size_t before = f.host.Log().size();
  log = f.Run();
  EXPECT_FALSE(FileExists(f.FeedPath()));
  EXPECT_EQ(log[before + 1], "16711680 Лента> Начало загрузки в " + f.tree.FolderPath(f.channel));  // no note
}

TEST(RunFeed, NoFeedUnlessAskedAndAFailureIsLoggedWithoutStoppingTheEnd) {
  FeedRun off;
  off.Run();
  EXPECT_EQ(off.host.Saved().size(), 2u);
  EXPECT_FALSE(FileExists(off.FeedPath()));

  FeedRun blocked;
  blocked.host.settings.writeFeeds = true;
  test::WriteFile(blocked.data / "feeds", "a file where the folder should be");
  std::vector<std::string> log = blocked.Run();
  EXPECT_EQ(blocked.host.Saved().size(), 2u);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].rfind("255 > Atom-лента канала не записана: ", 0), 0u) << log[log.size() - 2];
  EXPECT_NE(log.back().find("Конец загрузки"), std::string::npos);
}

}  // namespace
}  // namespace skimlet
