// SELECT → SQLite SQL: table sources and joins, the select list, GROUP BY,
// ORDER BY, TOP and UNION, with the type of every output column.
#include <algorithm>
#include <cctype>

#include "common/ScopeGuard.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "translate/Translator.h"
#include "translate/TranslatorSupport.h"

namespace standin::engine {

using namespace translation;

bool Translator::YieldsOneRow(const Select& select) {
  if (select.cores.size() != 1) return false;
  const SelectCore& core = select.cores[0];
  if (core.from.empty()) return true;
  if (core.top && core.top->kind == ExprKind::Integer && core.top->text == "1") return true;
  if (!core.groupBy.empty() || core.items.size() != 1 || !core.items[0].expr) return false;
  const Expr& item = *core.items[0].expr;
  // An aggregate without GROUP BY gives exactly one row.
  return item.kind == ExprKind::Function &&
         (item.text == "COUNT" || item.text == "COUNT_BIG" || item.text == "MAX" ||
          item.text == "MIN" || item.text == "SUM" || item.text == "AVG");
}

std::string Translator::SourceText(const TableSource& source, Scope& scope) {
  if (!source.nested.empty()) return "(" + FromText(source.nested, nullptr, scope) + ")";
  Scope::Entry entry;
  std::string sql;
  if (source.derived) {
    std::vector<OutputColumn> columns;
    // A derived table sees no outer columns (it is not correlated).
    if (source.ownershipChained) ++m_Chained;
    {
      ScopeGuard unchain([&] {
        if (source.ownershipChained) --m_Chained;
      });
      sql = "(" + SelectText(*source.derived, nullptr, columns) + ") AS " +
            QuoteIdentifier(source.alias);
    }
    entry.qualifier = source.alias;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].name.empty()) RaiseError(8155, {std::to_string(i + 1), source.alias});
      Column column;
      column.name = columns[i].name;
      column.type =
          columns[i].type.known ? columns[i].type.type : ColumnType{TypeId::NVarChar, 4000, 0, 0};
      entry.columns.push_back(column);
    }
  } else {
    TableInfo table = m_Context.ResolveTable(source.table);
    if (m_Chained == 0) m_Context.CheckRead(table);
    sql = QuoteIdentifier(table.schema) + "." + QuoteIdentifier(table.name);
    entry.qualifier = source.alias.empty() ? table.name : source.alias;
    entry.tableName = table.name;
    if (!source.alias.empty()) sql += " AS " + QuoteIdentifier(source.alias);
    entry.columns = table.columns;
  }
  scope.entries.push_back(std::move(entry));
  return sql;
}

std::string Translator::FromText(const std::vector<TableSource>& sources, const Scope* outer,
                                 Scope& scope) {
  std::string sql;
  for (const TableSource& source : sources) {
    switch (source.join) {
      case JoinKind::None:
        sql += sql.empty() ? "" : ", ";
        break;
      case JoinKind::Inner:
        sql += " INNER JOIN ";
        break;
      case JoinKind::Left:
        sql += " LEFT JOIN ";
        break;
      case JoinKind::Right:
        sql += " RIGHT JOIN ";
        break;
      case JoinKind::Full:
        sql += " FULL JOIN ";
        break;
      case JoinKind::Cross:
        sql += " CROSS JOIN ";
        break;
    }
    sql += SourceText(source, scope);
    if (source.on) sql += " ON " + Condition(*source.on, &scope);
  }
  (void)outer;
  return sql;
}

std::string Translator::CoreText(const SelectCore& core, const Scope* outer, Scope& scope,
                                 std::vector<OutputColumn>& columns,
                                 std::vector<std::string>& itemSql) {
  scope.parent = outer;
  std::string from;
  if (!core.from.empty()) from = FromText(core.from, outer, scope);
  std::string sql = "SELECT ";
  if (core.distinct) sql += "DISTINCT ";
  std::string list;
  for (const SelectItem& item : core.items) {
    if (item.expr->kind == ExprKind::Star) {
      if (core.from.empty()) RaiseError(263);
      bool matched = false;
      for (const Scope::Entry& entry : scope.entries) {
        if (!item.expr->parts.empty() && !EqualsNoCase(entry.qualifier, item.expr->parts.back()))
          continue;
        matched = true;
        for (const Column& column : entry.columns) {
          std::string columnSql =
              QuoteIdentifier(entry.qualifier) + "." + QuoteIdentifier(column.name);
          itemSql.push_back(columnSql);
          columns.push_back(OutputColumn{column.name, Known(column.type), column.nullable});
          list += (list.empty() ? "" : ", ") + columnSql;
        }
      }
      if (!matched) RaiseError(107, {item.expr->parts.back()});
      continue;
    }
    ExprType type;
    std::string value = Expression(*item.expr, &scope, type);
    OutputColumn column;
    column.type = type;
    column.name = item.alias;
    // A column keeps the name it was created with, whatever case the query used.
    if (column.name.empty() && item.expr->kind == ExprKind::Column) column.name = m_LastColumnName;
    if (column.name.empty() && item.assignVariable.empty()) column.name = "";
    itemSql.push_back(value);
    list += (list.empty() ? "" : ", ") + value;
    if (!column.name.empty()) list += " AS " + QuoteIdentifier(column.name);
    columns.push_back(std::move(column));
  }
  sql += list;
  if (!from.empty()) sql += " FROM " + from;
  if (core.where) sql += " WHERE " + Condition(*core.where, &scope);
  if (!core.groupBy.empty()) {
    sql += " GROUP BY ";
    for (std::size_t i = 0; i < core.groupBy.size(); ++i) {
      ExprType type;
      sql += (i ? ", " : "") + Expression(*core.groupBy[i], &scope, type);
      if (IsTextOrUnknown(type)) sql += CollateFor({&type});
    }
  }
  if (core.having) sql += " HAVING " + Condition(*core.having, &scope);
  return sql;
}

std::string Translator::SelectText(const Select& select, const Scope* outer,
                                   std::vector<OutputColumn>& columns) {
  std::string sql;
  Scope firstScope;
  std::vector<std::string> firstItems;
  for (std::size_t i = 0; i < select.cores.size(); ++i) {
    const SelectCore& core = select.cores[i];
    if (core.topPercent) RaiseUnsupported("TOP … PERCENT");
    if (core.into && (i > 0 || outer)) RaiseUnsupported("SELECT INTO here");
    std::vector<OutputColumn> coreColumns;
    std::vector<std::string> items;
    Scope scope;
    std::string coreSql = CoreText(core, outer, scope, coreColumns, items);
    if (i == 0) {
      columns = coreColumns;
      firstScope = std::move(scope);
      firstItems = std::move(items);
    } else {
      if (coreColumns.size() != columns.size()) RaiseError(205);
      for (std::size_t c = 0; c < columns.size(); ++c) {
        columns[c].type = MergeTypes(columns[c].type, coreColumns[c].type);
      }
    }
    if (core.top && select.cores.size() > 1) {
      ExprType topType;
      coreSql =
          "SELECT * FROM (" + coreSql + " LIMIT " + Expression(*core.top, outer, topType) + ")";
    }
    if (i > 0) sql += select.unionAll[i - 1] ? " UNION ALL " : " UNION ";
    sql += coreSql;
  }
  if (!select.orderBy.empty()) {
    sql += " ORDER BY ";
    for (std::size_t i = 0; i < select.orderBy.size(); ++i) {
      const OrderItem& item = select.orderBy[i];
      std::string term;
      bool text = true;
      ExprType termType;
      if (item.expr->kind == ExprKind::Integer) {
        const std::size_t position = std::stoul(item.expr->text);
        if (position < 1 || position > columns.size()) RaiseError(108, {item.expr->text});
        term = item.expr->text;
        text = IsTextOrUnknown(columns[position - 1].type);
        termType = columns[position - 1].type;
      } else {
        if (item.expr->kind == ExprKind::Column && item.expr->parts.size() == 1) {
          for (const OutputColumn& column : columns) {
            if (!column.name.empty() && EqualsNoCase(column.name, item.expr->parts[0])) {
              term = QuoteIdentifier(column.name);
              text = IsTextOrUnknown(column.type);
              termType = column.type;
              break;
            }
          }
        }
        if (term.empty()) {
          if (select.cores.size() > 1) RaiseError(104);
          term = Expression(*item.expr, &firstScope, termType);
          text = IsTextOrUnknown(termType);
        }
      }
      sql += (i ? ", " : "") + term + (text ? CollateFor({&termType}) : "") +
             (item.descending ? " DESC" : "");
    }
  }
  if (select.cores.size() == 1 && select.cores[0].top) {
    ExprType topType;
    sql += " LIMIT " + Expression(*select.cores[0].top, outer, topType);
  }
  return sql;
}

SqlText Translator::TranslateSelect(const Select& select) {
  SqlText out;
  out.sql = SelectText(select, nullptr, out.columns);
  out.parameters = m_Parameters;
  return out;
}

}  // namespace standin::engine
