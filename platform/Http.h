// The one HTTP client of the core, on libcurl: page fetches and attachment transfers.
// HTTP and HTTPS only (also across redirects), gzip/deflate decoded, a connect time-out,
// an idle time-out (a transfer that receives nothing for that long fails), a lowest speed
// and a longest duration, a body limit, an on-disk page cache, a cookie jar shared by every
// client of the process, and a Stop() that wakes a waiting transfer at once. An answer with
// a status of 400 or above is a failure, never a body.
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
  // A transfer that receives fewer than lowSpeedBytesPerSec on average over lowSpeedWindowMs
  // of waiting fails, and so does one that has waited maxTransferMs in all (0: no limit).
  // Only the time spent waiting for the server counts, not the reader's own pauses.
  long lowSpeedBytesPerSec = 64;
  long lowSpeedWindowMs = 60000;
  long maxTransferMs = 600000;
  std::uint64_t maxBodyBytes = 64ull << 20;
  // Transfers to one host (scheme, name and port) at once across every client of the
  // process; a further Open() waits for one to end (0: no limit).
  int maxPerHost = 4;
  // The response is kept for the page cache instead of being written to it: the taker of a
  // prefetched page writes it (StoreHeldCacheEntry) only when the page is used.
  bool holdCacheEntry = false;
};

// A response kept back from the page cache (see HttpSettings::holdCacheEntry).
struct HeldCacheEntry;
void StoreHeldCacheEntry(const HeldCacheEntry& entry);

// "scheme://host:port" of an address, the key of the per-host limit; "" when it has none.
std::string HostKey(const std::string& url);

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
  // transfer has failed or Stop() was called. True when a response head with a status below
  // 400 arrived.
  bool Open(const HttpRequest& request, const HttpSettings& settings);

  int Status() const;               // final HTTP status, 0 when there was no response
  const std::string& ContentType() const;
  const std::string& EffectiveUrl() const;
  // Seconds the final answer's Retry-After asks to wait (a date counts from now), -1 without.
  int RetryAfterSeconds() const;
  // The response held back from the page cache, once the body has been read (else null).
  std::shared_ptr<HeldCacheEntry> TakeHeldCacheEntry();

  // Appends up to maxBytes of the body to `out`, waiting until some has arrived. Returns
  // how many bytes were appended: 0 at the end of the body, on failure and after Stop().
  std::size_t Read(std::string& out, std::size_t maxBytes);

  bool Failed() const;              // the transfer ended with an error (see Error())
  bool TooLarge() const;            // the body passed settings.maxBodyBytes
  // Why the transfer failed, in Russian for the log (UTF-8): "HTTP 404", "Соединение
  // отклонено", "Слишком медленно (...)" and so on; empty when all went well.
  const std::string& Error() const;

  // Ends the current transfer. Open connections are kept when reuse is on.
  void Close();

  // Any thread: a waiting Open() or Read() returns at once, and so does every later call
  // until Restart().
  void Stop();
  bool Stopped() const;
  // Makes a stopped client usable again (keeping its open connections) for the next Open().
  void Restart();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Writes the cookies that this process's clients received into the jar file `path`, merged
// under the jar's lock with what other processes wrote meanwhile, capped as browsers cap
// theirs. The jar is read once per process, when a client first uses it; call this at the
// end of a run. Does nothing when no client used the jar or nothing changed. False when the
// file could not be written.
bool SaveCookieJar(const std::string& path);

// The caps of a cookie jar: expired cookies and those whose name and value pass 4 KiB are
// dropped, then the oldest of a domain beyond 180, then the oldest of the largest domains
// until 3,000 are left. `lines` are Netscape jar lines, oldest first; `now` in Unix seconds.
inline constexpr std::size_t kMaxCookiesPerDomain = 180;
inline constexpr std::size_t kMaxCookies = 3000;
inline constexpr std::size_t kMaxCookieBytes = 4096;
std::vector<std::string> CapCookies(const std::vector<std::string>& lines, std::int64_t now);

}  // namespace skimlet
