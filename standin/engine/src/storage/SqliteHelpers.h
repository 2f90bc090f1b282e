// Helpers shared by the stand-in's SQLite functions: UTF-8 code points, case
// folding in the C.UTF-8 locale, and results/errors of sqlite3 functions.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace standin::engine::sqlfunctions {

using CodePoints = std::vector<char32_t>;

char32_t Fold(char32_t c);  // to lower case, as the collation compares
char32_t Upper(char32_t c);
CodePoints Decode(std::string_view text);
std::string Encode(const CodePoints& points);
std::string_view Text(sqlite3_value* value);
std::string ValueAsText(sqlite3_value* value);
void ResultText(sqlite3_context* context, const std::string& text);
// Reports SQL Server error `number`; DecodeFunctionError reads it back.
void ResultError(sqlite3_context* context, std::int32_t number,
                 std::initializer_list<std::string_view> arguments = {});
bool AnyNull(int argc, sqlite3_value** argv);
// '' is 0, as SQL Server converts it; surrounding blanks are ignored.
bool ParseInteger(std::string_view text, std::int64_t& out);
bool ParseDouble(std::string_view text, double& out);

// SqliteConversions.cpp
void ConvertFunction(sqlite3_context* context, int argc, sqlite3_value** argv);
void DatePart(sqlite3_context* context, int argc, sqlite3_value** argv);
void DateAdd(sqlite3_context* context, int argc, sqlite3_value** argv);
void DateDiff(sqlite3_context* context, int argc, sqlite3_value** argv);
void GetDate(sqlite3_context* context, int argc, sqlite3_value** argv);

}  // namespace standin::engine::sqlfunctions
