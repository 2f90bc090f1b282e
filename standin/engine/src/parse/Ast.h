// The syntax tree of a T-SQL batch as the parser builds it. Plain structs: the
// parser fills them, the translator and the executor read them. A statement
// is one struct per kind, held in `Statement::node`; the executor visits it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
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
  std::string column;
  ExprPtr value;
};

// What every statement has: where it starts and its source text (kept for
// CREATE statements, fault injection and messages).
struct StatementBase {
  int line = 1;
  std::string text;
};

// Queries and data changes.
struct SelectStatement : StatementBase {
  std::shared_ptr<Select> select;
};
struct InsertStatement : StatementBase {
  ObjectName table;
  std::vector<std::string> columns;          // the column list; empty: all
  std::vector<std::vector<ExprPtr>> values;  // VALUES rows; a null entry is DEFAULT
  std::shared_ptr<Select> select;            // INSERT … SELECT
  bool defaultValues = false;                // INSERT … DEFAULT VALUES
};
// What UPDATE and DELETE share: the target, TOP (n), FROM and WHERE.
struct RowWriteStatement : StatementBase {
  ObjectName table;
  ExprPtr top;
  std::vector<TableSource> from;
  ExprPtr where;
};
struct UpdateStatement : RowWriteStatement {
  std::vector<Assignment> assignments;
};
struct DeleteStatement : RowWriteStatement {
  bool truncate = false;  // TRUNCATE TABLE
};

// Tables, indexes, views and procedures.
struct CreateTableStatement : StatementBase {
  ObjectName table;
  std::vector<ColumnDefinition> columns;
  std::vector<TableConstraint> constraints;
};
struct DropTableStatement : StatementBase {
  ObjectName table;
};
struct AlterTableStatement : StatementBase {
  enum class Action { AddColumns, AlterColumn };
  ObjectName table;
  Action action = Action::AddColumns;
  std::vector<ColumnDefinition> columns;  // ALTER COLUMN: exactly one
};
struct CreateIndexStatement : StatementBase {
  ObjectName table;
  std::string index;
  bool unique = false;
  std::vector<std::string> columns;
};
struct DropIndexStatement : StatementBase {
  ObjectName table;
  std::string index;
};
struct CreateViewStatement : StatementBase {  // text: the whole CREATE VIEW
  ObjectName view;
  std::shared_ptr<Select> select;
};
struct DropViewStatement : StatementBase {
  ObjectName view;
};
struct CreateProcedureStatement : StatementBase {  // text: as sent
  ObjectName procedure;
  bool alter = false;
};
struct DropProcedureStatement : StatementBase {
  ObjectName procedure;
};

// Databases and their files.
struct CreateDatabaseStatement : StatementBase {
  std::string database;
  std::vector<DatabaseFileClause> dataFiles;  // ON
  std::vector<DatabaseFileClause> logFiles;   // LOG ON
};
struct DropDatabaseStatement : StatementBase {
  std::string database;
};
struct AlterDatabaseStatement : StatementBase {  // ALTER DATABASE … SET AUTO_SHRINK
  std::string database;
  bool autoShrink = false;
};
struct UseStatement : StatementBase {
  std::string database;
};
struct BackupLogStatement : StatementBase {
  std::string database;
  std::string option;  // "TRUNCATE_ONLY" or "NO_LOG"
};
struct ShrinkFileStatement : StatementBase {  // DBCC SHRINKFILE
  std::vector<std::string> arguments;         // the file's name or id, the target MB
  bool noInfoMessages = false;                // WITH NO_INFOMSGS
};

// Security.
struct PermissionStatement : StatementBase {
  std::string verb;                      // GRANT, REVOKE or DENY
  std::vector<std::string> permissions;  // SELECT, CREATE TABLE, ALL …
  ObjectName object;                     // ON …; empty name for statement permissions
  std::vector<std::string> grantees;     // TO / FROM
  bool withGrantOption = false;          // GRANT … WITH GRANT OPTION
  bool grantOptionFor = false;           // REVOKE GRANT OPTION FOR …
};

// Variables, options and control of flow.
struct DeclareStatement : StatementBase {
  std::vector<Declaration> declarations;
};
struct SetVariableStatement : StatementBase {
  std::string variable;
  ExprPtr value;
};
struct SetOptionStatement : StatementBase {
  std::string options;  // upper case; several share one value: "ANSI_NULLS,ANSI_WARNINGS"
  std::string value;    // ON, OFF, a number or a word as written
  ObjectName table;     // SET IDENTITY_INSERT table
};
struct PrintStatement : StatementBase {
  ExprPtr message;
};
struct RaiserrorStatement : StatementBase {
  std::vector<ExprPtr> arguments;  // message, severity, state, substitution values
};
struct IfStatement : StatementBase {
  ExprPtr condition;
  StatementPtr then;
  StatementPtr otherwise;  // ELSE; may be null
};
struct WhileStatement : StatementBase {
  ExprPtr condition;
  StatementPtr body;
};
struct BlockStatement : StatementBase {  // BEGIN … END
  std::vector<StatementPtr> body;
};
struct BreakStatement : StatementBase {};
struct ContinueStatement : StatementBase {};
struct ReturnStatement : StatementBase {
  ExprPtr value;  // may be null
};
struct ExecuteArgument {
  std::string name;  // @name = …; empty for a positional argument
  ExprPtr value;     // null for DEFAULT
  bool output = false;
};
struct ExecuteStatement : StatementBase {
  ObjectName procedure;
  std::vector<ExecuteArgument> arguments;
};
struct KillStatement : StatementBase {
  ExprPtr spid;
};

// Transactions.
struct BeginTransactionStatement : StatementBase {
  std::string name;
};
struct CommitTransactionStatement : StatementBase {
  std::string name;
};
struct RollbackTransactionStatement : StatementBase {
  std::string name;
};

// A construct the stand-in parses only to refuse it when it runs (50100).
struct UnsupportedStatement : StatementBase {
  std::string construct;
};

using StatementNode =
    std::variant<SelectStatement, InsertStatement, UpdateStatement, DeleteStatement,
                 CreateTableStatement, DropTableStatement, AlterTableStatement,
                 CreateIndexStatement, DropIndexStatement, CreateViewStatement, DropViewStatement,
                 CreateProcedureStatement, DropProcedureStatement, CreateDatabaseStatement,
                 DropDatabaseStatement, AlterDatabaseStatement, UseStatement, BackupLogStatement,
                 ShrinkFileStatement, PermissionStatement, DeclareStatement, SetVariableStatement,
                 SetOptionStatement, PrintStatement, RaiserrorStatement, IfStatement,
                 WhileStatement, BlockStatement, BreakStatement, ContinueStatement, ReturnStatement,
                 ExecuteStatement, KillStatement, BeginTransactionStatement,
                 CommitTransactionStatement, RollbackTransactionStatement, UnsupportedStatement>;

struct Statement {
  StatementNode node;

  const StatementBase& Base() const {
    return std::visit([](const StatementBase& base) -> const StatementBase& { return base; }, node);
  }
  StatementBase& Base() {
    return std::visit([](StatementBase& base) -> StatementBase& { return base; }, node);
  }
  int Line() const { return Base().line; }
  const std::string& Text() const { return Base().text; }
  template <typename T>
  const T* As() const {
    return std::get_if<T>(&node);
  }
};

struct Batch {
  std::vector<StatementPtr> statements;
};

}  // namespace standin::engine
