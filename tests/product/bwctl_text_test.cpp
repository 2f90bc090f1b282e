// bwctl as a process: "text extract" over HTML, MIME web-archive and text
// files, and "archive plaintext" over an archive of a started stand-in.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "StandinFixture.h"
#include "data/DataAccess.h"

namespace bw {
namespace {

class BwctlText : public testing::StandinSuite {
 protected:
  struct Run {
    int code;
    std::string out, err;
  };

  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-bwctl-text-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(m_Home / name, std::ios::binary) << bytes;
    return "'" + (m_Home / name).string() + "'";
  }
  static std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  Run Bwctl(const std::string& arguments) {
    const auto out = m_Home / "out", err = m_Home / "err";
    std::string line = "XDG_CONFIG_HOME='" + m_Home.string() + "' '" BWCTL_BINARY "' " + arguments +
                       " </dev/null >'" + out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }

  std::filesystem::path m_Home;
};

const char kMht[] =
    "From: <Saved by a browser>\r\nMIME-Version: 1.0\r\n"
    "Content-Type: multipart/related; boundary=\"X\"; type=\"text/html\"\r\n\r\n"
    "--X\r\nContent-Type: text/html; charset=\"windows-1250\"\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
    "<html><body><p>=A3=F3d=9F</p><script>x()</script><td>a</td></body></html>\r\n"
    "--X\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    "iVBORw0KGgo=\r\n--X--\r\n";

TEST_F(BwctlText, ExtractPrintsWhatSearchSees) {
  std::string html = Write("page.html", "<h1>Title</h1><p>one &amp; two</p><style>x</style>");
  std::string mht = Write("saved.MHT", kMht);
  std::string text = Write("notes.txt", "\xEF\xBB\xBFplain");
  Run run = Bwctl("text extract " + html + " " + mht + " " + text);
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "==> " + (m_Home / "page.html").string() + " <==\nTitle\n\none & two\n==> " +
                         (m_Home / "saved.MHT").string() +
                         " <==\n\xC5\x81\xC3\xB3\x64\xC5\xBA\n\na\n==> " +
                         (m_Home / "notes.txt").string() + " <==\nplain\n");
}

TEST_F(BwctlText, ExtractWritesOneFilePerInput) {
  std::string first = Write("a.htm", "<div>first</div>");
  std::string second = Write("b.mhtml", kMht);
  std::string forced = Write("c.data", "<b>forced</b>");
  Run run = Bwctl("text extract " + first + " " + second + " --out-dir '" +
                  (m_Home / "out.d").string() + "'");
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Slurp(m_Home / "out.d" / "a.txt"), "first");
  EXPECT_EQ(Slurp(m_Home / "out.d" / "b.txt"), "\xC5\x81\xC3\xB3\x64\xC5\xBA\n\na");
  Run typed = Bwctl("text extract --type html " + forced);
  EXPECT_EQ(typed.out, "forced\n");
}

TEST_F(BwctlText, ExtractRefusesWhatItCannotRead) {
  struct Row {
    std::string arguments;
    int code;
    std::string error;
  };
  std::string unknown = Write("data.bin", "x");
  std::string broken = Write("broken.mht", "not a message at all");
  std::string page = Write("twin.htm", "<p>x</p>");
  std::string twin = Write("twin.html", "<p>y</p>");
  for (const Row& row : std::vector<Row>{
           {"text extract " + unknown, 2, "cannot tell the type"},
           {"text extract --type pdf " + unknown, 2, "--type is html, mht or text"},
           {"text extract", 2, "at least one FILE"},
           {"text extract " + broken + " " + page, 1, "broken.mht: "},
           {"text extract '" + (m_Home / "missing.htm").string() + "'", 1, "missing.htm: "},
           {"text extract --out-dir d " + page + " " + twin, 2, "twin.txt"},
       }) {
    Run run = Bwctl(row.arguments);
    EXPECT_EQ(run.code, row.code) << row.arguments << "\n" << run.err;
    EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
  }
}

TEST_F(BwctlText, ArchivePlaintextRunsAfterTheQuestion) {
  std::ofstream(m_Home / "pw") << kSaPassword << "\n";
  ASSERT_EQ(Bwctl("server add --data-source " + DataSource() + " --user sa --password-file '" +
                  (m_Home / "pw").string() + "'")
                .code,
            0);
  Run created = Bwctl(
      "archive create 1 Plain 'C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Plain.mdf'");
  ASSERT_EQ(created.code, 0) << created.err;
  Connection archive;
  archive.SetConnectionString(RegistrationString() + ";Initial Catalog=Brindlewick_Plain");
  archive.Open();
  archive.Execute(
      "INSERT INTO Document (Content, TypeID, CodePage, CreationTime, FileModifiedDate) VALUES "
      "(N'<p>hello</p>', 100, 1252, '2003-01-01', '2003-01-01')");

  Run declined = Bwctl("archive plaintext 1 Plain");
  EXPECT_EQ(declined.code, 4) << declined.err;
  Run done = Bwctl("--yes archive plaintext 1 Plain");
  EXPECT_EQ(done.code, 0) << done.err;
  EXPECT_NE(done.err.find("Generation of full-text information\nfor the server archive 'Plain'."),
            std::string::npos)
      << done.err;
  EXPECT_NE(done.err.find("1 of 1 items processed"), std::string::npos) << done.err;
  Recordset rs;
  rs.Open("SELECT PlainText FROM Document WHERE TypeID=100", &archive);
  EXPECT_EQ(rs.Value(0).ToText(), "hello");
  rs.Close();
  archive.Close();
  EXPECT_EQ(Bwctl("--yes archive delete 1 Plain").code, 0);
}

}  // namespace
}  // namespace bw
