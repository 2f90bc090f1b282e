#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <optional>

#include "OdbcSupport.h"
#include "StatementRunner.h"
#include "data/ConnectionString.h"
#include "data/DataAccess.h"
#include "data/PasswordMask.h"
#include "data/SqlLog.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/Settings.h"

namespace bw {

namespace {

// The time ADO waits for a login when the string names none.
constexpr int kDefaultConnectTimeout = 15;

// ADO's statement time-out, unless the setting says otherwise.
int DefaultCommandTimeout() {
  try {
    long seconds = Settings::GetNumber(kSettingCommandTimeout);
    if (seconds >= 0 && seconds <= 86400) return static_cast<int>(seconds);
    Log("data access", "CommandTimeout " + std::to_string(seconds) + " is out of range; using 30");
  } catch (const Error& error) {
    Log("data access", error.Description() + " Using 30.");
  }
  return 30;
}

}  // namespace

DataError::DataError(std::int32_t number, std::vector<ProviderMessage> messages)
    : Error(number, kAdoSource, messages.empty() ? std::string() : messages.front().text),
      m_Messages(std::move(messages)) {}

std::int32_t DataError::ServerNumber() const {
  return m_Messages.empty() ? 0 : m_Messages.front().serverNumber;
}

struct Connection::Handles {
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  bool open = false;

  ~Handles() { Release(); }
  void Release() {
    if (open) SQLDisconnect(connection);
    open = false;
    if (connection != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, connection);
    if (environment != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment);
    connection = SQL_NULL_HDBC;
    environment = SQL_NULL_HENV;
  }
};

Connection::Connection()
    : m_Handles(std::make_unique<Handles>()), m_CommandTimeout(DefaultCommandTimeout()) {}
Connection::~Connection() {
  // A recordset still reading keeps what it can; a destructor has nobody to
  // report a failure to.
  try {
    ReleaseActiveReader();
  } catch (const Error&) {
  }
}

void Connection::SetConnectionString(const std::string& text) {
  if (State() == adStateOpen) {
    throw Error(kAdoErrorGeneric, kAdoSource, "Operation is not allowed when the object is open.");
  }
  m_ConnectionString = text;
}

Variant Connection::Property(const std::string& name) const {
  if (name == "Data Source") {
    return OleDbConnectionString::Parse(m_ConnectionString).Get("Data Source").value_or("");
  }
  if (name == "Persist Security Info") return m_PersistSecurityInfo;
  throw Error(kAdoErrorItemNotFound, "ADODB.Properties",
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal.");
}

void Connection::SetProperty(const std::string& name, const Variant& value) {
  if (name == "Persist Security Info") {
    m_PersistSecurityInfo = value.ToBoolean();
    return;
  }
  Property(name);  // raises for unknown names
  throw Error(kAdoErrorGeneric, "ADODB.Properties", "The property " + name + " is read-only.");
}

void Connection::Open() {
  if (State() == adStateOpen) {
    throw Error(kAdoErrorGeneric, kAdoSource, "Operation is not allowed when the object is open.");
  }
  OleDbConnectionString oleDb = OleDbConnectionString::Parse(m_ConnectionString);
  std::string odbc = ToOdbcConnectionString(oleDb, Settings::Get(kSettingOdbcDriver),
                                            Settings::Get(kSettingTdsVersion));
  int timeout = ConnectTimeoutOf(oleDb).value_or(kDefaultConnectTimeout);

  Handles& h = *m_Handles;
  h.Release();
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.environment))) {
    throw DataError(kAdoErrorGeneric, {{0, "HY001", "The ODBC environment could not be created."}});
  }
  SQLSetEnvAttr(h.environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                0);
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, h.environment, &h.connection))) {
    odbc::Fail(kAdoErrorGeneric, SQL_HANDLE_ENV, h.environment,
               "The ODBC connection could not be created.");
  }
  SQLSetConnectAttr(h.connection, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);
  m_LogServer = oleDb.Get("Data Source").value_or("");
  m_LogLogin = LowerAscii(oleDb.Get("Integrated Security").value_or("")) == "sspi"
                   ? "(Windows)"
                   : oleDb.Get("User Id").value_or("");
  std::optional<SqlLogEntry> logged;
  const auto started = std::chrono::steady_clock::now();
  if (SqlLog::Active()) {
    logged.emplace();
    logged->time = std::chrono::system_clock::now();
    logged->server = m_LogServer;
    logged->database = oleDb.Get("Initial Catalog").value_or("");
    logged->login = m_LogLogin;
    logged->connect = true;
    logged->text = MaskConnectionPasswords(odbc);
  }
  std::vector<SQLWCHAR> wide = odbc::WideText(odbc);
  SQLRETURN rc = SQLDriverConnectW(h.connection, nullptr, wide.data(), SQL_NTS, nullptr, 0, nullptr,
                                   SQL_DRIVER_NOPROMPT);
  if (logged) {
    logged->duration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - started);
  }
  if (!SQL_SUCCEEDED(rc)) {
    std::vector<ProviderMessage> messages = odbc::Diagnostics(SQL_HANDLE_DBC, h.connection);
    std::vector<ProviderMessage> errors;
    for (auto& m : messages) {
      if (!odbc::IsInformational(m)) errors.push_back(std::move(m));
    }
    if (errors.empty()) errors.push_back({0, "08001", "The connection could not be opened."});
    std::int32_t number = odbc::ConnectErrorNumber(errors);
    h.Release();
    if (logged) {
      logged->failed = true;
      for (const auto& error : errors) {
        logged->errors.push_back(error.serverNumber != 0 ? error.serverNumber : number);
      }
      SqlLog::Record(*logged);
    }
    throw DataError(number, std::move(errors));
  }
  h.open = true;
  if (logged) {
    logged->database = CurrentDatabase();
    SqlLog::Record(*logged);
  }
}

std::string Connection::CurrentDatabase() const {
  if (!m_Handles->open) return {};
  SQLWCHAR name[512] = {0};
  SQLINTEGER bytes = 0;
  if (!SQL_SUCCEEDED(SQLGetConnectAttrW(m_Handles->connection, SQL_ATTR_CURRENT_CATALOG, name,
                                        sizeof name - sizeof name[0], &bytes))) {
    return {};
  }
  const std::size_t count = std::min<std::size_t>(
      bytes < 0 ? 0 : static_cast<std::size_t>(bytes) / sizeof name[0], std::size(name) - 1);
  return odbc::Utf8Text(name, count);
}

int Connection::State() const {
  return m_Handles->open ? adStateOpen : adStateClosed;
}

long Connection::Execute(const std::string& sql) {
  return odbc::ExecuteAndDrain(*this, sql, m_CommandTimeout);
}

void Connection::Close() {
  if (!m_Handles->open) {
    throw Error(kAdoErrorClosed, "ADODB.Connection",
                "Operation is not allowed when the object is closed.");
  }
  ReleaseActiveReader();
  m_Handles->Release();
}

void Connection::ReleaseActiveReader() {
  ActiveReader* reader = m_ActiveReader;
  m_ActiveReader = nullptr;
  if (reader != nullptr) reader->BufferRemaining();
}

void* Connection::NativeHandle() const {
  return m_Handles->open ? m_Handles->connection : nullptr;
}

void Command::SetCommandType(int type) {
  if (type != adCmdText) {
    throw Error(kAdoErrorGeneric, "ADODB.Command", "Only text commands are supported.");
  }
  m_CommandType = type;
}

long Command::Execute() {
  if (m_Connection == nullptr || m_Connection->State() != adStateOpen) {
    throw Error(kAdoErrorClosed, "ADODB.Command",
                "Operation is not allowed when the object is closed.");
  }
  int timeout = m_CommandTimeout >= 0 ? m_CommandTimeout : m_Connection->CommandTimeout();
  return odbc::ExecuteAndDrain(*m_Connection, m_CommandText, timeout);
}

}  // namespace bw
