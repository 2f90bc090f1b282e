// The data directory: where database files live and the server's own
// catalogue in master (sysdatabases, logins). Windows paths as the T-SQL
// names them ("C:\Program Files\…\master.mdf") map to
// <data-dir>/<drive letter>/<rest>, so every database sits at the path SQL
// Server would report.
//
// Thread-safe: one mutex guards the master connection.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Sqlite.h"

namespace standin::engine {

inline constexpr const char* kDefaultDataFolder =
    "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data";

// "C:\Program Files\x.mdf" → <dataDir>/C/Program Files/x.mdf. Throws
// std::invalid_argument for a path without a drive letter.
std::filesystem::path MapWindowsPath(const std::filesystem::path& dataDir,
                                     std::string_view windowsPath);

struct DatabaseEntry {
  std::string name;
  int id = 0;
  std::string windowsPath;         // primary data file as SQL Server reports it
  std::filesystem::path hostPath;  // the SQLite file
};

struct LoginEntry {
  std::string name;
  std::string defaultDatabase;
  bool sysadmin = false;
};

class DataDirectory {
 public:
  // Opens (or initialises, which needs saPassword) the data directory.
  // Throws std::runtime_error.
  DataDirectory(std::filesystem::path root, const std::string& saPassword);

  std::optional<DatabaseEntry> FindDatabase(std::string_view name);
  // Creates an empty database in the default data folder (1801 when it exists).
  DatabaseEntry CreateDatabase(const std::string& name);
  // Checks a password: the login, or nullopt when the name or password is wrong.
  std::optional<LoginEntry> CheckLogin(const std::string& name, const std::string& password);
  std::vector<DatabaseEntry> Databases();

  void Close();

 private:
  void Initialise(const std::string& saPassword);
  DatabaseEntry AddDatabase(const std::string& name, int id);

  std::filesystem::path m_Root;
  std::mutex m_Mutex;
  ConnectionPtr m_Master;
};

// Creates the stand-in's own bookkeeping tables in a database schema
// ("main", "temp"): identity state, constraint names, CREATE texts.
void CreateBookkeeping(sqlite3* db, const std::string& schema);

// A salted password hash (crypt(3) SHA-512) and its check.
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& password, const std::string& hash);

}  // namespace standin::engine
