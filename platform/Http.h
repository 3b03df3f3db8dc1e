// The one HTTP client of the core, on libcurl: page fetches and attachment transfers.
// HTTP and HTTPS only (also across redirects), gzip/deflate decoded, a connect time-out,
// an idle time-out (a transfer that receives nothing for that long fails), a body limit,
// an on-disk page cache, a cookie jar, and a Stop() that wakes a waiting transfer at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace skimlet {

struct HttpSettings {
  bool reload = true;           // "always load from the site": never answer from the cache
  bool reuseConnection = true;  // keep connections open between requests of one client
  bool useCache = true;         // keep responses in the on-disk page cache
  bool noCookies = false;       // no cookie engine; otherwise a persistent cookie jar
  std::string cacheDir;         // where the page cache lives (empty: no cache)
  std::string cookieJar;        // the cookie jar file (empty: cookies kept in memory only)
  long connectTimeoutMs = 30000;
  long idleTimeoutMs = 60000;
  std::uint64_t maxBodyBytes = 64ull << 20;
};

struct HttpRequest {
  std::string url;
  std::string userAgent;
  std::vector<std::string> headers;  // "Name: value" lines sent as they are
};

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Starts a request and waits until the response head has arrived (after redirects), the
  // transfer has failed or Stop() was called. True when a response head arrived.
  bool Open(const HttpRequest& request, const HttpSettings& settings);

  int Status() const;               // final HTTP status, 0 when there was no response
  const std::string& ContentType() const;
  const std::string& EffectiveUrl() const;

  // Appends up to maxBytes of the body to `out`, waiting until some has arrived. Returns
  // how many bytes were appended: 0 at the end of the body, on failure and after Stop().
  std::size_t Read(std::string& out, std::size_t maxBytes);

  bool Failed() const;              // the transfer ended with an error (see Error())
  bool TooLarge() const;            // the body passed settings.maxBodyBytes
  const std::string& Error() const; // UTF-8 text for people; empty when all went well

  // Ends the current transfer. Open connections are kept when reuse is on.
  void Close();

  // Any thread: a waiting Open() or Read() returns at once, and so does every later call.
  void Stop();
  bool Stopped() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace skimlet
