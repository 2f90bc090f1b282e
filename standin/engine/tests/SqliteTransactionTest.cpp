// A unit of work on a SQLite connection stands only when committed, and one
// nested in an open transaction undoes only its own part; state changed for
// a while comes back however the scope ends.
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/ScopeGuard.h"
#include "storage/Sqlite.h"

namespace standin::engine {
namespace {

class SqliteTransactionTest : public testing::Test {
 protected:
  void SetUp() override {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &raw), SQLITE_OK);
    m_Db.reset(raw);
    Execute(Db(), "CREATE TABLE t (v INTEGER)");
  }
  sqlite3* Db() { return m_Db.get(); }
  int Rows() {
    SqliteStatement count(Db(), "SELECT count(*) FROM t");
    count.Step();
    return sqlite3_column_int(count.Handle(), 0);
  }
  bool InTransaction() { return !sqlite3_get_autocommit(Db()); }

 private:
  ConnectionPtr m_Db;
};

TEST_F(SqliteTransactionTest, OwnTransactionStandsOnlyWhenCommitted) {
  for (const bool commit : {false, true}) {
    {
      SqliteTransaction transaction(Db(), SqliteTransaction::Lock::Immediate);
      EXPECT_TRUE(InTransaction());
      Execute(Db(), "INSERT INTO t VALUES (1)");
      if (commit) transaction.Commit();
    }
    EXPECT_FALSE(InTransaction());
    EXPECT_EQ(Rows(), commit ? 1 : 0) << "commit " << commit;
  }
}

TEST_F(SqliteTransactionTest, SavepointUndoesOnlyItsOwnPartAndLeavesTheTransactionOpen) {
  Execute(Db(), "BEGIN");
  Execute(Db(), "INSERT INTO t VALUES (1)");
  try {
    SqliteTransaction statement(Db(), std::string("statement"));
    Execute(Db(), "INSERT INTO t VALUES (2)");
    throw std::runtime_error("the statement fails");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(InTransaction());
  EXPECT_EQ(Rows(), 1);
  {
    SqliteTransaction statement(Db(), std::string("statement"));
    Execute(Db(), "INSERT INTO t VALUES (3)");
    statement.Commit();
  }
  Execute(Db(), "COMMIT");
  EXPECT_EQ(Rows(), 2);
}

TEST_F(SqliteTransactionTest, ImmediateOrSavepointFollowsTheConnection) {
  {
    SqliteTransaction own = SqliteTransaction::ImmediateOrSavepoint(Db(), "nested");
    Execute(Db(), "INSERT INTO t VALUES (1)");
  }
  EXPECT_FALSE(InTransaction()) << "its own transaction ends with it";
  EXPECT_EQ(Rows(), 0);
  Execute(Db(), "BEGIN");
  {
    SqliteTransaction nested = SqliteTransaction::ImmediateOrSavepoint(Db(), "nested");
    Execute(Db(), "INSERT INTO t VALUES (1)");
  }
  EXPECT_TRUE(InTransaction()) << "a savepoint leaves the outer transaction open";
  Execute(Db(), "ROLLBACK");
}

TEST_F(SqliteTransactionTest, SavepointOfATransactionSqliteAlreadyEndedIsLeftAlone) {
  Execute(Db(), "BEGIN");
  {
    SqliteTransaction statement(Db(), std::string("statement"));
    Execute(Db(), "ROLLBACK");  // as SQLite does after an I/O error or an interrupt
  }
  EXPECT_FALSE(InTransaction());
  Execute(Db(), "INSERT INTO t VALUES (1)");
  EXPECT_EQ(Rows(), 1);
}

TEST(ScopeGuardTest, RestoresOnEveryWayOutUnlessDismissed) {
  int value = 1;
  try {
    value = 2;
    ScopeGuard restore([&] { value = 1; });
    throw std::runtime_error("fails");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(value, 1);
  {
    value = 2;
    ScopeGuard restore([&] { value = 1; });
  }
  EXPECT_EQ(value, 1);
  {
    value = 2;
    ScopeGuard restore([&] { value = 1; });
    restore.Dismiss();
  }
  EXPECT_EQ(value, 2);
}

}  // namespace
}  // namespace standin::engine
