// A timer that raises its Timer event every Interval milliseconds, driven by
// a system timer of the host's event loop (the TimerSystem seam). At most ten
// run at once in a program; their ticks arrive on the thread that runs the
// event loop, and a tick's handler that runs long delays later ticks.
#pragma once

#include <cstdint>
#include <functional>

namespace bw {

// Errors raised when Interval is set.
inline constexpr std::int32_t kErrTimerNegative = 480;
inline constexpr std::int32_t kErrTooManyTimers = static_cast<std::int32_t>(0x80043553u);
inline constexpr std::int32_t kErrNoSystemTimer = static_cast<std::int32_t>(0x80043554u);
inline constexpr int kMaxTimers = 10;

// The system timers: a periodic callback and its removal. Ids are never 0;
// SetTimer returns 0 when it cannot make one.
class TimerSystem {
 public:
  virtual ~TimerSystem() = default;
  virtual int SetTimer(int intervalMs, std::function<void(int id)> tick) = 0;
  virtual void KillTimer(int id) = 0;
};

// The installed system; the default makes no timers (so setting an Interval
// raises kErrNoSystemTimer) until a host installs its event loop's.
TimerSystem& Timers();
void SetTimerSystem(TimerSystem* system);  // nullptr restores the default

class CTimer {
 public:
  CTimer() = default;
  ~CTimer();
  CTimer(const CTimer&) = delete;
  CTimer& operator=(const CTimer&) = delete;

  std::int32_t Interval() const { return m_Interval; }
  // Stops the running timer first; then a value of 1 or more starts one with
  // that period, 0 leaves it stopped. Raises kErrTimerNegative for a negative
  // value, kErrTooManyTimers when ten are running (the interval then keeps
  // its earlier value, though that timer is stopped), kErrNoSystemTimer when
  // the system makes none.
  void SetInterval(std::int32_t interval);
  // Raises Timer once.
  void PulseTimer();

  // The Timer event.
  std::function<void()> Timer;

  // How many timers run in this program.
  static int RunningCount();

 private:
  void Stop();

  std::int32_t m_Interval = 0;
  int m_TimerId = 0;
};

}  // namespace bw
