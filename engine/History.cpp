#include "engine/History.h"

#include "platform/Clock.h"
#include "platform/Files.h"

namespace skimlet {

namespace {

// Splits at CR LF, CR or LF; a break at the very end does not start another line.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      fn(text.substr(pos));
      return;
    }
    fn(text.substr(pos, end - pos));
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
}

}  // namespace

std::string HistoryFilePath(const std::string& dataDir) {
  return JoinPath(dataDir, "history/HTMLhistory.Items.txt");
}

std::string MakeHistoryLine(std::time_t when, const std::string& newsUrl, const std::string& newsName) {
  return DateTimeStamp(when) + "  NewsURL=" + newsUrl + "  " + newsName;
}

bool AppendHistoryLine(const std::string& dataDir, const std::string& line, std::string* error) {
  if (!MakeDirs(JoinPath(dataDir, "history"), error)) return false;
  return AppendToFile(HistoryFilePath(dataDir), line + "\r\n", error);
}

void DownloadHistory::LoadHistory(const std::string& dataDir) {
  std::string text;
  std::lock_guard lock(mutex_);
  lines_.clear();
  emptiedByUser_ = false;
  if (!ReadWholeFile(HistoryFilePath(dataDir), text)) return;
  ForEachLine(text, [this](std::string_view line) { lines_.emplace_back(line); });
}

bool DownloadHistory::SaveHistory(const std::string& dataDir, std::string* error) {
  std::string text;
  {
    std::lock_guard lock(mutex_);
    if (lines_.empty() && !emptiedByUser_) return true;
    for (const std::string& line : lines_) text += line + "\r\n";
  }
  if (!MakeDirs(JoinPath(dataDir, "history"), error)) return false;
  if (!WriteFileAtomic(HistoryFilePath(dataDir), text, error)) return false;
  std::lock_guard lock(mutex_);
  emptiedByUser_ = false;
  return true;
}

void DownloadHistory::Add(const std::string& line, int maxLines) {
  std::lock_guard lock(mutex_);
  lines_.push_back(line);
  while (static_cast<long long>(lines_.size()) > static_cast<long long>(maxLines < 1 ? 1 : maxLines))
    lines_.pop_front();
}

void DownloadHistory::Clear() {
  std::lock_guard lock(mutex_);
  if (!lines_.empty()) emptiedByUser_ = true;
  lines_.clear();
}

void DownloadHistory::RemoveIf(const std::function<bool(const std::string&)>& drop) {
  std::lock_guard lock(mutex_);
  std::erase_if(lines_, drop);
  if (lines_.empty()) emptiedByUser_ = true;
}

std::size_t DownloadHistory::Count() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

std::deque<std::string> DownloadHistory::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string DownloadHistory::LastLine() const {
  std::lock_guard lock(mutex_);
  return lines_.empty() ? std::string() : lines_.back();
}

std::string DownloadHistory::SnapshotText() const {
  std::lock_guard lock(mutex_);
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

HistorySnapshot::HistorySnapshot(std::string text) : text_(std::move(text)) {
  ForEachLine(text_, [this](std::string_view line) { Index(line); });
}

void HistorySnapshot::Append(const std::string& line) {
  text_ += line;
  Index(line);
}

void HistorySnapshot::Index(std::string_view line) {
  // Every URL u for which the line holds "NewsURL=" + u + "  ".
  static constexpr std::string_view kKey = "NewsURL=";
  for (std::size_t k = line.find(kKey); k != std::string_view::npos; k = line.find(kKey, k + 1)) {
    std::size_t start = k + kKey.size();
    for (std::size_t q = line.find("  ", start); q != std::string_view::npos; q = line.find("  ", q + 1))
      urls_.emplace(line.substr(start, q - start));
  }
}

bool HistorySnapshot::Contains(std::string_view newsUrl) const {
  return urls_.find(std::string(newsUrl)) != urls_.end();
}

}  // namespace skimlet
