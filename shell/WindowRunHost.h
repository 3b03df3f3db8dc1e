// The window's run host: every call a download run or a downloader makes is carried out on
// the window's thread, in order, with the caller waiting (progress frames and lamps are
// posted and coalesced instead). Once closing, every call returns at once.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "attachments/DownLoadAttachment.h"
#include "engine/RunHost.h"
#include "store/Settings.h"

namespace skimlet {

class DownloadHistory;

// What the window does with the calls; all of these run on the window's thread.
struct WindowRunActions {
  std::function<void(const RunView&)> showRunState;
  std::function<void(const NodePtr&)> nodeChanged;
  std::function<void()> pressStop;
  std::function<void()> pressPause;
  std::function<void(const QString&)> statusText;
  std::function<void(const SavedNews&)> newsSaved;
  std::function<void(const std::string&)> historyLineAdded;  // after the list took it
  std::function<void(int slot)> lampChanged;
  std::function<void(const std::string&)> queueOverflow;
  std::function<void(const std::string&)> attachmentFailed;  // a red line in the log
};

class WindowRunHost : public QObject, public RunHost, public AttachmentHost {
  Q_OBJECT
 public:
  WindowRunHost(DownloadHistory& history, LiveSettings& settings, WindowRunActions actions);

  // Window thread: the channel shown and the channel of the selected node.
  void SetShownChannel(const NodePtr& channel);
  void SetSelectedChannel(const NodePtr& channel);
  // From now on every call returns at once (the window is closing).
  void SetClosing();

  bool IsShownChannel(const NodePtr& channel) override;
  bool IsSelectedChannel(const NodePtr& channel) override;
  void LogAdded(TDownload&, const std::string&) override {}
  void ShowRunState(const RunView& view) override;
  void NodeChanged(const NodePtr& node) override;
  void PressStop() override;
  void PressPause() override;
  void StatusText(const std::string& text, bool progressFrame) override;
  void NewsSaved(const SavedNews& news) override;
  std::string HistoryText() override;
  void AddHistoryLine(const std::string& line) override;
  RunSettings Settings() override { return settings_.Get(); }

  void LampChanged(int slot, const LampState& lamp) override;
  void QueueOverflow(const std::string& message) override;
  void AttachmentFailed(const AttachmentEntry& entry, const std::string& message) override;

 private:
  // Runs `fn` on the window's thread and waits for it; at once when already there.
  void OnWindowThread(const std::function<void()>& fn);

  DownloadHistory& history_;
  LiveSettings& settings_;
  WindowRunActions actions_;
  std::mutex mutex_;
  NodePtr shown_, selected_;
  std::atomic<bool> closing_{false};
  // Coalesced updates: one posted event carries the latest state.
  std::mutex postMutex_;
  QString pendingStatus_;
  bool statusPosted_ = false;
  unsigned lampsDirty_ = 0;
  bool lampsPosted_ = false;
};

}  // namespace skimlet
