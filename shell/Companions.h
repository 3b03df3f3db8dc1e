// The main window's companions: the tray icon, the ticker, the reader, the about and tips
// windows, the help and maker's links, the encoding actions and the notices of new news
// while the window is hidden. The main window makes them once and drives them from its
// timer; they reach the window only through the context it hands over.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/RunHost.h"
#include "shell/EncodingActions.h"

class QAction;
class QMainWindow;
class QMenu;

namespace skimlet {

class SettingsStore;
class TAboutForm;
class TNewNewsForm;
class TReader;
class TTipsForm;
class TrayIcon;

struct CompanionsContext {
  QMainWindow* window = nullptr;
  ChannelTree* tree = nullptr;
  SettingsStore* store = nullptr;
  std::string dataDir;
  int ownBuild = 0;
  std::function<QAction*(const char* name)> action;
  // Makes an action of the window ("short|long" hint, category).
  std::function<QAction*(const char* name, const QString& caption, const QString& hint, const QString& category)>
      newAction;
  std::function<bool()> notifyWanted;                         // "Уведомлять о новых статьях"
  std::function<bool(const NodePtr& channel)> channelRunning;  // a run of the channel is alive
  std::function<int()> buildInSite;
  std::function<void(const std::string& path)> openNews;  // select the news's folder and the news
  std::function<void(const QString& file)> showHelpPage;  // in the viewer, on its page
  std::function<bool()> trayAvailable;                     // a tray shows our icon
  EncodingHooks encoding;
};

class Companions : public QObject {
  Q_OBJECT

 public:
  explicit Companions(CompanionsContext context);
  ~Companions() override;

  // Every 250 ms: the tray's animation while any folder downloads, the ticker shown while
  // anything is unread, the new-version item, the notices of finished runs.
  void Tick(bool downloading);
  // The main window's state changed: a minimised window hides into the tray, if there is one.
  void WindowStateChanged();
  void RestoreFromTray();
  bool HiddenInTray() const { return hiddenInTray_; }
  // A run saved a news (window thread): the ticker takes it; a notice gathers it.
  void NewsSaved(const SavedNews& news);
  // Opens a news by its path as the ticker and the notices do.
  void OpenNews(const std::string& path);
  // Shows a news in the reader.
  void ReadFullScreen(const QString& path, const QString& caption);

  TNewNewsForm* Ticker() const { return ticker_.get(); }
  TReader* Reader() const { return reader_.get(); }
  TAboutForm* About() const { return about_.get(); }
  TrayIcon* Tray() const { return tray_; }
  EncodingActions* Encoding() const { return encoding_; }
  TTipsForm* Tips();  // made on first use
  QMenu* PopupMenuTray() const { return popupMenuTray_; }
  // Seams for tests: where notices go, and whether a tray is there.
  void SetNotifier(std::function<void(const QString& title, const QString& text)> notifier);
  void SetTrayAvailable(std::function<bool()> available) { c_.trayAvailable = std::move(available); }

 private:
  void CreateActions();
  void CreateMenus();
  void HelpExecute();
  void SendMail(const char* address, const char* subjectAndBody);
  bool AnyUnread() const;
  void NotifyFinishedRuns();

  CompanionsContext c_;
  std::unique_ptr<TReader> reader_;
  std::unique_ptr<TAboutForm> about_;
  std::unique_ptr<TNewNewsForm> ticker_;
  std::unique_ptr<TTipsForm> tips_;
  TrayIcon* tray_ = nullptr;
  QMenu* popupMenuTray_ = nullptr;
  EncodingActions* encoding_ = nullptr;
  bool hiddenInTray_ = false;
  std::function<void(const QString&, const QString&)> notifier_;

  // News saved while hidden, gathered per channel until its run ends.
  struct Pending {
    NodePtr channel;
    int count = 0;
    std::string firstPath;
  };
  std::vector<Pending> pending_;
  std::string noticePath_;  // the first news of the last notice
};

}  // namespace skimlet
