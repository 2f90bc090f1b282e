#include "commands/OpenArchiveChecks.h"

#include "support/Helpers.h"

namespace bw::commands {

int OpenArchiveChecks::Check(const std::string& name, const std::string& mdfPath) {
  if (name.empty()) return 151;
  if (!IsValidName(name)) return 152;
  if (mdfPath.empty()) return 153;
  return 0;
}

}  // namespace bw::commands
