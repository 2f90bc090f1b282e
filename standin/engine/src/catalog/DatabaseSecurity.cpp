// Database users, roles and permissions in each database file.
#include "catalog/DatabaseSecurity.h"

#include <algorithm>

#include "catalog/LoginCatalog.h"
#include "common/SqliteNames.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"

namespace standin::engine {
namespace {

Sid ColumnSid(sqlite3_stmt* statement, int index) {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, index));
  return Sid(data, data + sqlite3_column_bytes(statement, index));
}

std::string ColumnText(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return text ? reinterpret_cast<const char*>(text) : "";
}

struct FixedRole {
  int uid;
  const char* name;
};

constexpr FixedRole kFixedRoles[] = {{kUidDbOwner, "db_owner"},
                                     {kUidAccessAdmin, "db_accessadmin"},
                                     {kUidSecurityAdmin, "db_securityadmin"},
                                     {kUidDdlAdmin, "db_ddladmin"},
                                     {kUidBackupOperator, "db_backupoperator"},
                                     {kUidDataReader, "db_datareader"},
                                     {kUidDataWriter, "db_datawriter"},
                                     {kUidDenyDataReader, "db_denydatareader"},
                                     {kUidDenyDataWriter, "db_denydatawriter"}};

Principal ReadPrincipal(sqlite3_stmt* statement) {
  Principal principal;
  principal.uid = sqlite3_column_int(statement, 0);
  principal.name = ColumnText(statement, 1);
  principal.sid = ColumnSid(statement, 2);
  principal.role = sqlite3_column_int(statement, 3) != 0;
  principal.hasAccess = sqlite3_column_int(statement, 4) != 0;
  return principal;
}

constexpr const char* kPrincipalColumns = "uid, name, sid, issqlrole, hasdbaccess";

}  // namespace

bool IsFixedDatabaseRole(int uid) {
  return uid >= kUidDbOwner && uid < kFirstRoleUid;
}

bool HasSecurityCatalog(sqlite3* db, const std::string& schema) {
  SqliteStatement find(db, "SELECT 1 FROM " + QuoteIdentifier(schema) +
                               ".sqlite_master WHERE name = 'sqlstandin$permissions'");
  return find.Step("SELECT");
}

void CreateSecurityCatalog(sqlite3* db, const std::string& schema, const Sid& ownerSid,
                           bool guestAccess) {
  if (HasSecurityCatalog(db, schema)) return;
  const std::string prefix = QuoteIdentifier(schema) + ".";
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "sysusers (uid smallint NOT NULL PRIMARY KEY, status smallint NOT NULL DEFAULT "
                  "0, name \"nvarchar(128)\" COLLATE standin_ci NOT NULL UNIQUE, sid "
                  "\"varbinary(85)\" NULL, roles \"varbinary(2048)\" NULL, createdate datetime NOT "
                  "NULL, updatedate datetime NOT NULL, altuid smallint NULL, password "
                  "\"varbinary(256)\" NULL, gid smallint NOT NULL DEFAULT 0, environ "
                  "\"varchar(255)\" NULL, hasdbaccess int NOT NULL DEFAULT 0, islogin int NOT NULL "
                  "DEFAULT 0, isntname int NOT NULL DEFAULT 0, isntgroup int NOT NULL DEFAULT 0, "
                  "isntuser int NOT NULL DEFAULT 0, issqluser int NOT NULL DEFAULT 0, isaliased "
                  "int NOT NULL DEFAULT 0, issqlrole int NOT NULL DEFAULT 0, isapprole int NOT "
                  "NULL DEFAULT 0)");
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "sysmembers (memberuid smallint NOT NULL, groupuid smallint NOT NULL, PRIMARY "
                  "KEY (memberuid, groupuid))");
  // Permissions are kept by object name, not id: ALTER TABLE rebuilds a
  // table under a new id, and its grants must survive that.
  Execute(db, "CREATE TABLE IF NOT EXISTS " + prefix +
                  "\"sqlstandin$permissions\" (object TEXT COLLATE standin_ci NOT NULL, action "
                  "TEXT NOT NULL, uid INTEGER NOT NULL, state TEXT NOT NULL, owner INTEGER NOT "
                  "NULL DEFAULT 0, PRIMARY KEY (object, action, uid))");
  const std::string now = CurrentDateTimeText();
  auto insert = [&](int uid, const std::string& name, const Value& sid, int status, int gid,
                    int access, int isLogin, int isRole) {
    SqliteStatement row(db, "INSERT OR IGNORE INTO " + prefix +
                                "sysusers (uid, status, name, sid, createdate, updatedate, gid, "
                                "hasdbaccess, islogin, issqluser, issqlrole) VALUES (?1, ?2, ?3, "
                                "?4, ?5, ?5, ?6, ?7, ?8, ?8, ?9)");
    row.BindInt(1, uid);
    row.BindInt(2, status);
    row.BindText(3, name);
    row.Bind(4, sid);
    row.BindText(5, now);
    row.BindInt(6, gid);
    row.BindInt(7, access);
    row.BindInt(8, isLogin);
    row.BindInt(9, isRole);
    row.Step();
  };
  insert(kUidPublic, "public", std::monostate{}, 0, 0, 0, 0, 1);
  insert(kUidDbo, "dbo", Bytes(ownerSid), 2, 0, 1, 1, 0);
  insert(kUidGuest, "guest", Bytes{0x00}, 0, 0, guestAccess ? 1 : 0, 1, 0);
  for (const FixedRole& role : kFixedRoles)
    insert(role.uid, role.name, Bytes{0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05}, 0, role.uid,
           0, 0, 1);
  Execute(db, "INSERT OR IGNORE INTO " + prefix + "sysmembers VALUES (1, 16384)");
}

void SetDatabaseOwner(sqlite3* db, const std::string& schema, const Sid& ownerSid) {
  SqliteStatement update(db, "UPDATE " + QuoteIdentifier(schema) +
                                 ".sysusers SET sid = ?1, updatedate = ?2 WHERE uid = 1");
  update.Bind(1, Bytes(ownerSid));
  update.BindText(2, CurrentDateTimeText());
  update.Step();
}

DatabaseSecurity::DatabaseSecurity(sqlite3* db, std::string schema, std::string database,
                                   LoginCatalog& logins, std::string login)
    : m_Db(db),
      m_Schema(std::move(schema)),
      m_Database(std::move(database)),
      m_Logins(logins),
      m_Login(std::move(login)) {}

bool DatabaseSecurity::IsSysadmin() {
  if (!m_Sysadmin) m_Sysadmin = m_Logins.IsServerRoleMember(m_Login, "sysadmin").value_or(false);
  return *m_Sysadmin;
}

std::optional<Principal> DatabaseSecurity::CurrentUser() {
  if (m_User) return *m_User;
  std::optional<Principal> user;
  if (IsSysadmin()) {
    user = FindUid(kUidDbo);
  } else if (std::optional<Sid> sid = m_Logins.SidOf(m_Login)) {
    SqliteStatement find(m_Db, "SELECT " + std::string(kPrincipalColumns) + " FROM " +
                                   QuoteIdentifier(m_Schema) +
                                   ".sysusers WHERE sid = ? AND issqlrole = 0 AND hasdbaccess = 1 "
                                   "ORDER BY uid");
    find.Bind(1, Bytes(*sid));
    if (find.Step("SELECT")) user = ReadPrincipal(find.Handle());
  }
  if (!user) {
    std::optional<Principal> guest = FindUid(kUidGuest);
    if (guest && guest->hasAccess) user = guest;
  }
  m_User = user;
  return user;
}

std::set<int> DatabaseSecurity::Memberships() {
  if (m_Memberships) return *m_Memberships;
  std::set<int> out{kUidPublic};
  std::optional<Principal> user = CurrentUser();
  std::vector<int> pending;
  if (user) pending.push_back(user->uid);
  if (user && user->uid == kUidDbo) pending.push_back(kUidDbOwner);
  while (!pending.empty()) {
    const int uid = pending.back();
    pending.pop_back();
    if (!out.insert(uid).second && uid != kUidPublic) continue;
    for (int role : RolesOf(uid)) {
      if (!out.count(role)) pending.push_back(role);
    }
  }
  m_Memberships = out;
  return out;
}

void DatabaseSecurity::RequireRole(std::initializer_list<int> roles) {
  if (InRole(kUidDbOwner)) return;
  for (int role : roles) {
    if (InRole(role)) return;
  }
  RaiseError(15247);
}

std::optional<Principal> DatabaseSecurity::Find(std::string_view name) {
  SqliteStatement find(m_Db, "SELECT " + std::string(kPrincipalColumns) + " FROM " +
                                 QuoteIdentifier(m_Schema) + ".sysusers WHERE name = ?");
  find.BindText(1, name);
  if (!find.Step("SELECT")) return std::nullopt;
  return ReadPrincipal(find.Handle());
}

std::optional<Principal> DatabaseSecurity::FindUid(int uid) {
  SqliteStatement find(m_Db, "SELECT " + std::string(kPrincipalColumns) + " FROM " +
                                 QuoteIdentifier(m_Schema) + ".sysusers WHERE uid = ?");
  find.BindInt(1, uid);
  if (!find.Step("SELECT")) return std::nullopt;
  return ReadPrincipal(find.Handle());
}

std::optional<Principal> DatabaseSecurity::FindBySid(const Sid& sid) {
  SqliteStatement find(m_Db, "SELECT " + std::string(kPrincipalColumns) + " FROM " +
                                 QuoteIdentifier(m_Schema) +
                                 ".sysusers WHERE sid = ? AND issqlrole = 0 ORDER BY uid");
  find.Bind(1, Bytes(sid));
  if (!find.Step("SELECT")) return std::nullopt;
  return ReadPrincipal(find.Handle());
}

std::vector<Principal> DatabaseSecurity::All() {
  std::vector<Principal> out;
  SqliteStatement query(m_Db, "SELECT " + std::string(kPrincipalColumns) + " FROM " +
                                  QuoteIdentifier(m_Schema) + ".sysusers ORDER BY uid");
  while (query.Step("SELECT")) out.push_back(ReadPrincipal(query.Handle()));
  return out;
}

std::vector<int> DatabaseSecurity::Members(int roleUid) {
  std::vector<int> out;
  SqliteStatement query(m_Db, "SELECT memberuid FROM " + QuoteIdentifier(m_Schema) +
                                  ".sysmembers WHERE groupuid = ? ORDER BY memberuid");
  query.BindInt(1, roleUid);
  while (query.Step("SELECT")) out.push_back(sqlite3_column_int(query.Handle(), 0));
  return out;
}

std::vector<int> DatabaseSecurity::RolesOf(int uid) {
  std::vector<int> out;
  SqliteStatement query(m_Db, "SELECT groupuid FROM " + QuoteIdentifier(m_Schema) +
                                  ".sysmembers WHERE memberuid = ? ORDER BY groupuid");
  query.BindInt(1, uid);
  while (query.Step("SELECT")) out.push_back(sqlite3_column_int(query.Handle(), 0));
  return out;
}

std::set<char> DatabaseSecurity::States(const std::string& object, const std::string& action,
                                        const std::set<int>& uids) {
  std::set<char> out;
  SqliteStatement query(m_Db, "SELECT uid, state FROM " + QuoteIdentifier(m_Schema) +
                                  ".\"sqlstandin$permissions\" WHERE object = ? AND action = ?");
  query.BindText(1, object);
  query.BindText(2, action);
  while (query.Step("SELECT")) {
    if (uids.count(sqlite3_column_int(query.Handle(), 0))) {
      const std::string state = ColumnText(query.Handle(), 1);
      if (!state.empty()) out.insert(state[0]);
    }
  }
  return out;
}

bool DatabaseSecurity::ObjectPermitted(const std::string& object, const std::string& action,
                                       bool isTable) {
  if (InRole(kUidDbOwner)) return true;
  const std::set<int> uids = Memberships();
  const std::set<char> states = States(object, action, uids);
  // DENY wins over every GRANT, whichever role carries it.
  if (states.count('D')) return false;
  if (isTable && action == "SELECT" && uids.count(kUidDenyDataReader)) return false;
  const bool write = action == "INSERT" || action == "UPDATE" || action == "DELETE";
  if (isTable && write && uids.count(kUidDenyDataWriter)) return false;
  if (states.count('G') || states.count('W')) return true;
  if (isTable && action == "SELECT" && uids.count(kUidDataReader)) return true;
  if (isTable && write && uids.count(kUidDataWriter)) return true;
  return false;
}

bool DatabaseSecurity::StatementPermitted(const std::string& action) {
  if (InRole(kUidDbOwner)) return true;
  const std::set<int> uids = Memberships();
  const std::set<char> states = States("", action, uids);
  if (states.count('D')) return false;
  if (action != "CREATE DATABASE" && action.rfind("BACKUP", 0) != 0 && uids.count(kUidDdlAdmin))
    return true;
  if (action.rfind("BACKUP", 0) == 0 && uids.count(kUidBackupOperator)) return true;
  return states.count('G') || states.count('W');
}

bool DatabaseSecurity::CanGrant(const std::string& object, const std::string& action) {
  if (InRole(kUidDbOwner) || InRole(kUidSecurityAdmin)) return true;
  const std::set<char> states = States(object, action, Memberships());
  return !states.count('D') && states.count('W');
}

SqliteTransaction BeginSecurityWrite(sqlite3* db) {
  return SqliteTransaction::ImmediateOrSavepoint(db, "sqlstandin_security");
}

}  // namespace standin::engine
