#include "commands/FolderBrowserModel.h"

#include <algorithm>

#include "support/Error.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw::commands {

std::vector<FolderNode> FolderBrowserModel::Drives() {
  std::vector<FolderNode> drives;
  Recordset rows;
  rows.SetCursorLocation(adUseClient);
  rows.Open("EXEC master..xp_fixeddrives", &m_Connection, adOpenDynamic, adLockReadOnly);
  if (rows.State() != adStateOpen) return drives;
  for (; !rows.Eof(); rows.MoveNext()) {
    const std::string key = rows.Value(0).ToText() + ":\\";
    drives.push_back({key, key + " (" + rows.Value(1).ToText() + " MB " + LoadResString(97) + ")",
                      FolderIcon::Drive});
  }
  return drives;
}

std::string FolderBrowserModel::DirtreeStatement(const std::string& path) const {
  return "EXEC master..xp_dirtree " + SqlString(path) + (FoldersOnly ? ", 1, 0" : ", 1, 1");
}

FolderListing FolderBrowserModel::Expand(const std::string& path) {
  FolderListing listing;
  Recordset rows;
  rows.SetCursorLocation(adUseClient);
  try {
    rows.Open(DirtreeStatement(path), &m_Connection, adOpenDynamic, adLockReadOnly);
  } catch (const Error& error) {
    // As for a folder the server cannot read: the node shows no children.
    Log("dialogs", "listing " + path + " failed: " + error.Description());
    return listing;
  }
  if (rows.State() != adStateOpen) return listing;

  struct Entry {
    std::string name;
    bool file;
  };
  std::vector<Entry> entries;
  for (; !rows.Eof(); rows.MoveNext()) {
    const Variant& file = FoldersOnly ? Variant() : rows.Value("file");
    entries.push_back(
        {rows.Value("subdirectory").ToText(), !file.IsNull() && file.ToInteger() != 0});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return !a.file && b.file; });

  const std::string extension = LowerAscii(FileExtension);
  for (const Entry& entry : entries) {
    if (!entry.file) {
      listing.nodes.push_back({path + entry.name + "\\", entry.name, FolderIcon::Folder});
    } else if (LowerAscii(entry.name).find(extension) != std::string::npos) {
      listing.nodes.push_back({path + entry.name, entry.name, FolderIcon::File});
    }
  }
  if (!FoldersOnly && listing.nodes.empty()) {
    listing.note = LoadResString(96) + " (*." + FileExtension + ")";
  }
  return listing;
}

}  // namespace bw::commands
