// T-SQL data types as the engine handles them: parsing declared type names,
// SQL Server's type precedence, and the exact text forms the stand-in stores
// in SQLite (datetime as "YYYY-MM-DD HH:MM:SS.mmm", uniqueidentifier as
// upper-case 8-4-4-4-12, decimal as fixed-point text).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/Engine.h"

namespace standin::engine {

// "nvarchar(50)", "DECIMAL(10, 2)", "int" → ColumnType; nullopt when unknown.
// Lengths and precision default as SQL Server does (varchar = varchar(1) in a
// declaration, decimal = decimal(18,0)).
std::optional<ColumnType> ParseTypeName(std::string_view name, std::int32_t length = -1,
                                        int precision = -1, int scale = -1);
// SQL Server's name of the base type alone ("nvarchar"), for messages.
std::string BaseTypeName(TypeId id);

bool IsCharacter(TypeId id);     // char, varchar, text and their N forms
bool IsUnicode(TypeId id);       // nchar, nvarchar, ntext
bool IsBinary(TypeId id);        // binary, varbinary, image
bool IsInteger(TypeId id);       // bit, tinyint, smallint, int, bigint
bool IsExactNumeric(TypeId id);  // integers, decimal, numeric, money
bool IsNumeric(TypeId id);       // exact numerics and float/real
bool IsDateTime(TypeId id);
// Higher wins when two types meet in an expression (SQL Server's precedence).
int Precedence(TypeId id);

// Days since 1900-01-01 and 1/300 s ticks; SQL Server's datetime range.
std::optional<DateTime> ParseDateTime(std::string_view text);
std::string FormatDateTime(const DateTime& value);
DateTime RoundToMinute(const DateTime& value);  // smalldatetime

std::optional<Guid> ParseGuid(std::string_view text);
std::string FormatGuid(const Guid& value);

// Parses "-12.345" (also "1e3" style is refused) and rounds half away from zero
// to the scale.
std::optional<Decimal> ParseDecimal(std::string_view text, int scale);
std::string FormatDecimal(const Decimal& value);
Decimal DecimalFromDouble(double value, int scale);
double DecimalToDouble(const Decimal& value);
// Number of digits of |unscaled| (for precision checks).
int DecimalDigits(const Decimal& value);

// Shortest text that reads back as the same double.
std::string FormatDouble(double value);

}  // namespace standin::engine
