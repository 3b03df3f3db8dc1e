#include "shell/WindowRunHost.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "qt/QtText.h"
#include "store/History.h"

namespace skimlet {

WindowRunHost::WindowRunHost(DownloadHistory& history, LiveSettings& settings, WindowRunActions actions)
    : history_(history), settings_(settings), actions_(std::move(actions)) {}

void WindowRunHost::SetShownChannel(const NodePtr& channel) {
  std::lock_guard lock(mutex_);
  shown_ = channel;
}

void WindowRunHost::SetSelectedChannel(const NodePtr& channel) {
  std::lock_guard lock(mutex_);
  selected_ = channel;
}

void WindowRunHost::SetClosing() { closing_ = true; }

bool WindowRunHost::IsShownChannel(const NodePtr& channel) {
  std::lock_guard lock(mutex_);
  return channel && channel == shown_;
}

bool WindowRunHost::IsSelectedChannel(const NodePtr& channel) {
  std::lock_guard lock(mutex_);
  return channel && channel == selected_;
}

void WindowRunHost::OnWindowThread(const std::function<void()>& fn) {
  if (closing_) return;
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  // The window thread may be closing meanwhile: it sets closing_ first, then stops and
  // joins the runs, which wakes this wait by processing the queued call or discarding it.
  QMetaObject::invokeMethod(
      this,
      [this, &fn] {
        if (!closing_) fn();
      },
      Qt::BlockingQueuedConnection);
}

void WindowRunHost::ShowRunState(const RunView& view) {
  // The run asked on its own thread; the user may have switched channels before the window
  // got to it, so the window decides again when the view arrives.
  if (actions_.showRunState)
    OnWindowThread([&] {
      if (IsShownChannel(view.channel)) actions_.showRunState(view);
    });
}

void WindowRunHost::NodeChanged(const NodePtr& node) {
  if (actions_.nodeChanged) OnWindowThread([&] { actions_.nodeChanged(node); });
}

void WindowRunHost::PressStop() {
  if (actions_.pressStop) OnWindowThread(actions_.pressStop);
}

void WindowRunHost::PressPause() {
  if (actions_.pressPause) OnWindowThread(actions_.pressPause);
}

void WindowRunHost::StatusText(const std::string& text, bool progressFrame) {
  if (closing_ || !actions_.statusText) return;
  if (!progressFrame) {
    OnWindowThread([&] { actions_.statusText(Q(text)); });
    return;
  }
  std::lock_guard lock(postMutex_);
  pendingStatus_ = Q(text);
  if (statusPosted_) return;
  statusPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        QString text;
        {
          std::lock_guard lock(postMutex_);
          text = pendingStatus_;
          statusPosted_ = false;
        }
        if (!closing_) actions_.statusText(text);
      },
      Qt::QueuedConnection);
}

void WindowRunHost::NewsSaved(const SavedNews& news) {
  if (actions_.newsSaved) OnWindowThread([&] { actions_.newsSaved(news); });
}

// The history is safe to read from any thread; the file is read on the run's, not the window's.
std::string WindowRunHost::HistoryText() { return history_.SnapshotText(); }

void WindowRunHost::AddHistoryLine(const std::string& line) {
  OnWindowThread([&] {
    history_.Add(line, settings_.Get().maxHtmlHistory);
    if (actions_.historyLineAdded) actions_.historyLineAdded(line);
  });
}

void WindowRunHost::LampChanged(int slot, const LampState&) {
  if (closing_ || !actions_.lampChanged) return;
  std::lock_guard lock(postMutex_);
  lampsDirty_ |= 1u << slot;
  if (lampsPosted_) return;
  lampsPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        unsigned dirty;
        {
          std::lock_guard lock(postMutex_);
          dirty = lampsDirty_;
          lampsDirty_ = 0;
          lampsPosted_ = false;
        }
        for (int s = 0; s < kDownloaderSlots && !closing_; ++s)
          if (dirty & (1u << s)) actions_.lampChanged(s);
      },
      Qt::QueuedConnection);
}

void WindowRunHost::AttachmentFailed(const AttachmentEntry&, const std::string& message) {
  if (closing_ || !actions_.attachmentFailed) return;
  // A downloader does not wait for the window.
  QMetaObject::invokeMethod(
      this,
      [this, message] {
        if (!closing_) actions_.attachmentFailed(message);
      },
      Qt::QueuedConnection);
}

void WindowRunHost::QueueOverflow(const std::string& message) {
  if (actions_.queueOverflow) OnWindowThread([&] { actions_.queueOverflow(message); });
}

}  // namespace skimlet
