// What the session's login may do in each database: access (916), object
// permissions on reads, writes and EXEC (229), statement permissions (262),
// GRANT/REVOKE/DENY, IS_MEMBER and USER_NAME.
//
// All objects here belong to dbo, so a view or procedure and the objects it
// uses always share their owner: only the outer object's permission is
// checked (ownership chaining). Views get this from SQLite, which expands
// them without asking again; procedure bodies run with
// SecurityState::ownershipChain set.
#pragma once

#include <string>

#include "catalog/DatabaseSecurity.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "parse/Ast.h"

namespace standin::engine {

class SecurityExecutor {
 public:
  SecurityExecutor(SessionServices& session, SecurityState& state, StatementOutcome& outcome,
                   const DatabaseState& databases)
      : m_Session(session), m_State(state), m_Outcome(outcome), m_Databases(databases) {}

  void RunPermission(const PermissionStatement& statement, BatchSink& sink);

  // Creates the users, roles and permissions tables of a database attached
  // under `schema` the first time it is used.
  void EnsureCatalog(const std::string& schema, const std::string& database);
  // The login's standing in a database (attached on demand).
  DatabaseSecurity For(const std::string& database);
  DatabaseSecurity Current() const;
  bool HasDatabaseAccess(const std::string& database);
  // 916 unless the login is a user of the database, guest has access there,
  // or the login is sysadmin. Checked once per batch and database.
  void CheckDatabaseAccess(const std::string& database);
  void CheckObjectPermission(const TableInfo& table, const std::string& action);
  void CheckRead(const TableInfo& table);
  // INSERT, UPDATE, DELETE of a table: 229, or 259 for the security tables.
  void CheckWrite(const TableInfo& table, const std::string& action);
  void CheckStatementPermission(const std::string& action, const std::string& database);
  // db_owner, db_ddladmin, or the user who created `object`.
  bool MayAlterSchema(const std::string& database, const std::string& object);
  void RequireSchemaChange(const std::string& database, const std::string& object,
                           const std::string& statement);
  void CheckCreateObject(const std::string& database, const std::string& statement);
  void RecordCreator(const std::string& database, const std::string& object);
  void ForgetObjectPermissions(const std::string& schema, const std::string& object);
  void CheckExecute(const std::string& database, const std::string& procedure);
  // The login is sysadmin, the database's owner, a member of db_owner or of
  // `otherRole` (a fixed database role's uid; 0 for none) in `database`
  // (db_owner's statements: BACKUP LOG, DBCC SHRINKFILE).
  bool OwnsOrAdministers(const std::string& database, int otherRole = 0);

  std::string IsMemberValue(const std::string& key, ColumnType& type) const;  // IS_MEMBER
  std::string CurrentUserName() const;                                        // USER_NAME()
  std::string CurrentUserId() const;  // USER_ID(): SQL text of the uid, NULL without access

 private:
  SessionServices& m_Session;
  SecurityState& m_State;
  StatementOutcome& m_Outcome;
  const DatabaseState& m_Databases;
};

}  // namespace standin::engine
