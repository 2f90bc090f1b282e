// SQL Server logins and fixed server roles in master.
#include "catalog/LoginCatalog.h"

#include <cctype>
#include <random>

#include "common/PasswordHash.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"

namespace standin::engine {
namespace {

std::vector<std::uint8_t> ColumnBytes(sqlite3_stmt* statement, int index) {
  const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(statement, index));
  return std::vector<std::uint8_t>(data, data + sqlite3_column_bytes(statement, index));
}

std::string ColumnText(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// SQL logins get 16-byte SIDs as SQL Server 2000 gives them; they only need
// to be unique, and a random one cannot collide with sa's 0x01.
std::vector<std::uint8_t> NewSid() {
  std::random_device random;
  std::vector<std::uint8_t> sid(16);
  for (auto& byte : sid) byte = static_cast<std::uint8_t>(random());
  return sid;
}

bool IsSa(const std::string& name) {
  return name.size() == 2 && std::tolower(static_cast<unsigned char>(name[0])) == 's' &&
         std::tolower(static_cast<unsigned char>(name[1])) == 'a';
}

}  // namespace

std::optional<LoginEntry> LoginCatalog::Check(const std::string& name,
                                              const std::string& password) {
  std::string hash;
  LoginEntry entry;
  {
    MasterLock master = m_Data.LockMaster();
    if (!master.Db()) return std::nullopt;
    SqliteStatement query(master.Db(),
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

std::optional<std::string_view> FixedServerRole(std::string_view written) {
  for (std::string_view role : kServerRoles) {
    if (role.size() != written.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < role.size() && same; ++i)
      same = role[i] == std::tolower(static_cast<unsigned char>(written[i]));
    if (same) return role;
  }
  return std::nullopt;
}

bool LoginCatalog::HasServerRole(const std::string& login, std::string_view role) {
  if (IsServerRoleMember(login, "sysadmin").value_or(false)) return true;
  return role != "sysadmin" && IsServerRoleMember(login, role).value_or(false);
}

void LoginCatalog::Add(const std::string& name, const std::string& password,
                       const std::string& defaultDatabase) {
  // Hashing is slow on purpose; do it outside the lock.
  const std::string hash = HashPassword(password);
  const std::vector<std::uint8_t> sid = NewSid();
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  {
    SqliteStatement exists(db, "SELECT 1 FROM \"sqlstandin$logins\" WHERE name = ?");
    exists.BindText(1, name);
    if (exists.Step()) RaiseError(15025, {name});
  }
  {
    SqliteStatement database(db, "SELECT name FROM sysdatabases WHERE name = ?");
    database.BindText(1, defaultDatabase);
    if (!database.Step()) RaiseError(15010, {defaultDatabase});
  }
  SqliteStatement insert(db,
                         "INSERT INTO \"sqlstandin$logins\" (sid, createdate, updatedate, accdate, "
                         "name, dbname, loginname, password_hash) VALUES (?1, ?2, ?2, ?2, ?3, "
                         "(SELECT name FROM sysdatabases WHERE name = ?4), ?3, ?5)");
  insert.Bind(1, Value(Bytes(sid)));
  insert.BindText(2, CurrentDateTimeText());
  insert.BindText(3, name);
  insert.BindText(4, defaultDatabase);
  insert.BindText(5, hash);
  insert.Step();
}

void LoginCatalog::Drop(const std::string& name) {
  if (IsSa(name)) RaiseError(15405, {name});
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  std::string stored;
  {
    SqliteStatement find(db, "SELECT name FROM \"sqlstandin$logins\" WHERE name = ?");
    find.BindText(1, name);
    if (!find.Step()) RaiseError(15007, {name});
    stored = ColumnText(find.Handle(), 0);
  }
  {
    SqliteStatement owned(db,
                          "SELECT 1 FROM sysdatabases d JOIN \"sqlstandin$logins\" l "
                          "ON l.sid = d.sid WHERE l.name = ?");
    owned.BindText(1, name);
    if (owned.Step()) RaiseError(15174, {stored});
  }
  SqliteStatement remove(db, "DELETE FROM \"sqlstandin$logins\" WHERE name = ?");
  remove.BindText(1, name);
  remove.Step();
}

void LoginCatalog::SetWindowsLogin(const std::string& name, bool group, bool deny,
                                   const std::vector<std::uint8_t>& sid) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  {
    SqliteStatement find(db, "SELECT isntname FROM \"sqlstandin$logins\" WHERE name = ?");
    find.BindText(1, name);
    if (find.Step()) {
      if (sqlite3_column_int(find.Handle(), 0) == 0) RaiseError(15407, {name});
      SqliteStatement update(db,
                             "UPDATE \"sqlstandin$logins\" SET denylogin = ?1, hasaccess = ?2, "
                             "updatedate = ?3 WHERE name = ?4");
      update.BindInt(1, deny ? 1 : 0);
      update.BindInt(2, deny ? 0 : 1);
      update.BindText(3, CurrentDateTimeText());
      update.BindText(4, name);
      update.Step();
      return;
    }
  }
  SqliteStatement insert(
      db,
      "INSERT INTO \"sqlstandin$logins\" (sid, status, createdate, updatedate, "
      "accdate, name, dbname, denylogin, hasaccess, isntname, isntgroup, "
      "isntuser, loginname) VALUES (?1, ?2, ?3, ?3, ?3, ?4, 'master', ?5, ?6, 1, "
      "?7, ?8, ?4)");
  insert.Bind(1, Value(Bytes(sid)));
  insert.BindInt(2, deny ? 10 : 9);
  insert.BindText(3, CurrentDateTimeText());
  insert.BindText(4, name);
  insert.BindInt(5, deny ? 1 : 0);
  insert.BindInt(6, deny ? 0 : 1);
  insert.BindInt(7, group ? 1 : 0);
  insert.BindInt(8, group ? 0 : 1);
  insert.Step();
}

bool LoginCatalog::RevokeWindowsLogin(const std::string& name) {
  MasterLock master = m_Data.LockMaster();
  sqlite3* db = master.OpenDb();
  {
    SqliteStatement owned(db,
                          "SELECT l.name FROM sysdatabases d JOIN \"sqlstandin$logins\" l "
                          "ON l.sid = d.sid WHERE l.name = ? AND l.isntname = 1");
    owned.BindText(1, name);
    if (owned.Step()) RaiseError(15174, {ColumnText(owned.Handle(), 0)});
  }
  SqliteStatement remove(db, "DELETE FROM \"sqlstandin$logins\" WHERE name = ? AND isntname = 1");
  remove.BindText(1, name);
  remove.Step();
  return sqlite3_changes(db) > 0;
}

void LoginCatalog::SetPassword(const std::string& name, const std::string& password) {
  const std::string hash = HashPassword(password);
  MasterLock master = m_Data.LockMaster();
  SqliteStatement update(master.OpenDb(),
                         "UPDATE \"sqlstandin$logins\" SET password_hash = ?1, updatedate = ?2 "
                         "WHERE name = ?3 AND isntname = 0");
  update.BindText(1, hash);
  update.BindText(2, CurrentDateTimeText());
  update.BindText(3, name);
  update.Step();
  if (sqlite3_changes(master.Db()) == 0) RaiseError(15007, {name});
}

bool LoginCatalog::PasswordMatches(const std::string& name, const std::string& password) {
  std::string hash;
  {
    MasterLock master = m_Data.LockMaster();
    SqliteStatement find(master.OpenDb(),
                         "SELECT password_hash FROM \"sqlstandin$logins\" WHERE name = ?");
    find.BindText(1, name);
    if (!find.Step()) RaiseError(15007, {name});
    hash = ColumnText(find.Handle(), 0);
  }
  return !hash.empty() && VerifyPassword(password, hash);
}

void LoginCatalog::SetServerRole(const std::string& login, std::string_view role, bool member) {
  const std::optional<std::string_view> column = FixedServerRole(role);
  if (!column) RaiseError(15402, {std::string(role)});
  MasterLock master = m_Data.LockMaster();
  SqliteStatement update(master.OpenDb(), "UPDATE \"sqlstandin$logins\" SET " +
                                              std::string(*column) + " = ?1 WHERE name = ?2");
  update.BindInt(1, member ? 1 : 0);
  update.BindText(2, login);
  update.Step();
  if (sqlite3_changes(master.Db()) == 0) RaiseError(15007, {login});
}

std::optional<bool> LoginCatalog::IsServerRoleMember(const std::string& login,
                                                     std::string_view role) {
  const std::optional<std::string_view> column = FixedServerRole(role);
  if (!column) return std::nullopt;
  MasterLock master = m_Data.LockMaster();
  if (!master.Db()) return std::nullopt;
  SqliteStatement query(master.OpenDb(), "SELECT " + std::string(*column) +
                                             " FROM \"sqlstandin$logins\" WHERE name = ?");
  query.BindText(1, login);
  if (!query.Step()) return std::nullopt;
  return sqlite3_column_int(query.Handle(), 0) != 0;
}

std::vector<RoleMember> LoginCatalog::ServerRoleMembers(std::string_view role) {
  std::vector<RoleMember> members;
  MasterLock master = m_Data.LockMaster();
  for (std::string_view column : kServerRoles) {
    if (!role.empty() && column != role) continue;
    SqliteStatement query(master.OpenDb(), "SELECT name, sid FROM \"sqlstandin$logins\" WHERE " +
                                               std::string(column) + " = 1 ORDER BY name");
    while (query.Step()) {
      members.push_back(RoleMember{std::string(column), ColumnText(query.Handle(), 0),
                                   ColumnBytes(query.Handle(), 1)});
    }
  }
  return members;
}

std::optional<std::vector<std::uint8_t>> LoginCatalog::SidOf(const std::string& name) {
  MasterLock master = m_Data.LockMaster();
  SqliteStatement query(master.OpenDb(), "SELECT sid FROM \"sqlstandin$logins\" WHERE name = ?");
  query.BindText(1, name);
  if (!query.Step()) return std::nullopt;
  return ColumnBytes(query.Handle(), 0);
}

std::optional<std::string> LoginCatalog::NameOfSid(const std::vector<std::uint8_t>& sid) {
  MasterLock master = m_Data.LockMaster();
  SqliteStatement query(master.OpenDb(), "SELECT name FROM \"sqlstandin$logins\" WHERE sid = ?");
  query.Bind(1, Value(Bytes(sid)));
  if (!query.Step()) return std::nullopt;
  return ColumnText(query.Handle(), 0);
}

std::optional<LoginDetails> LoginCatalog::Find(const std::string& name) {
  MasterLock master = m_Data.LockMaster();
  SqliteStatement query(master.OpenDb(),
                        "SELECT name, sid, dbname, isntname, isntgroup, denylogin FROM "
                        "\"sqlstandin$logins\" WHERE name = ?");
  query.BindText(1, name);
  if (!query.Step()) return std::nullopt;
  LoginDetails details;
  details.name = ColumnText(query.Handle(), 0);
  details.sid = ColumnBytes(query.Handle(), 1);
  details.defaultDatabase = ColumnText(query.Handle(), 2);
  details.windows = sqlite3_column_int(query.Handle(), 3) != 0;
  details.group = sqlite3_column_int(query.Handle(), 4) != 0;
  details.denied = sqlite3_column_int(query.Handle(), 5) != 0;
  return details;
}

}  // namespace standin::engine
