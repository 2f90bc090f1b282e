#include "Odbc.h"

#include "OdbcDriver.h"

#include <stdexcept>

namespace standin::integration {
namespace {

bool Succeeded(SQLRETURN result) {
  return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO;
}

bool IsBinary(SQLSMALLINT type) {
  return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

bool IsReal(SQLSMALLINT type) {
  return type == SQL_FLOAT || type == SQL_DOUBLE || type == SQL_REAL;
}

// Reads a whole value in pieces: long text and image values arrive in several
// SQLGetData calls.
OdbcValue FetchValue(SQLHSTMT statement, SQLUSMALLINT column, SQLSMALLINT sqlType) {
  OdbcValue value;
  if (IsReal(sqlType)) {
    double real = 0;
    SQLLEN indicator = 0;
    SQLRETURN result =
        Driver().GetData(statement, column, SQL_C_DOUBLE, &real, sizeof real, &indicator);
    if (!Succeeded(result)) throw std::runtime_error("SQLGetData failed");
    if (indicator == SQL_NULL_DATA) return value;
    value.isNull = false;
    value.real = real;
    return value;
  }
  SQLSMALLINT cType = IsBinary(sqlType) ? SQL_C_BINARY : SQL_C_CHAR;
  std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
  char buffer[16 * 1024];
  while (true) {
    SQLLEN indicator = 0;
    SQLRETURN result =
        Driver().GetData(statement, column, cType, buffer, sizeof buffer, &indicator);
    if (result == SQL_NO_DATA) break;
    if (!Succeeded(result)) {
      auto diagnostics = CollectDiagnostics(SQL_HANDLE_STMT, statement);
      throw std::runtime_error("SQLGetData failed: " +
                               (diagnostics.empty() ? std::string() : diagnostics[0].text));
    }
    if (indicator == SQL_NULL_DATA) return value;
    value.isNull = false;
    std::size_t available = sizeof buffer - terminator;
    std::size_t got = (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > available)
                          ? available
                          : static_cast<std::size_t>(indicator);
    value.text.append(buffer, got);
    if (result == SQL_SUCCESS) break;
  }
  return value;
}

}  // namespace

std::int32_t OdbcOutcome::FirstError() const {
  for (const OdbcDiagnostic& diagnostic : diagnostics) {
    if (diagnostic.state.rfind("01", 0) != 0 && diagnostic.nativeError != 0)
      return diagnostic.nativeError;
  }
  return 0;
}

std::vector<OdbcDiagnostic> CollectDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<OdbcDiagnostic> diagnostics;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[4096] = {};
    SQLSMALLINT length = 0;
    SQLRETURN result =
        Driver().GetDiagRec(handleType, handle, record, state, &native, text, sizeof text, &length);
    if (!Succeeded(result)) break;
    diagnostics.push_back({reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)});
  }
  return diagnostics;
}

OdbcConnection::~OdbcConnection() {
  Disconnect();
}

void OdbcConnection::Disconnect() {
  if (m_Connection != SQL_NULL_HDBC) {
    Driver().Disconnect(m_Connection);
    Driver().FreeHandle(SQL_HANDLE_DBC, m_Connection);
    m_Connection = SQL_NULL_HDBC;
  }
  if (m_Environment != SQL_NULL_HENV) {
    Driver().FreeHandle(SQL_HANDLE_ENV, m_Environment);
    m_Environment = SQL_NULL_HENV;
  }
}

bool OdbcConnection::Connect(const std::string& connectionString,
                             std::vector<OdbcDiagnostic>* diagnostics) {
  Disconnect();
  Driver().AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_Environment);
  Driver().SetEnvAttr(m_Environment, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  Driver().AllocHandle(SQL_HANDLE_DBC, m_Environment, &m_Connection);
  Driver().SetConnectAttr(m_Connection, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10),
                          0);
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  SQLRETURN result = Driver().DriverConnect(
      m_Connection, nullptr,
      reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())), SQL_NTS, out,
      sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
  if (Succeeded(result)) return true;
  if (diagnostics) *diagnostics = CollectDiagnostics(SQL_HANDLE_DBC, m_Connection);
  Driver().FreeHandle(SQL_HANDLE_DBC, m_Connection);
  m_Connection = SQL_NULL_HDBC;
  return false;
}

bool OdbcConnection::SetAutocommit(bool on) {
  auto value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  return Succeeded(
      Driver().SetConnectAttr(m_Connection, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(value)), 0));
}

bool OdbcConnection::EndTransaction(bool commit) {
  return Succeeded(
      Driver().EndTran(SQL_HANDLE_DBC, m_Connection, commit ? SQL_COMMIT : SQL_ROLLBACK));
}

namespace {

SQLHSTMT NewStatement(SQLHDBC connection, SQLULEN queryTimeout) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  if (!Succeeded(Driver().AllocHandle(SQL_HANDLE_STMT, connection, &statement))) {
    throw std::runtime_error("SQLAllocHandle failed");
  }
  if (queryTimeout > 0) {
    Driver().SetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT,
                         reinterpret_cast<SQLPOINTER>(queryTimeout), 0);
  }
  return statement;
}

// Binds input parameters; `indicators` must outlive the execution.
void BindAll(SQLHSTMT statement, const std::vector<OdbcParameter>& parameters,
             std::vector<SQLLEN>& indicators) {
  indicators.assign(parameters.size(), 0);
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const OdbcParameter& parameter = parameters[i];
    indicators[i] = parameter.isNull ? SQL_NULL_DATA : static_cast<SQLLEN>(parameter.data.size());
    Driver().BindParameter(statement, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                           parameter.cType, parameter.sqlType, parameter.columnSize,
                           parameter.decimalDigits, const_cast<char*>(parameter.data.data()),
                           static_cast<SQLLEN>(parameter.data.size()), &indicators[i]);
  }
}

// Reads every result of an execution that returned `result`.
OdbcOutcome Collect(SQLHSTMT statement, SQLRETURN result) {
  OdbcOutcome outcome;
  // A broken connection keeps answering SQL_ERROR; stop after a while.
  for (int errors = 0; errors < 100;) {
    if (result == SQL_NO_DATA || result == SQL_INVALID_HANDLE) break;
    if (result == SQL_ERROR) ++errors;
    auto diagnostics = CollectDiagnostics(SQL_HANDLE_STMT, statement);
    outcome.diagnostics.insert(outcome.diagnostics.end(), diagnostics.begin(), diagnostics.end());
    if (result == SQL_ERROR) {
      outcome.ok = false;
    } else {
      SQLSMALLINT columnCount = 0;
      Driver().NumResultCols(statement, &columnCount);
      if (columnCount > 0) {
        OdbcResultSet set;
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columnCount); ++i) {
          OdbcColumn column;
          SQLCHAR name[256] = {};
          SQLSMALLINT nameLength = 0;
          SQLSMALLINT nullable = 0;
          Driver().DescribeCol(statement, i, name, sizeof name, &nameLength, &column.sqlType,
                               &column.size, &column.scale, &nullable);
          column.name = reinterpret_cast<char*>(name);
          SQLCHAR typeName[128] = {};
          SQLSMALLINT typeNameLength = 0;
          Driver().ColAttribute(statement, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                &typeNameLength, nullptr);
          column.typeName = reinterpret_cast<char*>(typeName);
          column.nullable = nullable == SQL_NULLABLE;
          set.columns.push_back(column);
        }
        while (true) {
          SQLRETURN fetched = Driver().Fetch(statement);
          if (fetched == SQL_NO_DATA) break;
          if (!Succeeded(fetched)) {
            outcome.ok = false;
            auto fetchDiagnostics = CollectDiagnostics(SQL_HANDLE_STMT, statement);
            outcome.diagnostics.insert(outcome.diagnostics.end(), fetchDiagnostics.begin(),
                                       fetchDiagnostics.end());
            break;
          }
          std::vector<OdbcValue> row;
          for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columnCount); ++i) {
            row.push_back(FetchValue(statement, i, set.columns[i - 1].sqlType));
          }
          set.rows.push_back(std::move(row));
        }
        outcome.resultSets.push_back(std::move(set));
        SQLLEN count = -1;
        if (Succeeded(Driver().RowCount(statement, &count)) && count >= 0)
          outcome.lastCount = count;
      } else {
        SQLLEN count = -1;
        Driver().RowCount(statement, &count);
        outcome.rowCounts.push_back(count);
        if (count >= 0) outcome.lastCount = count;
      }
    }
    result = Driver().MoreResults(statement);
  }
  return outcome;
}

}  // namespace

OdbcOutcome OdbcConnection::Execute(const std::string& sql,
                                    const std::vector<OdbcParameter>& parameters) {
  SQLHSTMT statement = NewStatement(m_Connection, m_QueryTimeout);
  std::vector<SQLLEN> indicators;
  BindAll(statement, parameters, indicators);
  SQLRETURN result = Driver().ExecDirect(
      statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  OdbcOutcome outcome = Collect(statement, result);
  Driver().FreeHandle(SQL_HANDLE_STMT, statement);
  return outcome;
}

std::vector<OdbcOutcome> OdbcConnection::ExecutePrepared(
    const std::string& sql, const std::vector<std::vector<OdbcParameter>>& runs, bool describeFirst,
    SQLSMALLINT* columnsBefore) {
  std::vector<OdbcOutcome> outcomes;
  SQLHSTMT statement = NewStatement(m_Connection, m_QueryTimeout);
  if (!Succeeded(Driver().Prepare(
          statement, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS))) {
    OdbcOutcome failed;
    failed.ok = false;
    failed.diagnostics = CollectDiagnostics(SQL_HANDLE_STMT, statement);
    Driver().FreeHandle(SQL_HANDLE_STMT, statement);
    return {failed};
  }
  std::vector<SQLLEN> indicators;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    BindAll(statement, runs[i], indicators);
    if (i == 0 && describeFirst) {
      SQLSMALLINT columns = -1;
      Driver().NumResultCols(statement, &columns);
      if (columnsBefore) *columnsBefore = columns;
    }
    outcomes.push_back(Collect(statement, Driver().Execute(statement)));
  }
  Driver().FreeHandle(SQL_HANDLE_STMT, statement);
  return outcomes;
}

}  // namespace standin::integration
