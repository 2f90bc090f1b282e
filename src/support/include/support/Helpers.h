// Small shared routines: name checks, file names, identifiers, text
// replacement and the platform's version class.
#pragma once

#include <string>
#include <string_view>

namespace bw {

// True when every character is 0-9, A-Z, a-z or "_" (also for "").
bool IsValidName(const std::string& text);

// ASCII letters in lower case; other bytes unchanged (names and keywords,
// which the server compares without regard to case).
std::string LowerAscii(std::string text);

// Without the blanks (spaces only) at either end.
std::string TrimBlanks(const std::string& text);
// Without any of `characters` at either end.
std::string Trim(const std::string& text, std::string_view characters = " \t");

// Comparisons that ignore the case of ASCII letters, as the server compares
// names and keywords; other bytes must match exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
bool ContainsIgnoreCase(std::string_view text, std::string_view part);

// Replaces each of \ / : * ? < > | " by a space.
std::string SanitizeFileName(const std::string& text);

enum class CompareMode { Binary = 0, Text = 1 };

// Replaces at most `count` non-overlapping occurrences of `find`, left to
// right from the 1-based `start`; text before `start` is kept. With
// CompareMode::Text the search ignores ASCII case and the output keeps the
// original characters. An empty `find` returns `text` unchanged. The result
// is assembled in a per-thread work buffer that only grows, so repeated
// calls do not allocate per occurrence.
std::string ReplaceText(const std::string& text, const std::string& find,
                        const std::string& replaceWith, std::size_t start = 1,
                        long count = 2147483647, CompareMode compare = CompareMode::Binary);

// A new random GUID in registry form: "{" 8-4-4-4-12 upper-case hex "}",
// 38 characters. Empty when no GUID could be made.
std::string NewGUIDString();

// The version class of the running system: 0/1/4 for the 95 family (no NT
// security), 2 for NT 4.0 and every NT version that is not 5.x, 3 for 2000,
// 5 for XP. This platform has NT-style security throughout, so it is 2.
int GetWindowsVersion();

// The version class for an NT-family (platformId 2) or other system with the
// given major and minor version numbers.
int WindowsVersionClass(int platformId, int major, int minor);

// The process-wide flag set when the screen's horizontal logical resolution
// is below 100 dots per inch; the wizards read it to place their picture.
bool SmallFonts();
void SetSmallFonts(bool smallFonts);

}  // namespace bw
