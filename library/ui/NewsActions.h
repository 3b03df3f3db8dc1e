// What the user does with the news of the listed folder: showing one (page and panel), the
// read and favourite marks with the countdown that marks a shown news read, renaming in place,
// deleting into the trash, taking addresses out of the download history, handing a news or
// its folder to the desktop, and searching. Owns the news actions, the list's context menu
// and the timer "TimerNewOff"; the files are changed by the core.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/RunHost.h"
#include "store/ChannelFolders.h"

class QAction;
class QLineEdit;
class QMenu;
class QMenuBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QWidget;

namespace skimlet {

class AccountsTree;
class DownloadHistory;
class LiveFolders;
class LiveSettings;
class NewsList;
class NewsViewer;
class SearchWindow;

struct NewsContext {
  ChannelTree* tree = nullptr;
  AccountsTree* accounts = nullptr;
  NewsList* list = nullptr;
  NewsViewer* viewer = nullptr;
  QTabWidget* pages = nullptr;  // PageDown, with the viewer on `viewPage`
  QWidget* viewPage = nullptr;
  DownloadHistory* history = nullptr;
  LiveSettings* settings = nullptr;
  QWidget* window = nullptr;  // owns the actions; their shortcuts work anywhere in it
  // Makes an action of the window ("short|long" hint, category).
  std::function<QAction*(const char* name, const QString& caption, const QString& hint, const QString& category)>
      newAction;
  // The window's own actions (download control, pictures) by name.
  std::function<QAction*(const char* name)> action;
  std::function<void(const QString&)> statusText;
  std::function<void()> historyChanged;  // the history list was changed here
};

class NewsActions : public QObject {
  Q_OBJECT

 public:
  explicit NewsActions(NewsContext context);
  ~NewsActions() override;

  // The toolbar above the list, and the "Правка" and "Просмотр" menus.
  void FillToolBar(QToolBar* bar);
  void AddMenus(QMenuBar* bar);
  QMenu* ContextMenu() const { return popupMenuListNews_; }

  void EnableNewsActions(bool on);
  const std::string& ShownNewsPath() const { return shownNewsPath_; }
  bool NewsJustShown() const { return newsJustShown_; }
  const std::string& PendingNewsName() const { return pendingNewsName_; }
  // The existing files of the selected news, in list order.
  std::vector<std::string> SelectedNewsPaths() const;

  // Selects the news's folder and, once it is listed, the news itself.
  void OpenNewsByPath(const std::string& path);
  // The news shown when the window last closed: selected once its folder (the selected
  // node's) is listed.
  void ShowWhenListed(const std::string& path);
  // «Следующая непрочитанная»: the next unread news of the folder, else of the channel's next
  // folders.
  void NextUnreadNews();
  // «Отметить папку прочитанной» / «Отметить канал прочитанным» for the selected node: one
  // pass on a thread of its own; the list, the marks and the counts follow.
  void MarkFolderRead(bool wholeChannel);
  bool Marking() const { return marking_ > 0; }
  // The list's sort, the date column's width and the unread filter, kept in the settings.
  using ReadSetting = std::function<std::optional<std::string>(const std::string& key)>;
  using WriteSetting = std::function<void(const std::string& key, const std::string& value)>;
  void RestoreListState(const ReadSetting& read);
  void SaveListState(const WriteSetting& write) const;
  // A run saved a news (window thread).
  void NewsSaved(const SavedNews& news);
  // Pictures arrived: the panel's counts, and the page when they changed.
  void AttachmentsArrived();

  QLineEdit* RenameBox() const { return editRenameNews_; }
  // What the encoding actions do to the selected news: mark it read as the countdown does,
  // rename it in place and confirm as Enter does, and show it anew once its file changed.
  void TimerNewOffFired();
  void RenameNews();
  void CommitRename();
  void ReloadShownNews();
  SearchWindow* Search();  // made on first use
  LiveFolders* Live() const { return live_; }
  // Whether the reader window is on screen; it comes later, so none is until then.
  void SetReaderVisible(std::function<bool()> visible) { readerVisible_ = std::move(visible); }

 signals:
  // ReadFullScreen: the reader window should show this news under this caption.
  void readerWanted(const QString& path, const QString& caption);
  // For the new-news ticker: a news became unread, or read.
  void newsMarkedUnread(const QString& path, const QString& name);
  void newsMarkedRead(const QString& path);
  // A news file got another name (renamed, made favourite or ordinary).
  void newsRenamed(const QString& oldPath, const QString& newPath);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QAction* Own(const char* name) const;
  void CreateActions();
  void CreateMenus();
  void Connect();

  void ListFolder(const NodePtr& node);
  void Filled(bool anyUnread);
  void FoldersChanged(const QStringList& folders);
  void Refreshed(bool anyUnread, const std::vector<std::string>& changed);
  void SpaceWanted();
  void OnListChange();
  bool DropVanishedRows(const std::vector<int>& rows);
  void DropVanishedSelection();
  void Pressed(int column);
  void MarkAsNotReadExecute(bool fromTimer);
  void MarkAsFavoritesExecute();
  void RefreshMarks(const NodePtr& node);
  void ReadFullScreen();
  void CloseRename();
  void DeleteNews();
  void DeleteURLFromHistory();
  void ViewMSIE();
  void ViewWWW();
  void ViewExplorer();
  void OpenWebAddress(const std::string& url);
  void NewsMoved(const NodePtr& target);
  void Find(const std::string& dir);
  void Show(const std::string& path, const NodePtr& node);

  NewsContext c_;
  QMenu* popupMenuListNews_ = nullptr;
  QMenu* popupFind_ = nullptr;
  QTimer* timerNewOff_ = nullptr;
  QLineEdit* editRenameNews_ = nullptr;
  SearchWindow* search_ = nullptr;
  LiveFolders* live_ = nullptr;
  std::function<bool()> readerVisible_;

  std::string shownNewsPath_;
  std::int64_t shownModified_ = 0;  // the shown file's time when it was shown
  std::string pendingNewsName_;
  std::string pendingOnceName_;   // selected by the next fill only
  bool firstUnreadPending_ = false;
  int marking_ = 0;  // bulk marks under way  // the next fill selects its first unread news
  bool newsJustShown_ = false;
  NodePtr listedNode_;  // the folder the list shows

  struct RenameState {
    std::string path, fileName;
    NodePtr node;
  } rename_;
  bool committing_ = false;
};

}  // namespace skimlet
