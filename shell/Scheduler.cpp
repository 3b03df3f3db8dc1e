#include "shell/Scheduler.h"

#include <QTimer>
#include <algorithm>

namespace skimlet {

QtScheduleClock::~QtScheduleClock() { delete timer_; }

void QtScheduleClock::CallAt(TimePoint when, std::function<void()> fire) {
  fire_ = std::move(fire);
  if (!timer_) {
    timer_ = new QTimer(owner_);
    timer_->setObjectName("TimerAutoDownload");
    timer_->setSingleShot(true);
    // Rounds are minutes apart: a second's slack lets the system bundle the wake-up.
    timer_->setTimerType(Qt::VeryCoarseTimer);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
      firing_ = true;
      std::function<void()> fire = fire_;
      if (fire) fire();
      firing_ = false;
    });
  }
  auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(when - Now());
  timer_->start(static_cast<int>(std::clamp<long long>(delay.count(), 0, 0x7fffffff)));
}

void QtScheduleClock::Cancel() {
  fire_ = nullptr;
  if (!timer_) return;
  timer_->stop();
  if (firing_) timer_->deleteLater();  // its own handler is on the stack
  else delete timer_;
  timer_ = nullptr;
}

bool QtScheduleClock::Pending() const { return timer_ && timer_->isActive(); }

AutoDownloadScheduler::AutoDownloadScheduler(std::unique_ptr<ScheduleClock> clock, std::function<bool()> roundRunning,
                                             std::function<void()> startRound)
    : clock_(std::move(clock)), roundRunning_(std::move(roundRunning)), startRound_(std::move(startRound)) {}

void AutoDownloadScheduler::SetInterval(int minutes) {
  minutes = std::max(minutes, 0);
  if (minutes == minutes_) return;
  minutes_ = minutes;
  if (minutes_ == 0) {
    clock_->Cancel();
    next_.reset();
    return;
  }
  Arm(clock_->Now() + std::chrono::minutes(minutes_));
}

void AutoDownloadScheduler::SetClock(std::unique_ptr<ScheduleClock> clock) {
  clock_->Cancel();
  clock_ = std::move(clock);
  if (minutes_ > 0) Arm(clock_->Now() + std::chrono::minutes(minutes_));
}

void AutoDownloadScheduler::Arm(ScheduleClock::TimePoint when) {
  next_ = when;
  clock_->CallAt(when, [this] { Fire(); });
}

void AutoDownloadScheduler::Fire() {
  if (minutes_ == 0 || !next_) return;
  if (roundRunning_()) ++skipped_;
  else startRound_();
  if (minutes_ == 0 || !next_) return;  // switched off meanwhile
  // Rounds keep their cadence; after a long stall (a suspended machine) the next one is a
  // whole interval away rather than due at once.
  auto interval = std::chrono::minutes(minutes_);
  ScheduleClock::TimePoint next = *next_ + interval, now = clock_->Now();
  if (next <= now) next = now + interval;
  Arm(next);
}

}  // namespace skimlet
