// The data directory: where database files live, and master's connection.
// Windows paths as the T-SQL names them ("C:\Program Files\…\master.mdf")
// map to <data-dir>/<drive letter>/<rest>, so every database sits at the
// path SQL Server would report; the drive folders are a DriveMap
// (storage/WindowsPaths.h).
//
// What master holds is read and written by the catalogues: the databases
// (catalog/DatabaseCatalog.h) and the logins (catalog/LoginCatalog.h).
//
// Thread-safe: one mutex guards the master connection; every use of it goes
// through a MasterLock, which holds that mutex while it lives.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/Sqlite.h"
#include "storage/WindowsPaths.h"

namespace standin::engine {

inline constexpr const char* kDefaultDataFolder =
    "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data";

// master's connection for as long as this lives, with the data directory's
// mutex held: no other thread uses master meanwhile.
class MasterLock {
 public:
  // nullptr once the directory is closed.
  sqlite3* Db() const { return m_Db; }
  // The connection; error 50101 once the directory is closed (the engine
  // closes master on shutdown while a late request may still come).
  sqlite3* OpenDb() const;

 private:
  friend class DataDirectory;
  // The lock is taken before the connection is read: Close resets it under
  // the same lock.
  MasterLock(std::mutex& mutex, const ConnectionPtr& master) : m_Lock(mutex), m_Db(master.get()) {}

  std::unique_lock<std::mutex> m_Lock;
  sqlite3* m_Db;
};

class DataDirectory {
 public:
  // Opens (or initialises, which needs saPassword) the data directory.
  // Throws std::runtime_error.
  DataDirectory(std::filesystem::path root, const std::string& saPassword);

  // master, locked until the returned object goes.
  MasterLock LockMaster() { return MasterLock(m_Mutex, m_Master); }

  const std::filesystem::path& Root() const { return m_Paths.Root(); }
  // The host path of a Windows path (MapWindowsPath with the further
  // drives); std::invalid_argument for a path without a drive letter.
  std::filesystem::path Map(std::string_view windowsPath) const { return m_Paths.Map(windowsPath); }
  // The host path of an existing file or folder named by a Windows path on a
  // mapped drive; nullopt for a relative path, a device name, an unmapped
  // drive or a missing file.
  std::optional<std::filesystem::path> MapExistingPath(std::string_view windowsPath) {
    return m_Paths.MapExistingPath(windowsPath);
  }

  // A further fixed drive kept in a host folder outside the data directory
  // (--drive); call before the directory is used. Drive letters without one
  // are the folders <data-dir>/<letter>.
  void AddDrive(char letter, const std::filesystem::path& folder) {
    m_Paths.AddDrive(letter, folder);
  }
  // Every drive there is (folders that exist), by letter.
  std::vector<std::pair<char, std::filesystem::path>> Drives() const { return m_Paths.Drives(); }

  void Close();

 private:
  void Initialise(const std::string& saPassword);

  DriveMap m_Paths;
  std::mutex m_Mutex;
  ConnectionPtr m_Master;
};

// A file of the default data folder, as SQL Server names it.
std::string DefaultDataFile(const std::string& fileName);

// Makes an empty database file with the bookkeeping tables; returns the
// connection it was made with. Databases live in WAL mode: readers never
// block the writer, and a killed process leaves a file that recovers its
// committed transactions on open.
ConnectionPtr PrepareDatabaseFile(const std::filesystem::path& path);

// Creates the stand-in's own bookkeeping tables in a database schema
// ("main", "temp"): identity state, constraint names, CREATE texts.
void CreateBookkeeping(sqlite3* db, const std::string& schema);

// standin_file_pages(windows path): the file's size in 8-KB pages, NULL when
// it is not there; standin_log_path(data file): the log beside it. Used by
// master..sysaltfiles.
void RegisterFileFunctions(sqlite3* db, DataDirectory& data);

}  // namespace standin::engine
