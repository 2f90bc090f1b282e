// Statements and the batch.
#include "parse/Parser.h"

#include <algorithm>
#include <cctype>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"

namespace standin::engine {

namespace {

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
      SelectStatement select;
      select.line = line;
      select.select = ParseSelect();
      statement = Wrap(std::move(select));
    } else if (word == "INSERT") {
      statement = ParseInsert();
    } else if (word == "UPDATE") {
      statement = ParseUpdate();
    } else if (word == "DELETE") {
      statement = ParseDelete();
    } else if (word == "TRUNCATE") {
      statement = ParseTruncate(line);
    } else if (word == "CREATE") {
      statement = ParseCreate(firstInBatch);
    } else if (word == "DROP") {
      statement = ParseDrop();
    } else if (word == "USE") {
      Next();
      UseStatement use;
      use.line = line;
      use.database = ExpectIdentifier();
      statement = Wrap(std::move(use));
    } else if (word == "DECLARE") {
      statement = ParseDeclare();
    } else if (word == "SET") {
      statement = ParseSet();
    } else if (word == "PRINT") {
      Next();
      PrintStatement print;
      print.line = line;
      print.message = ParseExpression();
      statement = Wrap(std::move(print));
    } else if (word == "IF") {
      statement = ParseIf();
    } else if (word == "WHILE") {
      statement = ParseWhile(line);
    } else if (word == "BREAK" || word == "CONTINUE") {
      statement = ParseBreakOrContinue(word == "BREAK", line);
    } else if (word == "RAISERROR") {
      statement = ParseRaiserror();
    } else if (word == "BEGIN") {
      statement = ParseBegin();
    } else if (word == "COMMIT") {
      statement = ParseTransactionEnd<CommitTransactionStatement>();
    } else if (word == "ROLLBACK") {
      statement = ParseTransactionEnd<RollbackTransactionStatement>();
    } else if (word == "EXEC" || word == "EXECUTE") {
      statement = ParseExecute(true);
    } else if (word == "RETURN") {
      statement = ParseReturn(line);
    } else if (word == "ALTER" && IsKeyword("DATABASE", 1)) {
      statement = ParseAlterDatabase(line);
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
      statement = ParseBackupLog(line);
    } else if (word == "DBCC" && IsWord("SHRINKFILE", 1)) {
      statement = ParseShrinkFile(line);
    } else if (word == "GRANT" || word == "REVOKE" || word == "DENY") {
      statement = ParsePermission(line);
    } else if (word == "KILL") {
      statement = ParseKill(line);
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
  std::string& text = statement->Base().text;
  if (text.empty() && last.offset + last.length >= startOffset) {
    text = std::string(m_Sql.substr(startOffset, last.offset + last.length - startOffset));
  }
  return statement;
}

StatementPtr Parser::ParseTruncate(int line) {
  Next();
  ExpectKeyword("TABLE");
  DeleteStatement statement;
  statement.line = line;
  statement.table = ParseObjectName();
  statement.truncate = true;
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseKill(int line) {
  Next();
  KillStatement statement;
  statement.line = line;
  // KILL takes a spid literal only; KILL 'unit of work' is for DTC.
  if (Peek().kind == TokenKind::String) RaiseUnsupported("KILL of a unit of work");
  if (Peek().kind != TokenKind::Integer) SyntaxError();
  statement.spid = ParseExpression();
  return Wrap(std::move(statement));
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
  InsertStatement statement;
  statement.line = Next().line;
  if (IsKeyword("BULK")) RaiseUnsupported("INSERT BULK (bulk load)");
  AcceptKeyword("INTO");
  statement.table = ParseObjectName();
  SkipTableHints();
  if (IsOperator("(")) {
    Next();
    statement.columns = ParseNameList();
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
    statement.values.push_back(std::move(row));
  } else if (IsKeyword("SELECT")) {
    statement.select = ParseSelect();
  } else if (IsOperator("(") && IsKeyword("SELECT", 1)) {
    Next();
    statement.select = ParseSelect();
    ExpectOperator(")");
  } else if (IsKeyword("DEFAULT") && IsKeyword("VALUES", 1)) {
    Next();
    Next();
    statement.defaultValues = true;
  } else if (IsKeyword("EXEC") || IsKeyword("EXECUTE")) {
    RaiseUnsupported("INSERT … EXECUTE");
  } else {
    SyntaxError();
  }
  return Wrap(std::move(statement));
}

std::vector<std::string> Parser::ParseNameList() {
  std::vector<std::string> names;
  do {
    names.push_back(ExpectIdentifier());
  } while (AcceptOperator(","));
  return names;
}

StatementPtr Parser::ParseUpdate() {
  UpdateStatement statement;
  statement.line = Next().line;
  if (IsWord("STATISTICS")) RaiseUnsupported("UPDATE STATISTICS");
  if (AcceptKeyword("TOP")) {
    ExpectOperator("(");
    statement.top = ParseExpression();
    ExpectOperator(")");
  }
  statement.table = ParseObjectName();
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
    statement.assignments.push_back(std::move(assignment));
  } while (AcceptOperator(","));
  if (AcceptKeyword("FROM")) statement.from = ParseFromList();
  if (AcceptKeyword("WHERE")) {
    if (IsKeyword("CURRENT")) RaiseUnsupported("cursors");
    statement.where = ParseExpression();
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseDelete() {
  DeleteStatement statement;
  statement.line = Next().line;
  if (AcceptKeyword("TOP")) {
    ExpectOperator("(");
    statement.top = ParseExpression();
    ExpectOperator(")");
  }
  AcceptKeyword("FROM");
  statement.table = ParseObjectName();
  SkipTableHints();
  if (AcceptKeyword("FROM")) statement.from = ParseFromList();
  if (AcceptKeyword("WHERE")) {
    if (IsKeyword("CURRENT")) RaiseUnsupported("cursors");
    statement.where = ParseExpression();
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseCreate(bool firstInBatch) {
  const Token& create = Next();
  const int line = create.line;
  if (IsKeyword("TABLE")) return ParseCreateTable();
  if (AcceptKeyword("DATABASE")) {
    CreateDatabaseStatement statement;
    statement.line = line;
    statement.database = ExpectIdentifier();
    if (AcceptKeyword("ON")) {
      AcceptKeyword("PRIMARY");
      statement.dataFiles = ParseDatabaseFiles();
    }
    if (AcceptWord("LOG")) {
      if (!AcceptKeyword("ON")) SyntaxError();
      statement.logFiles = ParseDatabaseFiles();
    }
    if (IsKeyword("COLLATE") || IsKeyword("FOR") || IsKeyword("WITH")) {
      RaiseUnsupported("CREATE DATABASE with collation or attach options");
    }
    return Wrap(std::move(statement));
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
    UnsupportedStatement statement;
    statement.line = line;
    statement.construct = what;
    statement.text = std::string(m_Sql.substr(create.offset));
    while (!AtEnd()) Next();
    return Wrap(std::move(statement));
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

StatementPtr Parser::ParseDrop() {
  const int line = Next().line;
  if (AcceptKeyword("TABLE")) {
    DropTableStatement statement;
    statement.line = line;
    statement.table = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP TABLE with several tables");
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("DATABASE")) {
    DropDatabaseStatement statement;
    statement.line = line;
    statement.database = ExpectIdentifier();
    if (IsOperator(",")) RaiseUnsupported("DROP DATABASE with several databases");
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("PROCEDURE") || AcceptKeyword("PROC")) {
    DropProcedureStatement statement;
    statement.line = line;
    statement.procedure = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP PROCEDURE with several procedures");
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("VIEW")) {
    DropViewStatement statement;
    statement.line = line;
    statement.view = ParseObjectName();
    if (IsOperator(",")) RaiseUnsupported("DROP VIEW with several views");
    return Wrap(std::move(statement));
  }
  if (AcceptKeyword("INDEX")) return ParseDropIndex(line);
  if (IsKeyword("TRIGGER") || IsKeyword("FUNCTION") || IsKeyword("DEFAULT") || IsKeyword("RULE") ||
      IsWord("STATISTICS")) {
    RaiseUnsupported("DROP " + Upper(Peek().text));
  }
  SyntaxError();
}

StatementPtr Parser::ParseBegin() {
  const int line = Next().line;
  if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION")) {
    BeginTransactionStatement statement;
    statement.line = line;
    if (Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::Variable) {
      statement.name = Next().text;
    }
    if (IsKeyword("WITH")) RaiseUnsupported("BEGIN TRANSACTION WITH MARK");
    return Wrap(std::move(statement));
  }
  if (IsKeyword("DISTRIBUTED")) RaiseUnsupported("distributed transactions");
  BlockStatement statement;
  statement.line = line;
  while (true) {
    while (AcceptOperator(";")) {
    }
    if (AcceptKeyword("END")) break;
    if (AtEnd()) SyntaxError();
    statement.body.push_back(ParseStatement(false));
  }
  return Wrap(std::move(statement));
}

// COMMIT or ROLLBACK [TRAN[SACTION] | WORK] [name]: T names which.
template <typename T>
StatementPtr Parser::ParseTransactionEnd() {
  T statement;
  statement.line = Next().line;
  if (AcceptKeyword("TRAN") || AcceptKeyword("TRANSACTION") || AcceptWord("WORK")) {
    if (Peek().kind == TokenKind::Identifier || Peek().kind == TokenKind::Variable) {
      statement.name = Next().text;
    }
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseExecute(bool keyword) {
  const int line = Peek().line;
  if (keyword) Next();
  ExecuteStatement statement;
  statement.line = line;
  if (IsOperator("(")) RaiseUnsupported("EXECUTE of a character string");
  if (Peek().kind == TokenKind::Variable && IsOperator("=", 1)) {
    RaiseUnsupported("EXECUTE @status = procedure");
  }
  statement.procedure = ParseObjectName();
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
        ExecuteArgument argument;
        argument.name = std::move(name);
        ExprPtr& value = argument.value;
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
        argument.output = AcceptWord("OUTPUT") || AcceptWord("OUT");
        if (argument.output && (!value || value->kind != ExprKind::Variable)) SyntaxError();
        statement.arguments.push_back(std::move(argument));
      } while (AcceptOperator(","));
    }
  }
  return Wrap(std::move(statement));
}

}  // namespace standin::engine
