#include "archives/ArchiveRemains.h"

#include <algorithm>

#include "archives/ArchiveSchema.h"
#include "support/Helpers.h"
#include "support/Log.h"
#include "support/SqlText.h"

namespace bw {

namespace {

// The tables a new archive is made with, read from the statements that make
// them, so the two never disagree. Conversions add no table, so archives of
// every version have them all.
const std::vector<std::string>& ArchiveTables() {
  static const std::vector<std::string> kTables = [] {
    std::vector<std::string> tables;
    const std::string head = "CREATE TABLE dbo.";
    for (const std::string& sql : ArchiveSchemaStatements("x", 8, "", 0)) {
      if (sql.rfind(head, 0) != 0) continue;
      const std::size_t end = sql.find_first_of(" (", head.size());
      tables.push_back(sql.substr(head.size(), end - head.size()));
    }
    return tables;
  }();
  return kTables;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& n) { return LowerAscii(n) == LowerAscii(name); });
}

long Count(Connection& connection, const std::string& sql) {
  Recordset rs;
  rs.Open(sql, &connection, adOpenForwardOnly, adLockReadOnly, adCmdText);
  if (rs.State() != adStateOpen || rs.Eof() || rs.Value(0).IsNull()) return 0;
  return static_cast<long>(rs.Value(0).ToInteger());
}

std::string NameList(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

ArchiveContents InspectArchive(Connection& connection) {
  ArchiveContents contents;
  try {
    std::vector<std::string> present;
    {
      Recordset rs;
      // dtproperties is the server's own, made in any database that has diagrams.
      rs.Open("SELECT name FROM sysobjects WHERE type = 'U' AND name <> 'dtproperties'",
              &connection, adOpenForwardOnly, adLockReadOnly, adCmdText);
      for (; rs.State() == adStateOpen && !rs.Eof(); rs.MoveNext()) {
        present.push_back(TrimBlanks(rs.Value(0).ToText()));
      }
    }
    for (const std::string& table : ArchiveTables()) {
      if (!Contains(present, table)) contents.missingTables.push_back(table);
    }
    for (const std::string& table : present) {
      if (!Contains(ArchiveTables(), table)) contents.foreignTables.push_back(table);
    }
    if (Contains(present, "ExtendedData")) {
      contents.hasVersion =
          Count(connection,
                "SELECT COUNT(*) FROM ExtendedData WHERE EntryID = 0 AND ExtFieldID = 3") > 0;
    }
    if (Contains(present, "Document")) {
      contents.documents = Count(connection, "SELECT COUNT(*) FROM Document");
      contents.hasTemplate = Count(connection, "SELECT COUNT(*) FROM Document WHERE Url = " +
                                                   SqlString(kTemplateUrl)) > 0;
    }
    contents.known = true;
  } catch (const Error& error) {
    Log("archives", "the archive's contents could not be read: " + error.Description());
    contents = ArchiveContents{};
  }
  return contents;
}

std::string IncompleteReason(const ArchiveContents& contents) {
  if (!contents.known) return {};
  if (contents.missingTables.size() == ArchiveTables().size()) {
    return "has none of the archive's tables";
  }
  if (!contents.missingTables.empty()) {
    return "lacks the tables " + NameList(contents.missingTables);
  }
  if (!contents.hasVersion) return "has no archive version";
  if (!contents.hasTemplate) return "has no template document";
  return {};
}

bool IsCreationRemains(const ArchiveContents& contents) {
  return !IncompleteReason(contents).empty() && contents.foreignTables.empty() &&
         contents.documents == 0;
}

}  // namespace bw
