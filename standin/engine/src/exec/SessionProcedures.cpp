// Running the system procedures SQL Server ships, from EXEC in a batch and
// from RPC requests.
#include "engine/Errors.h"
#include "exec/SessionImpl.h"
#include "procs/SystemProcedures.h"
#include "translate/Translator.h"

namespace standin::engine {
namespace {

// The database part of a three-part procedure name ("db..sp_helpuser",
// "[db].dbo.sp_x"), or "" when the name has none.
std::string DatabaseOfName(std::string_view written) {
  std::vector<std::string> parts{""};
  bool bracket = false;
  for (char c : written) {
    if (c == '[') bracket = true;
    if (c == ']') bracket = false;
    if (c == '.' && !bracket) {
      parts.emplace_back();
    } else if (c != '[' && c != ']') {
      parts.back() += c;
    }
  }
  return parts.size() >= 3 ? parts[parts.size() - 3] : "";
}

}  // namespace

std::vector<Parameter> SessionImpl::EvaluateArguments(const ExecuteStatement& statement) {
  std::vector<Parameter> parameters;
  for (const ExecuteArgument& argument : statement.arguments) {
    const ExprPtr& expr = argument.value;
    Parameter parameter;
    parameter.name = argument.name;
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
  const bool wasInProcedure = m_Batch.inProcedure;
  m_Batch.inProcedure = true;
  std::int32_t status = 0;
  bool failed = false;
  try {
    // A system procedure runs in the database its name gives, as if called
    // after USE of it.
    std::string database = DatabaseOfName(name);
    if (database.empty()) {
      database = m_DatabaseState.current;
    } else {
      std::optional<DatabaseEntry> entry = m_Engine.Data().FindDatabase(database);
      if (!entry) RaiseError(911, {database});
      database = entry->name;
      m_Security.CheckDatabaseAccess(database);
    }
    DatabaseSecurity security = m_Security.For(database);
    ProcedureCall call{m_Engine,   sink,
                       m_Spid,     m_Login.name,
                       database,   m_Options.noCount,
                       &security,  BindArguments(*procedure, arguments),
                       m_Db.get(), [this, database] { return SchemaFor(database); }};
    // Procedures write through the session's connection: inside a user
    // transaction their writes belong to it.
    m_Transactions.EnsureStarted();
    status = procedure->run(call);
    m_Outcome.lastError = 0;
  } catch (const SqlError& error) {
    // A failing system procedure reports its error under its own name and
    // returns 1; the batch goes on, as in SQL Server.
    Message message = error.Msg();
    message.procedure = std::string(procedure->name);
    Report(message, sink);
    m_Outcome.lastError = message.number;
    Done(sink, true, false, 0, 0);
    status = 1;
    failed = true;
  }
  m_Batch.inProcedure = wasInProcedure;
  m_Outcome.rowCount = 0;
  sink.ReturnStatus(status);
  engine::Done done;
  done.kind = engine::Done::Kind::Procedure;
  done.error = failed;
  done.inTransaction = m_Transaction.tranCount > 0;
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
  if (!LoginHasServerRole(m_Engine.Data(), m_Login.name, "processadmin")) RaiseError(6102);
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
