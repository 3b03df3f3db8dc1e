// The main window: the channel tree, the news list, the lower pages (viewer, macro, log,
// settings), the attachment lamps, the menus and toolbars, and the download control.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "attachments/DownLoadAttachment.h"
#include "authoring/Auto.h"
#include "engine/DownLoad.h"
#include "store/ChannelFolders.h"
#include "store/History.h"
#include "store/MacroFile.h"
#include "store/Settings.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QSplitter;
class QTabWidget;
class QTimer;
class QWebEngineView;

namespace skimlet {

class AccountsTree;
class ChannelFileActions;
class AutoDownloadScheduler;
class Companions;
class LampsPanel;
class MacroEditor;
class LogPage;
class NewsActions;
class NewsList;
class NewsViewer;
class SettingsPage;
class WindowRunHost;
class SettingsStore;

inline constexpr int kRunSlots = 1001;
inline constexpr int kOwnBuild = 102;
inline constexpr int kPageDownMinHeight = 120;
inline constexpr int kPanelTopMinHeight = 60;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(std::string dataDir, QWidget* parent = nullptr);
  ~TMainForm() override;

  // False when start-up failed and the program must end.
  bool Ready() const { return ready_; }

  // The parts tests look at.
  ChannelTree& Tree() { return tree_; }
  AccountsTree* Accounts() const { return accounts_; }
  LogPage* Log() const { return logPage_; }
  SettingsPage* Settings() const { return settingsPage_; }
  AttachmentQueue& Queue() { return *queue_; }
  DownloadHistory& History() { return history_; }
  TDownload* RunOfSlot(int slot) const { return runs_[slot].get(); }
  QAction* Action(const char* name) const;
  NewsList* ListNews() const { return listNews_; }
  NewsViewer* Viewer() const { return newsViewer_; }
  NewsActions* News() const { return newsActions_; }
  NodePtr ShownChannel() const { return shownChannel_; }
  AutoDownloadScheduler& Scheduler() { return *scheduler_; }
  Companions* Companion() const { return companions_.get(); }
  const std::string& DataDir() const { return dataDir_; }

  // The download actions as the user triggers them (check mark flipped first).
  void Trigger(const char* actionName);

  MacroEditor* Editor() const { return macroEditor_; }
  const FolderMacro& Macro() const { return macro_; }
  // Offers the import of a channel file named on the command line or handed over by another copy.
  void OfferChannelImport(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Building the window.
  void CreateActions();
  void CreateLayout();
  void CreateMenus();
  QAction* NewAction(const char* name, const QString& caption, const QString& hint, const QString& category);

  // Start-up and shutdown.
  void RestoreSequence();
  void StartTimerFired();
  void RegisterChannelFileType();
  bool CloseSequence();
  void StopAllThreads();
  void WriteSettings();
  void RestorePlacement();
  void ApplyPanelSizes();
  void TrackNormalPlacement();
  void ApplyStoredState(int waits);
  void CheckMaximized(int tries);

  // Tree selection and the download control.
  void OnChanging(const NodePtr& node, const NodePtr& old);
  void ReflectRunState();
  int SlotOf(const NodePtr& channel) const;
  NodePtr SelectedChannel() const;
  void DownloadHandler(bool oneStepTrigger);
  void DownloadOneStepHandler();
  void DownloadPauseHandler();
  void DownLoadStopHandler();
  void DowlnloadAbortAllHandler();
  void CheckRadio(const char* name);
  void TimerAutoStartTick();
  // The selection mode refuses to start a run: two red log lines, Stop pressed.
  bool RefuseInSelectionMode();
  // A new run of `channel` in its slot (a live run of another channel there is set aside).
  void StartRun(int slot, const NodePtr& channel, bool stepMode, const std::string& startNote);

  // Automatic downloads (shell/MainSchedule.cpp).
  void StartScheduledRound();
  bool ScheduledRoundRunning() const;

  // Run host calls, on the window thread.
  void ShowRunView(const RunView& view);
  void UpdateLamp(int slot);

  void DownloadPicturesExecute();
  void CreateCompanions();
  void LogLine(const std::string& message, std::uint32_t colour);

  // The macro editor and the channel files (MainMacro.cpp).
  void CreateMacroActions();
  QWidget* CreateMacroPage();
  void CreateMacroMenu();
  void WireMacroEditor(FolderMacro::View& view);
  void MacroFolderChanging(const NodePtr& node, const NodePtr& old);
  // Saves the folder's macro when it was changed, after the question when `ask`, and loads it
  // again once written. False when the write failed: the user has been told, the edits stay.
  bool SaveMacroOf(const NodePtr& node, bool ask);
  void SaveMacroExecute();
  bool SaveMacroOnClose();

  std::string dataDir_;
  bool ready_ = false;
  bool closing_ = false;

  ChannelTree tree_;
  DownloadHistory history_;
  LiveSettings liveSettings_;
  CommandCatalogue catalogue_;
  FolderMacro macro_;
  NodePtr macroNode_;  // the folder whose macro is in macro_
  std::unique_ptr<SettingsStore> store_;
  std::unique_ptr<WindowRunHost> host_;
  std::unique_ptr<AttachmentQueue> queue_;
  std::array<std::unique_ptr<TDownload>, kRunSlots> runs_;
  std::vector<std::unique_ptr<TDownload>> detachedRuns_;
  std::unique_ptr<AutoDownloadScheduler> scheduler_;
  std::vector<NodePtr> scheduledRound_;  // the channels the last scheduled round started
  NodePtr shownChannel_;
  int buildInSite_ = kOwnBuild;
  // Placement read at start-up, applied once the window is on screen.
  int storedState_ = 2;
  int storedPanelWidth_ = 190;
  int storedPanelHeight_ = 233;
  bool placementPending_ = false;
  QRect normalRect_;  // the window's last normal placement
  bool awaitingMaximized_ = false;
  bool settingState_ = false;

  // Widgets.
  AccountsTree* accounts_ = nullptr;
  NewsList* listNews_ = nullptr;
  NewsViewer* newsViewer_ = nullptr;
  NewsActions* newsActions_ = nullptr;
  QWebEngineView* view_ = nullptr;
  QTabWidget* pageDown_ = nullptr;
  QWidget* tabView_ = nullptr;
  QWidget* tabMacro_ = nullptr;
  QWidget* tabInfo_ = nullptr;
  QWidget* tabSetting_ = nullptr;
  LogPage* logPage_ = nullptr;
  SettingsPage* settingsPage_ = nullptr;
  LampsPanel* lamps_ = nullptr;
  QWidget* panelAccounts_ = nullptr;
  QSplitter* panelTop_ = nullptr;
  QSplitter* mainSplitter_ = nullptr;
  QSplitter* accountsSplitter_ = nullptr;
  QMenu* popupAccounts_ = nullptr;
  QTimer* startTimer_ = nullptr;
  QTimer* timerAutoStart_ = nullptr;
  QActionGroup* downloadGroup_ = nullptr;
  MacroEditor* macroEditor_ = nullptr;
  std::unique_ptr<ChannelFileActions> channelFiles_;
  std::unique_ptr<Companions> companions_;  // last: gone before what it uses
};

}  // namespace skimlet
