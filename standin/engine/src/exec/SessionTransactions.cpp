// BEGIN, COMMIT and ROLLBACK TRANSACTION and the SQLite transactions under
// them: a user transaction opens its SQLite transaction at its first write.
#include "common/ScopeGuard.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {

void SessionImpl::EnsureTransactionStarted() {
  if (m_Transaction.tranCount == 0 || !sqlite3_get_autocommit(m_Db.get())) return;
  Execute(m_Db.get(), m_Transaction.statementTempOnly ? "BEGIN" : "BEGIN IMMEDIATE");
  m_Transaction.started = true;
}

SqliteTransaction SessionImpl::BeginWrite() {
  if (m_Transaction.tranCount == 0) {
    // The session's temp schema is its own: writing only there waits for nobody.
    return SqliteTransaction(m_Db.get(), m_Transaction.statementTempOnly
                                             ? SqliteTransaction::Lock::Deferred
                                             : SqliteTransaction::Lock::Immediate);
  }
  EnsureTransactionStarted();
  return SqliteTransaction(m_Db.get(), "sqlstandin_statement");
}

void SessionImpl::RunBeginTransaction(const BeginTransactionStatement&, BatchSink& sink) {
  if (m_Transaction.tranCount == 0) {
    // Nothing is locked until the transaction's first write.
    m_Transaction.started = false;
    m_Transaction.start = m_Databases.useClock;
    std::uint64_t descriptor = m_Engine.NextTransactionDescriptor();
    m_Transaction.descriptor.clear();
    for (int i = 0; i < 8; ++i)
      m_Transaction.descriptor += static_cast<char>((descriptor >> (8 * i)) & 0xFF);
    sink.EnvironmentChanged(
        EnvChange{EnvChangeType::BeginTransaction, m_Transaction.descriptor, ""});
  }
  ++m_Transaction.tranCount;
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunCommitTransaction(const CommitTransactionStatement&, BatchSink& sink) {
  if (m_Transaction.tranCount == 0) RaiseError(3902);
  if (--m_Transaction.tranCount == 0) {
    // A COMMIT that fails leaves the transaction open.
    ScopeGuard reopen([&] { ++m_Transaction.tranCount; });
    if (!sqlite3_get_autocommit(m_Db.get())) Execute(m_Db.get(), "COMMIT");
    reopen.Dismiss();
    m_Transaction.started = false;
    sink.EnvironmentChanged(
        EnvChange{EnvChangeType::CommitTransaction, "", m_Transaction.descriptor});
  }
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunRollbackTransaction(const RollbackTransactionStatement&, BatchSink& sink) {
  if (m_Transaction.tranCount == 0) RaiseError(3903);
  if (!sqlite3_get_autocommit(m_Db.get())) Execute(m_Db.get(), "ROLLBACK");
  m_Transaction.tranCount = 0;
  m_Transaction.started = false;
  sink.EnvironmentChanged(
      EnvChange{EnvChangeType::RollbackTransaction, "", m_Transaction.descriptor});
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
