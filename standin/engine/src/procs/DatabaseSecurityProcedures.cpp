// Database users and roles: sp_grantdbaccess, sp_revokedbaccess, sp_helpuser,
// sp_addrole, sp_droprole, sp_helprole, sp_addrolemember, sp_droprolemember,
// sp_helprolemember. Each works on the database it runs in, which the
// session hands over as the call's DatabaseSecurity.
#include <algorithm>
#include <cctype>
#include <set>

#include "catalog/DatabaseSecurity.h"
#include "catalog/LoginCatalog.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/SqliteFunctions.h"
#include "translate/Translator.h"

namespace standin::engine {
namespace {

std::string Required(const ProcedureCall& call, std::size_t index, std::string_view procedure,
                     std::string_view parameter) {
  std::optional<std::string> value = call.Text(index);
  if (!value) RaiseError(201, {procedure, parameter});
  return *value;
}

std::string Prefix(const DatabaseSecurity& security) {
  return QuoteIdentifier(security.Schema()) + ".";
}

Value SidValue(const Sid& sid) {
  if (sid.empty()) return std::monostate{};
  return Bytes(sid);
}

int NextUid(DatabaseSecurity& security, bool role) {
  SqliteStatement query(security.Connection(), "SELECT max(uid) FROM " + Prefix(security) +
                                                   "sysusers WHERE uid " +
                                                   (role ? ">= 16400" : "< 16384"));
  query.Step("SELECT");
  const int first = role ? kFirstRoleUid : kFirstUserUid;
  if (sqlite3_column_type(query.Handle(), 0) == SQLITE_NULL) return first;
  return std::max(first, sqlite3_column_int(query.Handle(), 0) + 1);
}

// Grants the login (or a Windows account) a user in the database. A user
// named like the login unless @name_in_db says otherwise; an empty name
// counts as none given.
std::int32_t SpGrantdbaccess(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  security.RequireRole({kUidAccessAdmin});
  const std::string loginName = Required(call, 0, "sp_grantdbaccess", "@loginame");
  std::string userName = call.Text(1).value_or("");
  if (userName.empty()) userName = loginName;
  if (EqualsNoCase(loginName, "guest")) {
    // The guest user exists in every database; granting it switches its access on.
    SqliteTransaction write = BeginSecurityWrite(security.Connection());
    Execute(security.Connection(),
            "UPDATE " + Prefix(security) + "sysusers SET hasdbaccess = 1 WHERE uid = 2");
    write.Commit();
    call.Info(15341, {loginName});
    return 0;
  }
  std::optional<LoginDetails> login = call.engine.Logins().Find(loginName);
  if (!login) {
    if (loginName.find('\\') != std::string::npos) RaiseError(15401, {loginName});
    RaiseError(15007, {loginName});
  }
  if (call.Text(1).value_or("").empty()) userName = login->name;
  if (std::optional<Principal> mapped = security.FindBySid(login->sid);
      mapped && (mapped->hasAccess || mapped->uid == kUidDbo))
    RaiseError(15063);
  if (security.Find(userName)) RaiseError(15023, {userName});
  if (userName.find('\\') != std::string::npos && !login->windows) RaiseError(15006, {userName});
  const std::string now = CurrentDateTimeText();
  SqliteTransaction write = BeginSecurityWrite(security.Connection());
  SqliteStatement insert(security.Connection(),
                         "INSERT INTO " + Prefix(security) +
                             "sysusers (uid, status, name, sid, createdate, updatedate, gid, "
                             "hasdbaccess, islogin, isntname, isntgroup, isntuser, issqluser) "
                             "VALUES (?1, ?2, ?3, ?4, ?5, ?5, 0, 1, 1, ?6, ?7, ?8, ?9)");
  insert.BindInt(1, NextUid(security, false));
  insert.BindInt(2, login->windows ? 6 : 2);
  insert.BindText(3, userName);
  insert.Bind(4, Bytes(login->sid));
  insert.BindText(5, now);
  insert.BindInt(6, login->windows ? 1 : 0);
  insert.BindInt(7, login->group ? 1 : 0);
  insert.BindInt(8, login->windows && !login->group ? 1 : 0);
  insert.BindInt(9, login->windows ? 0 : 1);
  insert.Step();
  write.Commit();
  call.Info(15341, {userName});
  return 0;
}

std::int32_t SpRevokedbaccess(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  security.RequireRole({kUidAccessAdmin});
  const std::string name = Required(call, 0, "sp_revokedbaccess", "@name_in_db");
  std::optional<Principal> user = security.Find(name);
  if (!user || user->role) RaiseError(15008, {name});
  if (user->uid == kUidDbo) RaiseError(15181);
  sqlite3* db = security.Connection();
  SqliteTransaction write = BeginSecurityWrite(db);
  if (user->uid == kUidGuest) {
    if (EqualsNoCase(security.Database(), "master") || EqualsNoCase(security.Database(), "tempdb"))
      RaiseError(15182);
    Execute(db, "UPDATE " + Prefix(security) + "sysusers SET hasdbaccess = 0 WHERE uid = 2");
  } else {
    for (const char* sql :
         {"DELETE FROM %sysmembers WHERE memberuid = ?", "DELETE FROM %sysusers WHERE uid = ?",
          "DELETE FROM %\"sqlstandin$permissions\" WHERE uid = ?"}) {
      std::string text(sql);
      text.replace(text.find('%'), 1, Prefix(security));
      SqliteStatement remove(db, text);
      remove.BindInt(1, user->uid);
      remove.Step();
    }
  }
  write.Commit();
  call.Info(15491);
  return 0;
}

Column NameColumn(const char* name, bool nullable = false) {
  return MakeColumn(name, TypeId::NVarChar, 128, nullable);
}

// One row per user and role it is a member of ("public" for none); the
// login's name and default database come from master by SID.
void HelpUsers(ProcedureCall& call, const std::optional<Principal>& only) {
  DatabaseSecurity& security = *call.security;
  std::vector<std::vector<Value>> rows;
  std::vector<Principal> users;
  if (only) {
    users.push_back(*only);
  } else {
    for (Principal& principal : security.All()) {
      if (!principal.role && principal.hasAccess) users.push_back(std::move(principal));
    }
  }
  std::sort(users.begin(), users.end(),
            [](const Principal& a, const Principal& b) { return Lower(a.name) < Lower(b.name); });
  for (const Principal& user : users) {
    Value loginName = std::monostate{};
    Value defaultDatabase = std::monostate{};
    if (user.uid != kUidGuest && !user.sid.empty()) {
      if (std::optional<std::string> name = call.engine.Logins().NameOfSid(user.sid)) {
        loginName = *name;
        if (std::optional<LoginDetails> login = call.engine.Logins().Find(*name))
          defaultDatabase = login->defaultDatabase;
      }
    }
    std::vector<std::string> groups;
    for (int role : security.RolesOf(user.uid)) {
      if (std::optional<Principal> found = security.FindUid(role)) groups.push_back(found->name);
    }
    std::sort(groups.begin(), groups.end());
    if (groups.empty()) groups.push_back("public");
    for (const std::string& group : groups) {
      rows.push_back({user.name, group, loginName, defaultDatabase,
                      static_cast<std::int64_t>(user.uid), SidValue(user.sid)});
    }
  }
  call.ResultSet({NameColumn("UserName"), NameColumn("GroupName"), NameColumn("LoginName", true),
                  NameColumn("DefDBName", true), MakeColumn("UserID", TypeId::SmallInt),
                  MakeColumn("SID", TypeId::VarBinary, 85)},
                 rows);
}

std::int32_t SpHelpuser(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  const std::optional<std::string> name = call.Text(0);
  if (!name) {
    HelpUsers(call, std::nullopt);
    return 0;
  }
  std::optional<Principal> principal = security.Find(*name);
  if (!principal) RaiseError(15198, {*name});
  if (!principal->role) {
    HelpUsers(call, principal);
    return 0;
  }
  std::vector<std::vector<Value>> rows;
  std::vector<int> members = security.Members(principal->uid);
  if (principal->uid == kUidPublic) {
    members.clear();
    for (const Principal& user : security.All()) {
      if (!user.role && user.hasAccess) members.push_back(user.uid);
    }
  }
  for (int uid : members) {
    std::optional<Principal> member = security.FindUid(uid);
    if (!member) continue;
    rows.push_back({principal->name, static_cast<std::int64_t>(principal->uid), member->name,
                    static_cast<std::int64_t>(member->uid)});
  }
  call.ResultSet({NameColumn("Group_name"), MakeColumn("Group_id", TypeId::SmallInt),
                  NameColumn("Users_in_group"), MakeColumn("Userid", TypeId::SmallInt)},
                 rows);
  return 0;
}

void CheckNewName(DatabaseSecurity& security, const std::string& name) {
  if (name.empty() || name.find('\\') != std::string::npos) RaiseError(15006, {name});
  if (security.Find(name)) RaiseError(15023, {name});
}

std::int32_t SpAddrole(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  security.RequireRole({kUidSecurityAdmin});
  const std::string name = Required(call, 0, "sp_addrole", "@rolename");
  if (const std::optional<std::string> owner = call.Text(1); owner && !EqualsNoCase(*owner, "dbo"))
    RaiseUnsupported("roles owned by users other than dbo");
  CheckNewName(security, name);
  const std::string now = CurrentDateTimeText();
  SqliteTransaction write = BeginSecurityWrite(security.Connection());
  const int uid = NextUid(security, true);
  SqliteStatement insert(security.Connection(),
                         "INSERT INTO " + Prefix(security) +
                             "sysusers (uid, status, name, sid, createdate, updatedate, gid, "
                             "issqlrole) VALUES (?1, 0, ?2, NULL, ?3, ?3, ?1, 1)");
  insert.BindInt(1, uid);
  insert.BindText(2, name);
  insert.BindText(3, now);
  insert.Step();
  write.Commit();
  call.Info(15424);
  return 0;
}

Principal RequireRoleNamed(DatabaseSecurity& security, const std::string& name, int notFound) {
  std::optional<Principal> role = security.Find(name);
  if (!role || !role->role) RaiseError(notFound, {name});
  return *role;
}

std::int32_t SpDroprole(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  security.RequireRole({kUidSecurityAdmin});
  const std::string name = Required(call, 0, "sp_droprole", "@rolename");
  const Principal role = RequireRoleNamed(security, name, 15409);
  if (role.uid == kUidPublic || IsFixedDatabaseRole(role.uid)) RaiseError(15405, {name});
  if (!security.Members(role.uid).empty()) RaiseError(15144);
  sqlite3* db = security.Connection();
  SqliteTransaction write = BeginSecurityWrite(db);
  for (const char* sql :
       {"DELETE FROM %sysmembers WHERE memberuid = ?", "DELETE FROM %sysusers WHERE uid = ?",
        "DELETE FROM %\"sqlstandin$permissions\" WHERE uid = ?"}) {
    std::string text(sql);
    text.replace(text.find('%'), 1, Prefix(security));
    SqliteStatement remove(db, text);
    remove.BindInt(1, role.uid);
    remove.Step();
  }
  write.Commit();
  call.Info(15425);
  return 0;
}

std::int32_t SpHelprole(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  const std::optional<std::string> name = call.Text(0);
  if (name) RequireRoleNamed(security, *name, 15409);
  std::vector<std::vector<Value>> rows;
  for (const Principal& principal : security.All()) {
    if (!principal.role || (name && !EqualsNoCase(principal.name, *name))) continue;
    rows.push_back({principal.name, static_cast<std::int64_t>(principal.uid), std::int64_t{0}});
  }
  call.ResultSet({NameColumn("RoleName"), MakeColumn("RoleId", TypeId::SmallInt),
                  MakeColumn("IsAppRole", TypeId::Int)},
                 rows);
  return 0;
}

std::int32_t SpHelprolemember(ProcedureCall& call) {
  DatabaseSecurity& security = *call.security;
  const std::optional<std::string> name = call.Text(0);
  if (name) RequireRoleNamed(security, *name, 15409);
  std::vector<std::vector<Value>> rows;
  for (const Principal& role : security.All()) {
    if (!role.role || (name && !EqualsNoCase(role.name, *name))) continue;
    for (int uid : security.Members(role.uid)) {
      if (std::optional<Principal> member = security.FindUid(uid))
        rows.push_back({role.name, member->name, SidValue(member->sid)});
    }
  }
  call.ResultSet({NameColumn("DbRole"), NameColumn("MemberName"),
                  MakeColumn("MemberSID", TypeId::VarBinary, 85)},
                 rows);
  return 0;
}

// Members of a fixed role may add others to it; db_owner and
// db_securityadmin manage the user-defined roles; only db_owner manages
// db_owner.
void RequireRoleManager(DatabaseSecurity& security, const Principal& role) {
  if (security.InRole(kUidDbOwner)) return;
  if (IsFixedDatabaseRole(role.uid)) {
    if (role.uid != kUidDbOwner && security.InRole(role.uid)) return;
    RaiseError(15247);
  }
  security.RequireRole({kUidSecurityAdmin});
}

std::int32_t ChangeRoleMember(ProcedureCall& call, bool add) {
  DatabaseSecurity& security = *call.security;
  const std::string_view procedure = add ? "sp_addrolemember" : "sp_droprolemember";
  const std::string roleName = Required(call, 0, procedure, "@rolename");
  const std::string memberName = Required(call, 1, procedure, "@membername");
  const Principal role = RequireRoleNamed(security, roleName, 15014);
  RequireRoleManager(security, role);
  if (role.uid == kUidPublic) RaiseError(15081);
  std::optional<Principal> member = security.Find(memberName);
  if (!member || member->uid == kUidPublic || (!member->role && !member->hasAccess))
    RaiseError(15410, {memberName});
  if (member->uid == kUidDbo) RaiseError(15405, {member->name});
  if (member->uid == role.uid) RaiseError(15413);
  sqlite3* db = security.Connection();
  if (add && member->role) {
    // A role may not end up a member of itself through other roles.
    std::vector<int> pending{role.uid};
    std::set<int> seen;
    while (!pending.empty()) {
      const int uid = pending.back();
      pending.pop_back();
      if (uid == member->uid) RaiseError(15413);
      if (!seen.insert(uid).second) continue;
      for (int parent : security.RolesOf(uid)) pending.push_back(parent);
    }
  }
  SqliteTransaction write = BeginSecurityWrite(db);
  SqliteStatement change(db, add ? "INSERT OR IGNORE INTO " + Prefix(security) +
                                       "sysmembers (memberuid, groupuid) VALUES (?1, ?2)"
                                 : "DELETE FROM " + Prefix(security) +
                                       "sysmembers WHERE memberuid = ?1 AND groupuid = ?2");
  change.BindInt(1, member->uid);
  change.BindInt(2, role.uid);
  change.Step();
  write.Commit();
  call.Info(add ? 15488 : 15489, {member->name, role.name});
  return 0;
}

std::int32_t SpAddrolemember(ProcedureCall& call) {
  return ChangeRoleMember(call, true);
}

std::int32_t SpDroprolemember(ProcedureCall& call) {
  return ChangeRoleMember(call, false);
}

constexpr std::string_view kGrantParameters[] = {"@loginame", "@name_in_db"};
constexpr std::string_view kRevokeParameters[] = {"@name_in_db"};
constexpr std::string_view kHelpuserParameters[] = {"@name_in_db"};
constexpr std::string_view kAddroleParameters[] = {"@rolename", "@ownername"};
constexpr std::string_view kRoleParameters[] = {"@rolename"};
constexpr std::string_view kMemberParameters[] = {"@rolename", "@membername"};

const SystemProcedure kProcedures[] = {
    {"sp_grantdbaccess", kGrantParameters, SpGrantdbaccess},
    {"sp_revokedbaccess", kRevokeParameters, SpRevokedbaccess},
    {"sp_helpuser", kHelpuserParameters, SpHelpuser},
    {"sp_addrole", kAddroleParameters, SpAddrole},
    {"sp_droprole", kRoleParameters, SpDroprole},
    {"sp_helprole", kRoleParameters, SpHelprole},
    {"sp_helprolemember", kRoleParameters, SpHelprolemember},
    {"sp_addrolemember", kMemberParameters, SpAddrolemember},
    {"sp_droprolemember", kMemberParameters, SpDroprolemember},
};

}  // namespace

std::span<const SystemProcedure> DatabaseSecurityProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
