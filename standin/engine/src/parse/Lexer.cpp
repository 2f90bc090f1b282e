// The T-SQL tokenizer.
#include "parse/Lexer.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/Text.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace {

// SQL Server 2000's reserved words (the subset the grammar can meet; any other
// word is an identifier, as in SQL Server).
constexpr std::array<std::string_view, 152> kReserved = {"ADD",
                                                         "ALL",
                                                         "ALTER",
                                                         "AND",
                                                         "ANY",
                                                         "AS",
                                                         "ASC",
                                                         "AUTHORIZATION",
                                                         "BACKUP",
                                                         "BEGIN",
                                                         "BETWEEN",
                                                         "BREAK",
                                                         "BROWSE",
                                                         "BULK",
                                                         "BY",
                                                         "CASCADE",
                                                         "CASE",
                                                         "CHECK",
                                                         "CHECKPOINT",
                                                         "CLOSE",
                                                         "CLUSTERED",
                                                         "COALESCE",
                                                         "COLLATE",
                                                         "COLUMN",
                                                         "COMMIT",
                                                         "COMPUTE",
                                                         "CONSTRAINT",
                                                         "CONTAINS",
                                                         "CONTAINSTABLE",
                                                         "CONTINUE",
                                                         "CONVERT",
                                                         "CREATE",
                                                         "CROSS",
                                                         "CURRENT",
                                                         "CURRENT_DATE",
                                                         "CURRENT_TIME",
                                                         "CURRENT_TIMESTAMP",
                                                         "CURRENT_USER",
                                                         "CURSOR",
                                                         "DATABASE",
                                                         "DBCC",
                                                         "DEALLOCATE",
                                                         "DECLARE",
                                                         "DEFAULT",
                                                         "DELETE",
                                                         "DENY",
                                                         "DESC",
                                                         "DISK",
                                                         "DISTINCT",
                                                         "DISTRIBUTED",
                                                         "DOUBLE",
                                                         "DROP",
                                                         "DUMP",
                                                         "ELSE",
                                                         "END",
                                                         "ERRLVL",
                                                         "ESCAPE",
                                                         "EXCEPT",
                                                         "EXEC",
                                                         "EXECUTE",
                                                         "EXISTS",
                                                         "EXIT",
                                                         "FETCH",
                                                         "FILE",
                                                         "FILLFACTOR",
                                                         "FOR",
                                                         "FOREIGN",
                                                         "FREETEXT",
                                                         "FREETEXTTABLE",
                                                         "FROM",
                                                         "FULL",
                                                         "FUNCTION",
                                                         "GOTO",
                                                         "GRANT",
                                                         "GROUP",
                                                         "HAVING",
                                                         "HOLDLOCK",
                                                         "IDENTITY",
                                                         "IDENTITYCOL",
                                                         "IDENTITY_INSERT",
                                                         "IF",
                                                         "IN",
                                                         "INDEX",
                                                         "INNER",
                                                         "INSERT",
                                                         "INTERSECT",
                                                         "INTO",
                                                         "IS",
                                                         "JOIN",
                                                         "KEY",
                                                         "KILL",
                                                         "LEFT",
                                                         "LIKE",
                                                         "LINENO",
                                                         "LOAD",
                                                         "NATIONAL",
                                                         "NOCHECK",
                                                         "NONCLUSTERED",
                                                         "NOT",
                                                         "NULL",
                                                         "NULLIF",
                                                         "OF",
                                                         "OFF",
                                                         "OFFSETS",
                                                         "ON",
                                                         "OPEN",
                                                         "OPTION",
                                                         "OR",
                                                         "ORDER",
                                                         "OUTER",
                                                         "OVER",
                                                         "PERCENT",
                                                         "PRIMARY",
                                                         "PRINT",
                                                         "PROC",
                                                         "PROCEDURE",
                                                         "PUBLIC",
                                                         "RAISERROR",
                                                         "REFERENCES",
                                                         "RESTORE",
                                                         "RETURN",
                                                         "REVOKE",
                                                         "RIGHT",
                                                         "ROLLBACK",
                                                         "ROWCOUNT",
                                                         "RULE",
                                                         "SAVE",
                                                         "SELECT",
                                                         "SESSION_USER",
                                                         "SET",
                                                         "SHUTDOWN",
                                                         "SOME",
                                                         "SYSTEM_USER",
                                                         "TABLE",
                                                         "THEN",
                                                         "TO",
                                                         "TOP",
                                                         "TRAN",
                                                         "TRANSACTION",
                                                         "TRIGGER",
                                                         "TRUNCATE",
                                                         "UNION",
                                                         "UNIQUE",
                                                         "UPDATE",
                                                         "USE",
                                                         "USER",
                                                         "VALUES",
                                                         "VIEW",
                                                         "WHEN",
                                                         "WHERE",
                                                         "WHILE",
                                                         "WITH"};

constexpr bool ReservedSorted() {
  for (std::size_t i = 1; i < kReserved.size(); ++i) {
    if (!(kReserved[i - 1] < kReserved[i])) return false;
  }
  return true;
}
static_assert(ReservedSorted(), "keep the reserved words sorted");

bool IsIdentifierStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool IsIdentifierPart(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80;
}

// The first characters of an unclosed literal, for error 105's message.
std::string Excerpt(std::string_view text) {
  return std::string(text.substr(0, 128));
}

// Names are sysname, nvarchar(128): SQL Server refuses a longer identifier
// or variable name while reading the batch (103), whatever statement holds it.
// Counted in UTF-16 units, as the server stores them.
void CheckIdentifierLength(std::string_view name) {
  constexpr std::size_t kMaxIdentifierLength = 128;
  std::size_t units = 0;
  std::size_t cut = name.size();
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if ((byte & 0xC0) == 0x80) continue;
    if (units == kMaxIdentifierLength) cut = i;
    units += byte >= 0xF0 ? 2 : 1;
  }
  if (units > kMaxIdentifierLength)
    RaiseError(103, {"identifier", name.substr(0, cut), std::to_string(kMaxIdentifierLength)});
}

}  // namespace

bool IsReservedWord(std::string_view upperCaseWord) {
  return std::binary_search(kReserved.begin(), kReserved.end(), upperCaseWord);
}

std::vector<std::string_view> ReservedWords() {
  return {kReserved.begin(), kReserved.end()};
}

std::vector<Token> Tokenize(std::string_view batch, bool quotedIdentifier) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  int line = 1;
  const std::size_t n = batch.size();
  auto countLines = [&](std::size_t from, std::size_t to) {
    line += static_cast<int>(std::count(batch.begin() + from, batch.begin() + to, '\n'));
  };
  // Reads a quoted string or delimited identifier from `j` to its closing
  // character (doubled inside: one of it); returns the index after it. 105
  // when the batch ends first.
  auto readDelimited = [&](std::size_t j, char close, std::string& value) {
    while (j < n) {
      if (batch[j] != close) {
        value += batch[j++];
      } else if (j + 1 < n && batch[j + 1] == close) {
        value += close;
        j += 2;
      } else {
        return j + 1;
      }
    }
    RaiseError(105, {Excerpt(value)});
  };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(batch[i]);
    if (c == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    if (c == '-' && i + 1 < n && batch[i + 1] == '-') {
      while (i < n && batch[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && batch[i + 1] == '*') {
      // SQL Server nests block comments.
      int depth = 0;
      std::size_t j = i;
      while (j < n) {
        if (batch[j] == '/' && j + 1 < n && batch[j + 1] == '*') {
          ++depth;
          j += 2;
        } else if (batch[j] == '*' && j + 1 < n && batch[j + 1] == '/') {
          j += 2;
          if (--depth == 0) break;
        } else {
          ++j;
        }
      }
      if (depth != 0) RaiseError(113);
      countLines(i, j);
      i = j;
      continue;
    }
    Token token;
    token.line = line;
    token.offset = i;
    const bool national = (c == 'N' || c == 'n') && i + 1 < n && batch[i + 1] == '\'';
    const char quote = (c == '"' && !quotedIdentifier) ? '"' : '\'';
    if (c == '\'' || national || quote == '"') {
      std::string value;
      const std::size_t j = readDelimited(i + (national ? 2 : 1), quote, value);
      token.kind = national ? TokenKind::NString : TokenKind::String;
      token.text = std::move(value);
      countLines(i, j);
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      std::string value;
      const std::size_t j = readDelimited(i + 1, close, value);
      CheckIdentifierLength(value);
      token.kind = TokenKind::Identifier;
      token.delimited = true;
      token.text = std::move(value);
      countLines(i, j);
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    if (c == '0' && i + 1 < n && (batch[i + 1] == 'x' || batch[i + 1] == 'X')) {
      std::size_t j = i + 2;
      while (j < n && std::isxdigit(static_cast<unsigned char>(batch[j]))) ++j;
      token.kind = TokenKind::Binary;
      token.text = std::string(batch.substr(i + 2, j - i - 2));
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    // A money constant: the currency sign, then a number without exponent.
    const bool money = c == '$' && i + 1 < n &&
                       (std::isdigit(static_cast<unsigned char>(batch[i + 1])) ||
                        (batch[i + 1] == '.' && i + 2 < n &&
                         std::isdigit(static_cast<unsigned char>(batch[i + 2]))));
    if (money) {
      std::size_t j = i + 1;
      while (j < n && std::isdigit(static_cast<unsigned char>(batch[j]))) ++j;
      if (j < n && batch[j] == '.') {
        ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(batch[j]))) ++j;
      }
      token.kind = TokenKind::Money;
      token.text = std::string(batch.substr(i + 1, j - i - 1));
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    if (std::isdigit(c) ||
        (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(batch[i + 1])))) {
      std::size_t j = i;
      token.kind = TokenKind::Integer;
      while (j < n && std::isdigit(static_cast<unsigned char>(batch[j]))) ++j;
      if (j < n && batch[j] == '.') {
        token.kind = TokenKind::DecimalNumber;
        ++j;
        while (j < n && std::isdigit(static_cast<unsigned char>(batch[j]))) ++j;
      }
      if (j < n && (batch[j] == 'e' || batch[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < n && (batch[k] == '+' || batch[k] == '-')) ++k;
        if (k < n && std::isdigit(static_cast<unsigned char>(batch[k]))) {
          token.kind = TokenKind::FloatNumber;
          j = k;
          while (j < n && std::isdigit(static_cast<unsigned char>(batch[j]))) ++j;
        }
      }
      token.text = std::string(batch.substr(i, j - i));
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    if (c == '@') {
      std::size_t j = i + 1;
      const bool system = j < n && batch[j] == '@';
      if (system) ++j;
      while (j < n && IsIdentifierPart(static_cast<unsigned char>(batch[j]))) ++j;
      token.kind = system ? TokenKind::SystemVariable : TokenKind::Variable;
      token.text = std::string(batch.substr(i, j - i));
      CheckIdentifierLength(token.text);
      if (system) token.text = Upper(token.text);
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    if (IsIdentifierStart(c)) {
      std::size_t j = i + 1;
      while (j < n && IsIdentifierPart(static_cast<unsigned char>(batch[j]))) ++j;
      token.text = std::string(batch.substr(i, j - i));
      CheckIdentifierLength(token.text);
      std::string upper = Upper(token.text);
      if (IsReservedWord(upper)) {
        token.kind = TokenKind::Keyword;
        token.text = std::move(upper);
      } else {
        token.kind = TokenKind::Identifier;
      }
      token.length = j - i;
      i = j;
      tokens.push_back(std::move(token));
      continue;
    }
    static constexpr std::string_view kTwoCharacter[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
    token.kind = TokenKind::Operator;
    token.length = 1;
    if (i + 1 < n) {
      for (std::string_view op : kTwoCharacter) {
        if (batch.substr(i, 2) == op) token.length = 2;
      }
    }
    token.text = std::string(batch.substr(i, token.length));
    static constexpr std::string_view kSingle = "(),.;+-*/%=<>&|^~";
    if (token.length == 1 && kSingle.find(batch[i]) == std::string_view::npos) {
      // An unknown character is a syntax error at that character.
      RaiseError(102, {token.text});
    }
    i += token.length;
    tokens.push_back(std::move(token));
  }
  Token end;
  end.kind = TokenKind::End;
  end.line = line;
  end.offset = n;
  tokens.push_back(end);
  return tokens;
}

}  // namespace standin::engine
