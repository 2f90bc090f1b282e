// The statements about whole databases and their files: CREATE, DROP and
// ALTER DATABASE, USE (DatabaseExecutor.cpp); BACKUP LOG … WITH
// TRUNCATE_ONLY and DBCC SHRINKFILE (DatabaseFiles.cpp).
#pragma once

#include "exec/SecurityExecutor.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "parse/Ast.h"

namespace standin::engine {

class DatabaseExecutor {
 public:
  DatabaseExecutor(SessionServices& session, SecurityExecutor& security, DatabaseState& databases,
                   const TransactionState& transaction, StatementOutcome& outcome)
      : m_Session(session),
        m_Security(security),
        m_Databases(databases),
        m_Transaction(transaction),
        m_Outcome(outcome) {}

  void RunCreateDatabase(const CreateDatabaseStatement& statement, BatchSink& sink);
  void RunDropDatabase(const DropDatabaseStatement& statement, BatchSink& sink);
  void RunAlterDatabase(const AlterDatabaseStatement& statement, BatchSink& sink);
  void RunUse(const UseStatement& statement, BatchSink& sink);
  void RunBackupLog(const BackupLogStatement& statement, BatchSink& sink);
  void RunShrinkFile(const ShrinkFileStatement& statement, BatchSink& sink);

 private:
  SessionServices& m_Session;
  SecurityExecutor& m_Security;
  DatabaseState& m_Databases;
  const TransactionState& m_Transaction;
  StatementOutcome& m_Outcome;
};

}  // namespace standin::engine
