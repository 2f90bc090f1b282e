// Variables and control of flow: DECLARE, SET, IF, WHILE, BREAK, CONTINUE,
// RETURN and RAISERROR.
#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {

StatementPtr Parser::ParseDeclare() {
  DeclareStatement statement;
  statement.line = Next().line;
  do {
    Declaration declaration;
    // DECLARE name [INSENSITIVE] [SCROLL] CURSOR …
    if (Peek().kind == TokenKind::Identifier &&
        (IsKeyword("CURSOR", 1) || IsWord("INSENSITIVE", 1) || IsWord("SCROLL", 1)))
      RaiseUnsupported("cursors");
    if (Peek().kind != TokenKind::Variable) SyntaxError();
    declaration.name = Next().text;
    AcceptKeyword("AS");
    if (IsKeyword("CURSOR") || IsKeyword("TABLE")) RaiseUnsupported("DECLARE … " + Peek().text);
    declaration.type = ParseType();
    if (AcceptOperator("=")) declaration.initialValue = ParseExpression();
    statement.declarations.push_back(std::move(declaration));
  } while (AcceptOperator(","));
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseSet() {
  const int line = Next().line;
  if (Peek().kind == TokenKind::Variable) {
    SetVariableStatement statement;
    statement.line = line;
    statement.variable = Next().text;
    ExpectOperator("=");
    statement.value = ParseExpression();
    return Wrap(std::move(statement));
  }
  SetOptionStatement statement;
  statement.line = line;
  if (AcceptKeyword("TRANSACTION")) {
    if (!AcceptWord("ISOLATION")) SyntaxError();
    if (!AcceptWord("LEVEL")) SyntaxError();
    statement.options = "TRANSACTION ISOLATION LEVEL";
    std::string level;
    while (Peek().kind == TokenKind::Identifier || IsKeyword("READ")) {
      if (!level.empty()) level += ' ';
      level += Upper(Next().text);
    }
    if (level != "READ COMMITTED" && level != "READ UNCOMMITTED" && level != "REPEATABLE READ" &&
        level != "SERIALIZABLE") {
      SyntaxError();
    }
    statement.value = level;
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("IDENTITY_INSERT")) {
    statement.options = "IDENTITY_INSERT";
    statement.table = ParseObjectName();
  } else if (IsKeyword("ROWCOUNT") || IsKeyword("OFFSETS") ||
             Peek().kind == TokenKind::Identifier) {
    statement.options = Upper(Next().text);
    // SET ANSI_NULLS, QUOTED_IDENTIFIER ON: several options share one value.
    while (AcceptOperator(",")) {
      if (Peek().kind != TokenKind::Identifier) SyntaxError();
      statement.options += "," + Upper(Next().text);
    }
  } else {
    SyntaxError();
  }
  const Token& value = Peek();
  if (value.kind == TokenKind::Operator && value.text == "-" &&
      Peek(1).kind == TokenKind::Integer) {
    Next();
    statement.value = "-" + Next().text;  // SET LOCK_TIMEOUT -1
  } else if ((value.kind == TokenKind::Keyword && (value.text == "ON" || value.text == "OFF")) ||
             value.kind == TokenKind::Identifier || value.kind == TokenKind::Integer ||
             value.kind == TokenKind::String || value.kind == TokenKind::Variable) {
    statement.value = Next().text;
  } else {
    SyntaxError();
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseIf() {
  IfStatement statement;
  statement.line = Next().line;
  statement.condition = ParseExpression();
  while (AcceptOperator(";")) {
  }
  if (AtEnd()) SyntaxError();
  statement.then = ParseStatement(false);
  while (IsOperator(";") && IsKeyword("ELSE", 1)) Next();
  if (AcceptKeyword("ELSE")) {
    if (AtEnd()) SyntaxError();
    statement.otherwise = ParseStatement(false);
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseWhile(int line) {
  Next();
  WhileStatement statement;
  statement.line = line;
  statement.condition = ParseExpression();
  if (AtEnd()) SyntaxError();
  ++m_LoopDepth;
  statement.body = ParseStatement(false);
  --m_LoopDepth;
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseBreakOrContinue(bool isBreak, int line) {
  Next();
  if (m_LoopDepth == 0) {
    Message message = MakeMessage(isBreak ? 135 : 136);
    message.line = line;
    throw SqlError(message);
  }
  if (isBreak) {
    BreakStatement statement;
    statement.line = line;
    return Wrap(std::move(statement));
  }
  ContinueStatement statement;
  statement.line = line;
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseReturn(int line) {
  Next();
  ReturnStatement statement;
  statement.line = line;
  // RETURN takes an expression only when one obviously follows.
  const Token& next = Peek();
  if (next.kind == TokenKind::Integer || next.kind == TokenKind::Variable ||
      (next.kind == TokenKind::Operator && (next.text == "(" || next.text == "-"))) {
    statement.value = ParseExpression();
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseRaiserror() {
  RaiserrorStatement statement;
  statement.line = Next().line;
  if (!AcceptOperator("(")) RaiseUnsupported("the old RAISERROR number 'text' form");
  do {
    statement.arguments.push_back(ParseExpression());
  } while (AcceptOperator(","));
  ExpectOperator(")");
  if (statement.arguments.size() < 3) SyntaxError();
  if (AcceptKeyword("WITH")) {
    do {
      if (!AcceptWord("NOWAIT") && !AcceptWord("LOG") && !AcceptWord("SETERROR")) SyntaxError();
    } while (AcceptOperator(","));
  }
  return Wrap(std::move(statement));
}

}  // namespace standin::engine
