// Diagnostics for the people running the program, on standard error, only
// when BW_LOG is set (to anything but "" or "0"). The program keeps no log
// file; this is for seeing which path a platform stand-in took.
#pragma once

#include <string>

namespace bw {

bool LogEnabled();
void Log(const std::string& category, const std::string& message);

}  // namespace bw
