// The news files of one folder as the news list shows them, and what the viewer reads from
// one news file. A news keeps its state on disk only: write bits cleared = unread, ".htm"
// instead of ".html" = favourite.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace skimlet {

struct NewsFileEntry {
  std::string fileName;       // UTF-8, as on disk
  std::string name;           // the news name, Windows-1251
  bool unread = false;        // write bits cleared
  bool favourite = false;     // ".htm"
  std::int64_t modified = 0;  // last write, nanoseconds since the epoch
};

// The name shown for a file name: without its ".html" or ".htm" ending (Windows-1251).
// A name with neither ending is shown whole and stands for no news the program can open.
std::string NewsNameOf(std::string_view fileName);
bool HasNewsExtension(std::string_view fileName);
bool IsFavouriteFileName(std::string_view fileName);  // ends in ".htm"

struct NewsFolderListing {
  std::string dir;
  std::vector<NewsFileEntry> entries;  // newest first; equal times in reverse enumeration order
  bool anyUnread = false;
  bool complete = true;  // false when the read was cancelled
};

// Reads the news files (*.ht*, no dot-names) of `dir`, stopping early once `cancel` is set.
NewsFolderListing ReadFolderNews(const std::string& dir, const std::atomic<bool>* cancel = nullptr);

// Newest first; the entries come in enumeration order, and among equal times the one
// enumerated last comes first.
void SortNewsNewestFirst(std::vector<NewsFileEntry>& entries);

// Reads folders on a thread of its own. A new Read supersedes one not yet done, so a click
// on another folder never waits for the old one.
class NewsFolderReader {
 public:
  // Runs on the reader's thread for every read that was not superseded.
  using Done = std::function<void(std::uint64_t ticket, NewsFolderListing listing)>;
  explicit NewsFolderReader(Done done);
  ~NewsFolderReader();
  NewsFolderReader(const NewsFolderReader&) = delete;
  NewsFolderReader& operator=(const NewsFolderReader&) = delete;

  std::uint64_t Read(const std::string& dir);  // the ticket its result will carry

 private:
  void Loop();

  Done done_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pendingDir_;
  bool pending_ = false, stop_ = false;
  std::uint64_t ticket_ = 0;
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

// What the information panel shows of a news file (texts in Windows-1251).
struct NewsInfo {
  bool exists = false;
  std::string name, url, date, time;
  std::int64_t sizeBytes = -1;  // -1: unknown
  int attachments = 0, received = 0, missing = 0;
};
NewsInfo ReadNewsInfo(const std::string& path);

// The news's web address: the first line beginning with "SkimletURL:" that has a value.
// Empty when there is none or the file cannot be read.
std::string ReadNewsURL(const std::string& path);

// Last write of a file, nanoseconds since the epoch; 0 when it cannot be read.
std::int64_t FileModified(const std::string& path);

}  // namespace skimlet
