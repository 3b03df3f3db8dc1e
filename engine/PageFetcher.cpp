// How a run fetches a page: the transfer with the run's settings, a busy server's wait, the
// look-ahead's pages taken in, the text recoded as the run keeps it.
#include <algorithm>
#include <chrono>

#include "engine/DownLoad.h"
#include "fetch/Transfer.h"
#include "page/Tools.h"
#include "platform/Charset.h"
#include "platform/Text.h"
#include "platform/Url.h"

namespace skimlet {

namespace {
constexpr std::size_t kReadBlock = 64 * 1024;
constexpr int kMaxRetryAfterSeconds = 60;
}  // namespace

HttpSettings TDownload::MakeHttpSettings() const {
  HttpSettings s = TransferSettings(openFlags_, host_.Settings(), tree_.DataDir());
  s.connectTimeoutMs = connectTimeoutMs_;
  s.idleTimeoutMs = idleTimeoutMs_;
  if (dryRun_) s.useCache = false;  // a dry run leaves no cache entries
  return s;
}

bool TDownload::OpenUrl(const std::string& url, bool withHeaderBlock) {
  CountFetch(url);
  openedUrl_ = url;
  HttpRequest request;
  request.url = url;
  request.userAgent = agent_ = PickAgent(rng_);
  if (withHeaderBlock) request.headers = {"Accept: */*", "Accept-Language: ru"};  // + Accept-Encoding
  const HttpSettings settings = MakeHttpSettings();
  httpOpen_ = http_.Open(request, settings);
  if (httpOpen_ || finished_) return httpOpen_;
  // A server that is busy and says when to come back gets one more try.
  const int status = http_.Status();
  if (status == 429) CutLookAhead(HostKey(url));
  int wait = http_.RetryAfterSeconds();
  if ((status != 429 && status != 503) || wait < 0) return false;
  wait = std::min(wait, kMaxRetryAfterSeconds);
  AddRunLog(Prefix() + W(">> Сервер занят (HTTP ") + std::to_string(status) + W("), повтор через ") +
                std::to_string(wait) + W(" с"),
            kRed);
  {
    std::unique_lock lock(pauseMutex_);  // a stop wakes this wait
    pauseCv_.wait_for(lock, std::chrono::seconds(wait), [this] { return finished_.load(); });
  }
  http_.Close();
  if (finished_) return false;
  httpOpen_ = http_.Open(request, settings);
  return httpOpen_;
}

std::string TDownload::PageArrived(const std::string& url, std::string page, const std::string& contentType,
                                   const std::string& effectiveUrl) {
  lastFetchUrl_ = effectiveUrl;
  host_.StatusText("last URL=" + url, false);
  TotalBytes() += page.size();
  stepsWithoutProgress_ = 0;
  if (host_.Settings().convertToWin1251) PageToWin1251(page, contentType, &fetchedUndeclared_);
  return page;
}

std::string TDownload::TakeAheadPage(const std::string& url, AheadPage&& ahead) {
  fetchError_.clear();
  fetchedUndeclared_ = false;
  lastFetchUrl_.clear();
  CountFetch(openedUrl_ = UrlForTransfer(url));
  agent_ = ahead.agent;
  ++takenAhead_;
  // A failure says what the run's own fetch would have said.
  if (ahead.notPage) {
    fetchError_ = W("не страница: ") + Utf8ToWin1251(MediaType(ahead.contentType));
    failedUrls_.insert(openedUrl_);
    return {};
  }
  if (!ahead.error.empty()) {
    FetchFailed(Utf8ToWin1251(ahead.error));
    return {};
  }
  if (ahead.cacheEntry) StoreHeldCacheEntry(*ahead.cacheEntry);
  return PageArrived(url, std::move(ahead.body), ahead.contentType, ahead.effectiveUrl);
}

void TDownload::CutLookAhead(const std::string& host) {
  aheadByHost_[host] = LookAheadFor(host) / 2;
}

int TDownload::LookAheadFor(const std::string& host) const {
  int n = host_.Settings().lookAhead;
  auto it = aheadByHost_.find(host);
  return it != aheadByHost_.end() ? std::min(n, it->second) : n;
}

void TDownload::FetchFailed(const std::string& reason) {
  fetchError_ = reason.empty() ? W("Нет ответа") : reason;
  http_.Close();
  httpOpen_ = false;
  // A stop is no failure of the site; an address counts once however often it failed.
  if (!finished_ && failedUrls_.insert(openedUrl_).second) ++failedFetches_;
}

bool TDownload::OpenStartPage(const std::string& url) {
  fetchError_.clear();
  openFlags_ = OpenFlagsOf(host_.Settings());
  std::string target = url;
  std::string lower = LowerAscii(url);
  if (lower.find("http://") == std::string::npos && lower.find("https://") == std::string::npos)
    target = "http://" + url;
  if (!OpenUrl(UrlForTransfer(target), true)) {
    FetchFailed(Utf8ToWin1251(http_.Error()));
    return false;
  }
  int status = http_.Status();
  if (status == 200 || status == 302) return true;
  // A refused index page is not read: the next fetch must open its own URL.
  FetchFailed("HTTP " + std::to_string(status));
  return false;
}

std::string TDownload::FetchPage(const std::string& url) {
  std::string result;
  fetchError_.clear();
  lastFetchUrl_.clear();
  fetchedUndeclared_ = false;
  const bool ownRequest = !httpOpen_;
  if (!httpOpen_ && !OpenUrl(UrlForTransfer(url), false)) {
    FetchFailed(Utf8ToWin1251(http_.Error()));
    return result;
  }
  if (ownRequest && !IsPageType(http_.ContentType())) {
    // A picture or a file behind an article link: stopped at its headers, not counted as a
    // failure of the site, and not asked for again in this run.
    fetchError_ = W("не страница: ") + Utf8ToWin1251(MediaType(http_.ContentType()));
    http_.Close();
    httpOpen_ = false;
    failedUrls_.insert(openedUrl_);
    return result;
  }
  std::string page;
  int f = 0;
  bool complete = false;
  while (!finished_) {
    std::size_t n = http_.Read(page, kReadBlock);
    host_.StatusText(std::string(kProgressFrames[f]) + "  " + url + "  " + kProgressFrames[(f + 7) % 14], true);
    f = (f + 1) % 14;
    if (finished_) break;
    if (n == 0) {
      complete = true;
      break;
    }
    WaitWhilePaused();
  }
  std::string contentType = http_.ContentType();
  if (complete && http_.Failed()) {
    // A cut-off, oversized or endless body is not the page: nothing is taken from it.
    FetchFailed(Utf8ToWin1251(http_.Error()));
    return result;
  }
  if (complete) result = PageArrived(url, std::move(page), contentType, http_.EffectiveUrl());
  http_.Close();
  httpOpen_ = false;
  return result;
}

}  // namespace skimlet
