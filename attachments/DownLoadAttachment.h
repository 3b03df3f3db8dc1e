// The attachment queue and its downloaders: pictures and style sheets of saved news are
// fetched in the background by up to ten TDownloadAtt threads, at most LEDCount at once.
// Lamp colours and hints and the queue list are computed here; the window only draws them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "engine/Settings.h"
#include "platform/Http.h"

namespace skimlet {

inline constexpr int kDownloaderSlots = 10;
inline constexpr int kMaxQueued = 5000;
inline constexpr const char* kTempSuffix = ".SK-tmp";

struct AttachmentEntry {
  std::string localPath;  // UTF-8 file path
  std::string url;        // Windows-1251, as the page wrote it
};

enum class LampColour { kSilver, kMaroon, kYellow, kGreen, kLime, kWhite };
struct LampRgb {
  int r, g, b;
};
LampRgb LampColourRgb(LampColour colour);

struct LampState {
  LampColour colour = LampColour::kSilver;
  std::string hint;  // Windows-1251: "Get "/"Complete "/"ERROR " + URL
};

// What the window shows of the queue: the list AttachmentURL and the caption of GroupBoxLED.
struct QueueDisplay {
  std::vector<std::string> lines;  // Windows-1251
  std::vector<int> selected;       // lines of running transfers
  std::string caption;
};

// The window side of the queue.
class AttachmentHost {
 public:
  virtual ~AttachmentHost() = default;
  // A lamp changed; called from any thread with the lamp lock held (so changes arrive in the
  // order they were made): must not wait for the window nor call into the queue.
  virtual void LampChanged(int slot, const LampState& lamp) = 0;
  // The queue is full (message box text, Windows-1251).
  virtual void QueueOverflow(const std::string& message) = 0;
  virtual RunSettings Settings() = 0;
};

class TDownloadAtt;

class AttachmentQueue {
 public:
  AttachmentQueue(AttachmentHost& host, std::string dataDir);
  ~AttachmentQueue();  // aborts every transfer and waits for the threads
  AttachmentQueue(const AttachmentQueue&) = delete;
  AttachmentQueue& operator=(const AttachmentQueue&) = delete;

  // Queues the attachment pairs of a news text for `attachmentDir` (UTF-8, ends in '/').
  // Without `force`, nothing is queued while FlagDownloadPictures is off.
  void EnqueueAttachments(const std::string& text, const std::string& attachmentDir, bool force);
  // Hands the first waiting entry to a free slot while fewer than LEDCount are busy.
  bool StartNextDownloader();
  void Pump();  // StartNextDownloader until it starts nothing
  void AbortDownloader(int slot);
  void AbortAllAttachments();
  // A stored style sheet: its pictures, fonts and imports are queued beside it.
  void StyleSheetArrived(const AttachmentEntry& entry);

  bool FlagDownloadPictures() const { return flagDownloadPictures_; }
  void SetFlagDownloadPictures(bool on);  // off empties the waiting queue

  // The display, rebuilt when something changed since the last call; false when nothing did.
  bool TakeDisplay(QueueDisplay& out);
  QueueDisplay Display() const;
  bool TakeAttachmentArrived() { return attachmentArrived_.exchange(false); }

  int Waiting() const;
  int Busy() const;      // slots whose downloader has not finished its work
  bool Idle() const { return Waiting() == 0 && Busy() == 0; }
  LampState Lamp(int slot) const;
  int Overflows() const { return overflows_; }

  // Tests shorten the transfers' idle time-out.
  void SetIdleTimeoutMs(long ms) { idleTimeoutMs_ = ms; }

 private:
  friend class TDownloadAtt;
  // Leaves the lamp alone when `unless` is set (checked under the lamp lock).
  void SetLamp(int slot, LampColour colour, const std::string* hint = nullptr,
               const std::atomic<bool>* unless = nullptr);
  // Silver with the result hint, and `workDone` set, in one step: an abort's white must not
  // land on a transfer that has just finished.
  void FinishLamp(int slot, const std::string& hint, std::atomic<bool>& workDone);
  static std::string Key(const std::string& path, const std::string& url) { return path + '\n' + url; }
  bool RunningLocked(int slot) const;
  QueueDisplay BuildDisplayLocked() const;
  void TransferEnded();  // wakes the pump thread
  void PumpThread();

  AttachmentHost& host_;
  std::string dataDir_;
  mutable std::mutex mutex_;  // the queue lock: queue, keys, slots
  std::deque<AttachmentEntry> queue_;
  std::unordered_set<std::string> keys_;
  std::array<std::unique_ptr<TDownloadAtt>, kDownloaderSlots> slots_;
  mutable std::mutex lampMutex_;
  std::array<LampState, kDownloaderSlots> lamps_;
  // Clear at start: the window keeps its initial lines until the first change.
  std::atomic<bool> queueChanged_{false};
  std::atomic<bool> attachmentArrived_{false};
  std::atomic<bool> flagDownloadPictures_{true};
  std::atomic<int> overflows_{0};
  long idleTimeoutMs_ = 60000;
  // A freed slot takes the next entry at once instead of at the window's next tick.
  std::mutex pumpMutex_;
  std::condition_variable pumpCv_;
  bool pumpWanted_ = false, pumpStop_ = false;
  std::thread pumpThread_;
};

// One transfer into its local file, on its own thread.
class TDownloadAtt {
 public:
  TDownloadAtt(AttachmentQueue& queue, int slot, AttachmentEntry entry, HttpSettings settings);
  ~TDownloadAtt();
  void Start();
  void Abort();  // the transfer fails and its temporary file goes
  bool WorkDone() const { return workDone_; }
  bool ReadFailed() const { return readFailed_; }
  bool Succeeded() const { return succeeded_; }
  const AttachmentEntry& Entry() const { return entry_; }

 private:
  friend class AttachmentQueue;
  void Execute();
  bool Transfer();

  AttachmentQueue& queue_;
  int slot_;
  AttachmentEntry entry_;
  HttpSettings settings_;
  HttpClient http_;
  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> readFailed_{false};
  std::atomic<bool> succeeded_{false};
  std::atomic<bool> workDone_{false};
};

}  // namespace skimlet
