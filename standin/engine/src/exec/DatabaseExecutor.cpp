// CREATE, DROP and ALTER DATABASE and USE.
#include "exec/DatabaseExecutor.h"

#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/TransactionLog.h"

namespace standin::engine {
namespace {

bool IsSystemDatabase(const std::string& lower) {
  return lower == "master" || lower == "model" || lower == "msdb" || lower == "tempdb";
}

}  // namespace

void DatabaseExecutor::RunAlterDatabase(const AlterDatabaseStatement& statement, BatchSink& sink) {
  // SQL Server 7.0's ALTER DATABASE knows files only, not SET.
  if (m_Session.Engine().Options().productVersion == 7) RaiseError(156, {"SET"});
  if (m_Transaction.tranCount > 0) RaiseError(226, {"ALTER DATABASE"});
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(statement.database);
  if (!entry) RaiseError(911, {statement.database});
  constexpr std::int64_t kStatusAutoShrink = 4194304;
  m_Session.Engine().Databases().SetStatus(entry->name, kStatusAutoShrink, statement.autoShrink);
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void DatabaseExecutor::RunDropDatabase(const DropDatabaseStatement& statement, BatchSink& sink) {
  if (!m_Session.Engine().Logins().HasServerRole(m_Session.Login().name, "dbcreator"))
    RaiseError(3704);
  if (m_Transaction.tranCount > 0) RaiseError(226, {"DROP DATABASE"});
  const std::string lower = Lower(statement.database);
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(statement.database);
  if (!entry) RaiseError(3701, {"database", statement.database});
  if (IsSystemDatabase(lower)) RaiseError(3708, {entry->name});
  // In use means somebody's current database, the caller's included.
  if (Lower(m_Databases.current) == lower ||
      m_Session.Engine().DatabaseInUse(entry->name, m_Session.SessionId()))
    RaiseError(3702, {entry->name});
  // Our own attachment goes first so SQLite holds no handle on the files.
  if (auto it = m_Databases.attached.find(lower); it != m_Databases.attached.end()) {
    Execute(m_Session.Db(), "DETACH DATABASE " + QuoteIdentifier(it->second));
    m_Databases.attached.erase(it);
    m_Databases.attachedUse.erase(lower);
  }
  const std::vector<std::string> deleted = m_Session.Engine().Databases().Drop(entry->name);
  m_Session.Engine().ForgetDatabase(entry->name);
  for (const std::string& file : deleted) m_Session.Report(MakeMessage(3738, {file}), sink);
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void DatabaseExecutor::RunCreateDatabase(const CreateDatabaseStatement& statement,
                                         BatchSink& sink) {
  if (!m_Session.Engine().Logins().HasServerRole(m_Session.Login().name, "dbcreator"))
    RaiseError(262, {"CREATE DATABASE", "master"});
  if (m_Transaction.tranCount > 0) RaiseError(226, {"CREATE DATABASE"});
  if (!statement.logFiles.empty()) {
    const std::string beside = LogPathBeside(
        statement.dataFiles.empty() ? std::string() : statement.dataFiles[0].fileName);
    if (statement.dataFiles.empty() || !EqualsNoCase(statement.logFiles[0].fileName, beside))
      RaiseUnsupported("a log file other than <data file>_log.LDF beside the data file");
  }
  try {
    // The login that creates a database owns it.
    const DatabaseEntry entry = m_Session.Engine().Databases().Create(
        statement.database, statement.dataFiles.empty() ? "" : statement.dataFiles[0].fileName,
        m_Session.Engine().Logins().SidOf(m_Session.Login().name).value_or(Sid{0x01}));
    ReportAllocation(entry, sink);
  } catch (const SqlError& error) {
    // File errors are followed by 1802, which names the failed statement.
    if (error.Msg().number != 5123 && error.Msg().number != 5170) throw;
    Message message = error.Msg();
    message.line = statement.line;
    m_Session.Report(message, sink);
    RaiseError(1802);
  }
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void DatabaseExecutor::RunUse(const UseStatement& statement, BatchSink& sink) {
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(statement.database);
  if (!entry) RaiseError(911, {statement.database});
  // tempdb is the session's own temporary schema: nothing to attach.
  if (!EqualsNoCase(entry->name, "tempdb")) m_Session.AttachDatabase(*entry);
  if (!m_Security.HasDatabaseAccess(entry->name))
    RaiseError(916, {m_Session.Login().name, entry->name});
  const std::string old = m_Databases.current;
  m_Databases.current = entry->name;
  m_Databases.currentId = entry->id;
  m_Session.PublishCurrentDatabase();
  sink.EnvironmentChanged(EnvChange{EnvChangeType::Database, entry->name, old});
  m_Session.Report(MakeMessage(5701, {entry->name}), sink);
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
