// sp_executesql and the prepared-statement procedures (sp_prepare, sp_execute,
// sp_prepexec, sp_unprepare), from an RPC request or from T-SQL. Their text
// runs in its own variable scope holding the parameters its definition string
// declares; OUTPUT parameters come back as RETURNVALUE tokens to an RPC caller
// and into the variables of a T-SQL caller. Prepared statements belong to the
// session: the handle is a number that only this session knows.
#include <limits>

#include "common/ScopeGuard.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "exec/ProcedureExecutor.h"
#include "parse/Parser.h"

namespace standin::engine {
namespace {

enum class StatementProcedure { ExecuteSql, Prepare, Execute, PrepExec, Unprepare };

std::optional<StatementProcedure> FindStatementProcedure(const std::string& base) {
  if (base == "sp_executesql") return StatementProcedure::ExecuteSql;
  if (base == "sp_prepare") return StatementProcedure::Prepare;
  if (base == "sp_execute") return StatementProcedure::Execute;
  if (base == "sp_prepexec") return StatementProcedure::PrepExec;
  if (base == "sp_unprepare") return StatementProcedure::Unprepare;
  return std::nullopt;
}

// Clients may name these arguments (@handle, @params, @stmt) or pass them by
// position; either way they come first.
const Parameter* Argument(const std::vector<Parameter>& arguments, std::size_t position) {
  return position < arguments.size() ? &arguments[position] : nullptr;
}

std::optional<std::string> TextArgument(const Parameter* argument) {
  if (!argument || !std::holds_alternative<std::string>(argument->value)) return std::nullopt;
  return std::get<std::string>(argument->value);
}

// Newer clients declare their parameters in later types: DATETIME2, DATE,
// TIME and DATETIMEOFFSET values arrive converted to datetime, (MAX) values
// as the long types, so they are declared as those.
ColumnType ParseDeclaredParameterType(Parser& parser) {
  const Token& name = parser.Peek();
  if (name.kind == TokenKind::Identifier && !name.delimited) {
    const std::string upper = Upper(name.text);
    if (upper == "DATETIME2" || upper == "DATE" || upper == "TIME" || upper == "DATETIMEOFFSET") {
      parser.Next();
      if (parser.AcceptOperator("(")) {
        parser.Next();
        parser.ExpectOperator(")");
      }
      return ColumnType{TypeId::DateTime, 0, 0, 0};
    }
    if ((upper == "NVARCHAR" || upper == "VARCHAR" || upper == "VARBINARY") &&
        parser.IsOperator("(", 1) && parser.IsWord("MAX", 2) && parser.IsOperator(")", 3)) {
      for (int i = 0; i < 4; ++i) parser.Next();
      const TypeId id = upper == "NVARCHAR"  ? TypeId::NText
                        : upper == "VARCHAR" ? TypeId::Text
                                             : TypeId::Image;
      return ColumnType{id, 0, 0, 0};
    }
  }
  return parser.ParseType();
}

// A session cannot keep an unbounded number of statements for a client that
// never unprepares.
constexpr std::size_t kMaxPreparedStatements = 65536;

}  // namespace

std::vector<ProcedureExecutor::DeclaredParameter> ProcedureExecutor::ParseDefinitions(
    const std::string& definitions) {
  std::vector<DeclaredParameter> declared;
  Parser parser(definitions, Tokenize(definitions));
  while (!parser.AtEnd()) {
    if (parser.Peek().kind != TokenKind::Variable) parser.SyntaxError();
    DeclaredParameter parameter;
    parameter.name = parser.Next().text;
    parser.AcceptKeyword("AS");
    parameter.type = ParseDeclaredParameterType(parser);
    parameter.output = parser.AcceptWord("OUTPUT") || parser.AcceptWord("OUT");
    for (const DeclaredParameter& earlier : declared) {
      if (EqualsNoCase(earlier.name, parameter.name)) RaiseError(134, {parameter.name});
    }
    declared.push_back(std::move(parameter));
    if (!parser.AcceptOperator(",")) break;
  }
  if (!parser.AtEnd()) parser.SyntaxError();
  return declared;
}

void ProcedureExecutor::RunParameterised(const std::string& definitions, const std::string& sql,
                                         const std::vector<Parameter>& arguments, std::size_t first,
                                         BatchSink& sink, ReturnedValues& returned) {
  const std::vector<DeclaredParameter> declared = ParseDefinitions(definitions);
  // Values bind as a procedure's arguments: by position first, then by name.
  std::vector<std::optional<std::size_t>> source(declared.size());
  std::size_t position = 0;
  bool named = false;
  for (std::size_t i = first; i < arguments.size(); ++i) {
    std::size_t target = declared.size();
    if (arguments[i].name.empty()) {
      if (named) RaiseError(119, {std::to_string(i + 1)});
      if (position >= declared.size()) RaiseError(8144, {"sp_executesql"});
      target = position++;
    } else {
      named = true;
      for (std::size_t p = 0; p < declared.size(); ++p) {
        if (EqualsNoCase(declared[p].name, arguments[i].name)) target = p;
      }
      if (target == declared.size()) RaiseError(8145, {arguments[i].name, "sp_executesql"});
    }
    source[target] = i;
  }
  for (std::size_t p = 0; p < declared.size(); ++p) {
    Variable variable{declared[p].type, std::monostate{}};
    if (!source[p]) {
      std::string statement = "(" + definitions + ")" + sql;
      if (statement.size() > 4000) statement.resize(4000);
      RaiseError(8178, {statement, declared[p].name});
    }
    const Parameter& value = arguments[*source[p]];
    variable.value = ConvertValue(value.value, value.type, declared[p].type);
    m_Batch.variables[Lower(declared[p].name)] = std::move(variable);
  }
  Batch batch = ParseBatch(sql, m_Options.quotedIdentifier);
  m_Session.RunStatements(batch.statements, sink);  // RETURN ends it early
  for (std::size_t p = 0; p < declared.size(); ++p) {
    if (!declared[p].output || !arguments[*source[p]].output) continue;
    Parameter value;
    value.name = declared[p].name;
    value.type = declared[p].type;
    value.value = m_Batch.variables[Lower(declared[p].name)].value;
    value.output = true;
    returned.emplace_back(*source[p], std::move(value));
  }
}

std::int32_t ProcedureExecutor::Prepare(const std::vector<Parameter>& arguments,
                                        const std::string& name, BatchSink* metadata,
                                        ReturnedValues& returned) {
  const Parameter* handle = Argument(arguments, 0);
  std::optional<std::string> sql = TextArgument(Argument(arguments, 2));
  if (!handle) RaiseError(201, {name, "@handle"});
  if (!sql) RaiseError(201, {name, "@stmt"});
  const std::string definitions = TextArgument(Argument(arguments, 1)).value_or("");
  // Parsed now, as SQL Server compiles it: a syntax error in the text or the
  // definitions fails the prepare, not the first execute.
  const std::vector<DeclaredParameter> declared = ParseDefinitions(definitions);
  Batch batch = ParseBatch(*sql, m_Options.quotedIdentifier);
  const SelectStatement* first =
      batch.statements.empty() ? nullptr : batch.statements[0]->As<SelectStatement>();
  if (metadata && first && !first->select->cores[0].into) {
    for (const DeclaredParameter& parameter : declared)
      m_Batch.variables[Lower(parameter.name)] = Variable{parameter.type, std::monostate{}};
    bool assigns = false;
    for (const SelectItem& item : first->select->cores[0].items)
      assigns = assigns || !item.assignVariable.empty();
    if (!assigns) {
      Translator translator(m_Session);
      m_Queries.StreamQuery(translator.TranslateSelect(*first->select), *metadata, true);
    }
    m_Batch.variables.clear();
  }
  if (m_Prepared.size() >= kMaxPreparedStatements)
    RaiseUnsupported("more than " + std::to_string(kMaxPreparedStatements) +
                     " prepared statements in one session");
  while (m_Prepared.count(m_NextPreparedHandle) || m_NextPreparedHandle <= 0) {
    m_NextPreparedHandle = m_NextPreparedHandle == std::numeric_limits<std::int32_t>::max()
                               ? 1
                               : m_NextPreparedHandle + 1;
  }
  const std::int32_t number = m_NextPreparedHandle++;
  m_Prepared[number] = PreparedStatement{definitions, *sql};
  if (handle->output) {
    Parameter value;
    value.name = handle->name.empty() ? "@handle" : handle->name;
    value.type = ColumnType{TypeId::Int, 0, 0, 0};
    value.value = std::int64_t{number};
    value.output = true;
    returned.emplace_back(0, std::move(value));
  }
  return number;
}

const ProcedureExecutor::PreparedStatement& ProcedureExecutor::FindPrepared(
    const std::vector<Parameter>& arguments, const std::string& name) {
  const Parameter* handle = Argument(arguments, 0);
  if (!handle) RaiseError(201, {name, "@handle"});
  const std::int64_t* number = std::get_if<std::int64_t>(&handle->value);
  auto it = number ? m_Prepared.find(static_cast<std::int32_t>(*number)) : m_Prepared.end();
  if (it == m_Prepared.end() || (number && *number != it->first)) {
    RaiseError(8179, {number ? std::to_string(*number) : std::string("NULL")});
  }
  return it->second;
}

bool ProcedureExecutor::RunStatementProcedure(const std::string& base,
                                              const std::vector<Parameter>& arguments,
                                              BatchSink& sink, bool rpc) {
  std::optional<StatementProcedure> kind = FindStatementProcedure(base);
  if (!kind) return false;
  // The caller's variables are not visible inside; its own come back after.
  std::map<std::string, Variable> callerVariables = std::move(m_Batch.variables);
  m_Batch.variables.clear();
  const bool wasInProcedure = m_Batch.inProcedure;
  m_Batch.inProcedure = true;
  // Nothing below reads them, so they come back when this returns or throws.
  ScopeGuard restore([&] {
    m_Batch.variables = std::move(callerVariables);
    m_Batch.inProcedure = wasInProcedure;
  });
  ReturnedValues returned;
  bool failed = false;
  try {
    switch (*kind) {
      case StatementProcedure::ExecuteSql: {
        std::optional<std::string> sql = TextArgument(Argument(arguments, 0));
        if (!sql) RaiseError(201, {"sp_executesql", "@statement"});
        const std::string definitions = TextArgument(Argument(arguments, 1)).value_or("");
        RunParameterised(definitions, *sql, arguments, std::min<std::size_t>(2, arguments.size()),
                         sink, returned);
        break;
      }
      case StatementProcedure::Prepare: {
        const Parameter* options = Argument(arguments, 3);
        const bool metadata = options && std::holds_alternative<std::int64_t>(options->value) &&
                              (std::get<std::int64_t>(options->value) & 1);
        Prepare(arguments, base, metadata ? &sink : nullptr, returned);
        break;
      }
      case StatementProcedure::PrepExec: {
        const std::int32_t handle = Prepare(arguments, base, nullptr, returned);
        const PreparedStatement prepared = m_Prepared[handle];
        RunParameterised(prepared.definitions, prepared.sql, arguments,
                         std::min<std::size_t>(3, arguments.size()), sink, returned);
        break;
      }
      case StatementProcedure::Execute: {
        const PreparedStatement prepared = FindPrepared(arguments, base);
        RunParameterised(prepared.definitions, prepared.sql, arguments, 1, sink, returned);
        break;
      }
      case StatementProcedure::Unprepare: {
        FindPrepared(arguments, base);
        m_Prepared.erase(static_cast<std::int32_t>(std::get<std::int64_t>(arguments[0].value)));
        break;
      }
    }
  } catch (const SqlError& error) {
    m_Session.Report(error.Msg(), sink);
    m_Outcome.lastError = error.Msg().number;
    m_Session.Done(sink, true, false, 0, 0);
    failed = true;
  } catch (const BatchAbort&) {
    // From T-SQL the error ends the caller's batch too.
    if (!rpc) throw;
    failed = true;
  } catch (const Cancelled&) {
    if (!rpc) throw;
    failed = true;
  }
  sink.ReturnStatus(failed ? (m_Outcome.lastError ? m_Outcome.lastError : 1) : 0);
  if (rpc) {
    for (const auto& [index, value] : returned)
      sink.ReturnValue(value, static_cast<std::uint16_t>(index + 1));
  } else {
    m_Batch.procedureOutputs = std::move(returned);
  }
  m_Session.ProcedureDone(sink, failed);
  return true;
}

}  // namespace standin::engine
