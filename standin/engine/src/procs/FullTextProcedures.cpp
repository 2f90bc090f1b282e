// Full-text indexing: sp_fulltext_database, sp_fulltext_catalog,
// sp_fulltext_table, sp_fulltext_column and sp_help_fulltext_catalogs.
//
// There is no search service: the procedures keep SQL Server's metadata and
// its rules about order (database enabled → catalog → table index → columns →
// activate), and a population finishes the moment it is asked for. The state
// lives in the database's own file (FullText.h), so it travels with a detached
// database.
#include <cctype>

#include "catalog/DatabaseSecurity.h"
#include "catalog/FullText.h"
#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/DataDirectory.h"
#include "storage/SqliteFunctions.h"
#include "translate/Translator.h"

namespace standin::engine {
namespace {

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// Everything a full-text procedure needs: the service must be there, and it
// works in the caller's current database.
struct FullTextContext {
  ProcedureCall& call;
  std::string schema;
  std::string prefix;  // "schema".

  explicit FullTextContext(ProcedureCall& c) : call(c) {
    if (call.engine.Options().fullTextInstalled != 1) RaiseError(7609);
    schema = call.currentSchema();
    prefix = QuoteIdentifier(schema) + ".";
  }

  bool Enabled() const { return FullTextEnabled(call.db, schema); }
  void RequireEnabled() const {
    if (!Enabled()) RaiseError(15601);
  }
  // Changing full-text metadata is for db_owner (the owner, dbo and
  // sysadmins count as members).
  void RequireOwner() const {
    if (call.security == nullptr || !call.security->InRole(kUidDbOwner)) RaiseError(15247);
  }
  std::optional<std::int64_t> CatalogId(const std::string& name) const {
    SqliteStatement query(
        call.db, "SELECT ftcatid FROM " + prefix + "\"sqlstandin$ftcatalogs\" WHERE name = ?");
    query.BindText(1, name);
    if (!query.Step("SELECT")) return std::nullopt;
    return sqlite3_column_int64(query.Handle(), 0);
  }
  // The table's name as stored; 15009 when the database has no such table.
  std::string UserTable(const std::string& written) const {
    SqliteStatement query(call.db, "SELECT name FROM " + prefix +
                                       "sqlite_master WHERE type = 'table' AND name = ? COLLATE "
                                       "standin_ci AND substr(name, 1, 11) <> 'sqlstandin$'");
    query.BindText(1, written);
    if (!query.Step("SELECT")) RaiseError(15009, {written, call.currentDatabase});
    return ColumnText(query.Handle(), 0);
  }
  struct TableIndex {
    std::int64_t catalog = 0;
    bool active = false;
  };
  std::optional<TableIndex> FindTableIndex(const std::string& table) const {
    SqliteStatement query(call.db, "SELECT ftcatid, active FROM " + prefix +
                                       "\"sqlstandin$fttables\" WHERE table_name = ?");
    query.BindText(1, table);
    if (!query.Step("SELECT")) return std::nullopt;
    return TableIndex{sqlite3_column_int64(query.Handle(), 0),
                      sqlite3_column_int(query.Handle(), 1) != 0};
  }
  TableIndex RequireTableIndex(const std::string& table) const {
    std::optional<TableIndex> index = FindTableIndex(table);
    if (!index) RaiseError(15606, {table});
    return *index;
  }
  // Runs a change to the metadata; SQL text names only our own tables.
  void Change(const std::string& sql, std::initializer_list<Value> values) const {
    SqliteStatement statement(call.db, sql);
    int index = 1;
    for (const Value& value : values) statement.Bind(index++, value);
    statement.Step("UPDATE");
  }
  // A population that ends at once: the catalog's active tables are indexed.
  void Populate(std::int64_t catalog, const std::string& onlyTable = "") const {
    if (onlyTable.empty()) {
      Change("UPDATE " + prefix +
                 "\"sqlstandin$fttables\" SET populated = 1 WHERE ftcatid = ? AND active = 1",
             {catalog});
    } else {
      Change("UPDATE " + prefix +
                 "\"sqlstandin$fttables\" SET populated = 1 WHERE table_name = ? AND active = 1",
             {onlyTable});
    }
    Change("UPDATE " + prefix +
               "\"sqlstandin$ftcatalogs\" SET status = 0, populated = ? WHERE ftcatid = ?",
           {CurrentDateTimeText(), catalog});
  }
};

std::string RequiredText(ProcedureCall& call, std::size_t index, const char* procedure,
                         const char* parameter) {
  std::optional<std::string> value = call.Text(index);
  if (!value) RaiseError(201, {procedure, parameter});
  return *value;
}

std::int32_t SpFulltextDatabase(ProcedureCall& call) {
  FullTextContext context(call);
  const std::string action = Lower(RequiredText(call, 0, "sp_fulltext_database", "@action"));
  if (action != "enable" && action != "disable") RaiseError(15600, {"sp_fulltext_database"});
  context.RequireOwner();
  CreateFullTextTables(call.db, context.schema);
  context.Change("DELETE FROM " + context.prefix + "\"sqlstandin$ftdatabase\"", {});
  context.Change("INSERT INTO " + context.prefix + "\"sqlstandin$ftdatabase\" VALUES (?)",
                 {std::int64_t{action == "enable" ? 1 : 0}});
  return 0;
}

std::int32_t SpFulltextCatalog(ProcedureCall& call) {
  FullTextContext context(call);
  const std::string name = RequiredText(call, 0, "sp_fulltext_catalog", "@ftcat");
  const std::string action = Lower(RequiredText(call, 1, "sp_fulltext_catalog", "@action"));
  static constexpr std::string_view kActions[] = {
      "create", "drop", "start_full", "start_incremental", "stop", "rebuild"};
  bool known = false;
  for (std::string_view candidate : kActions) known = known || candidate == action;
  if (!known) RaiseError(15600, {"sp_fulltext_catalog"});
  context.RequireOwner();
  context.RequireEnabled();
  const std::optional<std::int64_t> catalog = context.CatalogId(name);
  if (action == "create") {
    if (catalog) RaiseError(7642, {name});
    Value path;
    if (std::optional<std::string> root = call.Text(2); root && !root->empty()) {
      // The catalog's root must be a folder on one of the server's drives.
      std::optional<std::filesystem::path> mapped = call.engine.Data().MapExistingPath(*root);
      std::error_code error;
      if (!mapped || !std::filesystem::is_directory(*mapped, error)) RaiseError(7610, {*root});
      path = *root;
    }
    SqliteStatement next(call.db, "SELECT coalesce(max(ftcatid) + 1, 5) FROM " + context.prefix +
                                      "\"sqlstandin$ftcatalogs\"");
    next.Step("SELECT");
    context.Change("INSERT INTO " + context.prefix +
                       "\"sqlstandin$ftcatalogs\" (ftcatid, name, path) VALUES (?, ?, ?)",
                   {sqlite3_column_int64(next.Handle(), 0), name, path});
    return 0;
  }
  if (!catalog) RaiseError(7641, {name});
  if (action == "drop") {
    SqliteStatement tables(
        call.db, "SELECT 1 FROM " + context.prefix + "\"sqlstandin$fttables\" WHERE ftcatid = ?");
    tables.BindInt(1, *catalog);
    if (tables.Step("SELECT")) RaiseError(15604, {name});
    context.Change("DELETE FROM " + context.prefix + "\"sqlstandin$ftcatalogs\" WHERE ftcatid = ?",
                   {*catalog});
  } else if (action == "start_full" || action == "start_incremental") {
    context.Populate(*catalog);
  } else if (action == "rebuild") {
    // The catalog is emptied; its tables stay and wait for a population.
    context.Change(
        "UPDATE " + context.prefix + "\"sqlstandin$fttables\" SET populated = 0 WHERE ftcatid = ?",
        {*catalog});
    context.Change(
        "UPDATE " + context.prefix +
            "\"sqlstandin$ftcatalogs\" SET status = 0, populated = NULL WHERE ftcatid = ?",
        {*catalog});
  }
  return 0;
}

// Whether `index` of `table` may be a full-text key: a unique index (a
// PRIMARY KEY or UNIQUE constraint, or CREATE UNIQUE INDEX) over one
// column that does not allow NULL.
bool IsValidKeyIndex(const FullTextContext& context, const std::string& table,
                     const std::string& index) {
  std::string column;
  bool primaryKey = false;
  {
    SqliteStatement constraint(context.call.db,
                               "SELECT columns, kind FROM " + context.prefix +
                                   "\"sqlstandin$constraints\" WHERE name = ? AND table_name = ?");
    constraint.BindText(1, index);
    constraint.BindText(2, table);
    if (constraint.Step("SELECT")) {
      column = ColumnText(constraint.Handle(), 0);
      primaryKey = ColumnText(constraint.Handle(), 1) == "PRIMARY KEY";
      if (column.find(',') != std::string::npos) return false;
    }
  }
  if (column.empty()) {
    const std::string sqliteIndex = "sqlstandin$ix$" + table + "$" + index;
    bool unique = false;
    SqliteStatement list(context.call.db,
                         "PRAGMA " + context.prefix + "index_list(" + QuoteIdentifier(table) + ")");
    std::string stored;
    while (list.Step("SELECT")) {
      if (EqualsNoCase(ColumnText(list.Handle(), 1), sqliteIndex)) {
        stored = ColumnText(list.Handle(), 1);
        unique = sqlite3_column_int(list.Handle(), 2) != 0;
      }
    }
    if (stored.empty() || !unique) return false;
    SqliteStatement info(context.call.db, "PRAGMA " + context.prefix + "index_info(" +
                                              QuoteIdentifier(stored) + ")");
    int columns = 0;
    while (info.Step("SELECT")) {
      ++columns;
      column = ColumnText(info.Handle(), 2);
    }
    if (columns != 1) return false;
  }
  if (primaryKey) return true;
  SqliteStatement info(context.call.db,
                       "PRAGMA " + context.prefix + "table_info(" + QuoteIdentifier(table) + ")");
  while (info.Step("SELECT")) {
    if (EqualsNoCase(ColumnText(info.Handle(), 1), column))
      return sqlite3_column_int(info.Handle(), 3) != 0 || sqlite3_column_int(info.Handle(), 5) != 0;
  }
  return false;
}

std::int32_t SpFulltextTable(ProcedureCall& call) {
  FullTextContext context(call);
  const std::string written = RequiredText(call, 0, "sp_fulltext_table", "@tabname");
  const std::string action = Lower(RequiredText(call, 1, "sp_fulltext_table", "@action"));
  // Change tracking and background index updates came with SQL Server 2000.
  static constexpr std::string_view kActions7[] = {
      "create", "drop", "activate", "deactivate", "start_full", "start_incremental", "stop"};
  static constexpr std::string_view kActions2000[] = {
      "start_change_tracking", "stop_change_tracking", "start_background_updateindex",
      "stop_background_updateindex", "update_index"};
  bool known = false;
  for (std::string_view candidate : kActions7) known = known || candidate == action;
  if (call.engine.Options().productVersion != 7)
    for (std::string_view candidate : kActions2000) known = known || candidate == action;
  if (!known) RaiseError(15600, {"sp_fulltext_table"});
  context.RequireOwner();
  context.RequireEnabled();
  const std::string table = context.UserTable(written);
  const std::string prefix = context.prefix;
  if (action == "create") {
    const std::string catalogName = RequiredText(call, 2, "sp_fulltext_table", "@ftcat");
    const std::string keyIndex = RequiredText(call, 3, "sp_fulltext_table", "@keyname");
    if (context.FindTableIndex(table)) RaiseError(15605, {written});
    const std::optional<std::int64_t> catalog = context.CatalogId(catalogName);
    if (!catalog) RaiseError(7641, {catalogName});
    if (!IsValidKeyIndex(context, table, keyIndex)) RaiseError(15607, {keyIndex});
    context.Change("INSERT INTO " + prefix +
                       "\"sqlstandin$fttables\" (table_name, ftcatid, key_index) VALUES (?, ?, ?)",
                   {table, *catalog, keyIndex});
    return 0;
  }
  const FullTextContext::TableIndex index = context.RequireTableIndex(table);
  const std::string where = " WHERE table_name = ?";
  if (action == "drop") {
    context.Change("DELETE FROM " + prefix + "\"sqlstandin$ftcolumns\"" + where, {table});
    context.Change("DELETE FROM " + prefix + "\"sqlstandin$fttables\"" + where, {table});
  } else if (action == "activate") {
    if (index.active) RaiseError(15608, {written});
    SqliteStatement columns(call.db,
                            "SELECT 1 FROM " + prefix + "\"sqlstandin$ftcolumns\"" + where);
    columns.BindText(1, table);
    if (!columns.Step("SELECT")) RaiseError(15609, {written});
    context.Change("UPDATE " + prefix + "\"sqlstandin$fttables\" SET active = 1" + where, {table});
  } else if (action == "deactivate") {
    context.Change(
        "UPDATE " + prefix + "\"sqlstandin$fttables\" SET active = 0, populated = 0" + where,
        {table});
  } else if (action == "start_change_tracking") {
    // Tracking starts with a population of the table, as in SQL Server.
    context.Change("UPDATE " + prefix + "\"sqlstandin$fttables\" SET change_tracking = 1" + where,
                   {table});
    if (index.active) context.Populate(index.catalog, table);
  } else if (action == "stop_change_tracking") {
    context.Change("UPDATE " + prefix +
                       "\"sqlstandin$fttables\" SET change_tracking = 0, background_update = 0" +
                       where,
                   {table});
  } else if (action == "start_background_updateindex") {
    context.Change("UPDATE " + prefix + "\"sqlstandin$fttables\" SET background_update = 1" + where,
                   {table});
  } else if (action == "stop_background_updateindex") {
    context.Change("UPDATE " + prefix + "\"sqlstandin$fttables\" SET background_update = 0" + where,
                   {table});
  } else if (action == "start_full" || action == "start_incremental" || action == "update_index") {
    if (index.active) context.Populate(index.catalog, table);
  }
  return 0;  // "stop": populations are never running
}

std::int32_t SpFulltextColumn(ProcedureCall& call) {
  FullTextContext context(call);
  const std::string written = RequiredText(call, 0, "sp_fulltext_column", "@tabname");
  const std::string columnName = RequiredText(call, 1, "sp_fulltext_column", "@colname");
  const std::string action = Lower(RequiredText(call, 2, "sp_fulltext_column", "@action"));
  if (action != "add" && action != "drop") RaiseError(15600, {"sp_fulltext_column"});
  context.RequireOwner();
  context.RequireEnabled();
  const std::string table = context.UserTable(written);
  const FullTextContext::TableIndex index = context.RequireTableIndex(table);
  if (index.active) RaiseError(15610, {written});
  std::string column;
  std::optional<ColumnType> type;
  {
    SqliteStatement info(call.db,
                         "PRAGMA " + context.prefix + "table_info(" + QuoteIdentifier(table) + ")");
    while (info.Step("SELECT")) {
      if (!EqualsNoCase(ColumnText(info.Handle(), 1), columnName)) continue;
      column = ColumnText(info.Handle(), 1);
      type = ParseDeclaredType(ColumnText(info.Handle(), 2));
    }
  }
  if (column.empty()) RaiseError(207, {columnName});
  if (action == "add") {
    if (!type || !IsCharacter(type->id)) RaiseError(15611, {columnName, written});
    context.Change("INSERT OR IGNORE INTO " + context.prefix +
                       "\"sqlstandin$ftcolumns\" (table_name, column_name) VALUES (?, ?)",
                   {table, column});
  } else {
    context.Change("DELETE FROM " + context.prefix +
                       "\"sqlstandin$ftcolumns\" WHERE table_name = ? AND column_name = ?",
                   {table, column});
  }
  return 0;
}

std::int32_t SpHelpFulltextCatalogs(ProcedureCall& call) {
  FullTextContext context(call);
  context.RequireEnabled();
  const std::optional<std::string> name = call.Text(0);
  if (name && !context.CatalogId(*name)) RaiseError(7641, {*name});
  std::vector<std::vector<Value>> rows;
  SqliteStatement query(call.db,
                        "SELECT c.ftcatid, c.name, coalesce(c.path, ?), c.status, (SELECT count(*) "
                        "FROM " +
                            context.prefix +
                            "\"sqlstandin$fttables\" t WHERE t.ftcatid = c.ftcatid) FROM " +
                            context.prefix +
                            "\"sqlstandin$ftcatalogs\" c WHERE ?2 IS NULL OR c.name = ?2 ORDER "
                            "BY c.ftcatid");
  query.BindText(1, kDefaultFullTextFolder);
  query.Bind(2, name ? Value(*name) : Value(std::monostate{}));
  while (query.Step("SELECT")) {
    rows.push_back({sqlite3_column_int64(query.Handle(), 0), ColumnText(query.Handle(), 1),
                    ColumnText(query.Handle(), 2), sqlite3_column_int64(query.Handle(), 3),
                    sqlite3_column_int64(query.Handle(), 4)});
  }
  call.ResultSet(
      {MakeColumn("ftcatid", TypeId::SmallInt, 0, false),
       MakeColumn("NAME", TypeId::NVarChar, 128, false), MakeColumn("PATH", TypeId::NVarChar, 260),
       MakeColumn("STATUS", TypeId::Int), MakeColumn("NUMBER_FULLTEXT_TABLES", TypeId::Int)},
      rows);
  return 0;
}

constexpr std::string_view kDatabaseParameters[] = {"@action"};
constexpr std::string_view kCatalogParameters[] = {"@ftcat", "@action", "@path"};
constexpr std::string_view kTableParameters[] = {"@tabname", "@action", "@ftcat", "@keyname"};
constexpr std::string_view kColumnParameters[] = {"@tabname", "@colname", "@action", "@language",
                                                  "@type_colname"};
constexpr std::string_view kHelpCatalogsParameters[] = {"@fulltext_catalog_name"};

const SystemProcedure kProcedures[] = {
    {"sp_fulltext_database", kDatabaseParameters, SpFulltextDatabase},
    {"sp_fulltext_catalog", kCatalogParameters, SpFulltextCatalog},
    {"sp_fulltext_table", kTableParameters, SpFulltextTable},
    {"sp_fulltext_column", kColumnParameters, SpFulltextColumn},
    {"sp_help_fulltext_catalogs", kHelpCatalogsParameters, SpHelpFulltextCatalogs},
};

}  // namespace

std::span<const SystemProcedure> FullTextProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
