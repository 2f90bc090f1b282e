// A small variant for values that travel between SQL results, placeholders
// and the console: empty, null, integer, double, text, date, bytes, GUID and
// boolean, with the conversions the console relies on.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace bw {

// A point in time as an OLE automation date: days since 1899-12-30, the
// fraction being the time of day. Day 37622 is 1 January 2003.
struct DateValue {
  double oleDate = 0;
  bool operator==(const DateValue&) const = default;
};

// A GUID in its registry text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct GuidValue {
  std::string text;
  bool operator==(const GuidValue&) const = default;
};

struct NullValue {
  bool operator==(const NullValue&) const = default;
};

class Variant {
 public:
  enum class Kind { Empty, Null, Integer, Double, Text, Date, Bytes, Guid, Boolean };

  Variant() = default;
  Variant(int value) : m_Value(static_cast<std::int64_t>(value)) {}
  Variant(std::int64_t value) : m_Value(value) {}
  Variant(double value) : m_Value(value) {}
  Variant(bool value) : m_Value(value) {}
  Variant(const char* value) : m_Value(std::string(value)) {}
  Variant(std::string value) : m_Value(std::move(value)) {}
  Variant(DateValue value) : m_Value(value) {}
  Variant(GuidValue value) : m_Value(std::move(value)) {}
  Variant(std::vector<std::uint8_t> value) : m_Value(std::move(value)) {}
  static Variant Null() {
    Variant v;
    v.m_Value = NullValue{};
    return v;
  }

  Kind GetKind() const { return static_cast<Kind>(m_Value.index()); }
  bool IsNull() const { return GetKind() == Kind::Null; }
  bool IsEmpty() const { return GetKind() == Kind::Empty; }
  bool IsNumeric() const;

  // The text form: numbers in the shortest form that reads back to the same
  // value (up to 15 significant digits for doubles), booleans "True"/"False",
  // dates "YYYY-MM-DD HH:MM:SS" (the time left off at midnight), bytes as
  // upper-case hex; empty and null give "".
  std::string ToText() const;
  // The number of a text ("12", " 3.5 "), of a boolean (True = -1, as the
  // console's sources expect), of a date (its OLE date). Throws bw::Error
  // (type mismatch, 13) when there is none.
  double ToDouble() const;
  std::int64_t ToInteger() const;  // rounds half to even, like CLng
  // 1/0, "True"/"False" and numbers: nonzero is true. Null and empty are false.
  bool ToBoolean() const;

  const std::string* Text() const { return std::get_if<std::string>(&m_Value); }
  const std::vector<std::uint8_t>* Bytes() const {
    return std::get_if<std::vector<std::uint8_t>>(&m_Value);
  }

  bool operator==(const Variant&) const = default;

 private:
  // Order matches Kind.
  std::variant<std::monostate, NullValue, std::int64_t, double, std::string, DateValue,
               std::vector<std::uint8_t>, GuidValue, bool>
      m_Value;
};

// Formats `value` with a format pattern: number patterns with the digit
// placeholders "0" and "#", a decimal point and grouping commas; date patterns
// with d, dd, ddd, dddd, w, ww, m, mm, mmm, mmmm, yy, yyyy, h, hh, n, nn, s,
// ss (weeks start on Sunday; week 1 holds January 1). Other characters stand
// for themselves; a backslash takes the next character literally.
std::string FormatValue(const Variant& value, const std::string& pattern);

// Calendar helpers for OLE dates.
DateValue MakeDate(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
struct DateParts {
  int year, month, day, hour, minute, second, dayOfWeek;  // dayOfWeek: 1 = Sunday
};
DateParts SplitDate(DateValue date);

}  // namespace bw
