// Archive conversion against a started sqlstandin: archives as older releases
// left them are converted and compared with a new archive; versions without
// a conversion stay as they are; a statement that fails stops the chain at
// its block, and the next run finishes the work.
#include <gtest/gtest.h>

#include <memory>

#include "OldArchive.h"
#include "StandinFixture.h"
#include "archives/ArchiveConversion.h"
#include "archives/ArchiveSchema.h"
#include "archives/Databases.h"
#include "servers/Servers.h"

namespace bw {
namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

class RecordingProgress : public Progress {
 public:
  void SetTask(const std::string& line) override { task = line; }
  void SetDescription(const std::string& text) override { description = text; }
  void SetMaximum(int value) override { maximum = value; }
  void SetValue(int value) override { values.push_back(value); }
  void Pump() override { ++pumps; }
  std::string task, description;
  int maximum = 0, pumps = 0;
  std::vector<int> values;
};

class ArchiveConversionTest : public bw::testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-conversion", &m_Messages);
    Servers servers;
    std::string text = RegistrationString();
    ASSERT_NE(servers.Add(text), nullptr);
  }
  void TearDown() override {
    m_Servers.reset();
    LeaveProfile(m_Home);
  }

  static std::filesystem::path Mdf(const std::string& name) {
    return testing::OldArchiveFile(Standin().DataDir(), name);
  }

  static void MakeOldArchive(const std::string& name, int version, const std::string& versionText,
                             const std::vector<std::string>& extra = {},
                             const std::string& variant = "") {
    testing::MakeOldArchive(RegistrationString(), name, version, versionText, extra, variant);
  }

  // The new archive every conversion is compared with, made once.
  static const testing::ArchiveShape& FreshShape() {
    static std::optional<testing::ArchiveShape> shape;
    if (!shape) {
      Servers servers;
      if (servers.Item(1)->Databases().AddNew("Fresh", std::string(kDataFolder) + "Fresh.mdf") ==
          nullptr) {
        throw std::runtime_error("the new archive was not made");
      }
      shape = testing::ReadArchiveShape(Mdf("Fresh"));
    }
    return *shape;
  }

  // The archive through the product, from a catalogue filled now.
  Database& Archive(const std::string& name) {
    m_Servers = std::make_unique<Servers>();
    for (Database* archive : m_Servers->Item(1)->Databases().NewEnum()) {
      if (archive->Name() == name) return *archive;
    }
    throw std::runtime_error("no archive " + name);
  }

  static std::string Version(Database& archive) { return archive.GetExtendedValue(0, 3, 1, ""); }

  static std::vector<std::string> Column(Database& archive, const std::string& sql) {
    std::vector<std::string> values;
    Recordset rs;
    rs.Open(sql, &archive.GetConnection());
    for (; !rs.Eof(); rs.MoveNext()) {
      std::string value;
      for (int i = 0; i < rs.FieldCount(); ++i) {
        value += (i > 0 ? "/" : "") + rs.Value(i).ToText();
      }
      values.push_back(value);
    }
    return values;
  }

  ScriptedMessageService m_Messages;
  std::filesystem::path m_Home;
  std::unique_ptr<Servers> m_Servers;
};

struct OldVersion {
  int number;
  const char* text;
};
void PrintTo(const OldVersion& version, std::ostream* out) {
  *out << version.text;
}

class ConvertOldVersion : public ArchiveConversionTest,
                          public ::testing::WithParamInterface<OldVersion> {};

TEST_P(ConvertOldVersion, EndsLikeANewArchive) {
  const OldVersion old = GetParam();
  const std::string name = std::string("Old") + std::to_string(old.number);
  const testing::ArchiveShape& fresh = FreshShape();
  MakeOldArchive(name, old.number, old.text);
  Database& archive = Archive(name);
  const std::optional<int> number = ArchiveVersionNumber(Version(archive));
  ASSERT_EQ(number, old.number);

  RecordingProgress progress;
  ConversionResult result = ConvertArchive(archive, *number, progress);
  ASSERT_TRUE(result.completed) << (result.error ? result.error->Description() : "");
  EXPECT_TRUE(result.skipped.empty())
      << result.skipped.front().statement << ": " << result.skipped.front().error;
  EXPECT_EQ(result.version, "1.61");
  EXPECT_EQ(Version(archive), "1.61");
  EXPECT_EQ(progress.task, "Updating the archive '" + name + "'.");
  EXPECT_EQ(progress.description, "Please wait…");
  EXPECT_EQ(progress.maximum, 100);
  EXPECT_EQ(progress.values.back(), 100);
  EXPECT_TRUE(m_Messages.History().empty());

  testing::ArchiveShape converted = testing::ReadArchiveShape(Mdf(name));
  // ALTER COLUMN without NULL or NOT NULL makes the column nullable.
  testing::ArchiveShape expected = fresh;
  if (old.number < 155) expected.columns["Document.Url"] = "nvarchar(4000)";
  // The texts the chain gives where a new archive's differ.
  for (const ConversionBlock& block : ConversionBlocks(old.number)) {
    for (const ConversionStep& step : block.steps) {
      if (step.text.starts_with("ALTER PROCEDURE dbo.FolderByID ")) {
        expected.objects["FolderByID"] = step.text;
      } else if (step.text.starts_with("ALTER PROCEDURE dbo.FoldersSub ")) {
        expected.objects["FoldersSub"] = step.text;
      } else if (step.text.starts_with("CREATE VIEW dbo.SearchFolderView ")) {
        expected.objects["SearchFolderView"] = step.text;
      }
    }
  }
  ASSERT_EQ(expected.indexes.at("Document.IDX_Document1"),
            "Url, FileSize, FolderID, VisibleInFolderID");
  ASSERT_GT(expected.columns.size(), 40u);
  ASSERT_GT(expected.objects.size(), 15u);
  EXPECT_EQ(converted.columns, expected.columns);
  EXPECT_EQ(converted.indexes, expected.indexes);
  for (const auto& [object, text] : expected.objects) {
    EXPECT_EQ(converted.objects[object], text) << object;
  }
  EXPECT_EQ(converted.objects.size(), expected.objects.size());

  std::vector<std::string> places(std::begin(testing::kDocumentPlaces),
                                  std::end(testing::kDocumentPlaces));
  EXPECT_EQ(Column(archive, "SELECT FolderID, VisibleInFolderID FROM Document ORDER BY EntryID"),
            places);
  EXPECT_EQ(Column(archive, "SELECT FolderID FROM Folder WHERE Status = 2 ORDER BY FolderID"),
            (std::vector<std::string>{"140", "200", "500", "700"}));
  EXPECT_EQ(Column(archive, "SELECT COUNT(*) FROM Document WHERE Status = 0"),
            std::vector<std::string>{"7"});
  EXPECT_EQ(Column(archive, "SELECT COUNT(*) FROM Folder WHERE Icon IS NULL OR Icon <> 0"),
            std::vector<std::string>{"0"});
  EXPECT_EQ(archive.GetExtendedValue(0, 0, 1, "Brindlewick: Archive Compatibility"), "1.50");
  EXPECT_EQ(archive.GetExtendedValue(0, 0, 1, "Compatibility"), old.number < 150 ? "1.50" : "");
}

INSTANTIATE_TEST_SUITE_P(Versions, ConvertOldVersion,
                         ::testing::Values(OldVersion{141, "1.41"}, OldVersion{150, "1.50"},
                                           OldVersion{153, "1.53"}, OldVersion{154, "1.54"},
                                           OldVersion{155, "1.55"}, OldVersion{156, "1.56"},
                                           OldVersion{160, "1.60"}),
                         [](const ::testing::TestParamInfo<OldVersion>& row) {
                           return std::to_string(row.param.number);
                         });

TEST_F(ArchiveConversionTest, ProgressValuesOfEachBlock) {
  MakeOldArchive("Bar141", 141, "1.41");
  MakeOldArchive("Bar160", 160, "1.60");
  RecordingProgress from141, from160;
  ASSERT_TRUE(ConvertArchive(Archive("Bar141"), 141, from141).completed);
  ASSERT_TRUE(ConvertArchive(Archive("Bar160"), 160, from160).completed);
  EXPECT_EQ(from141.values,
            (std::vector<int>{0,  10, 20, 30, 40, 50, 60, 70,  75, 80, 90,  100, 50, 100,
                              10, 20, 30, 40, 50, 60, 70, 100, 33, 66, 100, 75,  90, 100}));
  EXPECT_EQ(from160.values, (std::vector<int>{0, 75, 90, 100}));
  EXPECT_GT(from141.pumps, 40) << "the window is kept painted between statements";
}

// 1.52 and 1.57 have no conversion; an archive of 1.61 needs none.
TEST_F(ArchiveConversionTest, VersionsWithoutAConversionStayAsTheyAre) {
  for (const OldVersion& old : {OldVersion{152, "1.52"}, OldVersion{157, "1.57"}}) {
    const std::string name = std::string("Keep") + std::to_string(old.number);
    MakeOldArchive(name, old.number == 152 ? 150 : 156, old.text);
    const testing::ArchiveShape before = testing::ReadArchiveShape(Mdf(name));
    Database& archive = Archive(name);
    RecordingProgress progress;
    ConversionResult result = ConvertArchive(archive, old.number, progress);
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.blocksRun, 0);
    EXPECT_EQ(Version(archive), old.text);
    const testing::ArchiveShape after = testing::ReadArchiveShape(Mdf(name));
    EXPECT_EQ(after.columns, before.columns) << name;
    EXPECT_EQ(after.indexes, before.indexes) << name;
    EXPECT_EQ(after.objects, before.objects) << name;
    EXPECT_EQ(progress.values, std::vector<int>{0});
  }
}

struct Fault {
  const char* pattern;
  int version;
  char block;
  const char* kept;
};
void PrintTo(const Fault& fault, std::ostream* out) {
  *out << "block " << fault.block << " at " << fault.pattern;
}

class FaultInBlock : public ArchiveConversionTest, public ::testing::WithParamInterface<Fault> {};

// The chain stops at the failing statement, keeps the version of the last
// completed block, and the next run starts with that block and completes —
// also where the block had done part of its work.
TEST_P(FaultInBlock, StopsThereAndTheNextRunCompletes) {
  const Fault fault = GetParam();
  const std::string name = std::string("Fault") + fault.block;
  MakeOldArchive(name, fault.version, fault.version == 141 ? "1.41" : "1.50");
  Database& archive = Archive(name);
  Standin().InjectFault(fault.pattern, 50001, true);
  RecordingProgress progress;
  ConversionResult stopped = ConvertArchive(archive, fault.version, progress);
  ASSERT_FALSE(stopped.completed);
  EXPECT_EQ(stopped.failedBlock, fault.block);
  EXPECT_EQ(stopped.version, fault.kept);
  EXPECT_EQ(Version(archive), fault.kept);
  ASSERT_TRUE(stopped.error.has_value());
  EXPECT_NE(stopped.error->Description().find("50001"), std::string::npos)
      << stopped.error->Description();
  const std::string report = ConversionFailureReport(name, stopped);
  EXPECT_NE(report.find(std::string("block ") + fault.block + " ("), std::string::npos) << report;
  EXPECT_NE(report.find(std::string("keeps version ") + fault.kept), std::string::npos);
  EXPECT_NE(report.find(stopped.error->Description()), std::string::npos);

  const std::optional<int> resumed = ArchiveVersionNumber(Version(archive));
  ASSERT_TRUE(resumed.has_value());
  ConversionResult finished = ConvertArchive(archive, *resumed, progress);
  ASSERT_TRUE(finished.completed) << ConversionFailureReport(name, finished);
  EXPECT_EQ(Version(archive), "1.61");
  EXPECT_TRUE(m_Messages.History().empty());
  testing::ArchiveShape converted = testing::ReadArchiveShape(Mdf(name));
  EXPECT_EQ(converted.indexes, FreshShape().indexes);
  for (const char* procedure : {"DocsInFolder", "DocsWithCategory", "DocCount", "FoldersRoot"}) {
    EXPECT_EQ(converted.objects[procedure], FreshShape().objects.at(procedure)) << procedure;
  }
  std::vector<std::string> places(std::begin(testing::kDocumentPlaces),
                                  std::end(testing::kDocumentPlaces));
  EXPECT_EQ(Column(archive, "SELECT FolderID, VisibleInFolderID FROM Document ORDER BY EntryID"),
            places);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FaultInBlock,
    ::testing::Values(Fault{"CREATE PROCEDURE dbo.FoldersRoot", 141, 'D', "1.41"},
                      Fault{"CREATE PROCEDURE dbo.DocsWithCategory @CategoryID", 141, 'E', "1.50"},
                      Fault{"Update Folder SET Status=2", 150, 'F', "1.53"}),
    [](const ::testing::TestParamInfo<Fault>& row) { return std::string(1, row.param.block); });

// From block G on a failing statement is skipped: the chain completes and
// says what it skipped.
TEST_F(ArchiveConversionTest, FailuresFromBlockGOnAreSkippedAndListed) {
  MakeOldArchive("SkipG", 154, "1.54");
  Database& archive = Archive("SkipG");
  Standin().InjectFault("DROP PROCEDURE dbo.DocByUrl", 50002, true);
  RecordingProgress progress;
  ConversionResult result = ConvertArchive(archive, 154, progress);
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(Version(archive), "1.61");
  // The drop failed, so the procedure's creation after it failed too.
  ASSERT_EQ(result.skipped.size(), 2u);
  EXPECT_EQ(result.skipped[0].block, 'G');
  EXPECT_EQ(result.skipped[0].statement, "DROP PROCEDURE dbo.DocByUrl");
  EXPECT_EQ(result.skipped[1].statement.rfind("CREATE PROCEDURE dbo.DocByUrl ", 0), 0u);
  EXPECT_EQ(progress.values,
            (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 100, 33, 66, 100, 75, 90, 100}));
}

// An indexed VARCHAR Url cannot become NVARCHAR while the index stands
// (5074): the chain goes on as it must, and the skipped change is reported.
TEST_F(ArchiveConversionTest, AnIndexedVarcharUrlIsReportedNotWidened) {
  MakeOldArchive("VarcharUrl", 154, "1.54", {}, "varchar-url");
  Database& archive = Archive("VarcharUrl");
  RecordingProgress progress;
  ConversionResult result = ConvertArchive(archive, 154, progress);
  EXPECT_TRUE(result.completed);
  ASSERT_EQ(result.skipped.size(), 1u);
  EXPECT_EQ(result.skipped[0].statement,
            "ALTER TABLE dbo.Document ALTER COLUMN Url NVARCHAR (4000)");
  EXPECT_NE(result.skipped[0].error.find("IDX_Document1"), std::string::npos)
      << result.skipped[0].error;
  EXPECT_EQ(testing::ReadArchiveShape(Mdf("VarcharUrl")).columns.at("Document.Url"),
            "varchar(4000) NOT NULL");
}

// An archive older than 1.36 meets statements SQL Server does not take: the
// chain stops in block A and changes nothing.
TEST_F(ArchiveConversionTest, BlockAStopsAtItsFirstStatement) {
  MakeOldArchive("Ancient", 141, "1.35");
  const testing::ArchiveShape before = testing::ReadArchiveShape(Mdf("Ancient"));
  Database& archive = Archive("Ancient");
  RecordingProgress progress;
  ConversionResult result = ConvertArchive(archive, 135, progress);
  EXPECT_FALSE(result.completed);
  EXPECT_EQ(result.failedBlock, 'A');
  EXPECT_EQ(result.failedStatement.rfind("CREATE PROCEDURE dbo.DocsWithCategory ([CategoryID]", 0),
            0u);
  EXPECT_EQ(result.version, "1.35");
  EXPECT_EQ(testing::ReadArchiveShape(Mdf("Ancient")).objects, before.objects);
}

// The column exists and an index holds it: adding and altering it both fail,
// the administrator is told, and the conversion goes on.
TEST_F(ArchiveConversionTest, BlockDTellsWhenTheShownFolderColumnCannotBeMade) {
  MakeOldArchive("Stuck", 150, "1.41",
                 {"CREATE INDEX IDX_Visible ON Document (VisibleInFolderID)"});
  Database& archive = Archive("Stuck");
  RecordingProgress progress;
  ConversionResult result = ConvertArchive(archive, 141, progress);
  EXPECT_TRUE(result.completed) << ConversionFailureReport("Stuck", result);
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text,
            "Die Spalte VisibleInFolderID konnte nicht geändert/erzeugt werden.");
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::OkOnly);
  EXPECT_EQ(m_Messages.History()[0].caption, kComponentTitle);
  EXPECT_EQ(Version(archive), "1.61");
}

}  // namespace
}  // namespace bw
