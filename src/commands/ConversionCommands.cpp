#include "commands/ConversionCommands.h"

#include "support/MessageService.h"

namespace bw::commands {

ConversionResult ConvertArchiveFormat(Database& archive, int versionNumber, Progress& progress) {
  ConversionResult result = ConvertArchive(archive, versionNumber, progress);
  if (!result.completed) {
    MsgBox(ConversionFailureReport(archive.Name(), result), MsgStyle::Critical);
  }
  return result;
}

}  // namespace bw::commands
