// Converting an archive to the current database version, for the progress
// dialog, bwctl and the console's version check: the same chain, and a chain
// that stops is reported to the administrator in the same words.
#pragma once

#include "archives/ArchiveConversion.h"
#include "archives/Database.h"
#include "archives/Progress.h"

namespace bw::commands {

// Runs the chain from `versionNumber`. A chain that stops is shown (critical
// icon) with the block, the version the archive keeps and the error; the
// result says what happened either way. Nothing is raised.
ConversionResult ConvertArchiveFormat(Database& archive, int versionNumber, Progress& progress);

}  // namespace bw::commands
