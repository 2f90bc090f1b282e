// Schema statements: CREATE TABLE with its columns and constraints, CREATE/DROP INDEX, CREATE/DROP
// VIEW, ALTER TABLE, and the header check of CREATE PROCEDURE.
#include "parse/Parser.h"

#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"

namespace standin::engine {
StatementPtr Parser::ParseCreateIndex(int line) {
  CreateIndexStatement statement;
  statement.line = line;
  statement.unique = AcceptKeyword("UNIQUE");
  if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
  ExpectKeyword("INDEX");
  statement.index = ExpectIdentifier();
  ExpectKeyword("ON");
  statement.table = ParseObjectName();
  ExpectOperator("(");
  do {
    statement.columns.push_back(ExpectIdentifier());
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
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseDropIndex(int line) {
  DropIndexStatement statement;
  statement.line = line;
  // SQL Server 2000 names the index as table.index (owner.table.index).
  ObjectName name = ParseObjectName();
  if (name.owner.empty()) SyntaxError();
  statement.index = name.name;
  statement.table.name = name.owner;
  statement.table.owner = name.database;
  statement.table.written = name.written.substr(0, name.written.rfind('.'));
  if (IsOperator(",")) RaiseUnsupported("DROP INDEX with several indexes");
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseCreateView(std::size_t createOffset, int line) {
  CreateViewStatement statement;
  statement.line = line;
  ExpectKeyword("VIEW");
  statement.view = ParseObjectName();
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
  statement.select = ParseSelect();
  if (IsKeyword("WITH") && IsKeyword("CHECK", 1)) RaiseUnsupported("WITH CHECK OPTION");
  while (AcceptOperator(";")) {
  }
  // The view's text runs to the end of the batch: anything else is part of it.
  if (!AtEnd()) SyntaxError();
  statement.text = std::string(m_Sql.substr(createOffset));
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseAlterTable(int line) {
  AlterTableStatement statement;
  statement.line = line;
  ExpectKeyword("TABLE");
  statement.table = ParseObjectName();
  if (AcceptKeyword("ADD")) {
    statement.action = AlterTableStatement::Action::AddColumns;
    std::vector<TableConstraint> constraints;
    // SQL Server's ADD takes column definitions directly: ADD COLUMN is a
    // syntax error there, and so it is here (COLUMN is a keyword).
    do {
      if (IsKeyword("CONSTRAINT") || IsKeyword("PRIMARY") || IsKeyword("UNIQUE") ||
          IsKeyword("CHECK") || IsKeyword("FOREIGN")) {
        RaiseUnsupported("ALTER TABLE … ADD CONSTRAINT");
      }
      ParseColumnDefinition(statement.columns, constraints);
    } while (AcceptOperator(","));
    if (!constraints.empty())
      RaiseUnsupported("ALTER TABLE … ADD with a PRIMARY KEY or UNIQUE column");
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("ALTER")) {
    ExpectKeyword("COLUMN");
    statement.action = AlterTableStatement::Action::AlterColumn;
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
    statement.columns.push_back(std::move(column));
    return Wrap(std::move(statement));
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
  CreateProcedureStatement statement;
  statement.line = line;
  ProcedureDefinition definition;
  ParseProcedureHeader(definition);
  statement.procedure = definition.name;
  statement.alter = alter;
  // The body is compiled when the procedure runs: what this engine cannot
  // run is refused then, naming the procedure, not when it is stored.
  statement.text = std::string(m_Sql.substr(createOffset));
  while (!AtEnd()) Next();
  return Wrap(std::move(statement));
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

StatementPtr Parser::ParseCreateTable() {
  CreateTableStatement statement;
  statement.line = Next().line;
  statement.table = ParseObjectName();
  ExpectOperator("(");
  do {
    if (IsOperator(")")) break;
    if (AcceptKeyword("CONSTRAINT")) {
      std::string name = ExpectIdentifier();
      ParseTableConstraint(statement.constraints, std::move(name));
    } else if (IsKeyword("PRIMARY") || IsKeyword("UNIQUE") || IsKeyword("CHECK") ||
               IsKeyword("FOREIGN")) {
      ParseTableConstraint(statement.constraints, {});
    } else {
      ParseColumnDefinition(statement.columns, statement.constraints);
    }
  } while (AcceptOperator(","));
  ExpectOperator(")");
  if (IsKeyword("ON") || IsWord("TEXTIMAGE_ON")) {
    // Filegroup placement has no meaning for a single SQLite file.
    while (IsKeyword("ON") || IsWord("TEXTIMAGE_ON")) {
      Next();
      if (Peek().kind != TokenKind::Identifier && !IsKeyword("DEFAULT")) SyntaxError();
      Next();
    }
  }
  return Wrap(std::move(statement));
}

void Parser::ParseTableConstraint(std::vector<TableConstraint>& constraints, std::string name) {
  TableConstraint constraint;
  constraint.name = std::move(name);
  if (AcceptKeyword("PRIMARY")) {
    ExpectKeyword("KEY");
    constraint.primaryKey = true;
  } else if (AcceptKeyword("UNIQUE")) {
    constraint.primaryKey = false;
  } else if (IsKeyword("CHECK")) {
    RaiseUnsupported("CHECK constraints");
  } else if (IsKeyword("FOREIGN") || IsKeyword("REFERENCES")) {
    RaiseUnsupported("FOREIGN KEY constraints");
  } else if (IsKeyword("DEFAULT")) {
    RaiseUnsupported("named DEFAULT constraints at table level");
  } else {
    SyntaxError();
  }
  if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
  ExpectOperator("(");
  do {
    constraint.columns.push_back(ExpectIdentifier());
    if (!AcceptKeyword("ASC")) AcceptKeyword("DESC");
  } while (AcceptOperator(","));
  ExpectOperator(")");
  constraints.push_back(std::move(constraint));
}

void Parser::ParseColumnDefinition(std::vector<ColumnDefinition>& columns,
                                   std::vector<TableConstraint>& constraints) {
  ColumnDefinition column;
  column.name = ExpectIdentifier();
  if (AcceptKeyword("AS")) RaiseUnsupported("computed columns");
  column.type = ParseType();
  while (true) {
    if (AcceptKeyword("COLLATE")) {
      column.type.caseSensitive = ParseCollation();
      if (!IsCharacter(column.type.id)) RaiseError(447, {TypeName(column.type)});
      continue;
    }
    if (AcceptKeyword("NULL")) {
      column.nullable = true;
      continue;
    }
    if (IsKeyword("NOT") && IsKeyword("NULL", 1)) {
      Next();
      Next();
      column.nullable = false;
      continue;
    }
    if (AcceptKeyword("IDENTITY")) {
      column.identity = true;
      if (AcceptOperator("(")) {
        auto readSigned = [&]() {
          const bool negative = AcceptOperator("-");
          if (Peek().kind != TokenKind::Integer) SyntaxError();
          std::int64_t value = std::stoll(Next().text.substr(0, 18));
          return negative ? -value : value;
        };
        column.identitySeed = readSigned();
        ExpectOperator(",");
        column.identityIncrement = readSigned();
        ExpectOperator(")");
      }
      if (IsKeyword("NOT") && IsWord("FOR", 1)) RaiseUnsupported("NOT FOR REPLICATION");
      continue;
    }
    if (IsWord("ROWGUIDCOL")) {
      Next();
      continue;
    }
    std::string constraintName;
    if (AcceptKeyword("CONSTRAINT")) constraintName = ExpectIdentifier();
    if (AcceptKeyword("DEFAULT")) {
      column.defaultValue = ParseUnary();
      continue;
    }
    if (IsKeyword("PRIMARY") || IsKeyword("UNIQUE")) {
      TableConstraint constraint;
      constraint.name = std::move(constraintName);
      constraint.primaryKey = AcceptKeyword("PRIMARY");
      if (constraint.primaryKey) {
        ExpectKeyword("KEY");
      } else {
        ExpectKeyword("UNIQUE");
      }
      if (!AcceptKeyword("CLUSTERED")) AcceptKeyword("NONCLUSTERED");
      if (AcceptOperator("(")) {
        // SQL Server takes a table constraint after a column without a comma
        // between them: "Status INT DEFAULT 0 CONSTRAINT PK PRIMARY KEY (EntryID)".
        do {
          constraint.columns.push_back(ExpectIdentifier());
          if (!AcceptKeyword("ASC")) AcceptKeyword("DESC");
        } while (AcceptOperator(","));
        ExpectOperator(")");
      } else {
        constraint.columns.push_back(column.name);
      }
      constraints.push_back(std::move(constraint));
      continue;
    }
    if (IsKeyword("CHECK")) RaiseUnsupported("CHECK constraints");
    if (IsKeyword("REFERENCES") || IsKeyword("FOREIGN"))
      RaiseUnsupported("FOREIGN KEY constraints");
    if (!constraintName.empty()) SyntaxError();
    break;
  }
  columns.push_back(std::move(column));
}

}  // namespace standin::engine
