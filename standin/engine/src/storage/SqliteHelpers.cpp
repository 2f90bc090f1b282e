// UTF-8 code points, case folding in the C.UTF-8 locale, and the results,
// errors and numbers of the stand-in's SQLite functions.
#include <locale.h>
#include <wctype.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/Types.h"
#include "engine/Errors.h"
#include "storage/SqliteFunctions.h"
#include "storage/SqliteHelpers.h"

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

}  // namespace standin::engine
