#include "support/Helpers.h"

#include <uuid/uuid.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace bw {

namespace {

constexpr char kForbiddenFileNameCharacters[] = "\\/:*?<>|\"";

// ASCII only: under the console's locale std::tolower could fold other bytes.
char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(char a, char b) {
  return LowerAscii(a) == LowerAscii(b);
}

bool MatchesAt(const std::string& text, std::size_t pos, const std::string& find,
               CompareMode compare) {
  if (pos + find.size() > text.size()) return false;
  for (std::size_t i = 0; i < find.size(); ++i) {
    char a = text[pos + i];
    char b = find[i];
    if (compare == CompareMode::Text ? LowerAscii(a) != LowerAscii(b) : a != b) return false;
  }
  return true;
}

}  // namespace

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string TrimBlanks(const std::string& text) {
  return Trim(text, " ");
}

std::string Trim(const std::string& text, std::string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameIgnoringCase);
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return prefix.size() <= text.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), SameIgnoringCase);
}

bool ContainsIgnoreCase(std::string_view text, std::string_view part) {
  return std::search(text.begin(), text.end(), part.begin(), part.end(), SameIgnoringCase) !=
             text.end() ||
         part.empty();
}

bool IsValidName(const std::string& text) {
  for (char c : text) {
    bool ok =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string SanitizeFileName(const std::string& text) {
  std::string result = text;
  for (char& c : result) {
    for (const char* f = kForbiddenFileNameCharacters; *f != '\0'; ++f) {
      if (c == *f) c = ' ';
    }
  }
  return result;
}

std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replaceWith, std::size_t start, long count,
                        CompareMode compare) {
  if (find.empty() || start == 0) return text;
  thread_local std::string buffer;
  buffer.clear();
  std::size_t pos = start - 1;
  if (pos > text.size()) return text;
  buffer.append(text, 0, pos);
  long done = 0;
  while (pos < text.size()) {
    if (done < count && MatchesAt(text, pos, find, compare)) {
      buffer += replaceWith;
      pos += find.size();
      ++done;
    } else {
      buffer.push_back(text[pos]);
      ++pos;
    }
  }
  return buffer;
}

std::string NewGUIDString() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return "{" + std::string(text) + "}";
}

int WindowsVersionClass(int platformId, int major, int minor) {
  if (platformId == 2) {
    if (major == 5) return minor == 0 ? 3 : 5;
    return 2;
  }
  switch (minor) {
    case 10:
      return 1;
    case 90:
      return 4;
    default:
      return 0;
  }
}

int GetWindowsVersion() {
  return 2;
}

namespace {
bool g_SmallFonts = false;
}  // namespace

bool SmallFonts() {
  return g_SmallFonts;
}

void SetSmallFonts(bool smallFonts) {
  g_SmallFonts = smallFonts;
}

}  // namespace bw
