#include "library/ui/NewsList.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <cmath>
#include <unordered_map>

#include "library/ui/AccountsTree.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "qt/QtText.h"

namespace skimlet {

namespace {

const QColor kNavy(0, 0, 128), kRed(255, 0, 0), kAqua(0, 255, 255);

QPainterPath Star() {
  QPainterPath path;
  for (int i = 0; i < 10; ++i) {
    double r = i % 2 == 0 ? 7.2 : 3.0;
    double a = -M_PI / 2 + i * M_PI / 5;
    QPointF p(8 + r * std::cos(a), 8.6 + r * std::sin(a));
    if (i == 0) path.moveTo(p);
    else path.lineTo(p);
  }
  path.closeSubpath();
  return path;
}

QPen RoundPen(const QColor& colour, double width) {
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// One picture on a 16 x 16 grid.
void PaintImage(QPainter& p, int index) {
  const QColor grey(110, 110, 110);
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:  // the read column's header: an envelope outline
      p.setPen(QPen(grey, 1.2));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1, 1);
      p.drawPolyline(QPolygonF({QPointF(1.8, 4), QPointF(8, 8.8), QPointF(14.2, 4)}));
      break;
    case 1:  // the favourite column's header: a star outline
      p.setPen(RoundPen(grey, 1.2));
      p.setBrush(Qt::NoBrush);
      p.drawPath(Star());
      break;
    case 2:  // read: an opened envelope, quiet
      p.setPen(RoundPen(QColor(140, 140, 140), 1));
      p.setBrush(QColor(236, 236, 236));
      p.drawPolygon(QPolygonF({QPointF(1.5, 7), QPointF(8, 1.5), QPointF(14.5, 7)}));
      p.setBrush(QColor(250, 250, 250));
      p.drawRect(QRectF(1.5, 7, 13, 7.5));
      p.drawPolyline(QPolygonF({QPointF(1.5, 7), QPointF(8, 11.5), QPointF(14.5, 7)}));
      break;
    case 3:  // unread: a closed envelope, blue
      p.setPen(RoundPen(QColor(20, 60, 150), 1));
      p.setBrush(QColor(52, 120, 220));
      p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9.5), 1, 1);
      p.setPen(RoundPen(Qt::white, 1.2));
      p.drawPolyline(QPolygonF({QPointF(2.8, 4.8), QPointF(8, 9), QPointF(13.2, 4.8)}));
      break;
    case 4:  // favourite: a gold star
      p.setPen(RoundPen(QColor(170, 100, 0), 1));
      p.setBrush(QColor(250, 190, 20));
      p.drawPath(Star());
      break;
  }
}

class NewsDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    // The selection stays navy whether or not the list has the focus.
    bool selected = option.state & QStyle::State_Selected;
    bool unread = index.data(NewsListModel::kUnreadRole).toBool();
    bool favourite = index.data(NewsListModel::kFavouriteRole).toBool();
    const QRect r = option.rect;
    p->save();
    p->fillRect(r, selected ? kNavy : option.palette.color(QPalette::Base));
    auto icon = [&](int image) {
      NewsListImage(image).paint(p, QRect(r.left() + r.width() / 2 - 8, r.top() + (r.height() - 16) / 2, 16, 16));
    };
    switch (index.column()) {
      case kColumnRead:
        icon(unread ? 3 : 2);
        break;
      case kColumnFavourite:
        if (favourite) icon(4);
        break;
      default: {
        QFont font = option.font;
        font.setBold(unread || favourite);
        p->setFont(font);
        p->setPen(favourite ? (selected ? kAqua : kRed) : (selected ? QColor(Qt::white) : QColor(Qt::black)));
        QRect text(r.left() + 2, r.top(), r.width() - 2 - 5, r.height());
        p->setClipRect(text);
        p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                    index.data(Qt::DisplayRole).toString());
      }
    }
    p->restore();
  }
};

}  // namespace

QIcon NewsListImage(int index) {
  static QIcon images[5];
  if (index < 0 || index > 4) return {};
  if (images[index].isNull()) {
    for (int scale : {1, 2}) {
      QPixmap pixmap(16 * scale, 16 * scale);
      pixmap.setDevicePixelRatio(scale);
      pixmap.fill(Qt::transparent);
      QPainter p(&pixmap);
      PaintImage(p, index);
      p.end();
      images[index].addPixmap(pixmap);
    }
  }
  return images[index];
}

// --- The model ---

void NewsListModel::Reset(std::string folder, std::vector<NewsFileEntry> entries) {
  beginResetModel();
  folder_ = std::move(folder);
  rows_.clear();
  rows_.reserve(entries.size());
  long long seq = 0;
  for (NewsFileEntry& e : entries) rows_.push_back({std::move(e), {}, seq++});
  nextTopSeq_ = -1;
  endResetModel();
  if (sortColumn_ >= 0) ApplySort();
}

void NewsListModel::SortBy(int column, Qt::SortOrder order) {
  sortColumn_ = column >= kColumnRead && column <= kColumnDate ? column : -1;
  sortOrder_ = order;
  ApplySort();
}

void NewsListModel::ApplySort() {
  std::vector<std::size_t> order(rows_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<QString> names;
  if (sortColumn_ == kColumnName) {
    names.reserve(rows_.size());
    for (const Row& r : rows_) names.push_back(Q(r.entry.name));
  }
  const bool reverse = sortOrder_ == Qt::DescendingOrder;
  auto described = [&](std::size_t a, std::size_t b) {
    const Row &x = rows_[a], &y = rows_[b];
    if (x.entry.modified != y.entry.modified) return x.entry.modified > y.entry.modified;
    return x.seq < y.seq;
  };
  // First click: names A to Z, newest first, unread first, favourites first.
  auto key = [&](std::size_t a, std::size_t b) -> int {
    const NewsFileEntry &x = rows_[a].entry, &y = rows_[b].entry;
    switch (sortColumn_) {
      case kColumnName: return QString::localeAwareCompare(names[a], names[b]);
      case kColumnDate: return x.modified == y.modified ? 0 : x.modified > y.modified ? -1 : 1;
      case kColumnRead: return x.unread == y.unread ? 0 : x.unread ? -1 : 1;
      case kColumnFavourite: return x.favourite == y.favourite ? 0 : x.favourite ? -1 : 1;
    }
    return 0;
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int k = sortColumn_ < 0 ? 0 : key(a, b);
    if (k != 0) return reverse ? k > 0 : k < 0;
    return described(a, b);
  });
  bool same = true;
  for (std::size_t i = 0; i < order.size() && same; ++i) same = order[i] == i;
  if (same) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRowOf(order.size());
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    newRowOf[order[i]] = static_cast<int>(i);
    sorted.push_back(std::move(rows_[order[i]]));
  }
  rows_ = std::move(sorted);
  QModelIndexList from = persistentIndexList(), to;
  for (const QModelIndex& i : from) to << index(newRowOf[static_cast<std::size_t>(i.row())], i.column());
  changePersistentIndexList(from, to);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int NewsListModel::FindName(const std::string& name) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].entry.name == name) return static_cast<int>(i);
  return -1;
}

int NewsListModel::FindFileName(const std::string& fileName) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].entry.fileName == fileName) return static_cast<int>(i);
  return -1;
}

void NewsListModel::RowChanged(int row) { emit dataChanged(index(row, 0), index(row, kColumnDate)); }

void NewsListModel::SetUnread(int row, bool unread) {
  rows_[static_cast<std::size_t>(row)].entry.unread = unread;
  RowChanged(row);
}

void NewsListModel::SetFileName(int row, const std::string& fileName) {
  NewsFileEntry& e = rows_[static_cast<std::size_t>(row)].entry;
  e.fileName = fileName;
  e.name = NewsNameOf(fileName);
  e.favourite = IsFavouriteFileName(fileName);
  RowChanged(row);
}

void NewsListModel::InsertTop(NewsFileEntry entry) {
  beginInsertRows({}, 0, 0);
  rows_.insert(rows_.begin(), Row{std::move(entry), {}, nextTopSeq_--});
  endInsertRows();
}

void NewsListModel::RemoveRow(int row) {
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

std::vector<std::string> NewsListModel::Merge(std::vector<NewsFileEntry> entries) {
  std::vector<std::string> changed;
  std::unordered_map<std::string, std::size_t> now;
  now.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) now.emplace(entries[i].fileName, i);
  // Gone: removed from the bottom up, runs of neighbours at once.
  for (int row = static_cast<int>(rows_.size()) - 1; row >= 0;) {
    if (now.count(rows_[static_cast<std::size_t>(row)].entry.fileName)) {
      --row;
      continue;
    }
    int first = row;
    while (first > 0 && !now.count(rows_[static_cast<std::size_t>(first - 1)].entry.fileName)) --first;
    beginRemoveRows({}, first, row);
    rows_.erase(rows_.begin() + first, rows_.begin() + row + 1);
    endRemoveRows();
    row = first - 1;
  }
  // Kept: new marks and time in place.
  std::vector<bool> listed(entries.size(), false);
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    std::size_t i = now.at(rows_[row].entry.fileName);
    listed[i] = true;
    NewsFileEntry& e = rows_[row].entry;
    const NewsFileEntry& n = entries[i];
    if (e.unread == n.unread && e.modified == n.modified && e.favourite == n.favourite) continue;
    e = n;
    changed.push_back(e.fileName);
    rows_[row].dateText.clear();
    RowChanged(static_cast<int>(row));
  }
  // New: each run of them goes in before the first older row.
  std::vector<NewsFileEntry> fresh;
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (!listed[i]) fresh.push_back(std::move(entries[i]));
  std::size_t row = 0, k = 0;
  while (k < fresh.size()) {
    while (row < rows_.size() && rows_[row].entry.modified >= fresh[k].modified) ++row;
    std::size_t end = k + 1;
    while (end < fresh.size() && (row == rows_.size() || fresh[end].modified > rows_[row].entry.modified)) ++end;
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row + (end - k) - 1));
    std::vector<Row> run;
    run.reserve(end - k);
    for (std::size_t j = k; j < end; ++j) run.push_back(Row{std::move(fresh[j]), {}, nextTopSeq_--});
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(row), std::make_move_iterator(run.begin()),
                 std::make_move_iterator(run.end()));
    endInsertRows();
    row += end - k;
    k = end;
  }
  if (sortColumn_ >= 0) ApplySort();
  return changed;
}

int NewsListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int NewsListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant NewsListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  const NewsFileEntry& e = row.entry;
  switch (role) {
    case kUnreadRole: return e.unread;
    case kFavouriteRole: return e.favourite;
    case kFileNameRole: return QPath(e.fileName);
    case Qt::ToolTipRole:
      return index.column() == kColumnName ? QVariant(PlainTip(Q(e.name))) : QVariant();
    case Qt::DisplayRole:
      switch (index.column()) {
        case kColumnRead: return e.unread ? QStringLiteral("Статья не прочтена") : QString();
        case kColumnFavourite: return e.favourite ? QStringLiteral("OK") : QString();
        case kColumnName: return Q(e.name);
        case kColumnDate:
          if (row.dateText.isEmpty()) {
            std::time_t t = static_cast<std::time_t>(e.modified / 1000000000);
            row.dateText = Q(ShortDate(t) + " " + LongTime(t));
          }
          return row.dateText;
      }
  }
  return {};
}

QVariant NewsListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DecorationRole && section <= kColumnFavourite) return NewsListImage(section);
  if (role == Qt::DisplayRole) {
    if (section == kColumnName) return QStringLiteral("Название (имя файла)");
    if (section == kColumnDate) return QStringLiteral("Дата и время");
  }
  return {};
}

Qt::ItemFlags NewsListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList NewsListModel::mimeTypes() const { return {QString::fromLatin1(AccountsTree::kNewsMimeType)}; }

QMimeData* NewsListModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& i : indexes) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QByteArray paths;
  for (int row : rows) {
    std::string path = folder_ + rows_[static_cast<std::size_t>(row)].entry.fileName;
    if (FileExists(path)) paths += QByteArray::fromStdString(path) + '\n';
  }
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(AccountsTree::kNewsMimeType), paths);
  return data;
}

// --- The view ---

NewsList::NewsList(QWidget* parent) : QTableView(parent) {
  setObjectName(QStringLiteral("ListNews"));
  model_ = new NewsListModel(this);
  setModel(model_);
  delegate_ = new NewsDelegate(this);
  setItemDelegate(delegate_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setTabKeyNavigation(false);
  verticalHeader()->hide();
  // Fixed row heights keep a folder of thousands of news as quick as one of ten.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));
  QHeaderView* header = horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  connect(header, &QHeaderView::sectionClicked, this, &NewsList::HeaderClicked);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(20);
  header->setSectionResizeMode(kColumnRead, QHeaderView::Fixed);
  header->setSectionResizeMode(kColumnFavourite, QHeaderView::Fixed);
  header->setSectionResizeMode(kColumnName, QHeaderView::Stretch);
  header->setSectionResizeMode(kColumnDate, QHeaderView::Interactive);
  header->resizeSection(kColumnRead, 30);
  header->resizeSection(kColumnFavourite, 30);
  header->resizeSection(kColumnDate, 130);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { emit contextMenuWanted(viewport()->mapToGlobal(pos)); });
  // News can be dragged onto a folder of the channel tree.
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setDefaultDropAction(Qt::MoveAction);

  auto filter = [this] {
    if (unreadOnly_) ApplyFilter();
  };
  connect(model_, &QAbstractItemModel::modelReset, this, filter);
  connect(model_, &QAbstractItemModel::rowsInserted, this, filter);
  connect(model_, &QAbstractItemModel::layoutChanged, this, filter);
  connect(model_, &QAbstractItemModel::dataChanged, this, filter);

  reader_ = std::make_unique<NewsFolderReader>([this](std::uint64_t ticket, NewsFolderListing listing) {
    auto shared = std::make_shared<NewsFolderListing>(std::move(listing));
    QMetaObject::invokeMethod(this, [this, ticket, shared] { Arrived(ticket, *shared); }, Qt::QueuedConnection);
  });
}

NewsList::~NewsList() {
  reader_.reset();  // joins: nothing is posted to this list any more
}

void NewsList::ShowFolder(const std::string& folder) {
  savedDuringFill_.clear();
  refreshing_ = false;
  model_->Reset(folder, {});
  fillFolder_ = folder;
  filling_ = !folder.empty();
  ticket_ = 0;
  if (!filling_) return;
  emit statusText(QStringLiteral("Обновление папки. Идет просмотр папки..."));
  ticket_ = reader_->Read(folder);
}

void NewsList::Refresh() {
  if (model_->Folder().empty() || filling_) return;
  refreshing_ = true;
  ticket_ = reader_->Read(model_->Folder());
}

void NewsList::Arrived(std::uint64_t ticket, NewsFolderListing& listing) {
  if (ticket != ticket_) return;  // another folder was asked for meanwhile
  if (refreshing_) {
    refreshing_ = false;
    if (!listing.complete) return;
    std::vector<std::string> changed = model_->Merge(std::move(listing.entries));
    emit statusText(QStringLiteral("Найдено файлов:") + QString::number(model_->rowCount()));
    emit refreshed(listing.anyUnread, changed);
    return;
  }
  filling_ = false;
  bool anyUnread = listing.anyUnread;
  std::size_t count = listing.entries.size();
  model_->Reset(fillFolder_, std::move(listing.entries));
  // News saved while the folder was being read may have come too late for the read.
  for (const NewsFileEntry& saved : savedDuringFill_) {
    if (model_->FindFileName(saved.fileName) >= 0 || !FileExists(fillFolder_ + saved.fileName)) continue;
    model_->InsertTop(saved);
    anyUnread = anyUnread || saved.unread;
    ++count;
  }
  savedDuringFill_.clear();
  emit statusText(QStringLiteral("Найдено файлов:") + QString::number(count));
  emit filled(anyUnread);
}

void NewsList::AddSavedNews(const std::string& folder, const NewsFileEntry& entry) {
  if (folder.empty() || folder != model_->Folder()) return;
  for (int row; (row = model_->FindName(entry.name)) >= 0;) model_->RemoveRow(row);
  model_->InsertTop(entry);
  if (filling_) savedDuringFill_.push_back(entry);
  // A read under way may have missed this news: the next one cannot.
  if (refreshing_) ticket_ = reader_->Read(folder);
}

void NewsList::HeaderClicked(int column) {
  // Each column's first order is the one a reader wants first; the third click goes back.
  const Qt::SortOrder first = Qt::AscendingOrder, second = Qt::DescendingOrder;
  int sortColumn = column;
  Qt::SortOrder order = first;
  if (model_->SortColumn() == column) {
    if (model_->SortOrder() == first) order = second;
    else sortColumn = -1;
  }
  model_->SortBy(sortColumn, order);
  horizontalHeader()->setSortIndicatorShown(sortColumn >= 0);
  // Ascending here means "the first order": the arrow follows the columns' sense.
  if (sortColumn >= 0) horizontalHeader()->setSortIndicator(sortColumn, order);
  if (!SelectedRows().empty()) scrollTo(model_->index(SelectedRows().front(), kColumnName));
  ApplyFilter();
}

void NewsList::SetUnreadOnly(bool on) {
  unreadOnly_ = on;
  ApplyFilter();
}

void NewsList::ApplyFilter() {
  std::vector<int> selected = SelectedRows();
  for (int row = 0; row < model_->rowCount(); ++row) {
    bool hide = unreadOnly_ && !model_->Entry(row).unread &&
                !std::binary_search(selected.begin(), selected.end(), row);
    if (isRowHidden(row) != hide) setRowHidden(row, hide);
  }
}

std::vector<int> NewsList::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& i : selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::string NewsList::NewsFilePath(int row) const {
  if (row < 0 || row >= model_->rowCount()) return {};
  const NewsFileEntry& e = model_->Entry(row);
  if (!HasNewsExtension(e.fileName)) return {};
  std::string path = model_->Folder() + e.fileName;
  return FileExists(path) ? path : std::string();
}

void NewsList::SelectRow(int row) {
  QModelIndex index = model_->index(row, kColumnName);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index, QAbstractItemView::EnsureVisible);
}

int NewsList::ColumnAt(int viewportX) const {
  // Borders belong to no column.
  int x = viewportX + horizontalOffset();
  int edge = 0;
  for (int column = 0; column < 4; ++column) {
    int next = edge + columnWidth(column);
    if (x > edge - (column == 0 ? 1 : 0) && x < next) return column;
    edge = next;
  }
  return -1;
}

void NewsList::mousePressEvent(QMouseEvent* event) {
  emit pressStarted();
  int column = ColumnAt(event->position().toPoint().x());
  nameColumnClicked_ = column == kColumnName;
  QTableView::mousePressEvent(event);
  emit pressed(column);
}

void NewsList::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  if (nameColumnClicked_) emit readWanted();
}

void NewsList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit readWanted();
    event->accept();
    return;
  }
  const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  const int rows = model_->rowCount();
  if (plain && rows > 0 && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
    // The first or last row on show (the filter may hide some).
    const bool home = event->key() == Qt::Key_Home;
    for (int i = 0; i < rows; ++i) {
      int row = home ? i : rows - 1 - i;
      if (isRowHidden(row)) continue;
      SelectRow(row);
      break;
    }
    event->accept();
    return;
  }
  if (plain && (event->key() == Qt::Key_Space || event->key() == Qt::Key_N)) {
    // N is not a search by first letter here: it reads on.
    if (event->key() == Qt::Key_N) emit nextUnreadWanted();
    else emit spaceWanted();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

}  // namespace skimlet
