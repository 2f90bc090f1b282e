#include "support/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/Error.h"
#include "support/Helpers.h"

namespace bw {

namespace {

constexpr std::int32_t kTypeMismatch = 13;

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30, day zero of OLE dates, counted from 1970-01-01.
constexpr std::int64_t kOleEpochFromUnix = -25569;

std::string DoubleText(double value) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (auto byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

bool ParseNumber(const std::string& text, double& out) {
  std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  if (!trimmed.empty() && trimmed[0] == '+') trimmed.erase(0, 1);
  auto [ptr, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), out);
  return ec == std::errc() && ptr == trimmed.data() + trimmed.size();
}

}  // namespace

DateValue MakeDate(int year, int month, int day, int hour, int minute, int second) {
  double days = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kOleEpochFromUnix);
  return DateValue{days + (hour * 3600 + minute * 60 + second) / 86400.0};
}

DateParts SplitDate(DateValue date) {
  // OLE dates before day zero keep the time as a positive fraction.
  double whole = std::trunc(date.oleDate);
  double fraction = std::fabs(date.oleDate - whole);
  auto days = static_cast<std::int64_t>(whole);
  auto secondsOfDay = static_cast<int>(std::llround(fraction * 86400.0));
  if (secondsOfDay >= 86400) {
    secondsOfDay -= 86400;
    days += date.oleDate < 0 ? -1 : 1;
  }
  DateParts parts{};
  CivilFromDays(days + kOleEpochFromUnix, parts.year, parts.month, parts.day);
  parts.hour = secondsOfDay / 3600;
  parts.minute = secondsOfDay / 60 % 60;
  parts.second = secondsOfDay % 60;
  // 1899-12-30 was a Saturday.
  parts.dayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
  return parts;
}

bool Variant::IsNumeric() const {
  switch (GetKind()) {
    case Kind::Integer:
    case Kind::Double:
    case Kind::Boolean:
      return true;
    case Kind::Text: {
      double ignored = 0;
      return ParseNumber(std::get<std::string>(m_Value), ignored);
    }
    default:
      return false;
  }
}

std::string Variant::ToText() const {
  switch (GetKind()) {
    case Kind::Empty:
    case Kind::Null:
      return {};
    case Kind::Integer:
      return std::to_string(std::get<std::int64_t>(m_Value));
    case Kind::Double:
      return DoubleText(std::get<double>(m_Value));
    case Kind::Text:
      return std::get<std::string>(m_Value);
    case Kind::Date: {
      DateParts p = SplitDate(std::get<DateValue>(m_Value));
      char buffer[40];
      if (p.hour == 0 && p.minute == 0 && p.second == 0) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
      } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month,
                      p.day, p.hour, p.minute, p.second);
      }
      return buffer;
    }
    case Kind::Bytes:
      return HexText(std::get<std::vector<std::uint8_t>>(m_Value));
    case Kind::Guid:
      return std::get<GuidValue>(m_Value).text;
    case Kind::Boolean:
      return std::get<bool>(m_Value) ? "True" : "False";
  }
  return {};
}

double Variant::ToDouble() const {
  switch (GetKind()) {
    case Kind::Empty:
      return 0;
    case Kind::Integer:
      return static_cast<double>(std::get<std::int64_t>(m_Value));
    case Kind::Double:
      return std::get<double>(m_Value);
    case Kind::Boolean:
      return std::get<bool>(m_Value) ? -1 : 0;
    case Kind::Date:
      return std::get<DateValue>(m_Value).oleDate;
    case Kind::Text: {
      double value = 0;
      if (ParseNumber(std::get<std::string>(m_Value), value)) return value;
      break;
    }
    default:
      break;
  }
  throw Error(kTypeMismatch, "Variant", "Type mismatch");
}

std::int64_t Variant::ToInteger() const {
  if (GetKind() == Kind::Integer) return std::get<std::int64_t>(m_Value);
  return static_cast<std::int64_t>(std::nearbyint(ToDouble()));
}

bool Variant::ToBoolean() const {
  switch (GetKind()) {
    case Kind::Empty:
    case Kind::Null:
      return false;
    case Kind::Boolean:
      return std::get<bool>(m_Value);
    case Kind::Text: {
      const std::string& text = std::get<std::string>(m_Value);
      if (text.size() == 4 && (text[0] == 'T' || text[0] == 't') &&
          (text.substr(1) == "rue" || text.substr(1) == "RUE")) {
        return true;
      }
      if (text.size() == 5 && (text[0] == 'F' || text[0] == 'f') &&
          (text.substr(1) == "alse" || text.substr(1) == "ALSE")) {
        return false;
      }
      return ToDouble() != 0;
    }
    default:
      return ToDouble() != 0;
  }
}

}  // namespace bw
