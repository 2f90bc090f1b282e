// Plain-text generation over a stand-in archive: documents of each handled
// type and several code pages, batches and the progress shown, stored web
// archives exported and read, and each way a run can fail.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "StandinFixture.h"
#include "archives/Database.h"
#include "archives/Databases.h"
#include "archives/PlainTextRun.h"
#include "archives/WebArchiveExport.h"
#include "servers/Servers.h"
#include "support/CodePage.h"
#include "support/MessageService.h"

namespace bw {
namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

// Records what a run shows.
class RecordedProgress : public Progress {
 public:
  void SetTask(const std::string& line) override { task = line; }
  void SetDescription(const std::string& text) override { description = text; }
  void SetMaximum(int maximum) override { maxima.push_back(maximum); }
  void SetValue(int value) override { values.push_back(value); }
  std::string task, description;
  std::vector<int> maxima, values;
};

struct Stored {
  std::string content, plainText;
  std::vector<std::uint8_t> binaryContent;
  bool binaryData = false;
  int codePage = 0;
};

class PlainTextGeneration : public bw::testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = EnterProfile("bw-plaintext", &m_Messages);
    m_Temp = m_Home / "tmp";
    std::filesystem::create_directories(m_Temp);
    ::setenv("TMPDIR", m_Temp.c_str(), 1);
    std::string registration = RegistrationString();
    Server* server = m_Servers.Add(registration);
    ASSERT_NE(server, nullptr);
    m_Archive = server->Databases().AddNew("Texts", std::string(kDataFolder) + "Texts.mdf");
    ASSERT_NE(m_Archive, nullptr);
    // A new archive is created marked; the runs here start from an old one.
    std::int32_t fieldId = 0;
    m_Archive->SetExtendedValue("False", 0, fieldId, kSearchInPlainText, 1, false, false);
    ASSERT_EQ(SearchInPlainText(), "False");
    ASSERT_TRUE(m_Messages.History().empty());
  }
  void TearDown() override {
    ::unsetenv("TMPDIR");
    if (Server* server = m_Servers.Item(1)) {
      for (Database* archive : server->Databases().NewEnum()) {
        m_Messages.QueueAnswer(MsgResult::Yes);
        EXPECT_TRUE(server->Databases().Delete(std::to_string(archive->ArchiveID())));
      }
    }
    LeaveProfile(m_Home);
  }

  static std::string Quoted(const std::string& text) {
    std::string out = "N'";
    for (char c : text) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  }
  static std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (std::uint8_t b : bytes) {
      out += digits[b >> 4];
      out += digits[b & 15];
    }
    return out;
  }

  // Adds a document and returns its EntryID.
  std::int32_t Add(int type, int codePage, const std::string& content,
                   const std::string& fileName = "doc.htm", const std::string& url = "",
                   const std::vector<std::uint8_t>* binary = nullptr) {
    Connection& connection = m_Archive->GetConnection();
    connection.Execute(
        "INSERT INTO Document (Url, TypeID, CodePage, FileSize, Content, Filename, CreationTime, "
        "FileModifiedDate, BinaryData, BinaryContent) VALUES (" +
        Quoted(url) + ", " + std::to_string(type) + ", " + std::to_string(codePage) + ", " +
        std::to_string(content.size()) + ", " + Quoted(content) + ", " + Quoted(fileName) +
        ", '2003-01-01', '2003-01-01', " + (binary != nullptr ? "1, " + Hex(*binary) : "0, NULL") +
        ")");
    Recordset rs;
    rs.Open("SELECT Max(EntryID) FROM Document", &connection);
    return static_cast<std::int32_t>(rs.Value(0).ToInteger());
  }
  void Link(std::int32_t parent, std::int32_t child) {
    m_Archive->GetConnection().Execute(
        "INSERT INTO SubDocument (ParentEntryID, ChildEntryID) VALUES (" + std::to_string(parent) +
        ", " + std::to_string(child) + ")");
  }
  Stored Read(std::int32_t entryID) {
    Recordset rs;
    rs.Open("SELECT * FROM Document WHERE EntryID=" + std::to_string(entryID),
            &m_Archive->GetConnection());
    Stored stored;
    stored.content = rs.Value("Content").ToText();
    stored.plainText = rs.Value("PlainText").ToText();
    if (const auto* bytes = rs.Value("BinaryContent").Bytes()) stored.binaryContent = *bytes;
    stored.binaryData = rs.Value("BinaryData").ToBoolean();
    stored.codePage = static_cast<int>(rs.Value("CodePage").ToInteger());
    return stored;
  }
  std::string SearchInPlainText() {
    return m_Archive->GetExtendedValue(0, 0, 1, kSearchInPlainText);
  }
  bool Run(RecordedProgress& progress) { return PlainTextRun(*m_Archive, progress).Run(); }

  std::filesystem::path m_Home, m_Temp;
  ScriptedMessageService m_Messages;
  Servers m_Servers;
  Database* m_Archive = nullptr;
};

TEST_F(PlainTextGeneration, EachTypeAndCodePage) {
  struct Row {
    int type, codePage;
    std::string content, fileName, plainText;
  };
  const std::vector<Row> rows = {
      {90, 1252, "plain \xC3\xA9 text\n", "a.txt", "plain \xC3\xA9 text\n"},
      {100, 1250, "<p>\xC5\x81\xC3\xB3\x64\xC5\xBA</p><table><tr><td>a</td><td>b</td></tr></table>",
       "b.htm", "\xC5\x81\xC3\xB3\x64\xC5\xBA\n\na\tb"},
      {500, 932, "<div>\xE6\x97\xA5\xE6\x9C\xAC</div><script>x()</script>", "c.htm",
       "\xE6\x97\xA5\xE6\x9C\xAC"},
      {100, 65001, "<b>\xE2\x82\xAC</b> <i>sign</i>", "d.html", "\xE2\x82\xAC sign"},
      {100, 0, "<p>ansi</p>", "e.htm", "ansi"},
      {7, 1252, "<p>other type</p>", "f.doc", ""},
      {100, 1252, "", "g.htm", ""},
  };
  std::vector<std::int32_t> ids;
  for (const Row& row : rows) ids.push_back(Add(row.type, row.codePage, row.content, row.fileName));

  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  EXPECT_TRUE(m_Messages.History().empty());
  EXPECT_EQ(SearchInPlainText(), "True");
  EXPECT_EQ(progress.description, "7 of 7 items processed");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].fileName);
    Stored stored = Read(ids[i]);
    EXPECT_TRUE(stored.binaryData);
    EXPECT_EQ(stored.content, "");
    EXPECT_EQ(stored.plainText, rows[i].plainText);
    if (rows[i].content.empty()) {
      EXPECT_TRUE(stored.binaryContent.empty());
    } else {
      int codePage = rows[i].codePage == 0 ? GetAnsiCodePage() : rows[i].codePage;
      EXPECT_EQ(stored.binaryContent, TextToCodePageBytes(rows[i].content, codePage));
      EXPECT_EQ(stored.binaryContent.back(), 0) << "with the terminating zero byte";
    }
  }
}

// Windows knows code pages this system cannot write: the content must not be
// lost for it, so it is kept as UTF-8 and the document says so.
TEST_F(PlainTextGeneration, AnUnknownCodePageKeepsTheContentAsUtf8) {
  std::int32_t id = Add(100, 12345, "<p>\xE2\x82\xAC kept</p>");
  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  Stored stored = Read(id);
  EXPECT_EQ(stored.codePage, 65001);
  EXPECT_EQ(stored.binaryContent, TextToCodePageBytes("<p>\xE2\x82\xAC kept</p>", 65001));
  EXPECT_EQ(stored.plainText, "\xE2\x82\xAC kept");
}

TEST_F(PlainTextGeneration, AnEmptyArchiveIsMarkedAtOnce) {
  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  EXPECT_EQ(SearchInPlainText(), "True");
  EXPECT_TRUE(progress.values.empty());
  EXPECT_EQ(progress.maxima, std::vector<int>{100});
}

TEST_F(PlainTextGeneration, SixHundredDocumentsInThreeBatches) {
  // One batch of single-row inserts: a multi-row VALUES list is not T-SQL of this server age.
  std::string batch;
  for (int i = 0; i < 600; ++i)
    batch +=
        "INSERT INTO Document (Content, TypeID, CodePage, CreationTime, FileModifiedDate) "
        "VALUES (N'<p>n" +
        std::to_string(i) + "</p>', 100, 1252, '2003-01-01', '2003-01-01');\n";
  m_Archive->GetConnection().Execute(batch);
  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  EXPECT_EQ(progress.maxima, std::vector<int>{100});
  ASSERT_EQ(progress.values.size(), 600u);
  // Step 6: the bar moves every sixth document and ends at 100.
  EXPECT_EQ(progress.values[5], 1);
  EXPECT_EQ(progress.values[299], 50);
  EXPECT_EQ(progress.values.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
  EXPECT_EQ(progress.description, "600 of 600 items processed");
  Recordset rs;
  rs.Open("SELECT Count(*) FROM Document WHERE BinaryData=1 AND PlainText LIKE 'n%'",
          &m_Archive->GetConnection());
  EXPECT_EQ(rs.Value(0).ToInteger(), 600);
}

TEST_F(PlainTextGeneration, FiftyDocumentsMoveTheBarByOne) {
  for (int i = 0; i < 50; ++i) Add(90, 1252, "t" + std::to_string(i));
  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  EXPECT_EQ(progress.maxima, (std::vector<int>{100, 50}));
  std::vector<int> expected(50);
  for (int i = 0; i < 50; ++i) expected[i] = i + 1;
  EXPECT_EQ(progress.values, expected);
}

TEST_F(PlainTextGeneration, RecordsThatCannotBeReadEndTheRunWithTheirError) {
  Add(90, 1252, "text");
  m_Archive->GetConnection().Execute("DROP TABLE Document");
  RecordedProgress progress;
  EXPECT_FALSE(Run(progress));
  ASSERT_EQ(m_Messages.History().size(), 1u);
  const auto& shown = m_Messages.History()[0];
  EXPECT_EQ(
      shown.text.rfind(
          "Beim Laden/Aktualisieren der Datens\xC3\xA4tze ist folgender Fehler aufgetreten:\r", 0),
      0u)
      << shown.text;
  EXPECT_NE(shown.text.find("Document"), std::string::npos) << "the server's description";
  EXPECT_NE(shown.text.find("\rFehlernummer: -21472"), std::string::npos) << shown.text;
  EXPECT_EQ(shown.style, MsgStyle::OkOnly);
  EXPECT_EQ(SearchInPlainText(), "False");
}

// A stored web archive: the main page, an image, a frame with its own
// stylesheet (which links back to the page), a name that tries to leave the
// folder, a name outside the ANSI code page and a link to nothing.
class StoredWebArchive : public PlainTextGeneration {
 protected:
  void AddArchive(const std::string& mainName) {
    m_Main = Add(100, 65001,
                 "<html><head><title>T</title></head><body><img src=\"http://x/a.gif\">"
                 "<iframe src=\"http://x/f.htm\"></iframe><a href=\"http://x/up.txt\">u</a>"
                 "<img src=\"http://x/wide.gif\"><p>Main text</p></body></html>",
                 mainName, "http://x/page.mht");
    m_Image = {0x47, 0x49, 0x46, 0x00, 0xFF};
    m_ImageID = Add(50, 65001, "", "a.gif", "http://x/a.gif", &m_Image);
    m_Frame = Add(100, 1252, "<html><head><title>F</title></head><body>frame</body></html>",
                  "f.htm", "http://x/f.htm");
    m_Style = Add(60, 1252, "p { color: red }", "s.css", "http://x/s.css");
    m_Escape = Add(90, 1252, "escaped?", "../../up.txt", "http://x/up.txt");
    m_Wide = Add(50, 65001, "", "\xE5\x90\x8D.gif", "http://x/wide.gif", &m_Image);
    for (std::int32_t child : {m_ImageID, m_Frame, m_Escape, m_Wide, 99999}) Link(m_Main, child);
    Link(m_Frame, m_Style);
    Link(m_Frame, m_Main);
  }
  std::string File(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::int32_t m_Main = 0, m_ImageID = 0, m_Frame = 0, m_Style = 0, m_Escape = 0, m_Wide = 0;
  std::vector<std::uint8_t> m_Image;
};

TEST_F(StoredWebArchive, ExportsEveryPartInsideItsFolder) {
  AddArchive("page.mht");
  std::filesystem::path folder = m_Temp / "export" / "1_1";
  WebArchiveExport exporter(m_Archive->GetConnection(), m_Archive->ArchiveID(), folder);
  ExportedMain main = exporter.Export(m_Main);
  auto name = [](std::int32_t id, const std::string& file) {
    return std::to_string(id) + "_bwDoc_" + file;
  };
  EXPECT_EQ(main.path, folder / name(m_Main, "page.mht"));
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(m_Temp / "export")) {
    if (entry.is_directory()) {
      EXPECT_EQ(entry.path(), folder);
      continue;
    }
    EXPECT_EQ(entry.path().parent_path(), folder) << entry.path();
    files[entry.path().filename().string()] = File(entry.path());
  }
  EXPECT_EQ(files.size(), 6u);
  std::string page = files[name(m_Main, "page.mht")];
  EXPECT_NE(
      page.find("<head><!-- brindlewick archiveid=\"" + std::to_string(m_Archive->ArchiveID()) +
                "\" entryid=\"" + std::to_string(m_Main) + "\" -->"),
      std::string::npos)
      << page;
  EXPECT_NE(page.find("src=\"" + name(m_ImageID, "a.gif") + "\""), std::string::npos) << page;
  EXPECT_NE(page.find("href=\"" + name(m_Escape, ".._.._up.txt") + "\""), std::string::npos)
      << page;
  EXPECT_NE(page.find(name(m_Wide, "_.gif")), std::string::npos) << page;
  EXPECT_EQ(files[name(m_ImageID, "a.gif")], std::string(m_Image.begin(), m_Image.end()));
  EXPECT_EQ(files[name(m_Style, "s.css")], "p { color: red }");
  EXPECT_NE(files[name(m_Frame, "f.htm")].find("<!-- brindlewick"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(m_Temp / "up.txt"));
}

TEST_F(StoredWebArchive, TheRunReadsTheExportedPageAndRemovesTheFolder) {
  AddArchive("PAGE.MHT");
  RecordedProgress progress;
  ASSERT_TRUE(Run(progress));
  EXPECT_TRUE(m_Messages.History().empty());
  EXPECT_EQ(Read(m_Main).plainText, "u\n\nMain text");
  EXPECT_FALSE(std::filesystem::exists(
      m_Temp / "bwCache" /
      (std::to_string(m_Archive->ArchiveID()) + "_" + std::to_string(m_Main))));
}

TEST_F(StoredWebArchive, AFailedExportAsksAndEachAnswerDoesWhatItSays) {
  AddArchive("page.mht");
  m_Archive->GetConnection().Execute("DROP PROCEDURE DocWithSub");
  const std::string lead =
      "Beim der Generierung von Volltextinformation ist bei folgendem Dokument ein Fehler "
      "aufgetreten:\rURL: http://x/page.mht\rFehlertext: ";

  m_Messages.QueueAnswer(MsgResult::Abort);
  RecordedProgress aborted;
  EXPECT_FALSE(Run(aborted));
  ASSERT_EQ(m_Messages.History().size(), 1u);
  EXPECT_EQ(m_Messages.History()[0].text.rfind(lead, 0), 0u) << m_Messages.History()[0].text;
  EXPECT_EQ(m_Messages.History()[0].style, MsgStyle::AbortRetryIgnore);
  EXPECT_FALSE(Read(m_Main).binaryData);
  EXPECT_EQ(SearchInPlainText(), "False");

  m_Messages.QueueAnswer(MsgResult::Retry);
  m_Messages.QueueAnswer(MsgResult::Ignore);
  RecordedProgress ignored;
  EXPECT_TRUE(Run(ignored));
  EXPECT_EQ(m_Messages.History().size(), 3u) << "asked again after Retry";
  Stored main = Read(m_Main);
  EXPECT_TRUE(main.binaryData);
  EXPECT_EQ(main.content, "");
  EXPECT_EQ(main.plainText, "");
  EXPECT_FALSE(main.binaryContent.empty()) << "the content is kept in BinaryContent";
  EXPECT_EQ(SearchInPlainText(), "True");
}

}  // namespace
}  // namespace bw
