// The session as a process: the scope a batch runs in, what sp_who shows,
// and KILL.
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "exec/SessionImpl.h"

namespace standin::engine {

SessionImpl::RunningScope::RunningScope(SessionImpl& session)
    : m_Session(session), m_Lock(session.m_RunMutex) {
  m_Session.m_Running = true;
  m_Session.DetachStaleDatabases();
}

SessionImpl::RunningScope::~RunningScope() {
  m_Session.RollbackIfKilled();
  m_Session.PublishCurrentDatabase();
  m_Session.m_Running = false;
}

void SessionImpl::RollbackIfKilled() {
  if (!m_Killed.load() || !m_Db) return;
  if (!sqlite3_get_autocommit(m_Db.get()))
    sqlite3_exec(m_Db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  m_Transaction.tranCount = 0;
  m_Transaction.started = false;
}

ProcessInfo SessionImpl::Process() const {
  ProcessInfo info;
  info.spid = m_Spid;
  info.loginName = m_Login.name;
  info.hostName = m_Request.hostName;
  info.running = m_Running.load();
  std::lock_guard lock(m_ProcessMutex);
  info.database = m_ProcessDatabase;
  return info;
}

void SessionImpl::RunKill(const KillStatement& statement, BatchSink& sink) {
  if (!m_Engine.Logins().HasServerRole(m_Login.name, "processadmin")) RaiseError(6102);
  const Value spid = EvaluateScalar(*statement.spid, ColumnType{TypeId::Int, 0, 0, 0});
  const std::int64_t target =
      std::holds_alternative<std::int64_t>(spid) ? std::get<std::int64_t>(spid) : -1;
  if (target == m_Spid) RaiseError(6104);
  if (target < 1 || target > 32767 || !m_Engine.KillSession(static_cast<int>(target))) {
    RaiseError(6106, {std::to_string(target)});
  }
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
