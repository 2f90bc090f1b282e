// The product's SQL log (data/SqlLog.h) in the console's form: what the
// snap-in sent to its servers, for the console's SQL log window.
//
// The log is the library's own (one per process image of it), so a feed
// that dies unsubscribes what it subscribed and stops keeping entries.
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "data/SqlLog.h"
#include "sdk/StatementLog.h"

namespace bw::snapin {

class SqlLogFeed : public sdk::StatementLog {
 public:
  SqlLogFeed() = default;
  ~SqlLogFeed() override;
  SqlLogFeed(const SqlLogFeed&) = delete;
  SqlLogFeed& operator=(const SqlLogFeed&) = delete;

  void KeepRecent(bool keep) override;
  std::vector<sdk::LogEntry> Recent() override;
  int Subscribe(std::function<void(const sdk::LogEntry&)> subscriber) override;
  void Unsubscribe(int id) override;

  // One entry of the data layer's log as the console shows it.
  static sdk::LogEntry ToLogEntry(const SqlLogEntry& entry);

 private:
  std::mutex m_Mutex;
  std::set<int> m_Subscriptions;
  bool m_Keeping = false;
};

}  // namespace bw::snapin
