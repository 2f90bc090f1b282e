// What the security dialogs share: a statement bound to the connection it goes
// out on, the queries that read logins, users and role members, and the error
// report of a failed login change. Nothing here shows a password: statements
// that carry one are sent, never logged.
#pragma once

#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw::commands::security {

struct Statement {
  Connection* connection = nullptr;
  std::string sql;
};

// Sends each statement in order as a text command; the first that the server
// rejects raises its error and the rest are not sent.
void Execute(const std::vector<Statement>& statements);

// Opens `sql` on `connection` with a client-side cursor, skipping the results
// of a batch that return no rows. The recordset is open (possibly empty) or
// closed when nothing returned rows.
void OpenRows(Recordset& rows, const std::string& sql, Connection& connection);

// A column's text without the trailing blanks of fixed-width types; "" for
// NULL.
std::string ColumnText(Recordset& rows, const std::string& column);

// Names as the server compares them: without regard to ASCII case.
bool SameName(const std::string& a, const std::string& b);

// The report of a failed login change: text 120, CR LF, the description,
// two CRs, then `appendix` (may be empty).
std::string LoginErrorReport(const std::string& description, const std::string& appendix);

// The number of characters of a UTF-8 text (continuation bytes not counted).
std::size_t CharacterCount(const std::string& text);

}  // namespace bw::commands::security
