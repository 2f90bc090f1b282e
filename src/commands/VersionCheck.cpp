#include "commands/VersionCheck.h"

#include "archives/ArchiveConversion.h"
#include "archives/Databases.h"
#include "commands/DialogService.h"
#include "support/Log.h"
#include "support/MessageService.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {

namespace {

constexpr char kPlainTextFlag[] = "Brindlewick: Search in PlainText";

bool Ask(const std::string& text) {
  return MsgBox(text, MsgStyle::YesNo | MsgStyle::Question) == MsgResult::Yes;
}

void CheckArchive(Database& archive, const VersionCheckActions& actions) {
  const std::string text = archive.GetExtendedValue(0, 3, 1, "");
  const std::optional<int> number = ArchiveVersionNumber(text);
  if (!number) {
    Log("version check", archive.Name() + ": no readable version (\"" + text + "\")");
    return;
  }
  int version = *number;
  if (version < kCurrentArchiveVersion && Ask(ConversionPrompt(archive.Name(), version))) {
    if (archive.IsRolemember("sysadmin") || archive.IsRolemember("db_owner")) {
      if (actions.convert) actions.convert(archive, version);
      version = kCurrentArchiveVersion;
    } else {
      MsgBox(LoadResString(40), MsgStyle::Information);
    }
  }
  if (version == 150 && archive.GetExtendedValue(0, 0, 1, kPlainTextFlag).empty() &&
      Ask(FormatResString(316, {Variant(archive.Name())}))) {
    if (actions.plainText) actions.plainText(archive);
  }
}

}  // namespace

VersionCheckActions ProgressDialogActions() {
  VersionCheckActions actions;
  actions.convert = [](Database& archive, int version) {
    Dialogs().ShowProgress(archive, ProgressTask::Conversion, version);
  };
  actions.plainText = [](Database& archive) {
    Dialogs().ShowProgress(archive, ProgressTask::PlainText, 0);
  };
  return actions;
}

std::string ConversionPrompt(const std::string& archiveName, int versionNumber) {
  if (versionNumber < 150) return FormatResString(315, {Variant(archiveName)});
  if (versionNumber <= 153) return FormatResString(348, {Variant(archiveName)});
  if (versionNumber == 154) return FormatResString(349, {Variant(archiveName)});
  return FormatResString(
      352, {Variant(archiveName), Variant(versionNumber), Variant(kCurrentArchiveVersion)});
}

void RunVersionCheck(Servers& servers, const VersionCheckActions& actions) {
  for (Server* server : servers.NewEnum()) {
    if (!server->IsConnected()) continue;
    std::vector<Database*> archives;
    try {
      archives = server->Databases().NewEnum();
    } catch (const Error& error) {
      Log("version check", server->Name() + ": " + error.Description());
      continue;
    }
    for (Database* archive : archives) {
      try {
        CheckArchive(*archive, actions);
      } catch (const Error& error) {
        // One archive that cannot be asked must not keep the others from
        // being checked.
        Log("version check", archive->Name() + ": " + error.Description());
      }
    }
  }
}

}  // namespace bw::commands
