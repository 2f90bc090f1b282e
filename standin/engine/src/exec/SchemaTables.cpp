// CREATE TABLE and DROP TABLE.
#include <cstdio>
#include <random>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/IdentityCounters.h"
#include "exec/SchemaExecutor.h"
#include "exec/StatementSupport.h"

namespace standin::engine {
namespace {

// SQL Server 2000 names unnamed constraints PK__table__1A2B3C4D.
std::string GeneratedConstraintName(const std::string& prefix, const std::string& table) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  char suffix[9];
  std::snprintf(suffix, sizeof suffix, "%08X", static_cast<unsigned>(generator()));
  return prefix + "__" + table.substr(0, 8) + "__" + suffix;
}

}  // namespace

void SchemaExecutor::RunCreateTable(const CreateTableStatement& statement, BatchSink& sink) {
  const ObjectName& name = statement.table;
  const std::string schema =
      name.IsTemp()
          ? "temp"
          : m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
  const std::string lower = Lower(name.name);
  if (lower.rfind("sqlstandin$", 0) == 0 || lower.rfind("sqlite_", 0) == 0) {
    RaiseUnsupported("table names beginning with '" +
                     name.name.substr(0, lower.find_first_of("$_") + 1) + "'");
  }
  const std::string database = name.database.empty() ? m_Session.Database() : name.database;
  if (!name.IsTemp()) m_Security.CheckCreateObject(database, "CREATE TABLE");
  if (TableExists(m_Session.Db(), schema, name.name)) RaiseError(2714, {name.name});
  const std::string constraintsTable = QuoteIdentifier(schema) + ".\"sqlstandin$constraints\"";
  auto constraintExists = [&](const std::string& constraint) {
    SqliteStatement find(m_Session.Db(), "SELECT 1 FROM " + constraintsTable + " WHERE name = ?");
    find.BindText(1, constraint);
    return find.Step() || TableExists(m_Session.Db(), schema, constraint);
  };
  std::vector<TableConstraint> constraints = statement.constraints;
  int primaryKeys = 0;
  for (TableConstraint& constraint : constraints) {
    if (constraint.primaryKey && ++primaryKeys > 1) RaiseError(8110, {name.name});
    for (const std::string& column : constraint.columns) {
      const bool known =
          std::any_of(statement.columns.begin(), statement.columns.end(),
                      [&](const ColumnDefinition& c) { return EqualsNoCase(c.name, column); });
      if (!known) RaiseError(1911, {column});
    }
    if (constraint.name.empty()) {
      constraint.name = GeneratedConstraintName(constraint.primaryKey ? "PK" : "UQ", name.name);
    } else if (constraintExists(constraint.name)) {
      RaiseError(2714, {constraint.name});
    }
  }
  const ColumnDefinition* identity = nullptr;
  std::string definition;
  Translator translator(m_Session);
  for (const ColumnDefinition& column : statement.columns) {
    bool inKey = false;
    for (const TableConstraint& constraint : constraints) {
      if (!constraint.primaryKey) continue;
      for (const std::string& keyColumn : constraint.columns)
        inKey = inKey || EqualsNoCase(keyColumn, column.name);
    }
    if (column.identity) {
      if (identity) RaiseError(2744, {name.name});
      const bool integral = IsInteger(column.type.id) && column.type.id != TypeId::Bit;
      const bool decimalZero =
          (column.type.id == TypeId::Decimal || column.type.id == TypeId::Numeric) &&
          column.type.scale == 0;
      if ((!integral && !decimalZero) || column.nullable.value_or(false))
        RaiseError(2749, {column.name});
      identity = &column;
    }
    const bool nullable =
        !column.identity && !inKey && column.nullable.value_or(m_Options.ansiNullDefault);
    definition += (definition.empty() ? "" : ", ") + QuoteIdentifier(column.name) + " " +
                  StorageTypeName(column.type);
    definition += StorageCollation(column.type);
    if (!nullable) definition += " NOT NULL";
    if (column.defaultValue)
      definition += " DEFAULT " + translator.TranslateDefault(*column.defaultValue, column.type);
  }
  for (const TableConstraint& constraint : constraints) {
    definition += ", CONSTRAINT " + QuoteIdentifier(constraint.name) +
                  (constraint.primaryKey ? " PRIMARY KEY (" : " UNIQUE (");
    for (std::size_t i = 0; i < constraint.columns.size(); ++i) {
      definition += (i ? ", " : "") + QuoteIdentifier(constraint.columns[i]);
    }
    definition += ")";
  }
  SqliteTransaction scope = m_Transactions.BeginWrite();
  Execute(m_Session.Db(), "CREATE TABLE " + QuoteIdentifier(schema) + "." +
                              QuoteIdentifier(name.name) + " (" + definition + ")");
  if (identity) {
    SqliteStatement insert(m_Session.Db(), "INSERT INTO " + QuoteIdentifier(schema) +
                                               ".\"sqlstandin$identity\" (table_name, column_name, "
                                               "seed, increment) VALUES (?, ?, ?, ?)");
    insert.BindText(1, name.name);
    insert.BindText(2, identity->name);
    insert.BindInt(3, identity->identitySeed);
    insert.BindInt(4, identity->identityIncrement);
    insert.Step();
  }
  for (const TableConstraint& constraint : constraints) {
    std::string columns;
    for (const std::string& column : constraint.columns)
      columns += (columns.empty() ? "" : ",") + Lower(column);
    SqliteStatement insert(m_Session.Db(),
                           "INSERT INTO " + constraintsTable +
                               " (name, table_name, kind, columns) VALUES (?, ?, ?, ?)");
    insert.BindText(1, constraint.name);
    insert.BindText(2, name.name);
    insert.BindText(3, constraint.primaryKey ? "PRIMARY KEY" : "UNIQUE KEY");
    insert.BindText(4, columns);
    insert.Step();
  }
  SqliteStatement object(m_Session.Db(),
                         "INSERT OR REPLACE INTO " + QuoteIdentifier(schema) +
                             ".\"sqlstandin$objects\" (name, kind, definition) VALUES (?, 'U', ?)");
  object.BindText(1, name.name);
  object.BindText(2, statement.text);
  object.Step();
  if (!name.IsTemp()) m_Security.RecordCreator(database, name.name);
  scope.Commit();
  if (identity) {
    // A new table starts at its seed, whatever an earlier one of its name took.
    TableInfo created;
    created.schema = schema;
    created.name = name.name;
    IdentityCounters::Forget(IdentityKey(m_Session.Db(), m_Session.SessionId(), created));
  }
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void SchemaExecutor::RunDropTable(const DropTableStatement& statement, BatchSink& sink) {
  TableInfo table;
  try {
    table = m_Session.ResolveTable(statement.table);
  } catch (const SqlError& error) {
    if (error.Msg().number == 208) RaiseError(3701, {"table", statement.table.written});
    throw;
  }
  // SQL Server 2000 answers a drop it does not allow as if the table were not there.
  if (table.schema != "temp" && !m_Security.MayAlterSchema(table.database, table.name))
    RaiseError(3701, {"table", statement.table.written});
  {
    SqliteStatement kind(m_Session.Db(), "SELECT type FROM " + QuoteIdentifier(table.schema) +
                                             ".sqlite_master WHERE name = ?");
    kind.BindText(1, table.name);
    if (kind.Step("SELECT") && std::string_view(reinterpret_cast<const char*>(
                                   sqlite3_column_text(kind.Handle(), 0))) == "view") {
      RaiseError(3705, {"TABLE", table.name, table.name, "a view", "VIEW"});
    }
  }
  SqliteTransaction scope = m_Transactions.BeginWrite();
  const std::string prefix = QuoteIdentifier(table.schema) + ".";
  Execute(m_Session.Db(), "DROP TABLE " + prefix + QuoteIdentifier(table.name));
  for (const char* bookkeeping : {"\"sqlstandin$identity\"", "\"sqlstandin$constraints\""}) {
    SqliteStatement remove(m_Session.Db(),
                           "DELETE FROM " + prefix + bookkeeping + " WHERE table_name = ?");
    remove.BindText(1, table.name);
    remove.Step();
  }
  SqliteStatement remove(m_Session.Db(),
                         "DELETE FROM " + prefix + "\"sqlstandin$objects\" WHERE name = ?");
  remove.BindText(1, table.name);
  remove.Step();
  if (table.schema != "temp") m_Security.ForgetObjectPermissions(table.schema, table.name);
  scope.Commit();
  IdentityCounters::Forget(IdentityKey(m_Session.Db(), m_Session.SessionId(), table));
  if (m_Options.identityInsertTable == Lower(table.schema + "." + table.name))
    m_Options.identityInsertTable.clear();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
