// SELECT: its cores, select lists, FROM with joins and derived tables, table hints.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {

std::shared_ptr<Select> Parser::ParseSelect() {
  NestingGuard guard(*this);
  auto select = std::make_shared<Select>();
  select->cores.push_back(ParseSelectCore());
  while (IsKeyword("UNION")) {
    Next();
    select->unionAll.push_back(AcceptKeyword("ALL"));
    if (AcceptOperator("(")) {
      auto inner = ParseSelect();
      ExpectOperator(")");
      if (inner->cores.size() != 1 || !inner->orderBy.empty()) {
        RaiseUnsupported("a parenthesised UNION operand");
      }
      select->cores.push_back(std::move(inner->cores[0]));
    } else {
      select->cores.push_back(ParseSelectCore());
    }
  }
  if (AcceptKeyword("ORDER")) {
    ExpectKeyword("BY");
    do {
      OrderItem item;
      item.expr = ParseExpression();
      if (AcceptKeyword("DESC")) {
        item.descending = true;
      } else {
        AcceptKeyword("ASC");
      }
      select->orderBy.push_back(std::move(item));
    } while (AcceptOperator(","));
  }
  if (IsKeyword("COMPUTE")) RaiseUnsupported("COMPUTE");
  if (IsKeyword("FOR")) RaiseUnsupported("FOR XML/FOR BROWSE");
  if (IsKeyword("OPTION")) RaiseUnsupported("query hints (OPTION)");
  return select;
}

SelectCore Parser::ParseSelectCore() {
  SelectCore core;
  ExpectKeyword("SELECT");
  if (AcceptKeyword("DISTINCT")) {
    core.distinct = true;
  } else {
    AcceptKeyword("ALL");
  }
  if (AcceptKeyword("TOP")) {
    if (AcceptOperator("(")) {
      core.top = ParseExpression();
      ExpectOperator(")");
    } else {
      if (Peek().kind != TokenKind::Integer && Peek().kind != TokenKind::Variable) SyntaxError();
      core.top = ParsePrimary();
    }
    if (AcceptKeyword("PERCENT")) core.topPercent = true;
    if (AcceptKeyword("WITH")) {
      if (!AcceptWord("TIES")) SyntaxError();
      RaiseUnsupported("TOP … WITH TIES");
    }
  }
  do {
    ParseSelectItem(core);
  } while (AcceptOperator(","));
  if (AcceptKeyword("INTO")) core.into = ParseObjectName();
  if (AcceptKeyword("FROM")) core.from = ParseFromList();
  if (AcceptKeyword("WHERE")) core.where = ParseExpression();
  if (AcceptKeyword("GROUP")) {
    ExpectKeyword("BY");
    if (AcceptKeyword("ALL")) RaiseUnsupported("GROUP BY ALL");
    do {
      core.groupBy.push_back(ParseExpression());
    } while (AcceptOperator(","));
    if (AcceptKeyword("WITH")) RaiseUnsupported("WITH CUBE/ROLLUP");
  }
  if (AcceptKeyword("HAVING")) core.having = ParseExpression();
  return core;
}

void Parser::ParseSelectItem(SelectCore& core) {
  SelectItem item;
  const int line = Peek().line;
  if (IsOperator("*")) {
    Next();
    item.expr = MakeExpr(ExprKind::Star, line);
    core.items.push_back(std::move(item));
    return;
  }
  // qualifier.* (one to three qualifier parts)
  for (std::size_t parts = 1; parts <= 3; ++parts) {
    bool match = true;
    for (std::size_t i = 0; i < parts; ++i) {
      if (Peek(2 * i).kind != TokenKind::Identifier || !IsOperator(".", 2 * i + 1)) match = false;
    }
    if (match && IsOperator("*", 2 * parts)) {
      item.expr = MakeExpr(ExprKind::Star, line);
      for (std::size_t i = 0; i < parts; ++i) {
        item.expr->parts.push_back(Next().text);
        Next();
      }
      Next();
      core.items.push_back(std::move(item));
      return;
    }
  }
  if (Peek().kind == TokenKind::Variable && IsOperator("=", 1)) {
    item.assignVariable = Next().text;
    Next();
    item.expr = ParseExpression();
    core.items.push_back(std::move(item));
    return;
  }
  if ((Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::String) &&
      IsOperator("=", 1)) {
    item.alias = Next().text;
    Next();
    item.expr = ParseExpression();
    core.items.push_back(std::move(item));
    return;
  }
  item.expr = ParseExpression();
  item.alias = ParseAlias();
  core.items.push_back(std::move(item));
}

std::string Parser::ParseAlias() {
  if (AcceptKeyword("AS")) {
    if (Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::String)
      return Next().text;
    SyntaxError();
  }
  if (Peek().kind == TokenKind::Identifier) return Next().text;
  if (Peek().kind == TokenKind::String) return Next().text;
  return {};
}

std::vector<TableSource> Parser::ParseFromList() {
  NestingGuard guard(*this);
  std::vector<TableSource> sources;
  if (IsOperator("(") && !IsKeyword("SELECT", 1)) {
    // (A JOIN B ON …) JOIN C ON …: a parenthesised join first in the list
    // joins left to right as the flat list does.
    Next();
    sources = ParseFromList();
    ExpectOperator(")");
  } else {
    sources.push_back(ParseTableSource(JoinKind::None));
  }
  while (true) {
    if (AcceptOperator(",")) {
      sources.push_back(ParseTableSource(JoinKind::Cross));
      continue;
    }
    JoinKind join = JoinKind::None;
    if (AcceptKeyword("JOIN")) {
      join = JoinKind::Inner;
    } else if (IsKeyword("INNER") && IsKeyword("JOIN", 1)) {
      Next();
      Next();
      join = JoinKind::Inner;
    } else if (IsKeyword("CROSS") && IsKeyword("JOIN", 1)) {
      Next();
      Next();
      join = JoinKind::Cross;
    } else if (IsKeyword("LEFT") || IsKeyword("RIGHT") || IsKeyword("FULL")) {
      join = IsKeyword("LEFT")    ? JoinKind::Left
             : IsKeyword("RIGHT") ? JoinKind::Right
                                  : JoinKind::Full;
      Next();
      AcceptKeyword("OUTER");
      ExpectKeyword("JOIN");
    } else {
      break;
    }
    TableSource source;
    if (IsOperator("(") && !IsKeyword("SELECT", 1)) {
      Next();
      source.join = join;
      source.nested = ParseFromList();
      ExpectOperator(")");
    } else {
      source = ParseTableSource(join);
    }
    if (join != JoinKind::Cross) {
      ExpectKeyword("ON");
      source.on = ParseExpression();
    }
    sources.push_back(std::move(source));
  }
  return sources;
}

TableSource Parser::ParseTableSource(JoinKind join) {
  TableSource source;
  source.join = join;
  if (AcceptOperator("(")) {
    if (!IsKeyword("SELECT")) SyntaxError();
    source.derived = ParseSelect();
    ExpectOperator(")");
    AcceptKeyword("AS");
    if (Peek().kind != TokenKind::Identifier) SyntaxError();  // a derived table needs an alias
    source.alias = Next().text;
    return source;
  }
  if (Peek().kind == TokenKind::Variable) RaiseUnsupported("table variables");
  source.table = ParseObjectName();
  SkipTableHints();
  if (IsOperator("(")) RaiseUnsupported("table-valued functions");
  if (AcceptKeyword("AS")) {
    source.alias = ExpectIdentifier();
  } else if (Peek().kind == TokenKind::Identifier) {
    source.alias = Next().text;
  }
  // Table hints (NOLOCK, HOLDLOCK …) change locking only; SQLite's locking
  // already gives committed reads, so they are accepted and ignored.
  SkipTableHints();
  if (IsOperator("(")) SyntaxError();
  return source;
}

void Parser::SkipTableHints() {
  // Table hints change locking only; SQLite's locking already gives
  // committed reads, so they are accepted and ignored. SQL Server 2000 also
  // takes the old form without WITH: FROM t (NOLOCK).
  static constexpr std::string_view kHints[] = {
      "NOLOCK",        "HOLDLOCK",       "UPDLOCK",      "ROWLOCK",      "PAGLOCK",
      "TABLOCK",       "TABLOCKX",       "XLOCK",        "READPAST",     "READUNCOMMITTED",
      "READCOMMITTED", "REPEATABLEREAD", "SERIALIZABLE", "FASTFIRSTROW", "NOEXPAND"};
  const bool withKeyword = IsKeyword("WITH") && IsOperator("(", 1);
  bool oldStyle = false;
  if (!withKeyword && IsOperator("(")) {
    for (std::string_view hint : kHints) oldStyle = oldStyle || IsWord(hint, 1);
    oldStyle = oldStyle || IsKeyword("HOLDLOCK", 1) || IsKeyword("INDEX", 1);
  }
  if (!withKeyword && !oldStyle) return;
  if (withKeyword) Next();
  Next();
  int depth = 1;
  while (depth > 0 && !AtEnd()) {
    if (IsOperator("(")) ++depth;
    if (IsOperator(")")) --depth;
    Next();
  }
}

}  // namespace standin::engine
