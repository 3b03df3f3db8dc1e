// How many news, and how many unread, each folder holds: counted on a thread of its own so
// the window never waits for a large folder, and asked again for the folders that changed.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace skimlet {

struct FolderCount {
  std::string folder;  // UTF-8 path ending in '/'
  int news = 0;
  int unread = 0;
  bool exists = false;
  std::vector<std::string> unreadFiles;  // names of the unread news
};

// One pass over the directory: every "*.ht*" file that is not a dot-name, unread when its
// write bits are cleared.
FolderCount CountFolderNews(const std::string& folder);

// Marks every unread news of these folders read, one pass over each; the paths of the news
// it marked go to `marked`. Returns how many it marked.
int MarkFoldersRead(const std::vector<std::string>& folders, std::vector<std::string>* marked = nullptr);

class UnreadCounter {
 public:
  // Runs on the counter's thread, once per batch of folders asked for.
  using Done = std::function<void(std::vector<FolderCount>)>;
  explicit UnreadCounter(Done done);
  ~UnreadCounter();
  UnreadCounter(const UnreadCounter&) = delete;
  UnreadCounter& operator=(const UnreadCounter&) = delete;

  // Folders asked for while others are counted are counted next, each once.
  void Count(const std::vector<std::string>& folders);

 private:
  void Loop();

  Done done_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::set<std::string> pending_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace skimlet
