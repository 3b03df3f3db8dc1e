#include "platform/Http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/Files.h"

namespace skimlet {
namespace {

using Clock = std::chrono::steady_clock;
using CookieMap = std::map<std::string, std::string>;  // (domain, path, name) -> jar line

// A slow reader must not make the buffer grow without bound: the transfer pauses above
// kPauseAbove buffered bytes and resumes once the reader has taken it below kResumeBelow.
constexpr std::size_t kPauseAbove = 1u << 20;
constexpr std::size_t kResumeBelow = 256u << 10;
constexpr long kMaxRedirects = 20;
constexpr std::string_view kCacheMagic = "skimlet-cache 2";

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes > 0 && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes > 0 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

std::string DurationText(long ms) {
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// ---- page cache: one file per URL, named by a hash of it; the file names the URL again ----

struct CacheEntry {
  std::string url, effectiveUrl, etag, lastModified, contentType, body;
};

std::string CachePath(const std::string& dir, const std::string& url) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : url) h = (h ^ c) * 1099511628211ull;
  static const char* digits = "0123456789abcdef";
  std::string name(16, '0');
  for (int i = 15; i >= 0; --i, h >>= 4) name[static_cast<std::size_t>(i)] = digits[h & 15];
  return JoinPath(dir, name + ".cache");
}

std::optional<CacheEntry> LoadCacheEntry(const std::string& dir, const std::string& url) {
  std::string data;
  if (!ReadWholeFile(CachePath(dir, url), data)) return std::nullopt;
  std::string_view rest(data);
  std::string fields[7];
  for (int i = 0; i < 7; ++i) {
    std::size_t nl = rest.find('\n');
    if (nl == std::string_view::npos) return std::nullopt;
    fields[i] = std::string(rest.substr(0, nl));
    rest.remove_prefix(nl + 1);
  }
  if (fields[0] != kCacheMagic || fields[1] != url) return std::nullopt;  // hash collision
  // Entries are not flushed to disk: one cut short by a power loss is not used.
  if (fields[6] != std::to_string(rest.size())) return std::nullopt;
  return CacheEntry{fields[1], fields[2], fields[3], fields[4], fields[5], std::string(rest)};
}

void StoreCacheEntry(const std::string& dir, const CacheEntry& e) {
  for (const std::string* field : {&e.url, &e.effectiveUrl, &e.etag, &e.lastModified, &e.contentType})
    if (HasLineBreak(*field)) return;
  std::string data;
  data.reserve(e.body.size() + 512);
  data.append(kCacheMagic).append("\n");
  for (const std::string* field : {&e.url, &e.effectiveUrl, &e.etag, &e.lastModified, &e.contentType})
    data.append(*field).append("\n");
  data.append(std::to_string(e.body.size())).append("\n");
  data += e.body;
  // The cache can be lost at any time, so no fsync: its size line tells a torn entry.
  if (MakeDirs(dir)) WriteFileAtomic(CachePath(dir, e.url), data, nullptr, false, /*durable=*/false);
}

// An entry without a validator is never read back (no conditional request can use it),
// so none is written; an older one for the URL goes, as an overwrite would have removed it.
void DropCacheEntry(const std::string& dir, const std::string& url) { ::unlink(CachePath(dir, url).c_str()); }

// ---- cookie jar: Netscape format, merged under a file lock so that clients in several
// threads (or processes) sharing one jar never lose each other's cookies ----

std::string CookieKey(std::string_view line) {
  std::string_view f[6];
  std::size_t n = 0;
  while (n < 6) {
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) {
      f[n++] = line;
      break;
    }
    f[n++] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  if (n < 6) return {};
  std::string_view domain = f[0];
  if (domain.substr(0, 10) == "#HttpOnly_") domain.remove_prefix(10);
  return std::string(domain) + '\t' + std::string(f[2]) + '\t' + std::string(f[5]);
}

CookieMap ParseJar(std::string_view text) {
  CookieMap cookies;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || (line[0] == '#' && line.substr(0, 10) != "#HttpOnly_")) continue;
    std::string key = CookieKey(line);
    if (!key.empty()) cookies[key] = std::string(line);
  }
  return cookies;
}

CookieMap ReadJar(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  return ParseJar(text);
}

// Writes into the jar what this transfer changed between `before` and `after`, keeping what
// other clients wrote meanwhile.
void MergeIntoJar(const std::string& path, const CookieMap& before, const CookieMap& after) {
  if (before == after) return;
  int lockFd = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd < 0) return;
  while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
  }
  CookieMap jar = ReadJar(path);
  for (const auto& [key, line] : after) {
    auto old = before.find(key);
    if (old == before.end() || old->second != line) jar[key] = line;
  }
  for (const auto& [key, line] : before) {
    if (after.count(key)) continue;
    auto now = jar.find(key);
    if (now != jar.end() && now->second == line) jar.erase(now);  // expired or deleted by us
  }
  std::string text = "# Netscape HTTP Cookie File\n";
  for (const auto& entry : jar) text.append(entry.second).append("\n");
  WriteFileAtomic(path, text, nullptr, false, true, 0600);  // cookies are nobody else's business
  flock(lockFd, LOCK_UN);
  close(lockFd);
}

}  // namespace

struct HttpClient::Impl {
  CURLM* multi = nullptr;
  // Our own wake-up: curl_multi_wakeup() can be missed when curl has no socket to poll.
  int wakeFd = -1;
  std::atomic<bool> stopped{false};
  const std::string stoppedText = "Stopped";

  // The current transfer.
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  HttpSettings settings;
  std::string url;
  bool headFinal = false, done = false, failed = false, tooLarge = false, paused = false;
  bool fromCache = false, storeInCache = false, endDelivered = false;
  int status = 0;
  std::string contentType, effectiveUrl, error, etag, lastModified;
  std::uint64_t received = 0;
  std::string buffer;
  std::size_t bufferPos = 0;
  std::string cacheCopy;
  std::optional<CacheEntry> cached;
  Clock::time_point lastActivity;

  // The response head being received (there is one per redirect).
  int blockCode = 0;
  bool blockLocation = false, redirectPending = false;
  std::string blockType, blockEtag, blockLastModified;

  bool cookiesOn = false;
  CookieMap cookiesBefore, memoryCookies;

  Impl() {
    GlobalInit();
    multi = curl_multi_init();
    wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  }
  ~Impl() {
    Close();
    if (multi) curl_multi_cleanup(multi);
    if (wakeFd >= 0) close(wakeFd);
  }

  std::size_t Buffered() const { return buffer.size() - bufferPos; }

  void Reset() {
    headFinal = done = failed = tooLarge = paused = false;
    fromCache = storeInCache = endDelivered = false;
    status = 0;
    contentType.clear(), effectiveUrl.clear(), error.clear(), etag.clear(), lastModified.clear();
    received = 0;
    blockCode = 0;
    blockLocation = redirectPending = false;
    blockType.clear(), blockEtag.clear(), blockLastModified.clear();
  }

  void Fail(std::string text) {
    if (done) return;
    done = failed = true;
    error = std::move(text);
  }

  void Close() {
    if (easy) {
      if (cookiesOn) SaveCookies();
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      easy = nullptr;
    }
    curl_slist_free_all(headerList);
    headerList = nullptr;
    std::string().swap(buffer);
    bufferPos = 0;
    std::string().swap(cacheCopy);
    cached.reset();
    cookiesOn = false;
    cookiesBefore.clear();
  }

  void LoadCookies() {
    cookiesOn = true;
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    cookiesBefore = settings.cookieJar.empty() ? memoryCookies : ReadJar(settings.cookieJar);
    for (const auto& entry : cookiesBefore) curl_easy_setopt(easy, CURLOPT_COOKIELIST, entry.second.c_str());
  }

  void SaveCookies() {
    CookieMap after;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
    for (curl_slist* item = list; item; item = item->next) {
      std::string key = CookieKey(item->data);
      if (!key.empty()) after[key] = item->data;
    }
    curl_slist_free_all(list);
    if (settings.cookieJar.empty())
      memoryCookies = std::move(after);
    else
      MergeIntoJar(settings.cookieJar, cookiesBefore, after);
  }

  void FinalizeHead(int code) {
    headFinal = true;
    redirectPending = false;
    status = code;
    contentType = blockType;
    etag = blockEtag;
    lastModified = blockLastModified;
    char* eff = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &eff) == CURLE_OK && eff) effectiveUrl = eff;
    if (code == 304 && cached) {
      fromCache = true;
      status = 200;
      contentType = cached->contentType;
      effectiveUrl = cached->effectiveUrl;
      buffer = std::move(cached->body);
      bufferPos = 0;
      cached.reset();
    }
  }

  int InfoCode() {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return static_cast<int>(code);
  }

  std::size_t OnHeader(std::string_view line) {
    lastActivity = Clock::now();
    if (headFinal) return line.size();  // trailers
    std::string_view text = Trim(line);
    if (text.substr(0, 5) == "HTTP/") {
      std::size_t sp = text.find(' ');
      blockCode = sp == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(sp + 1, 3)).c_str());
      blockLocation = redirectPending = false;
      blockType.clear(), blockEtag.clear(), blockLastModified.clear();
    } else if (text.empty()) {
      int code = blockCode ? blockCode : InfoCode();
      if (code >= 300 && code < 400 && blockLocation)
        redirectPending = true;  // curl follows it
      else if (code >= 200)
        FinalizeHead(code);
    } else if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
      std::string_view name = Trim(text.substr(0, colon));
      std::string value(Trim(text.substr(colon + 1)));
      if (EqualsNoCase(name, "Content-Type")) blockType = value;
      else if (EqualsNoCase(name, "ETag")) blockEtag = value;
      else if (EqualsNoCase(name, "Last-Modified")) blockLastModified = value;
      else if (EqualsNoCase(name, "Location")) blockLocation = !value.empty();
    }
    return line.size();
  }

  std::size_t OnBody(const char* data, std::size_t size) {
    if (!headFinal) FinalizeHead(blockCode ? blockCode : InfoCode());
    if (fromCache) return size;
    lastActivity = Clock::now();
    if (received + size > settings.maxBodyBytes) {
      tooLarge = true;
      return 0;  // fails the transfer
    }
    if (Buffered() >= kPauseAbove) {
      paused = true;
      return CURL_WRITEFUNC_PAUSE;  // curl hands the same data again on resume
    }
    buffer.append(data, size);
    received += size;
    if (storeInCache && (!etag.empty() || !lastModified.empty())) cacheCopy.append(data, size);
    return size;
  }

  static std::size_t HeaderCallback(char* data, std::size_t, std::size_t n, void* self) {
    return static_cast<Impl*>(self)->OnHeader(std::string_view(data, n));
  }
  static std::size_t WriteCallback(char* data, std::size_t, std::size_t n, void* self) {
    return static_cast<Impl*>(self)->OnBody(data, n);
  }

  std::string ErrorText(CURLcode result) {
    if (tooLarge) return "Body larger than " + SizeText(settings.maxBodyBytes);
    if (result == CURLE_COULDNT_CONNECT) {
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      if (osErrno == ECONNREFUSED) return "Connection refused";
    }
    if (result == CURLE_UNSUPPORTED_PROTOCOL && redirectPending) return "Unsupported protocol in redirect";
    return curl_easy_strerror(result);
  }

  void Finish(CURLcode result) {
    if (result == CURLE_OK && !headFinal) FinalizeHead(InfoCode());
    if (!headFinal) status = blockCode;
    if (result != CURLE_OK) {
      Fail(ErrorText(result));
      return;
    }
    done = true;
    if (storeInCache && !fromCache && status == 200) {
      if (etag.empty() && lastModified.empty())
        DropCacheEntry(settings.cacheDir, url);
      else
        StoreCacheEntry(settings.cacheDir,
                        CacheEntry{url, effectiveUrl, etag, lastModified, contentType, std::move(cacheCopy)});
      cacheCopy.clear();
    }
  }

  // Drives the transfer in this thread until `ready()` holds, it ends, it receives nothing
  // for the idle time-out, or Stop() is called.
  template <class Ready>
  void Pump(Ready ready) {
    const Clock::time_point waitStart = Clock::now();
    const auto idleLimit = std::chrono::milliseconds(std::max(1L, settings.idleTimeoutMs));
    while (!stopped && !done && !ready()) {
      int running = 0;
      CURLMcode mc = curl_multi_perform(multi, &running);
      if (mc != CURLM_OK) {
        Fail(curl_multi_strerror(mc));
        break;
      }
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy && !done) Finish(msg->data.result);
      if (stopped || done || ready()) break;

      Clock::time_point now = Clock::now();
      auto quiet = now - std::max(lastActivity, waitStart);
      if (!paused && quiet >= idleLimit) {
        Fail("No data received for " + DurationText(settings.idleTimeoutMs));
        break;
      }
      long waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(idleLimit - quiet).count() + 1;
      // Stop() wakes this wait; curl shortens it for its own timers.
      curl_waitfd wake{wakeFd, CURL_WAIT_POLLIN, 0};
      mc = curl_multi_poll(multi, wakeFd >= 0 ? &wake : nullptr, wakeFd >= 0 ? 1 : 0,
                           static_cast<int>(std::clamp(waitMs, 1L, 600000L)), nullptr);
      if (mc != CURLM_OK) {
        Fail(curl_multi_strerror(mc));
        break;
      }
    }
  }

  bool Open(const HttpRequest& request, const HttpSettings& s) {
    Close();
    Reset();
    settings = s;
    url = request.url;
    if (stopped) return false;
    if (!multi || !(easy = curl_easy_init())) {
      Fail("Out of memory");
      return false;
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK) {
      Fail("HTTP is not supported by libcurl");
      return false;
    }
    curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    if (!request.userAgent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, request.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HeaderCallback);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &WriteCallback);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (!settings.reuseConnection) {
      curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
      curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, 1L);
    }

    for (const std::string& line : request.headers) headerList = curl_slist_append(headerList, line.c_str());
    if (!settings.cacheDir.empty()) {
      storeInCache = settings.useCache;
      if (!settings.reload) {
        cached = LoadCacheEntry(settings.cacheDir, url);
        if (cached && cached->etag.empty() && cached->lastModified.empty()) cached.reset();
        if (cached && !cached->etag.empty())
          headerList = curl_slist_append(headerList, ("If-None-Match: " + cached->etag).c_str());
        if (cached && !cached->lastModified.empty())
          headerList = curl_slist_append(headerList, ("If-Modified-Since: " + cached->lastModified).c_str());
      }
    }
    if (headerList) curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
    if (!settings.noCookies) LoadCookies();

    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      Fail("Cannot start the transfer");
      return false;
    }
    lastActivity = Clock::now();
    Pump([this] { return headFinal; });
    return headFinal && !stopped;
  }

  std::size_t Read(std::string& out, std::size_t maxBytes) {
    if (stopped || !easy || maxBytes == 0) return 0;
    if (Buffered() == 0 && !done) Pump([this] { return Buffered() > 0; });
    if (stopped) return 0;
    std::size_t n = std::min(maxBytes, Buffered());
    if (n == 0) {
      if (done && !failed) endDelivered = true;
      return 0;
    }
    out.append(buffer, bufferPos, n);
    bufferPos += n;
    if (bufferPos == buffer.size()) {
      buffer.clear();
      bufferPos = 0;
    } else if (bufferPos >= (64u << 10) && bufferPos * 2 >= buffer.size()) {
      buffer.erase(0, bufferPos);
      bufferPos = 0;
    }
    if (paused && Buffered() < kResumeBelow && !done) {
      paused = false;
      lastActivity = Clock::now();
      curl_easy_pause(easy, CURLPAUSE_CONT);  // may deliver the held data right here
    }
    return n;
  }
};

HttpClient::HttpClient() : impl_(std::make_unique<Impl>()) {}
HttpClient::~HttpClient() = default;

bool HttpClient::Open(const HttpRequest& request, const HttpSettings& settings) {
  return impl_->Open(request, settings);
}

int HttpClient::Status() const { return impl_->status; }
const std::string& HttpClient::ContentType() const { return impl_->contentType; }
const std::string& HttpClient::EffectiveUrl() const { return impl_->effectiveUrl; }

std::size_t HttpClient::Read(std::string& out, std::size_t maxBytes) { return impl_->Read(out, maxBytes); }

bool HttpClient::Failed() const { return impl_->failed || (impl_->stopped && !impl_->endDelivered); }
bool HttpClient::TooLarge() const { return impl_->tooLarge; }

const std::string& HttpClient::Error() const {
  if (impl_->error.empty() && impl_->stopped && !impl_->endDelivered) return impl_->stoppedText;
  return impl_->error;
}

void HttpClient::Close() { impl_->Close(); }

void HttpClient::Stop() {
  impl_->stopped = true;
  if (impl_->wakeFd >= 0) {
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(impl_->wakeFd, &one, sizeof one);  // stays readable: the stop is sticky
  }
  if (impl_->multi) curl_multi_wakeup(impl_->multi);
}

bool HttpClient::Stopped() const { return impl_->stopped; }

}  // namespace skimlet
