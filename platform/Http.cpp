#include "platform/Http.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <queue>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Files.h"

namespace skimlet {
namespace {

using Clock = std::chrono::steady_clock;

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

// ---- cookie jar: Netscape lines, read once per process into a curl share that every client
// of the process uses; written back at the end of a run, merged under a file lock with what
// other processes wrote meanwhile, and capped as browsers cap theirs ----

struct CookieFields {
  std::string_view domain, path, name, value, expires;
};

bool SplitCookie(std::string_view line, CookieFields& out) {
  std::string_view f[7];
  std::size_t n = 0;
  while (n < 7) {
    std::size_t tab = n < 6 ? line.find('\t') : std::string_view::npos;
    if (tab == std::string_view::npos) {
      f[n++] = line;
      break;
    }
    f[n++] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  if (n < 6) return false;
  out.domain = f[0];
  if (out.domain.substr(0, 10) == "#HttpOnly_") out.domain.remove_prefix(10);
  out.path = f[2];
  out.expires = f[4];
  out.name = f[5];
  out.value = n == 7 ? f[6] : std::string_view();
  return true;
}

// The same cookie of the same key: lines written by hand or by another program may differ
// in form only.
bool SameCookie(std::string_view a, std::string_view b) {
  CookieFields x, y;
  if (!SplitCookie(a, x) || !SplitCookie(b, y)) return a == b;
  return x.value == y.value && std::atoll(std::string(x.expires).c_str()) == std::atoll(std::string(y.expires).c_str());
}

std::string CookieKey(std::string_view line) {
  CookieFields c;
  if (!SplitCookie(line, c)) return {};
  return std::string(c.domain) + '\t' + std::string(c.path) + '\t' + std::string(c.name);
}

// Jar lines by identity, oldest first; a changed cookie counts as new.
class Jar {
 public:
  void Set(const std::string& key, const std::string& line) {
    Erase(key);
    index_[key] = entries_.size();
    entries_.push_back({key, line});
  }
  const std::string* Find(const std::string& key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  void Erase(const std::string& key) {
    auto it = index_.find(key);
    if (it == index_.end()) return;
    entries_[it->second].second.clear();  // a hole, skipped by Lines()
    index_.erase(it);
  }
  template <class F>
  void ForEach(F f) const {
    for (const auto& [key, line] : entries_)
      if (!line.empty()) f(key, line);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    out.reserve(index_.size());
    ForEach([&](const std::string&, const std::string& line) { out.push_back(line); });
    return out;
  }
  static Jar FromLines(const std::vector<std::string>& lines) {
    Jar jar;
    for (const std::string& line : lines)
      if (std::string key = CookieKey(line); !key.empty()) jar.Set(key, line);
    return jar;
  }

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
  std::unordered_map<std::string, std::size_t> index_;
};

std::vector<std::string> ParseJarLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || (line[0] == '#' && line.substr(0, 10) != "#HttpOnly_")) continue;
    lines.emplace_back(line);
  }
  return lines;
}

std::vector<std::string> ReadJarLines(const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) return {};
  return ParseJarLines(text);
}

std::int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class CookieStore {
 public:
  // Reads the jar file (none: cookies live in this store only) into a new curl share.
  explicit CookieStore(std::string path) : path_(std::move(path)) {
    GlobalInit();
    share_ = curl_share_init();
    if (!share_) return;
    curl_share_setopt(share_, CURLSHOPT_LOCKFUNC, &LockData);
    curl_share_setopt(share_, CURLSHOPT_UNLOCKFUNC, &UnlockData);
    curl_share_setopt(share_, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_share_setopt(share_, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    if (path_.empty()) return;
    std::vector<std::string> lines = ReadJarLines(path_);
    std::vector<std::string> capped = CapCookies(lines, UnixNow());
    dirty_ = capped.size() != lines.size();  // the next save trims the file too
    WithHandle([&](CURL* easy) {
      for (const std::string& line : capped) curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
    });
    base_ = Jar::FromLines(capped);
  }
  ~CookieStore() {
    if (share_) curl_share_cleanup(share_);
  }
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  void Attach(CURL* easy) {
    if (!share_) return;
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, on the shared cookies
  }

  // After a transfer that received `setCookies` Set-Cookie headers. A flood is capped as it
  // comes, not only when the jar is written.
  void TransferDone(int setCookies) {
    if (setCookies <= 0) return;
    std::lock_guard lock(mutex_);
    dirty_ = true;
    sinceCap_ += setCookies;
    if (sinceCap_ < static_cast<long>(kMaxCookiesPerDomain)) return;
    sinceCap_ = 0;
    std::vector<std::string> lines = Snapshot();
    std::vector<std::string> kept = CapCookies(lines, UnixNow());
    if (kept.size() == lines.size()) return;
    Jar keep = Jar::FromLines(kept);
    WithHandle([&](CURL* easy) {
      for (const std::string& line : lines) {
        CookieFields c;
        if (!SplitCookie(line, c) || keep.Find(CookieKey(line))) continue;
        // The same cookie, expired: curl drops it.
        std::string gone = line.substr(0, static_cast<std::size_t>(c.expires.data() - line.data())) + "1\t" +
                           std::string(c.name) + "\t";
        curl_easy_setopt(easy, CURLOPT_COOKIELIST, gone.c_str());
      }
    });
  }

  bool Save() {
    std::lock_guard lock(mutex_);
    if (!dirty_ || path_.empty()) return true;
    const std::int64_t now = UnixNow();
    Jar ours = Jar::FromLines(CapCookies(Snapshot(), now));
    int lockFd = open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) return false;
    while (flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    Jar file = Jar::FromLines(ReadJarLines(path_));
    ours.ForEach([&](const std::string& key, const std::string& line) {
      const std::string* before = base_.Find(key);
      if (!before || !SameCookie(*before, line)) file.Set(key, line);
    });
    base_.ForEach([&](const std::string& key, const std::string& line) {
      if (ours.Find(key)) return;
      const std::string* there = file.Find(key);
      if (there && SameCookie(*there, line)) file.Erase(key);  // expired or deleted here
    });
    std::string text = "# Netscape HTTP Cookie File\n";
    for (const std::string& line : CapCookies(file.Lines(), now)) text.append(line).append("\n");
    // Cookies are nobody else's business.
    bool written = WriteFileAtomic(path_, text, nullptr, false, true, 0600);
    flock(lockFd, LOCK_UN);
    close(lockFd);
    if (!written) return false;
    base_ = std::move(ours);
    dirty_ = false;
    return true;
  }

 private:
  template <class F>
  void WithHandle(F f) {
    CURL* easy = curl_easy_init();
    if (!easy) return;
    curl_easy_setopt(easy, CURLOPT_SHARE, share_);
    f(easy);
    curl_easy_setopt(easy, CURLOPT_SHARE, nullptr);
    curl_easy_cleanup(easy);
  }

  // The cookies as curl holds them, oldest first within a domain.
  std::vector<std::string> Snapshot() {
    std::vector<std::string> lines;
    WithHandle([&](CURL* easy) {
      curl_slist* list = nullptr;
      if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
      for (curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
      curl_slist_free_all(list);
    });
    return lines;
  }

  static void LockData(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    static_cast<CookieStore*>(self)->locks_[data].lock();
  }
  static void UnlockData(CURL*, curl_lock_data data, void* self) { static_cast<CookieStore*>(self)->locks_[data].unlock(); }

  const std::string path_;
  CURLSH* share_ = nullptr;
  std::mutex locks_[CURL_LOCK_DATA_LAST];
  std::mutex mutex_;  // the fields below; one save at a time
  Jar base_;          // our cookies as the file held them when last read or written
  bool dirty_ = false;
  long sinceCap_ = 0;
};

// One store per jar file for the whole process, kept to its end.
std::shared_ptr<CookieStore> JarStore(const std::string& path, bool create) {
  static std::mutex mutex;
  static auto* stores = new std::map<std::string, std::shared_ptr<CookieStore>>;
  std::lock_guard lock(mutex);
  auto it = stores->find(path);
  if (it != stores->end()) return it->second;
  if (!create) return nullptr;
  return (*stores)[path] = std::make_shared<CookieStore>(path);
}

std::string RussianSize(std::uint64_t bytes) {
  if (bytes > 0 && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " МиБ";
  if (bytes > 0 && bytes % 1024 == 0) return std::to_string(bytes >> 10) + " КиБ";
  return std::to_string(bytes) + " байт";
}

std::string RussianDuration(long ms) {
  if (ms % 60000 == 0) return std::to_string(ms / 60000) + " мин";
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " с";
  return std::to_string(ms) + " мс";
}

}  // namespace

std::vector<std::string> CapCookies(const std::vector<std::string>& lines, std::int64_t now) {
  struct Item {
    std::string domain;
    bool keep = false;
  };
  std::vector<Item> items(lines.size());
  std::unordered_map<std::string, std::vector<std::size_t>> byDomain;  // kept ones, newest first
  for (std::size_t i = lines.size(); i-- > 0;) {
    CookieFields c;
    if (!SplitCookie(lines[i], c)) continue;
    long long expires = std::atoll(std::string(c.expires).c_str());
    if ((expires != 0 && expires < now) || c.name.size() + c.value.size() > kMaxCookieBytes) continue;
    std::string domain(c.domain);
    if (!domain.empty() && domain[0] == '.') domain.erase(0, 1);
    for (char& ch : domain)
      if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    std::vector<std::size_t>& kept = byDomain[domain];
    if (kept.size() >= kMaxCookiesPerDomain) continue;
    kept.push_back(i);
    items[i] = {domain, true};
  }
  std::size_t total = 0;
  for (const auto& entry : byDomain) total += entry.second.size();
  if (total > kMaxCookies) {
    // The largest domains give up their oldest cookies first.
    std::priority_queue<std::pair<std::size_t, std::string>> largest;
    for (const auto& [domain, kept] : byDomain) largest.push({kept.size(), domain});
    while (total > kMaxCookies) {
      auto [size, domain] = largest.top();
      largest.pop();
      std::vector<std::size_t>& kept = byDomain[domain];
      if (size != kept.size()) continue;  // an outdated entry
      items[kept.back()].keep = false;
      kept.pop_back();
      --total;
      largest.push({kept.size(), domain});
    }
  }
  std::vector<std::string> out;
  out.reserve(total);
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (items[i].keep) out.push_back(lines[i]);
  return out;
}

namespace {

// Transfers per host at once, for every client of the process.
class HostSlots {
 public:
  // Waits for a free slot of `host`; false when `stopped` was set first.
  bool Acquire(const std::string& host, int limit, const std::atomic<bool>& stopped) {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return stopped || busy_[host] < limit; });
    if (stopped) return false;
    ++busy_[host];
    return true;
  }
  void Release(const std::string& host) {
    {
      std::lock_guard lock(mutex_);
      if (auto it = busy_.find(host); it != busy_.end() && --it->second <= 0) busy_.erase(it);
    }
    cv_.notify_all();
  }
  void Wake() {
    { std::lock_guard lock(mutex_); }  // a waiter between its test and its wait sees the stop
    cv_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::unordered_map<std::string, int> busy_;
};

HostSlots& Slots() {
  static HostSlots slots;
  return slots;
}

// Retry-After: delta seconds or an HTTP date; -1 when it is neither.
int ParseRetryAfter(const std::string& value) {
  if (value.empty()) return -1;
  if (value.find_first_not_of("0123456789") == std::string::npos)
    return static_cast<int>(std::min<long long>(std::atoll(value.c_str()), 1 << 30));
  time_t when = curl_getdate(value.c_str(), nullptr);
  if (when < 0) return -1;
  long long left = static_cast<long long>(when) - UnixNow();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

}  // namespace

struct HeldCacheEntry {
  std::string dir;
  CacheEntry entry;  // without a validator: the URL's old entry goes
};

void StoreHeldCacheEntry(const HeldCacheEntry& held) {
  if (held.entry.etag.empty() && held.entry.lastModified.empty())
    DropCacheEntry(held.dir, held.entry.url);
  else
    StoreCacheEntry(held.dir, held.entry);
}

std::string HostKey(const std::string& url) {
  std::string key;
  if (CURLU* u = curl_url()) {
    char *scheme = nullptr, *host = nullptr, *port = nullptr;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_DEFAULT_SCHEME) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      key = std::string(scheme) + "://";
      for (const char* c = host; *c; ++c) key += (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
      key += ":" + std::string(port);
    }
    curl_free(scheme), curl_free(host), curl_free(port);
    curl_url_cleanup(u);
  }
  return key;
}

bool SaveCookieJar(const std::string& path) {
  std::shared_ptr<CookieStore> store = JarStore(path, false);
  return !store || store->Save();
}

struct HttpClient::Impl {
  CURLM* multi = nullptr;
  // Our own wake-up: curl_multi_wakeup() can be missed when curl has no socket to poll.
  int wakeFd = -1;
  std::atomic<bool> stopped{false};
  const std::string stoppedText = "Загрузка остановлена";

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
  char curlError[CURL_ERROR_SIZE] = {};

  // Time spent waiting for the server, and what arrived in it: the speed limits count this,
  // not the time the reader spends elsewhere.
  Clock::duration waited{};
  Clock::duration windowStart{};
  std::uint64_t arrived = 0, windowArrived = 0;

  // The response head being received (there is one per redirect).
  int blockCode = 0;
  bool redirectPending = false;
  std::string blockType, blockEtag, blockLastModified, blockLocation;

  std::shared_ptr<CookieStore> cookies, memoryCookies;
  int setCookies = 0;

  std::string slotHost;  // the host whose slot this transfer holds
  std::string blockRetryAfter;
  int retryAfter = -1;
  std::shared_ptr<HeldCacheEntry> held;

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
    curlError[0] = '\0';
    waited = windowStart = {};
    arrived = windowArrived = 0;
    blockCode = 0;
    redirectPending = false;
    blockType.clear(), blockEtag.clear(), blockLastModified.clear(), blockLocation.clear();
    setCookies = 0;
    blockRetryAfter.clear();
    retryAfter = -1;
    held.reset();
  }

  void ReleaseSlot() {
    if (slotHost.empty()) return;
    Slots().Release(slotHost);
    slotHost.clear();
  }

  void Fail(std::string text) {
    if (done) return;
    done = failed = true;
    error = std::move(text);
    ReleaseSlot();
  }

  void Close() {
    if (easy) {
      curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      easy = nullptr;
    }
    ReleaseSlot();
    if (cookies) cookies->TransferDone(setCookies);
    cookies.reset();
    setCookies = 0;
    curl_slist_free_all(headerList);
    headerList = nullptr;
    std::string().swap(buffer);
    bufferPos = 0;
    std::string().swap(cacheCopy);
    cached.reset();
  }

  void UseCookies() {
    if (settings.cookieJar.empty()) {
      if (!memoryCookies) memoryCookies = std::make_shared<CookieStore>(std::string());
      cookies = memoryCookies;
    } else {
      cookies = JarStore(settings.cookieJar, true);
    }
    cookies->Attach(easy);
  }

  void FinalizeHead(int code) {
    headFinal = true;
    redirectPending = false;
    status = code;
    contentType = blockType;
    etag = blockEtag;
    lastModified = blockLastModified;
    retryAfter = ParseRetryAfter(blockRetryAfter);
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
    arrived += line.size();
    if (headFinal) return line.size();  // trailers
    std::string_view text = Trim(line);
    if (text.substr(0, 5) == "HTTP/") {
      std::size_t sp = text.find(' ');
      blockCode = sp == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(sp + 1, 3)).c_str());
      redirectPending = false;
      blockType.clear(), blockEtag.clear(), blockLastModified.clear(), blockLocation.clear();
      blockRetryAfter.clear();
    } else if (text.empty()) {
      int code = blockCode ? blockCode : InfoCode();
      if (code >= 300 && code < 400 && !blockLocation.empty())
        redirectPending = true;  // curl follows it
      else if (code >= 200)
        FinalizeHead(code);
    } else if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
      std::string_view name = Trim(text.substr(0, colon));
      std::string value(Trim(text.substr(colon + 1)));
      if (EqualsNoCase(name, "Content-Type")) blockType = value;
      else if (EqualsNoCase(name, "ETag")) blockEtag = value;
      else if (EqualsNoCase(name, "Last-Modified")) blockLastModified = value;
      else if (EqualsNoCase(name, "Location")) blockLocation = value;
      else if (EqualsNoCase(name, "Set-Cookie")) ++setCookies;
      else if (EqualsNoCase(name, "Retry-After")) blockRetryAfter = value;
    }
    return line.size();
  }

  std::size_t OnBody(const char* data, std::size_t size) {
    if (!headFinal) FinalizeHead(blockCode ? blockCode : InfoCode());
    if (fromCache) return size;
    if (status >= 400) return 0;  // an error page is not taken; Open() reports the status
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
    arrived += size;
    if (storeInCache && (!etag.empty() || !lastModified.empty())) cacheCopy.append(data, size);
    return size;
  }

  static std::size_t HeaderCallback(char* data, std::size_t, std::size_t n, void* self) {
    return static_cast<Impl*>(self)->OnHeader(std::string_view(data, n));
  }
  static std::size_t WriteCallback(char* data, std::size_t, std::size_t n, void* self) {
    return static_cast<Impl*>(self)->OnBody(data, n);
  }

  std::string HostOf() const {
    std::string host;
    if (CURLU* u = curl_url()) {
      char* h = nullptr;
      if (curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_DEFAULT_SCHEME) == CURLUE_OK &&
          curl_url_get(u, CURLUPART_HOST, &h, 0) == CURLUE_OK && h)
        host = h;
      curl_free(h);
      curl_url_cleanup(u);
    }
    return host;
  }

  std::string ErrorText(CURLcode result) {
    if (tooLarge) return "Слишком большой ответ (больше " + RussianSize(settings.maxBodyBytes) + ")";
    switch (result) {
      case CURLE_COULDNT_CONNECT: {
        long osErrno = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        if (osErrno == ECONNREFUSED) return "Соединение отклонено";
        return "Не удалось соединиться с сервером";
      }
      case CURLE_OPERATION_TIMEDOUT:
        return "Сервер не отвечает (нет соединения за " + RussianDuration(settings.connectTimeoutMs) + ")";
      case CURLE_COULDNT_RESOLVE_HOST:
      case CURLE_COULDNT_RESOLVE_PROXY: {
        std::string host = HostOf();
        return host.empty() ? "Неверный адрес" : "Имя сервера не найдено: " + host;
      }
      case CURLE_UNSUPPORTED_PROTOCOL:
        if (redirectPending) return "Переадресация на " + blockLocation + " отклонена: разрешены только http и https";
        return "Адрес не http и не https";
      case CURLE_URL_MALFORMAT:
        return "Неверный адрес";
      case CURLE_TOO_MANY_REDIRECTS:
        return "Слишком много переадресаций";
      case CURLE_OUT_OF_MEMORY:
        // curl refuses a header line it cannot hold this way.
        if (!headFinal) return "Слишком длинный заголовок ответа";
        return "Не хватает памяти";
      case CURLE_PARTIAL_FILE:
        return "Ответ оборван сервером";
      case CURLE_GOT_NOTHING:
        return "Сервер закрыл соединение, ничего не ответив";
      case CURLE_RECV_ERROR:
        if (std::string_view(curlError).substr(0, 26) == "Too large response headers")
          return "Слишком большой заголовок ответа";
        return "Соединение прервано";
      case CURLE_SEND_ERROR:
        return "Соединение прервано";
      case CURLE_BAD_CONTENT_ENCODING:
        return "Ответ сжат с ошибкой";
      case CURLE_WEIRD_SERVER_REPLY:
      case CURLE_HTTP2:
      case CURLE_HTTP2_STREAM:
        return "Непонятный ответ сервера";
      case CURLE_PEER_FAILED_VERIFICATION:
      case CURLE_SSL_CACERT_BADFILE:
      case CURLE_SSL_ISSUER_ERROR:
      case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      case CURLE_SSL_INVALIDCERTSTATUS:
        return "Сертификат сервера не прошёл проверку (TLS)";
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_SSL_CERTPROBLEM:
      case CURLE_SSL_CIPHER:
      case CURLE_SSL_ENGINE_NOTFOUND:
      case CURLE_SSL_ENGINE_SETFAILED:
      case CURLE_SSL_ENGINE_INITFAILED:
      case CURLE_SSL_SHUTDOWN_FAILED:
      case CURLE_SSL_CRL_BADFILE:
      case CURLE_USE_SSL_FAILED:
        return "Ошибка защищённого соединения (TLS)";
      default:
        return std::string("Ошибка сети: ") + curl_easy_strerror(result);
    }
  }

  void Finish(CURLcode result) {
    if (result == CURLE_OK && !headFinal) FinalizeHead(InfoCode());
    if (!headFinal) status = blockCode;
    if (headFinal && status >= 400) {
      Fail("HTTP " + std::to_string(status));
      return;
    }
    if (result != CURLE_OK) {
      Fail(ErrorText(result));
      return;
    }
    done = true;
    ReleaseSlot();
    if (storeInCache && !fromCache && status == 200) {
      HeldCacheEntry entry{settings.cacheDir,
                           CacheEntry{url, effectiveUrl, etag, lastModified, contentType, std::move(cacheCopy)}};
      cacheCopy.clear();
      if (settings.holdCacheEntry)
        held = std::make_shared<HeldCacheEntry>(std::move(entry));
      else
        StoreHeldCacheEntry(entry);
    }
  }

  // The limits of a transfer, checked while it waits; false (and failed) when one is passed.
  bool WithinLimits(Clock::time_point now, Clock::time_point waitStart) {
    using std::chrono::milliseconds;
    if (!paused && now - std::max(lastActivity, waitStart) >= milliseconds(std::max(1L, settings.idleTimeoutMs))) {
      Fail("Сервер не отвечает (нет данных " + RussianDuration(settings.idleTimeoutMs) + ")");
      return false;
    }
    if (settings.maxTransferMs > 0 && waited >= milliseconds(settings.maxTransferMs)) {
      Fail("Слишком долгая загрузка (дольше " + RussianDuration(settings.maxTransferMs) + ")");
      return false;
    }
    if (settings.lowSpeedBytesPerSec > 0 && settings.lowSpeedWindowMs > 0 &&
        waited - windowStart >= milliseconds(settings.lowSpeedWindowMs)) {
      std::uint64_t least = static_cast<std::uint64_t>(settings.lowSpeedBytesPerSec) *
                            static_cast<std::uint64_t>(settings.lowSpeedWindowMs) / 1000;
      if (arrived - windowArrived < least) {
        Fail("Слишком медленно (меньше " + std::to_string(settings.lowSpeedBytesPerSec) + " байт/с за " +
             RussianDuration(settings.lowSpeedWindowMs) + ")");
        return false;
      }
      windowStart = waited;
      windowArrived = arrived;
    }
    return true;
  }

  // How long the next wait may last before a limit must be looked at again.
  long NextCheckMs(Clock::time_point now, Clock::time_point waitStart) const {
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    long ms = std::max(1L, settings.idleTimeoutMs) -
              static_cast<long>(duration_cast<milliseconds>(now - std::max(lastActivity, waitStart)).count());
    if (settings.maxTransferMs > 0)
      ms = std::min(ms, settings.maxTransferMs - static_cast<long>(duration_cast<milliseconds>(waited).count()));
    if (settings.lowSpeedBytesPerSec > 0 && settings.lowSpeedWindowMs > 0)
      ms = std::min(ms, settings.lowSpeedWindowMs -
                            static_cast<long>(duration_cast<milliseconds>(waited - windowStart).count()));
    return std::clamp(ms + 1, 1L, 600000L);
  }

  // Drives the transfer in this thread until `ready()` holds, it ends, a limit is passed, or
  // Stop() is called.
  template <class Ready>
  void Pump(Ready ready) {
    const Clock::time_point waitStart = Clock::now();
    Clock::time_point last = waitStart;
    auto count = [&] {
      Clock::time_point now = Clock::now();
      waited += now - last;
      last = now;
      return now;
    };
    while (!stopped && !done && !ready()) {
      int running = 0;
      CURLMcode mc = curl_multi_perform(multi, &running);
      if (mc != CURLM_OK) {
        Fail(std::string("Ошибка libcurl: ") + curl_multi_strerror(mc));
        break;
      }
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy && !done) Finish(msg->data.result);
      if (stopped || done || ready()) break;

      Clock::time_point now = count();
      if (!WithinLimits(now, waitStart)) break;
      // Stop() wakes this wait; curl shortens it for its own timers.
      curl_waitfd wake{wakeFd, CURL_WAIT_POLLIN, 0};
      mc = curl_multi_poll(multi, wakeFd >= 0 ? &wake : nullptr, wakeFd >= 0 ? 1 : 0,
                           static_cast<int>(NextCheckMs(now, waitStart)), nullptr);
      if (mc != CURLM_OK) {
        Fail(std::string("Ошибка libcurl: ") + curl_multi_strerror(mc));
        break;
      }
    }
    count();
  }

  bool Open(const HttpRequest& request, const HttpSettings& s) {
    Close();
    Reset();
    settings = s;
    url = request.url;
    if (stopped) return false;
    if (!multi || !(easy = curl_easy_init())) {
      Fail("Не хватает памяти");
      return false;
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK ||
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") != CURLE_OK) {
      Fail("libcurl не поддерживает HTTP");
      return false;
    }
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "http");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);  // HTTP/2 where a TLS server offers it
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
    if (!settings.noCookies) UseCookies();

    if (settings.maxPerHost > 0) {
      std::string host = HostKey(url);
      if (!host.empty()) {
        if (!Slots().Acquire(host, settings.maxPerHost, stopped)) return false;
        slotHost = std::move(host);
      }
    }
    if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
      Fail("Не удалось начать загрузку");
      return false;
    }
    lastActivity = Clock::now();
    Pump([this] { return headFinal; });
    if (headFinal && status >= 400) {
      Fail("HTTP " + std::to_string(status));
      return false;
    }
    return headFinal && !stopped;  // a body that fails later is Read()'s to report
  }

  std::size_t Read(std::string& out, std::size_t maxBytes) {
    if (stopped || !easy || maxBytes == 0 || (failed && Buffered() == 0)) return 0;
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
int HttpClient::RetryAfterSeconds() const { return impl_->retryAfter; }
std::shared_ptr<HeldCacheEntry> HttpClient::TakeHeldCacheEntry() {
  return impl_->done && !impl_->failed ? std::move(impl_->held) : nullptr;
}

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
  Slots().Wake();
}

bool HttpClient::Stopped() const { return impl_->stopped; }

void HttpClient::Restart() {
  if (impl_->wakeFd >= 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] ssize_t n = read(impl_->wakeFd, &count, sizeof count);
  }
  impl_->stopped = false;
}

}  // namespace skimlet
