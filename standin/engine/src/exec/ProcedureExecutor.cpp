// EXEC: the system procedures SQL Server ships, and the search for a
// procedure of the name among the system, statement and user procedures.
#include "exec/ProcedureExecutor.h"

#include "engine/Errors.h"
#include "exec/EngineImpl.h"
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

std::vector<Parameter> ProcedureExecutor::EvaluateArguments(const ExecuteStatement& statement) {
  std::vector<Parameter> parameters;
  for (const ExecuteArgument& argument : statement.arguments) {
    const ExprPtr& expr = argument.value;
    Parameter parameter;
    parameter.name = argument.name;
    if (expr) {
      Translator translator(m_Session);
      SqlText query = translator.TranslateScalar(*expr);
      parameter.type = query.columns[0].type.known ? query.columns[0].type.type
                                                   : ColumnType{TypeId::NVarChar, 4000, 0, 0};
      parameter.value = m_Session.EvaluateScalar(*expr, parameter.type);
    }
    parameters.push_back(std::move(parameter));
  }
  return parameters;
}

bool ProcedureExecutor::RunSystemProcedure(const std::string& name,
                                           const std::vector<Parameter>& arguments,
                                           BatchSink& sink) {
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
      database = m_Session.Database();
    } else {
      std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(database);
      if (!entry) RaiseError(911, {database});
      database = entry->name;
      m_Security.CheckDatabaseAccess(database);
    }
    DatabaseSecurity security = m_Security.For(database);
    ProcedureCall call{m_Session.Engine(),
                       sink,
                       m_Session.SessionId(),
                       m_Session.Login().name,
                       database,
                       m_Options.noCount,
                       &security,
                       BindArguments(*procedure, arguments),
                       m_Session.Db(),
                       [this, database] { return m_Session.SchemaFor(database); }};
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
    m_Session.Report(message, sink);
    m_Outcome.lastError = message.number;
    m_Session.Done(sink, true, false, 0, 0);
    status = 1;
    failed = true;
  }
  m_Batch.inProcedure = wasInProcedure;
  m_Outcome.rowCount = 0;
  sink.ReturnStatus(status);
  m_Session.ProcedureDone(sink, failed);
  return true;
}

void ProcedureExecutor::RunExecute(const ExecuteStatement& statement, BatchSink& sink) {
  const std::string& name = statement.procedure.written;
  std::vector<Parameter> arguments = EvaluateArguments(statement);
  for (std::size_t i = 0; i < arguments.size(); ++i)
    arguments[i].output = statement.arguments[i].output;
  if (RunSystemProcedure(name, arguments, sink)) return;
  if (RunStatementProcedure(Lower(statement.procedure.name), arguments, sink, false) ||
      RunUserProcedure(name, arguments, sink, false)) {
    // OUTPUT arguments hand the procedure's values back to the caller's variables.
    for (const auto& [index, output] : m_Batch.procedureOutputs) {
      auto it = m_Batch.variables.find(Lower(statement.arguments[index].value->text));
      if (it != m_Batch.variables.end())
        it->second.value = ConvertValue(output.value, output.type, it->second.type);
    }
    m_Batch.procedureOutputs.clear();
    return;
  }
  RunProcedure(name, sink);
}

void ProcedureExecutor::RunProcedure(const std::string& name, BatchSink&) {
  const std::size_t dot = name.rfind('.');
  const std::string base = Lower(dot == std::string::npos ? name : name.substr(dot + 1));
  if (base.rfind("sp_", 0) == 0 || base.rfind("xp_", 0) == 0) {
    RaiseUnsupported("the system procedure " + base);
  }
  RaiseError(2812, {name});
}

}  // namespace standin::engine
