#include "engine/DownLoad.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <exception>

#include "attachments/DownLoadAttachment.h"
#include "fetch/Transfer.h"
#include "page/Tools.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace skimlet {

namespace {

// Thrown where a loop is caught in the middle of a command; the step loop ends the folder.
struct LoopStop {};

}  // namespace

std::string LogCutNotice(std::size_t maxLines) {
  return std::to_string(kRed) + W(" > Журнал слишком длинный: его начало удалено, хранятся последние ") +
         std::to_string(maxLines) + W(" строк");
}

bool ParseStepNumber(const std::string& text, std::int32_t& value) {
  std::string_view s = text;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return !s.empty() && ec == std::errc() && ptr == s.data() + s.size();
}

TDownload::TDownload(ChannelTree& tree, RunHost& host) : tree_(tree), host_(host), runId_(NextAttachmentRun()) {
  // The clock file times come from: a picture this run begins to fetch is never older than it.
  clock_gettime(CLOCK_REALTIME_COARSE, &runStart_);
}

TDownload::~TDownload() {
  StopRun();
  Join();
}

void TDownload::SetChannel(const NodePtr& channel) {
  std::lock_guard lock(mutex_);
  channel_ = channel;
}

void TDownload::SetHistorySnapshot(std::string text) { history_ = HistorySnapshot(std::move(text)); }

void TDownload::SetHttpTimeouts(long connectMs, long idleMs) {
  connectTimeoutMs_ = connectMs;
  idleTimeoutMs_ = idleMs;
}

void TDownload::SetCurrentFolder(const NodePtr& folder) {
  std::lock_guard lock(mutex_);
  currentFolder_ = folder;
  if (folder) fetchedByFolder_[folder] = fetched_;  // a folder starts on the pages it finds
  currentFolderPath_ = folder ? tree_.FolderPath(folder) : std::string();
}

void TDownload::Start() {
  finished_ = false;
  thread_ = std::thread([this] { Execute(); });
}

void TDownload::Join() {
  if (thread_.joinable()) thread_.join();
}

NodePtr TDownload::ChannelNode() const {
  std::lock_guard lock(mutex_);
  return channel_;
}

RunBuffers TDownload::Buffers() const {
  std::lock_guard lock(mutex_);
  return buf_;
}

FetchedPages TDownload::Fetched(const NodePtr& folder) const {
  std::lock_guard lock(mutex_);
  auto it = fetchedByFolder_.find(folder);
  return it != fetchedByFolder_.end() ? it->second : fetched_;
}

void TDownload::KeepFetched(bool indexPage, const std::string& url, const std::string& page) {
  auto copy = std::make_shared<const std::string>(page);
  std::lock_guard lock(mutex_);
  (indexPage ? fetched_.index : fetched_.news) = std::move(copy);
  (indexPage ? fetched_.indexURL : fetched_.newsURL) = url;
  if (currentFolder_) fetchedByFolder_[currentFolder_] = fetched_;
}

std::vector<DryRunEntry> TDownload::DryRunRecord() const {
  std::lock_guard lock(mutex_);
  return dryRunRecord_;
}

void TDownload::Record(DryRunEntry::Kind kind, std::string url, std::string text) {
  if (!dryRun_) return;
  std::lock_guard lock(mutex_);
  dryRunRecord_.push_back({kind, currentFolder_, std::move(url), std::move(text)});
}

std::vector<std::string> TDownload::RunLog() const {
  std::lock_guard lock(mutex_);
  return {runLog_.begin(), runLog_.end()};
}

void TDownload::StopRun() {
  finished_ = true;
  ShowRunState();
  stepIndex_ = kEndRun;
  http_.Stop();  // wakes a transfer that waits for the network
  lookAhead_.Stop();
  Resume();
}

void TDownload::Pause() {
  paused_ = true;
  lookAhead_.Hold(true);  // a paused run has nothing under way
}

void TDownload::Resume() {
  lookAhead_.Hold(false);
  {
    std::lock_guard lock(pauseMutex_);
    paused_ = false;
  }
  pauseCv_.notify_all();
}

void TDownload::WaitWhilePaused() {
  std::unique_lock lock(pauseMutex_);
  pauseCv_.wait(lock, [this] { return !paused_; });
}

void TDownload::EndLoop(const std::string& what) {
  AddRunLog(Prefix() + W(">> Макрос зациклился: ") + what, kRed);
  folderEnd_ = W("макрос зациклился на шаге ") + std::to_string(executingStep_);
  stepIndex_ = kEndFolder;
}

void TDownload::CountFetch(const std::string& url) {
  if (++fetches_[url] <= limits_.maxFetchesPerAddress) return;
  EndLoop(W("адрес ") + url + W(" загружается больше ") + std::to_string(limits_.maxFetchesPerAddress) +
          W(" раз за сессию"));
  throw LoopStop{};
}

std::string TDownload::Prefix() const { return "step " + std::to_string(executingStep_); }

void TDownload::AddRunLog(const std::string& message, std::uint32_t colour) {
  NodePtr channel, folder;
  {
    std::lock_guard lock(mutex_);
    channel = channel_;
    folder = currentFolder_;
  }
  if (!host_.IsShownChannel(channel)) return;
  std::string line = std::to_string(colour) + " ";
  if (!message.empty()) line += (folder ? tree_.Caption(folder) : std::string()) + "> " + message;
  {
    std::lock_guard lock(mutex_);
    runLog_.push_back(line);
    if (runLog_.size() > std::max<std::size_t>(limits_.maxLogLines, 2)) {
      // The newest lines matter; the first line says that the start is gone.
      runLog_.front() = LogCutNotice(limits_.maxLogLines);
      runLog_.erase(runLog_.begin() + 1);
    }
  }
  host_.LogAdded(*this, line);
  ShowRunState();
}

void TDownload::SetNodeImage(const NodePtr& node, int image) {
  if (!node) return;
  if (tree_.ImageIndex(node) != image) {
    tree_.SetImageIndex(node, image);
    host_.NodeChanged(node);
  }
}

void TDownload::ShowRunState() {
  NodePtr channel, folder;
  {
    std::lock_guard lock(mutex_);
    channel = channel_;
    folder = currentFolder_;
  }
  if (!channel) return;
  bool finished = finished_;
  if (finished) {
    if (host_.IsSelectedChannel(channel)) host_.PressStop();
    SetNodeImage(channel, kImageChecked);
  }
  if (host_.IsShownChannel(channel)) {
    RunView view;
    {
      std::lock_guard lock(mutex_);
      view.channel = channel;
      view.startURL = buf_.StartURL;
      view.newsURL = buf_.NewsURL;
      if (!runLog_.empty()) {
        view.firstLine = runLog_.front();
        view.lastLine = runLog_.back();
      }
      view.logSize = runLog_.size();
      view.finished = finished;
    }
    view.wholeLog = [this] { return RunLog(); };
    host_.ShowRunState(view);
  }
  for (const NodePtr& node : {folder, channel}) {
    if (!node) continue;
    int image = !finished ? kImageDownloading : tree_.IsChecked(node) ? kImageChecked : kImageUnchecked;
    bool changed = tree_.ImageIndex(node) != image;
    if (changed) tree_.SetImageIndex(node, image);
    if (changed || finished) host_.NodeChanged(node);
  }
}

void TDownload::Jump(const std::string& target) {
  std::int32_t v = 0;
  stepIndex_ = ParseStepNumber(target, v) ? v : kEndFolder;
}

void TDownload::GotoMacro(const std::string& p1, const std::string& p2, const std::string& p3,
                          const std::string& p4) {
  std::string text;
  if (p3 == "StandartParameter=0") text = buf_.NewsURL;
  else if (p3 == "StandartParameter=1") text = buf_.HTML;
  else if (p3 == "StandartParameter=2") text = buf_.IndexHTML;
  // In NewsURL a Cyrillic fragment also finds the letters of percent-escapes.
  auto found = [&] { return p3 == "StandartParameter=0" ? LinkFinder(p4).FoundIn(text) : ContainsFragment(text, p4); };
  if (p2 == "StandartParameter=1") {
    if (!found()) return;
    AddRunLog(Prefix() + W(">>GotoMacro. Фрагмент НАЙДЕН."), kOlive);
  } else if (p2 == "StandartParameter=2") {
    if (found()) return;
    AddRunLog(Prefix() + W(">>GotoMacro. Фрагмент НЕ НАЙДЕН."), kOlive);
  }
  AddRunLog(Prefix() + W(">>GotoMacro.  -----------Переход к шагу № ") + p1 + "----------", kOlive);
  Jump(p1);
}

void TDownload::Dispatch(const TTmpOneMacroComand& s) {
  const std::string& c = s.Command;
  if (c == "GetStart") GetStart(s.P1, s.P2, s.P3);
  else if (c == "FindUrlNews") FindUrlNews(s.P1, s.P2);
  else if (c == "EditUrlNews") EditUrlNews(s.P1, s.P2, s.P3, s.P4);
  else if (c == "GetNews") GetNews(s.P1, s.P4);
  else if (c == "EditHTMLNews") EditHTMLNews(s.P1, s.P2, s.P3, s.P4);
  else if (c == "FindNameNews") FindNameNews(s.P1, s.P2);
  else if (c == "FindAttachment") FindAttachment(s.P1, s.P2, s.P3);
  else if (c == "SaveNews") SaveNews();
  else if (c == "GotoMacro") GotoMacro(s.P1, s.P2, s.P3, s.P4);
  else if (c == "GetNextIndex") GetNextIndex(s.P1, s.P2, s.P3, s.P4);
  else if (c == "EditIndexHTML") EditIndexHTML(s.P1, s.P2);
  else return;  // NotOperation and unknown names do nothing and never pause
  if (stepMode_) {
    // The pause takes hold right here, also when the command has just ended the folder.
    if (host_.IsShownChannel(ChannelNode())) host_.PressPause();
    paused_ = true;
    WaitWhilePaused();
  }
}

TTmpOneMacroComand TDownload::ReadStep(const std::string& folderPath, std::int32_t k) {
  std::string path = JoinPath(folderPath, kMacroFileName);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    macroCache_ = {};
    return {};
  }
  std::int64_t mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  MacroCache& c = macroCache_;
  if (c.path != path || c.inode != st.st_ino || c.size != static_cast<std::uint64_t>(st.st_size) ||
      c.mtimeNs != mtimeNs) {
    c = {path, st.st_ino, static_cast<std::uint64_t>(st.st_size), mtimeNs, {}};
    if (!ReadWholeFile(path, c.text)) {
      c = {};
      return {};
    }
  }
  return MacroStepFromText(c.text, k);
}

void TDownload::Execute() {
  NodePtr channel = ChannelNode();
  rng_.seed(std::random_device{}());
  runId_ = NextAttachmentRun();
  savedCount_ = 0;
  failedFetches_ = 0;
  unwrittenNews_ = 0;
  takenAhead_ = 0;
  indexFailed_ = false;
  openFlags_ = 0;
  fetches_.clear();
  failedUrls_.clear();
  aheadByHost_.clear();
  newsIndex_.Clear();
  // The clock file times come from: a picture this run begins to fetch is never older than it.
  clock_gettime(CLOCK_REALTIME_COARSE, &runStart_);
  FileLock channelLock;
  SetCurrentFolder(channel);
  {
    std::lock_guard lock(mutex_);
    buf_ = RunBuffers{};
    fetched_ = FetchedPages{};
    fetchedByFolder_.clear();
    runLog_.clear();
    dryRunRecord_.clear();
    dryRunFiles_.clear();
  }
  std::string channelPath = channel ? tree_.FolderPathText(channel) : std::string();
  try {
    AddRunLog(W("Подготовка данных для потока загрузки"), kBlack);
    if (!startNote_.empty()) AddRunLog(startNote_, kBlue);
    if (channel && (onlyFolder_ || tree_.IsChecked(channel))) {
      // A channel is downloaded by one run at a time, whichever process runs it. Without a
      // lock file (a folder we cannot write to) the run goes ahead: it saves nothing there.
      std::string lockPath = tree_.FolderPath(channel) + kChannelLockFile;
      if (channelLock.Lock(lockPath, /*exclusive=*/true, /*wait=*/false, /*create=*/!dryRun_) ==
          FileLock::Result::kBusy) {
        AddRunLog(W("Канал уже загружается другим процессом"), kRed);
        finished_ = true;
      } else {
        AddRunLog(W("Начало загрузки в ") + channelPath, kBlue);
        // What was saved before: the history as it is now, by whichever process saved it.
        history_ = HistorySnapshot(host_.HistoryText());
        refetch_ = ReadRefetchAddresses(tree_.DataDir());
      }
    } else {
      AddRunLog(W("Папка не отмечена к загрузке или нет доступа к ") + channelPath, kRed);
      finished_ = true;
    }
    int channelLevel = tree_.Level(channel);
    NodePtr folder = channel;
    while (folder && !finished_) {
      SetCurrentFolder(folder);
      stepIndex_ = 0;
      stepsWithoutProgress_ = 0;
      nextPages_ = 0;
      listPagesRead_.clear();
      if (!buf_.StartURL.empty()) NoteListPageRead(buf_.StartURL);
      folderEnd_.clear();
      if (!DirExists(currentFolderPath_) || (!onlyFolder_ && !tree_.IsChecked(folder))) {
        AddRunLog(W("Пропуск папки "), kRed);
        folderEnd_ = W("папка пропущена: не отмечена к загрузке или её нет");
      } else {
        while (stepIndex_ >= 0 && !finished_) {
          WaitWhilePaused();
          if (finished_) break;
          currentStep_ = ReadStep(currentFolderPath_, stepIndex_);
          if (currentStep_.Command.empty()) {
            if (folderEnd_.empty())
              folderEnd_ = stepIndex_ == 0                   ? W("макроса нет")
                           : stepIndex_ == executingStep_ + 1 ? W("макрос выполнен до конца")
                                                              : W("переход к шагу ") + std::to_string(stepIndex_) +
                                                                    W(" за концом макроса");
            stepIndex_ = kEndFolder;
            break;
          }
          executingStep_ = stepIndex_;
          stepIndex_ = stepIndex_ + 1;
          if (!currentStep_.Active || finished_) continue;
          if (stepsWithoutProgress_ >= limits_.maxStepsWithoutProgress) {
            EndLoop(std::to_string(limits_.maxStepsWithoutProgress) +
                    W(" шагов подряд без загруженной страницы и без сохранённой новости"));
            break;
          }
          ++stepsWithoutProgress_;
          try {
            Dispatch(currentStep_);
          } catch (const LoopStop&) {
            break;
          } catch (const std::exception& e) {
            AddRunLog(Prefix() + W(">> Внутренняя ошибка: ") + Utf8ToWin1251(e.what()), kRed);
            finished_ = true;
          } catch (...) {
            AddRunLog(Prefix() + W(">> Внутренняя ошибка"), kRed);
            finished_ = true;
          }
        }
      }
      if (dryRun_) {
        if (folderEnd_.empty())
          folderEnd_ = finished_ ? W("загрузка прервана на шаге ") + std::to_string(executingStep_)
                       : stepIndex_ < kEndFolder
                           ? W("шаг ") + std::to_string(executingStep_) + W(" завершил загрузку канала")
                           : W("шаг ") + std::to_string(executingStep_) + W(" завершил папку");
        Record(DryRunEntry::Kind::kFolderEnd, {}, folderEnd_);
      }
      SetNodeImage(folder, tree_.IsChecked(folder) ? kImageChecked : kImageUnchecked);
      NodePtr next = tree_.NextInTreeOrder(folder);
      if (onlyFolder_)
        folder = folder != onlyFolder_ ? onlyFolder_ : nullptr;
      else
        folder = next && tree_.Level(next) > channelLevel ? next : nullptr;
      SetCurrentFolder(folder);
      ShowRunState();
      if (stepIndex_ < kEndFolder) {
        folder = nullptr;
        SetCurrentFolder(nullptr);
        AddRunLog(W("Загрузка в ") + channelPath + W(" завершена. "), kRed);
      }
      if (finished_) {
        folder = nullptr;
        SetCurrentFolder(nullptr);
        AddRunLog(W("Сессия прервана."), kRed);
      }
    }
  } catch (const std::exception& e) {
    AddRunLog(W("Внутренняя ошибка: ") + Utf8ToWin1251(e.what()), kRed);
    SetCurrentFolder(nullptr);
  } catch (...) {
    AddRunLog(W("Внутренняя ошибка"), kRed);
    SetCurrentFolder(nullptr);
  }
  // A walked channel has left its last folder by now; an unchecked one still stands on the
  // channel, and its end line carries the channel's caption.
  finished_ = true;
  lookAhead_.Shutdown();
  http_.Close();
  if (attachments_) attachments_->ForgetRun(runId_);
  if (!dryRun_ && !SaveCookieJar(CookieJarPath(tree_.DataDir())))
    AddRunLog(W("Не удалось записать файл cookies ") + Utf8ToWin1251(CookieJarPath(tree_.DataDir())), kRed);
  if (!dryRun_ && savedCount_ > 0 && channel && host_.Settings().writeFeeds) WriteFeed(channel);
  AddRunLog(W("Конец загрузки в ") + channelPath, kBlue);
  ShowRunState();
  {
    std::lock_guard lock(mutex_);
    channel_ = nullptr;
  }
}

}  // namespace skimlet
