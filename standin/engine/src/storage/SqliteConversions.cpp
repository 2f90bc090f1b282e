// standin_convert and the date functions: SQL Server's conversions between
// the stored text forms, with its error numbers.
#include <cmath>
#include <cstring>
#include <limits>

#include "common/SqliteNames.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"
#include "storage/SqliteHelpers.h"

namespace standin::engine::sqlfunctions {
namespace {

const char* SourceTypeName(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return "int";
    case SQLITE_FLOAT:
      return "float";
    case SQLITE_BLOB:
      return "varbinary";
    default:
      return "varchar";
  }
}

std::string DateTimeStyleText(const DateTime& value, int style) {
  std::string canonical = FormatDateTime(value);  // YYYY-MM-DD HH:MM:SS.mmm
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int year = std::stoi(canonical.substr(0, 4));
  const int month = std::stoi(canonical.substr(5, 2));
  const int day = std::stoi(canonical.substr(8, 2));
  const int hour = std::stoi(canonical.substr(11, 2));
  const std::string minutes = canonical.substr(14, 2);
  char buffer[64];
  switch (style) {
    case 101:
      std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", month, day, year);
      return buffer;
    case 103:
      std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", day, month, year);
      return buffer;
    case 112:
      std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", year, month, day);
      return buffer;
    case 108:
      return canonical.substr(11, 8);
    case 120:
      return canonical.substr(0, 19);
    case 121:
      return canonical;
    case 126:
      return canonical.substr(0, 10) + "T" + canonical.substr(11);
    default: {
      // Style 0/100, SQL Server's default: "Jan  1 2024 12:00AM".
      const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
      std::snprintf(buffer, sizeof buffer, "%s %2d %04d %2d:%s%s", kMonths[month - 1], day, year,
                    hour12, minutes.c_str(), hour < 12 ? "AM" : "PM");
      return buffer;
    }
  }
}

void ConvertToInteger(sqlite3_context* context, sqlite3_value* value, const ColumnType& target) {
  std::int64_t result = 0;
  const std::string typeName = BaseTypeName(target.id);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      result = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT: {
      const double d = sqlite3_value_double(value);
      if (!(std::fabs(d) < 9.2e18)) return ResultError(context, 8115, {"expression", typeName});
      result = static_cast<std::int64_t>(d);  // SQL Server truncates toward zero
      break;
    }
    case SQLITE_BLOB: {
      const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(value));
      for (int i = 0; i < sqlite3_value_bytes(value); ++i) result = (result << 8) | bytes[i];
      break;
    }
    default: {
      std::string_view text = Text(value);
      if (!ParseInteger(text, result)) {
        return ResultError(context, 245, {"varchar", text, typeName});
      }
    }
  }
  if (target.id == TypeId::Bit) {
    sqlite3_result_int(context, result != 0 ? 1 : 0);
    return;
  }
  std::int64_t low = std::numeric_limits<std::int64_t>::min();
  std::int64_t high = std::numeric_limits<std::int64_t>::max();
  if (target.id == TypeId::TinyInt) low = 0, high = 255;
  if (target.id == TypeId::SmallInt) low = -32768, high = 32767;
  if (target.id == TypeId::Int) low = -2147483648LL, high = 2147483647LL;
  if (result < low || result > high) {
    // An int that does not fit tinyint or smallint names its value (220);
    // anything larger overflows as an expression (8115).
    const bool fromInt = sqlite3_value_type(value) == SQLITE_INTEGER && result >= -2147483648LL &&
                         result <= 2147483647LL;
    if (fromInt && (target.id == TypeId::TinyInt || target.id == TypeId::SmallInt))
      return ResultError(context, 220, {typeName, std::to_string(result)});
    return ResultError(context, 8115, {"expression", typeName});
  }
  sqlite3_result_int64(context, result);
}

void ConvertToDecimal(sqlite3_context* context, sqlite3_value* value, const ColumnType& target) {
  std::optional<Decimal> result;
  const int scale = target.scale;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      result = ParseDecimal(std::to_string(sqlite3_value_int64(value)), scale);
      break;
    case SQLITE_FLOAT:
      result = DecimalFromDouble(sqlite3_value_double(value), scale);
      break;
    default: {
      std::string_view text = Text(value);
      result = ParseDecimal(text, scale);
      if (!result) {
        double d = 0;
        if (ParseDouble(text, d)) result = DecimalFromDouble(d, scale);
      }
      if (!result) return ResultError(context, 8114, {"varchar", BaseTypeName(target.id)});
    }
  }
  const int precision = target.precision ? target.precision : 18;
  if (DecimalDigits(*result) > precision) {
    return ResultError(context, 8115, {SourceTypeName(value), BaseTypeName(target.id)});
  }
  // Whole numbers as integers, others as REAL while that is exact, else text.
  Int128 power = 1;
  for (int i = 0; i < scale; ++i) power *= 10;
  if (result->unscaled % power == 0) {
    const Int128 whole = result->unscaled / power;
    if (whole <= std::numeric_limits<std::int64_t>::max() &&
        whole >= std::numeric_limits<std::int64_t>::min()) {
      sqlite3_result_int64(context, static_cast<std::int64_t>(whole));
      return;
    }
  }
  if (DecimalDigits(*result) <= 15) {
    sqlite3_result_double(context, DecimalToDouble(*result));
    return;
  }
  ResultText(context, FormatDecimal(*result));
}

void ConvertToDateTime(sqlite3_context* context, sqlite3_value* value, const ColumnType& target) {
  std::optional<DateTime> result;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
    case SQLITE_FLOAT: {
      const double days = sqlite3_value_double(value);
      const double whole = std::floor(days);
      result = DateTime{static_cast<std::int32_t>(whole),
                        static_cast<std::uint32_t>(std::llround((days - whole) * 300.0 * 86400.0))};
      break;
    }
    case SQLITE_BLOB:
      return ResultError(context, 8114, {"varbinary", "datetime"});
    default:
      result = ParseDateTime(Text(value));
  }
  if (!result) return ResultError(context, 241);
  if (target.id == TypeId::SmallDateTime) result = RoundToMinute(*result);
  ResultText(context, FormatDateTime(*result));
}

void ConvertToCharacter(sqlite3_context* context, sqlite3_value* value, const ColumnType& target,
                        bool assignment, int style, bool fromDateTime) {
  std::string text;
  if (fromDateTime && sqlite3_value_type(value) == SQLITE_TEXT) {
    std::optional<DateTime> dateTime = ParseDateTime(Text(value));
    text = dateTime ? DateTimeStyleText(*dateTime, style) : std::string(Text(value));
  } else if (sqlite3_value_type(value) == SQLITE_BLOB) {
    text.assign(static_cast<const char*>(sqlite3_value_blob(value)),
                static_cast<std::size_t>(sqlite3_value_bytes(value)));
  } else {
    text = ValueAsText(value);
  }
  if (target.id == TypeId::Text || target.id == TypeId::NText) return ResultText(context, text);
  CodePoints points = Decode(text);
  const std::size_t length = static_cast<std::size_t>(target.length);
  if (points.size() > length) {
    // Trailing spaces beyond the length are dropped silently, as SQL Server does.
    std::size_t significant = points.size();
    while (significant > length && points[significant - 1] == U' ') --significant;
    if (significant > length && assignment) return ResultError(context, 8152);
    points.resize(length);
    text = Encode(points);
  }
  if ((target.id == TypeId::Char || target.id == TypeId::NChar) && points.size() < length) {
    text.append(length - points.size(), ' ');
  }
  ResultText(context, text);
}

void ConvertToBinary(sqlite3_context* context, sqlite3_value* value, const ColumnType& target,
                     bool assignment) {
  std::string bytes;
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      const std::int64_t number = sqlite3_value_int64(value);
      const int width = (number >= INT32_MIN && number <= INT32_MAX) ? 4 : 8;
      for (int i = width - 1; i >= 0; --i) bytes += static_cast<char>((number >> (8 * i)) & 0xFF);
      break;
    }
    case SQLITE_FLOAT:
      return ResultError(context, 8114, {"float", BaseTypeName(target.id)});
    case SQLITE_BLOB:
      bytes.assign(static_cast<const char*>(sqlite3_value_blob(value)),
                   static_cast<std::size_t>(sqlite3_value_bytes(value)));
      break;
    default:
      bytes = std::string(Text(value));
  }
  if (target.id != TypeId::Image) {
    const std::size_t length = static_cast<std::size_t>(target.length);
    if (bytes.size() > length) {
      if (assignment) return ResultError(context, 8152);
      bytes.resize(length);
    }
    if (target.id == TypeId::Binary && bytes.size() < length)
      bytes.append(length - bytes.size(), '\0');
  }
  sqlite3_result_blob(context, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void ConvertToGuid(sqlite3_context* context, sqlite3_value* value) {
  if (sqlite3_value_type(value) == SQLITE_BLOB && sqlite3_value_bytes(value) == 16) {
    Guid guid;
    std::memcpy(guid.bytes.data(), sqlite3_value_blob(value), 16);
    return ResultText(context, FormatGuid(guid));
  }
  if (sqlite3_value_type(value) != SQLITE_TEXT) return ResultError(context, 8169);
  std::optional<Guid> guid = ParseGuid(Text(value));
  if (!guid) return ResultError(context, 8169);
  ResultText(context, FormatGuid(*guid));
}

void DeleteType(void* type) {
  delete static_cast<ColumnType*>(type);
}

struct Civil {
  int year, month, day, hour, minute, second, millisecond;
};

std::optional<Civil> ToCivil(sqlite3_value* value) {
  std::optional<DateTime> dateTime = ParseDateTime(Text(value));
  if (!dateTime) return std::nullopt;
  const std::string text = FormatDateTime(*dateTime);
  return Civil{std::stoi(text.substr(0, 4)),  std::stoi(text.substr(5, 2)),
               std::stoi(text.substr(8, 2)),  std::stoi(text.substr(11, 2)),
               std::stoi(text.substr(14, 2)), std::stoi(text.substr(17, 2)),
               std::stoi(text.substr(20, 3))};
}

std::string NormalPart(std::string_view part) {
  std::string upper;
  for (char c : part) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const std::pair<const char*, const char*> kAliases[] = {
      {"YY", "YEAR"},    {"YYYY", "YEAR"}, {"QQ", "QUARTER"},    {"Q", "QUARTER"},
      {"MM", "MONTH"},   {"M", "MONTH"},   {"DY", "DAYOFYEAR"},  {"Y", "DAYOFYEAR"},
      {"DD", "DAY"},     {"D", "DAY"},     {"WK", "WEEK"},       {"WW", "WEEK"},
      {"DW", "WEEKDAY"}, {"HH", "HOUR"},   {"MI", "MINUTE"},     {"N", "MINUTE"},
      {"SS", "SECOND"},  {"S", "SECOND"},  {"MS", "MILLISECOND"}};
  for (const auto& [alias, name] : kAliases) {
    if (upper == alias) return name;
  }
  return upper;
}

}  // namespace

void ConvertFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  sqlite3_value* value = argv[0];
  if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(context);
  auto* target = static_cast<ColumnType*>(sqlite3_get_auxdata(context, 1));
  if (!target) {
    std::optional<ColumnType> parsed = ParseDeclaredType(Text(argv[1]));
    if (!parsed) return ResultError(context, kErrorStorage, {"unknown type in conversion"});
    target = new ColumnType(*parsed);
    sqlite3_set_auxdata(context, 1, target, DeleteType);
    target = static_cast<ColumnType*>(sqlite3_get_auxdata(context, 1));
    if (!target) target = &*parsed;  // auxdata may be dropped; the parsed copy still holds
    if (!target) return;
  }
  const ColumnType type = *target;
  const bool assignment = sqlite3_value_int(argv[2]) != 0;
  const int style = sqlite3_value_type(argv[3]) == SQLITE_NULL ? 0 : sqlite3_value_int(argv[3]);
  const bool fromDateTime = sqlite3_value_int(argv[4]) != 0;
  if (IsInteger(type.id)) return ConvertToInteger(context, value, type);
  if (type.id == TypeId::Float || type.id == TypeId::Real) {
    double d = 0;
    if (sqlite3_value_type(value) == SQLITE_TEXT && !ParseDouble(Text(value), d)) {
      return ResultError(context, 8114, {"varchar", BaseTypeName(type.id)});
    }
    if (sqlite3_value_type(value) != SQLITE_TEXT) d = sqlite3_value_double(value);
    if (type.id == TypeId::Real) d = static_cast<float>(d);
    return sqlite3_result_double(context, d);
  }
  if (IsExactNumeric(type.id)) return ConvertToDecimal(context, value, type);
  if (IsDateTime(type.id)) return ConvertToDateTime(context, value, type);
  if (IsCharacter(type.id))
    return ConvertToCharacter(context, value, type, assignment, style, fromDateTime);
  if (IsBinary(type.id)) return ConvertToBinary(context, value, type, assignment);
  ConvertToGuid(context, value);
}

void DatePart(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const std::string part = NormalPart(Text(argv[0]));
  std::optional<DateTime> dateTime = ParseDateTime(Text(argv[1]));
  std::optional<Civil> civil = ToCivil(argv[1]);
  if (!civil || !dateTime) return ResultError(context, 241);
  std::int64_t result = 0;
  if (part == "YEAR")
    result = civil->year;
  else if (part == "QUARTER")
    result = (civil->month - 1) / 3 + 1;
  else if (part == "MONTH")
    result = civil->month;
  else if (part == "DAY")
    result = civil->day;
  else if (part == "DAYOFYEAR") {
    std::optional<DateTime> first = ParseDateTime(std::to_string(civil->year) + "-01-01");
    result = dateTime->days - first->days + 1;
  } else if (part == "WEEKDAY")
    result = (dateTime->days + 1) % 7 + 1;  // 1900-01-01 was a Monday; Sunday = 1
  else if (part == "WEEK") {
    std::optional<DateTime> first = ParseDateTime(std::to_string(civil->year) + "-01-01");
    result = ((dateTime->days + 1) / 7) - ((first->days + 1) / 7) + 1;
  } else if (part == "HOUR")
    result = civil->hour;
  else if (part == "MINUTE")
    result = civil->minute;
  else if (part == "SECOND")
    result = civil->second;
  else if (part == "MILLISECOND")
    result = civil->millisecond;
  else
    return ResultError(context, kErrorUnsupported, {"the date part " + part});
  sqlite3_result_int64(context, result);
}

void DateAdd(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const std::string part = NormalPart(Text(argv[0]));
  const std::int64_t amount = sqlite3_value_int64(argv[1]);
  std::optional<DateTime> dateTime = ParseDateTime(Text(argv[2]));
  std::optional<Civil> civil = ToCivil(argv[2]);
  if (!dateTime || !civil) return ResultError(context, 241);
  std::int64_t ticks = static_cast<std::int64_t>(dateTime->days) * 300 * 86400 + dateTime->ticks;
  if (part == "YEAR" || part == "QUARTER" || part == "MONTH") {
    const std::int64_t months = part == "YEAR"      ? amount * 12
                                : part == "QUARTER" ? amount * 3
                                                    : amount;
    std::int64_t total = civil->year * 12LL + (civil->month - 1) + months;
    const int year = static_cast<int>(total / 12), month = static_cast<int>(total % 12) + 1;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int day = std::min(civil->day, kDays[month - 1] + (month == 2 && leap ? 1 : 0));
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    std::optional<DateTime> moved = ParseDateTime(buffer);
    if (!moved) return ResultError(context, 8115, {"expression", "datetime"});
    ticks = static_cast<std::int64_t>(moved->days) * 300 * 86400 + dateTime->ticks;
  } else {
    std::int64_t unit = 0;
    if (part == "DAY" || part == "DAYOFYEAR" || part == "WEEKDAY")
      unit = 300LL * 86400;
    else if (part == "WEEK")
      unit = 7 * 300LL * 86400;
    else if (part == "HOUR")
      unit = 300LL * 3600;
    else if (part == "MINUTE")
      unit = 300LL * 60;
    else if (part == "SECOND")
      unit = 300;
    if (part == "MILLISECOND")
      ticks += (amount * 3 + (amount >= 0 ? 5 : -5)) / 10;
    else if (unit == 0)
      return ResultError(context, kErrorUnsupported, {"the date part " + part});
    else
      ticks += amount * unit;
  }
  const std::int64_t perDay = 300LL * 86400;
  std::int64_t days = ticks >= 0 ? ticks / perDay : (ticks - perDay + 1) / perDay;
  DateTime out{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks - days * perDay)};
  ResultText(context, FormatDateTime(out));
}

void DateDiff(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const std::string part = NormalPart(Text(argv[0]));
  std::optional<DateTime> a = ParseDateTime(Text(argv[1])), b = ParseDateTime(Text(argv[2]));
  std::optional<Civil> ca = ToCivil(argv[1]), cb = ToCivil(argv[2]);
  if (!a || !b || !ca || !cb) return ResultError(context, 241);
  // DATEDIFF counts boundaries crossed, not elapsed units.
  auto secondsOf = [](const DateTime& d, const Civil& c) {
    return static_cast<std::int64_t>(d.days) * 86400 + c.hour * 3600 + c.minute * 60 + c.second;
  };
  std::int64_t result = 0;
  if (part == "YEAR")
    result = cb->year - ca->year;
  else if (part == "QUARTER")
    result = (cb->year * 4 + (cb->month - 1) / 3) - (ca->year * 4 + (ca->month - 1) / 3);
  else if (part == "MONTH")
    result = (cb->year * 12 + cb->month) - (ca->year * 12 + ca->month);
  else if (part == "DAY" || part == "DAYOFYEAR" || part == "WEEKDAY")
    result = b->days - a->days;
  else if (part == "WEEK")
    result = (b->days + 1) / 7 - (a->days + 1) / 7;
  else if (part == "HOUR")
    result = secondsOf(*b, *cb) / 3600 - secondsOf(*a, *ca) / 3600;
  else if (part == "MINUTE")
    result = secondsOf(*b, *cb) / 60 - secondsOf(*a, *ca) / 60;
  else if (part == "SECOND")
    result = secondsOf(*b, *cb) - secondsOf(*a, *ca);
  else if (part == "MILLISECOND")
    result = (secondsOf(*b, *cb) * 1000 + cb->millisecond) -
             (secondsOf(*a, *ca) * 1000 + ca->millisecond);
  else
    return ResultError(context, kErrorUnsupported, {"the date part " + part});
  sqlite3_result_int64(context, result);
}

void GetDate(sqlite3_context* context, int, sqlite3_value**) {
  ResultText(context, CurrentDateTimeText());
}

}  // namespace standin::engine::sqlfunctions
