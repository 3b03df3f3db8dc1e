#include "library/ui/SearchWindow.h"

#include <algorithm>
#include <QAbstractTableModel>
#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>

#include "platform/Clock.h"
#include "qt/QtText.h"

namespace skimlet {

class SearchHitsModel : public QAbstractTableModel {
 public:
  using QAbstractTableModel::QAbstractTableModel;

  void Clear() {
    beginResetModel();
    hits_.clear();
    endResetModel();
  }
  // Hits take their place as they come: newest first.
  void Append(std::vector<NewsHit>& batch) {
    for (NewsHit& hit : batch) {
      auto at = std::upper_bound(hits_.begin(), hits_.end(), hit.modified,
                                 [](std::int64_t t, const NewsHit& h) { return t > h.modified; });
      int row = static_cast<int>(at - hits_.begin());
      beginInsertRows({}, row, row);
      hits_.insert(at, std::move(hit));
      endInsertRows();
    }
    batch.clear();
  }
  const NewsHit& Hit(int row) const { return hits_[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(hits_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const NewsHit& hit = Hit(index.row());
    QString text;
    switch (index.column()) {
      case 0: text = Q(hit.folder); break;
      case 1: text = Q(hit.name); break;
      default: {
        std::time_t t = static_cast<std::time_t>(hit.modified / 1000000000);
        text = Q(ShortDate(t) + " " + LongTime(t));
      }
    }
    return role == Qt::ToolTipRole ? PlainTip(text) : text;
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {"Папка", "Название", "Дата и время"};
    return QString::fromUtf8(kHeaders[section]);
  }

 private:
  std::vector<NewsHit> hits_;
};

SearchWindow::SearchWindow(std::string accountsDir, QWidget* parent)
    : QWidget(parent, Qt::Window), accountsDir_(std::move(accountsDir)), search_([this] {
        // From the search's thread: the window takes the hits on its own.
        QMetaObject::invokeMethod(this, [this] { Drain(); }, Qt::QueuedConnection);
      }) {
  setObjectName("FindNewsForm");
  setWindowTitle(QStringLiteral("Поиск новостей"));
  resize(640, 420);
  auto* layout = new QVBoxLayout(this);
  auto* where = new QHBoxLayout;
  where->addWidget(new QLabel(QStringLiteral("Искать в:")));
  folder_ = new QLabel;
  folder_->setObjectName("FindFolder");
  folder_->setTextFormat(Qt::PlainText);
  folder_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  where->addWidget(folder_, 1);
  layout->addLayout(where);
  words_ = new QLineEdit;
  words_->setObjectName("FindWords");
  words_->setPlaceholderText(QStringLiteral("Слова, которые есть в названии или тексте новости"));
  words_->setClearButtonEnabled(true);
  layout->addWidget(words_);
  hits_ = new SearchHitsModel(this);
  results_ = new QTableView;
  results_->setObjectName("FindResults");
  results_->setModel(hits_);
  results_->setSelectionBehavior(QAbstractItemView::SelectRows);
  results_->setSelectionMode(QAbstractItemView::SingleSelection);
  results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_->verticalHeader()->hide();
  results_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  results_->verticalHeader()->setDefaultSectionSize(std::max(18, fontMetrics().height() + 4));
  results_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  results_->horizontalHeader()->resizeSection(0, 160);
  results_->horizontalHeader()->resizeSection(2, 140);
  results_->setWordWrap(false);
  layout->addWidget(results_, 1);
  status_ = new QLabel;
  status_->setTextFormat(Qt::PlainText);
  status_->setObjectName("FindStatus");
  layout->addWidget(status_);

  // Typing on restarts the search once the keys pause.
  delay_ = new QTimer(this);
  delay_->setObjectName("FindDelay");
  delay_->setSingleShot(true);
  delay_->setInterval(250);
  connect(delay_, &QTimer::timeout, this, &SearchWindow::Restart);
  connect(words_, &QLineEdit::textChanged, this, [this] {
    search_.Cancel();
    delay_->start();
  });
  connect(words_, &QLineEdit::returnPressed, this, [this] {
    delay_->stop();
    Restart();
  });
  auto open = [this](const QModelIndex& index) {
    if (index.isValid()) emit openNews(QPath(hits_->Hit(index.row()).path));
  };
  connect(results_, &QAbstractItemView::doubleClicked, this, open);
  connect(results_, &QAbstractItemView::activated, this, open);
}

SearchWindow::~SearchWindow() { search_.Cancel(); }

void SearchWindow::StartIn(const std::string& dir) {
  dir_ = dir;
  std::string shown = dir.starts_with(accountsDir_) ? dir.substr(accountsDir_.size()) : dir;
  folder_->setText(shown.empty() ? QStringLiteral("все каналы") : QPath(shown));
  show();
  raise();
  activateWindow();
  words_->setFocus();
  Restart();
}

void SearchWindow::Restart() {
  delay_->stop();
  search_.Cancel();
  hits_->Clear();
  std::vector<std::string> words = SearchWords(Win(words_->text()));
  if (!words.empty() && !dir_.empty()) search_.Start(dir_, accountsDir_, std::move(words));
  ShowStatus();
}

void SearchWindow::Drain() {
  std::vector<NewsHit> batch;
  search_.TakeHits(batch);
  hits_->Append(batch);
  ShowStatus();
}

void SearchWindow::ShowStatus() {
  QString found = QString::number(hits_->rowCount());
  if (search_.Running()) status_->setText(QStringLiteral("Идет поиск... Найдено: ") + found);
  else if (words_->text().trimmed().isEmpty()) status_->setText(QStringLiteral("Введите слова для поиска"));
  else status_->setText(QStringLiteral("Поиск завершен. Найдено: ") + found);
}

int SearchWindow::HitCount() const { return hits_->rowCount(); }

std::string SearchWindow::HitPath(int row) const { return hits_->Hit(row).path; }

}  // namespace skimlet
