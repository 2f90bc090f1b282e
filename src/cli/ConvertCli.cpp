#include "ConvertCli.h"

#include <string>

#include "ExitCodes.h"
#include "TerminalProgress.h"
#include "archives/ArchiveConversion.h"
#include "commands/CommandRunner.h"
#include "commands/ConversionCommands.h"
#include "commands/VersionCheck.h"
#include "support/SqlText.h"

namespace bw::cli {

namespace {

int PrintScript(const Database& archive, const std::string& version, int number) {
  const std::string script = ConversionScript(number);
  if (script.empty()) {
    std::printf("-- Nothing to convert: version %s needs no conversion.\n", version.c_str());
    return kExitOk;
  }
  std::printf("-- The statements that convert the archive '%s' from version %s to %s.\n",
              archive.Name().c_str(), version.c_str(), ConversionBlocks(number).back().to.c_str());
  std::printf(
      "-- They run in its database, one at a time, without a transaction; a failing statement\n"
      "-- stops the conversion except where the script says that failures are skipped.\n");
  std::printf("USE %s\nGO\n%s", SqlName(archive.DatabaseName()).c_str(), script.c_str());
  return kExitOk;
}

}  // namespace

int ConvertArchiveCommand(Database& archive, bool scriptOnly) {
  const std::string before = archive.GetExtendedValue(0, 3, 1, "");
  const std::optional<int> number = ArchiveVersionNumber(before);
  if (!number) {
    std::fprintf(stderr,
                 "bwctl archive: the version of the archive '%s' is '%s', not a version number\n",
                 archive.Name().c_str(), before.c_str());
    return kExitFailed;
  }
  if (scriptOnly) return PrintScript(archive, before, *number);
  std::printf("Version before: %s\n", before.c_str());
  if (FirstConversionBlock(*number) < 0) {
    std::printf("Nothing to convert: version %s needs no conversion.\n", before.c_str());
    return kExitOk;
  }
  commands::CommandSpec convert;
  convert.roles = {[&] { return archive.IsRolemember("sysadmin"); },
                   [&] { return archive.IsRolemember("db_owner"); }};
  convert.refusal = commands::Text::Id(40);
  convert.confirmation =
      commands::Text::Literal(commands::ConversionPrompt(archive.Name(), *number));
  ConversionResult result;
  commands::Outcome outcome = commands::RunCommand(convert, [&] {
    TerminalProgress progress(stderr);
    result = commands::ConvertArchiveFormat(archive, *number, progress);
    return result.completed;
  });
  for (const SkippedStatement& skipped : result.skipped) {
    std::fprintf(stderr, "Skipped in block %c: %s\n  %s\n", skipped.block,
                 skipped.statement.c_str(), skipped.error.c_str());
  }
  if (outcome == commands::Outcome::Done || outcome == commands::Outcome::Failed) {
    std::printf("Version after: %s\n", archive.GetExtendedValue(0, 3, 1, "").c_str());
  }
  return ExitOf(outcome);
}

}  // namespace bw::cli
