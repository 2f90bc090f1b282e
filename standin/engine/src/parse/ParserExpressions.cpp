// Expressions: operators by precedence, predicates, CASE and function calls.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {
ExprPtr MakeExpr(ExprKind kind, int line, std::string text) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->line = line;
  expr->text = std::move(text);
  return expr;
}

namespace {

ExprPtr MakeBinary(std::string op, ExprPtr left, ExprPtr right) {
  auto expr = MakeExpr(ExprKind::Binary_, left->line, std::move(op));
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return expr;
}

}  // namespace

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
