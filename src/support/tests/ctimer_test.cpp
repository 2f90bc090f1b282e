// The interval timer over a scripted timer system: restarts, the table of ten
// and its errors, ticks routed to the right timer.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

#include "support/CTimer.h"
#include "support/Error.h"

namespace bw {
namespace {

class ScriptedTimers : public TimerSystem {
 public:
  int SetTimer(int intervalMs, std::function<void(int)> tick) override {
    if (refuse) return 0;
    int id = ++lastId;
    running[id] = {intervalMs, std::move(tick)};
    return id;
  }
  void KillTimer(int id) override {
    running.erase(id);
    killed.push_back(id);
  }
  void Fire(int id) {
    auto tick = running.at(id).second;
    tick(id);
  }

  bool refuse = false;
  int lastId = 0;
  std::map<int, std::pair<int, std::function<void(int)>>> running;
  std::vector<int> killed;
};

class CTimerTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTimerSystem(&m_System); }
  void TearDown() override { SetTimerSystem(nullptr); }
  ScriptedTimers m_System;
};

std::int32_t ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.Number();
  }
  return 0;
}

TEST_F(CTimerTest, SameIntervalAgainRestartsThePeriod) {
  CTimer timer;
  timer.SetInterval(3000);
  timer.SetInterval(3000);
  EXPECT_EQ(m_System.killed, std::vector<int>{1});
  ASSERT_EQ(m_System.running.size(), 1u);
  EXPECT_EQ(m_System.running.begin()->first, 2);
  EXPECT_EQ(timer.Interval(), 3000);
}

TEST_F(CTimerTest, TicksReachTheirOwnTimerUntilStopped) {
  CTimer first, second;
  int firstTicks = 0, secondTicks = 0;
  first.Timer = [&] {
    ++firstTicks;
    first.SetInterval(0);  // one tick is enough, as the console's check does
  };
  second.Timer = [&] { ++secondTicks; };
  first.SetInterval(10);
  second.SetInterval(20);
  m_System.Fire(1);
  m_System.Fire(2);
  m_System.Fire(2);
  EXPECT_EQ(firstTicks, 1);
  EXPECT_EQ(secondTicks, 2);
  EXPECT_EQ(first.Interval(), 0);
  EXPECT_EQ(CTimer::RunningCount(), 1);
}

TEST_F(CTimerTest, AnEleventhTimerIsRefusedAfterItsOldTimerStopped) {
  std::vector<std::unique_ptr<CTimer>> timers;
  for (int i = 0; i < kMaxTimers; ++i) {
    timers.push_back(std::make_unique<CTimer>());
    timers.back()->SetInterval(100);
  }
  CTimer eleventh;
  EXPECT_EQ(ErrorOf([&] { eleventh.SetInterval(50); }), kErrTooManyTimers);
  EXPECT_EQ(eleventh.Interval(), 0);

  // A running timer that is set again frees its own entry first.
  EXPECT_EQ(ErrorOf([&] { timers[0]->SetInterval(200); }), 0);
  timers.pop_back();  // destroying one stops it
  EXPECT_EQ(CTimer::RunningCount(), kMaxTimers - 1);
  EXPECT_EQ(ErrorOf([&] { eleventh.SetInterval(50); }), 0);
}

TEST_F(CTimerTest, ErrorsOfBadValuesAndMissingSystemTimers) {
  CTimer timer;
  EXPECT_EQ(ErrorOf([&] { timer.SetInterval(0); }), 0);  // harmless when stopped
  EXPECT_EQ(ErrorOf([&] { timer.SetInterval(-1); }), kErrTimerNegative);
  m_System.refuse = true;
  EXPECT_EQ(ErrorOf([&] { timer.SetInterval(10); }), kErrNoSystemTimer);
  EXPECT_EQ(CTimer::RunningCount(), 0);
}

}  // namespace
}  // namespace bw
