// The procedures SQL Server ships in master (sp_…, xp_…), implemented in C++.
// A session looks a name up with FindSystemProcedure before it looks for a
// user procedure of that name, binds the caller's arguments to the
// procedure's parameter list with BindArguments, and runs it; the procedure
// writes its result sets through the call's sink.
//
// Threading: a call runs on its session's thread; the table is immutable.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "engine/Engine.h"

namespace standin::engine {

class EngineImpl;
class DatabaseSecurity;

// One running system procedure: who calls it, its bound arguments and where
// its output goes.
struct ProcedureCall {
  EngineImpl& engine;
  BatchSink& sink;
  int spid = 0;
  std::string loginName;
  std::string currentDatabase;
  bool noCount = false;
  // Users, roles and permissions of the database the procedure runs in (the
  // current one, or the one its name gives: db..sp_helpuser).
  DatabaseSecurity* security = nullptr;
  // One entry per declared parameter, in declaration order; monostate when
  // the caller passed nothing (or NULL or DEFAULT).
  std::vector<Value> arguments;
  // The session's SQLite connection and the schema its current database is
  // attached as, for procedures that read or keep state in that database.
  sqlite3* db = nullptr;
  std::function<std::string()> currentSchema;

  // The argument as text (numbers are written out); nullopt when absent.
  std::optional<std::string> Text(std::size_t index) const;
  // The argument as an integer (text that holds one is read); nullopt when
  // absent or not a number.
  std::optional<std::int64_t> Integer(std::size_t index) const;
  // Sends one complete result set: columns, rows and its DONEINPROC.
  void ResultSet(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows);
  // Sends an informational message (severity 10 or below).
  void Info(std::int32_t number, std::initializer_list<std::string_view> texts = {});
};

// Runs the procedure; the result is its return status.
using SystemProcedureFunction = std::int32_t (*)(ProcedureCall& call);

struct SystemProcedure {
  std::string_view name;                         // lower case, as shipped: "sp_helpdb"
  std::span<const std::string_view> parameters;  // "@dbname" …, in order
  SystemProcedureFunction run;
};

// The procedure a one- to three-part name ("sp_who", "master..xp_msver",
// "master.dbo.sp_helpdb") refers to, or nullptr when it is not one of ours.
const SystemProcedure* FindSystemProcedure(std::string_view writtenName);

// Matches positional and @named arguments to the procedure's parameters as
// SQL Server does: positional ones first (119 after a named one), 8144 for
// too many, 8145 for an unknown name.
std::vector<Value> BindArguments(const SystemProcedure& procedure,
                                 const std::vector<Parameter>& passed);

struct DatabaseEntry;

// One file of a database as sp_helpdb describes it.
struct DatabaseFile {
  std::string logicalName;
  int fileId = 1;  // 1 data, 2 log
  std::string windowsPath;
  std::int64_t kilobytes = 0;  // whole 8-KB pages of the real file
};

// A result column of a procedure.
Column MakeColumn(std::string name, TypeId id, std::int32_t length = 0, bool nullable = true);

// The data file and the log beside it (when it is there), with their sizes.
std::vector<DatabaseFile> FilesOf(const DatabaseEntry& database);

// CREATE DATABASE's 1805 messages: the MB allocated for each file.
void ReportAllocation(const DatabaseEntry& database, BatchSink& sink);

// The procedures of each area (ServerProcedures.cpp, DatabaseProcedures.cpp,
// ProcessProcedures.cpp, SecurityProcedures.cpp).
std::span<const SystemProcedure> ServerProcedures();
std::span<const SystemProcedure> DatabaseProcedures();
std::span<const SystemProcedure> ProcessProcedures();
std::span<const SystemProcedure> SecurityProcedures();
std::span<const SystemProcedure> FullTextProcedures();
std::span<const SystemProcedure> DatabaseSecurityProcedures();

}  // namespace standin::engine
