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
};

}  // namespace bw::commands
