// INSERT, UPDATE and DELETE → SQLite SQL. Every stored value passes through
// standin_convert so it is kept in the column's exact text form and checked
// (NULL, truncation, conversion) as SQL Server checks it.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "translate/Translator.h"

namespace standin::engine {
namespace {

int FindColumn(const TableInfo& table, std::string_view name) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (EqualsNoCase(table.columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TargetName(const TableInfo& table) {
  return QuoteIdentifier(table.schema) + "." + QuoteIdentifier(table.name);
}

// Where the UPDATE/DELETE target appears in its FROM list: the source whose
// alias is the target's name, else the source naming the same table.
int FindTargetSource(const RowWriteStatement& statement, const TableInfo& table) {
  // The target is found among the top-level sources by position, which a
  // nested join would shift; no statement the console sends needs one here.
  for (const TableSource& source : statement.from) {
    if (!source.nested.empty())
      RaiseUnsupported("a parenthesised join after another table in UPDATE or DELETE");
  }
  for (std::size_t i = 0; i < statement.from.size(); ++i) {
    const TableSource& source = statement.from[i];
    if (!source.alias.empty() && statement.table.database.empty() &&
        statement.table.owner.empty() && EqualsNoCase(source.alias, statement.table.name)) {
      return static_cast<int>(i);
    }
  }
  for (std::size_t i = 0; i < statement.from.size(); ++i) {
    const TableSource& source = statement.from[i];
    if (!source.derived && EqualsNoCase(source.table.name, table.name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

SqlText Translator::TranslateInsert(const InsertStatement& statement, const TableInfo& table,
                                    bool identityInsert,
                                    const std::vector<std::string>& columnList) {
  std::vector<int> targets;
  if (columnList.empty()) {
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (static_cast<int>(i) != table.identityColumn || identityInsert)
        targets.push_back(static_cast<int>(i));
    }
  } else {
    for (const std::string& name : columnList) {
      const int index = FindColumn(table, name);
      if (index < 0) RaiseError(207, {name});
      if (index == table.identityColumn && !identityInsert) RaiseError(544, {table.name});
      targets.push_back(index);
    }
  }
  const bool generateIdentity =
      table.identityColumn >= 0 &&
      std::find(targets.begin(), targets.end(), table.identityColumn) == targets.end();
  std::string columns;
  for (int index : targets) {
    columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(table.columns[index].name);
  }
  if (generateIdentity) {
    columns +=
        (columns.empty() ? "" : ", ") + QuoteIdentifier(table.columns[table.identityColumn].name);
  }
  const std::string identityValue = "standin_next_identity()";
  SqlText out;
  out.sql = "INSERT INTO " + TargetName(table);
  if (statement.defaultValues) {
    out.sql += generateIdentity ? " (" + QuoteIdentifier(table.columns[table.identityColumn].name) +
                                      ") VALUES (" + identityValue + ")"
                                : " DEFAULT VALUES";
    return out;
  }
  out.sql += " (" + columns + ")";
  if (!statement.values.empty()) {
    out.sql += " VALUES ";
    for (std::size_t row = 0; row < statement.values.size(); ++row) {
      const auto& values = statement.values[row];
      if (values.size() != targets.size()) {
        if (columnList.empty()) RaiseError(213);
        RaiseError(values.size() < targets.size() ? 109 : 110);
      }
      out.sql += row ? ", (" : "(";
      for (std::size_t i = 0; i < values.size(); ++i) {
        const Column& column = table.columns[targets[i]];
        std::string value;
        if (!values[i]) {
          const std::string& fallback = table.defaults[targets[i]];
          value = fallback.empty() ? "NULL" : fallback;
        } else {
          ExprType type;
          value = Convert(Expression(*values[i], nullptr, type), type, column.type, true);
        }
        out.sql += (i ? ", " : "") + value;
      }
      if (generateIdentity) out.sql += (targets.empty() ? "" : ", ") + identityValue;
      out.sql += ")";
    }
    out.parameters = m_Parameters;
    return out;
  }
  std::vector<OutputColumn> sourceColumns;
  std::string source = SelectText(*statement.select, nullptr, sourceColumns);
  if (sourceColumns.size() != targets.size()) RaiseError(213);
  // Name the source's columns by position so the conversion can refer to them.
  std::string sourceNames;
  std::string converted;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string name = QuoteIdentifier("c" + std::to_string(i + 1));
    sourceNames += (i ? ", " : "") + name;
    converted += (i ? ", " : "") +
                 Convert(name, sourceColumns[i].type, table.columns[targets[i]].type, true);
  }
  if (generateIdentity) converted += (targets.empty() ? "" : ", ") + identityValue;
  out.sql = "WITH \"sqlstandin$source\"(" + sourceNames + ") AS (" + source + ") " + out.sql +
            " SELECT " + converted + " FROM \"sqlstandin$source\"";
  out.parameters = m_Parameters;
  return out;
}

SqlText Translator::TranslateUpdate(const UpdateStatement& statement, const TableInfo& table) {
  Scope scope;
  std::string from;
  std::vector<std::string> conditions;
  const int targetSource = FindTargetSource(statement, table);
  if (targetSource >= 0) {
    bool snapshot = targetSource != 0;
    int occurrences = 0;
    for (const TableSource& source : statement.from) {
      snapshot = snapshot || source.join == JoinKind::Left || source.join == JoinKind::Right ||
                 source.join == JoinKind::Full;
      if (!source.derived && EqualsNoCase(source.table.name, table.name)) ++occurrences;
    }
    if (snapshot || occurrences > 1)
      return TranslateUpdateFromJoins(statement, table, targetSource);
  }
  std::string targetAlias;
  Scope::Entry target;
  target.tableName = table.name;
  target.columns = table.columns;
  target.qualifier = table.name;
  if (targetSource >= 0) {
    // SQLite's UPDATE … FROM must not repeat the target, so the target's
    // occurrence leaves the FROM list and its join conditions join WHERE.
    // That keeps the meaning only for inner joins with the target first.
    if (targetSource != 0)
      RaiseUnsupported("UPDATE … FROM with the target table after another table");
    for (std::size_t i = 1; i < statement.from.size(); ++i) {
      const JoinKind join = statement.from[i].join;
      if (join == JoinKind::Left || join == JoinKind::Right || join == JoinKind::Full) {
        RaiseUnsupported("UPDATE … FROM with outer joins");
      }
    }
    if (!statement.from[0].alias.empty()) {
      targetAlias = statement.from[0].alias;
      target.qualifier = targetAlias;
    }
    scope.entries.push_back(target);
    for (std::size_t i = 1; i < statement.from.size(); ++i) {
      const TableSource& source = statement.from[i];
      from += (from.empty() ? "" : ", ") + SourceText(source, scope);
    }
    for (std::size_t i = 1; i < statement.from.size(); ++i) {
      if (statement.from[i].on) conditions.push_back(Condition(*statement.from[i].on, &scope));
    }
  } else {
    scope.entries.push_back(target);
    if (!statement.from.empty()) {
      Scope fromScope;
      from = FromText(statement.from, nullptr, fromScope);
      for (Scope::Entry& entry : fromScope.entries) scope.entries.push_back(std::move(entry));
    }
  }
  SqlText out;
  out.sql = "UPDATE " + TargetName(table);
  if (!targetAlias.empty()) out.sql += " AS " + QuoteIdentifier(targetAlias);
  out.sql += " SET ";
  for (std::size_t i = 0; i < statement.assignments.size(); ++i) {
    const Assignment& assignment = statement.assignments[i];
    const int index = FindColumn(table, assignment.column);
    if (index < 0) RaiseError(207, {assignment.column});
    if (index == table.identityColumn) RaiseError(8102, {table.columns[index].name});
    ExprType type;
    std::string value = Expression(*assignment.value, &scope, type);
    out.sql += (i ? ", " : "") + QuoteIdentifier(table.columns[index].name) + " = " +
               Convert(value, type, table.columns[index].type, true);
  }
  if (!from.empty()) out.sql += " FROM " + from;
  if (statement.where) conditions.push_back(Condition(*statement.where, &scope));
  std::string where;
  for (const std::string& condition : conditions)
    where += (where.empty() ? "" : " AND ") + condition;
  if (statement.top) {
    if (!statement.from.empty()) RaiseUnsupported("UPDATE TOP with FROM");
    ExprType topType;
    where = "rowid IN (SELECT rowid FROM " + TargetName(table) +
            (where.empty() ? "" : " WHERE " + where) + " LIMIT " +
            Expression(*statement.top, nullptr, topType) + ")";
  }
  if (!where.empty()) out.sql += " WHERE " + where;
  out.parameters = m_Parameters;
  return out;
}

SqlText Translator::TranslateUpdateFromJoins(const UpdateStatement& statement,
                                             const TableInfo& table, int targetSource) {
  // SQL Server computes the joined rows first and then writes them, so a
  // table joined to itself reads the values from before the statement and
  // outer joins keep their meaning: the join is materialized once, and each
  // target row takes the values of its first joined row.
  if (statement.top) RaiseUnsupported("UPDATE TOP with FROM");
  Scope scope;
  const std::string from = FromText(statement.from, nullptr, scope);
  const TableSource& targetFrom = statement.from[static_cast<std::size_t>(targetSource)];
  const std::string qualifier =
      QuoteIdentifier(targetFrom.alias.empty() ? targetFrom.table.name : targetFrom.alias);
  std::vector<std::string> targetColumns;
  for (const Assignment& assignment : statement.assignments)
    targetColumns.push_back(assignment.column);
  return MaterializedUpdate(statement, table, from, scope, qualifier + ".rowid", targetColumns);
}

SqlText Translator::MaterializedUpdate(const UpdateStatement& statement, const TableInfo& table,
                                       const std::string& from, const Scope& scope,
                                       const std::string& rowid,
                                       const std::vector<std::string>& targetColumns) {
  const std::string joined = QuoteIdentifier("sqlstandin$joined");
  std::string select = rowid + " AS rid";
  std::string set;
  for (std::size_t i = 0; i < statement.assignments.size(); ++i) {
    const Assignment& assignment = statement.assignments[i];
    const int index = FindColumn(table, targetColumns[i]);
    if (index < 0) RaiseError(207, {assignment.column});
    if (index == table.identityColumn) RaiseError(8102, {table.columns[index].name});
    ExprType type;
    const std::string value = Expression(*assignment.value, &scope, type);
    const std::string name = "v" + std::to_string(i);
    select += ", " + Convert(value, type, table.columns[index].type, true) + " AS " + name;
    set += (i ? ", " : "") + QuoteIdentifier(table.columns[index].name) + " = (SELECT " + name +
           " FROM " + joined + " WHERE rid = " + TargetName(table) + ".rowid LIMIT 1)";
  }
  std::string where;
  if (statement.where) where = " WHERE " + Condition(*statement.where, &scope);
  SqlText out;
  out.sql = "WITH " + joined + " AS MATERIALIZED (SELECT " + select + " FROM " + from + where +
            ") UPDATE " + TargetName(table) + " SET " + set + " WHERE rowid IN (SELECT rid FROM " +
            joined + ")";
  out.parameters = m_Parameters;
  return out;
}

SqlText Translator::TranslateViewWrite(const UpdateStatement& statement, const TableInfo& base,
                                       const TableSource& view,
                                       const std::vector<std::string>& baseColumns) {
  // The statement's own names (SET values, WHERE) mean the view's columns;
  // the rows it picks are written in the base table by rowid.
  Scope scope;
  const std::string from = SourceText(view, scope);
  const std::string rowid = QuoteIdentifier(view.alias) + "." + QuoteIdentifier(kViewRowid);
  return MaterializedUpdate(statement, base, from, scope, rowid, baseColumns);
}

SqlText Translator::TranslateViewWrite(const DeleteStatement& statement, const TableInfo& base,
                                       const TableSource& view) {
  Scope scope;
  const std::string from = SourceText(view, scope);
  const std::string rowid = QuoteIdentifier(view.alias) + "." + QuoteIdentifier(kViewRowid);
  SqlText out;
  out.sql =
      "DELETE FROM " + TargetName(base) + " WHERE rowid IN (SELECT " + rowid + " FROM " + from;
  if (statement.where) out.sql += " WHERE " + Condition(*statement.where, &scope);
  out.sql += ")";
  out.parameters = m_Parameters;
  return out;
}

SqlText Translator::TranslateDelete(const DeleteStatement& statement, const TableInfo& table) {
  SqlText out;
  out.sql = "DELETE FROM " + TargetName(table);
  Scope scope;
  if (statement.from.empty()) {
    Scope::Entry entry;
    entry.qualifier = table.name;
    entry.tableName = table.name;
    entry.columns = table.columns;
    scope.entries.push_back(std::move(entry));
    std::string where;
    if (statement.where) where = Condition(*statement.where, &scope);
    if (statement.top) {
      ExprType topType;
      where = "rowid IN (SELECT rowid FROM " + TargetName(table) +
              (where.empty() ? "" : " WHERE " + where) + " LIMIT " +
              Expression(*statement.top, nullptr, topType) + ")";
    }
    if (!where.empty()) out.sql += " WHERE " + where;
    out.parameters = m_Parameters;
    return out;
  }
  if (statement.top) RaiseUnsupported("DELETE TOP with FROM");
  std::vector<TableSource> sources;
  int targetSource = FindTargetSource(statement, table);
  std::string from;
  std::string qualifier;
  if (targetSource < 0) {
    // DELETE t FROM u …: the target joins the FROM list.
    from = QuoteIdentifier(table.schema) + "." + QuoteIdentifier(table.name);
    Scope::Entry entry;
    entry.qualifier = table.name;
    entry.tableName = table.name;
    entry.columns = table.columns;
    scope.entries.push_back(std::move(entry));
    qualifier = table.name;
    std::string rest = FromText(statement.from, nullptr, scope);
    from += ", " + rest;
  } else {
    from = FromText(statement.from, nullptr, scope);
    qualifier = scope.entries[targetSource].qualifier;
  }
  std::string sub = "SELECT " + QuoteIdentifier(qualifier) + ".rowid FROM " + from;
  if (statement.where) sub += " WHERE " + Condition(*statement.where, &scope);
  out.sql += " WHERE rowid IN (" + sub + ")";
  out.parameters = m_Parameters;
  return out;
}

}  // namespace standin::engine
