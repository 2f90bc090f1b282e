// The program's numbered table of user-visible texts, compiled into the binary
// from resources/strings.txt.
#pragma once

#include <map>
#include <string>

namespace bw {

// The text of `id`. An id that is not in the table is a programming error:
// it throws std::out_of_range (tests check that every id used exists).
std::string LoadResString(int id);

// True when `id` has a text.
bool HasResString(int id);

// Every entry, for tests and tools.
const std::map<int, std::string>& StringTableEntries();

// Parses the table format: "@ <id>" header lines, each followed by the lines of
// its text (joined with "\n"); '#' comments only before the first header.
// Throws std::invalid_argument naming the line on malformed input (a duplicate
// or descending id, a header without a valid number, text before any header).
std::map<int, std::string> ParseStringTable(const std::string& source);

}  // namespace bw
