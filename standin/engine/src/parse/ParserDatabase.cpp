// The file list of CREATE DATABASE; ALTER DATABASE, BACKUP LOG and DBCC SHRINKFILE.
#include <cctype>

#include "common/Text.h"
#include "engine/Errors.h"
#include "parse/Parser.h"

namespace standin::engine {
std::vector<DatabaseFileClause> Parser::ParseDatabaseFiles() {
  std::vector<DatabaseFileClause> files;
  do {
    if (!AcceptOperator("(")) SyntaxError();
    DatabaseFileClause file;
    do {
      const std::string option = Upper(Peek().text);
      if (Peek().kind != TokenKind::Identifier ||
          (option != "NAME" && option != "FILENAME" && option != "SIZE" && option != "MAXSIZE" &&
           option != "FILEGROWTH"))
        SyntaxError();
      Next();
      if (!AcceptOperator("=")) SyntaxError();
      const Token& value = Peek();
      if (option == "NAME") {
        if (value.kind != TokenKind::Identifier && value.kind != TokenKind::String &&
            value.kind != TokenKind::NString)
          SyntaxError();
        file.logicalName = Next().text;
      } else if (option == "FILENAME") {
        if (value.kind != TokenKind::String && value.kind != TokenKind::NString) SyntaxError();
        file.fileName = Next().text;
      } else {
        // Sizes are whatever the files grow to; SQLite allocates as it goes.
        if (AcceptWord("UNLIMITED")) continue;
        if (value.kind != TokenKind::Integer && value.kind != TokenKind::DecimalNumber)
          SyntaxError();
        Next();
        if (!AcceptOperator("%") && !AcceptWord("KB") && !AcceptWord("MB") && !AcceptWord("GB"))
          AcceptWord("TB");
      }
    } while (AcceptOperator(","));
    if (!AcceptOperator(")")) SyntaxError();
    if (file.fileName.empty()) SyntaxError();
    if (file.logicalName.empty()) RaiseUnsupported("a database file without a NAME");
    files.push_back(std::move(file));
  } while (AcceptOperator(",") && IsOperator("("));
  if (files.size() > 1) RaiseUnsupported("CREATE DATABASE with several data or log files");
  return files;
}

StatementPtr Parser::ParseAlterDatabase(int line) {
  Next();
  Next();
  AlterDatabaseStatement statement;
  statement.line = line;
  statement.database = ExpectIdentifier();
  if (!AcceptKeyword("SET")) RaiseUnsupported("ALTER DATABASE other than SET AUTO_SHRINK");
  if (!AcceptWord("AUTO_SHRINK")) RaiseUnsupported("ALTER DATABASE SET other than AUTO_SHRINK");
  if (AcceptKeyword("ON")) {
    statement.autoShrink = true;
  } else if (AcceptKeyword("OFF")) {
    statement.autoShrink = false;
  } else {
    SyntaxError();
  }
  if (IsOperator(",") || IsKeyword("WITH"))
    RaiseUnsupported("ALTER DATABASE with several options or a termination clause");
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseBackupLog(int line) {
  Next();
  Next();
  BackupLogStatement statement;
  statement.line = line;
  statement.database = ExpectIdentifier();
  if (!AcceptKeyword("WITH")) RaiseUnsupported("BACKUP LOG to a device");
  if (AcceptWord("TRUNCATE_ONLY")) {
    statement.option = "TRUNCATE_ONLY";
  } else if (AcceptWord("NO_LOG")) {
    statement.option = "NO_LOG";
  } else {
    RaiseUnsupported("BACKUP LOG options other than TRUNCATE_ONLY and NO_LOG");
  }
  return Wrap(std::move(statement));
}

StatementPtr Parser::ParseShrinkFile(int line) {
  Next();
  Next();
  ShrinkFileStatement statement;
  statement.line = line;
  ExpectOperator("(");
  do {
    const Token& argument = Peek();
    if (argument.kind != TokenKind::Identifier && argument.kind != TokenKind::String &&
        argument.kind != TokenKind::NString && argument.kind != TokenKind::Integer)
      SyntaxError();
    statement.arguments.push_back(Next().text);
  } while (statement.arguments.size() < 3 && AcceptOperator(","));
  ExpectOperator(")");
  if (statement.arguments.size() > 2)
    RaiseUnsupported("DBCC SHRINKFILE with EMPTYFILE, NOTRUNCATE or TRUNCATEONLY");
  if (AcceptKeyword("WITH")) {
    if (!AcceptWord("NO_INFOMSGS")) SyntaxError();
    statement.noInfoMessages = true;
  }
  return Wrap(std::move(statement));
}

}  // namespace standin::engine
