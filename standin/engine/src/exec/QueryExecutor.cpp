// Queries and data changes: SELECT (with INTO and assignments), INSERT,
// UPDATE and DELETE, the streaming of rows and the counting of changes.
#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "common/ScopeGuard.h"
#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/IdentityCounters.h"
#include "exec/QueryExecutor.h"
#include "exec/StatementSupport.h"

namespace standin::engine {
namespace {

// SET TEXTSIZE counts bytes as the client receives them: one per character
// of text (code page 1252), two per UTF-16 unit of ntext, one per image byte.
void CutToTextSize(Value& value, TypeId type, std::int64_t limit) {
  const auto bytes = static_cast<std::size_t>(limit);
  if (type == TypeId::Image) {
    if (auto* data = std::get_if<Bytes>(&value); data && data->size() > bytes) data->resize(bytes);
    return;
  }
  auto* text = std::get_if<std::string>(&value);
  if (!text || (type != TypeId::Text && type != TypeId::NText)) return;
  const std::size_t units = type == TypeId::NText ? bytes / 2 : bytes;
  std::size_t at = 0, counted = 0;
  while (at < text->size()) {
    const auto lead = static_cast<unsigned char>((*text)[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::size_t width = type == TypeId::NText && length == 4 ? 2 : 1;
    if (counted + width > units) break;
    counted += width;
    at = std::min(text->size(), at + length);
  }
  text->resize(at);
}

// A computed value outside its column's type is SQL Server's arithmetic
// overflow, raised at the row that has it (int + int, SUM of ints).
void CheckArithmeticRange(const Value& value, const ColumnType& type) {
  if (const auto* integer = std::get_if<std::int64_t>(&value)) {
    std::int64_t low = std::numeric_limits<std::int64_t>::min();
    std::int64_t high = std::numeric_limits<std::int64_t>::max();
    if (type.id == TypeId::TinyInt) low = 0, high = 255;
    if (type.id == TypeId::SmallInt) low = -32768, high = 32767;
    if (type.id == TypeId::Int) low = -2147483648LL, high = 2147483647LL;
    if (*integer < low || *integer > high) RaiseError(8115, {"expression", TypeName(type)});
  } else if (const auto* real = std::get_if<double>(&value);
             real && !std::isfinite(*real) &&
             (type.id == TypeId::Float || type.id == TypeId::Real)) {
    RaiseError(8115, {"expression", TypeName(type)});
  }
}

}  // namespace

void QueryExecutor::BindParameters(SqliteStatement& statement, const SqlText& query) {
  for (std::size_t i = 0; i < query.parameters.size(); ++i) {
    const Variable* variable = m_Session.FindVariable(query.parameters[i]);
    statement.Bind(static_cast<int>(i + 1), variable ? variable->value : Value{});
  }
}

std::uint64_t QueryExecutor::StreamQuery(const SqlText& query, BatchSink& sink, bool metadataOnly) {
  SqliteStatement statement(m_Session.Db(), query.sql);
  BindParameters(statement, query);
  bool hasRow = !metadataOnly && statement.Step("SELECT");
  std::vector<Column> columns(query.columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const OutputColumn& output = query.columns[i];
    columns[i].name = output.name;
    columns[i].nullable = output.nullable;
    if (output.type.known) {
      columns[i].type = output.type.type;
    } else if (hasRow) {
      columns[i].type = TypeOfStoredValue(statement.Handle(), static_cast<int>(i));
    } else {
      columns[i].type = ColumnType{TypeId::NVarChar, 4000, 0, 0};
    }
  }
  sink.Columns(columns);
  if (metadataOnly) return 0;
  std::uint64_t rows = 0;
  std::vector<Value> row(columns.size());
  while (hasRow) {
    m_Session.CheckCancelled();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      row[i] = ReadValue(statement.Handle(), static_cast<int>(i), columns[i].type);
      CheckArithmeticRange(row[i], columns[i].type);
      if (m_Options.textSize < SessionOptions::kDefaultTextSize)
        CutToTextSize(row[i], columns[i].type.id, m_Options.textSize);
    }
    sink.Row(row);
    ++rows;
    hasRow = statement.Step("SELECT");
  }
  return rows;
}

std::int64_t QueryExecutor::Changes(const SqlText& query, std::string_view kind,
                                    const TableInfo* table) {
  SqliteStatement statement(m_Session.Db(), query.sql);
  BindParameters(statement, query);
  try {
    while (statement.Step(kind)) {
    }
  } catch (const SqlError& error) {
    if (error.Msg().number != 2627 || error.Msg().state != 0) throw;
    // "t.a, t.b" → the constraint over exactly those columns.
    std::string columns;
    std::string rest = error.Msg().text;
    std::string tableName = table ? table->name : "";
    for (std::size_t start = 0; start <= rest.size();) {
      std::size_t end = rest.find(", ", start);
      if (end == std::string::npos) end = rest.size();
      std::string part = rest.substr(start, end - start);
      const std::size_t dot = part.find('.');
      if (dot != std::string::npos) {
        if (tableName.empty()) tableName = part.substr(0, dot);
        part = part.substr(dot + 1);
      }
      columns += (columns.empty() ? "" : ",") + Lower(part);
      start = end + 2;
    }
    std::string constraint = "?", constraintKind = "UNIQUE KEY";
    if (table) {
      SqliteStatement find(m_Session.Db(),
                           "SELECT name, kind FROM " + QuoteIdentifier(table->schema) +
                               ".\"sqlstandin$constraints\" WHERE table_name = ? AND columns = ?");
      find.BindText(1, table->name);
      find.BindText(2, columns);
      if (find.Step()) {
        constraint = reinterpret_cast<const char*>(sqlite3_column_text(find.Handle(), 0));
        constraintKind = reinterpret_cast<const char*>(sqlite3_column_text(find.Handle(), 1));
      }
    }
    throw SqlError(MakeMessage(2627, {constraintKind, constraint, tableName}));
  }
  return sqlite3_changes64(m_Session.Db());
}

Value QueryExecutor::EvaluateScalar(const Expr& expr, const ColumnType& type) {
  Translator translator(m_Session);
  SqlText query = translator.TranslateScalar(expr);
  const bool fromDate = query.columns[0].type.known && IsDateTime(query.columns[0].type.type.id);
  // Variables take values as CAST does: a long string is cut, not refused.
  query.sql = "SELECT standin_convert((" + query.sql + "), '" + TypeName(type) + "', 0, NULL, " +
              (fromDate ? "1" : "0") + ")";
  SqliteStatement statement(m_Session.Db(), query.sql);
  BindParameters(statement, query);
  if (!statement.Step("SELECT")) return std::monostate{};
  return ReadValue(statement.Handle(), 0, type);
}

bool QueryExecutor::EvaluateCondition(const Expr& expr) {
  Translator translator(m_Session);
  SqlText query = translator.TranslateCondition(expr);
  SqliteStatement statement(m_Session.Db(), query.sql);
  BindParameters(statement, query);
  return statement.Step("SELECT") && sqlite3_column_int(statement.Handle(), 0) != 0;
}

void QueryExecutor::RunSelect(const SelectStatement& statement, BatchSink& sink) {
  const Select& select = *statement.select;
  if (select.cores[0].into) return RunSelectInto(select, sink);
  bool assigns = false, returns = false;
  for (const SelectCore& core : select.cores) {
    for (const SelectItem& item : core.items) {
      (item.assignVariable.empty() ? returns : assigns) = true;
    }
  }
  if (assigns && returns) RaiseError(141);
  if (assigns) return RunAssignmentSelect(select, sink);
  Translator translator(m_Session);
  SqlText query = translator.TranslateSelect(select);
  const std::uint64_t rows = StreamQuery(query, sink);
  m_Outcome.rowCount = static_cast<std::int64_t>(rows);
  m_Session.Done(sink, false, true, rows, kCommandSelect);
}

void QueryExecutor::RunAssignmentSelect(const Select& select, BatchSink& sink) {
  if (select.cores.size() != 1) RaiseUnsupported("variable assignment in a UNION");
  Translator translator(m_Session);
  SqlText query = translator.TranslateSelect(select);
  std::vector<std::pair<Variable*, ColumnType>> targets;
  for (const SelectItem& item : select.cores[0].items) {
    auto it = m_Batch.variables.find(Lower(item.assignVariable));
    if (it == m_Batch.variables.end()) RaiseError(137, {item.assignVariable});
    targets.emplace_back(&it->second, it->second.type);
  }
  // Each value converts to its variable's type as an assignment would.
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const bool fromDate = query.columns[i].type.known && IsDateTime(query.columns[i].type.type.id);
    sql += (i ? ", " : "") + std::string("standin_convert(column") + std::to_string(i + 1) + ", '" +
           TypeName(targets[i].second) + "', 0, NULL, " + (fromDate ? "1" : "0") + ")";
  }
  std::string columns;
  for (std::size_t i = 0; i < targets.size(); ++i)
    columns += (i ? ", " : "") + std::string("column") + std::to_string(i + 1);
  query.sql = "WITH \"sqlstandin$values\"(" + columns + ") AS (" + query.sql + ") " + sql +
              " FROM \"sqlstandin$values\"";
  SqliteStatement prepared(m_Session.Db(), query.sql);
  BindParameters(prepared, query);
  std::uint64_t rows = 0;
  std::vector<Value> values(targets.size());
  while (prepared.Step("SELECT")) {
    m_Session.CheckCancelled();
    for (std::size_t i = 0; i < targets.size(); ++i) {
      values[i] = ReadValue(prepared.Handle(), static_cast<int>(i), targets[i].second);
    }
    // SQL Server assigns row by row; the last row's values remain.
    for (std::size_t i = 0; i < targets.size(); ++i) targets[i].first->value = values[i];
    ++rows;
  }
  m_Outcome.rowCount = static_cast<std::int64_t>(rows);
  m_Session.Done(sink, false, true, rows, kCommandSelect);
}

void QueryExecutor::RunSelectInto(const Select& select, BatchSink& sink) {
  const ObjectName& target = *select.cores[0].into;
  std::string schema =
      target.IsTemp()
          ? "temp"
          : m_Session.SchemaFor(target.database.empty() ? m_Session.Database() : target.database);
  if (TableExists(m_Session.Db(), schema, target.name)) RaiseError(2714, {target.name});
  const std::string targetDatabase =
      target.database.empty() ? m_Session.Database() : target.database;
  if (!target.IsTemp()) m_Security.CheckCreateObject(targetDatabase, "CREATE TABLE");
  Translator translator(m_Session);
  SqlText query = translator.TranslateSelect(select);
  std::string definition;
  std::string names;
  for (std::size_t i = 0; i < query.columns.size(); ++i) {
    const OutputColumn& column = query.columns[i];
    if (column.name.empty()) RaiseError(8155, {std::to_string(i + 1), target.name});
    const ColumnType type =
        column.type.known ? column.type.type : ColumnType{TypeId::NVarChar, 4000, 0, 0};
    definition += (i ? ", " : "") + QuoteIdentifier(column.name) + " " + StorageTypeName(type) +
                  StorageCollation(type);
    names += (i ? ", " : "") + QuoteIdentifier(column.name);
  }
  const std::string table = QuoteIdentifier(schema) + "." + QuoteIdentifier(target.name);
  SqliteTransaction scope = m_Transactions.BeginWrite();
  Execute(m_Session.Db(), "CREATE TABLE " + table + " (" + definition + ")");
  SqlText insert = query;
  insert.sql = "INSERT INTO " + table + " (" + names + ") " + query.sql;
  const std::int64_t count = Changes(insert, "INSERT");
  if (!target.IsTemp()) m_Security.RecordCreator(targetDatabase, target.name);
  scope.Commit();
  m_Outcome.rowCount = count;
  m_Session.Done(sink, false, true, static_cast<std::uint64_t>(count), kCommandSelect);
}

void QueryExecutor::RunInsert(const InsertStatement& statement, BatchSink& sink) {
  TableInfo table = m_Session.ResolveTable(statement.table);
  m_Security.CheckWrite(table, "INSERT");
  std::vector<std::string> columns = statement.columns;
  if (IsView(table)) {
    table = ViewInsertTarget(table, columns);
    for (const auto& row : statement.values) {
      if (statement.columns.empty() && row.size() != columns.size()) RaiseError(213);
    }
  }
  const std::string tableKey = Lower(table.schema + "." + table.name);
  const bool identityInsert = m_Options.identityInsertTable == tableKey;
  Translator translator(m_Session);
  SqlText query = translator.TranslateInsert(statement, table, identityInsert, columns);
  SqliteTransaction scope = m_Transactions.BeginWrite();
  const std::string identityTable = QuoteIdentifier(table.schema) + ".\"sqlstandin$identity\"";
  if (table.identityColumn >= 0) {
    SqliteStatement state(m_Session.Db(), "SELECT seed, increment, last_value FROM " +
                                              identityTable + " WHERE table_name = ?");
    state.BindText(1, table.name);
    if (state.Step()) {
      const std::int64_t seed = sqlite3_column_int64(state.Handle(), 0);
      const std::int64_t increment = sqlite3_column_int64(state.Handle(), 1);
      const bool used = sqlite3_column_type(state.Handle(), 2) != SQLITE_NULL;
      m_Identity = IdentityState{
          true, used ? sqlite3_column_int64(state.Handle(), 2) + increment : seed, increment, 0, 0};
      // Values taken by inserts that were undone are not handed out again.
      if (std::optional<std::int64_t> taken =
              IdentityCounters::Last(IdentityKey(m_Session.Db(), m_Session.SessionId(), table))) {
        if (increment > 0 ? *taken >= m_Identity.next : *taken <= m_Identity.next)
          m_Identity.next = *taken + increment;
      }
    }
  }
  std::int64_t count = 0;
  {
    ScopeGuard forget([&] { m_Identity.generated = 0; });
    // Values handed out stay used, whether or not the insert stands (runs
    // before `forget`).
    ScopeGuard release([&] {
      m_Identity.active = false;
      if (m_Identity.generated > 0)
        IdentityCounters::Used(IdentityKey(m_Session.Db(), m_Session.SessionId(), table),
                               m_Identity.last, m_Identity.increment);
    });
    count = Changes(query, "INSERT", &table);
    forget.Dismiss();
  }
  if (m_Identity.generated > 0) {
    SqliteStatement update(m_Session.Db(),
                           "UPDATE " + identityTable + " SET last_value = ? WHERE table_name = ?");
    update.BindInt(1, m_Identity.last);
    update.BindText(2, table.name);
    update.Step();
  } else if (identityInsert && count > 0) {
    // Explicit identity values move the counter past the largest one, as SQL Server does.
    const std::string column = QuoteIdentifier(table.columns[table.identityColumn].name);
    Execute(m_Session.Db(),
            "UPDATE " + identityTable +
                " SET last_value = (SELECT CASE WHEN increment > 0 THEN max(coalesce(last_value, " +
                column + "), max(" + column + ")) ELSE min(coalesce(last_value, " + column +
                "), min(" + column + ")) END FROM " + QuoteIdentifier(table.schema) + "." +
                QuoteIdentifier(table.name) + ") WHERE table_name = " + QuoteString(table.name));
  }
  std::optional<std::int64_t> explicitIdentity;
  if (identityInsert && count > 0 && m_Identity.generated == 0) {
    SqliteStatement last(m_Session.Db(),
                         "SELECT last_value FROM " + identityTable + " WHERE table_name = ?");
    last.BindText(1, table.name);
    if (last.Step() && sqlite3_column_type(last.Handle(), 0) != SQLITE_NULL) {
      explicitIdentity = sqlite3_column_int64(last.Handle(), 0);
    }
  }
  scope.Commit();
  // @@IDENTITY is NULL after an insert into a table without an identity column.
  if (table.identityColumn < 0) m_Outcome.lastIdentity.reset();
  if (explicitIdentity) m_Outcome.lastIdentity = explicitIdentity;
  if (m_Identity.generated > 0) m_Outcome.lastIdentity = m_Identity.last;
  m_Identity.generated = 0;
  m_Outcome.rowCount = count;
  m_Session.Done(sink, false, true, static_cast<std::uint64_t>(count), kCommandInsert);
}

template <typename Write>
void QueryExecutor::RunRowWrite(const Write& statement, BatchSink& sink) {
  constexpr bool update = std::is_same_v<Write, UpdateStatement>;
  bool truncate = false;
  if constexpr (!update) truncate = statement.truncate;
  // UPDATE alias … FROM t AS alias names its target by the alias.
  const ObjectName* target = &statement.table;
  if (statement.table.database.empty() && statement.table.owner.empty()) {
    for (const TableSource& source : statement.from) {
      if (!source.derived && EqualsNoCase(source.alias, statement.table.name))
        target = &source.table;
    }
  }
  TableInfo table = m_Session.ResolveTable(*target);
  if (truncate) {
    // TRUNCATE TABLE belongs to the table's owner and the schema roles; it
    // cannot be granted.
    if (table.schema != "temp")
      m_Security.RequireSchemaChange(table.database, table.name, "TRUNCATE TABLE");
  } else {
    m_Security.CheckWrite(table, update ? "UPDATE" : "DELETE");
  }
  Translator translator(m_Session);
  SqlText query;
  if (!truncate && IsView(table)) {
    query = TranslateViewWrite(statement, table);
  } else if constexpr (update) {
    query = translator.TranslateUpdate(statement, table);
  } else {
    query = translator.TranslateDelete(statement, table);
  }
  SqliteTransaction scope = m_Transactions.BeginWrite();
  const std::int64_t count = Changes(query, update ? "UPDATE" : "DELETE", &table);
  if (truncate && table.identityColumn >= 0) {
    // TRUNCATE TABLE starts the identity over at its seed.
    SqliteStatement reset(m_Session.Db(), "UPDATE " + QuoteIdentifier(table.schema) +
                                              ".\"sqlstandin$identity\" SET last_value = NULL "
                                              "WHERE table_name = ?");
    reset.BindText(1, table.name);
    reset.Step();
  }
  scope.Commit();
  if (truncate) IdentityCounters::Forget(IdentityKey(m_Session.Db(), m_Session.SessionId(), table));
  m_Outcome.rowCount = truncate ? 0 : count;
  m_Session.Done(sink, false, !truncate, static_cast<std::uint64_t>(count),
                 update ? kCommandUpdate : kCommandDelete);
}

template void QueryExecutor::RunRowWrite(const UpdateStatement& statement, BatchSink& sink);
template void QueryExecutor::RunRowWrite(const DeleteStatement& statement, BatchSink& sink);

}  // namespace standin::engine
