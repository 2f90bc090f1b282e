// The SQL functions and the collation the translator's SQL relies on,
// registered on every SQLite connection the engine opens:
//   collation standin_ci   SQL Server's default comparison: case-insensitive
//                          (also for non-ASCII letters, by towlower in the
//                          C.UTF-8 locale), trailing spaces ignored
//   collation standin_cs   the case-sensitive Latin1 collations (_CS_AS): case
//                          matters, lower case sorts first among equal letters
//   like(p, v[, e])        T-SQL LIKE ([a-z], [^x], %, _) under that collation
//   standin_like_cs(p, v[, e])  LIKE under standin_cs
//   standin_convert(v, type, assignment, style, fromDateTime)
//   standin_divide/modulo  SQL Server's integer division, error 8134
//   standin_add            + when the operand types are only known at run time
//   standin_getdate, standin_newid, standin_dateadd/datediff/datepart,
//   standin_upper/lower/right/replace/charindex/replicate/datalength,
//   standin_round/floor/ceiling, standin_next_identity
// Functions report SQL Server errors through sqlite3_result_error with a text
// that DecodeFunctionError turns back into the Message.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/Engine.h"

namespace standin::engine {

// The identity values one INSERT hands out (one per session connection).
struct IdentityState {
  bool active = false;
  std::int64_t next = 1;
  std::int64_t increment = 1;
  std::int64_t last = 0;
  std::int64_t generated = 0;
};

void RegisterFunctions(sqlite3* db, IdentityState* identity);

// The Message behind an error text raised by one of the functions above, or
// nullopt for any other text.
std::optional<Message> DecodeFunctionError(std::string_view text);

// SQL Server's datetime "now" (local time) in the stored text form.
std::string CurrentDateTimeText();

// Compares two texts as the collation does (<0, 0, >0).
int CompareText(std::string_view a, std::string_view b);
// The same for collation standin_cs: letters that differ only in case are
// different, the lower-case one first.
int CompareTextCaseSensitive(std::string_view a, std::string_view b);

}  // namespace standin::engine
