#include "engine/NewsFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "library/ChannelFolders.h"
#include "platform/Files.h"

namespace skimlet {

namespace {

// Enough for the seven header lines with a long address; a file whose header goes on
// beyond it is not one this program wrote.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

// The value of a line that starts with `key` (up to the line's end), if there is one.
bool LineValue(std::string_view head, std::string_view key, std::string& value) {
  for (std::size_t at = head.find(key); at != std::string_view::npos; at = head.find(key, at + 1)) {
    if (at != 0 && head[at - 1] != '\n' && head[at - 1] != '\r') continue;
    std::size_t start = at + key.size();
    std::size_t end = head.find_first_of("\r\n", start);
    value = std::string(head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    return true;
  }
  return false;
}

}  // namespace

bool ParseNewsHeader(std::string_view head, NewsHeader& out) {
  // Only the header comment counts: the page after it may quote anything.
  std::size_t close = head.find("\n-->");
  if (close != std::string_view::npos) head = head.substr(0, close + 1);
  out = {};
  LineValue(head, "SkimletNAME:", out.name);
  return LineValue(head, "SkimletURL:", out.url);
}

bool ReadNewsHeader(const std::string& path, NewsHeader& out) {
  std::string head;
  return ReadFileHead(path, "\n-->", kMaxHeadBytes, head) && ParseNewsHeader(head, out);
}

void NewsFolderIndex::Build(const std::string& folderPath) {
  folder_ = folderPath;
  byUrl_.clear();
  NewsHeader header;
  for (const std::string& name : ListNewsFiles(folderPath))
    if (ReadNewsHeader(JoinPath(folderPath, name), header) && !header.url.empty())
      byUrl_.emplace(std::move(header.url), std::move(header.name));
}

const std::string* NewsFolderIndex::Find(const std::string& url) const {
  auto it = byUrl_.find(url);
  return it == byUrl_.end() ? nullptr : &it->second;
}

std::vector<std::string> NewestNewsFiles(const std::string& folderPath, std::size_t count) {
  std::vector<std::pair<std::int64_t, std::string>> news;
  for (const std::string& name : ListNewsFiles(folderPath)) {
    std::string path = JoinPath(folderPath, name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    news.emplace_back(static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, std::move(path));
  }
  std::size_t n = std::min(count, news.size());
  std::partial_sort(news.begin(), news.begin() + static_cast<std::ptrdiff_t>(n), news.end(),
                    [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < n; ++i) paths.push_back(std::move(news[i].second));
  return paths;
}

}  // namespace skimlet
