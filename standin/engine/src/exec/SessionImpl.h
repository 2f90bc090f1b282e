// One login's session: its connection, its state, the batch and RPC loops and
// the dispatch of each statement to the executor of its area (queries and
// data changes, schema, databases and files, security, procedures,
// transactions). Variables, SET options, PRINT, RAISERROR and control of
// flow are the session's own. The session has one SQLite connection on which
// every database it uses is ATTACHed under its own name, and #temp tables
// live in SQLite's per-connection temp schema, so they are private to the
// session and vanish with it.
//
// Threading: one thread runs batches; RequestCancel and Kill may come from any
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "engine/Engine.h"
#include "exec/DatabaseExecutor.h"
#include "exec/EngineImpl.h"
#include "exec/ProcedureExecutor.h"
#include "exec/QueryExecutor.h"
#include "exec/SchemaExecutor.h"
#include "exec/SecurityExecutor.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "exec/TransactionExecutor.h"
#include "parse/Ast.h"
#include "storage/DataDirectory.h"
#include "storage/Sqlite.h"
#include "storage/SqliteFunctions.h"
#include "translate/Translator.h"

namespace standin::engine {

class EngineImpl;

class SessionImpl : public Session, private SessionServices {
 public:
  SessionImpl(EngineImpl& engine, int spid, LoginEntry login, LoginRequest request);
  ~SessionImpl() override;

  // Opens the connection and makes `database` current (called by Login).
  void Start(const DatabaseEntry& database);

  int Spid() const override { return m_Spid; }
  std::string CurrentDatabase() const override { return m_DatabaseState.current; }
  std::string LoginName() const override { return m_Login.name; }
  void ExecuteBatch(std::string_view sql, BatchSink& sink) override;
  void ExecuteRpc(std::string_view procedureName, const std::vector<Parameter>& parameters,
                  BatchSink& sink) override;
  void ResetConnection(bool keepTransaction, BatchSink& sink) override;
  void RequestCancel() override;
  bool IsKilled() const override { return m_Killed.load(); }
  void SetKillHandler(std::function<void()> handler) override;
  void SetClientGoneProbe(std::function<bool()> probe) override;
  bool ClientGone() const;
  // Ends the session (KILL): a running batch stops at once, an open
  // transaction is rolled back, and the kill handler closes the connection.
  void Kill();
  // What sp_who shows of this session; safe from any thread.
  ProcessInfo Process() const;

 private:
  // SessionServices
  sqlite3* Db() const override { return m_Db.get(); }
  EngineImpl& Engine() const override { return m_Engine; }
  const LoginEntry& Login() const override { return m_Login; }
  int SessionId() const override { return m_Spid; }
  const std::string& Database() const override { return m_DatabaseState.current; }
  TableInfo ResolveTable(const ObjectName& name) override;
  const Variable* FindVariable(const std::string& name) const override;
  std::string SystemValue(const std::string& upperName, ColumnType& type) const override;
  void CheckRead(const TableInfo& table) override { m_Security.CheckRead(table); }
  // SERVERPROPERTY and DATABASEPROPERTYEX (SessionProperties.cpp).
  std::string PropertyValue(const std::string& key, ColumnType& type) const;

  // Held while a batch or RPC runs, so KILL can tell an idle session (whose
  // transaction it rolls back itself) from a busy one (which rolls back when
  // its batch ends).
  class RunningScope {
   public:
    explicit RunningScope(SessionImpl& session);
    ~RunningScope();

   private:
    SessionImpl& m_Session;
    std::unique_lock<std::mutex> m_Lock;
  };
  void RollbackIfKilled();
  void RunKill(const KillStatement& statement, BatchSink& sink);
  // Attachments (SessionAttachments.cpp).
  std::string SchemaFor(const std::string& database) override;
  std::string AttachDatabase(const DatabaseEntry& database) override;
  void PublishCurrentDatabase() override;
  // Detaches databases dropped (or detached) by other sessions since the
  // last batch, so their names never reach the old files.
  void DetachStaleDatabases();

 public:
  // Called by the engine from any thread when `name` was dropped or is being
  // detached. An idle session lets go of the files at once (so a detach finds
  // them closed); a busy one does before its next batch. `callersThread`: the
  // call comes from this session's own batch.
  void ForgetDatabase(const std::string& name, bool callersThread);

 private:
  // Batch machinery (SessionImpl.cpp).
  Flow RunStatements(const std::vector<StatementPtr>& statements, BatchSink& sink) override;
  Flow RunGuarded(const Statement& statement, BatchSink& sink);
  void Report(const Message& message, BatchSink& sink) override;
  void Done(BatchSink& sink, bool error, bool counted, std::uint64_t count,
            std::uint16_t command) override;
  void ProcedureDone(BatchSink& sink, bool error) override;
  void CheckCancelled() override;
  static int BusyHandler(void* session, int count);

  // Statements (SessionStatements.cpp): Run visits the statement's node and
  // hands it to the function of its kind.
  Flow Run(const Statement& statement, BatchSink& sink) override;
  Flow RunIf(const IfStatement& statement, BatchSink& sink);
  Flow RunWhile(const WhileStatement& statement, BatchSink& sink);
  void RunPrint(const PrintStatement& statement, BatchSink& sink);
  void RunDeclare(const DeclareStatement& statement, BatchSink& sink);
  void RunSetVariable(const SetVariableStatement& statement, BatchSink& sink);
  void RunSetOption(const SetOptionStatement& statement, BatchSink& sink);
  void RunRaiserror(const RaiserrorStatement& statement, BatchSink& sink);
  Value EvaluateScalar(const Expr& expr, const ColumnType& type) override {
    return m_Queries.EvaluateScalar(expr, type);
  }
  bool EvaluateCondition(const Expr& expr) override { return m_Queries.EvaluateCondition(expr); }

  EngineImpl& m_Engine;
  const int m_Spid;
  LoginEntry m_Login;
  LoginRequest m_Request;
  ConnectionPtr m_Db;
  IdentityState m_Identity;
  SessionOptions m_Options;
  TransactionState m_Transaction;
  StatementOutcome m_Outcome;
  BatchState m_Batch;
  SecurityState m_SecurityState;
  DatabaseState m_DatabaseState;
  // The executors of each area, given the state they use.
  TransactionExecutor m_Transactions{*this, m_Transaction, m_Outcome, m_DatabaseState};
  SecurityExecutor m_Security{*this, m_SecurityState, m_Outcome, m_DatabaseState};
  DatabaseExecutor m_Databases{*this, m_Security, m_DatabaseState, m_Transaction, m_Outcome};
  QueryExecutor m_Queries{*this,   m_Security, m_Transactions, m_Options,
                          m_Batch, m_Outcome,  m_Identity};
  SchemaExecutor m_Schema{*this, m_Security, m_Transactions, m_Options, m_SecurityState, m_Outcome};
  ProcedureExecutor m_Procedures{*this,     m_Security, m_Transactions,  m_Queries,
                                 m_Options, m_Batch,    m_SecurityState, m_Outcome};

  std::atomic<bool> m_Cancel{false};
  std::atomic<bool> m_Killed{false};
  mutable std::mutex m_KillMutex;
  std::function<void()> m_KillHandler;
  std::function<bool()> m_ClientGoneProbe;
  std::chrono::steady_clock::time_point m_BusySince;
  std::mutex m_RunMutex;
  std::atomic<bool> m_Running{false};
  mutable std::mutex m_ProcessMutex;
  std::string m_ProcessDatabase;           // the current database as other sessions see it
  std::set<std::string> m_StaleDatabases;  // lower-case names; guarded by m_ProcessMutex
};

}  // namespace standin::engine
