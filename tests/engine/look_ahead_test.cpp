// Fetching ahead changes how fast a run is, never what it does; a busy server gets one retry.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <regex>
#include <thread>

#include "engine/DownLoad.h"
#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using test::Cp;

TTmpOneMacroComand S(const char* command, std::string p1 = "", std::string p2 = "", std::string p3 = "",
                     std::string p4 = "") {
  return {command, std::move(p1), std::move(p2), std::move(p3), std::move(p4), "", true};
}

// Links news/1..9 with a duplicate and a fragment (news 3 is missing), q?id=1 before q?id=12,
// and other/1..3; news 4 asks the macro to turn to the other links.
struct Site {
  test::HttpTestServer server;
  std::atomic<int> busy{0};           // the next answers to news/2 are 429 (Retry-After: retryAfter)
  std::string retryAfter = "0";
  std::atomic<bool> silentFrom2{false};  // news/2 and later never answer
  Site() {
    server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
      std::string page = "<div>";
      for (const char* l : {"news/1.html", "/news/1.html", "news/2.html", "q?id=1", "news/3.html#top", "q?id=12",
                            "news/4.html", "other/1.html", "news/5.html", "news/6.html", "other/2.html",
                            "news/7.html", "news/8.html", "news/9.html", "other/3.html"})
        page += std::string("<a href=\"") + l + "\">x</a> ";
      res.set_content(page + "</div>", "text/html; charset=windows-1251");
    });
    auto article = [this](const httplib::Request& req, httplib::Response& res) {
      std::string name = req.matches[1].str() + req.matches[2].str();
      if (name == "news2" && busy > 0) {
        --busy;
        res.status = 429;
        res.set_header("Retry-After", retryAfter);
        return;
      }
      if (name == "news3") {  // a failure says the same whoever met it
        res.status = 404;
        return;
      }
      if (silentFrom2 && name != "news1" && name != "index") {
        server.WaitForStop(10s);
        return;
      }
      std::string body = Cp("<html><head><title>Статья ") + name + "</title></head><body>ARTICLE " + name +
                         (name == "news4" ? " TURN" : "") + " <script>document.write('x')</script>" +
                         " <a href=\"../rel.html\">r</a></body></html>";
      res.set_content(body, "text/html; charset=windows-1251");
    };
    server.Get(R"(/(news|other)/(\d+)\.html)", article);
    server.Get(R"(/(q)())", article);
    server.Start();
  }
};

// A loop over "news/" that turns to the "id=1" links (step 9), then to "other/" (step 15),
// when EditHTMLNews has made JUMP of a page's TURN; the whole channel in one folder.
std::vector<TTmpOneMacroComand> Macro(const std::string& index) {
  return {S("GetStart", index, "div", "-999"),
          S("FindUrlNews", "news/", "9"),
          S("EditUrlNews"),
          S("GetNews", "ARTICLE", "", "", "1"),
          S("EditHTMLNews", "StandartParameter=0", "StandartParameter=0", "TURN", "JUMP"),
          S("GotoMacro", "9", "StandartParameter=1", "StandartParameter=1", "JUMP"),
          S("FindNameNews", "<title>", "</title>"),
          S("SaveNews"),
          S("GotoMacro", "1"),
          S("FindUrlNews", "*id=1*", "15"),
          S("EditUrlNews", "id=", "x=1&id="),
          S("GetNews", "ARTICLE", "", "", "9"),
          S("FindNameNews", "<title>", "</title>"),
          S("SaveNews"),
          S("GotoMacro", "9"),
          S("FindUrlNews", "other/", "9999"),
          S("NotOperation"),
          S("EditUrlNews"),
          S("GetNews", "ARTICLE", "", "", "15"),
          S("FindNameNews", "<title>", "</title>"),
          S("SaveNews"),
          S("GotoMacro", "15")};
}

struct Channel {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  test::RecordingHost host;
  NodePtr channel;
  Channel(const std::vector<TTmpOneMacroComand>& steps, int lookAhead) {
    MakeDirs(dir / "Accounts/Лента");
    channel = tree.AddFolderNode("Лента", nullptr, true);
    FolderMacro macro;
    std::copy(steps.begin(), steps.end(), macro.Table().steps.begin());
    macro.Table().count = static_cast<std::int32_t>(steps.size());
    EXPECT_TRUE(macro.WriteFolderMacroFile(tree.FolderPath(channel)));
    host.settings.lookAhead = lookAhead;
  }
  std::unique_ptr<TDownload> Make() {
    auto run = std::make_unique<TDownload>(tree, host);
    run->SetChannel(channel);
    return run;
  }
  bool RunToEnd(TDownload& run, std::chrono::seconds limit = 20s) {
    auto joined = std::async(std::launch::async, [&] { run.Join(); });
    if (joined.wait_for(limit) == std::future_status::ready) return true;
    run.StopRun();
    return false;
  }
  // Everything a run leaves: log, history and files, with this directory and the clock
  // taken out.
  std::string Outcome() {
    static const std::regex stamp(R"(\b\d{1,4}[./-]\d{1,2}[./-]\d{2,4}\b|\b\d{1,2}:\d{2}:\d{2}\b)");
    auto clean = [&](std::string text) {
      for (std::size_t at; (at = text.find(dir.path())) != std::string::npos;) text.replace(at, dir.path().size(), "<dir>/");
      return std::regex_replace(text, stamp, "<time>");
    };
    std::string all = clean(host.LogText()) + "--- history\n" + clean(Win1251ToUtf8(host.history.SnapshotText()));
    std::map<std::string, std::string> files;
    for (const auto& f : std::filesystem::recursive_directory_iterator(dir / "Accounts"))
      if (f.is_regular_file()) files[f.path().string().substr(dir.path().size())] = test::ReadFile(f.path().string());
    for (const auto& [name, bytes] : files) all += "--- " + name + "\n" + clean(bytes) + "\n";
    return all;
  }
};

TEST(LookAhead, TheRunsLogHistoryAndFilesAreTheSameWithAndWithoutIt) {
  Site site;
  const auto steps = Macro(site.server.url("/index.html"));
  struct Case {
    const char* what;
    std::vector<std::string> history;  // lines already there
    bool notCheckHistory;
  };
  for (const Case& c : {Case{"empty history", {}, false},
                        Case{"news 2 and 7 loaded before", {"news/2.html", "news/7.html"}, false},
                        Case{"history not checked", {"news/5.html"}, true}}) {
    std::string outcome[2];
    for (int on = 0; on < 2; ++on) {
      Channel ch(steps, on ? 4 : 0);
      ch.host.settings.notCheckHistory = c.notCheckHistory;
      for (const std::string& path : c.history)
        ch.host.history.Add("01.01.2026 10:00:00  NewsURL=" + site.server.url("/" + path) + "  old", 100);
      auto run = ch.Make();
      run->Start();
      ASSERT_TRUE(ch.RunToEnd(*run)) << c.what;
      EXPECT_EQ(run->PagesAhead(), 0) << c.what;  // nothing outlives the run
      EXPECT_EQ(run->PagesTakenAhead() > 0, on == 1) << c.what;
      outcome[on] = ch.Outcome();
    }
    EXPECT_EQ(outcome[1], outcome[0]) << c.what;
    EXPECT_NE(outcome[0].find("other1"), std::string::npos) << c.what;  // the macro turned
    EXPECT_NE(outcome[0].find("q?x=1&id=1"), std::string::npos) << c.what;
    EXPECT_NE(outcome[0].find("news/3.html) не получен. HTTP 404"), std::string::npos) << c.what;
  }
}

TEST(LookAhead, AStopOrAPauseDropsThePagesUnderWayAtOnce) {
  Site site;
  site.silentFrom2 = true;
  Channel ch(Macro(site.server.url("/index.html")), 4);
  auto run = ch.Make();
  run->Start();
  auto until = [](auto done) {
    for (auto end = std::chrono::steady_clock::now() + 10s; !done(); std::this_thread::sleep_for(1ms))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  };
  ASSERT_TRUE(until([&] { return run->PagesAheadArriving() >= 2; }));
  run->Pause();
  EXPECT_EQ(run->PagesAhead(), 0);
  run->Resume();
  auto t0 = std::chrono::steady_clock::now();
  run->StopRun();
  ASSERT_TRUE(ch.RunToEnd(*run, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  EXPECT_EQ(run->PagesAhead(), 0);
  EXPECT_EQ(ch.host.Log().back(), "16711680 > Конец загрузки в " + ch.tree.FolderPath(ch.channel));
}

TEST(LookAhead, ABusyServerThatSaysWhenIsAskedOnceMore) {
  struct Case {
    int busy;
    const char* retryAfter;
    const char* line;  // the retry line, "" for none
    bool saved;
  };
  for (const Case& c : {Case{1, "1", "Сервер занят (HTTP 429), повтор через 1 с", true},
                        Case{2, "0", "Сервер занят (HTTP 429), повтор через 0 с", false},
                        Case{1, "soon", "", false}}) {
    Site site;
    site.busy = c.busy;
    site.retryAfter = c.retryAfter;
    Channel ch({S("GetStart", site.server.url("/index.html"), "div", "-999"), S("FindUrlNews", "news/2", "9999"),
                S("EditUrlNews"), S("GetNews", "ARTICLE", "", "", "9999"), S("FindNameNews", "<title>", "</title>"),
                S("SaveNews")},
               0);
    auto run = ch.Make();
    run->Start();
    ASSERT_TRUE(ch.RunToEnd(*run));
    std::string log = ch.host.LogText();
    EXPECT_EQ(log.find("Сервер занят") != std::string::npos, *c.line != '\0') << log;
    if (*c.line) {
      EXPECT_NE(log.find(c.line), std::string::npos) << log;
    }
    EXPECT_EQ(run->SavedCount(), c.saved ? 1 : 0) << log;
    if (!c.saved) {
      EXPECT_NE(log.find("HTTP 429"), std::string::npos) << log;
    }
  }
  {
    // A host that answers 429 gets half the look-ahead for the rest of the run, whether the
    // page fetched ahead or the run's own fetch met it.
    Site site;
    site.busy = 1;
    Channel ch(Macro(site.server.url("/index.html")), 4);
    auto run = ch.Make();
    run->Start();
    ASSERT_TRUE(ch.RunToEnd(*run));
    EXPECT_EQ(run->LookAheadFor(HostKey(site.server.url("/"))), 2);
    EXPECT_EQ(run->LookAheadFor("http://elsewhere:80"), 4);
    EXPECT_NE(ch.host.LogText().find("Статья news2.html"), std::string::npos);
  }
  // A wait of more than a minute is cut to one, and a stop ends it.
  Site site;
  site.busy = 5;
  site.retryAfter = "3600";
  Channel ch({S("GetStart", site.server.url("/news/2.html"), "", "-999")}, 0);
  auto run = ch.Make();
  run->Start();
  for (auto end = std::chrono::steady_clock::now() + 10s;
       ch.host.LogText().find("повтор через 60 с") == std::string::npos && std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(1ms);
  run->StopRun();
  EXPECT_TRUE(ch.RunToEnd(*run, 2s));
  EXPECT_NE(ch.host.LogText().find("повтор через 60 с"), std::string::npos);
}

}  // namespace
}  // namespace skimlet
