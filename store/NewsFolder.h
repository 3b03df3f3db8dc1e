// What a run needs to know about the news already saved in a folder: which addresses they
// were saved from (read from their header comments), and which were written last; and which
// folder of the whole collection saved an address.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace skimlet {

class ChannelTree;

// The header comment SaveNews writes at the start of a news file; the values as stored
// (Windows-1251).
struct NewsHeader {
  std::string name, url, node, date, time;
};

// Reads the header comment at the start of a news file's text; a later line of one kind wins.
// Returns the offset of the first byte after the line that closes it, or npos when the text
// does not start with a closed header that names the news or its address. Nothing the page
// carries below the header counts.
std::size_t ParseNewsHeader(std::string_view text, NewsHeader& header);
// The same from a news file on disk; only its head is read. False without a header.
bool ReadNewsHeader(const std::string& path, NewsHeader& out);

// The news of one folder by the address in their header, built once and then kept up to
// date by the run that saves into the folder.
class NewsFolderIndex {
 public:
  // Reads the header of every news file of `folderPath` (ends in '/').
  void Build(const std::string& folderPath);
  const std::string& Folder() const { return folder_; }
  void Clear() { folder_.clear(), byUrl_.clear(); }
  // The name of the news saved from `url`, or null.
  const std::string* Find(const std::string& url) const;
  void Add(const std::string& url, const std::string& name) { byUrl_.emplace(url, name); }
  std::size_t Size() const { return byUrl_.size(); }

 private:
  std::string folder_;
  std::unordered_map<std::string, std::string> byUrl_;
};

// Which folder of the collection holds the news saved from an address. The history is shared
// by every channel, so a download skips what another folder saved; a new channel's trial run
// names that folder. Built once from the header of every news file of every folder.
class SavedNewsIndex {
 public:
  void Build(const ChannelTree& tree);
  // The holding folder's caption, "Канал" or "Канал/Рубрика" (Windows-1251); "" when none.
  // The first folder in tree order wins.
  std::string FolderOf(const std::string& url) const;
  std::size_t Size() const { return folderByUrl_.size(); }

 private:
  std::vector<std::string> captions_;
  std::unordered_map<std::string, std::size_t> folderByUrl_;  // into captions_
};

// The news files of a folder (full paths), most recently written first, at most `count`.
std::vector<std::string> NewestNewsFiles(const std::string& folderPath, std::size_t count);

}  // namespace skimlet
