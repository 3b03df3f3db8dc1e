#include "attachments/DownLoadAttachment.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "attachments/Discovery.h"
#include "engine/PageFetcher.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// A local name read back from a news file must not lead out of the Attachment folder,
// whatever the page put in front of its data-end marker.
bool IsSafeLocalName(const std::string& name) {
  if (name.empty() || name[0] == '.' || name.size() > 200) return false;
  for (unsigned char c : name)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_' ||
          c == '-'))
      return false;
  return true;
}

HttpSettings TransferSettings(const RunSettings& s, const std::string& dataDir, long idleTimeoutMs) {
  HttpSettings h;
  h.reload = s.hURLReload;
  h.reuseConnection = s.hURLExistsConnection;
  h.useCache = s.hURLUseCashe;
  h.noCookies = s.hURLReloadCookiesOff;
  h.cacheDir = dataDir + "cache/";
  h.cookieJar = dataDir + "cookies.txt";
  h.idleTimeoutMs = idleTimeoutMs;
  return h;
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

AttachmentQueue::AttachmentQueue(AttachmentHost& host, std::string dataDir)
    : host_(host), dataDir_(std::move(dataDir)) {
  if (!dataDir_.empty() && dataDir_.back() != '/') dataDir_ += '/';
  pumpThread_ = std::thread([this] { PumpThread(); });
}

AttachmentQueue::~AttachmentQueue() {
  {
    std::lock_guard lock(pumpMutex_);
    pumpStop_ = true;
  }
  pumpCv_.notify_one();
  pumpThread_.join();
  AbortAllAttachments();
  std::lock_guard lock(mutex_);
  for (auto& slot : slots_) slot.reset();  // joins
}

void AttachmentQueue::TransferEnded() {
  {
    std::lock_guard lock(pumpMutex_);
    pumpWanted_ = true;
  }
  pumpCv_.notify_one();
}

void AttachmentQueue::PumpThread() {
  std::unique_lock lock(pumpMutex_);
  while (true) {
    pumpCv_.wait(lock, [this] { return pumpWanted_ || pumpStop_; });
    if (pumpStop_) return;
    pumpWanted_ = false;
    lock.unlock();
    Pump();
    lock.lock();
  }
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
  return d && !d->ReadFailed() && !d->WorkDone();
}

void AttachmentQueue::EnqueueAttachments(const std::string& text, const std::string& attachmentDir, bool force) {
  if (!force && !flagDownloadPictures_) return;
  if (!MakeDirs(attachmentDir)) return;
  std::string dir = attachmentDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  for (const AttachmentPair& pair : ReadAttachmentPairs(text)) {
    if (!IsSafeLocalName(pair.localName)) continue;
    std::string path = dir + pair.localName;
    bool present = FileExists(path), overflow = false;
    {
      std::lock_guard lock(mutex_);
      if (!present) present = keys_.count(Key(path, pair.url)) > 0;
      for (int s = 0; s < kDownloaderSlots && !present; ++s)
        present = RunningLocked(s) && slots_[s]->Entry().localPath == path && slots_[s]->Entry().url == pair.url;
      if (!present && static_cast<int>(queue_.size()) >= kMaxQueued) {
        overflow = true;
      } else if (!present) {
        queue_.push_back({path, pair.url});
        keys_.insert(Key(path, pair.url));
        queueChanged_ = true;
      }
    }
    if (overflow) {
      ++overflows_;
      host_.QueueOverflow(W("Переполнение буфера присоединенных файлов. Перезапустите программу."));
      return;  // the rest of this article's pairs are dropped
    }
    Pump();
  }
}

bool AttachmentQueue::StartNextDownloader() {
  std::unique_lock lock(mutex_);
  if (queue_.empty()) return false;
  int candidate = -1, busy = 0;
  for (int s = 0; s < kDownloaderSlots; ++s) {
    if (slots_[s] && slots_[s]->WorkDone()) slots_[s].reset();
    if (!slots_[s]) {
      if (candidate < 0) candidate = s;
    } else {
      ++busy;
    }
  }
  RunSettings settings = host_.Settings();
  if (candidate < 0 || settings.ledCount <= busy) return false;
  AttachmentEntry entry = std::move(queue_.front());
  queue_.pop_front();
  keys_.erase(Key(entry.localPath, entry.url));
  std::string hint = "Get " + entry.url;
  SetLamp(candidate, LampColour::kMaroon, &hint);
  slots_[candidate] = std::make_unique<TDownloadAtt>(*this, candidate, std::move(entry),
                                                     TransferSettings(settings, dataDir_, idleTimeoutMs_));
  slots_[candidate]->Start();
  queueChanged_ = true;
  return true;
}

void AttachmentQueue::Pump() {
  while (StartNextDownloader()) {
  }
}

void AttachmentQueue::AbortDownloader(int slot) {
  std::lock_guard lock(mutex_);
  if (slots_[slot] && !slots_[slot]->WorkDone()) {
    // White before the handles close, so the thread's silver (it ends at once) comes after.
    TDownloadAtt& d = *slots_[slot];
    d.readFailed_ = true;
    SetLamp(slot, LampColour::kWhite, nullptr, &d.workDone_);
    d.Abort();
  }
}

void AttachmentQueue::AbortAllAttachments() {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    keys_.clear();
    queueChanged_ = true;
  }
  for (int s = 0; s < kDownloaderSlots; ++s) AbortDownloader(s);
}

void AttachmentQueue::SetFlagDownloadPictures(bool on) {
  flagDownloadPictures_ = on;
  if (on) return;
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  queue_.clear();
  keys_.clear();
  queueChanged_ = true;
}

int AttachmentQueue::Waiting() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(queue_.size());
}

int AttachmentQueue::Busy() const {
  std::lock_guard lock(mutex_);
  int busy = 0;
  for (const auto& slot : slots_)
    if (slot && !slot->WorkDone()) ++busy;
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

TDownloadAtt::TDownloadAtt(AttachmentQueue& queue, int slot, AttachmentEntry entry, HttpSettings settings)
    : queue_(queue), slot_(slot), entry_(std::move(entry)), settings_(std::move(settings)) {}

TDownloadAtt::~TDownloadAtt() {
  Abort();
  if (thread_.joinable()) thread_.join();
}

void TDownloadAtt::Start() {
  started_ = true;
  thread_ = std::thread([this] { Execute(); });
}

void TDownloadAtt::Abort() {
  readFailed_ = true;
  http_.Stop();
}

void TDownloadAtt::Execute() {
  queue_.SetLamp(slot_, LampColour::kYellow, nullptr, &readFailed_);
  succeeded_ = Transfer();
  queue_.FinishLamp(slot_, (succeeded_ ? "Complete " : "ERROR ") + entry_.url, workDone_);
  queue_.queueChanged_ = true;
  queue_.TransferEnded();
}

bool TDownloadAtt::Transfer() {
  if (readFailed_) return false;
  HttpRequest request;
  request.url = UrlForTransfer(entry_.url);
  if (!http_.Open(request, settings_)) {
    http_.Close();
    return false;
  }
  const std::string temp = entry_.localPath + kTempSuffix;
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
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
    for (std::size_t done = 0; done < chunk.size();) {
      ssize_t w = ::write(fd, chunk.data() + done, chunk.size() - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        writeFailed = true;
        break;
      }
      done += static_cast<std::size_t>(w);
    }
    if (writeFailed) break;
    TotalBytes() += n;
    lime = !lime;
    queue_.SetLamp(slot_, lime ? LampColour::kLime : LampColour::kGreen, nullptr, &readFailed_);
  }
  bool ok = ::close(fd) == 0 && !writeFailed && !readFailed_ && !http_.Failed();
  http_.Close();
  if (ok) {
    // link() refuses to replace a file that appeared meanwhile; the temporary goes either way.
    const char* target = entry_.localPath.c_str();
    if (::link(temp.c_str(), target) != 0) {
      if (errno == EEXIST)
        ok = FileExists(entry_.localPath);
      else  // no hard links (FAT, some network file systems): a plain rename
        ok = FileExists(entry_.localPath) || ::rename(temp.c_str(), target) == 0;
    }
    if (ok) queue_.attachmentArrived_ = true;
  }
  ::unlink(temp.c_str());
  return ok;
}

}  // namespace skimlet
