// Connection strings. Registrations keep the OLE DB form the console has
// always stored ("Provider=SQLOLEDB;Data Source=…;User Id=…;Password=…;");
// the ODBC driver manager wants its own form. This translates one into the
// other and quotes values soundly in both, so a password holding ";" or a
// quote neither breaks the string nor smuggles in another keyword.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace bw {

// An OLE DB connection string parsed into its keywords, in order. Keywords
// compare without regard to case; a later duplicate wins, as in OLE DB.
class OleDbConnectionString {
 public:
  // Parses `text`; values may be bare (up to the next ";", blanks around
  // them trimmed) or enclosed in double or single quotes, the enclosing quote
  // doubled inside. Malformed parts (no "=", an unterminated quote) throw
  // bw::Error (0x80004005) naming the problem.
  static OleDbConnectionString Parse(const std::string& text);

  std::optional<std::string> Get(const std::string& keyword) const;
  void Set(const std::string& keyword, const std::string& value);
  const std::vector<std::pair<std::string, std::string>>& Items() const { return m_Items; }

 private:
  std::vector<std::pair<std::string, std::string>> m_Items;
};

// Where a value stands in a connection string's text, its quotes included.
struct TextSpan {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// Every value of `keyword` (compared without regard to case) in `text`, in
// order, duplicates included: what a writer must replace to take a value out
// of the text without touching anything else. Throws as Parse does.
std::vector<TextSpan> ValueSpans(const std::string& text, const std::string& keyword);

// A value as OLE DB requires it: bare when that reads back the same, else in
// double quotes (inner double quotes doubled). Every value that comes from
// outside (a database name from the server included) goes through this, so it
// can never add a keyword of its own.
std::string OleDbValue(const std::string& value);

// "keyword=value;" with the value quoted as OLE DB requires: bare when that
// reads back the same, else in double quotes (inner double quotes doubled).
std::string OleDbPair(const std::string& keyword, const std::string& value);

// A value for an ODBC connection string, to be followed by ";": bare when
// that reads back the same, else in braces. A value that needs braces and
// holds "};" raises bw::Error: the driver cannot take it.
std::string OdbcQuote(const std::string& value);

// A "Data Source" without what every reader of it ignores: blanks around it
// and a leading "tcp:".
std::string NormalizedDataSource(const std::string& dataSource);

// Where a "Data Source" points: HOST, HOST\INSTANCE or HOST,PORT.
struct DataSource {
  std::string host;      // "(local)" and "." become "localhost"
  std::string instance;  // empty for the default instance
  int port = 0;          // 0: not given
};
DataSource ParseDataSource(const std::string& dataSource);

// The ODBC connection string for an OLE DB one: the driver (a setting, given
// here), Data Source → Server (+ Port), User Id/Password → UID/PWD, Initial
// Catalog → Database, Integrated Security=SSPI → a trusted (Kerberos)
// connection; texts travel as UTF-8. A non-empty `tdsVersion` fixes the
// protocol version (no fallback to an older one). Connect Timeout is not part
// of the result (it is a connection attribute): see ConnectTimeoutOf.
std::string ToOdbcConnectionString(const OleDbConnectionString& oleDb, const std::string& driver,
                                   const std::string& tdsVersion = "");

// The "Connect Timeout" in seconds, when the string has a valid one.
std::optional<int> ConnectTimeoutOf(const OleDbConnectionString& oleDb);

}  // namespace bw
