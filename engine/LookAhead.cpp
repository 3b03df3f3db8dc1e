#include "engine/LookAhead.h"

#include <algorithm>
#include <utility>

#include "fetch/Transfer.h"

namespace skimlet {

LookAhead::~LookAhead() { Shutdown(); }

void LookAhead::DropLocked(const EntryPtr& entry) {
  entry->dropped = true;
  // A transfer nobody will take gives its connection back at once. A worker that has moved
  // on has marked this entry done first, so the stop never hits its next page.
  if (entry->state == State::kRunning && entry->worker >= 0) clients_[static_cast<std::size_t>(entry->worker)]->Stop();
}

void LookAhead::Want(const std::vector<std::string>& urls, const HttpSettings& settings, int workers,
                     std::mt19937& rng) {
  workers = std::clamp(workers, 0, kMaxWorkers);
  std::lock_guard lock(mutex_);
  if (quit_ || held_ || stopped_) return;
  std::vector<EntryPtr> wanted;
  for (const std::string& url : urls) {
    auto same = [&](const EntryPtr& e) { return e->url == url; };
    if (std::any_of(wanted.begin(), wanted.end(), same)) continue;
    auto it = std::find_if(entries_.begin(), entries_.end(), same);
    if (it != entries_.end()) {
      wanted.push_back(*it);
      continue;
    }
    auto entry = std::make_shared<Entry>();
    entry->url = url;
    entry->agent = PickAgent(rng);
    entry->settings = settings;
    entry->settings.holdCacheEntry = true;
    wanted.push_back(std::move(entry));
  }
  for (const EntryPtr& e : entries_)
    if (std::find(wanted.begin(), wanted.end(), e) == wanted.end()) DropLocked(e);
  entries_ = std::move(wanted);
  active_ = workers;
  while (static_cast<int>(threads_.size()) < workers) {
    clients_.push_back(std::make_unique<HttpClient>());
    int index = static_cast<int>(threads_.size());
    threads_.emplace_back([this, index] { Work(index); });
  }
  cv_.notify_all();
}

bool LookAhead::Take(const std::string& url, AheadPage& page) {
  std::unique_lock lock(mutex_);
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const EntryPtr& e) { return e->url == url; });
  if (it == entries_.end()) return false;
  EntryPtr entry = *it;
  if (entry->state == State::kQueued) {
    // Not started: the run's own fetch is as quick.
    entries_.erase(it);
    return false;
  }
  cv_.wait(lock, [&] { return entry->dropped || entry->state == State::kDone || entry->state == State::kFailed; });
  if (entry->dropped) return false;  // cancelled meanwhile
  entries_.erase(std::find(entries_.begin(), entries_.end(), entry));
  entry->dropped = true;
  if (entry->state != State::kDone) return false;
  page = std::move(entry->page);
  return true;
}

void LookAhead::DropAll() {
  for (const EntryPtr& e : entries_) DropLocked(e);
  entries_.clear();
}

void LookAhead::Hold(bool on) {
  {
    std::lock_guard lock(mutex_);
    held_ = on;
    if (on) DropAll();
  }
  cv_.notify_all();
}

void LookAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    DropAll();
  }
  cv_.notify_all();
}

void LookAhead::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    DropAll();
  }
  cv_.notify_all();
  for (std::thread& t : threads_) t.join();
  std::lock_guard lock(mutex_);
  threads_.clear();
  clients_.clear();
  tooMany_.clear();
  active_ = 0;
  quit_ = held_ = stopped_ = false;
}

std::vector<std::string> LookAhead::TakeTooManyRequests() {
  std::lock_guard lock(mutex_);
  return std::exchange(tooMany_, {});
}

int LookAhead::Pending() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(entries_.size());
}

int LookAhead::Running() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(
      std::count_if(entries_.begin(), entries_.end(), [](const EntryPtr& e) { return e->state == State::kRunning; }));
}

bool LookAhead::Fetch(HttpClient& client, Entry& entry, AheadPage& page, int& status) {
  HttpRequest request;
  request.url = UrlForTransfer(entry.url);
  request.userAgent = entry.agent;
  bool opened = client.Open(request, entry.settings);
  status = client.Status();
  page.agent = entry.agent;
  page.contentType = client.ContentType();
  page.notPage = opened && !IsPageType(page.contentType);
  if (opened && !page.notPage) {
    while (client.Read(page.body, 64 * 1024) > 0) {
    }
  }
  const bool stopped = client.Stopped();
  if (!page.notPage && (!opened || client.Failed())) page.error = client.Error();
  if (page.error.empty() && !page.notPage) {
    page.effectiveUrl = client.EffectiveUrl();
    page.cacheEntry = client.TakeHeldCacheEntry();
  } else {
    page.body.clear();
  }
  const bool busy = (status == 429 || status == 503) && client.RetryAfterSeconds() >= 0;
  client.Close();
  // A stopped transfer, or a server that asks to come back, leaves the page to the run.
  return !stopped && !busy;
}

void LookAhead::Work(int index) {
  for (;;) {
    EntryPtr entry;
    HttpClient* client = nullptr;
    {
      std::unique_lock lock(mutex_);
      auto queued = [&] {
        return std::find_if(entries_.begin(), entries_.end(),
                            [](const EntryPtr& e) { return e->state == State::kQueued; });
      };
      cv_.wait(lock, [&] { return quit_ || (index < active_ && queued() != entries_.end()); });
      if (quit_) return;
      entry = *queued();
      entry->state = State::kRunning;
      entry->worker = index;
      client = clients_[static_cast<std::size_t>(index)].get();
    }
    client->Restart();  // after a stop meant for the page before
    bool go;
    {
      std::lock_guard lock(mutex_);
      go = !entry->dropped && !quit_;
    }
    AheadPage page;
    int status = 0;
    bool ok = go && Fetch(*client, *entry, page, status);
    {
      std::lock_guard lock(mutex_);
      if (status == 429) tooMany_.push_back(HostKey(UrlForTransfer(entry->url)));
      entry->state = ok ? State::kDone : State::kFailed;
      if (ok && !entry->dropped) entry->page = std::move(page);
    }
    cv_.notify_all();
  }
}

}  // namespace skimlet
