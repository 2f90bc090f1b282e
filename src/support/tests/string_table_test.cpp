#include "support/StringTable.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/Error.h"

namespace bw {
namespace {

TEST(StringTableFormat, ParsesMultiLineAndEdgeTexts) {
  auto table = ParseStringTable(
      "# comment\n"
      "\n"
      "@ 1\n"
      "one\n"
      "@ 2\n"
      "first\n"
      "second \n"
      "@ 3\n"
      "@ 4\n"
      "ends in a line feed\n"
      "\n"
      "@ 5\n"
      "# not a comment here\n");
  EXPECT_EQ(table.at(1), "one");
  EXPECT_EQ(table.at(2), "first\nsecond ");
  EXPECT_EQ(table.at(3), "");
  EXPECT_EQ(table.at(4), "ends in a line feed\n");
  EXPECT_EQ(table.at(5), "# not a comment here");
}

TEST(StringTableFormat, RejectsMalformedTables) {
  for (const char* bad : {"text before any header\n@ 1\nx\n", "@ 2\nx\n@ 1\ny\n",
                          "@ 1\nx\n@ 1\ny\n", "@ one\nx\n", "@ 0\nx\n", "@ 12a\nx\n"}) {
    EXPECT_THROW(ParseStringTable(bad), std::invalid_argument) << bad;
  }
}

// Every id the program shows a text for.
std::set<int> UsedIds() {
  std::set<int> ids = {1};
  auto range = [&](int from, int to) {
    for (int i = from; i <= to; ++i) ids.insert(i);
  };
  range(3, 149);
  range(151, 153);
  range(156, 158);
  range(160, 168);
  range(211, 268);
  ids.insert({286, 287, 291, 292});
  range(298, 318);
  range(320, 341);
  range(343, 357);
  return ids;
}

TEST(StringTable, HoldsExactlyTheUsedIds) {
  std::set<int> inTable;
  for (const auto& [id, text] : StringTableEntries()) inTable.insert(id);
  EXPECT_EQ(inTable, UsedIds());
}

TEST(StringTable, TextsKeepTheirExactForm) {
  EXPECT_EQ(LoadResString(1), "Brindlewick Server Manager");
  // A trailing blank before the line break belongs to the text.
  EXPECT_EQ(LoadResString(40),
            "You do not have the permission to execute this command. You must be a \n"
            "member of the fixed server role 'sysadmin' or database role 'db_owner'.");
  EXPECT_NE(LoadResString(10).find("\u2026"), std::string::npos);
  EXPECT_NE(LoadResString(315).find("[*]"), std::string::npos);
  for (const auto& [id, text] : StringTableEntries()) {
    if (id == 291 || id == 292) continue;  // procedure sources
    EXPECT_EQ(text.find("\\n"), std::string::npos) << "unconverted escape in " << id;
    EXPECT_EQ(text.find('\r'), std::string::npos) << "carriage return in " << id;
  }
  // The procedure sources end without a line feed; their inner tabs and
  // trailing blanks are part of the procedure text the server stores.
  EXPECT_EQ(LoadResString(291).rfind("CREATE PROCEDURE DeleteFolder\n", 0), 0u);
  EXPECT_EQ(LoadResString(292).rfind("CREATE Procedure DeleteDoc (@EntryID INT) \n", 0), 0u);
  EXPECT_NE(LoadResString(291).back(), '\n');
  EXPECT_NE(LoadResString(292).find("\n\tINSERT INTO #TempDocument1"), std::string::npos);
}

TEST(StringTable, UnknownIdIsAProgrammingError) {
  EXPECT_FALSE(HasResString(2));
  EXPECT_THROW(LoadResString(2), std::out_of_range);
  EXPECT_THROW(LoadResString(358), std::out_of_range);
}

// Scans the product's sources for text ids passed to the routines that take
// one, so that a typo in an id fails here rather than in front of a user.
TEST(StringTable, EveryIdUsedInTheSourcesExists) {
  const std::regex call(
      R"((LoadResString|FormatResString|ErrorReport|ShowResMessage|ResText)\s*\(\s*(\d+))");
  namespace fs = std::filesystem;
  int calls = 0;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(BW_SOURCE_DIR) / "src")) {
    if (!entry.is_regular_file()) continue;
    auto ext = entry.path().extension();
    if (ext != ".cpp" && ext != ".h") continue;
    if (entry.path().parent_path().filename() == "tests") continue;
    std::ifstream in(entry.path());
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) {
      int id = std::stoi((*it)[2]);
      ++calls;
      EXPECT_TRUE(HasResString(id)) << entry.path() << " uses text id " << id;
    }
  }
  SUCCEED() << calls << " uses checked";
}

TEST(ErrorReports, LeadTextCarriageReturnDescription) {
  EXPECT_EQ(ErrorReport(62, "Permission denied"), LoadResString(62) + "\rPermission denied");
  Error error(static_cast<std::int32_t>(0x80040E14u), "Microsoft OLE DB Provider for SQL Server",
              "Permission denied");
  EXPECT_EQ(ErrorReport(62, error), LoadResString(62) + "\rPermission denied");
  EXPECT_EQ(FormatErrorNumber(error.Number()), "0x80040E14");
}

}  // namespace
}  // namespace bw
