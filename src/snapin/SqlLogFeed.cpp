#include "snapin/SqlLogFeed.h"

#include <utility>

namespace bw::snapin {

SqlLogFeed::~SqlLogFeed() {
  std::lock_guard lock(m_Mutex);
  for (int id : m_Subscriptions) SqlLog::Unsubscribe(id);
  if (m_Keeping) SqlLog::KeepRecent(false);
}

void SqlLogFeed::KeepRecent(bool keep) {
  std::lock_guard lock(m_Mutex);
  m_Keeping = keep;
  SqlLog::KeepRecent(keep);
}

std::vector<sdk::LogEntry> SqlLogFeed::Recent() {
  std::vector<sdk::LogEntry> entries;
  for (const SqlLogEntry& entry : SqlLog::Recent()) entries.push_back(ToLogEntry(entry));
  return entries;
}

int SqlLogFeed::Subscribe(std::function<void(const sdk::LogEntry&)> subscriber) {
  std::lock_guard lock(m_Mutex);
  const int id = SqlLog::Subscribe([subscriber = std::move(subscriber)](const SqlLogEntry& entry) {
    subscriber(ToLogEntry(entry));
  });
  m_Subscriptions.insert(id);
  return id;
}

void SqlLogFeed::Unsubscribe(int id) {
  std::lock_guard lock(m_Mutex);
  if (m_Subscriptions.erase(id) > 0) SqlLog::Unsubscribe(id);
}

sdk::LogEntry SqlLogFeed::ToLogEntry(const SqlLogEntry& entry) {
  sdk::LogEntry out;
  out.sequence = entry.sequence;
  out.time = entry.time;
  out.server = entry.server;
  out.database = entry.database;
  out.login = entry.login;
  out.duration = entry.duration;
  out.failed = entry.failed;
  out.outcome = SqlLogOutcome(entry);
  out.text = entry.connect ? "connect " + entry.text : entry.text;
  return out;
}

}  // namespace bw::snapin
