// What the Open Server Archive dialog checks before it attaches, in order:
// the name, then the data file. The log file may stay empty.
#pragma once

#include <string>

namespace bw::commands {

class OpenArchiveChecks {
 public:
  // The string id of the message for the first failing check (information
  // icon), or 0: an empty name (151), a name with characters outside 0-9,
  // A-Z, a-z, "_" (152), an empty data file path (153).
  static int Check(const std::string& name, const std::string& mdfPath);
};

}  // namespace bw::commands
