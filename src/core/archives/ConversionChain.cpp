#include "archives/ArchiveConversion.h"

#include "support/StringTable.h"

namespace bw {

namespace {

ConversionStep Sql(std::string text, int progress = -1) {
  ConversionStep step;
  step.kind = ConversionStepKind::Statement;
  step.text = std::move(text);
  step.progress = progress;
  return step;
}

ConversionStep Tolerant(std::string text, int progress = -1) {
  ConversionStep step = Sql(std::move(text), progress);
  step.tolerant = true;
  return step;
}

ConversionStep Version(std::string version, int progress = -1) {
  ConversionStep step;
  step.kind = ConversionStepKind::Version;
  step.text = std::move(version);
  step.progress = progress;
  return step;
}

ConversionStep Property(std::string name, std::string value) {
  ConversionStep step;
  step.kind = ConversionStepKind::Property;
  step.text = std::move(name);
  step.value = std::move(value);
  return step;
}

ConversionStep Repeated(std::string text) {
  ConversionStep step = Sql(std::move(text));
  step.kind = ConversionStepKind::RepeatUntilStable;
  return step;
}

ConversionStep AddOrAlter(std::string add, std::string alter, std::string message) {
  ConversionStep step = Sql(std::move(add));
  step.kind = ConversionStepKind::AddOrAlterColumn;
  step.alternative = std::move(alter);
  step.message = std::move(message);
  step.tolerant = true;
  return step;
}

ConversionStep ProgressOnly(int progress) {
  ConversionStep step;
  step.kind = ConversionStepKind::ProgressOnly;
  step.progress = progress;
  return step;
}

// Every block of the chain, oldest first.
std::vector<ConversionBlock> Chain() {
  std::vector<ConversionBlock> chain;
  // Written for the archives' first database engine: on SQL Server the first
  // statement is a syntax error, so such an archive stops here.
  chain.push_back(
      {'A',
       "",
       "1.36",
       {
           Sql("CREATE PROCEDURE dbo.DocsWithCategory ([CategoryID] Long) AS SELECT DISTINCT "
               "Document.EntryID, Document.Url, Document.TypeID, Document.Title, "
               "Document.FileSize, "
               "Document.Filename, Document.CreationTime, Document.FileModifiedDate, "
               "CStr(Document.Comment) "
               "AS Comment, Document.Importance, Document.Categories, Folder.FolderID, "
               "Folder.Name AS Folder FROM (Document INNER JOIN DocCategory ON Document.EntryID "
               "= DocCategory.EntryID) INNER JOIN Folder ON Document.FolderID = Folder.FolderID "
               "WHERE (DocCategory.CategoryID = [CategoryID]);"),
           Sql("ALTER TABLE Document ADD COLUMN PlainText Text"),
           Sql("ALTER TABLE Document ADD COLUMN UniqueID VARCHAR (38)"),
           Version("1.36"),
           Sql("ALTER TABLE Document ALTER COLUMN Url VARCHAR (4000)"),
       }});
  chain.push_back(
      {'B',
       "1.36",
       "1.40",
       {Sql("GRANT CREATE TABLE TO bw_reader"),
        Sql("CREATE VIEW dbo.SearchFolderView WITH VIEW_METADATA AS SELECT Folder.* "
            "FROM Folder INNER JOIN SubFolder ON Folder.FolderID = SubFolder.ChildFolderID "
            "Where (SubFolder.ParentFolderID = 500)"),
        Sql("GRANT SELECT, UPDATE ON SearchFolderView TO bw_reader"),
        Sql("CREATE PROCEDURE dbo.InsertSearchFolder (@FolderName VARCHAR(255), @FolderID "
            "SMALLINT OUTPUT) AS DECLARE @MaxFolderID SMALLINT SELECT @FolderID = "
            "Max(Folder.FolderID)+1 "
            "FROM Folder IF @FolderID < 1000 BEGIN SET @FolderID = 1001 END INSERT "
            "INTO Folder (FolderID, Name, CreationTime) VALUES (@FolderID, @FolderName, "
            "GETDATE()) INSERT INTO SubFolder (ParentFolderID, ChildFolderID) VALUES "
            "(500, @FolderID)"),
        Sql("GRANT EXEC ON InsertSearchFolder TO bw_reader"),
        Sql("CREATE PROCEDURE dbo.RemoveSearchFolder (@FolderID SMALLINT) AS IF EXISTS(SELECT "
            "* FROM SubFolder WHERE ParentFolderID=500 AND ChildFolderID=@FolderID) "
            "BEGIN DELETE FROM Folder WHERE FolderID=@FolderID DELETE FROM SubFolder "
            "WHERE ParentFolderID=500 AND ChildFolderID=@FolderID DELETE FROM ExtendedData "
            "FROM (ExtendedData INNER JOIN ExtendedField ON ExtendedData.ExtFieldID "
            "= ExtendedField.ExtFieldID) WHERE (ExtendedField.FieldType=2) AND "
            "(ExtendedData.EntryID=@FolderID) "
            "End"),
        Sql("GRANT EXEC ON RemoveSearchFolder TO bw_reader"),
        Sql("GRANT SELECT, INSERT, UPDATE, DELETE ON ExtendedField TO bw_reader"),
        Sql("GRANT SELECT, INSERT, UPDATE, DELETE ON ExtendedData TO bw_reader"),
        Version("1.40")}});
  // The two delete procedures are the texts a new archive gets.
  chain.push_back(
      {'C',
       "1.40",
       "1.41",
       {Sql(LoadResString(292)), Sql("GRANT EXEC ON DeleteDoc TO bw_writer"),
        Sql(LoadResString(291)), Sql("GRANT EXEC ON DeleteFolder TO bw_structurer"),
        Sql("CREATE PROCEDURE dbo.DocWithSub @EntryID INTEGER AS SELECT Document.*, "
            "(SELECT Count(SubDocument.ChildEntryID) FROM SubDocument WHERE "
            "(((SubDocument.ParentEntryID)=Document.EntryID))) "
            "AS SubDocsCount From Document WHERE ((Document.EntryID) = @EntryID) Union "
            "All SELECT Document.*, (SELECT Count(SubDocument.ChildEntryID) FROM SubDocument "
            "WHERE (((SubDocument.ParentEntryID)=Document.EntryID))) AS SubDocsCount "
            "FROM SubDocument INNER JOIN Document ON SubDocument.ChildEntryID = Document.EntryID "
            "WHERE (SubDocument.ParentEntryID = @EntryID)"),
        Sql("GRANT EXEC ON DocWithSub TO bw_reader"), Version("1.41")}});
  // Documents get a folder they are shown in; those of folder 0 that are no
  // sub-document go to folder 600, sub-documents of type 100 follow their
  // parent one level per run.
  chain.push_back(
      {'D',
       "1.41",
       "1.50",
       {AddOrAlter("ALTER TABLE Document ADD VisibleInFolderID SMALLINT DEFAULT 0",
                   "ALTER TABLE Document ALTER COLUMN VisibleInFolderID SMALLINT",
                   "Die Spalte VisibleInFolderID konnte nicht geändert/erzeugt werden."),
        Tolerant("DROP PROCEDURE DocsInFolder"), Tolerant("DROP PROCEDURE DocCount"),
        Tolerant("DROP PROCEDURE FoldersRoot"), Tolerant("DROP PROCEDURE FoldersSub"),
        Sql("CREATE PROCEDURE dbo.DocsInFolder @FolderID INTEGER AS SELECT Document.EntryID, "
            "Document.Url, Document.TypeID, Document.Title, Document.Filename, Document.FileSize, "
            "Document.CreationTime, Document.FileModifiedDate, Document.Comment, "
            "Document.Importance, "
            "Document.Categories From Document WHERE (((Document.VisibleInFolderID) "
            "= @FolderID));"),
        Sql("GRANT EXEC ON DocsInFolder TO bw_reader"),
        Sql("CREATE PROCEDURE dbo.DocCount AS SELECT Count(EntryID) AS DocCount FROM "
            "Document WHERE ((VisibleInFolderID > 1000) OR (VisibleInFolderID = 400 "
            "OR VisibleInFolderID = 600))"),
        Sql("GRANT EXEC ON DocCount TO bw_reader"),
        Sql("CREATE PROCEDURE dbo.FoldersRoot AS SELECT Folder.*, (SELECT "
            "Count(Document.VisibleInFolderID) "
            "FROM Document WHERE Document.VisibleInFolderID = Folder.FolderID) AS DocsCount "
            "FROM SubFolder INNER JOIN Folder ON SubFolder.ChildFolderID = Folder.FolderID "
            "WHERE (((SubFolder.ParentFolderID)=1) AND ((Folder.FolderID)>1000)) ORDER "
            "BY Folder.Name;"),
        Sql("GRANT EXEC ON FoldersRoot TO bw_reader"),
        Sql("CREATE PROCEDURE dbo.FoldersSub @FolderID INTEGER AS SELECT Folder.*, "
            "(SELECT Count(Document.VisibleInFolderID) FROM Document WHERE "
            "Document.VisibleInFolderID "
            "= Folder.FolderID) AS DocsCount FROM Folder INNER JOIN SubFolder ON Folder.FolderID "
            "= SubFolder.ChildFolderID WHERE (((SubFolder.ParentFolderID)= @FolderID)) "
            "ORDER BY Folder.Name;"),
        Sql("GRANT EXEC ON FoldersSub TO bw_reader"),
        Sql("UPDATE Document SET VisibleInFolderID = FolderID"),
        Sql("UPDATE Document Set Document.FolderID = 600, Document.VisibleInFolderID "
            "= 600 FROM Document LEFT OUTER JOIN SubDocument ON Document.EntryID = "
            "SubDocument.ChildEntryID WHERE (Document.FolderID = 0) AND (SubDocument.ParentEntryID "
            "IS NULL) AND (Document.EntryID > 1)"),
        Repeated("UPDATE Document Set Document.FolderID = ParentDoc.FolderID FROM Document "
                 "INNER JOIN SubDocument ON Document.EntryID = SubDocument.ChildEntryID "
                 "INNER JOIN Document ParentDoc ON   SubDocument.ParentEntryID = ParentDoc.EntryID "
                 "WHERE (Document.FolderID = 0) AND (Document.TypeID = 100) AND (Document.EntryID "
                 "> 1)            "),
        Property("Compatibility", "1.50"), Property("Brindlewick: Archive Compatibility", "1.50"),
        Version("1.50")}});
  chain.push_back(
      {'E',
       "1.50",
       "1.53",
       {Sql("ALTER TABLE Document ADD Status INT DEFAULT 0", 10),
        Sql("Update Document SET Status=0", 20),
        Sql("ALTER TABLE Folder ADD Icon SMALLINT DEFAULT 0", 30),
        Sql("Update Folder SET Icon=0", 40), Sql("DROP PROCEDURE DocsInFolder", 50),
        Sql("CREATE PROCEDURE dbo.DocsInFolder @FolderID INTEGER AS SELECT Document.EntryID, "
            "Document.Url, Document.TypeID, Document.Title, Document.Filename, Document.FileSize, "
            "Document.CreationTime, Document.FileModifiedDate, Document.Comment, "
            "Document.Importance, "
            "Document.Categories, Document.Status From Document WHERE "
            "(((Document.VisibleInFolderID) "
            "= @FolderID));",
            60),
        Sql("GRANT EXEC ON DocsInFolder TO bw_reader", 70), Sql("DROP PROCEDURE DocsWithCategory"),
        Sql("CREATE PROCEDURE dbo.DocsWithCategory @CategoryID INTEGER AS SELECT DISTINCT "
            "Document.EntryID, Document.Url, Document.TypeID, Document.Title, Document.FileSize, "
            "Document.Filename, Document.CreationTime, Document.FileModifiedDate, Document.Comment "
            "AS Comment, Document.Importance, Document.Categories, Document.Status, "
            "Folder.FolderID, Folder.Name AS Folder, Folder.Icon FROM (Document INNER "
            "JOIN DocCategory ON Document.EntryID = DocCategory.EntryID) INNER JOIN "
            "Folder ON Document.FolderID = Folder.FolderID WHERE (DocCategory.CategoryID "
            "= @CategoryID);",
            75),
        Sql("GRANT EXEC ON DocsWithCategory TO bw_reader"),
        Sql("ALTER TABLE Folder ADD Status INT DEFAULT 0", 80),
        Sql("Update Folder SET Status=0", 90), Version("1.53", 100)}});
  chain.push_back(
      {'F',
       "1.53",
       "1.54",
       {Sql("Update Folder SET Status=2 WHERE FolderID=140 OR FolderID=200 OR FolderID=500 "
            "OR FolderID=700",
            50),
        Version("1.54", 100)}});
  // From here to the end a failing statement is skipped.
  chain.push_back(
      {'G',
       "1.54",
       "1.55",
       {ProgressOnly(10), Tolerant("ALTER TABLE dbo.Document ALTER COLUMN Url NVARCHAR (4000)", 20),
        Tolerant("DROP PROCEDURE dbo.DocByUrl", 30),
        Tolerant("CREATE PROCEDURE dbo.DocByUrl @sUrl NVARCHAR(4000) AS SELECT Document.* "
                 "From Document WHERE ((Document.Url) = @sUrl);",
                 40),
        Tolerant("GRANT EXEC ON dbo.DocByUrl TO bw_reader", 50),
        Tolerant("DROP PROCEDURE dbo.DocByUrlSize", 60),
        Tolerant("CREATE PROCEDURE dbo.DocByUrlSize (@sUrl NVARCHAR(4000), @lFileSize INTEGER) "
                 "AS SELECT Document.* From Document WHERE (((Document.Url)=@sUrl) AND "
                 "((Document.FileSize)=@lFileSize));",
                 70),
        Tolerant("GRANT EXEC ON dbo.DocByUrlSize TO bw_reader"), Version("1.55", 100)}});
  chain.push_back(
      {'H',
       "1.55",
       "1.56",
       {Tolerant("DROP VIEW dbo.SearchFolderView", 33),
        Tolerant("CREATE VIEW dbo.SearchFolderView WITH VIEW_METADATA AS SELECT Folder.* "
                 "FROM Folder INNER JOIN SubFolder ON Folder.FolderID = SubFolder.ChildFolderID "
                 "Where (SubFolder.ParentFolderID = 500)",
                 66),
        Tolerant("GRANT SELECT, UPDATE ON dbo.SearchFolderView TO bw_reader"),
        Version("1.56", 100)}});
  chain.push_back(
      {'I',
       "1.56",
       "1.61",
       {Tolerant("ALTER PROCEDURE dbo.FolderByID @FolderID INTEGER AS SELECT Folder.*, "
                 "SubFolder.ParentFolderID, "
                 "(SELECT Count(SubFolder_1.ChildFolderID) FROM SubFolder AS SubFolder_1 "
                 "WHERE (((SubFolder_1.ParentFolderID)=Folder.FolderID))) AS SubFolderCount, "
                 "(SELECT Count(Document.EntryID) FROM Document WHERE "
                 "(((Document.VisibleInFolderID)=Folder.FolderID))) "
                 "AS DocsCount FROM SubFolder RIGHT JOIN Folder ON SubFolder.ChildFolderID "
                 "= Folder.FolderID Where (((Folder.FolderID)=@FolderID)) ORDER BY Folder.Name",
                 75),
        Tolerant("ALTER PROCEDURE dbo.FoldersSub @FolderID INTEGER AS SELECT Folder.*, "
                 "SubFolder.ParentFolderID, "
                 "(SELECT COUNT(SubFolder_1.ChildFolderID) FROM SubFolder AS SubFolder_1 "
                 "WHERE SubFolder_1.ParentFolderID = Folder.FolderID) AS SubFolderCount, "
                 "(SELECT COUNT(Document.EntryID) FROM Document WHERE Document.VisibleInFolderID "
                 "= Folder.FolderID) AS DocsCount FROM SubFolder INNER JOIN Folder ON "
                 "SubFolder.ChildFolderID "
                 "= Folder.FolderID INNER JOIN Folder Folder_1 ON SubFolder.ParentFolderID "
                 "= Folder_1.FolderID WHERE SubFolder.ParentFolderID = @FolderID ORDER BY "
                 "Folder.Name"),
        Tolerant("DROP INDEX Document.IDX_Document1"),
        Tolerant(
            "CREATE INDEX IDX_Document1 ON Document (Url, FileSize, FolderID, VisibleInFolderID)",
            90),
        Version("1.61", 100)}});
  return chain;
}

}  // namespace

int FirstConversionBlock(int versionNumber) {
  if (versionNumber < 136) return 0;
  if (versionNumber <= 139) return 1;
  switch (versionNumber) {
    case 140:
      return 2;
    case 141:
      return 3;
    case 150:
      return 4;
    case 153:
      return 5;
    case 154:
      return 6;
    case 155:
      return 7;
    case 156:
    case 160:
      return 8;
    default:
      return -1;
  }
}

std::vector<ConversionBlock> ConversionBlocks(int versionNumber) {
  const int first = FirstConversionBlock(versionNumber);
  if (first < 0) return {};
  std::vector<ConversionBlock> chain = Chain();
  chain.erase(chain.begin(), chain.begin() + first);
  return chain;
}

}  // namespace bw
