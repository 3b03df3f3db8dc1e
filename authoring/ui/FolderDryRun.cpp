#include "authoring/ui/FolderDryRun.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/DownLoad.h"
#include "platform/Text.h"
#include "qt/QtText.h"
#include "store/ChannelFolders.h"

namespace skimlet {

namespace {

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

// The check's run reaches neither the window nor its tree: it only asks for the history and
// the settings. A dry run saves nothing, so the other calls have nothing to do.
class FolderDryRunPane::Host : public QuietRunHost {
 public:
  Host(RunSettings settings, std::function<std::string()> historyText)
      : QuietRunHost(settings), historyText_(std::move(historyText)) {}
  bool IsShownChannel(const NodePtr&) override { return true; }  // its log lines come here
  // The red lines of a folder say what went wrong (a page not fetched, a folder skipped); a
  // page the history holds is in the record already.
  void LogAdded(TDownload&, const std::string& line) override {
    static const std::string red = std::to_string(kRed) + " ";
    // Lines of no folder are the run's own start and end.
    if (!line.starts_with(red) || line.compare(red.size(), 1, ">") == 0 ||
        line.find(W("загружена ранее")) != std::string::npos)
      return;
    std::lock_guard lock(mutex_);
    if (errors_.size() < kMostErrors) errors_.push_back(line.substr(red.size()));
  }
  std::vector<std::string> Errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  std::string HistoryText() override { return historyText_ ? historyText_() : std::string(); }

 private:
  static constexpr std::size_t kMostErrors = 200;
  std::function<std::string()> historyText_;
  std::mutex mutex_;
  std::vector<std::string> errors_;
};

FolderDryRunPane::FolderDryRunPane(QWidget* parent) : QWidget(parent) {
  button_ = new QPushButton(QStringLiteral("Проверить папку"));
  button_->setObjectName("CheckFolder");
  button_->setToolTip(QStringLiteral("Пробная загрузка папки по сохранённым шагам: что сохранилось бы и под какими "
                                     "именами. Ничего не записывается."));
  summary_ = new QLabel;
  summary_->setObjectName("CheckFolderSummary");
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);
  results_ = new QListWidget;
  results_->setObjectName("CheckFolderResults");
  results_->setWordWrap(true);
  results_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  results_->setResizeMode(QListView::Adjust);
  hide();  // until there is something to show
  poll_ = new QTimer(this);
  poll_->setInterval(50);
  connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
  connect(button_, &QPushButton::clicked, this, [this] {
    if (Running()) {
      Stop();
      summary_->setText(QStringLiteral("Проверка остановлена."));
      show();
    } else
      Start();
  });
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  layout->addWidget(summary_);
  layout->addWidget(results_, 1);
}

FolderDryRunPane::~FolderDryRunPane() = default;

void FolderDryRunPane::Start() {
  if (Running() || !context_) return;
  Context c = context_();
  results_->clear();
  show();
  tree_ = std::make_unique<ChannelTree>(c.dataDir);
  tree_->BuildChannelTree(tree_->AccountsDir(), nullptr, false);
  NodePtr folder;
  const std::string wanted = WithoutSlash(c.folderPath);
  for (const NodePtr& n : tree_->InTreeOrder())
    if (!wanted.empty() && WithoutSlash(tree_->FolderPath(n)) == wanted) folder = n;
  if (!folder) {
    summary_->setText(QStringLiteral("Проверять нечего: папка не выбрана или её уже нет."));
    tree_.reset();
    return;
  }
  edited_ = c.macroEdited;
  folder_ = folder;
  host_ = std::make_unique<Host>(c.settings, std::move(c.historyText));
  run_ = std::make_unique<TDownload>(*tree_, *host_);
  run_->SetChannel(ChannelTree::RootChannel(folder));
  run_->SetOnlyFolder(folder);
  run_->SetDryRun(true);
  summary_->setText(QStringLiteral("Идёт пробная загрузка папки «%1»…").arg(Q(tree_->Caption(folder))));
  button_->setText(QStringLiteral("Остановить проверку"));
  run_->Start();
  poll_->start();
}

void FolderDryRunPane::Stop() {
  if (Running()) {
    poll_->stop();
    run_->StopRun();
    run_.reset();  // waits for the thread, which a stop wakes at once
    host_.reset();
    folder_.reset();
    tree_.reset();
    button_->setText(QStringLiteral("Проверить папку"));
  }
  results_->clear();
  hide();
}

void FolderDryRunPane::Poll() {
  // The run has let go of its channel once it has ended.
  if (run_ && run_->Finished() && !run_->ChannelNode()) Finish();
}

void FolderDryRunPane::Finish() {
  poll_->stop();
  run_->Join();
  int wouldSave = 0, inHistory = 0;
  for (const DryRunEntry& e : run_->DryRunRecord()) {
    QString text;
    switch (e.kind) {
      case DryRunEntry::Kind::kWouldSave:
        ++wouldSave;
        text = QStringLiteral("Сохранилась бы «%1» — %2").arg(Q(e.text), Q(e.url));
        break;
      case DryRunEntry::Kind::kInHistory:
        ++inHistory;
        text = QStringLiteral("Есть в истории, пропущена: %1").arg(Q(e.url));
        break;
      case DryRunEntry::Kind::kFolderEnd:
        text = QStringLiteral("Папка кончилась: %1").arg(Q(e.text));
        break;
    }
    // A rubric's check runs the channel's own steps first: their lines name the channel.
    if (e.folder && e.folder != folder_) text = QStringLiteral("«%1»: %2").arg(Q(tree_->Caption(e.folder)), text);
    auto* item = new QListWidgetItem(text);
    item->setToolTip(PlainTip(text));  // names and addresses come from the site
    if (e.kind == DryRunEntry::Kind::kFolderEnd) {
      QFont bold = item->font();
      bold.setBold(true);
      item->setFont(bold);
    }
    results_->addItem(item);
  }
  for (const std::string& line : host_->Errors()) {
    auto* item = new QListWidgetItem(Q(line));
    item->setToolTip(PlainTip(item->text()));
    item->setForeground(QColor(255, 0, 0));
    results_->addItem(item);
  }
  QString summary = QStringLiteral("Пробная загрузка, ничего не записано. Сохранилось бы новостей: %1, пропущено по "
                                   "истории: %2")
                        .arg(wouldSave)
                        .arg(inHistory);
  if (run_->FailedFetches() > 0) summary += QStringLiteral(", не загружено страниц: %1").arg(run_->FailedFetches());
  summary += '.';
  if (edited_) summary += QStringLiteral(" Проверены шаги из файла: правки редактора ещё не сохранены.");
  summary_->setText(summary);
  run_.reset();
  host_.reset();
  folder_.reset();
  tree_.reset();
  button_->setText(QStringLiteral("Проверить папку"));
  emit finished();
}

}  // namespace skimlet
