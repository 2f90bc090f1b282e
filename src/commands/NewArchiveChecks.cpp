#include "commands/NewArchiveChecks.h"

#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw::commands {
namespace {

// Characters, not bytes: a name typed with letters outside ASCII is refused
// as invalid, not as too long.
std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace

BalloonText NewArchiveChecks::CheckName(const std::string& typed, int productVersion,
                                        const std::vector<std::string>& archiveNames,
                                        std::string& name) {
  name = TrimBlanks(typed);
  if (name.empty()) return {0, 124, false};
  if (std::to_string(productVersion).starts_with('7') && CharacterCount(name) >= 12) {
    return {0, 314, false};
  }
  if (!IsValidName(name)) return {125, 126, false};
  for (const std::string& existing : archiveNames) {
    if (existing == name) return {0, 127, true};
  }
  return {};
}

std::string NewArchiveChecks::CompletePath(const std::string& typed) {
  std::string path = TrimBlanks(typed);
  if (path.empty()) return path;
  if (path.size() < 4 || LowerAscii(path.substr(path.size() - 4)) != ".mdf") path += ".mdf";
  return path;
}

BalloonText NewArchiveChecks::CheckPath(const std::string& path, bool fileExists) {
  if (path.empty() || path.find('\\') == std::string::npos) return {0, 130, false};
  if (fileExists) return {0, 131, false};
  return {};
}

std::string NewArchiveChecks::BrowsedPath(const std::string& folder, const std::string& name) {
  return folder + name + ".mdf";
}

bool NewArchiveChecks::ServerFileExists(Connection& connection, const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  const std::string folder = path.substr(0, slash + 1);
  const std::string file = LowerAscii(path.substr(slash + 1));
  Recordset entries;
  entries.SetCursorLocation(adUseClient);
  entries.Open("EXEC master..xp_dirtree " + SqlString(folder) + ", 1, 1", &connection, adOpenStatic,
               adLockReadOnly);
  if (entries.State() != adStateOpen) return false;
  for (; !entries.Eof(); entries.MoveNext()) {
    // Windows file names ignore case.
    if (entries.Value("file").ToInteger() != 0 &&
        LowerAscii(entries.Value("subdirectory").ToText()) == file) {
      return true;
    }
  }
  return false;
}

}  // namespace bw::commands
