#include "library/ui/NewsActions.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <QToolBar>
#include <QToolButton>

#include "engine/History.h"
#include "engine/Settings.h"
#include "library/NewsListing.h"
#include "library/NewsMarks.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsList.h"
#include "library/ui/NewsViewer.h"
#include "library/ui/SearchWindow.h"
#include "platform/Files.h"
#include "qt/Desktop.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"

namespace skimlet {

namespace {

// The actions EnableNewsActions switches.
const char* const kNewsActions[] = {"MarkAsFavorites", "MarkAsNotRead", "ViewMSIE",          "ViewWWW",
                                    "DeleteNews",      "DownloadPictures", "ReadFullScreen", "DeleteURLFromHistory"};

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
  Connect();
}

NewsActions::~NewsActions() = default;

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
      {"FindNewsAll", "Поиск по всем каналам", nullptr, "Файл", QKeySequence(Qt::Key_F3), nullptr},
      {"FindNewsChannel", "Поиск по текущему каналу", nullptr, "Файл", QKeySequence(Qt::SHIFT | Qt::Key_F3),
       nullptr},
      {"FindNewsInFolder", "Поиск в текущей рубрике", nullptr, "Файл", QKeySequence(Qt::CTRL | Qt::Key_F3), nullptr},
  };
  for (const ActionDef& s : defs) {
    QAction* a = c_.newAction(s.name, QString::fromUtf8(s.caption), s.hint ? QString::fromUtf8(s.hint) : sameHint,
                              QString::fromUtf8(s.category));
    a->setShortcut(s.key);
    c_.window->addAction(a);  // shortcuts work wherever the focus is in the window
    if (s.run) connect(a, &QAction::triggered, this, s.run);
  }
  Own("MarkAsNotRead")->setCheckable(true);
  Own("MarkAsFavorites")->setCheckable(true);
  Own("MarkAsNotRead")->setIcon(NewsListImage(3));
  Own("MarkAsFavorites")->setIcon(NewsListImage(4));
  connect(Own("MarkAsNotRead"), &QAction::triggered, this, [this] { MarkAsNotReadExecute(false); });
  connect(Own("UpdaleListNews"), &QAction::triggered, this, [this] { ListFolder(c_.accounts->SelectedNode()); });
  connect(Own("SelectAllNewsInTekNode"), &QAction::triggered, c_.list, &QAbstractItemView::selectAll);
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
  connect(list, &NewsList::statusText, this, [this](const QString& text) { c_.statusText(text); });
  connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &NewsActions::OnListChange);
  connect(list, &NewsList::pressStarted, this, [this] { newsJustShown_ = false; });
  connect(list, &NewsList::pressed, this, &NewsActions::Pressed);
  connect(list, &NewsList::readWanted, this, &NewsActions::ReadFullScreen);
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
  if (pendingNewsName_.empty()) return;
  int row = c_.list->Model()->FindName(pendingNewsName_);
  if (row < 0) return;
  shownNewsPath_.clear();  // shown afresh
  c_.list->SelectRow(row);
  newsJustShown_ = true;
  if (readerVisible_ && readerVisible_()) ReadFullScreen();
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
  QString question = QStringLiteral("Переместить выделенные новости в Корзину?\r\rБудет удалено новостей: ") +
                     QString::number(paths.size()) + QStringLiteral(" шт.");
  if (!AppDialogs().Question(c_.window, QStringLiteral("Skimlet"), question, true)) return;
  QString failed;
  for (const std::string& path : paths) {
    QFile::moveToTrash(QPath(path));
    if (FileExists(path)) failed += "\r" + QPath(FileNameOf(path));
  }
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
  // The next run starts without these lines; the file follows when the window closes.
  for (const std::string& path : paths) {
    std::string url = ReadNewsURL(path);
    if (!url.empty())
      c_.history->RemoveIf([&](const std::string& line) { return HistoryLineHoldsUrl(line, url); });
  }
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
    search_ = new SearchWindow(c_.tree->AccountsDir(), c_.window);
    connect(search_, &SearchWindow::openNews, this, [this](const QString& path) { OpenNewsByPath(path.toStdString()); });
  }
  return search_;
}

void NewsActions::Find(const std::string& dir) { Search()->StartIn(dir); }

}  // namespace skimlet
