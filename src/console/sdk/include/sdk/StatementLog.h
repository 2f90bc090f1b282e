// A snap-in's log of what it sent to its servers, for the console's log
// window: each statement and login with where it went, how long it took and
// how it ended, secrets already masked by the snap-in.
//
// Threading: a subscriber is called on whichever thread sent the statement,
// which need not be the console's; the host moves the entry to its own
// thread. A call already under way may still finish after Unsubscribe.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bw::sdk {

struct LogEntry {
  std::uint64_t sequence = 0;  // from 1, one more per entry: tells a kept entry from a live one
  std::chrono::system_clock::time_point time;  // when it was sent
  std::string server;
  std::string database;
  std::string login;
  std::chrono::microseconds duration{0};
  bool failed = false;
  std::string outcome;  // "rows=N", "ok" or "error=N[,N…]"
  std::string text;     // the statement, or "connect " and the connection string
};

class StatementLog {
 public:
  virtual ~StatementLog() = default;
  // Keeps the latest entries from now on for a window that opens later;
  // false drops them.
  virtual void KeepRecent(bool keep) = 0;
  // The kept entries, oldest first.
  virtual std::vector<LogEntry> Recent() = 0;
  // Calls `subscriber` for every entry from now on; returns the id that
  // Unsubscribe takes.
  virtual int Subscribe(std::function<void(const LogEntry&)> subscriber) = 0;
  virtual void Unsubscribe(int id) = 0;
};

}  // namespace bw::sdk
