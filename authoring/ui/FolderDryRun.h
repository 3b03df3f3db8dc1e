// «Проверить папку» on the macro page: a dry run of the selected folder's saved macro against
// the live site, on a thread of its own, listing what would be saved (address and name), what
// the history skips and how the folder ended. Nothing is written.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/RunHost.h"
#include "store/Settings.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace skimlet {

class TDownload;

class FolderDryRunPane : public QWidget {
  Q_OBJECT

 public:
  // What a check needs, asked for when the button is pressed.
  struct Context {
    std::string dataDir;     // UTF-8
    std::string folderPath;  // the folder whose macro file is checked; empty: none
    bool macroEdited = false;  // the editor holds edits the file does not have yet
    RunSettings settings;
    std::function<std::string()> historyText;  // called on the run's thread
  };

  explicit FolderDryRunPane(QWidget* parent = nullptr);
  ~FolderDryRunPane() override;  // stops a check and waits for its thread

  void SetContextSource(std::function<Context()> source) { context_ = std::move(source); }
  QPushButton* Button() const { return button_; }
  QListWidget* Results() const { return results_; }
  QLabel* Summary() const { return summary_; }
  bool Running() const { return run_ != nullptr; }

  void Start();
  // The folder changed: a running check stops, and what a check found goes.
  void Stop();

 signals:
  void finished();

 private:
  class Host;
  void Poll();
  void Finish();

  std::function<Context()> context_;
  QPushButton* button_ = nullptr;
  QLabel* summary_ = nullptr;
  QListWidget* results_ = nullptr;
  QTimer* poll_ = nullptr;
  bool edited_ = false;
  // The run works on a tree of its own, so that it never touches the window's.
  std::unique_ptr<ChannelTree> tree_;
  NodePtr folder_;  // the checked folder, in tree_
  std::unique_ptr<Host> host_;
  std::unique_ptr<TDownload> run_;
};

}  // namespace skimlet
