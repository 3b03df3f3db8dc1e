// The list of unread news that the ticker scrolls, and the arithmetic of its ribbon. The
// list belongs to the window's thread; runs hand their additions over to it.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/ChannelFolders.h"

namespace skimlet {

inline constexpr std::size_t kTickerMaxItems = 10000;
inline constexpr int kTickerCellWidth = 220;

struct TickerEntry {
  NodePtr node;      // the folder that holds the news
  std::string name;  // the bare news name, Windows-1251
  std::string path;  // the news file, UTF-8
};

class TickerItems {
 public:
  // Appends unless the path is listed already or the list is full. True when appended.
  bool Add(const NodePtr& node, const std::string& name, const std::string& path);
  // Removes the entry of `path`, keeping the others in order. True when there was one.
  bool Remove(const std::string& path);
  // A news renamed on disk (favourite mark, rename): its entry follows under its new name.
  bool Rename(const std::string& oldPath, const std::string& newPath, const std::string& newName);
  void Clear();
  // The folder at `folderPath` (ends in '/') now holds exactly these unread news (UTF-8 file
  // names): entries of the folder's other news go, new ones are appended. True on a change.
  bool SyncFolder(const NodePtr& node, const std::string& folderPath, const std::vector<std::string>& unreadFiles);

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  const TickerEntry& At(std::size_t i) const { return entries_[i]; }
  bool Contains(const std::string& path) const { return index_.count(path) != 0; }

 private:
  void Reindex(std::size_t from);

  std::vector<TickerEntry> entries_;
  std::unordered_map<std::string, std::size_t> index_;  // path -> position
};

// The bare name of a news file name (Windows-1251): the first ".htm" and the one character
// after it removed, so "a.html" and its favourite form "a.htm" both give "a".
std::string TickerNameOf(const std::string& fileName);

// Every unread news (read-only "*.ht*" file, not a dot-name) of the folders marked unread,
// in tree order, oldest first within a folder, at most `limit`. A folder that cannot be
// listed gives nothing.
std::vector<TickerEntry> CollectUnreadNews(const ChannelTree& tree, std::size_t limit = kTickerMaxItems);

// The ribbon: `offset` pixels scrolled, `width` of the window, `count` entries.
namespace ribbon {
// Pixels per tick for the speed slider's value (0..2): 3, 1, 0.
int Step(int speed);
// The offset after one tick: it starts over at 0 once the whole ribbon has gone by.
int Advance(int offset, int step, int width, std::size_t count);
// Left edge of entry i's cell.
inline long long CellLeft(int offset, int width, std::size_t i) {
  return static_cast<long long>(width) - offset + static_cast<long long>(kTickerCellWidth) * static_cast<long long>(i);
}
// The entries whose cells touch the window: [first, last), empty when first == last.
struct Range {
  std::size_t first = 0, last = 0;
};
Range Visible(int offset, int width, std::size_t count);
// The entry whose cell holds window x, or -1.
long long EntryAt(int x, int offset, int width, std::size_t count);
// Dragging the ribbon: the offset for a pointer moved `dx` pixels left of the press point;
// dragged past its start the ribbon jumps to its end.
int Dragged(int pressOffset, int dx, int width, std::size_t count);
}  // namespace ribbon

}  // namespace skimlet
