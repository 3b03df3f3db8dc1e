// skimlet-cli download and pictures against a loopback site: what the exit code and the last
// line say about failed fetches, pictures fetched again later, and the cookie jar of two
// processes at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/Files.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using test::MacroStep;
using Req = httplib::Request;
using Res = httplib::Response;

// /index.html links /news/1.html and /news/2.html; each article shows /img/N.gif. Statuses and
// a held answer are switched by the test.
struct Site {
  test::HttpTestServer server;
  std::atomic<int> indexStatus{200}, newsStatus{200}, pictureStatus{200};
  std::atomic<bool> holdB{false}, release{false}, heldSeen{false};
  Site() {
    server.Get("/index.html", [this](const Req&, Res& res) {
      res.status = indexStatus;
      res.set_content("news <a href=\"news/1.html\">1</a> <a href=\"news/2.html\">2</a>", "text/html");
    });
    server.Get(R"(/news/(\d)\.html)", [this](const Req& req, Res& res) {
      const std::string n = req.matches[1].str();
      if (n == "2") res.status = newsStatus;
      res.set_content("<title>News " + n + "</title><p>ARTICLE</p><img src=\"/img/" + n + ".gif\">", "text/html");
    });
    server.Get(R"(/img/(\d)\.gif)", [this](const Req& req, Res& res) {
      if (req.matches[1].str() == "2") res.status = pictureStatus;
      res.set_content("GIF" + req.matches[1].str(), "image/gif");
    });
    // Two more sites that set a cookie each; the first holds its second page until released.
    server.Get(R"(/(a|b)/index.html)", [](const Req& req, Res& res) {
      const std::string s = req.matches[1].str();
      res.set_header("Set-Cookie", s + "=" + s + "-value; Path=/; Max-Age=3600");
      res.set_content("news <a href=\"/" + s + "/1.html\">1</a>", "text/html");
    });
    server.Get(R"(/(a|b)/1.html)", [this](const Req& req, Res& res) {
      if (req.matches[1] == "a") {
        heldSeen = true;
        while (!release && !server.WaitForStop(5ms)) {
        }
      }
      res.set_content("<title>One</title><p>ARTICLE</p>", "text/html");
    });
    server.Start();
  }
};

struct Cli {
  test::TempDir home, config;
  test::CommandResult Run(const std::string& args) {
    return test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " " + args + " --log raw",
                            true);
  }
  test::CommandResult Pictures() {
    return test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " pictures",
                            true);
  }
  // A channel that saves the linked news of `index` with their pictures.
  void Channel(const std::string& name, const std::string& index, const std::string& links) {
    ASSERT_TRUE(test::WriteMacro(
        home / ("Accounts/" + name),
        {MacroStep("GetStart", index, "news", "-999"), MacroStep("FindUrlNews", links, "-1"), MacroStep("EditUrlNews"),
         MacroStep("GetNews", "ARTICLE", "", "", "1"), MacroStep("EditHTMLNews", "StandartParameter=0"),
         MacroStep("FindNameNews", "<title>", "</title>"),
         MacroStep("FindAttachment", "StandartParameter=0", "StandartParameter=0"), MacroStep("SaveNews"),
         MacroStep("GotoMacro", "1")}));
  }
  std::string Attachments(const std::string& channel) { return home / ("Accounts/" + channel + "/Attachment/"); }
  int Files(const std::string& dir, const std::string& suffix = "") {
    int n = 0;
    if (!DirExists(dir)) return 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) n += e.path().string().ends_with(suffix);
    return n;
  }
};

std::string LastLine(const std::string& out) {
  std::string text = out.substr(0, out.find_last_not_of('\n') + 1);
  return text.substr(text.rfind('\n') + 1);
}

TEST(CliDownloadExit, ZeroOnlyWhenEveryFetchWorked) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  auto r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(LastLine(r.out).find("не загружено"), std::string::npos) << r.out;
  EXPECT_EQ(cli.Files(cli.Attachments("Site")), 2);
}

TEST(CliDownloadExit, ThreeWhenPagesOrPicturesFailedAndPicturesComeLater) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  site.newsStatus = 503;
  auto r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_NE(r.out.find("255 Site> step 3>> GetInetFile(" + site.server.url("/news/2.html") +
                       ") не получен. HTTP 503. Переход на шаг №1"),
            std::string::npos)
      << r.out;
  EXPECT_NE(LastLine(r.out).find("Каналов: 1, сохранено новостей: 1, получено байт: "), std::string::npos) << r.out;
  EXPECT_NE(LastLine(r.out).find("; не загружено страниц: 1"), std::string::npos) << r.out;

  // The page again, now with its picture failing: no file, no temporary, a red line.
  site.newsStatus = 200;
  site.pictureStatus = 503;
  r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_NE(r.out.find("255 Site> Вложение не загружено: " + site.server.url("/img/2.gif") + " - HTTP 503"),
            std::string::npos)
      << r.out;
  EXPECT_NE(LastLine(r.out).find("; не загружено картинок: 1"), std::string::npos) << r.out;
  EXPECT_EQ(cli.Files(cli.Attachments("Site")), 1);
  EXPECT_EQ(cli.Files(cli.Attachments("Site"), ".SK-tmp"), 0);

  r = cli.Pictures();  // still failing at the site
  EXPECT_EQ(r.exitCode, 3) << r.out;
  site.pictureStatus = 200;
  r = cli.Pictures();
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(cli.Files(cli.Attachments("Site")), 2);

}

TEST(CliDownloadExit, FourWhenAnIndexPageCouldNotBeFetched) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  cli.Channel("Closed", "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", "news/");
  site.indexStatus = 200;
  auto r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 4) << r.out;
  EXPECT_NE(r.out.find("255 Closed> step 0>>GetStart. Остановка загрузки. Нет ответа: Соединение отклонено"),
            std::string::npos)
      << r.out;
  site.indexStatus = 404;
  r = cli.Run("download Site");
  EXPECT_EQ(r.exitCode, 4) << r.out;
  EXPECT_NE(r.out.find("Нет ответа: HTTP 404"), std::string::npos) << r.out;
}

TEST(CliDownloadLog, PrettyShowsOnlyFailuresInRed) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  site.newsStatus = 503;
  auto r = test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(cli.config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(cli.home.path()) + " download --log pretty", true);
  EXPECT_NE(r.out.find("\033[35mSite> step 1>> FindUrlNews(news/) - OK"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\033[1;31mSite> step 3>> GetInetFile("), std::string::npos) << r.out;
}

TEST(CliDownloadExit, ThreeWhenNewsCouldNotBeWritten) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  // A directory where each news file would go: the write fails, as on a folder we may not write to.
  for (const char* name : {"News 1.html", "News 2.html"})
    std::filesystem::create_directories(cli.home / ("Accounts/Site/" + std::string(name)));
  auto r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_NE(LastLine(r.out).find("Каналов: 1, сохранено новостей: 0,"), std::string::npos) << r.out;
  EXPECT_NE(LastLine(r.out).find("; не записано: 2 новости"), std::string::npos) << r.out;
  std::filesystem::remove(cli.home / "Accounts/Site/News 1.html");
  r = cli.Run("download");
  EXPECT_EQ(r.exitCode, 3) << r.out;
  EXPECT_NE(LastLine(r.out).find("Каналов: 1, сохранено новостей: 1,"), std::string::npos) << r.out;
  EXPECT_NE(LastLine(r.out).find("; не записано: 1 новость"), std::string::npos) << r.out;
}

// Every file and directory under `dir` with its size and modification time.
std::string Listing(const std::string& dir) {
  return test::RunCommand("find " + test::ShellQuote(dir) + " -printf '%p %s %T@\\n' | sort").out;
}

TEST(CliDownloadDryRun, ListsWhatWouldBeSavedWhatTheHistorySkipsAndHowFoldersEndedAndWritesNothing) {
  Site site;
  Cli cli;
  cli.Channel("Site", site.server.url("/index.html"), "news/");
  cli.Channel("B", site.server.url("/b/index.html"), "/b/");  // sets a cookie
  const std::string before = Listing(cli.home.path());
  auto r = cli.Run("download --dry-run");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Listing(cli.home.path()), before) << "no news, history, pictures, cookies or cache";
  for (const std::string& line :
       {"Site: сохранилась бы " + site.server.url("/news/1.html") + " под именем «News 1»",
        "Site: сохранилась бы " + site.server.url("/news/2.html") + " под именем «News 2»",
        std::string("Site: папка кончилась: шаг 1 завершил папку"),
        "B: сохранилась бы " + site.server.url("/b/1.html") + " под именем «One»",
        std::string("Пробная загрузка, ничего не записано. Каналов: 2, сохранилось бы новостей: 3, "
                    "пропущено по истории: 0")})
    EXPECT_NE(r.out.find(line + "\n"), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(r.out.find("Записан файл"), std::string::npos);

  ASSERT_EQ(cli.Run("download Site").exitCode, 0);
  r = cli.Run("download --dry-run Site");
  EXPECT_NE(r.out.find("Site: есть в истории, пропущена " + site.server.url("/news/2.html") + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(LastLine(r.out).find("Каналов: 1, сохранилось бы новостей: 0, пропущено по истории: 2"), std::string::npos)
      << r.out;
  site.indexStatus = 404;  // the same exit status as a download
  EXPECT_EQ(cli.Run("download --dry-run Site").exitCode, 4);
}

TEST(CliCookies, TwoProcessesAtOnceKeepEachOthersCookiesInOnePrivateJar) {
  Site site;
  Cli cli;
  cli.Channel("A", site.server.url("/a/index.html"), "/a/");
  cli.Channel("B", site.server.url("/b/index.html"), "/b/");
  // A has its cookie and waits for its page while B runs from start to end.
  auto first = std::async(std::launch::async, [&] { return cli.Run("download A"); });
  for (int i = 0; i < 2000 && !site.heldSeen; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_TRUE(site.heldSeen);
  auto second = cli.Run("download B");
  EXPECT_EQ(second.exitCode, 0) << second.out;
  site.release = true;
  EXPECT_EQ(first.get().exitCode, 0);
  const std::string jar = test::ReadFile(cli.home / "cookies.txt");
  EXPECT_NE(jar.find("\ta\ta-value\n"), std::string::npos) << jar;
  EXPECT_NE(jar.find("\tb\tb-value\n"), std::string::npos) << jar;
  EXPECT_EQ(std::filesystem::status(cli.home / "cookies.txt").permissions() &
                (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
}

}  // namespace
}  // namespace skimlet
