#include "data/ConnectionString.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "data/DataAccess.h"
#include "support/Error.h"
#include "support/Helpers.h"

namespace bw {

namespace {

// The text may hold a password, so the message names only where it went
// wrong, never what stands there.
[[noreturn]] void Malformed(const std::string& why, std::size_t position) {
  throw Error(
      kAdoErrorGeneric, kAdoSource,
      "Invalid connection string: " + why + " at character " + std::to_string(position + 1) + ".");
}

// Walks `text` part by part, handing each keyword, its value and where the
// value stands (quotes included) to `visit`.
template <typename Visit>
void Scan(const std::string& text, Visit visit) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t equals = text.find('=', pos);
    std::size_t semicolon = text.find(';', pos);
    if (semicolon != std::string::npos && (equals == std::string::npos || semicolon < equals)) {
      if (!Trim(text.substr(pos, semicolon - pos)).empty()) Malformed("a part without '='", pos);
      pos = semicolon + 1;
      continue;
    }
    if (equals == std::string::npos) {
      if (!Trim(text.substr(pos)).empty()) Malformed("a part without '='", pos);
      break;
    }
    std::string keyword = Trim(text.substr(pos, equals - pos));
    if (keyword.empty()) Malformed("a value without a keyword", pos);
    pos = equals + 1;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    std::string value;
    TextSpan span{pos, 0};
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
      const std::size_t opening = pos;
      char quote = text[pos++];
      bool closed = false;
      while (pos < text.size()) {
        if (text[pos] == quote) {
          if (pos + 1 < text.size() && text[pos + 1] == quote) {
            value.push_back(quote);
            pos += 2;
            continue;
          }
          ++pos;
          closed = true;
          break;
        }
        value.push_back(text[pos++]);
      }
      if (!closed) Malformed("a quoted value without its closing quote", opening);
      span.length = pos - span.offset;
      std::size_t next = text.find(';', pos);
      if (!Trim(text.substr(pos, next == std::string::npos ? std::string::npos : next - pos))
               .empty()) {
        Malformed("text after a quoted value", pos);
      }
      pos = next == std::string::npos ? text.size() : next + 1;
    } else {
      std::size_t next = text.find(';', pos);
      value = Trim(text.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
      span.length = value.size();
      pos = next == std::string::npos ? text.size() : next + 1;
    }
    visit(keyword, value, span);
  }
}

}  // namespace

OleDbConnectionString OleDbConnectionString::Parse(const std::string& text) {
  OleDbConnectionString result;
  Scan(text, [&](const std::string& keyword, const std::string& value, TextSpan) {
    result.Set(keyword, value);
  });
  return result;
}

std::vector<TextSpan> ValueSpans(const std::string& text, const std::string& keyword) {
  std::vector<TextSpan> spans;
  Scan(text, [&](const std::string& found, const std::string&, TextSpan span) {
    if (EqualsIgnoreCase(found, keyword)) spans.push_back(span);
  });
  return spans;
}

std::optional<std::string> OleDbConnectionString::Get(const std::string& keyword) const {
  for (const auto& [key, value] : m_Items) {
    if (EqualsIgnoreCase(key, keyword)) return value;
  }
  return std::nullopt;
}

void OleDbConnectionString::Set(const std::string& keyword, const std::string& value) {
  for (auto& [key, existing] : m_Items) {
    if (EqualsIgnoreCase(key, keyword)) {
      existing = value;
      return;
    }
  }
  m_Items.emplace_back(keyword, value);
}

std::string OleDbValue(const std::string& value) {
  bool bare = value.find_first_of(";\"'") == std::string::npos && Trim(value) == value;
  if (bare) return value;
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string OleDbPair(const std::string& keyword, const std::string& value) {
  return keyword + "=" + OleDbValue(value) + ";";
}

std::string OdbcQuote(const std::string& value) {
  // Bare unless the value would end the attribute (";") or read as a braced
  // value; "}" and "=" are fine bare. The FreeTDS driver ends a braced value
  // at the first "};" (it does not read "}}" as one brace), and every
  // attribute here ends with ";", so braces hold anything but "};".
  bool bare = value.find(';') == std::string::npos && (value.empty() || value[0] != '{') &&
              Trim(value) == value;
  if (bare) return value;
  if (value.find("};") != std::string::npos) {
    throw Error(kAdoErrorGeneric, kAdoSource,
                "A connection value that holds '};' cannot be passed to the ODBC driver; change "
                "the password, login name or database name.");
  }
  return "{" + value + "}";
}

std::string NormalizedDataSource(const std::string& dataSource) {
  std::string text = Trim(dataSource);
  // "tcp:" is how SQL Server clients force TCP; it is all there is here.
  if (text.size() > 4 && EqualsIgnoreCase(text.substr(0, 4), "tcp:")) text = Trim(text.substr(4));
  return text;
}

DataSource ParseDataSource(const std::string& dataSource) {
  DataSource result;
  std::string text = NormalizedDataSource(dataSource);
  if (std::size_t comma = text.find(','); comma != std::string::npos) {
    std::string port = Trim(text.substr(comma + 1));
    int value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value <= 0 || value > 65535) {
      throw Error(kAdoErrorGeneric, kAdoSource,
                  "Invalid port '" + port + "' in data source '" + dataSource + "'.");
    }
    result.port = value;
    text = Trim(text.substr(0, comma));
  }
  if (std::size_t slash = text.find('\\'); slash != std::string::npos) {
    result.instance = text.substr(slash + 1);
    text = text.substr(0, slash);
  }
  if (text == "." || EqualsIgnoreCase(text, "(local)") || text.empty()) text = "localhost";
  result.host = text;
  return result;
}

std::string ToOdbcConnectionString(const OleDbConnectionString& oleDb, const std::string& driver,
                                   const std::string& tdsVersion) {
  std::string odbc = "DRIVER=" + OdbcQuote(driver) + ";";
  DataSource source = ParseDataSource(oleDb.Get("Data Source").value_or(""));
  std::string server = source.host;
  if (!source.instance.empty()) server += "\\" + source.instance;
  odbc += "SERVER=" + OdbcQuote(server) + ";";
  if (source.port != 0) odbc += "PORT=" + std::to_string(source.port) + ";";
  std::string integrated = oleDb.Get("Integrated Security").value_or("");
  if (EqualsIgnoreCase(integrated, "SSPI") || EqualsIgnoreCase(integrated, "true") ||
      EqualsIgnoreCase(integrated, "yes")) {
    odbc += "Trusted_Connection=Yes;";
  } else {
    odbc += "UID=" + OdbcQuote(oleDb.Get("User Id").value_or(oleDb.Get("UID").value_or(""))) + ";";
    odbc += "PWD=" + OdbcQuote(oleDb.Get("Password").value_or(oleDb.Get("PWD").value_or(""))) + ";";
  }
  if (auto catalog = oleDb.Get("Initial Catalog"); catalog && !catalog->empty()) {
    odbc += "DATABASE=" + OdbcQuote(*catalog) + ";";
  }
  if (!tdsVersion.empty()) odbc += "TDS_Version=" + OdbcQuote(tdsVersion) + ";";
  odbc += "ClientCharset=UTF-8;";
  return odbc;
}

std::optional<int> ConnectTimeoutOf(const OleDbConnectionString& oleDb) {
  auto text = oleDb.Get("Connect Timeout");
  if (!text) return std::nullopt;
  const std::string& digits = *text;
  int seconds = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
  if (ec != std::errc() || end != digits.data() + digits.size() || seconds < 0) return std::nullopt;
  return seconds;
}

}  // namespace bw
