// The attachment queue and its downloaders against a real loopback server: stored files,
// lamps, the display, abort, LEDCount, duplicates, overflow and FlagDownloadPictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "attachments/DownLoadAttachment.h"
#include "fetch/Transfer.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using test::Cp;
using Pairs = std::vector<std::pair<std::string, std::string>>;
namespace fs = std::filesystem;

struct Host : AttachmentHost {
  std::atomic<int> ledCount{3};
  std::mutex mutex;
  std::array<std::vector<LampState>, kDownloaderSlots> lamps;  // every change, per slot
  std::vector<std::string> overflows;
  void LampChanged(int slot, const LampState& lamp) override {
    std::lock_guard lock(mutex);
    lamps[slot].push_back(lamp);
  }
  void QueueOverflow(const std::string& message) override {
    std::lock_guard lock(mutex);
    overflows.push_back(message);
  }
  std::vector<std::string> failures;  // UTF-8
  void AttachmentFailed(const AttachmentEntry&, const std::string& message) override {
    std::lock_guard lock(mutex);
    failures.push_back(Win1251ToUtf8(message));
  }
  std::atomic<int> lowSpeedTime{60};
  RunSettings Settings() override {
    RunSettings s;
    s.ledCount = ledCount;
    s.hURLUseCashe = false;
    s.lowSpeedTime = lowSpeedTime;
    return s;
  }
  template <typename F>
  auto Locked(F f) {
    std::lock_guard lock(mutex);
    return f();
  }
  bool SawHint(const std::string& hint) {
    return Locked([&] {
      for (const auto& slot : lamps)
        for (const LampState& l : slot)
          if (l.hint == hint) return true;
      return false;
    });
  }
  LampState Last(int slot) {
    return Locked([&] { return lamps[slot].empty() ? LampState{} : lamps[slot].back(); });
  }
};

// /p/N.png answers at once, /slow/N.gif after 100 ms, /stall/N.gif sends 1000 bytes and then
// nothing until the server stops, /held/N.gif the same until `release`, /big/N.gif N bytes,
// /shared/X.gif after 20 ms, counting its requests and connections, /trickle.gif a byte
// every 200 ms, /missing.gif 404 until `missingFound`.
struct Site {
  test::HttpTestServer server;
  std::atomic<bool> release{false};
  std::atomic<bool> missingFound{false};
  std::mutex mutex;
  std::map<std::string, int> hits;  // requests per path of /shared/
  std::set<int> ports;              // client ports of those requests: one per connection
  std::set<std::string> agents, referers;
  Site() {
    using Req = httplib::Request;
    using Res = httplib::Response;
    server.Get(R"(/p/(\d+)\.png)",
               [](const Req& q, Res& s) { s.set_content("PNG" + q.matches[1].str(), "image/png"); });
    server.Get("/missing.gif", [this](const Req&, Res& s) {
      if (missingFound) return s.set_content("GIF found", "image/gif");
      s.status = 404;
      s.set_content("<h1>not here</h1>", "text/html");
    });
    server.Get(R"(/shared/(\w+)\.gif)", [this](const Req& q, Res& s) {
      {
        std::lock_guard lock(mutex);
        ++hits[q.path];
        ports.insert(q.remote_port);
        agents.insert(q.get_header_value("User-Agent"));
        referers.insert(q.get_header_value("Referer"));
      }
      std::this_thread::sleep_for(20ms);
      s.set_content("GIF " + q.matches[1].str(), "image/gif");
    });
    server.Get("/trickle.gif", [this](const Req&, Res& s) {
      s.set_chunked_content_provider("image/gif", [this](std::size_t, httplib::DataSink& sink) {
        return !server.WaitForStop(200ms) && sink.write("x", 1);
      });
    });
    server.Get(R"(/slow/(\d+)\.gif)", [](const Req& q, Res& s) {
      std::this_thread::sleep_for(100ms);
      s.set_content("GIF" + q.matches[1].str(), "image/gif");
    });
    server.Get(R"(/(stall|held)/\d+\.gif)", [this](const Req& q, Res& s) {
      const bool held = q.matches[1] == "held";
      s.set_content_provider(2000, "image/gif", [this, held](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        if (offset == 0) return sink.write(std::string(1000, 'a').data(), 1000);
        while (!(held && release) && !server.WaitForStop(5ms)) {
        }
        return held && release && sink.write(std::string(1000, 'b').data(), 1000);
      });
    });
    server.Get(R"(/big/(\d+)\.gif)", [](const Req& q, Res& s) {
      s.set_content_provider(std::stoull(q.matches[1].str()), "image/gif",
                             [](std::size_t, std::size_t length, httplib::DataSink& sink) {
                               static const std::string block(1 << 20, 'z');
                               return sink.write(block.data(), std::min<std::size_t>(length, block.size()));
                             });
    });
    server.Start();
  }
};

std::string Name(int i, const char* ext = ".gif") {
  std::string n = std::to_string(i);
  return std::string(15 - n.size(), '0') + n + ext;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::seconds max = 20s) {
  for (const auto end = std::chrono::steady_clock::now() + max; !pred(); std::this_thread::sleep_for(1ms))
    if (std::chrono::steady_clock::now() > end) return false;
  return true;
}

int TempFiles(const std::string& dir) {
  int n = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) n += e.path().string().ends_with(kTempSuffix);
  return n;
}

struct Fixture {
  test::TempDir dir;
  Host host;
  Site site;
  AttachmentQueue queue{host, dir / "data/"};
  std::string att = dir / "data/Accounts/Ch/Attachment/";
  std::string Url(const std::string& path) { return site.server.url(path); }
  void Enqueue(const Pairs& pairs, bool force = false, const AttachmentOrigin& origin = {}) {
    std::string text;
    for (const auto& [name, url] : pairs) text += "<!-- SkimletAttLocal:" + name + " SkimletAttURL:" + url + " -->\n\r";
    queue.EnqueueAttachments(text + std::string(kDataEndMarker) + "<p>news</p>", att, force, origin);
  }
  bool Drain() { return WaitFor([this] { return queue.Idle(); }); }  // no timer: the queue pumps itself
};

TEST(AttachmentTransfers, PicturesAreStoredErrorPagesAreNotAndNoTemporaryIsLeft) {
  Fixture f;
  QueueDisplay d;
  EXPECT_FALSE(f.queue.TakeDisplay(d));  // the window keeps its initial lines until a change
  const std::uint64_t before = TotalBytes();
  f.Enqueue({{Name(1), f.Url("/p/1.png")}, {Name(2), f.Url("/p/2.png")}, {Name(3), f.Url("/missing.gif")}});
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(test::ReadFile(f.att + Name(1)), "PNG1");
  EXPECT_EQ(test::ReadFile(f.att + Name(2)), "PNG2");
  EXPECT_FALSE(FileExists(f.att + Name(3)));
  EXPECT_TRUE(f.host.SawHint("ERROR " + f.Url("/missing.gif")));
  EXPECT_EQ(f.host.Locked([&] { return f.host.failures; }),
            std::vector<std::string>{"Ch> Вложение не загружено: " + f.Url("/missing.gif") +
                                     " - HTTP 404. Адрес запомнен: 7 дней он не будет запрашиваться"});
  EXPECT_EQ(f.queue.Failures(), 1);
  EXPECT_EQ(f.queue.Fetched(), 2);
  EXPECT_GE(TotalBytes() - before, 8u);
  EXPECT_TRUE(f.queue.TakeAttachmentArrived());
  EXPECT_FALSE(f.queue.TakeAttachmentArrived());
  EXPECT_EQ(TempFiles(f.dir.path()), 0);

  // A 404 is not asked for again for 7 days, by this queue or another process's, and fails
  // only the run that found it; then it is.
  f.site.missingFound = true;
  AttachmentQueue next(f.host, f.dir / "data/");
  f.Enqueue({{Name(3), f.Url("/missing.gif")}}, true);
  next.EnqueueAttachments(AttachmentBlock({{Name(4), f.Url("/missing.gif")}}), f.att, true);
  ASSERT_TRUE(f.Drain() && WaitFor([&] { return next.Idle(); }));
  EXPECT_FALSE(FileExists(f.att + Name(3)) || FileExists(f.att + Name(4)));
  EXPECT_EQ(next.Failures(), 0);
  const std::string memory = f.dir / ("data/" + std::string(kMissingAttachmentsFile)), line = test::ReadFile(memory);
  test::WriteFile(memory, std::to_string(std::time(nullptr) - kMissingAttachmentSeconds) + line.substr(line.find(' ')));
  AttachmentQueue later(f.host, f.dir / "data/");
  later.EnqueueAttachments(AttachmentBlock({{Name(3), f.Url("/missing.gif")}}), f.att, true);
  ASSERT_TRUE(WaitFor([&] { return later.Idle(); }));
  EXPECT_EQ(test::ReadFile(f.att + Name(3)), "GIF found");
  // Another failing address, fetched by two runs, counts once.
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.gif";
  for (int i : {5, 6}) {
    f.Enqueue({{Name(i), refused}}, false, {NextAttachmentRun(), "", ""});
    ASSERT_TRUE(f.Drain());
  }
  EXPECT_EQ(f.queue.Failures(), 2);

  std::vector<LampState> slot0 = f.host.Locked([&] { return f.host.lamps[0]; });
  ASSERT_GE(slot0.size(), 5u);
  EXPECT_EQ(slot0[0].colour, LampColour::kMaroon);
  EXPECT_EQ(slot0[0].hint, "Get " + f.Url("/p/1.png"));
  EXPECT_EQ(slot0[1].colour, LampColour::kYellow);
  EXPECT_EQ(slot0[2].colour, LampColour::kGreen);
  for (int s = 0; s < kDownloaderSlots; ++s) EXPECT_EQ(f.queue.Lamp(s).colour, LampColour::kSilver);

  ASSERT_TRUE(f.queue.TakeDisplay(d));
  EXPECT_EQ(d.caption, Cp("Очередь вложений (0)"));
  EXPECT_EQ(d.lines, std::vector<std::string>{Cp("В очереди вложений заданий нет")});
  EXPECT_FALSE(f.queue.TakeDisplay(d));  // nothing changed since
}

TEST(AttachmentTransfers, OversizedUnreachableAndUnrenamableEndAsErrorsWithoutFiles) {
  Fixture f;
  const std::string huge = f.Url("/big/" + std::to_string((64 << 20) + 1) + ".gif");
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/x.gif";
  MakeDirs(f.att + Name(3) + "/");  // a directory where the file should go
  f.Enqueue({{Name(1), huge}, {Name(2), refused}, {Name(3), f.Url("/p/3.png")},
             {Name(4), f.Url("/big/" + std::to_string(64 << 20) + ".gif")}});
  ASSERT_TRUE(f.Drain());
  for (const std::string& url : {huge, refused, f.Url("/p/3.png")}) EXPECT_TRUE(f.host.SawHint("ERROR " + url));
  EXPECT_FALSE(FileExists(f.att + Name(1)));
  EXPECT_FALSE(FileExists(f.att + Name(2)));
  EXPECT_EQ(fs::file_size(f.att + Name(4)), 64u << 20);  // exactly the limit is fine
  EXPECT_EQ(TempFiles(f.dir.path()), 0);
}

TEST(AttachmentTransfers, ATargetThatAppearedMeanwhileIsKeptAndNoTemporaryRemains) {
  Fixture f;
  f.Enqueue({{Name(1), f.Url("/held/1.gif")}});
  const std::string temp = f.att + Name(1) + kTempSuffix;
  ASSERT_TRUE(WaitFor([&] { return FileExists(temp); }));
  test::WriteFile(f.att + Name(1), "old");
  f.site.release = true;
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(test::ReadFile(f.att + Name(1)), "old");
  EXPECT_FALSE(FileExists(temp));
}

TEST(AttachmentAbort, RunningLinesAreSelectedNoDuplicatesAndAbortLeavesNothingBehind) {
  Fixture f;
  f.host.ledCount = 2;
  std::vector<std::string> urls;
  Pairs pairs;
  for (int i = 0; i < 5; ++i)
    pairs.push_back({Name(i), urls.emplace_back(f.Url("/stall/" + std::to_string(i) + ".gif"))});
  f.Enqueue(pairs);
  auto receiving = [&](int i) { return FileExists(f.att + Name(i) + kTempSuffix); };
  ASSERT_TRUE(WaitFor([&] { return receiving(0) && receiving(1); }));
  EXPECT_EQ(f.queue.Busy(), 2);

  QueueDisplay d;
  ASSERT_TRUE(f.queue.TakeDisplay(d));
  EXPECT_EQ(d.caption, Cp("Очередь вложений (5)"));
  EXPECT_EQ(d.lines, (std::vector<std::string>{Cp("Всего файлов в очереди вложений: 5"), urls[1], urls[0], urls[4],
                                               urls[3], urls[2]}));
  EXPECT_EQ(d.selected, (std::vector<int>{1, 2}));

  f.Enqueue(pairs);  // two running, three waiting: nothing new
  test::WriteFile(f.att + Name(5), "here");
  f.Enqueue({{Name(5), f.Url("/p/5.png")}});  // the file is there already
  EXPECT_EQ(f.queue.Waiting(), 3);
  f.Enqueue({{Name(4), f.Url("/p/4.png")}});  // same file, other address
  EXPECT_EQ(f.queue.Waiting(), 4);

  f.queue.AbortAllAttachments();
  EXPECT_EQ(f.queue.Waiting(), 0);
  ASSERT_TRUE(WaitFor([&] { return f.queue.Idle(); }, 10s));  // at once, not after the server's 30 s
  EXPECT_EQ(TempFiles(f.dir.path()), 0);
  EXPECT_FALSE(FileExists(f.att + Name(0)));
  for (int s = 0; s < 2; ++s) {
    std::vector<LampState> lamps = f.host.Locked([&] { return f.host.lamps[s]; });
    ASSERT_GE(lamps.size(), 2u);
    EXPECT_EQ(lamps[lamps.size() - 2].colour, LampColour::kWhite);  // white until the thread ends
    EXPECT_EQ(lamps.back().colour, LampColour::kSilver);
    EXPECT_EQ(lamps.back().hint, "ERROR " + urls[s]);
  }
  ASSERT_TRUE(f.queue.TakeDisplay(d));
  EXPECT_EQ(d.lines, std::vector<std::string>{Cp("В очереди вложений заданий нет")});
}

TEST(AttachmentAbort, LampsEndSilverWhenAnAbortMeetsFinishingTransfers) {
  Fixture f;
  f.host.ledCount = 6;
  for (int round = 0; round < 30; ++round) {
    Pairs pairs;
    for (int i = 0; i < 6; ++i) pairs.push_back({Name(round * 10 + i), f.Url("/p/" + std::to_string(i) + ".png")});
    f.Enqueue(pairs);
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (round % 10)));
    f.queue.AbortAllAttachments();
    ASSERT_TRUE(f.Drain());
    for (int s = 0; s < 6; ++s) {
      ASSERT_EQ(f.queue.Lamp(s).colour, LampColour::kSilver) << "round " << round << " slot " << s;
      ASSERT_EQ(f.host.Last(s).colour, LampColour::kSilver) << "round " << round << " slot " << s;
    }
  }
  EXPECT_EQ(TempFiles(f.dir.path()), 0);
}

TEST(AttachmentQueue, NeverMoreThanLedCountBusyAndTheOtherLampsStayIdle) {
  Fixture f;
  Pairs pairs;
  for (int i = 0; i < 20; ++i) pairs.push_back({Name(i), f.Url("/slow/" + std::to_string(i) + ".gif")});
  f.Enqueue(pairs);
  int maxBusy = 0, maxLit = 0;
  // Nobody pumps here: a freed slot must take the next entry by itself.
  ASSERT_TRUE(WaitFor([&] {
    maxBusy = std::max(maxBusy, f.queue.Busy());
    int lit = 0;
    for (int s = 0; s < kDownloaderSlots; ++s) lit += f.queue.Lamp(s).colour != LampColour::kSilver;
    maxLit = std::max(maxLit, lit);
    return f.queue.Idle();
  }));
  EXPECT_EQ(maxBusy, 3);
  EXPECT_LE(maxLit, 3);
  for (int s = 3; s < kDownloaderSlots; ++s) EXPECT_TRUE(f.host.Locked([&] { return f.host.lamps[s].empty(); })) << s;
  for (int i = 0; i < 20; ++i) EXPECT_EQ(test::ReadFile(f.att + Name(i)), "GIF" + std::to_string(i));
}

TEST(AttachmentQueue, TheFiveThousandthEntryIsAcceptedAndTheNextOverflows) {
  Fixture f;
  f.host.ledCount = 0;  // everything waits
  Pairs pairs;
  for (int i = 0; i < kMaxQueued - 1; ++i) pairs.push_back({Name(i), "http://127.0.0.1:9/" + std::to_string(i)});
  f.Enqueue(pairs);
  EXPECT_EQ(f.queue.Waiting(), kMaxQueued - 1);
  f.Enqueue({{Name(kMaxQueued - 1), "http://127.0.0.1:9/last"}, {Name(kMaxQueued), "http://127.0.0.1:9/x"},
             {Name(kMaxQueued + 1), "http://127.0.0.1:9/y"}});
  EXPECT_EQ(f.queue.Waiting(), kMaxQueued);
  const std::string message = Cp("Переполнение буфера присоединенных файлов. Перезапустите программу.");
  EXPECT_EQ(f.host.overflows, std::vector<std::string>{message});  // once for the article
  f.Enqueue({{Name(kMaxQueued + 2), "http://127.0.0.1:9/z"}});
  EXPECT_EQ(f.host.overflows.size(), 2u);

  QueueDisplay d;
  ASSERT_TRUE(f.queue.TakeDisplay(d));
  EXPECT_EQ(d.lines.size(), static_cast<std::size_t>(kMaxQueued) + 1);
  EXPECT_EQ(d.lines[1], "http://127.0.0.1:9/last");
  f.queue.AbortAllAttachments();
  f.Enqueue({{Name(kMaxQueued), "http://127.0.0.1:9/x"}});
  EXPECT_EQ(f.queue.Waiting(), 1);
}

TEST(AttachmentQueue, FlagDownloadPicturesOffEmptiesTheWaitingQueueButTheRunningTransferCompletes) {
  Fixture f;
  f.queue.SetFlagDownloadPictures(false);
  f.Enqueue({{Name(1), f.Url("/p/1.png")}});
  EXPECT_FALSE(DirExists(f.att));
  f.host.ledCount = 1;
  f.queue.SetFlagDownloadPictures(true);
  f.Enqueue({{Name(1), f.Url("/held/1.gif")}, {Name(2), f.Url("/p/2.png")}, {Name(3), f.Url("/p/3.png")}});
  ASSERT_TRUE(WaitFor([&] { return f.queue.Busy() == 1; }));
  f.queue.SetFlagDownloadPictures(false);
  EXPECT_EQ(f.queue.Waiting(), 0);
  f.Enqueue({{Name(5), f.Url("/p/5.png")}});
  EXPECT_EQ(f.queue.Waiting(), 0);
  f.site.release = true;
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(test::ReadFile(f.att + Name(1)), std::string(1000, 'a') + std::string(1000, 'b'));
  EXPECT_TRUE(f.host.SawHint("Complete " + f.Url("/held/1.gif")));
  EXPECT_FALSE(FileExists(f.att + Name(2)));
  f.Enqueue({{Name(2), f.Url("/p/2.png")}}, true);  // forced, as DownloadPictures does
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(test::ReadFile(f.att + Name(2)), "PNG2");
}

TEST(AttachmentQueue, HostileLocalNamesNeverLeaveTheAttachmentFolder) {
  Fixture f;
  const std::string url = f.Url("/p/7.png");
  f.Enqueue({{"../../x.png", url}, {"..", url}, {"../Attachment2/y.png", url}, {"/tmp/y.png", url}, {Name(7), url}});
  ASSERT_TRUE(f.Drain());
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(f.dir / "data/Accounts"))
    if (!e.is_directory()) files.push_back(e.path().string());
  EXPECT_EQ(files, std::vector<std::string>{f.att + Name(7)});
}

int Threads() {
  int n = 0;
  for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++n;
  return n;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(AttachmentSharing, AnAddressIsFetchedOncePerRunAndLinkedUnderEveryName) {
  Fixture f;
  const AttachmentOrigin run{NextAttachmentRun(), "Opera 7.11", "http://h.ru/news/1.html"};
  // Three news of one run, each with its own name for the site's logo; one waits, one runs.
  f.Enqueue({{Name(1), f.Url("/shared/logo.gif")}, {Name(2), f.Url("/shared/a.gif")}}, false, run);
  f.Enqueue({{Name(3), f.Url("/shared/logo.gif")}, {Name(4), f.Url("/shared/b.gif")}}, false, run);
  ASSERT_TRUE(f.Drain());
  f.Enqueue({{Name(5), f.Url("/shared/logo.gif")}}, false, run);  // fetched already in this run
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(f.site.hits["/shared/logo.gif"], 1);
  for (int i : {1, 3, 5}) EXPECT_EQ(test::ReadFile(f.att + Name(i)), "GIF logo") << i;
  EXPECT_EQ(Inode(f.att + Name(3)), Inode(f.att + Name(1)));  // hard links, not copies
  EXPECT_EQ(Inode(f.att + Name(5)), Inode(f.att + Name(1)));
  EXPECT_EQ(f.queue.Fetched(), 3);
  EXPECT_EQ(f.site.agents, std::set<std::string>{"Opera 7.11"});  // as the news page was asked for
  EXPECT_EQ(f.site.referers, std::set<std::string>{"http://h.ru/news/1.html"});

  // The next run asks again; so does a picture queued without a run once the first has ended.
  f.queue.ForgetRun(run.run);
  f.Enqueue({{Name(6), f.Url("/shared/logo.gif")}}, false, {NextAttachmentRun(), "", ""});
  ASSERT_TRUE(f.Drain());
  f.Enqueue({{Name(7), f.Url("/shared/logo.gif")}});
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(f.site.hits["/shared/logo.gif"], 3);
  EXPECT_EQ(test::ReadFile(f.att + Name(7)), "GIF logo");
  // A picture without its page gets an agent of the table, and no referer.
  std::set<std::string> table;
  for (const AgentRow& row : AgentTable) table.insert(row.agent);
  for (const std::string& agent : f.site.agents) EXPECT_TRUE(table.count(agent)) << agent;
  EXPECT_TRUE(f.site.referers.count(""));
}

TEST(AttachmentSharing, WorkersKeepTheirThreadsAndConnections) {
  Fixture f;
  f.host.ledCount = 1;
  Pairs warm{{Name(0), f.Url("/shared/warm.gif")}};
  f.Enqueue(warm);
  ASSERT_TRUE(f.Drain());
  const int threads = Threads();
  Pairs pairs;
  for (int i = 1; i <= 20; ++i) pairs.push_back({Name(i), f.Url("/shared/" + std::to_string(i) + ".gif")});
  f.Enqueue(pairs);
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(Threads(), threads);  // no thread per picture
  EXPECT_EQ(f.site.ports.size(), 1u) << "21 pictures, one worker: one connection";

  f.host.ledCount = 3;
  pairs.clear();
  for (int i = 21; i <= 60; ++i) pairs.push_back({Name(i), f.Url("/shared/" + std::to_string(i) + ".gif")});
  f.Enqueue(pairs);
  ASSERT_TRUE(f.Drain());
  EXPECT_LE(Threads(), threads + 2);
  EXPECT_LE(f.site.ports.size(), 3u);
  EXPECT_EQ(f.site.hits.size(), 61u);
  for (int i = 1; i <= 60; ++i) EXPECT_EQ(test::ReadFile(f.att + Name(i)), "GIF " + std::to_string(i));

  // An abort does not spoil the worker for the next picture.
  f.Enqueue({{Name(70), f.Url("/stall/70.gif")}});
  ASSERT_TRUE(WaitFor([&] { return FileExists(f.att + Name(70) + kTempSuffix); }));
  f.queue.AbortAllAttachments();
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(f.queue.Failures(), 0);  // an abort is not the site's failure
  f.Enqueue({{Name(71), f.Url("/p/71.png")}});
  ASSERT_TRUE(f.Drain());
  EXPECT_EQ(test::ReadFile(f.att + Name(71)), "PNG71");
}

TEST(AttachmentTransfers, ATricklingPictureFailsWithinTheLimitOfTheSettings) {
  Fixture f;
  f.host.lowSpeedTime = 1;
  auto start = std::chrono::steady_clock::now();
  f.Enqueue({{Name(1), f.Url("/trickle.gif")}});
  ASSERT_TRUE(f.Drain());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(FileExists(f.att + Name(1)));
  EXPECT_EQ(TempFiles(f.dir.path()), 0);
  EXPECT_EQ(f.host.Locked([&] { return f.host.failures; }),
            std::vector<std::string>{"Ch> Вложение не загружено: " + f.Url("/trickle.gif") +
                                     " - Слишком медленно (меньше 64 байт/с за 1 с)"});
}

}  // namespace
}  // namespace skimlet
