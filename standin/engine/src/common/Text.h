// Case handling of names and keywords. SQL Server compares identifiers
// without regard to case under the server's case-insensitive collation; only
// ASCII letters change case here, as in every name the stand-in compares.
#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace standin::engine {

inline std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

inline std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Characters of a UTF-8 text as SQL Server counts a literal's length: one per
// character for varchar (each is one byte of code page 1252, an unmappable
// one included), one per UTF-16 unit for nvarchar (`utf16` true).
inline std::size_t CharacterCount(std::string_view utf8, bool utf16 = false) {
  std::size_t count = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++count;
    if (utf16 && c >= 0xF0) ++count;  // a surrogate pair
  }
  return count;
}

}  // namespace standin::engine
