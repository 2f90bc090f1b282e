#include "exec/TransactionExecutor.h"

#include "common/ScopeGuard.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"

namespace standin::engine {

void TransactionExecutor::EnsureStarted() {
  sqlite3* db = m_Session.Db();
  if (m_State.tranCount == 0 || !sqlite3_get_autocommit(db)) return;
  Execute(db, m_State.statementTempOnly ? "BEGIN" : "BEGIN IMMEDIATE");
  m_State.started = true;
}

SqliteTransaction TransactionExecutor::BeginWrite() {
  sqlite3* db = m_Session.Db();
  if (m_State.tranCount == 0) {
    // The session's temp schema is its own: writing only there waits for nobody.
    return SqliteTransaction(db, m_State.statementTempOnly ? SqliteTransaction::Lock::Deferred
                                                           : SqliteTransaction::Lock::Immediate);
  }
  EnsureStarted();
  return SqliteTransaction(db, "sqlstandin_statement");
}

bool TransactionExecutor::LostBySqlite() const {
  return m_State.tranCount > 0 && m_State.started && sqlite3_get_autocommit(m_Session.Db());
}

void TransactionExecutor::Abandon(BatchSink& sink) {
  if (!sqlite3_get_autocommit(m_Session.Db())) Execute(m_Session.Db(), "ROLLBACK");
  m_State.tranCount = 0;
  m_State.started = false;
  sink.EnvironmentChanged(EnvChange{EnvChangeType::RollbackTransaction, "", m_State.descriptor});
}

void TransactionExecutor::Begin(const BeginTransactionStatement&, BatchSink& sink) {
  if (m_State.tranCount == 0) {
    // Nothing is locked until the transaction's first write.
    m_State.started = false;
    m_State.start = m_Databases.useClock;
    std::uint64_t descriptor = m_Session.Engine().NextTransactionDescriptor();
    m_State.descriptor.clear();
    for (int i = 0; i < 8; ++i)
      m_State.descriptor += static_cast<char>((descriptor >> (8 * i)) & 0xFF);
    sink.EnvironmentChanged(EnvChange{EnvChangeType::BeginTransaction, m_State.descriptor, ""});
  }
  ++m_State.tranCount;
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void TransactionExecutor::Commit(const CommitTransactionStatement&, BatchSink& sink) {
  if (m_State.tranCount == 0) RaiseError(3902);
  if (--m_State.tranCount == 0) {
    // A COMMIT that fails leaves the transaction open.
    ScopeGuard reopen([&] { ++m_State.tranCount; });
    if (!sqlite3_get_autocommit(m_Session.Db())) Execute(m_Session.Db(), "COMMIT");
    reopen.Dismiss();
    m_State.started = false;
    sink.EnvironmentChanged(EnvChange{EnvChangeType::CommitTransaction, "", m_State.descriptor});
  }
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void TransactionExecutor::Rollback(const RollbackTransactionStatement&, BatchSink& sink) {
  if (m_State.tranCount == 0) RaiseError(3903);
  Abandon(sink);
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
