// A small ODBC client for the integration tests (the FreeTDS driver, see
// OdbcDriver.h): runs a batch and collects every result set, row count and
// diagnostic, with values as exact bytes or text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin::integration {

struct OdbcDiagnostic {
  std::string state;
  std::int32_t nativeError = 0;
  std::string text;
};

struct OdbcColumn {
  std::string name;
  std::string typeName;  // the server's type name ("nvarchar", "money", "smalldatetime")
  SQLSMALLINT sqlType = 0;
  SQLULEN size = 0;
  SQLSMALLINT scale = 0;
  bool nullable = false;
};

// A value as fetched: NULL, raw bytes for binary columns, a double for
// floating-point columns, UTF-8 text for everything else.
struct OdbcValue {
  bool isNull = true;
  std::string text;  // text, or the raw bytes of a binary column
  std::optional<double> real;
};

struct OdbcResultSet {
  std::vector<OdbcColumn> columns;
  std::vector<std::vector<OdbcValue>> rows;
};

struct OdbcOutcome {
  bool ok = true;  // no statement of the batch failed
  std::vector<OdbcResultSet> resultSets;
  std::vector<SQLLEN> rowCounts;  // one per counted statement without a result set
  std::vector<OdbcDiagnostic> diagnostics;
  std::optional<SQLLEN>
      lastCount;  // the last row count the driver reported (also after a result set)
  // The first error's native number, 0 if none.
  std::int32_t FirstError() const;
};

// A bound input parameter: `data` holds the C value's bytes (a string's
// characters, a struct's bytes).
struct OdbcParameter {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_VARCHAR;
  SQLULEN columnSize = 0;
  SQLSMALLINT decimalDigits = 0;
  std::string data;
  bool isNull = false;
};

class OdbcConnection {
 public:
  OdbcConnection() = default;
  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Returns false and fills `diagnostics` when the connection is refused.
  bool Connect(const std::string& connectionString,
               std::vector<OdbcDiagnostic>* diagnostics = nullptr);
  OdbcOutcome Execute(const std::string& sql, const std::vector<OdbcParameter>& parameters = {});
  // Prepares `sql` once and executes it with each set of parameters (the
  // driver sends sp_prepexec, then sp_execute, and sp_unprepare at the end);
  // with `describeFirst` the columns are asked for before the first execute
  // (sp_prepare). One outcome per execution; `columnsBefore` gets the count
  // the driver reported before executing.
  std::vector<OdbcOutcome> ExecutePrepared(const std::string& sql,
                                           const std::vector<std::vector<OdbcParameter>>& runs,
                                           bool describeFirst = false,
                                           SQLSMALLINT* columnsBefore = nullptr);
  // Autocommit off makes the driver open transactions itself; EndTransaction
  // commits or rolls back (transaction-manager requests on the wire).
  bool SetAutocommit(bool on);
  bool EndTransaction(bool commit);
  // Sets the statement time-out (seconds) used by later Execute calls.
  void SetQueryTimeout(SQLULEN seconds) { m_QueryTimeout = seconds; }
  void Disconnect();

 private:
  SQLHENV m_Environment = SQL_NULL_HENV;
  SQLHDBC m_Connection = SQL_NULL_HDBC;
  SQLULEN m_QueryTimeout = 0;
};

std::vector<OdbcDiagnostic> CollectDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

}  // namespace standin::integration
