// User stored procedures: CREATE/ALTER/DROP PROCEDURE keep the text exactly
// as sent (sqlstandin$objects, kind 'P'); EXEC parses it and runs a body that
// is one SELECT. A body this engine cannot run whole is refused before any of
// it runs, so a procedure never half-runs.
#include <cctype>

#include "common/ScopeGuard.h"
#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "exec/ProcedureExecutor.h"
#include "parse/Parser.h"

namespace standin::engine {
namespace {

constexpr std::uint16_t kCommandSelect = 0xC1;

std::string StoredText(sqlite3_stmt* statement, int index) {
  const unsigned char* text = sqlite3_column_text(statement, index);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// "db.owner.name", "[dbo].[p]" → its parts, brackets and quotes removed.
ObjectName SplitName(std::string_view written) {
  std::vector<std::string> parts{""};
  for (char c : written) {
    if (c == '.') {
      parts.emplace_back();
    } else if (c != '[' && c != ']' && c != '"') {
      parts.back() += c;
    }
  }
  ObjectName name;
  name.written = std::string(written);
  name.name = parts.back();
  if (parts.size() >= 2) name.owner = parts[parts.size() - 2];
  if (parts.size() >= 3) name.database = parts[parts.size() - 3];
  return name;
}

}  // namespace

std::optional<ProcedureExecutor::UserProcedure> ProcedureExecutor::FindUserProcedure(
    const ObjectName& name) {
  if (name.IsTemp()) return std::nullopt;
  const std::string schema =
      m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
  SqliteStatement find(m_Session.Db(), "SELECT name, definition FROM " + QuoteIdentifier(schema) +
                                           ".\"sqlstandin$objects\" WHERE kind = 'P' AND name = ? "
                                           "COLLATE standin_ci");
  find.BindText(1, name.name);
  if (!find.Step("SELECT")) return std::nullopt;
  return UserProcedure{schema, StoredText(find.Handle(), 0), StoredText(find.Handle(), 1)};
}

void ProcedureExecutor::RunCreateProcedure(const CreateProcedureStatement& statement,
                                           BatchSink& sink) {
  const ObjectName& name = statement.procedure;
  if (name.IsTemp()) RaiseUnsupported("temporary procedures");
  const bool alter = statement.alter;
  std::optional<UserProcedure> existing = FindUserProcedure(name);
  const std::string schema =
      m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
  if (alter && !existing) RaiseError(208, {name.written});
  const std::string database = name.database.empty() ? m_Session.Database() : name.database;
  if (alter) {
    m_Security.RequireSchemaChange(database, existing->name, "ALTER PROCEDURE");
  } else {
    m_Security.CheckCreateObject(database, "CREATE PROCEDURE");
  }
  if (!alter) {
    SqliteStatement taken(m_Session.Db(), "SELECT 1 FROM " + QuoteIdentifier(schema) +
                                              ".sqlite_master WHERE name = ? COLLATE standin_ci "
                                              "UNION ALL SELECT 1 FROM " +
                                              QuoteIdentifier(schema) +
                                              ".\"sqlstandin$objects\" WHERE name = ? COLLATE "
                                              "standin_ci");
    taken.BindText(1, name.name);
    taken.BindText(2, name.name);
    if (taken.Step("SELECT")) RaiseError(2714, {name.name});
  }
  SqliteTransaction scope = m_Transactions.BeginWrite();
  SqliteStatement store(m_Session.Db(),
                        "INSERT OR REPLACE INTO " + QuoteIdentifier(schema) +
                            ".\"sqlstandin$objects\" (name, kind, definition) VALUES "
                            "(?, 'P', ?)");
  store.BindText(1, existing ? existing->name : name.name);
  store.BindText(2, statement.text);
  store.Step();
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void ProcedureExecutor::RunDropProcedure(const DropProcedureStatement& statement, BatchSink& sink) {
  const ObjectName& name = statement.procedure;
  std::optional<UserProcedure> existing = FindUserProcedure(name);
  if (!existing) RaiseError(3701, {"procedure", name.written});
  if (!m_Security.MayAlterSchema(name.database.empty() ? m_Session.Database() : name.database,
                                 existing->name))
    RaiseError(3701, {"procedure", name.written});
  SqliteTransaction scope = m_Transactions.BeginWrite();
  SqliteStatement remove(m_Session.Db(),
                         "DELETE FROM " + QuoteIdentifier(existing->schema) +
                             ".\"sqlstandin$objects\" WHERE kind = 'P' AND name = ?");
  remove.BindText(1, existing->name);
  remove.Step();
  m_Security.ForgetObjectPermissions(existing->schema, existing->name);
  scope.Commit();
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

Value ProcedureExecutor::ConvertValue(const Value& value, const ColumnType& from,
                                      const ColumnType& to) {
  if (std::holds_alternative<std::monostate>(value)) return value;
  SqliteStatement convert(m_Session.Db(), "SELECT standin_convert(?, " + QuoteString(TypeName(to)) +
                                              ", 0, NULL, " + (IsDateTime(from.id) ? "1" : "0") +
                                              ")");
  convert.Bind(1, value);
  if (!convert.Step("SELECT")) return std::monostate{};
  return ReadValue(convert.Handle(), 0, to);
}

bool ProcedureExecutor::RunUserProcedure(const std::string& writtenName,
                                         const std::vector<Parameter>& arguments, BatchSink& sink,
                                         bool rpc) {
  const ObjectName name = SplitName(writtenName);
  if (Lower(name.name) == "sp_helptext") {
    RunHelpText(arguments, sink);
    return true;
  }
  std::optional<UserProcedure> procedure = FindUserProcedure(name);
  if (!procedure) return false;
  m_Batch.procedureOutputs.clear();
  const bool wasInProcedure = m_Batch.inProcedure;
  std::map<std::string, Variable> callerVariables = std::move(m_Batch.variables);
  m_Batch.variables.clear();
  m_Batch.inProcedure = true;
  // The caller's state comes back when this returns or throws (a cancel, a
  // batch-ending error); nothing below reads it.
  ScopeGuard restore([&] {
    m_Batch.variables = std::move(callerVariables);
    m_Batch.inProcedure = wasInProcedure;
  });
  bool failed = false;
  std::vector<std::pair<std::size_t, const Declaration*>> outputs;  // argument, parameter
  try {
    m_Security.CheckExecute(name.database.empty() ? m_Session.Database() : name.database,
                            procedure->name);
    ProcedureDefinition definition;
    try {
      definition = ParseProcedureText(procedure->text, m_Options.quotedIdentifier);
    } catch (const SqlError& error) {
      RaiseUnsupported("running the procedure '" + procedure->name + "': " + error.Msg().text);
    }
    const SelectStatement* select =
        definition.body.size() == 1 ? definition.body[0]->As<SelectStatement>() : nullptr;
    const bool singleSelect = select && select->select->cores.front().into == std::nullopt;
    if (!singleSelect) {
      RaiseUnsupported("running the procedure '" + procedure->name +
                       "', whose body is more than one SELECT");
    }
    // Arguments bind as SQL Server binds them: positional ones first.
    const auto& parameters = definition.parameters;
    std::vector<const Parameter*> bound(parameters.size(), nullptr);
    std::vector<std::size_t> boundIndex(parameters.size(), 0);
    std::size_t position = 0;
    bool named = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      std::size_t target = parameters.size();
      if (arguments[i].name.empty()) {
        if (named) RaiseError(119, {std::to_string(i + 1)});
        if (position >= parameters.size()) RaiseError(8144, {procedure->name});
        target = position++;
      } else {
        named = true;
        for (std::size_t p = 0; p < parameters.size(); ++p) {
          if (Lower(parameters[p].name) == Lower(arguments[i].name)) target = p;
        }
        if (target == parameters.size()) RaiseError(8145, {arguments[i].name, procedure->name});
      }
      bound[target] = &arguments[i];
      boundIndex[target] = i;
    }
    for (std::size_t p = 0; p < parameters.size(); ++p) {
      Variable variable{parameters[p].type, std::monostate{}};
      if (bound[p]) {
        variable.value = ConvertValue(bound[p]->value, bound[p]->type, parameters[p].type);
        if (bound[p]->output && parameters[p].output)
          outputs.emplace_back(boundIndex[p], &parameters[p]);
      } else if (parameters[p].initialValue) {
        variable.value = m_Session.EvaluateScalar(*parameters[p].initialValue, parameters[p].type);
      } else {
        RaiseError(201, {procedure->name, parameters[p].name});
      }
      m_Batch.variables[Lower(parameters[p].name)] = std::move(variable);
    }
    const bool wasChained = m_SecurityState.ownershipChain;
    m_SecurityState.ownershipChain = true;
    ScopeGuard unchain([&] { m_SecurityState.ownershipChain = wasChained; });
    try {
      m_Session.Run(*definition.body[0], sink);
    } catch (const SqlError& error) {
      // SQL Server names the procedure and the line within its text.
      Message message = error.Msg();
      message.procedure = procedure->name;
      message.line = definition.body[0]->Line();
      throw SqlError(message);
    }
    for (const auto& [index, parameter] : outputs) {
      Parameter value;
      value.name = parameter->name;
      value.type = parameter->type;
      value.value = m_Batch.variables[Lower(parameter->name)].value;
      value.output = true;
      m_Batch.procedureOutputs.emplace_back(index, std::move(value));
    }
    m_Outcome.lastError = 0;
  } catch (const SqlError& error) {
    Message message = error.Msg();
    if (message.procedure.empty() && message.number != kErrorUnsupported)
      message.procedure = procedure->name;
    m_Session.Report(message, sink);
    m_Outcome.lastError = message.number;
    m_Session.Done(sink, true, false, 0, 0);
    failed = true;
  }
  sink.ReturnStatus(failed ? 1 : 0);
  if (rpc) {
    for (const auto& [index, value] : m_Batch.procedureOutputs)
      sink.ReturnValue(value, static_cast<std::uint16_t>(index + 1));
  }
  m_Session.ProcedureDone(sink, failed);
  return true;
}

void ProcedureExecutor::RunHelpText(const std::vector<Parameter>& arguments, BatchSink& sink) {
  // sp_helptext reads the current database's objects, which only the session
  // sees; it gives the text back in lines, which joined are the text as sent.
  std::string objectName;
  if (!arguments.empty() && std::holds_alternative<std::string>(arguments[0].value))
    objectName = std::get<std::string>(arguments[0].value);
  bool failed = false;
  try {
    if (objectName.empty()) RaiseError(201, {"sp_helptext", "@objname"});
    const ObjectName name = SplitName(objectName);
    const std::string schema =
        m_Session.SchemaFor(name.database.empty() ? m_Session.Database() : name.database);
    SqliteStatement find(m_Session.Db(), "SELECT kind, definition FROM " + QuoteIdentifier(schema) +
                                             ".\"sqlstandin$objects\" WHERE name = ? COLLATE "
                                             "standin_ci");
    find.BindText(1, name.name);
    if (!find.Step("SELECT")) RaiseError(15009, {objectName, m_Session.Database()});
    if (StoredText(find.Handle(), 0) == "U") RaiseError(15197, {objectName});
    const std::string text = StoredText(find.Handle(), 1);
    sink.Columns({Column{"Text", ColumnType{TypeId::NVarChar, 255, 0, 0}, true}});
    std::uint64_t rows = 0;
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find('\n', start);
      end = end == std::string::npos ? text.size() : end + 1;
      // A line longer than the column goes on in the next row.
      std::size_t take = 0, characters = 0;
      while (start + take < end && characters < 255) {
        const unsigned char lead = static_cast<unsigned char>(text[start + take]);
        take += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        ++characters;
      }
      take = std::min(take, text.size() - start);
      sink.Row({Value{text.substr(start, take)}});
      ++rows;
      start += take;
    }
    engine::Done done;
    done.kind = engine::Done::Kind::InProcedure;
    done.hasCount = !m_Options.noCount;
    done.rowCount = m_Options.noCount ? 0 : rows;
    done.currentCommand = kCommandSelect;
    sink.StatementDone(done);
  } catch (const SqlError& error) {
    Message message = error.Msg();
    message.procedure = "sp_helptext";
    m_Session.Report(message, sink);
    m_Outcome.lastError = message.number;
    failed = true;
  }
  sink.ReturnStatus(failed ? 1 : 0);
  m_Session.ProcedureDone(sink, failed);
}

}  // namespace standin::engine
