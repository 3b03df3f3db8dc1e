// The news list "ListNews": the news files of one folder, newest first, with their read and
// favourite marks. The rows mirror the disk; the folder is read off the window thread, and a
// folder asked for later supersedes one still being read.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QTableView>
#include <memory>
#include <string>
#include <vector>

#include "library/NewsListing.h"

class QStyledItemDelegate;

namespace skimlet {

// The five pictures of ImageListNews: 0 and 1 the headers of the two mark columns, 2 read,
// 3 unread, 4 favourite. Drawn here, crisp at any scale.
QIcon NewsListImage(int index);

inline constexpr int kColumnRead = 0, kColumnFavourite = 1, kColumnName = 2, kColumnDate = 3;

class NewsListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role { kUnreadRole = Qt::UserRole + 1, kFavouriteRole, kFileNameRole };

  using QAbstractTableModel::QAbstractTableModel;

  // The rows of a folder (UTF-8 path ending in '/').
  void Reset(std::string folder, std::vector<NewsFileEntry> entries);
  const std::string& Folder() const { return folder_; }
  const NewsFileEntry& Entry(int row) const { return rows_[static_cast<std::size_t>(row)].entry; }
  int FindName(const std::string& name) const;          // -1 when absent
  int FindFileName(const std::string& fileName) const;  // -1 when absent

  void SetUnread(int row, bool unread);
  // The news has a new file name (renamed, made favourite or ordinary).
  void SetFileName(int row, const std::string& fileName);
  void InsertTop(NewsFileEntry entry);
  void RemoveRow(int row);
  // Brings the rows to what the folder now holds (`entries` newest first) without a reset:
  // rows of files that went are removed, rows of files still there keep their place and take
  // their new marks and time, new files come in at their place by time. The selection of the
  // rows that stay is kept.
  // Returns the file names of the rows that stayed and changed.
  std::vector<std::string> Merge(std::vector<NewsFileEntry> entries);

  // The order of the rows: by a column, or (column -1) the described one: newest first, equal
  // times in the listing's order. Rows that stay keep their selection.
  void SortBy(int column, Qt::SortOrder order);
  int SortColumn() const { return sortColumn_; }
  Qt::SortOrder SortOrder() const { return sortOrder_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;

 private:
  struct Row {
    NewsFileEntry entry;
    mutable QString dateText;  // formatted when first shown
    long long seq = 0;         // place in the described order among equal times
  };
  void RowChanged(int row);
  void ApplySort();

  std::string folder_;
  std::vector<Row> rows_;
  long long nextTopSeq_ = -1;  // rows put on top come before every listed one
  int sortColumn_ = -1;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

class NewsList : public QTableView {
  Q_OBJECT

 public:
  explicit NewsList(QWidget* parent = nullptr);
  ~NewsList() override;

  NewsListModel* Model() const { return model_; }

  // Reads the folder (UTF-8 path ending in '/') and shows it; an empty path empties the list.
  void ShowFolder(const std::string& folder);
  // Reads the listed folder again and merges what changed, keeping the selection.
  void Refresh();
  bool Filling() const { return filling_; }
  bool Refreshing() const { return refreshing_; }
  // A news a run has just saved into `folder`: at the top when that folder is listed (a row
  // of the same name goes), and kept across a read of that folder still under way.
  void AddSavedNews(const std::string& folder, const NewsFileEntry& entry);

  std::vector<int> SelectedRows() const;  // in list order
  // A header click: by that column, then the other way, then back to the described order.
  void HeaderClicked(int column);
  // «Только непрочитанные»: read news are hidden, except those selected.
  void SetUnreadOnly(bool on);
  bool UnreadOnly() const { return unreadOnly_; }
  void ApplyFilter();
  // The file behind a row when it exists, else empty.
  std::string NewsFilePath(int row) const;
  void SelectRow(int row);  // the only selected row, scrolled into view

 signals:
  void statusText(const QString& text);
  void filled(bool anyUnread);
  // After Refresh: `changed` names the files of rows that stayed but changed on disk.
  void refreshed(bool anyUnread, const std::vector<std::string>& changed);
  // A mouse press starts (before the selection follows it), and its column once handled
  // (-1 on a border or outside the columns).
  void pressStarted();
  void pressed(int column);
  void readWanted();  // Enter, or a double click in the name column
  void spaceWanted();
  void nextUnreadWanted();
  void contextMenuWanted(const QPoint& globalPos);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int ColumnAt(int x) const;
  void Arrived(std::uint64_t ticket, NewsFolderListing& listing);

  NewsListModel* model_;
  QStyledItemDelegate* delegate_;
  std::unique_ptr<NewsFolderReader> reader_;
  std::uint64_t ticket_ = 0;
  std::string fillFolder_;
  bool filling_ = false;
  bool refreshing_ = false;
  std::vector<NewsFileEntry> savedDuringFill_;
  bool nameColumnClicked_ = false;
  bool unreadOnly_ = false;
};

}  // namespace skimlet
