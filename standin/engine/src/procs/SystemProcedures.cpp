// Looking up, binding and running system procedures.
#include "procs/SystemProcedures.h"

#include <cctype>
#include <charconv>

#include "common/Text.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace {

constexpr std::uint16_t kCommandSelect = 0xC1;

// The last part of a written name, without brackets or quotes.
std::string BaseName(std::string_view written) {
  const std::size_t dot = written.rfind('.');
  std::string_view base = dot == std::string_view::npos ? written : written.substr(dot + 1);
  if (base.size() >= 2 && ((base.front() == '[' && base.back() == ']') ||
                           (base.front() == '"' && base.back() == '"'))) {
    base = base.substr(1, base.size() - 2);
  }
  return Lower(base);
}

}  // namespace

std::optional<std::string> ProcedureCall::Text(std::size_t index) const {
  if (index >= arguments.size()) return std::nullopt;
  const Value& value = arguments[index];
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) return std::to_string(*real);
  return std::nullopt;
}

std::optional<std::int64_t> ProcedureCall::Integer(std::size_t index) const {
  if (index >= arguments.size()) return std::nullopt;
  const Value& value = arguments[index];
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* real = std::get_if<double>(&value)) return static_cast<std::int64_t>(*real);
  if (const auto* text = std::get_if<std::string>(&value)) {
    std::string_view digits(*text);
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    std::int64_t parsed = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error == std::errc() && end == digits.data() + digits.size() && !digits.empty())
      return parsed;
  }
  return std::nullopt;
}

void ProcedureCall::ResultSet(const std::vector<Column>& columns,
                              const std::vector<std::vector<Value>>& rows) {
  sink.Columns(columns);
  for (const auto& row : rows) sink.Row(row);
  Done done;
  done.kind = Done::Kind::InProcedure;
  done.hasCount = !noCount;
  done.rowCount = noCount ? 0 : rows.size();
  done.currentCommand = kCommandSelect;
  sink.StatementDone(done);
}

void ProcedureCall::Info(std::int32_t number, std::initializer_list<std::string_view> texts) {
  sink.Info(MakeMessage(number, texts));
}

const SystemProcedure* FindSystemProcedure(std::string_view writtenName) {
  const std::string base = BaseName(writtenName);
  for (auto area : {ServerProcedures(), DatabaseProcedures(), ProcessProcedures(),
                    SecurityProcedures(), DatabaseSecurityProcedures(), FullTextProcedures()}) {
    for (const SystemProcedure& procedure : area) {
      if (procedure.name == base) return &procedure;
    }
  }
  return nullptr;
}

std::vector<Value> BindArguments(const SystemProcedure& procedure,
                                 const std::vector<Parameter>& passed) {
  const std::string procedureName(procedure.name);
  std::vector<Value> bound(procedure.parameters.size());
  bool namedSeen = false;
  for (std::size_t i = 0; i < passed.size(); ++i) {
    const Parameter& argument = passed[i];
    if (argument.name.empty()) {
      if (namedSeen) RaiseError(119, {std::to_string(i + 1)});
      if (i >= bound.size()) RaiseError(8144, {procedureName});
      bound[i] = argument.value;
      continue;
    }
    namedSeen = true;
    const std::string wanted = Lower(argument.name);
    std::size_t index = 0;
    while (index < procedure.parameters.size() && procedure.parameters[index] != wanted) ++index;
    if (index == procedure.parameters.size()) RaiseError(8145, {argument.name, procedureName});
    bound[index] = argument.value;
  }
  return bound;
}

Column MakeColumn(std::string name, TypeId id, std::int32_t length, bool nullable) {
  Column column;
  column.name = std::move(name);
  column.type = ColumnType{id, length, 0, 0};
  column.nullable = nullable;
  return column;
}

}  // namespace standin::engine
