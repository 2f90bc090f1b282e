// Turns the syntax tree into SQLite SQL text: names resolved against the
// session's databases, T-SQL semantics kept by the stand-in's SQLite functions
// (collation, conversion, division), and the SQL Server type of every result
// column inferred so clients see the types SQL Server would send.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/SqliteNames.h"
#include "parse/Ast.h"

namespace standin::engine {

// A user table as the translator sees it.
struct TableInfo {
  std::string schema;    // SQLite schema name ("temp" for #tables)
  std::string name;      // stored table name
  std::string database;  // T-SQL database name
  std::vector<Column> columns;
  std::vector<std::string> defaults;  // SQLite default expression text or empty, per column
  int identityColumn = -1;
};

struct Variable {
  ColumnType type;
  Value value;
};

// What the translator needs from the session. Implementations throw SqlError
// (208, 911, 137) when a name cannot be resolved.
class TranslationContext {
 public:
  virtual ~TranslationContext() = default;
  virtual TableInfo ResolveTable(const ObjectName& name) = 0;
  virtual const Variable* FindVariable(const std::string& name) const = 0;
  // The value of @@ROWCOUNT, @@VERSION …: SQL literal text and its type.
  // Property functions come as their name and literal arguments joined by
  // kPropertySeparator ("SERVERPROPERTY" + sep + "Edition").
  virtual std::string SystemValue(const std::string& upperName, ColumnType& type) const = 0;
  // Called for every table or view a statement reads (FROM clauses, joins,
  // sub-queries); raises 229 when the login may not read it.
  virtual void CheckRead(const TableInfo& /*table*/) {}
};

inline constexpr char kPropertySeparator = '\x1F';
// A column reference with this name, qualified by a table of the scope, is
// that table's SQLite rowid (no T-SQL name can contain the separator).
inline constexpr char kRowidColumn[] = "\x1Frowid";
// The column of a view's body that carries the written table's rowid.
inline constexpr char kViewRowid[] = "sqlstandin$rid";

struct ExprType {
  bool known = false;
  ColumnType type;
  // COLLATE named the collation (type.caseSensitive); it outranks a column's.
  bool explicitCollation = false;
};

struct OutputColumn {
  std::string name;
  ExprType type;
  bool nullable = true;
};

// The output of one translation: SQL text whose ?N parameters are the named
// variables in order.
struct SqlText {
  std::string sql;
  std::vector<std::string> parameters;
  std::vector<OutputColumn> columns;
};

class Translator {
 public:
  explicit Translator(TranslationContext& context) : m_Context(context) {}

  // SELECT (a query or a variable assignment; SELECT INTO is split off by the
  // caller).
  SqlText TranslateSelect(const Select& select);
  // One standalone expression (SET @x = …, IF …, PRINT …).
  SqlText TranslateScalar(const Expr& expr);
  // A condition as an integer 1/0/NULL (IF, WHILE).
  SqlText TranslateCondition(const Expr& expr);
  // INSERT, UPDATE, DELETE; `identity` is filled for an INSERT into a table
  // with an identity column.
  // `columns` is the column list (empty: all), in `table`'s names.
  SqlText TranslateInsert(const InsertStatement& statement, const TableInfo& table,
                          bool identityInsert, const std::vector<std::string>& columns);
  SqlText TranslateUpdate(const UpdateStatement& statement, const TableInfo& table);
  SqlText TranslateDelete(const DeleteStatement& statement, const TableInfo& table);
  // UPDATE … FROM with outer joins, the target joined to itself or not first.
  SqlText TranslateUpdateFromJoins(const UpdateStatement& statement, const TableInfo& table,
                                   int targetSource);
  // UPDATE or DELETE of a view: `view` is its body as a derived table whose
  // column kViewRowid holds the rowid of `base`, the one table written;
  // `baseColumns` are the base table's names of the SET columns.
  SqlText TranslateViewWrite(const UpdateStatement& statement, const TableInfo& base,
                             const TableSource& view, const std::vector<std::string>& baseColumns);
  SqlText TranslateViewWrite(const DeleteStatement& statement, const TableInfo& base,
                             const TableSource& view);
  // A DEFAULT expression for CREATE TABLE (no columns, no variables).
  std::string TranslateDefault(const Expr& expr, const ColumnType& target);

  // The tables a name can refer to, innermost first through `parent`.
  struct Scope {
    struct Entry {
      std::string qualifier;  // alias, or the table's name
      std::string tableName;  // stored name (to find the UPDATE/DELETE target)
      std::vector<Column> columns;
    };
    std::vector<Entry> entries;
    const Scope* parent = nullptr;
  };

 private:
  std::string Expression(const Expr& expr, const Scope* scope, ExprType& type);
  // Parts of Expression: constants, CAST/CONVERT, CASE, a scalar sub-query.
  std::string Literal(const Expr& expr, ExprType& type);
  std::string Cast(const Expr& expr, const Scope* scope, ExprType& type);
  std::string Case(const Expr& expr, const Scope* scope, ExprType& type);
  std::string ScalarSubquery(const Expr& expr, const Scope* scope, ExprType& type);
  std::string Condition(const Expr& expr, const Scope* scope);
  std::string Function(const Expr& expr, const Scope* scope, ExprType& type);
  // The families of Function; nullopt when the name is not one of theirs.
  std::optional<std::string> AggregateFunction(const Expr& expr, const Scope* scope,
                                               ExprType& type);
  std::optional<std::string> NullHandlingFunction(const Expr& expr, const Scope* scope,
                                                  ExprType& type);
  std::optional<std::string> StringFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> NumericFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> DateTimeFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> ObjectIdFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> LoginFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> UserFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::optional<std::string> PropertyFunction(const Expr& expr, const Scope* scope, ExprType& type);
  std::string Argument(const Expr& expr, const Scope* scope, std::size_t index, ExprType& type);
  // 174 unless the call has `wanted` arguments.
  static void RequireArguments(const Expr& expr, std::size_t wanted);
  std::string Arithmetic(const Expr& expr, const Scope* scope, ExprType& type);
  // Whether a scalar sub-query can give only one row, so it needs no 512 check.
  static bool YieldsOneRow(const Select& select);
  std::string Comparison(const std::string& op, const Expr& left, const Expr& right,
                         const Scope* scope);
  std::string ColumnReference(const Expr& expr, const Scope* scope, ExprType& type);
  std::string SelectText(const Select& select, const Scope* outer,
                         std::vector<OutputColumn>& columns);
  std::string CoreText(const SelectCore& core, const Scope* outer, Scope& scope,
                       std::vector<OutputColumn>& columns, std::vector<std::string>& itemSql);
  std::string FromText(const std::vector<TableSource>& sources, const Scope* outer, Scope& scope);
  // One table source, added to `scope`.
  std::string SourceText(const TableSource& source, Scope& scope);
  std::string Variable(const std::string& name, ExprType& type);
  std::string Convert(const std::string& sql, const ExprType& from, const ColumnType& to,
                      bool assignment);
  // The joined rows computed once, then each target row set from its first.
  SqlText MaterializedUpdate(const UpdateStatement& statement, const TableInfo& table,
                             const std::string& from, const Scope& scope, const std::string& rowid,
                             const std::vector<std::string>& targetColumns);

  TranslationContext& m_Context;
  std::vector<std::string> m_Parameters;
  std::string m_LastColumnName;  // stored name of the column ColumnReference resolved last
  int m_Chained = 0;             // > 0 inside a view body standing in for its view
};

// " COLLATE standin_ci" (or standin_cs for a case-sensitive column) for a
// character or GUID column; "" for any other.
std::string StorageCollation(const ColumnType& type);

}  // namespace standin::engine
