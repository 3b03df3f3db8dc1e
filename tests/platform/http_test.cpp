#include "platform/Http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
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
  EXPECT_EQ(Fetch(client, "/missing"), "no such page");
  EXPECT_EQ(client.Status(), 404);
  EXPECT_FALSE(client.Failed());

  EXPECT_EQ(Fetch(client, "/old"), "moved here");
  EXPECT_EQ(client.Status(), 200);
  EXPECT_EQ(client.EffectiveUrl(), server.url("/new"));

  EXPECT_FALSE(client.Open({server.url("/to-ftp"), "", {}}, {}));
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Unsupported protocol in redirect");

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
  EXPECT_EQ(client.Error(), "Connection refused");

  EXPECT_EQ(Fetch(client, "/short"), "0123456789");
  EXPECT_TRUE(client.Failed());

  HttpSettings limited;
  limited.maxBodyBytes = 1 << 20;
  EXPECT_LE(Fetch(client, "/big", limited).size(), limited.maxBodyBytes);
  EXPECT_TRUE(client.TooLarge());
  EXPECT_TRUE(client.Failed());
  EXPECT_EQ(client.Error(), "Body larger than 1 MiB");

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
  EXPECT_EQ(client.Error(), "No data received for 300 ms");

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
  EXPECT_EQ(client.Error(), "Stopped");
}

TEST_F(Http, CookieJarIsSharedAndPersistent) {
  HttpSettings settings;
  settings.cookieJar = dir / "cookies.txt";
  HttpClient a, b;
  Fetch(a, "/set?name=a&value=1", settings);
  Fetch(b, "/set?name=b&value=2", settings);  // loaded the jar before `a` wrote it
  a.Close();
  b.Close();
  Fetch("/new", settings);
  EXPECT_NE(Seen("Cookie").find("a=1"), std::string::npos) << Seen("Cookie");
  EXPECT_NE(Seen("Cookie").find("b=2"), std::string::npos) << Seen("Cookie");
  // Nobody but the user may read the jar.
  EXPECT_EQ(std::filesystem::status(dir / "cookies.txt").permissions() &
                (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);

  settings.noCookies = true;
  HttpClient none;
  Fetch(none, "/set?name=c&value=3", settings);
  Fetch(none, "/new", settings);
  EXPECT_EQ(Seen("Cookie"), "<none>");
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

}  // namespace
}  // namespace skimlet
