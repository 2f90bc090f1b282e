// Expressions and SELECT → SQLite SQL with SQL Server's types.
#include "translate/Translator.h"

#include <algorithm>
#include <cctype>

#include "common/Types.h"
#include "engine/Errors.h"
#include "translate/TranslatorSupport.h"

namespace standin::engine {

namespace {

using namespace translation;

// Precision and scale of an exact numeric, integers included.
ColumnType AsDecimal(const ColumnType& type) {
  ColumnType out;
  out.id = TypeId::Numeric;
  switch (type.id) {
    case TypeId::Bit:
      out.precision = 1;
      break;
    case TypeId::TinyInt:
      out.precision = 3;
      break;
    case TypeId::SmallInt:
      out.precision = 5;
      break;
    case TypeId::Int:
      out.precision = type.precision ? type.precision : 10;
      break;
    case TypeId::BigInt:
      out.precision = 19;
      break;
    default:
      out.precision = type.precision ? type.precision : 18;
      out.scale = type.scale;
  }
  return out;
}

// SQL Server's result type of + - * / between two numerics.
ColumnType NumericResult(const std::string& op, const ColumnType& a, const ColumnType& b) {
  const ColumnType& high = Precedence(a.id) >= Precedence(b.id) ? a : b;
  if (high.id == TypeId::Decimal || high.id == TypeId::Numeric) {
    const ColumnType x = AsDecimal(a), y = AsDecimal(b);
    const int p1 = x.precision, s1 = x.scale, p2 = y.precision, s2 = y.scale;
    if (op == "*") return DecimalOf(p1 + p2 + 1, s1 + s2);
    if (op == "/") {
      const int scale = std::max(6, s1 + p2 + 1);
      return DecimalOf(p1 - s1 + s2 + scale, scale);
    }
    const int scale = std::max(s1, s2);
    return DecimalOf(std::max(p1 - s1, p2 - s2) + scale + 1, scale);
  }
  if (IsInteger(high.id) && high.id != TypeId::BigInt) {
    ColumnType out;
    out.id = TypeId::Int;  // tinyint + tinyint is int in practice for clients
    if (high.id == TypeId::Bit || high.id == TypeId::TinyInt || high.id == TypeId::SmallInt) {
      out.id = a.id == b.id ? a.id : TypeId::Int;
      if (out.id == TypeId::Bit) out.id = TypeId::Int;
    }
    return out;
  }
  return high;
}

}  // namespace

std::string StorageCollation(const ColumnType& type) {
  if (!IsCharacter(type.id) && type.id != TypeId::UniqueIdentifier) return "";
  return type.caseSensitive ? kCollateCaseSensitive : kCollate;
}

std::string Translator::Convert(const std::string& sql, const ExprType& from, const ColumnType& to,
                                bool assignment) {
  if (!assignment && from.known && from.type.id == to.id && from.type.length == to.length &&
      from.type.scale == to.scale) {
    return sql;
  }
  const bool fromDate = from.known && IsDateTime(from.type.id);
  return "standin_convert(" + sql + ", '" + TypeName(to) + "', " + (assignment ? "1" : "0") +
         ", NULL, " + (fromDate ? "1" : "0") + ")";
}

std::string Translator::Variable(const std::string& name, ExprType& type) {
  const ::standin::engine::Variable* variable = m_Context.FindVariable(name);
  if (!variable) RaiseError(137, {name});
  type = Known(variable->type);
  for (std::size_t i = 0; i < m_Parameters.size(); ++i) {
    if (EqualsNoCase(m_Parameters[i], name)) return "?" + std::to_string(i + 1);
  }
  m_Parameters.push_back(name);
  return "?" + std::to_string(m_Parameters.size());
}

std::string Translator::ColumnReference(const Expr& expr, const Scope* scope, ExprType& type) {
  const std::string& column = expr.parts.back();
  const std::string qualifier = expr.parts.size() >= 2 ? expr.parts[expr.parts.size() - 2] : "";
  if (column == kRowidColumn) {
    for (const Scope* current = scope; current; current = current->parent) {
      for (const Scope::Entry& entry : current->entries) {
        if (entry.tableName.empty() || !EqualsNoCase(entry.qualifier, qualifier)) continue;
        type = Known(TypeId::BigInt);
        return QuoteIdentifier(entry.qualifier) + ".rowid";
      }
    }
    RaiseError(107, {qualifier});
  }
  bool qualifierSeen = false;
  for (const Scope* current = scope; current; current = current->parent) {
    const Scope::Entry* foundEntry = nullptr;
    const Column* found = nullptr;
    for (const Scope::Entry& entry : current->entries) {
      if (!qualifier.empty()) {
        if (!EqualsNoCase(entry.qualifier, qualifier)) continue;
        qualifierSeen = true;
      }
      for (const Column& candidate : entry.columns) {
        if (!EqualsNoCase(candidate.name, column)) continue;
        if (found) RaiseError(209, {column});
        found = &candidate;
        foundEntry = &entry;
      }
    }
    if (found) {
      type = Known(found->type);
      m_LastColumnName = found->name;
      return QuoteIdentifier(foundEntry->qualifier) + "." + QuoteIdentifier(found->name);
    }
  }
  if (!qualifier.empty() && !qualifierSeen) RaiseError(107, {qualifier});
  RaiseError(207, {column});
}

std::string Translator::Comparison(const std::string& op, const Expr& left, const Expr& right,
                                   const Scope* scope) {
  ExprType lt, rt;
  std::string l = Expression(left, scope, lt);
  std::string r = Expression(right, scope, rt);
  if (lt.known && rt.known) {
    // The lower-precedence side converts to the other side's type.
    if (IsCharacter(rt.type.id) && !IsCharacter(lt.type.id) && !IsBinary(lt.type.id)) {
      r = Convert(r, rt, lt.type, false);
      rt = lt;
    } else if (IsCharacter(lt.type.id) && !IsCharacter(rt.type.id) && !IsBinary(rt.type.id)) {
      l = Convert(l, lt, rt.type, false);
      lt = rt;
    }
  }
  const bool text = IsTextOrUnknown(lt) || IsTextOrUnknown(rt) ||
                    (lt.known && lt.type.id == TypeId::UniqueIdentifier);
  return "(" + l + " " + op + " " + r + (text ? CollateFor({&lt, &rt}) : "") + ")";
}

std::string Translator::Condition(const Expr& expr, const Scope* scope) {
  switch (expr.kind) {
    case ExprKind::Binary_: {
      if (expr.text == "AND" || expr.text == "OR") {
        return "(" + Condition(*expr.args[0], scope) + " " + expr.text + " " +
               Condition(*expr.args[1], scope) + ")";
      }
      static constexpr std::string_view kComparisons[] = {"=", "<>", "<", ">", "<=", ">="};
      for (std::string_view op : kComparisons) {
        if (expr.text == op) return Comparison(expr.text, *expr.args[0], *expr.args[1], scope);
      }
      break;
    }
    case ExprKind::Unary:
      if (expr.text == "NOT") return "(NOT " + Condition(*expr.args[0], scope) + ")";
      break;
    case ExprKind::IsNull: {
      ExprType type;
      return "(" + Expression(*expr.args[0], scope, type) +
             (expr.negated ? " IS NOT NULL)" : " IS NULL)");
    }
    case ExprKind::Like: {
      ExprType vt, pt, et;
      const std::string value = Expression(*expr.args[0], scope, vt);
      const std::string pattern = Expression(*expr.args[1], scope, pt);
      const std::string escape = expr.args.size() > 2 ? Expression(*expr.args[2], scope, et) : "";
      if (ComparesCaseSensitive({&vt, &pt})) {
        // SQLite's LIKE operator always calls the case-insensitive like().
        return std::string(expr.negated ? "(NOT " : "(") + "standin_like_cs(" + pattern + ", " +
               value + (escape.empty() ? "" : ", " + escape) + "))";
      }
      std::string sql = "(" + value + (expr.negated ? " NOT LIKE " : " LIKE ") + pattern;
      if (!escape.empty()) sql += " ESCAPE " + escape;
      return sql + ")";
    }
    case ExprKind::Between: {
      ExprType vt, lt, ht;
      std::string value = Expression(*expr.args[0], scope, vt);
      std::string low = Expression(*expr.args[1], scope, lt);
      std::string high = Expression(*expr.args[2], scope, ht);
      if (vt.known && !IsCharacter(vt.type.id)) {
        if (lt.known && IsCharacter(lt.type.id)) low = Convert(low, lt, vt.type, false);
        if (ht.known && IsCharacter(ht.type.id)) high = Convert(high, ht, vt.type, false);
      }
      return "(" + value + (IsTextOrUnknown(vt) ? CollateFor({&vt, &lt, &ht}) : "") +
             (expr.negated ? " NOT BETWEEN " : " BETWEEN ") + low + " AND " + high + ")";
    }
    case ExprKind::InList: {
      ExprType vt;
      std::string sql = "(" + Expression(*expr.args[0], scope, vt);
      if (IsTextOrUnknown(vt)) sql += CollateFor({&vt});
      sql += expr.negated ? " NOT IN (" : " IN (";
      for (std::size_t i = 1; i < expr.args.size(); ++i) {
        ExprType it;
        std::string item = Expression(*expr.args[i], scope, it);
        if (vt.known && it.known && !IsCharacter(vt.type.id) && IsCharacter(it.type.id)) {
          item = Convert(item, it, vt.type, false);
        }
        sql += (i > 1 ? ", " : "") + item;
      }
      return sql + "))";
    }
    case ExprKind::InSubquery: {
      ExprType vt;
      std::string value = Expression(*expr.args[0], scope, vt);
      std::vector<OutputColumn> columns;
      std::string sub = SelectText(*expr.subquery, scope, columns);
      return "(" + value + (IsTextOrUnknown(vt) ? CollateFor({&vt}) : "") +
             (expr.negated ? " NOT IN (" : " IN (") + sub + "))";
    }
    case ExprKind::Exists: {
      std::vector<OutputColumn> columns;
      return "(EXISTS (" + SelectText(*expr.subquery, scope, columns) + "))";
    }
    default:
      break;
  }
  std::string near = expr.text.empty() && !expr.parts.empty() ? expr.parts.back() : expr.text;
  RaiseError(4145, {near});
}

std::string Translator::Expression(const Expr& expr, const Scope* scope, ExprType& type) {
  switch (expr.kind) {
    case ExprKind::Null:
      type = Known(TypeId::Int);
      return "NULL";
    case ExprKind::Integer: {
      if (expr.text.size() > 18) {
        type = Known(DecimalOf(static_cast<int>(expr.text.size()), 0));
        return "standin_convert('" + expr.text + "', '" + TypeName(type.type) + "', 0, NULL, 0)";
      }
      const long long value = std::stoll(expr.text);
      if (value > 2147483647LL) {
        type = Known(DecimalOf(static_cast<int>(std::to_string(value).size()), 0));
      } else {
        type = Known(TypeId::Int);
        // SQL Server gives an integer constant the precision of its digits
        // when it meets a decimal (7.0 / 2 has scale 6, not 12).
        type.type.precision = static_cast<std::uint8_t>(std::to_string(value).size());
      }
      return std::to_string(value);
    }
    case ExprKind::DecimalNumber: {
      const std::size_t point = expr.text.find('.');
      std::string digits = expr.text;
      digits.erase(point, 1);
      const std::size_t firstDigit = std::min(digits.find_first_not_of('0'), digits.size());
      const int scale = static_cast<int>(expr.text.size() - point - 1);
      const int precision = std::max(scale, static_cast<int>(digits.size() - firstDigit));
      type = Known(DecimalOf(std::max(1, precision), scale));
      if (precision > 15) {
        // Beyond a double's digits the literal travels as text, exactly.
        return "standin_convert('" + expr.text + "', '" + TypeName(type.type) + "', 0, NULL, 0)";
      }
      return expr.text[0] == '.' ? "0" + expr.text : expr.text;
    }
    case ExprKind::FloatNumber:
      type = Known(TypeId::Float);
      return expr.text;
    case ExprKind::String:
      type = Known(TypeId::VarChar,
                   std::max<std::int32_t>(1, static_cast<std::int32_t>(CharacterCount(expr.text))));
      return QuoteString(expr.text);
    case ExprKind::NString:
      type = Known(
          TypeId::NVarChar,
          std::max<std::int32_t>(1, static_cast<std::int32_t>(CharacterCount(expr.text, true))));
      return QuoteString(expr.text);
    case ExprKind::Binary:
      type = Known(TypeId::VarBinary,
                   std::max<std::int32_t>(1, static_cast<std::int32_t>(expr.text.size() / 2)));
      return "X'" + (expr.text.size() % 2 ? "0" + expr.text : expr.text) + "'";
    case ExprKind::Column:
      return ColumnReference(expr, scope, type);
    case ExprKind::Star:
      RaiseError(170, {std::to_string(expr.line), "*"});
    case ExprKind::Variable:
      return Variable(expr.text, type);
    case ExprKind::SystemVariable: {
      ColumnType systemType;
      std::string sql = m_Context.SystemValue(expr.text, systemType);
      type = Known(systemType);
      return sql;
    }
    case ExprKind::Unary: {
      if (expr.text == "NOT") {
        type = Known(TypeId::Int);
        return Condition(expr, scope);
      }
      std::string operand = Expression(*expr.args[0], scope, type);
      if (expr.text == "+") return operand;
      return "(" + expr.text + operand + ")";
    }
    case ExprKind::Binary_:
      if (expr.text == "AND" || expr.text == "OR" || expr.text == "=" || expr.text == "<>" ||
          expr.text == "<" || expr.text == ">" || expr.text == "<=" || expr.text == ">=") {
        type = Known(TypeId::Int);
        return Condition(expr, scope);
      }
      return Arithmetic(expr, scope, type);
    case ExprKind::Function:
      return Function(expr, scope, type);
    case ExprKind::Cast: {
      ExprType from;
      std::string value = Expression(*expr.args[0], scope, from);
      type = Known(expr.castType);
      std::string style = "NULL";
      if (expr.args.size() > 1) {
        ExprType styleType;
        style = Expression(*expr.args[1], scope, styleType);
      }
      const bool fromDate = from.known && IsDateTime(from.type.id);
      return "standin_convert(" + value + ", '" + TypeName(expr.castType) + "', 0, " + style +
             ", " + (fromDate ? "1" : "0") + ")";
    }
    case ExprKind::Case: {
      std::string sql = "(CASE";
      ExprType operandType;
      std::string operand;
      if (expr.args[0]) {
        operand = Expression(*expr.args[0], scope, operandType);
        sql += " " + operand + (IsTextOrUnknown(operandType) ? CollateFor({&operandType}) : "");
      }
      ExprType result;
      auto merge = [&](const ExprType& branch) { result = MergeTypes(result, branch); };
      for (std::size_t i = 1; i + 1 < expr.args.size(); i += 2) {
        if (expr.args[0]) {
          ExprType whenType;
          sql += " WHEN " + Expression(*expr.args[i], scope, whenType);
        } else {
          sql += " WHEN " + Condition(*expr.args[i], scope);
        }
        ExprType thenType;
        sql += " THEN " + Expression(*expr.args[i + 1], scope, thenType);
        if (expr.args[i + 1]->kind != ExprKind::Null) merge(thenType);
      }
      if (expr.elseExpr) {
        ExprType elseType;
        sql += " ELSE " + Expression(*expr.elseExpr, scope, elseType);
        if (expr.elseExpr->kind != ExprKind::Null) merge(elseType);
      }
      type = result.known ? result : Known(TypeId::Int);
      return sql + " END)";
    }
    case ExprKind::Subquery: {
      std::vector<OutputColumn> columns;
      std::string sub = SelectText(*expr.subquery, scope, columns);
      type = columns.empty() ? ExprType{} : columns[0].type;
      if (YieldsOneRow(*expr.subquery)) return "(" + sub + ")";
      // SQL Server refuses a scalar sub-query with several rows (512) rather
      // than take one of them.
      return "(SELECT CASE WHEN (SELECT count(*) FROM (SELECT 1 FROM (" + sub +
             ") LIMIT 2)) > 1 THEN standin_raise(512) ELSE (" + sub + ") END)";
    }
    case ExprKind::Exists:
    case ExprKind::InList:
    case ExprKind::InSubquery:
    case ExprKind::Between:
    case ExprKind::Like:
    case ExprKind::IsNull:
      type = Known(TypeId::Int);
      return Condition(expr, scope);
    case ExprKind::Collate: {
      std::string sql = Expression(*expr.args[0], scope, type);
      if (type.known && !IsCharacter(type.type.id)) RaiseError(447, {TypeName(type.type)});
      type.type.caseSensitive = expr.castType.caseSensitive;
      type.explicitCollation = true;
      return "(" + sql + (expr.castType.caseSensitive ? kCollateCaseSensitive : kCollate) + ")";
    }
  }
  return "NULL";
}

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

std::string Translator::Arithmetic(const Expr& expr, const Scope* scope, ExprType& type) {
  const std::string& op = expr.text;
  ExprType lt, rt;
  std::string l = Expression(*expr.args[0], scope, lt);
  std::string r = Expression(*expr.args[1], scope, rt);
  // A NULL literal takes the other operand's type: N'a' + NULL is an nvarchar NULL.
  if (expr.args[0]->kind == ExprKind::Null || expr.args[1]->kind == ExprKind::Null) {
    type = expr.args[0]->kind == ExprKind::Null ? rt : lt;
    return "NULL";
  }
  const bool bothKnown = lt.known && rt.known;
  if (op == "+" && bothKnown && IsCharacter(lt.type.id) && IsCharacter(rt.type.id)) {
    ColumnType out;
    const bool unicode = IsUnicode(lt.type.id) || IsUnicode(rt.type.id);
    if (lt.type.id == TypeId::Text || lt.type.id == TypeId::NText || rt.type.id == TypeId::Text ||
        rt.type.id == TypeId::NText) {
      RaiseUnsupported("+ on text or ntext values");
    }
    out.id = unicode ? TypeId::NVarChar : TypeId::VarChar;
    out.length = std::min(unicode ? 4000 : 8000, lt.type.length + rt.type.length);
    type = Known(out);
    return "(" + l + " || " + r + ")";
  }
  if (bothKnown && IsCharacter(lt.type.id) && IsNumeric(rt.type.id)) {
    l = Convert(l, lt, rt.type, false);
    lt = rt;
  } else if (bothKnown && IsCharacter(rt.type.id) && IsNumeric(lt.type.id)) {
    r = Convert(r, rt, lt.type, false);
    rt = lt;
  }
  if ((op == "+" || op == "-") && lt.known && IsDateTime(lt.type.id) &&
      (!rt.known || IsNumeric(rt.type.id))) {
    type = lt;
    return "standin_dateadd('DAY', " + (op == "-" ? "-(" + r + ")" : r) + ", " + l + ")";
  }
  if (op == "+" && (!lt.known || !rt.known)) {
    // Concatenation or addition is only known once the values are seen.
    type = lt.known && IsCharacter(lt.type.id)   ? lt
           : rt.known && IsCharacter(rt.type.id) ? rt
                                                 : ExprType{};
    return "standin_add(" + l + ", " + r + ")";
  }
  if (bothKnown && IsNumeric(lt.type.id) && IsNumeric(rt.type.id)) {
    type = Known(NumericResult(op, lt.type, rt.type));
  } else if (bothKnown && (IsCharacter(lt.type.id) || IsCharacter(rt.type.id) ||
                           IsBinary(lt.type.id) || IsDateTime(rt.type.id))) {
    RaiseError(8114, {BaseTypeName(rt.type.id), BaseTypeName(lt.type.id)});
  } else {
    type = lt.known ? lt : rt;
  }
  const bool approximate = type.known && !IsInteger(type.type.id);
  if (op == "/" || op == "%") {
    // Integer division only when both sides are integers, as in SQL Server;
    // decimals stored as whole numbers must still divide exactly.
    if (approximate && op == "/") l = "CAST(" + l + " AS REAL)";
    return std::string(op == "/" ? "standin_divide(" : "standin_modulo(") + l + ", " + r + ")";
  }
  if (op == "^") return "((" + l + " | " + r + ") - (" + l + " & " + r + "))";
  return "(" + l + " " + op + " " + r + ")";
}

std::string Translator::SourceText(const TableSource& source, Scope& scope) {
  if (!source.nested.empty()) return "(" + FromText(source.nested, nullptr, scope) + ")";
  Scope::Entry entry;
  std::string sql;
  if (source.derived) {
    std::vector<OutputColumn> columns;
    // A derived table sees no outer columns (it is not correlated).
    if (source.ownershipChained) ++m_Chained;
    try {
      sql = "(" + SelectText(*source.derived, nullptr, columns) + ") AS " +
            QuoteIdentifier(source.alias);
    } catch (...) {
      if (source.ownershipChained) --m_Chained;
      throw;
    }
    if (source.ownershipChained) --m_Chained;
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

SqlText Translator::TranslateScalar(const Expr& expr) {
  SqlText out;
  OutputColumn column;
  out.sql = "SELECT " + Expression(expr, nullptr, column.type);
  out.columns.push_back(column);
  out.parameters = m_Parameters;
  return out;
}

SqlText Translator::TranslateCondition(const Expr& expr) {
  SqlText out;
  out.sql = "SELECT CASE WHEN " + Condition(expr, nullptr) + " THEN 1 ELSE 0 END";
  out.parameters = m_Parameters;
  return out;
}

std::string Translator::TranslateDefault(const Expr& expr, const ColumnType& target) {
  ExprType type;
  std::string value = Expression(expr, nullptr, type);
  if (!m_Parameters.empty()) RaiseUnsupported("variables in DEFAULT");
  return "(" + Convert(value, type, target, true) + ")";
}

}  // namespace standin::engine
