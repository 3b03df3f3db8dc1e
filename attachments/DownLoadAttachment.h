// The attachment queue and its downloaders: pictures and style sheets of saved news are
// fetched in the background by up to ten TDownloadAtt workers, at most LEDCount at once.
// A worker is one thread that keeps its connections open from one file to the next. An
// address is fetched once however many news of a run use it: the other news get a link to
// the same file. Lamp colours and hints and the queue list are computed here; the window
// only draws them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Http.h"
#include "store/Settings.h"

namespace skimlet {

inline constexpr int kDownloaderSlots = 10;
inline constexpr int kMaxQueued = 5000;
inline constexpr const char* kTempSuffix = ".SK-tmp";
// Attachment addresses that answered 404 or 410, with when: not asked for again for 7 days.
inline constexpr const char* kMissingAttachmentsFile = "history/MissingAttachments.txt";
inline constexpr std::int64_t kMissingAttachmentSeconds = 7 * 24 * 3600;

// Where queued attachments come from: the run (its pictures are fetched once per address
// while it lasts; 0: no run), and the browser identification and the address of the news
// page they belong to, sent along as a browser would.
struct AttachmentOrigin {
  std::uint64_t run = 0;
  std::string userAgent;  // empty: one is picked from the agent table
  std::string referer;    // Windows-1251; empty: none
};

struct AttachmentEntry {
  std::string localPath;  // UTF-8 file path
  std::string url;        // Windows-1251, as the page wrote it
  AttachmentOrigin origin;
  std::vector<std::string> alsoPaths;  // other news' local files for the same address
};

// A new run number for AttachmentOrigin::run.
std::uint64_t NextAttachmentRun();

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
  // A transfer failed: a red log line (Windows-1251: "caption> text") naming the address and
  // the reason. Any thread; must not wait for the window nor call into the queue.
  virtual void AttachmentFailed(const AttachmentEntry&, const std::string& /*message*/) {}
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
  // Without `force`, nothing is queued while FlagDownloadPictures is off. An address that is
  // waiting or being fetched, or that the same run has fetched already, is not fetched again:
  // the pair's file becomes a link to the same file (a copy where links are impossible).
  void EnqueueAttachments(const std::string& text, const std::string& attachmentDir, bool force,
                          const AttachmentOrigin& origin = {});
  // The run has ended: what it fetched is no longer shared with later pairs (once the
  // pictures its style sheets bring have come).
  void ForgetRun(std::uint64_t run);
  // Hands the first waiting entry to a free slot while fewer than LEDCount are busy.
  bool StartNextDownloader();
  void Pump();  // StartNextDownloader until it starts nothing
  void AbortDownloader(int slot);
  void AbortAllAttachments();
  // A stored style sheet: its pictures, fonts and imports are queued beside it.
  void StyleSheetArrived(const AttachmentEntry& entry);
  // A stored sheet linked under `path` for another folder: its parts are linked or queued
  // there too, fetched once per run.
  void StyleSheetLinked(const std::string& path, const AttachmentOrigin& origin);

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
  // Addresses whose transfer failed (an abort is none), each counted once.
  int Failures() const;
  int Fetched() const { return fetched_; }    // transfers that stored a file

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
  void ClearLocked();    // empties the waiting queue
  // A worker's transfer is over: the address's other files and what the run remembers.
  std::vector<std::string> TransferOverLocked(TDownloadAtt& worker, bool ok);
  void TransferEnded();  // on the worker's thread
  void ForgetEndedRunsLocked();  // what ended runs fetched, once nothing is waiting or busy
  // A failed transfer of `url` that answered `status` (0: no answer). 404 and 410 are
  // remembered in the data directory.
  void TransferFailed(const std::string& url, int status);
  void LoadMissingLocked() const;

  AttachmentHost& host_;
  std::string dataDir_;
  mutable std::mutex mutex_;  // the queue lock: queue, keys, slots
  std::deque<AttachmentEntry> queue_;
  std::unordered_set<std::string> keys_;                        // every waiting path and address
  std::unordered_map<std::string, AttachmentEntry*> waitingUrl_;  // the waiting entry of an address
  struct Outcome {
    bool ok = false;
    std::string path;
  };
  std::unordered_map<std::uint64_t, std::unordered_map<std::string, Outcome>> runFetched_;
  std::vector<std::uint64_t> endedRuns_;  // runs whose outcomes go when the queue is idle
  std::array<std::unique_ptr<TDownloadAtt>, kDownloaderSlots> slots_;
  mutable std::mutex lampMutex_;
  std::array<LampState, kDownloaderSlots> lamps_;
  // Clear at start: the window keeps its initial lines until the first change.
  std::atomic<bool> queueChanged_{false};
  std::atomic<bool> attachmentArrived_{false};
  std::atomic<bool> flagDownloadPictures_{true};
  std::atomic<int> overflows_{0};
  std::unordered_set<std::string> failedUrls_;                 // queue lock
  mutable std::unordered_map<std::string, std::int64_t> missing_;  // queue lock: address -> when found
  mutable bool missingLoaded_ = false;
  std::atomic<int> fetched_{0};
  std::atomic<bool> cookiesToSave_{false};
  long idleTimeoutMs_ = 60000;
};

// The downloader of one slot: a thread that fetches the entries handed to its slot, one after
// another, each into its local file, over connections it keeps open.
class TDownloadAtt {
 public:
  TDownloadAtt(AttachmentQueue& queue, int slot);
  ~TDownloadAtt();  // aborts the transfer and ends the thread
  // Queue lock held, slot free: the next transfer (the thread starts with the first).
  void Assign(AttachmentEntry entry, HttpSettings settings);
  void Abort();  // the transfer fails and its temporary file goes
  bool Occupied() const { return occupied_; }  // an entry was handed to the slot and not released
  bool WorkDone() const { return workDone_; }
  bool ReadFailed() const { return readFailed_; }
  bool Succeeded() const { return succeeded_; }
  const AttachmentEntry& Entry() const { return entry_; }

 private:
  friend class AttachmentQueue;
  void Main();
  void Execute();
  bool Transfer(std::string& reason);
  int status_ = 0;  // the HTTP status of the last transfer, 0 without an answer

  AttachmentQueue& queue_;
  int slot_;
  AttachmentEntry entry_;  // alsoPaths under the queue lock
  HttpSettings settings_;
  HttpClient http_;
  std::mt19937 rng_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool hasJob_ = false, quit_ = false;
  bool occupied_ = false;  // queue lock
  bool merging_ = false;   // queue lock: other files of the address may still join
  std::atomic<bool> readFailed_{false};
  std::atomic<bool> succeeded_{false};
  std::atomic<bool> workDone_{false};
};

}  // namespace skimlet
