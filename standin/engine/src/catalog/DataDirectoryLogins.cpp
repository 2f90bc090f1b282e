// SQL Server logins and fixed server roles in master.
#include <crypt.h>

#include <cctype>
#include <random>

#include "engine/Errors.h"
#include "storage/DataDirectory.h"
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

// The engine closes master on shutdown while a late request may still come.
sqlite3* OpenMaster(const ConnectionPtr& master) {
  if (!master) RaiseError(kErrorStorage, {"master is closed"});
  return master.get();
}

bool IsSa(const std::string& name) {
  return name.size() == 2 && std::tolower(static_cast<unsigned char>(name[0])) == 's' &&
         std::tolower(static_cast<unsigned char>(name[1])) == 'a';
}

}  // namespace

std::string HashPassword(const std::string& password) {
  char salt[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt)) {
    throw std::runtime_error("cannot generate a password salt");
  }
  crypt_data data{};
  const char* hash = crypt_rn(password.c_str(), salt, &data, sizeof data);
  if (!hash || hash[0] == '*') throw std::runtime_error("cannot hash the password");
  return hash;
}

bool VerifyPassword(const std::string& password, const std::string& hash) {
  crypt_data data{};
  const char* computed = crypt_rn(password.c_str(), hash.c_str(), &data, sizeof data);
  if (!computed || computed[0] == '*') return false;
  const std::string result(computed);
  if (result.size() != hash.size()) return false;
  unsigned char difference = 0;  // constant time: no early exit on the first mismatch
  for (std::size_t i = 0; i < hash.size(); ++i)
    difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
  return difference == 0;
}

std::optional<LoginEntry> DataDirectory::CheckLogin(const std::string& name,
                                                    const std::string& password) {
  std::string hash;
  LoginEntry entry;
  {
    std::lock_guard lock(m_Mutex);
    if (!m_Master) return std::nullopt;
    SqliteStatement query(m_Master.get(),
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

bool LoginHasServerRole(DataDirectory& data, const std::string& login, std::string_view role) {
  if (data.IsServerRoleMember(login, "sysadmin").value_or(false)) return true;
  return role != "sysadmin" && data.IsServerRoleMember(login, role).value_or(false);
}

void DataDirectory::AddLogin(const std::string& name, const std::string& password,
                             const std::string& defaultDatabase) {
  // Hashing is slow on purpose; do it outside the lock.
  const std::string hash = HashPassword(password);
  const std::vector<std::uint8_t> sid = NewSid();
  std::lock_guard lock(m_Mutex);
  sqlite3* db = OpenMaster(m_Master);
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

void DataDirectory::DropLogin(const std::string& name) {
  if (IsSa(name)) RaiseError(15405, {name});
  std::lock_guard lock(m_Mutex);
  sqlite3* db = OpenMaster(m_Master);
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

bool DataDirectory::HasDatabaseUsers(const std::vector<std::uint8_t>& sid) {
  for (const DatabaseEntry& database : Databases()) {
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

void DataDirectory::SetWindowsLogin(const std::string& name, bool group, bool deny,
                                    const std::vector<std::uint8_t>& sid) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = OpenMaster(m_Master);
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

bool DataDirectory::RevokeWindowsLogin(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  sqlite3* db = OpenMaster(m_Master);
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

void DataDirectory::SetPassword(const std::string& name, const std::string& password) {
  const std::string hash = HashPassword(password);
  std::lock_guard lock(m_Mutex);
  SqliteStatement update(OpenMaster(m_Master),
                         "UPDATE \"sqlstandin$logins\" SET password_hash = ?1, updatedate = ?2 "
                         "WHERE name = ?3 AND isntname = 0");
  update.BindText(1, hash);
  update.BindText(2, CurrentDateTimeText());
  update.BindText(3, name);
  update.Step();
  if (sqlite3_changes(m_Master.get()) == 0) RaiseError(15007, {name});
}

bool DataDirectory::PasswordMatches(const std::string& name, const std::string& password) {
  std::string hash;
  {
    std::lock_guard lock(m_Mutex);
    SqliteStatement find(OpenMaster(m_Master),
                         "SELECT password_hash FROM \"sqlstandin$logins\" WHERE name = ?");
    find.BindText(1, name);
    if (!find.Step()) RaiseError(15007, {name});
    hash = ColumnText(find.Handle(), 0);
  }
  return !hash.empty() && VerifyPassword(password, hash);
}

void DataDirectory::SetServerRole(const std::string& login, std::string_view role, bool member) {
  const std::optional<std::string_view> column = FixedServerRole(role);
  if (!column) RaiseError(15402, {std::string(role)});
  std::lock_guard lock(m_Mutex);
  SqliteStatement update(OpenMaster(m_Master), "UPDATE \"sqlstandin$logins\" SET " +
                                                   std::string(*column) + " = ?1 WHERE name = ?2");
  update.BindInt(1, member ? 1 : 0);
  update.BindText(2, login);
  update.Step();
  if (sqlite3_changes(m_Master.get()) == 0) RaiseError(15007, {login});
}

std::optional<bool> DataDirectory::IsServerRoleMember(const std::string& login,
                                                      std::string_view role) {
  const std::optional<std::string_view> column = FixedServerRole(role);
  if (!column) return std::nullopt;
  std::lock_guard lock(m_Mutex);
  if (!m_Master) return std::nullopt;
  SqliteStatement query(OpenMaster(m_Master), "SELECT " + std::string(*column) +
                                                  " FROM \"sqlstandin$logins\" WHERE name = ?");
  query.BindText(1, login);
  if (!query.Step()) return std::nullopt;
  return sqlite3_column_int(query.Handle(), 0) != 0;
}

std::vector<RoleMember> DataDirectory::ServerRoleMembers(std::string_view role) {
  std::vector<RoleMember> members;
  std::lock_guard lock(m_Mutex);
  for (std::string_view column : kServerRoles) {
    if (!role.empty() && column != role) continue;
    SqliteStatement query(OpenMaster(m_Master),
                          "SELECT name, sid FROM \"sqlstandin$logins\" WHERE " +
                              std::string(column) + " = 1 ORDER BY name");
    while (query.Step()) {
      members.push_back(RoleMember{std::string(column), ColumnText(query.Handle(), 0),
                                   ColumnBytes(query.Handle(), 1)});
    }
  }
  return members;
}

std::optional<std::vector<std::uint8_t>> DataDirectory::LoginSid(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  SqliteStatement query(OpenMaster(m_Master),
                        "SELECT sid FROM \"sqlstandin$logins\" WHERE name = ?");
  query.BindText(1, name);
  if (!query.Step()) return std::nullopt;
  return ColumnBytes(query.Handle(), 0);
}

std::optional<std::string> DataDirectory::LoginNameOfSid(const std::vector<std::uint8_t>& sid) {
  std::lock_guard lock(m_Mutex);
  SqliteStatement query(OpenMaster(m_Master),
                        "SELECT name FROM \"sqlstandin$logins\" WHERE sid = ?");
  query.Bind(1, Value(Bytes(sid)));
  if (!query.Step()) return std::nullopt;
  return ColumnText(query.Handle(), 0);
}

std::optional<LoginDetails> DataDirectory::FindLogin(const std::string& name) {
  std::lock_guard lock(m_Mutex);
  SqliteStatement query(OpenMaster(m_Master),
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

std::optional<std::vector<std::uint8_t>> DataDirectory::DatabaseOwnerSid(
    const std::string& database) {
  std::lock_guard lock(m_Mutex);
  SqliteStatement query(OpenMaster(m_Master), "SELECT sid FROM sysdatabases WHERE name = ?");
  query.BindText(1, database);
  if (!query.Step()) return std::nullopt;
  return ColumnBytes(query.Handle(), 0);
}

}  // namespace standin::engine
