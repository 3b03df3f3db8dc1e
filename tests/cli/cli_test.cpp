// skimlet-cli as a user runs it: a real process on a real data directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>

#include "platform/Files.h"
#include "store/ChannelFolders.h"
#include "store/History.h"
#include "store/MacroFile.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using test::TempDir;

struct Cli {
  TempDir home, config;
  test::CommandResult Run(const std::string& args, bool mergeErr = false) const {
    return test::RunCommand("XDG_CONFIG_HOME=" + test::ShellQuote(config.path()) + " " SKIMLET_CLI " --home " +
                                test::ShellQuote(home.path()) + " " + args,
                            mergeErr);
  }
  // Runs at the same time as the caller goes on.
  std::future<test::CommandResult> Start(const std::string& args) const {
    return std::async(std::launch::async, [this, args] { return Run(args, true); });
  }
};

TEST(CliList, ShowsTheTreeWithMarksAndCounts) {
  Cli cli;
  MakeDirs(cli.home / "Accounts/Site/Новости");
  MakeDirs(cli.home / "Accounts/Other");
  WriteFolderAttributes(cli.home / "Accounts/Site", kAttrReadOnly);
  test::WriteFile(cli.home / "Accounts/Site/Новости/One.html", "x");
  test::WriteFile(cli.home / "Accounts/Site/Новости/Two.htm", "x");
  SetFileReadOnly(cli.home / "Accounts/Site/Новости/One.html", true);
  auto r = cli.Run("list");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            "[ ]  Other (новостей: 0, непрочитанных: 0)\n"
            "[x]* Site (новостей: 0, непрочитанных: 0)\n"
            "  [ ]* Новости (новостей: 2, непрочитанных: 1)\n");
}

TEST(CliList, MissingAccountsIsAClearError) {
  Cli cli;
  auto r = cli.Run("list", true);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("нет каналов: нет папки " + cli.home.path() + "Accounts/"), std::string::npos) << r.out;
}

TEST(CliSettings, DefaultsWritesAndRefusals) {
  Cli cli;
  auto r = cli.Run("settings Setting/MaxDownloads.Value Setting/hURLReload.Checked");
  EXPECT_EQ(r.out, "Setting/MaxDownloads.Value=500\nSetting/hURLReload.Checked=1\n");
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value=20 Setting/hURLReload.Checked=0").exitCode, 0);
  r = cli.Run("settings Setting/MaxDownloads.Value Setting/hURLReload.Checked");
  EXPECT_EQ(r.out, "Setting/MaxDownloads.Value=20\nSetting/hURLReload.Checked=0\n");
  std::string ini = test::ReadFile(cli.config / "Orvane/Skimlet.ini");
  EXPECT_NE(ini.find("[Setting]"), std::string::npos);
  EXPECT_NE(ini.find("MaxDownloads.Value=20"), std::string::npos);

  EXPECT_EQ(cli.Run("settings Setting/Nope=1", true).exitCode, 2);
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value=lots", true).exitCode, 2);
  cli.Run("settings Setting/MaxDownloads.Value=99999", true);  // clamped into 1..10000
  EXPECT_EQ(cli.Run("settings Setting/MaxDownloads.Value").out, "Setting/MaxDownloads.Value=10000\n");

  r = cli.Run("settings");
  EXPECT_NE(r.out.find("Setting/ConvertToWin1251.Checked=1\n"), std::string::npos);
  EXPECT_NE(r.out.find("View/PanelAccounts.Width=190\n"), std::string::npos);
}

TEST(CliUsage, UnknownCommandFails) {
  Cli cli;
  EXPECT_EQ(cli.Run("frobnicate", true).exitCode, 2);
  EXPECT_EQ(cli.Run("--help").exitCode, 0);
}

// ---- Two skimlet-cli processes on one data directory ----

// Channels "a" and "b", each with `kNews` articles; the index pages hold back until `gate`
// index requests have come in, so the runs are under way at the same time.
struct TwoChannels {
  static constexpr int kNews = 15;
  test::HttpTestServer server;
  std::mutex mutex;
  std::condition_variable arrived;
  int indexRequests = 0, gate = 2;
  std::atomic<int> articles{0};

  explicit TwoChannels(const Cli& cli) {
    server.Get(R"(/(a|b)/index\.html)", [this](const httplib::Request& req, httplib::Response& res) {
      {
        std::unique_lock lock(mutex);
        ++indexRequests;
        arrived.notify_all();
        arrived.wait_for(lock, std::chrono::seconds(10), [this] { return indexRequests >= gate; });
      }
      std::string page = "news:";
      for (int i = 0; i < kNews; ++i) page += " <a href=\"/" + req.matches[1].str() + "/" + std::to_string(i) + ".html\">";
      res.set_content(page, "text/html");
    });
    server.Get(R"(/(a|b)/(\d+)\.html)", [this](const httplib::Request& req, httplib::Response& res) {
      ++articles;
      res.set_content("<title>" + req.matches[1].str() + req.matches[2].str() +
                          "</title><body>ARTICLE with enough text to be saved as a news</body>",
                      "text/html");
    });
    server.Start();
    for (const char* channel : {"a", "b"})
      EXPECT_TRUE(test::WriteMacro(cli.home / (std::string("Accounts/") + channel),
                                   {test::MacroStep("GetStart", server.url(std::string("/") + channel + "/index.html"),
                                                    "news", "-999"),
                                    test::MacroStep("FindUrlNews", ".html", "9999"), test::MacroStep("EditUrlNews"),
                                    test::MacroStep("GetNews", "ARTICLE", "", "", "1"),
                                    test::MacroStep("FindNameNews", "<title>", "</title>"), test::MacroStep("SaveNews"),
                                    test::MacroStep("GotoMacro", "1")}));
  }
  void WaitForIndexRequests(int n) {
    std::unique_lock lock(mutex);
    arrived.wait_for(lock, std::chrono::seconds(10), [&] { return indexRequests >= n; });
  }
  void Open() {
    std::lock_guard lock(mutex);
    gate = 0;
    arrived.notify_all();
  }
};

std::vector<std::string> HistoryLines(const std::string& home) {
  std::vector<std::string> lines;
  std::string text = test::ReadFile(HistoryFilePath(home));
  for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    lines.push_back(text.substr(pos, end - pos));
  return lines;
}

TEST(CliProcesses, TwoDownloadsAtOnceKeepEachOthersHistory) {
  Cli cli;
  TwoChannels site(cli);
  auto a = cli.Start("download a --log raw");
  auto b = cli.Start("download b --log raw");
  EXPECT_EQ(a.get().exitCode, 0);
  EXPECT_EQ(b.get().exitCode, 0);
  std::vector<std::string> lines = HistoryLines(cli.home.path());
  ASSERT_EQ(lines.size(), 2u * TwoChannels::kNews);
  std::set<std::string> urls;
  for (const std::string& line : lines) urls.insert(line.substr(line.find("NewsURL=")));
  EXPECT_EQ(urls.size(), lines.size());

  // A third run knows everything the two saved.
  site.Open();
  auto again = cli.Run("download --log raw", true);
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(site.articles, 2 * TwoChannels::kNews);
  EXPECT_EQ(HistoryLines(cli.home.path()).size(), lines.size());
}

TEST(CliProcesses, ASecondDownloadOfABusyChannelDoesNotStart) {
  Cli cli;
  TwoChannels site(cli);
  site.gate = 1000;  // the first run waits at its index page
  auto first = cli.Start("download a --log raw");
  site.WaitForIndexRequests(1);
  auto second = cli.Run("download a --log raw", true);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_NE(second.out.find("255 a> Канал уже загружается другим процессом\n"), std::string::npos) << second.out;
  EXPECT_EQ(second.out.find("Начало загрузки"), std::string::npos) << second.out;
  site.Open();
  auto done = first.get();
  EXPECT_NE(done.out.find("Начало загрузки"), std::string::npos) << done.out;
  EXPECT_EQ(site.indexRequests, 1);
  EXPECT_EQ(site.articles, TwoChannels::kNews);
  EXPECT_EQ(HistoryLines(cli.home.path()).size(), std::size_t{TwoChannels::kNews});
  EXPECT_EQ(ListNewsFiles(cli.home / "Accounts/a/").size(), std::size_t{TwoChannels::kNews});
}

// ---- skimlet-cli check ----

TEST(CliCheck, FindsFaultsInTheNamedChannelAndSaysSoInItsExitStatus) {
  Cli cli;
  const std::vector<TTmpOneMacroComand> sound{test::MacroStep("FindUrlNews", "news/", "-1"),
                                              test::MacroStep("GetNews", "ARTICLE", "", "", "0"),
                                              test::MacroStep("SaveNews"), test::MacroStep("GotoMacro", "0")};
  ASSERT_TRUE(test::WriteMacro(cli.home / "Accounts/Good", sound));
  ASSERT_TRUE(test::WriteMacro(cli.home / "Accounts/Good/Rubric", sound));
  auto broken = sound;
  broken[1].Command = "GetNew";
  broken[3].P1 = "7";
  ASSERT_TRUE(test::WriteMacro(cli.home / "Accounts/Bad/Rubric", broken));
  MakeDirs(cli.home / "Accounts/Bad/Empty");  // no macro: nothing to find

  auto r = cli.Run("check Good");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(r.out, "");
  r = cli.Run("check Bad");
  EXPECT_EQ(r.exitCode, 1);
  const std::string file = cli.home / "Accounts/Bad/Rubric/Skimlet-macros.ini";
  EXPECT_EQ(r.out, file + ":9: шаг 1: неизвестная команда «GetNew» (ближайшая: «GetNews»); загрузка её пропускает\n" +
                       file + ":25: шаг 3 (GotoMacro) переходит к шагу 7, а шаги идут от 0 до 3: переход завершает папку\n");
  r = cli.Run("check", true);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("Замечаний: 2, проверено папок: 5"), std::string::npos) << r.out;
  EXPECT_EQ(cli.Run("check Nowhere", true).exitCode, 2);
  EXPECT_EQ(cli.Run("check a b", true).exitCode, 2);
  EXPECT_NE(cli.Run("--help").out.find("check [КАНАЛ]"), std::string::npos);
}

}  // namespace
}  // namespace skimlet
