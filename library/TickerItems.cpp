#include "library/TickerItems.h"

#include <sys/stat.h>

#include <algorithm>
#include <tuple>
#include <unordered_set>

#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

bool TickerItems::Add(const NodePtr& node, const std::string& name, const std::string& path) {
  if (entries_.size() >= kTickerMaxItems || index_.count(path)) return false;
  index_.emplace(path, entries_.size());
  entries_.push_back({node, name, path});
  return true;
}

bool TickerItems::Remove(const std::string& path) {
  auto it = index_.find(path);
  if (it == index_.end()) return false;
  std::size_t at = it->second;
  index_.erase(it);
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
  Reindex(at);
  return true;
}

bool TickerItems::Rename(const std::string& oldPath, const std::string& newPath, const std::string& newName) {
  auto it = index_.find(oldPath);
  if (it == index_.end()) return false;
  std::size_t at = it->second;
  if (newPath != oldPath && index_.count(newPath)) {
    // The new name was listed already: one entry is enough.
    Remove(oldPath);
    return true;
  }
  index_.erase(it);
  index_.emplace(newPath, at);
  entries_[at].path = newPath;
  entries_[at].name = newName;
  return true;
}

void TickerItems::Clear() {
  entries_.clear();
  index_.clear();
}

bool TickerItems::SyncFolder(const NodePtr& node, const std::string& folderPath,
                             const std::vector<std::string>& unreadFiles) {
  std::unordered_set<std::string> now;
  for (const std::string& name : unreadFiles) now.insert(JoinPath(folderPath, name));
  // One pass for what went, however many.
  const std::size_t before = entries_.size();
  std::erase_if(entries_, [&](const TickerEntry& e) {
    return e.path.size() > folderPath.size() && e.path.compare(0, folderPath.size(), folderPath) == 0 &&
           e.path.find('/', folderPath.size()) == std::string::npos && !now.count(e.path);
  });
  bool changed = entries_.size() != before;
  if (changed) {
    index_.clear();
    Reindex(0);
  }
  for (const std::string& name : unreadFiles)
    changed = Add(node, TickerNameOf(CaptionFromDisk(name)), JoinPath(folderPath, name)) || changed;
  return changed;
}

void TickerItems::Reindex(std::size_t from) {
  for (std::size_t i = from; i < entries_.size(); ++i) index_[entries_[i].path] = i;
}

std::string TickerNameOf(const std::string& fileName) {
  std::string name = fileName;
  std::size_t at = name.find(".htm");
  if (at != std::string::npos) name.erase(at, 5);
  return name;
}

std::vector<TickerEntry> CollectUnreadNews(const ChannelTree& tree, std::size_t limit) {
  std::vector<TickerEntry> out;
  for (const NodePtr& node : tree.InTreeOrder()) {
    if (out.size() >= limit) break;
    if (!tree.IsBold(node)) continue;
    const std::string dir = tree.FolderPath(node);
    struct Unread {
      long long seconds, nanos;
      std::string name;
    };
    std::vector<Unread> unread;
    for (const std::string& name : ListNewsFiles(dir)) {
      struct stat st {};
      if (::stat(JoinPath(dir, name).c_str(), &st) != 0 || (st.st_mode & 0222) != 0) continue;
      unread.push_back({static_cast<long long>(st.st_mtim.tv_sec), static_cast<long long>(st.st_mtim.tv_nsec), name});
    }
    std::sort(unread.begin(), unread.end(), [](const Unread& a, const Unread& b) {
      return std::tie(a.seconds, a.nanos, a.name) < std::tie(b.seconds, b.nanos, b.name);
    });
    for (const Unread& u : unread) {
      if (out.size() >= limit) break;
      out.push_back({node, TickerNameOf(CaptionFromDisk(u.name)), JoinPath(dir, u.name)});
    }
  }
  return out;
}

namespace ribbon {

int Step(int speed) {
  int step = 2 - speed;
  return step == 2 ? 3 : std::max(step, 0);
}

int Advance(int offset, int step, int width, std::size_t count) {
  long long next = static_cast<long long>(offset) + step;
  if (next > static_cast<long long>(count) * kTickerCellWidth + width) next = 0;
  return static_cast<int>(next);
}

Range Visible(int offset, int width, std::size_t count) {
  // Cell i touches the window when its left edge x satisfies x + 220 > 0 and x - 220 < width.
  const long long x0 = CellLeft(offset, width, 0), cell = kTickerCellWidth;
  auto floorDiv = [](long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  long long first = floorDiv(-cell - x0, cell) + 1;
  long long last = floorDiv(width + cell - x0 - 1, cell) + 1;  // one past the last i with x - 220 < width
  first = std::clamp<long long>(first, 0, static_cast<long long>(count));
  last = std::clamp<long long>(last, first, static_cast<long long>(count));
  return {static_cast<std::size_t>(first), static_cast<std::size_t>(last)};
}

long long EntryAt(int x, int offset, int width, std::size_t count) {
  long long from = x - CellLeft(offset, width, 0);
  if (from <= 0) return -1;
  long long i = from / kTickerCellWidth;
  // The cell's own edges belong to no entry, as the lines drawn there do.
  if (from % kTickerCellWidth == 0 || i >= static_cast<long long>(count)) return -1;
  return i;
}

int Dragged(int pressOffset, int dx, int width, std::size_t count) {
  long long offset = static_cast<long long>(pressOffset) + dx;
  if (offset <= 0) offset = static_cast<long long>(count) * kTickerCellWidth + width - 3;
  return static_cast<int>(offset);
}

}  // namespace ribbon

}  // namespace skimlet
