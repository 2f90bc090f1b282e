// Format patterns for placeholders that carry one, e.g. "[#,##0.00]" or
// "[yyyy-mm-dd]". No text of the table uses them; they exist so that a caller
// who writes one gets the well-known behaviour, not a surprise.
#include <cmath>
#include <cstdio>
#include <string>

#include "support/Variant.h"

namespace bw {

namespace {

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

bool IsNumberPattern(const std::string& pattern) {
  bool escaped = false;
  for (char c : pattern) {
    if (escaped) {
      escaped = false;
    } else if (c == '\\') {
      escaped = true;
    } else if (c == '0' || c == '#') {
      return true;
    }
  }
  return false;
}

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string FormatNumber(double value, const std::string& pattern) {
  // Split the pattern into literal prefix, the run of placeholders, literal suffix.
  std::string prefix, suffix;
  int intZeros = 0, decZeros = 0, decHashes = 0;
  bool grouping = false, hasPoint = false, inRun = false, runDone = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    bool placeholder = c == '0' || c == '#' || (inRun && (c == '.' || c == ','));
    if (!inRun && c == '.' && i + 1 < pattern.size() &&
        (pattern[i + 1] == '0' || pattern[i + 1] == '#')) {
      placeholder = true;
    }
    if (c == '\\' && i + 1 < pattern.size()) {
      (inRun || runDone ? suffix : prefix).push_back(pattern[++i]);
      if (inRun) runDone = true, inRun = false;
      continue;
    }
    if (placeholder && !runDone) {
      inRun = true;
      if (c == '.') {
        hasPoint = true;
      } else if (c == ',') {
        if (!hasPoint) grouping = true;
      } else if (hasPoint) {
        (c == '0' ? decZeros : decHashes)++;
      } else if (c == '0') {
        ++intZeros;
      }
      continue;
    }
    if (inRun) runDone = true, inRun = false;
    (runDone ? suffix : prefix).push_back(c);
  }

  const int decimals = decZeros + decHashes;
  const bool negative = std::signbit(value) && std::fabs(value) > 0;
  // Half away from zero, as the console's runtime rounds for display.
  double scale = std::pow(10.0, decimals);
  double rounded = std::round(std::fabs(value) * scale) / scale;
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, rounded);
  std::string digits = buffer;
  std::string intDigits = digits.substr(0, digits.find('.'));
  std::string fracDigits = decimals > 0 ? digits.substr(digits.find('.') + 1) : "";
  if (intDigits == "0") intDigits.clear();
  while (static_cast<int>(intDigits.size()) < intZeros) intDigits.insert(0, "0");
  if (grouping) {
    for (int i = static_cast<int>(intDigits.size()) - 3; i > 0; i -= 3) intDigits.insert(i, ",");
  }
  while (static_cast<int>(fracDigits.size()) > decZeros && !fracDigits.empty() &&
         fracDigits.back() == '0') {
    fracDigits.pop_back();
  }
  std::string text = intDigits;
  if (hasPoint) text += "." + fracDigits;
  bool allZero = rounded == 0;
  return (negative && !allZero ? "-" : "") + prefix + text + suffix;
}

std::string FormatDate(DateValue date, const std::string& pattern) {
  DateParts p = SplitDate(date);
  DateValue januaryFirst = MakeDate(p.year, 1, 1);
  int dayOfYear = static_cast<int>(std::floor(date.oleDate) - januaryFirst.oleDate) + 1;
  int januaryFirstWeekday = SplitDate(januaryFirst).dayOfWeek;
  int weekOfYear = (dayOfYear - 1 + januaryFirstWeekday - 1) / 7 + 1;

  std::string out;
  bool afterHour = false;
  for (std::size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    std::size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    auto take = [&](std::size_t n) { i += n; };
    switch (c) {
      case '\\':
        if (i + 1 < pattern.size()) out.push_back(pattern[i + 1]);
        take(2);
        continue;
      case 'd':
        if (run >= 4)
          out += kDayNames[p.dayOfWeek - 1], take(4);
        else if (run == 3)
          out += std::string(kDayNames[p.dayOfWeek - 1]).substr(0, 3), take(3);
        else if (run == 2)
          out += TwoDigits(p.day), take(2);
        else
          out += std::to_string(p.day), take(1);
        afterHour = false;
        continue;
      case 'w':
        if (run >= 2)
          out += std::to_string(weekOfYear), take(2);
        else
          out += std::to_string(p.dayOfWeek), take(1);
        continue;
      case 'm':
        if (afterHour && run <= 2) {
          out += run == 2 ? TwoDigits(p.minute) : std::to_string(p.minute);
          take(run);
        } else if (run >= 4) {
          out += kMonthNames[p.month - 1], take(4);
        } else if (run == 3) {
          out += std::string(kMonthNames[p.month - 1]).substr(0, 3), take(3);
        } else {
          out += run == 2 ? TwoDigits(p.month) : std::to_string(p.month);
          take(run);
        }
        afterHour = false;
        continue;
      case 'y':
        if (run >= 4)
          out += std::to_string(p.year), take(4);
        else if (run >= 2)
          out += TwoDigits(p.year % 100), take(2);
        else
          out += std::to_string(dayOfYear), take(1);
        continue;
      case 'h':
        out += run >= 2 ? TwoDigits(p.hour) : std::to_string(p.hour);
        take(run >= 2 ? 2 : 1);
        afterHour = true;
        continue;
      case 'n':
        out += run >= 2 ? TwoDigits(p.minute) : std::to_string(p.minute);
        take(run >= 2 ? 2 : 1);
        continue;
      case 's':
        out += run >= 2 ? TwoDigits(p.second) : std::to_string(p.second);
        take(run >= 2 ? 2 : 1);
        continue;
      default:
        out.push_back(c);
        take(1);
    }
  }
  return out;
}

}  // namespace

std::string FormatValue(const Variant& value, const std::string& pattern) {
  if (value.GetKind() == Variant::Kind::Date && !IsNumberPattern(pattern)) {
    return FormatDate(DateValue{value.ToDouble()}, pattern);
  }
  if (value.IsNumeric() || value.GetKind() == Variant::Kind::Date) {
    if (IsNumberPattern(pattern)) return FormatNumber(value.ToDouble(), pattern);
    return FormatDate(DateValue{value.ToDouble()}, pattern);
  }
  return value.ToText();
}

}  // namespace bw
