// Full-text metadata tables and FULLTEXTCATALOGPROPERTY.
#include "catalog/FullText.h"

#include <cctype>
#include <vector>

#include "common/SqliteNames.h"
#include "common/Text.h"
#include "storage/Sqlite.h"

namespace standin::engine {
namespace {

bool HasTable(sqlite3* db, const std::string& schema, const char* name) {
  SqliteStatement query(db, "SELECT 1 FROM " + QuoteIdentifier(schema) +
                                ".sqlite_master WHERE type = 'table' AND name = ?");
  query.BindText(1, name);
  return query.Step("SELECT");
}

}  // namespace

void CreateFullTextTables(sqlite3* db, const std::string& schema) {
  const std::string prefix = QuoteIdentifier(schema) + ".";
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$ftdatabase\" (enabled INTEGER NOT NULL)");
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$ftcatalogs\" (ftcatid INTEGER PRIMARY KEY, name TEXT COLLATE "
                  "standin_ci NOT NULL UNIQUE, path TEXT, status INTEGER NOT NULL DEFAULT 0, "
                  "populated TEXT)");
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$fttables\" (table_name TEXT COLLATE standin_ci PRIMARY KEY, "
                  "ftcatid INTEGER NOT NULL, key_index TEXT NOT NULL, active INTEGER NOT NULL "
                  "DEFAULT 0, change_tracking INTEGER NOT NULL DEFAULT 0, background_update "
                  "INTEGER NOT NULL DEFAULT 0, populated INTEGER NOT NULL DEFAULT 0)");
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$ftcolumns\" (table_name TEXT COLLATE standin_ci NOT NULL, "
                  "column_name TEXT COLLATE standin_ci NOT NULL, PRIMARY KEY (table_name, "
                  "column_name))");
}

bool FullTextEnabled(sqlite3* db, const std::string& schema) {
  if (!HasTable(db, schema, "sqlstandin$ftdatabase")) return false;
  SqliteStatement query(
      db, "SELECT enabled FROM " + QuoteIdentifier(schema) + ".\"sqlstandin$ftdatabase\"");
  return query.Step("SELECT") && sqlite3_column_int(query.Handle(), 0) != 0;
}

bool FullTextEnabledInFile(const std::filesystem::path& file) {
  sqlite3* raw = nullptr;
  // Read-write, though it only reads: a WAL file opened read-only fails when
  // nobody has its shared-memory file open.
  const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  ConnectionPtr db(raw);
  if (opened != SQLITE_OK) return false;
  sqlite3_stmt* query = nullptr;
  bool enabled = false;
  if (sqlite3_prepare_v2(raw, "SELECT enabled FROM \"sqlstandin$ftdatabase\"", -1, &query,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(query) == SQLITE_ROW)
    enabled = sqlite3_column_int(query, 0) != 0;
  sqlite3_finalize(query);
  return enabled;
}

std::optional<std::int64_t> FullTextCatalogProperty(sqlite3* db, const std::string& schema,
                                                    const std::string& catalog,
                                                    const std::string& property) {
  if (!HasTable(db, schema, "sqlstandin$ftcatalogs")) return std::nullopt;
  const std::string prefix = QuoteIdentifier(schema) + ".";
  std::int64_t id = 0, status = 0, age = 0;
  {
    SqliteStatement query(
        db,
        "SELECT ftcatid, status, CASE WHEN populated IS NULL THEN 0 ELSE CAST(strftime('%s', "
        "populated) AS INTEGER) - CAST(strftime('%s', '1990-01-01') AS INTEGER) END FROM " +
            prefix + "\"sqlstandin$ftcatalogs\" WHERE name = ?");
    query.BindText(1, catalog);
    if (!query.Step("SELECT")) return std::nullopt;
    id = sqlite3_column_int64(query.Handle(), 0);
    status = sqlite3_column_int64(query.Handle(), 1);
    age = sqlite3_column_int64(query.Handle(), 2);
  }
  const std::string wanted = Upper(property);
  if (wanted == "POPULATESTATUS") return status;
  if (wanted == "POPULATECOMPLETIONAGE") return age;
  if (wanted == "LOGSIZE") return 0;
  if (wanted != "ITEMCOUNT" && wanted != "UNIQUEKEYCOUNT" && wanted != "INDEXSIZE")
    return std::nullopt;
  // The populated, active tables count with the rows they hold now: the
  // index follows every change at once.
  std::int64_t items = 0, bytes = 0;
  std::vector<std::pair<std::string, std::vector<std::string>>> tables;
  {
    SqliteStatement query(db, "SELECT table_name FROM " + prefix +
                                  "\"sqlstandin$fttables\" WHERE ftcatid = ? AND active = 1 AND "
                                  "populated = 1");
    query.BindInt(1, id);
    while (query.Step("SELECT"))
      tables.push_back({reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0)), {}});
  }
  for (auto& [table, columns] : tables) {
    SqliteStatement query(
        db, "SELECT column_name FROM " + prefix + "\"sqlstandin$ftcolumns\" WHERE table_name = ?");
    query.BindText(1, table);
    while (query.Step("SELECT"))
      columns.push_back(reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0)));
    std::string sql = "SELECT count(*), 0";
    for (const std::string& column : columns)
      sql += " + coalesce(sum(length(CAST(" + QuoteIdentifier(column) + " AS BLOB))), 0)";
    sql += " FROM " + prefix + QuoteIdentifier(table);
    try {
      SqliteStatement count(db, sql);
      count.Step("SELECT");
      items += sqlite3_column_int64(count.Handle(), 0);
      bytes += sqlite3_column_int64(count.Handle(), 1);
    } catch (const SqlError&) {
      // A table dropped or rebuilt under its index holds no indexed items.
    }
  }
  if (wanted == "INDEXSIZE") return bytes / (1024 * 1024);
  return items;
}

}  // namespace standin::engine
