#include "authoring/ui/LogPage.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QStringListModel>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Files.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"

namespace skimlet {

namespace {

const QColor kCream(255, 251, 240);
const QColor kSelectedLine(255, 255, 0);
constexpr int kLogRowHeight = 13;

QString NoDataText() { return QStringLiteral("Буфер открыть не удалось. В нем нет данных"); }

}  // namespace

LogLineView SplitLogLine(const QString& line) {
  const qsizetype blank = line.indexOf(QLatin1Char(' '));
  if (blank <= 0) return {line, std::nullopt};
  const QStringView number = QStringView(line).left(blank);
  if (!std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
    return {line, std::nullopt};
  bool ok = false;
  const qulonglong value = number.toULongLong(&ok);
  if (!ok || value > 0xFFFFFFu) return {line, std::nullopt};
  const QColor colour(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
  return {line.mid(blank + 1), colour};
}

std::string DebugBufferText(std::string_view buffer) {
  std::string out;
  out.reserve(buffer.size() + buffer.size() / 16);
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    const auto c = static_cast<unsigned char>(buffer[i]);
    if (i == 0 || c >= 32) {
      out += buffer[i];
    } else if (static_cast<unsigned char>(buffer[i - 1]) >= 32) {
      out += "\r\n";
    }
  }
  return out;
}

// The log as the run wrote it (Windows-1251); converted only for the rows that are drawn.
// It keeps at most the run's number of lines: beyond it the oldest go, and the first row
// says so, as the run's own log does (so the two still start alike).
class LogModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  void SetMaxLines(std::size_t maxLines) { maxLines_ = std::max<std::size_t>(maxLines, 2); }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    return Q(lines_[static_cast<std::size_t>(index.row())]);
  }

  const std::deque<std::string>& Lines() const { return lines_; }
  void Replace(const std::vector<std::string>& lines) {
    beginResetModel();
    const std::size_t skip = lines.size() > maxLines_ ? lines.size() - maxLines_ + 1 : 0;
    lines_.assign(lines.begin() + static_cast<std::ptrdiff_t>(skip), lines.end());
    if (skip > 0) lines_.push_front(LogCutNotice(maxLines_));
    endResetModel();
  }
  void Append(const std::string& line) {
    if (lines_.size() >= maxLines_) DropOldest();
    const int row = rowCount();
    beginInsertRows({}, row, row);
    lines_.push_back(line);
    endInsertRows();
  }
  void Clear() {
    if (lines_.empty()) return;
    beginResetModel();
    lines_.clear();
    endResetModel();
  }

 private:
  // Makes room for at least one line; a twentieth of the log goes at once, so rows are
  // removed now and then rather than with every line.
  void DropOldest() {
    const std::string notice = LogCutNotice(maxLines_);
    if (lines_.front() != notice) {
      lines_.front() = notice;
      emit dataChanged(index(0), index(0));
    }
    const std::size_t drop = std::min(lines_.size() - 1, std::max<std::size_t>(lines_.size() + 1 - maxLines_, maxLines_ / 20));
    if (drop == 0) return;
    beginRemoveRows({}, 1, static_cast<int>(drop));
    lines_.erase(lines_.begin() + 1, lines_.begin() + 1 + static_cast<std::ptrdiff_t>(drop));
    endRemoveRows();
  }

  std::deque<std::string> lines_;
  std::size_t maxLines_ = kMaxRunLogLines;
};

namespace {

// Queue lines are long (local path and source URL): the whole line is the row's tooltip.
class QueueModel : public QStringListModel {
 public:
  using QStringListModel::QStringListModel;
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::ToolTipRole) return PlainTip(QStringListModel::data(index, Qt::DisplayRole).toString());
    return QStringListModel::data(index, role);
  }
};

class LogDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const LogLineView line = SplitLogLine(index.data(Qt::DisplayRole).toString());
    painter->save();
    painter->setClipRect(option.rect);
    painter->fillRect(option.rect, (option.state & QStyle::State_Selected) ? kSelectedLine : kCream);
    painter->setFont(option.font);
    painter->setPen(line.colour.value_or(QColor(Qt::black)));
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      line.text);
    painter->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const QString text = SplitLogLine(index.data(Qt::DisplayRole).toString()).text;
    return {option.fontMetrics.horizontalAdvance(text) + 4, kLogRowHeight};
  }
};

QPushButton* MakeButton(const char* name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  return button;
}

QLineEdit* MakeUrlField(const char* name, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QLatin1String(name));
  field->setReadOnly(true);
  QFont font = field->font();
  font.setBold(true);
  field->setFont(font);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, QApplication::palette().color(QPalette::ToolTipBase));
  palette.setColor(QPalette::Text, QColor(0, 0, 255));
  field->setPalette(palette);
  return field;
}

}  // namespace

LogPage::LogPage(QWidget* parent)
    : QWidget(parent), opener_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
  auto* info = new QLabel(
      QStringLiteral("Эта вкладка используется при разработке сценария загрузки, а также может быть "
                     "показана при выполнении загрузки. После написания всех необходимых макрокоманд для "
                     "рубрик рекомендуется выполнить их в пошаговом режиме, контролируя состояние URL и "
                     "буферов. "),
      this);
  info->setObjectName(QStringLiteral("StaticTextInfo"));
  info->setWordWrap(true);

  auto* openStartURL = MakeButton("OpenStartURL", QStringLiteral("StartURL >>>"), this);
  indexHTMLUrlDebug_ = MakeUrlField("IndexHTMLUrlDebug", this);
  auto* openIndexHTML = MakeButton("OpenIndexHTML", QStringLiteral("Открыть  IndexHTML-буфер"), this);
  auto* openNewsURL = MakeButton("OpenNewsURL", QStringLiteral("NewsURL >>>"), this);
  newsUrlDebug_ = MakeUrlField("NewsUrlDebug", this);
  auto* openNewsHTML = MakeButton("OpenNewsHTML", QStringLiteral("Открыть   HTML-буфер  статьи"), this);

  auto* urls = new QGridLayout;
  urls->addWidget(openStartURL, 0, 0);
  urls->addWidget(indexHTMLUrlDebug_, 0, 1);
  urls->addWidget(openIndexHTML, 0, 2);
  urls->addWidget(openNewsURL, 1, 0);
  urls->addWidget(newsUrlDebug_, 1, 1);
  urls->addWidget(openNewsHTML, 1, 2);
  urls->setColumnStretch(1, 1);

  logModel_ = new LogModel(this);
  listBoxLog_ = new QListView(this);
  listBoxLog_->setObjectName(QStringLiteral("ListBoxLog"));
  listBoxLog_->setModel(logModel_);
  listBoxLog_->setItemDelegate(new LogDelegate(listBoxLog_));
  listBoxLog_->setUniformItemSizes(true);  // thousands of lines: no per-row measuring
  listBoxLog_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listBoxLog_->setSelectionMode(QAbstractItemView::SingleSelection);
  QFont logFont = listBoxLog_->font();
  logFont.setPixelSize(11);  // fits the fixed 13-pixel rows
  listBoxLog_->setFont(logFont);
  QPalette logPalette = listBoxLog_->palette();
  logPalette.setColor(QPalette::Base, kCream);
  listBoxLog_->setPalette(logPalette);

  queueModel_ = new QueueModel({QStringLiteral("Очередь вложений"), QString()}, this);
  attachmentURL_ = new QListView(this);
  attachmentURL_->setObjectName(QStringLiteral("AttachmentURL"));
  attachmentURL_->setModel(queueModel_);
  attachmentURL_->setUniformItemSizes(true);
  attachmentURL_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  attachmentURL_->setSelectionMode(QAbstractItemView::ExtendedSelection);

  // The user sets the share of the queue list; it starts at a third, wide enough for a path.
  auto* lists = new QSplitter(Qt::Horizontal, this);
  lists->setObjectName(QStringLiteral("SplitterLog"));
  lists->addWidget(listBoxLog_);
  lists->addWidget(attachmentURL_);
  lists->setChildrenCollapsible(false);
  lists->setStretchFactor(0, 2);
  lists->setStretchFactor(1, 1);
  lists->setSizes({2000, 1000});
  attachmentURL_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  attachmentURL_->setTextElideMode(Qt::ElideMiddle);

  auto* historyLabel = new QLabel(QStringLiteral("История загрузок"), this);
  historyModel_ = new QStringListModel(this);
  htmlHistory_ = new QComboBox(this);
  htmlHistory_->setObjectName(QStringLiteral("HTMLHistory"));
  htmlHistory_->setModel(historyModel_);
  // Measuring 100,000 entries for the combo's width would stall the window.
  htmlHistory_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  htmlHistory_->setMinimumContentsLength(20);
  if (auto* popup = qobject_cast<QListView*>(htmlHistory_->view())) popup->setUniformItemSizes(true);
  historyLabel->setBuddy(htmlHistory_);
  auto* clearHistory = MakeButton("ClearHTMLHistory", QStringLiteral("Очистить"), this);

  auto* historyRow = new QHBoxLayout;
  historyRow->addWidget(historyLabel);
  historyRow->addWidget(htmlHistory_, 1);
  historyRow->addWidget(clearHistory);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(info);
  layout->addLayout(urls);
  layout->addWidget(lists, 1);
  layout->addLayout(historyRow);

  connect(openStartURL, &QPushButton::clicked, this, [this] { OpenUrlField(indexHTMLUrlDebug_); });
  connect(openNewsURL, &QPushButton::clicked, this, [this] { OpenUrlField(newsUrlDebug_); });
  connect(openIndexHTML, &QPushButton::clicked, this, [this] { OpenBuffer(true); });
  connect(openNewsHTML, &QPushButton::clicked, this, [this] { OpenBuffer(false); });
  connect(clearHistory, &QPushButton::clicked, this, &LogPage::ClearHistoryClicked);
}

LogPage::~LogPage() = default;

void LogPage::ShowRunLog(const std::vector<std::string>& runLog) {
  if (runLog.empty()) return;
  FollowRunLog(runLog.front(), runLog.back(), [&runLog] { return runLog; });
}

void LogPage::FollowRunLog(const std::string& firstLine, const std::string& lastLine,
                           const std::function<std::vector<std::string>()>& wholeLog) {
  const std::deque<std::string>& shown = logModel_->Lines();
  if (shown.empty() || shown.front() != firstLine) logModel_->Replace(wholeLog());
  if (shown.empty() || shown.back() != lastLine) logModel_->Append(lastLine);
  listBoxLog_->scrollToBottom();
}

void LogPage::ClearLog() { logModel_->Clear(); }

void LogPage::SetMaxLogLines(std::size_t maxLines) { logModel_->SetMaxLines(maxLines); }

void LogPage::AddLogLine(const std::string& line) {
  logModel_->Append(line);
  listBoxLog_->scrollToBottom();
}

QStringList LogPage::LogTexts() const {
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(logModel_->Lines().size()));
  for (const std::string& line : logModel_->Lines()) texts << Q(line);
  return texts;
}

void LogPage::SetUrls(const std::string& startURL, const std::string& newsURL) {
  // Called for every log line of a run: touch the fields only when they change.
  for (auto [field, text] : {std::pair{indexHTMLUrlDebug_, Q(startURL)}, std::pair{newsUrlDebug_, Q(newsURL)}}) {
    if (field->text() == text) continue;
    field->setText(text);
    field->setCursorPosition(0);  // the start of a long URL says more than its end
  }
}

void LogPage::SetBufferSource(std::function<std::optional<RunBuffers>()> source) {
  bufferSource_ = std::move(source);
}

void LogPage::SetDataDir(std::string dataDir) { dataDir_ = std::move(dataDir); }

void LogPage::SetOpener(std::function<void(const QUrl&)> opener) { opener_ = std::move(opener); }

void LogPage::SetQueueDisplay(const QueueDisplay& display) {
  QStringList lines;
  lines.reserve(static_cast<qsizetype>(display.lines.size()));
  for (const std::string& line : display.lines) lines << Q(line);
  queueModel_->setStringList(lines);
  QItemSelection running;
  for (int row : display.selected) {
    if (row < 0 || row >= lines.size()) continue;
    const QModelIndex index = queueModel_->index(row);
    running.select(index, index);
  }
  attachmentURL_->selectionModel()->select(running, QItemSelectionModel::ClearAndSelect);
}

void LogPage::SetHistory(DownloadHistory* history) {
  history_ = history;
  HistoryChanged();
}

void LogPage::HistoryChanged() {
  std::deque<std::string> lines = history_ ? history_->Lines() : std::deque<std::string>();
  // Usually lines were added at the end and the oldest dropped: move only those rows.
  std::size_t drop = shownHistory_.size();
  for (std::size_t d = 0; d < shownHistory_.size(); ++d) {
    const std::size_t kept = shownHistory_.size() - d;
    if (kept > lines.size() || shownHistory_[d] != lines.front() || shownHistory_.back() != lines[kept - 1]) continue;
    if (std::equal(shownHistory_.begin() + static_cast<std::ptrdiff_t>(d), shownHistory_.end(), lines.begin())) {
      drop = d;
      break;
    }
  }
  const std::size_t kept = shownHistory_.size() - drop;
  const std::size_t added = lines.size() - kept;
  if (kept > 0 && added < 1000) {
    if (drop > 0) historyModel_->removeRows(0, static_cast<int>(drop));
    if (added > 0) {
      const int first = historyModel_->rowCount();
      historyModel_->insertRows(first, static_cast<int>(added));
      for (std::size_t i = 0; i < added; ++i)
        historyModel_->setData(historyModel_->index(first + static_cast<int>(i)), Q(lines[kept + i]));
    }
  } else {
    QStringList all;
    all.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) all << Q(line);
    historyModel_->setStringList(all);
  }
  shownHistory_ = std::move(lines);
  htmlHistory_->setCurrentIndex(historyModel_->rowCount() - 1);
}

void LogPage::ClearHistoryClicked() {
  // Line breaks as LF: a Qt label does not break at a lone CR.
  const QString warning = QStringLiteral(
      "ВНИМАНИЕ!!! ОЧИСТКА ИСТОРИИ ПРИВЕДЕТ К ПОЛНОЙ ПЕРЕЗАГРУЗКЕ\nВСЕХ НОВОСТЕЙ И ВЛОЖЕНИЙ!!!\n\n"
      "ОЧИЩАТЬ ИСТОРИЮ БЕЗ НЕОБХОДИМОСТИ КРАЙНЕ НЕЖЕЛАТЕЛЬНО!!!\n\nВЫ ДЕЙСТВИТЕЬНО ХОТИТЕ ОЧИСТИТЬ ИСТОРИЮ?");
  if (!AppDialogs().Question(this, QStringLiteral("Предупреждение"), warning, true)) return;
  if (history_) history_->Clear();
  HistoryChanged();
}

void LogPage::OpenBuffer(bool indexBuffer) {
  const std::optional<RunBuffers> buffers = bufferSource_ ? bufferSource_() : std::nullopt;
  if (!buffers) {
    AppDialogs().Message(this, NoDataText());
    return;
  }
  const std::string& buffer = indexBuffer ? buffers->IndexHTML : buffers->HTML;
  if (buffer.size() < 3) {
    AppDialogs().Message(this, indexBuffer ? QStringLiteral("Буфер пуст. В нем нет данных") : NoDataText());
    return;
  }
  const std::string path = JoinPath(dataDir_, "IndexHTML.txt");
  std::string error;
  // A scratch file for the editor: no need to wait for the disk.
  if (!WriteFileAtomic(path, DebugBufferText(buffer), &error, false, false)) {
    AppDialogs().Message(this, QString::fromStdString(error));
    return;
  }
  opener_(QUrl::fromLocalFile(QPath(path)));
}

void LogPage::OpenUrlField(const QLineEdit* field) {
  const QString text = field->text();
  if (!text.contains(QStringLiteral("//"))) {
    AppDialogs().Message(this, QStringLiteral("Неверный URL. Нужен полный путь (http://site...) ") + text);
    return;
  }
  opener_(QUrl(text));
}

}  // namespace skimlet
