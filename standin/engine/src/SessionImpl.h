// One login's connection state and the executor of its batches. The session
// has one SQLite connection on which every database it uses is ATTACHed under
// its own name, and #temp tables live in SQLite's per-connection temp schema,
// so they are private to the session and vanish with it.
//
// Threading: one thread runs batches; RequestCancel and Kill may come from any
// thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "Ast.h"
#include "DataDirectory.h"
#include "Sqlite.h"
#include "SqliteFunctions.h"
#include "Translator.h"
#include "engine/Engine.h"

namespace standin::engine {

class EngineImpl;

class SessionImpl : public Session, private TranslationContext {
 public:
  SessionImpl(EngineImpl& engine, int spid, LoginEntry login, LoginRequest request);
  ~SessionImpl() override;

  // Opens the connection and makes `database` current (called by Login).
  void Start(const DatabaseEntry& database);

  int Spid() const override { return m_Spid; }
  std::string CurrentDatabase() const override { return m_CurrentDatabase; }
  std::string LoginName() const override { return m_Login.name; }
  void ExecuteBatch(std::string_view sql, BatchSink& sink) override;
  void ExecuteRpc(std::string_view procedureName, const std::vector<Parameter>& parameters,
                  BatchSink& sink) override;
  void RequestCancel() override;
  bool IsKilled() const override { return m_Killed.load(); }
  void SetKillHandler(std::function<void()> handler) override;
  void Kill();

 private:
  // Raised by RETURN; ends the batch or procedure quietly.
  struct ReturnSignal {};
  // Raised by BREAK and CONTINUE; caught by the enclosing WHILE.
  struct BreakSignal {};
  struct ContinueSignal {};
  // Raised by an error that ends the whole batch (conversion errors, as in
  // SQL Server 2000).
  struct BatchAbort {};

  // TranslationContext
  TableInfo ResolveTable(const ObjectName& name) override;
  const Variable* FindVariable(const std::string& name) const override;
  std::string SystemValue(const std::string& upperName, ColumnType& type) const override;

  // Batch machinery (SessionImpl.cpp).
  void RunStatements(const std::vector<StatementPtr>& statements, BatchSink& sink);
  void RunGuarded(const Statement& statement, BatchSink& sink);
  void Report(const Message& message, BatchSink& sink);
  void Done(BatchSink& sink, bool error, bool counted, std::uint64_t count, std::uint16_t command);
  std::string SchemaFor(const std::string& database);
  std::string AttachDatabase(const DatabaseEntry& database);
  void CheckCancelled();
  static int BusyHandler(void* session, int count);

  // Statements (SessionStatements.cpp).
  void Run(const Statement& statement, BatchSink& sink);
  void RunSelect(const Statement& statement, BatchSink& sink);
  void RunSelectInto(const Statement& statement, BatchSink& sink);
  void RunAssignmentSelect(const Statement& statement, BatchSink& sink);
  void RunInsert(const Statement& statement, BatchSink& sink);
  void RunUpdateOrDelete(const Statement& statement, BatchSink& sink);
  void RunCreateTable(const Statement& statement, BatchSink& sink);
  void RunDropTable(const Statement& statement, BatchSink& sink);
  void RunCreateDatabase(const Statement& statement, BatchSink& sink);
  void RunUse(const Statement& statement, BatchSink& sink);
  void RunDeclare(const Statement& statement, BatchSink& sink);
  void RunSetVariable(const Statement& statement, BatchSink& sink);
  void RunSetOption(const Statement& statement, BatchSink& sink);
  void RunTransaction(const Statement& statement, BatchSink& sink);
  void RunExecute(const Statement& statement, BatchSink& sink);
  void RunRaiserror(const Statement& statement, BatchSink& sink);
  void RunProcedure(const std::string& name, BatchSink& sink);
  // Streams a query's rows to the sink; returns the row count.
  std::uint64_t StreamQuery(const SqlText& query, BatchSink& sink);
  // Runs a write; names the violated constraint for 2627 from `table`.
  std::int64_t Changes(const SqlText& query, std::string_view kind,
                       const TableInfo* table = nullptr);
  void BindParameters(SqliteStatement& statement, const SqlText& query);
  Value EvaluateScalar(const Expr& expr, const ColumnType& type);
  bool EvaluateCondition(const Expr& expr);
  void RunSpExecuteSql(const std::vector<Parameter>& parameters, BatchSink& sink);

  // A write outside a user transaction is its own immediate transaction;
  // inside one it is a savepoint, so a failed statement leaves the
  // transaction as it was (SQL Server's statement-level rollback).
  class WriteScope {
   public:
    explicit WriteScope(SessionImpl& session);
    ~WriteScope();
    void Commit();

   private:
    SessionImpl& m_Session;
    bool m_Own;
    bool m_Done = false;
  };

  EngineImpl& m_Engine;
  const int m_Spid;
  LoginEntry m_Login;
  LoginRequest m_Request;
  ConnectionPtr m_Db;
  IdentityState m_Identity;
  std::map<std::string, std::string> m_Attached;       // lower-case database name → schema
  std::map<std::string, std::uint64_t> m_AttachedUse;  // when each was last used
  std::uint64_t m_UseClock = 0;
  std::uint64_t m_StatementStart = 0;  // m_UseClock when the running statement began
  std::string m_CurrentDatabase;
  int m_CurrentDatabaseId = 1;

  // Batch state.
  std::map<std::string, Variable> m_Variables;  // lower-case name
  bool m_InProcedure = false;

  // Session state.
  bool m_NoCount = false;
  bool m_AnsiNullDefault = true;
  bool m_QuotedIdentifier = true;
  std::int64_t m_LockTimeoutMs = -1;  // SET LOCK_TIMEOUT
  std::string m_IdentityInsertTable;  // "schema.table" with IDENTITY_INSERT ON
  std::int64_t m_RowCount = 0;
  std::int32_t m_LastError = 0;
  std::optional<std::int64_t> m_LastIdentity;
  int m_TranCount = 0;
  std::string m_TransactionDescriptor;

  std::atomic<bool> m_Cancel{false};
  std::atomic<bool> m_Killed{false};
  std::mutex m_KillMutex;
  std::function<void()> m_KillHandler;
  std::chrono::steady_clock::time_point m_BusySince;
};

}  // namespace standin::engine
