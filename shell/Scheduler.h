// Automatic downloads: every so many minutes the window starts a round of downloads. While
// the schedule is off no timer exists, so an idle window is never woken for it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QObject;
class QTimer;

namespace skimlet {

// Time and one pending call. The window's clock is a QTimer; tests move time by hand.
class ScheduleClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~ScheduleClock() = default;
  virtual TimePoint Now() const = 0;
  // Calls `fire` once at `when`, replacing a pending call.
  virtual void CallAt(TimePoint when, std::function<void()> fire) = 0;
  virtual void Cancel() = 0;
  virtual bool Pending() const = 0;
};

// The steady clock and a coarse single-shot QTimer ("TimerAutoDownload", a child of
// `owner`) that exists only while a call is pending.
class QtScheduleClock : public ScheduleClock {
 public:
  explicit QtScheduleClock(QObject* owner) : owner_(owner) {}
  ~QtScheduleClock() override;
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }
  void CallAt(TimePoint when, std::function<void()> fire) override;
  void Cancel() override;
  bool Pending() const override;

 private:
  QObject* owner_;
  QTimer* timer_ = nullptr;
  std::function<void()> fire_;
  bool firing_ = false;
};

class AutoDownloadScheduler {
 public:
  // `roundRunning`: is the last round started here still going? `startRound`: start one.
  AutoDownloadScheduler(std::unique_ptr<ScheduleClock> clock, std::function<bool()> roundRunning,
                        std::function<void()> startRound);

  // Minutes between rounds, 0 = off. The first round comes one interval after the schedule
  // is switched on or changed; setting the same interval again changes nothing.
  void SetInterval(int minutes);
  int Interval() const { return minutes_; }
  std::optional<ScheduleClock::TimePoint> NextRound() const { return next_; }
  // Due rounds left out because the previous round was still running.
  int Skipped() const { return skipped_; }

  // Replaces the clock; a pending round moves to the new one, one interval from its now.
  void SetClock(std::unique_ptr<ScheduleClock> clock);
  ScheduleClock& Clock() { return *clock_; }

 private:
  void Arm(ScheduleClock::TimePoint when);
  void Fire();

  std::unique_ptr<ScheduleClock> clock_;
  std::function<bool()> roundRunning_;
  std::function<void()> startRound_;
  int minutes_ = 0;
  int skipped_ = 0;
  std::optional<ScheduleClock::TimePoint> next_;
};

}  // namespace skimlet
