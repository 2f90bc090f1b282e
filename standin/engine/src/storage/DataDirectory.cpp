// Data directory layout, master's catalogue and logins.
#include "storage/DataDirectory.h"

#include <crypt.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "catalog/DatabaseSecurity.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"
#include "storage/SqliteHelpers.h"
#include "storage/TransactionLog.h"
#include "translate/Translator.h"

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
)sql";

// SQL Server 2000's column list. The password column stays NULL: the stored
// hashes are nobody's business, sysadmins' included. Rebuilt on every open so
// that data directories made by older builds get the same view.
constexpr const char* kLoginsView = R"sql(
CREATE VIEW syslogins AS SELECT sid, status, createdate, updatedate, accdate,
  CAST(0 AS int) AS totcpu, CAST(0 AS int) AS totio, CAST(0 AS int) AS spacelimit,
  CAST(0 AS int) AS timelimit, CAST(0 AS int) AS resultlimit, name, dbname,
  CAST(NULL AS nvarchar(128)) AS password, CAST('us_english' AS nvarchar(128)) AS language,
  denylogin, hasaccess, isntname, isntgroup, isntuser, sysadmin, securityadmin, serveradmin,
  setupadmin, processadmin, diskadmin, dbcreator, bulkadmin, loginname FROM "sqlstandin$logins";
)sql";

// master..sysaltfiles: one row per file of every database, with the files'
// real sizes. Its column types come from an empty table of SQL Server's types,
// the first branch of the UNION. Data files grow by 10%, as do logs (status
// 0x100002 and 0x100042); a log appears only when its file is there.
constexpr const char* kAltFilesTypes = R"sql(
CREATE TABLE IF NOT EXISTS "sqlstandin$sysaltfiles" (fileid "smallint", groupid "smallint",
  size "int", maxsize "int", growth "int", status "int", perf "int", dbid "smallint",
  name "nchar(128)", filename "nchar(260)");
)sql";
constexpr const char* kAltFilesView = R"sql(
CREATE VIEW sysaltfiles AS SELECT * FROM "sqlstandin$sysaltfiles"
UNION ALL SELECT 1, 1, coalesce(standin_file_pages(filename), 0), -1, 10, 1048578, 0, dbid,
  printf('%-!128s', name), printf('%-!260s', filename) FROM sysdatabases
UNION ALL SELECT 2, 0, standin_file_pages(standin_log_path(filename)), -1, 10, 1048642, 0, dbid,
  printf('%-!128s', name || '_log'), printf('%-!260s', standin_log_path(filename))
  FROM sysdatabases WHERE standin_file_pages(standin_log_path(filename)) IS NOT NULL;
)sql";

std::string WindowsPathOf(const std::string& fileName) {
  return std::string(kDefaultDataFolder) + "\\" + fileName;
}

// Databases live in WAL mode: readers never block the writer, and a killed
// process leaves a file that recovers its committed transactions on open.
void PrepareDatabaseFile(const std::filesystem::path& path,
                         const std::vector<std::uint8_t>* ownerSid = nullptr) {
  ConnectionPtr db = OpenConnection(path.string(), true, nullptr);
  Execute(db.get(), "PRAGMA journal_mode=WAL");
  CreateBookkeeping(db.get(), "main");
  if (ownerSid) CreateSecurityCatalog(db.get(), "main", *ownerSid, false);
}

}  // namespace

std::filesystem::path MapWindowsPath(const std::filesystem::path& dataDir,
                                     std::string_view windowsPath) {
  if (windowsPath.size() < 2 || windowsPath[1] != ':' ||
      !std::isalpha(static_cast<unsigned char>(windowsPath[0]))) {
    throw std::invalid_argument("not an absolute Windows path: " + std::string(windowsPath));
  }
  // Windows resolves "." and ".." lexically and never climbs above the drive
  // root, so C:\a\..\..\b is C:\b — and nothing outside the data
  // directory is ever named.
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&] {
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  };
  for (char c : windowsPath.substr(2)) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      part += c;
    }
  }
  flush();
  std::filesystem::path out =
      dataDir /
      std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0]))));
  for (const std::string& name : parts) out /= name;
  return out;
}

bool IsDeviceName(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         base[3] >= '1' && base[3] <= '9';
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
  const std::filesystem::path masterPath = Map(WindowsPathOf("master.mdf"));
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
    Execute(m_Master.get(), "DROP VIEW IF EXISTS syslogins");
    Execute(m_Master.get(), kLoginsView);
    Execute(m_Master.get(), "DROP VIEW IF EXISTS sysaltfiles");
    Execute(m_Master.get(), kAltFilesTypes);
    Execute(m_Master.get(), kAltFilesView);
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
    const std::filesystem::path path = Map(WindowsPathOf(std::string(name) + ".mdf"));
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
  entry.hostPath = Map(entry.windowsPath);
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
    entry.hostPath = Map(entry.windowsPath);
    out.push_back(std::move(entry));
  }
  return out;
}

std::vector<std::string> DataDirectory::DropDatabase(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  std::string dataFile;
  {
    SqliteStatement query(db, "SELECT filename FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (!query.Step()) RaiseError(3701, {"database", name});
    dataFile = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
  }
  SqliteStatement remove(db, "DELETE FROM sysdatabases WHERE name = ?");
  remove.BindText(1, name);
  remove.Step();
  const std::string logFile = LogPathBeside(dataFile);
  const std::filesystem::path dataPath = Map(dataFile);
  std::error_code error;
  std::vector<std::string> deleted;
  if (std::filesystem::remove(Map(logFile), error)) deleted.push_back(logFile);
  for (const char* suffix : {"-wal", "-shm"})
    std::filesystem::remove(dataPath.string() + suffix, error);
  if (std::filesystem::remove(dataPath, error)) deleted.push_back(dataFile);
  return deleted;
}

void DataDirectory::SetStatus(const std::string& name, std::int64_t bits, bool on) {
  std::lock_guard lock(m_Mutex);
  SqliteStatement update(m_Master.get(),
                         on ? "UPDATE sysdatabases SET status = status | ?1 WHERE name = ?2"
                            : "UPDATE sysdatabases SET status = status & ~?1 WHERE name = ?2");
  update.BindInt(1, bits);
  update.BindText(2, name);
  update.Step();
  if (sqlite3_changes(m_Master.get()) == 0) RaiseError(15010, {name});
}

void DataDirectory::RenameDatabase(const std::string& name, const std::string& newName) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (!query.Step()) RaiseError(15010, {name});
  }
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, newName);
    // Changing only the case of the name is allowed.
    if (query.Step() && Lower(name) != Lower(newName)) RaiseError(15032, {newName});
  }
  SqliteStatement update(db, "UPDATE sysdatabases SET name = ?1 WHERE name = ?2");
  update.BindText(1, newName);
  update.BindText(2, name);
  update.Step();
}

void DataDirectory::ChangeOwner(const std::string& name, const std::string& login) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  SqliteStatement update(db,
                         "UPDATE sysdatabases SET sid = (SELECT sid FROM \"sqlstandin$logins\" "
                         "WHERE name = ?1) WHERE name = ?2 AND EXISTS (SELECT 1 FROM "
                         "\"sqlstandin$logins\" WHERE name = ?1)");
  update.BindText(1, login);
  update.BindText(2, name);
  update.Step();
  if (sqlite3_changes(db) == 0) RaiseError(15007, {login});
}

// How long a detach waits for other connections to close the file before it
// calls the database in use.
constexpr int kDetachWaitMilliseconds = 1000;

void DataDirectory::DetachDatabase(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  std::string dataFile;
  std::vector<std::uint8_t> owner;
  {
    SqliteStatement query(db, "SELECT filename, sid FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (!query.Step()) RaiseError(15010, {name});
    dataFile = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
    const auto* sid = static_cast<const std::uint8_t*>(sqlite3_column_blob(query.Handle(), 1));
    owner.assign(sid, sid + sqlite3_column_bytes(query.Handle(), 1));
  }
  {
    ConnectionPtr file = OpenConnection(Map(dataFile).string(), false, nullptr);
    // A session that just let go of the file may still be closing it (SQLite
    // checkpoints on the last close): wait a moment for it rather than fail.
    sqlite3_busy_timeout(file.get(), kDetachWaitMilliseconds);
    // Leaving WAL mode needs the file to itself and moves every committed
    // change into the .mdf first, so the detached database is the .mdf and
    // the .LDF and nothing else. Any other connection (a session mid-SELECT,
    // or in a transaction that read the database) makes it fail, and then
    // nothing has changed: the database is in use (3703).
    // SQLite does not wait for the others here, so this does.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDetachWaitMilliseconds);
    std::string mode;
    while (true) {
      try {
        SqliteStatement leaveWal(file.get(), "PRAGMA journal_mode=DELETE");
        if (leaveWal.Step())
          mode = reinterpret_cast<const char*>(sqlite3_column_text(leaveWal.Handle(), 0));
      } catch (const SqlError& error) {
        if (error.Msg().number != 1222) throw;
      }
      if (mode == "delete") break;
      if (std::chrono::steady_clock::now() >= deadline) RaiseError(3703, {name});
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // The owner travels in the file (attached again, elsewhere).
    Execute(file.get(), "CREATE TABLE IF NOT EXISTS \"sqlstandin$database\" (owner_sid BLOB)");
    Execute(file.get(), "DELETE FROM \"sqlstandin$database\"");
    SqliteStatement insert(file.get(), "INSERT INTO \"sqlstandin$database\" VALUES (?)");
    insert.Bind(1, Value(Bytes(owner.begin(), owner.end())));
    insert.Step();
  }
  SqliteStatement remove(db, "DELETE FROM sysdatabases WHERE name = ?");
  remove.BindText(1, name);
  remove.Step();
}

std::string DataDirectory::AttachDatabase(const std::string& name, const std::string& dataFile) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (query.Step()) RaiseError(1801, {name});
  }
  {
    // One file, one database: SQL Server holds its files open exclusively.
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE filename = ? COLLATE standin_ci");
    query.BindText(1, dataFile);
    if (query.Step())
      RaiseError(5120, {dataFile, "32",
                        "The process cannot access the file because it is being used by another "
                        "process."});
  }
  std::filesystem::path mapped;
  bool exists = dataFile.size() > 2 && dataFile[1] == ':';
  if (exists) {
    mapped = Map(dataFile);
    for (const auto& component : mapped.lexically_relative(m_Root))
      if (IsDeviceName(component.string())) exists = false;
    std::error_code error;
    exists =
        exists && std::filesystem::is_regular_file(std::filesystem::symlink_status(mapped, error));
  }
  if (!exists) {
    throw SqlError(MakeMessage(5105, {dataFile}));
  }
  std::vector<std::uint8_t> owner{0x01};
  {
    // Only a SQLite file made by this server is a database here; anything
    // else fails as a file with a bad header does.
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(mapped.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    ConnectionPtr file(raw);
    bool ours = opened == SQLITE_OK;
    if (ours) {
      sqlite3_stmt* check = nullptr;
      ours =
          sqlite3_prepare_v2(raw, "SELECT 1 FROM sqlite_master WHERE name = 'sqlstandin$objects'",
                             -1, &check, nullptr) == SQLITE_OK &&
          sqlite3_step(check) == SQLITE_ROW;
      sqlite3_finalize(check);
    }
    if (!ours) RaiseError(5172, {dataFile, "PageAudit"});
    sqlite3_stmt* read = nullptr;
    if (sqlite3_prepare_v2(raw, "SELECT owner_sid FROM \"sqlstandin$database\"", -1, &read,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(read) == SQLITE_ROW) {
      const auto* sid = static_cast<const std::uint8_t*>(sqlite3_column_blob(read, 0));
      owner.assign(sid, sid + sqlite3_column_bytes(read, 0));
    }
    sqlite3_finalize(read);
    sqlite3_exec(raw, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  }
  std::string createdLog;
  const std::string logFile = LogPathBeside(dataFile);
  const std::filesystem::path logPath = Map(logFile);
  if (!std::filesystem::exists(logPath)) {
    CreateLogFile(logPath);
    createdLog = logFile;
  }
  Execute(db, "BEGIN IMMEDIATE");
  try {
    SqliteStatement next(db, "SELECT max(dbid) + 1 FROM sysdatabases");
    next.Step();
    const int id = std::max(5, sqlite3_column_int(next.Handle(), 0));
    SqliteStatement insert(
        db, "INSERT INTO sysdatabases (name, dbid, sid, crdate, filename) VALUES (?, ?, ?, ?, ?)");
    insert.BindText(1, name);
    insert.BindInt(2, id);
    insert.Bind(3, Value(Bytes(owner.begin(), owner.end())));
    insert.BindText(4, CurrentDateTimeText());
    insert.BindText(5, dataFile);
    insert.Step();
    Execute(db, "COMMIT");
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  return createdLog;
}

std::vector<DatabaseDetails> DataDirectory::Catalogue() {
  std::lock_guard lock(m_Mutex);
  std::vector<DatabaseDetails> out;
  if (!m_Master) return out;
  SqliteStatement query(
      m_Master.get(),
      "SELECT d.name, d.dbid, d.filename, l.name, d.crdate, d.status, d.cmptlevel "
      "FROM sysdatabases d LEFT JOIN \"sqlstandin$logins\" l ON l.sid = d.sid "
      "ORDER BY d.name COLLATE standin_ci");
  auto text = [&](int column) {
    const unsigned char* value = sqlite3_column_text(query.Handle(), column);
    return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };
  while (query.Step()) {
    DatabaseDetails details;
    details.entry.name = text(0);
    details.entry.id = sqlite3_column_int(query.Handle(), 1);
    details.entry.windowsPath = text(2);
    details.entry.hostPath = Map(details.entry.windowsPath);
    if (sqlite3_column_type(query.Handle(), 3) != SQLITE_NULL) details.owner = text(3);
    details.created = text(4);
    details.status = sqlite3_column_int64(query.Handle(), 5);
    details.compatibilityLevel = sqlite3_column_int(query.Handle(), 6);
    out.push_back(std::move(details));
  }
  return out;
}

std::string LogPathBeside(const std::string& dataFile) {
  const std::size_t slash = dataFile.find_last_of("\\/");
  const std::size_t stemStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t stemEnd = dataFile.rfind('.');
  if (stemEnd == std::string::npos || stemEnd < stemStart) stemEnd = dataFile.size();
  return dataFile.substr(0, stemEnd) + "_log.LDF";
}

DatabaseEntry DataDirectory::CreateDatabase(const std::string& name, const std::string& fileName,
                                            const std::vector<std::uint8_t>& ownerSid) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = m_Master.get();
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (query.Step()) RaiseError(1801, {name});
  }
  const std::string dataFile = fileName.empty() ? WindowsPathOf(name + ".mdf") : fileName;
  const std::string logFile = LogPathBeside(dataFile);
  // What Windows would answer for a folder that is not there, a device or an
  // unmapped drive: operating system error 3.
  auto checkCreatable = [&](const std::string& windowsPath) {
    std::filesystem::path mapped;
    bool ok = windowsPath.size() > 2 && windowsPath[1] == ':';
    if (ok) {
      mapped = Map(windowsPath);
      for (const auto& component : mapped.lexically_relative(m_Root)) {
        if (IsDeviceName(component.string())) ok = false;
      }
      std::error_code error;
      ok = ok && mapped.has_parent_path() && mapped.parent_path() != m_Root &&
           std::filesystem::is_directory(mapped.parent_path(), error);
    }
    if (!ok) RaiseError(5123, {"3(The system cannot find the path specified.)", windowsPath});
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(mapped, error)))
      RaiseError(5170, {windowsPath});
    return mapped;
  };
  const std::filesystem::path dataPath = checkCreatable(dataFile);
  const std::filesystem::path logPath = checkCreatable(logFile);
  PrepareDatabaseFile(dataPath, &ownerSid);
  CreateLogFile(logPath);
  Execute(db, "BEGIN IMMEDIATE");
  try {
    SqliteStatement next(db, "SELECT max(dbid) + 1 FROM sysdatabases");
    next.Step();
    const int id = std::max(5, sqlite3_column_int(next.Handle(), 0));
    SqliteStatement insert(
        db, "INSERT INTO sysdatabases (name, dbid, sid, crdate, filename) VALUES (?, ?, ?, ?, ?)");
    insert.BindText(1, name);
    insert.BindInt(2, id);
    insert.Bind(3, Value(Bytes(ownerSid)));
    insert.BindText(4, CurrentDateTimeText());
    insert.BindText(5, dataFile);
    insert.Step();
    Execute(db, "COMMIT");
    return DatabaseEntry{name, id, dataFile, dataPath};
  } catch (...) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    // Leave no files behind that would make the next attempt fail with 5170.
    std::error_code error;
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(dataPath.string() + suffix, error);
    std::filesystem::remove(logPath, error);
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

void DataDirectory::AddDrive(char letter, const std::filesystem::path& folder) {
  m_Drives[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = folder;
}

std::filesystem::path DataDirectory::Map(std::string_view windowsPath) const {
  std::filesystem::path mapped = MapWindowsPath(m_Root, windowsPath);
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  auto drive = m_Drives.find(letter);
  if (drive == m_Drives.end()) return mapped;
  return drive->second / mapped.lexically_relative(m_Root / std::string(1, letter));
}

std::vector<std::pair<char, std::filesystem::path>> DataDirectory::Drives() const {
  std::vector<std::pair<char, std::filesystem::path>> drives;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    std::error_code error;
    if (auto drive = m_Drives.find(letter); drive != m_Drives.end()) {
      if (std::filesystem::is_directory(drive->second, error))
        drives.emplace_back(letter, drive->second);
      continue;
    }
    const std::filesystem::path folder = m_Root / std::string(1, letter);
    if (std::filesystem::is_directory(std::filesystem::symlink_status(folder, error)))
      drives.emplace_back(letter, folder);
  }
  return drives;
}

std::optional<std::filesystem::path> DataDirectory::MapExistingPath(std::string_view windowsPath) {
  std::filesystem::path mapped;
  try {
    for (const auto& component : MapWindowsPath(m_Root, windowsPath).lexically_relative(m_Root)) {
      if (IsDeviceName(component.string())) return std::nullopt;
    }
    mapped = Map(windowsPath);
  } catch (const std::invalid_argument&) {
    return std::nullopt;
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
  bool onADrive = false;
  for (const auto& drive : Drives()) onADrive = onADrive || drive.first == letter;
  std::error_code error;
  if (!onADrive || !std::filesystem::exists(std::filesystem::symlink_status(mapped, error)))
    return std::nullopt;
  return mapped;
}

namespace {

void FilePages(sqlite3_context* context, int, sqlite3_value** argv) {
  auto* data = static_cast<DataDirectory*>(sqlite3_user_data(context));
  const std::string windowsPath = sqlfunctions::ValueAsText(argv[0]);
  std::optional<std::filesystem::path> mapped = data->MapExistingPath(windowsPath);
  std::error_code error;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || !mapped ||
      !std::filesystem::is_regular_file(*mapped, error)) {
    sqlite3_result_null(context);
    return;
  }
  const auto bytes = std::filesystem::file_size(*mapped, error);
  sqlite3_result_int64(context, error ? 0 : static_cast<std::int64_t>((bytes + 8191) / 8192));
}

void LogPath(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  sqlfunctions::ResultText(context, LogPathBeside(sqlfunctions::ValueAsText(argv[0])));
}

}  // namespace

void RegisterFileFunctions(sqlite3* db, DataDirectory& data) {
  sqlite3_create_function_v2(db, "standin_file_pages", 1, SQLITE_UTF8, &data, FilePages, nullptr,
                             nullptr, nullptr);
  sqlite3_create_function_v2(db, "standin_log_path", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             LogPath, nullptr, nullptr, nullptr);
}

void DataDirectory::Close() {
  std::lock_guard lock(m_Mutex);
  m_Master.reset();
}

}  // namespace standin::engine
