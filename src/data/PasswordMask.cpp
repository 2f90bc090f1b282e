#include "data/PasswordMask.h"

#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "support/Helpers.h"

namespace bw {
namespace {

enum class Kind { Name, Variable, String, Number, Comma, Equals, Other };

struct Token {
  Kind kind;
  std::size_t begin, end;  // in the statement
};

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string Lower(std::string_view text) {
  return LowerAscii(std::string(text));
}

// The end of a quoted part starting at `begin` (the opening quote), where the
// closing quote is doubled inside; the text's end when it never closes.
std::size_t QuotedEnd(std::string_view text, std::size_t begin, char close) {
  for (std::size_t i = begin + 1; i < text.size(); ++i) {
    if (text[i] != close) continue;
    if (i + 1 < text.size() && text[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return text.size();
}

// T-SQL's tokens, enough to find procedure arguments: comments and white
// space are skipped, [names] and "names" are one name.
std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const std::size_t lineEnd = sql.find('\n', i);
      i = lineEnd == std::string_view::npos ? sql.size() : lineEnd + 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      // Block comments nest in T-SQL.
      int depth = 0;
      while (i < sql.size()) {
        if (sql.compare(i, 2, "/*") == 0) {
          ++depth;
          i += 2;
        } else if (sql.compare(i, 2, "*/") == 0) {
          i += 2;
          if (--depth == 0) break;
        } else {
          ++i;
        }
      }
    } else if (c == '\'' || ((c == 'N' || c == 'n') && i + 1 < sql.size() && sql[i + 1] == '\'')) {
      const std::size_t quote = c == '\'' ? i : i + 1;
      const std::size_t end = QuotedEnd(sql, quote, '\'');
      tokens.push_back({Kind::String, i, end});
      i = end;
    } else if (c == '[') {
      const std::size_t end = QuotedEnd(sql, i, ']');
      tokens.push_back({Kind::Name, i, end});
      i = end;
    } else if (c == '"') {
      const std::size_t end = QuotedEnd(sql, i, '"');
      tokens.push_back({Kind::Name, i, end});
      i = end;
    } else if (c == '@' || IsNameChar(c)) {
      std::size_t end = i + 1;
      while (end < sql.size() && (IsNameChar(sql[end]) || sql[end] == '@')) ++end;
      const Kind kind = c == '@'                                      ? Kind::Variable
                        : std::isdigit(static_cast<unsigned char>(c)) ? Kind::Number
                                                                      : Kind::Name;
      tokens.push_back({kind, i, end});
      i = end;
    } else {
      tokens.push_back({c == ',' ? Kind::Comma : c == '=' ? Kind::Equals : Kind::Other, i, i + 1});
      ++i;
    }
  }
  return tokens;
}

std::string NameText(std::string_view sql, const Token& token) {
  std::string_view text = sql.substr(token.begin, token.end - token.begin);
  if (!text.empty() && (text.front() == '[' || text.front() == '"')) {
    text.remove_prefix(1);
    if (!text.empty() && (text.back() == ']' || text.back() == '"')) text.remove_suffix(1);
  }
  return Lower(text);
}

// A procedure that takes a password: which positions (1-based) and which
// parameter names hold one.
struct PasswordProcedure {
  const char* name;
  std::array<int, 2> positions;
  std::array<const char*, 2> parameters;
};

constexpr PasswordProcedure kProcedures[] = {
    {"sp_addlogin", {2, 0}, {"@passwd", nullptr}},
    {"sp_password", {1, 2}, {"@old", "@new"}},
    {"sp_addapprole", {2, 0}, {"@password", nullptr}},
    {"sp_setapprole", {2, 0}, {"@password", nullptr}},
    {"sp_approlepassword", {2, 0}, {"@newpwd", nullptr}},
    {"sp_addlinkedsrvlogin", {5, 0}, {"@rmtpassword", nullptr}},
};

const PasswordProcedure* FindProcedure(const std::string& name) {
  for (const PasswordProcedure& procedure : kProcedures) {
    if (name == procedure.name) return &procedure;
  }
  return nullptr;
}

bool HoldsPassword(const PasswordProcedure& procedure, int position, const std::string& parameter) {
  for (std::size_t i = 0; i < procedure.positions.size(); ++i) {
    if (parameter.empty()
            ? procedure.positions[i] == position
            : procedure.parameters[i] != nullptr && parameter == procedure.parameters[i]) {
      return true;
    }
  }
  return false;
}

// Marks the password arguments of the call whose name is tokens[at].
void MarkArguments(std::string_view sql, const std::vector<Token>& tokens, std::size_t at,
                   const PasswordProcedure& procedure, std::vector<bool>& masked) {
  std::size_t i = at + 1;
  for (int position = 1; i < tokens.size(); ++position) {
    std::string parameter;
    if (tokens[i].kind == Kind::Variable && i + 1 < tokens.size() &&
        tokens[i + 1].kind == Kind::Equals) {
      parameter = Lower(sql.substr(tokens[i].begin, tokens[i].end - tokens[i].begin));
      i += 2;
      if (i >= tokens.size()) return;
    }
    const Token& value = tokens[i];
    const bool literal =
        value.kind == Kind::String || (value.kind == Kind::Name && NameText(sql, value) != "null" &&
                                       NameText(sql, value) != "default");
    if (literal && HoldsPassword(procedure, position, parameter)) masked[i] = true;
    ++i;
    if (i >= tokens.size() || tokens[i].kind != Kind::Comma) return;
    ++i;
  }
}

bool IsKeywordStart(std::string_view text, std::size_t at) {
  return at == 0 || text[at - 1] == ';' || std::isspace(static_cast<unsigned char>(text[at - 1]));
}

// `text` with the values after PWD= and Password= masked. `doubledQuote`:
// the text is the inside of a SQL literal, where a single quote is written
// twice.
std::string MaskKeywordValues(std::string_view text, bool doubledQuote) {
  std::string out;
  std::size_t copied = 0;
  const std::string lower = Lower(text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t keyword = 0;
    if (lower.compare(i, 3, "pwd") == 0) keyword = 3;
    if (lower.compare(i, 8, "password") == 0) keyword = 8;
    if (keyword == 0 || !IsKeywordStart(text, i)) continue;
    std::size_t v = i + keyword;
    while (v < text.size() && text[v] == ' ') ++v;
    if (v >= text.size() || text[v] != '=') continue;
    ++v;
    while (v < text.size() && text[v] == ' ') ++v;
    std::size_t end = 0;
    if (v < text.size() && text[v] == '{') {
      end = QuotedEnd(text, v, '}');
    } else if (v < text.size() && text[v] == '"') {
      end = QuotedEnd(text, v, '"');
    } else if (doubledQuote && text.compare(v, 2, "''") == 0) {
      const std::size_t close = text.find("''", v + 2);
      end = close == std::string_view::npos ? text.size() : close + 2;
    } else if (!doubledQuote && v < text.size() && text[v] == '\'') {
      end = QuotedEnd(text, v, '\'');
    } else {
      const std::size_t semicolon = text.find(';', v);
      end = semicolon == std::string_view::npos ? text.size() : semicolon;
    }
    out.append(text.substr(copied, v - copied));
    out += kMasked;
    copied = end;
    i = end == 0 ? 0 : end - 1;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace

std::string MaskStatementPasswords(const std::string& sql) {
  const std::string_view text(sql);
  const std::vector<Token> tokens = Tokenize(text);
  std::vector<bool> masked(tokens.size(), false);
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != Kind::Name) continue;
    const std::string name = NameText(text, tokens[i]);
    if (const PasswordProcedure* procedure = FindProcedure(name)) {
      MarkArguments(text, tokens, i, *procedure, masked);
    } else if ((name == "password" || name == "old_password") && i + 2 < tokens.size() &&
               tokens[i + 1].kind == Kind::Equals && tokens[i + 2].kind == Kind::String) {
      masked[i + 2] = true;
    }
  }
  std::string out;
  std::size_t copied = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (!masked[i] && token.kind != Kind::String) continue;
    out.append(text.substr(copied, token.begin - copied));
    const bool national = text[token.begin] != '\'' && token.kind == Kind::String;
    if (masked[i]) {
      out += national ? "N'" : "'";
      out += kMasked;
      out += "'";
    } else {
      // Connection strings handed to the server keep all but the password.
      const std::size_t open = token.begin + (national ? 2 : 1);
      const bool closed = token.end > open && text[token.end - 1] == '\'';
      const std::size_t inner = closed ? token.end - 1 : token.end;
      out.append(text.substr(token.begin, open - token.begin));
      out += MaskKeywordValues(text.substr(open, inner - open), true);
      out.append(text.substr(inner, token.end - inner));
    }
    copied = token.end;
  }
  out.append(text.substr(copied));
  return out;
}

std::string MaskConnectionPasswords(const std::string& text) {
  return MaskKeywordValues(text, false);
}

}  // namespace bw
