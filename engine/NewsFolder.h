// What a run needs to know about the news already saved in a folder: which addresses they
// were saved from (read from their header comments), and which were written last.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace skimlet {

// The header comment of a news file: "SkimletNAME:" and "SkimletURL:" (Windows-1251).
struct NewsHeader {
  std::string name;
  std::string url;
};

// Reads the header values from the text at the head of a news file (the lines up to "-->").
// False when the text holds no "SkimletURL:" line.
bool ParseNewsHeader(std::string_view head, NewsHeader& out);
// The same from a news file on disk; only its head is read.
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

// The news files of a folder (full paths), most recently written first, at most `count`.
std::vector<std::string> NewestNewsFiles(const std::string& folderPath, std::size_t count);

}  // namespace skimlet
