// Archives as older releases left them, for the conversion tests, and the
// shape of an archive (tables, columns, indexes, procedure and view texts)
// read from the stand-in's database file, to compare a converted archive with
// a new one.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bw::testing {

// Every statement that makes the schema, rows and properties of an archive of
// `version` (141, 150, 153 … 160; any other number gets the nearest older
// shape with that version text) in an empty database. Derived from the
// current schema by undoing what each conversion block changes. `variant`
// "varchar-url" keeps Url as VARCHAR(4000) in the index, as the oldest
// conversion step left it.
std::vector<std::string> OldArchiveStatements(const std::string& name, int version,
                                              const std::string& versionText,
                                              const std::string& variant = "");

// Makes the database of archive `name` on the server `registration` (an OLE
// DB connection string) with its file in the stand-in's data folder and runs
// OldArchiveStatements and then `extra` in it.
void MakeOldArchive(const std::string& registration, const std::string& name, int version,
                    const std::string& versionText, const std::vector<std::string>& extra = {},
                    const std::string& variant = "");

// The file of that archive below the stand-in's data directory.
std::filesystem::path OldArchiveFile(const std::filesystem::path& dataDir, const std::string& name);

// Where documents 1 (the template) to 7 of such an archive are once the
// documents have been given the folder they are shown in: "FolderID/Visible".
extern const char* const kDocumentPlaces[7];

struct ArchiveShape {
  // "Table.Column" → declared type ("nvarchar(4000)"), with " NOT NULL".
  std::map<std::string, std::string> columns;
  // "Table.Index" → its columns, comma-separated.
  std::map<std::string, std::string> indexes;
  // Procedure or view name → its text as sent.
  std::map<std::string, std::string> objects;
};

// Reads the shape from the stand-in's file of the database (a SQLite file).
ArchiveShape ReadArchiveShape(const std::filesystem::path& mdf);

}  // namespace bw::testing
