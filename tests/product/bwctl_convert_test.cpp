// "bwctl archive convert" run as a process against a started sqlstandin, as
// the README shows it: the script first, a question nobody answered, the
// conversion, a second run with nothing to do, and a conversion that stops.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "OldArchive.h"
#include "StandinFixture.h"
#include "archives/ArchiveSchema.h"
#include "data/DataAccess.h"
#include "servers/Server.h"

namespace bw {
namespace {

class BwctlConvert : public testing::StandinSuite {
 protected:
  struct Run {
    int code;
    std::string out, err;
  };

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-bwctl-convert-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    std::ofstream(m_Home / "pw") << kSaPassword << "\n";
    Run added = Bwctl("server add --data-source " + DataSource() + " --user sa --password-file " +
                      (m_Home / "pw").string());
    ASSERT_EQ(added.code, 0) << added.err;
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  Run Bwctl(const std::string& arguments) {
    const auto out = m_Home / "out", err = m_Home / "err";
    std::string line = "XDG_CONFIG_HOME='" + m_Home.string() + "' '" BWCTL_BINARY "' " + arguments +
                       " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(line.c_str());
    auto slurp = [](const std::filesystem::path& path) {
      std::ifstream in(path);
      std::stringstream text;
      text << in.rdbuf();
      return text.str();
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  }

  static std::string Version(const std::string& name) {
    Connection archive;
    archive.SetConnectionString(
        NewArchiveConnectionString(RegistrationString(), std::string(kArchivePrefix) + name));
    archive.Open();
    Recordset rs;
    rs.Open("SELECT FieldValue FROM ExtendedData WHERE EntryID = 0 AND ExtFieldID = 3", &archive);
    return rs.Eof() ? "" : rs.Value(0).ToText();
  }

  std::filesystem::path m_Home;
};

TEST_F(BwctlConvert, ScriptQuestionConversionAndNothingLeft) {
  testing::MakeOldArchive(RegistrationString(), "Cli141", 141, "1.41");

  Run script = Bwctl("archive convert --script 1 Cli141");
  ASSERT_EQ(script.code, 0) << script.err;
  EXPECT_EQ(script.out.rfind("-- The statements that convert the archive 'Cli141' from version "
                             "1.41 to 1.61.\n",
                             0),
            0u)
      << script.out;
  EXPECT_NE(script.out.find("USE Brindlewick_Cli141\nGO\n\n-- Block D: version 1.41 to 1.50\n"),
            std::string::npos);
  EXPECT_EQ(script.out.find("-- Block C"), std::string::npos);
  EXPECT_EQ(Version("Cli141"), "1.41") << "the script sends nothing";

  Run unanswered = Bwctl("archive convert 1 Cli141");
  EXPECT_EQ(unanswered.code, 4);
  EXPECT_NE(unanswered.err.find("was created with an older release"), std::string::npos)
      << unanswered.err;
  EXPECT_EQ(unanswered.out, "Version before: 1.41\n");
  EXPECT_EQ(Version("Cli141"), "1.41");

  Run converted = Bwctl("--yes archive convert 1 Cli141");
  ASSERT_EQ(converted.code, 0) << converted.err;
  EXPECT_EQ(converted.out, "Version before: 1.41\nVersion after: 1.61\n");
  // Not a terminal: the task line and the last description only.
  EXPECT_NE(converted.err.find("Updating the archive 'Cli141'.\nPlease wait…\n"), std::string::npos)
      << converted.err;

  Run again = Bwctl("--yes archive convert 1 Cli141");
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(again.out,
            "Version before: 1.61\nNothing to convert: version 1.61 needs no conversion.\n");
}

TEST_F(BwctlConvert, AStoppedConversionSaysWhereAndResumes) {
  testing::MakeOldArchive(RegistrationString(), "Cli150", 150, "1.50");
  Standin().InjectFault("Update Folder SET Icon=0", 50003, true);
  Run stopped = Bwctl("--yes archive convert 1 Cli150");
  EXPECT_EQ(stopped.code, 1);
  EXPECT_EQ(stopped.out, "Version before: 1.50\nVersion after: 1.50\n");
  EXPECT_NE(
      stopped.err.find("could not be converted: block E (1.50 to 1.53) stopped at the "
                       "statement\nUpdate Folder SET Icon=0\nThe archive keeps version 1.50.\n"),
      std::string::npos)
      << stopped.err;
  EXPECT_NE(stopped.err.find("50003"), std::string::npos);

  Run resumed = Bwctl("--yes archive convert 1 Cli150");
  EXPECT_EQ(resumed.code, 0) << resumed.err;
  EXPECT_EQ(resumed.out, "Version before: 1.50\nVersion after: 1.61\n");
}

// The script is T-SQL that does what the conversion does: run batch by batch
// in another archive of the same version, it brings that one to 1.61 with
// the same procedures and properties.
TEST_F(BwctlConvert, TheScriptRunsAndConvertsToo) {
  testing::MakeOldArchive(RegistrationString(), "ByTool", 141, "1.41");
  testing::MakeOldArchive(RegistrationString(), "ByScript", 141, "1.41");
  ASSERT_EQ(Bwctl("--yes archive convert 1 ByTool").code, 0);
  Run script = Bwctl("archive convert --script 1 ByScript");
  ASSERT_EQ(script.code, 0);

  Connection admin;
  admin.SetConnectionString(RegistrationString());
  admin.Open();
  std::istringstream lines(script.out);
  std::string line, batch;
  while (std::getline(lines, line)) {
    if (line == "GO") {
      admin.Execute(batch);
      batch.clear();
    } else if (!line.starts_with("--")) {
      batch += (batch.empty() ? "" : "\n") + line;
    }
  }
  EXPECT_EQ(Version("ByScript"), "1.61");
  const testing::ArchiveShape byTool =
      testing::ReadArchiveShape(testing::OldArchiveFile(Standin().DataDir(), "ByTool"));
  const testing::ArchiveShape byScript =
      testing::ReadArchiveShape(testing::OldArchiveFile(Standin().DataDir(), "ByScript"));
  EXPECT_EQ(byScript.columns, byTool.columns);
  EXPECT_EQ(byScript.indexes, byTool.indexes);
  EXPECT_EQ(byScript.objects, byTool.objects);
  // The connection is in the archive since the script's USE.
  Recordset properties;
  properties.Open(
      "SELECT ExtendedField.FieldName, ExtendedData.FieldValue FROM ExtendedData INNER JOIN "
      "ExtendedField ON ExtendedData.ExtFieldID = ExtendedField.ExtFieldID WHERE "
      "ExtendedData.EntryID = 0 AND ExtendedField.FieldName LIKE '%Compatibility' ORDER BY 1",
      &admin);
  std::vector<std::string> values;
  for (; !properties.Eof(); properties.MoveNext()) {
    values.push_back(properties.Value(0).ToText() + "=" + properties.Value(1).ToText());
  }
  EXPECT_EQ(values, (std::vector<std::string>{"Brindlewick: Archive Compatibility=1.50",
                                              "Compatibility=1.50"}));
}

}  // namespace
}  // namespace bw
