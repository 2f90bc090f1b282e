// One archive of a registered SQL Server, with its own connection to the
// archive database: its roles and users, access grants, the log shrink, the
// rename, its extended properties and its full-text index. The catalogue
// (Databases) creates one per archive and owns it.
//
// One thread: the console's. Connect, Roles, RoleMembers, UserRoles,
// IsRolemember, ShrinkLogfile, Rename, GetFullTextStatus and DoFullTextAction
// raise provider errors; GrantDBAccess and RevokeDBAccess show their own
// message and return false; SetExtendedValue and GetExtendedValue never raise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw {

class Server;
class Databases;

// The full-text states below 0 (0 and above are the catalog's own status).
inline constexpr std::int32_t kFullTextNotInstalled = -2;
inline constexpr std::int32_t kFullTextNoCatalog = -1;

// Move is not possible over SQL alone.
inline constexpr std::int32_t kErrNotSupported = static_cast<std::int32_t>(0x800A01B6u);

class Database {
 public:
  Database();
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Set by the catalogue. SetServer also copies the server's stored
  // connection string; SetName also sets the database name.
  void SetServer(Server* server);
  void SetParent(Databases* parent) { m_Parent = parent; }
  void SetArchiveID(std::int32_t id) { m_ArchiveID = id; }
  void SetName(const std::string& name);

  Server* GetServer() const { return m_Server; }
  std::int32_t ArchiveID() const { return m_ArchiveID; }
  const std::string& Name() const { return m_Name; }
  const std::string& DatabaseName() const { return m_DatabaseName; }
  // "Data Source" of the archive connection.
  std::string Location() const;
  Connection& GetConnection() { return *m_Connection; }
  bool IsConnected() const { return m_Connected; }

  // (Re)opens the archive connection; true when it is open. `path` is
  // accepted and not used.
  bool Connect(const std::string& path = "");
  // What a new archive has and this one lacks, as a phrase ("has no template
  // document"): its creation did not finish. "" when it is complete or when
  // the login may not look. Never raises.
  std::string Incompleteness();

  std::vector<std::string> Roles();
  std::vector<std::string> RoleMembers(const std::string& roleName);
  std::vector<std::string> UserRoles(const std::string& userName);
  // False for a role the archive does not know.
  bool IsRolemember(const std::string& databaseRole);
  bool GrantDBAccess(const std::string& login, const std::string& name = "");
  bool RevokeDBAccess(const std::string& login);

  // Truncates the log and shrinks each log file to 0, 1 or 3 MB by its size.
  void ShrinkLogfile();
  // Renames the archive (a leading prefix in `newName` is dropped). False when
  // the name is the same (in any case) or the other sessions may not be ended.
  bool Rename(std::string newName);
  // Raises kErrNotSupported: the files live on the server's disk.
  void Move(const std::string& path);

  // One archive property (entry 0, field type 1) or another extended value.
  // `extFieldId` 0 looks the field up by name and type, creating it with the
  // next free id when missing, and returns the id through the argument.
  void SetExtendedValue(const std::string& value, std::int32_t entryId, std::int32_t& extFieldId,
                        const std::string& fieldName, int fieldType, bool userProperty,
                        bool visible);
  std::string GetExtendedValue(std::int32_t entryId, std::int32_t extFieldId, int fieldType,
                               const std::string& fieldName);

  // The plain text that full-text search sees (DatabasePlainText.cpp): type
  // 90 is text as it is, 100 and 500 are HTML — stored web archives (a file
  // name containing ".mht", any case) through CreatePlainTextInIE — and
  // every other type has none. Raises what the export's reads raise.
  std::string CreatePlainText(std::int32_t entryID, const std::string& content,
                              std::int32_t docType, const std::string& fileName);
  // True when CreatePlainText needs nothing but the document itself (HTML
  // that is not a stored web archive): it may then run on any thread.
  static bool PlainTextFromContentAlone(std::int32_t docType, const std::string& fileName);
  // The visible text of `sHTML`, after the clean-up, which changes it.
  std::string HTML2Text(std::string& sHTML);
  // Exports the stored web archive to a folder under the temp folder, takes
  // the visible text of its main file and removes the folder again.
  std::string CreatePlainTextInIE(std::int32_t entryID);

  // -2 no full-text search, -1 no catalog, else the catalog's status.
  std::int32_t GetFullTextStatus();
  // "create" (only from -1) or "drop" (only from 0 and above), any case.
  void DoFullTextAction(const std::string& action);

 private:
  std::vector<std::string> NameList(const std::string& sql, const std::string& column);
  bool AccessChange(const std::string& sql, const std::string& lead);

  Databases* m_Parent = nullptr;
  Server* m_Server = nullptr;
  std::string m_ServerConnectionString;
  std::int32_t m_ArchiveID = 0;
  std::string m_Name;
  std::string m_DatabaseName;
  bool m_Connected = false;
  std::unique_ptr<Connection> m_Connection;
  Command m_Command;
};

}  // namespace bw
