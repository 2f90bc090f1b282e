// Twenty sessions inserting into one table at once lose nothing: writes from
// concurrent sessions are serialised, and a session waiting for another's
// lock waits instead of failing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Odbc.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

TEST(ConcurrentSessions, TwentySessionsOfFiveHundredInsertsLoseNothing) {
  constexpr int kSessions = 20;
  constexpr int kInserts = 500;
  StandinProcess server;
  server.Start();
  {
    OdbcConnection setup;
    ASSERT_TRUE(setup.Connect(server.ConnectionString())) << server.Log();
    ASSERT_TRUE(
        setup
            .Execute("CREATE TABLE Shared (id int IDENTITY(1,1) PRIMARY KEY, session int NOT NULL, "
                     "n int NOT NULL)")
            .ok)
        << server.Log();
  }
  std::atomic<int> failures{0};
  std::vector<std::string> firstFailure(kSessions);
  std::vector<std::thread> threads;
  for (int session = 0; session < kSessions; ++session) {
    threads.emplace_back([&, session] {
      OdbcConnection connection;
      if (!connection.Connect(server.ConnectionString())) {
        ++failures;
        firstFailure[session] = "connect failed";
        return;
      }
      for (int n = 0; n < kInserts; ++n) {
        OdbcOutcome outcome =
            connection.Execute("INSERT INTO Shared (session, n) VALUES (" +
                               std::to_string(session) + ", " + std::to_string(n) + ")");
        if (!outcome.ok || outcome.rowCounts != std::vector<SQLLEN>{1}) {
          ++failures;
          if (firstFailure[session].empty()) {
            firstFailure[session] =
                outcome.diagnostics.empty() ? "no row count" : outcome.diagnostics[0].text;
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& failure : firstFailure) EXPECT_EQ(failure, "");
  EXPECT_EQ(failures.load(), 0);

  OdbcConnection check;
  ASSERT_TRUE(check.Connect(server.ConnectionString()));
  OdbcOutcome outcome = check.Execute(
      "SELECT COUNT(*), COUNT(DISTINCT id), MIN(id), MAX(id) FROM Shared\n"
      "SELECT session, COUNT(*) FROM Shared GROUP BY session HAVING COUNT(*) <> 500");
  ASSERT_EQ(outcome.resultSets.size(), 2u) << server.Log();
  const auto& totals = outcome.resultSets[0].rows[0];
  EXPECT_EQ(totals[0].text, "10000");
  EXPECT_EQ(totals[1].text, "10000") << "identity values must be unique";
  EXPECT_EQ(totals[2].text, "1");
  EXPECT_EQ(totals[3].text, "10000");
  EXPECT_TRUE(outcome.resultSets[1].rows.empty()) << "a session lost inserts";
}

}  // namespace
}  // namespace standin::integration
