#include "authoring/ui/MacroPreview.h"

#include <QAbstractListModel>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include "authoring/ui/LogPage.h"
#include "qt/QtText.h"

namespace skimlet {

namespace {

constexpr int kDebounceMs = 150;
constexpr std::size_t kChangeContext = 50;  // bytes shown around a changed place
constexpr std::size_t kChangeShown = 300;   // a longer change is shown by its two ends
constexpr std::size_t kWholeText = 2000;    // a shorter text is shown whole

const QColor kPositive(0, 110, 0);
const QColor kNegative(128, 0, 0);

// Windows-1251 text as HTML: escaped, line breaks kept, other control characters as blanks.
QString Html(std::string_view win1251) {
  std::string text(win1251);
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 && c != '\n' && c != '\r') c = ' ';
  QString q = Q(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  q.replace(QChar('\r'), QChar('\n'));
  return q.toHtmlEscaped();
}

QString Marked(std::string_view text, const char* colour) {
  return QStringLiteral("<span style=\"background-color:%1\">%2</span>").arg(QLatin1String(colour), Html(text));
}

// A stretch of a changed text: its two ends when it is long.
std::string Shortened(std::string_view text) {
  if (text.size() <= kChangeShown) return std::string(text);
  return std::string(text.substr(0, kChangeShown / 2)) + W(" … ") +
         std::string(text.substr(text.size() - kChangeShown / 2));
}

// One side of a changed place with some text around it.
QString ChangeSide(std::string_view text, std::size_t start, std::size_t length, const char* colour) {
  const std::size_t from = start > kChangeContext ? start - kChangeContext : 0;
  const std::size_t to = std::min(text.size(), start + length + kChangeContext);
  return (from > 0 ? QStringLiteral("…") : QString()) + Html(text.substr(from, start - from)) +
         Marked(Shortened(text.substr(start, length)), colour) +
         Html(text.substr(start + length, to - start - length)) + (to < text.size() ? QStringLiteral("…") : QString());
}

// A whole short text with every change of one side marked.
QString WholeSide(std::string_view text, const std::vector<TextChange>& changes, bool before, const char* colour) {
  QString html;
  std::size_t at = 0;
  for (const TextChange& c : changes) {
    const std::size_t start = before ? c.beforeStart : c.afterStart;
    const std::size_t length = before ? c.beforeLength : c.afterLength;
    html += Html(text.substr(at, start - at)) + Marked(text.substr(start, length), colour);
    at = start + length;
  }
  return html + Html(text.substr(at));
}

QString EditHtml(const StepPreview& p) {
  const QString pre = QStringLiteral("<pre style=\"white-space: pre-wrap; margin: 0\">");
  if (p.before.size() <= kWholeText && p.after.size() <= kWholeText) {
    return QStringLiteral("<p><b>Было:</b></p>") + pre + WholeSide(p.before, p.changes, true, "#ffc8c8") +
           QStringLiteral("</pre><p><b>Стало:</b></p>") + pre + WholeSide(p.after, p.changes, false, "#c8f0c8") +
           QStringLiteral("</pre>");
  }
  QString html;
  int n = 0;
  for (const TextChange& c : p.changes) {
    html += QStringLiteral("<p><b>Место %1</b> (байт %2):</p>").arg(++n).arg(c.beforeStart + 1) + pre +
            QStringLiteral("было:  ") + ChangeSide(p.before, c.beforeStart, c.beforeLength, "#ffc8c8") +
            QStringLiteral("\nстало: ") + ChangeSide(p.after, c.afterStart, c.afterLength, "#c8f0c8") +
            QStringLiteral("</pre>");
  }
  return html;
}

QString LogHtml(const std::vector<std::string>& log) {
  if (log.empty()) return {};
  QString html = QStringLiteral("<p><b>В журнале загрузки:</b></p>");
  for (const std::string& line : log) {
    const LogLineView view = SplitLogLine(Q(line));
    html += QStringLiteral("<div style=\"color:%1\">%2</div>")
                .arg(view.colour.value_or(QColor(Qt::black)).name(), view.text.toHtmlEscaped());
  }
  return html;
}

}  // namespace

// FindUrlNews's links: those the history holds grey, the next news bold. The links are the
// shown preview's own, not a copy.
class PreviewLinkModel : public QAbstractListModel {
 public:
  PreviewLinkModel(const std::vector<PreviewLink>& links, QObject* parent)
      : QAbstractListModel(parent), links_(links) {}

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(links_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const PreviewLink& l = links_[static_cast<std::size_t>(index.row())];
    switch (role) {
      case Qt::DisplayRole:
        return (l.next ? QStringLiteral("▶ ") : QStringLiteral("    ")) + Q(l.link) +
               (l.url != l.link ? QStringLiteral("   →   ") + Q(l.url) : QString());
      case Qt::ForegroundRole:
        return l.loadedBefore ? QColor(Qt::gray) : l.next ? kPositive : QColor(Qt::black);
      case Qt::FontRole: {
        if (!l.next) return {};
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      case Qt::ToolTipRole:
        return l.loadedBefore ? QStringLiteral("Уже загружена: GetNews её пропустит")
               : l.next       ? QStringLiteral("Следующая новость, которую загрузит макрос")
                              : QString();
      default:
        return {};
    }
  }
  // The links change only inside `change`.
  void Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
  }

 private:
  const std::vector<PreviewLink>& links_;
};

MacroPreviewPane::MacroPreviewPane(ChannelTree& tree, QWidget* parent) : QWidget(parent), tree_(tree) {
  setObjectName("MacroPreview");
  auto* title = new QLabel(QStringLiteral("Что сделает шаг (по страницам последней загрузки канала)"));
  title->setObjectName("LabelPreview");
  title->setStyleSheet(QStringLiteral("font-weight: bold;"));
  fetchButton_ = new QPushButton(QStringLiteral("Загрузить страницу"));
  fetchButton_->setObjectName("PreviewFetch");
  fetchButton_->setToolTip(QStringLiteral("Загрузить из Сети страницу, с которой работает этот шаг, "
                                          "и показать на ней, что он сделает"));
  connect(fetchButton_, &QPushButton::clicked, this, [this] { FetchPage(); });
  summary_ = new QLabel;
  summary_->setTextFormat(Qt::PlainText);  // page text, names and markers as written
  summary_->setObjectName("PreviewSummary");
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  source_ = new QLabel;
  source_->setTextFormat(Qt::PlainText);
  source_->setObjectName("PreviewSource");
  source_->setWordWrap(true);
  source_->setStyleSheet(QStringLiteral("color: gray;"));
  source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  text_ = new QTextBrowser;
  text_->setObjectName("PreviewText");
  text_->setOpenLinks(false);
  linkModel_ = new PreviewLinkModel(shown_.links, this);
  links_ = new QListView;
  links_->setObjectName("PreviewLinks");
  links_->setModel(linkModel_);
  links_->setUniformItemSizes(true);
  links_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  stack_ = new QStackedWidget;
  stack_->addWidget(text_);
  stack_->addWidget(links_);

  auto* head = new QHBoxLayout;
  head->setContentsMargins(0, 0, 0, 0);
  head->addWidget(title, 1);
  head->addWidget(fetchButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(2);
  layout->addLayout(head);
  layout->addWidget(summary_);
  layout->addWidget(source_);
  layout->addWidget(stack_, 1);

  timer_ = new QTimer(this);
  timer_->setObjectName("TimerPreview");
  timer_->setSingleShot(true);
  timer_->setInterval(kDebounceMs);
  connect(timer_, &QTimer::timeout, this, [this] { UpdateNow(); });
}

MacroPreviewPane::~MacroPreviewPane() {
  if (fetch_) fetch_->Stop();
  if (fetchThread_.joinable()) fetchThread_.join();
}

void MacroPreviewPane::SetContextSource(std::function<Context()> source) { context_ = std::move(source); }

void MacroPreviewPane::SetStep(const MacroTable* table, int step) {
  if (step != step_) fetchNote_.clear();
  table_ = table;
  step_ = step;
  Schedule();
}

void MacroPreviewPane::Schedule() { timer_->start(); }

FetchedPages MacroPreviewPane::Pages(const Context& c) {
  NodePtr channel = ChannelTree::RootChannel(c.folder);
  if (channel != ownChannel_) {
    own_ = FetchedPages{};
    ownChannel_ = channel;
  }
  // A page the run has fetched since wins over one fetched with the button.
  if (c.runPages.index != seenRunIndex_) {
    seenRunIndex_ = c.runPages.index;
    if (seenRunIndex_) own_.index.reset();
  }
  if (c.runPages.news != seenRunNews_) {
    seenRunNews_ = c.runPages.news;
    if (seenRunNews_) own_.news.reset();
  }
  FetchedPages pages = c.runPages;
  if (own_.index) {
    pages.index = own_.index;
    pages.indexURL = own_.indexURL;
  }
  if (own_.news) {
    pages.news = own_.news;
    pages.newsURL = own_.newsURL;
  }
  return pages;
}

const HistorySnapshot* MacroPreviewPane::History(const Context& c) {
  if (!c.history) return nullptr;
  const std::size_t count = c.history->Count();
  std::string last = c.history->LastLine();
  if (!historyBuilt_ || count != historyCount_ || last != historyLast_) {
    history_ = HistorySnapshot(c.history->SnapshotText());
    ++historyVersion_;
    historyCount_ = count;
    historyLast_ = std::move(last);
    historyBuilt_ = true;
  }
  return &history_;
}

PreviewInput MacroPreviewPane::Input(const Context& c) {
  PreviewInput in;
  in.table = table_;
  in.step = step_;
  in.pages = Pages(c);
  in.history = History(c);
  in.checkHistory = !c.settings.notCheckHistory;
  in.folder = c.folder;
  in.cache = &cache_;
  in.historyVersion = historyVersion_;
  return in;
}

void MacroPreviewPane::UpdateNow() {
  timer_->stop();
  StepPreview next = PreviewStep(tree_, Input(context_ ? context_() : Context{}));
  linkModel_->Reset([&] { shown_ = std::move(next); });
  Show(shown_);
}

void MacroPreviewPane::CheckRunPages() {
  if (!context_ || fetch_) return;
  const Context c = context_();
  if (c.runPages.index != seenRunIndex_ || c.runPages.news != seenRunNews_) Schedule();
}

void MacroPreviewPane::Show(const StepPreview& p) {
  summary_->setText(Q(p.summary));
  const bool judged = p.kind != StepPreview::Kind::kNote && p.kind != StepPreview::Kind::kNone;
  summary_->setStyleSheet(judged ? QStringLiteral("color: %1;").arg((p.positive ? kPositive : kNegative).name())
                                 : QString());
  QString source = Q(p.source);
  if (!fetchNote_.empty()) source += (source.isEmpty() ? QString() : QStringLiteral("\n")) + Q(fetchNote_);
  source_->setText(source);
  source_->setVisible(!source.isEmpty());
  fetchButton_->setEnabled(!fetch_ && table_ && step_ >= 0 && step_ < table_->count);

  if (p.kind == StepPreview::Kind::kLinks) {
    stack_->setCurrentWidget(links_);
    return;
  }
  QString html;
  switch (p.kind) {
    case StepPreview::Kind::kFind:
      if (p.match) {
        const std::string_view e = p.excerpt;
        html = QStringLiteral("<pre style=\"white-space: pre-wrap; margin: 0\">") + Html(e.substr(0, p.match->start)) +
               QStringLiteral("<span style=\"background-color:#ffff00; font-weight:bold\">") +
               Html(e.substr(p.match->start, p.match->length)) + QStringLiteral("</span>") +
               Html(e.substr(p.match->start + p.match->length)) + QStringLiteral("</pre>");
      }
      break;
    case StepPreview::Kind::kEdit:
      html = EditHtml(p);
      break;
    case StepPreview::Kind::kName:
      html = QStringLiteral("<p>Текст между метками: <b>%1</b></p>").arg(Html(p.title));
      if (!p.name.empty())
        html += QStringLiteral("<p>Имя новости: <b>%1</b><br>Файл: %2</p>").arg(Html(p.name), Html(p.name + ".html"));
      break;
    default:
      break;
  }
  text_->setHtml(html + LogHtml(p.log));
  stack_->setCurrentWidget(text_);
}

void MacroPreviewPane::FetchPage() {
  if (fetch_ || !context_) return;
  const Context c = context_();
  PreviewInput in = Input(c);
  in.channelStartURL = c.channelStartURL ? c.channelStartURL() : std::string();
  const PreviewPageRequest request = PageForStep(tree_, in);
  if (request.url.empty()) {
    fetchNote_ = W("Адрес страницы для этого шага неизвестен: нет ни шага GetStart с адресом, ни ссылки на новость.");
    UpdateNow();
    return;
  }
  fetch_ = std::make_unique<PreviewFetch>(tree_.DataDir(), c.settings);
  fetchNote_ = W("Загружается ") + request.url + "...";
  fetchButton_->setEnabled(false);
  source_->setText(Q(fetchNote_));
  source_->show();
  PreviewFetch* fetch = fetch_.get();
  fetchThread_ = std::thread([this, fetch, request] {
    PreviewFetch::Result result = fetch->Fetch(request.url, request.indexPage);
    QMetaObject::invokeMethod(
        this, [this, request, result = std::move(result)]() mutable { FetchDone(request, std::move(result)); },
        Qt::QueuedConnection);
  });
}

void MacroPreviewPane::FetchDone(const PreviewPageRequest& request, PreviewFetch::Result result) {
  if (fetchThread_.joinable()) fetchThread_.join();
  fetch_.reset();
  if (result.ok) {
    auto page = std::make_shared<const std::string>(std::move(result.page));
    if (request.indexPage) {
      own_.index = std::move(page);
      own_.indexURL = request.url;
    } else {
      own_.news = std::move(page);
      own_.newsURL = request.url;
    }
    fetchNote_ = W("Страница загружена для просмотра: ") + request.url;
  } else {
    fetchNote_ = result.error;
  }
  UpdateNow();
}

}  // namespace skimlet
