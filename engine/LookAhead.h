// News pages a run expects to fetch next, fetched in the background while it works on the
// page before. The run names the pages in the order it expects them; GetNews takes one only
// when its address matches exactly. Nothing here decides what the run does: a page never
// taken is dropped, so the run's log and files are the same with or without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/Http.h"

namespace skimlet {

struct AheadPage {
  std::string body;  // as it arrived
  std::string contentType, effectiveUrl, agent;
  // A fetch that failed for good: why (UTF-8, as HttpClient says it), or an answer that is no
  // page, which the run's own fetch stops at its headers.
  std::string error;
  bool notPage = false;
  std::shared_ptr<HeldCacheEntry> cacheEntry;  // written to the page cache only when taken
};

class LookAhead {
 public:
  static constexpr int kMaxWorkers = 16;

  LookAhead() = default;
  ~LookAhead();  // Shutdown()
  LookAhead(const LookAhead&) = delete;
  LookAhead& operator=(const LookAhead&) = delete;

  // The pages expected next (addresses as GetNews names them), in order, fetched with
  // `settings` by at most `workers` transfers at once. Pages no longer named are dropped.
  void Want(const std::vector<std::string>& urls, const HttpSettings& settings, int workers, std::mt19937& rng);
  // The page of `url` once it has arrived whole or failed for good, waiting while it is on its
  // way. False when it was not asked for, has not started yet, was cancelled meanwhile, or
  // met a busy server that said when to come back (the run asks again itself).
  bool Take(const std::string& url, AheadPage& page);
  // Any thread: drops every page and wakes every transfer at once; while held (a paused run)
  // or after Stop() (a stopped one), Want() starts nothing.
  void Hold(bool on);
  void Stop();
  // Cancels and joins the workers: no transfer outlives this call.
  void Shutdown();
  // Hosts (HostKey) that answered 429 since the last call.
  std::vector<std::string> TakeTooManyRequests();
  // Pages asked for and not yet taken or dropped, and transfers under way.
  int Pending() const;
  int Running() const;

 private:
  enum class State { kQueued, kRunning, kDone, kFailed };
  struct Entry {
    std::string url, agent;
    HttpSettings settings;
    State state = State::kQueued;
    bool dropped = false;
    int worker = -1;
    AheadPage page;
  };
  using EntryPtr = std::shared_ptr<Entry>;
  void Work(int index);
  bool Fetch(HttpClient& client, Entry& entry, AheadPage& page, int& status);
  void DropLocked(const EntryPtr& entry);
  void DropAll();

  mutable std::mutex mutex_;
  std::condition_variable cv_;  // work for the workers, results for Take()
  std::vector<EntryPtr> entries_;
  std::vector<std::unique_ptr<HttpClient>> clients_;  // one per worker; guarded by mutex_
  std::vector<std::thread> threads_;                  // the run's thread only
  int active_ = 0;
  bool quit_ = false, held_ = false, stopped_ = false;
  std::vector<std::string> tooMany_;
};

}  // namespace skimlet
