// The console's archive version check, without any UI: a few seconds after a
// view is set up, every archive of every connected server is asked for its
// database version, and the administrator is offered the conversion of an
// older one, or the plain-text generation for an archive of version 150 that
// lacks it. The work itself runs through the caller's callbacks (the progress
// dialog in the console).
#pragma once

#include <functional>
#include <string>

#include "archives/Database.h"
#include "servers/Servers.h"

namespace bw::commands {

struct VersionCheckActions {
  // Converts the archive from the given version number (the dialog's task 2).
  std::function<void(Database&, int)> convert;
  // Generates the archive's plain text (the dialog's task 1).
  std::function<void(Database&)> plainText;
};

// The console's actions: frmProgress through the dialog service.
VersionCheckActions ProgressDialogActions();

// The question for an archive of `versionNumber` below the current version:
// 315 (below 150), 348 (150-153), 349 (154) or 352 (155-160, with the number
// and 161).
std::string ConversionPrompt(const std::string& archiveName, int versionNumber);

// One run of the check, servers and archives in collection order. A version
// that does not read as a number, or an archive that cannot be asked, is
// skipped (and logged); the others are checked all the same.
void RunVersionCheck(Servers& servers, const VersionCheckActions& actions);

}  // namespace bw::commands
