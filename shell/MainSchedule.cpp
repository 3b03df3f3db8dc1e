// Automatic downloads: every so many minutes each checked channel that is not running
// starts, as Download would start it.
#include <QStatusBar>

#include "authoring/ui/LogPage.h"
#include "platform/Text.h"
#include "qt/QtText.h"
#include "shell/MainUnit.h"
#include "shell/Scheduler.h"
#include "shell/SettingsPage.h"

namespace skimlet {

void TMainForm::StartScheduledRound() {
  if (closing_ || !ready_ || RefuseInSelectionMode()) return;
  std::string note = W("Загрузка запущена по расписанию (каждые ") + std::to_string(scheduler_->Interval()) + W(" мин)");
  scheduledRound_.clear();
  for (const NodePtr& channel : tree_.Channels()) {
    int slot = SlotOf(channel);
    if (slot < 0 || !tree_.IsChecked(channel)) continue;
    if (runs_[slot] && runs_[slot]->ChannelNode() == channel) continue;  // running or paused already
    if (channel == shownChannel_) {
      logPage_->ClearLog();
      CheckRadio("Download");
    }
    StartRun(slot, channel, false, note);
    scheduledRound_.push_back(channel);
  }
  statusBar()->showMessage(QString::fromUtf8("Загрузка по расписанию: запущено каналов: %1").arg(scheduledRound_.size()));
}

bool TMainForm::ScheduledRoundRunning() const {
  for (const NodePtr& channel : scheduledRound_) {
    int slot = SlotOf(channel);
    if (slot >= 0 && runs_[slot] && runs_[slot]->ChannelNode() == channel) return true;
  }
  return false;
}

}  // namespace skimlet
