// The executor of each statement kind.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <random>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "exec/IdentityCounters.h"
#include "exec/SessionImpl.h"
#include "parse/Parser.h"
#include "procs/SystemProcedures.h"
#include "storage/TransactionLog.h"

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

// SQL Server's CurCmd token values for DONE.
constexpr std::uint16_t kCommandSelect = 0xC1;
constexpr std::uint16_t kCommandInsert = 0xC3;
constexpr std::uint16_t kCommandDelete = 0xC4;
constexpr std::uint16_t kCommandUpdate = 0xC5;

// SQL Server 2000 names unnamed constraints PK__table__1A2B3C4D.
std::string GeneratedConstraintName(const std::string& prefix, const std::string& table) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  char suffix[9];
  std::snprintf(suffix, sizeof suffix, "%08X", static_cast<unsigned>(generator()));
  return prefix + "__" + table.substr(0, 8) + "__" + suffix;
}

bool TableExists(sqlite3* db, const std::string& schema, const std::string& name) {
  SqliteStatement find(db, "SELECT 1 FROM " + QuoteIdentifier(schema) +
                               ".sqlite_master WHERE name = ? COLLATE standin_ci");
  find.BindText(1, name);
  return find.Step();
}

}  // namespace

void SessionImpl::Run(const Statement& statement, BatchSink& sink) {
  switch (statement.kind) {
    case StatementKind::Select:
      return RunSelect(statement, sink);
    case StatementKind::Insert:
      return RunInsert(statement, sink);
    case StatementKind::Update:
    case StatementKind::Delete:
      return RunUpdateOrDelete(statement, sink);
    case StatementKind::CreateTable:
      return RunCreateTable(statement, sink);
    case StatementKind::DropTable:
      return RunDropTable(statement, sink);
    case StatementKind::CreateDatabase:
      return RunCreateDatabase(statement, sink);
    case StatementKind::Use:
      return RunUse(statement, sink);
    case StatementKind::Declare:
      return RunDeclare(statement, sink);
    case StatementKind::SetVariable:
      return RunSetVariable(statement, sink);
    case StatementKind::SetOption:
      return RunSetOption(statement, sink);
    case StatementKind::BeginTransaction:
    case StatementKind::CommitTransaction:
    case StatementKind::RollbackTransaction:
      return RunTransaction(statement, sink);
    case StatementKind::Execute:
      return RunExecute(statement, sink);
    case StatementKind::Kill:
      return RunKill(statement, sink);
    case StatementKind::DropDatabase:
      return RunDropDatabase(statement, sink);
    case StatementKind::AlterDatabase:
      return RunAlterDatabase(statement, sink);
    case StatementKind::Print: {
      Value value = EvaluateScalar(*statement.expression, ColumnType{TypeId::NVarChar, 4000, 0, 0});
      Message message;
      message.number = 0;
      message.severity = 0;
      message.state = 1;
      message.line = statement.line;
      message.text = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
      sink.Info(message);
      m_RowCount = 0;
      return Done(sink, false, false, 0, 0);
    }
    case StatementKind::If: {
      const bool condition = EvaluateCondition(*statement.condition);
      if (condition) {
        RunGuarded(*statement.body[0], sink);
      } else if (statement.body.size() > 1) {
        RunGuarded(*statement.body[1], sink);
      }
      return;
    }
    case StatementKind::While:
      while (EvaluateCondition(*statement.condition)) {
        CheckCancelled();
        try {
          RunGuarded(*statement.body[0], sink);
        } catch (const BreakSignal&) {
          break;
        } catch (const ContinueSignal&) {
        }
      }
      return;
    case StatementKind::Break:
      throw BreakSignal{};
    case StatementKind::Continue:
      throw ContinueSignal{};
    case StatementKind::Raiserror:
      return RunRaiserror(statement, sink);
    case StatementKind::Block:
      return RunStatements(statement.body, sink);
    case StatementKind::Return:
      throw ReturnSignal{};
    case StatementKind::CreateIndex:
      return RunCreateIndex(statement, sink);
    case StatementKind::DropIndex:
      return RunDropIndex(statement, sink);
    case StatementKind::CreateView:
      return RunCreateView(statement, sink);
    case StatementKind::DropView:
      return RunDropView(statement, sink);
    case StatementKind::AlterTable:
      return RunAlterTable(statement, sink);
    case StatementKind::CreateProcedure:
      return RunCreateProcedure(statement, sink);
    case StatementKind::DropProcedure:
      return RunDropProcedure(statement, sink);
    case StatementKind::BackupLog:
      return RunBackupLog(statement, sink);
    case StatementKind::Dbcc:
      return RunDbcc(statement, sink);
    case StatementKind::Permission:
      return RunPermission(statement, sink);
    case StatementKind::Unsupported:
      RaiseUnsupported(statement.name);
  }
}

std::string SessionImpl::IdentityKey(const TableInfo& table) {
  const char* file = sqlite3_db_filename(m_Db.get(), table.schema.c_str());
  // #tables live in the session's unnamed temp file.
  const std::string where = file && *file ? std::string(file) : "temp " + std::to_string(m_Spid);
  return where + "\n" + Lower(table.name);
}

void SessionImpl::BindParameters(SqliteStatement& statement, const SqlText& query) {
  for (std::size_t i = 0; i < query.parameters.size(); ++i) {
    const Variable* variable = FindVariable(query.parameters[i]);
    statement.Bind(static_cast<int>(i + 1), variable ? variable->value : Value{});
  }
}

std::uint64_t SessionImpl::StreamQuery(const SqlText& query, BatchSink& sink, bool metadataOnly) {
  SqliteStatement statement(m_Db.get(), query.sql);
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
    CheckCancelled();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      row[i] = ReadValue(statement.Handle(), static_cast<int>(i), columns[i].type);
      CheckArithmeticRange(row[i], columns[i].type);
      if (m_TextSize < kDefaultTextSize) CutToTextSize(row[i], columns[i].type.id, m_TextSize);
    }
    sink.Row(row);
    ++rows;
    hasRow = statement.Step("SELECT");
  }
  return rows;
}

std::int64_t SessionImpl::Changes(const SqlText& query, std::string_view kind,
                                  const TableInfo* table) {
  SqliteStatement statement(m_Db.get(), query.sql);
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
      SqliteStatement find(m_Db.get(),
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
  return sqlite3_changes64(m_Db.get());
}

Value SessionImpl::EvaluateScalar(const Expr& expr, const ColumnType& type) {
  Translator translator(*this);
  SqlText query = translator.TranslateScalar(expr);
  const bool fromDate = query.columns[0].type.known && IsDateTime(query.columns[0].type.type.id);
  // Variables take values as CAST does: a long string is cut, not refused.
  query.sql = "SELECT standin_convert((" + query.sql + "), '" + TypeName(type) + "', 0, NULL, " +
              (fromDate ? "1" : "0") + ")";
  SqliteStatement statement(m_Db.get(), query.sql);
  BindParameters(statement, query);
  if (!statement.Step("SELECT")) return std::monostate{};
  return ReadValue(statement.Handle(), 0, type);
}

bool SessionImpl::EvaluateCondition(const Expr& expr) {
  Translator translator(*this);
  SqlText query = translator.TranslateCondition(expr);
  SqliteStatement statement(m_Db.get(), query.sql);
  BindParameters(statement, query);
  return statement.Step("SELECT") && sqlite3_column_int(statement.Handle(), 0) != 0;
}

void SessionImpl::RunSelect(const Statement& statement, BatchSink& sink) {
  const Select& select = *statement.select;
  if (select.cores[0].into) return RunSelectInto(statement, sink);
  bool assigns = false, returns = false;
  for (const SelectCore& core : select.cores) {
    for (const SelectItem& item : core.items) {
      (item.assignVariable.empty() ? returns : assigns) = true;
    }
  }
  if (assigns && returns) RaiseError(141);
  if (assigns) return RunAssignmentSelect(statement, sink);
  Translator translator(*this);
  SqlText query = translator.TranslateSelect(select);
  const std::uint64_t rows = StreamQuery(query, sink);
  m_RowCount = static_cast<std::int64_t>(rows);
  Done(sink, false, true, rows, kCommandSelect);
}

void SessionImpl::RunAssignmentSelect(const Statement& statement, BatchSink& sink) {
  const Select& select = *statement.select;
  if (select.cores.size() != 1) RaiseUnsupported("variable assignment in a UNION");
  Translator translator(*this);
  SqlText query = translator.TranslateSelect(select);
  std::vector<std::pair<Variable*, ColumnType>> targets;
  for (const SelectItem& item : select.cores[0].items) {
    auto it = m_Variables.find(Lower(item.assignVariable));
    if (it == m_Variables.end()) RaiseError(137, {item.assignVariable});
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
  SqliteStatement prepared(m_Db.get(), query.sql);
  BindParameters(prepared, query);
  std::uint64_t rows = 0;
  std::vector<Value> values(targets.size());
  while (prepared.Step("SELECT")) {
    CheckCancelled();
    for (std::size_t i = 0; i < targets.size(); ++i) {
      values[i] = ReadValue(prepared.Handle(), static_cast<int>(i), targets[i].second);
    }
    // SQL Server assigns row by row; the last row's values remain.
    for (std::size_t i = 0; i < targets.size(); ++i) targets[i].first->value = values[i];
    ++rows;
  }
  m_RowCount = static_cast<std::int64_t>(rows);
  Done(sink, false, true, rows, kCommandSelect);
}

void SessionImpl::RunSelectInto(const Statement& statement, BatchSink& sink) {
  const Select& select = *statement.select;
  const ObjectName& target = *select.cores[0].into;
  std::string schema =
      target.IsTemp() ? "temp"
                      : SchemaFor(target.database.empty() ? m_CurrentDatabase : target.database);
  if (TableExists(m_Db.get(), schema, target.name)) RaiseError(2714, {target.name});
  const std::string targetDatabase = target.database.empty() ? m_CurrentDatabase : target.database;
  if (!target.IsTemp()) CheckCreateObject(targetDatabase, "CREATE TABLE");
  Translator translator(*this);
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
  WriteScope scope(*this);
  Execute(m_Db.get(), "CREATE TABLE " + table + " (" + definition + ")");
  SqlText insert = query;
  insert.sql = "INSERT INTO " + table + " (" + names + ") " + query.sql;
  const std::int64_t count = Changes(insert, "INSERT");
  if (!target.IsTemp()) RecordCreator(targetDatabase, target.name);
  scope.Commit();
  m_RowCount = count;
  Done(sink, false, true, static_cast<std::uint64_t>(count), kCommandSelect);
}

void SessionImpl::RunInsert(const Statement& statement, BatchSink& sink) {
  TableInfo table = ResolveTable(statement.table);
  CheckWrite(table, "INSERT");
  std::vector<std::string> columns = statement.columns;
  if (IsView(table)) {
    table = ViewInsertTarget(table, columns);
    for (const auto& row : statement.values) {
      if (statement.columns.empty() && row.size() != columns.size()) RaiseError(213);
    }
  }
  const std::string tableKey = Lower(table.schema + "." + table.name);
  const bool identityInsert = m_IdentityInsertTable == tableKey;
  Translator translator(*this);
  SqlText query = translator.TranslateInsert(statement, table, identityInsert, columns);
  WriteScope scope(*this);
  const std::string identityTable = QuoteIdentifier(table.schema) + ".\"sqlstandin$identity\"";
  if (table.identityColumn >= 0) {
    SqliteStatement state(m_Db.get(), "SELECT seed, increment, last_value FROM " + identityTable +
                                          " WHERE table_name = ?");
    state.BindText(1, table.name);
    if (state.Step()) {
      const std::int64_t seed = sqlite3_column_int64(state.Handle(), 0);
      const std::int64_t increment = sqlite3_column_int64(state.Handle(), 1);
      const bool used = sqlite3_column_type(state.Handle(), 2) != SQLITE_NULL;
      m_Identity = IdentityState{
          true, used ? sqlite3_column_int64(state.Handle(), 2) + increment : seed, increment, 0, 0};
      // Values taken by inserts that were undone are not handed out again.
      if (std::optional<std::int64_t> taken = IdentityCounters::Last(IdentityKey(table))) {
        if (increment > 0 ? *taken >= m_Identity.next : *taken <= m_Identity.next)
          m_Identity.next = *taken + increment;
      }
    }
  }
  std::int64_t count = 0;
  try {
    count = Changes(query, "INSERT", &table);
  } catch (...) {
    m_Identity.active = false;
    if (m_Identity.generated > 0)
      IdentityCounters::Used(IdentityKey(table), m_Identity.last, m_Identity.increment);
    m_Identity.generated = 0;
    throw;
  }
  m_Identity.active = false;
  if (m_Identity.generated > 0)
    IdentityCounters::Used(IdentityKey(table), m_Identity.last, m_Identity.increment);
  if (m_Identity.generated > 0) {
    SqliteStatement update(m_Db.get(),
                           "UPDATE " + identityTable + " SET last_value = ? WHERE table_name = ?");
    update.BindInt(1, m_Identity.last);
    update.BindText(2, table.name);
    update.Step();
  } else if (identityInsert && count > 0) {
    // Explicit identity values move the counter past the largest one, as SQL Server does.
    const std::string column = QuoteIdentifier(table.columns[table.identityColumn].name);
    Execute(m_Db.get(),
            "UPDATE " + identityTable +
                " SET last_value = (SELECT CASE WHEN increment > 0 THEN max(coalesce(last_value, " +
                column + "), max(" + column + ")) ELSE min(coalesce(last_value, " + column +
                "), min(" + column + ")) END FROM " + QuoteIdentifier(table.schema) + "." +
                QuoteIdentifier(table.name) + ") WHERE table_name = " + QuoteString(table.name));
  }
  std::optional<std::int64_t> explicitIdentity;
  if (identityInsert && count > 0 && m_Identity.generated == 0) {
    SqliteStatement last(m_Db.get(),
                         "SELECT last_value FROM " + identityTable + " WHERE table_name = ?");
    last.BindText(1, table.name);
    if (last.Step() && sqlite3_column_type(last.Handle(), 0) != SQLITE_NULL) {
      explicitIdentity = sqlite3_column_int64(last.Handle(), 0);
    }
  }
  scope.Commit();
  // @@IDENTITY is NULL after an insert into a table without an identity column.
  if (table.identityColumn < 0) m_LastIdentity.reset();
  if (explicitIdentity) m_LastIdentity = explicitIdentity;
  if (m_Identity.generated > 0) m_LastIdentity = m_Identity.last;
  m_Identity.generated = 0;
  m_RowCount = count;
  Done(sink, false, true, static_cast<std::uint64_t>(count), kCommandInsert);
}

void SessionImpl::RunUpdateOrDelete(const Statement& statement, BatchSink& sink) {
  // UPDATE alias … FROM t AS alias names its target by the alias.
  const ObjectName* target = &statement.table;
  if (statement.table.database.empty() && statement.table.owner.empty()) {
    for (const TableSource& source : statement.from) {
      if (!source.derived && EqualsNoCase(source.alias, statement.table.name))
        target = &source.table;
    }
  }
  TableInfo table = ResolveTable(*target);
  const bool update = statement.kind == StatementKind::Update;
  if (statement.name == "TRUNCATE") {
    // TRUNCATE TABLE belongs to the table's owner and the schema roles; it
    // cannot be granted.
    if (table.schema != "temp") RequireSchemaChange(table.database, table.name, "TRUNCATE TABLE");
  } else {
    CheckWrite(table, update ? "UPDATE" : "DELETE");
  }
  Translator translator(*this);
  SqlText query;
  if (statement.name != "TRUNCATE" && IsView(table)) {
    query = TranslateViewWrite(statement, table);
  } else {
    query = update ? translator.TranslateUpdate(statement, table)
                   : translator.TranslateDelete(statement, table);
  }
  WriteScope scope(*this);
  const std::int64_t count = Changes(query, update ? "UPDATE" : "DELETE", &table);
  const bool truncate = statement.name == "TRUNCATE";
  if (truncate && table.identityColumn >= 0) {
    // TRUNCATE TABLE starts the identity over at its seed.
    SqliteStatement reset(m_Db.get(), "UPDATE " + QuoteIdentifier(table.schema) +
                                          ".\"sqlstandin$identity\" SET last_value = NULL "
                                          "WHERE table_name = ?");
    reset.BindText(1, table.name);
    reset.Step();
  }
  scope.Commit();
  if (truncate) IdentityCounters::Forget(IdentityKey(table));
  m_RowCount = truncate ? 0 : count;
  Done(sink, false, !truncate, static_cast<std::uint64_t>(count),
       update ? kCommandUpdate : kCommandDelete);
}

void SessionImpl::RunCreateTable(const Statement& statement, BatchSink& sink) {
  const ObjectName& name = statement.table;
  const std::string schema =
      name.IsTemp() ? "temp" : SchemaFor(name.database.empty() ? m_CurrentDatabase : name.database);
  const std::string lower = Lower(name.name);
  if (lower.rfind("sqlstandin$", 0) == 0 || lower.rfind("sqlite_", 0) == 0) {
    RaiseUnsupported("table names beginning with '" +
                     name.name.substr(0, lower.find_first_of("$_") + 1) + "'");
  }
  const std::string database = name.database.empty() ? m_CurrentDatabase : name.database;
  if (!name.IsTemp()) CheckCreateObject(database, "CREATE TABLE");
  if (TableExists(m_Db.get(), schema, name.name)) RaiseError(2714, {name.name});
  const std::string constraintsTable = QuoteIdentifier(schema) + ".\"sqlstandin$constraints\"";
  auto constraintExists = [&](const std::string& constraint) {
    SqliteStatement find(m_Db.get(), "SELECT 1 FROM " + constraintsTable + " WHERE name = ?");
    find.BindText(1, constraint);
    return find.Step() || TableExists(m_Db.get(), schema, constraint);
  };
  std::vector<TableConstraint> constraints = statement.constraints;
  int primaryKeys = 0;
  for (TableConstraint& constraint : constraints) {
    if (constraint.primaryKey && ++primaryKeys > 1) RaiseError(8110, {name.name});
    for (const std::string& column : constraint.columns) {
      const bool known =
          std::any_of(statement.columnDefinitions.begin(), statement.columnDefinitions.end(),
                      [&](const ColumnDefinition& c) { return EqualsNoCase(c.name, column); });
      if (!known) RaiseError(1911, {column});
    }
    if (constraint.name.empty()) {
      constraint.name = GeneratedConstraintName(constraint.primaryKey ? "PK" : "UQ", name.name);
    } else if (constraintExists(constraint.name)) {
      RaiseError(2714, {constraint.name});
    }
  }
  const ColumnDefinition* identity = nullptr;
  std::string definition;
  Translator translator(*this);
  for (const ColumnDefinition& column : statement.columnDefinitions) {
    bool inKey = false;
    for (const TableConstraint& constraint : constraints) {
      if (!constraint.primaryKey) continue;
      for (const std::string& keyColumn : constraint.columns)
        inKey = inKey || EqualsNoCase(keyColumn, column.name);
    }
    if (column.identity) {
      if (identity) RaiseError(2744, {name.name});
      const bool integral = IsInteger(column.type.id) && column.type.id != TypeId::Bit;
      const bool decimalZero =
          (column.type.id == TypeId::Decimal || column.type.id == TypeId::Numeric) &&
          column.type.scale == 0;
      if ((!integral && !decimalZero) || column.nullable.value_or(false))
        RaiseError(2749, {column.name});
      identity = &column;
    }
    const bool nullable = !column.identity && !inKey && column.nullable.value_or(m_AnsiNullDefault);
    definition += (definition.empty() ? "" : ", ") + QuoteIdentifier(column.name) + " " +
                  StorageTypeName(column.type);
    definition += StorageCollation(column.type);
    if (!nullable) definition += " NOT NULL";
    if (column.defaultValue)
      definition += " DEFAULT " + translator.TranslateDefault(*column.defaultValue, column.type);
  }
  for (const TableConstraint& constraint : constraints) {
    definition += ", CONSTRAINT " + QuoteIdentifier(constraint.name) +
                  (constraint.primaryKey ? " PRIMARY KEY (" : " UNIQUE (");
    for (std::size_t i = 0; i < constraint.columns.size(); ++i) {
      definition += (i ? ", " : "") + QuoteIdentifier(constraint.columns[i]);
    }
    definition += ")";
  }
  WriteScope scope(*this);
  Execute(m_Db.get(), "CREATE TABLE " + QuoteIdentifier(schema) + "." + QuoteIdentifier(name.name) +
                          " (" + definition + ")");
  if (identity) {
    SqliteStatement insert(m_Db.get(), "INSERT INTO " + QuoteIdentifier(schema) +
                                           ".\"sqlstandin$identity\" (table_name, column_name, "
                                           "seed, increment) VALUES (?, ?, ?, ?)");
    insert.BindText(1, name.name);
    insert.BindText(2, identity->name);
    insert.BindInt(3, identity->identitySeed);
    insert.BindInt(4, identity->identityIncrement);
    insert.Step();
  }
  for (const TableConstraint& constraint : constraints) {
    std::string columns;
    for (const std::string& column : constraint.columns)
      columns += (columns.empty() ? "" : ",") + Lower(column);
    SqliteStatement insert(m_Db.get(),
                           "INSERT INTO " + constraintsTable +
                               " (name, table_name, kind, columns) VALUES (?, ?, ?, ?)");
    insert.BindText(1, constraint.name);
    insert.BindText(2, name.name);
    insert.BindText(3, constraint.primaryKey ? "PRIMARY KEY" : "UNIQUE KEY");
    insert.BindText(4, columns);
    insert.Step();
  }
  SqliteStatement object(m_Db.get(),
                         "INSERT OR REPLACE INTO " + QuoteIdentifier(schema) +
                             ".\"sqlstandin$objects\" (name, kind, definition) VALUES (?, 'U', ?)");
  object.BindText(1, name.name);
  object.BindText(2, statement.text);
  object.Step();
  if (!name.IsTemp()) RecordCreator(database, name.name);
  scope.Commit();
  if (identity) {
    // A new table starts at its seed, whatever an earlier one of its name took.
    TableInfo created;
    created.schema = schema;
    created.name = name.name;
    IdentityCounters::Forget(IdentityKey(created));
  }
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunDropTable(const Statement& statement, BatchSink& sink) {
  TableInfo table;
  try {
    table = ResolveTable(statement.table);
  } catch (const SqlError& error) {
    if (error.Msg().number == 208) RaiseError(3701, {"table", statement.table.written});
    throw;
  }
  // SQL Server 2000 answers a drop it does not allow as if the table were not there.
  if (table.schema != "temp" && !MayAlterSchema(table.database, table.name))
    RaiseError(3701, {"table", statement.table.written});
  {
    SqliteStatement kind(m_Db.get(), "SELECT type FROM " + QuoteIdentifier(table.schema) +
                                         ".sqlite_master WHERE name = ?");
    kind.BindText(1, table.name);
    if (kind.Step("SELECT") && std::string_view(reinterpret_cast<const char*>(
                                   sqlite3_column_text(kind.Handle(), 0))) == "view") {
      RaiseError(3705, {"TABLE", table.name, table.name, "a view", "VIEW"});
    }
  }
  WriteScope scope(*this);
  const std::string prefix = QuoteIdentifier(table.schema) + ".";
  Execute(m_Db.get(), "DROP TABLE " + prefix + QuoteIdentifier(table.name));
  for (const char* bookkeeping : {"\"sqlstandin$identity\"", "\"sqlstandin$constraints\""}) {
    SqliteStatement remove(m_Db.get(),
                           "DELETE FROM " + prefix + bookkeeping + " WHERE table_name = ?");
    remove.BindText(1, table.name);
    remove.Step();
  }
  SqliteStatement remove(m_Db.get(),
                         "DELETE FROM " + prefix + "\"sqlstandin$objects\" WHERE name = ?");
  remove.BindText(1, table.name);
  remove.Step();
  if (table.schema != "temp") ForgetObjectPermissions(table.schema, table.name);
  scope.Commit();
  IdentityCounters::Forget(IdentityKey(table));
  if (m_IdentityInsertTable == Lower(table.schema + "." + table.name))
    m_IdentityInsertTable.clear();
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunCreateDatabase(const Statement& statement, BatchSink& sink) {
  if (!LoginHasServerRole(m_Engine.Data(), m_Login.name, "dbcreator"))
    RaiseError(262, {"CREATE DATABASE", "master"});
  if (m_TranCount > 0) RaiseError(226, {"CREATE DATABASE"});
  if (!statement.logFiles.empty()) {
    const std::string beside = LogPathBeside(
        statement.dataFiles.empty() ? std::string() : statement.dataFiles[0].fileName);
    if (statement.dataFiles.empty() || !EqualsNoCase(statement.logFiles[0].fileName, beside))
      RaiseUnsupported("a log file other than <data file>_log.LDF beside the data file");
  }
  try {
    // The login that creates a database owns it.
    const DatabaseEntry entry = m_Engine.Data().CreateDatabase(
        statement.name, statement.dataFiles.empty() ? "" : statement.dataFiles[0].fileName,
        m_Engine.Data().LoginSid(m_Login.name).value_or(Sid{0x01}));
    ReportAllocation(entry, sink);
  } catch (const SqlError& error) {
    // File errors are followed by 1802, which names the failed statement.
    if (error.Msg().number != 5123 && error.Msg().number != 5170) throw;
    Message message = error.Msg();
    message.line = statement.line;
    Report(message, sink);
    RaiseError(1802);
  }
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunUse(const Statement& statement, BatchSink& sink) {
  std::optional<DatabaseEntry> entry = m_Engine.Data().FindDatabase(statement.name);
  if (!entry) RaiseError(911, {statement.name});
  // tempdb is the session's own temporary schema: nothing to attach.
  if (!EqualsNoCase(entry->name, "tempdb")) AttachDatabase(*entry);
  if (!HasDatabaseAccess(entry->name)) RaiseError(916, {m_Login.name, entry->name});
  const std::string old = m_CurrentDatabase;
  m_CurrentDatabase = entry->name;
  m_CurrentDatabaseId = entry->id;
  PublishCurrentDatabase();
  sink.EnvironmentChanged(EnvChange{EnvChangeType::Database, entry->name, old});
  Report(MakeMessage(5701, {entry->name}), sink);
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunDeclare(const Statement& statement, BatchSink&) {
  for (const Declaration& declaration : statement.declarations) {
    const std::string key = Lower(declaration.name);
    if (m_Variables.count(key)) RaiseError(134, {declaration.name});
    m_Variables[key] = Variable{declaration.type, std::monostate{}};
    if (declaration.initialValue) {
      Value value = EvaluateScalar(*declaration.initialValue, declaration.type);
      m_Variables[key].value = std::move(value);
    }
  }
}

void SessionImpl::RunSetVariable(const Statement& statement, BatchSink& sink) {
  const Assignment& assignment = statement.assignments[0];
  auto it = m_Variables.find(Lower(assignment.column));
  if (it == m_Variables.end()) RaiseError(137, {assignment.column});
  it->second.value = EvaluateScalar(*assignment.value, it->second.type);
  m_RowCount = 1;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunSetOption(const Statement& statement, BatchSink& sink) {
  const std::string value = Upper(statement.optionValue);
  const bool on = value == "ON";
  if (statement.name == "IDENTITY_INSERT") {
    TableInfo table = ResolveTable(statement.table);
    const std::string key = Lower(table.schema + "." + table.name);
    if (table.identityColumn < 0) {
      // SQL Server 8106: "Table '…' does not have the identity property."
      RaiseUnsupported("IDENTITY_INSERT on a table without an identity column");
    }
    if (on) {
      if (!m_IdentityInsertTable.empty() && m_IdentityInsertTable != key) {
        RaiseError(8107,
                   {m_IdentityInsertTable.substr(m_IdentityInsertTable.find('.') + 1), table.name});
      }
      m_IdentityInsertTable = key;
    } else if (m_IdentityInsertTable == key) {
      m_IdentityInsertTable.clear();
    }
    return Done(sink, false, false, 0, 0);
  }
  // Several options may share one value: SET ANSI_NULLS, ANSI_WARNINGS ON.
  std::vector<std::string> options;
  std::string current;
  for (char c : statement.name + ",") {
    if (c == ',') {
      options.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  for (const std::string& option : options) {
    if (option == "NOCOUNT") {
      m_NoCount = on;
    } else if (option == "ANSI_NULL_DFLT_ON") {
      m_AnsiNullDefault = on;
    } else if (option == "ANSI_NULL_DFLT_OFF") {
      m_AnsiNullDefault = !on;
    } else if (option == "QUOTED_IDENTIFIER") {
      m_QuotedIdentifier = on;
    } else if (option == "LOCK_TIMEOUT") {
      std::int64_t milliseconds = 0;
      const std::string& text = statement.optionValue;
      const bool negative = !text.empty() && text[0] == '-';
      if (std::from_chars(text.data() + (negative ? 1 : 0), text.data() + text.size(), milliseconds)
              .ec != std::errc()) {
        RaiseUnsupported("SET LOCK_TIMEOUT " + text);
      }
      m_LockTimeoutMs = negative ? -1 : milliseconds;
    } else if (option == "TEXTSIZE") {
      std::int64_t bytes = 0;
      const std::string& text = statement.optionValue;
      if (std::from_chars(text.data(), text.data() + text.size(), bytes).ec != std::errc() ||
          bytes < 0) {
        RaiseUnsupported("SET TEXTSIZE " + text);
      }
      m_TextSize = bytes == 0 ? kServerTextSize : std::min(bytes, kDefaultTextSize);
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
      if (unsupported) RaiseUnsupported("SET " + option + " " + statement.optionValue);
    } else {
      RaiseError(195, {option, "SET option"});
    }
  }
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunTransaction(const Statement& statement, BatchSink& sink) {
  if (statement.kind == StatementKind::BeginTransaction) {
    if (m_TranCount == 0) {
      // Nothing is locked until the transaction's first write.
      m_TransactionStarted = false;
      m_TransactionStart = m_UseClock;
      std::uint64_t descriptor = m_Engine.NextTransactionDescriptor();
      m_TransactionDescriptor.clear();
      for (int i = 0; i < 8; ++i)
        m_TransactionDescriptor += static_cast<char>((descriptor >> (8 * i)) & 0xFF);
      sink.EnvironmentChanged(
          EnvChange{EnvChangeType::BeginTransaction, m_TransactionDescriptor, ""});
    }
    ++m_TranCount;
  } else if (statement.kind == StatementKind::CommitTransaction) {
    if (m_TranCount == 0) RaiseError(3902);
    if (--m_TranCount == 0) {
      try {
        if (!sqlite3_get_autocommit(m_Db.get())) Execute(m_Db.get(), "COMMIT");
      } catch (...) {
        ++m_TranCount;
        throw;
      }
      m_TransactionStarted = false;
      sink.EnvironmentChanged(
          EnvChange{EnvChangeType::CommitTransaction, "", m_TransactionDescriptor});
    }
  } else {
    if (m_TranCount == 0) RaiseError(3903);
    if (!sqlite3_get_autocommit(m_Db.get())) Execute(m_Db.get(), "ROLLBACK");
    m_TranCount = 0;
    m_TransactionStarted = false;
    sink.EnvironmentChanged(
        EnvChange{EnvChangeType::RollbackTransaction, "", m_TransactionDescriptor});
  }
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunExecute(const Statement& statement, BatchSink& sink) {
  std::vector<Parameter> arguments = EvaluateArguments(statement);
  for (std::size_t i = 0; i < arguments.size() && i < statement.outputArguments.size(); ++i)
    arguments[i].output = statement.outputArguments[i];
  if (RunSystemProcedure(statement.name, arguments, sink)) return;
  if (RunStatementProcedure(Lower(statement.table.name), arguments, sink, false) ||
      RunUserProcedure(statement.name, arguments, sink, false)) {
    // OUTPUT arguments hand the procedure's values back to the caller's variables.
    for (const auto& [index, output] : m_ProcedureOutputs) {
      auto it = m_Variables.find(Lower(statement.arguments[index].second->text));
      if (it != m_Variables.end())
        it->second.value = ConvertValue(output.value, output.type, it->second.type);
    }
    m_ProcedureOutputs.clear();
    return;
  }
  RunProcedure(statement.name, sink);
}

void SessionImpl::RunRaiserror(const Statement& statement, BatchSink& sink) {
  const ColumnType text{TypeId::NVarChar, 4000, 0, 0};
  const ColumnType number{TypeId::Int, 0, 0, 0};
  const Expr& first = *statement.arguments[0].second;
  if (first.kind == ExprKind::Integer) RaiseUnsupported("RAISERROR with a message number");
  Value format = EvaluateScalar(first, text);
  Value severity = EvaluateScalar(*statement.arguments[1].second, number);
  Value state = EvaluateScalar(*statement.arguments[2].second, number);
  std::vector<Value> values;
  for (std::size_t i = 3; i < statement.arguments.size(); ++i) {
    Translator translator(*this);
    SqlText query = translator.TranslateScalar(*statement.arguments[i].second);
    const bool numeric = query.columns[0].type.known && IsInteger(query.columns[0].type.type.id);
    values.push_back(EvaluateScalar(*statement.arguments[i].second, numeric ? number : text));
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
  m_RowCount = 0;
  Done(sink, false, false, 0, 0);
}

void SessionImpl::RunProcedure(const std::string& name, BatchSink&) {
  const std::size_t dot = name.rfind('.');
  const std::string base = Lower(dot == std::string::npos ? name : name.substr(dot + 1));
  if (base.rfind("sp_", 0) == 0 || base.rfind("xp_", 0) == 0) {
    RaiseUnsupported("the system procedure " + base);
  }
  RaiseError(2812, {name});
}

}  // namespace standin::engine
