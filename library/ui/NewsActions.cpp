#include "library/ui/NewsActions.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <QToolBar>
#include <QToolButton>

#include "library/NewsListing.h"
#include "library/UnreadCounts.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/LiveFolders.h"
#include "library/ui/NewsList.h"
#include "library/ui/NewsViewer.h"
#include "library/ui/SearchWindow.h"
#include "platform/Files.h"
#include "qt/Desktop.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "store/History.h"
#include "store/NewsMarks.h"
#include "store/Settings.h"

namespace skimlet {

namespace {

// The actions EnableNewsActions switches.
const char* const kNewsActions[] = {"MarkAsFavorites", "MarkAsNotRead", "ViewMSIE",          "ViewWWW",
                                    "DeleteNews",      "DownloadPictures", "ReadFullScreen", "DeleteURLFromHistory"};

// The news actions whose keys work only at the list or the page; the rest work anywhere.
const std::string_view kListOnly[] = {"MarkAsNotRead",  "MarkAsFavorites", "ReadFullScreen", "SelectAllNewsInTekNode",
                                      "RenameNews",     "DeleteNews",      "DeleteURLFromHistory", "ViewMSIE",
                                      "ViewWWW",        "NextUnreadNews"};

std::string FileNameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

NewsActions::NewsActions(NewsContext context) : QObject(context.window), c_(std::move(context)) {
  CreateActions();
  CreateMenus();
  editRenameNews_ = new QLineEdit(c_.list->viewport());
  editRenameNews_->setObjectName("EditRenameNews");
  editRenameNews_->setFrame(false);
  editRenameNews_->setStyleSheet("QLineEdit { background: aqua; color: black; border: none; }");
  editRenameNews_->hide();
  editRenameNews_->installEventFilter(this);
  timerNewOff_ = new QTimer(this);
  timerNewOff_->setObjectName("TimerNewOff");
  connect(timerNewOff_, &QTimer::timeout, this, &NewsActions::TimerNewOffFired);
  live_ = new LiveFolders(*c_.tree, c_.accounts, this);
  connect(live_, &LiveFolders::foldersChanged, this, &NewsActions::FoldersChanged);
  Connect();
}

NewsActions::~NewsActions() {
  delete search_;
  // Bulk marks still under way end first: they touch no widget, but report to this object.
  for (QThread* worker : findChildren<QThread*>()) {
    worker->disconnect(this);
    worker->wait();
  }
}

QAction* NewsActions::Own(const char* name) const { return c_.window->findChild<QAction*>(name); }

void NewsActions::CreateActions() {
  struct ActionDef {
    const char* name;
    const char* caption;
    const char* hint;
    const char* category;
    QKeySequence key;
    void (NewsActions::*run)();
  };
  const QString sameHint = QStringLiteral("Поиск новостей|Поиск новостей стандартными средствами Windows");
  const ActionDef defs[] = {
      {"MarkAsNotRead", "Непрочитанное",
       "Пометить как непрочтенное|Пометить как непрочтенное (файл новости получает атрибу ТОЛЬКО ЧТЕНИЕ)",
       "Рубрикатор", QKeySequence(Qt::CTRL | Qt::Key_R), nullptr},
      {"MarkAsFavorites", "Избранное",
       "Пометить как Избранное|Пометить как Избранное (расширение изменяется с .html на .htm", "Рубрикатор",
       QKeySequence(Qt::CTRL | Qt::Key_F), &NewsActions::MarkAsFavoritesExecute},
      {"ReadFullScreen", "Читать ", "Читать на полный экран", "Просмотр", QKeySequence(Qt::Key_F11),
       &NewsActions::ReadFullScreen},
      // Ctrl+R belongs to MarkAsNotRead: two actions on one key would both go dead.
      {"UpdaleListNews", "Обновить список новостей",
       "Обновить список новостей|Заново читает список новостей с диска (из текущей папки - рубрики)", "Просмотр",
       QKeySequence(Qt::Key_F5), nullptr},
      {"SelectAllNewsInTekNode", "Выделить все", "Выделить все", "Правка", QKeySequence(Qt::CTRL | Qt::Key_A),
       nullptr},
      {"RenameNews", "Переименовать новость", "Переименовать новость", "Правка", QKeySequence(Qt::Key_F2),
       &NewsActions::RenameNews},
      {"DeleteNews", "Удалить новость", "Удалить новость(и)|Удаление выделенных новостей в корзину Windows", "Правка",
       QKeySequence(Qt::CTRL | Qt::Key_Delete), &NewsActions::DeleteNews},
      {"DeleteURLFromHistory", "Удалить URL из истории",
       "Удалить URL из истории|Команда выполняется если необходимо разрешить повторную загрузку URL", "Правка",
       QKeySequence(Qt::CTRL | Qt::Key_H), &NewsActions::DeleteURLFromHistory},
      {"ViewMSIE", "Открыть в браузере",
       "Открыть в браузере|Открыть новость во внешнем браузере (использует браузер по умолчанию)", "Просмотр",
       QKeySequence(Qt::CTRL | Qt::Key_I), &NewsActions::ViewMSIE},
      {"ViewWWW", "Открыть в Интернете", "Открыть страницу в Интернете", "Просмотр",
       QKeySequence(Qt::CTRL | Qt::Key_W), &NewsActions::ViewWWW},
      {"ViewExplorer", "Найти в Проводнике", "Найти в Проводнике|Открыть папку содержащую выделенную новость",
       "Просмотр", QKeySequence(Qt::CTRL | Qt::Key_E), &NewsActions::ViewExplorer},
      {"ViewRecycle", "Открыть корзину", "Открыть корзину|Открыть корзину Windows", "Просмотр",
       QKeySequence(Qt::ALT | Qt::Key_Backspace), nullptr},
      {"NextUnreadNews", "Следующая непрочитанная",
       "Следующая непрочитанная|Следующая непрочитанная новость папки, затем следующих папок канала", "Просмотр",
       QKeySequence(Qt::Key_N), &NewsActions::NextUnreadNews},
      {"MarkFolderRead", "Отметить папку прочитанной", "Отметить папку прочитанной|Все новости папки становятся прочитанными",
       "Рубрикатор", QKeySequence(), nullptr},
      {"MarkChannelRead", "Отметить канал прочитанным",
       "Отметить канал прочитанным|Все новости канала и его рубрик становятся прочитанными", "Рубрикатор",
       QKeySequence(), nullptr},
      {"UnreadOnly", "Только непрочитанные", "Только непрочитанные|Прочитанные новости в списке не показываются",
       "Просмотр", QKeySequence(), nullptr},
      {"FindNewsAll", "Поиск по всем каналам", nullptr, "Файл", QKeySequence(Qt::Key_F3), nullptr},
      {"FindNewsChannel", "Поиск по текущему каналу", nullptr, "Файл", QKeySequence(Qt::SHIFT | Qt::Key_F3),
       nullptr},
      {"FindNewsInFolder", "Поиск в текущей рубрике", nullptr, "Файл", QKeySequence(Qt::CTRL | Qt::Key_F3), nullptr},
  };
  for (const ActionDef& s : defs) {
    QAction* a = c_.newAction(s.name, QString::fromUtf8(s.caption), s.hint ? QString::fromUtf8(s.hint) : sameHint,
                              QString::fromUtf8(s.category));
    a->setShortcut(s.key);
    if (std::find(std::begin(kListOnly), std::end(kListOnly), std::string_view(s.name)) != std::end(kListOnly)) {
      // They act on the selected news: only while the user is at the list or the page.
      a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
      c_.list->addAction(a);
      c_.viewer->addAction(a);
    } else {
      c_.window->addAction(a);  // shortcuts work wherever the focus is in the window
    }
    if (s.run) connect(a, &QAction::triggered, this, s.run);
  }
  Own("MarkAsNotRead")->setCheckable(true);
  Own("MarkAsFavorites")->setCheckable(true);
  Own("MarkAsNotRead")->setIcon(NewsListImage(3));
  Own("MarkAsFavorites")->setIcon(NewsListImage(4));
  connect(Own("MarkAsNotRead"), &QAction::triggered, this, [this] { MarkAsNotReadExecute(false); });
  connect(Own("UpdaleListNews"), &QAction::triggered, this, [this] {
    // The folder on show is read again in place, so the selection stays.
    NodePtr node = c_.accounts->SelectedNode();
    if (node && node == listedNode_ && !c_.list->Filling()) c_.list->Refresh();
    else ListFolder(node);
  });
  connect(Own("SelectAllNewsInTekNode"), &QAction::triggered, c_.list, &QAbstractItemView::selectAll);
  Own("UnreadOnly")->setCheckable(true);
  connect(Own("UnreadOnly"), &QAction::toggled, c_.list, &NewsList::SetUnreadOnly);
  connect(Own("MarkFolderRead"), &QAction::triggered, this, [this] { MarkFolderRead(false); });
  connect(Own("MarkChannelRead"), &QAction::triggered, this, [this] { MarkFolderRead(true); });
  connect(Own("ViewRecycle"), &QAction::triggered, this, [] { AppDesktop().ShowTrash(); });
  connect(Own("FindNewsAll"), &QAction::triggered, this, [this] { Find(c_.tree->AccountsDir()); });
  connect(Own("FindNewsChannel"), &QAction::triggered, this, [this] {
    NodePtr channel = ChannelTree::RootChannel(c_.accounts->SelectedNode());
    Find(channel ? c_.tree->FolderPath(channel) : c_.tree->AccountsDir());
  });
  connect(Own("FindNewsInFolder"), &QAction::triggered, this, [this] {
    NodePtr node = c_.accounts->SelectedNode();
    Find(node ? c_.tree->FolderPath(node) : c_.tree->AccountsDir());
  });
  const struct {
    const char* action;
    const char* theme;
    QStyle::StandardPixmap fallback;
  } icons[] = {
      {"ReadFullScreen", "view-fullscreen", QStyle::SP_TitleBarMaxButton},
      {"UpdaleListNews", "view-refresh", QStyle::SP_BrowserReload},
      {"DeleteNews", "edit-delete", QStyle::SP_TrashIcon},
      {"DeleteURLFromHistory", "edit-clear-history", QStyle::SP_DialogResetButton},
      {"ViewMSIE", "text-html", QStyle::SP_FileIcon},
      {"ViewWWW", "applications-internet", QStyle::SP_DriveNetIcon},
      {"ViewExplorer", "system-file-manager", QStyle::SP_DirOpenIcon},
      {"ViewRecycle", "user-trash", QStyle::SP_TrashIcon},
      {"FindNewsAll", "edit-find", QStyle::SP_FileDialogContentsView},
  };
  for (const auto& i : icons)
    Own(i.action)->setIcon(QIcon::fromTheme(i.theme, QApplication::style()->standardIcon(i.fallback)));
  Own("MarkAsNotRead")->setEnabled(false);
  Own("MarkAsFavorites")->setEnabled(false);
}

void NewsActions::CreateMenus() {
  popupFind_ = new QMenu(QStringLiteral("Поиск"), c_.window);
  popupFind_->setObjectName("PopupFind");
  for (const char* name : {"FindNewsAll", "FindNewsChannel", "FindNewsInFolder"}) popupFind_->addAction(Own(name));

  popupMenuListNews_ = new QMenu(c_.window);
  popupMenuListNews_->setObjectName("PopupMenuListNews");
  QMenu* m = popupMenuListNews_;
  m->addAction(Own("MarkAsNotRead"));
  m->addAction(Own("MarkAsFavorites"));
  m->addAction(Own("RenameNews"));
  m->addSeparator();
  m->addMenu(popupFind_);
  m->addSeparator();
  for (const char* name : {"ViewMSIE", "ViewExplorer", "ViewWWW"}) m->addAction(Own(name));
  m->addSeparator();
  m->addAction(c_.action("DownloadPictures"));
  m->addSeparator();
  m->addAction(Own("UpdaleListNews"));
  m->addAction(Own("NextUnreadNews"));
  m->addAction(Own("MarkFolderRead"));
  m->addAction(Own("MarkChannelRead"));
  m->addAction(Own("UnreadOnly"));
  m->addSeparator();
  m->addAction(Own("DeleteNews"));
  m->addAction(Own("DeleteURLFromHistory"));
}

void NewsActions::FillToolBar(QToolBar* bar) {
  auto add = [&](std::initializer_list<const char*> names) {
    bar->addSeparator();
    for (const char* name : names) bar->addAction(Own(name) ? Own(name) : c_.action(name));
  };
  add({"MarkAsNotRead", "MarkAsFavorites"});
  add({"DowlnloadAbortAll", "DownLoadStop", "DownloadPause", "DownloadOneStep", "Download"});
  add({"FlagDownloadPictures", "DownloadPictures"});
  add({"FindNewsAll", "ViewExplorer", "ViewRecycle"});
  if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(Own("FindNewsAll")))) {
    button->setMenu(popupFind_);
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }
  add({"ViewMSIE", "ReadFullScreen", "ViewWWW"});
  add({"DeleteNews", "DeleteURLFromHistory"});
}

void NewsActions::AddMenus(QMenuBar* bar) {
  QMenu* edit = bar->addMenu(QStringLiteral("Правка"));
  edit->setObjectName("MenuEdit");
  edit->addAction(Own("RenameNews"));
  edit->addAction(Own("SelectAllNewsInTekNode"));
  edit->addSeparator();
  edit->addMenu(popupFind_);
  edit->addSeparator();
  edit->addAction(Own("DeleteNews"));
  edit->addAction(Own("DeleteURLFromHistory"));
  QMenu* view = bar->addMenu(QStringLiteral("Просмотр"));
  view->setObjectName("MenuView");
  view->addAction(Own("UpdaleListNews"));
  view->addAction(Own("NextUnreadNews"));
  view->addAction(Own("UnreadOnly"));
  view->addSeparator();
  for (const char* name : {"ReadFullScreen", "ViewMSIE", "ViewWWW"}) view->addAction(Own(name));
  view->addSeparator();
  view->addAction(Own("ViewExplorer"));
  view->addAction(Own("ViewRecycle"));
}

void NewsActions::Connect() {
  NewsList* list = c_.list;
  connect(c_.accounts, &AccountsTree::listNode, this, [this](const NodePtr& node) { ListFolder(node); });
  connect(c_.accounts, &AccountsTree::changing, this, [this] { EnableNewsActions(false); });
  connect(c_.accounts, &AccountsTree::newsMoved, this, [this](const NodePtr& target) { NewsMoved(target); });
  connect(list, &NewsList::filled, this, &NewsActions::Filled);
  connect(list, &NewsList::refreshed, this, &NewsActions::Refreshed);
  connect(list, &NewsList::statusText, this, [this](const QString& text) { c_.statusText(text); });
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &NewsActions::OnListChange);
  connect(list, &NewsList::pressStarted, this, [this] { newsJustShown_ = false; });
  connect(list, &NewsList::pressed, this, &NewsActions::Pressed);
  connect(list, &NewsList::readWanted, this, &NewsActions::ReadFullScreen);
  connect(list, &NewsList::spaceWanted, this, &NewsActions::SpaceWanted);
  connect(list, &NewsList::nextUnreadWanted, this, &NewsActions::NextUnreadNews);
  connect(c_.viewer, &NewsViewer::spaceAtEnd, this, &NewsActions::NextUnreadNews);
  connect(list, &NewsList::contextMenuWanted, this, [this](const QPoint& at) { popupMenuListNews_->popup(at); });
  c_.viewer->SetButtonActions(Own("ReadFullScreen"), c_.action("DownloadPictures"));
  connect(c_.viewer, &NewsViewer::urlLabelClicked, this,
          [this] { OpenWebAddress(Win(c_.viewer->LabelText("LabelURL"))); });
  connect(c_.viewer, &NewsViewer::nameLabelClicked, this, [this] {
    if (FileExists(shownNewsPath_)) AppDesktop().OpenUrl(QUrl::fromLocalFile(QPath(shownNewsPath_)));
  });
  connect(c_.viewer, &NewsViewer::folderLabelClicked, this, &NewsActions::ViewExplorer);
}

void NewsActions::EnableNewsActions(bool on) {
  for (const char* name : kNewsActions)
    if (QAction* a = Own(name) ? Own(name) : c_.action(name)) a->setEnabled(on);
}

std::vector<std::string> NewsActions::SelectedNewsPaths() const {
  std::vector<std::string> paths;
  for (int row : c_.list->SelectedRows())
    if (std::string path = c_.list->NewsFilePath(row); !path.empty()) paths.push_back(path);
  return paths;
}

// --- Listing ---

// The list shows the folder of the node last listed; the news actions work on that folder
// even while the tree's selection has moved on without a click.
void NewsActions::ListFolder(const NodePtr& node) {
  listedNode_ = node;
  c_.list->ShowFolder(node ? c_.tree->FolderPath(node) : std::string());
}

void NewsActions::Filled(bool anyUnread) {
  if (listedNode_) {
    c_.tree->SetFolderUnreadAttribute(listedNode_, anyUnread);
    c_.tree->MarkNodeUnread(listedNode_, anyUnread);
    RefreshMarks(listedNode_);
  }
  NewsListModel* model = c_.list->Model();
  if (firstUnreadPending_) {
    firstUnreadPending_ = false;
    for (int row = 0; row < model->rowCount(); ++row)
      if (model->Entry(row).unread) {
        c_.list->SelectRow(row);
        return;
      }
  }
  if (!pendingOnceName_.empty()) {
    int row = model->FindName(pendingOnceName_);
    pendingOnceName_.clear();
    if (row >= 0) {
      c_.list->SelectRow(row);
      return;
    }
  }
  if (pendingNewsName_.empty()) return;
  int row = c_.list->Model()->FindName(pendingNewsName_);
  if (row < 0) return;
  shownNewsPath_.clear();  // shown afresh
  c_.list->SelectRow(row);
  newsJustShown_ = true;
  if (readerVisible_ && readerVisible_()) ReadFullScreen();
}

void NewsActions::FoldersChanged(const QStringList& folders) {
  if (listedNode_ && folders.contains(QPath(c_.tree->FolderPath(listedNode_)))) c_.list->Refresh();
}

// The listed folder changed on disk. A shown news that another process changed is shown
// anew and, when unread, counted down again; one that went leaves the page.
void NewsActions::Refreshed(bool anyUnread, const std::vector<std::string>& changed) {
  if (listedNode_) {
    c_.tree->SetFolderUnreadAttribute(listedNode_, anyUnread);
    c_.tree->MarkNodeUnread(listedNode_, anyUnread);
    RefreshMarks(listedNode_);
  }
  if (shownNewsPath_.empty()) return;
  if (!FileExists(shownNewsPath_)) {
    timerNewOff_->stop();
    shownNewsPath_.clear();
    c_.viewer->ShowNothing();
    if (c_.list->SelectedRows().empty()) EnableNewsActions(false);
    return;
  }
  const std::string fileName = FileNameOf(shownNewsPath_);
  if (std::find(changed.begin(), changed.end(), fileName) == changed.end()) return;
  NewsListModel* model = c_.list->Model();
  int row = model->FindFileName(fileName);
  if (row < 0) return;
  if (model->Entry(row).modified != shownModified_) {
    shownModified_ = model->Entry(row).modified;
    ReloadShownNews();
  }
  std::vector<int> rows = c_.list->SelectedRows();
  if (rows.size() != 1 || rows.front() != row) return;
  Own("MarkAsNotRead")->setChecked(model->Entry(row).unread);
  Own("MarkAsFavorites")->setChecked(model->Entry(row).favourite);
  timerNewOff_->stop();
  timerNewOff_->setInterval(c_.settings->Get().timeoutMarkNotRead * 1000 + 100);
  if (model->Entry(row).unread) timerNewOff_->start();
}

void NewsActions::RefreshMarks(const NodePtr& node) {
  if (!node) return;
  c_.accounts->RefreshNode(node);
  if (NodePtr parent = c_.tree->Parent(node)) c_.accounts->RefreshNode(parent);
}

void NewsActions::OpenNewsByPath(const std::string& path) {
  for (const NodePtr& node : c_.tree->InTreeOrder()) {
    std::string folder = c_.tree->FolderPath(node);
    if (!path.starts_with(folder)) continue;
    std::string rest = path.substr(folder.size());
    if (rest.find('/') != std::string::npos) continue;
    shownNewsPath_.clear();
    newsJustShown_ = true;
    pendingNewsName_ = NewsNameOf(rest);
    c_.accounts->ResetListedNode();
    c_.accounts->SelectNode(node);
    c_.accounts->AccountsClick();
    return;
  }
}

void NewsActions::ShowWhenListed(const std::string& path) {
  NodePtr node = c_.accounts->SelectedNode();
  if (node && FileExists(path) && path.rfind(c_.tree->FolderPath(node), 0) == 0 &&
      FileNameOf(path).size() + c_.tree->FolderPath(node).size() == path.size())
    pendingOnceName_ = NewsNameOf(FileNameOf(path));
}

void NewsActions::NextUnreadNews() {
  NewsListModel* model = c_.list->Model();
  std::vector<int> rows = c_.list->SelectedRows();
  const int current = rows.empty() ? -1 : rows.back();
  const int count = model->rowCount();
  // Below the news on hand, then from the top of the folder.
  for (int step = 1; step <= count; ++step) {
    int row = (current + step) % count;
    if (row == current) break;
    if (model->Entry(row).unread && !c_.list->NewsFilePath(row).empty()) {
      c_.list->SelectRow(row);
      return;
    }
  }
  NodePtr node = listedNode_;
  if (node) {
    NodePtr channel = ChannelTree::RootChannel(node);
    for (NodePtr next = c_.tree->NextInTreeOrder(node); next && ChannelTree::RootChannel(next) == channel;
         next = c_.tree->NextInTreeOrder(next)) {
      if (CountFolderNews(c_.tree->FolderPath(next)).unread == 0) continue;
      firstUnreadPending_ = true;
      c_.accounts->SelectNode(next);
      c_.accounts->AccountsClick();
      return;
    }
  }
  c_.statusText(QStringLiteral("Непрочитанных новостей в канале больше нет"));
}

void NewsActions::MarkFolderRead(bool wholeChannel) {
  NodePtr node = c_.accounts->SelectedNode();
  if (wholeChannel) node = ChannelTree::RootChannel(node);
  if (!node) return;
  std::vector<NodePtr> nodes{node};
  if (wholeChannel)
    for (const NodePtr& rubric : c_.tree->Children(node)) nodes.push_back(rubric);
  std::vector<std::string> folders;
  for (const NodePtr& n : nodes) folders.push_back(c_.tree->FolderPath(n));
  auto marked = std::make_shared<std::vector<std::string>>();
  QThread* worker = QThread::create([folders, marked] { MarkFoldersRead(folders, marked.get()); });
  worker->setParent(this);
  ++marking_;
  connect(worker, &QThread::finished, this, [this, worker, nodes, folders, marked] {
    worker->deleteLater();
    --marking_;
    for (const NodePtr& n : nodes) {
      c_.tree->SetFolderUnreadAttribute(n, false);
      c_.tree->MarkNodeUnread(n, false);
      RefreshMarks(n);
    }
    live_->Recount(folders);
    if (std::find(nodes.begin(), nodes.end(), listedNode_) != nodes.end()) {
      if (std::find(marked->begin(), marked->end(), shownNewsPath_) != marked->end()) timerNewOff_->stop();
      c_.list->Refresh();
    }
    c_.statusText(QStringLiteral("Отмечено прочитанными: %1").arg(marked->size()));
  });
  worker->start();
}

void NewsActions::RestoreListState(const ReadSetting& read) {
  auto number = [&](const char* key) -> std::optional<int> {
    std::optional<std::string> text = read(key);
    if (!text || text->empty()) return std::nullopt;
    try {
      return std::stoi(*text);
    } catch (...) {
      return std::nullopt;
    }
  };
  QHeaderView* header = c_.list->horizontalHeader();
  if (auto width = number("View/ListNews.DateWidth"); width && *width >= 40 && *width <= 1000)
    header->resizeSection(kColumnDate, *width);
  auto column = number("View/ListNews.SortColumn");
  auto order = number("View/ListNews.SortOrder");
  if (column && *column >= kColumnRead && *column <= kColumnDate) {
    c_.list->Model()->SortBy(*column, order == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(*column, c_.list->Model()->SortOrder());
  }
  Own("UnreadOnly")->setChecked(read("View/ListNews.UnreadOnly").value_or("0") == "1");
}

void NewsActions::SaveListState(const WriteSetting& write) const {
  const NewsListModel* model = c_.list->Model();
  write("View/ListNews.SortColumn", std::to_string(model->SortColumn()));
  write("View/ListNews.SortOrder", model->SortOrder() == Qt::DescendingOrder ? "1" : "0");
  write("View/ListNews.DateWidth", std::to_string(c_.list->columnWidth(kColumnDate)));
  write("View/ListNews.UnreadOnly", Own("UnreadOnly")->isChecked() ? "1" : "0");
}

void NewsActions::SpaceWanted() {
  if (!shownNewsPath_.empty() && c_.viewer->ShowsDocument() && !c_.viewer->AtEnd()) c_.viewer->ScrollPage();
  else NextUnreadNews();
}

void NewsActions::NewsSaved(const SavedNews& news) {
  if (!news.folder || news.folder != listedNode_) return;
  NewsFileEntry entry;
  entry.fileName = FileNameOf(news.path);
  entry.name = NewsNameOf(entry.fileName);
  entry.unread = IsFileReadOnly(news.path);
  entry.modified = FileModified(news.path);
  c_.list->AddSavedNews(c_.tree->FolderPath(news.folder), entry);
}

void NewsActions::NewsMoved(const NodePtr& target) {
  NewsListModel* model = c_.list->Model();
  for (int row = model->rowCount() - 1; row >= 0; --row) {
    const std::string& fileName = model->Entry(row).fileName;
    if (HasNewsExtension(fileName) && !FileExists(model->Folder() + fileName)) model->RemoveRow(row);
  }
  for (const NodePtr& node : {target, listedNode_}) {
    if (!node) continue;
    c_.tree->ScanFolderUnread(node);
    RefreshMarks(node);
  }
}

// --- Display and marks ---

void NewsActions::Show(const std::string& path, const NodePtr& node) {
  c_.pages->setCurrentWidget(c_.viewPage);
  c_.viewer->ShowNewsInfo(path, c_.tree->FolderPathText(node), false);
  c_.viewer->Navigate(path);
  shownNewsPath_ = path;
  shownModified_ = FileModified(path);
  newsJustShown_ = true;
}

// Rows whose file another program removed go, with a word in the status bar; the news shown
// before is no longer the one the actions would act on.
bool NewsActions::DropVanishedRows(const std::vector<int>& rows) {
  NewsListModel* model = c_.list->Model();
  QStringList gone;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    const NewsFileEntry& entry = model->Entry(*it);
    if (!HasNewsExtension(entry.fileName) || FileExists(model->Folder() + entry.fileName)) continue;
    gone.prepend(Q(entry.name));
    model->RemoveRow(*it);
  }
  if (gone.isEmpty()) return false;
  c_.statusText(QStringLiteral("Новость удалена с диска другой программой: ") + gone.join(QStringLiteral(", ")));
  if (!shownNewsPath_.empty() && !FileExists(shownNewsPath_)) {
    timerNewOff_->stop();
    shownNewsPath_.clear();
    c_.viewer->ShowNothing();
  }
  if (NodePtr node = listedNode_) {
    c_.tree->ScanFolderUnread(node);
    RefreshMarks(node);
  }
  return true;
}

void NewsActions::DropVanishedSelection() {
  if (!DropVanishedRows(c_.list->SelectedRows()) || !c_.list->SelectedRows().empty()) return;
  timerNewOff_->stop();
  shownNewsPath_.clear();
  c_.viewer->ShowNothing();
  EnableNewsActions(false);
}

void NewsActions::OnListChange() {
  NodePtr node = listedNode_;
  std::vector<int> rows = c_.list->SelectedRows();
  if (!node || rows.empty()) return;
  const NewsListModel* model = c_.list->Model();
  if (std::any_of(rows.begin(), rows.end(), [&](int row) {
        const std::string& fileName = model->Entry(row).fileName;
        return HasNewsExtension(fileName) && !FileExists(model->Folder() + fileName);
      })) {
    // Not while the selection is changing (rows may be on their way out): once it is over.
    QTimer::singleShot(0, this, &NewsActions::DropVanishedSelection);
    return;
  }
  EnableNewsActions(true);
  const NewsFileEntry& entry = c_.list->Model()->Entry(rows.front());
  std::string path = c_.list->NewsFilePath(rows.front());
  if (!path.empty()) {
    // Every change to an unread news starts the countdown afresh.
    timerNewOff_->stop();
    timerNewOff_->setInterval(c_.settings->Get().timeoutMarkNotRead * 1000 + 100);
    if (entry.unread) timerNewOff_->start();
  }
  if (path == shownNewsPath_) {
    newsJustShown_ = false;
    return;
  }
  Own("MarkAsFavorites")->setChecked(entry.favourite);
  Own("MarkAsNotRead")->setChecked(entry.unread);
  // With several selected the page keeps the last single news.
  if (!path.empty() && rows.size() == 1) Show(path, node);
}

void NewsActions::Pressed(int column) {
  // A press toggles a mark only on the news that was on display before it.
  if (newsJustShown_ || (column != kColumnRead && column != kColumnFavourite)) return;
  std::vector<int> rows = c_.list->SelectedRows();
  if (rows.size() != 1 || shownNewsPath_.empty() || c_.list->NewsFilePath(rows.front()) != shownNewsPath_) return;
  Own(column == kColumnRead ? "MarkAsNotRead" : "MarkAsFavorites")->trigger();
}

void NewsActions::MarkAsNotReadExecute(bool fromTimer) {
  NodePtr node = listedNode_;
  NewsListModel* model = c_.list->Model();
  bool unread = Own("MarkAsNotRead")->isChecked();
  bool rescan = false;
  for (int row : c_.list->SelectedRows()) {
    std::string path = c_.list->NewsFilePath(row);
    if (fromTimer && (path.empty() || path != shownNewsPath_)) continue;
    if (unread) {
      emit newsMarkedUnread(QPath(path), Q(model->Entry(row).name));
      if (!path.empty()) SetFileReadOnly(path, true);
      if (node) {
        c_.tree->SetFolderUnreadAttribute(node, true);
        c_.tree->MarkNodeUnread(node, true);
      }
    } else {
      if (!path.empty()) SetFileReadOnly(path, false);
      rescan = true;
      emit newsMarkedRead(QPath(path));
    }
    // The row shows what the disk says, when there is a file to ask.
    model->SetUnread(row, path.empty() ? unread : IsFileReadOnly(path));
  }
  if (rescan && node) c_.tree->ScanFolderUnread(node);
  RefreshMarks(node);
  c_.list->viewport()->update();
  timerNewOff_->stop();
}

void NewsActions::TimerNewOffFired() {
  timerNewOff_->stop();
  if (c_.list->SelectedRows().empty()) return;
  Own("MarkAsNotRead")->setChecked(false);
  MarkAsNotReadExecute(true);
}

void NewsActions::MarkAsFavoritesExecute() {
  NewsListModel* model = c_.list->Model();
  bool favourite = Own("MarkAsFavorites")->isChecked();
  std::vector<int> rows = c_.list->SelectedRows();
  QString refused;
  for (int row : rows) {
    std::string path = c_.list->NewsFilePath(row);
    if (path.empty()) continue;
    NewsRenameResult r = SetNewsFavourite(path, favourite);
    if (!r.problem.empty()) {
      refused += (refused.isEmpty() ? Q(r.problem) : QString()) + "\r" + Q(model->Entry(row).name);
      continue;
    }
    if (shownNewsPath_ == path) shownNewsPath_ = r.newPath;
    if (r.newPath != path) {
      model->SetFileName(row, FileNameOf(r.newPath));
      emit newsRenamed(QPath(path), QPath(r.newPath));
    }
  }
  if (!rows.empty()) Own("MarkAsFavorites")->setChecked(model->Entry(rows.front()).favourite);
  c_.list->viewport()->update();
  if (!refused.isEmpty()) AppDialogs().Message(c_.window, refused);
}

void NewsActions::AttachmentsArrived() {
  std::vector<int> rows = c_.list->SelectedRows();
  NodePtr node = listedNode_;
  if (rows.empty() || !node) return;
  std::string path = c_.list->NewsFilePath(rows.front());
  if (path.empty() || !c_.viewer->ShowNewsInfo(path, c_.tree->FolderPathText(node), false)) return;
  if (c_.viewer->ShowsDocument() && c_.pages->currentWidget() == c_.viewPage && !shownNewsPath_.empty())
    c_.viewer->Refresh(shownNewsPath_);
}

void NewsActions::ReloadShownNews() {
  NodePtr node = listedNode_;
  if (shownNewsPath_.empty() || !node) return;
  c_.viewer->ShowNewsInfo(shownNewsPath_, c_.tree->FolderPathText(node), false);
  c_.viewer->Refresh(shownNewsPath_);
}

void NewsActions::ReadFullScreen() {
  std::vector<int> rows = c_.list->SelectedRows();
  NodePtr node = listedNode_;
  std::string path = rows.empty() ? std::string() : c_.list->NewsFilePath(rows.front());
  if (path.empty() || !node) return;
  std::string caption = c_.tree->Caption(node) + ">>" + c_.list->Model()->Entry(rows.front()).name;
  if (NodePtr parent = c_.tree->Parent(node)) caption = c_.tree->Caption(parent) + ">>" + caption;
  emit readerWanted(QPath(path), Q(caption));
}

// --- Rename in place ---

void NewsActions::RenameNews() {
  std::vector<int> rows = c_.list->SelectedRows();
  NodePtr node = listedNode_;
  if (rows.size() != 1 || !node) return;
  int row = rows.front();
  std::string path = c_.list->NewsFilePath(row);
  if (path.empty()) return;
  TimerNewOffFired();  // a news being renamed has been read
  rename_ = {path, FileNameOf(path), node};
  QModelIndex cell = c_.list->Model()->index(row, kColumnName);
  c_.list->scrollTo(cell);
  QRect r = c_.list->visualRect(cell);
  editRenameNews_->setGeometry(r.left() + 2, r.top(), r.width() - 2, r.height());
  editRenameNews_->setText(Q(c_.list->Model()->Entry(row).name));
  editRenameNews_->show();
  editRenameNews_->raise();
  editRenameNews_->setFocus();
  editRenameNews_->selectAll();
}

bool NewsActions::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editRenameNews_) {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape) {
        CloseRename();
        return true;
      }
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        CommitRename();
        return true;
      }
    } else if (event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      // Clicking elsewhere keeps what was typed.
      CommitRename();
    }
  }
  return QObject::eventFilter(watched, event);
}

void NewsActions::CloseRename() {
  editRenameNews_->hide();
  c_.list->setFocus();
}

void NewsActions::CommitRename() {
  if (!editRenameNews_->isVisible() || committing_) return;
  committing_ = true;
  NewsRenameResult r = RenameNewsFile(rename_.path, editRenameNews_->text().toStdString());
  if (!r.problem.empty()) {
    AppDialogs().Message(c_.window, QStringLiteral("Недопустимое имя файла\r") + Q(r.problem));
    editRenameNews_->setFocus();  // the box stays open for a correction
    committing_ = false;
    return;
  }
  CloseRename();
  committing_ = false;
  NewsListModel* model = c_.list->Model();
  if (r.newPath != rename_.path) emit newsRenamed(QPath(rename_.path), QPath(r.newPath));
  if (r.newPath == rename_.path || listedNode_ != rename_.node) return;
  if (int row = model->FindFileName(rename_.fileName); row >= 0 && model->Folder() + rename_.fileName == rename_.path)
    model->SetFileName(row, FileNameOf(r.newPath));
  Show(r.newPath, rename_.node);
}

// --- Delete, history ---

void NewsActions::DeleteNews() {
  NewsListModel* model = c_.list->Model();
  if (model->rowCount() == 0) return;
  std::vector<std::string> paths = SelectedNewsPaths();
  if (paths.empty()) return;
  const int firstSelected = c_.list->SelectedRows().front();
  QString question = QStringLiteral("Переместить выделенные новости в Корзину?\r\rБудет удалено новостей: ") +
                     QString::number(paths.size()) + QStringLiteral(" шт.");
  if (!AppDialogs().Question(c_.window, QStringLiteral("Skimlet"), question, true)) return;
  // Pictures no other news of the folder uses go along, so a restore brings both back.
  const std::vector<std::string> pictures = AttachmentsOnlyTheyList(paths);
  QString failed;
  for (const std::string& path : paths) {
    QFile::moveToTrash(QPath(path));
    if (FileExists(path)) failed += "\r" + QPath(FileNameOf(path));
  }
  if (failed.isEmpty())
    for (const std::string& picture : pictures) QFile::moveToTrash(QPath(picture));
  // The list follows the disk: rows of the news that went, whatever the trash reported.
  for (int row = model->rowCount() - 1; row >= 0; --row) {
    std::string path = model->Folder() + model->Entry(row).fileName;
    if (std::find(paths.begin(), paths.end(), path) != paths.end() && !FileExists(path)) model->RemoveRow(row);
  }
  if (NodePtr node = listedNode_) {
    c_.tree->ScanFolderUnread(node);
    RefreshMarks(node);
  }
  if (!shownNewsPath_.empty() && !FileExists(shownNewsPath_)) {
    timerNewOff_->stop();
    shownNewsPath_.clear();
    c_.viewer->ShowNothing();
  }
  // Reading goes on with the news that took the place of the first one deleted.
  if (c_.list->SelectedRows().empty() && model->rowCount() > 0)
    c_.list->SelectRow(std::min(firstSelected, model->rowCount() - 1));
  if (c_.list->SelectedRows().empty()) EnableNewsActions(false);
  c_.list->viewport()->update();
  if (!failed.isEmpty()) AppDialogs().Message(c_.window, QStringLiteral("Не удалось переместить в Корзину:") + failed);
}

void NewsActions::DeleteURLFromHistory() {
  if (DropVanishedRows(c_.list->SelectedRows()) && c_.list->SelectedRows().empty()) return;
  std::vector<std::string> paths = SelectedNewsPaths();
  if (paths.empty()) return;
  QString question =
      QStringLiteral("При удалении URL из истории загрузок выделенные новости могут быть перезагружены.\r"
                     "Вы действительно хотите удалить из истории загрузок адрес(а)?\r\rБудет удалено URL: ") +
      QString::number(paths.size()) + QStringLiteral(" шт.");
  if (!AppDialogs().Question(c_.window, QStringLiteral("Skimlet"), question, false)) return;
  std::vector<std::string> urls;
  for (const std::string& path : paths) {
    std::string url = ReadNewsURL(path);
    if (url.empty()) continue;
    urls.push_back(url);
    c_.history->RemoveIf([&](const std::string& line) { return HistoryLineHoldsUrl(line, url); });
  }
  // The file follows at once, so a run started by any process meanwhile fetches them; the
  // refetch list first, so that run saves a new copy instead of restoring the line.
  std::string error;
  const std::string& dataDir = c_.tree->DataDir();
  if (!urls.empty() && (!AddRefetchAddresses(dataDir, urls, &error) ||
                        !c_.history->SaveHistory(dataDir, c_.settings->Get().maxHtmlHistory, &error)))
    AppDialogs().Message(c_.window, QStringLiteral("История загрузок не записана:\r") + QPath(error));
  if (c_.historyChanged) c_.historyChanged();
}

// --- The desktop ---

void NewsActions::ViewMSIE() {
  std::vector<int> rows = c_.list->SelectedRows();
  if (rows.empty()) return;
  if (std::string path = c_.list->NewsFilePath(rows.front()); !path.empty())
    AppDesktop().OpenUrl(QUrl::fromLocalFile(QPath(path)));
}

void NewsActions::OpenWebAddress(const std::string& url) {
  // Only web addresses: a header is text anybody could have written.
  QUrl address(Q(url).trimmed(), QUrl::StrictMode);
  if (address.isValid() && (address.scheme() == "http" || address.scheme() == "https"))
    AppDesktop().OpenUrl(address);
}

void NewsActions::ViewWWW() {
  std::vector<int> rows = c_.list->SelectedRows();
  if (!rows.empty()) OpenWebAddress(ReadNewsURL(c_.list->NewsFilePath(rows.front())));
}

void NewsActions::ViewExplorer() {
  NodePtr node = c_.accounts->SelectedNode();
  std::vector<int> rows = c_.list->SelectedRows();
  std::string path = rows.empty() ? std::string() : c_.list->NewsFilePath(rows.front());
  if (!path.empty()) AppDesktop().ShowFile(QPath(path));
  else if (node) AppDesktop().OpenUrl(QUrl::fromLocalFile(QPath(c_.tree->FolderPath(node))));
}

// --- Search ---

SearchWindow* NewsActions::Search() {
  if (!search_) {
    // A window of its own, not one kept above the main window: the list stays in reach.
    search_ = new SearchWindow(c_.tree->AccountsDir(), nullptr);
    search_->setAttribute(Qt::WA_QuitOnClose, false);
    connect(search_, &SearchWindow::openNews, this, [this](const QString& path) { OpenNewsByPath(path.toStdString()); });
  }
  return search_;
}

void NewsActions::Find(const std::string& dir) { Search()->StartIn(dir); }

}  // namespace skimlet
