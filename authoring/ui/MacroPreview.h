// The macro editor's preview pane: what the selected step would do on the last pages of the
// channel's run, worked out by the core (authoring/MacroPreview) a moment after the last
// edit. It fetches a page only when its button is pressed.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "authoring/MacroPreview.h"
#include "store/History.h"

class QLabel;
class QListView;
class QPushButton;
class QStackedWidget;
class QTextBrowser;
class QTimer;

namespace skimlet {

class PreviewLinkModel;

class MacroPreviewPane : public QWidget {
  Q_OBJECT

 public:
  // What the pane works with, asked for at every update.
  struct Context {
    NodePtr folder;                     // the folder whose macro is edited
    FetchedPages runPages;              // the pages of the channel's last run
    const DownloadHistory* history = nullptr;
    RunSettings settings;
    std::function<std::string()> channelStartURL;  // GetStart's URL in the channel folder
  };

  explicit MacroPreviewPane(ChannelTree& tree, QWidget* parent = nullptr);
  ~MacroPreviewPane() override;

  void SetContextSource(std::function<Context()> source);
  // The step to preview; the update follows after a short pause (TimerPreview).
  void SetStep(const MacroTable* table, int step);
  void Schedule();
  void UpdateNow();
  // A run has fetched new pages since the last update: update.
  void CheckRunPages();
  // Fetches the page the step works on (PreviewFetch), in a thread of its own.
  void FetchPage();
  bool Fetching() const { return fetch_ != nullptr; }

  const StepPreview& Shown() const { return shown_; }
  QLabel* Summary() const { return summary_; }
  QTextBrowser* Text() const { return text_; }
  QListView* Links() const { return links_; }
  QPushButton* FetchButton() const { return fetchButton_; }
  QTimer* Timer() const { return timer_; }

 private:
  void Show(const StepPreview& p);
  void FetchDone(const PreviewPageRequest& request, PreviewFetch::Result result);
  PreviewInput Input(const Context& context);
  FetchedPages Pages(const Context& context);
  const HistorySnapshot* History(const Context& context);

  ChannelTree& tree_;
  std::function<Context()> context_;
  const MacroTable* table_ = nullptr;
  int step_ = -1;
  StepPreview shown_;

  // Pages fetched with the button: used until the run fetches newer ones, or the folder changes.
  FetchedPages own_;
  NodePtr ownChannel_;
  std::shared_ptr<const std::string> seenRunIndex_, seenRunNews_;
  std::string fetchNote_;  // Windows-1251: how the last fetch ended, until the next step

  HistorySnapshot history_;
  std::uint64_t historyVersion_ = 0;
  PreviewCache cache_;
  std::size_t historyCount_ = 0;
  std::string historyLast_;
  bool historyBuilt_ = false;

  std::unique_ptr<PreviewFetch> fetch_;
  std::thread fetchThread_;

  QTimer* timer_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* source_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QTextBrowser* text_ = nullptr;
  QListView* links_ = nullptr;
  PreviewLinkModel* linkModel_ = nullptr;
  QPushButton* fetchButton_ = nullptr;
};

}  // namespace skimlet
