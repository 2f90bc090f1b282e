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

namespace {

// One pass over a batch: each Read… takes the token that starts at m_At.
class Scanner {
 public:
  Scanner(std::string_view batch, bool quotedIdentifier)
      : m_Batch(batch), m_Size(batch.size()), m_QuotedIdentifier(quotedIdentifier) {}

  std::vector<Token> Run() {
    while (m_At < m_Size) {
      if (SkipSpaceOrComment()) continue;
      m_Tokens.push_back(ReadToken());
    }
    Token end;
    end.kind = TokenKind::End;
    end.line = m_Line;
    end.offset = m_Size;
    m_Tokens.push_back(end);
    return std::move(m_Tokens);
  }

 private:
  char At(std::size_t i) const { return m_Batch[i]; }
  bool IsDigitAt(std::size_t i) const {
    return i < m_Size && std::isdigit(static_cast<unsigned char>(m_Batch[i]));
  }
  void CountLines(std::size_t from, std::size_t to) {
    m_Line += static_cast<int>(std::count(m_Batch.begin() + from, m_Batch.begin() + to, '\n'));
  }
  // Ends `token` at `end` and moves on to it.
  Token Finish(Token& token, std::size_t end) {
    token.length = end - m_At;
    m_At = end;
    return std::move(token);
  }

  // Line breaks, blanks, -- comments and (nested) /* */ comments.
  bool SkipSpaceOrComment() {
    const auto c = static_cast<unsigned char>(At(m_At));
    if (c == '\n') {
      ++m_Line;
      ++m_At;
      return true;
    }
    if (std::isspace(c)) {
      ++m_At;
      return true;
    }
    if (c == '-' && m_At + 1 < m_Size && At(m_At + 1) == '-') {
      while (m_At < m_Size && At(m_At) != '\n') ++m_At;
      return true;
    }
    if (c == '/' && m_At + 1 < m_Size && At(m_At + 1) == '*') {
      SkipBlockComment();
      return true;
    }
    return false;
  }

  void SkipBlockComment() {
    // SQL Server nests block comments.
    int depth = 0;
    std::size_t j = m_At;
    while (j < m_Size) {
      if (At(j) == '/' && j + 1 < m_Size && At(j + 1) == '*') {
        ++depth;
        j += 2;
      } else if (At(j) == '*' && j + 1 < m_Size && At(j + 1) == '/') {
        j += 2;
        if (--depth == 0) break;
      } else {
        ++j;
      }
    }
    if (depth != 0) RaiseError(113);
    CountLines(m_At, j);
    m_At = j;
  }

  Token ReadToken() {
    const auto c = static_cast<unsigned char>(At(m_At));
    Token token;
    token.line = m_Line;
    token.offset = m_At;
    const bool national = (c == 'N' || c == 'n') && m_At + 1 < m_Size && At(m_At + 1) == '\'';
    if (c == '\'' || national || (c == '"' && !m_QuotedIdentifier))
      return ReadString(token, national);
    if (c == '[' || c == '"') return ReadDelimitedIdentifier(token);
    if (c == '0' && m_At + 1 < m_Size && (At(m_At + 1) == 'x' || At(m_At + 1) == 'X'))
      return ReadBinary(token);
    // A money constant: the currency sign, then a number without exponent.
    if (c == '$' &&
        (IsDigitAt(m_At + 1) || (m_At + 1 < m_Size && At(m_At + 1) == '.' && IsDigitAt(m_At + 2))))
      return ReadMoney(token);
    if (std::isdigit(c) || (c == '.' && IsDigitAt(m_At + 1))) return ReadNumber(token);
    if (c == '@') return ReadVariable(token);
    if (IsIdentifierStart(c)) return ReadWord(token);
    return ReadOperator(token);
  }

  // Reads a quoted string or delimited identifier from `j` to its closing
  // character (doubled inside: one of it); returns the index after it. 105
  // when the batch ends first.
  std::size_t ReadDelimited(std::size_t j, char close, std::string& value) const {
    while (j < m_Size) {
      if (At(j) != close) {
        value += At(j++);
      } else if (j + 1 < m_Size && At(j + 1) == close) {
        value += close;
        j += 2;
      } else {
        return j + 1;
      }
    }
    RaiseError(105, {Excerpt(value)});
  }

  Token ReadString(Token& token, bool national) {
    const char quote = At(m_At) == '"' ? '"' : '\'';
    std::string value;
    const std::size_t j = ReadDelimited(m_At + (national ? 2 : 1), quote, value);
    token.kind = national ? TokenKind::NString : TokenKind::String;
    token.text = std::move(value);
    CountLines(m_At, j);
    return Finish(token, j);
  }

  Token ReadDelimitedIdentifier(Token& token) {
    const char close = At(m_At) == '[' ? ']' : '"';
    std::string value;
    const std::size_t j = ReadDelimited(m_At + 1, close, value);
    CheckIdentifierLength(value);
    token.kind = TokenKind::Identifier;
    token.delimited = true;
    token.text = std::move(value);
    CountLines(m_At, j);
    return Finish(token, j);
  }

  Token ReadBinary(Token& token) {
    std::size_t j = m_At + 2;
    while (j < m_Size && std::isxdigit(static_cast<unsigned char>(At(j)))) ++j;
    token.kind = TokenKind::Binary;
    token.text = std::string(m_Batch.substr(m_At + 2, j - m_At - 2));
    return Finish(token, j);
  }

  Token ReadMoney(Token& token) {
    std::size_t j = m_At + 1;
    while (IsDigitAt(j)) ++j;
    if (j < m_Size && At(j) == '.') {
      ++j;
      while (IsDigitAt(j)) ++j;
    }
    token.kind = TokenKind::Money;
    token.text = std::string(m_Batch.substr(m_At + 1, j - m_At - 1));
    return Finish(token, j);
  }

  Token ReadNumber(Token& token) {
    std::size_t j = m_At;
    token.kind = TokenKind::Integer;
    while (IsDigitAt(j)) ++j;
    if (j < m_Size && At(j) == '.') {
      token.kind = TokenKind::DecimalNumber;
      ++j;
      while (IsDigitAt(j)) ++j;
    }
    if (j < m_Size && (At(j) == 'e' || At(j) == 'E')) {
      std::size_t k = j + 1;
      if (k < m_Size && (At(k) == '+' || At(k) == '-')) ++k;
      if (IsDigitAt(k)) {
        token.kind = TokenKind::FloatNumber;
        j = k;
        while (IsDigitAt(j)) ++j;
      }
    }
    token.text = std::string(m_Batch.substr(m_At, j - m_At));
    return Finish(token, j);
  }

  Token ReadVariable(Token& token) {
    std::size_t j = m_At + 1;
    const bool system = j < m_Size && At(j) == '@';
    if (system) ++j;
    while (j < m_Size && IsIdentifierPart(static_cast<unsigned char>(At(j)))) ++j;
    token.kind = system ? TokenKind::SystemVariable : TokenKind::Variable;
    token.text = std::string(m_Batch.substr(m_At, j - m_At));
    CheckIdentifierLength(token.text);
    if (system) token.text = Upper(token.text);
    return Finish(token, j);
  }

  Token ReadWord(Token& token) {
    std::size_t j = m_At + 1;
    while (j < m_Size && IsIdentifierPart(static_cast<unsigned char>(At(j)))) ++j;
    token.text = std::string(m_Batch.substr(m_At, j - m_At));
    CheckIdentifierLength(token.text);
    std::string upper = Upper(token.text);
    if (IsReservedWord(upper)) {
      token.kind = TokenKind::Keyword;
      token.text = std::move(upper);
    } else {
      token.kind = TokenKind::Identifier;
    }
    return Finish(token, j);
  }

  Token ReadOperator(Token& token) {
    static constexpr std::string_view kTwoCharacter[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
    token.kind = TokenKind::Operator;
    std::size_t length = 1;
    if (m_At + 1 < m_Size) {
      for (std::string_view op : kTwoCharacter) {
        if (m_Batch.substr(m_At, 2) == op) length = 2;
      }
    }
    token.text = std::string(m_Batch.substr(m_At, length));
    static constexpr std::string_view kSingle = "(),.;+-*/%=<>&|^~";
    if (length == 1 && kSingle.find(At(m_At)) == std::string_view::npos) {
      // An unknown character is a syntax error at that character.
      RaiseError(102, {token.text});
    }
    return Finish(token, m_At + length);
  }

  std::string_view m_Batch;
  std::size_t m_Size;
  bool m_QuotedIdentifier;
  std::size_t m_At = 0;
  int m_Line = 1;
  std::vector<Token> m_Tokens;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view batch, bool quotedIdentifier) {
  return Scanner(batch, quotedIdentifier).Run();
}

}  // namespace standin::engine
