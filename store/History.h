// The download history: one line per saved news (date and time, "  NewsURL=", the URL, two
// blanks, the news name), kept in history/HTMLhistory.Items.txt.
//
// The file is the truth, shared by every process on one data directory (the window, a
// skimlet-cli started by a timer, a second window). Lines are added by single appends of
// whole lines; a rewrite (trimming, or what the user removed) happens under the file's
// exclusive lock and starts from what the file holds then, so lines other processes added
// meanwhile stay. A run reads the file when its channel starts.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace skimlet {

inline constexpr int kDefaultMaxHtmlHistory = 10000;

std::string HistoryFilePath(const std::string& dataDir);
// date-time + "  NewsURL=" + url + "  " + name
std::string MakeHistoryLine(std::time_t when, const std::string& newsUrl, const std::string& newsName);

// Appends one line and CR LF to the history file with one write, under the file's lock,
// creating history/. A last line left without its line break (a write cut short by a crash
// or a full disk) is ended first, so the new line stays a line of its own.
bool AppendHistoryLine(const std::string& dataDir, const std::string& line, std::string* error = nullptr);

// Addresses the user took out of the history to have them fetched again
// (history/refetch.txt, one address a line). A run saves such a news anew even when a news
// with that address is already in the folder, which it would otherwise take for a news whose
// history line a crash lost; once saved, the address leaves the list. Changed under the
// file's lock, so several processes may add and drop at once.
bool AddRefetchAddresses(const std::string& dataDir, const std::vector<std::string>& urls,
                         std::string* error = nullptr);
std::unordered_set<std::string> ReadRefetchAddresses(const std::string& dataDir);
bool DropRefetchAddress(const std::string& dataDir, const std::string& url, std::string* error = nullptr);

// The history list shown in the window, oldest first, and what this process removed from it.
// Safe to use from several threads.
class DownloadHistory {
 public:
  // Loads the file; any failure leaves the list empty, silently.
  void LoadHistory(const std::string& dataDir);
  // Rewrites the file under its exclusive lock: the lines it holds now, less what the user
  // removed here since the last load or save, trimmed to the newest `maxLines`. Writes
  // nothing when that changes nothing (so an untouched empty list leaves the file alone).
  // The list becomes what the file now holds, trimmed.
  bool SaveHistory(const std::string& dataDir, int maxLines, std::string* error = nullptr);

  // Appends a line, then drops the oldest lines beyond maxLines.
  void Add(const std::string& line, int maxLines);
  // Removes every line this process knows of; lines other processes add stay.
  void Clear();
  // Removes every line for which `drop` is true.
  void RemoveIf(const std::function<bool(const std::string&)>& drop);

  std::size_t Count() const;
  std::deque<std::string> Lines() const;
  std::string LastLine() const;
  // What a run starts with, every line followed by CR LF: the history file as it is now, less
  // what the user removed here; the list itself when no file was loaded or it cannot be read.
  std::string SnapshotText() const;

 private:
  bool Removed(std::string_view line, std::uint64_t lineEnd, bool sameFile) const;  // mutex_ held

  // Looked up by string_view, without a copy of every line of the file.
  struct LineHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  using LineSet = std::unordered_set<std::string, LineHash, std::equal_to<>>;

  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  std::string dataDir_;  // empty until loaded
  // The file as this process last read or wrote it: its size and a hash of its bytes (a file
  // that another process has rewritten since no longer starts with them).
  std::size_t fileBytes_ = 0, fileHash_ = 0;
  // What the user removed since then: lines by their text, and after a clear every line in
  // the first `clearedBytes_` bytes of that same file.
  LineSet removed_;
  std::uint64_t clearedBytes_ = 0;
  LineSet added_;  // lines added since then (the file has them after those bytes)
};

// A run's copy of the history. A news URL counts as loaded before only when some line
// holds "NewsURL=" + that URL + two blanks; the lookup is a hash probe.
class HistorySnapshot {
 public:
  HistorySnapshot() = default;
  explicit HistorySnapshot(std::string text);  // lines, each ended by CR LF (or CR or LF)

  // A line saved by the run itself (appended to the text without a separator).
  void Append(const std::string& line);
  bool Contains(std::string_view newsUrl) const;
  const std::string& Text() const { return text_; }

 private:
  void Index(std::string_view line);
  std::string text_;
  std::unordered_set<std::string> urls_;
};

}  // namespace skimlet
