// The pages a run keeps as fetched, per folder, for the macro editor's preview.
#include <gtest/gtest.h>

#include "engine/DownLoad.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::MacroStep;

TEST(RunFetchedPages, EachFolderKeepsThePagesItsStepsWorkedOnAsTheyArrived) {
  const std::string index = "<a href=\"/n/1.html\">1</a> <a href=\"/n/2.html\">2</a>";
  const std::string sport = "<a href=\"/s/1.html\">s</a>";
  test::HttpTestServer site;
  site.Get("/index.html", [&](const httplib::Request&, httplib::Response& res) { res.set_content(index, "text/html"); });
  site.Get("/sport.html", [&](const httplib::Request&, httplib::Response& res) { res.set_content(sport, "text/html"); });
  site.Get(R"(/(n|s)/(\d)\.html)", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content("<title>" + req.matches[1].str() + req.matches[2].str() + "</title>ARTICLE", "text/html");
  });
  site.Start();

  test::TempDir dir;
  ChannelTree tree(dir.path());
  ASSERT_TRUE(test::WriteMacro(dir / "Accounts/Site/", {MacroStep("GetStart", site.url("/index.html"), "href", "-1")}));
  ASSERT_TRUE(test::WriteMacro(dir / "Accounts/Site/News/",
                               {MacroStep("FindUrlNews", "/n/", "-1"), MacroStep("EditUrlNews"),
                                MacroStep("GetNews", "ARTICLE", "", "", "0"), MacroStep("GotoMacro", "0")}));
  ASSERT_TRUE(test::WriteMacro(dir / "Accounts/Site/Sport/", {MacroStep("GetStart", site.url("/sport.html"), "href", "-1")}));
  NodePtr channel = tree.AddFolderNode("Site", nullptr, true);
  NodePtr news = tree.AddFolderNode("News", channel, true);
  NodePtr sportFolder = tree.AddFolderNode("Sport", channel, true);
  MakeDirs(dir / "Accounts/Site/Later");
  NodePtr later = tree.AddFolderNode("Later", channel, true);  // no macro

  test::RecordingHost host;
  TDownload run(tree, host);
  EXPECT_FALSE(run.Fetched(news).index) << "nothing before the run";
  run.SetChannel(channel);
  run.Start();
  run.Join();

  FetchedPages c = run.Fetched(channel), n = run.Fetched(news), s = run.Fetched(sportFolder);
  ASSERT_TRUE(c.index && n.index && s.index);
  EXPECT_EQ(*c.index, index);
  EXPECT_EQ(c.indexURL, site.url("/index.html"));
  EXPECT_EQ(n.index, c.index) << "the rubric worked on the channel's index page, shared, not copied";
  EXPECT_EQ(*n.index, index) << "as it arrived: the links the run took are not marked";
  EXPECT_NE(run.Buffers().IndexHTML, index);
  ASSERT_TRUE(n.news);
  EXPECT_EQ(*n.news, "<title>n2</title>ARTICLE");
  EXPECT_EQ(n.newsURL, site.url("/n/2.html"));
  EXPECT_FALSE(c.news);
  EXPECT_EQ(*s.index, sport);
  EXPECT_EQ(s.news, n.news) << "the news page of the run so far";
  EXPECT_EQ(run.Fetched(later).index, s.index);
  EXPECT_EQ(run.Fetched(nullptr).index, s.index) << "a folder the run has not seen: its last pages";
}

}  // namespace
}  // namespace skimlet
