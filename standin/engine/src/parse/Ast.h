// The syntax tree of a T-SQL batch as the parser builds it. Plain structs: the
// parser fills them, the translator and the executor read them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"

namespace standin::engine {

struct Select;
struct Statement;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
using StatementPtr = std::unique_ptr<Statement>;

// A one- to four-part name as written: server.database.owner.object.
struct ObjectName {
  std::string database;  // empty: the current database
  std::string owner;     // ignored beyond parsing: every object belongs to dbo
  std::string name;
  std::string written;  // the name as the user wrote it, for messages ("dbo.T")
  bool IsTemp() const { return !name.empty() && name[0] == '#'; }
};

enum class ExprKind {
  Null,
  Integer,         // text: digits
  DecimalNumber,   // text: 1.50
  FloatNumber,     // text: 1.5E3
  String,          // text: value
  NString,         // text: value
  Binary,          // text: hex digits
  Column,          // parts: [table qualifier parts..., column]
  Star,            // parts: qualifier parts (empty for *)
  Variable,        // text: @x
  SystemVariable,  // text: @@ROWCOUNT
  Unary,           // text: operator ("-", "+", "~", "NOT"); args[0]
  Binary_,         // text: operator; args[0], args[1]
  Function,        // text: upper-case name; args; distinct for COUNT(DISTINCT …)
  Cast,            // args[0], castType; text: "CAST" or "CONVERT"; args[1] = style
  Case,            // args[0] = operand or null; pairs of (when, then); elseExpr
  Subquery,        // subquery
  Exists,          // subquery; negated
  InList,          // args[0] = value, args[1..] = list; negated
  InSubquery,      // args[0] = value; subquery; negated
  Between,         // args[0] BETWEEN args[1] AND args[2]; negated
  Like,            // args[0] LIKE args[1] [ESCAPE args[2]]; negated
  IsNull,          // args[0] IS [NOT] NULL; negated
  Collate,         // args[0] COLLATE text; castType.caseSensitive: the collation's
};

struct Expr {
  ExprKind kind = ExprKind::Null;
  std::string text;
  std::vector<std::string> parts;
  std::vector<ExprPtr> args;  // Case: args[0] may be null (searched CASE)
  ExprPtr elseExpr;
  std::shared_ptr<Select> subquery;
  ColumnType castType;
  bool negated = false;
  bool distinct = false;
  int line = 1;
};

struct SelectItem {
  ExprPtr expr;
  std::string alias;           // AS alias / alias = expr
  std::string assignVariable;  // SELECT @x = expr
};

enum class JoinKind { None, Inner, Left, Right, Full, Cross };

struct TableSource {
  JoinKind join = JoinKind::None;  // None for the first source and comma joins
  ObjectName table;                // when derived is null
  std::shared_ptr<Select> derived;
  // A parenthesised join after another table, `A RIGHT JOIN (B JOIN C ON …)
  // ON …`: its sources, joined among themselves before the outer join.
  std::vector<TableSource> nested;
  std::string alias;
  ExprPtr on;
  // A view's body standing in for the view: its tables share the view's
  // owner, so only the view's permission counts.
  bool ownershipChained = false;
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

struct SelectCore {
  bool distinct = false;
  ExprPtr top;
  bool topPercent = false;
  std::vector<SelectItem> items;
  std::optional<ObjectName> into;  // SELECT … INTO table
  std::vector<TableSource> from;
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
};

struct Select {
  std::vector<SelectCore> cores;
  std::vector<bool> unionAll;  // between cores[i] and cores[i + 1]
  std::vector<OrderItem> orderBy;
};

struct ColumnDefinition {
  std::string name;
  ColumnType type;
  std::optional<bool> nullable;  // unset: the session's ANSI_NULL_DFLT_ON decides
  bool identity = false;
  std::int64_t identitySeed = 1;
  std::int64_t identityIncrement = 1;
  ExprPtr defaultValue;
};

struct TableConstraint {
  std::string name;         // empty: generated
  bool primaryKey = false;  // else UNIQUE
  std::vector<std::string> columns;
};

enum class StatementKind {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  DropTable,
  CreateDatabase,
  Use,
  Declare,
  SetVariable,
  SetOption,
  Print,
  If,
  While,
  Block,
  BeginTransaction,
  CommitTransaction,
  RollbackTransaction,
  Execute,
  Return,
  Break,
  Continue,
  Raiserror,        // arguments: message, severity, state, substitution values
  Kill,             // expression: the spid
  DropDatabase,     // name
  AlterDatabase,    // name; optionValue: "AUTO_SHRINK ON" / "AUTO_SHRINK OFF"
  CreateIndex,      // table; name: index; columns; optionValue: "UNIQUE" or empty
  DropIndex,        // table; name: index
  CreateView,       // table: the view; select; text: the whole CREATE VIEW
  DropView,         // table: the view
  AlterTable,       // table; name: "ADD" or "ALTER COLUMN"; columnDefinitions
  CreateProcedure,  // table: the procedure; optionValue: "ALTER" for ALTER; text: as sent
  DropProcedure,    // table: the procedure
  BackupLog,        // name: database; optionValue: "TRUNCATE_ONLY" or "NO_LOG"
  Dbcc,             // name: SHRINKFILE; columns: its arguments as written (the file's
                    // name or id, the target MB); optionValue: "NO_INFOMSGS" or empty
  Permission,       // name: GRANT/REVOKE/DENY; columns: permissions; table: object or none;
                    // grantees; optionValue: "WITH GRANT OPTION" / "GRANT OPTION FOR"
  Unsupported,      // text names the construct; raises 50100 when run
};

// One file of CREATE DATABASE … ON (NAME = …, FILENAME = '…') [LOG ON (…)].
struct DatabaseFileClause {
  std::string logicalName;
  std::string fileName;  // Windows path as written
};

struct Declaration {
  std::string name;
  ColumnType type;
  ExprPtr initialValue;  // a procedure parameter's default
  bool output = false;   // a procedure parameter declared OUTPUT
};

// A stored procedure's text, parsed when it runs.
struct ProcedureDefinition {
  ObjectName name;
  std::vector<Declaration> parameters;
  std::vector<StatementPtr> body;
};

struct Assignment {
  std::string column;  // UPDATE: column; SET: variable
  ExprPtr value;
};

struct Statement {
  StatementKind kind = StatementKind::Unsupported;
  int line = 1;
  std::string text;  // the statement's source text (kept for CREATE statements and messages)

  std::shared_ptr<Select> select;            // Select; Insert … SELECT
  ObjectName table;                          // Insert, Update, Delete, CreateTable, DropTable
  std::vector<std::string> columns;          // Insert column list
  std::vector<std::vector<ExprPtr>> values;  // Insert VALUES rows
  bool defaultValues = false;                // INSERT … DEFAULT VALUES
  std::vector<Assignment> assignments;       // Update SET, SetVariable
  std::vector<TableSource> from;             // Update/Delete … FROM
  ExprPtr where;
  ExprPtr top;  // UPDATE/DELETE TOP (n)
  std::vector<ColumnDefinition> columnDefinitions;
  std::vector<TableConstraint> constraints;
  std::vector<Declaration> declarations;
  std::string name;                // Use: database; SetOption: option; Execute: procedure
  std::string optionValue;         // SetOption: ON/OFF/value
  ExprPtr condition;               // If, While
  std::vector<StatementPtr> body;  // Block; If: body[0] then, body[1] else (optional)
  ExprPtr expression;              // Print, Return
  std::vector<std::pair<std::string, ExprPtr>> arguments;  // Execute: (@name or "", value)
  std::vector<bool> outputArguments;                       // Execute: passed with OUTPUT
  std::vector<DatabaseFileClause> dataFiles;               // CreateDatabase ON
  std::vector<DatabaseFileClause> logFiles;                // CreateDatabase LOG ON
  std::vector<std::string> grantees;                       // Permission TO / FROM
};

struct Batch {
  std::vector<StatementPtr> statements;
};

}  // namespace standin::engine
