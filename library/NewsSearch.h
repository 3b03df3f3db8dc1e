// Searching the saved news for words: a news matches when every word occurs in its name or
// in its text without tags, regardless of case (Cyrillic and Latin alike). The search walks a
// folder and all folders below it on a thread of its own and can be cancelled at any time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace skimlet {

// The words of a typed text (Windows-1251), split at blanks, in upper case.
std::vector<std::string> SearchWords(std::string_view typed);

// Appends the upper-case text of a page to `out`: tags, comments, scripts and style sheets
// left out (each as one blank), the common character references decoded.
void AppendPlainUpperText(std::string_view html, std::string& out);

// True when every word occurs in `upperText`.
bool HoldsAllWords(std::string_view upperText, const std::vector<std::string>& upperWords);

struct NewsHit {
  std::string path;           // UTF-8
  std::string folder;         // the folder's caption path below Accounts/, Windows-1251
  std::string name;           // the news name, Windows-1251
  std::int64_t modified = 0;  // nanoseconds since the epoch
};

class NewsSearch {
 public:
  // `wake` runs on the search's thread when hits wait where there were none, and when a
  // search ends; it must not call back into the search.
  explicit NewsSearch(std::function<void()> wake);
  ~NewsSearch();
  NewsSearch(const NewsSearch&) = delete;
  NewsSearch& operator=(const NewsSearch&) = delete;

  // Cancels the search under way, forgets its hits and searches `dir` (UTF-8, a folder
  // under `accountsDir`) and every folder below it for news holding all `upperWords`.
  void Start(const std::string& dir, const std::string& accountsDir, std::vector<std::string> upperWords);
  void Cancel();  // returns once the search has stopped

  // Moves the hits found since the last call to the end of `out`.
  void TakeHits(std::vector<NewsHit>& out);
  bool Running() const { return running_; }
  std::size_t FilesSeen() const { return filesSeen_; }

 private:
  void Run(std::string dir, std::string accountsDir, std::vector<std::string> words);
  void Found(NewsHit hit);

  std::function<void()> wake_;
  std::thread thread_;
  std::atomic<bool> cancel_{false}, running_{false};
  std::atomic<std::size_t> filesSeen_{0};
  std::mutex mutex_;
  std::vector<NewsHit> hits_;
};

}  // namespace skimlet
