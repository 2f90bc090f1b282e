// CREATE DATABASE, USE, DROP DATABASE and keeping each session's attachments in step with the
// catalogue.
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/TransactionLog.h"

namespace standin::engine {
namespace {

bool IsSystemDatabase(const std::string& lower) {
  return lower == "master" || lower == "model" || lower == "msdb" || lower == "tempdb";
}

}  // namespace

void SessionImpl::PublishCurrentDatabase() {
  std::lock_guard lock(m_ProcessMutex);
  m_ProcessDatabase = m_DatabaseState.current;
}

void SessionImpl::ForgetDatabase(const std::string& name, bool callersThread) {
  {
    std::lock_guard lock(m_ProcessMutex);
    m_StaleDatabases.insert(Lower(name));
  }
  if (callersThread) {
    DetachStaleDatabases();
    return;
  }
  // The connection is only ever used under the run lock: an idle session's
  // is free to use from here.
  std::unique_lock run(m_RunMutex, std::try_to_lock);
  if (run.owns_lock()) DetachStaleDatabases();
}

void SessionImpl::DetachStaleDatabases() {
  std::set<std::string> stale;
  {
    std::lock_guard lock(m_ProcessMutex);
    stale.swap(m_StaleDatabases);
  }
  std::set<std::string> kept;
  for (const std::string& name : stale) {
    auto it = m_DatabaseState.attached.find(name);
    if (it == m_DatabaseState.attached.end()) continue;
    // A database this session's open transaction has used stays held until
    // the transaction ends, as SQL Server's database lock does, even when
    // nothing has been written yet. SQLite refuses as well while a
    // transaction reads the file. Either way it stays attached, and in use
    // for a detach.
    const bool heldByTransaction =
        m_Transaction.tranCount > 0 && m_DatabaseState.attachedUse[name] > m_Transaction.start;
    if (heldByTransaction) {
      kept.insert(name);
      continue;
    }
    if (m_Db && sqlite3_exec(m_Db.get(), ("DETACH DATABASE " + QuoteIdentifier(it->second)).c_str(),
                             nullptr, nullptr, nullptr) != SQLITE_OK) {
      kept.insert(name);
      continue;
    }
    m_DatabaseState.attached.erase(it);
    m_DatabaseState.attachedUse.erase(name);
  }
  if (!kept.empty()) {
    std::lock_guard lock(m_ProcessMutex);
    m_StaleDatabases.insert(kept.begin(), kept.end());
  }
}

void SessionImpl::RunAlterDatabase(const AlterDatabaseStatement& statement, BatchSink& sink) {
  // SQL Server 7.0's ALTER DATABASE knows files only, not SET.
  if (m_Engine.Options().productVersion == 7) RaiseError(156, {"SET"});
  if (m_Transaction.tranCount > 0) RaiseError(226, {"ALTER DATABASE"});
  std::optional<DatabaseEntry> entry = m_Engine.Data().FindDatabase(statement.database);
  if (!entry) RaiseError(911, {statement.database});
  constexpr std::int64_t kStatusAutoShrink = 4194304;
  m_Engine.Data().SetStatus(entry->name, kStatusAutoShrink, statement.autoShrink);
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunDropDatabase(const DropDatabaseStatement& statement, BatchSink& sink) {
  if (!LoginHasServerRole(m_Engine.Data(), m_Login.name, "dbcreator")) RaiseError(3704);
  if (m_Transaction.tranCount > 0) RaiseError(226, {"DROP DATABASE"});
  const std::string lower = Lower(statement.database);
  std::optional<DatabaseEntry> entry = m_Engine.Data().FindDatabase(statement.database);
  if (!entry) RaiseError(3701, {"database", statement.database});
  if (IsSystemDatabase(lower)) RaiseError(3708, {entry->name});
  // In use means somebody's current database, the caller's included.
  if (Lower(m_DatabaseState.current) == lower || m_Engine.DatabaseInUse(entry->name, m_Spid))
    RaiseError(3702, {entry->name});
  // Our own attachment goes first so SQLite holds no handle on the files.
  if (auto it = m_DatabaseState.attached.find(lower); it != m_DatabaseState.attached.end()) {
    Execute(m_Db.get(), "DETACH DATABASE " + QuoteIdentifier(it->second));
    m_DatabaseState.attached.erase(it);
    m_DatabaseState.attachedUse.erase(lower);
  }
  const std::vector<std::string> deleted = m_Engine.Data().DropDatabase(entry->name);
  m_Engine.ForgetDatabase(entry->name);
  for (const std::string& file : deleted) Report(MakeMessage(3738, {file}), sink);
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunCreateDatabase(const CreateDatabaseStatement& statement, BatchSink& sink) {
  if (!LoginHasServerRole(m_Engine.Data(), m_Login.name, "dbcreator"))
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
    const DatabaseEntry entry = m_Engine.Data().CreateDatabase(
        statement.database, statement.dataFiles.empty() ? "" : statement.dataFiles[0].fileName,
        m_Engine.Data().LoginSid(m_Login.name).value_or(Sid{0x01}));
    ReportAllocation(entry, sink);
  } catch (const SqlError& error) {
    // File errors are followed by 1802, which names the failed statement.
    if (error.Msg().number != 5123 && error.Msg().number != 5170) throw;
    Message message = error.Msg();
    message.line = statement.line;
    Report(message, sink);
    RaiseError(1802);
  }
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunUse(const UseStatement& statement, BatchSink& sink) {
  std::optional<DatabaseEntry> entry = m_Engine.Data().FindDatabase(statement.database);
  if (!entry) RaiseError(911, {statement.database});
  // tempdb is the session's own temporary schema: nothing to attach.
  if (!EqualsNoCase(entry->name, "tempdb")) AttachDatabase(*entry);
  if (!m_Security.HasDatabaseAccess(entry->name)) RaiseError(916, {m_Login.name, entry->name});
  const std::string old = m_DatabaseState.current;
  m_DatabaseState.current = entry->name;
  m_DatabaseState.currentId = entry->id;
  PublishCurrentDatabase();
  sink.EnvironmentChanged(EnvChange{EnvChangeType::Database, entry->name, old});
  Report(MakeMessage(5701, {entry->name}), sink);
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
