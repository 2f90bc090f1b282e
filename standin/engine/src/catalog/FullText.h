// Full-text metadata kept in each database file, hidden from T-SQL:
//   "sqlstandin$ftdatabase"  one row: whether full-text indexing is enabled
//   "sqlstandin$ftcatalogs"  the catalogs: id, name, root path, state, when
//                            the last population finished
//   "sqlstandin$fttables"    the indexed tables: catalog, key index, active,
//                            change tracking, background updates, populated
//   "sqlstandin$ftcolumns"   their indexed columns
// A database without these tables has full-text indexing disabled.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace standin::engine {

// Where SQL Server keeps catalogs created without a path.
inline constexpr const char* kDefaultFullTextFolder =
    "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\FTData";

void CreateFullTextTables(sqlite3* db, const std::string& schema);
bool FullTextEnabled(sqlite3* db, const std::string& schema);
// The same, read from a database file that may not be attached anywhere.
bool FullTextEnabledInFile(const std::filesystem::path& file);
// FULLTEXTCATALOGPROPERTY: ItemCount, IndexSize (MB), PopulateCompletionAge
// (seconds from 1990-01-01 to the end of the last population, 0 when never
// populated), PopulateStatus, UniqueKeyCount, LogSize. nullopt for an
// unknown catalog or property.
std::optional<std::int64_t> FullTextCatalogProperty(sqlite3* db, const std::string& schema,
                                                    const std::string& catalog,
                                                    const std::string& property);

}  // namespace standin::engine
