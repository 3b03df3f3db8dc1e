// Whole download runs over a channel folder tree and a loopback news site.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "attachments/DownLoadAttachment.h"
#include "engine/DownLoad.h"
#include "fetch/Transfer.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using test::Cp;
using Log = std::vector<std::string>;

TTmpOneMacroComand S(const char* command, std::string p1 = "", std::string p2 = "", std::string p3 = "",
                     std::string p4 = "", bool active = true) {
  return {command, std::move(p1), std::move(p2), std::move(p3), std::move(p4), "", active};
}

template <class Pred>
bool WaitUntil(Pred done, std::chrono::milliseconds limit = 20s) {  // generous: a loaded machine is slow, not wrong
  for (auto end = std::chrono::steady_clock::now() + limit; !done(); std::this_thread::sleep_for(1ms))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

bool Has(const Log& log, const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); }
long Count(const Log& log, const std::string& part) {
  return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// Index page with three news links, one extra link and a silent one; articles "Статья N".
struct NewsSite {
  test::HttpTestServer server;
  std::atomic<int> articles{0};
  std::atomic<bool> silentHit{false};
  NewsSite() {
    server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("news: <a href=\"/news/1.html\"> <a href=\"/news/2.html\"> <a href=\"/about\"> "
                      "<a href=\"/news/3.html\"> <a href=\"/extra/7.html\"> <a href=\"/silent\">",
                      "text/html; charset=windows-1251");
    });
    server.Get(R"(/(news|extra)/(\d+)\.html)", [this](const httplib::Request& req, httplib::Response& res) {
      ++articles;
      res.set_content(Cp("<html><head><title>Статья ") + req.matches[2].str() +
                          "</title></head><body>ARTICLE with enough text to be saved</body></html>",
                      "text/html; charset=windows-1251");
    });
    server.Get("/silent", [this](const httplib::Request&, httplib::Response&) {
      silentHit = true;
      server.WaitForStop();
    });
    server.Start();
  }
  std::string Index() { return server.url("/index.html"); }
};

// Channel "Лента" and its rubrics, added in order, each with its macro.
struct Channel {
  test::TempDir dir;
  ChannelTree tree{dir.path()};
  test::RecordingHost host;
  NodePtr channel;
  Channel() {
    MakeDirs(dir / "Accounts/Лента");
    channel = tree.AddFolderNode("Лента", nullptr, true);
  }
  NodePtr Rubric(const std::string& name, bool checked, const std::vector<TTmpOneMacroComand>& steps = {}) {
    MakeDirs(dir / ("Accounts/Лента/" + name));
    NodePtr node = tree.AddFolderNode(name, channel, checked);
    Macro(node, steps);
    return node;
  }
  void Macro(const NodePtr& node, const std::vector<TTmpOneMacroComand>& steps) {
    FolderMacro macro;
    std::copy(steps.begin(), steps.end(), macro.Table().steps.begin());
    macro.Table().count = static_cast<std::int32_t>(steps.size());
    ASSERT_TRUE(macro.WriteFolderMacroFile(tree.FolderPath(node)));
  }
  std::string Path() { return tree.FolderPath(channel); }
  std::unique_ptr<TDownload> Make(bool stepMode = false, RunHost* other = nullptr) {
    auto run = std::make_unique<TDownload>(tree, other ? *other : host);
    run->SetChannel(channel);
    run->SetStepMode(stepMode);
    return run;
  }
  // Waits for the run's end; a run that hangs is stopped and fails the test.
  void RunToEnd(TDownload& run, std::chrono::seconds limit = 20s) {
    auto joined = std::async(std::launch::async, [&] { run.Join(); });
    if (joined.wait_for(limit) != std::future_status::ready) {
      ADD_FAILURE() << "run did not end";
      run.StopRun();
    }
    EXPECT_TRUE(run.Finished());
    EXPECT_EQ(run.ChannelNode(), nullptr);
  }
  // The run takes the host's history when the channel starts.
  Log Run() {
    auto run = Make();
    run->Start();
    RunToEnd(*run);
    return host.Log();
  }
  std::string End() { return "16711680 > Конец загрузки в " + Path(); }
  static std::vector<TTmpOneMacroComand> Loop(const std::string& key) {
    return {S("FindUrlNews", key, "9999"), S("EditUrlNews"), S("GetNews", "ARTICLE", "", "", "0"),
            S("FindNameNews", "<title>", "</title>"), S("SaveNews"), S("GotoMacro", "0")};
  }
};

// A theme links each post several times: an address that failed, or that is no page, is
// asked for once per run, its jump taken at once afterwards, and a failure counts once.
TEST(RunFailedAddresses, AskedForOnceAPictureStoppedAtItsHeadersFailuresCountedPerAddress) {
  test::HttpTestServer server;
  std::atomic<int> hits{0};
  server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("<a href=/p/gone.html> <a href=/p/photo.jpg> <a href=/p/gone.html> <a href=/p/photo.jpg>", "text/html");
  });
  server.Get(R"(/p/.*)", [&](const httplib::Request& req, httplib::Response& res) {
    ++hits;
    if (req.path == "/p/gone.html") res.status = 404;
    else res.set_content(std::string(4 << 20, 'J'), "image/jpeg");
  });
  server.Start();
  Channel c;
  c.Macro(c.channel, {S("GetStart", server.url("/index.html"), "href", "9999"), S("FindUrlNews", "/p/", "9999"),
                      S("EditUrlNews"), S("GetNews", "ARTICLE", "", "", "1"), S("SaveNews"), S("GotoMacro", "1")});
  const std::uint64_t before = TotalBytes();
  auto run = c.Make();
  run->Start();
  c.RunToEnd(*run);
  EXPECT_EQ(hits, 2);
  EXPECT_EQ(run->FailedFetches(), 1);
  EXPECT_LT(TotalBytes() - before, 1u << 20);  // the picture's body was not read
  EXPECT_EQ(Count(c.host.Log(), "255 Лента> step 3>> GetInetFile(" + server.url("/p/photo.jpg") +
                                    ") не получен. не страница: image/jpeg. Переход на шаг №1"), 1);
  EXPECT_EQ(Count(c.host.Log(), ") не получен ранее в этом запуске. Переход на шаг №1"), 2);
}

TEST(RunWalk, ChecksFoldersInTreeOrderSharesTheIndexAndSkipsWhatIsSaved) {
  NewsSite site;
  Channel c;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  c.Rubric("Спорт", false, {S("SaveNews")});
  c.Rubric("Пусто", true, {S("SaveNews")});
  std::filesystem::remove_all(c.Path() + "Пусто");
  c.Rubric("Наука", true, Channel::Loop("/extra/"));  // works on the channel's IndexHTML

  Log log = c.Run();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "0 Лента> Подготовка данных для потока загрузки");
  EXPECT_EQ(log[1], "16711680 Лента> Начало загрузки в " + c.Path());
  EXPECT_EQ(log.back(), c.End());
  EXPECT_TRUE(Has(log, "128 Мир> step 0>> FindUrlNews(/news/) - OK. URL=/news/1.html"));
  EXPECT_TRUE(Has(log, "255 Спорт> Пропуск папки "));
  EXPECT_TRUE(Has(log, "255 Пусто> Пропуск папки "));
  EXPECT_EQ(Count(log, "SaveNews. Файл не создан") + Count(log, "Сессия прервана."), 0);
  for (const char* file : {"Мир/Статья 1.html", "Мир/Статья 2.html", "Мир/Статья 3.html", "Наука/Статья 7.html"})
    EXPECT_TRUE(FileExists(c.Path() + file)) << file;
  EXPECT_EQ(c.host.Saved().size(), 4u);
  EXPECT_EQ(c.host.history.Count(), 4u);
  EXPECT_EQ(site.articles, 4);

  // A second run with the history fetches nothing again.
  Log again = c.Run();
  EXPECT_EQ(site.articles, 4);
  EXPECT_EQ(c.host.Saved().size(), 4u);
  EXPECT_EQ(Count(Log(again.begin() + static_cast<long>(log.size()), again.end()),
                  "Эта страница была загружена ранее. Переход на шаг №0"), 4);
}

TEST(RunWalk, FolderIconsShowTheCheckMarkOnceTheRunHasEnded) {
  Channel c;
  NodePtr on = c.Rubric("Мир", true), off = c.Rubric("Спорт", false);
  c.Run();
  EXPECT_EQ(c.tree.ImageIndex(c.channel), kImageChecked);
  EXPECT_EQ(c.tree.ImageIndex(on), kImageChecked);
  EXPECT_EQ(c.tree.ImageIndex(off), kImageUnchecked);
}

TEST(RunWalk, UncheckedChannelRunsNothing) {
  Channel c;
  c.tree.WriteFolderCheck(c.channel, false);
  c.Macro(c.channel, {S("SaveNews")});
  c.Rubric("Мир", true, {S("SaveNews")});
  EXPECT_EQ(c.Run(), (Log{"0 Лента> Подготовка данных для потока загрузки",
                          "255 Лента> Папка не отмечена к загрузке или нет доступа к " + c.Path(),
                          // No folder was walked, so the end line still names the channel.
                          "16711680 Лента> Конец загрузки в " + c.Path()}));
}

TEST(RunJumps, PastTheEndNotANumberAndBelowMinusOne) {
  Channel c;
  c.Rubric("A", true, {S("SaveNews", "", "", "", "", false), S("GotoMacro", "9999"), S("SaveNews"), S("SaveNews")});
  c.Rubric("B", true, {S("GotoMacro", "abc"), S("SaveNews")});
  c.Rubric("C", true, {S("SaveNews"), S("GotoMacro", "-5"), S("SaveNews")});
  c.Rubric("D", true, {S("SaveNews")});
  EXPECT_EQ(c.Run(), (Log{"0 Лента> Подготовка данных для потока загрузки",
                          "16711680 Лента> Начало загрузки в " + c.Path(),
                          "32896 A> step 1>>GotoMacro.  -----------Переход к шагу № 9999----------",
                          "32896 B> step 0>>GotoMacro.  -----------Переход к шагу № abc----------",
                          "255 C> step 0>> SaveNews. Файл не создан. HTML меньше 50 байт. ",
                          "32896 C> step 1>>GotoMacro.  -----------Переход к шагу № -5----------",
                          "255 > Загрузка в " + c.Path() + " завершена. ", c.End()}));
}

TEST(RunJumps, GotoMacroTestsTheChosenTextForItsFragment) {
  Channel c;
  auto run = c.Make();
  run->SetCurrentFolder(c.channel);
  run->SetExecutingStep(3);
  run->MutableBuffers() = {"", "index page", "http://h.ru/a.html", "<b>body</b>", ""};
  const std::string find = "StandartParameter=1", miss = "StandartParameter=2";
  struct Case { std::string p2, p3, p4; int want; };
  const Case cases[] = {{find, "StandartParameter=0", "a.html", 7}, {find, "StandartParameter=1", "a.html", -9},
                        {find, "StandartParameter=1", "<b>", 7},    {miss, "StandartParameter=2", "index", -9},
                        {miss, "StandartParameter=2", "body", 7},   {find, "StandartParameter=0", "", -9},
                        {miss, "StandartParameter=0", "", 7},       {find, "StandartParameter=3", "a", -9},
                        {"", "", "", 7}};
  for (const Case& k : cases) {
    run->SetStepIndex(-9);
    run->GotoMacro("7", k.p2, k.p3, k.p4);
    EXPECT_EQ(run->StepIndex(), k.want) << k.p2 << " " << k.p3 << " " << k.p4;
  }
  Log log = c.host.Log();
  EXPECT_EQ(Count(log, "32896 Лента> step 3>>GotoMacro. Фрагмент НАЙДЕН."), 2);
  EXPECT_EQ(Count(log, "32896 Лента> step 3>>GotoMacro. Фрагмент НЕ НАЙДЕН."), 2);
  EXPECT_EQ(Count(log, "32896 Лента> step 3>>GotoMacro.  -----------Переход к шагу № 7----------"), 5);
  run->GotoMacro(" 12", "", "", "");
  EXPECT_EQ(run->StepIndex(), 12);
}

TEST(RunStepMode, PausesOnceAfterEveryExecutedDownloadCommand) {
  Channel c;
  c.Macro(c.channel, {S("EditHTMLNews"), S("NotOperation"), S("Bogus"), S("SaveNews", "", "", "", "", false),
                      S("GotoMacro", "9999"), S("SaveNews")});
  c.Rubric("Мир", true, {S("NotOperation"), S("SaveNews")});
  auto run = c.Make(true);
  run->Start();
  int pauses = 0;
  WaitUntil([&] {
    if (run->Paused()) {
      EXPECT_EQ(c.host.PausePressed(), ++pauses);
      run->Resume();
    }
    return run->Finished();
  }, 20s);
  c.RunToEnd(*run);
  EXPECT_EQ(pauses, 3);  // EditHTMLNews, GotoMacro, SaveNews
  EXPECT_EQ(c.host.PausePressed(), 3);
}

TEST(RunStepMode, ACommandThatEndsTheLastFolderStillPauses) {
  // The pause takes hold even when the command has just ended the last folder.
  Channel c;
  c.Macro(c.channel, {S("GotoMacro", "abc")});
  auto run = c.Make(true);
  run->Start();
  WaitUntil([&] { return run->Paused(); });
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(run->Finished());  // waiting for the user
  run->Resume();
  c.RunToEnd(*run);
  EXPECT_FALSE(run->Paused());
}

TEST(RunStepMode, EveryStepIsReadFromTheMacroFileAsItIsNow) {
  Channel c;
  c.Macro(c.channel, {S("SaveNews"), S("SaveNews"), S("SaveNews")});
  auto run = c.Make(true);
  run->Start();
  ASSERT_TRUE(WaitUntil([&] { return run->Paused(); }));
  c.Macro(c.channel, {S("SaveNews"), S("GotoMacro", "9999"), S("SaveNews")});  // edited while paused
  WaitUntil([&] { return run->Resume(), run->Finished(); }, 10s);
  c.RunToEnd(*run);
  EXPECT_TRUE(Has(c.host.Log(), "32896 Лента> step 1>>GotoMacro.  -----------Переход к шагу № 9999----------"));
  EXPECT_EQ(Count(c.host.Log(), "SaveNews. Файл не создан"), 1);
}

TEST(RunControl, PauseHoldsTheRunAndStopEndsItWithItsEndLines) {
  Channel c;
  c.Macro(c.channel, {S("SaveNews")});
  auto held = c.Make();
  held->Pause();
  held->Start();
  WaitUntil([&] { return c.host.Log().size() >= 2; });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(c.host.Log().size(), 2u);  // held before its first step
  EXPECT_TRUE(held->Paused());
  held->Resume();
  c.RunToEnd(*held);
  EXPECT_EQ(Count(c.host.Log(), "SaveNews. Файл не создан"), 1);

  auto stopped = c.Make();
  stopped->Pause();
  stopped->Start();
  WaitUntil([&] { return c.host.Log().size() >= 6; });
  stopped->StopRun();  // also wakes a paused run
  c.RunToEnd(*stopped, 2s);
  Log log = c.host.Log();
  EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"255 > Сессия прервана.", c.End()}));
  EXPECT_EQ(Count(log, "SaveNews. Файл не создан"), 1);
}

TEST(RunControl, StopDuringASilentTransferEndsTheRunAtOnce) {
  NewsSite site;
  Channel c;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999"), S("FindUrlNews", "silent", "9999"),
                      S("EditUrlNews"), S("GetNews", "ARTICLE", "", "", "9999")});
  c.Rubric("Мир", true, {S("SaveNews")});
  auto run = c.Make();
  run->Start();
  ASSERT_TRUE(WaitUntil([&] { return site.silentHit.load(); }, 10s));
  run->StopRun();
  c.RunToEnd(*run, 2s);
  Log log = c.host.Log();
  EXPECT_EQ(Log(log.end() - 2, log.end()), (Log{"255 > Сессия прервана.", c.End()}));
  EXPECT_EQ(Count(log, "SaveNews"), 0);
}

TEST(RunLimits, MaxDownloadsEndsTheRunWithThreeLines) {
  NewsSite site;
  Channel c;
  c.host.settings.maxDownloads = 2;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  c.Rubric("Наука", true, Channel::Loop("/extra/"));
  Log log = c.Run();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Log(log.end() - 5, log.end()), (Log{"255 Мир> step 0>> Достигнут максимум загрузок за сессию.",
                                                "255 Мир> step 0>> Для докачки оставшихся новостей повторите закачку.",
                                                "255 Мир> step 0>> Число допустимых закачек изменяется в настройках",
                                                "255 > Сессия прервана.", c.End()}));
  EXPECT_EQ(c.host.Saved().size(), 2u);
  EXPECT_EQ(site.articles, 2);
}

TEST(RunLog, NothingIsLoggedWhileTheChannelIsNotShown) {
  NewsSite site;
  Channel c;
  c.host.shown = false;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  auto run = c.Make();
  run->Start();
  c.RunToEnd(*run);
  EXPECT_TRUE(c.host.Log().empty());
  EXPECT_TRUE(run->RunLog().empty());
  EXPECT_EQ(c.host.Saved().size(), 3u);  // the run did its work all the same
}

// A window that fails while a news is announced: an error the command does not report itself.
struct FailingHost : test::RecordingHost {
  void NewsSaved(const SavedNews&) override { throw std::runtime_error("window gone"); }
};

TEST(RunLog, AnUnexpectedErrorInACommandStillEndsTheRunProperly) {
  NewsSite site;
  Channel c;
  FailingHost host;
  host.settings.lookAhead = 0;  // the server counts the run's own fetches
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  auto run = c.Make(false, &host);
  run->Start();
  c.RunToEnd(*run);
  Log log = host.Log();
  EXPECT_EQ(Count(log, "window gone"), 1);
  EXPECT_EQ(log.back(), c.End());
  EXPECT_EQ(site.articles, 1);
}

// ---- Two processes, one data directory: the history file and the channel lock ----

TEST(RunHistory, TheSnapshotIsTheHistoryFileWhenTheChannelStarts) {
  NewsSite site;
  Channel c;
  c.host.history.LoadHistory(c.dir.path());  // the window started with no history
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  // Another process saved news 2 since the window started.
  ASSERT_TRUE(AppendHistoryLine(c.dir.path(), MakeHistoryLine(0, site.server.url("/news/2.html"), "Elsewhere")));
  Log log = c.Run();
  EXPECT_EQ(site.articles, 2);
  EXPECT_FALSE(FileExists(c.Path() + "Мир/Статья 2.html"));
  EXPECT_EQ(Count(log, "Эта страница была загружена ранее"), 1);
}

TEST(RunChannelLock, ASecondRunOfALockedChannelDoesNotStart) {
  Channel c;
  c.Macro(c.channel, {S("SaveNews")});
  const Log refused{"0 Лента> Подготовка данных для потока загрузки",
                    "255 Лента> Канал уже загружается другим процессом",
                    "16711680 Лента> Конец загрузки в " + c.Path()};
  // A run held at its first step keeps the channel (skimlet-cli's tests do the same with
  // two processes).
  auto first = c.Make();
  first->Pause();
  first->Start();
  ASSERT_TRUE(WaitUntil([&] { return c.host.Log().size() >= 2; }));
  EXPECT_EQ(c.host.Log()[1], "16711680 Лента> Начало загрузки в " + c.Path());
  auto second = c.Make();
  second->Start();
  c.RunToEnd(*second);
  Log log = c.host.Log();
  EXPECT_EQ(Log(log.end() - 3, log.end()), refused);
  first->Resume();
  c.RunToEnd(*first);
  EXPECT_EQ(Count(c.host.Log(), "SaveNews. Файл не создан"), 1);
  EXPECT_TRUE(ListNewsFiles(c.Path()).empty());  // the lock file is never a news
}

// ---- A crash between the news file and its history line ----

// A channel whose rubric "Мир" has saved the site's three news once.
void SaveThreeNews(NewsSite& site, Channel& c) {
  c.host.history.LoadHistory(c.dir.path());
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  c.Run();
}

TEST(RunCrashRecovery, ANewsWithoutItsHistoryLineIsNotSavedAgainAndTheLineComesBack) {
  NewsSite site;
  Channel c;
  SaveThreeNews(site, c);
  ASSERT_EQ(c.host.Saved().size(), 3u);
  // The history line of news 2 never reached the disk.
  const std::string historyFile = HistoryFilePath(c.dir.path());
  std::string text = test::ReadFile(historyFile), lost = "/news/2.html  " + Cp("Статья 2") + "\r\n";
  std::size_t at = text.find(lost);
  ASSERT_NE(at, std::string::npos);
  std::size_t start = text.rfind("\r\n", at);
  text.erase(start == std::string::npos ? 0 : start + 2, at + lost.size() - (start == std::string::npos ? 0 : start + 2));
  test::WriteFile(historyFile, text);
  c.host.history.LoadHistory(c.dir.path());  // the program starts again

  Log log = c.Run();
  EXPECT_EQ(site.articles, 4);  // fetched again, but not saved again
  EXPECT_EQ(ListNewsFiles(c.Path() + "Мир").size(), 3u);
  EXPECT_FALSE(FileExists(c.Path() + "Мир/Статья 2 (1).html"));
  EXPECT_EQ(c.host.Saved().size(), 3u);
  EXPECT_EQ(Count(log, "Новость уже сохранена в папке: Статья 2. Запись в истории восстановлена"), 1);
  EXPECT_NE(test::ReadFile(historyFile).find(lost), std::string::npos);
  c.Run();
  EXPECT_EQ(site.articles, 4);  // remembered again
}

TEST(RunCrashRecovery, AnAddressTheUserTookOutOfTheHistoryIsSavedAgainAsANewCopy) {
  NewsSite site;
  Channel c;
  SaveThreeNews(site, c);
  ASSERT_EQ(c.host.Saved().size(), 3u);
  // What Ctrl+H does: the line leaves the file at once, and the address is asked for again.
  const std::string url = site.server.url("/news/2.html");
  c.host.history.RemoveIf([&](const std::string& line) { return line.find("NewsURL=" + url + "  ") != std::string::npos; });
  ASSERT_TRUE(AddRefetchAddresses(c.dir.path(), {url}));
  ASSERT_TRUE(c.host.history.SaveHistory(c.dir.path(), 100));
  EXPECT_EQ(test::ReadFile(HistoryFilePath(c.dir.path())).find(url + "  "), std::string::npos);

  Log log = c.Run();
  EXPECT_EQ(Count(log, "Запись в истории восстановлена"), 0);
  EXPECT_TRUE(FileExists(c.Path() + "Мир/Статья 2 (1).html"));
  EXPECT_EQ(ListNewsFiles(c.Path() + "Мир").size(), 4u);
  EXPECT_TRUE(ReadRefetchAddresses(c.dir.path()).empty());  // asked once, done once
  const int fetched = site.articles;
  c.Run();
  EXPECT_EQ(site.articles, fetched);
  EXPECT_EQ(ListNewsFiles(c.Path() + "Мир").size(), 4u);
}

// ---- Pictures after a crash, and what the data directory lets others see ----

struct PictureSite {
  test::HttpTestServer server;
  std::atomic<int> news{2};
  PictureSite() {
    server.Get("/index.html", [this](const httplib::Request&, httplib::Response& res) {
      std::string page = "news:";
      for (int i = 1; i <= news; ++i) page += " <a href=\"/news/" + std::to_string(i) + ".html\">";
      res.set_content(page, "text/html");
    });
    server.Get(R"(/news/(\d+)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      const std::string n = req.matches[1].str();
      res.set_header("ETag", "\"n" + n + "\"");
      res.set_content("<html><title>News " + n + "</title><body>ARTICLE <img src=\"/pic/" + n +
                          ".png\"> with enough text to be saved</body></html>",
                      "text/html");
    });
    server.Get(R"(/pic/(\d+)\.png)",
               [](const httplib::Request& req, httplib::Response& res) { res.set_content("PNG" + req.matches[1].str(), "image/png"); });
    server.Start();
  }
};

struct Pictures : AttachmentHost {
  void LampChanged(int, const LampState&) override {}
  void QueueOverflow(const std::string&) override {}
  RunSettings Settings() override { return {}; }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01;
}

TEST(RunCrashRecovery, StaleTemporaryFilesGoAndMissingPicturesAreFetchedAgain) {
  PictureSite site;
  Channel c;
  Pictures pictures;
  AttachmentQueue queue(pictures, c.dir.path());
  c.Macro(c.channel, {S("GetStart", site.server.url("/index.html"), "news", "9999")});
  NodePtr rubric = c.Rubric("Мир", true, {S("FindUrlNews", "/news/", "9999"), S("EditUrlNews"),
                                          S("GetNews", "ARTICLE", "", "", "0"),
                                          S("EditHTMLNews", "StandartParameter=0", "StandartParameter=0"),
                                          S("FindNameNews", "<title>", "</title>"),
                                          S("FindAttachment", "StandartParameter=0", "StandartParameter=0", "StandartParameter=0"),
                                          S("SaveNews"), S("GotoMacro", "0")});
  auto runWithPictures = [&] {
    auto run = c.Make();
    run->SetAttachmentQueue(&queue);
    run->Start();
    c.RunToEnd(*run);
    EXPECT_TRUE(WaitUntil([&] { return queue.Idle(); }));
  };
  runWithPictures();
  const std::string att = c.Path() + "Мир/Attachment/";
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(att)) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 2u) << c.host.LogText();

  // A crash: one picture never arrived, two transfers left their temporary files.
  std::sort(files.begin(), files.end());
  ASSERT_EQ(unlink(files[0].c_str()), 0);
  const std::string stale = att + "111111111111111.png.SK-tmp", fresh = att + "222222222222222.png.SK-tmp";
  test::WriteFile(stale, "half");
  test::WriteFile(fresh, "half");
  const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  const timespec later[2] = {{time(nullptr) + 3600, 0}, {time(nullptr) + 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), hourAgo, 0), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, fresh.c_str(), later, 0), 0);  // still being written

  site.news = 3;  // the next run saves into the folder
  runWithPictures();
  EXPECT_TRUE(FileExists(files[0]));
  EXPECT_FALSE(FileExists(stale));
  EXPECT_TRUE(FileExists(fresh));
  EXPECT_TRUE(Has(c.host.Log(), "16711680 Мир> step 6>> SaveNews. Вложения прежних статей: удалено недокачанных "
                                "файлов 1, поставлено в очередь заново 1"));

  // Everything the runs created is the user's alone.
  EXPECT_EQ(ModeOf(c.Path() + "Мир/News 1.html"), 0400u);  // unread
  EXPECT_EQ(ModeOf(att), 0700u);
  EXPECT_EQ(ModeOf(files[1]), 0600u);
  EXPECT_EQ(ModeOf(HistoryFilePath(c.dir.path())), 0600u);
  EXPECT_EQ(ModeOf(c.dir / "history"), 0700u);
  EXPECT_EQ(ModeOf(c.Path() + kChannelLockFile), 0600u);
  EXPECT_EQ(ModeOf(c.dir / "cache"), 0700u);
  int cached = 0;
  for (const auto& e : std::filesystem::directory_iterator(c.dir / "cache")) {
    ++cached;
    EXPECT_EQ(ModeOf(e.path().string()), 0600u) << e.path();
  }
  EXPECT_GT(cached, 0);
  (void)rubric;
}

// ---- Endless runs ----

TEST(RunLoopGuard, StepsWithoutProgressEndTheFolderAndTheNextFolderRuns) {
  Channel c;
  c.Rubric("Круг", true, {S("NotOperation"), S("GotoMacro", "0")});
  c.Rubric("Дальше", true, {S("SaveNews")});
  Log log = c.Run();
  EXPECT_TRUE(Has(log, "255 Круг> step 0>> Макрос зациклился: 10000 шагов подряд без загруженной страницы и без "
                       "сохранённой новости"));
  EXPECT_EQ(Count(log, "Круг> step 1>>GotoMacro."), 5000);
  EXPECT_TRUE(Has(log, "255 Дальше> step 0>> SaveNews. Файл не создан. HTML меньше 50 байт. "));
  EXPECT_EQ(log.back(), c.End());
}

TEST(RunLoopGuard, FailedFetchesAreNoProgressButFetchedPagesAndSavedNewsAre) {
  NewsSite site;
  Channel c;
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort());
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  // Each round of this loop fetches and saves: six steps with progress in between.
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  // This one retries a refused address for ever.
  c.Rubric("Сбой", true, {S("FindUrlNews", "/extra/", "9999"), S("EditUrlNews", "", "", refused),
                          S("GetNews", "ARTICLE", "", "", "2")});
  auto run = c.Make();
  run->SetLimits({.maxStepsWithoutProgress = 30, .maxFetchesPerAddress = 100, .maxLogLines = 20000});
  run->Start();
  c.RunToEnd(*run);
  Log log = c.host.Log();
  EXPECT_EQ(c.host.Saved().size(), 3u);
  EXPECT_EQ(Count(log, "Мир> step 0>> Макрос зациклился"), 0);
  EXPECT_TRUE(Has(log, "255 Сбой> step 2>> Макрос зациклился: 30 шагов подряд без загруженной страницы и без "
                       "сохранённой новости"));
  // Taking the link was progress; the refused address was asked for once.
  EXPECT_EQ(Count(log, "Сбой> step 2>> GetNews. "), 1);
  EXPECT_EQ(Count(log, "Сбой> step 2>> GetInetFile(" + refused + "/extra/7.html) не получен ранее в этом запуске"), 28);
}

TEST(RunLoopGuard, EveryLinkTakenFromTheIndexIsProgressButTakingAConsumedOneIsNot) {
  NewsSite site;
  Channel c;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999")});
  // Two known links cost six steps before the new one is fetched: more than the limit.
  for (const char* known : {"/news/1.html", "/news/2.html"})
    c.host.history.Add(MakeHistoryLine(std::time(nullptr), site.server.url(known), "old"),
                       c.host.settings.maxHtmlHistory);
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  // The links taken above are left in the shared index as "#": matching those goes nowhere.
  c.Rubric("Решётка", true, {S("FindUrlNews", "#", "9999"), S("GotoMacro", "0")});
  auto run = c.Make();
  run->SetLimits({.maxStepsWithoutProgress = 5, .maxFetchesPerAddress = 100, .maxLogLines = 20000});
  run->Start();
  c.RunToEnd(*run);
  Log log = c.host.Log();
  ASSERT_EQ(c.host.Saved().size(), 1u);
  EXPECT_EQ(c.host.Saved()[0].newsName, Cp("Статья 3"));
  EXPECT_EQ(Count(log, "Мир> step 0>> Макрос зациклился"), 0);
  EXPECT_TRUE(Has(log, "255 Решётка> step 1>> Макрос зациклился: 5 шагов подряд без загруженной страницы и без "
                       "сохранённой новости"));
}

TEST(RunLoopGuard, OneAddressFetchedMoreThanAHundredTimesEndsTheFolder) {
  NewsSite site;
  Channel c;
  c.Macro(c.channel, {S("GetStart", site.Index(), "news", "9999"), S("GotoMacro", "0")});
  c.Rubric("Мир", true, {S("SaveNews")});
  Log log = c.Run();
  EXPECT_EQ(site.server.requestCount(), 100);
  EXPECT_TRUE(Has(log, "255 Лента> step 0>> Макрос зациклился: адрес " + site.Index() +
                           " загружается больше 100 раз за сессию"));
  EXPECT_TRUE(Has(log, "255 Мир> step 0>> SaveNews. Файл не создан. HTML меньше 50 байт. "));
}

TEST(RunLoopGuard, TheRunsLogKeepsItsLastLinesUnderANotice) {
  Channel c;
  c.Macro(c.channel, {S("GotoMacro", "0")});
  auto run = c.Make();
  run->SetLimits({.maxStepsWithoutProgress = 100, .maxFetchesPerAddress = 100, .maxLogLines = 50});
  run->Start();
  c.RunToEnd(*run);
  std::vector<std::string> kept = run->RunLog();
  ASSERT_EQ(kept.size(), 50u);
  EXPECT_EQ(kept.front(), LogCutNotice(50));
  EXPECT_EQ(Win1251ToUtf8(kept.front()), "255 > Журнал слишком длинный: его начало удалено, хранятся последние 50 строк");
  EXPECT_EQ(Win1251ToUtf8(kept.back()), c.End());
  std::vector<std::string> all = c.host.Log();
  EXPECT_EQ(all.size(), 104u);  // the host saw every line
  EXPECT_EQ(std::vector<std::string>(all.end() - 49, all.end()),
            [&] {
              std::vector<std::string> v;
              for (auto it = kept.begin() + 1; it != kept.end(); ++it) v.push_back(Win1251ToUtf8(*it));
              return v;
            }());
}

// A site whose second and third articles answer with error pages that look like articles.
struct BrokenSite {
  test::HttpTestServer server;
  BrokenSite() {
    server.Get("/index.html", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("news: <a href=\"/news/1.html\"> <a href=\"/news/2.html\"> <a href=\"/news/3.html\">",
                      "text/html");
    });
    server.Get(R"(/news/(\d+)\.html)", [](const httplib::Request& req, httplib::Response& res) {
      const std::string n = req.matches[1].str();
      res.status = n == "2" ? 404 : n == "3" ? 503 : 200;
      res.set_content(Cp("<html><head><title>Статья ") + n + "</title></head><body>ARTICLE " + n + "</body></html>",
                      "text/html; charset=windows-1251");
    });
    server.Get("/gone.html", [](const httplib::Request&, httplib::Response& res) {
      res.status = 410;
      res.set_content("news ARTICLE", "text/html");
    });
    server.Start();
  }
};

TEST(RunFailures, ErrorPagesAreNeitherSavedNorRememberedAndTheLoopGoesOn) {
  BrokenSite site;
  Channel c;
  c.Macro(c.channel, {S("GetStart", site.server.url("/index.html"), "news", "9999")});
  c.Rubric("Мир", true, Channel::Loop("/news/"));
  auto run = c.Make();
  run->Start();
  c.RunToEnd(*run);
  Log log = c.host.Log();
  EXPECT_TRUE(Has(log, "255 Мир> step 2>> GetInetFile(" + site.server.url("/news/2.html") +
                           ") не получен. HTTP 404. Переход на шаг №0"));
  EXPECT_TRUE(Has(log, "255 Мир> step 2>> GetInetFile(" + site.server.url("/news/3.html") +
                           ") не получен. HTTP 503. Переход на шаг №0"));
  EXPECT_EQ(c.host.Saved().size(), 1u);
  EXPECT_EQ(c.host.history.Count(), 1u);
  EXPECT_EQ(c.host.history.SnapshotText().find("/news/2.html"), std::string::npos);
  ASSERT_EQ(c.host.Saved().size(), 1u);
  EXPECT_EQ(c.host.Saved()[0].path, c.Path() + "Мир/Статья 1.html");
  EXPECT_EQ(run->FailedFetches(), 2);
  EXPECT_FALSE(run->IndexFailed());

  // An index page that is an error page ends the run and says so.
  c.Macro(c.channel, {S("GetStart", site.server.url("/gone.html"), "news", "9999")});
  auto second = c.Make();
  second->Start();
  c.RunToEnd(*second);
  EXPECT_TRUE(Has(c.host.Log(), "255 Лента> step 0>>GetStart. Остановка загрузки. Нет ответа: HTTP 410"));
  EXPECT_TRUE(second->IndexFailed());
  EXPECT_EQ(c.host.Saved().size(), 1u);
}

// A list of `pages` pages of two posts each; page N links page N+1 as "next" (page 2 links a
// missing page with `brokenNext`).
struct PagedSite {
  test::HttpTestServer server;
  std::atomic<int> pages{3};
  std::atomic<bool> brokenNext{false};
  std::atomic<bool> pager{false};  // "« Page 2 / 3 »": the first link of page 2's pager leads back
  PagedSite() {
    server.Get(R"(/list/(page/(\d+)/)?)", [this](const httplib::Request& req, httplib::Response& res) {
      const int n = req.matches[2].str().empty() ? 1 : std::stoi(req.matches[2].str());
      std::string page = "<a href=\"/list/\">home</a>";
      for (int p : {2 * n - 1, 2 * n}) page += "<a href=\"/post/" + std::to_string(p) + "/\">p</a>";
      auto at = [](int k) { return k == 1 ? std::string("/list/") : "/list/page/" + std::to_string(k) + "/"; };
      if (pager)
        page += "<p class=\"paginator\">" + (n > 1 ? "<a href=\"" + at(n - 1) + "\">&laquo;</a>" : std::string()) +
                " Page " + std::to_string(n) + " / " + std::to_string(pages.load()) +
                (n < pages ? " <a href=\"" + at(n + 1) + "\">&raquo;</a>" : std::string()) + "</p>";
      else if (n < pages)
        page += "<a class=\"next\" href=\"/list/page/" + std::to_string(brokenNext && n == 2 ? 99 : n + 1) + "/\">";
      res.status = n > pages ? 404 : 200;
      res.set_content(page + "</html>", "text/html");
    });
    server.Get(R"(/post/(\d+)/)", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("<title>Post " + req.matches[1].str() + "</title>ARTICLE with enough text to be saved", "text/html");
    });
    server.Start();
  }
  // The posts of a page, then the next page and back to the posts, or the end of the folder.
  std::vector<TTmpOneMacroComand> Macro(const std::string& most, const std::string& next = "class=\"next\"",
                                       const std::string& which = "") {
    return {S("GetStart", server.url("/list/"), "</html>", "9999"), S("FindUrlNews", "/post/", "7"), S("EditUrlNews"),
            S("GetNews", "ARTICLE", "", "", "1"), S("FindNameNews", "<title>", "</title>"), S("SaveNews"),
            S("GotoMacro", "1"), S("GetNextIndex", next, most, which, "9999"), S("GotoMacro", "1")};
  }
};

TEST(RunPages, GetNextIndexTurnsPagesUpToItsLimitAndAMissingPageEndsOnlyTheFolder) {
  PagedSite site;
  struct Case { int pages; bool broken; const char* most; std::size_t saved; std::string last; bool pager = false; const char* which = ""; };
  const std::string back = "255 Лента> step 7>>GetNextIndex. " + site.server.url("/list/") +
                           " - страница списка уже пройдена. Переход к шагу №9999";
  const Case cases[] = {
      {3, false, "", 6, "16711680 Лента> step 7>>GetNextIndex. Ссылки на следующую страницу после class=\"next\" нет. Переход к шагу №9999"},
      {9, false, "1", 4, "16711680 Лента> step 7>>GetNextIndex. Пройдено страниц списка: 1 из 1. Переход к шагу №9999"},
      {3, true, "5", 4, "255 Лента> step 7>>GetNextIndex. Следующая страница не получена: HTTP 404. Папка завершена."},
      // The first link after the pager's start: page 2 leads back to page 1, which ends the turning.
      {3, false, "5", 4, back, true},
      // The link forward: every page once.
      {3, false, "5", 6, "16711680 Лента> step 7>>GetNextIndex. Ссылки на следующую страницу после class=\"paginator\" нет. Переход к шагу №9999", true, "StandartParameter=1"},
  };
  for (const Case& k : cases) {
    Channel c;  // a fresh history each
    site.pages = k.pages;
    site.brokenNext = k.broken;
    site.pager = k.pager;
    c.Macro(c.channel, k.pager ? site.Macro(k.most, "class=\"paginator\"", k.which) : site.Macro(k.most));
    c.Rubric("Мир", true, {S("GotoMacro", "9999")});  // the run goes on after the folder
    auto run = c.Make();
    run->Start();
    c.RunToEnd(*run);
    const Log log = c.host.Log();
    EXPECT_EQ(c.host.Saved().size(), k.saved) << k.last;
    EXPECT_TRUE(Has(log, k.last)) << c.host.LogText();
    EXPECT_EQ(Count(log, "Мир> step 0"), 1);
    EXPECT_FALSE(run->IndexFailed()) << "only the first index page's failure means the site is down";
  }
}

}  // namespace
}  // namespace skimlet
