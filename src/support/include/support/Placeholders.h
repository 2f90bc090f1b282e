// Fills "[...]" placeholders of string-table texts from a list of values.
#pragma once

#include <string>
#include <vector>

#include "support/Variant.h"

namespace bw {

// Error numbers raised by FormatPlaceholders (object-error base + 1 … 3).
inline constexpr std::int32_t kErrMissingBracket = static_cast<std::int32_t>(0x80040001u);
inline constexpr std::int32_t kErrMissingValue = static_cast<std::int32_t>(0x80040002u);
inline constexpr std::int32_t kErrScriptCode = static_cast<std::int32_t>(0x80040003u);

// Returns `text` with its escapes resolved and every placeholder replaced:
//   "\\" → "\",  "\t" → tab,  "\r" → CR,  "\n" → CR LF,  "\[" → "[";
//   "[*]" → the next value's text; "[]" consumes a value and inserts nothing;
//   "[k:*]" or "[k:pattern]" (k = 1…9) inserts value k without moving the
//   order of the following "[*]"; "[pattern]" formats the next value.
// Inserted values are never scanned again. Throws bw::Error with
// kErrMissingBracket (an unclosed "["), kErrMissingValue (more placeholders
// than values) or kErrScriptCode (content starting with "=").
std::string FormatPlaceholders(const std::string& text, const std::vector<Variant>& args);

// Convenience: the text of string `id` with its placeholders filled.
std::string FormatResString(int id, const std::vector<Variant>& args);

}  // namespace bw
