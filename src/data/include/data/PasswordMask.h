// Passwords taken out of what the SQL log keeps. A statement keeps its shape
// and every other value; only the password values are replaced by kMasked.
#pragma once

#include <string>

namespace bw {

inline constexpr char kMasked[] = "********";

// `sql` with the password arguments of the procedures that take one
// (sp_addlogin, sp_password, sp_addapprole, sp_setapprole, sp_approlepassword,
// sp_addlinkedsrvlogin — positional or named), PASSWORD = '…' clauses, and
// PWD=/Password= values inside string literals (connection strings handed
// to the server) masked. Comments and identifiers are left alone; a literal
// that never ends is masked from where a password starts to the end.
std::string MaskStatementPasswords(const std::string& sql);

// A connection string (ODBC or OLE DB form) with the values of PWD and
// Password masked, whether bare, in braces or in quotes.
std::string MaskConnectionPasswords(const std::string& text);

}  // namespace bw
