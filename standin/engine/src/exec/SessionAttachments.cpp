// Keeping a session's attachments in step with the catalogue: databases
// dropped or detached elsewhere, and the current database others see.
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {

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
