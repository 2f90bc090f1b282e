// Internal: one ODBC statement from execution to its last result.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "data/DataAccess.h"
#include "data/SqlLog.h"

namespace bw::odbc {

// An executed statement handle that is freed with the object.
class Statement {
 public:
  // Allocates a statement on `connection` (which must be open), sets the
  // query time-out (0: none) and executes `sql`. On SQL_ERROR the errors of
  // the first result are kept in PendingErrors() rather than thrown, so the
  // caller can still read the batch's later results.
  // The SQL log gets the statement once it ran, with its first result's
  // outcome — unless `logWhenDrained`, where the caller reads every result
  // and calls LogOutcome with the batch's.
  Statement(Connection& connection, const std::string& sql, int timeoutSeconds,
            bool logWhenDrained = false);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT Handle() const { return m_Handle; }
  // Moves to the next result; false when there is none. Errors of that
  // result are added to PendingErrors().
  bool NextResult();
  // Columns of the current result (0 for a row count or no result).
  int ColumnCount() const;
  // Rows affected by the current result, -1 when it reports none.
  long RowCount() const;
  // Collects the handle's current diagnostics into PendingErrors(), led by
  // one that names a lost connection when that is why.
  void CollectErrors();
  std::vector<ProviderMessage>& PendingErrors() { return m_Errors; }
  // Throws DataError (kAdoErrorStatement) when errors are pending.
  void ThrowPending();
  // Hands the statement to the SQL log (once; later calls do nothing):
  // failed when errors are pending, else with `rowsAffected` (-1: none).
  void LogOutcome(long rowsAffected);

 private:
  // After a failing first statement the driver manager reports no further
  // results without asking the driver, so the batch's later errors are read
  // from the driver's own statement handle.
  void CollectLaterErrorsFromDriver(SQLHDBC dbc);

  SQLHDBC m_Connection = SQL_NULL_HDBC;
  SQLHSTMT m_Handle = SQL_NULL_HSTMT;
  std::vector<ProviderMessage> m_Errors;
  std::unique_ptr<SqlLogEntry> m_Logged;  // while the SQL log still waits for it
  std::chrono::steady_clock::time_point m_Started;
};

// Executes `sql`, reads every result of the batch and throws when any
// statement failed (with every error message). Returns the last row count.
long ExecuteAndDrain(Connection& connection, const std::string& sql, int timeoutSeconds);

}  // namespace bw::odbc
