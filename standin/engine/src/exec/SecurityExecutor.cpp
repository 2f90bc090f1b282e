#include "exec/SecurityExecutor.h"

#include <cctype>

#include "catalog/DatabaseSecurity.h"
#include "common/Text.h"
#include "engine/Accounts.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "storage/SqliteFunctions.h"

namespace standin::engine {
namespace {

bool IsSystemName(std::string_view name) {
  return Lower(name.substr(0, 3)) == "sys";
}

constexpr std::string_view kTableActions[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"};

}  // namespace

void SecurityExecutor::EnsureCatalog(const std::string& schema, const std::string& database) {
  if (HasSecurityCatalog(m_Session.Db(), schema)) return;
  // Databases made before users existed, and the system databases, get
  // their catalogue on first use; guest has access where SQL Server gives it.
  const Sid owner = m_Session.Engine().Databases().OwnerSid(database).value_or(Sid{0x01});
  const std::string lower = Lower(database);
  SqliteTransaction write = BeginSecurityWrite(m_Session.Db());
  CreateSecurityCatalog(m_Session.Db(), schema, owner,
                        lower == "master" || lower == "msdb" || lower == "tempdb");
  write.Commit();
}

DatabaseSecurity SecurityExecutor::For(const std::string& database) {
  const std::string schema = m_Session.SchemaFor(database);
  EnsureCatalog(schema, database);
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(database);
  return DatabaseSecurity(m_Session.Db(), schema, entry ? entry->name : database,
                          m_Session.Engine().Logins(), m_Session.Login().name);
}

DatabaseSecurity SecurityExecutor::Current() const {
  auto it = m_Databases.attached.find(Lower(m_Databases.current));
  std::string schema = it == m_Databases.attached.end() ? m_Databases.current : it->second;
  if (EqualsNoCase(m_Databases.current, "tempdb")) schema = "temp";
  return DatabaseSecurity(m_Session.Db(), schema, m_Databases.current, m_Session.Engine().Logins(),
                          m_Session.Login().name);
}

bool SecurityExecutor::HasDatabaseAccess(const std::string& database) {
  if (EqualsNoCase(database, "tempdb")) return true;
  return For(database).CurrentUser().has_value();
}

void SecurityExecutor::CheckDatabaseAccess(const std::string& database) {
  const std::string key = Lower(database);
  if (m_State.accessChecked.count(key)) return;
  if (!HasDatabaseAccess(database)) RaiseError(916, {m_Session.Login().name, database});
  m_State.accessChecked.insert(key);
}

void SecurityExecutor::CheckObjectPermission(const TableInfo& table, const std::string& action) {
  if (table.schema == "temp" || m_State.ownershipChain || IsSystemName(table.name)) return;
  DatabaseSecurity security = For(table.database);
  if (!security.ObjectPermitted(table.name, action, true))
    RaiseError(229, {action, table.name, security.Database(), "dbo"});
}

void SecurityExecutor::CheckRead(const TableInfo& table) {
  CheckObjectPermission(table, "SELECT");
}

void SecurityExecutor::CheckWrite(const TableInfo& table, const std::string& action) {
  const std::string lower = Lower(table.name);
  if (table.schema != "temp" && (lower == "sysusers" || lower == "sysmembers")) RaiseError(259);
  CheckObjectPermission(table, action);
}

void SecurityExecutor::CheckStatementPermission(const std::string& action,
                                                const std::string& database) {
  if (m_State.ownershipChain) return;
  DatabaseSecurity security = For(database);
  if (!security.StatementPermitted(action)) RaiseError(262, {action, security.Database()});
}

bool SecurityExecutor::MayAlterSchema(const std::string& database, const std::string& object) {
  if (m_State.ownershipChain) return true;
  DatabaseSecurity security = For(database);
  if (security.InRole(kUidDbOwner) || security.InRole(kUidDdlAdmin)) return true;
  std::optional<Principal> user = security.CurrentUser();
  if (!user || object.empty()) return false;
  SqliteStatement owned(m_Session.Db(),
                        "SELECT 1 FROM " + QuoteIdentifier(security.Schema()) +
                            ".\"sqlstandin$permissions\" WHERE object = ? AND uid = ? "
                            "AND owner = 1");
  owned.BindText(1, object);
  owned.BindInt(2, user->uid);
  return owned.Step("SELECT");
}

void SecurityExecutor::RequireSchemaChange(const std::string& database, const std::string& object,
                                           const std::string& statement) {
  if (!MayAlterSchema(database, object)) RaiseError(262, {statement, database});
}

void SecurityExecutor::CheckCreateObject(const std::string& database,
                                         const std::string& statement) {
  CheckStatementPermission(statement, database);
  // Views and procedures of other owners would break the ownership chains
  // the permission checks rely on; only dbo's are made.
  if (statement != "CREATE TABLE" && !MayAlterSchema(database, ""))
    RaiseUnsupported("objects owned by users other than dbo");
}

void SecurityExecutor::RecordCreator(const std::string& database, const std::string& object) {
  DatabaseSecurity security = For(database);
  if (security.InRole(kUidDbOwner)) return;
  std::optional<Principal> user = security.CurrentUser();
  if (!user) return;
  // A table made by a user who is not dbo is that user's: full rights on it,
  // and the right to grant them.
  for (std::string_view action : kTableActions) {
    SqliteStatement grant(m_Session.Db(), "INSERT OR REPLACE INTO " +
                                              QuoteIdentifier(security.Schema()) +
                                              ".\"sqlstandin$permissions\" (object, action, uid, "
                                              "state, owner) VALUES (?, ?, ?, 'W', 1)");
    grant.BindText(1, object);
    grant.BindText(2, action);
    grant.BindInt(3, user->uid);
    grant.Step();
  }
}

void SecurityExecutor::ForgetObjectPermissions(const std::string& schema,
                                               const std::string& object) {
  if (!HasSecurityCatalog(m_Session.Db(), schema)) return;
  SqliteStatement remove(m_Session.Db(), "DELETE FROM " + QuoteIdentifier(schema) +
                                             ".\"sqlstandin$permissions\" WHERE object = ?");
  remove.BindText(1, object);
  remove.Step();
}

bool SecurityExecutor::OwnsOrAdministers(const std::string& database, int otherRole) {
  // sysadmin and dbo count as members of db_owner.
  DatabaseSecurity security = For(database);
  return security.InRole(kUidDbOwner) || (otherRole != 0 && security.InRole(otherRole));
}

void SecurityExecutor::CheckExecute(const std::string& database, const std::string& procedure) {
  if (m_State.ownershipChain) return;
  DatabaseSecurity security = For(database);
  if (!security.ObjectPermitted(procedure, "EXECUTE", false))
    RaiseError(229, {"EXECUTE", procedure, security.Database(), "dbo"});
}

void SecurityExecutor::RunPermission(const PermissionStatement& statement, BatchSink& sink) {
  DatabaseSecurity security = For(m_Databases.current);
  const std::string& verb = statement.verb;
  const ObjectName& named = statement.object;
  // The object: a table or view (sqlite_master) or a procedure.
  std::string object;
  bool isProcedure = false;
  if (!named.name.empty()) {
    if (!named.database.empty() && !EqualsNoCase(named.database, m_Databases.current))
      RaiseUnsupported(verb + " on an object of another database");
    const std::string prefix = QuoteIdentifier(security.Schema()) + ".";
    SqliteStatement table(m_Session.Db(), "SELECT name FROM " + prefix +
                                              "sqlite_master WHERE type IN ('table', 'view') AND "
                                              "name = ? COLLATE standin_ci");
    table.BindText(1, named.name);
    if (table.Step("SELECT") && !Lower(named.name).starts_with("sqlstandin$")) {
      object = reinterpret_cast<const char*>(sqlite3_column_text(table.Handle(), 0));
    } else {
      SqliteStatement procedure(m_Session.Db(), "SELECT name FROM " + prefix +
                                                    "\"sqlstandin$objects\" WHERE kind = 'P' AND "
                                                    "name = ? COLLATE standin_ci");
      procedure.BindText(1, named.name);
      if (!procedure.Step("SELECT")) RaiseError(208, {named.written});
      object = reinterpret_cast<const char*>(sqlite3_column_text(procedure.Handle(), 0));
      isProcedure = true;
    }
  }
  // ALL means every permission that applies to the object.
  std::vector<std::string> actions;
  for (const std::string& action : statement.permissions) {
    if (action != "ALL") {
      actions.push_back(action);
    } else if (object.empty()) {
      for (const char* each :
           {"CREATE DATABASE", "CREATE DEFAULT", "CREATE FUNCTION", "CREATE PROCEDURE",
            "CREATE RULE", "CREATE TABLE", "CREATE VIEW", "BACKUP DATABASE", "BACKUP LOG"}) {
        if (std::string_view(each) != "CREATE DATABASE" ||
            EqualsNoCase(m_Databases.current, "master"))
          actions.emplace_back(each);
      }
    } else if (isProcedure) {
      actions.emplace_back("EXECUTE");
    } else {
      for (std::string_view each : kTableActions) actions.emplace_back(each);
    }
  }
  for (const std::string& action : actions) {
    const bool statementPermission = action.starts_with("CREATE") || action.starts_with("BACKUP");
    if (statementPermission != object.empty() || (isProcedure && action != "EXECUTE") ||
        (!isProcedure && !object.empty() && action == "EXECUTE"))
      RaiseError(4606, {action});
    if (action == "CREATE DATABASE") {
      if (!EqualsNoCase(m_Databases.current, "master")) RaiseError(4619);
      if (!security.IsSysadmin()) RaiseError(4602);
    }
    const bool allowed =
        object.empty() ? security.InRole(kUidSecurityAdmin) : security.CanGrant(object, action);
    if (!allowed) RaiseError(4613);
  }
  std::vector<Principal> grantees;
  for (const std::string& name : statement.grantees) {
    std::optional<Principal> grantee = security.Find(name);
    if (!grantee || (!grantee->role && !grantee->hasAccess)) RaiseError(4604, {name});
    if (grantee->uid == kUidDbo || IsFixedDatabaseRole(grantee->uid)) RaiseError(4617);
    grantees.push_back(*grantee);
  }
  const std::string table = QuoteIdentifier(security.Schema()) + ".\"sqlstandin$permissions\"";
  SqliteTransaction write = BeginSecurityWrite(m_Session.Db());
  for (const Principal& grantee : grantees) {
    for (const std::string& action : actions) {
      std::string sql;
      if (verb == "REVOKE" && statement.grantOptionFor) {
        sql = "UPDATE " + table +
              " SET state = 'G' WHERE object = ?1 AND action = ?2 AND uid = ?3 AND state = 'W'";
      } else if (verb == "REVOKE") {
        sql = "DELETE FROM " + table + " WHERE object = ?1 AND action = ?2 AND uid = ?3";
      } else {
        const char* state = verb == "DENY" ? "D" : statement.withGrantOption ? "W" : "G";
        sql = "INSERT INTO " + table + " (object, action, uid, state) VALUES (?1, ?2, ?3, '" +
              state + "') ON CONFLICT (object, action, uid) DO UPDATE SET state = excluded.state";
      }
      SqliteStatement change(m_Session.Db(), sql);
      change.BindText(1, object);
      change.BindText(2, action);
      change.BindInt(3, grantee.uid);
      change.Step();
    }
  }
  write.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

std::string SecurityExecutor::IsMemberValue(const std::string& key, ColumnType& type) const {
  type = ColumnType{TypeId::Int, 0, 0, 0};
  const std::string name = key.substr(key.find(kPropertySeparator) + 1);
  DatabaseSecurity security = Current();
  if (!HasSecurityCatalog(m_Session.Db(), security.Schema())) return "NULL";
  if (name.find('\\') != std::string::npos) {
    // The login cannot be a Windows account's member: Windows logins do not
    // connect here.
    return AccountDirectory(m_Session.Engine().Data().Root()).Find(name) ? "0" : "NULL";
  }
  std::optional<Principal> principal = security.Find(name);
  if (!principal || !principal->role) return "NULL";
  return security.Memberships().count(principal->uid) ? "1" : "0";
}

std::string SecurityExecutor::CurrentUserName() const {
  DatabaseSecurity security = Current();
  if (security.IsSysadmin()) return "dbo";
  if (!HasSecurityCatalog(m_Session.Db(), security.Schema())) return m_Session.Login().name;
  std::optional<Principal> user = security.CurrentUser();
  return user ? user->name : m_Session.Login().name;
}

std::string SecurityExecutor::CurrentUserId() const {
  DatabaseSecurity security = Current();
  if (security.IsSysadmin()) return "1";
  if (!HasSecurityCatalog(m_Session.Db(), security.Schema())) return "NULL";
  std::optional<Principal> user = security.CurrentUser();
  return user ? std::to_string(user->uid) : "NULL";
}

}  // namespace standin::engine
