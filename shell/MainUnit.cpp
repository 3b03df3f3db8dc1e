#include "shell/MainUnit.h"

#include <QAction>
#include <QApplication>
#include <QStyle>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "attachments/ui/LampsPanel.h"
#include "authoring/ui/LogPage.h"
#include "qt/SettingsStore.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsActions.h"
#include "library/ui/NewsList.h"
#include "library/ui/NewsViewer.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "shell/ActionIcons.h"
#include "shell/ChannelFileActions.h"
#include "shell/Scheduler.h"
#include "shell/Companions.h"
#include "shell/SettingsPage.h"
#include "shell/WindowRunHost.h"

namespace skimlet {

TMainForm::TMainForm(std::string dataDir, QWidget* parent)
    : QMainWindow(parent), dataDir_(std::move(dataDir)), tree_(dataDir_) {
  setObjectName("MainForm");
  setWindowTitle(QString::fromUtf8("Skimlet - электронный журнал о событиях в Сети"));
  resize(782, 510);
  store_ = std::make_unique<SettingsStore>();

  WindowRunActions actions;
  actions.showRunState = [this](const RunView& view) { ShowRunView(view); };
  actions.nodeChanged = [this](const NodePtr& node) {
    accounts_->RefreshNode(node);
    accounts_->RefreshSelectedIcon();
  };
  actions.pressStop = [this] { CheckRadio("DownLoadStop"); };
  actions.pressPause = [this] { CheckRadio("DownloadPause"); };
  actions.statusText = [this](const QString& text) { statusBar()->showMessage(text); };
  actions.historyLineAdded = [this](const std::string&) { logPage_->HistoryChanged(); };
  actions.lampChanged = [this](int slot) { UpdateLamp(slot); };
  actions.newsSaved = [this](const SavedNews& news) {
    newsActions_->NewsSaved(news);
    companions_->NewsSaved(news);
  };
  actions.queueOverflow = [this](const std::string& message) { AppDialogs().Message(this, Q(message)); };
  actions.attachmentFailed = [this](const std::string& message) { LogLine(message, kRed); };
  host_ = std::make_unique<WindowRunHost>(history_, liveSettings_, std::move(actions));
  queue_ = std::make_unique<AttachmentQueue>(*host_, dataDir_);
  scheduler_ = std::make_unique<AutoDownloadScheduler>(
      std::make_unique<QtScheduleClock>(this), [this] { return ScheduledRoundRunning(); },
      [this] { StartScheduledRound(); });

  CreateActions();
  CreateLayout();
  CreateMenus();
  FolderMacro::View macroView;
  macroView.setTitle = [this](const std::string& folderPath) { setWindowTitle(QPath(folderPath)); };
  macroView.error = [this](const std::string& message) { AppDialogs().Message(this, QString::fromStdString(message)); };
  WireMacroEditor(macroView);
  macro_.SetView(std::move(macroView));
  RestoreSequence();
  if (ready_) CreateCompanions();
}

TMainForm::~TMainForm() { StopAllThreads(); }

QAction* TMainForm::Action(const char* name) const { return findChild<QAction*>(name); }

QAction* TMainForm::NewAction(const char* name, const QString& caption, const QString& hint,
                              const QString& category) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  // "short|long": the short part is the tooltip, the long one goes to the status bar.
  int bar = hint.indexOf('|');
  action->setToolTip(bar < 0 ? hint : hint.left(bar));
  action->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
  action->setProperty("category", category);
  return action;
}

namespace {
// The desktop theme's icon when it has one, else Qt's own.
QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}
}  // namespace

void TMainForm::CreateActions() {
  const QString tree = QString::fromUtf8("Рубрикатор"), load = QString::fromUtf8("Закачка");
  auto* a = NewAction("CreateAccount", QString::fromUtf8("Создать канал"),
                      QString::fromUtf8("Создать папку сайта|Создать папку сайта (канал)"), tree);
  connect(a, &QAction::triggered, this, [this] {
    if (NodePtr node = accounts_->CreateAccount()) accounts_->SelectNode(node);
  });
  a = NewAction("CreateRub", QString::fromUtf8("Создать рубрику канала"), QString::fromUtf8("Создать рубрику сайта"),
                tree);
  connect(a, &QAction::triggered, this, [this] {
    if (NodePtr node = accounts_->CreateRub()) accounts_->SelectNode(node);
  });
  a = NewAction("DeleteFolder", QString::fromUtf8("Удалить канал/рубрику"),
                QString::fromUtf8("Удалить папку|Удаление отдельной рубрики или сайта (канала)"), tree);
  connect(a, &QAction::triggered, this, [this] { accounts_->DeleteFolder(); });
  a = NewAction("AccountsCheckBox", QString::fromUtf8("Выбор загружаемых рубрик"),
                QString::fromUtf8("Выбор загружаемых рубрик"), tree);
  a->setCheckable(true);
  connect(a, &QAction::toggled, this, [this](bool on) { accounts_->SetSelectionMode(on); });

  struct Radio {
    const char* name;
    const char* caption;
    const char* hint;
    QKeySequence key;
  };
  const Radio radios[] = {
      {"Download", "Запуск закачки",
       "Пуск закачки|Запускает последовательную закачку для текущего канала и его рубрик", QKeySequence(Qt::Key_F9)},
      {"DownloadOneStep", "Пошаговая закачка",
       "Пошаговая закачка|Используется при отладке макромоследовательносей загрузки", QKeySequence(Qt::Key_F8)},
      {"DownloadPause", "Пауза", "Пауза|Приостанавливает закачку (только для текущего сайта)",
       QKeySequence(Qt::CTRL | Qt::Key_F10)},
      {"DownLoadStop", "Стоп", "Стоп|Останавливает закачку (рисунки продолжают догружаться)",
       QKeySequence(Qt::SHIFT | Qt::Key_F10)},
  };
  for (const Radio& r : radios) {
    a = NewAction(r.name, QString::fromUtf8(r.caption), QString::fromUtf8(r.hint), load);
    a->setShortcut(r.key);
    a->setCheckable(true);
    const std::string name = r.name;
    connect(a, &QAction::triggered, this, [this, name] {
      if (name == "Download") DownloadHandler(false);
      else if (name == "DownloadOneStep") DownloadOneStepHandler();
      else if (name == "DownloadPause") DownloadPauseHandler();
      else DownLoadStopHandler();
    });
  }
  Action("DownLoadStop")->setChecked(true);
  Action("Download")->setIcon(ThemeIcon("media-playback-start", QStyle::SP_MediaPlay));
  Action("DownloadOneStep")->setIcon(ThemeIcon("media-skip-forward", QStyle::SP_MediaSkipForward));
  Action("DownloadPause")->setIcon(ThemeIcon("media-playback-pause", QStyle::SP_MediaPause));
  Action("DownLoadStop")->setIcon(ThemeIcon("media-playback-stop", QStyle::SP_MediaStop));
  Action("CreateAccount")->setIcon(ThemeIcon("folder-new", QStyle::SP_FileDialogNewFolder));
  Action("CreateRub")->setIcon(ThemeIcon("list-add", QStyle::SP_FileDialogNewFolder));
  Action("DeleteFolder")->setIcon(ThemeIcon("edit-delete", QStyle::SP_TrashIcon));
  Action("AccountsCheckBox")->setIcon(ChecklistIcon());
  a = NewAction("DowlnloadAbortAll", QString::fromUtf8("Оборвать закачку"),
                QString::fromUtf8("Оборвать|Обрывает все виды закачки"), load);
  a->setShortcut(QKeySequence(Qt::Key_F10));
  a->setIcon(ThemeIcon("process-stop", QStyle::SP_BrowserStop));
  connect(a, &QAction::triggered, this, [this] { DowlnloadAbortAllHandler(); });

  a = NewAction("FlagDownloadPictures", QString::fromUtf8("Загружать с рисунками"),
                QString::fromUtf8("Загружать рисунки сразу"), load);
  a->setCheckable(true);
  a->setChecked(true);
  a->setIcon(PictureDownloadIcon());
  connect(a, &QAction::toggled, this, [this](bool on) { queue_->SetFlagDownloadPictures(on); });
  a = NewAction("DownloadPictures", QString::fromUtf8("Догрузить рисунки"),
                QString::fromUtf8("Докачать вложения|Дозагрузка недокачанных рисунков и других компонентов страницы"),
                load);
  a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  a->setIcon(ThemeIcon("go-down", QStyle::SP_ArrowDown));
  connect(a, &QAction::triggered, this, [this] { DownloadPicturesExecute(); });

  a = NewAction("MyExit", QString::fromUtf8("Выход"), QString::fromUtf8("Выход"), QString::fromUtf8("Файл"));
  connect(a, &QAction::triggered, this, &QWidget::close);
  CreateMacroActions();
}

void TMainForm::CreateLayout() {
  auto* central = new QWidget(this);
  auto* centralLayout = new QVBoxLayout(central);
  centralLayout->setContentsMargins(2, 2, 2, 2);

  // The tree panel: heading, toolbar, tree.
  panelAccounts_ = new QWidget;
  panelAccounts_->setObjectName("PanelAccounts");
  auto* accountsLayout = new QVBoxLayout(panelAccounts_);
  accountsLayout->setContentsMargins(0, 0, 0, 0);
  accountsLayout->setSpacing(1);
  auto* heading = new QLabel(QString::fromUtf8("Каналы сайтов"));
  heading->setObjectName("LabelAccounts");
  heading->setStyleSheet("font-weight: bold; padding: 2px;");
  auto* treeBar = new QToolBar;
  treeBar->setObjectName("ToolBarAccounts");
  treeBar->setIconSize(QSize(16, 16));
  treeBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  treeBar->addAction(Action("CreateAccount"));
  treeBar->addAction(Action("CreateRub"));
  treeBar->addSeparator();
  treeBar->addAction(Action("AccountsCheckBox"));
  treeBar->addSeparator();
  treeBar->addAction(Action("DeleteFolder"));
  accounts_ = new AccountsTree(tree_);
  accountsLayout->addWidget(heading);
  accountsLayout->addWidget(treeBar);
  accountsLayout->addWidget(accounts_, 1);

  // The news list area (the list itself is filled by the news library).
  auto* newsArea = new QWidget;
  newsArea->setObjectName("PanelNews");
  auto* newsLayout = new QVBoxLayout(newsArea);
  newsLayout->setContentsMargins(0, 0, 0, 0);
  newsLayout->setSpacing(1);
  auto* newsBar = new QToolBar;
  newsBar->setObjectName("ToolBarNews");
  newsBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  newsBar->setIconSize(QSize(20, 20));
  listNews_ = new NewsList;
  newsLayout->addWidget(newsBar);
  newsLayout->addWidget(listNews_, 1);

  panelTop_ = new QSplitter(Qt::Horizontal);
  panelTop_->setObjectName("PanelTop");
  panelTop_->addWidget(panelAccounts_);
  panelTop_->addWidget(newsArea);
  panelTop_->setStretchFactor(1, 1);

  // The lower pages.
  pageDown_ = new QTabWidget;
  pageDown_->setObjectName("PageDown");
  tabView_ = new QWidget;
  tabView_->setObjectName("TabView");
  auto* viewLayout = new QVBoxLayout(tabView_);
  viewLayout->setContentsMargins(0, 0, 0, 0);
  newsViewer_ = new NewsViewer;
  view_ = newsViewer_->View();
  viewLayout->addWidget(newsViewer_);
  // Pages with many fields scroll rather than claim their full size from the window: the
  // window keeps the placement the user gave it, and the dividers move freely.
  auto scrolling = [](QWidget* page, const char* name) {
    auto* scroll = new QScrollArea;
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setObjectName(name);
    return scroll;
  };
  tabMacro_ = scrolling(CreateMacroPage(), "TabMacro");
  logPage_ = new LogPage;
  tabInfo_ = logPage_;
  tabInfo_->setObjectName("TabInfo");
  settingsPage_ = new SettingsPage;
  tabSetting_ = scrolling(settingsPage_, "TabSetting");
  pageDown_->addTab(tabView_, QString::fromUtf8("Просмотр"));
  pageDown_->addTab(tabMacro_, QString::fromUtf8("Макросы папки"));
  pageDown_->addTab(tabInfo_, QString::fromUtf8("Ход загрузки"));
  pageDown_->addTab(tabSetting_, QString::fromUtf8("Настройки"));

  NewsContext news;
  news.tree = &tree_;
  news.accounts = accounts_;
  news.list = listNews_;
  news.viewer = newsViewer_;
  news.pages = pageDown_;
  news.viewPage = tabView_;
  news.history = &history_;
  news.settings = &liveSettings_;
  news.window = this;
  news.newAction = [this](const char* name, const QString& caption, const QString& hint, const QString& category) {
    return NewAction(name, caption, hint, category);
  };
  news.action = [this](const char* name) { return Action(name); };
  news.statusText = [this](const QString& text) { statusBar()->showMessage(text); };
  news.historyChanged = [this] { logPage_->HistoryChanged(); };
  newsActions_ = new NewsActions(std::move(news));
  newsActions_->FillToolBar(newsBar);

  mainSplitter_ = new QSplitter(Qt::Vertical);
  mainSplitter_->setObjectName("SplitterMain");
  mainSplitter_->addWidget(panelTop_);
  mainSplitter_->addWidget(pageDown_);
  // The upper panel keeps its height when the window grows or shrinks; the pages take the
  // rest. Their own minimum is small, so the divider can be dragged both ways.
  mainSplitter_->setStretchFactor(0, 0);
  mainSplitter_->setStretchFactor(1, 1);
  mainSplitter_->setChildrenCollapsible(false);
  pageDown_->setMinimumHeight(kPageDownMinHeight);
  panelTop_->setMinimumHeight(kPanelTopMinHeight);
  panelTop_->setChildrenCollapsible(false);

  lamps_ = new LampsPanel;
  centralLayout->addWidget(mainSplitter_, 1);
  centralLayout->addWidget(lamps_);
  setCentralWidget(central);
  statusBar()->setObjectName("StatusBar");

  logPage_->SetDataDir(dataDir_);
  logPage_->SetHistory(&history_);
  logPage_->SetBufferSource([this]() -> std::optional<RunBuffers> {
    int slot = SlotOf(SelectedChannel());
    if (slot < 0 || !runs_[slot]) return std::nullopt;
    return runs_[slot]->Buffers();
  });
  connect(settingsPage_, &SettingsPage::changed, this, [this] {
    liveSettings_.Set(settingsPage_->Current());
    if (!closing_) scheduler_->SetInterval(settingsPage_->AutoDownloadMinutes());
  });

  connect(accounts_, &AccountsTree::changing, this,
          [this](const NodePtr& node, const NodePtr& old) { OnChanging(node, old); });
  connect(accounts_, &AccountsTree::editingStarted, this, [this](const QString& text) { setWindowTitle(text); });
  connect(accounts_, &AccountsTree::contextMenuWanted, this, [this](const QPoint& at) { popupAccounts_->popup(at); });

  startTimer_ = new QTimer(this);
  startTimer_->setObjectName("StartTimer");
  startTimer_->setSingleShot(true);
  startTimer_->setInterval(300);
  connect(startTimer_, &QTimer::timeout, this, [this] { StartTimerFired(); });
  timerAutoStart_ = new QTimer(this);
  timerAutoStart_->setObjectName("TimerAutoStart");
  timerAutoStart_->setInterval(250);
  connect(timerAutoStart_, &QTimer::timeout, this, [this] { TimerAutoStartTick(); });
}

void TMainForm::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QString::fromUtf8("Файл"));
  file->setObjectName("MenuFile");
  file->addAction(Action("CreateAccount"));
  file->addAction(Action("CreateRub"));
  file->addAction(Action("DeleteFolder"));
  file->addAction(Action("NewChannelByAddress"));
  file->addSeparator();
  file->addAction(Action("OpenCannel"));
  file->addAction(Action("SaveChannel"));
  file->addSeparator();
  file->addAction(Action("MyExit"));

  newsActions_->AddMenus(menuBar());

  QMenu* load = menuBar()->addMenu(QString::fromUtf8("Закачка"));
  load->setObjectName("MenuDownload");
  load->addAction(Action("AccountsCheckBox"));
  load->addSeparator();
  for (const char* name : {"Download", "DownloadOneStep", "DownloadPause", "DownLoadStop", "DowlnloadAbortAll"})
    load->addAction(Action(name));
  load->addSeparator();
  load->addAction(Action("FlagDownloadPictures"));
  load->addAction(Action("DownloadPictures"));
  load->addSeparator();
  load->addAction(Action("DeleteURLFromHistory"));
  CreateMacroMenu();

  popupAccounts_ = new QMenu(this);
  popupAccounts_->setObjectName("PopupMenuAccounts");
  popupAccounts_->addAction(Action("AccountsCheckBox"));
  popupAccounts_->addSeparator();
  popupAccounts_->addAction(Action("CreateAccount"));
  popupAccounts_->addAction(Action("CreateRub"));
  popupAccounts_->addAction(Action("DeleteFolder"));
  popupAccounts_->addSeparator();
  popupAccounts_->addAction(Action("ViewExplorer"));
  popupAccounts_->addAction(Action("UpdaleListNews"));
  popupAccounts_->addAction(Action("MarkFolderRead"));
  popupAccounts_->addAction(Action("MarkChannelRead"));
  popupAccounts_->addSeparator();
  for (const char* name : {"Download", "DownloadPause", "DownLoadStop", "DowlnloadAbortAll"})
    popupAccounts_->addAction(Action(name));
}

void TMainForm::ShowRunView(const RunView& view) {
  logPage_->SetUrls(view.startURL, view.newsURL);
  if (view.logSize > 0) logPage_->FollowRunLog(view.firstLine, view.lastLine, view.wholeLog);
}

void TMainForm::UpdateLamp(int slot) { lamps_->SetLamp(slot, queue_->Lamp(slot)); }

void TMainForm::LogLine(const std::string& message, std::uint32_t colour) {
  logPage_->AddLogLine(std::to_string(colour) + " " + message);
}

}  // namespace skimlet
