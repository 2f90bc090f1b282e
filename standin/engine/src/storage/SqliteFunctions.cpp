// SQLite functions and collation with SQL Server semantics.
#include "storage/SqliteFunctions.h"
#include "storage/SqliteHelpers.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

#include "common/SqliteNames.h"
#include "common/Types.h"
#include "engine/Errors.h"

namespace standin::engine {
namespace sqlfunctions {
namespace {

// C.UTF-8 is in every glibc since 2.35 and carries Unicode's simple case
// mappings; a private locale object leaves the process locale alone.
locale_t CaseLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

char32_t Fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  locale_t locale = CaseLocale();
  return locale ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), locale)) : c;
}

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  locale_t locale = CaseLocale();
  return locale ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), locale)) : c;
}

CodePoints Decode(std::string_view text) {
  CodePoints out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    char32_t value = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
    if (i + extra >= text.size() + (extra ? 0 : 1)) extra = 0;
    for (int k = 1; k <= extra && i + k < text.size(); ++k) {
      value = (value << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    out.push_back(value);
    i += 1 + extra;
  }
  return out;
}

std::string Encode(const CodePoints& points) {
  std::string out;
  out.reserve(points.size());
  for (char32_t c : points) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string_view Text(sqlite3_value* value) {
  const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value)))
              : std::string_view();
}

void ResultText(sqlite3_context* context, const std::string& text) {
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ResultError(sqlite3_context* context, std::int32_t number,
                 std::initializer_list<std::string_view> arguments) {
  std::string text = "\x01" + std::to_string(number);
  for (std::string_view argument : arguments) {
    text += '\x1f';
    text += argument;
  }
  sqlite3_result_error(context, text.c_str(), static_cast<int>(text.size()));
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

std::string ValueAsText(sqlite3_value* value) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      return std::to_string(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
      return FormatDouble(sqlite3_value_double(value));
    default:
      return std::string(Text(value));
  }
}

bool ParseInteger(std::string_view text, std::int64_t& out) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) {
    out = 0;  // SQL Server converts '' to 0
    return true;
  }
  if (text.front() == '+') text.remove_prefix(1);
  auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& out) {
  std::string copy(text);
  char* end = nullptr;
  out = std::strtod(copy.c_str(), &end);
  while (end && *end == ' ') ++end;
  return end && *end == '\0' && end != copy.c_str();
}

}  // namespace sqlfunctions

namespace {

using namespace sqlfunctions;

int Collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
  return CompareText(
      std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
      std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

int CollateCaseSensitive(void*, int lengthA, const void* a, int lengthB, const void* b) {
  return CompareTextCaseSensitive(
      std::string_view(static_cast<const char*>(a), static_cast<std::size_t>(lengthA)),
      std::string_view(static_cast<const char*>(b), static_cast<std::size_t>(lengthB)));
}

// One element of a LIKE pattern: %, _, a [set] or a literal character.
struct PatternElement {
  enum class Kind { AnyRun, AnyOne, Set, Literal } kind = Kind::Literal;
  char32_t literal = 0;
  bool negated = false;
  std::vector<std::pair<char32_t, char32_t>> ranges;

  bool Matches(char32_t c) const {
    switch (kind) {
      case Kind::AnyOne:
        return true;
      case Kind::Literal:
        return c == literal;
      case Kind::Set: {
        bool found = false;
        for (const auto& [low, high] : ranges) found = found || (c >= low && c <= high);
        return found != negated;
      }
      case Kind::AnyRun:
        return false;
    }
    return false;
  }
};

std::vector<PatternElement> CompilePattern(const CodePoints& pattern, char32_t escape) {
  std::vector<PatternElement> elements;
  for (std::size_t p = 0; p < pattern.size(); ++p) {
    PatternElement element;
    const char32_t c = pattern[p];
    if (escape && c == escape && p + 1 < pattern.size()) {
      element.literal = pattern[++p];
    } else if (c == U'%') {
      element.kind = PatternElement::Kind::AnyRun;
      if (!elements.empty() && elements.back().kind == PatternElement::Kind::AnyRun) continue;
    } else if (c == U'_') {
      element.kind = PatternElement::Kind::AnyOne;
    } else if (c == U'[' && std::find(pattern.begin() + static_cast<std::ptrdiff_t>(p) + 1,
                                      pattern.end(), U']') != pattern.end()) {
      element.kind = PatternElement::Kind::Set;
      std::size_t k = p + 1;
      if (pattern[k] == U'^') {
        element.negated = true;
        ++k;
      }
      for (; pattern[k] != U']'; ++k) {
        if (pattern[k + 1] == U'-' && k + 2 < pattern.size() && pattern[k + 2] != U']') {
          element.ranges.emplace_back(pattern[k], pattern[k + 2]);
          k += 2;
        } else {
          element.ranges.emplace_back(pattern[k], pattern[k]);
        }
      }
      p = k;
    } else {
      element.literal = c;
    }
    elements.push_back(std::move(element));
  }
  return elements;
}

// T-SQL LIKE on folded code points. Backtracking only to the last % keeps the
// match O(pattern × value), whatever the pattern.
bool Match(const std::vector<PatternElement>& pattern, const CodePoints& value) {
  std::size_t p = 0, v = 0;
  std::size_t starPattern = std::string::npos, starValue = 0;
  while (v < value.size()) {
    if (p < pattern.size() && pattern[p].kind == PatternElement::Kind::AnyRun) {
      starPattern = p++;
      starValue = v;
    } else if (p < pattern.size() && pattern[p].Matches(value[v])) {
      ++p;
      ++v;
    } else if (starPattern != std::string::npos) {
      p = starPattern + 1;
      v = ++starValue;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p].kind == PatternElement::Kind::AnyRun) ++p;
  return p == pattern.size();
}

CodePoints FoldAll(CodePoints points) {
  for (char32_t& c : points) c = Fold(c);
  return points;
}

// LIKE under a case-sensitive collation: characters match only as written.
void LikeCaseSensitive(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const CodePoints pattern = Decode(Text(argv[0]));
  const CodePoints value = Decode(Text(argv[1]));
  char32_t escape = 0;
  if (argc == 3) {
    CodePoints e = Decode(Text(argv[2]));
    if (e.size() == 1) escape = e[0];
  }
  sqlite3_result_int(context, Match(CompilePattern(pattern, escape), value) ? 1 : 0);
}

void Like(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const CodePoints pattern = FoldAll(Decode(Text(argv[0])));
  const CodePoints value = FoldAll(Decode(Text(argv[1])));
  char32_t escape = 0;
  if (argc == 3) {
    CodePoints e = Decode(Text(argv[2]));
    if (e.size() == 1) escape = Fold(e[0]);
  }
  sqlite3_result_int(context, Match(CompilePattern(pattern, escape), value) ? 1 : 0);
}

// ---- arithmetic ----

bool IsZero(sqlite3_value* value) {
  return sqlite3_value_type(value) == SQLITE_INTEGER ? sqlite3_value_int64(value) == 0
                                                     : sqlite3_value_double(value) == 0.0;
}

bool BothIntegers(sqlite3_value** argv) {
  return sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER &&
         sqlite3_value_numeric_type(argv[1]) == SQLITE_INTEGER;
}

void Divide(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  sqlite3_value_numeric_type(argv[1]);
  if (IsZero(argv[1])) return ResultError(context, 8134);
  if (BothIntegers(argv)) {
    const std::int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    if (a == std::numeric_limits<std::int64_t>::min() && b == -1) {
      return ResultError(context, 8115, {"expression", "bigint"});
    }
    return sqlite3_result_int64(context, a / b);
  }
  sqlite3_result_double(context, sqlite3_value_double(argv[0]) / sqlite3_value_double(argv[1]));
}

void Modulo(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  sqlite3_value_numeric_type(argv[1]);
  if (IsZero(argv[1])) return ResultError(context, 8134);
  if (BothIntegers(argv)) {
    const std::int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
    return sqlite3_result_int64(context, b == -1 ? 0 : a % b);
  }
  sqlite3_result_double(context,
                        std::fmod(sqlite3_value_double(argv[0]), sqlite3_value_double(argv[1])));
}

// + whose operand types were not known when the statement was translated.
void Add(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const int a = sqlite3_value_type(argv[0]), b = sqlite3_value_type(argv[1]);
  if (a == SQLITE_TEXT && b == SQLITE_TEXT)
    return ResultText(context, ValueAsText(argv[0]) + ValueAsText(argv[1]));
  if (a == SQLITE_BLOB && b == SQLITE_BLOB) {
    std::string bytes(static_cast<const char*>(sqlite3_value_blob(argv[0])),
                      static_cast<std::size_t>(sqlite3_value_bytes(argv[0])));
    bytes.append(static_cast<const char*>(sqlite3_value_blob(argv[1])),
                 static_cast<std::size_t>(sqlite3_value_bytes(argv[1])));
    return sqlite3_result_blob(context, bytes.data(), static_cast<int>(bytes.size()),
                               SQLITE_TRANSIENT);
  }
  // A string meeting a number converts to the number (numbers rank higher).
  double values[2];
  bool integral = true;
  std::int64_t integers[2];
  for (int i = 0; i < 2; ++i) {
    sqlite3_value* value = argv[i];
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
      std::string_view text = Text(value);
      if (ParseInteger(text, integers[i])) {
        values[i] = static_cast<double>(integers[i]);
      } else if (ParseDouble(text, values[i])) {
        integral = false;
      } else {
        return ResultError(context, 245, {"varchar", text, "int"});
      }
    } else if (sqlite3_value_type(value) == SQLITE_INTEGER) {
      integers[i] = sqlite3_value_int64(value);
      values[i] = static_cast<double>(integers[i]);
    } else {
      values[i] = sqlite3_value_double(value);
      integral = false;
    }
  }
  if (integral) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(integers[0], integers[1], &sum)) {
      return ResultError(context, 8115, {"expression", "bigint"});
    }
    return sqlite3_result_int64(context, sum);
  }
  sqlite3_result_double(context, values[0] + values[1]);
}

void Round(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const int digits = sqlite3_value_int(argv[1]);
  if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER) {
    std::int64_t value = sqlite3_value_int64(argv[0]);
    if (digits < 0) {
      std::int64_t power = 1;
      for (int i = 0; i < -digits && i < 18; ++i) power *= 10;
      const std::int64_t half = value >= 0 ? power / 2 : -(power / 2);
      value = (value + half) / power * power;
    }
    return sqlite3_result_int64(context, value);
  }
  const double power = std::pow(10.0, digits);
  sqlite3_result_double(context, std::round(sqlite3_value_double(argv[0]) * power) / power);
}

void FloorOrCeiling(sqlite3_context* context, sqlite3_value* value, bool ceiling) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(context);
  if (sqlite3_value_numeric_type(value) == SQLITE_INTEGER)
    return sqlite3_result_int64(context, sqlite3_value_int64(value));
  const double d = sqlite3_value_double(value);
  sqlite3_result_double(context, ceiling ? std::ceil(d) : std::floor(d));
}

// ---- strings ----

void CaseMap(sqlite3_context* context, sqlite3_value* value, bool upper) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return sqlite3_result_null(context);
  CodePoints points = Decode(Text(value));
  for (char32_t& c : points) c = upper ? Upper(c) : Fold(c);
  ResultText(context, Encode(points));
}

void Right(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  CodePoints points = Decode(Text(argv[0]));
  const std::int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_null(context);
  const std::size_t keep = std::min<std::size_t>(points.size(), static_cast<std::size_t>(n));
  ResultText(context,
             Encode(CodePoints(points.end() - static_cast<std::ptrdiff_t>(keep), points.end())));
}

// Position of needle in haystack from `from`, comparing as the collation does.
std::size_t FindFolded(const CodePoints& haystack, const CodePoints& needle, std::size_t from) {
  if (needle.empty()) return std::string::npos;
  for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    bool equal = true;
    for (std::size_t k = 0; k < needle.size() && equal; ++k)
      equal = Fold(haystack[i + k]) == Fold(needle[k]);
    if (equal) return i;
  }
  return std::string::npos;
}

void Replace(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const CodePoints text = Decode(Text(argv[0]));
  const CodePoints from = Decode(Text(argv[1]));
  const CodePoints to = Decode(Text(argv[2]));
  CodePoints out;
  std::size_t position = 0;
  while (true) {
    const std::size_t found = FindFolded(text, from, position);
    if (found == std::string::npos) break;
    out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(position),
               text.begin() + static_cast<std::ptrdiff_t>(found));
    out.insert(out.end(), to.begin(), to.end());
    position = found + from.size();
  }
  out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(position), text.end());
  ResultText(context, Encode(out));
}

void CharIndex(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const CodePoints needle = Decode(Text(argv[0]));
  const CodePoints haystack = Decode(Text(argv[1]));
  const std::int64_t start = std::max<std::int64_t>(1, sqlite3_value_int64(argv[2]));
  const std::size_t found = FindFolded(haystack, needle, static_cast<std::size_t>(start - 1));
  sqlite3_result_int64(context,
                       found == std::string::npos ? 0 : static_cast<std::int64_t>(found) + 1);
}

void Replicate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(context);
  const std::int64_t count = sqlite3_value_int64(argv[1]);
  if (count < 0) return sqlite3_result_null(context);
  const std::string unit(Text(argv[0]));
  std::string out;
  for (std::int64_t i = 0; i < count && out.size() < 8000; ++i) out += unit;
  ResultText(context, out);
}

void DataLength(sqlite3_context* context, int, sqlite3_value** argv) {
  sqlite3_value* value = argv[0];
  switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
      return sqlite3_result_null(context);
    case SQLITE_BLOB:
      return sqlite3_result_int(context, sqlite3_value_bytes(value));
    case SQLITE_INTEGER: {
      const std::int64_t number = sqlite3_value_int64(value);
      return sqlite3_result_int(context, number >= INT32_MIN && number <= INT32_MAX ? 4 : 8);
    }
    case SQLITE_FLOAT:
      return sqlite3_result_int(context, 8);
    default: {
      const CodePoints points = Decode(Text(value));
      std::int64_t units = 0;
      for (char32_t c : points) units += c > 0xFFFF ? 2 : 1;
      sqlite3_result_int64(context, sqlite3_value_int(argv[1]) ? units * 2 : units);
    }
  }
}

void NewId(sqlite3_context* context, int, sqlite3_value**) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  Guid guid;
  for (std::size_t i = 0; i < 16; i += 8) {
    const std::uint64_t bits = generator();
    std::memcpy(guid.bytes.data() + i, &bits, 8);
  }
  guid.bytes[7] = static_cast<std::uint8_t>((guid.bytes[7] & 0x0F) | 0x40);  // version 4
  guid.bytes[8] = static_cast<std::uint8_t>((guid.bytes[8] & 0x3F) | 0x80);
  ResultText(context, FormatGuid(guid));
}

void NextIdentity(sqlite3_context* context, int, sqlite3_value**) {
  auto* state = static_cast<IdentityState*>(sqlite3_user_data(context));
  if (!state || !state->active)
    return ResultError(context, kErrorStorage, {"identity value requested outside INSERT"});
  const std::int64_t value = state->next;
  if (__builtin_add_overflow(state->next, state->increment, &state->next)) {
    return ResultError(context, 8115, {"IDENTITY", "bigint"});
  }
  state->last = value;
  ++state->generated;
  sqlite3_result_int64(context, value);
}

void Register(sqlite3* db, const char* name, int arguments,
              void (*function)(sqlite3_context*, int, sqlite3_value**), bool deterministic = true,
              void* userData = nullptr) {
  const int flags = SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0);
  sqlite3_create_function_v2(db, name, arguments, flags, userData, function, nullptr, nullptr,
                             nullptr);
}

}  // namespace

int CompareText(std::string_view a, std::string_view b) {
  while (!a.empty() && a.back() == ' ') a.remove_suffix(1);
  while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    if (x < 0x80 && y < 0x80) {
      const char32_t fx = Fold(x), fy = Fold(y);
      if (fx != fy) return fx < fy ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    // Non-ASCII: decode one code point on each side.
    auto decodeOne = [](std::string_view text, std::size_t& index) {
      const std::size_t start = index;
      const unsigned char c = static_cast<unsigned char>(text[index]);
      const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      index = std::min(text.size(), index + length);
      CodePoints points = Decode(text.substr(start, index - start));
      return points.empty() ? char32_t{0} : points[0];
    };
    const char32_t fx = Fold(decodeOne(a, i)), fy = Fold(decodeOne(b, j));
    if (fx != fy) return fx < fy ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

int CompareTextCaseSensitive(std::string_view a, std::string_view b) {
  if (const int order = CompareText(a, b); order != 0) return order;
  // The same letters but for case: the first that differs decides, the
  // lower-case one first, as SQL Server's _CS_AS collations sort "a" < "A".
  const CodePoints x = Decode(a), y = Decode(b);
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (x[i] != y[i]) return x[i] == Fold(x[i]) ? -1 : 1;
  }
  return 0;
}

std::string CurrentDateTimeText() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto milliseconds =
      duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(milliseconds));
  std::optional<DateTime> value = ParseDateTime(buffer);  // rounds to 1/300 s
  return value ? FormatDateTime(*value) : std::string(buffer);
}

std::optional<Message> DecodeFunctionError(std::string_view text) {
  if (text.empty() || text[0] != '\x01') return std::nullopt;
  text.remove_prefix(1);
  std::vector<std::string> parts{""};
  for (char c : text) {
    if (c == '\x1f') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  const std::int32_t number = std::atoi(parts[0].c_str());
  std::vector<std::string_view> arguments(parts.begin() + 1, parts.end());
  switch (arguments.size()) {
    case 0:
      return MakeMessage(number);
    case 1:
      return MakeMessage(number, {arguments[0]});
    case 2:
      return MakeMessage(number, {arguments[0], arguments[1]});
    default:
      return MakeMessage(number, {arguments[0], arguments[1], arguments[2]});
  }
}

void RegisterFunctions(sqlite3* db, IdentityState* identity) {
  sqlite3_create_collation_v2(db, "standin_ci", SQLITE_UTF8, nullptr, Collate, nullptr);
  Register(db, "like", 2, Like);
  Register(db, "like", 3, Like);
  sqlite3_create_collation_v2(db, "standin_cs", SQLITE_UTF8, nullptr, CollateCaseSensitive,
                              nullptr);
  Register(db, "standin_like_cs", 2, LikeCaseSensitive);
  Register(db, "standin_like_cs", 3, LikeCaseSensitive);
  Register(db, "standin_convert", 5, ConvertFunction);
  Register(db, "standin_divide", 2, Divide);
  Register(db, "standin_modulo", 2, Modulo);
  Register(db, "standin_add", 2, Add);
  Register(db, "standin_round", 2, Round);
  Register(db, "standin_floor", 1,
           [](sqlite3_context* c, int, sqlite3_value** v) { FloorOrCeiling(c, v[0], false); });
  Register(db, "standin_ceiling", 1,
           [](sqlite3_context* c, int, sqlite3_value** v) { FloorOrCeiling(c, v[0], true); });
  Register(db, "standin_upper", 1,
           [](sqlite3_context* c, int, sqlite3_value** v) { CaseMap(c, v[0], true); });
  Register(db, "standin_lower", 1,
           [](sqlite3_context* c, int, sqlite3_value** v) { CaseMap(c, v[0], false); });
  Register(db, "standin_right", 2, Right);
  Register(db, "standin_replace", 3, Replace);
  Register(db, "standin_charindex", 3, CharIndex);
  Register(db, "standin_replicate", 2, Replicate);
  Register(db, "standin_datalength", 2, DataLength);
  Register(db, "standin_datepart", 2, DatePart);
  Register(db, "standin_dateadd", 3, DateAdd);
  Register(db, "standin_datediff", 3, DateDiff);
  Register(db, "standin_getdate", 0, GetDate, false);
  Register(db, "standin_newid", 0, NewId, false);
  Register(db, "standin_next_identity", 0, NextIdentity, false, identity);
  // standin_raise(number): raises that SQL Server error (one without arguments).
  Register(
      db, "standin_raise", 1,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        ResultError(c, static_cast<std::int32_t>(sqlite3_value_int64(v[0])), {});
      },
      false);
  // standin_key_check(bytes, index): an index entry longer than SQL Server's
  // 900-byte key limit refuses the row (1946), as the index triggers ask.
  Register(db, "standin_key_check", 2, [](sqlite3_context* c, int, sqlite3_value** v) {
    const sqlite3_int64 bytes = sqlite3_value_int64(v[0]);
    if (bytes > 900) {
      const char* index = reinterpret_cast<const char*>(sqlite3_value_text(v[1]));
      ResultError(c, 1946, {std::to_string(bytes), index ? index : ""});
      return;
    }
    sqlite3_result_null(c);
  });
}

}  // namespace standin::engine
