// Schema statements: CREATE/DROP INDEX, CREATE/DROP VIEW, ALTER TABLE, and
// the header check of CREATE PROCEDURE.
#include "parse/Parser.h"

#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace {

StatementPtr MakeSchemaStatement(StatementKind kind, int line) {
  auto statement = std::make_unique<Statement>();
  statement->kind = kind;
  statement->line = line;
  return statement;
}

}  // namespace

StatementPtr Parser::ParseCreateIndex(int line) {
  auto statement = MakeSchemaStatement(StatementKind::CreateIndex, line);
  if (AcceptKeyword("UNIQUE")) statement->optionValue = "UNIQUE";
  if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
  ExpectKeyword("INDEX");
  statement->name = ExpectIdentifier();
  ExpectKeyword("ON");
  statement->table = ParseObjectName();
  ExpectOperator("(");
  do {
    statement->columns.push_back(ExpectIdentifier());
    if (!AcceptKeyword("ASC")) AcceptKeyword("DESC");
  } while (AcceptOperator(","));
  ExpectOperator(")");
  // Fill factor, padding and statistics options only tune SQL Server's pages.
  if (AcceptKeyword("WITH")) {
    do {
      if (Peek().kind != TokenKind::Identifier && !IsKeyword("FILLFACTOR")) SyntaxError();
      const std::string option = Next().text;
      if (EqualsNoCase(option, "DROP_EXISTING") || EqualsNoCase(option, "IGNORE_DUP_KEY"))
        RaiseUnsupported("CREATE INDEX WITH " + option);
      if (AcceptOperator("=")) Next();
    } while (AcceptOperator(","));
  }
  if (AcceptKeyword("ON")) {
    if (Peek().kind != TokenKind::Identifier && !IsKeyword("DEFAULT")) SyntaxError();
    Next();
  }
  return statement;
}

StatementPtr Parser::ParseDropIndex(int line) {
  auto statement = MakeSchemaStatement(StatementKind::DropIndex, line);
  // SQL Server 2000 names the index as table.index (owner.table.index).
  ObjectName name = ParseObjectName();
  if (name.owner.empty()) SyntaxError();
  statement->name = name.name;
  statement->table.name = name.owner;
  statement->table.owner = name.database;
  statement->table.written = name.written.substr(0, name.written.rfind('.'));
  if (IsOperator(",")) RaiseUnsupported("DROP INDEX with several indexes");
  return statement;
}

StatementPtr Parser::ParseCreateView(std::size_t createOffset, int line) {
  auto statement = MakeSchemaStatement(StatementKind::CreateView, line);
  ExpectKeyword("VIEW");
  statement->table = ParseObjectName();
  if (IsOperator("(")) RaiseUnsupported("CREATE VIEW with a column list");
  if (AcceptKeyword("WITH")) {
    do {
      if (AcceptWord("VIEW_METADATA")) continue;
      if (IsWord("ENCRYPTION") || IsWord("SCHEMABINDING"))
        RaiseUnsupported("CREATE VIEW WITH " + Peek().text);
      SyntaxError();
    } while (AcceptOperator(","));
  }
  ExpectKeyword("AS");
  statement->select = ParseSelect();
  if (IsKeyword("WITH") && IsKeyword("CHECK", 1)) RaiseUnsupported("WITH CHECK OPTION");
  while (AcceptOperator(";")) {
  }
  // The view's text runs to the end of the batch: anything else is part of it.
  if (!AtEnd()) SyntaxError();
  statement->text = std::string(m_Sql.substr(createOffset));
  return statement;
}

StatementPtr Parser::ParseAlterTable(int line) {
  auto statement = MakeSchemaStatement(StatementKind::AlterTable, line);
  ExpectKeyword("TABLE");
  statement->table = ParseObjectName();
  if (AcceptKeyword("ADD")) {
    statement->name = "ADD";
    // SQL Server's ADD takes column definitions directly: ADD COLUMN is a
    // syntax error there, and so it is here (COLUMN is a keyword).
    do {
      if (IsKeyword("CONSTRAINT") || IsKeyword("PRIMARY") || IsKeyword("UNIQUE") ||
          IsKeyword("CHECK") || IsKeyword("FOREIGN")) {
        RaiseUnsupported("ALTER TABLE … ADD CONSTRAINT");
      }
      ParseColumnDefinition(*statement);
    } while (AcceptOperator(","));
    if (!statement->constraints.empty())
      RaiseUnsupported("ALTER TABLE … ADD with a PRIMARY KEY or UNIQUE column");
    return statement;
  }
  if (AcceptKeyword("ALTER")) {
    ExpectKeyword("COLUMN");
    statement->name = "ALTER COLUMN";
    ColumnDefinition column;
    column.name = ExpectIdentifier();
    column.type = ParseType();
    if (AcceptKeyword("COLLATE")) {
      column.type.caseSensitive = ParseCollation();
      if (!IsCharacter(column.type.id)) RaiseError(447, {TypeName(column.type)});
    }
    if (AcceptKeyword("NULL")) {
      column.nullable = true;
    } else if (IsKeyword("NOT") && IsKeyword("NULL", 1)) {
      Next();
      Next();
      column.nullable = false;
    } else if (IsWord("ADD") || IsKeyword("DROP")) {
      RaiseUnsupported("ALTER COLUMN … ADD/DROP ROWGUIDCOL");
    }
    statement->columnDefinitions.push_back(std::move(column));
    return statement;
  }
  if (IsKeyword("DROP") || IsKeyword("WITH") || IsKeyword("CHECK") || IsKeyword("NOCHECK") ||
      IsWord("ENABLE") || IsWord("DISABLE")) {
    RaiseUnsupported("ALTER TABLE … " + Peek().text);
  }
  SyntaxError();
}

void Parser::ParseProcedureHeader(ProcedureDefinition& definition) {
  // CREATE PROCEDURE name [;n] [(] @p type [= default] [OUTPUT], … [)] [WITH …] AS
  Next();  // PROCEDURE / PROC
  definition.name = ParseObjectName();
  if (AcceptOperator(";")) {
    if (Peek().kind != TokenKind::Integer) SyntaxError();
    RaiseUnsupported("numbered procedures");
  }
  const bool parenthesised = AcceptOperator("(");
  if (!(parenthesised && IsOperator(")")) && !IsKeyword("AS") && !IsKeyword("WITH") &&
      !IsKeyword("FOR")) {
    do {
      // A parameter is a variable; a bare or bracketed name is a syntax error.
      if (Peek().kind != TokenKind::Variable) SyntaxError();
      Declaration parameter;
      parameter.name = Next().text;
      AcceptKeyword("AS");
      if (IsKeyword("CURSOR")) RaiseUnsupported("cursor parameters");
      parameter.type = ParseType();
      if (AcceptOperator("=")) parameter.initialValue = ParseUnary();
      parameter.output = AcceptWord("OUTPUT") || AcceptWord("OUT");
      definition.parameters.push_back(std::move(parameter));
    } while (AcceptOperator(","));
  }
  if (parenthesised) ExpectOperator(")");
  if (AcceptKeyword("WITH")) {
    do {
      if (!AcceptWord("RECOMPILE") && !AcceptWord("ENCRYPTION")) SyntaxError();
    } while (AcceptOperator(","));
  }
  if (AcceptKeyword("FOR")) {
    if (!AcceptWord("REPLICATION")) SyntaxError();
  }
  ExpectKeyword("AS");
}

StatementPtr Parser::ParseCreateProcedure(std::size_t createOffset, int line, bool alter) {
  auto statement = MakeSchemaStatement(StatementKind::CreateProcedure, line);
  ProcedureDefinition definition;
  ParseProcedureHeader(definition);
  statement->table = definition.name;
  if (alter) statement->optionValue = "ALTER";
  // The body is compiled when the procedure runs: what this engine cannot
  // run is refused then, naming the procedure, not when it is stored.
  statement->text = std::string(m_Sql.substr(createOffset));
  while (!AtEnd()) Next();
  return statement;
}

ProcedureDefinition Parser::ParseProcedure() {
  ProcedureDefinition definition;
  Next();  // CREATE / ALTER
  ParseProcedureHeader(definition);
  while (true) {
    while (AcceptOperator(";")) {
    }
    if (AtEnd()) break;
    definition.body.push_back(ParseStatement(false));
  }
  return definition;
}

ProcedureDefinition ParseProcedureText(std::string_view sql, bool quotedIdentifier) {
  Parser parser(sql, Tokenize(sql, quotedIdentifier));
  return parser.ParseProcedure();
}

}  // namespace standin::engine
