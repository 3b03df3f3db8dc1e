// skimlet-cli download: the channels' runs at once, exactly as the window starts them,
// with every log line printed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "attachments/DownLoadAttachment.h"
#include "cli/Commands.h"
#include "engine/DownLoad.h"
#include "fetch/Transfer.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "qt/SettingsStore.h"
#include "store/Feed.h"
#include "store/History.h"

namespace skimlet::cli {

namespace {

const char* AnsiColour(const std::string& number) {
  if (number == "128") return "\033[35m";       // dark red: ordinary progress, not to be read as a failure
  if (number == "255") return "\033[1;31m";     // red
  if (number == "32768") return "\033[32m";     // green
  if (number == "32896") return "\033[33m";     // olive
  if (number == "16711680") return "\033[34m";  // blue
  return "\033[0m";
}

class CliHost : public RunHost, public AttachmentHost {
 public:
  CliHost(DownloadHistory& history, RunSettings settings, bool pretty, bool progress)
      : history_(history), settings_(settings), pretty_(pretty), progress_(progress) {}

  bool IsShownChannel(const NodePtr& channel) override { return channel != nullptr; }
  bool IsSelectedChannel(const NodePtr&) override { return false; }

  void LogAdded(TDownload&, const std::string& line) override { Print(line); }

  // A log line, Windows-1251: "colour caption> message".
  void Print(const std::string& line) {
    std::string text = Win1251ToUtf8(line);
    std::lock_guard lock(mutex_);
    ClearProgress();
    if (pretty_) {
      std::size_t blank = text.find(' ');
      std::cout << AnsiColour(text.substr(0, blank)) << text.substr(blank + 1) << "\033[0m\n";
    } else {
      std::cout << text << "\n";
    }
    std::cout.flush();
  }
  void ShowRunState(const RunView&) override {}
  void NodeChanged(const NodePtr&) override {}
  void PressStop() override {}
  void PressPause() override {}
  void StatusText(const std::string&, bool) override {
    if (!progress_) return;
    std::lock_guard lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < std::chrono::milliseconds(100)) return;
    lastProgress_ = now;
    std::fprintf(stderr, "\r\033[Kсохранено: %d, получено КиБ: %.1f", saved_,
                 static_cast<double>(TotalBytes().load()) / 1024.0);
    shown_ = true;
  }
  void NewsSaved(const SavedNews&) override {
    std::lock_guard lock(mutex_);
    ++saved_;
  }
  std::string HistoryText() override { return history_.SnapshotText(); }
  void AddHistoryLine(const std::string& line) override { history_.Add(line, settings_.maxHtmlHistory); }
  RunSettings Settings() override { return settings_; }

  void LampChanged(int, const LampState&) override {}
  void AttachmentFailed(const AttachmentEntry&, const std::string& message) override {
    Print(std::to_string(kRed) + " " + message);
  }
  void QueueOverflow(const std::string& message) override {
    std::lock_guard lock(mutex_);
    ClearProgress();
    std::cerr << Win1251ToUtf8(message) << "\n";
  }

  void ShowQueue(const AttachmentQueue& queue) {
    if (!progress_) return;
    std::lock_guard lock(mutex_);
    auto now = std::chrono::steady_clock::now();
    if (now - lastProgress_ < std::chrono::milliseconds(100)) return;
    lastProgress_ = now;
    std::fprintf(stderr, "\r\033[Kсохранено: %d, получено КиБ: %.1f, вложения: ждут %d, загружаются %d", saved_,
                 static_cast<double>(TotalBytes().load()) / 1024.0, queue.Waiting(), queue.Busy());
    shown_ = true;
  }

  int Saved() {
    std::lock_guard lock(mutex_);
    ClearProgress();
    return saved_;
  }

 private:
  void ClearProgress() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
  }

  DownloadHistory& history_;
  RunSettings settings_;
  bool pretty_, progress_;
  std::mutex mutex_;
  int saved_ = 0;
  bool shown_ = false;
  std::chrono::steady_clock::time_point lastProgress_{};
};

// Exit codes of download and pictures, besides 0 (all fetched) and 2 (bad arguments).
constexpr int kExitSomeFailed = 3;   // some pages or pictures could not be fetched, or news written
constexpr int kExitIndexFailed = 4;  // a channel's index page could not be fetched

std::string FailureSummary(int pages, int pictures) {
  if (pages == 0 && pictures == 0) return "";
  std::string text = "; не загружено";
  if (pages > 0) text += " страниц: " + std::to_string(pages);
  if (pages > 0 && pictures > 0) text += ",";
  if (pictures > 0) text += " картинок: " + std::to_string(pictures);
  return text;
}

// "не записано: 2 новости", with the Russian plural of the count.
std::string UnwrittenSummary(int news) {
  if (news == 0) return "";
  const int tens = news % 100, ones = news % 10;
  const char* word = ones == 1 && tens != 11                            ? "новость"
                     : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? "новости"
                                                                          : "новостей";
  return "; не записано: " + std::to_string(news) + " " + word;
}

// The window's timer pumps the queue every 250 ms; here this loop does, until every run
// has ended and every attachment has been fetched. It looks often so that the command
// returns as soon as the work is done.
void WaitForRuns(std::vector<std::unique_ptr<TDownload>>& runs, AttachmentQueue& queue, CliHost& host) {
  while (true) {
    queue.Pump();
    bool running = false;
    for (auto& run : runs) running = running || !run->Finished() || run->ChannelNode() != nullptr;
    if (!running && queue.Idle()) break;
    if (!running) host.ShowQueue(queue);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (auto& run : runs) run->Join();
}

// A folder as the user names it on the command line: CHANNEL or CHANNEL/RUBRIC.
std::string FolderName(ChannelTree& tree, const NodePtr& folder) {
  if (!folder) return "";
  NodePtr channel = ChannelTree::RootChannel(folder);
  std::string name = Win1251ToUtf8(tree.Caption(channel));
  return folder == channel ? name : name + "/" + Win1251ToUtf8(tree.Caption(folder));
}

// What a dry run would have done, folder by folder, in the order it happened.
void PrintDryRun(ChannelTree& tree, const TDownload& run, int& wouldSave, int& inHistory) {
  for (const DryRunEntry& e : run.DryRunRecord()) {
    const std::string folder = FolderName(tree, e.folder);
    switch (e.kind) {
      case DryRunEntry::Kind::kWouldSave:
        ++wouldSave;
        std::cout << folder << ": сохранилась бы " << Win1251ToUtf8(e.url) << " под именем «" << Win1251ToUtf8(e.text)
                  << "»\n";
        break;
      case DryRunEntry::Kind::kInHistory:
        ++inHistory;
        std::cout << folder << ": есть в истории, пропущена " << Win1251ToUtf8(e.url) << "\n";
        break;
      case DryRunEntry::Kind::kFolderEnd:
        std::cout << folder << ": папка кончилась: " << Win1251ToUtf8(e.text) << "\n";
        break;
    }
  }
}

}  // namespace

int DownloadCommand(const Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> names;
  std::string log = isatty(STDOUT_FILENO) ? "pretty" : "raw";
  bool dryRun = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dry-run") {
      dryRun = true;
    } else if (args[i] == "--log") {
      if (i + 1 >= args.size() || (args[i + 1] != "raw" && args[i + 1] != "pretty")) {
        std::cerr << "skimlet-cli download: после --log нужно raw или pretty\n";
        return 2;
      }
      log = args[++i];
    } else if (args[i].rfind("--", 0) == 0) {
      std::cerr << "skimlet-cli download: неизвестный параметр " << args[i] << "\n";
      return 2;
    } else {
      names.push_back(args[i]);
    }
  }

  ChannelTree tree(ctx.dataDir);
  if (!DirExists(tree.AccountsDir())) {
    std::cerr << "skimlet-cli download: нет каналов: нет папки " << tree.AccountsDir() << "\n";
    return 2;
  }
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  std::vector<NodePtr> channels;
  if (names.empty()) {
    channels = tree.Channels();
  } else {
    for (const std::string& name : names) {
      NodePtr found;
      for (const NodePtr& c : tree.Channels())
        if (Win1251ToUtf8(tree.Caption(c)) == name) found = c;
      if (!found) {
        std::cerr << "skimlet-cli download: в " << tree.AccountsDir() << " нет канала «" << name << "»\n";
        return 2;
      }
      channels.push_back(found);
    }
  }

  DownloadHistory history;
  history.LoadHistory(ctx.dataDir);
  SettingsStore store;
  CliHost host(history, store.ReadRunSettings(), log == "pretty", isatty(STDERR_FILENO));

  AttachmentQueue queue(host, ctx.dataDir);
  std::vector<std::unique_ptr<TDownload>> runs;
  for (const NodePtr& channel : channels) {
    auto run = std::make_unique<TDownload>(tree, host);
    run->SetChannel(channel);
    run->SetDryRun(dryRun);
    if (!dryRun) run->SetAttachmentQueue(&queue);
    runs.push_back(std::move(run));
  }
  for (auto& run : runs) run->Start();
  WaitForRuns(runs, queue, host);
  int pages = 0, unwritten = 0;
  bool indexFailed = false;
  for (const auto& run : runs) {
    pages += run->FailedFetches();
    unwritten += run->UnwrittenNews();
    indexFailed = indexFailed || run->IndexFailed();
  }
  if (dryRun) {
    int wouldSave = 0, inHistory = 0;
    for (const auto& run : runs) PrintDryRun(tree, *run, wouldSave, inHistory);
    std::cerr << "Пробная загрузка, ничего не записано. Каналов: " << runs.size() << ", сохранилось бы новостей: "
              << wouldSave << ", пропущено по истории: " << inHistory << FailureSummary(pages, 0) << "\n";
    if (indexFailed) return kExitIndexFailed;
    return pages > 0 ? kExitSomeFailed : 0;
  }
  std::string error;
  // Each run wrote its feed as it ended; now that the pictures are here, the feeds show them.
  for (std::size_t i = 0; i < runs.size() && host.Settings().writeFeeds; ++i)
    if (runs[i]->SavedCount() > 0 && !WriteChannelFeed(tree, channels[i], nullptr, &error))
      std::cerr << "skimlet-cli download: " << error << "\n";
  if (!history.SaveHistory(ctx.dataDir, store.ReadRunSettings().maxHtmlHistory, &error)) std::cerr << "skimlet-cli download: " << error << "\n";
  int saved = host.Saved();
  std::cerr << "Каналов: " << runs.size() << ", сохранено новостей: " << saved << ", получено байт: "
            << TotalBytes().load() << FailureSummary(pages, queue.Failures()) << UnwrittenSummary(unwritten) << "\n";
  if (indexFailed) return kExitIndexFailed;
  return pages > 0 || queue.Failures() > 0 || unwritten > 0 ? kExitSomeFailed : 0;
}

}  // namespace skimlet::cli

namespace skimlet::cli {

int PicturesCommand(const Context& ctx, const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::cerr << "skimlet-cli pictures: назовите не больше одной папки: КАНАЛ или КАНАЛ/РУБРИКУ\n";
    return 2;
  }
  ChannelTree tree(ctx.dataDir);
  tree.BuildChannelTree(tree.AccountsDir(), nullptr, false);
  std::vector<NodePtr> folders;
  for (const NodePtr& node : tree.InTreeOrder()) {
    NodePtr channel = ChannelTree::RootChannel(node);
    std::string channelName = Win1251ToUtf8(tree.Caption(channel));
    std::string path = node == channel ? channelName : channelName + "/" + Win1251ToUtf8(tree.Caption(node));
    if (args.empty() || args[0] == channelName || args[0] == path) folders.push_back(node);
  }
  if (folders.empty()) {
    std::cerr << "skimlet-cli pictures: в " << tree.AccountsDir() << " нет папки «" << (args.empty() ? "" : args[0])
              << "»\n";
    return 2;
  }
  DownloadHistory history;
  SettingsStore store;
  CliHost host(history, store.ReadRunSettings(), false, isatty(STDERR_FILENO));
  AttachmentQueue queue(host, ctx.dataDir);
  const AttachmentOrigin origin{NextAttachmentRun(), "", ""};  // an address shared by news is fetched once
  int articles = 0;
  for (const NodePtr& folder : folders) {
    std::string dir = tree.FolderPath(folder);
    for (const std::string& name : ListNewsFiles(dir)) {
      std::string text;
      if (!ReadWholeFile(dir + name, text)) continue;
      const std::string attachmentDir = dir + "Attachment/";
      queue.EnqueueAttachments(NewsFileAttachmentBlock(text, attachmentDir), attachmentDir, true, origin);
      ++articles;
    }
  }
  std::vector<std::unique_ptr<TDownload>> none;
  WaitForRuns(none, queue, host);
  std::cerr << "Просмотрено новостей: " << articles << ", получено байт: " << TotalBytes().load()
            << FailureSummary(0, queue.Failures()) << "\n";
  return queue.Failures() > 0 ? kExitSomeFailed : 0;
}

}  // namespace skimlet::cli
