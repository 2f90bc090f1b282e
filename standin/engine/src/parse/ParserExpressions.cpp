// Expressions, SELECT, table sources, type names and the token helpers.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {
namespace {

ExprPtr MakeExpr(ExprKind kind, int line, std::string text = {}) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->line = line;
  expr->text = std::move(text);
  return expr;
}

ExprPtr MakeBinary(std::string op, ExprPtr left, ExprPtr right) {
  auto expr = MakeExpr(ExprKind::Binary_, left->line, std::move(op));
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return expr;
}

}  // namespace

Parser::Parser(std::string_view sql, std::vector<Token> tokens)
    : m_Sql(sql), m_Tokens(std::move(tokens)) {}

const Token& Parser::Peek(std::size_t ahead) const {
  const std::size_t index = std::min(m_Position + ahead, m_Tokens.size() - 1);
  return m_Tokens[index];
}

const Token& Parser::Next() {
  const Token& token = m_Tokens[m_Position];
  if (m_Position + 1 < m_Tokens.size()) ++m_Position;
  return token;
}

bool Parser::IsKeyword(std::string_view word, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.kind == TokenKind::Keyword && token.text == word;
}

bool Parser::IsOperator(std::string_view op, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.kind == TokenKind::Operator && token.text == op;
}

bool Parser::IsWord(std::string_view word, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.kind == TokenKind::Identifier && !token.delimited && EqualsNoCase(token.text, word);
}

bool Parser::AcceptKeyword(std::string_view word) {
  if (!IsKeyword(word)) return false;
  Next();
  return true;
}

bool Parser::AcceptOperator(std::string_view op) {
  if (!IsOperator(op)) return false;
  Next();
  return true;
}

bool Parser::AcceptWord(std::string_view word) {
  if (!IsWord(word)) return false;
  Next();
  return true;
}

void Parser::ExpectKeyword(std::string_view word) {
  if (!AcceptKeyword(word)) SyntaxError();
}

void Parser::ExpectOperator(std::string_view op) {
  if (!AcceptOperator(op)) SyntaxError();
}

std::string Parser::ExpectIdentifier() {
  if (Peek().kind != TokenKind::Identifier) SyntaxError();
  return Next().text;
}

void Parser::SyntaxError() const {
  SyntaxErrorAt(Peek());
}

void Parser::SyntaxErrorAt(const Token& token) const {
  if (token.kind == TokenKind::Keyword) {
    Message message = MakeMessage(156, {token.text});
    message.line = token.line;
    throw SqlError(message);
  }
  std::string near;
  int line = token.line;
  if (token.kind == TokenKind::End) {
    // SQL Server names the last token of the batch when the batch ends early.
    if (m_Position > 0 && m_Tokens.size() > 1) {
      const Token& last = m_Tokens[std::min(m_Position, m_Tokens.size() - 2)];
      near = std::string(m_Sql.substr(last.offset, last.length));
      line = last.line;
    }
  } else {
    near = std::string(m_Sql.substr(token.offset, token.length));
  }
  Message message = MakeMessage(170, {std::to_string(line), near});
  message.line = line;
  throw SqlError(message);
}

ObjectName Parser::ParseObjectName() {
  std::vector<std::string> parts;
  const std::size_t start = Peek().offset;
  if (Peek().kind != TokenKind::Identifier) SyntaxError();
  parts.push_back(Next().text);
  while (IsOperator(".") && parts.size() < 4) {
    Next();
    if (IsOperator(".")) {
      parts.emplace_back();
      continue;
    }
    if (Peek().kind != TokenKind::Identifier) SyntaxError();
    parts.push_back(Next().text);
  }
  const Token& last = m_Tokens[m_Position - 1];
  ObjectName name;
  name.written = std::string(m_Sql.substr(start, last.offset + last.length - start));
  name.name = parts.back();
  if (parts.size() >= 2) name.owner = parts[parts.size() - 2];
  if (parts.size() >= 3) name.database = parts[parts.size() - 3];
  if (name.name.empty()) SyntaxError();
  return name;
}

ColumnType Parser::ParseType() {
  const Token& typeToken = Peek();
  if (typeToken.kind != TokenKind::Identifier) SyntaxError();
  std::string typeName = Next().text;
  if (EqualsNoCase(typeName, "double") || EqualsNoCase(typeName, "national")) SyntaxError();
  int length = -1, precision = -1, scale = -1;
  if (AcceptOperator("(")) {
    if (IsWord("max")) RaiseUnsupported("the type " + typeName + "(max)");
    if (Peek().kind != TokenKind::Integer) SyntaxError();
    length = precision = std::stoi(Next().text.substr(0, 9));
    if (AcceptOperator(",")) {
      if (Peek().kind != TokenKind::Integer) SyntaxError();
      scale = std::stoi(Next().text.substr(0, 9));
    }
    ExpectOperator(")");
  }
  std::optional<ColumnType> type = ParseTypeName(typeName, length, precision, scale);
  if (!type) {
    // SQL Server 2000: 2715 "Column or parameter #n: Cannot find data type x."
    RaiseUnsupported("the data type '" + typeName + "'");
  }
  if ((type->id == TypeId::Decimal || type->id == TypeId::Numeric) &&
      (type->precision > 38 || type->scale > type->precision)) {
    SyntaxErrorAt(typeToken);
  }
  if ((type->id == TypeId::VarChar || type->id == TypeId::Char || type->id == TypeId::Binary ||
       type->id == TypeId::VarBinary) &&
      type->length > 8000) {
    SyntaxErrorAt(typeToken);
  }
  if ((type->id == TypeId::NVarChar || type->id == TypeId::NChar) && type->length > 4000) {
    SyntaxErrorAt(typeToken);
  }
  return *type;
}

Parser::NestingGuard::NestingGuard(Parser& parser) : m_Parser(parser) {
  // SQL Server refuses deep nesting with 191 too; 200 levels keep the
  // parser, the translator and SQLite well inside a thread's stack.
  if (++m_Parser.m_Nesting > 200) {
    --m_Parser.m_Nesting;
    Message message = MakeMessage(191);
    message.line = m_Parser.Peek().line;
    throw SqlError(message);
  }
}

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

ExprPtr Parser::ParseExpression() {
  NestingGuard guard(*this);
  return ParseOr();
}

ExprPtr Parser::ParseOr() {
  ExprPtr left = ParseAnd();
  while (AcceptKeyword("OR")) left = MakeBinary("OR", std::move(left), ParseAnd());
  return left;
}

ExprPtr Parser::ParseAnd() {
  ExprPtr left = ParseNot();
  while (AcceptKeyword("AND")) left = MakeBinary("AND", std::move(left), ParseNot());
  return left;
}

ExprPtr Parser::ParseNot() {
  NestingGuard guard(*this);
  if (IsKeyword("NOT")) {
    const int line = Next().line;
    auto expr = MakeExpr(ExprKind::Unary, line, "NOT");
    expr->args.push_back(ParseNot());
    return expr;
  }
  return ParsePredicate();
}

ExprPtr Parser::ParsePredicate() {
  if (IsKeyword("EXISTS")) {
    const int line = Next().line;
    ExpectOperator("(");
    auto expr = MakeExpr(ExprKind::Exists, line);
    expr->subquery = ParseSelect();
    ExpectOperator(")");
    return expr;
  }
  ExprPtr left = ParseAdditive();
  static constexpr std::string_view kComparisons[] = {"=",  "<>", "!=", "<", ">",
                                                      "<=", ">=", "!<", "!>"};
  for (std::string_view op : kComparisons) {
    if (IsOperator(op)) {
      Next();
      if (IsKeyword("ALL") || IsKeyword("ANY") || IsKeyword("SOME")) {
        RaiseUnsupported("comparisons with ALL/ANY/SOME");
      }
      if (IsOperator("*")) RaiseUnsupported("the old outer join operators (*= and =*)");
      std::string normal(op);
      if (op == "!=") normal = "<>";
      if (op == "!<") normal = ">=";
      if (op == "!>") normal = "<=";
      return MakeBinary(normal, std::move(left), ParseAdditive());
    }
  }
  if (IsOperator("*") && IsOperator("=", 1)) {
    RaiseUnsupported("the old outer join operators (*= and =*)");
  }
  bool negated = false;
  if (IsKeyword("NOT") && (IsKeyword("BETWEEN", 1) || IsKeyword("IN", 1) || IsKeyword("LIKE", 1))) {
    Next();
    negated = true;
  }
  if (AcceptKeyword("BETWEEN")) {
    auto expr = MakeExpr(ExprKind::Between, left->line);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    expr->args.push_back(ParseAdditive());
    ExpectKeyword("AND");
    expr->args.push_back(ParseAdditive());
    return expr;
  }
  if (AcceptKeyword("IN")) {
    ExpectOperator("(");
    if (IsKeyword("SELECT")) {
      auto expr = MakeExpr(ExprKind::InSubquery, left->line);
      expr->negated = negated;
      expr->args.push_back(std::move(left));
      expr->subquery = ParseSelect();
      ExpectOperator(")");
      return expr;
    }
    auto expr = MakeExpr(ExprKind::InList, left->line);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    do {
      expr->args.push_back(ParseExpression());
    } while (AcceptOperator(","));
    ExpectOperator(")");
    return expr;
  }
  if (AcceptKeyword("LIKE")) {
    auto expr = MakeExpr(ExprKind::Like, left->line);
    expr->negated = negated;
    expr->args.push_back(std::move(left));
    expr->args.push_back(ParseAdditive());
    if (AcceptKeyword("ESCAPE")) expr->args.push_back(ParseAdditive());
    return expr;
  }
  if (negated) SyntaxError();
  if (AcceptKeyword("IS")) {
    auto expr = MakeExpr(ExprKind::IsNull, left->line);
    expr->negated = AcceptKeyword("NOT");
    ExpectKeyword("NULL");
    expr->args.push_back(std::move(left));
    return expr;
  }
  return left;
}

ExprPtr Parser::ParseAdditive() {
  ExprPtr left = ParseMultiplicative();
  while (IsOperator("+") || IsOperator("-") || IsOperator("&") || IsOperator("|") ||
         IsOperator("^")) {
    std::string op = Next().text;
    left = MakeBinary(op, std::move(left), ParseMultiplicative());
  }
  return left;
}

ExprPtr Parser::ParseMultiplicative() {
  ExprPtr left = ParseUnary();
  while (IsOperator("*") || IsOperator("/") || IsOperator("%")) {
    if (IsOperator("*") && IsOperator("=", 1)) {
      RaiseUnsupported("the old outer join operators (*= and =*)");
    }
    std::string op = Next().text;
    left = MakeBinary(op, std::move(left), ParseUnary());
  }
  return left;
}

ExprPtr Parser::ParseUnary() {
  NestingGuard guard(*this);
  if (IsOperator("-") || IsOperator("+") || IsOperator("~")) {
    const Token& token = Next();
    auto expr = MakeExpr(ExprKind::Unary, token.line, token.text);
    expr->args.push_back(ParseUnary());
    return expr;
  }
  ExprPtr primary = ParsePrimary();
  if (IsKeyword("COLLATE")) {
    auto collated = MakeExpr(ExprKind::Collate, Next().line, "");
    collated->text = Peek().text;
    collated->castType.caseSensitive = ParseCollation();
    collated->args.push_back(std::move(primary));
    return collated;
  }
  return primary;
}

ExprPtr Parser::ParsePrimary() {
  const Token& token = Peek();
  const int line = token.line;
  switch (token.kind) {
    case TokenKind::Integer:
      return MakeExpr(ExprKind::Integer, line, Next().text);
    case TokenKind::DecimalNumber:
      return MakeExpr(ExprKind::DecimalNumber, line, Next().text);
    case TokenKind::FloatNumber:
      return MakeExpr(ExprKind::FloatNumber, line, Next().text);
    case TokenKind::Money: {
      // Typed money, as SQL Server types a constant with a currency sign.
      std::string digits = Next().text;
      if (digits.back() == '.') digits.pop_back();
      auto number = MakeExpr(
          digits.find('.') == std::string::npos ? ExprKind::Integer : ExprKind::DecimalNumber, line,
          digits);
      auto expr = MakeExpr(ExprKind::Cast, line, "CAST");
      expr->args.push_back(std::move(number));
      expr->castType = ColumnType{TypeId::Money, 0, 19, 4};
      return expr;
    }
    case TokenKind::String:
      return MakeExpr(ExprKind::String, line, Next().text);
    case TokenKind::NString:
      return MakeExpr(ExprKind::NString, line, Next().text);
    case TokenKind::Binary:
      return MakeExpr(ExprKind::Binary, line, Next().text);
    case TokenKind::Variable:
      return MakeExpr(ExprKind::Variable, line, Next().text);
    case TokenKind::SystemVariable:
      return MakeExpr(ExprKind::SystemVariable, line, Next().text);
    case TokenKind::Operator:
      if (token.text == "(") {
        Next();
        if (IsKeyword("SELECT")) {
          auto expr = MakeExpr(ExprKind::Subquery, line);
          expr->subquery = ParseSelect();
          ExpectOperator(")");
          return expr;
        }
        ExprPtr inner = ParseExpression();
        ExpectOperator(")");
        return inner;
      }
      SyntaxError();
    case TokenKind::Keyword: {
      const std::string word = token.text;
      if (word == "NULL") {
        Next();
        return MakeExpr(ExprKind::Null, line);
      }
      if (word == "CASE") return ParseCase();
      if (word == "CONVERT" || word == "COALESCE" || word == "NULLIF" || word == "LEFT" ||
          word == "RIGHT") {
        if (!IsOperator("(", 1)) SyntaxError();
        Next();
        return ParseFunctionCall(word, line);
      }
      if (word == "CURRENT_TIMESTAMP" || word == "SYSTEM_USER" || word == "SESSION_USER" ||
          word == "CURRENT_USER" || word == "USER") {
        Next();
        return MakeExpr(ExprKind::Function, line, word);
      }
      SyntaxError();
    }
    case TokenKind::Identifier: {
      if (!token.delimited && IsOperator("(", 1)) {
        std::string name = Upper(Next().text);
        return ParseFunctionCall(std::move(name), line);
      }
      auto expr = MakeExpr(ExprKind::Column, line);
      expr->parts.push_back(Next().text);
      while (IsOperator(".")) {
        Next();
        if (IsOperator(".")) {
          expr->parts.emplace_back();
          continue;
        }
        if (Peek().kind != TokenKind::Identifier) SyntaxError();
        expr->parts.push_back(Next().text);
      }
      if (expr->parts.size() > 4) SyntaxError();
      // A function call with an owner (dbo.f(…)) is a user-defined function.
      if (IsOperator("(")) RaiseUnsupported("user-defined functions");
      return expr;
    }
    default:
      SyntaxError();
  }
}

ExprPtr Parser::ParseCase() {
  const int line = Next().line;
  auto expr = MakeExpr(ExprKind::Case, line);
  if (IsKeyword("WHEN")) {
    expr->args.push_back(nullptr);
  } else {
    expr->args.push_back(ParseExpression());
  }
  if (!IsKeyword("WHEN")) SyntaxError();
  while (AcceptKeyword("WHEN")) {
    expr->args.push_back(ParseExpression());
    ExpectKeyword("THEN");
    expr->args.push_back(ParseExpression());
  }
  if (AcceptKeyword("ELSE")) expr->elseExpr = ParseExpression();
  ExpectKeyword("END");
  return expr;
}

ExprPtr Parser::ParseFunctionCall(std::string name, int line) {
  ExpectOperator("(");
  if (name == "CAST") {
    auto expr = MakeExpr(ExprKind::Cast, line, "CAST");
    expr->args.push_back(ParseExpression());
    ExpectKeyword("AS");
    expr->castType = ParseType();
    ExpectOperator(")");
    return expr;
  }
  if (name == "CONVERT") {
    auto expr = MakeExpr(ExprKind::Cast, line, "CONVERT");
    expr->castType = ParseType();
    ExpectOperator(",");
    expr->args.push_back(ParseExpression());
    if (AcceptOperator(",")) expr->args.push_back(ParseExpression());
    ExpectOperator(")");
    return expr;
  }
  auto expr = MakeExpr(ExprKind::Function, line, name);
  if (name == "DATEADD" || name == "DATEDIFF" || name == "DATEPART" || name == "DATENAME") {
    // The first argument is a date part name, not an expression.
    if (Peek().kind != TokenKind::Identifier) SyntaxError();
    expr->args.push_back(MakeExpr(ExprKind::String, line, Upper(Next().text)));
    if (!IsOperator(")")) ExpectOperator(",");
  }
  if (AcceptOperator(")")) return expr;
  if (name == "COUNT" && IsOperator("*")) {
    Next();
    expr->args.push_back(MakeExpr(ExprKind::Star, line));
    ExpectOperator(")");
    return expr;
  }
  if (AcceptKeyword("DISTINCT")) {
    expr->distinct = true;
  } else {
    AcceptKeyword("ALL");
  }
  do {
    expr->args.push_back(ParseExpression());
  } while (AcceptOperator(","));
  ExpectOperator(")");
  return expr;
}

}  // namespace standin::engine
