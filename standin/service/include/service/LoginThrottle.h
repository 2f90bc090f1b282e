// Slows password guessing from one source address, for every endpoint that
// checks passwords (TDS logins and the control endpoint share one).
//
// After a failed login from an address, each further attempt from it waits
// for a slot: slots are spaced by a delay that doubles with every failure,
// from kFirstDelay up to the configured maximum, so parallel connections do
// not multiply the rate. An address that fails no more for `forgetAfter`
// starts afresh. Addresses without failures never wait. Thread-safe; it
// remembers at most `maxSources` addresses (the oldest go first).
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

namespace standin::service {

class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{100};

  // maxDelay 0 turns the throttle off.
  explicit LoginThrottle(std::chrono::milliseconds maxDelay,
                         std::chrono::seconds forgetAfter = std::chrono::seconds(300),
                         std::size_t maxSources = 4096);

  // How long an attempt from `source` must wait before its password is
  // checked; the slot is taken, so call it once per attempt.
  std::chrono::milliseconds Reserve(const std::string& source);
  // Records a failed attempt; returns the number of failures remembered.
  int Failed(const std::string& source);
  // Reserve() and sleep; Clock-independent callers use this.
  void Wait(const std::string& source);

  // The address part of "ADDR:PORT" (the whole text when there is no port).
  static std::string SourceOf(const std::string& peer);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point lastFailure;
    Clock::time_point nextSlot;
  };
  std::chrono::milliseconds DelayAfter(int failures) const;
  void Forget(Clock::time_point now);

  std::chrono::milliseconds m_MaxDelay;
  std::chrono::seconds m_ForgetAfter;
  std::size_t m_MaxSources;
  std::mutex m_Mutex;
  std::map<std::string, Record> m_Sources;
};

}  // namespace standin::service
