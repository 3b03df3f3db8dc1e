// The channel tree view "Accounts": a mirror of the core's ChannelTree. Every mark it shows
// (icon, bold, check box) is read from the core node; the view keeps none of its own.
#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <unordered_map>

#include "store/ChannelFolders.h"

namespace skimlet {

class AccountsTree : public QTreeWidget {
  Q_OBJECT

 public:
  // Item data role holding the image slot the item shows (1..6; 0 = none), so the icon model
  // can be checked without looking at pixels.
  static constexpr int kImageSlotRole = Qt::UserRole + 1;
  // The unread news of the node's folder (a channel's with its rubrics), drawn after the
  // caption as «Новости (12)»; the caption itself, which editing changes, stays bare.
  static constexpr int kUnreadCountRole = Qt::UserRole + 2;
  // Drags of news files from the news list: newline-separated UTF-8 paths.
  static constexpr const char* kNewsMimeType = "application/x-skimlet-news";

  explicit AccountsTree(ChannelTree& tree, QWidget* parent = nullptr);

  ChannelTree& Tree() const { return tree_; }

  // Recreates every item from the core's tree order. No node is selected afterwards and no
  // signal is sent: the caller selects.
  void Rebuild();
  // Adds the item of a node the core already holds (e.g. an imported channel) where the core
  // has it among its siblings; returns the existing item when there is one.
  QTreeWidgetItem* AddNodeItem(const NodePtr& node);

  NodePtr SelectedNode() const;
  void SelectNode(const NodePtr& node);
  QTreeWidgetItem* ItemOf(const NodePtr& node) const;
  NodePtr NodeOf(const QTreeWidgetItem* item) const;

  // Text, icon (image index 2/4/6, or its selected look 1/3/5 on the selected item), bold and,
  // in selection mode, the check box, all from the core node.
  void RefreshNode(const NodePtr& node);
  void RefreshAll();
  void SetUnreadCount(const NodePtr& node, int unread);
  // The text drawn for the node: its caption, and its unread count when there are any.
  QString ShownText(const NodePtr& node) const;
  // Moves the "selected" look of the icon to the selected item.
  void RefreshSelectedIcon();

  bool SelectionMode() const { return selectionMode_; }
  // Check boxes are shown exactly while on; every node's check mark is read again.
  void SetSelectionMode(bool on);

  // The click handling: selected icon, news list of the selected node, and in selection mode
  // the check mark written through to the folders.
  void AccountsClick();
  NodePtr ListedNode() const { return listedNode_; }
  void ResetListedNode() { listedNode_.reset(); }

  // Ask for a name and create the folder and its node; null when nothing was added.
  NodePtr CreateAccount();
  NodePtr CreateRub();
  // Asks, then moves the selected folder to the trash; true when its node was removed.
  bool DeleteFolder();
  // Takes a node whose folder is gone out of the tree and its item out of the view; a listed
  // one hands the list to the item that becomes current.
  void DropNode(const NodePtr& node);

 signals:
  // The current node changed; `oldNode` is null when there was none or it was just deleted.
  void changing(skimlet::NodePtr newNode, skimlet::NodePtr oldNode);
  // The news list should show this node's folder.
  void listNode(skimlet::NodePtr node);
  // After the click handling of a context-menu request; the window shows its popup.
  void contextMenuWanted(QPoint globalPos);
  // In-place editing began on a node with this caption.
  void editingStarted(QString oldText);
  // News files were moved into `target`'s folder; `movedPaths` are their former paths.
  void newsMoved(skimlet::NodePtr target, QStringList movedPaths);
  // These folders (UTF-8 paths ending in '/') left the tree with a node and its rubrics.
  void foldersDropped(QStringList folders);

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void commitData(QWidget* editor) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
  void focusInEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QTreeWidgetItem* MakeItem(const NodePtr& node);
  void ApplyCheckOfSelected();
  void OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
  NodePtr CreateFolder(const NodePtr& parent, const QString& title, const QString& prompt);
  bool RenameItem(QTreeWidgetItem* item, const QString& newText);
  void RemoveItem(QTreeWidgetItem* item);
  void ForgetItems(QTreeWidgetItem* item);
  NodePtr DropTarget(const QPoint& pos, const QMimeData* data) const;
  void RefreshIcon(QTreeWidgetItem* item, int imageIndex);

  ChannelTree& tree_;
  QIcon icons_[7];  // image slots 1..6; slot 0 stays empty
  std::unordered_map<const FolderNode*, QTreeWidgetItem*> items_;
  std::unordered_map<const QTreeWidgetItem*, NodePtr> nodes_;
  QTreeWidgetItem* selectedLook_ = nullptr;  // the item now showing a selected-look icon
  QTreeWidgetItem* editing_ = nullptr;
  NodePtr listedNode_;
  bool selectionMode_ = false;
  bool quiet_ = false;  // no `changing` while items are rebuilt
};

}  // namespace skimlet
