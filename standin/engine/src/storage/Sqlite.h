// Small RAII helpers over the SQLite C API and the mapping of SQLite's errors
// onto SQL Server's. Everything here throws SqlError.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>

#include "engine/Engine.h"

namespace standin::engine {

// Thrown when sqlite3_interrupt stopped a statement (ATTENTION or shutdown).
struct Cancelled {};

struct ConnectionCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;

// Opens a database file (or ":memory:") with the engine's functions registered.
ConnectionPtr OpenConnection(const std::string& path, bool create, void* identityState);

// Builds the SqlError for a failed SQLite call (constraint texts, function
// errors, busy, I/O). `statementKind` ("INSERT"/"UPDATE") fills error 515.
SqlError MapError(sqlite3* db, int code, std::string_view statementKind = "INSERT");

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  sqlite3_stmt* Handle() const { return m_Statement; }
  // Steps once: true for a row, false when done. Throws mapped errors and Cancelled.
  bool Step(std::string_view statementKind = "INSERT");
  void Bind(int index, const Value& value);
  void BindText(int index, std::string_view text);
  void BindInt(int index, std::int64_t value);

 private:
  sqlite3* m_Db;
  sqlite3_stmt* m_Statement = nullptr;
};

// Runs SQL without results (DDL, BEGIN/COMMIT, PRAGMA).
void Execute(sqlite3* db, std::string_view sql);

// Reads column `index` of the current row as a value of `type`.
Value ReadValue(sqlite3_stmt* statement, int index, const ColumnType& type);
// SQL Server type for a value whose type was only known at run time.
ColumnType TypeOfStoredValue(sqlite3_stmt* statement, int index);

}  // namespace standin::engine
