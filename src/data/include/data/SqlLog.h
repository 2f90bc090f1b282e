// The SQL log: every statement the product sends to a server, and every
// login, with where it went, how long it took and how it ended, passwords
// masked. Written by the data layer only (the one place statements are
// executed); read by whoever subscribes — a file, a window, a test.
//
// Thread-safe. Subscribers are called on the thread that ran the statement,
// after it ran, and may themselves run statements (they are called without
// any lock held).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bw {

struct SqlLogEntry {
  std::uint64_t sequence = 0;                  // set by Record: one more than the entry before
  std::chrono::system_clock::time_point time;  // when it was sent
  std::string server;                          // the Data Source
  std::string database;                        // the current database when it was sent
  std::string login;                           // User Id, or "(Windows)" for integrated
  bool connect = false;                        // a login, not a statement
  std::string text;                            // the statement (or connection string), masked
  std::chrono::microseconds duration{0};
  bool failed = false;
  long rowsAffected = -1;            // the last row count reported; -1 when none was
  std::vector<std::int32_t> errors;  // the server's error numbers; the ADO number when none
};

class SqlLog {
 public:
  using Subscriber = std::function<void(const SqlLogEntry&)>;

  // Calls `subscriber` for every entry from now on; returns the id that
  // Unsubscribe takes.
  static int Subscribe(Subscriber subscriber);
  static void Unsubscribe(int id);
  // Keeps the latest entries (at most kRecentLimit) from now on, for a view
  // that opens after they were sent; false drops them and stops keeping.
  static void KeepRecent(bool keep);
  // The kept entries, oldest first.
  static std::vector<SqlLogEntry> Recent();
  static constexpr std::size_t kRecentLimit = 1000;

  // Appends every entry from now on to `path` (created owner-only: statements
  // carry data), replacing a file opened before. Raises bw::Error when the
  // file cannot be opened. An empty path closes the file.
  static void OpenFile(const std::string& path);
  // Opens the file the SqlLog setting names, when it names one.
  static void OpenFileFromSettings();

  // Whether anybody reads the log; when nobody does, nothing is collected.
  static bool Active();
  // Delivers `entry` (data layer only).
  static void Record(const SqlLogEntry& entry);
};

// The file's form of an entry: a comment line with time (UTC), server,
// database, login, duration and outcome, then the statement, then "GO", so
// the file reads as the script that was run:
//   -- 2026-01-02T03:04:05.678Z server=127.0.0.1,1433 database=master login=sa duration=1.234ms
//   rows=1 EXEC sp_addlogin 'clerk', '********' GO
// The outcome is "rows=N", "ok" (no count reported) or "error=N[,N…]" (server error numbers; the
// provider's own as 0x…).
std::string FormatSqlLogEntry(const SqlLogEntry& entry);
// The outcome alone, as the file writes it: "rows=N", "ok" or "error=N[,N…]".
std::string SqlLogOutcome(const SqlLogEntry& entry);

}  // namespace bw
