// CREATE/DROP INDEX, CREATE/DROP VIEW and ALTER TABLE.
//
// An index named I on table T is the SQLite index "sqlstandin$ix$T$I", so
// index names are per table as in SQL Server and hidden from T-SQL. When the
// index key can exceed SQL Server's 900 bytes, two triggers make each row
// whose key does exceed it fail with 1946, as SQL Server refuses such a row.
#include <algorithm>
#include <cctype>

#include "common/ScopeGuard.h"
#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/SchemaExecutor.h"

namespace standin::engine {
namespace {

constexpr std::string_view kIndexPrefix = "sqlstandin$ix$";
constexpr std::string_view kKeyTriggerPrefix = "sqlstandin$ixkey$";

std::string ColumnText(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// The most bytes a value of the type takes in an index key; 0 for the types
// no index can hold.
int MaxKeyBytes(const ColumnType& type) {
  switch (type.id) {
    case TypeId::Bit:
    case TypeId::TinyInt:
      return 1;
    case TypeId::SmallInt:
      return 2;
    case TypeId::Int:
    case TypeId::Real:
    case TypeId::SmallMoney:
    case TypeId::SmallDateTime:
      return 4;
    case TypeId::BigInt:
    case TypeId::Float:
    case TypeId::Money:
    case TypeId::DateTime:
      return 8;
    case TypeId::Decimal:
    case TypeId::Numeric:
      return type.precision <= 9 ? 5 : type.precision <= 19 ? 9 : type.precision <= 28 ? 13 : 17;
    case TypeId::UniqueIdentifier:
      return 16;
    case TypeId::Char:
    case TypeId::VarChar:
    case TypeId::Binary:
    case TypeId::VarBinary:
      return type.length;
    case TypeId::NChar:
    case TypeId::NVarChar:
      return 2 * type.length;
    case TypeId::Text:
    case TypeId::NText:
    case TypeId::Image:
      return 0;
  }
  return 0;
}

// SQL for the bytes one row's value takes in the key: variable-length types
// by their actual length, the others by their fixed size.
std::string KeyBytesSql(const std::string& value, const ColumnType& type) {
  switch (type.id) {
    case TypeId::VarChar:
    case TypeId::VarBinary:
      return "coalesce(length(" + value + "), 0)";
    case TypeId::NVarChar:
      return "2 * coalesce(length(" + value + "), 0)";
    default:
      return std::to_string(MaxKeyBytes(type));
  }
}

struct IndexDefinition {
  std::string name;  // as created
  bool unique = false;
  std::vector<std::string> columns;
};

std::string IndexStorageName(const std::string& table, const std::string& index) {
  return std::string(kIndexPrefix) + table + "$" + index;
}

// The indexes of a table, with their columns in key order.
std::vector<IndexDefinition> ListIndexes(sqlite3* db, const TableInfo& table) {
  const std::string schema = QuoteIdentifier(table.schema);
  const std::string prefix = IndexStorageName(table.name, "");
  std::vector<IndexDefinition> indexes;
  SqliteStatement list(db, "SELECT name, sql FROM " + schema +
                               ".sqlite_master WHERE type = 'index' AND tbl_name = ? AND "
                               "substr(name, 1, ?) = ?");
  list.BindText(1, table.name);
  list.BindInt(2, static_cast<std::int64_t>(prefix.size()));
  list.BindText(3, prefix);
  while (list.Step("SELECT")) {
    IndexDefinition index;
    const std::string stored = ColumnText(list.Handle(), 0);
    index.name = stored.substr(prefix.size());
    index.unique = ColumnText(list.Handle(), 1).rfind("CREATE UNIQUE", 0) == 0;
    SqliteStatement info(db, "PRAGMA " + schema + ".index_info(" + QuoteIdentifier(stored) + ")");
    while (info.Step("SELECT")) index.columns.push_back(ColumnText(info.Handle(), 2));
    indexes.push_back(std::move(index));
  }
  return indexes;
}

const Column* FindColumn(const TableInfo& table, const std::string& name) {
  for (const Column& column : table.columns) {
    if (EqualsNoCase(column.name, name)) return &column;
  }
  return nullptr;
}

std::string ObjectType(sqlite3* db, const std::string& schema, const std::string& name,
                       std::string* storedName = nullptr) {
  SqliteStatement find(db, "SELECT type, name FROM " + QuoteIdentifier(schema) +
                               ".sqlite_master WHERE type IN ('table', 'view') AND name = ? "
                               "COLLATE standin_ci");
  find.BindText(1, name);
  if (!find.Step("SELECT")) return "";
  if (storedName) *storedName = ColumnText(find.Handle(), 1);
  return ColumnText(find.Handle(), 0);
}

}  // namespace

void SchemaExecutor::CreateIndexObjects(const TableInfo& table, const IndexRequest& request,
                                        BatchSink* warnings) {
  sqlite3* db = m_Session.Db();
  const std::string schema = QuoteIdentifier(table.schema);
  std::vector<const Column*> columns;
  int maxBytes = 0;
  for (const std::string& name : request.columns) {
    const Column* column = FindColumn(table, name);
    if (!column) RaiseError(1911, {name});
    if (MaxKeyBytes(column->type) == 0) RaiseError(1919, {column->name});
    if (std::find(columns.begin(), columns.end(), column) != columns.end())
      RaiseUnsupported("an index naming a column twice");
    columns.push_back(column);
    maxBytes += MaxKeyBytes(column->type);
  }
  std::string rowBytes, newBytes, keyColumns;
  for (const Column* column : columns) {
    const std::string quoted = QuoteIdentifier(column->name);
    rowBytes += (rowBytes.empty() ? "" : " + ") + KeyBytesSql(quoted, column->type);
    newBytes += (newBytes.empty() ? "" : " + ") + KeyBytesSql("NEW." + quoted, column->type);
    keyColumns += (keyColumns.empty() ? "" : ", ") + quoted;
  }
  if (maxBytes > 900) {
    // Rows already there must fit before the index exists.
    SqliteStatement longest(
        db, "SELECT max(" + rowBytes + ") FROM " + schema + "." + QuoteIdentifier(table.name));
    if (longest.Step("SELECT") && sqlite3_column_int64(longest.Handle(), 0) > 900) {
      RaiseError(1946, {std::to_string(sqlite3_column_int64(longest.Handle(), 0)), request.name});
    }
  }
  Execute(db, std::string("CREATE ") + (request.unique ? "UNIQUE " : "") + "INDEX " + schema + "." +
                  QuoteIdentifier(IndexStorageName(table.name, request.name)) + " ON " +
                  QuoteIdentifier(table.name) + " (" + keyColumns + ")");
  if (maxBytes > 900) {
    const std::string check =
        " BEGIN SELECT standin_key_check(" + newBytes + ", " + QuoteString(request.name) + "); END";
    const std::string trigger = std::string(kKeyTriggerPrefix) + table.name + "$" + request.name;
    Execute(db, "CREATE TRIGGER " + schema + "." + QuoteIdentifier(trigger + "$i") +
                    " BEFORE INSERT ON " + QuoteIdentifier(table.name) + check);
    Execute(db, "CREATE TRIGGER " + schema + "." + QuoteIdentifier(trigger + "$u") +
                    " BEFORE UPDATE OF " + keyColumns + " ON " + QuoteIdentifier(table.name) +
                    check);
    if (warnings) {
      Message warning = MakeMessage(1945, {request.name, std::to_string(maxBytes)});
      m_Session.Report(warning, *warnings);
    }
  }
}

void SchemaExecutor::DropIndexObjects(const TableInfo& table, const std::string& index) {
  const std::string schema = QuoteIdentifier(table.schema) + ".";
  const std::string trigger = std::string(kKeyTriggerPrefix) + table.name + "$" + index;
  Execute(m_Session.Db(), "DROP TRIGGER IF EXISTS " + schema + QuoteIdentifier(trigger + "$i"));
  Execute(m_Session.Db(), "DROP TRIGGER IF EXISTS " + schema + QuoteIdentifier(trigger + "$u"));
  Execute(m_Session.Db(),
          "DROP INDEX " + schema + QuoteIdentifier(IndexStorageName(table.name, index)));
}

void SchemaExecutor::RunCreateIndex(const CreateIndexStatement& statement, BatchSink& sink) {
  TableInfo table = m_Session.ResolveTable(statement.table);
  if (table.schema != "temp")
    m_Security.RequireSchemaChange(table.database, table.name, "CREATE INDEX");
  if (ObjectType(m_Session.Db(), table.schema, table.name) == "view")
    RaiseUnsupported("indexes on views");
  for (const IndexDefinition& index : ListIndexes(m_Session.Db(), table)) {
    if (EqualsNoCase(index.name, statement.index)) RaiseError(1913, {table.name, statement.index});
  }
  IndexRequest request{statement.index, statement.unique, statement.columns};
  SqliteTransaction scope = m_Transactions.BeginWrite();
  CreateIndexObjects(table, request, &sink);
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void SchemaExecutor::RunDropIndex(const DropIndexStatement& statement, BatchSink& sink) {
  const std::string written = statement.table.written + "." + statement.index;
  TableInfo table;
  try {
    table = m_Session.ResolveTable(statement.table);
  } catch (const SqlError& error) {
    if (error.Msg().number == 208) RaiseError(3701, {"index", written});
    throw;
  }
  std::string stored;
  for (const IndexDefinition& index : ListIndexes(m_Session.Db(), table)) {
    if (EqualsNoCase(index.name, statement.index)) stored = index.name;
  }
  if (stored.empty()) RaiseError(3701, {"index", written});
  if (table.schema != "temp")
    m_Security.RequireSchemaChange(table.database, table.name, "DROP INDEX");
  SqliteTransaction scope = m_Transactions.BeginWrite();
  DropIndexObjects(table, stored);
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void SchemaExecutor::RunCreateView(const CreateViewStatement& statement, BatchSink& sink) {
  const ObjectName& name = statement.view;
  if (name.IsTemp()) RaiseUnsupported("temporary views");
  const std::string schema =
      m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
  const std::string lower = Lower(name.name);
  if (lower.rfind("sqlstandin$", 0) == 0 || lower.rfind("sqlite_", 0) == 0)
    RaiseUnsupported("view names beginning with '" + name.name.substr(0, 7) + "'");
  m_Security.CheckCreateObject(name.database.empty() ? m_Session.Database() : name.database,
                               "CREATE VIEW");
  if (!ObjectType(m_Session.Db(), schema, name.name).empty()) RaiseError(2714, {name.name});
  // Making a view reads nothing: whoever selects from it is checked then.
  const bool wasChained = m_SecurityState.ownershipChain;
  m_SecurityState.ownershipChain = true;
  SqlText query;
  {
    ScopeGuard unchain([&] { m_SecurityState.ownershipChain = wasChained; });
    Translator translator(m_Session);
    query = translator.TranslateSelect(*statement.select);
  }
  if (!query.parameters.empty()) RaiseError(137, {query.parameters.front()});
  // The view is stored without its database's schema name: the name it is
  // attached under belongs to the session, and the view must still resolve
  // in the next session (or after the database is renamed).
  const std::string qualifier = QuoteIdentifier(schema) + ".";
  for (std::size_t at = query.sql.find(qualifier); at != std::string::npos;
       at = query.sql.find(qualifier, at)) {
    query.sql.erase(at, qualifier.size());
  }
  SqliteTransaction scope = m_Transactions.BeginWrite();
  Execute(m_Session.Db(),
          "CREATE VIEW " + qualifier + QuoteIdentifier(name.name) + " AS " + query.sql);
  SqliteStatement object(m_Session.Db(),
                         "INSERT OR REPLACE INTO " + qualifier +
                             "\"sqlstandin$objects\" (name, kind, definition) VALUES (?, 'V', ?)");
  object.BindText(1, name.name);
  object.BindText(2, statement.text);
  object.Step();
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void SchemaExecutor::RunDropView(const DropViewStatement& statement, BatchSink& sink) {
  const ObjectName& name = statement.view;
  const std::string schema =
      name.IsTemp()
          ? "temp"
          : m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
  std::string stored;
  const std::string type = ObjectType(m_Session.Db(), schema, name.name, &stored);
  if (type.empty() || Lower(name.name).rfind("sqlstandin$", 0) == 0)
    RaiseError(3701, {"view", name.written});
  if (type == "table") RaiseError(3705, {"VIEW", name.name, name.name, "a table", "TABLE"});
  if (schema != "temp" && !m_Security.MayAlterSchema(
                              name.database.empty() ? m_Session.Database() : name.database, stored))
    RaiseError(3701, {"view", name.written});
  SqliteTransaction scope = m_Transactions.BeginWrite();
  Execute(m_Session.Db(), "DROP VIEW " + QuoteIdentifier(schema) + "." + QuoteIdentifier(stored));
  SqliteStatement remove(m_Session.Db(), "DELETE FROM " + QuoteIdentifier(schema) +
                                             ".\"sqlstandin$objects\" WHERE name = ?");
  remove.BindText(1, stored);
  remove.Step();
  m_Security.ForgetObjectPermissions(schema, stored);
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void SchemaExecutor::RunAlterTable(const AlterTableStatement& statement, BatchSink& sink) {
  TableInfo table = m_Session.ResolveTable(statement.table);
  if (table.schema != "temp")
    m_Security.RequireSchemaChange(table.database, table.name, "ALTER TABLE");
  if (ObjectType(m_Session.Db(), table.schema, table.name) == "view")
    RaiseUnsupported("ALTER TABLE on a view");
  SqliteTransaction scope = m_Transactions.BeginWrite();
  if (statement.action == AlterTableStatement::Action::AddColumns) {
    AddColumns(statement, table);
  } else {
    AlterColumn(statement.columns.front(), table, sink);
  }
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

std::vector<SchemaExecutor::RebuiltColumn> SchemaExecutor::CurrentColumns(const TableInfo& table) {
  std::vector<RebuiltColumn> columns;
  SqliteStatement info(m_Session.Db(), "PRAGMA " + QuoteIdentifier(table.schema) + ".table_info(" +
                                           QuoteIdentifier(table.name) + ")");
  std::size_t position = 0;
  while (info.Step("SELECT")) {
    RebuiltColumn column;
    column.name = ColumnText(info.Handle(), 1);
    column.type = table.columns.at(position++).type;
    column.notNull = sqlite3_column_int(info.Handle(), 3) != 0;
    if (sqlite3_column_type(info.Handle(), 4) != SQLITE_NULL)
      column.defaultSql = ColumnText(info.Handle(), 4);
    column.value = QuoteIdentifier(column.name);
    columns.push_back(std::move(column));
  }
  return columns;
}

void SchemaExecutor::RebuildTable(const TableInfo& table,
                                  const std::vector<RebuiltColumn>& columns) {
  // SQLite can neither change a column's type nor add a column with an
  // expression default in place: the table is built anew under its name,
  // with its rows, constraints, indexes and identity kept.
  sqlite3* db = m_Session.Db();
  const std::string schema = QuoteIdentifier(table.schema) + ".";
  std::vector<IndexDefinition> indexes = ListIndexes(db, table);
  std::string definition, columnList, selectList;
  for (const RebuiltColumn& column : columns) {
    const std::string quoted = QuoteIdentifier(column.name);
    definition += (definition.empty() ? "" : ", ") + quoted + " " + StorageTypeName(column.type);
    definition += StorageCollation(column.type);
    if (column.notNull) definition += " NOT NULL";
    if (!column.defaultSql.empty()) definition += " DEFAULT (" + column.defaultSql + ")";
    if (column.value.empty()) continue;  // takes its default
    columnList += (columnList.empty() ? "" : ", ") + quoted;
    selectList += (selectList.empty() ? "" : ", ") + column.value;
  }
  SqliteStatement list(db, "SELECT name, kind, columns FROM " + schema +
                               "\"sqlstandin$constraints\" WHERE table_name = ?");
  list.BindText(1, table.name);
  while (list.Step("SELECT")) {
    const std::string keyColumns = ColumnText(list.Handle(), 2);
    definition += ", CONSTRAINT " + QuoteIdentifier(ColumnText(list.Handle(), 0)) +
                  (ColumnText(list.Handle(), 1) == "PRIMARY KEY" ? " PRIMARY KEY (" : " UNIQUE (");
    std::string quotedColumns;
    for (std::size_t start = 0; start <= keyColumns.size();) {
      std::size_t end = keyColumns.find(',', start);
      if (end == std::string::npos) end = keyColumns.size();
      quotedColumns += (quotedColumns.empty() ? "" : ", ") +
                       QuoteIdentifier(keyColumns.substr(start, end - start));
      start = end + 1;
    }
    definition += quotedColumns + ")";
  }
  const std::string rebuild = QuoteIdentifier("sqlstandin$rebuild");
  Execute(db, "CREATE TABLE " + schema + rebuild + " (" + definition + ")");
  SqliteStatement copy(db, "INSERT INTO " + schema + rebuild + " (" + columnList + ") SELECT " +
                               selectList + " FROM " + schema + QuoteIdentifier(table.name));
  while (copy.Step("UPDATE")) {
  }
  Execute(db, "DROP TABLE " + schema + QuoteIdentifier(table.name));
  // The legacy rename leaves the views that name the table alone.
  Execute(db, "PRAGMA legacy_alter_table = ON");
  {
    ScopeGuard modern(
        [&] { sqlite3_exec(db, "PRAGMA legacy_alter_table = OFF", nullptr, nullptr, nullptr); });
    Execute(db, "ALTER TABLE " + schema + rebuild + " RENAME TO " + QuoteIdentifier(table.name));
    modern.Dismiss();
  }
  Execute(db, "PRAGMA legacy_alter_table = OFF");
  ObjectName name;
  name.database = table.database;
  name.name = name.written = table.name;
  TableInfo rebuilt = m_Session.ResolveTable(name);
  for (const IndexDefinition& index : indexes) {
    CreateIndexObjects(rebuilt, IndexRequest{index.name, index.unique, index.columns}, nullptr);
  }
}

void SchemaExecutor::AddColumns(const AlterTableStatement& statement, const TableInfo& table) {
  std::vector<RebuiltColumn> columns = CurrentColumns(table);
  Translator translator(m_Session);
  for (const ColumnDefinition& definition : statement.columns) {
    const bool duplicate = std::any_of(columns.begin(), columns.end(), [&](const RebuiltColumn& c) {
      return EqualsNoCase(c.name, definition.name);
    });
    if (duplicate) RaiseError(2705, {definition.name, table.name});
    if (definition.identity) RaiseUnsupported("ALTER TABLE … ADD of an IDENTITY column");
    const bool nullable = definition.nullable.value_or(m_Options.ansiNullDefault);
    if (!nullable && !definition.defaultValue) RaiseError(4901, {definition.name, table.name});
    RebuiltColumn column;
    column.name = definition.name;
    column.type = definition.type;
    column.notNull = !nullable;
    if (definition.defaultValue)
      column.defaultSql = translator.TranslateDefault(*definition.defaultValue, definition.type);
    // SQL Server fills a nullable column's existing rows with NULL, not with
    // its default (that takes WITH VALUES); a NOT NULL column gets the default.
    column.value = nullable ? "NULL" : "";
    columns.push_back(std::move(column));
  }
  RebuildTable(table, columns);
}

void SchemaExecutor::AlterColumn(const ColumnDefinition& change, const TableInfo& table,
                                 BatchSink& sink) {
  sqlite3* db = m_Session.Db();
  const Column* column = FindColumn(table, change.name);
  if (!column) RaiseError(4924, {change.name, table.name});
  if (MaxKeyBytes(change.type) == 0 && change.type.id != column->type.id &&
      !(IsCharacter(change.type.id) && IsCharacter(column->type.id)) &&
      !(IsBinary(change.type.id) && IsBinary(column->type.id))) {
    RaiseUnsupported("ALTER COLUMN to " + BaseTypeName(change.type.id));
  }
  // What depends on the column: its indexes and PRIMARY KEY/UNIQUE constraints.
  std::vector<std::pair<std::string, std::string>> dependents;  // kind, name
  for (const IndexDefinition& index : ListIndexes(db, table)) {
    for (const std::string& key : index.columns) {
      if (EqualsNoCase(key, column->name)) dependents.emplace_back("index", index.name);
    }
  }
  bool inPrimaryKey = false;
  {
    SqliteStatement list(db, "SELECT name, kind, columns FROM " + QuoteIdentifier(table.schema) +
                                 ".\"sqlstandin$constraints\" WHERE table_name = ?");
    list.BindText(1, table.name);
    while (list.Step("SELECT")) {
      const std::string keyColumns = "," + ColumnText(list.Handle(), 2) + ",";
      if (keyColumns.find("," + Lower(column->name) + ",") == std::string::npos) continue;
      dependents.emplace_back("object", ColumnText(list.Handle(), 0));
      inPrimaryKey = inPrimaryKey || ColumnText(list.Handle(), 1) == "PRIMARY KEY";
    }
  }
  // SQL Server lets an indexed column change only by growing a variable-length
  // type it keeps.
  const bool growsInPlace =
      change.type.id == column->type.id &&
      (change.type.id == TypeId::VarChar || change.type.id == TypeId::NVarChar ||
       change.type.id == TypeId::VarBinary) &&
      change.type.length >= column->type.length;
  if (!dependents.empty() && !growsInPlace) {
    for (const auto& [kind, name] : dependents) {
      Message message = MakeMessage(5074, {kind, name, column->name});
      message.line = 1;
      m_Session.Report(message, sink);
    }
    RaiseError(4922, {column->name});
  }
  if (column->identity) RaiseUnsupported("ALTER COLUMN of an IDENTITY column");
  std::vector<RebuiltColumn> columns = CurrentColumns(table);
  for (RebuiltColumn& rebuilt : columns) {
    if (!EqualsNoCase(rebuilt.name, column->name)) continue;
    rebuilt.value = "standin_convert(" + rebuilt.value + ", " + QuoteString(TypeName(change.type)) +
                    ", 1, NULL, " + (IsDateTime(rebuilt.type.id) ? "1" : "0") + ")";
    rebuilt.type = change.type;
    rebuilt.notNull = inPrimaryKey || !change.nullable.value_or(m_Options.ansiNullDefault);
    // The default was stored converted to the old type; it now converts on
    // to the new one, as SQL Server converts a kept default on insert.
    if (!rebuilt.defaultSql.empty())
      rebuilt.defaultSql = "standin_convert(" + rebuilt.defaultSql + ", " +
                           QuoteString(TypeName(change.type)) + ", 1, NULL, 0)";
  }
  RebuildTable(table, columns);
}

void SchemaExecutor::EnsureSystemViews(const std::string& schema) {
  const std::string prefix = QuoteIdentifier(schema) + ".";
  {
    SqliteStatement find(m_Session.Db(), "SELECT 1 FROM " + prefix +
                                             "sqlite_master WHERE type = 'view' AND name = "
                                             "'syscomments'");
    if (find.Step("SELECT")) return;
  }
  Execute(m_Session.Db(), "DROP VIEW IF EXISTS " + prefix + "sysobjects");
  // The view takes its column types from an empty table of SQL Server's
  // column types, the first branch of its UNION; ids are those OBJECT_ID gives.
  Execute(m_Session.Db(),
          "CREATE TABLE IF NOT EXISTS " + prefix +
              "\"sqlstandin$sysobjects\" (name \"nvarchar(128)\", id \"int\", xtype "
              "\"char(2)\", uid \"smallint\", info \"smallint\", status \"int\", "
              "base_schema_ver \"int\", replinfo \"int\", parent_obj \"int\", crdate "
              "\"datetime\", ftcatid \"smallint\", schema_ver \"int\", stats_schema_ver \"int\", "
              "type \"char(2)\", userstat \"smallint\", sysstat \"smallint\", indexdel "
              "\"smallint\", refdate \"datetime\", version \"int\", deltrig \"int\", instrig "
              "\"int\", updtrig \"int\", seltrig \"int\", category \"int\", cache \"smallint\")");
  auto row = [](const std::string& name, const std::string& id, const std::string& xtype,
                const std::string& parent, const std::string& userstat,
                const std::string& sysstat) {
    return "SELECT " + name + ", " + id + ", " + xtype + ", 1, 0, 0, 0, 0, " + parent +
           ", standin_getdate(), 0, 0, 0, " + xtype + ", " + userstat + ", " + sysstat +
           ", 0, standin_getdate(), 0, 0, 0, 0, 0, 0, 0";
  };
  const std::string hidden =
      "substr(name, 1, 11) <> 'sqlstandin$' AND substr(name, 1, 7) <> 'sqlite_' AND name NOT IN "
      "('sysobjects', 'syscomments', 'sysusers', 'sysmembers')";
  Execute(m_Session.Db(),
          "CREATE VIEW " + prefix +
              "sysobjects AS SELECT * FROM \"sqlstandin$sysobjects\" UNION ALL " +
              row("name", "rowid + 1000",
                  "CASE WHEN substr(name, 1, 3) = 'sys' THEN 'S ' WHEN type = 'view' THEN 'V ' "
                  "ELSE 'U ' END",
                  "0", "CASE type WHEN 'view' THEN 0 ELSE 1 END",
                  "CASE type WHEN 'view' THEN 2 ELSE 3 END") +
              " FROM sqlite_master WHERE type IN ('table', 'view') AND " + hidden + " UNION ALL " +
              row("c.name", "c.rowid + 100000",
                  "CASE c.kind WHEN 'PRIMARY KEY' THEN 'PK' ELSE "
                  "'UQ' END",
                  "coalesce(m.rowid + 1000, 0)", "0", "0") +
              " FROM \"sqlstandin$constraints\" c LEFT JOIN sqlite_master m ON m.type = 'table' "
              "AND m.name = c.table_name" +
              " UNION ALL " + row("name", "rowid + 1000000", "'P '", "0", "0", "4") +
              " FROM \"sqlstandin$objects\" WHERE kind = 'P'");
  // syscomments: the text of procedures and views as sent, in 4000-character
  // pieces numbered by colid.
  Execute(m_Session.Db(), "CREATE TABLE IF NOT EXISTS " + prefix +
                              "\"sqlstandin$syscomments\" (id \"int\", number \"smallint\", colid "
                              "\"smallint\", status \"smallint\", texttype \"smallint\", language "
                              "\"smallint\", encrypted \"bit\", compressed \"bit\", text "
                              "\"nvarchar(4000)\")");
  Execute(m_Session.Db(),
          "CREATE VIEW " + prefix +
              "syscomments AS SELECT * FROM \"sqlstandin$syscomments\" UNION ALL SELECT id, 1, "
              "colid, 0, 2, 0, 0, 0, piece FROM (WITH RECURSIVE pieces(id, colid, piece, rest) AS "
              "(SELECT CASE o.kind WHEN 'P' THEN o.rowid + 1000000 ELSE (SELECT m.rowid + 1000 "
              "FROM sqlite_master m WHERE m.type = 'view' AND m.name = o.name) END, 1, "
              "substr(o.definition, 1, 4000), substr(o.definition, 4001) FROM "
              "\"sqlstandin$objects\" o WHERE o.kind IN ('P', 'V') UNION ALL SELECT id, colid + "
              "1, substr(rest, 1, 4000), substr(rest, 4001) FROM pieces WHERE rest <> '') SELECT "
              "id, colid, piece FROM pieces)");
}

}  // namespace standin::engine
