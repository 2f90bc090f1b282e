// Database users, roles and permissions. They live in each database file —
// sysusers and sysmembers with SQL Server 2000's columns, object and
// statement permissions in the hidden table sqlstandin$permissions — so they
// travel with a detached file. Everything here works on one attached schema
// of a session's connection.
//
// Threading: used on the calling session's thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "storage/Sqlite.h"

namespace standin::engine {

class LoginCatalog;

using Sid = std::vector<std::uint8_t>;

inline constexpr int kUidPublic = 0;
inline constexpr int kUidDbo = 1;
inline constexpr int kUidGuest = 2;
inline constexpr int kUidDbOwner = 16384;
inline constexpr int kUidAccessAdmin = 16385;
inline constexpr int kUidSecurityAdmin = 16386;
inline constexpr int kUidDdlAdmin = 16387;
inline constexpr int kUidBackupOperator = 16389;
inline constexpr int kUidDataReader = 16390;
inline constexpr int kUidDataWriter = 16391;
inline constexpr int kUidDenyDataReader = 16392;
inline constexpr int kUidDenyDataWriter = 16393;
inline constexpr int kFirstUserUid = 5;
inline constexpr int kFirstRoleUid = 16400;

// True for the fixed database roles (db_owner …).
bool IsFixedDatabaseRole(int uid);

// Creates sysusers, sysmembers and the permission table in `schema` when
// they are missing, with public, dbo (mapped to `ownerSid`), guest (with
// access when `guestAccess`) and the fixed roles.
void CreateSecurityCatalog(sqlite3* db, const std::string& schema, const Sid& ownerSid,
                           bool guestAccess);
bool HasSecurityCatalog(sqlite3* db, const std::string& schema);
// sp_changedbowner and attach: dbo stands for this login from now on.
void SetDatabaseOwner(sqlite3* db, const std::string& schema, const Sid& ownerSid);

// A row of sysusers.
struct Principal {
  int uid = 0;
  std::string name;
  Sid sid;
  bool role = false;
  bool hasAccess = false;
};

// The login's standing in one database: which user it is and what it may do.
class DatabaseSecurity {
 public:
  DatabaseSecurity(sqlite3* db, std::string schema, std::string database, LoginCatalog& logins,
                   std::string login);

  const std::string& Schema() const { return m_Schema; }
  const std::string& Database() const { return m_Database; }
  sqlite3* Connection() const { return m_Db; }

  // The login's user in this database: dbo for sysadmins and the owner, its
  // own user, else guest when guest has access; nullopt: no access (916).
  std::optional<Principal> CurrentUser();
  bool IsSysadmin();
  // The user, public and every role it belongs to, directly or through
  // other roles; dbo is a member of db_owner.
  std::set<int> Memberships();
  bool InRole(int roleUid) { return IsSysadmin() || Memberships().count(roleUid) > 0; }
  // Raises 15247 unless the caller is in one of the roles (db_owner always counts).
  void RequireRole(std::initializer_list<int> roles);

  std::optional<Principal> Find(std::string_view name);
  std::optional<Principal> FindUid(int uid);
  std::optional<Principal> FindBySid(const Sid& sid);
  std::vector<Principal> All();
  // Direct members of a role, by uid.
  std::vector<int> Members(int roleUid);
  std::vector<int> RolesOf(int uid);

  // Whether the caller may `action` ("SELECT", "EXECUTE" …) the object; an
  // object created by the user itself is its own.
  bool ObjectPermitted(const std::string& object, const std::string& action, bool isTable);
  // Statement permissions ("CREATE TABLE" …).
  bool StatementPermitted(const std::string& action);
  // Whether the caller holds `action` on `object` WITH GRANT OPTION.
  bool CanGrant(const std::string& object, const std::string& action);

 private:
  // 'G' grant, 'W' grant with grant option, 'D' deny, for any of `uids`.
  std::set<char> States(const std::string& object, const std::string& action,
                        const std::set<int>& uids);

  sqlite3* m_Db;
  std::string m_Schema;
  std::string m_Database;
  LoginCatalog& m_Logins;
  std::string m_Login;
  std::optional<std::optional<Principal>> m_User;
  std::optional<std::set<int>> m_Memberships;
  std::optional<bool> m_Sysadmin;
};

// A write to the security catalogue: its own transaction outside a user
// transaction, a savepoint inside one.
SqliteTransaction BeginSecurityWrite(sqlite3* db);

}  // namespace standin::engine
