// Procedures: EXEC and RPC calls of the system procedures SQL Server ships
// (ProcedureExecutor.cpp), sp_executesql and prepared statements
// (ProcedurePrepared.cpp), and user stored procedures with CREATE, ALTER and
// DROP PROCEDURE (ProcedureUserDefined.cpp).
//
// A name is looked up among the system procedures first, then the statement
// procedures, then the user procedures; each Run…Procedure returns false,
// having sent nothing, when the name is not one of its own.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "exec/QueryExecutor.h"
#include "exec/SecurityExecutor.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "exec/TransactionExecutor.h"
#include "parse/Ast.h"

namespace standin::engine {

class ProcedureExecutor {
 public:
  ProcedureExecutor(SessionServices& session, SecurityExecutor& security,
                    TransactionExecutor& transactions, QueryExecutor& queries,
                    const SessionOptions& options, BatchState& batch, SecurityState& securityState,
                    StatementOutcome& outcome)
      : m_Session(session),
        m_Security(security),
        m_Transactions(transactions),
        m_Queries(queries),
        m_Options(options),
        m_Batch(batch),
        m_SecurityState(securityState),
        m_Outcome(outcome) {}

  void RunExecute(const ExecuteStatement& statement, BatchSink& sink);
  void RunCreateProcedure(const CreateProcedureStatement& statement, BatchSink& sink);
  void RunDropProcedure(const DropProcedureStatement& statement, BatchSink& sink);

  // Runs `name` when it is a procedure SQL Server ships (sp_helpdb,
  // xp_msver …), with its return status and DONEPROC.
  bool RunSystemProcedure(const std::string& name, const std::vector<Parameter>& arguments,
                          BatchSink& sink);
  // Runs sp_executesql, sp_prepare, sp_execute, sp_prepexec or sp_unprepare
  // with its return status and DONEPROC. OUTPUT values go out as RETURNVALUE
  // tokens for an RPC, otherwise into BatchState::procedureOutputs for the
  // caller's variables.
  bool RunStatementProcedure(const std::string& base, const std::vector<Parameter>& arguments,
                             BatchSink& sink, bool rpc);
  // Runs the current (or named) database's procedure of that name.
  bool RunUserProcedure(const std::string& writtenName, const std::vector<Parameter>& arguments,
                        BatchSink& sink, bool rpc);
  // No procedure has the name: 2812, or 50100 for a system procedure the
  // stand-in does not have.
  [[noreturn]] void RunProcedure(const std::string& name, BatchSink& sink);
  // A connection reset forgets the prepared statements.
  void ForgetPrepared() { m_Prepared.clear(); }

 private:
  // The values of an EXEC statement's arguments, with their names.
  std::vector<Parameter> EvaluateArguments(const ExecuteStatement& statement);
  Value ConvertValue(const Value& value, const ColumnType& from, const ColumnType& to);

  // sp_executesql and prepared statements (ProcedurePrepared.cpp).
  struct DeclaredParameter {
    std::string name;
    ColumnType type;
    bool output = false;
  };
  struct PreparedStatement {
    std::string definitions;  // "@P1 int,@P2 nvarchar(50)"
    std::string sql;
  };
  // (argument index, value) of each OUTPUT parameter handed back.
  using ReturnedValues = std::vector<std::pair<std::size_t, Parameter>>;
  std::vector<DeclaredParameter> ParseDefinitions(const std::string& definitions);
  // Runs `sql` with the declared parameters bound to arguments[first…]
  // (8144, 8145, 8178 when they do not fit).
  void RunParameterised(const std::string& definitions, const std::string& sql,
                        const std::vector<Parameter>& arguments, std::size_t first, BatchSink& sink,
                        ReturnedValues& returned);
  // Compiles and keeps a statement (arguments: @handle, @params, @stmt);
  // describes the first SELECT's columns on `metadata` when given.
  std::int32_t Prepare(const std::vector<Parameter>& arguments, const std::string& name,
                       BatchSink* metadata, ReturnedValues& returned);
  // The statement of arguments[0]'s handle, 8179 for an unknown one.
  const PreparedStatement& FindPrepared(const std::vector<Parameter>& arguments,
                                        const std::string& name);

  // User stored procedures (ProcedureUserDefined.cpp).
  struct UserProcedure {
    std::string schema;
    std::string name;  // as stored
    std::string text;  // as sent
  };
  std::optional<UserProcedure> FindUserProcedure(const ObjectName& name);
  void RunHelpText(const std::vector<Parameter>& arguments, BatchSink& sink);

  SessionServices& m_Session;
  SecurityExecutor& m_Security;
  TransactionExecutor& m_Transactions;
  QueryExecutor& m_Queries;
  const SessionOptions& m_Options;
  BatchState& m_Batch;
  SecurityState& m_SecurityState;
  StatementOutcome& m_Outcome;
  // The session's prepared statements, by handle.
  std::map<std::int32_t, PreparedStatement> m_Prepared;
  std::int32_t m_NextPreparedHandle = 1;
};

}  // namespace standin::engine
