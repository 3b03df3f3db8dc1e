#include "attachments/DownLoadAttachment.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "fetch/Transfer.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// Puts a finished temporary file in place, never replacing a file that appeared meanwhile
// (that one is kept). Where the file system cannot rename without replacing, link() does the
// same; without hard links either (FAT, some network file systems) a plain rename. The
// temporary goes either way.
bool PlaceFile(const std::string& temp, const std::string& target) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
  bool ok = errno == EEXIST && FileExists(target);
  if (errno != EEXIST) {
    ok = ::link(temp.c_str(), target.c_str()) == 0;
    if (!ok) ok = errno == EEXIST ? FileExists(target) : FileExists(target) || ::rename(temp.c_str(), target.c_str()) == 0;
  }
  ::unlink(temp.c_str());
  return ok;
}

bool WriteWhole(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t w = ::write(fd, data.data(), data.size());
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(w));
  }
  return true;
}

// Another news's file for the same address: a hard link, else a copy. An existing file stays.
bool LinkOrCopy(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return true;
  if (errno == EEXIST) return FileExists(to);
  std::string data;
  if (!ReadWholeFile(from, data)) return false;
  const std::string temp = to + kTempSuffix;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = WriteWhole(fd, data);
  if (::close(fd) != 0 || !written) {
    ::unlink(temp.c_str());
    return false;
  }
  return PlaceFile(temp, to);
}

// The caption of the news folder an attachment belongs to (".../<folder>/Attachment/<name>").
std::string FolderCaption(const std::string& localPath) {
  std::string_view p = localPath;
  for (int i = 0; i < 2 && p.rfind('/') != std::string_view::npos; ++i) p = p.substr(0, p.rfind('/'));
  std::size_t slash = p.rfind('/');
  return CaptionFromDisk(slash == std::string_view::npos ? p : p.substr(slash + 1));
}

}  // namespace

LampRgb LampColourRgb(LampColour colour) {
  switch (colour) {
    case LampColour::kSilver: return {192, 192, 192};
    case LampColour::kMaroon: return {128, 0, 0};
    case LampColour::kYellow: return {255, 255, 0};
    case LampColour::kGreen: return {0, 128, 0};
    case LampColour::kLime: return {0, 255, 0};
    case LampColour::kWhite: return {255, 255, 255};
  }
  return {192, 192, 192};
}

std::uint64_t NextAttachmentRun() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

AttachmentQueue::AttachmentQueue(AttachmentHost& host, std::string dataDir)
    : host_(host), dataDir_(std::move(dataDir)) {
  if (!dataDir_.empty() && dataDir_.back() != '/') dataDir_ += '/';
}

AttachmentQueue::~AttachmentQueue() {
  AbortAllAttachments();
  // The workers take the queue lock when a transfer ends: they are joined without it.
  std::array<std::unique_ptr<TDownloadAtt>, kDownloaderSlots> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(slots_);
  }
  for (auto& worker : workers) worker.reset();
  if (cookiesToSave_) SaveCookieJar(CookieJarPath(dataDir_));
}

void AttachmentQueue::TransferEnded() {
  queueChanged_ = true;
  // The freed slot takes the next entry at once, not at the window's next tick.
  Pump();
  {
    std::lock_guard lock(mutex_);
    ForgetEndedRunsLocked();
  }
  // What the sites set while pictures came in is written once the queue is done.
  if (Idle() && cookiesToSave_.exchange(false)) SaveCookieJar(CookieJarPath(dataDir_));
}

void AttachmentQueue::SetLamp(int slot, LampColour colour, const std::string* hint, const std::atomic<bool>* unless) {
  std::lock_guard lock(lampMutex_);
  if (unless && *unless) return;
  lamps_[slot].colour = colour;
  if (hint) lamps_[slot].hint = *hint;
  host_.LampChanged(slot, lamps_[slot]);
}

void AttachmentQueue::FinishLamp(int slot, const std::string& hint, std::atomic<bool>& workDone) {
  std::lock_guard lock(lampMutex_);
  lamps_[slot] = {LampColour::kSilver, hint};
  workDone = true;
  host_.LampChanged(slot, lamps_[slot]);
}

LampState AttachmentQueue::Lamp(int slot) const {
  std::lock_guard lock(lampMutex_);
  return lamps_[slot];
}

bool AttachmentQueue::RunningLocked(int slot) const {
  const auto& d = slots_[slot];
  return d && d->Occupied() && !d->ReadFailed() && !d->WorkDone();
}

void AttachmentQueue::EnqueueAttachments(const std::string& text, const std::string& attachmentDir, bool force,
                                         const AttachmentOrigin& origin) {
  if (!force && !flagDownloadPictures_) return;
  if (!MakeDirs(attachmentDir)) return;
  std::string dir = attachmentDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  for (const AttachmentPair& pair : ReadAttachmentPairs(text)) {
    // Only names this program makes: nothing a page writes can lead elsewhere.
    if (!IsLocalAttachmentName(pair.localName)) continue;
    std::string path = dir + pair.localName;
    if (FileExists(path)) {
      Pump();
      continue;
    }
    std::string linkFrom;
    bool overflow = false;
    {
      std::lock_guard lock(mutex_);
      LoadMissingLocked();
      if (auto it = missing_.find(pair.url);
          it != missing_.end() && std::time(nullptr) - it->second < kMissingAttachmentSeconds)
        continue;  // the site said it has no such file: not asked again for a while
      bool present = keys_.count(Key(path, pair.url)) > 0;
      for (int s = 0; s < kDownloaderSlots && !present; ++s)
        present = RunningLocked(s) && slots_[s]->Entry().localPath == path && slots_[s]->Entry().url == pair.url;
      // The same address for another file: fetched once.
      if (!present && origin.run != 0) {
        if (auto run = runFetched_.find(origin.run); run != runFetched_.end()) {
          auto it = run->second.find(pair.url);
          if (it != run->second.end() && !it->second.ok) {
            present = true;  // failed in this run already: `pictures` tries again later
          } else if (it != run->second.end() && FileExists(it->second.path)) {
            present = true;
            linkFrom = it->second.path;
          }
        }
      }
      for (int s = 0; s < kDownloaderSlots && !present; ++s) {
        if (RunningLocked(s) && slots_[s]->merging_ && slots_[s]->Entry().url == pair.url) {
          slots_[s]->entry_.alsoPaths.push_back(path);
          present = true;
        }
      }
      if (!present) {
        if (auto it = waitingUrl_.find(pair.url); it != waitingUrl_.end()) {
          it->second->alsoPaths.push_back(path);
          keys_.insert(Key(path, pair.url));
          present = true;
        }
      }
      if (!present && static_cast<int>(queue_.size()) >= kMaxQueued) {
        overflow = true;
      } else if (!present) {
        queue_.push_back({path, pair.url, origin, {}});
        waitingUrl_[pair.url] = &queue_.back();
        keys_.insert(Key(path, pair.url));
        queueChanged_ = true;
      }
    }
    if (overflow) {
      ++overflows_;
      host_.QueueOverflow(W("Переполнение буфера присоединенных файлов. Перезапустите программу."));
      return;  // the rest of this article's pairs are dropped
    }
    if (!linkFrom.empty() && LinkOrCopy(linkFrom, path)) {
      attachmentArrived_ = true;
      StyleSheetLinked(path, origin);
    }
    Pump();
  }
}

void AttachmentQueue::LoadMissingLocked() const {
  if (missingLoaded_) return;
  missingLoaded_ = true;
  if (dataDir_.empty()) return;
  std::string text;
  if (!ReadWholeFile(dataDir_ + kMissingAttachmentsFile, text)) return;
  const std::int64_t now = std::time(nullptr);
  std::string kept;
  bool expired = false;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    const std::size_t blank = line.find(' ');
    char* end = nullptr;
    const long long when = std::strtoll(line.c_str(), &end, 10);
    if (blank == std::string::npos || end != line.c_str() + blank || blank + 1 >= line.size()) {
      expired = true;  // not a line of ours
      continue;
    }
    if (now - when >= kMissingAttachmentSeconds) {
      expired = true;
      continue;
    }
    missing_[line.substr(blank + 1)] = when;
    kept += line + "\n";
  }
  if (expired) WriteFileAtomic(dataDir_ + kMissingAttachmentsFile, kept, nullptr, false, false);
}

void AttachmentQueue::TransferFailed(const std::string& url, int status) {
  std::lock_guard lock(mutex_);
  if ((status == 404 || status == 410) && !dataDir_.empty()) {
    LoadMissingLocked();
    const std::int64_t now = std::time(nullptr);
    missing_[url] = now;
    // An address holds no line break: the page's were removed, a block's value ends at a blank.
    if (url.find_first_of("\r\n") == std::string::npos && MakeDirs(dataDir_ + "history/"))
      AppendToFile(dataDir_ + kMissingAttachmentsFile, std::to_string(now) + " " + url + "\n");
  }
  failedUrls_.insert(url);
}

int AttachmentQueue::Failures() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(failedUrls_.size());
}

void AttachmentQueue::ForgetRun(std::uint64_t run) {
  std::lock_guard lock(mutex_);
  // Its sheets may still bring pictures for its folders: forgotten once the queue is idle.
  endedRuns_.push_back(run);
  ForgetEndedRunsLocked();
}

void AttachmentQueue::ForgetEndedRunsLocked() {
  if (!queue_.empty()) return;
  for (const auto& slot : slots_)
    if (slot && slot->Occupied() && !slot->WorkDone()) return;
  for (std::uint64_t run : endedRuns_) runFetched_.erase(run);
  endedRuns_.clear();
}

bool AttachmentQueue::StartNextDownloader() {
  std::unique_lock lock(mutex_);
  if (queue_.empty()) return false;
  int candidate = -1, busy = 0;
  for (int s = 0; s < kDownloaderSlots; ++s) {
    if (slots_[s] && slots_[s]->Occupied() && slots_[s]->WorkDone()) slots_[s]->occupied_ = false;  // released
    if (!slots_[s] || !slots_[s]->Occupied()) {
      if (candidate < 0) candidate = s;
    } else {
      ++busy;
    }
  }
  RunSettings settings = host_.Settings();
  if (candidate < 0 || settings.ledCount <= busy) return false;
  AttachmentEntry entry = std::move(queue_.front());
  queue_.pop_front();
  waitingUrl_.erase(entry.url);
  keys_.erase(Key(entry.localPath, entry.url));
  for (const std::string& also : entry.alsoPaths) keys_.erase(Key(also, entry.url));
  std::string hint = "Get " + entry.url;
  SetLamp(candidate, LampColour::kMaroon, &hint);
  if (!slots_[candidate]) slots_[candidate] = std::make_unique<TDownloadAtt>(*this, candidate);
  HttpSettings http = TransferSettings(OpenFlagsOf(settings), settings, dataDir_);
  http.idleTimeoutMs = idleTimeoutMs_;
  slots_[candidate]->Assign(std::move(entry), std::move(http));
  queueChanged_ = true;
  return true;
}

void AttachmentQueue::Pump() {
  while (StartNextDownloader()) {
  }
}

std::vector<std::string> AttachmentQueue::TransferOverLocked(TDownloadAtt& worker, bool ok) {
  worker.merging_ = false;
  const AttachmentEntry& e = worker.entry_;
  if (e.origin.run != 0 && !worker.readFailed_) runFetched_[e.origin.run][e.url] = {ok, e.localPath};
  return std::move(worker.entry_.alsoPaths);
}

void AttachmentQueue::AbortDownloader(int slot) {
  std::lock_guard lock(mutex_);
  if (slots_[slot] && slots_[slot]->Occupied() && !slots_[slot]->WorkDone()) {
    // White before the handles close, so the thread's silver (it ends at once) comes after.
    TDownloadAtt& d = *slots_[slot];
    d.readFailed_ = true;
    SetLamp(slot, LampColour::kWhite, nullptr, &d.workDone_);
    d.Abort();
  }
}

void AttachmentQueue::ClearLocked() {
  queue_.clear();
  keys_.clear();
  waitingUrl_.clear();
  queueChanged_ = true;
}

void AttachmentQueue::AbortAllAttachments() {
  {
    std::lock_guard lock(mutex_);
    ClearLocked();
  }
  for (int s = 0; s < kDownloaderSlots; ++s) AbortDownloader(s);
}

void AttachmentQueue::SetFlagDownloadPictures(bool on) {
  flagDownloadPictures_ = on;
  if (on) return;
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  ClearLocked();
}

int AttachmentQueue::Waiting() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(queue_.size());
}

int AttachmentQueue::Busy() const {
  std::lock_guard lock(mutex_);
  int busy = 0;
  for (const auto& slot : slots_)
    if (slot && slot->Occupied() && !slot->WorkDone()) ++busy;
  return busy;
}

QueueDisplay AttachmentQueue::BuildDisplayLocked() const {
  QueueDisplay d;
  d.lines.reserve(queue_.size() + kDownloaderSlots + 1);
  // Newest waiting entry at the top, running transfers above them, highlighted.
  for (int s = kDownloaderSlots - 1; s >= 0; --s)
    if (RunningLocked(s)) d.lines.push_back(slots_[s]->Entry().url);
  int running = static_cast<int>(d.lines.size());
  for (auto it = queue_.rbegin(); it != queue_.rend(); ++it) d.lines.push_back(it->url);
  std::string n = std::to_string(d.lines.size());
  d.caption = W("Очередь вложений (") + n + ")";
  if (d.lines.empty()) {
    d.lines.push_back(W("В очереди вложений заданий нет"));
  } else {
    d.lines.insert(d.lines.begin(), W("Всего файлов в очереди вложений: ") + n);
    for (int i = 1; i <= running; ++i) d.selected.push_back(i);
  }
  return d;
}

bool AttachmentQueue::TakeDisplay(QueueDisplay& out) {
  if (!queueChanged_) return false;
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  queueChanged_ = false;
  out = BuildDisplayLocked();
  return true;
}

QueueDisplay AttachmentQueue::Display() const {
  std::lock_guard lock(mutex_);
  return BuildDisplayLocked();
}

TDownloadAtt::TDownloadAtt(AttachmentQueue& queue, int slot)
    : queue_(queue), slot_(slot), rng_(std::random_device{}()) {}

TDownloadAtt::~TDownloadAtt() {
  Abort();
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void TDownloadAtt::Assign(AttachmentEntry entry, HttpSettings settings) {
  entry_ = std::move(entry);
  settings_ = std::move(settings);
  readFailed_ = succeeded_ = workDone_ = false;
  occupied_ = merging_ = true;
  http_.Restart();  // after an abort of the previous transfer
  {
    std::lock_guard lock(mutex_);
    hasJob_ = true;
  }
  if (!thread_.joinable()) thread_ = std::thread([this] { Main(); });
  wake_.notify_one();
}

void TDownloadAtt::Abort() {
  readFailed_ = true;
  http_.Stop();
}

void TDownloadAtt::Main() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return hasJob_ || quit_; });
    if (quit_) return;
    hasJob_ = false;
    lock.unlock();
    Execute();
    lock.lock();
  }
}

void TDownloadAtt::Execute() {
  queue_.SetLamp(slot_, LampColour::kYellow, nullptr, &readFailed_);
  std::string reason;
  succeeded_ = Transfer(reason);
  // A sheet is rewritten while its address is still this worker's, so that every other
  // folder that asks for it meanwhile gets the rewritten sheet.
  if (succeeded_) queue_.StyleSheetArrived(entry_);
  std::vector<std::string> also;
  {
    std::lock_guard lock(queue_.mutex_);
    also = queue_.TransferOverLocked(*this, succeeded_);
  }
  if (succeeded_) {
    ++queue_.fetched_;
    for (const std::string& path : also)
      if (LinkOrCopy(entry_.localPath, path)) queue_.StyleSheetLinked(path, entry_.origin);
    queue_.attachmentArrived_ = true;
  } else if (!readFailed_) {
    queue_.TransferFailed(entry_.url, status_);
    if (status_ == 404 || status_ == 410) reason += W(". Адрес запомнен: 7 дней он не будет запрашиваться");
    queue_.host_.AttachmentFailed(
        entry_, FolderCaption(entry_.localPath) + W("> Вложение не загружено: ") + entry_.url + " - " + reason);
  }
  queue_.FinishLamp(slot_, (succeeded_ ? "Complete " : "ERROR ") + entry_.url, workDone_);
  queue_.TransferEnded();
}

bool TDownloadAtt::Transfer(std::string& reason) {
  if (readFailed_) return false;
  HttpRequest request;
  request.url = UrlForTransfer(entry_.url);
  request.userAgent = entry_.origin.userAgent.empty() ? PickAgent(rng_) : entry_.origin.userAgent;
  if (!entry_.origin.referer.empty()) request.headers.push_back("Referer: " + UrlForTransfer(entry_.origin.referer));
  if (!settings_.noCookies) queue_.cookiesToSave_ = true;
  status_ = 0;
  if (!http_.Open(request, settings_)) {
    reason = Utf8ToWin1251(http_.Error());
    status_ = http_.Status();
    http_.Close();
    return false;
  }
  const std::string temp = entry_.localPath + kTempSuffix;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    reason = W("Не удалось создать файл ") + Utf8ToWin1251(temp);
    http_.Close();
    return false;
  }
  queue_.SetLamp(slot_, LampColour::kGreen, nullptr, &readFailed_);
  bool lime = false, writeFailed = false;
  std::string chunk;
  while (!readFailed_) {
    chunk.clear();
    std::size_t n = http_.Read(chunk, 64 * 1024);
    if (n == 0) break;
    if (!WriteWhole(fd, chunk)) {
      writeFailed = true;
      break;
    }
    TotalBytes() += n;
    lime = !lime;
    queue_.SetLamp(slot_, lime ? LampColour::kLime : LampColour::kGreen, nullptr, &readFailed_);
  }
  bool closed = ::close(fd) == 0;
  bool ok = closed && !writeFailed && !readFailed_ && !http_.Failed();
  if (http_.Failed()) reason = Utf8ToWin1251(http_.Error());
  else if (!closed || writeFailed) reason = W("Не удалось записать файл ") + Utf8ToWin1251(temp);
  http_.Close();
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  if (!PlaceFile(temp, entry_.localPath)) {
    reason = W("Не удалось записать файл ") + Utf8ToWin1251(entry_.localPath);
    return false;
  }
  return true;
}

// A style sheet once it is stored: its own pictures and fonts join the queue.
void AttachmentQueue::StyleSheetArrived(const AttachmentEntry& entry) {
  if (!entry.localPath.ends_with(".css")) return;
  std::vector<AttachmentPair> pairs = LocalizeStyleSheet(entry.localPath, entry.url);
  if (pairs.empty()) return;
  EnqueueAttachments(AttachmentBlock(pairs), entry.localPath.substr(0, entry.localPath.rfind('/') + 1), true,
                     entry.origin);
}

void AttachmentQueue::StyleSheetLinked(const std::string& path, const AttachmentOrigin& origin) {
  if (!path.ends_with(".css")) return;
  std::string sheet;
  if (!ReadWholeFile(path, sheet)) return;
  std::vector<AttachmentPair> pairs = StyleSheetAttachments(sheet);
  if (!pairs.empty()) EnqueueAttachments(AttachmentBlock(pairs), path.substr(0, path.rfind('/') + 1), true, origin);
}

}  // namespace skimlet
