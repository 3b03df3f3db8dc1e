#include "platform/Http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/HttpTestServer.h"
#include "tests/support/TestSupport.h"

namespace skimlet {
namespace {

using namespace std::chrono_literals;
using Req = httplib::Request;
using Res = httplib::Response;

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
  return s;
}

std::string ReadAll(HttpClient& client, std::size_t block = 512) {
  std::string body;
  while (client.Read(body, block) > 0) {
  }
  return body;
}

// gzip of "Skimlet decoded this gzip body.\n" repeated 64 times.
const unsigned char kGzip[] = {
    0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0x0b, 0xce, 0xce, 0xcc, 0xcd, 0x49, 0x2d, 0x51,
    0x48, 0x49, 0x4d, 0xce, 0x4f, 0x49, 0x4d, 0x51, 0x28, 0xc9, 0xc8, 0x2c, 0x56, 0x48, 0xaf, 0xca, 0x2c, 0x50,
    0x48, 0xca, 0x4f, 0xa9, 0xd4, 0xe3, 0x0a, 0x1e, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f, 0x95, 0x1f,
    0x95, 0x1f, 0x95, 0x1f, 0x76, 0xf2, 0x00, 0x87, 0x73, 0x38, 0x20, 0x00, 0x08, 0x00, 0x00};

// One loopback site with every kind of server the fetcher meets. Streaming answers use a
// binary type: the server would gzip text and hold the pieces back.
class Http : public ::testing::Test {
 protected:
  void SetUp() override {
    auto content = [](std::string body, std::string type) {
      return [body, type](const Req&, Res& res) { res.set_content(body, type); };
    };
    server.Get("/page", [](const Req&, Res& res) {
      res.set_chunked_content_provider("text/html; charset=koi8-r", [](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= 20000) {
          sink.done();
          return true;
        }
        return sink.write(Pattern(20000).data() + offset, std::min<std::size_t>(1500, 20000 - offset));
      });
    });
    server.Get("/missing", [](const Req&, Res& res) {
      res.status = 404;
      res.set_content("no such page", "text/plain");
    });
    server.Get("/old", [this](const Req&, Res& res) { res.set_redirect(server.url("/new")); });
    server.Get("/new", content("moved here", "text/html"));
    server.Get("/to-ftp", [](const Req&, Res& res) { res.set_redirect("ftp://127.0.0.1/file.txt"); });
    server.Get("/gz", [](const Req&, Res& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(reinterpret_cast<const char*>(kGzip), sizeof kGzip, "application/octet-stream");
    });
    server.Get("/short", [](const Req&, Res& res) {
      res.set_content_provider(1000, "text/plain", [](std::size_t, std::size_t, httplib::DataSink& sink) {
        sink.write("0123456789", 10);
        return false;  // closes the connection 990 bytes early
      });
    });
    server.Get("/big", content(Pattern(6 << 20), "application/octet-stream"));
    server.Get("/1000", content(Pattern(1000), "application/octet-stream"));
    server.Get("/silent", [this](const Req&, Res& res) {
      server.WaitForStop();
      res.status = 204;
    });
    server.Get("/slow", [](const Req&, Res& res) {
      res.set_chunked_content_provider("application/octet-stream", [](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= 120) {
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(50ms);
        return sink.write("0123456789", 10);
      });
    });
    server.Get("/stall", [this](const Req&, Res& res) {
      res.set_chunked_content_provider("application/octet-stream", [this](std::size_t offset, httplib::DataSink& sink) {
        if (offset == 0) return sink.write("first part", 10);
        server.WaitForStop();
        return false;
      });
    });
    server.Get("/unavailable", [](const Req&, Res& res) {
      res.status = 503;
      res.set_content("try later", "text/html");
    });
    server.Get("/trickle", [this](const Req&, Res& res) {  // one byte every 100 ms, for ever
      res.set_chunked_content_provider("application/octet-stream", [this](std::size_t, httplib::DataSink& sink) {
        return !server.WaitForStop(100ms) && sink.write("x", 1);
      });
    });
    server.Get("/steady", [this](const Req&, Res& res) {  // 40 KB/s, for ever
      res.set_chunked_content_provider("application/octet-stream", [this](std::size_t, httplib::DataSink& sink) {
        return !server.WaitForStop(50ms) && sink.write(Pattern(2000).data(), 2000);
      });
    });
    server.Get("/long-header", [](const Req&, Res& res) {
      res.set_header("X-Padding", std::string(2 << 20, 'p'));
      res.set_content("never seen", "text/plain");
    });
    server.Get("/flood", [](const Req& req, Res& res) {  // 50 cookies of 4 KB
      for (int i = 0; i < 50; ++i)
        res.set_header("Set-Cookie", "f" + req.get_param_value("page") + "_" + std::to_string(i) + "=" +
                                         std::string(4000, 'v') + "; Path=/; Max-Age=3600");
      res.set_content("flood", "text/plain");
    });
    server.Get("/forget", [](const Req& req, Res& res) {
      res.set_header("Set-Cookie", req.get_param_value("name") + "=; Path=/; Max-Age=0");
      res.set_content("forgotten", "text/plain");
    });
    server.Get("/port", [](const Req& req, Res& res) { res.set_content(std::to_string(req.remote_port), "text/plain"); });
    server.Get("/set", [](const Req& req, Res& res) {
      res.set_header("Set-Cookie", req.get_param_value("name") + "=" + req.get_param_value("value") + "; Path=/");
      res.set_content("set", "text/plain");
    });
    server.Get("/validated", [this](const Req& req, Res& res) {
      if (req.get_header_value("If-None-Match") == "\"v1\"" || req.get_header_value("If-Modified-Since") == kDate) {
        ++notModified;
        res.status = 304;
        return;
      }
      if (req.has_param("etag")) res.set_header("ETag", "\"v1\"");
      if (req.has_param("date")) res.set_header("Last-Modified", kDate);
      res.set_content("version " + std::to_string(version.load()), "text/html; charset=utf-8");
    });
    server.Get("/concurrent", [this](const Req&, Res& res) {  // counts the transfers under way at once
      int now = ++inFlight;
      for (int seen = mostInFlight; now > seen && !mostInFlight.compare_exchange_weak(seen, now);) {
      }
      std::this_thread::sleep_for(60ms);
      --inFlight;
      res.set_content("done", "text/plain");
    });
    server.Start();
  }

  std::string Fetch(HttpClient& client, const std::string& path, const HttpSettings& settings = {}) {
    EXPECT_TRUE(client.Open({server.url(path), "Opera 7.11", {}}, settings)) << path;
    return ReadAll(client);
  }
  std::string Fetch(const std::string& path, const HttpSettings& settings = {}) {
    HttpClient client;
    return Fetch(client, path, settings);
  }
  std::string Seen(const std::string& header) {
    httplib::Headers headers = server.lastRequestHeaders();
    auto it = headers.find(header);
    return it == headers.end() ? "<none>" : it->second;
  }

  static constexpr const char* kDate = "Wed, 21 Oct 2015 07:28:00 GMT";
  test::HttpTestServer server;
  test::TempDir dir;
  std::atomic<int> notModified{0};
  std::atomic<int> version{1};
  std::atomic<int> inFlight{0}, mostInFlight{0};
};

TEST_F(Http, BodyArrivesInBlocksNoLargerThanAsked) {
  HttpClient client;
  ASSERT_TRUE(client.Open({server.url("/page"), "Opera 7.11", {}}, {}));
  EXPECT_EQ(client.Status(), 200);
  EXPECT_EQ(client.ContentType(), "text/html; charset=koi8-r");
  std::string got;
  for (std::size_t n; (n = client.Read(got, 512)) > 0;) ASSERT_LE(n, 512u);
  EXPECT_EQ(got, Pattern(20000));
  EXPECT_FALSE(client.Failed());
  EXPECT_EQ(client.Error(), "");
}

TEST_F(Http, StatusRedirectsAndEncoding) {
  HttpClient client;
  // An error page is a failure, never a body.
  EXPECT_FALSE(client.Open({server.url("/missing"), "", {}}, {}));
  EXPECT_EQ(client.Status(), 404);
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "HTTP 404");
  std::string body;
  EXPECT_EQ(client.Read(body, 512), 0u);
  EXPECT_EQ(body, "");

  EXPECT_EQ(Fetch(client, "/old"), "moved here");
  EXPECT_EQ(client.Status(), 200);
  EXPECT_EQ(client.EffectiveUrl(), server.url("/new"));

  EXPECT_FALSE(client.Open({server.url("/to-ftp"), "", {}}, {}));
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Переадресация на ftp://127.0.0.1/file.txt отклонена: разрешены только http и https");

  std::string expected;
  for (int i = 0; i < 64; ++i) expected += "Skimlet decoded this gzip body.\n";
  EXPECT_EQ(Fetch(client, "/gz"), expected);
  EXPECT_EQ(Seen("Accept-Encoding"), "gzip, deflate");
}

TEST_F(Http, HeaderLinesAndAgentReachTheServerAsGiven) {
  HttpRequest request{server.url("/new"),
                      "Mozilla/4.0 (compatible; MSIE 5.01; Windows 98)",
                      {"Accept: */*", "Accept-Language: ru", "Accept-Encoding: gzip, deflate", "X-Skimlet: two  words"}};
  HttpClient client;
  ASSERT_TRUE(client.Open(request, {}));
  httplib::Headers seen = server.lastRequestHeaders();
  EXPECT_EQ(seen.count("Accept"), 1u);
  EXPECT_EQ(seen.count("Accept-Encoding"), 1u);
  EXPECT_EQ(Seen("Accept"), "*/*");
  EXPECT_EQ(Seen("Accept-Language"), "ru");
  EXPECT_EQ(Seen("Accept-Encoding"), "gzip, deflate");
  EXPECT_EQ(Seen("X-Skimlet"), "two  words");
  EXPECT_EQ(Seen("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.01; Windows 98)");
}

TEST_F(Http, BrokenTransfersFail) {
  HttpClient client;
  EXPECT_FALSE(client.Open({"http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", "", {}}, {}));
  EXPECT_EQ(client.Status(), 0);
  EXPECT_EQ(client.Error(), "Соединение отклонено");

  EXPECT_EQ(Fetch(client, "/short"), "0123456789");
  EXPECT_TRUE(client.Failed());

  HttpSettings limited;
  limited.maxBodyBytes = 1 << 20;
  EXPECT_LE(Fetch(client, "/big", limited).size(), limited.maxBodyBytes);
  EXPECT_TRUE(client.TooLarge());
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Слишком большой ответ (больше 1 МиБ)");

  limited.maxBodyBytes = 1000;
  EXPECT_EQ(Fetch(client, "/1000", limited).size(), 1000u);
  EXPECT_FALSE(client.TooLarge());
  EXPECT_FALSE(client.Failed());
}

TEST_F(Http, IdleTimeoutCountsSilenceNotDuration) {
  HttpSettings settings;
  settings.idleTimeoutMs = 300;
  HttpClient client;
  EXPECT_FALSE(client.Open({server.url("/silent"), "", {}}, settings));
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Сервер не отвечает (нет данных 300 мс)");

  settings.idleTimeoutMs = 400;  // the body takes 600 ms in gaps of 50 ms
  EXPECT_EQ(Fetch(client, "/slow", settings).size(), 120u);
  EXPECT_FALSE(client.Failed()) << client.Error();
}

// Calls Stop() from another thread once the client waits, past curl's own early timers, so
// that only the wake-up can end the wait quickly.
class StopLater {
 public:
  explicit StopLater(HttpClient& client)
      : thread_([this, &client] {
          std::this_thread::sleep_for(500ms);
          stoppedAt_ = std::chrono::steady_clock::now();
          client.Stop();
        }) {}
  ~StopLater() {
    if (thread_.joinable()) thread_.join();
  }
  std::chrono::steady_clock::duration SinceStop() {
    thread_.join();
    return std::chrono::steady_clock::now() - stoppedAt_;
  }

 private:
  std::chrono::steady_clock::time_point stoppedAt_;
  std::thread thread_;
};

TEST_F(Http, StopWakesAWaitingOpenAndSticks) {
  HttpClient client;
  StopLater stopper(client);
  EXPECT_FALSE(client.Open({server.url("/silent"), "", {}}, {}));  // idle time-out 60 s
  EXPECT_LT(stopper.SinceStop(), 1s);
  EXPECT_TRUE(client.Stopped());
  EXPECT_TRUE(client.Failed());

  int requests = server.requestCount();
  EXPECT_FALSE(client.Open({server.url("/new"), "", {}}, {}));
  std::string out;
  EXPECT_EQ(client.Read(out, 512), 0u);
  EXPECT_EQ(server.requestCount(), requests);
}

TEST_F(Http, StopWakesAWaitingRead) {
  HttpClient client;
  ASSERT_TRUE(client.Open({server.url("/stall"), "", {}}, {}));
  std::string body;
  while (body.size() < 10 && client.Read(body, 512) > 0) {
  }
  ASSERT_EQ(body, "first part");
  StopLater stopper(client);
  EXPECT_EQ(client.Read(body, 512), 0u);
  EXPECT_LT(stopper.SinceStop(), 1s);
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Загрузка остановлена");
}

TEST_F(Http, TheJarIsReadOncePerProcessAndWrittenBackMergedWithOtherWriters) {
  HttpSettings settings;
  settings.cookieJar = dir / "cookies.txt";
  test::WriteFile(settings.cookieJar, "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\told\t1\n");
  HttpClient a, b;
  Fetch(a, "/set?name=a&value=1", settings);
  EXPECT_EQ(Seen("Cookie"), "old=1");
  Fetch(b, "/set?name=b&value=2", settings);  // every client of the process shares the jar
  EXPECT_EQ(Seen("Cookie"), "old=1; a=1");
  EXPECT_EQ(test::ReadFile(settings.cookieJar).find("a\t1"), std::string::npos);  // nothing written yet

  // Another process writes meanwhile: not read again by this one, but kept when it saves.
  test::WriteFile(settings.cookieJar, test::ReadFile(settings.cookieJar) + "127.0.0.1\tFALSE\t/\tFALSE\t0\tother\t9\n");
  Fetch(a, "/forget?name=old", settings);
  Fetch(a, "/new", settings);
  std::string sent = Seen("Cookie");
  EXPECT_TRUE(sent == "a=1; b=2" || sent == "b=2; a=1") << sent;
  a.Close();
  b.Close();
  ASSERT_TRUE(SaveCookieJar(settings.cookieJar));
  std::string jar = test::ReadFile(settings.cookieJar);
  EXPECT_NE(jar.find("\ta\t1\n"), std::string::npos) << jar;
  EXPECT_NE(jar.find("\tb\t2\n"), std::string::npos) << jar;
  EXPECT_NE(jar.find("\tother\t9\n"), std::string::npos) << jar;
  EXPECT_EQ(jar.find("\told\t"), std::string::npos) << jar;  // deleted by the site
  EXPECT_EQ(std::filesystem::status(settings.cookieJar).permissions() &
                (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);

  // Nothing new: the file is left alone.
  test::WriteFile(settings.cookieJar, "untouched");
  Fetch(a, "/new", settings);
  a.Close();
  ASSERT_TRUE(SaveCookieJar(settings.cookieJar));
  EXPECT_EQ(test::ReadFile(settings.cookieJar), "untouched");

  settings.noCookies = true;
  HttpClient none;
  Fetch(none, "/set?name=c&value=3", settings);
  Fetch(none, "/new", settings);
  EXPECT_EQ(Seen("Cookie"), "<none>");
}

TEST_F(Http, ACookieFloodIsCappedAsBrowsersCapIt) {
  HttpSettings settings;
  settings.cookieJar = dir / "cookies.txt";
  HttpClient client;
  for (int page = 0; page < 6; ++page) Fetch(client, "/flood?page=" + std::to_string(page), settings);
  client.Close();
  ASSERT_TRUE(SaveCookieJar(settings.cookieJar));
  std::string jar = test::ReadFile(settings.cookieJar);
  std::size_t lines = std::count(jar.begin(), jar.end(), '\n') - 1;  // without the title line
  EXPECT_EQ(lines, kMaxCookiesPerDomain);
  EXPECT_NE(jar.find("\tf5_49\t"), std::string::npos);  // the newest stay
  EXPECT_EQ(jar.find("\tf0_0\t"), std::string::npos);
  EXPECT_LT(jar.size(), 800u << 10);
}

TEST(CookieCaps, ExpiredOversizedAndBeyondTheLimitsGo) {
  auto line = [](const std::string& domain, const std::string& name, long long expires, std::size_t valueSize = 1) {
    return domain + "\tFALSE\t/\tFALSE\t" + std::to_string(expires) + "\t" + name + "\t" + std::string(valueSize, 'v');
  };
  const std::int64_t now = 1'700'000'000;
  std::vector<std::string> in = {line("a.ru", "expired", now - 1), line("a.ru", "session", 0),
                                 line("a.ru", "later", now + 10), line("a.ru", "big", 0, kMaxCookieBytes),
                                 line("a.ru", "fits", 0, kMaxCookieBytes - 4), "#HttpOnly_" + line(".a.ru", "h", 0),
                                 "not a cookie"};
  EXPECT_EQ(CapCookies(in, now), (std::vector<std::string>{in[1], in[2], in[4], in[5]}));

  // One domain keeps its newest 180; then the largest domains give up their oldest.
  std::vector<std::string> many;
  for (int i = 0; i < 200; ++i) many.push_back(line("flood.ru", "f" + std::to_string(i), 0));
  for (int d = 0; d < 20; ++d)
    for (int i = 0; i < 150; ++i) many.push_back(line("site" + std::to_string(d) + ".ru", "c" + std::to_string(i), 0));
  many.push_back(line("small.ru", "login", 0));
  std::vector<std::string> out = CapCookies(many, now);
  EXPECT_EQ(out.size(), kMaxCookies);
  std::map<std::string, int> perDomain;
  for (const std::string& l : out) ++perDomain[l.substr(0, l.find('\t'))];
  EXPECT_EQ(perDomain["small.ru"], 1);
  for (const auto& [domain, n] : perDomain) EXPECT_LE(n, 150) << domain;
  EXPECT_EQ(std::count(out.begin(), out.end(), line("flood.ru", "f199", 0)), 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), line("flood.ru", "f20", 0)), 0);
}

TEST_F(Http, WithoutAJarCookiesLiveInTheClient) {
  HttpClient client;
  Fetch(client, "/set?name=mem&value=7");
  Fetch(client, "/new");
  EXPECT_EQ(Seen("Cookie"), "mem=7");
  Fetch("/new");
  EXPECT_EQ(Seen("Cookie"), "<none>");
}

TEST_F(Http, CacheAnswersNotModified) {
  HttpSettings settings;
  settings.cacheDir = dir / "cache";
  settings.reload = false;
  for (std::string path : {"/validated?etag", "/validated?date"}) {
    version = 1;
    EXPECT_EQ(Fetch(path, settings), "version 1");
    version = 2;  // only an unconditional request sees this
    HttpClient client;
    EXPECT_EQ(Fetch(client, path, settings), "version 1");
    EXPECT_EQ(client.Status(), 200);
    EXPECT_EQ(client.ContentType(), "text/html; charset=utf-8");
  }
  EXPECT_EQ(notModified, 2);

  settings.reload = true;
  EXPECT_EQ(Fetch("/validated?etag", settings), "version 2");
  EXPECT_EQ(Seen("If-None-Match"), "<none>");

  settings.reload = false;
  settings.useCache = false;
  settings.cacheDir = dir / "unused";
  EXPECT_EQ(Fetch("/validated?etag", settings), "version 2");
  EXPECT_FALSE(std::filesystem::exists(settings.cacheDir) && !std::filesystem::is_empty(settings.cacheDir));
  EXPECT_EQ(notModified, 2);
}

TEST_F(Http, TransfersToOneHostWaitForAFreeSlotAndAStopEndsTheWait) {
  for (int limit : {2, 0}) {
    mostInFlight = 0;
    HttpSettings settings;
    settings.maxPerHost = limit;
    std::vector<std::thread> threads;
    for (int i = 0; i < 5; ++i) threads.emplace_back([&] { EXPECT_EQ(Fetch("/concurrent", settings), "done"); });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mostInFlight, limit ? limit : 5) << limit;
  }
  HttpSettings one;
  one.maxPerHost = 1;
  HttpClient holder, waiter;
  ASSERT_TRUE(holder.Open({server.url("/big"), "", {}}, one));  // holds the slot until closed
  std::thread stopper([&] {
    std::this_thread::sleep_for(50ms);
    waiter.Stop();
  });
  EXPECT_FALSE(waiter.Open({server.url("/concurrent"), "", {}}, one));
  stopper.join();
  holder.Close();
  waiter.Restart();
  EXPECT_EQ(Fetch(waiter, "/concurrent", one), "done");
}

TEST_F(Http, AHeldCacheEntryIsWrittenOnlyWhenStored) {
  HttpSettings settings;
  settings.cacheDir = dir / "held";
  settings.holdCacheEntry = true;
  HttpClient client;
  EXPECT_EQ(Fetch(client, "/validated?etag", settings), "version 1");
  std::shared_ptr<HeldCacheEntry> held = client.TakeHeldCacheEntry();
  ASSERT_NE(held, nullptr);
  EXPECT_FALSE(std::filesystem::exists(settings.cacheDir));
  StoreHeldCacheEntry(*held);
  settings.reload = false;
  settings.holdCacheEntry = false;
  version = 2;
  EXPECT_EQ(Fetch("/validated?etag", settings), "version 1");  // answered 304 from the stored entry
}

TEST_F(Http, ConnectionReuseFollowsTheSetting) {
  HttpClient client;
  std::string first = Fetch(client, "/port");
  EXPECT_EQ(Fetch(client, "/port"), first);
  HttpSettings fresh;
  fresh.reuseConnection = false;
  EXPECT_NE(Fetch(client, "/port", fresh), Fetch(client, "/port", fresh));
}

TEST_F(Http, LargeBodyReadSlowlyArrivesIntactAndClosesEarly) {
  HttpClient client;
  ASSERT_TRUE(client.Open({server.url("/big"), "", {}}, {}));
  std::this_thread::sleep_for(200ms);  // the socket fills up behind a lagging reader
  EXPECT_EQ(ReadAll(client, 4096), Pattern(6 << 20));
  EXPECT_FALSE(client.Failed());

  ASSERT_TRUE(client.Open({server.url("/big"), "", {}}, {}));
  std::string part;
  ASSERT_GT(client.Read(part, 4096), 0u);
  client.Close();
  EXPECT_EQ(Fetch(client, "/new"), "moved here");
}

TEST_F(Http, TrickleAndEndlessTransfersFailWithTheirReason) {
  HttpSettings settings;
  settings.lowSpeedWindowMs = 500;  // 64 bytes/s over half a second
  HttpClient client;
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.Open({server.url("/trickle"), "", {}}, settings));
  std::string body = ReadAll(client);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Слишком медленно (меньше 64 байт/с за 500 мс)");
  EXPECT_LE(body.size(), 20u);

  settings = {};
  settings.maxTransferMs = 700;  // fast enough, but never ending
  start = std::chrono::steady_clock::now();
  ASSERT_TRUE(client.Open({server.url("/steady"), "", {}}, settings));
  body = ReadAll(client);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Слишком долгая загрузка (дольше 700 мс)");
  EXPECT_GE(body.size(), 4000u);

  // A body that arrives in time passes, however long its reader dawdles between reads.
  settings.maxTransferMs = 400;
  settings.lowSpeedWindowMs = 200;
  ASSERT_TRUE(client.Open({server.url("/slow"), "", {}}, settings));  // 120 bytes in 600 ms
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(ReadAll(client).size(), 120u);
  EXPECT_FALSE(client.Failed()) << client.Error();
}

TEST_F(Http, FailuresSayWhyInRussian) {
  HttpClient client;
  EXPECT_FALSE(client.Open({server.url("/unavailable"), "", {}}, {}));
  EXPECT_EQ(client.Error(), "HTTP 503");

  EXPECT_FALSE(client.Open({server.url("/long-header"), "", {}}, {}));
  EXPECT_EQ(client.Error(), "Слишком длинный заголовок ответа");

  // TLS spoken to a plain HTTP server.
  EXPECT_FALSE(client.Open({"https://127.0.0.1:" + std::to_string(server.port()) + "/new", "", {}}, {}));
  EXPECT_EQ(client.Error(), "Ошибка защищённого соединения (TLS)");

  HttpSettings quick;
  quick.connectTimeoutMs = 5000;
  EXPECT_FALSE(client.Open({"http://no-such-host.invalid/", "", {}}, quick));
  EXPECT_EQ(client.Error(), "Имя сервера не найдено: no-such-host.invalid");

  EXPECT_FALSE(client.Open({"gopher://127.0.0.1/", "", {}}, {}));
  EXPECT_EQ(client.Error(), "Адрес не http и не https");
}

TEST_F(Http, ARestartedClientWorksAgainOnItsConnection) {
  HttpClient client;
  std::string port = Fetch(client, "/port");
  client.Stop();
  EXPECT_FALSE(client.Open({server.url("/port"), "", {}}, {}));
  client.Restart();
  EXPECT_EQ(Fetch(client, "/port"), port);
  EXPECT_FALSE(client.Failed());
}

}  // namespace
}  // namespace skimlet
