// The program's log: one line per event on stderr, with a UTC timestamp.
// Lines from concurrent connections never interleave.
#pragma once

#include <string_view>

namespace standin::app {

void LogLine(std::string_view text);

}  // namespace standin::app
