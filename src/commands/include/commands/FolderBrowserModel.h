// The server folder browser's contents: the fixed drives of the machine a
// SQL Server runs on and, one level at a time, their folders and files of one
// extension, read with xp_fixeddrives and xp_dirtree over the server's
// connection. The dialog puts what this returns into its tree.
#pragma once

#include <string>
#include <vector>

#include "data/DataAccess.h"

namespace bw::commands {

// Tree icons.
enum class FolderIcon { Drive = 1, Folder = 2, File = 3 };

struct FolderNode {
  std::string key;  // full path; drives and folders end in a backslash
  std::string text;
  FolderIcon icon;
  bool operator==(const FolderNode&) const = default;
};

// What expanding one node finds. `nodes` replace the placeholder; with none,
// the placeholder goes unless `note` is set, which it then shows.
struct FolderListing {
  std::vector<FolderNode> nodes;
  std::string note;
};

class FolderBrowserModel {
 public:
  // The placeholder's text: a node not yet listed.
  static constexpr const char* kPlaceholder = "HasChildren";

  explicit FolderBrowserModel(Connection& connection) : m_Connection(connection) {}

  bool FoldersOnly = true;
  std::string FileExtension;  // without the dot, e.g. "mdf"

  // One drive node per row of xp_fixeddrives, in the server's order: "C:\",
  // "C:\ (1234 MB free)". Raises the server's error.
  std::vector<FolderNode> Drives();

  // The folders (and, without FoldersOnly, the files whose name contains the
  // extension) directly inside `path`, folders first. A folder the server
  // cannot read lists nothing.
  FolderListing Expand(const std::string& path);

  // The statement Expand sends for `path`.
  std::string DirtreeStatement(const std::string& path) const;

 private:
  Connection& m_Connection;
};

}  // namespace bw::commands
