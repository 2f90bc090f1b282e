// Recursive-descent parser for the T-SQL the stand-in understands. It parses a
// whole batch before anything runs, as SQL Server compiles a batch: a syntax
// error (severity 15) means no statement of the batch executes.
#pragma once

#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "parse/Ast.h"
#include "parse/Lexer.h"

namespace standin::engine {

// Parses a batch. Throws SqlError: 102/156/170 for syntax errors, 105/113 from
// the lexer, 111 for a misplaced CREATE PROCEDURE/VIEW, 50100 for statement
// kinds the stand-in cannot parse at all.
Batch ParseBatch(std::string_view sql, bool quotedIdentifier = true);

// Parses a stored procedure's text (CREATE or ALTER PROCEDURE …).
ProcedureDefinition ParseProcedureText(std::string_view sql, bool quotedIdentifier = true);

// Parses one expression (for RPC parameter defaults and tests).
ExprPtr ParseExpressionText(std::string_view sql);

// A statement holding `node`, and a new expression.
template <typename T>
StatementPtr Wrap(T node) {
  return std::make_unique<Statement>(Statement{std::move(node)});
}
ExprPtr MakeExpr(ExprKind kind, int line, std::string text = {});

class Parser {
 public:
  Parser(std::string_view sql, std::vector<Token> tokens);

  Batch ParseBatch();
  ExprPtr ParseExpression();
  bool AtEnd() const { return Peek().kind == TokenKind::End; }

  // Statements (Parser.cpp).
  StatementPtr ParseStatement(bool firstInBatch);

  // SELECT (ParserSelect.cpp), names and types (ParserTokens.cpp).
  std::shared_ptr<Select> ParseSelect();
  ColumnType ParseType();
  ObjectName ParseObjectName();
  std::vector<TableSource> ParseFromList();

 private:
  // Statements.
  StatementPtr ParseInsert();
  StatementPtr ParseUpdate();
  StatementPtr ParseDelete();
  StatementPtr ParseCreate(bool firstInBatch);
  StatementPtr ParseCreateTable();
  StatementPtr ParseDrop();
  StatementPtr ParseBegin();
  template <typename T>
  StatementPtr ParseTransactionEnd();
  StatementPtr ParseExecute(bool keyword);
  StatementPtr ParseTruncate(int line);
  StatementPtr ParseKill(int line);
  // Variables and control of flow (ParserControl.cpp).
  StatementPtr ParseDeclare();
  StatementPtr ParseSet();
  StatementPtr ParseIf();
  StatementPtr ParseWhile(int line);
  StatementPtr ParseBreakOrContinue(bool isBreak, int line);
  StatementPtr ParseReturn(int line);
  StatementPtr ParseRaiserror();
  // ALTER DATABASE, BACKUP LOG, DBCC SHRINKFILE (ParserDatabase.cpp).
  StatementPtr ParseAlterDatabase(int line);
  StatementPtr ParseBackupLog(int line);
  StatementPtr ParseShrinkFile(int line);
  // Schema statements (ParserSchema.cpp).
  void ParseColumnDefinition(std::vector<ColumnDefinition>& columns,
                             std::vector<TableConstraint>& constraints);
  StatementPtr ParseCreateIndex(int line);
  StatementPtr ParseDropIndex(int line);
  StatementPtr ParseCreateView(std::size_t createOffset, int line);
  StatementPtr ParseAlterTable(int line);
  // GRANT, REVOKE, DENY (ParserSecurity.cpp).
  StatementPtr ParsePermission(int line);
  // Reads CREATE/ALTER PROCEDURE's name and parameters up to AS, so a
  // malformed header is a syntax error as in SQL Server.
  void ParseProcedureHeader(ProcedureDefinition& definition);
  StatementPtr ParseCreateProcedure(std::size_t createOffset, int line, bool alter);

 public:
  // The whole text of a CREATE/ALTER PROCEDURE: header and body statements.
  ProcedureDefinition ParseProcedure();

 private:
  void ParseTableConstraint(std::vector<TableConstraint>& constraints, std::string name);
  std::vector<std::string> ParseNameList();

  // SELECT (ParserSelect.cpp).
  SelectCore ParseSelectCore();
  void ParseSelectItem(SelectCore& core);
  TableSource ParseTableSource(JoinKind join);
  std::string ParseAlias();
  void SkipTableHints();

  // Expressions (ParserExpressions.cpp).
  ExprPtr ParseOr();
  ExprPtr ParseAnd();
  ExprPtr ParseNot();
  ExprPtr ParsePredicate();
  ExprPtr ParseAdditive();
  ExprPtr ParseMultiplicative();
  ExprPtr ParseUnary();
  ExprPtr ParsePrimary();
  ExprPtr ParseCase();
  ExprPtr ParseFunctionCall(std::string name, int line);

  // Tokens (ParserTokens.cpp).
 public:
  const Token& Peek(std::size_t ahead = 0) const;
  const Token& Next();
  bool IsKeyword(std::string_view word, std::size_t ahead = 0) const;
  bool IsOperator(std::string_view op, std::size_t ahead = 0) const;
  // A plain (undelimited) identifier with this text, any case.
  bool IsWord(std::string_view word, std::size_t ahead = 0) const;
  bool AcceptKeyword(std::string_view word);
  bool AcceptOperator(std::string_view op);
  bool AcceptWord(std::string_view word);
  // ( NAME = …, FILENAME = '…' [, SIZE …] ) [, ( … )] of CREATE DATABASE
  // (ParserDatabase.cpp).
  std::vector<DatabaseFileClause> ParseDatabaseFiles();
  // The name after COLLATE: true for the case-sensitive Latin1 collations,
  // false for the case-insensitive ones (the server's default); any other is
  // refused (50100), never ignored.
  bool ParseCollation();
  void ExpectKeyword(std::string_view word);
  void ExpectOperator(std::string_view op);
  std::string ExpectIdentifier();
  [[noreturn]] void SyntaxError() const;
  [[noreturn]] void SyntaxErrorAt(const Token& token) const;
  std::string_view Source() const { return m_Sql; }

 private:
  std::string_view m_Sql;
  std::vector<Token> m_Tokens;
  std::size_t m_Position = 0;
  int m_LoopDepth = 0;  // WHILE bodies being parsed, for BREAK/CONTINUE
  int m_Nesting = 0;    // recursion depth, bounded so no batch can exhaust the stack

 public:
  // Counts one level of nesting for its lifetime; error 191 beyond the limit.
  class NestingGuard {
   public:
    explicit NestingGuard(Parser& parser);
    ~NestingGuard() { --m_Parser.m_Nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

   private:
    Parser& m_Parser;
  };
};

}  // namespace standin::engine
