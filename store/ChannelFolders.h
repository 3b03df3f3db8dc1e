// The channel tree: channels (directories under Accounts/) and their rubrics, with the
// check mark and the unread mark that every folder keeps on disk.
//
// The tree is shared by the window and by download runs in their own threads. One mutex
// guards its structure and the nodes' fields; every public operation takes it. Nodes are
// shared, so a node removed from the tree stays valid for a run that still holds it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace skimlet {

struct FolderNode;
using NodePtr = std::shared_ptr<FolderNode>;

inline constexpr int kImageUnchecked = 2;
inline constexpr int kImageChecked = 4;
inline constexpr int kImageDownloading = 6;

struct FolderNode {
  std::string text;      // caption, Windows-1251
  std::string diskName;  // directory name on disk, UTF-8
  int level = 0;         // 0 channel, 1 rubric
  std::weak_ptr<FolderNode> parent;
  std::vector<NodePtr> children;
  int imageIndex = kImageUnchecked;
  bool checked = false;
  bool bold = false;
};

// Thread-safe copy of the fields a view needs.
// How the folders on disk differ from the tree, below the directories that changed.
struct FolderDiff {
  // New folders holding a macro file, "Site" or "Site/Rubric" (UTF-8), each channel before
  // its rubrics.
  std::vector<std::string> added;
  // Nodes whose directory is gone (a gone channel's rubrics go with it).
  std::vector<NodePtr> removed;
  // Gone too, but a run is downloading their channel: it ends with its own error first.
  std::vector<NodePtr> held;
  // New folders without a macro file yet (full paths ending in '/'): a channel being made
  // writes its macro last.
  std::vector<std::string> waiting;
};

struct NodeState {
  std::string text;
  int level = 0;
  int imageIndex = kImageUnchecked;
  bool checked = false;
  bool bold = false;
};

class ChannelTree {
 public:
  // `dataDir` ends in '/'; the channels live in dataDir + "Accounts/".
  explicit ChannelTree(std::string dataDir);

  const std::string& DataDir() const { return dataDir_; }
  std::string AccountsDir() const { return dataDir_ + "Accounts/"; }

  // Adds nodes for the sub-directories of `path` (a directory, UTF-8) under `parent`
  // (top level when null), in the order the file system lists them; "Attachment" and
  // dot-names are never nodes. Not nested: one more level below each new node.
  void BuildChannelTree(const std::string& path, const NodePtr& parent, bool nested);
  void Clear();

  // Adds a node for an existing directory `diskName` (UTF-8) at the end of its siblings,
  // reads its check mark and then writes `checked`. Null when the name is unusable.
  NodePtr AddFolderNode(const std::string& diskName, const NodePtr& parent, bool checked);
  // Adds a node for a folder another process made, in the tree's order among its siblings,
  // with the check mark the folder has. Null when it is no directory or already a node.
  NodePtr InsertFolderNode(const std::string& diskName, const NodePtr& parent);
  // Compares the tree with the disk where `changedDirs` (paths ending in '/') changed:
  // Accounts/ itself, a channel's directory (its rubrics, and whether it is still there)
  // or a folder that is no node yet. Only those listings are read, so a run's saves into a
  // rubric cost nothing here.
  FolderDiff DiffWithDisk(const std::vector<std::string>& changedDirs) const;
  // Detaches the node (and its sub-tree) from the tree; the directory is not touched.
  void RemoveNode(const NodePtr& node);
  // Changes a node's caption and disk name after its directory was renamed.
  void RenameNode(const NodePtr& node, const std::string& newDiskName);

  std::vector<NodePtr> Channels() const;
  std::vector<NodePtr> Children(const NodePtr& node) const;
  std::vector<NodePtr> InTreeOrder() const;  // depth-first pre-order
  NodePtr NodeAt(int absoluteIndex) const;   // null when out of range
  int AbsoluteIndex(const NodePtr& node) const;  // -1 when not in the tree
  // The next node in tree order, or null.
  NodePtr NextInTreeOrder(const NodePtr& node) const;
  NodePtr Parent(const NodePtr& node) const;
  static NodePtr RootChannel(const NodePtr& node);

  NodeState State(const NodePtr& node) const;
  std::string Caption(const NodePtr& node) const;
  int Level(const NodePtr& node) const;
  bool IsChecked(const NodePtr& node) const;
  bool IsBold(const NodePtr& node) const;
  int ImageIndex(const NodePtr& node) const;
  void SetImageIndex(const NodePtr& node, int image);

  // The folder's directory: dataDir + "Accounts/" + channel + "/" (+ rubric + "/"), UTF-8.
  std::string FolderPath(const NodePtr& node) const;
  // The same path as Windows-1251 text, for the log and the window.
  std::string FolderPathText(const NodePtr& node) const;
  // The folder's path below Accounts/ ("Site/News", UTF-8): it names the same folder after
  // nodes were added or re-sorted, where an absolute index may not. Empty for no node.
  std::string RelativePath(const NodePtr& node) const;
  NodePtr NodeByRelativePath(const std::string& relative) const;  // null when none

  // Check mark = read-only bit of the folder's attribute word.
  bool ReadFolderCheck(const NodePtr& node);
  void WriteFolderCheck(const NodePtr& node, bool checked);
  // Unread mark = archive bit clear.
  void SetFolderUnreadAttribute(const NodePtr& node, bool hasUnread);
  void MarkNodeUnread(const NodePtr& node, bool hasUnread);
  // Looks for unread news (read-only *.ht* files) in the folder; sets the marks.
  // `yield` (may be empty) is called after every directory entry.
  bool ScanFolderUnread(const NodePtr& node, const std::function<void()>& yield = {});
  void ScanAllFoldersUnread(const std::function<void()>& yield = {});

  // The outline written to Accounts/folders.txt: one line per node in tree order, one TAB
  // per level, CR LF after each, Windows-1251.
  std::string Outline() const;

  // Counts news files (*.ht*, not dot-names) and unread ones in a folder.
  struct NewsCount {
    int news = 0;
    int unread = 0;
  };
  NewsCount CountNews(const NodePtr& node) const;

 private:
  NodePtr NewNode(const std::string& diskName, const NodePtr& parent);  // not yet in the tree
  std::string FolderPathLocked(const NodePtr& node) const;
  void ReadFolderCheckLocked(const NodePtr& node);
  void MarkNodeUnreadLocked(const NodePtr& node, bool hasUnread);
  void AppendInOrder(const NodePtr& node, std::vector<NodePtr>& out) const;

  std::string dataDir_;
  mutable std::mutex mutex_;
  std::vector<NodePtr> roots_;
};

// True when a folder name typed by a user or read from a shared file can be a directory
// under Accounts/: not empty, not "." or "..", no "/" or "\", and at most 255 bytes as UTF-8.
bool IsSafeFolderName(const std::string& win1251Name);

// True when `name` (UTF-8, as on disk) names a news file: "*.ht*", not a dot-name.
bool IsNewsFileName(const std::string& name);

// The news files of a folder (UTF-8 names), in no particular order.
std::vector<std::string> ListNewsFiles(const std::string& dirPath);

}  // namespace skimlet
