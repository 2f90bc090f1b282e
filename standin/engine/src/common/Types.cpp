// Type names, precedence and exact text forms of T-SQL values.
#include "common/Types.h"
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace standin::engine {
namespace {

struct TypeEntry {
  const char* name;
  TypeId id;
};

constexpr TypeEntry kTypeNames[] = {
    {"bit", TypeId::Bit},
    {"tinyint", TypeId::TinyInt},
    {"smallint", TypeId::SmallInt},
    {"int", TypeId::Int},
    {"integer", TypeId::Int},
    {"bigint", TypeId::BigInt},
    {"real", TypeId::Real},
    {"float", TypeId::Float},
    {"decimal", TypeId::Decimal},
    {"dec", TypeId::Decimal},
    {"numeric", TypeId::Numeric},
    {"money", TypeId::Money},
    {"smallmoney", TypeId::SmallMoney},
    {"datetime", TypeId::DateTime},
    {"smalldatetime", TypeId::SmallDateTime},
    {"char", TypeId::Char},
    {"character", TypeId::Char},
    {"varchar", TypeId::VarChar},
    {"text", TypeId::Text},
    {"nchar", TypeId::NChar},
    {"nvarchar", TypeId::NVarChar},
    {"ntext", TypeId::NText},
    {"binary", TypeId::Binary},
    {"varbinary", TypeId::VarBinary},
    {"image", TypeId::Image},
    {"uniqueidentifier", TypeId::UniqueIdentifier},
    {"sysname", TypeId::NVarChar},
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// Days from 0000-03-01 style civil calendar (Howard Hinnant's algorithm),
// shifted so 1900-01-01 is day 0.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 - (-25567);
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468 + (-25567);
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}

bool ReadNumber(std::string_view& text, int minDigits, int maxDigits, int& out) {
  int digits = 0;
  out = 0;
  while (!text.empty() && digits < maxDigits && std::isdigit(static_cast<unsigned char>(text[0]))) {
    out = out * 10 + (text[0] - '0');
    text.remove_prefix(1);
    ++digits;
  }
  return digits >= minDigits;
}

bool ValidDate(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1753 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "HH:MM[:SS[.fff]]" with optional AM/PM; milliseconds in *ms.
bool ParseTime(std::string_view text, std::int64_t& ms) {
  int hour = 0, minute = 0, second = 0, fraction = 0, fractionDigits = 0;
  if (!ReadNumber(text, 1, 2, hour) || text.empty() || text[0] != ':') return false;
  text.remove_prefix(1);
  if (!ReadNumber(text, 1, 2, minute)) return false;
  if (!text.empty() && text[0] == ':') {
    text.remove_prefix(1);
    if (!ReadNumber(text, 1, 2, second)) return false;
    if (!text.empty() && (text[0] == '.' || text[0] == ':')) {
      text.remove_prefix(1);
      while (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        if (fractionDigits < 3) {
          fraction = fraction * 10 + (text[0] - '0');
          ++fractionDigits;
        }
        text.remove_prefix(1);
      }
      while (fractionDigits > 0 && fractionDigits < 3) {
        fraction *= 10;
        ++fractionDigits;
      }
    }
  }
  text = Trim(text);
  if (EqualsNoCase(text, "PM")) {
    if (hour < 12) hour += 12;
  } else if (EqualsNoCase(text, "AM")) {
    if (hour == 12) hour = 0;
  } else if (!text.empty()) {
    return false;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  ms = ((hour * 60 + minute) * 60 + second) * 1000LL + fraction;
  return true;
}

}  // namespace

std::optional<ColumnType> ParseTypeName(std::string_view name, std::int32_t length, int precision,
                                        int scale) {
  for (const TypeEntry& entry : kTypeNames) {
    if (!EqualsNoCase(name, entry.name)) continue;
    ColumnType type;
    type.id = entry.id;
    switch (entry.id) {
      case TypeId::Char:
      case TypeId::VarChar:
      case TypeId::NChar:
      case TypeId::NVarChar:
      case TypeId::Binary:
      case TypeId::VarBinary:
        type.length = length > 0 ? length : 1;
        if (EqualsNoCase(name, "sysname")) type.length = 128;
        break;
      case TypeId::Decimal:
      case TypeId::Numeric:
        type.precision = static_cast<std::uint8_t>(precision > 0 ? precision : 18);
        type.scale = static_cast<std::uint8_t>(scale > 0 ? scale : 0);
        break;
      case TypeId::Money:
        type.precision = 19;
        type.scale = 4;
        break;
      case TypeId::SmallMoney:
        type.precision = 10;
        type.scale = 4;
        break;
      case TypeId::Float:
        // float(n) with n <= 24 is real.
        if (length > 0 && length <= 24) type.id = TypeId::Real;
        break;
      default:
        break;
    }
    return type;
  }
  return std::nullopt;
}

std::string BaseTypeName(TypeId id) {
  switch (id) {
    case TypeId::Bit:
      return "bit";
    case TypeId::TinyInt:
      return "tinyint";
    case TypeId::SmallInt:
      return "smallint";
    case TypeId::Int:
      return "int";
    case TypeId::BigInt:
      return "bigint";
    case TypeId::Real:
      return "real";
    case TypeId::Float:
      return "float";
    case TypeId::Decimal:
      return "decimal";
    case TypeId::Numeric:
      return "numeric";
    case TypeId::Money:
      return "money";
    case TypeId::SmallMoney:
      return "smallmoney";
    case TypeId::DateTime:
      return "datetime";
    case TypeId::SmallDateTime:
      return "smalldatetime";
    case TypeId::Char:
      return "char";
    case TypeId::VarChar:
      return "varchar";
    case TypeId::Text:
      return "text";
    case TypeId::NChar:
      return "nchar";
    case TypeId::NVarChar:
      return "nvarchar";
    case TypeId::NText:
      return "ntext";
    case TypeId::Binary:
      return "binary";
    case TypeId::VarBinary:
      return "varbinary";
    case TypeId::Image:
      return "image";
    case TypeId::UniqueIdentifier:
      return "uniqueidentifier";
  }
  return "int";
}

std::string TypeName(const ColumnType& type) {
  std::string name = BaseTypeName(type.id);
  switch (type.id) {
    case TypeId::Char:
    case TypeId::VarChar:
    case TypeId::NChar:
    case TypeId::NVarChar:
    case TypeId::Binary:
    case TypeId::VarBinary:
      return name + "(" + std::to_string(type.length) + ")";
    case TypeId::Decimal:
    case TypeId::Numeric:
      return name + "(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
    default:
      return name;
  }
}

bool IsCharacter(TypeId id) {
  return id == TypeId::Char || id == TypeId::VarChar || id == TypeId::Text || IsUnicode(id);
}
bool IsUnicode(TypeId id) {
  return id == TypeId::NChar || id == TypeId::NVarChar || id == TypeId::NText;
}
bool IsBinary(TypeId id) {
  return id == TypeId::Binary || id == TypeId::VarBinary || id == TypeId::Image;
}
bool IsInteger(TypeId id) {
  return id == TypeId::Bit || id == TypeId::TinyInt || id == TypeId::SmallInt ||
         id == TypeId::Int || id == TypeId::BigInt;
}
bool IsExactNumeric(TypeId id) {
  return IsInteger(id) || id == TypeId::Decimal || id == TypeId::Numeric || id == TypeId::Money ||
         id == TypeId::SmallMoney;
}
bool IsNumeric(TypeId id) {
  return IsExactNumeric(id) || id == TypeId::Real || id == TypeId::Float;
}
bool IsDateTime(TypeId id) {
  return id == TypeId::DateTime || id == TypeId::SmallDateTime;
}

int Precedence(TypeId id) {
  switch (id) {
    case TypeId::DateTime:
      return 24;
    case TypeId::SmallDateTime:
      return 23;
    case TypeId::Float:
      return 22;
    case TypeId::Real:
      return 21;
    case TypeId::Decimal:
    case TypeId::Numeric:
      return 20;
    case TypeId::Money:
      return 19;
    case TypeId::SmallMoney:
      return 18;
    case TypeId::BigInt:
      return 17;
    case TypeId::Int:
      return 16;
    case TypeId::SmallInt:
      return 15;
    case TypeId::TinyInt:
      return 14;
    case TypeId::Bit:
      return 13;
    case TypeId::NText:
      return 12;
    case TypeId::Text:
      return 11;
    case TypeId::Image:
      return 10;
    case TypeId::UniqueIdentifier:
      return 9;
    case TypeId::NVarChar:
      return 8;
    case TypeId::NChar:
      return 7;
    case TypeId::VarChar:
      return 6;
    case TypeId::Char:
      return 5;
    case TypeId::VarBinary:
      return 4;
    case TypeId::Binary:
      return 3;
  }
  return 0;
}

std::optional<DateTime> ParseDateTime(std::string_view text) {
  text = Trim(text);
  int year = 1900, month = 1, day = 1;
  std::int64_t ms = 0;
  std::string_view rest = text;
  int first = 0;
  std::string_view probe = rest;
  const bool startsWithNumber = ReadNumber(probe, 1, 8, first);
  const std::size_t firstDigits = rest.size() - probe.size();
  if (startsWithNumber && !probe.empty() && probe[0] == ':') {
    if (!ParseTime(rest, ms)) return std::nullopt;  // time only: 1900-01-01
  } else if (startsWithNumber && firstDigits == 8 &&
             (probe.empty() || probe[0] == ' ' || probe[0] == 'T')) {
    // ISO unseparated: YYYYMMDD
    year = first / 10000;
    month = first / 100 % 100;
    day = first % 100;
    rest = probe;
  } else if (startsWithNumber && firstDigits == 4 && !probe.empty() &&
             (probe[0] == '-' || probe[0] == '/' || probe[0] == '.')) {
    const char separator = probe[0];
    year = first;
    probe.remove_prefix(1);
    if (!ReadNumber(probe, 1, 2, month) || probe.empty() || probe[0] != separator)
      return std::nullopt;
    probe.remove_prefix(1);
    if (!ReadNumber(probe, 1, 2, day)) return std::nullopt;
    rest = probe;
  } else if (startsWithNumber && firstDigits <= 2 && !probe.empty() &&
             (probe[0] == '/' || probe[0] == '-' || probe[0] == '.')) {
    // mdy, the us_english default DATEFORMAT
    const char separator = probe[0];
    month = first;
    probe.remove_prefix(1);
    if (!ReadNumber(probe, 1, 2, day) || probe.empty() || probe[0] != separator)
      return std::nullopt;
    probe.remove_prefix(1);
    if (!ReadNumber(probe, 2, 4, year)) return std::nullopt;
    if (year < 100) year += year < 50 ? 2000 : 1900;
    rest = probe;
  } else {
    return std::nullopt;
  }
  if (rest.data() != text.data()) {
    if (!rest.empty() && (rest[0] == 'T' || rest[0] == ' ')) {
      rest.remove_prefix(1);
      rest = Trim(rest);
      if (!rest.empty() && !ParseTime(rest, ms)) return std::nullopt;
    } else if (!Trim(rest).empty()) {
      return std::nullopt;
    }
  }
  if (!ValidDate(year, month, day)) return std::nullopt;
  std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  // Milliseconds round to the nearest 1/300 s tick, as SQL Server stores them.
  std::int64_t ticks = (ms * 3 + 5) / 10;
  if (ticks >= 300LL * 86400) {
    ticks -= 300LL * 86400;
    ++days;
  }
  return DateTime{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks)};
}

std::string FormatDateTime(const DateTime& value) {
  std::int64_t year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(value.days, year, month, day);
  const std::int64_t ms = (static_cast<std::int64_t>(value.ticks) * 10 + 1) / 3;
  const std::int64_t seconds = ms / 1000;
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(year), month, day, static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60),
                static_cast<long long>(ms % 1000));
  return buffer;
}

DateTime RoundToMinute(const DateTime& value) {
  constexpr std::uint32_t kTicksPerMinute = 300 * 60;
  // smalldatetime rounds 29.998 s down and 29.999 s up.
  std::uint32_t minutes = (value.ticks + kTicksPerMinute / 2 - 1) / kTicksPerMinute;
  DateTime out{value.days, minutes * kTicksPerMinute};
  if (out.ticks >= 300u * 86400u) {
    out.ticks -= 300u * 86400u;
    ++out.days;
  }
  return out;
}

std::optional<Guid> ParseGuid(std::string_view text) {
  text = Trim(text);
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  std::uint8_t raw[16];
  int index = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return std::nullopt;
      ++i;
      continue;
    }
    unsigned value = 0;
    auto result = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
    if (result.ptr != text.data() + i + 2) return std::nullopt;
    raw[index++] = static_cast<std::uint8_t>(value);
    i += 2;
  }
  // The text is big-endian; SQL Server keeps the first three groups little-endian.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  Guid guid;
  for (int i = 0; i < 16; ++i) guid.bytes[i] = raw[kOrder[i]];
  return guid;
}

std::string FormatGuid(const Guid& value) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string out;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    const std::uint8_t byte = value.bytes[kOrder[i]];
    out += kHex[byte >> 4];
    out += kHex[byte & 15];
  }
  return out;
}

std::optional<Decimal> ParseDecimal(std::string_view text, int scale) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (!text.empty() && text[0] == '$') text.remove_prefix(1);
  Int128 unscaled = 0;
  int fractionDigits = 0;
  bool seenPoint = false, seenDigit = false, roundUp = false;
  for (char c : text) {
    if (c == '.' && !seenPoint) {
      seenPoint = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    seenDigit = true;
    if (seenPoint && fractionDigits >= scale) {
      if (fractionDigits == scale) roundUp = c >= '5';
      ++fractionDigits;
      continue;
    }
    if (unscaled > (static_cast<Int128>(1) << 120)) return std::nullopt;
    unscaled = unscaled * 10 + (c - '0');
    if (seenPoint) ++fractionDigits;
  }
  if (!seenDigit) return std::nullopt;
  for (int i = std::min(fractionDigits, scale); i < scale; ++i) unscaled *= 10;
  if (roundUp) ++unscaled;
  return Decimal{negative ? -unscaled : unscaled, static_cast<std::uint8_t>(scale)};
}

std::string FormatDecimal(const Decimal& value) {
  Int128 magnitude = value.unscaled < 0 ? -value.unscaled : value.unscaled;
  std::string digits;
  do {
    digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  while (digits.size() <= value.scale) digits += '0';
  std::reverse(digits.begin(), digits.end());
  if (value.scale > 0) digits.insert(digits.size() - value.scale, ".");
  if (value.unscaled < 0) digits.insert(0, "-");
  return digits;
}

Decimal DecimalFromDouble(double value, int scale) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", scale, value);
  return ParseDecimal(buffer, scale).value_or(Decimal{0, static_cast<std::uint8_t>(scale)});
}

double DecimalToDouble(const Decimal& value) {
  return std::strtod(FormatDecimal(value).c_str(), nullptr);
}

int DecimalDigits(const Decimal& value) {
  Int128 magnitude = value.unscaled < 0 ? -value.unscaled : value.unscaled;
  int digits = 0;
  while (magnitude != 0) {
    magnitude /= 10;
    ++digits;
  }
  return digits;
}

std::string FormatDouble(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace standin::engine
