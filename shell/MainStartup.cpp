// Start-up, settings and shutdown of the main window.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QLayout>
#include <QScreen>
#include <QWindow>
#include <QShowEvent>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include "attachments/ui/LampsPanel.h"
#include "authoring/ui/LogPage.h"
#include "authoring/ui/MacroEditor.h"
#include "fetch/Transfer.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/LiveFolders.h"
#include "library/ui/NewsActions.h"
#include "page/Tools.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "qt/SettingsStore.h"
#include "qt/WebViews.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/Scheduler.h"
#include "shell/SettingsPage.h"
#include "shell/WindowRunHost.h"

namespace skimlet {

namespace {

std::optional<long long> StoredNumber(const SettingsStore& store, const char* path) { return store.Number(path); }

constexpr const char* kMimeFile = "mime/packages/skimlet-channel.xml";
constexpr const char* kDesktopFile = "applications/skimlet.desktop";
// Marks the copies the program writes for itself, so that only those are ever removed.
constexpr const char* kOwnCopyMark = "X-Skimlet-Own-Copy";

std::string ResourceText(const char* name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// Removes a copy the program wrote for itself; true when one was removed.
bool RemoveOwnCopy(const std::string& path) {
  std::string text;
  return ReadWholeFile(path, text) && text.find(kOwnCopyMark) != std::string::npos && ::unlink(path.c_str()) == 0;
}

// Writes `text` to `path` unless the file already holds exactly that.
bool WriteIfChanged(const std::string& path, const std::string& text) {
  std::string old;
  if (ReadWholeFile(path, old) && old == text) return false;
  std::string dir = path.substr(0, path.rfind('/'));
  // The desktop's shared folders, read by other programs: not private like the data directory.
  MakeDirs(dir, nullptr, 0755);
  return WriteFileAtomic(path, text, nullptr, false, true, 0644);
}

}  // namespace

void TMainForm::RestoreSequence() {
  // 1. Shared run state.
  TotalBytes() = 0;
  // 2. The command catalogue; without it the program cannot describe its commands.
  std::string catalogueFile = CatalogueFilePath(ResourceDir(dataDir_));
  CatalogueLoadResult loaded = LoadCommandCatalogue(catalogueFile, catalogue_);
  if (!loaded.exists) {
    AppDialogs().Message(this, Q(MissingCatalogueMessage(catalogueFile)));
    return;
  }
  macroEditor_->CatalogueLoaded();
  // 3-5. Build numbers, the channel-file type, the announced build.
  buildInSite_ = static_cast<int>(StoredNumber(*store_, "Update/BuildInSite").value_or(kOwnBuild));
  RegisterChannelFileType();
  // 6-7. Placement and panel sizes.
  RestorePlacement();
  // 9. The settings fields.
  settingsPage_->Load([this](const std::string& key) { return store_->Read(key); });
  liveSettings_.Set(settingsPage_->Current());
  // 10-11. The viewer page with the overview.
  pageDown_->setCurrentWidget(tabView_);
  SetHelpFolder(QPath(ResourceDir(dataDir_) + "Help/"));
  std::string overview = ResourceDir(dataDir_) + "Help/01OverView.htm";
  if (FileExists(overview)) view_->load(QUrl::fromLocalFile(QPath(overview)));
  // 12-14. The channel tree and the stored selection.
  MakeDirs(tree_.AccountsDir());
  tree_.Clear();
  tree_.BuildChannelTree(tree_.AccountsDir(), nullptr, false);
  accounts_->Rebuild();
  // The stored path names the folder even when new folders have shifted the index since.
  long long index = StoredNumber(*store_, "View/Accounts.Selected.Index").value_or(0);
  NodePtr selected = tree_.NodeByRelativePath(store_->Read("View/Accounts.Selected.Path").value_or(""));
  if (!selected) selected = tree_.NodeAt(static_cast<int>(index));
  if (selected) accounts_->SelectNode(selected);
  accounts_->RefreshSelectedIcon();
  newsActions_->RestoreListState([this](const std::string& key) { return store_->Read(key); });
  // 15. The download history.
  history_.LoadHistory(dataDir_);
  logPage_->HistoryChanged();

  startTimer_->start();
  timerAutoStart_->start();
  ready_ = true;
}

void TMainForm::RestorePlacement() {
  auto left = StoredNumber(*store_, "MainForm/.Left"), top = StoredNumber(*store_, "MainForm/.Top");
  auto right = StoredNumber(*store_, "MainForm/.Right"), bottom = StoredNumber(*store_, "MainForm/.Bottom");
  if (left && top && right && bottom && *right > *left && *bottom > *top) {
    setGeometry(static_cast<int>(*left), static_cast<int>(*top), static_cast<int>(*right - *left),
                static_cast<int>(*bottom - *top));
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
  normalRect_ = geometry();
  // The state and the panel sizes need the window on screen: a window holding a web view
  // ignores a maximised state set before it is shown, and splitter sizes set before the
  // layout has its size are squeezed by the pages' minimum.
  storedState_ = static_cast<int>(StoredNumber(*store_, "MainForm/.WindowState").value_or(2));
  storedPanelWidth_ = static_cast<int>(StoredNumber(*store_, "View/PanelAccounts.Width").value_or(190));
  storedPanelHeight_ = static_cast<int>(StoredNumber(*store_, "View/PanelTop.Height").value_or(233));
  placementPending_ = true;
  ApplyPanelSizes();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!placementPending_) return;
  placementPending_ = false;
  QTimer::singleShot(0, this, [this] { ApplyStoredState(0); });
}

void TMainForm::ApplyStoredState(int waits) {
  // A window manager honours a state only for a window it has taken on, and it shows
  // (exposes) the window once it has: a request sent before is lost, as it was one start in
  // two on a loaded machine. So the state waits for the first exposure (5 s at most).
  if (QWindow* handle = windowHandle(); handle && !handle->isExposed() && waits < 250) {
    QTimer::singleShot(20, this, [this, waits] { ApplyStoredState(waits + 1); });
    return;
  }
  if (storedState_ == 2) {
    // A window manager that never confirms must not freeze the normal placement for good.
    awaitingMaximized_ = true;
    QTimer::singleShot(3000, this, [this] { awaitingMaximized_ = false; });
    settingState_ = true;
    setWindowState(windowState() | Qt::WindowMaximized);
    settingState_ = false;
    QTimer::singleShot(1000, this, [this] { CheckMaximized(3); });
  } else if (storedState_ == 1) {
    setWindowState(windowState() | Qt::WindowMinimized);
  }
  ApplyPanelSizes();
}

// A maximised state the window manager lost leaves the window at its normal size while Qt
// believes it maximised: then it is asked for once more.
void TMainForm::CheckMaximized(int tries) {
  QScreen* screen = this->screen();
  if (!screen || !(windowState() & Qt::WindowMaximized) || (windowState() & Qt::WindowMinimized)) return;
  const QRect area = screen->availableGeometry(), frame = frameGeometry();
  if (frame.width() >= area.width() * 9 / 10 && frame.height() >= area.height() * 9 / 10) return;
  settingState_ = true;
  setWindowState(windowState() & ~Qt::WindowMaximized);
  setWindowState(windowState() | Qt::WindowMaximized);
  settingState_ = false;
  if (tries > 1) QTimer::singleShot(1000, this, [this, tries] { CheckMaximized(tries - 1); });
}

// The normal placement is followed here rather than read from normalGeometry(): while the
// window manager maximises a window that was just shown, the platform can report the old
// normal state once more together with the maximised size, and Qt records that size as the
// normal one. Until the maximised state is confirmed, sizes are not taken as normal.
void TMainForm::TrackNormalPlacement() {
  if (!awaitingMaximized_ && windowState() == Qt::WindowNoState && isVisible()) normalRect_ = geometry();
}

void TMainForm::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  TrackNormalPlacement();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  TrackNormalPlacement();
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && awaitingMaximized_ && !settingState_ && isMaximized())
    awaitingMaximized_ = false;
  if (event->type() == QEvent::WindowStateChange && companions_) companions_->WindowStateChanged();
}

void TMainForm::ApplyPanelSizes() {
  // The upper panel and the tree have no stretch, so these sizes hold as the window is
  // maximised or resized afterwards; the other side takes whatever is left.
  centralWidget()->layout()->activate();
  int across = std::max(panelTop_->width(), storedPanelWidth_ + 100);
  int down = std::max(mainSplitter_->height(), storedPanelHeight_ + kPageDownMinHeight);
  panelTop_->setSizes({storedPanelWidth_, across - storedPanelWidth_});
  mainSplitter_->setSizes({storedPanelHeight_, down - storedPanelHeight_});
}

void TMainForm::StartTimerFired() {
  startTimer_->stop();
  // The news read last is shown again.
  if (auto shown = store_->Read("View/ListNews.ShownNews"); shown && !shown->empty() && shown->find("..") == std::string::npos)
    newsActions_->ShowWhenListed(tree_.AccountsDir() + *shown);
  accounts_->AccountsClick();
  // Every folder is counted off this thread; the counts set the unread marks as they come,
  // and from now on the folders are watched.
  newsActions_->Live()->Start();
}

void TMainForm::RegisterChannelFileType() {
  // The freedesktop counterparts of the file-type registration: a MIME package and a
  // .desktop entry. An installed package brings them for every user; otherwise the program
  // keeps its own copies in the user's data directory, written only when missing or changed.
  QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (dataHome.isEmpty()) return;
  std::string base = dataHome.toStdString();
  const std::string mimePath = base + "/" + kMimeFile, desktopPath = base + "/" + kDesktopFile;
  auto installed = [&dataHome](const char* relative) {
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
      if (dir != dataHome && QFile::exists(dir + "/" + relative)) return true;
    return false;
  };
  if (installed(kMimeFile) && installed(kDesktopFile)) {
    // Copies of ours written before the package came would hide the installed ones.
    if (RemoveOwnCopy(mimePath)) QProcess::startDetached("update-mime-database", {QPath(base + "/mime")});
    if (RemoveOwnCopy(desktopPath)) QProcess::startDetached("update-desktop-database", {QPath(base + "/applications")});
    return;
  }
  std::string program = QCoreApplication::applicationFilePath().toStdString();
  std::string mime = ResourceText(":/skimlet-channel.xml");
  mime.insert(mime.find('\n') + 1, std::string("<!-- ") + kOwnCopyMark + " -->\n");
  std::string desktop = ResourceText(":/skimlet.desktop");
  ReplaceAllText(desktop, "\nExec=skimlet ", "\nExec=\"" + program + "\" ");
  desktop += std::string(kOwnCopyMark) + "=true\n";
  bool mimeChanged = WriteIfChanged(mimePath, mime);
  bool desktopChanged = WriteIfChanged(desktopPath, desktop);
  std::string iconPath = base + "/icons/hicolor/64x64/apps/skimlet.png";
  if (!FileExists(iconPath)) {
    MakeDirs(base + "/icons/hicolor/64x64/apps", nullptr, 0755);
    QFile::copy(":/icons/skimlet.png", QPath(iconPath));
  }
  if (mimeChanged) QProcess::startDetached("update-mime-database", {QPath(base + "/mime")});
  if (desktopChanged) QProcess::startDetached("update-desktop-database", {QPath(base + "/applications")});
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (closing_ || CloseSequence()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TMainForm::CloseSequence() {
  // 1. The history first, so it is saved even when the close is then cancelled.
  history_.SaveHistory(dataDir_, liveSettings_.Get().maxHtmlHistory);
  // 2. Unfinished work.
  bool busy = queue_->Busy() > 0;
  for (const auto& run : runs_) busy = busy || (run && !run->Finished());
  if (busy && !AppDialogs().Question(this, "Skimlet",
                                     QString::fromUtf8("Есть не завершенные потоки загрузки. Продожать выход?"), true))
    return false;
  // 4. The selected folder's macro, while the window can still stay open: a failed save
  // keeps the window and the edits.
  if (!SaveMacroOnClose()) return false;
  closing_ = true;
  // 3. Every run and downloader ends.
  StopAllThreads();
  // 5. The outline of the tree.
  WriteFileAtomic(tree_.AccountsDir() + "folders.txt", tree_.Outline());
  // 6-7. Placement and settings.
  WriteSettings();
  return true;
}

void TMainForm::WriteSettings() {
  SettingsStore& s = *store_;
  const QRect& normal = normalRect_;
  s.Write("MainForm/.Left", std::to_string(normal.left()));
  s.Write("MainForm/.Top", std::to_string(normal.top()));
  s.Write("MainForm/.Right", std::to_string(normal.left() + normal.width()));
  s.Write("MainForm/.Bottom", std::to_string(normal.top() + normal.height()));
  s.Write("MainForm/.WindowState", isMaximized() ? "2" : isMinimized() ? "1" : "0");
  s.Write("Update/BuildInSite", std::to_string(buildInSite_));
  s.Write("View/PanelAccounts.Width", std::to_string(panelAccounts_->width()));
  s.Write("View/PanelTop.Height", std::to_string(panelTop_->height()));
  s.Write("View/Accounts.Selected.Index", std::to_string(tree_.AbsoluteIndex(accounts_->SelectedNode())));
  s.Write("View/Accounts.Selected.Path", tree_.RelativePath(accounts_->SelectedNode()));
  s.Write("View/PageDown.ActivePageIndex", std::to_string(pageDown_->currentIndex()));
  newsActions_->SaveListState([&s](const std::string& key, const std::string& value) { s.Write(key, value); });
  const std::string& shown = newsActions_->ShownNewsPath();
  s.Write("View/ListNews.ShownNews",
          shown.rfind(tree_.AccountsDir(), 0) == 0 ? shown.substr(tree_.AccountsDir().size()) : std::string());
  settingsPage_->Save([&s](const std::string& key, const std::string& value) { s.Write(key, value); });
  if (QAction* ticker = Action("ViewNewNews")) s.Write("Setting/ViewNewNews.Checked", ticker->isChecked() ? "1" : "0");
  s.Sync(nullptr);
}

void TMainForm::StopAllThreads() {
  // Calls from runs return at once from now on; runs waiting for the window are released
  // by the events processed below, so nothing waits on anything that waits on us.
  host_->SetClosing();
  timerAutoStart_->stop();
  scheduler_->SetInterval(0);
  for (auto& run : runs_)
    if (run) run->StopRun();
  for (auto& run : detachedRuns_) run->StopRun();
  queue_->AbortAllAttachments();
  auto alive = [this] {
    for (const auto& run : runs_)
      if (run && run->ChannelNode()) return true;
    for (const auto& run : detachedRuns_)
      if (run->ChannelNode()) return true;
    return queue_->Busy() > 0;
  };
  while (alive()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  for (auto& run : runs_)
    if (run) run->Join();
  for (auto& run : detachedRuns_) run->Join();
}

}  // namespace skimlet
