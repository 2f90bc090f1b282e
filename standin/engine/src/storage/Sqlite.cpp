// SQLite helpers and error mapping.
#include "storage/Sqlite.h"

#include <cstring>
#include <limits>

#include "common/Types.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"

namespace standin::engine {
namespace {

std::string AfterPrefix(const std::string& text, std::string_view prefix) {
  const std::size_t at = text.find(prefix);
  return at == std::string::npos ? std::string() : text.substr(at + prefix.size());
}

// "t.c" → "c"; SQLite names the table, SQL Server only the column.
std::string LastPart(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

}  // namespace

ConnectionPtr OpenConnection(const std::string& path, bool create, void* identityState) {
  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
  if (create) flags |= SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  ConnectionPtr db(raw);
  if (rc != SQLITE_OK) {
    throw SqlError(MakeMessage(kErrorStorage, {std::string("cannot open ") + path + ": " +
                                               (raw ? sqlite3_errmsg(raw) : "out of memory")}));
  }
  sqlite3_extended_result_codes(raw, 1);
  // "x" must never fall back to a string literal: names are resolved by the
  // translator, and a silent literal would hide a wrong name.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  RegisterFunctions(raw, static_cast<IdentityState*>(identityState));
  return db;
}

SqlError MapError(sqlite3* db, int code, std::string_view statementKind) {
  const std::string text = db ? sqlite3_errmsg(db) : "";
  if (std::optional<Message> message = DecodeFunctionError(text)) return SqlError(*message);
  const int primary = code & 0xFF;
  if (primary == SQLITE_INTERRUPT) throw Cancelled{};
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return SqlError(MakeMessage(1222));
  if (code == SQLITE_CONSTRAINT_NOTNULL) {
    // "NOT NULL constraint failed: t.c"
    const std::string qualified = AfterPrefix(text, "failed: ");
    const std::size_t dot = qualified.rfind('.');
    const std::string table = dot == std::string::npos ? "" : qualified.substr(0, dot);
    return SqlError(MakeMessage(515, {LastPart(qualified), table, statementKind}));
  }
  if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY) {
    // The session names the constraint (see QueryExecutor::Changes); keep
    // SQLite's "t.a, t.b" column list for it.
    Message message = MakeMessage(2627, {"UNIQUE KEY", "", ""});
    message.text = AfterPrefix(text, "failed: ");
    message.state = 0;
    return SqlError(message);
  }
  if (text.rfind("no such table: ", 0) == 0)
    return SqlError(MakeMessage(208, {LastPart(text.substr(15))}));
  if (text.rfind("no such column: ", 0) == 0)
    return SqlError(MakeMessage(207, {LastPart(text.substr(16))}));
  if (text.rfind("ambiguous column name: ", 0) == 0) {
    return SqlError(MakeMessage(209, {LastPart(text.substr(23))}));
  }
  if (text.rfind("no such function: ", 0) == 0) {
    return SqlError(MakeMessage(195, {text.substr(18), "function name"}));
  }
  return SqlError(MakeMessage(kErrorStorage, {text}));
}

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) : m_Db(db) {
  const int rc =
      sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_Statement, nullptr);
  if (rc != SQLITE_OK) {
    SqlError error = MapError(db, rc);
    sqlite3_finalize(m_Statement);
    m_Statement = nullptr;
    throw error;
  }
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(m_Statement);
}

bool SqliteStatement::Step(std::string_view statementKind) {
  if (!m_Statement) return false;
  const int rc = sqlite3_step(m_Statement);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  SqlError error = MapError(m_Db, sqlite3_extended_errcode(m_Db), statementKind);
  sqlite3_reset(m_Statement);
  throw error;
}

void SqliteStatement::BindText(int index, std::string_view text) {
  sqlite3_bind_text(m_Statement, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

void SqliteStatement::BindInt(int index, std::int64_t value) {
  sqlite3_bind_int64(m_Statement, index, value);
}

void SqliteStatement::Bind(int index, const Value& value) {
  std::visit(
      [&](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          sqlite3_bind_null(m_Statement, index);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          sqlite3_bind_int64(m_Statement, index, v);
        } else if constexpr (std::is_same_v<T, double>) {
          sqlite3_bind_double(m_Statement, index, v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          BindText(index, v);
        } else if constexpr (std::is_same_v<T, Bytes>) {
          sqlite3_bind_blob(m_Statement, index, v.data(), static_cast<int>(v.size()),
                            SQLITE_TRANSIENT);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          BindText(index, FormatDateTime(v));
        } else if constexpr (std::is_same_v<T, Guid>) {
          BindText(index, FormatGuid(v));
        } else {
          Int128 power = 1;
          for (int i = 0; i < v.scale; ++i) power *= 10;
          if (v.unscaled % power == 0 &&
              v.unscaled / power <= std::numeric_limits<std::int64_t>::max() &&
              v.unscaled / power >= std::numeric_limits<std::int64_t>::min()) {
            sqlite3_bind_int64(m_Statement, index, static_cast<std::int64_t>(v.unscaled / power));
          } else if (DecimalDigits(v) <= 15) {
            sqlite3_bind_double(m_Statement, index, DecimalToDouble(v));
          } else {
            BindText(index, FormatDecimal(v));
          }
        }
      },
      value);
}

void Execute(sqlite3* db, std::string_view sql) {
  SqliteStatement statement(db, sql);
  while (statement.Step()) {
  }
}

Value ReadValue(sqlite3_stmt* statement, int index, const ColumnType& type) {
  const int storage = sqlite3_column_type(statement, index);
  if (storage == SQLITE_NULL) return std::monostate{};
  auto text = [&]() {
    const char* data = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return std::string(data ? data : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, index)));
  };
  switch (type.id) {
    case TypeId::Bit:
      return std::int64_t{sqlite3_column_int64(statement, index) != 0 ? 1 : 0};
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
    case TypeId::BigInt:
      if (storage == SQLITE_FLOAT)
        return static_cast<std::int64_t>(sqlite3_column_double(statement, index));
      return std::int64_t{sqlite3_column_int64(statement, index)};
    case TypeId::Real:
    case TypeId::Float:
      return sqlite3_column_double(statement, index);
    case TypeId::Decimal:
    case TypeId::Numeric:
    case TypeId::Money:
    case TypeId::SmallMoney: {
      if (storage == SQLITE_INTEGER) {
        Decimal value{sqlite3_column_int64(statement, index), type.scale};
        for (int i = 0; i < type.scale; ++i) value.unscaled *= 10;
        return value;
      }
      if (storage == SQLITE_FLOAT)
        return DecimalFromDouble(sqlite3_column_double(statement, index), type.scale);
      if (std::optional<Decimal> parsed = ParseDecimal(text(), type.scale)) return *parsed;
      return Decimal{0, type.scale};
    }
    case TypeId::DateTime:
    case TypeId::SmallDateTime: {
      if (std::optional<DateTime> parsed = ParseDateTime(text())) return *parsed;
      return std::monostate{};
    }
    case TypeId::Binary:
    case TypeId::VarBinary:
    case TypeId::Image: {
      const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, index));
      const int size = sqlite3_column_bytes(statement, index);
      return Bytes(data, data + size);
    }
    case TypeId::UniqueIdentifier: {
      if (storage == SQLITE_BLOB && sqlite3_column_bytes(statement, index) == 16) {
        Guid guid;
        std::memcpy(guid.bytes.data(), sqlite3_column_blob(statement, index), 16);
        return guid;
      }
      if (std::optional<Guid> parsed = ParseGuid(text())) return *parsed;
      return std::monostate{};
    }
    default:
      if (storage == SQLITE_FLOAT) return FormatDouble(sqlite3_column_double(statement, index));
      return text();
  }
}

ColumnType TypeOfStoredValue(sqlite3_stmt* statement, int index) {
  ColumnType type;
  switch (sqlite3_column_type(statement, index)) {
    case SQLITE_INTEGER: {
      const std::int64_t value = sqlite3_column_int64(statement, index);
      type.id = value >= INT32_MIN && value <= INT32_MAX ? TypeId::Int : TypeId::BigInt;
      break;
    }
    case SQLITE_FLOAT:
      type.id = TypeId::Float;
      break;
    case SQLITE_BLOB:
      type.id = TypeId::VarBinary;
      type.length = 8000;
      break;
    case SQLITE_TEXT:
      type.id = TypeId::NVarChar;
      type.length = 4000;
      break;
    default:
      type.id = TypeId::Int;
  }
  return type;
}

SqliteTransaction::SqliteTransaction(sqlite3* db, Lock lock) : m_Db(db) {
  Execute(m_Db, lock == Lock::Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

SqliteTransaction::SqliteTransaction(sqlite3* db, std::string savepoint)
    : m_Db(db), m_Savepoint(std::move(savepoint)) {
  Execute(m_Db, "SAVEPOINT " + m_Savepoint);
}

SqliteTransaction SqliteTransaction::ImmediateOrSavepoint(sqlite3* db, std::string savepoint) {
  if (sqlite3_get_autocommit(db)) return SqliteTransaction(db, Lock::Immediate);
  return SqliteTransaction(db, std::move(savepoint));
}

SqliteTransaction::~SqliteTransaction() {
  if (m_Done) return;
  if (m_Savepoint.empty()) {
    sqlite3_exec(m_Db, "ROLLBACK", nullptr, nullptr, nullptr);
  } else if (!sqlite3_get_autocommit(m_Db)) {
    // SQLite may have ended the whole transaction already (an I/O error, an
    // interrupt); then there is no savepoint left to go back to.
    const std::string sql = "ROLLBACK TO " + m_Savepoint + "; RELEASE " + m_Savepoint;
    sqlite3_exec(m_Db, sql.c_str(), nullptr, nullptr, nullptr);
  }
}

void SqliteTransaction::Commit() {
  Execute(m_Db, m_Savepoint.empty() ? "COMMIT" : "RELEASE " + m_Savepoint);
  m_Done = true;
}

}  // namespace standin::engine
