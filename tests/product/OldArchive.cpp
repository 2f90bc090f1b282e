#include "OldArchive.h"

#include <sqlite3.h>

#include <regex>
#include <stdexcept>

#include "archives/ArchiveConversion.h"
#include "archives/ArchiveSchema.h"
#include "data/DataAccess.h"
#include "servers/Server.h"

namespace bw::testing {

const char* const kDocumentPlaces[7] = {"0/0",   "600/600", "600/0", "600/0",
                                        "600/0", "700/700", "0/0"};

namespace {

using Statements = std::vector<std::string>;

// Every change must find its text: a schema that moved on breaks the fixture
// loudly instead of leaving a newer shape in an "old" archive.
void Replace(Statements& statements, const std::string& from, const std::string& to,
             const std::string& head = "") {
  bool found = false;
  for (std::string& statement : statements) {
    if (statement.rfind(head, 0) != 0) continue;
    for (std::size_t at = statement.find(from); at != std::string::npos;
         at = statement.find(from, at + to.size())) {
      statement.replace(at, from.size(), to);
      found = true;
    }
  }
  if (!found) throw std::logic_error("old archive fixture: no statement has " + from);
}

void ReplaceStatement(Statements& statements, const std::string& head, const std::string& text) {
  for (std::string& statement : statements) {
    if (statement.rfind(head, 0) == 0) {
      statement = text;
      return;
    }
  }
  throw std::logic_error("old archive fixture: no statement starts with " + head);
}

void Remove(Statements& statements, const std::string& text) {
  const std::size_t before = statements.size();
  std::erase(statements, text);
  if (statements.size() == before) throw std::logic_error("old archive fixture: no " + text);
}

// A statement of the conversion chain, by its first words.
std::string ChainStatement(char letter, const std::string& head) {
  for (const ConversionBlock& block : ConversionBlocks(0)) {
    if (block.letter != letter) continue;
    for (const ConversionStep& step : block.steps) {
      if (step.text.rfind(head, 0) == 0) return step.text;
    }
  }
  throw std::logic_error("old archive fixture: no statement " + head);
}

std::string WithoutVisibleFolder(std::string text) {
  for (std::size_t at = text.find("VisibleInFolderID"); at != std::string::npos;
       at = text.find("VisibleInFolderID", at)) {
    text.replace(at, 17, "FolderID");
  }
  return text;
}

// Folders without their Status column: its value goes too.
void FolderRowsWithoutStatus(Statements& statements) {
  static const std::regex status(
      R"(INSERT INTO Folder \(FolderID, Name, CreationTime, Status(, Virtual)?\) Values \((.*), (-?\d+)(, -?\d+)?\);)");
  for (std::string& statement : statements) {
    std::smatch match;
    if (!std::regex_match(statement, match, status)) continue;
    statement = "INSERT INTO Folder (FolderID, Name, CreationTime" + match[1].str() + ") Values (" +
                match[2].str() + match[4].str() + ");";
  }
}

Statements Documents(bool visibleFolder) {
  Statements rows = {
      "INSERT INTO Document (Url, TypeID, FolderID, Filename, FileModifiedDate, CreationTime, "
      "Title, Comment, Importance, CodePage, BinaryContent, BinaryData, Content, FileSize) VALUES "
      "(N'file:///c:\\bwblank.gif', 110, 0, N'bwblank.gif', GETDATE(), GETDATE(), N'Vorlage', "
      "N'Vorlage', 2, 1252, 0x47494638396101000100910000FFFFFF00000000000000000021F90409000000002C"
      "000000000100010000080400010404003B, -1, N'', 51)"};
  // 2 in folder 0 and nobody's child; 3 to 5 a chain of type-100 children
  // under it; 6 in folder 700 with 7, a child of another type, in folder 0.
  struct Row {
    const char* url;
    int folder, type, visible;
  } documents[] = {{"http://two", 0, 0, 600},   {"http://three", 0, 100, 0},
                   {"http://four", 0, 100, 0},  {"http://five", 0, 100, 0},
                   {"http://six", 700, 0, 700}, {"http://seven", 0, 0, 0}};
  for (const Row& row : documents) {
    // An archive of 1.50 and later had its documents moved already.
    int folder = row.folder;
    if (visibleFolder && row.folder == 0 && (row.type == 100 || row.visible == 600)) folder = 600;
    rows.push_back(std::string("INSERT INTO Document (Url, FolderID, TypeID, CreationTime, "
                               "FileModifiedDate") +
                   (visibleFolder ? ", VisibleInFolderID" : "") + ") VALUES (N'" + row.url + "', " +
                   std::to_string(folder) + ", " + std::to_string(row.type) +
                   ", GETDATE(), GETDATE()" +
                   (visibleFolder ? ", " + std::to_string(row.visible) : std::string()) + ")");
  }
  for (const char* link : {"(2, 3)", "(3, 4)", "(4, 5)", "(6, 7)"}) {
    rows.push_back(std::string("INSERT INTO SubDocument (ParentEntryID, ChildEntryID) VALUES ") +
                   link);
  }
  return rows;
}

}  // namespace

Statements OldArchiveStatements(const std::string& name, int version,
                                const std::string& versionText, const std::string& variant) {
  Statements statements = ArchiveSchemaStatements(name, 8, "{00000000-0000-0000-0000-000000000001}",
                                                  DayNumber(2004, 5, 1));
  Replace(statements, "VALUES (0, 3, '1.61');", "VALUES (0, 3, '" + versionText + "');");
  // Block I gives the index its last column and counts shown documents.
  Replace(statements, "ON dbo.Document (Url, FileSize, FolderID, VisibleInFolderID)",
          "ON dbo.Document (Url, FileSize, FolderID)");
  Replace(statements, "(((Document.VisibleInFolderID)=Folder.FolderID)))",
          "(((Document.FolderID)=Folder.FolderID)))", "CREATE PROCEDURE dbo.FolderByID ");
  ReplaceStatement(statements, "CREATE PROCEDURE dbo.FoldersSub ",
                   ChainStatement('D', "CREATE PROCEDURE dbo.FoldersSub "));
  if (version < 155) {  // block G: addresses up to 4000 characters
    Replace(statements, "Url NVARCHAR(4000) NOT NULL DEFAULT ''",
            variant == "varchar-url" ? "Url VARCHAR(4000) NOT NULL DEFAULT ''"
                                     : "Url NVARCHAR(255) NOT NULL DEFAULT ''");
    Replace(statements, "@sUrl NVARCHAR(4000)", "@sUrl NVARCHAR(255)");
  }
  if (version == 153) statements.push_back("Update Folder SET Status=0");
  if (version < 153) {  // block E: a status for documents and folders, folder icons
    Replace(statements, ", Status INT DEFAULT 0 CONSTRAINT PK_Document", " CONSTRAINT PK_Document");
    Replace(statements, ", Icon SMALLINT DEFAULT 0, Status INT DEFAULT 0 CONSTRAINT PK_Folder",
            " CONSTRAINT PK_Folder");
    FolderRowsWithoutStatus(statements);
    ReplaceStatement(statements, "CREATE PROCEDURE dbo.DocsInFolder ",
                     ChainStatement('D', "CREATE PROCEDURE dbo.DocsInFolder "));
    Replace(statements, ", Document.Status, Folder.FolderID, Folder.Name AS Folder, Folder.Icon ",
            ", Folder.FolderID, Folder.Name AS Folder ", "CREATE PROCEDURE dbo.DocsWithCategory ");
  }
  if (version < 150) {  // block D: the folder a document is shown in
    Replace(statements, "VisibleInFolderID SMALLINT DEFAULT 0 ,", "");
    for (const char* procedure : {"DocsInFolder ", "DocCount ", "FoldersRoot ", "FoldersSub "}) {
      const std::string head = std::string("CREATE PROCEDURE dbo.") + procedure;
      ReplaceStatement(statements, head, WithoutVisibleFolder(ChainStatement('D', head)));
    }
    Remove(statements,
           "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (6, 1, "
           "'Brindlewick: Archive Compatibility');");
    Remove(statements,
           "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 6, "
           "'1.50');");
  }
  if (version <= 150) {  // the plain text is generated later
    Remove(statements,
           "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 10, "
           "'True');");
  }
  for (std::string& row : Documents(version >= 150)) statements.push_back(row);
  return statements;
}

void MakeOldArchive(const std::string& registration, const std::string& name, int version,
                    const std::string& versionText, const std::vector<std::string>& extra,
                    const std::string& variant) {
  const std::string database = std::string(kArchivePrefix) + name;
  Connection master;
  master.SetConnectionString(registration);
  master.Open();
  master.Execute(CreateDatabaseStatement(
      database, "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\" + name + ".mdf"));
  Connection archive;
  archive.SetConnectionString(NewArchiveConnectionString(registration, database));
  archive.Open();
  for (const std::string& sql : OldArchiveStatements(name, version, versionText, variant)) {
    archive.Execute(sql);
  }
  for (const std::string& sql : extra) archive.Execute(sql);
}

std::filesystem::path OldArchiveFile(const std::filesystem::path& dataDir,
                                     const std::string& name) {
  return dataDir / "C" / "Program Files" / "Microsoft SQL Server" / "MSSQL" / "Data" /
         (name + ".mdf");
}

ArchiveShape ReadArchiveShape(const std::filesystem::path& mdf) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(mdf.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + mdf.string() + ": " + message);
  }
  // The stand-in may be checkpointing the file this moment.
  sqlite3_busy_timeout(db, 10000);
  // The stand-in's tables and indexes name its collation.
  sqlite3_create_collation(db, "standin_ci", SQLITE_UTF8, nullptr,
                           [](void*, int a, const void* x, int b, const void* y) {
                             int c = std::string_view(static_cast<const char*>(x), a)
                                         .compare(std::string_view(static_cast<const char*>(y), b));
                             return c;
                           });
  auto query = [db](const std::string& sql, auto&& row) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(db));
    }
    while (sqlite3_step(statement) == SQLITE_ROW) row(statement);
    sqlite3_finalize(statement);
  };
  auto text = [](sqlite3_stmt* statement, int column) {
    const unsigned char* value = sqlite3_column_text(statement, column);
    return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : std::string();
  };
  ArchiveShape shape;
  std::vector<std::string> tables;
  query(
      "SELECT name FROM sqlite_master WHERE type = 'table' AND substr(name, 1, 11) <> "
      "'sqlstandin$' AND substr(name, 1, 7) <> 'sqlite_' AND substr(name, 1, 3) <> 'sys'",
      [&](sqlite3_stmt* s) { tables.push_back(text(s, 0)); });
  for (const std::string& table : tables) {
    query("PRAGMA table_info(\"" + table + "\")", [&](sqlite3_stmt* s) {
      shape.columns[table + "." + text(s, 1)] =
          text(s, 2) + (sqlite3_column_int(s, 3) != 0 ? " NOT NULL" : "");
    });
  }
  std::vector<std::pair<std::string, std::string>> indexes;
  query(
      "SELECT name, tbl_name FROM sqlite_master WHERE type = 'index' AND substr(name, 1, 14) = "
      "'sqlstandin$ix$'",
      [&](sqlite3_stmt* s) { indexes.emplace_back(text(s, 0), text(s, 1)); });
  for (const auto& [index, table] : indexes) {
    std::string columns;
    query("PRAGMA index_info(\"" + index + "\")",
          [&](sqlite3_stmt* s) { columns += (columns.empty() ? "" : ", ") + text(s, 2); });
    shape.indexes[table + "." + index.substr(14 + table.size() + 1)] = columns;
  }
  query("SELECT name, definition FROM \"sqlstandin$objects\" WHERE kind IN ('P', 'V')",
        [&](sqlite3_stmt* s) { shape.objects[text(s, 0)] = text(s, 1); });
  sqlite3_close(db);
  return shape;
}

}  // namespace bw::testing
