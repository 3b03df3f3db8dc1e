// SaveChannel and OpenCannel: a channel's set-up exported to a .skc file and imported from one,
// through the dialogs seam and the same core functions and checks as skimlet-cli export and
// import (the whole file checked first, unsafe names refused, nothing written on an error).
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "store/ChannelFolders.h"

class QWidget;

namespace skimlet {

class AccountsTree;

class ChannelFileActions {
 public:
  struct Hooks {
    QWidget* parent = nullptr;
    ChannelTree* tree = nullptr;
    AccountsTree* accounts = nullptr;
    std::string dataDir;
    // Before a channel is exported: unsaved edits of its folders are settled. False: stop.
    std::function<bool(const NodePtr& channel)> beforeExport;
    // After an import: the folders written (the channel first). The window selects the channel.
    std::function<void(const NodePtr& channel, const std::vector<NodePtr>& written)> afterImport;
    std::function<void(const QString& text)> status;
  };

  explicit ChannelFileActions(Hooks hooks);

  void SaveChannelExecute();
  void OpenCannelExecute();
  // A file named on the command line or handed over by another copy: imported after the
  // same questions, and a question of its own before a channel the tree lacks is added.
  void OfferImport(const QString& path);

  // Where both dialogs start; empty until the first use creates "Configure Channells".
  const QString& DialogDir() const { return dialogDir_; }

 private:
  void PrepareDialogDir();
  void Import(const QString& path, bool offered);

  Hooks h_;
  QString dialogDir_;
};

}  // namespace skimlet
