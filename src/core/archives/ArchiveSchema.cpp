#include "archives/ArchiveSchema.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>

#include "data/ConnectionString.h"
#include "support/Helpers.h"
#include "support/SqlText.h"
#include "support/StringTable.h"

namespace bw {

namespace {

constexpr char kPrefix[] = "Brindlewick_";

// Roles, tables, indexes, the view and their grants.
const char* const kTables[] = {
    "EXEC sp_addrole @rolename = 'bw_reader'",
    "GRANT CREATE TABLE TO bw_reader",
    "EXEC sp_addrole @rolename = 'bw_writer'",
    "EXEC sp_addrole @rolename = 'bw_structurer'",
    "CREATE TABLE dbo.Document (EntryID INTEGER IDENTITY (1,1) NOT NULL, UniqueID "
    "uniqueidentifier, FolderID SMALLINT NOT NULL DEFAULT 0, VisibleInFolderID SMALLINT DEFAULT 0 ,"
    "Url NVARCHAR(4000) NOT NULL DEFAULT '', TypeID SMALLINT NOT NULL DEFAULT 0, CodePage INT NOT "
    "NULL DEFAULT 0, FileSize INT NOT NULL DEFAULT 0, "
    "Title NVARCHAR(255) NULL DEFAULT '', Content NTEXT DEFAULT '', BinaryContent IMAGE NULL, "
    "PlainText NTEXT DEFAULT '', Filename NVARCHAR(255) NOT NULL DEFAULT '', "
    "CreationTime DATETIME NOT NULL, FileModifiedDate DATETIME NOT NULL, Comment NVARCHAR(4000) "
    "NULL, "
    "Importance TINYINT NOT NULL DEFAULT 2, BinaryData BIT DEFAULT 0, Categories BIT DEFAULT 0, "
    "Status INT DEFAULT 0 CONSTRAINT PK_Document PRIMARY KEY ( EntryID ) )",
    "CREATE INDEX IDX_Document1 ON dbo.Document (Url, FileSize, FolderID, VisibleInFolderID)",
    "GRANT SELECT ON dbo.Document TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.Document TO bw_writer",
    "CREATE TABLE dbo.DocLink ( FolderID SMALLINT NOT NULL , EntryID INTEGER NOT NULL)",
    "GRANT SELECT, INSERT, UPDATE, DELETE ON dbo.DocLink TO bw_reader",
    "CREATE TABLE dbo.SubDocument (ParentEntryID INTEGER NOT NULL , ChildEntryID INTEGER NOT NULL)",
    "CREATE INDEX IDX_SubDocument ON dbo.SubDocument (ParentEntryID, ChildEntryID)",
    "GRANT SELECT ON dbo.SubDocument TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.SubDocument TO bw_writer",
    "CREATE TABLE dbo.Folder (FolderID SMALLINT NOT NULL , Name NVARCHAR(100) NOT NULL DEFAULT '', "
    "FolderType SMALLINT DEFAULT 0, "
    "Comment NVARCHAR(4000) NULL DEFAULT '', CreationTime DATETIME NOT NULL , "
    "Expanded BIT DEFAULT 0, Virtual BIT DEFAULT 0, Icon SMALLINT DEFAULT 0, Status INT DEFAULT 0 "
    "CONSTRAINT PK_Folder PRIMARY KEY ( FolderID ) )",
    "CREATE INDEX IDX_Folder ON dbo.Folder (FolderID)",
    "GRANT SELECT ON dbo.Folder TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.Folder TO bw_structurer",
    "CREATE TABLE dbo.SubFolder ( ParentFolderID SMALLINT NOT NULL , ChildFolderID SMALLINT NOT "
    "NULL )",
    "CREATE INDEX IDX_SubFolder ON dbo.SubFolder (ParentFolderID, ChildFolderID)",
    "GRANT SELECT ON dbo.SubFolder TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.SubFolder TO bw_structurer",
    "CREATE VIEW dbo.SearchFolderView AS SELECT Folder.* FROM Folder INNER JOIN SubFolder ON "
    "Folder.FolderID = SubFolder.ChildFolderID Where (SubFolder.ParentFolderID = 500)",
    "GRANT SELECT, UPDATE ON dbo.SearchFolderView TO bw_reader",
    "CREATE TABLE dbo.Category (CategoryID SMALLINT NOT NULL , Name NVARCHAR(100) NOT NULL DEFAULT "
    "'', "
    "Comment NVARCHAR(4000) NULL DEFAULT '', CONSTRAINT PK_Category PRIMARY KEY ( CategoryID ) )",
    "INSERT INTO dbo.Category (CategoryID, Name ) VALUES (1, 'Wurzelkategorie')",
    "GRANT SELECT ON dbo.Category TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.Category TO bw_structurer",
    "CREATE TABLE dbo.DocCategory (EntryID INT NOT NULL , CategoryID SMALLINT NOT NULL)",
    "GRANT SELECT ON dbo.DocCategory TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.DocCategory TO bw_structurer",
    "CREATE TABLE dbo.SubCategory (ParentCategoryID SMALLINT NOT NULL , ChildCategoryID SMALLINT "
    "NOT NULL )",
    "GRANT SELECT ON dbo.SubCategory TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON dbo.SubCategory TO bw_structurer",
    "CREATE TABLE dbo.ExtendedField ( ExtFieldID SMALLINT NOT NULL , FieldType TINYINT NOT NULL, "
    "FieldName NVARCHAR(100) NOT NULL , Visible BIT, UserProperty BIT )",
    "GRANT SELECT, INSERT, UPDATE, DELETE ON ExtendedField TO bw_reader",
    "CREATE TABLE dbo.ExtendedData (EntryID INTEGER NOT NULL, ExtFieldID SMALLINT NOT NULL, "
    "FieldValue NTEXT NULL DEFAULT '')",
    "GRANT SELECT, INSERT, UPDATE, DELETE ON ExtendedData TO bw_reader",
    "CREATE TABLE dbo.BlackList ( Url NVARCHAR(255) NOT NULL, Userdefined BIT);",
    "GRANT SELECT ON BlackList TO bw_reader",
    "GRANT INSERT, UPDATE, DELETE ON BlackList TO bw_writer",
};

// The procedures the archive's clients call, each followed by its grant.
const char* const kProcedures[] = {
    "CREATE PROCEDURE dbo.DocByID @EntryID INTEGER AS SELECT Document.*, (SELECT "
    "Count(SubDocument.ChildEntryID) FROM SubDocument WHERE "
    "(((SubDocument.ParentEntryID)=Document.EntryID))) AS SubDocsCount From Document WHERE "
    "((Document.EntryID) = @EntryID);",
    "GRANT EXEC ON DocByID TO bw_reader",
    "CREATE PROCEDURE dbo.DocByUrl @sUrl NVARCHAR(4000) AS SELECT Document.* From Document WHERE "
    "((Document.Url) = @sUrl);",
    "GRANT EXEC ON DocByUrl TO bw_reader",
    "CREATE PROCEDURE dbo.DocByUrlSize (@sUrl NVARCHAR(4000), @lFileSize INTEGER) AS SELECT "
    "Document.* From Document WHERE (((Document.Url)=@sUrl) AND ((Document.FileSize)=@lFileSize));",
    "GRANT EXEC ON DocByUrlSize TO bw_reader",
    "CREATE PROCEDURE dbo.DocWithSub @EntryID INTEGER AS SELECT Document.*, (SELECT "
    "Count(SubDocument.ChildEntryID) FROM SubDocument WHERE "
    "(((SubDocument.ParentEntryID)=Document.EntryID))) AS SubDocsCount From Document WHERE "
    "((Document.EntryID) = @EntryID) Union All SELECT Document.*, (SELECT "
    "Count(SubDocument.ChildEntryID) FROM SubDocument WHERE "
    "(((SubDocument.ParentEntryID)=Document.EntryID))) AS SubDocsCount FROM SubDocument INNER JOIN "
    "Document ON SubDocument.ChildEntryID = Document.EntryID WHERE (SubDocument.ParentEntryID = "
    "@EntryID)",
    "GRANT EXEC ON DocWithSub TO bw_reader",
    "CREATE PROCEDURE dbo.DocsInFolder @FolderID INTEGER AS SELECT Document.EntryID, Document.Url, "
    "Document.TypeID, Document.Title, Document.Filename, Document.FileSize, Document.CreationTime, "
    "Document.FileModifiedDate, Document.Comment, Document.Importance, Document.Categories, "
    "Document.Status From Document WHERE (((Document.VisibleInFolderID) = @FolderID));",
    "GRANT EXEC ON DocsInFolder TO bw_reader",
    "CREATE PROCEDURE dbo.DocsSub @ParentEntryID INTEGER AS SELECT Document.*, (SELECT "
    "Count(SubDocument.ChildEntryID) FROM SubDocument WHERE "
    "(((SubDocument.ParentEntryID)=Document.EntryID))) AS SubDocsCount FROM SubDocument INNER JOIN "
    "Document ON SubDocument.ChildEntryID = Document.EntryID WHERE (SubDocument.ParentEntryID= "
    "@ParentEntryID);",
    "GRANT EXEC ON DocsSub TO bw_reader",
    "CREATE PROCEDURE dbo.DocsWithCategory @CategoryID INTEGER AS SELECT DISTINCT "
    "Document.EntryID, Document.Url, Document.TypeID, Document.Title, Document.FileSize, "
    "Document.Filename, Document.CreationTime, Document.FileModifiedDate, Document.Comment AS "
    "Comment, Document.Importance, Document.Categories, Document.Status, Folder.FolderID, "
    "Folder.Name AS Folder, Folder.Icon FROM (Document INNER JOIN DocCategory ON Document.EntryID "
    "= DocCategory.EntryID) INNER JOIN Folder ON Document.FolderID = Folder.FolderID WHERE "
    "(DocCategory.CategoryID = @CategoryID);",
    "GRANT EXEC ON DocsWithCategory TO bw_reader",
    "CREATE PROCEDURE dbo.FolderByID @FolderID INTEGER AS SELECT Folder.*, "
    "SubFolder.ParentFolderID, (SELECT Count(SubFolder_1.ChildFolderID) FROM SubFolder AS "
    "SubFolder_1 WHERE (((SubFolder_1.ParentFolderID)=Folder.FolderID))) AS SubFolderCount, "
    "(SELECT Count(Document.EntryID) FROM Document WHERE "
    "(((Document.VisibleInFolderID)=Folder.FolderID))) AS DocsCount FROM SubFolder RIGHT JOIN "
    "Folder ON SubFolder.ChildFolderID = Folder.FolderID Where (((Folder.FolderID) = @FolderID)) "
    "ORDER BY Folder.Name",
    "GRANT EXEC ON FolderByID TO bw_reader",
    "CREATE PROCEDURE dbo.FoldersRoot AS SELECT Folder.*, (SELECT "
    "Count(Document.VisibleInFolderID) FROM Document WHERE Document.VisibleInFolderID = "
    "Folder.FolderID) AS DocsCount FROM SubFolder INNER JOIN Folder ON SubFolder.ChildFolderID = "
    "Folder.FolderID WHERE (((SubFolder.ParentFolderID)=1) AND ((Folder.FolderID)>1000)) ORDER BY "
    "Folder.Name;",
    "GRANT EXEC ON FoldersRoot TO bw_reader",
    "CREATE PROCEDURE dbo.FoldersOpen AS SELECT Folder.*, SubFolder.ParentFolderID, (SELECT "
    "COUNT(SubFolder_1.ChildFolderID) FROM SubFolder AS SubFolder_1 WHERE "
    "SubFolder_1.ParentFolderID = Folder.FolderID) AS SubFolderCount, (SELECT "
    "COUNT(Document.EntryID) FROM Document WHERE Document.VisibleInFolderID = Folder.FolderID) AS "
    "DocCount FROM SubFolder INNER JOIN Folder ON SubFolder.ChildFolderID = Folder.FolderID INNER "
    "JOIN Folder Folder_1 ON SubFolder.ParentFolderID = Folder_1.FolderID WHERE Folder.FolderID > "
    "1000 AND Folder_1.Expanded = 1 OR Folder.FolderID > 1000 AND Folder_1.Expanded = 0 AND "
    "SubFolder.ParentFolderID = 1 ORDER BY Folder.Name;",
    "GRANT EXEC ON FoldersOpen TO bw_reader",
    "CREATE PROCEDURE dbo.FoldersSub @FolderID INTEGER AS SELECT Folder.*, "
    "SubFolder.ParentFolderID, (SELECT COUNT(SubFolder_1.ChildFolderID) FROM SubFolder AS "
    "SubFolder_1 WHERE SubFolder_1.ParentFolderID = Folder.FolderID) AS SubFolderCount, (SELECT "
    "COUNT(Document.EntryID) FROM Document WHERE Document.VisibleInFolderID = Folder.FolderID) AS "
    "DocsCount FROM SubFolder INNER JOIN Folder ON SubFolder.ChildFolderID = Folder.FolderID INNER "
    "JOIN Folder Folder_1 ON SubFolder.ParentFolderID = Folder_1.FolderID WHERE "
    "SubFolder.ParentFolderID = @FolderID ORDER BY Folder.Name;",
    "GRANT EXEC ON FoldersSub TO bw_reader",
    "CREATE PROCEDURE dbo.DocCount AS SELECT Count(EntryID) AS DocCount FROM Document WHERE "
    "((VisibleInFolderID > 1000) OR (VisibleInFolderID = 400 OR VisibleInFolderID = 600))",
    "GRANT EXEC ON DocCount TO bw_reader",
    "CREATE PROCEDURE dbo.FolderCount AS SELECT Count(FolderID) AS FolderCount FROM Folder WHERE "
    "FolderID > 1000",
    "GRANT EXEC ON FolderCount TO bw_reader",
    "CREATE PROCEDURE dbo.CategoriesSub @CategoryID INTEGER AS SELECT Category.* FROM SubCategory "
    "LEFT JOIN Category ON SubCategory.ChildCategoryID=Category.CategoryID WHERE "
    "(((SubCategory.ParentCategoryID)= @CategoryID )) ORDER BY Category.Name;",
    "GRANT EXEC ON CategoriesSub TO bw_reader",
    "CREATE PROCEDURE dbo.InsertSearchFolder (@FolderName VARCHAR(255), @FolderID SMALLINT OUTPUT) "
    "AS DECLARE @MaxFolderID SMALLINT SELECT @FolderID = Max(Folder.FolderID)+1 FROM Folder IF "
    "@FolderID < 1000 BEGIN SET @FolderID = 1001 END INSERT INTO Folder (FolderID, Name, "
    "CreationTime) VALUES (@FolderID, @FolderName, GETDATE()) INSERT INTO SubFolder "
    "(ParentFolderID, ChildFolderID) VALUES (500, @FolderID)",
    "GRANT EXEC ON InsertSearchFolder TO bw_reader",
    "CREATE PROCEDURE dbo.RemoveSearchFolder (@FolderID SMALLINT) AS IF EXISTS(SELECT * FROM "
    "SubFolder WHERE ParentFolderID=500 AND ChildFolderID=@FolderID) BEGIN DELETE FROM Folder "
    "WHERE FolderID=@FolderID DELETE FROM SubFolder WHERE ParentFolderID=500 AND "
    "ChildFolderID=@FolderID DELETE FROM ExtendedData FROM (ExtendedData INNER JOIN ExtendedField "
    "ON ExtendedData.ExtFieldID = ExtendedField.ExtFieldID) WHERE (ExtendedField.FieldType=2) AND "
    "(ExtendedData.EntryID=@FolderID) End",
    "GRANT EXEC ON RemoveSearchFolder TO bw_reader",
};

// The system folders; user folders get ids above 1000.
const char* const kFolders[] = {
    "INSERT INTO Folder (FolderID, Name, CreationTime) Values (1, 'Wurzelordner', "
    "current_timestamp);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status) Values (100, 'Schablonen', "
    "current_timestamp, 1);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 100);",
    "INSERT INTO Folder (FolderID, Name, CreationTime) Values (110, 'Kategorien', "
    "current_timestamp);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (100, 110);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status) Values (140, 'Suchvorlagen', "
    "current_timestamp, 2);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (100, 140);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status) Values (150, 'Kontaktpersonen', "
    "current_timestamp, 1);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (100, 150);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status) Values (200, 'Ideen', "
    "current_timestamp, 2);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 200);",
    "INSERT INTO Folder (FolderID, Name, CreationTime) Values (300, 'Notierte Webadressen', "
    "current_timestamp);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 300);",
    "INSERT INTO Folder (FolderID, Name, CreationTime) Values (400, 'Neu erfasste Dokumente', "
    "current_timestamp);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 400);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status, Virtual) Values (500, "
    "'Suchergebnisse', current_timestamp, 2, -1);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 500);",
    "INSERT INTO Folder (FolderID, Name, CreationTime) Values (600, 'Gelöschte Dokumente', "
    "current_timestamp);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 600);",
    "INSERT INTO Folder (FolderID, Name, CreationTime, Status) Values (700, 'Dokumenteneingang', "
    "current_timestamp, 2);",
    "INSERT INTO SubFolder (ParentFolderID, ChildFolderID) Values (1, 700);",
};

// The fixed archive properties and their first values.
const char* const kPropertyFields[] = {
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (1, 3, 'Brindlewick: "
    "Document OriginalFolder');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (2, 1, 'Brindlewick: "
    "Archive Type');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (3, 1, 'Brindlewick: "
    "Archive Version');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (4, 1, 'Brindlewick: "
    "Archive Comment');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (5, 2, 'Brindlewick: "
    "Folder OriginalFolder');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (6, 1, 'Brindlewick: "
    "Archive Compatibility');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (7, 1, 'Brindlewick: "
    "Archive GUID');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (8, 1, 'Brindlewick: "
    "Archive Creation Time');",
    "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (10, 1, 'Brindlewick: "
    "Search in PlainText');",
    "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 2, 'Server Archive');",
    "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 3, '1.61');",
    "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 6, '1.50');",
};

}  // namespace

std::optional<std::string> ArchiveNameOf(const std::string& databaseName) {
  if (!StartsWithIgnoreCase(databaseName, kPrefix)) return std::nullopt;
  return databaseName.substr(sizeof(kPrefix) - 1);
}

std::string CreateDatabaseStatement(const std::string& name, const std::string& path) {
  return "CREATE DATABASE " + SqlName(name) + " ON " + "( NAME = " + SqlName(name) + ", " +
         "FILENAME = '" + SqlStringBody(path) + "')";
}

std::string SingleUserStatement(const std::string& databaseName, bool on) {
  return "sp_dboption @dbname ='" + SqlStringBody(databaseName) +
         "' , @optname = 'single user', @optvalue = '" + (on ? "true" : "false") + "'";
}

std::string RenameDatabaseStatement(const std::string& from, const std::string& to) {
  return "sp_renamedb @dbname ='" + SqlStringBody(from) + "' , @newname = '" + SqlStringBody(to) +
         "'";
}

std::string NewArchiveConnectionString(const std::string& serverConnectionString,
                                       const std::string& databaseName) {
  std::string text = serverConnectionString;
  if (text.empty() || text.back() != ';') text += ";";
  return text + "Initial Catalog=" + OleDbValue(databaseName);
}

std::vector<std::string> ArchiveSchemaStatements(const std::string& name, int productVersion,
                                                 const std::string& guid, long creationDay) {
  std::vector<std::string> statements;
  statements.reserve(120);
  statements.insert(statements.end(), std::begin(kTables), std::end(kTables));
  statements.insert(statements.end(), std::begin(kProcedures), std::end(kProcedures));
  // Their texts live in the string table, lines joined by line feeds.
  statements.push_back(LoadResString(292));
  statements.push_back("GRANT EXEC ON DeleteDoc TO bw_writer");
  statements.push_back(LoadResString(291));
  statements.push_back("GRANT EXEC ON DeleteFolder TO bw_structurer");
  statements.insert(statements.end(), std::begin(kFolders), std::end(kFolders));
  statements.insert(statements.end(), std::begin(kPropertyFields), std::end(kPropertyFields));
  statements.push_back(
      "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 7, '" +
      SqlStringBody(guid) + "');");
  statements.push_back(
      "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 8, '" +
      std::to_string(creationDay) + "');");
  statements.push_back(
      "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 10, 'True');");
  const std::string database = std::string(kPrefix) + name;
  if (productVersion < 8) {
    statements.push_back("EXEC sp_dboption '" + SqlStringBody(database) +
                         "', 'autoshrink', 'true'");
  } else {
    statements.push_back("ALTER DATABASE " + SqlName(database) + " SET AUTO_SHRINK ON;");
  }
  return statements;
}

const std::vector<std::uint8_t>& TemplateImage() {
  static const std::vector<std::uint8_t> kImage = {
      0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x91, 0x00, 0x00,
      0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21,
      0xF9, 0x04, 0x09, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01,
      0x00, 0x01, 0x00, 0x00, 0x08, 0x04, 0x00, 0x01, 0x04, 0x04, 0x00, 0x3B};
  return kImage;
}

long DayNumber(int year, int month, int day) {
  using namespace std::chrono;
  const sys_days epoch =
      year_month_day{std::chrono::year{1899}, std::chrono::month{12}, std::chrono::day{30}};
  const sys_days date =
      year_month_day{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                     std::chrono::day{static_cast<unsigned>(day)}};
  return static_cast<long>((date - epoch).count());
}

long TodayDayNumber() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

long RoundHalfEven(double value) {
  return static_cast<long>(std::nearbyint(value));
}

int LogShrinkTarget(double pages) {
  long megabytes = RoundHalfEven(pages / 128.0);
  if (megabytes > 5) return 3;
  if (megabytes >= 2) return 1;
  return 0;
}

}  // namespace bw
