// What the Change Owner dialog offers for one archive: its present owner and
// the server's other logins.
#pragma once

#include <string>
#include <vector>

#include "archives/Database.h"

namespace bw::commands {

struct ChangeOwnerChoices {
  std::string oldOwner;             // without blanks at either end; "" when unknown
  std::vector<std::string> logins;  // every login but the owner, in the server's order

  // Asks the archive's connection (sp_helpdb, master.dbo.syslogins). Raises
  // the server's error.
  static ChangeOwnerChoices Load(Database& archive);

  // The message for a typed login that already owns the archive (logins
  // compare without regard to case), or "" when `newOwner` is another login.
  std::string SameOwnerMessage(const std::string& newOwner, const std::string& archiveName) const;
};

}  // namespace bw::commands
