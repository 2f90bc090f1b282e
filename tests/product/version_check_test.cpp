// The console's archive version check against a started sqlstandin: archives
// of every version range, one without a readable version, answers Yes and
// No, an administrator and a login without the rights to convert.
#include <gtest/gtest.h>

#include "StandinFixture.h"
#include "archives/ArchiveSchema.h"
#include "commands/VersionCheck.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {
namespace {

constexpr char kClerkPassword[] = "Clerk-pw-1";

// The archives, in the catalogue's order (by name), with their version text;
// nullptr: no version row at all.
struct Archive {
  const char* name;
  const char* version;
  const char* plainText;  // the flag's value; nullptr: no row
};
constexpr Archive kArchives[] = {
    {"A149", "149", nullptr},  {"B150", "1.50", nullptr}, {"C150", "1.50", "True"},
    {"D154", "1.54", nullptr}, {"E155", "1.55", nullptr}, {"F161", "1.61", nullptr},
    {"G170", "1.70", nullptr}, {"H", "unknown", nullptr}, {"I", nullptr, nullptr},
    {"J153", "1.53", nullptr},
};

class VersionCheckTest : public bw::testing::StandinSuite {
 protected:
  static void SetUpTestSuite() {
    StandinSuite::SetUpTestSuite();
    Connection master;
    master.SetConnectionString(RegistrationString());
    master.Open();
    master.Execute(std::string("EXEC sp_addlogin 'clerk', '") + kClerkPassword + "'");
    for (const Archive& archive : kArchives) {
      const std::string database = std::string(kArchivePrefix) + archive.name;
      master.Execute("CREATE DATABASE " + database);
      Connection db;
      db.SetConnectionString(NewArchiveConnectionString(RegistrationString(), database));
      db.Open();
      // Only what the check reads: the property tables of every archive.
      db.Execute(
          "CREATE TABLE dbo.ExtendedField ( ExtFieldID SMALLINT NOT NULL , FieldType TINYINT NOT "
          "NULL, FieldName NVARCHAR(100) NOT NULL , Visible BIT, UserProperty BIT )");
      db.Execute(
          "CREATE TABLE dbo.ExtendedData (EntryID INTEGER NOT NULL, ExtFieldID SMALLINT NOT NULL, "
          "FieldValue NTEXT NULL DEFAULT '')");
      db.Execute(
          "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (3, 1, "
          "'Brindlewick: Archive Version')");
      db.Execute(
          "INSERT INTO ExtendedField (ExtFieldID, FieldType, FieldName) Values (10, 1, "
          "'Brindlewick: Search in PlainText')");
      if (archive.version != nullptr) {
        db.Execute(std::string("INSERT INTO ExtendedData VALUES (0, 3, '") + archive.version +
                   "')");
      }
      if (archive.plainText != nullptr) {
        db.Execute(std::string("INSERT INTO ExtendedData VALUES (0, 10, '") + archive.plainText +
                   "')");
      }
      db.Execute("EXEC sp_grantdbaccess 'clerk'");
      db.Execute("GRANT SELECT ON ExtendedField TO clerk");
      db.Execute("GRANT SELECT ON ExtendedData TO clerk");
    }
  }

  void TearDown() override { LeaveProfile(m_Home); }

  // Runs one check as `login`; returns what the callbacks were asked to do.
  std::vector<std::string> Check(const std::string& login, const std::string& password) {
    m_Home = EnterProfile("bw-version-check", &m_Messages);
    std::vector<std::string> done;
    Servers servers;
    std::string text = RegistrationString(login, password);
    if (servers.Add(text) == nullptr) throw std::runtime_error("not connected as " + login);
    VersionCheckActions actions;
    actions.convert = [&](Database& archive, int version) {
      done.push_back("convert " + archive.Name() + " " + std::to_string(version));
    };
    actions.plainText = [&](Database& archive) { done.push_back("plain text " + archive.Name()); };
    RunVersionCheck(servers, actions);
    return done;
  }

  std::vector<std::string> Asked() const {
    std::vector<std::string> texts;
    for (const auto& shown : m_Messages.History()) {
      EXPECT_EQ(shown.caption, kMessageCaption);
      EXPECT_EQ(shown.style, shown.text == LoadResString(40)
                                 ? MsgStyle::Information
                                 : MsgStyle::YesNo | MsgStyle::Question);
      texts.push_back(shown.text);
    }
    return texts;
  }

  static std::string Prompt(int id, std::vector<Variant> args) { return FormatResString(id, args); }

  ScriptedMessageService m_Messages;
  std::filesystem::path m_Home;
};

TEST_F(VersionCheckTest, AsksForEveryOlderArchiveAndConvertsOnYes) {
  for (int i = 0; i < 7; ++i) m_Messages.QueueAnswer(MsgResult::Yes);
  EXPECT_EQ(Check("sa", kSaPassword),
            (std::vector<std::string>{"convert A149 149", "convert B150 150", "convert C150 150",
                                      "convert D154 154", "convert E155 155", "convert J153 153"}));
  // After a conversion no plain-text question; 1.61 and above, an unreadable
  // version and a missing one are not asked about.
  EXPECT_EQ(Asked(),
            (std::vector<std::string>{Prompt(315, {"A149"}), Prompt(348, {"B150"}),
                                      Prompt(348, {"C150"}), Prompt(349, {"D154"}),
                                      Prompt(352, {"E155", 155, 161}), Prompt(348, {"J153"})}));
  EXPECT_NE(Asked()[4].find("has the database version 155.\nIt can be updated to version 161 now."),
            std::string::npos);
}

TEST_F(VersionCheckTest, DecliningLeavesTheArchivesAndOffersThePlainTextFor150) {
  for (MsgResult answer : {MsgResult::No, MsgResult::No, MsgResult::Yes, MsgResult::No,
                           MsgResult::No, MsgResult::No, MsgResult::No}) {
    m_Messages.QueueAnswer(answer);
  }
  EXPECT_EQ(Check("sa", kSaPassword), std::vector<std::string>{"plain text B150"});
  // C150 has its plain text: declining its conversion asks nothing more.
  EXPECT_EQ(Asked(), (std::vector<std::string>{
                         Prompt(315, {"A149"}), Prompt(348, {"B150"}), Prompt(316, {"B150"}),
                         Prompt(348, {"C150"}), Prompt(349, {"D154"}),
                         Prompt(352, {"E155", 155, 161}), Prompt(348, {"J153"})}));
}

// A login that is neither sysadmin nor db_owner gets message 40 and the
// archive stays as it is; for 150 the plain-text question follows.
TEST_F(VersionCheckTest, ARefusedLoginIsToldAndNothingRuns) {
  for (int i = 0; i < 13; ++i) m_Messages.QueueAnswer(MsgResult::Yes);
  const std::vector<std::string> done = Check("clerk", kClerkPassword);
  EXPECT_EQ(done, std::vector<std::string>{"plain text B150"});
  const std::string refused = LoadResString(40);
  EXPECT_EQ(Asked(), (std::vector<std::string>{
                         Prompt(315, {"A149"}), refused, Prompt(348, {"B150"}), refused,
                         Prompt(316, {"B150"}), Prompt(348, {"C150"}), refused,
                         Prompt(349, {"D154"}), refused, Prompt(352, {"E155", 155, 161}), refused,
                         Prompt(348, {"J153"}), refused}));
}

}  // namespace
}  // namespace bw::commands
