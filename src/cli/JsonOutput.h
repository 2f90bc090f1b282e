// Machine-readable results for scripts (--json): each listing or showing
// command builds one document and prints it whole on standard output, so a
// failure part-way prints nothing there rather than half a document.
// Field names are part of bwctl's interface (bwctl(1)); add fields, never
// rename them.
#pragma once

#include <nlohmann/json.hpp>

namespace bw::cli {

// Keeps fields in the order they were set, as the manual lists them.
using Json = nlohmann::ordered_json;

// Whether --json was given (set once by main).
bool JsonOutput();
void SetJsonOutput(bool json);

// Writes `document` and a line feed to standard output. Text that is not
// valid UTF-8 (names from a server in a legacy code page) is written with
// U+FFFD in place of the bad bytes, so the document always parses.
void PrintJson(const Json& document);

}  // namespace bw::cli
