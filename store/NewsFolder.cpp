#include "store/NewsFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "platform/Files.h"
#include "store/ChannelFolders.h"

namespace skimlet {

namespace {

// Enough for the seven header lines with a long address; a file whose header goes on
// beyond it is not one this program wrote.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;

constexpr int kMaxHeaderLines = 16;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Every news file of the folder whose header names the address it came from.
template <typename Take>
void ForEachSavedNews(const std::string& folderPath, Take take) {
  NewsHeader header;
  for (const std::string& name : ListNewsFiles(folderPath))
    if (ReadNewsHeader(JoinPath(folderPath, name), header) && !header.url.empty()) take(header);
}

}  // namespace

std::size_t ParseNewsHeader(std::string_view text, NewsHeader& header) {
  header = {};
  if (!StartsWith(text, "<!--")) return std::string_view::npos;
  bool named = false;
  std::size_t pos = 0;
  for (int line = 0; line < kMaxHeaderLines && pos < text.size(); ++line) {
    std::size_t eol = text.find('\n', pos);
    std::size_t next = eol == std::string_view::npos ? text.size() : eol + 1;
    std::string_view l = text.substr(pos, next - pos);
    while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.remove_suffix(1);
    pos = next;
    if (l == "-->") return named ? pos : std::string_view::npos;
    static constexpr std::pair<std::string_view, std::string NewsHeader::*> kFields[] = {
        {"SkimletNAME:", &NewsHeader::name}, {"SkimletURL:", &NewsHeader::url},  {"SkimletNode:", &NewsHeader::node},
        {"SkimletDate:", &NewsHeader::date}, {"SkimletTime:", &NewsHeader::time}};
    for (const auto& [prefix, field] : kFields) {
      if (!StartsWith(l, prefix)) continue;
      header.*field = std::string(l.substr(prefix.size()));
      named = named || field == &NewsHeader::name || field == &NewsHeader::url;
    }
  }
  return std::string_view::npos;
}

bool ReadNewsHeader(const std::string& path, NewsHeader& out) {
  std::string head;
  return ReadFileHead(path, "\n-->", kMaxHeadBytes, head) && ParseNewsHeader(head, out) != std::string_view::npos;
}

void NewsFolderIndex::Build(const std::string& folderPath) {
  folder_ = folderPath;
  byUrl_.clear();
  ForEachSavedNews(folderPath, [&](NewsHeader& h) { byUrl_.emplace(std::move(h.url), std::move(h.name)); });
}

const std::string* NewsFolderIndex::Find(const std::string& url) const {
  auto it = byUrl_.find(url);
  return it == byUrl_.end() ? nullptr : &it->second;
}

void SavedNewsIndex::Build(const ChannelTree& tree) {
  captions_.clear();
  folderByUrl_.clear();
  for (const NodePtr& node : tree.InTreeOrder()) {
    const NodePtr parent = tree.Parent(node);
    captions_.push_back(parent ? tree.Caption(parent) + "/" + tree.Caption(node) : tree.Caption(node));
    ForEachSavedNews(tree.FolderPath(node),
                     [&](NewsHeader& h) { folderByUrl_.emplace(std::move(h.url), captions_.size() - 1); });
  }
}

std::string SavedNewsIndex::FolderOf(const std::string& url) const {
  auto it = folderByUrl_.find(url);
  return it == folderByUrl_.end() ? std::string() : captions_[it->second];
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
