// The conversion chain's shape without a server: which block a version starts
// with, what every block ends with, and the script an administrator reviews.
#include <gtest/gtest.h>

#include "archives/ArchiveConversion.h"

namespace bw {
namespace {

TEST(ArchiveVersionNumber, ReadsTheTextWithoutItsDots) {
  struct Row {
    const char* text;
    std::optional<int> number;
  } rows[] = {
      {"1.61", 161},
      {"1.41", 141},
      {"149", 149},
      {" 1.50 ", 150},
      {"1..5.6", 156},
      {"", std::nullopt},
      {"1.6a", std::nullopt},
      {"-1.50", std::nullopt},
      {".", std::nullopt},
      {"1234567890", std::nullopt},
      {"1.5 0", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(ArchiveVersionNumber(row.text), row.number) << row.text;
}

TEST(FirstConversionBlock, ChosenByTheVersionNumber) {
  struct Row {
    int version;
    int block;  // -1: none
  } rows[] = {{0, 0},    {135, 0},  {136, 1},  {139, 1},  {140, 2},  {141, 3},  {142, -1},
              {149, -1}, {150, 4},  {151, -1}, {152, -1}, {153, 5},  {154, 6},  {155, 7},
              {156, 8},  {157, -1}, {159, -1}, {160, 8},  {161, -1}, {162, -1}, {999, -1}};
  for (const Row& row : rows) {
    EXPECT_EQ(FirstConversionBlock(row.version), row.block) << row.version;
    EXPECT_EQ(ConversionBlocks(row.version).size(), row.block < 0 ? 0u : 9u - row.block)
        << row.version;
  }
}

TEST(ConversionBlocks, EachBlockEndsWritingTheVersionTheNextStartsFrom) {
  std::vector<ConversionBlock> chain = ConversionBlocks(0);
  ASSERT_EQ(chain.size(), 9u);
  std::string previous;
  char letter = 'A';
  for (const ConversionBlock& block : chain) {
    EXPECT_EQ(block.letter, letter++);
    EXPECT_EQ(block.from, previous);
    const ConversionStep& last = block.steps.back();
    // Block A writes its version before its last statement.
    if (block.letter != 'A') {
      ASSERT_EQ(last.kind, ConversionStepKind::Version) << block.letter;
      EXPECT_EQ(last.text, block.to);
    }
    previous = block.to;
  }
  EXPECT_EQ(previous, "1.61");
}

// Which statements may fail without stopping the chain: D's first two steps
// and everything from G on, nothing else.
TEST(ConversionBlocks, ErrorTolerantStretches) {
  for (const ConversionBlock& block : ConversionBlocks(0)) {
    int position = 0;
    for (const ConversionStep& step : block.steps) {
      ++position;
      if (step.kind != ConversionStepKind::Statement &&
          step.kind != ConversionStepKind::AddOrAlterColumn) {
        continue;
      }
      const bool expected = block.letter >= 'G' || (block.letter == 'D' && position <= 5);
      EXPECT_EQ(step.tolerant, expected) << block.letter << " " << step.text;
    }
  }
}

TEST(ConversionBlocks, ProgressRisesWithinEachBlockFromE) {
  for (const ConversionBlock& block : ConversionBlocks(0)) {
    int value = -1;
    for (const ConversionStep& step : block.steps) {
      if (step.progress < 0) continue;
      EXPECT_GE(block.letter, 'E') << "the bar stands still up to block D";
      EXPECT_GT(step.progress, value) << block.letter;
      value = step.progress;
    }
    if (block.letter >= 'E') {
      EXPECT_EQ(value, 100) << block.letter;
    }
  }
}

TEST(ConversionScript, FromTheArchivesVersionOnly) {
  EXPECT_EQ(ConversionScript(152), "");
  EXPECT_EQ(ConversionScript(161), "");
  const std::string fromI = ConversionScript(160);
  EXPECT_EQ(fromI.find("-- Block H"), std::string::npos);
  EXPECT_NE(fromI.find("-- Block I: version 1.56 to 1.61\n-- From here on, a failing statement "
                       "is skipped.\nALTER PROCEDURE dbo.FolderByID"),
            std::string::npos);
  EXPECT_NE(fromI.find("CREATE INDEX IDX_Document1 ON Document (Url, FileSize, FolderID, "
                       "VisibleInFolderID)\nGO\n"),
            std::string::npos);
  EXPECT_NE(fromI.find("UPDATE ExtendedData SET FieldValue='1.61' WHERE EntryID=0 And "
                       "ExtFieldID=3\nIF @@ROWCOUNT = 0 INSERT INTO ExtendedData"),
            std::string::npos);
}

TEST(ConversionScript, MarksTheStretchesTheRepeatAndTheProperties) {
  const std::string script = ConversionScript(141);
  ASSERT_EQ(script.rfind("\n-- Block D: version 1.41 to 1.50\n-- From here on, a failing "
                         "statement is skipped.\nALTER TABLE Document ADD VisibleInFolderID",
                         0),
            0u);
  const std::size_t stops = script.find("-- From here on, a failing statement stops");
  ASSERT_NE(stops, std::string::npos);
  EXPECT_LT(script.find("DROP PROCEDURE FoldersSub\nGO\n"), stops);
  EXPECT_EQ(script.find("CREATE PROCEDURE dbo.DocsInFolder"), script.find('\n', stops) + 1);
  EXPECT_NE(script.find("-- Repeated until two runs in a row report the same number of rows:\n"
                        "UPDATE Document Set Document.FolderID = ParentDoc.FolderID"),
            std::string::npos);
  EXPECT_NE(script.find("(Document.EntryID > 1)            \nGO\n"), std::string::npos)
      << "the statement keeps its twelve trailing spaces";
  for (const char* name : {"'Compatibility'", "'Brindlewick: Archive Compatibility'"}) {
    EXPECT_NE(script.find(std::string("WHERE FieldName=") + name + " AND FieldType=1"),
              std::string::npos);
  }
  // Skipping starts again with block G and is said once.
  const std::size_t g = script.find("-- Block G");
  EXPECT_EQ(script.find("-- From here on, a failing statement is skipped.", g),
            script.find('\n', g) + 1);
  const std::size_t afterMark = script.find('\n', script.find('\n', g) + 1) + 1;
  EXPECT_EQ(script.find("-- From here on", afterMark), std::string::npos);
}

TEST(ConversionFailureReport, NamesTheBlockTheStatementAndTheVersionKept) {
  ConversionResult result;
  result.failedBlock = 'E';
  result.failedStatement = "DROP PROCEDURE DocsInFolder";
  result.version = "1.50";
  result.error = Error(1, "test", "Cannot drop the procedure 'DocsInFolder'.");
  EXPECT_EQ(ConversionFailureReport("Sales", result),
            "The archive 'Sales' could not be converted: block E (1.50 to 1.53) stopped at the "
            "statement\nDROP PROCEDURE DocsInFolder\nThe archive keeps version 1.50.\rCannot drop "
            "the procedure 'DocsInFolder'.");
  result.failedBlock = 'A';
  result.version.clear();
  EXPECT_NE(ConversionFailureReport("Sales", result).find("block A (before 1.36)"),
            std::string::npos);
}

}  // namespace
}  // namespace bw
