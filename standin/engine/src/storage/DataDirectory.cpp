// The data directory: master's connection and schema, new database files.
#include "storage/DataDirectory.h"

#include <stdexcept>

#include "common/PasswordHash.h"
#include "common/SqliteNames.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"
#include "storage/SqliteHelpers.h"
#include "storage/TransactionLog.h"

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

}  // namespace

std::string DefaultDataFile(const std::string& fileName) {
  return std::string(kDefaultDataFolder) + "\\" + fileName;
}

ConnectionPtr PrepareDatabaseFile(const std::filesystem::path& path) {
  ConnectionPtr db = OpenConnection(path.string(), true, nullptr);
  Execute(db.get(), "PRAGMA journal_mode=WAL");
  CreateBookkeeping(db.get(), "main");
  return db;
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

sqlite3* MasterLock::OpenDb() const {
  if (!m_Db) RaiseError(kErrorStorage, {"master is closed"});
  return m_Db;
}

DataDirectory::DataDirectory(std::filesystem::path root, const std::string& saPassword)
    : m_Paths(std::move(root)) {
  const std::filesystem::path masterPath = Map(DefaultDataFile("master.mdf"));
  const bool exists = std::filesystem::exists(masterPath);
  if (!exists && saPassword.empty()) {
    throw std::runtime_error(
        "the data directory " + m_Paths.Root().string() +
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
  SqliteTransaction transaction(db, SqliteTransaction::Lock::Deferred);
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
    insert.BindText(4, DefaultDataFile(name == "master"   ? "master.mdf"
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
  transaction.Commit();
  for (const char* name : {"model", "msdb"}) {
    const std::filesystem::path path = Map(DefaultDataFile(std::string(name) + ".mdf"));
    std::filesystem::remove(path);
    PrepareDatabaseFile(path);
  }
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
