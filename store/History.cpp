#include "store/History.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Clock.h"
#include "platform/Files.h"

namespace skimlet {

namespace {

// Splits at CR LF, CR or LF; a break at the very end does not start another line. `fn` gets
// each line and the offset just past its line break.
template <typename Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      fn(text.substr(pos), text.size());
      return;
    }
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    fn(line, pos);
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
  const std::string path = HistoryFilePath(dataDir);
  // The lock keeps the append off a file that a rewrite is about to replace.
  FileLock lock;
  if (lock.Lock(path, /*exclusive=*/true, /*wait=*/true, /*create=*/true, error) != FileLock::Result::kLocked)
    return false;
  std::string data;
  struct stat st {};
  char last = '\n';
  if (::fstat(lock.Fd(), &st) == 0 && st.st_size > 0 && ::pread(lock.Fd(), &last, 1, st.st_size - 1) == 1 &&
      last != '\n' && last != '\r')
    data = "\r\n";
  data += line;
  data += "\r\n";
  if (WriteAllFd(lock.Fd(), data)) return true;
  if (error) *error = FileErrorText(kCannotWrite, path, errno);
  return false;
}

namespace {

std::size_t PrefixHash(std::string_view text) { return std::hash<std::string_view>{}(text); }

// The history file, read under its shared lock. False when it is there but cannot be read;
// a missing file reads as empty.
bool ReadHistoryFile(const std::string& path, std::string& text) {
  text.clear();
  if (!FileExists(path)) return true;
  FileLock lock;
  if (lock.Lock(path, /*exclusive=*/false, /*wait=*/true, /*create=*/false) != FileLock::Result::kLocked)
    return !FileExists(path);
  return ReadWholeFd(lock.Fd(), text);
}

}  // namespace

namespace {

std::string RefetchFilePath(const std::string& dataDir) { return JoinPath(dataDir, "history/refetch.txt"); }

// Rewrites the refetch list under its lock with `change` applied to its addresses.
bool ChangeRefetchList(const std::string& dataDir, const std::function<bool(std::vector<std::string>&)>& change,
                       std::string* error) {
  if (!MakeDirs(JoinPath(dataDir, "history"), error)) return false;
  const std::string path = RefetchFilePath(dataDir);
  FileLock lock;
  if (lock.Lock(path, /*exclusive=*/true, /*wait=*/true, /*create=*/true, error) != FileLock::Result::kLocked)
    return false;
  std::string text;
  if (!ReadWholeFd(lock.Fd(), text)) {
    if (error) *error = "Cannot read " + path;
    return false;
  }
  std::vector<std::string> urls;
  ForEachLine(text, [&](std::string_view line, std::size_t) {
    if (!line.empty()) urls.emplace_back(line);
  });
  if (!change(urls)) return true;
  text.clear();
  for (const std::string& url : urls) text += url + "\r\n";
  // Renamed into place while the old file is still locked, as the history's rewrite does.
  return WriteFileAtomic(path, text, error);
}

}  // namespace

bool AddRefetchAddresses(const std::string& dataDir, const std::vector<std::string>& urls, std::string* error) {
  return ChangeRefetchList(
      dataDir,
      [&](std::vector<std::string>& list) {
        bool changed = false;
        for (const std::string& url : urls) {
          if (url.empty() || url.find_first_of("\r\n") != std::string::npos) continue;
          if (std::find(list.begin(), list.end(), url) != list.end()) continue;
          list.push_back(url);
          changed = true;
        }
        return changed;
      },
      error);
}

std::unordered_set<std::string> ReadRefetchAddresses(const std::string& dataDir) {
  std::unordered_set<std::string> urls;
  std::string text;
  if (!ReadHistoryFile(RefetchFilePath(dataDir), text)) return urls;
  ForEachLine(text, [&](std::string_view line, std::size_t) {
    if (!line.empty()) urls.emplace(line);
  });
  return urls;
}

bool DropRefetchAddress(const std::string& dataDir, const std::string& url, std::string* error) {
  if (!FileExists(RefetchFilePath(dataDir))) return true;
  return ChangeRefetchList(
      dataDir, [&](std::vector<std::string>& list) { return std::erase(list, url) > 0; }, error);
}

bool DownloadHistory::Removed(std::string_view line, std::uint64_t lineEnd, bool sameFile) const {
  return (sameFile && lineEnd <= clearedBytes_) || (!removed_.empty() && removed_.find(line) != removed_.end());
}

void DownloadHistory::LoadHistory(const std::string& dataDir) {
  std::lock_guard lock(mutex_);
  lines_.clear();
  removed_.clear();
  added_.clear();
  clearedBytes_ = 0;
  dataDir_ = dataDir;
  std::string text;
  if (!ReadHistoryFile(HistoryFilePath(dataDir), text)) text.clear();
  fileBytes_ = text.size();
  fileHash_ = PrefixHash(text);
  ForEachLine(text, [this](std::string_view line, std::size_t) {
    if (!line.empty()) lines_.emplace_back(line);
  });
}

bool DownloadHistory::SaveHistory(const std::string& dataDir, int maxLines, std::string* error) {
  // Held throughout: nothing this process adds or removes meanwhile can be lost.
  std::lock_guard lock(mutex_);
  const std::string path = HistoryFilePath(dataDir);
  FileLock fileLock;
  if (!FileExists(path) ||
      fileLock.Lock(path, /*exclusive=*/true, /*wait=*/true, /*create=*/false, error) != FileLock::Result::kLocked) {
    if (FileExists(path)) return false;
    // No file: nothing to trim, nothing to remove from.
    removed_.clear();
    added_.clear();
    clearedBytes_ = 0;
    fileBytes_ = 0;
    fileHash_ = PrefixHash({});
    dataDir_ = dataDir;
    return true;
  }
  std::string old;
  if (!ReadWholeFd(fileLock.Fd(), old)) {
    if (error) *error = FileErrorText(kCannotRead, path, errno);
    return false;
  }
  const bool sameFile = dataDir == dataDir_ && old.size() >= fileBytes_ &&
                        PrefixHash(std::string_view(old).substr(0, fileBytes_)) == fileHash_;
  std::deque<std::string_view> kept;
  bool dropped = false;
  ForEachLine(old, [&](std::string_view line, std::size_t end) {
    if (line.empty()) return;
    if (Removed(line, end, sameFile)) dropped = true;
    else kept.push_back(line);
  });
  while (static_cast<long long>(kept.size()) > std::max(1, maxLines)) {
    kept.pop_front();
    dropped = true;
  }
  std::string text;
  if (dropped) {
    text.reserve(old.size());
    for (std::string_view line : kept) {
      text += line;
      text += "\r\n";
    }
    // Renamed into place while the old file is still locked: a waiting append then finds
    // the new file.
    if (!WriteFileAtomic(path, text, error)) return false;
  }
  lines_.assign(kept.begin(), kept.end());
  const std::string& now = dropped ? text : old;
  removed_.clear();
  added_.clear();
  clearedBytes_ = 0;
  fileBytes_ = now.size();
  fileHash_ = PrefixHash(now);
  dataDir_ = dataDir;
  return true;
}

void DownloadHistory::Add(const std::string& line, int maxLines) {
  std::lock_guard lock(mutex_);
  lines_.push_back(line);
  added_.insert(line);
  while (static_cast<long long>(lines_.size()) > static_cast<long long>(maxLines < 1 ? 1 : maxLines))
    lines_.pop_front();
}

void DownloadHistory::Clear() {
  std::lock_guard lock(mutex_);
  // Everything this process has seen: the file as it read it, and every line added since.
  removed_.insert(lines_.begin(), lines_.end());
  removed_.insert(added_.begin(), added_.end());
  clearedBytes_ = fileBytes_;
  lines_.clear();
}

void DownloadHistory::RemoveIf(const std::function<bool(const std::string&)>& drop) {
  std::lock_guard lock(mutex_);
  std::erase_if(lines_, [&](const std::string& line) {
    if (!drop(line)) return false;
    removed_.insert(line);
    return true;
  });
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
  std::string dataDir;
  {
    std::lock_guard lock(mutex_);
    dataDir = dataDir_;
  }
  // The file is read without holding the list, which the window may want meanwhile.
  std::string file, text;
  const bool read = !dataDir.empty() && ReadHistoryFile(HistoryFilePath(dataDir), file);
  std::lock_guard lock(mutex_);
  if (!read) {
    for (const std::string& line : lines_) text += line + "\r\n";
    return text;
  }
  const bool sameFile =
      file.size() >= fileBytes_ && PrefixHash(std::string_view(file).substr(0, fileBytes_)) == fileHash_;
  text.reserve(file.size());
  ForEachLine(file, [&](std::string_view line, std::size_t end) {
    if (line.empty() || Removed(line, end, sameFile)) return;
    text += line;
    text += "\r\n";
  });
  return text;
}

HistorySnapshot::HistorySnapshot(std::string text) : text_(std::move(text)) {
  ForEachLine(text_, [this](std::string_view line, std::size_t) { Index(line); });
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
