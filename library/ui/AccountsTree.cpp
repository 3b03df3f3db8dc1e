#include "library/ui/AccountsTree.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QStyledItemDelegate>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Text.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"

namespace fs = std::filesystem;

namespace skimlet {

namespace {

const char* const kSlotFiles[7] = {
    nullptr,
    ":/icons/tree-folder-selected.png",
    ":/icons/tree-folder.png",
    ":/icons/tree-folder-checked-selected.png",
    ":/icons/tree-folder-checked.png",
    ":/icons/tree-folder-downloading-selected.png",
    ":/icons/tree-folder-downloading.png",
};

QString BadNameMessage() { return QStringLiteral("Ошибка. Неверное имя, или нет доступа."); }

// A name the user typed that can become a folder node and stay one after the next start:
// it must survive the trip to Windows-1251, and neither dot-names nor "Attachment" are ever
// built into nodes.
bool UsableFolderName(const QString& text, std::string& win) {
  win = Win(text);
  if (Q(win) != text || !IsSafeFolderName(win)) return false;
  return win[0] != '.' && win != "Attachment";
}

bool PathTaken(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// Draws the unread count after the caption.
class CountDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (int unread = index.data(AccountsTree::kUnreadCountRole).toInt(); unread > 0)
      option->text += QStringLiteral(" (%1)").arg(unread);
  }
};

}  // namespace

AccountsTree::AccountsTree(ChannelTree& tree, QWidget* parent) : QTreeWidget(parent), tree_(tree) {
  setObjectName(QStringLiteral("Accounts"));
  setColumnCount(1);
  setHeaderHidden(true);
  setIndentation(23);
  setMinimumSize(50, 30);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  // Hot tracking: rows light up under the mouse.
  setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_Hover, true);
  QPalette pal = palette();
  pal.setColor(QPalette::Base, Qt::white);
  pal.setColor(QPalette::Text, Qt::black);
  // The selection stays visible while another widget has the focus.
  for (auto role : {QPalette::Highlight, QPalette::HighlightedText})
    pal.setColor(QPalette::Inactive, role, pal.color(QPalette::Active, role));
  setPalette(pal);
  setDragDropMode(QAbstractItemView::DropOnly);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  for (int slot = 1; slot <= 6; ++slot) icons_[slot] = QIcon(QString::fromLatin1(kSlotFiles[slot]));
  connect(this, &QTreeWidget::currentItemChanged, this, &AccountsTree::OnCurrentItemChanged);
  setItemDelegate(new CountDelegate(this));
}

void AccountsTree::SetUnreadCount(const NodePtr& node, int unread) {
  QTreeWidgetItem* item = ItemOf(node);
  if (item && item->data(0, kUnreadCountRole).toInt() != unread) item->setData(0, kUnreadCountRole, unread);
}

QString AccountsTree::ShownText(const NodePtr& node) const {
  QTreeWidgetItem* item = ItemOf(node);
  if (!item) return {};
  int unread = item->data(0, kUnreadCountRole).toInt();
  return unread > 0 ? item->text(0) + QStringLiteral(" (%1)").arg(unread) : item->text(0);
}

void AccountsTree::Rebuild() {
  quiet_ = true;
  clear();
  items_.clear();
  nodes_.clear();
  selectedLook_ = nullptr;
  editing_ = nullptr;
  for (const NodePtr& node : tree_.InTreeOrder()) MakeItem(node);
  expandAll();  // rubrics are what the user works with: show them
  quiet_ = false;
}

QTreeWidgetItem* AccountsTree::MakeItem(const NodePtr& node) {
  NodePtr parent = tree_.Parent(node);
  QTreeWidgetItem* parentItem = parent ? ItemOf(parent) : nullptr;
  if (parent && !parentItem) return nullptr;
  auto* item = new QTreeWidgetItem;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
  if (selectionMode_) flags |= Qt::ItemIsUserCheckable;
  item->setFlags(flags);
  items_[node.get()] = item;
  nodes_[item] = node;
  // At the core's place: a folder another process made may sort before its siblings.
  std::vector<NodePtr> siblings = tree_.Children(parent);
  int at = static_cast<int>(std::find(siblings.begin(), siblings.end(), node) - siblings.begin());
  if (parentItem)
    parentItem->insertChild(std::min(at, parentItem->childCount()), item);
  else
    insertTopLevelItem(std::min(at, topLevelItemCount()), item);
  RefreshNode(node);
  return item;
}

QTreeWidgetItem* AccountsTree::AddNodeItem(const NodePtr& node) {
  if (!node) return nullptr;
  if (QTreeWidgetItem* existing = ItemOf(node)) return existing;
  QTreeWidgetItem* item = MakeItem(node);
  if (item)
    for (const NodePtr& child : tree_.Children(node)) AddNodeItem(child);
  return item;
}

NodePtr AccountsTree::SelectedNode() const { return NodeOf(currentItem()); }

void AccountsTree::SelectNode(const NodePtr& node) {
  if (QTreeWidgetItem* item = ItemOf(node)) setCurrentItem(item);
}

QTreeWidgetItem* AccountsTree::ItemOf(const NodePtr& node) const {
  auto it = items_.find(node.get());
  return it == items_.end() ? nullptr : it->second;
}

NodePtr AccountsTree::NodeOf(const QTreeWidgetItem* item) const {
  auto it = nodes_.find(item);
  return it == nodes_.end() ? nullptr : it->second;
}

void AccountsTree::RefreshIcon(QTreeWidgetItem* item, int imageIndex) {
  int slot = imageIndex;
  if (item == selectedLook_ && slot > 0) --slot;
  if (slot < 0 || slot > 6) slot = 0;
  if (item->data(0, kImageSlotRole).isValid() && item->data(0, kImageSlotRole).toInt() == slot) return;
  item->setData(0, kImageSlotRole, slot);
  item->setIcon(0, icons_[slot]);
}

void AccountsTree::RefreshNode(const NodePtr& node) {
  QTreeWidgetItem* item = ItemOf(node);
  if (!item) return;
  NodeState s = tree_.State(node);
  QString text = Q(s.text);
  if (item->text(0) != text) item->setText(0, text);
  RefreshIcon(item, s.imageIndex);
  QFont font = item->font(0);
  if (font.bold() != s.bold) {
    font.setBold(s.bold);
    item->setFont(0, font);
  }
  if (selectionMode_) item->setCheckState(0, s.checked ? Qt::Checked : Qt::Unchecked);
}

void AccountsTree::RefreshAll() {
  for (const auto& [item, node] : nodes_) RefreshNode(node);
}

// Icons only: the click handling reads the check box the user just set, so it must not be
// reset from the core here.
void AccountsTree::RefreshSelectedIcon() {
  QTreeWidgetItem* current = currentItem();
  if (selectedLook_ != current) {
    QTreeWidgetItem* old = selectedLook_;
    selectedLook_ = current;
    if (old) RefreshIcon(old, tree_.ImageIndex(NodeOf(old)));
  }
  if (current) RefreshIcon(current, tree_.ImageIndex(NodeOf(current)));
}

void AccountsTree::SetSelectionMode(bool on) {
  selectionMode_ = on;
  setUpdatesEnabled(false);
  for (const auto& [node, item] : items_) {
    item->setFlags(on ? item->flags() | Qt::ItemIsUserCheckable : item->flags() & ~Qt::ItemIsUserCheckable);
    // No check-state data at all means no box is drawn.
    if (!on) item->setData(0, Qt::CheckStateRole, QVariant());
  }
  for (const NodePtr& node : tree_.InTreeOrder()) tree_.ReadFolderCheck(node);
  RefreshAll();
  setUpdatesEnabled(true);
}

void AccountsTree::AccountsClick() {
  RefreshSelectedIcon();
  NodePtr node = SelectedNode();
  if (node != listedNode_) {
    listedNode_ = node;
    emit listNode(node);
  }
  if (selectionMode_) ApplyCheckOfSelected();
}

void AccountsTree::ApplyCheckOfSelected() {
  QTreeWidgetItem* item = currentItem();
  NodePtr node = NodeOf(item);
  if (!node) return;
  bool checked = item->checkState(0) == Qt::Checked;
  setUpdatesEnabled(false);
  tree_.WriteFolderCheck(node, checked);
  if (checked) {
    if (NodePtr parent = tree_.Parent(node)) tree_.WriteFolderCheck(parent, true);
  } else {
    int level = tree_.Level(node);
    for (NodePtr n = tree_.NextInTreeOrder(node); n && tree_.Level(n) > level; n = tree_.NextInTreeOrder(n))
      tree_.WriteFolderCheck(n, false);
  }
  RefreshAll();
  setUpdatesEnabled(true);
}

void AccountsTree::OnCurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
  if (quiet_) return;
  RefreshSelectedIcon();
  emit changing(NodeOf(current), NodeOf(previous));
}

void AccountsTree::focusInEvent(QFocusEvent* event) {
  // Qt makes the first item current when the view gets the focus without one; here a node
  // becomes current only when the user picks it, or F9 would download a channel nobody chose.
  const bool hadCurrent = currentIndex().isValid();
  QTreeWidget::focusInEvent(event);
  if (!hadCurrent && currentIndex().isValid()) {
    quiet_ = true;
    selectionModel()->clearCurrentIndex();
    quiet_ = false;
  }
}

void AccountsTree::keyPressEvent(QKeyEvent* event) {
  AccountsClick();
  QTreeWidget::keyPressEvent(event);
  // Space toggles the current box; write it through as a click on the box would.
  if (selectionMode_) {
    QTreeWidgetItem* item = currentItem();
    if (NodePtr node = NodeOf(item); node && (item->checkState(0) == Qt::Checked) != tree_.IsChecked(node))
      ApplyCheckOfSelected();
  }
}

void AccountsTree::mousePressEvent(QMouseEvent* event) {
  // A press on a check box does not select by itself; the click handling works on the
  // selected node, so the box's node becomes selected first.
  QTreeWidgetItem* item = itemAt(event->position().toPoint());
  if (selectionMode_ && item && event->button() == Qt::LeftButton && item != currentItem()) setCurrentItem(item);
  QTreeWidget::mousePressEvent(event);
  RefreshSelectedIcon();
}

void AccountsTree::mouseReleaseEvent(QMouseEvent* event) {
  // The base toggles a clicked box first, so the click handling reads the new state.
  QTreeWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) AccountsClick();
}

void AccountsTree::contextMenuEvent(QContextMenuEvent* event) {
  AccountsClick();
  event->accept();
  emit contextMenuWanted(event->globalPos());
}

// --- Create, rename, delete ---

NodePtr AccountsTree::CreateFolder(const NodePtr& parent, const QString& title, const QString& prompt) {
  QString name;
  if (!AppDialogs().InputText(this, title, prompt, name)) return nullptr;
  std::string win;
  if (!UsableFolderName(name, win)) {
    AppDialogs().Message(this, BadNameMessage());
    return nullptr;
  }
  std::string disk = DiskName(win);
  std::string path = (parent ? tree_.FolderPath(parent) : tree_.AccountsDir()) + disk + "/";
  // The folder may already have its node: show that one rather than a twin.
  for (const NodePtr& sibling : tree_.Children(parent)) {
    if (tree_.FolderPath(sibling) == path) {
      SelectNode(sibling);
      return sibling;
    }
  }
  NodePtr node = MakeDirs(path) ? tree_.AddFolderNode(disk, parent, true) : nullptr;
  QTreeWidgetItem* item = node ? AddNodeItem(node) : nullptr;
  if (!item) {
    AppDialogs().Message(this, BadNameMessage());
    return nullptr;
  }
  if (QTreeWidgetItem* parentItem = item->parent()) parentItem->setExpanded(true);
  return node;
}

NodePtr AccountsTree::CreateAccount() {
  return CreateFolder(nullptr, QStringLiteral("Создание нового сайта"),
                      QStringLiteral("Введите имя сайта. Учтите, это же имя будет именем папки в окне Проводника."));
}

NodePtr AccountsTree::CreateRub() {
  NodePtr selected = SelectedNode();
  if (!selected) return nullptr;
  // Always under the channel, even when a rubric is selected.
  return CreateFolder(ChannelTree::RootChannel(selected), QStringLiteral("Создание рубрики сайта"),
                      QStringLiteral("Введите имя рубрики сайта. Учтите, это же имя будет именем папки в окне "
                                     "Проводника."));
}

bool AccountsTree::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  QTreeWidgetItem* item = itemFromIndex(index);
  QString before = item ? item->text(0) : QString();
  bool result = QTreeWidget::edit(index, trigger, event);
  // The base also answers true for box toggles and delayed starts; only an open editor counts.
  if (result && item && !editing_ && state() == QAbstractItemView::EditingState) {
    editing_ = item;
    emit editingStarted(before);
  }
  return result;
}

void AccountsTree::commitData(QWidget* editor) {
  // The text is never written into the item directly: only a done rename changes it.
  if (auto* line = qobject_cast<QLineEdit*>(editor); line && editing_) RenameItem(editing_, line->text());
}

void AccountsTree::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  editing_ = nullptr;
  QTreeWidget::closeEditor(editor, hint);
}

bool AccountsTree::RenameItem(QTreeWidgetItem* item, const QString& newText) {
  NodePtr node = NodeOf(item);
  if (!node || newText == Q(tree_.Caption(node))) return false;
  std::string win;
  if (!UsableFolderName(newText, win)) return false;
  std::string oldPath = tree_.FolderPath(node);
  oldPath.pop_back();
  fs::path from(oldPath);
  fs::path to = from.parent_path() / DiskName(win);
  // rename(2) would replace an empty directory; a taken name is refused instead.
  if (PathTaken(to)) return false;
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) return false;
  tree_.RenameNode(node, DiskName(win));
  RefreshNode(node);
  return true;
}

bool AccountsTree::DeleteFolder() {
  NodePtr node = SelectedNode();
  if (!node) return false;
  QString text = QStringLiteral("Удалить папку \"") + Q(tree_.Caption(node)) +
                 QStringLiteral("\" со всеми новостями в Корзину?");
  if (!AppDialogs().Question(this, QStringLiteral("Skimlet"), text, true)) return false;
  std::string path = tree_.FolderPath(node);
  path.pop_back();
  QFile::moveToTrash(QPath(path));
  // The view follows the disk, whatever the trash call reported.
  bool removed = !PathTaken(path);
  if (removed)
    DropNode(node);
  else
    AppDialogs().Message(this, QStringLiteral("Не удалось переместить папку в Корзину: ") + QPath(path));
  RefreshSelectedIcon();
  return removed;
}

void AccountsTree::DropNode(const NodePtr& node) {
  if (!node) return;
  bool wasListed = listedNode_ && (listedNode_ == node || ChannelTree::RootChannel(listedNode_) == node);
  QStringList folders{QString::fromStdString(tree_.FolderPath(node))};
  for (const NodePtr& rubric : tree_.Children(node)) folders << QString::fromStdString(tree_.FolderPath(rubric));
  tree_.RemoveNode(node);
  RemoveItem(ItemOf(node));
  emit foldersDropped(folders);
  if (wasListed) {
    listedNode_ = SelectedNode();
    emit listNode(listedNode_);
  }
  RefreshSelectedIcon();
}

void AccountsTree::ForgetItems(QTreeWidgetItem* item) {
  for (int i = 0; i < item->childCount(); ++i) ForgetItems(item->child(i));
  if (auto it = nodes_.find(item); it != nodes_.end()) {
    items_.erase(it->second.get());
    nodes_.erase(it);
  }
  if (selectedLook_ == item) selectedLook_ = nullptr;
  if (editing_ == item) editing_ = nullptr;
}

void AccountsTree::RemoveItem(QTreeWidgetItem* item) {
  if (!item) return;
  // Forgotten first, so the change of the current item reports no old node.
  ForgetItems(item);
  delete item;
}

// --- Drag target: news files from the news list ---

NodePtr AccountsTree::DropTarget(const QPoint& pos, const QMimeData* data) const {
  if (!data || !data->hasFormat(QString::fromLatin1(kNewsMimeType))) return nullptr;
  return NodeOf(itemAt(pos));
}

void AccountsTree::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() && event->mimeData()->hasFormat(QString::fromLatin1(kNewsMimeType)))
    event->acceptProposedAction();
  else
    event->ignore();
}

void AccountsTree::dragMoveEvent(QDragMoveEvent* event) {
  if (DropTarget(event->position().toPoint(), event->mimeData())) {
    event->setDropAction(Qt::MoveAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void AccountsTree::dropEvent(QDropEvent* event) {
  NodePtr target = DropTarget(event->position().toPoint(), event->mimeData());
  if (!target) {
    event->ignore();
    return;
  }
  const std::string folder = tree_.FolderPath(target);
  QStringList moved;
  const QString list = QString::fromUtf8(event->mimeData()->data(QString::fromLatin1(kNewsMimeType)));
  for (QString line : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    fs::path from(line.toStdString());
    std::string name = from.filename().string();
    // Only news files; a name already in the target (the same folder included) stays put.
    if (!IsNewsFileName(name) || !FileExists(from.string()) || PathTaken(folder + name)) continue;
    std::error_code ec;
    fs::rename(from, folder + name, ec);
    if (!ec) moved << line;
  }
  event->setDropAction(Qt::MoveAction);
  event->accept();
  if (!moved.isEmpty()) emit newsMoved(target, moved);
}

}  // namespace skimlet
