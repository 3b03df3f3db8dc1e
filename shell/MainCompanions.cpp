// The main window hands its companions what they need of it, and ties the news list to them.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "library/TickerItems.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/LiveFolders.h"
#include "library/ui/NewsActions.h"
#include "platform/Text.h"
#include "qt/QtText.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/NewNewsUnit.h"
#include "shell/ReaderCode.h"
#include "shell/SettingsPage.h"

namespace skimlet {

namespace {
// The ticker's bare name of a news file path (UTF-8), as Windows-1251.
std::string TickerNameOfPath(const QString& path) {
  return TickerNameOf(CaptionFromDisk(path.mid(path.lastIndexOf('/') + 1).toStdString()));
}
}  // namespace

void TMainForm::CreateCompanions() {
  CompanionsContext c;
  c.window = this;
  c.tree = &tree_;
  c.store = store_.get();
  c.dataDir = dataDir_;
  c.ownBuild = kOwnBuild;
  c.action = [this](const char* name) { return Action(name); };
  c.newAction = [this](const char* name, const QString& caption, const QString& hint, const QString& category) {
    return NewAction(name, caption, hint, category);
  };
  c.notifyWanted = [this] {
    auto* check = settingsPage_->findChild<QCheckBox*>("NotifyNewNews");
    return check && check->isChecked();
  };
  c.channelRunning = [this](const NodePtr& channel) {
    int slot = SlotOf(channel);
    return slot >= 0 && runs_[slot] && runs_[slot]->ChannelNode() == channel;
  };
  c.buildInSite = [this] { return buildInSite_; };
  c.openNews = [this](const std::string& path) { newsActions_->OpenNewsByPath(path); };
  c.showHelpPage = [this](const QString& file) {
    pageDown_->setCurrentWidget(tabView_);
    view_->load(QUrl::fromLocalFile(file));
  };
  EncodingHooks& e = c.encoding;
  e.selectedNews = [this] { return newsActions_->SelectedNewsPaths(); };
  e.markSelectedRead = [this] { newsActions_->TimerNewOffFired(); };
  e.converted = [this](const std::string&) { newsActions_->ReloadShownNews(); };
  e.startRename = [this]() -> QLineEdit* {
    newsActions_->RenameNews();
    QLineEdit* box = newsActions_->RenameBox();
    return box->isVisible() ? box : nullptr;
  };
  e.confirmRename = [this] { newsActions_->CommitRename(); };
  companions_ = std::make_unique<Companions>(std::move(c));

  // The news list and the companions.
  NewsActions* news = newsActions_;
  TNewNewsForm* ticker = companions_->Ticker();
  newsActions_->SetReaderVisible([this] { return companions_->Reader()->isVisible(); });
  connect(news, &NewsActions::readerWanted, companions_.get(), &Companions::ReadFullScreen);
  connect(news, &NewsActions::newsMarkedUnread, ticker, [this, ticker](const QString& path, const QString& name) {
    ticker->TickerAdd(accounts_->ListedNode(), Win(name), path.toStdString());
  });
  connect(news, &NewsActions::newsMarkedRead, ticker,
          [ticker](const QString& path) { ticker->TickerRemove(path.toStdString()); });
  connect(news, &NewsActions::newsRenamed, ticker, [ticker](const QString& from, const QString& to) {
    ticker->TickerRename(from.toStdString(), to.toStdString(), TickerNameOfPath(to));
  });
  // Whatever any process does to the folders, the ticker (and with it the tray's count)
  // follows the counts the tree shows.
  connect(news->Live(), &LiveFolders::folderCounted, ticker, [ticker](const NodePtr& node, const FolderCount& count) {
    ticker->TickerSyncFolder(node, count.folder, count.unreadFiles);
  });
  connect(accounts_, &AccountsTree::foldersDropped, ticker, [ticker](const QStringList& folders) {
    for (const QString& folder : folders) ticker->TickerSyncFolder(nullptr, folder.toStdString(), {});
  });
  QMenu* popup = news->ContextMenu();
  for (QAction* item : popup->actions())
    if (item->menu() && item->menu()->objectName() == "PopupFind") {
      popup->insertMenu(item, companions_->Encoding()->ContextSubMenu());
      break;
    }
  if (auto* bar = findChild<QToolBar*>("ToolBarNews")) bar->addAction(Action("Help"));
  // The status bar shows the address of the link under the pointer.
  connect(view_->page(), &QWebEnginePage::linkHovered, this,
          [this](const QString& url) { statusBar()->showMessage(url); });
}

}  // namespace skimlet
