// SQL-logic test files for the stand-in: the file format's parser and runner,
// and the canonical text of values both backends (in process and over TDS)
// produce. The format is described in tests/standin/sql/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"

namespace standin::slt {

struct ResultSet {
  std::vector<std::string> names;
  std::vector<std::string> types;              // "int", "nvarchar(50)", "decimal(10,2)"
  std::vector<std::vector<std::string>> rows;  // canonical text
};

// What running one batch produced.
struct Outcome {
  bool ok = true;                // no error message (severity >= 11)
  std::int32_t errorNumber = 0;  // first error
  int errorSeverity = 0;
  std::optional<std::int64_t> rowsAffected;  // the last counted DONE
  std::vector<ResultSet> resultSets;
  std::vector<std::string> messages;  // informational messages (PRINT …), in order
  std::string errorText;              // first error's text, for failure reports
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual Outcome Run(const std::string& sql) = 0;
  // `login USER PASSWORD [DATABASE]`: replaces the current session. Returns
  // the login error number, 0 on success.
  virtual std::int32_t Login(const std::string& user, const std::string& password,
                             const std::string& database) = 0;
  // `session NAME`: switches to (or opens, as sa) another named session.
  virtual void UseSession(const std::string& name) = 0;
};

// Runs every record of the file; writes one line per failure. Returns the
// number of failures (a file that cannot be read counts as one).
int RunFile(const std::string& path, Backend& backend, std::ostream& failures);

// The product version the file's server must present: its `product-version N`
// line, 8 without one. Runners read it before they start the server, since
// the version is fixed for a server's lifetime. Throws std::runtime_error for
// a version other than 7 or 8.
int FileProductVersion(const std::string& path);
// The file's `account DOMAIN\name [group]` directives (before its first
// record): adds them to the machine's accounts of the data directory.
void AddFileAccounts(const std::string& path, const std::filesystem::path& dataDir);

// The canonical text of a value of the given type (see tests/standin/sql/README.md).
std::string CanonicalText(const engine::Value& value, const engine::ColumnType& type);
// "nvarchar(50)", "int", "decimal(10,2)".
std::string CanonicalTypeName(const engine::ColumnType& type);

}  // namespace standin::slt
