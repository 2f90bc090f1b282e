// The dispatch of each statement kind to the executor of its area, and the
// statements that are the session's own: control of flow, DECLARE, SET,
// PRINT and RAISERROR.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/SessionImpl.h"

namespace standin::engine {
namespace {

template <typename... Handlers>
struct Overloaded : Handlers... {
  using Handlers::operator()...;
};
// Clang before 17 does not deduce an aggregate's template arguments by itself.
template <typename... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

Flow SessionImpl::Run(const Statement& statement, BatchSink& sink) {
  // A statement that goes on to the next one, run by `unit`.
  auto next = [&sink]<typename Unit, typename Node>(Unit& unit,
                                                    void (Unit::*run)(const Node&, BatchSink&)) {
    return [&unit, run, &sink](const Node& node) {
      (unit.*run)(node, sink);
      return Flow::Next;
    };
  };
  // Every kind needs its entry here: std::visit does not compile otherwise.
  return std::visit(
      Overloaded{
          next(m_Queries, &QueryExecutor::RunSelect),
          next(m_Queries, &QueryExecutor::RunInsert),
          next(m_Queries, &QueryExecutor::RunRowWrite<UpdateStatement>),
          next(m_Queries, &QueryExecutor::RunRowWrite<DeleteStatement>),
          next(m_Schema, &SchemaExecutor::RunCreateTable),
          next(m_Schema, &SchemaExecutor::RunDropTable),
          next(m_Schema, &SchemaExecutor::RunAlterTable),
          next(m_Schema, &SchemaExecutor::RunCreateIndex),
          next(m_Schema, &SchemaExecutor::RunDropIndex),
          next(m_Schema, &SchemaExecutor::RunCreateView),
          next(m_Schema, &SchemaExecutor::RunDropView),
          next(m_Procedures, &ProcedureExecutor::RunCreateProcedure),
          next(m_Procedures, &ProcedureExecutor::RunDropProcedure),
          next(m_Databases, &DatabaseExecutor::RunCreateDatabase),
          next(m_Databases, &DatabaseExecutor::RunDropDatabase),
          next(m_Databases, &DatabaseExecutor::RunAlterDatabase),
          next(m_Databases, &DatabaseExecutor::RunUse),
          next(m_Databases, &DatabaseExecutor::RunBackupLog),
          next(m_Databases, &DatabaseExecutor::RunShrinkFile),
          next(m_Security, &SecurityExecutor::RunPermission),
          next(*this, &SessionImpl::RunDeclare),
          next(*this, &SessionImpl::RunSetVariable),
          next(*this, &SessionImpl::RunSetOption),
          next(*this, &SessionImpl::RunPrint),
          next(*this, &SessionImpl::RunRaiserror),
          next(m_Procedures, &ProcedureExecutor::RunExecute),
          next(*this, &SessionImpl::RunKill),
          next(m_Transactions, &TransactionExecutor::Begin),
          next(m_Transactions, &TransactionExecutor::Commit),
          next(m_Transactions, &TransactionExecutor::Rollback),
          [&](const IfStatement& node) { return RunIf(node, sink); },
          [&](const WhileStatement& node) { return RunWhile(node, sink); },
          [&](const BlockStatement& node) { return RunStatements(node.body, sink); },
          [](const BreakStatement&) { return Flow::Break; },
          [](const ContinueStatement&) { return Flow::Continue; },
          [](const ReturnStatement&) { return Flow::Return; },
          [](const UnsupportedStatement& node) -> Flow { RaiseUnsupported(node.construct); },
      },
      statement.node);
}

Flow SessionImpl::RunIf(const IfStatement& statement, BatchSink& sink) {
  if (EvaluateCondition(*statement.condition)) return RunGuarded(*statement.then, sink);
  if (statement.otherwise) return RunGuarded(*statement.otherwise, sink);
  return Flow::Next;
}

Flow SessionImpl::RunWhile(const WhileStatement& statement, BatchSink& sink) {
  while (EvaluateCondition(*statement.condition)) {
    CheckCancelled();
    const Flow flow = RunGuarded(*statement.body, sink);
    if (flow == Flow::Break) break;
    if (flow == Flow::Return) return flow;
  }
  return Flow::Next;
}

void SessionImpl::RunPrint(const PrintStatement& statement, BatchSink& sink) {
  Value value = EvaluateScalar(*statement.message, ColumnType{TypeId::NVarChar, 4000, 0, 0});
  Message message;
  message.number = 0;
  message.severity = 0;
  message.state = 1;
  message.line = statement.line;
  message.text = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
  sink.Info(message);
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunDeclare(const DeclareStatement& statement, BatchSink&) {
  for (const Declaration& declaration : statement.declarations) {
    const std::string key = Lower(declaration.name);
    if (m_Batch.variables.count(key)) RaiseError(134, {declaration.name});
    m_Batch.variables[key] = Variable{declaration.type, std::monostate{}};
    if (declaration.initialValue) {
      Value value = EvaluateScalar(*declaration.initialValue, declaration.type);
      m_Batch.variables[key].value = std::move(value);
    }
  }
}

void SessionImpl::RunSetVariable(const SetVariableStatement& statement, BatchSink& sink) {
  auto it = m_Batch.variables.find(Lower(statement.variable));
  if (it == m_Batch.variables.end()) RaiseError(137, {statement.variable});
  it->second.value = EvaluateScalar(*statement.value, it->second.type);
  m_Outcome.rowCount = 1;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunSetOption(const SetOptionStatement& statement, BatchSink& sink) {
  const std::string value = Upper(statement.value);
  const bool on = value == "ON";
  if (statement.options == "IDENTITY_INSERT") {
    TableInfo table = ResolveTable(statement.table);
    const std::string key = Lower(table.schema + "." + table.name);
    if (table.identityColumn < 0) {
      // SQL Server 8106: "Table '…' does not have the identity property."
      RaiseUnsupported("IDENTITY_INSERT on a table without an identity column");
    }
    if (on) {
      if (!m_Options.identityInsertTable.empty() && m_Options.identityInsertTable != key) {
        RaiseError(
            8107,
            {m_Options.identityInsertTable.substr(m_Options.identityInsertTable.find('.') + 1),
             table.name});
      }
      m_Options.identityInsertTable = key;
    } else if (m_Options.identityInsertTable == key) {
      m_Options.identityInsertTable.clear();
    }
    return Done(sink, false, false, 0, 0);
  }
  // Several options may share one value: SET ANSI_NULLS, ANSI_WARNINGS ON.
  std::vector<std::string> options;
  std::string current;
  for (char c : statement.options + ",") {
    if (c == ',') {
      options.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  for (const std::string& option : options) {
    if (option == "NOCOUNT") {
      m_Options.noCount = on;
    } else if (option == "ANSI_NULL_DFLT_ON") {
      m_Options.ansiNullDefault = on;
    } else if (option == "ANSI_NULL_DFLT_OFF") {
      m_Options.ansiNullDefault = !on;
    } else if (option == "QUOTED_IDENTIFIER") {
      m_Options.quotedIdentifier = on;
    } else if (option == "LOCK_TIMEOUT") {
      std::int64_t milliseconds = 0;
      const std::string& text = statement.value;
      const bool negative = !text.empty() && text[0] == '-';
      if (std::from_chars(text.data() + (negative ? 1 : 0), text.data() + text.size(), milliseconds)
              .ec != std::errc()) {
        RaiseUnsupported("SET LOCK_TIMEOUT " + text);
      }
      m_Options.lockTimeoutMs = negative ? -1 : milliseconds;
    } else if (option == "TEXTSIZE") {
      std::int64_t bytes = 0;
      const std::string& text = statement.value;
      if (std::from_chars(text.data(), text.data() + text.size(), bytes).ec != std::errc() ||
          bytes < 0) {
        RaiseUnsupported("SET TEXTSIZE " + text);
      }
      m_Options.textSize = bytes == 0 ? SessionOptions::kServerTextSize
                                      : std::min(bytes, SessionOptions::kDefaultTextSize);
    } else if (option == "ANSI_PADDING" || option == "ANSI_WARNINGS" || option == "ARITHABORT" ||
               option == "ARITHIGNORE" || option == "NUMERIC_ROUNDABORT" ||
               option == "CURSOR_CLOSE_ON_COMMIT" || option == "DEADLOCK_PRIORITY" ||
               option == "QUERY_GOVERNOR_COST_LIMIT" || option == "TRANSACTION ISOLATION LEVEL" ||
               option == "ANSI_DEFAULTS" || option == "REMOTE_PROC_TRANSACTIONS" ||
               option == "FORCEPLAN" || option == "CONCAT_NULL_YIELDS_NULL" ||
               option == "ANSI_NULLS" || option == "IMPLICIT_TRANSACTIONS" ||
               option == "XACT_ABORT" || option == "ROWCOUNT" || option == "LANGUAGE" ||
               option == "DATEFORMAT" || option == "DATEFIRST" || option == "NOEXEC" ||
               option == "FMTONLY" || option == "PARSEONLY" || option == "SHOWPLAN_TEXT" ||
               option == "SHOWPLAN_ALL" || option == "STATISTICS" || option == "CONTEXT_INFO" ||
               option == "OFFSETS") {
      // Accepted where the stand-in already behaves that way; refused where it would not.
      const bool unsupported =
          ((option == "CONCAT_NULL_YIELDS_NULL" || option == "ANSI_NULLS") && !on) ||
          ((option == "IMPLICIT_TRANSACTIONS" || option == "XACT_ABORT" || option == "NOEXEC" ||
            option == "FMTONLY" || option == "PARSEONLY" || option == "SHOWPLAN_TEXT" ||
            option == "SHOWPLAN_ALL") &&
           on) ||
          (option == "ROWCOUNT" && value != "0") ||
          (option == "LANGUAGE" && !EqualsNoCase(value, "us_english") &&
           !EqualsNoCase(value, "english")) ||
          (option == "DATEFORMAT" && !EqualsNoCase(value, "mdy")) ||
          (option == "DATEFIRST" && value != "7") || option == "STATISTICS" ||
          option == "CONTEXT_INFO" || option == "OFFSETS";
      if (unsupported) RaiseUnsupported("SET " + option + " " + statement.value);
    } else {
      RaiseError(195, {option, "SET option"});
    }
  }
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunRaiserror(const RaiserrorStatement& statement, BatchSink& sink) {
  const ColumnType text{TypeId::NVarChar, 4000, 0, 0};
  const ColumnType number{TypeId::Int, 0, 0, 0};
  const Expr& first = *statement.arguments[0];
  if (first.kind == ExprKind::Integer) RaiseUnsupported("RAISERROR with a message number");
  Value format = EvaluateScalar(first, text);
  Value severity = EvaluateScalar(*statement.arguments[1], number);
  Value state = EvaluateScalar(*statement.arguments[2], number);
  std::vector<Value> values;
  for (std::size_t i = 3; i < statement.arguments.size(); ++i) {
    Translator translator(*this);
    SqlText query = translator.TranslateScalar(*statement.arguments[i]);
    const bool numeric = query.columns[0].type.known && IsInteger(query.columns[0].type.type.id);
    values.push_back(EvaluateScalar(*statement.arguments[i], numeric ? number : text));
  }
  // printf-style substitution as RAISERROR does it: %s, %d/%i/%u, %%.
  const std::string pattern =
      std::holds_alternative<std::string>(format) ? std::get<std::string>(format) : "";
  std::string message;
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 >= pattern.size()) {
      message += pattern[i];
      continue;
    }
    std::size_t end = i + 1;
    while (end < pattern.size() &&
           std::string_view("-+ #0123456789.*lhI").find(pattern[end]) != std::string_view::npos)
      ++end;
    if (end >= pattern.size()) break;
    const char conversion = pattern[end];
    if (conversion == '%') {
      message += '%';
    } else if (next < values.size()) {
      const Value& value = values[next++];
      if (std::holds_alternative<std::int64_t>(value)) {
        message += std::to_string(std::get<std::int64_t>(value));
      } else if (std::holds_alternative<std::string>(value)) {
        message += std::get<std::string>(value);
      } else {
        message += "(null)";
      }
    } else {
      message += "(null)";
    }
    i = end;
  }
  Message raised;
  raised.number = 50000;
  const std::int64_t level =
      std::holds_alternative<std::int64_t>(severity) ? std::get<std::int64_t>(severity) : 16;
  if (level < 0 || level > 18) RaiseUnsupported("RAISERROR with severity " + std::to_string(level));
  raised.severity = static_cast<std::uint8_t>(level);
  const std::int64_t stateValue =
      std::holds_alternative<std::int64_t>(state) ? std::get<std::int64_t>(state) : 1;
  raised.state = static_cast<std::uint8_t>(std::clamp<std::int64_t>(stateValue, 1, 127));
  raised.text = message;
  raised.line = statement.line;
  if (raised.severity >= 11) throw SqlError(raised);
  Report(raised, sink);
  m_Outcome.rowCount = 0;
  Done(sink, false, false, 0, 0);
}

}  // namespace standin::engine
