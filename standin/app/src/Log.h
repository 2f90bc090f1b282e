// The program's log: one line per event on stderr, with a UTC timestamp.
// Lines from concurrent connections never interleave, and no logged value
// can start a line of its own: control characters are escaped.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace standin::app {

void LogLine(std::string_view text);

// `text` with every C0 and C1 control character (CR, LF, ESC, U+0085 …) and
// DEL written as \xNN (a C1 character as \u00NN); everything else, invalid
// UTF-8 included, is kept.
std::string EscapeControlCharacters(std::string_view text);

// For tests: lines (without timestamp and newline) go to `capture` instead of
// stderr; an empty function restores stderr.
void CaptureLog(std::function<void(const std::string&)> capture);

}  // namespace standin::app
