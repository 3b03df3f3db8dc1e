// A run host for tests: records everything a run does to the window.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/DownLoad.h"
#include "engine/RunHost.h"
#include "platform/Text.h"
#include "store/History.h"

namespace skimlet::test {

class RecordingHost : public RunHost {
 public:
  RunSettings settings;
  DownloadHistory history;
  bool shown = true;      // every run's channel counts as the shown one
  bool selected = false;  // ... and as the selected one when true

  bool IsShownChannel(const NodePtr& channel) override { return shown && channel; }
  bool IsSelectedChannel(const NodePtr& channel) override { return selected && channel; }
  void LogAdded(TDownload&, const std::string& line) override {
    std::lock_guard lock(mutex_);
    log_.push_back(line);
  }
  void ShowRunState(const RunView& view) override {
    std::lock_guard lock(mutex_);
    ++showCount_;
    lastView_ = view;
  }
  void NodeChanged(const NodePtr&) override {}
  void PressStop() override {
    std::lock_guard lock(mutex_);
    ++stopPressed_;
  }
  void PressPause() override {
    std::lock_guard lock(mutex_);
    ++pausePressed_;
  }
  void StatusText(const std::string& text, bool) override {
    std::lock_guard lock(mutex_);
    status_ = text;
  }
  void NewsSaved(const SavedNews& news) override {
    std::lock_guard lock(mutex_);
    saved_.push_back(news);
  }
  std::string HistoryText() override { return history.SnapshotText(); }
  void AddHistoryLine(const std::string& line) override { history.Add(line, settings.maxHtmlHistory); }
  RunSettings Settings() override { return settings; }

  // The log as UTF-8 lines.
  std::vector<std::string> Log() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& l : log_) out.push_back(Win1251ToUtf8(l));
    return out;
  }
  std::string LogText() const {
    std::string all;
    for (const auto& l : Log()) all += l + "\n";
    return all;
  }
  std::string Status() const {
    std::lock_guard lock(mutex_);
    return status_;
  }
  std::vector<SavedNews> Saved() const {
    std::lock_guard lock(mutex_);
    return saved_;
  }
  int PausePressed() const {
    std::lock_guard lock(mutex_);
    return pausePressed_;
  }
  int StopPressed() const {
    std::lock_guard lock(mutex_);
    return stopPressed_;
  }
  RunView LastView() const {
    std::lock_guard lock(mutex_);
    return lastView_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  std::vector<SavedNews> saved_;
  std::string status_;
  RunView lastView_;
  int showCount_ = 0, pausePressed_ = 0, stopPressed_ = 0;
};

}  // namespace skimlet::test
