// The main window hands its companions what they need of it.
#include <QAction>
#include <QCheckBox>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>

#include "library/ui/AccountsTree.h"
#include "platform/Files.h"
#include "qt/QtText.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/SettingsPage.h"

namespace skimlet {

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
  c.openNews = [this](const std::string& path) {
    // The folder of the news, selected in the tree.
    for (const NodePtr& node : tree_.InTreeOrder()) {
      const std::string dir = tree_.FolderPath(node);
      if (path.compare(0, dir.size(), dir) == 0 && path.find('/', dir.size()) == std::string::npos) {
        accounts_->SelectNode(node);
        return;
      }
    }
  };
  c.showHelpPage = [this](const QString& file) {
    pageDown_->setCurrentWidget(tabView_);
    view_->load(QUrl::fromLocalFile(file));
  };
  companions_ = std::make_unique<Companions>(std::move(c));
}

}  // namespace skimlet
