// Environment references in registry strings (REG_EXPAND_SZ), expanded as
// ExpandEnvironmentStrings would, in both the Windows and the shell spelling.
#pragma once

#include <string>
#include <string_view>

namespace bw {

// Replaces %NAME%, $NAME and ${NAME} by the value of the environment variable
// NAME. A reference to a variable that is not set stays as written, as
// Windows leaves it, so nothing vanishes silently. $NAME takes the longest
// run of letters, digits and "_" that does not start with a digit.
std::string ExpandEnvironmentStrings(std::string_view text);

}  // namespace bw
