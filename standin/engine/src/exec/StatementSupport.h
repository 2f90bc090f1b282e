// Small pieces the Session*.cpp executors share.
#pragma once

#include <cstdint>
#include <string>

#include "common/SqliteNames.h"
#include "common/Text.h"
#include "storage/Sqlite.h"
#include "translate/Translator.h"

namespace standin::engine {

// SQL Server's CurCmd token values for DONE.
constexpr std::uint16_t kCommandSelect = 0xC1;
constexpr std::uint16_t kCommandInsert = 0xC3;
constexpr std::uint16_t kCommandDelete = 0xC4;
constexpr std::uint16_t kCommandUpdate = 0xC5;

// Whether the schema has an object (table, view, index, trigger) of that name.
inline bool TableExists(sqlite3* db, const std::string& schema, const std::string& name) {
  SqliteStatement find(db, "SELECT 1 FROM " + QuoteIdentifier(schema) +
                               ".sqlite_master WHERE name = ? COLLATE standin_ci");
  find.BindText(1, name);
  return find.Step();
}

// The table's key in IdentityCounters: its database file and name.
inline std::string IdentityKey(sqlite3* db, int spid, const TableInfo& table) {
  const char* file = sqlite3_db_filename(db, table.schema.c_str());
  // #tables live in the session's unnamed temp file.
  const std::string where = file && *file ? std::string(file) : "temp " + std::to_string(spid);
  return where + "\n" + Lower(table.name);
}

}  // namespace standin::engine
