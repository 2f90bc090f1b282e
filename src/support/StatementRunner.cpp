#include "StatementRunner.h"

#include "OdbcSupport.h"

namespace bw::odbc {

Statement::Statement(Connection& connection, const std::string& sql, int timeoutSeconds) {
  connection.ReleaseActiveReader();
  auto dbc = static_cast<SQLHDBC>(connection.NativeHandle());
  if (dbc == nullptr) {
    throw Error(kAdoErrorClosed, "ADODB.Connection",
                "Operation is not allowed when the object is closed.");
  }
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_Handle))) {
    Fail(kAdoErrorGeneric, SQL_HANDLE_DBC, dbc, "The statement could not be created.");
  }
  SQLSetStmtAttr(m_Handle, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
  SQLRETURN rc = SQLExecDirect(m_Handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                               static_cast<SQLINTEGER>(sql.size()));
  if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) CollectErrors();
  if (rc == SQL_ERROR && m_Errors.empty()) {
    m_Errors.push_back({0, "HY000", "The statement failed."});
  }
}

Statement::~Statement() {
  if (m_Handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, m_Handle);
}

void Statement::CollectErrors() {
  for (auto& message : Diagnostics(SQL_HANDLE_STMT, m_Handle)) {
    if (!IsInformational(message)) m_Errors.push_back(std::move(message));
  }
}

bool Statement::NextResult() {
  SQLRETURN rc = SQLMoreResults(m_Handle);
  if (rc == SQL_NO_DATA) return false;
  if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) CollectErrors();
  // A failed statement inside a batch still leaves the later ones to read.
  return rc != SQL_INVALID_HANDLE;
}

int Statement::ColumnCount() const {
  SQLSMALLINT count = 0;
  if (!SQL_SUCCEEDED(SQLNumResultCols(m_Handle, &count))) return 0;
  return count;
}

long Statement::RowCount() const {
  SQLLEN count = -1;
  if (!SQL_SUCCEEDED(SQLRowCount(m_Handle, &count))) return -1;
  return static_cast<long>(count);
}

void Statement::ThrowPending() {
  if (m_Errors.empty()) return;
  std::vector<ProviderMessage> errors;
  errors.swap(m_Errors);
  throw DataError(kAdoErrorStatement, std::move(errors));
}

long ExecuteAndDrain(Connection& connection, const std::string& sql, int timeoutSeconds) {
  Statement statement(connection, sql, timeoutSeconds);
  long affected = -1;
  // Bounded: a batch has at most one result per statement.
  for (int guard = 0; guard < 1000000; ++guard) {
    if (statement.ColumnCount() == 0) {
      if (long count = statement.RowCount(); count >= 0) affected = count;
    }
    if (!statement.NextResult()) break;
  }
  statement.ThrowPending();
  return affected;
}

}  // namespace bw::odbc
