// "bwctl archive convert": the conversion of an archive to the current
// database version, or with --script the T-SQL it would send.
#pragma once

#include "archives/Database.h"

namespace bw::cli {

// Prints the version, then converts (after the version range's question and
// the role test) and prints the version after it; with `scriptOnly` prints
// the statements for the archive's version instead and sends nothing.
int ConvertArchiveCommand(Database& archive, bool scriptOnly);

}  // namespace bw::cli
