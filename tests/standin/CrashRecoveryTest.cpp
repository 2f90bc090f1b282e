// SIGKILL in the middle of writing leaves the database openable with every
// insert that was acknowledged to the client.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Odbc.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

TEST(CrashRecovery, KilledMidWriteKeepsEveryAcknowledgedRow) {
  StandinProcess server;
  server.Start();
  {
    OdbcConnection setup;
    ASSERT_TRUE(setup.Connect(server.ConnectionString())) << server.Log();
    ASSERT_TRUE(
        setup.Execute("CREATE TABLE Journal (n int NOT NULL PRIMARY KEY, body nvarchar(200) NULL)")
            .ok)
        << server.Log();
  }
  // One writer commits statement by statement; another session has an open
  // transaction with an insert when the server dies.
  std::atomic<int> acknowledged{0};
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    OdbcConnection connection;
    if (!connection.Connect(server.ConnectionString())) return;
    for (int n = 1; !stop; ++n) {
      OdbcOutcome outcome =
          connection.Execute("INSERT INTO Journal (n, body) VALUES (" + std::to_string(n) +
                             ", N'row " + std::to_string(n) + " \xC3\xA4\xC3\xB6\xC3\xBC')");
      if (!outcome.ok) return;
      acknowledged = n;
    }
  });
  OdbcConnection uncommitted;
  ASSERT_TRUE(uncommitted.Connect(server.ConnectionString()));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (acknowledged < 200 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_GE(acknowledged.load(), 200) << server.Log();
  EXPECT_TRUE(uncommitted.Execute("BEGIN TRANSACTION\nINSERT INTO Journal (n) VALUES (1000000)").ok)
      << server.Log();
  server.Kill();
  stop = true;
  writer.join();
  int acknowledgedBeforeKill = acknowledged.load();

  server.Start();
  OdbcConnection connection;
  ASSERT_TRUE(connection.Connect(server.ConnectionString())) << server.Log();
  OdbcOutcome outcome = connection.Execute(
      "SELECT COUNT(*), MAX(n) FROM Journal WHERE n < 1000000\n"
      "SELECT COUNT(*) FROM Journal WHERE n >= 1000000");
  ASSERT_EQ(outcome.resultSets.size(), 2u) << server.Log();
  int count = std::stoi(outcome.resultSets[0].rows[0][0].text);
  // The insert in flight at the kill may or may not have committed.
  EXPECT_GE(count, acknowledgedBeforeKill);
  EXPECT_LE(count, acknowledgedBeforeKill + 1);
  EXPECT_EQ(outcome.resultSets[0].rows[0][1].text, std::to_string(count)) << "no gaps";
  EXPECT_EQ(outcome.resultSets[1].rows[0][0].text, "0")
      << "an uncommitted transaction must not survive";
  // The database takes writes again.
  EXPECT_TRUE(connection.Execute("INSERT INTO Journal (n) VALUES (-1)").ok) << server.Log();
}

}  // namespace
}  // namespace standin::integration
