#include "library/ui/LiveFolders.h"

#include <QFileSystemWatcher>
#include <QTimer>

#include <utility>

#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "qt/QtText.h"

namespace skimlet {

LiveFolders::LiveFolders(ChannelTree& tree, AccountsTree* accounts, QObject* parent)
    : QObject(parent), tree_(tree), accounts_(accounts) {
  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &LiveFolders::DirectoryChanged);
  flush_ = new QTimer(this);
  flush_->setObjectName("TimerLiveFolders");
  flush_->setSingleShot(true);
  connect(flush_, &QTimer::timeout, this, &LiveFolders::Flush);
  // Folders made or removed here or by an import come and go from the watch list.
  sync_ = new QTimer(this);
  sync_->setInterval(2000);
  connect(sync_, &QTimer::timeout, this, [this] {
    // A gone folder kept for a run leaves once the run has let it go.
    if (!held_.empty()) FollowFolders(std::exchange(held_, {}));
    SyncWatches();
  });
  sinceFlush_.start();
  counter_ = std::make_unique<UnreadCounter>([this](std::vector<FolderCount> counts) {
    auto shared = std::make_shared<std::vector<FolderCount>>(std::move(counts));
    QMetaObject::invokeMethod(this, [this, shared] { Counted(std::move(*shared)); }, Qt::QueuedConnection);
  });
}

LiveFolders::~LiveFolders() {
  counter_.reset();  // joins: nothing is posted here any more
}

void LiveFolders::Start() {
  SyncWatches();
  sync_->start();
  std::vector<std::string> all;
  for (const NodePtr& node : tree_.InTreeOrder()) all.push_back(tree_.FolderPath(node));
  counter_->Count(all);
}

void LiveFolders::SyncWatches() {
  std::set<std::string> folders;
  for (const NodePtr& node : tree_.InTreeOrder()) folders.insert(tree_.FolderPath(node));
  for (auto it = waiting_.begin(); it != waiting_.end();)
    it = folders.count(*it) || !DirExists(*it) ? waiting_.erase(it) : std::next(it);
  QStringList wanted;
  for (const std::string& folder : folders) wanted << QPath(folder);
  for (const std::string& folder : waiting_) wanted << QPath(folder);
  wanted << QPath(tree_.AccountsDir());
  QStringList watched = watcher_->directories();
  QStringList add, remove;
  for (const QString& path : wanted)
    if (!watched.contains(path)) add << path;
  for (const QString& path : watched)
    if (!wanted.contains(path)) remove << path;
  if (!remove.isEmpty()) watcher_->removePaths(remove);
  if (!add.isEmpty()) {
    watcher_->addPaths(add);
    std::vector<std::string> fresh;
    for (const QString& path : add)
      if (folders.count(path.toStdString())) fresh.push_back(path.toStdString());
    if (!fresh.empty()) counter_->Count(fresh);
  }
}

void LiveFolders::FollowFolders(std::vector<std::string> dirs) {
  // A folder is watched only after it is found; what was made in between is looked for once
  // more (a new channel's rubrics, a macro arriving in a waiting folder).
  for (int round = 0; round < 3 && !dirs.empty(); ++round) {
    FolderDiff diff = tree_.DiffWithDisk(dirs);
    dirs.clear();
    for (const NodePtr& node : diff.removed) {
      NodePtr parent = tree_.Parent(node);
      accounts_->DropNode(node);
      if (parent) accounts_->SetUnreadCount(parent, Unread(parent));
    }
    for (const NodePtr& node : diff.held) {
      held_.push_back(tree_.FolderPath(node));
      if (NodePtr parent = tree_.Parent(node)) held_.push_back(tree_.FolderPath(parent));
    }
    for (const std::string& relative : diff.added) {
      std::size_t slash = relative.find('/');
      NodePtr parent = slash == std::string::npos ? nullptr : tree_.NodeByRelativePath(relative.substr(0, slash));
      if (slash != std::string::npos && !parent) continue;
      NodePtr node = tree_.InsertFolderNode(relative.substr(slash == std::string::npos ? 0 : slash + 1), parent);
      if (!node || !accounts_->AddNodeItem(node)) continue;
      if (QTreeWidgetItem* item = accounts_->ItemOf(parent)) item->setExpanded(true);
      dirs.push_back(tree_.FolderPath(node));
    }
    for (const std::string& folder : diff.waiting)
      if (waiting_.insert(folder).second) dirs.push_back(folder);
    if (!diff.removed.empty()) {
      std::set<std::string> folders;
      for (const NodePtr& node : tree_.InTreeOrder()) folders.insert(tree_.FolderPath(node));
      std::erase_if(unread_, [&](const auto& entry) { return !folders.count(entry.first); });
      totalUnread_ = 0;
      for (const auto& [folder, unread] : unread_) totalUnread_ += unread;
      emit countsChanged(totalUnread_);
    }
    SyncWatches();
  }
}

void LiveFolders::DirectoryChanged(const QString& path) {
  std::string folder = path.toStdString();
  if (folder.empty() || folder.back() != '/') folder += '/';
  dirty_.insert(folder);
  // At most one hand-over per period, however many files a run saves.
  if (!flush_->isActive())
    flush_->start(std::max<int>(20, kLiveFoldersPeriodMs - static_cast<int>(sinceFlush_.elapsed())));
}

void LiveFolders::Flush() {
  sinceFlush_.restart();
  if (dirty_.empty()) return;
  std::vector<std::string> folders(dirty_.begin(), dirty_.end());
  dirty_.clear();
  counter_->Count(folders);
  QStringList list;
  for (const std::string& folder : folders) list << QPath(folder);
  emit foldersChanged(list);
  FollowFolders(std::move(folders));
}

void LiveFolders::Recount(const std::vector<std::string>& folders) { counter_->Count(folders); }

void LiveFolders::RecountNode(const NodePtr& node) {
  if (node) counter_->Count({tree_.FolderPath(node)});
}

int LiveFolders::Unread(const NodePtr& node) const {
  if (!node) return 0;
  auto it = unread_.find(tree_.FolderPath(node));
  int count = it == unread_.end() ? 0 : it->second;
  if (!tree_.Parent(node))
    for (const NodePtr& rubric : tree_.Children(node)) count += Unread(rubric);
  return count;
}

void LiveFolders::Counted(std::vector<FolderCount> counts) {
  std::unordered_map<std::string, NodePtr> nodes;
  for (const NodePtr& node : tree_.InTreeOrder()) nodes.emplace(tree_.FolderPath(node), node);
  std::set<NodePtr> touched;
  for (const FolderCount& count : counts) {
    auto it = nodes.find(count.folder);
    if (it == nodes.end() || !count.exists) continue;
    const NodePtr& node = it->second;
    unread_[count.folder] = count.unread;
    tree_.SetFolderUnreadAttribute(node, count.unread > 0);
    tree_.MarkNodeUnread(node, count.unread > 0);
    touched.insert(node);
    emit folderCounted(node, count);
    if (NodePtr parent = tree_.Parent(node)) touched.insert(parent);
  }
  totalUnread_ = 0;
  for (const auto& [folder, unread] : unread_)
    if (nodes.count(folder)) totalUnread_ += unread;
  for (const NodePtr& node : touched) {
    accounts_->SetUnreadCount(node, Unread(node));
    accounts_->RefreshNode(node);
  }
  emit countsChanged(totalUnread_);
}

}  // namespace skimlet
