// The token helpers, syntax errors, object names and type names.
#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {

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

}  // namespace standin::engine
