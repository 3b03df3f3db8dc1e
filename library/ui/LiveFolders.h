// The window's eye on the disk: every folder of the channel tree is watched, so news that
// any process saves, marks, renames or removes reach the tree's marks and counts and the news
// list without F5. Accounts/ is watched too, so channels and rubrics that another process
// makes, renames or removes come into the tree and leave it. Changes are gathered and handed
// on at most a few times a second; the folders are counted on a thread of their own.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "library/UnreadCounts.h"
#include "store/ChannelFolders.h"

class QFileSystemWatcher;
class QTimer;

namespace skimlet {

class AccountsTree;

// The shortest time between two hand-overs of changed folders.
inline constexpr int kLiveFoldersPeriodMs = 250;

class LiveFolders : public QObject {
  Q_OBJECT

 public:
  LiveFolders(ChannelTree& tree, AccountsTree* accounts, QObject* parent);
  ~LiveFolders() override;

  // Watches every folder of the tree and counts them all.
  void Start();
  // Counts these folders again (UTF-8 paths ending in '/'), e.g. after marks made here.
  void Recount(const std::vector<std::string>& folders);
  void RecountNode(const NodePtr& node);
  // The unread news of a folder as last counted, and of a channel with its rubrics.
  int Unread(const NodePtr& node) const;
  int TotalUnread() const { return totalUnread_; }

 signals:
  // Folders whose files changed on disk, gathered since the last hand-over.
  void foldersChanged(const QStringList& folders);
  // Counts arrived and the tree shows them; `totalUnread` over every folder.
  void countsChanged(int totalUnread);
  // One folder's count, as it arrives (before countsChanged).
  void folderCounted(const skimlet::NodePtr& node, const skimlet::FolderCount& count);

 private:
  void SyncWatches();
  // Brings the tree up to the disk where these directories changed.
  void FollowFolders(std::vector<std::string> dirs);
  void DirectoryChanged(const QString& path);
  void Flush();
  void Counted(std::vector<FolderCount> counts);

  ChannelTree& tree_;
  AccountsTree* accounts_;
  QFileSystemWatcher* watcher_;
  QTimer* flush_;
  QTimer* sync_;
  QElapsedTimer sinceFlush_;
  std::set<std::string> dirty_;
  std::set<std::string> waiting_;  // new folders watched until their macro file arrives
  std::vector<std::string> held_;  // directories of gone folders a run still downloads
  std::unordered_map<std::string, int> unread_;  // folder path -> unread news
  int totalUnread_ = 0;
  std::unique_ptr<UnreadCounter> counter_;
};

}  // namespace skimlet
