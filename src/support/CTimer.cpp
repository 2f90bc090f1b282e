#include "support/CTimer.h"

#include <map>
#include <string>

#include "support/Error.h"

namespace bw {
namespace {

constexpr char kTimerSource[] = "BWAdmin.WindowProc";

class NoTimers : public TimerSystem {
 public:
  int SetTimer(int, std::function<void(int)>) override { return 0; }
  void KillTimer(int) override {}
};

NoTimers g_NoTimers;
TimerSystem* g_Timers = nullptr;

// The program's timer table, keyed by the decimal text of the system id.
std::map<std::string, CTimer*>& Table() {
  static std::map<std::string, CTimer*> table;
  return table;
}

void OnTick(int id) {
  auto found = Table().find(std::to_string(id));
  if (found != Table().end()) found->second->PulseTimer();
}

}  // namespace

TimerSystem& Timers() {
  return g_Timers != nullptr ? *g_Timers : g_NoTimers;
}

void SetTimerSystem(TimerSystem* system) {
  g_Timers = system;
}

CTimer::~CTimer() {
  Stop();
}

int CTimer::RunningCount() {
  return static_cast<int>(Table().size());
}

void CTimer::Stop() {
  if (m_TimerId != 0) {
    Timers().KillTimer(m_TimerId);
    Table().erase(std::to_string(m_TimerId));
    m_TimerId = 0;
  }
}

void CTimer::SetInterval(std::int32_t interval) {
  Stop();
  if (interval < 0) {
    throw Error(kErrTimerNegative, "BWAdmin", "Can't create AutoRedraw image");
  }
  if (interval == 0) {
    m_Interval = 0;
    return;
  }
  if (RunningCount() >= kMaxTimers) {
    throw Error(kErrTooManyTimers, kTimerSource, "Too many timers exist");
  }
  int id = Timers().SetTimer(interval, OnTick);
  if (id == 0) throw Error(kErrNoSystemTimer, kTimerSource, "Can't create system timer");
  m_TimerId = id;
  Table()[std::to_string(id)] = this;
  m_Interval = interval;
}

void CTimer::PulseTimer() {
  if (Timer) Timer();
}

}  // namespace bw
