#include "store/ChannelFolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "platform/Files.h"
#include "platform/Text.h"
#include "store/MacroFile.h"

namespace skimlet {

namespace {

bool IsDirectoryEntry(int dirFd, const dirent* e) {
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
  struct stat st {};
  return fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

// The tree's order of sibling folders. Linux lists a directory in hash order; sorting by
// caption gives the stable, alphabetical order users know from other systems.
bool FolderNameLess(const std::string& a, const std::string& b) {
  std::string ua = UpperWin1251(CaptionFromDisk(a)), ub = UpperWin1251(CaptionFromDisk(b));
  return ua != ub ? ua < ub : a < b;
}

// Sub-directories of `path` that can be folder nodes, in the tree's order.
std::vector<std::string> ListFolderNames(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (!dir) return names;
  int fd = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name.empty() || name[0] == '.' || name == "Attachment") continue;
    if (IsDirectoryEntry(fd, e)) names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), FolderNameLess);
  return names;
}

// Walks the news files of a folder: fn(name, readOnly) for every "*.ht*" file.
template <typename Fn>
void ForEachNewsFile(const std::string& dirPath, Fn&& fn) {
  DIR* dir = opendir(dirPath.c_str());
  if (!dir) return;
  int fd = dirfd(dir);
  while (const dirent* e = readdir(dir)) {
    if (!IsNewsFileName(e->d_name)) continue;
    struct stat st {};
    if (fstatat(fd, e->d_name, &st, 0) != 0 || S_ISDIR(st.st_mode)) continue;
    if (!fn(e->d_name, (st.st_mode & 0222) == 0)) break;
  }
  closedir(dir);
}

}  // namespace

bool IsNewsFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  // "*.ht*", matched without regard to case as the user's file manager would.
  for (std::size_t i = name.find('.'); i != std::string::npos; i = name.find('.', i + 1)) {
    if (i + 2 < name.size() && (name[i + 1] == 'h' || name[i + 1] == 'H') &&
        (name[i + 2] == 't' || name[i + 2] == 'T'))
      return true;
  }
  return false;
}

std::vector<std::string> ListNewsFiles(const std::string& dirPath) {
  std::vector<std::string> names;
  ForEachNewsFile(dirPath, [&](const char* name, bool) {
    names.emplace_back(name);
    return true;
  });
  return names;
}

bool IsSafeFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c < 0x20) return false;
  return DiskName(name).size() <= 255;
}

ChannelTree::ChannelTree(std::string dataDir) : dataDir_(std::move(dataDir)) {
  if (dataDir_.empty() || dataDir_.back() != '/') dataDir_ += '/';
}

NodePtr ChannelTree::NewNode(const std::string& diskName, const NodePtr& parent) {
  auto node = std::make_shared<FolderNode>();
  node->diskName = diskName;
  node->text = CaptionFromDisk(diskName);
  std::lock_guard lock(mutex_);
  if (parent) {
    node->level = parent->level + 1;
    node->parent = parent;
  }
  return node;
}

void ChannelTree::BuildChannelTree(const std::string& path, const NodePtr& parent, bool nested) {
  std::string dir = path;
  if (dir.empty() || dir.back() != '/') dir += '/';
  for (const std::string& name : ListFolderNames(dir)) {
    NodePtr node = NewNode(name, parent);
    {
      std::lock_guard lock(mutex_);
      (parent ? parent->children : roots_).push_back(node);
      ReadFolderCheckLocked(node);
    }
    if (!nested) BuildChannelTree(dir + name, node, true);
  }
}

void ChannelTree::Clear() {
  std::lock_guard lock(mutex_);
  roots_.clear();
}

NodePtr ChannelTree::AddFolderNode(const std::string& diskName, const NodePtr& parent, bool checked) {
  if (diskName.empty() || diskName == "." || diskName == ".." ||
      diskName.find('/') != std::string::npos || diskName.size() > 255)
    return nullptr;
  NodePtr node = NewNode(diskName, parent);
  {
    std::lock_guard lock(mutex_);
    if (!DirExists(FolderPathLocked(node))) return nullptr;
    (parent ? parent->children : roots_).push_back(node);
    ReadFolderCheckLocked(node);
  }
  WriteFolderCheck(node, checked);
  return node;
}

NodePtr ChannelTree::InsertFolderNode(const std::string& diskName, const NodePtr& parent) {
  if (diskName.empty() || diskName[0] == '.' || diskName.find('/') != std::string::npos || diskName.size() > 255)
    return nullptr;
  NodePtr node = NewNode(diskName, parent);
  std::lock_guard lock(mutex_);
  if (!DirExists(FolderPathLocked(node))) return nullptr;
  auto& siblings = parent ? parent->children : roots_;
  for (const NodePtr& sibling : siblings)
    if (sibling->diskName == diskName) return nullptr;
  // Before the first sibling that sorts after it; siblings the user added stay where they are.
  auto at = std::find_if(siblings.begin(), siblings.end(),
                         [&](const NodePtr& sibling) { return FolderNameLess(diskName, sibling->diskName); });
  siblings.insert(at, node);
  ReadFolderCheckLocked(node);
  return node;
}

FolderDiff ChannelTree::DiffWithDisk(const std::vector<std::string>& changedDirs) const {
  const std::string accounts = AccountsDir();
  std::set<std::string> listings;  // "" for Accounts/, else a channel's disk name
  for (std::string dir : changedDirs) {
    if (dir.compare(0, accounts.size(), accounts) != 0) continue;
    dir.erase(0, accounts.size());
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    std::size_t slash = dir.find('/');
    if (dir.empty()) {
      listings.insert("");
    } else if (slash == std::string::npos) {
      listings.insert("");  // a channel that went, or a folder becoming one
      listings.insert(dir);
    } else if (!NodeByRelativePath(dir)) {
      listings.insert(dir.substr(0, slash));  // a rubric being made
    }
  }
  FolderDiff diff;
  auto macroIn = [](const std::string& path) { return FileExists(path + kMacroFileName); };
  for (const std::string& channel : listings) {
    NodePtr parent = channel.empty() ? nullptr : NodeByRelativePath(channel);
    if (!channel.empty() && !parent) continue;  // no channel of the tree (yet)
    const std::string dir = channel.empty() ? accounts : accounts + channel + "/";
    if (!DirExists(dir)) continue;  // the listing above it tells
    const std::vector<std::string> names = ListFolderNames(dir);
    std::set<std::string> known;
    for (const NodePtr& child : Children(parent)) {
      std::string name;
      {
        std::lock_guard lock(mutex_);
        name = child->diskName;
      }
      known.insert(name);
      if (std::binary_search(names.begin(), names.end(), name, FolderNameLess)) continue;
      NodePtr root = RootChannel(child);
      bool downloading = ImageIndex(root) == kImageDownloading;
      for (const NodePtr& rubric : Children(root)) downloading = downloading || ImageIndex(rubric) == kImageDownloading;
      (downloading ? diff.held : diff.removed).push_back(child);
    }
    for (const std::string& name : names) {
      if (known.count(name)) continue;
      const std::string path = dir + name + "/";
      if (!macroIn(path)) {
        diff.waiting.push_back(path);
        continue;
      }
      diff.added.push_back(channel.empty() ? name : channel + "/" + name);
      if (!channel.empty()) continue;
      for (const std::string& rubric : ListFolderNames(path)) {
        if (macroIn(path + rubric + "/"))
          diff.added.push_back(name + "/" + rubric);
        else
          diff.waiting.push_back(path + rubric + "/");
      }
    }
  }
  return diff;
}

void ChannelTree::RemoveNode(const NodePtr& node) {
  if (!node) return;
  std::lock_guard lock(mutex_);
  NodePtr parent = node->parent.lock();
  auto& siblings = parent ? parent->children : roots_;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
}

void ChannelTree::RenameNode(const NodePtr& node, const std::string& newDiskName) {
  if (!node) return;
  std::lock_guard lock(mutex_);
  node->diskName = newDiskName;
  node->text = CaptionFromDisk(newDiskName);
}

std::vector<NodePtr> ChannelTree::Channels() const {
  std::lock_guard lock(mutex_);
  return roots_;
}

std::vector<NodePtr> ChannelTree::Children(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node ? node->children : roots_;
}

void ChannelTree::AppendInOrder(const NodePtr& node, std::vector<NodePtr>& out) const {
  out.push_back(node);
  for (const auto& child : node->children) AppendInOrder(child, out);
}

std::vector<NodePtr> ChannelTree::InTreeOrder() const {
  std::lock_guard lock(mutex_);
  std::vector<NodePtr> out;
  for (const auto& root : roots_) AppendInOrder(root, out);
  return out;
}

NodePtr ChannelTree::NodeAt(int absoluteIndex) const {
  if (absoluteIndex < 0) return nullptr;
  auto all = InTreeOrder();
  return absoluteIndex < static_cast<int>(all.size()) ? all[absoluteIndex] : nullptr;
}

int ChannelTree::AbsoluteIndex(const NodePtr& node) const {
  auto all = InTreeOrder();
  auto it = std::find(all.begin(), all.end(), node);
  return it == all.end() ? -1 : static_cast<int>(it - all.begin());
}

NodePtr ChannelTree::NextInTreeOrder(const NodePtr& node) const {
  if (!node) return nullptr;
  std::lock_guard lock(mutex_);
  if (!node->children.empty()) return node->children.front();
  NodePtr cur = node;
  while (cur) {
    NodePtr parent = cur->parent.lock();
    const auto& siblings = parent ? parent->children : roots_;
    auto it = std::find(siblings.begin(), siblings.end(), cur);
    if (it != siblings.end() && it + 1 != siblings.end()) return *(it + 1);
    cur = parent;
  }
  return nullptr;
}

NodePtr ChannelTree::Parent(const NodePtr& node) const {
  if (!node) return nullptr;
  std::lock_guard lock(mutex_);
  return node->parent.lock();
}

NodePtr ChannelTree::RootChannel(const NodePtr& node) {
  NodePtr cur = node;
  while (cur) {
    NodePtr parent = cur->parent.lock();
    if (!parent) return cur;
    cur = parent;
  }
  return nullptr;
}

NodeState ChannelTree::State(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  if (!node) return {};
  return {node->text, node->level, node->imageIndex, node->checked, node->bold};
}

std::string ChannelTree::Caption(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node ? node->text : std::string();
}

int ChannelTree::Level(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node ? node->level : -1;
}

bool ChannelTree::IsChecked(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node && node->checked;
}

bool ChannelTree::IsBold(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node && node->bold;
}

int ChannelTree::ImageIndex(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return node ? node->imageIndex : -1;
}

void ChannelTree::SetImageIndex(const NodePtr& node, int image) {
  std::lock_guard lock(mutex_);
  if (node) node->imageIndex = image;
}

std::string ChannelTree::FolderPathLocked(const NodePtr& node) const {
  std::vector<const FolderNode*> chain;
  for (const FolderNode* cur = node.get(); cur;) {
    chain.push_back(cur);
    NodePtr parent = cur->parent.lock();
    cur = parent.get();
  }
  std::string path = dataDir_ + "Accounts/";
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += (*it)->diskName + "/";
  return path;
}

std::string ChannelTree::FolderPath(const NodePtr& node) const {
  std::lock_guard lock(mutex_);
  return FolderPathLocked(node);
}

std::string ChannelTree::RelativePath(const NodePtr& node) const {
  if (!node) return {};
  std::string path = FolderPath(node).substr(AccountsDir().size());
  if (!path.empty()) path.pop_back();  // the trailing '/'
  return path;
}

NodePtr ChannelTree::NodeByRelativePath(const std::string& relative) const {
  if (relative.empty()) return nullptr;
  for (const NodePtr& node : InTreeOrder())
    if (RelativePath(node) == relative) return node;
  return nullptr;
}

std::string ChannelTree::FolderPathText(const NodePtr& node) const {
  return CaptionFromDisk(FolderPath(node));
}

void ChannelTree::ReadFolderCheckLocked(const NodePtr& node) {
  node->checked = (ReadFolderAttributes(FolderPathLocked(node)) & kAttrReadOnly) != 0;
  node->imageIndex = node->checked ? kImageChecked : kImageUnchecked;
}

bool ChannelTree::ReadFolderCheck(const NodePtr& node) {
  if (!node) return false;
  std::lock_guard lock(mutex_);
  ReadFolderCheckLocked(node);
  return node->checked;
}

void ChannelTree::WriteFolderCheck(const NodePtr& node, bool checked) {
  if (!node) return;
  // The whole attribute word is replaced, so the archive bit (no unread news) goes too.
  WriteFolderAttributes(FolderPath(node), checked ? kAttrReadOnly : 0);
  ReadFolderCheck(node);
}

void ChannelTree::SetFolderUnreadAttribute(const NodePtr& node, bool hasUnread) {
  if (!node) return;
  std::string path = FolderPath(node);
  if (!DirExists(path)) return;
  std::uint32_t attrs = ReadFolderAttributes(path);
  std::uint32_t wanted = hasUnread ? (attrs & ~kAttrArchive) : (attrs | kAttrArchive);
  if (wanted != attrs) WriteFolderAttributes(path, wanted);
}

void ChannelTree::MarkNodeUnreadLocked(const NodePtr& node, bool hasUnread) {
  NodePtr parent = node->parent.lock();
  if (hasUnread) {
    node->bold = true;
    if (parent) parent->bold = true;
    return;
  }
  auto anyBold = [](const NodePtr& n) {
    return std::any_of(n->children.begin(), n->children.end(), [](const NodePtr& c) { return c->bold; });
  };
  if (anyBold(node)) return;
  node->bold = false;
  if (parent && !anyBold(parent) &&
      (ReadFolderAttributes(FolderPathLocked(parent)) & kAttrArchive) != 0)
    parent->bold = false;
}

void ChannelTree::MarkNodeUnread(const NodePtr& node, bool hasUnread) {
  if (!node) return;
  std::lock_guard lock(mutex_);
  MarkNodeUnreadLocked(node, hasUnread);
}

bool ChannelTree::ScanFolderUnread(const NodePtr& node, const std::function<void()>& yield) {
  if (!node) return false;
  bool found = false;
  ForEachNewsFile(FolderPath(node), [&](const char*, bool readOnly) {
    found = found || readOnly;
    if (yield) yield();
    return true;
  });
  SetFolderUnreadAttribute(node, found);
  MarkNodeUnread(node, found);
  return found;
}

void ChannelTree::ScanAllFoldersUnread(const std::function<void()>& yield) {
  for (const NodePtr& node : InTreeOrder()) ScanFolderUnread(node, yield);
}

std::string ChannelTree::Outline() const {
  std::string out;
  for (const NodePtr& node : InTreeOrder()) {
    std::lock_guard lock(mutex_);
    out.append(static_cast<std::size_t>(node->level), '\t');
    out += node->text;
    out += "\r\n";
  }
  return out;
}

ChannelTree::NewsCount ChannelTree::CountNews(const NodePtr& node) const {
  NewsCount count;
  if (!node) return count;
  ForEachNewsFile(FolderPath(node), [&](const char*, bool readOnly) {
    ++count.news;
    if (readOnly) ++count.unread;
    return true;
  });
  return count;
}

}  // namespace skimlet
