#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "RecordsetImpl.h"
#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw {

namespace {

// Reads a variable-length value in pieces; SQLGetData tells the rest.
template <typename Append>
bool ReadChunks(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, Append append) {
  char buffer[8192];
  bool any = false;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, cType, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return any;
    if (!SQL_SUCCEEDED(rc)) {
      odbc::Fail(kAdoErrorGeneric, SQL_HANDLE_STMT, stmt, "A value could not be read.");
    }
    if (indicator == SQL_NULL_DATA) return false;
    any = true;
    // Character data comes with a terminator that is not counted.
    std::size_t room = cType == SQL_C_CHAR    ? sizeof buffer - 1
                       : cType == SQL_C_WCHAR ? sizeof buffer - sizeof(SQLWCHAR)
                                              : sizeof buffer;
    std::size_t got = (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room)
                          ? room
                          : static_cast<std::size_t>(indicator);
    append(buffer, got);
    if (rc == SQL_SUCCESS) return true;
  }
}

}  // namespace

Variant ReadValue(SQLHSTMT stmt, SQLUSMALLINT column, const ColumnInfo& info) {
  SQLLEN indicator = 0;
  switch (info.sqlType) {
    case SQL_BIT: {
      unsigned char value = 0;
      SQLGetData(stmt, column, SQL_C_BIT, &value, 0, &indicator);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return Variant(value != 0);
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT value = 0;
      SQLGetData(stmt, column, SQL_C_SBIGINT, &value, 0, &indicator);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return Variant(static_cast<std::int64_t>(value));
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double value = 0;
      SQLGetData(stmt, column, SQL_C_DOUBLE, &value, 0, &indicator);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return Variant(value);
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case SQL_DATETIME: {
      SQL_TIMESTAMP_STRUCT ts{};
      SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      DateValue date = MakeDate(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
      date.oleDate += ts.fraction / 1e9 / 86400.0;
      return Variant(date);
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      std::vector<std::uint8_t> bytes;
      bool present = ReadChunks(stmt, column, SQL_C_BINARY, [&](const char* p, std::size_t n) {
        bytes.insert(bytes.end(), p, p + n);
      });
      if (!present) return Variant::Null();
      return Variant(std::move(bytes));
    }
    default: {
      // Wide, as the connection was opened: the driver reads and writes
      // narrow text of such a connection as Latin-1.
      std::string bytes;
      bool present = ReadChunks(stmt, column, SQL_C_WCHAR,
                                [&](const char* p, std::size_t n) { bytes.append(p, n); });
      if (!present) return Variant::Null();
      std::vector<SQLWCHAR> wide(bytes.size() / sizeof(SQLWCHAR));
      std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(SQLWCHAR));
      std::string text = odbc::Utf8Text(wide.data(), wide.size());
      if (info.sqlType == SQL_GUID) {
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return Variant(GuidValue{"{" + text + "}"});
      }
      if (info.sqlType == SQL_DECIMAL || info.sqlType == SQL_NUMERIC) {
        Variant number(text);
        if (info.scale == 0 && text.size() < 19) return Variant(number.ToInteger());
        return Variant(number.ToDouble());
      }
      return Variant(std::move(text));
    }
  }
}

bool IsTableName(const std::string& source) {
  if (source.empty()) return false;
  bool inBrackets = false;
  for (char c : source) {
    if (c == '[') inBrackets = true;
    if (c == ']') inBrackets = false;
    bool allowed = std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' ||
                   c == '#' || c == '[' || c == ']' || c == '$' || c == '@' ||
                   (inBrackets && c == ' ');
    if (!allowed) return false;
  }
  return true;
}

[[noreturn]] void ClosedError() {
  throw Error(kAdoErrorClosed, "ADODB.Recordset",
              "Operation is not allowed when the object is closed.");
}

[[noreturn]] void NoCurrentRecord() {
  throw Error(kAdoErrorNoCurrentRecord, "ADODB.Recordset",
              "Either BOF or EOF is True, or the current record has been deleted. Requested "
              "operation requires a current record.");
}

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const std::string& sql, Connection* connection, int cursorType, int lockType,
                     int options) {
  if (m_State == adStateOpen) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "Operation is not allowed when the object is open.");
  }
  if (options != adCmdText && options != adCmdTable && options != adCmdUnknown && options != -1) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Only text and table sources are supported.");
  }
  m_Source = sql;
  std::string text = sql;
  // A bare table name reads the whole table, as the original provider does
  // when a name is not a command.
  if (options == adCmdTable || (options == adCmdUnknown && IsTableName(sql))) {
    text = "SELECT * FROM " + sql;
  }
  if (connection != nullptr) m_Connection = connection;
  if (cursorType >= 0) m_CursorType = cursorType;
  if (lockType >= 0) m_LockType = lockType;
  if (m_Connection == nullptr || m_Connection->State() != adStateOpen) ClosedError();

  // A previous result of this recordset must not hold the connection.
  m_Impl.reset();
  m_Impl = std::make_unique<Impl>();
  m_Impl->connection = m_Connection;
  // Static and keyset cursors are served from a buffered copy, as a
  // client-side cursor would.
  m_Impl->clientSide = m_CursorLocation == adUseClient ||
                       m_Connection->CursorLocation() == adUseClient ||
                       m_CursorType == adOpenStatic || m_CursorType == adOpenKeyset;
  m_Impl->statement =
      std::make_unique<odbc::Statement>(*m_Connection, text, m_Connection->CommandTimeout());
  m_Impl->EnterStatementResult();
  m_Impl->ThrowResultErrors();
  m_State = m_Impl->result.columns.empty() ? adStateClosed : adStateOpen;
}

void Recordset::Open(Command& command) {
  Open(command.CommandText(), command.ActiveConnection());
}

bool Recordset::Eof() const {
  if (m_State != adStateOpen) ClosedError();
  return m_Impl->eof;
}

bool Recordset::Bof() const {
  if (m_State != adStateOpen) ClosedError();
  return m_Impl->clientSide ? m_Impl->view.empty() : m_Impl->eof;
}

void Recordset::MoveNext() {
  if (m_State != adStateOpen) ClosedError();
  if (m_Impl->eof) NoCurrentRecord();
  if (m_Impl->streaming) {
    m_Impl->eof = !m_Impl->FetchRow(m_Impl->result.columns, m_Impl->current);
  } else {
    ++m_Impl->position;
    m_Impl->ShowPosition();
  }
}

void Recordset::MoveFirst() {
  if (m_State != adStateOpen) ClosedError();
  if (!m_Impl->clientSide) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Rowset does not support fetching backward.");
  }
  m_Impl->position = 0;
  m_Impl->ShowPosition();
}

void Recordset::NextRecordset() {
  if (!m_Impl) ClosedError();
  m_State = adStateClosed;
  if (!m_Impl->NextResult()) return;
  m_Impl->ThrowResultErrors();
  m_State = m_Impl->result.columns.empty() ? adStateClosed : adStateOpen;
}

void Recordset::Close() {
  if (m_State != adStateOpen && !m_Impl) ClosedError();
  m_Impl.reset();
  m_State = adStateClosed;
}

int Recordset::FieldCount() const {
  if (m_State != adStateOpen) ClosedError();
  return static_cast<int>(m_Impl->result.columns.size());
}

Field Recordset::Fields(int index) {
  if (m_State != adStateOpen) ClosedError();
  if (index < 0 || index >= static_cast<int>(m_Impl->result.columns.size())) {
    throw Error(kAdoErrorItemNotFound, "ADODB.Fields",
                "Item cannot be found in the collection corresponding to the requested name or "
                "ordinal.");
  }
  if (m_Impl->eof) NoCurrentRecord();
  return Field(m_Impl->result.columns[static_cast<std::size_t>(index)].name,
               &m_Impl->current[static_cast<std::size_t>(index)]);
}

Field Recordset::Fields(const std::string& name) {
  if (m_State != adStateOpen) ClosedError();
  const auto& columns = m_Impl->result.columns;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (EqualsIgnoreCase(columns[i].name, name)) return Fields(static_cast<int>(i));
  }
  throw Error(kAdoErrorItemNotFound, "ADODB.Fields",
              "Item cannot be found in the collection corresponding to the requested name or "
              "ordinal.");
}

const Variant& Recordset::Value(const std::string& name) {
  Field field = Fields(name);
  return field.Value();
}

const Variant& Recordset::Value(int index) {
  Field field = Fields(index);
  return field.Value();
}

long Recordset::RecordCount() const {
  if (m_State != adStateOpen) ClosedError();
  return m_Impl->streaming ? -1 : static_cast<long>(m_Impl->view.size());
}

}  // namespace bw
