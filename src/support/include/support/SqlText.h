// Splicing values into SQL text soundly. For plain values the result is
// exactly what simple concatenation gives, so statements read as they always
// did; anything else is quoted so it stays one value.
#pragma once

#include <string>

namespace bw {

// The body of a '…' literal: single quotes doubled (no enclosing quotes).
std::string SqlStringBody(const std::string& value);

// 'value' with single quotes doubled.
std::string SqlString(const std::string& value);

// A name as SQL Server wants it spliced: bare when it is a plain identifier
// (letter or "_" first, then letters, digits, "_", "@", "#", "$", and not a
// reserved keyword), else in brackets with "]" doubled.
std::string SqlName(const std::string& name);

// True for a name that needs no brackets.
bool IsPlainIdentifier(const std::string& name);

}  // namespace bw
