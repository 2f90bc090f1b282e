// INSERT, UPDATE and DELETE through a view. SQL Server writes the one base
// table the modified columns come from, and only the rows the view shows:
// the view's body becomes a derived table carrying that table's rowid, the
// statement's names resolve against the view's columns, and the base table is
// written where its rowid is among the rows picked.
//
// The view's body is read with the view's permission only: every object
// here belongs to dbo, so the chain from view to tables never breaks.
#include <cctype>
#include <type_traits>

#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/QueryExecutor.h"
#include "parse/Parser.h"

namespace standin::engine {
namespace {

bool ContainsAggregate(const Expr& expr) {
  static constexpr std::string_view kAggregates[] = {"COUNT", "COUNT_BIG", "SUM",
                                                     "AVG",   "MIN",       "MAX"};
  if (expr.kind == ExprKind::Function) {
    for (std::string_view name : kAggregates) {
      if (expr.text == name) return true;
    }
  }
  for (const ExprPtr& argument : expr.args) {
    if (argument && ContainsAggregate(*argument)) return true;
  }
  return expr.elseExpr && ContainsAggregate(*expr.elseExpr);
}

void QualifyTables(Select& select, const std::string& database);

void QualifyTables(Expr& expr, const std::string& database) {
  if (expr.subquery) QualifyTables(*expr.subquery, database);
  for (ExprPtr& argument : expr.args) {
    if (argument) QualifyTables(*argument, database);
  }
  if (expr.elseExpr) QualifyTables(*expr.elseExpr, database);
}

void QualifyTables(std::vector<TableSource>& sources, const std::string& database) {
  for (TableSource& source : sources) {
    if (source.derived) QualifyTables(*source.derived, database);
    QualifyTables(source.nested, database);
    if (!source.derived && source.nested.empty() && source.table.database.empty() &&
        !source.table.IsTemp()) {
      source.table.database = database;
    }
    if (source.on) QualifyTables(*source.on, database);
  }
}

// A view's body names its tables as seen from the view's database, wherever
// the statement that writes through it runs.
void QualifyTables(Select& select, const std::string& database) {
  for (SelectCore& core : select.cores) {
    QualifyTables(core.from, database);
    for (SelectItem& item : core.items) QualifyTables(*item.expr, database);
    if (core.where) QualifyTables(*core.where, database);
  }
}

}  // namespace

bool QueryExecutor::IsView(const TableInfo& table) {
  if (table.schema == "temp") return false;
  SqliteStatement find(m_Session.Db(), "SELECT 1 FROM " + QuoteIdentifier(table.schema) +
                                           ".sqlite_master WHERE type = 'view' AND name = ?");
  find.BindText(1, table.name);
  return find.Step();
}

QueryExecutor::UpdatableView QueryExecutor::LoadUpdatableView(const TableInfo& view) {
  std::string text;
  {
    SqliteStatement find(m_Session.Db(),
                         "SELECT definition FROM " + QuoteIdentifier(view.schema) +
                             ".\"sqlstandin$objects\" WHERE name = ? AND kind = 'V'");
    find.BindText(1, view.name);
    if (!find.Step()) RaiseUnsupported("writing through the view '" + view.name + "'");
    text = reinterpret_cast<const char*>(sqlite3_column_text(find.Handle(), 0));
  }
  Batch batch = ParseBatch(text, true);
  const auto* definition =
      batch.statements.size() == 1 ? batch.statements[0]->As<CreateViewStatement>() : nullptr;
  if (!definition) RaiseUnsupported("writing through the view '" + view.name + "'");
  UpdatableView shape;
  shape.select = definition->select;
  Select& select = *shape.select;
  if (select.cores.size() > 1) {
    // A UNION ALL view could only be written as a partitioned view; a UNION's
    // columns are computed from both sides.
    bool all = true;
    for (bool unionAll : select.unionAll) all = all && unionAll;
    RaiseError(all ? 4436 : 4406, {view.name});
  }
  const SelectCore& core = select.cores[0];
  if (core.distinct) RaiseError(4404, {view.name});
  bool aggregates = !core.groupBy.empty() || core.having;
  for (const SelectItem& item : core.items)
    aggregates = aggregates || ContainsAggregate(*item.expr);
  if (aggregates) RaiseError(4403, {view.name});
  if (core.top) RaiseUnsupported("writing through a view with TOP");
  QualifyTables(select, view.database);
  for (const TableSource& source : core.from) {
    if (source.derived || !source.nested.empty())
      RaiseUnsupported("writing through a view whose FROM has a derived table or nested join");
    shape.tables.push_back(m_Session.ResolveTable(source.table));
  }
  auto qualifierOf = [&](std::size_t i) {
    return core.from[i].alias.empty() ? shape.tables[i].name : core.from[i].alias;
  };
  for (const SelectItem& item : core.items) {
    const Expr& expr = *item.expr;
    if (expr.kind == ExprKind::Star) {
      for (std::size_t i = 0; i < core.from.size(); ++i) {
        if (!expr.parts.empty() && !EqualsNoCase(expr.parts.back(), qualifierOf(i))) continue;
        for (const Column& column : shape.tables[i].columns)
          shape.columns.push_back(ViewColumn{column.name, static_cast<int>(i), column.name});
      }
      continue;
    }
    ViewColumn column;
    column.name = item.alias;
    if (expr.kind == ExprKind::Column) {
      const std::string& name = expr.parts.back();
      const std::string qualifier = expr.parts.size() >= 2 ? expr.parts[expr.parts.size() - 2] : "";
      for (std::size_t i = 0; i < core.from.size() && column.source < 0; ++i) {
        if (!qualifier.empty() && !EqualsNoCase(qualifier, qualifierOf(i))) continue;
        for (const Column& candidate : shape.tables[i].columns) {
          if (!EqualsNoCase(candidate.name, name)) continue;
          column.source = static_cast<int>(i);
          column.baseColumn = candidate.name;
        }
      }
      if (column.name.empty()) column.name = column.source >= 0 ? column.baseColumn : name;
    }
    shape.columns.push_back(std::move(column));
  }
  return shape;
}

const QueryExecutor::ViewColumn& QueryExecutor::UpdatableView::Find(const std::string& name) const {
  for (const ViewColumn& column : columns) {
    if (EqualsNoCase(column.name, name)) return column;
  }
  RaiseError(207, {name});
}

TableInfo QueryExecutor::ViewBaseTable(const UpdatableView& shape, const TableInfo& view,
                                       const std::vector<const ViewColumn*>& modified) {
  int base = -1;
  for (const ViewColumn* column : modified) {
    if (column->source < 0) RaiseError(4406, {view.name});
    if (base >= 0 && base != column->source) RaiseError(4405, {view.name});
    base = column->source;
  }
  if (base < 0) {
    // Nothing named (DELETE, DEFAULT VALUES): the view must have one table.
    if (shape.tables.size() != 1) RaiseError(4405, {view.name});
    base = 0;
  }
  const TableInfo& table = shape.tables[static_cast<std::size_t>(base)];
  if (IsView(table)) RaiseUnsupported("writing through a view built on another view");
  return table;
}

TableInfo QueryExecutor::ViewInsertTarget(const TableInfo& view,
                                          std::vector<std::string>& columns) {
  UpdatableView shape = LoadUpdatableView(view);
  std::vector<const ViewColumn*> modified;
  if (columns.empty()) {
    for (const ViewColumn& column : shape.columns) modified.push_back(&column);
  } else {
    for (const std::string& name : columns) modified.push_back(&shape.Find(name));
  }
  TableInfo table = ViewBaseTable(shape, view, modified);
  const bool identityInsert =
      m_Options.identityInsertTable == Lower(table.schema + "." + table.name);
  const bool listed = !columns.empty();
  columns.clear();
  for (const ViewColumn* column : modified) {
    // Without a column list the identity is generated, as for the table.
    const bool identity =
        table.identityColumn >= 0 &&
        EqualsNoCase(table.columns[table.identityColumn].name, column->baseColumn);
    if (listed || !identity || identityInsert) columns.push_back(column->baseColumn);
  }
  return table;
}

template <typename Write>
SqlText QueryExecutor::TranslateViewWrite(const Write& statement, TableInfo& table) {
  constexpr bool update = std::is_same_v<Write, UpdateStatement>;
  if (!statement.from.empty() || statement.top)
    RaiseUnsupported(std::string(update ? "UPDATE" : "DELETE") + " of a view with FROM or TOP");
  UpdatableView shape = LoadUpdatableView(table);
  std::vector<const ViewColumn*> modified;
  if constexpr (update) {
    for (const Assignment& assignment : statement.assignments)
      modified.push_back(&shape.Find(assignment.column));
  }
  if (!update && shape.tables.size() != 1) RaiseError(4405, {table.name});
  const TableInfo base = ViewBaseTable(shape, table, modified);
  std::vector<std::string> baseColumns;
  for (const ViewColumn* column : modified) baseColumns.push_back(column->baseColumn);
  const std::size_t baseIndex = static_cast<std::size_t>(
      modified.empty() ? 0 : static_cast<std::size_t>(modified.front()->source));
  // The body's rows carry the base table's rowid under a name of their own.
  SelectCore& core = shape.select->cores[0];
  SelectItem rowid;
  rowid.expr = std::make_unique<Expr>();
  rowid.expr->kind = ExprKind::Column;
  rowid.expr->parts = {core.from[baseIndex].alias.empty() ? base.name : core.from[baseIndex].alias,
                       kRowidColumn};
  rowid.alias = kViewRowid;
  core.items.push_back(std::move(rowid));
  TableSource source;
  source.derived = shape.select;
  source.alias = statement.table.name;
  source.ownershipChained = true;
  Translator translator(m_Session);
  SqlText query;
  if constexpr (update) {
    query = translator.TranslateViewWrite(statement, base, source, baseColumns);
  } else {
    query = translator.TranslateViewWrite(statement, base, source);
  }
  table = base;
  return query;
}

template SqlText QueryExecutor::TranslateViewWrite(const UpdateStatement& statement,
                                                   TableInfo& table);
template SqlText QueryExecutor::TranslateViewWrite(const DeleteStatement& statement,
                                                   TableInfo& table);

}  // namespace standin::engine
