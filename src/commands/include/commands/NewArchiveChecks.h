// What the Create Archive wizard checks before it creates an archive, in the
// order it checks, and what it tells the administrator: the wizard shows the
// result in its balloon and never decides anything itself.
#pragma once

#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw::commands {

// A balloon's content: string ids of its title (0: a single blank) and text
// (0: the check passed), and whether the name box's text is to be selected.
struct BalloonText {
  int titleId = 0;
  int textId = 0;
  bool selectAll = false;
  bool Passed() const { return textId == 0; }
  bool operator==(const BalloonText&) const = default;
};

class NewArchiveChecks {
 public:
  // The archive name of page 2: `typed` without blanks at either end goes
  // into `name`; then empty (124), longer than 11 characters on SQL Server
  // 7.0 (314), characters outside 0-9, A-Z, a-z, "_" (title 125, text 126),
  // the name of an archive of the catalogue, compared exactly (127, text
  // selected).
  static BalloonText CheckName(const std::string& typed, int productVersion,
                               const std::vector<std::string>& archiveNames, std::string& name);

  // The path of page 3 as it is written back into the box: without blanks at
  // either end, ".mdf" appended unless it ends in it (in any case). An empty
  // path stays empty.
  static std::string CompletePath(const std::string& typed);

  // The completed path: empty or without a backslash (130), a file that
  // already lies there (131).
  static BalloonText CheckPath(const std::string& path, bool fileExists);

  // The path Browse fills in: the chosen folder (ending in a backslash), the
  // name, ".mdf".
  static std::string BrowsedPath(const std::string& folder, const std::string& name);

  // Whether a file (not a folder) lies at `path` on the server's disks,
  // asked with xp_dirtree on its folder over the server's connection. False
  // when the folder cannot be listed.
  static bool ServerFileExists(Connection& connection, const std::string& path);
};

}  // namespace bw::commands
