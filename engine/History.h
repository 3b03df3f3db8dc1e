// The download history: one line per saved news (date and time, "  NewsURL=", the URL, two
// blanks, the news name), kept in history/HTMLhistory.Items.txt and copied into every run.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace skimlet {

inline constexpr int kDefaultMaxHtmlHistory = 10000;

std::string HistoryFilePath(const std::string& dataDir);
// date-time + "  NewsURL=" + url + "  " + name
std::string MakeHistoryLine(std::time_t when, const std::string& newsUrl, const std::string& newsName);

// Appends one line and CR LF to the history file with one write, creating history/.
bool AppendHistoryLine(const std::string& dataDir, const std::string& line, std::string* error = nullptr);

// The history list shown in the window, oldest first. Safe to use from several threads.
class DownloadHistory {
 public:
  // Loads the file; any failure leaves the list empty, silently.
  void LoadHistory(const std::string& dataDir);
  // Writes the list over the file when it holds lines, or when it was emptied by the user
  // since the last load or save (so cleared lines do not come back). An untouched empty
  // list leaves the file alone.
  bool SaveHistory(const std::string& dataDir, std::string* error = nullptr);

  // Appends a line, then drops the oldest lines beyond maxLines.
  void Add(const std::string& line, int maxLines);
  void Clear();
  // Removes every line for which `drop` is true.
  void RemoveIf(const std::function<bool(const std::string&)>& drop);

  std::size_t Count() const;
  std::deque<std::string> Lines() const;
  std::string LastLine() const;
  // Every line followed by CR LF: what a run starts with.
  std::string SnapshotText() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  bool emptiedByUser_ = false;
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
