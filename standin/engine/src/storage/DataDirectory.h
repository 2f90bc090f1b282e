// The data directory: where database files live and the server's own
// catalogue in master (sysdatabases, logins). Windows paths as the T-SQL
// names them ("C:\Program Files\…\master.mdf") map to
// <data-dir>/<drive letter>/<rest>, so every database sits at the path SQL
// Server would report.
//
// The members are implemented by what they do: opening master
// (storage/DataDirectory.cpp), the list of databases
// (catalog/DataDirectoryDatabases.cpp), logins (catalog/DataDirectoryLogins.cpp);
// the drive folders are a DriveMap (storage/WindowsPaths.h).
//
// Thread-safe: one mutex guards the master connection.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/Sqlite.h"
#include "storage/WindowsPaths.h"

namespace standin::engine {

inline constexpr const char* kDefaultDataFolder =
    "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data";

struct DatabaseEntry {
  std::string name;
  int id = 0;
  std::string windowsPath;         // primary data file as SQL Server reports it
  std::filesystem::path hostPath;  // the SQLite file
};

// A database's row of sysdatabases with its owner's login, for sp_helpdb.
struct DatabaseDetails {
  DatabaseEntry entry;
  std::optional<std::string> owner;  // nullopt: the owner SID has no login here
  std::string created;               // crdate, "YYYY-MM-DD HH:MM:SS.mmm"
  std::int64_t status = 0;           // sysdatabases.status bits
  int compatibilityLevel = 80;
};

struct LoginEntry {
  std::string name;
  std::string defaultDatabase;
  bool sysadmin = false;
};

// A login as the database security procedures need it.
struct LoginDetails {
  std::string name;  // as stored
  std::vector<std::uint8_t> sid;
  std::string defaultDatabase;
  bool windows = false;  // isntname
  bool group = false;    // isntgroup
  bool denied = false;   // denylogin
};

// SQL Server 2000's fixed server roles, in sp_helpsrvrole's order; each is a
// column of the logins table.
inline constexpr std::string_view kServerRoles[] = {"sysadmin",   "securityadmin", "serveradmin",
                                                    "setupadmin", "processadmin",  "diskadmin",
                                                    "dbcreator",  "bulkadmin"};

// The canonical (lower-case) fixed server role a written name means, or
// nullopt for anything else.
std::optional<std::string_view> FixedServerRole(std::string_view written);

class DataDirectory;

// Whether the login may act as a member of the fixed server role: sysadmins
// may act as any. Read from master at each check, so a change reaches
// sessions that are already open.
bool LoginHasServerRole(DataDirectory& data, const std::string& login, std::string_view role);

// A member of a fixed server role, for sp_helpsrvrolemember.
struct RoleMember {
  std::string role;
  std::string login;
  std::vector<std::uint8_t> sid;
};

class DataDirectory {
 public:
  // Opens (or initialises, which needs saPassword) the data directory.
  // Throws std::runtime_error.
  DataDirectory(std::filesystem::path root, const std::string& saPassword);

  std::optional<DatabaseEntry> FindDatabase(std::string_view name);
  // Creates an empty database: its data file at `fileName` (a Windows path;
  // empty: the default data folder) and the log beside it as
  // <file stem>_log.LDF. 1801 when the name exists, 5123 for a folder that is
  // not there, 5170 for a file that is.
  // `ownerSid` is the creating login's: it becomes the database's dbo.
  DatabaseEntry CreateDatabase(const std::string& name, const std::string& fileName = "",
                               const std::vector<std::uint8_t>& ownerSid = {0x01});
  // Checks a password: the login, or nullopt when the name or password is wrong.
  std::optional<LoginEntry> CheckLogin(const std::string& name, const std::string& password);
  std::vector<DatabaseEntry> Databases();

  // Logins (DataDirectoryLogins.cpp). Errors as the security procedures
  // raise them: 15025 exists, 15007 missing, 15010 default database missing,
  // 15174 owns a database, 15405 sa.
  void AddLogin(const std::string& name, const std::string& password,
                const std::string& defaultDatabase);
  void DropLogin(const std::string& name);
  // sp_grantlogin / sp_denylogin: adds the Windows login or changes its
  // access. 15407 when `name` names a SQL Server login.
  void SetWindowsLogin(const std::string& name, bool group, bool deny,
                       const std::vector<std::uint8_t>& sid);
  // sp_revokelogin: false when there was no such Windows login. 15174 while
  // it owns a database.
  bool RevokeWindowsLogin(const std::string& name);
  void SetPassword(const std::string& name, const std::string& password);
  // The login's stored name and whether its password is `password`; 15007.
  bool PasswordMatches(const std::string& name, const std::string& password);
  // `role` must be one of kServerRoles. 15007 for an unknown login.
  void SetServerRole(const std::string& login, std::string_view role, bool member);
  // nullopt: no such login (Windows accounts without a login included).
  std::optional<bool> IsServerRoleMember(const std::string& login, std::string_view role);
  // Members of one role, or of every role when `role` is empty.
  std::vector<RoleMember> ServerRoleMembers(std::string_view role);
  std::optional<std::vector<std::uint8_t>> LoginSid(const std::string& name);
  std::optional<std::string> LoginNameOfSid(const std::vector<std::uint8_t>& sid);
  // Whether a database has a user (dbo aside) with this SID.
  bool HasDatabaseUsers(const std::vector<std::uint8_t>& sid);
  std::optional<LoginDetails> FindLogin(const std::string& name);
  // sysdatabases.sid of a database; nullopt when there is no such database.
  std::optional<std::vector<std::uint8_t>> DatabaseOwnerSid(const std::string& database);
  // Removes a database from sysdatabases and deletes its files; returns the
  // Windows paths deleted, log first. 3701 when there is no such database.
  std::vector<std::string> DropDatabase(const std::string& name);
  // Sets or clears sysdatabases.status bits (sp_dboption); 15010 when missing.
  void SetStatus(const std::string& name, std::int64_t bits, bool on);
  // sp_renamedb: 15010 when `name` is missing, 15032 when `newName` exists.
  void RenameDatabase(const std::string& name, const std::string& newName);
  // sp_changedbowner: the database's owner becomes `login` (15007 when
  // there is no such login).
  void ChangeOwner(const std::string& name, const std::string& login);
  // sp_detach_db: checkpoints the file, records its owner inside it and
  // removes it from sysdatabases; the files stay.
  void DetachDatabase(const std::string& name);
  // sp_attach_db: registers an existing data file under `name` with the owner
  // recorded in it; makes the log beside it when there is none and returns
  // its path then (5182), else "". 1801, 5105, 5172.
  std::string AttachDatabase(const std::string& name, const std::string& dataFile);
  // Every database with its owner and options, ordered by name.
  std::vector<DatabaseDetails> Catalogue();
  const std::filesystem::path& Root() const { return m_Paths.Root(); }
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
  std::filesystem::path Map(std::string_view windowsPath) const { return m_Paths.Map(windowsPath); }
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

// A salted password hash (crypt(3) SHA-512) and its check.
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& password, const std::string& hash);

}  // namespace standin::engine
