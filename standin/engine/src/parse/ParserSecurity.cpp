// GRANT, REVOKE and DENY of object and statement permissions.
#include <cctype>

#include "common/Text.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {
StatementPtr Parser::ParsePermission(int line) {
  PermissionStatement statement;
  statement.line = line;
  statement.verb = Next().text;  // GRANT, REVOKE or DENY
  auto word = [&](std::string_view text) { return IsKeyword(text) || IsWord(text); };
  auto accept = [&](std::string_view text) { return AcceptKeyword(text) || AcceptWord(text); };
  if (statement.verb == "REVOKE" && word("GRANT") &&
      (IsKeyword("OPTION", 1) || IsWord("OPTION", 1))) {
    Next();
    Next();
    if (!accept("FOR")) SyntaxError();
    statement.grantOptionFor = true;
  }
  if (accept("ALL")) {
    accept("PRIVILEGES");
    statement.permissions.push_back("ALL");
  } else {
    do {
      const Token& token = Peek();
      if (token.kind != TokenKind::Keyword && token.kind != TokenKind::Identifier) SyntaxError();
      std::string permission = Upper(Next().text);
      if (permission == "EXEC") permission = "EXECUTE";
      if (permission == "CREATE") {
        const Token& what = Peek();
        if (what.kind != TokenKind::Keyword && what.kind != TokenKind::Identifier) SyntaxError();
        std::string object = Upper(Next().text);
        if (object == "PROC") object = "PROCEDURE";
        if (object != "DATABASE" && object != "DEFAULT" && object != "FUNCTION" &&
            object != "PROCEDURE" && object != "RULE" && object != "TABLE" && object != "VIEW")
          SyntaxErrorAt(what);
        permission += " " + object;
      } else if (permission == "BACKUP") {
        if (!accept("DATABASE") && !accept("LOG")) SyntaxError();
        permission += " " + Upper(m_Tokens[m_Position - 1].text);
      } else if (permission != "SELECT" && permission != "INSERT" && permission != "UPDATE" &&
                 permission != "DELETE" && permission != "EXECUTE" && permission != "REFERENCES") {
        SyntaxErrorAt(token);
      }
      if (IsOperator("(")) RaiseUnsupported("column permissions");
      statement.permissions.push_back(permission);
    } while (AcceptOperator(","));
  }
  if (AcceptKeyword("ON")) {
    statement.object = ParseObjectName();
    if (IsOperator("(")) RaiseUnsupported("column permissions");
  }
  if (!AcceptKeyword("TO") && !AcceptKeyword("FROM")) SyntaxError();
  do {
    const Token& grantee = Peek();
    if (grantee.kind != TokenKind::Identifier && grantee.kind != TokenKind::Keyword) SyntaxError();
    std::string name = Next().text;
    if (grantee.kind == TokenKind::Keyword) {
      if (Upper(name) != "PUBLIC") SyntaxErrorAt(grantee);
      name = "public";
    }
    statement.grantees.push_back(name);
  } while (AcceptOperator(","));
  if (statement.verb == "GRANT" && AcceptKeyword("WITH")) {
    if (!accept("GRANT") || !accept("OPTION")) SyntaxError();
    statement.withGrantOption = true;
  }
  if (AcceptKeyword("AS")) RaiseUnsupported(statement.verb + " … AS");
  if (statement.verb != "GRANT") AcceptKeyword("CASCADE");
  return Wrap(std::move(statement));
}

}  // namespace standin::engine
