// Running the system procedures SQL Server ships, from EXEC in a batch and
// from RPC requests.
#include "SessionImpl.h"
#include "Translator.h"
#include "engine/Errors.h"
#include "procs/SystemProcedures.h"

namespace standin::engine {

std::vector<Parameter> SessionImpl::EvaluateArguments(const Statement& statement) {
  std::vector<Parameter> parameters;
  for (const auto& [name, expr] : statement.arguments) {
    Parameter parameter;
    parameter.name = name;
    if (expr) {
      Translator translator(*this);
      SqlText query = translator.TranslateScalar(*expr);
      parameter.type = query.columns[0].type.known ? query.columns[0].type.type
                                                   : ColumnType{TypeId::NVarChar, 4000, 0, 0};
      parameter.value = EvaluateScalar(*expr, parameter.type);
    }
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

bool SessionImpl::RunSystemProcedure(const std::string& name,
                                     const std::vector<Parameter>& arguments, BatchSink& sink) {
  const SystemProcedure* procedure = FindSystemProcedure(name);
  if (!procedure) return false;
  const bool wasInProcedure = m_InProcedure;
  m_InProcedure = true;
  std::int32_t status = 0;
  bool failed = false;
  try {
    ProcedureCall call{m_Engine,
                       sink,
                       m_Spid,
                       m_Login.name,
                       m_CurrentDatabase,
                       m_NoCount,
                       BindArguments(*procedure, arguments),
                       m_Db.get(),
                       [this] { return SchemaFor(m_CurrentDatabase); }};
    status = procedure->run(call);
    m_LastError = 0;
  } catch (const SqlError& error) {
    // A failing system procedure reports its error under its own name and
    // returns 1; the batch goes on, as in SQL Server.
    Message message = error.Msg();
    message.procedure = std::string(procedure->name);
    Report(message, sink);
    m_LastError = message.number;
    Done(sink, true, false, 0, 0);
    status = 1;
    failed = true;
  }
  m_InProcedure = wasInProcedure;
  m_RowCount = 0;
  sink.ReturnStatus(status);
  engine::Done done;
  done.kind = engine::Done::Kind::Procedure;
  done.error = failed;
  done.inTransaction = m_TranCount > 0;
  sink.StatementDone(done);
  return true;
}

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
  m_TranCount = 0;
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

void SessionImpl::RunKill(const Statement& statement, BatchSink& sink) {
  if (!LoginHasServerRole(m_Engine.Data(), m_Login.name, "processadmin")) RaiseError(6102);
  const Value spid = EvaluateScalar(*statement.expression, ColumnType{TypeId::Int, 0, 0, 0});
  const std::int64_t target =
      std::holds_alternative<std::int64_t>(spid) ? std::get<std::int64_t>(spid) : -1;
  if (target == m_Spid) RaiseError(6104);
  if (target < 1 || target > 32767 || !m_Engine.KillSession(static_cast<int>(target))) {
    RaiseError(6106, {std::to_string(target)});
  }
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
