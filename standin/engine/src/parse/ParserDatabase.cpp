// The file list of CREATE DATABASE.
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

}  // namespace standin::engine
