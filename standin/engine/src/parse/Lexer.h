// T-SQL tokens: identifiers (plain, [bracketed], "quoted"), keywords, 'strings'
// and N'strings', numbers, 0x binary literals, @variables and @@functions,
// operators. Comments (-- and /* */, nested as SQL Server nests them) and
// white space are skipped but line numbers are kept for error 170.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin::engine {

enum class TokenKind {
  Identifier,      // plain or delimited; text without delimiters
  Keyword,         // a reserved word; text upper-cased
  String,          // 'x'; text is the value with '' undoubled
  NString,         // N'x'
  Integer,         // 123
  DecimalNumber,   // 1.5
  FloatNumber,     // 1.5e3
  Money,           // $1.25; text without the currency sign
  Binary,          // 0xAB; text holds the hex digits only
  Variable,        // @x; text includes the @
  SystemVariable,  // @@x; text includes the @@, upper-cased
  Operator,        // ( ) , . ; + - * / % = <> != < > <= >= !< !> & | ^ ~
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;
  bool delimited = false;  // [x] or "x": never a keyword
  int line = 1;
  std::size_t offset = 0;  // byte offset of the token in the batch
  std::size_t length = 0;  // byte length in the batch
};

// Splits a batch into tokens. Throws SqlError 105 (unclosed quote) or 113
// (unclosed comment). With quotedIdentifier off (SET QUOTED_IDENTIFIER OFF),
// "x" is a string literal.
std::vector<Token> Tokenize(std::string_view batch, bool quotedIdentifier = true);

// True for SQL Server's reserved words (the ones that give error 156).
bool IsReservedWord(std::string_view upperCaseWord);
// All of them, sorted: the list the product's name quoting must cover.
std::vector<std::string_view> ReservedWords();

}  // namespace standin::engine
