// BEGIN, COMMIT and ROLLBACK TRANSACTION and the SQLite transactions under
// them. A user transaction opens its SQLite transaction at its first write;
// every write statement goes through BeginWrite, which makes it atomic on its
// own (a savepoint inside a user transaction, so a failed statement leaves the
// transaction as it was: SQL Server's statement-level rollback).
#pragma once

#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "parse/Ast.h"
#include "storage/Sqlite.h"

namespace standin::engine {

class TransactionExecutor {
 public:
  TransactionExecutor(SessionServices& session, TransactionState& state, StatementOutcome& outcome,
                      const DatabaseState& databases)
      : m_Session(session), m_State(state), m_Outcome(outcome), m_Databases(databases) {}

  void Begin(const BeginTransactionStatement& statement, BatchSink& sink);
  void Commit(const CommitTransactionStatement& statement, BatchSink& sink);
  void Rollback(const RollbackTransactionStatement& statement, BatchSink& sink);

  // Opens the SQLite transaction of the user transaction if it is not open.
  void EnsureStarted();
  // The transaction of one write statement.
  SqliteTransaction BeginWrite();
  // Whether SQLite gave up the open user transaction (an I/O error, an
  // interrupted write): it is gone, whatever @@TRANCOUNT says.
  bool LostBySqlite() const;
  // Ends the user transaction without a ROLLBACK statement of the user's (a
  // connection reset, or after LostBySqlite): rolls back what SQLite still
  // holds and tells the client.
  void Abandon(BatchSink& sink);

 private:
  SessionServices& m_Session;
  TransactionState& m_State;
  StatementOutcome& m_Outcome;
  const DatabaseState& m_Databases;
};

}  // namespace standin::engine
