// Master's list of databases (sysdatabases): creating, attaching, detaching,
// renaming and dropping them with their files; their owners and options.
#include "catalog/DatabaseCatalog.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "catalog/DatabaseSecurity.h"
#include "common/ScopeGuard.h"
#include "common/SqliteNames.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"
#include "storage/TransactionLog.h"

namespace standin::engine {

std::optional<DatabaseEntry> DatabaseCatalog::Find(std::string_view name) {
  MasterLock master = m_Data.LockMaster();
  if (!master.Db()) return std::nullopt;
  SqliteStatement query(master.Db(),
                        "SELECT name, dbid, filename FROM sysdatabases WHERE name = ?");
  query.BindText(1, name);
  if (!query.Step()) return std::nullopt;
  DatabaseEntry entry;
  entry.name = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
  entry.id = sqlite3_column_int(query.Handle(), 1);
  entry.windowsPath = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 2));
  entry.hostPath = m_Data.Map(entry.windowsPath);
  return entry;
}

std::vector<DatabaseEntry> DatabaseCatalog::List() {
  MasterLock master = m_Data.LockMaster();
  std::vector<DatabaseEntry> out;
  if (!master.Db()) return out;
  SqliteStatement query(master.Db(), "SELECT name, dbid, filename FROM sysdatabases ORDER BY dbid");
  while (query.Step()) {
    DatabaseEntry entry;
    entry.name = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 0));
    entry.id = sqlite3_column_int(query.Handle(), 1);
    entry.windowsPath = reinterpret_cast<const char*>(sqlite3_column_text(query.Handle(), 2));
    entry.hostPath = m_Data.Map(entry.windowsPath);
    out.push_back(std::move(entry));
  }
  return out;
}

std::vector<std::string> DatabaseCatalog::Drop(const std::string& name) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
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
  const std::filesystem::path dataPath = m_Data.Map(dataFile);
  std::error_code error;
  std::vector<std::string> deleted;
  if (std::filesystem::remove(m_Data.Map(logFile), error)) deleted.push_back(logFile);
  for (const char* suffix : {"-wal", "-shm"})
    std::filesystem::remove(dataPath.string() + suffix, error);
  if (std::filesystem::remove(dataPath, error)) deleted.push_back(dataFile);
  return deleted;
}

void DatabaseCatalog::SetStatus(const std::string& name, std::int64_t bits, bool on) {
  MasterLock master = m_Data.LockMaster();
  SqliteStatement update(master.OpenDb(),
                         on ? "UPDATE sysdatabases SET status = status | ?1 WHERE name = ?2"
                            : "UPDATE sysdatabases SET status = status & ~?1 WHERE name = ?2");
  update.BindInt(1, bits);
  update.BindText(2, name);
  update.Step();
  if (sqlite3_changes(master.Db()) == 0) RaiseError(15010, {name});
}

void DatabaseCatalog::Rename(const std::string& name, const std::string& newName) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
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

void DatabaseCatalog::ChangeOwner(const std::string& name, const std::string& login) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  SqliteStatement update(db,
                         "UPDATE sysdatabases SET sid = (SELECT sid FROM \"sqlstandin$logins\" "
                         "WHERE name = ?1) WHERE name = ?2 AND EXISTS (SELECT 1 FROM "
                         "\"sqlstandin$logins\" WHERE name = ?1)");
  update.BindText(1, login);
  update.BindText(2, name);
  update.Step();
  if (sqlite3_changes(db) == 0) RaiseError(15007, {login});
}

std::optional<std::vector<std::uint8_t>> DatabaseCatalog::OwnerSid(const std::string& database) {
  MasterLock master = m_Data.LockMaster();
  SqliteStatement query(master.OpenDb(), "SELECT sid FROM sysdatabases WHERE name = ?");
  query.BindText(1, database);
  if (!query.Step()) return std::nullopt;
  const auto* sid = static_cast<const std::uint8_t*>(sqlite3_column_blob(query.Handle(), 0));
  return std::vector<std::uint8_t>(sid, sid + sqlite3_column_bytes(query.Handle(), 0));
}

bool DatabaseCatalog::HasUserWithSid(const std::vector<std::uint8_t>& sid) {
  for (const DatabaseEntry& database : List()) {
    // Read beside the sessions (WAL): an open transaction elsewhere shows its
    // committed state, as SQL Server's procedure would read it.
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(database.hostPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    ConnectionPtr file(raw);
    if (opened != SQLITE_OK) continue;
    sqlite3_stmt* find = nullptr;
    // Databases whose users were never asked for have none yet.
    if (sqlite3_prepare_v2(raw, "SELECT 1 FROM sysusers WHERE sid = ? AND uid <> 1", -1, &find,
                           nullptr) != SQLITE_OK) {
      sqlite3_finalize(find);
      continue;
    }
    sqlite3_bind_blob(find, 1, sid.data(), static_cast<int>(sid.size()), SQLITE_TRANSIENT);
    const bool found = sqlite3_step(find) == SQLITE_ROW;
    sqlite3_finalize(find);
    if (found) return true;
  }
  return false;
}

namespace {

// How long a detach waits for other connections to close the file before it
// calls the database in use.
constexpr int kDetachWaitMilliseconds = 1000;

// The database's row in master's sysdatabases, under the next free dbid (the
// first five belong to the system databases); returns the dbid. Runs inside
// the caller's transaction.
int AddCatalogueRow(sqlite3* db, const std::string& name, const std::vector<std::uint8_t>& ownerSid,
                    const std::string& dataFile) {
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
  return id;
}

}  // namespace

void DatabaseCatalog::Detach(const std::string& name) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
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
    ConnectionPtr file = OpenConnection(m_Data.Map(dataFile).string(), false, nullptr);
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

std::string DatabaseCatalog::Attach(const std::string& name, const std::string& dataFile) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
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
    mapped = m_Data.Map(dataFile);
    for (const auto& component : mapped.lexically_relative(m_Data.Root()))
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
  const std::filesystem::path logPath = m_Data.Map(logFile);
  if (!std::filesystem::exists(logPath)) {
    CreateLogFile(logPath);
    createdLog = logFile;
  }
  SqliteTransaction transaction(db, SqliteTransaction::Lock::Immediate);
  AddCatalogueRow(db, name, owner, dataFile);
  transaction.Commit();
  return createdLog;
}

std::vector<DatabaseDetails> DatabaseCatalog::Catalogue() {
  MasterLock master = m_Data.LockMaster();
  std::vector<DatabaseDetails> out;
  if (!master.Db()) return out;
  SqliteStatement query(
      master.Db(),
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
    details.entry.hostPath = m_Data.Map(details.entry.windowsPath);
    if (sqlite3_column_type(query.Handle(), 3) != SQLITE_NULL) details.owner = text(3);
    details.created = text(4);
    details.status = sqlite3_column_int64(query.Handle(), 5);
    details.compatibilityLevel = sqlite3_column_int(query.Handle(), 6);
    out.push_back(std::move(details));
  }
  return out;
}

DatabaseEntry DatabaseCatalog::Create(const std::string& name, const std::string& fileName,
                                      const std::vector<std::uint8_t>& ownerSid) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  {
    SqliteStatement query(db, "SELECT 1 FROM sysdatabases WHERE name = ?");
    query.BindText(1, name);
    if (query.Step()) RaiseError(1801, {name});
  }
  const std::string dataFile = fileName.empty() ? DefaultDataFile(name + ".mdf") : fileName;
  const std::string logFile = LogPathBeside(dataFile);
  // What Windows would answer for a folder that is not there, a device or an
  // unmapped drive: operating system error 3.
  auto checkCreatable = [&](const std::string& windowsPath) {
    std::filesystem::path mapped;
    bool ok = windowsPath.size() > 2 && windowsPath[1] == ':';
    if (ok) {
      mapped = m_Data.Map(windowsPath);
      for (const auto& component : mapped.lexically_relative(m_Data.Root())) {
        if (IsDeviceName(component.string())) ok = false;
      }
      std::error_code error;
      ok = ok && mapped.has_parent_path() && mapped.parent_path() != m_Data.Root() &&
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
  CreateSecurityCatalog(PrepareDatabaseFile(dataPath).get(), "main", ownerSid, false);
  CreateLogFile(logPath);
  SqliteTransaction transaction(db, SqliteTransaction::Lock::Immediate);
  // Leave no files behind that would make the next attempt fail with 5170.
  ScopeGuard removeFiles([&] {
    std::error_code error;
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(dataPath.string() + suffix, error);
    std::filesystem::remove(logPath, error);
  });
  const int id = AddCatalogueRow(db, name, ownerSid, dataFile);
  transaction.Commit();
  removeFiles.Dismiss();
  return DatabaseEntry{name, id, dataFile, dataPath};
}

}  // namespace standin::engine
