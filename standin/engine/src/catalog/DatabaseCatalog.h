// Master's list of databases (sysdatabases): finding, creating, attaching,
// detaching, renaming and dropping them with their files, their owners and
// options.
//
// Thread-safe: every call holds master's lock (DataDirectory::LockMaster)
// while it uses master.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/DataDirectory.h"

namespace standin::engine {

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

class DatabaseCatalog {
 public:
  explicit DatabaseCatalog(DataDirectory& data) : m_Data(data) {}

  std::optional<DatabaseEntry> Find(std::string_view name);
  // Every database, by dbid.
  std::vector<DatabaseEntry> List();
  // Every database with its owner and options, ordered by name.
  std::vector<DatabaseDetails> Catalogue();
  // sysdatabases.sid of a database; nullopt when there is no such database.
  std::optional<std::vector<std::uint8_t>> OwnerSid(const std::string& database);
  // Whether a database has a user (dbo aside) with this SID.
  bool HasUserWithSid(const std::vector<std::uint8_t>& sid);

  // Creates an empty database: its data file at `fileName` (a Windows path;
  // empty: the default data folder) and the log beside it as
  // <file stem>_log.LDF. 1801 when the name exists, 5123 for a folder that is
  // not there, 5170 for a file that is.
  // `ownerSid` is the creating login's: it becomes the database's dbo.
  DatabaseEntry Create(const std::string& name, const std::string& fileName = "",
                       const std::vector<std::uint8_t>& ownerSid = {0x01});
  // Removes a database from sysdatabases and deletes its files; returns the
  // Windows paths deleted, log first. 3701 when there is no such database.
  std::vector<std::string> Drop(const std::string& name);
  // sp_detach_db: checkpoints the file, records its owner inside it and
  // removes it from sysdatabases; the files stay.
  void Detach(const std::string& name);
  // sp_attach_db: registers an existing data file under `name` with the owner
  // recorded in it; makes the log beside it when there is none and returns
  // its path then (5182), else "". 1801, 5105, 5172.
  std::string Attach(const std::string& name, const std::string& dataFile);
  // sp_renamedb: 15010 when `name` is missing, 15032 when `newName` exists.
  void Rename(const std::string& name, const std::string& newName);
  // sp_changedbowner: the database's owner becomes `login` (15007 when
  // there is no such login).
  void ChangeOwner(const std::string& name, const std::string& login);
  // Sets or clears sysdatabases.status bits (sp_dboption); 15010 when missing.
  void SetStatus(const std::string& name, std::int64_t bits, bool on);

 private:
  DataDirectory& m_Data;
};

}  // namespace standin::engine
