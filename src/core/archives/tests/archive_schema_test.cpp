#include "archives/ArchiveSchema.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "data/ConnectionString.h"
#include "support/StringTable.h"

namespace bw {
namespace {

TEST(ArchivePrefix, OnlyALeadingPrefixInAnyCaseMakesAnArchive) {
  EXPECT_EQ(ArchiveNameOf("Brindlewick_Main"), "Main");
  EXPECT_EQ(ArchiveNameOf("brindlewick_Test"), "Test");
  EXPECT_EQ(ArchiveNameOf("BRINDLEWICK_x_Brindlewick_y"), "x_Brindlewick_y");
  EXPECT_EQ(ArchiveNameOf("Brindlewick_"), "");
  EXPECT_EQ(ArchiveNameOf("Old_Brindlewick_X"), std::nullopt);
  EXPECT_EQ(ArchiveNameOf("master"), std::nullopt);
  EXPECT_EQ(ArchiveNameOf("Brindlewick"), std::nullopt);
}

TEST(ArchiveStatements, PlainNamesGiveTheFixedTexts) {
  EXPECT_EQ(CreateDatabaseStatement("Main", "C:\\Data\\Main.mdf"),
            "CREATE DATABASE Main ON ( NAME = Main, FILENAME = 'C:\\Data\\Main.mdf')");
  EXPECT_EQ(SingleUserStatement("Main", true),
            "sp_dboption @dbname ='Main' , @optname = 'single user', @optvalue = 'true'");
  EXPECT_EQ(SingleUserStatement("Brindlewick_Main", false),
            "sp_dboption @dbname ='Brindlewick_Main' , @optname = 'single user', @optvalue = "
            "'false'");
  EXPECT_EQ(RenameDatabaseStatement("Main", "Brindlewick_Main"),
            "sp_renamedb @dbname ='Main' , @newname = 'Brindlewick_Main'");
}

TEST(ArchiveStatements, OtherNamesAndPathsStayOneValue) {
  EXPECT_EQ(CreateDatabaseStatement("a b", "C:\\O'Brien\\x.mdf"),
            "CREATE DATABASE [a b] ON ( NAME = [a b], FILENAME = 'C:\\O''Brien\\x.mdf')");
  EXPECT_EQ(RenameDatabaseStatement("x'y", "Brindlewick_x'y"),
            "sp_renamedb @dbname ='x''y' , @newname = 'Brindlewick_x''y'");
}

TEST(ArchiveStatements, ConnectionStringGetsOneSeparator) {
  EXPECT_EQ(NewArchiveConnectionString("Provider=SQLOLEDB;Data Source=S;", "Brindlewick_A"),
            "Provider=SQLOLEDB;Data Source=S;Initial Catalog=Brindlewick_A");
  EXPECT_EQ(NewArchiveConnectionString("Provider=SQLOLEDB;Data Source=S", "Brindlewick_A"),
            "Provider=SQLOLEDB;Data Source=S;Initial Catalog=Brindlewick_A");
}

TEST(ArchiveStatements, DatabaseNameStaysOneConnectionValue) {
  // A name from the server is data: it must not add or replace a keyword.
  for (const std::string name :
       {"Brindlewick_x;Data Source=127.0.0.1,25555", "Brindlewick_\"q\";User Id=evil",
        "Brindlewick_ padded ", "Brindlewick_'a'"}) {
    auto parsed = OleDbConnectionString::Parse(
        NewArchiveConnectionString("Provider=SQLOLEDB;Data Source=S;User Id=sa;", name));
    EXPECT_EQ(parsed.Get("Initial Catalog"), name);
    EXPECT_EQ(parsed.Get("Data Source"), "S") << name;
    EXPECT_EQ(parsed.Get("User Id"), "sa") << name;
  }
}

TEST(ArchiveSchema, StatementOrderAndSplicedValues) {
  auto statements = ArchiveSchemaStatements("Main", 8, "{GUID}", 37622);
  ASSERT_EQ(statements.size(), 41u + 32u + 4u + 21u + 15u + 1u);
  EXPECT_EQ(statements.front(), "EXEC sp_addrole @rolename = 'bw_reader'");
  EXPECT_EQ(statements[73], LoadResString(292));
  EXPECT_EQ(statements[74], "GRANT EXEC ON DeleteDoc TO bw_writer");
  EXPECT_EQ(statements[75], LoadResString(291));
  EXPECT_EQ(statements[76], "GRANT EXEC ON DeleteFolder TO bw_structurer");
  EXPECT_EQ(statements[77],
            "INSERT INTO Folder (FolderID, Name, CreationTime) Values (1, 'Wurzelordner', "
            "current_timestamp);");
  auto has = [&](const std::string& text) {
    return std::find(statements.begin(), statements.end(), text) != statements.end();
  };
  EXPECT_TRUE(
      has("INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 7, "
          "'{GUID}');"));
  EXPECT_TRUE(
      has("INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 8, "
          "'37622');"));
  EXPECT_EQ(statements[statements.size() - 2],
            "INSERT INTO ExtendedData (EntryID, ExtFieldID, FieldValue) VALUES (0, 10, 'True');");
  EXPECT_EQ(statements.back(), "ALTER DATABASE Brindlewick_Main SET AUTO_SHRINK ON;");
  EXPECT_EQ(ArchiveSchemaStatements("Main", 7, "", 1).back(),
            "EXEC sp_dboption 'Brindlewick_Main', 'autoshrink', 'true'");
}

TEST(ArchiveSchema, TheDocumentTableIsOneStatementOfItsPieces) {
  auto statements = ArchiveSchemaStatements("Main", 8, "", 0);
  EXPECT_EQ(statements[4].rfind("CREATE TABLE dbo.Document (EntryID INTEGER IDENTITY (1,1) NOT "
                                "NULL, UniqueID uniqueidentifier,",
                                0),
            0u);
  EXPECT_NE(statements[4].find("VisibleInFolderID SMALLINT DEFAULT 0 ,Url NVARCHAR(4000)"),
            std::string::npos);
  EXPECT_NE(statements[4].find("Status INT DEFAULT 0 CONSTRAINT PK_Document PRIMARY KEY ( "
                               "EntryID ) )"),
            std::string::npos);
}

TEST(ArchiveSchema, DeleteProceduresKeepTheirTabsAndTrailingBlanks) {
  const std::string deleteDoc = LoadResString(292);
  EXPECT_EQ(deleteDoc.substr(0, 48), "CREATE Procedure DeleteDoc (@EntryID INT) \nAs \nB");
  EXPECT_NE(deleteDoc.find("\n\tINSERT INTO #TempDocument1"), std::string::npos);
  EXPECT_EQ(deleteDoc.find('\r'), std::string::npos);
  const std::string deleteFolder = LoadResString(291);
  EXPECT_NE(deleteFolder.find("#TempFolder\n\nIF (@FolderID=600)"), std::string::npos);
}

TEST(TemplateImage, IsTheTransparentGif) {
  const auto& image = TemplateImage();
  ASSERT_EQ(image.size(), 51u);
  EXPECT_EQ(std::string(image.begin(), image.begin() + 6), "GIF89a");
  EXPECT_EQ(image.back(), 0x3B);
}

TEST(DayNumbers, CountFromTheLastDaysOf1899) {
  EXPECT_EQ(DayNumber(2003, 1, 1), 37622);
  EXPECT_EQ(DayNumber(1899, 12, 30), 0);
  EXPECT_EQ(DayNumber(1900, 3, 1), 61);
  EXPECT_GT(TodayDayNumber(), DayNumber(2024, 1, 1));
}

TEST(LogShrink, TargetsByRoundedMegabytes) {
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(3.5), 4);
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(LogShrinkTarget(700), 1);  // 5.47 MB → 5
  EXPECT_EQ(LogShrinkTarget(800), 3);  // 6.25 MB
  EXPECT_EQ(LogShrinkTarget(100), 0);  // 0.78 MB → 1
  EXPECT_EQ(LogShrinkTarget(704), 3);  // 5.5 MB → 6
  EXPECT_EQ(LogShrinkTarget(320), 1);  // 2.5 MB → 2
  EXPECT_EQ(LogShrinkTarget(192), 1);  // 1.5 MB → 2
  EXPECT_EQ(LogShrinkTarget(64), 0);   // 0.5 MB → 0
}

}  // namespace
}  // namespace bw
