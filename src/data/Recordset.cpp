#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "OdbcSupport.h"
#include "StatementRunner.h"
#include "data/DataAccess.h"
#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw {

namespace {

struct ColumnInfo {
  std::string name;
  SQLSMALLINT sqlType = 0;
  SQLSMALLINT scale = 0;
};

// "Document", "dbo.Document", "[Extended Data]": a name, not a statement.
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

// The one table a SELECT reads, or "" when it reads several.
std::string TableOf(const std::string& source) {
  if (IsTableName(source)) return source;
  std::string lower = LowerAscii(source);
  std::size_t from = lower.find(" from ");
  if (from == std::string::npos) return {};
  std::size_t begin = source.find_first_not_of(" \t\r\n", from + 6);
  if (begin == std::string::npos) return {};
  std::size_t end = begin;
  while (end < source.size()) {
    char c = source[end];
    if (c == '[') {
      std::size_t close = source.find(']', end);
      if (close == std::string::npos) return {};
      end = close + 1;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '#' ||
               c == '$' || c == '@') {
      ++end;
    } else {
      break;
    }
  }
  std::string table = source.substr(begin, end - begin);
  std::string rest = LowerAscii(source.substr(end));
  for (const char* joined : {" join ", ",", " union "}) {
    if (rest.find(joined) != std::string::npos) return {};
  }
  return table;
}

// A value as a T-SQL literal.
std::string Literal(const Variant& value) {
  static const char kHex[] = "0123456789ABCDEF";
  switch (value.GetKind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return "NULL";
    case Variant::Kind::Boolean:
      return value.ToBoolean() ? "1" : "0";
    case Variant::Kind::Integer:
      return value.ToText();
    case Variant::Kind::Double: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", value.ToDouble());
      return buffer;
    }
    case Variant::Kind::Bytes: {
      std::string text = "0x";
      for (std::uint8_t byte : *value.Bytes()) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
      }
      return text;
    }
    case Variant::Kind::Date: {
      DateParts p = SplitDate(DateValue{value.ToDouble()});
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "'%04d%02d%02d %02d:%02d:%02d'", p.year, p.month, p.day,
                    p.hour, p.minute, p.second);
      return buffer;
    }
    default: {
      std::string text = "N'";
      for (char c : value.ToText()) {
        if (c == '\'') text.push_back('\'');
        text.push_back(c);
      }
      return text + "'";
    }
  }
}

bool Comparable(SQLSMALLINT sqlType) {
  // SQL Server cannot compare text, ntext and image values.
  return sqlType != SQL_LONGVARCHAR && sqlType != SQL_WLONGVARCHAR && sqlType != SQL_LONGVARBINARY;
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

// -1, 0, 1 as SQL Server orders values of one column: NULL first, texts
// without regard to case.
int CompareValues(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
  if (a.IsNumeric() && b.IsNumeric() && a.GetKind() != Variant::Kind::Text) {
    double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  std::string x = LowerAscii(a.ToText()), y = LowerAscii(b.ToText());
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace

// One result of a batch: a result set (columns and, once buffered, its rows)
// or a row count, and the errors the server sent with it.
struct BufferedResult {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
  long rowCount = -1;
  std::vector<ProviderMessage> errors;
};

struct Recordset::Impl : Connection::ActiveReader {
  Connection* connection = nullptr;
  bool registered = false;
  std::unique_ptr<odbc::Statement> statement;
  // The current result. While `streaming`, its rows come from the statement
  // one at a time; otherwise they are in `result.rows`.
  BufferedResult result;
  bool streaming = false;
  std::vector<Variant> current;
  bool eof = true;
  bool clientSide = false;
  // The order in which filter and sort show the buffered rows.
  std::vector<std::size_t> view;
  std::size_t position = 0;
  // Results after the current one, read ahead when the connection was needed.
  std::vector<BufferedResult> ahead;
  // Editing: the row as it was read, which columns changed, and whether the
  // current row is a new one (AddNew).
  std::vector<Variant> original;
  std::vector<bool> changed;
  bool adding = false;

  ~Impl() override { Unregister(); }

  void Unregister() {
    if (registered && connection != nullptr) connection->ClearActiveReader(this);
    registered = false;
  }

  void LoadColumns(std::vector<ColumnInfo>& columns) {
    columns.clear();
    int count = statement->ColumnCount();
    for (int i = 1; i <= count; ++i) {
      SQLWCHAR name[512] = {0};
      SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeColW(statement->Handle(), static_cast<SQLUSMALLINT>(i), name, 511, &nameLength,
                      &type, &size, &scale, &nullable);
      std::size_t length = 0;
      while (length < 511 && name[length] != 0) ++length;
      columns.push_back({odbc::Utf8Text(name, length), type, scale});
    }
  }

  bool FetchRow(const std::vector<ColumnInfo>& columns, std::vector<Variant>& row) {
    SQLRETURN rc = SQLFetch(statement->Handle());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) {
      statement->CollectErrors();
      statement->ThrowPending();
      odbc::Fail(kAdoErrorGeneric, SQL_HANDLE_STMT, statement->Handle(),
                 "A row could not be read.");
    }
    row.clear();
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      row.push_back(ReadValue(statement->Handle(), static_cast<SQLUSMALLINT>(i + 1), columns[i]));
    }
    return true;
  }

  // Reads the result the statement is on, rows and all.
  BufferedResult ReadWholeResult() {
    BufferedResult whole;
    LoadColumns(whole.columns);
    if (whole.columns.empty()) {
      whole.rowCount = statement->RowCount();
    } else {
      std::vector<Variant> row;
      while (FetchRow(whole.columns, row)) whole.rows.push_back(row);
    }
    whole.errors.swap(statement->PendingErrors());
    return whole;
  }

  // Makes the statement's current result the recordset's: streamed, or read
  // whole for client-side cursors.
  void EnterStatementResult() {
    result = BufferedResult{};
    LoadColumns(result.columns);
    result.errors.swap(statement->PendingErrors());
    if (result.columns.empty()) {
      result.rowCount = statement->RowCount();
      streaming = false;
      eof = true;
      return;
    }
    streaming = true;
    if (!registered && connection != nullptr) {
      connection->SetActiveReader(this);
      registered = true;
    }
    eof = !FetchRow(result.columns, current);
    if (clientSide) BufferRemaining();
  }

  void EnterBuffered(BufferedResult next) {
    result = std::move(next);
    streaming = false;
    view.clear();
    for (std::size_t i = 0; i < result.rows.size(); ++i) view.push_back(i);
    position = 0;
    ShowPosition();
  }

  // Reads everything still on the wire, so the connection is free again.
  void BufferRemaining() override {
    // Called by the connection (which forgot us already) or by ourselves for
    // client-side cursors (then the connection must forget us too).
    Unregister();
    if (!statement) return;
    if (streaming) {
      if (!eof) {
        result.rows.push_back(current);
        std::vector<Variant> row;
        while (FetchRow(result.columns, row)) result.rows.push_back(row);
      }
      streaming = false;
      view.clear();
      for (std::size_t i = 0; i < result.rows.size(); ++i) view.push_back(i);
      position = 0;
      ShowPosition();
    }
    while (statement->NextResult()) ahead.push_back(ReadWholeResult());
    if (!statement->PendingErrors().empty()) {
      BufferedResult trailing;
      trailing.errors.swap(statement->PendingErrors());
      ahead.push_back(std::move(trailing));
    }
    statement.reset();
  }

  void ShowPosition() {
    eof = position >= view.size();
    if (!eof) current = result.rows[view[position]];
    original = current;
    changed.assign(result.columns.size(), false);
    adding = false;
  }

  std::size_t ColumnIndex(const std::string& name) const {
    for (std::size_t i = 0; i < result.columns.size(); ++i) {
      if (EqualsIgnoreCase(result.columns[i].name, name)) return i;
    }
    throw Error(kAdoErrorItemNotFound, "ADODB.Fields",
                "Item cannot be found in the collection corresponding to the requested name or "
                "ordinal.");
  }

  // Moves to the next result; false when the batch has no more.
  bool NextResult() {
    if (!ahead.empty()) {
      BufferedResult next = std::move(ahead.front());
      ahead.erase(ahead.begin());
      EnterBuffered(std::move(next));
      return true;
    }
    if (!statement) return false;
    if (!statement->NextResult()) {
      statement->ThrowPending();
      Unregister();
      statement.reset();
      return false;
    }
    EnterStatementResult();
    return true;
  }

  void ThrowResultErrors() {
    if (result.errors.empty()) return;
    std::vector<ProviderMessage> errors;
    errors.swap(result.errors);
    throw DataError(kAdoErrorStatement, std::move(errors));
  }
};

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

void Recordset::SetFilter(const std::string& filter) {
  if (m_State != adStateOpen) ClosedError();
  if (m_Impl->streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "Filter needs a client-side or static cursor.");
  }
  Impl& impl = *m_Impl;
  impl.view.clear();
  std::string text = Trim(filter);
  if (text.empty()) {
    for (std::size_t i = 0; i < impl.result.rows.size(); ++i) impl.view.push_back(i);
  } else {
    std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Unsupported filter: " + filter);
    }
    std::string column = Trim(text.substr(0, equals));
    std::string wanted = Trim(text.substr(equals + 1));
    Variant value;
    if (wanted.size() >= 2 && wanted.front() == '\'' && wanted.back() == '\'') {
      std::string inner;
      for (std::size_t i = 1; i + 1 < wanted.size(); ++i) {
        inner.push_back(wanted[i]);
        if (wanted[i] == '\'' && i + 2 < wanted.size() && wanted[i + 1] == '\'') ++i;
      }
      value = Variant(inner);
    } else {
      value = Variant(wanted);
      if (!value.IsNumeric()) {
        throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Unsupported filter: " + filter);
      }
      value = Variant(value.ToDouble());
    }
    std::size_t index = impl.result.columns.size();
    for (std::size_t i = 0; i < impl.result.columns.size(); ++i) {
      if (EqualsIgnoreCase(impl.result.columns[i].name, column)) index = i;
    }
    if (index == impl.result.columns.size()) {
      throw Error(kAdoErrorItemNotFound, "ADODB.Recordset", "Unknown column in filter: " + column);
    }
    for (std::size_t i = 0; i < impl.result.rows.size(); ++i) {
      if (CompareValues(impl.result.rows[i][index], value) == 0 &&
          !impl.result.rows[i][index].IsNull()) {
        impl.view.push_back(i);
      }
    }
  }
  impl.position = 0;
  impl.ShowPosition();
}

void Recordset::SetSort(const std::string& sort) {
  if (m_State != adStateOpen) ClosedError();
  if (m_Impl->streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Sort needs a client-side or static cursor.");
  }
  Impl& impl = *m_Impl;
  std::string text = Trim(sort);
  if (text.empty()) {
    std::sort(impl.view.begin(), impl.view.end());
  } else {
    bool descending = false;
    std::string column = text;
    if (std::size_t blank = text.find_last_of(" \t"); blank != std::string::npos) {
      std::string direction = LowerAscii(text.substr(blank + 1));
      if (direction == "desc" || direction == "asc") {
        descending = direction == "desc";
        column = Trim(text.substr(0, blank));
      }
    }
    if (column.size() >= 2 && column.front() == '[' && column.back() == ']') {
      column = column.substr(1, column.size() - 2);
    }
    std::size_t index = impl.result.columns.size();
    for (std::size_t i = 0; i < impl.result.columns.size(); ++i) {
      if (EqualsIgnoreCase(impl.result.columns[i].name, column)) index = i;
    }
    if (index == impl.result.columns.size()) {
      throw Error(kAdoErrorItemNotFound, "ADODB.Recordset", "Unknown column in sort: " + column);
    }
    std::stable_sort(impl.view.begin(), impl.view.end(), [&](std::size_t a, std::size_t b) {
      int c = CompareValues(impl.result.rows[a][index], impl.result.rows[b][index]);
      return descending ? c > 0 : c < 0;
    });
  }
  impl.position = 0;
  impl.ShowPosition();
}

}  // namespace bw

namespace bw {

void Recordset::AddNew() {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "AddNew needs a client-side or static cursor.");
  }
  impl.result.rows.emplace_back(impl.result.columns.size(), Variant());
  impl.view.push_back(impl.result.rows.size() - 1);
  impl.position = impl.view.size() - 1;
  impl.ShowPosition();
  impl.adding = true;
}

void Recordset::SetValue(const std::string& field, const Variant& value) {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  std::size_t index = impl.ColumnIndex(field);
  impl.current[index] = value;
  impl.changed[index] = true;
}

void Recordset::AppendChunk(const std::string& field, const std::vector<std::uint8_t>& bytes) {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  std::size_t index = impl.ColumnIndex(field);
  std::vector<std::uint8_t> joined;
  if (const auto* existing = impl.current[index].Bytes()) joined = *existing;
  joined.insert(joined.end(), bytes.begin(), bytes.end());
  SetValue(field, Variant(std::move(joined)));
}

void Recordset::Update() {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  bool anyChange = std::find(impl.changed.begin(), impl.changed.end(), true) != impl.changed.end();
  if (!anyChange && !impl.adding) return;
  std::string table = TableOf(m_Source);
  if (table.empty()) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "Update needs a recordset on a single table; '" + m_Source + "' is not one.");
  }
  const auto& columns = impl.result.columns;
  std::string sql;
  if (impl.adding) {
    std::string names, values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!impl.changed[i]) continue;
      names += (names.empty() ? "" : ", ") + SqlName(columns[i].name);
      values += (values.empty() ? "" : ", ") + Literal(impl.current[i]);
    }
    sql = names.empty() ? "INSERT INTO " + table + " DEFAULT VALUES"
                        : "INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")";
  } else {
    std::string assignments;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!impl.changed[i]) continue;
      assignments += (assignments.empty() ? "" : ", ") + SqlName(columns[i].name) + " = " +
                     Literal(impl.current[i]);
    }
    // The row is found by the primary key when the table has one, else by
    // every value it had when it was read.
    std::vector<std::string> keys;
    try {
      Recordset pkeys;
      pkeys.SetCursorLocation(adUseClient);
      pkeys.Open("EXEC sp_pkeys " + SqlString(table), m_Connection);
      for (; pkeys.State() == adStateOpen && !pkeys.Eof(); pkeys.MoveNext()) {
        keys.push_back(pkeys.Value("COLUMN_NAME").ToText());
      }
    } catch (const Error&) {
      keys.clear();  // no key information: all original values find the row
    }
    std::string where;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      bool isKey = keys.empty()
                       ? Comparable(columns[i].sqlType)
                       : std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
                           return EqualsIgnoreCase(key, columns[i].name);
                         });
      if (!isKey) continue;
      where += (where.empty() ? "" : " AND ") + SqlName(columns[i].name) +
               (impl.original[i].IsNull() ? " IS NULL" : " = " + Literal(impl.original[i]));
    }
    sql = "UPDATE " + table + " SET " + assignments + (where.empty() ? "" : " WHERE " + where);
  }
  long affected = m_Connection->Execute(sql);
  if (affected != 1) {
    throw Error(kAdoErrorRowCount, "ADODB.Recordset",
                "Row cannot be located for updating. Some values may have been changed since it "
                "was last read (" +
                    std::to_string(affected) + " rows affected).");
  }
  impl.result.rows[impl.view[impl.position]] = impl.current;
  impl.original = impl.current;
  impl.changed.assign(columns.size(), false);
  impl.adding = false;
}

}  // namespace bw
