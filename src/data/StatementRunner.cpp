#include "StatementRunner.h"

#include <dlfcn.h>
#include <link.h>

#include "OdbcSupport.h"
#include "data/PasswordMask.h"
#include "support/Log.h"

namespace bw::odbc {
namespace {

// A handle to the already loaded library whose file name is `fileName`
// (the manager may have loaded it by its full path); nullptr when none is.
void* OpenLoadedLibrary(const std::string& fileName) {
  struct Search {
    std::string fileName;
    std::string path;
  } search{fileName, {}};
  ::dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* wanted = static_cast<Search*>(data);
        const std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
        const std::size_t slash = path.rfind('/');
        if (path.substr(slash == std::string::npos ? 0 : slash + 1) != wanted->fileName) return 0;
        wanted->path = path;
        return 1;
      },
      &search);
  if (search.path.empty()) return nullptr;
  return ::dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
}

}  // namespace

Statement::Statement(Connection& connection, const std::string& sql, int timeoutSeconds,
                     bool logWhenDrained) {
  connection.ReleaseActiveReader();
  auto dbc = static_cast<SQLHDBC>(connection.NativeHandle());
  if (dbc == nullptr) {
    throw Error(kAdoErrorClosed, "ADODB.Connection",
                "Operation is not allowed when the object is closed.");
  }
  m_Connection = dbc;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &m_Handle))) {
    if (ConnectionLost(dbc)) {
      std::vector<ProviderMessage> lost;
      NameLostConnection(lost);
      throw DataError(kAdoErrorGeneric, std::move(lost));
    }
    Fail(kAdoErrorGeneric, SQL_HANDLE_DBC, dbc, "The statement could not be created.");
  }
  SQLSetStmtAttr(m_Handle, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeoutSeconds)), 0);
  if (SqlLog::Active()) {
    m_Logged = std::make_unique<SqlLogEntry>();
    m_Logged->time = std::chrono::system_clock::now();
    m_Logged->server = connection.LogServer();
    m_Logged->database = connection.CurrentDatabase();
    m_Logged->login = connection.LogLogin();
    m_Logged->text = MaskStatementPasswords(sql);
    m_Started = std::chrono::steady_clock::now();
  }
  std::vector<SQLWCHAR> wide = WideText(sql);
  SQLRETURN rc = SQLExecDirectW(m_Handle, wide.data(), SQL_NTS);
  if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) CollectErrors();
  if (rc == SQL_ERROR && m_Errors.empty()) {
    m_Errors.push_back({0, "HY000", "The statement failed."});
  }
  if (rc == SQL_ERROR) CollectLaterErrorsFromDriver(dbc);
  if (!logWhenDrained) LogOutcome(ColumnCount() == 0 ? RowCount() : -1);
}

void Statement::LogOutcome(long rowsAffected) {
  if (!m_Logged) return;
  m_Logged->duration = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - m_Started);
  m_Logged->failed = !m_Errors.empty();
  for (const ProviderMessage& error : m_Errors) {
    m_Logged->errors.push_back(error.serverNumber != 0 ? error.serverNumber : kAdoErrorStatement);
  }
  m_Logged->rowsAffected = m_Logged->failed ? -1 : rowsAffected;
  const std::unique_ptr<SqlLogEntry> entry = std::move(m_Logged);
  SqlLog::Record(*entry);
}

void Statement::CollectLaterErrorsFromDriver(SQLHDBC dbc) {
  // The driver's handle for ours, and the driver library the manager loaded
  // (only ever found among the loaded ones: never a second copy).
  SQLULEN driverHandle = reinterpret_cast<SQLULEN>(m_Handle);
  if (!SQL_SUCCEEDED(
          SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &driverHandle, sizeof driverHandle, nullptr)) ||
      driverHandle == 0) {
    return;
  }
  SQLCHAR driverName[512] = {0};
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, driverName, sizeof driverName, nullptr))) {
    return;
  }
  void* library = OpenLoadedLibrary(reinterpret_cast<const char*>(driverName));
  if (library == nullptr) {
    Log("data access", std::string("driver ") + reinterpret_cast<const char*>(driverName) +
                           " not reachable: later errors of the batch stay unread");
    return;
  }
  using MoreResultsFunction = SQLRETURN (*)(SQLHSTMT);
  auto moreResults = reinterpret_cast<MoreResultsFunction>(::dlsym(library, "SQLMoreResults"));
  auto getDiagRec = reinterpret_cast<GetDiagRecFunction>(::dlsym(library, "SQLGetDiagRecW"));
  const auto statement = reinterpret_cast<SQLHSTMT>(driverHandle);
  // Bounded: a batch has at most one result per statement.
  for (int guard = 0; moreResults != nullptr && getDiagRec != nullptr && guard < 100000; ++guard) {
    const SQLRETURN rc = moreResults(statement);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_ERROR) break;
    if (rc == SQL_SUCCESS) continue;
    for (auto& message : Diagnostics(getDiagRec, SQL_HANDLE_STMT, statement)) {
      if (!IsInformational(message)) m_Errors.push_back(std::move(message));
    }
  }
  ::dlclose(library);
}

Statement::~Statement() {
  if (m_Handle != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, m_Handle);
}

void Statement::CollectErrors() {
  for (auto& message : Diagnostics(SQL_HANDLE_STMT, m_Handle)) {
    if (!IsInformational(message)) m_Errors.push_back(std::move(message));
  }
  if (ConnectionLost(m_Connection)) NameLostConnection(m_Errors);
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
  Statement statement(connection, sql, timeoutSeconds, true);
  long affected = -1;
  // Bounded: a batch has at most one result per statement.
  for (int guard = 0; guard < 1000000; ++guard) {
    if (statement.ColumnCount() == 0) {
      if (long count = statement.RowCount(); count >= 0) affected = count;
    }
    if (!statement.NextResult()) break;
  }
  statement.LogOutcome(affected);
  statement.ThrowPending();
  return affected;
}

}  // namespace bw::odbc
