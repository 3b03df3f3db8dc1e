// The download control: one run per channel, the radio group of the download actions, and
// the timer that ties run state, lamps and the attachment queue to the window.
#include <QAction>
#include <QComboBox>
#include <QStatusBar>
#include <QTabWidget>

#include "attachments/ui/LampsPanel.h"
#include "authoring/ui/LogPage.h"
#include "library/ui/AccountsTree.h"
#include "library/ui/NewsActions.h"
#include "page/Discovery.h"
#include "platform/Files.h"
#include "qt/Dialogs.h"
#include "qt/QtText.h"
#include "shell/Companions.h"
#include "shell/MainUnit.h"
#include "shell/WindowRunHost.h"

namespace skimlet {

namespace {
const char* const kRadio[] = {"Download", "DownloadOneStep", "DownloadPause", "DownLoadStop"};
}

void TMainForm::Trigger(const char* actionName) { Action(actionName)->trigger(); }

void TMainForm::CheckRadio(const char* name) {
  for (const char* r : kRadio) Action(r)->setChecked(std::string(r) == name);
}

NodePtr TMainForm::SelectedChannel() const { return ChannelTree::RootChannel(accounts_->SelectedNode()); }

int TMainForm::SlotOf(const NodePtr& channel) const {
  if (!channel) return -1;
  auto channels = tree_.Channels();
  auto it = std::find(channels.begin(), channels.end(), channel);
  if (it == channels.end()) return -1;
  // The channel's run keeps its slot when folders made or removed elsewhere shift the
  // channels; a new run takes the channel's place, or the first free slot when another
  // channel's run still holds that place.
  auto free = [this](int slot) { return !runs_[slot] || !runs_[slot]->ChannelNode(); };
  for (int slot = 0; slot < kRunSlots; ++slot)
    if (runs_[slot] && runs_[slot]->ChannelNode() == channel) return slot;
  int slot = static_cast<int>(it - channels.begin());
  if (slot < kRunSlots && free(slot)) return slot;
  for (slot = 0; slot < kRunSlots; ++slot)
    if (free(slot)) return slot;
  return -1;
}

void TMainForm::OnChanging(const NodePtr& node, const NodePtr& old) {
  shownChannel_ = ChannelTree::RootChannel(node);
  host_->SetShownChannel(shownChannel_);
  host_->SetSelectedChannel(shownChannel_);
  accounts_->RefreshSelectedIcon();
  MacroFolderChanging(node, old);
  ReflectRunState();
}

void TMainForm::ReflectRunState() {
  if (!shownChannel_) return;
  int slot = SlotOf(shownChannel_);
  TDownload* run = slot >= 0 ? runs_[slot].get() : nullptr;
  if (!run || !run->ChannelNode()) {
    CheckRadio("DownLoadStop");
    return;
  }
  run->ShowRunState();
  CheckRadio(run->Paused() ? "DownloadPause" : "Download");
}

bool TMainForm::RefuseInSelectionMode() {
  if (!accounts_->SelectionMode()) return false;
  CheckRadio("DownLoadStop");
  pageDown_->setCurrentWidget(tabInfo_);
  logPage_->ClearLog();
  LogLine(W("ОШИБКА!!! Сначала нужно завершить выбор загружаемых каналов"), kRed);
  LogLine(W("и выключить режим выбора. Затем повторите команда закачки"), kRed);
  return true;
}

void TMainForm::StartRun(int slot, const NodePtr& channel, bool stepMode, const std::string& startNote) {
  std::unique_ptr<TDownload>& run = runs_[slot];
  if (run && run->ChannelNode()) detachedRuns_.push_back(std::move(run));  // the channels were reordered
  run.reset();
  run = std::make_unique<TDownload>(tree_, *host_);
  run->SetStepMode(stepMode);
  run->SetChannel(channel);
  run->SetStartNote(startNote);
  run->SetAttachmentQueue(queue_.get());
  run->Start();
}

void TMainForm::DownloadHandler(bool oneStepTrigger) {
  if (RefuseInSelectionMode()) return;
  if (!oneStepTrigger && !Action("Download")->isChecked()) {
    // Triggered while already checked: the mark comes back, nothing else happens.
    CheckRadio("Download");
    return;
  }
  CheckRadio(oneStepTrigger ? "DownloadOneStep" : "Download");
  pageDown_->setCurrentWidget(tabInfo_);
  if (auto* combo = logPage_->findChild<QComboBox*>("HTMLHistory")) combo->setFocus();
  NodePtr channel = SelectedChannel();
  int slot = SlotOf(channel);
  if (slot < 0) return;
  std::unique_ptr<TDownload>& run = runs_[slot];
  if (run && run->ChannelNode() == channel) {
    run->SetStepMode(oneStepTrigger);
    if (run->Paused()) {
      run->Resume();
    } else {
      statusBar()->showMessage(QString::fromUtf8("Повторный опрос. Аккаунт ") + Q(tree_.Caption(channel)) +
                               QString::fromUtf8(" уже загружается."));
    }
    return;
  }
  logPage_->ClearLog();
  StartRun(slot, channel, oneStepTrigger, {});
}

void TMainForm::DownloadOneStepHandler() {
  if (!Action("DownloadOneStep")->isChecked()) {
    CheckRadio("DownloadOneStep");
    return;
  }
  NodePtr channel = SelectedChannel();
  int slot = SlotOf(channel);
  TDownload* run = slot >= 0 ? runs_[slot].get() : nullptr;
  if (run && run->ChannelNode()) {
    CheckRadio("DownloadOneStep");
    run->SetStepMode(true);
    if (run->Paused()) run->Resume();
    return;
  }
  DownloadHandler(true);
}

void TMainForm::DownloadPauseHandler() {
  CheckRadio("DownloadPause");
  int slot = SlotOf(SelectedChannel());
  TDownload* run = slot >= 0 ? runs_[slot].get() : nullptr;
  if (run && run->ChannelNode()) run->Pause();
}

void TMainForm::DownLoadStopHandler() {
  CheckRadio("DownLoadStop");
  int slot = SlotOf(SelectedChannel());
  TDownload* run = slot >= 0 ? runs_[slot].get() : nullptr;
  if (run && run->ChannelNode()) run->StopRun();  // resumes a paused run, which then ends
}

void TMainForm::DowlnloadAbortAllHandler() {
  if (!AppDialogs().Question(this, "Skimlet",
                             QString::fromUtf8("При прерывании загрузки будут остановлены все потоки новостей и "
                                               "вложений.\rВы действительно хотите выполнить прерывание загрузки?"),
                             true))
    return;
  NodePtr selected = SelectedChannel();
  for (auto& run : runs_) {
    if (!run) continue;
    if (!run->Finished()) run->StopRun();
    if (run->ChannelNode() && run->ChannelNode() == selected) CheckRadio("DownLoadStop");
  }
  queue_->AbortAllAttachments();
}

void TMainForm::DownloadPicturesExecute() {
  for (const std::string& path : newsActions_->SelectedNewsPaths()) {
    std::string text;
    if (!ReadWholeFile(path, text)) continue;
    const std::string attachmentDir = path.substr(0, path.rfind('/') + 1) + "Attachment/";
    queue_->EnqueueAttachments(NewsFileAttachmentBlock(text, attachmentDir), attachmentDir, true);
  }
}

void TMainForm::TimerAutoStartTick() {
  if (closing_) return;
  // Attachments: a new arrival, the pump, the queue display.
  if (queue_->TakeAttachmentArrived()) newsActions_->AttachmentsArrived();
  queue_->Pump();
  QueueDisplay display;
  if (queue_->TakeDisplay(display)) {
    logPage_->SetQueueDisplay(display);
    lamps_->SetCaption(display.caption);
  }
  // While any folder shows the downloading image the selection mode stays locked.
  bool downloading = false;
  for (const NodePtr& node : tree_.InTreeOrder()) {
    if (tree_.ImageIndex(node) != kImageDownloading) continue;
    NodePtr channel = ChannelTree::RootChannel(node);
    int slot = SlotOf(channel);
    TDownload* run = slot >= 0 ? runs_[slot].get() : nullptr;
    bool live = run && run->ChannelNode() == channel;
    for (const auto& detached : detachedRuns_) live = live || detached->ChannelNode() == channel;
    if (live) {
      downloading = true;
    } else {
      // A folder left with the downloading image by a run that has ended.
      tree_.SetImageIndex(node, tree_.IsChecked(node) ? kImageChecked : kImageUnchecked);
      accounts_->RefreshNode(node);
      accounts_->RefreshSelectedIcon();
    }
  }
  Action("AccountsCheckBox")->setEnabled(!downloading);
  if (companions_) companions_->Tick(downloading);
}

}  // namespace skimlet
