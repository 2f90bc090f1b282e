// Runs SQL-logic records over TDS: each named session is an ODBC connection
// (FreeTDS driver) to a started sqlstandin, and results are turned into the
// same canonical text as the in-process backend produces.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "Odbc.h"
#include "slt/Slt.h"

namespace standin::integration {

class OdbcBackend : public slt::Backend {
 public:
  // `connectionString` is used for every session, with the user, password and
  // database of a `login` record substituted.
  OdbcBackend(int port, std::string saPassword);

  slt::Outcome Run(const std::string& sql) override;
  std::int32_t Login(const std::string& user, const std::string& password,
                     const std::string& database) override;
  void UseSession(const std::string& name) override;

 private:
  std::string ConnectionString(const std::string& user, const std::string& password,
                               const std::string& database) const;

  int m_Port;
  std::string m_SaPassword;
  std::map<std::string, std::unique_ptr<OdbcConnection>> m_Sessions;
  std::string m_Current = "default";
};

// The canonical text of a fetched value of a column (see tests/standin/sql/README.md).
std::string CanonicalText(const OdbcValue& value, const OdbcColumn& column);

}  // namespace standin::integration
