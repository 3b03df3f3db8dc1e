// Everything a download run does to the window goes through this interface. The window
// carries each call out on its own thread while the run waits; the command line prints.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/ChannelFolders.h"
#include "store/Settings.h"

namespace skimlet {

class TDownload;

// What the window shows of the run of the shown channel.
struct RunView {
  NodePtr channel;
  std::string startURL;   // shown in IndexHTMLUrlDebug
  std::string newsURL;    // shown in NewsUrlDebug
  // ListBoxLog follows the run's log: it starts over when its first line differs and
  // otherwise takes the last line. The whole log is copied only when it must start over.
  std::string firstLine, lastLine;
  std::size_t logSize = 0;
  std::function<std::vector<std::string>()> wholeLog;
  bool finished = false;
};

struct SavedNews {
  NodePtr channel;
  NodePtr folder;
  std::string newsName;   // Windows-1251
  std::string path;       // UTF-8 file path
  std::string dateTime;   // short date + long time, Windows-1251
};

class RunHost {
 public:
  virtual ~RunHost() = default;

  // Is `channel` the channel the window shows? A run logs only while it is.
  virtual bool IsShownChannel(const NodePtr& channel) = 0;
  // Is `channel` the channel of the tree's selected node?
  virtual bool IsSelectedChannel(const NodePtr& channel) = 0;

  // A line was added to the run's log.
  virtual void LogAdded(TDownload& run, const std::string& line) = 0;
  // URL fields and the log list, for the shown channel.
  virtual void ShowRunState(const RunView& view) = 0;
  // A node's image index or bold mark changed in the tree; the selected node's icon follows.
  virtual void NodeChanged(const NodePtr& node) = 0;
  // The stop action goes into its pressed state (the shown run has finished).
  virtual void PressStop() = 0;
  // The pause action goes into its pressed state (a step-mode run pauses itself).
  virtual void PressPause() = 0;
  // Status bar text. Progress frames come many times a second: a host may coalesce them.
  virtual void StatusText(const std::string& text, bool progressFrame) = 0;
  // A news file was written: news-list row (when its folder is selected) and ticker entry.
  virtual void NewsSaved(const SavedNews& news) = 0;
  // The history as a run starts a channel with it (lines ended by CR LF): the history file
  // as it is now, less what the user removed in this process. Called on the run's thread.
  virtual std::string HistoryText() = 0;
  // A line for the history list (the list is then trimmed to its limit).
  virtual void AddHistoryLine(const std::string& line) = 0;
  // The settings as they are now.
  virtual RunSettings Settings() = 0;
};

// A host that shows nothing and keeps nothing: what a scratch run (the macro preview, the
// check of a folder) builds on.
class QuietRunHost : public RunHost {
 public:
  explicit QuietRunHost(const RunSettings& settings = {}) : settings_(settings) {}
  bool IsShownChannel(const NodePtr&) override { return false; }
  bool IsSelectedChannel(const NodePtr&) override { return false; }
  void LogAdded(TDownload&, const std::string&) override {}
  void ShowRunState(const RunView&) override {}
  void NodeChanged(const NodePtr&) override {}
  void PressStop() override {}
  void PressPause() override {}
  void StatusText(const std::string&, bool) override {}
  void NewsSaved(const SavedNews&) override {}
  std::string HistoryText() override { return {}; }
  void AddHistoryLine(const std::string&) override {}
  RunSettings Settings() override { return settings_; }

 private:
  RunSettings settings_;
};

}  // namespace skimlet
