// Internal helpers of the data-access classes: ODBC handle ownership and the
// translation of ODBC diagnostics into DataError.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw::odbc {

// Every diagnostic record of `handle`, with the driver's "[…]" prefixes cut
// from the texts.
std::vector<ProviderMessage> Diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The same through a given SQLGetDiagRec (the driver's own, reached past the
// driver manager).
using GetDiagRecFunction = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLWCHAR*,
                                         SQLINTEGER*, SQLWCHAR*, SQLSMALLINT, SQLSMALLINT*);
std::vector<ProviderMessage> Diagnostics(GetDiagRecFunction getDiagRec, SQLSMALLINT handleType,
                                         SQLHANDLE handle);

// UTF-8 text as the driver's wide characters (UTF-16); a malformed byte
// becomes U+FFFD. The ANSI entry points would hand the driver bytes it reads
// in its own default character set before ClientCharset applies, so a
// connection string with non-ASCII text goes through the wide one.
std::vector<SQLWCHAR> WideText(const std::string& utf8);

// The driver's wide characters (UTF-16, `count` of them) as UTF-8; a lone
// surrogate becomes U+FFFD.
std::string Utf8Text(const SQLWCHAR* wide, std::size_t count);

// True when the driver knows the connection `dbc` is gone (the server
// stopped, the network failed): what then failed failed for that reason.
bool ConnectionLost(SQLHDBC dbc);
// Puts the message that names a lost connection first, unless it is there.
void NameLostConnection(std::vector<ProviderMessage>& messages);

// True for a message that only informs (PRINT, "changed database context").
bool IsInformational(const ProviderMessage& message);

// Throws DataError built from the handle's diagnostics; `fallback` describes
// the failure when the driver left none.
[[noreturn]] void Fail(std::int32_t number, SQLSMALLINT handleType, SQLHANDLE handle,
                       const std::string& fallback);

// The number a failed login or connection reports: kAdoErrorLoginFailed for
// SQLSTATE 28000 or server error 18456, else kAdoErrorGeneric.
std::int32_t ConnectErrorNumber(const std::vector<ProviderMessage>& messages);

}  // namespace bw::odbc
