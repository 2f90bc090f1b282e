// Data directory layout, master's catalogue and logins.
#include "DataDirectory.h"

#include <crypt.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

#include "SqliteFunctions.h"
#include "Translator.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace {

constexpr const char* kMasterSchema = R"sql(
CREATE TABLE sysdatabases (
  name nvarchar(128) COLLATE standin_ci NOT NULL PRIMARY KEY,
  dbid smallint NOT NULL,
  sid varbinary(85) NULL,
  mode smallint NOT NULL DEFAULT 0,
  status int NOT NULL DEFAULT 16,
  status2 int NOT NULL DEFAULT 1090519040,
  crdate datetime NOT NULL,
  reserved datetime NOT NULL DEFAULT '1900-01-01 00:00:00.000',
  category int NOT NULL DEFAULT 0,
  cmptlevel tinyint NOT NULL DEFAULT 80,
  filename nvarchar(260) COLLATE standin_ci NOT NULL,
  version smallint NOT NULL DEFAULT 539);
CREATE TABLE "sqlstandin$logins" (
  sid varbinary(85) NOT NULL,
  status smallint NOT NULL DEFAULT 9,
  createdate datetime NOT NULL,
  updatedate datetime NOT NULL,
  accdate datetime NOT NULL,
  name nvarchar(128) COLLATE standin_ci NOT NULL PRIMARY KEY,
  dbname nvarchar(128) COLLATE standin_ci NOT NULL,
  denylogin int NOT NULL DEFAULT 0,
  hasaccess int NOT NULL DEFAULT 1,
  isntname int NOT NULL DEFAULT 0,
  isntgroup int NOT NULL DEFAULT 0,
  isntuser int NOT NULL DEFAULT 0,
  sysadmin int NOT NULL DEFAULT 0,
  securityadmin int NOT NULL DEFAULT 0,
  serveradmin int NOT NULL DEFAULT 0,
  setupadmin int NOT NULL DEFAULT 0,
  processadmin int NOT NULL DEFAULT 0,
  diskadmin int NOT NULL DEFAULT 0,
  dbcreator int NOT NULL DEFAULT 0,
  bulkadmin int NOT NULL DEFAULT 0,
  loginname nvarchar(128) COLLATE standin_ci NOT NULL,
  password_hash varchar(256) NULL);
CREATE VIEW syslogins AS SELECT sid, status, createdate, updatedate, accdate, name, dbname,
  denylogin, hasaccess, isntname, isntgroup, isntuser, sysadmin, securityadmin, serveradmin,
  setupadmin, processadmin, diskadmin, dbcreator, bulkadmin, loginname FROM "sqlstandin$logins";
)sql";

std::string WindowsPathOf(const std::string& fileName) {
  return std::string(kDefaultDataFolder) + "\\" + fileName;
}

// Databases live in WAL mode: readers never block the writer, and a killed
// process leaves a file that recovers its committed transactions on open.
void PrepareDatabaseFile(const std::filesystem::path& path) {
  ConnectionPtr db = OpenConnection(path.string(), true, nullptr);
  Execute(db.get(), "PRAGMA journal_mode=WAL");
  CreateBookkeeping(db.get(), "main");
}

}  // namespace

std::filesystem::path MapWindowsPath(const std::filesystem::path& dataDir,
                                     std::string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
      !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
    throw std::invalid_argument("not an absolute Windows path: " + std::string(windowsPath));
  }
  std::filesystem::path out =
      dataDir /
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0]))));
  std::string part;
  for (char c : windowsPath.substr(2)) {
    if (c == '\\' || c == '/') {
      if (!part.empty() && part != "." && part != "..") out /= part;
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty() && part != "." && part != "..") out /= part;
  return out;
}

void CreateBookkeeping(sqlite3* db, const std::string& schema) {
  const std::string prefix = QuoteIdentifier(schema) + ".";
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$identity\" (table_name TEXT COLLATE standin_ci PRIMARY KEY, "
                  "column_name TEXT NOT NULL, seed INTEGER NOT NULL, increment INTEGER NOT NULL, "
                  "last_value INTEGER)");
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$constraints\" (name TEXT COLLATE standin_ci PRIMARY KEY, "
                  "table_name TEXT COLLATE standin_ci NOT NULL, kind TEXT NOT NULL, columns TEXT "
                  "NOT NULL)");
  Execute(
      db,
      "CREATE TABLE IF NOT EXISTS " + prefix +
          "\"sqlstandin$objects\" (name TEXT COLLATE standin_ci PRIMARY KEY, kind TEXT NOT NULL, "
          "definition TEXT NOT NULL)");
}

std::string HashPassword(const std::string& password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
    throw std::runtime_error("cannot generate a password salt");
  }
  crypt_data data{};
  const char* hash = crypt_rn(password.c_str(), salt, &data, sizeof data);
  if (!hash || hash[0] == '*') throw std::runtime_error("cannot hash the password");
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  crypt_data data{};
  const char* computed = crypt_rn(password.c_str(), hash.c_str(), &data, sizeof data);
  if (!computed || computed[0] == '*') return false;
  const std::string result(computed);
  if (result.size() != hash.size()) return false;
  unsigned char difference = 0;  // constant time: no early exit on the first mismatch
  for (std::size_t i = 0; i < hash.size(); ++i)
    difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
  return difference == 0;
}

DataDirectory::DataDirectory(std::filesystem::path root, const std::string& saPassword)
    : m_Root(std::move(root)) {
  const std::filesystem::path masterPath = MapWindowsPath(m_Root, WindowsPathOf("master.mdf"));
  const bool exists = std::filesystem::exists(masterPath);
  if (!exists && saPassword.empty()) {
    throw std::runtime_error(
        "the data directory " + m_Root.string() +
        " is new; initialising it needs a password for the login sa (--sa-password)");
  }
  std::error_code error;
  std::filesystem::create_directories(masterPath.parent_path(), error);
  if (error)
    throw std::runtime_error("cannot create " + masterPath.parent_path().string() + ": " +
                             error.message());
  try {
    if (!exists) {
      // Build master beside its final name, then rename: a crash midway leaves
      // no half-initialised master that a restart would take for a real one.
      const std::filesystem::path building = masterPath.string() + ".new";
      std::filesystem::remove(building);
      {
        PrepareDatabaseFile(building);
        m_Master = OpenConnection(building.string(), false, nullptr);
        Execute(m_Master.get(), "PRAGMA busy_timeout=30000");
        Initialise(saPassword);
        m_Master.reset();
      }
      std::filesystem::rename(building, masterPath);
    }
    m_Master = OpenConnection(masterPath.string(), false, nullptr);
    Execute(m_Master.get(), "PRAGMA busy_timeout=30000");
    Execute(m_Master.get(), "PRAGMA synchronous=NORMAL");
  } catch (const SqlError& sqlError) {
    throw std::runtime_error("cannot open master: " + sqlError.Msg().text);
  }
}

void DataDirectory::Initialise(const std::string& saPassword) {
  sqlite3* db = m_Master.get();
  Execute(db, "BEGIN");
  std::string script = kMasterSchema;
  char* error = nullptr;
  if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error("cannot initialise master: " + text);
  }
  const std::string now = CurrentDateTimeText();
  auto addDatabase = [&](const std::string& name, int id) {
    SqliteStatement insert(
        db,
        "INSERT INTO sysdatabases (name, dbid, sid, crdate, filename) VALUES (?, ?, X'01', ?, ?)");
    insert.BindText(1, name);
    insert.BindInt(2, id);
    insert.BindText(3, now);
    insert.BindText(4, WindowsPathOf(name == "master"   ? "master.mdf"
                                     : name == "tempdb" ? "tempdb.mdf"
                                                        : name + ".mdf"));
    insert.Step();
  };
  addDatabase("master", 1);
  addDatabase("tempdb", 2);
  addDatabase("model", 3);
  addDatabase("msdb", 4);
  SqliteStatement login(
      db,
      "INSERT INTO \"sqlstandin$logins\" (sid, createdate, updatedate, accdate, name, dbname, "
      "sysadmin, loginname, password_hash) VALUES (X'01', ?1, ?1, ?1, 'sa', 'master', 1, 'sa', "
      "?2)");
  login.BindText(1, now);
  login.BindText(2, HashPassword(saPassword));
  login.Step();
  Execute(db, "COMMIT");
  for (const char* name : {"model", "msdb"}) {
    const std::filesystem::path path =
        MapWindowsPath(m_Root, WindowsPathOf(std::string(name) + ".mdf"));
    std::filesystem::remove(path);
    PrepareDatabaseFile(path);
  }
}

std::optional<DatabaseEntry> DataDirectory::FindDatabase(std::string_view name) {
  std::lock_guard lock(m_Mutex);
  if (!m_Master) return std::nullopt;
  SqliteStatement query(m_Master.get(),
                        "SELECT name, dbid, filename FROM sysdatabases WHERE name = ?");
  query.BindText(1, name);
  if (!query.Step()) return std::nullopt;
  DatabaseEntry entry;
  entry.name = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
  entry.id = sqlite3_column_int(query.Handle(), 1);
  entry.windowsPath = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 2));
  entry.hostPath = MapWindowsPath(m_Root, entry.windowsPath);
  return entry;
}

std::vector<DatabaseEntry> DataDirectory::Databases() {
  std::lock_guard lock(m_Mutex);
  std::vector<DatabaseEntry> out;
  if (!m_Master) return out;
  SqliteStatement query(m_Master.get(),
                        "SELECT name, dbid, filename FROM sysdatabases ORDER BY dbid");
  while (query.Step()) {
    DatabaseEntry entry;
    entry.name = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
    entry.id = sqlite3_column_int(query.Handle(), 1);
    entry.windowsPath = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 2));
    entry.hostPath = MapWindowsPath(m_Root, entry.windowsPath);
    out.push_back(std::move(entry));
  }
  return out;
}

DatabaseEntry DataDirectory::CreateDatabase(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (query.Step()) RaiseError(1801, {name});
  }
  const std::string dataFile = WindowsPathOf(name + ".mdf");
  const std::filesystem::path dataPath = MapWindowsPath(m_Root, dataFile);
  const std::filesystem::path logPath = MapWindowsPath(m_Root, WindowsPathOf(name + "_log.LDF"));
  if (std::filesystem::exists(dataPath)) {
    // SQL Server 5170: "Cannot create file '…' because it already exists."
    RaiseError(kErrorStorage, {"the file " + dataFile + " already exists"});
  }
  PrepareDatabaseFile(dataPath);
  {
    // The log lives in SQLite's WAL beside the .mdf; the .LDF marks the file
    // SQL Server would have created.
    std::ofstream log(logPath);
    log << "sqlstandin: the transaction log of " << name << " is kept in "
        << dataPath.filename().string() << "-wal\n";
  }
  Execute(db, "BEGIN IMMEDIATE");
  try {
    SqliteStatement next(db, "SELECT max(dbid) + 1 FROM sysdatabases");
    next.Step();
    const int id = std::max(5, sqlite3_column_int(next.Handle(), 0));
    SqliteStatement insert(
        db,
        "INSERT INTO sysdatabases (name, dbid, sid, crdate, filename) VALUES (?, ?, X'01', ?, ?)");
    insert.BindText(1, name);
    insert.BindInt(2, id);
    insert.BindText(3, CurrentDateTimeText());
    insert.BindText(4, dataFile);
    insert.Step();
    Execute(db, "COMMIT");
    return DatabaseEntry{name, id, dataFile, dataPath};
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

std::optional<LoginEntry> DataDirectory::CheckLogin(const std::string& name,
                                                    const std::string& password) {
  std::string hash;
  LoginEntry entry;
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Master) return std::nullopt;
    SqliteStatement query(m_Master.get(),
                          "SELECT name, dbname, sysadmin, password_hash FROM \"sqlstandin$logins\" "
                          "WHERE name = ? AND isntname = 0 AND denylogin = 0 AND hasaccess = 1");
    query.BindText(1, name);
    if (!query.Step()) return std::nullopt;
    entry.name = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
    entry.defaultDatabase = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 1));
    entry.sysadmin = sqlite3_column_int(query.Handle(), 2) != 0;
    const unsigned char* stored = sqlite3_column_text(query.Handle(), 3);
    if (!stored) return std::nullopt;
    hash = reinterpret_cast<const char*>(stored);
  }
  if (!VerifyPassword(password, hash)) return std::nullopt;
  return entry;
}

void DataDirectory::Close() {
  std::lock_guard lock(m_Mutex);
  m_Master.reset();
}

}  // namespace standin::engine
