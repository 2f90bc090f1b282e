// The databases attached to the session's connection: attaching on first use
// (within SQLite's limit of ten), keeping the attachments in step with the
// catalogue when databases are dropped or detached elsewhere, and the
// current database others see.
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {

std::string SessionImpl::AttachDatabase(const DatabaseEntry& database) {
  const std::string key = Lower(database.name);
  m_DatabaseState.attachedUse[key] = ++m_DatabaseState.useClock;
  if (auto it = m_DatabaseState.attached.find(key); it != m_DatabaseState.attached.end())
    return it->second;
  if (!sqlite3_get_autocommit(m_Db.get())) {
    RaiseUnsupported("the first use of database '" + database.name +
                     "' inside a transaction that has written");
  }
  // SQLite attaches at most 10 databases to a connection: make room by
  // letting go of the one used longest ago, never one of this statement's.
  if (m_DatabaseState.attached.size() >=
      static_cast<std::size_t>(sqlite3_limit(m_Db.get(), SQLITE_LIMIT_ATTACHED, -1))) {
    std::string victim;
    std::uint64_t oldest = m_DatabaseState.statementStart;
    for (const auto& [name, schema] : m_DatabaseState.attached) {
      if (name == Lower(m_DatabaseState.current) || m_DatabaseState.attachedUse[name] >= oldest)
        continue;
      oldest = m_DatabaseState.attachedUse[name];
      victim = name;
    }
    if (victim.empty())
      RaiseUnsupported("more than " + std::to_string(m_DatabaseState.attached.size()) +
                       " databases in one statement");
    Execute(m_Db.get(), "DETACH DATABASE " + QuoteIdentifier(m_DatabaseState.attached[victim]));
    m_DatabaseState.attached.erase(victim);
  }
  std::string schema = database.name;
  // SQLite's own schema names cannot be attached under; "$" keeps the
  // replacement apart from any plain database name.
  if (key == "main" || key == "temp") schema = "sqlstandin$" + database.name;
  SqliteStatement attach(m_Db.get(), "ATTACH DATABASE ? AS " + QuoteIdentifier(schema));
  attach.BindText(1, database.hostPath.string());
  attach.Step();
  Execute(m_Db.get(), "PRAGMA " + QuoteIdentifier(schema) + ".synchronous=NORMAL");
  m_DatabaseState.attached[key] = schema;
  m_Security.EnsureCatalog(schema, database.name);
  return schema;
}

std::string SessionImpl::SchemaFor(const std::string& database) {
  if (EqualsNoCase(database, "tempdb")) return "temp";
  if (auto it = m_DatabaseState.attached.find(Lower(database));
      it != m_DatabaseState.attached.end()) {
    m_DatabaseState.attachedUse[it->first] = ++m_DatabaseState.useClock;
    return it->second;
  }
  std::optional<DatabaseEntry> entry = m_Engine.Databases().Find(database);
  if (!entry) RaiseError(911, {database});
  return AttachDatabase(*entry);
}

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

}  // namespace standin::engine
