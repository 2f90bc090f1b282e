// Statements and the batch.
#include "parse/Parser.h"

#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace {

StatementPtr MakeStatement(StatementKind kind, int line) {
  auto statement = std::make_unique<Statement>();
  statement->kind = kind;
  statement->line = line;
  return statement;
}

// Statement kinds SQL Server has that the stand-in cannot even parse; the
// whole batch is refused with 50100 naming the construct.
constexpr std::string_view kUnsupportedStarts[] = {
    "ALTER", "DBCC",     "BACKUP",    "RESTORE",    "CHECKPOINT", "GOTO",     "DEALLOCATE",
    "OPEN",  "CLOSE",    "FETCH",     "BULK",       "SAVE",       "SHUTDOWN", "DUMP",
    "LOAD",  "READTEXT", "WRITETEXT", "UPDATETEXT", "RECONFIGURE"};

// Statements that start with a word that is not reserved: refused by name,
// never taken for a procedure to run.
bool IsUnsupportedWord(const std::string& upper) {
  static constexpr std::string_view kWords[] = {"WAITFOR",  "RECONFIGURE", "SETUSER",
                                                "READTEXT", "WRITETEXT",   "UPDATETEXT"};
  return std::find(std::begin(kWords), std::end(kWords), upper) != std::end(kWords);
}

}  // namespace

Batch ParseBatch(std::string_view sql, bool quotedIdentifier) {
  Parser parser(sql, Tokenize(sql, quotedIdentifier));
  return parser.ParseBatch();
}

ExprPtr ParseExpressionText(std::string_view sql) {
  Parser parser(sql, Tokenize(sql));
  ExprPtr expr = parser.ParseExpression();
  if (!parser.AtEnd()) parser.SyntaxError();
  return expr;
}

Batch Parser::ParseBatch() {
  Batch batch;
  bool first = true;
  while (true) {
    while (AcceptOperator(";")) {
    }
    if (AtEnd()) break;
    batch.statements.push_back(ParseStatement(first));
    first = false;
  }
  return batch;
}

StatementPtr Parser::ParseStatement(bool firstInBatch) {
  NestingGuard guard(*this);
  const Token& start = Peek();
  const std::size_t startOffset = start.offset;
  const int line = start.line;
  StatementPtr statement;
  if (start.kind == TokenKind::Keyword) {
    const std::string word = start.text;
    if (word == "SELECT") {
      statement = MakeStatement(StatementKind::Select, line);
      statement->select = ParseSelect();
    } else if (word == "INSERT") {
      statement = ParseInsert();
    } else if (word == "UPDATE") {
      statement = ParseUpdate();
    } else if (word == "DELETE") {
      statement = ParseDelete();
    } else if (word == "TRUNCATE") {
      Next();
      ExpectKeyword("TABLE");
      statement = MakeStatement(StatementKind::Delete, line);
      statement->table = ParseObjectName();
      statement->name = "TRUNCATE";
    } else if (word == "CREATE") {
      statement = ParseCreate(firstInBatch);
    } else if (word == "DROP") {
      statement = ParseDrop();
    } else if (word == "USE") {
      Next();
      statement = MakeStatement(StatementKind::Use, line);
      statement->name = ExpectIdentifier();
    } else if (word == "DECLARE") {
      statement = ParseDeclare();
    } else if (word == "SET") {
      statement = ParseSet();
    } else if (word == "PRINT") {
      Next();
      statement = MakeStatement(StatementKind::Print, line);
      statement->expression = ParseExpression();
    } else if (word == "IF") {
      statement = ParseIf();
    } else if (word == "WHILE") {
      Next();
      statement = MakeStatement(StatementKind::While, line);
      statement->condition = ParseExpression();
      if (AtEnd()) SyntaxError();
      ++m_LoopDepth;
      statement->body.push_back(ParseStatement(false));
      --m_LoopDepth;
    } else if (word == "BREAK" || word == "CONTINUE") {
      Next();
      if (m_LoopDepth == 0) {
        Message message = MakeMessage(word == "BREAK" ? 135 : 136);
        message.line = line;
        throw SqlError(message);
      }
      statement =
          MakeStatement(word == "BREAK" ? StatementKind::Break : StatementKind::Continue, line);
    } else if (word == "RAISERROR") {
      statement = ParseRaiserror();
    } else if (word == "BEGIN") {
      statement = ParseBegin();
    } else if (word == "COMMIT") {
      statement = ParseTransactionEnd(StatementKind::CommitTransaction);
    } else if (word == "ROLLBACK") {
      statement = ParseTransactionEnd(StatementKind::RollbackTransaction);
    } else if (word == "EXEC" || word == "EXECUTE") {
      statement = ParseExecute(true);
    } else if (word == "RETURN") {
      Next();
      statement = MakeStatement(StatementKind::Return, line);
      // RETURN takes an expression only when one obviously follows.
      const Token& next = Peek();
      if (next.kind == TokenKind::Integer || next.kind == TokenKind::Variable ||
          (next.kind == TokenKind::Operator && (next.text == "(" || next.text == "-"))) {
        statement->expression = ParseExpression();
      }
    } else if (word == "ALTER" && IsKeyword("DATABASE", 1)) {
      Next();
      Next();
      statement = MakeStatement(StatementKind::AlterDatabase, line);
      statement->name = ExpectIdentifier();
      if (!AcceptKeyword("SET")) RaiseUnsupported("ALTER DATABASE other than SET AUTO_SHRINK");
      if (!AcceptWord("AUTO_SHRINK")) RaiseUnsupported("ALTER DATABASE SET other than AUTO_SHRINK");
      if (AcceptKeyword("ON")) {
        statement->optionValue = "AUTO_SHRINK ON";
      } else if (AcceptKeyword("OFF")) {
        statement->optionValue = "AUTO_SHRINK OFF";
      } else {
        SyntaxError();
      }
      if (IsOperator(",") || IsKeyword("WITH"))
        RaiseUnsupported("ALTER DATABASE with several options or a termination clause");
    } else if (word == "ALTER" && IsKeyword("TABLE", 1)) {
      Next();
      statement = ParseAlterTable(line);
    } else if (word == "ALTER" && (IsKeyword("PROCEDURE", 1) || IsKeyword("PROC", 1))) {
      if (!firstInBatch) {
        Message message = MakeMessage(111, {"ALTER PROCEDURE"});
        message.line = line;
        throw SqlError(message);
      }
      statement = ParseCreateProcedure(Next().offset, line, true);
    } else if (word == "BACKUP" && IsWord("LOG", 1)) {
      Next();
      Next();
      statement = MakeStatement(StatementKind::BackupLog, line);
      statement->name = ExpectIdentifier();
      if (!AcceptKeyword("WITH")) RaiseUnsupported("BACKUP LOG to a device");
      if (AcceptWord("TRUNCATE_ONLY")) {
        statement->optionValue = "TRUNCATE_ONLY";
      } else if (AcceptWord("NO_LOG")) {
        statement->optionValue = "NO_LOG";
      } else {
        RaiseUnsupported("BACKUP LOG options other than TRUNCATE_ONLY and NO_LOG");
      }
    } else if (word == "DBCC" && IsWord("SHRINKFILE", 1)) {
      Next();
      Next();
      statement = MakeStatement(StatementKind::Dbcc, line);
      statement->name = "SHRINKFILE";
      ExpectOperator("(");
      do {
        const Token& argument = Peek();
        if (argument.kind != TokenKind::Identifier && argument.kind != TokenKind::String &&
            argument.kind != TokenKind::NString && argument.kind != TokenKind::Integer)
          SyntaxError();
        statement->columns.push_back(Next().text);
      } while (statement->columns.size() < 3 && AcceptOperator(","));
      ExpectOperator(")");
      if (statement->columns.size() > 2)
        RaiseUnsupported("DBCC SHRINKFILE with EMPTYFILE, NOTRUNCATE or TRUNCATEONLY");
      if (AcceptKeyword("WITH")) {
        if (!AcceptWord("NO_INFOMSGS")) SyntaxError();
        statement->optionValue = "NO_INFOMSGS";
      }
    } else if (word == "GRANT" || word == "REVOKE" || word == "DENY") {
      statement = ParsePermission(line);
    } else if (word == "KILL") {
      Next();
      statement = MakeStatement(StatementKind::Kill, line);
      // KILL takes a spid literal only; KILL 'unit of work' is for DTC.
      if (Peek().kind == TokenKind::String) RaiseUnsupported("KILL of a unit of work");
      if (Peek().kind != TokenKind::Integer) SyntaxError();
      statement->expression = ParseExpression();
    } else if (std::find(std::begin(kUnsupportedStarts), std::end(kUnsupportedStarts), word) !=
               std::end(kUnsupportedStarts)) {
      RaiseUnsupported("the " + word + " statement");
    } else {
      SyntaxError();
    }
  } else if (start.kind == TokenKind::Identifier && !start.delimited &&
             IsUnsupportedWord(Upper(start.text))) {
    RaiseUnsupported("the " + Upper(start.text) + " statement");
  } else if (start.kind == TokenKind::Identifier && firstInBatch) {
    // A procedure name alone as the first statement of a batch runs it.
    statement = ParseExecute(false);
  } else {
    SyntaxError();
  }
  const Token& last = m_Position > 0 ? m_Tokens[m_Position - 1] : start;
  if (statement->text.empty() && last.offset + last.length >= startOffset) {
    statement->text =
        std::string(m_Sql.substr(startOffset, last.offset + last.length - startOffset));
  }
  return statement;
}

bool Parser::ParseCollation() {
  const std::string name = ExpectIdentifier();
  const std::string upper = Upper(name);
  if (upper == "SQL_LATIN1_GENERAL_CP1_CI_AS" || upper == "LATIN1_GENERAL_CI_AS" ||
      upper == "DATABASE_DEFAULT")
    return false;
  if (upper == "SQL_LATIN1_GENERAL_CP1_CS_AS" || upper == "LATIN1_GENERAL_CS_AS") return true;
  RaiseUnsupported("the collation " + name +
                   " (only the Latin1 collations SQL_Latin1_General_CP1_CI_AS, "
                   "Latin1_General_CI_AS and their _CS_AS forms)");
}

StatementPtr Parser::ParseInsert() {
  auto statement = MakeStatement(StatementKind::Insert, Next().line);
  if (IsKeyword("BULK")) RaiseUnsupported("INSERT BULK (bulk load)");
  AcceptKeyword("INTO");
  statement->table = ParseObjectName();
  SkipTableHints();
  if (IsOperator("(")) {
    Next();
    statement->columns = ParseNameList();
    ExpectOperator(")");
  }
  if (AcceptKeyword("VALUES")) {
    // One row only: a list of rows is later syntax, a syntax error in 2000.
    ExpectOperator("(");
    std::vector<ExprPtr> row;
    do {
      if (AcceptKeyword("DEFAULT")) {
        row.push_back(nullptr);  // DEFAULT in VALUES
      } else {
        row.push_back(ParseExpression());
      }
    } while (AcceptOperator(","));
    ExpectOperator(")");
    statement->values.push_back(std::move(row));
  } else if (IsKeyword("SELECT")) {
    statement->select = ParseSelect();
  } else if (IsOperator("(") && IsKeyword("SELECT", 1)) {
    Next();
    statement->select = ParseSelect();
    ExpectOperator(")");
  } else if (IsKeyword("DEFAULT") && IsKeyword("VALUES", 1)) {
    Next();
    Next();
    statement->defaultValues = true;
  } else if (IsKeyword("EXEC") || IsKeyword("EXECUTE")) {
    RaiseUnsupported("INSERT … EXECUTE");
  } else {
    SyntaxError();
  }
  return statement;
}

std::vector<std::string> Parser::ParseNameList() {
  std::vector<std::string> names;
  do {
    names.push_back(ExpectIdentifier());
  } while (AcceptOperator(","));
  return names;
}

StatementPtr Parser::ParseUpdate() {
  auto statement = MakeStatement(StatementKind::Update, Next().line);
  if (IsWord("STATISTICS")) RaiseUnsupported("UPDATE STATISTICS");
  if (AcceptKeyword("TOP")) {
    ExpectOperator("(");
    statement->top = ParseExpression();
    ExpectOperator(")");
  }
  statement->table = ParseObjectName();
  SkipTableHints();
  ExpectKeyword("SET");
  do {
    Assignment assignment;
    if (Peek().kind == TokenKind::Variable) RaiseUnsupported("variable assignment in UPDATE");
    std::vector<std::string> parts{ExpectIdentifier()};
    while (AcceptOperator(".")) parts.push_back(ExpectIdentifier());
    assignment.column = parts.back();
    ExpectOperator("=");
    if (AcceptKeyword("DEFAULT")) {
      RaiseUnsupported("SET column = DEFAULT");
    }
    assignment.value = ParseExpression();
    statement->assignments.push_back(std::move(assignment));
  } while (AcceptOperator(","));
  if (AcceptKeyword("FROM")) statement->from = ParseFromList();
  if (AcceptKeyword("WHERE")) {
    if (IsKeyword("CURRENT")) RaiseUnsupported("cursors");
    statement->where = ParseExpression();
  }
  return statement;
}

StatementPtr Parser::ParseDelete() {
  auto statement = MakeStatement(StatementKind::Delete, Next().line);
  if (AcceptKeyword("TOP")) {
    ExpectOperator("(");
    statement->top = ParseExpression();
    ExpectOperator(")");
  }
  AcceptKeyword("FROM");
  statement->table = ParseObjectName();
  SkipTableHints();
  if (AcceptKeyword("FROM")) statement->from = ParseFromList();
  if (AcceptKeyword("WHERE")) {
    if (IsKeyword("CURRENT")) RaiseUnsupported("cursors");
    statement->where = ParseExpression();
  }
  return statement;
}

StatementPtr Parser::ParseCreate(bool firstInBatch) {
  const Token& create = Next();
  const int line = create.line;
  if (IsKeyword("TABLE")) return ParseCreateTable();
  if (AcceptKeyword("DATABASE")) {
    auto statement = MakeStatement(StatementKind::CreateDatabase, line);
    statement->name = ExpectIdentifier();
    if (AcceptKeyword("ON")) {
      AcceptKeyword("PRIMARY");
      statement->dataFiles = ParseDatabaseFiles();
    }
    if (AcceptWord("LOG")) {
      if (!AcceptKeyword("ON")) SyntaxError();
      statement->logFiles = ParseDatabaseFiles();
    }
    if (IsKeyword("COLLATE") || IsKeyword("FOR") || IsKeyword("WITH")) {
      RaiseUnsupported("CREATE DATABASE with collation or attach options");
    }
    return statement;
  }
  if (IsKeyword("VIEW")) {
    if (!firstInBatch) {
      Message message = MakeMessage(111, {"CREATE VIEW"});
      message.line = line;
      throw SqlError(message);
    }
    return ParseCreateView(create.offset, line);
  }
  std::string what;
  if (IsKeyword("PROCEDURE") || IsKeyword("PROC")) what = "CREATE PROCEDURE";
  if (IsKeyword("TRIGGER")) what = "CREATE TRIGGER";
  if (IsKeyword("FUNCTION")) what = "CREATE FUNCTION";
  if (IsKeyword("DEFAULT")) what = "CREATE DEFAULT";
  if (IsKeyword("RULE")) what = "CREATE RULE";
  if (!what.empty()) {
    // These take the rest of the batch and must start it (error 111).
    if (!firstInBatch) {
      Message message = MakeMessage(111, {what});
      message.line = line;
      throw SqlError(message);
    }
    if (what == "CREATE PROCEDURE") return ParseCreateProcedure(create.offset, line, false);
    auto statement = MakeStatement(StatementKind::Unsupported, line);
    statement->name = what;
    statement->text = std::string(m_Sql.substr(create.offset));
    while (!AtEnd()) Next();
    return statement;
  }
  if (IsKeyword("UNIQUE") || IsKeyword("CLUSTERED") || IsKeyword("NONCLUSTERED") ||
      IsKeyword("INDEX")) {
    return ParseCreateIndex(line);
  }
  if (IsWord("SCHEMA") || IsWord("LOGIN") || IsWord("USER") || IsWord("ROLE") ||
      IsKeyword("USER") || IsWord("STATISTICS")) {
    RaiseUnsupported("CREATE " + Upper(Peek().text));
  }
  SyntaxError();
}

StatementPtr Parser::ParseCreateTable() {
  auto statement = MakeStatement(StatementKind::CreateTable, Next().line);
  statement->table = ParseObjectName();
  ExpectOperator("(");
  do {
    if (IsOperator(")")) break;
    if (AcceptKeyword("CONSTRAINT")) {
      std::string name = ExpectIdentifier();
      ParseTableConstraint(*statement, std::move(name));
    } else if (IsKeyword("PRIMARY") || IsKeyword("UNIQUE") || IsKeyword("CHECK") ||
               IsKeyword("FOREIGN")) {
      ParseTableConstraint(*statement, {});
    } else {
      ParseColumnDefinition(*statement);
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
  return statement;
}

void Parser::ParseTableConstraint(Statement& statement, std::string name) {
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
  statement.constraints.push_back(std::move(constraint));
}

void Parser::ParseColumnDefinition(Statement& statement) {
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
      statement.constraints.push_back(std::move(constraint));
      continue;
    }
    if (IsKeyword("CHECK")) RaiseUnsupported("CHECK constraints");
    if (IsKeyword("REFERENCES") || IsKeyword("FOREIGN"))
      RaiseUnsupported("FOREIGN KEY constraints");
    if (!constraintName.empty()) SyntaxError();
    break;
  }
  statement.columnDefinitions.push_back(std::move(column));
}

StatementPtr Parser::ParseDrop() {
  const int line = Next().line;
  if (AcceptKeyword("TABLE")) {
    auto statement = MakeStatement(StatementKind::DropTable, line);
    statement->table = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP TABLE with several tables");
    return statement;
  }
  if (AcceptKeyword("DATABASE")) {
    auto statement = MakeStatement(StatementKind::DropDatabase, line);
    statement->name = ExpectIdentifier();
    if (IsOperator(",")) RaiseUnsupported("DROP DATABASE with several databases");
    return statement;
  }
  if (AcceptKeyword("PROCEDURE") || AcceptKeyword("PROC")) {
    auto statement = MakeStatement(StatementKind::DropProcedure, line);
    statement->table = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP PROCEDURE with several procedures");
    return statement;
  }
  if (AcceptKeyword("VIEW")) {
    auto statement = MakeStatement(StatementKind::DropView, line);
    statement->table = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP VIEW with several views");
    return statement;
  }
  if (AcceptKeyword("INDEX")) return ParseDropIndex(line);
  if (IsKeyword("TRIGGER") || IsKeyword("FUNCTION") || IsKeyword("DEFAULT") || IsKeyword("RULE") ||
      IsWord("STATISTICS")) {
    RaiseUnsupported("DROP " + Upper(Peek().text));
  }
  SyntaxError();
}

StatementPtr Parser::ParseDeclare() {
  auto statement = MakeStatement(StatementKind::Declare, Next().line);
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
    statement->declarations.push_back(std::move(declaration));
  } while (AcceptOperator(","));
  return statement;
}

StatementPtr Parser::ParseSet() {
  const int line = Next().line;
  if (Peek().kind == TokenKind::Variable) {
    auto statement = MakeStatement(StatementKind::SetVariable, line);
    Assignment assignment;
    assignment.column = Next().text;
    ExpectOperator("=");
    assignment.value = ParseExpression();
    statement->assignments.push_back(std::move(assignment));
    return statement;
  }
  auto statement = MakeStatement(StatementKind::SetOption, line);
  if (AcceptKeyword("TRANSACTION")) {
    if (!AcceptWord("ISOLATION")) SyntaxError();
    if (!AcceptWord("LEVEL")) SyntaxError();
    statement->name = "TRANSACTION ISOLATION LEVEL";
    std::string level;
    while (Peek().kind == TokenKind::Identifier || IsKeyword("READ")) {
      if (!level.empty()) level += ' ';
      level += Upper(Next().text);
    }
    if (level != "READ COMMITTED" && level != "READ UNCOMMITTED" && level != "REPEATABLE READ" &&
        level != "SERIALIZABLE") {
      SyntaxError();
    }
    statement->optionValue = level;
    return statement;
  }
  if (AcceptKeyword("IDENTITY_INSERT")) {
    statement->name = "IDENTITY_INSERT";
    statement->table = ParseObjectName();
  } else if (IsKeyword("ROWCOUNT") || IsKeyword("OFFSETS") ||
             Peek().kind == TokenKind::Identifier) {
    statement->name = Upper(Next().text);
    // SET ANSI_NULLS, QUOTED_IDENTIFIER ON: several options share one value.
    while (AcceptOperator(",")) {
      if (Peek().kind != TokenKind::Identifier) SyntaxError();
      statement->name += "," + Upper(Next().text);
    }
  } else {
    SyntaxError();
  }
  const Token& value = Peek();
  if (value.kind == TokenKind::Operator && value.text == "-" &&
      Peek(1).kind == TokenKind::Integer) {
    Next();
    statement->optionValue = "-" + Next().text;  // SET LOCK_TIMEOUT -1
  } else if (value.kind == TokenKind::Keyword && (value.text == "ON" || value.text == "OFF")) {
    statement->optionValue = Next().text;
  } else if (value.kind == TokenKind::Identifier || value.kind == TokenKind::Integer ||
             value.kind == TokenKind::String || value.kind == TokenKind::Variable) {
    statement->optionValue = Next().text;
  } else {
    SyntaxError();
  }
  return statement;
}

StatementPtr Parser::ParseBegin() {
  const int line = Next().line;
  if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION")) {
    auto statement = MakeStatement(StatementKind::BeginTransaction, line);
    if (Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::Variable) {
      statement->name = Next().text;
    }
    if (IsKeyword("WITH")) RaiseUnsupported("BEGIN TRANSACTION WITH MARK");
    return statement;
  }
  if (IsKeyword("DISTRIBUTED")) RaiseUnsupported("distributed transactions");
  auto statement = MakeStatement(StatementKind::Block, line);
  while (true) {
    while (AcceptOperator(";")) {
    }
    if (AcceptKeyword("END")) break;
    if (AtEnd()) SyntaxError();
    statement->body.push_back(ParseStatement(false));
  }
  return statement;
}

StatementPtr Parser::ParseTransactionEnd(StatementKind kind) {
  auto statement = MakeStatement(kind, Next().line);
  if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION") || AcceptWord("WORK")) {
    if (Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::Variable) {
      statement->name = Next().text;
    }
  }
  return statement;
}

StatementPtr Parser::ParseExecute(bool keyword) {
  const int line = Peek().line;
  if (keyword) Next();
  auto statement = MakeStatement(StatementKind::Execute, line);
  if (IsOperator("(")) RaiseUnsupported("EXECUTE of a character string");
  if (Peek().kind == TokenKind::Variable && IsOperator("=", 1)) {
    RaiseUnsupported("EXECUTE @status = procedure");
  }
  ObjectName procedure = ParseObjectName();
  statement->name = procedure.written;
  statement->table = procedure;
  if (!AtEnd() && !IsOperator(";")) {
    const Token& next = Peek();
    const bool argumentStart = next.kind == TokenKind::Variable || next.kind == TokenKind::String ||
                               next.kind == TokenKind::NString || next.kind == TokenKind::Integer ||
                               next.kind == TokenKind::DecimalNumber ||
                               next.kind == TokenKind::FloatNumber ||
                               next.kind == TokenKind::Money || next.kind == TokenKind::Binary ||
                               IsKeyword("NULL") || IsKeyword("DEFAULT") || IsOperator("-") ||
                               (next.kind == TokenKind::Identifier && !next.delimited);
    if (argumentStart &&
        !(next.kind == TokenKind::Identifier && IsReservedWord(Upper(next.text)))) {
      do {
        std::string name;
        if (Peek().kind == TokenKind::Variable && IsOperator("=", 1)) {
          name = Next().text;
          Next();
        }
        ExprPtr value;
        if (AcceptKeyword("DEFAULT")) {
          value = nullptr;
        } else if (Peek().kind == TokenKind::Identifier && !IsOperator("(", 1)) {
          // Procedure arguments may be bare words: EXEC sp_helpdb master.
          auto word = std::make_unique<Expr>();
          word->kind = ExprKind::String;
          word->line = Peek().line;
          word->text = Next().text;
          value = std::move(word);
        } else {
          value = ParseExpression();
        }
        const bool output = AcceptWord("OUTPUT") || AcceptWord("OUT");
        if (output && (!value || value->kind != ExprKind::Variable)) SyntaxError();
        statement->outputArguments.push_back(output);
        statement->arguments.emplace_back(std::move(name), std::move(value));
      } while (AcceptOperator(","));
    }
  }
  return statement;
}

StatementPtr Parser::ParseRaiserror() {
  auto statement = MakeStatement(StatementKind::Raiserror, Next().line);
  if (!AcceptOperator("(")) RaiseUnsupported("the old RAISERROR number 'text' form");
  do {
    statement->arguments.emplace_back("", ParseExpression());
  } while (AcceptOperator(","));
  ExpectOperator(")");
  if (statement->arguments.size() < 3) SyntaxError();
  if (AcceptKeyword("WITH")) {
    do {
      if (!AcceptWord("NOWAIT") && !AcceptWord("LOG") && !AcceptWord("SETERROR")) SyntaxError();
    } while (AcceptOperator(","));
  }
  return statement;
}

StatementPtr Parser::ParseIf() {
  auto statement = MakeStatement(StatementKind::If, Next().line);
  statement->condition = ParseExpression();
  while (AcceptOperator(";")) {
  }
  if (AtEnd()) SyntaxError();
  statement->body.push_back(ParseStatement(false));
  while (IsOperator(";") && IsKeyword("ELSE", 1)) Next();
  if (AcceptKeyword("ELSE")) {
    if (AtEnd()) SyntaxError();
    statement->body.push_back(ParseStatement(false));
  }
  return statement;
}

}  // namespace standin::engine
