// The dialogs' own decisions without a display: the Create Archive wizard's
// checks in their order, the Open Server Archive checks, and a stored
// registration read back into the registration dialog's fields.
#include <gtest/gtest.h>

#include "commands/NewArchiveChecks.h"
#include "commands/OpenArchiveChecks.h"
#include "commands/RegistrationFields.h"

namespace bw::commands {
namespace {

struct NameCase {
  const char* typed;
  int productVersion;
  BalloonText expected;
  const char* name;
};

TEST(NewArchiveChecks, NameChecksInTheirOrder) {
  const std::vector<std::string> archives = {"Invoices", "Letters"};
  const NameCase cases[] = {
      {"  Contracts  ", 8, {}, "Contracts"},
      {"", 8, {0, 124, false}, ""},
      {"    ", 8, {0, 124, false}, ""},
      {"Abcdefghijk", 7, {}, "Abcdefghijk"},
      {"Abcdefghijkl", 7, {0, 314, false}, "Abcdefghijkl"},
      {"Abcdefghijkl", 8, {}, "Abcdefghijkl"},
      // Too long on 7.0 wins over invalid characters.
      {"Bad name with blanks", 7, {0, 314, false}, "Bad name with blanks"},
      {"Bad name", 8, {125, 126, false}, "Bad name"},
      {"Bad-name", 8, {125, 126, false}, "Bad-name"},
      {"Stra\xC3\x9F"
       "e",
       7,
       {125, 126, false},
       "Stra\xC3\x9F"
       "e"},
      {"O'Brien", 8, {125, 126, false}, "O'Brien"},
      {"1st_archive", 8, {}, "1st_archive"},
      {"_x", 8, {}, "_x"},
      {" Letters", 8, {0, 127, true}, "Letters"},
      // The catalogue's names are compared exactly; the server decides on case.
      {"letters", 8, {}, "letters"},
  };
  for (const NameCase& row : cases) {
    std::string name = "unchanged";
    EXPECT_EQ(NewArchiveChecks::CheckName(row.typed, row.productVersion, archives, name),
              row.expected)
        << '"' << row.typed << "\" on version " << row.productVersion;
    EXPECT_EQ(name, row.name) << row.typed;
  }
}

TEST(NewArchiveChecks, PathCompletionAndChecks) {
  const struct {
    const char* typed;
    const char* completed;
    int textId;
  } cases[] = {
      {"D:\\Archives\\Contracts", "D:\\Archives\\Contracts.mdf", 0},
      {"  D:\\Archives\\Contracts.mdf ", "D:\\Archives\\Contracts.mdf", 0},
      {"D:\\Archives\\Contracts.MDF", "D:\\Archives\\Contracts.MDF", 0},
      {"D:\\Archives\\Contracts.mdf.bak", "D:\\Archives\\Contracts.mdf.bak.mdf", 0},
      {"Contracts", "Contracts.mdf", 130},
      {"", "", 130},
      {"   ", "", 130},
      {"mdf", "mdf.mdf", 130},
  };
  for (const auto& row : cases) {
    const std::string completed = NewArchiveChecks::CompletePath(row.typed);
    EXPECT_EQ(completed, row.completed) << row.typed;
    EXPECT_EQ(NewArchiveChecks::CheckPath(completed, false).textId, row.textId) << row.typed;
  }
  EXPECT_EQ(NewArchiveChecks::CheckPath("D:\\a.mdf", true).textId, 131);
  // An invalid path is reported before an existing file.
  EXPECT_EQ(NewArchiveChecks::CheckPath("a.mdf", true).textId, 130);
  EXPECT_EQ(NewArchiveChecks::BrowsedPath("D:\\Data\\", "Contracts"), "D:\\Data\\Contracts.mdf");
}

TEST(OpenArchiveChecks, NameBeforeFile) {
  EXPECT_EQ(OpenArchiveChecks::Check("", ""), 151);
  EXPECT_EQ(OpenArchiveChecks::Check("My Archive", ""), 152);
  EXPECT_EQ(OpenArchiveChecks::Check("My-Archive", "D:\\a.mdf"), 152);
  EXPECT_EQ(OpenArchiveChecks::Check("My.Archive", "D:\\a.mdf"), 152);
  EXPECT_EQ(OpenArchiveChecks::Check("Archive", ""), 153);
  EXPECT_EQ(OpenArchiveChecks::Check("Archive", "D:\\a.mdf"), 0);
}

TEST(RegistrationFields, StoredStringsReadBack) {
  const struct {
    const char* stored;
    bool integrated;
    const char* login;
    const char* password;
  } cases[] = {
      {"Provider=SQLOLEDB;Data Source=SRV1;Integrated Security=SSPI;", true, "", ""},
      {"Provider=SQLOLEDB;Data Source=SRV1;integrated security=sspi", true, "", ""},
      {"Provider=SQLOLEDB;Data Source=SRV1;User Id=sa;Password=secret;", false, "sa", "secret"},
      {"Provider=SQLOLEDB;Data Source=SRV1;User id=sa;Password=ends here", false, "sa",
       "ends here"},
      {"Provider=SQLOLEDB;Data Source=SRV1;User Id=admin;", false, "admin", ""},
      {"Provider=SQLOLEDB;Data Source=SRV1;User Id=sa;Password=\"a;b\"\"c\";", false, "sa",
       "a;b\"c"},
      {"Provider=SQLOLEDB;Data Source=SRV1;", false, "", ""},
      // Does not parse (an unterminated quote): read as the text stands.
      {"Provider=SQLOLEDB;User Id=sa;Password=\"open", false, "sa", "\"open"},
  };
  for (const auto& row : cases) {
    const RegistrationFields fields = RegistrationFields::Parse(row.stored);
    EXPECT_EQ(fields.integrated, row.integrated) << row.stored;
    EXPECT_EQ(fields.login, row.login) << row.stored;
    EXPECT_EQ(fields.password, row.password) << row.stored;
  }
}

}  // namespace
}  // namespace bw::commands
